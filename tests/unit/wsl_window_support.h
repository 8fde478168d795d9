// Shared set-up of the window-layer tests: one module registered with the core's and the
// window layer's initialisers (so the priority-150/100 entries run as in the program), the
// fatal path answered by a hook that records the error, and helpers over real windows.
#pragma once
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/controls/controls.h"
#include "runtime/core/errors.h"
#include "runtime/core/startup.h"
#include "runtime/core/sys.h"
#include "runtime/data/data_init.h"
#include "runtime/wsl/control.h"
#include "runtime/wsl/lifecycle.h"
#include "runtime/wsl/locator.h"
#include "runtime/wsl/window.h"
#include "runtime/wsl/event_codes.h"

namespace wsltest {

inline int g_fatal_code = 0;
inline std::string g_fatal_text;

inline int RecordFatal(const char* message) {
  g_fatal_code = vel::ErrorCode();
  g_fatal_text = message;
  return vel::sys::kAnswerNo;
}

inline void Setup() {
  static bool done = false;
  if (!done) {
    done = true;
    static const vel::InitEntry kInit[] = {VEL_CORE_INIT_ENTRIES, VEL_DATA_INIT_ENTRIES,
                                           VEL_WSL_INIT_ENTRIES, VEL_CONTROLS_INIT_ENTRIES};
    static vel::ModuleDescriptor module{nullptr, kInit, kInit + sizeof kInit / sizeof kInit[0], nullptr,
                                        {{nullptr, nullptr}, {nullptr, nullptr}}, nullptr, nullptr, nullptr,
                                        nullptr};
    vel::RegisterModule(&module, nullptr);
    vel::SetApplicationActive(false);  // runtime errors report and return
  }
  vel::SetFatalErrorHook(RecordFatal);
  g_fatal_code = 0;
  g_fatal_text.clear();
}

constexpr const char* kModule = "FtpClient_async$ftpcl001";

// Variables for every variable-bound control of a window, in chain order: strings hold
// "v<field>", numbers hold 2 (1 for bytes), lists get a dummy queue word.
struct Variables {
  std::vector<std::vector<char>> buffers;
  std::vector<void*> addresses;  // null-terminated
};

inline Variables MakeVariables(const char* module_id, const char* label) {
  Variables v;
  const std::uint32_t at = vel::LocateDescriptor(module_id, label);
  vel::WindowRecord w{};
  const vel::Descriptor& d = vel::CurrentDescriptor();
  if (at && d.Window(at, &w)) {
    for (vel::ControlCursor c = vel::FirstControl(d, w); c.ok; c = vel::NextControl(d, c)) {
      if (!vel::ControlTakesVariable(c.record.kind)) continue;
      vel::UseDescriptor use{};
      const bool has_use = c.record.use && d.Use(c.record.use, &use);
      std::vector<char> buf(has_use && use.size ? use.size + 8 : 16, 0);
      if (has_use && use.type == 19) std::snprintf(buf.data(), use.size, "v%u", c.record.field);
      else if (has_use && use.type == 1) buf[0] = 1;
      else if (has_use) buf[0] = 2;
      v.buffers.push_back(std::move(buf));
    }
  }
  for (auto& b : v.buffers) v.addresses.push_back(b.data());
  v.addresses.push_back(nullptr);
  return v;
}

inline std::string ClassOf(HWND h) {
  char buf[64] = "";
  GetClassNameA(h, buf, sizeof buf);
  return buf;
}

inline std::string TextOf(HWND h) {
  char buf[1024] = "";
  GetWindowTextA(h, buf, sizeof buf);
  return buf;
}

// A child's rectangle in its parent's client coordinates.
inline RECT ChildRect(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Lets the window paint and settle.
inline void Pump(int rounds = 5) {
  for (int i = 0; i < rounds; ++i) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    Sleep(10);
  }
}

}  // namespace wsltest
