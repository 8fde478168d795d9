// Sorting an order by its key: the merge sort that decides the order of equal records, run over
// record references, or for large orders over packed key codes.
//
// The merge sort: a range whose last index minus its first is below 9 goes by insertion (each
// item after the equal ones before it); a larger range is split at (first + last) / 2, both
// halves are sorted and then merged. On a tie the run that gave the last item gives the next
// (a merge starts after the left items that sort before or equal to the first right item, so
// its first item is the right run's). Equal items that meet across a merge therefore do not
// keep their relative order, and every path below runs exactly these splits and merges.
//
// Packed codes (orders of 64 records or more whose key starts with a text or integer field):
// the key is normalised into a byte string whose unsigned byte order is the key's order - a
// text field gives the collation weight of each byte (the collating comparison is decided by
// the first position whose weights differ, and both sides have the field's size), an integer
// field its value big-endian with the sign bit flipped, a descending field the complement of
// its bytes. Each normalised position is then replaced by the rank of its value among the
// values that occur there in this order's records, in as many bits as the largest rank needs,
// and the ranks are concatenated, first position most significant, into at most 128 bits. A
// position with a single value never decides and is left out. When every key field has a
// normalised form and every varying position fits, equal codes mean equal keys and the sort
// reads no record after packing; otherwise equal codes are decided by the records.
//
// Sort item: the code as 1, 2 or 4 32-bit words (the fewest that hold it, least significant
// first), then the stored record.
#include <cstring>

#include "runtime/core/collation.h"
#include "runtime/core/memory.h"
#include "runtime/data/queue_internal.h"

namespace vel {
namespace {

// --- the merge sort ----------------------------------------------------------------------------

// An item order supplies Greater(a, b) (a sorts after b) and TakeRight(r, l, from_right), 1
// when the right run's item r goes out before the left run's l, given from_right = 1 when the
// last item came from the right run, else 0.
inline std::uint32_t TakeRightOn(int c, std::uint32_t from_right) { return c < 0 || (c == 0 && from_right); }

// Merges the runs [l, l_end) and [r, r_end) into out until one of them is used up; l and r are
// left where each run goes on. out may be the place of the right run's items already taken.
template <typename Item, typename Ord, typename Out>
void MergeRuns(const Ord& ord, const Item*& l, const Item* l_end, const Item*& r, const Item* r_end, Out& out) {
  std::uint32_t from_right = 0;
  while (l != l_end && r != r_end) {
    // The choice as arithmetic, not a branch: on random keys it is a coin toss.
    from_right = ord.TakeRight(*r, *l, from_right);
    asm("" : "+r"(from_right));  // kept as a value: else the compiler compares again for each use
    const std::uintptr_t mask = 0u - static_cast<std::uintptr_t>(from_right);
    const auto* next = reinterpret_cast<const Item*>((reinterpret_cast<std::uintptr_t>(r) & mask) |
                                                     (reinterpret_cast<std::uintptr_t>(l) & ~mask));
    *out++ = *next;
    r += from_right;
    l += 1 - from_right;
  }
}

template <typename Item, typename Ord>
struct MergeSort {
  const Ord& ord;
  Item* buffer;  // room for the left run of the largest merge: half the range, rounded up

  void Insertion(Item* items, std::uint32_t first, std::uint32_t last) {
    for (std::uint32_t i = first + 1; i <= last; ++i) {
      const Item x = items[i];
      std::uint32_t j = i;
      for (; j > first && ord.Greater(items[j - 1], x); --j) items[j] = items[j - 1];
      items[j] = x;
    }
  }

  // Merges the sorted runs [first, mid] and [mid + 1, last] in place: the left items from the
  // first one greater than the first right item on go to the buffer and are merged back.
  void Merge(Item* items, std::uint32_t first, std::uint32_t mid, std::uint32_t last) {
    std::uint32_t p = first, hi = mid + 1;
    while (p < hi) {
      const std::uint32_t m = (p + hi) >> 1;
      if (ord.Greater(items[m], items[mid + 1])) hi = m; else p = m + 1;
    }
    if (p > mid) return;  // already in order
    const std::uint32_t left = mid + 1 - p;
    std::memcpy(buffer, items + p, left * sizeof(Item));
    const Item* l = buffer;
    const Item* r = items + mid + 1;
    Item* out = items + p;
    MergeRuns(ord, l, buffer + left, r, items + last + 1, out);
    // What is left of the right run is already in place.
    if (l != buffer + left) std::memcpy(out, l, (buffer + left - l) * sizeof(Item));
  }

