// charset_test.cpp: the character tables, conversion between the ANSI, DOS
// and EBCDIC sets, set names, transliteration and the OEM set read at
// start-up.
//
// The expected code-page values below are written out by hand from the
// published code pages 850, 37 and 1252, not taken from the kernel's tables.
// The source is UTF-8 compiled to code page 1252, so an accented literal is
// the single byte the kernel works with.
#include <cstdint>
#include <cstring>
#include <string>

#include "kernel_fixture.h"
#include "tv_charset.h"
#include "tv_error.h"
#include "tv_ini.h"

namespace {

struct Pair {
  uint8_t set;   // the byte in the DOS or EBCDIC set
  uint8_t ansi;  // the same character in code page 1252
};

// One character converted from one set to another.
uint8_t Convert(uint32_t target, uint8_t c, uint32_t source) {
  const char in[2] = {static_cast<char>(c), '\0'};
  char out[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(TvCharsetConvert(out, sizeof out, target, in, source), TvOk) << "byte " << int(c);
  EXPECT_EQ(out[1], '\0') << "byte " << int(c);
  return static_cast<uint8_t>(out[0]);
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

std::string Name(uint32_t id) {
  char out[64];
  EXPECT_EQ(TvCharsetName(id, out, sizeof out), TvOk) << std::hex << id;
  return out;
}

std::string Translit(uint32_t flags, uint16_t language, const char* text, uint16_t length = kTvTextToNul) {
  char out[256];
  size_t n = TvTransliterate(flags, language, out, sizeof out, text, length);
  EXPECT_EQ(n, strlen(out));
  return out;
}

// ---------------------------------------------------------------- tables

TEST(CharTables, ClassesFollowTheAsciiRules) {
  EXPECT_EQ(tvCharClass['A'], TvCharPrintable | TvCharLetter | TvCharUpper);
  EXPECT_EQ(tvCharClass['z'], TvCharPrintable | TvCharLetter | TvCharLower);
  EXPECT_EQ(tvCharClass['7'], TvCharPrintable | TvCharDigit);
  EXPECT_EQ(tvCharClass['!'], TvCharPrintable | TvCharPunct);
  EXPECT_EQ(tvCharClass[' '], TvCharPrintable | TvCharSpace);
  for (int c : {9, 10, 11, 12, 13}) EXPECT_EQ(tvCharClass[c], TvCharControl | TvCharSpace) << c;
  EXPECT_EQ(tvCharClass[0], TvCharControl);
  EXPECT_EQ(tvCharClass[127], TvCharControl);
  // Characters above 127 carry no flags, accented letters included.
  for (int c = 128; c < 256; ++c) EXPECT_EQ(tvCharClass[c], 0) << c;
}

TEST(CharTables, CaseTablesFollowCodePage1252) {
  EXPECT_EQ(tvCharUpper['a'], 'A');
  EXPECT_EQ(tvCharUpper['Z'], 'Z');
  EXPECT_EQ(tvCharUpper['5'], '5');
  EXPECT_EQ(tvCharUpper[0x9A], 0x8A);  // š Š
  EXPECT_EQ(tvCharUpper[0x9C], 0x8C);  // œ Œ
  EXPECT_EQ(tvCharUpper[0xE9], 0xC9);  // é É
  EXPECT_EQ(tvCharUpper[0xE0], 0xC0);  // à À
  EXPECT_EQ(tvCharUpper[0xFE], 0xDE);  // þ Þ
  EXPECT_EQ(tvCharUpper[0xFF], 0x9F);  // ÿ Ÿ
  EXPECT_EQ(tvCharUpper[0xF7], 0xF7);  // ÷ has no case
  EXPECT_EQ(tvCharUpper[0xDF], 0xDF);  // ß has no capital here
  EXPECT_EQ(tvCharUpper[0xB5], 0xB5);  // µ
  EXPECT_EQ(tvCharLower['Q'], 'q');
  EXPECT_EQ(tvCharLower[0x8A], 0x9A);
  EXPECT_EQ(tvCharLower[0x8C], 0x9C);
  EXPECT_EQ(tvCharLower[0xC0], 0xE0);
  EXPECT_EQ(tvCharLower[0xDE], 0xFE);
  EXPECT_EQ(tvCharLower[0x9F], 0xFF);
  EXPECT_EQ(tvCharLower[0xD7], 0xD7);  // × has no case
  // Upper and lower case are each other's inverse on every letter pair.
  for (int c = 0; c < 256; ++c) {
    if (tvCharUpper[c] != c) {
      EXPECT_EQ(tvCharLower[tvCharUpper[c]], c) << c;
    }
    if (tvCharLower[c] != c) {
      EXPECT_EQ(tvCharUpper[tvCharLower[c]], c) << c;
    }
  }
}

TEST(CharTables, DiacriticFreeForms) {
  for (int c = 0; c < 128; ++c) EXPECT_EQ(tvCharPlain[c], c) << c;
  for (int c = 192; c <= 197; ++c) EXPECT_EQ(tvCharPlain[c], 'A') << c;
  EXPECT_EQ(tvCharPlain[199], 'C');
  EXPECT_EQ(tvCharPlain[209], 'N');
  EXPECT_EQ(tvCharPlain[223], 'S');
  EXPECT_EQ(tvCharPlain[255], 'y');
  EXPECT_EQ(TvToPlain('\xe9'), 'e');   // é
  EXPECT_EQ(TvToPlain('\xc8'), 'E');   // È
  EXPECT_EQ(TvToPlain('\xf6'), 'o');   // ö
  EXPECT_EQ(TvToPlain('\xd8'), 'O');   // Ø
  EXPECT_EQ(TvToPlain('\xfc'), 'u');   // ü
  EXPECT_EQ(TvToPlain('\x8a'), 'S');   // Š
  EXPECT_EQ(TvToPlain('\x9e'), 'z');   // ž
  EXPECT_EQ(TvToPlain('\xdd'), 'Y');   // Ý
  EXPECT_EQ(TvToPlain('\xf1'), 'n');   // ñ
  // Typographic signs become their ASCII look-alikes.
  EXPECT_EQ(TvToPlain('\x91'), '\'');  // ‘
  EXPECT_EQ(TvToPlain('\x92'), '\'');  // ’
  EXPECT_EQ(TvToPlain('\x93'), '"');   // “
  EXPECT_EQ(TvToPlain('\x94'), '"');   // ”
  EXPECT_EQ(TvToPlain('\x84'), '"');   // „
  EXPECT_EQ(TvToPlain('\x96'), '-');   // –
  EXPECT_EQ(TvToPlain('\x97'), '-');   // —
  EXPECT_EQ(TvToPlain('\xab'), '"');   // «
  EXPECT_EQ(TvToPlain('\xa0'), ' ');   // non-breaking space
  EXPECT_EQ(TvToPlain('\xad'), '-');   // soft hyphen
  // Every accented letter has a plain ASCII letter of the same case.
  for (int c = 192; c < 256; ++c) {
    if (c == 215 || c == 247) continue;  // × ÷
    const uint8_t plain = tvCharPlain[c];
    EXPECT_TRUE(tvCharClass[plain] & TvCharLetter) << c;
    if (c != 223) {
      EXPECT_EQ(bool(tvCharClass[plain] & TvCharUpper), c < 224) << c;
    }
  }
}

// ---------------------------------------------------------------- DOS

// Characters that code pages 850 and 1252 share, with both positions.
const Pair kDosShared[] = {
    {0x80, 0xC7},  // Ç
    {0x81, 0xFC},  // ü
    {0x82, 0xE9},  // é
    {0x84, 0xE4},  // ä
    {0x85, 0xE0},  // à
    {0x86, 0xE5},  // å
    {0x87, 0xE7},  // ç
    {0x88, 0xEA},  // ê
    {0x8A, 0xE8},  // è
    {0x8E, 0xC4},  // Ä
    {0x8F, 0xC5},  // Å
    {0x90, 0xC9},  // É
    {0x91, 0xE6},  // æ
    {0x92, 0xC6},  // Æ
    {0x94, 0xF6},  // ö
    {0x98, 0xFF},  // ÿ
    {0x99, 0xD6},  // Ö
    {0x9A, 0xDC},  // Ü
    {0x9B, 0xF8},  // ø
    {0x9C, 0xA3},  // £
    {0x9D, 0xD8},  // Ø
    {0x9E, 0xD7},  // ×
    {0x9F, 0x83},  // ƒ
    {0xA0, 0xE1},  // á
    {0xA1, 0xED},  // í
    {0xA2, 0xF3},  // ó
    {0xA3, 0xFA},  // ú
    {0xA4, 0xF1},  // ñ
    {0xA5, 0xD1},  // Ñ
    {0xA8, 0xBF},  // ¿
    {0xAA, 0xAC},  // ¬
    {0xAD, 0xA1},  // ¡
    {0xAE, 0xAB},  // «
    {0xAF, 0xBB},  // »
    {0xB5, 0xC1},  // Á
    {0xB8, 0xA9},  // ©
    {0xBD, 0xA2},  // ¢
    {0xBE, 0xA5},  // ¥
    {0xC6, 0xE3},  // ã
    {0xCF, 0xA4},  // ¤
    {0xD0, 0xF0},  // ð
    {0xD1, 0xD0},  // Ð
    {0xD4, 0xC8},  // È
    {0xDD, 0xA6},  // ¦
    {0xE0, 0xD3},  // Ó
    {0xE1, 0xDF},  // ß
    {0xE6, 0xB5},  // µ
    {0xE7, 0xFE},  // þ
    {0xE8, 0xDE},  // Þ
    {0xE9, 0xDA},  // Ú
    {0xEC, 0xFD},  // ý
    {0xED, 0xDD},  // Ý
    {0xEE, 0xAF},  // ¯
    {0xEF, 0xB4},  // ´
    {0xF0, 0xAD},  // soft hyphen
    {0xF1, 0xB1},  // ±
    {0xF3, 0xBE},  // ¾
    {0xF4, 0xB6},  // ¶
    {0xF5, 0xA7},  // §
    {0xF8, 0xB0},  // °
    {0xFD, 0xB2},  // ²
    {'A', 'A'},    {'z', 'z'}, {'0', '0'}, {'~', '~'}, {'\t', '\t'}, {'\n', '\n'},
};

TEST(DosCharset, SharedCharactersFollowCodePage850) {
  for (const Pair& p : kDosShared) {
    EXPECT_EQ(Convert(TvCharsetAnsi, p.set, TvCharsetDos), p.ansi) << "DOS " << int(p.set);
    EXPECT_EQ(Convert(TvCharsetDos, p.ansi, TvCharsetAnsi), p.set) << "ANSI " << int(p.ansi);
  }
}

TEST(DosCharset, CharactersWithoutAnsiEquivalent) {
  const Pair kRead[] = {
      {0xB3, 0xA6}, {0xBA, 0xA6},              // │ ║ read as the broken bar
      {0xC4, '-'},  {0xCD, '-'},               // ─ ═
      {0xC5, '+'},  {0xC9, '+'},  {0xBF, '+'}, {0xD9, '+'}, {0xCE, '+'},  // ┼ ╔ ┐ ┘ ╬
      {0xDC, '_'},  {0xF2, '_'},               // ▄ ‗
      {0xDF, '-'},                             // ▀
      {0xD5, 'i'},                             // dotless i
      {0xFF, ' '},                             // non-breaking space
      {15, 0xA4},   {20, 0xB6},   {21, 0xA7},  // ☼ ¶ § of the DOS glyph set
  };
  for (const Pair& p : kRead) EXPECT_EQ(Convert(TvCharsetAnsi, p.set, TvCharsetDos), p.ansi) << int(p.set);
  for (int shade : {0xB0, 0xB1, 0xB2, 0xDB}) {
    const uint8_t c = Convert(TvCharsetAnsi, static_cast<uint8_t>(shade), TvCharsetDos);
    EXPECT_TRUE(c == '+' || c == '-' || c == '_' || c == 0xA6) << shade;
  }
  // ANSI signs that DOS lacks are written as their look-alikes.
  EXPECT_EQ(Convert(TvCharsetDos, 0x93, TvCharsetAnsi), '"');   // “
  EXPECT_EQ(Convert(TvCharsetDos, 0x92, TvCharsetAnsi), '\'');  // ’
  EXPECT_EQ(Convert(TvCharsetDos, 0x96, TvCharsetAnsi), '-');   // –
  EXPECT_EQ(Convert(TvCharsetDos, 0x8A, TvCharsetAnsi), 'S');   // Š
  EXPECT_EQ(Convert(TvCharsetDos, 0x9C, TvCharsetAnsi), 'o');   // œ
  // ANSI positions with no character stay printable rather than becoming
  // DOS letters.
  for (int c : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
    EXPECT_LT(Convert(TvCharsetDos, static_cast<uint8_t>(c), TvCharsetAnsi), 0x80) << c;
}

// ANSI -> DOS -> ANSI gives back every character the two sets share: all
// of ASCII (15, 20 and 21 are DOS glyphs, not controls, on the way back),
// ƒ, and everything from 161 on.
TEST(DosCharset, RoundTripOfSharedCharacters) {
  for (int c = 1; c < 256; ++c) {
    const bool shared = (c < 128 && c != 15 && c != 20 && c != 21) || c == 0x83 || c >= 161;
    if (!shared) continue;
    const uint8_t dos = Convert(TvCharsetDos, static_cast<uint8_t>(c), TvCharsetAnsi);
    EXPECT_EQ(Convert(TvCharsetAnsi, dos, TvCharsetDos), c) << "ANSI " << c << " via DOS " << int(dos);
  }
  // The non-breaking space goes out as DOS 255 and comes back as a space.
  EXPECT_EQ(Convert(TvCharsetDos, 0xA0, TvCharsetAnsi), 0xFF);
  EXPECT_EQ(Convert(TvCharsetAnsi, 0xFF, TvCharsetDos), ' ');
}

// ---------------------------------------------------------------- EBCDIC

const Pair kEbcdicShared[] = {
    {0x40, ' '},  {0x4B, '.'},  {0x4C, '<'},  {0x4D, '('},  {0x4E, '+'},  {0x4F, '|'},  {0x50, '&'},
    {0x5A, '!'},  {0x5B, '$'},  {0x5C, '*'},  {0x5D, ')'},  {0x5E, ';'},  {0x60, '-'},  {0x61, '/'},
    {0x6B, ','},  {0x6C, '%'},  {0x6D, '_'},  {0x6E, '>'},  {0x6F, '?'},  {0x79, '`'},  {0x7A, ':'},
    {0x7B, '#'},  {0x7C, '@'},  {0x7D, '\''}, {0x7E, '='},  {0x7F, '"'},  {0x81, 'a'},  {0x89, 'i'},
    {0x91, 'j'},  {0x99, 'r'},  {0xA1, '~'},  {0xA2, 's'},  {0xA9, 'z'},  {0xB0, '^'},  {0xC0, '{'},
    {0xC1, 'A'},  {0xC9, 'I'},  {0xD0, '}'},  {0xD1, 'J'},  {0xD9, 'R'},  {0xE0, '\\'}, {0xE2, 'S'},
    {0xE9, 'Z'},  {0xF0, '0'},  {0xF9, '9'},
    {0x43, 0xE4},  // ä
    {0x48, 0xE7},  // ç
    {0x49, 0xF1},  // ñ
    {0x4A, 0xA2},  // ¢
    {0x51, 0xE9},  // é
    {0x59, 0xDF},  // ß
    {0x5F, 0xAC},  // ¬
    {0x63, 0xC4},  // Ä
    {0x70, 0xF8},  // ø
    {0x80, 0xD8},  // Ø
    {0x9F, 0xA4},  // ¤
    {0xB1, 0xA3},  // £
    {0xB5, 0xA7},  // §
    {0xBF, 0xD7},  // ×
    {0xCC, 0xF6},  // ö
    {0xDC, 0xFC},  // ü
    {0xE1, 0xF7},  // ÷
    {0xEC, 0xD6},  // Ö
    {0xFC, 0xDC},  // Ü
    {0x05, '\t'}, {0x0D, '\r'}, {0x0C, '\f'},
};

TEST(EbcdicCharset, SharedCharactersFollowCodePage37) {
  for (const Pair& p : kEbcdicShared) {
    EXPECT_EQ(Convert(TvCharsetAnsi, p.set, TvCharsetEbcdic), p.ansi) << "EBCDIC " << int(p.set);
    EXPECT_EQ(Convert(TvCharsetEbcdic, p.ansi, TvCharsetAnsi), p.set) << "ANSI " << int(p.ansi);
  }
}

TEST(EbcdicCharset, BracketsNewLineAndOtherExceptions) {
  char out[16];
  ASSERT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetEbcdic, "[a]", TvCharsetAnsi), TvOk);
  EXPECT_EQ(std::string(out), Bytes({173, 129, 189}));
  ASSERT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetAnsi, Bytes({173, 129, 189}).c_str(), TvCharsetEbcdic), TvOk);
  EXPECT_STREQ(out, "[a]");

