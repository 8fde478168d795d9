// Queue engine against the standard containers doing the same work:
//   append N records            vs std::vector::push_back
//   sort by (NAME, SIZE)        vs std::stable_sort with the same field comparison
//   keyed get (hash index)      vs std::lower_bound on the sorted vector and std::unordered_map
//   delete at both ends         vs std::vector::erase at both ends
// Records: NAME fixed string of 20 bytes with many duplicates, SIZE and ID 32-bit integers.
// Prints the median of several runs per figure and the ratio queue / standard.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/bench_mode.h"
#include "runtime/core/collation.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/data/queue.h"

using namespace vel;

namespace {

const FieldDesc kFields[] = {
    {"B:NAME", nullptr, kTypeString, 0, 20, 0, 1, 0},
    {"B:SIZE", nullptr, kTypeLong, 0, 4, 20, 1, 0},
    {"B:ID", nullptr, kTypeLong, 0, 4, 24, 1, 0},
};
const RecordLayout kLayout{3, kFields};

struct Row {
  char name[20];
  std::int32_t size;
  std::int32_t id;
};
static_assert(sizeof(Row) == 28);

std::vector<Row> MakeRows(std::uint32_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<Row> rows(n);
  for (std::uint32_t i = 0; i < n; ++i) {
    Row& r = rows[i];
    std::memset(r.name, ' ', sizeof r.name);
    const std::string s = "file" + std::to_string(rng() % (n / 20 + 1)) + ".dat";
    std::memcpy(r.name, s.data(), s.size());
    r.size = static_cast<std::int32_t>(rng() % 1000);
    r.id = static_cast<std::int32_t>(i);
  }
  return rows;
}

// The same comparison the queue makes: collating NAME, then SIZE.
bool RowLess(const Row& a, const Row& b) {
  const int c = CollateCompare(a.name, 20, b.name, 20);
  if (c) return c < 0;
  return a.size < b.size;
}

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Queue {
  Row buffer{};
  QueueBlock q{&buffer, &kLayout, nullptr, sizeof(Row)};
  ~Queue() { QueueDestroy(&q); }
  void Fill(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
      buffer = r;
      QueueAppend(&q);
    }
  }
};

void Report(const char* what, std::uint32_t n, double queue, double standard, const char* against) {
  std::printf("%-34s n=%-8u queue %9.2f ms   %-26s %9.2f ms   ratio %.2f\n", what, n, queue * 1e3,
              against, standard * 1e3, queue / standard);
}

void BenchAppend(const std::vector<Row>& rows, int reps) {
  std::vector<double> tq, tv;
  for (int r = 0; r < reps; ++r) {
    {
      Queue q;
      auto t = Clock::now();
      q.Fill(rows);
      tq.push_back(Seconds(t));
    }
    std::vector<Row> v;
    auto t = Clock::now();
    for (const Row& row : rows) v.push_back(row);
    tv.push_back(Seconds(t));
  }
  Report("append", static_cast<std::uint32_t>(rows.size()), Median(tq), Median(tv), "vector push_back");
}

// Each run times the queue and std::stable_sort on the same rows back to back; the figures
// are the medians, and with `spread` the ratios of the single runs too (the machine is shared:
// a run's two sorts see about the same load, different runs do not).
void BenchSort(const std::vector<Row>& rows, int reps, bool spread = false) {
  std::vector<double> tq, tv, ratios;
  const std::int32_t key[] = {1, 2, 0};
  for (int r = 0; r < reps; ++r) {
    {
      Queue q;
      q.Fill(rows);
      auto t = Clock::now();
      QueueSortFields(&q.q, key);
      tq.push_back(Seconds(t));
    }
    std::vector<Row> v = rows;
    auto t = Clock::now();
    std::stable_sort(v.begin(), v.end(), RowLess);
    tv.push_back(Seconds(t));
    ratios.push_back(tq.back() / tv.back());
  }
  Report("sort (NAME, SIZE)", static_cast<std::uint32_t>(rows.size()), Median(tq), Median(tv), "stable_sort");
  if (!spread) return;
  std::sort(ratios.begin(), ratios.end());
  std::printf("  %d runs: ratio median %.3f, spread %.3f-%.3f\n", reps, Median(ratios), ratios.front(),
              ratios.back());
}

