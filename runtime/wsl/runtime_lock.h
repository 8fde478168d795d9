// Application threads and the runtime lock.
//
// Runtime threads get numbers 1..64 and a thread record (slot = number - 1, slot 0 the main
// thread). Exactly one thread runs runtime code at a time: the holder of the runtime lock, a
// semaphore of one unit with an owner and a recursion count. A thread waiting for the lock
// keeps servicing messages sent to it, so a SendMessage from the holder to a window of a
// waiting thread cannot deadlock. When the lock passes to another runtime thread, the outgoing
// thread's per-thread runtime state (string stack, decimal stack, binding state, per-thread
// data) is saved into its record and the incoming thread's is loaded, through the switch
// handlers the modules register. A thread that takes the lock also gets the platform's
// default floating-point control word (53-bit precision), so that conversions between decimals
// and doubles give the same results on every thread. A thread the runtime did not start (the FTP library's
// callback thread) has no record: it takes the lock without a switch and must leave the
// stacks as it found them.
#pragma once
#include <windows.h>

#include <cstdint>

namespace vel::wsl {

constexpr int kMaxThreads = 64;

struct ThreadRecord {
  DWORD thread_id;        // 0 = slot free
  HANDLE handle;          // duplicated handle, for the shutdown wait
  void* top_window;       // the window whose loop runs on this thread
  void* dispatch_window;  // window currently being dispatched
  std::uint32_t key_state;
  std::uint8_t flags[2];
  bool suspended;
};

// The priority-150 routine: creates the semaphore and gives the main thread slot 0.
void ThreadsInitTerm(int flag);

// Gives the calling thread the next free slot; returns it, or -1 when all 64 are taken.
int RegisterCurrentThread();
// Frees the calling thread's slot (its saved state is dropped through the handlers).
void UnregisterCurrentThread();
ThreadRecord* ThreadRecordAt(int slot);
// Linear search by platform thread id; -1 when the thread has no record.
int FindThreadSlot(DWORD thread_id);
// The calling thread's number 1..64 (0 when it is not a runtime thread).
int ThreadNumber();
// Slot of the thread whose state is currently loaded (-1 before the first switch).
int ActiveSlot();

// Switch handlers: save the state of slot `from` (when >= 0), load that of slot `to`.
using SwitchHandler = void (*)(int from, int to);
void AddThreadSwitchHandler(SwitchHandler handler);
// Called when a slot's thread ended: drop its saved state.
using ReleaseHandler = void (*)(int slot);
void AddThreadReleaseHandler(ReleaseHandler handler);

// Takes the runtime lock (re-entrant), servicing sent messages while it waits.
void RuntimeLockEnter();
void RuntimeLockLeave();
bool RuntimeLockHeld();  // by the calling thread
// Gives the lock up completely around a blocking wait and takes it back with the same depth.
int RuntimeLockSuspend();           // returns the depth it held (0 when it did not hold it)
void RuntimeLockResume(int depth);

// Scoped forms.
struct RuntimeLockGuard {
  RuntimeLockGuard() { RuntimeLockEnter(); }
  ~RuntimeLockGuard() { RuntimeLockLeave(); }
  RuntimeLockGuard(const RuntimeLockGuard&) = delete;
  RuntimeLockGuard& operator=(const RuntimeLockGuard&) = delete;
};
struct RuntimeLockReleased {
  RuntimeLockReleased() : depth(RuntimeLockSuspend()) {}
  ~RuntimeLockReleased() { RuntimeLockResume(depth); }
  RuntimeLockReleased(const RuntimeLockReleased&) = delete;
  RuntimeLockReleased& operator=(const RuntimeLockReleased&) = delete;
  int depth;
};

// The lock discipline of window procedures. A message dispatched from this thread's own queue
// takes the lock (when the thread does not hold it already); a message sent from another
// thread is never allowed to wait for the lock, because the sender may be its holder, blocked
// in SendMessage until we answer: such a handler must not touch runtime state (`ok` is false)
// and defers what it has to do by posting a message to itself.
struct WndProcLock {
  WndProcLock() {
    if (RuntimeLockHeld()) ok = true;
    else if (InSendMessage()) ok = false;
    else ok = took = (RuntimeLockEnter(), true);
  }
  ~WndProcLock() { if (took) RuntimeLockLeave(); }
  WndProcLock(const WndProcLock&) = delete;
  WndProcLock& operator=(const WndProcLock&) = delete;
  bool ok = false;
  bool took = false;
};

// Waits for one of `handles` (none: only the time-out) while answering messages other threads
// send to this thread. Sent messages that were already waiting count as well as new ones: a
// thread that took the lock and then sent to one of our windows while we sat in a plain wait
// (a library call, a join) must be answered, or neither of us moves again. Returns
// WAIT_OBJECT_0 + i, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitAnsweringSentMessages(DWORD count, const HANDLE* handles, DWORD timeout_ms);

// Waits until every other runtime thread (slots 1..63) has ended, with the lock released.
void WaitForOtherThreads();

}  // namespace vel::wsl
