// Accessible objects (the platform's accessibility interface, IAccessible through oleacc) for
// the runtime's windows and controls, so that screen readers and automation tools in other
// processes can read and drive them.
//
// A window or control answers WM_GETOBJECT for its client area (OBJID_CLIENT) with an object
// made by LresultFromObject. The object holds only the platform window: every call finds the
// control again under the runtime lock (a window that is gone answers RPC_E_DISCONNECTED), so a
// tool that keeps an object longer than the control lives never reaches freed memory. What the
// object reports comes from the control's class (Control::Describe and the child operations).
//
// Tree: the window's client object has one child per control (its object, in field order) and
// one simple child for the status bar; a list's object has one simple child per visible row.
//
// Apartment: the first WM_GETOBJECT on a thread enters the single-threaded apartment there, so
// calls from other processes arrive as messages the thread's loops dispatch (the ACCEPT loop,
// a message box, a pop-up menu): the object's methods run on the window's own thread.
#pragma once
#include <windows.h>

#include <string>

namespace vel::wsl {

// What a control or one of its children tells assistive tools (oleacc ROLE_ and STATE_ values).
struct AccessibleFacts {
  long role = 0;
  long state = 0;
  std::string name, value, description, action, shortcut;
};

// For window procedures, before they take the runtime lock (the request arrives sent from
// another process while the loop may be waiting without the lock): the object for OBJID_CLIENT,
// or 0 to let the default handling answer. `window_level`: a runtime window, not a control.
LRESULT AnswerGetObject(HWND hwnd, WPARAM wp, LPARAM lp, bool window_level);

// Raises a platform accessibility event about the client object of `hwnd` (child 0 = itself).
void NotifyAccessible(DWORD event, HWND hwnd, long child = 0);

// A caption as assistive tools read it: "&" mnemonics removed ("&&" is an "&"), blanks and a
// final ":" trimmed.
std::string AccessibleText(const std::string& caption);
// The mnemonic of a caption as a keyboard shortcut ("Alt+N" for "&Name:"), empty without one.
std::string MnemonicShortcut(const std::string& caption);

}  // namespace vel::wsl
