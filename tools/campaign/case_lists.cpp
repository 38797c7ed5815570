// case_lists.cpp: the family that drives the exports recording and finding
// installed countries and data sets, on generated folders with text,
// binary, missing and locked configuration files and injected faults.
#include <algorithm>
#include <cstring>
#include <memory>

#include "campaign.h"
#include "tv_ini.h"
#include "tv_memory.h"

namespace campaign {

namespace {

struct Folder {
  std::string dir, server, product;
  std::vector<std::string> productFiles;
};

Folder MakeFolder(Rng& rng, const std::string& dir) {
  Folder f{dir, In(dir, "tvwserve.ini"), In(dir, "product.ini"), {}};
  FileRecipe recipe;
  recipe.serverLists = true;
  recipe.allowBinary = rng.Chance(12);
  recipe.allowHuge = rng.Chance(25);
  if (!rng.Chance(6)) {
    const std::string server = GenerateFile(rng, recipe);
    WriteBytes(f.server, server);
    NoteFile("tvwserve.ini", server);
  }
  std::vector<std::string> lines = GenerateLines(rng, FileRecipe{false, false, false, false, false, true});
  // clang-format off
  static const char* const kUsedBy[] = {"UsedByKeelPanel", "UsedByKeelNet", "UsedByKeelHost", "UsedByFlint",
                                        "UsedByHeron", "UsedByCobalt", "KeelNet", "UsedByFlintLib64"};
  static const char* const kSwitches[] = {"Yes", "No", "1", "0", " y", "On", "off", "T", "maybe", ""};
  // clang-format on
  for (size_t n = rng.Size(0, 3); n > 0; --n)
    lines.insert(lines.begin() + 1, std::string(rng.Pick(kUsedBy)) + "=" + rng.Pick(kSwitches));
  const std::string product = JoinLines(rng, lines, true);
  WriteBytes(f.product, product);
  NoteFile("product.ini", product);
  MakeDir(In(dir, "Data"));
  for (const char* name : {"GBR.dts", "USA.rds", "FRA.dts"})
    if (rng.Chance(50)) WriteBytes(In(In(dir, "Data"), name), "data");
  if (rng.Chance(30)) WriteBytes(In(dir, "tvworld.ini"), "[TvDefault]\r\n");
  for (const std::string& file : kProductFiles)
    if (rng.Chance(8) && WriteBytes(In(dir, file), "")) f.productFiles.push_back(file);
  return f;
}

enum class FileState { Missing, Text, Binary, Unclear };

FileState StateOf(const std::string& path, std::string* bytes) {
  if (!ReadBytes(path, bytes)) return FileState::Missing;
  const FileKind kind = Classify(*bytes);
  return kind == FileKind::Text ? FileState::Text : kind == FileKind::Binary ? FileState::Binary : FileState::Unclear;
}

bool Readable(FileState state) { return state == FileState::Text || state == FileState::Unclear; }

// The file of one export call, how it is held while the call runs, and the
// fault or memory squeeze armed for it. Release ends them all and gives the
// number of injected failures.
struct Target {
  std::string path, before;
  FileState state = FileState::Missing;
  bool locked = false;
  std::unique_ptr<Lock> lock;
  Pair holder;  // an ini handle of the script itself holding the file
  FaultPlan plan;
  bool squeezed = false;
  uint64_t limit = tvMemStats.limit;

