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
//                        a skip table over the pattern's first m = min(P, 255) bytes, steered
//                        by the pair of bytes under the end of that prefix rather than by one
//                        byte: on texts of few distinct bytes almost every single byte occurs
//                        in the prefix and allows only short shifts, while most pairs do not.
//   other patterns, step 1
//                        memchr for the first byte, then the whole comparison.
#include <cstring>

#include "runtime/core/string_stack_internal.h"

namespace vel::sstack {
namespace {

std::int32_t Position(std::uint64_t offset, std::uint64_t step_magnitude) {
  return static_cast<std::int32_t>(offset / step_magnitude + 1);
}

// Pairs of bytes hash into a small table; collisions only make shifts smaller, never unsafe.
constexpr unsigned kPairTable = 1024;
inline unsigned PairHash(const unsigned char* p) { return (p[0] * 67u + p[1]) & (kPairTable - 1); }

std::int32_t SearchSkipTable(const unsigned char* text, std::uint64_t last,
                             const unsigned char* pattern, std::uint32_t length,
                             std::uint64_t offset) {
  const std::uint32_t m = length < 255 ? length : 255;  // the prefix that steers the shifts
  const std::uint32_t full = m - 1;
  // near[h] for the pair ending under the prefix's last byte: 0 when no pair of the prefix
  // hashes to h (move the whole m-1), else 1 + the distance from the prefix's end to the
  // nearest such pair (1: the prefix ends with it, compare here). Keeping "absent" at 0 makes
  // the common step a constant one, so successive probes do not wait for each other's loads.
  unsigned char near[kPairTable];
  std::memset(near, 0, sizeof near);
  for (std::uint32_t end = 1; end < full; ++end)
    near[PairHash(pattern + end - 1)] = static_cast<unsigned char>(1 + full - end);
  const unsigned final_hash = PairHash(pattern + m - 2);
  // After a failed comparison: the distance to the nearest earlier pair with the final hash.
  const std::uint32_t after_miss = near[final_hash] ? near[final_hash] - 1u : full;
  near[final_hash] = 1;
  const unsigned char* probe = text + (m - 2);
  while (offset <= last) {
    unsigned t = near[PairHash(probe + offset)];
    if (t == 0) {
      offset += full;
    } else if (t > 1) {
      offset += t - 1;
    } else {
      if (std::memcmp(text + offset, pattern, length) == 0) return Position(offset, 1);
      offset += after_miss;
    }
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

  if (step == 1) {
    while (offset <= last) {
      const void* hit = std::memchr(text + offset, pattern[0], last - offset + 1);
      if (!hit) return 0;
      offset = static_cast<std::uint64_t>(static_cast<const unsigned char*>(hit) - text);
      if (std::memcmp(text + offset, pattern, pattern_length) == 0) return Position(offset, 1);
      ++offset;
    }
    return 0;
  }
  for (; offset <= last; offset += static_cast<std::uint64_t>(step)) {
    if (text[offset] == pattern[0] && std::memcmp(text + offset, pattern, pattern_length) == 0)
      return Position(offset, magnitude);
  }
  return 0;
}

}  // namespace vel::sstack