  EXPECT_EQ(Convert(TvCharsetAnsi, 186, TvCharsetEbcdic), '!');
  EXPECT_EQ(Convert(TvCharsetAnsi, 187, TvCharsetEbcdic), '!');
  EXPECT_EQ(Convert(TvCharsetAnsi, 65, TvCharsetEbcdic), '!');
  EXPECT_EQ(Convert(TvCharsetAnsi, 106, TvCharsetEbcdic), '|');
  // New line and line feed stand for each other.
  EXPECT_EQ(Convert(TvCharsetAnsi, 21, TvCharsetEbcdic), '\n');
  EXPECT_EQ(Convert(TvCharsetEbcdic, '\n', TvCharsetAnsi), 21);
  ASSERT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetEbcdic, "A\r\nB", TvCharsetAnsi), TvOk);
  EXPECT_EQ(std::string(out), Bytes({0xC1, 0x0D, 21, 0xC2}));
}

// ANSI -> EBCDIC -> ANSI gives every character back, 128 to 159 included,
// except the four whose EBCDIC positions read as something else.
TEST(EbcdicCharset, RoundTrip) {
  for (int c = 1; c < 256; ++c) {
    if (c == 0xA0 || c == 0xA6 || c == 0xA8 || c == 0xDD) continue;
    const uint8_t e = Convert(TvCharsetEbcdic, static_cast<uint8_t>(c), TvCharsetAnsi);
    EXPECT_NE(e, 0) << c;
    EXPECT_EQ(Convert(TvCharsetAnsi, e, TvCharsetEbcdic), c) << "ANSI " << c << " via EBCDIC " << int(e);
  }
  EXPECT_EQ(Convert(TvCharsetAnsi, Convert(TvCharsetEbcdic, 0xA0, TvCharsetAnsi), TvCharsetEbcdic), '!');
  EXPECT_EQ(Convert(TvCharsetAnsi, Convert(TvCharsetEbcdic, 0xA6, TvCharsetAnsi), TvCharsetEbcdic), '|');
  EXPECT_EQ(Convert(TvCharsetAnsi, Convert(TvCharsetEbcdic, 0xDD, TvCharsetAnsi), TvCharsetEbcdic), 'Y');  // Ý
  EXPECT_EQ(Convert(TvCharsetAnsi, Convert(TvCharsetEbcdic, 0xA8, TvCharsetAnsi), TvCharsetEbcdic), '"');  // ¨
}

