// Text helpers of the procedures: the string operations the compiled code performs on the
// string stack, in the small forms the handlers need (clip, assign to zero-terminated and
// fixed variables, upper case, the blank-padded fixed text).
#pragma once
#include <cstddef>
#include <cstring>
#include <string>

namespace ftpcl {

// Text of a zero-terminated variable of capacity n (never reads past n).
inline std::string CText(const char* v, std::size_t n) { return std::string(v, strnlen(v, n)); }
template <std::size_t N>
std::string CText(const char (&v)[N]) { return CText(v, N); }

// Text of a fixed (blank-padded) variable.
template <std::size_t N>
std::string FText(const char (&v)[N]) { return std::string(v, N); }

// CLIP: trailing blanks removed.
inline std::string Clip(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}
template <std::size_t N>
std::string Clipped(const char (&v)[N]) { return Clip(CText(v, N)); }

inline std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Assignment to a zero-terminated variable: cut to N-1 bytes.
template <std::size_t N>
void Set(char (&v)[N], const std::string& s) {
  const std::size_t n = s.size() < N - 1 ? s.size() : N - 1;
  std::memcpy(v, s.data(), n);
  std::memset(v + n, 0, N - n);
}
// Assignment to a fixed variable: cut or blank-padded to N.
template <std::size_t N>
void SetFixed(char (&v)[N], const std::string& s) {
  const std::size_t n = s.size() < N ? s.size() : N;
  std::memcpy(v, s.data(), n);
  std::memset(v + n, ' ', N - n);
}

// A name from a server listing that can stand in the tree as one entry of its folder: not
// empty, not "." or "..", and without "/" (no server lists such a name for an entry of the
// folder asked for). Every other byte a Unix server allows (":", "\\", "|", blanks at either
// end ...) is kept: the entry is the server's file and operations on the server use it as is.
inline bool ShowableRemoteName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string::npos;
}

// Why `name` cannot be the name of a file in the current local folder, or "" when it can.
// Refused: anything that would name another place ("\\", "/", ":" - a drive or a stream of
// another file), characters the file system does not hold, a trailing dot or blank (dropped
// by the platform, so another file would be written) and the device names. Double-byte
// characters are stepped over whole, so a trail byte equal to "\\" (code page 932) is no
// separator.
std::string LocalNameProblem(const std::string& name, unsigned code_page = 0 /* CP_ACP */);

// A text with every byte of `s` shown as is in a menu item ("&" doubled).
inline std::string MenuText(const std::string& s) {
  std::string out;
  for (char c : s) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

// At most `limit` bytes of `s`, cut before a whole double-byte character and marked with "...".
std::string ShortenedName(const std::string& s, std::size_t limit);

}  // namespace ftpcl
