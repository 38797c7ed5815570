// case_files.cpp: the families that drive the ini handle exports.
//
//   roundtrip  generated and mutated files opened, saved without an edit and
//              closed: the text comes back, a binary file is refused
//   edit       edits with well-formed and hostile arguments, each checked
//              against the model of the file
//   faults     saves and opens with writes, set-ends, reads, opens failing
//   handles    stale, bogus and reused handle values
#include <windows.h>

#include <algorithm>

#include "campaign.h"
#include "tv_memory.h"

namespace campaign {

namespace {

void HostileOpens(Rng& rng, const std::string& folder, const std::string& path, const std::string& bytes) {
  switch (rng.Below(7)) {
    case 0: {
      const int32_t status = OpenWithoutPlaces(path);
      rec.Check(status == -1042, "open-status", "TvIsi_IniOpen without places for the handles returned " + Num(status));
      rec.Check(Unlocked(path), "close-unlock", "TvIsi_IniOpen without places for the handles left the file locked");
      break;
    }
    case 1:
    case 2: {
      static const char* const kNames[] = {"missing.ini", "", "sub", "*.ini", "sub\\", "..\\..\\..\\..\\missing.ini"};
      Text name = In(folder, rng.Pick(kNames));
      if (rng.Chance(10)) {
        // The null device opens like a file; any status will do, as long as one comes back.
        Pair device;
        Open(device, std::string(rng.Chance(50) ? "NUL" : "NUL:"));
        Save(device);
        Close(device);
        break;
      }
      if (rng.Chance(20)) name = std::nullopt;
      else if (rng.Chance(20)) name = In(folder, std::string(400, 'p') + ".ini");
      else if (rng.Chance(20)) name = std::string();
      if (name && rng.Chance(30)) MakeDir(In(folder, "sub"));
      Pair pair;
      const int32_t status = Open(pair, name);
      rec.Check(status < 0, "open-status", "TvIsi_IniOpen of " + (name ? Escape(*name, 80) : "NULL") + " returned " + Num(status));
      if (status < 0) {
        CheckGet(pair, nullptr, std::string("TvDefault"), std::string("InstalledData"), 256, false);
        const int32_t set = SetString(pair.buffer, std::string("TvDefault"), std::string("K"), std::string("v"));
        rec.Check(set < 0, "failed-open-save", "TvIsi_IniSetString on a pair whose open failed returned " + Num(set));
        const int32_t saved = Save(pair);
        rec.Check(saved < 0, "failed-open-save", "TvIsi_IniSave of a pair whose open failed returned " + Num(saved));
      }
      Close(pair);
      if (name && name->find("missing.ini") != std::string::npos)
        rec.Check(!Exists(*name), "open-status", "TvIsi_IniOpen of a missing file created it");
      break;
    }
    case 3: {
      if (!setup.readOnlyEnforced) break;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
      Pair pair;
      const int32_t status = Open(pair, path);
      rec.Check(status < 0, "open-status", "TvIsi_IniOpen of a read-only file returned " + Num(status));
      if (status == 0) Save(pair);
      Close(pair);
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      std::string after;
      ReadBytes(path, &after);
      rec.Check(after == bytes, "lock-ignored", "a read-only file was changed: " + ByteDifference(bytes, after));
      break;
    }
    case 4: {
      if (Classify(bytes) != FileKind::Text) break;
      Pair first, second;
      Open(first, path);
      const int32_t status = Open(second, path);
      rec.Check(status < 0, "lock-ignored", "a second TvIsi_IniOpen of a file held open returned " + Num(status));
      if (status == 0) {
        const int32_t saved = Save(second);
        rec.Check(saved < 0, "lock-ignored", "TvIsi_IniSave through a second open of a held file returned " + Num(saved));
      }
      Close(second);
      rec.Check(!Unlocked(path), "handle-cross", "closing a failed second open unlocked the file of the first pair");
      Close(first);
      rec.Check(Unlocked(path), "close-unlock", "the file is still locked after both pairs were closed");
      break;
    }
    default: {
      Lock lock(path);
      Pair pair;
      const int32_t status = Open(pair, path);
      rec.Check(status < 0, "lock-ignored", "TvIsi_IniOpen of a file locked by another program returned " + Num(status));
      Close(pair);
      break;
    }
  }
}

bool PlainEdit(Rng& rng, Pair& pair, Doc& model) {
  Op op;
  op.kind = rng.Chance(70) ? OpKind::Set : OpKind::Delete;
  op.section = SectionName(rng, &model, false);
  op.key = KeyName(rng, &model, false);
  op.value = rng.Chance(30) ? std::string(rng.Size(200, 3000), 'g') : Value(rng, false).value_or("");
  if (ClassifySection(op.section) != NameClass::Valid || ClassifyKey(op.key) != NameClass::Valid) return false;
  const int32_t status = op.kind == OpKind::Set ? SetString(pair.buffer, op.section, op.key, op.value)
                                                : DeleteString(pair.buffer, op.section, op.key);
  if (!rec.Check(status == 0, "edit-status", Describe(op) + " returned " + Num(status))) return false;
  model = Outcomes(model, op, nullptr).front().doc;
  return true;
}

// With the kernel's memory limit just above what it holds, an open, an
// edit or a save may fail with -1001 ("Out of memory"); a call that failed
// must have changed nothing, and the pair must go on working.
void MemoryFaults(Rng& rng, const std::string& path, const std::string& old) {
  if (!tvMemStats.enabled) return;  // the limit counts only with statistics on
  const uint64_t saved = tvMemStats.limit;
  auto squeeze = [&]() { tvMemStats.limit = tvMemStats.totalBytes + rng.Below(rng.Chance(50) ? 512 : 65536); };
  auto release = [&]() { tvMemStats.limit = saved; };
  rec.Note("memory: the kernel may take only a little more than it holds");
  Pair pair;
  squeeze();
  const int32_t opened = Open(pair, path);
  release();
  rec.Check(opened == 0 || opened == -1001, "memory-status", "TvIsi_IniOpen with little memory returned " + Num(opened));
  if (opened != 0) {
    Close(pair);
    std::string after;
    ReadBytes(path, &after);
    rec.Check(after == old, "memory-change", "a failed TvIsi_IniOpen changed the file: " + ByteDifference(old, after));
    return;
  }
  Doc model = Parse(old);
  for (size_t n = rng.Size(1, 4); n > 0; --n) {
    Op op;
    op.kind = rng.Chance(75) ? OpKind::Set : OpKind::Delete;
    op.section = SectionName(rng, &model, false);
    op.key = KeyName(rng, &model, false);
    op.value = rng.Chance(40) ? std::string(rng.Size(100, 20000), 'm') : std::string("one line");
    if (ClassifySection(op.section) != NameClass::Valid || ClassifyKey(op.key) != NameClass::Valid) continue;
    squeeze();
    const int32_t status = op.kind == OpKind::Set ? SetString(pair.buffer, op.section, op.key, op.value)
                                                  : DeleteString(pair.buffer, op.section, op.key);
    release();
    if (!rec.Check(status == 0 || status == -1001, "memory-status", Describe(op) + " with little memory returned " + Num(status)))
      break;
    if (status == 0) model = Outcomes(model, op, nullptr).front().doc;
  }
  const std::string fresh = Render(model);
  squeeze();
  const int32_t status = Save(pair);
  release();
  rec.Check(status == 0 || status == -1001, "memory-status", "TvIsi_IniSave with little memory returned " + Num(status));
  std::string after;
  if (status != 0) {
    const int32_t again = Save(pair);
    rec.Check(again == 0, "save-status", "TvIsi_IniSave with memory enough again returned " + Num(again));
  }
  Close(pair);
  ReadBytes(path, &after);
  // What failed for memory changed nothing: the text holds exactly the edits that succeeded.
  rec.Check(after == fresh, "memory-change",
            "after edits and a save with little memory the file is not the text of the edits that succeeded: " +
                ByteDifference(fresh, after));
}

}  // namespace

void RoundTripCase(Rng& rng, const std::string& folder) {
  FileRecipe recipe;
  recipe.allowBinary = rng.Chance(35);
  const std::string bytes = GenerateFile(rng, recipe);
  const std::string path = In(folder, rng.Chance(50) ? "tvwserve.ini" : "Some File.ini");
  WriteBytes(path, bytes);
  NoteFile("file", bytes);
  const std::string after = RoundTrip(rng, folder, path, bytes);
  if (rng.Chance(40)) HostileOpens(rng, folder, path, after);
}

void EditCase(Rng& rng, const std::string& folder) {
  FileRecipe recipe;
  recipe.allowHuge = rng.Chance(30);
  const std::string original = GenerateFile(rng, recipe);
  const std::string path = In(folder, "edit.ini");
  WriteBytes(path, original);
  NoteFile("file", original);
  std::string current = RoundTrip(rng, folder, path, original);
  if (Classify(current) == FileKind::Binary) return;
  if (current != Render(Parse(original))) {
    // The edits start from the text as it should have been saved.
    current = Render(Parse(original));
    WriteBytes(path, current);
  }
  const std::string sourcePath = In(folder, "source.ini");
  const std::string source = CleanFile(rng, false);
  WriteBytes(sourcePath, source);

  const bool hostile = rng.Chance(50);
  for (size_t step = rng.Size(1, 6); step > 0; --step) {
    const Op op = RandomOp(rng, Parse(current), hostile, true);
    const size_t mark = rec.CaseFindings().size();
    const EditResult result = EditStep(path, current, op, &sourcePath, &source);
    if (!result.ran) return;
    if (op.kind != OpKind::CopyFrom)
      for (size_t i = mark; i < rec.CaseFindings().size(); ++i) {
        const std::string kind = rec.CaseFindings()[i];
        if (kind == "handle-reused") continue;
        Reproduce(kind, current, In(folder, "shrink.ini"),
                  [&](const std::string& p, const std::string& b) { EditStep(p, b, op, nullptr, nullptr); }, Describe(op));
      }
    current = result.after;
    if (Classify(current) == FileKind::Binary) return;
    if (rng.Chance(40)) {
      // The setting reads back through the export as the file holds it.
      const Doc model = Parse(current);
      Pair pair;
      if (Open(pair, path) == 0) {
        CheckedGet(pair, &model, op.section, op.key, rng.Chance(70) ? 65535 : Capacity(rng), false, &current);
        SomeGets(rng, pair, &model, 1, &current);
      }
      Close(pair);
    }
  }
}

void FaultCase(Rng& rng, const std::string& folder) {
  const std::string path = In(folder, "fault.ini");
  const std::string old = GenerateFile(rng, FileRecipe{true, true, false, false, rng.Chance(20), false});
  WriteBytes(path, old);
  NoteFile("file", old);
  Doc model = Parse(old);
  const uint64_t mode = rng.Below(10);
  if (mode < 6) {
    Pair pair;
    if (!rec.Check(Open(pair, path) == 0, "open-status", "TvIsi_IniOpen of an ini text file failed")) {
      Close(pair);
      return;
    }
    for (size_t n = rng.Size(0, 2); n > 0; --n) PlainEdit(rng, pair, model);
    const FaultPlan plan = RandomPlan(rng, true);
    rec.Note("fault: " + PlanText(plan));
    ArmFault(plan);
    const int32_t status = Save(pair);
    const int injected = DisarmFault();
    const int setEnds = SetEndFailures();
    const std::string fresh = Render(model);
    std::string after;
    if (rng.Chance(50)) {
      Close(pair);
      ReadBytes(path, &after);
      CheckSaveResult("TvIsi_IniSave with " + PlanText(plan), plan, status, injected, setEnds, old, fresh, after);
    } else {
      // A save without the fault puts the whole new text in place.
      if (plan.kind == Fault::WriteDead && injected > 0)
        rec.Check(status < 0, "save-status", "TvIsi_IniSave returned 0 although every write failed");
      const int32_t again = Save(pair);
      Close(pair);
      ReadBytes(path, &after);
      rec.Check(again == 0 && after == fresh, "save-after-fault",
                "TvIsi_IniSave = " + Num(again) + " after a save with " + PlanText(plan) + " (= " + Num(status) +
                    ") did not leave the new text: " + ByteDifference(fresh, after));
    }
    return;
  }
  if (mode >= 8) return MemoryFaults(rng, path, old);
  // Faults while the file is opened and read.
  const FaultPlan plan = RandomPlan(rng, false);
  rec.Note("fault: " + PlanText(plan));
  ArmFault(plan);
  Pair pair;
  const int32_t status = Open(pair, path);
  const int injected = DisarmFault();
  if (injected > 0) {
    rec.Check(status < 0, "fault-ignored", "TvIsi_IniOpen returned 0 although a " + std::string(FaultName(plan.kind)) +
                                               " was injected");
    if (status < 0) {
      CheckGet(pair, nullptr, std::string("TvDefault"), std::string("InstalledData"), 256, false);
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

void HandleCase(Rng& rng, const std::string& folder) {
  std::string texts[3];
  Pair pairs[3];
  for (int i = 0; i < 3; ++i) {
    texts[i] = CleanFile(rng, false);
    WriteBytes(In(folder, "h" + Num(i) + ".ini"), texts[i]);
  }
  Pair& a = pairs[0];
  Pair& b = pairs[1];
  Pair& c = pairs[2];
  Open(a, In(folder, "h0.ini"));
  Open(b, In(folder, "h1.ini"));
  if (rng.Chance(50)) SetString(a.buffer, std::string("TvDefault"), std::string("Edited"), std::string("not saved"));
  Close(a);
  rec.Check(Unlocked(a.path), "close-unlock", "the file of a closed pair is still locked");
  Open(c, In(folder, "h2.ini"));  // may be given the values a had
  if (!a.loaded || !b.loaded || !c.loaded) {
    rec.Fail("open-status", "TvIsi_IniOpen of a small ini text file failed");
    Close(b);
    Close(c);
    return;
  }
  std::vector<INT_PTR> live = {b.file, b.buffer, c.file, c.buffer};
  auto bogus = [&]() -> INT_PTR {
    static const INT_PTR kValues[] = {0, -1, 1, 4, 8, 0x10, 0x7FFFFFFF, static_cast<INT_PTR>(0x80000000u)};
    for (;;) {
      INT_PTR v = rng.Chance(60) ? rng.Pick(kValues) : static_cast<INT_PTR>(rng.Next() & 0xFFFFFFFCu);
      if (std::find(live.begin(), live.end(), v) == live.end()) return v;
    }
  };
  const Text section = std::string("TvDefault"), key = std::string("InstalledData");
  const Text value = std::string("GBR,C:\\Stale");
  for (size_t n = rng.Size(6, 14); n > 0; --n) {
    const bool stale = rng.Chance(55);
    const INT_PTR badFile = stale ? a.file : bogus();
    const INT_PTR badBuffer = stale ? a.buffer : bogus();
    const char* kind = stale ? "handle-stale" : "handle-bogus";
    const std::string which = stale ? "the closed pair's " : "a bogus ";
    int32_t status = -1040;
    std::string call;
    switch (rng.Below(12)) {
      case 0: status = Save(badFile, badBuffer, "bad pair"); call = "TvIsi_IniSave(" + which + "file, buffer)"; break;
      case 1: status = Save(badFile, b.buffer, "bad file, live buffer"); call = "TvIsi_IniSave(" + which + "file, a live buffer)"; break;
      case 2: status = Save(b.file, badBuffer, "live file, bad buffer"); call = "TvIsi_IniSave(a live file, " + which + "buffer)"; break;
      case 3: {
        std::string out(300, '\xA5');
        status = Get(badBuffer, section, key, out.data(), 256);
        rec.Check(out[0] == '\0' || out[0] == '\xA5', kind, "TvIsi_IniGetString through " + which + "buffer gave a value: " + Escape(out.substr(0, out.find('\0')), 80));
        call = "TvIsi_IniGetString(" + which + "buffer)";
        break;
      }
      case 4: status = SetString(badBuffer, section, key, value); call = "TvIsi_IniSetString(" + which + "buffer)"; break;
      case 5: status = DeleteString(badBuffer, section, key); call = "TvIsi_IniDeleteString(" + which + "buffer)"; break;
      case 6: status = AddString(badBuffer, section, key, value); call = "TvIsi_IniAddString(" + which + "buffer)"; break;
      case 7: status = RemoveStrings(badBuffer, section, key, value); call = "TvIsi_IniRemoveStrings(" + which + "buffer)"; break;
      case 8: status = CopySetting(badBuffer, c.buffer, section, key); call = "TvIsi_IniCopySetting(" + which + "buffer, a live buffer)"; break;
      case 9: status = CopySetting(b.buffer, badBuffer, section, key); call = "TvIsi_IniCopySetting(a live buffer, " + which + "buffer)"; break;
      case 10: Close(badFile, badBuffer, "bad pair"); call = ""; break;
      default: Close(badFile, 0, "bad file, no buffer"); call = ""; break;
    }
    if (!call.empty())
      rec.Check(status == -1040, kind, call + " returned " + Num(status) + ", not -1040 (" + HandleText(badFile) + ", " +
                                           HandleText(badBuffer) + ")");
  }
  // Nothing reached the live pairs: they still hold their files and their texts.
  rec.Check(!Unlocked(b.path) && !Unlocked(c.path), "handle-cross",
            "a file of a live pair was closed through a stale or bogus handle");
  // A pair closed with 0 or -1 for its file handle: its file is closed all the same.
  const bool noFileHandle = rng.Chance(30);
  for (int i = 1; i < 3; ++i) {
    std::string after;
    if (i == 2 && noFileHandle) {
      Close(rng.Chance(50) ? 0 : -1, c.buffer, "no file handle");
      c.open = false;
      rec.Check(Unlocked(c.path), "close-unlock", "TvIsi_IniClose with 0 or -1 as file handle left the pair's file locked");
      ReadBytes(c.path, &after);
      rec.Check(after == texts[2], "handle-cross", "the file of a pair closed without a save changed: " + ByteDifference(texts[2], after));
      continue;
    }
    if (Checkpoint(pairs[i], &after))
      rec.Check(after == texts[i], "handle-cross",
                "a live pair's text or file was changed through a stale or bogus handle: " + ByteDifference(texts[i], after));
  }
  std::string after;
  ReadBytes(a.path, &after);
  rec.Check(after == texts[0], "handle-cross", "the file of the closed pair changed: " + ByteDifference(texts[0], after));
}

}  // namespace campaign
