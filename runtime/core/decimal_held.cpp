// Packed decimal operands held on the stack as packed digits until something needs their
// unpacked form.
//
// A statement C = A + B pushes two packed variables, adds and pops into a third. Unpacking
// both operands into 64 digit bytes and packing the result back costs several times the
// addition itself, so a push of a variable of at most 16 bytes (31 digits) with at most 32
// places keeps the value as 128-bit BCD instead: nibble k is the digit of weight 10^(k - m),
// register index 32 - m + k (at most 63 - m, always inside the register). An addition or
// subtraction of two such values with the same places works on the nibbles, and a pop into a
// variable with the same places writes them back; everything else first writes the digits
// into the register (Materialize), after which the register is exactly what the unpacking
// push would have made. The results are those of the register arithmetic: the same sum, the
// same modulo reduction into the destination, the same canonical zero.
//
// Held value invariants: every nibble 0..9; at most 32 significant nibbles (a held push has at
// most 31, a held sum at most 32); `negative` only when the magnitude is not zero.
#include <cstring>

#include "runtime/core/decimal_internal.h"

namespace vel::dec {
namespace {

constexpr std::uint64_t kNibbleLow = 0x1111111111111111ull;

inline std::uint64_t LoadBig(const std::uint8_t* at) {
  std::uint64_t v;
  std::memcpy(&v, at, 8);
  return __builtin_bswap64(v);
}

inline void StoreBig(std::uint8_t* at, std::uint64_t v) {
  v = __builtin_bswap64(v);
  std::memcpy(at, &v, 8);
}

// The n bytes at `bytes` (n <= 16) as one big-endian number, in the low 8n bits of hi:lo. Two
// overlapping 8-byte loads when n >= 8: the first holds bits 8n-64..8n-1, the last bits 0..63.
inline void LoadNumber(const std::uint8_t* bytes, unsigned n, std::uint64_t& hi, std::uint64_t& lo) {
  if (n < 8) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i) v = (v << 8) | bytes[i];
    hi = 0, lo = v;
    return;
  }
  const unsigned s = 8 * n - 64;
  lo = LoadBig(bytes + n - 8);
  hi = s ? LoadBig(bytes) >> (64 - s) : 0;
}

// The inverse: writes exactly n bytes.
inline void StoreNumber(std::uint8_t* bytes, unsigned n, std::uint64_t hi, std::uint64_t lo) {
  if (n < 8) {
    for (unsigned i = n; i-- > 0; lo >>= 8) bytes[i] = static_cast<std::uint8_t>(lo);
    return;
  }
  const unsigned s = 8 * n - 64;
  StoreBig(bytes, s == 0 ? lo : s == 64 ? hi : (lo >> s) | (hi << (64 - s)));
  StoreBig(bytes + n - 8, lo);
}

// Nibbles A-F are not digits: they read as 0, as the unpacking push reads them.
inline std::uint64_t DropNonDigits(std::uint64_t v) {
  // A nibble is above 9 when bit 3 and (bit 2 or bit 1) are set.
  std::uint64_t bad = v & ((v << 1) | (v << 2)) & (kNibbleLow * 8);
  return v & ~((bad >> 3) * 0xF);
}

// a + b + carry_in per BCD nibble; *carry_out is the carry out of nibble 15.
inline std::uint64_t AddBcd(std::uint64_t a, std::uint64_t b, unsigned carry_in, unsigned* carry_out) {
  std::uint64_t t1 = a + kNibbleLow * 6;  // no overflow: every nibble of a is at most 9
  std::uint64_t t2;
  bool over = __builtin_add_overflow(t1, b, &t2);
  over |= __builtin_add_overflow(t2, std::uint64_t{carry_in}, &t2);
  // Bit 4k of t1 ^ b ^ t2 is the carry into nibble k; nibbles that did not carry still hold
  // their bias of 6.
  std::uint64_t carried = ((t1 ^ b ^ t2) >> 4) | (static_cast<std::uint64_t>(over) << 60);
  std::uint64_t kept = ~carried & kNibbleLow;
  *carry_out = over;
  return t2 - kept * 6;
}

