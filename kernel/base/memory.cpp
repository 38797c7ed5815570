// memory.cpp: the kernel allocator: the counted system layer, plain blocks
// and the pool of size classes, and the settings that choose between them.
//
// A pooled chunk is its header followed by blockCount slots of block header
// plus blockSize bytes. Blocks of a chunk are handed out in number order
// until each has been used once; freed blocks go onto the chunk's free list
// (linked by block number in their first word, so a 4-byte block can hold
// the link on every pointer size). A chunk goes back to the system when its
// last block is freed. Requests above the largest class get a chunk of
// their own that sits in no list.
#include "tv_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

#include "memory_internal.h"
#include "tv_context.h"
#include "tv_string.h"
#include "tv_thread.h"

namespace {

using tvmem::Account;
using tvmem::kSizeCeiling;
using tvmem::Signed;

constexpr uint32_t kPooledMark = 0x80000000u;
constexpr uint32_t kNoBlock = 0xFFFFFFFFu;
constexpr uint64_t kPlainOverhead = kTvMemPlainHeader;
constexpr uint64_t kLargeOverhead = kTvMemChunkHeader + kTvMemBlockHeader;

struct SizeClass;

struct Chunk {
  uint32_t blockSize;  // 0: a chunk of one larger block
  uint16_t blockCount;
  uint16_t inUse;
  uint32_t chunkBytes;
  uint32_t payload;  // a larger block: the size asked for
  SizeClass* owner;  // nullptr for a larger block
  Chunk* next;
  Chunk* prev;
  uint32_t freeHead;  // number of the first free block
};
static_assert(sizeof(Chunk) <= kTvMemChunkHeader);
static_assert(sizeof(void*) != 4 || (sizeof(Chunk) == 32 && kTvMemBlockHeader == 8));

struct SizeClass {
  uint32_t blockSize;
  uint16_t blockCount;
  Chunk* first;
  Chunk* last;
  Chunk* current;
};

struct Pool {
  bool pooled;
  SizeClass* classes;  // count + 1: the last one stands for larger blocks
  uint32_t count;
  size_t tableBytes;
  // Chunks of an earlier class table that still hold blocks: a second
  // TvMemInit must not pull memory from under blocks already handed out.
  SizeClass retired;
};
Pool pool = {};

struct BuiltInClass {
  uint32_t blockSize;
  uint16_t blockCount;
};
constexpr BuiltInClass kBuiltInClasses[] = {{8, 500}, {16, 250}, {32, 125}, {64, 62}, {128, 31}, {256, 15}, {512, 7}};

TvLock& PoolLock() { return TvServiceLock(TvLockId::MemPool); }

uint64_t Round4(uint64_t size) { return (size + 3) & ~uint64_t{3}; }

bool Allowed(size_t size, uint64_t overhead) { return size <= kSizeCeiling && Round4(size) + overhead <= kSizeCeiling; }

// The word right before the caller's bytes: a plain block's size, or the
// pooled mark with the tag.
uint32_t MarkWord(const void* block) {
  uint32_t word;
  memcpy(&word, static_cast<const uint8_t*>(block) - 4, 4);
  return word;
}
bool IsPooled(const void* block) { return MarkWord(block) & kPooledMark; }
uint8_t TagOf(const void* block) { return static_cast<uint8_t>(MarkWord(block)); }

void SetTag(uint8_t* block, uint8_t tag) {
  const uint32_t word = kPooledMark | tag;
  memcpy(block - 4, &word, 4);
}

Chunk* ChunkOf(const void* block) {
  Chunk* chunk;
  memcpy(&chunk, static_cast<const uint8_t*>(block) - kTvMemBlockHeader, sizeof chunk);
  return chunk;
}

uint8_t* HandOut(Chunk* chunk, uint8_t* block) {
  memcpy(block - kTvMemBlockHeader, &chunk, sizeof chunk);
  SetTag(block, 0);
  return block;
}

uint8_t* FirstBlock(Chunk* chunk) { return reinterpret_cast<uint8_t*>(chunk) + kTvMemChunkHeader + kTvMemBlockHeader; }

uint8_t* BlockAt(Chunk* chunk, uint32_t number) {
  return FirstBlock(chunk) + size_t{number} * (chunk->blockSize + kTvMemBlockHeader);
}

uint32_t NumberOf(Chunk* chunk, const uint8_t* block) {
  return static_cast<uint32_t>(static_cast<size_t>(block - FirstBlock(chunk)) / (chunk->blockSize + kTvMemBlockHeader));
}

// ---- plain blocks ----

uint32_t PlainSize(const void* block) { return MarkWord(block); }
size_t PlainBytes(size_t size) { return static_cast<size_t>(Round4(size) + kPlainOverhead); }

void* PlainAlloc(uint32_t flags, size_t size) {
  if (!Allowed(size, kPlainOverhead)) return nullptr;
  auto* raw = static_cast<uint8_t*>(TvSysAlloc(PlainBytes(size), size));
  if (!raw) return nullptr;
  const uint32_t stored = static_cast<uint32_t>(size);
  memcpy(raw, &stored, kTvMemPlainHeader);
  if (flags & TvMemZero) memset(raw + kTvMemPlainHeader, 0, size);
  return raw + kTvMemPlainHeader;
}

void* PlainResize(uint8_t* block, uint32_t flags, size_t size) {
  if (!Allowed(size, kPlainOverhead)) return nullptr;
  const uint32_t old = PlainSize(block);
  auto* moved = static_cast<uint8_t*>(TvSysResize(block - kTvMemPlainHeader, PlainBytes(old), PlainBytes(size),
                                                  static_cast<ptrdiff_t>(Signed(size) - old)));
  if (!moved) return nullptr;
  const uint32_t stored = static_cast<uint32_t>(size);
  memcpy(moved, &stored, kTvMemPlainHeader);
  if ((flags & TvMemZero) && size > old) memset(moved + kTvMemPlainHeader + old, 0, size - old);
  return moved + kTvMemPlainHeader;
}

void PlainFree(uint8_t* block) {
  const uint32_t size = PlainSize(block);
  TvSysFree(block - kTvMemPlainHeader, PlainBytes(size), size);
}

// ---- pooled blocks ----

// The first class whose blocks hold size; nullptr: a chunk of its own (also
// in plain mode and while there are no classes). Under the pool lock.
SizeClass* ClassFor(size_t size) {
  if (!pool.pooled || pool.count == 0) return nullptr;
  uint32_t low = 0, high = pool.count;
  while (low < high) {
    const uint32_t middle = low + (high - low) / 2;
    if (pool.classes[middle].blockSize < size) low = middle + 1;
    else high = middle;
  }
  return low < pool.count ? &pool.classes[low] : nullptr;
}

bool HasRoom(const Chunk* chunk) { return chunk->freeHead != kNoBlock || chunk->inUse < chunk->blockCount; }

void Link(SizeClass& owner, Chunk* chunk) {
  chunk->owner = &owner;
  chunk->next = nullptr;
  chunk->prev = owner.last;
  if (owner.last) owner.last->next = chunk;
  else owner.first = chunk;
  owner.last = chunk;
}

void Unlink(SizeClass& owner, Chunk* chunk) {
  (chunk->prev ? chunk->prev->next : owner.first) = chunk->next;
  (chunk->next ? chunk->next->prev : owner.last) = chunk->prev;
}

Chunk* NewChunk(SizeClass& owner) {
  const uint64_t bytes = (uint64_t{owner.blockSize} + kTvMemBlockHeader) * owner.blockCount + kTvMemChunkHeader;
  if (bytes > kSizeCeiling) return nullptr;
  auto* chunk = static_cast<Chunk*>(TvSysAlloc(static_cast<size_t>(bytes), 0));
  if (!chunk) return nullptr;
  *chunk =
      Chunk{owner.blockSize, owner.blockCount, 0, static_cast<uint32_t>(bytes), 0, nullptr, nullptr, nullptr, kNoBlock};
  Link(owner, chunk);
  return chunk;
}

// Under the pool lock.
uint8_t* TakeBlock(SizeClass& owner) {
  Chunk* chunk = owner.current;
  if (!chunk || !HasRoom(chunk)) {
    chunk = owner.last;
    while (chunk && !HasRoom(chunk)) chunk = chunk->prev;
    if (!chunk && !(chunk = NewChunk(owner))) return nullptr;
    owner.current = chunk;
  }
  uint8_t* block;
  if (chunk->freeHead != kNoBlock) {
    block = BlockAt(chunk, chunk->freeHead);
    memcpy(&chunk->freeHead, block, sizeof chunk->freeHead);
  } else {
    block = BlockAt(chunk, chunk->inUse);
  }
  ++chunk->inUse;
  return HandOut(chunk, block);
}

void* LargeAlloc(uint32_t flags, size_t size) {
  const size_t bytes = static_cast<size_t>(Round4(size) + kLargeOverhead);
  auto* chunk = static_cast<Chunk*>(TvSysAlloc(bytes, size));
  if (!chunk) return nullptr;
  *chunk =
      Chunk{0, 1, 1, static_cast<uint32_t>(bytes), static_cast<uint32_t>(size), nullptr, nullptr, nullptr, kNoBlock};
  uint8_t* block = HandOut(chunk, FirstBlock(chunk));
  if (flags & TvMemZero) memset(block, 0, static_cast<size_t>(Round4(size)));
  return block;
}

void* PooledAlloc(uint32_t flags, size_t size) {
  if (!Allowed(size, kLargeOverhead)) return nullptr;
  uint8_t* block = nullptr;
  uint32_t blockSize = 0;
  {
    TvLockGuard guard(PoolLock());
    SizeClass* owner = ClassFor(size);
    if (owner) {
      if (!(block = TakeBlock(*owner))) return nullptr;
      blockSize = owner->blockSize;
    }
  }
  if (!block) return LargeAlloc(flags, size);
  Account(0, 0, blockSize, 1);
  if (flags & TvMemZero) memset(block, 0, blockSize);
  return block;
}

void PooledFree(uint8_t* block) {
  Chunk* chunk = ChunkOf(block);
  if (chunk->blockSize == 0) {
    TvSysFree(chunk, chunk->chunkBytes, chunk->payload);
    return;
  }
  const uint32_t blockSize = chunk->blockSize;
  Chunk* emptied = nullptr;
  {
    TvLockGuard guard(PoolLock());
    if (TagOf(block) == kTvMemTagFree) return;  // freed twice: the free list must stay intact
    SizeClass& owner = *chunk->owner;
    if (--chunk->inUse > 0) {
      memcpy(block, &chunk->freeHead, sizeof chunk->freeHead);
      chunk->freeHead = NumberOf(chunk, block);
      SetTag(block, kTvMemTagFree);
      owner.current = chunk;
    } else {
      if (owner.current == chunk) owner.current = nullptr;
      Unlink(owner, chunk);
      emptied = chunk;
    }
  }
  Account(0, 0, -int64_t{blockSize}, -1);
  if (emptied) TvSysFree(emptied, emptied->chunkBytes, 0);
}

// Bytes a block holds for its caller.
uint32_t Capacity(const void* block) {
  if (!IsPooled(block)) return PlainSize(block);
  const Chunk* chunk = ChunkOf(block);
  return chunk->blockSize ? chunk->blockSize : chunk->payload;
}

void* LargeResize(uint8_t* block, uint32_t flags, size_t size) {
  Chunk* chunk = ChunkOf(block);
  const uint32_t old = chunk->payload;
  const size_t bytes = static_cast<size_t>(Round4(size) + kLargeOverhead);
  auto* moved =
      static_cast<Chunk*>(TvSysResize(chunk, chunk->chunkBytes, bytes, static_cast<ptrdiff_t>(Signed(size) - old)));
  if (!moved) return nullptr;
  moved->chunkBytes = static_cast<uint32_t>(bytes);
  moved->payload = static_cast<uint32_t>(size);
  uint8_t* result = HandOut(moved, FirstBlock(moved));
  if ((flags & TvMemZero) && size > old) memset(result + old, 0, size - old);
  return result;
}

void* PooledResize(uint8_t* block, uint32_t flags, size_t size) {
  if (TagOf(block) == kTvMemTagFree || !Allowed(size, kLargeOverhead)) return nullptr;
  const Chunk* chunk = ChunkOf(block);
  uint32_t target;
  {
    TvLockGuard guard(PoolLock());
    const SizeClass* owner = ClassFor(size);
    target = owner ? owner->blockSize : 0;
  }
  if (chunk->blockSize != 0) {
    // Same class: the block already has room. With no better class (plain
    // mode now, or no classes) a block that holds the size stays too.
    if (size <= chunk->blockSize && (target == chunk->blockSize || target == 0)) return block;
  } else if (target == 0) {
    return LargeResize(block, flags, size);
  }
  auto* moved = static_cast<uint8_t*>(TvMemAlloc(flags & ~uint32_t{TvMemZero}, size));
  if (!moved) return nullptr;
  // Only the caller's bytes: the old class may be larger than the new one.
  const uint32_t had = Capacity(block), now = Capacity(moved);
  memcpy(moved, block, had < now ? had : now);
  if ((flags & TvMemZero) && now > had) memset(moved + had, 0, now - had);
  TvMemFree(block);
  return moved;
}

// Hands the chunks of the current table to the retired list. Under the pool lock.
void RetireClasses() {
  for (uint32_t i = 0; i < pool.count; ++i) {
    for (Chunk* chunk = pool.classes[i].first; chunk;) {
      Chunk* next = chunk->next;
      Link(pool.retired, chunk);
      chunk = next;
    }
  }
  pool.retired.current = nullptr;
}

uint32_t DropChunks(SizeClass& owner, uint64_t& payload) {
  uint32_t blocks = 0;
  for (Chunk* chunk = owner.first; chunk;) {
    Chunk* next = chunk->next;
    blocks += chunk->inUse;
    payload += uint64_t{chunk->inUse} * chunk->blockSize;
    TvSysFree(chunk, chunk->chunkBytes, 0);
    chunk = next;
  }
  owner.first = owner.last = owner.current = nullptr;
  return blocks;
}

// ---- settings ----

bool Blank(char c) { return c == ' ' || c == '\t'; }

TvStatus Invalid(const char* detail) { return TvErrorRaise(TvErrMemConfig, detail, TvRaiseOrigin); }

// Fills table with count classes, from the built-in list (configured 0) or
// from the continuation lines of MemBlocks.
TvStatus ReadClasses(const TvOptionReader& options, SizeClass* table, uint32_t count, bool builtIn) {
  char detail[kTvErrorTextSize];
  uint32_t previous = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t blockSize;
    uint16_t blockCount;
    if (builtIn) {
      blockSize = kBuiltInClasses[i].blockSize;
      blockCount = kBuiltInClasses[i].blockCount;
    } else {
      char line[kTvErrorTextSize];
      if (!options.nextLine(line, sizeof line)) return Invalid("Number of MemBlock ini lines does not match");
      const char* rest = nullptr;
      blockSize = static_cast<uint32_t>(TvStrToInt(line, &rest));
      blockCount = static_cast<uint16_t>(TvStrToInt(rest, nullptr));
    }
    if (blockSize < 4) {
      TvFormat(detail, sizeof detail, "%lu < minimum block size of pointer, %lu", static_cast<unsigned long>(blockSize),
               4ul);
      return Invalid(detail);
    }
    // The order is that of the sizes as configured: 6 and 7 are in order
    // although both make classes of 8.
    if (blockSize <= previous) {
      TvFormat(detail, sizeof detail, "%lu < previous blocksize, %lu. Settings must be in size order",
               static_cast<unsigned long>(blockSize), static_cast<unsigned long>(previous));
      return Invalid(detail);
    }
    if (blockCount == 0) return Invalid("cannot set 0 number of blocks");
    previous = blockSize;
    // Blocks keep the caller's bytes 4-aligned; sizes beyond any chunk stay
    // as given (a request that lands there simply fails). Classes of equal
    // size may follow each other: the search for a class takes the first.
    if (blockSize <= kSizeCeiling) blockSize = static_cast<uint32_t>(Round4(blockSize));
    table[i] = SizeClass{blockSize, blockCount, nullptr, nullptr, nullptr};
  }
  table[count] = SizeClass{0, 1, nullptr, nullptr, nullptr};
  return TvOk;
}

