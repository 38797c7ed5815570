// ini_internal.h: what the parts of the ini engine share.
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
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr uint32_t kUtf8MarkSize = 3;

void ClearCursors(TvIniBuffer& b);
void DropSection(TvIniBuffer& b);
bool FindSection(TvIniBuffer& b, const char* name);
// Makes the header whose name starts at nameAt and ends at close the cached
// section, as found under name.
void SelectSection(TvIniBuffer& b, uint32_t nameAt, uint32_t close, const char* name);
int32_t FindKey(TvIniBuffer& b, const char* key);
// Prefix and key, cut to 39 characters; false when they were cut.
bool FullKey(const TvIniBuffer& b, const char* key, char* out);
// Names the engine can find again, the only ones it writes or looks up: a
// key line ends its key at the first "=", lines beginning with "[" or "+"
// are no key lines, header names are compared on 79 characters and read as
// patterns, and a control character (tab aside) would end a line, or end it
// for some other reader, in the middle of a name.
bool HasControl(const char* text);
// A value line may hold what a line of ini text may: no line end, and no
// control character but tab, form feed and the end-of-file mark (files
// hold those, and lines read from a file go back as they stood).
bool ValueByte(unsigned char c);
bool ValueLine(const char* text);
bool ValidKey(const char* key);
bool ValidSection(const char* section);
// Copies length bytes of text to out (which may be text itself, or lie
// before it) with every line end as one line feed: CR LF and a lone CR
// alike. The length of the copy.
uint32_t LineFeedsOnly(char* out, const char* text, uint32_t length);
// Offset of the line feed that ends the line holding at (the end mark's at worst).
uint32_t LineEnd(const TvIniBuffer& b, uint32_t at);
// Whether a section header starts at at: a "[" at the start of a line.
inline bool IsHeaderAt(const TvIniBuffer& b, uint32_t at) {
  return b.text[at] == '[' && (at == 0 || b.text[at - 1] == '\n');
}

}  // namespace tvini
