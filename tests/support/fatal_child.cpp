// A program that starts the kernel with the configuration named on its
// command line and then stops with a fatal error.
#include <cstring>

#include "tv_error.h"
#include "tv_instance.h"

int main(int argc, char** argv) {
  TvBeginInstance();
  TvKernelStartup("child", "1", ":1", 0, argc > 1 ? argv[1] : nullptr, nullptr);
  TvFatal(argc > 2 ? argv[2] : nullptr);
}
