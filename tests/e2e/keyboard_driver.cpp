// Keystrokes and focus for keyboard-only tests (see keyboard_driver.h).
#include "e2e/keyboard_driver.h"

#include <vector>

#include "e2e/ui_driver.h"

namespace kbd {
namespace {

INPUT KeyInput(WORD vk, bool up) {
  INPUT i{};
  i.type = INPUT_KEYBOARD;
  i.ki.wVk = vk;
  i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return i;
}

}  // namespace

void Press(WORD vk, WORD modifier, WORD modifier2) {
  std::vector<INPUT> in;
  for (WORD m : {modifier, modifier2})
    if (m) in.push_back(KeyInput(m, false));
  in.push_back(KeyInput(vk, false));
  in.push_back(KeyInput(vk, true));
  for (WORD m : {modifier2, modifier})
    if (m) in.push_back(KeyInput(m, true));
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
  Sleep(40);  // a user's pace: the program handles one key before the next
}

void PressBurst(WORD vk, int times) {
  std::vector<INPUT> in;
  for (int i = 0; i < times; ++i) {
    in.push_back(KeyInput(vk, false));
    in.push_back(KeyInput(vk, true));
  }
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
  Sleep(40);
}

void Type(const std::string& text) {
  for (char ch : text) {
    INPUT in[2]{};
    for (int k = 0; k < 2; ++k) {
      in[k].type = INPUT_KEYBOARD;
      in[k].ki.wScan = static_cast<unsigned char>(ch);
      in[k].ki.dwFlags = KEYEVENTF_UNICODE | (k ? KEYEVENTF_KEYUP : 0);
    }
    SendInput(2, in, sizeof(INPUT));
    Sleep(10);
  }
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

int FieldOf(HWND control) { return control ? GetDlgCtrlID(control) - 0x4000 : -1; }

bool FocusUsable(HWND top) {
  HWND f = FocusOf(top);
  return f && (f == top || IsChild(top, f)) && IsWindowVisible(f) && IsWindowEnabled(f);
}

bool WaitFocus(HWND top, int field, DWORD ms) {
  return uidriver::WaitUntil([&] {
    HWND f = FocusOf(top);
    return f && GetParent(f) == top && FieldOf(f) == field;
  }, ms);
}

bool WaitForeground(HWND window, DWORD ms) {
  return uidriver::WaitUntil([&] { return GetForegroundWindow() == window; }, ms);
}

bool TabTo(HWND top, int field, bool backwards, int limit) {
  for (int i = 0; i <= limit; ++i) {
    if (WaitFocus(top, field, i == 0 ? 50 : 1000)) return true;
    // A trap (Tab would do nothing) lasts; a focus on its way back (a box just closed, the
    // window refilling a list) is given a moment.
    if (!FocusUsable(top) && !uidriver::WaitUntil([&] { return FocusUsable(top); }, 2000)) return false;
    Press(VK_TAB, backwards ? VK_SHIFT : 0);
  }
  return false;
}

std::string ClassOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

}  // namespace kbd
