// locale_writer.h: locale files for the tests, laid out as the kernel reads
// them: a header, the language, country and locale tables, then one
// collation per locale.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tvtest {

struct CollationPlan {
  uint16_t ids[2];
  std::vector<std::vector<uint16_t>> weights;           // the entries, each of the same number of weights
  std::vector<uint16_t> charEntry;                      // weight entry of each of the 256 characters
  std::vector<std::pair<std::string, uint16_t>> multi;  // up to three characters, weight entry
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

inline void Put16(std::string& out, size_t value) { out += {char(value & 0xFF), char(value >> 8 & 0xFF)}; }
inline std::string Field(const std::string& text, size_t size) {
  return (text + std::string(size, '\0')).substr(0, size);
}

// The file's bytes; cuts receives, for each section, the offset one byte
// short of its end (a file cut there lacks that section's last byte).
inline std::string LocaleFileBytes(const LocaleFilePlan& plan, std::vector<size_t>* cuts) {
  const std::string magic("Locale\r\n\0", 9);
  std::string out = magic + std::string(5, '\0'), collations;
  for (size_t count : {plan.languages.size(), plan.countries.size(), plan.locales.size()}) Put16(out, count);
  out.resize(24, '\0');
  cuts->push_back(out.size() - 1);
  for (const std::string& l : plan.languages) out += Field(l, 28);
  cuts->push_back(out.size() - 1);
  for (const std::string& c : plan.countries) out += Field(c, 5);
  cuts->push_back(out.size() - 1);
  size_t offset = out.size() + 38 * plan.locales.size();
  for (const LocalePlan& l : plan.locales) {
    const CollationPlan& c = l.collation;
    std::string data = magic + '\0';
    for (size_t v : {c.weights[0].size(), c.weights.size(), size_t{c.ids[0]}, size_t{c.ids[1]}, c.multi.size()})
      Put16(data, v);
    cuts->push_back(offset + data.size() - 1);
    for (const auto& entry : c.weights)
      for (uint16_t w : entry) Put16(data, w);
    cuts->push_back(offset + data.size() - 1);
    for (size_t ch = 0; ch < 256; ++ch)
      for (size_t v : {ch, 255 - ch, size_t{c.charEntry[ch]}}) Put16(data, v);
    cuts->push_back(offset + data.size() - 1);
    for (const auto& [text, entry] : c.multi) {
      Put16(data, 0);
      data += Field(text, 4);
      for (size_t v : {text.size(), size_t{7}, size_t{entry}}) Put16(data, v);
    }
    cuts->push_back(offset + data.size() - 1);
    for (size_t v : {size_t{l.language}, size_t{l.country}, offset & 0xFFFF, offset >> 16}) Put16(out, v);
    out += Field(l.name, 30);
    offset += data.size();
    collations += data;
  }
  cuts->push_back(out.size() - 1);
  return out + collations;
}

}  // namespace tvtest
