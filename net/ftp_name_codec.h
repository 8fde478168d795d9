// Names between the server's bytes and the ANSI code page the caller works in. Portable (the
// code page is an interface; net/ftp_codepage.h gives the platform's), so the fuzzers and the
// sanitizer build check the rules below natively.
//
// A server name is a byte string. Its display name is what the library hands out in
// WIN32_FIND_DATAA.cFileName; every path the caller passes back is made of display names and
// turned into server bytes by ServerPath. The rules:
//
//  - The bytes are read as UTF-8, one unit at a time: a well-formed UTF-8 sequence (shortest
//    form, no surrogate, at most U+10FFFF) is a character; any other byte is a raw byte. Servers
//    that never announce UTF-8 are read the same way: names that are valid UTF-8 are shown as
//    text, other bytes are kept as raw bytes.
//  - A character is written in the code page when the code page holds it exactly both ways (no
//    best-fit mapping, no default character) and it is not one of the characters below.
//  - Everything else is written as an escape, ASCII only:
//      "{U+0141}" "{U+0410,0411}" "{U+1F600}"  characters: 4 hex digits below U+10000, else 5-6
//                                              without leading zero; upper case; "," between
//                                              the characters of one run
//      "{%E9}" "{%C5%81}"                      raw bytes (always 80..FF), one "%HH" each
//    Characters escaped although the code page has them, so that every display name is a usable
//    Windows file name of the current folder and survives the caller's clipping of trailing
//    blanks:
//      < > : " | ? *                           reserved in Windows file names
//      "\" and TAB                             a path separator there, and no file name character
//                                              ("x\y.txt" shows as "x{U+005C}y.txt")
//      trailing "." and " " (the whole run)    Windows drops them from file names, and blank-
//                                              padded fields lose trailing blanks ("  " shows as
//                                              "{U+0020,0020}"); leading blanks stay plain
//      the first letter of CON PRN AUX NUL COM0-9 LPT0-9, and of COM and LPT followed by a
//      superscript 1, 2 or 3 (with or without an extension: all reserved by Windows)
//      a "{" that would otherwise read as an escape
//  - Adjacent escaped units of one kind share one escape.
//
// So: display names are injective (DecodeEscapes(DisplayName(b)) == b for every accepted b),
// two different server names never show as one, and a name that needs no escape shows exactly as
// the server's text. ServerPath accepts any text of the code page: text outside escapes becomes
// UTF-8, escapes become their characters or bytes. What an escape can yield: a character escape
// any character from U+0020 up and TAB (U+0009, the one control character a listed name may
// hold), never "/" or another control character; a byte escape only bytes 80..FF. So no path
// level, CR, LF or NUL can be smuggled in through an escape, while "{U+005C}" and "{U+0009}"
// give the server back its "\" and TAB. Text that only looks like an escape ("{U+41}",
// "{u+0041}", "{%41}", "{U+000A}") is plain text.
//
// A name whose display form would not fit in cFileName (kMaxDisplayName bytes) is refused: the
// caller never sees a cut name.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace vel::net {

class AnsiCodePage {
 public:
  virtual ~AnsiCodePage() = default;
  // The code page's bytes for one Unicode scalar value when the conversion is exact both ways;
  // false otherwise. Values below 0x80 are always their ASCII byte.
  virtual bool Encode(char32_t c, std::string* out) const = 0;
  // The scalar values of a text in the code page; false when it holds an invalid sequence.
  virtual bool Decode(std::string_view text, std::u32string* out) const = 0;
};

constexpr size_t kMaxDisplayName = 259;

// The display name of one server name (no "/"); "" when the name cannot be shown exactly
// (control characters other than TAB, "/", longer than kMaxDisplayName once escaped).
std::string DisplayName(std::string_view server, const AnsiCodePage& cp);
// The server's bytes for a display path (names joined by "/"). False when the text is not valid
// in the code page or the result would hold NUL, CR or LF.
bool ServerPath(std::string_view display, const AnsiCodePage& cp, std::string* server);

// Code pages that need no platform: UTF-8 itself, and ISO 8859-1 (every byte is the character
// of the same number). The tests use them; the platform's ANSI code page is in ftp_codepage.h.
class Utf8CodePage : public AnsiCodePage {
 public:
  bool Encode(char32_t c, std::string* out) const override;
  bool Decode(std::string_view text, std::u32string* out) const override;
};
class Latin1CodePage : public AnsiCodePage {
 public:
  bool Encode(char32_t c, std::string* out) const override;
  bool Decode(std::string_view text, std::u32string* out) const override;
};

// UTF-8 helpers shared with the platform's code page.
void AppendUtf8(char32_t c, std::string* out);
// Length of the well-formed UTF-8 sequence at s[i] and its value; 0 when the byte there starts
// none.
size_t Utf8Sequence(std::string_view s, size_t i, char32_t* c);

}  // namespace vel::net
