// multiline.h: editing list-valued settings entry by entry, and renaming
// them. A list is a key whose value line holds the first entry and whose
// "+" lines hold the rest.
#pragma once
#include <cstdint>

#include "text.h"
#include "tv_base.h"
#include "tv_ini.h"

constexpr size_t kAssemblySize = 9216;  // a list text up to this size is logged whole
constexpr size_t kItemSize = 256;       // an entry the script passes: at most 255 characters
// Matching on this many characters compares entries the script passes whole.
constexpr int32_t kWholeEntry = kItemSize;

// Adds entry to the list of key, or puts it in place of the first entry
// that matches it on n characters (ignoring case); the entry replaced, whole,
// goes to replaced (emptied first; may be absent). The list is read from
// fallbackKey when key is missing, and always written to key. Entries are
// read and written whole, however long.
TvStatus UpdateMultiline(TvIniBuffer* buffer, const char* section, const char* key, const char* fallbackKey,
                         const char* entry, int32_t n, GrowingText* replaced);

// Removes every entry of the list of key that matches text on n characters.
TvStatus RemoveMultiline(TvIniBuffer* buffer, const char* section, const char* key, const char* text, int32_t n);

// Sets a value in a buffer of the library's own, with the frame and log
// lines of TvIsi_IniSetString. The value's lines are separated by line
// feeds and written whole.
TvStatus WriteWholeValue(TvIniBuffer* buffer, const char* section, const char* key, const char* value);

// Entries match when their first n characters agree, ignoring case, and a
// shorter one ends at the same place in both.
bool EntriesMatch(const char* entry, const char* text, int32_t n);

// An entry of nothing but blanks reads back as an empty line, which ends
// the list for every reader: such entries are never written.
bool IsBlankEntry(const char* entry);

// Renames the list key from to to in every section of the configuration
// file at path (its lines included) and saves the file.
TvStatus RenameListKey(const char* path, const char* from, const char* to);
