// Typed values: field lookup, comparison by data type code, conversions and consistent hashes.
// Values are read with memcpy: record fields are packed and need not be aligned.
#include "runtime/data/typed_value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/core/decimal.h"
#include "runtime/data/collate_bridge.h"

namespace vel {
namespace {

template <typename T>
T Load(const std::uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

int Sign(long long d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }
int Sign(double a, double b) { return a < b ? -1 : a > b ? 1 : 0; }

bool IsIntegerType(std::uint8_t t) { return t >= kTypeByte && t <= kTypeULong; }
bool IsFloatType(std::uint8_t t) {
  return t == kTypeSReal || t == kTypeReal || t == kTypeReal13 || t == kTypeReal14;
}
bool IsDecimalType(std::uint8_t t) { return t == kTypeDecimal || t == kTypePDecimal; }

long long LoadInteger(std::uint8_t type, const std::uint8_t* p) {
  switch (type) {
    case kTypeByte: return p[0];
    case kTypeShort: return Load<std::int16_t>(p);
    case kTypeUShort: return Load<std::uint16_t>(p);
    case kTypeULong: return Load<std::uint32_t>(p);
    default: return Load<std::int32_t>(p);
  }
}

// The x87 80-bit format: 64-bit mantissa with explicit integer bit, 15-bit biased exponent.
double LoadExtended(const std::uint8_t* p) {
  const auto mantissa = Load<std::uint64_t>(p);
  const auto top = Load<std::uint16_t>(p + 8);
  const int exponent = top & 0x7FFF;
  double v;
  if (exponent == 0x7FFF)
    v = (mantissa << 1) ? NAN : INFINITY;
  else
    v = std::ldexp(static_cast<double>(mantissa), (exponent ? exponent : 1) - 16383 - 63);
  return (top & 0x8000) ? -v : v;
}

double LoadFloat(std::uint8_t type, std::uint32_t size, const std::uint8_t* p) {
  if (type == kTypeSReal || size == 4) return Load<float>(p);
  if (size == 10) return LoadExtended(p);
  return Load<double>(p);
}

// Packed decimals: 2n-1 digit nibbles, most significant first, and a sign nibble.
struct Packed {
  const std::uint8_t* p;
  std::uint32_t size;
  bool leading;  // sign in the first nibble (type 10), else in the last (type 11)
  std::uint32_t Digits() const { return size ? 2 * size - 1 : 0; }
  int Digit(std::uint32_t i) const {  // i = 0 is the most significant
    const std::uint32_t nibble = leading ? i + 1 : i;
    const std::uint8_t b = p[nibble / 2];
    return (nibble & 1) ? (b & 0x0F) : (b >> 4);
  }
  bool Negative() const {
    if (!size) return false;
    return leading ? (p[0] >> 4) != 0 : (p[size - 1] & 0x0F) == 0x0D;
  }
  bool Zero() const {
    for (std::uint32_t i = 0; i < Digits(); ++i)
      if (Digit(i)) return false;
    return true;
  }
  int SignClass() const { return Zero() ? 0 : Negative() ? -1 : 1; }
};

double PackedAsDouble(const Packed& d, std::uint8_t places) {
  double v = 0;
  for (std::uint32_t i = 0; i < d.Digits(); ++i) v = v * 10 + d.Digit(i);
  v /= std::pow(10.0, places);
  return d.Negative() && v != 0 ? -v : v;
}

std::size_t PackedAsText(const Packed& d, std::uint8_t places, char* out, std::size_t size) {
  char buf[80];
  std::size_t n = 0;
  const std::uint32_t digits = d.Digits() < 64 ? d.Digits() : 64;
  const std::uint32_t point = places < digits ? digits - places : 0;
  if (d.SignClass() < 0) buf[n++] = '-';
  bool started = false;
  for (std::uint32_t i = 0; i < digits; ++i) {
    if (i == point && places) {
      if (!started) buf[n++] = '0';
      buf[n++] = '.';
      started = true;
    }
    const int digit = d.Digit(i);
    if (!started && digit == 0 && i + 1 < point) continue;
    started = true;
    buf[n++] = static_cast<char>('0' + (digit > 9 ? 9 : digit));
  }
  if (n == 0) buf[n++] = '0';
  const std::size_t len = size ? (n < size - 1 ? n : size - 1) : 0;
  if (size) {
    std::memcpy(out, buf, len);
    out[len] = 0;
  }
  return len;
}

// Text of a string-typed value without copying.
void TextOf(std::uint8_t type, std::uint32_t size, const std::uint8_t* p, const char** text,
            std::size_t* length) {
  switch (type) {
    case kTypeCString:
      *text = reinterpret_cast<const char*>(p);
      *length = CStringLength(p, size);
      return;
    case kTypePString:
      *text = reinterpret_cast<const char*>(p + 1);
      *length = PStringLength(p, size);
      return;
    default:
      *text = reinterpret_cast<const char*>(p);
      *length = size;
  }
}

std::uint32_t Mix(std::uint32_t h, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) {
    h ^= static_cast<std::uint8_t>(v >> (8 * i));
    h *= 16777619u;
  }
  return h;
}

}  // namespace

FieldKind KindOf(std::uint8_t type) {
  switch (type) {
    case kTypeCString: return FieldKind::kCString;
    case kTypePString: return FieldKind::kPString;
    case kTypeGroup: return FieldKind::kGroup;
    default: return FieldKind::kOther;
  }
}

bool IsStringType(std::uint8_t t) { return t == kTypeString || t == kTypeCString || t == kTypePString; }
bool IsNumericType(std::uint8_t t) { return IsIntegerType(t) || IsFloatType(t) || IsDecimalType(t); }

std::uint32_t CStringLength(const std::uint8_t* p, std::uint32_t size) {
  const void* nul = std::memchr(p, 0, size);
  return nul ? static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(nul) - p) : size;
}

