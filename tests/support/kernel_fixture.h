// kernel_fixture.h: a kernel linked into the test program, begun for each
// test and brought back to "not begun" afterwards, in a fresh folder that
// is the current directory.
#pragma once
#include "test_support.h"
#include "tv_instance.h"

namespace tvtest {

class KernelTest : public FolderTest {
 protected:
  KernelTest() { TvBeginInstance(); }
  ~KernelTest() override {
    while (TvKernelStarted()) TvKernelShutdown(0);
    tvInstance.pendingRefs = 0;
    TvEndInstance();
  }
  // Starts the kernel with a configuration file written into the folder.
  TvStatus StartWith(const std::string& ini, uint32_t flags = 0, const char* module = "TESTMOD") {
    std::string path = dir / "test.ini";
    WriteFile(path, ini);
    return TvKernelStartup(module, "1.0", ":1", flags, path.c_str(), nullptr);
  }
};

}  // namespace tvtest
