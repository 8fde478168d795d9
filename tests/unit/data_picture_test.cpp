// Numeric, scientific, pattern, key-in and string pictures: compiling, FORMAT and DEFORMAT on
// buffers, including the invalid pictures and the round trips.
#include <cstring>
#include <random>
#include <string>

#include "runtime/data/picture.h"
#include "support/check.h"

using namespace vel;

namespace {

std::string Fmt(const char* picture, const char* value) {
  CompiledPicture pic;
  CompilePicture(picture, &pic);
  char out[kPictureMaxWidth];
  int n = FormatText(pic, value, static_cast<std::uint32_t>(std::strlen(value)), out);
  return std::string(out, n);
}

std::string FmtReal(const char* picture, double value) {
  CompiledPicture pic;
  CompilePicture(picture, &pic);
  char out[kPictureMaxWidth];
  int n = FormatReal(pic, value, out);
  return std::string(out, n);
}

std::string Def(const char* picture, const std::string& text) {
  CompiledPicture pic;
  CompilePicture(picture, &pic);
  char out[1200];
  int n = Deformat(pic, text.data(), static_cast<std::uint32_t>(text.size()), out, sizeof out);
  return std::string(out, n);
}

std::string Canonical(const char* value) {
  DigitString v;
  DigitsFromText(value, static_cast<std::uint32_t>(std::strlen(value)), &v);
  char out[200];
  return std::string(out, DigitsToText(v, out, sizeof out));
}

bool AllZero(const CompiledPicture& pic) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(&pic);
  for (std::size_t i = 0; i < sizeof pic; ++i)
    if (p[i]) return false;
  return true;
}

struct Row {
  const char* picture;
  const char* value;
  const char* expected;
};

}  // namespace

// --- 1. numeric layouts -------------------------------------------------------------------

TEST_CASE("numeric: grouping, overflow into grouping positions, hashes") {
  const Row rows[] = {
      {"@N9", "1234567", "1,234,567"},
      {"@N9", "12345678", "12345,678"},
      {"@N9", "123456789", "123456789"},
      {"@N9", "1234567890", "#########"},
      {"@N9", "42", "       42"},
      {"@N9", "0", "        0"},
      {"@N9", "-42", "       42"},  // no sign item: the sign is not shown
      {"@N09", "42", "000000042"},
      {"@N*9.2", "1234.5", "**1234.50"},
      {"@N_9", "1234567", "  1234567"},
      {"@N9.2", "1234.5", " 1,234.50"},
      {"@N12`.2", "1234567.891", "1,234,567.89"},
      {"@N12.`2", "1234567.891", "1.234.567,89"},
      {"@N9_.2", "1234.5", " 1 234.50"},
      {"@N9.0", "1234567", "1.234.567"},
      {"@N09.0", "42", "000000042"},  // a fill leaves out the grouping 0 decimals would give
      {"@N_9`0", "1234567", "  1234567"},
      {"@N09..0", "1234567", "1.234.567"},  // a grouping character given stays
      {"@N4", "12345", "####"},
      {"N9", "5", "        5"},
  };
  for (const Row& r : rows) CHECK_EQ(Fmt(r.picture, r.value), std::string(r.expected));
}

TEST_CASE("numeric: floating sign and currency, parenthesis, trailing sign") {
  const Row rows[] = {
      {"@N-9.2", "-5", "    -5.00"},
      {"@N-9.2", "5", "     5.00"},
      {"@N-9.2", "-1234.5", "-1,234.50"},
      {"@N$9.2", "5", "    $5.00"},
      {"@N$-10.2", "-5", "    $-5.00"},
      {"@N(10.2)", "-5", "    (5.00)"},
      {"@N(10.2)", "5", "     5.00 "},
      {"@N9.2-", "-5", "    5.00-"},
      {"@N9.2-", "5", "    5.00 "},
      {"@N~EUR~10.2", "-7.5", "   EUR7.50"},
      {"@N10.2~ kr~", "7.5", "   7.50 kr"},
      {"@N-9.2", "-0.001", "     0.00"},  // rounds to zero: never negative
      {"@N-09.2", "-5", "-00005.00"},  // a fill: no floating, the sign stays in front
      {"@N-9", "-1234", "   -1,234"},
      {"@N-9", "-12345678", "-12345678"},  // the sign takes the blank a grouping position left
      {"@N-9", "-123456789", " ########"},
  };
  for (const Row& r : rows) CHECK_EQ(Fmt(r.picture, r.value), std::string(r.expected));
}

TEST_CASE("numeric: rounding half away from zero, carries") {
  const Row rows[] = {
      {"@N5.2", "0.005", " 0.01"},
      {"@N5.2", "0.004999", " 0.00"},
      {"@N-6.2", "-0.005", " -0.01"},
      {"@N6.2", "9.995", " 10.00"},
      {"@N5.2", "99.995", "##.##"},
      {"@N7.3", "1.0005", "  1.001"},
      {"@N9", "12345678.5", "12345,679"},
      {"@N9.2", "0.5", "     0.50"},
  };
  for (const Row& r : rows) CHECK_EQ(Fmt(r.picture, r.value), std::string(r.expected));
}

