// String routines: copies, comparisons, parsing, tokens, message tables.
#include "tv_string.h"

#include <gtest/gtest.h>

TEST(Strings, BoundedCopy) {
  char out[4];
  EXPECT_EQ(TvStrCopy(out, "abcdef", sizeof out), 3u);
  EXPECT_STREQ(out, "abc");
}
