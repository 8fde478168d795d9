// Local file names from server names, and names shortened for menus.
#include "app/text.h"

#include <windows.h>

#include "runtime/core/text_codec.h"

namespace ftpcl {

namespace {

// The byte length of the character at `at` (2 for a lead byte with its trail in code page
// `cp`, else 1).
std::size_t CharLength(const std::string& s, std::size_t at, unsigned cp = CP_ACP) {
  const BYTE c = static_cast<BYTE>(s[at]);
  return at + 1 < s.size() && IsDBCSLeadByteEx(cp, c) ? 2 : 1;
}

// COM and LPT with a superscript 1, 2 or 3 are reserved too; the superscript is one or two
// bytes depending on the code page.
bool SuperscriptDigit(const std::string& s, unsigned cp) {
  std::wstring w;
  if (!vel::text::ToWide(s, &w, vel::text::Policy::kStrict, cp).ok || w.size() != 1) return false;
  return w[0] == 0xB9 || w[0] == 0xB2 || w[0] == 0xB3;
}

bool DeviceName(const std::string& name, unsigned cp) {
  std::string base = Upper(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* d : kDevices)
    if (base == d) return true;
  if (base.size() < 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) return false;
  return (base.size() == 4 && base[3] >= '0' && base[3] <= '9') || SuperscriptDigit(base.substr(3), cp);
}

}  // namespace

std::string LocalNameProblem(const std::string& name, unsigned code_page) {
  if (name.empty() || name == "." || name == "..") return "it names no file";
  for (std::size_t i = 0; i < name.size(); i += CharLength(name, i, code_page)) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (CharLength(name, i, code_page) == 2) continue;
    if (c == '\\' || c == '/' || c == ':') return "it would name a file outside the current folder";
    if (c < 0x20 || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
      return "it holds characters a local file name cannot have";
  }
  if (name.back() == '.' || name.back() == ' ') return "a local file name cannot end in a dot or a blank";
  if (DeviceName(name, code_page)) return "it is the name of a device";
  return {};
}

std::string ShortenedName(const std::string& s, std::size_t limit) {
  if (s.size() <= limit) return s;
  std::size_t end = 0;
  while (end < s.size() && end + CharLength(s, end) + 3 <= limit) end += CharLength(s, end);
  return s.substr(0, end) + "...";
}

}  // namespace ftpcl
