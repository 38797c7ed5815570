// locale_writer.h: writes locale files for the tests, laid out as the
// kernel reads them: a header, the language, country and locale tables,
// then one collation per locale.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tvtest {

struct CollationPlan {
  uint16_t ids[2];
  std::vector<std::vector<uint16_t>> weights;  // the entries, each of the same number of weights
  std::vector<uint16_t> charEntry;             // weight entry of each of the 256 characters
  std::vector<std::pair<std::string, uint16_t>> multi;  // text (up to three characters) and weight entry
};
struct LocalePlan {
  uint16_t language, country;
  std::string name;
  CollationPlan collation;
};
struct LocaleFilePlan {
  std::vector<std::string> languages, countries;  // two-letter code, then the three-letter one: "enENG"
  std::vector<LocalePlan> locales;
};

// The file's bytes; cuts receives, for each section, the offset one byte
// short of its end (a file cut there lacks that section's last byte).
inline std::string LocaleFileBytes(const LocaleFilePlan& plan, std::vector<size_t>* cuts = nullptr) {
  auto u16 = [](std::string& out, size_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
  };
  auto u32 = [&](std::string& out, size_t value) {
    u16(out, value & 0xFFFF);
    u16(out, value >> 16);
  };
  auto cut = [&](const std::string& bytes, size_t base = 0) {
    if (cuts) cuts->push_back(base + bytes.size() - 1);
  };
  const std::string magic("Locale\r\n\0", 9);
  std::string out = magic + std::string(5, '\0');
  u16(out, plan.languages.size());
  u16(out, plan.countries.size());
  u16(out, plan.locales.size());
  out.resize(24, '\0');
  cut(out);
  for (const std::string& l : plan.languages) out += (l + std::string(28, '\0')).substr(0, 28);
  cut(out);
  for (const std::string& c : plan.countries) out += (c + std::string(5, '\0')).substr(0, 5);
  cut(out);
  std::string collations;
  size_t offset = out.size() + 38 * plan.locales.size();
  for (const LocalePlan& l : plan.locales) {
    u16(out, l.language);
    u16(out, l.country);
    const CollationPlan& c = l.collation;
    std::string data = magic + std::string(1, '\0');
    u16(data, c.weights.empty() ? 0 : c.weights[0].size());
    u16(data, c.weights.size());
    u16(data, c.ids[0]);
    u16(data, c.ids[1]);
    u16(data, c.multi.size());
    cut(data, offset);
    for (const auto& entry : c.weights)
      for (uint16_t w : entry) u16(data, w);
    if (!c.weights.empty()) cut(data, offset);
    for (size_t ch = 0; ch < 256; ++ch) {
      u16(data, ch);
      u16(data, 255 - ch);
      u16(data, c.charEntry[ch]);
    }
    cut(data, offset);
    for (const auto& [text, entry] : c.multi) {
      u16(data, 0);
      data += (text + std::string(4, '\0')).substr(0, 4);
      u16(data, text.size());
      u16(data, 7);
      u16(data, entry);
    }
    if (!c.multi.empty()) cut(data, offset);
    u32(out, offset);
    out += (l.name + std::string(30, '\0')).substr(0, 30);
    offset += data.size();
    collations += data;
  }
  cut(out);
  return out + collations;
}

}  // namespace tvtest
