// Tokens, numbers, month names and clock fields of listing lines.
#include "net/ftp_listing_text.h"

#include <cstring>

namespace vel::net::listing {

std::vector<Token> Tokens(std::string_view s, size_t maxTokens) {
  std::vector<Token> t;
  t.reserve(maxTokens < 16 ? maxTokens : 16);
  size_t i = 0;
  while (i < s.size() && t.size() < maxTokens) {
    while (i < s.size() && s[i] == ' ') ++i;
    if (i >= s.size()) break;
    size_t b = i;
    while (i < s.size() && s[i] != ' ') ++i;
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

bool ToSizeGrouped(std::string_view s, uint64_t* v) {
  if (ToU64(s, v)) return true;
  if (s.size() < 5) return false;
  char sep = s[s.size() - 4];
  if (sep != ',' && sep != '.') return false;
  // Groups of three after a first group of one to three digits.
  std::string digits;
  size_t first = s.find(sep);
  if (first == 0 || first > 3) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (i >= first && (i - first) % 4 == 0) {
      if (s[i] != sep) return false;
      continue;
    }
    if (s[i] < '0' || s[i] > '9') return false;
    digits.push_back(s[i]);
  }
  return ToU64(digits, v);
}

namespace {

struct MonthName {
  const char* name;  // lower case; UTF-8 unless noted
  int month;
};

// Abbreviations and short forms of English, German, French, Spanish, Italian, Dutch, Swedish,
// Portuguese and Russian (both glibc forms), plus Latin-1 spellings of the accented ones.
const MonthName kMonths[] = {
    {"jan", 1},  {"feb", 2},  {"mar", 3},  {"apr", 4},  {"may", 5},  {"jun", 6},  {"jul", 7},
    {"aug", 8},  {"sep", 9},  {"sept", 9}, {"oct", 10}, {"nov", 11}, {"dec", 12},
    // German
    {"j\xc3\xa4n", 1}, {"m\xc3\xa4r", 3}, {"m\xc3\xa4rz", 3}, {"mrz", 3}, {"mai", 5}, {"juni", 6},
    {"juli", 7}, {"okt", 10}, {"dez", 12}, {"m\xe4r", 3}, {"j\xe4n", 1},
    // French
    {"janv", 1}, {"f\xc3\xa9vr", 2}, {"f\xc3\xa9v", 2}, {"fevr", 2}, {"mars", 3}, {"avr", 4}, {"avril", 4},
    {"juin", 6}, {"juil", 7}, {"ao\xc3\xbbt", 8}, {"aou", 8}, {"aout", 8}, {"d\xc3\xa9""c", 12},
    {"f\xe9vr", 2}, {"f\xe9v", 2}, {"ao\xfbt", 8}, {"d\xe9""c", 12},
    // Spanish, Italian, Portuguese
    {"ene", 1}, {"abr", 4}, {"ago", 8}, {"dic", 12}, {"gen", 1}, {"mag", 5}, {"giu", 6}, {"lug", 7},
    {"set", 9}, {"ott", 10}, {"fev", 2}, {"out", 10},
    // Dutch, Swedish
    {"mrt", 3}, {"mei", 5}, {"maj", 5},
    // Russian (genitive and nominative abbreviations), lower and capitalised
    {"\xd1\x8f\xd0\xbd\xd0\xb2", 1}, {"\xd1\x84\xd0\xb5\xd0\xb2", 2}, {"\xd1\x84\xd0\xb5\xd0\xb2\xd1\x80", 2},
    {"\xd0\xbc\xd0\xb0\xd1\x80", 3}, {"\xd0\xbc\xd0\xb0\xd1\x80\xd1\x82", 3}, {"\xd0\xb0\xd0\xbf\xd1\x80", 4},
    {"\xd0\xbc\xd0\xb0\xd1\x8f", 5}, {"\xd0\xbc\xd0\xb0\xd0\xb9", 5}, {"\xd0\xb8\xd1\x8e\xd0\xbd", 6},
    {"\xd0\xb8\xd1\x8e\xd0\xbd\xd1\x8c", 6}, {"\xd0\xb8\xd1\x8e\xd0\xbb", 7}, {"\xd0\xb8\xd1\x8e\xd0\xbb\xd1\x8c", 7},
    {"\xd0\xb0\xd0\xb2\xd0\xb3", 8}, {"\xd1\x81\xd0\xb5\xd0\xbd", 9}, {"\xd1\x81\xd0\xb5\xd0\xbd\xd1\x82", 9},
    {"\xd0\xbe\xd0\xba\xd1\x82", 10}, {"\xd0\xbd\xd0\xbe\xd1\x8f", 11}, {"\xd0\xbd\xd0\xbe\xd1\x8f\xd0\xb1", 11},
    {"\xd0\xb4\xd0\xb5\xd0\xba", 12},
    {"\xd0\xaf\xd0\xbd\xd0\xb2", 1}, {"\xd0\xa4\xd0\xb5\xd0\xb2", 2}, {"\xd0\x9c\xd0\xb0\xd1\x80", 3},
    {"\xd0\x90\xd0\xbf\xd1\x80", 4}, {"\xd0\x9c\xd0\xb0\xd1\x8f", 5}, {"\xd0\x9c\xd0\xb0\xd0\xb9", 5},
    {"\xd0\x98\xd1\x8e\xd0\xbd", 6}, {"\xd0\x98\xd1\x8e\xd0\xbb", 7}, {"\xd0\x90\xd0\xb2\xd0\xb3", 8},
    {"\xd0\xa1\xd0\xb5\xd0\xbd", 9}, {"\xd0\x9e\xd0\xba\xd1\x82", 10}, {"\xd0\x9d\xd0\xbe\xd1\x8f", 11},
    {"\xd0\x94\xd0\xb5\xd0\xba", 12},
    // Hungarian ("jan", "aug", "okt", "nov", "dec" above), UTF-8 and Latin-2
    {"febr", 2}, {"m\xc3\xa1rc", 3}, {"\xc3\xa1pr", 4}, {"m\xc3\xa1j", 5}, {"j\xc3\xban", 6}, {"j\xc3\xbal", 7},
    {"szept", 9}, {"m\xe1rc", 3}, {"\xe1pr", 4}, {"m\xe1j", 5}, {"j\xfan", 6}, {"j\xfal", 7},
    // Polish, UTF-8
    {"sty", 1}, {"lut", 2}, {"kwi", 4}, {"cze", 6}, {"lip", 7}, {"sie", 8}, {"wrz", 9}, {"pa\xc5\xba", 10},
    {"lis", 11}, {"gru", 12},
    // Norwegian and Danish, Finnish
    {"des", 12}, {"tammi", 1}, {"helmi", 2}, {"maalis", 3}, {"huhti", 4}, {"touko", 5}, {"kes\xc3\xa4", 6},
    {"hein\xc3\xa4", 7}, {"elo", 8}, {"syys", 9}, {"loka", 10}, {"marras", 11}, {"joulu", 12},
    // Turkish
    {"oca", 1}, {"\xc5\x9fub", 2}, {"nis", 4}, {"haz", 6}, {"tem", 7}, {"a\xc4\x9fu", 8}, {"eyl", 9},
    {"eki", 10}, {"kas", 11}, {"ara", 12},
};

// "月" in UTF-8, Shift_JIS, GBK, EUC-JP and Big5; "월" in UTF-8 and EUC-KR.
const char* const kMonthMarks[] = {"\xe6\x9c\x88", "\x8c\x8e", "\xd4\xc2", "\xb7\xee", "\xa4\xeb",
                                   "\xec\x9b\x94", "\xbf\xf9"};

}  // namespace

int MonthOf(std::string_view s) {
  if (!s.empty() && s.back() == '.') s.remove_suffix(1);
  if (s.empty() || s.size() > 12) return 0;
  // "1月" .. "12月": one or two digits and the mark.
  if (s[0] >= '0' && s[0] <= '9') {
    size_t d = (s.size() > 1 && s[1] >= '0' && s[1] <= '9') ? 2 : 1;
    int m = s[0] - '0';
    if (d == 2) m = m * 10 + (s[1] - '0');
    std::string_view rest = s.substr(d);
    for (const char* mark : kMonthMarks)
      if (rest == mark) return m >= 1 && m <= 12 ? m : 0;
    return 0;
  }
  char low[16];
  for (size_t i = 0; i < s.size(); ++i) low[i] = (s[i] >= 'A' && s[i] <= 'Z') ? static_cast<char>(s[i] + 32) : s[i];
  std::string_view l(low, s.size());
  // Most tokens tried are no month (owners, sizes): only names with the same first byte are
  // compared.
  struct Index {
    std::vector<std::pair<std::string_view, int>> byFirst[256];
    Index() {
      for (const MonthName& m : kMonths) byFirst[static_cast<unsigned char>(m.name[0])].emplace_back(m.name, m.month);
    }
  };
  static const Index index;
  for (const auto& [name, month] : index.byFirst[static_cast<unsigned char>(low[0])])
    if (l == name) return month;
  return 0;
}

int MonthOfEnglishUpper(std::string_view s) {
  static const char* const kUpper[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  if (s.size() != 3) return 0;
  char u[3];
  for (int i = 0; i < 3; ++i) u[i] = (s[i] >= 'a' && s[i] <= 'z') ? static_cast<char>(s[i] - 32) : s[i];
  for (int m = 0; m < 12; ++m)
    if (memcmp(u, kUpper[m], 3) == 0) return m + 1;
  return 0;
}

bool ParseClock(std::string_view s, int* hour, int* minute, int* second) {
  // Read into locals: a field that is no clock leaves the caller's time as it was.
  int h, m, sec = 0;
  size_t c1 = s.find(':');
  if (c1 == std::string_view::npos || c1 == 0 || c1 > 2) return false;
  size_t c2 = s.find(':', c1 + 1);
  if (!ToInt(s.substr(0, c1), &h)) return false;
  std::string_view mm = c2 == std::string_view::npos ? s.substr(c1 + 1) : s.substr(c1 + 1, c2 - c1 - 1);
  if (mm.size() != 2 || !ToInt(mm, &m)) return false;
  if (c2 != std::string_view::npos) {
    std::string_view ss = s.substr(c2 + 1);
    size_t dot = ss.find_first_of(".,");
    if (dot != std::string_view::npos) {
      if (!AllDigits(ss.substr(dot + 1))) return false;
      ss = ss.substr(0, dot);
    }
    if (ss.size() != 2 || !ToInt(ss, &sec)) return false;
  }
  // "24:00": midnight ending the day (see NextDayAt24).
  if (!(h == 24 && m == 0 && sec == 0) && !(h < 24 && m < 60 && sec < 61)) return false;
  *hour = h;
  *minute = m;
  *second = sec;
  return true;
}

void NextDayAt24(ListTime* t) {
  if (t->hour != 24) return;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (t->year % 4 == 0 && t->year % 100 != 0) || t->year % 400 == 0;
  int last = kDays[t->month - 1] + (t->month == 2 && leap);
  t->hour = 0;
  if (++t->day <= last) return;
  t->day = 1;
  if (++t->month <= 12) return;
  t->month = 1;
  ++t->year;
}

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

int InferYear(int month, int day, const Today& today) {
  if (month > today.month || (month == today.month && day > today.day + 1)) return today.year - 1;
  return today.year;
}

int FullYear(int y, size_t digits) {
  if (digits == 4) return y;
  if (digits == 3) return 1900 + y;  // some servers print years since 1900 ("123" = 2023)
  return y < 70 ? 2000 + y : 1900 + y;
}

bool ValidDate(const ListTime& t) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return t.year >= 1601 && t.year <= 30827 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= kDays[t.month - 1];
}

NameRun RunAfter(std::string_view line, size_t from, RunForm form, size_t key) {
  NameRun run{form, from, 0, key};
  while (from + run.blanks < line.size() && line[from + run.blanks] == ' ') ++run.blanks;
  return run;
}

}  // namespace vel::net::listing
