// case_kernel.cpp: the families that stop and start the kernel (restart:
// other allocator settings, a pair left open across) and count what it
// holds (cycles: no memory or handle growth), and the table of families.
#include <windows.h>

#include "campaign.h"
#include "tv_memory.h"

namespace campaign {

Setup setup;

namespace {

int kernelRefs = 0;

// Open handles of the process, by asking for each handle value in turn
// (the system's own count is not there under Wine).
uint64_t CountHandles() {
  uint64_t count = 0;
  DWORD flags;
  for (uintptr_t value = 4, last = 0; value < last + 8192 || value < 8192; value += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count, last = value;
  return count;
}

// What the kernel holds (its payload and what it took from the system) and the process's handles.
std::vector<uint64_t> Measure() {
  return {tvMemStats.payloadAllocations, tvMemStats.payloadBytes, tvMemStats.systemAllocations, tvMemStats.totalBytes,
          CountHandles()};
}

void CycleRound(Rng& rng, const std::string& folder, const std::string& text, const std::string& binary) {
  const std::string path = In(folder, "cycle.ini");
  WriteBytes(path, text);
  Pair pair;
  Open(pair, path);
  std::string out(300, 0);
  Get(pair.buffer, std::string("TvDefault"), std::string("InstalledData"), out.data(), 256);
  SetString(pair.buffer, std::string("TvDefault"), std::string("Cycle"), std::string("a\nb"));
  AddString(pair.buffer, std::string("TvDefault"), std::string("InstalledData"), std::string("GBR,C:\\Cycle"));
  RemoveStrings(pair.buffer, std::string("TvDefault"), std::string("InstalledData"), std::string("GBR,C:\\Cycle"));
  CopySetting(pair.buffer, pair.buffer, std::string("Other"), std::string("Cycle"));
  Save(pair);
  Close(pair);
  Save(pair.file, pair.buffer, "closed pair");
  Pair missing;
  Open(missing, In(folder, "missing.ini"));
  Close(missing);
  const std::string binaryPath = In(folder, "binary.ini");
  WriteBytes(binaryPath, binary);
  Pair refused;
  Open(refused, binaryPath);
  Close(refused);
  UpdateTvwserveV5(path, std::string("USA,C:\\Cycle"), 1, 0, 0);
  UpdateDataKeys(path, std::string("FRA,C:\\Cycle"), 8);
  InstalledCountriesToData(path);
  IsIsoPresent(std::string("GBR"), folder);
  int32_t mask = 0;
  ProdFromIni(path, &mask);
  char code[4], dataDir[256], baseDir[256];
  int32_t flags = 0;
  CheckIniForData(folder, std::string("GBR"), static_cast<int32_t>(rng.Below(2)), code, dataDir, baseDir, &flags);
}

}  // namespace

void RestartCase(Rng& rng, const std::string& folder) {
  static const Config kConfigs[] = {Config::Plain, Config::Pooled, Config::Pooled, Config::Logging};
  const Config config = rng.Pick(kConfigs);
  static const char* const kConfigNames[] = {"plain", "pooled", "pooled, log file"};
  rec.Note(std::string("configuration: ") + kConfigNames[static_cast<int>(config)]);
  // Pairs left open across the restart must not bring the process down.
  Pair kept;
  const bool keepPair = rng.Chance(25);
  const std::string keptPath = In(folder, "kept.ini");
  const std::string keptText = CleanFile(rng, false);
  if (keepPair) {
    WriteBytes(keptPath, keptText);
    Open(kept, keptPath);
  }
  StopKernel();
  WriteConfig(config);
  if (!StartKernel()) return;
  if (keepPair) {
    // Open pairs stay valid across a restart, whatever the allocator.
    const Doc model = Parse(keptText);
    CheckGet(kept, &model, std::string("TvDefault"), std::string("InstalledData"), 65535, false);
    const Op op{OpKind::Set, std::string("TvDefault"), std::string("AfterRestart"), std::string("1")};
    const int32_t set = SetString(kept.buffer, op.section, op.key, op.value);
    rec.Check(set == 0, "restart", "TvIsi_IniSetString on a pair kept open across a restart returned " + Num(set));
    const std::string expected = Render(set == 0 ? Outcomes(model, op, nullptr).front().doc : model);
    std::string after;
    if (Checkpoint(kept, &after))
      rec.Check(after == expected, "restart",
                "a pair kept open across a restart did not save its text: " + ByteDifference(expected, after));
  }
  // A fresh pair works under the new settings.
  const std::string path = In(folder, "after.ini");
  const std::string text = CleanFile(rng, rng.Chance(20));
  WriteBytes(path, text);
  for (size_t n = rng.Size(1, 3); n > 0; --n) {
    std::string current;
    ReadBytes(path, &current);
    const EditResult result = EditStep(path, current, RandomOp(rng, Parse(current), false, false), nullptr, nullptr);
    if (!result.ran) break;
  }
}

void CycleCase(Rng& rng, const std::string& folder) {
  const std::string text = CleanFile(rng, false);
  std::string binary = text;
  binary.insert(binary.size() / 2, 1, '\0');
  WriteBytes(In(folder, "tvwserve.ini"), text);
  const bool stats = tvMemStats.enabled;
  for (int i = 0; i < 3; ++i) CycleRound(rng, folder, text, binary);
  const std::vector<uint64_t> start = Measure();
  const int rounds = 12;
  for (int i = 0; i < rounds; ++i) CycleRound(rng, folder, text, binary);
  const std::vector<uint64_t> end = Measure();
  static const char* const kNames[] = {"kernel blocks", "bytes", "system blocks", "system bytes", "handles"};
  std::string figures;
  for (size_t i = 0; i < 5; ++i)
    figures += std::string(i ? ", " : "") + kNames[i] + " " + Num(static_cast<int64_t>(start[i])) + " (" +
               Num(static_cast<int64_t>(end[i] - start[i])) + ")";
  rec.Note(figures + (stats ? "" : "; allocator statistics off"));
  // A leak shows once a round; one block or handle more (a cache the system
  // fills late, a thread of Wine's) is no leak.
  auto grew = [&](size_t i, uint64_t slack) { return end[i] > start[i] + slack; };
  if (stats)
    rec.Check(!grew(0, 2) && !grew(2, 2) && !grew(1, 1024) && !grew(3, 1024), "leak-memory",
              "after " + Num(rounds) + " rounds: " + figures);
  rec.Check(!grew(4, 2), "leak-handles", "after " + Num(rounds) + " rounds: " + figures);
}

const std::vector<Family>& Families() {
  static const std::vector<Family> families = {
      {"roundtrip", 20, RoundTripCase}, {"edit", 28, EditCase},        {"faults", 14, FaultCase},
      {"handles", 10, HandleCase},      {"exports", 22, ExportCase},   {"restart", 3, RestartCase},
      {"cycles", 3, CycleCase},         {"mappings", 12, MappingCase}, {"launch", 8, LaunchCase},
  };
  return families;
}

void WriteConfig(Config config) {
  std::string text = "[TVISX]\r\nLanguage=44\r\n";
  text += config == Config::Plain ? "MemAllocator=Plain\r\n" : "MemAllocator=Pooled\r\n";
  if (config == Config::Logging) text += "LogFile=" + In(In(setup.root, "logs"), "tvisx") + "\r\nLogErrors=Y\r\n";
  WriteBytes(setup.configPath, text);
}

bool StartKernel() {
  const int32_t status = Startup();
  ++kernelRefs;
  return rec.Check(status == 0, "restart", "TvIsi_Startup with a configuration returned " + Num(status));
}

void StopKernel() {
  while (kernelRefs > 0) {
    Shutdown();
    --kernelRefs;
  }
}

}  // namespace campaign
