// Posting, the pending list, the next-pending-event step, delivery and the ACCEPT loop.
#include "runtime/wsl/events.h"

#include <algorithm>

#include "runtime/core/errors.h"
#include "runtime/wsl/control.h"
#include "runtime/wsl/keyboard.h"
#include "runtime/wsl/runtime_lock.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

constexpr std::uint32_t kKeyMask = 0x7FF;

struct EventsState {
  bool delivery = true;
  int last_body_thread = 0;     // thread number that last ran a loop body
  int last_active_thread = 0;   // thread of the foreground window at the last turn
};
EventsState g;

int ProgramCode(const EventRecord* e) { return e->code - kEventBase; }

void Append(Window* w, EventRecord* e, bool front = false) {
  if (ProgramCode(e) == kEvTimer) w->loop.timer_due = true;
  if (front) w->loop.pending.push_front(e);
  else w->loop.pending.push_back(e);
}

EventRecord* MakeRecord(Window* w, int internal, Control* control) {
  EventRecord* e;
  if (w->loop.current) {
    e = w->loop.current->Clone(internal, control);
  } else {
    e = new EventRecord;
    e->code = internal;
    e->control = control;
    if (ThreadRecord* r = ThreadRecordAt(w->thread - 1)) {
      e->key_state = r->key_state;
      e->flags[0] = r->flags[0];
      e->flags[1] = r->flags[1];
    }
    POINT p{0, 0};
    GetCursorPos(&p);
    e->x = p.x;
    e->y = p.y;
  }
  e->window = w;
  e->thread = w->thread;
  e->selected = w->focus_control;
  return e;
}

// Rule 1: the thread of the foreground window changed since the last turn.
void NoteActiveThread() {
  HWND fg = GetForegroundWindow();
  if (!fg) return;
  const int slot = FindThreadSlot(GetWindowThreadProcessId(fg, nullptr));
  if (slot < 0) return;
  const int now = slot + 1;
  const int before = g.last_active_thread;
  g.last_active_thread = now;
  if (!before || before == now) return;
  if (Window* old_top = ThreadTopWindow(before)) PostWindowEvent(old_top, kEventBase + kEvLoseFocus, nullptr);
  if (Window* new_top = ThreadTopWindow(now)) PostWindowEvent(new_top, kEventBase + kEvGainFocus, nullptr);
}

// Completion after SelectField(0): the next bound control either takes the focus or is
// accepted; with none left the window completes.
void CompleteNextControl(Window* w) {
  std::vector<Control*> order = w->controls;
  std::sort(order.begin(), order.end(), [](Control* a, Control* b) { return a->field() < b->field(); });
  for (Control* c : order) {
    if (c->field() <= w->loop.select_cursor || !c->hwnd() || !c->TakesVariable()) continue;
    w->loop.select_cursor = c->field();
    if (c->CanTakeFocus()) {
      c->Select();
      w->loop.select_pending = false;
      return;
    }
    Append(w, MakeRecord(w, kEventBase + kEvAccepted, c));
    return;
  }
  w->loop.select_pending = false;
  Append(w, MakeRecord(w, kEventBase + kEvCompleted, nullptr));
}

enum class Step { kDeliver, kEmpty };

// Rules 2 to 4 of the next-pending-event step: the next event worth delivering.
Step TakeNext(Window* w, EventRecord** out) {
  for (;;) {
    if (w->loop.pending.empty()) {
      if (!w->loop.select_pending) return Step::kEmpty;
      CompleteNextControl(w);
      continue;
    }
    EventRecord* e = w->loop.pending.front();
    w->loop.pending.pop_front();
    const int code = ProgramCode(e);
    if (code == kEvSelected && e->control != w->focus_control) {  // stale: never seen
      delete e;
      continue;
    }
    if (code == kEvTimer) {
      w->loop.timer_due = false;
      if (w->timer_period <= 0) {
        delete e;
        continue;
      }
    }
    *out = e;
    return Step::kDeliver;
  }
}

void IdleRefresh(Window* w) {
  for (Control* c : w->controls)
    if (c->hwnd() && c->binding().address) c->Refresh();
}

// Delivery steps 4 and 5: thread switch events, then the event becomes current.
void StartBody(Window* w, EventRecord* e) {
  const int code = ProgramCode(e);
  if (code != kEvSuspend && code != kEvResume) {
    const int previous = g.last_body_thread;
    g.last_body_thread = w->thread;
    if (previous && previous != w->thread) {
      Window* other = ThreadTopWindow(previous);
      if (other && other != w && !other->loop.suspended) {
        other->loop.suspended = true;
        PostWindowEvent(other, kEventBase + kEvSuspend, nullptr);
      }
      if (w->loop.suspended) {
        w->loop.suspended = false;
        w->loop.pending.push_front(e);
        e = MakeRecord(w, kEventBase + kEvResume, nullptr);
      }
    }
  }
  e->BeforeDelivery();
  delete w->loop.current;
  w->loop.current = e;
  w->loop.in_body = true;
  w->loop.result = 0;
  if (ThreadRecord* r = ThreadRecordAt(w->thread - 1)) r->dispatch_window = w;
}

