// Fuzzes INSTRING against a plain reference walk. Input layout: step (1 byte, signed, with
// 0x80 standing for a large step), start (2 bytes, signed), pattern length (2 bytes), then the
// pattern and the text. Texts over 256 bytes with patterns over 4 bytes reach the skip table.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/core/memory.h"
#include "runtime/core/string_stack.h"

namespace {

std::int32_t Reference(const std::uint8_t* text, std::int64_t L, const std::uint8_t* pattern,
                       std::int64_t P, std::int64_t step, std::int64_t start) {
  if (P == 0 || start == 0 || L < P) return 0;
  if (step == 0) step = P;
  for (std::int64_t o = start - 1; o >= 0 && o <= L - P; o += step)
    if (std::memcmp(text + o, pattern, static_cast<std::size_t>(P)) == 0)
      return static_cast<std::int32_t>(o / (step < 0 ? -step : step) + 1);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vel::MemoryInitTerm(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  std::int32_t step = static_cast<std::int8_t>(data[0]);
  if (data[0] == 0x80) step = 1 << 30;
  std::int16_t start16;
  std::memcpy(&start16, data + 1, 2);
  std::uint16_t plen;
  std::memcpy(&plen, data + 3, 2);
  data += 5;
  size -= 5;
  std::size_t P = plen % 512 < size ? plen % 512 : size;
  const std::uint8_t* pattern = data;
  const std::uint8_t* text = data + P;
  std::size_t L = size - P;
  // Exact-size heap copies so that ASan sees any read past either end.
  auto* t = static_cast<char*>(std::malloc(L ? L : 1));
  auto* p = static_cast<char*>(std::malloc(P ? P : 1));
  std::memcpy(t, text, L);
  std::memcpy(p, pattern, P);
  vel::StackPushString(t, static_cast<std::uint32_t>(L));
  vel::StackPushString(p, static_cast<std::uint32_t>(P));
  std::int32_t got = vel::StackInstring(step, start16);
  std::int32_t want = Reference(text, static_cast<std::int64_t>(L), pattern, static_cast<std::int64_t>(P), step, start16);
  if (got != want || vel::StackDepth() != 0) std::abort();
  std::free(t);
  std::free(p);
  return 0;
}
