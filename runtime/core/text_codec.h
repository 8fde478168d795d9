// Text between an ANSI code page and UTF-16, under one of two policies that every caller
// names:
//
//   kStrict  - every character must be one the code page holds, exactly both ways (to ANSI:
//              no best-fit look-alike, no default character, and the bytes read back as the
//              same character). A character that is not fails the whole conversion and its
//              position is reported. For text that names something: a file to open, a host
//              name to check a certificate against, a name that goes back to a server.
//   kBestFit - the platform's own conversion, as the window layer shows text: a character
//              the code page lacks becomes its best-fit look-alike or the default character,
//              bytes that are no character become U+FFFD. Never fails. For text to show.
//
// Windows build only (the platform's code-page tables); depends on nothing of the runtime,
// so the FTP library uses it too.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace vel::text {

static_assert(sizeof(wchar_t) == 2, "UTF-16 text");

enum class Policy { kStrict, kBestFit };

inline constexpr unsigned kAnsiCodePage = 0;  // CP_ACP: the process's ANSI code page

struct Conversion {
  bool ok;
  // When !ok: where the first character that could not be converted starts in the input
  // (bytes of ANSI input, UTF-16 code units of wide input).
  std::size_t bad_at;
};

// ANSI bytes -> UTF-16. Strict: fails on bytes that are no character of the code page (a
// lead byte without its trail, a byte the code page leaves undefined) and on a NUL byte
// inside the text. *out is empty after a failure.
Conversion ToWide(std::string_view ansi, std::wstring* out, Policy policy, unsigned code_page = kAnsiCodePage);

// UTF-16 -> ANSI bytes. Strict: fails on a character the code page does not hold exactly
// (and on a lone surrogate or a NUL inside the text). *out is empty after a failure.
Conversion ToAnsi(std::wstring_view wide, std::string* out, Policy policy, unsigned code_page = kAnsiCodePage);

// The best-fit forms, for text to show (they cannot fail).
std::wstring WideShown(std::string_view ansi, unsigned code_page = kAnsiCodePage);
std::string AnsiShown(std::wstring_view wide, unsigned code_page = kAnsiCodePage);

}  // namespace vel::text
