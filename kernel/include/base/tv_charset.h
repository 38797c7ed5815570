// tv_charset.h: the kernel's 256-entry character tables for code page 1252,
// the character sets it converts text to and from (ANSI, DOS, EBCDIC), the
// OEM character set chosen by the configuration, and transliteration.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "tv_base.h"
#include "tv_context.h"

enum TvCharClass : uint8_t {
  TvCharControl = 1,
  TvCharPrintable = 2,
  TvCharSpace = 4,
  TvCharPunct = 8,
  TvCharLetter = 16,
  TvCharDigit = 32,
  TvCharUpper = 64,
  TvCharLower = 128,
};

extern const std::array<uint8_t, 256> tvCharClass;
extern const std::array<uint8_t, 256> tvCharUpper;
extern const std::array<uint8_t, 256> tvCharLower;
// The diacritic-free form: the plain letter of an accented letter, the ASCII
// look-alike of a typographic sign; ASCII maps to itself.
extern const std::array<uint8_t, 256> tvCharPlain;

inline char TvToUpper(char c) { return static_cast<char>(tvCharUpper[static_cast<uint8_t>(c)]); }
inline char TvToLower(char c) { return static_cast<char>(tvCharLower[static_cast<uint8_t>(c)]); }
inline char TvToPlain(char c) { return static_cast<char>(tvCharPlain[static_cast<uint8_t>(c)]); }
inline bool TvIsSpace(char c) { return tvCharClass[static_cast<uint8_t>(c)] & TvCharSpace; }

// A character set identifier: family in bits 24-30, "no diacritics" in bit
// 23, code page in bits 0-15.
enum TvCharsetId : uint32_t {
  TvCharsetAnsi = 0x010004E4,    // code page 1252, the kernel's own set
  TvCharsetAscii = 0x018004E4,   // 1252 without diacritics
  TvCharsetDos = 0x02000352,     // code page 850
  TvCharsetEbcdic = 0x03000025,  // code page 37
  TvCharsetNoDiacritics = 0x00800000,
  TvCharsetFamilyMask = 0x7F000000,
  TvCharsetCodePageMask = 0x0000FFFF,
  TvCharsetEnd = 65535,  // ends the set table
};

enum TvCharsetFamily : uint32_t { TvFamilyAnsi = 1, TvFamilyDos = 2, TvFamilyEbcdic = 3 };

inline uint32_t TvCharsetFamilyOf(uint32_t id) { return (id & TvCharsetFamilyMask) >> 24; }
inline uint32_t TvCharsetCodePageOf(uint32_t id) { return id & TvCharsetCodePageMask; }

// One known set. The ANSI sets have no tables: they are the kernel's own.
struct TvCharsetEntry {
  uint32_t id;
  const uint8_t* toAnsi;    // 256 entries, indexed by the set's character
  const uint8_t* fromAnsi;  // 256 entries, indexed by the ANSI character
};
extern const TvCharsetEntry tvCharsets[];  // ended by the identifier TvCharsetEnd

// The entry of a set (bit 23 ignored), or nullptr when there is none.
const TvCharsetEntry* TvCharsetFind(uint32_t id);

// "Dos", "Ebcdic NoDiacritics", "Ansi 1252", ...; anything unknown is ANSI.
uint32_t TvCharsetParse(const char* text);

// "Ansi", "DOS" or "EBCDIC", " NoDiacritics", and the code page as " %6u"
// when it is not the family's usual one. -1077 for an unknown family.
TvStatus TvCharsetName(uint32_t id, char* out, size_t size);

// Converts text between two sets, at most size - 1 characters; out may be
// text itself. -1077 (out empty) when a set has no conversion tables.
TvStatus TvCharsetConvert(char* out, size_t size, uint32_t target, const char* text, uint32_t source);

enum TvTransliterateFlag : uint32_t {
  TvTranslitKeepCase = 0,
  TvTranslitLower = 1,
  TvTranslitUpper = 2,
  TvTranslitCapitalise = 3,  // upper case after a non-letter, lower case elsewhere
  TvTranslitCaseMask = 3,
};

constexpr uint16_t kTvTextToNul = 65535;  // a text length meaning "up to the NUL"

// Removes diacritics, spelling out the letters that the language writes with
// two (Danish and Norwegian "aa" and "oe", German "ae", "oe" and "ue"), and
// changes case as the flags say. Stores at most outSize - 1 characters, stops
// at the text's NUL, always terminates; returns the characters stored.
size_t TvTransliterate(uint32_t flags, uint16_t language, char* out, size_t outSize, const char* text,
                       uint16_t textLength);

// The OEM character set: the set for text meant for consoles and other
// systems. ANSI 1252 until the configuration names another.
struct TvOemCharset {
  uint32_t id;
  bool noDiacritics;
};
extern TvOemCharset tvOemCharset;

// Reads OemCharacterSet and OemCodePage (kernel start-up, with a loaded
// configuration); TvCharsetReset goes back to ANSI 1252.
void TvCharsetInit(const TvOptionReader& options);
void TvCharsetReset();
