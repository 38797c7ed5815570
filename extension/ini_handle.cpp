// ini_handle.cpp: the ini handle family. The script opens a file and gets a
// pair of handles (the file, held open and locked, and the buffer holding
// its text), reads and changes settings in memory and saves the text back.
//
// The library keeps a record of the pairs it handed out: a buffer handle it
// never returned, or one already closed, gets -1040 ("Entry not defined")
// and is logged, and only files opened here are ever closed here.
#include <cstring>

#include "exports.h"
#include "frame.h"
#include "multiline.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_ini.h"
#include "tv_log.h"
#include "tv_memory.h"
#include "tv_string.h"

namespace {

constexpr uint32_t kOpenMode = TvFileReadWrite | TvFileSequential;  // 0x21: existing file, no sharing
constexpr TvStatus kNoSetting = -8100;

struct Pair {
  TvIniBuffer* buffer;
  TvFileHandle file;
};
Pair* pairs = nullptr;
size_t pairCount = 0;
size_t pairCapacity = 0;

Pair* FindBuffer(INT_PTR handle) {
  for (size_t i = 0; i < pairCount; ++i)
    if (reinterpret_cast<INT_PTR>(pairs[i].buffer) == handle) return &pairs[i];
  return nullptr;
}

Pair* FindFile(INT_PTR handle) {
  for (size_t i = 0; i < pairCount; ++i)
    if (pairs[i].file == handle && handle != kTvNoFile) return &pairs[i];
  return nullptr;
}

bool Remember(TvIniBuffer* buffer) {
  if (pairCount == pairCapacity) {
    const size_t capacity = pairCapacity ? pairCapacity * 2 : 16;
    auto* grown = static_cast<Pair*>(TvMemResize(pairs, 0, capacity * sizeof(Pair)));
    if (!grown) return false;
    pairs = grown;
    pairCapacity = capacity;
  }
  pairs[pairCount++] = {buffer, kTvNoFile};
  return true;
}

void Forget(Pair* pair) {
  *pair = pairs[--pairCount];
  if (pairCount == 0) {
    TvMemFree(pairs);
    pairs = nullptr;
    pairCapacity = 0;
  }
}

// The buffer behind a handle the script passes, or nullptr (raised) when
// the library never handed it out.
TvIniBuffer* BufferOf(INT_PTR handle, const char* caller) {
  if (handle != 0 && handle == reinterpret_cast<INT_PTR>(&tvConfig)) return &tvConfig;
  if (Pair* pair = handle ? FindBuffer(handle) : nullptr) return pair->buffer;
  char detail[80];
  TvFormat(detail, sizeof detail, "%s: buffer handle %lld", caller, static_cast<long long>(handle));
  TvErrorRaise(TvErrNotDefined, detail, TvRaiseOrigin);
  return nullptr;
}

// Calls line for each "\n"-separated line of text, cut to 255 characters,
// into TraceLine; a text ending with a line feed ends with an empty line.
template <typename F>
TvStatus ForEachLine(const char* text, F&& line) {
  const char* p = TvStrOrEmpty(text);
  TvStatus status = TvOk;
  for (;;) {
    const char* end = strchr(p, '\n');
    const size_t length = end ? static_cast<size_t>(end - p) : strlen(p);
    TvStrCopy(TraceLine, p, length + 1 < kTraceLineSize ? length + 1 : kTraceLineSize);
    status = line(TraceLine);
    if (status != TvOk || !end) return status;
    p = end + 1;
  }
}

// Length of the text as written to a file (every line end as CR LF).
uint64_t WrittenLength(const TvIniBuffer& b) {
  uint64_t length = 0;
  for (uint32_t i = 0; i < b.length; ++i) {
    const char c = b.text[i];
    if (c == '\r' && i + 1 < b.length && b.text[i + 1] == '\n') continue;  // counted with its line feed
    length += (c == '\r' || c == '\n') ? 2 : 1;
  }
  return length;
}

// Makes room for the new text before the old one is touched: a failure
// here leaves the file as it was.
TvStatus Reserve(TvFileHandle file, uint32_t oldLength, uint64_t newLength) {
  if (newLength <= oldLength) return TvOk;
  if (newLength > 0x7FFFFFFFu) return TvErrorRaise(TvErrFileTooLarge, nullptr, TvRaiseOrigin);
  TvStatus status = TvFileSeekEnd(file);
  if (status == TvOk) status = TvFileWriteFill(file, ' ', static_cast<uint32_t>(newLength - oldLength));
  if (status != TvOk && TvFileSeek(file, oldLength) == TvOk) TvFileTruncateHere(file);
  return status;
}

}  // namespace

