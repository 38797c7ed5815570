// tv_base.h: the status type and handle types shared by every kernel family.
#pragma once
#include <cstddef>
#include <cstdint>

// Result of every kernel operation and export: 0 success, negative error.
using TvStatus = int32_t;

// A Windows file handle as the script sees it; -1 means no file.
using TvFileHandle = intptr_t;
constexpr TvFileHandle kTvNoFile = -1;

constexpr size_t kTvPathSize = 256;  // paths hold at most 255 characters
