// reference.cpp: the campaign's own reading of ini text and its model of
// the edits. Written from the text format as the project documents it
// (sections, header patterns, keys, "+" lines, the TvDefault fall-back),
// without any of the library's code.
#include "reference.h"

#include <algorithm>
#include <cstring>

namespace campaign {

namespace {

bool Forbidden(unsigned char c) { return c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != '\f' && c != 0x1A; }

bool StartsWith(const std::string& s, char c) { return !s.empty() && s[0] == c; }

// The key's line in the body of a header: the line starts with the key
// (any case) directly followed by "=".
std::optional<Found> FindKeyIn(const Doc& doc, const Header& h, const std::string& key) {
  if (key.find('=') != std::string::npos) return std::nullopt;
  const size_t k = key.size();
  for (size_t i = h.bodyStart; i < h.bodyEnd; ++i) {
    const std::string& t = doc.lines[i].text;
    if (t.size() > k && t[k] == '=' && EqualNoCaseN(t.substr(0, k), key, k)) return Found{i, k};
  }
  return std::nullopt;
}

const Header* FirstMatching(const std::vector<Header>& headers, const std::string& section) {
  for (const Header& h : headers)
    if (SectionMatches(h.name, section)) return &h;
  return nullptr;
}

Line MakeLine(const std::string& prefix, const Line& value) {
  Line line{prefix + value.text, {}};
  for (const std::string& alt : value.alts) line.alts.push_back(prefix + alt);
  return line;
}

}  // namespace

FileKind Classify(const std::string& bytes) {
  size_t end = bytes.size();
  while (end > 0 && bytes[end - 1] == '\0') --end;
  bool del = false;
  for (size_t i = 0; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == 0 || Forbidden(c)) return FileKind::Binary;
    if (c == 0x7F) del = true;
  }
  return del ? FileKind::Unclear : FileKind::Text;
}

Doc Parse(const std::string& bytes) {
  Doc doc;
  size_t end = bytes.size();
  while (end > 0 && bytes[end - 1] == '\0') --end;
  doc.bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 && end >= 3;
  const std::string body = bytes.substr(doc.bom ? 3 : 0, end - (doc.bom ? 3 : 0));
  if (body.empty()) return doc;
  doc.lines = Plain(SplitLines(body));
  doc.finalLineEnd = body.back() == '\r' || body.back() == '\n';
  if (doc.finalLineEnd) doc.lines.pop_back();  // the empty line after the last line end
  return doc;
}

std::string Render(const Doc& doc) {
  std::string out = doc.bom ? "\xEF\xBB\xBF" : "";
  for (size_t i = 0; i < doc.lines.size(); ++i) {
    out += doc.lines[i].text;
    if (i + 1 < doc.lines.size() || doc.finalLineEnd) out += "\r\n";
  }
  return out;
}

long FirstDifference(const Doc& expected, const Doc& actual) {
  if (expected.bom != actual.bom) return 0;
  const size_t n = std::min(expected.lines.size(), actual.lines.size());
  for (size_t i = 0; i < n; ++i) {
    const Line& e = expected.lines[i];
    const std::string& a = actual.lines[i].text;
    if (a != e.text && std::find(e.alts.begin(), e.alts.end(), a) == e.alts.end()) return static_cast<long>(i);
  }
  if (expected.lines.size() != actual.lines.size()) return static_cast<long>(n);
  if (!expected.lines.empty() && expected.finalLineEnd != actual.finalLineEnd)
    return static_cast<long>(expected.lines.size() - 1);
  return -1;
}

char Upper(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
  if (u == 154 || u == 156 || u == 158) return static_cast<char>(u - 16);  // s, oe, z with caron/ligature
  if (u == 255) return static_cast<char>(159);
  if (u >= 224 && u <= 254 && u != 247) return static_cast<char>(u - 32);
  return c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && EqualNoCaseN(a, b, a.size());
}

bool EqualNoCaseN(const std::string& a, const std::string& b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const char ca = i < a.size() ? Upper(a[i]) : '\0';
    const char cb = i < b.size() ? Upper(b[i]) : '\0';
    if (ca != cb) return false;
    if (ca == '\0') return true;
  }
  return true;
}

int CompareAsciiNoCase(const std::string& a, const std::string& b) {
  auto lower = [](char c) { return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
  const auto less = [&](char x, char y) { return lower(x) < lower(y); };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less)) return -1;
  return std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less) ? 1 : 0;
}

