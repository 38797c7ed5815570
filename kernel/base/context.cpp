// context.cpp: the context record, the hooks with their do-nothing start,
// and the raise and quiet brackets that every layer calls.
#include "tv_context.h"

#include "tv_thread.h"

TvContext tvContext;

namespace {

TvStatus Unraised(TvStatus code, const char*, uint32_t) { return code; }
bool NeverAsk(const char*) { return false; }
TvStatus NothingRecorded(TvIniBuffer*, uint32_t) { return TvOk; }
void NoOpenTrace(const char*, TvFileHandle, TvStatus) {}
void NoTempTrace(const char*, TvStatus) {}
void NoLog(const char*) {}

}  // namespace

const TvKernelHooks kTvHooksNone = {Unraised, NeverAsk, NothingRecorded, NoOpenTrace, NoTempTrace, NoLog};
TvKernelHooks tvHooks = kTvHooksNone;

TvStatus TvErrorRaise(TvStatus code, const char* detail, uint32_t flags) { return tvHooks.raise(code, detail, flags); }

void TvErrorQuietBegin() {
  if (TvServiceLocksCreated()) ++TvThreadRecord()->quiet;
}

void TvErrorQuietEnd() {
  if (TvServiceLocksCreated()) --TvThreadRecord()->quiet;
}
