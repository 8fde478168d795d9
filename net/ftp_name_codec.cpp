// Display names: the escape grammar and its two directions (see the header for the rules).
//
// DisplayName works on units (a character or a raw byte), marks the ones to escape, renders runs
// into a list of code points with a "literal brace" flag, escapes the literal braces the reader
// would take for an escape, and finally writes the code points in the code page. ServerPath reads
// the text back into code points and turns escapes into characters or bytes.
#include "net/ftp_name_codec.h"

#include <vector>

namespace vel::net {

namespace {

constexpr char32_t kNoChar = 0xFFFFFFFF;

struct Unit {
  char32_t c = kNoChar;  // a character, or kNoChar for a raw byte
  unsigned char byte = 0;
  bool escape = false;
};

bool IsHexUpper(char32_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
int HexValue(char32_t c) { return c <= '9' ? static_cast<int>(c - '0') : static_cast<int>(c - 'A' + 10); }
const char kHex[] = "0123456789ABCDEF";

bool IsScalar(char32_t c) { return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF); }
// Characters an escape may stand for: never "/" and no control character but TAB (the one a
// listed name may hold), so no escape can end a command or add a path level.
bool EscapableChar(char32_t c) { return IsScalar(c) && (c >= 0x20 || c == '\t') && c != 0x7F && c != '/'; }

// Shown escaped wherever they stand: "\\" separates paths on the caller's side (a name holding
// it would be a path into another folder there), and a TAB is no character of a file name.
bool AlwaysEscaped(char32_t c) { return c == '\\' || c == '\t'; }

bool ReservedInWindowsNames(char32_t c) {
  switch (c) {
    case '<': case '>': case ':': case '"': case '|': case '?': case '*': return true;
    default: return false;
  }
}

// CON, PRN, AUX, NUL, COM0-9, LPT0-9 and COM/LPT with a superscript 1-3 as the part before the
// first dot, blanks after it ignored (Windows opens the device for "nul.txt" and "CON .log", and
// reserves all of these names).
bool IsDeviceBase(std::u32string_view name) {
  size_t end = name.find(U'.');
  if (end == std::u32string_view::npos) end = name.size();
  while (end > 0 && name[end - 1] == ' ') --end;
  if (end != 3 && end != 4) return false;
  char32_t last = name[end - 1];
  bool superscript = end == 4 && (last == 0xB9 || last == 0xB2 || last == 0xB3);
  char base[4];
  for (size_t i = 0; i < end - (superscript ? 1 : 0); ++i) {
    char32_t c = name[i];
    if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
    if (c > 0x7F) return false;
    base[i] = static_cast<char>(c);
  }
  std::string_view b(base, end == 4 ? 3 : end);
  if (end == 3) return b == "CON" || b == "PRN" || b == "AUX" || b == "NUL";
  return (b == "COM" || b == "LPT") && (superscript || (base[3] >= '0' && base[3] <= '9'));
}

bool IsDeviceName(const std::vector<Unit>& u) {
  std::u32string head;
  for (size_t i = 0; i < u.size() && i < 16; ++i) head.push_back(u[i].c == kNoChar ? 0xFFFD : u[i].c);
  return IsDeviceBase(head);
}

// Reads an escape at t[pos] ("{" ...). On success *end is just past its "}", and the escape
// stands for code points (*chars) or raw bytes (*bytes).
bool ParseEscape(const std::u32string& t, size_t pos, size_t* end, std::u32string* chars, std::string* bytes) {
  chars->clear();
  bytes->clear();
  size_t i = pos + 1;
  if (i + 1 < t.size() && t[i] == 'U' && t[i + 1] == '+') {
    i += 2;
    for (;;) {
      size_t digits = 0;
      char32_t v = 0;
      while (i < t.size() && IsHexUpper(t[i]) && digits < 7) {
        v = v * 16 + static_cast<char32_t>(HexValue(t[i]));
        ++i;
        ++digits;
      }
      // Canonical: exactly 4 digits below U+10000, no leading zero above.
      if (digits < 4 || digits > 6 || (digits == 4 && v > 0xFFFF) || (digits > 4 && v < 0x10000) ||
          !EscapableChar(v))
        return false;
      chars->push_back(v);
      if (i >= t.size()) return false;
      if (t[i] == '}') break;
      if (t[i] != ',') return false;
      ++i;
    }
  } else {
    do {
      if (i + 2 >= t.size() || t[i] != '%' || !IsHexUpper(t[i + 1]) || !IsHexUpper(t[i + 2])) return false;
      int v = HexValue(t[i + 1]) * 16 + HexValue(t[i + 2]);
      if (v < 0x80) return false;
      bytes->push_back(static_cast<char>(v));
      i += 3;
    } while (i < t.size() && t[i] != '}');
    if (i >= t.size()) return false;
  }
  *end = i + 1;
  return true;
}

void AppendHex(unsigned v, int digits, std::u32string* out) {
  for (int d = digits - 1; d >= 0; --d) out->push_back(static_cast<char32_t>(kHex[(v >> (4 * d)) & 15]));
}

void AppendAscii(std::string_view s, std::u32string* out) {
  for (char ch : s) out->push_back(static_cast<char32_t>(ch));
}

// Renders the units: plain characters as themselves, escaped runs as escapes. literal[i] tells
// which output positions are a plain "{".
void Render(const std::vector<Unit>& units, std::u32string* out, std::vector<bool>* literal) {
  for (size_t i = 0; i < units.size();) {
    const Unit& u = units[i];
    if (!u.escape) {
      literal->resize(out->size(), false);
      if (u.c == '{') literal->push_back(true);
      out->push_back(u.c);
      ++i;
      continue;
    }
    bool raw = u.c == kNoChar;
    AppendAscii(raw ? "{" : "{U+", out);
    size_t j = i;
    for (; j < units.size() && units[j].escape && (units[j].c == kNoChar) == raw; ++j) {
      if (raw) {
        out->push_back('%');
        AppendHex(units[j].byte, 2, out);
      } else {
        if (j > i) out->push_back(',');
        char32_t c = units[j].c;
        AppendHex(c, c < 0x10000 ? 4 : (c < 0x100000 ? 5 : 6), out);
      }
    }
    out->push_back('}');
    i = j;
  }
  literal->resize(out->size(), false);
}

// The common case: printable ASCII that needs no escape is its own display name.
bool PlainAscii(std::string_view s) {
  if (s.empty() || s.back() == '.' || s.back() == ' ') return false;
  for (unsigned char c : s)
    if (c < 0x20 || c > 0x7E || c == '{' || c == '/' || AlwaysEscaped(c) || ReservedInWindowsNames(c)) return false;
  char32_t head[16];
  size_t n = s.size() < 16 ? s.size() : 16;
  for (size_t i = 0; i < n; ++i) head[i] = static_cast<unsigned char>(s[i]);
  return !IsDeviceBase(std::u32string_view(head, n));
}

}  // namespace

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

size_t Utf8Sequence(std::string_view s, size_t i, char32_t* c) {
  auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char lead = b(i);
  if (lead < 0x80) {
    *c = lead;
    return 1;
  }
  size_t n;
  char32_t v, min;
  if (lead >= 0xC2 && lead <= 0xDF) n = 2, v = lead & 0x1F, min = 0x80;
  else if (lead >= 0xE0 && lead <= 0xEF) n = 3, v = lead & 0x0F, min = 0x800;
  else if (lead >= 0xF0 && lead <= 0xF4) n = 4, v = lead & 0x07, min = 0x10000;
  else return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    v = (v << 6) | (b(i + k) & 0x3F);
  }
  if (v < min || !IsScalar(v)) return 0;
  *c = v;
  return n;
}

