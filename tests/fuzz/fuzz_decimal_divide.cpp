// Fuzz target: the statement C = A / B on packed decimal variables (push A, push B, DecDivide,
// pop into C) against an exact model on digit strings, written from the reading, dividing,
// rounding and packing rules and sharing nothing with the register or limb arithmetic.
//
// Input: byte 0 picks the three variables' sign styles (bits 0-2), bytes 1-6 the sizes (1..20
// bytes, so that both the packed path of variables up to 16 bytes and the unpacking path of
// wider ones run) and places (0..33) of A, B and C; A's bytes, then B's follow (missing bytes
// are zero). Any byte is allowed: nibbles A-F, negative zeros, zero divisors.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/core/decimal.h"
#include "tests/support/digit_strings.h"

namespace {

// --- digit strings (see tests/support/digit_strings.h) -------------------------------------

std::string Times10(const std::string& a, int k) { return a == "0" ? a : a + std::string(k, '0'); }

std::string Over10(const std::string& a, int k) {  // floor(a / 10^k)
  return static_cast<int>(a.size()) <= k ? "0" : a.substr(0, a.size() - k);
}

std::string Mod10(const std::string& a, int k) {  // a mod 10^k
  return static_cast<int>(a.size()) <= k ? a : digits::StripZeros(a.substr(a.size() - k));
}

int DigitAt(const std::string& a, int k) {  // the digit of weight 10^k
  return k < static_cast<int>(a.size()) ? a[a.size() - 1 - k] - '0' : 0;
}

std::string PlusOne(const std::string& a) {
  std::string r = a;
  int i = static_cast<int>(r.size()) - 1;
  while (i >= 0 && r[i] == '9') r[i--] = '0';
  if (i < 0) return "1" + r;
  ++r[i];
  return r;
}

// a rounded to k fewer digits, half up.
std::string RoundOff(const std::string& a, int k) {
  std::string r = Over10(a, k);
  return k > 0 && DigitAt(a, k - 1) >= 5 ? PlusOne(r) : r;
}

// --- packed variables ------------------------------------------------------------------------

struct Var {
  bool trailing;
  int size, places;
  const std::uint8_t* bytes;
};

int NibbleOf(const Var& v, int p) {
  std::uint8_t b = v.bytes[p / 2];
  return p % 2 == 0 ? b >> 4 : b & 0x0F;
}

// The variable's 2n - 1 digits (nibbles A-F read as 0) and its sign.
std::string Digits(const Var& v, bool* negative) {
  std::string d;
  const int first = v.trailing ? 0 : 1;
  for (int k = 0; k < 2 * v.size - 1; ++k) {
    int x = NibbleOf(v, first + k);
    d += static_cast<char>('0' + (x <= 9 ? x : 0));
  }
  *negative = v.trailing ? NibbleOf(v, 2 * v.size - 1) == 0x0D : NibbleOf(v, 0) != 0;
  return digits::StripZeros(d);
}

// What a decimal register holds of the variable, in units of 10^-32: 32 integer digits and 32
// places at most (the excess is not held).
std::string Held(const Var& v, bool* negative) {
  std::string d = Digits(v, negative);
  d = v.places <= 32 ? Times10(d, 32 - v.places) : Over10(d, v.places - 32);
  return Mod10(d, 64);
}

// The bytes a pop of `digits` (already reduced to the variable's 2n - 1 digits) writes.
void Pack(const std::string& digits, bool negative, bool trailing, int size, std::uint8_t* out) {
  std::string d = std::string(2 * size - 1 - digits.size(), '0') + digits;
  std::memset(out, 0, size);
  const int first = trailing ? 0 : 1;
  for (int k = 0; k < 2 * size - 1; ++k) {
    int p = first + k;
    out[p / 2] |= static_cast<std::uint8_t>((d[k] - '0') << (p % 2 == 0 ? 4 : 0));
  }
  if (trailing) {
    out[size - 1] |= negative ? 0x0D : 0x0F;
  } else if (negative) {
    out[0] |= 0xF0;
  }
}

// C = A / B by the rules: the quotient truncated to 32 places (digits above the register's 32
// integer digits lost), rounded half up to 31, then rounded to C's places and reduced modulo
// C's capacity; zero when either operand is zero; a zero result is positive.
void Expected(const Var& a, const Var& b, const Var& c, std::uint8_t* out) {
  bool na, nb;
  const std::string ra = Held(a, &na), rb = Held(b, &nb);
  std::string q = "0";
  if (ra != "0" && rb != "0") {
    q = Mod10(digits::Divide(Times10(ra, 32), rb), 64);  // units of 10^-32
    q = Mod10(Times10(RoundOff(q, 1), 1), 64);      // 31 places; a carry past the top is lost
  }
  std::string v;
  if (c.places <= 32) {
    v = Mod10(RoundOff(q, 32 - c.places), 32 + c.places);
  } else {
    v = Times10(q, c.places - 32);
  }
  v = Mod10(v, 2 * c.size - 1);
  Pack(v, na != nb && v != "0", c.trailing, c.size, out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t in[7 + 40] = {};
  std::memcpy(in, data, size < sizeof in ? size : sizeof in);
  const Var a{(in[0] & 1) != 0, 1 + in[1] % 20, in[2] % 34, in + 7};
  const Var b{(in[0] & 2) != 0, 1 + in[3] % 20, in[4] % 34, in + 7 + 20};
  const Var c{(in[0] & 4) != 0, 1 + in[5] % 20, in[6] % 34, nullptr};

  std::uint8_t got[24], want[24];
  std::memset(got, 0xEE, sizeof got);
  std::memset(want, 0xEE, sizeof want);
  Expected(a, b, c, want);

  vel::DecRestore(nullptr);
  auto push = [](const Var& v) {
    if (v.trailing) vel::DecPushPDecimal(v.bytes, v.size, v.places);
    else vel::DecPushDecimal(v.bytes, v.size, v.places);
  };
  push(a);
  push(b);
  vel::DecDivide();
  if (c.trailing) vel::DecPopPDecimal(got, c.size, c.places);
  else vel::DecPopDecimal(got, c.size, c.places);
  if (std::memcmp(got, want, sizeof got) != 0 || vel::DecDepth() != 0) std::abort();
  return 0;
}
