// Key codes, keyed controls and Escape.
#include "runtime/wsl/keyboard.h"

#include "runtime/wsl/control.h"
#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

bool Held(int vk) { return (GetKeyState(vk) & 0x8000) != 0; }

std::string KeyName(int vk) {
  switch (vk) {
    case VK_RETURN: return "Enter";
    case VK_ESCAPE: return "Esc";
    case VK_SPACE: return "Space";
    case VK_TAB: return "Tab";
    case VK_BACK: return "Backspace";
    case VK_DELETE: return "Del";
    case VK_INSERT: return "Ins";
    case VK_HOME: return "Home";
    case VK_END: return "End";
    case VK_PRIOR: return "PgUp";
    case VK_NEXT: return "PgDn";
    case VK_LEFT: return "Left";
    case VK_RIGHT: return "Right";
    case VK_UP: return "Up";
    case VK_DOWN: return "Down";
    default: break;
  }
  if (vk >= VK_F1 && vk <= VK_F24) return "F" + std::to_string(vk - VK_F1 + 1);
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return std::string(1, static_cast<char>(vk));
  return "#" + std::to_string(vk);
}

}  // namespace

int KeyCodeOf(UINT vk) {
  int code = static_cast<int>(vk & 0xFF);
  if (Held(VK_SHIFT)) code |= kKeyShift;
  if (Held(VK_CONTROL)) code |= kKeyCtrl;
  if (Held(VK_MENU)) code |= kKeyAlt;
  return code;
}

std::string KeyCodeText(int key_code) {
  const int vk = key_code & 0xFF;
  if (!vk) return {};
  std::string text;
  if (key_code & kKeyCtrl) text += "Ctrl+";
  if (key_code & kKeyAlt) text += "Alt+";
  if (key_code & kKeyShift) text += "Shift+";
  return text + KeyName(vk);
}

bool PressKeyedControl(Window* w, const MSG& m) {
  if (!w || (m.message != WM_KEYDOWN && m.message != WM_SYSKEYDOWN)) return false;
  // Only keys typed in this window: a key of another top-level window (a message box) is not ours.
  if (m.hwnd != w->hwnd && !IsChild(w->hwnd, m.hwnd)) return false;
  const int code = KeyCodeOf(static_cast<UINT>(m.wParam));
  for (Control* c : w->controls) {
    if (!c->KeyCode() || c->KeyCode() != code || !c->hwnd()) continue;
    if (!IsWindowEnabled(c->hwnd()) || !IsWindowVisible(c->hwnd())) continue;
    c->PressByKey(code);
    return true;
  }
  return false;
}

bool CancelByEscape(Window* w) {
  if (!w || !w->disabled_owner) return false;
  PostWindowEvent(w, kEventBase + kEvCloseWindow, nullptr);
  return true;
}

}  // namespace vel::wsl
