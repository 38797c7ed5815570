// products.cpp: which products use a configuration file, from its "UsedBy"
// settings or, when none is true, from the product files beside it.
#include "exports.h"
#include "installed_lists.h"
#include "tv_error.h"
#include "tv_log.h"
#include "tv_path.h"
#include "tv_string.h"

namespace {

struct Product {
  const char* key;  // the configuration key without its "UsedBy" prefix
  const char* file;
  int32_t mask;
};

constexpr Product ProductTable[] = {
    {"KeelPanel", "tvpanel.exe", 0x2100},   {"KeelLibView", "tvkview.dll", 0x2010},
    {"KeelLibCore", "tvkcore.dll", 0x2010}, {"KeelLibCore64", "tvkcr64.dll", 0x2010},
    {"KeelNet", "tvknet.exe", 0x2080},      {"KeelNet", "tvknsvc.exe", 0x2080},
    {"KeelNet64", "tvkn64.exe", 0x2080},    {"KeelHost", "tvknet.exe", 0x2040},
    {"FlintLib", "tvflib.dll", 0x1010},     {"FlintLib64", "tvflb64.dll", 0x1010},
    {"Flint", "tvflint.exe", 0x1020},       {"Cobalt", "tvcobal.exe", 0x8010},
    {"Heron", "tvheron.exe", 0x4080},
};

}  // namespace

TV_EXPORT int32_t TV_STDCALL TvIsi_ProdFromIni(const char* _vsIni, int32_t* _rlProd) {
  TvTraceFunction("TvIsi_ProdFromIni");
  char path[kTvPathSize];
  TvStatus status = TracePathIn("_vsIni", _vsIni, path, sizeof path);
  int32_t mask = 0;
  TvIniBuffer ini{};
  if (status == TvOk) status = LoadConfiguration(&ini, path);
  if (status == TvOk) {
    TvIniSetPrefix(&ini, "UsedBy");
    for (const Product& row : ProductTable)
      if (TvIniGetBool(&ini, kDefaultSection, row.key, 0)) mask |= row.mask;
    if (mask == 0) {
      char folder[kTvPathSize], name[kTvPathSize], extension[kTvPathSize];
      status = TvPathSplit(path, folder, name, extension);
      for (const Product& row : ProductTable) {
        if (status != TvOk) break;
        if (TvFileExists(nullptr, folder, row.file, nullptr)) mask |= row.mask;
      }
    }
    TvIniFree(&ini);
  }
  TvTraceLongOut("_rlProd", _rlProd, mask);
  return TvTraceReturnLong(status);
}
