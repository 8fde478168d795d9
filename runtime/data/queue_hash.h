// The hash index of a frequently searched queue order.
//
// Chained buckets over record references: bucket = hash & mask; each bucket is a singly linked
// list of nodes (1-based indexes into `nodes`, 0 ends a list) with head and tail, new nodes
// appended at the tail. One node per distinct key, referring to the first record of the
// order with that key (the order keeps equal keys together and inserts a record after its
// equals, so only removing that first record changes which record a node refers to).
// The direct form (a one-byte key) has 256 buckets indexed by the byte's value and never
// grows; the other forms double their buckets when the nodes outnumber them.
#pragma once
#include <cstdint>

namespace vel {

struct HashNode {
  void* record;
  std::uint32_t hash;
  std::uint32_t next;  // 1-based, 0 = end of chain
};

struct HashBucket {
  std::uint32_t head;  // 1-based node, 0 = empty
  std::uint32_t tail;
};

enum class HashForm : std::uint8_t { kDirect, kSmallField, kGeneral };

struct HashIndex {
  HashForm form;
  std::uint32_t mask;
  HashBucket* buckets;   // head and tail side by side: one cache line per look-up
  HashNode* nodes;
  std::uint32_t node_capacity;
  std::uint32_t node_high;   // nodes[0..node_high) ever used
  std::uint32_t free_list;   // 1-based, chained through next
  std::uint32_t count;       // nodes: distinct keys
  std::uint32_t records;     // records of the order: the index's measure of its worth
};

// Null when memory runs out.
HashIndex* HashCreate(HashForm form, std::uint32_t expected);
void HashDestroy(HashIndex* index);
// False when memory runs out (the index is then unchanged).
bool HashAdd(HashIndex* index, void* record, std::uint32_t hash);
// False when the record is not indexed under that hash.
bool HashRemove(HashIndex* index, void* record, std::uint32_t hash);
// Replaces a record reference in place (same key).
bool HashReplace(HashIndex* index, void* old_record, void* new_record, std::uint32_t hash);
// First node of the chain a hash falls in (1-based), 0 when empty; walk with nodes[i-1].next.
std::uint32_t HashChain(const HashIndex* index, std::uint32_t hash);

}  // namespace vel