// After the body: its result decides (step 5 of the pending step, delivery step 7).
void FinishBody(Window* w) {
  EventRecord* e = w->loop.current;
  w->loop.in_body = false;
  const int result = w->loop.result;
  // The after-delivery step may read the body's result (a list refusing an expansion).
  if (e) e->AfterDelivery();
  w->loop.result = 0;
  if (!e) return;
  switch (ProgramCode(e)) {
    case kEvCloseWindow:
    case kEvCloseDown:
      if (result == 0) w->loop.close_state = 2;
      break;
    case kEvOpenFailed:
      w->loop.open_failed = true;
      break;
    case kEvSelected:
      if (e->control && IsLiveWindow(w)) {
        w->selected_field = e->control->field();
        e->control->Refresh();
      }
      break;
    case kEvBuildFile:
    case kEvBuildKey:
    case kEvBuildDone:
      w->loop.stop_after_step = true;
      break;
    default:
      break;
  }
  IdleRefresh(w);
}

// The key code of a keystroke or mouse action: the virtual key of a key pressed, 1, 2 and 4
// for the left, right and middle button pressed, 5, 6 and 7 for their double clicks; 0x100
// Shift, 0x200 Ctrl and 0x400 Alt held. 0 for every other message (and for a modifier key on
// its own, which triggers nothing).
int KeyCodeOf(const MSG& m) {
  int code = 0;
  switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (m.wParam == VK_SHIFT || m.wParam == VK_CONTROL || m.wParam == VK_MENU) return 0;
      return ::vel::wsl::KeyCodeOf(static_cast<UINT>(m.wParam));
    case WM_LBUTTONDOWN: code = 1; break;
    case WM_RBUTTONDOWN: code = 2; break;
    case WM_MBUTTONDOWN: code = 4; break;
    case WM_LBUTTONDBLCLK: code = 5; break;
    case WM_RBUTTONDBLCLK: code = 6; break;
    case WM_MBUTTONDBLCLK: code = 7; break;
    default: return 0;
  }
  if (GetKeyState(VK_SHIFT) < 0) code |= kKeyShift;
  if (GetKeyState(VK_CONTROL) < 0) code |= kKeyCtrl;
  if (GetKeyState(VK_MENU) < 0) code |= kKeyAlt;
  return code;
}

// Every keystroke and mouse action is the thread's key state from here on, so that the events
// it triggers carry it. Events posted while a window has a current event are clones of it:
// its key state takes the code too, as SetLastKeyCode does.
void NoteKeyCode(Window* w, const MSG& m) {
  const int code = KeyCodeOf(m);
  if (!code) return;
  const std::uint32_t k = static_cast<std::uint32_t>(code) & kKeyMask;
  if (ThreadRecord* r = ThreadRecordAt(w->thread - 1)) r->key_state = (r->key_state & ~kKeyMask) | k;
  Window* target = m.hwnd ? WindowFromHandle(GetAncestor(m.hwnd, GA_ROOT)) : nullptr;
  for (Window* x : {w, target})
    if (x && x->loop.current) x->loop.current->key_state = (x->loop.current->key_state & ~kKeyMask) | k;
}

void DispatchLoopMessage(Window* w, MSG* m) {
  NoteKeyCode(w, *m);
  if (PressKeyedControl(w, *m)) return;
  if (m->message >= WM_KEYFIRST && m->message <= WM_KEYLAST && w->hwnd && IsDialogMessageA(w->hwnd, m)) return;
  TranslateMessage(m);
  DispatchMessageA(m);
}

void EndLoop(Window* w) {
  w->loop.running = false;
  w->loop.in_body = false;
  w->loop.stop_after_step = false;
  if (w->loop.close_state == 2) DestroyPlatformWindow(w);
  w->loop.close_state = 0;
}

Window* Current() { return CurrentWindow(); }

}  // namespace

// --- event records

EventRecord* EventRecord::Clone(int new_code, Control* new_control) const {
  auto* e = new EventRecord(*this);
  e->code = new_code;
  e->control = new_control;
  return e;
}

void EventRecord::BeforeDelivery() {
  if (code == kEventBase + kEvAccepted && control && control->hwnd()) control->Update();
}

// --- posting

void PostWindowEvent(Window* w, int internal, Control* control, bool priority, int key) {
  RuntimeLockGuard lock;
  if (!g.delivery || !IsLiveWindow(w) || !w->hwnd) return;
  EventRecord* e = MakeRecord(w, internal, control);
  if (key >= 0) e->key_state = (e->key_state & ~kKeyMask) | (static_cast<std::uint32_t>(key) & kKeyMask);
  if (!priority && PostMessageA(w->hwnd, kMsgPostedEvent, 0, reinterpret_cast<LPARAM>(e))) return;
  Append(w, e);
  PostMessageA(w->hwnd, WM_NULL, 0, 0);
}

