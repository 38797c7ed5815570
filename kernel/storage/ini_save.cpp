// ini_save.cpp: writing an ini text to a file. Every save goes through
// TvIniSaveHandle, which replaces a file's whole content so that a failure
// at any point (a full disk, a refused cut) leaves the old bytes or the
// complete new text, never the head of one followed by the tail of the
// other.
#include <cstring>

#include "ini_internal.h"
#include "tv_context.h"
#include "tv_file.h"
#include "tv_memory.h"
#include "tv_string.h"

namespace {

// Bytes the text takes on disk: every line end written as CR LF (a CR
// followed by a line feed counts once), and the mark before it. A text
// without CR (any text loaded or edited here) is counted a line at a time.
uint64_t WrittenLength(const TvIniBuffer& b) {
  uint64_t length = b.utf8Mark ? tvini::kUtf8MarkSize : 0;
  if (!tvini::FindByte(b.text, '\r', b.length)) {
    length += b.length;
    for (const char* p = b.text; (p = tvini::FindByte(p, '\n', b.length - (p - b.text))); ++p) ++length;
    return length;
  }
  for (uint32_t i = 0; i < b.length; ++i) {
    const char c = b.text[i];
    if (c == '\r' && i + 1 < b.length && b.text[i + 1] == '\n') continue;
    length += (c == '\r' || c == '\n') ? 2 : 1;
  }
  return length;
}

// The text as it goes to disk, WrittenLength bytes.
void Render(const TvIniBuffer& b, char* out) {
  size_t n = 0;
  if (b.utf8Mark) {
    memcpy(out, tvini::kUtf8Mark, tvini::kUtf8MarkSize);
    n = tvini::kUtf8MarkSize;
  }
  if (!tvini::FindByte(b.text, '\r', b.length)) {
    const char* end = b.text + b.length;
    for (const char* p = b.text; p < end;) {
      const char* feed = tvini::FindByte(p, '\n', static_cast<size_t>(end - p));
      const size_t run = static_cast<size_t>((feed ? feed : end) - p);
      memcpy(out + n, p, run);
      n += run;
      if (!feed) break;
      out[n++] = '\r';
      out[n++] = '\n';
      p = feed + 1;
    }
    return;
  }
  for (uint32_t i = 0; i < b.length; ++i) {
    const char c = b.text[i];
    if (c != '\r' && c != '\n') {
      out[n++] = c;
      continue;
    }
    if (c == '\r' && i + 1 < b.length && b.text[i + 1] == '\n') ++i;
    out[n++] = '\r';
    out[n++] = '\n';
  }
}

TvStatus CutAt(TvFileHandle handle, uint32_t length) {
  TvStatus status = TvFileSeek(handle, length);
  return status == TvOk ? TvFileTruncateHere(handle) : status;
}

// Puts the old bytes back over whatever was written and cuts the file to
// their length; the cut also undoes blanks that extended the file when the
// failed write changed nothing. The failure that led here has been raised.
void Restore(TvFileHandle handle, const char* old, uint32_t length) {
  TvQuiet quiet;
  if (TvFileSeek(handle, 0) == TvOk) TvFileWrite(handle, old, length);
  CutAt(handle, length);
}

// The file's whole content, read from its start.
TvStatus ReadAll(TvFileHandle handle, char* into, uint32_t length) {
  if (TvStatus status = TvFileSeek(handle, 0); status != TvOk) return status;
  for (uint32_t got = 0; got < length;) {
    const uint32_t n = TvFileRead(handle, into + got, length - got);
    if (n == 0) return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin);
    got += n;
  }
  return TvOk;
}

