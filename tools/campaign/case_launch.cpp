// case_launch.cpp: the launch family: setup's whole run (TvSetupRun on the
// launcher's own kernel, the campaign's stopped around it) on generated
// media, staging folders and command lines, with faults. The engine's start
// is caught, never made: then the staging folder must hold the medium's
// files as the medium holds them and no module it did not bring, be the
// current folder, and the engine's C runtime must read back exactly the
// arguments given. The exit code must be one the case allows, with its one
// message, and the medium and an earlier run's data files stay as they were.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

#include "campaign.h"
#include "setup.h"
#include "tv_error.h"
#include "tv_instance.h"
#include "tv_system.h"

namespace campaign {

namespace {

struct MediumFile {
  std::string name, bytes;
  std::string stagedAs;  // empty: the launcher leaves it on the medium
};

// What one run may do and what the hooks saw of it.
struct LaunchRun {
  std::string mediumDir, tempDir;                 // as the case made them
  std::string line, source, temp, sub, fullTemp;  // the command line and what the launcher reads of it
  bool tempGiven = false, earlier = false, mustFit = true;
  std::vector<std::string> passed;                             // the arguments passed on
  std::set<int> hazards;                                       // exit codes the case gives reason for
  std::vector<std::pair<std::string, std::string>> leftovers;  // an earlier run's files: name, bytes
  std::vector<std::string> foreign;                            // planted modules the medium does not bring
  std::optional<Lock> held;
  FaultPlan plan;
  std::string medium, staging;
  std::vector<MediumFile> files;
  std::vector<std::string> engineArgs;  // as the engine's C runtime must read them
  bool refuseStart = false, refuseDelete = false;
  int starts = 0;
  std::vector<std::string> boxes;
};
LaunchRun* run = nullptr;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

// A name the system would load as code, or take as a direction where to
// find it.
bool ModuleName(const std::string& name) {
  static const std::set<std::string> kExtensions = {"dll", "exe", "ocx", "cpl", "drv", "sys", "scr",      "com",
                                                    "ax",  "acm", "ime", "tsp", "mui", "efi", "manifest", "local"};
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && kExtensions.count(Lower(name.substr(dot + 1))) != 0;
}

// A folder made full as the launcher makes its folders full.
std::string FullOf(std::string path) {
  if (!path.empty() && path[0] == '$') path = ".\\" + path;
  if (path.empty()) path = ".";
  if (path.size() > 1 && path.back() == '\\' && path[path.size() - 2] != ':') path.pop_back();
  char full[MAX_PATH * 2], current[MAX_PATH * 2] = "";
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (n > 0 && n < sizeof full) return std::string(full, n);
  // Too long for the system to make full: as long a path, which the
  // launcher refuses (and which names nothing from another current folder).
  GetCurrentDirectoryA(sizeof current, current);
  return std::string(current) + "\\" + path;
}

// The arguments after the program's own, split as a C runtime splits them.
std::vector<std::string> CRuntimeSplit(const std::string& rest) {
  std::wstring wide = L"x ";
  for (unsigned char c : rest) wide += static_cast<wchar_t>(c);
  int count = 0;
  std::vector<std::string> args;
  if (LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &count)) {
    for (int i = 1; i < count; ++i) {
      std::string arg;
      for (const wchar_t* p = argv[i]; *p; ++p) arg += static_cast<char>(*p);
      args.push_back(arg);
    }
    LocalFree(argv);
  }
  return args;
}

std::string Joined(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args) text += (text.empty() ? "" : " | ") + Escape(a, 120);
  return "[" + text + "]";
}

int WINAPI CaughtBox(HWND, LPCSTR text, LPCSTR, UINT) {
  run->boxes.push_back(text ? text : "");
  return IDOK;
}

