// Run-length coding of stored queue records (format in the header).
#include "runtime/data/queue_rle.h"

#include <cstring>

namespace vel::rle {
namespace {

constexpr std::uint8_t kLiteral = 0x80;

// Writes an item header for `count`; returns its length (1, 2, 3 or 5).
std::uint32_t PutHeader(std::uint8_t* h, std::uint8_t kind, std::uint32_t count) {
  if (count < 64) {
    h[0] = static_cast<std::uint8_t>(kind | count);
    return 1;
  }
  if (count < 8192) {
    h[0] = static_cast<std::uint8_t>(kind | 0x40 | (count >> 8));
    h[1] = static_cast<std::uint8_t>(count);
    return 2;
  }
  if (count < 65536) {
    h[0] = static_cast<std::uint8_t>(kind | 0x7F);
    h[1] = static_cast<std::uint8_t>(count);
    h[2] = static_cast<std::uint8_t>(count >> 8);
    return 3;
  }
  h[0] = static_cast<std::uint8_t>(kind | 0x70);
  for (int i = 0; i < 4; ++i) h[1 + i] = static_cast<std::uint8_t>(count >> (8 * i));
  return 5;
}

struct Writer {
  std::uint8_t* out;
  std::uint32_t capacity;
  std::uint32_t length = 0;

  // One item: header plus `data_length` bytes of data. False when the capacity would be reached.
  bool Item(std::uint8_t kind, std::uint32_t count, const std::uint8_t* data,
            std::uint32_t data_length) {
    std::uint8_t header[5];
    const std::uint32_t h = PutHeader(header, kind, count);
    if (std::uint64_t{length} + h + data_length >= capacity) return false;
    std::memcpy(out + length, header, h);
    std::memcpy(out + length + h, data, data_length);
    length += h + data_length;
    return true;
  }
};

}  // namespace

std::uint32_t Encode(const std::uint8_t* in, std::uint32_t n, std::uint8_t* out,
                     std::uint32_t capacity) {
  Writer w{out, capacity};
  std::uint32_t literal_start = 0, i = 0;
  while (i < n) {
    std::uint32_t run = 1;
    while (i + run < n && in[i + run] == in[i]) ++run;
    const bool at_end = i + run == n;
    if (run >= 4 || (at_end && run >= 3)) {
      if (i > literal_start && !w.Item(kLiteral, i - literal_start, in + literal_start, i - literal_start))
        return 0;
      if (!w.Item(0, run, in + i, 1)) return 0;
      literal_start = i + run;
    }
    i += run;
  }
  if (n > literal_start && !w.Item(kLiteral, n - literal_start, in + literal_start, n - literal_start))
    return 0;
  return w.length;
}

std::uint32_t Decode(const std::uint8_t* in, std::uint32_t n, std::uint8_t* out,
                     std::uint32_t out_size) {
  std::uint32_t at = 0, written = 0;
  while (at < n) {
    const std::uint8_t header = in[at++];
    std::uint32_t count = header & 0x3F;
    if (header & 0x40) {
      std::uint32_t extra = count < 0x30 ? 1 : count == 0x30 ? 4 : 2;
      if (n - at < extra) return 0;
      if (extra == 1) {
        count = (count << 8) | in[at];
      } else {
        count = 0;
        for (std::uint32_t k = 0; k < extra; ++k) count |= std::uint32_t{in[at + k]} << (8 * k);
      }
      at += extra;
    }
    if (count > out_size - written) return 0;
    if (header & 0x80) {
      if (n - at < count) return 0;
      std::memcpy(out + written, in + at, count);
      at += count;
    } else {
      if (at >= n) return 0;
      std::memset(out + written, in[at++], count);
    }
    written += count;
  }
  return written;
}

}  // namespace vel::rle
