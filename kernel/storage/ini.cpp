// ini.cpp: the lookup half of the ini engine: loading a text, finding
// sections (header patterns, a one-section cache), keys and values, and
// the getters.
#include "tv_ini.h"

#include <cstring>

#include "ini_internal.h"
#include "tv_charset.h"
#include "tv_context.h"
#include "tv_file.h"
#include "tv_list.h"
#include "tv_memory.h"
#include "tv_string.h"

TvIniBuffer tvConfig;

namespace {

TvCrcRoutine crcRoutine = nullptr;

// Takes over a block of size + 3 bytes holding size bytes of text. In a
// plain text every line end becomes one line feed (a lone CR is a line end
// too: editors on other systems write them), a leading UTF-8 mark is taken
// off and remembered for the save, and NUL padding at the end (what copy
// tools leave behind) is dropped. Trailer texts are kept as they are.
void Prepare(TvIniBuffer& b, char* block, uint32_t size, bool plain) {
  uint32_t length = size;
  bool mark = false;
  if (plain) {
    uint32_t from = 0;
    if (size >= tvini::kUtf8MarkSize && memcmp(block, tvini::kUtf8Mark, tvini::kUtf8MarkSize) == 0) {
      mark = true;
      from = tvini::kUtf8MarkSize;
    }
    uint32_t end = size;
    while (end > from && block[end - 1] == '\0') --end;
    length = tvini::LineFeedsOnly(block, block + from, end - from);
  }
  memcpy(block + length, "\n[", tvini::kEndMarkSize);
  if (b.text) TvSysFree(b.text, b.capacity, b.capacity - tvini::kEndMarkSize);
  b.text = block;
  b.capacity = size + tvini::kEndMarkSize;
  b.length = length;
  b.useCount = 1;
  b.flags = 0;
  b.utf8Mark = mark;
  tvini::ClearCursors(b);
  b.cursor = 0;
}

// Reads size bytes from the handle's current position into a new block.
TvStatus ReadBlock(TvFileHandle handle, uint32_t size, char** block) {
  *block = static_cast<char*>(TvSysAlloc(size + tvini::kEndMarkSize, size));
  if (!*block) return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
  if (size && TvFileRead(handle, *block, size) != size) {
    TvSysFree(*block, size + tvini::kEndMarkSize, size);
    *block = nullptr;
    return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
  }
  return TvOk;
}

// Value lookup with key prefix, bare-key retry and the TvDefault fall-back.
// A name that could not be written is never found, not even in TvDefault: a
// key too long would match some other key on its first 39 characters, and a
// section that no set can make has no settings.
int32_t Lookup(TvIniBuffer* b, const char* section, const char* key) {
  if (!b || !b->text || !key || (section && !tvini::ValidSection(section))) return kTvIniNone;
  char fullKey[kTvIniKeySize];
  const bool full = tvini::FullKey(*b, key, fullKey) && tvini::ValidKey(fullKey);
  const bool bare = b->prefix[0] && (b->flags & TvIniBareKey) && strlen(key) < kTvIniKeySize && tvini::ValidKey(key);
  if (!full && !bare) return kTvIniNone;
  auto find = [&]() {
    int32_t value = full ? tvini::FindKey(*b, fullKey) : kTvIniNone;
    if (value == kTvIniNone && bare) value = tvini::FindKey(*b, key);
    return value;
  };
  int32_t value = tvini::FindSection(*b, section) ? find() : kTvIniNone;
  if (value == kTvIniNone && section && !(b->flags & TvIniNoDefault) && !TvStrEqualNoCase(section, "TvDefault") &&
      tvini::FindSection(*b, "TvDefault"))
    value = find();
  return value;
}

// Copies a value up to its line end (or a carriage return), trailing spaces removed.
size_t CopyValue(const char* value, char* out, size_t size) {
  size_t n = 0;
  while (n + 1 < size && value[n] != '\n' && value[n] != '\r') ++n;
  while (n > 0 && value[n - 1] == ' ') --n;
  memcpy(out, value, n);
  out[n] = '\0';
  return n;
}

// Length of a value up to its line end (or a carriage return), trailing spaces removed.
size_t ValueLength(const TvIniBuffer& b, uint32_t value) {
  size_t n = tvini::LineEnd(b, value) - value;
  if (const void* cr = tvini::FindByte(b.text + value, '\r', n))
    n = static_cast<size_t>(static_cast<const char*>(cr) - (b.text + value));
  while (n > 0 && b.text[value + n - 1] == ' ') --n;
  return n;
}

// A value line as text for the number and switch parsers.
void ValueText(const TvIniBuffer& b, int32_t value, char* out, size_t size) {
  TvStrCopyUntil(out, b.text + value, '\n', size);
}

// Appends the items of one line to a list; false on a list error.
TvStatus SplitInto(TvList* list, const char* line, char separator) {
  const char* p = line;
  if (separator == ' ') {
    for (;;) {
      while (*p && TvIsSpace(*p)) ++p;
      if (!*p) return TvOk;
      char item[kTvIniListLineSize];
      size_t n = 0;
      while (*p && !TvIsSpace(*p)) {
        if (n + 1 < sizeof item) item[n++] = *p;
        ++p;
      }
      item[n] = '\0';
      if (TvStatus status = TvListAdd(list, item, nullptr); status != TvOk) return status;
    }
  }
  for (;;) {
    char item[kTvIniListLineSize];
    size_t n = 0;
    while (*p && *p != separator) {
      if (n + 1 < sizeof item) item[n++] = *p;
      ++p;
    }
    item[n] = '\0';
    size_t start = 0;
    while (item[start] == ' ') ++start;
    while (n > start && item[n - 1] == ' ') item[--n] = '\0';
    if (TvStatus status = TvListAdd(list, item + start, nullptr); status != TvOk) return status;
    if (!*p) return TvOk;
    ++p;
  }
}

}  // namespace

