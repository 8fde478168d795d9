// The runtime's allocator: pools, tagged first-fit heap, large tier.
//
// Heap block layout (p = the caller's pointer, S = block size, a multiple of 8, >= 16):
//
//     p-5   head tag   0xA3 in use | 0x34 free
//     p-4   S          32-bit
//     p ..  user area  S-8 bytes
//     p+S-8 tail tag   same as the head tag
//     p+S-8-W          free regions only: address of the region's descriptor (W = pointer size)
//
// so the next block's head tag and size sit at p+S-5 and p+S-4, and its user area at p+S.
// A heap chunk (128 KiB) starts with a guard byte 0x17 where a first block's "previous tail
// tag" would be, holds one free region at chunk+8 with S = 0x1FFF0, a guard 0x17 where a
// following block's head tag would be, and ends with the address of its registration
// descriptor. Free regions and chunk/large registrations share one circular doubly linked ring
// with a sentinel; registrations have size 0 so that no search picks them.
//
// Pool pages live in one reserved arena: a page's first 32-bit word is the owning pool's
// index; blocks start at the offset equal to the block size. Free pool blocks are linked by
// 32-bit offsets from the arena base (0 = end), so the 4-byte class works on 64-bit hosts too.
//
// Invariant: state is only written after every step that can fail has succeeded; a failed
// allocation or in-place resize leaves the heap exactly as it was.
#include "runtime/core/memory.h"

#include <cstdlib>
#include <cstring>

#include "runtime/core/errors.h"
#include "runtime/core/sys.h"
#include "runtime/core/trace.h"

