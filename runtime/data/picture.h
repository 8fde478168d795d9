// Pictures: the compiled form of "@N9.2", "@S40", "@P###-####P", "@E12.2", "@K...K", "@D1",
// "@T3", and the two engines that use it, FORMAT (value -> display text) and DEFORMAT (display
// text -> value text).
//
// Compiled picture, 520 bytes on the 32-bit target (the pointer at 516 is wider on a 64-bit host):
//   0   16-bit  bits 0-2 kind, bits 3-5 value class, bit 6 blank-when-zero, bits 7-14 width
//   2   16-bit  date/time pictures: layout summary kept by the compiler (bits 0-2 number of year
//               items, bit 3 month-name items present, bit 4 AM/PM item present, bit 7 set)
//   4   8-bit   date pictures: two-digit-year window
//   5   8-bit   date/time pictures: picture number
//   6   2*width item character, item code (one item per output character)
//   516 pointer the picture text it was compiled from (borrowed from the caller)
// Invariant: an invalid picture is all zero (width 0); otherwise 1 <= width <= 255 and, for
// every kind but @S, exactly `width` items are filled in. Nothing ever writes past item 254.
//
// Entry controls and list columns use the same block; nothing else describes a picture.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vel {

enum PictureKind : std::uint8_t {
  kPicNumeric = 0, kPicScientific = 1, kPicDate = 2, kPicTime = 3,
  kPicPattern = 4, kPicString = 5, kPicKeyIn = 6,
};
enum PictureClass : std::uint8_t { kClassString = 0, kClassReal = 1, kClassRealE = 2, kClassDecimal = 3 };

enum ItemCode : std::uint8_t {
  kItemLiteral = 0, kItemGroup = 1, kItemPoint = 2, kItemDigit = 3, kItemDigitBlank = 4,
  kItemSign = 5, kItemCurrency = 6, kItemMonth = 7, kItemDay = 8, kItemYear = 9,
  kItemMonthName = 10, kItemHour = 11, kItemMinute = 12, kItemSecond = 13,
  kItemKeyAt = 14, kItemKeyCaret = 15, kItemKeyUnderscore = 16, kItemKeyQuestion = 17,
  kItemSeparator = 19, kItemAmPm = 20, kItemExponentSign = 21, kItemImpliedPoint = 22,
  kItemKeyBar = 23,
};

constexpr int kPictureMaxWidth = 255;
constexpr int kPictureTextMax = 255;

#pragma pack(push, 4)  // keeps the text pointer at 516 on a 64-bit host too
struct CompiledPicture {
  std::uint16_t header;
  std::uint16_t layout;
  std::uint8_t window;
  std::uint8_t number;
  std::uint8_t items[2 * kPictureMaxWidth];
  const char* text;

  int Kind() const { return header & 7; }
  int Class() const { return (header >> 3) & 7; }
  bool BlankWhenZero() const { return (header >> 6) & 1; }
  int Width() const { return (header >> 7) & 0xFF; }
  bool Valid() const { return Width() != 0; }
  char ItemChar(int i) const { return static_cast<char>(items[2 * i]); }
  int ItemCode(int i) const { return items[2 * i + 1]; }
};
#pragma pack(pop)
static_assert(offsetof(CompiledPicture, items) == 6, "items start at offset 6");
static_assert(offsetof(CompiledPicture, text) == 516, "the picture text pointer is at 516");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(CompiledPicture) == 520, "a compiled picture is 520 bytes");
#endif

// Compiles length bytes of picture text (null: a string picture of width 255). Always fills the
// whole block; an invalid picture leaves it all zero and returns false. Posts no error.
bool CompilePicture(const char* text, std::uint32_t length, CompiledPicture* out);
bool CompilePicture(const char* text, CompiledPicture* out);  // zero-terminated (or null)

// A number as a plain digit string: value = 0.d0 d1 d2 ... x 10^point, sign apart.
// Leading zeros are never stored (count 0 is zero); trailing zeros may be.
constexpr int kMaxDigits = 96;
struct DigitString {
  bool negative;
  int point;                  // number of integer digits (may be <= 0 or > count)
  int count;
  std::uint8_t digit[kMaxDigits];  // 0..9, digit[0] != 0 when count > 0
  bool IsZero() const;
};
// Readers. FromText follows the decimal stack's text rules (leading blanks, "-", "." or ","
// for the point, an exponent only after a point); FromReal keeps 15 significant digits.
void DigitsFromText(const char* text, std::uint32_t length, DigitString* out);
void DigitsFromReal(double value, DigitString* out);
void DigitsFromInteger(std::int64_t value, DigitString* out);
// The canonical text of a value: "-", integer digits ("0" below 1), "." and fraction digits only
// when there are any; no exponent. Returns the length; writes at most size-1 bytes and a NUL
// (0 and an empty text when it does not fit).
int DigitsToText(const DigitString& value, char* out, int size);

// FORMAT into out (at least Width() bytes; no terminator written). Returns the length written:
// the width, or 0 for an invalid picture. Numeric kinds take digits; date and time pictures
// take the date or time number; string kinds take text.
int FormatDigits(const CompiledPicture& pic, const DigitString& value, char* out);
int FormatReal(const CompiledPicture& pic, double value, char* out);
int FormatInteger(const CompiledPicture& pic, std::int64_t value, char* out);  // date/time numbers
int FormatText(const CompiledPicture& pic, const char* text, std::uint32_t length, char* out);

// DEFORMAT: reads display text (at most 255 bytes are looked at) back into the canonical value
// text (see DigitsToText; date and time pictures give the date or time number). Returns the
// length, 0 with an empty text for an invalid picture.
constexpr int kDeformatTextMax = 255;
int Deformat(const CompiledPicture& pic, const char* text, std::uint32_t length, char* out, int size);

// The builtins on the string and decimal stacks. FORMAT pops the picture (top) and the value
// and pushes the display text; DEFORMAT pops the picture (top) and the text and pushes the value
// text. An invalid picture gives the empty string and posts no error.
void FormatBuiltin();
void DeformatBuiltin();

}  // namespace vel
