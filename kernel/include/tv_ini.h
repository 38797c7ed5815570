// tv_ini.h: the ini engine. An ini file is held as one text block in memory
// (a TvIniBuffer) and every lookup scans that text. Positions inside the
// text are kept as offsets, so they stay valid when the block moves.
#pragma once
#include <cstdint>

#include "tv_base.h"

constexpr int32_t kTvIniNone = -1;       // no position
constexpr size_t kTvIniKeySize = 40;     // keys with prefix: at most 39 characters
constexpr size_t kTvIniSectionSize = 80; // section names: at most 79 characters

enum TvIniFlag : uint16_t {
  TvIniNoDefault = 1,     // no fall-back to the section TvDefault
  TvIniExactSection = 2,  // section names compared exactly (no wildcards)
  TvIniBareKey = 4,       // with a prefix, also try the key without it
};

struct TvIniBuffer {
  uint16_t useCount;
  uint16_t flags;
  char* text;         // followed by the end mark "\n[" and NUL
  uint32_t capacity;  // allocated size of the text block
  uint32_t length;    // length of the text proper
  int32_t cursor;     // after the last key found or value written
  int32_t section;    // first character of the cached section's name
  int32_t sectionClose;
  int32_t bodyStart;
  int32_t bodyEnd;
  char sectionName[kTvIniSectionSize];  // the name asked when the cache was filled
  char prefix[kTvIniKeySize];
  int32_t enumCursor;
};

// The kernel's process-wide configuration buffer.
extern TvIniBuffer tvConfig;

TvStatus TvIniLoadHandle(TvIniBuffer* buffer, TvFileHandle handle);
TvStatus TvIniLoadFile(TvIniBuffer* buffer, const char* path);
TvStatus TvIniAddRef(const char* path);
void TvIniRelease();
void TvIniFree(TvIniBuffer* buffer);

int TvIniGetString(TvIniBuffer* buffer, const char* section, const char* key, const char* defaultValue, char* out,
                   size_t size);
int32_t TvIniGetInt(TvIniBuffer* buffer, const char* section, const char* key, int32_t defaultValue);
int TvIniGetBool(TvIniBuffer* buffer, const char* section, const char* key, int defaultValue);
int TvIniNextLine(TvIniBuffer* buffer, char* out, size_t size);
void TvIniSetPrefix(TvIniBuffer* buffer, const char* prefix);
uint16_t TvIniSetFlags(TvIniBuffer* buffer, uint16_t flags);
int TvIniSectionExists(TvIniBuffer* buffer, const char* section);

// The same operations on the configuration buffer.
int TvConfigGetString(const char* section, const char* key, const char* defaultValue, char* out, size_t size);
int32_t TvConfigGetInt(const char* section, const char* key, int32_t defaultValue);
int TvConfigGetBool(const char* section, const char* key, int defaultValue);
int TvConfigNextLine(char* out, size_t size);
int TvConfigSectionExists(const char* section);

// Header pattern match: "*" any run, "?" one character, a literal run after
// "*" matched at its first occurrence only.
bool TvIniSectionMatch(const char* pattern, size_t patternLength, const char* name);

// The CRC-32 routine that checks ini trailers, installed at kernel start-up.
using TvCrcRoutine = uint32_t (*)(uint32_t crc, const void* data, size_t size);
void TvIniInstallCrc(TvCrcRoutine routine);
