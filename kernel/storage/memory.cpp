// memory.cpp: the counted system layer and the plain allocator. A plain block
// is the size asked for (32 bits) followed by the caller's bytes.
#include "tv_memory.h"

#include <cstdlib>
#include <cstring>

#include "tv_thread.h"

TvMemStatistics tvMemStats = {false, UINT64_MAX, 0, 0, 0, 0};

namespace {

constexpr size_t kPlainLimit = size_t{1} << 31;
constexpr size_t kHeader = 4;

size_t Rounded(size_t size) { return ((size + 3) & ~size_t{3}) + kHeader; }

// Adds delta to the counted total; false when that reaches the limit.
bool Account(ptrdiff_t delta, int allocations, ptrdiff_t payload, int payloadCount) {
  if (!tvMemStats.enabled) return true;
  TvLockGuard guard(TvServiceLock(TvLockId::MemStats));
  uint64_t total = tvMemStats.totalBytes + static_cast<uint64_t>(delta);
  if (delta > 0 && total >= tvMemStats.limit) return false;
  tvMemStats.totalBytes = total;
  tvMemStats.systemAllocations += static_cast<uint32_t>(allocations);
  tvMemStats.payloadBytes += static_cast<uint64_t>(payload);
  tvMemStats.payloadAllocations += static_cast<uint32_t>(payloadCount);
  return true;
}

}  // namespace

void TvMemReset() {
  tvMemStats = {false, UINT64_MAX, 0, 0, 0, 0};
}

void* TvSysAlloc(size_t size, size_t payload) {
  if (!Account(static_cast<ptrdiff_t>(size), 1, static_cast<ptrdiff_t>(payload), payload ? 1 : 0)) return nullptr;
  void* block = malloc(size ? size : 1);
  if (!block) Account(-static_cast<ptrdiff_t>(size), -1, -static_cast<ptrdiff_t>(payload), payload ? -1 : 0);
  return block;
}

void* TvSysResize(void* block, size_t oldSize, size_t newSize, ptrdiff_t payloadChange) {
  if (!block) return TvSysAlloc(newSize, payloadChange > 0 ? static_cast<size_t>(payloadChange) : 0);
  ptrdiff_t delta = static_cast<ptrdiff_t>(newSize) - static_cast<ptrdiff_t>(oldSize);
  if (!Account(delta, 0, payloadChange, 0)) return nullptr;
  void* moved = realloc(block, newSize ? newSize : 1);
  if (!moved) Account(-delta, 0, -payloadChange, 0);
  return moved;
}

void TvSysFree(void* block, size_t size, size_t payload) {
  if (!block) return;
  Account(-static_cast<ptrdiff_t>(size), -1, -static_cast<ptrdiff_t>(payload), payload ? -1 : 0);
  free(block);
}

void* TvMemAlloc(uint32_t flags, size_t size) {
  if (size >= kPlainLimit) return nullptr;
  auto* raw = static_cast<uint8_t*>(TvSysAlloc(Rounded(size), size));
  if (!raw) return nullptr;
  uint32_t stored = static_cast<uint32_t>(size);
  memcpy(raw, &stored, kHeader);
  if (flags & TvMemZero) memset(raw + kHeader, 0, size);
  return raw + kHeader;
}

void* TvMemResize(void* block, uint32_t flags, size_t size) {
  if (!block) return TvMemAlloc(flags, size);
  if (size >= kPlainLimit) return nullptr;
  auto* raw = static_cast<uint8_t*>(block) - kHeader;
  uint32_t old;
  memcpy(&old, raw, kHeader);
  auto* moved = static_cast<uint8_t*>(
      TvSysResize(raw, Rounded(old), Rounded(size), static_cast<ptrdiff_t>(size) - static_cast<ptrdiff_t>(old)));
  if (!moved) return nullptr;
  uint32_t stored = static_cast<uint32_t>(size);
  memcpy(moved, &stored, kHeader);
  if ((flags & TvMemZero) && size > old) memset(moved + kHeader + old, 0, size - old);
  return moved + kHeader;
}

void TvMemFree(void* block) {
  if (!block) return;
  auto* raw = static_cast<uint8_t*>(block) - kHeader;
  uint32_t size;
  memcpy(&size, raw, kHeader);
  TvSysFree(raw, Rounded(size), size);
}
