// FORMAT and DEFORMAT over compiled pictures, and the digit strings they work on.
//
// Formatting a number is done in three steps over small fixed arrays:
//   1. the template is analysed into slots: integer digit positions (codes 3, 4, 22 up to the
//      decimal item), fraction positions (digit items after it, up to an exponent sign),
//      grouping positions, exponent digit positions;
//   2. the value is rounded (half away from zero) to the fraction positions into a row of
//      integer and fraction digits; an overflow takes grouping positions (leftmost first) as
//      digits, or makes the result "#";
//   3. the items are walked left to right; in the floating layout (any code 4 item, never for a
//      pattern) sign, currency and literal items before the first digit are held back and then
//      written immediately in front of it.
// Nothing is written outside the caller's Width() bytes.
#include <cstdio>
#include <cstring>

#include "runtime/data/picture.h"
#include "runtime/data/picture_internal.h"

namespace vel {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void Normalise(DigitString* v) {
  int lead = 0;
  while (lead < v->count && v->digit[lead] == 0) ++lead;
  if (lead) {
    std::memmove(v->digit, v->digit + lead, v->count - lead);
    v->count -= lead;
    v->point -= lead;
  }
  while (v->count > 0 && v->digit[v->count - 1] == 0) --v->count;
  if (v->count == 0) {
    v->point = 0;
    v->negative = false;
  }
}

// The digit of weight 10^(point-1-index) counted from the first digit; 0 outside.
int DigitAt(const DigitString& v, int index) { return index >= 0 && index < v.count ? v.digit[index] : 0; }

struct Layout {
  int int_slots[kPictureMaxWidth];   // item indexes of integer digit positions, left to right
  int int_count = 0;
  int group_slots[kPictureMaxWidth]; // grouping items among the integer positions
  int group_count = 0;
  int frac_count = 0;
  bool floating = false;
};

void Analyse(const CompiledPicture& pic, Layout* l) {
  int width = pic.Width();
  bool after_point = false, exponent = false;
  for (int i = 0; i < width; ++i) {
    int code = pic.ItemCode(i);
    if (code == kItemExponentSign) exponent = true;
    if (exponent) continue;
    if (code == kItemPoint) after_point = true;
    else if (code == kItemDigit || code == kItemDigitBlank || code == kItemImpliedPoint) {
      if (after_point) ++l->frac_count;
      else l->int_slots[l->int_count++] = i;
      if (code == kItemImpliedPoint) after_point = true;
      if (code == kItemDigitBlank) l->floating = true;
    } else if (code == kItemGroup && !after_point) {
      l->group_slots[l->group_count++] = i;
    }
  }
  if (pic.Kind() == kPicPattern) l->floating = false;
}

// The value rounded to `frac` fraction digits: integer digits (no leading zeros) and exactly
// `frac` fraction digits. Returns false when there are more integer digits than `max_int`.
struct Rounded {
  std::uint8_t int_digit[kMaxDigits + 2];
  int int_count;
  std::uint8_t frac_digit[kPictureMaxWidth];
  bool negative;
};

bool RoundTo(const DigitString& v, int frac, int max_int, Rounded* r) {
  int ints = v.point > 0 ? v.point : 0;
  if (ints > kMaxDigits + 1 || ints > max_int + 1) return false;
  std::uint8_t row[kMaxDigits + 2 + kPictureMaxWidth];
  int n = 0;
  row[n++] = 0;  // room for a carry
  for (int i = 0; i < ints; ++i) row[n++] = static_cast<std::uint8_t>(DigitAt(v, i));
  int first_frac = v.point;  // index into v.digit of the tenths digit
  for (int j = 0; j < frac; ++j) row[n++] = static_cast<std::uint8_t>(DigitAt(v, first_frac + j));
  if (DigitAt(v, first_frac + frac) >= 5) {
    int k = n - 1;
    while (row[k] == 9) row[k--] = 0;
    ++row[k];
  }
  int int_end = 1 + ints;  // row[0..int_end) are the integer digits with the carry digit
  int lead = 0;
  while (lead < int_end && row[lead] == 0) ++lead;
  r->int_count = int_end - lead;
  if (r->int_count > max_int) return false;
  for (int i = 0; i < r->int_count; ++i) r->int_digit[i] = row[lead + i];
  bool any = r->int_count > 0;
  for (int j = 0; j < frac; ++j) {
    r->frac_digit[j] = row[int_end + j];
    if (row[int_end + j]) any = true;
  }
  r->negative = v.negative && any;  // zero is never negative
  return true;
}

int FillBlanksOrHashes(const CompiledPicture& pic, bool hashes, char* out) {
  int width = pic.Width();
  for (int i = 0; i < width; ++i) {
    int code = pic.ItemCode(i);
    char c = ' ';
    if (hashes) {
      switch (code) {
        case kItemDigit: case kItemDigitBlank: case kItemImpliedPoint: case kItemGroup:
        case kItemExponentSign: c = '#'; break;
        case kItemPoint: case kItemLiteral: case kItemCurrency: c = pic.ItemChar(i); break;
        default: break;
      }
    }
    out[i] = c;
  }
  return width;
}

int FormatNumber(const CompiledPicture& pic, const DigitString& value, char* out) {
  int width = pic.Width();
  DigitString v = value;
  Normalise(&v);
  if (pic.BlankWhenZero() && v.count == 0) return FillBlanksOrHashes(pic, false, out);
  Layout l;
  Analyse(pic, &l);
  int exponent = 0;
  Rounded r;
  bool scientific = pic.Kind() == kPicScientific;
  if (scientific) {
    if (v.count) {
      exponent = v.point - l.int_count;
      v.point = l.int_count;
    }
    if (!RoundTo(v, l.frac_count, l.int_count, &r)) {  // 9.99 -> 10.0: one more in the exponent
      ++exponent;
      v.point = l.int_count - 1;
      if (!RoundTo(v, l.frac_count, l.int_count, &r)) return FillBlanksOrHashes(pic, true, out);
    }
    if (exponent > 999 || exponent < -999) return FillBlanksOrHashes(pic, true, out);
  } else if (!RoundTo(v, l.frac_count, l.int_count + l.group_count, &r)) {
    bool blanks = pic.Kind() == kPicPattern && l.int_count == 0;
    return FillBlanksOrHashes(pic, !blanks, out);
  }
  // Integer positions: the leftmost grouping items become digit positions when needed.
  int use_groups = r.int_count > l.int_count ? r.int_count - l.int_count : 0;
  // For each item, the integer digit it shows (-1 none), counted from the right.
  signed char int_digit_of[kPictureMaxWidth];
  bool group_as_digit[kPictureMaxWidth];
  std::memset(int_digit_of, -1, width);
  std::memset(group_as_digit, 0, width);
  for (int g = 0; g < use_groups; ++g) group_as_digit[l.group_slots[g]] = true;
  {
    bool slot[kPictureMaxWidth];
    std::memset(slot, 0, width);
    for (int s = 0; s < l.int_count; ++s) slot[l.int_slots[s]] = true;
    int k = 0;  // digits from the units leftwards
    for (int i = width - 1; i >= 0 && k < r.int_count; --i) {
      if (!slot[i] && !group_as_digit[i]) continue;
      int_digit_of[i] = static_cast<signed char>(r.int_digit[r.int_count - 1 - k]);
      ++k;
    }
  }
  int held[kPictureMaxWidth];
  int held_count = 0;
  bool seen_digit = false, after_point = false, in_exponent = false;
  int frac_index = 0, exp_index = 0;
  int prev_code = -1;
  char exp_text[4];
  int exp_abs = exponent < 0 ? -exponent : exponent;
  exp_text[0] = static_cast<char>('0' + exp_abs / 100);
  exp_text[1] = static_cast<char>('0' + exp_abs / 10 % 10);
  exp_text[2] = static_cast<char>('0' + exp_abs % 10);
  auto shown_digit = [&](int i, char c) {
    out[i] = c;
    if (!seen_digit && c != ' ') {
      seen_digit = true;
      for (int h = held_count - 1, at = i - 1; h >= 0 && at >= 0; --h, --at) out[at] = pic.ItemChar(held[h]);
      held_count = 0;
    }
  };
  for (int i = 0; i < width; ++i) {
    int code = pic.ItemCode(i);
    char ic = pic.ItemChar(i);
    out[i] = ' ';
    if (group_as_digit[i]) code = kItemDigitBlank;
    switch (code) {
      case kItemLiteral:
      case kItemCurrency:
        if (l.floating && !seen_digit && !in_exponent) held[held_count++] = i;
        else out[i] = ic;
        break;
      case kItemSign:
        if (!r.negative) break;
        if (l.floating && !seen_digit) held[held_count++] = i;
        else out[i] = ic;
        break;
      case kItemGroup: {
        char before = i > 0 ? out[i - 1] : ' ';
        out[i] = IsDigit(before) ? ic : before == '*' ? '*' : ' ';
        break;
      }
      case kItemPoint:
        out[i] = ic;
        after_point = true;
        break;
      case kItemExponentSign:
        out[i] = exponent < 0 ? '-' : '+';
        in_exponent = true;
        break;
      case kItemDigit:
      case kItemDigitBlank:
      case kItemImpliedPoint:
        if (in_exponent) {
          out[i] = exp_index < 3 ? exp_text[exp_index++] : '0';
        } else if (after_point) {
          shown_digit(i, static_cast<char>('0' + (frac_index < l.frac_count ? r.frac_digit[frac_index] : 0)));
          ++frac_index;
        } else if (int_digit_of[i] >= 0) {
          int d = int_digit_of[i];
          bool follows = prev_code == kItemDigit || prev_code == kItemDigitBlank || prev_code == kItemGroup ||
                         prev_code == kItemPoint || prev_code == kItemImpliedPoint;
          if (code == kItemDigitBlank && d == 0 && !follows && !seen_digit) out[i] = ' ';
          else shown_digit(i, static_cast<char>('0' + d));
        } else if (code == kItemDigitBlank) {
          out[i] = ' ';
        } else {
          shown_digit(i, ic);
        }
        if (code == kItemImpliedPoint) after_point = true;
        break;
      default:
        out[i] = ic;
        break;
    }
    prev_code = code;
  }
  for (int h = 0; h < held_count; ++h) out[held[h]] = pic.ItemChar(held[h]);  // no digit shown at all
  return width;
}

}  // namespace

