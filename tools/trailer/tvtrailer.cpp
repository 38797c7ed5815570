// tvtrailer: writes an ini text onto a file as its trailer, or prints a
// file's trailer back.
//
//   tvtrailer write <data file> <ini file> [reserve]
//   tvtrailer print <data file>
//
// The kernel is started, so a trailer whose CRC does not match is refused.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "tv_error.h"
#include "tv_file.h"
#include "tv_ini.h"
#include "tv_instance.h"
#include "tv_trailer.h"

namespace {

int Usage() {
  fputs(
      "usage: tvtrailer write <data file> <ini file> [reserve]\n"
      "       tvtrailer print <data file>\n",
      stderr);
  return 2;
}

int Fail(const char* what, const char* path, TvStatus status) {
  fprintf(stderr, "tvtrailer: %s %s: %s (%ld)\n", what, path, TvErrorText(status), static_cast<long>(status));
  return 1;
}

// The file layer takes a bare name relative to the kernel's home folder;
// on the command line it means the current folder.
bool FullPath(const char* name, char* out) {
  const DWORD n = GetFullPathNameA(name, kTvPathSize, out, nullptr);
  return n > 0 && n < kTvPathSize;
}

// A decimal byte count that fits in 32 bits.
bool ParseReserve(const char* text, uint32_t* reserve) {
  uint64_t value = 0;
  if (!*text) return false;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + static_cast<uint64_t>(*p - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  *reserve = static_cast<uint32_t>(value);
  return true;
}

int Write(const char* dataPath, const char* iniPath, uint32_t reserve) {
  TvIniBuffer ini{};
  TvStatus status = TvIniLoadFile(&ini, iniPath);
  if (status != TvOk) return Fail("cannot read", iniPath, status);
  TvFileHandle handle;
  status = TvFileOpen(nullptr, nullptr, dataPath, nullptr, TvFileCreate, &handle);
  if (status != TvOk) {
    TvIniFree(&ini);
    return Fail("cannot open", dataPath, status);
  }
  status = TvIniSaveTrailer(&ini, handle, reserve);
  TvFileClose(handle);
  TvIniFree(&ini);
  return status == TvOk ? 0 : Fail("cannot write the trailer of", dataPath, status);
}

int Print(const char* dataPath) {
  TvFileHandle handle;
  TvStatus status = TvFileOpen(nullptr, nullptr, dataPath, nullptr, TvFileShareRead, &handle);
  if (status != TvOk) return Fail("cannot open", dataPath, status);
  TvIniBuffer ini{};
  status = TvIniLoadTrailer(&ini, handle, nullptr);
  TvFileClose(handle);
  if (status == TvOk) {
    // The text as stored, carriage returns and all.
    _setmode(_fileno(stdout), _O_BINARY);
    if (fwrite(ini.text, 1, ini.length, stdout) != ini.length || fflush(stdout) != 0) status = TvErrFileWrite;
  }
  TvIniFree(&ini);
  return status == TvOk ? 0 : Fail("cannot read the trailer of", dataPath, status);
}

int Run(int argc, char** argv) {
  char data[kTvPathSize], ini[kTvPathSize];
  if (!FullPath(argv[2], data)) return Fail("path too long:", argv[2], TvErrInvalidDirectory);
  if (strcmp(argv[1], "print") == 0) return argc == 3 ? Print(data) : Usage();
  if (strcmp(argv[1], "write") != 0 || argc < 4 || argc > 5) return Usage();
  if (!FullPath(argv[3], ini)) return Fail("path too long:", argv[3], TvErrInvalidDirectory);
  uint32_t reserve = 0;
  if (argc == 5 && !ParseReserve(argv[4], &reserve)) {
    fprintf(stderr, "tvtrailer: the reserve must be a byte count below 4 GB, not \"%s\"\n", argv[4]);
    return 2;
  }
  return Write(data, ini, reserve);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  TvBeginInstance();
  const TvStatus status = TvKernelStartup("TVTRAILER", "1.0", ":1", TvFlagConfigOptional, nullptr, nullptr);
  if (status != TvOk) {
    fprintf(stderr, "tvtrailer: the kernel did not start: %s (%ld)\n", TvErrorText(status), static_cast<long>(status));
    TvEndInstance();
    return 1;
  }
  const int result = Run(argc, argv);
  TvKernelShutdown(0);
  TvEndInstance();
  return result;
}
