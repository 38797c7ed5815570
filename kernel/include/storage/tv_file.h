// tv_file.h: the file access layer. One open routine maps a compact mode
// word onto the Windows file API; thin wrappers read, write and position.
// The system calls go through tvSys (tv_system.h).
#pragma once
#include <windows.h>

#include <cstdint>

#include "tv_base.h"

enum TvFileMode : uint32_t {
  TvFileReadWrite = 0x00000001,      // open an existing file for reading and writing
  TvFileRecreate = 0x00000002,       // re-create the file empty after opening
  TvFileCreate = 0x00000004,         // create the file when it does not exist
  TvFileMustNotExist = 0x00000008,   // an existing file gives -1011
  TvFileAppend = 0x00000010,         // position at the end after opening
  TvFileSequential = 0x00000020,     // sequential-access hint
  TvFileCreateRequest = 0x00000040,  // sets 0x80; a leading "+" appends
  TvFileWriteOnly = 0x00000080,      // create for writing only (replace, or append with 0x10)
  TvFileDataInfo = 0x00100000,
  TvFileShareRead = 0x00200000,
  TvFileShareAll = 0x00400000,
  TvFileSequential2 = 0x00800000,
  TvFileNoMedia = 0x01000000,
  TvFileDataDate = 0x04000000,
  TvFileTempMark = 0x08000000,  // a kernel temporary file; the open itself passes it over
  TvFileSilent = 0x10000000,
  TvFileDataExpected = 0x40000000,
  TvFileDataConfig = 0x80000000,
};

// Normalises a mode word the way TvFileOpen does before opening.
uint32_t TvFileNormaliseMode(uint32_t mode);

TvStatus TvFileOpen(char* fullPath, const char* directory, const char* name, const char* defaultExtension,
                    uint32_t mode, TvFileHandle* handle);
void TvFileClose(TvFileHandle handle);
TvStatus TvFileTruncateHere(TvFileHandle handle);
TvStatus TvFileDelete(const char* path);
// Whether path names a file (not a directory), asked of its attributes
// without opening it; its size goes to size (may be null).
bool TvFileThere(const char* path, uint64_t* size);
TvStatus TvFileSeek(TvFileHandle handle, uint32_t offset);
TvStatus TvFileSeekEnd(TvFileHandle handle);
uint32_t TvFileTell(TvFileHandle handle);
uint32_t TvFileSize(TvFileHandle handle);
// The size without moving the position: -1012 when the system cannot tell,
// -1008 for a file of 2 GB or more.
TvStatus TvFileGetSize(TvFileHandle handle, uint32_t* size);
uint32_t TvFileRead(TvFileHandle handle, void* buffer, uint32_t count);
// A read that tells the end of the file (0, nothing read) from a failure
// (-1012, not raised: the caller names the file).
TvStatus TvFileReadChecked(TvFileHandle handle, void* buffer, uint32_t count, uint32_t* got);
size_t TvFileReadLine(TvFileHandle handle, char* buffer, size_t size);
TvStatus TvFileWriteText(TvFileHandle handle, const char* text);
TvStatus TvFileWriteTextN(TvFileHandle handle, const char* text, size_t length);  // may hold NULs
// The bytes as they are, in a single system call.
TvStatus TvFileWrite(TvFileHandle handle, const void* data, uint32_t count);
TvStatus TvFileWriteFill(TvFileHandle handle, uint8_t byte, uint32_t count);
TvStatus TvFileDuplicate(TvFileHandle handle, TvFileHandle* duplicate);
// The mode of a new temporary file, on top of the caller's extra bits.
constexpr uint32_t kTvFileTempMode =
    TvFileSilent | TvFileTempMark | TvFileMustNotExist | TvFileCreate | TvFileReadWrite;
// Creates "tv%06lu.tmp" in the temporary directory, skipping numbers whose
// file exists; the number identifies the file for TvFileDeleteTemp.
TvStatus TvFileCreateTemp(char* fullPath, uint32_t extraMode, TvFileHandle* handle, uint32_t* number);
void TvFileDeleteTemp(TvFileHandle handle, uint32_t number);
TvStatus TvFileRename(const char* oldPath, const char* newPath);
int TvFileCompareTimes(TvFileHandle first, TvFileHandle second);  // -1, 0 or 1 by last write

// Directory scan. Filter bits: 1 files, 2 directories, 4 append "." to file
// names without one, 8 hidden entries too. Next answers 0 at the end, else
// 1 (file) or 2 (directory), plus 8 for a hidden entry.
enum TvScanFilter : uint32_t { TvScanFiles = 1, TvScanDirs = 2, TvScanDot = 4, TvScanHidden = 8 };
// What TvFileFindNext answers for an entry.
constexpr int kTvScanFoundFile = 1;
constexpr int kTvScanFoundDir = 2;
constexpr int kTvScanFoundHidden = 8;
// How scans behave in a build of the kernel (TvKernelVariant); the full
// kernel's until its program picks another.
struct TvScanBehaviour {
  bool locks;    // a scan takes the scan lock
  bool filters;  // only the kinds asked for are reported
  bool raises;   // a scan that cannot start or breaks off raises its error
};
void TvFileSetScanBehaviour(const TvScanBehaviour& behaviour);
// -1028 (or the mapped system error) when the folder cannot be read; a
// pattern that matches nothing is no error.
TvStatus TvFileFindFirst(const char* pattern, uint32_t filter);
// The size and times of a scanned file: what tells a caller that keeps
// something it read from the file whether the file may have changed since.
struct TvFileStamp {
  uint64_t size;
  uint64_t lastWrite;  // FILETIME: 100 ns steps since 1601, UTC
  uint64_t created;
};
int TvFileFindNext(char* name, TvFileStamp* stamp = nullptr);  // name: kTvPathSize bytes
// Ends the scan. A scan that broke off before the folder's end (the
// system could not read on) has ended Next with 0 as if it were complete:
// Close answers its error then, else 0.
TvStatus TvFileFindClose();
