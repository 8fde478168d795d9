// The ANSI code page through the shared strict conversions (exact both ways).
#include "net/ftp_codepage.h"

#include "runtime/core/text_codec.h"

namespace vel::net {

namespace {

std::wstring ToUtf16(char32_t c) {
  if (c < 0x10000) return std::wstring(1, static_cast<wchar_t>(c));
  c -= 0x10000;
  return {static_cast<wchar_t>(0xD800 + (c >> 10)), static_cast<wchar_t>(0xDC00 + (c & 0x3FF))};
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
    if (!text::ToAnsi(ToUtf16(c), &bytes, text::Policy::kStrict, acp_).ok) bytes.clear();
    it = known_.emplace(c, bytes).first;  // "" = not held
  }
  if (it->second.empty()) return false;
  out->append(it->second);
  return true;
}

bool WindowsAnsiCodePage::Decode(std::string_view text, std::u32string* out) const {
  out->clear();
  std::wstring w;
  if (!text::ToWide(text, &w, text::Policy::kStrict, acp_).ok) return false;
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