// a - b - borrow_in per BCD nibble; *borrow_out is the borrow out of nibble 15.
inline std::uint64_t SubtractBcd(std::uint64_t a, std::uint64_t b, unsigned borrow_in,
                                 unsigned* borrow_out) {
  std::uint64_t t;
  bool under = __builtin_sub_overflow(a, b, &t);
  under |= __builtin_sub_overflow(t, std::uint64_t{borrow_in}, &t);
  // Bit 4k of a ^ b ^ t is the borrow into nibble k from below, i.e. out of nibble k - 1;
  // a nibble that borrowed holds its digit + 16 and must hold digit + 10.
  std::uint64_t borrowed = ((a ^ b ^ t) >> 4) | (static_cast<std::uint64_t>(under) << 60);
  *borrow_out = under;
  return t - (borrowed & kNibbleLow) * 6;
}

inline int CompareHeld(const HeldValue& a, const HeldValue& b) {
  if (a.hi != b.hi) return a.hi < b.hi ? -1 : 1;
  if (a.lo != b.lo) return a.lo < b.lo ? -1 : 1;
  return 0;
}

// x := |big| - |small|, |big| >= |small|.
inline void SubtractMagnitudes(HeldValue& x, const HeldValue& big, const HeldValue& small) {
  unsigned borrow;
  std::uint64_t lo = SubtractBcd(big.lo, small.lo, 0, &borrow);
  x.hi = SubtractBcd(big.hi, small.hi, borrow, &borrow);
  x.lo = lo;
}

// Eight nibbles (nibble i of v) as eight digit bytes (byte i).
inline std::uint64_t SpreadNibbles(std::uint32_t v) {
  std::uint64_t t = v;
  t = (t | (t << 16)) & 0x0000FFFF0000FFFFull;
  t = (t | (t << 8)) & 0x00FF00FF00FF00FFull;
  return (t & 0x000F000F000F000Full) | ((t & 0x00F000F000F000F0ull) << 4);
}

// Eight digit bytes (byte i) as eight nibbles (nibble i): the inverse of SpreadNibbles.
inline std::uint32_t GatherNibbles(std::uint64_t t) {
  t = (t | (t >> 4)) & 0x00FF00FF00FF00FFull;
  t = (t | (t >> 8)) & 0x0000FFFF0000FFFFull;
  return static_cast<std::uint32_t>(t | (t >> 16));
}

// The quotient q (32 places, `count` limbs) rounded to 31 places as the register division
// rounds it (half up at the 32nd place), held with 31 places when it has at most 32 digits,
// that is when the quotient is below 10; false, h untouched, otherwise.
bool HoldQuotient(HeldValue& h, const std::uint32_t* q, int count, bool negative) {
  if (count > 5) return false;
  // The quotient as 40 nibbles z:y:x (nibble 0 weighing 10^-32), then one nibble lower.
  std::uint64_t n[5] = {};
  for (int i = 0; i < count; ++i) n[i] = GatherNibbles(LimbToDigits(q[i]));
  const std::uint64_t x = n[0] | n[1] << 32, y = n[2] | n[3] << 32, z = n[4];
  if (z >> 4) return false;  // 33 digits or more: 10 or above
  std::uint64_t lo = (x >> 4) | (y << 60), hi = (y >> 4) | (z << 60);
  unsigned carry = 0;
  if ((x & 0xF) >= 5) {
    lo = AddBcd(lo, 1, 0, &carry);
    hi = AddBcd(hi, 0, carry, &carry);
    if (carry) return false;  // rounded up to 10 (no two held operands come this close)
  }
  h.lo = lo;
  h.hi = hi;
  h.places = kDecDivisionPlaces;
  h.negative = negative && (lo | hi) != 0;
  h.held = true;
  return true;
}

// hi:lo rounded to k fewer places, half up as DecRound (k >= 1, so a carry always fits).
void RoundNibbles(std::uint64_t& hi, std::uint64_t& lo, unsigned k) {
  const unsigned first = 4 * (k - 1);  // bit position of the first dropped nibble
  const unsigned dropped = static_cast<unsigned>(
      (first >= 64 ? hi >> (first - 64) : (lo >> first) | (first ? hi << (64 - first) : 0)) & 0xF);
  const unsigned bits = 4 * k;
  if (bits >= 128) {
    hi = 0, lo = 0;
  } else if (bits >= 64) {
    lo = hi >> (bits - 64), hi = 0;
  } else {
    lo = (lo >> bits) | (hi << (64 - bits)), hi >>= bits;
  }
  if (dropped >= 5) {
    unsigned carry;
    lo = AddBcd(lo, 1, 0, &carry);
    hi = AddBcd(hi, 0, carry, &carry);
  }
}

}  // namespace

