// main.cpp: tvengine, the installer-engine stand-in. It loads TVISX.dll the
// way an installer engine does, runs a script of export calls against it and
// prints every call with its result (the language is described in
// docs/engine.md). The whole script is checked before the library is loaded,
// so a script with an error calls nothing.
//
//   tvengine [kernel options] [<folder of TVISX.dll>] <script>
//   tvengine -uninstall <the uninstaller's arguments, "-f<file>" among them>
//
// Exit codes: 0 the script ran to its end; 1 an assertion failed; 2 the
// script (or the command line) has an error; 3 the script or the library
// could not be used; 4 an export raised an exception. In uninstall mode
// it calls the uninstaller's two hooks of the TVISX.dll beside it: 0 when
// UninstInitialize gave 0, else 1.
//
// The engine starts a kernel of its own from its arguments (its options
// and "@" files, tools/common/command_line.h); its log file, when it has
// one, receives the engine's output too. The library keeps its own kernel.
#include <windows.h>

#include <io.h>

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "command_line.h"
#include "engine.h"
#include "tv_file.h"
#include "tv_log.h"

namespace tvengine {
namespace {

// Through the kernel's file layer, which raises (and with -ERRORS logs)
// what goes wrong.
bool ReadWholeFile(const std::string& path, std::string& out) {
  TvFileHandle file;
  if (TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileShareRead | TvFileSequential, &file) != TvOk)
    return false;
  uint32_t size = 0;
  bool ok = TvFileGetSize(file, &size) == TvOk;
  if (ok) {
    out.resize(size);
    ok = TvFileRead(file, out.data(), size) == size;
  }
  TvFileClose(file);
  return ok;
}

std::string FullPath(const std::string& path) {
  DWORD n = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::string full(n, '\0');
  n = GetFullPathNameA(path.c_str(), n, full.data(), nullptr);
  full.resize(n < full.size() ? n : 0);
  return full.empty() ? path : full;
}

int Fail(int code, const std::string& message) {
  fflush(stdout);
  fprintf(stderr, "%s\n", message.c_str());
  TvLogWriteFile((message + "\n").c_str());
  return code;
}

constexpr const char* kUsage =
    "usage: tvengine [kernel options] [<folder of TVISX.dll>] <script>\n"
    "       tvengine [arguments] p <source folder>   (as the launcher starts it: setup.inx, TVISX.dll beside it)\n"
    "       tvengine -uninstall -f<file> ...\n"
    "Without a folder, TVISX.dll is loaded from the engine's own folder.\n";

// The folder of the running program, with its trailing separator.
std::string OwnFolder() {
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string path(self, length < sizeof self ? length : 0);
  return path.substr(0, path.find_last_of('\\') + 1);
}

// The calls of an engine's uninstaller: both hooks with three zeros. The
// library reads the "-f" value from this process's command line itself.
int RunUninstaller() {
  const std::string dll = OwnFolder() + "TVISX.dll";
  HMODULE library = LoadLibraryA(dll.c_str());
  if (!library) return Fail(kExitCannotRun, "cannot load " + dll + " (error " + std::to_string(GetLastError()) + ")");
  int32_t handOver = -1;
  for (const char* name : {"UninstInitialize", "UninstUnInitialize"}) {
    const Export* e = FindExport(name);
    FARPROC p = GetProcAddress(library, name);
    if (!e || !p) return Fail(kExitCannotRun, dll + " lacks the export " + name);
    const INT_PTR zeros[kMaxArgs] = {};
    g_export = name;
    const int32_t result = Invoke(p, e->sig.count, zeros);
    if (std::string_view(name) == "UninstInitialize") handOver = result;
    printf("%s(0, 0, 0) = %d\n", name, static_cast<int>(result));
  }
  fflush(stdout);
  FreeLibrary(library);
  return handOver == 0 ? 0 : kExitHandOverFailed;
}

// Runs a script against folder\TVISX.dll.
int RunScript(std::string folder, const std::string& scriptPath, const std::string& sourceDir) {
  // The engine's own failures are its output; an export's exception ends
  // the process through the engine's report, not the kernel's crash handler.
  SetUnhandledExceptionFilter(ReportException);
  Places places{scriptPath.substr(0, scriptPath.find_last_of("\\/")), sourceDir};
  std::string text;
  if (!ReadWholeFile(scriptPath, text)) return Fail(kExitCannotRun, "cannot read the script " + scriptPath);

  std::vector<Statement> script;
  try {
    script = ParseScript(text, places);
    Interpret(script, nullptr);
  } catch (const ScriptError& error) {
    return Fail(kExitScriptError, "line " + std::to_string(error.line) + ": script error: " + error.message);
  }

  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  std::string dll = folder + "TVISX.dll";
  HMODULE library = LoadLibraryA(dll.c_str());
  if (!library) {
    const DWORD error = GetLastError();
    TvErrorRaise(TvErrLibraryLoad, dll.c_str(), TvRaiseOrigin);
    return Fail(kExitCannotRun, "cannot load " + dll + " (error " + std::to_string(error) + ")");
  }
  int code = 0;
  std::string message;
  try {
    Interpret(script, library);
  } catch (const Stop& stop) {
    code = stop.code;
    message = stop.message;
  } catch (const ScriptError& error) {  // cannot happen after the check; kept as a guard
    code = kExitScriptError;
    message = "line " + std::to_string(error.line) + ": script error: " + error.message;
  }
  fflush(stdout);
  FreeLibrary(library);
  return code ? Fail(code, message) : 0;
}

int RunEngine(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "-uninstall") return RunUninstaller();
  // Started the way the launcher starts an engine: "setup.inx" of the
  // current folder, TVISX.dll of the engine's own folder.
  if (argc >= 3 && std::string_view(argv[argc - 2]) == "p") {
    char current[MAX_PATH] = "";
    const DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n == 0 || n >= sizeof current) return Fail(kExitCannotRun, "cannot tell the current folder");
    // No one waits for an engine the launcher started and no console shows
    // its output: its transcript goes to tvengine.out in that folder and
    // ends with the exit code.
    if (!freopen("tvengine.out", "w", stdout)) return Fail(kExitCannotRun, "cannot write tvengine.out");
    _dup2(_fileno(stdout), _fileno(stderr));
    // The arguments are the installer's, passed on by the launcher: the
    // engine's kernel reads no options from them.
    const tvtool::CommandLine line = tvtool::Start("TVENGINE", "1.0", 1, argv);
    if (line.status < 0) return Fail(kExitCannotRun, "cannot start the kernel");
    const int code = RunScript(OwnFolder(), std::string(current) + "\\setup.inx", argv[argc - 1]);
    printf("tvengine: exit code %d\n", code);
    fflush(stdout);
    return code;
  }
  const tvtool::CommandLine line = tvtool::Start("TVENGINE", "1.0", argc, argv);
  if (line.status < 0) {
    tvtool::Report("tvengine", line.status);
    const bool wrongLine = line.status == TvErrCommandLine || line.status == TvErrTruncated;
    return wrongLine ? kExitScriptError : kExitCannotRun;
  }
  if (line.help) {
    printf("%s%s", kUsage, tvtool::kKernelOptionsUsage);
    return 0;
  }
  if (line.plain.empty() || line.plain.size() > 2) return Fail(kExitScriptError, std::string(kUsage));
  return RunScript(line.plain.size() == 2 ? line.plain[0] : OwnFolder(), FullPath(line.plain.back()), "");
}

}  // namespace
}  // namespace tvengine

int main(int argc, char** argv) {
  using namespace tvengine;
  SetUnhandledExceptionFilter(ReportException);
  int code;
  try {
    code = RunEngine(argc, argv);
  } catch (const std::exception& e) {
    code = Fail(kExitCannotRun, std::string("tvengine: ") + e.what());
  }
  tvtool::Finish();
  return code;
}
