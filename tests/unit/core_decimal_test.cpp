// Decimal stack: reading and writing text, rounding, division, packed decimal variables,
// stack limits, save/restore, and (host build) properties against 128-bit integers.
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/core/decimal.h"
#include "runtime/core/decimal_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/string_stack.h"
#include "runtime/core/sys.h"
#include "support/check.h"
#include "support/digit_strings.h"

using namespace vel;

namespace {

void Fresh() {
  static bool started = false;
  if (!started) {
    MemoryInitTerm(0);
    started = true;
  }
  DecRestore(nullptr);
}

std::string Pop() {
  char buf[100];
  std::memset(buf, 'x', sizeof buf);
  DecPopText(buf, sizeof buf);
  return buf;
}

std::string Read(const char* text) {
  DecPushText(text);
  return Pop();
}

std::string ReadN(const std::string& text) {
  DecPushTextN(text.data(), static_cast<std::uint32_t>(text.size()));
  return Pop();
}

// a op b through the stack, as texts.
std::string Op(const char* a, const char* b, void (*op)()) {
  DecPushText(a);
  DecPushText(b);
  op();
  return Pop();
}

std::string Rounded(const char* a, int places) {
  DecPushText(a);
  DecRound(places);
  return Pop();
}

std::string Hex(const std::uint8_t* p, std::size_t n) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += kHex[p[i] >> 4];
    s += kHex[p[i] & 15];
  }
  return s;
}

// A text is well formed when it is what DecPopText may produce.
bool WellFormed(const std::string& s) {
  std::size_t i = 0;
  if (i < s.size() && s[i] == '-') ++i;
  std::size_t int_start = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  std::size_t int_len = i - int_start;
  if (int_len == 0 || int_len > 32) return false;
  if (int_len > 1 && s[int_start] == '0') return false;
  if (i == s.size()) return !(s[0] == '-' && s == "-0");
  if (s[i++] != '.') return false;
  std::size_t frac_start = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  std::size_t frac_len = i - frac_start;
  return i == s.size() && frac_len >= 1 && frac_len <= 32 && s.back() != '0';
}

}  // namespace

// --- 1. reading text ---------------------------------------------------------------------------

TEST_CASE("decimal 1.1: reading rules") {
  Fresh();
  struct Row { const char* in; const char* out; } rows[] = {
      {" -12.50", "-12.5"}, {"1,5", "1.5"},     {"12abc", "12"},    {"abc", "0"},
      {"1.5e2", "150"},     {"15e2", "15"},     {"+5", "0"},        {"", "0"},
      {"-", "0"},           {"-0", "0"},        {"0.000", "0"},     {"007", "7"},
      {"1.5E-2", "0.015"},  {"1.5e+2", "150"},  {"1.e3", "1000"},   {"12.3.4", "12.3"},
      {"   5", "5"},        {"\t5", "0"},       {"- 5", "0"},       {"--5", "0"},
      {".5", "0.5"},        {",25", "0.25"},    {"-.5", "-0.5"},    {"1.5e", "1.5"},
      {"1.5e-", "1.5"},     {"2.5e1x", "25"},   {"100", "100"},     {"0.05", "0.05"},
      {"1.0e31", "10000000000000000000000000000000"},
      {"1.0e-31", "0.0000000000000000000000000000001"},
      {"5.0e-32", "0.0000000000000000000000000000001"},  // a division rounds to 31 places
      {"4.0e-32", "0"},
      {"-1.5e-1", "-0.15"},
  };
  for (const Row& r : rows) CHECK_EQ(Read(r.in), std::string(r.out));
  CHECK_EQ(Read(nullptr), std::string("0"));
  CHECK_EQ(DecDepth(), 0);
}

TEST_CASE("decimal 1.2: digits beyond the register keep the low integer digits") {
  Fresh();
  std::string in = "9" + std::string(32, '1');  // 33 integer digits: the leading 9 is lost
  CHECK_EQ(Read(in.c_str()), std::string(32, '1'));
  std::string frac = "0." + std::string(31, '0') + "1234";  // fraction digits past 32 ignored
  CHECK_EQ(Read(frac.c_str()), "0." + std::string(31, '0') + "1");
  std::string both = std::string(32, '9') + "." + std::string(32, '9');
  CHECK_EQ(Read(both.c_str()), both);
}

TEST_CASE("decimal 1.3: at most 99 bytes are read") {
  Fresh();
  CHECK_EQ(Read((std::string(98, ' ') + "7").c_str()), std::string("7"));
  CHECK_EQ(Read((std::string(99, ' ') + "7").c_str()), std::string("0"));
  std::string digits = "1" + std::string(97, '0') + "5";  // 99 digits, then more
  digits += "123";
  // 99 digits are read; the lowest 32 of them are kept: ...0005 -> 5 with 31 zeros before.
  CHECK_EQ(Read(digits.c_str()), std::string("5"));
  CHECK_EQ(ReadN(std::string("0.") + std::string(96, '0') + "7"), std::string("0"));
  CHECK_EQ(ReadN(std::string("0.") + std::string(29, '0') + "7"), "0." + std::string(29, '0') + "7");
}

TEST_CASE("decimal 1.4: exponents are accumulated in 8 bits") {
  Fresh();
  CHECK_EQ(Read("1.0e256"), std::string("1"));    // 256 wraps to 0
  CHECK_EQ(Read("1.5e257"), std::string("15"));   // 257 wraps to 1
  CHECK_EQ(Read("1.0e-300"), std::string("0"));   // -(300 mod 256) = -44
  CHECK_EQ(Read("1.0e99999999999999999999"), Read("1.0e255"));
  CHECK_EQ(Read("1.5e40"), std::string("0"));     // every digit moved past the register
  CHECK_EQ(Read("0.00000000001e40"), std::string("100000000000000000000000000000"));
}

TEST_CASE("decimal 1.5: any bytes read safely") {
  Fresh();
  std::mt19937 rng(12345);
  const char alphabet[] = "0123456789.,-+eE x\0\xff";
  for (int n = 0; n < 4000; ++n) {
    std::string s;
    int len = static_cast<int>(rng() % 130);
    for (int i = 0; i < len; ++i) {
      s += (rng() % 4 == 0) ? static_cast<char>(rng() & 0xFF)
                            : alphabet[rng() % (sizeof alphabet - 1)];
    }
    std::string out = ReadN(s);
    if (!WellFormed(out)) {
      CHECK(WellFormed(out));
      break;
    }
    // Reading the output again gives the same value (the text form is a fixed point).
    if (ReadN(out) != out) {
      CHECK_EQ(ReadN(out), out);
      break;
    }
  }
  std::string with_nul("12\0" "34", 5);
  CHECK_EQ(ReadN(with_nul), std::string("12"));
  CHECK_EQ(DecDepth(), 0);
}

// --- 2. writing text --------------------------------------------------------------------------

TEST_CASE("decimal 2.1: text destinations") {
  Fresh();
  CHECK_EQ(Read("100"), std::string("100"));
  CHECK_EQ(Read("0.05"), std::string("0.05"));
  CHECK_EQ(Read("0"), std::string("0"));
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  DecPushText("100");
  DecPopText(buf, 4);
  CHECK_EQ(std::string(buf), std::string("100"));
  std::memset(buf, 'x', sizeof buf);
  DecPushText("100");
  DecPopText(buf, 3);  // "100" and its zero byte need 4
  CHECK_EQ(buf[0], '\0');
  CHECK_EQ(buf[1], 'x');
  DecPushText("-1.25");
  std::memset(buf, 'x', sizeof buf);
  DecPopText(buf, 0);
  CHECK_EQ(buf[0], 'x');
  DecPushText("1");
  DecPopText(nullptr, 10);
  CHECK_EQ(DecDepth(), 0);
  // The longest text: sign, 32 digits, point, 32 digits.
  std::string longest = "-" + std::string(32, '8') + "." + std::string(32, '8');
  CHECK_EQ(Read(longest.c_str()), longest);
}

// --- 3. integers and reals --------------------------------------------------------------------

