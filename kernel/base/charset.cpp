// charset.cpp: the kernel's character tables for Windows code page 1252
// (classes, upper and lower case, diacritic-free forms), the conversion
// tables of the DOS and EBCDIC sets, the OEM character set and
// transliteration.
#include "tv_charset.h"

#include <array>
#include <cstring>

#include "tv_context.h"
#include "tv_string.h"

namespace {

constexpr bool IsAsciiPunct(int c) {
  return (c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) || (c >= 123 && c <= 126);
}

constexpr std::array<uint8_t, 256> MakeClass() {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 128; ++c) {
    uint8_t f = 0;
    if (c < 32 || c == 127) f |= TvCharControl;
    if (c >= 32 && c < 127) f |= TvCharPrintable;
    if ((c >= 9 && c <= 13) || c == ' ') f |= TvCharSpace;
    if (IsAsciiPunct(c)) f |= TvCharPunct;
    if (c >= '0' && c <= '9') f |= TvCharDigit;
    if (c >= 'A' && c <= 'Z') f |= TvCharLetter | TvCharUpper;
    if (c >= 'a' && c <= 'z') f |= TvCharLetter | TvCharLower;
    t[c] = f;
  }
  return t;
}

// Pairs of (lower, upper) in code page 1252 beyond the ASCII letters.
constexpr std::array<uint8_t, 256> MakeCase(bool toUpper) {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = static_cast<uint8_t>(c);
  auto pair = [&](int lower, int upper) {
    if (toUpper) t[lower] = static_cast<uint8_t>(upper);
    else t[upper] = static_cast<uint8_t>(lower);
  };
  for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 32);
  pair(154, 138);
  pair(156, 140);
  for (int c = 224; c <= 254; ++c)
    if (c != 247) pair(c, c - 32);
  pair(255, 159);
  return t;
}

// Signs without a look-alike (currency, copyright, degrees, fractions, ...)
// keep their own code.
constexpr std::array<uint8_t, 256> MakePlain() {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = static_cast<uint8_t>(c);
  auto range = [&](int first, int last, char plain) {
    for (int c = first; c <= last; ++c) t[c] = static_cast<uint8_t>(plain);
  };
  constexpr struct {
    uint8_t code;
    char plain;
  } kSingles[] = {
      {128, 'E'}, {130, ','},  {131, 'f'}, {132, '"'}, {133, '.'},  {134, '+'},  {135, '+'}, {136, '^'}, {137, '%'},
      {138, 'S'}, {139, '<'},  {140, 'O'}, {142, 'Z'}, {145, '\''}, {146, '\''}, {147, '"'}, {148, '"'}, {149, '*'},
      {150, '-'}, {151, '-'},  {152, '~'}, {154, 's'}, {155, '>'},  {156, 'o'},  {158, 'z'}, {159, 'Y'}, {160, ' '},
      {161, '!'}, {162, 'c'},  {166, '|'}, {168, '"'}, {170, 'a'},  {171, '"'},  {173, '-'}, {175, '-'}, {178, '2'},
      {179, '3'}, {180, '\''}, {181, 'u'}, {183, '.'}, {184, ','},  {185, '1'},  {186, 'o'}, {187, '"'}, {191, '?'},
      {199, 'C'}, {208, 'D'},  {209, 'N'}, {215, 'x'}, {216, 'O'},  {221, 'Y'},  {222, 'T'}, {223, 'S'}, {231, 'c'},
      {240, 'd'}, {241, 'n'},  {248, 'o'}, {253, 'y'}, {254, 't'},  {255, 'y'},
  };
  for (const auto& s : kSingles) t[s.code] = static_cast<uint8_t>(s.plain);
  range(192, 198, 'A');
  range(200, 203, 'E');
  range(204, 207, 'I');
  range(210, 214, 'O');
  range(217, 220, 'U');
  range(224, 230, 'a');
  range(232, 235, 'e');
  range(236, 239, 'i');
  range(242, 246, 'o');
  range(249, 252, 'u');
  return t;
}