std::uint32_t PStringLength(const std::uint8_t* p, std::uint32_t size) {
  if (size == 0) return 0;
  return p[0] < size ? p[0] : size - 1;
}

const FieldDesc* LayoutField(const RecordLayout& layout, std::int32_t n) {
  if (n < 1 || static_cast<std::uint32_t>(n) > layout.field_count) return nullptr;
  return &layout.fields[n - 1];
}

TypedRef FieldRef(const RecordLayout& layout, std::int32_t n, void* record) {
  const FieldDesc* f = LayoutField(layout, n);
  if (!f || !record) return TypedRef{nullptr, 0, 0, 0};
  return TypedRef{static_cast<std::uint8_t*>(record) + f->offset, f->type, f->places, f->size};
}

namespace {
bool NameEquals(const char* field_name, const char* name, std::size_t length) {
  if (!field_name) return false;
  const std::size_t n = std::strlen(field_name);
  return n == length && collate::EqualNoCase(field_name, name, length);
}
}  // namespace

std::uint32_t FindFieldByName(const RecordLayout& layout, const char* name, std::size_t length) {
  if (!name || length == 0) return 0;
  for (std::uint32_t i = 0; i < layout.field_count; ++i) {
    const FieldDesc& f = layout.fields[i];
    if (NameEquals(f.name, name, length) || NameEquals(f.second_name, name, length)) return i + 1;
  }
  // Without its prefix: "NAME" finds "DLS:NAME".
  for (std::uint32_t i = 0; i < layout.field_count; ++i) {
    const char* colon = layout.fields[i].name ? std::strrchr(layout.fields[i].name, ':') : nullptr;
    if (colon && NameEquals(colon + 1, name, length)) return i + 1;
  }
  return 0;
}

int CompareSameType(std::uint8_t type, std::uint32_t size, std::uint8_t places,
                    const std::uint8_t* a, const std::uint8_t* b) {
  switch (type) {
    case kTypeByte: return Sign(static_cast<long long>(a[0]) - b[0]);
    case kTypeShort: return Sign(static_cast<long long>(Load<std::int16_t>(a)) - Load<std::int16_t>(b));
    case kTypeUShort: return Sign(static_cast<long long>(Load<std::uint16_t>(a)) - Load<std::uint16_t>(b));
    case kTypeLong4:
    case kTypeLong5:
    case kTypeLong: return Sign(static_cast<long long>(Load<std::int32_t>(a)) - Load<std::int32_t>(b));
    case kTypeULong: return Sign(static_cast<long long>(Load<std::uint32_t>(a)) - Load<std::uint32_t>(b));
    case kTypeSReal: return Sign(static_cast<double>(Load<float>(a)), static_cast<double>(Load<float>(b)));
    case kTypeReal:
    case kTypeReal13:
    case kTypeReal14: return Sign(LoadFloat(type, size, a), LoadFloat(type, size, b));
    case kTypeDecimal:
    case kTypePDecimal: {
      return DecComparePacked(type, a, b, size, places);
    }
    default: break;
  }
  const char *ta, *tb;
  std::size_t la, lb;
  TextOf(type, size, a, &ta, &la);
  TextOf(type, size, b, &tb, &lb);
  return CollateTexts(ta, la, tb, lb);
}