TEST_CASE("numeric: implied decimal point and blank when zero") {
  CHECK_EQ(Fmt("@N6v2", "12.34"), std::string("  1234"));
  CHECK_EQ(Fmt("@N9.2B", "0"), std::string("         "));
  CHECK_EQ(Fmt("@N9.2b", "0.001"), std::string("     0.00"));  // not zero before rounding
  CHECK_EQ(Fmt("@N9.2B", "1"), std::string("     1.00"));
  CHECK_EQ(Def("@N6v2", "  1234"), std::string("12.34"));
}

TEST_CASE("numeric: compiled items and header") {
  CompiledPicture pic;
  REQUIRE(CompilePicture("@N-9.2", &pic));
  CHECK_EQ(pic.Kind(), int(kPicNumeric));
  CHECK_EQ(pic.Class(), int(kClassDecimal));
  CHECK_EQ(pic.Width(), 9);
  const char* codes = "\5\4\1\4\4\3\2\3\3";
  for (int i = 0; i < 9; ++i) CHECK_EQ(pic.ItemCode(i), int(codes[i]));
  CHECK_EQ(pic.ItemChar(6), '.');
  REQUIRE(CompilePicture("@N9.2B", &pic));
  CHECK(pic.BlankWhenZero());
  CHECK_EQ(pic.header, static_cast<std::uint16_t>(0 | 3 << 3 | 1 << 6 | 9 << 7));
}

// --- 2. scientific, pattern, key-in, string -------------------------------------------------

TEST_CASE("scientific: layout, exponent, rounding carry") {
  CHECK_EQ(FmtReal("@E10", 1234.5), std::string(" 1.23E+003"));
  CHECK_EQ(FmtReal("@E10", -1234.5), std::string("-1.23E+003"));
  CHECK_EQ(FmtReal("@E10", 0.0012345), std::string(" 1.23E-003"));
  CHECK_EQ(FmtReal("@E10", 9.9996), std::string(" 1.00E+001"));
  CHECK_EQ(FmtReal("@E10", 0), std::string(" 0.00E+000"));
  CHECK_EQ(FmtReal("@E12.2", -5), std::string("-50.000E-001"));
  CHECK_EQ(FmtReal("@E12.2", 5), std::string(" 50.000E-001"));
  CHECK_EQ(FmtReal("@E12`2", 1234.5), std::string(" 12,345E+002"));
  CHECK_EQ(FmtReal("@E14.4", 1234567), std::string(" 1,234.57E+003"));
  CHECK_EQ(FmtReal("@E10", 1e300), std::string(" 1.00E+300"));
  CompiledPicture pic;
  REQUIRE(CompilePicture("@E10", &pic));
  CHECK_EQ(pic.Class(), int(kClassRealE));
  CHECK_EQ(pic.ItemCode(6), int(kItemExponentSign));
  CHECK_EQ(Def("@E10", "-1.23E-003"), std::string("-0.00123"));
}

TEST_CASE("pattern and key-in pictures") {
  CHECK_EQ(Fmt("@P(###)###-####P", "5551234567"), std::string("(555)123-4567"));
  CHECK_EQ(Fmt("@p###-##p", "12345"), std::string("123-45"));
  CHECK_EQ(Fmt("@P<##P", "7"), std::string(" 07"));
  CHECK_EQ(Fmt("@P##P", "123"), std::string("##"));
  CHECK_EQ(Fmt("@P--P", "123"), std::string("  "));  // no integer positions: blanks
  CHECK_EQ(Def("@P(###)###-####P", "(555)123-4567"), std::string("5551234567"));
  CompiledPicture pic;
  CHECK(!CompilePicture("@P###p", &pic));
  CHECK(AllZero(pic));
  REQUIRE(CompilePicture("@K(###) @@@-\\#K", &pic));
  CHECK_EQ(pic.Kind(), int(kPicKeyIn));
  CHECK_EQ(pic.Class(), int(kClassString));
  CHECK_EQ(pic.Width(), 11);
  CHECK_EQ(pic.ItemCode(1), int(kItemDigit));
  CHECK_EQ(pic.ItemCode(6), int(kItemKeyAt));
  CHECK_EQ(pic.ItemCode(10), int(kItemLiteral));
  CHECK_EQ(pic.ItemChar(10), '#');
  REQUIRE(CompilePicture("@K^_?|<K", &pic));
  const int codes[] = {kItemKeyCaret, kItemKeyUnderscore, kItemKeyQuestion, kItemKeyBar, kItemDigitBlank};
  for (int i = 0; i < 5; ++i) CHECK_EQ(pic.ItemCode(i), codes[i]);
  CHECK_EQ(Fmt("@K###K", "abcdef"), std::string("abc"));
}

