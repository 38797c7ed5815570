// ini_edit.cpp: the edit half of the ini engine. Every edit splices the text
// in place and resizes the block to exactly the new length plus the end
// mark. Nothing that would break the text (or could not be found again) is
// written.
#include <cstring>
#include <initializer_list>

#include "ini_internal.h"
#include "tv_context.h"
#include "tv_memory.h"
#include "tv_string.h"

namespace {

using tvini::kEndMarkSize;

// Keeps a walking position valid across a splice at at that removed
// `removed` bytes and inserted `inserted`.
void Shift(int32_t& position, uint32_t at, uint32_t removed, uint32_t inserted) {
  if (position == kTvIniNone || static_cast<uint32_t>(position) <= at) return;
  if (static_cast<uint32_t>(position) < at + removed) position = static_cast<int32_t>(at);
  else position += static_cast<int32_t>(inserted) - static_cast<int32_t>(removed);
}

// After a splice: the cached section stays when the edit lay inside its
// body and neither made nor broke a header (a "[" at the start of a line),
// its end moving with the edit; otherwise it is dropped. A search would
// find the same section, and the same end.
void KeepSection(TvIniBuffer& b, uint32_t at, uint32_t removed, uint32_t insertedLength) {
  const char* text = b.text;
  if (b.section == kTvIniNone || b.bodyStart > b.bodyEnd || at < static_cast<uint32_t>(b.bodyStart) ||
      at + removed > static_cast<uint32_t>(b.bodyEnd) || tvini::FindByte(text + at, '[', insertedLength)) {
    tvini::DropSection(b);
    return;
  }
  const uint32_t after = at + insertedLength;  // the first byte after the edit
  const bool atEnd = at + removed == static_cast<uint32_t>(b.bodyEnd);
  const bool lineStart = after == 0 || text[after - 1] == '\n';
  // Up to the next header: it must still start a line. Inside the body: the
  // byte after the edit must not start a header now.
  if (atEnd ? !(after == b.length || lineStart) : (text[after] == '[' && lineStart)) {
    tvini::DropSection(b);
    return;
  }
  b.bodyEnd = static_cast<int32_t>(static_cast<uint32_t>(b.bodyEnd) - removed + insertedLength);
}

// Replaces removed bytes at at by the inserted text. The block always ends
// up exactly length + 3 bytes; when it cannot grow, nothing changes and the
// result is -1001. A block that cannot shrink is kept as it is: the text in
// it is already complete.
TvStatus Splice(TvIniBuffer& b, uint32_t at, uint32_t removed, const char* inserted, uint32_t insertedLength) {
  const uint32_t oldLength = b.length;
  const uint64_t newLength64 = uint64_t{oldLength} - removed + insertedLength;
  if (newLength64 > kTvTextLimit) return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
  const uint32_t newLength = static_cast<uint32_t>(newLength64);
  const uint32_t tail = oldLength + kEndMarkSize - (at + removed);  // end mark included
  char* text = b.text;
  if (newLength + kEndMarkSize > b.capacity) {
    text = static_cast<char*>(
        TvSysResize(b.text, b.capacity, newLength + kEndMarkSize,
                    static_cast<ptrdiff_t>(newLength + kEndMarkSize) - static_cast<ptrdiff_t>(b.capacity)));
    if (!text) return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
    b.text = text;
    b.capacity = newLength + kEndMarkSize;
    memmove(text + at + insertedLength, text + at + removed, tail);
  } else {
    memmove(text + at + insertedLength, text + at + removed, tail);
    if (newLength + kEndMarkSize < b.capacity) {
      char* shrunk = static_cast<char*>(
          TvSysResize(b.text, b.capacity, newLength + kEndMarkSize,
                      static_cast<ptrdiff_t>(newLength + kEndMarkSize) - static_cast<ptrdiff_t>(b.capacity)));
      if (shrunk) {
        b.text = text = shrunk;
        b.capacity = newLength + kEndMarkSize;
      }
    }
  }
  if (insertedLength) memcpy(text + at, inserted, insertedLength);
  b.length = newLength;
  KeepSection(b, at, removed, insertedLength);
  Shift(b.enumCursor, at, removed, insertedLength);
  Shift(b.keyCursor, at, removed, insertedLength);
  return TvOk;
}

// -1096 with the refused text as detail, its control characters shown as "?".
TvStatus Refuse(const char* first, const char* second = "") {
  char detail[120];
  TvStrCopy(detail, first, sizeof detail);
  TvStrCat(detail, second, sizeof detail);
  for (char* p = detail; *p; ++p)
    if (static_cast<unsigned char>(*p) < 0x20) *p = '?';
  return TvErrorRaise(TvErrInputChars, detail, TvRaiseOrigin);
}

// "%s=%s" and a line end, built in an allocated piece.
struct Piece {
  char* data = nullptr;
  uint32_t length = 0;
  uint32_t size = 0;
  ~Piece() { TvMemFree(data); }
  bool Build(std::initializer_list<const char*> parts) {
    uint64_t total = 0;
    for (const char* part : parts) total += strlen(part);
    if (total > kTvTextLimit) return false;
    size = static_cast<uint32_t>(total) + 1;
    data = static_cast<char*>(TvMemAlloc(0, size));
    if (!data) return false;
    data[0] = '\0';
    for (const char* part : parts) TvStrCat(data, part, size);
    length = static_cast<uint32_t>(total);
    return true;
  }
};

// End of the last continuation line below a key line that starts at line.
uint32_t ValueEnd(const TvIniBuffer& b, uint32_t from) {
  uint32_t end = tvini::LineEnd(b, from);
  while (end + 1 < b.length && b.text[end + 1] == '+') end = tvini::LineEnd(b, end + 1);
  return end;
}

// The names of a set or delete, checked: fullKey gets the key with the prefix.
TvStatus CheckNames(TvIniBuffer& b, const char* section, const char* key, char* fullKey) {
  b.cursor = kTvIniNone;
  const bool full = tvini::FullKey(b, key, fullKey);
  // A delete with a name that no set could have written is refused as well.
  if (section && !tvini::ValidSection(section)) return Refuse(section);
  if (!full || !tvini::ValidKey(fullKey)) return Refuse(b.prefix, key);
  return TvOk;
}

// TvIniSetString once the names and the value are checked; the value may
// hold continuation lines ("\n+" and the line).
TvStatus SetValue(TvIniBuffer& b, const char* section, const char* fullKey, const char* value) {
  if (tvini::FindSection(b, section)) {
    const uint32_t bodyEnd = static_cast<uint32_t>(b.bodyEnd);
    const int32_t found = tvini::FindKey(b, fullKey);
    b.cursor = kTvIniNone;
    if (found != kTvIniNone) {
      const uint32_t valueAt = static_cast<uint32_t>(found);
      const uint32_t end = ValueEnd(b, valueAt);
      if (!value) {
        uint32_t lineStart = valueAt - 1 - static_cast<uint32_t>(strlen(fullKey));
        uint32_t removeEnd = end < b.length ? end + 1 : end;
        return Splice(b, lineStart, removeEnd - lineStart, nullptr, 0);
      }
      const uint32_t valueLength = static_cast<uint32_t>(strlen(value));
      if (TvStatus status = Splice(b, valueAt, end - valueAt, value, valueLength); status != TvOk) return status;
      b.cursor = static_cast<int32_t>(valueAt + valueLength);
      return TvOk;
    }
    if (!value) return TvOk;
    // Insert after the section's last non-empty line, above its trailing blank lines.
    uint32_t p = bodyEnd;
    while (p > 0 && b.text[p - 1] == '\n' && p - 1 >= static_cast<uint32_t>(b.sectionClose)) --p;
    Piece line;
    if (p == b.length) {
      // The last line of the text has no line end: the new line follows it.
      if (!line.Build({"\n", fullKey, "=", value})) return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
      if (TvStatus status = Splice(b, p, 0, line.data, line.length); status != TvOk) return status;
      b.cursor = static_cast<int32_t>(b.length);
      return TvOk;
    }
    if (!line.Build({fullKey, "=", value, "\n"})) return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
    if (TvStatus status = Splice(b, p + 1, 0, line.data, line.length); status != TvOk) return status;
    b.cursor = static_cast<int32_t>(p + line.length);
    return TvOk;
  }

  if (!value) return TvOk;
  const char* name = section ? section : "TvDefault";
  const bool needLineEnd = b.length > 0 && b.text[b.length - 1] != '\n';
  Piece block;
  if (!block.Build({needLineEnd ? "\n" : "", "[", name, "]\n", fullKey, "=", value, "\n\n"}))
    return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
  const uint32_t at = b.length;
  if (TvStatus status = Splice(b, at, 0, block.data, block.length); status != TvOk) return status;
  b.cursor = static_cast<int32_t>(b.length - 2);
  return TvOk;
}

}  // namespace

