// Decimal stack against GCC's std::decimal::decimal128: add, multiply and divide of 31-digit
// operands (16 integer digits, 15 places), 1000 operations per pass, 21 passes, medians.
//
// Two figures for the decimal stack:
//   statement: what compiled code does for C = A op B on packed decimal variables of 16 bytes:
//              push both variables, operate, pop into the result variable (rounding to 15
//              places and packing included);
//   operation: the register operation alone on two unpacked registers.
// decimal128 keeps its values in its own 16-byte format, so its figure is the operation.
// Ratios are decimal stack time / decimal128 time (below 1 means the stack is faster). Each
// round times a statement pass, an operation pass and a decimal128 pass one after the other,
// and a ratio is the median of the rounds' own ratios: on a machine shared with other work the
// load moves between rounds, and a ratio of two medians taken at different times moves with it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_mode.h"
#include "bench/decimal_bench_common.h"
#include "runtime/core/decimal.h"
#include "runtime/core/decimal_internal.h"
#include "runtime/core/memory.h"

using namespace vel;

namespace {

constexpr int kCount = 1000;
constexpr int kRounds = 21;
constexpr int kPlaces = 15;
constexpr int kSize = 16;  // 31 digits

std::string Text(const BenchOperand& o) {
  static_assert(kPlaces == 15, "the point stands after lo's first digit");
  constexpr long long kSplit = 1000000000000000LL;  // 10^15
  char text[48];
  std::snprintf(text, sizeof text, "%s%015lld%lld.%015lld", o.negative ? "-" : "", o.hi,
                o.lo / kSplit, o.lo % kSplit);
  return text;
}

double Median(std::vector<double>& v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int Rounds() { return BenchPick(kRounds, 1); }

// Nanoseconds per operation of one pass.
template <typename F>
double PassNs(F&& pass) {
  auto t0 = std::chrono::steady_clock::now();
  pass();
  auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(t1 - t0).count() / kCount;
}

void (*const kStackOps[])() = {DecAdd, DecMultiply, DecDivide};
void (*const kRegisterOps[])(DecRegister&, const DecRegister&) = {
    [](DecRegister& l, const DecRegister& r) { dec::Add(l, r, false); }, dec::Multiply,
    dec::Divide};
const char* const kNames[] = {"add", "multiply", "divide"};
// Time ratios not to exceed: the whole statement, and the register operation (0: none set).
const double kStatementGoals[] = {3.0, 2.0, 2.0};
const double kOperationGoals[] = {1.2, 0.0, 0.0};

long long IntegerPart(const char* text) { return std::strtoll(text, nullptr, 10); }

}  // namespace

int main() {
  MemoryInitTerm(0);
  std::mt19937_64 rng(31);
  std::vector<BenchOperand> a(kCount), b(kCount);
  auto make = [&]() {
    BenchOperand o;
    o.hi = 100000000000000LL + static_cast<long long>(rng() % 900000000000000ULL);
    o.lo = static_cast<long long>(rng() % 10000000000000000ULL);
    o.negative = static_cast<int>(rng() & 1);
    return o;
  };
  for (int i = 0; i < kCount; ++i) a[i] = make(), b[i] = make();

  std::vector<std::uint8_t> pa(kCount * kSize), pb(kCount * kSize), pc(kCount * kSize);
  std::vector<DecRegister> ra(kCount), rb(kCount), rc(kCount);
  for (int i = 0; i < kCount; ++i) {
    DecPushText(Text(a[i]).c_str());
    DecDuplicate();
    DecPopDecimal(&pa[i * kSize], kSize, kPlaces);
    ra[i] = *DecPeek(1);
    DecPopTruth();
    DecPushText(Text(b[i]).c_str());
    DecDuplicate();
    DecPopDecimal(&pb[i * kSize], kSize, kPlaces);
    rb[i] = *DecPeek(1);
    DecPopTruth();
  }

  std::printf("decimal stack vs std::decimal::decimal128: 31-digit operands (%d places), "
              "%d ops x %d passes, medians\n", kPlaces, kCount, Rounds());
  std::printf("%-9s %22s %22s %22s %10s %10s %9s %8s\n", "op", "stack statement", "stack operation",
              "decimal128", "ratio stm", "ratio op", "goal stm", "goal op");
  int failures = 0;
  for (int op = 0; op < 3; ++op) {
    std::vector<double> statements, operations, baselines, statement_ratios, operation_ratios;
    long long check = 0;
    for (int r = 0; r < Rounds(); ++r) {
      statements.push_back(PassNs([&] {
        for (int i = 0; i < kCount; ++i) {
          DecPushDecimal(&pa[i * kSize], kSize, kPlaces);
          DecPushDecimal(&pb[i * kSize], kSize, kPlaces);
          kStackOps[op]();
          DecPopDecimal(&pc[i * kSize], kSize, kPlaces);
        }
      }));
      operations.push_back(PassNs([&] {
        for (int i = 0; i < kCount; ++i) {
          rc[i] = ra[i];
          kRegisterOps[op](rc[i], rb[i]);
        }
      }));
      baselines.push_back(BenchDecimal128(a.data(), b.data(), kCount, kPlaces, op, 1, &check));
      statement_ratios.push_back(statements.back() / baselines.back());
      operation_ratios.push_back(operations.back() / baselines.back());
    }
    const double statement = Median(statements), operation = Median(operations),
                 baseline = Median(baselines);

    // Cross-check the first result's integer part where it fits 64 bits (add, divide).
    char text[80];
    DecPushDecimal(&pa[0], kSize, kPlaces);
    DecPushDecimal(&pb[0], kSize, kPlaces);
    kStackOps[op]();
    DecPopText(text, sizeof text);
    if (op != 1 && IntegerPart(text) != check) {
      std::printf("MISMATCH %s: stack %s, decimal128 integer part %lld\n", kNames[op], text, check);
      ++failures;
    }
    auto cell = [](double ns) {
      static char buf[4][40];
      static int k = 0;
      char* s = buf[k++ % 4];
      std::snprintf(s, 40, "%7.1f ns %8.2f Mop/s", ns, 1000.0 / ns);
      return s;
    };
    char op_goal[16] = "-";
    if (kOperationGoals[op] > 0) std::snprintf(op_goal, sizeof op_goal, "%.1fx", kOperationGoals[op]);
    std::printf("%-9s %22s %22s %22s %10.2f %10.2f %8.1fx %8s\n", kNames[op], cell(statement),
                cell(operation), cell(baseline), Median(statement_ratios), Median(operation_ratios),
                kStatementGoals[op], op_goal);
  }
  return failures ? 1 : 0;
}
