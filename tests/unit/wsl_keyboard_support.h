// Shared by the keyboard and accessibility tests: the test window "Keys" (tests/unit/windows/
// keys.win) opened with its variables, real keystrokes through SendInput, and a loop runner
// that returns once the input and everything it caused has been delivered.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "runtime/data/queue.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/tooltips.h"
#include "runtime/wsl/window.h"
#include "wsl_window_support.h"

namespace keytest {

using namespace vel::wsl;

constexpr const char* kKeysModule = "KeyTest$keytest";

// Field numbers of KEYS$WINDOW.
enum : int {
  kNamePrompt = 1, kName = 2, kFlag = 3, kMode = 4, kRadio1 = 5, kRadio2 = 6, kRadio3 = 7, kRefresh = 8,
  kSave = 9, kBack = 10, kOff = 11, kItems = 12, kPercent = 13, kShown = 14, kDrives = 15, kCloseButton = 16,
};

// The list's queue: an item and its row tip (format "80L(1)P~Item~@s20@").
struct ItemRecord {
  char name[20];
  char tip[30];
};
inline const vel::FieldDesc kItemFields[] = {
    {"I:NAME", nullptr, vel::kTypeCString, 0, 20, 0, 1, 0},
    {"I:TIP", nullptr, vel::kTypeCString, 0, 30, 20, 1, 0},
};
inline const vel::RecordLayout kItemLayout{2, kItemFields};

#pragma pack(push, 1)
struct DriveRecord {
  char drive;
  std::int32_t icon;
};
#pragma pack(pop)
inline const vel::FieldDesc kDriveFields[] = {
    {"D:DRIVE", nullptr, vel::kTypeString, 0, 1, 0, 1, 0},
    {"D:ICON", nullptr, vel::kTypeLong, 0, 4, 1, 1, 0},
};
inline const vel::RecordLayout kDriveLayout{2, kDriveFields};

struct KeysWindow {
  char name[20] = "";
  std::uint8_t flag = 0;
  std::int32_t mode = 1;
  std::int32_t percent = 0;
  char shown[20] = "shown text";
  ItemRecord item{};
  vel::QueueBlock items{&item, &kItemLayout, nullptr, sizeof(ItemRecord)};
  DriveRecord drive{};
  vel::QueueBlock drives{&drive, &kDriveLayout, nullptr, sizeof(DriveRecord)};
  Window* w = nullptr;

