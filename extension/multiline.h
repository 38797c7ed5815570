// multiline.h: editing list-valued settings entry by entry. A list is a key
// whose value line holds the first entry and whose "+" lines hold the rest.
#pragma once
#include <cstdint>

#include "tv_base.h"
#include "tv_ini.h"

constexpr size_t kAssemblySize = 9216;  // first size of the working text of a list; longest line read
constexpr size_t kItemSize = 256;       // one entry: at most 255 characters

// Adds entry to the list of key, or puts it in place of the first entry
// that matches it on n characters (ignoring case); the entry replaced goes
// to replaced (256 bytes). The list is read from fallbackKey when key is
// missing, and always written to key.
TvStatus UpdateMultiline(TvIniBuffer* buffer, const char* section, const char* key, const char* fallbackKey,
                         const char* entry, int32_t n, char* replaced);

// Removes every entry of the list of key that matches text on n characters.
TvStatus RemoveMultiline(TvIniBuffer* buffer, const char* section, const char* key, const char* text, int32_t n);

// TvIsi_IniSetString on a buffer of the library's own, with the export's
// frame and log lines.
TvStatus TvIsiIniSetString(TvIniBuffer* buffer, const char* section, const char* key, const char* value);

// Entries match when their first n characters agree, ignoring case, and a
// shorter one ends at the same place in both.
bool EntriesMatch(const char* entry, const char* text, int32_t n);
