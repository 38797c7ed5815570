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

// Every byte from 1 to 255, NUL-terminated.
std::string AllBytes() {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  return all;
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

// clang-format off
TEST(CharTables, ClassesAndCaseFollowCodePage1252) {
  const std::pair<int, int> kClasses[] = {
      {'A', TvCharPrintable | TvCharLetter | TvCharUpper}, {'z', TvCharPrintable | TvCharLetter | TvCharLower},
      {'7', TvCharPrintable | TvCharDigit}, {'!', TvCharPrintable | TvCharPunct}, {' ', TvCharPrintable | TvCharSpace},
      {9, TvCharControl | TvCharSpace}, {13, TvCharControl | TvCharSpace}, {127, TvCharControl}};
  for (const auto& [c, flags] : kClasses) EXPECT_EQ(tvCharClass[c], flags) << c;
  // Characters above 127 carry no flags, accented letters included.
  for (int c = 128; c < 256; ++c) EXPECT_EQ(tvCharClass[c], 0) << c;
  // Lower and upper case pairs: š Š, œ Œ, é É, à À, þ Þ, ÿ Ÿ.
  const Pair kCase[] = {{'a', 'A'}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0xE9, 0xC9}, {0xE0, 0xC0}, {0xFE, 0xDE}, {0xFF, 0x9F}};
  for (const Pair& p : kCase) {
    EXPECT_EQ(tvCharUpper[p.set], p.ansi) << int(p.set);
    EXPECT_EQ(tvCharLower[p.ansi], p.set) << int(p.ansi);
  }
  // No case: 5, ÷, ×, ß (no capital here), µ.
  for (int c : {int{'5'}, 0xF7, 0xD7, 0xDF, 0xB5}) EXPECT_EQ(tvCharUpper[c] * 256 + tvCharLower[c], c * 257) << c;
  // Upper and lower case are each other's inverse on every letter pair.
  for (int c = 0; c < 256; ++c) {
    EXPECT_TRUE(tvCharUpper[c] == c || tvCharLower[tvCharUpper[c]] == c) << c;
    EXPECT_TRUE(tvCharLower[c] == c || tvCharUpper[tvCharLower[c]] == c) << c;
  }
}
// clang-format on

TEST(CharTables, DiacriticFreeForms) {
  for (int c = 0; c < 128; ++c) EXPECT_EQ(tvCharPlain[c], c) << c;
  // Accented letters, then typographic signs (‘ ’ “ ” „ – — «, the
  // non-breaking space and the soft hyphen) as their ASCII look-alikes.
  const std::string accented = "ÀÅÇÑßÿéÈöØüŠžÝñ‘’“”„–—«\xa0\xad";
  const std::string plain = "AACNSyeEoOuSzYn''\"\"\"--\" -";
  ASSERT_EQ(accented.size(), plain.size());
  for (size_t i = 0; i < accented.size(); ++i) EXPECT_EQ(TvToPlain(accented[i]), plain[i]) << i;
  // Every accented letter has a plain ASCII letter of the same case.
  for (int c = 192; c < 256; ++c) {
    if (c == 215 || c == 247) continue;  // × ÷
    const uint8_t p = tvCharPlain[c];
    EXPECT_TRUE(tvCharClass[p] & TvCharLetter) << c;
    EXPECT_TRUE(c == 223 || bool(tvCharClass[p] & TvCharUpper) == (c < 224)) << c;
  }
}

TEST(DosCharset, SharedCharactersFollowCodePage850) {
  // clang-format off
  const Pair kShared[] = {
      {0x80, 0xC7}, {0x82, 0xE9}, {0x9D, 0xD8}, {0x9F, 0x83}, {0xAE, 0xAB}, {0xB5, 0xC1},  // Ç é Ø ƒ « Á
      {0xCF, 0xA4}, {0xE1, 0xDF}, {0xF0, 0xAD}, {0xFD, 0xB2}, {'A', 'A'},   {'\n', '\n'},  // ¤ ß soft hyphen ²
  };
  // clang-format on
  for (const Pair& p : kShared) {
    EXPECT_EQ(Convert(TvCharsetAnsi, p.set, TvCharsetDos), p.ansi) << "DOS " << int(p.set);
    EXPECT_EQ(Convert(TvCharsetDos, p.ansi, TvCharsetAnsi), p.set) << "ANSI " << int(p.ansi);
  }
  // ANSI -> DOS -> ANSI gives back every character the two sets share: all
  // of ASCII (15, 20 and 21 are DOS glyphs, not controls, on the way back),
  // ƒ, and everything from 161 on.
  for (int c = 1; c < 256; ++c) {
    const bool shared = (c < 128 && c != 15 && c != 20 && c != 21) || c == 0x83 || c >= 161;
    if (!shared) continue;
    const uint8_t dos = Convert(TvCharsetDos, static_cast<uint8_t>(c), TvCharsetAnsi);
    EXPECT_EQ(Convert(TvCharsetAnsi, dos, TvCharsetDos), c) << "ANSI " << c << " via DOS " << int(dos);
  }
  // The non-breaking space goes out as DOS 255 and comes back as a space.
  EXPECT_EQ(Convert(TvCharsetDos, 0xA0, TvCharsetAnsi), 0xFF);
}

