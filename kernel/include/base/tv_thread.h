// tv_thread.h: kernel locks and per-thread records.
//
// Lock order, used throughout the kernel: the kernel lock, then the provider
// and hook locks, then the service locks in the order of TvLockId. A lock is
// only ever taken through TvLockGuard, so it cannot be left held, and the
// guard counts every acquisition that breaks the order (see
// TvLockOrderViolations) so that tests can prove the order is kept.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "tv_base.h"

enum class TvLockId : uint8_t {
  // Instance locks, created by TvBeginInstance.
  // clang-format off
  Kernel, Provider, Hook,
  // Service locks, created at kernel reset.
  Scan, Log, Console, File, DataDir, Locale, Handle, Thread, MemPool, MemStats,
  // clang-format on
  // A history ring's own lock; always taken last among the history locks.
  HandleOwn,
};
constexpr int kTvServiceLockCount = 10;

struct TvLock {
  uint32_t initialised;
  CRITICAL_SECTION section;
  TvLockId rank;
  uint32_t depth;  // re-entry depth of the owning thread
};

void TvLockCreate(TvLock& lock, TvLockId rank);
void TvLockDelete(TvLock& lock);
bool TvLockAcquire(TvLock& lock);  // false when the lock does not exist
void TvLockRelease(TvLock& lock);
uint32_t TvLockOrderViolations();

// Holds a lock for its scope; does nothing when the lock does not exist yet
// (before the instance is begun or the kernel reset).
class TvLockGuard {
 public:
  explicit TvLockGuard(TvLock& lock) : lock_(lock), held_(TvLockAcquire(lock)) {}
  ~TvLockGuard() {
    if (held_) TvLockRelease(lock_);
  }
  TvLockGuard(const TvLockGuard&) = delete;
  TvLockGuard& operator=(const TvLockGuard&) = delete;

 private:
  TvLock& lock_;
  bool held_;
};

// Holds a spin lock for its scope: for state that the kernel's locks
// cannot guard (it is used before the instance begins or after it ends, or
// outside the lock order), held for a few steps only.
class TvSpinHold {
 public:
  explicit TvSpinHold(std::atomic<bool>& busy) : busy_(busy) {
    while (busy_.exchange(true, std::memory_order_acquire)) SwitchToThread();
  }
  ~TvSpinHold() { busy_.store(false, std::memory_order_release); }
  TvSpinHold(const TvSpinHold&) = delete;
  TvSpinHold& operator=(const TvSpinHold&) = delete;

 private:
  std::atomic<bool>& busy_;
};

TvLock& TvServiceLock(TvLockId id);
bool TvServiceLocksCreated();
void TvServiceLocksCreate();
void TvServiceLocksDelete();

// Lock-order bookkeeping lives in a thread-local slot for the lifetime of
// the instance.
void TvThreadSlotsCreate();
void TvThreadSlotsDelete();

struct TvErrorHandle;

// Per-thread kernel state.
struct TvThreadRec {
  char message[100];      // last text of TvErrorText for this thread
  int16_t quiet;          // raises are ignored while above 0
  TvStatus lastCode;      // last code raised
  uint32_t options;       // TvErrorOption bits
  TvErrorHandle* handle;  // error history
};

enum TvErrorOption : uint32_t {
  TvErrorProcess = 0x01,  // process raises even when LogErrors is off
  TvErrorRecord = 0x04,   // record raises in the history
  TvErrorLog = 0x08,      // log raises even when LogErrors is off
};

struct TvThreadNode {
  TvThreadNode* next;
  DWORD threadId;
  TvThreadRec* record;
};

// The calling thread's record; the main record when it has none of its own.
TvThreadRec* TvThreadRecord();
TvThreadRec* TvThreadMainRecord();
bool TvThreadHasOwnRecord();
DWORD TvThreadMainId();
void TvThreadIdText(char* buffer, size_t size);

// Registry maintenance (kernel reset, and threads that keep records of their own).
void TvThreadRegistryReset();
void TvThreadRegister(TvThreadNode* node, TvThreadRec* record);
void TvThreadUnregister(TvThreadNode* node);
