// Register arithmetic of the decimal stack (see decimal_internal.h for the clean/trimmed form).
//
// Addition, subtraction, comparison and rounding work digit by digit on the unpacked digits.
// Multiplication and division convert the digit strings to limbs of nine digits (base 10^9,
// least significant limb first), work on the limbs with 64-bit intermediates, and unpack the
// result back into digits: the result is the same as a digit-by-digit schoolbook product or
// long division, with a ninth of the steps.
#include <cstring>

#include "runtime/core/decimal_internal.h"

namespace vel::dec {
namespace {

constexpr std::uint32_t kBase = 1000000000u;  // one limb: 9 decimal digits
constexpr int kLimbDigits = 9;
// Widest operand: a 64-digit dividend scaled by up to 10^95 (159 digits) fits 18 limbs.
constexpr int kMaxLimbs = 20;

// Writes the digits low..high of r, preceded by `zeros` zero digits, as limbs. Returns the
// number of limbs without leading zero limbs (0 for a zero value).
int ToLimbs(const DecRegister& r, int zeros, std::uint32_t* limbs) {
  int count = 0;
  std::uint32_t limb = 0, scale = 1;
  int in_limb = 0;
  auto put = [&](std::uint32_t digit) {
    limb += digit * scale;
    scale *= 10;
    if (++in_limb == kLimbDigits) {
      limbs[count++] = limb;
      limb = 0;
      scale = 1;
      in_limb = 0;
    }
  };
  // Whole zero limbs first, then the remainder one digit at a time.
  while (zeros >= kLimbDigits) {
    limbs[count++] = 0;
    zeros -= kLimbDigits;
  }
  in_limb = zeros;
  for (int i = 0; i < zeros; ++i) scale *= 10;
  for (int i = r.low; i <= r.high; ++i) put(r.digits[i]);
  if (in_limb) limbs[count++] = limb;
  while (count > 0 && limbs[count - 1] == 0) --count;
  return count;
}

// Clears r and stores the number in limbs with its least significant digit at index `base`
// (which may be negative: digits below index 0 are dropped, as are digits above 63).
void FromLimbs(DecRegister& r, const std::uint32_t* limbs, int count, int base) {
  std::memset(r.digits, 0, sizeof r.digits);
  int index = base;
  for (int k = 0; k < count && index <= kDecDigits - 1; ++k) {
    std::uint32_t limb = limbs[k];
    for (int j = 0; j < kLimbDigits; ++j, ++index) {
      if (index >= 0 && index < kDecDigits) r.digits[index] = static_cast<std::uint8_t>(limb % 10);
      limb /= 10;
    }
  }
  r.low = 0;
  r.high = kDecDigits - 1;
  Trim(r);
}

// |a| vs |b| for clean registers.
int CompareMagnitudes(const DecRegister& a, const DecRegister& b) {
  int hi = a.high > b.high ? a.high : b.high;
  int lo = a.low < b.low ? a.low : b.low;
  for (int i = hi; i >= lo; --i) {
    if (a.digits[i] != b.digits[i]) return a.digits[i] > b.digits[i] ? 1 : -1;
  }
  return 0;
}

// left := |left| + |right| (sign untouched). A carry out of digit 63 is lost.
void AddMagnitudes(DecRegister& left, const DecRegister& right) {
  int lo = left.low < right.low ? left.low : right.low;
  int hi = left.high > right.high ? left.high : right.high;
  std::uint8_t* d = left.digits;
  const std::uint8_t* e = right.digits;
  unsigned carry = 0;
  for (int i = lo; i <= hi; ++i) {
    unsigned s = d[i] + e[i] + carry;
    carry = s >= 10;
    d[i] = static_cast<std::uint8_t>(carry ? s - 10 : s);
  }
  if (carry && hi < kDecDigits - 1) d[++hi] = 1;
  left.low = static_cast<std::uint8_t>(lo);
  left.high = static_cast<std::uint8_t>(hi);
}

// left := |big| - |small| where |big| >= |small|; left is big or small itself.
void SubtractMagnitudes(DecRegister& left, const DecRegister& big, const DecRegister& small) {
  int lo = big.low < small.low ? big.low : small.low;
  int hi = big.high > small.high ? big.high : small.high;
  unsigned borrow = 0;
  for (int i = lo; i <= hi; ++i) {
    int s = big.digits[i] - small.digits[i] - static_cast<int>(borrow);
    borrow = s < 0;
    left.digits[i] = static_cast<std::uint8_t>(borrow ? s + 10 : s);
  }
  left.low = static_cast<std::uint8_t>(lo);
  left.high = static_cast<std::uint8_t>(hi);
}

// Knuth's long division on limbs: quotient := u / v (remainder discarded). u has m limbs, v has
// n >= 1 limbs without a leading zero; u is overwritten. Returns the quotient's limb count.
int DivideLimbs(std::uint32_t* u, int m, const std::uint32_t* v_in, int n, std::uint32_t* q) {
  if (m < n) return 0;
  if (n == 1) {
    std::uint64_t rem = 0, d = v_in[0];
    for (int i = m - 1; i >= 0; --i) {
      std::uint64_t cur = rem * kBase + u[i];
      q[i] = static_cast<std::uint32_t>(cur / d);
      rem = cur % d;
    }
    int count = m;
    while (count > 0 && q[count - 1] == 0) --count;
    return count;
  }
  // Normalise: scale both so that the divisor's leading limb is at least half the base, which
  // keeps each trial quotient limb at most two too large.
  std::uint32_t v[kMaxLimbs];
  std::uint32_t scale = kBase / (v_in[n - 1] + 1u);
  std::uint64_t carry = 0;
  for (int i = 0; i < n; ++i) {
    std::uint64_t t = static_cast<std::uint64_t>(v_in[i]) * scale + carry;
    v[i] = static_cast<std::uint32_t>(t % kBase);
    carry = t / kBase;
  }
  carry = 0;
  for (int i = 0; i < m; ++i) {
    std::uint64_t t = static_cast<std::uint64_t>(u[i]) * scale + carry;
    u[i] = static_cast<std::uint32_t>(t % kBase);
    carry = t / kBase;
  }
  u[m] = static_cast<std::uint32_t>(carry);

  const std::uint64_t vtop = v[n - 1], vnext = v[n - 2];
  for (int j = m - n; j >= 0; --j) {
    std::uint64_t num = static_cast<std::uint64_t>(u[j + n]) * kBase + u[j + n - 1];
    std::uint64_t qhat = num / vtop, rhat = num % vtop;
    while (qhat >= kBase || qhat * vnext > rhat * kBase + u[j + n - 2]) {
      --qhat;
      rhat += vtop;
      if (rhat >= kBase) break;
    }
    // u[j..j+n] -= qhat * v
    std::uint64_t mul_carry = 0;
    std::int64_t borrow = 0;
    for (int i = 0; i < n; ++i) {
      std::uint64_t p = qhat * v[i] + mul_carry;
      mul_carry = p / kBase;
      std::int64_t t = static_cast<std::int64_t>(u[i + j]) -
                       static_cast<std::int64_t>(p % kBase) - borrow;
      borrow = t < 0;
      u[i + j] = static_cast<std::uint32_t>(t < 0 ? t + kBase : t);
    }
    std::int64_t top = static_cast<std::int64_t>(u[j + n]) -
                       static_cast<std::int64_t>(mul_carry) - borrow;
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
}

bool IsZero(const DecRegister& r) {
  for (int i = r.low; i <= r.high; ++i) {
    if (r.digits[i]) return false;
  }
  return true;
}

void Trim(DecRegister& r) {
  int lo = r.low, hi = r.high;
  while (hi > lo && r.digits[hi] == 0) --hi;
  while (lo < hi && r.digits[lo] == 0) ++lo;
  if (lo == hi && r.digits[lo] == 0) {
    r.low = r.high = kDecUnits;
    r.sign = 0;
    return;
  }
  r.low = static_cast<std::uint8_t>(lo);
  r.high = static_cast<std::uint8_t>(hi);
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
  std::uint32_t a[kMaxLimbs], b[kMaxLimbs], p[2 * kMaxLimbs];
  int na = ToLimbs(left, 0, a);
  int nb = ToLimbs(right, 0, b);
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
  // The product's lowest digit weighs 10^(l1-32) * 10^(l2-32): index l1 + l2 - 32; digits
  // below index 0 (past the 32nd place) are dropped, not rounded.
  int base = left.low + right.low - kDecUnits;
  std::uint8_t sign = left.sign ^ right.sign;
  FromLimbs(left, p, na + nb, base);
  if (!IsZero(left)) left.sign = sign;
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
  std::uint32_t u[kMaxLimbs + 1], v[kMaxLimbs], q[kMaxLimbs];
  int m = ToLimbs(left, e > 0 ? e : 0, u);
  int n = ToLimbs(right, e < 0 ? -e : 0, v);
  int count = DivideLimbs(u, m, v, n, q);
  std::uint8_t sign = left.sign ^ right.sign;
  FromLimbs(left, q, count, 0);
  if (!IsZero(left)) left.sign = sign;
  Round(left, kDecDivisionPlaces);
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
