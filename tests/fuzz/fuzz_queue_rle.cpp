// The stored-record codec: arbitrary streams must decode safely (never past the output), and
// whatever the encoder accepts must decode back to the input exactly.
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/data/queue_rle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // First byte picks the output size for the decoder half.
  const std::uint32_t out_size = 1 + data[0] * 4u;
  std::vector<std::uint8_t> out(out_size);
  const std::uint32_t n = vel::rle::Decode(data + 1, static_cast<std::uint32_t>(size - 1), out.data(), out_size);
  if (n > out_size) __builtin_trap();

  // Encoder half: the input as a record, against the capacity a queue would give it.
  const auto length = static_cast<std::uint32_t>(size - 1);
  const std::uint32_t capacity = length > 14 ? length - 14 : length;
  std::vector<std::uint8_t> encoded(capacity + 8);
  const std::uint32_t e = vel::rle::Encode(data + 1, length, encoded.data(), capacity);
  if (e >= capacity && e != 0) __builtin_trap();
  if (e) {
    std::vector<std::uint8_t> back(length);
    if (vel::rle::Decode(encoded.data(), e, back.data(), length) != length) __builtin_trap();
    if (std::memcmp(back.data(), data + 1, length) != 0) __builtin_trap();
  }
  return 0;
}