// Puts a new class table (or none) in place; an earlier table's chunks stay
// alive on the retired list.
void InstallClasses(bool pooled, SizeClass* table, uint32_t count, size_t tableBytes) {
  SizeClass* old;
  size_t oldBytes;
  {
    TvLockGuard guard(PoolLock());
    RetireClasses();
    old = pool.classes;
    oldBytes = pool.tableBytes;
    pool.classes = table;
    pool.count = count;
    pool.tableBytes = tableBytes;
    pool.pooled = pooled;
  }
  if (old) TvSysFree(old, oldBytes, 0);
}

}  // namespace

void* TvMemAlloc(uint32_t flags, size_t size) {
  return pool.pooled ? PooledAlloc(flags, size) : PlainAlloc(flags, size);
}

void* TvMemResize(void* block, uint32_t flags, size_t size) {
  if (!block) return TvMemAlloc(flags, size);
  auto* bytes = static_cast<uint8_t*>(block);
  return IsPooled(block) ? PooledResize(bytes, flags, size) : PlainResize(bytes, flags, size);
}

void TvMemFree(void* block) {
  if (!block) return;
  auto* bytes = static_cast<uint8_t*>(block);
  if (IsPooled(block)) PooledFree(bytes);
  else PlainFree(bytes);
}

TvStatus TvMemInit(const TvOptionReader& options) {
  char setting[100];
  options.getString("MemAllocator", "Plain NoStats", setting, sizeof setting);
  const std::string_view text(setting);
  size_t start = 0;
  while (start < text.size() && Blank(text[start])) ++start;
  size_t end = start;
  while (end < text.size() && !Blank(text[end])) ++end;
  char word[10];
  TvStrCopyN(word, setting + start, end - start, sizeof word);
  while (end < text.size() && Blank(text[end])) ++end;
  const bool pooled = !TvStrEqualNoCase(word, "Plain");
  // The earlier table goes back under the statistics it was counted with.
  InstallClasses(false, nullptr, 0, 0);
  tvMemStats.enabled = !TvStrEqualNoCase(setting + end, "NoStats");
  tvMemStats.limit = UINT64_MAX;

  const int32_t configured = options.getInt("MemBlocks", 0);
  if (configured < 0) {
    InstallClasses(pooled, nullptr, 0, 0);
    return Invalid("Number of MemBlock ini lines does not match");
  }
  const uint64_t count = configured ? static_cast<uint64_t>(configured) : std::size(kBuiltInClasses);
  const uint64_t tableBytes = (count + 1) * sizeof(SizeClass);
  auto* table =
      tableBytes <= kSizeCeiling ? static_cast<SizeClass*>(TvSysAlloc(static_cast<size_t>(tableBytes), 0)) : nullptr;
  if (!table) {
    InstallClasses(pooled, nullptr, 0, 0);
    return TvErrorRaise(TvErrNoMemory, "MemBlocks", TvRaiseOrigin);
  }
  if (const TvStatus status = ReadClasses(options, table, static_cast<uint32_t>(count), configured == 0);
      status != TvOk) {
    TvSysFree(table, static_cast<size_t>(tableBytes), 0);
    InstallClasses(pooled, nullptr, 0, 0);
    return status;
  }
  InstallClasses(pooled, table, static_cast<uint32_t>(count), static_cast<size_t>(tableBytes));

  char limit[32];
  if (options.getString("MemLimit", "", limit, sizeof limit) && limit[0]) {
    // All 32 bits set means no limit, as it did on the 32-bit systems.
    const uint32_t value = static_cast<uint32_t>(TvStrToInt(limit, nullptr));
    tvMemStats.limit = value == UINT32_MAX ? UINT64_MAX : value;
  }
  return TvOk;
}

