// harness.cpp: files past the library, fault injection, the record of a
// run, and the guards against crashes, exits and hangs.
#include "harness.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <set>

#include "tv_file.h"
#include "tv_system.h"

namespace campaign {

Recorder rec;

// ---- Files ---------------------------------------------------------------

bool ReadBytes(const std::string& path, std::string* bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char piece[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(h, piece, sizeof piece, &got, nullptr) != FALSE) && got > 0) bytes->append(piece, got);
  CloseHandle(h);
  return ok;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = bytes.empty() || (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                                    written == bytes.size());
  CloseHandle(h);
  ++rec.counters.files;
  return ok;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeDir(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string full = path + "\\" + name;
      SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
      else DeleteFileA(full.c_str());
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

bool Unlocked(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return true;
}

Lock::Lock(const std::string& path)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr)) {}

Lock::~Lock() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

// ---- Texts ---------------------------------------------------------------

std::string Escape(const std::string& bytes, size_t limit) {
  std::string out;
  char piece[32];
  for (const char byte : bytes) {
    const unsigned char c = static_cast<unsigned char>(byte);
    const char* named = c == '\r'   ? "\\r"
                        : c == '\n' ? "\\n"
                        : c == '\t' ? "\\t"
                        : c == '\\' ? "\\\\"
                        : c == '"'  ? "\\\""
                                    : nullptr;
    if (named) snprintf(piece, sizeof piece, "%s", named);
    else if (c < 0x20 || c >= 0x7F) snprintf(piece, sizeof piece, "\\x%02x", c);
    else snprintf(piece, sizeof piece, "%c", c);
    out += piece;
  }
  if (out.size() > limit) {
    snprintf(piece, sizeof piece, "...(%zu bytes)...", bytes.size());
    out = out.substr(0, limit * 2 / 3) + piece + out.substr(out.size() - limit / 3);
  }
  return "\"" + out + "\"";
}

// ---- Faults --------------------------------------------------------------

