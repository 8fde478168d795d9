// The host side of the seam's OLE automation services (tests, fuzzers, benchmarks only).
//
// A wide string is laid out as on Windows: a 32-bit byte count, the UTF-16 units, a zero unit;
// the pointer handed out is the first unit. There are no code pages: narrow bytes map to the
// units 0..255 one to one and other units become '?'. Variants know the types listed in
// sys::VariantType; conversions follow the platform's rules for those types closely enough
// for the string stack's tests (booleans read as -1 / 0, reals to integers round half even).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/core/sys.h"

namespace vel::sys {

WideString WideAlloc(const WideChar* text, std::uint32_t units) {
  if (units > 0x3FFFFFF0) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(4 + (units + 1) * sizeof(WideChar)));
  if (!block) return nullptr;
  std::uint32_t bytes = units * sizeof(WideChar);
  std::memcpy(block, &bytes, 4);
  auto* s = reinterpret_cast<WideString>(block + 4);
  if (text) std::memcpy(s, text, units * sizeof(WideChar));
  s[units] = 0;
  return s;
}

void WideFree(WideString s) {
  if (s) std::free(reinterpret_cast<unsigned char*>(s) - 4);
}

std::uint32_t WideLength(const WideChar* s) {
  if (!s) return 0;
  std::uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(s) - 4, 4);
  return bytes / sizeof(WideChar);
}

std::uint32_t NarrowToWide(const char* text, std::uint32_t length, WideChar* out,
                           std::uint32_t capacity) {
  if (!out) return length;
  std::uint32_t n = length < capacity ? length : capacity;
  for (std::uint32_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(text[i]);
  return n;
}

std::uint32_t WideToNarrow(const WideChar* text, std::uint32_t units, char* out,
                           std::uint32_t capacity) {
  if (!out) return units;
  std::uint32_t n = units < capacity ? units : capacity;
  for (std::uint32_t i = 0; i < n; ++i) out[i] = text[i] < 256 ? static_cast<char>(text[i]) : '?';
  return n;
}

namespace {
WideString WideFromAscii(const char* text) {
  std::uint32_t n = static_cast<std::uint32_t>(std::strlen(text));
  WideString s = WideAlloc(nullptr, n);
  if (s) NarrowToWide(text, n, s, n);
  return s;
}

bool IsNumeric(std::uint16_t t) {
  return t == kVtEmpty || t == kVtI2 || t == kVtI4 || t == kVtR4 || t == kVtR8 || t == kVtBool;
}

double NumericValue(const Variant* v) {
  switch (v->type) {
    case kVtI2: return v->i2;
    case kVtI4: return v->i4;
    case kVtR4: return v->r4;
    case kVtR8: return v->r8;
    case kVtBool: return v->boolean;
    default: return 0;
  }
}

bool ParseWide(const WideChar* s, double* out) {
  char buf[64];
  std::uint32_t n = WideLength(s);
  if (n == 0 || n >= sizeof buf) return false;
  WideToNarrow(s, n, buf, n);
  buf[n] = 0;
  char* end;
  *out = std::strtod(buf, &end);
  while (*end == ' ') ++end;
  return *end == 0;
}
}  // namespace

void VariantInitialise(Variant* v) {
  std::memset(v, 0, sizeof *v);
  v->type = kVtEmpty;
}

bool VariantCopyTo(Variant* dst, const Variant* src) {
  *dst = *src;
  if (src->type != kVtBstr || !src->text) return true;
  dst->text = WideAlloc(src->text, WideLength(src->text));
  if (dst->text) return true;
  VariantInitialise(dst);
  return false;
}

void VariantRelease(Variant* v) {
  if (v->type == kVtBstr) WideFree(v->text);
  VariantInitialise(v);
}

bool VariantToWide(const Variant* v, WideString* out) {
  *out = nullptr;
  char buf[64];
  switch (v->type) {
    case kVtEmpty: *out = WideAlloc(nullptr, 0); return *out != nullptr;
    case kVtBstr: *out = WideAlloc(v->text, WideLength(v->text)); return *out != nullptr;
    case kVtI2: case kVtI4: case kVtBool:
      std::snprintf(buf, sizeof buf, "%d", static_cast<int>(NumericValue(v)));
      break;
    case kVtR4: case kVtR8:
      std::snprintf(buf, sizeof buf, "%.15G", NumericValue(v));
      break;
    default: return false;
  }
  *out = WideFromAscii(buf);
  return *out != nullptr;
}

bool VariantToReal(const Variant* v, double* out) {
  *out = 0;
  if (IsNumeric(v->type)) {
    *out = NumericValue(v);
    return true;
  }
  return v->type == kVtBstr && ParseWide(v->text, out);
}

bool VariantToInt32(const Variant* v, std::int32_t* out) {
  double d;
  *out = 0;
  if (!VariantToReal(v, &d)) return false;
  d = std::nearbyint(d);
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) return false;
  *out = static_cast<std::int32_t>(d);
  return true;
}

int VariantCompare(const Variant* left, const Variant* right) {
  if (left->type == kVtNull || right->type == kVtNull) return 1;
  bool ls = left->type == kVtBstr, rs = right->type == kVtBstr;
  if (ls && rs) {
    std::uint32_t a = WideLength(left->text), b = WideLength(right->text);
    for (std::uint32_t i = 0; i < a && i < b; ++i)
      if (left->text[i] != right->text[i]) return left->text[i] < right->text[i] ? -1 : 1;
    return a == b ? 0 : (a < b ? -1 : 1);
  }
  if (ls != rs) return ls ? 1 : -1;  // a string sorts after any number
  double a = NumericValue(left), b = NumericValue(right);
  return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace vel::sys