bool DigitString::IsZero() const {
  for (int i = 0; i < count; ++i)
    if (digit[i]) return false;
  return true;
}

void DigitsFromText(const char* text, std::uint32_t length, DigitString* out) {
  std::memset(out, 0, sizeof *out);
  const char* p = text;
  const char* end = text ? text + length : text;
  while (p < end && *p == ' ') ++p;
  if (p < end && *p == '-') out->negative = true, ++p;
  bool point_seen = false;
  for (; p < end; ++p) {
    char c = *p;
    if (IsDigit(c)) {
      if (out->count == 0 && c == '0') {  // leading zero: only moves the point
        if (point_seen) --out->point;
        continue;
      }
      if (out->count < kMaxDigits) out->digit[out->count++] = static_cast<std::uint8_t>(c - '0');
      if (!point_seen) ++out->point;
    } else if ((c == '.' || c == ',') && !point_seen) {
      point_seen = true;
    } else {
      break;
    }
  }
  if (point_seen && p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool minus = false;
    if (p < end && (*p == '+' || *p == '-')) minus = *p++ == '-';
    int e = 0;
    for (; p < end && IsDigit(*p); ++p)
      if (e < 100000) e = e * 10 + (*p - '0');
    out->point += minus ? -e : e;
  }
  Normalise(out);
}