TEST_CASE("decimal 3.1: integer pushes and pops") {
  Fresh();
  DecPushInteger(0);
  CHECK_EQ(Pop(), std::string("0"));
  DecPushInteger(INT32_MIN);
  CHECK_EQ(Pop(), std::string("-2147483648"));
  DecPushUnsigned(4294967295u);
  CHECK_EQ(Pop(), std::string("4294967295"));
  DecPushText("7.9");
  CHECK_EQ(DecPopInteger(), 7);
  DecPushText("-7.9");
  CHECK_EQ(DecPopInteger(), -7);
  DecPushText("-0.9");
  CHECK_EQ(DecPopInteger(), 0);
  DecPushInteger(INT32_MIN);
  CHECK_EQ(DecPopInteger(), INT32_MIN);
  DecPushUnsigned(4294967295u);
  CHECK_EQ(DecPopInteger(), -1);  // accumulated modulo 2^32
  DecPushText("10000000000");
  CHECK_EQ(DecPopInteger(), 1410065408);
  DecPushText("1.5e3");  // low above the units: zeros multiply in
  CHECK_EQ(DecPopInteger(), 1500);
  CHECK_EQ(DecPopInteger(), 0);  // empty stack reads zero
  DecPushText("0.001");
  CHECK_EQ(DecPopTruth(), 1);
  DecPushText("-0");
  CHECK_EQ(DecPopTruth(), 0);
}

TEST_CASE("decimal 3.2: reals") {
  Fresh();
  struct Row { double in; const char* out; } rows[] = {
      {0.1, "0.1"}, {2.0, "2"}, {-1234.5678, "-1234.5678"}, {1e300, "0"}, {1e-40, "0"},
      {123456789012345678.0, "123456789012346000"}, {-0.0, "0"}, {1e31, "10000000000000000000000000000000"},
      {1e-32, "0.00000000000000000000000000000001"}, {1.0 / 3.0, "0.333333333333333"},
  };
  for (const Row& r : rows) {
    DecPushReal(r.in);
    CHECK_EQ(Pop(), std::string(r.out));
  }
  DecPushReal(NAN);
  CHECK_EQ(Pop(), std::string("0"));
  DecPushReal(-INFINITY);
  CHECK_EQ(Pop(), std::string("0"));

  DecPushText("0.1");
  CHECK_EQ(DecPopReal(), 0.1);
  DecPushText("-12.5");
  CHECK_EQ(DecPopReal(), -12.5);
  DecPushText("12345678901234567890");  // the 16 most significant digits are used
  CHECK_EQ(DecPopReal(), 12345678901234560000.0);
  DecPushText("0");
  CHECK_EQ(DecPopReal(), 0.0);
  DecPushText("1.0e31");
  CHECK_EQ(DecPopReal(), 1e31);
  DecPushText("0.00000000000000000000000000000001");
  CHECK(std::fabs(DecPopReal() - 1e-32) < 1e-46);
  for (double v : {3.25, -7.0, 1e15, 123.456, 0.000123}) {
    DecPushReal(v);
    CHECK_EQ(DecPopReal(), v);
  }
}

TEST_CASE("decimal 3.3: after the start-up's FPU reset, reals are the host build's doubles") {
  Fresh();
  vel::sys::ResetFpu();
  // The 16 leading digits 2489461767828776 times 10^7, rounded once to a double; rounded to
  // 64 bits first, the product lands one unit in the last place below it.
  DecPushText("24894617678287768676944.36");
  CHECK_EQ(DecPopReal(), 24894617678287760000000.0);
}

// --- 4. rounding, truncation, sign ------------------------------------------------------------

TEST_CASE("decimal 4.1: rounding is half away from zero") {
  Fresh();
  CHECK_EQ(Rounded("2.345", 2), std::string("2.35"));
  CHECK_EQ(Rounded("-2.345", 2), std::string("-2.35"));
  CHECK_EQ(Rounded("0.994", 2), std::string("0.99"));
  CHECK_EQ(Rounded("9.995", 2), std::string("10"));
  CHECK_EQ(Rounded("0.5", 0), std::string("1"));
  CHECK_EQ(Rounded("-0.5", 0), std::string("-1"));
  CHECK_EQ(Rounded("0.4", 0), std::string("0"));
  CHECK_EQ(Rounded("-0.004", 2), std::string("0"));  // no negative zero
  CHECK_EQ(Rounded("0.005", 2), std::string("0.01"));
  CHECK_EQ(Rounded("123.456", -1), std::string("120"));
  CHECK_EQ(Rounded("155", -1), std::string("160"));
  CHECK_EQ(Rounded("99.99", 1), std::string("100"));
  CHECK_EQ(Rounded("1.25", 5), std::string("1.25"));
  CHECK_EQ(Rounded("1.25", 1000), std::string("1.25"));
  CHECK_EQ(Rounded("1.25", INT32_MAX), std::string("1.25"));
  CHECK_EQ(Rounded("9999", INT32_MIN), std::string("0"));
  CHECK_EQ(Rounded("9999", -40), std::string("0"));
  std::string nines(32, '9');
  CHECK_EQ(Rounded((nines + ".9").c_str(), 0), std::string("0"));  // the carry leaves the register
  CHECK_EQ(Rounded("5", -1), std::string("10"));
  CHECK_EQ(Rounded("0.00000000000000000000000000000005", 31),
           std::string("0.0000000000000000000000000000001"));
}

TEST_CASE("decimal 4.2: truncate, absolute, negate") {
  Fresh();
  DecPushText("7.9");
  DecTruncate();
  CHECK_EQ(Pop(), std::string("7"));
  DecPushText("-7.9");
  DecTruncate();
  CHECK_EQ(Pop(), std::string("-7"));
  DecPushText("-0.5");
  DecTruncate();
  CHECK_EQ(Pop(), std::string("0"));
  DecPushText("-3.5");
  DecAbsolute();
  CHECK_EQ(Pop(), std::string("3.5"));
  DecPushText("3.5");
  DecNegate();
  CHECK_EQ(Pop(), std::string("-3.5"));
  DecPushText("0");
  DecNegate();
  CHECK_EQ(Pop(), std::string("0"));
}

// --- 5. arithmetic ----------------------------------------------------------------------------

TEST_CASE("decimal 5.1: add and subtract") {
  Fresh();
  CHECK_EQ(Op("1.5", "2.25", DecAdd), std::string("3.75"));
  CHECK_EQ(Op("1.5", "-2.25", DecAdd), std::string("-0.75"));
  CHECK_EQ(Op("-1.5", "1.5", DecAdd), std::string("0"));
  CHECK_EQ(Op("9.99", "0.01", DecAdd), std::string("10"));
  CHECK_EQ(Op("10", "0.001", DecSubtract), std::string("9.999"));
  CHECK_EQ(Op("10", "0.001", DecSubtractReversed), std::string("-9.999"));
  CHECK_EQ(Op("0.001", "0.001", DecSubtractReversed), std::string("0"));
  std::string max = std::string(32, '9') + "." + std::string(32, '9');
  CHECK_EQ(Op(max.c_str(), "0.00000000000000000000000000000001", DecAdd), std::string("0"));
  CHECK_EQ(Op(max.c_str(), max.c_str(), DecSubtract), std::string("0"));
}

TEST_CASE("decimal 5.2: multiply") {
  Fresh();
  CHECK_EQ(Op("1.5", "2", DecMultiply), std::string("3"));
  CHECK_EQ(Op("-1.5", "-1.5", DecMultiply), std::string("2.25"));
  CHECK_EQ(Op("-1.5", "0", DecMultiply), std::string("0"));
  CHECK_EQ(Op("0.1", "-0.1", DecMultiply), std::string("-0.01"));
  // Product digits past the 32nd place are dropped, not rounded.
  CHECK_EQ(Op("0.0000000000000000000000000000001", "0.19", DecMultiply),
           std::string("0.00000000000000000000000000000001"));
  CHECK_EQ(Op("0.0000000000000000000000000000001", "0.001", DecMultiply), std::string("0"));
  // Integer digits past 32 are lost.
  CHECK_EQ(Op("10000000000000000", "10000000000000000", DecMultiply), std::string("0"));
  CHECK_EQ(Op("12345678901234567890", "1000000000000", DecMultiply),
           std::string("12345678901234567890000000000000"));
  CHECK_EQ(Op("12345678901234567890", "10000000000000", DecMultiply),
           std::string("23456789012345678900000000000000"));
}

