// Ini trailers of data files and header regions.
#include "tv_trailer.h"

#include <gtest/gtest.h>

TEST(Trailer, Crc32OfTheCheckString) {
  EXPECT_EQ(~TvCrc32(0xFFFFFFFFu, "123456789", 9), 0xCBF43926u);
}