namespace {

std::string campaignFolder;  // upper case, ends with a backslash
std::set<HANDLE> eligibleHandles;
FaultPlan plan;
int planCalls = 0, planFailures = 0, setEndFailures = 0;

std::string UpperFull(const char* path) {
  char full[MAX_PATH * 2];
  DWORD n = GetFullPathNameA(path ? path : "", sizeof full, full, nullptr);
  std::string s = n > 0 && n < sizeof full ? std::string(full, n) : std::string(path ? path : "");
  for (char& c : s) c = c == '/' ? '\\' : static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return s;
}

bool EligiblePath(const char* path) {
  if (campaignFolder.empty() || !path) return false;
  const std::string full = UpperFull(path);
  return full.compare(0, campaignFolder.size(), campaignFolder) == 0 &&
         !(full.size() >= 4 && full.compare(full.size() - 4, 4, ".LOG") == 0);
}

bool Hit(Fault kind) {
  if (plan.kind != kind) return false;
  ++planCalls;
  if (planCalls == plan.nth || ((plan.sticky || kind == Fault::WriteDead) && planCalls > plan.nth)) {
    ++planFailures;
    ++rec.counters.faults;
    return true;
  }
  return false;
}

bool Eligible(HANDLE h) { return eligibleHandles.count(h) != 0; }

// A failed call: what reached the disk, and the system's error.
BOOL Refuse(DWORD error, LPDWORD done = nullptr, DWORD part = 0) {
  if (done) *done = part;
  SetLastError(error);
  return FALSE;
}

HANDLE WINAPI HookCreate(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                         DWORD flags, HANDLE model) {
  const bool eligible = EligiblePath(path);
  if (eligible && Hit(Fault::CreateFails)) return Refuse(ERROR_SHARING_VIOLATION), INVALID_HANDLE_VALUE;
  HANDLE h = kTvSysDefault.createFile(path, access, share, security, disposition, flags, model);
  if (h != INVALID_HANDLE_VALUE && eligible) eligibleHandles.insert(h);
  else if (h != INVALID_HANDLE_VALUE) eligibleHandles.erase(h);
  return h;
}

BOOL WINAPI HookRead(HANDLE h, LPVOID data, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
  if (Eligible(h) && Hit(Fault::ReadFails)) return Refuse(ERROR_READ_FAULT, got);
  return kTvSysDefault.readFile(h, data, count, got, overlapped);
}

BOOL WINAPI HookWrite(HANDLE h, LPCVOID data, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
  if (!Eligible(h)) return kTvSysDefault.writeFile(h, data, count, written, overlapped);
  if (Hit(Fault::WriteFails) || Hit(Fault::WriteDead)) return Refuse(ERROR_DISK_FULL, written);
  DWORD part = 0;
  if (Hit(Fault::WriteShort)) {  // part of the bytes reach the disk before the write fails
    if (count > 1) kTvSysDefault.writeFile(h, data, count / 2, &part, overlapped);
    return Refuse(ERROR_WRITE_FAULT, written, part);
  }
  LARGE_INTEGER size{}, at{}, zero{};
  if (plan.kind == Fault::DiskFull && ++planCalls >= plan.nth && GetFileSizeEx(h, &size) &&
      SetFilePointerEx(h, zero, &at, FILE_CURRENT) && at.QuadPart + static_cast<LONGLONG>(count) > size.QuadPart) {
    // What fits over the old bytes is written; the rest finds no room.
    if (at.QuadPart < size.QuadPart)
      kTvSysDefault.writeFile(h, data, static_cast<DWORD>(size.QuadPart - at.QuadPart), &part, overlapped);
    ++planFailures;
    ++rec.counters.faults;
    return Refuse(ERROR_DISK_FULL, written, part);
  }
  return kTvSysDefault.writeFile(h, data, count, written, overlapped);
}

BOOL WINAPI HookSetEnd(HANDLE h) {
  if (Eligible(h) && Hit(Fault::SetEndFails)) return ++setEndFailures, Refuse(ERROR_ACCESS_DENIED);
  return kTvSysDefault.setEndOfFile(h);
}

BOOL WINAPI HookClose(HANDLE h) {
  eligibleHandles.erase(h);
  return kTvSysDefault.closeHandle(h);
}

BOOL WINAPI HookMove(LPCSTR from, LPCSTR to) {
  if ((EligiblePath(from) || EligiblePath(to)) && Hit(Fault::MoveFails)) return Refuse(ERROR_ACCESS_DENIED);
  return kTvSysDefault.moveFile(from, to);
}

}  // namespace

const char* FaultName(Fault kind) {
  static const char* const kNames[] = {
      "none",          "write fails", "write stops half way",     "disk full",   "every write fails",
      "set-end fails", "read fails",  "open fails (file locked)", "rename fails"};
  return kNames[static_cast<int>(kind)];
}

void InstallFileHooks(const std::string& folder) {
  campaignFolder = UpperFull(folder.c_str());
  if (campaignFolder.empty() || campaignFolder.back() != '\\') campaignFolder += '\\';
  tvSys.createFile = HookCreate;
  tvSys.readFile = HookRead;
  tvSys.writeFile = HookWrite;
  tvSys.setEndOfFile = HookSetEnd;
  tvSys.closeHandle = HookClose;
  tvSys.moveFile = HookMove;
}

void ArmFault(const FaultPlan& p) {
  plan = p;
  planCalls = planFailures = setEndFailures = 0;
}

int DisarmFault() {
  plan = FaultPlan{};
  return planFailures;
}

int SetEndFailures() { return setEndFailures; }

// ---- The record ----------------------------------------------------------