// ---------------------------------------------------------------- conversion

TEST(CharsetConvert, BetweenSetsAndWithinOne) {
  char out[32];
  // DOS to EBCDIC goes through ANSI: é, ß, a.
  ASSERT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetEbcdic, Bytes({0x82, 0xE1, 'a'}).c_str(), TvCharsetDos), TvOk);
  EXPECT_EQ(std::string(out), Bytes({0x51, 0x59, 0x81}));
  ASSERT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetDos, Bytes({0x51, 0x59, 0x81}).c_str(), TvCharsetEbcdic), TvOk);
  EXPECT_EQ(std::string(out), Bytes({0x82, 0xE1, 'a'}));

  // Sets that differ only in "no diacritics" copy the text unchanged.
  ASSERT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetAscii, "Caf\xe9", TvCharsetAnsi), TvOk);
  EXPECT_STREQ(out, "Caf\xe9");
  ASSERT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetDos | TvCharsetNoDiacritics, "\x82", TvCharsetDos), TvOk);
  EXPECT_STREQ(out, "\x82");
  ASSERT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetEbcdic, "\xc1", TvCharsetEbcdic), TvOk);
  EXPECT_STREQ(out, "\xc1");

  // In place.
  char text[] = "Caf\xe9!";
  ASSERT_EQ(TvCharsetConvert(text, sizeof text, TvCharsetDos, text, TvCharsetAnsi), TvOk);
  EXPECT_EQ(std::string(text), Bytes({'C', 'a', 'f', 0x82, '!'}));

  // At most size - 1 characters.
  memset(out, 'x', sizeof out);
  ASSERT_EQ(TvCharsetConvert(out, 4, TvCharsetEbcdic, "ABCDEF", TvCharsetAnsi), TvOk);
  EXPECT_EQ(std::string(out), Bytes({0xC1, 0xC2, 0xC3}));
  EXPECT_EQ(out[4], 'x');
}