bool HoldPacked(HeldValue& h, int type, const void* variable, std::uint32_t size,
                std::uint32_t places) {
  if (!variable || size == 0 || size > 16 || places > static_cast<std::uint32_t>(kDecUnits)) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(variable);
  std::uint64_t hi, lo;
  LoadNumber(bytes, size, hi, lo);
  bool negative;
  if (type == kTypePDecimal) {
    negative = (bytes[size - 1] & 0x0F) == 0x0D;
    lo = (lo >> 4) | (hi << 60);  // the sign nibble is the lowest
    hi >>= 4;
  } else {
    negative = (bytes[0] >> 4) != 0;
    // The sign is nibble 2n - 1 of the number.
    const unsigned sign_bit = 8 * size - 4;
    if (sign_bit >= 64) hi &= ~(0xFull << (sign_bit - 64)); else lo &= ~(0xFull << sign_bit);
  }
  h.lo = DropNonDigits(lo);
  h.hi = DropNonDigits(hi);
  h.places = static_cast<std::uint8_t>(places);
  h.negative = negative && (h.lo | h.hi) != 0;
  h.held = true;
  return true;
}

bool AddHeld(HeldValue& left, const HeldValue& right, bool negate_right) {
  if (left.places != right.places) return false;
  // Two held sums of 32 digits could carry past the 128 bits.
  if ((left.hi | right.hi) >> 60) return false;
  const bool right_negative = right.negative != negate_right && (right.lo | right.hi) != 0;
  if (left.negative == right_negative) {
    unsigned carry;
    left.lo = AddBcd(left.lo, right.lo, 0, &carry);
    left.hi = AddBcd(left.hi, right.hi, carry, &carry);
  } else if (CompareHeld(left, right) >= 0) {
    SubtractMagnitudes(left, left, right);
  } else {
    SubtractMagnitudes(left, right, left);
    left.negative = right_negative;
  }
  if ((left.lo | left.hi) == 0) left.negative = false;
  return true;
}

bool PopHeld(const HeldValue& h, int type, void* variable, std::uint32_t size, std::uint32_t places) {
  if (!variable || size == 0 || size > 16 || places > h.places) return false;
  // Rounded to the destination's places, the destination keeps digits 0..2n-2; higher digits
  // are dropped, and what remains of a negative value may be zero.
  const unsigned digits = 2 * size - 1;
  std::uint64_t lo = h.lo, hi = h.hi;
  if (places < h.places) RoundNibbles(hi, lo, h.places - places);
  if (digits >= 16) hi &= ~0ull >> (4 * (32 - digits)); else hi = 0, lo &= ~0ull >> (4 * (16 - digits));
  const bool negative = h.negative && (lo | hi) != 0;
  if (type == kTypePDecimal) {
    hi = (hi << 4) | (lo >> 60);
    lo = (lo << 4) | (negative ? 0x0D : 0x0F);
  } else if (negative) {
    const unsigned sign_bit = 8 * size - 4;
    if (sign_bit >= 64) hi |= 0xFull << (sign_bit - 64); else lo |= 0xFull << sign_bit;
  }
  StoreNumber(static_cast<std::uint8_t*>(variable), size, hi, lo);
  return true;
}

namespace {

// Eight BCD nibbles as their value below 10^8: pairs, then quads, then all eight.
inline std::uint32_t NibblesToLimb(std::uint32_t x) {
  x = (x & 0x0F0F0F0Fu) + ((x >> 4) & 0x0F0F0F0Fu) * 10;
  x = (x & 0x00FF00FFu) + ((x >> 8) & 0x00FF00FFu) * 100;
  return (x & 0xFFFFu) + (x >> 16) * 10000;
}

// The held magnitude as limbs of 8 digits; returns the count without leading zero limbs.
int HeldLimbs(const HeldValue& h, std::uint32_t* limbs) {
  limbs[0] = NibblesToLimb(static_cast<std::uint32_t>(h.lo));
  limbs[1] = NibblesToLimb(static_cast<std::uint32_t>(h.lo >> 32));
  limbs[2] = NibblesToLimb(static_cast<std::uint32_t>(h.hi));
  limbs[3] = NibblesToLimb(static_cast<std::uint32_t>(h.hi >> 32));
  int count = 4;
  while (count > 0 && limbs[count - 1] == 0) --count;
  return count;
}

}  // namespace

