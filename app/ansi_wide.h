// The client's ANSI texts (names and paths as its procedures hold them) in UTF-16 for the
// platform's wide calls: the code page's own conversion, the one FindFirstFileA shows names in.
#pragma once
#include <windows.h>

#include <string>

namespace ftpcl {

inline std::wstring AnsiToWide(const std::string& s) {
  const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

}  // namespace ftpcl
