// trailer.cpp: ini texts inside files that hold other content. A trailer
// sits at the end of a data file: a header (magic, text length, CRC), the
// text with every byte inverted, zero filler up to the reserved size, and a
// footer (magic, NOT of the trailer start) that leads back to the header. A
// header region is a plain ini text at the start of a file, closed by an
// "[End]" line. Also the CRC-32 that guards trailers.
#include "tv_trailer.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "tv_context.h"
#include "tv_file.h"
#include "tv_memory.h"
#include "tv_string.h"
#include "tv_system.h"

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr auto kCrcTable = MakeCrcTable();

constexpr uint8_t kMagic[6] = {0x00, 0x00, 0xFF, 0xA5, 0x5A, 0xFF};
constexpr uint32_t kHeaderSize = 14;  // magic, text length, CRC
constexpr uint32_t kFooterSize = 10;  // magic, NOT of the trailer start
constexpr uint32_t kFrameSize = kHeaderSize + kFooterSize;
// Files may be padded after the footer (block-sized media, copy tools): a
// run of one byte value is passed over, but only this far.
constexpr uint32_t kPaddingLimit = 4096;
constexpr uint32_t kScanPiece = 128;
constexpr uint32_t kFillPiece = 64;
constexpr char kEndMark[] = "\n[";  // with its NUL, the three bytes after every text
constexpr uint32_t kEndMarkSize = sizeof kEndMark;
constexpr size_t kRegionLineSize = 200;
constexpr uint32_t kTextLimit = kTvTextLimit;  // as for whole ini files

