// tv_locale.h: locale files. At start-up the kernel can load the collation
// table of a named locale from "tvlcl.dat" in the program folder; the table
// becomes the kernel's current collation, together with the OEM character
// set. The language, country and locale tables of the file are read once
// and kept for the process. The locale lock guards the kept tables and the
// collations; the file is read before it is taken, as the file layer and
// the errors take locks that come before it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tv_base.h"
#include "tv_context.h"

constexpr size_t kTvLocaleNameSize = 8;        // settings: at most 7 characters
constexpr uint16_t kTvLocaleTableEnd = 65535;  // language index of the record that ends the table

struct TvLocaleRecord {
  uint16_t language;  // index into the language table
  uint16_t country;   // index into the country table
  uint32_t offset;    // of the locale's collation data in the file
  char name[20];
};

struct TvCollationChar {
  uint16_t values[2];
  const uint16_t* weights;  // weightsPerEntry weights
};
struct TvCollationMulti {
  uint16_t lead;
  char text[4];    // up to three characters
  uint8_t length;  // 0 in the record that ends the list
  uint16_t values[2];
  const uint16_t* weights;
};
struct TvCollation {
  uint16_t ids[2];
  uint16_t weightsPerEntry;
  uint16_t entries;  // weight entries
  TvCollationChar chars[256];
  TvCollationMulti* multi;  // multiCount records, then an empty one
  uint16_t multiCount;
  uint16_t* weights;
  TvCollation* next;  // the kernel's list of collations
};

// Reads Locale and LocaleCollation and loads the collation unless its name
// is "C"; the collation (empty when nothing was loaded) is then registered
// and made current. An error of finding or loading, or -1001.
TvStatus TvLocaleInit(const TvOptionReader& options);
// The first locale record that matches name (aliases such as "044" taken
// first), or nullptr; the record stays valid until TvLocaleRelease.
// -1074 without a file, -1075 for a file that is not a locale file, -1012
// for one cut short, -1001 without memory.
TvStatus TvLocaleFind(const TvLocaleRecord** record, const char* name);
// A new collation table from the record's data; TvCollationFree frees it.
TvStatus TvLocaleLoad(TvCollation** table, const TvLocaleRecord& record);
void TvCollationFree(TvCollation* table);
// Frees the registered collations and the cached tables (kernel shut-down).
void TvLocaleRelease();
// The current collation (nullptr before TvLocaleInit) and its OEM set.
const TvCollation* TvLocaleCollation();
uint32_t TvLocaleOemCharset();
