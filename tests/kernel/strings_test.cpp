// strings_test.cpp: copies, comparisons, number and switch parsing, tokens,
// separator lists, file-name patterns and the language message tables.
// The source is UTF-8 compiled to code page 1252.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kernel_fixture.h"
#include "tv_catalogue.h"
#include "tv_error.h"
#include "tv_list.h"
#include "tv_log.h"
#include "tv_string.h"

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

int Sign(int value) { return (value > 0) - (value < 0); }

// ---------------------------------------------------------------- copies

TEST(StrCopy, CopyAndAppend) {
  char out[8];
  EXPECT_EQ(TvStrCopy(out, "abcdef", sizeof out), 6u);
  EXPECT_EQ(TvStrCat(out, "xyz", sizeof out), 7u);
  EXPECT_STREQ(out, "abcdefx");
  EXPECT_EQ(TvStrCat(out, "more", sizeof out), 7u);
  EXPECT_STREQ(out, "abcdefx");

  Guarded g;
  EXPECT_EQ(TvStrCopy(g.bytes, std::string(400, 'a').c_str(), 256), 255u);
  EXPECT_EQ(strlen(g.bytes), 255u);
  EXPECT_TRUE(g.UntouchedFrom(256));
  EXPECT_EQ(TvStrCat(g.bytes, "b", 256), 255u);
  EXPECT_TRUE(g.UntouchedFrom(256));
}

TEST(StrCopy, CopyN) {
  Guarded g;
  EXPECT_EQ(TvStrCopyN(g.bytes, "abcdef", 3, 100), 3u);
  EXPECT_STREQ(g.bytes, "abc");
  EXPECT_EQ(TvStrCopyN(g.bytes, "abcdef", 65535, 100), 6u);
  EXPECT_STREQ(g.bytes, "abcdef");
  // Never past the text's end, never more than size - 1.
  EXPECT_EQ(TvStrCopyN(g.bytes, "ab", 10, 100), 2u);
  EXPECT_STREQ(g.bytes, "ab");
  Guarded h;
  EXPECT_EQ(TvStrCopyN(h.bytes, "abcdef", 65535, 4), 3u);
  EXPECT_STREQ(h.bytes, "abc");
  EXPECT_TRUE(h.UntouchedFrom(4));
  EXPECT_EQ(TvStrCopyN(h.bytes, "abcdef", 5, 4), 3u);
  EXPECT_TRUE(h.UntouchedFrom(4));
  EXPECT_EQ(TvStrCopyN(h.bytes, "abcdef", 0, 4), 0u);
  EXPECT_STREQ(h.bytes, "");
  // A count of 65534 is a count, not "all".
  const std::string longText(70000, 'q');
  std::vector<char> big(70001, 'x');
  EXPECT_EQ(TvStrCopyN(big.data(), longText.c_str(), 65534, big.size()), 65534u);
  EXPECT_EQ(TvStrCopyN(big.data(), longText.c_str(), 65535, big.size()), 70000u);
}

TEST(StrCopy, UpperAndLower) {
  char out[64];
  EXPECT_EQ(TvStrUpper(out, "straße école ÿ œ š 7!", sizeof out), strlen("straße école ÿ œ š 7!"));
  EXPECT_STREQ(out, "STRAßE ÉCOLE Ÿ Œ Š 7!");
  EXPECT_EQ(TvStrLower(out, "ÀÉÎ ŠŒŸ ÞÖR ×", sizeof out), strlen("ÀÉÎ ŠŒŸ ÞÖR ×"));
  EXPECT_STREQ(out, "àéî šœÿ þör ×");
  char text[] = "Größe";
  TvStrUpper(text, text, sizeof text);
  EXPECT_STREQ(text, "GRÖßE");
  TvStrLower(text, text, sizeof text);
  EXPECT_STREQ(text, "größe");
  Guarded g;
  EXPECT_EQ(TvStrUpper(g.bytes, "abcdef", 4), 3u);
  EXPECT_STREQ(g.bytes, "ABC");
  EXPECT_TRUE(g.UntouchedFrom(4));
}

