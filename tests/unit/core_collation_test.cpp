// Collating comparison: trailing blanks, weights, prefix compare, digraphs, case tables.
#include <cstring>

#include "runtime/core/collation.h"
#include "support/check.h"

using namespace vel;

namespace {
int Sign(int v) { return (v > 0) - (v < 0); }
int Cmp(const char* a, const char* b) {
  return Sign(CollateCompare(a, std::strlen(a), b, std::strlen(b)));
}
}  // namespace

TEST_CASE("collation: trailing blanks are not significant") {
  CollationReset();
  CHECK_EQ(Cmp("ABC", "ABC   "), 0);
  CHECK_EQ(Cmp("ABC   ", "ABC"), 0);
  CHECK_EQ(Cmp("", "    "), 0);
  CHECK_EQ(CollateCompare(nullptr, 0, nullptr, 0), 0);
  // The shorter text extends with blanks, so bytes below a blank sort before the end.
  CHECK_EQ(Cmp("AB", "AB\x01"), 1);
  CHECK_EQ(Cmp("AB", "ABC"), -1);
  CHECK_EQ(Cmp("AB!", "AB"), 1);
  CHECK_EQ(BytesDiffer("ABC", 3, "ABC  ", 5), 0);
  CHECK_EQ(BytesDiffer("ABC", 3, "ABC x", 5), 1);
  CHECK_EQ(BytesDiffer("abc", 3, "ABC", 3), 1);
}

TEST_CASE("collation: identity order is unsigned byte order") {
  CollationReset();
  CHECK_EQ(Cmp("a", "B"), 1);
  CHECK_EQ(Cmp("\xFF", "\x7F"), 1);
  CHECK_EQ(Sign(CollateCompare("A\0B", 3, "A\0C", 3)), -1);
  // Every pair of single bytes compares like their codes.
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 256; ++y) {
      char a = static_cast<char>(x), b = static_cast<char>(y);
      if (Sign(CollateCompare(&a, 1, &b, 1)) != Sign(x - y)) {
        CHECK_EQ(x * 256 + y, -1);
        return;
      }
    }
}

TEST_CASE("collation: weights decide at the first differing byte") {
  CollationReset();
  Collation().weight[std::uint8_t('b')] = 'a';
  Collation().weight[std::uint8_t('a')] = 'b';
  CHECK_EQ(Cmp("b", "a"), -1);
  CHECK_EQ(Cmp("xb", "xaaaa"), -1);
  // Bytes with equal weights do not decide; the scan goes on.
  Collation().weight[std::uint8_t('A')] = 'b';
  CHECK_EQ(Cmp("Az", "ay"), 1);
  CHECK_EQ(Cmp("A", "a"), 0);
  CollationReset();
}

TEST_CASE("collation: prefix compare looks at the shorter length only") {
  CollationReset();
  CHECK_EQ(Sign(CollateComparePrefix("ABC", 3, "ABCDEF", 6)), 0);
  CHECK_EQ(Sign(CollateComparePrefix("ABD", 3, "ABCDEF", 6)), 1);
  CHECK_EQ(Sign(CollateComparePrefix("", 0, "X", 1)), 0);
}

TEST_CASE("collation: digraphs expand before comparing") {
  CollationReset();
  std::memcpy(Collation().digraph[0], "\xC6" "AE", 4);  // AE ligature collates as "AE"
  CHECK_EQ(Cmp("\xC6", "AE"), 0);
  CHECK_EQ(Cmp("\xC6" "X", "AEX"), 0);
  CHECK_EQ(Cmp("\xC6", "AF"), -1);
  CHECK_EQ(Cmp("\xC6", "AD"), 1);
  CHECK_EQ(Cmp("A\xC6Z", "AAEZ  "), 0);
  CollationReset();
  CHECK_EQ(Cmp("\xC6", "AE"), 1);
}

TEST_CASE("collation: case tables default to A-Z") {
  CollationReset();
  char text[] = "abz{`AZ\xE4";
  UpperBytes(text, 8);
  CHECK_EQ(std::string(text), std::string("ABZ{`AZ\xE4"));
  LowerBytes(text, 8);
  CHECK_EQ(std::string(text), std::string("abz{`az\xE4"));
  Collation().char_class[0xE4] = kCharLower;
  Collation().partner[0xE4] = 0xC4;
  CHECK_EQ(UpperChar(0xE4), 0xC4);
  CollationReset();
  CHECK_EQ(UpperChar(0xE4), 0xE4);
}
