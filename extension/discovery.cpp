// discovery.cpp: where a country's data already lives. The lines of the
// server configuration's lists are read in order; the first entry of the
// country whose data directory and data file both exist is reported.
#include <cstdio>
#include <cstring>

#include "exports.h"
#include "frame.h"
#include "installed_lists.h"
#include "owners.h"
#include "tv_context.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_log.h"
#include "tv_path.h"
#include "tv_string.h"

namespace {

constexpr size_t kCodeSize = 4;  // a three-letter code and its NUL
constexpr size_t kTwoLetters = 2;
static_assert(tvexport::CapacityOf("TvIsi_CheckIniForData", 4) == kCodeSize &&
              tvexport::CapacityOf("TvIsi_CheckIniForData", 5) == kTvPathSize &&
              tvexport::CapacityOf("TvIsi_CheckIniForData", 6) == kTvPathSize);

// Relative: not "\...", "X:..." or "X\..."; an empty text counts as relative.
bool IsRelative(const char* directory) {
  return directory[0] != '\\' && (directory[0] == '\0' || (directory[1] != ':' && directory[1] != '\\'));
}

// A last component such as "GBR.12": one to three letters, a dot and a
// number with nothing after it. Read exactly as the products write it.
bool IsVersionedComponent(const char* component) {
  char letters[4];
  int number;
  char rest[kTvPathSize];
  return sscanf(component, "%3[a-zA-Z].%d%s", letters, &number, rest) == 2;
}

void BaseDirectory(const char* start, char* out) {
  char base[kTvPathSize];
  StripTrailingBackslashes(start, base, sizeof base);
  char* last = strrchr(base, '\\');
  if (last && IsVersionedComponent(last + 1)) *last = '\0';
  TvStrCopy(out, base, kTvPathSize);
}

// The default data directory: "Data" beside the configuration folder when
// the folder holds the world configuration, else inside it.
void DefaultDataDirectory(const char* configFolder, char* out) {
  StripTrailingBackslashes(configFolder, out, kTvPathSize);
  if (TvFileExists(nullptr, configFolder, "tvworld.ini", nullptr)) {
    char* last = strrchr(out, '\\');
    if (last) *last = '\0';
  }
  TvStrCat(out, "\\Data", kTvPathSize);
}

}  // namespace

// Fills the entry's data and base directories; true when the data
// directory exists. The indicators of the whole call are updated. With a
// memo, what the configuration and its folder answer is asked once and
// kept there for the next entries.
bool ResolveDataDirectories(InstalledListEntry* entry, TvIniBuffer* buffer, const char* configFolder,
                            int32_t* indicators, DiscoveryMemo* memo) {
  DiscoveryMemo once;
  if (!memo) memo = &once;
  char stored[kTvPathSize];
  TvStrCopy(stored, entry->dataDir, sizeof stored);
  if (IsRelative(stored)) *indicators |= kRelativeDir;

  if (!memo->askedServer) {
    char address[512];
    memo->remoteServer = TvIniGetString(buffer, kDefaultSection, "ServerAddress", "", address, sizeof address) &&
                         address[0] && TvStrCompareNoCaseN(address, "TVLOCAL", 7) != 0;
    memo->askedServer = true;
  }
  if (memo->remoteServer) *indicators |= kRemoteServer;

  // A directory cut to fit the entry would name another folder: it is missing.
  char candidate[4 * kTvPathSize];
  StripTrailingBackslashes(stored, candidate, kTvPathSize);
  bool found = !entry->cut && DirectoryExists(candidate);

  if (!found && !entry->cut && (*indicators & kRelativeDir)) {
    if (!memo->askedProgDir) {
      memo->hasProgDir = TvIniGetString(buffer, kDefaultSection, "ProgDir", "", memo->progDir, sizeof memo->progDir);
      if (memo->hasProgDir) StripTrailingBackslashes(memo->progDir, memo->progDir, sizeof memo->progDir);
      memo->askedProgDir = true;
    }
    if (memo->hasProgDir && memo->progDirExists < 0) memo->progDirExists = DirectoryExists(memo->progDir);
    if (memo->hasProgDir && memo->progDirExists > 0) {
      TvFormat(candidate, sizeof candidate, "%s\\%s", memo->progDir, stored);
      found = DirectoryExists(candidate);
    }
  }

  if (!found) {
    if (!memo->defaultDir[0]) DefaultDataDirectory(configFolder, memo->defaultDir);
    TvStrCopy(candidate, memo->defaultDir, sizeof candidate);
  }
  TvStrCopy(entry->dataDir, candidate, sizeof entry->dataDir);

  if (found && (*indicators & kRelativeDir)) BaseDirectory(stored + strspn(stored, "\\"), entry->baseDir);
  else BaseDirectory(entry->dataDir, entry->baseDir);
  return found;
}

