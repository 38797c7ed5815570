// cases.cpp: what the families of cases share.
#include "campaign.h"

#include <algorithm>

namespace campaign {

std::string In(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

void NoteFile(const std::string& what, const std::string& bytes) {
  rec.Note(what + " (" + std::to_string(bytes.size()) + " bytes): " + Escape(bytes, 400));
}

std::string Num(int64_t v) { return std::to_string(v); }

// The first byte where two files differ, with a little of each around it.
std::string ByteDifference(const std::string& expected, const std::string& actual) {
  size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
  const size_t from = i > 24 ? i - 24 : 0;
  return "first difference at byte " + Num(static_cast<int64_t>(i)) + " of " +
         Num(static_cast<int64_t>(expected.size())) + " expected / " + Num(static_cast<int64_t>(actual.size())) +
         " written\n  expected: " + Escape(expected.substr(from, 72), 200) +
         "\n  written:  " + Escape(actual.substr(from, 72), 200);
}

// The first line where actual differs from every file expected allows.
std::string LineDifference(const Doc& expected, const Doc& actual) {
  const long line = FirstDifference(expected, actual);
  auto show = [&](const Doc& d) {
    if (line < 0 || static_cast<size_t>(line) >= d.lines.size()) return std::string("(no line)");
    std::string text = Escape(d.lines[static_cast<size_t>(line)].text, 200);
    for (const std::string& alt : d.lines[static_cast<size_t>(line)].alts) text += " or " + Escape(alt, 120);
    return text;
  };
  if (line < 0) return "";
  return "\n  expected line " + Num(line + 1) + ": " + show(expected) + "\n  actual line   " + Num(line + 1) + ": " +
         show(actual);
}

// A few lookups on an open pair, with names from the file and hostile ones.
void SomeGets(Rng& rng, const Pair& pair, const Doc* model, int count) {
  for (int i = 0; i < count; ++i) {
    const Text section = SectionName(rng, model, rng.Chance(25));
    const Text key = KeyName(rng, model, rng.Chance(25));
    CheckGet(pair, model, section, key, Capacity(rng), rng.Chance(4));
  }
}

// Open, save without an edit, close: the text comes back with CR LF line
// ends; a file that is not text is refused and left alone.
std::string RoundTrip(Rng& rng, const std::string& path, const std::string& bytes) {
  const FileKind kind = Classify(bytes);
  Pair pair;
  const int32_t status = Open(pair, path);
  std::string after;
  const bool asText = kind == FileKind::Text || (kind == FileKind::Unclear && status == 0);
  if (asText) {
    if (!rec.Check(status == 0, "open-status", "TvIsi_IniOpen of an ini text file returned " + Num(status))) {
      Close(pair);
      return bytes;
    }
    const Doc model = Parse(bytes);
    SomeGets(rng, pair, &model, static_cast<int>(rng.Below(4)));
    if (rng.Chance(15)) rec.Check(Save(pair) == 0, "save-status", "a first TvIsi_IniSave without an edit failed");
    if (!Checkpoint(pair, &after)) return bytes;
    const std::string expected = Render(model);
    if (after != expected)
      rec.Fail("roundtrip", "a save without an edit does not reproduce the file: " + ByteDifference(expected, after) +
                                "\n  file: " + Escape(bytes, 400));
    return after;
  }
  rec.Check(
      status == -1096, "binary-not-refused",
      "TvIsi_IniOpen of a file that is not ini text returned " + Num(status) + ", not -1096: " + Escape(bytes, 300));
  if (status == -1096 || status < 0) {
    SomeGets(rng, pair, nullptr, 1);
    const int32_t saved = Save(pair);
    rec.Check(saved < 0, "failed-open-save", "TvIsi_IniSave of a pair whose open was refused returned " + Num(saved));
  }
  Close(pair);
  rec.Check(Unlocked(path), "close-unlock", "the file is still locked after TvIsi_IniClose: " + path);
  ReadBytes(path, &after);
  rec.Check(after == bytes, "binary-changed",
            "a file that is not ini text was changed: " + ByteDifference(bytes, after));
  return after;
}

// A text file in the form a save leaves it (CR LF line ends).
std::string CleanFile(Rng& rng, bool huge) {
  FileRecipe recipe;
  recipe.allowHuge = huge;
  recipe.allowPadding = false;
  return Render(Parse(GenerateFile(rng, recipe)));
}

FaultPlan RandomPlan(Rng& rng, bool forSave) {
  FaultPlan plan;
  static const Fault kSaveFaults[] = {Fault::WriteFails, Fault::WriteShort,  Fault::DiskFull,    Fault::DiskFull,
                                      Fault::WriteDead,  Fault::SetEndFails, Fault::SetEndFails, Fault::CreateFails,
                                      Fault::MoveFails,  Fault::ReadFails};
  plan.kind = forSave ? rng.Pick(kSaveFaults) : (rng.Chance(50) ? Fault::ReadFails : Fault::CreateFails);
  plan.nth = rng.Int(1, plan.kind == Fault::SetEndFails ? 1 : 3);
  // Writes fail once (or for good: WriteDead, DiskFull); reads, opens and
  // renames may fail once or from the nth call on.
  const bool once = plan.kind == Fault::WriteFails || plan.kind == Fault::WriteShort;
  plan.sticky = plan.kind == Fault::SetEndFails || (!once && rng.Chance(50));
  return plan;
}

std::string PlanText(const FaultPlan& plan) {
  const bool onwards = plan.sticky || plan.kind == Fault::DiskFull || plan.kind == Fault::WriteDead;
  return std::string(FaultName(plan.kind)) + " from call " + Num(plan.nth) + (onwards ? " on" : " only");
}

// The file a save may leave: the old one when it failed, the new text when
// it succeeded, and with a refused set-end the new text padded with blanks.
// When every write fails from some point on, nothing can be put back: the
// save must only say that it failed.
void CheckSaveResult(const std::string& what, const FaultPlan& plan, int32_t status, int injected, int setEnds,
                     const std::string& old, const std::string& fresh, const std::string& after) {
  const std::string padded = old.size() > fresh.size() ? fresh + std::string(old.size() - fresh.size(), ' ') : fresh;
  std::string message = what + " = " + Num(status) + " with " + Num(injected) + " injected failure(s)";
  if (plan.kind == Fault::WriteDead && injected > 0) {
    rec.Check(status < 0 || after == fresh, "save-status", message + " reported success");
    return;
  }
  const bool ok = status == 0 ? (after == fresh || (setEnds > 0 && after == padded))
                              : (after == old || (setEnds > 0 && after == padded));
  if (status == 0 && injected > 0 && after == old && old != fresh)
    rec.Fail("fault-ignored", message + " reported success, but the file was not written");
  else if (!ok)
    rec.Fail("save-fault", message + " left a file that is neither the old one nor the new text: " +
                               ByteDifference(status == 0 ? fresh : old, after));
  else ++rec.counters.checks;
  if (injected == 0 && status != 0) rec.Fail("save-status", message + ": the save failed without an injected fault");
}

}  // namespace campaign
