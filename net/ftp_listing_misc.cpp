// EPLF, VxWorks and OS-9 lines.
//
//   +i8388621.48594,m825718503,r,s280,\tdjb.html          EPLF: facts, TAB, name
//   +i8388621.50690,m824255907,/,\t514                     EPLF folder
//        512    Jan  1 1980  00:00:00    tmp      <DIR>   VxWorks (folders marked after the name)
//       8192    Jul 17 2001  11:50:06    file.txt
//     0.0     95/03/20 1137   d-ewrewr       A0      4160 CMDS   OS-9: owner, date, time, attributes,
//                                                             sector, size, name
#include "net/ftp_listing_text.h"

namespace vel::net::listing {

namespace {

// Seconds since 1970 (UTC) into a calendar time.
ListTime FromUnixSeconds(uint64_t s) {
  ListTime t;
  t.utc = true;
  uint64_t days = s / 86400, rem = s % 86400;
  t.hour = static_cast<int>(rem / 3600);
  t.minute = static_cast<int>(rem % 3600 / 60);
  t.second = static_cast<int>(rem % 60);
  // Civil from days (proleptic Gregorian).
  int64_t z = static_cast<int64_t>(days) + 719468;
  int64_t era = z / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
  return t;
}

}  // namespace

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

bool ParseVxWorks(std::string_view line, ListEntry* e) {
  auto tok = Tokens(line, 8);
  if (tok.size() < 6) return false;
  uint64_t size;
  ListTime t;
  if (!ToU64(At(line, tok[0]), &size) || !(t.month = MonthOf(At(line, tok[1]))) || !ToInt(At(line, tok[2]), &t.day) ||
      At(line, tok[3]).size() != 4 || !ToInt(At(line, tok[3]), &t.year) || !ValidDate(t) ||
      At(line, tok[4]).size() != 8 || !ParseClock(At(line, tok[4]), &t.hour, &t.minute, &t.second))
    return false;
  size_t nameAt = tok[4].end;
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
