// reports.cpp: the data information record, filled from the trailers of
// the data files that are opened with a data-information request.
#include "tv_reports.h"

#include <cstdarg>
#include <cstring>

#include "tv_date.h"
#include "tv_error.h"
#include "tv_instance.h"
#include "tv_log.h"
#include "tv_memory.h"
#include "tv_path.h"
#include "tv_file.h"
#include "tv_ini.h"
#include "tv_list.h"
#include "tv_string.h"

TvDataInfoRecord tvDataInfo;

void TvDataInfoReset() {
  if (tvDataInfo.copyright) TvListFree(tvDataInfo.copyright);
  tvDataInfo = TvDataInfoRecord{};
}

namespace {

TvStatus AddCopyright(const char* line) {
  if (!tvDataInfo.copyright) tvDataInfo.copyright = TvListCreate(TvListUnsorted, nullptr, -1, 0);
  if (!tvDataInfo.copyright) return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin);
  return TvListAdd(tvDataInfo.copyright, line, nullptr);
}

TvStatus RecordDate(const char* date, uint32_t mode) {
  const bool hasDate = date[0] != '\0';
  if ((mode & (TvFileDataDate | TvFileDataExpected)) && !hasDate)
    return TvErrorRaise(TvErrDataVersion, nullptr, TvRaiseOrigin);
  if ((mode & TvFileDataExpected) && tvDataInfo.date[0] && !TvStrEqualNoCase(tvDataInfo.date, date))
    return TvErrorRaise(TvErrDataVersion, date, TvRaiseOrigin);
  if (hasDate && !tvDataInfo.date[0]) TvStrCopy(tvDataInfo.date, date, sizeof tvDataInfo.date);
  if (hasDate && !tvDataInfo.description[0]) {
    // "12 September 2003 (text after the date)", with the build date picture.
    TvDate day{};
    const char* rest = TvStrOrEmpty(TvDateFromText(day, date));
    while (*rest == ' ') ++rest;
    char when[kTvDateTextSize];
    TvDateFormat(when, sizeof when, TvDateBuild, day);
    if (*rest) TvFormat(tvDataInfo.description, sizeof tvDataInfo.description, "%s (%s)", when, rest);
    else TvStrCopy(tvDataInfo.description, when, sizeof tvDataInfo.description);
  }
  return TvOk;
}

}  // namespace

TvStatus TvDataInfoRecordTrailer(TvIniBuffer* trailer, uint32_t mode) {
  char line[80];
  // The first section's "Copyright" lines, value and continuation lines.
  if (TvIniGetString(trailer, nullptr, "Copyright", "", line, sizeof line)) {
    do {
      if (TvStatus status = AddCopyright(line); status != TvOk) return status;
    } while (TvIniNextLine(trailer, line, sizeof line));
  }
  char date[80];
  TvIniGetString(trailer, nullptr, "Date", "", date, sizeof date);
  return RecordDate(date, mode);
}

TvStatus TvDataInfoRecordAgain(const char* copyright, uint32_t count, const char* date) {
  for (uint32_t i = 0; i < count; ++i, copyright += strlen(copyright) + 1)
    if (TvStatus status = AddCopyright(copyright); status != TvOk) return status;
  return RecordDate(TvStrOrEmpty(date), 0);
}

TvStatus TvDataInfoRecordFile(TvIniBuffer* trailer, uint32_t mode) {
  const TvStatus status = TvDataInfoRecordTrailer(trailer, mode);
  if (status == TvOk && (mode & TvFileDataConfig)) {
    TvIniFree(&tvConfig);
    tvConfig = *trailer;
    *trailer = TvIniBuffer{};
  }
  return status;
}

// ---- Build records and the system information report ----------------------

