// doctor.h: tvdoctor, a read-only check of an installation's configuration
// files. Each check applies the library's own rules (the ini engine's
// lookups, discovery, the list and mapping parsers, product detection) to
// every line and says what an export would do with it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tv_ini.h"

namespace doctor {

enum class Severity { Error, Warning, Note };  // in the order the report shows them
constexpr int kSeverities = 3;

struct Finding {
  Severity severity;
  const char* group;  // "file", "lists", "mappings", "products"
  const char* check;  // a short name, stable for other tools
  std::string file;
  uint32_t line;     // 0: the file as a whole
  std::string text;  // the line, cut for display
  std::string message;
};

// A path given on the command line and the files checked for it; failure
// says why it could not be checked.
struct Target {
  std::string argument;
  std::vector<std::string> files;
  std::string failure;
};

struct Report {
  std::vector<Target> targets;
  std::vector<Finding> findings;
  uint32_t counts[kSeverities] = {};  // every finding, those left out of a long report included
  // 0 clean, 1 warnings only, 2 errors, 3 something could not be checked.
  int ExitCode() const;
};

// Checks a folder (its server and client configuration) or a configuration
// file, adding to the report. Never writes to what it checks.
void CheckPath(const std::string& argument, Report& report);

std::string TextReport(const Report& report);
std::string JsonReport(const Report& report);

// ---- Shared by the checks ---------------------------------------------------

std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Where discovery finds a country's data, for the mapping and release checks.
struct DataFile {
  std::string country;  // upper case
  std::string path;
  std::string release;      // the trailer's Date; empty without one
  TvStatus trailer = TvOk;  // of reading the trailer
  uint32_t line = 0;        // the list line discovery finds it through
};
struct CountryData {
  std::string dataDir;   // where discovery finds the country's data first
  std::string dataFile;  // the path of that data file
};

// One configuration file, loaded as the ini engine loads it.
class ConfigFile {
 public:
  ConfigFile(Report& report, std::string path);
  ~ConfigFile();
  ConfigFile(const ConfigFile&) = delete;
  ConfigFile& operator=(const ConfigFile&) = delete;

  // Reads the file with shared access; false, with the reason, when it
  // cannot be read.
  bool Load(std::string* failure);

  uint32_t LineOf(uint32_t offset) const;
  uint32_t LineAt(const char* inText) const { return LineOf(static_cast<uint32_t>(inText - ini.text)); }
  std::string_view Line(uint32_t line) const;
  void Add(Severity severity, const char* group, const char* check, uint32_t line, std::string message);
  // Closes the file's part of the report: kinds of finding too many to
  // list are summed up.
  void Finish();

  Report& report;
  std::string path, folder, name;
  std::string raw;  // the bytes as read
  TvIniBuffer ini{};
  bool discovered = false;  // the server configuration: discovery reads its lists
  std::vector<uint32_t> lineStarts;
  std::unordered_map<std::string, CountryData> countries;  // by country code, upper case
  std::vector<DataFile> dataFiles;

 private:
  struct Kind {
    uint32_t count = 0;
    Severity severity;
    const char* group;
  };
  std::unordered_map<std::string, Kind> kinds_;
};

// The checks by group. CheckText answers false for a file that is no ini
// text, which nothing else is checked in.
bool CheckText(ConfigFile& file);
void CheckLists(ConfigFile& file);
void CheckMappings(ConfigFile& file);
void CheckProducts(ConfigFile& file);

// The country code of a list, upper case, as a key.
std::string Upper(std::string_view text);

}  // namespace doctor
