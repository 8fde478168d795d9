// The hash index: chained buckets with head and tail per bucket (see the header).
#include "runtime/data/queue_hash.h"

#include <cstring>

#include "runtime/core/memory.h"

namespace vel {
namespace {

std::uint32_t Bucket(const HashIndex* x, std::uint32_t hash) {
  if (x->form != HashForm::kDirect) hash ^= hash >> 15;
  return hash & x->mask;
}

HashBucket* AllocBuckets(std::uint32_t n) {
  return static_cast<HashBucket*>(MemCalloc(n, sizeof(HashBucket)));
}

void Append(HashIndex* x, std::uint32_t node) {
  const std::uint32_t b = Bucket(x, x->nodes[node - 1].hash);
  x->nodes[node - 1].next = 0;
  HashBucket& bucket = x->buckets[b];
  if (bucket.tail)
    x->nodes[bucket.tail - 1].next = node;
  else
    bucket.head = node;
  bucket.tail = node;
}

// Doubles the buckets, re-chaining every node in its old chain order so that equal keys keep
// their relative sequence.
bool Grow(HashIndex* x) {
  const std::uint32_t old_buckets = x->mask + 1;
  if (old_buckets >= 0x40000000u) return true;
  HashBucket* fresh = AllocBuckets(old_buckets * 2);
  if (!fresh) return false;
  HashBucket* old = x->buckets;
  x->buckets = fresh;
  x->mask = old_buckets * 2 - 1;
  for (std::uint32_t b = 0; b < old_buckets; ++b) {
    std::uint32_t n = old[b].head;
    while (n) {
      const std::uint32_t next = x->nodes[n - 1].next;
      Append(x, n);
      n = next;
    }
  }
  MemFree(old);
  return true;
}

std::uint32_t NewNode(HashIndex* x) {
  if (x->free_list) {
    const std::uint32_t n = x->free_list;
    x->free_list = x->nodes[n - 1].next;
    return n;
  }
  if (x->node_high == x->node_capacity) {
    const std::uint32_t cap = x->node_capacity ? x->node_capacity * 2 : 64;
    if (cap > 0x0FFFFFFFu) return 0;
    void* p = MemRealloc(x->nodes, cap * static_cast<std::uint32_t>(sizeof(HashNode)));
    if (!p) return 0;
    x->nodes = static_cast<HashNode*>(p);
    x->node_capacity = cap;
  }
  return ++x->node_high;
}

}  // namespace

HashIndex* HashCreate(HashForm form, std::uint32_t expected) {
  auto* x = static_cast<HashIndex*>(MemCalloc(1, sizeof(HashIndex)));
  if (!x) return nullptr;
  x->form = form;
  std::uint32_t buckets = 256;
  if (form != HashForm::kDirect)
    while (buckets < expected && buckets < 0x40000000u) buckets *= 2;
  x->mask = buckets - 1;
  x->buckets = AllocBuckets(buckets);
  if (!x->buckets) {
    MemFree(x);
    return nullptr;
  }
  return x;
}

void HashDestroy(HashIndex* x) {
  if (!x) return;
  MemFree(x->buckets);
  MemFree(x->nodes);
  MemFree(x);
}

bool HashAdd(HashIndex* x, void* record, std::uint32_t hash) {
  if (x->form != HashForm::kDirect && x->count >= x->mask + 1 && !Grow(x)) return false;
  const std::uint32_t n = NewNode(x);
  if (!n) return false;
  x->nodes[n - 1] = HashNode{record, hash, 0};
  Append(x, n);
  ++x->count;
  return true;
}

bool HashRemove(HashIndex* x, void* record, std::uint32_t hash) {
  HashBucket& bucket = x->buckets[Bucket(x, hash)];
  std::uint32_t prev = 0, n = bucket.head;
  while (n && x->nodes[n - 1].record != record) {
    prev = n;
    n = x->nodes[n - 1].next;
  }
  if (!n) return false;
  const std::uint32_t next = x->nodes[n - 1].next;
  if (prev)
    x->nodes[prev - 1].next = next;
  else
    bucket.head = next;
  if (bucket.tail == n) bucket.tail = prev;
  x->nodes[n - 1] = HashNode{nullptr, 0, x->free_list};
  x->free_list = n;
  --x->count;
  return true;
}

bool HashReplace(HashIndex* x, void* old_record, void* new_record, std::uint32_t hash) {
  for (std::uint32_t n = x->buckets[Bucket(x, hash)].head; n; n = x->nodes[n - 1].next)
    if (x->nodes[n - 1].record == old_record) {
      x->nodes[n - 1].record = new_record;
      return true;
    }
  return false;
}

std::uint32_t HashChain(const HashIndex* x, std::uint32_t hash) { return x->buckets[Bucket(x, hash)].head; }

}  // namespace vel
