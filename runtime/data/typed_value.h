// The typed value layer: record layout descriptors, typed value references and the three-way
// comparison of values by data type code.
//
// A record layout descriptor is a flat array of field descriptors in declaration order; field
// number n (1-based) is fields[n-1]. A group (type 22) is a field of its own whose `members`
// following descriptors lie inside it (nested groups count their members too, so the group
// spans fields[i+1 .. i+members]). Offsets are from the start of the record and give the first
// element of every enclosing array; an arrayed field or group repeats `elements` times with a
// stride of `size` bytes. Invariant: offset + size * elements <= record size for every field.
//
// Data type codes: 1 unsigned byte; 2/3 signed/unsigned 16-bit; 4, 5, 6 signed 32-bit; 7
// unsigned 32-bit; 8 32-bit float; 9, 13, 14 floating values whose width is their size (4, 8,
// or 10 for the x87 extended format); 10 leading-sign and 11 trailing-sign packed decimals
// (with `places` fraction digits); 18 fixed string; 19 zero-terminated string; 20
// length-prefixed string; 22 group. Multi-byte values are little-endian, possibly unaligned.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/core/decimal.h"

namespace vel {

enum TypeCode : std::uint8_t {
  kTypeByte = 1,
  kTypeShort = 2,
  kTypeUShort = 3,
  kTypeLong4 = 4,
  kTypeLong5 = 5,
  kTypeLong = 6,
  kTypeULong = 7,
  kTypeSReal = 8,
  kTypeReal = 9,
  // 10 and 11, the packed decimals, are kTypeDecimal and kTypePDecimal of the decimal stack.
  kTypeReal13 = 13,
  kTypeReal14 = 14,
  kTypeString = 18,
  kTypeCString = 19,
  kTypePString = 20,
  kTypeGroup = 22,
};

struct FieldDesc {
  const char* name;         // as declared, e.g. "DLS:NAME"
  const char* second_name;  // a field's external name, or null
  std::uint8_t type;        // TypeCode
  std::uint8_t places;      // fraction digits of packed decimals, else 0
  std::uint32_t size;       // bytes of one element
  std::uint32_t offset;     // from the start of the record
  std::uint32_t elements;   // product of the array dimensions; 1 (or 0) for a scalar
  std::uint32_t members;    // groups: descriptors that follow inside the group; else 0
};

struct RecordLayout {
  std::uint32_t field_count;
  const FieldDesc* fields;
};

// A variable's or field's address with its type; how builtins receive variables.
struct TypedRef {
  void* address;
  std::uint8_t type;
  std::uint8_t places;
  std::uint32_t size;
};

enum class FieldKind { kCString, kPString, kGroup, kOther };
FieldKind KindOf(std::uint8_t type);
inline std::uint32_t ElementCount(const FieldDesc& f) { return f.elements ? f.elements : 1; }
inline std::uint32_t TotalSize(const FieldDesc& f) { return f.size * ElementCount(f); }
bool IsStringType(std::uint8_t type);  // 18, 19, 20
bool IsNumericType(std::uint8_t type);

// Field number n (1-based) of a layout, or null when n is out of range.
const FieldDesc* LayoutField(const RecordLayout& layout, std::int32_t n);
// The reference to field n inside a record buffer (address null when n is out of range).
TypedRef FieldRef(const RecordLayout& layout, std::int32_t n, void* record);
// 1-based number of the field whose name (or second name, or name after its "PREFIX:")
// equals name[0..length) without regard to case; 0 when there is none.
std::uint32_t FindFieldByName(const RecordLayout& layout, const char* name, std::size_t length);

// Three-way comparison of one value of type/size/places at a and b (same type and size).
// Negative, 0 or positive as a sorts before, equal to or after b.
int CompareSameType(std::uint8_t type, std::uint32_t size, std::uint8_t places,
                    const std::uint8_t* a, const std::uint8_t* b);
// A field of two record buffers (every array element in turn; the first difference decides).
int CompareField(const FieldDesc& f, const std::uint8_t* record_a, const std::uint8_t* record_b);
// Any two references: by type when type and size agree, else through the general conversion
// (two numbers compare as 64-bit floats; otherwise both as text under the collation).
int CompareTyped(const TypedRef& a, const TypedRef& b);

// Value conversions used by the general comparison and by displays.
double ValueAsDouble(const TypedRef& v);
// Text of a value (strings without their padding rules applied: fixed strings whole, others to
// their end). Writes at most size-1 bytes and a NUL; returns the length written.
std::size_t ValueAsText(const TypedRef& v, char* out, std::size_t size);

// The collating comparison of two texts: the shorter is extended with blanks, the first
// differing position decides by collation weight. Trailing blanks are never significant.
int CollateTexts(const char* a, std::size_t la, const char* b, std::size_t lb);
// A hash consistent with CollateTexts: texts comparing equal hash alike.
std::uint32_t CollateHash(const char* text, std::size_t length, std::uint32_t seed);
// Consistent hash of one value of a type (values comparing equal under CompareSameType hash
// alike).
std::uint32_t HashValue(std::uint8_t type, std::uint32_t size, std::uint8_t places,
                        const std::uint8_t* p, std::uint32_t seed);

// Calls fn(address, field) for every element of every zero-terminated or length-prefixed
// string field of a record, inside groups and arrays too.
template <typename Fn>
void ForEachVariableString(const RecordLayout& layout, std::uint8_t* record, Fn fn);

// Length of text of a zero-terminated field (to its NUL, at most size) and of a
// length-prefixed one (its first byte, at most size - 1).
std::uint32_t CStringLength(const std::uint8_t* p, std::uint32_t size);
std::uint32_t PStringLength(const std::uint8_t* p, std::uint32_t size);

// ---------------------------------------------------------------------------------------------
namespace detail {
template <typename Fn>
std::uint32_t WalkStrings(const RecordLayout& layout, std::uint32_t first, std::uint32_t end,
                          std::uint8_t* record, std::uint32_t extra, Fn& fn) {
  std::uint32_t i = first;
  while (i < end) {
    const FieldDesc& f = layout.fields[i];
    if (f.type == kTypeGroup) {
      std::uint32_t inner_end = i + 1 + f.members;
      if (inner_end > end) inner_end = end;
      for (std::uint32_t e = 0; e < ElementCount(f); ++e)
        WalkStrings(layout, i + 1, inner_end, record, extra + e * f.size, fn);
      i = inner_end;
      continue;
    }
    if (f.type == kTypeCString || f.type == kTypePString)
      for (std::uint32_t e = 0; e < ElementCount(f); ++e)
        fn(record + f.offset + extra + e * f.size, f);
    ++i;
  }
  return i;
}
}  // namespace detail

template <typename Fn>
void ForEachVariableString(const RecordLayout& layout, std::uint8_t* record, Fn fn) {
  detail::WalkStrings(layout, 0, layout.field_count, record, 0, fn);
}

}  // namespace vel
