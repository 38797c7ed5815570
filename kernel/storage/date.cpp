// date.cpp: the kernel's calendar and clocks. Dates are corrected rather
// than refused: every correction raises -1045 with a detail and the date
// goes on. Pictures are runs of letters; month and day names come from the
// current language's kernel strings. With HighResTiming the millisecond
// clock comes from the performance counter, otherwise from the tick count.
#include "tv_date.h"

#include <cstring>
#include <cwchar>

#include "tv_context.h"
#include "tv_string.h"
#include "tv_system.h"

namespace {

constexpr const char* kDefaultShort = "dd/mm/yy";
constexpr const char* kDefaultLong = "dddd, dd MMMM yyyy";
constexpr const char* kDefaultBuild = "dd MMMM yyyy";

// Kernel string numbers of the names.
constexpr int kMonthNames = 5;
constexpr int kMonthShortNames = 17;
constexpr int kDayNames = 29;
constexpr int kDayShortNames = 36;

constexpr int32_t kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr unsigned kMonthLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

constexpr unsigned kFirstYear = 1900;
constexpr unsigned kLastYear = 65535;

struct Pictures {
  char shortDate[kTvDatePictureSize];
  char longDate[kTvDatePictureSize];
  char buildDate[kTvDatePictureSize];
};
// The defaults from the start, as after TvTimingReset.
Pictures pictures = {"dd/mm/yy", "dddd, dd MMMM yyyy", "dd MMMM yyyy"};
unsigned centuryPivot = kTvDatePivot;

bool highResTiming = false;
DWORD resetTick = 0;
LARGE_INTEGER startCounter = {};
LARGE_INTEGER counterFrequency = {};

void ResetPictures() {
  TvStrCopy(pictures.shortDate, kDefaultShort, sizeof pictures.shortDate);
  TvStrCopy(pictures.longDate, kDefaultLong, sizeof pictures.longDate);
  TvStrCopy(pictures.buildDate, kDefaultBuild, sizeof pictures.buildDate);
  centuryPivot = kTvDatePivot;
}

bool IsLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned MonthLength(unsigned month, int64_t year) {
  if (month < 1 || month > 12) month = month < 1 ? 1 : 12;
  return month == 2 && IsLeap(year) ? 29 : kMonthLength[month - 1];
}

// The day count of a month of a year with any day (beyond the month's end
// it simply runs on into the next months).
int64_t DayCountOf(int64_t year, unsigned month, int64_t day) {
  const int64_t y = month <= 2 ? year - 1 : year;
  return day + kDaysBefore[month - 1] + 365 * year + y / 4 - y / 100 + y / 400 - 723180;
}

// The date of a day count, counted in 400-year eras from 1 March of year 0
// so that the leap day ends each year.
void DateOfDayCount(int64_t count, int64_t& year, unsigned& month, unsigned& day) {
  const int64_t z = count + 723120;  // days from 1 March of year 0
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

// The corrections of validation; report is called with each detail.
template <typename Report>
void Correct(TvDate& date, unsigned pivot, Report report) {
  if (date.year < 100) date.year = static_cast<uint16_t>(date.year + (date.year < pivot ? 2000 : 1900));
  else if (date.year < kFirstYear) date.year = kFirstYear;
  if (date.month < 1) {
    date.month = 1;
    report("Month < 1");
  } else if (date.month > 12) {
    date.month = 12;
    report("Month > 12");
  }
  const unsigned length = MonthLength(date.month, date.year);
  if (date.day < 1) {
    date.day = 1;
    report("Day < 1");
  } else if (date.day > length) {
    date.day = static_cast<uint16_t>(length);
    char detail[32];
    TvFormat(detail, sizeof detail, "Day > %u", length);
    report(detail);
  }
}

TvDate Corrected(const TvDate& date) {
  TvDate copy = date;
  Correct(copy, kTvDatePivot, [](const char*) {});
  return copy;
}

TvDate ClampedDate(int64_t count) {
  const int64_t first = DayCountOf(kFirstYear, 1, 1);
  const int64_t last = DayCountOf(kLastYear, 12, 31);
  if (count < first) count = first;
  if (count > last) count = last;
  int64_t year;
  unsigned month, day;
  DateOfDayCount(count, year, month, day);
  return {static_cast<uint16_t>(day), static_cast<uint16_t>(month), static_cast<uint16_t>(year)};
}

const char* KernelName(int number) { return TvStrOrEmpty(TvMsgText(TvKernelStringsInUse(), number)); }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Letters of names include the accented ones of code page 1252.
bool IsNameLetter(char c) { return IsLetter(c) || static_cast<uint8_t>(c) >= 0xC0; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The picture tokens, longest of each letter first.
enum class Token { None, Day, Day2, DayShort, DayLong, Month, Month2, MonthShort, MonthLong, Year2, Year4 };
struct TokenEntry {
  const char* text;
  Token token;
};
constexpr TokenEntry kTokens[] = {
    {"dddd", Token::DayLong},   {"ddd", Token::DayShort},   {"dd", Token::Day2},   {"d", Token::Day},
    {"mmmm", Token::MonthLong}, {"mmm", Token::MonthShort}, {"mm", Token::Month2}, {"m", Token::Month},
    {"yyyy", Token::Year4},     {"yy", Token::Year2},
};

// The token that a run of one letter forms (None when it forms none).
Token TokenOfRun(char letter, size_t length) {
  for (const TokenEntry& e : kTokens)
    if (e.text[0] == Lower(letter) && strlen(e.text) == length) return e.token;
  return Token::None;
}

// The first token the picture starts with.
const TokenEntry* TokenAt(const char* picture) {
  for (const TokenEntry& e : kTokens)
    if (TvStrCompareNoCaseN(picture, e.text, strlen(e.text)) == 0) return &e;
  return nullptr;
}

// Output into a caller's buffer that remembers whether anything was cut.
class Writer {
 public:
  Writer(char* out, size_t size) : out_(out), size_(out ? size : 0) {
    if (size_) out_[0] = '\0';
  }
  void Put(const char* text, size_t length) {
    const size_t room = size_ ? size_ - 1 - used_ : 0;
    const size_t n = length < room ? length : room;
    if (n) memcpy(out_ + used_, text, n);
    used_ += n;
    if (size_) out_[used_] = '\0';
    if (n < length) cut_ = true;
  }
  void Put(const char* text) { Put(text, strlen(text)); }
  bool Fitted() const { return size_ > 0 && !cut_; }

 private:
  char* out_;
  size_t size_;
  size_t used_ = 0;
  bool cut_ = false;
};

void FormatToken(Writer& w, Token token, const TvDate& date) {
  char number[16];
  switch (token) {
    case Token::Day: TvFormat(number, sizeof number, "%u", date.day); break;
    case Token::Day2: TvFormat(number, sizeof number, "%02u", date.day); break;
    case Token::Month: TvFormat(number, sizeof number, "%u", date.month); break;
    case Token::Month2: TvFormat(number, sizeof number, "%02u", date.month); break;
    case Token::Year2: TvFormat(number, sizeof number, "%02u", date.year % 100u); break;
    case Token::Year4: TvFormat(number, sizeof number, "%04u", date.year); break;
    case Token::DayShort: w.Put(KernelName(kDayShortNames + static_cast<int>(TvDateWeekday(date)))); return;
    case Token::DayLong: w.Put(KernelName(kDayNames + static_cast<int>(TvDateWeekday(date)))); return;
    case Token::MonthShort: w.Put(KernelName(kMonthShortNames + date.month - 1)); return;
    case Token::MonthLong: w.Put(KernelName(kMonthNames + date.month - 1)); return;
    case Token::None: return;
  }
  w.Put(number);
}

bool IsDateSeparator(char c) { return c != '\0' && strchr("/\\-,.~", c) != nullptr; }

// Matches a list of names (full names first, then the short ones) at the
// text; the index, or -1. A short name also passes over the letters after
// it, so that "Sept" is read as "Sep".
int MatchName(const char*& text, int fullFirst, int shortFirst, int count) {
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < count; ++i) {
      const char* name = KernelName((pass == 0 ? fullFirst : shortFirst) + i);
      const size_t length = strlen(name);
      if (length == 0 || TvStrCompareNoCaseN(text, name, length) != 0) continue;
      text += length;
      if (pass == 1)
        while (IsNameLetter(*text)) ++text;
      return i;
    }
  }
  return -1;
}

TvStatus RaiseDetail(const char* token, const char* text) {
  char detail[kTvErrorTextSize];
  TvFormat(detail, sizeof detail, "%s: %s", token, text);
  return TvErrorRaise(TvErrDateTime, detail, TvRaiseOrigin);
}

void ReadPicture(const TvOptionReader& options, const char* key, const char* profileKey, const char* fallback,
                 char* picture) {
  options.getString(key, "", picture, kTvDatePictureSize);
  if (!picture[0] && profileKey) {
    char value[kTvDatePictureSize] = "";
    if (tvSys.profileString) tvSys.profileString("Intl", profileKey, "", value, sizeof value);
    TvStrCopy(picture, value, kTvDatePictureSize);
  }
  if (!picture[0]) TvStrCopy(picture, fallback, kTvDatePictureSize);
}

}  // namespace

