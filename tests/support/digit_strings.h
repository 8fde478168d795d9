// Unsigned integers as decimal digit strings (most significant first, no sign): the exact
// reference that decimal tests and fuzz targets compare the register and limb arithmetic with.
// Slow and plain on purpose: nothing here shares code or representation with the runtime.
#pragma once
#include <string>

namespace digits {

inline std::string StripZeros(const std::string& s) {
  std::size_t p = s.find_first_not_of('0');
  return p == std::string::npos ? "0" : s.substr(p);
}

inline int Compare(const std::string& a, const std::string& b) {  // both without leading zeros
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

inline std::string Subtract(const std::string& a, const std::string& b) {  // a >= b
  std::string r = a;
  int borrow = 0;
  for (int i = static_cast<int>(a.size()) - 1, j = static_cast<int>(b.size()) - 1; i >= 0; --i, --j) {
    int d = r[i] - '0' - borrow - (j >= 0 ? b[j] - '0' : 0);
    borrow = d < 0;
    r[i] = static_cast<char>('0' + (d < 0 ? d + 10 : d));
  }
  return StripZeros(r);
}

// floor(a / b), b not zero: long division, one digit of a at a time.
inline std::string Divide(const std::string& a, const std::string& b) {
  std::string q, rem = "0";
  for (char c : a) {
    rem = StripZeros(rem + c);
    int d = 0;
    while (Compare(rem, b) >= 0) rem = Subtract(rem, b), ++d;
    q += static_cast<char>('0' + d);
  }
  return StripZeros(q);
}

}  // namespace digits