namespace vel {
namespace {

constexpr std::uint8_t kTagInUse = 0xA3;
constexpr std::uint8_t kTagFree = 0x34;
constexpr std::uint8_t kTagLarge = 0xE7;
constexpr std::uint8_t kTagGuard = 0x17;
constexpr std::uint8_t kTagFresh = 0x23;

constexpr std::uintptr_t kArenaSize = 0x8000000;
constexpr std::uintptr_t kArenaPreferred = 0x8000000;
constexpr std::uint32_t kPageSize = 4096;
constexpr std::uint32_t kChunkSize = 0x20000;
constexpr std::uint32_t kChunkRegion = 0x1FFF0;
constexpr std::uint32_t kMinSplinter = 0x40;
constexpr std::uint32_t kMaxReallocSize = 4294967280u;
constexpr std::uint32_t kDescriptorsPerBlock = 3071;
constexpr std::size_t kW = sizeof(void*);
constexpr unsigned kHintBits = 12;  // 4,096 hints: 16 KiB of pointers on the 32-bit target

struct RegionDesc {
  RegionDesc* next;
  RegionDesc* prev;
  std::uint32_t size;   // 0 for the sentinel and for chunk/large registrations
  std::uint8_t* start;  // user address of the region; base address of a registration
};

constexpr std::size_t kDescriptorBlockSize = kW + kDescriptorsPerBlock * sizeof(RegionDesc);

struct Pool {
  std::uint32_t block_size;
  std::uint32_t free_head;  // arena offset of the first free block, 0 = empty
};

constexpr std::uint32_t kPoolSizes[6] = {4, 8, 12, 16, 24, 32};

struct MemState {
  bool initialised;
  bool route_to_system;
  sys::Lock* lock;
  std::uint8_t* arena;          // null when the reservation failed
  std::uint32_t arena_committed;
  Pool pools[6];
  std::uint8_t size_class[33];  // request size -> pool index
  RegionDesc sentinel;
  RegionDesc* rover;
  RegionDesc* spare;            // spare descriptors, linked through next
  void* descriptor_blocks;      // linked through each block's first word
  mem::Stats stats;
  // Where the descriptor of the free region starting at an address was last seen, by a hash of
  // the address (see RegionAt).
  RegionDesc* hints[1u << kHintBits];
};

MemState g;
bool g_route_default =
#ifdef VEL_ALLOC_MALLOC_DEFAULT
    true;
#else
    false;
#endif

// --- byte-level accessors --------------------------------------------------------------------

inline std::uint32_t Load32(const std::uint8_t* at) {
  std::uint32_t v;
  std::memcpy(&v, at, 4);
  return v;
}
inline void Store32(std::uint8_t* at, std::uint32_t v) { std::memcpy(at, &v, 4); }
inline RegionDesc* LoadDesc(const std::uint8_t* at) {
  RegionDesc* d;
  std::memcpy(&d, at, kW);
  return d;
}
inline void StoreDesc(std::uint8_t* at, RegionDesc* d) { std::memcpy(at, &d, kW); }

inline std::uint8_t HeadTag(const std::uint8_t* p) { return p[-5]; }
inline std::uint32_t BlockSize(const std::uint8_t* p) { return Load32(p - 4); }
inline std::uint8_t* DescSlot(std::uint8_t* p, std::uint32_t s) { return p + s - 8 - kW; }

inline void StampHead(std::uint8_t* p, std::uint8_t tag, std::uint32_t s) {
  p[-5] = tag;
  Store32(p - 4, s);
}
inline void StampBlock(std::uint8_t* p, std::uint8_t tag, std::uint32_t s) {
  StampHead(p, tag, s);
  p[s - 8] = tag;
}
// A free region: tags 0x34 at both ends and its descriptor's address at its end.
inline void StampFreeRegion(RegionDesc* d) {
  StampBlock(d->start, kTagFree, d->size);
  StoreDesc(DescSlot(d->start, d->size), d);
}

// S for a request of n bytes; 0 when it overflows 32 bits.
inline std::uint32_t HeapSize(std::uint32_t n) {
  std::uint32_t s = ((n + 7u) & ~7u) + 8u;
  return s < n ? 0 : s;
}

inline bool InArena(const void* p) {
  return g.arena && static_cast<std::uintptr_t>(static_cast<const std::uint8_t*>(p) - g.arena) < kArenaSize;
}

// --- the descriptor ring -----------------------------------------------------------------------
//
// A descriptor is in the ring exactly while its `start` is set: spare descriptors have none.

inline unsigned HintIndex(const std::uint8_t* start) {
  const auto a = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(start) >> 3);
  return (a * 0x9E3779B1u) >> (32 - kHintBits);
}

inline void Hint(RegionDesc* d) { g.hints[HintIndex(d->start)] = d; }

// The descriptor of the free region whose user address is q. Its address is stored at the
// region's end, often tens of KiB away and out of the cache, while the caller has just read
// q's head: the hint, when it names a ring descriptor of a region starting at q, is that
// descriptor (two free regions never share a start), and costs no miss.
inline RegionDesc* RegionAt(std::uint8_t* q) {
  RegionDesc* d = g.hints[HintIndex(q)];
  if (d && d->start == q && d->size != 0) return d;
  return LoadDesc(DescSlot(q, BlockSize(q)));
}

RegionDesc* TakeSpare() {
  if (!g.spare) {
    auto* block = static_cast<std::uint8_t*>(sys::Allocate(kDescriptorBlockSize));
    if (!block) return nullptr;
    std::memcpy(block, &g.descriptor_blocks, kW);
    g.descriptor_blocks = block;
    ++g.stats.descriptor_blocks;
    auto* descs = reinterpret_cast<RegionDesc*>(block + kW);
    for (std::uint32_t i = kDescriptorsPerBlock; i-- > 0;) {
      descs[i].next = g.spare;
      descs[i].start = nullptr;
      g.spare = &descs[i];
    }
  }
  RegionDesc* d = g.spare;
  g.spare = d->next;
  return d;
}

void GiveSpare(RegionDesc* d) {
  d->next = g.spare;
  d->start = nullptr;
  g.spare = d;
}

void InsertBeforeSentinel(RegionDesc* d) {
  d->next = &g.sentinel;
  d->prev = g.sentinel.prev;
  g.sentinel.prev->next = d;
  g.sentinel.prev = d;
}

// Takes d out of the ring and back to the spare list; the rover, if it was d, moves on.
void LeaveRing(RegionDesc* d) {
  if (g.rover == d) g.rover = d->next;
  d->prev->next = d->next;
  d->next->prev = d->prev;
  GiveSpare(d);
}

// --- pools -------------------------------------------------------------------------------------

bool CommitPoolPage(int pool_index) {
  if (!g.arena || g.arena_committed + kPageSize > kArenaSize) return false;
  std::uint8_t* page = g.arena + g.arena_committed;
  if (!sys::Commit(page, kPageSize)) return false;
  g.arena_committed += kPageSize;
  ++g.stats.arena_pages;
  Pool& pool = g.pools[pool_index];
  const std::uint32_t bs = pool.block_size;
  Store32(page, static_cast<std::uint32_t>(pool_index));
  // Link so that the block at the highest address is handed out first.
  std::uint32_t head = pool.free_head;
  const std::uint32_t page_offset = static_cast<std::uint32_t>(page - g.arena);
  for (std::uint32_t off = bs; off + bs <= kPageSize; off += bs) {
    Store32(page + off, head);
    head = page_offset + off;
  }
  pool.free_head = head;
  return true;
}

void* PoolAlloc(std::uint32_t n) {
  const int index = g.size_class[n];
  Pool& pool = g.pools[index];
  if (!pool.free_head && !CommitPoolPage(index)) return nullptr;
  std::uint8_t* block = g.arena + pool.free_head;
  pool.free_head = Load32(block);
  return block;
}

inline int PoolIndexOf(const void* p) {
  auto page = reinterpret_cast<std::uintptr_t>(p) & ~static_cast<std::uintptr_t>(kPageSize - 1);
  return static_cast<int>(Load32(reinterpret_cast<const std::uint8_t*>(page)));
}

void PoolFree(void* p) {
  Pool& pool = g.pools[PoolIndexOf(p)];
  Store32(static_cast<std::uint8_t*>(p), pool.free_head);
  pool.free_head = static_cast<std::uint32_t>(static_cast<std::uint8_t*>(p) - g.arena);
}

// --- heap chunks and the large tier ---------------------------------------------------------------

RegionDesc* NewChunk() {
  RegionDesc* reg = TakeSpare();
  if (!reg) return nullptr;
  RegionDesc* region = TakeSpare();
  if (!region) {
    GiveSpare(reg);
    return nullptr;
  }
  auto* chunk = static_cast<std::uint8_t*>(sys::Allocate(kChunkSize));
  if (!chunk) {
    GiveSpare(region);
    GiveSpare(reg);
    return nullptr;
  }
  ++g.stats.chunks;
  chunk[0] = kTagFresh;
  reg->size = 0;
  reg->start = chunk;
  InsertBeforeSentinel(reg);
  StoreDesc(chunk + kChunkSize - kW, reg);
  region->size = kChunkRegion;
  region->start = chunk + 8;
  Hint(region);
  StampFreeRegion(region);
  chunk[8 + kChunkRegion - 5] = kTagGuard;
  chunk[0] = kTagGuard;
  InsertBeforeSentinel(region);
  return region;
}

void* LargeAlloc(std::uint32_t s) {
  if (s > 0xFFFFFFFFu - 16) return nullptr;
  RegionDesc* reg = TakeSpare();
  if (!reg) return nullptr;
  auto* base = static_cast<std::uint8_t*>(sys::Allocate(std::size_t{s} + 16));
  if (!base) {
    GiveSpare(reg);
    return nullptr;
  }
  ++g.stats.large_blocks;
  base[0] = kTagFresh;
  std::uint8_t* p = base + 8;
  StampBlock(p, kTagLarge, s);
  reg->size = 0;
  reg->start = base;
  InsertBeforeSentinel(reg);
  StoreDesc(base + s + 16 - kW, reg);
  return p;
}

void LargeFree(std::uint8_t* p) {
  const std::uint32_t s = BlockSize(p);
  std::uint8_t* base = p - 8;
  LeaveRing(LoadDesc(base + s + 16 - kW));
  --g.stats.large_blocks;
  sys::Release(base, std::size_t{s} + 16);
}

// --- heap tier --------------------------------------------------------------------------------------

RegionDesc* FindRegion(std::uint32_t s) {
  RegionDesc* d = g.rover;
  do {
    if (d->size >= s) return d;
    d = d->prev;
  } while (d != g.rover);
  return nullptr;
}

void* HeapAlloc(std::uint32_t s) {
  RegionDesc* d = FindRegion(s);
  if (!d && !(d = NewChunk())) return nullptr;
  std::uint8_t* p = d->start;
  if (d->size - s < kMinSplinter) {
    s = d->size;           // too small a splinter: the whole region becomes the block
    RegionDesc* after = d->next;
    LeaveRing(d);
    g.rover = after;
  } else {
    d->start += s;
    d->size -= s;
    Hint(d);
    StampHead(d->start, kTagFree, d->size);
  }
  StampBlock(p, kTagInUse, s);
  return p;
}

enum class FreeResult { kOk, kDoubleFree, kUnknownTag, kOutOfSpace };

FreeResult HeapFree(std::uint8_t* p) {
  const std::uint32_t s = BlockSize(p);
  const bool prev_free = p[-8] == kTagFree;
  const bool next_free = p[s - 5] == kTagFree;
  if (prev_free && next_free) {
    RegionDesc* dp = LoadDesc(p - 8 - kW);
    RegionDesc* dn = RegionAt(p + s);
    p[-5] = kTagFree;  // a second MemFree of p must find it free, not a stale in-use tag
    dp->size += s + dn->size;
    StoreDesc(DescSlot(dp->start, dp->size), dp);
    Store32(dp->start - 4, dp->size);
    LeaveRing(dn);
    g.rover = dp->next;
  } else if (prev_free) {
    RegionDesc* dp = LoadDesc(p - 8 - kW);
    p[-5] = kTagFree;  // as above: the merged-away head must not read as in use
    dp->size += s;
    StampFreeRegion(dp);
    g.rover = dp->next;
  } else if (next_free) {
    RegionDesc* dn = RegionAt(p + s);
    dn->size += s;
    dn->start = p;
    Hint(dn);
    StampHead(p, kTagFree, dn->size);
    g.rover = dn->next;
  } else {
    RegionDesc* d = TakeSpare();
    if (!d) return FreeResult::kOutOfSpace;
    d->size = s;
    d->start = p;
    Hint(d);
    StampFreeRegion(d);
    InsertBeforeSentinel(d);
    g.rover = &g.sentinel;
  }
  return FreeResult::kOk;
}

// Resizes heap block p to s2 in place; false (and nothing changed) when it cannot.
bool HeapResizeInPlace(std::uint8_t* p, std::uint32_t s2) {
  const std::uint32_t s = BlockSize(p);
  std::uint8_t* next = p + s;
  const bool next_free = next[-5] == kTagFree;
  if (s2 == s) return true;
  if (s2 < s) {
    const std::uint32_t r = s - s2;
    if (next_free) {
      RegionDesc* dn = RegionAt(next);
      dn->start -= r;
      dn->size += r;
      Hint(dn);
      StampHead(dn->start, kTagFree, dn->size);
    } else if (r >= kMinSplinter) {
      RegionDesc* d = TakeSpare();
      if (!d) return false;
      d->start = p + s2;
      d->size = r;
      Hint(d);
      StampFreeRegion(d);
      InsertBeforeSentinel(d);
    } else {
      return true;  // the splinter stays with the block
    }
  } else {
    const std::uint32_t grow = s2 - s;
    if (!next_free) return false;
    RegionDesc* dn = RegionAt(next);
    if (dn->size < grow) return false;
    if (dn->size - grow >= kMinSplinter) {
      dn->start += grow;
      dn->size -= grow;
      Hint(dn);
      StampHead(dn->start, kTagFree, dn->size);
    } else {
      s2 = s + dn->size;
      RegionDesc* after = dn->next;
      LeaveRing(dn);
      g.rover = after;
    }
  }
  StampBlock(p, kTagInUse, s2);
  return true;
}

// --- locking and reporting ---------------------------------------------------------------------

struct Guard {
  Guard() { sys::LockEnter(g.lock); }
  ~Guard() { sys::LockLeave(g.lock); }
};

void EnsureInitialised() {
  // Allocation before the priority-200 initialiser is a start-up ordering fault; rather than
  // crash, initialise now (the terminate routine still releases everything).
  if (!g.initialised) MemoryInitTerm(0);
}

// Diagnostics are raised after the lock is released: the fatal path may end the process.
void Report(FreeResult r) {
  switch (r) {
    case FreeResult::kOk: return;
    case FreeResult::kDoubleFree: Diagnostic(11); return;
    case FreeResult::kUnknownTag: Diagnostic(0); return;
    case FreeResult::kOutOfSpace: Diagnostic(1); return;
  }
}

FreeResult FreeLocked(void* ptr) {
  auto* p = static_cast<std::uint8_t*>(ptr);
  if (InArena(p)) {
    PoolFree(p);
    return FreeResult::kOk;
  }
  switch (HeadTag(p)) {
    case kTagLarge: LargeFree(p); return FreeResult::kOk;
    case kTagInUse: return HeapFree(p);
    case kTagFree: return FreeResult::kDoubleFree;
    default: return FreeResult::kUnknownTag;
  }
}

void* AllocLocked(std::uint32_t n) {
  if (n == 0) return nullptr;
  if (n <= 32) {
    if (void* p = PoolAlloc(n)) return p;
  }
  const std::uint32_t s = HeapSize(n);
  if (s == 0) return nullptr;
  if (s > mem::kLargeThreshold) return LargeAlloc(s);
  return HeapAlloc(s);
}

// --- routing to the C runtime (sanitizer runs) -----------------------------------------------

void* SystemRealloc(void* p, std::uint32_t n) {
  if (!p) return n ? std::malloc(n) : nullptr;
  if (n == 0) {
    std::free(p);
    return nullptr;
  }
  if (n > kMaxReallocSize) return nullptr;
  return std::realloc(p, n);
}

}  // namespace