TEST_CASE("string pictures") {
  CHECK_EQ(Fmt("@S5", "abcdefg"), std::string("abcde"));
  CHECK_EQ(Fmt("@S5", "ab"), std::string("ab   "));
  CHECK_EQ(Fmt("@s5 \t ", "ab"), std::string("ab   "));
  CompiledPicture pic;
  REQUIRE(CompilePicture(nullptr, &pic));
  CHECK_EQ(pic.Kind(), int(kPicString));
  CHECK_EQ(pic.Width(), 255);
  CHECK_EQ(Def("@S20", " -12.50 dollars"), std::string("-12.5"));
  CHECK_EQ(Def("@S20", "abc 1.5e2x"), std::string("150"));
  CHECK_EQ(Def("@S3", "12345"), std::string("123"));
}

// --- 3. invalid pictures ----------------------------------------------------------------------

TEST_CASE("invalid pictures compile to an all-zero block and format to nothing") {
  const char* bad[] = {"", "@", "@Q9", "@E6", "@N", "@N0", "@S0", "@S256", "@N256", "@N999",
                       "@S5x", "@N9.2x", "@N~EUR9.2", "@N~~9.2", "@N-9.2-", "@N(9.2", "@N$9.2$",
                       "@P", "@PP", "@Kab", "@NB", "@N2.2", "@N($4.2)", "@E7.5",
                       "@P###", "@K##", "@N00", "@S999", "@E999", "@N~", "@N9~x", "@S\x01", ("@\xFF" "9")};
  for (const char* text : bad) {
    CompiledPicture pic;
    std::memset(&pic, 0x5A, sizeof pic);
    CHECK(!CompilePicture(text, &pic));
    CHECK(AllZero(pic));
    char out[8] = "xxxxxxx";
    CHECK_EQ(FormatText(pic, "1", 1, out), 0);
    CHECK_EQ(std::string(out), std::string("xxxxxxx"));
    CHECK_EQ(Deformat(pic, "1", 1, out, sizeof out), 0);
    CHECK_EQ(out[0], '\0');
  }
}

TEST_CASE("picture text length limits: 255 is accepted, 256 is not") {
  std::string p255 = "@P" + std::string(252, '#') + "P";
  CompiledPicture pic;
  REQUIRE(p255.size() == 255);
  CHECK(CompilePicture(p255.c_str(), &pic));
  CHECK_EQ(pic.Width(), 252);
  std::string p256 = "@P" + std::string(253, '#') + "P";
  CHECK(!CompilePicture(p256.c_str(), &pic));
  std::string s255 = "@S255" + std::string(250, ' ');
  CHECK(CompilePicture(s255.c_str(), &pic));
  CHECK(!CompilePicture((s255 + " ").c_str(), &pic));
  // Counted text: bytes after a NUL belong to the picture.
  CHECK(!CompilePicture("@S5\0zz", 6, &pic));
}

// --- 4. round trips -------------------------------------------------------------------------

TEST_CASE("round trip: DEFORMAT(FORMAT(v)) over random numbers and @N pictures") {
  std::mt19937 rng(7);
  const char* pictures[] = {"@N14.2", "@N-14.2", "@N$-16.3", "@N(15.2)", "@N12.2-", "@N015.4",
                            "@N*14.2", "@N_12`.2", "@N-20.`5", "@N14v2", "@N-12", "@N16.2~ EUR~"};
  for (const char* picture : pictures) {
    CompiledPicture pic;
    if (!CompilePicture(picture, &pic)) std::printf("  picture %s\n", picture);
    REQUIRE(pic.Valid());
    int places = 0;
    for (int i = pic.Width() - 1; i >= 0 && pic.ItemCode(i) != kItemPoint && pic.ItemCode(i) != kItemImpliedPoint; --i)
      if (pic.ItemCode(i) == kItemDigit) ++places;
    bool has_point = false, signed_pic = false;
    for (int i = 0; i < pic.Width(); ++i) {
      has_point |= pic.ItemCode(i) == kItemPoint || pic.ItemCode(i) == kItemImpliedPoint;
      signed_pic |= pic.ItemCode(i) == kItemSign;
    }
    if (!has_point) places = 0;
    for (int k = 0; k < 300; ++k) {
      long long whole = static_cast<long long>(rng() % 10000000);
      long long frac = places ? static_cast<long long>(rng() % 100000) : 0;
      std::string text = std::to_string(whole);
      if (places) {
        std::string f = std::to_string(frac);
        f = std::string(5 - f.size(), '0') + f;
        text += "." + f.substr(0, places);
      }
      if (signed_pic && rng() % 2) text = "-" + text;
      std::string shown = Fmt(picture, text.c_str());
      CHECK_EQ(Def(picture, shown), Canonical(text.c_str()));
    }
  }
}

TEST_CASE("round trip: scientific pictures") {
  std::mt19937 rng(11);
  for (int k = 0; k < 300; ++k) {
    double v = static_cast<double>(rng() % 1000000) / 1000.0 * ((rng() % 2) ? -1 : 1);
    std::string shown = FmtReal("@E16.1", v);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.9e", v);
    CHECK_EQ(Def("@E16.1", shown), Canonical(expected));
  }
}
