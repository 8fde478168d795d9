// Register arithmetic of the decimal stack (see decimal_internal.h for the clean/trimmed form).
//
// Addition, subtraction, comparison and rounding work on the unpacked digits, eight at a time
// in 64-bit words. Multiplication and division convert the digit strings to limbs of eight
// digits (base 10^8, least significant limb first), work on the limbs with 64-bit
// intermediates, and unpack the result back into digits: the result is the same as a
// digit-by-digit schoolbook product or long division, with an eighth of the steps.
#include <bit>
#include <cstring>

#include "runtime/core/decimal_internal.h"

namespace vel::dec {
namespace {

// Eight digits at a time: a 64-bit word holds digits 8w..8w+7, the highest index in the most
// significant byte (little-endian), so comparing words compares eight digits at once, and a
// decimal carry is a binary carry after biasing each byte by 246 (= 256 - 10).
static_assert(std::endian::native == std::endian::little, "digit words are little-endian");
constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kBias = kOnes * 246;

inline std::uint64_t LoadWord(const std::uint8_t* digits, int w) {
  std::uint64_t v;
  std::memcpy(&v, digits + 8 * w, 8);
  return v;
}

inline void StoreWord(std::uint8_t* digits, int w, std::uint64_t v) {
  std::memcpy(digits + 8 * w, &v, 8);
}

constexpr std::uint32_t kBase = 100000000u;  // one limb: 8 decimal digits
// Widest operand: a 64-digit dividend scaled by up to 10^95 (159 digits) fits 20 limbs.
constexpr int kMaxLimbs = 24;

// Eight digits (byte i weighing 10^i) as a number below 10^8: pairs, then quads, then all.
inline std::uint32_t DigitsToLimb(std::uint64_t x) {
  x = (x & 0x00FF00FF00FF00FFull) + ((x >> 8) & 0x00FF00FF00FF00FFull) * 10;
  x = (x & 0x0000FFFF0000FFFFull) + ((x >> 16) & 0x0000FFFF0000FFFFull) * 100;
  return static_cast<std::uint32_t>((x & 0xFFFFFFFFull) + (x >> 32) * 10000);
}

// Writes the digits low..high of r, preceded by `zeros` zero digits, as limbs. Returns the
// number of limbs without leading zero limbs (0 for a zero value).
int ToLimbs(const DecRegister& r, int zeros, std::uint32_t* limbs) {
  // Limb k is the 8 digits from index start + 8k; indices below 0 read as zero, and so do
  // those below low (the register is clean). One zero word pads each side of the copy.
  std::uint64_t words[1 + kDecDigits / 8 + 1];
  words[0] = words[1 + kDecDigits / 8] = 0;
  for (int w = 0; w < kDecDigits / 8; ++w) words[1 + w] = LoadWord(r.digits, w);
  int start = r.low - zeros;
  int count = (r.high - start) / 8 + 1;
  for (int k = 0; k < count; ++k) {
    int idx = start + 8 * k;
    if (idx <= -8) {
      limbs[k] = 0;
      continue;
    }
    int off = idx + 8, i = off >> 3, shift = (off & 7) * 8;
    std::uint64_t x = shift ? (words[i] >> shift) | (words[i + 1] << (64 - shift)) : words[i];
    limbs[k] = DigitsToLimb(x);
  }
  while (count > 0 && limbs[count - 1] == 0) --count;
  return count;
}

// Stores the number in limbs into r (replacing its digits) with its least significant digit at
// index `base`, which may be negative: digits below index 0 are dropped, as are digits above 63.
void FromLimbs(DecRegister& r, const std::uint32_t* limbs, int count, int base) {
  // The limbs' digits form a stream of words, st[1 + k] for limb k, zero around it; register
  // word w takes the stream's bytes from 8w - base on.
  std::uint64_t st[1 + 2 * kMaxLimbs + 1];
  st[0] = 0;
  for (int k = 0; k < count; ++k) st[1 + k] = LimbToDigits(limbs[k]);
  st[1 + count] = 0;
  int shift = ((-base) & 7) * 8;
  for (int w = 0; w < kDecDigits / 8; ++w) {
    int off = 8 * w - base;
    std::uint64_t v = 0;
    if (off > -8 && off < 8 * count) {
      int i = (off + 8) >> 3;
      v = shift ? (st[i] >> shift) | (st[i + 1] << (64 - shift)) : st[i];
    }
    StoreWord(r.digits, w, v);
  }
  r.low = 0;
  r.high = kDecDigits - 1;
  Trim(r);
}

// |a| vs |b| for clean registers.
int CompareMagnitudes(const DecRegister& a, const DecRegister& b) {
  int hi = a.high > b.high ? a.high : b.high;
  int lo = a.low < b.low ? a.low : b.low;
  for (int w = hi >> 3; w >= lo >> 3; --w) {
    std::uint64_t x = LoadWord(a.digits, w), y = LoadWord(b.digits, w);
    if (x != y) return x > y ? 1 : -1;
  }
  return 0;
}

// left := |left| + |right| (sign untouched). A carry out of digit 63 is lost. Whole words are
// added: digits outside both ranges are 0 and stay 0.
void AddMagnitudes(DecRegister& left, const DecRegister& right) {
  int lo = left.low < right.low ? left.low : right.low;
  int hi = left.high > right.high ? left.high : right.high;
  std::uint64_t carry = 0;
  for (int w = lo >> 3; w <= hi >> 3; ++w) {
    std::uint64_t a = LoadWord(left.digits, w);
    std::uint64_t b = LoadWord(right.digits, w) + kBias;  // bytes <= 255: no carry between them
    std::uint64_t t;
    bool over = __builtin_add_overflow(a, b, &t);
    over |= __builtin_add_overflow(t, carry, &t);
    // Bit 8i+8 of a^b^t is the carry out of byte i; byte 7's is the word's overflow.
    std::uint64_t out = (((a ^ b ^ t) >> 8) & kOnes) | (static_cast<std::uint64_t>(over) << 56);
    // A byte that carried holds a + b + c - 10 already; the others still carry the bias.
    t -= (~out & kOnes) * 246;
    StoreWord(left.digits, w, t);
    carry = over;
  }
  // A carry out of digit hi lands on hi + 1: inside the last word by itself, or here when hi
  // ends that word.
  if (hi < kDecDigits - 1) {
    if (carry) left.digits[hi + 1] = 1;
    ++hi;
  }
  left.low = static_cast<std::uint8_t>(lo);
  left.high = static_cast<std::uint8_t>(hi);
}

// left := |big| - |small| where |big| >= |small|; left is big or small itself.
void SubtractMagnitudes(DecRegister& left, const DecRegister& big, const DecRegister& small) {
  int lo = big.low < small.low ? big.low : small.low;
  int hi = big.high > small.high ? big.high : small.high;
  std::uint64_t borrow = 0;
  for (int w = lo >> 3; w <= hi >> 3; ++w) {
    std::uint64_t x = LoadWord(big.digits, w), y = LoadWord(small.digits, w);
    std::uint64_t t;
    bool under = __builtin_sub_overflow(x, y, &t);
    under |= __builtin_sub_overflow(t, borrow, &t);
    std::uint64_t out = (((x ^ y ^ t) >> 8) & kOnes) | (static_cast<std::uint64_t>(under) << 56);
    // A byte that borrowed holds x - y - b + 256; x - y - b + 10 is 246 less.
    t -= (out & kOnes) * 246;
    StoreWord(left.digits, w, t);
    borrow = under;
  }
  left.low = static_cast<std::uint8_t>(lo);
  left.high = static_cast<std::uint8_t>(hi);
}

}  // namespace

namespace {

// out := x * scale (x has `count` limbs, scale < kBase; out may be x); returns the carry limb.
// Each product is split on its own and the carries between limbs are 0 or 1, so the products
// do not wait for one another.
inline std::uint32_t ScaleLimbs(const std::uint32_t* x, int count, std::uint32_t scale,
                                std::uint32_t* out) {
  std::uint32_t high = 0, carry = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint64_t t = static_cast<std::uint64_t>(x[i]) * scale;
    std::uint32_t limb = static_cast<std::uint32_t>(t % kBase) + high + carry;
    high = static_cast<std::uint32_t>(t / kBase);
    carry = limb >= kBase;
    out[i] = limb - (carry ? kBase : 0);
  }
  return high + carry;
}

// Knuth's algorithm D on limbs; kN > 0 fixes the divisor's length at compile time (n == kN), so
// that the short divisors of packed variables (at most 4 limbs) run with unrolled loops and the
// divisor in registers. Every instance computes the same quotient.
template <int kN>
int KnuthDivide(std::uint32_t* u, int m, const std::uint32_t* v_in, int n_runtime, std::uint32_t* q) {
  const int n = kN ? kN : n_runtime;
  // Normalise: scale both so that the divisor's leading limb is at least half the base, which
  // keeps each trial quotient limb at most two too large.
  std::uint32_t v[kN ? kN : kMaxLimbs];
  const std::uint32_t scale = kBase / (v_in[n - 1] + 1u);
  ScaleLimbs(v_in, n, scale, v);
  // A quotient with places has a dividend ending in zero limbs, which stay zero.
  int low = 0;
  while (low < m && u[low] == 0) ++low;
  u[m] = ScaleLimbs(u + low, m - low, scale, u + low);

  const std::uint64_t vtop = v[n - 1], vnext = v[n - 2];
  for (int j = m - n; j >= 0; --j) {
    std::uint64_t num = static_cast<std::uint64_t>(u[j + n]) * kBase + u[j + n - 1];
    std::uint64_t qhat = num / vtop, rhat = num % vtop;
    while (qhat >= kBase || qhat * vnext > rhat * kBase + u[j + n - 2]) {
      --qhat;
      rhat += vtop;
      if (rhat >= kBase) break;
    }
    // u[j..j+n] -= qhat * v. The products are split into limbs first, independently of each
    // other, so that only a short borrow (0..2) runs from limb to limb: limb i subtracts the low
    // half of product i and the high half of product i - 1 (each below the base).
    std::uint32_t lo[kN ? kN : kMaxLimbs], hi[kN ? kN : kMaxLimbs];
    for (int i = 0; i < n; ++i) {
      const std::uint64_t p = qhat * v[i];
      hi[i] = static_cast<std::uint32_t>(p / kBase);
      lo[i] = static_cast<std::uint32_t>(p % kBase);
    }
    std::int64_t borrow = 0;
    std::uint32_t below = 0;  // the high half of the product one limb lower
    for (int i = 0; i < n; ++i) {
      std::int64_t t = static_cast<std::int64_t>(u[i + j]) - lo[i] - below - borrow;
      below = hi[i];
      // t >= -2 * kBase: bring it into 0..kBase - 1.
      borrow = (t < 0) + (t < -static_cast<std::int64_t>(kBase));
      u[i + j] = static_cast<std::uint32_t>(t + borrow * kBase);
    }
    std::int64_t top = static_cast<std::int64_t>(u[j + n]) - below - borrow;
    if (top < 0) {
      // qhat was one too large: add the divisor back.
      --qhat;
      std::uint64_t add_carry = 0;
      for (int i = 0; i < n; ++i) {
        std::uint64_t s = static_cast<std::uint64_t>(u[i + j]) + v[i] + add_carry;
        u[i + j] = static_cast<std::uint32_t>(s % kBase);
        add_carry = s / kBase;
      }
      top += static_cast<std::int64_t>(add_carry);
    }
    u[j + n] = static_cast<std::uint32_t>(top);
    q[j] = static_cast<std::uint32_t>(qhat);
  }
  int count = m - n + 1;
  while (count > 0 && q[count - 1] == 0) --count;
  return count;
}

}  // namespace