void MemRouteToSystem(bool on) { g_route_default = on; }

namespace {
// The test allocator's countdown (see mem::FailAllocation); 0 = off.
struct FailState {
  std::uint32_t countdown = 0;
  bool sticky = false;
  std::uint32_t counted = 0;
} g_fail;

// True when this request must fail.
bool InjectedFailure() {
  ++g_fail.counted;
  if (g_fail.countdown == 0) return false;
  if (g_fail.countdown > 1) {
    --g_fail.countdown;
    return false;
  }
  if (!g_fail.sticky) g_fail.countdown = 0;
  return true;
}
}  // namespace

std::uint32_t mem::FailAllocation(std::uint32_t n, bool sticky) {
  const std::uint32_t counted = g_fail.counted;
  g_fail = FailState{n, sticky, 0};
  return counted;
}

void* MemAlloc(std::uint32_t n) {
  EnsureInitialised();
  if (InjectedFailure()) return nullptr;
  if (g.route_to_system) return n ? std::malloc(n) : nullptr;
  Guard lock;
  return AllocLocked(n);
}

void MemFree(void* p) {
  if (!p) return;
  EnsureInitialised();
  if (g.route_to_system) {
    std::free(p);
    return;
  }
  FreeResult r;
  {
    Guard lock;
    r = FreeLocked(p);
  }
  Report(r);
}

