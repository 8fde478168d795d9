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

// A name taken from a server listing that is safe as a local file name and as one remote path
// component: not empty, not "." or "..", and without "\", "/" or ":".
inline bool PlainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("\\/:") == std::string::npos;
}

}  // namespace ftpcl