namespace {

volatile LONG64 lastProgress = 0;
volatile LONG finished = 0;
int stepTimeout = 120;

void Print(const std::string& text) {
  fputs(text.c_str(), stdout);
  fflush(stdout);
}

using ull = unsigned long long;

std::string Where() {
  char line[200];
  snprintf(line, sizeof line, "seed %llu, case %llu (%s), step %zu", ull{rec.seed}, ull{rec.caseNumber},
           rec.family.c_str(), rec.Steps().size());
  return line;
}

// The calls of the case and the command that repeats it.
std::string CallsAndRepeat() {
  std::string text = "  calls of the case:\n";
  for (size_t i = 0; i < rec.Steps().size(); ++i) text += "    " + std::to_string(i + 1) + ". " + rec.Steps()[i] + "\n";
  return text + "  repeat: robustness_campaign --seed " + std::to_string(rec.seed) + " --case " +
         std::to_string(rec.caseNumber) + " --verbose\n";
}

}  // namespace

void Recorder::BeginCase(uint64_t number, const std::string& familyName) {
  caseNumber = number;
  family = familyName;
  steps_.clear();
  notes_.clear();
  ++counters.cases;
  if (verbose) Print("--- case " + std::to_string(number) + " (" + familyName + ")\n");
  Progress();
}

void Recorder::Step(const std::string& text) {
  steps_.push_back(text);
  ++counters.steps;
  Progress();
  if (verbose) Print("  " + text + "\n");
}

void Recorder::Result(const std::string& text) {
  if (steps_.empty()) return;
  steps_.back() += text;
  if (verbose) Print("    -> " + text + "\n");
}

void Recorder::Note(const std::string& text) {
  notes_.push_back(text);
  if (verbose) Print("  note: " + text + "\n");
}

bool Recorder::Check(bool ok, const char* kind, const std::string& message) {
  ++counters.checks;
  if (!ok) Fail(kind, message);
  return ok;
}

void Recorder::Fail(const char* kind, const std::string& message) {
  Kind& k = kinds_[kind];
  ++k.count;
  std::string text = "FINDING [" + std::string(kind) + "] " + Where() + "\n  " + message + "\n";
  if (k.count == 1 || verbose) {
    for (const std::string& note : notes_) text += "  note: " + note + "\n";
    text += CallsAndRepeat();
  }
  if (k.count == 1) k.firstCase = caseNumber;
  if (k.count <= 3 || verbose) Print(text);
  else if (k.count == 4) Print("(further [" + std::string(kind) + "] findings are counted only)\n");
}

int Recorder::Summary(double seconds) const {
  char line[400];
  snprintf(line, sizeof line,
           "\nCampaign seed %llu: %llu cases, %llu calls, %llu files generated, %llu saves, %llu faults injected, "
           "%llu checks, %.1f s\n%s",
           ull{seed}, ull{counters.cases}, ull{counters.calls}, ull{counters.files}, ull{counters.saves},
           ull{counters.faults}, ull{counters.checks}, seconds,
           kinds_.empty() ? "No findings.\n" : "Findings by kind (count, first case):\n");
  Print(line);
  for (const auto& [name, k] : kinds_) {
    snprintf(line, sizeof line, "  %-22s %6llu  first in case %llu\n", name.c_str(), ull{k.count}, ull{k.firstCase});
    Print(line);
  }
  return kinds_.empty() ? 0 : 1;
}

// ---- Guards --------------------------------------------------------------

namespace {

void ReportAbnormal(const char* what) {
  Print(std::string("\nFINDING [crash] ") + what + " at " + Where() + "\n" + CallsAndRepeat());
}

HMODULE ModuleOf(const void* address) {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCSTR>(address), &module);
  return module;
}

bool Fatal(DWORD code) {
  static const DWORD kFatal[] = {
      EXCEPTION_ACCESS_VIOLATION,   EXCEPTION_STACK_OVERFLOW,         EXCEPTION_ILLEGAL_INSTRUCTION,
      EXCEPTION_INT_DIVIDE_BY_ZERO, EXCEPTION_ARRAY_BOUNDS_EXCEEDED,  EXCEPTION_PRIV_INSTRUCTION,
      EXCEPTION_IN_PAGE_ERROR,      0xC0000374 /* heap corruption */, 0xC0000409 /* stack buffer overrun */};
  return std::find(std::begin(kFatal), std::end(kFatal), code) != std::end(kFatal);
}

