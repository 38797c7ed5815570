// history.cpp: error handles, the rings of raised errors. The main handle
// belongs to the kernel; further handles are created and closed by their
// users. Entries are written in a fixed ring; the oldest is overwritten when
// it is full.
#include "tv_history.h"

#include <cstring>

#include "tv_date.h"
#include "tv_error.h"
#include "tv_instance.h"
#include "tv_memory.h"
#include "tv_string.h"
#include "tv_thread.h"

namespace {

TvErrorHandle mainHandle;
uint32_t sequenceCounter = 0;
TvErrorHandle* created = nullptr;  // handles of TvErrorHandleCreate
uint32_t createdCount = 0;

uint16_t Previous(const TvErrorHandle& h, uint16_t slot) {
  return static_cast<uint16_t>(slot == 0 ? h.capacity - 1 : slot - 1);
}

TvStatus Prepare(TvErrorHandle& h, uint16_t flags, uint16_t capacity, const char* what) {
  h.entries = static_cast<TvErrorEntry*>(TvMemAlloc(TvMemZero, sizeof(TvErrorEntry) * capacity));
  if (!h.entries) return TvErrorRaise(TvErrNoMemory, what, TvRaiseOrigin);
  h.flags = flags;
  h.capacity = capacity;
  h.next = 0;
  h.oldest = kTvHistoryEmpty;
  if (flags & TvHandleLocked) TvLockCreate(h.lock, TvLockId::HandleOwn);
  return TvOk;
}

// The handle whose lines the calling thread reads: its record's while the
// kernel runs; before start-up the main ring, for the main thread only.
TvErrorHandle* HandleToRead() {
  if (TvKernelStarted()) return TvThreadRecord()->handle;
  if (GetCurrentThreadId() != TvThreadMainId() || TvThreadHasOwnRecord()) return nullptr;
  return &mainHandle;
}

}  // namespace

TvStatus TvErrorHistoryReset(uint16_t flags) {
  TvErrorHistoryRelease();
  const TvStatus status = Prepare(mainHandle, flags, kTvMainHistoryCapacity, "ErrorHandleCreate");
  if (status == TvOk) TvErrorHandleAttach(TvThreadMainRecord(), &mainHandle);
  return status;
}

void TvErrorHistoryShutdown() {
  TvErrorHandleAttach(TvThreadMainRecord(), nullptr);
  if (createdCount > 0) TvErrorReport("ERROR! Not all Error handles closed", 0);
  // The ring itself stays readable until the next start-up or the end of the instance.
  TvLockDelete(mainHandle.lock);
  mainHandle.flags = 0;
}

void TvErrorHistoryRelease() {
  TvLockDelete(mainHandle.lock);
  TvMemFree(mainHandle.entries);
  memset(&mainHandle, 0, sizeof mainHandle);
}

TvStatus TvErrorHandleCreate(uint16_t flags, uint16_t capacity, TvErrorHandle** handle) {
  if (handle) *handle = nullptr;
  auto* h = static_cast<TvErrorHandle*>(TvMemAlloc(TvMemZero, sizeof(TvErrorHandle)));
  if (!h) return TvErrorRaise(TvErrNoMemory, "ErrorHandleCreate handle list", TvRaiseOrigin);
  if (TvStatus status = Prepare(*h, flags, capacity ? capacity : 1, "ErrorHandleCreate"); status != TvOk) {
    TvMemFree(h);
    return status;
  }
  {
    TvLockGuard guard(TvServiceLock(TvLockId::Handle));
    h->nextHandle = created;
    created = h;
    ++createdCount;
  }
  if (handle) *handle = h;
  return TvOk;
}

void TvErrorHandleClose(TvErrorHandle* handle) {
  if (!handle || handle == &mainHandle) return;
  bool found = false;
  {
    TvLockGuard guard(TvServiceLock(TvLockId::Handle));
    for (TvErrorHandle** link = &created; *link; link = &(*link)->nextHandle)
      if (*link == handle) {
        *link = handle->nextHandle;
        --createdCount;
        found = true;
        break;
      }
  }
  if (!found) return;  // not a handle of ours: nothing to free
  TvLockDelete(handle->lock);
  TvMemFree(handle->entries);
  TvMemFree(handle);
}

TvErrorHandle* TvErrorHandleAttach(TvThreadRec* record, TvErrorHandle* handle) {
  if (!record) return nullptr;
  TvLockGuard guard(TvServiceLock(TvLockId::Handle));
  TvErrorHandle* previous = record->handle;
  if (previous) {
    if (previous->attachCount) --previous->attachCount;
    if (previous->flags & TvHandleOwned) previous->owner = 0;
  }
  record->handle = handle;
  if (handle) {
    ++handle->attachCount;
    if (handle->flags & TvHandleOwned) handle->owner = GetCurrentThreadId();
  }
  return previous;
}

uint32_t TvErrorHandleCount() { return createdCount; }

void TvErrorHistoryAdd(TvStatus code, const char* detail, uint32_t flags, uint16_t language) {
  TvErrorHandle* h = TvThreadRecord()->handle;
  if (!h || !h->entries || h->capacity == 0) return;
  char line[kTvErrorLineSize + 1];
  TvErrorFormatLine(line, sizeof line, code, detail, flags, language);
  TvLocalTime now;
  TvNowLocal(now);
  char thread[16];
  TvThreadIdText(thread, sizeof thread);
  uint32_t sequence;
  {
    TvLockGuard guard(TvServiceLock(TvLockId::Handle));
    sequence = ++sequenceCounter;
  }
  TvLockGuard own(h->lock);
  if (h->oldest == kTvHistoryEmpty) h->oldest = h->next;
  else if (h->next == h->oldest) h->oldest = static_cast<uint16_t>((h->oldest + 1) % h->capacity);
  TvErrorEntry& e = h->entries[h->next];
  h->next = static_cast<uint16_t>((h->next + 1) % h->capacity);
  e.code = code;
  e.sequence = sequence;
  e.flags = static_cast<uint16_t>(flags);
  e.time = now;
  TvStrCopy(e.thread, thread, sizeof e.thread);
  TvStrCopy(e.line, line, sizeof e.line);
  TvStrCopy(e.detail, detail, sizeof e.detail);
}

const TvErrorEntry* TvErrorHistoryEntry(bool all, int index) {
  TvErrorHandle* h = HandleToRead();
  if (!h || !h->entries || h->oldest == kTvHistoryEmpty || index < 0) return nullptr;
  TvLockGuard own(h->lock);
  uint16_t slot = Previous(*h, h->next);
  for (int line = 0;; ++line) {
    const TvErrorEntry& e = h->entries[slot];
    if (line == index) return &e;
    if (slot == h->oldest) return nullptr;
    if (!all && (e.flags & TvRaiseOrigin)) return nullptr;
    slot = Previous(*h, slot);
  }
}

const char* TvErrorHistoryLine(bool all, int index) {
  const TvErrorEntry* e = TvErrorHistoryEntry(all, index);
  return e ? e->line : nullptr;
}
