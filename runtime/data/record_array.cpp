// The record array's capacity classes, growth and shrinking.
#include "runtime/data/record_array.h"

#include <cstring>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"

namespace vel {
namespace {

constexpr std::uint32_t kCapacity[kRecordArrayClasses] = {
    0,        2,        4,        8,        16,       32,       64,       128,
    256,      1024,     2048,     4096,     8192,     16000,    32000,    65000,
    130000,   250000,   500000,   1000000,  2000000,  3000000,  4000000,  5000000,
    6000000,  7000000,  8000000,  9000000,  10000000, 20000000, 30000000, 40000000,
    50000000, 60000000, 70000000, 80000000, 90000000, 100000000};

constexpr std::uint32_t kShrink[kRecordArrayClasses] = {
    0,        0,        0,        0,        0,        0,        0,        48,
    96,       192,      640,      1536,     3072,     6144,     14000,    28000,
    55000,    120000,   200000,   400000,   800000,   1600000,  2400000,  3600000,
    4500000,  5500000,  6500000,  7500000,  8500000,  9500000,  19000000, 29000000,
    39000000, 49000000, 59000000, 69000000, 79000000, 89000000};

void OutOfMemory() { RuntimeError(501, "Out of memory in VELARRAY!"); }

// Storage for a class, null for class 0 or on failure.
bool Resize(RecordArray& a, std::uint8_t cls) {
  const std::uint64_t bytes = std::uint64_t{kCapacity[cls]} * sizeof(void*);
  if (bytes == 0) {
    MemFree(a.items);
    a.items = nullptr;
    a.cls = cls;
    return true;
  }
  if (bytes > 0xFFFFFFFFu) return false;
  void* p = MemRealloc(a.items, static_cast<std::uint32_t>(bytes));
  if (!p) return false;
  a.items = static_cast<void**>(p);
  a.cls = cls;
  return true;
}

}  // namespace

std::uint32_t RecordArrayCapacity(std::uint8_t cls) {
  return cls < kRecordArrayClasses ? kCapacity[cls] : kRecordArrayMax;
}

std::uint32_t RecordArrayShrinkThreshold(std::uint8_t cls) {
  return cls < kRecordArrayClasses ? kShrink[cls] : 0;
}

bool RecordArrayReserveOne(RecordArray& a) {
  if (a.count < kCapacity[a.cls]) return true;
  if (a.cls + 1 >= kRecordArrayClasses || !Resize(a, static_cast<std::uint8_t>(a.cls + 1))) {
    OutOfMemory();
    return false;
  }
  return true;
}

void RecordArrayInsert(RecordArray& a, std::uint32_t at, void* item) {
  std::memmove(a.items + at + 1, a.items + at, (a.count - at) * sizeof(void*));
  a.items[at] = item;
  ++a.count;
}

bool RecordArrayAppend(RecordArray& a, void* item) {
  if (!RecordArrayReserveOne(a)) return false;
  a.items[a.count++] = item;
  return true;
}

void RecordArrayRemove(RecordArray& a, std::uint32_t at) {
  // Shrinking never loses elements; if the smaller block cannot be had, the larger one stays.
  if (a.cls > 0 && a.count <= kShrink[a.cls]) Resize(a, static_cast<std::uint8_t>(a.cls - 1));
  std::memmove(a.items + at, a.items + at + 1, (a.count - at - 1) * sizeof(void*));
  --a.count;
}

bool RecordArrayCopy(RecordArray& dst, const RecordArray& src) {
  RecordArray fresh;
  std::uint8_t cls = 0;
  while (kCapacity[cls] < src.count) ++cls;
  if (!Resize(fresh, cls)) {
    OutOfMemory();
    return false;
  }
  if (src.count) std::memcpy(fresh.items, src.items, src.count * sizeof(void*));
  fresh.count = src.count;
  RecordArrayRelease(dst);
  dst = fresh;
  return true;
}

void RecordArrayRelease(RecordArray& a) {
  MemFree(a.items);
  a = RecordArray{};
}

}  // namespace vel