  int Release() {
    const int injected = DisarmFault() + (squeezed ? 1 : 0);
    tvMemStats.limit = limit;
    if (holder.open) Close(holder);
    lock.reset();
    return injected;
  }
};

void ChooseTarget(Rng& rng, const Folder& folder, Target& t) {
  t.path = rng.Chance(55) ? folder.server : folder.product;
  if (rng.Chance(5)) t.path = In(folder.dir, "absent.ini");
  t.state = StateOf(t.path, &t.before);
}

void HoldTarget(Rng& rng, Target& t) {
  if (t.state == FileState::Missing || !rng.Chance(10)) return;
  if (rng.Chance(50) && t.state == FileState::Text) {
    t.locked = Open(t.holder, t.path) == 0;
    if (!t.locked) Close(t.holder);
  } else {
    t.lock = std::make_unique<Lock>(t.path);
    t.locked = t.lock->held();
  }
  if (t.locked) rec.Note("the file is held open while the export runs");
}

// A fault in the file layer, or a kernel that may take only a little more
// memory than it holds: the export may fail (-1001 counts as injected).
void ArmTarget(Rng& rng, Target& t) {
  if (t.locked || t.state != FileState::Text) return;
  if (rng.Chance(15)) {
    t.plan = RandomPlan(rng, true);
    rec.Note("fault: " + PlanText(t.plan));
  } else if (tvMemStats.enabled && rng.Chance(8)) {
    t.squeezed = true;
    rec.Note("memory: the kernel may take only a little more than it holds");
    tvMemStats.limit = tvMemStats.totalBytes + rng.Below(rng.Chance(50) ? 1024 : 65536);
  }
  ArmFault(t.plan);
}

// ---- The exports that rewrite the file.

std::string DataArgument(Rng& rng, const Doc& doc) {
  // clang-format off
  static const char* const kFixed[] = {"", " ", "  \t", "GBR,C:\\New\nUSA,C:\\Injected", "GBR,C:\\New\r[Evil]",
                                       nullptr, "GBR", ",nocode", nullptr, "GBR,C:\\Ctl\x01", "\tUSA,C:\\Tab"};
  // clang-format on
  const uint64_t pick = rng.Below(16);
  if (pick == 5) return ListEntry(rng, false) + std::string(rng.Size(1000, 1100), 'z');
  if (pick == 8) {  // an entry the file holds already
    std::vector<std::string> existing;
    for (const std::string& key : kDataKeys)
      for (const std::string& l : ReadLines(doc, "TvDefault", key).value_or(std::vector<std::string>{}))
        if (!TrimBlanks(l).empty()) existing.push_back(TrimBlanks(l));
    return existing.empty() ? DataEntry(rng, "GBR") : Cut(rng.Pick(existing), 1023);
  }
  return pick < 11 ? kFixed[pick] : DataEntry(rng, CountryCode(rng));
}

// What a rewrite left, when the call had something to write and a file to write it to.
void CheckListExport(const std::string& call, const Target& t, int32_t status, int injected, int setEnds,
                     const std::string& after, const Doc& expected) {
  const std::string& before = t.before;
  if (t.locked) {
    rec.Check(status < 0, "list-locked", call + " on a file held open by another program returned " + Num(status));
    rec.Check(after == before, "list-locked", call + " changed a locked file");
    return;
  }
  if (t.state == FileState::Binary || (t.state == FileState::Unclear && status == -1096)) {
    rec.Check(status == -1096, "binary-not-refused",
              call + " on a file that is not ini text returned " + Num(status) + ", not -1096");
    rec.Check(after == before, "binary-changed",
              call + " changed a file that is not ini text: " + ByteDifference(before, after));
    return;
  }
  if (injected > 0 && status < 0)
    return CheckSaveResult(call, t.plan, status, injected, setEnds, before, Render(expected), after);
  if (injected == 0 && !rec.Check(status == 0, "export-status", call + " returned " + Num(status))) {
    rec.Check(after == before, "save-fault", call + " failed and changed the file: " + ByteDifference(before, after));
    return;
  }
  if (Classify(after) == FileKind::Binary)
    return rec.Fail("control-char-stored", call + " left a file that is not ini text: " + Escape(after, 300));
  // A refused cut: the new text, then blanks up to the old length.
  const std::string text = Render(expected);
  if (setEnds > 0 && after.size() == before.size() && text.size() <= after.size() &&
      after.compare(0, text.size(), text) == 0 && after.find_first_not_of(' ', text.size()) == std::string::npos)
    return void(++rec.counters.checks);
  const Doc actual = Parse(after);
  rec.Check(Render(actual) == after, "line-ends", call + " wrote line ends other than CR LF");
  if (FirstDifference(expected, actual) < 0) return void(++rec.counters.checks);
  if (injected > 0 && after == before)
    return rec.Fail("fault-ignored", call + " returned 0 under an injected fault, but the file was not written");
  // Under an injected fault: a failure taken for an answer, and success reported.
  rec.Fail(injected > 0 ? "fault-ignored" : "list-result",
           call + "\n  file before: " + Escape(before, 400) + LineDifference(expected, actual));
}

void RewriteExport(Rng& rng, Target& t, int which) {
  const Doc model = Readable(t.state) ? Parse(t.before) : Doc{};
  static const int32_t kFormats[] = {8, 4, 0, 12, 0x10008, -8};
  const std::string raw = which == 2 ? std::string() : DataArgument(rng, model), data = Cut(raw, 1023);
  const int32_t arg = which == 0 ? (rng.Chance(50) ? 1 : (rng.Chance(50) ? 0 : 0x10000)) : rng.Pick(kFormats);
  int32_t status;
  Doc expected;
  if (which == 0) {
    status = UpdateTvwserveV5(t.path, raw, arg, rng.Int(-1, 5), rng.Int(-1, 5));
    expected = ExpectUpdateTvwserveV5(model, data, static_cast<int16_t>(arg) != 0);
  } else if (which == 1) {
    status = UpdateDataKeys(t.path, raw, arg);
    expected = ExpectUpdateDataKeys(model, data, static_cast<int16_t>(arg) == 8);
  } else {
    status = InstalledCountriesToData(t.path);
    expected = ExpectCountriesToData(model);
  }
  const std::string call = rec.Steps().back();  // the call as recorded, its status with it
  const int injected = t.Release();
  const int setEnds = SetEndFailures();
  std::string after;
  const bool existsAfter = ReadBytes(t.path, &after), missing = t.state == FileState::Missing;
  const bool unchanged = missing ? !existsAfter : after == t.before;
  const bool unreadable = t.locked || missing || t.state == FileState::Binary;
  const std::string changed = unchanged ? "" : "; file after: " + Escape(after, 300);
  const bool blank = !data.empty() && TrimBlanks(data).empty();
  if (which == 0 && TrimBlanks(data).empty())  // nothing to record: the file is left as it is
    return void(
        rec.Check(unchanged && (status == 0 || status == -1096 || (status < 0 && unreadable)),
                  blank ? "list-blank" : "list-result",
                  call + " with " + (blank ? "a blank" : "an empty") + " entry returned " + Num(status) + changed));
  if (data.find_first_of("\r\n") != std::string::npos || HoldsForbiddenControl(data))
    return void(rec.Check(
        unchanged && (status == -1096 || (status < 0 && unreadable) || (which == 0 && missing && status == 0)),
        "value-injection",
        call + " with a line break or control character in the entry returned " + Num(status) + changed));
  if (missing)
    return void(
        rec.Check(!existsAfter && (which == 0 ? status == 0 : status < 0), "export-status",
                  call + " on a missing file returned " + Num(status) + (existsAfter ? " and created it" : "")));
  CheckListExport(call, t, status, injected, setEnds, after, expected);
}

// ---- The exports that only read.

// What a reading export owes for the state of the file it reads (a
// failure when it cannot read it, -1096 when it is not ini text; onText
// checks the answer on text), and the file is never changed.
void CheckReader(const std::string& call, const std::string& path, FileState state, bool locked,
                 const std::string& before, const std::string& answer, bool failed, bool refused,
                 const std::function<void()>& onText) {
  if (state == FileState::Missing || locked)
    rec.Check(failed, "export-status", call + " on a file it cannot read returned " + answer);
  else if (state == FileState::Binary)
    rec.Check(refused, "binary-not-refused", call + " on a file that is not ini text returned " + answer);
  else if (state == FileState::Text) onText();
  std::string after;
  if (state != FileState::Missing && ReadBytes(path, &after))
    rec.Check(after == before, "export-scope", call + " changed " + path.substr(path.rfind('\\') + 1));
}

bool Untouched(const char* p, size_t from, size_t to) {
  return std::all_of(p + from, p + to, [](char c) { return c == '\xA5'; });
}

void DiscoveryCall(Rng& rng, Target& t, const Folder& folder) {
  const bool twoLetters = rng.Chance(30);
  const Text iso = rng.Chance(5) ? Text() : Text(rng.Chance(80) ? CountryCode(rng) : rng.Chance(50) ? "" : "GBRXX");
  const Text dir = rng.Chance(85) ? Text(folder.dir) : Text(In(folder.dir, "nowhere"));
  char code[4 + 16], dataDir[256 + 16], baseDir[256 + 16];
  int32_t flags[2] = {0x5A5A5A5A, 0x5A5A5A5A};
  for (char* b : {code, dataDir, baseDir}) memset(b, 0xA5, b == code ? sizeof code : sizeof dataDir);
  std::string before;
  const FileState state = dir == folder.dir ? StateOf(folder.server, &before) : FileState::Missing;
  const bool locked = t.locked && t.path == folder.server;
  const int32_t status = CheckIniForData(dir, iso, twoLetters, code, dataDir, baseDir, flags);
  t.Release();
  const std::string call = "TvIsi_CheckIniForData(" + (iso ? Escape(*iso, 20) : "NULL") + ")";
  rec.Check(Untouched(code, 4, sizeof code) && Untouched(dataDir, 256, sizeof dataDir) &&
                Untouched(baseDir, 256, sizeof baseDir) && flags[1] == 0x5A5A5A5A,
            "buffer-overrun", call + " wrote beyond a result buffer");
  CheckReader(call, folder.server, state, locked, before, Num(status), status == -1011, status == -1096,
              [&] { rec.Check(status == 0, "export-status", call + " returned " + Num(status)); });
  if (status != 0) {
    rec.Check(
        Untouched(code, 0, 4) && Untouched(dataDir, 0, 256) && Untouched(baseDir, 0, 256) && flags[0] == 0x5A5A5A5A,
        "export-result", call + " = " + Num(status) + " wrote its results");
  } else {
    const bool ended = memchr(code, 0, 4) && memchr(dataDir, 0, 256) && memchr(baseDir, 0, 256);
    rec.Check(ended && flags[0] >= 0 && flags[0] <= 7, "export-result",
              call + " gave results without their terminating NUL or with flags " + Num(flags[0]));
    if (code[0] && memchr(code, 0, 4) && state == FileState::Text) {
      const std::vector<std::string> codes = ListedCodes(Parse(before));
      rec.Check(std::find(codes.begin(), codes.end(), std::string(code)) != codes.end(), "export-result",
                call + " reported the code " + Escape(code, 8) + ", which no list holds");
    }
  }
}

void IsoCall(Rng& rng, Target& t, const Folder& folder) {
  const Text code = rng.Chance(5) ? Text() : Text(rng.Chance(70) ? CountryCode(rng) : rng.Chance(50) ? "" : "G");
  std::string before;
  const FileState state = StateOf(folder.server, &before);
  const bool locked = t.locked && t.path == folder.server;
  const bool configInUse = tvConfig.useCount != 0;
  const int32_t status = IsIsoPresent(code, folder.dir);
  t.Release();
  const std::string call = "TvIsi_IsISOPresent(" + (code ? Escape(*code, 20) : "NULL") + ")";
  CheckReader(call, folder.server, state, locked, before, Num(status), status < -1, status == -1096, [&] {
    const bool recorded = IsoRecorded(Parse(before), Cut(code.value_or(""), 255));
    rec.Check(configInUse || (recorded ? status == 0 : (status == 1 || status == -1)), "export-result",
              call + " = " + Num(status) + ", but the code is " + (recorded ? "" : "not ") +
                  "recorded\n  file: " + Escape(before, 400));
  });
}

void ProductCall(Rng& rng, Target& t, const Folder& folder) {
  int32_t mask = 0x5A5A5A5A;
  const bool nullMask = rng.Chance(5);
  const int32_t status = ProdFromIni(t.path, nullMask ? nullptr : &mask);
  t.Release();
  const std::string call = "TvIsi_ProdFromIni(" + Escape(t.path.substr(t.path.rfind('\\') + 1), 40) + ")";
  const std::string answer = Num(status) + ", mask " + HandleText(mask);
  const bool noMask = nullMask || mask == 0;
  CheckReader(call, t.path, t.state, t.locked, t.before, answer, status < 0 && noMask, status == -1096 && noMask, [&] {
    const int32_t expected = ExpectProducts(Parse(t.before), folder.productFiles);
    rec.Check(status == 0 && (nullMask || mask == expected), "export-result",
              call + " = " + answer + ", expected " + HandleText(expected) + "\n  file: " + Escape(t.before, 400));
  });
}

// One export call, in steps that each draw from a stream of their own.
void ExportCall(Rng& rng, const Folder& folder) {
  enum Step : uint64_t { kWhich = 1, kTarget, kHold, kArm, kCall };
  Rng pick = rng.Child(kWhich), call = rng.Child(kCall);
  const uint64_t which = pick.Below(6);
  Target t;
  Rng target = rng.Child(kTarget), hold = rng.Child(kHold), arm = rng.Child(kArm);
  ChooseTarget(target, folder, t);
  HoldTarget(hold, t);
  if (which <= 2) {
    ArmTarget(arm, t);
    return RewriteExport(call, t, static_cast<int>(which));
  }
  if (which == 3) return DiscoveryCall(call, t, folder);
  if (which == 4) return IsoCall(call, t, folder);
  ProductCall(call, t, folder);
}

}  // namespace

void ExportCase(Rng& rng, const std::string& dir) {
  const Folder folder = MakeFolder(rng, dir);
  for (size_t n = rng.Size(2, 5); n > 0; --n) {
    Rng call(rng.Next());  // each call's streams, whatever the calls before it drew
    ExportCall(call, folder);
  }
}

}  // namespace campaign
