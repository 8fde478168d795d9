// The list format language: one walker serves validation (no output) and parsing (output),
// so the two can never disagree about what is valid.
#include "runtime/controls/list_format.h"

#include <climits>
#include <cstdint>

namespace vel::listfmt {
namespace {

constexpr std::int64_t kNumberLimit = 0x0FFFFFFF;  // larger numbers saturate

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
int JustCode(char c) {
  switch (c) {
    case 'L': return 0;
    case 'R': return 1;
    case 'C': return 2;
    case 'D': return 3;
    default: return -1;
  }
}

int CountLines(const std::string& s) {
  int n = 1;
  for (char c : s) n += c == '\n';
  return n;
}

// Units of one column or group as written, before conversion.
struct RawColumn {
  std::int64_t width = 0, indent = 0, header_indent = 0, scroll = 100;
  bool has_header_indent = false;
};

class Walker {
 public:
  Walker(const char* text, std::size_t length, Format* out, const XScale* scale)
      : s_(text), n_(text ? length : 0), out_(out), scale_(scale) {}

  // 0 or the 1-based failure position.
  std::size_t Run() {
    while (i_ < n_) {
      if (s_[i_] == '[') {
        if (!GroupItem()) return i_ + 1;
      } else if (IsDigit(s_[i_])) {
        if (!ColumnItem(-1)) return i_ + 1;
      } else {
        return i_ + 1;
      }
    }
    if (out_) Layout();
    return 0;
  }

 private:
  bool AtEnd() const { return i_ >= n_; }
  char Peek() const { return i_ < n_ ? s_[i_] : '\0'; }

  bool Number(std::int64_t* v, bool allow_sign) {
    bool neg = false;
    if (allow_sign && (Peek() == '-' || Peek() == '+')) neg = s_[i_++] == '-';
    if (AtEnd() || !IsDigit(Peek())) return false;
    std::int64_t x = 0;
    while (!AtEnd() && IsDigit(Peek())) {
      x = x * 10 + (s_[i_++] - '0');
      if (x > kNumberLimit) x = kNumberLimit;
    }
    *v = neg ? -x : x;
    return true;
  }

  // "(" number ")"
  bool Parenthesised(std::int64_t* v) {
    if (Peek() != '(') return false;
    ++i_;
    if (!Number(v, true)) return false;
    if (Peek() != ')') return false;
    ++i_;
    return true;
  }

  // Text up to the terminator (not included); the terminator is consumed.
  bool Until(char end, std::string* text) {
    const std::size_t start = i_;
    while (!AtEnd() && s_[i_] != end) ++i_;
    if (AtEnd()) return false;
    if (text) text->assign(s_ + start, i_ - start);
    ++i_;
    return true;
  }

  // A quoted text: either quote character opens it, the same one ends it, doubled = literal.
  bool Quoted(std::string* text) {
    const char q = Peek();
    if (q != '\'' && q != '"') return false;
    ++i_;
    std::string t;
    for (;;) {
      if (AtEnd()) return false;
      const char c = s_[i_++];
      if (c == q) {
        if (Peek() == q) {
          t += q;
          ++i_;
          continue;
        }
        break;
      }
      t += c;
    }
    if (text) *text = t;
    return true;
  }

