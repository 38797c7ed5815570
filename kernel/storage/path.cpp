// path.cpp: building full paths, directory checks and the file search along
// the home directory, the program directory and a PATH-style variable.
#include "tv_path.h"

#include <cstring>
#include <initializer_list>

#include "tv_context.h"
#include "tv_file.h"
#include "tv_memory.h"
#include "tv_string.h"
#include "tv_system.h"

namespace {

constexpr size_t kComponentMax = 254;
constexpr size_t kLongPathSize = 4 * kTvPathSize;  // room to see that a path is too long

bool IsDevice(const char* name) {
  size_t length = strlen(name);
  return length > 2 && name[length - 1] == ':';
}

// Appends a path component (cut to 254 characters) with a single backslash.
void JoinComponent(char* out, const char* part, size_t partLength) {
  if (!partLength) return;
  size_t used = strlen(out);
  if (used && out[used - 1] != '\\' && out[used - 1] != ':' && used + 1 < kTvPathSize) {
    out[used++] = '\\';
    out[used] = '\0';
  }
  char piece[kTvPathSize];
  TvStrCopy(piece, part, partLength + 1 < sizeof piece ? partLength + 1 : sizeof piece);
  TvStrCat(out, piece, kTvPathSize);
}

// Joins a directory and a relative part with single backslashes, cutting
// every component to 254 characters. A leading "\\" or "\" of the first
// text is kept.
void JoinPath(char* out, const char* first, const char* second) {
  out[0] = '\0';
  if (first[0] == '\\' && first[1] == '\\') {
    TvStrCopy(out, "\\\\", kTvPathSize);
    first += 2;
  } else if (first[0] == '\\') {
    TvStrCopy(out, "\\", kTvPathSize);
    ++first;
  } else if (first[0] && first[1] == ':') {
    size_t drive = first[2] == '\\' ? 3 : 2;  // "C:\" is absolute, "C:" drive-relative
    TvStrCopy(out, first, drive + 1);
    first += drive;
  }
  for (const char* p : {first, second}) {
    while (*p) {
      size_t length = strcspn(p, "\\/");
      if (length) JoinComponent(out, p, length > kComponentMax ? kComponentMax : length);
      p += length;
      if (*p) ++p;
    }
  }
}

// The steps of TvPathBuild.

// A name starting "!" lives in the home directory, one starting "$" in the
// data directories, whatever directory was given; the mark (and a "\"
// after it) is taken off the name.
const char* ResolvePrefix(const char* directory, const char*& name) {
  if (name[0] != '!' && name[0] != '$') return directory;
  directory = name[0] == '!' ? tvContext.homeDir : tvContext.dataDir;
  ++name;
  if (*name == '\\') ++name;
  return directory;
}

// What the name is relative to: nothing for a name with a drive or a UNC
// name, the directory's drive for a name from the root, else the directory.
void BaseOf(const char* name, const char* directory, char* base) {
  base[0] = '\0';
  if (strchr(name, ':') || (name[0] == '\\' && name[1] == '\\')) return;
  if (name[0] != '\\') TvStrCopy(base, directory, kTvPathSize);
  else if (directory[0] && directory[1] == ':') TvFormat(base, kTvPathSize, "%c:\\", directory[0]);
}

// The name's file part: after its last "\" or ":", none when that holds
// nothing but dots.
const char* FilePart(const char* name) {
  const char* filePart = name;
  for (const char* p = name; *p; ++p)
    if (*p == '\\' || *p == ':') filePart = p + 1;
  if (filePart[strspn(filePart, ".")] == '\0') filePart = name + strlen(name);
  return filePart;
}

// The full path of the base joined with the name's directory part (its
// first dirPartLength characters).
TvStatus FullDirectory(const char* base, const char* name, size_t dirPartLength, char* path) {
  char namePart[kTvPathSize];
  char joined[kTvPathSize];
  TvStrCopy(namePart, name, dirPartLength + 1 < sizeof namePart ? dirPartLength + 1 : sizeof namePart);
  if (strchr(namePart, ':')) TvStrCopy(joined, namePart, sizeof joined);  // the name carries its drive
  else if (base[0]) JoinPath(joined, base, namePart);
  else JoinPath(joined, namePart, "");
  return TvPathFull(path, joined, nullptr);
}

// The file part after the directory, cut to 254 characters.
void AppendFilePart(char* path, const char* filePart) {
  if (!*filePart) return;
  size_t used = strlen(path);
  if (used && path[used - 1] != '\\') TvStrCat(path, "\\", kLongPathSize);
  char file[kTvPathSize];
  TvStrCopy(file, filePart, kComponentMax + 1);
  TvStrCat(path, file, kLongPathSize);
}

// "ext" (or ".ext") is added to a name without an extension; "!ext" (or
// "!.ext") also replaces an extension the name has. A final dot is dropped.
void ApplyDefaultExtension(char* path, const char* defaultExtension) {
  const char* ext = TvStrOrEmpty(defaultExtension);
  const bool replace = ext[0] == '!';
  if (replace) {
    ++ext;
    if (*ext == '.') ++ext;
  }
  char* dot = strrchr(const_cast<char*>(TvPathFileName(path)), '.');
  if (!dot) {
    if (*ext) {
      if (ext[0] != '.') TvStrCat(path, ".", kLongPathSize);
      TvStrCat(path, ext, kLongPathSize);
    }
  } else if (replace && *ext) {
    dot[1] = '\0';
    TvStrCat(path, ext, kLongPathSize);
  } else if (dot[1] == '\0') {
    *dot = '\0';
  }
}

bool SameDirectory(const char* a, const char* b) { return a[0] && TvStrEqualNoCase(a, b); }

}  // namespace

