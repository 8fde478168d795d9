// Picture compiler with FORMAT and DEFORMAT: the first input byte splits the rest into a
// picture text and a value/display text. Checks that an invalid picture is all zero, that a
// valid one has 1..255 items, and that the engines never write past the picture's width.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/data/dates.h"
#include "runtime/data/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  vel::SetCurrentYear(2003);
  std::size_t split = data[0] < size - 1 ? data[0] : size - 1;
  const char* picture = reinterpret_cast<const char*>(data + 1);
  const char* value = picture + split;
  std::size_t value_length = size - 1 - split;
  vel::CompiledPicture pic;
  bool ok = vel::CompilePicture(picture, static_cast<std::uint32_t>(split), &pic);
  if (!ok) {
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(&pic);
    for (std::size_t i = 0; i < sizeof pic; ++i)
      if (p[i]) std::abort();
    return 0;
  }
  int width = pic.Width();
  if (width < 1 || width > vel::kPictureMaxWidth) std::abort();
  // Guard bytes around the output catch writes past the width.
  char out[vel::kPictureMaxWidth + 16];
  std::memset(out, 0x7E, sizeof out);
  int n = vel::FormatText(pic, value, static_cast<std::uint32_t>(value_length), out);
  if (n != width) std::abort();
  for (std::size_t i = static_cast<std::size_t>(width); i < sizeof out; ++i)
    if (out[i] != 0x7E) std::abort();
  double real = 0;
  if (value_length >= sizeof real) std::memcpy(&real, value, sizeof real);
  n = vel::FormatReal(pic, real, out);
  if (n != width) std::abort();
  char back[1200];
  int m = vel::Deformat(pic, out, static_cast<std::uint32_t>(n), back, sizeof back);
  if (m < 0 || m >= static_cast<int>(sizeof back) || back[m] != 0) std::abort();
  m = vel::Deformat(pic, value, static_cast<std::uint32_t>(value_length), back, sizeof back);
  if (m < 0 || m >= static_cast<int>(sizeof back) || back[m] != 0) std::abort();

  // Numbers read back format the same: FORMAT(DEFORMAT(FORMAT(v))) == FORMAT(v), unless the
  // number overflowed ("#") or a currency text holds characters that read as part of a number.
  int kind = pic.Kind();
  if (kind != vel::kPicNumeric && kind != vel::kPicScientific && kind != vel::kPicPattern) return 0;
  // A pattern without digit positions blanks out any number, and a scientific picture with no
  // mantissa digit (@E7.0: sign, point and exponent only) shows just the exponent.
  const int digit_end = kind == vel::kPicScientific ? width - 5 : width;
  bool digits = false;
  for (int i = 0; i < digit_end; ++i)
    digits |= pic.ItemCode(i) == vel::kItemDigit || pic.ItemCode(i) == vel::kItemDigitBlank;
  if (!digits) return 0;
  if (pic.BlankWhenZero()) return 0;  // a value that only rounds to zero is still shown
  for (int i = 0; i < width; ++i) {
    char c = pic.ItemChar(i);
    bool numberish = (c >= '0' && c <= '9') || c == '-' || c == '(' || c == '+';
    if (pic.ItemCode(i) == vel::kItemCurrency && numberish) return 0;
    if (pic.ItemCode(i) == vel::kItemLiteral && kind == vel::kPicPattern && numberish) return 0;
  }
  n = vel::FormatText(pic, value, static_cast<std::uint32_t>(value_length), out);
  if (std::memchr(out, '#', n)) return 0;
  m = vel::Deformat(pic, out, static_cast<std::uint32_t>(n), back, sizeof back);
  char again[vel::kPictureMaxWidth];
  if (vel::FormatText(pic, back, static_cast<std::uint32_t>(m), again) != n || std::memcmp(out, again, n) != 0) {
    std::fprintf(stderr, "picture \"%.*s\" shows \"%.*s\", reads back \"%s\", shows \"%.*s\"\n",
                 static_cast<int>(split), picture, n, out, back, n, again);
    std::abort();
  }
  return 0;
}