namespace tvini {

void ClearCursors(TvIniBuffer& b) {
  b.cursor = kTvIniNone;
  DropSection(b);
  b.prefix[0] = '\0';
  b.enumCursor = kTvIniNone;
  b.keyCursor = kTvIniNone;
}

void DropSection(TvIniBuffer& b) {
  b.section = b.sectionClose = b.bodyStart = b.bodyEnd = kTvIniNone;
  b.sectionName[0] = '\0';
}

uint32_t LineFeedsOnly(char* out, const char* text, uint32_t length) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < length; ++i) {
    if (text[i] != '\r') out[n++] = text[i];
    else if (i + 1 == length || text[i + 1] != '\n') out[n++] = '\n';
  }
  return n;
}

uint32_t LineEnd(const TvIniBuffer& b, uint32_t at) {
  const void* end = tvini::FindByte(b.text + at, '\n', b.length + 1 - at);
  return static_cast<uint32_t>(static_cast<const char*>(end) - b.text);
}

bool FullKey(const TvIniBuffer& b, const char* key, char* out) {
  TvStrCopy(out, b.prefix, kTvIniKeySize);
  return TvStrCat(out, key, kTvIniKeySize) == strlen(b.prefix) + strlen(key);
}

bool HasControl(const char* text) {
  for (; *text; ++text)
    if (static_cast<unsigned char>(*text) < 0x20 && *text != '\t') return true;
  return false;
}

bool ValueByte(unsigned char c) { return c >= 0x20 || c == '\t' || c == '\f' || c == 0x1A; }

bool ValueLine(const char* text) {
  for (; *text; ++text)
    if (!ValueByte(static_cast<unsigned char>(*text))) return false;
  return true;
}

bool ValidKey(const char* key) { return *key && !strchr(key, '=') && *key != '[' && *key != '+' && !HasControl(key); }

bool ValidSection(const char* section) {
  return strlen(section) < kTvIniSectionSize && !strpbrk(section, "]*?") && !HasControl(section);
}