// The engine's start, checked and never made.
BOOL WINAPI CaughtStart(LPCSTR program, LPSTR line, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                        LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION process) {
  ++run->starts;
  const std::string engine = run->staging + "\\setup.exe", text = line ? line : "";
  rec.Check(program && _stricmp(program, engine.c_str()) == 0, "launch-engine",
            "the engine started is " + (program ? Escape(program) : std::string("NULL")) + ", not " + Escape(engine));
  rec.Check(text.size() < 512, "launch-cut",
            "a command line of " + Num(static_cast<int64_t>(text.size())) + " characters");
  const std::string head = engine + "  ";
  if (rec.Check(_strnicmp(text.c_str(), head.c_str(), head.size()) == 0, "launch-arguments",
                "the command line does not begin with the engine: " + Escape(text, 300))) {
    const std::vector<std::string> args = CRuntimeSplit(text.substr(head.size()));
    rec.Check(
        args == run->engineArgs, "launch-arguments",
        "the engine would read " + Joined(args) + ", not " + Joined(run->engineArgs) + " from " + Escape(text, 600));
  }
  char current[MAX_PATH * 2] = "";
  GetCurrentDirectoryA(sizeof current, current);
  rec.Check(_stricmp(current, run->staging.c_str()) == 0, "launch-folder",
            "the engine would start in " + Escape(current) + ", not in the staging folder");
  std::set<std::string> staged;
  for (const MediumFile& f : run->files) {
    std::string bytes;
    if (f.stagedAs.empty()) continue;
    staged.insert(Lower(f.stagedAs));
    if (!(ReadBytes(run->staging + "\\" + f.stagedAs, &bytes) && bytes == f.bytes))
      rec.Fail("half-staged", "the engine starts while " + Escape(f.stagedAs) + " does not hold the medium's " +
                                  Escape(f.name) + " (" + Num(static_cast<int64_t>(f.bytes.size())) + " bytes)");
  }
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((run->staging + "\\*").c_str(), &entry);
  for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &entry))
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && ModuleName(entry.cFileName))
      rec.Check(staged.count(Lower(entry.cFileName)) != 0, "foreign-module",
                "the engine starts beside " + Escape(entry.cFileName) + ", which the medium does not hold");
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  if (run->refuseStart) return SetLastError(ERROR_ACCESS_DENIED), FALSE;
  // Handles the launcher closes again, of no new process.
  DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &process->hProcess, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &process->hThread, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  return TRUE;
}

BOOL WINAPI RefusedDelete(LPCSTR path) {
  if (!run->refuseDelete) return kTvSysDefault.deleteFile(path);
  return SetLastError(ERROR_ACCESS_DENIED), FALSE;
}

// Names a medium may hold; "!" and "$" begin the kernel's home and data
// folder prefixes.
const char* const kNames[] = {
    "data.ini",     "a b.txt", "x",     "!x",          "$x",     "!",   "$",     "$$",     "!$x",  " lead",
    "Français.txt", "é",       "x.dll", "Version.DLL", "readme", "a;b", "a,b=c", "~x.tmp", "-SRC", "setup.inx.bak"};
const size_t kSizes[] = {0, 1, 100, 65535, 65536, 65537, 150001};

std::string Bytes(Rng& rng, size_t size) {
  std::string bytes(size, '\0');
  const uint64_t seed = rng.Next();
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((seed >> (i % 56)) + i * 131);
  return bytes;
}

std::string FolderName(Rng& rng, const char* plain, size_t longest) {
  static const char* const kFolders[] = {"media disk", "$m", "!m", "Français", "a.b", "x;y"};
  if (rng.Chance(40)) return plain;
  if (rng.Chance(20)) return std::string(rng.Size(1, longest), plain[0]);
  return rng.Pick(kFolders) + std::string(plain);
}

