// A model of the queue's sort for the queue tests and the sort fuzz target, which hold the
// engine's sort (packed codes, record references) against it.
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

namespace vel::testing {

// The sort as its description gives it, written from the description alone: a range whose
// last index minus its first is below 9 goes by binary insertion (each item after the equal
// ones before it); a larger range is split at (first + last) / 2, both halves are sorted, and
// they are merged from the insertion position p of the first right item in the left half, in
// phase R (take the current right item, then right items while L >= them; on a greater one go
// to phase L; when the right half runs out append the left items) and phase L (take L, then
// left items while R >= them; on a greater one it becomes L and phase R resumes with R; when
// the left half runs out the right items are in place). cmp is a three-way comparison.
template <typename T, typename Cmp>
inline void ModelSort(std::vector<T>& v, int first, int last, const Cmp& cmp) {
  if (last - first < 9) {
    for (int i = first + 1; i <= last; ++i) {
      const T x = v[i];
      int lo = first, hi = i;
      while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (cmp(x, v[mid]) >= 0) lo = mid + 1;
        else hi = mid;
      }
      v.erase(v.begin() + i);
      v.insert(v.begin() + lo, x);
    }
    return;
  }
  const int mid = (first + last) / 2;
  ModelSort(v, first, mid, cmp);
  ModelSort(v, mid + 1, last, cmp);
  int p = first;
  while (p <= mid && cmp(v[mid + 1], v[p]) >= 0) ++p;
  if (p > mid) return;
  std::vector<T> out;
  int li = p, ri = mid + 1;
  for (;;) {
    const T left = v[li];  // phase R
    out.push_back(v[ri++]);
    while (ri <= last && cmp(left, v[ri]) >= 0) out.push_back(v[ri++]);
    if (ri > last) {
      while (li <= mid) out.push_back(v[li++]);
      break;
    }
    const T right = v[ri];  // phase L
    out.push_back(v[li++]);
    while (li <= mid && cmp(right, v[li]) >= 0) out.push_back(v[li++]);
    if (li > mid) break;
  }
  std::copy(out.begin(), out.end(), v.begin() + p);
}

// The ids (member `id`) of items in the described sort's order.
template <typename T, typename Cmp>
inline std::vector<std::int32_t> ModelIds(std::vector<T> items, const Cmp& cmp) {
  if (!items.empty()) ModelSort(items, 0, static_cast<int>(items.size()) - 1, cmp);
  std::vector<std::int32_t> ids;
  for (const T& r : items) ids.push_back(r.id);
  return ids;
}
}  // namespace vel::testing