namespace {

// Whether the data file of a name and default extension is there, as the
// probe's options ask it.
bool DataFileThere(const char* directory, const char* fileName, const char* extension, const ProbeOptions& options,
                   char* path) {
  if (options.byAttributes && fileName[0]) {
    // The path the open would take; several data directories ("$") are
    // each tried by the open alone. A folder just found is not looked at
    // again while the path is built.
    const uint32_t flags = tvContext.flags;
    if (options.folderFound) tvContext.flags |= TvFlagNoDirChecks;
    const TvStatus built = TvPathBuild(path, directory, fileName, extension);
    tvContext.flags = flags;
    if (built != TvOk) return false;
    if (path[0] != '$') return TvFileThere(path, options.size);
  }
  TvFileHandle handle;
  if (TvFileOpen(path, directory, fileName, extension, 0, &handle) != TvOk) return false;
  TvFileClose(handle);
  return true;
}

}  // namespace

// True when the data file exists under ".dts" or, noted in the indicators,
// under ".rds".
bool ProbeDataFile(const char* dataDir, const char* fileName, int32_t* indicators, const ProbeOptions& options) {
  char directory[kTvPathSize];
  if (!UsableDirectory(dataDir, directory) || !(options.folderFound || DirectoryExists(directory))) return false;
  char path[kTvPathSize];
  bool found = DataFileThere(directory, fileName, "!.dts", options, path);
  if (!found && DataFileThere(directory, fileName, "!.rds", options, path)) {
    found = true;
    *indicators |= kRegionalFile;
  }
  if (found && options.foundPath) TvStrCopy(options.foundPath, path, kTvPathSize);
  return found;
}

namespace {

// Only the lines of the country are taken apart; the first whose data
// directory and data file both exist ends the search. A line that did not
// fit in memory leaves the results empty.
TvStatus FindCountryData(TvIniBuffer* ini, const char* folder, const char* iso, bool twoLetters, int32_t* indicators,
                         InstalledListEntry* result) {
  struct Search {
    TvIniBuffer* ini;
    const char* folder;
    const char* iso;
    bool twoLetters;
    int32_t* indicators;
    InstalledListEntry result, work;
  } search{ini, folder, iso, twoLetters, indicators, {}, {}};
  const TvStatus status = ForEachListLine(
      ini, kCountryList | kDataList,
      [](const char* line, const ListKey& row, void* data) {
        auto& s = *static_cast<Search*>(data);
        char code[kCodeSize], country[kCodeSize];
        ReadCode(line, row.kind, code, country);
        const bool selected =
            s.twoLetters ? TvStrCompareNoCaseN(code, s.iso, kTwoLetters) == 0 : TvStrEqualNoCase(country, s.iso);
        if (!selected) return true;
        ParseInstalledListLine(line, &s.work, row.kind);
        TvStrCopy(s.work.country, country, sizeof s.work.country);
        TvStrCopy(s.work.listKey, row.key, sizeof s.work.listKey);
        const bool resolved = ResolveDataDirectories(&s.work, s.ini, s.folder, s.indicators);
        // A file name cut to fit the entry would name another file.
        const bool probed = !s.work.cut && ProbeDataFile(s.work.dataDir, s.work.fileName, s.indicators);
        s.result = s.work;
        return !(resolved && probed);
      },
      &search);
  *result = status == TvOk ? search.result : InstalledListEntry{};
  if (status != TvOk) *indicators = 0;
  return status;
}

}  // namespace

TV_EXPORT int32_t TV_STDCALL TvIsi_CheckIniForData(const char* _vsIniPath, const char* _vsISO, int32_t _viSrchADS,
                                                   char* _rsFoundISO, char* _rsDataDir, char* _rsBaseDir,
                                                   int32_t* _riFlags) {
  TV_FRAME(frame);
  char folder[kTvPathSize];
  char iso[kCodeSize];
  TvTraceStrIn("_vsIniPath", _vsIniPath, folder, sizeof folder);
  // A folder too long to name is missing, never cut into another one.
  const bool usableFolder = strlen(TvStrOrEmpty(_vsIniPath)) < sizeof folder;
  TvTraceStrIn("_vsISO", _vsISO, iso, _viSrchADS ? kTwoLetters + 1 : kCodeSize);
  const bool twoLetters = TvTraceIntIn("_viSrchADS", _viSrchADS) != 0;
  int32_t indicators = 0;

  char path[kTvPathSize];
  IniText ini;
  // A file that cannot be opened, in a folder that may not exist either,
  // is reported as -1011, the status the installer scripts test for.
  TvStatus status = TvErrFileExists;
  if (usableFolder && TvFileExists(path, folder, "tvwserve.ini", nullptr)) status = LoadConfiguration(ini.get(), path);
  if (status != TvOk) return frame.Return(status);

  InstalledListEntry result;
  status = FindCountryData(ini.get(), folder, iso, twoLetters, &indicators, &result);

  TvTraceStrOut("_rsFoundISO", _rsFoundISO, result.code, kCodeSize);
  TvTraceStrOut("_rsDataDir", _rsDataDir, result.dataDir, kTvPathSize);
  TvTraceStrOut("_rsBaseDir", _rsBaseDir, result.baseDir, kTvPathSize);
  TvTraceIntOut("_riFlags", _riFlags, indicators);
  return frame.Return(status);
}