TEST(StrCopy, HostileInput) {
  Guarded g;
  EXPECT_EQ(TvStrCopyN(nullptr, "abc", 3, 10), 0u);
  EXPECT_EQ(TvStrCopyN(g.bytes, nullptr, 3, 10), 0u);
  EXPECT_STREQ(g.bytes, "");
  EXPECT_EQ(TvStrCopyN(g.bytes, "abc", 3, 1), 0u);
  EXPECT_STREQ(g.bytes, "");
  Guarded h;
  EXPECT_EQ(TvStrCopyN(h.bytes, "abc", 65535, 0), 0u);
  EXPECT_EQ(TvStrUpper(h.bytes, "abc", 0), 0u);
  EXPECT_EQ(TvStrLower(h.bytes, "abc", 0), 0u);
  EXPECT_TRUE(h.UntouchedFrom(0));
  EXPECT_EQ(TvStrUpper(nullptr, "abc", 10), 0u);
  EXPECT_EQ(TvStrLower(g.bytes, nullptr, 10), 0u);
  EXPECT_STREQ(g.bytes, "");
  EXPECT_EQ(TvStrUpper(g.bytes, "abc", 1), 0u);
  EXPECT_STREQ(g.bytes, "");
  const std::string longText(400, '\xe9');
  Guarded k;
  EXPECT_EQ(TvStrUpper(k.bytes, longText.c_str(), 256), 255u);
  EXPECT_EQ(std::string(k.bytes), std::string(255, '\xc9'));
  EXPECT_TRUE(k.UntouchedFrom(256));
}

// ---------------------------------------------------------------- comparisons

TEST(StrCompare, CollateSortsAccentedLettersNextToPlainOnes) {
  EXPECT_EQ(TvStrCollate("Emile", "Emile"), 0);
  EXPECT_EQ(TvStrCollate("", ""), 0);
  // É (201) is negative as a signed byte, E is not.
  EXPECT_LT(TvStrCollate("Émile", "Emile"), 0);
  EXPECT_GT(TvStrCollate("Emile", "Émile"), 0);
  // The diacritic-free form decides first.
  EXPECT_LT(TvStrCollate("é", "f"), 0);
  EXPECT_GT(TvStrCollate("é", "d"), 0);
  EXPECT_LT(TvStrCollate("Ærø", "B"), 0);
  EXPECT_LT(TvStrCollate("ab", "abc"), 0);
  EXPECT_GT(TvStrCollate("abc", "ab"), 0);
  // Case is not folded: the plain forms differ.
  EXPECT_LT(TvStrCollate("Apple", "apple"), 0);

  std::vector<std::string> words = {"f", "ée", "d", "ed", "e", "ef", "éa"};
  std::sort(words.begin(), words.end(),
            [](const std::string& a, const std::string& b) { return TvStrCollate(a.c_str(), b.c_str()) < 0; });
  EXPECT_EQ(words, (std::vector<std::string>{"d", "éa", "ée", "e", "ed", "ef", "f"}));

  EXPECT_EQ(TvStrCollateN("abcX", "abcY", 3), 0);
  EXPECT_LT(TvStrCollateN("abcX", "abcY", 4), 0);
  EXPECT_EQ(TvStrCollateN("Émile", "Emile", 0), 0);
  EXPECT_LT(TvStrCollateN("Émile", "Emile", 1), 0);
  EXPECT_EQ(TvStrCollateN("ab", "ab", 100), 0);
}

TEST(StrCompare, FoldIgnoresCaseAndDiacritics) {
  EXPECT_EQ(TvStrCompareFold("École", "ecole"), 0);
  EXPECT_EQ(TvStrCompareFold("ÉCOLE", "école"), 0);
  EXPECT_EQ(TvStrCompareFold("Øresund", "oresund"), 0);
  EXPECT_EQ(TvStrCompareFold("Señor", "SENOR"), 0);
  EXPECT_EQ(TvStrCompareFold("Ÿ", "y"), 0);
  EXPECT_LT(TvStrCompareFold("apple", "Banana"), 0);
  EXPECT_GT(TvStrCompareFold("Zürich", "zurab"), 0);
  EXPECT_LT(TvStrCompareFold("ab", "abc"), 0);
  // Signs without a look-alike stay above 127: negative as signed bytes.
  EXPECT_LT(TvStrCompareFold("©", "A"), 0);
  EXPECT_EQ(TvStrCompareFoldN("Zürich", "ZURICHSEE", 6), 0);
  EXPECT_NE(TvStrCompareFoldN("Zürich", "ZURICHSEE", 7), 0);
  EXPECT_EQ(TvStrCompareFoldN("x", "y", 0), 0);
}

TEST(StrCompare, ListAdapters) {
  TvListCompare collate = TvStrCollateItems;
  TvListCompare collateN = TvStrCollateNItems;
  TvListCompare fold = TvStrCompareFoldItems;
  TvListCompare foldN = TvStrCompareFoldNItems;
  const char* a = "Émile";
  const char* b = "emilia";
  // Same answers as the direct compares; the N forms count from the user data.
  EXPECT_EQ(Sign(collate(a, b, 0)), Sign(TvStrCollate(a, b)));
  EXPECT_EQ(Sign(collate(b, a, 99)), Sign(TvStrCollate(b, a)));
  EXPECT_EQ(collateN("abcX", "abcY", 3), 0);
  EXPECT_LT(collateN("abcX", "abcY", 4), 0);
  EXPECT_NE(fold(a, b, 4), 0);
  EXPECT_EQ(foldN(a, b, 4), 0);
  EXPECT_NE(foldN(a, b, 5), 0);
  EXPECT_EQ(foldN(a, b, -3), 0);

  std::vector<const char*> names = {"Zürich", "ångström", "Bern", "aarau", "Ölten", "basel"};
  std::sort(names.begin(), names.end(), [&](const char* x, const char* y) { return fold(x, y, 0) < 0; });
  EXPECT_STREQ(names[0], "aarau");
  EXPECT_STREQ(names[1], "ångström");
  EXPECT_STREQ(names[2], "basel");
  EXPECT_STREQ(names[3], "Bern");
  EXPECT_STREQ(names[4], "Ölten");
  EXPECT_STREQ(names[5], "Zürich");
}

