// The decimal stack: exact decimal arithmetic for the packed decimal types and every conversion
// between text and numbers.
//
// Data structure: 10 registers and a one-byte depth (the top is register depth-1). A register
// holds 64 unpacked digits, one per byte; digit i weighs 10^(i-32), so indices 32..63 are the
// integer part (32 = units) and 31..0 the fraction (31 = tenths). Only digits low..high are
// meaningful; everything outside that range counts as 0. Zero is low = high = 32, digit 32 = 0.
//
// Invariants kept by every operation:
//   0 <= low <= high <= 63, every digit in low..high is 0..9, sign is 0 or 1.
//   depth <= 10; a push onto a full stack is ignored (nothing outside the registers is written).
//   Popping or operating on missing registers reads them as zero; nothing reports an error.
//
// Packed decimal variables (n bytes, m places, 2n-1 digits, most significant first):
//   leading-sign  (type 10): high nibble of byte 0 is the sign (0 positive, non-zero negative,
//                            written 0xF), the low nibble of byte 0 is the first digit.
//   trailing-sign (type 11): the digits, then the sign in the low nibble of the last byte
//                            (0xD negative, anything else positive; written 0xF / 0xD).
// The lowest m digits are the fraction.
//
// The stack is one process-wide structure without a lock: it belongs to the application thread
// that holds the runtime lock; the thread layer swaps it with DecSave/DecRestore.
#pragma once
#include <cstdint>

namespace vel {

constexpr int kDecRegisters = 10;
constexpr int kDecDigits = 64;
constexpr int kDecUnits = 32;        // index of the units digit
constexpr int kDecTextMax = 99;      // DecPushText reads at most this many bytes
constexpr int kDecDivisionPlaces = 31;

// Data type codes of the two packed decimal variable types.
constexpr int kTypeDecimal = 10;     // leading-sign decimal
constexpr int kTypePDecimal = 11;    // trailing-sign decimal

struct DecRegister {
  std::uint8_t digits[kDecDigits];
  std::uint8_t sign;                 // 0 positive, 1 negative
  std::uint8_t low;
  std::uint8_t high;
};
static_assert(sizeof(DecRegister) == 67, "a register is 67 bytes");

// --- pushes (each adds one register; ignored when 10 are in use) -----------------------------
void DecPushInteger(std::int32_t value);
void DecPushUnsigned(std::uint32_t value);
void DecPushReal(double value);
// Reads a number from at most the first 99 bytes of a zero-terminated text (null reads as 0).
void DecPushText(const char* text);
// The same reading rules over a counted text (not zero-terminated; at most 99 bytes are taken).
void DecPushTextN(const char* text, std::uint32_t length);
void DecPushDecimal(const void* variable, std::uint32_t size, std::uint32_t places);   // type 10
void DecPushPDecimal(const void* variable, std::uint32_t size, std::uint32_t places);  // type 11
void DecDuplicate();

// --- pops ------------------------------------------------------------------------------------
std::int32_t DecPopInteger();
double DecPopReal();
// Writes the value as text and a zero byte; the empty string when it does not fit in `size`
// bytes; nothing at all for a null destination or a size of 0. The register is popped anyway.
void DecPopText(char* destination, std::uint32_t size);
void DecPopDecimal(void* variable, std::uint32_t size, std::uint32_t places);   // type 10
void DecPopPDecimal(void* variable, std::uint32_t size, std::uint32_t places);  // type 11
std::int32_t DecPopTruth();

// --- operations on the top registers (depth 2 is the left operand) ---------------------------
void DecAdd();
void DecSubtract();             // left - right
void DecSubtractReversed();     // right - left
void DecMultiply();
void DecDivide();               // left / right, rounded to 31 places; 0 when either is 0
void DecPower(std::int32_t exponent);   // top := top ^ exponent
std::int32_t DecCompare();              // sign of left - right; pops both
std::int32_t DecCompareReversed();      // sign of right - left; pops both
void DecRound(std::int32_t places);     // half away from zero
void DecTruncate();
void DecAbsolute();
void DecNegate();

// --- packed decimal variables without the stack ----------------------------------------------
// direction 0: zero; > 0: the largest value (all 9s); < 0: the smallest (all 9s, negative).
void DecClearVariable(void* variable, std::uint32_t size, int type, int direction);
// Compares two packed decimal variables of the same type (10 or 11), size and places as exact
// decimals: -1, 0 or 1 as left sorts before, equal to or after right. Does not use the stack,
// so it is safe at any depth (the queue engine's key comparison).
int DecComparePacked(int type, const void* left, const void* right, std::uint32_t size,
                     std::uint32_t places);

// --- per-thread save and restore -------------------------------------------------------------
// A MemAlloc block: the depth (one byte) followed by the used registers; null when the stack is
// empty (or no memory). The stack itself is not changed.
void* DecSave();
// Copies a saved block back and frees it; null empties the stack.
void DecRestore(void* saved);

// The per-thread keeping of saved stacks, in the form of the thread layer's switch and release
// handlers: DecimalStackSwitch saves the running stack for slot `from` (when from >= 0) and
// restores slot `to`'s (an empty stack when it has none), clearing that entry;
// DecimalStackReleaseThread frees a slot's saved stack. Slots are 0..63; others are ignored.
void DecimalStackSwitch(int from, int to);
void DecimalStackReleaseThread(int slot);

// Initialise (0) / terminate (1): the stack starts empty; terminate also frees every saved
// stack.
void DecimalStackInitTerm(int flag);

// --- introspection for tests ------------------------------------------------------------------
int DecDepth();
// The register at depth d (1 = top), or null when there is none. Borrowed: valid until the next
// stack operation.
const DecRegister* DecPeek(int depth);

}  // namespace vel