// ---------------------------------------------------------------- start-up

void TvTimingReset() {
  highResTiming = false;
  resetTick = tvSys.tickCount();
  if (!tvSys.queryFrequency(&counterFrequency) || !tvSys.queryCounter(&startCounter)) counterFrequency.QuadPart = 0;
  ResetPictures();
}

void TvDateInit(const TvOptionReader& options) {
  ReadPicture(options, "ShortDate", "sShortDate", kDefaultShort, pictures.shortDate);
  ReadPicture(options, "LongDate", "sLongDate", kDefaultLong, pictures.longDate);
  ReadPicture(options, "BuildDate", nullptr, kDefaultBuild, pictures.buildDate);
  TvDate today;
  TvToday(today);
  centuryPivot = today.year % 100u;

  highResTiming = options.getBool("HighResTiming", 0) != 0;
  if (!highResTiming) return;
  LARGE_INTEGER frequency = {}, counter = {};
  const char* failure = nullptr;
  if (!tvSys.queryFrequency(&frequency) || frequency.QuadPart <= 0)
    failure = "Could not calibrate High Performance Tick Counter";
  else if (!tvSys.queryCounter(&counter)) failure = "Could not first use High Performance Tick Counter";
  if (failure) {
    highResTiming = false;
    counterFrequency.QuadPart = 0;
    TvErrorRaise(TvErrInvalidAction, failure, TvRaiseOrigin);
    return;
  }
  counterFrequency = frequency;
  startCounter = counter;
}

