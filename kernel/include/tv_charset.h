// tv_charset.h: the kernel's 256-entry character tables for code page 1252.
#pragma once
#include <array>
#include <cstdint>

enum TvCharClass : uint8_t {
  TvCharControl = 1,
  TvCharPrintable = 2,
  TvCharSpace = 4,
  TvCharPunct = 8,
  TvCharLetter = 16,
  TvCharDigit = 32,
  TvCharUpper = 64,
  TvCharLower = 128,
};

extern const std::array<uint8_t, 256> tvCharClass;
extern const std::array<uint8_t, 256> tvCharUpper;
extern const std::array<uint8_t, 256> tvCharLower;

inline char TvToUpper(char c) { return static_cast<char>(tvCharUpper[static_cast<uint8_t>(c)]); }
inline char TvToLower(char c) { return static_cast<char>(tvCharLower[static_cast<uint8_t>(c)]); }
inline bool TvIsSpace(char c) { return tvCharClass[static_cast<uint8_t>(c)] & TvCharSpace; }