void* MemRealloc(void* ptr, std::uint32_t n) {
  EnsureInitialised();
  if (!ptr && n != 0) return MemAlloc(n);
  if (n != 0 && InjectedFailure()) return nullptr;
  if (g.route_to_system) return SystemRealloc(ptr, n);
  if (!ptr) return MemAlloc(n);
  if (n == 0) {
    MemFree(ptr);
    return nullptr;
  }
  auto* p = static_cast<std::uint8_t*>(ptr);
  FreeResult bad = FreeResult::kOk;
  void* result = nullptr;
  {
    Guard lock;
    std::uint32_t old_usable = 0;
    if (InArena(p)) {
      const int index = PoolIndexOf(p);
      if (n <= 32 && g.size_class[n] == index) return p;
      old_usable = g.pools[index].block_size;
    } else if (n > kMaxReallocSize) {
      return nullptr;
    } else {
      const std::uint8_t tag = HeadTag(p);
      if (tag == kTagInUse) {
        const std::uint32_t s2 = HeapSize(n);
        if (s2 <= mem::kLargeThreshold && HeapResizeInPlace(p, s2)) return p;
      } else if (tag != kTagLarge) {
        bad = tag == kTagFree ? FreeResult::kDoubleFree : FreeResult::kUnknownTag;
      }
      if (bad == FreeResult::kOk) old_usable = BlockSize(p) - 8;
    }
    if (bad == FreeResult::kOk) {
      result = AllocLocked(n);
      if (result) {
        std::memcpy(result, p, n < old_usable ? n : old_usable);
        bad = FreeLocked(p);
      }
    }
  }
  Report(bad);
  return result;
}