void DigitsFromReal(double value, DigitString* out) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", value);  // 15 significant digits
  if (!IsDigit(buf[value < 0 ? 1 : 0])) {          // inf or nan: no value
    std::memset(out, 0, sizeof *out);
    return;
  }
  DigitsFromText(buf, static_cast<std::uint32_t>(std::strlen(buf)), out);
}

void DigitsFromInteger(std::int64_t value, DigitString* out) {
  out->negative = value < 0;
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::uint8_t reversed[20];
  int n = 0;
  for (; magnitude; magnitude /= 10) reversed[n++] = static_cast<std::uint8_t>(magnitude % 10);
  out->count = n;
  out->point = n;
  for (int i = 0; i < n; ++i) out->digit[i] = reversed[n - 1 - i];
  Normalise(out);
}

int DigitsToText(const DigitString& value, char* out, int size) {
  if (size <= 0) return 0;
  DigitString v = value;
  Normalise(&v);
  int n = 0;
  auto put = [&](char c) {
    if (n < size - 1) out[n] = c;
    ++n;
  };
  if (v.negative) put('-');
  if (v.point <= 0) put('0');
  for (int i = 0; i < v.point; ++i) put(static_cast<char>('0' + DigitAt(v, i)));
  if (v.count > v.point) {
    put('.');
    for (int i = v.point < 0 ? v.point : 0; i < 0; ++i) put('0');
    for (int i = v.point > 0 ? v.point : 0; i < v.count; ++i) put(static_cast<char>('0' + v.digit[i]));
  }
  if (n > size - 1) n = 0;
  out[n] = 0;
  return n;
}

int FormatDigits(const CompiledPicture& pic, const DigitString& value, char* out) {
  if (!pic.Valid()) return 0;
  switch (pic.Kind()) {
    case kPicNumeric: case kPicScientific: case kPicPattern: return FormatNumber(pic, value, out);
    case kPicDate: case kPicTime: {
      DigitString v = value;
      Normalise(&v);
      std::int64_t n = 0;
      if (v.point > 12) n = -1;
      else
        for (int i = 0; i < v.point; ++i) n = n * 10 + DigitAt(v, i);
      if (v.negative) n = -n;
      if (pic.BlankWhenZero() && n == 0) return FillBlanksOrHashes(pic, false, out);
      FormatDateTime(pic, n, out);
      return pic.Width();
    }
    default: {
      char text[kMaxDigits * 2 + 8];
      int n = DigitsToText(value, text, sizeof text);
      return FormatText(pic, text, static_cast<std::uint32_t>(n), out);
    }
  }
}