TvStatus TvIniSetString(TvIniBuffer* buffer, const char* section, const char* key, const char* value) {
  if (!buffer || !buffer->text) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  char fullKey[kTvIniKeySize];
  if (TvStatus status = CheckNames(*buffer, section, TvStrOrEmpty(key), fullKey); status != TvOk) return status;
  if (value && !tvini::ValueLine(value)) return Refuse(fullKey);
  return SetValue(*buffer, section, fullKey, value);
}

TvStatus TvIniSetLines(TvIniBuffer* buffer, const char* section, const char* key, const char* const* lines,
                       uint32_t count) {
  if (count == 0) return TvOk;
  if (!buffer || !buffer->text) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  char fullKey[kTvIniKeySize];
  if (TvStatus status = CheckNames(*buffer, section, TvStrOrEmpty(key), fullKey); status != TvOk) return status;
  const char* first = TvStrOrEmpty(lines[0]);
  if (!tvini::ValueLine(first)) return Refuse(fullKey);
  uint64_t total = strlen(first);
  for (uint32_t i = 1; i < count; ++i) {
    const char* line = TvStrOrEmpty(lines[i]);
    if (!tvini::ValueLine(line)) return Refuse("+", line);
    total += 2 + strlen(line);
  }
  if (total > kTvTextLimit) return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
  char* value = static_cast<char*>(TvMemAlloc(0, static_cast<size_t>(total) + 1));
  if (!value) return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
  size_t used = strlen(first);
  memcpy(value, first, used);
  for (uint32_t i = 1; i < count; ++i) {
    const char* line = TvStrOrEmpty(lines[i]);
    const size_t length = strlen(line);
    memcpy(value + used, "\n+", 2);
    memcpy(value + used + 2, line, length);
    used += 2 + length;
  }
  value[used] = '\0';
  const TvStatus status = SetValue(*buffer, section, fullKey, value);
  TvMemFree(value);
  return status;
}

