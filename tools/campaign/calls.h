// calls.h: the exports as the campaign calls them. Every call is recorded
// as a step (so a crash or a finding names it), counted, and its status is
// checked against the values the exports may return.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "reference.h"

namespace campaign {

// One pair of handles handed out by TvIsi_IniOpen.
struct Pair {
  INT_PTR file = -1;
  INT_PTR buffer = 0;
  std::string path;
  int id = 0;
  bool open = false;    // not closed yet
  bool loaded = false;  // the open succeeded: the buffer holds the file
};

std::string HandleText(INT_PTR value);

int32_t Open(Pair& pair, const Text& path);
int32_t OpenWithoutPlaces(const Text& path);  // NULL places for the handles
int32_t Save(INT_PTR file, INT_PTR buffer, const std::string& label);
void Close(INT_PTR file, INT_PTR buffer, const std::string& label);
int32_t Save(Pair& pair);
void Close(Pair& pair);
int32_t Get(INT_PTR buffer, const Text& section, const Text& key, char* value, int32_t capacity);
int32_t SetString(INT_PTR buffer, const Text& section, const Text& key, const Text& value);
int32_t DeleteString(INT_PTR buffer, const Text& section, const Text& key);
int32_t CopySetting(INT_PTR source, INT_PTR destination, const Text& section, const Text& key);
int32_t AddString(INT_PTR buffer, const Text& section, const Text& key, const Text& entries);
int32_t RemoveStrings(INT_PTR buffer, const Text& section, const Text& key, const Text& entries);

int32_t UpdateTvwserveV5(const Text& path, const Text& data, int32_t id, int32_t aid, int32_t nid);
int32_t UpdateDataKeys(const Text& path, const Text& data, int32_t format);
int32_t InstalledCountriesToData(const Text& path);
int32_t CheckIniForData(const Text& folder, const Text& iso, int32_t twoLetters, char* code, char* dataDir,
                        char* baseDir, int32_t* flags);
int32_t IsIsoPresent(const Text& code, const Text& folder);
int32_t ProdFromIni(const Text& path, int32_t* mask);

int32_t Startup();
void Shutdown();

// A status an export may return: 0, a kernel code, or the extension's own.
bool KnownStatus(int32_t status);
// Counts a call of an export made elsewhere and checks its status.
void CountCall(const char* name, int32_t status);

// Calls made so far, by export, with their statuses.
std::string CallTable();

}  // namespace campaign
