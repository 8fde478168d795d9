// Date and time pictures: compiling "@D" and "@T", showing date and time numbers through
// their items and reading them back.
//
// Item characters of digit items are what a 0 digit shows (" " for a leading-blank field,
// "0" for a zero-filled one, the fill character when a fill was given). Separator items (code
// 19) carry "/", ":" or " " unless the picture's separator option replaced them. Byte 4 of the
// block holds the two-digit-year window, byte 5 the picture number (17, 18, 7 and 8 mark the
// profile-built pictures, which use the Windows AM/PM texts and keep month names as stored).
#include <cstring>

#include "runtime/core/collation.h"
#include "runtime/data/dates.h"
#include "runtime/data/intl.h"
#include "runtime/data/picture_internal.h"

namespace vel {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void Field(ItemWriter* w, int code, int digits, char first) {
  for (int i = 0; i < digits; ++i) w->Add(i == 0 ? first : '0', code);
}
void Sep(ItemWriter* w, char c) { w->Add(c, kItemSeparator); }
void Names(ItemWriter* w, int n) {
  for (int i = 0; i < n; ++i) w->Add(' ', kItemMonthName);
}

}  // namespace

void BuildDateItems(int number, char, ItemWriter* w) {
  switch (number) {
    case 1: case 2:
      Field(w, kItemMonth, 2, ' '), Sep(w, '/'), Field(w, kItemDay, 2, '0'), Sep(w, '/');
      Field(w, kItemYear, number == 1 ? 2 : 4, '0');
      break;
    case 3:
      Names(w, 3), w->Add(' ', kItemLiteral), Field(w, kItemDay, 2, ' '), w->Add(',', kItemLiteral);
      Field(w, kItemYear, 4, '0');
      break;
    case 4:
      Names(w, 12), w->Add(' ', kItemLiteral), Field(w, kItemDay, 2, ' '), w->Add(',', kItemLiteral);
      w->Add(' ', kItemLiteral), Field(w, kItemYear, 4, '0');
      break;
    case 5: case 6:
      Field(w, kItemDay, 2, ' '), Sep(w, '/'), Field(w, kItemMonth, 2, '0'), Sep(w, '/');
      Field(w, kItemYear, number == 5 ? 2 : 4, '0');
      break;
    case 7: case 8:
      Field(w, kItemDay, 2, ' '), Sep(w, ' '), Names(w, 3), Sep(w, ' ');
      Field(w, kItemYear, number == 7 ? 2 : 4, '0');
      break;
    case 9: case 10:
      Field(w, kItemYear, number == 9 ? 2 : 4, '0'), Sep(w, '/'), Field(w, kItemMonth, 2, '0'), Sep(w, '/');
      Field(w, kItemDay, 2, '0');
      break;
    case 11: case 12:
      Field(w, kItemYear, number == 11 ? 2 : 4, '0'), Field(w, kItemMonth, 2, '0'), Field(w, kItemDay, 2, '0');
      break;
    case 13: case 14:
      Field(w, kItemMonth, 2, '0'), Sep(w, '/'), Field(w, kItemYear, number == 13 ? 2 : 4, '0');
      break;
    case 15: case 16:
      Field(w, kItemYear, number == 15 ? 2 : 4, '0'), Sep(w, '/'), Field(w, kItemMonth, 2, '0');
      break;
    default: break;
  }
}

void BuildTimeItems(int number, char, ItemWriter* w) {
  bool colon = number == 1 || number == 3 || number == 4 || number == 6;
  bool seconds = number >= 4 && number <= 6;
  Field(w, kItemHour, 2, ' ');
  if (colon) Sep(w, ':');
  Field(w, kItemMinute, 2, '0');
  if (seconds) {
    if (colon) Sep(w, ':');
    Field(w, kItemSecond, 2, '0');
  }
  if (number == 3 || number == 6) w->Add('A', kItemAmPm), w->Add('M', kItemLiteral);
}

