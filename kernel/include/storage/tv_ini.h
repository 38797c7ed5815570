// tv_ini.h: the ini engine. An ini file is held as one text block in memory
// (a TvIniBuffer) and every lookup scans that text; edits splice the text in
// place and the whole text is written back in one piece. Positions inside
// the text are kept as offsets, so they stay valid when the block moves.
//
// Every operation has a TvConfig* twin that works on the kernel's own
// configuration buffer.
#pragma once
#include <cstdint>

#include "tv_base.h"

struct TvList;

constexpr int32_t kTvIniNone = -1;        // no position
constexpr size_t kTvIniKeySize = 40;      // keys with prefix: at most 39 characters
constexpr size_t kTvIniSectionSize = 80;  // section names: at most 79 characters
constexpr size_t kTvIniListLineSize = 200;

enum TvIniFlag : uint16_t {
  TvIniNoDefault = 1,     // no fall-back to the section TvDefault
  TvIniExactSection = 2,  // section names compared exactly (no wildcards)
  TvIniBareKey = 4,       // with a prefix, also try the key without it
};

struct TvIniBuffer {
  uint16_t useCount;
  uint16_t flags;
  char* text;         // followed by the end mark: line feed, "[", NUL
  uint32_t capacity;  // allocated size of the text block: length + 3
  uint32_t length;    // length of the text proper
  int32_t cursor;     // scan cursor: after the last key found or value written
  int32_t section;    // first character of the cached section's name
  int32_t sectionClose;
  int32_t bodyStart;
  int32_t bodyEnd;
  char sectionName[kTvIniSectionSize];  // the name asked when the cache was filled
  char prefix[kTvIniKeySize];
  int32_t enumCursor;  // TvIniNextSection
  int32_t keyCursor;   // TvIniNextKey, kept apart so the two walks can nest
  bool utf8Mark;       // the file began with a UTF-8 byte-order mark: written again on save
};

// The kernel's process-wide configuration buffer.
extern TvIniBuffer tvConfig;

// Loading and releasing.
TvStatus TvIniLoadHandle(TvIniBuffer* buffer, TvFileHandle handle);
TvStatus TvIniLoadFile(TvIniBuffer* buffer, const char* path);
// size bytes from the handle's current position, or a text in memory, as a
// plain ini text: CR LF and a lone CR become a line feed, a leading UTF-8
// byte-order mark is taken off (and remembered), NUL padding at the end goes.
TvStatus TvIniLoadPart(TvIniBuffer* buffer, TvFileHandle handle, uint32_t size);
TvStatus TvIniLoadText(TvIniBuffer* buffer, const char* text, uint32_t length);
// Loads length bytes of an inverted trailer text from the handle's current
// position; checks the CRC while the kernel is started.
TvStatus TvIniLoadTrailerText(TvIniBuffer* buffer, TvFileHandle handle, uint32_t length, uint32_t crc);
TvStatus TvIniAddRef(const char* path);
void TvIniRelease();
void TvIniFree(TvIniBuffer* buffer);

// Getters: a found flag, or the default.
int TvIniGetString(TvIniBuffer* buffer, const char* section, const char* key, const char* defaultValue, char* out,
                   size_t size);
int32_t TvIniGetInt(TvIniBuffer* buffer, const char* section, const char* key, int32_t defaultValue);
int64_t TvIniGetInt64(TvIniBuffer* buffer, const char* section, const char* key, int64_t defaultValue);
int TvIniGetBool(TvIniBuffer* buffer, const char* section, const char* key, int defaultValue);
int TvIniGetBoolChecked(TvIniBuffer* buffer, const char* section, const char* key, int defaultValue);
int TvIniNextLine(TvIniBuffer* buffer, char* out, size_t size);
// The same two lookups without a copy and without a length limit: the line
// as it stands in the text (trailing spaces removed), valid until the next
// edit of the buffer. Not found gives an empty text.
int TvIniGetValueSpan(TvIniBuffer* buffer, const char* section, const char* key, const char** text, size_t* length);
int TvIniNextLineSpan(TvIniBuffer* buffer, const char** text, size_t* length);
TvStatus TvIniGetList(TvIniBuffer* buffer, const char* section, const char* key, TvList* list, char separator);
size_t TvIniExpand(TvIniBuffer* buffer, const char* section, const char* in, char* out, size_t size);
void TvIniSetPrefix(TvIniBuffer* buffer, const char* prefix);
uint16_t TvIniSetFlags(TvIniBuffer* buffer, uint16_t flags);

// Sections and enumeration.
int TvIniSectionExists(TvIniBuffer* buffer, const char* section);
size_t TvIniCurrentSection(TvIniBuffer* buffer, char* out, size_t size);
int TvIniNextSection(TvIniBuffer* buffer, int first, char* out, size_t size);
int TvIniNextKey(TvIniBuffer* buffer, int first, char* out, size_t size);
// The section whose header TvIniNextSection gave last becomes the one that
// lookups and edits of name find without a search: what they find is then
// that section, not the first whose header matches name, so the caller
// must know that no earlier header matches it. 0 when the walk has no such
// header (or name could not be looked up).
int TvIniUseEnumSection(TvIniBuffer* buffer, const char* name);

// Whole records.
void TvIniSaveState(TvIniBuffer* saved, TvIniBuffer* buffer, int clear);
void TvIniRestoreState(const TvIniBuffer* saved, TvIniBuffer* buffer);
TvStatus TvIniClone(TvIniBuffer* destination, const TvIniBuffer* source);

