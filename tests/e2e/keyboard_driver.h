// The keyboard as a user's: real keystrokes (SendInput) to the foreground window of the client,
// and the focus read back from outside (GetGUIThreadInfo). A keyboard-only test sends no mouse
// message at all; it only reads the windows besides typing.
#pragma once
#include <windows.h>

#include <string>

namespace kbd {

// One key with up to two modifiers held (VK_SHIFT, VK_CONTROL, VK_MENU).
void Press(WORD vk, WORD modifier = 0, WORD modifier2 = 0);
// The same key `times` times in one burst (faster than the program can finish what it starts).
void PressBurst(WORD vk, int times);
// Characters as typed text (each arrives as WM_CHAR).
void Type(const std::string& text);

// The focus of the thread that owns `window` (null when nothing there has it).
HWND FocusOf(HWND window);
// The field number of a control (child identifier - 0x4000), -1 for another window.
int FieldOf(HWND control);
// True when the focus of `top`'s thread is `top` itself or one of its controls, visible and
// enabled: the keyboard still reaches the program.
bool FocusUsable(HWND top);
// Waits until the focus of `top`'s thread is on field `field` of `top`.
bool WaitFocus(HWND top, int field, DWORD ms = 10000);
// Waits until `window` is the foreground window (keys reach it). A window that does not come
// forward by itself is a fault: the user could not type into it without the mouse.
bool WaitForeground(HWND window, DWORD ms = 10000);
// Tab (or Shift+Tab) until field `field` of `top` has the focus; false after `limit` presses.
bool TabTo(HWND top, int field, bool backwards = false, int limit = 40);

// The window class of a window ("#32768" is a menu, "#32770" a dialog box).
std::string ClassOf(HWND window);

}  // namespace kbd
