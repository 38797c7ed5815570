// tv_history.h: error handles, the bounded rings of raised errors that each
// kernel thread keeps, read back newest first.
#pragma once
#include <cstdint>

#include "tv_base.h"
#include "tv_error.h"
#include "tv_date.h"
#include "tv_thread.h"

enum TvErrorHandleFlag : uint16_t {
  TvHandleOwned = 0x0001,   // used by one owner thread
  TvHandleLocked = 0x0002,  // has its own lock around every add and read
};

struct TvErrorEntry {
  TvStatus code;
  uint32_t sequence;  // one counter for the whole process
  uint16_t flags;     // raise flags; TvRaiseOrigin marks where the error arose
  TvLocalTime time;   // local date and time of recording
  char thread[16];    // "#%lu" with the recording thread's id
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
  TvErrorHandle* nextHandle;  // list of created handles
};
constexpr uint16_t kTvHistoryEmpty = 0x8000;
constexpr uint16_t kTvMainHistoryCapacity = 128;

// The main handle, created at kernel reset and attached to the main record.
// At shut-down it is detached (its ring stays readable by the main thread)
// and unfinished handles are reported; the ring goes with the instance.
TvStatus TvErrorHistoryReset(uint16_t flags);
void TvErrorHistoryShutdown();
void TvErrorHistoryRelease();

TvStatus TvErrorHandleCreate(uint16_t flags, uint16_t capacity, TvErrorHandle** handle);
void TvErrorHandleClose(TvErrorHandle* handle);
// Attaches handle to a thread record (nullptr detaches only); the previous handle.
TvErrorHandle* TvErrorHandleAttach(TvThreadRec* record, TvErrorHandle* handle);
uint32_t TvErrorHandleCount();

void TvErrorHistoryAdd(TvStatus code, const char* detail, uint32_t flags, uint16_t language);

// Line index (0 = newest) of the calling thread's history; nullptr when there
// is none. With all off the walk ends at the origin of the latest error.
const char* TvErrorHistoryLine(bool all, int index);
const TvErrorEntry* TvErrorHistoryEntry(bool all, int index);
