// The international settings struct, the "intl" profile values and the pictures built from
// them (@D17, @D18, @T7, @T8). The environment file is envfile.cpp.
#include "runtime/data/intl.h"

#include <cstring>

#include "runtime/core/collation.h"
#include "runtime/core/sys.h"
#include "runtime/data/dates.h"
#include "runtime/data/picture_internal.h"

namespace vel {
namespace {

constexpr const char* kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kDefaultShortDate = "MM/dd/yy";
constexpr const char* kDefaultLongDate = "ddd', 'MMMM' 'dd', 'yyyy";

IntlSettings g_intl;
bool g_ready = false;

void CopyCut(char* dst, std::size_t size, const char* src, std::size_t max) {
  std::size_t n = strnlen(src, max < size - 1 ? max : size - 1);
  std::memcpy(dst, src, n);
  dst[n] = 0;
}

void Finish(ItemWriter* w, int kind, CompiledPicture* out) {
  if (w->full || w->count == 0) {
    std::memset(out, 0, sizeof *out);
    return;
  }
  SetPictureHeader(out, kind, kClassReal, false, w->count);
}

}  // namespace

IntlSettings& Intl() {
  if (!g_ready) IntlReset();
  return g_intl;
}

void IntlReset() {
  g_ready = true;
  std::memset(&g_intl, 0, sizeof g_intl);
  for (int m = 0; m < 12; ++m) {
    CopyCut(g_intl.month_name[m], 13, kMonthNames[m], 12);
    CopyCut(g_intl.month_abbr[m], 4, kMonthNames[m], 3);
  }
  std::memcpy(g_intl.ampm[0], "AM", 3);
  std::memcpy(g_intl.ampm[1], "PM", 3);
  std::memcpy(g_intl.win_ampm[0], "AM", 3);
  std::memcpy(g_intl.win_ampm[1], "PM", 3);
  g_intl.clock24 = false;
  g_intl.hour_lzero = true;
  g_intl.time_separator = ':';
  CopyCut(g_intl.short_date, sizeof g_intl.short_date, kDefaultShortDate, 79);
  CopyCut(g_intl.long_date, sizeof g_intl.long_date, kDefaultLongDate, 79);
  BuildShortDatePicture(g_intl.short_date, &g_intl.date_short);
  BuildLongDatePicture(g_intl.long_date, &g_intl.date_long);
  BuildWindowsTimePicture(false, &g_intl.time_short);
  BuildWindowsTimePicture(true, &g_intl.time_long);
}

void IntlReadProfile(ProfileReader reader) {
  IntlSettings& s = Intl();
  if (!reader) reader = sys::ProfileString;
  char buf[80];
  auto read = [&](const char* key, const char* fallback) {
    buf[0] = 0;
    int n = reader("intl", key, fallback, buf, sizeof buf);
    if (n < 0) n = 0;
    if (n > static_cast<int>(sizeof buf) - 1) n = sizeof buf - 1;
    buf[n] = 0;
    return n;
  };
  read("iTime", "0");
  s.clock24 = buf[0] == '1';
  read("iTLzero", "1");
  s.hour_lzero = buf[0] != '0';
  // The reader gives the fallback only for a missing key: a value that exists but is empty
  // (sTime, s1159 and s2359 in 24-hour locales) is used as empty.
  read("sTime", ":");
  s.time_separator = buf[0];
  read("s1159", "AM");
  CopyCut(s.win_ampm[0], 3, buf, 2);
  read("s2359", "PM");
  CopyCut(s.win_ampm[1], 3, buf, 2);
  read("sShortDate", kDefaultShortDate);
  CopyCut(s.short_date, sizeof s.short_date, buf, 79);
  read("sLongDate", kDefaultLongDate);
  CopyCut(s.long_date, sizeof s.long_date, buf, 79);
  BuildShortDatePicture(s.short_date, &s.date_short);
  BuildLongDatePicture(s.long_date, &s.date_long);
  BuildWindowsTimePicture(false, &s.time_short);
  BuildWindowsTimePicture(true, &s.time_long);
}

void IntlInitialise() {
  IntlReadProfile(nullptr);
  CollationTables& t = Collation();
  std::memcpy(t.weight_oem, t.weight, sizeof t.weight);
  char path[300];
  int n = sys::ExecutablePath(path, sizeof path - 5);
  if (n <= 0) return;
  // The extension is cut; a "." in a directory name is not an extension.
  char* dot = std::strrchr(path, '.');
  if (dot && !std::strchr(dot, '\\') && !std::strchr(dot, '/')) *dot = 0;
  std::strcat(path, ".ENV");
  ApplyEnvironmentFile(path);
}

void IntlInitTerm(int flag) {
  if (flag == 0) IntlInitialise();
}

void BuildShortDatePicture(const char* format, CompiledPicture* out) {
  std::memset(out, 0, sizeof *out);
  const char* f = format && *format ? format : kDefaultShortDate;
  char sep = '/';
  if (const char* last_m = std::strrchr(f, 'M'); last_m && last_m[1]) sep = last_m[1];
  bool day_zero = std::strstr(f, "dd") != nullptr;
  bool month_zero = std::strstr(f, "MM") != nullptr;
  int year_digits = std::strstr(f, "yyy") ? 4 : 2;
  ItemWriter w{out};
  auto day = [&] { w.Add(day_zero ? '0' : ' ', kItemDay), w.Add('0', kItemDay); };
  auto month = [&] { w.Add(month_zero ? '0' : ' ', kItemMonth), w.Add('0', kItemMonth); };
  auto year = [&] {
    for (int i = 0; i < year_digits; ++i) w.Add('0', kItemYear);
  };
  auto separator = [&] { w.Add(sep, kItemSeparator); };
  if (f[0] == 'd') day(), separator(), month(), separator(), year();
  else if (f[0] == 'y') year(), separator(), month(), separator(), day();
  else month(), separator(), day(), separator(), year();
  Finish(&w, kPicDate, out);
  out->window = kDefaultYearWindow;
  out->number = 17;
}

namespace {

// Skips a quoted text starting at f[i] == '\''; returns the index after its closing quote.
int SkipQuoted(const char* f, int i) {
  ++i;
  while (f[i] && f[i] != '\'') ++i;
  return f[i] ? i + 1 : i;
}

// The first run of `letter` at or after `from` (quoted text skipped; for "d", runs of three or
// more are the day of the week and are passed over). Sets *run; returns the index after it, or
// -1 when there is none.
int FindRun(const char* f, int from, char letter, int* run) {
  int i = from;
  while (f[i]) {
    if (f[i] == '\'') {
      i = SkipQuoted(f, i);
      continue;
    }
    if (f[i] == letter) {
      int n = 0;
      while (f[i + n] == letter) ++n;
      if (letter == 'd' && n >= 3) {
        i += n;
        continue;
      }
      *run = n;
      return i + n;
    }
    ++i;
  }
  return -1;
}

// The literal text after a field: one quoted text, or the characters up to the next field
// letter or quote.
void AddLiteralAfter(const char* f, int i, ItemWriter* w) {
  if (f[i] == '\'') {
    for (++i; f[i] && f[i] != '\''; ++i) w->Add(f[i], kItemSeparator);
    return;
  }
  for (; f[i] && f[i] != 'y' && f[i] != 'M' && f[i] != 'd' && f[i] != '\''; ++i) w->Add(f[i], kItemSeparator);
}

}  // namespace

void BuildLongDatePicture(const char* format, CompiledPicture* out) {
  std::memset(out, 0, sizeof *out);
  const char* f = format ? format : kDefaultLongDate;
  // The first field letter, past a day-of-week field and quoted text.
  int first = -1;
  for (int i = 0; f[i] && first < 0;) {
    if (f[i] == '\'') {
      i = SkipQuoted(f, i);
    } else if (f[i] == 'd') {
      int n = 0;
      while (f[i + n] == 'd') ++n;
      if (n >= 3) i += n;
      else first = i;
    } else if (f[i] == 'y' || f[i] == 'M') {
      first = i;
    } else {
      ++i;
    }
  }
  if (first < 0) {
    if (f != kDefaultLongDate) BuildLongDatePicture(kDefaultLongDate, out);
    return;
  }
  char order[3];
  if (f[first] == 'y') std::memcpy(order, "yMd", 3);
  else if (f[first] == 'd') std::memcpy(order, "dMy", 3);
  else std::memcpy(order, "Mdy", 3);
  ItemWriter w{out};
  for (char letter : order) {
    int run = 0;
    int after = FindRun(f, first, letter, &run);
    if (after < 0) continue;
    if (letter == 'y') {
      for (int i = 0; i < (run > 4 ? 4 : run); ++i) w.Add('0', kItemYear);
    } else if (letter == 'd') {
      w.Add(run >= 2 ? '0' : ' ', kItemDay), w.Add('0', kItemDay);
    } else if (run >= 3) {
      for (int i = 0; i < (run == 3 ? 3 : 9); ++i) w.Add(' ', kItemMonthName);
    } else {
      w.Add(run == 2 ? '0' : ' ', kItemMonth), w.Add('0', kItemMonth);
    }
    AddLiteralAfter(f, after, &w);
  }
  Finish(&w, kPicDate, out);
  out->window = kDefaultYearWindow;
  out->number = 18;
}

void BuildWindowsTimePicture(bool with_seconds, CompiledPicture* out) {
  std::memset(out, 0, sizeof *out);
  const IntlSettings& s = g_intl;
  ItemWriter w{out};
  // An empty separator (0) shows none.
  auto separator = [&] {
    if (s.time_separator) w.Add(s.time_separator, kItemSeparator);
  };
  w.Add(s.hour_lzero ? '0' : ' ', kItemHour), w.Add('0', kItemHour);
  separator();
  w.Add('0', kItemMinute), w.Add('0', kItemMinute);
  if (with_seconds) {
    separator();
    w.Add('0', kItemSecond), w.Add('0', kItemSecond);
  }
  if (!s.clock24) w.Add(' ', kItemLiteral), w.Add('A', kItemAmPm), w.Add('M', kItemLiteral);
  Finish(&w, kPicTime, out);
  out->number = with_seconds ? 8 : 7;
}

}  // namespace vel
