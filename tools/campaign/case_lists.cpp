// case_lists.cpp: the family that drives the exports recording and finding
// installed countries and data sets, on generated folders with text,
// binary, missing and locked configuration files and injected faults.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "cases.h"
#include "edits.h"
#include "families.h"
#include "generator.h"
#include "lists.h"
#include "tv_ini.h"
#include "tv_memory.h"

namespace campaign {

namespace {

std::string DataArgument(Rng& rng, const Doc* doc) {
  switch (rng.Below(16)) {
    case 0: return "";
    case 1: return " ";
    case 2: return "  \t";
    case 3: return "GBR,C:\\New\nUSA,C:\\Injected";
    case 4: return "GBR,C:\\New\r[Evil]";
    case 5: return ListEntry(rng, false) + std::string(rng.Size(1000, 1100), 'z');
    case 6: return "GBR";
    case 7: return ",nocode";
    case 9: return "GBR,C:\\Ctl\x01";
    case 10: return "\tUSA,C:\\Tab";
    case 8: {
      std::vector<std::string> existing;
      if (doc)
        for (const std::string& key : kDataKeys)
          if (const auto lines = ReadLines(*doc, "TvDefault", key))
            for (const std::string& l : *lines)
              if (!TrimBlanks(l).empty()) existing.push_back(TrimBlanks(l));
      if (!existing.empty()) return Cut(rng.Pick(existing), 1023);
      return DataEntry(rng, "GBR");
    }
    default: return DataEntry(rng, CountryCode(rng));
  }
}

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
  static const char* const kUsedBy[] = {"UsedByKeelPanel", "UsedByKeelNet", "UsedByKeelHost", "UsedByFlint",
                                        "UsedByHeron",     "UsedByCobalt",  "KeelNet",        "UsedByFlintLib64"};
  static const char* const kSwitches[] = {"Yes", "No", "1", "0", " y", "On", "off", "T", "maybe", ""};
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
    if (rng.Chance(8)) {
      WriteBytes(In(dir, file), "");
      f.productFiles.push_back(file);
    }
  return f;
}

enum class FileState { Missing, Text, Binary, Unclear };

FileState StateOf(const std::string& path, std::string* bytes) {
  if (!ReadBytes(path, bytes)) return FileState::Missing;
  switch (Classify(*bytes)) {
    case FileKind::Text: return FileState::Text;
    case FileKind::Binary: return FileState::Binary;
    default: return FileState::Unclear;
  }
}

// A list export that rewrites the file: its status and the file it leaves.
void CheckListExport(const std::string& call, const FaultPlan& plan, int32_t status, FileState state, bool locked,
                     int injected, int setEnds,
                     const std::string& before, const std::string& after, const std::vector<Doc>& expected,
                     const std::vector<const char*>& kinds, bool missingIsSuccess) {
  if (state == FileState::Missing) {
    rec.Check(after.empty() && (missingIsSuccess ? status == 0 : status < 0), "export-status",
              call + " on a missing file returned " + Num(status) + (after.empty() ? "" : " and created it"));
    return;
  }
  if (locked) {
    rec.Check(status < 0, "list-locked", call + " on a file held open by another program returned " + Num(status));
    rec.Check(after == before, "list-locked", call + " changed a locked file");
    return;
  }
  if (state == FileState::Binary || (state == FileState::Unclear && status == -1096)) {
    rec.Check(status == -1096, "binary-not-refused",
              call + " on a file that is not ini text returned " + Num(status) + ", not -1096");
    rec.Check(after == before, "binary-changed", call + " changed a file that is not ini text: " + ByteDifference(before, after));
    return;
  }
  if (injected > 0) {
    if (status < 0) {
      CheckSaveResult(call, plan, status, injected, setEnds, before, Render(expected.front()), after);
      return;
    }
  } else if (!rec.Check(status == 0, "export-status", call + " returned " + Num(status))) {
    rec.Check(after == before, "save-fault", call + " failed and changed the file: " + ByteDifference(before, after));
    return;
  }
  if (Classify(after) == FileKind::Binary) {
    rec.Fail("control-char-stored", call + " left a file that is not ini text: " + Escape(after, 300));
    return;
  }
  if (setEnds > 0 && after.size() == before.size())
    for (const Doc& e : expected) {
      // A refused cut: the new text, then blanks up to the old length.
      const std::string text = Render(e);
      if (text.size() <= after.size() && after.compare(0, text.size(), text) == 0 &&
          after.find_first_not_of(' ', text.size()) == std::string::npos) {
        ++rec.counters.checks;
        return;
      }
    }
  const Doc actual = Parse(after);
  rec.Check(Render(actual) == after, "line-ends", call + " wrote line ends other than CR LF");
  for (const Doc& e : expected)
    if (FirstDifference(e, actual) < 0) {
      const size_t which = static_cast<size_t>(&e - &expected.front());
      if (which > 0)
        rec.Fail(kinds[which], call + " removed entries whose code only begins like the new one's (first three "
                                      "characters), where the code is the whole text before the first comma\n  file before: " +
                                      Escape(before, 400));
      else ++rec.counters.checks;
      return;
    }
  if (injected > 0 && after == before) {
    rec.Fail("fault-ignored", call + " returned 0 under an injected fault, but the file was not written");
    return;
  }
  const bool swallowed = injected > 0;  // a failure taken for an answer, and success reported
  const long line = FirstDifference(expected.front(), actual);
  std::string detail = call + " = " + Num(status) + "\n  file before: " + Escape(before, 400);
  const std::string loss = ListLoss(expected.front(), actual);
  if (!loss.empty()) detail = loss + "\n  " + detail;
  if (line >= 0 && static_cast<size_t>(line) < std::max(expected.front().lines.size(), actual.lines.size()))
    detail += "\n  expected line " + Num(line + 1) + ": " +
              (static_cast<size_t>(line) < expected.front().lines.size() ? Escape(expected.front().lines[line].text, 160) : "(none)") +
              "\n  actual line   " + Num(line + 1) + ": " +
              (static_cast<size_t>(line) < actual.lines.size() ? Escape(actual.lines[line].text, 160) : "(none)");
  if (swallowed) detail = "under an injected fault the export reported success and wrote another file than the one asked\n  " + detail;
  rec.Fail(swallowed ? "fault-ignored" : loss.empty() ? kinds.front() : "list-entry", detail);
}

// One call of an export that rewrites its file, and the checks of what it
// answered and left behind. release ends the fault and the lock of the
// call and gives the number of injected failures.
struct Rewrite {
  int which;  // 0 TvIsi_UpdateTvwserveV5, 1 TvIsi_UpdateDataKeys, 2 TvIsi_InstalledCountriesToData
  std::string data;
  int32_t arg;  // the identifier, or the format
  int32_t aid, nid;
};

std::string Describe(const Rewrite& c) {
  switch (c.which) {
    case 0: return "TvIsi_UpdateTvwserveV5(path, " + Escape(c.data, 100) + ", " + Num(c.arg) + ", " + Num(c.aid) + ", " + Num(c.nid) + ")";
    case 1: return "TvIsi_UpdateDataKeys(path, " + Escape(c.data, 100) + ", " + Num(c.arg) + ")";
    default: return "TvIsi_InstalledCountriesToData(path)";
  }
}

void RewriteExport(const std::string& target, FileState state, const std::string& before, const Rewrite& c,
                   const FaultPlan& plan, bool locked, const std::function<int()>& release) {
  const Doc model = state == FileState::Text || state == FileState::Unclear ? Parse(before) : Doc{};
  std::string data = c.data;
  int32_t status = 0;
  std::vector<Doc> expected;
  std::vector<const char*> kinds = {"list-result"};
  ArmFault(plan);
  if (c.which == 0) {
    status = UpdateTvwserveV5(target, data, c.arg, c.aid, c.nid);
    data = Cut(data, 1023);
    const bool installed = static_cast<int16_t>(c.arg) != 0;
    // A code is the text before the first comma, cut to three characters.
    expected = {ExpectUpdateTvwserveV5(model, data, installed, true)};
  } else if (c.which == 1) {
    status = UpdateDataKeys(target, data, c.arg);
    data = Cut(data, 1023);
    expected = {ExpectUpdateDataKeys(model, data, static_cast<int16_t>(c.arg) == 8)};
  } else {
    status = InstalledCountriesToData(target);
    expected = {ExpectCountriesToData(model)};
  }
  const int injected = release();
  const int setEnds = SetEndFailures();
  const std::string call = Describe(c);
  std::string after;
  const bool existsAfter = ReadBytes(target, &after);
  const bool unchanged = state == FileState::Missing ? !existsAfter : after == before;
  const bool refuse = data.find_first_of("\r\n") != std::string::npos || HoldsForbiddenControl(data);
  const bool unreadable = locked || state == FileState::Missing || state == FileState::Binary;
  const bool blank = !data.empty() && TrimBlanks(data).empty();
  if (c.which == 0 && (data.empty() || blank)) {
    // Nothing to record: the file is left as it is.
    rec.Check(unchanged && (status == 0 || status == -1096 || (status < 0 && unreadable)), blank ? "list-blank" : "list-result",
              call + " with " + (blank ? "a blank" : "an empty") + " entry returned " + Num(status) +
                  (unchanged ? "" : "; file after: " + Escape(after, 300)));
    return;
  }
  if (refuse) {
    rec.Check(unchanged && (status == -1096 || (status < 0 && unreadable) || (c.which == 0 && state == FileState::Missing && status == 0)),
              "value-injection", call + " with a line break or control character in the entry returned " + Num(status) +
                                     (unchanged ? "" : "; file after: " + Escape(after, 300)));
    return;
  }
  if (state == FileState::Missing) {
    rec.Check(!existsAfter && (c.which == 0 ? status == 0 : status < 0), "export-status",
              call + " on a missing file returned " + Num(status) + (existsAfter ? " and created it" : ""));
    return;
  }
  CheckListExport(call, plan, status, state, locked, injected, setEnds, before, after, expected, kinds, c.which == 0);
}

// A path longer than a path can be is refused, never cut to another name.
void LongPathCall(Rng& rng, const Folder& folder) {
  const std::string path = In(folder.dir, std::string(rng.Size(256, 300), 'L') + ".ini");
  int32_t status = 0, mask = 7;
  std::string call;
  switch (rng.Below(6)) {
    case 0: status = UpdateTvwserveV5(path, std::string("GBR,C:\\Data"), 1, 0, 0); call = "TvIsi_UpdateTvwserveV5"; break;
    case 1: status = UpdateDataKeys(path, std::string("GBR,C:\\Data"), 8); call = "TvIsi_UpdateDataKeys"; break;
    case 2: status = InstalledCountriesToData(path); call = "TvIsi_InstalledCountriesToData"; break;
    case 3: status = ProdFromIni(path, &mask); call = "TvIsi_ProdFromIni"; break;
    case 4: status = IsIsoPresent(std::string("GBR"), path); call = "TvIsi_IsISOPresent"; break;
    default: {
      char code[4], dataDir[256], baseDir[256];
      int32_t flags = 0;
      status = CheckIniForData(path, std::string("GBR"), 0, code, dataDir, baseDir, &flags);
      rec.Check(status == -1011, "export-status",
                "TvIsi_CheckIniForData with a folder of " + Num(static_cast<int64_t>(path.size())) + " characters returned " + Num(status));
      return;
    }
  }
  rec.Check(status == -1028, "export-status",
            call + " with a path of " + Num(static_cast<int64_t>(path.size())) + " characters returned " + Num(status) + ", not -1028");
}

// NULL where a script could pass it: taken as an empty text.
void NullArgumentCall(Rng& rng, const Folder& folder) {
  int32_t mask = 7;
  switch (rng.Below(7)) {
    case 0: UpdateTvwserveV5(std::nullopt, std::string("GBR,C:\\Data"), 1, 0, 0); break;
    case 1: UpdateTvwserveV5(folder.server, std::nullopt, 1, 0, 0); break;
    case 2: UpdateDataKeys(std::nullopt, std::nullopt, 8); break;
    case 3: InstalledCountriesToData(std::nullopt); break;
    case 4: ProdFromIni(std::nullopt, &mask); break;
    case 5: {
      const int32_t status = IsIsoPresent(std::nullopt, folder.dir);
      std::string bytes;
      if (StateOf(folder.server, &bytes) == FileState::Text)
        rec.Check(status == 1, "export-result", "TvIsi_IsISOPresent(NULL) returned " + Num(status) + ", not 1 (not recorded)");
      break;
    }
    default: {
      char code[4], dataDir[256], baseDir[256];
      int32_t flags = 0;
      CheckIniForData(std::nullopt, std::nullopt, 0, code, dataDir, baseDir, &flags);
    }
  }
}

void ExportCall(Rng& rng, const Folder& folder) {
  if (rng.Chance(4)) return LongPathCall(rng, folder);
  if (rng.Chance(3)) return NullArgumentCall(rng, folder);
  std::string target = rng.Chance(55) ? folder.server : folder.product;
  if (rng.Chance(5)) target = In(folder.dir, "absent.ini");
  std::string before;
  const FileState state = StateOf(target, &before);
  const Doc model = state == FileState::Text || state == FileState::Unclear ? Parse(before) : Doc{};
  std::unique_ptr<Lock> lock;
  Pair holder;
  bool locked = false;
  if (state != FileState::Missing && rng.Chance(10)) {
    if (rng.Chance(50) && state == FileState::Text) {
      locked = Open(holder, target) == 0;  // held by an ini handle of the script itself
      if (!locked) Close(holder);
    } else {
      lock = std::make_unique<Lock>(target);
      locked = lock->held();
    }
    if (locked) rec.Note("the file is held open while the export runs");
  }
  FaultPlan plan;
  if (!locked && state == FileState::Text && rng.Chance(15)) {
    plan = RandomPlan(rng, true);
    rec.Note("fault: " + PlanText(plan));
  }
  // Or the kernel may take only a little more memory than it holds: the
  // export may fail with -1001, which counts as an injected fault.
  const uint64_t limit = tvMemStats.limit;
  bool squeezed = false;
  auto finish = [&]() {
    const int injected = DisarmFault() + (squeezed ? 1 : 0);
    tvMemStats.limit = limit;
    if (holder.open) Close(holder);
    lock.reset();
    return injected;
  };

  const uint64_t which = rng.Below(6);
  if (which <= 2) {
    static const int32_t kFormats[] = {8, 4, 0, 12, 0x10008, -8};
    const Rewrite call{static_cast<int>(which), which == 2 ? std::string() : DataArgument(rng, &model),
                       which == 0 ? (rng.Chance(50) ? 1 : (rng.Chance(50) ? 0 : 0x10000)) : rng.Pick(kFormats),
                       rng.Int(-1, 5), rng.Int(-1, 5)};
    const size_t mark = rec.CaseFindings().size();
    if (!locked && plan.kind == Fault::None && state == FileState::Text && tvMemStats.enabled && rng.Chance(8)) {
      squeezed = true;
      rec.Note("memory: the kernel may take only a little more than it holds");
      tvMemStats.limit = tvMemStats.totalBytes + rng.Below(rng.Chance(50) ? 1024 : 65536);
    }
    RewriteExport(target, state, before, call, plan, locked, finish);
    if (!locked && !squeezed && plan.kind == Fault::None && state == FileState::Text)
      for (size_t i = mark; i < rec.CaseFindings().size(); ++i)
        Reproduce(rec.CaseFindings()[i], before, In(folder.dir, "shrink.ini"),
                  [&](const std::string& p, const std::string& b) {
                    std::string read;
                    RewriteExport(p, StateOf(p, &read), b, call, FaultPlan{}, false, DisarmFault);
                  },
                  Describe(call));
    return;
  }

  // The exports that only read.
  if (which == 3) {
    const bool twoLetters = rng.Chance(30);
    const Text iso = rng.Chance(5) ? Text() : Text(rng.Chance(80) ? CountryCode(rng) : std::string(rng.Chance(50) ? "" : "GBRXX"));
    const Text dir = rng.Chance(85) ? Text(folder.dir) : Text(In(folder.dir, "nowhere"));
    char code[4 + 16], dataDir[256 + 16], baseDir[256 + 16];
    int32_t flags[2] = {0x5A5A5A5A, 0x5A5A5A5A};
    memset(code, 0xA5, sizeof code);
    memset(dataDir, 0xA5, sizeof dataDir);
    memset(baseDir, 0xA5, sizeof baseDir);
    std::string serverBefore;
    const FileState serverState = dir == folder.dir ? StateOf(folder.server, &serverBefore) : FileState::Missing;
    const bool serverLocked = locked && target == folder.server;
    const int32_t status = CheckIniForData(dir, iso, twoLetters, code, dataDir, baseDir, flags);
    finish();
    const std::string call = "TvIsi_CheckIniForData(" + (iso ? Escape(*iso, 20) : "NULL") + ")";
    auto untouched = [](const char* p, size_t from, size_t to) {
      for (size_t i = from; i < to; ++i)
        if (p[i] != '\xA5') return false;
      return true;
    };
    rec.Check(untouched(code, 4, sizeof code) && untouched(dataDir, 256, sizeof dataDir) &&
                  untouched(baseDir, 256, sizeof baseDir) && flags[1] == 0x5A5A5A5A,
              "buffer-overrun", call + " wrote beyond a result buffer");
    if (serverState == FileState::Missing || serverLocked) {
      rec.Check(status == -1011, "export-status",
                call + " without a readable tvwserve.ini returned " + Num(status) + ", not -1011");
    } else if (serverState == FileState::Binary) {
      rec.Check(status == -1096, "binary-not-refused", call + " on a tvwserve.ini that is not ini text returned " + Num(status));
    } else if (serverState == FileState::Text) {
      rec.Check(status == 0, "export-status", call + " returned " + Num(status));
    }
    if (status != 0) {
      rec.Check(untouched(code, 0, 4) && untouched(dataDir, 0, 256) && untouched(baseDir, 0, 256) && flags[0] == 0x5A5A5A5A,
                "export-result", call + " = " + Num(status) + " wrote its results");
    } else {
      rec.Check(memchr(code, 0, 4) && memchr(dataDir, 0, 256) && memchr(baseDir, 0, 256) && flags[0] >= 0 && flags[0] <= 7,
                "export-result", call + " gave results without their terminating NUL or with flags " + Num(flags[0]));
      if (code[0] && memchr(code, 0, 4) && serverState == FileState::Text) {
        const std::vector<std::string> codes = ListedCodes(Parse(serverBefore));
        rec.Check(std::find(codes.begin(), codes.end(), std::string(code)) != codes.end(), "export-result",
                  call + " reported the code " + Escape(code, 8) + ", which no list holds");
      }
    }
    if (serverState != FileState::Missing) {
      std::string after;
      ReadBytes(folder.server, &after);
      rec.Check(after == serverBefore, "export-scope", call + " changed tvwserve.ini");
    }
    return;
  }
  if (which == 4) {
    const Text code = rng.Chance(5) ? Text() : Text(rng.Chance(70) ? CountryCode(rng) : (rng.Chance(50) ? std::string("") : std::string("G")));
    std::string serverBefore;
    const FileState serverState = StateOf(folder.server, &serverBefore);
    const bool serverLocked = locked && target == folder.server;
    const bool configInUse = tvConfig.useCount != 0;
    const int32_t status = IsIsoPresent(code, folder.dir);
    finish();
    const std::string call = "TvIsi_IsISOPresent(" + (code ? Escape(*code, 20) : "NULL") + ")";
    if (serverState == FileState::Missing || serverLocked) {
      rec.Check(status < -1, "export-status", call + " without a readable tvwserve.ini returned " + Num(status));
    } else if (serverState == FileState::Binary) {
      rec.Check(status == -1096, "binary-not-refused", call + " on a tvwserve.ini that is not ini text returned " + Num(status));
    } else if (serverState == FileState::Text && !configInUse) {
      const bool recorded = IsoRecorded(Parse(serverBefore), Cut(code.value_or(""), 255));
      rec.Check(recorded ? status == 0 : (status == 1 || status == -1), "export-result",
                call + " = " + Num(status) + ", but the code is " + (recorded ? "" : "not ") + "recorded\n  file: " +
                    Escape(serverBefore, 400));
    }
    std::string after;
    if (serverState != FileState::Missing && ReadBytes(folder.server, &after))
      rec.Check(after == serverBefore, "export-scope", call + " changed tvwserve.ini");
    return;
  }
  // TvIsi_ProdFromIni
  int32_t mask = 0x5A5A5A5A;
  const bool nullMask = rng.Chance(5);
  const int32_t status = ProdFromIni(target, nullMask ? nullptr : &mask);
  finish();
  const std::string call = "TvIsi_ProdFromIni(" + Escape(target.substr(target.rfind('\\') + 1), 40) + ")";
  if (state == FileState::Missing || locked) {
    rec.Check(status < 0 && (nullMask || mask == 0), "export-status",
              call + " on a file that cannot be read returned " + Num(status) + ", mask " + HandleText(mask));
  } else if (state == FileState::Binary) {
    rec.Check(status == -1096 && (nullMask || mask == 0), "binary-not-refused",
              call + " on a file that is not ini text returned " + Num(status) + ", mask " + HandleText(mask));
  } else if (state == FileState::Text) {
    const int32_t expected = ExpectProducts(model, folder.productFiles);
    rec.Check(status == 0 && (nullMask || mask == expected), "export-result",
              call + " = " + Num(status) + ", mask " + HandleText(mask) + ", expected " + HandleText(expected) +
                  "\n  file: " + Escape(before, 400));
  }
  std::string after;
  if (state != FileState::Missing && ReadBytes(target, &after))
    rec.Check(after == before, "export-scope", call + " changed the file it read");
}

}  // namespace

void ExportCase(Rng& rng, const std::string& dir) {
  const Folder folder = MakeFolder(rng, dir);
  for (size_t n = rng.Size(2, 5); n > 0; --n) ExportCall(rng, folder);
}

}  // namespace campaign
