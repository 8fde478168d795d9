// Driving the runtime's dialogs from a second thread the way a person would: find the box by
// its caption once it shows, read a control's text, press a button.
#pragma once
#include <windows.h>

#include <string>

namespace dialogtest {

inline std::string WindowText(HWND w) {
  char buf[512];
  GetWindowTextA(w, buf, sizeof buf);
  return buf;
}

// The visible dialog with this caption; null after 10 s without one.
inline HWND WaitForDialog(const char* caption) {
  for (int i = 0; i < 1000; ++i) {
    HWND w = FindWindowA("#32770", caption);
    if (w && IsWindowVisible(w)) return w;
    Sleep(10);
  }
  return nullptr;
}

inline void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace dialogtest