void Die(EXCEPTION_POINTERS* info) {
  char what[200], name[MAX_PATH] = "?";
  const void* address = info->ExceptionRecord->ExceptionAddress;
  HMODULE module = ModuleOf(address);
  if (module) GetModuleFileNameA(module, name, sizeof name);
  const char* base = strrchr(name, '\\');
  snprintf(what, sizeof what, "exception 0x%08lx at %p (%s+0x%llx)", info->ExceptionRecord->ExceptionCode, address,
           base ? base + 1 : name, ull(static_cast<const char*>(address) - reinterpret_cast<const char*>(module)));
  ReportAbnormal(what);
  InterlockedExchange(&finished, 1);
  TerminateProcess(GetCurrentProcess(), 3);
}

LONG WINAPI OnException(EXCEPTION_POINTERS* info) {
  // Faults inside the program itself are crashes at once; others (the
  // system's own guarded probes) get their chance to be handled first.
  const void* address = info->ExceptionRecord->ExceptionAddress;
  if (Fatal(info->ExceptionRecord->ExceptionCode) && ModuleOf(address) == GetModuleHandleA(nullptr)) Die(info);
  return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* info) {
  Die(info);
  return EXCEPTION_EXECUTE_HANDLER;
}

DWORD WINAPI Watchdog(LPVOID) {
  for (;;) {
    Sleep(1000);
    if (finished) return 0;
    const LONG64 last = InterlockedCompareExchange64(&lastProgress, 0, 0);
    if (last && GetTickCount64() - static_cast<ULONGLONG>(last) > static_cast<ULONGLONG>(stepTimeout) * 1000) {
      char what[80];
      snprintf(what, sizeof what, "no return within %d s (hang)", stepTimeout);
      ReportAbnormal(what);
      TerminateProcess(GetCurrentProcess(), 4);
    }
  }
}

// ExitProcess as the program imports it: an end of the process from inside
// a call (the kernel's fatal stop, say) is reported before it happens.
using ExitRoutine = void(WINAPI*)(UINT);
ExitRoutine realExit = nullptr;

void WINAPI OnExit(UINT code) {
  if (!finished && lastProgress) {
    char what[80];
    snprintf(what, sizeof what, "the process was ended from inside a call (exit code %u)", code);
    ReportAbnormal(what);
  }
  realExit(code);
}

// Points the program's import of a routine at a replacement.
void PatchImport(void* routine, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!imports.VirtualAddress) return;
  for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d)
    for (auto* t = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk); t->u1.Function; ++t) {
      if (t->u1.Function != reinterpret_cast<ULONG_PTR>(routine)) continue;
      DWORD protection;
      if (!VirtualProtect(&t->u1.Function, sizeof t->u1.Function, PAGE_READWRITE, &protection)) continue;
      t->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&t->u1.Function, sizeof t->u1.Function, protection, &protection);
    }
}

}  // namespace

void InstallGuards(int stepTimeoutSeconds) {
  stepTimeout = stepTimeoutSeconds;
  AddVectoredExceptionHandler(1, OnException);
  realExit = reinterpret_cast<ExitRoutine>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "ExitProcess")));
  if (realExit) PatchImport(reinterpret_cast<void*>(realExit), reinterpret_cast<void*>(OnExit));
  SetUnhandledExceptionFilter(OnUnhandled);
  CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
}

void MarkFinished() { InterlockedExchange(&finished, 1); }

void Progress() { InterlockedExchange64(&lastProgress, static_cast<LONG64>(GetTickCount64())); }

}  // namespace campaign