TEST(CharsetConvert, HostileInput) {
  char out[8];
  // Sets without tables: an unknown family, an unknown DOS code page.
  memcpy(out, "junk", 5);
  EXPECT_EQ(TvCharsetConvert(out, sizeof out, 0x05000352, "abc", TvCharsetAnsi), TvErrCodePage);
  EXPECT_STREQ(out, "");
  memcpy(out, "junk", 5);
  EXPECT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetAnsi, "abc", 0x020001B5), TvErrCodePage);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetDos, "abc", 0), TvErrCodePage);
  EXPECT_EQ(TvCharsetConvert(nullptr, 0, TvCharsetDos, "abc", 0), TvErrCodePage);

  EXPECT_EQ(TvCharsetConvert(nullptr, 10, TvCharsetDos, "abc", TvCharsetAnsi), TvOk);
  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvCharsetConvert(out, 0, TvCharsetDos, "abc", TvCharsetAnsi), TvOk);
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(TvCharsetConvert(out, 1, TvCharsetDos, "abc", TvCharsetAnsi), TvOk);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetDos, nullptr, TvCharsetAnsi), TvOk);
  EXPECT_STREQ(out, "");

  const std::string longText(400, '\xe9');
  char big[260];
  memset(big, 'x', sizeof big);
  EXPECT_EQ(TvCharsetConvert(big, 256, TvCharsetDos, longText.c_str(), TvCharsetAnsi), TvOk);
  EXPECT_EQ(std::string(big), std::string(255, '\x82'));
  EXPECT_EQ(big[256], 'x');

  // Every byte value converts to something, both ways, in every set.
  char all[256];
  for (int c = 1; c < 256; ++c) all[c - 1] = static_cast<char>(c);
  all[255] = '\0';
  for (uint32_t set : {TvCharsetDos, TvCharsetEbcdic}) {
    EXPECT_EQ(TvCharsetConvert(big, sizeof big, set, all, TvCharsetAnsi), TvOk);
    EXPECT_EQ(strlen(big), 255u);
    EXPECT_EQ(TvCharsetConvert(big, sizeof big, TvCharsetAnsi, all, set), TvOk);
    EXPECT_EQ(strlen(big), 255u);
  }
}