TEST_CASE("decimal 5.3: divide") {
  Fresh();
  CHECK_EQ(Op("5", "0", DecDivide), std::string("0"));
  CHECK_EQ(Op("0", "5", DecDivide), std::string("0"));
  CHECK_EQ(Op("1", "3", DecDivide), "0." + std::string(31, '3'));
  CHECK_EQ(Op("2", "3", DecDivide), "0." + std::string(30, '6') + "7");
  CHECK_EQ(Op("-2", "3", DecDivide), "-0." + std::string(30, '6') + "7");
  CHECK_EQ(Op("10", "4", DecDivide), std::string("2.5"));
  CHECK_EQ(Op("-7", "2", DecDivide), std::string("-3.5"));
  CHECK_EQ(Op("1", "-8", DecDivide), std::string("-0.125"));
  CHECK_EQ(Op("100", "7", DecDivide), std::string("14.2857142857142857142857142857143"));
  CHECK_EQ(Op("1", "0.0000000000000000000000000000001", DecDivide),
           "1" + std::string(31, '0'));
  CHECK_EQ(Op("0.0000000000000000000000000000001", "3", DecDivide), std::string("0"));
  CHECK_EQ(Op("0.0000000000000000000000000000002", "3", DecDivide),
           std::string("0.0000000000000000000000000000001"));
  // Divisors of several limbs exercise the trial-quotient correction.
  CHECK_EQ(Op("1", "999999999999999999", DecDivide),
           std::string("0.000000000000000001"));
  CHECK_EQ(Op("99999999999999999999999999999999", "99999999999999999999999999999999", DecDivide),
           std::string("1"));
  CHECK_EQ(Op("1000000000000000000000000000000", "500000000000000000.000000000000001", DecDivide),
           std::string("1999999999999.999999999999999999996"));
  CHECK_EQ(Op("123456789012345678901234567890.12", "0.5", DecDivide),
           std::string("246913578024691357802469135780.24"));
  // A quotient above the register's 32 integer digits loses its high digits, no more.
  DecPushText(("1" + std::string(31, '0')).c_str());
  DecPushText("0.01");
  DecDivide();
  CHECK_EQ(DecDepth(), 1);
  CHECK(WellFormed(Pop()));
}

namespace {

// a * 10^shift / b for digit strings a, b as DecPopText writes it: truncated to 32 places,
// rounded half up to 31; empty when the integer part exceeds 32 digits.
std::string ExpectedQuotient(const std::string& a, const std::string& b, int shift) {
  std::string q = digits::Divide(a + std::string(32 + shift, '0'), b);
  if (q.size() < 33) q.insert(0, 33 - q.size(), '0');
  bool up = q.back() >= '5';
  q.pop_back();
  for (int i = static_cast<int>(q.size()) - 1; up && i >= 0; --i) {
    if (q[i] == '9') q[i] = '0'; else ++q[i], up = false;
  }
  if (up) q.insert(0, "1");
  std::string ip = digits::StripZeros(q.substr(0, q.size() - 31)), fp = q.substr(q.size() - 31);
  while (!fp.empty() && fp.back() == '0') fp.pop_back();
  if (ip.size() > 32) return "";
  return fp.empty() ? ip : ip + "." + fp;
}

// Runs of 9s and 0s make trial quotients overshoot, which random digits almost never do.
std::string StructuredDigits(std::mt19937_64& rng, int len) {
  std::string s;
  int mode = static_cast<int>(rng() % 4);
  for (int i = 0; i < len; ++i) {
    int d = mode == 0 ? static_cast<int>(rng() % 10)
          : mode == 1 ? ((rng() & 1) ? 9 : 0)
          : mode == 2 ? (rng() % 5 == 0 ? static_cast<int>(rng() % 10) : 9)
                      : (rng() % 5 == 0 ? static_cast<int>(rng() % 10) : 0);
    s += static_cast<char>('0' + d);
  }
  if (s[0] == '0') s[0] = static_cast<char>('1' + rng() % 9);
  return s;
}

}  // namespace

TEST_CASE("decimal 5.6: division of structured operands agrees with digit-string division") {
  Fresh();
  std::mt19937_64 rng(5);
  for (int it = 0; it < 12000; ++it) {
    std::string a = StructuredDigits(rng, 1 + static_cast<int>(rng() % 31)),
                b = StructuredDigits(rng, 9 + static_cast<int>(rng() % 23));
    std::string expect = ExpectedQuotient(a, b, 0);
    if (expect.empty()) continue;
    std::string got = Op(a.c_str(), b.c_str(), DecDivide);
    if (got != expect) {
      CHECK_EQ(got, expect);
      std::printf("  %s / %s\n", a.c_str(), b.c_str());
      break;
    }
  }
}

TEST_CASE("decimal 5.7: divisors of every limb count, with places, agree with digit-string division") {
  Fresh();
  // Divisors of 1 to 31 integer digits and up to 24 places span one to seven limbs of eight
  // digits (each length has a division loop of its own); dividends with places end in zeros.
  std::mt19937_64 rng(57);
  for (int it = 0; it < 8000; ++it) {
    const int a_places = static_cast<int>(rng() % 12), b_places = static_cast<int>(rng() % 25);
    std::string a = StructuredDigits(rng, 1 + static_cast<int>(rng() % 31)),
                b = StructuredDigits(rng, 1 + static_cast<int>(rng() % 31) + b_places);
    auto with_point = [](std::string d, int places) {
      if (places == 0) return d;
      if (static_cast<int>(d.size()) <= places) d.insert(0, places + 1 - d.size(), '0');
      d.insert(d.size() - places, ".");
      return d;
    };
    // a * 10^-pa / (b * 10^-pb) = a * 10^(pb - pa) / b.
    std::string expect = b_places >= a_places
        ? ExpectedQuotient(a, b, b_places - a_places)
        : ExpectedQuotient(a, b + std::string(a_places - b_places, '0'), 0);
    if (expect.empty()) continue;
    std::string got = Op(with_point(a, a_places).c_str(), with_point(b, b_places).c_str(), DecDivide);
    if (got != expect) {
      CHECK_EQ(got, expect);
      std::printf("  %s / %s\n", with_point(a, a_places).c_str(), with_point(b, b_places).c_str());
      break;
    }
  }
}

TEST_CASE("decimal 5.4: power") {
  Fresh();
  struct Row { const char* base; int e; const char* out; } rows[] = {
      {"2", 10, "1024"}, {"10", 0, "1"}, {"0", 0, "1"}, {"2", -2, "0.25"},
      {"-2", 3, "-8"}, {"-2", 2, "4"}, {"1.1", 2, "1.21"}, {"10", 31, "10000000000000000000000000000000"},
      {"3", -1, "0.3333333333333333333333333333333"}, {"0", -3, "0"}, {"1", INT32_MIN, "1"},
      {"1", INT32_MAX, "1"}, {"-1", INT32_MAX, "-1"}, {"0.5", 200, "0"},
  };
  for (const Row& r : rows) {
    DecPushText(r.base);
    DecPower(r.e);
    CHECK_EQ(Pop(), std::string(r.out));
  }
  DecPushText("2");
  DecPower(INT32_MIN);  // overflowing powers lose digits but stay well formed
  CHECK(WellFormed(Pop()));
}

