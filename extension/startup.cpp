// startup.cpp: TvIsi_Startup and TvIsi_Shutdown start and stop the kernel
// for the installer script.
#include "exports.h"
#include "frame.h"
#include "tv_instance.h"
#include "version.h"

namespace {

constexpr char kModuleName[] = "TVISX";
constexpr char kVersion[] = TV_TVISX_VERSION;
constexpr char kRevision[] = TV_TVISX_REVISION;

// 0x4000 is a bit the library has always passed to the kernel start;
// reserved, without effect, like TvFlagReserved0800.
constexpr uint32_t kReservedFlag4000 = 0x4000;
constexpr uint32_t kStartupFlags = kReservedFlag4000 | TvFlagNoMediaPrompt | TvFlagReserved0800 | TvFlagStartingUp;
static_assert(kStartupFlags == 0x6810, "the flags word of the library's kernel start");

}  // namespace

TV_EXPORT int32_t TvIsi_Startup(void) {
  TV_FRAME(frame);
  TvSetConfigBaseName("");
  // No configuration file or section named: the kernel searches for them.
  // The entry line is written on the way out, once the log is open.
  return frame.Return(TvKernelStartup(kModuleName, kVersion, kRevision, kStartupFlags, nullptr, nullptr));
}

TV_EXPORT void TvIsi_Shutdown(void) {
  TV_FRAME(frame);
  TvKernelShutdown(0);
  frame.Return();
}