bool TvHighResTiming() { return highResTiming; }

unsigned TvDateCenturyPivot() { return centuryPivot; }

const char* TvDatePicture(int kind) {
  switch (kind) {
    case TvDateLong: return pictures.longDate;
    case TvDateBuild: return pictures.buildDate;
    default: return pictures.shortDate;
  }
}

// ------------------------------------------------------------ calendar

TvStatus TvDateValidate(TvDate& date, unsigned pivot) {
  TvStatus status = TvOk;
  Correct(date, pivot, [&status](const char* detail) { status = TvErrorRaise(TvErrDateTime, detail, TvRaiseOrigin); });
  return status;
}

const char* TvDateFromText(TvDate& date, const char* text) {
  const char* p = TvStrOrEmpty(text);
  uint16_t parts[3];
  for (uint16_t& part : parts) {
    const int32_t value = TvStrToInt(p, &p);
    part = static_cast<uint16_t>(value < 0 ? 0 : value > 65535 ? 65535 : value);
  }
  if (parts[0] == 0) {
    date = {0, 0, 0};
    return nullptr;
  }
  date = {parts[0], parts[1], parts[2]};
  return p;
}

unsigned TvDaysInMonth(unsigned month, unsigned year) { return MonthLength(month, year); }

int32_t TvDateDayCount(const TvDate& date) {
  const TvDate d = Corrected(date);
  return static_cast<int32_t>(DayCountOf(d.year, d.month, d.day));
}

unsigned TvDateWeekday(const TvDate& date) {
  const int32_t count = TvDateDayCount(date);
  return static_cast<unsigned>(((count + 2) % 7 + 7) % 7);
}

int32_t TvDateDiff(const TvDate& first, const TvDate& second) {
  TvDate a = first, b = second;
  TvDateValidate(a);
  TvDateValidate(b);
  return TvDateDayCount(b) - TvDateDayCount(a);
}

int32_t TvDateDaysFromToday(const TvDate& date) {
  TvDate today;
  TvToday(today);
  return TvDateDiff(today, date);
}

