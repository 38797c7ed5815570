// product_checks.cpp: which products use the configuration, as product
// detection finds them, and the release of each data file the lists name.
#include <string>
#include <vector>

#include "doctor.h"
#include "installed_lists.h"
#include "products.h"

namespace doctor {

namespace {

constexpr const char* kGroup = "products";

void CheckUsers(ConfigFile& file) {
  struct Seen {
    ConfigFile* file;
    std::string names;
    uint32_t line = 0;
    bool byFile = false;
  } seen{&file, "", 0, false};
  int32_t mask = 0;
  DetectProducts(
      &file.ini, file.path.c_str(), &mask,
      [](const Product& row, bool byFile, void* data) {
        auto& s = *static_cast<Seen*>(data);
        s.byFile = byFile;
        // Looked up as detection looks it up: with the prefix it has set.
        const char* value;
        size_t length;
        if (!byFile && !s.line && TvIniGetValueSpan(&s.file->ini, kDefaultSection, row.key, &value, &length))
          s.line = s.file->LineAt(value);
        const std::string name =
            byFile ? std::string(row.file) + " (" + row.key + ")" : "UsedBy" + std::string(row.key);
        if (s.names.find(name) == std::string::npos) s.names += (s.names.empty() ? "" : ", ") + name;
      },
      &seen);
  if (mask)
    file.Add(Severity::Note, kGroup, "products", seen.line,
             seen.byFile ? Format("No UsedBy setting is true; product detection finds the product files beside the "
                                  "file: %s (mask 0x%04lX).",
                                  seen.names.c_str(), static_cast<unsigned long>(mask))
                         : Format("Product detection finds the settings %s true (mask 0x%04lX).", seen.names.c_str(),
                                  static_cast<unsigned long>(mask)));
  if (IsServerConfiguration(&file.ini))
    file.Add(Severity::Note, kGroup, "server-configuration", 0,
             "A server configuration (UsedByKeelHost or UsedByKeelNet true, or a ServerAddress beginning with "
             "TVTCPIP): TvIsi_UpdateDataKeys records in the New lists.");
}

void CheckReleases(ConfigFile& file) {
  for (const DataFile& data : file.dataFiles) {
    if (data.trailer != TvOk)
      file.Add(Severity::Error, kGroup, "damaged-trailer", data.line,
               Format("The trailer of %s cannot be read (%ld): TvIsi_DataVintage and TvIsi_FileLoadIni fail on it "
                      "with that status.",
                      data.path.c_str(), static_cast<long>(data.trailer)));
    else if (data.release.empty())
      file.Add(Severity::Warning, kGroup, "no-release", data.line,
               Format("%s carries no release date (Date in its trailer): TvIsi_DataVintage answers an empty release "
                      "for it.",
                      data.path.c_str()));
    else
      file.Add(Severity::Note, kGroup, "release", data.line,
               Format("%s: release \"%s\".", data.path.c_str(), data.release.c_str()));
  }
}

}  // namespace

void CheckProducts(ConfigFile& file) {
  CheckUsers(file);
  CheckReleases(file);
}

}  // namespace doctor
