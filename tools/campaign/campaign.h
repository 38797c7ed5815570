// campaign.h: what the families of cases share: the exports as the campaign
// calls them (recorded, counted, status-checked), what it generates, the
// model of the edits and of the list exports, and the checks they share.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "harness.h"
#include "reference.h"
#include "rng.h"

namespace campaign {

// ---- The run and its families (each case gets its own random numbers and folder).
struct Setup {
  std::string root;        // the campaign's folder
  std::string cases;       // the folder of the case folders (faults apply here)
  std::string configPath;  // TVISX.ini, named by TVINI
};
extern Setup setup;

struct Family {
  const char* name;
  int weight;
  void (*run)(Rng& rng, const std::string& folder);
};
const std::vector<Family>& Families();

enum class Config { Plain, Pooled, Logging };  // the kernel's allocator
void WriteConfig(Config config);
bool StartKernel();  // false when the start fails
void StopKernel();

void RoundTripCase(Rng& rng, const std::string& folder);
void EditCase(Rng& rng, const std::string& folder);
void FaultCase(Rng& rng, const std::string& folder);
void HandleCase(Rng& rng, const std::string& folder);
void ExportCase(Rng& rng, const std::string& folder);
void RestartCase(Rng& rng, const std::string& folder);
void CycleCase(Rng& rng, const std::string& folder);
void MappingCase(Rng& rng, const std::string& folder);
void LaunchCase(Rng& rng, const std::string& folder);

// ---- The exports. Every call is a step of the record, counted, its status checked.
struct Pair {  // the handles of one TvIsi_IniOpen
  INT_PTR file = -1;
  INT_PTR buffer = 0;
  std::string path;
  int id = 0;
  bool open = false;    // not closed yet
  bool loaded = false;  // the open succeeded
};

std::string HandleText(INT_PTR value);
int32_t Open(Pair& pair, const Text& path);
int32_t Save(INT_PTR file, INT_PTR buffer, const std::string& label);
void Close(INT_PTR file, INT_PTR buffer, const std::string& label);
int32_t Save(Pair& pair);
void Close(Pair& pair);
int32_t Get(INT_PTR buffer, const Text& section, const Text& key, char* value, int32_t capacity);
int32_t SetString(INT_PTR buffer, const Text& section, const Text& key, const Text& value);
int32_t DeleteString(INT_PTR buffer, const Text& section, const Text& key);
int32_t CopySetting(INT_PTR source, INT_PTR destination, const Text& section, const Text& key);
int32_t AddString(INT_PTR buffer, const Text& section, const Text& key, const Text& entries);
int32_t RemoveStrings(INT_PTR buffer, const Text& section, const Text& key, const Text& entries);
int32_t UpdateTvwserveV5(const Text& path, const Text& data, int32_t id, int32_t aid, int32_t nid);
int32_t UpdateDataKeys(const Text& path, const Text& data, int32_t format);
int32_t InstalledCountriesToData(const Text& path);
int32_t CheckIniForData(const Text& folder, const Text& iso, int32_t twoLetters, char* code, char* dataDir,
                        char* baseDir, int32_t* flags);
int32_t IsIsoPresent(const Text& code, const Text& folder);
int32_t ProdFromIni(const Text& path, int32_t* mask);
int32_t Startup();
void Shutdown();
bool KnownStatus(int32_t status);                  // 0, a kernel code, or the extension's own
void CountCall(const char* name, int32_t status);  // a call recorded elsewhere
std::string CallTable();                           // calls so far, by export and status

// ---- What the campaign generates.
struct FileRecipe {
  bool mutateLineEnds = true;
  bool allowBom = true;
  bool allowPadding = true;  // NUL bytes at the very end
  bool allowBinary = false;  // NUL bytes or control characters inside
  bool allowHuge = true;     // 100 KB lines, 5,000-character names and entries
  bool serverLists = false;  // the list keys of a server configuration in [TvDefault]
};
std::string GenerateFile(Rng& rng, const FileRecipe& recipe);
std::vector<std::string> GenerateLines(Rng& rng, const FileRecipe& recipe);
// Lines joined with line ends of one style or mixed; the last may have none.
std::string JoinLines(Rng& rng, const std::vector<std::string>& lines, bool mutate);
std::string CleanFile(Rng& rng, bool huge);  // as a save leaves it (CR LF)
std::string CountryCode(Rng& rng);
std::string DataEntry(Rng& rng, const std::string& code);
std::string ListEntry(Rng& rng, bool countryList);  // sometimes 300 or 5,000 characters long
// Names and values a script may pass, well-formed or hostile.
Text SectionName(Rng& rng, const Doc* doc, bool hostile);
Text KeyName(Rng& rng, const Doc* doc, bool hostile);
Text Value(Rng& rng, bool hostile);
Text Entries(Rng& rng, const Doc* doc, const std::string& section, const std::string& key, bool hostile);
int32_t Capacity(Rng& rng);
extern const std::vector<std::string> kCountryKeys, kDataKeys;  // the list keys of TvDefault

// ---- Edits through the ini handle exports, and what each may leave.
enum class OpKind { Set, Delete, Add, Remove, CopySelf, CopyFrom };
struct Op {
  OpKind kind = OpKind::Set;
  Text section, key, value;
};
std::string Describe(const Op& op);
Op RandomOp(Rng& rng, const Doc& doc, bool hostile, bool withSource);
struct Outcome {
  std::vector<int32_t> statuses;
  Doc doc;
};
std::vector<Outcome> Outcomes(const Doc& model, const Op& op, const Doc* source);  // source: of a copy between pairs
// Saves and closes the pair, checks that the file is free again and reads it.
bool Checkpoint(Pair& pair, std::string* bytes);
struct EditResult {
  bool ran = false;  // the file could be opened and read back
  std::string after;
};
// Opens the file, makes the edit, saves, closes, and checks what it left.
EditResult EditStep(const std::string& path, const std::string& before, const Op& op, const std::string* sourcePath,
                    const std::string* sourceBefore);
// TvIsi_IniGetString checked against the model: the value within the
// capacity, nothing for names that cannot be read back, not a byte beyond;
// and a few such lookups with names from the file and hostile ones.
void CheckGet(const Pair& pair, const Doc* model, const Text& section, const Text& key, int32_t capacity,
              bool nullValue);
void SomeGets(Rng& rng, const Pair& pair, const Doc* model, int count);
// Open, save without an edit, close; the bytes after.
std::string RoundTrip(Rng& rng, const std::string& path, const std::string& bytes);

// ---- The list exports as documented, on the campaign's own reading.
Doc ExpectUpdateTvwserveV5(const Doc& before, const std::string& data, bool installed);
Doc ExpectUpdateDataKeys(const Doc& before, const std::string& data, bool dataFormat);
Doc ExpectCountriesToData(const Doc& before);
bool IsoRecorded(const Doc& doc, const std::string& code);
int32_t ExpectProducts(const Doc& doc, const std::vector<std::string>& productFilesPresent);
extern const std::vector<std::string> kProductFiles;
// Every code a discovery may report: first fields cut to three characters.
std::vector<std::string> ListedCodes(const Doc& doc);

// ---- Shared helpers and checks.
std::string In(const std::string& folder, const std::string& name);
void NoteFile(const std::string& what, const std::string& bytes);
std::string Num(int64_t v);
std::string ByteDifference(const std::string& expected, const std::string& actual);
std::string LineDifference(const Doc& expected, const Doc& actual);
FaultPlan RandomPlan(Rng& rng, bool forSave);
std::string PlanText(const FaultPlan& plan);
// The file a save under a fault may leave.
void CheckSaveResult(const std::string& what, const FaultPlan& plan, int32_t status, int injected, int setEnds,
                     const std::string& old, const std::string& fresh, const std::string& after);

}  // namespace campaign
