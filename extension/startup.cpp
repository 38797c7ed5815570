// startup.cpp: TvIsi_Startup and TvIsi_Shutdown start and stop the kernel
// for the installer script.
#include "exports.h"
#include "frame.h"
#include "tv_instance.h"
#include "tv_log.h"

namespace {
constexpr uint32_t kStartupFlags = 0x4000 | TvFlagNoMediaPrompt | 0x0800 | TvFlagStartingUp;
}

TV_EXPORT int32_t TvIsi_Startup(void) {
  TvTraceFunction("TvIsi_Startup");
  TvSetConfigBaseName("");
  TvStatus status = TvKernelStartup("TVISX", "2.63", ":18", kStartupFlags, nullptr, nullptr);
  // Written only now, so that it reaches the log file; it has no line end
  // of its own, the exit line follows it.
  TvLogWrite("> TvIsi_Startup");
  TvIsiLog("< TvIsi_Startup = %d\n", static_cast<int>(status));
  return TvTraceReturnLong(status);
}

TV_EXPORT void TvIsi_Shutdown(void) {
  TvTraceFunction("TvIsi_Shutdown");
  TvKernelShutdown(0);
  TvTraceReturn();
}
