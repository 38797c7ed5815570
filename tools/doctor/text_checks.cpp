// text_checks.cpp: the file as text: its bytes, its line ends and lengths,
// and its sections and keys as the ini engine finds them.
#include <cstring>
#include <unordered_map>

#include "doctor.h"
#include "installed_lists.h"

namespace doctor {

namespace {

constexpr const char* kGroup = "file";

// Keys the exports look up: one written with a blank before its "=" is
// another key, which they never find.
bool IsKnownKey(std::string_view key) {
  static constexpr const char* kKnown[] = {"DataMappings", "DataMapping", "CountryBase", "ProgDir", "ServerAddress"};
  for (const char* known : kKnown)
    if (Upper(key) == Upper(known)) return true;
  for (const ListKey& row : ListKeyTable)
    if (Upper(key) == Upper(row.key)) return true;
  return Upper(key.substr(0, 6)) == "USEDBY";
}

void CheckBytes(ConfigFile& file) {
  const std::string& raw = file.raw;
  size_t from = 0;
  if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    from = 3;
    file.Add(Severity::Warning, kGroup, "byte-order-mark", 1,
             "The file begins with a UTF-8 byte-order mark: the library reads past it and writes it again with every "
             "save, but a program that does not know the mark reads the first line as no section header.");
  }
  size_t end = raw.size();
  while (end > from && raw[end - 1] == '\0') --end;
  if (end < raw.size())
    file.Add(Severity::Warning, kGroup, "nul-padding", file.LineOf(file.ini.length ? file.ini.length - 1 : 0),
             Format("The file ends in %zu NUL bytes: the library drops them when it loads the file, and a save "
                    "leaves them out.",
                    raw.size() - end));
  // Line ends counted as the engine reads them: CR LF, a lone CR and a
  // lone LF each end a line.
  uint32_t line = 1, lone = 0, pairs = 0, feeds = 0, firstLone = 0, firstOther = 0;
  int firstKind = 0;  // 1 CR LF, 2 LF
  for (size_t i = from; i < end; ++i) {
    int kind = 0;
    if (raw[i] == '\r' && i + 1 < end && raw[i + 1] == '\n') {
      kind = 1;
      ++pairs;
      ++i;
    } else if (raw[i] == '\r') {
      ++lone;
      if (!firstLone) firstLone = line;
    } else if (raw[i] == '\n') {
      kind = 2;
      ++feeds;
    } else {
      continue;
    }
    if (kind && !firstKind) firstKind = kind;
    if (kind && kind != firstKind && !firstOther) firstOther = line;
    ++line;
  }
  if (lone)
    file.Add(Severity::Warning, kGroup, "line-ends", firstLone,
             Format("This line ends with a carriage return alone, as %lu lines do: the library reads it as a line end, "
                    "and every save writes CR LF.",
                    static_cast<unsigned long>(lone)));
  else if (firstOther)
    file.Add(Severity::Warning, kGroup, "line-ends", firstOther,
             Format("Line ends are mixed (%lu CR LF, %lu line feeds alone), from this line on: the library reads both, "
                    "and every save writes CR LF.",
                    static_cast<unsigned long>(pairs), static_cast<unsigned long>(feeds)));
}

void CheckLength(ConfigFile& file, uint32_t number, size_t length) {
  if (length > 1023)
    file.Add(Severity::Error, kGroup, "long-line", number,
             Format("The line has %zu characters: TvIsi_UpdateDataKeys and TvIsi_UpdateTvwserveV5 cut an entry to "
                    "1,023 characters, so this one cannot be recorded again as it stands.",
                    length));
  else if (length > 255)
    file.Add(Severity::Warning, kGroup, "long-line", number,
             Format("The line has %zu characters: the list and mapping exports read it whole, but TvIsi_IniGetString "
                    "into 256 bytes gives it cut, and TvIsi_IniSetString and TvIsi_IniAddString cut a line they are "
                    "given to 255 characters.",
                    length));
}

}  // namespace

bool CheckText(ConfigFile& file) {
  CheckBytes(file);
  const TvIniBuffer& ini = file.ini;
  const uint32_t bad = NonIniTextAt(&ini);
  if (bad < ini.length) {
    const uint32_t line = file.LineOf(bad);
    file.Add(Severity::Error, kGroup, "not-ini-text", line,
             Format("Byte 0x%02X at column %lu is no ini text (a NUL or a control character): every list and mapping "
                    "export refuses the file with -1096 and changes nothing.",
                    static_cast<unsigned>(static_cast<unsigned char>(ini.text[bad])),
                    static_cast<unsigned long>(bad - file.lineStarts[line - 1] + 1)));
    return false;
  }

  // Sections as the engine finds them: a "[" that starts a line, named up
  // to the next "]". A line that starts with "[" ends the body above it
  // even when it is no header; what follows it is in no section.
  std::unordered_map<std::string, uint32_t> sections, keys;
  std::string section;
  bool inSection = false;
  for (uint32_t number = 1; number <= file.lineStarts.size(); ++number) {
    const std::string_view line = file.Line(number);
    CheckLength(file, number, line.size());
    if (!line.empty() && line[0] == '[') {
      const char* open = line.data();
      const void* close = memchr(open + 1, ']', static_cast<size_t>(ini.text + ini.length - open - 1));
      inSection = close != nullptr;
      keys.clear();
      if (!inSection) continue;
      const std::string_view name(open + 1, static_cast<size_t>(static_cast<const char*>(close) - open - 1));
      section = name.substr(0, kTvIniSectionSize - 1);
      if (name.size() >= kTvIniSectionSize)
        file.Add(Severity::Error, kGroup, "long-section", number,
                 Format("The section name has %zu characters: the ini engine compares 79, so no lookup finds this "
                        "section by its name and the section renames pass it over.",
                        name.size()));
      const auto [first, added] = sections.emplace(Upper(section), number);
      if (!added)
        file.Add(Severity::Warning, kGroup, "repeated-section", number,
                 Format("[%s] appears again (first on line %lu): lookups take the first, so no setting of this one "
                        "is read.",
                        section.c_str(), static_cast<unsigned long>(first->second)));
      continue;
    }
    const size_t equals = line.find('=');
    if (line.empty() || line[0] == '+' || line[0] == ';' || equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    if (!inSection) {
      file.Add(Severity::Warning, kGroup, "key-outside-section", number,
               "The setting stands above the first section header, or below a line that begins with \"[\" but is "
               "no header: no lookup finds it.");
      continue;
    }
    if (key.size() >= kTvIniKeySize)
      file.Add(Severity::Error, kGroup, "long-key", number,
               Format("The key has %zu characters: lookups compare 39, so none finds this setting and no export can "
                      "write it.",
                      key.size()));
    const size_t trimmed = key.find_last_not_of(" \t") + 1;
    if (trimmed > 0 && trimmed < key.size() && IsKnownKey(key.substr(0, trimmed)))
      file.Add(Severity::Warning, kGroup, "spaced-key", number,
               Format("The key is \"%.*s\", with blanks before its \"=\": the exports look up %.*s, which is another "
                      "key, and never find this setting.",
                      static_cast<int>(key.size()), key.data(), static_cast<int>(trimmed), key.data()));
    const auto [first, added] = keys.emplace(Upper(key), number);
    if (!added)
      file.Add(
          Severity::Warning, kGroup, "repeated-key", number,
          Format("%.*s appears again in [%s] (first on line %lu): lookups take the first, so this value and the "
                 "+ lines below it are never read.",
                 static_cast<int>(key.size()), key.data(), section.c_str(), static_cast<unsigned long>(first->second)));
  }
  return true;
}

}  // namespace doctor