int TvIniRenameLastKey(TvIniBuffer* buffer, const char* section, const char* from, const char* to) {
  if (!buffer || !buffer->text || buffer->prefix[0] || !from || !to) return 0;
  TvIniBuffer& b = *buffer;
  const size_t nameLength = strlen(from);
  if (strlen(to) != nameLength || nameLength >= kTvIniKeySize || !tvini::ValidKey(from) || !tvini::ValidKey(to))
    return 0;
  if (section && !tvini::ValidSection(section)) return 0;
  if (!tvini::FindSection(b, section) || tvini::FindKey(b, to) != kTvIniNone) {
    b.cursor = kTvIniNone;
    return 0;
  }
  tvini::FindSection(b, section);
  const int32_t found = tvini::FindKey(b, from);
  b.cursor = kTvIniNone;
  if (found == kTvIniNone) return 0;
  const uint32_t valueAt = static_cast<uint32_t>(found);
  const uint32_t end = ValueEnd(b, valueAt);
  // Where a set would put a new key: after the last non-empty line.
  uint32_t p = static_cast<uint32_t>(b.bodyEnd);
  while (p > 0 && b.text[p - 1] == '\n' && p - 1 >= static_cast<uint32_t>(b.sectionClose)) --p;
  if (end >= b.length || p != end) return 0;
  // The lines go back as the spans of a read give them: none may end in a
  // blank, and none may hold what a set refuses.
  for (uint32_t at = valueAt; at < end; ++at) {
    const auto c = static_cast<unsigned char>(b.text[at]);
    if (c == '\n' ? b.text[at - 1] == ' ' : !tvini::ValueByte(c)) return 0;
  }
  if (b.text[end - 1] == ' ') return 0;
  memcpy(b.text + valueAt - 1 - nameLength, to, nameLength);
  return 1;
}

TvStatus TvIniSetInt(TvIniBuffer* buffer, const char* section, const char* key, int32_t value) {
  char text[16];
  TvFormat(text, sizeof text, "%ld", static_cast<long>(value));
  return TvIniSetString(buffer, section, key, text);
}

TvStatus TvIniSetInt64(TvIniBuffer* buffer, const char* section, const char* key, int64_t value) {
  char text[24];
  TvFormat(text, sizeof text, "%lld", static_cast<long long>(value));
  return TvIniSetString(buffer, section, key, text);
}

TvStatus TvIniSetBool(TvIniBuffer* buffer, const char* section, const char* key, int value) {
  return TvIniSetString(buffer, section, key, value ? "Yes" : "No");
}