std::string TrimRightSpaces(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string TrimBlanks(std::string s) {
  const size_t start = s.find_first_not_of(" \t");
  return start == std::string::npos ? "" : s.substr(start, s.find_last_not_of(" \t") - start + 1);
}

std::string Cut(const std::string& s, size_t n) { return s.size() > n ? s.substr(0, n) : s; }

// Refused when a character cannot stand in the name, unclear when it can
// but is a control character all the same.
static NameClass ClassifyChars(const std::string& s, const char* refused, const char* unclear) {
  NameClass worst = NameClass::Valid;
  for (unsigned char c : s)
    if (Forbidden(c) || (c && strchr(refused, c))) return NameClass::Refused;
    else if (c == 0x7F || (c && strchr(unclear, c))) worst = NameClass::Unclear;
  return worst;
}

NameClass ClassifySection(const Text& section) {
  const std::string s = section.value_or("");
  return s.size() >= 80 ? NameClass::Refused : ClassifyChars(s, "*?]\r\n", "\f\x1A");
}

NameClass ClassifyKey(const Text& key) {
  const std::string k = key.value_or("");
  if (k.empty() || k.size() >= 40 || k[0] == '[' || k[0] == '+') return NameClass::Refused;
  return ClassifyChars(k, "=\r\n", "\t\f\x1A");
}

bool HoldsForbiddenControl(const std::string& value) {
  return std::any_of(value.begin(), value.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n';
  });
}

bool HoldsDel(const std::string& value) { return value.find('\x7F') != std::string::npos; }

std::vector<Header> Headers(const Doc& doc) {
  const size_t n = doc.lines.size();
  // For each line, the first line at or after it that holds a "]".
  std::vector<size_t> nextClose(n + 1, n);
  for (size_t i = n; i-- > 0;) nextClose[i] = doc.lines[i].text.find(']') != std::string::npos ? i : nextClose[i + 1];
  std::vector<Header> headers;
  for (size_t i = 0; i < n; ++i) {
    const std::string& t = doc.lines[i].text;
    if (!StartsWith(t, '[')) continue;
    Header h{i, i, "", 0, 0};
    const size_t close = t.find(']', 1);
    if (close != std::string::npos) {
      h.name = Cut(t.substr(1, close - 1), 79);
    } else {
      // The name runs on to the next "]" of the text, lines and all.
      const size_t j = nextClose[i + 1];
      if (j == n) continue;  // no "]" anywhere later: no header
      std::string name = t.substr(1);
      for (size_t k = i + 1; k <= j && name.size() < 80; ++k) {
        const std::string& part = doc.lines[k].text;
        name += '\n';
        name += k == j ? part.substr(0, part.find(']')) : part;
      }
      h.name = Cut(name, 79);
      h.closeLine = j;
    }
    h.bodyStart = h.closeLine + 1;
    h.bodyEnd = h.bodyStart;
    while (h.bodyEnd < n && !StartsWith(doc.lines[h.bodyEnd].text, '[')) ++h.bodyEnd;
    headers.push_back(h);
  }
  return headers;
}

bool SectionMatches(const std::string& pattern, const std::string& name) {
  auto same = [](char a, char b) { return Upper(a) == Upper(b); };
  size_t p = 0, n = 0;
  while (p < pattern.size()) {
    if (pattern[p] != '*') {
      if (n >= name.size() || (pattern[p] != '?' && !same(pattern[p], name[n]))) return false;
      ++p, ++n;
      continue;
    }
    if (++p == pattern.size()) return true;
    // The literal run after "*" counts at its first occurrence only.
    const size_t run = p;
    while (p < pattern.size() && pattern[p] != '*' && pattern[p] != '?') ++p;
    if (p == run) continue;
    const auto at = std::search(name.begin() + static_cast<long>(n), name.end(),
                                pattern.begin() + static_cast<long>(run), pattern.begin() + static_cast<long>(p), same);
    if (at == name.end()) return false;
    n = static_cast<size_t>(at - name.begin()) + (p - run);
  }
  return n == name.size();
}

std::optional<Found> LookupHere(const Doc& doc, const std::string& section, const std::string& key) {
  const std::vector<Header> headers = Headers(doc);
  const Header* h = FirstMatching(headers, section);
  return h ? FindKeyIn(doc, *h, key) : std::nullopt;
}

std::optional<Found> Lookup(const Doc& doc, const std::string& section, const std::string& key) {
  const std::vector<Header> headers = Headers(doc);
  if (const Header* h = FirstMatching(headers, section))
    if (auto found = FindKeyIn(doc, *h, key)) return found;
  if (EqualNoCase(section, "TvDefault")) return std::nullopt;
  const Header* fallback = FirstMatching(headers, "TvDefault");
  return fallback ? FindKeyIn(doc, *fallback, key) : std::nullopt;
}

std::vector<std::string> ValueLines(const Doc& doc, const Found& found) {
  std::vector<std::string> lines{doc.lines[found.line].text.substr(found.keyLength + 1)};
  for (size_t i = found.line + 1; i < doc.lines.size() && StartsWith(doc.lines[i].text, '+'); ++i)
    lines.push_back(doc.lines[i].text.substr(1));
  return lines;
}

std::optional<std::vector<std::string>> ReadLines(const Doc& doc, const std::string& section, const std::string& key) {
  const auto found = Lookup(doc, section, key);
  if (!found) return std::nullopt;
  return ValueLines(doc, *found);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> out{""};
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') {
      out.back() += text[i];
      continue;
    }
    if (text.compare(i, 2, "\r\n") == 0) ++i;
    out.emplace_back();
  }
  return out;
}

std::vector<Line> Plain(const std::vector<std::string>& values) {
  std::vector<Line> lines;
  for (const std::string& v : values) lines.push_back({v, {}});
  return lines;
}