// An argument passed on to the engine, as the command line gives it.
std::string ArgumentToken(Rng& rng) {
  static const char* const kArgs[] = {"a",      "-x",        "ab",    "\\",   "-",   "a\"b", "-q\"r",
                                      "a\\\"b", "C:\\dir\\", "a\\\\", "-x\\", "été", "x\ty", "-x\t"};
  std::string arg;
  const size_t longest = 60;
  const int kind = rng.Int(0, 9);
  if (kind < 5) arg = rng.Pick(kArgs);
  else if (kind < 7) arg = std::string(rng.Size(2, longest), static_cast<char>('a' + rng.Int(0, 25)));
  else if (kind < 8) arg = std::string(rng.Size(1, longest / 3), rng.Chance(50) ? '"' : '\\') + "z";
  else  // quotes and backslashes before them: twice as long on the engine's line
    arg = "a" + std::string(rng.Size(0, longest / 3), '\\') + std::string(rng.Size(1, longest / 3), '"') + "b";
  // One with a blank, or beginning with a quote, is quoted on the command
  // line; one that holds a quote cannot be, and never holds a blank.
  const bool quoted = arg.find('"') == std::string::npos && (arg.find(' ') != std::string::npos || rng.Chance(30));
  return quoted ? "\"" + arg + "\"" : arg;
}

// An option token: its text on the command line, quoted when it holds a
// blank (the launcher's splitter has no escapes).
std::string OptionToken(const char* name, const std::string& value) {
  const std::string text = name + value;
  return text.find(' ') != std::string::npos ? "\"" + text + "\"" : text;
}

bool PlainName(const std::string& name) {
  return name.find_first_of("\\/:") == std::string::npos && name.find_first_not_of('.') != std::string::npos;
}

// The folders (under the case folder, the current folder, so that relative
// options name them) and the command line: the options in one of their
// forms, arguments around them.
void MakeCommandLine(Rng& rng, LaunchRun& r, const std::string& folder) {
  const std::string mediumName = FolderName(rng, "m", 150), tempName = FolderName(rng, "t", 200);
  r.mediumDir = In(folder, mediumName);
  r.tempDir = In(folder, tempName);
  MakeDir(r.mediumDir);
  MakeDir(r.tempDir);
  SetCurrentDirectoryA(folder.c_str());
  std::vector<std::string> tokens;
  const bool sourceGiven = rng.Chance(80);
  r.tempGiven = rng.Chance(75);
  auto relative = [&](const std::string& name) { return rng.Chance(50) ? name : ".\\" + name; };
  if (sourceGiven) {
    std::string value = rng.Chance(50) ? r.mediumDir : relative(mediumName);
    if (rng.Chance(20)) value += "\\";
    if (rng.Chance(4)) value += "\\missing";
    tokens.push_back(OptionToken(rng.Chance(80) ? "-SRC:" : "-sRx:", value));
  }
  if (r.tempGiven) {
    std::string value = rng.Chance(50) ? r.tempDir : relative(tempName);
    if (rng.Chance(20)) value += "\\";
    tokens.push_back(OptionToken(rng.Chance(80) ? "-TMP:" : "-tmPDIR:", value));
  }
  static const char* const kSubs[] = {"N", "N", "sub dir", "..\\up", "a\\b", ".", "..", "C:x", ""};
  if (rng.Chance(25)) tokens.push_back(OptionToken("-DATADIR:", rng.Pick(kSubs)));
  if (rng.Chance(10)) tokens.push_back("-SRC");  // no colon: sets nothing
  for (size_t n = rng.Size(0, 8); n > 0; --n)
    tokens.insert(tokens.begin() + static_cast<long>(rng.Below(tokens.size() + 1)), ArgumentToken(rng));
  for (const std::string& t : tokens) r.line += std::string(rng.Size(1, 2), ' ') + t;
}

