// tv_trailer.h: small ini texts kept inside files that hold other content:
// the trailer at the end of a data file, the header region at the start of
// a file, and the checksum that guards trailers.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tv_base.h"
#include "tv_ini.h"

// The reflected CRC-32 of IEEE 802.3, table-driven. It continues the sum
// in crc as it is: start with 0xFFFFFFFF; trailers keep the result without
// the final inversion.
uint32_t TvCrc32(uint32_t crc, const void* data, size_t size);

// Loads the trailer of an open file into the buffer. A file without one
// loads an empty text and gives its size as trailer start; a trailer that
// cannot be read (or fails its CRC while the kernel is started) also leaves
// an empty text, with -1012. trailerStart may be nullptr.
TvStatus TvIniLoadTrailer(TvIniBuffer* buffer, TvFileHandle handle, uint32_t* trailerStart);

// Writes the buffer's text as the file's trailer, over the trailer it has or
// after its end. The room kept for the text is the largest of the room the
// old trailer had, reserve and the text's length, so the file never shrinks
// and a trailer rewritten with a shorter text keeps its footer in place.
TvStatus TvIniSaveTrailer(TvIniBuffer* buffer, TvFileHandle handle, uint32_t reserve);

// Loads the ini region at the start of an open file: from its first line, a
// header of the section asked (any section for nullptr), up to the "[End]"
// line or the end of the file. regionEnd receives the offset after that line,
// raised to the region's "IniReserve" setting (the file is padded with spaces
// up to it). A file that does not start with the header asked gives a text of
// just that header ("[TvDefault]" for nullptr) and a region end of 0.
// regionEnd may be nullptr.
TvStatus TvIniLoadRegion(TvIniBuffer* buffer, TvFileHandle handle, const char* section, uint32_t* regionEnd);
