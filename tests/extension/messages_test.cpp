// The installer texts: the language a text comes in, the defined-but-empty
// entries, numbers outside the group, and cut copies.
#include "messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tv_context.h"

namespace {

class Messages : public ::testing::Test {
 protected:
  ~Messages() override { tvContext.language = 0; }
  // The layout description as the data mapping update fetches it: in the
  // current language, into a 1024-byte buffer.
  static const char* Description(uint16_t current, char* buffer, size_t capacity = 1024) {
    tvContext.language = current;
    return TvIsiFetchText(TvIsiSelectTexts(kTvIsiLayoutTexts, current), kTvIsiLayoutDescription, buffer, capacity);
  }
};

TEST_F(Messages, EachLanguageGetsItsTextOrFallsBackToEnglish) {
  const struct {
    uint16_t language;
    const char* name;
    const char* description;
  } cases[] = {
      {44, "%s_Default", "Default layout for %s"},
      {1, "%s_Default", "Default layout for %s"},
      {33,
       "D\xE9"
       "faut_%s",
       "Format d'adresse d\xE9"
       "faut pour %s"},
      {49, "", ""},  // defined, empty: no English in its place
      {31, "", ""},
      {34, "%s_Default", "Default layout for %s"},  // not among the five
  };
  for (const auto& c : cases) {
    char buffer[1024] = "old";
    EXPECT_EQ(Description(c.language, buffer), buffer) << c.language;
    EXPECT_STREQ(buffer, c.description) << c.language;
    EXPECT_STREQ(TvIsiFetchText(TvIsiSelectTexts(kTvIsiLayoutTexts, c.language), kTvIsiLayoutName, buffer, 1024),
                 c.name)
        << c.language;
  }
}

TEST_F(Messages, TheLanguageAskedComesBeforeTheCurrentOne) {
  tvContext.language = 44;
  EXPECT_EQ(TvIsiSelectTexts(kTvIsiLayoutTexts, 33), kTvIsiLayoutTexts[2].text);
  tvContext.language = 33;  // an unknown language asked: the current one
  EXPECT_EQ(TvIsiSelectTexts(kTvIsiLayoutTexts, 7), kTvIsiLayoutTexts[2].text);
  tvContext.language = 0;  // before start-up: English
  EXPECT_EQ(TvIsiSelectTexts(kTvIsiLayoutTexts, 7), kTvIsiLayoutTexts[1].text);
  const TvIsiLanguageText noEnglish[] = {
      {31, kTvIsiLayoutTexts[3].text}, {33, kTvIsiLayoutTexts[2].text}, {0, nullptr}};
  EXPECT_EQ(TvIsiSelectTexts(noEnglish, 7), noEnglish[0].text);  // nor English: the first
}

TEST_F(Messages, NumbersOutsideTheGroupGiveNothingInEveryLanguage) {
  for (const TvIsiLanguageText* e = kTvIsiLayoutTexts; e->language; ++e)
    for (int16_t number : {int16_t{2099}, int16_t{2102}, int16_t{0}, int16_t{-2101}}) {
      char buffer[16] = "old";
      EXPECT_EQ(TvIsiFetchText(e->text, number, buffer, sizeof buffer), nullptr) << e->language << " " << number;
      EXPECT_STREQ(buffer, "");
    }
}

TEST_F(Messages, CopiesAreCutAtCapacityLessOne) {
  char buffer[12];
  memset(buffer, 'Z', sizeof buffer);
  EXPECT_EQ(Description(44, buffer, 8), buffer);
  EXPECT_STREQ(buffer, "Default");
  EXPECT_EQ(buffer[8], 'Z');
  memset(buffer, 'Z', sizeof buffer);
  EXPECT_EQ(Description(44, buffer, 1), buffer);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(buffer[1], 'Z');
}

}  // namespace
