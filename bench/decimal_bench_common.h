// Shared between bench_decimal.cpp and decimal128_baseline.cpp (compiled by different
// compilers): plain C types only.
#pragma once

// An operand of 31 digits: +-(hi * 10^16 + lo) * 10^-places, hi < 10^15, lo < 10^16.
struct BenchOperand {
  long long hi;
  long long lo;
  int negative;
};

enum { kBenchAdd = 0, kBenchMultiply = 1, kBenchDivide = 2 };

// Median nanoseconds per operation over `rounds` passes of `count` operations; *check receives
// the integer part of the first result.
extern "C" double BenchDecimal128(const BenchOperand* a, const BenchOperand* b, int count,
                                  int places, int op, int rounds, long long* check);
