// Tooltips from the descriptors' tips (the Tip property of controls, the Q and P items of list
// columns).
//
// Each runtime window that has a control with a tip gets one platform tooltip window, owned
// by it (so it goes when the window goes) and found through the window property "VelTooltip".
// Each such control is one tool of it, identified by the control's window (TTF_IDISHWND) and
// fed by the tooltip's own subclassing of the control (TTF_SUBCLASS). A fixed tip is stored in
// the tool; a control whose tip depends on the point (a list: its row tips, or the whole text of
// a cell its column cuts short) is a text-callback tool, answered through the window's WM_NOTIFY
// by Control::TipAt.
#pragma once
#include <windows.h>

#include <string>

namespace vel::wsl {

class Control;
class Window;

// Makes the control's tool match its tip: added, changed, or removed when it has none. Callers
// hold the runtime lock and call it on the window's thread once the control's window exists.
void UpdateControlTip(Control* control);

// The window's tooltip, or null when it has none.
HWND TooltipOf(HWND window);

// For the window procedure: the tooltip's request for a callback tool's text. True when handled.
bool HandleTooltipNotify(Window* window, LPARAM lp);

}  // namespace vel::wsl
