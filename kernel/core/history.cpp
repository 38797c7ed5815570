// history.cpp: the error ring of the main thread. Entries are written in a
// fixed ring; the oldest is overwritten when it is full.
#include "tv_history.h"

#include <cstring>

#include "tv_memory.h"
#include "tv_string.h"
#include "tv_thread.h"

namespace {

TvErrorHandle mainHandle;
uint32_t sequenceCounter = 0;

uint16_t Previous(const TvErrorHandle& h, uint16_t slot) {
  return static_cast<uint16_t>(slot == 0 ? h.capacity - 1 : slot - 1);
}

}  // namespace

TvStatus TvErrorHistoryReset(uint16_t flags) {
  TvErrorHistoryShutdown();
  TvErrorEntry* entries =
      static_cast<TvErrorEntry*>(TvMemAlloc(TvMemZero, sizeof(TvErrorEntry) * kTvMainHistoryCapacity));
  if (!entries) return TvErrorRaise(TvErrNoMemory, "ErrorHandleCreate", TvRaiseOrigin);
  mainHandle.flags = flags;
  mainHandle.attachCount = 1;
  mainHandle.capacity = kTvMainHistoryCapacity;
  mainHandle.next = 0;
  mainHandle.oldest = kTvHistoryEmpty;
  mainHandle.entries = entries;
  if (flags & TvHandleLocked) TvLockCreate(mainHandle.lock, TvLockId::HandleOwn);
  TvThreadMainRecord()->handle = &mainHandle;
  return TvOk;
}

void TvErrorHistoryShutdown() {
  if (TvThreadMainRecord()->handle == &mainHandle) TvThreadMainRecord()->handle = nullptr;
  TvLockDelete(mainHandle.lock);
  TvMemFree(mainHandle.entries);
  memset(&mainHandle, 0, sizeof mainHandle);
}

void TvErrorHistoryAdd(TvStatus code, const char* detail, uint32_t flags, uint16_t language) {
  TvErrorHandle* h = TvThreadRecord()->handle;
  if (!h || !h->entries || h->capacity == 0) return;
  char line[kTvErrorLineSize + 1];
  TvErrorFormatLine(line, sizeof line, code, detail, flags, language);
  uint32_t sequence;
  {
    TvLockGuard guard(TvServiceLock(TvLockId::Handle));
    sequence = ++sequenceCounter;
  }
  TvLockGuard own(h->lock);
  if (h->oldest == kTvHistoryEmpty)
    h->oldest = h->next;
  else if (h->next == h->oldest)
    h->oldest = static_cast<uint16_t>((h->oldest + 1) % h->capacity);
  TvErrorEntry& e = h->entries[h->next];
  h->next = static_cast<uint16_t>((h->next + 1) % h->capacity);
  e.code = code;
  e.sequence = sequence;
  e.flags = static_cast<uint16_t>(flags);
  TvStrCopy(e.line, line, sizeof e.line);
  TvStrCopy(e.detail, detail, sizeof e.detail);
}

const char* TvErrorHistoryLine(bool all, int index) {
  TvErrorHandle* h = TvThreadRecord()->handle;
  if (!h || !h->entries || h->oldest == kTvHistoryEmpty || index < 0) return nullptr;
  TvLockGuard own(h->lock);
  uint16_t slot = Previous(*h, h->next);
  for (int line = 0;; ++line) {
    const TvErrorEntry& e = h->entries[slot];
    if (line == index) return e.line;
    if (slot == h->oldest) return nullptr;
    if (!all && (e.flags & TvRaiseOrigin)) return nullptr;
    slot = Previous(*h, slot);
  }
}
