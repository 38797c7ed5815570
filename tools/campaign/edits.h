// edits.h: one edit through the ini handle exports, and the check that it
// changed exactly its own setting. An edit step opens the file, makes the
// call, saves, closes and reads the file back; the bytes must be one of
// the outcomes the model allows.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "calls.h"
#include "reference.h"
#include "rng.h"

namespace campaign {

enum class OpKind { Set, Delete, Add, Remove, CopySelf, CopyFrom };

struct Op {
  OpKind kind = OpKind::Set;
  Text section, key, value;
};

std::string Describe(const Op& op);
Op RandomOp(Rng& rng, const Doc& doc, bool hostile, bool withSource);

// What the call may return and leave behind.
struct Outcome {
  std::vector<int32_t> statuses;
  Doc doc;
};
// source: the model of the source file of a copy from another pair.
std::vector<Outcome> Outcomes(const Doc& model, const Op& op, const Doc* source);

// Saves and closes the pair, checks the save and that the file is free
// again, and reads it. False when nothing could be read.
bool Checkpoint(Pair& pair, std::string* bytes);

// The bytes after one edit on a file that holds `before`; findings are
// recorded. source: a second pair's file for a copy between pairs.
struct EditResult {
  bool ran = false;  // the file could be opened and read back
  std::string after;
};
EditResult EditStep(const std::string& path, const std::string& before, const Op& op, const std::string* sourcePath,
                    const std::string* sourceBefore);

// TvIsi_IniGetString on an open pair, checked against the model: the value
// (bounded by the capacity), not found for names that cannot be read back,
// and not a byte beyond the capacity.
void CheckGet(const Pair& pair, const Doc* model, const Text& section, const Text& key, int32_t capacity,
              bool nullValue);

// Shrinks bytes while reproduces(bytes) stays true.
std::string Shrink(const std::string& bytes, const std::function<bool(const std::string&)>& reproduces);

}  // namespace campaign
