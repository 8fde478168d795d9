// Stored records, key comparison, searching, the merge sort and the hash switch.
//
// Stored record, plain mode: record size bytes. Compressed modes: a 32-bit length L, then L
// bytes of run-length code, or (L = 0) the raw record.
// Sort item (large sorts): 16 normalised key bytes as four 32-bit words, most significant
// first, and the stored record; items order like their records' keys wherever they differ.
#include <cstdlib>
#include <cstring>

#include "runtime/core/collation.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/data/queue_internal.h"
#include "runtime/data/queue_rle.h"

namespace vel {
namespace {

std::uint32_t LoadLength(const void* stored) {
  std::uint32_t n;
  std::memcpy(&n, stored, sizeof n);
  return n;
}

bool Compressed(const QueueEngine* e) { return e->mode != queue_debug::Mode::kPlain; }

// Decodes into dst; a record that does not decode to exactly the record size is damage
// (only this engine writes them): report it and show zeros rather than stale bytes.
void Decode(QueueEngine* e, const void* stored, std::uint8_t* dst) {
  const std::uint32_t n = LoadLength(stored);
  const auto* data = static_cast<const std::uint8_t*>(stored) + 4;
  if (rle::Decode(data, n, dst, e->record_size) != e->record_size) {
    std::memset(dst, 0, e->record_size);
    PostError(7);
  }
}

template <typename T>
int Order3(const std::uint8_t* a, const std::uint8_t* b) {
  T x, y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  return (x > y) - (x < y);
}

// The common scalar kinds compared in line; the rest through the typed value layer.
inline int FieldCompare(const FieldDesc& f, const std::uint8_t* x, const std::uint8_t* y) {
  if (f.elements <= 1) {
    const std::uint8_t* a = x + f.offset;
    const std::uint8_t* b = y + f.offset;
    switch (f.type) {
      case kTypeString:
      case kTypeGroup:
        if (std::memcmp(a, b, f.size) == 0) return 0;  // keyed look-ups mostly meet equals
        return CollateCompare(reinterpret_cast<const char*>(a), f.size, reinterpret_cast<const char*>(b), f.size);
      case kTypeByte: return (a[0] > b[0]) - (a[0] < b[0]);
      case kTypeShort: return Order3<std::int16_t>(a, b);
      case kTypeUShort: return Order3<std::uint16_t>(a, b);
      case kTypeLong4:
      case kTypeLong5:
      case kTypeLong: return Order3<std::int32_t>(a, b);
      case kTypeULong: return Order3<std::uint32_t>(a, b);
      default: break;
    }
  }
  return CompareField(f, x, y);
}

// Compares two stored records (the sort; the comparison scratch and B hold them expanded).
int CompareEntries(QueueEngine* e, const Key& k, void* x, void* y) {
  return KeyCompare(e, k, RecordView(e, x, e->scratch), RecordView(e, y, e->b));
}

// The merge sort over an array of items, with cmp(a, b) the key comparison of the records
// they stand for. Items are record references, or references with a key prefix.
//
// Ranges of fewer than ten items go by binary insertion (after equal items: stable); larger
// ranges are split at (first + last) / 2 and merged in two alternating phases. In phase R the
// right run's items go out while they sort before or equal to the left item L; in phase L the
// left run's items go out while they sort before or equal to the right item R. So on a tie the
// item from the run that gave the last item goes first: equal items that meet across a merge
// do not keep their relative order, and every path of the sort must merge exactly so.
template <typename Item, typename Cmp>
struct Sorter {
  Cmp cmp;

