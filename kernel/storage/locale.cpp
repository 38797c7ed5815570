// locale.cpp: the locale file "tvlcl.dat": its language, country and locale
// tables, read once and cached, the matching of locale names, and the
// collation tables loaded from it. The file is input from disk: every count
// and offset is checked against the file's size before anything is read or
// allocated.
#include "tv_locale.h"

#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "tv_charset.h"
#include "tv_file.h"
#include "tv_memory.h"
#include "tv_string.h"
#include "tv_thread.h"

namespace {

constexpr char kMagic[9] = {'L', 'o', 'c', 'a', 'l', 'e', '\r', '\n', '\0'};
constexpr uint32_t kHeaderSize = 24, kLanguageSize = 28, kCountrySize = 5, kLocaleSize = 38;
constexpr uint32_t kCollationHeaderSize = 20, kCharRecordSize = 6, kMultiRecordSize = 12;

struct Codes {
  char two[3];
  char three[4];
};

struct Tables {
  bool read;
  Codes* languages;
  uint16_t languageCount;
  Codes* countries;
  uint16_t countryCount;
  TvLocaleRecord* locales;  // ended by a record of language kTvLocaleTableEnd
};
Tables tables;
TvCollation* collations = nullptr;  // every collation registered
const TvCollation* current = nullptr;
uint32_t currentOem = TvCharsetAnsi;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return U16(p) | static_cast<uint32_t>(U16(p + 2)) << 16; }

void CopyCode(char* out, const uint8_t* field, size_t length) {
  memcpy(out, field, length);
  out[length] = '\0';
}

class LocaleFile {
 public:
  ~LocaleFile() {
    if (handle_ != kTvNoFile) TvFileClose(handle_);
  }
  TvStatus Open() {
    char path[kTvPathSize];
    if (TvFileOpen(path, tvContext.progDir, "tvlcl", "dat", TvFileShareRead | TvFileSilent, &handle_) != TvOk) {
      TvQuiet quiet;  // a missing locale file is the caller's to report
      return TvErrorRaise(TvErrLocaleFile, path, TvRaiseOrigin);
    }
    return TvFileGetSize(handle_, &size_);
  }
  bool Holds(uint64_t offset, uint64_t count) const { return offset <= size_ && count <= size_ - offset; }
  // count bytes at offset; -1012 for bytes the file does not hold.
  TvStatus Read(uint32_t offset, void* buffer, uint64_t count) {
    if (!Holds(offset, count)) return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
    if (count == 0) return TvOk;
    if (TvFileSeek(handle_, offset) != TvOk || TvFileRead(handle_, buffer, static_cast<uint32_t>(count)) != count)
      return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
    return TvOk;
  }
  // A magic at offset, followed by the rest of a header of size bytes.
  TvStatus Header(uint32_t offset, uint8_t* header, uint32_t size) {
    if (TvStatus status = Read(offset, header, size); status != TvOk) return status;
    return memcmp(header, kMagic, sizeof kMagic) == 0 ? TvOk : TvErrorRaise(TvErrLocaleInvalid, nullptr, TvRaiseOrigin);
  }

 private:
  TvFileHandle handle_ = kTvNoFile;
  uint32_t size_ = 0;
};

// A block the size of which the file has already justified.
template <typename T>
T* Allocate(uint64_t count) {
  return static_cast<T*>(TvMemAlloc(TvMemZero, static_cast<size_t>(count * sizeof(T))));
}

void FreeTables(Tables& read) {
  TvMemFree(read.languages);
  TvMemFree(read.countries);
  TvMemFree(read.locales);
  read = Tables{};
}

