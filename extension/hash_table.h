// hash_table.h: the extension's hash of a text, with its case rule as a
// parameter, and the two tables built on it: a set of texts, and chains of
// list indices by hash. They let a list export find a repeated entry
// without comparing it with every other.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tv_charset.h"
#include "tv_memory.h"

// How a hash folds letters: it must give texts that the table's comparison
// finds equal the same value.
enum class HashCase {
  Exact,     // strcmp
  Upper,     // TvStrEqualNoCase: folded by TvToUpper
  ListText,  // TvListCompareText: ASCII letters folded, other bytes above 0x7F left to the comparison
};

inline constexpr uint32_t kHashStart = 2166136261u;

inline uint32_t HashByte(uint32_t hash, uint8_t byte) { return (hash ^ byte) * 16777619u; }

// The hash of text under rule, continuing from hash (so that several
// texts can make one hash).
inline uint32_t HashText(const char* text, HashCase rule, uint32_t hash = kHashStart) {
  for (; *text; ++text) {
    const auto c = static_cast<uint8_t>(*text);
    switch (rule) {
      case HashCase::Exact: hash = HashByte(hash, c); break;
      case HashCase::Upper: hash = HashByte(hash, static_cast<uint8_t>(TvToUpper(*text))); break;
      case HashCase::ListText: hash = HashByte(hash, c >= 0x80 ? 0x80 : c >= 'A' && c <= 'Z' ? c + 32 : c); break;
    }
  }
  return hash;
}

// A set of texts held elsewhere (they must outlive it), compared by a
// function such as _stricmp: an open-addressed table in the counted system
// layer (so that a set may outlive a kernel restart), each slot with the
// text's hash, so that the comparison runs only for texts that hash alike.
// The case rule of the hash must give equal texts equal values.
class TextSet {
 public:
  using Equal = bool (*)(const char* a, const char* b);
  TextSet(HashCase rule, Equal equal) : rule_(rule), equal_(equal) {}
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
    return capacity_ ? Locate(slots_, capacity_, text, HashText(text, rule_))->text : nullptr;
  }
  bool Contains(const char* text) const { return Find(text) != nullptr; }
  // True when an equal text was there already; false when the text was
  // added, or (with *noMemory set) could not be.
  bool Insert(const char* text, bool* noMemory) {
    const uint32_t hash = HashText(text, rule_);
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
    const uint32_t hash = HashText(text, rule_);
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

  HashCase rule_;
  Equal equal_;
  Slot* slots_ = nullptr;
  size_t capacity_ = 0;
  size_t used_ = 0;
};

// Chains of list indices by a 32-bit hash, each from the highest index to
// the lowest: an open-addressed table of chain heads and, per index, the
// next lower index of its chain, in kernel memory.
class IndexChains {
 public:
  IndexChains() = default;
  IndexChains(const IndexChains&) = delete;
  IndexChains& operator=(const IndexChains&) = delete;
  ~IndexChains() {
    TvMemFree(keys_);
    TvMemFree(heads_);
    TvMemFree(next_);
  }
  int32_t Head(uint32_t hash) const { return capacity_ ? std::max(heads_[Slot(hash)], -1) : -1; }
  int32_t Next(int32_t i) const { return next_[i]; }
  // Puts i into the chain of hash in its place by index.
  bool Insert(uint32_t hash, uint32_t i) {
    if (!Reserve(i)) return false;
    const size_t at = Slot(hash);
    if (heads_[at] == kFree) {
      keys_[at] = hash;
      heads_[at] = -1;
      ++used_;
    }
    int32_t* link = &heads_[at];
    while (*link > static_cast<int32_t>(i)) link = &next_[*link];
    next_[i] = *link;
    *link = static_cast<int32_t>(i);
    return true;
  }
  void Remove(uint32_t hash, uint32_t i) {
    if (!capacity_) return;
    for (int32_t* link = &heads_[Slot(hash)]; *link >= 0; link = &next_[*link])
      if (*link == static_cast<int32_t>(i)) {
        *link = next_[i];
        return;
      }
  }

 private:
  static constexpr int32_t kFree = -2;  // a slot no hash has taken; -1 ends a chain
  size_t Slot(uint32_t hash) const {
    size_t at = hash & (capacity_ - 1);
    while (heads_[at] != kFree && keys_[at] != hash) at = (at + 1) & (capacity_ - 1);
    return at;
  }
  bool Reserve(uint32_t index) {
    if (index >= nextSize_) {
      const size_t size = nextSize_ ? nextSize_ * 2 : 64;
      auto* next = static_cast<int32_t*>(TvMemResize(next_, 0, size * sizeof(int32_t)));
      if (!next) return false;
      next_ = next;
      nextSize_ = size;
    }
    if ((used_ + 1) * 2 <= capacity_) return true;
    const size_t capacity = capacity_ ? capacity_ * 2 : 64;
    auto* keys = static_cast<uint32_t*>(TvMemAlloc(0, capacity * sizeof(uint32_t)));
    auto* heads = static_cast<int32_t*>(TvMemAlloc(0, capacity * sizeof(int32_t)));
    if (!keys || !heads) {
      TvMemFree(keys);
      TvMemFree(heads);
      return false;
    }
    for (size_t k = 0; k < capacity; ++k) heads[k] = kFree;
    std::swap(keys, keys_);
    std::swap(heads, heads_);
    const size_t old = capacity_;
    capacity_ = capacity;
    for (size_t k = 0; k < old; ++k)
      if (heads[k] != kFree) {
        const size_t at = Slot(keys[k]);
        keys_[at] = keys[k];
        heads_[at] = heads[k];
      }
    TvMemFree(keys);
    TvMemFree(heads);
    return true;
  }
  uint32_t* keys_ = nullptr;
  int32_t* heads_ = nullptr;
  size_t capacity_ = 0, used_ = 0;
  int32_t* next_ = nullptr;
  size_t nextSize_ = 0;
};
