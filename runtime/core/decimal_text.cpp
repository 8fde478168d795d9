// Text and floating-point conversions of the decimal stack.
//
// Reading (DecPushText): [blanks] ["-"] digits [("." | ",") digits [("e" | "E") ["+" | "-"]
// digits]]; the first byte that does not fit ends the number without error, and at most 99
// bytes are looked at. Integer digits beyond 32 keep the lowest 32 (the high-order ones are
// lost as in any overflow); fraction digits beyond 32 are ignored. The exponent is accumulated
// in 8 bits (it wraps: "e256" reads as "e0") and applied by moving the digits, which gives
// what multiplying by a power of ten gives wherever that power fits a register, and a
// negative exponent is rounded to 31 places as the division it stands for would be.
//
// Writing (DecPopText): ["-"] integer digits ("0" below 1) ["." fraction digits], no leading or
// trailing zeros, no exponent; at most 1 + 32 + 1 + 32 bytes and the zero byte.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/core/decimal_internal.h"

namespace vel {
namespace {

// Reads one number into r following the rules above; `text` may hold any bytes.
void ReadNumber(DecRegister& r, const char* text, std::uint32_t length) {
  dec::SetZero(r);
  if (!text) return;
  if (length > static_cast<std::uint32_t>(kDecTextMax)) length = kDecTextMax;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + length;

  while (p < end && *p == ' ') ++p;
  bool negative = false;
  if (p < end && *p == '-') {
    negative = true;
    ++p;
  }
  // Integer digits: the last 32 read are kept, so they are collected first and placed after.
  const unsigned char* int_start = p;
  while (p < end && *p >= '0' && *p <= '9') ++p;
  const unsigned char* int_end = p;
  int index = kDecUnits;
  for (const unsigned char* q = int_end; q > int_start && index < kDecDigits; --q)
    r.digits[index++] = static_cast<std::uint8_t>(q[-1] - '0');
  r.low = kDecUnits;
  r.high = static_cast<std::uint8_t>(index > kDecUnits ? index - 1 : kDecUnits);

  int exponent = 0;
  if (p < end && (*p == '.' || *p == ',')) {
    ++p;
    index = kDecUnits - 1;
    while (p < end && *p >= '0' && *p <= '9') {
      if (index >= 0) r.digits[index--] = static_cast<std::uint8_t>(*p - '0');
      ++p;
    }
    r.low = static_cast<std::uint8_t>(index + 1);
    if (p < end && (*p == 'e' || *p == 'E')) {
      ++p;
      bool exp_negative = false;
      if (p < end && (*p == '+' || *p == '-')) exp_negative = *p++ == '-';
      std::uint8_t e = 0;
      while (p < end && *p >= '0' && *p <= '9') e = static_cast<std::uint8_t>(e * 10 + (*p++ - '0'));
      exponent = exp_negative ? -e : e;
    }
  }
  r.sign = negative ? 1 : 0;
  dec::Trim(r);
  if (exponent) dec::Scale(r, exponent);
}

}  // namespace

void DecPushTextN(const char* text, std::uint32_t length) {
  DecRegister* r = dec::PushSlot();
  if (r) ReadNumber(*r, text, length);
}

void DecPushText(const char* text) {
  DecRegister* r = dec::PushSlot();
  if (!r) return;
  std::uint32_t length = 0;
  if (text) {
    while (length < static_cast<std::uint32_t>(kDecTextMax) && text[length]) ++length;
  }
  ReadNumber(*r, text, length);
}

void DecPopText(char* destination, std::uint32_t size) {
  const DecRegister& r = dec::PopRegister();
  if (!destination || size == 0) return;
  char text[2 * kDecDigits + 4];
  char* out = text;
  if (r.sign && !dec::IsZero(r)) *out++ = '-';
  if (r.high < kDecUnits) {
    *out++ = '0';
  } else {
    for (int i = r.high; i >= kDecUnits; --i) *out++ = static_cast<char>('0' + r.digits[i]);
  }
  if (r.low < kDecUnits) {
    // Trailing fraction zeros are gone because the register is trimmed.
    *out++ = '.';
    for (int i = kDecUnits - 1; i >= r.low; --i) *out++ = static_cast<char>('0' + r.digits[i]);
  }
  std::uint32_t length = static_cast<std::uint32_t>(out - text);
  if (length + 1 > size) {
    destination[0] = '\0';
    return;
  }
  std::memcpy(destination, text, length);
  destination[length] = '\0';
}

void DecPushReal(double value) {
  DecRegister* r = dec::PushSlot();
  if (!r) return;
  dec::SetZero(*r);
  if (!std::isfinite(value) || value == 0.0) return;
  // 15 significant digits and a decimal exponent: "d.dddddddddddddde[+-]x..".
  char buf[48];
  int n = std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
  if (n <= 0 || n >= static_cast<int>(sizeof buf)) return;
  std::uint8_t digits[15];
  int count = 0;
  const char* p = buf;
  for (; *p && *p != 'e' && *p != 'E'; ++p) {
    if (*p >= '0' && *p <= '9' && count < 15) digits[count++] = static_cast<std::uint8_t>(*p - '0');
  }
  int exponent = 0;
  if (*p) {
    ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    while (*p >= '0' && *p <= '9' && exponent < 10000) exponent = exponent * 10 + (*p++ - '0');
    if (negative) exponent = -exponent;
  }
  // Digit k (most significant first) weighs 10^(exponent - k): index 32 + exponent - k.
  for (int k = 0; k < count; ++k) {
    int index = kDecUnits + exponent - k;
    if (index >= 0 && index < kDecDigits) r->digits[index] = digits[k];
  }
  r->low = 0;
  r->high = kDecDigits - 1;
  dec::Trim(*r);
  if (!dec::IsZero(*r)) r->sign = value < 0 ? 1 : 0;
}

double DecPopReal() {
  static const double kPowers[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const DecRegister& r = dec::PopRegister();
  if (dec::IsZero(r)) return 0.0;
  // The register is trimmed: high and low are its most and least significant non-zero digits.
  // At most the 16 most significant digits are used; the weight of the last one used scales.
  int last = r.high - 15 > r.low ? r.high - 15 : r.low;
  // Every step is rounded to a 64-bit double: an x87 build would otherwise keep 80 bits in
  // registers and give results that depend on where the compiler spills.
  volatile double v = 0.0;
  for (int i = r.high; i >= last; --i) v = v * 10.0 + r.digits[i];
  int exponent = last - kDecUnits;
  if (exponent > 0) {
    for (; exponent >= 16; exponent -= 16) v = v * 1e16;
    v = v * kPowers[exponent];
  } else if (exponent < 0) {
    exponent = -exponent;
    for (; exponent >= 16; exponent -= 16) v = v / 1e16;
    v = v / kPowers[exponent];
  }
  double result = v;
  return r.sign ? -result : result;
}

}  // namespace vel
