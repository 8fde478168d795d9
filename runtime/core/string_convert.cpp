// Conversions of string-stack slots between narrow text, wide system strings, variants and
// pooled strings, and the runtime's real <-> text conversions.
//
// Narrow text is in the platform's ANSI code page; conversions go through the seam's wide
// string and variant services (OLE automation on Windows). A value that cannot be converted,
// or whose conversion cannot get memory, becomes the empty string.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/core/memory.h"
#include "runtime/core/string_stack_internal.h"

namespace vel::sstack {
namespace {

// Wide text -> a narrow heap slot (empty borrowed when there is nothing or no memory).
void WideIntoNarrow(StackSlot* s, const sys::WideChar* w, std::uint32_t units) {
  std::uint32_t n = units ? sys::WideToNarrow(w, units, nullptr, 0) : 0;
  char* block = n ? static_cast<char*>(MemAlloc(n)) : nullptr;
  if (!block) {
    SetBorrowed(s, nullptr, 0);
    return;
  }
  n = sys::WideToNarrow(w, units, block, n);
  SetHeap(s, block, n);
}

std::uint32_t PooledLength(const char* p) {
  std::uint16_t n;
  std::memcpy(&n, p - 2, 2);
  return n;
}

}  // namespace

void MakeNarrow(StackSlot* s) {
  switch (s->kind) {
    case kSlotWideRef:
    case kSlotWideOwned: {
      sys::WideString w = WideOf(s);
      bool owned = s->kind == kSlotWideOwned;
      WideIntoNarrow(s, w, sys::WideLength(w));
      if (owned) sys::WideFree(w);
      break;
    }
    case kSlotVariantRef:
    case kSlotVariantOwned: {
      sys::WideString w = nullptr;
      bool have = sys::VariantToWide(VariantOf(s), &w);
      if (s->kind == kSlotVariantOwned) sys::VariantRelease(VariantOf(s));
      WideIntoNarrow(s, have ? w : nullptr, have ? sys::WideLength(w) : 0);
      sys::WideFree(w);
      break;
    }
    case kSlotPooled:
      SetBorrowed(s, s->text, s->text ? PooledLength(s->text) : 0);
      break;
    default:
      break;
  }
}

void MakeWide(StackSlot* s) {
  if (s->kind == kSlotWideRef || s->kind == kSlotWideOwned) return;
  if (s->kind & 8) {
    sys::WideString w = nullptr;
    if (!sys::VariantToWide(VariantOf(s), &w)) w = nullptr;
    if (s->kind == kSlotVariantOwned) sys::VariantRelease(VariantOf(s));
    s->kind = kSlotWideOwned;
    s->text = reinterpret_cast<char*>(w);
    return;
  }
  if (s->kind == kSlotPooled) MakeNarrow(s);
  std::uint32_t units = s->length ? sys::NarrowToWide(s->text, s->length, nullptr, 0) : 0;
  sys::WideString w = units ? sys::WideAlloc(nullptr, units) : nullptr;
  if (w) sys::NarrowToWide(s->text, s->length, w, units);
  Release(s);
  s->kind = kSlotWideOwned;
  s->text = reinterpret_cast<char*>(w);
}

// Reads a number as the decimal stack's text reading does: leading blanks, an optional "-",
// digits with "." or "," as the decimal point, and an exponent only after a point. Reading
// stops at the first byte that cannot belong to the number; no digits give 0.
double TextToReal(const char* text, std::uint32_t length) {
  char buf[48];
  std::uint32_t n = 0, i = 0;
  while (i < length && text[i] == ' ') ++i;
  if (i < length && text[i] == '-') buf[n++] = text[i++];
  bool digits = false, point = false;
  for (; i < length && n < 40; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      buf[n++] = c;
      digits = true;
    } else if ((c == '.' || c == ',') && !point) {
      buf[n++] = '.';
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return 0;
  if (point && i + 1 < length && (text[i] == 'e' || text[i] == 'E')) {
    std::uint32_t j = i + 1, m = n;
    buf[m++] = 'e';
    if (j < length && (text[j] == '-' || text[j] == '+')) buf[m++] = text[j++];
    std::uint32_t first = j;
    while (j < length && text[j] >= '0' && text[j] <= '9' && m < sizeof buf - 1) buf[m++] = text[j++];
    if (j > first) n = m;
  }
  buf[n] = 0;
  return std::strtod(buf, nullptr);
}

// Fixed notation for decimal exponents -5..14, else d.dddE+xx (always with a point, so that
// the decimal stack's reading takes the exponent). At most 15 significant digits, no trailing
// zeros after a point, no trailing point. At most 22 bytes.
std::uint32_t RealToText(double value, char* out) {
  if (std::isnan(value)) {
    std::memcpy(out, "nan", 3);
    return 3;
  }
  if (std::isinf(value)) {
    std::memcpy(out, value < 0 ? "-inf" : "inf", value < 0 ? 4 : 3);
    return value < 0 ? 4 : 3;
  }
  char e[32];
  std::snprintf(e, sizeof e, "%.14e", value);  // [-]d.dddddddddddddde[+-]xx
  const char* p = e;
  bool negative = *p == '-';
  if (negative) ++p;
  char digits[15];
  int count = 0;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits[count++] = *p;
  int exponent = std::atoi(p + 1);
  while (count > 1 && digits[count - 1] == '0') --count;
  std::uint32_t n = 0;
  if (digits[0] == '0') {  // zero (of either sign) is "0"
    out[0] = '0';
    return 1;
  }
  if (negative) out[n++] = '-';
  if (exponent >= -5 && exponent <= 14) {
    if (exponent < 0) {
      out[n++] = '0';
      out[n++] = '.';
      for (int z = -1; z > exponent; --z) out[n++] = '0';
      for (int k = 0; k < count; ++k) out[n++] = digits[k];
    } else {
      for (int k = 0; k <= exponent; ++k) out[n++] = k < count ? digits[k] : '0';
      if (count > exponent + 1) {
        out[n++] = '.';
        for (int k = exponent + 1; k < count; ++k) out[n++] = digits[k];
      }
    }
    return n;
  }
  out[n++] = digits[0];
  out[n++] = '.';
  if (count == 1) out[n++] = '0';
  for (int k = 1; k < count; ++k) out[n++] = digits[k];
  n += static_cast<std::uint32_t>(std::snprintf(out + n, 8, "E%+d", exponent));
  return n;
}

}  // namespace vel::sstack