HANDLE H(TvFileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

uint32_t GetLe32(const uint8_t* p) {
  return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void PutLe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

TvStatus ReadFailure() { return TvErrorRaise(TvErrFileRead, nullptr, TvRaiseOrigin); }

// The size of an open file. Unlike TvFileSize, a handle that cannot answer
// is a read failure, not an empty file; files of 4 GB or more cannot hold
// the 32-bit offsets of a trailer.
TvStatus FileSize(TvFileHandle handle, uint32_t* size) {
  *size = 0;
  if (handle == kTvNoFile || handle == 0) return ReadFailure();
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = tvSys.getFileSize(H(handle), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return ReadFailure();
  if (high) return TvErrorRaise(TvErrFileTooLarge, nullptr, TvRaiseOrigin);
  *size = low;
  return TvOk;
}

TvStatus ReadAt(TvFileHandle handle, uint32_t offset, void* data, uint32_t count) {
  if (TvStatus status = TvFileSeek(handle, offset); status != TvOk) return status;
  if (TvFileRead(handle, data, count) != count) return ReadFailure();
  return TvOk;
}

// The end of a file, read in one piece when first asked: finding a trailer
// reads several small pieces near the end, which then cost no system call.
class Tail {
 public:
  Tail(TvFileHandle handle, uint32_t size) : handle_(handle), size_(size) {}
  TvStatus Read(uint32_t offset, void* data, uint32_t count) {
    if (!loaded_) {
      start_ = size_ > sizeof bytes_ ? size_ - static_cast<uint32_t>(sizeof bytes_) : 0;
      if (TvStatus status = ReadAt(handle_, start_, bytes_, size_ - start_); status != TvOk) return status;
      loaded_ = true;
    }
    if (offset < start_ || offset > size_ || count > size_ - offset) return ReadAt(handle_, offset, data, count);
    memcpy(data, bytes_ + (offset - start_), count);
    return TvOk;
  }

 private:
  TvFileHandle handle_;
  uint32_t size_;
  uint32_t start_ = 0;
  bool loaded_ = false;
  uint8_t bytes_[8192];
};

// Binary writes: the file layer's text writers turn line feeds into CR LF.
bool WriteBytes(TvFileHandle handle, const void* data, uint32_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (count > 0) {
    const DWORD piece = std::min<uint32_t>(count, 0x10000);
    DWORD written = 0;
    if (!tvSys.writeFile(H(handle), p, piece, &written, nullptr) || written != piece) return false;
    p += piece;
    count -= piece;
  }
  return true;
}

bool WriteFill(TvFileHandle handle, uint8_t byte, uint32_t count) {
  uint8_t piece[kFillPiece];
  memset(piece, byte, sizeof piece);
  while (count > 0) {
    const uint32_t n = std::min(count, kFillPiece);
    if (!WriteBytes(handle, piece, n)) return false;
    count -= n;
  }
  return true;
}

// Offset of the footer, or none. The footer's last bytes may equal the
// padding byte and be passed over with it; the magic is therefore looked
// for at the six offsets that leaves possible, nearest the padding last.
constexpr uint32_t kNoFooter = 0xFFFFFFFFu;

TvStatus FindFooter(Tail& tail, uint32_t size, uint32_t* footer) {
  *footer = kNoFooter;
  if (size <= kFrameSize) return TvOk;
  const uint32_t lowest = size > kPaddingLimit + 1 ? size - (kPaddingLimit + 1) : 0;
  uint8_t piece[kScanPiece];
  int padding = -1;
  uint32_t end = 0;  // just after the last byte that differs from the padding
  for (uint32_t at = size; at > lowest && end == 0;) {
    const uint32_t n = std::min(kScanPiece, at - lowest);
    at -= n;
    if (TvStatus status = tail.Read(at, piece, n); status != TvOk) return status;
    if (padding < 0) padding = piece[n - 1];
    for (uint32_t i = n; i-- > 0;)
      if (piece[i] != padding) {
        end = at + i + 1;
        break;
      }
  }
  if (end < 10) return TvOk;
  uint8_t window[11];  // offsets end - 10 to end
  if (TvStatus status = tail.Read(end - 10, window, sizeof window); status != TvOk) return status;
  for (uint32_t k = 0; k <= 5; ++k)
    if (memcmp(window + k, kMagic, sizeof kMagic) == 0) {
      *footer = end - 10 + k;
      break;
    }
  return TvOk;
}

enum class Found { None, Broken, Valid };

struct Trailer {
  Found found = Found::None;
  uint32_t start = 0;   // offset of the header
  uint32_t footer = 0;  // offset of the footer
  uint32_t length = 0;  // text length as the header says
  uint32_t crc = 0;
};

// A footer whose start does not lead to a header is Broken: the bytes look
// like a trailer, so they are neither read as one nor written over.
TvStatus Locate(TvFileHandle handle, uint32_t size, Trailer* t) {
  uint32_t footer;
  Tail tail(handle, size);
  if (TvStatus status = FindFooter(tail, size, &footer); status != TvOk) return status;
  if (footer == kNoFooter || footer > size - kFooterSize) return TvOk;
  uint8_t bytes[kHeaderSize];
  if (TvStatus status = tail.Read(footer, bytes, kFooterSize); status != TvOk) return status;
  t->found = Found::Broken;
  t->footer = footer;
  t->start = ~GetLe32(bytes + 6);
  if (t->start > footer || footer - t->start < kHeaderSize) return TvOk;
  if (TvStatus status = tail.Read(t->start, bytes, kHeaderSize); status != TvOk) return status;
  if (memcmp(bytes, kMagic, sizeof kMagic) != 0) return TvOk;
  t->found = Found::Valid;
  t->length = GetLe32(bytes + 6);
  t->crc = GetLe32(bytes + 10);
  return TvOk;
}

// The first size bytes of the file as a plain ini text.
TvStatus LoadPlain(TvIniBuffer* buffer, TvFileHandle handle, uint32_t size) {
  if (size > kTextLimit) return TvErrorRaise(TvErrIniTooLarge, nullptr, TvRaiseOrigin);
  if (TvStatus status = TvFileSeek(handle, 0); status != TvOk) return status;
  return TvIniLoadPart(buffer, handle, size);
}

// A text of just the header of the section asked.
TvStatus LoadHeaderOnly(TvIniBuffer* buffer, const char* section) {
  const char* name = section ? section : "TvDefault";
  char header[kTvIniSectionSize + 8];
  const size_t length = TvFormat(header, sizeof header, "%c%.79s%c\n", '[', name, ']');
  return TvIniLoadText(buffer, header, static_cast<uint32_t>(length));
}

// A first line "[name]..." whose name is the section asked (any name for
// nullptr).
bool IsHeaderOf(const char* line, const char* section) {
  if (line[0] != '[') return false;
  const char* close = strchr(line + 1, ']');
  if (!close) return false;
  if (!section) return true;
  const size_t length = static_cast<size_t>(close - line - 1);
  return strlen(section) == length && TvStrCompareNoCaseN(line + 1, section, length) == 0;
}

}  // namespace

uint32_t TvCrc32(uint32_t crc, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

TvStatus TvIniLoadTrailer(TvIniBuffer* buffer, TvFileHandle handle, uint32_t* trailerStart) {
  if (!buffer) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  uint32_t size = 0;
  Trailer t;
  TvStatus status = FileSize(handle, &size);
  if (status == TvOk) status = Locate(handle, size, &t);
  if (status == TvOk && t.found == Found::Valid) {
    // A length reaching into the footer or beyond is a damaged trailer; it
    // must not size an allocation either.
    if (t.length > t.footer - t.start - kHeaderSize) status = ReadFailure();
    else status = TvFileSeek(handle, t.start + kHeaderSize);
    if (status == TvOk) status = TvIniLoadTrailerText(buffer, handle, t.length, t.crc);
    if (status == TvOk) {
      if (trailerStart) *trailerStart = t.start;
      return TvOk;
    }
  }
  // No trailer, or one that cannot be read: the caller gets an empty text,
  // never the text it had before.
  if (trailerStart) *trailerStart = size;
  const TvStatus empty = TvIniLoadHandle(buffer, kTvNoFile);
  return status != TvOk ? status : empty;
}

TvStatus TvIniSaveTrailer(TvIniBuffer* buffer, TvFileHandle handle, uint32_t reserve) {
  if (!buffer || !buffer->text) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  uint32_t size;
  if (TvStatus status = FileSize(handle, &size); status != TvOk) return status;
  Trailer t;
  if (TvStatus status = Locate(handle, size, &t); status != TvOk) return status;
  if (t.found == Found::Broken) return ReadFailure();
  const uint32_t start = t.found == Found::Valid ? t.start : size;
  const uint32_t oldReserve = t.found == Found::Valid ? size - start - kFrameSize : 0;
  const uint32_t length = buffer->length;
  const uint32_t reserved = std::max({oldReserve, reserve, length});
  if (reserved > 0xFFFFFFFFu - kFrameSize - start) return TvErrorRaise(TvErrFileTooLarge, nullptr, TvRaiseOrigin);

  char* text = TvIniGetText(buffer);
  if (!text) return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
  uint32_t crc = TvCrc32(0xFFFFFFFFu, text, length);
  crc = TvCrc32(crc, kEndMark, kEndMarkSize);
  for (uint32_t i = 0; i < length; ++i) text[i] = static_cast<char>(~text[i]);

  uint8_t header[kHeaderSize];
  memcpy(header, kMagic, sizeof kMagic);
  PutLe32(header + 6, length);
  PutLe32(header + 10, crc);
  uint8_t footer[kFooterSize];
  memcpy(footer, kMagic, sizeof kMagic);
  PutLe32(footer + 6, ~start);

  TvStatus status = TvFileSeek(handle, start);
  if (status == TvOk && !(WriteBytes(handle, header, kHeaderSize) && WriteBytes(handle, text, length) &&
                          WriteFill(handle, 0, reserved - length) && WriteBytes(handle, footer, kFooterSize)))
    status = TvErrorRaise(TvErrFileWrite, nullptr, TvRaiseOrigin);
  TvMemFree(text);
  return status;
}

TvStatus TvIniLoadRegion(TvIniBuffer* buffer, TvFileHandle handle, const char* section, uint32_t* regionEnd) {
  if (!buffer) return TvErrorRaise(TvErrFileNotFound, nullptr, TvRaiseOrigin);
  if (regionEnd) *regionEnd = 0;
  if (TvStatus status = TvFileSeek(handle, 0); status != TvOk) return status;
  char line[kRegionLineSize];
  size_t n = TvFileReadLine(handle, line, sizeof line);
  if (!IsHeaderOf(line, section)) return LoadHeaderOnly(buffer, section);

  char marker[8];
  TvFormat(marker, sizeof marker, "%cEnd%c", '[', ']');
  // Over-long lines come in pieces; only a piece that starts a line can be
  // the end marker.
  bool lineStart = n > 0 && line[n - 1] == '\n';
  uint32_t textEnd, end;
  for (;;) {
    const uint32_t before = TvFileTell(handle);
    n = TvFileReadLine(handle, line, sizeof line);
    if (n == 0) {
      textEnd = end = before;
      break;
    }
    if (lineStart && TvStrCompareNoCaseN(line, marker, 5) == 0) {
      while (line[n - 1] != '\n' && (n = TvFileReadLine(handle, line, sizeof line)) > 0) {
      }
      textEnd = before;
      end = TvFileTell(handle);
      break;
    }
    lineStart = line[n - 1] == '\n';
  }
  if (TvStatus status = LoadPlain(buffer, handle, textEnd); status != TvOk) return status;

  const int32_t reserve = TvIniGetInt(buffer, nullptr, "IniReserve", 0);
  if (reserve > 0 && static_cast<uint32_t>(reserve) > end) end = static_cast<uint32_t>(reserve);
  if (regionEnd) *regionEnd = end;
  if (reserve <= 0) return TvOk;
  uint32_t size;
  if (TvStatus status = FileSize(handle, &size); status != TvOk) return status;
  if (size >= static_cast<uint32_t>(reserve)) return TvOk;
  if (TvStatus status = TvFileSeek(handle, size); status != TvOk) return status;
  if (!WriteFill(handle, ' ', static_cast<uint32_t>(reserve) - size))
    return TvErrorRaise(TvErrFileWrite, nullptr, TvRaiseOrigin);
  return TvOk;
}
