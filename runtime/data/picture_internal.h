// Shared between the picture compiler, the formatter and the date/time pictures.
#pragma once
#include <cstdint>

#include "runtime/data/picture.h"

namespace vel {

// Appends items to a compiled picture, never past item 254; `full` records an attempt beyond.
struct ItemWriter {
  CompiledPicture* pic;
  int count = 0;
  bool full = false;
  void Add(char c, int code) {
    if (count >= kPictureMaxWidth) {
      full = true;
      return;
    }
    pic->items[2 * count] = static_cast<std::uint8_t>(c);
    pic->items[2 * count + 1] = static_cast<std::uint8_t>(code);
    ++count;
  }
};

inline void SetPictureHeader(CompiledPicture* pic, int kind, int value_class, bool blank_zero, int width) {
  pic->header = static_cast<std::uint16_t>((kind & 7) | (value_class & 7) << 3 | (blank_zero ? 1 : 0) << 6 |
                                           (width & 0xFF) << 7);
}

// The layout summary of date and time pictures (offset 2 of the block).
constexpr std::uint16_t kLayoutYearItems = 7;
constexpr std::uint16_t kLayoutNames = 1 << 3;
constexpr std::uint16_t kLayoutAmPm = 1 << 4;
constexpr std::uint16_t kLayoutKnown = 1 << 7;
std::uint16_t DateTimeLayout(const CompiledPicture& pic);

// Compiles the text after "D" or "T" (blank-when-zero already removed). False when invalid.
bool CompileDateTimePicture(const char* p, int n, bool time, bool blank_zero, CompiledPicture* out);
// Item layouts of the fixed date and time pictures and of the profile-built ones.
void BuildDateItems(int number, char fill, ItemWriter* w);
void BuildTimeItems(int number, char fill, ItemWriter* w);
// The date or time number into out (Width() bytes).
void FormatDateTime(const CompiledPicture& pic, std::int64_t value, char* out);
// Reads a date or time number back from display text.
std::int32_t DeformatDateTime(const CompiledPicture& pic, const char* text, int length);

}  // namespace vel
