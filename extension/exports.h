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

// Ini handle family: the script owns an open, locked file and its buffer.
TV_EXPORT int32_t TV_STDCALL TvIsi_IniOpen(INT_PTR* fileOut, INT_PTR* bufferOut, const char* path);
TV_EXPORT int32_t TV_STDCALL TvIsi_IniSave(INT_PTR file, INT_PTR buffer);
TV_EXPORT void TV_STDCALL TvIsi_IniClose(INT_PTR file, INT_PTR buffer);
TV_EXPORT int32_t TV_STDCALL TvIsi_IniGetString(INT_PTR buffer, const char* section, const char* key, char* value,
                                                int32_t capacity);
TV_EXPORT int32_t TV_STDCALL TvIsi_IniSetString(INT_PTR buffer, const char* section, const char* key,
                                                const char* value);
TV_EXPORT int32_t TV_STDCALL TvIsi_IniDeleteString(INT_PTR buffer, const char* section, const char* key);
TV_EXPORT int32_t TV_STDCALL TvIsi_IniCopySetting(INT_PTR source, INT_PTR destination, const char* section,
                                                  const char* key);
TV_EXPORT int32_t TV_STDCALL TvIsi_IniAddString(INT_PTR buffer, const char* section, const char* key,
                                                const char* entries);
TV_EXPORT int32_t TV_STDCALL TvIsi_IniRemoveStrings(INT_PTR buffer, const char* section, const char* key,
                                                    const char* entries);

// Installed countries and data sets.
TV_EXPORT int32_t TV_STDCALL TvIsi_CheckIniForData(const char* _vsIniPath, const char* _vsISO, int32_t _viSrchADS,
                                                   char* _rsFoundISO, char* _rsDataDir, char* _rsBaseDir,
                                                   int32_t* _riFlags);
TV_EXPORT int32_t TV_STDCALL TvIsi_ProdFromIni(const char* _vsIni, int32_t* _rlProd);
TV_EXPORT int32_t TV_STDCALL TvIsi_UpdateTvwserveV5(const char* _vsPath, const char* _vsData, int32_t _iID,
                                                    int32_t _iAID, int32_t _iNID);
TV_EXPORT int32_t TV_STDCALL TvIsi_UpdateDataKeys(const char* _vsIni, const char* _vsData, int32_t _viFormat);
TV_EXPORT int32_t TV_STDCALL TvIsi_IsISOPresent(const char* _vsISO, const char* _vsIniPath);
TV_EXPORT int32_t TV_STDCALL TvIsi_InstalledCountriesToData(const char* _vsIni);

// The kernel's exports.
TV_EXPORT void TV_STDCALL TvInitialise(int32_t keepOpen);
TV_EXPORT void TV_STDCALL TvErrorMessage(int32_t status, char* buffer, int32_t lenBuff);
TV_EXPORT int32_t TV_STDCALL TvErrorLevel(int32_t status);
TV_EXPORT int32_t TV_STDCALL TvErrorHistory(int32_t all, int32_t lineNo, char* buffer, int32_t lenBuff);
TV_EXPORT void TV_STDCALL TvVersionInfo(char* buffer, int32_t lenBuff);
TV_EXPORT int32_t TV_STDCALL TvDataInfo(char* buffer, int32_t lenBuff, int32_t* days);
TV_EXPORT int32_t TV_STDCALL TvSystemInfo(int32_t lineNo, char* buffer, int32_t lenBuff);
TV_EXPORT int32_t TV_STDCALL TvSetStrMode(int32_t newMode);
