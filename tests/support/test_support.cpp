// test_support.cpp: shared test fixtures.
#include "test_support.h"

#include "tv_trailer.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace tvtest {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Put(const std::string& base, const std::string& path, const std::string& bytes) {
  for (size_t at = base.size() + 1; (at = path.find('\\', at)) != std::string::npos; ++at)
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  WriteFile(path, bytes);
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = 0; (at = text.find(piece, at)) != std::string::npos; at += piece.size()) ++n;
  return n;
}

::testing::AssertionResult Has(const std::string& text, const std::string& piece) {
  if (text.find(piece) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no \"" << piece << "\" in:\n" << text;
}

// Only what lies inside a test's own temporary folder may go: an empty or
// relative path would take the current drive's root or the build folder
// (Wine maps the whole Linux tree as a drive).
static bool InsideTestFolder(const std::string& path) {
  char base[MAX_PATH];
  const DWORD n = GetTempPathA(sizeof base, base);
  return n > 0 && n < sizeof base && path.size() > n + 7 && _strnicmp(path.c_str(), base, n) == 0 &&
         _strnicmp(path.c_str() + n, "tvtest-", 7) == 0;
}

void RemoveTree(const std::string& path) {
  if (!InsideTestFolder(path)) {
    ADD_FAILURE() << "refused to remove " << path << ": not inside a test's temporary folder";
    return;
  }
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = path + "\\" + name;
      SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
      else DeleteFileA(full.c_str());
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

std::string DataFile(const std::string& ini, const std::string& content, uint32_t statedLength) {
  const std::string magic("\x00\x00\xFF\xA5\x5A\xFF", 6), summed = ini + std::string("\n[\0", 3);
  const auto le32 = [](uint32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
    return out;
  };
  std::string out = content + magic + le32(statedLength ? statedLength : static_cast<uint32_t>(ini.size())) +
                    le32(TvCrc32(0xFFFFFFFFu, summed.data(), summed.size()));
  for (char c : ini) out += static_cast<char>(~c);
  return out + magic + le32(~static_cast<uint32_t>(content.size()));
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char piece[4];
  for (unsigned char c : bytes) {
    snprintf(piece, sizeof piece, "%02x ", c);
    out += piece;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

TempDir::TempDir() {
  static unsigned counter = 0;
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  for (;;) {
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%stvtest-%lu-%u", base, GetCurrentProcessId(), ++counter);
    if (CreateDirectoryA(name, nullptr)) {
      char full[MAX_PATH];
      GetFullPathNameA(name, sizeof full, full, nullptr);
      path_ = full;
      return;
    }
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  char buffer[32768];
  DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  had_ = n > 0 && n < sizeof buffer;
  if (had_) old_ = buffer;
  SetEnvironmentVariableA(name, value);
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }

std::string WindowsPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string ExtensionPath() { return WindowsPath(TVISX_DLL_UNIX_PATH); }

DWORD RunProgram(const std::string& commandLine, const std::string& outputFile, DWORD limit) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = out;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  DWORD code = 0xFFFFFFFF;
  // Wine now and then fails a process creation while a fresh prefix is
  // still settling: try again a few times before calling it a failure.
  bool started = false;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt) Sleep(200);
    started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  }
  if (started) {
    if (WaitForSingleObject(process.hProcess, limit) == WAIT_TIMEOUT) {
      ADD_FAILURE() << commandLine << " still runs after " << limit << " ms";
      TerminateProcess(process.hProcess, 0xFFFFFFFF);
    }
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  } else {
    ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
  }
  CloseHandle(out);
  return code;
}

ExtensionLibrary::ExtensionLibrary(const std::string& folder) {
  std::string target = folder + "\\TVISX.dll";
  if (!CopyFileA(ExtensionPath().c_str(), target.c_str(), FALSE)) {
    ADD_FAILURE() << "cannot copy " << ExtensionPath() << " to " << target;
    return;
  }
  module_ = LoadLibraryA(target.c_str());
  EXPECT_NE(module_, nullptr) << "LoadLibraryA " << target << " failed: " << GetLastError();
}

std::string Traced(const std::string& name, std::initializer_list<std::string> lines) {
  std::string text = "! Function: " + name + "\r\n";
  for (const std::string& line : lines) text += "!     " + line + "\r\n";
  return text;
}

int32_t LibraryTest::Start() {
  started_ = true;
  return lib->Get<int32_t (*)(void)>("TvIsi_Startup")();
}

void LibraryTest::Begin(const std::string& options) {
  Configure(options);
  Load();
  ASSERT_EQ(Start(), 0);
}

void LibraryTest::Stop() {
  started_ = false;
  lib->Get<void (*)(void)>("TvIsi_Shutdown")();
}

std::string LibraryTest::Log() {
  Stop();
  const std::string text = ReadFile(log), start = "> TvIsi_Startup< TvIsi_Startup = 0\r\n";
  Start();
  return text.compare(0, start.size(), start) == 0 ? text.substr(start.size()) : text;
}

}  // namespace tvtest
