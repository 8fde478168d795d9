// The process-wide mouse cursor override (the runtime's "set the mouse cursor").
//
// One cursor handle, null when there is no override. While it is set, every runtime window
// answers WM_SETCURSOR over its client area (and, through the platform's forwarding of that
// message to the parent, over its controls) with it; without it the class cursors apply. The
// handle is always a shared one (stock or LR_SHARED), so replacing it never frees anything.
// The state is one atomic word: setting it needs no lock and reading it in a window procedure
// needs none either, so a window thread shows the right cursor even while another thread holds
// the runtime lock.
#pragma once
#include <windows.h>

#include <string>

namespace vel::wsl {

// Sets the override from the cursor as the runtime names it: a resource reference (FF, kind,
// u16 value; kind 1 a stock cursor, kind 2 the program's own, value - 1 the identifier, value
// 0 none), or an empty name for none. Callable from any thread, holding the runtime lock or
// not; it never waits for a window thread. A change reaches the runtime window under the
// pointer at once: directly on that window's thread, by a posted message from any other.
// False (and the override unchanged) for a name that is not a reference or does not load.
bool SetMouseCursor(const std::string& name);
// The override, or null.
HCURSOR MouseCursorOverride();

// For runtime window procedures, before they take the runtime lock: answers WM_SETCURSOR while
// an override is set and the private re-apply message. True when the message was handled.
bool HandleMouseCursorMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

}  // namespace vel::wsl
