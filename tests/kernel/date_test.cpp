// The calendar and clocks: day counts, validation and its raised details,
// day arithmetic, pictures from the configuration and the profile,
// formatting and parsing in every language, the time zone and the
// millisecond clock with its counter failures.
#include <climits>
#include <cstring>
#include <string>
#include <tuple>

#include "kernel_fixture.h"

namespace {

std::string profileShort, profileLong, profileKeysAsked;

DWORD WINAPI FakeProfile(LPCSTR, LPCSTR key, LPCSTR, LPSTR out, DWORD size) {
  profileKeysAsked += std::string(key) + ";";
  const std::string& value = std::string(key) == "sShortDate" ? profileShort : profileLong;
  return static_cast<DWORD>(TvStrCopy(out, value.c_str(), size));
}

std::string Shown(const TvDate& d) {
  return std::to_string(d.day) + "." + std::to_string(d.month) + "." + std::to_string(d.year);
}

class Dates : public tvtest::KernelTest {
 protected:
  Dates() {
    profileShort.clear();
    profileLong.clear();
    tvSys.profileString = FakeProfile;
  }
  void Start(const std::string& options = "") {
    ASSERT_EQ(StartWith("[TvDefault]\n" + options, TvFlagKeepConfig), 0);
    profileKeysAsked.clear();
    TvDateInit(kTvKernelOptions);
  }
  void Restart(const std::string& options = "") {
    TvKernelShutdown(0);
    Start(options);
  }
  static std::string Newest() { return TvStrOrEmpty(TvErrorHistoryLine(false, 0)); }
  static std::string Format(const char* picture, TvDate date, size_t size = 100) {
    char out[100];
    TvDateFormatPicture(out, size, picture, date);
    return out;
  }
  static TvStatus Parse(const char* text, const char* picture, TvDate& d, uint32_t flags = 0,
                        const char** rest = nullptr, unsigned pivot = 80) {
    return TvDateParsePicture(text, picture, flags, d, nullptr, pivot, rest);
  }
};

const TvDate kMarch5th2004 = {5, 3, 2004};

TEST_F(Dates, DayCountWeekdayAndMonthLengths) {
  // Day counts from 1 January 1980, a Tuesday; 5 March 2004 is a Friday.
  for (const auto& [date, count, weekday] :
       {std::tuple{TvDate{1, 1, 1980}, 0, 2u}, {TvDate{31, 12, 1979}, -1, 1u}, {kMarch5th2004, 8830, 5u}}) {
    EXPECT_EQ(TvDateDayCount(date), count) << Shown(date);
    EXPECT_EQ(TvDateWeekday(date), weekday) << Shown(date);
  }
  const unsigned kMonths[][3] = {{2, 1900, 28}, {2, 2000, 29}, {2, 2004, 29},
                                 {2, 2003, 28}, {4, 2003, 30}, {12, 2003, 31}};
  for (const auto& m : kMonths) EXPECT_EQ(TvDaysInMonth(m[0], m[1]), m[2]) << m[0] << "/" << m[1];
  EXPECT_EQ(TvDateDiff({1, 1, 2004}, kMarch5th2004), 64);
  EXPECT_EQ(TvDateDiff(kMarch5th2004, {1, 1, 2004}), -64);
}

TEST_F(Dates, ValidationClampsAndRaisesTheDetail) {
  Start();
  // Two-digit years below the pivot are in the 2000s; no line: the date is valid.
  // clang-format off
  const struct { TvDate in; unsigned pivot; TvDate out; const char* line; } cases[] = {
      {{29, 2, 1900}, kTvDatePivot, {28, 2, 1900}, "> Invalid time/date (Day > 28)"},
      {{29, 2, 2000}, kTvDatePivot, {29, 2, 2000}, ""}, {{1, 1, 79}, 80, {1, 1, 2079}, ""},
      {{1, 1, 80}, 80, {1, 1, 1980}, ""}, {{1, 1, 150}, kTvDatePivot, {1, 1, 1900}, ""},
      {{5, 0, 2003}, kTvDatePivot, {5, 1, 2003}, "> Invalid time/date (Month < 1)"},
      {{5, 13, 2003}, kTvDatePivot, {5, 12, 2003}, "> Invalid time/date (Month > 12)"},
      {{0, 4, 2003}, kTvDatePivot, {1, 4, 2003}, "> Invalid time/date (Day < 1)"},
      {{31, 4, 2003}, kTvDatePivot, {30, 4, 2003}, "> Invalid time/date (Day > 30)"},
      {{65535, 65535, 65535}, kTvDatePivot, {31, 12, 65535}, "> Invalid time/date (Day > 31)"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(Shown(c.in));
    TvDate d = c.in;
    EXPECT_EQ(TvDateValidate(d, c.pivot), c.line[0] ? TvErrDateTime : TvOk);
    EXPECT_EQ(Shown(d), Shown(c.out));
    EXPECT_EQ(c.line[0] ? Newest() : "", c.line);
  }
  // Times are clamped too, and before they are subtracted.
  TvTime t = {25, 61, 70};
  EXPECT_EQ(TvTimeValidate(t), TvErrDateTime);
  EXPECT_EQ(t.hours * 10000 + t.minutes * 100 + t.seconds, 235959);
  EXPECT_EQ(Newest(), "> Invalid time/date (Seconds > 59)");
  EXPECT_EQ(TvTimeDiff({1, 0, 0}, {0, 0, 30}), -3570);
  EXPECT_EQ(TvTimeDiff({0, 0, 0}, {99, 99, 99}), 86399);
}

TEST_F(Dates, AddingDaysMonthsAndYears) {
  Start();
  // The answer is the length of the result's month. Far outside the range
  // the result stays within 1900 to 65535.
  // clang-format off
  const struct { TvDate from; int32_t days, months, years; TvDate to; unsigned monthLength; } cases[] = {
      {{31, 1, 2003}, 0, 1, 0, {28, 2, 2003}, 28}, {{31, 1, 2004}, 0, 1, 0, {29, 2, 2004}, 29},
      {{1, 1, 1980}, -1, 0, 0, {31, 12, 1979}, 31}, {kMarch5th2004, 0, -14, 1, {5, 1, 2004}, 31},
      {{28, 2, 2003}, 366, 0, 0, {29, 2, 2004}, 29},
      {{31, 1, 2003}, 1, 1, 0, {4, 3, 2003}, 31},  // the days run on from 31 February
      {{65535, 65535, 65535}, INT32_MAX, INT32_MAX, INT32_MAX, {31, 12, 65535}, 31},
      {{1, 1, 1900}, INT32_MIN, INT32_MIN, INT32_MIN, {1, 1, 1900}, 31},
      {{15, 6, 2000}, 0, 0, INT32_MIN, {15, 1, 1900}, 31},
  };
  // clang-format on
  for (const auto& c : cases) {
    TvDate d = c.from;
    EXPECT_EQ(TvDateAdd(d, c.days, c.months, c.years), c.monthLength) << c.days << " " << c.months << " " << c.years;
    EXPECT_EQ(Shown(d), Shown(c.to));
  }
  TvDate today, tomorrow;
  TvToday(today);
  tomorrow = today;
  TvDateAdd(tomorrow, 1, 0, 0);
  EXPECT_EQ(TvDateDaysFromToday(today), 0);
  EXPECT_EQ(TvDateDaysFromToday(tomorrow), 1);
}

TEST_F(Dates, DateFromTextReadsThreeNumbers) {
  TvDate d = {9, 9, 9};
  const char* rest = TvDateFromText(d, "12/05/2003 Spring release");
  EXPECT_EQ(Shown(d), "12.5.2003");
  EXPECT_STREQ(rest, "Spring release");
  for (const char* text : {"0/5/2003", "", "-4/1/2003", "release", static_cast<const char*>(nullptr)}) {
    d = {9, 9, 9};
    EXPECT_EQ(TvDateFromText(d, text), nullptr) << TvStrOrEmpty(text);
    EXPECT_EQ(Shown(d), "0.0.0") << TvStrOrEmpty(text);
  }
}

TEST_F(Dates, FormattingPicturesAndCutOutput) {
  Start();
  // Runs that are no token vanish; an invalid date is corrected first.
  for (const auto& [picture, date, text] : {std::tuple{"dddd, dd MMMM yyyy", kMarch5th2004, "Friday, 05 March 2004"},
                                            {"d/m/yy", kMarch5th2004, "5/3/04"},
                                            {"DDD MMM YYYY", kMarch5th2004, "Fri Mar 2004"},
                                            {"ddddd [yyy] at hh", kMarch5th2004, " []  "},
                                            {"yyyy-mm-dd", TvDate{1, 1, 5}, "2005-01-01"},
                                            {"dd/mm/yyyy", TvDate{31, 13, 3}, "31/12/2003"}})
    EXPECT_EQ(Format(picture, date), text) << picture;
  EXPECT_EQ(Newest(), "> Invalid time/date (Month > 12)");
  char out[32];
  EXPECT_EQ(TvDateFormatPicture(out, 22, "dddd, dd MMMM yyyy", kMarch5th2004), 1);
  EXPECT_EQ(TvDateFormatPicture(out, 21, "dddd, dd MMMM yyyy", kMarch5th2004), 0);
  EXPECT_STREQ(out, "Friday, 05 March 200");
  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvDateFormatPicture(out, 1, "dd", kMarch5th2004), 0);
  EXPECT_EQ(std::string(out, 2), std::string("\0x", 2));
  EXPECT_EQ(TvDateFormatPicture(out, 0, "dd", kMarch5th2004), 0);
  EXPECT_EQ(TvDateFormatPicture(nullptr, 10, "dd", kMarch5th2004), 0);
  EXPECT_EQ(TvDateFormatPicture(out, sizeof out, nullptr, kMarch5th2004), 1);
  EXPECT_STREQ(out, "");
}

TEST_F(Dates, PicturesComeFromTheConfigurationThenTheProfileThenTheDefaults) {
  char out[kTvDateTextSize];
  profileShort = "d.M.yyyy";
  profileLong = "dddd d MMMM yyyy";
  Start("ShortDate=yyyy-mm-dd\nLongDate=d mmmm yyyy\nBuildDate=mmmm yyyy\n");
  EXPECT_EQ(profileKeysAsked, "");
  for (const auto& [kind, text] :
       {std::pair{1, "2004-03-05"}, {2, "5 March 2004"}, {3, "March 2004"}, {7, "2004-03-05"}}) {
    EXPECT_EQ(TvDateFormat(out, sizeof out, kind, kMarch5th2004), 1);
    EXPECT_STREQ(out, text) << kind;
  }
  Restart();
  EXPECT_EQ(profileKeysAsked, "sShortDate;sLongDate;");
  EXPECT_STREQ(TvDatePicture(TvDateShort), "d.M.yyyy");
  EXPECT_STREQ(TvDatePicture(TvDateLong), "dddd d MMMM yyyy");
  EXPECT_STREQ(TvDatePicture(TvDateBuild), "dd MMMM yyyy");
  profileShort = profileLong = "";
  Restart("ShortDate=" + std::string(400, 'd') + "\n");
  EXPECT_EQ(strlen(TvDatePicture(TvDateShort)), 59u);
  Restart();
  EXPECT_STREQ(TvDatePicture(TvDateShort), "dd/mm/yy");
  EXPECT_STREQ(TvDatePicture(TvDateLong), "dddd, dd MMMM yyyy");
  TvDate today;
  TvToday(today);
  EXPECT_EQ(TvDateCenturyPivot(), today.year % 100u);
}

TEST_F(Dates, ParsingNumbersNamesAndSeparators) {
  Start();
  TvDate d = {};
  uint16_t weekday = 9;
  const char* rest = nullptr;
  EXPECT_EQ(Parse("12-Sept-2003", "dd-mmm-yyyy", d, 0, &rest), TvOk);
  EXPECT_EQ(Shown(d), "12.9.2003");
  EXPECT_STREQ(rest, "");
  EXPECT_EQ(TvDateParsePicture(" FRIDAY, 5 march 2004 and more", "dddd, d mmmm yyyy", 0, d, &weekday, 80, &rest), 0);
  EXPECT_EQ(Shown(d), Shown(kMarch5th2004));
  EXPECT_EQ(weekday, 5);
  EXPECT_STREQ(rest, "and more");
  for (const auto& [pivot, year] : {std::pair{80u, 2079}, {70u, 1979}}) {
    EXPECT_EQ(Parse("01-02-79", "dd/mm/yy", d, 0, nullptr, pivot), TvOk);
    EXPECT_EQ(Shown(d), "1.2." + std::to_string(year));
  }
  // Exact digits and literal characters.
  for (const auto& [text, status] :
       {std::pair{"01/02/2003", TvOk}, {"1/02/2003", TvErrDateTime}, {"01-02-2003", TvErrDateTime}})
    EXPECT_EQ(Parse(text, "dd/mm/yyyy", d, TvDateExact), status) << text;
  // clang-format off
  const struct { const char* text; const char* line; const char* rest; } bad[] = {
      {"12-13-2003", "> Invalid time/date (mm: 13-2003)", "13-2003"},
      {"32-01-2003", "> Invalid time/date (dd: 32-01-2003)", "32-01-2003"},
      {"12-01-2199", "> Invalid time/date (yyyy: 2199)", "2199"},
  };
  // clang-format on
  for (const auto& c : bad) {
    d = {1, 1, 2000};
    EXPECT_EQ(Parse(c.text, "dd-mm-yyyy", d, 0, &rest), TvErrDateTime) << c.text;
    EXPECT_EQ(Newest(), c.line);
    EXPECT_STREQ(rest, c.rest);
  }
  // An unknown name is reported once and the parse goes on.
  d = {};
  EXPECT_EQ(Parse("Someday 12 Smarch 2003", "dddd dd mmmm yyyy", d, 0, &rest), TvErrDateTime);
  EXPECT_EQ(Newest(), "> Invalid time/date (dddd: Someday 12 Smarch 2003)");
  EXPECT_EQ(d.day, 12);
  EXPECT_EQ(d.year, 2003);
  // The empty picture validates the date; TvDateParse uses the kind's picture.
  d = {31, 4, 2003};
  EXPECT_EQ(Parse("whatever", "", d), TvErrDateTime);
  EXPECT_EQ(Shown(d), "30.4.2003");
  EXPECT_EQ(TvDateParse("05/03/04", TvDateShort, d, nullptr, 80, nullptr), TvOk);
  EXPECT_EQ(Shown(d), Shown(kMarch5th2004));
}

TEST_F(Dates, HostileTextsAndPicturesGiveAStatus) {
  Start();
  const std::string longText(400, 'A'), longPicture(400, 'd');
  std::string mixed;
  while (mixed.size() < 400) mixed += "dddd mmmm/yyyy-";
  TvDate d = {};
  const char* rest = nullptr;
  EXPECT_EQ(Parse(nullptr, "dd/mm/yyyy", d, 0, &rest), TvErrDateTime);
  EXPECT_STREQ(rest, "");
  d = kMarch5th2004;
  EXPECT_EQ(Parse("5/3/2004", nullptr, d), TvOk);
  EXPECT_EQ(Parse(longText.c_str(), "mmmm", d, 0, &rest), TvErrDateTime);
  EXPECT_EQ(rest, longText.c_str() + 400);
  for (const auto& [text, picture] : {std::pair{longText, longPicture}, {std::string(400, '9'), std::string("yyyy")}})
    EXPECT_EQ(Parse(text.c_str(), picture.c_str(), d), TvErrDateTime);
  EXPECT_EQ(Parse("", mixed.c_str(), d, TvDateExact), TvErrDateTime);
  char out[kTvDateTextSize + 8];
  memset(out, 'x', sizeof out);
  EXPECT_EQ(TvDateFormatPicture(out, kTvDateTextSize, mixed.c_str(), kMarch5th2004), 0);
  EXPECT_EQ(strlen(out), kTvDateTextSize - 1);
  EXPECT_EQ(out[kTvDateTextSize], 'x');
  EXPECT_EQ(TvDateFormatPicture(out, kTvDateTextSize, longPicture.c_str(), kMarch5th2004), 1);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(Format("dd/mm/yyyy", {65535, 65535, 65535}), "31/12/65535");
}

// Each language's names: formatted and read back for every month and
// weekday, long and short, and the table's own texts are what appears.
class DateLanguages : public Dates, public ::testing::WithParamInterface<int> {};

TEST_P(DateLanguages, NamesRoundTrip) {
  Start("Language=" + std::to_string(GetParam()) + "\n");
  const TvMsgTableRef table = TvKernelStringsInUse();
  for (uint16_t month = 1; month <= 12; ++month) {
    const TvDate date = {static_cast<uint16_t>(month + 10), month, 2003};
    const unsigned weekday = TvDateWeekday(date);
    for (const char* picture : {"dddd, dd mmmm yyyy", "ddd dd mmm yyyy"}) {
      const bool full = picture[3] == 'd';
      const std::string dayName = TvMsgText(table, (full ? 29 : 36) + static_cast<int>(weekday));
      const std::string monthName = TvMsgText(table, (full ? 5 : 17) + month - 1);
      const std::string out = Format(picture, date);
      EXPECT_EQ(out, dayName + (full ? ", " : " ") + std::to_string(month + 10) + " " + monthName + " 2003");
      TvDate back = {};
      uint16_t backDay = 9;
      EXPECT_EQ(TvDateParsePicture(out.c_str(), picture, 0, back, &backDay, 80, nullptr), TvOk) << out;
      EXPECT_EQ(Shown(back), Shown(date)) << out;
      EXPECT_EQ(backDay, weekday) << out;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(All, DateLanguages, ::testing::Values(44, 1, 31, 34, 33, 49));

// Clock stand-ins: a counter that moves by 2500 ticks of a 1000 Hz clock.
LONGLONG counterNow = 0;
BOOL WINAPI Fails(LARGE_INTEGER*) { return FALSE; }
BOOL WINAPI Frequency1000(LARGE_INTEGER* f) {
  f->QuadPart = 1000;
  return TRUE;
}
BOOL WINAPI Counter(LARGE_INTEGER* c) {
  c->QuadPart = counterNow;
  return TRUE;
}
DWORD WINAPI TickAt42() { return 42; }

TEST_F(Dates, HighResolutionTimingAndItsFailures) {
  tvSys.queryFrequency = Frequency1000;
  tvSys.queryCounter = Counter;
  counterNow = 5000;
  Start("HighResTiming=Y\n");
  EXPECT_TRUE(TvHighResTiming());
  counterNow = 7500;
  EXPECT_EQ(TvMilliseconds(), 2500u);
  char stamp[40];
  EXPECT_EQ(TvTimeStamp(stamp, sizeof stamp), 21u) << stamp;
  EXPECT_EQ(stamp[8], '.');
  tvSys.queryCounter = Fails;
  tvSys.tickCount = TickAt42;
  const uint32_t ms = TvMilliseconds();
  EXPECT_FALSE(TvHighResTiming());
  EXPECT_EQ(Newest(), "> Invalid action (Could not use High Performance Tick Counter)");
  EXPECT_EQ(ms, TvMilliseconds());  // the tick count from now on
  EXPECT_EQ(TvTimeStamp(stamp, sizeof stamp), 17u) << stamp;
  EXPECT_EQ(TvTimeStamp(stamp, 1), 0u);
  Restart("HighResTiming=Y\n");
  EXPECT_FALSE(TvHighResTiming());
  EXPECT_EQ(Newest(), "> Invalid action (Could not first use High Performance Tick Counter)");
  tvSys.queryFrequency = Fails;
  Restart("HighResTiming=Y\n");
  EXPECT_FALSE(TvHighResTiming());
  EXPECT_EQ(Newest(), "> Invalid action (Could not calibrate High Performance Tick Counter)");
}

DWORD zoneAnswer = TIME_ZONE_ID_DAYLIGHT;
DWORD WINAPI FakeZone(LPTIME_ZONE_INFORMATION info) {
  info->Bias = -60;
  info->StandardBias = 0;
  info->DaylightBias = -60;
  lstrcpynW(info->StandardName, L"W. Europe Standard Time", 32);
  lstrcpynW(info->DaylightName, L"W. Europe Daylight Time", 32);
  return zoneAnswer;
}

TEST_F(Dates, TimeZoneBiasAndName) {
  Start();
  tvSys.timeZone = FakeZone;
  TvTimeZoneInfo zone;
  // clang-format off
  const struct { DWORD answer; int32_t bias; const char* name; } cases[] = {
      {TIME_ZONE_ID_DAYLIGHT, 120, "W. Europe Dayli"}, {TIME_ZONE_ID_STANDARD, 60, "W. Europe Stand"},
      {TIME_ZONE_ID_UNKNOWN, 60, ""}};
  // clang-format on
  for (const auto& c : cases) {
    zoneAnswer = c.answer;
    EXPECT_EQ(TvTimeZone(zone), TvOk);
    EXPECT_EQ(std::to_string(zone.bias) + zone.name, std::to_string(c.bias) + c.name);
  }
  zoneAnswer = TIME_ZONE_ID_INVALID;
  EXPECT_EQ(TvTimeZone(zone), TvErrTimeZone);
  EXPECT_EQ(Newest(), "> Invalid time zone");
}

}  // namespace