  // The modifiers shared by columns and groups. Returns 1 consumed, 0 not a modifier,
  // -1 malformed.
  struct Modifiers {
    std::uint32_t flags1 = 0, flags2 = 0;
    bool has_header = false, has_header_just = false;
    std::string header;
    int header_just = 0;
    std::int64_t h = 0;
  };
  int Modifier(Modifiers* m, RawColumn* raw) {
    const char c = Upper(Peek());
    switch (c) {
      case '|': ++i_; m->flags1 |= kRightBorder; return 1;
      case '_': ++i_; m->flags1 |= kUnderline; return 1;
      case 'F': ++i_; m->flags1 |= kFixed; return 1;
      case 'M': ++i_; m->flags1 |= kResizable; return 1;
      case 'S': {
        ++i_;
        m->flags1 |= kScroll;
        if (Peek() == '(') {
          std::int64_t v;
          if (!Parenthesised(&v)) return -1;
          raw->scroll = v;
        }
        return 1;
      }
      case 'H': {
        ++i_;
        std::int64_t v;
        if (!Parenthesised(&v)) return -1;
        m->flags2 |= kHItem;
        m->h = v;
        return 1;
      }
      case '~': {
        ++i_;
        std::string h;
        if (!Until('~', &h)) return -1;
        m->has_header = true;
        m->header = h;
        const int j = JustCode(Peek());
        if (j >= 0) {
          ++i_;
          m->has_header_just = true;
          m->header_just = j;
          if (Peek() == '(') {
            std::int64_t v;
            if (!Parenthesised(&v)) return -1;
            raw->header_indent = v;
            raw->has_header_indent = true;
          }
        }
        return 1;
      }
      default:
        return 0;
    }
  }

  bool ColumnItem(int group) {
    Column col;
    RawColumn raw;
    Modifiers m;
    if (!Number(&raw.width, false)) return false;
    const int just = JustCode(Peek());
    if (just < 0) return false;
    ++i_;
    if (Peek() == '(' && !Parenthesised(&raw.indent)) return false;
    bool seen_e = false, seen_z = false, seen_q = false, seen_pic = false;
    for (;;) {
      const int mod = Modifier(&m, &raw);
      if (mod < 0) return false;
      if (mod > 0) continue;
      const char c = Upper(Peek());
      if (c == 'E') {
        if (seen_e) return false;
        seen_e = true;
        ++i_;
        if (Peek() != '(') return false;
        ++i_;
        int k = 0;
        for (;;) {
          std::int64_t v;
          if (k == 4 || !Number(&v, true)) return false;
          col.colors[k++] = static_cast<std::int32_t>(v);
          if (Peek() == ',') {
            ++i_;
            continue;
          }
          if (Peek() != ')') return false;
          ++i_;
          break;
        }
        col.color_count = k;
      } else if (c == 'Z') {
        if (seen_z) return false;
        seen_z = true;
        ++i_;
        std::int64_t v;
        if (!Parenthesised(&v)) return false;
        col.has_z = true;
        col.z = static_cast<int>(v);
      } else if (c == 'Q') {
        if (seen_q) return false;
        seen_q = true;
        ++i_;
        if (!Quoted(&col.tip)) return false;
        col.has_tip = true;
        col.flags2 |= kDefaultTip;
      } else if (c == '/') {
        ++i_;
        col.flags1 |= kLineBreak;
      } else if (c == '?') {
        ++i_;
        col.flags1 |= kLocator;
      } else if (c == '@') {
        ++i_;
        std::string pic;
        if (!Until('@', &pic)) return false;
        if (!seen_pic) col.picture = "@" + pic;  // a further picture is skipped whole
        seen_pic = true;
      } else if (c == '#') {
        ++i_;
        std::int64_t v;
        if (!Number(&v, false) || Peek() != '#') return false;
        ++i_;
        col.field = static_cast<int>(v);
        col.explicit_field = true;
      } else if (c == '*') {
        ++i_;
        col.flags2 |= kQueueColors;
      } else if (c == 'I') {
        ++i_;
        col.flags1 |= kIcon;
      } else if (c == 'J') {
        ++i_;
        col.flags1 |= kIcon;
        col.flags2 |= kTransparentIcon;
      } else if (c == 'Y') {
        ++i_;
        col.flags2 |= kQueueStyle;
      } else if (c == 'P') {
        ++i_;
        col.flags2 |= kQueueTip;
      } else if (c == 'T') {
        ++i_;
        col.flags1 |= kTree;
        if (Peek() == '(') {
          ++i_;
          while (Peek() != ')') {
            switch (Peek()) {  // upper case only
              case 'L': col.flags2 |= kTreeL; break;
              case '1': col.flags2 |= kTree1; break;
              case 'R': col.flags2 |= kTreeR; break;
              case 'B': col.flags2 |= kTreeB; break;
              case 'I': col.flags2 |= kTreeI; break;
              default: return false;
            }
            ++i_;
          }
          ++i_;
        }
      } else {
        break;  // the column ends here
      }
    }
    // What follows must start a column, a group, close the open group, or be the end.
    if (!AtEnd() && !IsDigit(Peek()) && Peek() != '[' && !(Peek() == ']' && group >= 0)) return false;
    if (out_) Store(col, raw, m, just, group);
    return true;
  }

