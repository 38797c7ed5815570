// tv_history.h: error handles, the bounded rings of raised errors that each
// kernel thread keeps, read back newest first.
#pragma once
#include <cstdint>

#include "tv_base.h"
#include "tv_error.h"
#include "tv_thread.h"

enum TvErrorHandleFlag : uint16_t {
  TvHandleOwned = 0x0001,   // used by one owner thread
  TvHandleLocked = 0x0002,  // has its own lock around every add and read
};

struct TvErrorEntry {
  TvStatus code;
  uint32_t sequence;
  uint16_t flags;  // raise flags; TvRaiseOrigin marks where the error arose
  char line[kTvErrorLineSize + 1];
  char detail[kTvErrorLineSize + 1];
};

struct TvErrorHandle {
  uint16_t flags;
  uint16_t attachCount;
  uint16_t capacity;
  uint16_t next;
  uint16_t oldest;  // kTvHistoryEmpty when the ring is empty
  TvErrorEntry* entries;
  TvLock lock;
  unsigned long owner;
};
constexpr uint16_t kTvHistoryEmpty = 0x8000;
constexpr uint16_t kTvMainHistoryCapacity = 128;

// The main handle, created at kernel reset and attached to the main record.
TvStatus TvErrorHistoryReset(uint16_t flags);
void TvErrorHistoryShutdown();

void TvErrorHistoryAdd(TvStatus code, const char* detail, uint32_t flags, uint16_t language);

// Line index (0 = newest) of the calling thread's history; nullptr when there
// is none. With all off the walk ends at the origin of the latest error.
const char* TvErrorHistoryLine(bool all, int index);