size_t SettingEnd(const Doc& doc, size_t line) {
  while (line + 1 < doc.lines.size() && StartsWith(doc.lines[line + 1].text, '+')) ++line;
  return line + 1;
}

void Set(Doc& doc, const std::string& section, const std::string& key, const std::vector<Line>& values) {
  auto written = [&](const std::string& keyText) {
    std::vector<Line> lines{MakeLine(keyText + "=", values[0])};
    for (size_t i = 1; i < values.size(); ++i) lines.push_back(MakeLine("+", values[i]));
    return lines;
  };
  const std::vector<Header> headers = Headers(doc);
  const Header* h = FirstMatching(headers, section);
  if (!h) {  // a new section at the end
    if (!doc.lines.empty()) doc.finalLineEnd = true;
    doc.lines.push_back({"[" + section + "]", {}});
    for (const Line& line : written(key)) doc.lines.push_back(line);
    doc.lines.push_back({"", {}});
    doc.finalLineEnd = true;
    return;
  }
  std::vector<Line> lines;
  size_t at, end;
  if (const auto found = FindKeyIn(doc, *h, key)) {
    // The key keeps its spelling in the file; its value and "+" lines go.
    lines = written(doc.lines[found->line].text.substr(0, found->keyLength));
    at = found->line;
    end = SettingEnd(doc, at);
  } else {
    // After the section's last non-empty line, above its blank lines.
    lines = written(key);
    at = h->closeLine + 1;
    for (size_t i = h->bodyStart; i < h->bodyEnd; ++i)
      if (!doc.lines[i].text.empty()) at = i + 1;
    end = at;
  }
  doc.lines.erase(doc.lines.begin() + static_cast<long>(at), doc.lines.begin() + static_cast<long>(end));
  doc.lines.insert(doc.lines.begin() + static_cast<long>(at), lines.begin(), lines.end());
}

void Delete(Doc& doc, const std::string& section, const std::string& key) {
  const auto found = LookupHere(doc, section, key);
  if (!found) return;
  const size_t end = SettingEnd(doc, found->line);
  const bool tail = end == doc.lines.size();
  doc.lines.erase(doc.lines.begin() + static_cast<long>(found->line), doc.lines.begin() + static_cast<long>(end));
  if (tail && !doc.lines.empty()) doc.finalLineEnd = true;  // the line feed of the line before stays
}

// The entries of a list, blanks at the end gone; an entry whose text
// changes that way may also stay byte for byte.
static std::vector<Line> Entries(const std::vector<std::string>& raw) {
  std::vector<Line> entries;
  for (const std::string& r : raw) {
    Line line{TrimRightSpaces(r), {}};
    if (r != line.text) line.alts.push_back(r);
    entries.push_back(line);
  }
  return entries;
}

void UpdateList(Doc& doc, const std::string& section, const std::string& key, const char* fallbackKey,
                const std::string& entry, int32_t n, std::string* replaced) {
  if (n < 1 || TrimBlanks(entry).empty()) return;  // a blank entry would read back empty
  if (replaced) replaced->clear();
  auto lines = ReadLines(doc, section, key);
  if (!lines && fallbackKey) lines = ReadLines(doc, section, fallbackKey);
  std::vector<Line> kept;
  bool didReplace = false;
  for (Line& e : Entries(lines.value_or(std::vector<std::string>{}))) {
    if (e.text.empty()) continue;
    if (!didReplace && EqualNoCaseN(e.text, entry, static_cast<size_t>(n))) {
      if (replaced) *replaced = e.text;
      e = Line{entry, {}};
      didReplace = true;
    }
    kept.push_back(e);
  }
  if (!didReplace) kept.push_back({entry, {}});
  Set(doc, section, key, kept);
}

void RemoveFromList(Doc& doc, const std::string& section, const std::string& key, const std::string& text,
                    bool writeAlways) {
  if (text.empty()) return;
  std::vector<Line> kept = Entries(ReadLines(doc, section, key).value_or(std::vector<std::string>{}));
  const size_t count = kept.size();
  kept.erase(std::remove_if(kept.begin(), kept.end(), [&](const Line& e) { return EqualNoCaseN(e.text, text, 256); }),
             kept.end());
  if (kept.size() == count && !writeAlways) return;
  if (kept.empty()) kept.push_back({"", {}});
  Set(doc, section, key, kept);
}

std::string GetValue(const std::vector<std::string>& lines, size_t capacity) {
  if (capacity == 0 || lines.empty()) return "";
  std::string value = TrimRightSpaces(Cut(lines[0], capacity - 1));
  for (size_t i = 1; i < lines.size() && value.size() < capacity - 1; ++i)
    value = Cut(value + "\n" + TrimRightSpaces(lines[i]), capacity - 1);
  return value;
}

bool BoolValue(const std::string& value) {
  const std::string v = value.substr(std::min(value.size(), value.find_first_not_of(' ')));
  return (!v.empty() && strchr("1TtYy", v[0]) && v[0]) || EqualNoCaseN(v.substr(0, 2), "ON", 2);
}

}  // namespace campaign
