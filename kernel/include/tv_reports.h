// tv_reports.h: what the kernel tells about itself: the data information
// gathered from the data files opened.
#pragma once
#include <cstdint>

#include "tv_base.h"

struct TvIniBuffer;
struct TvList;

struct TvDataInfoRecord {
  char date[80];         // "Date" of the first data file with one
  TvList* copyright;     // every "Copyright" line met, at most 79 characters each
  char description[80];  // the date in words, built once
};
extern TvDataInfoRecord tvDataInfo;

// Takes a data file's trailer into the record; -1017 when the mode asks for
// a date the trailer lacks or that differs from the one expected.
TvStatus TvDataInfoRecordTrailer(TvIniBuffer* trailer, uint32_t mode);
void TvDataInfoReset();  // frees the copyright list
