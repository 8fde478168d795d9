// The character tables and the collating comparison.
//
// The tables are one static struct, filled with the defaults before first use (constant
// initialisation, so they are valid before any initialiser runs). Digraph expansion walks each
// operand through a small cursor that yields the bytes of a text with every digraph byte
// replaced by its two-byte expansion, then blanks for ever past the end.
#include "runtime/core/collation.h"

#include <cstring>

namespace vel {
namespace {

constexpr CollationTables MakeDefaults() {
  CollationTables t{};
  for (int c = 0; c < 256; ++c) {
    t.weight[c] = static_cast<std::uint8_t>(c);
    t.weight_oem[c] = static_cast<std::uint8_t>(c);
    t.partner[c] = static_cast<std::uint8_t>(c);
    t.char_class[c] = 0;
  }
  for (int c = 'A'; c <= 'Z'; ++c) {
    t.partner[c] = static_cast<std::uint8_t>(c + 32);
    t.partner[c + 32] = static_cast<std::uint8_t>(c);
    t.char_class[c] = kCharUpper;
    t.char_class[c + 32] = kCharLower;
  }
  for (int c = '0'; c <= '9'; ++c) t.char_class[c] = kCharDigit;
  return t;
}

constinit CollationTables g_tables = MakeDefaults();

// Yields the bytes of a text with digraphs expanded, then blanks.
struct ExpandingCursor {
  const std::uint8_t* p;
  const std::uint8_t* end;
  const char* pending;  // second byte of an expansion still to come, or null

  bool AtEnd() const { return !pending && p == end; }
  std::uint8_t Next() {
    if (pending) {
      std::uint8_t c = static_cast<std::uint8_t>(*pending);
      pending = nullptr;
      return c;
    }
    if (p == end) return ' ';
    std::uint8_t c = *p++;
    if (const char* d = Digraph(c)) {
      pending = d + 2;
      return static_cast<std::uint8_t>(d[1]);
    }
    return c;
  }
  static const char* Digraph(std::uint8_t c) {
    for (const char* d : g_tables.digraph)
      if (d[0] == 0) break;
      else if (static_cast<std::uint8_t>(d[0]) == c) return d;
    return nullptr;
  }
};

bool HasDigraphs() { return g_tables.digraph[0][0] != 0; }

// Compares from a first differing position with digraphs expanded, blanks past the ends.
int CompareExpanded(const std::uint8_t* a, const std::uint8_t* a_end, const std::uint8_t* b,
                    const std::uint8_t* b_end) {
  ExpandingCursor x{a, a_end, nullptr}, y{b, b_end, nullptr};
  while (!x.AtEnd() || !y.AtEnd()) {
    std::uint8_t ca = x.Next(), cb = y.Next();
    if (ca != cb) {
      int d = g_tables.weight[ca] - g_tables.weight[cb];
      if (d) return d;
    }
  }
  return 0;
}

// Looks at a differing position i of texts of length a_len / b_len (bytes past an end are
// blanks). Sets *final when the result covers the rest of the texts (digraph expansion);
// otherwise a result of 0 (equal weights) lets the scan go on.
int DecideAt(const std::uint8_t* a, std::uint32_t a_len, const std::uint8_t* b,
             std::uint32_t b_len, std::uint32_t i, bool* final) {
  std::uint8_t ca = i < a_len ? a[i] : ' ';
  std::uint8_t cb = i < b_len ? b[i] : ' ';
  if (HasDigraphs() && (ExpandingCursor::Digraph(ca) || ExpandingCursor::Digraph(cb))) {
    *final = true;
    return CompareExpanded(a + (i < a_len ? i : a_len), a + a_len, b + (i < b_len ? i : b_len),
                           b + b_len);
  }
  return g_tables.weight[ca] - g_tables.weight[cb];
}

int Collate(const char* a_text, std::uint32_t a_len, const char* b_text, std::uint32_t b_len,
            std::uint32_t limit) {
  auto* a = reinterpret_cast<const std::uint8_t*>(a_text);
  auto* b = reinterpret_cast<const std::uint8_t*>(b_text);
  std::uint32_t common = a_len < b_len ? a_len : b_len;
  if (common > limit) common = limit;
  bool final = false;
  for (std::uint32_t i = 0; i < common; ++i) {
    if (a[i] == b[i]) continue;
    int d = DecideAt(a, a_len, b, b_len, i, &final);
    if (d || final) return d;
  }
  for (std::uint32_t i = common; i < limit && (i < a_len || i < b_len); ++i) {
    std::uint8_t ca = i < a_len ? a[i] : ' ';
    std::uint8_t cb = i < b_len ? b[i] : ' ';
    if (ca == cb) continue;
    int d = DecideAt(a, a_len, b, b_len, i, &final);
    if (d || final) return d;
  }
  return 0;
}

}  // namespace

CollationTables& Collation() { return g_tables; }

void CollationReset() { g_tables = MakeDefaults(); }

void UpperBytes(char* text, std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; ++i)
    text[i] = static_cast<char>(UpperChar(static_cast<std::uint8_t>(text[i])));
}

void LowerBytes(char* text, std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; ++i)
    text[i] = static_cast<char>(LowerChar(static_cast<std::uint8_t>(text[i])));
}

int CollateCompare(const char* a, std::uint32_t a_length, const char* b, std::uint32_t b_length) {
  return Collate(a, a_length, b, b_length, 0xFFFFFFFFu);
}

int CollateComparePrefix(const char* a, std::uint32_t a_length, const char* b,
                         std::uint32_t b_length) {
  std::uint32_t limit = a_length < b_length ? a_length : b_length;
  return Collate(a, a_length, b, b_length, limit);
}

int BytesDiffer(const char* a, std::uint32_t a_length, const char* b, std::uint32_t b_length) {
  std::uint32_t common = a_length < b_length ? a_length : b_length;
  if (common && std::memcmp(a, b, common) != 0) return 1;
  const char* rest = a_length > common ? a + common : b + common;
  std::uint32_t rest_length = (a_length > common ? a_length : b_length) - common;
  for (std::uint32_t i = 0; i < rest_length; ++i)
    if (rest[i] != ' ') return 1;
  return 0;
}

}  // namespace vel