TEST(DosCharset, CharactersWithoutAnsiEquivalent) {
  // clang-format off
  const Pair kRead[] = {
      {0xB3, 0xA6}, {0xCD, '-'}, {0xC5, '+'}, {0xDC, '_'}, {0xDF, '-'},  // │ ═ ┼ ▄ ▀
      {0xD5, 'i'},  {0xFF, ' '},  {15, 0xA4}, {20, 0xB6},  {21, 0xA7},   // ı, nbsp, ☼ ¶ § DOS glyphs
  };
  // clang-format on
  for (const Pair& p : kRead) EXPECT_EQ(Convert(TvCharsetAnsi, p.set, TvCharsetDos), p.ansi) << int(p.set);
  // ANSI signs that DOS lacks are written as their look-alikes: “ ’ – Š œ.
  const Pair kWritten[] = {{'"', 0x93}, {'\'', 0x92}, {'-', 0x96}, {'S', 0x8A}, {'o', 0x9C}};
  for (const Pair& p : kWritten) EXPECT_EQ(Convert(TvCharsetDos, p.ansi, TvCharsetAnsi), p.set) << int(p.ansi);
  // ANSI positions with no character stay printable rather than becoming DOS letters.
  for (int c : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
    EXPECT_LT(Convert(TvCharsetDos, static_cast<uint8_t>(c), TvCharsetAnsi), 0x80) << c;
}

TEST(EbcdicCharset, SharedCharactersFollowCodePage37) {
  // clang-format off
  const Pair kShared[] = {
      // Letters and digits come in runs with gaps: a-i, j-r, s-z.
      {0x81, 'a'}, {0x89, 'i'}, {0x91, 'j'}, {0x99, 'r'}, {0xA2, 's'}, {0xA9, 'z'}, {0xC1, 'A'},
      {0xC9, 'I'}, {0xD1, 'J'}, {0xD9, 'R'}, {0xE2, 'S'}, {0xE9, 'Z'}, {0xF0, '0'}, {0xF9, '9'},
      {0x40, ' '}, {0x4F, '|'}, {0x5A, '!'}, {0x7D, '\''}, {0xA1, '~'}, {0xC0, '{'}, {0xE0, '\\'},
      {0x05, '\t'}, {0x0D, '\r'}, {0x51, 0xE9}, {0x5F, 0xAC}, {0x9F, 0xA4}, {0xE1, 0xF7}, {0xFC, 0xDC},  // é ¬ ¤ ÷ Ü
  };
  // clang-format on
  for (const Pair& p : kShared) {
    EXPECT_EQ(Convert(TvCharsetAnsi, p.set, TvCharsetEbcdic), p.ansi) << "EBCDIC " << int(p.set);
    EXPECT_EQ(Convert(TvCharsetEbcdic, p.ansi, TvCharsetAnsi), p.set) << "ANSI " << int(p.ansi);
  }
  // ANSI -> EBCDIC -> ANSI gives every character back, 128 to 159 included,
  // except four: the non-breaking space, the broken bar, Ý and the diaeresis.
  for (int c = 1; c < 256; ++c) {
    const Pair kLost[] = {{'!', 0xA0}, {'|', 0xA6}, {'Y', 0xDD}, {'"', 0xA8}};
    uint8_t expected = static_cast<uint8_t>(c);
    for (const Pair& p : kLost) expected = p.ansi == c ? p.set : expected;
    const uint8_t e = Convert(TvCharsetEbcdic, static_cast<uint8_t>(c), TvCharsetAnsi);
    EXPECT_NE(e, 0) << c;
    EXPECT_EQ(Convert(TvCharsetAnsi, e, TvCharsetEbcdic), expected) << "ANSI " << c << " via EBCDIC " << int(e);
  }
}

TEST(EbcdicCharset, BracketsNewLineAndOtherExceptions) {
  char out[16];
  const std::string brackets = "\xad\x81\xbd";  // [a] with [ and ] at 173 and 189
  ASSERT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetEbcdic, "[a]", TvCharsetAnsi), TvOk);
  EXPECT_EQ(std::string(out), brackets);
  ASSERT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetAnsi, brackets.c_str(), TvCharsetEbcdic), TvOk);
  EXPECT_STREQ(out, "[a]");
  // 186, 187 and 65 read as "!", 106 as "|"; new line (21) and line feed stand for each other.
  for (const Pair& p : {Pair{186, '!'}, {187, '!'}, {65, '!'}, {106, '|'}, {21, '\n'}})
    EXPECT_EQ(Convert(TvCharsetAnsi, p.set, TvCharsetEbcdic), p.ansi) << int(p.set);
  ASSERT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetEbcdic, "A\r\nB", TvCharsetAnsi), TvOk);
  EXPECT_EQ(std::string(out), "\xc1\x0d\x15\xc2");
}