TV_EXPORT int32_t TV_STDCALL TvIsi_IniOpen(INT_PTR* fileOut, INT_PTR* bufferOut, const char* path) {
  TvTraceFunction("TvIsi_IniOpen");
  TvIsiEntry("TvIsi_IniOpen", path);
  TvFileHandle file = kTvNoFile;
  TvStatus status;
  if (!fileOut || !bufferOut) {
    // Without a place for the handles, the file would stay locked for good.
    status = TvErrorRaise(TvErrInvalidAction, "TvIsi_IniOpen: no place for the handles", TvRaiseOrigin);
    TvIsiExit("TvIsi_IniOpen", status);
    return TvTraceReturnLong(status);
  }
  auto* buffer = static_cast<TvIniBuffer*>(TvMemAlloc(TvMemZero, sizeof(TvIniBuffer)));
  if (buffer && !Remember(buffer)) {
    TvMemFree(buffer);
    buffer = nullptr;
  }
  if (!buffer) {
    status = TvErrorRaise(TvErrNoMemory, "TvIsi_IniOpen", TvRaiseOrigin);
  } else {
    status = TvFileOpen(nullptr, nullptr, TvStrOrEmpty(path), nullptr, kOpenMode, &file);
    if (status == TvOk) {
      FindBuffer(reinterpret_cast<INT_PTR>(buffer))->file = file;
      status = TvIniLoadHandle(buffer, file);
    }
  }
  *fileOut = file;
  *bufferOut = reinterpret_cast<INT_PTR>(buffer);
  TvIsiExit("TvIsi_IniOpen", status);
  return TvTraceReturnLong(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniSave(INT_PTR file, INT_PTR buffer) {
  TvTraceFunction("TvIsi_IniSave");
  TvIsiEntryPlain("TvIsi_IniSave");
  TvStatus status;
  TvIniBuffer* b = BufferOf(buffer, "TvIsi_IniSave");
  Pair* pair = FindFile(file);
  if (!b) {
    status = TvErrNotDefined;
  } else if (!pair) {
    status = TvErrorRaise(TvErrNotDefined, "TvIsi_IniSave: file handle", TvRaiseOrigin);
  } else if (!b->text) {
    status = TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  } else {
    const uint32_t oldLength = TvFileSize(file);
    status = Reserve(file, oldLength, WrittenLength(*b));
    if (status == TvOk) status = TvFileSeek(file, 0);
    if (status == TvOk) status = TvIniWriteHandle(b, file);
    if (status == TvOk && TvFileTruncateHere(file) != TvOk) {
      // The file could not be cut: blanks cover what is left of the old text.
      const uint32_t newLength = TvFileTell(file);
      status = oldLength > newLength ? TvFileWriteFill(file, ' ', oldLength - newLength) : TvOk;
    }
  }
  TvIsiExit("TvIsi_IniSave", status);
  return TvTraceReturnLong(status);
}

TV_EXPORT void TV_STDCALL TvIsi_IniClose(INT_PTR file, INT_PTR buffer) {
  TvTraceFunction("TvIsi_IniClose");
  TvIsiEntryPlain("TvIsi_IniClose");
  if (Pair* pair = FindFile(file)) {
    TvFileClose(file);
    pair->file = kTvNoFile;
  }
  if (buffer != 0 && buffer == reinterpret_cast<INT_PTR>(&tvConfig)) {
    TvIniRelease();
  } else if (buffer != 0) {
    if (Pair* pair = FindBuffer(buffer)) {
      if (pair->file != kTvNoFile) TvFileClose(pair->file);
      TvIniFree(pair->buffer);
      TvMemFree(pair->buffer);
      Forget(pair);
    } else {
      BufferOf(buffer, "TvIsi_IniClose");
    }
  }
  TvIsiLog("< TvIsi_IniClose\n");
  TvTraceReturn();
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniGetString(INT_PTR buffer, const char* section, const char* key, char* value,
                                                int32_t capacity) {
  TvTraceFunction("TvIsi_IniGetString");
  TvIsiEntry("TvIsi_IniGetString", key);
  const size_t size = value ? static_cast<uint16_t>(capacity) : 0;
  TvIniBuffer* b = BufferOf(buffer, "TvIsi_IniGetString");
  if (!b) return TvTraceReturnLong(TvErrNotDefined);
  if (!TvIniGetString(b, TvStrOrEmpty(section), TvStrOrEmpty(key), "", value, size)) return TvTraceReturnLong(kNoSetting);
  // Continuation lines are joined with line feeds, behind a "\n" in TraceLine.
  TraceLine[0] = '\n';
  while (TvIniNextLine(b, TraceLine + 1, kTraceLineSize - 1)) TvStrCat(value, TraceLine, size);
  TvIsiLog("< TvIsi_IniGetString\n");
  return TvTraceReturnLong(TvOk);
}

namespace {

// TvIsi_IniSetString for a handle from the script, or for a buffer of the
// library's own (known is then set): the same frame and log lines.
TvStatus SetStringCall(TvIniBuffer* known, INT_PTR buffer, const char* section, const char* key, const char* value) {
  TvTraceFunction("TvIsi_IniSetString");
  TvIsiEntry("TvIsi_IniSetString", key);
  TvLogWrite(value);
  TvStatus status = TvErrNotDefined;
  if (TvIniBuffer* b = known ? known : BufferOf(buffer, "TvIsi_IniSetString")) {
    bool first = true;
    status = ForEachLine(value, [&](const char* line) {
      const TvStatus result =
          first ? TvIniSetString(b, TvStrOrEmpty(section), TvStrOrEmpty(key), line) : TvIniAddLine(b, line);
      first = false;
      return result;
    });
  }
  TvIsiExit("TvIsi_IniSetString", status);
  return TvTraceReturnLong(status);
}

}  // namespace

TvStatus TvIsiIniSetString(TvIniBuffer* buffer, const char* section, const char* key, const char* value) {
  return SetStringCall(buffer, 0, section, key, value);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniSetString(INT_PTR buffer, const char* section, const char* key,
                                                const char* value) {
  return SetStringCall(nullptr, buffer, section, key, value);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniDeleteString(INT_PTR buffer, const char* section, const char* key) {
  TvTraceFunction("TvIsi_IniDeleteString");
  TvIsiEntry("TvIsi_IniDeleteString", key);
  TvStatus status = TvErrNotDefined;
  if (TvIniBuffer* b = BufferOf(buffer, "TvIsi_IniDeleteString"))
    status = TvIniSetString(b, TvStrOrEmpty(section), TvStrOrEmpty(key), nullptr);
  TvIsiExit("TvIsi_IniDeleteString", status);
  return TvTraceReturnLong(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniCopySetting(INT_PTR source, INT_PTR destination, const char* section,
                                                  const char* key) {
  TvTraceFunction("TvIsi_IniCopySetting");
  TvIsiEntry("TvIsi_IniCopySetting", key);
  TvStatus status = TvErrNotDefined;
  TvIniBuffer* from = BufferOf(source, "TvIsi_IniCopySetting");
  TvIniBuffer* to = from ? BufferOf(destination, "TvIsi_IniCopySetting") : nullptr;
  if (from && to) {
    section = TvStrOrEmpty(section);
    key = TvStrOrEmpty(key);
    char line[kItemSize];
    if (!TvIniGetString(from, section, key, "", line, sizeof line)) {
      status = kNoSetting;
    } else {
      status = TvIniSetString(to, section, key, line);
      while (status == TvOk && TvIniNextLine(from, line, sizeof line)) status = TvIniAddLine(to, line);
    }
  }
  TvIsiExit("TvIsi_IniCopySetting", status);
  return TvTraceReturnLong(status);
}

namespace {

// The frame of the list exports: the entries are logged as given, then each
// line of them is one edit of the list, up to the first failure.
template <typename F>
TvStatus EditList(const char* name, INT_PTR buffer, const char* key, const char* entries, F&& edit) {
  TvTraceFunction(name);
  TvIsiEntry(name, key);
  TvLogWrite(entries);
  TvStatus status = TvErrNotDefined;
  if (TvIniBuffer* b = BufferOf(buffer, name)) {
    status = ForEachLine(entries, [&](const char* line) {
      char item[kItemSize];
      TvStrCopy(item, line, sizeof item);  // TraceLine serves the edit's own log lines
      return edit(b, item);
    });
  }
  TvIsiExit(name, status);
  return TvTraceReturnLong(status);
}

}  // namespace

TV_EXPORT int32_t TV_STDCALL TvIsi_IniAddString(INT_PTR buffer, const char* section, const char* key,
                                                const char* entries) {
  return EditList("TvIsi_IniAddString", buffer, key, entries, [&](TvIniBuffer* b, const char* item) {
    char replaced[kItemSize];
    return UpdateMultiline(b, TvStrOrEmpty(section), TvStrOrEmpty(key), nullptr, item, 256, replaced);
  });
}

TV_EXPORT int32_t TV_STDCALL TvIsi_IniRemoveStrings(INT_PTR buffer, const char* section, const char* key,
                                                    const char* entries) {
  return EditList("TvIsi_IniRemoveStrings", buffer, key, entries, [&](TvIniBuffer* b, const char* item) {
    return RemoveMultiline(b, TvStrOrEmpty(section), TvStrOrEmpty(key), item, 256);
  });
}
