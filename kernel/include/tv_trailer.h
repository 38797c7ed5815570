// tv_trailer.h: the small ini texts stored at the end of data files, and the
// checksum that guards them.
#pragma once
#include <cstddef>
#include <cstdint>

// The reflected CRC-32 of IEEE 802.3; crc is 0 for a new sum.
uint32_t TvCrc32(uint32_t crc, const void* data, size_t size);
