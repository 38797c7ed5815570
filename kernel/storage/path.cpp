// path.cpp: building full paths, directory checks and the file search along
// the home directory, the program directory and a PATH-style variable.
#include "tv_path.h"

#include <cstring>
#include <initializer_list>

#include "tv_error.h"
#include "tv_file.h"
#include "tv_instance.h"
#include "tv_string.h"

namespace {

constexpr size_t kComponentMax = 254;

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
  DWORD n = GetFullPathNameA(work, sizeof full, full, &filePart);
  if (n == 0 || n >= kTvPathSize) {
    TvStrCopy(out, work, kTvPathSize);
    if (end) *end = out + strlen(out);
    return n == 0 ? TvMapSystemError(GetLastError(), TvErrInvalidDirectory) : TvErrInvalidDirectory;
  }
  TvStrCopy(out, full, kTvPathSize);
  if (end) *end = out + strlen(out);
  return TvOk;
}

TvStatus TvDirCheck(const char* path, bool acceptKnown) {
  path = TvStrOrEmpty(path);
  if ((tvInstance.flags & TvFlagNoDirChecks) || path[0] == '$') return TvOk;
  if (acceptKnown && tvInstance.homeDir[0] && !(tvInstance.flags & TvFlagStartingUp)) {
    if (SameDirectory(tvInstance.homeDir, path) || SameDirectory(tvInstance.progDir, path) ||
        SameDirectory(tvInstance.dataDir, path) || SameDirectory(tvInstance.tempDir, path))
      return TvOk;
  }
  DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TvOk;
    return (tvInstance.flags & TvFlagStartingUp) ? TvErrInvalidDirectory
                                                 : TvErrorRaise(TvErrInvalidDirectory, path, TvRaiseOrigin);
  }
  TvStatus code = TvMapSystemError(GetLastError(), TvErrInvalidDirectory);
  return (tvInstance.flags & TvFlagStartingUp) ? code : TvErrorRaise(code, path, TvRaiseOrigin);
}

TvStatus TvPathBuild(char* out, const char* directory, const char* name, const char* defaultExtension) {
  char tmp[kTvPathSize];
  if (!out) out = tmp;
  out[0] = '\0';
  name = TvStrOrEmpty(name);
  while (*name == ' ') ++name;
  directory = TvStrOrEmpty(directory);
  if (name[0] == '!' || name[0] == '$') {
    directory = name[0] == '!' ? tvInstance.homeDir : tvInstance.dataDir;
    ++name;
    if (*name == '\\') ++name;
  }
  if (IsDevice(name)) {
    TvStrCopy(out, name, kTvPathSize);
    return TvOk;
  }
  if (!*directory) directory = tvInstance.homeDir;

  char base[kTvPathSize] = "";
  if (strchr(name, ':') || (name[0] == '\\' && name[1] == '\\')) {
    base[0] = '\0';
  } else if (name[0] == '\\') {
    if (directory[0] && directory[1] == ':') TvFormat(base, sizeof base, "%c:\\", directory[0]);
  } else {
    TvStrCopy(base, directory, sizeof base);
  }

  // The name's directory part and its file part (after the last "\" or ":").
  const char* filePart = name;
  for (const char* p = name; *p; ++p)
    if (*p == '\\' || *p == ':') filePart = p + 1;
  if (filePart[strspn(filePart, ".")] == '\0') filePart = name + strlen(name);
  size_t dirPartLength = static_cast<size_t>(filePart - name);

  // Built in a larger buffer: a path that does not fit in 255 characters
  // is refused, never cut into the name of some other file.
  char path[4 * kTvPathSize];
  TvStatus status = TvOk;
  if (base[0] == '$') {
    // Several data directories: TvFileOpen tries each of them.
    TvStrCopy(path, "$\\", sizeof path);
    TvStrCat(path, name, sizeof path);
  } else {
    char namePart[kTvPathSize];
    char joined[kTvPathSize];
    TvStrCopy(namePart, name, dirPartLength + 1 < sizeof namePart ? dirPartLength + 1 : sizeof namePart);
    if (strchr(namePart, ':'))
      TvStrCopy(joined, namePart, sizeof joined);  // the name carries its drive
    else if (base[0])
      JoinPath(joined, base, namePart);
    else
      JoinPath(joined, namePart, "");
    status = TvPathFull(path, joined, nullptr);
    if (status != TvOk) {
      TvStrCopy(out, path, kTvPathSize);
      return status;
    }
    status = TvDirCheck(path, true);
    if (*filePart) {
      size_t used = strlen(path);
      if (used && path[used - 1] != '\\') TvStrCat(path, "\\", sizeof path);
      char file[kTvPathSize];
      TvStrCopy(file, filePart, kComponentMax + 1);
      TvStrCat(path, file, sizeof path);
    }
  }

  if (*filePart) {
    // Default extension: "!ext" (or "!.ext") replaces an extension the name has.
    const char* ext = TvStrOrEmpty(defaultExtension);
    const bool replace = ext[0] == '!';
    if (replace) {
      ++ext;
      if (*ext == '.') ++ext;
    }
    char* dot = strrchr(const_cast<char*>(TvPathFileName(path)), '.');
    if (!dot) {
      if (*ext) {
        if (ext[0] != '.') TvStrCat(path, ".", sizeof path);
        TvStrCat(path, ext, sizeof path);
      }
    } else if (replace && *ext) {
      dot[1] = '\0';
      TvStrCat(path, ext, sizeof path);
    } else if (dot[1] == '\0') {
      *dot = '\0';
    }
  }
  TvStrCopy(out, path, kTvPathSize);
  if (strlen(path) >= kTvPathSize) return TvErrInvalidDirectory;
  return status;
}

int TvFileExists(char* fullPath, const char* directory, const char* name, const char* defaultExtension) {
  TvFileHandle handle;
  if (TvFileOpen(fullPath, directory, name, defaultExtension, TvFileSilent | TvFileNoMedia | TvFileShareAll,
                 &handle) != TvOk)
    return 0;
  TvFileClose(handle);
  return 1;
}

int TvFileSearch(char* fullPath, const char* name, const char* defaultExtension, const char* variable) {
  char found[kTvPathSize];
  if (!fullPath) fullPath = found;
  fullPath[0] = '\0';
  if (!name || !*name) return 0;
  if (tvInstance.flags & TvFlagProgDirOnly) return TvFileExists(fullPath, tvInstance.progDir, name, defaultExtension);
  if (TvFileExists(fullPath, nullptr, name, defaultExtension)) return 1;
  if (tvInstance.progDir[0] && TvFileExists(fullPath, tvInstance.progDir, name, defaultExtension)) return 1;
  char value[4096];
  DWORD n = variable && *variable ? GetEnvironmentVariableA(variable, value, sizeof value) : 0;
  if (n == 0 || n >= sizeof value) {
    fullPath[0] = '\0';
    return 0;
  }
  for (const char* p = value; *p;) {
    char directory[kTvPathSize];
    const char* next = TvStrOrEmpty(strchr(p, ';'));
    size_t length = *next ? static_cast<size_t>(next - p) : strlen(p);
    TvStrCopy(directory, p, length + 1 < sizeof directory ? length + 1 : sizeof directory);
    if (directory[0] && TvFileExists(fullPath, directory, name, defaultExtension)) return 1;
    p = *next ? next + 1 : p + length;
  }
  fullPath[0] = '\0';
  return 0;
}