void MultiplyHeld(DecRegister& r, HeldValue& left, const HeldValue& right) {
  left.held = false;
  std::uint32_t a[4], b[4];
  const int na = HeldLimbs(left, a), nb = HeldLimbs(right, b);
  if (na == 0 || nb == 0) {
    SetZero(r);
    return;
  }
  // left = A * 10^(bl - 32), right = B * 10^(br - 32) with bl, br their lowest indices (trailing
  // zeros included): the same product, at the same index, as from the trimmed registers.
  const int base = (kDecUnits - left.places) + (kDecUnits - right.places) - kDecUnits;
  MultiplyLimbs(r, a, na, b, nb, base, left.negative != right.negative ? 1 : 0);
}

void DivideHeld(DecRegister& r, HeldValue& left, const HeldValue& right) {
  left.held = false;
  // u has room for 8 shifted limbs, 4 of A and the carry of the scaling, and one more limb
  // that the division's normalisation writes.
  std::uint32_t a[4], u[14] = {}, v[4];
  const int na = HeldLimbs(left, a), n = HeldLimbs(right, v);
  if (na == 0 || n == 0) {
    SetZero(r);
    return;
  }
  // left = A * 10^-pl, right = B * 10^-pr: the quotient truncated to 32 places is
  // A * 10^e / B with e = pr - pl + 32, never negative (places are at most 32) and at most 64:
  // e / 8 zero limbs, then A times 10^(e % 8). The value, and so its truncation, is the one the
  // register division computes from the trimmed digits.
  static constexpr std::uint32_t kTens[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
  const int e = right.places - left.places + kDecUnits;
  const int shift = e / 8;
  std::uint32_t carry = 0;
  if (e % 8 == 0) {
    // Equal places, the common statement: the limbs move whole.
    std::memcpy(u + shift, a, sizeof(std::uint32_t) * na);
  } else {
    const std::uint64_t scale = kTens[e % 8];
    for (int i = 0; i < na; ++i) {
      const std::uint64_t t = a[i] * scale + carry;
      u[shift + i] = static_cast<std::uint32_t>(t % 100000000u);
      carry = static_cast<std::uint32_t>(t / 100000000u);
    }
  }
  u[shift + na] = carry;
  const int m = shift + na + (carry ? 1 : 0);
  std::uint32_t q[14];
  const int count = DivideLimbs(u, m, v, n, q);
  const bool negative = left.negative != right.negative;
  if (!HoldQuotient(left, q, count, negative)) PlaceQuotient(r, q, count, negative ? 1 : 0);
}

void Materialize(DecRegister& r, HeldValue& h) {
  if (!h.held) return;
  h.held = false;
  if ((h.lo | h.hi) == 0) {
    SetZero(r);
    return;
  }
  // The 32 nibbles as a stream of digit bytes S[q] (index bottom + q), word st[1 + i] holding
  // S[8i..8i+7], a zero word on either side; register word w takes S from 8w - bottom on.
  const int bottom = kDecUnits - h.places;
  const std::uint64_t st[6] = {0,
                               SpreadNibbles(static_cast<std::uint32_t>(h.lo)),
                               SpreadNibbles(static_cast<std::uint32_t>(h.lo >> 32)),
                               SpreadNibbles(static_cast<std::uint32_t>(h.hi)),
                               SpreadNibbles(static_cast<std::uint32_t>(h.hi >> 32)),
                               0};
  const int shift = ((-bottom) & 7) * 8;
  std::memset(r.digits, 0, sizeof r.digits);
  for (int w = bottom >> 3; w <= (bottom + 31) >> 3; ++w) {
    const int i = (8 * w - bottom + 8) >> 3;
    const std::uint64_t v = shift ? (st[i] >> shift) | (st[i + 1] << (64 - shift)) : st[i];
    std::memcpy(r.digits + 8 * w, &v, 8);
  }
  // The trimmed range straight from the nibbles: the highest and lowest non-zero ones.
  const int top = h.hi ? 16 + (63 - __builtin_clzll(h.hi)) / 4 : (63 - __builtin_clzll(h.lo)) / 4;
  const int least = h.lo ? __builtin_ctzll(h.lo) / 4 : 16 + __builtin_ctzll(h.hi) / 4;
  r.low = static_cast<std::uint8_t>(bottom + least);
  r.high = static_cast<std::uint8_t>(bottom + top);
  r.sign = h.negative ? 1 : 0;
}

}  // namespace vel::dec
