// isi_workload.h: the large server configurations of the file-export
// benchmark, and its calls of the exports on them. The benchmark times the
// calls; the recorded-results test makes the same calls on the 500-country
// configuration and compares what they leave with results recorded earlier.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "exports.h"

namespace isi {

// The exports the calls use, typed by their declarations.
struct Exports {
  decltype(&TvIsi_CheckIniForData) check;
  decltype(&TvIsi_ProdFromIni) products;
  decltype(&TvIsi_UpdateTvwserveV5) updateV5;
  decltype(&TvIsi_UpdateDataKeys) updateKeys;
  decltype(&TvIsi_IsISOPresent) present;
  decltype(&TvIsi_InstalledCountriesToData) toData;
  decltype(&TvIsi_FileWriteable) writeable;
  decltype(&TvIsi_GetTotalFileSize) totalSize;
  decltype(&TvIsi_DataVintage) vintage;
  decltype(&TvIsi_FileLoadIni) loadIni;
  decltype(&TvIsi_GetIniString) iniString;
  decltype(&TvIsi_FormatDateShortToLong) longDate;
  decltype(&TvIsi_UpdateDataMappings) updateMappings;
  decltype(&TvIsi_InstCtryToDataMap) countriesToMappings;
  decltype(&TvIsi_CountryBaseToDataMap) toDataMapping;
  decltype(&TvIsi_DataMapToCountryBase) toCountryBase;
};

// The exports of a loaded library; false (with the name) when one is missing.
bool Resolve(HMODULE library, Exports* exports, std::string* missing);

// One call of an export: reset (when given) runs before each call and puts
// back the files the call changes; outputs gives what the call handed back
// besides its result, as text.
struct Call {
  Call(std::string name_, std::function<int32_t()> run_, std::function<void()> reset_ = nullptr,
       std::function<std::string()> outputs_ = nullptr)
      : name(std::move(name_)), run(std::move(run_)), reset(std::move(reset_)), outputs(std::move(outputs_)) {}
  std::string name;
  std::function<int32_t()> run;
  std::function<void()> reset;
  std::function<std::string()> outputs;
};

// A server configuration of `countries` countries (one country-list line
// each) and four data entries per country (in InstalledData and again in
// AllInstalledData), with every data folder and data file present, written
// in root as tvwserve.ini. The query and mapping calls work on large.ini:
// the same text with a size list of every data file (and, for one more row
// of the renames, a section naming a country base per country). The last
// country's data file carries its release in a trailer, and its folder
// holds one additional data file (.ads) per country, five of them of its
// release. Everything is made again, identically, from the same arguments.
class Workload {
 public:
  Workload(const std::string& root, int countries);
  std::string ini() const { return root_ + "\\tvwserve.ini"; }
  std::string large() const { return root_ + "\\large.ini"; }
  std::string root() const { return root_; }
  void Restore() const;  // tvwserve.ini as it was made
  size_t configSize() const { return config_.size(); }
  // Every call of the benchmark, in its order.
  std::vector<Call> Calls(const Exports& x);
  // Calls the benchmark makes beyond those (none of them recorded): the
  // mapping update on a data folder that holds only the last country's data
  // file and the five data sets of its release.
  std::vector<Call> MoreCalls(const Exports& x);
  // Whether the last country is found where it is.
  bool FindsLastCountry(const Exports& x);

 private:
  std::string root_, last_, config_, largeConfig_, sections_, names_;
  int countries_;
  bool dataSetsWritten_ = false, fewSetsWritten_ = false;
  char code_[4], dataDir_[256], baseDir_[256], release_[256], iso_[4], name_[256], info_[256], text_[256], date_[256];
  int32_t flags_ = 0, mask_ = 0, total_ = 0;
};

}  // namespace isi
