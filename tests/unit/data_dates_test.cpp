// Date and time numbers, DATE's normalisation, the two-digit-year window, packed forms, and the
// date and time pictures in both directions.
#include <cstring>
#include <random>
#include <string>

#include "runtime/data/dates.h"
#include "runtime/data/intl.h"
#include "runtime/data/picture.h"
#include "support/check.h"

using namespace vel;

namespace {

std::string Show(const char* picture, std::int64_t value) {
  CompiledPicture pic;
  CompilePicture(picture, &pic);
  DigitString v;
  DigitsFromInteger(value, &v);
  char out[kPictureMaxWidth];
  int n = FormatDigits(pic, v, out);
  return std::string(out, n);
}

std::int32_t Read(const char* picture, const std::string& text) {
  CompiledPicture pic;
  CompilePicture(picture, &pic);
  char out[64];
  int n = Deformat(pic, text.data(), static_cast<std::uint32_t>(text.size()), out, sizeof out);
  return n ? std::atoi(out) : -999;
}

struct Fixture {
  Fixture() {
    IntlReset();
    SetCurrentYear(2003);
  }
  ~Fixture() { SetCurrentYear(0); }
};

}  // namespace

// --- 1. the date scale -----------------------------------------------------------------------

TEST_CASE("dates: scale ends and known dates") {
  Fixture f;
  CHECK_EQ(DateFromYmd(1801, 1, 1), 4);
  CHECK_EQ(DateFromYmd(9999, 12, 31), 2994626);
  CHECK_EQ(DateFromYmd(2000, 2, 29), 72746);
  CHECK_EQ(DateFromYmd(2000, 3, 1), 72747);
  CHECK_EQ(DateFromYmd(1900, 2, 29), -1);
  CHECK_EQ(DateFromYmd(1800, 12, 31), -1);
  CHECK_EQ(DateFromYmd(10000, 1, 1), -1);
  CHECK_EQ(DateFromYmd(2003, 13, 1), -1);
  CHECK_EQ(DateFromYmd(2003, 4, 31), -1);
  CHECK_EQ(DateWeekday(DateFromYmd(2000, 1, 1)), 6);  // a Saturday
  int y, m, d;
  CHECK(DateToYmd(2994626, &y, &m, &d));
  CHECK_EQ(y * 10000 + m * 100 + d, 99991231);
  CHECK(!DateToYmd(3, &y, &m, &d));
  CHECK_EQ(y, 0);
  CHECK(!DateToYmd(2994627, &y, &m, &d));
  CHECK(!DateToYmd(0, &y, &m, &d));
}

TEST_CASE("dates: every day from 1801 to 9999 converts both ways") {
  int y = 1801, m = 1, d = 1;
  bool ok = true;
  for (std::int32_t n = kDateFirst; n <= kDateLast && ok; ++n) {
    int yy, mm, dd;
    ok = DateToYmd(n, &yy, &mm, &dd) && yy == y && mm == m && dd == d && DateFromYmd(y, m, d) == n;
    if (++d > MonthLength(y, m)) {
      d = 1;
      if (++m > 12) m = 1, ++y;
    }
  }
  CHECK(ok);
}

TEST_CASE("DATE: normalisation and range ends") {
  Fixture f;
  CHECK_EQ(DateBuiltin(2, 29, 2000), 72746);
  CHECK_EQ(DateBuiltin(3, 1, 2000), 72747);
  CHECK_EQ(DateBuiltin(2, 29, 1900), 36222);
  CHECK_EQ(DateBuiltin(3, 1, 1900), 36222);
  CHECK_EQ(DateBuiltin(13, 1, 2003), DateFromYmd(2004, 1, 1));
  CHECK_EQ(DateBuiltin(1, 0, 2004), DateFromYmd(2003, 12, 31));
  CHECK_EQ(DateBuiltin(1, 32, 2004), DateFromYmd(2004, 2, 1));
  CHECK_EQ(DateBuiltin(3, -1, 2004), DateFromYmd(2004, 2, 28));
  CHECK_EQ(DateBuiltin(25, 1, 2003), DateFromYmd(2005, 1, 1));
  CHECK_EQ(DateBuiltin(12, 31, 9999), 2994626);
  CHECK_EQ(DateBuiltin(12, 32, 9999), -1);
  CHECK_EQ(DateBuiltin(1, 1, 1801), 4);
  CHECK_EQ(DateBuiltin(1, 0, 1801), -1);
  CHECK_EQ(DateBuiltin(0, 1, 2003), -1);
  CHECK_EQ(DateBuiltin(-5, 1, 2003), -1);
  CHECK_EQ(DateBuiltin(1, 1, 3), DateFromYmd(2003, 1, 1));
  CHECK_EQ(DateBuiltin(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF), -1);
  CHECK_EQ(DateBuiltin(1, -0x7FFFFFFF, 9999), -1);
  CHECK_EQ(DateBuiltin(1, 1, -2000000000), -1);
}