unsigned TvDateAdd(TvDate& date, int32_t days, int32_t months, int32_t years) {
  TvDateValidate(date);
  int64_t total = int64_t{date.year} * 12 + (date.month - 1) + months + int64_t{years} * 12;
  const int64_t lowest = int64_t{kFirstYear} * 12, highest = int64_t{kLastYear} * 12 + 11;
  total = total < lowest ? lowest : total > highest ? highest : total;
  const int64_t year = total / 12;
  const unsigned month = static_cast<unsigned>(total % 12) + 1;
  if (days == 0) {
    const unsigned length = MonthLength(month, year);
    date = {static_cast<uint16_t>(date.day > length ? length : date.day), static_cast<uint16_t>(month),
            static_cast<uint16_t>(year)};
  } else {
    date = ClampedDate(DayCountOf(year, month, date.day) + days);
  }
  return MonthLength(date.month, date.year);
}

// ------------------------------------------------------------ pictures

int TvDateFormatPicture(char* out, size_t size, const char* picture, const TvDate& date) {
  Writer w(out, size);
  TvDate d = date;
  TvDateValidate(d);
  for (const char* p = TvStrOrEmpty(picture); *p;) {
    if (!IsLetter(*p)) {
      w.Put(p++, 1);
      continue;
    }
    const char* start = p;
    while (Lower(*p) == Lower(*start)) ++p;
    FormatToken(w, TokenOfRun(*start, static_cast<size_t>(p - start)), d);
  }
  return w.Fitted() ? 1 : 0;
}

int TvDateFormat(char* out, size_t size, int kind, const TvDate& date) {
  return TvDateFormatPicture(out, size, TvDatePicture(kind), date);
}

