// harness.h: what the campaign stands on: files read and written past the
// library, faults injected through the kernel's file system-call table, the
// record of steps and findings, and the guards against crashes and hangs.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace campaign {

// ---- Files, straight through Windows (never through the patched table).
bool ReadBytes(const std::string& path, std::string* bytes);
bool WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
void MakeDir(const std::string& path);
void RemoveTree(const std::string& path);
// True when nobody holds the file open: an exclusive open succeeds.
bool Unlocked(const std::string& path);
// Holds a file open without sharing, as another program would.
class Lock {
 public:
  explicit Lock(const std::string& path);
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// ---- Texts for the report.
std::string Escape(const std::string& bytes, size_t limit = 160);

// ---- Faults, for the files of the campaign's folder (never the log).
// WriteFails and WriteShort fail one write (nothing, or half of it, reaches
// the disk); DiskFull refuses, from the nth write on, every byte that would
// make a file longer; WriteDead fails every write from the nth on.
enum class Fault { None, WriteFails, WriteShort, DiskFull, WriteDead, SetEndFails, ReadFails, CreateFails, MoveFails };
struct FaultPlan {
  Fault kind = Fault::None;
  int nth = 1;          // the first eligible call that fails (1 = the first)
  bool sticky = false;  // the calls after it fail too (reads, opens, renames)
};
const char* FaultName(Fault kind);
void InstallFileHooks(const std::string& folder);
void ArmFault(const FaultPlan& plan);
int DisarmFault();  // the number of calls failed under the plan
// Set-end calls that failed since the last arming.
int SetEndFailures();

// ---- The record of a run.
struct Counters {
  uint64_t cases = 0, calls = 0, files = 0, saves = 0, faults = 0, checks = 0, steps = 0;
};

class Recorder {
 public:
  uint64_t seed = 0, caseNumber = 0;
  std::string family;
  bool verbose = false;
  Counters counters;

  void BeginCase(uint64_t number, const std::string& familyName);
  void Step(const std::string& text);    // a call about to be made
  void Result(const std::string& text);  // appended to the last step
  void Note(const std::string& text);    // context for the report (file bytes, names)
  bool Check(bool ok, const char* kind, const std::string& message);
  void Fail(const char* kind, const std::string& message);
  const std::vector<std::string>& Steps() const { return steps_; }
  int Summary(double seconds) const;  // prints the summary; the exit code

 private:
  std::vector<std::string> steps_;
  std::vector<std::string> notes_;
  struct Kind {
    uint64_t count = 0, firstCase = 0;
  };
  std::map<std::string, Kind> kinds_;
};

extern Recorder rec;

// A crash, an exit from inside the library or a call that does not return
// is reported with the seed, the case and the step.
void InstallGuards(int stepTimeoutSeconds);
void MarkFinished();
void Progress();  // a call returned

}  // namespace campaign
