// memory_system.cpp: the allocator's counted system layer: blocks from the
// C runtime, counted in the statistics and held to the memory limit, and
// the large blocks kept for reuse.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "memory_internal.h"

TvMemStatistics tvMemStats = {false, UINT64_MAX, 0, 0, 0, 0};

namespace {

using tvmem::Account;
using tvmem::kSizeCeiling;
using tvmem::Signed;

// ---- kept large blocks ----

// A heap hands blocks from about 128 KiB up to the virtual memory manager
// and gives their pages back when they are freed, so every large block is
// made of fresh pages, and the first touch of each page is a page fault:
// under Wine on the build machine a 256 KiB block costs 0.3 ms that way
// and a 2 MiB one 4.6 ms, far more than reading or writing it. The
// exports allocate such blocks on every call (the loaded text, its copy
// for the undo of a save, the read buffers), so freed large blocks are
// kept for the next request they fit, a few and a bounded total only.
// Kept blocks are outside the statistics and the memory limit, which
// count what callers hold.
constexpr size_t kKeepFrom = 64 * 1024;
constexpr size_t kKeepSlots = 8;
constexpr size_t kKeepLimit = 32 * 1024 * 1024;
// Blocks from this size up grow by half as much again when they move.
constexpr size_t kGrowFrom = 4 * 1024;

struct Kept {
  void* block;
  size_t capacity;
};

class KeptBlocks {
 public:
  // A kept block of capacity size to twice size (so that a small request
  // does not pin a large block), or nullptr.
  void* Take(size_t size) {
    TvSpinHold hold(busy_);
    size_t best = kKeepSlots;
    for (size_t k = 0; k < count_; ++k)
      if (slots_[k].capacity >= size && slots_[k].capacity / 2 <= size &&
          (best == kKeepSlots || slots_[k].capacity < slots_[best].capacity))
        best = k;
    if (best == kKeepSlots) return nullptr;
    void* block = slots_[best].block;
    bytes_ -= slots_[best].capacity;
    slots_[best] = slots_[--count_];
    return block;
  }
  // Keeps the block, pushing out smaller ones while the slots or the total
  // would overflow; false: too large to keep, the caller frees it.
  bool Put(void* block, size_t capacity) {
    if (capacity > kKeepLimit) return false;
    void* evicted[kKeepSlots];
    size_t evictedCount = 0;
    {
      TvSpinHold hold(busy_);
      while (count_ == kKeepSlots || bytes_ + capacity > kKeepLimit) {
        size_t smallest = 0;
        for (size_t k = 1; k < count_; ++k)
          if (slots_[k].capacity < slots_[smallest].capacity) smallest = k;
        evicted[evictedCount++] = slots_[smallest].block;
        bytes_ -= slots_[smallest].capacity;
        slots_[smallest] = slots_[--count_];
      }
      slots_[count_++] = {block, capacity};
      bytes_ += capacity;
    }
    for (size_t k = 0; k < evictedCount; ++k) free(evicted[k]);
    return true;
  }
  void ReleaseAll() {
    Kept all[kKeepSlots];
    size_t n;
    {
      TvSpinHold hold(busy_);
      n = count_;
      memcpy(all, slots_, n * sizeof(Kept));
      count_ = 0;
      bytes_ = 0;
    }
    for (size_t k = 0; k < n; ++k) free(all[k].block);
  }

 private:
  // The system layer runs before the kernel's locks exist and after they
  // are gone.
  std::atomic<bool> busy_{false};
  Kept slots_[kKeepSlots] = {};
  size_t count_ = 0;
  size_t bytes_ = 0;
};
KeptBlocks kept;

void* SystemAlloc(size_t size) {
  if (size >= kKeepFrom)
    if (void* block = kept.Take(size)) return block;
  return malloc(size ? size : 1);
}

void SystemFree(void* block) {
  if (const size_t capacity = _msize(block); capacity >= kKeepFrom && kept.Put(block, capacity)) return;
  free(block);
}

// Resizes within the block's capacity where it can. A block that grows
// past it moves to a kept block, or to a new one with half as much again
// for later growth: a list or text growing by small steps would otherwise
// be copied at every step. A large block that shrinks to less than half
// moves too, and is kept. usedSize: the bytes that hold data.
void* SystemResize(void* block, size_t usedSize, size_t newSize) {
  const size_t capacity = _msize(block);
  if (newSize <= capacity && newSize >= capacity / 2) return block;
  const bool grows = newSize > capacity;
  if (grows ? newSize < kGrowFrom : capacity < kKeepFrom) return realloc(block, newSize ? newSize : 1);
  void* moved = newSize >= kKeepFrom ? kept.Take(newSize) : nullptr;
  if (!moved && grows && newSize <= kSizeCeiling / 2) moved = malloc(newSize + newSize / 2);
  if (!moved) moved = malloc(newSize ? newSize : 1);
  if (!moved) return nullptr;
  memcpy(moved, block, usedSize < newSize ? usedSize : newSize);
  SystemFree(block);
  return moved;
}

}  // namespace

void TvSysReleaseKept() { kept.ReleaseAll(); }

void TvMemReset() { tvMemStats = {false, UINT64_MAX, 0, 0, 0, 0}; }

void* TvSysAlloc(size_t size, size_t payload) {
  if (size > kSizeCeiling || payload > kSizeCeiling) return nullptr;
  const int32_t payloads = payload ? 1 : 0;
  if (!Account(Signed(size), 1, Signed(payload), payloads)) return nullptr;
  void* block = SystemAlloc(size);
  if (!block) Account(-Signed(size), -1, -Signed(payload), -payloads);
  return block;
}

void* TvSysResize(void* block, size_t oldSize, size_t newSize, ptrdiff_t payloadChange) {
  if (!block) return TvSysAlloc(newSize, payloadChange > 0 ? static_cast<size_t>(payloadChange) : 0);
  if (newSize > kSizeCeiling || oldSize > kSizeCeiling) return nullptr;
  const int64_t delta = Signed(newSize) - Signed(oldSize);
  if (!Account(delta, 0, payloadChange, 0)) return nullptr;
  void* moved = SystemResize(block, oldSize, newSize);
  if (!moved) Account(-delta, 0, -int64_t{payloadChange}, 0);
  return moved;
}

void TvSysFree(void* block, size_t size, size_t payload) {
  if (!block) return;
  Account(-Signed(size), -1, -Signed(payload), payload ? -1 : 0);
  SystemFree(block);
}