bool FindSection(TvIniBuffer& b, const char* name) {
  if (!b.text) return false;
  if (name && strnlen(name, kTvIniSectionSize) == kTvIniSectionSize) {
    // Headers are compared on 79 characters: a longer name would find the
    // section of some other name that starts the same way.
    DropSection(b);
    return false;
  }
  if (b.section != kTvIniNone) {
    if (!name || TvStrEqualNoCase(name, b.sectionName)) {
      b.cursor = b.bodyStart;
      return true;
    }
    DropSection(b);
  }
  const char* text = b.text;
  const uint32_t length = b.length;
  for (uint32_t at = 0; at < length;) {
    const void* open = tvini::FindByte(text + at, '[', length - at);
    if (!open) return false;
    at = static_cast<uint32_t>(static_cast<const char*>(open) - text);
    if (!IsHeaderAt(b, at)) {
      ++at;
      continue;
    }
    const void* closeFound = tvini::FindByte(text + at + 1, ']', length - at - 1);
    if (!closeFound) return false;  // no "]" anywhere later: no further header either
    const uint32_t close = static_cast<uint32_t>(static_cast<const char*>(closeFound) - text);
    const uint32_t nameAt = at + 1;
    size_t nameLength = close - nameAt;
    if (nameLength > kTvIniSectionSize - 1) nameLength = kTvIniSectionSize - 1;
    bool match = true;
    if (name) {
      if (b.flags & TvIniExactSection)
        match = strlen(name) == nameLength && TvStrCompareNoCaseN(text + nameAt, name, nameLength) == 0;
      else match = TvIniSectionMatch(text + nameAt, nameLength, name);
    }
    if (!match) {
      ++at;
      continue;
    }
    SelectSection(b, nameAt, close, name);
    return true;
  }
  return false;
}

void SelectSection(TvIniBuffer& b, uint32_t nameAt, uint32_t close, const char* name) {
  const char* text = b.text;
  b.section = static_cast<int32_t>(nameAt);
  b.sectionClose = static_cast<int32_t>(close);
  b.bodyStart = static_cast<int32_t>(LineEnd(b, close)) + 1;
  // The next "[" at the start of a line; the end mark's at worst.
  uint32_t end = static_cast<uint32_t>(b.bodyStart);
  while (text[end] != '[' || text[end - 1] != '\n')
    end = static_cast<uint32_t>(static_cast<const char*>(tvini::FindByte(text + end + 1, '[', b.length + 2 - end - 1)) -
                                text);
  b.bodyEnd = static_cast<int32_t>(end);
  TvStrCopy(b.sectionName, name ? name : "", sizeof b.sectionName);
  b.cursor = b.bodyStart;
}

int32_t FindKey(TvIniBuffer& b, const char* key) {
  // A line's key runs up to its first "=", so a key with "=" in it is never
  // found; otherwise the line matches when it starts with the key (in any
  // case) followed directly by "=".
  const size_t keyLength = strlen(key);
  if (tvini::FindByte(key, '=', keyLength)) return kTvIniNone;
  const char* text = b.text;
  const uint32_t end = static_cast<uint32_t>(b.bodyEnd);
  for (uint32_t line = static_cast<uint32_t>(b.bodyStart); line < end && line <= b.length;) {
    const uint32_t lineEnd = LineEnd(b, line);
    if (lineEnd - line > keyLength && text[line + keyLength] == '=' &&
        TvStrCompareNoCaseN(text + line, key, keyLength) == 0) {
      b.cursor = static_cast<int32_t>(lineEnd) + 1;
      return static_cast<int32_t>(line + keyLength) + 1;
    }
    line = lineEnd + 1;
  }
  return kTvIniNone;
}

}  // namespace tvini