  // Upper bound of x within items[lo, hi).
  std::uint32_t UpperBound(const Item* items, std::uint32_t lo, std::uint32_t hi, const Item& x) {
    while (lo < hi) {
      const std::uint32_t mid = (lo + hi) >> 1;
      if (cmp(x, items[mid]) >= 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo;
  }

  void InsertionSort(Item* items, std::uint32_t first, std::uint32_t last) {
    for (std::uint32_t i = first + 1; i <= last; ++i) {
      const Item x = items[i];
      const std::uint32_t p = UpperBound(items, first, i, x);
      std::memmove(items + p + 1, items + p, (i - p) * sizeof(Item));
      items[p] = x;
    }
  }

  // Merges the sorted halves [first, mid] and [mid+1, last] from the insertion position p of
  // the first right item in the left half (everything before p is in place).
  void Merge(Item* items, Item* temp, std::uint32_t first, std::uint32_t mid, std::uint32_t last) {
    const std::uint32_t p = UpperBound(items, first, mid + 1, items[mid + 1]);
    if (p > mid) return;  // already in order
    std::uint32_t n = 0, li = p, ri = mid + 1;
    for (;;) {
      // Phase R.
      const Item left = items[li];
      temp[n++] = items[ri++];
      while (ri <= last && cmp(left, items[ri]) >= 0) temp[n++] = items[ri++];
      if (ri > last) {
        while (li <= mid) temp[n++] = items[li++];
        break;
      }
      // Phase L: items[ri] is the right record R.
      const Item right = items[ri];
      temp[n++] = items[li++];
      while (li <= mid && cmp(right, items[li]) >= 0) temp[n++] = items[li++];
      if (li > mid) break;  // the remaining right records are in place
    }
    std::memcpy(items + p, temp, n * sizeof(Item));
  }

  void SortRange(Item* items, Item* temp, std::uint32_t first, std::uint32_t last) {
    if (last - first < 9) {
      InsertionSort(items, first, last);
      return;
    }
    const std::uint32_t mid = (first + last) / 2;
    SortRange(items, temp, first, mid);
    SortRange(items, temp, mid + 1, last);
    Merge(items, temp, first, mid, last);
  }
};

// --- sorting through normalised keys ---------------------------------------------------------
//
// A key is normalised into a byte string that orders like the key under plain unsigned byte
// comparison: a text field contributes the collation weight of each of its bytes (the
// collating comparison is decided by the first position whose weights differ, and both sides
// have the field's size), an integer field its value big-endian with the sign bit flipped, a
// descending field the complement of its bytes. Only leading fields of those kinds take part,
// and only without digraphs. Positions where every record of the order has the same byte can
// never decide, so a first pass finds the positions that vary and the sort items carry the
// first 16 of them. When every key field took part and at most 16 positions vary, two items
// with equal bytes have equal keys; otherwise equal bytes send the comparison to the records.

constexpr std::uint32_t kNormMax = 256;  // normalised positions considered
constexpr std::uint32_t kItemBytes = 16;

// Where one normalised position comes from: a record byte, through the weights or not, then
// exclusive-or'ed with `flip` (sign bit, descending complement).
struct NormPosition {
  std::uint32_t offset;
  std::uint8_t flip;
  bool weighted;
};

struct NormPlan {
  NormPosition pos[kNormMax];
  std::uint32_t count = 0;     // normalised positions
  bool covers_key = true;      // every key field is in the positions
  NormPosition pick[kItemBytes];
  std::uint32_t picked = 0;
  bool complete = false;       // equal item bytes mean equal keys
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

// The normalised positions of k's leading fields. Integers are stored little-endian.
void PlanPositions(const Key& k, NormPlan& plan) {
  const bool digraphs = Collation().digraph[0][0] != 0;
  for (std::int32_t i = 0; i < k.count; ++i) {
    const FieldDesc& f = *k.desc[i];
    const std::uint8_t flip = k.fields[i] < 0 ? 0xFF : 0;
    const bool text = (f.type == kTypeString || f.type == kTypeGroup) && !digraphs;
    const std::uint32_t width = text ? f.size : IntegerWidth(f.type);
    if (f.elements > 1 || width == 0 || plan.count + width > kNormMax) {
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

inline std::uint8_t NormByte(const NormPosition& p, const std::uint8_t* weight, const std::uint8_t* record) {
  const std::uint8_t b = record[p.offset];
  return static_cast<std::uint8_t>((p.weighted ? weight[b] : b) ^ p.flip);
}

// A record reference with its first 16 varying normalised bytes, most significant first.
struct NormItem {
  std::uint32_t word[4];
  void* record;
};

NormItem MakeItem(const NormPlan& plan, void* stored, const std::uint8_t* record) {
  const std::uint8_t* weight = Collation().weight;
  std::uint8_t bytes[kItemBytes] = {};
  for (std::uint32_t i = 0; i < plan.picked; ++i) bytes[i] = NormByte(plan.pick[i], weight, record);
  NormItem item;
  for (int w = 0; w < 4; ++w)
    item.word[w] = std::uint32_t{bytes[4 * w]} << 24 | std::uint32_t{bytes[4 * w + 1]} << 16 |
                   std::uint32_t{bytes[4 * w + 2]} << 8 | bytes[4 * w + 3];
  item.record = stored;
  return item;
}

// First pass: which normalised positions vary over the order's records. A position varies
// when its record byte does (a byte change whose weights are equal is kept too: harmless).
void PickVarying(QueueEngine* e, const Order& o, NormPlan& plan) {
  std::uint32_t lo = 0xFFFFFFFFu, hi = 0;
  for (std::uint32_t j = 0; j < plan.count; ++j) {
    if (plan.pos[j].offset < lo) lo = plan.pos[j].offset;
    if (plan.pos[j].offset >= hi) hi = plan.pos[j].offset + 1;
  }
  const std::uint32_t span = hi - lo;  // at most kNormMax * 4: the fields do not overlap
  std::uint8_t first[kNormMax * 4], varies[kNormMax * 4] = {};
  std::memcpy(first, RecordView(e, o.entries.items[0], e->scratch) + lo, span);
  for (std::uint32_t i = 1; i < o.entries.count; ++i) {
    const std::uint8_t* r = RecordView(e, o.entries.items[i], e->scratch) + lo;
    for (std::uint32_t j = 0; j < span; ++j) varies[j] |= r[j] ^ first[j];
  }
  std::uint32_t varying = 0;
  for (std::uint32_t j = 0; j < plan.count; ++j) {
    if (!varies[plan.pos[j].offset - lo]) continue;
    if (plan.picked < kItemBytes) plan.pick[plan.picked++] = plan.pos[j];
    ++varying;
  }
  plan.complete = plan.covers_key && varying <= kItemBytes;
}

inline int CompareWords(const NormItem& a, const NormItem& b) {
  const std::uint64_t x = std::uint64_t{a.word[0]} << 32 | a.word[1];
  const std::uint64_t y = std::uint64_t{b.word[0]} << 32 | b.word[1];
  if (x != y) return x < y ? -1 : 1;
  const std::uint64_t u = std::uint64_t{a.word[2]} << 32 | a.word[3];
  const std::uint64_t v = std::uint64_t{b.word[2]} << 32 | b.word[3];
  return (u > v) - (u < v);
}

// The same merge sort over items[first, last] with a buffer of half the range: the left run
// is moved out and merged back with the right run; on a tie the run that gave the last item
// gives the next (Sorter's phases R and L).
// One step of a merge: whether the right run's item goes next, given c = cmp(right, left)
// and whether the last item came from the right run.
inline bool TakeRight(int c, bool last_from_right) { return c < 0 || (c == 0 && last_from_right); }

template <typename Cmp>
struct BufferedSorter {
  Cmp cmp;
  NormItem* buffer;

  void Merge(NormItem* items, std::uint32_t first, std::uint32_t mid, std::uint32_t last) {
    std::uint32_t p = first, hi = mid + 1;  // upper bound of the first right item in the left run
    while (p < hi) {
      const std::uint32_t m = (p + hi) >> 1;
      if (cmp(items[mid + 1], items[m]) >= 0) p = m + 1; else hi = m;
    }
    if (p > mid) return;  // already in order
    const std::uint32_t left = mid + 1 - p;
    std::memcpy(buffer, items + p, left * sizeof(NormItem));
    std::uint32_t i = 0, j = mid + 1, out = p;
    bool from_right = false;  // the first item out is the right run's: it sorts before buffer[0]
    while (i < left && j <= last) {
      from_right = TakeRight(cmp(items[j], buffer[i]), from_right);
      items[out++] = from_right ? items[j++] : buffer[i++];
    }
    if (i < left) std::memcpy(items + out, buffer + i, (left - i) * sizeof(NormItem));
  }

  void SortRange(NormItem* items, std::uint32_t first, std::uint32_t last) {
    if (last - first < 9) {
      Sorter<NormItem, Cmp>{cmp}.InsertionSort(items, first, last);
      return;
    }
    const std::uint32_t mid = (first + last) / 2;
    SortRange(items, first, mid);
    SortRange(items, mid + 1, last);
    Merge(items, first, mid, last);
  }
};

// Sorts through normalised keys, in the recursion of the sort over references (halves split at
// the middle, the same merges), so that equal records end in the same order. One block holds
// n + (b + 1) / 2 items: the right half's b items first, then the left half's f items, then
// the right half's merge buffer. The left half is sorted first, with the still empty right
// area as its buffer (half of f fits in b); the last merge streams both halves into `temp`.
// False when the block cannot be had or the key's first field has no normalised form.
bool SortNormalised(QueueEngine* e, Order& o, void** temp) {
  const std::uint32_t n = o.entries.count;
  if (n < 2) return false;
  NormPlan plan;
  PlanPositions(o.key, plan);
  const std::uint32_t f = (n - 1) / 2 + 1;  // the left half [0, (n - 1) / 2]
  const std::uint32_t b = n - f;
  const std::uint64_t bytes = (std::uint64_t{n} + (b + 1) / 2) * sizeof(NormItem);
  if (plan.count == 0 || bytes > 0x7FFFFFFFu) return false;
  auto* items = static_cast<NormItem*>(MemAlloc(static_cast<std::uint32_t>(bytes)));
  if (!items) return false;
  PickVarying(e, o, plan);
  const Key& k = o.key;
  const bool complete = plan.complete;
  auto cmp = [e, &k, complete](const NormItem& x, const NormItem& y) {
    const int c = CompareWords(x, y);
    if (c || complete) return c;
    return CompareEntries(e, k, x.record, y.record);
  };
  void** entries = o.entries.items;
  auto sort_part = [&](NormItem* at, std::uint32_t from, std::uint32_t count, NormItem* buffer) {
    for (std::uint32_t i = 0; i < count; ++i)
      at[i] = MakeItem(plan, entries[from + i], RecordView(e, entries[from + i], e->scratch));
    BufferedSorter<decltype(cmp)>{cmp, buffer}.SortRange(at, 0, count - 1);
  };
  NormItem* right = items;
  NormItem* left = items + b;
  sort_part(left, 0, f, right);
  sort_part(right, f, b, items + n);
  std::uint32_t i = 0, j = 0, out = 0;
  bool from_right = false;  // left items equal to the first right one stay in front of it
  while (i < f && j < b) {
    from_right = TakeRight(cmp(right[j], left[i]), from_right);
    temp[out++] = from_right ? right[j++].record : left[i++].record;
  }
  while (i < f) temp[out++] = left[i++].record;
  while (j < b) temp[out++] = right[j++].record;
  std::memcpy(entries, temp, n * sizeof(void*));
  MemFree(items);
  return true;
}

// Whether a sorted key may be replaced by a hashed one: a single field of at most 4 bytes,
// or more than 16 bytes of key.
bool Hashable(const QueueEngine* e, const Key& k) {
  if (k.count == 1) {
    const FieldDesc* f = LayoutField(*e->layout, std::abs(k.fields[0]));
    if (f && TotalSize(*f) <= 4) return true;
  }
  return k.length > 16;
}

HashForm FormFor(const QueueEngine* e, const Key& k) {
  if (k.count == 1) {
    const FieldDesc* f = LayoutField(*e->layout, std::abs(k.fields[0]));
    if (f && TotalSize(*f) == 1) return HashForm::kDirect;
    if (f && TotalSize(*f) <= 4) return HashForm::kSmallField;
  }
  return HashForm::kGeneral;
}

// One node per distinct key, for the first record with it (equal keys are adjacent).
void BuildHash(QueueEngine* e, Order& o) {
  HashIndex* x = HashCreate(FormFor(e, o.key), 0);  // grows with the distinct keys
  if (!x) return;
  std::uint32_t previous_hash = 0;
  for (std::uint32_t i = 0; i < o.entries.count; ++i) {
    void* rec = o.entries.items[i];
    const std::uint8_t* bytes = RecordView(e, rec, e->b);
    const std::uint32_t h = KeyHash(e, o.key, bytes);
    if (i > 0 && h == previous_hash &&
        KeyCompare(e, o.key, bytes, RecordView(e, o.entries.items[i - 1], e->scratch)) == 0)
      continue;
    if (!HashAdd(x, rec, h)) {
      HashDestroy(x);
      return;  // stays a plain sorted key
    }
    previous_hash = h;
  }
  x->records = o.entries.count;
  o.key.hash = x;
  o.key.kind = KeyKind::kHashed;
}

// The indexed record with a key equal to `key` (hash h), or null.
void* HashFind(QueueEngine* e, const Order& o, const std::uint8_t* key, std::uint32_t h) {
  const HashIndex* x = o.key.hash;
  for (std::uint32_t n = HashChain(x, h); n; n = x->nodes[n - 1].next) {
    const HashNode& node = x->nodes[n - 1];
    if (node.hash == h && KeyCompare(e, o.key, key, RecordView(e, node.record, e->scratch)) == 0)
      return node.record;
  }
  return nullptr;
}

}  // namespace

const std::uint8_t* RecordView(QueueEngine* e, void* stored, std::uint8_t* scratch) {
  if (!Compressed(e)) return static_cast<const std::uint8_t*>(stored);
  if (LoadLength(stored) == 0) return static_cast<const std::uint8_t*>(stored) + 4;
  Decode(e, stored, scratch);
  return scratch;
}

void RecordExpand(QueueEngine* e, void* stored, std::uint8_t* dst) {
  if (!Compressed(e) || LoadLength(stored) == 0) {
    const auto* src = static_cast<const std::uint8_t*>(stored) + (Compressed(e) ? 4 : 0);
    if (src != dst) std::memcpy(dst, src, e->record_size);
    return;
  }
  Decode(e, stored, dst);
}

void* RecordMake(QueueEngine* e, const std::uint8_t* src) {
  const std::uint32_t size = e->record_size;
  if (!Compressed(e)) {
    void* p = MemAlloc(size ? size : 1);
    if (p) std::memcpy(p, src, size);
    return p;
  }
  // Kept compressed only when that saves at least 16 bytes.
  const std::uint32_t n = rle::Encode(src, size, e->encoded, size - 14);
  const bool pays = n != 0 && n + 16 <= size;
  auto* p = static_cast<std::uint8_t*>(MemAlloc(4 + (pays ? n : size)));
  if (!p) return nullptr;
  const std::uint32_t stored_length = pays ? n : 0;
  std::memcpy(p, &stored_length, 4);
  std::memcpy(p + 4, pays ? e->encoded : src, pays ? n : size);
  return p;
}

std::uint32_t StoredLengthOf(const QueueEngine* e, const void* stored) {
  return Compressed(e) ? LoadLength(stored) : e->record_size;
}

int KeyCompare(const QueueEngine* e, const Key& k, const std::uint8_t* x, const std::uint8_t* y) {
  if (k.kind == KeyKind::kInsertion) {
    const int c = std::memcmp(x, y, e->record_size);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  for (std::int32_t i = 0; i < k.count; ++i) {
    const int c = FieldCompare(*k.desc[i], x, y);
    if (c) return k.fields[i] < 0 ? -c : c;
  }
  return 0;
}

bool SameKey(const Key& a, const Key& b) {
  if (a.kind == KeyKind::kInsertion || b.kind == KeyKind::kInsertion) return false;
  if (a.count != b.count) return false;
  for (std::int32_t i = 0; i < a.count; ++i)
    if (a.fields[i] != b.fields[i]) return false;
  return true;
}

std::uint32_t KeyHash([[maybe_unused]] const QueueEngine* e, const Key& k, const std::uint8_t* bytes) {
  std::uint32_t h = 2166136261u;
  for (std::int32_t i = 0; i < k.count; ++i) {
    const FieldDesc& f = *k.desc[i];
    if (k.count == 1 && f.type == kTypeByte) return bytes[f.offset];  // direct form
    for (std::uint32_t el = 0; el < ElementCount(f); ++el)
      h = HashValue(f.type, f.size, f.places, bytes + f.offset + el * f.size, h);
  }
  return h;
}

std::int32_t ExactSearch(QueueEngine* e, const Key& k, const RecordArray& a, const std::uint8_t* key) {
  if (a.count == 0) return -1;
  std::int32_t lo = 0, hi = static_cast<std::int32_t>(a.count) - 1;
  while (lo < hi) {
    const std::int32_t mid = (lo + hi) >> 1;
    const int c = KeyCompare(e, k, key, RecordView(e, a.items[mid], e->scratch));
    if (c > 0) {
      lo = mid + 1;
    } else if (mid == lo) {
      return c == 0 ? mid : -1;  // the key is not above items[lo]
    } else if (c == 0) {
      hi = mid;
    } else {
      hi = mid - 1;
    }
  }
  return KeyCompare(e, k, key, RecordView(e, a.items[lo], e->scratch)) == 0 ? lo : -1;
}

std::uint32_t InsertPosition(QueueEngine* e, const Key& k, const RecordArray& a, const std::uint8_t* key) {
  std::uint32_t lo = 0, hi = a.count;
  while (lo < hi) {
    const std::uint32_t mid = (lo + hi) >> 1;
    if (KeyCompare(e, k, key, RecordView(e, a.items[mid], e->scratch)) >= 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

std::int32_t FindRecord(QueueEngine* e, const Order& o, void* rec, const std::uint8_t* bytes) {
  const RecordArray& a = o.entries;
  if (o.key.kind != KeyKind::kInsertion) {
    const std::int32_t first = ExactSearch(e, o.key, a, bytes);
    if (first >= 0) {
      std::uint32_t bound = a.count;
      if (a.count - static_cast<std::uint32_t>(first) - 1 >= 16)
        bound = InsertPosition(e, o.key, a, bytes);
      for (std::uint32_t i = static_cast<std::uint32_t>(first); i < bound; ++i)
        if (a.items[i] == rec) return static_cast<std::int32_t>(i);
    }
    // Not where its key says: fall through to the plain scan rather than lose it.
  }
  for (std::uint32_t i = 0; i < a.count; ++i)
    if (a.items[i] == rec) return static_cast<std::int32_t>(i);
  return -1;
}

void SortOrder(QueueEngine* e, Order& o, void** temp) {
  const std::uint32_t n = o.entries.count;
  // Large sorts go through normalised keys when the key's first field has one; the result is
  // the same (the item bytes only decide comparisons the key would decide the same way, and
  // the merges are the same).
  if (n > 1 && !(n >= 64 && o.key.kind != KeyKind::kInsertion && SortNormalised(e, o, temp))) {
    const Key& k = o.key;
    auto cmp = [e, &k](void* a, void* b) { return CompareEntries(e, k, a, b); };
    Sorter<void*, decltype(cmp)>{cmp}.SortRange(o.entries.items, temp, 0, n - 1);
  }
  o.needs_sorting = false;
}

void OrderInsert(QueueEngine* e, Order& o, std::uint32_t at, void* rec, const std::uint8_t* bytes) {
  RecordArrayInsert(o.entries, at, rec);
  if (o.index >= 0 && static_cast<std::uint32_t>(o.index) >= at) ++o.index;
  if (o.key.kind != KeyKind::kHashed) return;
  ++o.key.hash->records;
  // A record joining equal ones goes after them: only a new key needs a node.
  const std::uint32_t h = KeyHash(e, o.key, bytes);
  if (!HashFind(e, o, bytes, h) && !HashAdd(o.key.hash, rec, h)) DropHash(o);
}

void OrderRemoveAt(QueueEngine* e, Order& o, std::uint32_t at, const std::uint8_t* bytes) {
  void* rec = o.entries.items[at];
  RecordArrayRemove(o.entries, at);
  if (o.key.kind == KeyKind::kHashed) {
    // If rec was its key's first record, the next one with that key (now at `at`) takes its
    // node, or the node goes; for any other record both calls find nothing to do.
    HashIndex* x = o.key.hash;
    --x->records;
    const std::uint32_t h = KeyHash(e, o.key, bytes);
    if (at < o.entries.count &&
        KeyCompare(e, o.key, bytes, RecordView(e, o.entries.items[at], e->scratch)) == 0)
      HashReplace(x, rec, o.entries.items[at], h);
    else
      HashRemove(x, rec, h);
  }
  if (o.current == rec) {
    o.current = nullptr;
    o.index = -1;
  } else if (o.index > static_cast<std::int32_t>(at)) {
    --o.index;
  }
}

void DropHash(Order& o) {
  if (o.key.kind != KeyKind::kHashed) return;
  HashDestroy(o.key.hash);
  o.key.hash = nullptr;
  o.key.kind = KeyKind::kSorted;
  o.key.uses = 0;
}

void LoseKey(Order& o) {
  DropHash(o);
  o.key = Key{};
}

void CountKeyedUse(QueueEngine* e, Order& o) {
  if (o.key.kind != KeyKind::kSorted) return;
  if (++o.key.uses <= 64 || o.entries.count <= 32 || !Hashable(e, o.key)) return;
  BuildHash(e, o);
  o.key.uses = 0;
}

void* HashLookup(QueueEngine* e, Order& o, const std::uint8_t* key) {
  return HashFind(e, o, key, KeyHash(e, o.key, key));
}

}  // namespace vel
