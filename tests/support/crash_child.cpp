// crash_child.cpp: a program that dies of an access violation, for the test
// that a crashing program ends at once rather than waiting on a debugger.
#include <cstdint>

int main(int argc, char**) {
  // A null pointer the compiler cannot see through (argc is 1).
  auto* nowhere = reinterpret_cast<volatile int*>(static_cast<uintptr_t>(argc - 1));
  *nowhere = 1;
  return 0;
}
