// The process-wide character tables: collation weights, case partners, character classes and
// digraphs, and the collating comparison every text comparison of the runtime goes through
// (string stack, queue keys, sorting).
//
// Defaults: identity weights, A-Z paired with a-z, classes A-Z upper, a-z lower, 0-9 digit,
// no digraphs. The international settings (environment file, system profile) rewrite the
// tables in place at start-up through Collation(); nothing here allocates or locks: the tables
// are written only while a single thread runs the start-up, and read afterwards.
//
// Trailing blanks (0x20) are never significant: the shorter operand of a comparison is treated
// as extended with blanks up to the length of the longer.
#pragma once
#include <cstdint>

namespace vel {

enum CharClass : std::uint8_t {
  kCharUpper = 1,
  kCharLower = 2,
  kCharDigit = 4,
};

constexpr int kDigraphSlots = 16;

struct CollationTables {
  std::uint8_t weight[256];       // ANSI collation weight of every byte
  std::uint8_t weight_oem[256];   // the same for OEM text
  std::uint8_t partner[256];      // the other-case letter of each letter, else the byte itself
  std::uint8_t char_class[256];   // CharClass bits
  // A digraph "XYZ" makes byte X collate as the two bytes Y Z (an empty slot starts with 0).
  char digraph[kDigraphSlots][4];
  char digraph_oem[kDigraphSlots][4];
};

// The live tables (writable by the international settings).
CollationTables& Collation();
// Restores every table to its default.
void CollationReset();

// Case mapping through the class and partner tables: only bytes classed lower (upper) change.
inline std::uint8_t UpperChar(std::uint8_t c) {
  const CollationTables& t = Collation();
  return (t.char_class[c] & kCharLower) ? t.partner[c] : c;
}
inline std::uint8_t LowerChar(std::uint8_t c) {
  const CollationTables& t = Collation();
  return (t.char_class[c] & kCharUpper) ? t.partner[c] : c;
}
void UpperBytes(char* text, std::uint32_t length);
void LowerBytes(char* text, std::uint32_t length);

// Collating comparison of two byte ranges (null allowed when the length is 0): negative, 0 or
// positive as a sorts before, equal to or after b. The first differing position decides by
// the difference of the two weights; when digraphs are defined and either byte there is a
// digraph, the remainders are compared again with digraphs expanded. Texts equal up to
// trailing blanks compare 0.
int CollateCompare(const char* a, std::uint32_t a_length, const char* b, std::uint32_t b_length);
// The same over only the first min(a_length, b_length) bytes.
int CollateComparePrefix(const char* a, std::uint32_t a_length, const char* b, std::uint32_t b_length);
// Exact byte comparison with trailing-blank insignificance: 0 when equal, else 1.
int BytesDiffer(const char* a, std::uint32_t a_length, const char* b, std::uint32_t b_length);

}  // namespace vel
