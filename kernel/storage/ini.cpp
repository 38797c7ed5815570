// ini.cpp: the ini engine: loading a text, finding sections (with header
// patterns and a one-section cache), keys and values, continuation lines.
#include "tv_ini.h"

#include <cstring>

#include "tv_charset.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_instance.h"
#include "tv_memory.h"
#include "tv_string.h"

TvIniBuffer tvConfig;

namespace {

constexpr char kEndMark[] = "\n[";  // with its NUL: three bytes after the text
constexpr uint32_t kEndMarkSize = 3;
TvCrcRoutine crcRoutine = nullptr;

void ClearCursors(TvIniBuffer& b) {
  b.cursor = 0;
  b.section = b.sectionClose = b.bodyStart = b.bodyEnd = kTvIniNone;
  b.sectionName[0] = '\0';
  b.prefix[0] = '\0';
  b.enumCursor = kTvIniNone;
}

void DropSection(TvIniBuffer& b) {
  b.section = b.sectionClose = b.bodyStart = b.bodyEnd = kTvIniNone;
  b.sectionName[0] = '\0';
}

// Takes over a freshly read block of size + 3 bytes holding size bytes.
void Prepare(TvIniBuffer& b, char* block, uint32_t size) {
  uint32_t length = 0;
  for (uint32_t i = 0; i < size; ++i)
    if (block[i] != '\r') block[length++] = block[i];
  memcpy(block + length, kEndMark, kEndMarkSize);
  if (b.text) TvSysFree(b.text, b.capacity, b.length);
  b.text = block;
  b.capacity = size + kEndMarkSize;
  b.length = length;
  b.useCount = 1;
  b.flags = 0;
  ClearCursors(b);
}

bool IsHeaderStart(const TvIniBuffer& b, uint32_t at) {
  return b.text[at] == '[' && (at == 0 || b.text[at - 1] == '\n');
}

// Finds the section asked (or the first one for none) and caches it.
bool FindSection(TvIniBuffer& b, const char* name) {
  if (!b.text) return false;
  if (b.section != kTvIniNone) {
    if (!name || TvStrEqualNoCase(name, b.sectionName)) {
      b.cursor = b.bodyStart;
      return true;
    }
    DropSection(b);
  }
  const char* text = b.text;
  for (uint32_t at = 0; at < b.length; ++at) {
    if (!IsHeaderStart(b, at)) {
      const char* next = static_cast<const char*>(memchr(text + at, '\n', b.length - at));
      if (!next) break;
      at = static_cast<uint32_t>(next - text);  // the loop steps onto the next line
      continue;
    }
    const char* close = static_cast<const char*>(memchr(text + at + 1, ']', b.length - at - 1));
    if (!close) break;  // no "]" anywhere later: no further header either
    const uint32_t nameAt = at + 1;
    size_t nameLength = static_cast<size_t>(close - text) - nameAt;
    if (nameLength > kTvIniSectionSize - 1) nameLength = kTvIniSectionSize - 1;
    bool match;
    if (!name)
      match = true;
    else if (b.flags & TvIniExactSection)
      match = strlen(name) == nameLength && TvStrCompareNoCaseN(text + nameAt, name, nameLength) == 0;
    else
      match = TvIniSectionMatch(text + nameAt, nameLength, name);
    if (!match) {
      const char* next = static_cast<const char*>(memchr(text + at, '\n', b.length - at));
      if (!next) break;
      at = static_cast<uint32_t>(next - text);
      continue;
    }
    b.section = static_cast<int32_t>(nameAt);
    b.sectionClose = static_cast<int32_t>(close - text);
    // The end mark guarantees a line feed and a "\n[" beyond the text.
    const char* lineEnd = static_cast<const char*>(memchr(close, '\n', b.length + 1 - (close - text)));
    b.bodyStart = static_cast<int32_t>(lineEnd - text) + 1;
    if (text[b.bodyStart] == '[') {
      b.bodyEnd = b.bodyStart;
    } else {
      const char* end = strstr(text + b.bodyStart, "\n[");
      b.bodyEnd = static_cast<int32_t>(end - text) + 1;
    }
    TvStrCopy(b.sectionName, name ? name : "", sizeof b.sectionName);
    b.cursor = b.bodyStart;
    return true;
  }
  return false;
}

// The value of key in the cached section, or kTvIniNone.
int32_t FindKey(TvIniBuffer& b, const char* key) {
  const size_t keyLength = strlen(key);
  const char* text = b.text;
  uint32_t line = static_cast<uint32_t>(b.bodyStart);
  const uint32_t end = static_cast<uint32_t>(b.bodyEnd);
  while (line < end) {
    const char* lineEnd = static_cast<const char*>(memchr(text + line, '\n', b.length + 1 - line));
    const uint32_t next = static_cast<uint32_t>(lineEnd - text) + 1;
    const char* equals = static_cast<const char*>(memchr(text + line, '=', next - 1 - line));
    if (equals) {
      if (static_cast<uint32_t>(equals - text) >= end) return kTvIniNone;
      size_t length = static_cast<size_t>(equals - (text + line));
      if (length == keyLength && TvStrCompareNoCaseN(text + line, key, length) == 0) {
        b.cursor = static_cast<int32_t>(next);
        return static_cast<int32_t>(equals - text) + 1;
      }
    }
    line = next;
  }
  return kTvIniNone;
}

int32_t FindKeyWithPrefix(TvIniBuffer& b, const char* fullKey, const char* key) {
  int32_t value = FindKey(b, fullKey);
  if (value == kTvIniNone && b.prefix[0] && (b.flags & TvIniBareKey)) value = FindKey(b, key);
  return value;
}

// Value lookup with key prefix, bare-key retry and the TvDefault fall-back.
int32_t Lookup(TvIniBuffer* b, const char* section, const char* key) {
  if (!b || !b->text || !key) return kTvIniNone;
  char fullKey[kTvIniKeySize];
  TvStrCopy(fullKey, b->prefix, sizeof fullKey);
  TvStrCat(fullKey, key, sizeof fullKey);
  int32_t value = kTvIniNone;
  if (FindSection(*b, section)) value = FindKeyWithPrefix(*b, fullKey, key);
  if (value == kTvIniNone && section && !(b->flags & TvIniNoDefault) && !TvStrEqualNoCase(section, "TvDefault") &&
      FindSection(*b, "TvDefault"))
    value = FindKeyWithPrefix(*b, fullKey, key);
  return value;
}

// Copies a value up to its line end, trailing spaces removed.
size_t CopyValue(const char* value, char* out, size_t size) {
  size_t n = 0;
  while (n + 1 < size && value[n] && value[n] != '\n' && value[n] != '\r') ++n;
  while (n > 0 && value[n - 1] == ' ') --n;
  memcpy(out, value, n);
  out[n] = '\0';
  return n;
}

}  // namespace

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
      for (const char* at = n; *at; ++at)
        if (strnlen(at, runLength) == runLength && TvStrCompareNoCaseN(at, run, runLength) == 0) {
          found = at;
          break;
        }
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
    if (size > 0x7FFFFFF0u) return TvErrorRaise(TvErrIniTooLarge, nullptr, TvRaiseOrigin);
    if (TvFileSeek(handle, 0) != TvOk) return TvErrFileRead;
  }
  char* block = static_cast<char*>(TvSysAlloc(size + kEndMarkSize, size));
  if (!block) return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
  uint32_t got = size ? TvFileRead(handle, block, size) : 0;
  if (got != size) {
    TvSysFree(block, size + kEndMarkSize, size);
    return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
  }
  Prepare(*buffer, block, size);
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

