// The ini engine: lookups, edits, enumeration, saving; the invariants after
// every operation; random edit runs; hostile texts and arguments.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "file_faults.h"

namespace {

using tvtest::FileFaults;

// The block holds the text, then line feed, "[" and NUL, and nothing more.
// Right after loading it is the file's size plus 3 (carriage returns that
// were dropped leave room); after every edit exactly the length plus 3.
::testing::AssertionResult Invariants(const TvIniBuffer& b, bool loaded = false) {
  if (!b.text) return ::testing::AssertionFailure() << "no text";
  if (loaded ? b.capacity < b.length + 3 : b.capacity != b.length + 3)
    return ::testing::AssertionFailure() << "capacity " << b.capacity << " for " << b.length;
  if (b.text[b.length] != '\n' || b.text[b.length + 1] != '[' || b.text[b.length + 2] != '\0')
    return ::testing::AssertionFailure() << "end mark missing";
  return ::testing::AssertionSuccess();
}

class Ini : public tvtest::KernelTest {
 protected:
  TvIniBuffer ini{};
  void SetUp() override { ASSERT_EQ(StartLogging(), 0); }
  ~Ini() override { TvIniFree(&ini); }
  void Load(const std::string& text) {
    std::string path = dir / "t.ini";
    tvtest::WriteFile(path, text);
    ASSERT_EQ(TvIniLoadFile(&ini, path.c_str()), 0);
    ASSERT_TRUE(Invariants(ini, true));
    EXPECT_EQ(ini.capacity, text.size() + 3);
  }
  std::string Text() const { return std::string(ini.text, ini.length); }
  std::string Get(const char* section, const char* key) {
    char out[512];
    return TvIniGetString(&ini, section, key, "<none>", out, sizeof out) ? out : "<none>";
  }
  std::string Lines() {
    std::string all;
    char line[256];
    while (TvIniNextLine(&ini, line, sizeof line)) all += std::string("|") + line;
    return all;
  }
};

TEST_F(Ini, LookupRules) {
  Load(
      "loose=before any header\n[S]\nkey = value\nk2=  value  \nk3=tab\t\nx=[not a header\n a=b\n"
      "dup=first\ndup=second\n[s]\nk2=second section\n[T]\nin[line=1\n");
  EXPECT_EQ(Get("S", "loose"), "<none>");
  EXPECT_EQ(Get(nullptr, "loose"), "<none>");
  EXPECT_EQ(Get("S", "key"), "<none>");
  EXPECT_EQ(Get("S", "key "), " value");
  EXPECT_EQ(Get("S", "k2"), "  value");
  EXPECT_EQ(Get("S", "k3"), "tab\t");
  EXPECT_EQ(Get("S", "x"), "[not a header");
  EXPECT_EQ(Get("S", " a"), "b");
  EXPECT_EQ(Get("S", "dup"), "first");
  EXPECT_EQ(Get("s", "k2"), "  value");  // the first of [S] and [s]
  EXPECT_EQ(Get("T", "in[line"), "1");
  char small[4];
  EXPECT_EQ(TvIniGetString(&ini, "S", "k2", "", small, sizeof small), 1);
  EXPECT_STREQ(small, "  v");
  // Headers may be patterns.
  Load("[Data*]\nk=data\n[*a]\nk=star-a\n[D?t]\nk=dot\n[Exact]\nk=exact\n");
  EXPECT_EQ(Get("DataX", "k"), "data");
  EXPECT_EQ(Get("aba", "k"), "<none>");
  EXPECT_EQ(Get("ba", "k"), "star-a");
  EXPECT_EQ(Get("DAT", "k"), "dot");
  EXPECT_EQ(Get("Ex*", "k"), "<none>");  // wildcards in the name asked are plain characters
  Load("[Data]\nk=1\n");
  EXPECT_EQ(Get("D*", "k"), "<none>");
}

TEST_F(Ini, GettersForNumbersAndSwitches) {
  Load("[S]\nn=0x1F\nneg=-12abc\nbig64=123456789012\nblank64= 5\nb1=Off\nb2=Maybe\nb3=y\nb4=\n");
  EXPECT_EQ(TvIniGetInt(&ini, "S", "n", 0), 31);
  EXPECT_EQ(TvIniGetInt(&ini, "S", "neg", 0), -12);
  EXPECT_EQ(TvIniGetInt64(&ini, "S", "big64", 0), 123456789012LL);
  EXPECT_EQ(TvIniGetInt64(&ini, "S", "blank64", 7), 0);  // no leading blanks for 64-bit values
  EXPECT_EQ(TvIniGetInt64(&ini, "S", "none", -9), -9);
  EXPECT_EQ(TvIniGetBool(&ini, "S", "b2", 1), 0);
  EXPECT_EQ(TvIniGetBoolChecked(&ini, "S", "b1", 1), 0);
  EXPECT_EQ(TvIniGetBoolChecked(&ini, "S", "b3", 0), 1);
  EXPECT_EQ(TvIniGetBoolChecked(&ini, "S", "b2", 1), 1);
  EXPECT_EQ(TvIniGetBoolChecked(&ini, "S", "b4", 0), 0);
  TvKernelShutdown(0);
  EXPECT_EQ(tvtest::ReadFile(log),
            "Warning: boolean value expected. The value assigned to b2 in tvwserv.ini is not recognised\r\n"
            "Warning: boolean value expected. The value assigned to b4 in tvwserv.ini is not recognised\r\n");
}

TEST_F(Ini, PrefixFlagsAndTvDefault) {
  Load("[S]\nNewKey=prefixed\nOther=bare\n[TvDefault]\nShared=shared\nNewShared=pshared\n");
  EXPECT_EQ(Get("S", "Shared"), "shared");
  EXPECT_EQ(Get("Missing", "Shared"), "shared");
  TvIniSetPrefix(&ini, "New");
  EXPECT_EQ(Get("S", "Key"), "prefixed");
  EXPECT_EQ(Get("S", "Shared"), "pshared");
  EXPECT_EQ(Get("S", "Other"), "<none>");
  TvIniSetFlags(&ini, TvIniBareKey);
  EXPECT_EQ(Get("S", "Other"), "bare");
  EXPECT_EQ(TvIniSetFlags(&ini, TvIniNoDefault), TvIniBareKey);
  TvIniSetPrefix(&ini, nullptr);
  EXPECT_EQ(Get("S", "Shared"), "<none>");
  TvIniSetFlags(&ini, 0);
  EXPECT_EQ(Get("TvDefault", "Shared"), "shared");
}

TEST_F(Ini, ReplacingAndDeletingListValues) {
  Load("[S]\nlist=a\n+b\n+c\nafter=1\n");
  ASSERT_EQ(TvIniSetString(&ini, "S", "list", "x"), 0);
  EXPECT_EQ(Text(), "[S]\nlist=x\nafter=1\n");
  EXPECT_TRUE(Invariants(ini));
  ASSERT_EQ(TvIniAddLine(&ini, "y"), 0);
  ASSERT_EQ(TvIniAddLine(&ini, "z"), 0);
  EXPECT_EQ(Text(), "[S]\nlist=x\n+y\n+z\nafter=1\n");
  EXPECT_EQ(Get("S", "list"), "x");
  EXPECT_EQ(Lines(), "|y|z");
  // After reading the list the cursor is at the start of the next line: a
  // new line goes after the lines read, never joined to the next one.
  ASSERT_EQ(TvIniAddLine(&ini, "w"), 0);
  EXPECT_EQ(Text(), "[S]\nlist=x\n+y\n+z\n+w\nafter=1\n");
  ASSERT_EQ(TvIniSetString(&ini, "S", "list", "x"), 0);
  ASSERT_EQ(TvIniSetString(&ini, "S", "list", nullptr), 0);
  EXPECT_EQ(Text(), "[S]\nafter=1\n");
  EXPECT_EQ(TvIniAddLine(&ini, "orphan"), -1001);  // no value written
  EXPECT_EQ(TvIniSetString(&ini, "S", "absent", nullptr), 0);
  EXPECT_EQ(TvIniAddLine(&ini, "orphan"), -1001);
  EXPECT_EQ(Text(), "[S]\nafter=1\n");
  EXPECT_TRUE(Invariants(ini));
}

// A rename where the key stands gives the text of a set of the new key to
// the old one's lines and a delete of the old key, or declines and changes
// nothing.
TEST_F(Ini, RenamingTheLastKeyWhereItStandsEqualsSetAndDelete) {
  const struct {
    const char* text;
    bool inPlace;
  } cases[] = {
      {"[S]\nName=a\nCountryBase=X\n", true},
      {"[S]\ncountrybase=X\n+Y\n+\n+Z\n\n\n[T]\nCountryBase=W\n", true},
      {"[S]\nCountryBase=\n", true},
      {"[S]\nCountryBase=tab\there\n[T]\n", true},
      {"[S]\nCountryBase=X\nKeep=1\n", false},  // not the last key: it moves
      {"[S]\nCountryBase=X \n", false},         // a read drops the blank
      {"[S]\nCountryBase=X\n+Y \n", false},
      {"[S]\nCountryBase=X\n+Y\fZ\x1a\n", true},       // a file may hold them: a set takes them
      {"[S]\nCountryBase=X\n+Y\x01Z\n", false},        // a set refuses it
      {"[S]\nCountryBase=X\nDataMapping=Y\n", false},  // the new key is there
      {"[S]\nDataMapping=Y\nCountryBase=X\n", false},
      {"[S]\nName=a\n[TvDefault]\nCountryBase=X\n", false},  // lent, not the section's own
      {"[S]\nCountryBase=X", false},                         // no line end
      {"[S]\nCountryBase=X\nCountryBase=Y\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TvIniBuffer quick{}, general{};
    ASSERT_EQ(TvIniLoadText(&quick, c.text, static_cast<uint32_t>(strlen(c.text))), 0);
    ASSERT_EQ(TvIniLoadText(&general, c.text, static_cast<uint32_t>(strlen(c.text))), 0);
    const std::string before(quick.text, quick.length);
    ASSERT_EQ(TvIniRenameLastKey(&quick, "S", "CountryBase", "DataMapping"), c.inPlace ? 1 : 0);
    if (c.inPlace) {
      std::vector<std::string> lines;
      const char* line;
      size_t length;
      ASSERT_TRUE(TvIniGetValueSpan(&general, "S", "CountryBase", &line, &length));
      do lines.emplace_back(line, length);
      while (TvIniNextLineSpan(&general, &line, &length));
      std::vector<const char*> pointers;
      for (const auto& l : lines) pointers.push_back(l.c_str());
      ASSERT_EQ(TvIniSetLines(&general, "S", "DataMapping", pointers.data(), static_cast<uint32_t>(pointers.size())),
                0);
      ASSERT_EQ(TvIniSetString(&general, "S", "CountryBase", nullptr), 0);
      EXPECT_EQ(std::string(quick.text, quick.length), std::string(general.text, general.length));
      EXPECT_TRUE(Invariants(quick));
      char value[64];
      EXPECT_TRUE(TvIniGetString(&quick, "S", "DataMapping", "", value, sizeof value));
    } else {
      EXPECT_EQ(std::string(quick.text, quick.length), before);
    }
    TvIniFree(&quick);
    TvIniFree(&general);
  }
  TvIniBuffer prefixed{};
  ASSERT_EQ(TvIniLoadText(&prefixed, "[S]\nCountryBase=X\n", 18), 0);
  TvIniSetPrefix(&prefixed, "New");
  EXPECT_EQ(TvIniRenameLastKey(&prefixed, "S", "CountryBase", "DataMapping"), 0);
  EXPECT_EQ(TvIniRenameLastKey(nullptr, "S", "CountryBase", "DataMapping"), 0);
  TvIniFree(&prefixed);
}

// The cut of a deleted last key ends at the text's end, never on the line
// end before it.
TEST_F(Ini, DeletingTheLastKeyKeepsTheLineEndBeforeIt) {
  Load("[S]\na=1\nb=2");
  ASSERT_EQ(TvIniSetString(&ini, "S", "b", nullptr), 0);
  EXPECT_EQ(Text(), "[S]\na=1\n");
  EXPECT_TRUE(Invariants(ini));
  const std::string saved = dir / "cut.ini";
  ASSERT_EQ(TvIniSaveFile(&ini, saved.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(saved), "[S]\r\na=1\r\n");
}

TEST_F(Ini, AddingKeysAndSections) {
  Load("[A]\na=1\n\n\n[B]\nb=2");
  ASSERT_EQ(TvIniSetString(&ini, "A", "new", "v"), 0);
  EXPECT_EQ(Text(), "[A]\na=1\nnew=v\n\n\n[B]\nb=2");
  // The last section has no final line feed; the text keeps none.
  ASSERT_EQ(TvIniSetString(&ini, "B", "c", "3"), 0);
  EXPECT_EQ(Text(), "[A]\na=1\nnew=v\n\n\n[B]\nb=2\nc=3");
  ASSERT_EQ(TvIniAddLine(&ini, "more"), 0);
  EXPECT_EQ(Text(), "[A]\na=1\nnew=v\n\n\n[B]\nb=2\nc=3\n+more");
  ASSERT_EQ(TvIniSetString(&ini, "C", "k", "v"), 0);
  EXPECT_EQ(Text(), "[A]\na=1\nnew=v\n\n\n[B]\nb=2\nc=3\n+more\n[C]\nk=v\n\n");
  ASSERT_EQ(TvIniAddLine(&ini, "l"), 0);
  EXPECT_EQ(Text(), "[A]\na=1\nnew=v\n\n\n[B]\nb=2\nc=3\n+more\n[C]\nk=v\n+l\n\n");
  EXPECT_TRUE(Invariants(ini));
  EXPECT_EQ(TvIniSetInt(&ini, "C", "i", -5), 0);
  EXPECT_EQ(TvIniSetInt64(&ini, "C", "j", 123456789012LL), 0);
  EXPECT_EQ(TvIniSetBool(&ini, "C", "y", 1), 0);
  EXPECT_EQ(TvIniSetBool(&ini, "C", "n", 0), 0);
  EXPECT_EQ(Get("C", "i"), "-5");
  EXPECT_EQ(Get("C", "j"), "123456789012");
  EXPECT_EQ(Get("C", "y"), "Yes");
  EXPECT_EQ(Get("C", "n"), "No");
  // A text without sections gets one.
  Load("");
  ASSERT_EQ(TvIniSetString(&ini, nullptr, "k", "v"), 0);
  EXPECT_EQ(Text(), "[TvDefault]\nk=v\n\n");
  Load("; comment only");
  ASSERT_EQ(TvIniSetString(&ini, "Named", "k", "v"), 0);
  EXPECT_EQ(Text(), "; comment only\n[Named]\nk=v\n\n");
  Load("[First]\nx=1\n[Second]\n");
  ASSERT_EQ(TvIniSetString(&ini, nullptr, "k", "v"), 0);  // no section: the first one
  EXPECT_EQ(Text(), "[First]\nx=1\nk=v\n[Second]\n");
}

TEST_F(Ini, SectionOperations) {
  Load("[A]\na=1\n\n[B]\nb=2\n[C]\nc=3");
  char* body = TvIniGetSectionText(&ini, "A");
  ASSERT_NE(body, nullptr);
  EXPECT_STREQ(body, "a=1\n\n");
  TvMemFree(body);
  body = TvIniGetSectionText(&ini, "C");
  EXPECT_STREQ(body, "c=3");
  TvMemFree(body);
  EXPECT_EQ(TvIniGetSectionText(&ini, "Z"), nullptr);
  EXPECT_EQ(TvIniDeleteSection(&ini, "B"), 1);
  EXPECT_EQ(Text(), "[A]\na=1\n\n[C]\nc=3");
  EXPECT_EQ(TvIniDeleteSection(&ini, "C"), 1);
  EXPECT_EQ(Text(), "[A]\na=1\n\n");
  EXPECT_EQ(TvIniDeleteSection(&ini, "C"), 0);
  EXPECT_EQ(TvIniAddSection(&ini, "D", "d=4\r\n+x\r\n"), 0);
  EXPECT_EQ(TvIniAddSection(&ini, "E", nullptr), 0);
  EXPECT_EQ(Text(), "[A]\na=1\n\n[D]\nd=4\n+x\n");
  EXPECT_EQ(Get("D", "d"), "4");
  EXPECT_TRUE(Invariants(ini));
  char name[8];
  EXPECT_EQ(TvIniSectionExists(&ini, "d"), 1);
  TvIniCurrentSection(&ini, name, sizeof name);
  EXPECT_STREQ(name, "D");
}

TEST_F(Ini, SavedAndLoadedAgainKeepsEveryByte) {
  std::string text = "; head\r\n[S]\r\nk=v  \r\n+cont\r\nbin=\x01\xff\xe9\r\nlast=no line end";
  Load(text);
  ASSERT_EQ(TvIniSetString(&ini, "S", "added", "x"), 0);
  std::string saved = dir / "saved.ini";
  ASSERT_EQ(TvIniSaveFile(&ini, saved.c_str()), 0);
  std::string expected = "; head\r\n[S]\r\nk=v  \r\n+cont\r\nbin=\x01\xff\xe9\r\nlast=no line end\r\nadded=x";
  EXPECT_EQ(tvtest::Hex(tvtest::ReadFile(saved)), tvtest::Hex(expected));
  TvIniBuffer again{};
  ASSERT_EQ(TvIniLoadFile(&again, saved.c_str()), 0);
  EXPECT_EQ(std::string(again.text, again.length), Text());
  TvIniFree(&again);
  char* copy = TvIniGetText(&ini);
  EXPECT_EQ(std::string(copy), Text());
  TvMemFree(copy);
}

TEST_F(Ini, WriteHandleWritesAtThePositionWithoutTruncating) {
  Load("[S]\nk=v\n");
  std::string path = dir / "w.ini";
  tvtest::WriteFile(path, "0123456789ABCDEFGHIJ");
  TvFileHandle h;
  ASSERT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileReadWrite, &h), 0);
  ASSERT_EQ(TvFileSeek(h, 2), 0);
  ASSERT_EQ(TvIniWriteHandle(&ini, h), 0);
  TvFileClose(h);
  EXPECT_EQ(tvtest::ReadFile(path), "01[S]\r\nk=v\r\nCDEFGHIJ");
}

TEST_F(Ini, FailedGrowthLeavesTheTextAlone) {
  Load("[S]\nk=v\n");
  const std::string before = Text();
  char* const block = ini.text;
  tvMemStats.enabled = true;
  tvMemStats.totalBytes = 1000;
  tvMemStats.limit = 1000;  // every growth now reaches the limit
  EXPECT_EQ(TvIniSetString(&ini, "S", "k", "a much longer value"), -1001);
  EXPECT_EQ(TvIniSetString(&ini, "S", "new", "v"), -1001);
  EXPECT_EQ(TvIniSetString(&ini, "T", "new", "v"), -1001);
  EXPECT_EQ(TvIniAddSection(&ini, "U", "x=1\n"), -1001);
  EXPECT_EQ(Text(), before);
  EXPECT_EQ(ini.text, block);
  EXPECT_TRUE(Invariants(ini));
  // Shrinking needs nothing more.
  EXPECT_EQ(TvIniSetString(&ini, "S", "k", nullptr), 0);
  EXPECT_EQ(Text(), "[S]\n");
  TvIniBuffer clone{};
  EXPECT_EQ(TvIniClone(&clone, &ini), -1001);
  EXPECT_EQ(clone.text, nullptr);
}

TEST_F(Ini, WalkingSectionsWhileEditingEach) {
  Load("[A]\na=1\n[B]\n[C]\nc=3\n[]\n[D]\nd=4");
  std::vector<std::string> seen;
  char name[32];
  for (int more = TvIniNextSection(&ini, 1, name, sizeof name); more;
       more = TvIniNextSection(&ini, 0, name, sizeof name)) {
    seen.push_back(name);
    ASSERT_EQ(TvIniSetString(&ini, name, "visited", "yes"), 0);
    if (seen.size() == 2) {
      ASSERT_EQ(TvIniDeleteSection(&ini, "A"), 1);  // an earlier section goes
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"A", "B", "C", "", "D"}));
  EXPECT_EQ(Get("D", "visited"), "yes");
  EXPECT_EQ(Get("B", "visited"), "yes");
  EXPECT_EQ(TvIniNextSection(&ini, 0, name, sizeof name), 0);
  EXPECT_STREQ(name, "");
  // Keys are walked in the current section, skipping what is no key line.
  Load("[S]\nalpha=1\n;comment=x\n+cont=y\n_x=z\n\n\n\xe9t\xe9=2\n9=n\n[T]\nt=1\n");
  char key[16];
  EXPECT_EQ(TvIniNextKey(&ini, 1, key, sizeof key), 0);  // no current section yet
  ASSERT_EQ(TvIniSectionExists(&ini, "S"), 1);
  std::vector<std::string> keys;
  for (int more = TvIniNextKey(&ini, 1, key, sizeof key); more; more = TvIniNextKey(&ini, 0, key, sizeof key))
    keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"alpha", "\xe9t\xe9", "9"}));
  EXPECT_EQ(Get("S", "_x"), "z");  // skipped by the walk, found by a lookup
}