bool CompileDateTimePicture(const char* p, int n, bool time, bool blank_zero, CompiledPicture* out) {
  const char* end = p + n;
  char fill = 0;
  if (p < end && (*p == '0' || *p == '_' || *p == '*')) fill = *p++;
  int number = 0;
  if (p >= end || !IsDigit(*p)) return false;
  while (p < end && IsDigit(*p) && number < 100) number = number * 10 + (*p++ - '0');
  if (number < 1 || number > (time ? 8 : 18)) return false;
  int window = kDefaultYearWindow;
  if (!time && p < end && (*p == '<' || *p == '>')) {
    char dir = *p++;
    int v = 0;
    if (p >= end || !IsDigit(*p)) return false;
    while (p < end && IsDigit(*p) && v < 1000) v = v * 10 + (*p++ - '0');
    if (v > 99) return false;
    window = dir == '<' ? (v == 0 ? 80 : v) : (v == 0 ? 19 : 99 - v);
  }
  char sep = 0;
  if (p < end) {
    switch (*p++) {
      case '.': sep = '.'; break;
      case '-': sep = '-'; break;
      case '_': sep = ' '; break;
      case '`': sep = ','; break;
      default: return false;
    }
  }
  if (p != end) return false;
  const IntlSettings& intl = Intl();
  const CompiledPicture* built = nullptr;
  if (!time && number == 17) built = &intl.date_short;
  if (!time && number == 18) built = &intl.date_long;
  if (time && number == 7) built = &intl.time_short;
  if (time && number == 8) built = &intl.time_long;
  int width;
  if (built) {
    width = built->Width();
    if (width == 0) return false;
    std::memcpy(out->items, built->items, sizeof out->items);
  } else {
    ItemWriter w{out};
    if (time) BuildTimeItems(number, fill, &w);
    else BuildDateItems(number, fill, &w);
    width = w.count;
  }
  for (int i = 0; i < width; ++i) {
    int code = out->items[2 * i + 1];
    bool field = code == kItemMonth || code == kItemDay || code == kItemYear || code == kItemMonthName ||
                 code == kItemHour || code == kItemMinute || code == kItemSecond;
    if (fill && field) out->items[2 * i] = static_cast<std::uint8_t>(fill == '_' ? ' ' : fill);
    if (sep && code == kItemSeparator) out->items[2 * i] = static_cast<std::uint8_t>(sep);
  }
  out->window = static_cast<std::uint8_t>(window);
  out->number = static_cast<std::uint8_t>(number);
  SetPictureHeader(out, time ? kPicTime : kPicDate, kClassReal, blank_zero, width);
  out->layout = DateTimeLayout(*out);
  return true;
}

std::uint16_t DateTimeLayout(const CompiledPicture& pic) {
  int year_items = 0;
  std::uint16_t layout = kLayoutKnown;
  for (int i = 0; i < pic.Width(); ++i) {
    int code = pic.ItemCode(i);
    if (code == kItemYear) ++year_items;
    if (code == kItemMonthName) layout |= kLayoutNames;
    if (code == kItemAmPm) layout |= kLayoutAmPm;
  }
  return static_cast<std::uint16_t>(layout | (year_items < 7 ? year_items : 7));
}

void FormatDateTime(const CompiledPicture& pic, std::int64_t value, char* out) {
  int width = pic.Width();
  bool time = pic.Kind() == kPicTime;
  int y = 0, m = 0, d = 0, h = 0, mi = 0, s = 0, hs = 0;
  bool valid;
  std::int32_t v32 = value < 0 || value > kDateLast * 4ll ? -1 : static_cast<std::int32_t>(value);
  if (time) valid = TimeSplit(v32, &h, &mi, &s, &hs);
  else valid = DateToYmd(v32, &y, &m, &d);
  const IntlSettings& intl = Intl();
  std::uint16_t layout = pic.layout & kLayoutKnown ? pic.layout : DateTimeLayout(pic);
  int year_items = layout & kLayoutYearItems;
  bool has_ampm = layout & kLayoutAmPm;
  bool in_place = !(layout & (kLayoutNames | kLayoutAmPm));  // nothing moves
  const char* ampm = nullptr;
  if (time && has_ampm) {
    bool windows_texts = pic.number == 7 || pic.number == 8;
    ampm = h >= 12 ? (windows_texts ? intl.win_ampm[1] : intl.ampm[1]) : (windows_texts ? intl.win_ampm[0] : intl.ampm[0]);
    if (h > 12) h -= 12;
    if (h == 0) h = 12;
  }
  int month = m;  // kept for the month name
  if (year_items != 4) y %= 100;
  // Digits from the right: each field gives up its lowest digit to its rightmost item first.
  // Without month names and AM/PM every item stays where it is and this is the whole output.
  char digit_char[kPictureMaxWidth];
  char* digits_to = in_place ? out : digit_char;
  // Table-driven so that random digits cost no mispredicted branches: slot 6 takes every item
  // that is not a field digit (its character is copied).
  static constexpr std::int8_t kFieldOf[32] = {6, 6, 6, 6, 6, 6, 6, 0, 1, 2, 6, 3, 4, 5, 6, 6,
                                               6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6};
  // Each field's digits from the right, computed once (all fields are at most four digits
  // wide: years below 10000, the others below 100); a field's items are one contiguous run, so
  // the position inside the run is counted in a register while walking.
  std::uint8_t digit_of[7][8] = {};
  const std::uint32_t values[6] = {std::uint32_t(m), std::uint32_t(d), std::uint32_t(y),
                                   std::uint32_t(h), std::uint32_t(mi), std::uint32_t(s)};
  for (int f = 0; f < 6; ++f) {
    std::uint32_t v = values[f];
    for (int p = 0; p < 4; ++p, v /= 10) digit_of[f][p] = static_cast<std::uint8_t>(v % 10);
  }
  int previous = -1, position = 0;
  for (int i = width - 1; i >= 0; --i) {
    int field = kFieldOf[pic.ItemCode(i) & 31];
    position = field == previous ? position + 1 : 0;
    previous = field;
    int digit = digit_of[field][position & 7];
    char item = pic.ItemChar(i);
    char c = static_cast<char>('0' + digit);
    if (digit == 0) c = item;
    if (!valid) c = ' ';
    if (field == 6) c = item;
    digits_to[i] = c;
  }
  if (in_place) return;
  const char* name = valid && !time && month >= 1 ? intl.month_name[month - 1] : "";
  bool upper_names = pic.number != 4 && pic.number != 18;
  int o = 0;  // output position: dropped name items move the rest left
  bool replace_next = false;
  for (int i = 0; i < width; ++i) {
    int code = pic.ItemCode(i);
    if (replace_next) {  // the item after AM/PM shows the text's second character
      replace_next = false;
      out[o++] = valid && ampm && ampm[0] && ampm[1] ? ampm[1] : ' ';
      continue;
    }
    switch (code) {
      case kItemMonth: case kItemDay: case kItemYear: case kItemHour: case kItemMinute: case kItemSecond:
        out[o++] = digit_char[i];
        break;
      case kItemMonthName:
        if (!valid) out[o++] = ' ';
        else if (*name) {
          std::uint8_t c = static_cast<std::uint8_t>(*name++);
          out[o++] = static_cast<char>(upper_names ? UpperChar(c) : c);
        }
        break;
      case kItemAmPm:
        out[o++] = valid && ampm && ampm[0] ? ampm[0] : ' ';
        replace_next = true;
        break;
      default:
        out[o++] = pic.ItemChar(i);
        break;
    }
  }
  while (o < width) out[o++] = ' ';
}