  bool GroupItem() {
    ++i_;  // "["
    Group g;
    const int index = out_ ? static_cast<int>(out_->groups.size()) : 0;
    if (out_) {
      g.first = static_cast<int>(out_->columns.size());
      out_->groups.push_back(g);
    }
    int count = 0;
    while (Peek() != ']') {
      if (AtEnd() || !IsDigit(Peek())) return false;  // also: a "[" inside a group
      if (!ColumnItem(index)) return false;
      ++count;
    }
    if (count == 0) return false;  // an empty group
    ++i_;
    RawColumn raw;
    Modifiers m;
    if (Peek() == '(' && !Parenthesised(&raw.indent)) return false;
    for (;;) {
      const int mod = Modifier(&m, &raw);
      if (mod < 0) return false;
      if (mod == 0) break;
    }
    if (!AtEnd() && !IsDigit(Peek()) && Peek() != '[') return false;
    if (out_) {
      Group& G = out_->groups[index];
      G.count = count;
      G.indent = scale_->ToPixels(static_cast<int>(raw.indent));
      G.flags1 = m.flags1;
      G.flags2 = m.flags2;
      G.has_header = m.has_header;
      G.header = m.header;
      G.header_lines = m.has_header ? CountLines(m.header) : 0;
      G.has_header_just = m.has_header_just;
      G.header_just = m.header_just;
      G.has_header_indent = raw.has_header_indent;
      G.header_indent = scale_->ToPixels(static_cast<int>(raw.header_indent));
      G.scroll_width = scale_->ToPixels(static_cast<int>(raw.scroll));
      G.h_value = static_cast<int>(m.h);
      G.unit_indent = static_cast<int>(raw.indent);
      G.unit_header_indent = static_cast<int>(raw.header_indent);
      G.unit_scroll = static_cast<int>(raw.scroll);
    }
    return true;
  }

  void Store(Column col, const RawColumn& raw, const Modifiers& m, int just, int group) {
    col.flags1 |= m.flags1 | static_cast<std::uint32_t>(just);
    col.flags2 |= m.flags2;
    col.flags1 |= static_cast<std::uint32_t>(m.has_header_just ? m.header_just : just) << 2;
    col.has_header = m.has_header;
    col.header = m.header;
    col.header_lines = m.has_header ? CountLines(m.header) : 0;
    col.h_value = static_cast<int>(m.h);
    col.width = scale_->ToPixels(static_cast<int>(raw.width));
    col.data_indent = scale_->ToPixels(static_cast<int>(raw.indent));
    col.header_indent = raw.has_header_indent ? scale_->ToPixels(static_cast<int>(raw.header_indent)) : col.data_indent;
    col.scroll_width = scale_->ToPixels(static_cast<int>(raw.scroll));
    col.unit_width = static_cast<int>(raw.width);
    col.unit_data_indent = static_cast<int>(raw.indent);
    col.unit_header_indent = static_cast<int>(raw.has_header_indent ? raw.header_indent : raw.indent);
    col.unit_scroll = static_cast<int>(raw.scroll);
    col.group = group;
    out_->columns.push_back(col);
  }

