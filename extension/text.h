// text.h: a text that grows as pieces are appended, in kernel memory. The
// list exports build whole lists and entries in it, so that no entry is
// ever cut to the size of a fixed buffer. Also a set of texts, which finds
// a repeated entry without comparing it with every other.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "tv_charset.h"
#include "tv_memory.h"

class GrowingText {
 public:
  GrowingText() = default;
  GrowingText(const GrowingText&) = delete;
  GrowingText& operator=(const GrowingText&) = delete;
  ~GrowingText() { TvMemFree(text_); }

  // False when memory runs out; the text is then as it was.
  bool Append(std::string_view piece) {
    if (!Reserve(piece.size())) return false;
    if (!piece.empty()) memcpy(text_ + used_, piece.data(), piece.size());
    used_ += piece.size();
    text_[used_] = '\0';
    return true;
  }
  bool AppendLine(std::string_view piece) { return Append(piece) && Append("\n"); }
  bool Assign(std::string_view piece) {
    Clear();
    return Append(piece);
  }
  void Clear() {
    used_ = 0;
    if (text_) text_[0] = '\0';
  }
  void DropFinalLineFeed() {
    if (used_ > 0 && text_[used_ - 1] == '\n') text_[--used_] = '\0';
  }
  size_t Size() const { return used_; }
  const char* Text() const { return text_ ? text_ : ""; }
  std::string_view View() const { return {Text(), used_}; }

 private:
  bool Reserve(size_t more) {
    if (more > kLimit || used_ > kLimit - more) return false;
    if (used_ + more + 1 <= capacity_) return true;
    size_t grown = capacity_ ? capacity_ : kFirstSize;
    while (grown < used_ + more + 1) grown = grown > kLimit / 2 ? kLimit + 1 : grown * 2;
    auto* bigger = static_cast<char*>(TvMemResize(text_, 0, grown));
    if (!bigger) return false;
    text_ = bigger;
    capacity_ = grown;
    return true;
  }

  static constexpr size_t kFirstSize = 256;
  static constexpr size_t kLimit = kTvTextLimit;
  char* text_ = nullptr;
  size_t used_ = 0;
  size_t capacity_ = 0;
};

// A hash of a text for a set that compares as TvStrEqualNoCase does.
inline uint32_t HashUpper(const char* text) {
  uint32_t hash = 2166136261u;
  for (; *text; ++text) hash = (hash ^ static_cast<uint8_t>(TvToUpper(*text))) * 16777619u;
  return hash;
}

// A set of texts held elsewhere (they must outlive it), compared by a
// function such as _stricmp: an open-addressed table in kernel memory,
// each slot with the text's hash, so that the comparison runs only for
// texts that hash alike. The hash must give equal texts equal values.
class TextSet {
 public:
  using Hash = uint32_t (*)(const char* text);
  using Equal = bool (*)(const char* a, const char* b);
  TextSet(Hash hash, Equal equal) : hash_(hash), equal_(equal) {}
  TextSet(const TextSet&) = delete;
  TextSet& operator=(const TextSet&) = delete;
  ~TextSet() { TvMemFree(slots_); }

  void Clear() {
    if (slots_) memset(slots_, 0, capacity_ * sizeof *slots_);
    used_ = 0;
  }
  bool Contains(const char* text) const { return capacity_ && Find(slots_, capacity_, text, hash_(text))->text; }
  // True when an equal text was there already; false when the text was
  // added, or (with *noMemory set) could not be.
  bool Insert(const char* text, bool* noMemory) {
    *noMemory = false;
    if ((used_ + 1) * 2 > capacity_ && !Grow()) {
      *noMemory = true;
      return false;
    }
    const uint32_t hash = hash_(text);
    Slot* slot = Find(slots_, capacity_, text, hash);
    if (slot->text) return true;
    *slot = {text, hash};
    ++used_;
    return false;
  }

 private:
  struct Slot {
    const char* text;
    uint32_t hash;
  };
  Slot* Find(Slot* slots, size_t capacity, const char* text, uint32_t hash) const {
    size_t i = hash & (capacity - 1);
    while (slots[i].text && !(slots[i].hash == hash && equal_(slots[i].text, text))) i = (i + 1) & (capacity - 1);
    return &slots[i];
  }
  bool Grow() {
    const size_t capacity = capacity_ ? capacity_ * 2 : 64;
    auto* slots = static_cast<Slot*>(TvMemAlloc(0, capacity * sizeof(Slot)));
    if (!slots) return false;
    memset(slots, 0, capacity * sizeof *slots);
    for (size_t i = 0; i < capacity_; ++i)
      if (slots_[i].text) *Find(slots, capacity, slots_[i].text, slots_[i].hash) = slots_[i];
    TvMemFree(slots_);
    slots_ = slots;
    capacity_ = capacity;
    return true;
  }

  Hash hash_;
  Equal equal_;
  Slot* slots_ = nullptr;
  size_t capacity_ = 0;
  size_t used_ = 0;
};