bool TvIniSectionMatch(const char* pattern, size_t patternLength, const char* name) {
  const char* p = pattern;
  const char* pEnd = pattern + patternLength;
  const char* n = TvStrOrEmpty(name);
  while (p < pEnd) {
    if (*p == '*') {
      ++p;
      if (p == pEnd) return true;  // a final "*" matches the rest
      const char* run = p;
      while (p < pEnd && *p != '*' && *p != '?') ++p;
      const size_t runLength = static_cast<size_t>(p - run);
      if (runLength == 0) continue;
      // The literal run is taken at its first occurrence only.
      const char* found = nullptr;
      for (const char* at = n; *at && !found; ++at)
        if (strnlen(at, runLength) == runLength && TvStrCompareNoCaseN(at, run, runLength) == 0) found = at;
      if (!found) return false;
      n = found + runLength;
    } else if (*p == '?') {
      if (!*n) return false;
      ++p;
      ++n;
    } else {
      if (!*n || TvToUpper(*p) != TvToUpper(*n)) return false;
      ++p;
      ++n;
    }
  }
  return *n == '\0';
}

void TvIniInstallCrc(TvCrcRoutine routine) { crcRoutine = routine; }

TvStatus TvIniLoadHandle(TvIniBuffer* buffer, TvFileHandle handle) {
  if (!buffer) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  uint32_t size = 0;
  if (handle != kTvNoFile) {
    size = TvFileSize(handle);
    if (TvStatus status = TvFileSeek(handle, 0); status != TvOk) return status;
  }
  return TvIniLoadPart(buffer, handle, size);
}

TvStatus TvIniLoadPart(TvIniBuffer* buffer, TvFileHandle handle, uint32_t size) {
  if (!buffer) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  if (size > kTvTextLimit) return TvErrorRaise(TvErrIniTooLarge, nullptr, TvRaiseOrigin);
  char* block;
  if (TvStatus status = ReadBlock(handle, size, &block); status != TvOk) return status;
  Prepare(*buffer, block, size, true);
  return TvOk;
}

TvStatus TvIniLoadText(TvIniBuffer* buffer, const char* text, uint32_t length) {
  if (!buffer || (!text && length)) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  if (length > kTvTextLimit) return TvErrorRaise(TvErrIniTooLarge, nullptr, TvRaiseOrigin);
  char* block = static_cast<char*>(TvSysAlloc(length + tvini::kEndMarkSize, length));
  if (!block) return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
  if (length) memcpy(block, text, length);
  Prepare(*buffer, block, length, true);
  return TvOk;
}

TvStatus TvIniLoadFile(TvIniBuffer* buffer, const char* path) {
  if (!path) return TvIniLoadHandle(buffer, kTvNoFile);
  TvFileHandle handle;
  TvStatus status = TvFileOpen(nullptr, nullptr, path, "ini", TvFileSequential, &handle);
  if (status != TvOk) return status;
  status = TvIniLoadHandle(buffer, handle);
  TvFileClose(handle);
  return status;
}

TvStatus TvIniLoadTrailerText(TvIniBuffer* buffer, TvFileHandle handle, uint32_t length, uint32_t crc) {
  if (!buffer) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  if (length > kTvTextLimit) return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
  char* block;
  if (TvStatus status = ReadBlock(handle, length, &block); status != TvOk) return status;
  for (uint32_t i = 0; i < length; ++i) block[i] = static_cast<char>(~block[i]);
  memcpy(block + length, "\n[", tvini::kEndMarkSize);
  if (crcRoutine && crcRoutine(0xFFFFFFFFu, block, length + tvini::kEndMarkSize) != crc) {
    TvSysFree(block, length + tvini::kEndMarkSize, length);
    return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
  }
  Prepare(*buffer, block, length, false);
  return TvOk;
}

TvStatus TvIniAddRef(const char* path) {
  if (tvConfig.useCount == 0) return TvIniLoadFile(&tvConfig, path);
  ++tvConfig.useCount;
  return TvOk;
}

void TvIniRelease() {
  if (!tvContext.begun || tvConfig.useCount == 0) return;
  if (--tvConfig.useCount == 0) TvIniFree(&tvConfig);
}

