// The queue operations: creation on first use, keys and orders, adding, fetching, rewriting,
// deleting, sorting, freeing, and the list control's row access.
//
// Every operation that changes several orders first obtains everything that can fail (the
// stored record, room in every record array, the sort's temporary array) and only then
// changes state, so a failure leaves records and orders as they were.
//
// Each public operation holds the runtime lock (RuntimeGuard) while it runs: the FTP library's
// notification thread, which is no runtime thread, fills queues the window thread shows.
#include "runtime/data/queue.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/runtime_guard.h"
#include "runtime/core/string_stack.h"
#include "runtime/core/sys.h"
#include "runtime/data/queue_internal.h"

namespace vel {
namespace {

constexpr std::int32_t kErrNullBlock = 7;
constexpr std::int32_t kErrMemory = 8;
constexpr std::int32_t kErrNotFound = 30;
constexpr std::int32_t kErrField = 75;
constexpr std::uint32_t kChangeSeedFactor = 0x189635B;  // 25,781,083
constexpr std::uint32_t kCompressFrom = 128;

using queue_debug::Mode;

// --- creation and release --------------------------------------------------------------------

Order* NewOrder(QueueEngine* e, bool secondary) {
  auto* o = static_cast<Order*>(MemCalloc(1, sizeof(Order)));
  if (!o) return nullptr;
  new (o) Order{};
  o->owner = e;
  o->index = -1;
  o->secondary = secondary;
  return o;
}

void ReleaseOrder(Order* o) {
  if (!o) return;
  DropHash(*o);
  RecordArrayRelease(o->entries);
  MemFree(o);
}

Mode ModeFor(const RecordLayout& layout, std::uint32_t size) {
  if (size < kCompressFrom) return Mode::kPlain;
  for (std::uint32_t i = 0; i < layout.field_count; ++i)
    if (IsStringType(layout.fields[i].type)) return Mode::kCompressedClearing;
  return Mode::kCompressed;
}

void ReleaseEngine(QueueEngine* e) {
  if (!e) return;
  if (e->current)
    for (std::uint32_t i = 0; i < e->current->entries.count; ++i) MemFree(e->current->entries.items[i]);
  for (int i = 0; i < e->order_count; ++i) ReleaseOrder(e->orders[i]);
  MemFree(e->a_own);
  MemFree(e->b);
  MemFree(e->c);
  MemFree(e->scratch);
  MemFree(e->encoded);
  MemFree(e);
}

QueueEngine* CreateEngine(QueueBlock* q) {
  auto* e = static_cast<QueueEngine*>(MemCalloc(1, sizeof(QueueEngine)));
  if (!e) return nullptr;
  new (e) QueueEngine{};
  e->layout = q->layout;
  e->record_size = q->record_size;
  e->mode = ModeFor(*q->layout, q->record_size);
  e->user = static_cast<std::uint8_t*>(q->buffer);
  const std::uint32_t block = e->record_size ? e->record_size : 1;
  e->a_own = static_cast<std::uint8_t*>(MemAlloc(block));
  e->b = static_cast<std::uint8_t*>(MemAlloc(block));
  bool ok = e->a_own && e->b;
  if (ok && e->mode != Mode::kPlain) {
    e->c = static_cast<std::uint8_t*>(MemAlloc(block));
    e->scratch = static_cast<std::uint8_t*>(MemAlloc(block));
    e->encoded = static_cast<std::uint8_t*>(MemAlloc(block));
    ok = e->c && e->scratch && e->encoded;
  }
  Order* o = ok ? NewOrder(e, false) : nullptr;
  if (!o) {
    ReleaseEngine(e);
    return nullptr;
  }
  e->a = e->a_own;
  e->orders[0] = o;
  e->order_count = 1;
  e->current = o;
  e->changes = (sys::LocalHundredthsSinceMidnight() + 1) * kChangeSeedFactor;
  return e;
}

// Clears the current error and finds (or creates) the engine; null after posting 7 or 8.
QueueEngine* Begin(QueueBlock* q) {
  ClearError();
  if (!q || !q->layout) {
    PostError(kErrNullBlock);
    return nullptr;
  }
  if (!q->engine) {
    QueueEngine* e = CreateEngine(q);
    if (!e) {
      PostError(kErrMemory);
      return nullptr;
    }
    if (ErrorCode() != 0) {
      ReleaseEngine(e);
      return nullptr;
    }
    q->engine = e;
  }
  QueueEngine* e = q->engine;
  e->user = static_cast<std::uint8_t*>(q->buffer);
  return e;
}

// --- the order list --------------------------------------------------------------------------

int IndexOfOrder(const QueueEngine* e, const Order* o) {
  for (int i = 0; i < e->order_count; ++i)
    if (e->orders[i] == o) return i;
  return -1;
}

void MoveToFront(QueueEngine* e, Order* o) {
  const int i = IndexOfOrder(e, o);
  if (i <= 0) return;
  std::memmove(e->orders + 1, e->orders, static_cast<std::size_t>(i) * sizeof(Order*));
  e->orders[0] = o;
}

void RemoveFromList(QueueEngine* e, Order* o) {
  const int i = IndexOfOrder(e, o);
  if (i < 0) return;
  std::memmove(e->orders + i, e->orders + i + 1,
               static_cast<std::size_t>(e->order_count - i - 1) * sizeof(Order*));
  --e->order_count;
}

// --- keys --------------------------------------------------------------------------------------

// Builds a sorted key from a 0-ended field list; posts 75 for a field beyond the layout.
bool MakeKey(const QueueEngine* e, const std::int32_t* list, Key* out) {
  Key k;
  k.kind = KeyKind::kSorted;
  for (int i = 0; list && list[i] != 0 && i < kMaxKeyFields; ++i) {
    const std::int32_t f = list[i];
    const FieldDesc* d = f == INT32_MIN ? nullptr : LayoutField(*e->layout, std::abs(f));
    if (!d) {
      PostError(kErrField);
      return false;
    }
    k.desc[k.count] = d;
    k.fields[k.count++] = f;
    k.length += TotalSize(*d);
  }
  *out = k;
  return true;
}

// Names the key for the operation: a cached order with that key moves to the front,
// otherwise the key becomes pending.
void SelectKey(QueueEngine* e, const Key& k) {
  e->keyed = true;
  if (e->has_pending && SameKey(e->pending, k)) return;
  for (int i = 0; i < e->order_count; ++i)
    if (SameKey(e->orders[i]->key, k)) {
      MoveToFront(e, e->orders[i]);
      e->has_pending = false;
      return;
    }
  e->pending = k;
  e->has_pending = true;
}

enum class Purpose { kSort, kAdd, kGet };

// Turns the pending key into an order at the front of the list. False (error posted) when
// memory runs out; nothing is changed then.
bool BuildPendingOrder(QueueEngine* e, Purpose purpose) {
  if (!e->has_pending) return true;
  Order* cur = e->current;
  Order* target = nullptr;
  Order* created = nullptr;
  RecordArray copy;
  const bool reuse = (purpose == Purpose::kSort && cur->key.kind == KeyKind::kInsertion) ||
                     (purpose == Purpose::kAdd && cur->entries.count == 0);
  if (reuse) {
    target = cur;
  } else if (e->order_count < kMaxOrders) {
    target = created = NewOrder(e, true);
    if (!created) {
      PostError(kErrMemory);
      return false;
    }
  } else {
    target = e->orders[e->order_count - 1];
    if (target == cur) target = e->orders[e->order_count - 2];
  }
  if (target != cur && !RecordArrayCopy(copy, cur->entries)) {
    ReleaseOrder(created);
    if (ErrorCode() == 0) PostError(kErrMemory);
    return false;
  }
  const std::uint32_t n = target == cur ? cur->entries.count : copy.count;
  void** temp = nullptr;
  if (n > 1) {
    temp = static_cast<void**>(MemAlloc(n * static_cast<std::uint32_t>(sizeof(void*))));
    if (!temp) {
      RecordArrayRelease(copy);
      ReleaseOrder(created);
      PostError(kErrMemory);
      return false;
    }
  }
  // Nothing can fail from here on.
  DropHash(*target);
  if (target != cur) {
    RecordArrayRelease(target->entries);
    target->entries = copy;
    target->current = nullptr;
  }
  target->index = -1;
  target->key = e->pending;
  target->needs_sorting = true;
  SortOrder(e, *target, temp);
  MemFree(temp);
  if (created) e->orders[e->order_count++] = created;
  MoveToFront(e, target);
  e->has_pending = false;
  return true;
}

// --- positions ---------------------------------------------------------------------------------

std::uint32_t Pointer(QueueEngine* e) {
  Order* cur = e->current;
  Order* front = e->orders[0];
  if (cur == front) {
    if (!cur->current) return 0;
    if (cur->index < 0)
      cur->index = FindRecord(e, *cur, cur->current, RecordView(e, cur->current, e->b));
    return static_cast<std::uint32_t>(cur->index + 1);
  }
  if (!front->current) return 0;
  return static_cast<std::uint32_t>(
      FindRecord(e, *cur, front->current, RecordView(e, front->current, e->b)) + 1);
}

void ClearStringTails(QueueEngine* e) {
  if (e->mode != Mode::kCompressedClearing) return;
  ForEachVariableString(*e->layout, e->user, [](std::uint8_t* p, const FieldDesc& f) {
    if (f.type == kTypeCString) {
      const std::uint32_t used = CStringLength(p, f.size) + 1;
      if (used < f.size) std::memset(p + used, 0, f.size - used);
    } else if (f.size > 0 && p[0] < f.size - 1) {
      const std::uint32_t used = p[0] + 1u;
      std::memset(p + used, p[used - 1], f.size - used);
    }
  });
}

// Points scratch A away from a stored record about to be released.
void ForgetRow(QueueEngine* e, void* rec) {
  if (e->a_record != rec) return;
  e->a_record = nullptr;
  e->a = e->a_own;
  e->a_loaded = false;
}

// --- adding ------------------------------------------------------------------------------------

void AddRecord(QueueEngine* e) {
  Order* cur = e->current;
  if (cur->entries.count >= kRecordArrayMax) {
    PostError(kErrMemory);
    return;
  }
  ClearStringTails(e);
  void* rec = RecordMake(e, e->user);
  if (!rec) {
    PostError(kErrMemory);
    return;
  }
  for (int i = 0; i < e->order_count; ++i)
    if (!RecordArrayReserveOne(e->orders[i]->entries)) {
      MemFree(rec);
      return;
    }
  const std::uint8_t* bytes = e->user;
  Order* front = e->orders[0];
  for (int i = 0; i < e->order_count; ++i) {
    Order& o = *e->orders[i];
    if (&o == cur) continue;
    const std::uint32_t at = o.key.kind == KeyKind::kInsertion
                                 ? o.entries.count
                                 : InsertPosition(e, o.key, o.entries, bytes);
    OrderInsert(e, o, at, rec, bytes);
    if (&o == front && e->keyed) {
      o.current = rec;
      o.index = static_cast<std::int32_t>(at);
    }
  }
  std::uint32_t at = cur->entries.count;
  if (e->keyed) {
    if (cur != front && cur->key.kind != KeyKind::kInsertion) LoseKey(*cur);
    const Key& k = front->key;
    at = InsertPosition(e, k, cur->entries, bytes);
  } else if (cur->key.kind != KeyKind::kInsertion && at > 0 &&
             KeyCompare(e, cur->key, bytes, RecordView(e, cur->entries.items[at - 1], e->scratch)) < 0) {
    LoseKey(*cur);  // appended out of sequence
  }
  OrderInsert(e, *cur, at, rec, bytes);
  cur->current = rec;
  cur->index = static_cast<std::int32_t>(at);
  if (e->keyed) CountKeyedUse(e, *front);
  ++e->changes;
}

// --- rewriting ---------------------------------------------------------------------------------

// Replaces stored record number idx of the current order by fresh contents. `old` holds the
// old contents (the record itself in plain mode; in the compressed modes a copy in C that
// survives the comparisons). False after posting 8.
bool Rewrite(QueueEngine* e, std::uint32_t idx, const std::uint8_t* fresh) {
  Order* cur = e->current;
  void* rec = cur->entries.items[idx];
  const bool plain = e->mode == Mode::kPlain;
  const std::uint8_t* old = plain ? static_cast<const std::uint8_t*>(rec) : e->c;
  if (!plain) RecordExpand(e, rec, e->c);
  void* replacement = plain ? rec : RecordMake(e, fresh);
  if (!replacement) {
    PostError(kErrMemory);
    return false;
  }
  // Everything that needs the old contents, before they change.
  std::int32_t where[kMaxOrders];
  std::uint32_t old_hash[kMaxOrders] = {};
  for (int i = 0; i < e->order_count; ++i) {
    Order& o = *e->orders[i];
    where[i] = -1;
    o.marked = false;
    if (&o == cur) continue;
    o.marked = o.key.kind != KeyKind::kInsertion && KeyCompare(e, o.key, fresh, old) != 0;
    where[i] = FindRecord(e, o, rec, old);
    if (o.key.kind == KeyKind::kHashed) old_hash[i] = KeyHash(e, o.key, old);
  }
  const bool current_key_changed =
      cur->key.kind != KeyKind::kInsertion && KeyCompare(e, cur->key, fresh, old) != 0;
  std::uint32_t cur_hash = cur->key.kind == KeyKind::kHashed ? KeyHash(e, cur->key, old) : 0;

  // Take the record out of every marked order (the old key finds it in the hash index).
  bool was_current[kMaxOrders] = {};
  for (int i = 0; i < e->order_count; ++i) {
    Order& o = *e->orders[i];
    if (!o.marked || where[i] < 0) continue;
    was_current[i] = o.current == rec;
    OrderRemoveAt(e, o, static_cast<std::uint32_t>(where[i]), old);
  }
  if (current_key_changed) LoseKey(*cur);
  if (plain) std::memcpy(rec, fresh, e->record_size);

  for (int i = 0; i < e->order_count; ++i) {
    Order& o = *e->orders[i];
    if (&o == cur || where[i] < 0) continue;
    if (o.marked) {
      // Removal left room for one: no growth is needed.
      const std::uint32_t at = InsertPosition(e, o.key, o.entries, fresh);
      OrderInsert(e, o, at, replacement, fresh);
      if (was_current[i]) {
        o.current = replacement;
        o.index = static_cast<std::int32_t>(at);
      }
      o.marked = false;
    } else if (replacement != rec) {
      o.entries.items[where[i]] = replacement;
      if (o.current == rec) o.current = replacement;
      if (o.key.kind == KeyKind::kHashed) HashReplace(o.key.hash, rec, replacement, old_hash[i]);
    }
  }
  cur->entries.items[idx] = replacement;
  if (replacement != rec && cur->key.kind == KeyKind::kHashed)
    HashReplace(cur->key.hash, rec, replacement, cur_hash);  // when rec is its key's first
  cur->current = replacement;
  cur->index = static_cast<std::int32_t>(idx);
  if (replacement != rec) {
    if (e->a_record == rec) e->a_record = replacement;
    MemFree(rec);
  }
  ++e->changes;
  return true;
}

// Plain mode: the list control changed a record in place through A. Orders whose sequence
// it now breaks take it out and put it back where it belongs (the current order keeps its
// positions and loses its key instead); hash indexes, keyed on the old contents, are dropped.
void RepairInPlace(QueueEngine* e, void* rec) {
  const auto* bytes = static_cast<const std::uint8_t*>(rec);
  for (int i = 0; i < e->order_count; ++i) {
    Order& o = *e->orders[i];
    DropHash(o);
    if (o.key.kind == KeyKind::kInsertion) continue;
    std::int32_t at = -1;
    for (std::uint32_t j = 0; j < o.entries.count; ++j)
      if (o.entries.items[j] == rec) at = static_cast<std::int32_t>(j);
    if (at < 0) continue;
    const std::uint32_t n = o.entries.count, k = static_cast<std::uint32_t>(at);
    const bool before_ok = k == 0 || KeyCompare(e, o.key, static_cast<const std::uint8_t*>(o.entries.items[k - 1]), bytes) <= 0;
    const bool after_ok = k + 1 == n || KeyCompare(e, o.key, bytes, static_cast<const std::uint8_t*>(o.entries.items[k + 1])) <= 0;
    if (before_ok && after_ok) continue;
    if (&o == e->current) {
      LoseKey(o);
      continue;
    }
    const bool was_current = o.current == rec;
    OrderRemoveAt(e, o, k, bytes);
    const std::uint32_t to = InsertPosition(e, o.key, o.entries, bytes);
    OrderInsert(e, o, to, rec, bytes);
    if (was_current) {
      o.current = rec;
      o.index = static_cast<std::int32_t>(to);
    }
  }
}

// --- sorting -----------------------------------------------------------------------------------

void SortBy(QueueEngine* e, const std::int32_t* list) {
  Key k;
  if (!MakeKey(e, list, &k) || k.count == 0) return;
  SelectKey(e, k);
  Order* previous = e->current;
  if (!BuildPendingOrder(e, Purpose::kSort)) return;
  Order* front = e->orders[0];
  e->current = front;
  if (previous != front && previous->key.kind == KeyKind::kInsertion) {
    RemoveFromList(e, previous);
    ReleaseOrder(previous);
  }
  ++e->changes;
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsSeparator(char c) { return IsBlank(c) || c == ','; }

}  // namespace

// --- operations ------------------------------------------------------------------------------

void QueueAppend(QueueBlock* q) {
  RuntimeGuard guard;
  QueueEngine* e = Begin(q);
  if (!e) return;
  e->keyed = false;
  MoveToFront(e, e->current);
  AddRecord(e);
}

void QueueAddKeyed(QueueBlock* q, const std::int32_t* keys) {
  RuntimeGuard guard;
  QueueEngine* e = Begin(q);
  if (!e) return;
  Key k;
  if (!MakeKey(e, keys, &k)) return;
  SelectKey(e, k);
  if (!BuildPendingOrder(e, Purpose::kAdd)) return;
  AddRecord(e);
}

void QueueGetAt(QueueBlock* q, std::int32_t position) {
  RuntimeGuard guard;
  QueueEngine* e = Begin(q);
  if (!e) return;
  Order* cur = e->current;
  e->keyed = false;
  MoveToFront(e, cur);
  if (position == 0) {
    cur->current = nullptr;
    cur->index = -1;
    PostError(kErrNotFound);
    return;
  }
  if (position < 0 || static_cast<std::uint32_t>(position) > cur->entries.count) {
    PostError(kErrNotFound);
    return;
  }
  void* rec = cur->entries.items[position - 1];
  RecordExpand(e, rec, e->user);
  cur->current = rec;
  cur->index = position - 1;
}

void QueueGetKeyed(QueueBlock* q, const std::int32_t* keys) {
  RuntimeGuard guard;
  QueueEngine* e = Begin(q);
  if (!e) return;
  Key k;
  if (!MakeKey(e, keys, &k)) return;
  SelectKey(e, k);
  if (e->current->entries.count == 0) {
    PostError(kErrNotFound);
    return;
  }
  if (!BuildPendingOrder(e, Purpose::kGet)) return;
  Order& o = *e->orders[0];
  std::memcpy(e->b, e->user, e->record_size);
  if (o.key.kind == KeyKind::kHashed && o.key.hash->records < 16) DropHash(o);
  void* found = nullptr;
  std::int32_t index = -1;
  if (o.key.kind == KeyKind::kHashed) {
    found = HashLookup(e, o, e->b);
  } else {
    index = ExactSearch(e, o.key, o.entries, e->b);
    if (index >= 0) found = o.entries.items[index];
  }
  CountKeyedUse(e, o);
  if (!found) {
    PostError(kErrNotFound);
    return;
  }
  RecordExpand(e, found, e->user);
  o.current = found;
  o.index = index;
}

void QueuePut(QueueBlock* q) {
  RuntimeGuard guard;
  QueueEngine* e = Begin(q);
  if (!e) return;
  const std::uint32_t position = Pointer(e);
  Order* cur = e->current;
  e->keyed = false;
  MoveToFront(e, cur);
  if (position == 0 || position > cur->entries.count) {
    PostError(kErrNotFound);
    return;
  }
  ClearStringTails(e);
  Rewrite(e, position - 1, e->user);
}

void QueueDelete(QueueBlock* q) {
  RuntimeGuard guard;
  QueueEngine* e = Begin(q);
  if (!e) return;
  const std::uint32_t position = Pointer(e);
  Order* cur = e->current;
  if (position == 0 || position > cur->entries.count) {
    PostError(kErrNotFound);
    return;
  }
  // The current order goes to the front so that the position reported next is its own.
  MoveToFront(e, cur);
  const std::uint32_t idx = position - 1;
  void* rec = cur->entries.items[idx];
  const std::uint8_t* bytes = RecordView(e, rec, e->b);
  for (int i = 0; i < e->order_count; ++i) {
    Order& o = *e->orders[i];
    if (&o == cur) continue;
    const std::int32_t at = FindRecord(e, o, rec, bytes);
    if (at >= 0) OrderRemoveAt(e, o, static_cast<std::uint32_t>(at), bytes);
  }
  OrderRemoveAt(e, *cur, idx, bytes);
  if (idx < cur->entries.count) {
    cur->current = cur->entries.items[idx];
    cur->index = static_cast<std::int32_t>(idx);
  } else {
    cur->current = nullptr;
    cur->index = -1;
  }
  ForgetRow(e, rec);
  MemFree(rec);
  ++e->changes;
}

void QueueFree(QueueBlock* q) {
  RuntimeGuard guard;
  ClearError();
  if (!q || !q->engine) return;
  QueueEngine* e = q->engine;
  Order* keep = e->current;
  for (std::uint32_t i = 0; i < keep->entries.count; ++i) MemFree(keep->entries.items[i]);
  for (int i = 0; i < e->order_count; ++i)
    if (e->orders[i] != keep) ReleaseOrder(e->orders[i]);
  DropHash(*keep);
  RecordArrayRelease(keep->entries);
  *keep = Order{};
  keep->owner = e;
  keep->index = -1;
  e->orders[0] = keep;
  e->order_count = 1;
  e->has_pending = false;
  e->keyed = false;
  e->a_record = nullptr;
  e->a = e->a_own;
  e->a_loaded = false;
  ++e->changes;
}

void QueueSortFields(QueueBlock* q, const std::int32_t* keys) {
  RuntimeGuard guard;
  QueueEngine* e = Begin(q);
  if (e) SortBy(e, keys);
}

void QueueSortText(QueueBlock* q, const char* text, std::uint32_t length) {
  RuntimeGuard guard;
  QueueEngine* e = Begin(q);
  if (!e) return;
  std::int32_t keys[kMaxKeyFields + 1];
  if (QueueParseSortString(*e->layout, text, length, keys) < 0) {
    PostError(kErrField);
    return;
  }
  SortBy(e, keys);
}

void QueueSortString(QueueBlock* q) {
  RuntimeGuard guard;
  char text[256];
  StackPopToCString(text, sizeof text);
  QueueSortText(q, text, static_cast<std::uint32_t>(std::strlen(text)));
}

std::uint32_t QueueRecords(QueueBlock* q) {
  RuntimeGuard guard;
  ClearError();
  if (!q) {
    PostError(kErrNullBlock);
    return 0;
  }
  return q->engine ? q->engine->current->entries.count : 0;
}

std::uint32_t QueueChanges(QueueBlock* q) {
  RuntimeGuard guard;
  QueueEngine* e = Begin(q);
  return e ? e->changes : 0;
}

std::uint32_t QueuePointer(QueueBlock* q) {
  RuntimeGuard guard;
  QueueEngine* e = Begin(q);
  return e ? Pointer(e) : 0;
}

std::uint32_t QueueFieldCount(QueueBlock* q) {
  RuntimeGuard guard;
  QueueEngine* e = Begin(q);
  return e ? e->layout->field_count : 0;
}

void QueueDestroy(QueueBlock* q) {
  RuntimeGuard guard;
  if (!q) {
    PostError(kErrNullBlock);
    return;
  }
  ReleaseEngine(q->engine);
  q->engine = nullptr;
}

int QueueParseSortString(const RecordLayout& layout, const char* text, std::uint32_t length,
                         std::int32_t keys[17]) {
  // As popped into a 256-byte buffer: at most 255 bytes, ended by a zero byte.
  if (!text) length = 0;
  if (length > 255) length = 255;
  const void* nul = length ? std::memchr(text, 0, length) : nullptr;
  if (nul) length = static_cast<std::uint32_t>(static_cast<const char*>(nul) - text);
  int count = 0;
  std::uint32_t i = 0;
  while (count < kMaxKeyFields) {
    while (i < length && IsSeparator(text[i])) ++i;
    if (i >= length) break;
    std::int32_t sign = 1;
    if (text[i] == '-' || text[i] == '+') sign = text[i++] == '-' ? -1 : 1;
    const std::uint32_t start = i;
    while (i < length && !IsSeparator(text[i])) ++i;
    const std::uint32_t field = FindFieldByName(layout, text + start, i - start);
    if (field == 0) return -1;
    keys[count++] = sign * static_cast<std::int32_t>(field);
  }
  keys[count] = 0;
  return count;
}

// --- the list control's rows ---------------------------------------------------------------------

int QueueLoadRow(QueueEngine* e, std::int32_t position) {
  RuntimeGuard guard;
  if (!e) return 1;
  Order* cur = e->current;
  if (position < 0 || static_cast<std::uint32_t>(position) > cur->entries.count) return 1;
  if (position == 0) {
    e->a = e->a_own;
    std::memcpy(e->a_own, e->user, e->record_size);
    e->a_record = nullptr;
  } else {
    void* rec = cur->entries.items[position - 1];
    if (e->mode == Mode::kPlain) {
      e->a = static_cast<std::uint8_t*>(rec);
    } else {
      e->a = e->a_own;
      RecordExpand(e, rec, e->a_own);
    }
    e->a_record = rec;
  }
  e->a_loaded = true;
  return 0;
}

TypedRef QueueRowField(QueueEngine* e, std::int32_t field) {
  RuntimeGuard guard;
  if (!e) return TypedRef{nullptr, 0, 0, 0};
  return FieldRef(*e->layout, field, e->a);
}

void QueueStoreRow(QueueEngine* e) {
  RuntimeGuard guard;
  if (!e || !e->a_loaded) return;
  if (!e->a_record) {  // row 0 is the record buffer itself
    std::memcpy(e->user, e->a_own, e->record_size);
    return;
  }
  void* rec = e->a_record;
  if (e->mode == Mode::kPlain) {
    RepairInPlace(e, rec);
    ++e->changes;
    return;
  }
  std::memcpy(e->b, e->a_own, e->record_size);  // the rewrite's fresh contents
  const std::int32_t idx = FindRecord(e, *e->current, rec, RecordView(e, rec, e->c));
  if (idx < 0) return;
  if (Rewrite(e, static_cast<std::uint32_t>(idx), e->b)) {
    RecordExpand(e, e->a_record, e->a_own);
    e->a = e->a_own;
  }
}

// --- introspection -------------------------------------------------------------------------------

namespace queue_debug {

Mode StorageMode(const QueueEngine* e) { return e->mode; }
int OrderCount(const QueueEngine* e) { return e->order_count; }

int OrderKey(const QueueEngine* e, int i, std::int32_t fields[16]) {
  const Key& k = e->orders[i]->key;
  if (k.kind == KeyKind::kInsertion) return -1;
  for (int j = 0; j < k.count; ++j) fields[j] = k.fields[j];
  return k.count;
}

bool OrderIsCurrent(const QueueEngine* e, int i) { return e->orders[i] == e->current; }
bool OrderIsHashed(const QueueEngine* e, int i) { return e->orders[i]->key.kind == KeyKind::kHashed; }
std::uint32_t OrderCountOf(const QueueEngine* e, int order) { return e->orders[order]->entries.count; }

void OrderRecord(const QueueEngine* e, int order, std::uint32_t i, void* out) {
  RecordExpand(const_cast<QueueEngine*>(e), e->orders[order]->entries.items[i],
               static_cast<std::uint8_t*>(out));
}

std::uint32_t StoredLength(const QueueEngine* e, std::uint32_t i) {
  return StoredLengthOf(e, e->current->entries.items[i]);
}

bool Validate(const QueueEngine* e, const char** reason) {
  auto* self = const_cast<QueueEngine*>(e);
  const RecordArray& ref = e->current->entries;
  for (int i = 0; i < e->order_count; ++i) {
    const Order& o = *e->orders[i];
    if (o.entries.count != ref.count) return *reason = "order sizes differ", false;
    if (o.entries.count > RecordArrayCapacity(o.entries.cls)) return *reason = "count above capacity", false;
    if (o.index >= 0 && (static_cast<std::uint32_t>(o.index) >= o.entries.count ||
                         o.entries.items[o.index] != o.current))
      return *reason = "current index wrong", false;
    for (std::uint32_t j = 0; j < o.entries.count; ++j)
      if (FindRecord(self, *e->current, o.entries.items[j],
                     RecordView(self, o.entries.items[j], self->c ? self->c : self->b)) < 0)
        return *reason = "record missing from the current order", false;
    if (&o != e->current && o.key.kind == KeyKind::kInsertion)
      return *reason = "a cached order without key", false;
    if (o.key.kind == KeyKind::kInsertion) continue;
    for (std::uint32_t j = 1; j < o.entries.count; ++j) {
      RecordExpand(self, o.entries.items[j - 1], self->b);
      if (KeyCompare(e, o.key, self->b, RecordView(self, o.entries.items[j], self->scratch)) > 0)
        return *reason = "sorted order out of sequence", false;
    }
    if (o.key.kind == KeyKind::kHashed) {
      if (o.key.hash->records != o.entries.count) return *reason = "hash index count differs", false;
      // Every key's first record, and only those, is indexed.
      std::uint32_t firsts = 0;
      for (std::uint32_t j = 0; j < o.entries.count; ++j) {
        RecordExpand(self, o.entries.items[j], self->b);
        const bool first = j == 0 || KeyCompare(e, o.key, self->b, RecordView(self, o.entries.items[j - 1], self->scratch)) != 0;
        if (!first) continue;
        ++firsts;
        if (HashLookup(self, *const_cast<Order*>(&o), self->b) != o.entries.items[j])
          return *reason = "hash index misses a key's first record", false;
      }
      if (firsts != o.key.hash->count) return *reason = "hash index holds stale keys", false;
    }
  }
  return true;
}

}  // namespace queue_debug

}  // namespace vel