TEST_F(Ini, CloneSaveAndRestore) {
  Load("[S]\nk=v\n");
  TvIniSetPrefix(&ini, "p");
  TvIniBuffer clone{};
  ASSERT_EQ(TvIniClone(&clone, &ini), 0);
  EXPECT_NE(clone.text, ini.text);
  EXPECT_EQ(clone.useCount, 1);
  EXPECT_EQ(clone.section, kTvIniNone);
  ASSERT_EQ(TvIniSetString(&clone, "S", "k", "changed"), 0);
  TvIniSetPrefix(&ini, nullptr);
  EXPECT_EQ(Get("S", "k"), "v");
  TvIniFree(&clone);

  TvIniBuffer saved{};
  TvIniSaveState(&saved, &ini, 1);
  EXPECT_EQ(ini.text, nullptr);
  EXPECT_EQ(Get("S", "k"), "<none>");
  TvIniRestoreState(&saved, &ini);
  EXPECT_EQ(Get("S", "k"), "v");
}

TEST_F(Ini, ExpandingReferences) {
  Load("[S]\nname=World\nlong=0123456789\n");
  char out[64];
  TvIniExpand(&ini, "S", "Hello #name#! ## #missing#|#unclosed", out, sizeof out);
  EXPECT_STREQ(out, "Hello World! # |unclosed");
  TvIniExpand(&ini, "S", ("a#" + std::string(40, 'n') + "#b").c_str(), out, sizeof out);
  EXPECT_STREQ(out, "ab");
  char small[8];
  TvIniExpand(&ini, "S", "x#long#y", small, sizeof small);
  EXPECT_STREQ(small, "x012345");
}