void TvIniFree(TvIniBuffer* buffer) {
  if (!buffer) return;
  if (buffer->text) TvSysFree(buffer->text, buffer->capacity, buffer->capacity - tvini::kEndMarkSize);
  buffer->text = nullptr;
  buffer->capacity = buffer->length = 0;
  buffer->useCount = 0;
  buffer->utf8Mark = false;
  tvini::ClearCursors(*buffer);
}

int TvIniGetString(TvIniBuffer* buffer, const char* section, const char* key, const char* defaultValue, char* out,
                   size_t size) {
  const int32_t value = Lookup(buffer, section, key);
  if (!out || size == 0) return value != kTvIniNone;
  if (value == kTvIniNone) {
    if (out != defaultValue) TvStrCopy(out, defaultValue, size);
    return 0;
  }
  CopyValue(buffer->text + value, out, size);
  return 1;
}

int32_t TvIniGetInt(TvIniBuffer* buffer, const char* section, const char* key, int32_t defaultValue) {
  const int32_t value = Lookup(buffer, section, key);
  if (value == kTvIniNone) return defaultValue;
  char text[256];
  ValueText(*buffer, value, text, sizeof text);
  return TvStrToInt(text, nullptr);
}

int64_t TvIniGetInt64(TvIniBuffer* buffer, const char* section, const char* key, int64_t defaultValue) {
  const int32_t value = Lookup(buffer, section, key);
  if (value == kTvIniNone) return defaultValue;
  char text[256];
  ValueText(*buffer, value, text, sizeof text);
  return TvStrToInt64(text, 0, nullptr);
}

int TvIniGetBool(TvIniBuffer* buffer, const char* section, const char* key, int defaultValue) {
  const int32_t value = Lookup(buffer, section, key);
  if (value == kTvIniNone) return defaultValue;
  char text[256];
  ValueText(*buffer, value, text, sizeof text);
  return TvStrToBool(text) ? 1 : 0;
}

int TvIniGetBoolChecked(TvIniBuffer* buffer, const char* section, const char* key, int defaultValue) {
  const int32_t value = Lookup(buffer, section, key);
  if (value == kTvIniNone) return defaultValue;
  char text[256];
  ValueText(*buffer, value, text, sizeof text);
  int result = defaultValue;
  if (TvStrToBoolChecked(text, &result, defaultValue) != TvOk) {
    // The message names the server configuration whatever file was read.
    char line[300];
    TvFormat(line, sizeof line, "Warning: boolean value expected. %s %s %s\n", "The value assigned to",
             TvStrOrEmpty(key), "in tvwserv.ini is not recognised");
    tvHooks.logLine(line);
  }
  return result;
}

int TvIniNextLine(TvIniBuffer* buffer, char* out, size_t size) {
  if (!buffer || !buffer->text || buffer->cursor == kTvIniNone ||
      static_cast<uint32_t>(buffer->cursor) >= buffer->length || buffer->text[buffer->cursor] != '+')
    return 0;
  const uint32_t line = static_cast<uint32_t>(buffer->cursor) + 1;
  if (out && size) CopyValue(buffer->text + line, out, size);
  buffer->cursor = static_cast<int32_t>(tvini::LineEnd(*buffer, line)) + 1;
  return 1;
}

int TvIniGetValueSpan(TvIniBuffer* buffer, const char* section, const char* key, const char** text, size_t* length) {
  const int32_t value = Lookup(buffer, section, key);
  *text = value == kTvIniNone ? "" : buffer->text + value;
  *length = value == kTvIniNone ? 0 : ValueLength(*buffer, static_cast<uint32_t>(value));
  return value != kTvIniNone;
}

int TvIniNextLineSpan(TvIniBuffer* buffer, const char** text, size_t* length) {
  *text = "";
  *length = 0;
  if (!buffer || !buffer->text || buffer->cursor == kTvIniNone ||
      static_cast<uint32_t>(buffer->cursor) >= buffer->length || buffer->text[buffer->cursor] != '+')
    return 0;
  const uint32_t line = static_cast<uint32_t>(buffer->cursor) + 1;
  *text = buffer->text + line;
  *length = ValueLength(*buffer, line);
  buffer->cursor = static_cast<int32_t>(tvini::LineEnd(*buffer, line)) + 1;
  return 1;
}