// What the launcher reads of the line, by its own splitter: the last of
// each option counts, the other arguments go on; and the folders it makes of them.
void ReadCommandLine(Rng& rng, LaunchRun& r) {
  TvSetupArgs args;
  TvSetupSplit(r.line.c_str(), &args);
  bool haveSource = false;
  for (int i = 1; i < args.count; ++i) {
    const std::string a = args.text[i], head = Lower(a.substr(0, 3));
    const size_t colon = a.find(':');
    if (head != "-sr" && head != "-tm" && head != "-da") {
      if (!a.empty()) r.passed.push_back(a);
    } else if (colon != std::string::npos) {
      (head == "-sr" ? r.source : head == "-tm" ? r.temp : r.sub) = a.substr(colon + 1);
      haveSource = haveSource || head == "-sr";
    }
  }
  const bool noTemp = !r.tempGiven && rng.Chance(10);
  const std::string envTemp = noTemp ? "" : r.tempDir;
  SetEnvironmentVariableA("TEMP", noTemp ? nullptr : envTemp.c_str());
  SetEnvironmentVariableA("TMP", noTemp ? nullptr : envTemp.c_str());
  if (!haveSource || r.source.empty()) {
    // Without a source folder the medium is the current folder: the
    // launcher's run starts in the medium then.
    SetCurrentDirectoryA(r.mediumDir.c_str());
    r.source.clear();
  }
  r.medium = FullOf(r.source);
  if (r.temp.empty()) r.temp = envTemp;
  if (r.temp.empty()) r.hazards.insert(TvSetupNoTempFolder);
  r.fullTemp = FullOf(r.temp);
  r.staging = r.fullTemp + "\\TarvelInst" + (r.sub.empty() ? "" : "\\" + r.sub);
  r.engineArgs = r.passed;
  r.engineArgs.push_back("p");
  r.engineArgs.push_back(r.source.empty() ? "" : r.medium);
  if (!r.sub.empty() && !PlainName(r.sub)) r.hazards.insert(TvSetupNoStagingFolder);
}

// An earlier run's staging folder: data files, a folder named like a
// module, and modules of that run or planted, none of which may stay.
void PlantEarlierRun(Rng& rng, LaunchRun& r) {
  const std::string tarvel = r.fullTemp + "\\TarvelInst";
  r.earlier = rng.Chance(45);
  if (r.earlier && !r.temp.empty()) {
    MakeDir(tarvel);
    if (!r.sub.empty() && rng.Chance(70)) MakeDir(r.staging);
    std::vector<std::pair<std::string, std::string>> wanted = {
        {"old.dat", "earlier"}, {"data.ini", "earlier data"}, {"old.dll", ""}};
    static const char* const kPlanted[] = {"version.dll", "x.dll",      "old.OCX",       "setup.exe",
                                           ".dot.dll",    "hidden.cpl", "evil.manifest", "setup.exe.local"};
    for (size_t n = rng.Size(0, 4); n > 0; --n) wanted.push_back({rng.Pick(kPlanted), "planted"});
    for (const auto& leftover : wanted) {
      const std::string path = In(r.staging, leftover.first);
      if (leftover.first == "old.dll") MakeDir(path);  // a folder: it stays
      else WriteBytes(path, leftover.second);
      if (Exists(path)) r.leftovers.push_back(leftover);
    }
    SetFileAttributesA(In(r.staging, "hidden.cpl").c_str(), FILE_ATTRIBUTE_HIDDEN);
  }
  if (!Exists(r.fullTemp) || (!r.sub.empty() && !Exists(tarvel))) r.hazards.insert(TvSetupNoStagingFolder);
  if (r.staging.size() > 255 || r.fullTemp.size() + 11 > 255) r.hazards.insert(TvSetupNoStagingFolder);
}

// The medium's files, and what each must become in the staging folder.
void MakeMedium(Rng& rng, LaunchRun& r) {
  const bool atMedium = _stricmp(r.medium.c_str(), r.mediumDir.c_str()) == 0;
  std::vector<MediumFile> wanted;
  if (rng.Chance(95)) wanted.push_back({"setup.inx", "script", ""});
  if (!atMedium || wanted.empty()) r.hazards.insert(TvSetupNoSetupFiles);
  if (rng.Chance(92)) wanted.push_back({rng.Chance(80) ? "_ISmain" : "_isMAIN", "MZ engine" + Bytes(rng, 70000), ""});
  if (rng.Chance(25)) wanted.push_back({rng.Chance(50) ? "setup.exe" : "SETUP.EXE", "the launcher", ""});
  for (size_t n = rng.Size(0, 6); n > 0; --n) wanted.push_back({rng.Pick(kNames), Bytes(rng, rng.Pick(kSizes)), ""});
  std::set<std::string> seen;
  for (MediumFile& f : wanted) {
    if (!seen.insert(Lower(f.name)).second || !WriteBytes(In(r.mediumDir, f.name), f.bytes)) continue;
    if (Lower(f.name) != "setup.exe") f.stagedAs = Lower(f.name) == "_ismain" ? "setup.exe" : f.name;
    if (!f.stagedAs.empty() &&
        (r.staging.size() + 1 + f.stagedAs.size() > 255 || r.medium.size() + 1 + f.name.size() > 255))
      r.hazards.insert(TvSetupCopyFailed);
    if (!atMedium) f.stagedAs.clear();  // the launcher looks elsewhere
    r.files.push_back(f);
  }
}

