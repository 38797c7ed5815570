// tv_date.h: the kernel's calendar and clocks: date and time records,
// validation with clamping, day arithmetic on a day count from 1 January
// 1980, formatting and parsing through picture strings, local time stamps,
// the time zone and the millisecond clock (tick count, or the performance
// counter with HighResTiming).
//
// The clock, profile and time-zone calls go through tvSys (tv_system.h).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "tv_base.h"
#include "tv_context.h"

struct TvDate {
  uint16_t day, month, year;
};

struct TvTime {
  uint16_t hours, minutes, seconds;
};

// Picture kinds; any other number selects the short date picture.
enum TvDateKind : int { TvDateShort = 1, TvDateLong = 2, TvDateBuild = 3 };

// Parse flag: numbers have exactly as many digits as their token has
// letters, and literal characters of the picture must be in the text.
constexpr uint32_t TvDateExact = 0x8000;

constexpr unsigned kTvDatePivot = 80;      // pivot of the plain validation
constexpr size_t kTvDatePictureSize = 60;  // pictures: at most 59 characters
constexpr size_t kTvDateTextSize = 60;     // TvDateFormat writes at most 59

// Reads the pictures (configuration, then the profile section "Intl", then
// the defaults), sets the century pivot from today and reads HighResTiming.
// Part of the kernel start-up.
void TvDateInit(const TvOptionReader& options);
// HighResTiming is on and the performance counter works.
bool TvHighResTiming();
// The current year mod 100, set by TvDateInit (80 before).
unsigned TvDateCenturyPivot();
// The picture of a kind, as TvDateFormat uses it.
const char* TvDatePicture(int kind);

// Corrects the date in place; 0, or -1045 raised with a detail for each
// correction (the last one is returned). A year below 100 is taken as
// 20yy below the pivot, else 19yy; 100 to 1899 become 1900.
TvStatus TvDateValidate(TvDate& date, unsigned pivot = kTvDatePivot);

// Reads day, month and year as three numbers; the text after them, or
// nullptr (and a zero date) when the day is 0.
const char* TvDateFromText(TvDate& date, const char* text);

unsigned TvDaysInMonth(unsigned month, unsigned year);  // 28 to 31
// Day count from 1 January 1980 (day 0) and the weekday (0 = Sunday) of the
// date as validation would correct it; neither raises.
int32_t TvDateDayCount(const TvDate& date);
unsigned TvDateWeekday(const TvDate& date);
// Day count of second minus that of first, both validated.
int32_t TvDateDiff(const TvDate& first, const TvDate& second);
int32_t TvDateDaysFromToday(const TvDate& date);
// Validates the date, adds months, years and days, and returns the length
// of the resulting month. Results are kept within 1 January 1900 to
// 31 December 65535.
unsigned TvDateAdd(TvDate& date, int32_t days, int32_t months, int32_t years);

// 1 when the whole text fitted into size - 1 characters, 0 when it was cut.
int TvDateFormatPicture(char* out, size_t size, const char* picture, const TvDate& date);
int TvDateFormat(char* out, size_t size, int kind, const TvDate& date);

// Reads a date through a picture into date (fields the picture does not
// name keep their values); weekday and rest are optional. 0 or -1045.
TvStatus TvDateParsePicture(const char* text, const char* picture, uint32_t flags, TvDate& date, uint16_t* weekday,
                            unsigned pivot, const char** rest);
TvStatus TvDateParse(const char* text, int kind, TvDate& date, uint16_t* weekday, unsigned pivot, const char** rest);

void TvToday(TvDate& date);
// Waits, through the system-call table.
void TvSleep(uint32_t milliseconds);
void TvNow(TvTime& time);
// Clamps hours to 23, minutes and seconds to 59; 0 or -1045 raised.
TvStatus TvTimeValidate(TvTime& time);
// Seconds of second minus seconds of first, after clamping both.
int32_t TvTimeDiff(const TvTime& first, const TvTime& second);

// "%2u:%02u:%02u %2u/%02u/%02u", with ".%03u" milliseconds after the
// seconds when HighResTiming is on.
size_t TvTimeStamp(char* out, size_t size);

struct TvTimeZoneInfo {
  int32_t bias;   // minutes east of UTC, daylight saving included
  char name[16];  // empty without zone information
};
TvStatus TvTimeZone(TvTimeZoneInfo& zone);  // 0 or -1046

void TvTimingReset();  // kernel reset: the clock starts at 0, pictures back to the defaults
uint32_t TvMilliseconds();

struct TvLocalTime {
  uint16_t year, month, day, hour, minute, second, millisecond;
};
bool TvNowLocal(TvLocalTime& now);