// ---------------------------------------------------------------- names

TEST(CharsetParse, NamesNoDiacriticsAndCodePages) {
  EXPECT_EQ(TvCharsetParse("Ebcdic NoDiacritics 500"), 0x03800025u);
  EXPECT_EQ(TvCharsetParse("Ansi"), 0x010004E4u);
  EXPECT_EQ(TvCharsetParse("Ascii"), 0x018004E4u);
  EXPECT_EQ(TvCharsetParse("Dos"), 0x02000352u);
  EXPECT_EQ(TvCharsetParse("Ebcdic"), 0x03000025u);
  EXPECT_EQ(TvCharsetParse("dOS"), 0x02000352u);
  EXPECT_EQ(TvCharsetParse("EBCDIC"), 0x03000025u);
  EXPECT_EQ(TvCharsetParse("Dos nodiacritics"), 0x02800352u);
  EXPECT_EQ(TvCharsetParse("Dos\tNoDiacritics\t850"), 0x02800352u);
  EXPECT_EQ(TvCharsetParse("Dos 850"), 0x02000352u);
  EXPECT_EQ(TvCharsetParse("Dos 437"), 0x02000352u);   // no table for 437
  EXPECT_EQ(TvCharsetParse("Ebcdic 37"), 0x03000025u);
  EXPECT_EQ(TvCharsetParse("Ansi 1250"), 0x010004E4u);
  EXPECT_EQ(TvCharsetParse("Dos 0"), 0x02000352u);
  // Names are compared on their own length.
  EXPECT_EQ(TvCharsetParse("Dosbox"), 0x02000352u);
  // Anything else is ANSI; "NoDiacritics" still counts.
  EXPECT_EQ(TvCharsetParse("Mac"), 0x010004E4u);
  EXPECT_EQ(TvCharsetParse("NoDiacritics"), 0x018004E4u);
  EXPECT_EQ(TvCharsetParse("850"), 0x010004E4u);
  EXPECT_EQ(TvCharsetParse(""), 0x010004E4u);
  EXPECT_EQ(TvCharsetParse(nullptr), 0x010004E4u);
  EXPECT_EQ(TvCharsetParse("Dos 99999999999999999999"), 0x02000352u);
  EXPECT_EQ(TvCharsetParse("Dos -850"), 0x02000352u);
  EXPECT_EQ(TvCharsetParse(std::string(400, 'D').c_str()), 0x010004E4u);
  EXPECT_EQ(TvCharsetParse(("Ebcdic" + std::string(400, ' ') + "NoDiacritics").c_str()), 0x03800025u);
}

