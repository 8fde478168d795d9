// Sorting: records and a key made from the input, sorted by the queue, end in the order of the
// modelled sort, under the default and a case-blind collation; ties included (records repeat).
//
// Input: byte 0 the field count (1 to 3), bytes 1-3 the fields (1 + b % 3, descending when bit 7
// is set), byte 4 bit 0 the case-blind collation, byte 5 the count beyond 64, byte 6 a step that
// varies NUM between repeats; then records of 9 bytes (NAME 6, NUM 2, B 1), repeated in turn.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/core/collation.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/data/queue.h"
#include "support/queue_model_sort.h"

namespace {

const vel::FieldDesc kFields[] = {
    {"T:NAME", nullptr, vel::kTypeString, 0, 6, 0, 1, 0},
    {"T:NUM", nullptr, vel::kTypeShort, 0, 2, 6, 1, 0},
    {"T:B", nullptr, vel::kTypeByte, 0, 1, 8, 1, 0},
    {"T:ID", nullptr, vel::kTypeLong, 0, 4, 9, 1, 0},
};
const vel::RecordLayout kLayout{4, kFields};
constexpr std::uint32_t kRecord = 13;
constexpr std::size_t kHeader = 7;
constexpr std::size_t kSource = 9;

struct Row {
  std::uint8_t bytes[kRecord];
  std::int32_t id;
};

int CompareField(const Row& a, const Row& b, std::int32_t field) {
  int c = 0;
  switch (std::abs(field)) {
    case 1: c = vel::CollateCompare(reinterpret_cast<const char*>(a.bytes), 6, reinterpret_cast<const char*>(b.bytes), 6); break;
    case 2: {
      std::int16_t x, y;
      std::memcpy(&x, a.bytes + 6, 2);
      std::memcpy(&y, b.bytes + 6, 2);
      c = (x > y) - (x < y);
      break;
    }
    case 3: c = (a.bytes[8] > b.bytes[8]) - (a.bytes[8] < b.bytes[8]); break;
  }
  c = (c > 0) - (c < 0);
  return field < 0 ? -c : c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int init = (vel::MemoryInitTerm(0), 0);
  (void)init;
  if (size < kHeader + kSource) return 0;
  std::int32_t key[4] = {};
  const int fields = 1 + data[0] % 3;
  for (int i = 0; i < fields; ++i) key[i] = (1 + data[1 + i] % 3) * (data[1 + i] & 0x80 ? -1 : 1);
  if (data[4] & 1)
    for (int c = 'a'; c <= 'z'; ++c) vel::Collation().weight[c] = static_cast<std::uint8_t>(c - 32);
  const std::size_t sources = (size - kHeader) / kSource;
  const int count = 64 + data[5];
  std::vector<Row> rows(count);
  for (int i = 0; i < count; ++i) {
    Row& r = rows[i];
    std::memcpy(r.bytes, data + kHeader + (i % sources) * kSource, kSource);
    r.bytes[6] = static_cast<std::uint8_t>(r.bytes[6] + (i / sources) * data[6]);
    r.id = i + 1;
    std::memcpy(r.bytes + 9, &r.id, 4);
  }
  std::uint8_t buffer[kRecord];
  vel::QueueBlock q{buffer, &kLayout, nullptr, kRecord};
  for (const Row& r : rows) {
    std::memcpy(buffer, r.bytes, kRecord);
    vel::QueueAppend(&q);
  }
  vel::QueueSortFields(&q, key);
  if (vel::ErrorCode() != 0) __builtin_trap();
  const std::vector<std::int32_t> want = vel::testing::ModelIds(rows, [&](const Row& a, const Row& b) {
    for (int i = 0; i < fields; ++i)
      if (const int c = CompareField(a, b, key[i])) return c;
    return 0;
  });
  for (int i = 0; i < count; ++i) {
    vel::QueueGetAt(&q, i + 1);
    std::int32_t id;
    std::memcpy(&id, buffer + 9, 4);
    if (id != want[i]) __builtin_trap();
  }
  vel::QueueDestroy(&q);
  vel::CollationReset();
  return 0;
}
