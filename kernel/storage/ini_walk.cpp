// ini_walk.cpp: walking an ini text section by section and key by key,
// and the operations on a whole record (saving and restoring its state, a
// clone).
#include <cstring>

#include "ini_internal.h"
#include "tv_charset.h"
#include "tv_context.h"
#include "tv_memory.h"
#include "tv_string.h"

int TvIniSectionExists(TvIniBuffer* buffer, const char* section) {
  return buffer && buffer->text && tvini::FindSection(*buffer, section) ? 1 : 0;
}

size_t TvIniCurrentSection(TvIniBuffer* buffer, char* out, size_t size) {
  if (!buffer || !buffer->text || buffer->section == kTvIniNone || !out || size == 0) return TvStrCopy(out, "", size);
  const size_t length = static_cast<size_t>(buffer->sectionClose - buffer->section);
  return TvStrCopy(out, buffer->text + buffer->section, length + 1 < size ? length + 1 : size);
}

int TvIniNextSection(TvIniBuffer* buffer, int first, char* out, size_t size) {
  TvStrCopy(out, "", size);
  if (!buffer || !buffer->text) return 0;
  tvini::DropSection(*buffer);
  uint32_t at = first || buffer->enumCursor == kTvIniNone ? 0 : static_cast<uint32_t>(buffer->enumCursor);
  for (; at < buffer->length; ++at) {
    const void* open = tvini::FindByte(buffer->text + at, '[', buffer->length - at);
    if (!open) break;
    at = static_cast<uint32_t>(static_cast<const char*>(open) - buffer->text);
    if (!tvini::IsHeaderAt(*buffer, at)) continue;
    const void* close = tvini::FindByte(buffer->text + at + 1, ']', buffer->length - at - 1);
    if (!close) break;
    const uint32_t closeAt = static_cast<uint32_t>(static_cast<const char*>(close) - buffer->text);
    const size_t length = closeAt - at - 1;
    if (out && size) TvStrCopy(out, buffer->text + at + 1, length + 1 < size ? length + 1 : size);
    buffer->enumCursor = static_cast<int32_t>(closeAt) + 1;
    return 1;
  }
  buffer->enumCursor = static_cast<int32_t>(buffer->length);
  return 0;
}

int TvIniUseEnumSection(TvIniBuffer* buffer, const char* name) {
  if (!buffer || !buffer->text || buffer->enumCursor == kTvIniNone || buffer->enumCursor == 0 ||
      static_cast<uint32_t>(buffer->enumCursor) > buffer->length || !name ||
      strnlen(name, kTvIniSectionSize) == kTvIniSectionSize)
    return 0;
  // The header's "]" lies just before the walk's place, its "[" at the start
  // of that line (a name with a line end in it is not taken).
  const uint32_t close = static_cast<uint32_t>(buffer->enumCursor) - 1;
  uint32_t at = close;
  while (at > 0 && buffer->text[at - 1] != '\n') --at;
  if (buffer->text[close] != ']' || !tvini::IsHeaderAt(*buffer, at)) return 0;
  tvini::SelectSection(*buffer, at + 1, close, name);
  return 1;
}

int TvIniNextKey(TvIniBuffer* buffer, int first, char* out, size_t size) {
  TvStrCopy(out, "", size);
  if (!buffer || !buffer->text || buffer->section == kTvIniNone) return 0;
  const uint32_t bodyStart = static_cast<uint32_t>(buffer->bodyStart);
  const uint32_t bodyEnd = static_cast<uint32_t>(buffer->bodyEnd);
  uint32_t line = bodyStart;
  if (!first && buffer->keyCursor != kTvIniNone) line = static_cast<uint32_t>(buffer->keyCursor);
  if (line < bodyStart) line = bodyStart;
  while (line < bodyEnd && line <= buffer->length) {
    const uint32_t lineEnd = tvini::LineEnd(*buffer, line);
    const void* equals = tvini::FindByte(buffer->text + line, '=', lineEnd - line);
    uint32_t next = lineEnd + 1;
    while (next < buffer->length && buffer->text[next] == '\n') ++next;
    const uint8_t plain = tvCharPlain[static_cast<uint8_t>(buffer->text[line])];
    if (equals && (tvCharClass[plain] & (TvCharLetter | TvCharDigit))) {
      const size_t length = static_cast<size_t>(static_cast<const char*>(equals) - (buffer->text + line));
      if (out && size) TvStrCopy(out, buffer->text + line, length + 1 < size ? length + 1 : size);
      buffer->keyCursor = static_cast<int32_t>(next);
      return 1;
    }
    line = next;
  }
  buffer->keyCursor = static_cast<int32_t>(bodyEnd);
  return 0;
}

void TvIniSaveState(TvIniBuffer* saved, TvIniBuffer* buffer, int clear) {
  if (!saved || !buffer) return;
  *saved = *buffer;
  if (clear) *buffer = TvIniBuffer{};
}

void TvIniRestoreState(const TvIniBuffer* saved, TvIniBuffer* buffer) {
  if (saved && buffer) *buffer = *saved;
}

TvStatus TvIniClone(TvIniBuffer* destination, const TvIniBuffer* source) {
  if (!destination || !source) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  if (destination == source) return TvOk;
  char* copy = nullptr;
  if (source->text) {
    copy = static_cast<char*>(TvSysAlloc(source->capacity, source->capacity - tvini::kEndMarkSize));
    if (!copy) return TvErrorRaise(TvErrNoMemory, "Cloning ini buffer", TvRaiseOrigin);
    memcpy(copy, source->text, source->capacity);
  }
  *destination = *source;
  destination->text = copy;
  destination->useCount = 1;
  tvini::ClearCursors(*destination);
  TvStrCopy(destination->prefix, source->prefix, sizeof destination->prefix);
  return TvOk;
}
