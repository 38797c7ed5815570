// text.h: a text that grows as pieces are appended, in kernel memory. The
// list exports build whole lists and entries in it, so that no entry is
// ever cut to the size of a fixed buffer.
#pragma once
#include <cstddef>
#include <cstring>
#include <string_view>

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
