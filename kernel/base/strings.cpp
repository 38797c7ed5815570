// strings.cpp: bounded copy and format helpers, compares through the
// kernel's character tables, number and switch parsing, tokens, separator
// lists, file-name patterns and the language message tables.
#include "tv_string.h"

#include <cstdio>
#include <cstring>

#include "tv_catalogue.h"
#include "tv_charset.h"
#include "tv_context.h"

size_t TvStrCopy(char* out, const char* text, size_t size) {
  if (!out || size == 0) return 0;
  if (out == text) {
    size_t n = strnlen(out, size - 1);
    out[n] = '\0';
    return n;
  }
  size_t n = text ? strnlen(text, size - 1) : 0;
  memmove(out, text ? text : "", n);
  out[n] = '\0';
  return n;
}

size_t TvStrCat(char* out, const char* text, size_t size) {
  if (!out || size == 0) return 0;
  size_t used = strnlen(out, size - 1);
  return used + TvStrCopy(out + used, text, size - used);
}

size_t TvStrCopyUntil(char* out, const char* text, char stop, size_t size) {
  if (!out || size == 0) return 0;
  size_t n = 0;
  if (text)
    while (n + 1 < size && text[n] && text[n] != stop) ++n;
  memmove(out, text ? text : "", n);
  out[n] = '\0';
  return n;
}

namespace {

// Copies count characters, never past the text's end nor size - 1.
size_t CopyCount(char* out, const char* text, size_t count, size_t size) {
  if (!out || size == 0) return 0;
  const size_t n = text ? strnlen(text, count < size - 1 ? count : size - 1) : 0;
  memmove(out, text ? text : "", n);
  out[n] = '\0';
  return n;
}

}  // namespace

size_t TvStrCopyN(char* out, const char* text, size_t count, size_t size) {
  return CopyCount(out, text, count == kTvStrAll ? SIZE_MAX : count, size);
}

size_t TvFormatV(char* out, size_t size, const char* format, va_list args) {
  if (!out || size == 0) return 0;
  int n = vsnprintf(out, size, format ? format : "", args);
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}

size_t TvFormat(char* out, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  size_t n = TvFormatV(out, size, format, args);
  va_end(args);
  return n;
}

namespace {

size_t CopyThrough(const std::array<uint8_t, 256>& table, char* out, const char* text, size_t size) {
  if (!out || size == 0) return 0;
  const char* in = TvStrOrEmpty(text);
  size_t n = 0;
  for (; n + 1 < size && in[n]; ++n) out[n] = static_cast<char>(table[static_cast<uint8_t>(in[n])]);
  out[n] = '\0';
  return n;
}

}  // namespace

size_t TvStrUpper(char* out, const char* text, size_t size) { return CopyThrough(tvCharUpper, out, text, size); }
size_t TvStrLower(char* out, const char* text, size_t size) { return CopyThrough(tvCharLower, out, text, size); }

void TvStrUpperInPlace(char* text) {
  for (; text && *text; ++text) *text = TvToUpper(*text);
}

int TvStrCompareNoCaseN(const char* a, const char* b, size_t count) {
  a = TvStrOrEmpty(a);
  b = TvStrOrEmpty(b);
  for (size_t i = 0; i < count; ++i) {
    int ca = static_cast<uint8_t>(TvToUpper(a[i]));
    int cb = static_cast<uint8_t>(TvToUpper(b[i]));
    if (ca != cb) return ca - cb;
    if (!ca) break;
  }
  return 0;
}

int TvStrCompareNoCase(const char* a, const char* b) { return TvStrCompareNoCaseN(a, b, SIZE_MAX); }

bool TvStrEqualNoCase(const char* a, const char* b) { return TvStrCompareNoCase(a, b) == 0; }

namespace {

int Signed(char c) { return static_cast<int8_t>(c); }

int CollateN(const char* a, const char* b, size_t count) {
  a = TvStrOrEmpty(a);
  b = TvStrOrEmpty(b);
  for (size_t i = 0; i < count; ++i) {
    if (a[i] != b[i]) {
      const int plain = Signed(TvToPlain(a[i])) - Signed(TvToPlain(b[i]));
      return plain ? plain : Signed(a[i]) - Signed(b[i]);
    }
    if (!a[i]) break;
  }
  return 0;
}

// Only NUL has NUL as its upper-case diacritic-free form.
int FoldN(const char* a, const char* b, size_t count) {
  a = TvStrOrEmpty(a);
  b = TvStrOrEmpty(b);
  for (size_t i = 0; i < count; ++i) {
    const char ca = TvToUpper(TvToPlain(a[i]));
    const char cb = TvToUpper(TvToPlain(b[i]));
    if (ca != cb) return Signed(ca) - Signed(cb);
    if (!ca) break;
  }
  return 0;
}

size_t CountOf(intptr_t count) { return count > 0 ? static_cast<size_t>(count) : 0; }

}  // namespace