TEST_CASE("decimal 5.5: compare") {
  Fresh();
  const char* sorted[] = {"-99999", "-12.5", "-12.25", "-1", "-0.001", "0", "0.0000001",
                          "0.5", "1", "1.0001", "12.25", "12.5", "99999", "10000000000000000000000000000000"};
  const int n = sizeof sorted / sizeof sorted[0];
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      DecPushText(sorted[i]);
      DecPushText(sorted[j]);
      int expect = i < j ? -1 : (i > j ? 1 : 0);
      CHECK_EQ(DecCompare(), expect);
      DecPushText(sorted[i]);
      DecPushText(sorted[j]);
      CHECK_EQ(DecCompareReversed(), -expect);
    }
  }
  // Any zero compares equal to any other zero.
  DecPushText("-0");
  DecPushText("0.000");
  CHECK_EQ(DecCompare(), 0);
  CHECK_EQ(DecDepth(), 0);
}

// --- 6. packed decimal variables --------------------------------------------------------------

TEST_CASE("decimal 6.1: packing with rounding and modulo reduction") {
  Fresh();
  std::uint8_t v[5];
  std::memset(v, 0xEE, sizeof v);
  DecPushText("1234.567");
  DecPopDecimal(v, 3, 2);
  CHECK_EQ(Hex(v, 5), std::string("02 34 57 EE EE"));
  DecPushText("1234.567");
  DecPopPDecimal(v, 3, 2);
  CHECK_EQ(Hex(v, 5), std::string("23 45 7F EE EE"));
  DecPushText("-1234.567");
  DecPopDecimal(v, 3, 2);
  CHECK_EQ(Hex(v, 3), std::string("F2 34 57"));
  DecPushText("-1234.567");
  DecPopPDecimal(v, 3, 2);
  CHECK_EQ(Hex(v, 3), std::string("23 45 7D"));
  DecPushText("-1000");  // reduced to 000: stored as a positive zero
  DecPopDecimal(v, 2, 0);
  CHECK_EQ(Hex(v, 2), std::string("00 00"));
  DecPushText("-1000");
  DecPopPDecimal(v, 2, 0);
  CHECK_EQ(Hex(v, 2), std::string("00 0F"));
  DecPushText("-0.004");  // rounds to zero at 2 places
  DecPopPDecimal(v, 2, 2);
  CHECK_EQ(Hex(v, 2), std::string("00 0F"));
  DecPushText("9.995");
  DecPopDecimal(v, 2, 2);  // 10.00 does not fit 3 digits: 0.00
  CHECK_EQ(Hex(v, 2), std::string("00 00"));
  DecPushText("7");
  DecPopDecimal(v, 1, 0);
  CHECK_EQ(Hex(v, 2), std::string("07 00"));
  DecPushText("-7");
  DecPopPDecimal(v, 1, 0);
  CHECK_EQ(Hex(v, 1), std::string("7D"));
  DecPushText("5");
  DecPopDecimal(v, 0, 0);  // size 0 writes nothing
  CHECK_EQ(Hex(v, 1), std::string("7D"));
  CHECK_EQ(DecDepth(), 0);
}

TEST_CASE("decimal 6.2: unpacking") {
  Fresh();
  const std::uint8_t lead[] = {0x02, 0x34, 0x57};
  DecPushDecimal(lead, 3, 2);
  CHECK_EQ(Pop(), std::string("234.57"));
  const std::uint8_t lead_neg[] = {0x12, 0x34};  // any non-zero sign nibble is negative
  DecPushDecimal(lead_neg, 2, 0);
  CHECK_EQ(Pop(), std::string("-234"));
  const std::uint8_t trail[] = {0x23, 0x45, 0x7C};  // only 0xD is negative
  DecPushPDecimal(trail, 3, 4);
  CHECK_EQ(Pop(), std::string("2.3457"));
  const std::uint8_t trail_neg[] = {0x00, 0x05, 0x0D};
  DecPushPDecimal(trail_neg, 3, 1);
  CHECK_EQ(Pop(), std::string("-5"));
  const std::uint8_t bad[] = {0x0A, 0xBC, 0x1F};  // A-F nibbles are not digits: read as 0
  DecPushDecimal(bad, 3, 0);
  CHECK_EQ(Pop(), std::string("10"));
  DecPushDecimal(nullptr, 3, 0);
  CHECK_EQ(Pop(), std::string("0"));
  DecPushDecimal(lead, 0, 0);
  CHECK_EQ(Pop(), std::string("0"));
}

TEST_CASE("decimal 6.3: variables wider than the register touch only their own bytes") {
  Fresh();
  // 40 bytes: 79 digits; with 40 places the lowest 8 digits lie below index 0.
  std::uint8_t big[44];
  std::memset(big, 0x99, 40);
  big[0] = 0x09;
  std::memset(big + 40, 0xEE, 4);
  DecPushDecimal(big, 40, 40);
  std::string s = Pop();
  CHECK_EQ(s, std::string(32, '9') + "." + std::string(32, '9'));
  DecPushText("-12.5");
  DecPopDecimal(big, 40, 40);
  CHECK_EQ(Hex(big + 36, 8), std::string("00 00 00 00 EE EE EE EE"));
  CHECK_EQ(big[0], 0xF0);
  DecPushDecimal(big, 40, 40);
  CHECK_EQ(Pop(), std::string("-12.5"));
  DecPushText("3");
  DecPopPDecimal(big, 40, 0xFFFFFFFFu);
  CHECK_EQ(Hex(big + 38, 6), std::string("00 0F EE EE EE EE"));
  DecPushPDecimal(big, 40, 0xFFFFFFFFu);
  CHECK_EQ(Pop(), std::string("0"));
  DecPushText("3");
  DecPopPDecimal(big, 40, 0);
  CHECK_EQ(Hex(big + 38, 6), std::string("00 3F EE EE EE EE"));
}

TEST_CASE("decimal 6.4: clearing variables") {
  Fresh();
  std::uint8_t v[4] = {0x11, 0x11, 0x11, 0xEE};
  DecClearVariable(v, 3, kTypePDecimal, -1);
  CHECK_EQ(Hex(v, 4), std::string("99 99 9D EE"));
  DecPushPDecimal(v, 3, 0);
  CHECK_EQ(Pop(), std::string("-99999"));
  DecClearVariable(v, 3, kTypePDecimal, 0);
  CHECK_EQ(Hex(v, 4), std::string("00 00 0F EE"));
  DecClearVariable(v, 3, kTypePDecimal, 1);
  CHECK_EQ(Hex(v, 4), std::string("99 99 9F EE"));
  DecClearVariable(v, 3, kTypeDecimal, -1);
  CHECK_EQ(Hex(v, 4), std::string("89 99 99 EE"));
  DecPushDecimal(v, 3, 2);
  CHECK_EQ(Pop(), std::string("-999.99"));
  DecClearVariable(v, 3, kTypeDecimal, 5);
  CHECK_EQ(Hex(v, 4), std::string("09 99 99 EE"));
  DecClearVariable(v, 3, kTypeDecimal, 0);
  CHECK_EQ(Hex(v, 4), std::string("00 00 00 EE"));
  DecClearVariable(v, 3, 18, 1);  // not a packed type: untouched
  CHECK_EQ(Hex(v, 4), std::string("00 00 00 EE"));
}

TEST_CASE("decimal 6.5: packed comparison orders every pair") {
  Fresh();
  const char* sorted[] = {"-999.99", "-12.5", "-0.01", "0", "0.01", "1", "12.5", "999.99"};
  const int n = sizeof sorted / sizeof sorted[0];
  for (int type : {kTypeDecimal, kTypePDecimal}) {
    std::uint8_t vars[n][3];
    for (int i = 0; i < n; ++i) {
      DecPushText(sorted[i]);
      if (type == kTypeDecimal) DecPopDecimal(vars[i], 3, 2); else DecPopPDecimal(vars[i], 3, 2);
    }
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j)
        CHECK_EQ(DecComparePacked(type, vars[i], vars[j], 3, 2), i < j ? -1 : (i > j ? 1 : 0));
    }
  }
  std::uint8_t lo[3], hi[3];
  DecClearVariable(lo, 3, kTypePDecimal, -1);
  DecClearVariable(hi, 3, kTypePDecimal, 1);
  CHECK_EQ(DecComparePacked(kTypePDecimal, lo, hi, 3, 2), -1);
  // The stack is neither used nor needed.
  for (int i = 0; i < 10; ++i) DecPushInteger(i);
  CHECK_EQ(DecComparePacked(kTypePDecimal, hi, lo, 3, 2), 1);
  CHECK_EQ(DecDepth(), 10);
  DecRestore(nullptr);
}

