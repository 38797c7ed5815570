// exports.h: every export of TVISX with its calling convention. Arguments
// are 32-bit stack words in the deliverable; handles the script keeps are
// pointer-sized integers.
#pragma once
#include <windows.h>

#include <cstdint>

#define TV_EXPORT extern "C"
#define TV_STDCALL __stdcall

// Start and end of use (argument-less: C convention).
TV_EXPORT int32_t TvIsi_Startup(void);
TV_EXPORT void TvIsi_Shutdown(void);

// Kernel instance.
TV_EXPORT int32_t TvBeginInstance(void);
TV_EXPORT void TvEndInstance(void);