TEST_CASE("two-digit-year window with an injected current year") {
  Fixture f;
  CHECK_EQ(WidenYear(23, 80), 2023);
  CHECK_EQ(WidenYear(24, 80), 1924);
  CHECK_EQ(WidenYear(3, 80), 2003);
  CHECK_EQ(WidenYear(99, 80), 1999);
  CHECK_EQ(WidenYear(0, 80), 2000);
  CHECK_EQ(WidenYear(4, 0), 2004);   // window 0: every year lies ahead
  CHECK_EQ(WidenYear(3, 0), 2003);
  CHECK_EQ(WidenYear(2, 0), 2102);
  CHECK_EQ(WidenYear(50, 99), 1950);
  SetCurrentYear(2090);
  CHECK_EQ(WidenYear(9, 80), 2109);
  CHECK_EQ(WidenYear(10, 80), 2010);
  CHECK_EQ(DateFromYmd(9, 1, 1), DateFromYmd(2109, 1, 1));
}

TEST_CASE("time numbers: build, split, packed forms, current date and time") {
  CHECK_EQ(TimeBuild(0, 0, 0, 0), 0);
  CHECK_EQ(TimeBuild(0, 0, 0, 1), 2);
  CHECK_EQ(TimeBuild(23, 59, 59, 99), 8640000);
  CHECK_EQ(TimeBuild(24, 0, 0, 0), -1);
  CHECK_EQ(TimeBuild(1, 60, 0, 0), -1);
  CHECK_EQ(TimeBuild(1, 0, 60, 0), -1);
  CHECK_EQ(TimeBuild(1, 0, 0, 100), -1);
  CHECK_EQ(TimeBuild(-1, 0, 0, 0), -1);
  int h, m, s, hs;
  CHECK(TimeSplit(TimeBuild(13, 5, 7, 9), &h, &m, &s, &hs));
  CHECK_EQ(h * 1000000 + m * 10000 + s * 100 + hs, 13050709);
  CHECK(!TimeSplit(0, &h, &m, &s, &hs));
  CHECK(!TimeSplit(8640001, &h, &m, &s, &hs));
  CHECK_EQ(h + m + s + hs, 0);
  PackedDate pd{29, 2, 2000};
  CHECK_EQ(PackedToDate(pd), 72746);
  pd = {30, 2, 2000};
  CHECK_EQ(PackedToDate(pd), 0);
  pd = {1, 1, 10000};
  CHECK_EQ(PackedToDate(pd), 2994626);
  PackedDate back = DateToPacked(72746);
  CHECK_EQ(back.day * 1000000 + back.month * 10000 + back.year, 29022000);
  back = DateToPacked(-1);
  CHECK_EQ(back.day + back.month + back.year, 0);
  PackedTime pt{9, 7, 5, 13};
  CHECK_EQ(PackedToTime(pt), TimeBuild(13, 5, 7, 9));
  PackedTime pt2 = TimeToPacked(TimeBuild(13, 5, 7, 9));
  CHECK(std::memcmp(&pt, &pt2, 4) == 0);
  std::int32_t today = CurrentDate();
  CHECK(today > DateFromYmd(2020, 1, 1) && today <= kDateLast);
  std::int32_t now = CurrentTime();
  CHECK(now >= 0 && now <= kTimeLast);
}

// --- 2. date pictures ------------------------------------------------------------------------