int TvStrCollate(const char* a, const char* b) { return CollateN(a, b, SIZE_MAX); }
int TvStrCollateN(const char* a, const char* b, size_t count) { return CollateN(a, b, count); }
int TvStrCompareFold(const char* a, const char* b) { return FoldN(a, b, SIZE_MAX); }
int TvStrCompareFoldN(const char* a, const char* b, size_t count) { return FoldN(a, b, count); }

int TvStrCollateItems(const void* item, const void* listItem, intptr_t) {
  return CollateN(static_cast<const char*>(item), static_cast<const char*>(listItem), SIZE_MAX);
}
int TvStrCollateNItems(const void* item, const void* listItem, intptr_t count) {
  return CollateN(static_cast<const char*>(item), static_cast<const char*>(listItem), CountOf(count));
}
int TvStrCompareFoldItems(const void* item, const void* listItem, intptr_t) {
  return FoldN(static_cast<const char*>(item), static_cast<const char*>(listItem), SIZE_MAX);
}
int TvStrCompareFoldNItems(const void* item, const void* listItem, intptr_t count) {
  return FoldN(static_cast<const char*>(item), static_cast<const char*>(listItem), CountOf(count));
}

namespace {

bool IsNumberSeparator(char c) { return c == ',' || c == '/' || c == ':'; }

int DigitValue(char c, unsigned base) {
  int d = (c >= '0' && c <= '9')   ? c - '0'
          : (c >= 'a' && c <= 'f') ? c - 'a' + 10
          : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                   : -1;
  return d < static_cast<int>(base) ? d : -1;
}

// "0x" counts as a prefix only when a hexadecimal digit follows it.
bool HexPrefix(const char* p) { return p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2], 16) >= 0; }

// Reads digits of a base; false (p unchanged) when there is none. The value
// wraps.
bool ReadDigits(const char*& p, unsigned base, uint64_t& value) {
  const char* start = p;
  for (int d; (d = DigitValue(*p, base)) >= 0; ++p) value = value * base + static_cast<unsigned>(d);
  return p != start;
}

uint64_t ParseNumber(const char*& p, uint32_t flags) {
  if (flags & TvNumSkipSpaces)
    while (*p == ' ') ++p;
  uint64_t value = 0;
  if (flags & TvNumCharCode) {
    if (*p) value = static_cast<uint8_t>(*p++);
  } else if (flags & TvNumHex) {
    if (HexPrefix(p)) p += 2;
    ReadDigits(p, 16, value);
  } else if (flags & TvNumDecimal) {
    ReadDigits(p, 10, value);
  } else if (*p == '\'' && p[1]) {
    value = static_cast<uint8_t>(p[1]);
    p += 2;
  } else if (*p && !IsNumberSeparator(*p)) {
    const char* start = p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    bool digits;
    if (HexPrefix(p)) {
      p += 2;
      digits = ReadDigits(p, 16, value);
    } else {
      digits = ReadDigits(p, 10, value);
    }
    if (!digits) p = start;
    else if (negative) value = 0 - value;
  }
  if (flags & TvNumSeparator) {
    while (*p == ' ') ++p;
    if (IsNumberSeparator(*p)) {
      ++p;
      while (*p == ' ') ++p;
    }
  }
  return value;
}

}  // namespace

