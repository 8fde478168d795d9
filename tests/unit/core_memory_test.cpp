// The allocator: tiers and size classes, tags and diagnostics, coalescing, every realloc path,
// and a randomised stress run with every block's contents checked.
#include <cstdint>
#include <cstring>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "support/check.h"

using vel::MemAlloc;
using vel::MemCalloc;
using vel::MemFree;
using vel::MemRealloc;
using vel::mem::Tier;

namespace {

std::vector<int> g_diagnostics;
void CaptureDiagnostic(int code, std::uintptr_t, std::uintptr_t) { g_diagnostics.push_back(code); }

// Every case starts from a fresh real allocator (the host sanitizer build routes to malloc by
// default; these cases test the tiers themselves).
void FreshAllocator() {
  vel::MemoryInitTerm(1);
  vel::MemRouteToSystem(false);
  vel::MemoryInitTerm(0);
  g_diagnostics.clear();
  vel::SetDiagnosticHook(CaptureDiagnostic);
}

bool HeapValid() {
  const char* reason = "";
  bool ok = vel::mem::Validate(&reason);
  if (!ok) std::printf("  heap invalid: %s\n", reason);
  return ok;
}

void Fill(void* p, std::uint32_t n, unsigned seed) {
  auto* b = static_cast<unsigned char*>(p);
  for (std::uint32_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(seed + i * 7);
}

bool Holds(const void* p, std::uint32_t n, unsigned seed) {
  auto* b = static_cast<const unsigned char*>(p);
  for (std::uint32_t i = 0; i < n; ++i)
    if (b[i] != static_cast<unsigned char>(seed + i * 7)) return false;
  return true;
}

}  // namespace

TEST_CASE("memory: requests of up to 32 bytes come from the six pools") {
  FreshAllocator();
  const struct { std::uint32_t request, pool; } rows[] = {
      {1, 4}, {4, 4}, {5, 8}, {8, 8}, {9, 12}, {12, 12}, {13, 16}, {16, 16},
      {17, 24}, {24, 24}, {25, 32}, {32, 32}};
  for (auto row : rows) {
    void* p = MemAlloc(row.request);
    REQUIRE(p != nullptr);
    auto info = vel::mem::Inspect(p);
    CHECK(info.tier == Tier::kPool);
    CHECK_EQ(info.size, row.pool);
    MemFree(p);
  }
  void* p = MemAlloc(33);
  CHECK(vel::mem::Inspect(p).tier == Tier::kHeap);
  CHECK_EQ(vel::mem::Inspect(p).size, 48u);
  MemFree(p);
  CHECK(MemAlloc(0) == nullptr);
  CHECK(HeapValid());
}

TEST_CASE("memory: a pool page serves its blocks from the highest address down") {
  FreshAllocator();
  // 16-byte class: 255 blocks a page; consecutive allocations descend within the page.
  std::vector<unsigned char*> blocks;
  for (int i = 0; i < 255; ++i) blocks.push_back(static_cast<unsigned char*>(MemAlloc(16)));
  for (int i = 1; i < 255; ++i) CHECK(blocks[i] == blocks[i - 1] - 16);
  CHECK_EQ(reinterpret_cast<std::uintptr_t>(blocks.back()) % 4096, 16u);
  CHECK_EQ(vel::mem::GetStats().arena_pages, 1u);
  void* next_page = MemAlloc(16);
  CHECK_EQ(vel::mem::GetStats().arena_pages, 2u);
  // A freed block is the next one handed out.
  MemFree(blocks[100]);
  CHECK(MemAlloc(16) == blocks[100]);
  MemFree(next_page);
}

TEST_CASE("memory: the heap tier ends at S = 53,248; one byte more is a large block") {
  FreshAllocator();
  void* heap = MemAlloc(53240);
  void* large = MemAlloc(53241);
  REQUIRE(heap && large);
  CHECK(vel::mem::Inspect(heap).tier == Tier::kHeap);
  CHECK_EQ(vel::mem::Inspect(heap).size, 53248u);
  CHECK(vel::mem::Inspect(large).tier == Tier::kLarge);
  CHECK_EQ(vel::mem::Inspect(large).size, 53256u);
  Fill(heap, 53240, 1);
  Fill(large, 53241, 2);
  CHECK(Holds(heap, 53240, 1));
  CHECK(Holds(large, 53241, 2));
  CHECK_EQ(vel::mem::GetStats().large_blocks, 1u);
  MemFree(large);
  CHECK_EQ(vel::mem::GetStats().large_blocks, 0u);
  MemFree(heap);
  CHECK(HeapValid());
}

TEST_CASE("memory: sizes near 4 GiB give null and change nothing") {
  FreshAllocator();
  void* keep = MemAlloc(100);
  Fill(keep, 100, 9);
  for (std::uint32_t n : {0xFFFFFFFFu, 0xFFFFFFF9u, 0xFFFFFFF8u, 0xFFFFFFF0u, 0xFFFFFFE8u}) {
    CHECK(MemAlloc(n) == nullptr);
    CHECK(MemRealloc(keep, n) == nullptr);
  }
  CHECK(Holds(keep, 100, 9));
  CHECK(MemCalloc(0x10000, 0x10000) == nullptr);  // product overflows 32 bits
  CHECK(MemCalloc(0, 10) == nullptr);
  CHECK(MemCalloc(10, 0) == nullptr);
  auto* z = static_cast<unsigned char*>(MemCalloc(100, 30));
  REQUIRE(z != nullptr);
  bool zero = true;
  for (int i = 0; i < 3000; ++i) zero = zero && z[i] == 0;
  CHECK(zero);
  MemFree(z);
  MemFree(keep);
  CHECK(HeapValid());
  CHECK(g_diagnostics.empty());
}

TEST_CASE("memory: double free and unknown tags reach the diagnostic path") {
  FreshAllocator();
  void* a = MemAlloc(100);
  void* guard = MemAlloc(100);  // keeps `b`'s predecessor in use
  void* b = MemAlloc(100);
  void* after = MemAlloc(100);
  MemFree(b);
  MemFree(b);
  REQUIRE(g_diagnostics.size() == 1);
  CHECK_EQ(g_diagnostics[0], 11);
  // Freed into a free predecessor: the second free must still be recognised.
  MemFree(a);
  MemFree(guard);
  g_diagnostics.clear();
  MemFree(guard);
  REQUIRE(g_diagnostics.size() == 1);
  CHECK_EQ(g_diagnostics[0], 11);
  // A pointer that was never allocated (outside the arena, unknown head tag).
  alignas(8) static unsigned char fake[64];
  std::memset(fake, 0x55, sizeof fake);
  g_diagnostics.clear();
  MemFree(fake + 16);
  REQUIRE(g_diagnostics.size() == 1);
  CHECK_EQ(g_diagnostics[0], 0);
  CHECK(HeapValid());
  MemFree(after);
  CHECK(HeapValid());
  CHECK_EQ(std::string(vel::DiagnosticText(11)), std::string("memory block free'd twice"));
}

TEST_CASE("memory: freed neighbours merge; the summed size reuses the first address") {
  FreshAllocator();
  void* a = MemAlloc(200);
  void* b = MemAlloc(300);
  void* c = MemAlloc(400);
  const std::uint32_t sa = vel::mem::Inspect(a).size, sb = vel::mem::Inspect(b).size;
  MemFree(a);
  MemFree(b);
  CHECK(HeapValid());
  void* ab = MemAlloc(sa + sb - 8);
  CHECK(ab == a);
  // Free in the order middle, left, right: every merge case.
  void* x = MemAlloc(64), *y = MemAlloc(64), *z = MemAlloc(64), *w = MemAlloc(64);
  MemFree(y);   // neither neighbour free
  CHECK(HeapValid());
  MemFree(x);   // next free
  CHECK(HeapValid());
  MemFree(z);   // previous free
  CHECK(HeapValid());
  MemFree(w);   // previous free and next free (the rest of the chunk)
  CHECK(HeapValid());
  MemFree(ab);
  MemFree(c);
  CHECK(HeapValid());
  CHECK_EQ(vel::mem::GetStats().chunks, 1u);
}

TEST_CASE("memory: realloc paths") {
  FreshAllocator();
  // Pool: same class keeps the pointer; a bigger class copies the old bytes.
  void* p12 = MemAlloc(12);
  Fill(p12, 12, 3);
  CHECK(MemRealloc(p12, 10) == p12);
  void* p16 = MemRealloc(p12, 13);
  CHECK(vel::mem::Inspect(p16).tier == Tier::kPool);
  CHECK_EQ(vel::mem::Inspect(p16).size, 16u);
  CHECK(Holds(p16, 12, 3));
  // Pool to heap.
  void* big = MemRealloc(p16, 500);
  CHECK(vel::mem::Inspect(big).tier == Tier::kHeap);
  CHECK(Holds(big, 12, 3));
  MemFree(big);

  // Heap shrink keeps the address.
  void* h = MemAlloc(40);
  void* pin = MemAlloc(40);
  Fill(h, 40, 4);
  CHECK(MemRealloc(h, 20) == h);
  CHECK(Holds(h, 20, 4));
  CHECK(HeapValid());
  // Shrink by 64 bytes or more with an in-use neighbour creates a free region.
  void* s = MemAlloc(1000);
  void* pin2 = MemAlloc(40);
  Fill(s, 1000, 5);
  CHECK(MemRealloc(s, 100) == s);
  CHECK(Holds(s, 100, 5));
  CHECK(HeapValid());
  // ...which the block can grow into again in place.
  CHECK(MemRealloc(s, 900) == s);
  CHECK(Holds(s, 100, 5));
  CHECK(HeapValid());
  // Grow when the neighbour is in use moves and copies.
  void* moved = MemRealloc(h, 4000);
  CHECK(moved != h);
  CHECK(Holds(moved, 20, 4));
  CHECK(HeapValid());
  // Grow into the free rest of the chunk keeps the address.
  void* tail = MemAlloc(100);
  Fill(tail, 100, 6);
  CHECK(MemRealloc(tail, 20000) == tail);
  CHECK(Holds(tail, 100, 6));
  CHECK(HeapValid());
  // Large blocks always move.
  void* l = MemAlloc(60000);
  Fill(l, 60000, 7);
  void* l2 = MemRealloc(l, 70000);
  CHECK(l2 != l);
  CHECK(Holds(l2, 60000, 7));
  void* l3 = MemRealloc(l2, 100);
  CHECK(vel::mem::Inspect(l3).tier == Tier::kHeap);
  CHECK(Holds(l3, 100, 7));
  // Null behaves as allocate; size 0 frees.
  void* n = MemRealloc(nullptr, 50);
  CHECK(n != nullptr);
  CHECK(MemRealloc(n, 0) == nullptr);
  for (void* q : {pin, s, pin2, moved, tail, l3}) MemFree(q);
  CHECK(HeapValid());
  CHECK(g_diagnostics.empty());
}

namespace {

// Each live block carries its seed in its first and last 64 bytes (all of it when shorter).
struct StressBlock {
  void* p;
  std::uint32_t n;
  unsigned char seed;
};

void Stamp(const StressBlock& b) {
  auto* bytes = static_cast<unsigned char*>(b.p);
  const std::uint32_t edge = b.n < 64 ? b.n : 64;
  std::memset(bytes, b.seed, edge);
  std::memset(bytes + b.n - edge, b.seed, edge);
}

bool Intact(const StressBlock& b, std::uint32_t n) {
  auto* bytes = static_cast<const unsigned char*>(b.p);
  const std::uint32_t edge = n < 64 ? n : 64;
  for (std::uint32_t j = 0; j < edge; ++j)
    if (bytes[j] != b.seed || bytes[n - 1 - j] != b.seed) return false;
  return true;
}

}  // namespace

TEST_CASE("memory: a million mixed operations keep every block intact") {
  FreshAllocator();
  std::vector<StressBlock> live;
  std::mt19937 rng(12345);
  auto random_size = [&]() -> std::uint32_t {
    switch (rng() % 10) {
      case 0: return 53000 + rng() % 40000;              // large and the boundary
      case 1: case 2: case 3: return 33 + rng() % 4000;  // medium
      default: return 1 + rng() % 32;                    // small
    }
  };
  bool ok = true;
  for (int i = 0; i < 1000000 && ok; ++i) {
    const unsigned op = rng() % 8;
    if (live.empty() || (op < 4 && live.size() < 3000)) {
      StressBlock b{nullptr, random_size(), static_cast<unsigned char>(i)};
      b.p = MemAlloc(b.n);
      if (!b.p) { ok = false; break; }
      Stamp(b);
      live.push_back(b);
      continue;
    }
    const std::size_t k = rng() % live.size();
    StressBlock& b = live[k];
    if (!Intact(b, b.n)) ok = false;
    if (op < 6) {
      MemFree(b.p);
      b = live.back();
      live.pop_back();
    } else {
      const std::uint32_t n = random_size();
      void* q = MemRealloc(b.p, n);
      if (!q) { ok = false; break; }
      b.p = q;
      // The common prefix survived the move or the in-place resize.
      const std::uint32_t kept = n < b.n ? n : b.n;
      const std::uint32_t edge = kept < 64 ? kept : 64;
      for (std::uint32_t j = 0; j < edge; ++j)
        if (static_cast<unsigned char*>(q)[j] != b.seed) ok = false;
      b.n = n;
      Stamp(b);
    }
    if (i % 100000 == 0 && !HeapValid()) ok = false;
  }
  CHECK(ok);
  for (StressBlock& b : live) {
    CHECK(Intact(b, b.n));
    MemFree(b.p);
  }
  CHECK(HeapValid());
  CHECK(g_diagnostics.empty());
  vel::MemoryInitTerm(1);  // termination returns every chunk, large block and page
  CHECK_EQ(vel::mem::GetStats().chunks, 0u);
}

TEST_CASE("memory: a churn of medium blocks keeps every free region's descriptor right") {
  // Blocks of 33 to 53,240 bytes in 2,000 slots, as the allocator benchmark churns them: hundreds
  // of chunks, and most frees merge with a free region that follows, whose descriptor is looked
  // up by the region's address. The whole heap is checked every 2,000 operations.
  FreshAllocator();
  std::vector<StressBlock> slots(2000, StressBlock{nullptr, 0, 0});
  std::mt19937 rng(4242);
  bool ok = true;
  for (int i = 0; i < 200000 && ok; ++i) {
    StressBlock& b = slots[rng() % slots.size()];
    const std::uint32_t n = 33 + rng() % (53240 - 33 + 1);
    const bool resize = rng() % 8 == 0;
    if (!b.p) {
      b = StressBlock{MemAlloc(n), n, static_cast<unsigned char>(i)};
      if (!b.p) ok = false; else Stamp(b);
    } else {
      if (!Intact(b, b.n)) ok = false;
      if (resize) {
        void* q = MemRealloc(b.p, n);
        if (!q) { ok = false; break; }
        // The stamped prefix survived the move or the in-place resize.
        const std::uint32_t kept = n < b.n ? n : b.n, edge = kept < 64 ? kept : 64;
        for (std::uint32_t j = 0; j < edge; ++j)
          if (static_cast<unsigned char*>(q)[j] != b.seed) ok = false;
        b = StressBlock{q, n, b.seed};
        Stamp(b);
      } else {
        MemFree(b.p);
        b.p = nullptr;
      }
    }
    if (i % 2000 == 0 && !HeapValid()) ok = false;
  }
  CHECK(ok);
  for (StressBlock& b : slots) {
    if (!b.p) continue;
    CHECK(Intact(b, b.n));
    MemFree(b.p);
  }
  CHECK(HeapValid());
  CHECK(g_diagnostics.empty());
  vel::MemoryInitTerm(1);
}

TEST_CASE("memory: threads allocate and free each other's blocks under the lock") {
  FreshAllocator();
  constexpr int kPerThread = 200000;
  std::vector<void*> handoff(kPerThread, nullptr);
  std::atomic<int> produced{0};
  std::atomic<bool> bad{false};
  std::thread producer([&] {
    for (int i = 0; i < kPerThread; ++i) {
      const std::uint32_t n = 1 + static_cast<std::uint32_t>(i % 300);
      auto* p = static_cast<unsigned char*>(MemAlloc(n));
      if (!p) { bad = true; break; }
      p[0] = static_cast<unsigned char>(i);
      p[n - 1] = static_cast<unsigned char>(i);
      handoff[i] = p;
      produced.store(i + 1, std::memory_order_release);
      if (i % 3 == 0) MemFree(MemAlloc(40 + i % 100));  // contend on the heap tier too
    }
  });
  for (int i = 0; i < kPerThread && !bad; ++i) {
    while (produced.load(std::memory_order_acquire) <= i && !bad) std::this_thread::yield();
    if (bad) break;
    auto* p = static_cast<unsigned char*>(handoff[i]);
    const std::uint32_t n = 1 + static_cast<std::uint32_t>(i % 300);
    if (p[0] != static_cast<unsigned char>(i) || p[n - 1] != static_cast<unsigned char>(i)) bad = true;
    MemFree(p);
  }
  producer.join();
  CHECK(!bad);
  CHECK(HeapValid());
  CHECK(g_diagnostics.empty());
}
