// queries.h: the release query for callers inside the library.
#pragma once
#include <cstdint>

#include "tv_file.h"

// TvIsi_DataVintage, frame and log lines included. Given the stamp of a
// folder scan, a file read before with the same stamp is not opened again:
// its release, and what its trailer gave the data information, are taken
// from what the earlier read kept.
int32_t TvIsiDataVintage(char* date, const char* path, const TvFileStamp* stamp);

// Forgets every kept release (the library is being unloaded).
void TvIsiForgetReleases();
