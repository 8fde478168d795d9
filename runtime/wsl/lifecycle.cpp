// Start-up and shutdown of the window layer, runtime threads, the end-of-session answer.
#include "runtime/wsl/lifecycle.h"

#include <commctrl.h>

#include <string>

#include "runtime/core/decimal.h"
#include "runtime/data/binding.h"
#include "runtime/core/runtime_guard.h"
#include "runtime/core/startup.h"
#include "runtime/core/string_stack.h"
#include "runtime/wsl/control.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/locator.h"
#include "runtime/wsl/message_dialog.h"
#include "runtime/wsl/popup_menu.h"
#include "runtime/wsl/properties.h"
#include "runtime/wsl/runtime_lock.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

// The stock exclamation icon as a descriptor resource reference (kind 1, identifier + 1).
const char kExclamationIcon[] = {'\xFF', '\x01', '\x04', '\x7F', '\0'};

bool g_answering = false;

// The owner of a message box or pop-up menu: the calling thread's current window, when that
// window belongs to the calling thread (a box is never owned across threads).
HWND OwnWindowOfCaller() {
  RuntimeLockGuard lock;
  Window* w = CurrentWindow();
  if (!w || !w->hwnd) return nullptr;
  return GetWindowThreadProcessId(w->hwnd, nullptr) == GetCurrentThreadId() ? w->hwnd : nullptr;
}

struct ThreadStart {
  void (*proc)(void*);
  void* arg;
  HANDLE ready;
  int slot;
};

DWORD WINAPI RuntimeThreadMain(LPVOID p) {
  auto* start = static_cast<ThreadStart*>(p);
  void (*proc)(void*) = start->proc;
  void* arg = start->arg;
  const int slot = RegisterCurrentThread();
  start->slot = slot;
  SetEvent(start->ready);  // `start` is the starter's: not touched after this
  if (slot < 0) return 1;
  RuntimeLockEnter();
  proc(arg);
  while (Window* w = ThreadTopWindow(slot + 1)) WindowClose(&w);
  RuntimeLockLeave();
  UnregisterCurrentThread();
  return 0;
}

std::string ProgramFileName() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string name = path;
  const std::size_t slash = name.find_last_of("\\/:");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

void WslCoreInitTerm(int flag) {
  if (flag == 0) {
    ThreadsInitTerm(0);
    // At a hand-over the stacks go with their thread (per-thread data is the lock's own).
    AddThreadSwitchHandler(StringStackSwitch);
    AddThreadReleaseHandler(StringStackReleaseThread);
    AddThreadSwitchHandler(DecimalStackSwitch);
    AddThreadReleaseHandler(DecimalStackReleaseThread);
    AddThreadSwitchHandler(BindingSwitch);
    AddThreadReleaseHandler(BindingRelease);
    SetRuntimeGuardHooks({RuntimeLockEnter, RuntimeLockLeave});
    RuntimeLockEnter();  // the main thread runs runtime code from here on
    SetEventDelivery(true);
    ResetLoopBookkeeping();
  } else {
    SetRuntimeGuardHooks({nullptr, nullptr});
    RuntimeLockSuspend();
    ThreadsInitTerm(1);
  }
}

void WslGlobalsInitTerm(int flag) {
  if (flag == 0) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    SetDialogOwnerResolver(OwnWindowOfCaller);
    SetPopupParentResolver(OwnWindowOfCaller);
    SetLifecycleHooks({ShutdownWindows, CleanupWindowSystem, nullptr});
  } else {
    SetDialogOwnerResolver(nullptr);
    SetPopupParentResolver(nullptr);
    SetLifecycleHooks({nullptr, nullptr, nullptr});
  }
}

void ShutdownWindows() {
  {
    RuntimeLockGuard lock;
    const int self = ThreadNumber();
    for (Window* w : LiveWindows()) {
      if (!w->hwnd) continue;
      // Windows of this thread go at once; another thread's window is asked to close, which
      // ends its loop and lets the thread finish.
      if (w->thread == self || self == 0) DestroyPlatformWindow(w);
      else PostMessageA(w->hwnd, WM_CLOSE, 0, 0);
    }
  }
  WaitForOtherThreads();
  SetEventDelivery(false);
}

void CleanupWindowSystem() {
  RuntimeLockGuard lock;
  SetEventDelivery(false);
  for (Window* w : LiveWindows()) WindowClose(&w);
  UnregisterControlClasses();
  ReleaseDescriptor();
  ResetPropertyObjects();
}

bool StartThread(void (*proc)(void* arg), void* arg) {
  ThreadStart start{proc, arg, CreateEventA(nullptr, TRUE, FALSE, nullptr), -1};
  if (!start.ready) return false;
  HANDLE h = CreateThread(nullptr, 0, RuntimeThreadMain, &start, 0, nullptr);
  if (h) {
    // The new thread takes the lock to register itself. Meanwhile messages sent to this
    // thread's windows are answered: the lock's holder may be waiting on one of them.
    RuntimeLockReleased released;
    WaitAnsweringSentMessages(1, &start.ready, INFINITE);
    CloseHandle(h);
  }
  CloseHandle(start.ready);
  return h && start.slot >= 0;
}

const char* EndSessionText() { return "Application still active.\n\nQuit the application before quitting Windows."; }

bool AnswerEndSessionQuery(HWND asked) {
  if (g_answering) return false;
  g_answering = true;
  HWND main = nullptr;
  {
    WndProcLock lock;
    if (lock.ok) {
      Window* top = ThreadTopWindow(1);
      main = top && top->hwnd ? top->hwnd : nullptr;
    }
  }
  if (!main) main = asked;
  if (main) {
    ShowWindow(main, IsIconic(main) ? SW_RESTORE : SW_SHOW);
    BringWindowToTop(main);
    SetForegroundWindow(main);
  }
  MessageDialog(EndSessionText(), ProgramFileName(), kExclamationIcon, "1", 1, true);
  g_answering = false;
  return false;
}

}  // namespace vel::wsl
