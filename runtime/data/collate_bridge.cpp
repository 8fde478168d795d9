// Until the string stack's collation table is linked in: identity weights, ASCII case folding.
#include "runtime/data/collate_bridge.h"

namespace vel::collate {
namespace {
inline unsigned Weight(unsigned char c) { return c; }
inline unsigned char Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }
}  // namespace

int Compare(const char* a, std::size_t la, const char* b, std::size_t lb) {
  const auto* pa = reinterpret_cast<const unsigned char*>(a);
  const auto* pb = reinterpret_cast<const unsigned char*>(b);
  const std::size_t common = la < lb ? la : lb;
  for (std::size_t i = 0; i < common; ++i)
    if (pa[i] != pb[i]) {
      const int d = static_cast<int>(Weight(pa[i])) - static_cast<int>(Weight(pb[i]));
      if (d) return d;
    }
  // The longer text against blanks.
  const unsigned char* rest = la > lb ? pa : pb;
  const std::size_t end = la > lb ? la : lb;
  const int sign = la > lb ? 1 : -1;
  for (std::size_t i = common; i < end; ++i) {
    const int d = static_cast<int>(Weight(rest[i])) - static_cast<int>(Weight(' '));
    if (d) return sign * d;
  }
  return 0;
}

std::uint32_t Hash(const char* text, std::size_t length, std::uint32_t seed) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (length && Weight(p[length - 1]) == Weight(' ')) --length;
  std::uint32_t h = seed ^ 2166136261u;
  for (std::size_t i = 0; i < length; ++i) {
    h ^= Weight(p[i]);
    h *= 16777619u;
  }
  return h;
}

bool EqualNoCase(const char* a, const char* b, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace vel::collate
