// threads.cpp: lock records, the service locks, the lock-order check and the
// registry of per-thread records (a list whose head is the thread looked up
// last).
#include "tv_thread.h"

#include <cstring>

#include "tv_string.h"

namespace {

TvLock serviceLocks[kTvServiceLockCount];
bool serviceLocksCreated = false;
LONG orderViolations = 0;
DWORD heldSlot = TLS_OUT_OF_INDEXES;

TvThreadRec mainRecord;
TvThreadNode mainNode;
TvThreadNode* registryHead = nullptr;

constexpr TvLockId kServiceIds[kTvServiceLockCount] = {
    TvLockId::Scan,   TvLockId::Log,    TvLockId::Console, TvLockId::File,    TvLockId::DataDir,
    TvLockId::Locale, TvLockId::Handle, TvLockId::Thread,  TvLockId::MemPool, TvLockId::MemStats,
};

uintptr_t HeldMask() { return heldSlot == TLS_OUT_OF_INDEXES ? 0 : reinterpret_cast<uintptr_t>(TlsGetValue(heldSlot)); }

void SetHeldMask(uintptr_t mask) {
  if (heldSlot != TLS_OUT_OF_INDEXES) TlsSetValue(heldSlot, reinterpret_cast<void*>(mask));
}

}  // namespace

void TvLockCreate(TvLock& lock, TvLockId rank) {
  if (lock.initialised) return;
  InitializeCriticalSection(&lock.section);
  lock.rank = rank;
  lock.depth = 0;
  lock.initialised = 1;
}

void TvLockDelete(TvLock& lock) {
  if (!lock.initialised) return;
  DeleteCriticalSection(&lock.section);
  memset(&lock, 0, sizeof lock);
}

bool TvLockAcquire(TvLock& lock) {
  if (!lock.initialised) return false;
  EnterCriticalSection(&lock.section);
  if (++lock.depth == 1) {
    uintptr_t bit = uintptr_t{1} << static_cast<int>(lock.rank);
    uintptr_t mask = HeldMask();
    if (mask & ~((bit << 1) - 1)) InterlockedIncrement(&orderViolations);
    SetHeldMask(mask | bit);
  }
  return true;
}

void TvLockRelease(TvLock& lock) {
  if (!lock.initialised) return;
  if (--lock.depth == 0) SetHeldMask(HeldMask() & ~(uintptr_t{1} << static_cast<int>(lock.rank)));
  LeaveCriticalSection(&lock.section);
}

uint32_t TvLockOrderViolations() { return static_cast<uint32_t>(orderViolations); }

void TvThreadSlotsCreate() {
  if (heldSlot == TLS_OUT_OF_INDEXES) heldSlot = TlsAlloc();
}

void TvThreadSlotsDelete() {
  if (heldSlot != TLS_OUT_OF_INDEXES) TlsFree(heldSlot);
  heldSlot = TLS_OUT_OF_INDEXES;
}

TvLock& TvServiceLock(TvLockId id) {
  for (int i = 0; i < kTvServiceLockCount; ++i)
    if (kServiceIds[i] == id) return serviceLocks[i];
  return serviceLocks[0];
}

bool TvServiceLocksCreated() { return serviceLocksCreated; }

void TvServiceLocksCreate() {
  for (int i = 0; i < kTvServiceLockCount; ++i) TvLockCreate(serviceLocks[i], kServiceIds[i]);
  serviceLocksCreated = true;
}

void TvServiceLocksDelete() {
  serviceLocksCreated = false;
  for (int i = kTvServiceLockCount - 1; i >= 0; --i) TvLockDelete(serviceLocks[i]);
}

void TvThreadRegistryReset() {
  memset(&mainRecord, 0, sizeof mainRecord);
  mainRecord.options = TvErrorProcess | TvErrorRecord;
  mainNode.next = nullptr;
  mainNode.threadId = GetCurrentThreadId();
  mainNode.record = &mainRecord;
  registryHead = &mainNode;
}

void TvThreadRegister(TvThreadNode* node, TvThreadRec* record) {
  if (!node || !record) return;
  TvLockGuard guard(TvServiceLock(TvLockId::Thread));
  node->threadId = GetCurrentThreadId();
  node->record = record;
  node->next = registryHead;
  registryHead = node;
}

void TvThreadUnregister(TvThreadNode* node) {
  TvLockGuard guard(TvServiceLock(TvLockId::Thread));
  for (TvThreadNode** link = &registryHead; *link; link = &(*link)->next)
    if (*link == node) {
      *link = node->next;
      return;
    }
}

TvThreadRec* TvThreadRecord() {
  DWORD self = GetCurrentThreadId();
  TvLockGuard guard(TvServiceLock(TvLockId::Thread));
  if (!registryHead) return &mainRecord;
  if (registryHead->threadId == self) return registryHead->record;
  for (TvThreadNode* prev = registryHead; prev->next; prev = prev->next) {
    TvThreadNode* node = prev->next;
    if (node->threadId == self) {
      prev->next = node->next;
      node->next = registryHead;
      registryHead = node;
      return node->record;
    }
  }
  return &mainRecord;
}

TvThreadRec* TvThreadMainRecord() { return &mainRecord; }

bool TvThreadHasOwnRecord() { return TvThreadRecord() != &mainRecord; }

DWORD TvThreadMainId() { return mainNode.threadId; }

void TvThreadIdText(char* buffer, size_t size) { TvFormat(buffer, size, "#%lu", GetCurrentThreadId()); }
