// edits.cpp: edits through the ini handle exports and their checks.
#include "campaign.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace campaign {

namespace {

std::vector<std::string> CutEach(std::vector<std::string> lines, size_t n) {
  for (std::string& line : lines) line = Cut(line, n);
  return lines;
}

// clang-format off
const char* const kKindNames[] = {"TvIsi_IniSetString", "TvIsi_IniDeleteString", "TvIsi_IniAddString",
                                  "TvIsi_IniRemoveStrings", "TvIsi_IniCopySetting (onto its own buffer)",
                                  "TvIsi_IniCopySetting (from another pair)"};
// clang-format on

// List items as the export applies them, one after the other.
void ApplyItems(Doc d, const std::vector<std::string>& items, const Op& op, bool writeAlways,
                std::vector<Outcome>& out) {
  const std::string section = op.section.value_or(""), key = op.key.value_or("");
  for (const std::string& item : items) {
    if (op.kind == OpKind::Add) UpdateList(d, section, key, nullptr, item, 256, nullptr);
    else RemoveFromList(d, section, key, item, writeAlways);
  }
  out.push_back({{0}, d});
}

}  // namespace

std::string Describe(const Op& op) {
  auto q = [](const Text& t, size_t n) { return t ? Escape(*t, n) : std::string("NULL"); };
  std::string text = kKindNames[static_cast<int>(op.kind)];
  text += "(" + q(op.section, 60) + ", " + q(op.key, 60);
  if (op.kind == OpKind::Set || op.kind == OpKind::Add || op.kind == OpKind::Remove) text += ", " + q(op.value, 100);
  return text + ")";
}

Op RandomOp(Rng& rng, const Doc& doc, bool hostile, bool withSource) {
  Op op;
  static const uint64_t kUpTo[] = {35, 50, 70, 85, 95, 100};  // the share of each kind, in percent
  const uint64_t roll = rng.Below(withSource ? 100 : 95);
  op.kind = static_cast<OpKind>(std::upper_bound(std::begin(kUpTo), std::end(kUpTo), roll) - std::begin(kUpTo));
  op.section = SectionName(rng, &doc, hostile && rng.Chance(35));
  if ((op.kind == OpKind::Add || op.kind == OpKind::Remove) && rng.Chance(60))
    op.key = rng.Pick(rng.Chance(50) ? kCountryKeys : kDataKeys);
  else op.key = KeyName(rng, &doc, hostile && rng.Chance(35));
  if (op.kind == OpKind::Set) op.value = Value(rng, hostile && rng.Chance(50));
  if (op.kind == OpKind::Add || op.kind == OpKind::Remove)
    op.value = Entries(rng, &doc, op.section.value_or(""), op.key.value_or(""), hostile && rng.Chance(40));
  return op;
}

std::vector<Outcome> Outcomes(const Doc& model, const Op& op, const Doc* source) {
  const std::string section = op.section.value_or(""), key = op.key.value_or("");
  const NameClass names = std::max(ClassifySection(op.section), ClassifyKey(op.key));
  const std::string value = op.value.value_or("");
  std::vector<Outcome> out;
  Doc d = model;
  switch (op.kind) {
    case OpKind::Set:
      if (names == NameClass::Refused || HoldsForbiddenControl(value)) return {{{-1096}, model}};
      Set(d, section, key, Plain(CutEach(SplitLines(value), 255)));
      out.push_back({{0}, d});
      if (names == NameClass::Unclear || HoldsDel(value)) out.push_back({{-1096}, model});
      return out;
    case OpKind::Delete:
      if (names == NameClass::Refused) return {{{0, -1096}, model}};
      Delete(d, section, key);
      out.push_back({{0}, d});
      if (names == NameClass::Unclear) out.push_back({{0, -1096}, model});
      return out;
    case OpKind::Add:
    case OpKind::Remove: {
      // A control character other than tab refuses the whole text first.
      if (names == NameClass::Refused || HoldsForbiddenControl(value)) return {{{0, -1096}, model}};
      for (bool writeAlways : {true, false}) {
        if (op.kind == OpKind::Add && !writeAlways) continue;
        ApplyItems(model, CutEach(SplitLines(value), 255), op, writeAlways, out);
      }
      if (names == NameClass::Unclear || HoldsDel(value)) out.push_back({{0, -1096}, model});
      return out;
    }
    case OpKind::CopySelf:
    case OpKind::CopyFrom: {
      if (names == NameClass::Refused) return {{{-8100, -1096}, model}};
      const Doc& from = op.kind == OpKind::CopySelf ? model : *source;
      const auto found = Lookup(from, section, key);
      if (!found) {
        out.push_back({{-8100}, model});
      } else {
        // Copied whole; a setting copied onto itself may also stay byte for byte.
        std::vector<std::string> values;
        for (const std::string& line : ValueLines(from, *found)) values.push_back(TrimRightSpaces(line));
        Set(d, section, key, Plain(values));
        out.push_back({{0}, d});
        if (op.kind == OpKind::CopySelf && LookupHere(model, section, key)) out.push_back({{0}, model});
      }
      if (names == NameClass::Unclear) out.push_back({{-8100, -1096}, model});
      return out;
    }
  }
  return out;
}

