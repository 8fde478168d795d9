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

// Fast path, for variables whose digits all land on register indices (m <= 32 and
// 2n-1-m <= 32, so n <= 32). The variable's 2n nibbles, from its last byte backwards, form a
// stream of 2n digit bytes S[0..2n-1] in register order: S[q] belongs at index base + q.
// Leading-sign: base = bottom and the sign nibble is S[2n-1]; trailing-sign: base = bottom - 1
// and the sign nibble is S[0]. The stream is kept as 64-bit words (S[8i..8i+7] in word i,
// little-endian) and moved to or from the register's digits by whole aligned words: mixing
// byte and word accesses to the same bytes would stall the processor's store forwarding.
constexpr std::uint64_t kLowNibbles = 0x000F000F000F000Full;
constexpr int kStreamWords = 8;   // 2n <= 64 digits

inline std::uint64_t SpreadNibbles(std::uint32_t v) {
  std::uint64_t t = v;
  t = (t | (t << 16)) & 0x0000FFFF0000FFFFull;
  t = (t | (t << 8)) & 0x00FF00FF00FF00FFull;
  std::uint64_t d = (t & kLowNibbles) | ((t & (kLowNibbles << 4)) << 4);
  // Nibbles A-F are not digits: bytes >= 10 become 0.
  std::uint64_t bad = ((d + 0x7676767676767676ull) & 0x8080808080808080ull) >> 7;
  return d & ~(bad * 0xFF);
}

inline std::uint32_t GatherNibbles(std::uint64_t d) {
  std::uint64_t t = (d & kLowNibbles) | ((d >> 4) & (kLowNibbles << 4));
  t = (t | (t >> 8)) & 0x0000FFFF0000FFFFull;
  t = (t | (t >> 16)) & 0xFFFFFFFFull;
  return static_cast<std::uint32_t>(t);
}

// Variable bytes -> stream words st[0..ceil(2n/8)-1]; returns that count.
int Spread(const std::uint8_t* bytes, int size, std::uint64_t* st) {
  int j = size, w = 0;
  for (; j >= 8; j -= 8, w += 2) {
    std::uint64_t v;
    std::memcpy(&v, bytes + j - 8, 8);
    v = __builtin_bswap64(v);  // the variable's last byte first
    st[w] = SpreadNibbles(static_cast<std::uint32_t>(v));
    st[w + 1] = SpreadNibbles(static_cast<std::uint32_t>(v >> 32));
  }
  if (j == 0) return w;
  // The first size % 8 bytes of the variable (its most significant) end the stream.
  std::uint32_t lo = 0, hi = 0;
  for (int k = 0; j > 0; ++k) {
    std::uint32_t b = bytes[--j];
    if (k < 4) lo |= b << (8 * k); else hi |= b << (8 * (k - 4));
  }
  st[w++] = SpreadNibbles(lo);
  if (hi) st[w++] = SpreadNibbles(hi);
  return w;
}

// Stream words -> variable bytes.
void Gather(const std::uint64_t* st, int size, std::uint8_t* bytes) {
  int j = size, w = 0;
  for (; j >= 8; j -= 8, w += 2) {
    std::uint64_t v = GatherNibbles(st[w]) | static_cast<std::uint64_t>(GatherNibbles(st[w + 1])) << 32;
    v = __builtin_bswap64(v);
    std::memcpy(bytes + j - 8, &v, 8);
  }
  if (j == 0) return;
  std::uint64_t v = GatherNibbles(st[w]) | static_cast<std::uint64_t>(GatherNibbles(st[w + 1])) << 32;
  for (int k = 0; j > 0; ++k, v >>= 8) bytes[--j] = static_cast<std::uint8_t>(v);
}

// Zeroes the sign nibble's digit in the stream.
inline void DropSign(std::uint64_t* st, int type, int size) {
  int q = type == kTypePDecimal ? 0 : 2 * size - 1;
  st[q >> 3] &= ~(0xFFull << ((q & 7) * 8));
}

void UnpackFast(DecRegister& r, int type, const std::uint8_t* bytes, int size, int bottom) {
  // st[0] is a zero word before the stream, and zeros follow it.
  std::uint64_t st[1 + kStreamWords + 1] = {};
  int words = Spread(bytes, size, st + 1);
  DropSign(st + 1, type, size);
  // Register word w holds indices 8w..8w+7, the stream's bytes from off = 8w - base on; only
  // the words the stream reaches are computed, the others are zero. The byte shift is the same
  // for every word.
  int base = type == kTypePDecimal ? bottom - 1 : bottom;
  int shift = ((-base) & 7) * 8;
  int w_first = base > 0 ? base >> 3 : 0;
  int w_last = (base + 8 * words - 1) >> 3;
  if (w_last > kDecDigits / 8 - 1) w_last = kDecDigits / 8 - 1;
  std::memset(r.digits, 0, kDecDigits);
  for (int w = w_first; w <= w_last; ++w) {
    int i = (8 * w - base + 8) >> 3;  // st index of the word holding byte 8w - base
    std::uint64_t v = shift ? (st[i] >> shift) | (st[i + 1] << (64 - shift)) : st[i];
    std::memcpy(r.digits + 8 * w, &v, 8);
  }
}

