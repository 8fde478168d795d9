// The Unix family: "ls -l" lines and their relatives.
//
//   -rw-r--r--   1 owner  group   1234 Jan  5 12:34 name          the usual form
//   -rw-r--r--+  1 1000   1000    1234 2023-01-15 10:30 name      ACL mark, numeric owner, ISO date
//   crw-rw-rw-   1 root   root    1,   3 Jan  1  2020 null        device: major, minor
//   -rw-r--r--   1 u      grp12345678901 5. Mär 12:34 name        group run into size, German date
//   d-rwxrwxr-x  M 4 u    g          0  1月 15 10:30 dir          Plan 9 mode, Japanese month
//   lrwxrwxrwx   1 u      g          7 Jan  5 12:34 pub -> vol/pub
//   d [R----F--] supervisor   512    Jan 16 18:53    login         NetWare
//   -rw-r--r--   1 u      g       33.5k  3 29 03:26 name            unit size (approximate), numeric date
//   drwx------   1 u      g          0 Feb 14, 2008 21:33 dir/      folders end in "/" in this form
//   -rw-r--r--   1 u      g       1234 name                         no date at all
//   100644 1000 100 20480 1700000000 name                          octal mode, ids, size, epoch
//
// Other dates read: "YYYY-MM-DD", "YYYY/MM/DD", "YYYY.MM.DD", "DD-MM-YYYY", "DD-mon-YY", "MM-DD"
// with a clock or a year, "26. Juli, 20:10", CJK marks after the digits (UTF-8, Shift_JIS, GBK,
// EUC-JP, Big5, EUC-KR), and "hh:m" clocks with one minute digit.
//
// The date is the anchor: the size is the token before it, the name starts after the single
// blank that follows it (ls's fixed name column), so a name's own leading blanks are kept.
// Some servers print a year left-aligned in the five-column time field ("Jan 05 2020  name":
// one blank before the year, a padding blank and the separator after it); others print it
// unpadded ("Jan 05 2020 name"). One line does not tell which when two or more blanks follow
// the year: the name is read after the first blank and the run is noted, so the listing as a
// whole can decide (ftp_listing_runs.cpp).
#include "net/ftp_listing_text.h"

