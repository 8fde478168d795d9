// Allocator churn: the runtime's MemAlloc/MemFree/MemRealloc against the C runtime's
// malloc/free/realloc and (Windows) the platform heap, on the same pre-generated operation
// sequence, in one process. Prints the median operations per second of several runs and the
// ratios to malloc for small (1-32 bytes), medium (33 bytes - 52 KB) and large requests.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "bench/bench_mode.h"
#include "runtime/core/memory.h"

namespace {

struct Op {
  std::uint32_t slot;
  std::uint32_t size;
  bool resize;
};

std::vector<Op> MakeOps(std::uint32_t lo, std::uint32_t hi, int count, std::uint32_t slots) {
  std::mt19937 rng(42);
  std::vector<Op> ops(count);
  for (Op& op : ops) {
    op.slot = rng() % slots;
    op.size = lo + rng() % (hi - lo + 1);
    op.resize = rng() % 8 == 0;
  }
  return ops;
}

struct Allocator {
  const char* name;
  void* (*alloc)(std::uint32_t);
  void (*release)(void*);
  void* (*resize)(void*, std::uint32_t);
};

void* CAlloc(std::uint32_t n) { return std::malloc(n); }
void CFree(void* p) { std::free(p); }
void* CRealloc(void* p, std::uint32_t n) { return std::realloc(p, n); }
#ifdef _WIN32
void* HAlloc(std::uint32_t n) { return HeapAlloc(GetProcessHeap(), 0, n); }
void HFree(void* p) { HeapFree(GetProcessHeap(), 0, p); }
void* HRealloc(void* p, std::uint32_t n) { return HeapReAlloc(GetProcessHeap(), 0, p, n); }
#endif

// Runs the churn: an occupied slot is freed (or resized), an empty one is filled.
double Churn(const Allocator& a, const std::vector<Op>& ops, std::uint32_t slots) {
  std::vector<void*> live(slots, nullptr);
  auto start = std::chrono::steady_clock::now();
  for (const Op& op : ops) {
    void*& p = live[op.slot];
    if (!p) {
      p = a.alloc(op.size);
      static_cast<char*>(p)[0] = 1;
    } else if (op.resize) {
      p = a.resize(p, op.size);
    } else {
      a.release(p);
      p = nullptr;
    }
  }
  for (void* p : live)
    if (p) a.release(p);
  std::chrono::duration<double> secs = std::chrono::steady_clock::now() - start;
  return ops.size() / secs.count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  vel::MemRouteToSystem(false);
  vel::MemoryInitTerm(0);
  std::vector<Allocator> allocators = {
      {"MemAlloc", vel::MemAlloc, vel::MemFree, vel::MemRealloc},
      {"malloc", CAlloc, CFree, CRealloc},
#ifdef _WIN32
      {"HeapAlloc", HAlloc, HFree, HRealloc},
#endif
  };
  struct Mix { const char* name; std::uint32_t lo, hi; int ops; std::uint32_t slots; };
  const int scale = BenchPick(1, 1000);
  const Mix mixes[] = {
      {"small 1-32", 1, 32, 4000000 / scale, 20000},
      {"medium 33-53240", 33, 53240, 1000000 / scale, 2000},
      {"large 53241-1M", 53241, 1 << 20, 20000 / scale, 64},
  };
  const int kRuns = BenchPick(5, 1);
  std::printf("%-18s %-10s %14s %10s\n", "mix", "allocator", "ops/s (median)", "vs malloc");
  for (const Mix& mix : mixes) {
    const auto ops = MakeOps(mix.lo, mix.hi, mix.ops, mix.slots);
    std::vector<double> medians;
    for (const Allocator& a : allocators) {
      std::vector<double> runs;
      for (int r = 0; r < kRuns; ++r) runs.push_back(Churn(a, ops, mix.slots));
      medians.push_back(Median(runs));
    }
    for (std::size_t i = 0; i < allocators.size(); ++i)
      std::printf("%-18s %-10s %14.0f %9.2fx\n", mix.name, allocators[i].name, medians[i], medians[i] / medians[1]);
  }
  vel::MemoryInitTerm(1);
  return 0;
}
