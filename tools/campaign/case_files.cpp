// case_files.cpp: the families that drive the ini handle exports: roundtrip
// (files saved without an edit come back, binary ones are refused), edit
// (well-formed and hostile edits against the model), faults (saves and opens
// with failing system calls or little memory) and handles (stale and bogus).
#include <algorithm>

#include "campaign.h"
#include "tv_memory.h"

namespace campaign {

namespace {

const Text kDefault = std::string("TvDefault"), kInstalled = std::string("InstalledData");

// Opens that must fail: missing files, folders, odd and over-long names,
// files held by another pair or by another program. (No places for the
// handles and read-only files are the extension tests' fixed cases.)
void HostileOpens(Rng& rng, const std::string& folder, const std::string& path, const std::string& bytes) {
  Pair pair, second;
  const uint64_t which = rng.Below(4);
  if (which < 2) {
    static const char* const kNames[] = {"missing.ini", "", "sub", "*.ini", "sub\\", "..\\..\\..\\..\\missing.ini"};
    Text name = In(folder, rng.Pick(kNames));
    if (rng.Chance(20)) name = std::nullopt;
    else if (rng.Chance(20)) name = In(folder, std::string(400, 'p') + ".ini");
    else if (rng.Chance(20)) name = std::string();
    if (name && rng.Chance(30)) MakeDir(In(folder, "sub"));
    const int32_t status = Open(pair, name);
    rec.Check(status < 0, "open-status",
              "TvIsi_IniOpen of " + (name ? Escape(*name, 80) : "NULL") + " returned " + Num(status));
    if (status < 0) {
      CheckGet(pair, nullptr, kDefault, kInstalled, 256, false);
      const int32_t set = SetString(pair.buffer, kDefault, std::string("K"), std::string("v"));
      rec.Check(set < 0, "failed-open-save", "TvIsi_IniSetString on a pair whose open failed returned " + Num(set));
      const int32_t saved = Save(pair);
      rec.Check(saved < 0, "failed-open-save", "TvIsi_IniSave of a pair whose open failed returned " + Num(saved));
    }
    Close(pair);
    if (name && name->find("missing.ini") != std::string::npos)
      rec.Check(!Exists(*name), "open-status", "TvIsi_IniOpen of a missing file created it");
  } else if (which == 2) {
    if (Classify(bytes) != FileKind::Text) return;
    Open(pair, path);
    const int32_t status = Open(second, path);
    rec.Check(status < 0, "lock-ignored", "a second TvIsi_IniOpen of a file held open returned " + Num(status));
    if (status == 0)
      rec.Check(Save(second) < 0, "lock-ignored", "TvIsi_IniSave through a second open of a held file succeeded");
    Close(second);
    rec.Check(!Unlocked(path), "handle-cross", "closing a failed second open unlocked the file of the first pair");
    Close(pair);
    rec.Check(Unlocked(path), "close-unlock", "the file is still locked after both pairs were closed");
  } else {
    Lock lock(path);
    const int32_t status = Open(pair, path);
    rec.Check(status < 0, "lock-ignored", "TvIsi_IniOpen of a file locked by another program returned " + Num(status));
    Close(pair);
  }
}

// A set or a delete with names every edit accepts; false when the names
// drawn are not such names.
bool ValidEdit(Rng& rng, const Doc& model, int setPercent, Op* op) {
  op->kind = rng.Chance(setPercent) ? OpKind::Set : OpKind::Delete;
  op->section = SectionName(rng, &model, false);
  op->key = KeyName(rng, &model, false);
  return ClassifySection(op->section) == NameClass::Valid && ClassifyKey(op->key) == NameClass::Valid;
}

int32_t MakeValidEdit(const Pair& pair, const Op& op) {
  return op.kind == OpKind::Set ? SetString(pair.buffer, op.section, op.key, op.value)
                                : DeleteString(pair.buffer, op.section, op.key);
}

// With the kernel's memory limit just above what it holds, an open, an
// edit or a save may fail with -1001; a call that failed must have changed
// nothing, and the pair must go on working.
void MemoryFaults(Rng& rng, const std::string& path, const std::string& old) {
  if (!tvMemStats.enabled) return;  // the limit counts only with statistics on
  const uint64_t saved = tvMemStats.limit;
  auto squeezed = [&](const std::function<int32_t()>& call) {
    tvMemStats.limit = tvMemStats.totalBytes + rng.Below(rng.Chance(50) ? 512 : 65536);
    const int32_t status = call();
    tvMemStats.limit = saved;
    return status;
  };
  rec.Note("memory: the kernel may take only a little more than it holds");
  Pair pair;
  std::string after;
  const int32_t opened = squeezed([&] { return Open(pair, path); });
  rec.Check(opened == 0 || opened == -1001, "memory-status",
            "TvIsi_IniOpen with little memory returned " + Num(opened));
  if (opened != 0) {
    Close(pair);
    ReadBytes(path, &after);
    rec.Check(after == old, "memory-change", "a failed TvIsi_IniOpen changed the file: " + ByteDifference(old, after));
    return;
  }
  Doc model = Parse(old);
  for (size_t n = rng.Size(1, 4); n > 0; --n) {
    Op op;
    if (!ValidEdit(rng, model, 75, &op)) continue;
    op.value = rng.Chance(40) ? std::string(rng.Size(100, 20000), 'm') : std::string("one line");
    const int32_t status = squeezed([&] { return MakeValidEdit(pair, op); });
    if (!rec.Check(status == 0 || status == -1001, "memory-status",
                   Describe(op) + " with little memory returned " + Num(status)))
      break;
    if (status == 0) model = Outcomes(model, op, nullptr).front().doc;
  }
  const int32_t status = squeezed([&] { return Save(pair); });
  rec.Check(status == 0 || status == -1001, "memory-status",
            "TvIsi_IniSave with little memory returned " + Num(status));
  if (status != 0) rec.Check(Save(pair) == 0, "save-status", "TvIsi_IniSave with memory enough again failed");
  Close(pair);
  ReadBytes(path, &after);
  // What failed for memory changed nothing: the text holds exactly the edits that succeeded.
  rec.Check(after == Render(model), "memory-change",
            "after edits and a save with little memory the file is not the text of the edits that succeeded: " +
                ByteDifference(Render(model), after));
}

// A save under a fault leaves the old file or the new text; a save after it
// without the fault the whole new text.
void SaveFaults(Rng& rng, const std::string& path, const std::string& old) {
  Pair pair;
  if (!rec.Check(Open(pair, path) == 0, "open-status", "TvIsi_IniOpen of an ini text file failed")) return Close(pair);
  Doc model = Parse(old);
  const FaultPlan plan = RandomPlan(rng, true);
  const bool shrink = plan.kind == Fault::SetEndFails;  // a refused cut matters when the text shrinks
  for (size_t n = rng.Size(shrink ? 2 : 0, 2); n > 0; --n) {
    Op op;
    const bool valid = ValidEdit(rng, model, shrink ? 0 : 70, &op);
    op.value = rng.Chance(30) ? std::string(rng.Size(200, 3000), 'g') : Value(rng, false).value_or("");
    if (!valid) continue;
    const int32_t status = MakeValidEdit(pair, op);
    if (rec.Check(status == 0, "edit-status", Describe(op) + " returned " + Num(status)))
      model = Outcomes(model, op, nullptr).front().doc;
  }
  rec.Note("fault: " + PlanText(plan));
  ArmFault(plan);
  const int32_t status = Save(pair);
  const int injected = DisarmFault(), setEnds = SetEndFailures();
  const std::string fresh = Render(model);
  std::string after;
  if (rng.Chance(50)) {
    Close(pair);
    ReadBytes(path, &after);
    return CheckSaveResult("TvIsi_IniSave with " + PlanText(plan), plan, status, injected, setEnds, old, fresh, after);
  }
  if (plan.kind == Fault::WriteDead && injected > 0)
    rec.Check(status < 0, "save-status", "TvIsi_IniSave returned 0 although every write failed");
  const int32_t again = Save(pair);
  Close(pair);
  ReadBytes(path, &after);
  rec.Check(again == 0 && after == fresh, "save-after-fault",
            "TvIsi_IniSave = " + Num(again) + " after a save with " + PlanText(plan) + " (= " + Num(status) +
                ") did not leave the new text: " + ByteDifference(fresh, after));
}

// An open whose read or open fails reports it, loads nothing and changes nothing.
void OpenFaults(Rng& rng, const std::string& path, const std::string& old) {
  const FaultPlan plan = RandomPlan(rng, false);
  rec.Note("fault: " + PlanText(plan));
  ArmFault(plan);
  Pair pair;
  const int32_t status = Open(pair, path);
  if (DisarmFault() > 0) {
    rec.Check(status < 0, "fault-ignored",
              "TvIsi_IniOpen returned 0 although a " + std::string(FaultName(plan.kind)) + " was injected");
    if (status < 0) {
      CheckGet(pair, nullptr, kDefault, kInstalled, 256, false);
      const int32_t saved = Save(pair);
      rec.Check(saved < 0, "failed-open-save", "TvIsi_IniSave of a pair whose load failed returned " + Num(saved));
    }
  }
  Close(pair);
  std::string after;
  ReadBytes(path, &after);
  rec.Check(after == old, "save-fault", "a failed open changed the file: " + ByteDifference(old, after));
  rec.Check(Unlocked(path), "close-unlock", "the file is still locked after TvIsi_IniClose");
}

// A call through a stale or bogus handle; false when it made none that answers.
bool BadHandleCall(uint64_t which, INT_PTR badFile, INT_PTR badBuffer, const Pair& b, const Pair& c, int32_t* status,
                   std::string* call, std::string* value) {
  const Text value0 = std::string("GBR,C:\\Stale");
  // clang-format off
  switch (which) {
    case 0: *status = Save(badFile, badBuffer, "bad pair"); *call = "TvIsi_IniSave(file, buffer)"; break;
    case 1: *status = Save(badFile, b.buffer, "bad file, live buffer"); *call = "TvIsi_IniSave(file, a live buffer)"; break;
    case 2: *status = Save(b.file, badBuffer, "live file, bad buffer"); *call = "TvIsi_IniSave(a live file, buffer)"; break;
    case 3: *value = std::string(300, '\xA5'); *status = Get(badBuffer, kDefault, kInstalled, value->data(), 256); *call = "TvIsi_IniGetString"; break;
    case 4: *status = SetString(badBuffer, kDefault, kInstalled, value0); *call = "TvIsi_IniSetString"; break;
    case 5: *status = DeleteString(badBuffer, kDefault, kInstalled); *call = "TvIsi_IniDeleteString"; break;
    case 6: *status = AddString(badBuffer, kDefault, kInstalled, value0); *call = "TvIsi_IniAddString"; break;
    case 7: *status = RemoveStrings(badBuffer, kDefault, kInstalled, value0); *call = "TvIsi_IniRemoveStrings"; break;
    case 8: *status = CopySetting(badBuffer, c.buffer, kDefault, kInstalled); *call = "TvIsi_IniCopySetting(buffer, a live buffer)"; break;
    case 9: *status = CopySetting(b.buffer, badBuffer, kDefault, kInstalled); *call = "TvIsi_IniCopySetting(a live buffer, buffer)"; break;
    case 10: Close(badFile, badBuffer, "bad pair"); return false;
    default: Close(badFile, 0, "bad file, no buffer"); return false;
  }
  // clang-format on
  return true;
}

}  // namespace

void RoundTripCase(Rng& rng, const std::string& folder) {
  FileRecipe recipe;
  recipe.allowBinary = rng.Chance(35);
  const std::string bytes = GenerateFile(rng, recipe);
  const std::string path = In(folder, rng.Chance(50) ? "tvwserve.ini" : "Some File.ini");
  WriteBytes(path, bytes);
  NoteFile("file", bytes);
  const std::string after = RoundTrip(rng, path, bytes);
  if (rng.Chance(40)) HostileOpens(rng, folder, path, after);
}

void EditCase(Rng& rng, const std::string& folder) {
  FileRecipe recipe;
  recipe.allowHuge = rng.Chance(30);
  const std::string original = GenerateFile(rng, recipe), path = In(folder, "edit.ini");
  WriteBytes(path, original);
  NoteFile("file", original);
  std::string current = RoundTrip(rng, path, original);
  if (Classify(current) == FileKind::Binary) return;
  if (current != Render(Parse(original))) WriteBytes(path, current = Render(Parse(original)));  // as it should be
  const std::string sourcePath = In(folder, "source.ini"), source = CleanFile(rng, false);
  WriteBytes(sourcePath, source);
  const bool hostile = rng.Chance(50);
  for (size_t step = rng.Size(1, 6); step > 0; --step) {
    const Op op = RandomOp(rng, Parse(current), hostile, true);
    const EditResult result = EditStep(path, current, op, &sourcePath, &source);
    if (!result.ran) return;
    current = result.after;
    if (Classify(current) == FileKind::Binary) return;
    if (!rng.Chance(40)) continue;
    // The setting reads back through the export as the file holds it.
    const Doc model = Parse(current);
    Pair pair;
    if (Open(pair, path) == 0) {
      CheckGet(pair, &model, op.section, op.key, rng.Chance(70) ? 65535 : Capacity(rng), false);
      SomeGets(rng, pair, &model, 1);
    }
    Close(pair);
  }
}

void FaultCase(Rng& rng, const std::string& folder) {
  const std::string path = In(folder, "fault.ini");
  const std::string old = GenerateFile(rng, FileRecipe{true, true, false, false, rng.Chance(20), false});
  WriteBytes(path, old);
  NoteFile("file", old);
  const uint64_t mode = rng.Below(10);
  if (mode < 6) SaveFaults(rng, path, old);
  else if (mode < 8) OpenFaults(rng, path, old);
  else MemoryFaults(rng, path, old);
}

// Three pairs, one closed and a new one opened; the closed pair's handles
// and bogus ones in every export that takes a handle get -1040, and reach
// nothing another pair holds.
void HandleCase(Rng& rng, const std::string& folder) {
  std::string texts[3], after;
  Pair pairs[3];
  for (int i = 0; i < 3; ++i) WriteBytes(In(folder, "h" + Num(i) + ".ini"), texts[i] = CleanFile(rng, false));
  Pair &a = pairs[0], &b = pairs[1], &c = pairs[2];
  Open(a, In(folder, "h0.ini"));
  Open(b, In(folder, "h1.ini"));
  if (rng.Chance(50)) SetString(a.buffer, kDefault, std::string("Edited"), std::string("not saved"));
  Close(a);
  rec.Check(Unlocked(a.path), "close-unlock", "the file of a closed pair is still locked");
  Open(c, In(folder, "h2.ini"));  // may be given the values a had
  if (!a.loaded || !b.loaded || !c.loaded) {
    rec.Fail("open-status", "TvIsi_IniOpen of a small ini text file failed");
    Close(b);
    return Close(c);
  }
  Pair failed;  // its open failed: it holds no file, and -1 names none
  Open(failed, In(folder, "missing.ini"));
  const std::vector<INT_PTR> live = {b.file, b.buffer, c.file, c.buffer, failed.buffer};
  auto bogus = [&]() -> INT_PTR {
    static const INT_PTR kValues[] = {0, -1, 1, 4, 8, 0x10, 0x7FFFFFFF, static_cast<INT_PTR>(0x80000000u)};
    for (;;) {
      const INT_PTR v = rng.Chance(60) ? rng.Pick(kValues) : static_cast<INT_PTR>(rng.Next() & 0xFFFFFFFCu);
      if (std::find(live.begin(), live.end(), v) == live.end()) return v;
    }
  };
  for (size_t n = rng.Size(6, 14); n > 0; --n) {
    const bool stale = rng.Chance(55);
    const INT_PTR badFile = stale ? a.file : bogus(), badBuffer = stale ? a.buffer : bogus();
    const char* kind = stale ? "handle-stale" : "handle-bogus";
    int32_t status;
    std::string call, value;
    if (!BadHandleCall(rng.Below(12), badFile, badBuffer, b, c, &status, &call, &value)) continue;
    rec.Check(value.empty() || value[0] == '\0' || value[0] == '\xA5', kind,
              "TvIsi_IniGetString through a bad buffer gave a value: " + Escape(value.substr(0, value.find('\0')), 80));
    rec.Check(status == -1040, kind,
              call + " through " + (stale ? "the closed pair's" : "a bogus") + " handle returned " + Num(status) +
                  ", not -1040 (" + HandleText(badFile) + ", " + HandleText(badBuffer) + ")");
  }
  const int32_t minusOne = Save(-1, b.buffer, "-1 for the file");
  rec.Check(minusOne == -1040, "handle-bogus", "TvIsi_IniSave(-1, a live buffer) returned " + Num(minusOne));
  Close(failed);
  // Nothing reached the live pairs: they still hold their files and their texts.
  rec.Check(!Unlocked(b.path) && !Unlocked(c.path), "handle-cross",
            "a file of a live pair was closed through a stale or bogus handle");
  // A pair closed with 0 or -1 for its file handle: its file is closed all the same.
  if (rng.Chance(30)) {
    Close(rng.Chance(50) ? 0 : -1, c.buffer, "no file handle");
    rec.Check(Unlocked(c.path), "close-unlock", "TvIsi_IniClose with 0 or -1 as file handle left the file locked");
  } else if (Checkpoint(c, &after)) {
    rec.Check(after == texts[2], "handle-cross", "a live pair's text changed: " + ByteDifference(texts[2], after));
  }
  if (Checkpoint(b, &after))
    rec.Check(after == texts[1], "handle-cross", "a live pair's text changed: " + ByteDifference(texts[1], after));
  for (int i : {0, 2}) {
    ReadBytes(pairs[i].path, &after);
    rec.Check(after == texts[i], "handle-cross",
              "the file of a pair closed without a save changed: " + ByteDifference(texts[i], after));
  }
}

}  // namespace campaign