TvStatus TvMapSystemError(DWORD error, TvStatus otherwise) {
  if (error == ERROR_ACCESS_DENIED) return TvErrDiskRead;
  if (error == ERROR_INVALID_DRIVE) return TvErrInvalidDrive;
  return otherwise;
}

int TvHasWildcards(const char* text) { return text && strpbrk(text, "*?") ? 1 : 0; }

const char* TvPathFileName(const char* path) {
  path = TvStrOrEmpty(path);
  const char* slash = strrchr(path, '\\');
  return slash ? slash + 1 : path;
}

void TvPathDirectory(const char* path, char* out, size_t size) {
  const char* name = TvPathFileName(path);
  size_t length = static_cast<size_t>(name - TvStrOrEmpty(path));
  if (length > 1 && path[length - 1] == '\\' && path[length - 2] != ':') --length;
  TvStrCopy(out, path, length + 1 < size ? length + 1 : size);
}

TvStatus TvPathFull(char* out, const char* path, char** end) {
  char work[kTvPathSize];
  path = TvStrOrEmpty(path);
  if (path[0] == '$') {
    TvStrCopy(out, path, kTvPathSize);
    if (end) *end = out + strlen(out);
    return TvOk;
  }
  TvStrCopy(work, *path ? path : ".", sizeof work);
  size_t length = strlen(work);
  if (length > 1 && work[length - 1] == '\\' && work[length - 2] != ':') work[length - 1] = '\0';
  char* filePart = nullptr;
  char full[MAX_PATH * 2];
  DWORD n = tvSys.getFullPathName(work, sizeof full, full, &filePart);
  if (n == 0 || n >= kTvPathSize) {
    TvStrCopy(out, work, kTvPathSize);
    if (end) *end = out + strlen(out);
    return n == 0 ? TvMapSystemError(GetLastError(), TvErrInvalidDirectory) : TvErrInvalidDirectory;
  }
  TvStrCopy(out, full, kTvPathSize);
  if (end) *end = out + strlen(out);
  return TvOk;
}

bool TvIsKnownDirectory(const char* path) {
  if (SameDirectory(tvContext.homeDir, path) || SameDirectory(tvContext.progDir, path) ||
      SameDirectory(tvContext.dataDir, path) || SameDirectory(tvContext.tempDir, path))
    return true;
  char entry[kTvPathSize];
  for (int i = 0; TvDataDirGet(i, entry); ++i)
    if (SameDirectory(entry, path)) return true;
  return false;
}