// clang-format off
TEST(CharsetConvert, BetweenSetsWithinOneInPlaceAndCut) {
  // DOS to EBCDIC goes through ANSI: é, ß, a; sets that differ only in "no
  // diacritics" copy the text unchanged.
  const struct { uint32_t target; const char* text; uint32_t source; const char* expected; } kCases[] = {
      {TvCharsetEbcdic, "\x82\xe1" "a", TvCharsetDos, "\x51\x59\x81"},
      {TvCharsetDos, "\x51\x59\x81", TvCharsetEbcdic, "\x82\xe1" "a"},
      {TvCharsetAscii, "Caf\xe9", TvCharsetAnsi, "Caf\xe9"},
      {TvCharsetDos | TvCharsetNoDiacritics, "\x82", TvCharsetDos, "\x82"},
  };
  char out[32];
  for (const auto& c : kCases) {
    ASSERT_EQ(TvCharsetConvert(out, sizeof out, c.target, c.text, c.source), TvOk) << c.expected;
    EXPECT_STREQ(out, c.expected);
  }
  char text[] = "Caf\xe9!";
  ASSERT_EQ(TvCharsetConvert(text, sizeof text, TvCharsetDos, text, TvCharsetAnsi), TvOk);
  EXPECT_STREQ(text, "Caf\x82!");
  // At most size - 1 characters, at 4 and at 256 bytes.
  memset(out, 'x', sizeof out);
  ASSERT_EQ(TvCharsetConvert(out, 4, TvCharsetEbcdic, "ABCDEF", TvCharsetAnsi), TvOk);
  EXPECT_EQ(std::string(out, 5), "\xc1\xc2\xc3" + std::string(1, '\0') + "x");
  char big[260];
  memset(big, 'x', sizeof big);
  EXPECT_EQ(TvCharsetConvert(big, 256, TvCharsetDos, std::string(400, '\xe9').c_str(), TvCharsetAnsi), TvOk);
  EXPECT_EQ(std::string(big), std::string(255, '\x82'));
  EXPECT_EQ(big[256], 'x');
}
// clang-format on

TEST(CharsetConvert, HostileInput) {
  char out[8];
  // Sets without tables: an unknown family, a DOS code page without a table
  // (also from or to the usual DOS page), no set at all.
  // clang-format off
  const std::pair<uint32_t, uint32_t> kUnknown[] = {{0x05000352, TvCharsetAnsi}, {TvCharsetAnsi, 0x020001B5},
                                                    {TvCharsetDos, 0x020001B5},  {TvCharsetDos, 0}};
  // clang-format on
  for (const auto& [target, source] : kUnknown) {
    memcpy(out, "junk", 5);
    EXPECT_EQ(TvCharsetConvert(out, sizeof out, target, "abc", source), TvErrCodePage) << std::hex << target;
    EXPECT_STREQ(out, "");
  }
  EXPECT_EQ(TvCharsetConvert(nullptr, 10, TvCharsetDos, "abc", TvCharsetAnsi), TvOk);
  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvCharsetConvert(out, 0, TvCharsetDos, "abc", TvCharsetAnsi), TvOk);
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(TvCharsetConvert(out, sizeof out, TvCharsetDos, nullptr, TvCharsetAnsi), TvOk);
  EXPECT_STREQ(out, "");
  // Every byte value converts to something, both ways, in every set.
  const std::string all = AllBytes();
  char big[260];
  for (uint32_t set : {TvCharsetDos, TvCharsetEbcdic}) {
    EXPECT_EQ(TvCharsetConvert(big, sizeof big, set, all.c_str(), TvCharsetAnsi), TvOk);
    EXPECT_EQ(strlen(big), 255u);
    EXPECT_EQ(TvCharsetConvert(big, sizeof big, TvCharsetAnsi, all.c_str(), set), TvOk);
    EXPECT_EQ(strlen(big), 255u);
  }
}

