// isi_workload.cpp: the configurations and calls of isi_workload.h.
#include "isi_workload.h"

#include <cstring>

#include "tv_trailer.h"

namespace isi {

namespace {

constexpr int kSetsPerCountry = 4;
constexpr int kSameRelease = 5;  // of the additional sets, these share the country's release
const char kRelease[] = "15 06 2012";

// AAA, AAB, ...: distinct three-letter codes, none in the data-code table
// (whose codes begin with G or U).
std::string Code(int i) {
  static const char first[] = "ABCDEFHIJKLMNOPQRSTVWXYZ";
  return {first[i / 676 % 24], static_cast<char>('A' + i / 26 % 26), static_cast<char>('A' + i % 26)};
}

// Writes a file; with `copied`, its times are those of a file copied from a
// medium made long ago (1 June 2020), as an installation's data files are.
void Write(const std::string& path, const std::string& text, bool copied = false) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  if (copied) {
    const SYSTEMTIME made{2020, 6, 1, 1, 12, 0, 0, 0};
    FILETIME time;
    SystemTimeToFileTime(&made, &time);
    SetFileTime(file, &time, nullptr, &time);
  }
  CloseHandle(file);
}

void Le32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

// A data file as the data maker writes it: its content, then the ini text
// with the release as its trailer.
std::string DataFile(const std::string& code, const char* release) {
  const std::string ini = "[TvDefault]\nDate=" + std::string(release) + "\nCopyright=Bench\n[" + code +
                          "]\nCountryName=Country " + code + "\n49CountryName=Land " + code + "\n";
  const std::string magic("\x00\x00\xFF\xA5\x5A\xFF", 6), content = "data", summed = ini + std::string("\n[\0", 3);
  std::string out = content + magic;
  Le32(out, static_cast<uint32_t>(ini.size()));
  Le32(out, TvCrc32(0xFFFFFFFFu, summed.data(), summed.size()));
  for (char c : ini) out += static_cast<char>(~c);
  out += magic;
  Le32(out, ~static_cast<uint32_t>(content.size()));
  return out;
}

}  // namespace

bool Resolve(HMODULE library, Exports* x, std::string* missing) {
  bool complete = true;
  auto get = [&](auto& slot, const char* name) {
    FARPROC found = GetProcAddress(library, name);
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(reinterpret_cast<void*>(found));
    if (!found && complete) {
      *missing = name;
      complete = false;
    }
  };
  get(x->check, "TvIsi_CheckIniForData");
  get(x->products, "TvIsi_ProdFromIni");
  get(x->updateV5, "TvIsi_UpdateTvwserveV5");
  get(x->updateKeys, "TvIsi_UpdateDataKeys");
  get(x->present, "TvIsi_IsISOPresent");
  get(x->toData, "TvIsi_InstalledCountriesToData");
  get(x->writeable, "TvIsi_FileWriteable");
  get(x->totalSize, "TvIsi_GetTotalFileSize");
  get(x->vintage, "TvIsi_DataVintage");
  get(x->loadIni, "TvIsi_FileLoadIni");
  get(x->iniString, "TvIsi_GetIniString");
  get(x->longDate, "TvIsi_FormatDateShortToLong");
  get(x->updateMappings, "TvIsi_UpdateDataMappings");
  get(x->countriesToMappings, "TvIsi_InstCtryToDataMap");
  get(x->toDataMapping, "TvIsi_CountryBaseToDataMap");
  get(x->toCountryBase, "TvIsi_DataMapToCountryBase");
  return complete;
}

Workload::Workload(const std::string& root, int countries)
    : root_(root), last_(Code(countries - 1)), countries_(countries) {
  CreateDirectoryA(root.c_str(), nullptr);
  const std::string data = root + "\\Data";
  CreateDirectoryA(data.c_str(), nullptr);
  std::string list, sets, sizes;
  for (int i = 0; i < countries; ++i) {
    const std::string code = Code(i), folder = data + "\\" + code;
    CreateDirectoryA(folder.c_str(), nullptr);
    Write(folder + "\\" + code + ".dts", i == countries - 1 ? DataFile(code, kRelease) : "data");
    list += (i ? "\r\n+" : "InstalledCountries=") + code + ",Country " + std::to_string(i) + "," + folder + "\\" +
            code + ".dts";
    for (int s = 0; s < kSetsPerCountry; ++s)
      sets += (i || s ? "\r\n+" : "InstalledData=") + code + "," + folder + "\\Set" + std::to_string(s);
    sizes += (i ? "\r\n+" : "DataSizes=") + code + ",Country " + std::to_string(i) + "," + folder + "\\" + code +
             ".dts," + std::to_string(1024 * (i + 1));
    sections_ += "\r\n[Layout " + std::to_string(i) + "]\r\nCountryBase=" + code + "\r\n";
    names_ += code + ".dts\n";
  }
  config_ = "[TvDefault]\r\nServerAddress=TVLOCAL\r\nProgDir=" + root + "\r\n" + list + "\r\n" + sets +
            "\r\nAllInstalledData=" + sets.substr(sets.find('=') + 1) + "\r\n";
  largeConfig_ = config_ + sizes + "\r\n";
  Write(ini(), config_);
  Write(large(), largeConfig_);
}

void Workload::Restore() const { Write(ini(), config_); }

