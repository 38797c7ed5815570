// dump_child.cpp: a program that starts the kernel from its arguments (its
// configuration given with -INI:) and then dies of an access violation, for
// the tests of the crash handler. Exit code 2: the kernel did not start.
#include <cstdint>

#include "tv_instance.h"

int main(int argc, char** argv) {
  if (TvKernelStartupFromArgs("DUMPKID", "2.5", ":1", TvFlagConfigOptional, argc, argv, nullptr) != TvOk) return 2;
  // A null pointer the compiler cannot see through.
  auto* nowhere = reinterpret_cast<volatile int*>(static_cast<uintptr_t>(argc > 0 ? 0 : 1));
  *nowhere = 1;
  return 0;
}