// Edits. Names the engine could not find again are refused with -1096: a
// key (with its prefix) of 40 or more characters, or with "=", a leading "["
// or "+"; a section name of 80 or more characters, or with "]", "*" or "?";
// control characters (below 0x20, tab aside) in names; and line ends and
// control characters other than tab, form feed and the end-of-file mark
// (0x1A) in values and continuation lines, which may hold whatever a line
// of ini text holds. Lookups of such long names find nothing.
TvStatus TvIniSetString(TvIniBuffer* buffer, const char* section, const char* key, const char* value);
TvStatus TvIniSetInt(TvIniBuffer* buffer, const char* section, const char* key, int32_t value);
TvStatus TvIniSetInt64(TvIniBuffer* buffer, const char* section, const char* key, int64_t value);
TvStatus TvIniSetBool(TvIniBuffer* buffer, const char* section, const char* key, int value);
TvStatus TvIniAddLine(TvIniBuffer* buffer, const char* text);
// The first of count lines as the value, the others as continuation lines
// below it, in one edit: the text and the cursor afterwards are those of
// TvIniSetString with the first line followed by TvIniAddLine of each
// other, but a refused line (-1096) changes nothing. No lines: nothing.
TvStatus TvIniSetLines(TvIniBuffer* buffer, const char* section, const char* key, const char* const* lines,
                       uint32_t count);
// Renames the key from of the section to to, a name of the same length,
// where the rename moves nothing else: from is the section's own key (not
// lent by TvDefault), its value and continuation lines are the section's
// last non-empty lines and hold no blank at a line's end and nothing a set
// refuses, and the section has no key to. The text is then what
// setting to to from's lines and deleting from gives, made without moving
// the rest of the text. 0: not so, nothing changed (nor when the buffer
// has a key prefix).
int TvIniRenameLastKey(TvIniBuffer* buffer, const char* section, const char* from, const char* to);
int TvIniDeleteSection(TvIniBuffer* buffer, const char* section);
char* TvIniGetSectionText(TvIniBuffer* buffer, const char* section);  // release with TvMemFree
TvStatus TvIniAddSection(TvIniBuffer* buffer, const char* section, const char* body);

// Writing. Every line end goes out as CR LF, after the byte-order mark when
// the text had one.
TvStatus TvIniWriteHandle(TvIniBuffer* buffer, TvFileHandle handle);  // at the current position
// Replaces the whole content of a file open for reading and writing: the
// file afterwards holds either its old bytes exactly or the complete new
// text (-1013 on a failed write, -1012 when the old bytes cannot be read,
// -1001 without memory for them). When only the final cut of a shorter
// text is refused, blanks cover the rest of the old text and the result is
// 0. The handle stays open.
TvStatus TvIniSaveHandle(TvIniBuffer* buffer, TvFileHandle handle);
// TvIniSaveHandle on the path (default extension "ini"), opened without
// sharing and created when missing; a file created here is removed again
// when the save fails.
TvStatus TvIniSaveFile(TvIniBuffer* buffer, const char* path);
char* TvIniGetText(TvIniBuffer* buffer);  // release with TvMemFree; without the byte-order mark

// The same operations on the configuration buffer.
int TvConfigGetString(const char* section, const char* key, const char* defaultValue, char* out, size_t size);
int32_t TvConfigGetInt(const char* section, const char* key, int32_t defaultValue);
int64_t TvConfigGetInt64(const char* section, const char* key, int64_t defaultValue);
int TvConfigGetBool(const char* section, const char* key, int defaultValue);
int TvConfigGetBoolChecked(const char* section, const char* key, int defaultValue);
int TvConfigNextLine(char* out, size_t size);
TvStatus TvConfigGetList(const char* section, const char* key, TvList* list, char separator);
size_t TvConfigExpand(const char* section, const char* in, char* out, size_t size);
void TvConfigSetPrefix(const char* prefix);
uint16_t TvConfigSetFlags(uint16_t flags);
int TvConfigSectionExists(const char* section);
size_t TvConfigCurrentSection(char* out, size_t size);
int TvConfigNextSection(int first, char* out, size_t size);
int TvConfigNextKey(int first, char* out, size_t size);
TvStatus TvConfigSetString(const char* section, const char* key, const char* value);
TvStatus TvConfigSetInt(const char* section, const char* key, int32_t value);
TvStatus TvConfigSetInt64(const char* section, const char* key, int64_t value);
TvStatus TvConfigSetBool(const char* section, const char* key, int value);
TvStatus TvConfigAddLine(const char* text);
int TvConfigDeleteSection(const char* section);
char* TvConfigGetSectionText(const char* section);
TvStatus TvConfigAddSection(const char* section, const char* body);
TvStatus TvConfigWriteHandle(TvFileHandle handle);
TvStatus TvConfigSaveHandle(TvFileHandle handle);
TvStatus TvConfigSaveFile(const char* path);
char* TvConfigGetText();

// Header pattern match: "*" any run, "?" one character, a literal run after
// "*" matched at its first occurrence only.
bool TvIniSectionMatch(const char* pattern, size_t patternLength, const char* name);

// The CRC-32 routine that checks ini trailers while the kernel runs: its
// first start-up installs it, its last shut-down takes it out (nullptr).
using TvCrcRoutine = uint32_t (*)(uint32_t crc, const void* data, size_t size);
void TvIniInstallCrc(TvCrcRoutine routine);
