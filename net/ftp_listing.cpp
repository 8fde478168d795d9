// Listing-line parsers. Unix lines are read by locating the date (month name, day, time or
// year) after the size; the name is everything after the single blank that follows the date,
// so names with leading or inner blanks survive.
#include "net/ftp_listing.h"

#include <cctype>
#include <vector>

namespace vel::net {

namespace {

struct Token {
  size_t begin, end;
};

std::vector<Token> Tokens(std::string_view s, size_t maxTokens) {
  std::vector<Token> t;
  size_t i = 0;
  while (i < s.size() && t.size() < maxTokens) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    size_t b = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
    t.push_back({b, i});
  }
  return t;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool ToU64(std::string_view s, uint64_t* v) {
  if (!AllDigits(s) || s.size() > 20) return false;
  uint64_t n = 0;
  for (char c : s) {
    uint64_t d = static_cast<uint64_t>(c - '0');
    if (n > (UINT64_MAX - d) / 10) return false;
    n = n * 10 + d;
  }
  *v = n;
  return true;
}

bool ToInt(std::string_view s, int* v) {
  uint64_t n;
  if (!ToU64(s, &n) || n > 100000) return false;
  *v = static_cast<int>(n);
  return true;
}

int MonthOf(std::string_view s) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  if (s.size() != 3) return 0;
  for (int m = 0; m < 12; ++m) {
    bool same = true;
    for (int i = 0; i < 3 && same; ++i)
      same = std::tolower(static_cast<unsigned char>(s[i])) == kMonths[m][i];
    if (same) return m + 1;
  }
  return 0;
}

// "hh:mm" or "hh:mm:ss".
bool ParseClock(std::string_view s, int* h, int* m, int* sec) {
  size_t c1 = s.find(':');
  if (c1 == std::string_view::npos) return false;
  size_t c2 = s.find(':', c1 + 1);
  *sec = 0;
  if (!ToInt(s.substr(0, c1), h)) return false;
  if (c2 == std::string_view::npos) {
    if (!ToInt(s.substr(c1 + 1), m)) return false;
  } else if (!ToInt(s.substr(c1 + 1, c2 - c1 - 1), m) || !ToInt(s.substr(c2 + 1), sec)) {
    return false;
  }
  return *h < 24 && *m < 60 && *sec < 61;
}

// Dates without a year lie within the last year: a date after tomorrow belongs to last year.
int InferYear(int month, int day, const Today& today) {
  if (month > today.month || (month == today.month && day > today.day + 1)) return today.year - 1;
  return today.year;
}

bool ParseUnix(std::string_view line, const Today& today, ListEntry* e) {
  char kind = line[0];
  if (std::string_view("-dlbcps").find(kind) == std::string_view::npos) return false;
  auto tok = Tokens(line, 12);
  if (tok.size() < 6) return false;
  std::string_view perms = line.substr(tok[0].begin, tok[0].end - tok[0].begin);
  if (perms.size() < 10) return false;
  // The month follows the size; owner and group may be one or two tokens.
  for (size_t i = 2; i + 2 < tok.size(); ++i) {
    auto at = [&](size_t k) { return line.substr(tok[k].begin, tok[k].end - tok[k].begin); };
    int month = MonthOf(at(i));
    uint64_t size;
    int day;
    if (!month || !ToU64(at(i - 1), &size) || !ToInt(at(i + 1), &day) || day < 1 || day > 31) continue;
    std::string_view when = at(i + 2);
    ListTime t;
    t.month = month;
    t.day = day;
    if (when.find(':') != std::string_view::npos) {
      if (!ParseClock(when, &t.hour, &t.minute, &t.second)) continue;
      t.year = InferYear(month, day, today);
    } else if (!ToInt(when, &t.year) || t.year < 1601 || t.year > 30827) {
      continue;
    }
    size_t nameAt = tok[i + 2].end + 1;
    if (nameAt >= line.size()) return false;
    std::string_view name = line.substr(nameAt);
    e->link = kind == 'l';
    e->dir = kind == 'd';
    if (e->link) {
      size_t arrow = name.find(" -> ");
      if (arrow != std::string_view::npos) {
        e->target.assign(name.substr(arrow + 4));
        name = name.substr(0, arrow);
      }
      // A target that names a directory ends with "/"; other links are taken as files
      // unless the caller learns better from the rest of the listing.
      e->dir = !e->target.empty() && e->target.back() == '/';
    }
    e->size = size;
    e->time = t;
    e->name.assign(name);
    return ValidEntryName(e->name);
  }
  return false;
}

// "01-31-23  10:30AM       <DIR>          name" or "01-31-2023  22:30  1234 name".
bool ParseDos(std::string_view line, ListEntry* e) {
  auto tok = Tokens(line, 3);
  if (tok.size() < 3) return false;
  auto at = [&](size_t k) { return line.substr(tok[k].begin, tok[k].end - tok[k].begin); };
  std::string_view date = at(0), clock = at(1), what = at(2);
  if (date.size() < 8 || (date[2] != '-' && date[2] != '/') || date[5] != date[2]) return false;
  ListTime t;
  if (!ToInt(date.substr(0, 2), &t.month) || !ToInt(date.substr(3, 2), &t.day) ||
      !ToInt(date.substr(6), &t.year))
    return false;
  if (date.size() == 8) t.year += t.year < 70 ? 2000 : 1900;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return false;
  bool pm = false, am = false;
  if (clock.size() > 2) {
    std::string_view suffix = clock.substr(clock.size() - 2);
    pm = suffix == "PM" || suffix == "pm";
    am = suffix == "AM" || suffix == "am";
    if (pm || am) clock.remove_suffix(2);
  }
  if (!ParseClock(clock, &t.hour, &t.minute, &t.second)) return false;
  if (pm || am) {
    if (t.hour < 1 || t.hour > 12) return false;
    t.hour = t.hour % 12 + (pm ? 12 : 0);
  }
  if (what == "<DIR>") {
    e->dir = true;
  } else if (!ToU64(what, &e->size)) {
    return false;
  }
  size_t nameAt = tok[2].end;
  while (nameAt < line.size() && line[nameAt] == ' ') ++nameAt;
  if (nameAt >= line.size()) return false;
  e->name.assign(line.substr(nameAt));
  e->time = t;
  return ValidEntryName(e->name);
}

}  // namespace