namespace {

// The value a packed variable holds, as text that DecPushText reads (nibble by nibble).
std::string PackedText(const std::uint8_t* v, int n, int m, int type) {
  auto nibble = [&](int p) { return p % 2 == 0 ? v[p / 2] >> 4 : v[p / 2] & 15; };
  std::string digits;
  int first = type == kTypePDecimal ? 0 : 1;
  for (int k = 0; k < 2 * n - 1; ++k) {
    int d = nibble(first + k);
    digits += static_cast<char>('0' + (d <= 9 ? d : 0));
  }
  bool negative = type == kTypePDecimal ? (v[n - 1] & 15) == 0xD : (v[0] >> 4) != 0;
  if (m > static_cast<int>(digits.size())) digits.insert(0, m - digits.size(), '0');
  std::string text = digits.substr(0, digits.size() - m) + "." + digits.substr(digits.size() - m);
  // More than 32 fraction digits: only the first 32 are read, as unpacking keeps them.
  return (negative ? "-" : "") + text;
}

// The bytes a pop should store for a value already rounded to m places (text without exponent).
std::vector<std::uint8_t> PackedBytes(const std::string& rounded, int n, int m, int type) {
  bool negative = !rounded.empty() && rounded[0] == '-';
  std::string body = negative ? rounded.substr(1) : rounded;
  std::size_t point = body.find('.');
  std::string ip = body.substr(0, point), fp = point == std::string::npos ? "" : body.substr(point + 1);
  fp.resize(m, '0');
  std::string digits = ip + fp;
  int count = 2 * n - 1;
  if (static_cast<int>(digits.size()) > count) digits = digits.substr(digits.size() - count);
  digits.insert(0, count - digits.size(), '0');
  if (digits.find_first_not_of('0') == std::string::npos) negative = false;
  std::vector<std::uint8_t> out(n, 0);
  int first = type == kTypePDecimal ? 0 : 1;
  for (int k = 0; k < count; ++k) {
    int p = first + k, d = digits[k] - '0';
    out[p / 2] |= static_cast<std::uint8_t>(p % 2 == 0 ? d << 4 : d);
  }
  if (type == kTypePDecimal) out[n - 1] |= negative ? 0x0D : 0x0F;
  else if (negative) out[0] |= 0xF0;
  return out;
}

}  // namespace

TEST_CASE("decimal 6.6: unpacking any size and places agrees with reading the digits") {
  Fresh();
  std::mt19937 rng(66);
  for (int iter = 0; iter < 20000; ++iter) {
    int n = 1 + static_cast<int>(rng() % 40), m = static_cast<int>(rng() % 45);
    int type = (rng() & 1) ? kTypeDecimal : kTypePDecimal;
    std::uint8_t v[48];
    for (int i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(rng() % 16 < 14 ? rng() % 10 * 16 + rng() % 10 : rng());
    if (type == kTypePDecimal && (rng() & 1)) v[n - 1] = static_cast<std::uint8_t>((v[n - 1] & 0xF0) | 0xD);
    if (type == kTypeDecimal) v[0] = static_cast<std::uint8_t>((v[0] & 0x0F) | ((rng() & 1) ? 0xF0 : 0));
    if (type == kTypeDecimal) DecPushDecimal(v, n, m); else DecPushPDecimal(v, n, m);
    std::string got = Pop();
    std::string expect = ReadN(PackedText(v, n, m, type));
    if (got != expect) {
      CHECK_EQ(got, expect);
      std::printf("  n=%d m=%d type=%d bytes=%s\n", n, m, type, Hex(v, n).c_str());
      break;
    }
  }
}

TEST_CASE("decimal 6.7: packing any size and places agrees with the digits of the rounded value") {
  Fresh();
  std::mt19937 rng(67);
  for (int iter = 0; iter < 20000; ++iter) {
    int n = 1 + static_cast<int>(rng() % 34), m = static_cast<int>(rng() % 33);
    int type = (rng() & 1) ? kTypeDecimal : kTypePDecimal;
    std::string text = (rng() & 1) ? "-" : "";
    int int_digits = static_cast<int>(rng() % 33), frac_digits = static_cast<int>(rng() % 33);
    for (int i = 0; i < int_digits; ++i) text += static_cast<char>('0' + rng() % 10);
    text += ".";
    for (int i = 0; i < frac_digits; ++i) text += static_cast<char>('0' + rng() % 10);
    DecPushText(text.c_str());
    DecRound(m);
    std::string rounded = Pop();
    std::uint8_t v[40];
    std::memset(v, 0xEE, sizeof v);
    DecPushText(text.c_str());
    if (type == kTypeDecimal) DecPopDecimal(v, n, m); else DecPopPDecimal(v, n, m);
    std::vector<std::uint8_t> expect = PackedBytes(rounded, n, m, type);
    if (Hex(v, n) != Hex(expect.data(), n) || v[n] != 0xEE) {
      CHECK_EQ(Hex(v, n + 1), Hex(expect.data(), n) + " EE");
      std::printf("  n=%d m=%d type=%d text=%s\n", n, m, type, text.c_str());
      break;
    }
  }
}

// --- 7. the stack itself ----------------------------------------------------------------------

TEST_CASE("decimal 7.1: an eleventh push is ignored") {
  Fresh();
  for (int i = 0; i < 10; ++i) DecPushInteger(i + 1);
  DecPushInteger(99);
  DecPushText("98");
  DecPushReal(97.0);
  DecPushUnsigned(96);
  const std::uint8_t p[] = {0x01, 0x2F};
  DecPushPDecimal(p, 2, 0);
  DecPushDecimal(p, 2, 0);
  DecDuplicate();
  CHECK_EQ(DecDepth(), 10);
  for (int i = 10; i >= 1; --i) CHECK_EQ(DecPopInteger(), i);
  CHECK_EQ(DecDepth(), 0);
}

TEST_CASE("decimal 7.2: missing operands read as zero") {
  Fresh();
  DecAdd();
  CHECK_EQ(DecDepth(), 1);
  CHECK_EQ(Pop(), std::string("0"));
  DecPushInteger(5);
  DecSubtract();  // the missing right operand is a zero pushed on top
  CHECK_EQ(DecDepth(), 1);
  CHECK_EQ(Pop(), std::string("5"));
  CHECK_EQ(DecCompare(), 0);
  DecNegate();
  DecRound(2);
  CHECK_EQ(Pop(), std::string("0"));
  DecDuplicate();
  CHECK_EQ(DecDepth(), 2);
  CHECK_EQ(DecPopReal(), 0.0);
  CHECK_EQ(DecPopTruth(), 0);
  CHECK_EQ(DecPopTruth(), 0);
  CHECK_EQ(DecDepth(), 0);
}

TEST_CASE("decimal 7.3: save and restore keep each thread's registers") {
  Fresh();
  CHECK(DecSave() == nullptr);
  DecPushText("1.5");
  DecPushText("-2");
  DecPushText("3.25");
  void* thread_a = DecSave();
  REQUIRE(thread_a != nullptr);
  CHECK_EQ(DecDepth(), 3);  // saving leaves the stack as it was
  DecRestore(nullptr);      // the other thread starts empty
  CHECK_EQ(DecDepth(), 0);
  DecPushText("42");
  void* thread_b = DecSave();
  DecRestore(thread_a);     // block is freed by the restore
  CHECK_EQ(DecDepth(), 3);
  CHECK_EQ(Pop(), std::string("3.25"));
  DecMultiply();
  CHECK_EQ(Pop(), std::string("-3"));
  DecRestore(thread_b);
  CHECK_EQ(Pop(), std::string("42"));
  CHECK_EQ(DecDepth(), 0);
  // A full stack round-trips too.
  for (int i = 0; i < 10; ++i) DecPushInteger(-i);
  void* full = DecSave();
  DecRestore(nullptr);
  DecRestore(full);
  CHECK_EQ(DecDepth(), 10);
  for (int i = 9; i >= 0; --i) CHECK_EQ(DecPopInteger(), -i);
}

TEST_CASE("decimal 7.5: per-thread switch and release handlers") {
  Fresh();
  DecPushText("1.5");
  DecPushText("2.5");
  DecimalStackSwitch(0, 1);  // thread 1 has nothing saved: it starts empty
  CHECK_EQ(DecDepth(), 0);
  DecPushInteger(7);
  DecimalStackSwitch(1, 2);
  CHECK_EQ(DecDepth(), 0);
  DecPushText("-3");
  DecimalStackSwitch(2, 0);
  CHECK_EQ(DecDepth(), 2);
  DecAdd();
  CHECK_EQ(Pop(), std::string("4"));
  DecimalStackReleaseThread(2);  // thread 2 ended: its registers are dropped
  DecimalStackSwitch(0, 2);
  CHECK_EQ(DecDepth(), 0);
  DecimalStackSwitch(2, 1);
  CHECK_EQ(DecPopInteger(), 7);
  DecPushInteger(5);
  DecimalStackSwitch(1, 1);  // switching to itself keeps the stack
  CHECK_EQ(DecPopInteger(), 5);
  DecimalStackSwitch(-1, 0);  // a first switch saves nothing; slot 0's entry was cleared
  CHECK_EQ(DecDepth(), 0);
  DecPushInteger(9);
  DecimalStackSwitch(0, 64);  // out-of-range slots are ignored
  CHECK_EQ(DecDepth(), 0);
  DecimalStackReleaseThread(-1);
  DecimalStackInitTerm(1);  // frees slot 0's saved stack (no leak under the sanitizer)
  DecimalStackSwitch(-1, 0);
  CHECK_EQ(DecDepth(), 0);
}

TEST_CASE("decimal 7.4: a damaged saved block is made safe") {
  Fresh();
  DecPushText("12.5");
  auto* block = static_cast<std::uint8_t*>(DecSave());
  REQUIRE(block != nullptr);
  DecRegister* r = reinterpret_cast<DecRegister*>(block + 1);
  r->low = 200;
  r->high = 250;
  r->digits[63] = 42;
  DecRestore(block);
  CHECK_EQ(DecDepth(), 1);
  const DecRegister* top = DecPeek(1);
  REQUIRE(top != nullptr);
  CHECK(top->low <= top->high);
  CHECK(top->high <= 63);
  CHECK(WellFormed(Pop()));
}

// --- 8. properties against 128-bit integers (host build) -------------------------------------
#ifdef __SIZEOF_INT128__
namespace {

using i128 = __int128;

// The text DecPopText gives for v / 10^places.
std::string Text128(i128 v, int places) {
  bool neg = v < 0;
  unsigned __int128 m = neg ? static_cast<unsigned __int128>(-v) : static_cast<unsigned __int128>(v);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m);
  if (static_cast<int>(digits.size()) <= places) digits.insert(0, places + 1 - digits.size(), '0');
  std::string ip = digits.substr(0, digits.size() - places);
  std::string fp = digits.substr(digits.size() - places);
  while (!fp.empty() && fp.back() == '0') fp.pop_back();
  std::string s = ip;
  if (!fp.empty()) s += "." + fp;
  if (neg && s != "0") s = "-" + s;
  return s;
}

i128 Random128(std::mt19937_64& rng, int max_digits) {
  int digits = 1 + static_cast<int>(rng() % max_digits);
  i128 v = 0;
  for (int i = 0; i < digits; ++i) v = v * 10 + static_cast<int>(rng() % 10);
  return (rng() & 1) ? -v : v;
}

i128 Pow10(int n) {
  i128 p = 1;
  while (n--) p *= 10;
  return p;
}

}  // namespace

