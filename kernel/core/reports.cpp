// reports.cpp: the data information record, filled from the trailers of
// the data files that are opened with a data-information request.
#include "tv_reports.h"

#include <cstring>

#include "tv_error.h"
#include "tv_file.h"
#include "tv_ini.h"
#include "tv_list.h"
#include "tv_string.h"

TvDataInfoRecord tvDataInfo;

void TvDataInfoReset() {
  if (tvDataInfo.copyright) TvListFree(tvDataInfo.copyright);
  tvDataInfo = TvDataInfoRecord{};
}

TvStatus TvDataInfoRecordTrailer(TvIniBuffer* trailer, uint32_t mode) {
  char line[80];
  // The first section's "Copyright" lines, value and continuation lines.
  if (TvIniGetString(trailer, nullptr, "Copyright", "", line, sizeof line)) {
    if (!tvDataInfo.copyright) tvDataInfo.copyright = TvListCreate(TvListUnsorted, nullptr, -1, 0);
    if (!tvDataInfo.copyright) return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
    do {
      if (TvStatus status = TvListAdd(tvDataInfo.copyright, line, nullptr); status != TvOk) return status;
    } while (TvIniNextLine(trailer, line, sizeof line));
  }
  char date[80];
  const bool hasDate = TvIniGetString(trailer, nullptr, "Date", "", date, sizeof date) && date[0];
  if ((mode & (TvFileDataDate | TvFileDataExpected)) && !hasDate)
    return TvErrorRaise(TvErrDataVersion, nullptr, TvRaiseOrigin);
  if ((mode & TvFileDataExpected) && tvDataInfo.date[0] && !TvStrEqualNoCase(tvDataInfo.date, date))
    return TvErrorRaise(TvErrDataVersion, date, TvRaiseOrigin);
  if (hasDate && !tvDataInfo.date[0]) TvStrCopy(tvDataInfo.date, date, sizeof tvDataInfo.date);
  return TvOk;
}
