// Bridges between the string stack and the decimal stack: text becomes a number through the
// decimal reading rules, a number becomes text through DecPopText. They live with the decimal
// stack so that the string stack's own module needs nothing of it.
#include "runtime/core/decimal.h"
#include "runtime/core/string_stack.h"

namespace vel {

namespace {
// DecPopText's longest text (sign, 32 digits, point, 32 digits) and its zero byte fit easily.
constexpr std::uint32_t kNumberTextArea = 80;
}  // namespace

void StackPopToDecimal() {
  // At most 99 bytes of the value are taken; a zero byte inside it ends the number anyway.
  char text[kDecTextMax + 1];
  StackPopToCString(text, sizeof text);
  DecPushText(text);
}

void StackPushDecimal() {
  char text[kNumberTextArea];
  DecPopText(text, sizeof text);
  StackPushCString(text);
}

std::int32_t StackPopInteger() {
  std::int32_t value = 0;
  if (StackPopVariantInteger(&value)) return value;
  StackPopToDecimal();
  return DecPopInteger();
}

}  // namespace vel
