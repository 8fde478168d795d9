// EPLF, VxWorks and OS-9 lines.
//
//   +i8388621.48594,m825718503,r,s280,\tdjb.html          EPLF: facts, TAB, name
//   +i8388621.50690,m824255907,/,\t514                     EPLF folder
//        512    Jan  1 1980  00:00:00    tmp      <DIR>   VxWorks (folders marked after the name)
//       8192    Jul 17 2001  11:50:06    file.txt
//      1024    Tue Mar  4 2008  07:15:30    logs  <DIR>   with a weekday
//     48213    OCT-01-2003  19:57:52    boot.cfg          Nortel
//     0.0     95/03/20 1137   d-ewrewr       A0      4160 CMDS   OS-9: owner, date, time, attributes,
//                                                             sector, size, name
#include "net/ftp_listing_text.h"

namespace vel::net::listing {

bool ParseEplf(std::string_view line, ListEntry* e) {
  if (line.size() < 3 || line[0] != '+') return false;
  size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return false;
  std::string_view facts = line.substr(1, tab - 1);
  *e = ListEntry{};
  bool dir = false, file = false;
  while (!facts.empty()) {
    size_t comma = facts.find(',');
    std::string_view f = facts.substr(0, comma);
    facts = comma == std::string_view::npos ? std::string_view() : facts.substr(comma + 1);
    if (f == "/") dir = true;
    else if (f == "r") file = true;
    else if (f.size() > 1 && f[0] == 's') ToU64(f.substr(1), &e->size);
    else if (f.size() > 1 && f[0] == 'm') {
      uint64_t secs;
      if (ToU64(f.substr(1), &secs) && secs < 253402300800ull) e->time = FromUnixSeconds(secs);
    }
  }
  if (!dir && !file) return false;  // neither listable nor retrievable: nothing to offer
  e->dir = dir;
  if (dir) e->size = 0;
  e->name.assign(line.substr(tab + 1));
  return ValidEntryName(e->name);
}

namespace {

bool Weekday(std::string_view w) {
  static constexpr std::string_view kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  for (std::string_view d : kDays)
    if (w == d) return true;
  return false;
}

// The date of a VxWorks or Nortel line from token k: "Jan  1 1980" or "JAN-01-1980" (upper or
// mixed case); *next is the token after it.
bool VxDate(std::string_view line, const std::vector<Token>& tok, size_t k, ListTime* t, size_t* next) {
  std::string_view w = At(line, tok[k]);
  if (w.size() == 11 && w[3] == '-' && w[6] == '-') {
    *next = k + 1;
    return (t->month = MonthOfEnglishUpper(w.substr(0, 3))) && ToInt(w.substr(4, 2), &t->day) &&
           ToInt(w.substr(7), &t->year) && ValidDate(*t);
  }
  *next = k + 3;
  return k + 3 < tok.size() && (t->month = MonthOf(w)) && ToInt(At(line, tok[k + 1]), &t->day) &&
         At(line, tok[k + 2]).size() == 4 && ToInt(At(line, tok[k + 2]), &t->year) && ValidDate(*t);
}

}  // namespace

// "size [weekday] date hh:mm:ss name [<DIR>]".
bool ParseVxWorks(std::string_view line, ListEntry* e) {
  auto tok = Tokens(line, 9);
  if (tok.size() < 4) return false;
  uint64_t size;
  ListTime t;
  size_t k = Weekday(At(line, tok[1])) ? 2 : 1, clock;
  if (!ToU64(At(line, tok[0]), &size) || k + 2 >= tok.size() || !VxDate(line, tok, k, &t, &clock) ||
      clock + 1 >= tok.size() || At(line, tok[clock]).size() != 8 ||
      !ParseClock(At(line, tok[clock]), &t.hour, &t.minute, &t.second))
    return false;
  size_t nameAt = tok[clock].end;
  while (nameAt < line.size() && line[nameAt] == ' ') ++nameAt;
  std::string_view name = line.substr(nameAt);
  *e = ListEntry{};
  size_t mark = name.rfind("<DIR>");
  if (mark != std::string_view::npos && mark + 5 == name.size() && mark > 0 && name[mark - 1] == ' ') {
    e->dir = true;
    name = name.substr(0, mark);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  }
  e->size = e->dir ? 0 : size;
  e->time = t;
  e->name.assign(name);
  return ValidEntryName(e->name);
}

bool ParseOs9(std::string_view line, ListEntry* e) {
  auto tok = Tokens(line, 8);
  if (tok.size() < 7) return false;
  std::string_view owner = At(line, tok[0]), date = At(line, tok[1]), hhmm = At(line, tok[2]);
  std::string_view attrs = At(line, tok[3]), sector = At(line, tok[4]);
  size_t dot = owner.find('.');
  if (dot == std::string_view::npos || !AllDigits(owner.substr(0, dot)) || !AllDigits(owner.substr(dot + 1))) return false;
  ListTime t;
  int y;
  if (date.size() != 8 || date[2] != '/' || date[5] != '/' || !ToInt(date.substr(0, 2), &y) ||
      !ToInt(date.substr(3, 2), &t.month) || !ToInt(date.substr(6, 2), &t.day))
    return false;
  t.year = FullYear(y, 2);
  if (!ValidDate(t) || hhmm.size() != 4 || !ToInt(hhmm.substr(0, 2), &t.hour) || !ToInt(hhmm.substr(2), &t.minute) ||
      t.hour > 23 || t.minute > 59)
    return false;
  if (attrs.size() != 8 || attrs.find_first_not_of("dsewrpx-") != std::string_view::npos) return false;
  if (sector.find_first_not_of("0123456789ABCDEFabcdef") != std::string_view::npos) return false;
  uint64_t size;
  if (!ToU64(At(line, tok[5]), &size)) return false;
  *e = ListEntry{};
  e->dir = attrs[0] == 'd';
  e->size = e->dir ? 0 : size;
  e->time = t;
  e->name.assign(line.substr(tok[6].begin));
  return ValidEntryName(e->name);
}

}  // namespace vel::net::listing