void* MemCalloc(std::uint32_t count, std::uint32_t size) {
  if (count == 0 || size == 0) return nullptr;
  const std::uint64_t total = std::uint64_t{count} * size;
  if (total > 0xFFFFFFFFu) return nullptr;
  void* p = MemAlloc(static_cast<std::uint32_t>(total));
  if (p) std::memset(p, 0, static_cast<std::size_t>(total));
  return p;
}

namespace {

void Initialise() {
  g = MemState{};
  g.route_to_system = g_route_default;
  g.lock = sys::LockCreate();
  g.sentinel.next = g.sentinel.prev = &g.sentinel;
  g.rover = &g.sentinel;
  g.initialised = true;
  if (g.route_to_system) return;
  g.arena = static_cast<std::uint8_t*>(
      sys::Reserve(reinterpret_cast<void*>(kArenaPreferred), kArenaSize));
  if (!g.arena) Trace("Memory failed: %lx\r\n", static_cast<unsigned long>(sys::LastError()));
  // Largest class first: each pool claims the table entries from its size downward, so a
  // smaller class overwrites the entries it can serve.
  for (int i = 5; i >= 0; --i) {
    g.pools[i] = Pool{kPoolSizes[i], 0};
    for (std::uint32_t n = kPoolSizes[i]; n >= 1; --n) g.size_class[n] = static_cast<std::uint8_t>(i);
  }
}

void Terminate() {
  if (!g.initialised) return;
  for (RegionDesc* d = g.sentinel.prev; d != &g.sentinel;) {
    RegionDesc* prev = d->prev;
    if (d->size == 0) {
      std::uint8_t* base = d->start;
      if (base[0] == kTagGuard) sys::Release(base, kChunkSize);
      else sys::Release(base, std::size_t{Load32(base + 4)} + 16);
    }
    d = prev;
  }
  while (g.descriptor_blocks) {
    void* block = g.descriptor_blocks;
    std::memcpy(&g.descriptor_blocks, block, kW);
    sys::Release(block, kDescriptorBlockSize);
  }
  if (g.arena) sys::Release(g.arena, kArenaSize);
  sys::LockDelete(g.lock);
  g = MemState{};
}

}  // namespace