TvStatus TvDirCheck(const char* path, bool acceptKnown) {
  path = TvStrOrEmpty(path);
  if ((tvContext.flags & TvFlagNoDirChecks) || path[0] == '$') return TvOk;
  const bool startingUp = tvContext.flags & TvFlagStartingUp;
  if (acceptKnown && tvContext.homeDir[0] && !startingUp && TvIsKnownDirectory(path)) return TvOk;
  DWORD attributes = tvSys.getFileAttributes(path);
  TvStatus code = TvOk;
  if (attributes == INVALID_FILE_ATTRIBUTES) code = TvMapSystemError(GetLastError(), TvErrInvalidDirectory);
  else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) code = TvErrInvalidDirectory;
  if (code == TvOk || startingUp) return code;
  return TvErrorRaise(code, path, TvRaiseOrigin);
}

TvStatus TvPathBuild(char* out, const char* directory, const char* name, const char* defaultExtension) {
  char tmp[kTvPathSize];
  if (!out) out = tmp;
  out[0] = '\0';
  name = TvStrOrEmpty(name);
  while (*name == ' ') ++name;
  directory = ResolvePrefix(TvStrOrEmpty(directory), name);
  if (IsDevice(name)) {
    TvStrCopy(out, name, kTvPathSize);
    return TvOk;
  }
  if (!*directory) directory = tvContext.homeDir;
  char base[kTvPathSize];
  BaseOf(name, directory, base);
  const char* filePart = FilePart(name);

  // Built in a larger buffer: a path that does not fit in 255 characters
  // is refused, never cut into the name of some other file.
  char path[kLongPathSize];
  TvStatus status = TvOk;
  if (base[0] == '$') {
    // Several data directories: TvFileOpen tries each of them.
    TvStrCopy(path, "$\\", sizeof path);
    TvStrCat(path, name, sizeof path);
  } else {
    status = FullDirectory(base, name, static_cast<size_t>(filePart - name), path);
    if (status != TvOk) {
      TvStrCopy(out, path, kTvPathSize);
      return status;
    }
    status = TvDirCheck(path, true);
    AppendFilePart(path, filePart);
  }
  if (*filePart) ApplyDefaultExtension(path, defaultExtension);
  TvStrCopy(out, path, kTvPathSize);
  if (strlen(path) >= kTvPathSize) return TvErrInvalidDirectory;
  return status;
}

int TvFileExists(char* fullPath, const char* directory, const char* name, const char* defaultExtension) {
  TvFileHandle handle;
  if (TvFileOpen(fullPath, directory, name, defaultExtension, TvFileSilent | TvFileNoMedia | TvFileShareAll, &handle) !=
      TvOk)
    return 0;
  TvFileClose(handle);
  return 1;
}

int TvFileSearch(char* fullPath, const char* name, const char* defaultExtension, const char* variable) {
  char unused[kTvPathSize];
  if (!fullPath) fullPath = unused;
  fullPath[0] = '\0';
  if (!name || !*name) return 0;
  if (tvContext.flags & TvFlagProgDirOnly) return TvFileExists(fullPath, tvContext.progDir, name, defaultExtension);
  if (TvFileExists(fullPath, nullptr, name, defaultExtension)) return 1;
  if (tvContext.progDir[0] && TvFileExists(fullPath, tvContext.progDir, name, defaultExtension)) return 1;
  // The variable is read at its real size: a long PATH is searched to its
  // end. Without memory for it, the search ends here.
  char* value = nullptr;
  bool read = false;
  DWORD need = variable && *variable ? tvSys.getEnvironmentVariable(variable, nullptr, 0) : 0;
  for (int tries = 0; need > 0 && !read && tries < 4; ++tries) {
    char* grown = static_cast<char*>(TvMemResize(value, 0, need));
    if (!grown) break;
    value = grown;
    const DWORD n = tvSys.getEnvironmentVariable(variable, value, need);
    if (n < need) {
      value[n] = '\0';
      read = true;
    } else {
      need = n;  // the variable grew in the meantime
    }
  }
  int found = 0;
  if (read) {
    for (const char* p = value; *p && !found;) {
      const char* next = strchr(p, ';');
      const size_t length = next ? static_cast<size_t>(next - p) : strlen(p);
      // An entry too long for a path is passed over, never cut down to the
      // name of some other directory; empty entries are passed over too.
      if (length > 0 && length < kTvPathSize) {
        char directory[kTvPathSize];
        TvStrCopy(directory, p, length + 1);
        found = TvFileExists(fullPath, directory, name, defaultExtension);
      }
      p += length + (next ? 1 : 0);
    }
  }
  TvMemFree(value);
  if (!found) fullPath[0] = '\0';
  return found;
}