  // Pixel extents and queue fields, in format order.
  void Layout() {
    int x = 0, next_field = 1;
    for (Column& c : out_->columns) {
      c.left = x;
      // Widths come from outside text: the sum is kept below INT_MAX instead of overflowing.
      const long long right = c.width > 0 ? static_cast<long long>(x) + c.width - 1 : x - 1LL;
      c.right = static_cast<int>(right < INT_MAX - 1 ? right : INT_MAX - 1);
      x = c.right + 1;
      if (!c.explicit_field) c.field = next_field;
      next_field = c.field + c.FieldsUsed();
    }
  }

  const char* s_;
  std::size_t n_;
  std::size_t i_ = 0;
  Format* out_;
  const XScale* scale_;
};

void AppendNumber(std::string* s, long long v) { *s += std::to_string(v); }

// A pixel value back in the window's unit: the written value while the pixels still match it.
int Units(int px, int written, const XScale& x) { return x.ToPixels(written) == px ? written : x.FromPixels(px); }

void AppendParen(std::string* s, long long v) {
  *s += '(';
  AppendNumber(s, v);
  *s += ')';
}

void AppendQuoted(std::string* s, const std::string& text) {
  *s += '\'';
  for (char c : text) {
    if (c == '\'') *s += '\'';
    *s += c;
  }
  *s += '\'';
}

void AppendModifierFlags(std::string* s, std::uint32_t flags1) {
  if (flags1 & kRightBorder) *s += '|';
  if (flags1 & kUnderline) *s += '_';
  if (flags1 & kFixed) *s += 'F';
  if (flags1 & kResizable) *s += 'M';
}

void WriteColumn(std::string* s, const Column& c, const XScale& x) {
  static const char kJust[] = "LRCD";
  AppendNumber(s, Units(c.width, c.unit_width, x));
  *s += kJust[c.Justification()];
  if (const int indent = Units(c.data_indent, c.unit_data_indent, x)) AppendParen(s, indent);
  AppendModifierFlags(s, c.flags1);
  if (c.flags2 & kQueueColors) *s += '*';
  if (c.flags2 & kTransparentIcon) *s += 'J';
  else if (c.flags1 & kIcon) *s += 'I';
  if (c.flags2 & kQueueStyle) *s += 'Y';
  if (c.flags2 & kQueueTip) *s += 'P';
  if (c.flags1 & kTree) {
    *s += 'T';
    const std::uint32_t opts = c.flags2 & (kTreeL | kTree1 | kTreeR | kTreeB | kTreeI);
    if (opts) {
      *s += '(';
      if (opts & kTreeL) *s += 'L';
      if (opts & kTree1) *s += '1';
      if (opts & kTreeR) *s += 'R';
      if (opts & kTreeB) *s += 'B';
      if (opts & kTreeI) *s += 'I';
      *s += ')';
    }
  }
  if (c.has_header) {
    *s += '~';
    *s += c.header;
    *s += '~';
    const bool other_indent = c.header_indent != c.data_indent;
    if (c.HeaderJustification() != c.Justification() || other_indent) {
      *s += kJust[c.HeaderJustification()];
      if (other_indent) AppendParen(s, Units(c.header_indent, c.unit_header_indent, x));
    }
  }
  if (c.flags1 & kScroll) {
    *s += 'S';
    AppendParen(s, Units(c.scroll_width, c.unit_scroll, x));
  }
  if (c.flags2 & kHItem) {
    *s += 'H';
    AppendParen(s, c.h_value);
  }
  if (!c.picture.empty()) {
    *s += c.picture;
    *s += '@';
  }
  if (c.has_z) {
    *s += 'Z';
    AppendParen(s, c.z);
  }
  if (c.has_tip) {
    *s += 'Q';
    AppendQuoted(s, c.tip);
  }
  if (c.color_count) {
    *s += "E(";
    for (int k = 0; k < c.color_count && k < 4; ++k) {
      if (k) *s += ',';
      AppendNumber(s, c.colors[k]);
    }
    *s += ')';
  }
  if (c.flags1 & kLineBreak) *s += '/';
  if (c.flags1 & kLocator) *s += '?';
  // Not in the classic writer, which loses it: without it a re-read format would feed the
  // column from the wrong queue field.
  if (c.explicit_field) {
    *s += '#';
    AppendNumber(s, c.field);
    *s += '#';
  }
}

void WriteGroupTail(std::string* s, const Group& g, const XScale& x) {
  static const char kJust[] = "LRCD";
  *s += ']';
  if (const int indent = Units(g.indent, g.unit_indent, x)) AppendParen(s, indent);
  AppendModifierFlags(s, g.flags1);
  if (g.has_header) {
    *s += '~';
    *s += g.header;
    *s += '~';
    if (g.has_header_just) {
      *s += kJust[g.header_just & 3];
      if (g.has_header_indent) AppendParen(s, Units(g.header_indent, g.unit_header_indent, x));
    }
  }
  if (g.flags1 & kScroll) {
    *s += 'S';
    AppendParen(s, Units(g.scroll_width, g.unit_scroll, x));
  }
  if (g.flags2 & kHItem) {
    *s += 'H';
    AppendParen(s, g.h_value);
  }
}

}  // namespace

int XScale::ToPixels(int v) const {
  if (!div) return 0;
  const std::int64_t r = static_cast<std::int64_t>(v) * sx / div;
  return static_cast<int>(static_cast<std::int32_t>(r));
}

int XScale::FromPixels(int px) const {
  if (!sx) return 0;
  const std::int64_t r = static_cast<std::int64_t>(px) * div / sx;
  return static_cast<int>(static_cast<std::int32_t>(r));
}

int Column::IconField() const { return HasIcon() ? field + 1 + (flags2 & kQueueColors ? 4 : 0) : 0; }

int Column::TreeField() const {
  return HasTree() ? field + 1 + (flags2 & kQueueColors ? 4 : 0) + (HasIcon() ? 1 : 0) : 0;
}

int Column::StyleField() const {
  return flags2 & kQueueStyle ? field + 1 + (flags2 & kQueueColors ? 4 : 0) + HasIcon() + HasTree() : 0;
}

int Column::TipField() const {
  return flags2 & kQueueTip
             ? field + 1 + (flags2 & kQueueColors ? 4 : 0) + HasIcon() + HasTree() + ((flags2 & kQueueStyle) != 0)
             : 0;
}

int Column::FieldsUsed() const {
  return 1 + (flags2 & kQueueColors ? 4 : 0) + HasIcon() + HasTree() + ((flags2 & kQueueStyle) != 0) +
         ((flags2 & kQueueTip) != 0);
}

std::size_t Validate(const char* text, std::size_t length) { return Walker(text, length, nullptr, nullptr).Run(); }

std::size_t Validate(const std::string& text) { return Validate(text.data(), text.size()); }

bool Parse(const char* text, std::size_t length, const XScale& scale, Format* out) {
  if (Validate(text, length) != 0) return false;
  Format f;
  Walker(text, length, &f, &scale).Run();
  *out = std::move(f);
  return true;
}

bool Parse(const std::string& text, const XScale& scale, Format* out) {
  return Parse(text.data(), text.size(), scale, out);
}

std::string Write(const Format& format, const XScale& scale) {
  std::string s;
  const int n = static_cast<int>(format.columns.size());
  for (int i = 0; i < n; ++i) {
    const Column& c = format.columns[i];
    const bool opens = c.group >= 0 && c.group < static_cast<int>(format.groups.size()) &&
                       format.groups[c.group].first == i;
    if (opens) s += '[';
    WriteColumn(&s, c, scale);
    if (c.group >= 0 && c.group < static_cast<int>(format.groups.size())) {
      const Group& g = format.groups[c.group];
      if (i == g.first + g.count - 1) WriteGroupTail(&s, g, scale);
    }
  }
  return s;
}

}  // namespace vel::listfmt
