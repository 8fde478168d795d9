// Moving the focus off a control before it becomes unusable.
#include "runtime/wsl/focus.h"

namespace vel::wsl {
namespace {

// The focus of the thread that owns `hwnd` (GetFocus answers only for the calling thread).
HWND FocusOfThreadOf(HWND hwnd) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info) ? info.hwndFocus : nullptr;
}

bool Usable(HWND h) { return h && IsWindow(h) && IsWindowEnabled(h) && IsWindowVisible(h); }

bool Holds(HWND control, HWND focus) { return focus && (focus == control || IsChild(control, focus)); }

void FocusAsTabDoes(HWND control) {
  SetFocus(control);
  SelectTextAsTabDoes(control);
}

// On the owning thread, before: the next tab stop after the control, else the previous one.
// GetNextDlgTabItem skips disabled and hidden controls and wraps around; it answers the
// control itself when that is the only tab stop. After: a focus the platform dropped goes to
// the window (not earlier: the window would hand it back to the control it remembers).
void MoveFocusHere(HWND control, bool after) {
  HWND parent = GetParent(control);
  if (!parent) return;
  if (after) {
    if (!GetFocus() && IsWindowVisible(parent)) SetFocus(parent);
    return;
  }
  if (!Holds(control, GetFocus())) return;
  HWND next = GetNextDlgTabItem(parent, control, FALSE);
  if (!Usable(next) || next == control) next = GetNextDlgTabItem(parent, control, TRUE);
  if (Usable(next) && next != control) FocusAsTabDoes(next);
}

void MoveFocus(HWND control, bool after) {
  if (GetWindowThreadProcessId(control, nullptr) == GetCurrentThreadId()) {
    MoveFocusHere(control, after);
    return;
  }
  // Another thread's control: its thread moves the focus (SetFocus works only there). The
  // message is answered without the runtime lock, so sending it while holding the lock is safe.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(GetParent(control), kMsgMoveFocusOff, reinterpret_cast<WPARAM>(control), after ? 1 : 0,
                      SMTO_NORMAL, 5000, &ignored);
}

}  // namespace

void SelectTextAsTabDoes(HWND control) {
  if (GetFocus() == control && (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL))
    SendMessageA(control, EM_SETSEL, 0, -1);
}

bool MoveFocusOff(HWND control) {
  if (!control || !IsWindow(control) || !Holds(control, FocusOfThreadOf(control))) return false;
  MoveFocus(control, false);
  return true;
}

void FocusWindowIfLost(HWND control) {
  if (control && IsWindow(control)) MoveFocus(control, true);
}

HWND FocusTargetOnActivation(HWND window, HWND remembered) {
  if (Usable(remembered) && IsChild(window, remembered)) return remembered;
  HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
  return Usable(first) ? first : nullptr;
}

bool HandleFocusMessage(HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg != kMsgMoveFocusOff) return false;
  MoveFocusHere(reinterpret_cast<HWND>(wp), lp != 0);
  *result = 0;
  return true;
}

}  // namespace vel::wsl
