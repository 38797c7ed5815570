// charset.cpp: the kernel's character tables (classes, upper and lower case)
// for Windows code page 1252. Built at compile time from the case rules.
#include "tv_charset.h"

#include <array>

namespace {

constexpr bool IsAsciiPunct(int c) {
  return (c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) || (c >= 123 && c <= 126);
}

constexpr std::array<uint8_t, 256> MakeClass() {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 128; ++c) {
    uint8_t f = 0;
    if (c < 32 || c == 127) f |= TvCharControl;
    if (c >= 32 && c < 127) f |= TvCharPrintable;
    if ((c >= 9 && c <= 13) || c == ' ') f |= TvCharSpace;
    if (IsAsciiPunct(c)) f |= TvCharPunct;
    if (c >= '0' && c <= '9') f |= TvCharDigit;
    if (c >= 'A' && c <= 'Z') f |= TvCharLetter | TvCharUpper;
    if (c >= 'a' && c <= 'z') f |= TvCharLetter | TvCharLower;
    t[c] = f;
  }
  return t;
}

// Pairs of (lower, upper) in code page 1252 beyond the ASCII letters.
constexpr std::array<uint8_t, 256> MakeCase(bool toUpper) {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = static_cast<uint8_t>(c);
  auto pair = [&](int lower, int upper) {
    if (toUpper) t[lower] = static_cast<uint8_t>(upper);
    else t[upper] = static_cast<uint8_t>(lower);
  };
  for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 32);
  pair(154, 138);
  pair(156, 140);
  for (int c = 224; c <= 254; ++c)
    if (c != 247) pair(c, c - 32);
  pair(255, 159);
  return t;
}

}  // namespace

constinit const std::array<uint8_t, 256> tvCharClass = MakeClass();
constinit const std::array<uint8_t, 256> tvCharUpper = MakeCase(true);
constinit const std::array<uint8_t, 256> tvCharLower = MakeCase(false);
