// Window objects (WSLDIAL): opening a window from its descriptor, units, the per-window
// platform class "VelWin%uClass%lu", the window procedure, the status bar and the timer.
//
// A window object is made by WindowOpen, which stores it in the caller's slot, and freed by
// WindowClose. Between the two it is in the live-window registry (so a stale reference is
// recognised, never followed), it owns its control objects (creation order in `controls`,
// field numbers ascending) and its event records. `hwnd` is null before the platform window
// exists and after it was destroyed: such a window is "not open" for every operation but
// WindowClose. Each runtime thread has a stack of open windows; the top one is the window
// whose ACCEPT loop runs there (a window opened over it is modal to it on that thread).
#pragma once
#include <windows.h>

#include <climits>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "runtime/wsl/control.h"
#include "runtime/wsl/descriptor.h"

namespace vel::wsl {

class Control;
struct EventRecord;

// x_pixels = x * sx / div, y_pixels = y * sy / div (multiply then divide, 32-bit);
// 0x80000000 converts to 0.
struct UnitScale {
  int sx = 1, sy = 1, div = 1;
  int X(int v) const { return v == kNotGiven ? 0 : MulDiv32(v, sx, div); }
  int Y(int v) const { return v == kNotGiven ? 0 : MulDiv32(v, sy, div); }
  int FromX(int px) const { return sx ? MulDiv32(px, div, sx) : 0; }
  int FromY(int px) const { return sy ? MulDiv32(px, div, sy) : 0; }
  static int MulDiv32(int v, int m, int d) {
    return d ? static_cast<int>(static_cast<std::int32_t>(static_cast<std::int64_t>(v) * m / d)) : 0;
  }
};

struct WindowFont {
  std::string face = "System";
  int points = 10;
  int charset = DEFAULT_CHARSET;
  std::uint32_t color = kDefaultColor;
  std::uint32_t style = 0xFFFFFFFFu;
  HFONT handle = nullptr;
  int avg_width = 0, height = 0;  // text metrics of the font on the screen
};

// The ACCEPT loop's per-window state (runtime/wsl/events.h).
struct LoopState {
  std::deque<EventRecord*> pending;   // delivered before anything of the platform queue
  EventRecord* current = nullptr;     // the event the body sees
  bool running = false;               // an ACCEPT loop runs for this window
  bool in_body = false;               // the body holds the current event
  int result = 0;                     // 1 when the body ended its iteration early
  int close_state = 0;                // 0 none, 1 waiting for a child, 2 close accepted
  bool select_pending = false;
  int select_cursor = 0;              // field after which completion continues
  bool timer_due = false;             // an EVENT:Timer waits in the pending list
  bool suspended = false;
  bool stop_after_step = false;       // a Build event was delivered
  bool open_failed = false;
  int nesting = 0;
};

class Window {
 public:
  // --- from the descriptor
  std::uint32_t descriptor_offset = 0;
  void* module = nullptr;
  std::uint8_t record_kind = kWindowRecord;
  std::uint32_t attributes = 0;        // first attribute word (+5)
  std::uint32_t frame = 0;             // second attribute word (+81)
  std::string label, title, message, help, icon_name, cursor_name;
  std::vector<std::uint32_t> values;   // value list at +77
  DescriptorPosition position{kNotGiven, kNotGiven, kNotGiven, kNotGiven};
  UnitScale scale;
  WindowFont font;
  int timer_period = 0;                // 1/100 s, 0 = none

  // --- fields
  int first_field = INT_MAX, last_field = INT_MIN;
  int selected_field = 0;              // field of the control that last got EVENT:Selected
  Control* focus_control = nullptr;    // the window's currently selected control
  std::vector<Control*> controls;      // creation order

  // --- platform
  HWND hwnd = nullptr;
  HWND status = nullptr;               // status bar, when the window has zones
  std::vector<int> zone_widths;        // in the window's unit
  HICON icon = nullptr;
  std::string class_name;
  ATOM class_atom = 0;
  HWND disabled_owner = nullptr;       // window disabled while this one is open over it
  int thread = 0;                      // owning thread number
  Window* below = nullptr;             // the thread's previous top window
  bool accept_all = false;
  std::uint32_t status_height = 0;     // pixels added below the client area for the bar
  std::string tip_text;                // a callback tool's text, until the tooltip's next request

  LoopState loop;
  PropertyBag bag;

  // Field look-up; with `create`, an empty field object is made for a missing number.
  Control* Field(int field_number, bool create = false);
  Control* FieldByHandle(HWND control_window);
  bool IsOpen() const { return hwnd != nullptr; }
  bool IsReport() const { return record_kind == kReportRecord; }

  // Pixel rectangle of a unit position (window client coordinates).
  RECT UnitsToPixels(const DescriptorPosition& p) const;

  // Status bar zones (1-based). False for a zone the bar does not have.
  bool SetStatusText(int zone, const std::string& text);
  std::string StatusText(int zone) const;
  int ZoneCount() const { return static_cast<int>(zone_widths.size()); }
  void LayoutStatusBar();
  // Restarts (period > 0) or stops the window timer.
  void SetTimerPeriod(int hundredths);
};

// Opens a window from the descriptor `label` of module `module_id`; *slot receives it.
// `variables` is the address list for the variable-bound controls, ended by a null entry.
// Errors: 535 "Window is already open" (slot holds an open window), 502 "WSLDIAL" (no
// descriptor), 529 "Unable to open WINDOW" (platform window not made).
void WindowOpen(Window** slot, const char* module_id, const char* label, void* const* variables);
// The same from a descriptor buffer the caller holds (the window record at `offset`); the
// buffer must stay valid for the call. WindowOpen uses it with the located buffer.
void WindowOpenFromDescriptor(Window** slot, const Descriptor& d, std::uint32_t offset, void* module,
                              void* const* variables);
// While a window is being opened, the descriptor its control constructors read from.
const Descriptor& OpeningDescriptor();
// Destroys the window (also ends its loop) and frees the object; the slot becomes null.
void WindowClose(Window** slot);

// Registry queries.
bool IsLiveWindow(const Window* window);
Window* WindowFromHandle(HWND hwnd);
// The thread's top window (the window whose loop runs there), or null.
Window* ThreadTopWindow(int thread_number);
// Target window (SetTargetWindow), else the calling thread's top window, else null.
Window* CurrentWindow();
// CurrentWindow for the operations that need it open (fields, properties of target 0): a
// current window that is not open raises 536 "Window is not open" and gives null.
Window* CurrentOpenWindow();
// Every live window in opening order (shutdown notifications).
std::vector<Window*> LiveWindows();

// The target of later window operations (SetTargetWindow): with a window, `second` names one
// of its controls (the target field); with null, `second` is a thread number 1..64 whose top
// window becomes the target; anything else clears it.
void SetTargetWindow(Window* window, std::intptr_t second);
int TargetField();

// Destroys the platform window of a window whose loop ended with a close (object kept).
void DestroyPlatformWindow(Window* window);

// The window-class registration of the control layer ("VelWin%uClass%lu").
std::string WindowClassName(unsigned instance, unsigned long serial);

}  // namespace vel::wsl