TEST_F(Ini, ListGetter) {
  Load("[S]\ncsv= a , b,,c\n+ " + std::string(250, 'x') + ",d\nws=  one two\t three\n+four\n");
  TvList* list = TvListCreate(TvListUnsorted, nullptr, -1, 0);
  ASSERT_NE(list, nullptr);
  auto items = [&](const char* key, char separator) {
    TvListClear(list);
    EXPECT_EQ(TvIniGetList(&ini, "S", key, list, separator), 0) << key;
    std::vector<std::string> out;
    for (uint32_t i = 0; i < list->count; ++i) out.push_back(static_cast<const char*>(list->items[i]));
    return out;
  };
  // The continuation line is read up to 199 characters, so "d" is cut off.
  EXPECT_EQ(items("csv", ','), (std::vector<std::string>{"a", "b", "", "c", std::string(198, 'x')}));
  EXPECT_EQ(items("ws", ' '), (std::vector<std::string>{"one", "two", "three", "four"}));
  EXPECT_EQ(items("none", ','), std::vector<std::string>{});
  TvListFree(list);
}

TEST_F(Ini, TrailerTextIsInvertedAndChecked) {
  const std::string plain = "[Data]\r\nDate=2003-09-12\r\n";
  std::string inverted;
  for (char c : plain) inverted += static_cast<char>(~c);
  std::string path = dir / "data.bin";
  tvtest::WriteFile(path, "head" + inverted);
  std::string checked = plain + std::string("\n[\0", 3);
  const uint32_t crc = TvCrc32(0xFFFFFFFFu, checked.data(), checked.size());
  TvFileHandle h;
  ASSERT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, 0, &h), 0);
  ASSERT_EQ(TvFileSeek(h, 4), 0);
  ASSERT_EQ(TvIniLoadTrailerText(&ini, h, static_cast<uint32_t>(plain.size()), crc), 0);
  EXPECT_EQ(Text(), plain);  // carriage returns kept
  EXPECT_TRUE(Invariants(ini));
  EXPECT_EQ(Get("Data", "Date"), "2003-09-12");
  ASSERT_EQ(TvFileSeek(h, 4), 0);
  EXPECT_EQ(TvIniLoadTrailerText(&ini, h, static_cast<uint32_t>(plain.size()), crc ^ 1), -1012);
  EXPECT_EQ(Get("Data", "Date"), "2003-09-12");  // the previous text stays
  ASSERT_EQ(TvFileSeek(h, 4), 0);
  EXPECT_EQ(TvIniLoadTrailerText(&ini, h, 1000, crc), -1012);  // beyond the end of the file
  TvFileClose(h);
}

