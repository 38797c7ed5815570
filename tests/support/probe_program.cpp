// A program for tests that start programs: it leaves "ran-<its file
// name>.txt" with its command line in the current folder, and with the
// argument "wait" it lingers a little before it ends.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  const char* base = strrchr(path, '\\') ? strrchr(path, '\\') + 1 : path;
  const std::string out = std::string("ran-") + base + ".txt";
  if (FILE* f = fopen(out.c_str(), "wb")) {
    fputs(GetCommandLineA(), f);
    fclose(f);
  }
  if (argc > 1 && strcmp(argv[argc - 1], "wait") == 0) Sleep(800);
  return 0;
}
