// The main window's keys (see keys.h).
#include "app/keys.h"

#include "app/globals.h"
#include "runtime/wsl/control.h"
#include "runtime/wsl/events.h"

namespace ftpcl {

namespace {

HHOOK g_hook = nullptr;
HWND g_main = nullptr;

bool InMainWindow(HWND hwnd) { return hwnd && g_main && (hwnd == g_main || IsChild(g_main, hwnd)); }

// Enter in the server name, user name or password entry: the login is typed, connect with it
// (as Connect would, and only while Connect can be pressed).
bool InLoginEntry(HWND hwnd) {
  if (GetParent(hwnd) != g_main) return false;
  const int field = GetDlgCtrlID(hwnd) - vel::wsl::kChildIdBase;
  return (field == kServerName || field == kUserName || field == kPassword) &&
         IsWindowEnabled(GetDlgItem(g_main, kConnectButton + vel::wsl::kChildIdBase));
}

// The control asks for every key itself (an open drop-down list closes on Escape).
bool ControlWantsKey(const MSG& m) {
  return (SendMessageA(m.hwnd, WM_GETDLGCODE, m.wParam, reinterpret_cast<LPARAM>(&m)) & DLGC_WANTALLKEYS) != 0;
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM removed, LPARAM lp) {
  const MSG* m = reinterpret_cast<const MSG*>(lp);
  if (code == HC_ACTION && removed == PM_REMOVE && m->message == WM_KEYDOWN && InMainWindow(m->hwnd) &&
      !(m->lParam & 0x40000000)) {  // not an auto-repeat
    if (m->wParam == VK_ESCAPE && !ControlWantsKey(*m)) vel::wsl::PostEvent(kCancelEvent, 0, g.mainthread);
    if (m->wParam == VK_F5) vel::wsl::PostEvent(kRefreshViewEvent, 0, g.mainthread);
    if (m->wParam == VK_RETURN && InLoginEntry(m->hwnd)) vel::wsl::PostEvent(kConnectEvent, 0, g.mainthread);
  }
  return CallNextHookEx(g_hook, code, removed, lp);
}

}  // namespace

void InstallMainWindowKeys(HWND main) {
  g_main = main;
  if (!g_hook) g_hook = SetWindowsHookExA(WH_GETMESSAGE, GetMessageHook, nullptr, GetCurrentThreadId());
}

void RemoveMainWindowKeys() {
  if (g_hook) UnhookWindowsHookEx(g_hook);
  g_hook = nullptr;
  g_main = nullptr;
}

}  // namespace ftpcl