std::vector<Call> Workload::Calls(const Exports& x) {
  const std::string lastFolder = root_ + "\\Data\\" + last_, lastFile = lastFolder + "\\" + last_ + ".dts";
  const std::string newEntry = last_ + "," + lastFolder + "\\New", ini = this->ini(), large = this->large();
  const std::function<void()> restore = [this] { Write(this->ini(), config_); };
  const std::function<void()> restoreLarge = [this] { Write(this->large(), largeConfig_); };
  const auto found = [this] {
    return std::string(code_) + "|" + dataDir_ + "|" + baseDir_ + "|" + std::to_string(flags_);
  };
  const auto text = [](const char* out) { return [out] { return std::string(out); }; };
  const std::string each = std::to_string(countries_);
  return {
      {"TvIsi_CheckIniForData, last country",
       [=, this] { return x.check(root_.c_str(), last_.c_str(), 0, code_, dataDir_, baseDir_, &flags_); }, nullptr,
       found},
      {"TvIsi_CheckIniForData, country not listed",
       [=, this] { return x.check(root_.c_str(), "ZZZ", 0, code_, dataDir_, baseDir_, &flags_); }, nullptr, found},
      {"TvIsi_ProdFromIni", [=, this] { return x.products(ini.c_str(), &mask_); }, nullptr,
       [this] { return std::to_string(mask_); }},
      {"TvIsi_IsISOPresent, last country", [=, this] { return x.present(last_.c_str(), root_.c_str()); }},
      {"TvIsi_IsISOPresent, country not listed", [=, this] { return x.present("ZZZ", root_.c_str()); }},
      {"TvIsi_UpdateTvwserveV5", [=] { return x.updateV5(ini.c_str(), newEntry.c_str(), 1, 0, 0); }, restore},
      {"TvIsi_UpdateDataKeys, data entry", [=] { return x.updateKeys(ini.c_str(), newEntry.c_str(), 8); }, restore},
      {"TvIsi_InstalledCountriesToData", [=] { return x.toData(ini.c_str()); }, restore},
      {"TvIsi_FileWriteable", [=] { return x.writeable(large.c_str()); }},
      {"TvIsi_GetTotalFileSize, every entry",
       [=, this] { return x.totalSize(large.c_str(), "DataSizes", names_.c_str(), &total_); }, nullptr,
       [this] { return std::to_string(total_); }},
      {"TvIsi_DataVintage", [=, this] { return x.vintage(release_, lastFile.c_str(), ""); }, nullptr, text(release_)},
      {"TvIsi_FileLoadIni", [=, this] { return x.loadIni(iso_, name_, info_, lastFile.c_str(), "49"); }, nullptr,
       [this] { return std::string(iso_) + "|" + name_ + "|" + info_; }},
      {"TvIsi_GetIniString",
       [=, this] { return x.iniString(lastFile.c_str(), last_.c_str(), "CountryName", "49", text_); }, nullptr,
       text(text_)},
      {"TvIsi_FormatDateShortToLong", [=, this] { return x.longDate(date_, "1/2/2015", "44"); }, nullptr, text(date_)},
      {"TvIsi_UpdateDataMappings, one .ads file per country",
       [=, this] { return x.updateMappings(large.c_str(), last_.c_str(), lastFolder.c_str(), "", ""); },
       [=, this] {
         // The data sets are put in place once; the update only reads them.
         for (int i = 0; i < countries_ && !dataSetsWritten_; ++i) {
           const std::string name = "SET" + std::to_string(i);
           Write(lastFolder + "\\" + name + ".ads", DataFile(name, i < kSameRelease ? kRelease : "01 01 2011"), true);
         }
         dataSetsWritten_ = true;
         restoreLarge();
       }},
      {"TvIsi_InstCtryToDataMap", [=] { return x.countriesToMappings(large.c_str()); }, restoreLarge},
      {"TvIsi_CountryBaseToDataMap", [=] { return x.toDataMapping(large.c_str()); }, restoreLarge},
      {"TvIsi_DataMapToCountryBase", [=] { return x.toCountryBase(large.c_str()); }, restoreLarge},
      {"TvIsi_CountryBaseToDataMap, one section per country", [=] { return x.toDataMapping(large.c_str()); },
       [this] { Write(this->large(), largeConfig_ + sections_); }},
  };
}

std::vector<Call> Workload::MoreCalls(const Exports& x) {
  const std::string few = root_ + "\\Few", large = this->large();
  return {
      {"TvIsi_UpdateDataMappings, the five .ads files of the release",
       [=, this] { return x.updateMappings(large.c_str(), last_.c_str(), few.c_str(), "", ""); },
       [=, this] {
         if (!fewSetsWritten_) {
           CreateDirectoryA(few.c_str(), nullptr);
           Write(few + "\\" + last_ + ".dts", DataFile(last_, kRelease), true);
           for (int i = 0; i < kSameRelease; ++i) {
             const std::string name = "SET" + std::to_string(i);
             Write(few + "\\" + name + ".ads", DataFile(name, kRelease), true);
           }
           fewSetsWritten_ = true;
         }
         Write(this->large(), largeConfig_);
       }},
  };
}

bool Workload::FindsLastCountry(const Exports& x) {
  return x.check(root_.c_str(), last_.c_str(), 0, code_, dataDir_, baseDir_, &flags_) == 0 && last_ == code_ &&
         root_ + "\\Data\\" + last_ == dataDir_ && flags_ == 0;
}

}  // namespace isi
