// FORMAT and DEFORMAT as builtins: operands and results on the string stack, numbers through
// the decimal stack (exact digits for decimal-class pictures, 15 digits for real-class ones).
#include <string>

#include "runtime/core/collation.h"
#include "runtime/core/decimal.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/string_stack.h"
#include "runtime/data/dates.h"
#include "runtime/data/intl.h"
#include "runtime/data/picture.h"
#include "support/check.h"

using namespace vel;

namespace {

void Fresh() {
  static bool once = false;
  if (!once) {
    once = true;
    MemoryInitTerm(0);
    StringStackInitTerm(0);
  }
  StackReset();
  DecRestore(nullptr);
  CollationReset();
  IntlReset();
  SetCurrentYear(2003);
  ClearError();
}

std::string Pop() {
  char buf[2000];
  StackPopToCString(buf, sizeof buf);
  return buf;
}

std::string Format(const std::string& value, const char* picture) {
  StackPushString(value.data(), static_cast<std::uint32_t>(value.size()));
  StackPushCString(picture);
  FormatBuiltin();
  return Pop();
}

std::string Deformat(const std::string& text, const char* picture) {
  StackPushString(text.data(), static_cast<std::uint32_t>(text.size()));
  StackPushCString(picture);
  DeformatBuiltin();
  return Pop();
}

}  // namespace

TEST_CASE("builtins: FORMAT leaves exactly one result of the picture's width") {
  Fresh();
  CHECK_EQ(Format("1234567", "@N9"), std::string("1,234,567"));
  CHECK_EQ(Format("-5", "@N-9.2"), std::string("    -5.00"));
  CHECK_EQ(Format("0.005", "@N5.2"), std::string(" 0.01"));
  CHECK_EQ(Format("abcdefg", "@S5"), std::string("abcde"));
  CHECK_EQ(Format("ab", "@s5"), std::string("ab   "));
  CHECK_EQ(Format("5551234567", "@P(###)###-####P"), std::string("(555)123-4567"));
  CHECK_EQ(Format("72746", "@D2"), std::string(" 2/29/2000"));
  CHECK_EQ(Format("4", "@D10"), std::string("1801/01/01"));
  CHECK_EQ(Format("4710001", "@T3"), std::string(" 1:05PM"));
  CHECK_EQ(Format("1234.5", "@E10"), std::string(" 1.23E+003"));
  CHECK_EQ(StackDepth(), 0);
  CHECK_EQ(DecDepth(), 0);
}

TEST_CASE("builtins: decimal-class pictures keep every digit") {
  Fresh();
  CHECK_EQ(Format("12345678901234567890.125", "@N30.2"), std::string(" 12,345,678,901,234,567,890.13"));
  CHECK_EQ(Format("-0.000000000000000000015", "@N-30.21"), std::string("      -0.000000000000000000015"));
  CHECK_EQ(Format("99999999999999999999999999999999", "@N32"), std::string("99999999999999999999999999999999"));
  CHECK_EQ(Deformat(" 12,345,678,901,234,567,890.13", "@N30.2"), std::string("12345678901234567890.13"));
}

TEST_CASE("builtins: invalid pictures give the empty string and post nothing") {
  Fresh();
  CHECK_EQ(Format("1", "@Q9"), std::string(""));
  CHECK_EQ(Format("1", ("@S" + std::string(300, '5')).c_str()), std::string(""));
  CHECK_EQ(Deformat("1", "@E6"), std::string(""));
  CHECK_EQ(Format("1", ("@P" + std::string(253, '#') + "P").c_str()), std::string(""));  // 256 characters
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(StackDepth(), 0);
  CHECK_EQ(DecDepth(), 0);
}

TEST_CASE("builtins: DEFORMAT of every kind") {
  Fresh();
  CHECK_EQ(Deformat("    -5.00", "@N-9.2"), std::string("-5"));
  CHECK_EQ(Deformat("   (5.25)", "@N(9.2)"), std::string("-5.25"));
  CHECK_EQ(Deformat("1,234,567", "@N9"), std::string("1234567"));
  CHECK_EQ(Deformat(" 1.23E+003", "@E10"), std::string("1230"));
  CHECK_EQ(Deformat("(555)123-4567", "@P(###)###-####P"), std::string("5551234567"));
  CHECK_EQ(Deformat("abc-12", "@K@@@###K"), std::string("abc-12"));
  CHECK_EQ(Deformat("x 42.5 y", "@S20"), std::string("42.5"));
  CHECK_EQ(Deformat(" 2/29/2000", "@D2"), std::string("72746"));
  CHECK_EQ(Deformat(" 1:05PM", "@T3"), std::string("4710001"));
  CHECK_EQ(Deformat(std::string(400, '9'), "@N9"), std::string("999999999"));  // 255 bytes looked at
  CHECK_EQ(StackDepth(), 0);
}