TEST(CharsetName, FamiliesFlagsAndCodePages) {
  EXPECT_EQ(Name(TvCharsetDos), "DOS");
  EXPECT_EQ(Name(TvCharsetEbcdic), "EBCDIC");
  EXPECT_EQ(Name(TvCharsetAnsi), "Ansi");
  EXPECT_EQ(Name(TvCharsetAscii), "Ansi NoDiacritics");
  EXPECT_EQ(Name(0x010004E2), "Ansi   1250");  // " %6u"
  EXPECT_EQ(Name(0x038001F4), "EBCDIC NoDiacritics    500");
  EXPECT_EQ(Name(0x020001B5), "DOS    437");
  EXPECT_EQ(Name(0x0200FFFF), "DOS  65535");

  // Each known set's name reads back as the same set.
  const uint32_t known[] = {TvCharsetAnsi, TvCharsetAscii, TvCharsetDos, TvCharsetEbcdic,
                            TvCharsetDos | TvCharsetNoDiacritics, TvCharsetEbcdic | TvCharsetNoDiacritics};
  for (uint32_t id : known)
    EXPECT_EQ(TvCharsetParse(Name(id).c_str()), id) << Name(id);
}

TEST(CharsetName, UnknownFamiliesAndSmallBuffers) {
  char out[32];
  for (uint32_t id : {0x00000352u, 0x04000025u, 0x7F0004E4u, 0xFFFFFFFFu, 65535u}) {
    memcpy(out, "junk", 5);
    EXPECT_EQ(TvCharsetName(id, out, sizeof out), TvErrCodePage) << std::hex << id;
    EXPECT_STREQ(out, "");
  }
  EXPECT_STREQ(TvErrorText(TvErrCodePage, 44), "Unknown code page");

  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvCharsetName(TvCharsetEbcdic | TvCharsetNoDiacritics, out, 8), TvOk);
  EXPECT_STREQ(out, "EBCDIC ");
  EXPECT_EQ(out[8], 'x');
  EXPECT_EQ(TvCharsetName(TvCharsetDos, out, 1), TvOk);
  EXPECT_STREQ(out, "");
  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvCharsetName(TvCharsetDos, out, 0), TvOk);
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(TvCharsetName(TvCharsetDos, nullptr, 10), TvOk);
  EXPECT_EQ(TvCharsetName(0x05000000, nullptr, 10), TvErrCodePage);
}

TEST(CharsetTable, KnownSetsAndEndMark) {
  uint32_t ids[8];
  int count = 0;
  for (const TvCharsetEntry* e = tvCharsets; e->id != TvCharsetEnd && count < 8; ++e) {
    ids[count++] = e->id;
    const bool ansi = TvCharsetFamilyOf(e->id) == TvFamilyAnsi;
    EXPECT_EQ(e->toAnsi == nullptr, ansi);
    EXPECT_EQ(e->fromAnsi == nullptr, ansi);
  }
  ASSERT_EQ(count, 4);
  EXPECT_EQ(ids[0], 0x010004E4u);
  EXPECT_EQ(ids[1], 0x018004E4u);
  EXPECT_EQ(ids[2], 0x02000352u);
  EXPECT_EQ(ids[3], 0x03000025u);
  EXPECT_EQ(TvCharsetFind(TvCharsetDos | TvCharsetNoDiacritics), TvCharsetFind(TvCharsetDos));
  EXPECT_EQ(TvCharsetFind(0x020001B5), nullptr);
  EXPECT_EQ(TvCharsetFind(TvCharsetEnd), nullptr);
}

// ---------------------------------------------------------------- transliteration

TEST(Transliterate, DanishTownName) {
  EXPECT_EQ(Translit(2, 45, "Ærøskøbing"), "AEROESKOEBING");
  EXPECT_EQ(Translit(0, 49, "Ærøskøbing"), "Aeroskobing");
  EXPECT_EQ(Translit(0, 47, "Ærøskøbing"), "Aeroeskoebing");
  EXPECT_EQ(Translit(1, 45, "Ærøskøbing"), "aeroeskoebing");
  EXPECT_EQ(Translit(3, 45, "ÆRØSKØBING"), "Aeroeskoebing");
  EXPECT_EQ(Translit(0, 44, "Ærøskøbing"), "Aeroskobing");
}

