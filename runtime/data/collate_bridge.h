// The collation the typed value layer compares texts with: weights per byte, trailing blanks
// insignificant, and case folding for names. One place to reach the process-wide tables.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vel::collate {

// Negative, 0 or positive; the shorter text is extended with blanks.
int Compare(const char* a, std::size_t la, const char* b, std::size_t lb);
// Equal texts under Compare hash alike.
std::uint32_t Hash(const char* text, std::size_t length, std::uint32_t seed);
// Byte-by-byte equality after case folding (field names).
bool EqualNoCase(const char* a, const char* b, std::size_t length);

}  // namespace vel::collate
