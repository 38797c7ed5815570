// ini_handle.cpp: the ini handle family. The script opens a file and gets a
// pair of handles (the file, held open and locked, and the buffer holding
// its text), reads and changes settings in memory and saves the text back.
//
// The handles the script holds are numbers the library hands out, never
// the same one twice in the life of the process: a handle once closed, or
// one never handed out, gets -1040 ("Entry not defined") and is logged, and
// can never reach a file or buffer opened later. The pairs live in memory
// of the counted system layer, so they stay valid across a restart of the
// kernel whatever its allocator mode.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "exports.h"
#include "frame.h"
#include "ini_handle.h"
#include "installed_lists.h"
#include "multiline.h"
#include "text.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_ini.h"
#include "tv_log.h"
#include "tv_memory.h"
#include "tv_string.h"

namespace {

constexpr uint32_t kOpenMode = TvFileReadWrite | TvFileSequential;  // 0x21: existing file, no sharing
constexpr TvStatus kNoSetting = -8100;
constexpr INT_PTR kNoHandle = 0;
constexpr INT_PTR kLastHandle = 0x7FFFFFFF;  // handles stay positive 32-bit numbers

struct Pair {
  INT_PTR bufferHandle;  // as the script holds them
  INT_PTR fileHandle;    // kTvNoFile: never opened, or closed
  TvIniBuffer* buffer;
  TvFileHandle file;  // the system's handle behind fileHandle
};
Pair* pairs = nullptr;
size_t pairCount = 0;
size_t pairCapacity = 0;
INT_PTR lastHandle = 0;

// The next value for the script: positive, 32 bits wide, never repeated;
// 0 once they are all used up.
INT_PTR NewHandle() {
  do {
    if (lastHandle >= kLastHandle) return kNoHandle;
    ++lastHandle;
  } while (lastHandle == reinterpret_cast<INT_PTR>(&tvConfig));
  return lastHandle;
}

Pair* FindBuffer(INT_PTR handle) {
  for (size_t i = 0; handle != kNoHandle && i < pairCount; ++i)
    if (pairs[i].bufferHandle == handle) return &pairs[i];
  return nullptr;
}

Pair* FindFile(INT_PTR handle) {
  for (size_t i = 0; handle != kTvNoFile && handle != kNoHandle && i < pairCount; ++i)
    if (pairs[i].fileHandle == handle) return &pairs[i];
  return nullptr;
}

Pair* Remember(TvIniBuffer* buffer, INT_PTR handle) {
  if (pairCount == pairCapacity) {
    const size_t capacity = pairCapacity ? pairCapacity * 2 : 16;
    auto* grown = static_cast<Pair*>(TvSysResize(pairs, pairCapacity * sizeof(Pair), capacity * sizeof(Pair), 0));
    if (!grown) return nullptr;
    pairs = grown;
    pairCapacity = capacity;
  }
  pairs[pairCount] = {handle, kTvNoFile, buffer, kTvNoFile};
  return &pairs[pairCount++];
}

void CloseFile(Pair& pair) {
  if (pair.fileHandle == kTvNoFile) return;
  TvFileClose(pair.file);
  pair.file = pair.fileHandle = kTvNoFile;
}

void Forget(Pair* pair) {
  CloseFile(*pair);
  TvIniFree(pair->buffer);
  TvSysFree(pair->buffer, sizeof(TvIniBuffer), sizeof(TvIniBuffer));
  *pair = pairs[--pairCount];
  if (pairCount == 0) {
    TvSysFree(pairs, pairCapacity * sizeof(Pair), 0);
    pairs = nullptr;
    pairCapacity = 0;
  }
}

TvStatus RaiseUnknown(const char* caller, const char* what, INT_PTR handle) {
  char detail[80];
  TvFormat(detail, sizeof detail, "%s: %s handle %lld", caller, what, static_cast<long long>(handle));
  return TvErrorRaise(TvErrNotDefined, detail, TvRaiseOrigin);
}

// The buffer behind a handle the script passes, or nullptr (raised) when
// the library never handed it out or it is closed.
TvIniBuffer* BufferOf(INT_PTR handle, const char* caller) {
  if (handle != kNoHandle && handle == reinterpret_cast<INT_PTR>(&tvConfig)) return &tvConfig;
  if (Pair* pair = FindBuffer(handle)) return pair->buffer;
  RaiseUnknown(caller, "buffer", handle);
  return nullptr;
}

// Calls line for each line of a text from the script: CR LF, a lone CR and
// a lone LF all end a line, and a text that ends with a line end ends with
// an empty line. Lines longer than 255 characters are cut, and the log says
// so. A control character other than tab refuses the whole text, before
// anything is changed: it would make the file unreadable as ini text.
template <typename F>
TvStatus ForEachScriptLine(const char* caller, const char* key, const char* text, F&& line) {
  const std::string_view all(TvStrOrEmpty(text));
  for (const char c : all)
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n')
      return TvErrorRaise(TvErrInputChars, caller, TvRaiseOrigin);
  char item[kItemSize];
  size_t start = 0;
  for (unsigned number = 1;; ++number) {
    const size_t end = std::min(all.find_first_of("\r\n", start), all.size());
    std::string_view piece = all.substr(start, end - start);
    if (piece.size() > kItemSize - 1) {
      piece = piece.substr(0, kItemSize - 1);
      // On a line of its own: the value text logged before it has no line end.
      TvIsiLog("\nLine %u of %s cut to %u characters\n", number, TvStrOrEmpty(key), unsigned{kItemSize - 1});
    }
    memcpy(item, piece.data(), piece.size());
    item[piece.size()] = '\0';
    if (const TvStatus status = line(item); status != TvOk || end == all.size()) return status;
    start = end + (all.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
}

// The first line replaces the value of the key and its continuation lines,
// every further line becomes a continuation line below it.
class ValueWriter {
 public:
  ValueWriter(TvIniBuffer* buffer, const char* section, const char* key)
      : buffer_(buffer), section_(TvStrOrEmpty(section)), key_(TvStrOrEmpty(key)) {}
  TvStatus operator()(const char* line) {
    const bool first = first_;
    first_ = false;
    return first ? TvIniSetString(buffer_, section_, key_, line) : TvIniAddLine(buffer_, line);
  }

 private:
  TvIniBuffer* buffer_;
  const char* section_;
  const char* key_;
  bool first_ = true;
};

// Lines separated by line feeds, each written whole, in one edit.
TvStatus WriteLines(TvIniBuffer* buffer, const char* section, const char* key, std::string_view lines) {
  const uint32_t count = static_cast<uint32_t>(std::count(lines.begin(), lines.end(), '\n')) + 1;
  auto* text = static_cast<char*>(TvMemAlloc(0, lines.size() + 1));
  auto* starts = static_cast<const char**>(TvMemAlloc(0, count * sizeof(const char*)));
  TvStatus status = text && starts ? TvOk : TvErrorRaise(TvErrNoMemory, key, TvRaiseOrigin);
  if (status == TvOk) {
    memcpy(text, lines.data(), lines.size());
    text[lines.size()] = '\0';
    starts[0] = text;
    for (uint32_t i = 1; i < count; ++i) {
      char* end = strchr(const_cast<char*>(starts[i - 1]), '\n');
      *end = '\0';
      starts[i] = end + 1;
    }
    status = TvIniSetLines(buffer, TvStrOrEmpty(section), TvStrOrEmpty(key), starts, count);
  }
  TvMemFree(starts);
  TvMemFree(text);
  return status;
}

}  // namespace

void TvIsiCloseAllPairs() {
  while (pairCount > 0) Forget(&pairs[pairCount - 1]);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniOpen(INT_PTR* fileOut, INT_PTR* bufferOut, const char* path) {
  TV_FRAME(frame, path);
  if (!fileOut || !bufferOut) {
    // Without a place for the handles, the file would stay locked for good.
    char detail[64];
    TvFormat(detail, sizeof detail, "%s: no place for the handles", frame.Name());
    return frame.Return(TvErrorRaise(TvErrInvalidAction, detail, TvRaiseOrigin));
  }
  TvStatus status;
  Pair* pair = nullptr;
  const INT_PTR handle = NewHandle();
  auto* buffer = static_cast<TvIniBuffer*>(TvSysAlloc(sizeof(TvIniBuffer), sizeof(TvIniBuffer)));
  if (buffer) {
    *buffer = TvIniBuffer{};
    if (handle == kNoHandle || !(pair = Remember(buffer, handle)))
      TvSysFree(buffer, sizeof(TvIniBuffer), sizeof(TvIniBuffer));
  }
  if (!pair) {
    status = TvErrorRaise(handle == kNoHandle ? TvErrTooManyFiles : TvErrNoMemory, frame.Name(), TvRaiseOrigin);
  } else {
    TvFileHandle file = kTvNoFile;
    status = TvFileOpen(nullptr, nullptr, TvStrOrEmpty(path), nullptr, kOpenMode, &file);
    if (status == TvOk) {
      pair->file = file;
      pair->fileHandle = NewHandle();
      if (pair->fileHandle == kNoHandle) {
        CloseFile(*pair);
        status = TvErrorRaise(TvErrTooManyFiles, frame.Name(), TvRaiseOrigin);
      }
    }
    if (status == TvOk) status = TvIniLoadHandle(buffer, file);
    if (status == TvOk && !IsIniText(buffer)) {
      // Editing a file that is not ini text would corrupt it.
      TvIniFree(buffer);
      status = TvErrorRaise(TvErrInputChars, TvStrOrEmpty(path), TvRaiseOrigin);
    }
  }
  *fileOut = pair ? pair->fileHandle : kTvNoFile;
  *bufferOut = pair ? pair->bufferHandle : kNoHandle;
  return frame.Return(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniSave(INT_PTR file, INT_PTR buffer) {
  TV_FRAME(frame);
  TvStatus status;
  TvIniBuffer* b = BufferOf(buffer, frame.Name());
  Pair* pair = b ? FindFile(file) : nullptr;
  if (!b) {
    status = TvErrNotDefined;
  } else if (!pair) {
    status = RaiseUnknown(frame.Name(), "file", file);
  } else if (!b->text) {
    status = TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  } else {
    // The file holds its old bytes or the whole new text afterwards, never a mix.
    status = TvIniSaveHandle(b, pair->file);
  }
  return frame.Return(status);
}

TV_EXPORT void TV_STDCALL TvIsi_IniClose(INT_PTR file, INT_PTR buffer) {
  TV_FRAME(frame);
  // -1 (no file) and 0 are what a script passes for a pair whose open failed.
  if (file != kTvNoFile && file != kNoHandle) {
    if (Pair* pair = FindFile(file)) CloseFile(*pair);
    else RaiseUnknown(frame.Name(), "file", file);
  }
  if (buffer != kNoHandle && buffer == reinterpret_cast<INT_PTR>(&tvConfig)) {
    TvIniRelease();
  } else if (buffer != kNoHandle) {
    if (Pair* pair = FindBuffer(buffer)) Forget(pair);
    else RaiseUnknown(frame.Name(), "buffer", buffer);
  }
  frame.Return();
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniGetString(INT_PTR buffer, const char* section, const char* key, char* value,
                                                int32_t capacity) {
  TV_FRAME(frame, key);
  const size_t size = value ? static_cast<uint16_t>(capacity) : 0;
  TvIniBuffer* b = BufferOf(buffer, frame.Name());
  if (!b) return frame.Return(TvErrNotDefined);
  const char* line;
  size_t length;
  if (!TvIniGetValueSpan(b, TvStrOrEmpty(section), TvStrOrEmpty(key), &line, &length)) {
    if (size) value[0] = '\0';
    return frame.Return(kNoSetting);
  }
  // Continuation lines are joined with line feeds, as far as the buffer holds them.
  size_t used = 0;
  auto append = [&](const char* text, size_t count) {
    if (used + 1 >= size) return;
    count = std::min(count, size - 1 - used);
    memcpy(value + used, text, count);
    used += count;
  };
  append(line, length);
  while (used > 0 && value[used - 1] == ' ') --used;  // a cut first line loses its trailing blanks too
  while (TvIniNextLineSpan(b, &line, &length)) {
    append("\n", 1);
    append(line, length);
  }
  if (size) value[used] = '\0';
  return frame.Return(TvOk);
}

// Written under the frame of TvIsi_IniSetString, so that the log reads as
// if the script had set the value.
TvStatus WriteWholeValue(TvIniBuffer* buffer, const char* section, const char* key, const char* value) {
  ExportFrame<tvexport::IndexOf("TvIsi_IniSetString")> frame{key, value};
  return frame.Return(WriteLines(buffer, section, key, TvStrOrEmpty(value)));
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniSetString(INT_PTR buffer, const char* section, const char* key,
                                                const char* value) {
  TV_FRAME(frame, key, value);
  TvStatus status = TvErrNotDefined;
  if (TvIniBuffer* b = BufferOf(buffer, frame.Name()))
    status = ForEachScriptLine(frame.Name(), key, value, ValueWriter(b, section, key));
  return frame.Return(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniDeleteString(INT_PTR buffer, const char* section, const char* key) {
  TV_FRAME(frame, key);
  TvStatus status = TvErrNotDefined;
  if (TvIniBuffer* b = BufferOf(buffer, frame.Name()))
    status = TvIniSetString(b, TvStrOrEmpty(section), TvStrOrEmpty(key), nullptr);
  return frame.Return(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniCopySetting(INT_PTR source, INT_PTR destination, const char* section,
                                                  const char* key) {
  TV_FRAME(frame, key);
  TvStatus status = TvErrNotDefined;
  TvIniBuffer* from = BufferOf(source, frame.Name());
  TvIniBuffer* to = from ? BufferOf(destination, frame.Name()) : nullptr;
  if (from && to) {
    section = TvStrOrEmpty(section);
    key = TvStrOrEmpty(key);
    // The whole value is read before anything is written: source and
    // destination may be the same buffer.
    GrowingText lines;
    const char* line;
    size_t length;
    bool complete = true;
    if (!TvIniGetValueSpan(from, section, key, &line, &length)) {
      status = kNoSetting;
    } else {
      complete = lines.Append({line, length});
      while (complete && TvIniNextLineSpan(from, &line, &length))
        complete = lines.Append("\n") && lines.Append({line, length});
      status = complete ? WriteLines(to, section, key, lines.View()) : TvErrorRaise(TvErrNoMemory, key, TvRaiseOrigin);
    }
  }
  return frame.Return(status);
}

namespace {

// Each line of the entries is one edit of the list, up to the first failure.
template <typename F>
TvStatus EditList(const char* caller, INT_PTR buffer, const char* key, const char* entries, F&& edit) {
  TvIniBuffer* b = BufferOf(buffer, caller);
  if (!b) return TvErrNotDefined;
  return ForEachScriptLine(caller, key, entries, [&](const char* item) { return edit(b, item); });
}

}  // namespace

TV_EXPORT int32_t TV_STDCALL TvIsi_IniAddString(INT_PTR buffer, const char* section, const char* key,
                                                const char* entries) {
  TV_FRAME(frame, key, entries);
  return frame.Return(EditList(frame.Name(), buffer, key, entries, [&](TvIniBuffer* b, const char* item) {
    return UpdateMultiline(b, TvStrOrEmpty(section), TvStrOrEmpty(key), nullptr, item, kWholeEntry, nullptr);
  }));
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniRemoveStrings(INT_PTR buffer, const char* section, const char* key,
                                                    const char* entries) {
  TV_FRAME(frame, key, entries);
  return frame.Return(EditList(frame.Name(), buffer, key, entries, [&](TvIniBuffer* b, const char* item) {
    return RemoveMultiline(b, TvStrOrEmpty(section), TvStrOrEmpty(key), item, kWholeEntry);
  }));
}
