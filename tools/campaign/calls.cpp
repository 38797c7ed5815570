// calls.cpp: recorded, counted and status-checked calls of the exports.
#include "campaign.h"

#include <cstdio>
#include <cstring>
#include <map>

#include "exports.h"

namespace campaign {

namespace {

const char* C(const Text& text) { return text ? text->c_str() : nullptr; }
std::string Q(const Text& text, size_t limit = 70) { return text ? Escape(*text, limit) : "NULL"; }
std::string H(INT_PTR value) { return HandleText(value); }

// Where each handle value was first handed out.
std::map<INT_PTR, std::string> buffersGiven, filesGiven;

struct Tally {
  uint64_t calls = 0, failed = 0;
};
std::map<std::string, Tally> tallies;

void Counted(const char* name, int32_t status) {
  Tally& t = tallies[name];
  ++t.calls;
  t.failed += status < 0;
  ++rec.counters.calls;
  Progress();
  // TvIsi_IsISOPresent alone answers 1 as well.
  const bool positiveAllowed = strcmp(name, "TvIsi_IsISOPresent") == 0 && status == 1;
  rec.Check(KnownStatus(status) || positiveAllowed, "status-unknown",
            std::string(name) + " returned " + Num(status) + ", which is no status the exports document");
}

std::string StepText(const char* name, const std::string& arguments, const std::string& label) {
  return std::string(name) + "(" + arguments + ")" + (label.empty() ? "" : " [" + label + "]");
}

// One call, recorded as a step before it is made, its status counted and checked.
template <typename F>
int32_t Call(const char* name, const std::string& arguments, F&& call, const std::string& label = "") {
  rec.Step(StepText(name, arguments, label));
  const int32_t status = call();
  rec.Result(" = " + Num(status));
  Counted(name, status);
  return status;
}

template <typename F>
void CallVoid(const char* name, const std::string& arguments, F&& call, const std::string& label = "") {
  rec.Step(StepText(name, arguments, label));
  call();
  ++tallies[name].calls;
  ++rec.counters.calls;
  Progress();
}

std::string Where() { return "case " + std::to_string(rec.caseNumber) + " step " + std::to_string(rec.Steps().size()); }

void NoteGiven(std::map<INT_PTR, std::string>& given, INT_PTR value, const char* what) {
  auto [it, added] = given.emplace(value, Where());
  rec.Check(added, "handle-reused",
            std::string("TvIsi_IniOpen handed out ") + what + " handle " + H(value) +
                " a second time (first: " + it->second + ")");
}

}  // namespace

void CountCall(const char* name, int32_t status) { Counted(name, status); }

std::string CallTable() {
  std::string text = "Calls by export (failed):";
  for (const auto& [name, t] : tallies)
    text += " " + name.substr(name.find('_') + 1) + " " + Num(static_cast<int64_t>(t.calls)) + " (" +
            Num(static_cast<int64_t>(t.failed)) + ")";
  return text + "\n";
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
  INT_PTR file = 0x5A5A5A5A, buffer = 0x5A5A5A5A;
  const int32_t status =
      Call("TvIsi_IniOpen", "&file, &buffer, " + Q(path, 120), [&] { return TvIsi_IniOpen(&file, &buffer, C(path)); });
  rec.Result("; file " + H(file) + ", buffer " + H(buffer));
  static int nextId = 0;
  pair = Pair{file, buffer, path.value_or(""), ++nextId, true, status == 0};
  rec.Check(buffer != 0x5A5A5A5A && file != 0x5A5A5A5A, "open-status",
            "TvIsi_IniOpen left a handle place unwritten (status " + Num(status) + ")");
  // Without memory for the pair's record there is no buffer handle either.
  const bool noRecord = buffer == 0 && (status == -1001 || status == -1018);
  rec.Check((buffer > 0 || noRecord) && (file > 0 || (file == -1 && status != 0)), "handle-value",
            "TvIsi_IniOpen = " + Num(status) + " gave file handle " + H(file) + " and buffer handle " + H(buffer) +
                ": handles are positive, -1 only for a file that was not opened");
  if (buffer != 0 && buffer != 0x5A5A5A5A) NoteGiven(buffersGiven, buffer, "buffer");
  if (file != -1 && file != 0x5A5A5A5A) NoteGiven(filesGiven, file, "file");
  return status;
}

int32_t Save(INT_PTR file, INT_PTR buffer, const std::string& label) {
  ++rec.counters.saves;
  return Call(
      "TvIsi_IniSave", H(file) + ", " + H(buffer), [&] { return TvIsi_IniSave(file, buffer); }, label);
}

void Close(INT_PTR file, INT_PTR buffer, const std::string& label) {
  CallVoid(
      "TvIsi_IniClose", H(file) + ", " + H(buffer), [&] { TvIsi_IniClose(file, buffer); }, label);
}

int32_t Save(Pair& pair) { return Save(pair.file, pair.buffer, "pair " + Num(pair.id)); }

void Close(Pair& pair) {
  Close(pair.file, pair.buffer, "pair " + Num(pair.id));
  pair.open = false;
}

int32_t Get(INT_PTR buffer, const Text& section, const Text& key, char* value, int32_t capacity) {
  return Call("TvIsi_IniGetString",
              H(buffer) + ", " + Q(section) + ", " + Q(key) + ", " + (value ? "value" : "NULL") + ", " + Num(capacity),
              [&] { return TvIsi_IniGetString(buffer, C(section), C(key), value, capacity); });
}

int32_t SetString(INT_PTR buffer, const Text& section, const Text& key, const Text& value) {
  return Call("TvIsi_IniSetString", H(buffer) + ", " + Q(section) + ", " + Q(key) + ", " + Q(value, 120),
              [&] { return TvIsi_IniSetString(buffer, C(section), C(key), C(value)); });
}

int32_t DeleteString(INT_PTR buffer, const Text& section, const Text& key) {
  return Call("TvIsi_IniDeleteString", H(buffer) + ", " + Q(section) + ", " + Q(key),
              [&] { return TvIsi_IniDeleteString(buffer, C(section), C(key)); });
}

int32_t CopySetting(INT_PTR source, INT_PTR destination, const Text& section, const Text& key) {
  return Call("TvIsi_IniCopySetting", H(source) + ", " + H(destination) + ", " + Q(section) + ", " + Q(key),
              [&] { return TvIsi_IniCopySetting(source, destination, C(section), C(key)); });
}

int32_t AddString(INT_PTR buffer, const Text& section, const Text& key, const Text& entries) {
  return Call("TvIsi_IniAddString", H(buffer) + ", " + Q(section) + ", " + Q(key) + ", " + Q(entries, 120),
              [&] { return TvIsi_IniAddString(buffer, C(section), C(key), C(entries)); });
}

int32_t RemoveStrings(INT_PTR buffer, const Text& section, const Text& key, const Text& entries) {
  return Call("TvIsi_IniRemoveStrings", H(buffer) + ", " + Q(section) + ", " + Q(key) + ", " + Q(entries, 120),
              [&] { return TvIsi_IniRemoveStrings(buffer, C(section), C(key), C(entries)); });
}

int32_t UpdateTvwserveV5(const Text& path, const Text& data, int32_t id, int32_t aid, int32_t nid) {
  return Call("TvIsi_UpdateTvwserveV5",
              Q(path, 120) + ", " + Q(data, 120) + ", " + Num(id) + ", " + Num(aid) + ", " + Num(nid),
              [&] { return TvIsi_UpdateTvwserveV5(C(path), C(data), id, aid, nid); });
}

int32_t UpdateDataKeys(const Text& path, const Text& data, int32_t format) {
  return Call("TvIsi_UpdateDataKeys", Q(path, 120) + ", " + Q(data, 120) + ", " + Num(format),
              [&] { return TvIsi_UpdateDataKeys(C(path), C(data), format); });
}

int32_t InstalledCountriesToData(const Text& path) {
  return Call("TvIsi_InstalledCountriesToData", Q(path, 120), [&] { return TvIsi_InstalledCountriesToData(C(path)); });
}

int32_t CheckIniForData(const Text& folder, const Text& iso, int32_t twoLetters, char* code, char* dataDir,
                        char* baseDir, int32_t* flags) {
  return Call("TvIsi_CheckIniForData", Q(folder, 120) + ", " + Q(iso) + ", " + Num(twoLetters) + ", ...",
              [&] { return TvIsi_CheckIniForData(C(folder), C(iso), twoLetters, code, dataDir, baseDir, flags); });
}

int32_t IsIsoPresent(const Text& code, const Text& folder) {
  return Call("TvIsi_IsISOPresent", Q(code) + ", " + Q(folder, 120),
              [&] { return TvIsi_IsISOPresent(C(code), C(folder)); });
}

int32_t ProdFromIni(const Text& path, int32_t* mask) {
  const int32_t status = Call("TvIsi_ProdFromIni", Q(path, 120) + ", " + (mask ? "&mask" : "NULL"),
                              [&] { return TvIsi_ProdFromIni(C(path), mask); });
  if (mask) rec.Result(", mask " + H(*mask));
  return status;
}

int32_t Startup() {
  return Call("TvIsi_Startup", "", [] { return TvIsi_Startup(); });
}

void Shutdown() {
  CallVoid("TvIsi_Shutdown", "", [] { TvIsi_Shutdown(); });
}

}  // namespace campaign
