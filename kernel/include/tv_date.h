// tv_date.h: clocks of the kernel: milliseconds since the kernel was reset
// and the local time used by log prefixes and history entries.
#pragma once
#include <cstddef>
#include <cstdint>

void TvTimingReset();  // kernel reset: the millisecond clock starts at 0
uint32_t TvMilliseconds();

struct TvLocalTime {
  uint16_t year, month, day, hour, minute, second, millisecond;
};
bool TvNowLocal(TvLocalTime& now);