// old holds oldLength bytes of room, fresh the new text followed by blanks
// up to the old length. A text that grows first extends the file with
// blanks, so that a full disk shows before any old byte changes; the new
// text then goes over the old one in a single write, which the old bytes
// can undo in a single write.
TvStatus SaveOver(TvFileHandle handle, uint32_t oldLength, char* old, uint32_t newLength, const char* fresh) {
  if (TvStatus status = ReadAll(handle, old, oldLength); status != TvOk) return status;
  if (newLength > oldLength && oldLength > 0) {
    TvStatus status = TvFileSeek(handle, oldLength);
    if (status == TvOk) status = TvFileWriteFill(handle, ' ', newLength - oldLength);
    if (status != TvOk) {
      TvQuiet quiet;
      CutAt(handle, oldLength);
      return status;
    }
  }
  TvStatus status = TvFileSeek(handle, 0);
  if (status == TvOk) status = TvFileWrite(handle, fresh, newLength);
  if (status != TvOk) {
    Restore(handle, old, oldLength);
    return status;
  }
  if (newLength >= oldLength) return TvOk;
  TvStatus cut;
  {
    TvQuiet quiet;  // a refused cut is answered below
    cut = TvFileTruncateHere(handle);
  }
  if (cut == TvOk) return TvOk;
  // The file could not be cut: blanks cover what is left of the old text.
  status = TvFileWrite(handle, fresh + newLength, oldLength - newLength);
  if (status != TvOk) Restore(handle, old, oldLength);
  return status;
}

}  // namespace

TvStatus TvIniWriteHandle(TvIniBuffer* buffer, TvFileHandle handle) {
  if (!buffer || !buffer->text) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  tvini::DropSection(*buffer);
  if (buffer->utf8Mark)
    if (TvStatus status = TvFileWrite(handle, tvini::kUtf8Mark, tvini::kUtf8MarkSize); status != TvOk) return status;
  return TvFileWriteTextN(handle, buffer->text, buffer->length);
}

TvStatus TvIniSaveHandle(TvIniBuffer* buffer, TvFileHandle handle) {
  if (!buffer || !buffer->text) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  if (handle == kTvNoFile || handle == 0) return TvErrorRaise(TvErrFileWrite, nullptr, TvRaiseOrigin);
  tvini::DropSection(*buffer);
  uint32_t oldLength;
  if (TvStatus status = TvFileGetSize(handle, &oldLength); status != TvOk) return status;
  const uint64_t newLength = WrittenLength(*buffer);
  if (newLength > 0x7FFFFFFFu - uint64_t{oldLength}) return TvErrorRaise(TvErrFileTooLarge, nullptr, TvRaiseOrigin);
  // One block: the old bytes, then the new text and blanks up to the old length.
  const uint32_t freshSize = newLength > oldLength ? static_cast<uint32_t>(newLength) : oldLength;
  char* old = static_cast<char*>(TvMemAlloc(0, size_t{oldLength} + freshSize + 1));
  if (!old) return TvErrorRaise(TvErrNoMemory, "Saving ini file", TvRaiseOrigin);
  char* fresh = old + oldLength;
  Render(*buffer, fresh);
  memset(fresh + newLength, ' ', freshSize - newLength);
  const TvStatus status = SaveOver(handle, oldLength, old, static_cast<uint32_t>(newLength), fresh);
  TvMemFree(old);
  return status;
}

TvStatus TvIniSaveFile(TvIniBuffer* buffer, const char* path) {
  if (!buffer || !buffer->text) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  // Whether the file is there decides what a failed save leaves behind: an
  // old file keeps its bytes, a new one goes again.
  TvFileHandle handle;
  const TvStatus probe =
      TvFileOpen(nullptr, nullptr, path, "ini", TvFileShareAll | TvFileSilent | TvFileNoMedia, &handle);
  TvFileClose(handle);
  const bool creating = probe == TvErrFileNotFound;
  uint32_t mode = TvFileReadWrite | TvFileCreate | TvFileSequential;
  if (creating) mode |= TvFileMustNotExist;  // created here, or not at all
  char full[kTvPathSize];
  TvStatus status = TvFileOpen(full, nullptr, path, "ini", mode, &handle);
  if (status != TvOk) return status;
  status = TvIniSaveHandle(buffer, handle);
  TvFileClose(handle);
  if (status != TvOk && creating) {
    TvQuiet quiet;
    TvFileDelete(full);
  }
  return status;
}

TvStatus TvConfigWriteHandle(TvFileHandle handle) { return TvIniWriteHandle(&tvConfig, handle); }
TvStatus TvConfigSaveHandle(TvFileHandle handle) { return TvIniSaveHandle(&tvConfig, handle); }
TvStatus TvConfigSaveFile(const char* path) { return TvIniSaveFile(&tvConfig, path); }