std::string DisplayName(std::string_view server, const AnsiCodePage& cp) {
  if (PlainAscii(server)) return server.size() <= kMaxDisplayName ? std::string(server) : std::string();
  if (server.empty()) return {};
  std::vector<Unit> units;
  units.reserve(server.size());
  for (size_t i = 0; i < server.size();) {
    Unit u;
    size_t n = Utf8Sequence(server, i, &u.c);
    if (n == 0) {
      u.c = kNoChar;
      u.byte = static_cast<unsigned char>(server[i]);
      u.escape = true;
      n = 1;
    } else if ((u.c < 0x20 && u.c != '\t') || u.c == 0x7F || u.c == '/') {
      return {};  // never a usable name (the listing parsers drop these already)
    }
    units.push_back(u);
    i += n;
  }
  std::string scratch;
  for (Unit& u : units)
    if (u.c != kNoChar &&
        (ReservedInWindowsNames(u.c) || AlwaysEscaped(u.c) || (u.c >= 0x80 && !cp.Encode(u.c, &scratch))))
      u.escape = true;
  for (size_t k = units.size(); k > 0 && (units[k - 1].c == '.' || units[k - 1].c == ' '); --k)
    units[k - 1].escape = true;
  if (IsDeviceName(units)) units[0].escape = true;

  std::u32string text;
  std::vector<bool> literal;
  Render(units, &text, &literal);
  // A plain "{" that reads as an escape becomes one itself. Escapes start with "{", which no
  // escape body contains, so one replacement never changes how another brace reads.
  std::u32string chars;
  std::string bytes;
  for (size_t i = text.size(); i > 0; --i) {
    size_t at = i - 1, end;
    if (!literal[at] || !ParseEscape(text, at, &end, &chars, &bytes)) continue;
    text.replace(at, 1, U"{U+007B}");
  }
  std::string out;
  for (char32_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (!cp.Encode(c, &out)) {
      return {};  // cannot happen: only characters the code page holds are left plain
    }
    if (out.size() > kMaxDisplayName) return {};
  }
  return out;
}

bool ServerPath(std::string_view display, const AnsiCodePage& cp, std::string* server) {
  server->clear();
  bool plain = true;
  for (unsigned char c : display)
    if (c < 0x20 || c > 0x7E || c == '{') plain = false;
  if (plain) {
    server->assign(display);
    return true;
  }
  std::u32string text;
  if (!cp.Decode(display, &text)) return false;
  std::u32string chars;
  std::string bytes;
  for (size_t i = 0; i < text.size();) {
    size_t end;
    if (text[i] == '{' && ParseEscape(text, i, &end, &chars, &bytes)) {
      for (char32_t c : chars) AppendUtf8(c, server);
      server->append(bytes);
      i = end;
      continue;
    }
    char32_t c = text[i++];
    if (c == 0 || c == '\r' || c == '\n' || !IsScalar(c)) return false;
    AppendUtf8(c, server);
  }
  return true;
}

bool Utf8CodePage::Encode(char32_t c, std::string* out) const {
  if (!IsScalar(c)) return false;
  AppendUtf8(c, out);
  return true;
}

bool Utf8CodePage::Decode(std::string_view text, std::u32string* out) const {
  out->clear();
  for (size_t i = 0; i < text.size();) {
    char32_t c;
    size_t n = Utf8Sequence(text, i, &c);
    if (n == 0) return false;
    out->push_back(c);
    i += n;
  }
  return true;
}

bool Latin1CodePage::Encode(char32_t c, std::string* out) const {
  if (c > 0xFF) return false;
  out->push_back(static_cast<char>(c));
  return true;
}

bool Latin1CodePage::Decode(std::string_view text, std::u32string* out) const {
  out->clear();
  for (unsigned char c : text) out->push_back(c);
  return true;
}

}  // namespace vel::net
