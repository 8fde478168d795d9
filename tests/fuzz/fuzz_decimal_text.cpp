// Fuzz target: DecPushText -> DecPopText on arbitrary bytes.
//
// Checks, for every input: the counted and the zero-terminated readers agree; the text written
// is well formed (what DecPopText may produce); it equals the value of a string-based reference
// reader written independently of the register code; reading the output again reproduces it;
// and writing into a destination one byte too small gives the empty string.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/core/decimal.h"

namespace {

// The reading rules on digit strings: 32 integer and 32 fraction positions, the exponent moves
// the digits, and a downward move is rounded to 31 places half away from zero.
std::string Reference(const char* text, std::size_t length) {
  if (length > 99) length = 99;
  std::size_t i = 0;
  while (i < length && text[i] == ' ') ++i;
  bool negative = false;
  if (i < length && text[i] == '-') negative = true, ++i;
  std::string int_digits, frac_digits;
  while (i < length && text[i] >= '0' && text[i] <= '9') int_digits += text[i++];
  int exponent = 0;
  if (i < length && (text[i] == '.' || text[i] == ',')) {
    ++i;
    while (i < length && text[i] >= '0' && text[i] <= '9') frac_digits += text[i++];
    if (i < length && (text[i] == 'e' || text[i] == 'E')) {
      ++i;
      bool exp_negative = false;
      if (i < length && (text[i] == '+' || text[i] == '-')) exp_negative = text[i++] == '-';
      unsigned e = 0;
      while (i < length && text[i] >= '0' && text[i] <= '9') e = (e * 10 + (text[i++] - '0')) & 0xFF;
      exponent = exp_negative ? -static_cast<int>(e) : static_cast<int>(e);
    }
  }
  if (int_digits.size() > 32) int_digits = int_digits.substr(int_digits.size() - 32);
  if (frac_digits.size() > 32) frac_digits.resize(32);
  // 64 positions, position 0 the highest (10^31), 63 the lowest (10^-32).
  std::string d = std::string(32 - int_digits.size(), '0') + int_digits + frac_digits;
  d += std::string(64 - d.size(), '0');
  if (exponent > 0) {
    d = d.substr(exponent < 64 ? exponent : 64) + std::string(exponent < 64 ? exponent : 64, '0');
  } else if (exponent < 0) {
    int k = -exponent < 64 ? -exponent : 64;
    d = std::string(k, '0') + d.substr(0, 64 - k);
    // Round at 31 places on the 32nd.
    bool up = d[63] >= '5';
    d[63] = '0';
    for (int p = 62; up && p >= 0; --p) {
      if (d[p] == '9') {
        d[p] = '0';
      } else {
        ++d[p];
        up = false;
      }
    }
  }
  std::string ip = d.substr(0, 32), fp = d.substr(32);
  ip.erase(0, ip.find_first_not_of('0'));
  if (ip.empty()) ip = "0";
  while (!fp.empty() && fp.back() == '0') fp.pop_back();
  std::string s = ip;
  if (!fp.empty()) s += "." + fp;
  if (negative && s != "0") s = "-" + s;
  return s;
}

bool WellFormed(const char* s) {
  std::size_t n = std::strlen(s), i = 0;
  if (i < n && s[i] == '-') ++i;
  std::size_t start = i;
  while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
  std::size_t int_len = i - start;
  if (int_len == 0 || int_len > 32 || (int_len > 1 && s[start] == '0')) return false;
  if (i == n) return std::strcmp(s, "-0") != 0;
  if (s[i++] != '.') return false;
  start = i;
  while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
  return i == n && i - start >= 1 && i - start <= 32 && s[n - 1] != '0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  char out[80], out_z[80], again[80];
  vel::DecRestore(nullptr);
  vel::DecPushTextN(text, static_cast<std::uint32_t>(size));
  vel::DecPopText(out, sizeof out);

  std::string z(text, size);  // zero-terminated copy: the reader stops at the first NUL
  vel::DecPushText(z.c_str());
  vel::DecPopText(out_z, sizeof out_z);
  if (std::strcmp(out, out_z) != 0) std::abort();

  if (!WellFormed(out)) std::abort();
  std::size_t nul = z.find('\0');
  std::string expect = Reference(text, nul == std::string::npos ? size : nul);
  if (expect != out) std::abort();

  vel::DecPushText(out);
  vel::DecPopText(again, sizeof again);
  if (std::strcmp(out, again) != 0) std::abort();

  char small[80];
  std::memset(small, 'x', sizeof small);
  std::size_t need = std::strlen(out) + 1;
  vel::DecPushText(out);
  vel::DecPopText(small, static_cast<std::uint32_t>(need - 1));
  if (need > 1 && small[0] != '\0') std::abort();
  if (vel::DecDepth() != 0) std::abort();
  return 0;
}