// clang-format off
TEST(CharsetParse, NamesNoDiacriticsAndCodePages) {
  const std::string longName(400, 'D'), farFlag = "Ebcdic" + std::string(400, ' ') + "NoDiacritics";
  const std::pair<const char*, uint32_t> kParsed[] = {
      {"Ebcdic NoDiacritics 500", 0x03800025}, {"Ansi", 0x010004E4}, {"Ascii", 0x018004E4},
      {"dOS", 0x02000352}, {"Ebcdic", 0x03000025}, {"Dos\tnodiacritics\t850", 0x02800352},
      {"Dos 437", 0x02000352},   // no table for 437
      {"Dos 0", 0x02000352}, {"Dos 99999999999999999999", 0x02000352},
      {"Dosbox", 0x02000352},    // names are compared on their own length
      // Anything else is ANSI; "NoDiacritics" still counts.
      {"NoDiacritics", 0x018004E4}, {"850", 0x010004E4}, {nullptr, 0x010004E4},
      {longName.c_str(), 0x010004E4}, {farFlag.c_str(), 0x03800025},
  };
  for (const auto& [text, id] : kParsed) EXPECT_EQ(TvCharsetParse(text), id) << TvStrOrEmpty(text);
  // Finding a set ignores "no diacritics".
  EXPECT_EQ(TvCharsetFind(TvCharsetDos | TvCharsetNoDiacritics), TvCharsetFind(TvCharsetDos));
  EXPECT_EQ(TvCharsetFind(0x020001B5), nullptr);
  EXPECT_EQ(TvCharsetFind(TvCharsetEnd), nullptr);
}
// clang-format on

TEST(CharsetName, FamiliesFlagsCodePagesAndSmallBuffers) {
  // clang-format off
  const std::pair<uint32_t, const char*> kNames[] = {
      {TvCharsetDos, "DOS"}, {TvCharsetEbcdic, "EBCDIC"}, {TvCharsetAscii, "Ansi NoDiacritics"},
      {0x010004E2, "Ansi   1250"},  // " %6u"
      {0x038001F4, "EBCDIC NoDiacritics    500"}, {0x0200FFFF, "DOS  65535"}};
  // clang-format on
  for (const auto& [id, name] : kNames) EXPECT_EQ(Name(id), name);
  // Each known set's name reads back as the same set.
  for (uint32_t id : {0x010004E4u, 0x018004E4u, 0x02000352u, 0x03000025u, 0x02800352u, 0x03800025u})
    EXPECT_EQ(TvCharsetParse(Name(id).c_str()), id) << Name(id);
  // Unknown families; small buffers.
  char out[32];
  for (uint32_t id : {0x00000352u, 0x04000025u, 0xFFFFFFFFu, 65535u}) {
    memcpy(out, "junk", 5);
    EXPECT_EQ(TvCharsetName(id, out, sizeof out), TvErrCodePage) << std::hex << id;
    EXPECT_STREQ(out, "");
  }
  EXPECT_STREQ(TvErrorText(TvErrCodePage, 44), "Unknown code page");
  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvCharsetName(TvCharsetEbcdic | TvCharsetNoDiacritics, out, 8), TvOk);
  EXPECT_EQ(std::string(out, 9), "EBCDIC " + std::string(1, '\0') + "x");
  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvCharsetName(TvCharsetDos, out, 0), TvOk);
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(TvCharsetName(TvCharsetDos, out, 1), TvOk);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(TvCharsetName(TvCharsetDos, nullptr, 10), TvOk);
  EXPECT_EQ(TvCharsetName(0x05000000, nullptr, 10), TvErrCodePage);
}

