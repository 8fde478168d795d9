// The queue engine's private structures, shared by its two source files.
//
// Engine object: the record layout, the storage mode, the record buffers, the change counter,
// up to 16 orders (most recently used first) with the current one, and a pending key.
// Invariants: every order holds references to exactly the same stored records; every order
// other than the current one is in its key's sequence (the current order may have lost its
// key and then is of insertion kind); an order's `index` is the position of `current` in it,
// or -1 when unknown; the records belong to the engine and are released through the current
// order when the queue is freed or destroyed.
#pragma once
#include <cstdint>

#include "runtime/data/queue.h"
#include "runtime/data/queue_hash.h"
#include "runtime/data/record_array.h"
#include "runtime/data/typed_value.h"

namespace vel {

constexpr int kMaxOrders = 16;
constexpr int kMaxKeyFields = 16;

enum class KeyKind : std::uint8_t { kInsertion, kSorted, kHashed };

struct Key {
  KeyKind kind = KeyKind::kInsertion;
  std::int32_t count = 0;
  std::int32_t fields[kMaxKeyFields] = {};
  const FieldDesc* desc[kMaxKeyFields] = {};  // the fields' descriptors, in key order
  std::uint32_t length = 0;  // sum of the key fields' sizes
  std::uint32_t uses = 0;    // keyed look-ups and insertions since the key was installed
  HashIndex* hash = nullptr; // kHashed only
};

struct Order {
  RecordArray entries;
  QueueEngine* owner;
  Key key;
  void* current;          // stored record last fetched, added or found, or null
  std::int32_t index;     // its position, -1 when unknown or none
  bool needs_sorting;
  bool marked;
  bool secondary;
};

struct QueueEngine {
  const RecordLayout* layout;
  std::uint32_t record_size;
  queue_debug::Mode mode;
  std::uint8_t* user;      // the declaration's record buffer, never owned
  std::uint8_t* a;         // scratch A as seen by the list control: a_own or a stored record
  std::uint8_t* a_own;     // A's own block (row 0, and every row in the compressed modes)
  std::uint8_t* b;         // B: search key / record being placed (compressed modes, key copies)
  std::uint8_t* c;         // the old record during a rewrite (compressed modes)
  std::uint8_t* scratch;   // stored records expanded for comparison (compressed modes); kept
                           // apart from A so that the list's loaded row survives other calls
  std::uint8_t* encoded;   // encoder output (compressed modes)
  void* a_record;          // stored record A was loaded from; null = the user buffer's row
  bool a_loaded;
  std::uint32_t changes;
  Order* orders[kMaxOrders];
  int order_count;
  Order* current;
  Key pending;
  bool has_pending;
  bool keyed;
};

// --- stored records (queue_order.cpp) --------------------------------------------------------
// The raw bytes of a stored record: the record itself in plain mode or when stored raw,
// else decoded into `scratch`.
const std::uint8_t* RecordView(QueueEngine* e, void* stored, std::uint8_t* scratch);
// Copies a stored record's bytes into dst (record size bytes).
void RecordExpand(QueueEngine* e, void* stored, std::uint8_t* dst);
// A new stored record holding src; null when memory runs out.
void* RecordMake(QueueEngine* e, const std::uint8_t* src);
std::uint32_t StoredLengthOf(const QueueEngine* e, const void* stored);

// --- keys and searching (queue_order.cpp) -----------------------------------------------------
int KeyCompare(const QueueEngine* e, const Key& k, const std::uint8_t* x, const std::uint8_t* y);
bool SameKey(const Key& a, const Key& b);
std::uint32_t KeyHash(const QueueEngine* e, const Key& k, const std::uint8_t* bytes);
// Lowest index of a record equal to key under k, or -1.
std::int32_t ExactSearch(QueueEngine* e, const Key& k, const RecordArray& a, const std::uint8_t* key);
// Index after the last record less than or equal to key under k.
std::uint32_t InsertPosition(QueueEngine* e, const Key& k, const RecordArray& a, const std::uint8_t* key);
// Index of the stored record `rec` (whose bytes are `bytes`) in order o, or -1.
std::int32_t FindRecord(QueueEngine* e, const Order& o, void* rec, const std::uint8_t* bytes);

// --- sorting (queue_sort.cpp) -----------------------------------------------------------------
// Sorts o's entries by its key using `temp` (o.entries.count slots): insertion below ten
// entries, else the described merge sort (equal keys meeting across a merge are ordered by its
// tie rule, not kept in sequence). Cannot fail: without memory for its packed codes a large
// sort compares the records.
void SortOrder(QueueEngine* e, Order& o, void** temp);

// Order maintenance (queue_order.cpp): insertion and removal keep the index, the current record and the hash.
// OrderInsert requires room (RecordArrayReserveOne).
void OrderInsert(QueueEngine* e, Order& o, std::uint32_t at, void* rec, const std::uint8_t* bytes);
void OrderRemoveAt(QueueEngine* e, Order& o, std::uint32_t at, const std::uint8_t* bytes);
void DropHash(Order& o);
void LoseKey(Order& o);
// Counts one keyed use of o and switches it to a hash index when it has earned one.
void CountKeyedUse(QueueEngine* e, Order& o);
// A hashed look-up of key in o: the record or null. o must be of hashed kind.
void* HashLookup(QueueEngine* e, Order& o, const std::uint8_t* key);

}  // namespace vel