  explicit KeysWindow(int item_count = 3) {
    wsltest::Setup();
    for (int i = 1; i <= item_count; ++i) AddItem(("item " + std::to_string(i)).c_str(), i == 2 ? "the second" : "");
    for (char d : std::string("ACDE")) {
      drive = DriveRecord{d, 2};
      vel::QueueAppend(&drives);
    }
    void* vars[] = {name, &flag, &mode, &items, &percent, shown, &drives, nullptr};
    WindowOpen(&w, kKeysModule, "KEYS$WINDOW", vars);
    if (w) SetForegroundWindow(w->hwnd);
  }
  ~KeysWindow() {
    if (w) WindowClose(&w);
    vel::QueueDestroy(&items);
    vel::QueueDestroy(&drives);
  }
  void AddItem(const char* text, const char* tip) {
    std::memset(&item, 0, sizeof item);
    std::strncpy(item.name, text, sizeof item.name - 1);
    std::strncpy(item.tip, tip, sizeof item.tip - 1);
    vel::QueueAppend(&items);
  }
  HWND Hwnd(int field) const { return GetDlgItem(w->hwnd, 0x4000 + field); }
};

// One keystroke: the modifiers down, the key down and up, the modifiers up (real input: it goes
// through the thread's input queue, the loop's translation and the focused control).
inline void Tap(WORD vk, WORD modifier = 0, WORD modifier2 = 0) {
  std::vector<INPUT> in;
  auto add = [&](WORD k, bool up) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = k;
    i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    in.push_back(i);
  };
  if (modifier) add(modifier, false);
  if (modifier2) add(modifier2, false);
  add(vk, false);
  add(vk, true);
  if (modifier2) add(modifier2, true);
  if (modifier) add(modifier, true);
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

// Characters typed as text (KEYEVENTF_UNICODE: WM_CHAR without a key code of their own).
inline void Type(const std::string& text) {
  for (char ch : text) {
    INPUT in[2]{};
    for (int k = 0; k < 2; ++k) {
      in[k].type = INPUT_KEYBOARD;
      in[k].ki.wScan = static_cast<unsigned char>(ch);
      in[k].ki.dwFlags = KEYEVENTF_UNICODE | (k ? KEYEVENTF_KEYUP : 0);
    }
    SendInput(2, in, sizeof(INPUT));
  }
}

struct Seen {
  int code = 0, field = 0, key = 0;
};

inline bool Contains(const std::vector<Seen>& seen, int code, int field) {
  for (const Seen& s : seen)
    if (s.code == code && s.field == field) return true;
  return false;
}

inline Seen Find(const std::vector<Seen>& seen, int code, int field) {
  for (const Seen& s : seen)
    if (s.code == code && s.field == field) return s;
  return {};
}

// Runs the current thread's loop until the input queued so far and the events it caused have
// been delivered: a thread timer posts a sentinel event, and WM_TIMER comes only once no input
// and no posted message is waiting. `until`, when given, must also hold. Every event seen
// (the sentinels and focus bookkeeping aside) is returned.
inline void CALLBACK PostSentinel(HWND, UINT, UINT_PTR, DWORD) { PostEvent(0x4F0); }

inline std::vector<Seen> RunQuiet(const std::function<bool()>& until = nullptr, int max_ms = 10000) {
  std::vector<Seen> seen;
  const UINT_PTR timer = SetTimer(nullptr, 0, 15, PostSentinel);
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(max_ms);
  int quiet = 0;
  while (Accept()) {
    const int code = EventCode();
    if (code == 0x4F0) {
      const bool done = (!until || until()) && ++quiet >= 2;
      if (done || GetTickCount64() > end) break;
      continue;
    }
    if (code == kEvLoseFocus || code == kEvGainFocus || code == kEvSuspend || code == kEvResume) continue;
    quiet = 0;
    seen.push_back({code, EventField(), LastKeyCode()});
  }
  KillTimer(nullptr, timer);
  // Sentinels still on their way are dropped with the next run's first turn: they carry no field.
  return seen;
}

// A dialog of keys.win opened over the current top window; RunToEnd runs its loop like a
// program's body (accepted buttons close it) and returns what it saw.
struct Dialog {
  char text[20] = "";
  Window* w = nullptr;
  explicit Dialog(const char* label) {
    void* vars[] = {text, nullptr};
    WindowOpen(&w, kKeysModule, label, vars);
    if (w) SetForegroundWindow(w->hwnd);
  }
  std::vector<Seen> RunToEnd() {
    std::vector<Seen> seen;
    while (Accept()) {
      const int code = EventCode();
      if (code == 0x4F0 || code == kEvLoseFocus || code == kEvGainFocus) continue;
      seen.push_back({code, EventField(), LastKeyCode()});
      if (code == kEvAccepted && (EventField() == 2 || EventField() == 3)) PostEvent(kEvCloseWindow);
    }
    return seen;
  }
  ~Dialog() {
    if (w) WindowClose(&w);
  }
};

// --- tooltips ------------------------------------------------------------------------------

inline bool HasTool(HWND tip, HWND window, HWND control) {
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.hwnd = window;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  return SendMessageA(tip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
}

inline bool IsCallbackTool(HWND tip, HWND window, HWND control) {
  char text[256] = "";
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.hwnd = window;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  ti.lpszText = text;
  return SendMessageA(tip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&ti)) && ti.lpszText == LPSTR_TEXTCALLBACKA;
}

inline std::string ToolText(HWND tip, HWND window, HWND control) {
  char text[256] = "";
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.hwnd = window;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  ti.lpszText = text;
  if (!HasTool(tip, window, control)) return "<no tool>";
  SendMessageA(tip, TTM_GETTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
  return text;
}

}  // namespace keytest