// Letters spelt out by language, in the four case modes: German umlauts for
// German only, Å and Ø for Danish and Norwegian only; Æ, Œ, Þ and ß in every
// language; other characters become their diacritic-free forms. The second
// letter of a pair follows the case rule too; bit 4 and the other flag bits
// change nothing.
TEST(Transliterate, LettersSpeltOutByLanguageInEachCaseMode) {
  const char* const every = "Æble æble Œuvre œuvre Þór þór Straße";
  const char* const french = "jean-luc o'neill ÉTÉ æble";
  // clang-format off
  const struct { uint32_t mode; uint16_t language; const char* text; const char* expected; } kCases[] = {
      {2, 45, "Ærøskøbing", "AEROESKOEBING"}, {1, 47, "Ærøskøbing", "aeroeskoebing"},
      {3, 45, "ÆRØSKØBING", "Aeroeskoebing"}, {0, 49, "Ærøskøbing", "Aeroskobing"},
      {0, 44, "Ærøskøbing", "Aeroskobing"},   {0, 49, "Größe Übel Äpfel", "Groesse Uebel Aepfel"},
      {0, 45, "Größe Übel Äpfel", "Grosse Ubel Apfel"}, {0, 45, "Ålborg Øster åø", "Aalborg Oester aaoe"},
      {0, 47, "Ålesund", "Aalesund"},         {0, 46, "Ålesund Ørebro", "Alesund Orebro"},
      {0, 49, "Ålesund Ørebro", "Alesund Orebro"}, {0, 1, every, "Aeble aeble Oeuvre oeuvre Thor thor Strasse"},
      {0, 33, "“Crème brûlée” – façade…", "\"Creme brulee\" - facade."}, {0, 34, "Señor Ñandú", "Senor Nandu"},
      {0, 33, french, "jean-luc o'neill ETE aeble"}, {1, 33, french, "jean-luc o'neill ete aeble"},
      {2, 33, french, "JEAN-LUC O'NEILL ETE AEBLE"}, {3, 33, french, "Jean-Luc O'Neill Ete Aeble"},
      {2, 49, "straße", "STRASSE"},           {3, 49, "ÜBER ÖL", "Ueber Oel"}, {1, 49, "ÜBER", "ueber"},
      {2 | 16, 45, "Ærø", "AEROE"},           {0x100 | 16, 45, "Ærø", "Aeroe"},
  };
  // clang-format on
  for (const auto& c : kCases)
    EXPECT_EQ(Translit(c.mode, c.language, c.text), c.expected) << c.mode << " " << c.language;
}

TEST(Transliterate, LengthsBuffersAndHostileInput) {
  // The text length counts input characters; 65535 means up to the NUL.
  EXPECT_EQ(Translit(0, 45, "Ærøskøbing", 3), "Aeroe");
  EXPECT_EQ(Translit(0, 45, "Ærøskøbing", 0), "");
  EXPECT_EQ(Translit(0, 45, "abc", 400), "abc");  // never past the NUL
  // The output holds at most size - 1 characters; a pair may be cut.
  char out[260];
  const std::pair<size_t, const char*> kCuts[] = {{3, "Ae"}, {2, "A"}, {1, ""}, {0, ""}};
  for (const auto& [size, expected] : kCuts) {
    memset(out, 'x', sizeof out);
    EXPECT_EQ(TvTransliterate(0, 45, out, size, "Æble", kTvTextToNul), strlen(expected)) << size;
    EXPECT_STREQ(size ? out : "", expected);
    EXPECT_EQ(out[size], 'x');
  }
  // 400 letters that are each spelt with two: cut at 255 characters.
  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvTransliterate(2, 45, out, 256, std::string(400, '\xe6').c_str(), kTvTextToNul), 255u);
  EXPECT_EQ(std::string(out, 4), "AEAE");
  EXPECT_EQ(out[256], 'x');
  // No buffer, no text; every byte value in every case mode and language.
  EXPECT_EQ(TvTransliterate(2, 45, nullptr, 10, "abc", kTvTextToNul), 0u);
  EXPECT_EQ(TvTransliterate(2, 45, out, sizeof out, nullptr, 400), 0u);
  EXPECT_STREQ(out, "");
  const std::string all = AllBytes();
  for (uint32_t mode = 0; mode < 4; ++mode)
    for (uint16_t language : {0, 45, 49, 65535}) {
      memset(out, 'x', sizeof out);
      const size_t n = TvTransliterate(mode, language, out, 256, all.c_str(), kTvTextToNul);
      EXPECT_EQ(strlen(out), n);
      EXPECT_EQ(out[256], 'x');
    }
}

}  // namespace
