// installed_lists.h: the lists of installed countries and data sets kept in
// a configuration file, parsed into entries; the data-code table; and the
// small helpers that the list-handling exports share.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tv_base.h"
#include "tv_ini.h"
#include "tv_list.h"

inline constexpr char kDefaultSection[] = "TvDefault";

// Kind bits of the list keys.
enum ListKind : uint32_t {
  kCountryList = 4,  // code,name,path of the country's data file
  kDataList = 8,     // code,data directory
};

struct ListKey {
  const char* key;
  uint32_t kind;
};

// Every list-valued key, in the order its entries are read and examined.
inline constexpr ListKey ListKeyTable[] = {
    {"InstalledCountries", kCountryList}, {"NewInstalledCountries", kCountryList},
    {"AllInstalledCountries", kCountryList}, {"PreviousInstalledCountries", kCountryList},
    {"InstalledData", kDataList},          {"NewInstalledData", kDataList},
    {"AllInstalledData", kDataList},       {"PreviousInstalledData", kDataList},
};

// One list line, parsed.
struct InstalledListEntry {
  char code[4];
  char country[4];
  char name[80];
  char dataDir[256];
  char baseDir[256];
  char fileName[256];
  char listKey[1024];
};

// A data code (two letters of the country and the first letter of its
// data set), the country and the data-set list.
struct DataCode {
  char code[4];
  char country[4];
  char dataSets[128];
};
inline constexpr DataCode DataCodeTable[] = {
    {"GBK", "GBR", "GBR+GBRKAV"}, {"GBL", "GBR", "GBR+GBRLOM"}, {"GBM", "GBR", "GBR+GBRMIR"},
    {"GBS", "GBR", "GBR+GBRSOL"}, {"GBT", "GBR", "GBR+GBRTEV"}, {"USV", "USA", "USA+USAVAX"},
    {"USS", "USA", "USA+USASOL"},
};

// The country and data-set list of a data code; any other code gives
// itself for both. Either output may be absent.
void LookupDataCode(const char* code, char* country, size_t countrySize, char* dataSets, size_t dataSetsSize);

void ParseInstalledListLine(const char* line, InstalledListEntry* entry, uint32_t kind);

// Empties list (fixed records of InstalledListEntry) and fills it from every
// list key whose kind is in mask. An empty line ends the reading of a key.
TvStatus ReadInstalledLists(TvIniBuffer* buffer, uint32_t mask, TvList* list);

// source and destination may be the same text.
void StripTrailingBackslashes(const char* source, char* destination, size_t capacity);

bool DirectoryExists(const char* path);

// Appends the value line and continuation lines of a key of TvDefault to a
// string list, one item per line with the blanks at both ends removed.
// Lines are taken whole, so rewriting a list never shortens its entries.
TvStatus ReadStringList(TvIniBuffer* buffer, const char* key, TvList* list);

// Removes the items that are empty or a single "+".
TvStatus RemoveEmptyItems(TvList* list);

// The first item replaces the key's value and continuation lines, every
// further item becomes a continuation line below it. An empty list leaves
// the key alone.
TvStatus WriteStringList(TvIniBuffer* buffer, const char* section, const char* key, TvList* list);

// A loaded text holds no NUL and no control character other than tab,
// line end, form feed and the end-of-file mark.
bool IsIniText(const TvIniBuffer* buffer);

// TvIniLoadFile, refusing a file that is not ini text with -1096 (raised
// with the path), the buffer then left empty.
TvStatus LoadConfiguration(TvIniBuffer* buffer, const char* path);

// -1096 when a single entry holds a line break (it would split into lines
// of the file); 0 otherwise.
TvStatus CheckSingleLine(const char* text, const char* what);

// The text up to the first comma, cut to 3 characters.
void EntryCode(const char* text, char code[4]);