// The published mappings of code pages 850 and 37 to code page 1252, with
// these choices where they have no common character:
// - DOS box-drawing and block characters read as "+", "-", "_" or the broken
//   bar, the dotless i as "i", the non-breaking space (255) as a space, and
//   the positions 15, 20 and 21 as the currency, pilcrow and section signs;
//   ANSI characters missing in DOS are written as their look-alikes, or "?".
// - EBCDIC: "[" and "]" at 173 and 189 (Y acute and the diaeresis, which lose
//   those places, are written as "Y" and '"'); 186 and 187 and 65 read as
//   "!", 106 as "|"; new line (21) and line feed (10) stand for each other,
//   and 37, the published line feed, carries ANSI 133 in the new line's
//   stead. ANSI 128 to 159 travel as the control codes of their positions and
//   come back unchanged.

constexpr uint8_t kDosToAnsi[256] = {
    0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  14,  164,  // 0
    16,  17,  18,  19,  182, 167, 22,  23,  24,  25,  26,  27,  28,  29,  30,  31,   // 16
    32,  33,  34,  35,  36,  37,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,   // 32
    48,  49,  50,  51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  62,  63,   // 48
    64,  65,  66,  67,  68,  69,  70,  71,  72,  73,  74,  75,  76,  77,  78,  79,   // 64
    80,  81,  82,  83,  84,  85,  86,  87,  88,  89,  90,  91,  92,  93,  94,  95,   // 80
    96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111,  // 96
    112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127,  // 112
    199, 252, 233, 226, 228, 224, 229, 231, 234, 235, 232, 239, 238, 236, 196, 197,  // 128
    201, 230, 198, 244, 246, 242, 251, 249, 255, 214, 220, 248, 163, 216, 215, 131,  // 144
    225, 237, 243, 250, 241, 209, 170, 186, 191, 174, 172, 189, 188, 161, 171, 187,  // 160
    43,  43,  43,  166, 43,  193, 194, 192, 169, 43,  166, 43,  43,  162, 165, 43,   // 176
    43,  43,  43,  43,  45,  43,  227, 195, 43,  43,  43,  43,  43,  45,  43,  164,  // 192
    240, 208, 202, 203, 200, 105, 205, 206, 207, 43,  43,  43,  95,  166, 204, 45,   // 208
    211, 223, 212, 210, 245, 213, 181, 254, 222, 218, 219, 217, 253, 221, 175, 180,  // 224
    173, 177, 95,  190, 182, 167, 247, 184, 176, 168, 183, 185, 179, 178, 43,  32,   // 240
};

constexpr uint8_t kAnsiToDos[256] = {
    0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  14,  15,   // 0
    16,  17,  18,  19,  20,  21,  22,  23,  24,  25,  26,  27,  28,  29,  30,  31,   // 16
    32,  33,  34,  35,  36,  37,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,   // 32
    48,  49,  50,  51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  62,  63,   // 48
    64,  65,  66,  67,  68,  69,  70,  71,  72,  73,  74,  75,  76,  77,  78,  79,   // 64
    80,  81,  82,  83,  84,  85,  86,  87,  88,  89,  90,  91,  92,  93,  94,  95,   // 80
    96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111,  // 96
    112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127,  // 112
    69,  63,  44,  159, 34,  46,  43,  43,  94,  37,  83,  60,  79,  63,  90,  63,   // 128
    63,  39,  39,  34,  34,  42,  45,  45,  126, 63,  115, 62,  111, 63,  122, 89,   // 144
    255, 173, 189, 156, 207, 190, 221, 245, 249, 184, 166, 174, 170, 240, 169, 238,  // 160
    248, 241, 253, 252, 239, 230, 244, 250, 247, 251, 167, 175, 172, 171, 243, 168,  // 176
    183, 181, 182, 199, 142, 143, 146, 128, 212, 144, 210, 211, 222, 214, 215, 216,  // 192
    209, 165, 227, 224, 226, 229, 153, 158, 157, 235, 233, 234, 154, 237, 232, 225,  // 208
    133, 160, 131, 198, 132, 134, 145, 135, 138, 130, 136, 137, 141, 161, 140, 139,  // 224
    208, 164, 149, 162, 147, 228, 148, 246, 155, 151, 163, 150, 129, 236, 231, 152,  // 240
};