void BenchLookups(const std::vector<Row>& rows, std::uint32_t lookups, int reps) {
  Queue q;
  q.Fill(rows);
  const std::int32_t key[] = {1, 0};
  std::vector<Row> sorted = rows;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Row& a, const Row& b) { return CollateCompare(a.name, 20, b.name, 20) < 0; });
  std::unordered_map<std::string, std::uint32_t> map;
  for (std::uint32_t i = 0; i < sorted.size(); ++i) map.emplace(std::string(sorted[i].name, 20), i);
  std::mt19937 rng(77);
  std::vector<std::uint32_t> probes(lookups);
  for (auto& p : probes) p = static_cast<std::uint32_t>(rng() % rows.size());
  std::vector<double> tq, tl, tm;
  long found_q = 0, found_l = 0, found_m = 0;
  for (int r = 0; r < reps; ++r) {
    auto t = Clock::now();
    for (std::uint32_t p : probes) {
      std::memcpy(q.buffer.name, rows[p].name, 20);
      QueueGetKeyed(&q.q, key);
      found_q += q.buffer.id >= 0;
    }
    tq.push_back(Seconds(t));
    t = Clock::now();
    for (std::uint32_t p : probes) {
      auto it = std::lower_bound(sorted.begin(), sorted.end(), rows[p], [](const Row& a, const Row& b) {
        return CollateCompare(a.name, 20, b.name, 20) < 0;
      });
      found_l += it != sorted.end();
    }
    tl.push_back(Seconds(t));
    t = Clock::now();
    for (std::uint32_t p : probes) found_m += map.count(std::string(rows[p].name, 20));
    tm.push_back(Seconds(t));
  }
  const bool hashed = queue_debug::OrderIsHashed(q.q.engine, 0);
  char what[64];
  std::snprintf(what, sizeof what, "keyed get x%u (%s)", lookups, hashed ? "hash index" : "binary");
  Report(what, static_cast<std::uint32_t>(rows.size()), Median(tq), Median(tl), "lower_bound");
  Report(what, static_cast<std::uint32_t>(rows.size()), Median(tq), Median(tm), "unordered_map");
  if (found_q != found_l || found_l != found_m) std::printf("  (found counts differ: %ld %ld %ld)\n", found_q, found_l, found_m);
}

void BenchEnds(const std::vector<Row>& rows, std::uint32_t count, int reps) {
  std::vector<double> tq, tv;
  for (int r = 0; r < reps; ++r) {
    {
      Queue q;
      q.Fill(rows);
      auto t = Clock::now();
      for (std::uint32_t i = 0; i < count; ++i) {
        QueueGetAt(&q.q, 1);
        QueueDelete(&q.q);
        QueueGetAt(&q.q, static_cast<std::int32_t>(QueueRecords(&q.q)));
        QueueDelete(&q.q);
        q.buffer = rows[i];
        QueueAppend(&q.q);
      }
      tq.push_back(Seconds(t));
    }
    std::vector<Row> v = rows;
    auto t = Clock::now();
    for (std::uint32_t i = 0; i < count; ++i) {
      v.erase(v.begin());
      v.pop_back();
      v.push_back(rows[i]);
    }
    tv.push_back(Seconds(t));
  }
  char what[64];
  std::snprintf(what, sizeof what, "delete both ends + append x%u", count);
  Report(what, static_cast<std::uint32_t>(rows.size()), Median(tq), Median(tv), "vector erase/push_back");
}

}  // namespace

// "bench_queue sort [runs]" times only the sort of a million records, runs times (default 7).
int main(int argc, char** argv) {
  MemoryInitTerm(0);
  const bool smoke = BenchSmoke();
  if (argc > 1 && std::strcmp(argv[1], "sort") == 0) {
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    const std::uint32_t n = BenchPick(1000000u, 10000u);
    BenchSort(MakeRows(n, n), runs > 0 ? runs : 7, true);
    return 0;
  }
  for (std::uint32_t n : {BenchPick(100000u, 1000u), BenchPick(1000000u, 10000u)}) {
    const std::vector<Row> rows = MakeRows(n, n);
    const int reps = smoke ? 1 : n > 100000 ? 3 : 5;
    BenchAppend(rows, reps);
    BenchSort(rows, reps);
    BenchLookups(rows, BenchPick(1000000u, 1000u), smoke ? 1 : 3);
    BenchEnds(rows, BenchPick(1000u, 100u), smoke ? 1 : 3);
  }
  return 0;
}
