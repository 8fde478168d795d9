// The MS-DOS family: IIS and Windows "dir" lines, and OS/2.
//
//   01-31-23  10:30PM       <DIR>          Program Files     IIS, two-digit year, 12-hour clock
//   12-01-1999  12:05AM             4096 readme.txt          four-digit year
//   2023-01-31  22:30           1,234,567 big file.iso       ISO date, 24-hour clock, grouped size
//   31.01.2023  22:30    <DIR>          Ordner               day.month.year (European "dir")
//        0           DIR   12-18-96   19:12  PRJ             OS/2: size, attributes, date, time
//
// After a size the name starts after exactly one blank. IIS and Windows "dir" pad "<DIR>" to the
// end of the size field, so a folder's name stands in the column of the names after sizes;
// where that column is, the listing tells (ftp_listing_runs.cpp), and OS/2's names follow a
// padding run after the time that the listing settles too.
#include "net/ftp_listing_text.h"

namespace vel::net::listing {

namespace {

// "MM-DD-YY", "MM-DD-YYYY", "MM/DD/YYYY", "YYYY-MM-DD", "DD.MM.YYYY", "DD.MM.YY".
bool DosDate(std::string_view d, ListTime* t) {
  if (d.size() == 10 && d[4] == '-' && d[7] == '-')
    return ToInt(d.substr(0, 4), &t->year) && ToInt(d.substr(5, 2), &t->month) && ToInt(d.substr(8, 2), &t->day) &&
           ValidDate(*t);
  if ((d.size() != 8 && d.size() != 10) || d[5] != d[2]) return false;
  char sep = d[2];
  if (sep != '-' && sep != '/' && sep != '.') return false;
  int a, b, y;
  std::string_view ys = d.substr(6);
  if (!ToInt(d.substr(0, 2), &a) || !ToInt(d.substr(3, 2), &b) || !AllDigits(ys) || !ToInt(ys, &y)) return false;
  t->year = FullYear(y, ys.size());
  if (sep == '.') {  // European order
    t->day = a;
    t->month = b;
  } else {
    t->month = a;
    t->day = b;
  }
  return ValidDate(*t);
}

// "10:30PM", "10:30 PM" (two tokens: *used = 2), "22:30", "22:30:05".
bool DosClock(std::string_view line, const std::vector<Token>& tok, size_t k, ListTime* t, size_t* used) {
  std::string_view c = At(line, tok[k]);
  *used = 1;
  std::string_view suffix;
  if (c.size() > 2) {
    std::string_view s = c.substr(c.size() - 2);
    if (s == "AM" || s == "PM" || s == "am" || s == "pm") {
      suffix = s;
      c.remove_suffix(2);
    }
  }
  if (suffix.empty() && k + 1 < tok.size()) {
    std::string_view s = At(line, tok[k + 1]);
    if (s == "AM" || s == "PM" || s == "am" || s == "pm") {
      suffix = s;
      *used = 2;
    }
  }
  if (!ParseClock(c, &t->hour, &t->minute, &t->second)) return false;
  if (!suffix.empty()) {
    if (t->hour < 1 || t->hour > 12) return false;
    t->hour = t->hour % 12 + ((suffix[0] | 0x20) == 'p' ? 12 : 0);
  }
  return true;
}

}  // namespace

bool ParseDos(std::string_view line, ListEntry* e, NameRun* run) {
  auto tok = Tokens(line, 5);
  if (tok.size() < 3) return false;
  ListTime t;
  size_t used;
  if (!DosDate(At(line, tok[0]), &t) || !DosClock(line, tok, 1, &t, &used)) return false;
  size_t k = 1 + used;
  if (k + 1 > tok.size()) return false;
  std::string_view what = At(line, tok[k]);
  *e = ListEntry{};
  const size_t timeEnd = tok[k - 1].end, nameAt = tok[k].end + 1;
  RunForm form;
  if (what == "<DIR>") {
    e->dir = true;
    form = RunForm::DosDir;
  } else if (ToSizeGrouped(what, &e->size)) {
    form = RunForm::DosSize;
  } else {
    return false;  // <JUNCTION>, <SYMLINK>: the name carries its target in brackets
  }
  if (nameAt >= line.size()) return false;
  *run = RunAfter(line, tok[k].end, form, timeEnd);
  e->name.assign(line.substr(nameAt));
  e->time = t;
  return ValidEntryName(e->name);
}

bool ParseOs2(std::string_view line, ListEntry* e, NameRun* run) {
  auto tok = Tokens(line, 8);
  if (tok.size() < 4 || !AllDigits(At(line, tok[0]))) return false;
  // size, then attribute words ("DIR", "A", "R", "H", "S"), then the date.
  size_t k = 1;
  bool dir = false;
  while (k < tok.size() && k < 5) {
    std::string_view w = At(line, tok[k]);
    if (w == "DIR") {
      dir = true;
    } else if (w.size() > 2 || w.find_first_not_of("ARHS") != std::string_view::npos) {
      break;
    }
    ++k;
  }
  if (k + 1 >= tok.size()) return false;  // the date and the time; a name of blanks has no token
  std::string_view d = At(line, tok[k]);
  ListTime t;
  int y;
  // "MM-DD-YY", or years since 1900 past 1999 as some servers print them ("04-23-103": 2003).
  std::string_view ys = d.size() > 6 ? d.substr(6) : std::string_view();
  if ((d.size() != 8 && !(d.size() == 9 && ys[0] == '1')) || d[2] != '-' || d[5] != '-' ||
      !ToInt(d.substr(0, 2), &t.month) || !ToInt(d.substr(3, 2), &t.day) || !AllDigits(ys) || !ToInt(ys, &y))
    return false;
  t.year = FullYear(y, ys.size());
  if (!ValidDate(t) || !ParseClock(At(line, tok[k + 1]), &t.hour, &t.minute, &t.second)) return false;
  const size_t nameAt = tok[k + 1].end + 1;
  if (nameAt >= line.size()) return false;
  *e = ListEntry{};
  e->dir = dir;
  if (!dir) ToU64(At(line, tok[0]), &e->size);
  e->time = t;
  e->name.assign(line.substr(nameAt));
  *run = RunAfter(line, tok[k + 1].end, RunForm::Os2);
  return ValidEntryName(e->name);
}

}  // namespace vel::net::listing
