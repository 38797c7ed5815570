// setup.cpp: the launcher's run: the command-line vector, its options and
// the arguments passed on, the staging folder, the copy of the media under
// the staging folder's lock, the staging folder cleared of modules the media
// did not bring, and the start of the staged engine.
#include "setup.h"

#include <windows.h>

#include <cstring>

#include "forms.h"
#include "progress.h"
#include "tv_charset.h"
#include "tv_context.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_ini.h"
#include "tv_instance.h"
#include "tv_list.h"
#include "tv_log.h"
#include "tv_path.h"
#include "tv_string.h"
#include "tv_system.h"

namespace {

constexpr char kBoxTitle[] = "Error";
constexpr uint32_t kBoxStyle = TvFormsOk | TvFormsIconExclamation;
static_assert(kBoxStyle == 769, "an OK button with an exclamation icon");

constexpr const char* kMessages[] = {
    nullptr,
    "Could not locate setup files.\nPlease contact technical support for assistance.",
    "Could not locate temporary directory.\nPlease contact technical support for assistance.",
    "Could not create temporary directory.\nPlease contact technical support for assistance.",
    "Error copying files.\n\nPlease check that you only have one installer instance running and try "
    "again.\nContact technical support for further assistance.",
    "Setup could not be launched. Please contact Tarvel Technical Support for assistance.",
};

// Start-up flags: the configuration stays loaded through the forms
// library's start-up and is released after it; a missing configuration
// file is no error.
constexpr uint32_t kStartupFlags = TvFlagReserved0800 | TvFlagConfigOptional | TvFlagKeepConfig;
static_assert(kStartupFlags == 0x0A01, "the flags word of the launcher's kernel start");

// The copy's buffer, of the block size measured against CopyFileA by
// tools/bench/stage_bench (docs/performance.md). One buffer: the launcher
// copies on one thread.
char copyBlock[kTvSetupCopyBlock];

struct Launch {
  char source[kTvSetupTextSize] = "";  // as the engine hears it
  char medium[kTvSetupTextSize] = "";  // the source folder as a full path: where the files are read
  char temp[kTvSetupTextSize] = "";
  char subfolder[kTvSetupTextSize] = "";
  char passedOn[kTvSetupTextSize] = "";
  bool passedOnCut = false;
  char staging[kTvSetupTextSize] = "";
};

// A command line written into a buffer, which says when it ran out of room
// rather than cutting it quietly.
struct Line {
  char* text;
  size_t size;
  size_t used = 0;
  bool cut = false;
  Line(char* buffer, size_t bufferSize) : text(buffer), size(bufferSize) { text[0] = '\0'; }
  void Put(char c) {
    if (used + 1 >= size) {
      cut = true;
      return;
    }
    text[used++] = c;
    text[used] = '\0';
  }
  void Put(const char* s) {
    while (*s) Put(*s++);
  }
  // The text in double quotes, written so that the engine's C runtime reads
  // it back as it is: a quote inside as \", and backslashes doubled where
  // they stand before a quote or the closing one ("D:\" would read as an
  // escaped quote and swallow the rest of the line).
  void PutQuoted(const char* s) {
    Put('"');
    for (;; ++s) {
      size_t slashes = strspn(s, "\\");
      const bool beforeQuote = s[slashes] == '"' || s[slashes] == '\0';
      for (size_t i = beforeQuote ? 2 * slashes : slashes; i > 0; --i) Put('\\');
      s += slashes;
      if (!*s) break;
      if (*s == '"') Put('\\');
      Put(*s);
    }
    Put('"');
  }
};

// directory + "\" + name (no second backslash after one that ends the
// directory; an empty directory gives the name alone). False when the
// result does not fit: a cut path would name another file.
bool Join(char* out, const char* directory, const char* name) {
  char joined[kTvSetupTextSize];
  size_t n = TvStrCopy(joined, directory, sizeof joined);
  if (n > 0 && joined[n - 1] != '\\' && joined[n - 1] != '/') n = TvStrCat(joined, "\\", sizeof joined);
  const size_t want = n + strlen(name);
  if (TvStrCat(joined, name, sizeof joined) != want) return false;
  TvStrCopy(out, joined, kTvSetupTextSize);
  return true;
}

// The path made full. A path beginning with "$" is a folder of that name,
// not the kernel's data folders.
bool FullPath(char* out, const char* path) {
  char work[kTvSetupTextSize];
  const char* prefix = path[0] == '$' ? ".\\" : "";
  if (TvFormat(work, sizeof work, "%s%s", prefix, path) != strlen(prefix) + strlen(path)) return false;
  return TvPathFull(out, work, nullptr) == TvOk;
}

void ReadArguments(const TvSetupArgs& args, Launch& launch) {
  Line passedOn(launch.passedOn, sizeof launch.passedOn);
  for (int i = 1; i < args.count; ++i) {
    const char* arg = args.text[i];
    char* option = TvStrCompareNoCaseN(arg, "-SR", 3) == 0   ? launch.source
                   : TvStrCompareNoCaseN(arg, "-TM", 3) == 0 ? launch.temp
                   : TvStrCompareNoCaseN(arg, "-DA", 3) == 0 ? launch.subfolder
                                                             : nullptr;
    if (option) {
      if (const char* colon = strchr(arg, ':')) TvStrCopy(option, colon + 1, kTvSetupTextSize);
      continue;
    }
    if (!*arg) continue;
    // An option or a single character goes as it is, unless a blank, a tab
    // or a quote in it would make the engine read something else.
    if ((arg[0] == '-' || arg[1] == '\0') && !strpbrk(arg, " \t\"")) passedOn.Put(arg);
    else passedOn.PutQuoted(arg);
    passedOn.Put(' ');
  }
  launch.passedOnCut = passedOn.cut;
}

// A subfolder of the staging folder is one name: anything else would
// place the staging folder, and what is staged there, outside TarvelInst.
bool PlainName(const char* name) { return !strpbrk(name, "\\/:") && name[strspn(name, ".")] != '\0'; }

bool SetupScriptPresent(const char* source) {
  TvFileHandle handle = kTvNoFile;
  if (TvFileOpen(nullptr, source, "setup.inx", nullptr, TvFileNoMedia | TvFileSilent, &handle) != TvOk) return false;
  TvFileClose(handle);
  return true;
}

// Whether the copy takes a file of the medium's listing: not names
// beginning with "." and not the launcher itself (hidden files and folders
// the listing leaves out).
bool Staged(const char* name) { return name[0] != '.' && !TvStrEqualNoCase(name, "setup.exe"); }

// The bytes the copy will move, for its progress bar: the files it takes,
// by its rules. A listing that fails counts what it saw: the copy's own
// scan reports the failure.
uint64_t MediumSize(const char* pattern) {
  WIN32_FIND_DATAA entry;
  HANDLE find = tvSys.findFirstFile(pattern, &entry);
  if (find == INVALID_HANDLE_VALUE) return 0;
  uint64_t total = 0;
  do
    if (!(entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN)) && Staged(entry.cFileName))
      total += (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
  while (tvSys.findNextFile(find, &entry));
  tvSys.findClose(find);
  return total;
}

// Copies every file of the source folder into the staging folder, the
// engine "_ISmain" as "setup.exe", and lists the names it staged; stops at
// the first failure. Hidden files, names beginning with "." and folders
// stay behind, and so does the launcher itself.
TvStatus StageFiles(const char* source, const char* staging, TvList* staged) {
  char pattern[kTvSetupTextSize];
  if (!Join(pattern, source, "*.*")) return TvErrorRaise(TvErrInvalidDirectory, source, TvRaiseOrigin);
  TvProgressBegin(MediumSize(pattern));
  // The launcher's kernel answers a scan that cannot start or breaks off
  // without raising it: either is a copy that did not reach every file.
  TvStatus status = TvFileFindFirst(pattern, TvScanFiles);
  if (status != TvOk) status = TvErrorRaise(status, pattern, TvRaiseOrigin);
  char name[kTvPathSize];
  for (int kind; status == TvOk && (kind = TvFileFindNext(name)) != 0;) {
    if (kind != kTvScanFoundFile || !Staged(name)) continue;
    const char* target = TvStrEqualNoCase(name, "_ISmain") ? "setup.exe" : name;
    char from[kTvSetupTextSize], to[kTvSetupTextSize];
    if (!Join(from, source, name) || !Join(to, staging, target))
      status = TvErrorRaise(TvErrFileCreate, name, TvRaiseOrigin);
    else {
      TvProgressFile(name);
      status = TvSetupCopyFile(from, to);
    }
    if (status == TvOk) status = TvListAdd(staged, target, nullptr);
  }
  const TvStatus broken = TvFileFindClose();
  if (status == TvOk && broken != TvOk) status = TvErrorRaise(broken, pattern, TvRaiseOrigin);
  return status;
}

// Held while a run stages into a folder: a second run staging into the same
// folder would fail on the files the first holds open, or mix its files
// with the first's. The mutex is named after the folder: "Local\\" and its
// full path upper-cased, each backslash written "/" (its last 250
// characters when longer).
class StagingLock {
 public:
  explicit StagingLock(const char* staging) {
    char name[MAX_PATH] = "Local\\";
    const size_t length = strlen(staging), keep = length < 250 ? length : 250;
    char* p = name + strlen(name);
    for (const char* s = staging + length - keep; *s; ++s) *p++ = *s == '\\' ? '/' : TvToUpper(*s);
    *p = '\0';
    mutex_ = CreateMutexA(nullptr, FALSE, name);
    // Abandoned: a run that ended without releasing it.
    const DWORD waited = mutex_ ? WaitForSingleObject(mutex_, 0) : WAIT_FAILED;
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  ~StagingLock() {
    if (held_) ReleaseMutex(mutex_);
    if (mutex_) CloseHandle(mutex_);
  }
  StagingLock(const StagingLock&) = delete;
  StagingLock& operator=(const StagingLock&) = delete;
  bool Held() const { return held_; }

 private:
  HANDLE mutex_ = nullptr;
  bool held_ = false;
};

// Files the system loads as code, and a manifest or a ".local" file, which
// tell the loader where to look for it.
constexpr const char* kModuleExtensions[] = {"dll", "exe", "ocx", "cpl", "drv", "sys", "scr",      "com",
                                             "ax",  "acm", "ime", "tsp", "mui", "efi", "manifest", "local"};

bool IsModule(const char* name) {
  const char* dot = strrchr(name, '.');
  if (!dot) return false;
  for (const char* extension : kModuleExtensions)
    if (TvStrEqualNoCase(dot + 1, extension)) return true;
  return false;
}

// Removes every module of the staging folder that this run did not copy
// from the medium: an earlier run's, or one put there by anybody who can
// write to the temporary folder, would sit beside the engine, where its
// loader looks first. Hidden files and names beginning with "." count too:
// the loader minds neither. One log line each; a module that stays is a
// failure, and the engine is not started beside it.
TvStatus RemoveForeignModules(const char* staging, TvList* staged) {
  char pattern[kTvSetupTextSize];
  if (!Join(pattern, staging, "*")) return TvErrorRaise(TvErrInvalidDirectory, staging, TvRaiseOrigin);
  WIN32_FIND_DATAA entry;
  HANDLE find = tvSys.findFirstFile(pattern, &entry);
  if (find == INVALID_HANDLE_VALUE)
    return TvErrorRaise(TvMapSystemError(GetLastError(), TvErrInvalidDirectory), pattern, TvRaiseOrigin);
  TvStatus status = TvOk;
  do {
    int32_t index = 0, found = 0;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsModule(entry.cFileName) ||
        (TvListFind(staged, entry.cFileName, 0, &index, &found) == TvOk && found))
      continue;
    char path[kTvSetupTextSize];
    if (!Join(path, staging, entry.cFileName) || !tvSys.deleteFile(path)) {
      status = TvErrorRaise(TvErrFileDelete, entry.cFileName, TvRaiseOrigin);
      break;
    }
    char line[kTvSetupTextSize + 64];
    TvFormat(line, sizeof line, "Removed %s: a module the medium does not hold\n", path);
    TvLogWrite(line);
  } while (tvSys.findNextFile(find, &entry));
  const DWORD error = GetLastError();
  tvSys.findClose(find);
  if (status == TvOk && error != ERROR_NO_MORE_FILES)
    status = TvErrorRaise(TvMapSystemError(error, TvErrInvalidDirectory), pattern, TvRaiseOrigin);
  return status;
}

// Starts the staged engine with the passed-on arguments and the source
// folder, or refuses: a command line cut at its buffer would leave the
// engine a cut argument, or the source folder inside one whose quote the
// cut left open.
int StartEngine(const Launch& launch) {
  char engine[kTvSetupTextSize], found[kTvPathSize];
  if (!Join(engine, launch.staging, "setup.exe") || !TvFileSearch(found, engine, "exe", "PATH")) {
    TvErrorRaise(TvErrFileNotFound, engine, TvRaiseOrigin);
    return TvSetupNotLaunched;
  }
  char arguments[kTvCommandLineSize];
  Line line(arguments, sizeof arguments);
  line.Put(launch.passedOn);
  line.Put(" p ");
  line.PutQuoted(launch.source);
  if (launch.passedOnCut || line.cut || strlen(found) + 2 + line.used >= kTvCommandLineSize) {
    TvErrorRaise(TvErrTruncated, engine, TvRaiseOrigin);
    return TvSetupNotLaunched;
  }
  return TvProgramStart(found, arguments, nullptr) == TvOk ? TvSetupLaunched : TvSetupNotLaunched;
}

// The copy and the staging folder cleared of foreign modules, under the
// staging folder's lock; the progress window is gone when it ends.
int CopyMedium(const Launch& launch) {
  StagingLock lock(launch.staging);
  if (!lock.Held()) {
    TvErrorRaise(TvErrFileAccess, launch.staging, TvRaiseOrigin);
    return TvSetupCopyFailed;
  }
  TvList* staged = TvListCreate(TvListUnique, TvListCompareText, kTvListText, 0);
  TvStatus copied = staged ? StageFiles(launch.medium, launch.staging, staged)
                           : TvErrorRaise(TvErrNoMemory, "TarvelInst", TvRaiseOrigin);
  TvProgressEnd();
  if (copied == TvOk) copied = RemoveForeignModules(launch.staging, staged);
  if (staged) TvListFree(staged);
  return copied == TvOk ? TvSetupLaunched : copied == kTvSetupCopyCancelled ? TvSetupCancelled : TvSetupCopyFailed;
}

int Stage(Launch& launch) {
  if (!launch.source[0]) TvStrCopy(launch.source, tvContext.homeDir, sizeof launch.source);
  // Files are read through the full path: a relative folder would be read
  // from the staging folder once that is current, and a name beginning
  // with "!" or "$" joined to an empty folder would name a file in the
  // kernel's home or data folder. The engine, which runs in the staging
  // folder, hears a given folder as a full path too; an empty one stays
  // empty.
  if (!FullPath(launch.medium, launch.source)) {
    TvErrorRaise(TvErrInvalidDirectory, launch.source, TvRaiseOrigin);
    return TvSetupNoSetupFiles;
  }
  if (launch.source[0]) TvStrCopy(launch.source, launch.medium, sizeof launch.source);
  if (!SetupScriptPresent(launch.medium)) return TvSetupNoSetupFiles;
  if (!launch.temp[0]) TvStrCopy(launch.temp, tvContext.tempDir, sizeof launch.temp);
  if (!launch.temp[0]) return TvSetupNoTempFolder;
  if (!FullPath(launch.temp, launch.temp) || !Join(launch.staging, launch.temp, "TarvelInst") ||
      (launch.subfolder[0] &&
       (!PlainName(launch.subfolder) || !Join(launch.staging, launch.staging, launch.subfolder)))) {
    TvErrorRaise(TvErrDirCreate, launch.subfolder[0] ? launch.subfolder : launch.temp, TvRaiseOrigin);
    return TvSetupNoStagingFolder;
  }
  if (TvDirCreate(launch.staging, TvDirCreateMissing | TvDirNoMediaPrompt) != TvOk) return TvSetupNoStagingFolder;
  const int copied = CopyMedium(launch);
  if (copied != TvSetupLaunched) return copied;
  if (TvDirSetCurrent(launch.staging) != TvOk) return TvSetupNotLaunched;
  return StartEngine(launch);
}

}  // namespace