std::int32_t DeformatDateTime(const CompiledPicture& pic, const char* text, int length) {
  int width = pic.Width();
  bool time = pic.Kind() == kPicTime;
  const IntlSettings& intl = Intl();
  bool windows_texts = pic.number == 7 || pic.number == 8;
  const char* am = windows_texts ? intl.win_ampm[0] : intl.ampm[0];
  const char* pm = windows_texts ? intl.win_ampm[1] : intl.ampm[1];
  int value[32] = {};
  bool has[32] = {};
  bool am_zero = false, name_matched = false, name_tried = false;
  int t = 0;
  for (int i = 0; i < width && t < length; ++i) {
    int code = pic.ItemCode(i);
    char c = text[t];
    switch (code) {
      case kItemMonth: case kItemDay: case kItemYear: case kItemHour: case kItemMinute: case kItemSecond:
        if (IsDigit(c)) {
          if (value[code] < 1000000) value[code] = value[code] * 10 + (c - '0');
          has[code] = true;
          ++t;
        } else if (!has[code]) {
          ++t;
        }
        break;
      case kItemMonthName:
        if (name_matched) break;
        if (!name_tried) {
          name_tried = true;
          if (t + 3 <= length) {
            for (int mo = 0; mo < 12 && !name_matched; ++mo) {
              const char* a = intl.month_abbr[mo];
              bool same = a[0] != 0;
              for (int k = 0; k < 3 && same; ++k)
                same = UpperChar(static_cast<std::uint8_t>(text[t + k])) == UpperChar(static_cast<std::uint8_t>(a[k])) ||
                       (a[k] == 0 && k > 0);
              if (same) {
                name_matched = true;
                value[kItemMonth] = mo + 1;
                has[kItemMonth] = true;
              }
            }
          }
          if (name_matched) {
            while (t < length) {
              std::uint8_t b = static_cast<std::uint8_t>(text[t]);
              if (!(Collation().char_class[b] & (kCharUpper | kCharLower)) && b < 128) break;
              ++t;
            }
            break;
          }
        }
        ++t;
        break;
      case kItemAmPm:
        if (pm[0] && c == pm[0]) {
          if (value[kItemHour] != 12) value[kItemHour] += 12;
        } else if (am[0] && c == am[0]) {
          if (value[kItemHour] == 12) value[kItemHour] = 0, am_zero = true;
        }
        ++t;
        break;
      default:
        ++t;
        break;
    }
  }
  if (time) {
    int h = value[kItemHour], mi = value[kItemMinute], s = value[kItemSecond];
    if (h >= 24 || mi >= 60 || s >= 60) return -1;
    if (h || mi || s || am_zero) return h * 360000 + mi * 6000 + s * 100 + 1;
    return 0;
  }
  int month = value[kItemMonth], day = value[kItemDay], year = value[kItemYear];
  if (pic.number >= 13 && pic.number <= 16 && has[kItemMonth] && has[kItemYear]) day = 1;
  if (!month && !day && !year) return 0;
  return DateNormalised(month, day, year, pic.window);
}

}  // namespace vel