TEST_F(Ini, ConfigurationForms) {
  TvKernelShutdown(0);
  ASSERT_EQ(StartWith("[TESTMOD]\nk=v\n", TvFlagKeepConfig), 0);
  char out[16];
  EXPECT_EQ(TvConfigGetString("TESTMOD", "k", "", out, sizeof out), 1);
  ASSERT_EQ(TvConfigSetString("TESTMOD", "n", "5"), 0);
  EXPECT_EQ(TvConfigGetInt("TESTMOD", "n", 0), 5);
  ASSERT_EQ(TvConfigAddLine("more"), 0);
  EXPECT_EQ(TvConfigGetString("TESTMOD", "n", "", out, sizeof out), 1);
  EXPECT_EQ(TvConfigNextLine(out, sizeof out), 1);
  EXPECT_STREQ(out, "more");
  char* text = TvConfigGetText();
  EXPECT_STREQ(text, "[TESTMOD]\nk=v\nn=5\n+more\n");
  TvMemFree(text);
}

TEST_F(Ini, HostileTextsAndArguments) {
  // Binary bytes with NULs, a 1 MiB line, unclosed headers.
  std::string noise;
  std::mt19937 random(7);
  for (int i = 0; i < 65536; ++i) noise += static_cast<char>(random());
  Load(noise + "\n[S]\n" + std::string(1 << 20, 'L') + "=long\nk=v\n[unclosed\nx=y");
  EXPECT_EQ(Get("S", "k"), "v");
  EXPECT_EQ(Get("unclosed", "x"), "<none>");
  ASSERT_EQ(TvIniSetString(&ini, "S", "k", "w"), 0);
  EXPECT_EQ(Get("S", "k"), "w");
  EXPECT_TRUE(Invariants(ini));
  char key[8];
  ASSERT_EQ(TvIniSectionExists(&ini, "S"), 1);
  EXPECT_EQ(TvIniNextKey(&ini, 1, key, sizeof key), 1);
  EXPECT_STREQ(key, "LLLLLLL");

  // Names that would break the text are refused; empty names are safe.
  for (const char* key : {"", "a=b", "a\nb", "[x", "+x"}) EXPECT_EQ(TvIniSetString(&ini, "S", key, "v"), -1096) << key;
  EXPECT_EQ(TvIniSetString(&ini, "a]b", "k", "v"), -1096);
  EXPECT_EQ(TvIniAddSection(&ini, "a\nb", "k=v"), -1096);
  EXPECT_EQ(Get("", "k"), "<none>");
  EXPECT_EQ(TvIniSetString(&ini, "", "k", "empty section"), 0);
  EXPECT_EQ(Get("", "k"), "empty section");
  EXPECT_TRUE(Invariants(ini));

  // NULL where a caller could pass it.
  int call = 0;
  for (TvStatus status :
       {TvIniSetString(nullptr, "S", "k", "v"), TvIniAddLine(nullptr, "x"), TvIniAddSection(nullptr, "S", "x"),
        TvIniWriteHandle(nullptr, kTvNoFile), TvIniSaveFile(nullptr, "x"), TvIniClone(nullptr, &ini)})
    EXPECT_EQ(status, -1010) << "call " << call++;
  EXPECT_EQ(TvIniSetString(&ini, "S", nullptr, nullptr), -1096);  // no key line has an empty key
  EXPECT_EQ(TvIniDeleteSection(nullptr, "S"), 0);
  EXPECT_EQ(TvIniGetSectionText(nullptr, nullptr), nullptr);
  EXPECT_EQ(TvIniGetText(nullptr), nullptr);
  EXPECT_EQ(TvIniNextSection(nullptr, 1, nullptr, 0), 0);
  EXPECT_EQ(TvIniNextKey(nullptr, 1, nullptr, 0), 0);
  EXPECT_EQ(TvIniCurrentSection(nullptr, nullptr, 0), 0u);
  EXPECT_EQ(TvIniExpand(nullptr, nullptr, nullptr, nullptr, 0), 0u);
  TvIniSaveState(nullptr, nullptr, 1);
  TvIniRestoreState(nullptr, nullptr);
  EXPECT_EQ(TvIniGetBoolChecked(nullptr, nullptr, nullptr, 1), 1);
  EXPECT_EQ(TvIniGetInt64(&ini, nullptr, nullptr, 3), 3);
  TvIniBuffer empty{};
  EXPECT_EQ(TvIniSetString(&empty, "S", "k", "v"), -1010);
  EXPECT_EQ(TvIniSaveFile(&empty, (dir / "never.ini").c_str()), -1010);
  EXPECT_FALSE(tvtest::FileExists(dir / "never.ini"));
}

