// String stack against std::string and INSTRING against memmem / std::search.
//
// Every figure is the median of 7 runs. Allocation counts come from wrapping vel::MemAlloc at
// link time (-Wl,--wrap), so they count exactly the blocks the string stack asks for.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_mode.h"
#include "runtime/core/memory.h"
#include "runtime/core/string_stack.h"

static unsigned long g_allocations = 0;
extern "C" void* __real__ZN3vel8MemAllocEj(std::uint32_t size);
extern "C" void* __wrap__ZN3vel8MemAllocEj(std::uint32_t size) {
  ++g_allocations;
  return __real__ZN3vel8MemAllocEj(size);
}

namespace {

volatile std::int64_t g_sink;

// Seconds per call of body(), median of 7 runs of `iterations` calls.
double Median(long iterations, const std::function<void()>& body) {
  std::vector<double> runs;
  if (BenchSmoke()) iterations = std::min(iterations, 100L);
  for (int r = 0, n = BenchPick(7, 1); r < n; ++r) {
    auto t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < iterations; ++i) body();
    auto t1 = std::chrono::steady_clock::now();
    runs.push_back(std::chrono::duration<double>(t1 - t0).count() / static_cast<double>(iterations));
  }
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

void Row(const char* name, double ours, double theirs, const char* their_name) {
  std::printf("%-44s %12.0f ops/s   %-14s %12.0f ops/s   ratio %.2f\n", name, 1 / ours,
              their_name, 1 / theirs, theirs / ours);
}

void PushPop() {
  static const char kHello[] = "Hello, ";
  static const char kWorld[] = " world";
  char out[32];
  long i = 0;
  double ours = Median(1000000, [&] {
    vel::StackPushString(kHello, 7);
    vel::StackPushInteger(static_cast<std::int32_t>(++i));
    vel::StackConcat();
    vel::StackPushString(kWorld, 6);
    vel::StackConcat();
    vel::StackPopToString(out, sizeof out);
    g_sink = g_sink + (out[8]);
  });
  double theirs = Median(1000000, [&] {
    std::string s(kHello, 7);
    s += std::to_string(++i);
    s.append(kWorld, 6);
    std::size_t n = std::min(s.size(), sizeof out);
    std::memcpy(out, s.data(), n);
    std::memset(out + n, ' ', sizeof out - n);
    g_sink = g_sink + (out[8]);
  });
  Row("push + 2 concat + pop to fixed (32)", ours, theirs, "std::string");

  ours = Median(2000000, [&] {
    vel::StackPushInteger(static_cast<std::int32_t>(++i));
    vel::StackPopToString(out, 12);
    g_sink = g_sink + (out[0]);
  });
  theirs = Median(2000000, [&] {
    std::string s = std::to_string(++i);
    std::size_t n = std::min<std::size_t>(s.size(), 12);
    std::memcpy(out, s.data(), n);
    std::memset(out + n, ' ', 12 - n);
    g_sink = g_sink + (out[0]);
  });
  Row("push integer + pop to fixed (12)", ours, theirs, "std::to_string");

  static const char kA[] = "SMITH               ";
  static const char kB[] = "SMITHSON";
  ours = Median(2000000, [&] {
    vel::StackPushString(kA, 20);
    vel::StackPushString(kB, 8);
    g_sink = g_sink + (vel::StackCompare());
  });
  const std::string a(kA, 20), b(kB, 8);
  theirs = Median(2000000, [&] { g_sink = g_sink + a.compare(b); });
  Row("compare (20 vs 8 bytes, trailing blanks)", ours, theirs, "std::string");
}

void Allocations() {
  const char* texts[] = {"", "A", "123456789012345678901234"};
  unsigned long before = g_allocations;
  char out[32];
  const int rounds = BenchPick(100000, 1000);
  for (int i = 0; i < rounds; ++i) {
    vel::StackPushInteger(i - 50000);
    vel::StackPushReal(i * 0.37);
    vel::StackPushCString(texts[i % 3]);
    vel::StackPushString(texts[i % 3], static_cast<std::uint32_t>(std::strlen(texts[i % 3])));
    vel::StackMaterialize();
    vel::StackPopToString(out, sizeof out);
    vel::StackPopToString(out, sizeof out);
    vel::StackPopToCString(out, sizeof out);
    vel::StackPopToCString(out, sizeof out);
  }
  std::printf("allocations for %d pushes of texts up to 24 bytes: %lu\n", 4 * rounds, g_allocations - before);
}

void Search() {
  std::mt19937 rng(7);
  std::string text(BenchPick(1 << 20, 1 << 14), ' ');
  for (char& c : text) c = static_cast<char>('a' + rng() % 26);
  for (std::size_t m : {5, 16, 64, 300}) {
    std::string pattern(m, 'q');
    for (char& c : pattern) c = static_cast<char>('a' + rng() % 26);
    // Absent from the text: every method scans the whole megabyte.
    pattern[m / 2] = '#';
    const char* t = text.data();
    double ours = Median(20, [&] {
      vel::StackPushString(t, static_cast<std::uint32_t>(text.size()));
      vel::StackPushString(pattern.data(), static_cast<std::uint32_t>(m));
      g_sink = g_sink + (vel::StackInstring(1, 1));
    });
    double mm = Median(20, [&] {
      g_sink = g_sink + (memmem(t, text.size(), pattern.data(), m) != nullptr);
    });
    double ss = Median(20, [&] {
      g_sink = g_sink + (std::search(text.begin(), text.end(), pattern.begin(), pattern.end()) != text.end());
    });
    char name[64];
    std::snprintf(name, sizeof name, "instring 1 MB, pattern %zu (MB/s)", m);
    std::printf("%-44s %12.0f MB/s    memmem %12.0f MB/s    std::search %8.0f MB/s   ratio to memmem %.2f\n",
                name, 1 / ours, 1 / mm, 1 / ss, mm / ours);
  }
}

}  // namespace

int main() {
  vel::MemoryInitTerm(0);
  PushPop();
  Allocations();
  Search();
  std::printf("(medians of 7 runs; ratio = ours / theirs in speed, > 1 means faster)\n");
  return 0;
}
