// Two ways to run a benchmark: the measurement (scripts/bench) and a smoke run, which the test
// command makes of every benchmark (AFC_BENCH_SMOKE set and not "0"): each case once, on small
// sizes, so that a benchmark that no longer runs is noticed. The figures of a smoke run mean
// nothing.
#pragma once
#include <cstdlib>
#include <cstring>

inline bool BenchSmoke() {
  const char* v = std::getenv("AFC_BENCH_SMOKE");
  return v && *v && std::strcmp(v, "0") != 0;
}

// `full` when measuring, `smoke` in a smoke run.
template <typename T>
T BenchPick(T full, T smoke) {
  return BenchSmoke() ? smoke : full;
}
