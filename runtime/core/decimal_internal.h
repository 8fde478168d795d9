// Internals shared by the decimal stack's source files: the stack itself and the register
// arithmetic, which works on registers in place and never looks at the stack.
//
// Every register the arithmetic receives and leaves is "clean": 0 <= low <= high <= 63, digits
// low..high are 0..9 and every digit outside low..high is 0 (so two registers can be aligned by
// looping over the union of their ranges without checking either range). Results are also
// trimmed: no zero digit at high above low, none at low below high, and a zero value is the
// canonical zero (low = high = 32, positive). Trimming changes no value, only the range.
#pragma once
#include <cstdint>

#include "runtime/core/decimal.h"

namespace vel::dec {

// A register whose value is still held as packed digits (see decimal_held.cpp): nibble k of
// hi:lo is the digit of weight 10^(k - places). While `held` is set the register's own bytes
// are stale.
struct HeldValue {
  std::uint64_t lo;
  std::uint64_t hi;
  std::uint8_t places;
  bool negative;
  bool held;
};

struct Stack {
  std::uint8_t depth;
  DecRegister regs[kDecRegisters];
  HeldValue held[kDecRegisters];
};
extern Stack g_stack;

// --- the stack -------------------------------------------------------------------------------
// The register a push writes, or null when all 10 are in use (the push is then ignored).
DecRegister* PushSlot();
// Makes sure at least n registers are on the stack, pushing zeros for the missing ones; a
// program that pops more than it pushed reads zeros instead of stale memory.
void EnsureDepth(int n);
// Pops the top register (a zero when the stack is empty); the reference stays valid until the
// next push.
DecRegister& PopRegister();
// The top register, a zero being pushed when the stack is empty.
DecRegister& Top();

// --- registers -------------------------------------------------------------------------------
void SetZero(DecRegister& r);
void SetUnsigned(DecRegister& r, std::uint32_t magnitude, bool negative);
// O(1): relies on the trimmed form (a non-zero value has a non-zero digit at high).
bool IsZero(const DecRegister& r);
// Restores the trimmed form after digits were written (low/high may enclose zeros).
void Trim(DecRegister& r);
// Makes a register from untrusted memory clean: clamps low/high, maps bad digits to 0.
void Sanitize(DecRegister& r);

// left := left + right (negated first when negate_right).
void Add(DecRegister& left, const DecRegister& right, bool negate_right);
void Multiply(DecRegister& left, const DecRegister& right);
// r := the product of two numbers given as limbs of 8 digits (base 10^8, least significant
// first, at most 12 each), its lowest digit at register index `base` (digits below index 0 and
// above 63 dropped), with the given sign unless it is zero. r's previous contents do not matter.
void MultiplyLimbs(DecRegister& r, const std::uint32_t* a, int na, const std::uint32_t* b, int nb,
                   int base, std::uint8_t sign);
// left := left / right, rounded to 31 places; zero when either is zero.
void Divide(DecRegister& left, const DecRegister& right);
// Limbs: numbers as base-10^8 digits, least significant first, at most 24.
// Knuth's long division: q := u / v (remainder discarded). u has m limbs and room for one more
// and is overwritten; v has n >= 1 limbs without a leading zero. Returns q's limb count.
int DivideLimbs(std::uint32_t* u, int m, const std::uint32_t* v, int n, std::uint32_t* q);
// r := the quotient q of a division, its units at index 0 (32 places), with the given sign
// unless it is zero, rounded to 31 places.
void PlaceQuotient(DecRegister& r, const std::uint32_t* q, int count, std::uint8_t sign);
// A limb below 10^8 as eight digit bytes (byte i the digit of weight 10^i). Lane-wise
// divisions by 100 and 10 are multiplications: x / 100 = (x * 5243) >> 19 for x < 43699,
// x / 10 = (x * 103) >> 10 for x < 179, and no lane's product reaches the next lane.
inline std::uint64_t LimbToDigits(std::uint32_t v) {
  std::uint64_t w = (v % 10000) | static_cast<std::uint64_t>(v / 10000) << 32;
  std::uint64_t hundreds = ((w * 5243) >> 19) & 0x0000007F0000007Full;
  w = (w - hundreds * 100) | (hundreds << 16);
  std::uint64_t tens = ((w * 103) >> 10) & 0x000F000F000F000Full;
  return (w - tens * 10) | (tens << 8);
}
// r := u / v (limbs of 8 digits, least significant first; u has m limbs and room for one more
// and is overwritten, v has n >= 1 limbs without a leading zero, m + 1 and n at most 24) with
// the quotient's units at index 0, the given sign unless it is zero, rounded to 31 places.
void DivideLimbsInto(DecRegister& r, std::uint32_t* u, int m, const std::uint32_t* v, int n,
                     std::uint8_t sign);
void Power(DecRegister& r, std::int32_t exponent);
// Sign of left - right: -1, 0, 1.
int Compare(const DecRegister& left, const DecRegister& right);
void Round(DecRegister& r, std::int32_t places);
void Truncate(DecRegister& r);
void Negate(DecRegister& r);
// Multiplies by 10^exponent exactly by moving digits; digits moved above index 63 are lost, and
// a move downward is rounded to 31 places as a division would be.
void Scale(DecRegister& r, int exponent);

// Held packed operands. HoldPacked reads a variable into h when it qualifies (at most 16
// bytes, at most 32 places), AddHeld adds or subtracts two held values with the same places
// into left, PopHeld writes a held value into a variable with its places; each returns false,
// changing nothing, when it does not apply. Materialize writes a held value into its register.
bool HoldPacked(HeldValue& h, int type, const void* variable, std::uint32_t size,
                std::uint32_t places);
bool AddHeld(HeldValue& left, const HeldValue& right, bool negate_right);
// PopHeld also takes a destination with fewer places than the held value, rounding as DecRound.
bool PopHeld(const HeldValue& h, int type, void* variable, std::uint32_t size, std::uint32_t places);
// r := left * right for two held values (left's register is r); left stops being held.
void MultiplyHeld(DecRegister& r, HeldValue& left, const HeldValue& right);
// r := left / right for two held values, as Divide would give it (left's register is r); a
// quotient below 10 stays held with 31 places.
void DivideHeld(DecRegister& r, HeldValue& left, const HeldValue& right);
void Materialize(DecRegister& r, HeldValue& h);
// Register i of the stack with its held value written out.
inline DecRegister& Unpacked(int i) {
  Materialize(g_stack.regs[i], g_stack.held[i]);
  return g_stack.regs[i];
}

// Packed decimal variables to and from registers (type 10 leading sign, 11 trailing sign).
void Unpack(DecRegister& r, int type, const void* variable, std::uint32_t size,
            std::uint32_t places);
void Pack(DecRegister& r, int type, void* variable, std::uint32_t size, std::uint32_t places);

}  // namespace vel::dec
