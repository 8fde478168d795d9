// Environment-file parser over arbitrary bytes. The tables are reset before each input so that
// every run starts from the defaults; afterwards the text slots must still be terminated.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/core/collation.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/data/intl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = (vel::MemoryInitTerm(0), true);
  (void)ready;
  vel::CollationReset();
  vel::IntlReset();
  vel::ClearReplacementTexts();
  vel::ApplyEnvironmentText(reinterpret_cast<const char*>(data), size);
  const vel::IntlSettings& s = vel::Intl();
  for (int m = 0; m < 12; ++m)
    if (!std::memchr(s.month_name[m], 0, 13) || !std::memchr(s.month_abbr[m], 0, 4)) std::abort();
  for (int k = 0; k < 2; ++k)
    if (!std::memchr(s.ampm[k], 0, 3)) std::abort();
  if (!std::memchr(s.system_charset, 0, sizeof s.system_charset)) std::abort();
  const vel::CollationTables& t = vel::Collation();
  for (int d = 0; d < vel::kDigraphSlots; ++d)
    if (t.digraph[d][3] != 0) std::abort();
  return 0;
}
