// date.cpp: the kernel's clocks. With HighResTiming the millisecond clock
// comes from the performance counter, otherwise from the tick count.
#include "tv_date.h"

#include <windows.h>

#include "tv_instance.h"

namespace {
DWORD resetTick = 0;
LARGE_INTEGER resetCounter = {};
LARGE_INTEGER counterFrequency = {};
}  // namespace

void TvTimingReset() {
  resetTick = GetTickCount();
  if (!QueryPerformanceFrequency(&counterFrequency)) counterFrequency.QuadPart = 0;
  QueryPerformanceCounter(&resetCounter);
}

uint32_t TvMilliseconds() {
  if (tvInstance.highResTiming && counterFrequency.QuadPart > 0) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint32_t>((now.QuadPart - resetCounter.QuadPart) * 1000 / counterFrequency.QuadPart);
  }
  return GetTickCount() - resetTick;  // unsigned arithmetic survives the wrap
}

bool TvNowLocal(TvLocalTime& now) {
  SYSTEMTIME st;
  GetLocalTime(&st);
  now = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
  return st.wMonth >= 1 && st.wMonth <= 12;
}
