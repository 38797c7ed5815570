// products.cpp: which products use a configuration file, from its "UsedBy"
// settings or, when none is true, from the product files beside it.
#include "exports.h"
#include "frame.h"
#include "installed_lists.h"
#include "owners.h"
#include "products.h"
#include "tv_error.h"
#include "tv_log.h"
#include "tv_path.h"
#include "tv_string.h"

namespace {

// The mask bits. The family bits are those the data mappings' exclusion
// table tests.
enum ProductBit : int32_t {
  kLibraries = 0x0010,  // programming libraries, and Cobalt
  kFlintProgram = 0x0020,
  kServerProduct = 0x0040,  // KeelHost
  kNetPrograms = 0x0080,    // KeelNet's programs, and Heron
  kPanel = 0x0100,
  kFlintFamily = 0x1000,
  kKeelFamily = 0x2000,
  kHeronFamily = 0x4000,
  kCobaltFamily = 0x8000,
};

constexpr Product ProductTable[] = {
    {"KeelPanel", "tvpanel.exe", kKeelFamily | kPanel},
    {"KeelLibView", "tvkview.dll", kKeelFamily | kLibraries},
    {"KeelLibCore", "tvkcore.dll", kKeelFamily | kLibraries},
    {"KeelLibCore64", "tvkcr64.dll", kKeelFamily | kLibraries},
    {"KeelNet", "tvknet.exe", kKeelFamily | kNetPrograms},
    {"KeelNet", "tvknsvc.exe", kKeelFamily | kNetPrograms},
    {"KeelNet64", "tvkn64.exe", kKeelFamily | kNetPrograms},
    {"KeelHost", "tvknet.exe", kKeelFamily | kServerProduct},
    {"FlintLib", "tvflib.dll", kFlintFamily | kLibraries},
    {"FlintLib64", "tvflb64.dll", kFlintFamily | kLibraries},
    {"Flint", "tvflint.exe", kFlintFamily | kFlintProgram},
    {"Cobalt", "tvcobal.exe", kCobaltFamily | kLibraries},
    {"Heron", "tvheron.exe", kHeronFamily | kNetPrograms},
};

}  // namespace

TvStatus DetectProducts(TvIniBuffer* ini, const char* path, int32_t* mask, ProductSeen found, void* data) {
  *mask = 0;
  TvIniSetPrefix(ini, "UsedBy");
  for (const Product& row : ProductTable)
    if (TvIniGetBool(ini, kDefaultSection, row.key, 0)) {
      *mask |= row.mask;
      if (found) found(row, false, data);
    }
  TvIniSetPrefix(ini, nullptr);
  if (*mask != 0) return TvOk;
  char folder[kTvPathSize], name[kTvPathSize], extension[kTvPathSize];
  const TvStatus status = TvPathSplit(path, folder, name, extension);
  for (const Product& row : ProductTable) {
    if (status != TvOk) break;
    if (TvFileExists(nullptr, folder, row.file, nullptr)) {
      *mask |= row.mask;
      if (found) found(row, true, data);
    }
  }
  return status;
}

TV_EXPORT int32_t TV_STDCALL TvIsi_ProdFromIni(const char* _vsIni, int32_t* _rlProd) {
  TV_FRAME(frame);
  char path[kTvPathSize];
  TvStatus status = TracePathIn("_vsIni", _vsIni, path, sizeof path);
  int32_t mask = 0;
  IniText ini;
  if (status == TvOk) status = LoadConfiguration(ini.get(), path);
  if (status == TvOk) status = DetectProducts(ini.get(), path, &mask);
  TvTraceLongOut("_rlProd", _rlProd, mask);
  return frame.Return(status);
}
