// ini_handle.h: what the rest of the library needs of the ini handle family.
#pragma once

// Closes every pair the script left open: their files are unlocked and
// their buffers freed. For the library's unloading.
void TvIsiCloseAllPairs();
