// cases.h: what the families of cases share: file helpers for the
// report, the open-save-close check, shrinking a finding to its smallest
// file, fault plans and the check of what a save under a fault left.
#pragma once
#include <functional>
#include <string>

#include "calls.h"
#include "harness.h"
#include "reference.h"
#include "rng.h"

namespace campaign {

std::string In(const std::string& folder, const std::string& name);
void NoteFile(const std::string& what, const std::string& bytes);
std::string Num(int64_t v);
// The first byte where two files differ, with a little of each around it.
std::string ByteDifference(const std::string& expected, const std::string& actual);

// Runs check silently on smaller and smaller files and prints the smallest
// that still shows the finding (first finding of a kind only).
void Reproduce(const std::string kind, const std::string bytes, const std::string& scratch,
               const std::function<void(const std::string& path, const std::string& bytes)>& check,
               const std::string& what);

// A lookup checked on an open pair, shrunk on the pair's file when it finds
// something wrong; and a few lookups with names from the file and hostile ones.
void CheckedGet(const Pair& pair, const Doc* model, const Text& section, const Text& key, int32_t capacity,
                bool nullValue, const std::string* fileBytes);
void SomeGets(Rng& rng, const Pair& pair, const Doc* model, int count, const std::string* fileBytes = nullptr);

// Open, save without an edit, close: the text comes back with CR LF line
// ends; a file that is not text is refused and left alone. The bytes after.
std::string RoundTrip(Rng& rng, const std::string& folder, const std::string& path, const std::string& bytes);

// A text file in the form a save leaves it (CR LF line ends).
std::string CleanFile(Rng& rng, bool huge);

FaultPlan RandomPlan(Rng& rng, bool forSave);
std::string PlanText(const FaultPlan& plan);
// The file a save under a fault may leave.
void CheckSaveResult(const std::string& what, const FaultPlan& plan, int32_t status, int injected, int setEnds,
                     const std::string& old, const std::string& fresh, const std::string& after);

// The families.
void RoundTripCase(Rng& rng, const std::string& folder);
void EditCase(Rng& rng, const std::string& folder);
void FaultCase(Rng& rng, const std::string& folder);
void HandleCase(Rng& rng, const std::string& folder);
void ExportCase(Rng& rng, const std::string& folder);
void RestartCase(Rng& rng, const std::string& folder);
void CycleCase(Rng& rng, const std::string& folder);
void MappingCase(Rng& rng, const std::string& folder);
void LaunchCase(Rng& rng, const std::string& folder);  // case_launch.cpp

}  // namespace campaign
