// Per-thread data: blocks declared per thread have one master copy (always holding the
// running thread's values) and a saved copy per thread slot. The thread layer calls
// ThreadDataSwitch when another application thread takes the runtime lock.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vel {

constexpr int kThreadSlots = 64;  // slot 0 = main thread; thread number = slot + 1

enum ThreadDataFlags : std::uint32_t {
  kThreadDataZeroFill = 1,      // new copies are zero-filled (when no initial image)
  kThreadDataTypedInit = 2,     // initial value assigned through the typed assignment
  kThreadDataQueue = 4,         // a queue declaration: its engine is told of every save/load
};

struct ThreadDataDescriptor {
  void* master;                 // the running thread's values
  std::uint32_t size;
  const void* initial;          // initial-value image, or null
  std::uint32_t flags;
  void* copies[kThreadSlots];   // 0 = none, kCopyPending = create on first use
};
inline void* const kCopyPending = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));

// Hooks for flags kThreadDataTypedInit and kThreadDataQueue (set by the data layer). A queue
// declaration's copy of an ended thread is handed to queue_released before it is freed, so the
// queue's records go with it.
struct ThreadDataHooks {
  void (*typed_assign)(ThreadDataDescriptor* d, void* copy);
  void (*queue_saved)(ThreadDataDescriptor* d, void* copy);
  void (*queue_loaded)(ThreadDataDescriptor* d, void* copy);
  void (*queue_released)(ThreadDataDescriptor* d, void* copy);
};
void SetThreadDataHooks(const ThreadDataHooks& hooks);
ThreadDataHooks GetThreadDataHooks();

// Adds a module's descriptor range; the main thread (slot 0) gets its copies marked pending.
void ThreadDataRegister(ThreadDataDescriptor* start, ThreadDataDescriptor* end);
// Creates the copies of `slot` (runtime error 503 "WSLINST" when one exists already).
void ThreadDataCreate(int slot);
// Master -> copy of `slot` (creating a pending copy first).
void ThreadDataSave(int slot);
// Copy of `slot` -> master (runtime error 502 "WSLINST" when it was never created).
void ThreadDataLoad(int slot);
// Save the outgoing slot, load the incoming one. -1 as `from` saves nothing.
void ThreadDataSwitch(int from, int to);
// Frees the copies of a slot whose thread has ended. The copies must be current: a thread that
// ends while its values are loaded is saved first.
void ThreadDataRelease(int slot);
// Forgets every registration and frees every copy (termination and tests).
void ThreadDataReset();

}  // namespace vel
