// families.h: the kinds of case the campaign runs. Each case takes its own
// random numbers (from the seed and its number) and its own folder.
#pragma once
#include <string>
#include <vector>

#include "rng.h"

namespace campaign {

struct Setup {
  std::string root;        // the campaign's folder
  std::string cases;       // the folder of the case folders (faults apply here)
  std::string configPath;  // TVISX.ini, named by TVINI
  bool shrink = true;
  bool readOnlyEnforced = true;
};
extern Setup setup;

struct Family {
  const char* name;
  int weight;
  void (*run)(Rng& rng, const std::string& folder);
};
const std::vector<Family>& Families();

// The kernel configuration the campaign starts with, and the kernel started.
enum class Config { Plain, Pooled, Logging };
void WriteConfig(Config config);
bool StartKernel();  // false when the first start fails
void StopKernel();

}  // namespace campaign
