// The ini engine: lookups, edits, enumeration; the invariants after every
// operation; random edit runs; hostile texts and arguments.
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "ini_fixture.h"

namespace {

using tvtest::CrLf;
using tvtest::Ini;
using tvtest::Invariants;
using tvtest::Strings;

TEST_F(Ini, LookupRules) {
  Load(
      "loose=before any header\n[S]\nkey = value\nk2=  value  \nk3=tab\t\nx=[not a header\n a=b\n"
      "dup=first\ndup=second\n[s]\nk2=second section\n[T]\nin[line=1\n");
  // clang-format off
  const struct { const char* section; const char* key; const char* value; } cases[] = {
      {"S", "loose", "<none>"}, {nullptr, "loose", "<none>"}, {"S", "key", "<none>"}, {"S", "key ", " value"},
      {"S", "k2", "  value"},   {"S", "k3", "tab\t"},         {"S", "x", "[not a header"}, {"S", " a", "b"},
      {"S", "dup", "first"},    {"s", "k2", "  value"},  // the first of [S] and [s]
      {"T", "in[line", "1"},
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(Get(c.section, c.key), c.value) << c.key;
  char small[4];
  EXPECT_EQ(TvIniGetString(&ini, "S", "k2", "", small, sizeof small), 1);
  EXPECT_STREQ(small, "  v");
  // Headers may be patterns; wildcards in the name asked are plain characters.
  Load("[Data*]\nk=data\n[*a]\nk=star-a\n[D?t]\nk=dot\n[Exact]\nk=exact\n");
  for (const auto& [section, value] :
       {std::pair{"DataX", "data"}, {"aba", "<none>"}, {"ba", "star-a"}, {"DAT", "dot"}, {"Ex*", "<none>"}})
    EXPECT_EQ(Get(section, "k"), value) << section;
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
  for (const auto& [key, fallback, value] : {std::tuple{"b1", 1, 0}, {"b3", 0, 1}, {"b2", 1, 1}, {"b4", 0, 0}})
    EXPECT_EQ(TvIniGetBoolChecked(&ini, "S", key, fallback), value) << key;
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
  ASSERT_EQ(TvIniAddLine(&ini, "y"), 0);
  ASSERT_EQ(TvIniAddLine(&ini, "z"), 0);
  EXPECT_EQ(Get("S", "list"), "x");
  EXPECT_EQ(Lines(), "|y|z");
  // After reading the list the cursor is at the start of the next line: a
  // new line goes after the lines read, never joined to the next one.
  ASSERT_EQ(TvIniAddLine(&ini, "w"), 0);
  EXPECT_EQ(Text(), "[S]\nlist=x\n+y\n+z\n+w\nafter=1\n");
  ASSERT_EQ(TvIniSetString(&ini, "S", "list", nullptr), 0);
  EXPECT_EQ(TvIniAddLine(&ini, "orphan"), -1001);  // no value written
  EXPECT_EQ(TvIniSetString(&ini, "S", "absent", nullptr), 0);
  EXPECT_EQ(TvIniAddLine(&ini, "orphan"), -1001);
  EXPECT_EQ(Text(), "[S]\nafter=1\n");
  EXPECT_TRUE(Invariants(ini));
  // The cut of a deleted last key ends at the text's end, never on the line end before it.
  Load("[S]\na=1\nb=2");
  ASSERT_EQ(TvIniSetString(&ini, "S", "b", nullptr), 0);
  EXPECT_EQ(Saved(), "[S]\r\na=1\r\n");
}

// A rename where the key stands gives the text of a set of the new key to
// the old one's lines and a delete of the old key, or declines and changes
// nothing.
TEST_F(Ini, RenamingTheLastKeyWhereItStandsEqualsSetAndDelete) {
  // clang-format off
  const struct { const char* text; bool inPlace; } cases[] = {
      {"[S]\nName=a\nCountryBase=X\n", true}, {"[S]\ncountrybase=X\n+Y\n+\n+Z\n\n\n[T]\nCountryBase=W\n", true},
      {"[S]\nCountryBase=X\nKeep=1\n", false},  // not the last key: it moves
      {"[S]\nCountryBase=X\n+Y \n", false},     // a read drops the blank
      {"[S]\nCountryBase=X\n+Y\fZ\x1a\n", true},       // a file may hold them: a set takes them
      {"[S]\nCountryBase=X\n+Y\x01Z\n", false},        // a set refuses it
      {"[S]\nDataMapping=Y\nCountryBase=X\n", false},  // the new key is there
      {"[S]\nName=a\n[TvDefault]\nCountryBase=X\n", false},  // lent, not the section's own
      {"[S]\nCountryBase=X", false},                         // no line end
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TvIniBuffer quick{}, general{};
    ASSERT_EQ(TvIniLoadText(&quick, c.text, static_cast<uint32_t>(strlen(c.text))), 0);
    ASSERT_EQ(TvIniLoadText(&general, c.text, static_cast<uint32_t>(strlen(c.text))), 0);
    const std::string before(quick.text, quick.length);
    ASSERT_EQ(TvIniRenameLastKey(&quick, "S", "CountryBase", "DataMapping"), c.inPlace ? 1 : 0);
    if (c.inPlace) {
      Strings lines;
      const char* line;
      size_t length;
      ASSERT_TRUE(TvIniGetValueSpan(&general, "S", "CountryBase", &line, &length));
      do lines.emplace_back(line, length);
      while (TvIniNextLineSpan(&general, &line, &length));
      std::vector<const char*> pointers;
      for (const auto& l : lines) pointers.push_back(l.c_str());
      const uint32_t count = static_cast<uint32_t>(pointers.size());
      ASSERT_EQ(TvIniSetLines(&general, "S", "DataMapping", pointers.data(), count), 0);
      ASSERT_EQ(TvIniSetString(&general, "S", "CountryBase", nullptr), 0);
      EXPECT_EQ(std::string(quick.text, quick.length), std::string(general.text, general.length));
      EXPECT_TRUE(Invariants(quick));
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

TEST_F(Ini, AddingKeysAndSections) {
  Load("[A]\na=1\n\n\n[B]\nb=2");
  ASSERT_EQ(TvIniSetString(&ini, "A", "new", "v"), 0);
  // The last section has no final line feed; the text keeps none.
  ASSERT_EQ(TvIniSetString(&ini, "B", "c", "3"), 0);
  ASSERT_EQ(TvIniAddLine(&ini, "more"), 0);
  EXPECT_EQ(Text(), "[A]\na=1\nnew=v\n\n\n[B]\nb=2\nc=3\n+more");
  ASSERT_EQ(TvIniSetString(&ini, "C", "k", "v"), 0);
  ASSERT_EQ(TvIniAddLine(&ini, "l"), 0);
  EXPECT_EQ(Text(), "[A]\na=1\nnew=v\n\n\n[B]\nb=2\nc=3\n+more\n[C]\nk=v\n+l\n\n");
  EXPECT_TRUE(Invariants(ini));
  for (TvStatus status : {TvIniSetInt(&ini, "C", "i", -5), TvIniSetInt64(&ini, "C", "j", 123456789012LL),
                          TvIniSetBool(&ini, "C", "y", 1), TvIniSetBool(&ini, "C", "n", 0)})
    EXPECT_EQ(status, 0);
  EXPECT_EQ(Get("C", "i") + Get("C", "j") + Get("C", "y") + Get("C", "n"), "-5123456789012YesNo");
  // A text without sections gets one; no section named: the first one.
  // clang-format off
  const struct { const char* text; const char* section; const char* after; } cases[] = {
      {"", nullptr, "[TvDefault]\nk=v\n\n"}, {"; comment only", "Named", "; comment only\n[Named]\nk=v\n\n"},
      {"[First]\nx=1\n[Second]\n", nullptr, "[First]\nx=1\nk=v\n[Second]\n"},
  };
  // clang-format on
  for (const auto& c : cases) {
    Load(c.text);
    ASSERT_EQ(TvIniSetString(&ini, c.section, "k", "v"), 0);
    EXPECT_EQ(Text(), c.after);
  }
}

TEST_F(Ini, SectionOperations) {
  Load("[A]\na=1\n\n[B]\nb=2\n[C]\nc=3");
  for (const auto& [section, body] : {std::pair{"A", "a=1\n\n"}, {"C", "c=3"}}) {
    char* text = TvIniGetSectionText(&ini, section);
    EXPECT_STREQ(text, body);
    TvMemFree(text);
  }
  EXPECT_EQ(TvIniGetSectionText(&ini, "Z"), nullptr);
  EXPECT_EQ(TvIniDeleteSection(&ini, "B"), 1);
  EXPECT_EQ(Text(), "[A]\na=1\n\n[C]\nc=3");
  EXPECT_EQ(TvIniDeleteSection(&ini, "C"), 1);
  EXPECT_EQ(TvIniDeleteSection(&ini, "C"), 0);
  EXPECT_EQ(TvIniAddSection(&ini, "D", "d=4\r\n+x\r\n"), 0);
  EXPECT_EQ(TvIniAddSection(&ini, "E", nullptr), 0);
  EXPECT_EQ(Text(), "[A]\na=1\n\n[D]\nd=4\n+x\n");
  EXPECT_EQ(Get("D", "d"), "4");
  EXPECT_TRUE(Invariants(ini));
  char name[8];
  EXPECT_EQ(TvIniSectionExists(&ini, "d"), 1);
  EXPECT_STREQ((TvIniCurrentSection(&ini, name, sizeof name), name), "D");
  // An empty body is an empty text, not none.
  for (const char* text : {"[A]", "[A]\n", "[A]\n[B]\nb=1\n", "[X]\nx=1\n[A]", "[A]junk"}) {
    Load(text);
    char* body = TvIniGetSectionText(&ini, "A");
    EXPECT_STREQ(body, "") << text;
    TvMemFree(body);
  }
  LimitMemory();
  EXPECT_EQ(TvIniGetSectionText(&ini, "A"), nullptr);
}

// Carriage returns, lone or not, end lines; a UTF-8 mark at the very start
// is read past; NULs at the end are padding. Saving writes CR LF (and the mark).
TEST_F(Ini, LineEndsMarksAndPaddingAreReadAndSavedAgain) {
  const std::string mark = "\xEF\xBB\xBF";
  // clang-format off
  const struct { std::string file, text; bool mark; } cases[] = {
      {"[A]\rk=1\rj=2\r[B]\rm=3\r", "[A]\nk=1\nj=2\n[B]\nm=3\n", false},
      {"[A]\r\nk=1\nj=2\rl=3\r\r\nlast=x\r", "[A]\nk=1\nj=2\nl=3\n\nlast=x\n", false},
      {std::string("[A]\r\nk=1\r\n\0\0\0", 13), "[A]\nk=1\n", false},
      {std::string("[A]\nk=1\r\0", 9), "[A]\nk=1\n", false},  // the padding goes before the line ends are read
      {std::string("[A]\nk=a\0b\nl=2", 13), std::string("[A]\nk=a\0b\nl=2", 13), false},  // NULs inside stay
      {std::string(4096, '\0'), "", false}, {mark + "[A]\r\nk=1\r\n", "[A]\nk=1\n", true},
      {mark + std::string("\0\0", 2), "", true}, {mark, "", true},
      {"[A]\nk=" + mark + "\n", "[A]\nk=" + mark + "\n", false},  // only a mark at the very start is one
      {"\xEF\xBB[A]\n", "\xEF\xBB[A]\n", false},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(tvtest::Hex(c.file.substr(0, 24)));
    Load(c.file);
    EXPECT_EQ(Text(), c.text);
    EXPECT_EQ(ini.utf8Mark, c.mark);
    EXPECT_EQ(Saved(), (c.mark ? mark : "") + CrLf(c.text));
  }
  // A body added whole follows the same rule.
  Load("[A]\nk=1\n");
  ASSERT_EQ(TvIniAddSection(&ini, "C", "a=1\rb=2\r\nc=3\r"), 0);
  EXPECT_EQ(Text(), "[A]\nk=1\n[C]\na=1\nb=2\nc=3\n");
}

TEST_F(Ini, AUtf8MarkIsKeptThroughEditsCopiesAndEveryWayOut) {
  const std::string mark = "\xEF\xBB\xBF";
  Load(mark + "[A]\r\nk=1\r\n");
  ASSERT_EQ(TvIniSetString(&ini, "A", "k", "2"), 0);  // replaced in the first section, not added
  char* copy = TvIniGetText(&ini);
  EXPECT_STREQ(copy, "[A]\nk=2\n");
  TvMemFree(copy);
  tvtest::WriteFile(saved, std::string(40, 'o'));
  EXPECT_EQ(Saved(), mark + "[A]\r\nk=2\r\n");
  TvFileHandle h;
  ASSERT_EQ(TvFileOpen(nullptr, nullptr, saved.c_str(), nullptr, TvFileReadWrite, &h), 0);
  ASSERT_EQ(TvIniWriteHandle(&ini, h), 0);
  EXPECT_EQ(TvFileTell(h), mark.size() + 10);
  TvFileClose(h);
  // Copies of the record keep it; a free clears it. A clone is a text of its own.
  TvIniSetPrefix(&ini, "p");
  TvIniBuffer clone{};
  ASSERT_EQ(TvIniClone(&clone, &ini), 0);
  EXPECT_TRUE(clone.utf8Mark && clone.useCount == 1 && clone.section == kTvIniNone);
  ASSERT_EQ(TvIniSetString(&clone, "A", "k", "changed"), 0);
  TvIniSetPrefix(&ini, nullptr);
  EXPECT_EQ(Get("A", "k"), "2");
  TvIniFree(&clone);
  EXPECT_FALSE(clone.utf8Mark);
  TvIniBuffer state{};
  TvIniSaveState(&state, &ini, 1);
  EXPECT_EQ(Get("A", "k") + std::to_string(ini.utf8Mark), "<none>0");
  TvIniRestoreState(&state, &ini);
  EXPECT_EQ(Get("A", "k") + std::to_string(ini.utf8Mark), "21");
}

TEST_F(Ini, FailedGrowthLeavesTheTextAlone) {
  Load("[S]\nk=v\n");
  const std::string before = Text();
  char* const block = ini.text;
  tvMemStats.enabled = true;
  tvMemStats.totalBytes = 1000;
  tvMemStats.limit = 1000;  // every growth now reaches the limit
  for (const auto& [section, key, value] :
       {std::tuple{"S", "k", "a much longer value"}, {"S", "new", "v"}, {"T", "new", "v"}})
    EXPECT_EQ(TvIniSetString(&ini, section, key, value), -1001) << section << key;
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
  Strings seen;
  char name[32];
  for (int more = TvIniNextSection(&ini, 1, name, sizeof name); more;
       more = TvIniNextSection(&ini, 0, name, sizeof name)) {
    seen.push_back(name);
    ASSERT_EQ(TvIniSetString(&ini, name, "visited", "yes"), 0);
    if (seen.size() == 2) {
      ASSERT_EQ(TvIniDeleteSection(&ini, "A"), 1);  // an earlier section goes
    }
  }
  EXPECT_EQ(seen, (Strings{"A", "B", "C", "", "D"}));
  EXPECT_EQ(Get("D", "visited") + Get("B", "visited"), "yesyes");
  EXPECT_EQ(TvIniNextSection(&ini, 0, name, sizeof name), 0);
  EXPECT_STREQ(name, "");
  // Keys are walked in the current section, skipping what is no key line.
  Load("[S]\nalpha=1\n;comment=x\n+cont=y\n_x=z\n\n\n\xe9t\xe9=2\n9=n\n[T]\nt=1\n");
  char key[16];
  EXPECT_EQ(TvIniNextKey(&ini, 1, key, sizeof key), 0);  // no current section yet
  ASSERT_EQ(TvIniSectionExists(&ini, "S"), 1);
  Strings keys;
  for (int more = TvIniNextKey(&ini, 1, key, sizeof key); more; more = TvIniNextKey(&ini, 0, key, sizeof key))
    keys.push_back(key);
  EXPECT_EQ(keys, (Strings{"alpha", "\xe9t\xe9", "9"}));
  EXPECT_EQ(Get("S", "_x"), "z");  // skipped by the walk, found by a lookup
}

TEST_F(Ini, ExpandingReferencesAndListValues) {
  Load("[S]\nname=World\nlong=0123456789\ncsv= a , b,,c\n+ " + std::string(250, 'x') +
       ",d\nws=  one two\t three\n+four\n");
  char out[64];
  TvIniExpand(&ini, "S", "Hello #name#! ## #missing#|#unclosed", out, sizeof out);
  EXPECT_STREQ(out, "Hello World! # |unclosed");
  TvIniExpand(&ini, "S", ("a#" + std::string(40, 'n') + "#b").c_str(), out, sizeof out);
  EXPECT_STREQ(out, "ab");
  TvIniExpand(&ini, "S", "x#long#y", out, 8);
  EXPECT_STREQ(out, "x012345");
  TvList* list = TvListCreate(TvListUnsorted, nullptr, -1, 0);
  ASSERT_NE(list, nullptr);
  auto items = [&](const char* key, char separator) {
    TvListClear(list);
    EXPECT_EQ(TvIniGetList(&ini, "S", key, list, separator), 0) << key;
    Strings out;
    for (uint32_t i = 0; i < list->count; ++i) out.push_back(static_cast<const char*>(list->items[i]));
    return out;
  };
  // The continuation line is read up to 199 characters, so "d" is cut off.
  EXPECT_EQ(items("csv", ','), (Strings{"a", "b", "", "c", std::string(198, 'x')}));
  EXPECT_EQ(items("ws", ' '), (Strings{"one", "two", "three", "four"}));
  EXPECT_EQ(items("none", ','), Strings{});
  TvListFree(list);
}

TEST_F(Ini, HostileTextsAndArguments) {
  // Binary bytes with NULs, a 1 MiB line, unclosed headers.
  std::string noise;
  std::mt19937 random(7);
  for (int i = 0; i < 65536; ++i) noise += static_cast<char>(random());
  Load(noise + "\n[S]\n" + std::string(1 << 20, 'L') + "=long\nk=v\n[unclosed\nx=y");
  EXPECT_EQ(Get("unclosed", "x"), "<none>");
  ASSERT_EQ(TvIniSetString(&ini, "S", "k", "w"), 0);
  EXPECT_EQ(Get("S", "k"), "w");
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
  call = 0;
  for (uint64_t none :
       {uint64_t(TvIniDeleteSection(nullptr, "S")), uint64_t(TvIniNextSection(nullptr, 1, nullptr, 0)),
        uint64_t(TvIniNextKey(nullptr, 1, nullptr, 0)), uint64_t(TvIniCurrentSection(nullptr, nullptr, 0)),
        uint64_t(TvIniExpand(nullptr, nullptr, nullptr, nullptr, 0))})
    EXPECT_EQ(none, 0u) << "call " << call++;
  EXPECT_EQ(TvIniGetSectionText(nullptr, nullptr), nullptr);
  EXPECT_EQ(TvIniGetText(nullptr), nullptr);
  TvIniSaveState(nullptr, nullptr, 1);
  TvIniRestoreState(nullptr, nullptr);
  EXPECT_EQ(TvIniGetBoolChecked(nullptr, nullptr, nullptr, 1), 1);
  EXPECT_EQ(TvIniGetInt64(&ini, nullptr, nullptr, 3), 3);
  TvIniBuffer empty{};
  EXPECT_EQ(TvIniSetString(&empty, "S", "k", "v"), -1010);
  EXPECT_EQ(TvIniSaveFile(&empty, (dir / "never.ini").c_str()), -1010);
  EXPECT_FALSE(tvtest::FileExists(dir / "never.ini"));
}

TEST_F(Ini, NamesTheEngineCouldNotFindAgainAreRefused) {
  const std::string s79(79, 's'), k39(39, 'k');
  Load("[A]\n" + k39 + "=first\n[" + s79 + "]\nk=79\n[Data*Z]\nk=pattern\n[Data*]\nk=data\n");
  const std::string before = Text();
  auto refused = [&](const std::string& section, const std::string& key, const std::string& detail) {
    EXPECT_EQ(TvIniSetString(&ini, section.c_str(), key.c_str(), "v"), -1096) << detail;
    EXPECT_STREQ(TvErrorHistoryLine(false, 0), ("> Invalid input chararacters (" + detail + ")").c_str());
  };
  // Section names of 80 characters and more, wildcards, control characters;
  // keys of 40 characters and more, with the prefix counted.
  const std::string s80 = s79 + "t", huge(10000, 'h');
  refused(s80, "k", s80);
  refused(huge, "k", std::string(119, 'h'));
  for (const auto& [section, detail] : {std::pair{"A*", "A*"}, {"A?", "A?"}, {"A\x01", "A?"}})
    refused(section, "k", detail);
  EXPECT_EQ(TvIniAddSection(&ini, s80.c_str(), "k=1\n"), -1096);
  refused("A", k39 + "X", k39 + "X");
  refused("A", "a\x7f\x02", "a\x7f?");
  TvIniSetPrefix(&ini, "pre");
  refused("A", std::string(37, 'p'), "pre" + std::string(37, 'p'));
  EXPECT_EQ(Text(), before);
  EXPECT_EQ(TvIniSetString(&ini, "A", std::string(36, 'p').c_str(), "v"), 0);
  TvIniSetPrefix(&ini, nullptr);
  EXPECT_EQ(Get("A", ("pre" + std::string(36, 'p')).c_str()), "v");
  // The longest names that can be read back, and tabs, are written.
  EXPECT_EQ(TvIniSetString(&ini, s79.c_str(), k39.c_str(), "longest"), 0);
  EXPECT_EQ(Get(s79.c_str(), k39.c_str()), "longest");
  // Reading such names finds nothing, never the setting of a name cut short.
  EXPECT_EQ(Get("A", (k39 + "X").c_str()), "<none>");
  EXPECT_EQ(TvIniSetString(&ini, "A", (k39 + "X").c_str(), nullptr), -1096);  // nor is it deleted
  EXPECT_EQ(Get("A", k39.c_str()), "first");
  const std::string longData = "Data" + std::string(80, 'x') + "Z";
  EXPECT_EQ(Get(longData.c_str(), "k"), "<none>");
  EXPECT_EQ(Get(longData.substr(0, 79).c_str(), "k"), "data");
  EXPECT_EQ(TvIniSectionExists(&ini, s80.c_str()), 0);
  EXPECT_EQ(TvIniDeleteSection(&ini, longData.c_str()), 0);
  TvIniSetPrefix(&ini, std::string(39, 'p').c_str());
  TvIniSetFlags(&ini, TvIniBareKey);
  EXPECT_EQ(Get("A", k39.c_str()), "first");  // the bare key still fits
}

TEST_F(Ini, ValuesAndLinesThatWouldBreakTheTextAreRefused) {
  Load("[A]\nk=1\n+old\n[B]\n");
  const std::string before = Text();
  for (const char* value : {"x\r[Evil]\rServerAddress=TVTCPIP:h", "x\n[Evil]", "x\r\n+y", "x\x1by", "\x01"})
    for (const char* section : {"A", "C"})
      for (const char* key : {"k", "new"}) EXPECT_EQ(TvIniSetString(&ini, section, key, value), -1096) << value;
  EXPECT_STREQ(TvErrorHistoryLine(false, 0), "> Invalid input chararacters (new)");
  EXPECT_EQ(Text(), before);
  // What a line of ini text may hold is taken: a tab, a form feed, the end-of-file mark.
  ASSERT_EQ(TvIniSetString(&ini, "A", "k", "a\f\x1a"), 0);
  EXPECT_EQ(Get("A", "k"), "a\f\x1a");
  ASSERT_EQ(TvIniSetString(&ini, "A", "k", "a\tb"), 0);
  EXPECT_EQ(TvIniAddLine(&ini, "[Evil]\n"), -1096);
  EXPECT_STREQ(TvErrorHistoryLine(false, 0), "> Invalid input chararacters (+[Evil]?)");
  ASSERT_EQ(TvIniAddLine(&ini, "[not a header"), 0);  // a continuation line, whatever it holds
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

// Random edits on random texts: after every step the block keeps its shape,
// a lookup returns what the edit wrote, and lines set in one edit leave the
// text and cursor that a value and its added lines leave.
TEST_F(Ini, ThousandsOfRandomEditsKeepTheTextSound) {
  const Strings sections = {"Alpha", "beta", "Gamma", "TvDefault", "Delta"}, keys = {"k", "Key", "list", "x1", "Name"};
  const char* const kLines[] = {"l0", "l1"};
  std::mt19937 seeds{20261206};
  for (int round = 0; round < 20; ++round) {
    const unsigned seed = static_cast<unsigned>(seeds());
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 r(seed);
    auto pick = [&](const Strings& from) { return from[r() % from.size()]; };
    std::string text;
    for (int line = 0, lines = static_cast<int>(r() % 40); line < lines; ++line) {
      switch (r() % 6) {
        case 0: text += "[" + pick(sections) + "]\n"; break;
        case 1: text += pick(keys) + "=" + std::to_string(r() % 100) + "\n"; break;
        case 2: text += "+cont\n"; break;
        case 3: text += "\n"; break;
        case 4: text += ";note=" + std::to_string(line) + "\n"; break;
        default: text += pick(keys) + "=tail"; break;
      }
    }
    Load(text);
    for (int step = 0; step < 250; ++step) {
      const std::string section = pick(sections), key = pick(keys);
      const std::string value = "v" + std::to_string(r() % 1000) + std::string(r() % 3, 'z');
      switch (r() % 5) {
        case 0:
        case 1: {
          TvIniBuffer once{};
          ASSERT_EQ(TvIniClone(&once, &ini), 0);
          ASSERT_EQ(TvIniSetString(&ini, section.c_str(), key.c_str(), value.c_str()), 0);
          std::vector<const char*> all = {value.c_str()};
          for (int i = 0, lines = static_cast<int>(r() % 3); i < lines; ++i) all.push_back(kLines[i]);
          for (size_t i = 1; i < all.size(); ++i) ASSERT_EQ(TvIniAddLine(&ini, all[i]), 0);
          ASSERT_EQ(TvIniSetLines(&once, section.c_str(), key.c_str(), all.data(), uint32_t(all.size())), 0);
          EXPECT_EQ(std::string(once.text, once.length) + "@" + std::to_string(once.cursor),
                    Text() + "@" + std::to_string(ini.cursor));
          TvIniFree(&once);
          TvIniSetFlags(&ini, TvIniNoDefault | TvIniExactSection);
          const std::string got = Get(section.c_str(), key.c_str());
          ASSERT_EQ(got + Lines(), value + std::string("|l0|l1").substr(0, 3 * all.size() - 3));
          TvIniSetFlags(&ini, 0);
          break;
        }
        case 2: ASSERT_EQ(TvIniSetString(&ini, section.c_str(), key.c_str(), nullptr), 0); break;
        case 3: ASSERT_EQ(TvIniAddSection(&ini, section.c_str(), (key + "=" + value + "\n").c_str()), 0); break;
        default: {
          const size_t lengthBefore = ini.length;
          const bool removed = TvIniDeleteSection(&ini, section.c_str()) != 0;
          ASSERT_EQ(removed, ini.length < lengthBefore);
          break;
        }
      }
      ASSERT_TRUE(Invariants(ini)) << "step " << step;
      // A section kept across the edit finds what a fresh search finds.
      TvIniBuffer fresh{};
      ASSERT_EQ(TvIniClone(&fresh, &ini), 0);
      const std::string kept = Get(section.c_str(), key.c_str()), found = Get(section.c_str(), key.c_str(), &fresh);
      TvIniFree(&fresh);
      ASSERT_EQ(kept, found) << Text();
    }
  }
}

}  // namespace
