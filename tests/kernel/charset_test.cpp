// Character tables and character-set conversion.
#include "tv_charset.h"

#include <gtest/gtest.h>

TEST(Charset, CaseTablesFollowCodePage1252) {
  EXPECT_EQ(tvCharUpper[0xE0], 0xC0);
  EXPECT_EQ(tvCharLower[0xC0], 0xE0);
}