int32_t TvStrToInt(const char* text, const char** end) {
  const char* p = TvStrOrEmpty(text);
  const uint64_t value = ParseNumber(p, TvNumSkipSpaces | TvNumSeparator);
  if (end) *end = p;
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

int64_t TvStrToInt64(const char* text, uint32_t flags, const char** end) {
  const char* p = TvStrOrEmpty(text);
  const uint64_t value = ParseNumber(p, flags);
  if (end) *end = p;
  return static_cast<int64_t>(value);
}

bool TvStrToBool(const char* text) {
  const char* p = TvStrOrEmpty(text);
  while (*p == ' ') ++p;
  switch (*p) {
    // clang-format off
    case '1': case 'T': case 't': case 'Y': case 'y': return true;
    case 'O': case 'o': return p[1] == 'N' || p[1] == 'n';
    // clang-format on
    default: return false;
  }
}

TvStatus TvStrToBoolChecked(const char* text, int* result, int defaultValue) {
  const char* p = TvStrOrEmpty(text);
  while (*p == ' ') ++p;
  int value = -1;
  switch (*p) {
    // clang-format off
    case '1': case 'T': case 't': case 'Y': case 'y': value = 1; break;
    case '0': case 'F': case 'f': case 'N': case 'n': value = 0; break;
    case 'O': case 'o':
      // clang-format on
      if (p[1] == 'N' || p[1] == 'n') value = 1;
      else if (p[1] == 'F' || p[1] == 'f') value = 0;
      break;
    default: break;
  }
  if (result) *result = value < 0 ? defaultValue : value;
  return value < 0 ? TvErrInputChars : TvOk;
}

const char* TvStrToken(char* out, const char* text, size_t size, char separator) {
  TvStrCopy(out, "", size);
  if (!text) return nullptr;
  const char* p = text;
  if (separator == ' ') {
    while (TvIsSpace(*p)) ++p;
    const char* start = p;
    while (*p && !TvIsSpace(*p)) ++p;
    CopyCount(out, start, static_cast<size_t>(p - start), size);
    while (TvIsSpace(*p)) ++p;
    return *p ? p : nullptr;
  }
  const char* start = p;
  while (*p && *p != separator) ++p;
  CopyCount(out, start, static_cast<size_t>(p - start), size);
  return *p ? p + 1 : nullptr;
}

size_t TvStrSeparators(char* out, const char* text, size_t size) {
  if (!out || size == 0) return 0;
  const char* in = TvStrOrEmpty(text);
  size_t n = 0;
  bool pending = false;  // a comma is written only in front of what follows it
  for (; *in; ++in) {
    const char c = *in;
    if (c == '\t' || c == '\r' || c == '\n' || c == ',') {
      pending = n > 0;
      continue;
    }
    if (pending) {
      if (n + 2 >= size) break;
      out[n++] = ',';
      pending = false;
    }
    if (n + 1 >= size) break;
    out[n++] = c;
  }
  out[n] = '\0';
  return n;
}

size_t TvStrCount(const char* text, char character) {
  size_t count = 0;
  if (character)
    for (const char* p = TvStrOrEmpty(text); *p; ++p) count += *p == character;
  return count;
}

namespace {

bool SameLowerN(const char* text, const char* run, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (!text[i] || TvToLower(text[i]) != TvToLower(run[i])) return false;
  return true;
}

}  // namespace

int TvFileNameMatch(const char* pattern, const char* name) {
  const char* p = TvStrOrEmpty(pattern);
  const char* n = TvStrOrEmpty(name);
  while (*p) {
    if (*p == '*') {
      ++p;
      if (!*p) return 1;  // a final "*" matches the rest
      const char* run = p;
      while (*p && *p != '*' && *p != '?') ++p;
      const size_t length = static_cast<size_t>(p - run);
      if (length == 0) continue;
      const char* found = nullptr;
      for (const char* at = n; *at && !found; ++at)
        if (SameLowerN(at, run, length)) found = at;
      if (!found) return 0;
      n = found + length;
    } else {
      if (!*n || (*p != '?' && TvToLower(*p) != TvToLower(*n))) return 0;
      ++p;
      ++n;
    }
  }
  return *n ? 0 : 1;
}

uint16_t TvCurrentLanguage() { return tvContext.language; }

TvMsgTableRef TvMsgTable(const TvMsgTableEntry* set, uint16_t language) {
  const TvMsgTableEntry* entry = TvLanguageSelect(set ? set : kTvKernelStringSet, language);
  return entry ? entry->table : nullptr;
}

const char* TvMsgText(TvMsgTableRef table, int number) {
  if (!table || number < 0) return nullptr;
  for (int i = 0; i < number; ++i)
    if (!table[i]) return nullptr;
  return table[number];
}

TvMsgTableRef TvKernelStringsInUse() {
  return tvContext.kernelStrings ? tvContext.kernelStrings : TvMsgTable(kTvKernelStringSet, tvContext.language);
}

namespace {

TvMsgTableRef TableOrCurrent(TvMsgTableRef table) { return table ? table : TvKernelStringsInUse(); }

}  // namespace

size_t TvKernelString(TvMsgTableRef table, int number, char* out, size_t size) {
  if (!out || size == 0) return 0;
  const char* text = TvMsgText(TableOrCurrent(table), number);
  if (!text) return TvStrCopy(out, "", size);
  const size_t length = strlen(text);
  const size_t n = TvStrCopy(out, text, size);
  if (n < length && n > 0 && text[length - 1] == '~') out[n - 1] = '~';
  return n;
}

size_t TvMsgJoin(TvMsgTableRef table, int number, char* out, size_t size) {
  if (!out || size == 0) return 0;
  out[0] = '\0';
  table = TableOrCurrent(table);
  size_t n = 0;
  for (const char* text; (text = TvMsgText(table, number)) != nullptr; ++number) {
    const size_t length = strlen(text);
    const bool last = length > 0 && text[length - 1] == '~';
    n += CopyCount(out + n, text, last ? length - 1 : length, size - n);
    if (last) break;
  }
  return n;
}

const char* TvLanguageName(uint16_t language) {
  for (const TvLanguageNameEntry* e = kTvLanguageNames; e->language; ++e)
    if (e->language == language) return e->name;
  return "Unknown Language";
}