TEST_F(Ini, EveryKindOfLineEndEndsALineAndIsSavedAsCrLf) {
  // Lines ended by a lone carriage return only.
  Load("[A]\rk=1\rj=2\r[B]\rm=3\r");
  EXPECT_EQ(Text(), "[A]\nk=1\nj=2\n[B]\nm=3\n");
  EXPECT_EQ(Get("A", "j"), "2");
  EXPECT_EQ(Get("B", "m"), "3");
  ASSERT_EQ(TvIniSetString(&ini, "A", "n", "4"), 0);
  const std::string saved = dir / "saved.ini";
  ASSERT_EQ(TvIniSaveFile(&ini, saved.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(saved), "[A]\r\nk=1\r\nj=2\r\nn=4\r\n[B]\r\nm=3\r\n");
  // All three kinds in one text, saved without an edit: no two lines are joined.
  Load("[A]\r\nk=1\nj=2\rl=3\r\r\nlast=x\r");
  EXPECT_EQ(Text(), "[A]\nk=1\nj=2\nl=3\n\nlast=x\n");
  ASSERT_EQ(TvIniSaveFile(&ini, saved.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(saved), "[A]\r\nk=1\r\nj=2\r\nl=3\r\n\r\nlast=x\r\n");
  // A body added whole follows the same rule.
  ASSERT_EQ(TvIniAddSection(&ini, "C", "a=1\rb=2\r\nc=3\r"), 0);
  EXPECT_EQ(Get("C", "b"), "2");
  EXPECT_EQ(Text(), "[A]\nk=1\nj=2\nl=3\n\nlast=x\n[C]\na=1\nb=2\nc=3\n");
  EXPECT_TRUE(Invariants(ini));
}

TEST_F(Ini, AUtf8MarkIsReadPastAndWrittenAgain) {
  const std::string mark = "\xEF\xBB\xBF";
  Load(mark + "[A]\r\nk=1\r\n");
  EXPECT_TRUE(ini.utf8Mark);
  EXPECT_EQ(Text(), "[A]\nk=1\n");
  EXPECT_EQ(Get("A", "k"), "1");
  ASSERT_EQ(TvIniSetString(&ini, "A", "k", "2"), 0);  // replaced in the first section, not added
  EXPECT_EQ(Text(), "[A]\nk=2\n");
  char* copy = TvIniGetText(&ini);
  EXPECT_STREQ(copy, "[A]\nk=2\n");
  TvMemFree(copy);
  // Every way out writes the mark first, and counts it.
  const std::string saved = dir / "saved.ini";
  tvtest::WriteFile(saved, std::string(40, 'o'));
  ASSERT_EQ(TvIniSaveFile(&ini, saved.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(saved), mark + "[A]\r\nk=2\r\n");
  TvFileHandle h;
  ASSERT_EQ(TvFileOpen(nullptr, nullptr, saved.c_str(), nullptr, TvFileReadWrite, &h), 0);
  ASSERT_EQ(TvIniWriteHandle(&ini, h), 0);
  EXPECT_EQ(TvFileTell(h), mark.size() + 10);
  TvFileClose(h);
  // Copies of the record keep it; a load without it, or a free, clears it.
  TvIniBuffer clone{};
  ASSERT_EQ(TvIniClone(&clone, &ini), 0);
  EXPECT_TRUE(clone.utf8Mark);
  TvIniFree(&clone);
  EXPECT_FALSE(clone.utf8Mark);
  TvIniBuffer saved2{};
  TvIniSaveState(&saved2, &ini, 1);
  EXPECT_FALSE(ini.utf8Mark);
  TvIniRestoreState(&saved2, &ini);
  EXPECT_TRUE(ini.utf8Mark);
  // Only a mark at the very start is one; a file of nothing but a mark is empty.
  Load("[A]\nk=" + mark + "\n");
  EXPECT_FALSE(ini.utf8Mark);
  EXPECT_EQ(Text(), "[A]\nk=" + mark + "\n");
  Load(mark);
  EXPECT_TRUE(ini.utf8Mark);
  EXPECT_EQ(ini.length, 0u);
  Load("\xEF\xBB[A]\n");
  EXPECT_FALSE(ini.utf8Mark);
  EXPECT_EQ(Text(), "\xEF\xBB[A]\n");
}

TEST_F(Ini, NulPaddingAtTheEndIsNoPartOfTheText) {
  Load(std::string("[A]\r\nk=1\r\n\0\0\0", 13));
  EXPECT_EQ(Text(), "[A]\nk=1\n");
  const std::string saved = dir / "saved.ini";
  ASSERT_EQ(TvIniSaveFile(&ini, saved.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(saved), "[A]\r\nk=1\r\n");
  Load(std::string("[A]\nk=1\r\0", 9));  // the padding goes before the line ends are read
  EXPECT_EQ(Text(), "[A]\nk=1\n");
  Load(std::string("[A]\nk=a\0b\nl=2", 13));  // NULs inside the text stay
  EXPECT_EQ(ini.length, 13u);
  EXPECT_EQ(Get("A", "l"), "2");
  Load(std::string("\xEF\xBB\xBF\0\0", 5));
  EXPECT_TRUE(ini.utf8Mark);
  EXPECT_EQ(ini.length, 0u);
  Load(std::string(4096, '\0'));
  EXPECT_EQ(ini.length, 0u);
  EXPECT_TRUE(Invariants(ini, true));
}

TEST_F(Ini, NamesTheEngineCouldNotFindAgainAreRefused) {
  const std::string s79(79, 's'), k39(39, 'k');
  Load("[A]\n" + k39 + "=first\n[" + s79 + "]\nk=79\n[Data*Z]\nk=pattern\n[Data*]\nk=data\n");
  const std::string before = Text();
  auto refused = [&](const char* section, const char* key, const std::string& detail) {
    EXPECT_EQ(TvIniSetString(&ini, section, key, "v"), -1096) << detail;
    EXPECT_STREQ(TvErrorHistoryLine(false, 0), ("> Invalid input chararacters (" + detail + ")").c_str());
  };
  // Section names of 80 characters and more, wildcards, control characters.
  const std::string s80 = s79 + "t", huge(10000, 'h');
  refused(s80.c_str(), "k", s80);
  for (int i = 0; i < 3; ++i) refused(huge.c_str(), "k", std::string(119, 'h'));
  refused("A*", "k", "A*");
  refused("A?", "k", "A?");
  refused("A\x01", "k", "A?");
  for (const char* section : {s80.c_str(), "New*", "New\x1b"})
    EXPECT_EQ(TvIniAddSection(&ini, section, "k=1\n"), -1096) << section;
  // Keys of 40 characters and more, with the prefix counted, and control characters.
  refused("A", (k39 + "X").c_str(), k39 + "X");
  refused("A", "a\x7f\x02", "a\x7f?");
  TvIniSetPrefix(&ini, "pre");
  refused("A", std::string(37, 'p').c_str(), "pre" + std::string(37, 'p'));
  EXPECT_EQ(Text(), before);
  EXPECT_EQ(TvIniSetString(&ini, "A", std::string(36, 'p').c_str(), "v"), 0);
  TvIniSetPrefix(&ini, nullptr);
  EXPECT_EQ(Get("A", ("pre" + std::string(36, 'p')).c_str()), "v");
  // The longest names that can be read back, and tabs, are written.
  EXPECT_EQ(TvIniSetString(&ini, s79.c_str(), k39.c_str(), "longest"), 0);
  EXPECT_EQ(Get(s79.c_str(), k39.c_str()), "longest");
  EXPECT_EQ(TvIniSetString(&ini, "Tab\tbed", "a\tb", "t"), 0);
  EXPECT_EQ(Get("Tab\tbed", "a\tb"), "t");
  // Reading such names finds nothing, never the setting of a name cut short.
  EXPECT_EQ(Get("A", (k39 + "X").c_str()), "<none>");
  EXPECT_EQ(TvIniSetString(&ini, "A", (k39 + "X").c_str(), nullptr), -1096);  // nor is it deleted
  EXPECT_EQ(Get("A", k39.c_str()), "first");
  const std::string longData = "Data" + std::string(80, 'x') + "Z";
  EXPECT_EQ(Get(longData.c_str(), "k"), "<none>");
  EXPECT_EQ(Get(longData.substr(0, 79).c_str(), "k"), "data");
  EXPECT_EQ(TvIniSectionExists(&ini, s80.c_str()), 0);
  EXPECT_EQ(TvIniGetSectionText(&ini, s80.c_str()), nullptr);
  EXPECT_EQ(TvIniDeleteSection(&ini, longData.c_str()), 0);
  TvIniSetPrefix(&ini, std::string(39, 'p').c_str());
  TvIniSetFlags(&ini, TvIniBareKey);
  EXPECT_EQ(Get("A", k39.c_str()), "first");  // the bare key still fits
  EXPECT_TRUE(Invariants(ini));
}

TEST_F(Ini, ValuesAndLinesThatWouldBreakTheTextAreRefused) {
  Load("[A]\nk=1\n+old\n[B]\n");
  const std::string before = Text();
  for (const char* value : {"x\r[Evil]\rServerAddress=TVTCPIP:h", "x\n[Evil]", "x\r\n+y", "x\x1by", "\x01"}) {
    EXPECT_EQ(TvIniSetString(&ini, "A", "k", value), -1096) << value;
    EXPECT_EQ(TvIniSetString(&ini, "A", "new", value), -1096) << value;
    EXPECT_EQ(TvIniSetString(&ini, "C", "new", value), -1096) << value;
  }
  EXPECT_STREQ(TvErrorHistoryLine(false, 0), "> Invalid input chararacters (new)");
  EXPECT_EQ(Text(), before);
  EXPECT_EQ(Get("Evil", "ServerAddress"), "<none>");
  // What a line of ini text may hold is taken: a tab, a form feed, the end-of-file mark.
  ASSERT_EQ(TvIniSetString(&ini, "A", "k", "a\f\x1a"), 0);
  EXPECT_EQ(Get("A", "k"), "a\f\x1a");
  ASSERT_EQ(TvIniSetString(&ini, "A", "k", "a\tb"), 0);
  EXPECT_EQ(TvIniAddLine(&ini, "c\rd"), -1096);
  EXPECT_EQ(TvIniAddLine(&ini, "[Evil]\n"), -1096);
  EXPECT_STREQ(TvErrorHistoryLine(false, 0), "> Invalid input chararacters (+[Evil]?)");
  EXPECT_EQ(Text(), "[A]\nk=a\tb\n[B]\n");
  ASSERT_EQ(TvIniAddLine(&ini, "[not a header"), 0);  // a continuation line, whatever it holds
  EXPECT_EQ(Text(), "[A]\nk=a\tb\n+[not a header\n[B]\n");
  EXPECT_EQ(Get("A", "k"), "a\tb");
  EXPECT_EQ(Lines(), "|[not a header");
  // Lines written in one edit: a refused one changes nothing.
  const char* lines[] = {"first", "+second", "bad\nline"};
  EXPECT_EQ(TvIniSetLines(&ini, "A", "k", lines, 3), -1096);
  EXPECT_EQ(TvIniSetLines(&ini, "A", "k", lines, 0), 0);
  EXPECT_EQ(Text(), "[A]\nk=a\tb\n+[not a header\n[B]\n");
  ASSERT_EQ(TvIniSetLines(&ini, "A", "k", lines, 2), 0);
  EXPECT_EQ(Text(), "[A]\nk=first\n++second\n[B]\n");
}

TEST_F(Ini, AnEmptySectionBodyIsAnEmptyText) {
  const struct {
    const char* text;
    const char* section;
  } cases[] = {{"[A]", "A"}, {"[A]\n", "A"}, {"[A]\n[B]\nb=1\n", "A"}, {"[X]\nx=1\n[A]", "A"}, {"[A]junk", "A"}};
  for (const auto& c : cases) {
    Load(c.text);
    char* body = TvIniGetSectionText(&ini, c.section);
    ASSERT_NE(body, nullptr) << c.text;
    EXPECT_STREQ(body, "") << c.text;
    TvMemFree(body);
  }
  EXPECT_EQ(TvIniGetSectionText(&ini, "Z"), nullptr);
  LimitMemory();
  EXPECT_EQ(TvIniGetSectionText(&ini, "A"), nullptr);
}

// Saving over a file with a fault at every step: the file afterwards holds
// its old bytes or the whole new text, nothing in between.
class IniSave : public Ini {
 protected:
  static DWORD WINAPI SizeFault(HANDLE, LPDWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  // Existing files are read-only, and nothing new can be made.
  static HANDLE WINAPI ReadOnlyDisk(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                    DWORD disposition, DWORD attributes, HANDLE model) {
    const bool exists = GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
    if (((access & GENERIC_WRITE) && exists) || disposition == CREATE_ALWAYS) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(name, access, share, security, disposition, attributes, model);
  }

  static void FailWrite(int at, bool lastingFault = false) {
    FileFaults::Arm(at, !lastingFault);
    FileFaults::half = !lastingFault;
  }
  std::string path = dir / "over.ini";
  // Writes old to the file and saves the buffer over it through an open
  // handle. Two kinds of fault: the failing write gets half its bytes onto
  // the disk and later writes work again, or (lasting) nothing more gets
  // onto the disk from the failing write on, not even over bytes already there.
  TvStatus SaveOver(const std::string& old, int failAt, bool lastingFault = false, bool cutRefused = false) {
    tvtest::WriteFile(path, old);
    TvFileHandle h;
    EXPECT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileReadWrite, &h), 0);
    FailWrite(failAt, lastingFault);
    FileFaults::refuseSetEnd = cutRefused;
    const TvStatus status = TvIniSaveHandle(&ini, h);
    FileFaults::Disarm();
    TvFileClose(h);
    return status;
  }
};

TEST_F(IniSave, AFaultAtAnyPointLeavesTheOldBytesOrTheWholeNewText) {
  auto onDisk = [](size_t n, char c) { return "[S]\r\nk=" + std::string(n, c) + "\r\n"; };
  const struct {
    const char* name;
    size_t oldSize, newSize;
  } cases[] = {{"grows", 35000, 45000}, {"shrinks", 45000, 35000}, {"same length", 40000, 40000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string old = onDisk(c.oldSize, 'o'), text = onDisk(c.newSize, 'n');
    ASSERT_EQ(TvIniLoadText(&ini, text.data(), static_cast<uint32_t>(text.size())), 0);
    ASSERT_EQ(SaveOver(old, 0), 0);
    ASSERT_EQ(tvtest::ReadFile(path), text);
    const int all = FileFaults::writes;  // the blanks of a growing text, then the text
    for (int k = 1; k <= all; ++k) {
      for (bool lastingFault : {false, true}) {
        EXPECT_EQ(SaveOver(old, k, lastingFault), -1013) << "write " << k;
        EXPECT_TRUE(tvtest::ReadFile(path) == old)
            << "write " << k << " of " << all << (lastingFault ? ", lasting" : "");
      }
    }
    // A refused cut: blanks cover the rest of a longer old text.
    EXPECT_EQ(SaveOver(old, 0, false, true), 0);
    const size_t blanks = old.size() > text.size() ? old.size() - text.size() : 0;
    EXPECT_TRUE(tvtest::ReadFile(path) == text + std::string(blanks, ' '));
    // And when the blanks cannot be written either, the old text comes back.
    if (blanks) {
      EXPECT_EQ(SaveOver(old, all + 1, false, true), -1013);
      EXPECT_TRUE(tvtest::ReadFile(path) == old);
    }
  }
}

TEST_F(IniSave, OldBytesThatCannotBeKeptStopTheSaveBeforeAnyChange) {
  Load("[S]\nk=new\n");
  const std::string old = "[S]\r\nk=" + std::string(5000, 'o') + "\r\n";
  FileFaults::ArmOpenAndRead(0, 1);  // the reading of the old bytes fails
  EXPECT_EQ(SaveOver(old, 0), -1012);
  EXPECT_EQ(FileFaults::writes, 0);
  EXPECT_TRUE(tvtest::ReadFile(path) == old);
  tvSys.getFileSize = SizeFault;
  EXPECT_EQ(SaveOver(old, 0), -1012);
  EXPECT_TRUE(tvtest::ReadFile(path) == old);
  tvSys.getFileSize = kTvSysDefault.getFileSize;
  LimitMemory();  // no room for the old bytes
  EXPECT_EQ(SaveOver(old, 0), -1001);
  EXPECT_EQ(FileFaults::writes, 0);
  EXPECT_TRUE(tvtest::ReadFile(path) == old);
  Unlimited();
  // No text, no file.
  TvIniBuffer empty{};
  EXPECT_EQ(TvIniSaveHandle(&empty, kTvNoFile), -1010);
  EXPECT_EQ(TvIniSaveHandle(nullptr, kTvNoFile), -1010);
  EXPECT_EQ(TvIniSaveHandle(&ini, kTvNoFile), -1013);
}

TEST_F(IniSave, TheHandleStaysOpenForTheNextSave) {
  Load("[S]\nk=" + std::string(300, 'a') + "\n");
  tvtest::WriteFile(path, "old");
  TvFileHandle h;
  ASSERT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileReadWrite, &h), 0);
  ASSERT_EQ(TvIniSaveHandle(&ini, h), 0);
  ASSERT_EQ(TvIniSetString(&ini, "S", "k", "short"), 0);
  ASSERT_EQ(TvIniSaveHandle(&ini, h), 0);
  ASSERT_EQ(TvIniSetString(&ini, "S", "k", nullptr), 0);
  ASSERT_EQ(TvIniSaveHandle(&ini, h), 0);
  TvFileClose(h);
  EXPECT_EQ(tvtest::ReadFile(path), "[S]\r\n");
}

TEST_F(IniSave, SavingToAPathKeepsAnOldFileAndRemovesAFailedNewOne) {
  Load("[S]\nk=" + std::string(40000, 'n') + "\n");
  const std::string text = "[S]\r\nk=" + std::string(40000, 'n') + "\r\n";
  // A new file that cannot be written completely is not left behind.
  const std::string fresh = dir / "fresh.ini";
  FailWrite(1);
  EXPECT_EQ(TvIniSaveFile(&ini, (dir / "fresh").c_str()), -1013);
  EXPECT_FALSE(tvtest::FileExists(fresh));
  FileFaults::Disarm();
  ASSERT_EQ(TvIniSaveFile(&ini, (dir / "fresh").c_str()), 0);  // default extension "ini"
  EXPECT_TRUE(tvtest::ReadFile(fresh) == text);
  // An old file, even an empty one, keeps its bytes.
  for (const std::string& old : {std::string("[S]\r\nk=old\r\n"), std::string()}) {
    tvtest::WriteFile(path, old);
    FailWrite(1);
    EXPECT_EQ(TvIniSaveFile(&ini, path.c_str()), -1013);
    EXPECT_TRUE(tvtest::FileExists(path));
    EXPECT_TRUE(tvtest::ReadFile(path) == old);
  }
  FileFaults::Disarm();
  // A file that cannot be opened is left alone: held by another, or refused.
  tvtest::WriteFile(path, "[S]\r\nk=old\r\n");
  {
    tvtest::Locked holder(path);
    EXPECT_EQ(TvIniSaveFile(&ini, path.c_str()), -1016);
  }
  EXPECT_EQ(tvtest::ReadFile(path), "[S]\r\nk=old\r\n");
  tvSys.createFile = ReadOnlyDisk;
  EXPECT_EQ(TvIniSaveFile(&ini, path.c_str()), -1016);
  EXPECT_EQ(TvIniSaveFile(&ini, fresh.c_str()), -1016);
  EXPECT_EQ(TvIniSaveFile(&ini, (dir / "new2.ini").c_str()), -1019);
  EXPECT_FALSE(tvtest::FileExists(dir / "new2.ini"));
  EXPECT_EQ(tvtest::ReadFile(path), "[S]\r\nk=old\r\n");
  EXPECT_TRUE(tvtest::ReadFile(fresh) == text);
}

// Random edits on random texts: after every step the block keeps its shape
// and a lookup returns what the edit wrote.
class RandomEdits : public Ini {
 protected:
  std::mt19937 random{20261206};
  std::string Pick(const std::vector<std::string>& from) { return from[random() % from.size()]; }

  // Key lines of a section, counted the simple way: the first header whose
  // name equals the section (ignoring case) up to the next line beginning with "[".
  int CountKey(const std::string& section, const std::string& key) {
    std::string text = Text();
    size_t at = 0;
    bool inSection = false, seenSection = false;
    int count = 0;
    while (at <= text.size()) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(at, end - at);
      if (!line.empty() && line[0] == '[') {
        size_t close = text.find(']', at);
        std::string name = close == std::string::npos ? "" : text.substr(at + 1, close - at - 1);
        bool match = close != std::string::npos && !seenSection && TvStrEqualNoCase(name.c_str(), section.c_str());
        if (inSection) break;
        inSection = match;
        seenSection = seenSection || match;
      } else if (inSection && line.compare(0, key.size() + 1, key + "=") == 0) {
        ++count;
      }
      at = end + 1;
    }
    return count;
  }
};

TEST_F(RandomEdits, ThousandsOfEditsKeepTheTextSound) {
  const std::vector<std::string> sections = {"Alpha", "beta", "Gamma", "TvDefault", "Delta"};
  const std::vector<std::string> keys = {"k", "Key", "list", "x1", "Name"};
  for (int round = 0; round < 20; ++round) {
    const unsigned seed = static_cast<unsigned>(random());
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 r(seed);
    random.seed(seed);
    // A random starting text: headers, keys, continuation and blank lines, comments.
    std::string text;
    for (int line = 0, lines = static_cast<int>(r() % 40); line < lines; ++line) {
      switch (r() % 6) {
        case 0: text += "[" + Pick(sections) + "]\n"; break;
        case 1: text += Pick(keys) + "=" + std::to_string(r() % 100) + "\n"; break;
        case 2: text += "+cont\n"; break;
        case 3: text += "\n"; break;
        case 4: text += ";note=" + std::to_string(line) + "\n"; break;
        default: text += Pick(keys) + "=tail"; break;
      }
    }
    Load(text);
    for (int step = 0; step < 250; ++step) {
      const std::string section = Pick(sections);
      const std::string key = Pick(keys);
      const std::string value = "v" + std::to_string(r() % 1000) + std::string(r() % 3, 'z');
      switch (r() % 5) {
        case 0:
        case 1: {
          // The same lines in one edit leave the same text and cursor.
          TvIniBuffer once{};
          ASSERT_EQ(TvIniClone(&once, &ini), 0);
          ASSERT_EQ(TvIniSetString(&ini, section.c_str(), key.c_str(), value.c_str()), 0);
          const int lines = static_cast<int>(r() % 3);
          std::vector<std::string> all = {value};
          for (int i = 0; i < lines; ++i) {
            all.push_back("l" + std::to_string(i));
            ASSERT_EQ(TvIniAddLine(&ini, all.back().c_str()), 0);
          }
          std::vector<const char*> pointers;
          for (const std::string& line : all) pointers.push_back(line.c_str());
          ASSERT_EQ(TvIniSetLines(&once, section.c_str(), key.c_str(), pointers.data(), lines + 1), 0);
          EXPECT_EQ(std::string(once.text, once.length), Text());
          EXPECT_EQ(once.cursor, ini.cursor);
          TvIniFree(&once);
          TvIniSetFlags(&ini, TvIniNoDefault | TvIniExactSection);
          ASSERT_EQ(Get(section.c_str(), key.c_str()), value);
          std::string expected;
          for (int i = 0; i < lines; ++i) expected += "|l" + std::to_string(i);
          ASSERT_EQ(Lines(), expected);
          TvIniSetFlags(&ini, 0);
          break;
        }
        case 2: {
          const int before = CountKey(section, key);
          ASSERT_EQ(TvIniSetString(&ini, section.c_str(), key.c_str(), nullptr), 0);
          ASSERT_EQ(CountKey(section, key), before > 0 ? before - 1 : 0) << Text();
          break;
        }
        case 3: ASSERT_EQ(TvIniAddSection(&ini, section.c_str(), (key + "=" + value + "\n").c_str()), 0); break;
        default: {
          const size_t lengthBefore = ini.length;
          const int removed = TvIniDeleteSection(&ini, section.c_str());
          ASSERT_EQ(removed != 0, ini.length < lengthBefore);
          break;
        }
      }
      ASSERT_TRUE(Invariants(ini)) << "step " << step;
      // A section kept across the edit finds what a fresh search finds.
      TvIniBuffer fresh{};
      ASSERT_EQ(TvIniClone(&fresh, &ini), 0);
      char kept[64], found[64];
      TvIniGetString(&ini, section.c_str(), key.c_str(), "<none>", kept, sizeof kept);
      TvIniGetString(&fresh, section.c_str(), key.c_str(), "<none>", found, sizeof found);
      TvIniFree(&fresh);
      ASSERT_STREQ(kept, found) << Text();
    }
  }
}

}  // namespace