// The register has been rounded to m places (its low is at least `bottom`). Returns whether a
// non-zero digit was written.
bool PackFast(const DecRegister& r, int type, std::uint8_t* bytes, int size, int bottom) {
  // Word by word, with a zero word on either side: the digits were just stored a word at a
  // time, and wider loads would have to wait for those stores to reach the cache.
  std::uint64_t reg[1 + kDecDigits / 8 + 1];
  reg[0] = reg[1 + kDecDigits / 8] = 0;
  for (int w = 0; w < kDecDigits / 8; ++w) std::memcpy(&reg[1 + w], r.digits + 8 * w, 8);
  // Stream word i is the register's bytes from index base + 8i (base >= -1) on.
  int base = type == kTypePDecimal ? bottom - 1 : bottom;
  int shift = (base & 7) * 8;
  std::uint64_t st[kStreamWords] = {};
  int words = (2 * size + 7) / 8;
  for (int i = 0; i < words; ++i) {
    int j = (base + 8 * i + 8) >> 3;
    st[i] = shift ? (reg[j] >> shift) | (reg[j + 1] << (64 - shift)) : reg[j];
  }
  // Digits past the stream's 2n (register digits above the destination) are dropped.
  if (2 * size % 8) st[words - 1] &= ~0ull >> (64 - 8 * (2 * size % 8));
  DropSign(st, type, size);
  std::uint64_t any = 0;
  for (int i = 0; i < words; ++i) any |= st[i];
  Gather(st, size, bytes);
  return any != 0;
}

// Any variable: only digit positions on indices 0..63 can be non-zero. The bytes are zeroed by
// the caller. Returns whether a non-zero digit was written.
bool PackWide(const DecRegister& r, std::uint8_t* bytes, std::uint64_t first_digit_nibble,
              std::int64_t digit_count, std::int64_t top) {
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
  return any;
}

inline bool FitsRegister(std::uint32_t size, std::uint32_t places, std::int64_t top) {
  return places <= static_cast<std::uint32_t>(kDecUnits) && top <= kDecDigits - 1 && size <= 32;
}

}  // namespace

void Unpack(DecRegister& r, int type, const void* variable, std::uint32_t size,
            std::uint32_t places) {
  if (!variable || size == 0) {
    SetZero(r);
    return;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(variable);
  const std::uint64_t first_digit_nibble = type == kTypePDecimal ? 0 : 1;
  const std::int64_t digit_count = 2 * static_cast<std::int64_t>(size) - 1;
  const std::int64_t top = TopIndex(size, places);
  bool negative = type == kTypePDecimal ? (bytes[size - 1] & 0x0F) == 0x0D : (bytes[0] >> 4) != 0;
  if (FitsRegister(size, places, top)) {
    UnpackFast(r, type, bytes, static_cast<int>(size), static_cast<int>(kDecUnits - places));
    r.low = static_cast<std::uint8_t>(kDecUnits - places);
    r.high = static_cast<std::uint8_t>(top);
    r.sign = negative ? 1 : 0;
    Trim(r);
    return;
  }
  // Digits k with 0 <= top - k <= 63.
  SetZero(r);
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
  bool any = false;
  if (FitsRegister(size, places, top)) {
    any = PackFast(r, type, bytes, static_cast<int>(size), static_cast<int>(kDecUnits - places));
  } else {
    std::memset(bytes, 0, size);
    any = PackWide(r, bytes, first_digit_nibble, digit_count, top);
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

namespace {

void PushVariable(int type, const void* variable, std::uint32_t size, std::uint32_t places) {
  DecRegister* r = dec::PushSlot();
  if (!r) return;
  if (!dec::HoldPacked(dec::g_stack.held[dec::g_stack.depth - 1], type, variable, size, places))
    dec::Unpack(*r, type, variable, size, places);
}

void PopVariable(int type, void* variable, std::uint32_t size, std::uint32_t places) {
  dec::EnsureDepth(1);
  const dec::HeldValue& top = dec::g_stack.held[dec::g_stack.depth - 1];
  if (top.held && dec::PopHeld(top, type, variable, size, places)) {
    --dec::g_stack.depth;
    return;
  }
  dec::Pack(dec::PopRegister(), type, variable, size, places);
}

}  // namespace

void DecPushDecimal(const void* variable, std::uint32_t size, std::uint32_t places) {
  PushVariable(kTypeDecimal, variable, size, places);
}

void DecPushPDecimal(const void* variable, std::uint32_t size, std::uint32_t places) {
  PushVariable(kTypePDecimal, variable, size, places);
}

void DecPopDecimal(void* variable, std::uint32_t size, std::uint32_t places) {
  PopVariable(kTypeDecimal, variable, size, places);
}

void DecPopPDecimal(void* variable, std::uint32_t size, std::uint32_t places) {
  PopVariable(kTypePDecimal, variable, size, places);
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
