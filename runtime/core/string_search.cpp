// The search rule of INSTRING over plain bytes.
//
// Offsets are 0-based; the search starts at start-1 and moves by step (step 0 = the pattern's
// length). An offset is valid while it lies in 0..L-P, tested as one unsigned comparison so
// that walking below 0 ends the search too. A match at offset o gives o / |step| + 1.
//
// Fast paths, each with the same result as the plain walk:
//   one byte, step 1     memchr from the start offset;
//   one byte, step -1    backward byte scan from the start offset;
//   P > 4, L > 256, step 1
//                        a skip table over the pattern's first m = min(P, 255) bytes: every
//                        byte shifts by m, a byte of that prefix by its distance from the
//                        prefix's end (the nearest occurrence wins); the byte under the
//                        prefix's last position decides the shift, and a shift of 0 means
//                        "compare the whole pattern here, then move by one".
#include <cstring>

#include "runtime/core/string_stack_internal.h"

namespace vel::sstack {
namespace {

std::int32_t Position(std::uint64_t offset, std::uint64_t step_magnitude) {
  return static_cast<std::int32_t>(offset / step_magnitude + 1);
}

std::int32_t SearchSkipTable(const unsigned char* text, std::uint64_t last,
                             const unsigned char* pattern, std::uint32_t length,
                             std::uint64_t offset) {
  const std::uint32_t m = length < 255 ? length : 255;
  unsigned char shift[256];
  std::memset(shift, static_cast<int>(m), sizeof shift);
  for (std::uint32_t i = 0; i < m; ++i) shift[pattern[i]] = static_cast<unsigned char>(m - 1 - i);
  const unsigned char* probe = text + (m - 1);
  while (offset <= last) {
    unsigned s = shift[probe[offset]];
    if (s) {
      offset += s;
      continue;
    }
    if (std::memcmp(text + offset, pattern, length) == 0) return Position(offset, 1);
    ++offset;
  }
  return 0;
}

}  // namespace

std::int32_t Instring(const char* text_bytes, std::uint32_t text_length, const char* pattern_bytes,
                      std::uint32_t pattern_length, std::int32_t step_arg, std::int32_t start) {
  if (pattern_length == 0 || start == 0 || text_length < pattern_length) return 0;
  auto* text = reinterpret_cast<const unsigned char*>(text_bytes);
  auto* pattern = reinterpret_cast<const unsigned char*>(pattern_bytes);
  const std::int64_t step = step_arg ? step_arg : static_cast<std::int64_t>(pattern_length);
  const std::uint64_t magnitude = step < 0 ? static_cast<std::uint64_t>(-step) : static_cast<std::uint64_t>(step);
  const std::uint64_t last = text_length - pattern_length;
  std::uint64_t offset = static_cast<std::uint64_t>(static_cast<std::int64_t>(start) - 1);
  if (offset > last) return 0;

  if (pattern_length == 1 && step == 1) {
    const void* hit = std::memchr(text + offset, pattern[0], text_length - offset);
    return hit ? Position(static_cast<const unsigned char*>(hit) - text, 1) : 0;
  }
  if (pattern_length == 1 && step == -1) {
    for (std::uint64_t i = offset + 1; i-- > 0;)
      if (text[i] == pattern[0]) return Position(i, 1);
    return 0;
  }
  if (pattern_length > 4 && text_length > 256 && step == 1)
    return SearchSkipTable(text, last, pattern, pattern_length, offset);

  for (; offset <= last; offset += static_cast<std::uint64_t>(step)) {
    if (text[offset] == pattern[0] && std::memcmp(text + offset, pattern, pattern_length) == 0)
      return Position(offset, magnitude);
  }
  return 0;
}

}  // namespace vel::sstack