constexpr uint8_t kEbcdicToAnsi[256] = {
    0,   1,   2,   3,   156, 9,   134, 127, 151, 141, 142, 11,  12,  13,  14,  15,   // 0
    16,  17,  18,  19,  157, 10,  8,   135, 24,  25,  146, 143, 28,  29,  30,  31,   // 16
    128, 129, 130, 131, 132, 133, 23,  27,  136, 137, 138, 139, 140, 5,   6,   7,    // 32
    144, 145, 22,  147, 148, 149, 150, 4,   152, 153, 154, 155, 20,  21,  158, 26,   // 48
    32,  33,  226, 228, 224, 225, 227, 229, 231, 241, 162, 46,  60,  40,  43,  124,  // 64
    38,  233, 234, 235, 232, 237, 238, 239, 236, 223, 33,  36,  42,  41,  59,  172,  // 80
    45,  47,  194, 196, 192, 193, 195, 197, 199, 209, 124, 44,  37,  95,  62,  63,   // 96
    248, 201, 202, 203, 200, 205, 206, 207, 204, 96,  58,  35,  64,  39,  61,  34,   // 112
    216, 97,  98,  99,  100, 101, 102, 103, 104, 105, 171, 187, 240, 253, 254, 177,  // 128
    176, 106, 107, 108, 109, 110, 111, 112, 113, 114, 170, 186, 230, 184, 198, 164,  // 144
    181, 126, 115, 116, 117, 118, 119, 120, 121, 122, 161, 191, 208, 91,  222, 174,  // 160
    94,  163, 165, 183, 169, 167, 182, 188, 189, 190, 33,  33,  175, 93,  180, 215,  // 176
    123, 65,  66,  67,  68,  69,  70,  71,  72,  73,  173, 244, 246, 242, 243, 245,  // 192
    125, 74,  75,  76,  77,  78,  79,  80,  81,  82,  185, 251, 252, 249, 250, 255,  // 208
    92,  247, 83,  84,  85,  86,  87,  88,  89,  90,  178, 212, 214, 210, 211, 213,  // 224
    48,  49,  50,  51,  52,  53,  54,  55,  56,  57,  179, 219, 220, 217, 218, 159,  // 240
};

constexpr uint8_t kAnsiToEbcdic[256] = {
    0,   1,   2,   3,   55,  45,  46,  47,  22,  5,   21,  11,  12,  13,  14,  15,   // 0
    16,  17,  18,  19,  60,  61,  50,  38,  24,  25,  63,  39,  28,  29,  30,  31,   // 16
    64,  90,  127, 123, 91,  108, 80,  125, 77,  93,  92,  78,  107, 96,  75,  97,   // 32
    240, 241, 242, 243, 244, 245, 246, 247, 248, 249, 122, 94,  76,  126, 110, 111,  // 48
    124, 193, 194, 195, 196, 197, 198, 199, 200, 201, 209, 210, 211, 212, 213, 214,  // 64
    215, 216, 217, 226, 227, 228, 229, 230, 231, 232, 233, 173, 224, 189, 176, 109,  // 80
    121, 129, 130, 131, 132, 133, 134, 135, 136, 137, 145, 146, 147, 148, 149, 150,  // 96
    151, 152, 153, 162, 163, 164, 165, 166, 167, 168, 169, 192, 79,  208, 161, 7,    // 112
    32,  33,  34,  35,  36,  37,  6,   23,  40,  41,  42,  43,  44,  9,   10,  27,   // 128
    48,  49,  26,  51,  52,  53,  54,  8,   56,  57,  58,  59,  4,   20,  62,  255,  // 144
    65,  170, 74,  177, 159, 178, 106, 181, 127, 180, 154, 138, 95,  202, 175, 188,  // 160
    144, 143, 234, 250, 190, 160, 182, 179, 157, 218, 155, 139, 183, 184, 185, 171,  // 176
    100, 101, 98,  102, 99,  103, 158, 104, 116, 113, 114, 115, 120, 117, 118, 119,  // 192
    172, 105, 237, 238, 235, 239, 236, 191, 128, 253, 254, 251, 252, 232, 174, 89,   // 208
    68,  69,  66,  70,  67,  71,  156, 72,  84,  81,  82,  83,  88,  85,  86,  87,   // 224
    140, 73,  205, 206, 203, 207, 204, 225, 112, 221, 222, 219, 220, 141, 142, 223,  // 240
};

}  // namespace

constinit const std::array<uint8_t, 256> tvCharClass = MakeClass();
constinit const std::array<uint8_t, 256> tvCharUpper = MakeCase(true);
constinit const std::array<uint8_t, 256> tvCharLower = MakeCase(false);
constinit const std::array<uint8_t, 256> tvCharPlain = MakePlain();

