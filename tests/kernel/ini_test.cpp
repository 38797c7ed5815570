// The ini engine.
#include "kernel_fixture.h"
#include "tv_ini.h"

TEST(Ini, EmptyBufferFindsNothing) {
  TvIniBuffer ini{};
  EXPECT_EQ(TvIniSectionExists(&ini, "A"), 0);
}
