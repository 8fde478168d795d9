// The text conversions on the platform's MultiByteToWideChar / WideCharToMultiByte.
#include "runtime/core/text_codec.h"

#include <windows.h>

#include <climits>

namespace vel::text {

namespace {

bool IsUtf8(UINT cp) { return cp == CP_UTF8 || (cp == CP_ACP && GetACP() == CP_UTF8); }

// Bytes of the character that starts at `at`: a UTF-8 sequence by its lead byte, a lead byte
// of a double-byte code page with its trail, else one byte.
std::size_t CharBytes(std::string_view s, std::size_t at, UINT cp) {
  const auto b = static_cast<unsigned char>(s[at]);
  std::size_t n = 1;
  if (IsUtf8(cp))
    n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  else if (IsDBCSLeadByteEx(cp, b))
    n = 2;
  return at + n <= s.size() ? n : s.size() - at;
}

// Code units of the character that starts at `at` (a surrogate pair is one character).
std::size_t CharUnits(std::wstring_view w, std::size_t at) {
  const wchar_t c = w[at];
  return c >= 0xD800 && c <= 0xDBFF && at + 1 < w.size() && w[at + 1] >= 0xDC00 && w[at + 1] <= 0xDFFF ? 2 : 1;
}

bool LoneSurrogate(std::wstring_view w, std::size_t at) {
  return w[at] >= 0xD800 && w[at] <= 0xDFFF && CharUnits(w, at) == 1;
}

// The platform's conversion of the whole text; false when it refuses (strict, or too long).
bool PlatformWide(std::string_view s, DWORD flags, UINT cp, std::wstring* out) {
  out->clear();
  if (s.empty()) return true;
  if (s.size() > INT_MAX / 2) return false;
  const int n = MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), out->data(), n) == n;
}

bool PlatformAnsi(std::wstring_view w, DWORD flags, BOOL* used_default, UINT cp, std::string* out) {
  out->clear();
  if (w.empty()) return true;
  if (w.size() > INT_MAX / 4) return false;
  const int len = static_cast<int>(w.size());
  const int n = WideCharToMultiByte(cp, flags, w.data(), len, nullptr, 0, nullptr, used_default);
  if (n <= 0) return false;
  out->resize(static_cast<std::size_t>(n));
  return WideCharToMultiByte(cp, flags, w.data(), len, out->data(), n, nullptr, used_default) == n;
}

bool StrictWide(std::string_view s, UINT cp, std::wstring* out) {
  return s.find('\0') == std::string_view::npos && PlatformWide(s, MB_ERR_INVALID_CHARS, cp, out);
}

// No best fit, no default character, and the bytes read back as the same text. (UTF-8 takes
// neither flag nor the default-character question: it holds every character but a lone
// surrogate, which WC_ERR_INVALID_CHARS refuses.)
bool StrictAnsi(std::wstring_view w, UINT cp, std::string* out) {
  if (w.find(L'\0') != std::wstring_view::npos) return false;
  for (std::size_t i = 0; i < w.size(); ++i)
    if (LoneSurrogate(w, i)) return false;
  if (IsUtf8(cp)) return PlatformAnsi(w, WC_ERR_INVALID_CHARS, nullptr, cp, out);
  BOOL used_default = FALSE;
  if (!PlatformAnsi(w, WC_NO_BEST_FIT_CHARS, &used_default, cp, out) || used_default) return false;
  std::wstring back;
  return StrictWide(*out, cp, &back) && back == w;
}

}  // namespace

Conversion ToWide(std::string_view ansi, std::wstring* out, Policy policy, unsigned code_page) {
  if (policy == Policy::kBestFit) {
    PlatformWide(ansi, 0, code_page, out);
    return {true, 0};
  }
  if (StrictWide(ansi, code_page, out)) return {true, 0};
  out->clear();
  // The first character that does not convert on its own.
  std::wstring one;
  std::size_t at = 0;
  for (; at < ansi.size(); at += CharBytes(ansi, at, code_page))
    if (!StrictWide(ansi.substr(at, CharBytes(ansi, at, code_page)), code_page, &one)) break;
  return {false, at < ansi.size() ? at : 0};
}

Conversion ToAnsi(std::wstring_view wide, std::string* out, Policy policy, unsigned code_page) {
  if (policy == Policy::kBestFit) {
    PlatformAnsi(wide, 0, nullptr, code_page, out);
    return {true, 0};
  }
  if (StrictAnsi(wide, code_page, out)) return {true, 0};
  out->clear();
  std::string one;
  std::size_t at = 0;
  for (; at < wide.size(); at += CharUnits(wide, at))
    if (!StrictAnsi(wide.substr(at, CharUnits(wide, at)), code_page, &one)) break;
  return {false, at < wide.size() ? at : 0};
}

std::wstring WideShown(std::string_view ansi, unsigned code_page) {
  std::wstring w;
  ToWide(ansi, &w, Policy::kBestFit, code_page);
  return w;
}

std::string AnsiShown(std::wstring_view wide, unsigned code_page) {
  std::string s;
  ToAnsi(wide, &s, Policy::kBestFit, code_page);
  return s;
}

}  // namespace vel::text