bool Checkpoint(Pair& pair, std::string* bytes) {
  const int32_t status = Save(pair);
  rec.Check(status == 0, "save-status", "TvIsi_IniSave of an open, loaded pair returned " + std::to_string(status));
  Close(pair);
  rec.Check(Unlocked(pair.path), "close-unlock", "the file is still locked after TvIsi_IniClose: " + pair.path);
  if (!ReadBytes(pair.path, bytes)) {
    rec.Fail("close-unlock", "the file cannot be read after TvIsi_IniClose: " + pair.path);
    return false;
  }
  return true;
}

namespace {

int32_t MakeEdit(const Op& op, const Pair& pair, const Pair& source) {
  switch (op.kind) {
    case OpKind::Set: return SetString(pair.buffer, op.section, op.key, op.value);
    case OpKind::Delete: return DeleteString(pair.buffer, op.section, op.key);
    case OpKind::Add: return AddString(pair.buffer, op.section, op.key, op.value);
    case OpKind::Remove: return RemoveStrings(pair.buffer, op.section, op.key, op.value);
    case OpKind::CopySelf: return CopySetting(pair.buffer, pair.buffer, op.section, op.key);
    default: return CopySetting(source.buffer, pair.buffer, op.section, op.key);
  }
}

bool StatusFits(const Outcome& o, int32_t status) {
  return std::find(o.statuses.begin(), o.statuses.end(), status) != o.statuses.end();
}

// No outcome fits: says what went wrong, as exactly as the kind allows.
void EditFinding(const Op& op, int32_t status, const std::string& before, const std::string& after,
                 const std::vector<Outcome>& outcomes) {
  const Doc actual = Parse(after);
  const NameClass names = std::max(ClassifySection(op.section), ClassifyKey(op.key));
  const std::string detail = Describe(op) + " = " + Num(status) + "\n  file before: " + Escape(before, 400) +
                             LineDifference(outcomes.front().doc, actual) + "\n  file after:  " + Escape(after, 400);
  const bool statusFits =
      std::any_of(outcomes.begin(), outcomes.end(), [&](const Outcome& o) { return StatusFits(o, status); });
  const char* kind = "edit-result";
  if (op.kind == OpKind::Set && HoldsForbiddenControl(op.value.value_or("")) && names != NameClass::Refused)
    kind = "control-char-stored";
  else if (names == NameClass::Refused) kind = "name-not-refused";
  else if (!statusFits) kind = "edit-status";
  rec.Fail(kind, detail);
}

}  // namespace