int DivideLimbs(std::uint32_t* u, int m, const std::uint32_t* v, int n, std::uint32_t* q) {
  if (m < n) return 0;
  if (n == 1) {
    std::uint64_t rem = 0, d = v[0];
    for (int i = m - 1; i >= 0; --i) {
      std::uint64_t cur = rem * kBase + u[i];
      q[i] = static_cast<std::uint32_t>(cur / d);
      rem = cur % d;
    }
    int count = m;
    while (count > 0 && q[count - 1] == 0) --count;
    return count;
  }
  switch (n) {
    case 2: return KnuthDivide<2>(u, m, v, n, q);
    case 3: return KnuthDivide<3>(u, m, v, n, q);
    case 4: return KnuthDivide<4>(u, m, v, n, q);
    default: return KnuthDivide<0>(u, m, v, n, q);
  }
}

namespace {

void SetOne(DecRegister& r) {
  SetZero(r);
  r.digits[kDecUnits] = 1;
}

}  // namespace

void SetZero(DecRegister& r) {
  std::memset(r.digits, 0, sizeof r.digits);
  r.sign = 0;
  r.low = r.high = kDecUnits;
}

void SetUnsigned(DecRegister& r, std::uint32_t magnitude, bool negative) {
  std::memset(r.digits, 0, sizeof r.digits);
  int i = kDecUnits;
  do {
    r.digits[i++] = static_cast<std::uint8_t>(magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  r.low = kDecUnits;
  r.high = static_cast<std::uint8_t>(i - 1);
  r.sign = negative ? 1 : 0;
  Trim(r);
}

bool IsZero(const DecRegister& r) {
  // Trimmed: a non-zero value has a non-zero digit at high.
  return r.digits[r.high] == 0;
}

void Trim(DecRegister& r) {
  // Whole words: digits outside low..high are 0, so the first non-zero word from either end
  // holds the new high or low digit.
  int wh = r.high >> 3, wl = r.low >> 3;
  std::uint64_t top = LoadWord(r.digits, wh);
  while (top == 0 && wh > wl) top = LoadWord(r.digits, --wh);
  if (top == 0) {
    r.low = r.high = kDecUnits;
    r.sign = 0;
    return;
  }
  std::uint64_t bottom = LoadWord(r.digits, wl);
  while (bottom == 0) bottom = LoadWord(r.digits, ++wl);
  r.high = static_cast<std::uint8_t>(8 * wh + (63 - std::countl_zero(top)) / 8);
  r.low = static_cast<std::uint8_t>(8 * wl + std::countr_zero(bottom) / 8);
}

void Sanitize(DecRegister& r) {
  if (r.high > kDecDigits - 1) r.high = kDecDigits - 1;
  if (r.low > r.high) r.low = r.high;
  r.sign = r.sign ? 1 : 0;
  for (int i = 0; i < kDecDigits; ++i) {
    if (i < r.low || i > r.high || r.digits[i] > 9) r.digits[i] = 0;
  }
  Trim(r);
}

int Compare(const DecRegister& left, const DecRegister& right) {
  // Sign classes first; an all-zero register is 0 whatever its sign.
  int lc = IsZero(left) ? 0 : (left.sign ? -1 : 1);
  int rc = IsZero(right) ? 0 : (right.sign ? -1 : 1);
  if (lc != rc) return lc < rc ? -1 : 1;
  if (lc == 0) return 0;
  int m = CompareMagnitudes(left, right);
  return lc < 0 ? -m : m;
}

void Add(DecRegister& left, const DecRegister& right, bool negate_right) {
  std::uint8_t right_sign = right.sign ^ (negate_right ? 1 : 0);
  if (left.sign == right_sign) {
    AddMagnitudes(left, right);
  } else if (CompareMagnitudes(left, right) >= 0) {
    SubtractMagnitudes(left, left, right);
  } else {
    SubtractMagnitudes(left, right, left);
    left.sign = right_sign;
  }
  Trim(left);
}

void Multiply(DecRegister& left, const DecRegister& right) {
  if (IsZero(left) || IsZero(right)) {
    SetZero(left);
    return;
  }
  std::uint32_t a[kMaxLimbs], b[kMaxLimbs];
  int na = ToLimbs(left, 0, a);
  int nb = ToLimbs(right, 0, b);
  // The product's lowest digit weighs 10^(l1-32) * 10^(l2-32): index l1 + l2 - 32; digits
  // below index 0 (past the 32nd place) are dropped, not rounded.
  MultiplyLimbs(left, a, na, b, nb, left.low + right.low - kDecUnits, left.sign ^ right.sign);
}

void MultiplyLimbs(DecRegister& r, const std::uint32_t* a, int na, const std::uint32_t* b, int nb,
                   int base, std::uint8_t sign) {
  std::uint32_t p[2 * kMaxLimbs];
  std::memset(p, 0, sizeof(std::uint32_t) * (na + nb));
  for (int i = 0; i < na; ++i) {
    std::uint64_t carry = 0;
    for (int j = 0; j < nb; ++j) {
      std::uint64_t t = static_cast<std::uint64_t>(a[i]) * b[j] + p[i + j] + carry;
      p[i + j] = static_cast<std::uint32_t>(t % kBase);
      carry = t / kBase;
    }
    p[i + nb] = static_cast<std::uint32_t>(carry);
  }
  FromLimbs(r, p, na + nb, base);
  r.sign = IsZero(r) ? 0 : sign;
}

void Divide(DecRegister& left, const DecRegister& right) {
  if (IsZero(left) || IsZero(right)) {
    SetZero(left);
    return;
  }
  // With A and B the operands' digit strings read as integers, left = A * 10^(la-32) and
  // right = B * 10^(lb-32); the quotient truncated to 32 places is Q = A * 10^e / B with
  // e = la - lb + 32, Q's units going to index 0. A negative e scales B instead.
  int e = left.low - right.low + kDecUnits;
  std::uint32_t u[kMaxLimbs + 1], v[kMaxLimbs];
  int m = ToLimbs(left, e > 0 ? e : 0, u);
  int n = ToLimbs(right, e < 0 ? -e : 0, v);
  DivideLimbsInto(left, u, m, v, n, left.sign ^ right.sign);
}

void DivideLimbsInto(DecRegister& r, std::uint32_t* u, int m, const std::uint32_t* v, int n,
                     std::uint8_t sign) {
  std::uint32_t q[kMaxLimbs];
  PlaceQuotient(r, q, DivideLimbs(u, m, v, n, q), sign);
}

void PlaceQuotient(DecRegister& r, const std::uint32_t* q, int count, std::uint8_t sign) {
  FromLimbs(r, q, count, 0);
  r.sign = IsZero(r) ? 0 : sign;
  Round(r, kDecDivisionPlaces);
}

void Power(DecRegister& r, std::int32_t exponent) {
  // Square-and-multiply over the bits of |exponent|; a negative exponent takes the reciprocal.
  std::uint32_t bits = exponent < 0 ? 0u - static_cast<std::uint32_t>(exponent)
                                    : static_cast<std::uint32_t>(exponent);
  DecRegister base = r, result;
  SetOne(result);
  while (bits) {
    if (bits & 1u) Multiply(result, base);
    bits >>= 1;
    if (bits) Multiply(base, base);
  }
  if (exponent < 0) {
    SetOne(r);
    Divide(r, result);
  } else {
    r = result;
  }
}

void Round(DecRegister& r, std::int32_t places) {
  // new_low = 32 - places, computed wide: huge place counts must not wrap.
  std::int64_t wide_low = static_cast<std::int64_t>(kDecUnits) - places;
  if (wide_low <= r.low) return;  // no digit below the new low: nothing changes
  int new_low = wide_low > kDecDigits ? kDecDigits : static_cast<int>(wide_low);
  int first_dropped = new_low - 1;
  bool up = first_dropped <= r.high && r.digits[first_dropped] >= 5;
  int clear_to = first_dropped < r.high ? first_dropped : r.high;
  std::memset(r.digits + r.low, 0, clear_to - r.low + 1);
  if (new_low > r.high) {
    // Every digit was below the new low: the value is 0 or one unit at the new low.
    if (up && new_low < kDecDigits) {
      r.digits[new_low] = 1;
      r.low = r.high = static_cast<std::uint8_t>(new_low);
    } else {
      SetZero(r);
    }
    return;
  }
  r.low = static_cast<std::uint8_t>(new_low);
  if (up) {
    int i = new_low;
    while (i <= r.high && r.digits[i] == 9) r.digits[i++] = 0;
    if (i <= r.high) {
      ++r.digits[i];
    } else if (i < kDecDigits) {
      r.digits[i] = 1;
      r.high = static_cast<std::uint8_t>(i);
    }
  }
  Trim(r);
}

void Truncate(DecRegister& r) {
  if (r.low >= kDecUnits) return;
  if (r.high < kDecUnits) {
    SetZero(r);
    return;
  }
  std::memset(r.digits + r.low, 0, kDecUnits - r.low);
  r.low = kDecUnits;
  Trim(r);
}

void Negate(DecRegister& r) {
  if (!IsZero(r)) r.sign ^= 1;
}

void Scale(DecRegister& r, int exponent) {
  if (exponent == 0 || IsZero(r)) return;
  // Digits moved below index 0 are dropped, as a long division stops at index 0; the rounding
  // to 31 places that a division ends with follows.
  std::uint8_t moved[kDecDigits] = {};
  for (int i = r.low; i <= r.high; ++i) {
    int to = i + exponent;
    if (to >= 0 && to < kDecDigits) moved[to] = r.digits[i];
  }
  std::uint8_t sign = r.sign;
  std::memcpy(r.digits, moved, kDecDigits);
  r.low = 0;
  r.high = kDecDigits - 1;
  Trim(r);
  if (!IsZero(r)) r.sign = sign;
  if (exponent < 0) Round(r, kDecDivisionPlaces);
}

}  // namespace vel::dec
