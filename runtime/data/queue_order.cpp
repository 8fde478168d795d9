// Stored records, key comparison, searching, the stable merge sort and the hash switch.
//
// Stored record, plain mode: record size bytes. Compressed modes: a 32-bit length L, then L
// bytes of run-length code, or (L = 0) the raw record.
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

// The stable merge sort over an array of items, with cmp(a, b) the key comparison of the
// records they stand for. Items are record references, or references with a key prefix.
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

  // Merges the sorted halves [first, mid] and [mid+1, last] in two alternating phases.
  // Phase R takes right records while they sort strictly before the left record L, so a
  // right record equal to L goes after it; phase L takes left records while they sort before
  // or equal to the right record R. Equal records therefore keep their relative order.
  void Merge(Item* items, Item* temp, std::uint32_t first, std::uint32_t mid, std::uint32_t last) {
    const std::uint32_t p = UpperBound(items, first, mid + 1, items[mid + 1]);
    if (p > mid) return;  // already in order
    std::uint32_t n = 0, li = p, ri = mid + 1;
    for (;;) {
      // Phase R.
      const Item left = items[li];
      temp[n++] = items[ri++];
      while (ri <= last && cmp(left, items[ri]) > 0) temp[n++] = items[ri++];
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

// A record reference with the first key field's leading bytes (collation weights, most
// significant first) or its integer value, ordered like the field: two items whose prefixes
// differ are ordered by them without touching the records, which keeps large sorts in cache.
struct PrefixedItem {
  std::uint64_t prefix;  // bytes 0..7 of a text field, or an integer field's biased value
  std::uint32_t more;    // bytes 8..11 of a text field
  void* record;
};

enum class PrefixKind { kNone, kText, kSigned, kUnsigned };

PrefixKind PrefixKindOf(const Key& k) {
  if (k.count == 0 || k.kind == KeyKind::kInsertion) return PrefixKind::kNone;
  const FieldDesc& f = *k.desc[0];
  if (f.elements > 1) return PrefixKind::kNone;
  switch (f.type) {
    case kTypeString:
    case kTypeGroup:
      return Collation().digraph[0][0] == 0 ? PrefixKind::kText : PrefixKind::kNone;
    case kTypeShort:
    case kTypeLong4:
    case kTypeLong5:
    case kTypeLong: return PrefixKind::kSigned;
    case kTypeByte:
    case kTypeUShort:
    case kTypeULong: return PrefixKind::kUnsigned;
    default: return PrefixKind::kNone;
  }
}

PrefixedItem PrefixOf(PrefixKind kind, const FieldDesc& f, void* stored, const std::uint8_t* record) {
  const std::uint8_t* p = record + f.offset;
  if (kind == PrefixKind::kText) {
    const std::uint8_t* weight = Collation().weight;
    std::uint64_t v = 0;
    std::uint32_t w = 0;
    for (std::uint32_t i = 0; i < 8; ++i) v = (v << 8) | (i < f.size ? weight[p[i]] : 0u);
    for (std::uint32_t i = 8; i < 12; ++i) w = (w << 8) | (i < f.size ? weight[p[i]] : 0u);
    return PrefixedItem{v, w, stored};
  }
  std::int64_t v = 0;
  switch (f.type) {
    case kTypeByte: v = p[0]; break;
    case kTypeShort: { std::int16_t x; std::memcpy(&x, p, 2); v = x; break; }
    case kTypeUShort: { std::uint16_t x; std::memcpy(&x, p, 2); v = x; break; }
    case kTypeULong: { std::uint32_t x; std::memcpy(&x, p, 4); v = x; break; }
    default: { std::int32_t x; std::memcpy(&x, p, 4); v = x; break; }
  }
  return PrefixedItem{static_cast<std::uint64_t>(v) ^ (std::uint64_t{1} << 63), 0, stored};  // order-preserving bias
}

// Sorts with key prefixes; false when the two prefix arrays cannot be had.
bool SortPrefixed(QueueEngine* e, Order& o, PrefixKind kind) {
  const std::uint32_t n = o.entries.count;
  const std::uint64_t bytes = std::uint64_t{n} * sizeof(PrefixedItem);
  if (bytes * 2 > 0xFFFFFFFFu) return false;
  auto* items = static_cast<PrefixedItem*>(MemAlloc(static_cast<std::uint32_t>(bytes)));
  auto* temp = static_cast<PrefixedItem*>(MemAlloc(static_cast<std::uint32_t>(bytes)));
  if (!items || !temp) {
    MemFree(items);
    MemFree(temp);
    return false;
  }
  const Key& k = o.key;
  const FieldDesc& f = *k.desc[0];
  for (std::uint32_t i = 0; i < n; ++i) {
    void* rec = o.entries.items[i];
    items[i] = PrefixOf(kind, f, rec, RecordView(e, rec, e->scratch));
  }
  const int sign = k.fields[0] < 0 ? -1 : 1;
  auto cmp = [e, &k, sign](const PrefixedItem& a, const PrefixedItem& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix ? -sign : sign;
    if (a.more != b.more) return a.more < b.more ? -sign : sign;
    return CompareEntries(e, k, a.record, b.record);
  };
  Sorter<PrefixedItem, decltype(cmp)>{cmp}.SortRange(items, temp, 0, n - 1);
  for (std::uint32_t i = 0; i < n; ++i) o.entries.items[i] = items[i].record;
  MemFree(items);
  MemFree(temp);
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
  const PrefixKind kind = PrefixKindOf(o.key);
  // Large sorts go through key prefixes when their first field has one; the result is the
  // same (the prefix only short-cuts comparisons it decides).
  if (n > 1 && !(n >= 64 && kind != PrefixKind::kNone && SortPrefixed(e, o, kind))) {
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
