// Sort strings: any text either names fields of the layout (at most 16, each within the
// layout, signs as written) or is refused; sorting a small queue by it never corrupts it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/data/queue.h"

namespace {

const vel::FieldDesc kFields[] = {
    {"F:NAME", nullptr, vel::kTypeString, 0, 8, 0, 1, 0},
    {"F:SIZE", "BYTES", vel::kTypeLong, 0, 4, 8, 1, 0},
    {"F:TAG", nullptr, vel::kTypeCString, 0, 4, 12, 1, 0},
    {"F:G", nullptr, vel::kTypeGroup, 0, 4, 16, 1, 1},
    {"F:N", nullptr, vel::kTypeByte, 0, 1, 16, 4, 0},
};
const vel::RecordLayout kLayout{5, kFields};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int init = (vel::MemoryInitTerm(0), 0);
  (void)init;
  const char* text = reinterpret_cast<const char*>(data);
  const auto length = static_cast<std::uint32_t>(size);
  std::int32_t keys[17];
  const int n = vel::QueueParseSortString(kLayout, text, length, keys);
  if (n < -1 || n > 16) __builtin_trap();
  if (n >= 0) {
    if (keys[n] != 0) __builtin_trap();
    for (int i = 0; i < n; ++i)
      if (keys[i] == 0 || std::abs(keys[i]) > 5) __builtin_trap();
  }
  std::uint8_t buffer[20];
  vel::QueueBlock q{buffer, &kLayout, nullptr, sizeof buffer};
  for (int i = 0; i < 12; ++i) {
    std::memset(buffer, 'a' + (i * 7) % 5, sizeof buffer);
    buffer[12 + i % 4] = 0;
    vel::QueueAppend(&q);
  }
  vel::QueueSortText(&q, text, length);
  if (vel::ErrorCode() != (n < 0 ? 75 : 0)) __builtin_trap();
  const char* reason = nullptr;
  if (!vel::queue_debug::Validate(q.engine, &reason)) __builtin_trap();
  if (vel::QueueRecords(&q) != 12) __builtin_trap();
  vel::QueueDestroy(&q);
  return 0;
}
