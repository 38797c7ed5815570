// calls.cpp: recorded, counted and status-checked calls of the exports.
#include "calls.h"

#include <cstdio>
#include <map>

#include "exports.h"
#include "harness.h"

namespace campaign {

namespace {

const char* C(const Text& text) { return text ? text->c_str() : nullptr; }

std::string Q(const Text& text, size_t limit = 70) { return text ? Escape(*text, limit) : "NULL"; }

std::string Num(int64_t value) { return std::to_string(value); }

// Where each handle value was first handed out.
std::map<INT_PTR, std::string> buffersGiven;
std::map<INT_PTR, std::string> filesGiven;

struct Tally {
  uint64_t calls = 0, ok = 0, failed = 0, other = 0;
};
std::map<std::string, Tally> tallies;

void Called(const char* name, int32_t status, bool positiveAllowed = false) {
  Tally& t = tallies[name];
  ++t.calls;
  ++(status == 0 ? t.ok : status < 0 ? t.failed : t.other);
  ++rec.counters.calls;
  Progress();
  rec.Check(KnownStatus(status) || (positiveAllowed && status == 1), "status-unknown",
            std::string(name) + " returned " + Num(status) + ", which is no status the exports document");
}

std::string Where() { return "case " + std::to_string(rec.caseNumber) + " step " + std::to_string(rec.Steps().size()); }

}  // namespace

void CountCall(const char* name, int32_t status) { Called(name, status); }

std::string CallTable() {
  std::string text = "Calls by export (status 0 / negative / positive):\n";
  char line[160];
  for (const auto& [name, t] : tallies) {
    snprintf(line, sizeof line, "  %-32s %8llu  (%llu / %llu / %llu)\n", name.c_str(),
             static_cast<unsigned long long>(t.calls), static_cast<unsigned long long>(t.ok),
             static_cast<unsigned long long>(t.failed), static_cast<unsigned long long>(t.other));
    text += line;
  }
  return text;
}

bool KnownStatus(int32_t status) {
  return status == 0 || (status <= -1000 && status >= -1097) || status == -1 || status == -8005 || status == -8100;
}

std::string HandleText(INT_PTR value) {
  char text[32];
  if (value == -1) return "-1";
  snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

int32_t Open(Pair& pair, const Text& path) {
  rec.Step("TvIsi_IniOpen(&file, &buffer, " + Q(path, 120) + ")");
  INT_PTR file = 0x5A5A5A5A, buffer = 0x5A5A5A5A;
  const int32_t status = TvIsi_IniOpen(&file, &buffer, C(path));
  rec.Result(" = " + Num(status) + "; file " + HandleText(file) + ", buffer " + HandleText(buffer));
  Called("TvIsi_IniOpen", status);
  pair.file = file;
  pair.buffer = buffer;
  pair.path = path.value_or("");
  pair.open = true;
  pair.loaded = status == 0;
  static int nextId = 0;
  pair.id = ++nextId;
  rec.Check(buffer != 0x5A5A5A5A && file != 0x5A5A5A5A, "open-status",
            "TvIsi_IniOpen left a handle place unwritten (status " + Num(status) + ")");
  // Without memory for the pair's record there is no buffer handle either.
  const bool noRecord = buffer == 0 && (status == -1001 || status == -1018);
  rec.Check((buffer > 0 || noRecord) && (file > 0 || (file == -1 && status != 0)), "handle-value",
            "TvIsi_IniOpen = " + Num(status) + " gave file handle " + HandleText(file) + " and buffer handle " +
                HandleText(buffer) + ": handles are positive, -1 only for a file that was not opened");
  if (buffer != 0 && buffer != 0x5A5A5A5A) {
    auto [it, added] = buffersGiven.emplace(buffer, Where());
    rec.Check(
        added, "handle-reused",
        "TvIsi_IniOpen handed out buffer handle " + HandleText(buffer) + " a second time (first: " + it->second + ")");
  }
  if (file != -1 && file != 0x5A5A5A5A) {
    auto [it, added] = filesGiven.emplace(file, Where());
    rec.Check(
        added, "handle-reused",
        "TvIsi_IniOpen handed out file handle " + HandleText(file) + " a second time (first: " + it->second + ")");
  }
  return status;
}

int32_t OpenWithoutPlaces(const Text& path) {
  rec.Step("TvIsi_IniOpen(NULL, NULL, " + Q(path) + ")");
  const int32_t status = TvIsi_IniOpen(nullptr, nullptr, C(path));
  rec.Result(" = " + Num(status));
  Called("TvIsi_IniOpen", status);
  return status;
}

int32_t Save(INT_PTR file, INT_PTR buffer, const std::string& label) {
  rec.Step("TvIsi_IniSave(" + HandleText(file) + ", " + HandleText(buffer) + ")" +
           (label.empty() ? "" : " [" + label + "]"));
  const int32_t status = TvIsi_IniSave(file, buffer);
  rec.Result(" = " + Num(status));
  Called("TvIsi_IniSave", status);
  ++rec.counters.saves;
  return status;
}

void Close(INT_PTR file, INT_PTR buffer, const std::string& label) {
  rec.Step("TvIsi_IniClose(" + HandleText(file) + ", " + HandleText(buffer) + ")" +
           (label.empty() ? "" : " [" + label + "]"));
  TvIsi_IniClose(file, buffer);
  ++tallies["TvIsi_IniClose"].calls;
  ++rec.counters.calls;
  Progress();
}

int32_t Save(Pair& pair) { return Save(pair.file, pair.buffer, "pair " + std::to_string(pair.id)); }

void Close(Pair& pair) {
  Close(pair.file, pair.buffer, "pair " + std::to_string(pair.id));
  pair.open = false;
}

int32_t Get(INT_PTR buffer, const Text& section, const Text& key, char* value, int32_t capacity) {
  rec.Step("TvIsi_IniGetString(" + HandleText(buffer) + ", " + Q(section) + ", " + Q(key) + ", " +
           (value ? "value" : "NULL") + ", " + Num(capacity) + ")");
  const int32_t status = TvIsi_IniGetString(buffer, C(section), C(key), value, capacity);
  rec.Result(" = " + Num(status));
  Called("TvIsi_IniGetString", status);
  return status;
}

int32_t SetString(INT_PTR buffer, const Text& section, const Text& key, const Text& value) {
  rec.Step("TvIsi_IniSetString(" + HandleText(buffer) + ", " + Q(section) + ", " + Q(key) + ", " + Q(value, 120) + ")");
  const int32_t status = TvIsi_IniSetString(buffer, C(section), C(key), C(value));
  rec.Result(" = " + Num(status));
  Called("TvIsi_IniSetString", status);
  return status;
}

int32_t DeleteString(INT_PTR buffer, const Text& section, const Text& key) {
  rec.Step("TvIsi_IniDeleteString(" + HandleText(buffer) + ", " + Q(section) + ", " + Q(key) + ")");
  const int32_t status = TvIsi_IniDeleteString(buffer, C(section), C(key));
  rec.Result(" = " + Num(status));
  Called("TvIsi_IniDeleteString", status);
  return status;
}

int32_t CopySetting(INT_PTR source, INT_PTR destination, const Text& section, const Text& key) {
  rec.Step("TvIsi_IniCopySetting(" + HandleText(source) + ", " + HandleText(destination) + ", " + Q(section) + ", " +
           Q(key) + ")");
  const int32_t status = TvIsi_IniCopySetting(source, destination, C(section), C(key));
  rec.Result(" = " + Num(status));
  Called("TvIsi_IniCopySetting", status);
  return status;
}

int32_t AddString(INT_PTR buffer, const Text& section, const Text& key, const Text& entries) {
  rec.Step("TvIsi_IniAddString(" + HandleText(buffer) + ", " + Q(section) + ", " + Q(key) + ", " + Q(entries, 120) +
           ")");
  const int32_t status = TvIsi_IniAddString(buffer, C(section), C(key), C(entries));
  rec.Result(" = " + Num(status));
  Called("TvIsi_IniAddString", status);
  return status;
}

int32_t RemoveStrings(INT_PTR buffer, const Text& section, const Text& key, const Text& entries) {
  rec.Step("TvIsi_IniRemoveStrings(" + HandleText(buffer) + ", " + Q(section) + ", " + Q(key) + ", " + Q(entries, 120) +
           ")");
  const int32_t status = TvIsi_IniRemoveStrings(buffer, C(section), C(key), C(entries));
  rec.Result(" = " + Num(status));
  Called("TvIsi_IniRemoveStrings", status);
  return status;
}

int32_t UpdateTvwserveV5(const Text& path, const Text& data, int32_t id, int32_t aid, int32_t nid) {
  rec.Step("TvIsi_UpdateTvwserveV5(" + Q(path, 120) + ", " + Q(data, 120) + ", " + Num(id) + ", " + Num(aid) + ", " +
           Num(nid) + ")");
  const int32_t status = TvIsi_UpdateTvwserveV5(C(path), C(data), id, aid, nid);
  rec.Result(" = " + Num(status));
  Called("TvIsi_UpdateTvwserveV5", status);
  return status;
}

int32_t UpdateDataKeys(const Text& path, const Text& data, int32_t format) {
  rec.Step("TvIsi_UpdateDataKeys(" + Q(path, 120) + ", " + Q(data, 120) + ", " + Num(format) + ")");
  const int32_t status = TvIsi_UpdateDataKeys(C(path), C(data), format);
  rec.Result(" = " + Num(status));
  Called("TvIsi_UpdateDataKeys", status);
  return status;
}

int32_t InstalledCountriesToData(const Text& path) {
  rec.Step("TvIsi_InstalledCountriesToData(" + Q(path, 120) + ")");
  const int32_t status = TvIsi_InstalledCountriesToData(C(path));
  rec.Result(" = " + Num(status));
  Called("TvIsi_InstalledCountriesToData", status);
  return status;
}

int32_t CheckIniForData(const Text& folder, const Text& iso, int32_t twoLetters, char* code, char* dataDir,
                        char* baseDir, int32_t* flags) {
  rec.Step("TvIsi_CheckIniForData(" + Q(folder, 120) + ", " + Q(iso) + ", " + Num(twoLetters) + ", ...)");
  const int32_t status = TvIsi_CheckIniForData(C(folder), C(iso), twoLetters, code, dataDir, baseDir, flags);
  rec.Result(" = " + Num(status));
  Called("TvIsi_CheckIniForData", status);
  return status;
}

int32_t IsIsoPresent(const Text& code, const Text& folder) {
  rec.Step("TvIsi_IsISOPresent(" + Q(code) + ", " + Q(folder, 120) + ")");
  const int32_t status = TvIsi_IsISOPresent(C(code), C(folder));
  rec.Result(" = " + Num(status));
  Called("TvIsi_IsISOPresent", status, true);
  return status;
}

int32_t ProdFromIni(const Text& path, int32_t* mask) {
  rec.Step("TvIsi_ProdFromIni(" + Q(path, 120) + ", " + (mask ? "&mask" : "NULL") + ")");
  const int32_t status = TvIsi_ProdFromIni(C(path), mask);
  rec.Result(" = " + Num(status) + (mask ? ", mask " + HandleText(*mask) : ""));
  Called("TvIsi_ProdFromIni", status);
  return status;
}

int32_t Startup() {
  rec.Step("TvIsi_Startup()");
  const int32_t status = TvIsi_Startup();
  rec.Result(" = " + Num(status));
  Called("TvIsi_Startup", status);
  return status;
}

void Shutdown() {
  rec.Step("TvIsi_Shutdown()");
  TvIsi_Shutdown();
  ++tallies["TvIsi_Shutdown"].calls;
  ++rec.counters.calls;
  Progress();
}

}  // namespace campaign