TEST(StrCompare, HostileInput) {
  EXPECT_EQ(TvStrCollate(nullptr, nullptr), 0);
  EXPECT_EQ(TvStrCollate(nullptr, ""), 0);
  EXPECT_LT(TvStrCollate(nullptr, "a"), 0);
  EXPECT_GT(TvStrCompareFold("a", nullptr), 0);
  EXPECT_EQ(TvStrCompareFoldN(nullptr, nullptr, 65535), 0);
  EXPECT_EQ(TvStrCollateN("abc", "abc", SIZE_MAX), 0);
  EXPECT_EQ(TvStrCollateItems(nullptr, nullptr, 0), 0);
  const std::string a(400, '\xe9'), b(400, 'E'), c(400, 'e');
  EXPECT_EQ(TvStrCompareFold(a.c_str(), b.c_str()), 0);
  EXPECT_GT(TvStrCollate(a.c_str(), b.c_str()), 0);  // plain e after E
  EXPECT_LT(TvStrCollate(a.c_str(), c.c_str()), 0);  // plain forms equal: é is negative
}

// ---------------------------------------------------------------- numbers

TEST(StrToInt, DatesAndLists) {
  const char* text = "12/05/2003";
  const char* end = nullptr;
  EXPECT_EQ(TvStrToInt(text, &end), 12);
  EXPECT_EQ(end, text + 3);
  EXPECT_EQ(TvStrToInt(end, &end), 5);
  EXPECT_STREQ(end, "2003");
  EXPECT_EQ(TvStrToInt(end, &end), 2003);
  EXPECT_STREQ(end, "");

  text = " 1 , 2:3  ,  4x";
  EXPECT_EQ(TvStrToInt(text, &end), 1);
  EXPECT_EQ(TvStrToInt(end, &end), 2);
  EXPECT_EQ(TvStrToInt(end, &end), 3);
  EXPECT_EQ(TvStrToInt(end, &end), 4);
  EXPECT_STREQ(end, "x");

  // An empty item is 0 and its separator is passed over.
  EXPECT_EQ(TvStrToInt(",7", &end), 0);
  EXPECT_STREQ(end, "7");
  EXPECT_EQ(TvStrToInt("/", &end), 0);
  EXPECT_STREQ(end, "");
}

TEST(StrToInt, FormsOfNumbers) {
  EXPECT_EQ(TvStrToInt("0x1F", nullptr), 31);
  EXPECT_EQ(TvStrToInt("-0x10", nullptr), -16);
  EXPECT_EQ(TvStrToInt("x1", nullptr), 0);
  EXPECT_EQ(TvStrToInt("0X7fffFFFF", nullptr), 2147483647);
  EXPECT_EQ(TvStrToInt("+42", nullptr), 42);
  EXPECT_EQ(TvStrToInt("-42abc", nullptr), -42);
  EXPECT_EQ(TvStrToInt("   -2147483648", nullptr), INT32_MIN);
  EXPECT_EQ(TvStrToInt("'A", nullptr), 65);
  EXPECT_EQ(TvStrToInt("'\xe9", nullptr), 0xE9);
  EXPECT_EQ(TvStrToInt("'", nullptr), 0);
  EXPECT_EQ(TvStrToInt("", nullptr), 0);
  EXPECT_EQ(TvStrToInt("   ", nullptr), 0);
  EXPECT_EQ(TvStrToInt("-", nullptr), 0);
  EXPECT_EQ(TvStrToInt("+-5", nullptr), 0);
  // Values wrap at 32 bits.
  EXPECT_EQ(TvStrToInt("4294967297", nullptr), 1);
  EXPECT_EQ(TvStrToInt("0x100000002", nullptr), 2);
  EXPECT_EQ(TvStrToInt("4294967295", nullptr), -1);

  const char* end = nullptr;
  const char* text = "-x";  // no digit: nothing read
  EXPECT_EQ(TvStrToInt(text, &end), 0);
  EXPECT_EQ(end, text);
  text = "0xg";  // "0x" without a hexadecimal digit is the number 0
  EXPECT_EQ(TvStrToInt(text, &end), 0);
  EXPECT_EQ(end, text + 1);
}

