// dump_child.cpp: a program that starts the kernel from its arguments (its
// configuration given with -INI:) and then dies of an access violation, or
// with the argument "overflow" of a stack overflow, for the tests of the
// crash handler. Exit code 2: the kernel did not start.
#include <cstdint>
#include <cstring>

#include "tv_instance.h"

namespace {

volatile bool deeper = true;  // never cleared; the compiler cannot know

// Each call a page of stack more, with no end the compiler can see.
__attribute__((noinline)) int Deeper(volatile char* above) {
  if (!deeper) return 0;
  volatile char page[4096];
  page[0] = static_cast<char>(above ? above[0] + 1 : 0);
  return Deeper(page) + page[0];
}

}  // namespace

int main(int argc, char** argv) {
  if (TvKernelStartupFromArgs("DUMPKID", "2.5", ":1", TvFlagConfigOptional, argc, argv, nullptr) != TvOk) return 2;
  if (argc > 2 && strcmp(argv[argc - 1], "overflow") == 0) return Deeper(nullptr);
  // A null pointer the compiler cannot see through.
  auto* nowhere = reinterpret_cast<volatile int*>(static_cast<uintptr_t>(argc > 0 ? 0 : 1));
  *nowhere = 1;
  return 0;
}