// ---- Directories ----------------------------------------------------------

namespace {

// The data directory list: the first data directory is tvContext.dataDir;
// once a second one is added, the list holds them all and dataDir reads "$".
constexpr int kMaxDataDirs = 16;
char dataDirs[kMaxDataDirs][kTvPathSize];
int dataDirCount = 0;

void Trim(char* text) {
  size_t start = strspn(text, " ");
  size_t length = strlen(text + start);
  memmove(text, text + start, length + 1);
  while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
}

}  // namespace

void TvDataDirReset() {
  dataDirCount = 0;
  memset(dataDirs, 0, sizeof dataDirs);
}

TvStatus TvDirCreate(const char* path, uint32_t flags) {
  char trimmed[kTvPathSize];
  TvStrCopy(trimmed, path, sizeof trimmed);
  Trim(trimmed);
  const bool startingUp = tvContext.flags & TvFlagStartingUp;
  if (trimmed[0] == '$') return startingUp ? TvOk : TvErrorRaise(TvErrInvalidDirectory, trimmed, TvRaiseOrigin);
  char full[kTvPathSize];
  TvStatus status;
  {
    TvQuiet quiet;
    status = TvPathFull(full, trimmed, nullptr);
    if (status == TvOk) status = TvDirCheck(full, false);
    while (status != TvOk && !(flags & (TvDirCreateMissing | TvDirNoMediaPrompt)) && tvHooks.askForMedia(full))
      status = TvDirCheck(full, false);
    if (status == TvErrInvalidDirectory && (flags & TvDirCreateMissing) && !tvSys.createDirectory(full, nullptr))
      status = TvMapSystemError(GetLastError(), TvErrDirCreate);
    else if (status == TvErrInvalidDirectory && (flags & TvDirCreateMissing)) status = TvOk;
  }
  if (status == TvOk || startingUp) return TvOk;
  return TvErrorRaise(status, trimmed, TvRaiseOrigin);
}

TvStatus TvDirSetCurrent(const char* path) {
  if (!path || !*path || (tvContext.flags & TvFlagNoDirChecks)) return TvOk;
  if (!tvSys.setCurrentDirectory(path))
    return TvErrorRaise(TvMapSystemError(GetLastError(), TvErrInvalidDirectory), path, TvRaiseOrigin);
  return TvOk;
}

TvStatus TvDirRemove(const char* path) {
  if (!path || !*path || !tvSys.removeDirectory(path))
    return TvErrorRaise(TvMapSystemError(GetLastError(), TvErrInvalidDirectory), path, TvRaiseOrigin);
  return TvOk;
}

