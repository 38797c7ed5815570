// strings_test.cpp: copies, comparisons, number and switch parsing, tokens,
// separator lists, file-name patterns and the language message tables.
// The source is UTF-8 compiled to code page 1252.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kernel_fixture.h"

namespace {

// A buffer with guard bytes, to see that nothing is written past size.
struct Guarded {
  char bytes[520];
  Guarded() { memset(bytes, 'x', sizeof bytes); }
  bool UntouchedFrom(size_t at) const {
    for (size_t i = at; i < sizeof bytes; ++i)
      if (bytes[i] != 'x') return false;
    return true;
  }
};

using Strings = std::vector<std::string>;

TEST(StrCopy, EveryCopyStopsAtSizeMinusOneAndTakesHostileInput) {
  using Copy = size_t (*)(char*, const char*, size_t);
  // clang-format off
  const struct { const char* name; Copy copy; char expected; } kCopies[] = {
      {"copy", TvStrCopy, '\xe9'},
      {"cat",
       [](char* out, const char* text, size_t size) {
         if (out && size) *out = '\0';
         return TvStrCat(out, text, size);
       },
       '\xe9'},
      {"copyN", [](char* out, const char* text, size_t size) { return TvStrCopyN(out, text, kTvStrAll, size); }, '\xe9'},
      {"until", [](char* out, const char* text, size_t size) { return TvStrCopyUntil(out, text, ',', size); }, '\xe9'},
      {"upper", TvStrUpper, '\xc9'}, {"lower", TvStrLower, '\xe9'}, {"separators", TvStrSeparators, '\xe9'},
  };
  // clang-format on
  const std::string longText(400, '\xe9');
  for (const auto& c : kCopies) {
    Guarded g;
    EXPECT_EQ(c.copy(g.bytes, longText.c_str(), 256), 255u) << c.name;
    EXPECT_EQ(std::string(g.bytes), std::string(255, c.expected)) << c.name;
    EXPECT_TRUE(g.UntouchedFrom(256)) << c.name;
    Guarded small;
    EXPECT_EQ(c.copy(small.bytes, "abc", 0), 0u) << c.name;
    EXPECT_TRUE(small.UntouchedFrom(0)) << c.name;
    EXPECT_EQ(c.copy(small.bytes, "abc", 1), 0u) << c.name;
    EXPECT_STREQ(small.bytes, "") << c.name;
    EXPECT_TRUE(small.UntouchedFrom(1)) << c.name;
    memcpy(small.bytes, "junk", 5);
    EXPECT_EQ(c.copy(small.bytes, nullptr, 10), 0u) << c.name;
    EXPECT_STREQ(small.bytes, "") << c.name;
    EXPECT_EQ(c.copy(nullptr, "abc", 10), 0u) << c.name;
  }
}

TEST(StrCopy, AppendCountStopAndCase) {
  char out[8];
  EXPECT_EQ(TvStrCopy(out, "abcdef", sizeof out), 6u);
  EXPECT_EQ(TvStrCat(out, "xyz", sizeof out), 7u);
  EXPECT_STREQ(out, "abcdefx");
  EXPECT_EQ(TvStrCat(out, "more", sizeof out), 7u);  // full: nothing added
  EXPECT_STREQ(out, "abcdefx");
  EXPECT_EQ(TvStrCopyUntil(out, "key=value", '=', sizeof out), 3u);
  EXPECT_STREQ(out, "key");
  // A count of characters, never past the text's end; 65534 is a count,
  // 65535 means all.
  Guarded g;
  const std::pair<size_t, const char*> kCounts[] = {{3, "abc"}, {0, ""}, {10, "abcdef"}, {65535, "abcdef"}};
  for (const auto& [count, expected] : kCounts) {
    EXPECT_EQ(TvStrCopyN(g.bytes, "abcdef", count, 100), strlen(expected)) << count;
    EXPECT_STREQ(g.bytes, expected);
  }
  EXPECT_EQ(TvStrCopyN(g.bytes, "abcdef", 5, 4), 3u);
  EXPECT_STREQ(g.bytes, "abc");
  const std::string longText(70000, 'q');
  std::vector<char> big(70001, 'x');
  EXPECT_EQ(TvStrCopyN(big.data(), longText.c_str(), 65534, big.size()), 65534u);
  EXPECT_EQ(TvStrCopyN(big.data(), longText.c_str(), 65535, big.size()), 70000u);
  // Case through the code page 1252 tables; in place too.
  char text[64];
  EXPECT_EQ(TvStrUpper(text, "straße école ÿ œ š 7!", sizeof text), strlen("straße école ÿ œ š 7!"));
  EXPECT_STREQ(text, "STRAßE ÉCOLE Ÿ Œ Š 7!");
  TvStrLower(text, text, sizeof text);
  TvStrUpperInPlace(text);
  EXPECT_STREQ(text, "STRAßE ÉCOLE Ÿ Œ Š 7!");
  TvStrUpperInPlace(nullptr);
}

int Sign(int value) { return (value > 0) - (value < 0); }

// Collate: at the first difference the diacritic-free forms decide, then the
// characters as signed bytes (É, 201, is negative); case is not folded. Fold
// ignores case and diacritics. NULL is the empty text.
TEST(StrCompare, CollateAndFold) {
  const std::string e400(400, '\xe9'), E400(400, 'E'), plain400(400, 'e');
  // clang-format off
  const struct { const char* a; const char* b; int collate, fold; } kPairs[] = {
      {"Emile", "Emile", 0, 0},       {"Émile", "Emile", -1, 0},      {"Emile", "Émile", 1, 0},
      {"é", "f", -1, -1},             {"é", "d", 1, 1},               {"ab", "abc", -1, -1},
      {"ÉCOLE", "école", -1, 0},      {"apple", "Banana", 1, -1},     {"Zürich", "zurab", -1, 1},
      {"©", "A", -1, -1},             {nullptr, "", 0, 0},            {nullptr, "a", -1, -1},
      {"a", nullptr, 1, 1},           {e400.c_str(), E400.c_str(), 1, 0}, {e400.c_str(), plain400.c_str(), -1, 0},
  };
  // clang-format on
  for (const auto& p : kPairs) {
    const std::string names = std::string(p.a ? p.a : "NULL").substr(0, 9) + " " + (p.b ? p.b : "NULL");
    EXPECT_EQ(Sign(TvStrCollate(p.a, p.b)), p.collate) << names;
    EXPECT_EQ(Sign(TvStrCollateItems(p.a, p.b, 99)), p.collate) << names;
    EXPECT_EQ(Sign(TvStrCompareFold(p.a, p.b)), p.fold) << names;
    EXPECT_EQ(Sign(TvStrCompareFoldItems(p.a, p.b, 99)), p.fold) << names;
  }
  Strings words = {"f", "ée", "d", "ed", "e", "ef", "éa"};
  std::sort(words.begin(), words.end(),
            [](const std::string& a, const std::string& b) { return TvStrCollate(a.c_str(), b.c_str()) < 0; });
  EXPECT_EQ(words, (Strings{"d", "éa", "ée", "e", "ed", "ef", "f"}));
  // The N forms stop after count characters; as list compares they take the
  // count from the user data, where a negative one counts as 0.
  // clang-format off
  const struct { const char* a; const char* b; intptr_t count; int collate, fold; } kCounts[] = {
      {"abcX", "abcY", 3, 0, 0},       {"abcX", "abcY", 4, -1, -1},      {"Émile", "emilia", 0, 0, 0},
      {"Émile", "emilia", 4, -1, 0},   {"Émile", "emilia", 5, -1, -1},   {"Zürich", "ZURICHSEE", 6, 1, 0},
      {"Zürich", "ZURICHSEE", 7, 1, -1}, {"Émile", "emilia", -3, 0, 0}, {nullptr, nullptr, 65535, 0, 0},
  };
  // clang-format on
  for (const auto& c : kCounts) {
    EXPECT_EQ(Sign(TvStrCollateNItems(c.a, c.b, c.count)), c.collate) << c.b << " " << c.count;
    EXPECT_EQ(Sign(TvStrCompareFoldNItems(c.a, c.b, c.count)), c.fold) << c.b << " " << c.count;
    if (c.count < 0) continue;
    EXPECT_EQ(Sign(TvStrCollateN(c.a, c.b, c.count)), c.collate) << c.b << " " << c.count;
    EXPECT_EQ(Sign(TvStrCompareFoldN(c.a, c.b, c.count)), c.fold) << c.b << " " << c.count;
  }
  // No-case compares fold case only, through the 1252 table.
  EXPECT_TRUE(TvStrEqualNoCase("straße ÿ", "STRAßE Ÿ"));
  EXPECT_FALSE(TvStrEqualNoCase("straße ÿ", "STRAßE Y"));
  EXPECT_LT(TvStrCompareNoCaseN("abcdef", "ABCDEG", 6), 0);
  EXPECT_EQ(TvStrCompareNoCaseN("abcdef", "ABCDEG", 5), 0);
  EXPECT_EQ(TvStrCompareNoCase(nullptr, ""), 0);
}

TEST(StrToInt, DatesListsAndFormsOfNumbers) {
  // Successive calls read "12/05/2003" and the items of a list.
  const std::pair<const char*, std::vector<int32_t>> kLists[] = {{"12/05/2003", {12, 5, 2003}},
                                                                 {" 1 , 2:3  ,  4", {1, 2, 3, 4}}};
  for (const auto& [text, values] : kLists) {
    const char* end = text;
    for (int32_t v : values) EXPECT_EQ(TvStrToInt(end, &end), v) << text;
    EXPECT_STREQ(end, "") << text;
  }
  // clang-format off
  const struct { const char* text; int32_t value; size_t consumed; } kForms[] = {
      {"-0x10", -16, 5},  {"0X7fffFFFF", 2147483647, 10}, {"+42", 42, 3},
      {"   -2147483648", INT32_MIN, 14}, {"'\xe9", 0xE9, 2},
      {"4294967297", 1, 10}, {"0x100000002", 2, 11}, {"4294967295", -1, 10},  // values wrap at 32 bits
      {"x1", 0, 0},          {"'", 0, 0},        {"-", 0, 0},      {"+-5", 0, 0},  // no number: nothing read
      {"0xg", 0, 1},         // "0x" without a hexadecimal digit is the number 0
      {",7", 0, 1},          {"/", 0, 1},        // an empty item is 0; its separator is passed over
      {"", 0, 0},            {"   ", 0, 3},
  };
  // clang-format on
  for (const auto& f : kForms) {
    const char* end = nullptr;
    EXPECT_EQ(TvStrToInt(f.text, &end), f.value) << f.text;
    EXPECT_EQ(end, f.text + f.consumed) << f.text;
  }
  const char* end = nullptr;
  EXPECT_EQ(TvStrToInt(nullptr, &end), 0);
  ASSERT_NE(end, nullptr);
  EXPECT_STREQ(end, "");
  EXPECT_EQ(TvStrToInt(std::string(400, '9').c_str(), nullptr), -1);  // 10^400 - 1 wraps
}

TEST(StrToInt64, Flags) {
  // clang-format off
  const struct { const char* text; uint32_t flags; int64_t value; const char* rest; } kCases[] = {
      {"9223372036854775807", 0, INT64_MAX, ""}, {"-9223372036854775808", 0, INT64_MIN, ""},
      {"18446744073709551617", 0, 1, ""},  // wraps at 64 bits
      {"0x1234567890", 0, 0x1234567890, ""}, {"'z", 0, 'z', ""},
      {"  12", 0, 0, "  12"}, {"  12", 0x1000, 12, ""},  // leading spaces only with 0x1000
      {"A1", 1, 'A', "1"}, {"\xff", 1, 255, ""}, {"", 1, 0, ""},  // 1: the next character's code
      // 2: hexadecimal, 4: decimal; no sign outside detection.
      {"ff", 2, 255, ""}, {"0x10", 2, 16, ""}, {"-5", 2, 0, "-5"}, {"0x10", 4, 0, "x10"}, {"-5", 4, 0, "-5"},
      {"123", 4, 123, ""}, {"'5", 4, 0, "'5"},
      // 0x2000: the trailing separator step.
      {"12 / 5", 0, 12, " / 5"}, {"12 / 5", 0x2000, 12, "5"}, {" 7,8", 0x3004, 7, "8"},
  };
  // clang-format on
  for (const auto& c : kCases) {
    const char* end = nullptr;
    EXPECT_EQ(TvStrToInt64(c.text, c.flags, &end), c.value) << c.text << " " << c.flags;
    EXPECT_STREQ(end, c.rest) << c.text << " " << c.flags;
  }
  // Nothing is read past the text, whatever the flags.
  const std::string text(400, 'f');
  for (uint32_t flags : {0u, 1u, 2u, 4u, 7u, 0x3000u, 0xFFFFFFFFu}) {
    const char* end = nullptr;
    EXPECT_EQ(TvStrToInt64(nullptr, flags, &end), 0);
    EXPECT_STREQ(end, "");
    TvStrToInt64(text.c_str(), flags, &end);
    EXPECT_GE(end, text.c_str()) << flags;
    EXPECT_LE(end, text.c_str() + text.size()) << flags;
  }
}

TEST(StrToBool, WordsAndCheckedWords) {
  // TvStrToBool's answer, and TvStrToBoolChecked's: 1, 0, or the default
  // (5) with -1096.
  // clang-format off
  const struct { const char* text; bool plain; int checked; } kWords[] = {
      {"1", true, 1},    {"t", true, 1},    {"Y", true, 1},    {"oN", true, 1},     {"  Y", true, 1},
      {"0", false, 0},   {"F", false, 0},   {"n", false, 0},   {"oF", false, 0},    {" no", false, 0},
      {"  ", false, 5},  {"2", false, 5},   {"O", false, 5},   {"maybe", false, 5}, {"\xd4n", false, 5},
      {nullptr, false, 5},
  };
  // clang-format on
  for (const auto& w : kWords) {
    const char* name = w.text ? w.text : "NULL";
    EXPECT_EQ(TvStrToBool(w.text), w.plain) << name;
    int result = -7;
    EXPECT_EQ(TvStrToBoolChecked(w.text, &result, 5), w.checked == 5 ? TvErrInputChars : TvOk) << name;
    EXPECT_EQ(result, w.checked) << name;
  }
  EXPECT_EQ(TvStrToBoolChecked("y", nullptr, 0), TvOk);
  EXPECT_EQ(TvStrToBoolChecked("bad", nullptr, 0), TvErrInputChars);
}

// All items of a text, as TvStrToken hands them out in a buffer of size.
Strings Tokens(const char* text, char separator, size_t size = 16) {
  Strings items;
  char item[16];
  do {
    text = TvStrToken(item, text, size, separator);
    items.push_back(item);
  } while (text && items.size() < 10);
  return items;
}

TEST(StrToken, SeparatorsWhiteSpaceAndCuts) {
  EXPECT_EQ(Tokens("a,,b", ','), (Strings{"a", "", "b"}));
  EXPECT_EQ(Tokens("x;", ';'), (Strings{"x", ""}));  // a trailing separator leaves one empty item
  EXPECT_EQ(Tokens(" a b |c", '|'), (Strings{" a b ", "c"}));
  EXPECT_EQ(Tokens("abc", '\0'), (Strings{"abc"}));  // NUL as separator: one item
  // A space stands for any run of white space.
  EXPECT_EQ(Tokens("  one\ttwo\r\n\v\f three  ", ' '), (Strings{"one", "two", "three"}));
  EXPECT_EQ(Tokens("   ", ' '), (Strings{""}));
  // An over-long item is cut and the rest of it skipped.
  EXPECT_EQ(Tokens("abcdefgh,next", ',', 4), (Strings{"abc", "nex"}));
  EXPECT_EQ(Tokens("longer-than-this x", ' ', 7), (Strings{"longer", "x"}));
  Guarded g;
  EXPECT_STREQ(TvStrToken(g.bytes, "a,b", 0, ','), "b");  // no room: the item is skipped all the same
  EXPECT_TRUE(g.UntouchedFrom(0));
  EXPECT_STREQ(TvStrToken(nullptr, "a,b", 10, ','), "b");
  EXPECT_EQ(TvStrToken(g.bytes, nullptr, 10, ','), nullptr);
  EXPECT_STREQ(g.bytes, "");
  EXPECT_EQ(TvStrToken(g.bytes, std::string(400, 'w').c_str(), 256, ' '), nullptr);
  EXPECT_EQ(strlen(g.bytes), 255u);
  EXPECT_TRUE(g.UntouchedFrom(256));
}

TEST(StrSeparators, RunsBecomeOneCommaAndCountOccurrences) {
  char out[64];
  // clang-format off
  const std::pair<const char*, const char*> kLists[] = {
      {"a\nb\nc", "a,b,c"}, {"a\r\nb\r\nc\r\n", "a,b,c"}, {",,\t\r\na,\t,b,,\n", "a,b"},
      {"New York, Paris", "New York, Paris"}, {"\n\n", ""},
  };
  // clang-format on
  for (const auto& [text, expected] : kLists) {
    EXPECT_EQ(TvStrSeparators(out, text, sizeof out), strlen(expected)) << expected;
    EXPECT_STREQ(out, expected);
  }
  // Cut to the buffer without a trailing comma.
  Guarded g;
  EXPECT_EQ(TvStrSeparators(g.bytes, "a\nb", 3), 1u);
  EXPECT_STREQ(g.bytes, "a");
  EXPECT_TRUE(g.UntouchedFrom(3));
  std::string text;
  for (int i = 0; i < 200; ++i) text += "x\n";
  EXPECT_EQ(TvStrSeparators(g.bytes, text.c_str(), 256), 255u);
  EXPECT_EQ(g.bytes[254], 'x');
  EXPECT_TRUE(g.UntouchedFrom(256));
  EXPECT_EQ(TvStrCount("a,b,,c", ','), 3u);
  EXPECT_EQ(TvStrCount("Ærøskøbing", '\xf8'), 2u);
  EXPECT_EQ(TvStrCount("abc", '\0'), 0u);
  EXPECT_EQ(TvStrCount(nullptr, 'a'), 0u);
}

TEST(FileNameMatch, Patterns) {
  const std::string stars(400, '*'), marks(400, '?'), name(400, 'n'), pastEnd = "*" + name + "x";
  // clang-format off
  const struct { const char* pattern; const char* name; int match; } kCases[] = {
      {"data*.d?t", "DATA01.DAT", 1}, {"*", "", 1},  {"a*", "a", 1},         {"**x", "abx", 1},
      {"été.txt", "ÉTÉ.TXT", 1},     {"?", "", 0},   {"abc", "abcd", 0},    {"abcd", "abc", 0},
      {"*.ini", "a.ini.bak", 0},     {"ete.txt", "été.txt", 0},  // case, not diacritics
      // After "*" the literal run is taken at its first occurrence only.
      {"*a", "banana", 0},       {"*nan?", "banana", 1},
      {nullptr, nullptr, 1},     {nullptr, "a", 0},             {"*", nullptr, 1},              {"?", nullptr, 0},
      {stars.c_str(), name.c_str(), 1}, {marks.c_str(), name.c_str(), 1}, {marks.c_str(), "short", 0},
      {pastEnd.c_str(), name.c_str(), 0},
  };
  // clang-format on
  for (const auto& c : kCases)
    EXPECT_EQ(TvFileNameMatch(c.pattern, c.name), c.match)
        << (c.pattern ? c.pattern : "NULL") << " " << (c.name ? c.name : "NULL");
}

const char* const kCustomTexts[] = {"one ", "two ", "three~", "four", "~", nullptr};
const char* const kOtherTexts[] = {"uno", nullptr};
const TvMsgTableEntry kCustomSet[] = {{33, kOtherTexts}, {44, kCustomTexts}, {0, nullptr}};
const TvMsgTableEntry kFrenchOnly[] = {{33, kOtherTexts}, {0, nullptr}};
const TvMsgTableEntry kEmptySet[] = {{0, nullptr}};

TEST(MsgTable, SelectionRuleBeforeStartUpAndTheTablesEnd) {
  ASSERT_EQ(TvCurrentLanguage(), 0);
  EXPECT_STREQ(TvMsgText(TvMsgTable(kTvKernelStringSet, 49), 5), "Januar");
  EXPECT_STREQ(TvMsgText(TvMsgTable(nullptr, 31), 0), "Toepassingsfout");
  // Unknown language, no current language: English, then the first entry.
  EXPECT_STREQ(TvMsgText(TvMsgTable(kTvKernelStringSet, 7), 0), "Application error");
  EXPECT_EQ(TvMsgTable(kCustomSet, 7), kCustomTexts);
  EXPECT_EQ(TvMsgTable(kFrenchOnly, 44), kOtherTexts);
  EXPECT_EQ(TvMsgTable(kEmptySet, 44), nullptr);
  TvMsgTableRef english = TvMsgTable(kTvKernelStringSet, 44);
  EXPECT_STREQ(TvMsgText(english, 47), "N/A");
  for (int number : {48, 1000, -1}) EXPECT_EQ(TvMsgText(english, number), nullptr) << number;
  EXPECT_EQ(TvMsgText(kCustomTexts, 6), nullptr);  // beyond the table's end mark
  EXPECT_EQ(TvMsgText(nullptr, 0), nullptr);
}

// A kernel string keeps the tilde of a cut text; a join runs up to it.
TEST(MsgTable, KernelStringsAndJoinsUpToTheTilde) {
  Guarded g;
  // clang-format off
  const struct { int number; size_t size; const char* expected; } kCases[] = {
      {2, 32, "three~"}, {2, 4, "th~"}, {1, 3, "tw"}, {6, 32, ""}, {-5, 32, ""}, {0, 1, ""}};
  for (const auto& c : kCases) {
    memcpy(g.bytes, "junk", 5);
    EXPECT_EQ(TvKernelString(kCustomTexts, c.number, g.bytes, c.size), strlen(c.expected)) << c.number << " " << c.size;
    EXPECT_STREQ(g.bytes, c.expected);
  }
  EXPECT_EQ(TvKernelString(kCustomTexts, 0, nullptr, 10), 0u);
  TvMsgTableRef english = TvMsgTable(kTvKernelStringSet, 44);
  const struct { TvMsgTableRef table; int number; const char* expected; } kJoins[] = {
      {english, 43, "Cannot access %s\nPlease insert the correct disk"},
      {english, 44, "Please insert the correct disk"}, {kCustomTexts, 0, "one two three"},
      {kCustomTexts, 3, "four"},  // a lone "~" ends the join with nothing added
      {kOtherTexts, 0, "uno"},    // without a "~" the join stops at the table's end
      {TvMsgTable(kTvKernelStringSet, 31), 45, "Kan %s\n niet vindenBreng de juiste schijf inN/A"},
      {kCustomTexts, 99, ""}, {kCustomTexts, -1, ""},
  };
  // clang-format on
  char out[128];
  for (const auto& j : kJoins) {
    memcpy(out, "junk", 5);
    EXPECT_EQ(TvMsgJoin(j.table, j.number, out, sizeof out), strlen(j.expected)) << j.number;
    EXPECT_STREQ(out, j.expected);
  }
  // Nothing into no room; a whole language table into a 256-byte buffer.
  Guarded h;
  EXPECT_EQ(TvKernelString(kCustomTexts, 0, h.bytes, 0) + TvMsgJoin(kCustomTexts, 0, h.bytes, 0), 0u);
  EXPECT_TRUE(h.UntouchedFrom(0));
  EXPECT_EQ(TvMsgJoin(kCustomTexts, 0, nullptr, 10), 0u);
  EXPECT_EQ(TvMsgJoin(TvMsgTable(kTvKernelStringSet, 31), 0, h.bytes, 256), 255u);
  EXPECT_TRUE(h.UntouchedFrom(256));
}

}  // namespace
