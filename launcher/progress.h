// progress.h: the window that follows a slow copy of the medium: the
// program's title, a line that says what is happening, the file being
// copied, a bar over the bytes to copy and a Cancel button. The copying
// thread reports between two blocks; the window has a thread of its own.
#pragma once
#include <cstdint>

// Milliseconds a copy runs before its window shows: a fast medium never
// flashes one.
constexpr uint32_t kTvProgressDelay = 500;

// Follows a copy of total bytes from now on; the window shows once delay
// milliseconds have passed. For one thread.
void TvProgressBegin(uint64_t total, uint32_t delay = kTvProgressDelay);
// The file now being copied.
void TvProgressFile(const char* name);
// count more bytes copied; false once the user has cancelled (the Cancel
// button, or the window closed). Without a copy followed, true.
bool TvProgressStep(uint32_t count);
// Closes the window, if it was shown, and follows no copy any more.
void TvProgressEnd();