EditResult EditStep(const std::string& path, const std::string& before, const Op& op, const std::string* sourcePath,
                    const std::string* sourceBefore) {
  EditResult result;
  const bool copyFrom = op.kind == OpKind::CopyFrom;
  const Doc model = Parse(before), sourceModel = copyFrom ? Parse(*sourceBefore) : Doc{};
  Pair pair, source;
  const bool opened = Open(pair, path) == 0 && (!copyFrom || Open(source, *sourcePath) == 0);
  if (!opened) {
    rec.Fail("open-status", "TvIsi_IniOpen refused a file the campaign wrote as ini text: " + Escape(before, 200));
    if (source.open) Close(source);
    Close(pair);
    return result;
  }
  const int32_t status = MakeEdit(op, pair, source);
  const std::vector<Outcome> outcomes = Outcomes(model, op, copyFrom ? &sourceModel : nullptr);
  std::string sourceAfter;
  if (copyFrom && Checkpoint(source, &sourceAfter))
    rec.Check(sourceAfter == Render(sourceModel), "edit-scope",
              Describe(op) + " changed its source file: " + Escape(sourceAfter, 300));
  if (!Checkpoint(pair, &result.after)) return result;
  result.ran = true;
  const std::string& after = result.after;
  if (Classify(after) == FileKind::Binary) {
    rec.Fail(HoldsForbiddenControl(op.value.value_or("") + op.section.value_or("") + op.key.value_or(""))
                 ? "control-char-stored"
                 : "line-ends",
             Describe(op) + " = " + Num(status) + " left a file that is not ini text any more: " + Escape(after, 300));
    return result;
  }
  const Doc actual = Parse(after);
  rec.Check(Render(actual) == after, "line-ends",
            "the saved file has line ends other than CR LF: " + Escape(after, 300));
  ++rec.counters.checks;
  for (const Outcome& o : outcomes)
    if (StatusFits(o, status) && FirstDifference(o.doc, actual) < 0) return result;
  EditFinding(op, status, before, after, outcomes);
  return result;
}

void CheckGet(const Pair& pair, const Doc* model, const Text& section, const Text& key, int32_t capacity,
              bool nullValue) {
  const size_t size = static_cast<uint16_t>(capacity);
  constexpr size_t kGuard = 64;
  std::string buffer(size + kGuard, '\xA5');
  const int32_t status = Get(pair.buffer, section, key, nullValue ? nullptr : buffer.data(), capacity);
  const std::string call = "TvIsi_IniGetString(" + (section ? Escape(*section, 60) : "NULL") + ", " +
                           (key ? Escape(*key, 60) : "NULL") + ", capacity " + std::to_string(capacity) +
                           ") = " + std::to_string(status);
  const bool guardKept = buffer.find_first_not_of('\xA5', size) == std::string::npos;
  if (!rec.Check(guardKept, "buffer-overrun", call + " wrote beyond the capacity")) return;
  std::string written;
  if (!nullValue && size > 0) {
    const void* end = memchr(buffer.data(), '\0', size);
    if (!rec.Check(end != nullptr, "buffer-overrun", call + " left the value without its terminating NUL")) return;
    written.assign(buffer.data(), static_cast<const char*>(end) - buffer.data());
  }
  if (!nullValue && size == 0)
    rec.Check(buffer == std::string(kGuard, '\xA5'), "buffer-overrun", call + " wrote into a buffer of capacity 0");

  // Sections of 80 characters or more, or with "*" or "?", and keys that
  // cannot stand in a file are never found; other sections that no header
  // can hold may still find the key in TvDefault.
  const std::string s = section.value_or("");
  const bool neverFound = s.size() >= 80 || s.find_first_of("*?") != std::string::npos;
  const NameClass names = std::max(
      neverFound ? NameClass::Refused : std::min(ClassifySection(section), NameClass::Unclear), ClassifyKey(key));
  const auto found =
      model && names != NameClass::Refused ? Lookup(*model, section.value_or(""), key.value_or("")) : std::nullopt;
  std::vector<std::pair<int32_t, std::string>> allowed;
  if (!found || names == NameClass::Unclear) allowed.push_back({-8100, ""});
  if (found) allowed.push_back({0, GetValue(ValueLines(*model, *found), size)});
  for (const auto& [s, v] : allowed)
    if (s == status && (nullValue || size == 0 || v == written)) return void(++rec.counters.checks);
  const char* kind = names == NameClass::Refused && status == 0 ? "name-found" : "get-value";
  std::string expected = allowed.front().first == 0 ? Escape(allowed.front().second, 200) : "not found (-8100), \"\"";
  if (allowed.size() > 1 && allowed.back().first == 0) expected += " or " + Escape(allowed.back().second, 200);
  rec.Fail(kind, call + "\n  value:    " + Escape(written, 200) + "\n  expected: " + expected +
                     (model ? "" : " (the pair holds no file)"));
}

}  // namespace campaign
