// The kernel allocator: plain and pooled blocks, the settings, statistics and
// the limit, and blocks that outlive a change of mode.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel_fixture.h"

namespace {

using InUse = std::vector<uint16_t>;

class Memory : public tvtest::KernelTest {
 protected:
  ~Memory() override {
    while (TvKernelStarted()) TvKernelShutdown(0);
    TvMemReleaseAll();
    TvMemReset();
  }
  // The kernel starts in plain mode; the allocator setting is then changed in
  // the loaded configuration and read again, so start-up leaves no chunks.
  TvStatus Configure(const char* allocator, const std::string& settings = "") {
    const TvStatus started = StartWith("[TvDefault]\nMemAllocator=Plain NoStats\n" + settings, TvFlagKeepConfig);
    if (started != TvOk && started != TvErrMemConfig) return started;
    return Switch(allocator);
  }
  static TvStatus Switch(const char* allocator) {
    if (TvConfigSetString("TvDefault", "MemAllocator", allocator) != TvOk) return TvErrFatal;
    return TvMemInit(kTvKernelOptions);
  }
  static TvMemClassInfo Class(uint32_t index, InUse* inUse = nullptr) {
    TvMemClassInfo info{};
    uint16_t counts[16] = {};
    EXPECT_TRUE(TvMemClassGet(index, &info, counts, 16));
    if (inUse) inUse->assign(counts, counts + (info.chunks < 16 ? info.chunks : 16));
    return info;
  }
  static TvMemBlockInfo Block(const void* block) {
    TvMemBlockInfo info{};
    EXPECT_TRUE(TvMemBlockGet(block, &info));
    return info;
  }
  static bool AllBytes(const void* block, size_t from, size_t to, uint8_t value) {
    for (size_t i = from; i < to; ++i)
      if (static_cast<const uint8_t*>(block)[i] != value) return false;
    return true;
  }
  template <typename T = uint8_t>
  static T* Resized(void* block, size_t size, uint32_t flags = 0) {
    return static_cast<T*>(TvMemResize(block, flags, size));
  }
};

TEST_F(Memory, SettingsChooseModeStatisticsAndLimit) {
  // Nothing set: plain blocks, no statistics, so the limit has no effect.
  ASSERT_EQ(StartWith("[TvDefault]\nMemLimit=1\n", TvFlagKeepConfig), 0);
  ASSERT_EQ(TvMemInit(kTvKernelOptions), 0);
  EXPECT_FALSE(TvMemPooled());
  EXPECT_FALSE(tvMemStats.enabled);
  EXPECT_EQ(tvMemStats.limit, 1u);
  std::vector<void*> blocks = {TvMemAlloc(TvMemZero, 100)};
  EXPECT_FALSE(Block(blocks[0]).pooled);
  EXPECT_TRUE(AllBytes(blocks[0], 0, 100, 0));
  for (const char* value : {"", "-1", "0xFFFFFFFF"}) {  // none of them limits
    ASSERT_EQ(TvConfigSetString("TvDefault", "MemLimit", value), 0);
    ASSERT_EQ(TvMemInit(kTvKernelOptions), 0);
    EXPECT_EQ(tvMemStats.limit, UINT64_MAX) << value;
  }
  // clang-format off
  const struct { const char* value; bool pooled, stats; } cases[] = {
      {"Pooled", true, true},          {"plain   nostats", false, false},   {"  PLAIN", false, true},
      {"Pooled NoStats", true, false}, {"Plainly NoStats", true, false},    {"Pooled NoStats please", true, true},
      {"Plain Stats", false, true},    {"PlainPlain NoStats", true, false}, {"", true, true},
  };
  // clang-format on
  // Blocks of every mode in turn, all freed at the end under the last one.
  for (const auto& c : cases) {
    ASSERT_EQ(Switch(c.value), 0) << c.value;
    EXPECT_EQ(TvMemPooled(), c.pooled) << c.value;
    EXPECT_EQ(tvMemStats.enabled, c.stats) << c.value;
    for (size_t size : {8u, 600u}) {
      blocks.push_back(TvMemAlloc(0, size));
      ASSERT_NE(blocks.back(), nullptr);
      EXPECT_EQ(Block(blocks.back()).pooled, c.pooled);
      TvStrCopy(static_cast<char*>(blocks.back()), c.value, 8);
    }
  }
  for (size_t i = 1; i < blocks.size(); ++i)
    EXPECT_EQ(strncmp(static_cast<char*>(blocks[i]), cases[(i - 1) / 2].value, 7), 0) << i;
  for (void* block : blocks) TvMemFree(block);
  EXPECT_EQ(Class(0).chunks, 0u);
}

TEST_F(Memory, RefusalsChangeNothing) {
  ASSERT_EQ(Configure("Plain Stats", "MemLimit=123456\n"), 0);
  EXPECT_EQ(tvMemStats.limit, 123456u);
  auto* kept = static_cast<char*>(TvMemAlloc(0, 41));
  TvStrCopy(kept, "kept", 41);
  tvMemStats.limit = tvMemStats.totalBytes;
  const TvMemStatistics before = tvMemStats;
  EXPECT_EQ(TvMemAlloc(0, 1), nullptr);
  EXPECT_EQ(TvMemResize(kept, 0, 100), nullptr);
  EXPECT_STREQ(kept, "kept");
  EXPECT_EQ(tvMemStats.totalBytes, before.totalBytes);
  EXPECT_EQ(tvMemStats.payloadAllocations, before.payloadAllocations);
  // Pooled: no new chunk and no larger block, but a chunk already there
  // still serves its blocks.
  tvMemStats.limit = UINT64_MAX;  // the configuration text grows
  ASSERT_EQ(Switch("Pooled Stats"), 0);
  const uint64_t total = tvMemStats.totalBytes;
  tvMemStats.limit = total;
  EXPECT_EQ(TvMemAlloc(0, 8), nullptr);
  EXPECT_EQ(TvMemAlloc(0, 600), nullptr);
  EXPECT_EQ(tvMemStats.totalBytes, total);
  const uint64_t chunk = (8 + kTvMemBlockHeader) * 500 + kTvMemChunkHeader;
  tvMemStats.limit = total + chunk + 1;
  void* first = TvMemAlloc(0, 8);
  void* second = TvMemAlloc(0, 8);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(tvMemStats.totalBytes, total + chunk);
  EXPECT_EQ(TvMemAlloc(0, 16), nullptr);
  TvMemFree(second);
  TvMemFree(first);
  // Sizes from 2^31 up, or whose headers would not fit, in either mode.
  for (const char* mode : {"Plain Stats", "Pooled Stats"}) {
    tvMemStats.limit = UINT64_MAX;
    ASSERT_EQ(Switch(mode), 0);
    void* block = TvMemAlloc(0, 16);
    const TvMemStatistics counted = tvMemStats;
    for (size_t size : {size_t{1} << 31, size_t{0x7FFFFFFF}, size_t{0x7FFFFFF9}, SIZE_MAX, size_t{0x7FFFFFFF} - 40}) {
      if (size == 0x7FFFFFFF - 40 && !TvMemPooled()) continue;  // a plain block of that size still fits
      EXPECT_EQ(TvMemAlloc(TvMemZero, size), nullptr) << mode << " " << size;
      EXPECT_EQ(TvMemResize(block, 0, size), nullptr) << mode << " " << size;
    }
    EXPECT_EQ(TvSysAlloc(SIZE_MAX, 0), nullptr);
    EXPECT_EQ(tvMemStats.totalBytes, counted.totalBytes);
    TvMemFree(nullptr);
    TvMemFree(block);
  }
  TvMemFree(kept);  // a plain block, freed in pooled mode
}

TEST_F(Memory, BuiltInClassesAndLargerBlocks) {
  ASSERT_EQ(Configure("Pooled Stats"), 0);
  const uint32_t sizes[] = {8, 16, 32, 64, 128, 256, 512};
  const uint16_t counts[] = {500, 250, 125, 62, 31, 15, 7};
  ASSERT_EQ(TvMemClassCount(), 7u);
  for (uint32_t i = 0; i < 7; ++i) {
    EXPECT_EQ(Class(i).blockSize, sizes[i]);
    EXPECT_EQ(Class(i).blocksPerChunk, counts[i]);
  }
  // clang-format off
  const struct { size_t size; int index; } requests[] = {  // index -1: a larger block
      {0, 0}, {1, 0}, {8, 0}, {9, 1}, {257, 6}, {512, 6}, {513, -1}, {100000, -1}};
  // clang-format on
  for (const auto& r : requests) {
    const uint64_t before = tvMemStats.totalBytes;
    void* block = TvMemAlloc(0, r.size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Block(block).classSize, r.index < 0 ? 0 : sizes[r.index]) << r.size;
    const uint64_t cost = r.index < 0 ? ((r.size + 3) & ~size_t{3}) + kTvMemBlockHeader
                                      : (sizes[r.index] + kTvMemBlockHeader) * counts[r.index];
    EXPECT_EQ(tvMemStats.totalBytes - before, cost + kTvMemChunkHeader) << r.size;
    TvMemFree(block);  // the only block of its chunk
    EXPECT_EQ(tvMemStats.totalBytes, before) << r.size;
  }
  for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(Class(i).chunks, 0u);
  // Zeroing covers the whole block, also one taken from the free list.
  void* other = TvMemAlloc(0, 20);
  void* block = TvMemAlloc(0, 20);
  memset(block, 0xAA, 32);
  TvMemFree(block);
  EXPECT_EQ(Block(block).tag, kTvMemTagFree);
  EXPECT_EQ(TvMemAlloc(TvMemZero, 30), block);
  EXPECT_TRUE(AllBytes(block, 0, 32, 0));
  EXPECT_EQ(Block(block).tag, 0);
  TvMemFree(block);
  TvMemFree(other);
}

TEST_F(Memory, ChunksFillUpAndGoBackWhenTheirLastBlockIsFreed) {
  ASSERT_EQ(Configure("Pooled Stats", "MemBlocks=2\n+ 10 , 3\n+64,2\nMemLimit=9999999\n"), 0);
  ASSERT_EQ(TvMemClassCount(), 2u);
  EXPECT_EQ(Class(0).blockSize, 12u);  // rounded up to 4
  EXPECT_EQ(Class(1).blocksPerChunk, 2u);
  const TvMemStatistics base = tvMemStats;
  InUse inUse;
  char* a = static_cast<char*>(TvMemAlloc(0, 4));
  char* b = static_cast<char*>(TvMemAlloc(0, 4));
  char* c = static_cast<char*>(TvMemAlloc(0, 4));
  EXPECT_EQ(b - a, static_cast<ptrdiff_t>(12 + kTvMemBlockHeader));  // never-used blocks in order
  EXPECT_EQ(c - b, b - a);
  void* d = TvMemAlloc(0, 4);
  EXPECT_EQ(Class(0, &inUse).current, 1);
  EXPECT_EQ(inUse, (InUse{3, 1}));
  TvMemFree(b);
  EXPECT_EQ(Class(0, &inUse).current, 0);
  EXPECT_EQ(TvMemAlloc(0, 4), b);
  void* f = TvMemAlloc(0, 4);  // the current chunk is full: the last one with room
  EXPECT_EQ(Block(f).chunk, Block(d).chunk);
  EXPECT_EQ(Class(0, &inUse).blocksInUse, 5u);
  EXPECT_EQ(inUse, (InUse{3, 2}));
  const uint64_t total = tvMemStats.totalBytes;
  TvMemFree(d);
  TvMemFree(f);
  EXPECT_EQ(tvMemStats.totalBytes, total - ((12 + kTvMemBlockHeader) * 3 + kTvMemChunkHeader));
  EXPECT_EQ(Class(0, &inUse).current, -1);
  EXPECT_EQ(inUse, (InUse{3}));
  TvMemAlloc(0, 4);
  EXPECT_EQ(Class(0, &inUse).chunks, 2u);
  EXPECT_EQ(inUse, (InUse{3, 1}));
  // A second free of the same block changes nothing.
  TvMemFree(c);
  TvMemFree(c);
  EXPECT_EQ(Class(0).blocksInUse, 3u);
  EXPECT_EQ(TvMemAlloc(0, 4), c);
  EXPECT_EQ(Class(0).blocksFree, 2u);
  // Shut-down takes every chunk and the table back and says what was left.
  EXPECT_EQ(TvMemReleaseAll(), 4u);
  EXPECT_TRUE(TvMemClassCount() == 0 && !TvMemPooled() && tvMemStats.enabled && tvMemStats.limit == UINT64_MAX);
  EXPECT_EQ(tvMemStats.systemAllocations, base.systemAllocations - 1);
  EXPECT_EQ(tvMemStats.payloadAllocations, base.payloadAllocations);
  EXPECT_EQ(tvMemStats.payloadBytes, base.payloadBytes);
}

// Resizing keeps the contents and zeroes what is added, moving between
// classes, larger blocks and the smallest class; a plain block stays plain.
TEST_F(Memory, ResizeKeepsContentsAndZeroesWhatIsAdded) {
  ASSERT_EQ(Configure("Plain NoStats"), 0);
  auto* plain = Resized(nullptr, 10);
  memset(plain, 0x55, 10);
  plain = Resized(plain, 300, TvMemZero);
  EXPECT_TRUE(AllBytes(plain, 0, 10, 0x55) && AllBytes(plain, 10, 300, 0));
  ASSERT_EQ(Switch("Pooled"), 0);
  auto* block = static_cast<uint8_t*>(TvMemAlloc(0, 20));
  memset(block, 0x33, 32);
  EXPECT_EQ(Resized(block, 30), block);  // the same class
  block = Resized(block, 33, TvMemZero);
  EXPECT_EQ(Block(block).classSize, 64u);
  EXPECT_TRUE(AllBytes(block, 0, 32, 0x33) && AllBytes(block, 32, 64, 0));
  block = Resized(block, 600, TvMemZero);
  memset(block + 590, 0x77, 10);
  block = Resized(block, 5000, TvMemZero);  // stays a larger block
  EXPECT_EQ(Block(block).classSize, 0u);
  EXPECT_EQ(Block(block).capacity, 5000u);
  EXPECT_TRUE(AllBytes(block, 0, 32, 0x33) && AllBytes(block, 32, 590, 0));
  EXPECT_TRUE(AllBytes(block, 590, 600, 0x77) && AllBytes(block, 600, 5000, 0));
  block = Resized(block, 5);  // down to the smallest class
  EXPECT_EQ(Block(block).classSize, 8u);
  EXPECT_TRUE(AllBytes(block, 0, 5, 0x33));
  TvMemFree(block);
  plain = Resized(plain, 20);
  EXPECT_FALSE(Block(plain).pooled);
  EXPECT_TRUE(AllBytes(plain, 0, 10, 0x55));
  TvMemFree(plain);
}

TEST_F(Memory, ConfigurationErrorsLeavePooledModeWithoutClasses) {
  // The order and the detail are those of the sizes as configured, before rounding.
  // clang-format off
  const struct { const char* settings; const char* detail; } cases[] = {
      {"MemBlocks=2\n+8,10\n", "Number of MemBlock ini lines does not match"},
      {"MemBlocks=-3\n", "Number of MemBlock ini lines does not match"},
      {"MemBlocks=1\n+2,10\n", "2 < minimum block size of pointer, 4"},
      {"MemBlocks=1\n+,\n", "0 < minimum block size of pointer, 4"},
      {"MemBlocks=2\n+16,1\n+8,1\n", "8 < previous blocksize, 16. Settings must be in size order"},
      {"MemBlocks=2\n+7,1\n+6,1\n", "6 < previous blocksize, 7. Settings must be in size order"},
      {"MemBlocks=2\n+8,1\n+8,1\n", "8 < previous blocksize, 8. Settings must be in size order"},
      {"MemBlocks=1\n+8,0\n", "cannot set 0 number of blocks"}, {"MemBlocks=1\n+8\n", "cannot set 0 number of blocks"},
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(Configure("Pooled Stats", std::string(c.settings) + "MemLimit=99999\n"), TvErrMemConfig) << c.settings;
    const std::string line = "> Invalid memory configuration (" + std::string(c.detail) + ")";
    EXPECT_STREQ(TvErrorHistoryLine(false, 0), line.c_str());
    EXPECT_EQ(TvMemClassCount(), 0u);
    EXPECT_TRUE(TvMemPooled());
    EXPECT_EQ(tvMemStats.limit, UINT64_MAX);
    const uint64_t total = tvMemStats.totalBytes;
    void* block = TvMemAlloc(TvMemZero, 8);  // a chunk of its own
    EXPECT_EQ(Block(block).classSize, 0u);
    TvMemFree(block);
    EXPECT_EQ(tvMemStats.totalBytes, total);
    while (TvKernelStarted()) TvKernelShutdown(0);
  }
}

TEST_F(Memory, BlocksOutliveModeChangesAndShutDown) {
  ASSERT_EQ(Configure("Plain Stats"), 0);
  auto* early = static_cast<char*>(TvMemAlloc(0, 30));
  auto* late = static_cast<char*>(TvMemAlloc(0, 30));
  TvStrCopy(early, "early", 30);
  TvStrCopy(late, "late", 30);
  ASSERT_EQ(Switch("Pooled Stats"), 0);
  early = Resized<char>(early, 5000);
  EXPECT_FALSE(Block(early).pooled);
  EXPECT_STREQ(early, "early");
  TvMemFree(early);
  // Reading the settings again keeps blocks already handed out.
  char* small = static_cast<char*>(TvMemAlloc(0, 30));
  TvStrCopy(small, "small", 30);
  const uint32_t allocations = tvMemStats.systemAllocations;
  ASSERT_EQ(Switch("Pooled Stats"), 0);
  EXPECT_EQ(Class(2).chunks, 0u);
  EXPECT_STREQ(small, "small");
  TvMemFree(small);
  EXPECT_EQ(tvMemStats.systemAllocations, allocations - 1);  // its chunk went back
  ASSERT_NE(TvMemAlloc(0, 30), nullptr);
  void* large = TvMemAlloc(0, 1000);
  EXPECT_EQ(TvMemReleaseAll(), 1u);
  const uint64_t total = tvMemStats.totalBytes;
  TvMemFree(large);  // a larger block has a chunk of its own: still there
  EXPECT_EQ(tvMemStats.totalBytes, total - (1000 + kTvMemBlockHeader + kTvMemChunkHeader));
  EXPECT_STREQ(late, "late");
  TvMemFree(late);
  void* after = TvMemAlloc(0, 30);
  EXPECT_FALSE(Block(after).pooled);
  TvMemFree(after);
}

// Large system blocks are kept after they are freed and handed out again;
// contents survive every move, and the statistics count what callers hold.
TEST_F(Memory, LargeBlocksAreKeptAndGrowWithoutLosingContents) {
  ASSERT_EQ(Configure("Plain"), 0);
  const TvMemStatistics before = tvMemStats;
  auto* first = static_cast<uint8_t*>(TvSysAlloc(300000, 300000));
  EXPECT_EQ(tvMemStats.totalBytes, before.totalBytes + 300000);
  TvSysFree(first, 300000, 300000);
  EXPECT_EQ(tvMemStats.totalBytes, before.totalBytes);
  EXPECT_EQ(tvMemStats.systemAllocations, before.systemAllocations);
  // Half the kept block's size or less would pin a block too large for it:
  // fresh memory. A request that fits takes the kept block.
  auto* small = static_cast<uint8_t*>(TvSysAlloc(100000, 0));
  EXPECT_NE(small, first);
  auto* again = static_cast<uint8_t*>(TvSysAlloc(200000, 0));
  EXPECT_EQ(again, first);
  TvSysFree(small, 100000, 0);
  // Growing by small steps through every size range, then shrinking.
  size_t size = 200000;
  memset(again, 0x5A, size);
  for (size_t step = 0; step < 400; ++step, size += 1000) {
    again = static_cast<uint8_t*>(TvSysResize(again, size, size + 1000, 0));
    ASSERT_NE(again, nullptr);
    again[size] = static_cast<uint8_t>(step);
    memset(again + size + 1, 0x5A, 999);
  }
  bool intact = AllBytes(again, 0, 200000, 0x5A);
  for (size_t step = 0; step < 400; ++step) intact = intact && again[200000 + step * 1000] == uint8_t(step);
  EXPECT_TRUE(intact);
  auto* shrunk = static_cast<uint8_t*>(TvSysResize(again, size, 10, 0));
  shrunk = static_cast<uint8_t*>(TvSysResize(shrunk, 10, 70000, 0));
  ASSERT_NE(shrunk, nullptr);
  EXPECT_TRUE(AllBytes(shrunk, 0, 10, 0x5A));
  TvSysFree(shrunk, 70000, 0);
  // Plain blocks use the same layer, in every size.
  auto* plain = static_cast<uint8_t*>(TvMemAlloc(0, 16));
  memset(plain, 0x11, 16);
  for (size_t grow : {5000, 70000, 3000000, 100, 200000}) {
    plain = Resized(plain, grow, TvMemZero);
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(AllBytes(plain, 0, 16, 0x11) && (grow <= 100 || AllBytes(plain, 100, grow, 0))) << grow;
  }
  TvMemFree(plain);
  EXPECT_EQ(tvMemStats.totalBytes, before.totalBytes);
  EXPECT_EQ(tvMemStats.payloadAllocations, before.payloadAllocations);
  TvSysReleaseKept();
}

}  // namespace
