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
// function such as _stricmp: an open-addressed table in the counted system
// layer (so that a set may outlive a kernel restart), each slot with the
// text's hash, so that the comparison runs only for texts that hash alike.
// The hash must give equal texts equal values.
class TextSet {
 public:
  using Hash = uint32_t (*)(const char* text);
  using Equal = bool (*)(const char* a, const char* b);
  TextSet(Hash hash, Equal equal) : hash_(hash), equal_(equal) {}
  TextSet(const TextSet&) = delete;
  TextSet& operator=(const TextSet&) = delete;
  ~TextSet() { TvSysFree(slots_, Bytes(capacity_), Bytes(capacity_)); }

  void Clear() {
    if (slots_) memset(slots_, 0, Bytes(capacity_));
    used_ = 0;
  }
  size_t Size() const { return used_; }
  // The text of the set equal to text, or nullptr.
  const char* Find(const char* text) const {
    return capacity_ ? Locate(slots_, capacity_, text, hash_(text))->text : nullptr;
  }
  bool Contains(const char* text) const { return Find(text) != nullptr; }
  // True when an equal text was there already; false when the text was
  // added, or (with *noMemory set) could not be.
  bool Insert(const char* text, bool* noMemory) {
    const uint32_t hash = hash_(text);
    Slot* slot = Place(text, hash, noMemory);
    if (!slot || slot->text) return slot != nullptr;
    *slot = {text, hash};
    ++used_;
    return false;
  }
  // Adds the text, or puts it in place of an equal one, which it returns
  // (nullptr when there was none, or with *noMemory set when the text could
  // not be added).
  const char* Put(const char* text, bool* noMemory) {
    const uint32_t hash = hash_(text);
    Slot* slot = Place(text, hash, noMemory);
    if (!slot) return nullptr;
    const char* replaced = slot->text;
    if (!replaced) ++used_;
    *slot = {text, hash};
    return replaced;
  }
  template <typename Visit>
  void ForEach(Visit visit) const {
    for (size_t i = 0; i < capacity_; ++i)
      if (slots_[i].text) visit(slots_[i].text);
  }

 private:
  struct Slot {
    const char* text;
    uint32_t hash;
  };
  static size_t Bytes(size_t capacity) { return capacity * sizeof(Slot); }
  Slot* Locate(Slot* slots, size_t capacity, const char* text, uint32_t hash) const {
    size_t i = hash & (capacity - 1);
    while (slots[i].text && !(slots[i].hash == hash && equal_(slots[i].text, text))) i = (i + 1) & (capacity - 1);
    return &slots[i];
  }
  // The slot of text, or where it would go; nullptr (and *noMemory) when a
  // new text would not fit.
  Slot* Place(const char* text, uint32_t hash, bool* noMemory) {
    *noMemory = (used_ + 1) * 2 > capacity_ && !Grow();
    return *noMemory ? nullptr : Locate(slots_, capacity_, text, hash);
  }
  bool Grow() {
    const size_t capacity = capacity_ ? capacity_ * 2 : 64;
    auto* slots = static_cast<Slot*>(TvSysAlloc(Bytes(capacity), Bytes(capacity)));
    if (!slots) return false;
    memset(slots, 0, Bytes(capacity));
    for (size_t i = 0; i < capacity_; ++i)
      if (slots_[i].text) *Locate(slots, capacity, slots_[i].text, slots_[i].hash) = slots_[i];
    TvSysFree(slots_, Bytes(capacity_), Bytes(capacity_));
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
