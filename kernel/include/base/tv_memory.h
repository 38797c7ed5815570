// tv_memory.h: the kernel allocator. Every dynamic block of the kernel comes
// from here, so that statistics and the memory limit see all of it.
//
// Two modes, chosen at start-up: plain blocks (one system allocation each)
// and pooled blocks (size classes carving fixed blocks out of chunks). Every
// block tells which mode made it, so a block is always resized and freed by
// its own mode, whichever mode is in force when that happens.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tv_base.h"
#include "tv_context.h"

enum TvMemFlags : uint32_t { TvMemZero = 1 };

void* TvMemAlloc(uint32_t flags, size_t size);
void* TvMemResize(void* block, uint32_t flags, size_t size);
void TvMemFree(void* block);

// Counted system layer, for callers that keep their own block sizes.
void* TvSysAlloc(size_t size, size_t payload);
void* TvSysResize(void* block, size_t oldSize, size_t newSize, ptrdiff_t payloadChange);
void TvSysFree(void* block, size_t size, size_t payload);
// Freed blocks of 64 KiB and more are kept for later requests (a bounded
// few); this gives them back to the system. Called at the last kernel
// shut-down and when the instance ends.
void TvSysReleaseKept();

struct TvMemStatistics {
  bool enabled;
  uint64_t limit;       // all bits set: no limit
  uint64_t totalBytes;  // obtained from the system
  uint32_t systemAllocations;
  uint64_t payloadBytes;
  uint32_t payloadAllocations;
};
extern TvMemStatistics tvMemStats;

// Start-up and shut-down of the allocator (called by the kernel instance).
void TvMemReset();
// Reads MemAllocator, MemBlocks and MemLimit: 0, -1033 or -1001.
TvStatus TvMemInit(const TvOptionReader& options);
// Returns every chunk and the class table; plain mode, statistics on and no
// limit afterwards. The result is the number of pooled blocks that were still in
// use (and are gone now): anything above 0 is a leak of the caller.
uint32_t TvMemReleaseAll();

// Block layouts. A plain block is preceded by its 32-bit size (below 2^31);
// a pooled block by its chunk's address and a 32-bit word whose top bit is
// set and whose low byte is the tag. That word sits right before the caller's
// bytes in both layouts, so it alone tells the two apart.
constexpr size_t kTvMemPlainHeader = 4;
constexpr size_t kTvMemBlockHeader = sizeof(void*) == 4 ? 8 : 16;
constexpr size_t kTvMemChunkHeader = sizeof(void*) == 4 ? 32 : 48;
constexpr uint8_t kTvMemTagFree = 16;

// Read-only views of the pool, for the system report and the tests.
struct TvMemClassInfo {
  uint32_t blockSize;
  uint16_t blocksPerChunk;
  uint32_t chunks;  // chunks in the class's list
  int32_t current;  // position of the current chunk in that list, -1: none
  uint32_t blocksInUse;
  uint32_t blocksFree;  // free or never used, in the class's chunks
};
bool TvMemPooled();
uint32_t TvMemClassCount();  // configured classes, the class of larger blocks not counted
// The class at index (0: the smallest); with inUse, the in-use count of each
// of its chunks in list order, at most inUseSize of them.
bool TvMemClassGet(uint32_t index, TvMemClassInfo* info, uint16_t* inUse = nullptr, uint32_t inUseSize = 0);

struct TvMemBlockInfo {
  bool pooled;
  uint8_t tag;         // pooled blocks: 0 in use, kTvMemTagFree free
  uint32_t classSize;  // pooled blocks: block size of the class, 0 for a larger block
  uint32_t capacity;   // bytes the caller may use
  const void* chunk;   // pooled blocks: the chunk holding the block
};
bool TvMemBlockGet(const void* block, TvMemBlockInfo* info);
