// Keyboard focus around controls that are disabled or hidden (WSLFIELD).
//
// The platform drops the focus when the window that has it is disabled or hidden: nothing has
// the focus afterwards and Tab does nothing until a mouse click. A keyboard user would be
// trapped. So before a control is disabled or hidden, the focus (when it is on that control or
// inside it) moves to the next tab stop of its window, as the platform's dialog manager moves
// it; with no other tab stop it goes to the window itself.
//
// Invariant: these functions touch only platform windows, never runtime state, so they may run
// in a message sent from another thread (the caller may hold the runtime lock or not).
#pragma once
#include <windows.h>

namespace vel::wsl {

// Private message of runtime windows: wParam is a child control losing its usability; the
// window's thread moves the focus off it (lParam 0, before) or, when the platform dropped it,
// to the window (lParam 1, after). Answered before the window takes the runtime lock.
constexpr UINT kMsgMoveFocusOff = WM_APP + 0x44;

// Private message of runtime windows: a window that got the focus without the runtime lock
// gives it to the control it remembers once the lock is free.
constexpr UINT kMsgRestoreFocus = WM_APP + 0x45;

// Before a control (a child of a runtime window) is disabled or hidden: when it holds the
// focus, the focus moves to the next (else the previous) tab stop; true when it held it. After
// it, when it held the focus and no tab stop took it: FocusWindowIfLost gives it to the window.
// Both work from any thread: the thread that owns the control moves the focus.
bool MoveFocusOff(HWND control);
void FocusWindowIfLost(HWND control);

// When the caller's focus is on an entry, its whole text is selected, as Tab leaves it: what
// the user types next replaces the text (a server name typed after Start Internet Session
// replaces "localhost" rather than running into it). Other controls are left as they are.
void SelectTextAsTabDoes(HWND control);

// The control a window gives the focus to when it is activated: `remembered` when it can still
// take it (exists, enabled, visible), else the window's first tab stop; null when none.
HWND FocusTargetOnActivation(HWND window, HWND remembered);

// For runtime window procedures before they take the runtime lock: handles kMsgMoveFocusOff.
bool HandleFocusMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

}  // namespace vel::wsl
