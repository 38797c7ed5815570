// test_support.h: fixtures shared by the test suites: a fresh folder per
// test, file helpers, scoped environment and current directory, and the
// extension library loaded the way an installer engine loads it.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

namespace tvtest {

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Writes a file, making the folders below base that lead to it.
void Put(const std::string& base, const std::string& path, const std::string& bytes);
// How often piece occurs in text.
size_t Count(const std::string& text, const std::string& piece);
// Success when text holds piece; the failure shows the whole text.
::testing::AssertionResult Has(const std::string& text, const std::string& piece);
void RemoveTree(const std::string& path);
std::string Hex(const std::string& bytes);
// A data file as the data maker writes it: its content, then the ini text as
// trailer. statedLength, when given, is what the trailer claims instead of
// the text's true length.
std::string DataFile(const std::string& ini, const std::string& content = "binary data", uint32_t statedLength = 0);

// A fresh, empty folder that is removed again.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// The file held open by another program, without sharing, for a scope.
class Locked {
 public:
  explicit Locked(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
    EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << path;
  }
  ~Locked() { CloseHandle(handle_); }

 private:
  HANDLE handle_;
};

// The lines the API trace writes for one call: "! Function: <name>", then
// each of its parameter and return lines.
std::string Traced(const std::string& name, std::initializer_list<std::string> lines = {});

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);  // nullptr removes the variable
  ~ScopedEnv();

 private:
  std::string name_, old_;
  bool had_;
};

class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::string& path) : old_(MAX_PATH, '\0') {
    old_.resize(GetCurrentDirectoryA(MAX_PATH, old_.data()));
    SetCurrentDirectoryA(path.c_str());
  }
  ~ScopedCurrentDir() { SetCurrentDirectoryA(old_.c_str()); }

 private:
  std::string old_;
};

// The built TVISX.dll copied into a folder (its program directory) and
// loaded from there; unloaded at the end.
class ExtensionLibrary {
 public:
  explicit ExtensionLibrary(const std::string& folder);
  ~ExtensionLibrary() { Unload(); }
  HMODULE module() const { return module_; }
  template <typename F>
  F Get(const char* name) const {
    FARPROC p = GetProcAddress(module_, name);
    EXPECT_NE(p, nullptr) << name;
    return reinterpret_cast<F>(reinterpret_cast<void*>(p));
  }
  void Unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }
  // TvIsi_Startup (expecting its status) followed by TvIsi_Shutdown.
  void StartAndStop(int32_t expected = 0) const {
    EXPECT_EQ(Get<int32_t (*)(void)>("TvIsi_Startup")(), expected);
    Get<void (*)(void)>("TvIsi_Shutdown")();
  }

 private:
  HMODULE module_ = nullptr;
};

// An export of a loaded library, typed by its declaration in exports.h.
#define TV_GET(library, name) (library).Get<decltype(&name)>(#name)

// An export of the library a LibraryTest loads, looked up at each call.
template <typename F>
struct Exported {
  const std::unique_ptr<ExtensionLibrary>& lib;
  const char* name;
  template <typename... A>
  auto operator()(A... a) const {
    return lib->Get<F>(name)(a...);
  }
};
#define TV_BIND(var, name) \
  tvtest::Exported<decltype(&name)> var { lib, #name }

// Windows path of a file of the build tree, from its Unix path.
std::string WindowsPath(const std::string& unixPath);
// Windows path of the built extension library.
std::string ExtensionPath();

// Runs a program with its standard output going to a file; the exit code.
// A program still running after the time limit is a failure: it is ended.
DWORD RunProgram(const std::string& commandLine, const std::string& outputFile, DWORD limit = 60000);

// Base fixture: a fresh folder that is also the current directory, and a
// PATH without the machine's own folders searched for configuration files.
class FolderTest : public ::testing::Test {
 protected:
  FolderTest() : cwd(dir.path()), tvini("TVINI", nullptr) {}
  TempDir dir;
  ScopedCurrentDir cwd;
  ScopedEnv tvini;
};

// The extension library in a folder of its own (its program directory),
// with its configuration and log file there; loaded by Load(), started by
// Start() and, if it was, stopped again at the end.
class LibraryTest : public FolderTest {
 protected:
  ~LibraryTest() override {
    if (started_ && lib) Stop();
  }
  // Writes TVISX.ini with the log file and these option lines.
  void Configure(const std::string& options = "") {
    WriteFile(libDir / "TVISX.ini", "[TVISX]\nLogFile=" + log + "\n" + options);
  }
  void Load() { lib = std::make_unique<ExtensionLibrary>(libDir.path()); }
  int32_t Start();
  // Configure, Load and a successful Start.
  void Begin(const std::string& options = "");
  void Stop();
  // The log since the session began, without its start-up line: the
  // session is stopped and started again, so the next call gives what was
  // logged after this one.
  std::string Log();
  TempDir libDir;
  std::string log = libDir / "install.log";
  std::unique_ptr<ExtensionLibrary> lib;

 private:
  bool started_ = false;
};

}  // namespace tvtest