void TvSetupSplit(const char* commandLine, TvSetupArgs* args) {
  args->count = 1;
  args->text[0][0] = '\0';
  size_t used = 0;
  const char* p = TvStrOrEmpty(commandLine);
  while (args->count < kTvSetupArgCount) {
    while (*p == ' ') ++p;
    if (!*p) break;
    const char* start = p;
    const char* end;
    if (*p == '"') {
      start = ++p;
      end = strchr(start, '"');
      if (!end) end = start + strlen(start);
      p = *end ? end + 1 : end;
    } else {
      end = start + strcspn(start, " ");
      p = end;
    }
    const size_t length = static_cast<size_t>(end - start);
    if (used + length > kTvSetupArgBudget) break;
    used += length;
    TvStrCopyN(args->text[args->count++], start, length, kTvSetupTextSize);
  }
}

TvStatus TvSetupCopyFile(const char* source, const char* destination, uint32_t block) {
  if (block == 0 || block > kTvSetupCopyBlock) block = kTvSetupCopyBlock;
  TvFileHandle in = kTvNoFile, out = kTvNoFile;
  TvStatus status = TvFileOpen(nullptr, nullptr, source, nullptr, TvFileNoMedia | TvFileSequential, &in);
  if (status != TvOk) return status;
  status = TvFileOpen(nullptr, nullptr, destination, nullptr, TvFileWriteOnly | TvFileNoMedia | TvFileSequential, &out);
  const bool created = status == TvOk;
  for (uint32_t got = 1; status == TvOk && got > 0;) {
    // A failed read is a failure, not the end of the file: the engine
    // must never be started from a file cut short.
    status = TvFileReadChecked(in, copyBlock, block, &got);
    if (status != TvOk) status = TvErrorRaise(status, source, TvRaiseOrigin);
    else if (got > 0 && (status = TvFileWrite(out, copyBlock, got)) == TvOk && !TvProgressStep(got))
      status = kTvSetupCopyCancelled;
  }
  TvFileClose(out);
  TvFileClose(in);
  // Nor is a file cut short left to be taken for a whole one later.
  if (created && status != TvOk) tvSys.deleteFile(destination);
  return status;
}

int TvSetupRun(const char* commandLine) {
  TvSetUserInterfaceMode(TvUiWindowed);
  TvKernelSetVariant(&kTvKernelLauncher);
  TvSetupArgs args;
  TvSetupSplit(commandLine, &args);

  tvInstance.configBase[0] = '\0';  // the module name names the configuration
  static bool errorModeSet = false;
  if (!errorModeSet) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    errorModeSet = true;
  }
  TvStatus status =
      TvKernelStartup(kTvSetupModule, TV_SETUP_VERSION, TV_SETUP_REVISION, kStartupFlags, nullptr, nullptr);
  if (status == TvOk) {
    status = TvFormsStartup();
    TvIniRelease();
  }
  int result = TvSetupNoStart;
  if (status == TvOk) {
    Launch launch;
    ReadArguments(args, launch);
    result = Stage(launch);
    TvProgressEnd();
    if (result != TvSetupLaunched && result != TvSetupCancelled)
      TvFormsMessageBox(kMessages[result], kBoxTitle, kBoxStyle);
  }
  TvFormsShutdown(status);
  TvKernelShutdown(status);
  return result;
}
