// Thread records and the runtime lock.
#include "runtime/wsl/runtime_lock.h"

#include "runtime/core/sys.h"
#include "runtime/core/thread_data.h"

namespace vel::wsl {
namespace {

constexpr int kMaxHandlers = 8;

struct ThreadsState {
  HANDLE semaphore;
  volatile LONG owner;     // thread id holding the lock, 0 when free
  int depth;               // recursion count of the holder
  int active_slot;         // whose per-thread state is loaded; -1 before the first switch
  ThreadRecord records[kMaxThreads];
  SwitchHandler switch_handlers[kMaxHandlers];
  int switch_count;
  ReleaseHandler release_handlers[kMaxHandlers];
  int release_count;
};

ThreadsState g = {nullptr, 0, 0, -1, {}, {}, 0, {}, 0};

void PerThreadDataSwitch(int from, int to) { vel::ThreadDataSwitch(from, to); }
void PerThreadDataRelease(int slot) { vel::ThreadDataRelease(slot); }

// Loads the calling runtime thread's state if another thread's is loaded.
void SwitchToCaller() {
  const int slot = FindThreadSlot(GetCurrentThreadId());
  if (slot < 0 || slot == g.active_slot) return;
  const int from = g.active_slot;
  for (int i = 0; i < g.switch_count; ++i) g.switch_handlers[i](from, slot);
  g.active_slot = slot;
}

}  // namespace

DWORD WaitAnsweringSentMessages(DWORD count, const HANDLE* handles, DWORD timeout_ms) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    // A plain PeekMessage delivers every message sent to this thread so far. MsgWait alone
    // wakes only for messages that arrived since the queue was last looked at; without
    // MWMO_INPUTAVAILABLE a sender queued before that stays blocked for good.
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    DWORD wait = INFINITE;
    if (timeout_ms != INFINITE) {
      const ULONGLONG now = GetTickCount64();
      wait = now >= end ? 0 : static_cast<DWORD>(end - now);
    }
    const DWORD r = MsgWaitForMultipleObjectsEx(count, handles, wait, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    if (r == WAIT_OBJECT_0 + count) continue;  // a sent message: delivered at the top
    return r;
  }
}

namespace {

void WaitForSemaphore() { WaitAnsweringSentMessages(1, &g.semaphore, INFINITE); }

}  // namespace

void ThreadsInitTerm(int flag) {
  if (flag == 0) {
    if (!g.semaphore) g.semaphore = CreateSemaphoreA(nullptr, 1, 1, nullptr);
    AddThreadSwitchHandler(PerThreadDataSwitch);
    AddThreadReleaseHandler(PerThreadDataRelease);
    if (FindThreadSlot(GetCurrentThreadId()) < 0) {
      ThreadRecord& main = g.records[0];
      main = ThreadRecord{};
      main.thread_id = GetCurrentThreadId();
    }
  } else {
    for (ThreadRecord& r : g.records) {
      if (r.handle) CloseHandle(r.handle);
      r = ThreadRecord{};
    }
    if (g.semaphore) CloseHandle(g.semaphore);
    g = ThreadsState{nullptr, 0, 0, -1, {}, {}, 0, {}, 0};
  }
}

int RegisterCurrentThread() {
  RuntimeLockGuard lock;
  const DWORD self = GetCurrentThreadId();
  int slot = FindThreadSlot(self);
  if (slot >= 0) return slot;
  for (int i = 1; i < kMaxThreads; ++i) {
    if (g.records[i].thread_id) continue;
    ThreadRecord& r = g.records[i];
    r = ThreadRecord{};
    r.thread_id = self;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &r.handle,
                    SYNCHRONIZE, FALSE, 0);
    vel::ThreadDataCreate(i);
    return i;
  }
  return -1;
}

