// products.h: the family's products and how a configuration file shows
// which of them use it.
#pragma once
#include <cstdint>

#include "tv_base.h"
#include "tv_ini.h"

struct Product {
  const char* key;  // the configuration key without its "UsedBy" prefix
  const char* file;
  int32_t mask;
};

// Calls found (when given) with each product that counts, and whether it
// counts by its file rather than its setting.
using ProductSeen = void (*)(const Product& row, bool byFile, void* data);

// The products that use the configuration loaded in ini from path: those
// whose UsedBy setting is true, or, when none is, those whose file lies in
// the configuration's folder. mask receives their bits; the status is that
// of taking the folder from path.
TvStatus DetectProducts(TvIniBuffer* ini, const char* path, int32_t* mask, ProductSeen found = nullptr,
                        void* data = nullptr);