TEST(StrToInt, HostileInput) {
  const char* end = reinterpret_cast<const char*>(1);
  EXPECT_EQ(TvStrToInt(nullptr, &end), 0);
  ASSERT_NE(end, nullptr);
  EXPECT_STREQ(end, "");
  EXPECT_EQ(TvStrToInt(nullptr, nullptr), 0);
  const std::string digits(400, '9');
  EXPECT_EQ(TvStrToInt(digits.c_str(), &end), static_cast<int32_t>(UINT32_MAX));  // 10^400 - 1 wraps to -1
  EXPECT_STREQ(end, "");
  const std::string spaces(400, ' ');
  EXPECT_EQ(TvStrToInt(spaces.c_str(), &end), 0);
  EXPECT_STREQ(end, "");
}

TEST(StrToInt64, Flags) {
  const char* end = nullptr;
  EXPECT_EQ(TvStrToInt64("9223372036854775807", 0, nullptr), INT64_MAX);
  EXPECT_EQ(TvStrToInt64("-9223372036854775808", 0, nullptr), INT64_MIN);
  EXPECT_EQ(TvStrToInt64("18446744073709551617", 0, nullptr), 1);  // wraps at 64 bits
  EXPECT_EQ(TvStrToInt64("0x1234567890", 0, nullptr), 0x1234567890);
  EXPECT_EQ(TvStrToInt64("-0x10", 0, nullptr), -16);
  EXPECT_EQ(TvStrToInt64("'z", 0, nullptr), 'z');

  // Leading spaces only with 0x1000.
  EXPECT_EQ(TvStrToInt64("  12", 0, nullptr), 0);
  EXPECT_EQ(TvStrToInt64("  12", 0x1000, nullptr), 12);

  // 1: the next character's code.
  EXPECT_EQ(TvStrToInt64("A1", 1, &end), 'A');
  EXPECT_STREQ(end, "1");
  EXPECT_EQ(TvStrToInt64("\xff", 1, nullptr), 255);
  EXPECT_EQ(TvStrToInt64("", 1, &end), 0);
  EXPECT_STREQ(end, "");
  // 2: hexadecimal, 4: decimal; no sign outside detection.
  EXPECT_EQ(TvStrToInt64("ff", 2, &end), 255);
  EXPECT_STREQ(end, "");
  EXPECT_EQ(TvStrToInt64("0x10", 2, nullptr), 16);
  EXPECT_EQ(TvStrToInt64("-5", 2, nullptr), 0);
  EXPECT_EQ(TvStrToInt64("0x10", 4, &end), 0);
  EXPECT_STREQ(end, "x10");
  EXPECT_EQ(TvStrToInt64("ff", 4, nullptr), 0);
  EXPECT_EQ(TvStrToInt64("-5", 4, &end), 0);
  EXPECT_STREQ(end, "-5");
  EXPECT_EQ(TvStrToInt64("123", 4, nullptr), 123);
  EXPECT_EQ(TvStrToInt64("'5", 4, nullptr), 0);

  // 0x2000: the trailing separator step.
  EXPECT_EQ(TvStrToInt64("12 / 5", 0, &end), 12);
  EXPECT_STREQ(end, " / 5");
  EXPECT_EQ(TvStrToInt64("12 / 5", 0x2000, &end), 12);
  EXPECT_STREQ(end, "5");
  EXPECT_EQ(TvStrToInt64(" 7,8", 0x3004, &end), 7);
  EXPECT_STREQ(end, "8");
}

