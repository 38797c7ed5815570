// The kernel allocator.
#include "tv_memory.h"

#include <gtest/gtest.h>

TEST(Memory, PlainBlocksKeepTheirContents) {
  void* block = TvMemAlloc(TvMemZero, 10);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(static_cast<char*>(block)[9], 0);
  TvMemFree(block);
}
