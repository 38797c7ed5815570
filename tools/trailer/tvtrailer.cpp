// tvtrailer: writes an ini text onto a file as its trailer, or prints a
// file's trailer back.
//
//   tvtrailer [kernel options] write <data file> <ini file> [reserve]
//   tvtrailer [kernel options] print <data file>
//
// The kernel is started from the arguments, so a trailer whose CRC does not
// match is refused and the kernel's options (-LOG:, -ERRORS, ...) apply.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command_line.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_ini.h"
#include "tv_instance.h"
#include "tv_trailer.h"

namespace {

constexpr const char* kUsage =
    "usage: tvtrailer [kernel options] write <data file> <ini file> [reserve]\n"
    "       tvtrailer [kernel options] print <data file>\n";

int Usage() {
  fputs(kUsage, stderr);
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

// args: the plain arguments, the command first.
int Run(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage();
  char data[kTvPathSize], ini[kTvPathSize];
  if (!FullPath(args[1].c_str(), data)) return Fail("path too long:", args[1].c_str(), TvErrInvalidDirectory);
  if (args[0] == "print") return args.size() == 2 ? Print(data) : Usage();
  if (args[0] != "write" || args.size() < 3 || args.size() > 4) return Usage();
  if (!FullPath(args[2].c_str(), ini)) return Fail("path too long:", args[2].c_str(), TvErrInvalidDirectory);
  uint32_t reserve = 0;
  if (args.size() == 4 && !ParseReserve(args[3].c_str(), &reserve)) {
    fprintf(stderr, "tvtrailer: the reserve must be a byte count below 4 GB, not \"%s\"\n", args[3].c_str());
    return 2;
  }
  return Write(data, ini, reserve);
}

}  // namespace

int main(int argc, char** argv) { return tvtool::Run("tvtrailer", "TVTRAILER", argc, argv, kUsage, Run); }
