// Real keystrokes for window tests: SendInput (the thread's input queue, the ACCEPT loop's
// keyboard translation, the focused control) and a loop runner that returns once the input and
// everything it caused has been delivered.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/events.h"

namespace keytest {

using namespace vel::wsl;

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

}  // namespace keytest
