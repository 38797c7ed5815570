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
TV_PIN(TvIsi_IniOpen, int32_t(TV_STDCALL*)(INT_PTR*, INT_PTR*, const char*));
TV_PIN(TvIsi_IniSave, int32_t(TV_STDCALL*)(INT_PTR, INT_PTR));
TV_PIN(TvIsi_IniClose, void(TV_STDCALL*)(INT_PTR, INT_PTR));
TV_PIN(TvIsi_IniGetString, int32_t(TV_STDCALL*)(INT_PTR, const char*, const char*, char*, int32_t));
TV_PIN(TvIsi_IniSetString, int32_t(TV_STDCALL*)(INT_PTR, const char*, const char*, const char*));
TV_PIN(TvIsi_IniDeleteString, int32_t(TV_STDCALL*)(INT_PTR, const char*, const char*));
TV_PIN(TvIsi_IniCopySetting, int32_t(TV_STDCALL*)(INT_PTR, INT_PTR, const char*, const char*));
TV_PIN(TvIsi_IniAddString, int32_t(TV_STDCALL*)(INT_PTR, const char*, const char*, const char*));
TV_PIN(TvIsi_IniRemoveStrings, int32_t(TV_STDCALL*)(INT_PTR, const char*, const char*, const char*));
TV_PIN(TvIsi_CheckIniForData,
       int32_t(TV_STDCALL*)(const char*, const char*, int32_t, char*, char*, char*, int32_t*));
TV_PIN(TvIsi_ProdFromIni, int32_t(TV_STDCALL*)(const char*, int32_t*));
TV_PIN(TvIsi_UpdateTvwserveV5, int32_t(TV_STDCALL*)(const char*, const char*, int32_t, int32_t, int32_t));
TV_PIN(TvIsi_UpdateDataKeys, int32_t(TV_STDCALL*)(const char*, const char*, int32_t));
TV_PIN(TvIsi_IsISOPresent, int32_t(TV_STDCALL*)(const char*, const char*));
TV_PIN(TvIsi_InstalledCountriesToData, int32_t(TV_STDCALL*)(const char*));
TV_PIN(TvInitialise, void(TV_STDCALL*)(int32_t));
TV_PIN(TvErrorMessage, void(TV_STDCALL*)(int32_t, char*, int32_t));
TV_PIN(TvErrorLevel, int32_t(TV_STDCALL*)(int32_t));
TV_PIN(TvErrorHistory, int32_t(TV_STDCALL*)(int32_t, int32_t, char*, int32_t));
TV_PIN(TvVersionInfo, void(TV_STDCALL*)(char*, int32_t));
TV_PIN(TvDataInfo, int32_t(TV_STDCALL*)(char*, int32_t, int32_t*));
TV_PIN(TvSystemInfo, int32_t(TV_STDCALL*)(int32_t, char*, int32_t));
TV_PIN(TvSetStrMode, int32_t(TV_STDCALL*)(int32_t));