void UnregisterCurrentThread() {
  RuntimeLockGuard lock;
  const int slot = FindThreadSlot(GetCurrentThreadId());
  if (slot <= 0) return;
  // The ending thread's latest values are in the master copies: save them, so that what the
  // release frees (a per-thread queue's records) is what the thread last had.
  if (g.active_slot == slot) {
    vel::ThreadDataSave(slot);
    g.active_slot = -1;
  }
  for (int i = 0; i < g.release_count; ++i) g.release_handlers[i](slot);
  // From here on the thread runs no runtime code: the shutdown need not wait for it.
  if (g.records[slot].handle) CloseHandle(g.records[slot].handle);
  g.records[slot] = ThreadRecord{};
}

ThreadRecord* ThreadRecordAt(int slot) {
  return slot >= 0 && slot < kMaxThreads ? &g.records[slot] : nullptr;
}

int FindThreadSlot(DWORD thread_id) {
  for (int i = 0; i < kMaxThreads; ++i)
    if (g.records[i].thread_id == thread_id) return i;
  return -1;
}

int ThreadNumber() { return FindThreadSlot(GetCurrentThreadId()) + 1; }
int ActiveSlot() { return g.active_slot; }

void AddThreadSwitchHandler(SwitchHandler handler) {
  for (int i = 0; i < g.switch_count; ++i)
    if (g.switch_handlers[i] == handler) return;
  if (g.switch_count < kMaxHandlers) g.switch_handlers[g.switch_count++] = handler;
}

void AddThreadReleaseHandler(ReleaseHandler handler) {
  for (int i = 0; i < g.release_count; ++i)
    if (g.release_handlers[i] == handler) return;
  if (g.release_count < kMaxHandlers) g.release_handlers[g.release_count++] = handler;
}

void RuntimeLockEnter() {
  const LONG self = static_cast<LONG>(GetCurrentThreadId());
  if (g.owner == self) {
    ++g.depth;
    return;
  }
  WaitForSemaphore();
  InterlockedExchange(&g.owner, self);
  g.depth = 1;
  // Decimal and picture conversions give the same doubles on every thread only at the
  // platform's default precision; library threads (the FTP library's) start at 64 bits.
  sys::UseDefaultFpuControl();
  SwitchToCaller();
}

void RuntimeLockLeave() {
  if (g.owner != static_cast<LONG>(GetCurrentThreadId()) || g.depth <= 0) return;
  if (--g.depth == 0) {
    InterlockedExchange(&g.owner, 0);
    ReleaseSemaphore(g.semaphore, 1, nullptr);
  }
}

bool RuntimeLockHeld() { return g.owner == static_cast<LONG>(GetCurrentThreadId()); }

int RuntimeLockSuspend() {
  if (!RuntimeLockHeld()) return 0;
  const int depth = g.depth;
  g.depth = 1;
  RuntimeLockLeave();
  return depth;
}

void RuntimeLockResume(int depth) {
  if (depth <= 0) return;
  // Callers read the error of the call they made without the lock after this returns.
  const DWORD error = GetLastError();
  RuntimeLockEnter();
  g.depth = depth;
  SetLastError(error);
}

void WaitForOtherThreads() {
  RuntimeLockReleased released;
  for (;;) {
    HANDLE pending[kMaxThreads];
    int count = 0;
    for (int i = 1; i < kMaxThreads; ++i)
      if (g.records[i].handle) pending[count++] = g.records[i].handle;
    if (count == 0) return;
    // Re-scan each time one ends: the table may change while we wait.
    const DWORD r = WaitAnsweringSentMessages(static_cast<DWORD>(count), pending, INFINITE);
    if (r >= WAIT_OBJECT_0 + static_cast<DWORD>(count)) continue;
    HANDLE ended = pending[r - WAIT_OBJECT_0];
    for (int i = 1; i < kMaxThreads; ++i) {
      if (g.records[i].handle != ended) continue;
      CloseHandle(ended);
      g.records[i].handle = nullptr;
      g.records[i].thread_id = 0;
    }
  }
}

}  // namespace vel::wsl