// What the case gives reason to refuse: planted modules that must go (one
// whose path passes 255 characters cannot be named to remove), no engine,
// and a command line that cannot fit (between what the arguments need
// unquoted and at most: beyond the one a refusal is due, within the other
// the start is).
void StartHazards(LaunchRun& r) {
  for (const auto& [name, bytes] : r.leftovers) {
    bool brought = false;
    for (const MediumFile& f : r.files) brought = brought || Lower(f.stagedAs) == Lower(name);
    if (ModuleName(name) && !brought && bytes == "planted") r.foreign.push_back(name);
  }
  for (const std::string& name : r.foreign)
    if (r.staging.size() + 1 + name.size() > 255) r.hazards.insert(TvSetupCopyFailed);
  bool engineOnMedium = false;
  for (const MediumFile& f : r.files) engineOnMedium = engineOnMedium || f.stagedAs == "setup.exe";
  if (!engineOnMedium || r.staging.size() + 10 > 255) r.hazards.insert(TvSetupNotLaunched);
  size_t least = 0, most = 0;
  for (const std::string& a : r.passed) {
    least += a.size() + 1;
    most += 2 * a.size() + 3;
  }
  const size_t engineLength = r.staging.size() + 10, sourceLength = r.source.empty() ? 0 : r.medium.size();
  if (least > 255 || engineLength + 2 + least + 3 + sourceLength + 2 > 511) r.hazards.insert(TvSetupNotLaunched);
  r.mustFit = most <= 255 && engineLength + 2 + most + 3 + 2 * sourceLength + 2 <= 511;
}

// Files held open, deletions refused, a file fault and a refused start.
void PlanLaunchFaults(Rng& rng, LaunchRun& r) {
  if (r.earlier && rng.Chance(10)) {
    r.held.emplace(In(r.staging, "data.ini"));
    for (const MediumFile& f : r.files)
      if (r.held->held() && Lower(f.stagedAs) == "data.ini") r.hazards.insert(TvSetupCopyFailed);
  } else if (!r.foreign.empty() && rng.Chance(10)) {
    r.held.emplace(In(r.staging, rng.Pick(r.foreign)));
    if (r.held->held()) r.hazards.insert(TvSetupCopyFailed);
  }
  r.refuseDelete = !r.foreign.empty() && rng.Chance(20);
  if (r.refuseDelete) r.hazards.insert(TvSetupCopyFailed);
  if (rng.Chance(25)) {
    static const Fault kFaults[] = {Fault::ReadFails, Fault::WriteFails, Fault::WriteShort, Fault::DiskFull,
                                    Fault::CreateFails};
    r.plan.kind = rng.Pick(kFaults);
    r.plan.nth = rng.Int(1, 6);
    r.plan.sticky = rng.Chance(30);
  }
  r.refuseStart = rng.Chance(5);
  for (const MediumFile& f : r.files)
    NoteFile("medium file " + Escape(f.name, 300) + (f.stagedAs.empty() ? " (stays)" : ""), f.bytes.substr(0, 16));
  rec.Note("medium " + Escape(r.medium) + ", staging " + Escape(r.staging) +
           (r.plan.kind != Fault::None ? ", " + PlanText(r.plan) : "") + (r.refuseStart ? ", the start refused" : "") +
           (r.refuseDelete ? ", deletions refused" : ""));
}

