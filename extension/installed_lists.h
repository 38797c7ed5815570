// installed_lists.h: the lists of installed countries and data sets kept in
// a configuration file, parsed into entries; the data-code table; and the
// small helpers that the list-handling exports share.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

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
    {"InstalledCountries", kCountryList},
    {"NewInstalledCountries", kCountryList},
    {"AllInstalledCountries", kCountryList},
    {"PreviousInstalledCountries", kCountryList},
    {"InstalledData", kDataList},
    {"NewInstalledData", kDataList},
    {"AllInstalledData", kDataList},
    {"PreviousInstalledData", kDataList},
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
  bool cut;  // the data directory or the file name did not fit: the entry names no usable path
};

// The fields of a list line, whole, as they stand in the line.
struct ListLineParts {
  std::string_view code;       // up to the first comma
  std::string_view name;       // country lines: the second field
  std::string_view directory;  // trailing backslashes removed from a country line's path
  std::string_view fileName;   // country lines: after the path's last separator
};
ListLineParts SplitListLine(std::string_view line, uint32_t kind);

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

// A line of the lists as ReadInstalledLists records it: the key of its
// list (the list-key table's own text) and the line's country.
struct InstalledListLine {
  const char* listKey;
  char country[4];
};

// Empties list (fixed records of InstalledListLine) and fills it from every
// list key whose kind is in mask. An empty line ends the reading of a key.
// When lines is given, it receives each line whole, in the same order.
TvStatus ReadInstalledLists(TvIniBuffer* buffer, uint32_t mask, TvList* list, TvList* lines = nullptr);

// Calls visit with each line of the lists that ReadInstalledLists reads,
// in its order, until it answers false; -1001 when a line did not fit in
// memory.
using ListLineVisitor = bool (*)(const char* line, const ListKey& row, void* data);
TvStatus ForEachListLine(TvIniBuffer* buffer, uint32_t mask, ListLineVisitor visit, void* data);

// The code of a list line as an entry holds it, and its country.
void ReadCode(const char* line, uint32_t kind, char (&code)[4], char (&country)[4]);

// source and destination may be the same text.
void StripTrailingBackslashes(const char* source, char* destination, size_t capacity);

// A list's directory as a path to use: trailing backslashes removed, but a
// drive root keeps its own ("D:" from "D:\GBR.dts" is the root "D:\", not
// the drive's current directory), and an empty directory is the current
// one ("."). False when it does not fit in out (kTvPathSize bytes).
bool UsableDirectory(const char* directory, char* out);

// Whether a directory of a list exists, taken as UsableDirectory does; a
// directory too long for a path is missing, never cut into another one.
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

// Indicator bits of discovery.
enum DiscoveryIndicator : int32_t {
  kRemoteServer = 1,  // ServerAddress names a server other than the local one
  kRelativeDir = 2,   // an examined data directory was relative
  kRegionalFile = 4,  // a data file was found under ".rds"
};

// What the configuration and its folder answer discovery, for a caller
// that resolves many entries of one file and asks each question once.
struct DiscoveryMemo {
  bool askedServer = false, remoteServer = false;
  bool askedProgDir = false, hasProgDir = false;
  int progDirExists = -1;  // not asked yet
  char progDir[kTvPathSize] = "";
  char defaultDir[kTvPathSize] = "";
};

// Where discovery looks for an entry's data: fills its data and base
// directories and answers whether the data directory exists (relative
// directories below ProgDir, a missing one replaced by the default data
// directory). indicators collects the bits of a whole call.
bool ResolveDataDirectories(InstalledListEntry* entry, TvIniBuffer* buffer, const char* configFolder,
                            int32_t* indicators, DiscoveryMemo* memo = nullptr);

// How ProbeDataFile looks for a data file.
struct ProbeOptions {
  // The caller has just found the directory (ResolveDataDirectories
  // answered true for it): it is not looked at again.
  bool folderFound = false;
  // A file counts when the path its open would take names a file that is
  // no folder, without opening it: for a caller that looks at thousands of
  // entries at once and opens only the files it reads. A file that another
  // program holds without sharing counts here but would not open.
  bool byAttributes = false;
  char* foundPath = nullptr;  // receives the path found (kTvPathSize bytes)
  uint64_t* size = nullptr;   // by attributes: receives the file's size (else left as it is)
};

// Whether the entry's data file opens in the data directory, under ".dts"
// or else ".rds" (indicator 4).
bool ProbeDataFile(const char* dataDir, const char* fileName, int32_t* indicators, const ProbeOptions& options = {});

// Whether the configuration belongs to a server installation, whose
// updates go to the New lists.
bool IsServerConfiguration(TvIniBuffer* ini);

// A loaded text holds no NUL and no control character other than tab,
// line end, form feed and the end-of-file mark.
bool IsIniText(const TvIniBuffer* buffer);
// The offset of the first byte that makes the text no ini text, or its length.
uint32_t NonIniTextAt(const TvIniBuffer* buffer);

// TvIniLoadFile, refusing a file that is not ini text with -1096 (raised
// with the path), the buffer then left empty. With missingIsEmpty, a file
// that does not exist gives 0 and an empty buffer, silently.
TvStatus LoadConfiguration(TvIniBuffer* buffer, const char* path, bool missingIsEmpty = false);

// -1096 when a single entry holds a line break or another control character
// than tab (it would split into lines of the file, or make it unreadable);
// 0 otherwise.
TvStatus CheckSingleLine(const char* text, const char* what);

// A path argument copied (and traced) whole: -1028, raised, when it does
// not fit in size, because a cut path could name another file.
TvStatus TracePathIn(const char* name, const char* value, char* copy, size_t size);

// A text argument copied (and traced), cut to size; the log says when it
// was cut.
void TraceTextIn(const char* name, const char* value, char* copy, size_t size);