namespace vel::net::listing {

namespace {

// "d", "-", "l"... followed by mode letters, 8 to 12 characters (ACL "+", "@", SELinux ".").
// Rarer first letters: "D" door, "n" network file, "w" whiteout, "P" event port, "C" contiguous
// file, "M" migrated (off-line) file, "H" hidden folder.
bool ModeToken(std::string_view m) {
  if (m.size() < 8 || m.size() > 12) return false;
  if (std::string_view("-dlbcpsDnwPCMH").find(m[0]) == std::string_view::npos) return false;
  int modeChars = 0;
  for (size_t i = 1; i < m.size(); ++i) {
    char c = m[i];
    if (c == 'r' || c == 'w' || c == 'x' || c == '-') ++modeChars;
    else if (std::string_view("sStTlLa+@.*").find(c) == std::string_view::npos) return false;
  }
  return modeChars >= 6;
}

bool HasSuffix(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// "日"/"일" and "年"/"년" after the digits, in each encoding a CJK server lists in: UTF-8,
// Shift_JIS, GBK, EUC-JP, Big5, EUC-KR (duplicates across encodings are harmless).
constexpr std::string_view kDayMarks[] = {".", "\xe6\x97\xa5", "\x93\xfa", "\xc8\xd5", "\xc6\xfc", "\xa4\xe9",
                                          "\xec\x9d\xbc", "\xc0\xcf"};
constexpr std::string_view kYearMarks[] = {"\xe5\xb9\xb4", "\x94\x4e", "\xc4\xea", "\xc7\xaf", "\xa6\x7e",
                                           "\xeb\x85\x84", "\xb3\xe2"};

// A day of the month: "5", "05", "5." (German), "5日"/"5일".
bool DayToken(std::string_view s, int* day) {
  for (std::string_view mark : kDayMarks)
    if (s.size() > mark.size() && HasSuffix(s, mark)) {
      s.remove_suffix(mark.size());
      break;
    }
  return s.size() <= 2 && ToInt(s, day) && *day >= 1 && *day <= 31;
}

// A year, plain or with "年"/"년".
bool YearToken(std::string_view s, int* year) {
  for (std::string_view mark : kYearMarks)
    if (s.size() > mark.size() && HasSuffix(s, mark)) {
      s.remove_suffix(mark.size());
      break;
    }
  return s.size() == 4 && ToInt(s, year) && *year >= 1601;
}

// "hh:mm[:ss]", and "hh:m" as some embedded servers print a minute below ten ("00:0").
bool UnixClock(std::string_view w, ListTime* t) {
  std::string padded(w);
  size_t c = w.find(':');
  if (c != std::string_view::npos && w.size() == c + 2) padded.insert(c + 1, 1, '0');
  return ParseClock(padded, &t->hour, &t->minute, &t->second);
}

// "DD-mon-YY" / "DD-mon-YYYY" with a lower-case English abbreviation ("07-mar-21").
bool DayMonYear(std::string_view s, ListTime* t) {
  if ((s.size() != 9 && s.size() != 11) || s[2] != '-' || s[6] != '-') return false;
  for (char c : s.substr(3, 3))
    if (c < 'a' || c > 'z') return false;
  std::string_view ys = s.substr(7);
  int y;
  if (!ToInt(s.substr(0, 2), &t->day) || !AllDigits(ys) || !ToInt(ys, &y)) return false;
  t->month = MonthOfEnglishUpper(s.substr(3, 3));
  t->year = FullYear(y, ys.size());
  return ValidDate(*t);
}

// All-digit dates: "YYYY-MM-DD", "YYYY/MM/DD", "YYYY.MM.DD", "DD-MM-YYYY", "DD-mon-YY", and "MM-DD"
// (the recent form of ISO listings: *monthDay is set, the year comes from the next field or the
// clock).
bool NumericDate(std::string_view s, ListTime* t, bool* monthDay) {
  *monthDay = false;
  if (s.size() == 10 && s[4] == s[7] && (s[4] == '-' || s[4] == '/' || s[4] == '.'))
    return ToInt(s.substr(0, 4), &t->year) && ToInt(s.substr(5, 2), &t->month) && ToInt(s.substr(8, 2), &t->day) &&
           ValidDate(*t);
  if (s.size() == 10 && s[2] == '-' && s[5] == '-')
    return ToInt(s.substr(0, 2), &t->day) && ToInt(s.substr(3, 2), &t->month) && ToInt(s.substr(6, 4), &t->year) &&
           ValidDate(*t);
  if (DayMonYear(s, t)) return true;
  if (s.size() == 5 && s[2] == '-' && ToInt(s.substr(0, 2), &t->month) && ToInt(s.substr(3, 2), &t->day))
    return *monthDay = true;
  return false;
}

// A field ending in a comma ("Juli,", "14,"), without it; empty when there is none.
std::string_view BeforeComma(std::string_view s) {
  return s.size() > 1 && s.back() == ',' ? s.substr(0, s.size() - 1) : std::string_view();
}

bool TimeZone(std::string_view s) {
  return s.size() == 5 && (s[0] == '+' || s[0] == '-') && AllDigits(s.substr(1));
}

struct Anchor {
  size_t first;    // index of the first date token
  size_t last;     // index of the last date token
  ListTime time;
  bool leftYear;   // a year printed left-aligned in the time column
  bool slashDirs;  // "Mon DD, YYYY HH:MM": folder names end in "/"
};

// The time-or-year token after a day: "12:34", "12:34:56 2020" (two tokens), "2020", "2020年".
bool TimeOrYear(std::string_view line, const std::vector<Token>& tok, size_t k, const Today& today, Anchor* a) {
  if (k >= tok.size()) return false;
  std::string_view w = At(line, tok[k]);
  ListTime& t = a->time;
  if (w.find(':') != std::string_view::npos) {
    if (!UnixClock(w, &t)) return false;
    int y;
    if (k + 1 < tok.size() && YearToken(At(line, tok[k + 1]), &y) && w.size() == 8) {
      t.year = y;  // "Jan  5 12:34:56 2020"
      a->last = k + 1;
    } else {
      t.year = InferYear(t.month, t.day, today);
      a->last = k;
    }
    return ValidDate(t);
  }
  if (!YearToken(w, &t.year)) return false;
  a->last = k;
  // "Jan 05 2020" with a single blank before the year: left-aligned in a five-column field.
  a->leftYear = w.size() == 4 && tok[k].begin == tok[k - 1].end + 1;
  // A Japanese date with its year first ("2020年 1月 5日") is handled by the caller.
  return ValidDate(t);
}

// "MM-DD" followed by a year ("03-29 2019") or a clock ("03-29 10:30").
bool MonthDayThen(std::string_view line, const std::vector<Token>& tok, size_t i, const Today& today, Anchor* a) {
  ListTime& t = a->time;
  std::string_view w1 = At(line, tok[i + 1]);
  a->last = i + 1;
  if (w1.size() == 4 && YearToken(w1, &t.year)) return ValidDate(t);
  if (!UnixClock(w1, &t)) return false;
  t.year = InferYear(t.month, t.day, today);
  if (i + 2 < tok.size() && TimeZone(At(line, tok[i + 2]))) a->last = i + 2;
  return ValidDate(t);
}

// Dates whose fields are all digits, or digits with CJK marks.
bool DigitDate(std::string_view line, const std::vector<Token>& tok, size_t i, const Today& today, Anchor* a) {
  ListTime& t = a->time;
  std::string_view w0 = At(line, tok[i]), w1 = At(line, tok[i + 1]);
  bool monthDay;
  if (NumericDate(w0, &t, &monthDay)) {  // "2023-01-15 10:30[:45[.123]] [+0100]", "2020/01/15", "15-01-2020 10:30"
    if (monthDay) return MonthDayThen(line, tok, i, today, a);
    if (UnixClock(w1, &t)) {
      a->last = i + 1;
      if (i + 2 < tok.size() && TimeZone(At(line, tok[i + 2]))) a->last = i + 2;
    }
    return true;
  }
  t = ListTime{};
  // "3 29 03:26": month and day as numbers, always followed by a clock.
  if (w0.size() <= 2 && w1.size() <= 2 && ToInt(w0, &t.month) && ToInt(w1, &t.day) && i + 2 < tok.size() &&
      UnixClock(At(line, tok[i + 2]), &t)) {
    t.year = InferYear(t.month, t.day, today);
    a->last = i + 2;
    return ValidDate(t);
  }
  t = ListTime{};
  int y;
  if (YearToken(w0, &y) && w0.size() > 4 && (t.month = MonthOf(w1)) && i + 2 < tok.size() &&
      DayToken(At(line, tok[i + 2]), &t.day)) {  // "2020年 1月 5日 [12:34]"
    t.year = y;
    a->last = i + 2;
    if (i + 3 < tok.size() && UnixClock(At(line, tok[i + 3]), &t)) a->last = i + 3;
    return ValidDate(t);
  }
  return false;
}

bool FindAnchor(std::string_view line, const std::vector<Token>& tok, size_t i, const Today& today, Anchor* a) {
  *a = Anchor{i, i, {}, false, false};
  ListTime& t = a->time;
  std::string_view w0 = At(line, tok[i]);
  if (i + 1 >= tok.size()) return false;
  std::string_view w1 = At(line, tok[i + 1]);
  std::string_view dayComma = BeforeComma(w1);
  if ((t.month = MonthOf(w0)) && !dayComma.empty() && i + 3 < tok.size()) {  // "Feb 14, 2008 21:33"
    std::string_view y = At(line, tok[i + 2]);
    a->last = i + 3;
    a->slashDirs = true;
    return DayToken(dayComma, &t.day) && y.size() == 4 && ToInt(y, &t.year) && UnixClock(At(line, tok[i + 3]), &t) &&
           ValidDate(t);
  }
  if ((t.month = MonthOf(w0)) && DayToken(w1, &t.day))  // "Jan 5 ..."
    return TimeOrYear(line, tok, i + 2, today, a);
  if (DayToken(w0, &t.day) && (t.month = MonthOf(dayComma.empty() ? w1 : dayComma)))  // "5. Mär", "26. Juli,"
    return TimeOrYear(line, tok, i + 2, today, a);
  t = ListTime{};
  return DigitDate(line, tok, i, today, a);
}

// "permissions links owner group size name" and nothing else: a server that prints no date.
bool Dateless(std::string_view line, const std::vector<Token>& tok, ListEntry* e) {
  uint64_t links, size;
  // A month name there is more likely a line cut inside its date than a file of that name.
  if (tok.size() != 6 || !ToU64(At(line, tok[1]), &links) || !ToU64(At(line, tok[4]), &size) ||
      tok[5].begin != tok[4].end + 1 || MonthOf(At(line, tok[5])))
    return false;
  *e = ListEntry{};
  e->dir = line[0] == 'd';
  e->size = (line[0] == '-') ? size : 0;
  e->name.assign(At(line, tok[5]));
  return (line[0] == '-' || line[0] == 'd') && ValidEntryName(e->name);
}

// A size with a unit, as "ls -lh" prints it: "512", "33.5k", "1.2M", "3G" (units of 1024; at
// most one decimal digit). The value is rounded and only approximate.
bool UnitSize(std::string_view s, uint64_t* size) {
  static constexpr std::string_view kUnits = "kMGTP";
  if (s.size() < 2) return false;
  size_t unit = kUnits.find(s.back() == 'K' ? 'k' : s.back());
  if (unit == std::string_view::npos) return false;
  s.remove_suffix(1);
  uint64_t whole, tenth = 0;
  size_t dot = s.find('.');
  if (dot != std::string_view::npos) {
    if (s.size() != dot + 2 || !ToU64(s.substr(dot + 1), &tenth)) return false;
    s = s.substr(0, dot);
  }
  if (s.size() > 4 || !ToU64(s, &whole)) return false;
  uint64_t scale = uint64_t{1} << (10 * (unit + 1));
  *size = whole * scale + tenth * scale / 10;
  return true;
}

// The size before the date: digits; a device's "major, minor"; digits run into the group; or
// a size with a unit (*approx set).
bool SizeBefore(std::string_view line, const std::vector<Token>& tok, size_t i, uint64_t* size, bool* approx) {
  *approx = false;
  if (i < 2) return false;
  std::string_view s = At(line, tok[i - 1]);
  if (UnitSize(s, size)) return *approx = true;
  if (ToU64(s, size)) {
    std::string_view prev = At(line, tok[i - 2]);
    if (prev.size() > 1 && prev.back() == ',' && AllDigits(prev.substr(0, prev.size() - 1))) *size = 0;  // "1, 3"
    return true;
  }
  if (s.size() > 1 && s.back() == ',' ) return false;
  // "group12345678901": letters, then the size's digits. Seven digits or more fill a size column
  // by themselves; fewer ("longgroup123456") only where a long group filled its column and the
  // line has no field to spare (mode, links, owner, group-and-size, then the date).
  size_t d = s.size();
  while (d > 0 && s[d - 1] >= '0' && s[d - 1] <= '9') --d;
  if (d == 0 || d == s.size() || i < 3) return false;
  bool longGroup = d >= 8 && i == 4 && AllDigits(At(line, tok[1]));
  if (s.size() - d < 7 && !longGroup) return false;
  return ToU64(s.substr(d), size);
}

// A link's name and target from "name -> target": with several arrows the split is the one
// whose target is as long as the size says (a link's size is its target's length); none or
// more than one such split leaves the line unreadable.
bool SplitLink(std::string_view rest, uint64_t size, ListEntry* e) {
  size_t first = rest.find(" -> ");
  if (first == std::string_view::npos) {
    e->name.assign(rest);
    return true;
  }
  if (rest.find(" -> ", first + 1) == std::string_view::npos) {
    e->name.assign(rest.substr(0, first));
    e->target.assign(rest.substr(first + 4));
    return true;
  }
  size_t found = std::string_view::npos;
  for (size_t at = first; at != std::string_view::npos; at = rest.find(" -> ", at + 1)) {
    if (rest.size() - (at + 4) != size) continue;
    if (found != std::string_view::npos) return false;
    found = at;
  }
  if (found == std::string_view::npos) return false;
  e->name.assign(rest.substr(0, found));
  e->target.assign(rest.substr(found + 4));
  return true;
}

}  // namespace

bool ParseUnix(std::string_view line, const Today& today, ListEntry* e, NameRun* run) {
  *run = NameRun{};
  auto tok = Tokens(line, 16);
  if (tok.size() < 5 || !ModeToken(At(line, tok[0]))) return false;
  char kind = line[0];
  for (size_t i = 2; i + 1 < tok.size(); ++i) {
    Anchor a;
    uint64_t size;
    bool approx;
    if (!FindAnchor(line, tok, i, today, &a) || !SizeBefore(line, tok, i, &size, &approx)) continue;
    size_t nameAt = tok[a.last].end + 1;
    // After a left-aligned year the padding blank, if any, is left to the listing to tell.
    if (a.leftYear) *run = RunAfter(line, tok[a.last].end, RunForm::UnixLeftYear);
    if (nameAt >= line.size()) return false;
    std::string_view rest = line.substr(nameAt);
    *e = ListEntry{};
    e->link = kind == 'l';
    e->dir = kind == 'd' || kind == 'H';
    e->size = (kind == '-' || kind == 'l' || kind == 'C' || kind == 'M') ? size : 0;
    e->sizeApprox = approx && e->size != 0;
    e->time = a.time;
    if (e->link) {
      if (approx) return false;  // the target's length is what tells "a -> b -> c" apart
      if (!SplitLink(rest, size, e)) return false;
      // A target ending in "/" is a folder for certain; others wait for the rest of the listing.
      if (!e->target.empty() && e->target.back() == '/') e->dir = e->linkKnown = true;
    } else {
      e->name.assign(rest);
      if (a.slashDirs && e->dir && e->name.size() > 1 && e->name.back() == '/') e->name.pop_back();
    }
    return ValidEntryName(e->name);
  }
  return Dateless(line, tok, e);
}

// "100644 1000 100 20480 1700000000 name": the mode in octal with its file-type bits (regular
// 0100000, folder 0040000, link 0120000), owner and group ids, size, seconds since 1970 (UTC).
bool ParseNumericUnix(std::string_view line, ListEntry* e) {
  auto tok = Tokens(line, 6);
  if (tok.size() < 6 || tok[0].begin != 0) return false;
  std::string_view mode = At(line, tok[0]);
  uint64_t m = 0, id, size, secs;
  if (mode.size() < 5 || mode.size() > 7) return false;
  for (char c : mode) {
    if (c < '0' || c > '7') return false;
    m = m * 8 + static_cast<uint64_t>(c - '0');
  }
  unsigned kind = static_cast<unsigned>(m >> 12);
  if ((kind != 010 && kind != 004 && kind != 012) || !ToU64(At(line, tok[1]), &id) || !ToU64(At(line, tok[2]), &id) ||
      !ToU64(At(line, tok[3]), &size) || At(line, tok[4]).size() > 11 || !ToU64(At(line, tok[4]), &secs) ||
      tok[5].begin != tok[4].end + 1)
    return false;
  *e = ListEntry{};
  e->dir = kind == 004;
  e->link = kind == 012;
  e->size = e->dir ? 0 : size;
  e->time = FromUnixSeconds(secs);
  std::string_view rest = line.substr(tok[5].begin);
  if (!e->link) e->name.assign(rest);
  else if (!SplitLink(rest, size, e)) return false;
  return ValidDate(e->time) && ValidEntryName(e->name);
}

// NetWare: "d [R----F--] owner size Mon DD HH:MM|YYYY    name": the name after a padding run
// of blanks that the listing settles (ftp_listing_runs.cpp).
bool ParseNetware(std::string_view line, const Today& today, ListEntry* e, NameRun* run) {
  if (line.size() < 4 || (line[0] != 'd' && line[0] != '-') || line[1] != ' ' || line[2] != '[') return false;
  auto tok = Tokens(line, 8);
  if (tok.size() < 7) return false;
  std::string_view rights = At(line, tok[1]);
  if (rights.back() != ']') return false;
  uint64_t size;
  Anchor a;
  if (!ToU64(At(line, tok[3]), &size) || !FindAnchor(line, tok, 4, today, &a) || a.last != 6) return false;
  const size_t nameAt = tok[6].end + 1;
  if (nameAt >= line.size()) return false;
  *e = ListEntry{};
  e->dir = line[0] == 'd';
  e->size = e->dir ? 0 : size;
  e->time = a.time;
  e->name.assign(line.substr(nameAt));
  *run = RunAfter(line, tok[6].end, RunForm::Netware, a.leftYear ? 1 : 0);
  return ValidEntryName(e->name);
}

}  // namespace vel::net::listing
