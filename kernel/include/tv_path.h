// tv_path.h: full paths from a directory, a name and a default extension;
// directory checks; searching for files along a list of directories.
#pragma once
#include <windows.h>

#include "tv_base.h"

TvStatus TvPathBuild(char* out, const char* directory, const char* name, const char* defaultExtension);
TvStatus TvPathFull(char* out, const char* path, char** end);
const char* TvPathFileName(const char* path);
void TvPathDirectory(const char* path, char* out, size_t size);  // the path without its last component
TvStatus TvDirCheck(const char* path, bool acceptKnown);
int TvFileExists(char* fullPath, const char* directory, const char* name, const char* defaultExtension);
int TvFileSearch(char* fullPath, const char* name, const char* defaultExtension, const char* variable);
int TvHasWildcards(const char* text);

// The one place where system errors become kernel codes: access denied
// -1025, invalid drive -1027, anything else the caller's code.
TvStatus TvMapSystemError(DWORD error, TvStatus otherwise);