// The run, on the launcher's kernel, the campaign's stopped around it. The
// exit code, and the number of injected failures.
std::pair<int, int> RunSetup(LaunchRun& r) {
  StopKernel();
  const TvSyscalls before = tvSys;
  SetEnvironmentVariableA("TVINI", nullptr);
  tvSys.messageBox = CaughtBox;
  tvSys.createProcess = CaughtStart;
  tvSys.deleteFile = RefusedDelete;
  ArmFault(r.plan);
  rec.Step("TvSetupRun(" + Escape(r.line, 700) + ")");
  ++rec.counters.calls;
  const int code = TvSetupRun(r.line.c_str());
  Progress();
  rec.Result(" = " + Num(code));
  const int injected = DisarmFault();
  r.held.reset();
  tvSys = before;
  TvKernelSetVariant(nullptr);
  TvSetUserInterfaceMode(TvUiNoWindows);
  SetEnvironmentVariableA("TVINI", setup.configPath.c_str());
  SetEnvironmentVariableA("TEMP", (setup.root + "\\tmp").c_str());
  SetEnvironmentVariableA("TMP", (setup.root + "\\tmp").c_str());
  SetCurrentDirectoryA(setup.root.c_str());
  StartKernel();
  return {code, injected};
}

// The exit code: 0 only for a case without a hazard, else one of them; one
// message for a failure, none else; the medium and the earlier run's data files as they were.
void CheckRun(LaunchRun& r, int code, int injected) {
  if (injected > 0 && r.plan.kind != Fault::CreateFails) r.hazards.insert(TvSetupCopyFailed);
  if (r.refuseStart) r.hazards.insert(TvSetupNotLaunched);
  std::set<int> allowed = r.hazards;
  if (r.hazards.empty()) allowed.insert(TvSetupLaunched);
  // A failed open may be the kernel's own look for a configuration file,
  // which finds none either way.
  if (injected > 0 && r.plan.kind == Fault::CreateFails)
    allowed.insert({TvSetupNoSetupFiles, TvSetupCopyFailed, TvSetupNotLaunched});
  if (!r.mustFit) allowed.insert(TvSetupNotLaunched);  // it may or may not fit
  std::string codes;
  for (int c : allowed) codes += (codes.empty() ? "" : ", ") + Num(c);
  rec.Check(allowed.count(code) != 0, "launch-exit", "TvSetupRun ended with " + Num(code) + ", not " + codes);
  const bool started = r.starts > 0 && !r.refuseStart;
  rec.Check((code == TvSetupLaunched) == started && r.starts <= 1, "launch-exit",
            "TvSetupRun ended with " + Num(code) + " after " + Num(r.starts) + " engine start(s)");
  // The message's text for each code is the launcher tests' to check.
  rec.Check(r.boxes.size() == (code == TvSetupLaunched ? 0u : 1u), "launch-message",
            "exit code " + Num(code) + " with " + Num(static_cast<int64_t>(r.boxes.size())) + " message(s)");
  for (const MediumFile& f : r.files) {
    std::string now;
    rec.Check(ReadBytes(In(r.mediumDir, f.name), &now) && now == f.bytes, "medium-changed",
              "the medium's " + Escape(f.name) + " changed");
  }
  for (const auto& [name, bytes] : r.leftovers)
    if (!ModuleName(name))
      rec.Check(Exists(In(r.staging, name)), "data-lost", "the earlier run's " + Escape(name) + " is gone");
}

}  // namespace

void LaunchCase(Rng& rng, const std::string& folder) {
  LaunchRun r;
  run = &r;
  MakeCommandLine(rng, r, folder);
  ReadCommandLine(rng, r);
  PlantEarlierRun(rng, r);
  MakeMedium(rng, r);
  StartHazards(r);
  PlanLaunchFaults(rng, r);
  const auto [code, injected] = RunSetup(r);
  CheckRun(r, code, injected);
  run = nullptr;
}

}  // namespace campaign