TEST_CASE("date pictures @D1..@D16 on 1 July 2003 and 31 December 1999") {
  Fixture f;
  std::int32_t jul = DateFromYmd(2003, 7, 1), dec = DateFromYmd(1999, 12, 31);
  const struct {
    const char* picture;
    const char* jul;
    const char* dec;
  } rows[] = {
      {"@D1", " 7/01/03", "12/31/99"},
      {"@D2", " 7/01/2003", "12/31/1999"},
      {"@D3", "JUL  1,2003", "DEC 31,1999"},
      {"@D4", "July  1, 2003        ", "December 31, 1999    "},
      {"@D5", " 1/07/03", "31/12/99"},
      {"@D6", " 1/07/2003", "31/12/1999"},
      {"@D7", " 1 JUL 03", "31 DEC 99"},
      {"@D8", " 1 JUL 2003", "31 DEC 1999"},
      {"@D9", "03/07/01", "99/12/31"},
      {"@D10", "2003/07/01", "1999/12/31"},
      {"@D11", "030701", "991231"},
      {"@D12", "20030701", "19991231"},
      {"@D13", "07/03", "12/99"},
      {"@D14", "07/2003", "12/1999"},
      {"@D15", "03/07", "99/12"},
      {"@D16", "2003/07", "1999/12"},
      {"@D17", "07/01/03", "12/31/99"},
      {"@D18", "July 01, 2003     ", "December 31, 1999 "},
      {"@D6-", " 1-07-2003", "31-12-1999"},
      {"@D6.", " 1.07.2003", "31.12.1999"},
      {"@D6_", " 1 07 2003", "31 12 1999"},
      {"@D6`", " 1,07,2003", "31,12,1999"},
      {"@D8-", " 1-JUL-2003", "31-DEC-1999"},
      {"@D01", "07/01/03", "12/31/99"},
      {"@D*2", "*7/*1/2**3", "12/31/1999"},
      {"@D_6", " 1/ 7/2  3", "31/12/1999"},
  };
  for (const auto& r : rows) {
    CHECK_EQ(Show(r.picture, jul), std::string(r.jul));
    CHECK_EQ(Show(r.picture, dec), std::string(r.dec));
  }
}

TEST_CASE("date pictures: invalid dates show blanks in digit and name items") {
  Fixture f;
  CHECK_EQ(Show("@D1", 0), std::string("  /  /  "));
  CHECK_EQ(Show("@D3", -5), std::string("      ,    "));
  CHECK_EQ(Show("@D3", 2994627), std::string("      ,    "));
  CHECK_EQ(Show("@D12", 3), std::string("        "));
  CHECK_EQ(Show("@D1B", 0), std::string("        "));
  CHECK_EQ(Show("@D2", DateFromYmd(9999, 12, 31)), std::string("12/31/9999"));
}

TEST_CASE("date and time pictures: invalid texts") {
  const char* bad[] = {"@D0", "@D19", "@D", "@D1x", "@D1<", "@D1<100", "@D1--", "@T0", "@T9", "@T1<5",
                       "@D-1", "@T", "@D99999999999"};
  for (const char* text : bad) {
    CompiledPicture pic;
    CHECK(!CompilePicture(text, &pic));
    CHECK_EQ(pic.Width(), 0);
  }
  CompiledPicture pic;
  REQUIRE(CompilePicture("@D6<50-", &pic));
  CHECK_EQ(int(pic.window), 50);
  CHECK_EQ(int(pic.number), 6);
  CHECK_EQ(pic.Kind(), int(kPicDate));
  CHECK_EQ(pic.Class(), int(kClassReal));
  REQUIRE(CompilePicture("@D6>10", &pic));
  CHECK_EQ(int(pic.window), 89);
  REQUIRE(CompilePicture("@D6>0", &pic));
  CHECK_EQ(int(pic.window), 19);
  REQUIRE(CompilePicture("@D6<0", &pic));
  CHECK_EQ(int(pic.window), 80);
}

// --- 3. time pictures ------------------------------------------------------------------------

TEST_CASE("time pictures and the 12-hour clock") {
  Fixture f;
  std::int32_t t1305 = TimeBuild(13, 5, 7, 0), t0030 = TimeBuild(0, 30, 0, 0), t1200 = TimeBuild(12, 0, 0, 0);
  CHECK_EQ(Show("@T1", t1305), std::string("13:05"));
  CHECK_EQ(Show("@T2", t1305), std::string("1305"));
  CHECK_EQ(Show("@T3", t1305), std::string(" 1:05PM"));
  CHECK_EQ(Show("@T3", t0030), std::string("12:30AM"));
  CHECK_EQ(Show("@T3", t1200), std::string("12:00PM"));
  CHECK_EQ(Show("@T3", TimeBuild(11, 59, 0, 0)), std::string("11:59AM"));
  CHECK_EQ(Show("@T4", t1305), std::string("13:05:07"));
  CHECK_EQ(Show("@T5", t0030), std::string(" 03000"));
  CHECK_EQ(Show("@T6", t1305), std::string(" 1:05:07PM"));
  CHECK_EQ(Show("@T1", TimeBuild(9, 5, 0, 0)), std::string(" 9:05"));
  CHECK_EQ(Show("@T01", TimeBuild(9, 5, 0, 0)), std::string("09:05"));
  CHECK_EQ(Show("@T1.", TimeBuild(9, 5, 0, 0)), std::string(" 9.05"));
  CHECK_EQ(Show("@T7", t1305), std::string("01:05 PM"));
  CHECK_EQ(Show("@T8", t0030), std::string("12:30:00 AM"));
  CHECK_EQ(Show("@T1", 0), std::string("  :  "));
  CHECK_EQ(Show("@T1", 8640001), std::string("  :  "));
  // A one-character AM/PM text leaves a blank in the second position.
  const char env[] = "VELAMPM=\"a\",\"p\"\n";
  ApplyEnvironmentText(env, sizeof env - 1);
  CHECK_EQ(Show("@T3", t1305), std::string(" 1:05p "));
  CHECK_EQ(Read("@T3", " 1:05p "), t1305 - 700);
  IntlReset();
}

