// Direct assignment of any text to the two text variable types, without the stack.
//
//   fixed string of size n:          exactly n bytes, blank-padded, no terminator;
//   zero-terminated string of size n: at most n-1 bytes of text and a zero byte.
// A null text stands for the empty, lowest or highest value by the sign of its length. Source
// and destination may overlap (memmove).
#include <cstring>

#include "runtime/core/string_stack.h"

namespace vel {

void AssignCString(char* destination, std::uint32_t size, const char* text, std::int32_t length) {
  if (!destination || size == 0) return;
  std::uint32_t n = 0;
  if (!text) {
    if (length > 0) {
      n = size - 1;
      std::memset(destination, 0xFF, n);  // the highest value
    }
  } else if (length > 0) {
    n = static_cast<std::uint32_t>(length) < size - 1 ? static_cast<std::uint32_t>(length) : size - 1;
    std::memmove(destination, text, n);
  }
  destination[n] = 0;
}

void AssignString(char* destination, std::uint32_t size, const char* text, std::int32_t length) {
  if (!destination || size == 0) return;
  if (!text) {
    std::memset(destination, length == 0 ? ' ' : (length < 0 ? 0x00 : 0xFF), size);
    return;
  }
  std::uint32_t n = length > 0 ? static_cast<std::uint32_t>(length) : 0;
  if (n > size) n = size;
  std::memmove(destination, text, n);
  std::memset(destination + n, ' ', size - n);
}

void ClearString(char* destination, std::uint32_t size) {
  if (destination && size) std::memset(destination, ' ', size);
}

}  // namespace vel
