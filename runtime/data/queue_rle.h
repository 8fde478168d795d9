// Run-length coding of stored queue records.
//
// The stream is a sequence of items. Header byte: bit 7 set = literal (count bytes follow),
// bit 7 clear = run (one byte follows, repeated count times). The count:
//   1..63         header = kind | count
//   64..8191      header = kind | 0x40 | (count >> 8), then the low byte of the count
//   8192..65535   header = kind | 0x7F, then a 16-bit little-endian count
//   65536..       header = kind | 0x70, then a 32-bit little-endian count
// The decoder reads the low 6 bits L of an extended header (bit 6 set) as: L < 0x30 two-byte
// form (counts up to 12287), L == 0x30 32-bit count, L > 0x30 16-bit count.
#pragma once
#include <cstdint>

namespace vel::rle {

// Encodes in[0..n) into out. Runs of 4 or more equal bytes become run items; a run that ends
// the input becomes one from 3 bytes on; other bytes gather in literal items. Returns the
// encoded length, or 0 as soon as the output would reach `capacity` bytes.
std::uint32_t Encode(const std::uint8_t* in, std::uint32_t n, std::uint8_t* out,
                     std::uint32_t capacity);

// Decodes in[0..n) into out (out_size bytes). Returns the decoded length, or 0 for a header
// without its data, a count that overruns the input, or output beyond out_size.
std::uint32_t Decode(const std::uint8_t* in, std::uint32_t n, std::uint8_t* out,
                     std::uint32_t out_size);

}  // namespace vel::rle
