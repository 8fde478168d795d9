// The picture compiler: picture text -> compiled picture (layout in picture.h).
//
// Each kind has one function over a cursor on the text after the kind letter. A compiler
// writes items only through ItemWriter (bounded to 255 items) and the header only once the
// whole text was accepted; on any failure CompilePicture clears the block again, so an
// invalid picture is all zero.
#include <cstring>

#include "runtime/data/picture.h"
#include "runtime/data/picture_internal.h"

namespace vel {
namespace {

struct Cursor {
  const char* p;
  const char* end;
  bool AtEnd() const { return p >= end; }
  char Peek(int ahead = 0) const { return p + ahead < end ? p[ahead] : 0; }
  bool Has(int ahead) const { return p + ahead < end; }
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a decimal number; saturates at 100000 so that any run of digits stays in range.
bool ReadNumber(Cursor* c, int* value) {
  if (c->AtEnd() || !IsDigit(*c->p)) return false;
  int v = 0;
  while (!c->AtEnd() && IsDigit(*c->p)) {
    v = v * 10 + (*c->p - '0');
    if (v > 100000) v = 100000;
    ++c->p;
  }
  *value = v;
  return true;
}

// "$" or "~text~" (at least one character between the tildes). False and no change when
// there is none; `bad` when a tilde text is unterminated or empty.
bool ReadCurrency(Cursor* c, const char** text, int* length, bool* bad) {
  if (c->AtEnd()) return false;
  if (*c->p == '$') {
    *text = c->p++;
    *length = 1;
    return true;
  }
  if (*c->p != '~') return false;
  const char* start = c->p + 1;
  const char* close = start;
  while (close < c->end && *close != '~') ++close;
  if (close >= c->end || close == start) {
    *bad = true;
    return false;
  }
  *text = start;
  *length = static_cast<int>(close - start);
  c->p = close + 1;
  return true;
}

bool IsGroupChar(char c) { return c == '.' || c == '`' || c == '_' || c == 'v' || c == 'V'; }
bool IsPointChar(char c) { return c == '.' || c == '`' || c == '_' || c == 'v' || c == 'V'; }
// How a grouping or decimal indicator character is shown. "v" as a grouping character has no
// sign of its own; it is shown as a blank like "_".
char ShownAs(char c) {
  switch (c) {
    case '`': return ',';
    case '_': case 'v': case 'V': return ' ';
    default: return c;
  }
}

bool CompileString(Cursor c, bool blank_zero, CompiledPicture* out) {
  int width = 0;
  if (!ReadNumber(&c, &width) || width < 1 || width > kPictureMaxWidth) return false;
  for (; !c.AtEnd(); ++c.p)
    if (*c.p != ' ' && *c.p != '\t') return false;
  SetPictureHeader(out, kPicString, kClassString, blank_zero, width);
  return true;
}

struct NumericParts {
  const char* currency = nullptr;
  int currency_length = 0;
  bool currency_leading = false;
  char sign = 0;           // '-' or '(' leading, 't' trailing "-"
  char fill = 0;           // '0', '_', '*' or 0
  int width = 0;
  char group = 0;          // grouping character given in the picture, or 0
  char point = 0;          // decimal indicator or 0
  char zero_point = 0;     // an indicator that 0 decimals turned into the default grouping
  int decimals = 0;
};

bool ParseNumeric(Cursor c, NumericParts* s) {
  bool bad = false;
  if (ReadCurrency(&c, &s->currency, &s->currency_length, &bad)) s->currency_leading = true;
  if (bad) return false;
  if (c.Peek() == '-' || c.Peek() == '(') s->sign = *c.p++;
  if (c.Peek() == '0' || c.Peek() == '_' || c.Peek() == '*') s->fill = *c.p++;
  if (!ReadNumber(&c, &s->width) || s->width < 1 || s->width > kPictureMaxWidth) return false;
  // Grouping: the character after the width when a decimal indicator or the end follows it.
  if (IsGroupChar(c.Peek()) && (!c.Has(1) || IsPointChar(c.Peek(1)))) s->group = *c.p++;
  if (IsPointChar(c.Peek())) {
    s->point = *c.p++;
    if (!ReadNumber(&c, &s->decimals)) s->decimals = 0;
    if (s->decimals > 255) return false;
    if (s->decimals == 0) {  // no decimals: the indicator is a grouping character instead
      s->zero_point = s->point;
      s->point = 0;
    }
  }
  if (s->sign == '(') {
    if (c.Peek() != ')') return false;
    ++c.p;
  } else if (!s->sign && c.Peek() == '-') {
    s->sign = 't';
    ++c.p;
  }
  if (!s->currency) {
    if (ReadCurrency(&c, &s->currency, &s->currency_length, &bad)) s->currency_leading = false;
    if (bad) return false;
  }
  return c.AtEnd();
}

bool CompileNumeric(Cursor c, bool blank_zero, CompiledPicture* out) {
  NumericParts s;
  if (!ParseNumeric(c, &s)) return false;
  int sign_width = s.sign ? 1 : 0;
  int paren = s.sign == '(' ? 1 : 0;
  if (s.width < sign_width + s.currency_length + paren + (s.decimals + 1)) return false;

  // Lay the items out in a scratch row from both ends, then copy them in order.
  char ch[kPictureMaxWidth];
  std::uint8_t code[kPictureMaxWidth];
  int left = 0, right = s.width;
  if (s.currency && s.currency_leading)
    for (int i = 0; i < s.currency_length; ++i) ch[left] = s.currency[i], code[left++] = kItemCurrency;
  if (s.currency && !s.currency_leading) {
    right -= s.currency_length;
    for (int i = 0; i < s.currency_length; ++i) ch[right + i] = s.currency[i], code[right + i] = kItemCurrency;
  }
  if (s.sign == '-' || s.sign == '(') ch[left] = s.sign, code[left++] = kItemSign;
  if (s.sign == 't' || s.sign == '(') {
    --right;
    ch[right] = s.sign == '(' ? ')' : '-';
    code[right] = kItemSign;
  }
  bool implied = s.point == 'v' || s.point == 'V';
  for (int i = 0; i < s.decimals; ++i) ch[--right] = '0', code[right] = kItemDigit;
  if (s.point && !implied) ch[--right] = ShownAs(s.point), code[right] = kItemPoint;
  // The units digit; with an implied point it is the item the point follows.
  if (right > left) {
    --right;
    ch[right] = '0';
    code[right] = implied ? kItemImpliedPoint : kItemDigit;
  }
  // Grouping: the character given in the picture; else, unless filled, the indicator that 0
  // decimals turned into grouping, or "," ("." after a comma point). A fill character leaves
  // every default out, the turned indicator included.
  char group = 0;
  if (s.group) group = ShownAs(s.group);
  else if (!s.fill) group = s.zero_point ? ShownAs(s.zero_point) : s.point == '`' ? '.' : ',';
  char digit_char = s.fill == '0' ? '0' : s.fill == '*' ? '*' : ' ';
  int digit_code = (s.fill == '0' || s.fill == '*') ? kItemDigit : kItemDigitBlank;
  int run = 1;  // the units digit is the first of its group
  for (int pos = right - 1; pos >= left; --pos) {
    if (group && run == 3 && pos != left) {
      ch[pos] = group, code[pos] = kItemGroup;
      run = 0;
    } else {
      ch[pos] = digit_char, code[pos] = static_cast<std::uint8_t>(digit_code);
      ++run;
    }
  }
  ItemWriter w{out};
  for (int i = 0; i < s.width; ++i) w.Add(ch[i], code[i]);
  SetPictureHeader(out, kPicNumeric, kClassDecimal, blank_zero, s.width);
  return true;
}

bool CompileScientific(Cursor c, bool blank_zero, CompiledPicture* out) {
  int width = 0;
  if (!ReadNumber(&c, &width) || width < 7 || width > kPictureMaxWidth) return false;
  char group_given = 0, point = '.';
  int n = 1;
  if ((c.Peek() == '.' || c.Peek() == '`' || c.Peek() == '_') && (c.Peek(1) == '.' || c.Peek(1) == '`'))
    group_given = *c.p++;
  if (c.Peek() == '.' || c.Peek() == '`') {
    point = *c.p++;
    if (!ReadNumber(&c, &n)) n = 1;
  }
  if (!c.AtEnd() || n > 255) return false;
  int groups = n >= 4 ? (n - 1) / 3 : 0;
  if (width < n + groups + 7) return false;
  char group = group_given ? ShownAs(group_given) : (point == '`' ? '.' : ',');
  ItemWriter w{out};
  w.Add('-', kItemSign);
  for (int k = n; k >= 1; --k) {  // k: digits still to come, this one included
    w.Add(k == 1 ? '0' : ' ', k == 1 ? kItemDigit : kItemDigitBlank);
    if (k > 1 && (k - 1) % 3 == 0 && groups) w.Add(group, kItemGroup);
  }
  w.Add(ShownAs(point), kItemPoint);
  while (w.count < width - 5) w.Add('0', kItemDigit);
  w.Add('E', kItemLiteral);
  w.Add('+', kItemExponentSign);
  for (int i = 0; i < 3; ++i) w.Add('0', kItemDigit);
  SetPictureHeader(out, kPicScientific, kClassRealE, blank_zero, width);
  return true;
}

// @P...P and @K...K: the text between the two kind letters.
bool CompilePattern(char letter, Cursor c, bool key_in, bool blank_zero, CompiledPicture* out) {
  if (c.end - c.p < 2 || c.end[-1] != letter) return false;
  --c.end;
  ItemWriter w{out};
  for (; !c.AtEnd(); ++c.p) {
    char x = *c.p;
    if (x == '#') w.Add('0', kItemDigit);
    else if (x == '<') w.Add(' ', kItemDigitBlank);
    else if (!key_in) w.Add(x, kItemLiteral);
    else if (x == '@') w.Add(x, kItemKeyAt);
    else if (x == '^') w.Add(x, kItemKeyCaret);
    else if (x == '_') w.Add(x, kItemKeyUnderscore);
    else if (x == '?') w.Add(x, kItemKeyQuestion);
    else if (x == '|') w.Add(x, kItemKeyBar);
    else if (x == '\\' && c.Has(1)) w.Add(*++c.p, kItemLiteral);
    else w.Add(x, kItemLiteral);
  }
  if (w.count == 0 || w.full) return false;
  if (key_in) SetPictureHeader(out, kPicKeyIn, kClassString, blank_zero, w.count);
  else SetPictureHeader(out, kPicPattern, kClassDecimal, blank_zero, w.count);
  return true;
}

bool CompileBody(const char* text, std::uint32_t length, CompiledPicture* out) {
  if (length < 1 || length > static_cast<std::uint32_t>(kPictureTextMax)) return false;
  Cursor c{text, text + length};
  if (*c.p == '@') ++c.p;
  if (c.AtEnd()) return false;
  bool blank_zero = false;
  if (c.end[-1] == 'b' || c.end[-1] == 'B') {
    --c.end;
    blank_zero = true;
    if (c.end - c.p < 2) return false;
  }
  char letter = *c.p++;
  switch (letter) {
    case 'S': case 's': return CompileString(c, blank_zero, out);
    case 'N': case 'n': return CompileNumeric(c, blank_zero, out);
    case 'E': case 'e': return CompileScientific(c, blank_zero, out);
    case 'P': case 'p': return CompilePattern(letter, c, false, blank_zero, out);
    case 'K': case 'k': return CompilePattern(letter, c, true, blank_zero, out);
    case 'D': case 'd':
      return CompileDateTimePicture(c.p, static_cast<int>(c.end - c.p), false, blank_zero, out);
    case 'T': case 't':
      return CompileDateTimePicture(c.p, static_cast<int>(c.end - c.p), true, blank_zero, out);
    default: return false;
  }
}

}  // namespace

bool CompilePicture(const char* text, std::uint32_t length, CompiledPicture* out) {
  std::memset(out, 0, sizeof *out);
  if (!text) {
    SetPictureHeader(out, kPicString, kClassString, false, kPictureMaxWidth);
    return true;
  }
  if (!CompileBody(text, length, out)) {
    std::memset(out, 0, sizeof *out);
    return false;
  }
  out->text = text;
  return true;
}

bool CompilePicture(const char* text, CompiledPicture* out) {
  return CompilePicture(text, text ? static_cast<std::uint32_t>(std::strlen(text)) : 0u, out);
}

}  // namespace vel