TvStatus TvDataDirAdd(const char* path, bool reset) {
  if (reset) {
    tvContext.dataDir[0] = '\0';
    TvDataDirReset();
  }
  char entry[kTvPathSize];
  TvStrCopy(entry, path, sizeof entry);
  Trim(entry);
  if (TvStatus status = TvDirCreate(entry, 0); status != TvOk) return status;
  if (!tvContext.dataDir[0]) {
    TvStrCopy(tvContext.dataDir, entry, sizeof tvContext.dataDir);
    return TvOk;
  }
  if (dataDirCount >= kMaxDataDirs) return TvOk;
  if (dataDirCount == 0) {
    TvStrCopy(dataDirs[dataDirCount++], tvContext.dataDir, kTvPathSize);
    TvStrCopy(tvContext.dataDir, "$", sizeof tvContext.dataDir);
  }
  for (int i = 0; i < dataDirCount; ++i)
    if (TvStrEqualNoCase(dataDirs[i], entry)) return TvOk;
  if (dataDirCount < kMaxDataDirs) TvStrCopy(dataDirs[dataDirCount++], entry, kTvPathSize);
  return TvOk;
}

int TvDataDirGet(int index, char* out) {
  char none[kTvPathSize];
  if (!out) out = none;
  out[0] = '\0';
  if (dataDirCount == 0) {
    if (index != 0 || !tvContext.dataDir[0]) return 0;
    TvStrCopy(out, tvContext.dataDir, kTvPathSize);
    return 1;
  }
  if (index < 0 || index >= dataDirCount) return 0;
  TvStrCopy(out, dataDirs[index], kTvPathSize);
  return 1;
}

int TvDataDirCount() { return dataDirCount; }

// ---- Splitting and shortening -----------------------------------------------

TvStatus TvPathSplit(const char* path, char* directory, char* name, char* extension) {
  TvStrCopy(directory, "", kTvPathSize);
  TvStrCopy(name, "", kTvPathSize);
  if (extension) extension[0] = '\0';
  path = TvStrOrEmpty(path);
  if (IsDevice(path)) {
    TvStrCopy(name, path, kTvPathSize);
    return TvOk;
  }
  char full[kTvPathSize];
  TvStatus status;
  {
    TvQuiet quiet;
    status = TvPathBuild(full, nullptr, path, nullptr);
  }
  if (status == TvOk && !(tvContext.flags & TvFlagNoDirChecks)) {
    DWORD attributes = tvSys.getFileAttributes(full);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      TvStrCopy(directory, full, kTvPathSize);
      return TvOk;
    }
  }
  // The network prefix (\\server\share) is never split off as a name.
  const char* start = full;
  if (full[0] == '\\' && full[1] == '\\') {
    const char* server = strchr(full + 2, '\\');
    const char* share = server ? strchr(server + 1, '\\') : nullptr;
    start = share ? share : full + strlen(full);
  }
  const char* last = start;
  for (const char* p = start; *p; ++p)
    if (*p == '\\' || *p == ':') last = p + 1;
  TvStrCopy(name, last, kComponentMax + 1 < kTvPathSize ? kComponentMax + 1 : kTvPathSize);
  if (const char* dot = strrchr(last, '.'); dot && extension) TvStrCopy(extension, dot + 1, 9);
  size_t dirLength = static_cast<size_t>(last - full);
  if (dirLength > 0 && full[dirLength - 1] == '\\' && !(dirLength == 3 && full[1] == ':') && !(dirLength == 1))
    --dirLength;
  char dirPart[kTvPathSize];
  TvStrCopy(dirPart, full, dirLength + 1 < sizeof dirPart ? dirLength + 1 : sizeof dirPart);
  TvStrCopy(directory, dirPart, kTvPathSize);
  if (status == TvErrInvalidDirectory && name[0] != '.') {
    char rebuilt[kTvPathSize];
    status = TvPathBuild(rebuilt, nullptr, dirPart, nullptr);
    TvStrCopy(directory, rebuilt, kTvPathSize);
  }
  return status;
}

