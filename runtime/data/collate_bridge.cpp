// The typed value layer's view of the process-wide collation tables (runtime/core/collation).
#include "runtime/data/collate_bridge.h"

#include "runtime/core/collation.h"

namespace vel::collate {
namespace {

const char* DigraphOf(const CollationTables& t, unsigned char c) {
  for (const char* d : t.digraph)
    if (d[0] == 0) break;
    else if (static_cast<unsigned char>(d[0]) == c) return d;
  return nullptr;
}

std::uint32_t Step(std::uint32_t h, unsigned weight) {
  h ^= weight;
  return h * 16777619u;
}

}  // namespace

int Compare(const char* a, std::size_t la, const char* b, std::size_t lb) {
  return CollateCompare(a, static_cast<std::uint32_t>(la), b, static_cast<std::uint32_t>(lb));
}

// Hashes the weights of the text with digraphs expanded and trailing blanks dropped: exactly
// what the collating comparison looks at, so texts comparing equal hash alike.
std::uint32_t Hash(const char* text, std::size_t length, std::uint32_t seed) {
  const CollationTables& t = Collation();
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned blank = t.weight[0x20];
  if (t.digraph[0][0] == 0) {  // the common case: one weight per byte
    while (length && t.weight[p[length - 1]] == blank) --length;
    std::uint32_t h = seed ^ 2166136261u;
    for (std::size_t i = 0; i < length; ++i) h = Step(h, t.weight[p[i]]);
    return h;
  }
  while (length && t.weight[p[length - 1]] == blank && !DigraphOf(t, p[length - 1])) --length;
  std::uint32_t h = seed ^ 2166136261u;
  // Blank weights are held back until something else follows, so that a digraph expanding to
  // trailing blanks hashes like those blanks' absence.
  std::uint32_t blanks = 0;
  auto feed = [&](unsigned char c) {
    const unsigned w = t.weight[c];
    if (w == blank) {
      ++blanks;
      return;
    }
    for (; blanks; --blanks) h = Step(h, blank);
    h = Step(h, w);
  };
  const bool digraphs = t.digraph[0][0] != 0;
  for (std::size_t i = 0; i < length; ++i) {
    const char* d = digraphs ? DigraphOf(t, p[i]) : nullptr;
    if (d) {
      feed(static_cast<unsigned char>(d[1]));
      feed(static_cast<unsigned char>(d[2]));
    } else {
      feed(p[i]);
    }
  }
  return h;
}

bool EqualNoCase(const char* a, const char* b, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    if (UpperChar(static_cast<std::uint8_t>(a[i])) != UpperChar(static_cast<std::uint8_t>(b[i])))
      return false;
  return true;
}

}  // namespace vel::collate
