// The decimal128 side of bench_decimal: GCC's std::decimal::decimal128 (34 digits, binary
// integer decimal in libgcc). Compiled by g++ on its own because only GCC implements the
// decimal floating types; the runtime side is built by the tree's compiler. The interface is
// plain C so that the two compilers meet only at the link.
#include <decimal/decimal>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bench/decimal_bench_common.h"

using std::decimal::decimal128;

namespace {

decimal128 Make(const BenchOperand& o, int places) {
  // (hi * 10^16 + lo) * 10^-places, exact in 34 digits.
  decimal128 v = std::decimal::make_decimal128(o.hi, 16 - places) +
                 std::decimal::make_decimal128(o.lo, -places);
  return o.negative ? -v : v;
}

}  // namespace

extern "C" double BenchDecimal128(const BenchOperand* a, const BenchOperand* b, int count,
                                  int places, int op, int rounds, long long* check) {
  std::vector<decimal128> x(count), y(count), z(count);
  for (int i = 0; i < count; ++i) {
    x[i] = Make(a[i], places);
    y[i] = Make(b[i], places);
  }
  std::vector<double> samples;
  for (int r = 0; r < rounds; ++r) {
    auto t0 = std::chrono::steady_clock::now();
    switch (op) {
      case kBenchAdd:
        for (int i = 0; i < count; ++i) z[i] = x[i] + y[i];
        break;
      case kBenchMultiply:
        for (int i = 0; i < count; ++i) z[i] = x[i] * y[i];
        break;
      default:
        for (int i = 0; i < count; ++i) z[i] = x[i] / y[i];
        break;
    }
    auto t1 = std::chrono::steady_clock::now();
    samples.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count() / count);
  }
  // The integer part of the first result, for a cross-check with the decimal stack.
  *check = std::decimal::decimal_to_long_long(z[0]);
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}