TEST_CASE("decimal 8.1: add and subtract agree with 128-bit integers") {
  Fresh();
  std::mt19937_64 rng(2026);
  for (int n = 0; n < 20000; ++n) {
    int pa = static_cast<int>(rng() % 16), pb = static_cast<int>(rng() % 16);
    i128 a = Random128(rng, 31 - pa > 20 ? 20 : 31 - pa), b = Random128(rng, 20);
    int p = pa > pb ? pa : pb;
    i128 aa = a * Pow10(p - pa), bb = b * Pow10(p - pb);
    std::string ta = Text128(a, pa), tb = Text128(b, pb);
    std::string sum = Op(ta.c_str(), tb.c_str(), DecAdd);
    std::string diff = Op(ta.c_str(), tb.c_str(), DecSubtract);
    if (sum != Text128(aa + bb, p) || diff != Text128(aa - bb, p)) {
      CHECK_EQ(sum, Text128(aa + bb, p));
      CHECK_EQ(diff, Text128(aa - bb, p));
      break;
    }
    DecPushText(ta.c_str());
    DecPushText(tb.c_str());
    int c = DecCompare();
    int expect = aa < bb ? -1 : (aa > bb ? 1 : 0);
    if (c != expect) {
      CHECK_EQ(c, expect);
      break;
    }
  }
}

TEST_CASE("decimal 8.2: multiply agrees with 128-bit integers") {
  Fresh();
  std::mt19937_64 rng(7);
  for (int n = 0; n < 20000; ++n) {
    int pa = static_cast<int>(rng() % 16), pb = static_cast<int>(rng() % 16);
    i128 a = Random128(rng, 19), b = Random128(rng, 19);
    std::string ta = Text128(a, pa), tb = Text128(b, pb);
    std::string product = Op(ta.c_str(), tb.c_str(), DecMultiply);
    // The product has pa + pb <= 30 places, so none is dropped; it fits when its integer part
    // has at most 32 digits, which 38 digits with 30 places... check the length instead.
    std::string expect = Text128(a * b, pa + pb);
    std::string int_part = expect.substr(expect[0] == '-' ? 1 : 0);
    int_part = int_part.substr(0, int_part.find('.'));
    if (int_part.size() > 32) continue;
    if (product != expect) {
      CHECK_EQ(product, expect);
      break;
    }
  }
}

TEST_CASE("decimal 8.3: divide agrees with rounded 128-bit quotients") {
  Fresh();
  std::mt19937_64 rng(99);
  for (int n = 0; n < 20000; ++n) {
    // a / b with a < 10^7: a * 10^32 stays below 2^127.
    i128 a = Random128(rng, 6), b = Random128(rng, 18);
    if (b == 0) continue;
    std::string ta = Text128(a, 0), tb = Text128(b, 0);
    std::string q = Op(ta.c_str(), tb.c_str(), DecDivide);
    i128 ma = a < 0 ? -a : a, mb = b < 0 ? -b : b;
    i128 scaled = ma * Pow10(32) / mb;             // truncated to 32 places
    i128 rounded = (scaled + 5) / 10;              // half away from zero at 31 places
    if ((a < 0) != (b < 0)) rounded = -rounded;
    std::string expect = Text128(rounded, 31);
    if (q != expect) {
      CHECK_EQ(q, expect);
      break;
    }
  }
}
#endif

// --- 9. bridges with the string stack ---------------------------------------------------------

namespace {
std::string StringTop() {
  char buf[200];
  StackPopToCString(buf, sizeof buf);
  return buf;
}
}  // namespace

TEST_CASE("decimal 9.1: text from the string stack becomes a number") {
  Fresh();
  StackReset();
  const char text[] = "  -12.50xyz";
  StackPushString(text, sizeof text - 1);  // borrowed, not zero-terminated at its length
  StackPopToDecimal();
  CHECK_EQ(Pop(), std::string("-12.5"));
  std::string far = std::string(98, ' ') + "7" + std::string(30, '1');
  StackPushString(far.data(), static_cast<std::uint32_t>(far.size()));
  StackPopToDecimal();
  CHECK_EQ(Pop(), std::string("7"));  // the 99th byte is the last one read
  std::string too_far = std::string(99, ' ') + "7";
  StackPushString(too_far.data(), static_cast<std::uint32_t>(too_far.size()));
  StackPopToDecimal();
  CHECK_EQ(Pop(), std::string("0"));
  StackPushString("12\0" "34", 5);
  StackPopToDecimal();
  CHECK_EQ(Pop(), std::string("12"));
  StackPushString(nullptr, 0);
  StackPopToDecimal();
  CHECK_EQ(Pop(), std::string("0"));
  CHECK_EQ(StackDepth(), 0);
  CHECK_EQ(DecDepth(), 0);
}

