// The strict and best-fit conversions between ANSI code pages and UTF-16, under the Western,
// Cyrillic and Japanese code pages named outright, and under the process's own (the _ru_RU
// and _ja_JP runs set it through LANG).
#include <windows.h>

#include <cstdio>
#include <string>

#include "runtime/core/text_codec.h"
#include "support/check.h"

using vel::text::Conversion;
using vel::text::Policy;

namespace {

Conversion Wide(const std::string& s, std::wstring* out, Policy p, unsigned cp) { return vel::text::ToWide(s, out, p, cp); }
Conversion Ansi(const std::wstring& w, std::string* out, Policy p, unsigned cp) { return vel::text::ToAnsi(w, out, p, cp); }

// Strict both ways: the bytes stand for exactly this text.
void CheckExact(unsigned cp, const std::string& bytes, const std::wstring& text) {
  std::wstring w;
  std::string s;
  CHECK(Wide(bytes, &w, Policy::kStrict, cp).ok);
  CHECK(w == text);
  CHECK(Ansi(text, &s, Policy::kStrict, cp).ok);
  CHECK_EQ(s, bytes);
}

// Strict to ANSI refuses, reporting the first character the code page lacks; best fit
// converts all the same, and the characters around the gap come through.
void CheckLacks(unsigned cp, const std::wstring& text, std::size_t bad_at) {
  std::string s = "stale";
  Conversion c = Ansi(text, &s, Policy::kStrict, cp);
  CHECK(!c.ok);
  CHECK_EQ(c.bad_at, bad_at);
  CHECK(s.empty());
  CHECK(Ansi(text, &s, Policy::kBestFit, cp).ok);
  CHECK(!s.empty());
}

}  // namespace

TEST_CASE("text codec: Western code page 1252") {
  CheckExact(1252, "caf\xE9 \x80", L"caf\u00e9 \u20ac");  // 0x80 is the euro, not U+0080
  CheckLacks(1252, L"\u0141\u00f3d\u017a.txt", 0);         // "Łódź.txt": no Ł, no ź
  CheckLacks(1252, L"ab\u0416", 2);                        // Cyrillic
  CheckLacks(1252, L"a\U0001F600b", 1);                    // beyond the BMP: a pair, one character
  // Best fit shows the lacking letters as something, keeping those the page holds in place.
  std::string shown = vel::text::AnsiShown(L"\u0141\u00f3d\u017a", 1252);
  CHECK_EQ(shown.size(), 4u);
  CHECK_EQ(shown.substr(1, 2), std::string("\xF3" "d"));
  std::string s;
  CHECK(Ansi(L"\u0141", &s, Policy::kBestFit, 1252).ok);
  CHECK(s != "\xA3");  // never another real character's byte by accident of the table
}

TEST_CASE("text codec: Cyrillic code page 1251") {
  CheckExact(1251, "\xCF\xF0\xE8\xE2\xE5\xF2", L"\u041f\u0440\u0438\u0432\u0435\u0442");  // "Привет"
  CheckExact(1251, "\xB9", L"\u2116");                                                   // №
  CheckLacks(1251, L"ok\u00e9", 2);      // é is no letter of the Cyrillic page
  CheckLacks(1251, L"\u65e5", 0);
  // The same byte is another letter here than in 1252.
  std::wstring w;
  CHECK(Wide("\xE9", &w, Policy::kStrict, 1251).ok);
  CHECK(w == L"\u0439");
}

TEST_CASE("text codec: Japanese code page 932") {
  CheckExact(932, "\x93\xFA\x96\x7B", L"\u65e5\u672c");  // 日本
  CheckExact(932, "\x95\x5C", L"\u8868");                // 表: its trail byte is "\"
  CheckExact(932, "\xB1", L"\uff71");                    // a single-byte katakana
  CheckLacks(932, L"x\u00e9", 1);
  // A lead byte without its trail is no character: strict refuses and says where.
  std::wstring w = L"stale";
  Conversion c = Wide("ab\x81", &w, Policy::kStrict, 932);
  CHECK(!c.ok);
  CHECK_EQ(c.bad_at, 2u);
  CHECK(w.empty());
  c = Wide("\x93\xFA\x81", &w, Policy::kStrict, 932);
  CHECK(!c.ok);
  CHECK_EQ(c.bad_at, 2u);
  // Best fit reads it anyway (as the window layer shows such text).
  CHECK(Wide("ab\x81", &w, Policy::kBestFit, 932).ok);
  CHECK(w.size() >= 2 && w.substr(0, 2) == L"ab");
}

TEST_CASE("text codec: what strict never lets through") {
  std::wstring w;
  std::string s;
  // A NUL inside the text would cut it short where the platform reads it.
  Conversion c = Wide(std::string("host\0.evil", 10), &w, Policy::kStrict, 1252);
  CHECK(!c.ok);
  CHECK_EQ(c.bad_at, 4u);
  CHECK(!Ansi(std::wstring(L"a\0b", 3), &s, Policy::kStrict, 1252).ok);
  // A lone surrogate is no character in any code page, UTF-8 included.
  for (unsigned cp : {1252u, 932u, static_cast<unsigned>(CP_UTF8)}) {
    c = Ansi(std::wstring(L"ab") + wchar_t(0xD800), &s, Policy::kStrict, cp);
    CHECK(!c.ok);
    CHECK_EQ(c.bad_at, 2u);
  }
  // Empty text converts to empty text.
  CHECK(Wide("", &w, Policy::kStrict, 932).ok);
  CHECK(w.empty());
  CHECK(Ansi(L"", &s, Policy::kStrict, 932).ok);
  CHECK(s.empty());
}

TEST_CASE("text codec: the process's ANSI code page") {
  const UINT acp = GetACP();
  printf("  ANSI code page %u\n", acp);
  std::string bytes;
  std::wstring text;
  switch (acp) {
    case 1251: bytes = "\xE9", text = L"\u0439"; break;
    case 932: bytes = "\x82\xA0", text = L"\u3042"; break;
    default: bytes = "\xE9", text = L"\u00e9"; break;
  }
  CheckExact(vel::text::kAnsiCodePage, bytes, text);
  CHECK(vel::text::WideShown(bytes) == text);
  CHECK_EQ(vel::text::AnsiShown(text), bytes);
  // A character no ANSI code page of these holds.
  CheckLacks(vel::text::kAnsiCodePage, L"a\U0001F600", 1);
}