uint32_t TvMemReleaseAll() {
  uint32_t blocks = 0;
  uint64_t payload = 0;
  SizeClass* table;
  size_t tableBytes;
  {
    TvLockGuard guard(PoolLock());
    for (uint32_t i = 0; i < pool.count; ++i) blocks += DropChunks(pool.classes[i], payload);
    blocks += DropChunks(pool.retired, payload);
    table = pool.classes;
    tableBytes = pool.tableBytes;
    pool.classes = nullptr;
    pool.count = 0;
    pool.tableBytes = 0;
    pool.pooled = false;
  }
  if (table) TvSysFree(table, tableBytes, 0);
  TvSysReleaseKept();
  Account(0, 0, -static_cast<int64_t>(payload), -static_cast<int32_t>(blocks));
  // The limit belonged to the run that set it; with statistics on it would
  // otherwise refuse the blocks of the next start-up.
  tvMemStats.limit = UINT64_MAX;
  tvMemStats.enabled = true;
  return blocks;
}

bool TvMemPooled() { return pool.pooled; }

uint32_t TvMemClassCount() { return pool.count; }

bool TvMemClassGet(uint32_t index, TvMemClassInfo* info, uint16_t* inUse, uint32_t inUseSize) {
  if (!info) return false;
  TvLockGuard guard(PoolLock());
  if (index >= pool.count) return false;
  const SizeClass& owner = pool.classes[index];
  *info = TvMemClassInfo{owner.blockSize, owner.blockCount, 0, -1, 0, 0};
  for (const Chunk* chunk = owner.first; chunk; chunk = chunk->next) {
    if (chunk == owner.current) info->current = static_cast<int32_t>(info->chunks);
    if (inUse && info->chunks < inUseSize) inUse[info->chunks] = chunk->inUse;
    ++info->chunks;
    info->blocksInUse += chunk->inUse;
    info->blocksFree += chunk->blockCount - chunk->inUse;
  }
  return true;
}

bool TvMemBlockGet(const void* block, TvMemBlockInfo* info) {
  if (!block || !info) return false;
  if (!IsPooled(block)) {
    *info = TvMemBlockInfo{false, 0, 0, PlainSize(block), nullptr};
    return true;
  }
  const Chunk* chunk = ChunkOf(block);
  *info = TvMemBlockInfo{true, TagOf(block), chunk->blockSize, Capacity(block), chunk};
  return true;
}