TEST_CASE("decimal 9.2: numbers become text on the string stack") {
  Fresh();
  StackReset();
  DecPushText("-0.05");
  StackPushDecimal();
  CHECK_EQ(DecDepth(), 0);
  CHECK_EQ(StringTop(), std::string("-0.05"));
  std::string longest = "-" + std::string(32, '7') + "." + std::string(32, '3');
  DecPushText(longest.c_str());
  StackPushDecimal();  // longer than an inline slot: a heap slot, freed by the pop
  CHECK_EQ(StackLength(), static_cast<std::uint32_t>(longest.size()));
  CHECK_EQ(StringTop(), longest);
  // Arithmetic through both stacks: "1.10" + "2.205" -> "3.305".
  StackPushString("1.10", 4);
  StackPopToDecimal();
  StackPushString("2.205", 5);
  StackPopToDecimal();
  DecAdd();
  StackPushDecimal();
  CHECK_EQ(StringTop(), std::string("3.305"));
  CHECK_EQ(StackDepth(), 0);
}

TEST_CASE("decimal 9.3: integers from the string stack") {
  Fresh();
  StackReset();
  struct Row { const char* text; std::int32_t value; } rows[] = {
      {"-7.9", -7}, {"7.9", 7}, {"abc", 0}, {"", 0}, {"  42", 42}, {"2147483648", INT32_MIN},
      {"-2147483648", INT32_MIN}, {"1,5", 1}, {"1.5e2", 150},
  };
  for (const Row& r : rows) {
    StackPushCString(r.text);
    CHECK_EQ(StackPopInteger(), r.value);
  }
  StackPushInteger(INT32_MIN);
  CHECK_EQ(StackPopInteger(), INT32_MIN);
  StackPushReal(-2.75);
  CHECK_EQ(StackPopInteger(), -2);
  CHECK_EQ(StackDepth(), 0);
  CHECK_EQ(DecDepth(), 0);
}

TEST_CASE("decimal 9.4: full stacks on either side lose the value, nothing else") {
  Fresh();
  StackReset();
  for (int i = 0; i < kStringStackSlots; ++i) StackPushInteger(i);
  DecPushText("5.5");
  StackPushDecimal();  // the string stack is full: the text is dropped
  CHECK_EQ(StackDepth(), kStringStackSlots);
  CHECK_EQ(DecDepth(), 0);
  CHECK_EQ(StringTop(), std::string("31"));
  for (int i = 0; i < kDecRegisters; ++i) DecPushInteger(i);
  StackPopToDecimal();  // "30" is popped, the decimal stack is full
  CHECK_EQ(DecDepth(), kDecRegisters);
  CHECK_EQ(StackDepth(), kStringStackSlots - 2);
  CHECK_EQ(DecPopInteger(), 9);
  StackReset();
  DecRestore(nullptr);
}

// --- 10. statements on packed variables -----------------------------------------------------
//
// Pushes of packed variables, additions and pops of the common statement shapes are checked
// against the register arithmetic applied step by step (unpack both, add, pack), over generated
// variables of every size and places, with bad nibbles, negative zeros and both sign styles.

namespace {

struct Var {
  int type, size, places;
  std::uint8_t bytes[20];
};

Var RandomVar(std::mt19937& rng, int size, int places) {
  Var v{(rng() & 1) ? kTypeDecimal : kTypePDecimal, size, places, {}};
  const int style = static_cast<int>(rng() % 8);
  for (int i = 0; i < size; ++i) {
    // Mostly digits; some any byte (nibbles A-F), some all zeros, some all nines.
    if (style == 0) v.bytes[i] = 0;
    else if (style == 1) v.bytes[i] = 0x99;
    else v.bytes[i] = static_cast<std::uint8_t>(rng() % 12 ? rng() % 10 * 16 + rng() % 10 : rng());
  }
  if (v.type == kTypeDecimal) {
    v.bytes[0] = static_cast<std::uint8_t>((v.bytes[0] & 0x0F) | (rng() % 3 == 0 ? (rng() % 16) << 4 : 0));
  } else if (rng() & 1) {
    v.bytes[size - 1] = static_cast<std::uint8_t>((v.bytes[size - 1] & 0xF0) | 0x0D);
  }
  return v;
}

void Push(const Var& v) {
  if (v.type == kTypeDecimal) DecPushDecimal(v.bytes, v.size, v.places);
  else DecPushPDecimal(v.bytes, v.size, v.places);
}

void PopInto(Var& v) {
  if (v.type == kTypeDecimal) DecPopDecimal(v.bytes, v.size, v.places);
  else DecPopPDecimal(v.bytes, v.size, v.places);
}

DecRegister Register(const Var& v) {
  DecRegister r;
  dec::Unpack(r, v.type, v.bytes, v.size, v.places);
  return r;
}

// The register arithmetic: op 0 add, 1 subtract, 2 subtract reversed, 3 multiply, 4 divide.
void Apply(DecRegister& left, const DecRegister& right, int op) {
  if (op == 3) {
    dec::Multiply(left, right);
    return;
  }
  if (op == 4) {
    dec::Divide(left, right);
    return;
  }
  dec::Add(left, right, op != 0);
  if (op == 2) dec::Negate(left);
}

void (*const kAddOps[])() = {DecAdd, DecSubtract, DecSubtractReversed, DecMultiply, DecDivide};

// A destination like `like` but of another size, places or type, 0xEE around it.
Var Destination(std::mt19937& rng, const Var& like) {
  Var d = like;
  switch (rng() % 4) {
    case 0: break;
    case 1: d.size = 1 + static_cast<int>(rng() % 17); break;  // modulo or wider
    case 2: d.type = d.type == kTypeDecimal ? kTypePDecimal : kTypeDecimal; break;
    default: d.places = static_cast<int>(rng() % 34); break;
  }
  std::memset(d.bytes, 0xEE, sizeof d.bytes);
  return d;
}

std::string Expected(const DecRegister& value, Var dest) {
  DecRegister r = value;
  dec::Pack(r, dest.type, dest.bytes, dest.size, dest.places);
  return Hex(dest.bytes, sizeof dest.bytes);
}

}  // namespace

TEST_CASE("decimal 10.1: C = A op B on packed variables agrees with the register arithmetic") {
  Fresh();
  std::mt19937 rng(1010);
  for (int iter = 0; iter < 60000; ++iter) {
    const int size = 1 + static_cast<int>(rng() % 17), places = static_cast<int>(rng() % 34);
    Var a = RandomVar(rng, size, places);
    // Mostly the same layout as A (the held path), sometimes other places or sizes.
    Var b = RandomVar(rng, rng() % 4 ? size : 1 + static_cast<int>(rng() % 17),
                      rng() % 4 ? places : static_cast<int>(rng() % 34));
    const int op = static_cast<int>(rng() % 5);
    Var c = Destination(rng, a);
    DecRegister expect = Register(a);
    Apply(expect, Register(b), op);
    const std::string want = Expected(expect, c);
    Push(a);
    Push(b);
    kAddOps[op]();
    PopInto(c);
    const std::string got = Hex(c.bytes, sizeof c.bytes);
    if (got != want || DecDepth() != 0) {
      CHECK_EQ(got, want);
      CHECK_EQ(DecDepth(), 0);
      std::printf("  op=%d a=%d/%d/%d %s b=%d/%d/%d %s c=%d/%d/%d\n", op, a.type, a.size, a.places,
                  Hex(a.bytes, a.size).c_str(), b.type, b.size, b.places, Hex(b.bytes, b.size).c_str(),
                  c.type, c.size, c.places);
      break;
    }
  }
}

