// The runtime's allocator: the only source of dynamic memory for the runtime and compiled code.
//
// Three tiers, chosen by request size n:
//   n <= 32            fixed-size pools (classes 4, 8, 12, 16, 24, 32) in one reserved arena;
//   S <= 53,248        a tagged first-fit heap in 128 KiB chunks, S = roundup8(n) + 8;
//   S >  53,248        a system allocation of its own (the large tier).
// Every heap and large block carries one-byte tags so that MemFree knows the tier and detects a
// pointer freed twice or never allocated (diagnostics 11 and 0 through the diagnostic hook).
// All entry points are serialised by one re-entrant lock.
//
// Legal call order: MemoryInitialise (priority-200 initialiser) before any allocation,
// MemoryTerminate after the last; after it every pointer ever returned is invalid.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vel {

void* MemAlloc(std::uint32_t size);
void MemFree(void* p);
void* MemRealloc(void* p, std::uint32_t size);
void* MemCalloc(std::uint32_t count, std::uint32_t size);

// The priority-200 initialise/terminate routine (flag 0 initialise, 1 terminate).
void MemoryInitTerm(int flag);

// Routes the four entry points to the C runtime's malloc family instead of the tiers, so that
// AddressSanitizer sees every block. Takes effect at the next initialisation only.
void MemRouteToSystem(bool on);

// --- introspection for tests and benchmarks -------------------------------------------------
namespace mem {
enum class Tier { kNone, kPool, kHeap, kLarge };
struct BlockInfo {
  Tier tier;
  std::uint32_t size;   // pool: block size; heap/large: S including the 8 bytes of bookkeeping
};
BlockInfo Inspect(const void* p);
// Walks every chunk, region and the descriptor ring; returns false (and the reason) on the
// first inconsistency. Expensive: tests only.
bool Validate(const char** reason);
// Counters since initialisation.
struct Stats {
  std::uint32_t chunks, large_blocks, descriptor_blocks, arena_pages;
};
Stats GetStats();
constexpr std::uint32_t kLargeThreshold = 0xD000;  // largest S served by the heap tier
// Test allocator: the n-th MemAlloc/MemRealloc request from now (1 = the next) fails and so
// does every later one while `sticky`; n = 0 switches failures off. Returns the number of
// requests counted since the last call, so a test can learn how many an operation makes.
std::uint32_t FailAllocation(std::uint32_t n, bool sticky = false);
}  // namespace mem

}  // namespace vel