// The file's tables, read without the locale lock: the file layer and the
// errors take locks that come before it.
TvStatus ReadTables(Tables& out) {
  LocaleFile file;
  if (TvStatus status = file.Open(); status != TvOk) return status;
  uint8_t header[kHeaderSize];
  if (TvStatus status = file.Header(0, header, sizeof header); status != TvOk) return status;
  const uint16_t l = U16(header + 14), c = U16(header + 16), n = U16(header + 18);
  const uint64_t bytes = uint64_t{kLanguageSize} * l + uint64_t{kCountrySize} * c + uint64_t{kLocaleSize} * n;
  if (!file.Holds(kHeaderSize, bytes)) return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
  uint8_t* raw = Allocate<uint8_t>(bytes + 1);
  if (!raw) return TvErrorRaise(TvErrNoMemory, "locale tables", TvRaiseOrigin);
  TvStatus status = file.Read(kHeaderSize, raw, bytes);
  if (status == TvOk) {
    out.languages = Allocate<Codes>(l + 1);
    out.countries = Allocate<Codes>(c + 1);
    out.locales = Allocate<TvLocaleRecord>(n + 1);
    if (!out.languages || !out.countries || !out.locales)
      status = TvErrorRaise(TvErrNoMemory, "locale tables", TvRaiseOrigin);
  }
  const uint8_t* p = raw;
  for (uint16_t i = 0; status == TvOk && i < l; ++i, p += kLanguageSize) {
    CopyCode(out.languages[i].two, p, 2);
    CopyCode(out.languages[i].three, p + 2, 3);
  }
  for (uint16_t i = 0; status == TvOk && i < c; ++i, p += kCountrySize) {
    CopyCode(out.countries[i].two, p, 2);
    CopyCode(out.countries[i].three, p + 2, 3);
  }
  for (uint16_t i = 0; status == TvOk && i < n; ++i, p += kLocaleSize) {
    TvLocaleRecord& r = out.locales[i];
    r = {U16(p), U16(p + 2), U32(p + 4), {}};
    if (r.language >= l || r.country >= c) status = TvErrorRaise(TvErrLocaleInvalid, nullptr, TvRaiseOrigin);
    CopyCode(r.name, p + 8, strnlen(reinterpret_cast<const char*>(p + 8), 19));
  }
  TvMemFree(raw);
  if (status != TvOk) {
    FreeTables(out);
    return status;
  }
  out.locales[n].language = kTvLocaleTableEnd;
  out.languageCount = l;
  out.countryCount = c;
  out.read = true;
  return TvOk;
}

// True when text begins with code (ignoring case and diacritics); rest is
// what follows it.
bool Begins(std::string_view text, const char* code, std::string_view* rest) {
  const size_t n = strlen(code);
  if (n == 0 || text.size() < n || TvStrCompareFoldN(std::string(text.substr(0, n)).c_str(), code, n) != 0)
    return false;
  *rest = text.substr(n);
  return true;
}

bool Matches(std::string_view name, const TvLocaleRecord& record) {
  const Codes& language = tables.languages[record.language];
  const Codes& country = tables.countries[record.country];
  for (const char* code : {language.three, language.two}) {
    std::string_view rest;
    if (!Begins(name, code, &rest)) continue;
    if (rest.empty()) return true;
    if (rest[0] != '-' && rest[0] != '_') continue;
    rest.remove_prefix(1);
    for (const char* countryCode : {country.three, country.two}) {
      std::string_view end;
      if (Begins(rest, countryCode, &end) && end.empty()) return true;
    }
  }
  return false;
}

struct Alias {
  const char* code;
  const char* name;
};
constexpr Alias kAliases[] = {
    {"044", "en-gb"}, {"001", "en-us"}, {"031", "nl"}, {"033", "fr"}, {"034", "es"}, {"039", "it"}, {"045", "da"},
    {"046", "sv"},    {"047", "no"},    {"049", "de"}, {"351", "pt"}, {"354", "is"}, {"358", "fi"},
};

}  // namespace

TvStatus TvLocaleFind(const TvLocaleRecord** record, const char* name) {
  *record = nullptr;
  bool cached;
  {
    TvLockGuard guard(TvServiceLock(TvLockId::Locale));
    cached = tables.read;
  }
  if (!cached) {
    Tables read{};
    if (TvStatus status = ReadTables(read); status != TvOk) return status;
    TvLockGuard guard(TvServiceLock(TvLockId::Locale));
    if (tables.read) FreeTables(read);  // another thread was first
    else tables = read;
  }
  TvLockGuard guard(TvServiceLock(TvLockId::Locale));
  char wanted[kTvLocaleNameSize];
  TvStrCopy(wanted, name, sizeof wanted);
  for (const Alias& alias : kAliases)
    if (strcmp(TvStrOrEmpty(name), alias.code) == 0) TvStrCopy(wanted, alias.name, sizeof wanted);
  for (const TvLocaleRecord* r = tables.locales; r->language != kTvLocaleTableEnd; ++r)
    if (Matches(wanted, *r)) {
      *record = r;
      break;
    }
  return TvOk;
}

void TvCollationFree(TvCollation* table) {
  if (!table) return;
  TvMemFree(table->weights);
  TvMemFree(table->multi);
  TvMemFree(table);
}

