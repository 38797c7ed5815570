// memory_internal.h: what the allocator (memory.cpp) and its counted
// system layer (memory_system.cpp) share.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tv_memory.h"
#include "tv_thread.h"

namespace tvmem {

// Every size handed to the system stays below 2^31, so the 32-bit
// arithmetic of the deliverable never wraps.
constexpr uint64_t kSizeCeiling = 0x7FFFFFFF;

// Counters never go below 0: blocks made while statistics were off may be
// freed after they were switched on.
template <typename T>
inline void Count(T& counter, int64_t delta) {
  if (delta < 0 && static_cast<uint64_t>(-delta) > counter) counter = 0;
  else counter = static_cast<T>(counter + delta);
}

// False when growth would reach the limit; nothing is counted then.
inline bool Account(int64_t bytes, int32_t allocations, int64_t payload, int32_t payloads) {
  if (!tvMemStats.enabled) return true;
  TvLockGuard guard(TvServiceLock(TvLockId::MemStats));
  if (bytes > 0 && tvMemStats.totalBytes + static_cast<uint64_t>(bytes) >= tvMemStats.limit) return false;
  Count(tvMemStats.totalBytes, bytes);
  Count(tvMemStats.systemAllocations, allocations);
  Count(tvMemStats.payloadBytes, payload);
  Count(tvMemStats.payloadAllocations, payloads);
  return true;
}

inline int64_t Signed(size_t size) { return static_cast<int64_t>(size); }

}  // namespace tvmem