const TvCharsetEntry tvCharsets[] = {
    {TvCharsetAnsi, nullptr, nullptr},      {TvCharsetAscii, nullptr, nullptr},
    {TvCharsetDos, kDosToAnsi, kAnsiToDos}, {TvCharsetEbcdic, kEbcdicToAnsi, kAnsiToEbcdic},
    {TvCharsetEnd, nullptr, nullptr},
};

TvOemCharset tvOemCharset = {TvCharsetAnsi, false};

namespace {

struct CharsetName {
  const char* read;     // as TvCharsetParse accepts it
  const char* written;  // as TvCharsetName gives it
  uint32_t id;
};
constexpr CharsetName kNames[] = {
    {"Ansi", "Ansi", TvCharsetAnsi},
    {"Ascii", "Ansi", TvCharsetAscii},
    {"Dos", "DOS", TvCharsetDos},
    {"Ebcdic", "EBCDIC", TvCharsetEbcdic},
};

constexpr uint32_t kFamilyAndPage = TvCharsetFamilyMask | TvCharsetCodePageMask;

// The first set of the table with this family: its code page is the usual one.
const TvCharsetEntry* FamilyDefault(uint32_t family) {
  for (const TvCharsetEntry* e = tvCharsets; e->id != TvCharsetEnd; ++e)
    if (TvCharsetFamilyOf(e->id) == family) return e;
  return nullptr;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

const TvCharsetEntry* TvCharsetFind(uint32_t id) {
  for (const TvCharsetEntry* e = tvCharsets; e->id != TvCharsetEnd; ++e)
    if ((e->id & kFamilyAndPage) == (id & kFamilyAndPage)) return e;
  return nullptr;
}

uint32_t TvCharsetParse(const char* text) {
  const char* p = TvStrOrEmpty(text);
  while (IsBlank(*p)) ++p;
  uint32_t id = TvCharsetAnsi;
  for (const CharsetName& n : kNames) {
    const size_t length = strlen(n.read);
    if (TvStrCompareNoCaseN(p, n.read, length) == 0) {
      id = n.id;
      p += length;
      break;
    }
  }
  while (IsBlank(*p)) ++p;
  constexpr char kNoDiacritics[] = "NoDiacritics";
  if (TvStrCompareNoCaseN(p, kNoDiacritics, sizeof kNoDiacritics - 1) == 0) {
    id |= TvCharsetNoDiacritics;
    p += sizeof kNoDiacritics - 1;
  }
  while (IsBlank(*p)) ++p;
  if (*p >= '0' && *p <= '9') {
    const int32_t page = TvStrToInt(p, nullptr);
    const uint32_t candidate = (id & ~static_cast<uint32_t>(TvCharsetCodePageMask)) | static_cast<uint32_t>(page);
    if (page > 0 && page <= 0xFFFF && TvCharsetFind(candidate)) id = candidate;
  }
  return id;
}

TvStatus TvCharsetName(uint32_t id, char* out, size_t size) {
  TvStrCopy(out, "", size);
  const uint32_t family = TvCharsetFamilyOf(id);
  const CharsetName* name = nullptr;
  for (const CharsetName& n : kNames)
    if (TvCharsetFamilyOf(n.id) == family) {
      name = &n;
      break;
    }
  const TvCharsetEntry* usual = FamilyDefault(family);
  if (!name || !usual) {
    char detail[24];
    TvFormat(detail, sizeof detail, "0x%08lX", static_cast<unsigned long>(id));
    return TvErrorRaise(TvErrCodePage, detail, TvRaiseOrigin);
  }
  TvStrCopy(out, name->written, size);
  if (id & TvCharsetNoDiacritics) TvStrCat(out, " NoDiacritics", size);
  const unsigned page = TvCharsetCodePageOf(id);
  if (page != TvCharsetCodePageOf(usual->id)) {
    char number[16];
    TvFormat(number, sizeof number, " %6u", page);
    TvStrCat(out, number, size);
  }
  return TvOk;
}

TvStatus TvCharsetConvert(char* out, size_t size, uint32_t target, const char* text, uint32_t source) {
  if ((target & kFamilyAndPage) == (source & kFamilyAndPage)) {
    TvStrCopy(out, text, size);
    return TvOk;
  }
  // The ANSI family is the kernel's own text: it needs no table.
  const uint8_t* toAnsi = nullptr;
  const uint8_t* fromAnsi = nullptr;
  const uint32_t* unknown = nullptr;
  if (TvCharsetFamilyOf(source) != TvFamilyAnsi) {
    const TvCharsetEntry* e = TvCharsetFind(source);
    if (e && e->toAnsi) toAnsi = e->toAnsi;
    else unknown = &source;
  }
  if (TvCharsetFamilyOf(target) != TvFamilyAnsi) {
    const TvCharsetEntry* e = TvCharsetFind(target);
    if (e && e->fromAnsi) fromAnsi = e->fromAnsi;
    else unknown = &target;
  }
  if (unknown) {
    TvStrCopy(out, "", size);
    char detail[24];
    TvFormat(detail, sizeof detail, "0x%08lX", static_cast<unsigned long>(*unknown));
    return TvErrorRaise(TvErrCodePage, detail, TvRaiseOrigin);
  }
  if (!out || size == 0) return TvOk;
  const char* in = TvStrOrEmpty(text);
  size_t n = 0;
  for (; n + 1 < size && in[n]; ++n) {
    uint8_t c = static_cast<uint8_t>(in[n]);
    if (toAnsi) c = toAnsi[c];
    if (fromAnsi) c = fromAnsi[c];
    out[n] = static_cast<char>(c);
  }
  out[n] = '\0';
  return TvOk;
}

namespace {

constexpr uint16_t kGerman = 49;
constexpr uint16_t kDanish = 45;
constexpr uint16_t kNorwegian = 47;

// The two letters a character is spelt with in the language, or nullptr.
const char* SpeltOut(uint8_t c, uint16_t language) {
  const bool german = language == kGerman;
  const bool nordic = language == kDanish || language == kNorwegian;
  switch (c) {
    case 140: return "Oe";
    case 156: return "oe";
    case 198: return "Ae";
    case 230: return "ae";
    case 222: return "Th";
    case 254: return "th";
    case 223: return "ss";
    case 196: return german ? "Ae" : nullptr;
    case 214: return german ? "Oe" : nullptr;
    case 220: return german ? "Ue" : nullptr;
    case 228: return german ? "ae" : nullptr;
    case 246: return german ? "oe" : nullptr;
    case 252: return german ? "ue" : nullptr;
    case 197: return nordic ? "Aa" : nullptr;
    case 229: return nordic ? "aa" : nullptr;
    case 216: return nordic ? "Oe" : nullptr;
    case 248: return nordic ? "oe" : nullptr;
    default: return nullptr;
  }
}

}  // namespace

size_t TvTransliterate(uint32_t flags, uint16_t language, char* out, size_t outSize, const char* text,
                       uint16_t textLength) {
  if (!out || outSize == 0) return 0;
  const char* in = TvStrOrEmpty(text);
  const uint32_t mode = flags & TvTranslitCaseMask;
  bool afterLetter = false;
  size_t n = 0;
  for (size_t i = 0; (textLength == kTvTextToNul || i < textLength) && in[i] && n + 1 < outSize; ++i) {
    const uint8_t c = static_cast<uint8_t>(in[i]);
    char single[2] = {TvToPlain(static_cast<char>(c)), '\0'};
    const char* letters = SpeltOut(c, language);
    if (!letters) letters = single;
    for (; *letters && n + 1 < outSize; ++letters) {
      char ch = *letters;
      if (mode == TvTranslitLower || (mode == TvTranslitCapitalise && afterLetter)) ch = TvToLower(ch);
      else if (mode == TvTranslitUpper || mode == TvTranslitCapitalise) ch = TvToUpper(ch);
      afterLetter = tvCharClass[static_cast<uint8_t>(ch)] & TvCharLetter;
      out[n++] = ch;
    }
  }
  out[n] = '\0';
  return n;
}

void TvCharsetReset() { tvOemCharset = {TvCharsetAnsi, false}; }

void TvCharsetInit(const TvOptionReader& options) {
  TvCharsetReset();
  char name[32];
  uint32_t id = TvCharsetAnsi;
  if (options.getString("OemCharacterSet", "", name, sizeof name)) id = TvCharsetParse(name);
  const int32_t page = options.getInt("OemCodePage", 0);
  if (page > 0 && page <= 0xFFFF) {
    const uint32_t candidate = (id & ~static_cast<uint32_t>(TvCharsetCodePageMask)) | static_cast<uint32_t>(page);
    if (TvCharsetFind(candidate)) id = candidate;
  }
  tvOemCharset = {id, (id & TvCharsetNoDiacritics) != 0};
}
