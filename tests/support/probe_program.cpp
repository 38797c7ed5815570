// A program for tests that start programs: it leaves "cwd-<its file
// name>.txt" with the current folder, "args-<its file name>.txt" with its
// arguments as the C runtime split them (one a line) and then "ran-<its
// file name>.txt" with its command line in the current folder, and with the
// argument "wait" it lingers a little before it ends. With TV_PROBE_LINGER
// set in its environment it lingers whatever its arguments, and then
// leaves "ended-<its file name>.txt" too. TV_PROBE_EXIT sets its exit code.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  const char* base = strrchr(path, '\\') ? strrchr(path, '\\') + 1 : path;
  auto leave = [base](const char* kind, const char* text) {
    if (FILE* f = fopen((std::string(kind) + base + ".txt").c_str(), "wb")) {
      fputs(text, f);
      fclose(f);
    }
  };
  char cwd[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof cwd, cwd);
  leave("cwd-", cwd);
  std::string args;
  for (int i = 1; i < argc; ++i) args += std::string(argv[i]) + "\n";
  leave("args-", args.c_str());
  leave("ran-", GetCommandLineA());
  const bool linger = GetEnvironmentVariableA("TV_PROBE_LINGER", nullptr, 0) > 0;
  if (linger || (argc > 1 && strcmp(argv[argc - 1], "wait") == 0)) Sleep(800);
  if (linger) leave("ended-", "");
  char code[16] = "";
  GetEnvironmentVariableA("TV_PROBE_EXIT", code, sizeof code);
  return atoi(code);
}
