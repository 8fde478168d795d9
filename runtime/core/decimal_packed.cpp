// Packed decimal variables: unpacking into registers, packing with rounding and modulo
// reduction, clearing to zero/largest/smallest, and comparing two variables off the stack.
//
// Nibble positions: a variable of n bytes has 2n nibbles, nibble p in byte p/2 (high half when
// p is even). Leading-sign: nibble 0 is the sign, digits are nibbles 1..2n-1. Trailing-sign:
// digits are nibbles 0..2n-2, the sign is nibble 2n-1. Either way digit k (k = 0 most
// significant, 2n-1 digits) of a variable with m places weighs 10^(2n-2-k-m), register index
// 32 - m + 2n - 2 - k. Only digits landing on indices 0..63 are read or written from the
// register; every byte of the variable is written by a pop, none outside it.
#include <cstring>

#include "runtime/core/decimal_internal.h"

namespace vel {
namespace dec {
namespace {

inline unsigned Nibble(const std::uint8_t* bytes, std::uint64_t p) {
  std::uint8_t b = bytes[p / 2];
  return (p % 2 == 0) ? (b >> 4) : (b & 0x0F);
}

// Index of the most significant digit: 32 - m + 2n - 2, computed wide (n, m are untrusted).
inline std::int64_t TopIndex(std::uint32_t size, std::uint32_t places) {
  return static_cast<std::int64_t>(kDecUnits) - places + 2 * static_cast<std::int64_t>(size) - 2;
}

}  // namespace

void Unpack(DecRegister& r, int type, const void* variable, std::uint32_t size,
            std::uint32_t places) {
  SetZero(r);
  if (!variable || size == 0) return;
  const auto* bytes = static_cast<const std::uint8_t*>(variable);
  const std::uint64_t first_digit_nibble = type == kTypePDecimal ? 0 : 1;
  const std::int64_t digit_count = 2 * static_cast<std::int64_t>(size) - 1;
  const std::int64_t top = TopIndex(size, places);
  // Digits k with 0 <= top - k <= 63.
  std::int64_t k_first = top - (kDecDigits - 1) > 0 ? top - (kDecDigits - 1) : 0;
  std::int64_t k_last = top < digit_count - 1 ? top : digit_count - 1;
  for (std::int64_t k = k_first; k <= k_last; ++k) {
    unsigned d = Nibble(bytes, first_digit_nibble + static_cast<std::uint64_t>(k));
    r.digits[top - k] = static_cast<std::uint8_t>(d <= 9 ? d : 0);  // A-F are not digits
  }
  if (k_first <= k_last) {
    r.low = static_cast<std::uint8_t>(top - k_last);
    r.high = static_cast<std::uint8_t>(top - k_first);
  }
  bool negative = type == kTypePDecimal ? (bytes[size - 1] & 0x0F) == 0x0D : (bytes[0] >> 4) != 0;
  r.sign = negative ? 1 : 0;
  Trim(r);
}

void Pack(DecRegister& r, int type, void* variable, std::uint32_t size, std::uint32_t places) {
  if (!variable || size == 0) return;
  if (places <= static_cast<std::uint32_t>(kDecUnits)) Round(r, static_cast<std::int32_t>(places));
  auto* bytes = static_cast<std::uint8_t*>(variable);
  const std::uint64_t first_digit_nibble = type == kTypePDecimal ? 0 : 1;
  const std::int64_t digit_count = 2 * static_cast<std::int64_t>(size) - 1;
  const std::int64_t top = TopIndex(size, places);
  // Digits above the destination's top position are dropped: the value is reduced modulo the
  // destination's capacity without error.
  std::memset(bytes, 0, size);
  bool any = false;
  std::int64_t k_first = top - (kDecDigits - 1) > 0 ? top - (kDecDigits - 1) : 0;
  std::int64_t k_last = top < digit_count - 1 ? top : digit_count - 1;
  for (std::int64_t k = k_first; k <= k_last; ++k) {
    std::uint8_t d = r.digits[top - k];
    if (!d) continue;
    any = true;
    std::uint64_t p = first_digit_nibble + static_cast<std::uint64_t>(k);
    bytes[p / 2] |= static_cast<std::uint8_t>(p % 2 == 0 ? d << 4 : d);
  }
  // What remains of a negative value may be zero; a zero is stored positive.
  bool negative = any && r.sign;
  if (type == kTypePDecimal) {
    bytes[size - 1] = static_cast<std::uint8_t>((bytes[size - 1] & 0xF0) | (negative ? 0x0D : 0x0F));
  } else if (negative) {
    bytes[0] |= 0xF0;
  }
}

}  // namespace dec

void DecPushDecimal(const void* variable, std::uint32_t size, std::uint32_t places) {
  DecRegister* r = dec::PushSlot();
  if (r) dec::Unpack(*r, kTypeDecimal, variable, size, places);
}

void DecPushPDecimal(const void* variable, std::uint32_t size, std::uint32_t places) {
  DecRegister* r = dec::PushSlot();
  if (r) dec::Unpack(*r, kTypePDecimal, variable, size, places);
}

void DecPopDecimal(void* variable, std::uint32_t size, std::uint32_t places) {
  dec::Pack(dec::PopRegister(), kTypeDecimal, variable, size, places);
}

void DecPopPDecimal(void* variable, std::uint32_t size, std::uint32_t places) {
  dec::Pack(dec::PopRegister(), kTypePDecimal, variable, size, places);
}

void DecClearVariable(void* variable, std::uint32_t size, int type, int direction) {
  if (!variable || size == 0) return;
  if (type != kTypeDecimal && type != kTypePDecimal) return;
  auto* bytes = static_cast<std::uint8_t*>(variable);
  std::memset(bytes, direction == 0 ? 0x00 : 0x99, size);
  if (type == kTypeDecimal) {
    if (direction != 0) bytes[0] = direction > 0 ? 0x09 : 0x89;
  } else {
    std::uint8_t sign = direction < 0 ? 0x0D : 0x0F;
    bytes[size - 1] = static_cast<std::uint8_t>((bytes[size - 1] & 0xF0) | sign);
  }
}

int DecComparePacked(int type, const void* left, const void* right, std::uint32_t size,
                     std::uint32_t places) {
  DecRegister a, b;
  dec::Unpack(a, type, left, size, places);
  dec::Unpack(b, type, right, size, places);
  return dec::Compare(a, b);
}

}  // namespace vel
