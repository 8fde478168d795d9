// Stored records, key comparison, searching and the hash switch.
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