TEST_CASE("reading dates and times back") {
  Fixture f;
  std::int32_t jul = DateFromYmd(2003, 7, 1);
  CHECK_EQ(Read("@D1", " 7/01/03"), jul);
  CHECK_EQ(Read("@D1", " 7/1/03"), jul);
  CHECK_EQ(Read("@D1", "7/1/03"), jul);
  CHECK_EQ(Read("@D3", "jul  1,2003"), jul);
  CHECK_EQ(Read("@D4", "July 1, 2003"), jul);
  CHECK_EQ(Read("@D4", "July  1, 2003"), jul);
  CHECK_EQ(Read("@D8", " 1 Jul 2003"), jul);
  CHECK_EQ(Read("@D14", "07/2003"), jul);
  CHECK_EQ(Read("@D13", "07/03"), jul);
  CHECK_EQ(Read("@D1", "  /  /  "), 0);
  CHECK_EQ(Read("@D1", ""), 0);
  CHECK_EQ(Read("@D1", "02/30/03"), DateFromYmd(2003, 3, 2));  // DATE's normalisation
  CHECK_EQ(Read("@D1", " 1/01/24"), DateFromYmd(1924, 1, 1));
  CHECK_EQ(Read("@D1<50", " 1/01/60"), DateFromYmd(1960, 1, 1));
  CHECK_EQ(Read("@D1<50", " 1/01/40"), DateFromYmd(2040, 1, 1));
  CHECK_EQ(Read("@D2", "13/45/9999"), -1);
  CHECK_EQ(Read("@T3", " 1:05PM"), TimeBuild(13, 5, 0, 0));
  CHECK_EQ(Read("@T3", "12:30AM"), TimeBuild(0, 30, 0, 0));
  CHECK_EQ(Read("@T3", "12:00AM"), 1);                       // midnight given explicitly
  CHECK_EQ(Read("@T3", "12:30PM"), TimeBuild(12, 30, 0, 0));
  CHECK_EQ(Read("@T3", " 1:05pm"), TimeBuild(1, 5, 0, 0));   // AM/PM compare respects case
  CHECK_EQ(Read("@T1", "24:00"), -1);
  CHECK_EQ(Read("@T4", "10:60:00"), -1);
  CHECK_EQ(Read("@T1", "  :  "), 0);
  CHECK_EQ(Read("@T4", "9:5:7"), TimeBuild(9, 5, 7, 0));
}

TEST_CASE("round trip: every date and time picture over random values") {
  Fixture f;
  std::mt19937 rng(3);
  for (int number = 1; number <= 18; ++number) {
    std::string picture = "@D" + std::to_string(number);
    for (int k = 0; k < 400; ++k) {
      std::int32_t date = kDateFirst + static_cast<std::int32_t>(rng() % (kDateLast - kDateFirst + 1));
      int y, m, d;
      DateToYmd(date, &y, &m, &d);
      bool two_digit = number == 1 || number == 5 || number == 7 || number == 9 || number == 11 ||
                       number == 13 || number == 15 || number == 17;
      if (two_digit) date = DateFromYmd(1924 + static_cast<int>(rng() % 100), m, d > 28 ? 28 : d);
      if (number >= 13 && number <= 16) {
        DateToYmd(date, &y, &m, &d);
        date = DateFromYmd(y, m, 1);
      }
      CHECK_EQ(Read(picture.c_str(), Show(picture.c_str(), date)), date);
    }
  }
  for (int number = 1; number <= 8; ++number) {
    std::string picture = "@T" + std::to_string(number);
    for (int k = 0; k < 400; ++k) {
      std::int32_t t = TimeBuild(static_cast<int>(rng() % 24), static_cast<int>(rng() % 60),
                                 static_cast<int>(rng() % 60), 0);
      bool seconds = (number >= 4 && number <= 6) || number == 8;
      if (!seconds) t -= (t - 1) % 6000;
      if (t == 1) continue;  // midnight without AM/PM reads as no time
      CHECK_EQ(Read(picture.c_str(), Show(picture.c_str(), t)), t);
    }
  }
}
