// Date and time numbers and their conversions.
//
// A date number counts days so that 4 is 1 January 1801 and 2,994,626 is 31 December 9999
// (Gregorian throughout); valid dates are exactly that range. A time number is
// hour*360000 + minute*6000 + second*100 + hundredths + 1, valid 1..8,640,000; 0 is "no time".
// Failures are reported by the result (-1 or 0), never by an error.
//
// The current year behind the two-digit-year window is read once from the clock and then kept;
// SetCurrentYear replaces it (tests make the window stable with it).
#pragma once
#include <cstdint>

namespace vel {

constexpr std::int32_t kDateFirst = 4;
constexpr std::int32_t kDateLast = 2994626;
constexpr std::int32_t kTimeLast = 8640000;
constexpr int kDefaultYearWindow = 80;

bool IsLeapYear(int year);
int MonthLength(int year, int month);
// Date number of a valid year (1801..9999; below 100 widened with window 80), month and day;
// -1 when any part is out of range.
std::int32_t DateFromYmd(int year, int month, int day);
// DATE(month, day, year): months above 12 roll into later years, day 0 and negative days count
// back from the first of the month, days past the end roll forward. -1 outside 4..2,994,626 or
// for a month of 0 or below. `window` widens years below 100.
std::int32_t DateNormalised(std::int64_t month, std::int64_t day, std::int64_t year, int window);
std::int32_t DateBuiltin(std::int32_t month, std::int32_t day, std::int32_t year);
// Year, month, day of a valid date number; false (all zero) otherwise.
bool DateToYmd(std::int32_t date, int* year, int* month, int* day);
// Day of the week, 0 = Sunday (valid dates only; -1 otherwise).
int DateWeekday(std::int32_t date);

// Two-digit year (0..99) widened by window W (0..99): into C-W+1 .. C+100-W for current year C
// (W = 80 in 2003: 1924..2023).
int WidenYear(int two_digit_year, int window);
int CurrentYear();
void SetCurrentYear(int year);   // 0: read the clock again at the next use

std::int32_t CurrentDate();
std::int32_t CurrentTime();      // 0 at exactly midnight

// 0 when all four are 0, -1 when a field is out of range, else the time number.
std::int32_t TimeBuild(int hour, int minute, int second, int hundredths);
// false and all zero for numbers outside 1..8,640,000.
bool TimeSplit(std::int32_t time, int* hour, int* minute, int* second, int* hundredths);

// The 4-byte date and time variable types.
struct PackedDate {
  std::uint8_t day;
  std::uint8_t month;
  std::uint16_t year;
};
struct PackedTime {
  std::uint8_t hundredths;
  std::uint8_t second;
  std::uint8_t minute;
  std::uint8_t hour;
};
static_assert(sizeof(PackedDate) == 4 && sizeof(PackedTime) == 4, "packed dates and times are 4 bytes");
// Invalid gives 0; a year above 9999 is taken as 31 December 9999.
std::int32_t PackedToDate(PackedDate packed);
PackedDate DateToPacked(std::int32_t date);          // all zero when invalid
std::int32_t PackedToTime(PackedTime packed);        // as TimeBuild
PackedTime TimeToPacked(std::int32_t time);          // all zero when invalid

}  // namespace vel
