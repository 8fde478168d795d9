// Per-thread data copies, saved and loaded at thread switches.
#include "runtime/core/thread_data.h"

#include <cstring>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"

namespace vel {
namespace {

constexpr int kMaxRanges = 32;

struct Range {
  ThreadDataDescriptor* start;
  ThreadDataDescriptor* end;
};

struct ThreadDataState {
  Range ranges[kMaxRanges];
  int range_count;
  ThreadDataHooks hooks;
};
ThreadDataState g;

template <typename Fn>
void ForEachDescriptor(Fn fn) {
  for (int r = 0; r < g.range_count; ++r)
    for (ThreadDataDescriptor* d = g.ranges[r].start; d < g.ranges[r].end; ++d) fn(d);
}

inline bool IsRealCopy(void* copy) { return copy && copy != kCopyPending; }

// A new copy from the initial image, the typed assignment, or zeros.
void* NewCopy(ThreadDataDescriptor* d) {
  void* copy = MemAlloc(d->size ? d->size : 1);
  if (!copy) {
    RuntimeError(501, "WSLINST");
    return nullptr;
  }
  if (d->initial && !(d->flags & kThreadDataTypedInit)) {
    std::memcpy(copy, d->initial, d->size);
  } else {
    std::memset(copy, 0, d->size);
    if ((d->flags & kThreadDataTypedInit) && g.hooks.typed_assign) g.hooks.typed_assign(d, copy);
  }
  return copy;
}

bool ValidSlot(int slot) { return slot >= 0 && slot < kThreadSlots; }

}  // namespace

void SetThreadDataHooks(const ThreadDataHooks& hooks) { g.hooks = hooks; }
ThreadDataHooks GetThreadDataHooks() { return g.hooks; }

void ThreadDataRegister(ThreadDataDescriptor* start, ThreadDataDescriptor* end) {
  if (g.range_count >= kMaxRanges) {
    RuntimeError(501, "WSLINST");
    return;
  }
  g.ranges[g.range_count++] = Range{start, end};
  for (ThreadDataDescriptor* d = start; d < end; ++d) d->copies[0] = kCopyPending;
}

void ThreadDataCreate(int slot) {
  if (!ValidSlot(slot)) return;
  ForEachDescriptor([slot](ThreadDataDescriptor* d) {
    if (IsRealCopy(d->copies[slot])) {
      RuntimeError(503, "WSLINST");
      return;
    }
    d->copies[slot] = NewCopy(d);
  });
}

void ThreadDataSave(int slot) {
  if (!ValidSlot(slot)) return;
  ForEachDescriptor([slot](ThreadDataDescriptor* d) {
    if (!IsRealCopy(d->copies[slot])) d->copies[slot] = NewCopy(d);
    if (!d->copies[slot]) return;
    std::memcpy(d->copies[slot], d->master, d->size);
    if ((d->flags & kThreadDataQueue) && g.hooks.queue_saved) g.hooks.queue_saved(d, d->copies[slot]);
  });
}

void ThreadDataLoad(int slot) {
  if (!ValidSlot(slot)) return;
  ForEachDescriptor([slot](ThreadDataDescriptor* d) {
    if (!d->copies[slot]) {
      RuntimeError(502, "WSLINST");
      return;
    }
    if (d->copies[slot] == kCopyPending) d->copies[slot] = NewCopy(d);
    if (!d->copies[slot]) return;
    std::memcpy(d->master, d->copies[slot], d->size);
    if ((d->flags & kThreadDataQueue) && g.hooks.queue_loaded) g.hooks.queue_loaded(d, d->copies[slot]);
  });
}

void ThreadDataSwitch(int from, int to) {
  if (from == to) return;
  if (from >= 0) ThreadDataSave(from);
  ThreadDataLoad(to);
}

void ThreadDataRelease(int slot) {
  if (!ValidSlot(slot)) return;
  ForEachDescriptor([slot](ThreadDataDescriptor* d) {
    if (IsRealCopy(d->copies[slot])) {
      if ((d->flags & kThreadDataQueue) && g.hooks.queue_released) g.hooks.queue_released(d, d->copies[slot]);
      MemFree(d->copies[slot]);
    }
    d->copies[slot] = nullptr;
  });
}

void ThreadDataReset() {
  for (int slot = 0; slot < kThreadSlots; ++slot) ThreadDataRelease(slot);
  g = ThreadDataState{};
}

}  // namespace vel