int CompareField(const FieldDesc& f, const std::uint8_t* record_a, const std::uint8_t* record_b) {
  const std::uint32_t count = ElementCount(f);
  for (std::uint32_t e = 0; e < count; ++e) {
    const std::uint32_t at = f.offset + e * f.size;
    const int c = CompareSameType(f.type, f.size, f.places, record_a + at, record_b + at);
    if (c) return c;
  }
  return 0;
}

double ValueAsDouble(const TypedRef& v) {
  const auto* p = static_cast<const std::uint8_t*>(v.address);
  if (!p) return 0;
  if (IsIntegerType(v.type)) return static_cast<double>(LoadInteger(v.type, p));
  if (IsFloatType(v.type)) return LoadFloat(v.type, v.size, p);
  if (IsDecimalType(v.type)) return PackedAsDouble(Packed{p, v.size, v.type == kTypeDecimal}, v.places);
  char buf[64];
  ValueAsText(v, buf, sizeof buf);
  return std::strtod(buf, nullptr);
}

std::size_t ValueAsText(const TypedRef& v, char* out, std::size_t size) {
  if (!size) return 0;
  const auto* p = static_cast<const std::uint8_t*>(v.address);
  int n = 0;
  if (!p) {
    out[0] = 0;
    return 0;
  }
  if (IsIntegerType(v.type)) {
    n = std::snprintf(out, size, "%lld", LoadInteger(v.type, p));
  } else if (IsFloatType(v.type)) {
    n = std::snprintf(out, size, "%.15g", LoadFloat(v.type, v.size, p));
  } else if (IsDecimalType(v.type)) {
    return PackedAsText(Packed{p, v.size, v.type == kTypeDecimal}, v.places, out, size);
  } else {
    const char* text;
    std::size_t length;
    TextOf(v.type, v.size, p, &text, &length);
    if (length > size - 1) length = size - 1;
    std::memcpy(out, text, length);
    out[length] = 0;
    return length;
  }
  if (n < 0) n = 0;
  return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

int CompareTyped(const TypedRef& a, const TypedRef& b) {
  const auto* pa = static_cast<const std::uint8_t*>(a.address);
  const auto* pb = static_cast<const std::uint8_t*>(b.address);
  if (!pa || !pb) return pa ? 1 : pb ? -1 : 0;
  if (a.type == b.type && a.size == b.size && a.places == b.places)
    return CompareSameType(a.type, a.size, a.places, pa, pb);
  if (IsNumericType(a.type) && IsNumericType(b.type)) {
    if (IsIntegerType(a.type) && IsIntegerType(b.type))
      return Sign(LoadInteger(a.type, pa) - LoadInteger(b.type, pb));
    return Sign(ValueAsDouble(a), ValueAsDouble(b));
  }
  const char *ta, *tb;
  std::size_t la, lb;
  char bufa[80], bufb[80];
  if (IsNumericType(a.type)) {
    la = ValueAsText(a, bufa, sizeof bufa);
    ta = bufa;
  } else {
    TextOf(a.type, a.size, pa, &ta, &la);
  }
  if (IsNumericType(b.type)) {
    lb = ValueAsText(b, bufb, sizeof bufb);
    tb = bufb;
  } else {
    TextOf(b.type, b.size, pb, &tb, &lb);
  }
  return CollateTexts(ta, la, tb, lb);
}

int CollateTexts(const char* a, std::size_t la, const char* b, std::size_t lb) {
  return collate::Compare(a, la, b, lb);
}

std::uint32_t CollateHash(const char* text, std::size_t length, std::uint32_t seed) {
  return collate::Hash(text, length, seed);
}

std::uint32_t HashValue(std::uint8_t type, std::uint32_t size, std::uint8_t places,
                        const std::uint8_t* p, std::uint32_t seed) {
  (void)places;
  if (IsIntegerType(type)) return Mix(seed, static_cast<std::uint64_t>(LoadInteger(type, p)));
  if (IsFloatType(type)) {
    double d = LoadFloat(type, size, p);
    if (d == 0) d = 0;  // -0 equals 0
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return Mix(seed, bits);
  }
  if (IsDecimalType(type)) {
    const Packed d{p, size, type == kTypeDecimal};
    std::uint32_t h = Mix(seed, static_cast<std::uint64_t>(d.SignClass() + 1));
    for (std::uint32_t i = 0; i < d.Digits(); ++i) h = Mix(h, static_cast<std::uint64_t>(d.Digit(i)));
    return h;
  }
  const char* text;
  std::size_t length;
  TextOf(type, size, p, &text, &length);
  return CollateHash(text, length, seed);
}

}  // namespace vel
