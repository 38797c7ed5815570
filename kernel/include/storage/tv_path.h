// tv_path.h: full paths from a directory, a name and a default extension;
// directory checks; searching for files along a list of directories.
#pragma once
#include <windows.h>

#include <cstdint>

#include "tv_base.h"

TvStatus TvPathBuild(char* out, const char* directory, const char* name, const char* defaultExtension);
TvStatus TvPathFull(char* out, const char* path, char** end);
const char* TvPathFileName(const char* path);
void TvPathDirectory(const char* path, char* out, size_t size);  // the path without its last component
TvStatus TvDirCheck(const char* path, bool acceptKnown);
int TvFileExists(char* fullPath, const char* directory, const char* name, const char* defaultExtension);
int TvFileSearch(char* fullPath, const char* name, const char* defaultExtension, const char* variable);
int TvHasWildcards(const char* text);

enum TvDirFlag : uint32_t {
  TvDirCreateMissing = 1,  // create the directory (one level) when it is missing
  TvDirNoMediaPrompt = 2,  // never ask for removable media
};
TvStatus TvDirCreate(const char* path, uint32_t flags);
TvStatus TvDirSetCurrent(const char* path);
TvStatus TvDirRemove(const char* path);
bool TvIsKnownDirectory(const char* path);  // home, program, data or temporary directory

// Data directories: the first one, and up to 16 further ones after which
// the data directory reads "$" and TvFileOpen tries each in turn.
TvStatus TvDataDirAdd(const char* path, bool reset);
int TvDataDirGet(int index, char* out);
int TvDataDirCount();  // further data directories
void TvDataDirReset();

TvStatus TvPathSplit(const char* path, char* directory, char* name, char* extension);
int TvPathShorten(const char* path, char* out, size_t maximum);

// Drive kinds as TvDriveKind answers them.
enum TvDriveKindCode : int {
  TvDriveOther = 0,
  TvDriveRemovable = 1,
  TvDriveFixed = 2,
  TvDriveRemote = 3,
  TvDriveCdrom = 4,
};
int TvDriveKind(const char* path);
int TvDriveNext(char* out);
TvStatus TvDriveFirstCdrom(char* out);
void TvDriveReset(uint32_t scanFilter);

struct TvProgram {
  bool running;
  HANDLE process;
};
// The command line is the program's path, two spaces and the arguments, cut
// to fit kTvCommandLineSize (NUL included); a caller that must not start a
// program with cut arguments measures them first.
constexpr size_t kTvCommandLineSize = 512;
TvStatus TvProgramStart(const char* program, const char* arguments, TvProgram* record);
int TvProgramRunning(TvProgram* record);
// Returns once the program has ended, checking every interval milliseconds;
// there is no time limit.
void TvProgramWait(TvProgram* record, uint32_t interval);
size_t TvProcessIdText(char* out, size_t size);

// The one place where system errors become kernel codes: access denied
// -1025, invalid drive -1027, anything else the caller's code.
TvStatus TvMapSystemError(DWORD error, TvStatus otherwise);
