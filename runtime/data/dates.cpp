// Date and time numbers. All day arithmetic is done in 64 bits so that DATE's normalisation
// of any 32-bit month, day and year cannot overflow before the range check.
#include "runtime/data/dates.h"

#include "runtime/core/sys.h"

namespace vel {
namespace {

constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

int g_current_year = 0;  // 0: not read yet
constexpr std::int32_t kDate1970 = 61730;  // the date number of 1 January 1970

// Leap years up to and including y (y >= 0).
std::int64_t LeapsThrough(std::int64_t y) { return y / 4 - y / 100 + y / 400; }

bool Leap64(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// The date number of a day of any year at or after 1 AD (no range check).
std::int64_t DayNumber(std::int64_t year, int month, std::int64_t day) {
  std::int64_t n = (year - 1801) * 365 + kDaysBefore[month - 1] + day + 3 + (LeapsThrough(year) - LeapsThrough(1800));
  if (month <= 2 && Leap64(year)) --n;
  return n;
}

}  // namespace

bool IsLeapYear(int year) { return Leap64(year); }

int MonthLength(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kMonthDays[month - 1];
}

std::int32_t DateFromYmd(int year, int month, int day) {
  if (year >= 0 && year < 100) year = WidenYear(year, kDefaultYearWindow);
  if (year < 1801 || year > 9999 || month < 1 || month > 12) return -1;
  if (day < 1 || day > MonthLength(year, month)) return -1;
  return static_cast<std::int32_t>(DayNumber(year, month, day));
}

std::int32_t DateNormalised(std::int64_t month, std::int64_t day, std::int64_t year, int window) {
  if (year >= 0 && year < 100) year = WidenYear(static_cast<int>(year), window);
  if (month <= 0) return -1;
  year += (month - 1) / 12;
  month = (month - 1) % 12 + 1;
  // Years far outside the scale cannot come back into range (a 32-bit day is < 6 million years).
  if (year < 1 || year > 20000000) return -1;
  std::int64_t n = DayNumber(year, static_cast<int>(month), 1) + (day - 1);
  if (n < kDateFirst || n > kDateLast) return -1;
  return static_cast<std::int32_t>(n);
}

std::int32_t DateBuiltin(std::int32_t month, std::int32_t day, std::int32_t year) {
  return DateNormalised(month, day, year, kDefaultYearWindow);
}

bool DateToYmd(std::int32_t date, int* year, int* month, int* day) {
  *year = *month = *day = 0;
  if (date < kDateFirst || date > kDateLast) return false;
  // Days counted from 1 March of year 0 split into 400-year eras, years of the era, and days of
  // a March-based year (so the leap day is the era year's last day).
  // All quantities are non-negative: unsigned division by constants is the cheapest.
  std::uint32_t z = static_cast<std::uint32_t>(date - kDate1970 + 719468);
  std::uint32_t era = z / 146097;
  std::uint32_t doe = z - era * 146097;                                        // 0..146096
  std::uint32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // 0..399
  std::uint32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                 // 0..365
  std::uint32_t mp = (5 * doy + 2) / 153;                                      // 0 = March
  int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = m;
  *year = static_cast<int>(yoe + era * 400) + (m <= 2 ? 1 : 0);
  return true;
}

int DateWeekday(std::int32_t date) {
  if (date < kDateFirst || date > kDateLast) return -1;
  return date % 7;  // 1 January 1801 (4) was a Thursday
}

int WidenYear(int y, int window) {
  int c = CurrentYear();
  int d = c % 100 - y;
  int year = c - d;
  // A strict comparison on the low side: with W = 80 in 2003, "23" is 2023 and "24" is 1924.
  if (d < window - 100) year -= 100;
  else if (d > window) year += 100;
  return year;
}

int CurrentYear() {
  if (g_current_year == 0) {
    sys::LocalTimeFields now{};
    sys::LocalTime(&now);
    g_current_year = now.year;
  }
  return g_current_year;
}

void SetCurrentYear(int year) { g_current_year = year; }

std::int32_t CurrentDate() {
  sys::LocalTimeFields now{};
  sys::LocalTime(&now);
  return DateFromYmd(now.year, now.month, now.day);
}

std::int32_t CurrentTime() {
  sys::LocalTimeFields now{};
  sys::LocalTime(&now);
  return TimeBuild(now.hour, now.minute, now.second, now.milliseconds / 10);
}

std::int32_t TimeBuild(int hour, int minute, int second, int hundredths) {
  if (hour == 0 && minute == 0 && second == 0 && hundredths == 0) return 0;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || hundredths < 0 ||
      hundredths > 99)
    return -1;
  return hour * 360000 + minute * 6000 + second * 100 + hundredths + 1;
}

bool TimeSplit(std::int32_t time, int* hour, int* minute, int* second, int* hundredths) {
  *hour = *minute = *second = *hundredths = 0;
  if (time < 1 || time > kTimeLast) return false;
  int t = time - 1;
  *hour = t / 360000;
  t %= 360000;
  *minute = t / 6000;
  t %= 6000;
  *second = t / 100;
  *hundredths = t % 100;
  return true;
}

std::int32_t PackedToDate(PackedDate packed) {
  if (packed.year > 9999) return kDateLast;
  std::int32_t n = DateFromYmd(packed.year, packed.month, packed.day);
  return n < 0 ? 0 : n;
}

PackedDate DateToPacked(std::int32_t date) {
  PackedDate p{};
  int y, m, d;
  if (!DateToYmd(date, &y, &m, &d)) return p;
  p.day = static_cast<std::uint8_t>(d);
  p.month = static_cast<std::uint8_t>(m);
  p.year = static_cast<std::uint16_t>(y);
  return p;
}

std::int32_t PackedToTime(PackedTime packed) {
  return TimeBuild(packed.hour, packed.minute, packed.second, packed.hundredths);
}

PackedTime TimeToPacked(std::int32_t time) {
  PackedTime p{};
  int h, m, s, hs;
  if (!TimeSplit(time, &h, &m, &s, &hs)) return p;
  p.hour = static_cast<std::uint8_t>(h);
  p.minute = static_cast<std::uint8_t>(m);
  p.second = static_cast<std::uint8_t>(s);
  p.hundredths = static_cast<std::uint8_t>(hs);
  return p;
}

}  // namespace vel