namespace {

// The steps of TvDateParsePicture.

// A day or month name at t, its index (-1 when none matches: the letters
// there are passed over).
int ParseName(const char*& t, int fullFirst, int shortFirst, int count) {
  const int i = MatchName(t, fullFirst, shortFirst, count);
  if (i < 0)
    while (IsNameLetter(*t)) ++t;
  return i;
}

// The number of a d, m or y token at t into its field of date: as many
// digits as the token has letters when exact, else up to five. False, with
// t left where it was, when they are missing or out of range.
bool ParseNumber(const char*& t, const char* token, bool exact, TvDate& date) {
  const size_t wanted = exact ? strlen(token) : 5;
  uint32_t value = 0;
  size_t digits = 0;
  for (; digits < wanted && t[digits] >= '0' && t[digits] <= '9'; ++digits)
    value = value * 10 + static_cast<uint32_t>(t[digits] - '0');
  const char letter = token[0];
  if ((exact && digits < wanted) || (letter == 'y' && value >= 2199) || (letter == 'm' && value > 12) ||
      (letter == 'd' && value > 31))
    return false;
  t += digits;
  uint16_t& field = letter == 'd' ? date.day : letter == 'm' ? date.month : date.year;
  field = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

TvStatus TvDateParsePicture(const char* text, const char* picture, uint32_t flags, TvDate& date, uint16_t* weekday,
                            unsigned pivot, const char** rest) {
  const char* t = TvStrOrEmpty(text);
  const char* p = TvStrOrEmpty(picture);
  const bool exact = (flags & TvDateExact) != 0;
  TvStatus status = TvOk;
  // Only the first error of a parse is raised.
  auto fail = [&status](const char* token, const char* at) {
    if (status == TvOk) status = RaiseDetail(token, at);
  };

  for (;;) {
    while (*p == ' ') ++p;
    while (*t == ' ') ++t;
    const TokenEntry* token = TokenAt(p);
    if (!token) break;
    p += strlen(token->text);
    const char* at = t;
    if (token->token == Token::DayShort || token->token == Token::DayLong) {
      const int i = ParseName(t, kDayNames, kDayShortNames, 7);
      if (i < 0) fail(token->text, at);
      else if (weekday) *weekday = static_cast<uint16_t>(i);
    } else if (token->token == Token::MonthShort || token->token == Token::MonthLong) {
      const int i = ParseName(t, kMonthNames, kMonthShortNames, 12);
      if (i < 0) fail(token->text, at);
      else date.month = static_cast<uint16_t>(i + 1);
    } else if (!ParseNumber(t, token->text, exact, date)) {
      fail(token->text, at);
      if (rest) *rest = at;
      return status;
    }
    if (!exact) {
      if (IsDateSeparator(*p)) ++p;
      if (IsDateSeparator(*t)) ++t;
    } else if (*p && *p != ' ' && !TokenAt(p)) {
      if (*p != *t) {
        fail(token->text, t);
        break;
      }
      ++p;
      ++t;
    }
  }
  if (rest) *rest = t;
  if (status != TvOk) return status;
  return TvDateValidate(date, pivot);
}

TvStatus TvDateParse(const char* text, int kind, TvDate& date, uint16_t* weekday, unsigned pivot, const char** rest) {
  return TvDateParsePicture(text, TvDatePicture(kind), 0, date, weekday, pivot, rest);
}

// ------------------------------------------------------------ clocks

void TvToday(TvDate& date) {
  SYSTEMTIME st;
  tvSys.localTime(&st);
  date = {st.wDay, st.wMonth, st.wYear};
}

void TvNow(TvTime& time) {
  SYSTEMTIME st;
  tvSys.localTime(&st);
  time = {st.wHour, st.wMinute, st.wSecond};
}

TvStatus TvTimeValidate(TvTime& time) {
  TvStatus status = TvOk;
  if (time.hours > 23) {
    time.hours = 23;
    status = TvErrorRaise(TvErrDateTime, "Hours > 23", TvRaiseOrigin);
  }
  if (time.minutes > 59) {
    time.minutes = 59;
    status = TvErrorRaise(TvErrDateTime, "Minutes > 59", TvRaiseOrigin);
  }
  if (time.seconds > 59) {
    time.seconds = 59;
    status = TvErrorRaise(TvErrDateTime, "Seconds > 59", TvRaiseOrigin);
  }
  return status;
}

int32_t TvTimeDiff(const TvTime& first, const TvTime& second) {
  TvTime a = first, b = second;
  TvTimeValidate(a);
  TvTimeValidate(b);
  auto seconds = [](const TvTime& t) { return int32_t{t.hours} * 3600 + t.minutes * 60 + t.seconds; };
  return seconds(b) - seconds(a);
}

bool TvNowLocal(TvLocalTime& now) {
  SYSTEMTIME st;
  tvSys.localTime(&st);
  now = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
  return st.wMonth >= 1 && st.wMonth <= 12;
}

size_t TvTimeStamp(char* out, size_t size) {
  TvLocalTime t;
  if (!TvNowLocal(t))
    return TvStrCopy(out,
                     "??:??:?"
                     "? ?"
                     "?/?"
                     "?/?"
                     "?",
                     size);  // split against trigraphs
  if (highResTiming)
    return TvFormat(out, size, "%2u:%02u:%02u.%03u %2u/%02u/%02u", t.hour, t.minute, t.second, t.millisecond, t.day,
                    t.month, t.year % 100u);
  return TvFormat(out, size, "%2u:%02u:%02u %2u/%02u/%02u", t.hour, t.minute, t.second, t.day, t.month, t.year % 100u);
}

TvStatus TvTimeZone(TvTimeZoneInfo& zone) {
  zone = {0, ""};
  TIME_ZONE_INFORMATION info = {};
  const DWORD id = tvSys.timeZone(&info);
  if (id == TIME_ZONE_ID_INVALID) return TvErrorRaise(TvErrTimeZone, nullptr, TvRaiseOrigin);
  zone.bias = -info.Bias;
  const WCHAR* name = nullptr;
  if (id == TIME_ZONE_ID_DAYLIGHT) {
    zone.bias -= info.DaylightBias;
    name = info.DaylightName;
  } else if (id == TIME_ZONE_ID_STANDARD) {
    zone.bias -= info.StandardBias;
    name = info.StandardName;
  }
  if (name) {
    char wide[64] = "";
    // The names are at most 32 wide characters and need not be terminated.
    const int n = WideCharToMultiByte(CP_ACP, 0, name, static_cast<int>(wcsnlen(name, 32)), wide,
                                      static_cast<int>(sizeof wide - 1), nullptr, nullptr);
    wide[n > 0 ? n : 0] = '\0';
    TvStrCopy(zone.name, wide, sizeof zone.name);
  }
  return TvOk;
}

uint32_t TvMilliseconds() {
  if (highResTiming && counterFrequency.QuadPart > 0) {
    LARGE_INTEGER now;
    if (tvSys.queryCounter(&now))
      return static_cast<uint32_t>((now.QuadPart - startCounter.QuadPart) * 1000 / counterFrequency.QuadPart);
    // Switched off before the raise: the raise's log line asks for the time.
    highResTiming = false;
    TvErrorRaise(TvErrInvalidAction, "Could not use High Performance Tick Counter", TvRaiseOrigin);
  }
  return tvSys.tickCount() - resetTick;  // unsigned arithmetic survives the wrap
}

void TvSleep(uint32_t milliseconds) { tvSys.sleep(milliseconds); }
