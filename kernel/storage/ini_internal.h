// ini_internal.h: what the lookup and the edit halves of the ini engine share.
#pragma once
#include "tv_ini.h"

#include <cstring>

namespace tvini {

// memchr, eight bytes at a step: the C runtime's is a byte loop on some
// systems, and lookups spend their time in this scan.
inline const char* FindByte(const char* from, char c, size_t count) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  const uint64_t pattern = kOnes * static_cast<uint8_t>(c);
  const char* p = from;
  const char* end = from + count;
  while (end - p >= 8) {
    uint64_t word;
    memcpy(&word, p, 8);
    const uint64_t x = word ^ pattern;
    if ((x - kOnes) & ~x & kHighs) break;
    p += 8;
  }
  for (; p < end; ++p)
    if (*p == c) return p;
  return nullptr;
}

constexpr uint32_t kEndMarkSize = 3;  // line feed, "[", NUL after the text

void ClearCursors(TvIniBuffer& b);
void DropSection(TvIniBuffer& b);
bool FindSection(TvIniBuffer& b, const char* name);
int32_t FindKey(TvIniBuffer& b, const char* key);
void FullKey(const TvIniBuffer& b, const char* key, char* out);
// Offset of the line feed that ends the line holding at (the end mark's at worst).
uint32_t LineEnd(const TvIniBuffer& b, uint32_t at);

}  // namespace tvini