  void Sort(Item* items, std::uint32_t first, std::uint32_t last) {
    if (last - first < 9) {
      Insertion(items, first, last);
      return;
    }
    const std::uint32_t mid = (first + last) / 2;
    Sort(items, first, mid);
    Sort(items, mid + 1, last);
    Merge(items, first, mid, last);
  }
};

// Record references compared by their keys (the comparison scratch and B hold them expanded).
struct RecordOrder {
  QueueEngine* e;
  const Key& k;
  int Compare(void* x, void* y) const {
    return KeyCompare(e, k, RecordView(e, x, e->scratch), RecordView(e, y, e->b));
  }
  bool Greater(void* a, void* b) const { return Compare(a, b) > 0; }
  std::uint32_t TakeRight(void* r, void* l, std::uint32_t from_right) const {
    return TakeRightOn(Compare(r, l), from_right);
  }
};

// --- packed codes ------------------------------------------------------------------------------

constexpr std::uint32_t kNormMax = 256;  // normalised positions considered
constexpr std::uint32_t kCodeBits = 128;

// Where one normalised position comes from: a record byte, through the weights or not, then
// exclusive-or'ed with `flip` (sign bit, descending complement).
struct NormPosition {
  std::uint32_t offset;
  std::uint8_t flip;
  bool weighted;
};

// One varying position in the code: its record byte and the code of every byte value seen there.
struct PackStep {
  std::uint32_t offset;
  std::uint32_t bits;
  std::uint8_t code[256];
};

// Everything the packing needs, in one block (too large for a thread's stack).
struct PackPlan {
  NormPosition pos[kNormMax];
  std::uint32_t count;             // normalised positions
  bool covers_key;                 // every key field is in the positions
  std::uint32_t seen[kNormMax][8]; // byte values met at each position, as bits
  PackStep step[kCodeBits];        // a varying position takes at least one bit
  std::uint32_t steps;
  std::uint32_t bits;              // of the whole code
  bool complete;                   // equal codes mean equal keys
};

std::uint32_t IntegerWidth(std::uint8_t type) {
  switch (type) {
    case kTypeByte: return 1;
    case kTypeShort:
    case kTypeUShort: return 2;
    case kTypeLong4:
    case kTypeLong5:
    case kTypeLong:
    case kTypeULong: return 4;
    default: return 0;
  }
}

bool SignedInteger(std::uint8_t type) {
  return type == kTypeShort || type == kTypeLong4 || type == kTypeLong5 || type == kTypeLong;
}

// The normalised positions of k's leading fields that have a normalised form. Integers are
// stored little-endian.
void PlanPositions(const Key& k, PackPlan& plan) {
  const bool digraphs = Collation().digraph[0][0] != 0;
  plan.count = 0;
  plan.covers_key = true;
  for (std::int32_t i = 0; i < k.count; ++i) {
    const FieldDesc& f = *k.desc[i];
    const std::uint8_t flip = k.fields[i] < 0 ? 0xFF : 0;
    const bool text = (f.type == kTypeString || f.type == kTypeGroup) && !digraphs;
    const std::uint32_t width = text ? f.size : IntegerWidth(f.type);
    if (f.elements > 1 || width == 0 || width > kNormMax - plan.count) {
      plan.covers_key = false;
      return;
    }
    for (std::uint32_t j = 0; j < width; ++j) {
      NormPosition& p = plan.pos[plan.count++];
      p.offset = f.offset + (text ? j : width - 1 - j);
      p.weighted = text;
      p.flip = static_cast<std::uint8_t>(flip ^ (!text && j == 0 && SignedInteger(f.type) ? 0x80 : 0));
    }
  }
}

// Calls use(i, bytes) for every record of the order in sequence. The records lie anywhere in
// memory: each group of sixteen is touched before any of them is used, so that their cache
// misses overlap instead of coming one after another.
// touch_offset is a key byte's offset (a compressed record is touched at its length word).
template <typename Use>
void ForEachRecord(QueueEngine* e, const Order& o, std::uint32_t touch_offset, Use use) {
  constexpr std::uint32_t kGroup = 16;
  void* const* entries = o.entries.items;
  const std::uint32_t n = o.entries.count;
  if (e->mode != queue_debug::Mode::kPlain) touch_offset = 0;
  std::uint32_t touched = 0;
  for (std::uint32_t g = 0; g < n; g += kGroup) {
    const std::uint32_t end = n - g < kGroup ? n : g + kGroup;
    for (std::uint32_t i = g; i < end; ++i)
      touched += *static_cast<const volatile std::uint8_t*>(static_cast<const std::uint8_t*>(entries[i]) + touch_offset);
    for (std::uint32_t i = g; i < end; ++i) use(i, RecordView(e, entries[i], e->scratch));
  }
  (void)touched;
}

// The set of normalised values of position p, from the record bytes seen there.
void NormalisedSet(const PackPlan& plan, std::uint32_t p, const std::uint8_t* weight, std::uint32_t* values) {
  const NormPosition& np = plan.pos[p];
  std::memset(values, 0, 8 * sizeof(std::uint32_t));
  for (std::uint32_t b = 0; b < 256; ++b) {
    if (!(plan.seen[p][b >> 5] >> (b & 31) & 1)) continue;
    const std::uint32_t v = (np.weighted ? weight[b] : b) ^ np.flip;
    values[v >> 5] |= 1u << (v & 31);
  }
}

// Turns the values seen at each position into the steps of the code, in position order, until
// the code is full.
void PlanSteps(PackPlan& plan) {
  const std::uint8_t* weight = Collation().weight;
  plan.steps = 0;
  plan.bits = 0;
  plan.complete = plan.covers_key;
  for (std::uint32_t p = 0; p < plan.count; ++p) {
    std::uint32_t values[8];
    NormalisedSet(plan, p, weight, values);
    std::uint8_t rank[256];
    std::uint32_t distinct = 0;
    for (std::uint32_t v = 0; v < 256; ++v) {
      rank[v] = static_cast<std::uint8_t>(distinct);
      distinct += values[v >> 5] >> (v & 31) & 1;
    }
    if (distinct < 2) continue;  // never decides
    std::uint32_t bits = 1;
    while ((1u << bits) < distinct) ++bits;
    if (plan.bits + bits > kCodeBits) {
      plan.complete = false;
      return;
    }
    const NormPosition& np = plan.pos[p];
    PackStep& s = plan.step[plan.steps++];
    s.offset = np.offset;
    s.bits = bits;
    for (std::uint32_t b = 0; b < 256; ++b) s.code[b] = rank[(np.weighted ? weight[b] : b) ^ np.flip];
    plan.bits += bits;
  }
}

// First pass over the records: the byte values met at every normalised position.
void GatherValues(QueueEngine* e, const Order& o, PackPlan& plan) {
  std::memset(plan.seen, 0, sizeof plan.seen);
  const std::uint32_t count = plan.count;
  ForEachRecord(e, o, plan.pos[0].offset, [&](std::uint32_t, const std::uint8_t* r) {
    for (std::uint32_t p = 0; p < count; ++p) {
      const std::uint8_t b = r[plan.pos[p].offset];
      plan.seen[p][b >> 5] |= 1u << (b & 31);
    }
  });
}

template <int W>
struct PackedItem {
  std::uint32_t word[W];  // least significant first
  void* record;
};

// The code of a record, right-aligned in 128 bits.
void PackCode(const PackPlan& plan, const std::uint8_t* r, std::uint32_t* word, int words) {
  if (plan.bits < 64) {
    std::uint64_t code = 0;
    for (std::uint32_t s = 0; s < plan.steps; ++s) code = code << plan.step[s].bits | plan.step[s].code[r[plan.step[s].offset]];
    word[0] = static_cast<std::uint32_t>(code);
    if (words > 1) word[1] = static_cast<std::uint32_t>(code >> 32);
    for (int w = 2; w < words; ++w) word[w] = 0;
    return;
  }
  std::uint64_t hi = 0, lo = 0;
  for (std::uint32_t s = 0; s < plan.steps; ++s) {
    const std::uint32_t bits = plan.step[s].bits;  // 1 to 8
    hi = hi << bits | lo >> (64 - bits);
    lo = lo << bits | plan.step[s].code[r[plan.step[s].offset]];
  }
  word[0] = static_cast<std::uint32_t>(lo);
  word[1] = static_cast<std::uint32_t>(lo >> 32);
  word[2] = static_cast<std::uint32_t>(hi);
  word[3] = static_cast<std::uint32_t>(hi >> 32);
}

inline std::uint64_t Low64(const PackedItem<1>& x) { return x.word[0]; }
template <int W>
inline std::uint64_t Low64(const PackedItem<W>& x) { return std::uint64_t{x.word[1]} << 32 | x.word[0]; }

// Codes of up to 63 bits that decide the key: the right item goes out when its code is below
// the left one's, or equal and the last item came from the right (code < left + from_right,
// which cannot overflow), without a branch.
template <int W>
struct CodeOrder {
  bool Greater(const PackedItem<W>& a, const PackedItem<W>& b) const { return Low64(a) > Low64(b); }
  std::uint32_t TakeRight(const PackedItem<W>& r, const PackedItem<W>& l, std::uint32_t from_right) const {
    return Low64(r) < Low64(l) + from_right;
  }
};

// Codes of up to 128 bits, and codes that do not decide the key (the records decide then).
struct WideOrder {
  RecordOrder records;
  bool complete;
  int Compare(const PackedItem<4>& a, const PackedItem<4>& b) const {
    for (int w = 3; w >= 0; --w)
      if (a.word[w] != b.word[w]) return a.word[w] < b.word[w] ? -1 : 1;
    return complete ? 0 : records.Compare(a.record, b.record);
  }
  bool Greater(const PackedItem<4>& a, const PackedItem<4>& b) const { return Compare(a, b) > 0; }
  std::uint32_t TakeRight(const PackedItem<4>& r, const PackedItem<4>& l, std::uint32_t from_right) const {
    return TakeRightOn(Compare(r, l), from_right);
  }
};

// Packs every record, sorts the two halves of the order and merges them into `temp`, then
// into the order. One block holds the n items and the halves' merge buffer. False when the
// block cannot be had.
template <int W, typename Ord>
bool SortPacked(QueueEngine* e, Order& o, const PackPlan& plan, const Ord& ord, void** temp) {
  using Item = PackedItem<W>;
  const std::uint32_t n = o.entries.count;
  const std::uint32_t f = (n - 1) / 2 + 1;  // the left half [0, (n - 1) / 2]
  const std::uint64_t bytes = (std::uint64_t{n} + (f + 1) / 2) * sizeof(Item);
  if (bytes > 0x7FFFFFFFu) return false;
  auto* items = static_cast<Item*>(MemAlloc(static_cast<std::uint32_t>(bytes)));
  if (!items) return false;
  void* const* entries = o.entries.items;
  ForEachRecord(e, o, plan.step[0].offset, [&](std::uint32_t i, const std::uint8_t* r) {
    PackCode(plan, r, items[i].word, W);
    items[i].record = entries[i];
  });
  MergeSort<Item, Ord> sorter{ord, items + n};
  sorter.Sort(items, 0, f - 1);
  sorter.Sort(items, f, n - 1);
  // The last merge writes the records straight into temp.
  struct RecordOut {
    void** at;
    RecordOut& operator++(int) { return *this; }
    RecordOut& operator*() { return *this; }
    void operator=(const Item& x) { *at++ = x.record; }
  } out{temp};
  const Item* l = items;
  const Item* r = items + f;
  MergeRuns(ord, l, items + f, r, items + n, out);
  for (; l != items + f; ++l) out = *l;
  for (; r != items + n; ++r) out = *r;
  std::memcpy(o.entries.items, temp, n * sizeof(void*));
  MemFree(items);
  return true;
}

// Sorts through packed codes; false (nothing changed) when the key's first field has no
// normalised form or memory runs out.
bool SortByCodes(QueueEngine* e, Order& o, void** temp) {
  auto* plan = static_cast<PackPlan*>(MemAlloc(sizeof(PackPlan)));
  if (!plan) return false;
  PlanPositions(o.key, *plan);
  bool sorted = false;
  if (plan->count > 0) {
    GatherValues(e, o, *plan);
    PlanSteps(*plan);
    const RecordOrder records{e, o.key};
    if (plan->steps == 0 && plan->complete)
      sorted = true;  // every key equal: the sort keeps the sequence
    else if (plan->complete && plan->bits < 32)
      sorted = SortPacked<1>(e, o, *plan, CodeOrder<1>{}, temp);
    else if (plan->complete && plan->bits < 64)
      sorted = SortPacked<2>(e, o, *plan, CodeOrder<2>{}, temp);
    else if (plan->steps > 0)
      sorted = SortPacked<4>(e, o, *plan, WideOrder{records, plan->complete}, temp);
  }
  MemFree(plan);
  return sorted;
}

}  // namespace

void SortOrder(QueueEngine* e, Order& o, void** temp) {
  const std::uint32_t n = o.entries.count;
  if (n > 1 && !(n >= 64 && o.key.kind != KeyKind::kInsertion && SortByCodes(e, o, temp))) {
    const RecordOrder ord{e, o.key};
    MergeSort<void*, RecordOrder>{ord, temp}.Sort(o.entries.items, 0, n - 1);
  }
  o.needs_sorting = false;
}

}  // namespace vel
