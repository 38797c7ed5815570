// setup.h: the launcher on the installation media. It stages the installer
// engine and its script from the media in "TarvelInst" under the temporary
// folder and starts the engine there, so that the media can be changed while
// the installation runs.
#pragma once
#include <cstddef>
#include <cstdint>

#include "setup_version.h"
#include "tv_base.h"

constexpr int kTvSetupArgCount = 16;  // entry 0 is the (empty) program name
constexpr size_t kTvSetupTextSize = 256;
constexpr size_t kTvSetupArgBudget = 255;  // characters of all arguments together

// The module the launcher starts its kernel as.
constexpr char kTvSetupModule[] = "setup";

struct TvSetupArgs {
  int count;  // entries used, program name included
  char text[kTvSetupArgCount][kTvSetupTextSize];
};

// Splits a command line without its program name: arguments separated by
// spaces, one that begins with a double quote running to the next (quotes
// removed, no escapes). At most 15 arguments and 255 characters: the
// argument that would overrun either, and all after it, are dropped.
void TvSetupSplit(const char* commandLine, TvSetupArgs* args);

// Exit codes: 0 once the engine is started, else what stopped the launcher.
enum TvSetupExit : int {
  TvSetupLaunched = 0,
  TvSetupNoSetupFiles = 1,
  TvSetupNoTempFolder = 2,
  TvSetupNoStagingFolder = 3,
  TvSetupCopyFailed = 4,
  TvSetupNotLaunched = 5,
  TvSetupNoStart = 6,    // the kernel or the forms library did not start
  TvSetupCancelled = 7,  // the user cancelled the copy
};

// Restricts the library search of the process to the system directory
// (SetDefaultDllDirectories, where the system has it; else SetDllDirectoryA("")
// takes the current folder out): setup.exe's first call, so that no library
// planted beside it, in a downloads folder, say, is loaded in its name.
void TvSetupRestrictLibrarySearch();

// The whole run for a command line (without its program name), from the
// kernel's start-up to its shut-down; the exit code. The caller has begun
// the kernel instance and recorded its module.
int TvSetupRun(const char* commandLine);

// Copies source to destination in blocks of block bytes (at most, and by
// default, kTvSetupCopyBlock): -1012 when a read fails, -1013 when a write
// fails, kTvSetupCopyCancelled when the user cancels it in the progress
// window (progress.h), or the status of opening either file; a destination
// left incomplete is removed. Not for two threads at once.
constexpr uint32_t kTvSetupCopyBlock = 64 * 1024;
constexpr TvStatus kTvSetupCopyCancelled = 1;
TvStatus TvSetupCopyFile(const char* source, const char* destination, uint32_t block = kTvSetupCopyBlock);
