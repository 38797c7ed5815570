// export_signatures.cpp: pins the type of every export at compile time. The
// 32-bit link pins the calling convention and the argument bytes through the
// decorated names of TVISX.def.
#include <type_traits>

#include "exports.h"

#define TV_PIN(name, type) static_assert(std::is_same_v<decltype(&name), type>, #name " changed its signature")

TV_PIN(TvIsi_Startup, int32_t (*)(void));
TV_PIN(TvIsi_Shutdown, void (*)(void));
TV_PIN(TvBeginInstance, int32_t (*)(void));
TV_PIN(TvEndInstance, void (*)(void));