TvStatus TvIniAddLine(TvIniBuffer* buffer, const char* text) {
  if (!buffer || !buffer->text) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  TvIniBuffer& b = *buffer;
  if (!tvini::ValueLine(TvStrOrEmpty(text))) return Refuse("+", text);
  if (b.cursor == kTvIniNone || static_cast<uint32_t>(b.cursor) > b.length)
    return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
  const uint32_t at = static_cast<uint32_t>(b.cursor);
  Piece line;
  // Normally the cursor rests on the line feed that ends the value just
  // written. After a lookup it rests at the start of a line: the new line
  // then goes in front of that line instead of being joined to it.
  const bool onLineFeed = at > 0 && b.text[at - 1] != '\n';
  if (!(onLineFeed ? line.Build({"\n+", TvStrOrEmpty(text)}) : line.Build({"+", TvStrOrEmpty(text), "\n"})))
    return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
  if (TvStatus status = Splice(b, at, 0, line.data, line.length); status != TvOk) return status;
  b.cursor = static_cast<int32_t>(at + line.length - (onLineFeed ? 0 : 1));
  return TvOk;
}

int TvIniDeleteSection(TvIniBuffer* buffer, const char* section) {
  if (!buffer || !buffer->text || !tvini::FindSection(*buffer, section)) return 0;
  TvIniBuffer& b = *buffer;
  const uint32_t start = static_cast<uint32_t>(b.section) - 1;
  uint32_t end = static_cast<uint32_t>(b.bodyEnd);
  if (end > b.length) end = b.length;
  b.cursor = kTvIniNone;
  Splice(b, start, end - start, nullptr, 0);  // shrinking never loses the text
  return 1;
}

char* TvIniGetSectionText(TvIniBuffer* buffer, const char* section) {
  if (!buffer || !buffer->text || !tvini::FindSection(*buffer, section)) return nullptr;
  uint32_t start = static_cast<uint32_t>(buffer->bodyStart);
  uint32_t end = static_cast<uint32_t>(buffer->bodyEnd);
  if (end > buffer->length) end = buffer->length;
  if (start > end) start = end;  // a header on the last line: an empty body
  char* copy = static_cast<char*>(TvMemAlloc(0, end - start + 1));
  if (!copy) return nullptr;
  memcpy(copy, buffer->text + start, end - start);
  copy[end - start] = '\0';
  return copy;
}

TvStatus TvIniAddSection(TvIniBuffer* buffer, const char* section, const char* body) {
  if (!buffer || !buffer->text) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  if (!body) return TvOk;
  section = TvStrOrEmpty(section);
  if (!tvini::ValidSection(section)) return Refuse(section);
  TvIniBuffer& b = *buffer;
  const bool needLineEnd = b.length > 0 && b.text[b.length - 1] != '\n';
  Piece block;
  if (!block.Build({needLineEnd ? "\n" : "", "[", section, "]\n", body}))
    return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
  const uint32_t length = tvini::LineFeedsOnly(block.data, block.data, block.length);  // as on loading
  b.cursor = kTvIniNone;
  return Splice(b, b.length, 0, block.data, length);
}

char* TvIniGetText(TvIniBuffer* buffer) {
  if (!buffer || !buffer->text) return nullptr;
  char* copy = static_cast<char*>(TvMemAlloc(0, buffer->length + 1));
  if (!copy) return nullptr;
  memcpy(copy, buffer->text, buffer->length);
  copy[buffer->length] = '\0';
  return copy;
}

TvStatus TvConfigSetString(const char* section, const char* key, const char* value) {
  return TvIniSetString(&tvConfig, section, key, value);
}
TvStatus TvConfigSetInt(const char* section, const char* key, int32_t value) {
  return TvIniSetInt(&tvConfig, section, key, value);
}
TvStatus TvConfigSetInt64(const char* section, const char* key, int64_t value) {
  return TvIniSetInt64(&tvConfig, section, key, value);
}
TvStatus TvConfigSetBool(const char* section, const char* key, int value) {
  return TvIniSetBool(&tvConfig, section, key, value);
}
TvStatus TvConfigAddLine(const char* text) { return TvIniAddLine(&tvConfig, text); }
int TvConfigDeleteSection(const char* section) { return TvIniDeleteSection(&tvConfig, section); }
char* TvConfigGetSectionText(const char* section) { return TvIniGetSectionText(&tvConfig, section); }
TvStatus TvConfigAddSection(const char* section, const char* body) { return TvIniAddSection(&tvConfig, section, body); }
char* TvConfigGetText() { return TvIniGetText(&tvConfig); }