// A new table of the caller's own, built from the file without the locale
// lock.
TvStatus TvLocaleLoad(TvCollation** table, const TvLocaleRecord& record) {
  *table = nullptr;
  LocaleFile file;
  if (TvStatus status = file.Open(); status != TvOk) return status;
  uint8_t header[kCollationHeaderSize];
  if (TvStatus status = file.Header(record.offset, header, sizeof header); status != TvOk) return status;
  const uint16_t w = U16(header + 10), e = U16(header + 12), k = U16(header + 18);
  const uint64_t weightBytes = uint64_t{2} * w * e;
  const uint64_t bytes = weightBytes + kCharRecordSize * 256 + uint64_t{kMultiRecordSize} * k;
  // The whole collation must lie in the file before anything is allocated for it.
  if (!file.Holds(uint64_t{record.offset} + kCollationHeaderSize, bytes))
    return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
  uint8_t* raw = Allocate<uint8_t>(bytes);
  auto* t = Allocate<TvCollation>(1);
  TvStatus status = raw && t ? TvOk : TvErrorRaise(TvErrNoMemory, "collation", TvRaiseOrigin);
  if (status == TvOk) {
    t->weights = Allocate<uint16_t>(uint64_t{w} * e + 1);
    t->multi = Allocate<TvCollationMulti>(uint64_t{k} + 1);
    if (!t->weights || !t->multi) status = TvErrorRaise(TvErrNoMemory, "collation", TvRaiseOrigin);
  }
  if (status == TvOk) status = file.Read(record.offset + kCollationHeaderSize, raw, bytes);
  if (status == TvOk) {
    t->ids[0] = U16(header + 14);
    t->ids[1] = U16(header + 16);
    t->weightsPerEntry = w;
    t->entries = e;
    t->multiCount = k;
    for (uint64_t i = 0; i < uint64_t{w} * e; ++i) t->weights[i] = U16(raw + 2 * i);
    // A weight index outside the table would point past the weights.
    auto weightsOf = [&](uint16_t index) -> const uint16_t* {
      if (index >= e) status = TvErrorRaise(TvErrLocaleInvalid, nullptr, TvRaiseOrigin);
      return index < e ? t->weights + uint32_t{index} * w : nullptr;
    };
    const uint8_t* p = raw + weightBytes;
    for (int c = 0; c < 256 && status == TvOk; ++c, p += kCharRecordSize)
      t->chars[c] = {{U16(p), U16(p + 2)}, weightsOf(U16(p + 4))};
    for (uint16_t i = 0; i < k && status == TvOk; ++i, p += kMultiRecordSize) {
      TvCollationMulti& m = t->multi[i];
      m.lead = U16(p);
      const size_t length = strnlen(reinterpret_cast<const char*>(p + 2), 3);
      CopyCode(m.text, p + 2, length);
      m.length = static_cast<uint8_t>(length);
      m.values[0] = U16(p + 6);
      m.values[1] = U16(p + 8);
      m.weights = weightsOf(U16(p + 10));
    }
  }
  TvMemFree(raw);
  if (status != TvOk) {
    TvCollationFree(t);
    return status;
  }
  *table = t;
  return TvOk;
}

TvStatus TvLocaleInit(const TvOptionReader& options) {
  char locale[kTvLocaleNameSize], name[kTvLocaleNameSize];
  options.getString("Locale", "C", locale, sizeof locale);
  options.getString("LocaleCollation", locale, name, sizeof name);
  TvCollation* table = nullptr;
  TvStatus status = TvOk;
  if (strcmp(name, "C") != 0) {
    const TvLocaleRecord* record = nullptr;
    status = TvLocaleFind(&record, name);
    if (status == TvOk && record) status = TvLocaleLoad(&table, *record);
  }
  if (!table) table = Allocate<TvCollation>(1);  // the empty collation: the built-in behaviour
  if (!table) return TvErrorRaise(TvErrNoMemory, "collation list", TvRaiseOrigin);
  TvLockGuard guard(TvServiceLock(TvLockId::Locale));
  table->next = collations;
  collations = table;
  current = table;
  currentOem = tvOemCharset.id;
  return status;
}

void TvLocaleRelease() {
  TvLockGuard guard(TvServiceLock(TvLockId::Locale));
  while (TvCollation* c = collations) {
    collations = c->next;
    TvCollationFree(c);
  }
  current = nullptr;
  currentOem = TvCharsetAnsi;
  FreeTables(tables);
}

const TvCollation* TvLocaleCollation() { return current; }
uint32_t TvLocaleOemCharset() { return currentOem; }
