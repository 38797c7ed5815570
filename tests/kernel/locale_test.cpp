// Locale files: which locale a setting selects, the collation loaded for
// it, and files that are cut, damaged or hostile.
#include <string>
#include <vector>

#include "kernel_fixture.h"
#include "locale_writer.h"
#include "tv_locale.h"

namespace {

// Three languages, four countries, five locales; each collation carries its
// locale's index in its identifiers and weights.
tvtest::LocaleFilePlan Plan() {
  tvtest::LocaleFilePlan plan{{"enENG", "deDEU", "frFRA"}, {"usUSA", "gbGBR", "deDEU", "chCHE"}, {}};
  const std::pair<uint16_t, uint16_t> pairs[] = {{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 3}};
  const char* names[] = {"en-us", "en-gb", "de-de", "de-ch", "fr-ch"};
  for (uint16_t i = 0; i < 5; ++i) {
    tvtest::CollationPlan c{{static_cast<uint16_t>(0x100 + i), static_cast<uint16_t>(0x200 + i)}, {}, {}, {}};
    for (uint16_t e = 0; e < 6; ++e) c.weights.push_back({static_cast<uint16_t>(e * 10 + i), static_cast<uint16_t>(e)});
    for (int ch = 0; ch < 256; ++ch) c.charEntry.push_back(static_cast<uint16_t>(ch % 6));
    c.multi = {{"ch", 3}, {"sch", 5}};
    plan.locales.push_back({pairs[i].first, pairs[i].second, names[i], c});
  }
  return plan;
}

class Locale : public tvtest::KernelTest {
 protected:
  TvStatus Start(const std::string& settings) {
    return StartWith("[TvDefault]\nProgDir=" + dir.path() + "\n" + settings);
  }
  void WriteLocaleFile(const std::string& bytes) { tvtest::WriteFile(dir / "tvlcl.dat", bytes); }
  // Finds and loads a locale afresh: the status of the first step that fails.
  static TvStatus FindAndLoad(const char* name) {
    TvLocaleRelease();
    const TvLocaleRecord* record = nullptr;
    TvStatus status = TvLocaleFind(&record, name);
    TvCollation* table = nullptr;
    if (status == TvOk && record) status = TvLocaleLoad(&table, *record);
    TvCollationFree(table);
    return status;
  }
};

TEST_F(Locale, SettingsSelectTheLocaleAndItsCollationIsLoaded) {
  // Without settings, or with "C", no file is needed.
  for (const char* settings : {"", "Locale=fr\nLocaleCollation=C\n"}) {
    ASSERT_EQ(Start(settings), TvOk) << settings;
    ASSERT_NE(TvLocaleCollation(), nullptr);
    EXPECT_EQ(TvLocaleCollation()->weights, nullptr);
    TvKernelShutdown(0);
  }
  EXPECT_EQ(Start("Locale=en\n"), TvErrLocaleFile);
  TvKernelShutdown(0);
  std::vector<size_t> cuts;
  WriteLocaleFile(tvtest::LocaleFileBytes(Plan(), &cuts));
  // The locale's index in the plan, -1 for none; a language alone gives its
  // first locale, and aliases work.
  // clang-format off
  const struct { const char* settings; int locale; } cases[] = {
      {"LocaleCollation=en\n", 0}, {"Locale=044\n", 1}, {"LocaleCollation=049\n", 2},
      {"Locale=C\nLocaleCollation=eng_GBR\n", 1}, {"LocaleCollation=DE-ch\n", 3}, {"LocaleCollation=fra-che\n", 4},
      {"LocaleCollation=de-\n", -1}, {"LocaleCollation=xx\n", -1}, {"LocaleCollation=en-usa-x\n", -1},
  };
  // clang-format on
  for (const auto& c : cases) {
    ASSERT_EQ(Start(c.settings), TvOk) << c.settings;
    const TvCollation* t = TvLocaleCollation();
    ASSERT_NE(t, nullptr);
    if (c.locale < 0) {
      EXPECT_EQ(t->weights, nullptr) << c.settings;
    } else {
      EXPECT_EQ(t->ids[0], 0x100 + c.locale) << c.settings;
      EXPECT_EQ(t->ids[1], 0x200 + c.locale) << c.settings;
      ASSERT_EQ(t->weightsPerEntry, 2);
      EXPECT_EQ(t->chars['a'].weights[0], ('a' % 6) * 10 + c.locale) << c.settings;
      EXPECT_EQ(t->chars[255].weights[1], 255 % 6);
      EXPECT_EQ(t->chars['z'].values[1], 255 - 'z');
      ASSERT_EQ(t->multiCount, 2);
      EXPECT_STREQ(t->multi[1].text, "sch");
      EXPECT_EQ(t->multi[1].length, 3);
      EXPECT_EQ(t->multi[1].weights[0], 50 + c.locale);
      EXPECT_EQ(t->multi[2].length, 0);  // the record that ends the list
    }
    TvKernelShutdown(0);
  }
}

TEST_F(Locale, DamagedAndHostileFilesGiveAClearStatus) {
  ASSERT_EQ(Start(""), TvOk);
  std::vector<size_t> cuts;
  const std::string good = tvtest::LocaleFileBytes(Plan(), &cuts);
  std::string bad = good;
  bad[0] = 'l';
  WriteLocaleFile(bad);
  EXPECT_EQ(FindAndLoad("en"), TvErrLocaleInvalid);
  const TvLocaleRecord* record = nullptr;
  EXPECT_EQ(TvLocaleFind(&record, "en"), TvErrLocaleInvalid);  // nothing was kept
  EXPECT_EQ(record, nullptr);
  ASSERT_GE(cuts.size(), 8u);
  for (size_t cut : cuts) {
    WriteLocaleFile(good.substr(0, cut));
    TvStatus status = TvOk;
    for (const char* name : {"en-us", "en-gb", "de-de", "de-ch", "fr-ch"})
      if (status == TvOk) status = FindAndLoad(name);
    EXPECT_EQ(status, TvErrFileRead) << "cut at " << cut;
  }
  // Counts and offsets that claim more than the file holds are refused
  // before anything is read or allocated for them.
  LimitMemory(64 * 1024);
  const size_t locale = 24 + 3 * 28 + 4 * 5;  // the first locale record, and its collation:
  const size_t first = static_cast<uint8_t>(good[locale + 4]) | static_cast<uint8_t>(good[locale + 5]) << 8;
  // Counts of languages and locales; language and country indexes past
  // their tables; the collation's offset past the end and near 4 GB;
  // weights per entry, entries, multi-character records; a weight entry
  // past the weights.
  // clang-format off
  const struct { size_t at; uint16_t value; TvStatus status; } damages[] = {
      {14, 65535, TvErrFileRead}, {18, 65535, TvErrFileRead},
      {locale, 3, TvErrLocaleInvalid}, {locale + 2, 9, TvErrLocaleInvalid},
      {locale + 6, 0x7FFF, TvErrFileRead}, {locale + 6, 0xFFFF, TvErrFileRead},
      {first + 10, 65535, TvErrFileRead}, {first + 12, 65535, TvErrFileRead}, {first + 18, 65535, TvErrFileRead},
      {first + 20 + 24 + 4, 6, TvErrLocaleInvalid},
  };
  // clang-format on
  for (const auto& d : damages) {
    std::string hostile = good;
    hostile.replace(d.at, 2, {char(d.value), char(d.value >> 8)});
    WriteLocaleFile(hostile);
    EXPECT_EQ(FindAndLoad("en-us"), d.status) << "at " << d.at;
  }
  Unlimited();
  WriteLocaleFile(good);
  EXPECT_EQ(FindAndLoad("en-us"), TvOk);
}

}  // namespace