TEST(Transliterate, SpeltOutLettersByLanguage) {
  // German umlauts are spelt out for German only.
  EXPECT_EQ(Translit(0, 49, "Größe Übel Äpfel"), "Groesse Uebel Aepfel");
  EXPECT_EQ(Translit(0, 44, "Größe Übel Äpfel"), "Grosse Ubel Apfel");
  EXPECT_EQ(Translit(0, 45, "Ä Ö Ü ä ö ü"), "A O U a o u");
  // Å and Ø for Danish and Norwegian only.
  EXPECT_EQ(Translit(0, 45, "Ålborg Øster åø"), "Aalborg Oester aaoe");
  EXPECT_EQ(Translit(0, 47, "Ålesund"), "Aalesund");
  EXPECT_EQ(Translit(0, 46, "Ålesund Ørebro"), "Alesund Orebro");
  EXPECT_EQ(Translit(0, 49, "Ålesund Ørebro"), "Alesund Orebro");
  // Æ, Œ, Þ and ß in every language.
  for (uint16_t language : {1, 33, 44, 45, 49}) {
    EXPECT_EQ(Translit(0, language, "Æble æble Œuvre œuvre Þór þór Straße"),
              "Aeble aeble Oeuvre oeuvre Thor thor Strasse")
        << language;
  }
  // Other characters become their diacritic-free forms.
  EXPECT_EQ(Translit(0, 33, "“Crème brûlée” – façade…"), "\"Creme brulee\" - facade.");
  EXPECT_EQ(Translit(0, 34, "Señor Ñandú"), "Senor Nandu");
}

TEST(Transliterate, CaseModes) {
  const char* text = "jean-luc o'neill ÉTÉ æble";
  EXPECT_EQ(Translit(0, 33, text), "jean-luc o'neill ETE aeble");
  EXPECT_EQ(Translit(1, 33, text), "jean-luc o'neill ete aeble");
  EXPECT_EQ(Translit(2, 33, text), "JEAN-LUC O'NEILL ETE AEBLE");
  EXPECT_EQ(Translit(3, 33, text), "Jean-Luc O'Neill Ete Aeble");
  // The second letter of a spelt-out pair follows the case rule too.
  EXPECT_EQ(Translit(2, 49, "straße"), "STRASSE");
  EXPECT_EQ(Translit(3, 49, "ÜBER ÖL"), "Ueber Oel");
  EXPECT_EQ(Translit(1, 49, "ÜBER"), "ueber");
  EXPECT_EQ(Translit(3, 44, "ß"), "Ss");
  // Bit 4 and the other flag bits do not change anything.
  EXPECT_EQ(Translit(2 | 16, 45, "Ærø"), "AEROE");
  EXPECT_EQ(Translit(0x100 | 16, 45, "Ærø"), "Aeroe");
}

TEST(Transliterate, LengthsAndBuffers) {
  char out[16];
  // The text length counts input characters; 65535 means up to the NUL.
  EXPECT_EQ(Translit(0, 45, "Ærøskøbing", 3), "Aeroe");
  EXPECT_EQ(Translit(0, 45, "Ærøskøbing", 0), "");
  EXPECT_EQ(Translit(0, 45, "Ærøskøbing", 65535), "Aeroeskoebing");
  EXPECT_EQ(Translit(0, 45, "abc", 400), "abc");  // never past the NUL

  // The output holds at most size - 1 characters; a pair may be cut.
  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvTransliterate(0, 45, out, 3, "Æble", kTvTextToNul), 2u);
  EXPECT_STREQ(out, "Ae");
  EXPECT_EQ(out[3], 'x');
  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvTransliterate(0, 45, out, 2, "Æble", kTvTextToNul), 1u);
  EXPECT_STREQ(out, "A");
  EXPECT_EQ(out[2], 'x');
  EXPECT_EQ(TvTransliterate(0, 45, out, 1, "Æble", kTvTextToNul), 0u);
  EXPECT_STREQ(out, "");
  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvTransliterate(0, 45, out, 0, "Æble", kTvTextToNul), 0u);
  EXPECT_EQ(out[0], 'x');
}

TEST(Transliterate, HostileInput) {
  char out[260];
  EXPECT_EQ(TvTransliterate(2, 45, nullptr, 10, "abc", kTvTextToNul), 0u);
  EXPECT_EQ(TvTransliterate(2, 45, out, sizeof out, nullptr, kTvTextToNul), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(TvTransliterate(2, 45, out, sizeof out, nullptr, 400), 0u);

  // 400 letters that are each spelt with two: cut at 255 characters.
  const std::string longText(400, '\xe6');  // æ
  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvTransliterate(2, 45, out, 256, longText.c_str(), kTvTextToNul), 255u);
  EXPECT_EQ(strlen(out), 255u);
  EXPECT_EQ(out[256], 'x');
  EXPECT_EQ(std::string(out, 4), "AEAE");

  // Every byte value, in every case mode and language.
  char all[256];
  for (int c = 1; c < 256; ++c) all[c - 1] = static_cast<char>(c);
  all[255] = '\0';
  for (uint32_t mode = 0; mode < 4; ++mode)
    for (uint16_t language : {0, 44, 45, 47, 49, 65535}) {
      memset(out, 'x', sizeof out);
      const size_t n = TvTransliterate(mode, language, out, 256, all, kTvTextToNul);
      EXPECT_LE(n, 255u);
      EXPECT_EQ(strlen(out), n);
      EXPECT_EQ(out[256], 'x');
    }
}

