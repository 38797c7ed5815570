// tv_memory.h: the kernel allocator. Every dynamic block of the kernel comes
// from here, so that statistics and the memory limit see all of it.
#pragma once
#include <cstddef>
#include <cstdint>

enum TvMemFlags : uint32_t { TvMemZero = 1 };

void* TvMemAlloc(uint32_t flags, size_t size);
void* TvMemResize(void* block, uint32_t flags, size_t size);
void TvMemFree(void* block);

// Counted system layer, for callers that keep their own block sizes.
void* TvSysAlloc(size_t size, size_t payload);
void* TvSysResize(void* block, size_t oldSize, size_t newSize, ptrdiff_t payloadChange);
void TvSysFree(void* block, size_t size, size_t payload);

struct TvMemStatistics {
  bool enabled;
  uint64_t limit;           // all bits set: no limit
  uint64_t totalBytes;      // obtained from the system
  uint32_t systemAllocations;
  uint64_t payloadBytes;
  uint32_t payloadAllocations;
};
extern TvMemStatistics tvMemStats;

// Start-up and shut-down of the allocator (called by the kernel instance).
void TvMemReset();
