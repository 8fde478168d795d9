// Keys the window layer answers itself: key codes, buttons entered with a key code (the
// runtime's keyed controls), and Escape in a window opened over another one.
//
// Key code: the low 11 bits the runtime keeps for the key of a keystroke, the platform's
// virtual-key code in the low byte plus 0x100 when Shift, 0x200 when Ctrl and 0x400 when Alt
// was held (Home is 36, Ctrl+S 0x253, Alt+F4 0x473). Mouse actions use the small codes below
// 8 (1 left button, 2 right button, 5 left double click), which no keystroke produces.
#pragma once
#include <windows.h>

#include <string>

namespace vel::wsl {

class Window;

constexpr int kKeyShift = 0x100, kKeyCtrl = 0x200, kKeyAlt = 0x400;

// The key code of virtual key `vk` with the modifiers held now (the keyboard state of the
// message being handled).
int KeyCodeOf(UINT vk);
// "Ctrl+S", "Alt+F4", "Enter": a key code as a user reads it; empty for 0.
std::string KeyCodeText(int key_code);

// The ACCEPT loop's keyboard translation, before the dialog navigation: a key-down whose key
// code belongs to an enabled, visible button of `window` presses that button. True when the
// message was used up.
bool PressKeyedControl(Window* window, const MSG& m);

// Escape in a window (the dialog navigation's IDCANCEL): a window opened over another one (a
// dialog) is asked to close with EVENT:CloseWindow, as its close box does; a main window
// ignores it. True when the window was asked.
bool CancelByEscape(Window* window);

}  // namespace vel::wsl