int FormatInteger(const CompiledPicture& pic, std::int64_t value, char* out) {
  if (!pic.Valid()) return 0;
  int kind = pic.Kind();
  if ((kind == kPicDate || kind == kPicTime) && !(pic.BlankWhenZero() && value == 0)) {
    FormatDateTime(pic, value, out);
    return pic.Width();
  }
  DigitString v;
  DigitsFromInteger(value, &v);
  return FormatDigits(pic, v, out);
}

int FormatReal(const CompiledPicture& pic, double value, char* out) {
  DigitString v;
  DigitsFromReal(value, &v);
  return FormatDigits(pic, v, out);
}

int FormatText(const CompiledPicture& pic, const char* text, std::uint32_t length, char* out) {
  if (!pic.Valid()) return 0;
  int width = pic.Width();
  if (pic.Kind() == kPicString || pic.Kind() == kPicKeyIn) {
    std::uint32_t n = text ? (length < static_cast<std::uint32_t>(width) ? length : width) : 0;
    if (n) std::memcpy(out, text, n);
    std::memset(out + n, ' ', width - n);
    return width;
  }
  DigitString v;
  DigitsFromText(text, length, &v);
  return FormatDigits(pic, v, out);
}

int Deformat(const CompiledPicture& pic, const char* text, std::uint32_t length, char* out, int size) {
  if (size <= 0) return 0;
  out[0] = 0;
  if (!pic.Valid()) return 0;
  if (!text) length = 0;
  if (length > static_cast<std::uint32_t>(kDeformatTextMax)) length = kDeformatTextMax;
  int width = pic.Width();
  int kind = pic.Kind();
  char kept[kDeformatTextMax * 2 + 4] = {};
  int k = 0;
  bool negative = false;
  if (kind == kPicDate || kind == kPicTime) {
    std::int32_t n = DeformatDateTime(pic, text, static_cast<int>(length));
    DigitString v;
    DigitsFromInteger(n, &v);
    return DigitsToText(v, out, size);
  }
  if (kind == kPicString) {
    std::uint32_t n = length < static_cast<std::uint32_t>(width) ? length : width;
    bool point = false, e = false;
    for (std::uint32_t i = 0; i < n; ++i) {
      char c = text[i];
      bool after_e = k > 0 && (kept[k - 1] == 'e' || kept[k - 1] == 'E');
      if (IsDigit(c)) kept[k++] = c;
      else if (c == '.' && !point && !e) point = true, kept[k++] = c;
      else if ((c == 'e' || c == 'E') && !e) e = true, kept[k++] = c;
      else if (c == '-' && (k == 0 || after_e)) kept[k++] = c;
      else if (c == '+' && after_e) kept[k++] = c;
    }
  } else if (kind == kPicKeyIn) {
    std::uint32_t n = length < static_cast<std::uint32_t>(width) ? length : width;
    for (std::uint32_t i = 0; i < n; ++i) {
      int code = pic.ItemCode(static_cast<int>(i));
      if (code != kItemLiteral && code != kItemCurrency) kept[k++] = text[i];
    }
    // A key-in pattern is a string picture: the kept characters are the value.
    if (k > size - 1) k = size - 1;
    std::memcpy(out, kept, k);
    out[k] = 0;
    return k;
  } else {
    std::uint32_t n = length < static_cast<std::uint32_t>(width) ? length : width;
    for (std::uint32_t i = 0; i < n; ++i) {
      int code = pic.ItemCode(static_cast<int>(i));
      char c = text[i];
      switch (code) {
        case kItemGroup: case kItemDigit: case kItemDigitBlank: case kItemSign:
          if (c == '-' || c == '(') negative = true;
          else if (c == '+') negative = false;
          else if (IsDigit(c)) kept[k++] = c;
          else if (c == ' ' && code == kItemDigitBlank) kept[k++] = '0';
          break;
        case kItemPoint: kept[k++] = '.'; break;
        case kItemImpliedPoint:
          kept[k++] = IsDigit(c) ? c : '0';
          kept[k++] = '.';
          break;
        case kItemExponentSign:
          kept[k++] = 'e';
          kept[k++] = c == '-' ? '-' : '+';
          break;
        default: break;
      }
    }
  }
  DigitString v;
  DigitsFromText(kept, static_cast<std::uint32_t>(k), &v);
  if (negative) v.negative = true;
  return DigitsToText(v, out, size);
}

}  // namespace vel