void ReceivePostedEvent(Window* w, LPARAM lp) {
  auto* e = reinterpret_cast<EventRecord*>(lp);
  if (!e) return;
  if (!w || e->window != w || !g.delivery) {
    delete e;
    return;
  }
  Append(w, e);
}

void TimerTick(Window* w) {
  if (w->loop.timer_due || w->loop.in_body) return;
  w->loop.timer_due = true;
  PostWindowEvent(w, kEventBase + kEvTimer, nullptr);
}

void PostEvent(int code, int field, int thread) {
  RuntimeLockGuard lock;
  if (!g.delivery) return;
  if (thread == 0) thread = ThreadNumber();
  Window* w = ThreadTopWindow(thread);
  if (!w || !w->hwnd) return;
  Control* c = field ? w->Field(field, true) : nullptr;
  PostWindowEvent(w, code + kEventBase, c);
}

void SetEventDelivery(bool on) { g.delivery = on; }
bool EventDelivery() { return g.delivery; }

void ReleaseWindowEvents(Window* w) {
  for (EventRecord* e : w->loop.pending) delete e;
  w->loop.pending.clear();
  delete w->loop.current;
  w->loop.current = nullptr;
  if (w->hwnd) {
    MSG m;
    while (PeekMessageA(&m, w->hwnd, kMsgPostedEvent, kMsgPostedEvent, PM_REMOVE))
      delete reinterpret_cast<EventRecord*>(m.lParam);
  }
}

void ResetLoopBookkeeping() {
  g.last_body_thread = 0;
  g.last_active_thread = 0;
}

// --- the loop

bool Accept() {
  RuntimeLockGuard lock;
  Window* w = ThreadTopWindow(ThreadNumber());
  if (!w || !w->IsOpen()) {
    RuntimeError(537, nullptr);
    return false;
  }
  if (!w->loop.running) {
    w->loop.running = true;
    w->loop.close_state = 0;
    w->loop.open_failed = false;
    for (Control* c : w->controls)
      if (c->hwnd()) c->Display();
    if (ThreadRecord* r = ThreadRecordAt(w->thread - 1)) r->dispatch_window = w;
  } else if (w->loop.in_body) {
    FinishBody(w);
  }
  for (;;) {
    if (!IsLiveWindow(w)) return false;
    if (!w->hwnd || !IsWindow(w->hwnd) || w->loop.open_failed) break;  // the handle is gone
    if (w->loop.stop_after_step) {
      w->loop.stop_after_step = false;
    } else {
      NoteActiveThread();
      EventRecord* e = nullptr;
      if (TakeNext(w, &e) == Step::kDeliver) {
        StartBody(w, e);
        return true;
      }
      if (w->loop.close_state == 2) break;  // no child windows to close first
    }
    MSG m;
    if (!PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) IdleRefresh(w);
    BOOL got;
    {
      RuntimeLockReleased released;
      got = GetMessageA(&m, nullptr, 0, 0);
    }
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(m.wParam));  // for the loops outside
      break;
    }
    DispatchLoopMessage(w, &m);
  }
  if (IsLiveWindow(w)) EndLoop(w);
  return false;
}

void AcceptCycle() {
  RuntimeLockGuard lock;
  Window* w = ThreadTopWindow(ThreadNumber());
  if (w && w->loop.in_body) w->loop.result = 1;
}

int EventCode() {
  RuntimeLockGuard lock;
  Window* w = Current();
  return w && w->loop.current ? ProgramCode(w->loop.current) : 0;
}

int EventField() {
  RuntimeLockGuard lock;
  Window* w = Current();
  return w && w->loop.current && w->loop.current->control ? w->loop.current->control->field() : 0;
}

int AcceptedField() { return EventCode() == kEvAccepted ? EventField() : 0; }

int LastKeyCode() {
  RuntimeLockGuard lock;
  Window* w = Current();
  if (w && w->loop.current) return static_cast<int>(w->loop.current->key_state & kKeyMask);
  ThreadRecord* r = ThreadRecordAt(ThreadNumber() - 1);
  return r ? static_cast<int>(r->key_state & kKeyMask) : 0;
}

void SetLastKeyCode(int key) {
  RuntimeLockGuard lock;
  const std::uint32_t k = static_cast<std::uint32_t>(key) & kKeyMask;
  if (ThreadRecord* r = ThreadRecordAt(ThreadNumber() - 1)) r->key_state = (r->key_state & ~kKeyMask) | k;
  Window* w = Current();
  if (w && w->loop.current) w->loop.current->key_state = (w->loop.current->key_state & ~kKeyMask) | k;
}

}  // namespace vel::wsl
