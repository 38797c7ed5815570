// tv_catalogue.h: the data of the message catalogue and the kernel string
// tables. The catalogue lookup lives in errors.cpp, the message-table
// helpers and the language selection rule in strings.cpp / tv_string.h.
#pragma once
#include <cstdint>

#include "tv_string.h"

enum TvCatalogueColumn : uint8_t { TvColEnglish, TvColDutch, TvColSpanish, TvColFrench, TvColGerman, TvColCount };

// One code and its texts; nullptr in a column means the English text.
struct TvCatalogueRow {
  int16_t code;
  const char* text[TvColCount];
};

// A language of the lists, and the column holding its texts.
struct TvLanguageEntry {
  uint16_t language;
  TvCatalogueColumn column;
};

struct TvLanguageNameEntry {
  uint16_t language;
  const char* name;
};

extern const TvCatalogueRow kTvCatalogue[];
extern const int kTvCatalogueRows;
extern const TvLanguageEntry kTvLanguages[];          // 49, 44, 34, 33, 31, 1, then 0
extern const TvLanguageNameEntry kTvLanguageNames[];  // ended by language 0
// 48 texts per language and the null entry that ends a message table.
extern const char* const kTvKernelStrings[TvColCount][49];
extern const TvMsgTableEntry kTvKernelStringSet[];  // 49, 44, 34, 33, 31, 1, then 0