bool ValidEntryName(std::string_view name) {
  if (name.empty() || name.size() > kMaxName || name == "." || name == "..") return false;
  for (unsigned char c : name)
    if (c == '/' || c == '\\' || c < 0x20 || c == 0x7f) return false;
  return true;
}

bool ParseListLine(std::string_view line, const Today& today, ListEntry* out) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  if (line.empty()) return false;
  *out = ListEntry{};
  if (line[0] >= '0' && line[0] <= '9') return ParseDos(line, out);
  return ParseUnix(line, today, out);
}

bool ParseMlsdLine(std::string_view line, ListEntry* out) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  size_t space = line.find(' ');
  if (space == std::string_view::npos) return false;
  *out = ListEntry{};
  std::string_view facts = line.substr(0, space);
  bool typed = false;
  while (!facts.empty()) {
    size_t semi = facts.find(';');
    std::string_view fact = facts.substr(0, semi);
    facts = semi == std::string_view::npos ? std::string_view() : facts.substr(semi + 1);
    size_t eq = fact.find('=');
    if (eq == std::string_view::npos) continue;
    std::string key;
    for (char c : fact.substr(0, eq)) key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    std::string_view value = fact.substr(eq + 1);
    if (key == "type") {
      std::string v;
      for (char c : value) v.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
      if (v == "cdir" || v == "pdir") return false;
      typed = true;
      out->dir = v == "dir";
      if (v.rfind("os.unix=slink", 0) == 0 || v.rfind("os.unix=symlink", 0) == 0) {
        out->link = true;
        size_t colon = value.find(':');
        if (colon != std::string_view::npos) out->target.assign(value.substr(colon + 1));
        out->dir = !out->target.empty() && out->target.back() == '/';
      }
    } else if (key == "size" || key == "sizd") {
      uint64_t n;
      if (ToU64(value, &n)) out->size = n;
    } else if (key == "unique") {
      out->unique.assign(value);
    } else if (key == "modify" && value.size() >= 14) {
      ListTime t;
      t.utc = true;
      if (ToInt(value.substr(0, 4), &t.year) && ToInt(value.substr(4, 2), &t.month) &&
          ToInt(value.substr(6, 2), &t.day) && ToInt(value.substr(8, 2), &t.hour) &&
          ToInt(value.substr(10, 2), &t.minute) && ToInt(value.substr(12, 2), &t.second) &&
          t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour < 24 &&
          t.minute < 60 && t.second < 61 && t.year >= 1601 && t.year <= 30827)
        out->time = t;
    }
  }
  if (!typed) return false;
  if (out->dir) out->size = 0;
  out->name.assign(line.substr(space + 1));
  return ValidEntryName(out->name);
}

bool HasWildcards(std::string_view pattern) {
  return pattern.find_first_of("*?") != std::string_view::npos;
}

namespace {

bool Match(std::string_view p, std::string_view n) {
  // Iterative glob with one backtrack point: linear in practice, never recursive.
  size_t pi = 0, ni = 0, star = std::string_view::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (pi < p.size() &&
               (p[pi] == '?' || std::tolower(static_cast<unsigned char>(p[pi])) ==
                                    std::tolower(static_cast<unsigned char>(n[ni])))) {
      ++pi;
      ++ni;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace

bool WildMatch(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return true;
  if (Match(pattern, name)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos)
    return Match(pattern.substr(0, pattern.size() - 2), name);
  return false;
}

}  // namespace vel::net
