// generator.h: ini files, names, values and list entries made from the
// campaign's random numbers: well-formed configurations first, then
// mutated (line ends, byte order mark, padding, binary bytes, huge lines).
#pragma once
#include <string>
#include <vector>

#include "reference.h"
#include "rng.h"

namespace campaign {

struct FileRecipe {
  bool mutateLineEnds = true;
  bool allowBom = true;
  bool allowPadding = true;  // NUL bytes at the very end
  bool allowBinary = false;  // NUL bytes or control characters inside
  bool allowHuge = true;     // 100 KB lines, 5,000-character names and entries
  bool serverLists = false;  // the list keys of a server configuration in [TvDefault]
};

std::string GenerateFile(Rng& rng, const FileRecipe& recipe);

// Lines of a configuration before line ends are chosen.
std::vector<std::string> GenerateLines(Rng& rng, const FileRecipe& recipe);
// Joins lines with line ends of one style or mixed; the last may have none.
std::string JoinLines(Rng& rng, const std::vector<std::string>& lines, bool mutate);

std::string CountryCode(Rng& rng);
std::string CountryEntry(Rng& rng, const std::string& code);
std::string DataEntry(Rng& rng, const std::string& code);
std::string ListEntry(Rng& rng, bool countryList);  // sometimes 300 or 5,000 characters long

// Names and values that a script may pass, well-formed or hostile.
Text SectionName(Rng& rng, const Doc* doc, bool hostile);
Text KeyName(Rng& rng, const Doc* doc, bool hostile);
Text Value(Rng& rng, bool hostile);
Text Entries(Rng& rng, const Doc* doc, const std::string& section, const std::string& key, bool hostile);
int32_t Capacity(Rng& rng);

// The list keys of section TvDefault.
extern const std::vector<std::string> kCountryKeys;
extern const std::vector<std::string> kDataKeys;

}  // namespace campaign
