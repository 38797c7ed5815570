// multiline.cpp: list values edited entry by entry in a fixed working
// buffer, then written back whole through TvIsi_IniSetString.
#include "multiline.h"

#include <cstring>

#include "exports.h"
#include "frame.h"
#include "tv_error.h"
#include "tv_log.h"
#include "tv_string.h"

bool EntriesMatch(const char* entry, const char* text, int32_t n) {
  return n > 0 && TvStrCompareNoCaseN(entry, text, static_cast<size_t>(n)) == 0;
}

TvStatus UpdateMultiline(TvIniBuffer* buffer, const char* section, const char* key, const char* fallbackKey,
                         const char* entry, int32_t n, char* replaced) {
  TvTraceFunction("UpdateMultiline");
  TvIsiLog("> UpdateMultiline (%s)\n", TvStrOrEmpty(key));
  if (n < 1 || !entry || !*entry) return TvOk;
  if (replaced) replaced[0] = '\0';

  // The kept entries, each followed by a line feed; room for one more
  // line feed and the terminator beyond the working size.
  char assembly[kAssemblySize + 2] = "";
  size_t used = 0;
  bool haveLine = TvIniGetString(buffer, section, key, "", assembly, kAssemblySize);
  if (!haveLine && fallbackKey) haveLine = TvIniGetString(buffer, section, fallbackKey, "", assembly, kAssemblySize);
  bool replacedOne = false;
  char next[kAssemblySize];
  while (haveLine) {
    char* line = assembly + used;
    TvIsiLog("Read %d [%s]\n", static_cast<int>(used), line);
    if (*line) {
      if (!replacedOne && EntriesMatch(line, entry, n)) {
        if (replaced) TvStrCopy(replaced, line, kItemSize);
        TvStrCopy(line, entry, kAssemblySize - used);
        TvIsiLog("Replace %d [%s]\n", static_cast<int>(used), line);
        replacedOne = true;
      }
      used += strlen(line);
      assembly[used++] = '\n';
      assembly[used] = '\0';
    }
    if (used >= kAssemblySize) break;
    // An entry that does not fit whole is left out, with the rest of the list.
    haveLine = TvIniNextLine(buffer, next, sizeof next) && strlen(next) < kAssemblySize - used;
    if (haveLine) TvStrCopy(assembly + used, next, kAssemblySize - used);
  }
  if (!replacedOne) {
    if (used < kAssemblySize) {
      TvStrCopy(assembly + used, entry, kAssemblySize - used);
      TvIsiLog("Add %d [%s]\n", static_cast<int>(used), assembly + used);
    }
  } else if (used > 0) {
    assembly[--used] = '\0';
  }
  const TvStatus status = TvIsiIniSetString(buffer, section, key, assembly);
  TvIsiLog("< UpdateMultiline = %d\n", static_cast<int>(status));
  return status;
}

TvStatus RemoveMultiline(TvIniBuffer* buffer, const char* section, const char* key, const char* text, int32_t n) {
  TvTraceFunction("RemoveMultiline");
  TvIsiLog("> RemoveMultiline (%s)\n", TvStrOrEmpty(key));
  if (n < 1 || !text || !*text) return TvOk;

  char assembly[kAssemblySize + 2] = "";
  size_t used = 0;
  char line[kItemSize];
  bool haveLine = TvIniGetString(buffer, section, key, "", line, sizeof line);
  while (haveLine) {
    TvIsiLog("Read [%s]\n", line);
    if (!EntriesMatch(line, text, n)) {
      used += TvStrCopy(assembly + used, line, kAssemblySize - used);
      assembly[used++] = '\n';
      assembly[used] = '\0';
      TvLogWrite(assembly);
    }
    haveLine = used < kAssemblySize && TvIniNextLine(buffer, line, sizeof line);
  }
  if (used > 0) assembly[--used] = '\0';
  const TvStatus status = TvIsiIniSetString(buffer, section, key, assembly);
  TvIsiLog("< RemoveMultiline = %d\n", static_cast<int>(status));
  return status;
}