TEST(StrToInt64, HostileInput) {
  const char* end = nullptr;
  EXPECT_EQ(TvStrToInt64(nullptr, 0x3000, &end), 0);
  ASSERT_NE(end, nullptr);
  EXPECT_STREQ(end, "");
  for (uint32_t flags : {0u, 1u, 2u, 4u, 7u, 0x1000u, 0x2000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(TvStrToInt64("", flags, &end), 0) << flags;
    EXPECT_STREQ(end, "");
    const std::string text(400, 'f');
    TvStrToInt64(text.c_str(), flags, &end);
    EXPECT_GE(end, text.c_str());
    EXPECT_LE(end, text.c_str() + text.size());
  }
}

TEST(StrToBool, Words) {
  for (const char* yes : {"1", "T", "t", "Y", "y", "yes", "True", "On", "oN", "  Y", "ONE"})
    EXPECT_TRUE(TvStrToBool(yes)) << yes;
  for (const char* no : {"0", "N", "no", "F", "false", "Off", "O", "", "  ", "2", "x", "\xd4n"})
    EXPECT_FALSE(TvStrToBool(no)) << no;
  EXPECT_FALSE(TvStrToBool(nullptr));
  EXPECT_FALSE(TvStrToBool(std::string(400, ' ').c_str()));
}

TEST(StrToBool, Checked) {
  int result = -7;
  for (const char* yes : {"1", "T", "t", "Y", "y", "On", "on", " yes"}) {
    result = -7;
    EXPECT_EQ(TvStrToBoolChecked(yes, &result, 5), TvOk) << yes;
    EXPECT_EQ(result, 1) << yes;
  }
  for (const char* no : {"0", "F", "f", "N", "n", "Off", "oF", " no"}) {
    result = -7;
    EXPECT_EQ(TvStrToBoolChecked(no, &result, 5), TvOk) << no;
    EXPECT_EQ(result, 0) << no;
  }
  for (const char* bad : {"", "  ", "2", "maybe", "O", "Ox", "-1", "\xe9"}) {
    result = -7;
    EXPECT_EQ(TvStrToBoolChecked(bad, &result, 5), TvErrInputChars) << bad;
    EXPECT_EQ(result, 5) << bad;
  }
  result = -7;
  EXPECT_EQ(TvStrToBoolChecked(nullptr, &result, 1), TvErrInputChars);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(TvStrToBoolChecked("y", nullptr, 0), TvOk);
  EXPECT_EQ(TvStrToBoolChecked("bad", nullptr, 0), TvErrInputChars);
  EXPECT_EQ(TvStrToBoolChecked(std::string(400, 'z').c_str(), &result, 0), TvErrInputChars);
}

class StrToBoolLog : public tvtest::KernelTest {};

// A bad switch is a status for the caller, not an error in the log.
TEST_F(StrToBoolLog, RejectionIsNotLogged) {
  const std::string log = dir / "errors.log";
  ASSERT_EQ(StartWith("[TvDefault]\nLogFile=" + log + "\nLogErrors=Y\n"), 0);
  int result = 0;
  EXPECT_EQ(TvStrToBoolChecked("maybe", &result, 1), TvErrInputChars);
  TvErrorRaise(TvErrFileNotFound, "marker", TvRaiseOrigin);
  TvLogClose();
  const std::string written = tvtest::ReadFile(log);
  EXPECT_NE(written.find("> File not found (marker)"), std::string::npos) << written;
  EXPECT_EQ(written.find("Invalid input"), std::string::npos) << written;
}

// ---------------------------------------------------------------- tokens and lists

TEST(StrToken, SeparatorCharacter) {
  char item[16];
  const char* rest = TvStrToken(item, "a,,b", sizeof item, ',');
  EXPECT_STREQ(item, "a");
  ASSERT_NE(rest, nullptr);
  rest = TvStrToken(item, rest, sizeof item, ',');
  EXPECT_STREQ(item, "");
  ASSERT_NE(rest, nullptr);
  rest = TvStrToken(item, rest, sizeof item, ',');
  EXPECT_STREQ(item, "b");
  EXPECT_EQ(rest, nullptr);

  // A trailing separator leaves one empty item.
  rest = TvStrToken(item, "x;", sizeof item, ';');
  EXPECT_STREQ(item, "x");
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(rest, "");
  rest = TvStrToken(item, rest, sizeof item, ';');
  EXPECT_STREQ(item, "");
  EXPECT_EQ(rest, nullptr);

  // Spaces belong to the item when they are not the separator.
  rest = TvStrToken(item, " a b |c", sizeof item, '|');
  EXPECT_STREQ(item, " a b ");
  EXPECT_STREQ(rest, "c");

  // An over-long item is cut and the rest of it skipped.
  Guarded g;
  rest = TvStrToken(g.bytes, "abcdefgh,next", 4, ',');
  EXPECT_STREQ(g.bytes, "abc");
  EXPECT_TRUE(g.UntouchedFrom(4));
  EXPECT_STREQ(rest, "next");
}

TEST(StrToken, WhiteSpace) {
  char item[16];
  const char* text = "  one\ttwo\r\n\v\f three  ";
  std::vector<std::string> items;
  const char* rest = text;
  do {
    rest = TvStrToken(item, rest, sizeof item, ' ');
    items.push_back(item);
  } while (rest && items.size() < 10);
  EXPECT_EQ(items, (std::vector<std::string>{"one", "two", "three"}));

  EXPECT_EQ(TvStrToken(item, "   ", sizeof item, ' '), nullptr);
  EXPECT_STREQ(item, "");
  EXPECT_EQ(TvStrToken(item, "", sizeof item, ' '), nullptr);
  EXPECT_STREQ(item, "");
  rest = TvStrToken(item, "longer-than-this x", 7, ' ');
  EXPECT_STREQ(item, "longer");
  EXPECT_STREQ(rest, "x");
}

TEST(StrToken, HostileInput) {
  char item[8] = "junk";
  EXPECT_EQ(TvStrToken(item, nullptr, sizeof item, ','), nullptr);
  EXPECT_STREQ(item, "");
  // No buffer: the item is skipped all the same.
  EXPECT_STREQ(TvStrToken(nullptr, "a,b", 10, ','), "b");
  Guarded g;
  EXPECT_STREQ(TvStrToken(g.bytes, "a,b", 0, ','), "b");
  EXPECT_TRUE(g.UntouchedFrom(0));
  EXPECT_STREQ(TvStrToken(g.bytes, "a,b", 1, ','), "b");
  EXPECT_STREQ(g.bytes, "");
  // NUL as separator: the whole text is one item.
  EXPECT_EQ(TvStrToken(item, "abc", sizeof item, '\0'), nullptr);
  EXPECT_STREQ(item, "abc");
  const std::string longText(400, 'w');
  Guarded h;
  EXPECT_EQ(TvStrToken(h.bytes, longText.c_str(), 256, ' '), nullptr);
  EXPECT_EQ(strlen(h.bytes), 255u);
  EXPECT_TRUE(h.UntouchedFrom(256));
}

TEST(StrSeparators, RunsBecomeOneComma) {
  char out[64];
  EXPECT_EQ(TvStrSeparators(out, "a\nb\nc", sizeof out), 5u);
  EXPECT_STREQ(out, "a,b,c");
  TvStrSeparators(out, "a\r\nb\r\nc\r\n", sizeof out);
  EXPECT_STREQ(out, "a,b,c");
  TvStrSeparators(out, ",,\t\r\na,\t,b,,\n", sizeof out);
  EXPECT_STREQ(out, "a,b");
  TvStrSeparators(out, "New York, Paris", sizeof out);
  EXPECT_STREQ(out, "New York, Paris");
  TvStrSeparators(out, "\n\n", sizeof out);
  EXPECT_STREQ(out, "");
  // Cut to the buffer without a trailing comma.
  Guarded g;
  EXPECT_EQ(TvStrSeparators(g.bytes, "a\nb", 3), 1u);
  EXPECT_STREQ(g.bytes, "a");
  EXPECT_TRUE(g.UntouchedFrom(3));
  EXPECT_EQ(TvStrSeparators(g.bytes, "a\nb", 4), 3u);
  EXPECT_STREQ(g.bytes, "a,b");
}

TEST(StrSeparators, HostileInput) {
  Guarded g;
  EXPECT_EQ(TvStrSeparators(nullptr, "a", 10), 0u);
  EXPECT_EQ(TvStrSeparators(g.bytes, "a", 0), 0u);
  EXPECT_TRUE(g.UntouchedFrom(0));
  EXPECT_EQ(TvStrSeparators(g.bytes, "a", 1), 0u);
  EXPECT_STREQ(g.bytes, "");
  EXPECT_EQ(TvStrSeparators(g.bytes, nullptr, 10), 0u);
  EXPECT_STREQ(g.bytes, "");
  std::string text;
  for (int i = 0; i < 200; ++i) text += "x\n";
  Guarded h;
  EXPECT_EQ(TvStrSeparators(h.bytes, text.c_str(), 256), 255u);
  EXPECT_EQ(h.bytes[254], 'x');
  EXPECT_TRUE(h.UntouchedFrom(256));
}

TEST(StrCount, Occurrences) {
  EXPECT_EQ(TvStrCount("a,b,,c", ','), 3u);
  EXPECT_EQ(TvStrCount("Ærøskøbing", '\xf8'), 2u);
  EXPECT_EQ(TvStrCount("abc", 'z'), 0u);
  EXPECT_EQ(TvStrCount("abc", '\0'), 0u);
  EXPECT_EQ(TvStrCount(nullptr, 'a'), 0u);
  EXPECT_EQ(TvStrCount(std::string(400, '+').c_str(), '+'), 400u);
}

TEST(FileNameMatch, Patterns) {
  EXPECT_EQ(TvFileNameMatch("*.ini", "TVISX.INI"), 1);
  EXPECT_EQ(TvFileNameMatch("tv?sx.ini", "TVISX.INI"), 1);
  EXPECT_EQ(TvFileNameMatch("data*.d?t", "DATA01.DAT"), 1);
  EXPECT_EQ(TvFileNameMatch("*", "anything.at.all"), 1);
  EXPECT_EQ(TvFileNameMatch("*", ""), 1);
  EXPECT_EQ(TvFileNameMatch("a*", "a"), 1);
  EXPECT_EQ(TvFileNameMatch("*.*", "readme.txt"), 1);
  EXPECT_EQ(TvFileNameMatch("**x", "abx"), 1);
  EXPECT_EQ(TvFileNameMatch("été.txt", "ÉTÉ.TXT"), 1);
  EXPECT_EQ(TvFileNameMatch("", ""), 1);
  EXPECT_EQ(TvFileNameMatch("*.txt", "a.ini"), 0);
  EXPECT_EQ(TvFileNameMatch("?", ""), 0);
  EXPECT_EQ(TvFileNameMatch("abc", "abcd"), 0);
  EXPECT_EQ(TvFileNameMatch("abcd", "abc"), 0);
  EXPECT_EQ(TvFileNameMatch("*.ini", "a.ini.bak"), 0);
  EXPECT_EQ(TvFileNameMatch("ete.txt", "été.txt"), 0);  // case, not diacritics
  // After "*" the literal run is taken at its first occurrence only.
  EXPECT_EQ(TvFileNameMatch("*a", "banana"), 0);
  EXPECT_EQ(TvFileNameMatch("*nan?", "banana"), 1);
}

TEST(FileNameMatch, HostileInput) {
  EXPECT_EQ(TvFileNameMatch(nullptr, nullptr), 1);
  EXPECT_EQ(TvFileNameMatch(nullptr, "a"), 0);
  EXPECT_EQ(TvFileNameMatch("*", nullptr), 1);
  EXPECT_EQ(TvFileNameMatch("?", nullptr), 0);
  const std::string stars(400, '*'), marks(400, '?'), name(400, 'n');
  EXPECT_EQ(TvFileNameMatch(stars.c_str(), name.c_str()), 1);
  EXPECT_EQ(TvFileNameMatch(marks.c_str(), name.c_str()), 1);
  EXPECT_EQ(TvFileNameMatch(marks.c_str(), "short"), 0);
  EXPECT_EQ(TvFileNameMatch(("*" + name + "x").c_str(), name.c_str()), 0);
}

// ---------------------------------------------------------------- message tables

const char* const kCustomTexts[] = {"one ", "two ", "three~", "four", "~", nullptr};
const char* const kOtherTexts[] = {"uno", nullptr};
const TvMsgTableEntry kCustomSet[] = {{33, kOtherTexts}, {44, kCustomTexts}, {0, nullptr}};
const TvMsgTableEntry kFrenchOnly[] = {{33, kOtherTexts}, {0, nullptr}};
const TvMsgTableEntry kEmptySet[] = {{0, nullptr}};

TEST(MsgTable, SelectionRuleBeforeStartUp) {
  ASSERT_EQ(TvCurrentLanguage(), 0);
  EXPECT_STREQ(TvMsgText(TvMsgTable(kTvKernelStringSet, 49), 5), "Januar");
  EXPECT_STREQ(TvMsgText(TvMsgTable(kTvKernelStringSet, 33), 29), "dimanche");
  EXPECT_STREQ(TvMsgText(TvMsgTable(nullptr, 31), 0), "Toepassingsfout");
  // Unknown language, no current language: English, then the first entry.
  EXPECT_STREQ(TvMsgText(TvMsgTable(kTvKernelStringSet, 7), 0), "Application error");
  EXPECT_EQ(TvMsgTable(kCustomSet, 7), kCustomTexts);
  EXPECT_EQ(TvMsgTable(kFrenchOnly, 44), kOtherTexts);
  EXPECT_EQ(TvMsgTable(kEmptySet, 44), nullptr);
  EXPECT_EQ(TvMsgTable(kCustomSet, 0), kCustomTexts);
}

class MsgTableStarted : public tvtest::KernelTest {};

TEST_F(MsgTableStarted, CurrentLanguageComesSecond) {
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=33\n"), 0);
  EXPECT_EQ(TvCurrentLanguage(), 33);
  EXPECT_STREQ(TvMsgText(TvMsgTable(kTvKernelStringSet, 7), 5), "janvier");
  EXPECT_STREQ(TvMsgText(TvMsgTable(kTvKernelStringSet, 44), 5), "January");
  EXPECT_EQ(TvMsgTable(kCustomSet, 7), kOtherTexts);
  // The catalogue and the kernel strings follow the same rule.
  EXPECT_EQ(TvKernelStringTable(7), TvMsgTable(kTvKernelStringSet, 7));
  EXPECT_EQ(TvLanguageChoose(7), 33);
  EXPECT_STREQ(TvErrorText(-1010, 7), "Fichier introuvable");
  char out[64];
  TvKernelString(nullptr, 1, out, sizeof out);
  EXPECT_STREQ(out, "&OK");
  TvMsgJoin(nullptr, 45, out, sizeof out);
  EXPECT_EQ(std::string(out).substr(0, 27), "Impossible de trouver %s\nIn");
}

TEST(MsgTable, TextsAndTheirEnd) {
  TvMsgTableRef english = TvMsgTable(kTvKernelStringSet, 44);
  EXPECT_STREQ(TvMsgText(english, 0), "Application error");
  EXPECT_STREQ(TvMsgText(english, 47), "N/A");
  EXPECT_EQ(TvMsgText(english, 48), nullptr);
  EXPECT_EQ(TvMsgText(english, 1000), nullptr);
  EXPECT_EQ(TvMsgText(english, -1), nullptr);
  EXPECT_EQ(TvMsgText(nullptr, 0), nullptr);
  EXPECT_STREQ(TvMsgText(kCustomTexts, 2), "three~");
  EXPECT_EQ(TvMsgText(kCustomTexts, 5), nullptr);
  EXPECT_EQ(TvMsgText(kCustomTexts, 6), nullptr);
}

TEST(MsgTable, KernelStringCopies) {
  char out[32];
  EXPECT_EQ(TvKernelString(kCustomTexts, 2, out, sizeof out), 6u);
  EXPECT_STREQ(out, "three~");
  EXPECT_EQ(TvKernelString(kCustomTexts, 2, out, 4), 3u);
  EXPECT_STREQ(out, "th~");
  EXPECT_EQ(TvKernelString(kCustomTexts, 1, out, 3), 2u);
  EXPECT_STREQ(out, "tw");
  memcpy(out, "junk", 5);
  EXPECT_EQ(TvKernelString(kCustomTexts, 6, out, sizeof out), 0u);
  EXPECT_STREQ(out, "");
  memcpy(out, "junk", 5);
  EXPECT_EQ(TvKernelString(kCustomTexts, -5, out, sizeof out), 0u);
  EXPECT_STREQ(out, "");
  Guarded g;
  EXPECT_EQ(TvKernelString(kCustomTexts, 0, g.bytes, 0), 0u);
  EXPECT_TRUE(g.UntouchedFrom(0));
  EXPECT_EQ(TvKernelString(kCustomTexts, 0, nullptr, 10), 0u);
}

TEST(MsgTable, JoinUpToTheTilde) {
  TvMsgTableRef english = TvMsgTable(kTvKernelStringSet, 44);
  char out[128];
  EXPECT_EQ(TvMsgJoin(english, 43, out, sizeof out), strlen("Cannot access %s\nPlease insert the correct disk"));
  EXPECT_STREQ(out, "Cannot access %s\nPlease insert the correct disk");
  TvMsgJoin(english, 45, out, sizeof out);
  EXPECT_STREQ(out, "Cannot find %s\nPlease insert the correct disk");
  TvMsgJoin(english, 44, out, sizeof out);
  EXPECT_STREQ(out, "Please insert the correct disk");

  EXPECT_EQ(TvMsgJoin(kCustomTexts, 0, out, sizeof out), 13u);
  EXPECT_STREQ(out, "one two three");
  // A lone "~" ends the join with nothing added.
  TvMsgJoin(kCustomTexts, 3, out, sizeof out);
  EXPECT_STREQ(out, "four");
  // Without a "~" the join stops at the end of the table.
  TvMsgJoin(kOtherTexts, 0, out, sizeof out);
  EXPECT_STREQ(out, "uno");
  TvMsgTableRef dutch = TvMsgTable(kTvKernelStringSet, 31);
  TvMsgJoin(dutch, 45, out, sizeof out);
  EXPECT_STREQ(out, "Kan %s\n niet vindenBreng de juiste schijf inN/A");

  Guarded g;
  EXPECT_EQ(TvMsgJoin(kCustomTexts, 0, g.bytes, 6), 5u);
  EXPECT_STREQ(g.bytes, "one t");
  EXPECT_TRUE(g.UntouchedFrom(6));
  EXPECT_EQ(TvMsgJoin(kCustomTexts, 0, g.bytes, 1), 0u);
  EXPECT_STREQ(g.bytes, "");
}

TEST(MsgTable, JoinHostileInput) {
  char out[16] = "junk";
  EXPECT_EQ(TvMsgJoin(kCustomTexts, 99, out, sizeof out), 0u);
  EXPECT_STREQ(out, "");
  memcpy(out, "junk", 5);
  EXPECT_EQ(TvMsgJoin(kCustomTexts, -1, out, sizeof out), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(TvMsgJoin(kCustomTexts, 0, nullptr, 10), 0u);
  Guarded g;
  EXPECT_EQ(TvMsgJoin(kCustomTexts, 0, g.bytes, 0), 0u);
  EXPECT_TRUE(g.UntouchedFrom(0));
  // Joining a whole language table into a small buffer.
  Guarded h;
  EXPECT_EQ(TvMsgJoin(TvMsgTable(kTvKernelStringSet, 31), 0, h.bytes, 256), 255u);
  EXPECT_TRUE(h.UntouchedFrom(256));
}

}  // namespace
