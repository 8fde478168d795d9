// The ANSI code page through the platform's conversions, with exactness checked both ways.
#include "net/ftp_codepage.h"

namespace vel::net {

namespace {

size_t ToUtf16(char32_t c, wchar_t w[2]) {
  if (c < 0x10000) {
    w[0] = static_cast<wchar_t>(c);
    return 1;
  }
  c -= 0x10000;
  w[0] = static_cast<wchar_t>(0xD800 + (c >> 10));
  w[1] = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
  return 2;
}

}  // namespace

WindowsAnsiCodePage::WindowsAnsiCodePage() : acp_(GetACP()) {}

bool WindowsAnsiCodePage::Encode(char32_t c, std::string* out) const {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
    return true;
  }
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  if (acp_ == CP_UTF8) {
    AppendUtf8(c, out);
    return true;
  }
  auto it = known_.find(c);
  if (it == known_.end()) {
    std::string bytes;
    wchar_t w[2], back[4];
    int wn = static_cast<int>(ToUtf16(c, w));
    char buf[16];
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(acp_, WC_NO_BEST_FIT_CHARS, w, wn, buf, sizeof buf, nullptr, &usedDefault);
    if (n > 0 && !usedDefault) {
      int bn = MultiByteToWideChar(acp_, MB_ERR_INVALID_CHARS, buf, n, back, 4);
      if (bn == wn && back[0] == w[0] && (wn == 1 || back[1] == w[1])) bytes.assign(buf, static_cast<size_t>(n));
    }
    it = known_.emplace(c, bytes).first;  // "" = not held
  }
  if (it->second.empty()) return false;
  out->append(it->second);
  return true;
}

bool WindowsAnsiCodePage::Decode(std::string_view text, std::u32string* out) const {
  out->clear();
  if (text.empty()) return true;
  UINT cp = acp_;
  int wn = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (wn <= 0) return false;
  std::wstring w(static_cast<size_t>(wn), L'\0');
  MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), w.data(), wn);
  for (size_t i = 0; i < w.size(); ++i) {
    char32_t c = static_cast<char16_t>(w[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(w[i + 1]) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return false;
    }
    out->push_back(c);
  }
  return true;
}

}  // namespace vel::net