namespace {

constexpr char kMarker[] = ":RESDEFMARK:";
constexpr char kProductRecord[] = "\r\n:RESDEFMARK:ProductVersion(Base):ResDefBuildInfo\r\n";
const char* programRecord = nullptr;
TvList* report = nullptr;

// "name" and "version" of a build record's text after the marker.
void RecordNameAndVersion(const char* record, char* name, size_t nameSize, char* version, size_t versionSize) {
  const char* text = strstr(TvStrOrEmpty(record), kMarker);
  text = text ? text + sizeof kMarker - 1 : "";
  const size_t nameLength = strcspn(text, " :(");
  TvStrCopy(name, text, nameLength + 1 < nameSize ? nameLength + 1 : nameSize);
  const char* rest = text + nameLength;
  version[0] = '\0';
  if (*rest == ' ') {
    TvStrCopyUntil(version, rest + 1, ':', versionSize);
  } else if (*rest == '(') {
    TvStrCopyUntil(version, rest + 1, ')', versionSize);
  }
  // A record's text ends at its line end.
  version[strcspn(version, "\r\n")] = '\0';
}

bool AddLine(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
bool AddLine(const char* format, ...) {
  char line[kTvReportLineSize];
  va_list args;
  va_start(args, format);
  TvFormatV(line, sizeof line, format, args);
  va_end(args);
  return TvListAdd(report, line, nullptr) == TvOk;
}

bool BuildReport() {
  if (!AddLine("Program:\t%s", tvInstance.title)) return false;
  if (!AddLine("Release:\t%s", tvInstance.version)) return false;
  if (!AddLine("Platform:\tWindows 32-bit")) return false;
  if (!AddLine("Libraries:")) return false;
  for (int i = 0; const char* record = TvBuildRecord(i); ++i) {
    char name[80], version[80];
    RecordNameAndVersion(record, name, sizeof name, version, sizeof version);
    if (!AddLine("%s\t%s", name, version)) return false;
  }
  if (tvDataInfo.description[0]) {
    if (!AddLine("Data:\t%s", tvDataInfo.description)) return false;
    for (uint32_t i = 0; tvDataInfo.copyright && i < tvDataInfo.copyright->count; ++i)
      if (!AddLine("\t(c) %s", static_cast<const char*>(tvDataInfo.copyright->items[i]))) return false;
  }
  if (!AddLine("%s", "")) return false;
  if (!AddLine("Config:\t%s", tvInstance.configPath[0] ? tvInstance.configPath : "<none>")) return false;
  if (!AddLine("Section:\t%s", tvInstance.section)) return false;
  if (!AddLine("%s", "")) return false;
  if (!AddLine("Prog Dir:\t%s", tvContext.progDir)) return false;
  if (!AddLine("Home Dir:\t%s", tvContext.homeDir)) return false;
  char dataDir[kTvPathSize];
  TvDataDirGet(0, dataDir);
  if (!AddLine("Data Dir:\t%s", dataDir)) return false;
  for (int i = 1; TvDataDirGet(i, dataDir); ++i)
    if (!AddLine("\t%s", dataDir)) return false;
  if (!AddLine("Temp Dir:\t%s", tvContext.tempDir)) return false;
  if (!AddLine("Log File:\t%s", tvLog.fileOpen ? tvLog.path : "<disabled>")) return false;
  if (!AddLine("%s", "")) return false;
  char limit[40] = "";
  if (tvMemStats.limit != UINT64_MAX)
    TvFormat(limit, sizeof limit, "max=%lu,", static_cast<unsigned long>(tvMemStats.limit));
  if (!AddLine("Memory:\t%lu (%sallocs=%lu)", static_cast<unsigned long>(tvMemStats.payloadBytes), limit,
               static_cast<unsigned long>(tvMemStats.payloadAllocations)))
    return false;
  if (!AddLine("%s", "")) return false;
  uint64_t usedBytes = 0, freeBytes = 0, usedBlocks = 0, freeBlocks = 0;
  TvMemClassInfo info;
  for (uint32_t i = 0; TvMemClassGet(i, &info); ++i) {
    usedBytes += uint64_t{info.blocksInUse} * info.blockSize;
    freeBytes += uint64_t{info.blocksFree} * info.blockSize;
    usedBlocks += info.blocksInUse;
    freeBlocks += info.blocksFree;
  }
  if (!AddLine("Data:\t%lu (free=%lu)", static_cast<unsigned long>(usedBytes), static_cast<unsigned long>(freeBytes)))
    return false;
  return AddLine("Blocks:\t%lu (free=%lu)", static_cast<unsigned long>(usedBlocks),
                 static_cast<unsigned long>(freeBlocks));
}

}  // namespace

void TvSetProgramBuildRecord(const char* record) { programRecord = record; }

const char* TvBuildRecord(int index) {
  const char* const records[] = {TvKernelVariantInUse().buildRecord, programRecord, kProductRecord};
  int seen = 0;
  for (const char* record : records)
    if (record && seen++ == index) return record;
  return nullptr;
}

TvStatus TvSystemInfoLine(int32_t lineNo, const char** line) {
  *line = "";
  if (lineNo < 0) {
    TvSystemInfoDiscard();
    return TvOk;
  }
  if (!report) {
    report = TvListCreate(TvListUnsorted, nullptr, -1, 0);
    if (!report) {
      TvErrorRaise(TvErrNoMemory, "Could not create SysInfo storage list", TvRaiseOrigin);
      return TvErrNotDefined;
    }
    BuildReport();  // a line that cannot be added ends the report there
  }
  if (static_cast<uint32_t>(lineNo) >= report->count) return TvErrNotDefined;
  *line = static_cast<const char*>(report->items[lineNo]);
  return TvOk;
}

void TvSystemInfoDiscard() {
  if (report) TvListFree(report);
  report = nullptr;
}