int TvPathShorten(const char* path, char* out, size_t maximum) {
  path = TvStrOrEmpty(path);
  const size_t length = strlen(path);
  if (length <= maximum) {
    TvStrCopy(out, path, maximum + 1);
    return 0;
  }
  const char* firstSlash = strchr(path, '\\');
  if (!firstSlash) {
    TvStrCopy(out, path, maximum + 1);
    return 1;
  }
  // Keep whole trailing components while they and six more characters fit.
  const char* tail = path + length;
  for (const char* p = path + length; p > firstSlash;) {
    --p;
    if (*p == '\\') {
      if (static_cast<size_t>(path + length - p) + 6 > maximum) break;
      tail = p;
    }
  }
  char drive[3] = "";
  if (path[0] && path[1] == ':') TvStrCopy(drive, path, sizeof drive);
  TvFormat(out, maximum + 1, "%s\\..%s", drive, tail);
  return 1;
}

// ---- Drives -----------------------------------------------------------------

namespace {
int driveCounter = 0;
uint32_t driveFilter = 0;
}  // namespace

void TvDriveReset(uint32_t scanFilter) {
  driveCounter = 0;
  driveFilter = scanFilter;
}

int TvDriveKind(const char* path) {
  if (!path || !path[0] || path[1] != ':') return TvDriveOther;
  const char root[4] = {path[0], ':', '\\', '\0'};
  switch (tvSys.getDriveType(root)) {
    case DRIVE_REMOVABLE: return TvDriveRemovable;
    case DRIVE_FIXED: return TvDriveFixed;
    case DRIVE_REMOTE: return TvDriveRemote;
    case DRIVE_CDROM: return TvDriveCdrom;
    default: return TvDriveOther;
  }
}

int TvDriveNext(char* out) {
  while (driveCounter < 26) {
    const char letter = static_cast<char>('A' + driveCounter++);
    const char root[4] = {letter, ':', '\\', '\0'};
    const UINT type = tvSys.getDriveType(root);
    if (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR) continue;
    TvFormat(out, 4, (driveFilter & TvScanFiles) ? "%c:\\" : "%c:", letter);
    return 1;
  }
  TvStrCopy(out, "", 4);
  return 0;
}

TvStatus TvDriveFirstCdrom(char* out) {
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const char root[4] = {letter, ':', '\\', '\0'};
    if (tvSys.getDriveType(root) == DRIVE_CDROM) {
      TvStrCopy(out, root, 4);
      return TvOk;
    }
  }
  TvStrCopy(out, "", 4);
  return TvErrorRaise(TvErrInvalidDrive, nullptr, TvRaiseOrigin);
}

// ---- Programs ---------------------------------------------------------------

TvStatus TvProgramStart(const char* program, const char* arguments, TvProgram* record) {
  if (record) *record = {false, nullptr};
  char found[kTvPathSize];
  if (!TvFileSearch(found, program, "exe", "PATH"))
    return TvErrorRaise(TvErrFileNotFound, TvStrOrEmpty(program), TvRaiseOrigin);
  char commandLine[kTvCommandLineSize];
  if (arguments && *arguments) TvFormat(commandLine, sizeof commandLine, "%s  %s", found, arguments);
  else TvStrCopy(commandLine, found, sizeof commandLine);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  // The program found is named apart from the command line, so that a path
  // with blanks ("C:\Program Files\...") can never start another program
  // ("C:\Program.exe").
  if (!tvSys.createProcess(found, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
    return TvErrorRaise(TvErrTaskCreate, commandLine, TvRaiseOrigin);
  tvSys.closeHandle(process.hThread);
  if (record) *record = {true, process.hProcess};
  else tvSys.closeHandle(process.hProcess);
  return TvOk;
}

int TvProgramRunning(TvProgram* record) {
  if (!record || !record->running) return 0;
  // The process handle, not the exit code: a program may end with 259, the
  // value that stands for "still running".
  if (tvSys.waitForSingleObject(record->process, 0) == WAIT_TIMEOUT) return 1;
  tvSys.closeHandle(record->process);
  *record = {false, nullptr};
  return 0;
}

void TvProgramWait(TvProgram* record, uint32_t interval) {
  while (TvProgramRunning(record)) tvSys.sleep(interval);
}

size_t TvProcessIdText(char* out, size_t size) { return TvFormat(out, size, "#%lx", GetCurrentProcessId()); }