TvStatus TvIniGetList(TvIniBuffer* buffer, const char* section, const char* key, TvList* list, char separator) {
  char line[kTvIniListLineSize];
  if (!TvIniGetString(buffer, section, key, "", line, sizeof line)) return TvOk;
  do {
    if (TvStatus status = SplitInto(list, line, separator); status != TvOk) return status;
  } while (TvIniNextLine(buffer, line, sizeof line));
  return TvOk;
}

size_t TvIniExpand(TvIniBuffer* buffer, const char* section, const char* in, char* out, size_t size) {
  if (!out || size == 0) return 0;
  size_t n = 0;
  const char* p = TvStrOrEmpty(in);
  while (*p && n + 1 < size) {
    if (*p != '#') {
      out[n++] = *p++;
      continue;
    }
    if (p[1] == '#') {
      out[n++] = '#';
      p += 2;
      continue;
    }
    const char* close = strchr(p + 1, '#');
    if (!close) {  // an unclosed mark is dropped
      ++p;
      continue;
    }
    const size_t nameLength = static_cast<size_t>(close - p - 1);
    if (nameLength < kTvIniKeySize) {
      char name[kTvIniKeySize];
      TvStrCopy(name, p + 1, nameLength + 1);
      char value[256];
      TvIniGetString(buffer, section, name, "", value, sizeof value);
      out[n] = '\0';
      n = TvStrCat(out, value, size);
    }
    p = close + 1;
  }
  out[n] = '\0';
  return n;
}

void TvIniSetPrefix(TvIniBuffer* buffer, const char* prefix) {
  if (buffer) TvStrCopy(buffer->prefix, prefix, sizeof buffer->prefix);
}

uint16_t TvIniSetFlags(TvIniBuffer* buffer, uint16_t flags) {
  if (!buffer) return 0;
  const uint16_t previous = buffer->flags;
  buffer->flags = flags;
  return previous;
}

int TvConfigGetString(const char* section, const char* key, const char* defaultValue, char* out, size_t size) {
  return TvIniGetString(&tvConfig, section, key, defaultValue, out, size);
}
int32_t TvConfigGetInt(const char* section, const char* key, int32_t defaultValue) {
  return TvIniGetInt(&tvConfig, section, key, defaultValue);
}
int64_t TvConfigGetInt64(const char* section, const char* key, int64_t defaultValue) {
  return TvIniGetInt64(&tvConfig, section, key, defaultValue);
}
int TvConfigGetBool(const char* section, const char* key, int defaultValue) {
  return TvIniGetBool(&tvConfig, section, key, defaultValue);
}
int TvConfigGetBoolChecked(const char* section, const char* key, int defaultValue) {
  return TvIniGetBoolChecked(&tvConfig, section, key, defaultValue);
}
int TvConfigNextLine(char* out, size_t size) { return TvIniNextLine(&tvConfig, out, size); }
TvStatus TvConfigGetList(const char* section, const char* key, TvList* list, char separator) {
  return TvIniGetList(&tvConfig, section, key, list, separator);
}
size_t TvConfigExpand(const char* section, const char* in, char* out, size_t size) {
  return TvIniExpand(&tvConfig, section, in, out, size);
}
void TvConfigSetPrefix(const char* prefix) { TvIniSetPrefix(&tvConfig, prefix); }
uint16_t TvConfigSetFlags(uint16_t flags) { return TvIniSetFlags(&tvConfig, flags); }
int TvConfigSectionExists(const char* section) { return TvIniSectionExists(&tvConfig, section); }
size_t TvConfigCurrentSection(char* out, size_t size) { return TvIniCurrentSection(&tvConfig, out, size); }
int TvConfigNextSection(int first, char* out, size_t size) { return TvIniNextSection(&tvConfig, first, out, size); }
int TvConfigNextKey(int first, char* out, size_t size) { return TvIniNextKey(&tvConfig, first, out, size); }
