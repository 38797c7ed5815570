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
// The same for a data file being opened; with TvFileDataConfig the trailer
// then becomes the configuration buffer (trailer is left empty).
TvStatus TvDataInfoRecordFile(TvIniBuffer* trailer, uint32_t mode);
// Records again what a trailer read once with TvFileDataConfig alone gave
// the record, without the file: the count copyright lines it added, in
// order, each ended by a NUL and followed by the next, and its first
// section's "Date" ("" without one).
TvStatus TvDataInfoRecordAgain(const char* copyright, uint32_t count, const char* date);
void TvDataInfoReset();  // frees the copyright list

// Build records: a marker, name, version, "(", revision, ")", ":" and a
// build description, surrounded by CR LF, one per module of the program, so
// that they can also be found in the binary itself.
void TvSetProgramBuildRecord(const char* record);
const char* TvBuildRecord(int index);  // kernel, program, product version; nullptr after

// The system information report, built on first use and kept until discarded.
constexpr size_t kTvReportLineSize = 200;
TvStatus TvSystemInfoLine(int32_t lineNo, const char** line);  // lineNo < 0 discards
void TvSystemInfoDiscard();
