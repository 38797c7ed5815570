// tv_trailer.h: the small ini texts stored at the end of data files, and the
// checksum that guards them.
#pragma once
#include <cstddef>
#include <cstdint>

// The reflected CRC-32 of IEEE 802.3, table-driven. It continues the sum
// in crc as it is: start with 0xFFFFFFFF; trailers keep the result without
// the final inversion.
uint32_t TvCrc32(uint32_t crc, const void* data, size_t size);