void MemoryInitTerm(int flag) {
  if (flag == 0) {
    if (!g.initialised) Initialise();
  } else {
    Terminate();
  }
}

// --- introspection --------------------------------------------------------------------------------

namespace mem {

BlockInfo Inspect(const void* ptr) {
  auto* p = static_cast<const std::uint8_t*>(ptr);
  if (!ptr || !g.initialised || g.route_to_system) return {Tier::kNone, 0};
  if (InArena(p)) return {Tier::kPool, g.pools[PoolIndexOf(p)].block_size};
  if (HeadTag(p) == kTagLarge) return {Tier::kLarge, BlockSize(p)};
  if (HeadTag(p) == kTagInUse) return {Tier::kHeap, BlockSize(p)};
  return {Tier::kNone, 0};
}

namespace {
bool Fail(const char** reason, const char* what) {
  if (reason) *reason = what;
  return false;
}

bool ValidateChunk(std::uint8_t* chunk, const char** reason) {
  std::uint8_t* p = chunk + 8;
  std::uint8_t* end = chunk + 8 + kChunkRegion;
  std::uint8_t prev_tag = kTagGuard;
  while (p < end) {
    const std::uint8_t tag = HeadTag(p);
    const std::uint32_t s = BlockSize(p);
    if (tag != kTagInUse && tag != kTagFree) return Fail(reason, "bad head tag in chunk");
    if (s < 16 || (s & 7) || p + s > end) return Fail(reason, "bad block size in chunk");
    if (p[s - 8] != tag) return Fail(reason, "head and tail tags differ");
    if (tag == kTagFree) {
      if (prev_tag == kTagFree) return Fail(reason, "two adjacent free regions");
      RegionDesc* d = LoadDesc(DescSlot(p, s));
      if (d->start != p || d->size != s) return Fail(reason, "free region and descriptor differ");
    }
    prev_tag = tag;
    p += s;
  }
  if (p != end || end[-5] != kTagGuard || chunk[0] != kTagGuard)
    return Fail(reason, "chunk guards damaged");
  return true;
}
}  // namespace

bool Validate(const char** reason) {
  if (!g.initialised || g.route_to_system) return true;
  Guard lock;
  std::uint32_t count = 0;
  for (RegionDesc* d = g.sentinel.next; d != &g.sentinel; d = d->next) {
    if (d->next->prev != d || d->prev->next != d) return Fail(reason, "ring links broken");
    if (++count > 50'000'000) return Fail(reason, "ring does not close");
    if (d->size == 0) {
      if (d->start[0] == kTagGuard) {
        if (LoadDesc(d->start + kChunkSize - kW) != d) return Fail(reason, "chunk registration");
        if (!ValidateChunk(d->start, reason)) return false;
      } else if (d->start[0] == kTagFresh) {
        std::uint8_t* p = d->start + 8;
        if (HeadTag(p) != kTagLarge || p[BlockSize(p) - 8] != kTagLarge)
          return Fail(reason, "large block tags");
      } else {
        return Fail(reason, "unknown registration");
      }
    } else if (HeadTag(d->start) != kTagFree || BlockSize(d->start) != d->size) {
      return Fail(reason, "descriptor and region header differ");
    }
  }
  return true;
}

Stats GetStats() { return g.stats; }

}  // namespace mem
}  // namespace vel