// ---------------------------------------------------------------- OEM set at start-up

class OemCharset : public tvtest::KernelTest {};

TEST_F(OemCharset, DefaultsToAnsi) {
  tvOemCharset = {TvCharsetEbcdic, true};
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=44\n"), 0);
  EXPECT_EQ(tvOemCharset.id, 0x010004E4u);
  EXPECT_FALSE(tvOemCharset.noDiacritics);
}

TEST_F(OemCharset, ReadsTheSetAtStartUp) {
  ASSERT_EQ(StartWith("[TvDefault]\nOemCharacterSet=Dos\n"), 0);
  EXPECT_EQ(tvOemCharset.id, 0x02000352u);
  EXPECT_FALSE(tvOemCharset.noDiacritics);
}

TEST_F(OemCharset, NoDiacriticsFlag) {
  ASSERT_EQ(StartWith("[TvDefault]\nOemCharacterSet=Ebcdic NoDiacritics\n"), 0);
  EXPECT_EQ(tvOemCharset.id, 0x03800025u);
  EXPECT_TRUE(tvOemCharset.noDiacritics);
  TvKernelShutdown(0);
  ASSERT_EQ(StartWith("[TvDefault]\nOemCharacterSet=Ascii\n"), 0);
  EXPECT_EQ(tvOemCharset.id, 0x018004E4u);
  EXPECT_TRUE(tvOemCharset.noDiacritics);
}

TEST_F(OemCharset, ProgramSectionBeforeTvDefault) {
  ASSERT_EQ(StartWith("[TESTMOD]\nOemCharacterSet=Ebcdic\n[TvDefault]\nOemCharacterSet=Dos\n"), 0);
  EXPECT_EQ(tvOemCharset.id, 0x03000025u);
}

TEST_F(OemCharset, CodePageOnlyWhereATableExists) {
  ASSERT_EQ(StartWith("[TvDefault]\nOemCharacterSet=Dos\nOemCodePage=437\n"), 0);
  EXPECT_EQ(tvOemCharset.id, 0x02000352u);
  TvKernelShutdown(0);
  ASSERT_EQ(StartWith("[TvDefault]\nOemCharacterSet=Dos NoDiacritics\nOemCodePage=850\n"), 0);
  EXPECT_EQ(tvOemCharset.id, 0x02800352u);
  TvKernelShutdown(0);
  ASSERT_EQ(StartWith("[TvDefault]\nOemCodePage=850\n"), 0);
  EXPECT_EQ(tvOemCharset.id, 0x010004E4u);  // ANSI has no 850
  TvKernelShutdown(0);
  ASSERT_EQ(StartWith("[TvDefault]\nOemCharacterSet=Ebcdic\nOemCodePage=-37\n"), 0);
  EXPECT_EQ(tvOemCharset.id, 0x03000025u);
}

TEST_F(OemCharset, HostileValues) {
  // The value is read up to 31 characters: "NoDiacritics" beyond them is lost.
  ASSERT_EQ(StartWith("[TvDefault]\nOemCharacterSet=Ebcdic" + std::string(30, ' ') + "NoDiacritics\n"), 0);
  EXPECT_EQ(tvOemCharset.id, 0x03000025u);
  TvKernelShutdown(0);
  ASSERT_EQ(StartWith("[TvDefault]\nOemCharacterSet=" + std::string(400, '\xe9') + "\nOemCodePage=" +
                      std::string(400, '9') + "\n"),
            0);
  EXPECT_EQ(tvOemCharset.id, 0x010004E4u);
  TvKernelShutdown(0);
  ASSERT_EQ(StartWith("[TvDefault]\nOemCharacterSet=\nOemCodePage=\n"), 0);
  EXPECT_EQ(tvOemCharset.id, 0x010004E4u);
}

TEST_F(OemCharset, WithoutConfigurationBackToAnsi) {
  ASSERT_EQ(StartWith("[TvDefault]\nOemCharacterSet=Dos\n"), 0);
  ASSERT_EQ(tvOemCharset.id, 0x02000352u);
  TvKernelShutdown(0);
  ASSERT_EQ(TvKernelStartup("NOCONFIG", "1.0", ":1", TvFlagConfigOptional, nullptr, nullptr), 0);
  EXPECT_EQ(tvConfig.text, nullptr);
  EXPECT_EQ(tvOemCharset.id, 0x010004E4u);
  EXPECT_FALSE(tvOemCharset.noDiacritics);
}

}  // namespace