TvStatus TvIniAddRef(const char* path) {
  if (tvConfig.useCount == 0) return TvIniLoadFile(&tvConfig, path);
  ++tvConfig.useCount;
  return TvOk;
}

void TvIniRelease() {
  if (!tvInstance.begun || tvConfig.useCount == 0) return;
  if (--tvConfig.useCount == 0) TvIniFree(&tvConfig);
}

void TvIniFree(TvIniBuffer* buffer) {
  if (!buffer) return;
  if (buffer->text) TvSysFree(buffer->text, buffer->capacity, buffer->length);
  buffer->text = nullptr;
  buffer->capacity = buffer->length = 0;
  buffer->useCount = 0;
  ClearCursors(*buffer);
}

int TvIniGetString(TvIniBuffer* buffer, const char* section, const char* key, const char* defaultValue, char* out,
                   size_t size) {
  int32_t value = Lookup(buffer, section, key);
  if (!out || size == 0) return value != kTvIniNone;
  if (value == kTvIniNone) {
    if (out != defaultValue) TvStrCopy(out, defaultValue, size);
    return 0;
  }
  CopyValue(buffer->text + value, out, size);
  return 1;
}

int32_t TvIniGetInt(TvIniBuffer* buffer, const char* section, const char* key, int32_t defaultValue) {
  int32_t value = Lookup(buffer, section, key);
  if (value == kTvIniNone) return defaultValue;
  char text[512];
  TvStrCopyUntil(text, buffer->text + value, '\n', sizeof text);
  return TvStrToInt(text, nullptr);
}

int TvIniGetBool(TvIniBuffer* buffer, const char* section, const char* key, int defaultValue) {
  int32_t value = Lookup(buffer, section, key);
  if (value == kTvIniNone) return defaultValue;
  char text[512];
  TvStrCopyUntil(text, buffer->text + value, '\n', sizeof text);
  return TvStrToBool(text) ? 1 : 0;
}

int TvIniNextLine(TvIniBuffer* buffer, char* out, size_t size) {
  if (!buffer || !buffer->text || buffer->cursor == kTvIniNone ||
      static_cast<uint32_t>(buffer->cursor) >= buffer->length || buffer->text[buffer->cursor] != '+')
    return 0;
  const char* line = buffer->text + buffer->cursor + 1;
  if (out && size) CopyValue(line, out, size);
  const char* lineEnd = static_cast<const char*>(memchr(line, '\n', buffer->length + 1 - (line - buffer->text)));
  buffer->cursor = static_cast<int32_t>(lineEnd - buffer->text) + 1;
  return 1;
}

void TvIniSetPrefix(TvIniBuffer* buffer, const char* prefix) {
  if (buffer) TvStrCopy(buffer->prefix, prefix, sizeof buffer->prefix);
}

uint16_t TvIniSetFlags(TvIniBuffer* buffer, uint16_t flags) {
  if (!buffer) return 0;
  uint16_t previous = buffer->flags;
  buffer->flags = flags;
  return previous;
}

int TvIniSectionExists(TvIniBuffer* buffer, const char* section) {
  return buffer && buffer->text && FindSection(*buffer, section) ? 1 : 0;
}

int TvConfigGetString(const char* section, const char* key, const char* defaultValue, char* out, size_t size) {
  return TvIniGetString(&tvConfig, section, key, defaultValue, out, size);
}
int32_t TvConfigGetInt(const char* section, const char* key, int32_t defaultValue) {
  return TvIniGetInt(&tvConfig, section, key, defaultValue);
}
int TvConfigGetBool(const char* section, const char* key, int defaultValue) {
  return TvIniGetBool(&tvConfig, section, key, defaultValue);
}
int TvConfigNextLine(char* out, size_t size) { return TvIniNextLine(&tvConfig, out, size); }
int TvConfigSectionExists(const char* section) { return TvIniSectionExists(&tvConfig, section); }
