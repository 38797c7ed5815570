// file.cpp: opening files through one mode word, and the thin wrappers for
// closing, positioning, reading lines and writing text with CR LF line ends.
#include "tv_file.h"

#include <cstring>

#include "ini_internal.h"
#include "tv_context.h"
#include "tv_ini.h"
#include "tv_path.h"
#include "tv_string.h"
#include "tv_system.h"
#include "tv_thread.h"
#include "tv_trailer.h"

namespace {

HANDLE H(TvFileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

bool Valid(TvFileHandle handle) { return handle != kTvNoFile && handle != 0; }

constexpr uint32_t kCreating = TvFileRecreate | TvFileCreate | TvFileWriteOnly;

struct OpenParameters {
  DWORD access, share, disposition, attributes;
};

OpenParameters ParametersFor(uint32_t mode) {
  OpenParameters p{};
  DWORD requested = (mode & TvFileShareAll)    ? FILE_SHARE_READ | FILE_SHARE_WRITE
                    : (mode & TvFileShareRead) ? FILE_SHARE_READ
                                               : 0;
  if (mode & TvFileWriteOnly) {
    p = {GENERIC_WRITE, requested, static_cast<DWORD>((mode & TvFileAppend) ? OPEN_ALWAYS : CREATE_ALWAYS), 0};
  } else if (mode & TvFileReadWrite) {
    p = {GENERIC_READ | GENERIC_WRITE, requested, OPEN_EXISTING, 0};
  } else {
    p = {GENERIC_READ, static_cast<DWORD>(FILE_SHARE_READ | ((mode & TvFileShareAll) ? FILE_SHARE_WRITE : 0)),
         OPEN_EXISTING, 0};
  }
  p.attributes = FILE_ATTRIBUTE_NORMAL;
  if (mode & (TvFileSequential | TvFileSequential2)) p.attributes |= FILE_FLAG_SEQUENTIAL_SCAN;
  return p;
}

// One open of a built path; the Windows failure becomes a kernel code.
TvStatus OpenPath(const char* path, uint32_t mode, HANDLE* out) {
  char device[kTvPathSize];
  size_t length = strlen(path);
  if (length > 2 && path[length - 1] == ':') {
    TvStrCopy(device, path, length);  // a device: opened without its final ":"
    path = device;
  }
  OpenParameters p = ParametersFor(mode);
  HANDLE h = tvSys.createFile(path, p.access, p.share, nullptr, p.disposition, p.attributes, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
      return (mode & TvFileMustNotExist) ? TvErrFileExists : TvErrFileAccess;
    if (error == ERROR_TOO_MANY_OPEN_FILES) return TvErrTooManyFiles;
    if (error == ERROR_FILE_NOT_FOUND && (mode & kCreating))
      h = tvSys.createFile(path, GENERIC_READ | GENERIC_WRITE, p.share, nullptr, CREATE_ALWAYS, p.attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) return (mode & kCreating) ? TvErrFileCreate : TvErrFileNotFound;
  } else if (mode & TvFileMustNotExist) {
    tvSys.closeHandle(h);
    return TvErrFileExists;
  } else if (mode & TvFileRecreate) {
    tvSys.closeHandle(h);
    h = tvSys.createFile(path, GENERIC_READ | GENERIC_WRITE, p.share, nullptr, CREATE_ALWAYS, p.attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) return TvErrFileCreate;
  }
  if ((mode & TvFileAppend) && tvSys.setFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    tvSys.closeHandle(h);
    return TvErrFileRead;
  }
  *out = h;
  return TvOk;
}

}  // namespace

uint32_t TvFileNormaliseMode(uint32_t mode) {
  if (mode & TvFileCreateRequest) mode |= TvFileWriteOnly;
  if (mode & TvFileReadWrite) mode &= ~TvFileWriteOnly;
  if (mode & TvFileWriteOnly) mode &= ~(TvFileRecreate | TvFileCreate | TvFileMustNotExist);
  if (!(mode & TvFileWriteOnly) && (mode & (TvFileRecreate | TvFileCreate | TvFileAppend))) mode |= TvFileReadWrite;
  return mode;
}

namespace {

constexpr uint32_t kDataInfoModes = TvFileDataInfo | TvFileDataDate | TvFileDataExpected | TvFileDataConfig;
int dataDirIndex = 0;  // the data directory that served last
uint32_t tempCounter = 0;

// Builds the path and opens it; a "$" path is tried in each data directory.
TvStatus OpenNamed(char* full, const char* directory, const char* name, const char* defaultExtension, uint32_t mode,
                   HANDLE* opened) {
  full[0] = '\0';
  if (!*name) return TvErrFileNotFound;
  TvStatus status = TvPathBuild(full, directory, name, defaultExtension);
  if (status != TvOk) return status;
  const int count = TvDataDirCount();
  if (full[0] != '$' || count == 0) return OpenPath(full, mode, opened);
  char rest[kTvPathSize];
  TvStrCopy(rest, full + (full[1] == '\\' ? 2 : 1), sizeof rest);
  const int start = (mode & (TvFileReadWrite | TvFileWriteOnly)) ? 0 : dataDirIndex % count;
  status = TvErrFileNotFound;
  for (int k = 0; k < count; ++k) {
    const int index = (start + k) % count;
    char entry[kTvPathSize];
    TvDataDirGet(index, entry);
    status = TvPathBuild(full, entry, rest, nullptr);
    if (status == TvOk) status = OpenPath(full, mode, opened);
    if (status != TvErrFileNotFound) {
      dataDirIndex = index;
      break;
    }
  }
  return status;
}

// Reads the trailer of a data file just opened and hands it to the kernel's
// data information, which may keep it as the configuration.
TvStatus RecordDataInformation(HANDLE opened, uint32_t mode) {
  TvIniBuffer trailer{};
  const TvFileHandle handle = reinterpret_cast<TvFileHandle>(opened);
  TvStatus status = TvIniLoadTrailer(&trailer, handle, nullptr);
  if (status == TvOk) status = tvHooks.recordDataInfo(&trailer, mode);
  TvIniFree(&trailer);
  if (status == TvOk) status = TvFileSeek(handle, 0);
  return status;
}

}  // namespace

TvStatus TvFileOpen(char* fullPath, const char* directory, const char* name, const char* defaultExtension,
                    uint32_t mode, TvFileHandle* handle) {
  char full[kTvPathSize] = "";
  HANDLE opened = INVALID_HANDLE_VALUE;
  TvStatus status;
  name = TvStrOrEmpty(name);
  if ((mode & TvFileCreateRequest) && name[0] == '+') {
    mode |= TvFileAppend;
    ++name;
  }
  mode = TvFileNormaliseMode(mode);
  {
    TvQuiet quiet;
    TvLockGuard guard(TvServiceLock(TvLockId::File));
    for (;;) {
      opened = INVALID_HANDLE_VALUE;
      status = OpenNamed(full, directory, name, defaultExtension, mode, &opened);
      if (status == TvOk && (mode & kDataInfoModes)) {
        status = RecordDataInformation(opened, mode);
        if (status != TvOk) tvSys.closeHandle(opened);
      }
      if ((status == TvErrFileNotFound || status == TvErrInvalidDirectory) && !(mode & TvFileNoMedia) &&
          tvHooks.askForMedia(full))
        continue;
      break;
    }
  }
  if (status != TvOk) opened = INVALID_HANDLE_VALUE;
  if (handle) *handle = status == TvOk ? reinterpret_cast<TvFileHandle>(opened) : kTvNoFile;
  if (fullPath) TvStrCopy(fullPath, full, kTvPathSize);
  if (mode & TvFileSilent) return status;
  tvHooks.traceFileOpen(full, reinterpret_cast<TvFileHandle>(opened), status);
  if (status != TvOk) TvErrorRaise(status, full, TvRaiseOrigin);
  return status;
}

void TvFileClose(TvFileHandle handle) {
  if (!Valid(handle)) return;
  TvLockGuard guard(TvServiceLock(TvLockId::File));
  tvSys.closeHandle(H(handle));
}

TvStatus TvFileTruncateHere(TvFileHandle handle) {
  if (!Valid(handle) || !tvSys.setEndOfFile(H(handle))) return TvErrorRaise(TvErrFileWrite, nullptr, TvRaiseOrigin);
  return TvOk;
}

TvStatus TvFileDelete(const char* path) {
  if (!path || !*path || !tvSys.deleteFile(path)) return TvErrorRaise(TvErrFileDelete, path, TvRaiseOrigin);
  return TvOk;
}

bool TvFileThere(const char* path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!tvSys.getFileAttributesEx(path, GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  if (size) *size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  return true;
}

TvStatus TvFileSeek(TvFileHandle handle, uint32_t offset) {
  LONG high = 0;
  if (!Valid(handle)) return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
  SetLastError(NO_ERROR);
  if (tvSys.setFilePointer(H(handle), static_cast<LONG>(offset), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR)
    return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
  return TvOk;
}

TvStatus TvFileSeekEnd(TvFileHandle handle) {
  if (!Valid(handle)) return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
  SetLastError(NO_ERROR);
  if (tvSys.setFilePointer(H(handle), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
  return TvOk;
}

uint32_t TvFileTell(TvFileHandle handle) {
  if (!Valid(handle)) return 0;
  DWORD at = tvSys.setFilePointer(H(handle), 0, nullptr, FILE_CURRENT);
  return at == INVALID_SET_FILE_POINTER ? 0 : at;
}

uint32_t TvFileSize(TvFileHandle handle) {
  if (!Valid(handle)) return 0;
  DWORD size = tvSys.getFileSize(H(handle), nullptr);
  if (size == INVALID_FILE_SIZE) return 0;
  tvSys.setFilePointer(H(handle), 0, nullptr, FILE_END);
  return size;
}

TvStatus TvFileGetSize(TvFileHandle handle, uint32_t* size) {
  *size = 0;
  if (!Valid(handle)) return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = tvSys.getFileSize(H(handle), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
    return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
  if (high != 0 || low > 0x7FFFFFFFu) return TvErrorRaise(TvErrFileTooLarge, nullptr, TvRaiseOrigin);
  *size = low;
  return TvOk;
}

TvStatus TvFileReadChecked(TvFileHandle handle, void* buffer, uint32_t count, uint32_t* got) {
  DWORD read = 0;
  if (got) *got = 0;
  if (!got || !Valid(handle) || (!buffer && count > 0)) return TvErrFileRead;
  if (count > 0 && !tvSys.readFile(H(handle), buffer, count, &read, nullptr)) return TvErrFileRead;
  *got = read;
  return TvOk;
}

// A failed read and the end of the file both give 0.
uint32_t TvFileRead(TvFileHandle handle, void* buffer, uint32_t count) {
  uint32_t got = 0;
  TvFileReadChecked(handle, buffer, count, &got);
  return got;
}

size_t TvFileReadLine(TvFileHandle handle, char* buffer, size_t size) {
  if (!buffer || size == 0) return 0;
  buffer[0] = '\0';
  if (!Valid(handle) || size < 2) return 0;
  size_t stored = 0;
  char piece[64];
  while (stored + 1 < size) {
    uint32_t want = static_cast<uint32_t>(size - 1 - stored < sizeof piece ? size - 1 - stored : sizeof piece);
    uint32_t got = TvFileRead(handle, piece, want);
    if (got == 0) break;
    for (uint32_t i = 0; i < got; ++i) {
      char c = piece[i];
      if (c == '\n' || c == '\r') {
        uint32_t used = i + 1;
        if (c == '\r') {
          char next;
          if (used < got) {
            if (piece[used] == '\n') ++used;
          } else if (TvFileRead(handle, &next, 1) == 1 && next != '\n') {
            tvSys.setFilePointer(H(handle), -1, nullptr, FILE_CURRENT);
          }
        }
        if (used < got) tvSys.setFilePointer(H(handle), -static_cast<LONG>(got - used), nullptr, FILE_CURRENT);
        buffer[stored++] = '\n';
        buffer[stored] = '\0';
        return stored;
      }
      buffer[stored++] = c;
    }
  }
  buffer[stored] = '\0';
  return stored;
}

namespace {

bool WriteAll(TvFileHandle handle, const char* data, size_t count) {
  while (count > 0) {
    DWORD written = 0;
    DWORD piece = count > 0x10000 ? 0x10000 : static_cast<DWORD>(count);
    if (!tvSys.writeFile(H(handle), data, piece, &written, nullptr) || written != piece) return false;
    data += piece;
    count -= piece;
  }
  return true;
}

}  // namespace

TvStatus TvFileWriteText(TvFileHandle handle, const char* text) {
  const char* p = TvStrOrEmpty(text);
  return TvFileWriteTextN(handle, p, strlen(p));
}

TvStatus TvFileWriteTextN(TvFileHandle handle, const char* text, size_t length) {
  if (!Valid(handle) || (!text && length)) return TvErrorRaise(TvErrFileWrite, nullptr, TvRaiseOrigin);
  // Staged in one buffer, so that a whole ini text costs a few system calls.
  // The stage goes out whenever it holds 16,383 bytes or more; runs without
  // a line end are copied whole, as far as that allows.
  char stage[16384];
  size_t used = 0;
  for (size_t i = 0; i < length;) {
    if (used + 2 > sizeof stage) {
      if (!WriteAll(handle, stage, used)) return TvErrorRaise(TvErrFileWrite, nullptr, TvRaiseOrigin);
      used = 0;
    }
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < length && text[i + 1] == '\n') ++i;
      stage[used++] = '\r';
      stage[used++] = '\n';
      ++i;
      continue;
    }
    size_t run = sizeof stage - 1 - used;
    if (run > length - i) run = length - i;
    if (const char* feed = tvini::FindByte(text + i, '\n', run)) run = static_cast<size_t>(feed - (text + i));
    if (const char* ret = tvini::FindByte(text + i, '\r', run)) run = static_cast<size_t>(ret - (text + i));
    memcpy(stage + used, text + i, run);
    used += run;
    i += run;
  }
  if (used && !WriteAll(handle, stage, used)) return TvErrorRaise(TvErrFileWrite, nullptr, TvRaiseOrigin);
  return TvOk;
}

TvStatus TvFileWrite(TvFileHandle handle, const void* data, uint32_t count) {
  DWORD written = 0;
  if (!Valid(handle) || (!data && count) ||
      (count && (!tvSys.writeFile(H(handle), data, count, &written, nullptr) || written != count)))
    return TvErrorRaise(TvErrFileWrite, nullptr, TvRaiseOrigin);
  return TvOk;
}

TvStatus TvFileWriteFill(TvFileHandle handle, uint8_t byte, uint32_t count) {
  if (!Valid(handle)) return TvErrorRaise(TvErrFileWrite, nullptr, TvRaiseOrigin);
  char piece[256];
  memset(piece, byte, sizeof piece);
  while (count > 0) {
    uint32_t n = count > sizeof piece ? sizeof piece : count;
    if (!WriteAll(handle, piece, n)) return TvErrorRaise(TvErrFileWrite, nullptr, TvRaiseOrigin);
    count -= n;
  }
  return TvOk;
}

TvStatus TvFileDuplicate(TvFileHandle handle, TvFileHandle* duplicate) {
  HANDLE copy = INVALID_HANDLE_VALUE;
  BOOL ok = FALSE;
  if (Valid(handle)) {
    TvLockGuard guard(TvServiceLock(TvLockId::File));
    ok = tvSys.duplicateHandle(GetCurrentProcess(), H(handle), GetCurrentProcess(), &copy, 0, FALSE,
                               DUPLICATE_SAME_ACCESS);
  }
  if (duplicate) *duplicate = ok ? reinterpret_cast<TvFileHandle>(copy) : kTvNoFile;
  return ok ? TvOk : TvErrorRaise(TvErrFileAccess, nullptr, TvRaiseOrigin);
}

namespace {

void TempName(uint32_t number, char* name, size_t size) {
  TvFormat(name, size, "tv%06lu", static_cast<unsigned long>(number));
}

}  // namespace

TvStatus TvFileCreateTemp(char* fullPath, uint32_t extraMode, TvFileHandle* handle, uint32_t* number) {
  char full[kTvPathSize] = "";
  TvFileHandle opened = kTvNoFile;
  TvStatus status = TvErrFileExists;
  uint32_t used = 0;
  // Numbers whose file exists are skipped; a million tries end the search.
  for (int tries = 0; status == TvErrFileExists && tries < 1000000; ++tries) {
    {
      TvLockGuard guard(TvServiceLock(TvLockId::File));
      used = ++tempCounter;
    }
    char name[16];
    TempName(used, name, sizeof name);
    status = TvFileOpen(full, tvContext.tempDir, name, "tmp", extraMode | kTvFileTempMode, &opened);
  }
  tvHooks.traceTempFile(full, status);
  if (fullPath) TvStrCopy(fullPath, full, kTvPathSize);
  if (handle) *handle = status == TvOk ? opened : kTvNoFile;
  if (number) *number = status == TvOk ? used : 0;
  if (status != TvOk) return TvErrorRaise(status, full, TvRaiseOrigin);
  return TvOk;
}

void TvFileDeleteTemp(TvFileHandle handle, uint32_t number) {
  TvFileClose(handle);
  if (number == 0) return;
  char name[16];
  TempName(number, name, sizeof name);
  char full[kTvPathSize];
  if (TvPathBuild(full, tvContext.tempDir, name, "tmp") == TvOk) TvFileDelete(full);
}

TvStatus TvFileRename(const char* oldPath, const char* newPath) {
  if (!oldPath || !newPath || !*oldPath || !*newPath || !tvSys.moveFile(oldPath, newPath))
    return TvErrorRaise(TvErrFileRename, TvStrOrEmpty(oldPath), TvRaiseOrigin);
  return TvOk;
}

int TvFileCompareTimes(TvFileHandle first, TvFileHandle second) {
  FILETIME a, b;
  if (!Valid(first) || !Valid(second) || !tvSys.getFileTime(H(first), nullptr, nullptr, &a) ||
      !tvSys.getFileTime(H(second), nullptr, nullptr, &b))
    return 0;
  return static_cast<int>(CompareFileTime(&a, &b));
}

// ---- Directory scan -----------------------------------------------------
// One scan at a time in the process: TvFileFindFirst takes the scan lock and
// TvFileFindClose gives it back. The scan reads one entry ahead.

namespace {

struct Scan {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA ahead{};
  bool haveAhead = false;
  uint32_t filter = 0;
  bool locked = false;
  DWORD owner = 0;
  TvStatus broken = TvOk;  // why the scan stopped before the folder's end
  char pattern[kTvPathSize] = "";
};
Scan scan;
TvScanBehaviour behaviour = {true, true, true};

}  // namespace

void TvFileSetScanBehaviour(const TvScanBehaviour& chosen) { behaviour = chosen; }

namespace {

// A scan that could not start or broke off: the launcher's kernel leaves
// the raise to its caller, but neither passes it off as a folder read whole.
TvStatus ScanFailure(TvStatus code) {
  return behaviour.raises ? TvErrorRaise(code, scan.pattern, TvRaiseOrigin) : code;
}

}  // namespace

TvStatus TvFileFindFirst(const char* pattern, uint32_t filter) {
  // A second thread's scan waits here; the same thread starting over keeps the lock it holds.
  if (behaviour.locks && !(scan.locked && scan.owner == GetCurrentThreadId())) {
    TvLockAcquire(TvServiceLock(TvLockId::Scan));
    scan.locked = true;
    scan.owner = GetCurrentThreadId();
  }
  if (scan.find != INVALID_HANDLE_VALUE) tvSys.findClose(scan.find);
  scan.find = INVALID_HANDLE_VALUE;
  scan.haveAhead = false;
  scan.filter = filter;
  scan.broken = TvOk;
  TvStrCopy(scan.pattern, TvStrOrEmpty(pattern), sizeof scan.pattern);
  TvDriveReset(filter);
  if (!pattern || !*pattern) return ScanFailure(TvErrInvalidDirectory);
  scan.find = tvSys.findFirstFile(pattern, &scan.ahead);
  if (scan.find != INVALID_HANDLE_VALUE) {
    scan.haveAhead = true;
    return TvOk;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return TvOk;
  return ScanFailure(TvMapSystemError(error, TvErrInvalidDirectory));
}

namespace {
uint64_t Join(DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; }
}  // namespace

int TvFileFindNext(char* name, TvFileStamp* stamp) {
  const bool kinds = behaviour.filters;
  while (scan.haveAhead) {
    const WIN32_FIND_DATAA entry = scan.ahead;
    scan.haveAhead = tvSys.findNextFile(scan.find, &scan.ahead) != FALSE;
    const DWORD error = scan.haveAhead ? ERROR_SUCCESS : GetLastError();
    if (error != ERROR_SUCCESS && error != ERROR_NO_MORE_FILES)
      scan.broken = ScanFailure(TvMapSystemError(error, TvErrInvalidDirectory));
    if (entry.cFileName[0] == '.') continue;
    const bool hidden = entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN;
    if (hidden && !(scan.filter & TvScanHidden)) continue;
    const bool directory = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if (kinds && !(scan.filter & (directory ? TvScanDirs : TvScanFiles))) continue;
    if (name) {
      TvStrCopy(name, entry.cFileName, kTvPathSize);
      if (!directory && (scan.filter & TvScanDot) && !strchr(name, '.')) TvStrCat(name, ".", kTvPathSize);
    }
    if (stamp) {
      stamp->size = Join(entry.nFileSizeHigh, entry.nFileSizeLow);
      stamp->lastWrite = Join(entry.ftLastWriteTime.dwHighDateTime, entry.ftLastWriteTime.dwLowDateTime);
      stamp->created = Join(entry.ftCreationTime.dwHighDateTime, entry.ftCreationTime.dwLowDateTime);
    }
    return (directory ? kTvScanFoundDir : kTvScanFoundFile) + (hidden ? kTvScanFoundHidden : 0);
  }
  if (name) name[0] = '\0';
  return 0;
}

TvStatus TvFileFindClose() {
  if (scan.find != INVALID_HANDLE_VALUE) tvSys.findClose(scan.find);
  scan.find = INVALID_HANDLE_VALUE;
  scan.haveAhead = false;
  const TvStatus broken = scan.broken;
  scan.broken = TvOk;
  if (scan.locked) {
    scan.locked = false;
    TvLockRelease(TvServiceLock(TvLockId::Scan));
  }
  return broken;
}