TEST_CASE("decimal 10.2: sums kept packed read the same through every other operation") {
  Fresh();
  std::mt19937 rng(1020);
  for (int iter = 0; iter < 30000; ++iter) {
    const int size = 1 + static_cast<int>(rng() % 16), places = static_cast<int>(rng() % 33);
    Var a = RandomVar(rng, size, places), b = RandomVar(rng, size, places),
        c = RandomVar(rng, size, places);
    const int op1 = static_cast<int>(rng() % 5), op2 = static_cast<int>(rng() % 5);
    // ((A op1 B) op2 C): the second sum may need the 32nd digit, or more; a quotient below 10
    // is held with 31 places.
    DecRegister expect = Register(a);
    Apply(expect, Register(b), op1);
    Push(a);
    Push(b);
    kAddOps[op1]();
    if (rng() & 1) {
      Apply(expect, Register(c), op2);
      Push(c);
      kAddOps[op2]();
    }
    // Then whatever reads the register: a peek, a duplicate, text, a save and restore, a
    // compare, a multiply, a rounding, or a pop into another layout.
    const int reader = static_cast<int>(rng() % 7);
    std::string got, want;
    char text[100];
    if (reader == 0) {
      const DecRegister* top = DecPeek(1);
      got = Hex(top->digits, 64) + Hex(&top->sign, 3);
      want = Hex(expect.digits, 64) + Hex(&expect.sign, 3);
      DecPopTruth();
    } else if (reader == 1) {
      DecDuplicate();
      DecAdd();
      DecRegister twice = expect;
      dec::Add(twice, expect, false);
      DecPopText(text, sizeof text);
      got = text;
      DecPushText("0");  // the same value through the register path
      std::memcpy(const_cast<DecRegister*>(DecPeek(1)), &twice, sizeof twice);
      DecPopText(text, sizeof text);
      want = text;
    } else if (reader == 2) {
      void* saved = DecSave();
      DecRestore(saved);
      const DecRegister* top = DecPeek(1);
      got = Hex(top->digits, 64) + Hex(&top->sign, 3);
      want = Hex(expect.digits, 64) + Hex(&expect.sign, 3);
      DecPopTruth();
    } else if (reader == 3) {
      Push(c);
      got = std::to_string(DecCompare());
      want = std::to_string(dec::Compare(expect, Register(c)));
    } else if (reader == 4) {
      Push(c);
      DecMultiply();
      dec::Multiply(expect, Register(c));
      const DecRegister* top = DecPeek(1);
      got = Hex(top->digits, 64) + Hex(&top->sign, 3);
      want = Hex(expect.digits, 64) + Hex(&expect.sign, 3);
      DecPopTruth();
    } else if (reader == 5) {
      const int to = static_cast<int>(rng() % 33);
      DecRound(to);
      dec::Round(expect, to);
      const DecRegister* top = DecPeek(1);
      got = Hex(top->digits, 64) + Hex(&top->sign, 3);
      want = Hex(expect.digits, 64) + Hex(&expect.sign, 3);
      DecPopTruth();
    } else {
      Var d = Destination(rng, a);
      want = Expected(expect, d);
      PopInto(d);
      got = Hex(d.bytes, sizeof d.bytes);
    }
    if (got != want || DecDepth() != 0) {
      CHECK_EQ(got, want);
      CHECK_EQ(DecDepth(), 0);
      std::printf("  reader=%d ops=%d,%d n=%d m=%d a=%s b=%s c=%s\n", reader, op1, op2, size, places,
                  Hex(a.bytes, size).c_str(), Hex(b.bytes, size).c_str(), Hex(c.bytes, size).c_str());
      break;
    }
  }
}

TEST_CASE("decimal 10.3: held pushes keep the stack's limits and copy the variable") {
  Fresh();
  std::uint8_t v[16];
  std::memset(v, 0x11, sizeof v);
  v[15] = 0x1C;  // trailing-sign positive: 1111...1
  for (int i = 0; i < 11; ++i) DecPushPDecimal(v, 16, 2);  // the eleventh is ignored
  CHECK_EQ(DecDepth(), 10);
  // The pushed value is a copy: changing the variable afterwards changes nothing.
  std::memset(v, 0x22, sizeof v);
  for (int i = 0; i < 9; ++i) DecAdd();
  char text[100];
  DecPopText(text, sizeof text);
  CHECK_EQ(std::string(text), "111111111111111111111111111111.1");
  // Missing operands read as zero; a null or empty destination writes nothing but pops.
  DecPushDecimal(v, 4, 0);
  DecAdd();
  DecPopDecimal(nullptr, 4, 0);
  DecPushDecimal(v, 4, 0);
  DecPopDecimal(v, 0, 0);
  CHECK_EQ(DecDepth(), 0);
  CHECK_EQ(Hex(v, 4), "22 22 22 22");
  // A running total of 31-digit nines outgrows 32 digits: the register's 33rd digit is kept.
  Var nines{kTypeDecimal, 16, 2, {}};
  std::memset(nines.bytes, 0x99, 16);
  nines.bytes[0] = 0x09;
  DecRegister total = Register(nines);
  Push(nines);
  for (int i = 0; i < 12; ++i) {
    Push(nines);
    DecAdd();
    dec::Add(total, Register(nines), false);
  }
  const DecRegister* top = DecPeek(1);
  CHECK_EQ(Hex(top->digits, 64) + Hex(&top->sign, 3), Hex(total.digits, 64) + Hex(&total.sign, 3));
  DecPopText(text, sizeof text);
  CHECK_EQ(std::string(text), "1299999999999999999999999999999.87");
}

namespace {
// A trailing-sign variable of 3 bytes (5 digits) with `places` places holding `text`.
Var Small(const char* text, int places) {
  Var v{kTypePDecimal, 3, places, {}};
  DecPushText(text);
  DecPopPDecimal(v.bytes, 3, places);
  return v;
}

std::string Quotient(const Var& a, const Var& b, Var c) {
  Push(a);
  Push(b);
  DecDivide();
  PopInto(c);
  return Hex(c.bytes, c.size);
}
}  // namespace

TEST_CASE("decimal 10.4: quotients of packed variables: zero divisors, rounding into fewer places, signs") {
  Fresh();
  const Var dest{kTypePDecimal, 3, 2, {}};
  // Either operand zero gives zero, positive, without error; the stack is empty afterwards.
  CHECK_EQ(Quotient(Small("5", 0), Small("0", 0), dest), "00 00 0F");
  CHECK_EQ(Quotient(Small("0", 0), Small("5", 0), dest), "00 00 0F");
  CHECK_EQ(Quotient(Small("-5", 1), Small("0", 3), dest), "00 00 0F");
  CHECK_EQ(DecDepth(), 0);
  // 2/3 held with 31 places, rounded half up into 2 places; -1/3 keeps its sign.
  CHECK_EQ(Quotient(Small("2", 0), Small("3", 0), dest), "00 06 7F");
  CHECK_EQ(Quotient(Small("-1", 0), Small("3", 0), dest), "00 03 3D");
  // A negative quotient that rounds to zero is stored as positive zero.
  CHECK_EQ(Quotient(Small("-0.01", 2), Small("7", 0), dest), "00 00 0F");
  // 9.995 rounds up to 10.00 (the carry passes every nine); 0.005 to 0.01.
  CHECK_EQ(Quotient(Small("19.99", 2), Small("2", 0), dest), "01 00 0F");
  CHECK_EQ(Quotient(Small("0.01", 2), Small("2", 0), dest), "00 00 1F");
  // Quotients of 10 and more are not held: the same rounding and reduction modulo 10^3.
  CHECK_EQ(Quotient(Small("9999", 0), Small("0.07", 2), dest), "84 28 6F");  // 142842.857...
  char text[80];
  Push(Small("1", 0));
  Push(Small("3", 0));
  DecDivide();
  DecPopText(text, sizeof text);
  CHECK_EQ(std::string(text), "0." + std::string(31, '3'));
}
