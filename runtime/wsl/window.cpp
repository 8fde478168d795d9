// Window objects: open, close, units, the per-window class, the window procedure, status bar.
#include "runtime/wsl/window.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "runtime/core/errors.h"
#include "runtime/wsl/accessible.h"
#include "runtime/wsl/caption_fit.h"
#include "runtime/wsl/control.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/focus.h"
#include "runtime/wsl/icons.h"
#include "runtime/wsl/keyboard.h"
#include "runtime/wsl/lifecycle.h"
#include "runtime/wsl/locator.h"
#include "runtime/wsl/mouse_cursor.h"
#include "runtime/wsl/runtime_lock.h"
#include "runtime/wsl/tooltips.h"

namespace vel::wsl {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

namespace {

constexpr UINT kMsgDeferredCommand = WM_APP + 0x41;  // a WM_COMMAND that arrived sent
constexpr int kStatusBarId = 0x3FFF;
constexpr UINT_PTR kWindowTimerId = 1;

struct WindowsState {
  std::vector<Window*> live;     // opening order
  unsigned long class_serial = 0;
};
WindowsState g;
// The target of window operations is the calling thread's own: the FTP library's thread may
// aim at the main window without redirecting the window thread.
thread_local Window* t_target = nullptr;
thread_local const Descriptor* t_opening = nullptr;  // the descriptor WindowOpen is reading
thread_local int t_target_field = 0;

ThreadRecord* RecordOf(int thread_number) { return ThreadRecordAt(thread_number - 1); }

// --- fonts and units

// Descriptors name the ANSI character set (0) for text in the program's own code page. Glyphs
// are picked by the font's character set, not by the code page of the text, so under a
// Cyrillic or Japanese ANSI code page an ANSI-charset font drew names from the server and the
// disk as Western mojibake: 0 stands for the character set of the code page in use (still 0
// under 1252). Other values are the descriptor's explicit choice and are kept.
BYTE CharsetForCodePage(int charset) {
  if (charset != ANSI_CHARSET) return static_cast<BYTE>(charset);
  CHARSETINFO info{};
  if (!TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(GetACP())), &info, TCI_SRCCODEPAGE))
    return ANSI_CHARSET;
  return static_cast<BYTE>(info.ciCharset);
}

void BuildFont(Window* w, const Descriptor& d, std::uint32_t font_offset) {
  FontRecord rec{};
  if (font_offset && d.Font(font_offset, &rec)) {
    if (rec.face && *rec.face) w->font.face = rec.face;
    if (rec.points) w->font.points = rec.points;
    w->font.charset = rec.charset;
    w->font.color = rec.color;
    w->font.style = rec.style;
  }
  HDC screen = GetDC(nullptr);
  const int dpi_y = GetDeviceCaps(screen, LOGPIXELSY);
  const int style = w->font.style == 0xFFFFFFFFu ? 0 : static_cast<int>(w->font.style);
  const int weight = (style & kFontWeightBits) ? (style & kFontWeightBits) : FW_NORMAL;
  // Height in device units: -(points * pixels per inch / 72), multiply then divide rounded as
  // the platform's MulDiv rounds (8 points at 96 pixels per inch: 11, not 10).
  w->font.handle = CreateFontA(-MulDiv(w->font.points, dpi_y, 72), 0, 0, 0, weight, (style & kFontItalic) != 0,
                               (style & kFontUnderline) != 0, (style & kFontStrikeOut) != 0,
                               CharsetForCodePage(w->font.charset), OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                               w->font.face.c_str());
  HGDIOBJ old = SelectObject(screen, w->font.handle);
  TEXTMETRICA tm{};
  GetTextMetricsA(screen, &tm);
  SelectObject(screen, old);
  w->font.avg_width = tm.tmAveCharWidth;
  w->font.height = tm.tmHeight;
  switch (w->attributes & kUnitBits) {
    case kUnitDialog: w->scale = {2 * tm.tmAveCharWidth, tm.tmHeight, 8}; break;
    case kUnitMillimetre: w->scale = {GetDeviceCaps(screen, LOGPIXELSX), dpi_y, 25}; break;
    case kUnitThousandth: w->scale = {GetDeviceCaps(screen, LOGPIXELSX), dpi_y, 1000}; break;
    default:
      w->scale = w->IsReport() ? UnitScale{GetDeviceCaps(screen, LOGPIXELSX), dpi_y, 72} : UnitScale{1, 1, 1};
  }
  ReleaseDC(nullptr, screen);
}

// Frame style from the second attribute word.
void FrameStyle(const Window* w, DWORD* style, DWORD* ex_style) {
  // No WS_CLIPCHILDREN: group boxes are transparent and the window paints under them.
  DWORD s = 0, x = 0;
  switch (w->frame & kFrameBorderBits) {
    case kFrameThin: s |= WS_OVERLAPPED | WS_CAPTION | WS_BORDER; break;
    case kFrameResizable: s |= WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME; break;
    case kFrameDouble: s |= WS_POPUP | WS_CAPTION | WS_DLGFRAME; x |= WS_EX_DLGMODALFRAME; break;
    default: s |= WS_POPUP; break;
  }
  if (w->frame & kFrameSystemMenu) s |= WS_SYSMENU;
  if (w->frame & kFrameMaximizeBox) s |= WS_MAXIMIZEBOX | WS_SYSMENU;
  if (w->icon) s |= WS_MINIMIZEBOX | WS_SYSMENU;
  *style = s;
  *ex_style = x | WS_EX_CONTROLPARENT;
}

void RegisterWindowClass(Window* w) {
  w->class_name = WindowClassName(static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr))),
                                  ++g.class_serial);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hIcon = w->icon;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = w->class_name.c_str();
  w->class_atom = RegisterClassExA(&wc);
}

void PushThreadTop(Window* w) {
  ThreadRecord* r = RecordOf(w->thread);
  if (!r) return;
  w->below = static_cast<Window*>(r->top_window);
  r->top_window = w;
}

void PopThreadTop(Window* w) {
  ThreadRecord* r = RecordOf(w->thread);
  if (!r) return;
  if (r->top_window == w) {
    r->top_window = w->below;
  } else {
    for (Window* x = static_cast<Window*>(r->top_window); x; x = x->below)
      if (x->below == w) x->below = w->below;
  }
  if (r->dispatch_window == w) r->dispatch_window = nullptr;
  w->below = nullptr;
}

void CreateStatusBar(Window* w) {
  if (w->zone_widths.empty()) return;
  w->status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, w->hwnd,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)),
                              GetModuleHandleA(nullptr), nullptr);
  if (!w->status) return;
  SendMessageA(w->status, WM_SETFONT, reinterpret_cast<WPARAM>(w->font.handle), FALSE);
  w->LayoutStatusBar();
  RECT r;
  GetWindowRect(w->status, &r);
  w->status_height = static_cast<std::uint32_t>(r.bottom - r.top);
}

// Places the window: the given position, else centred over the window below it or the screen.
void PlaceWindow(Window* w, DWORD style, DWORD ex_style) {
  const int cw = w->position.width == kNotGiven ? 320 : w->scale.X(w->position.width);
  const int ch = (w->position.height == kNotGiven ? 200 : w->scale.Y(w->position.height)) +
                 static_cast<int>(w->status_height);
  RECT r{0, 0, cw, ch};
  AdjustWindowRectEx(&r, style, FALSE, ex_style);
  const int ww = r.right - r.left, wh = r.bottom - r.top;
  RECT area;
  if (!(w->below && w->below->hwnd && GetWindowRect(w->below->hwnd, &area)))
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  int x = w->position.x == kNotGiven ? area.left + ((area.right - area.left) - ww) / 2 : w->scale.X(w->position.x);
  int y = w->position.y == kNotGiven ? area.top + ((area.bottom - area.top) - wh) / 2 : w->scale.Y(w->position.y);
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(w->hwnd, nullptr, x, y, ww, wh, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CreateControls(Window* w, const Descriptor& d, const WindowRecord& rec, void* const* variables) {
  bool variables_left = variables != nullptr;
  for (ControlCursor c = FirstControl(d, rec); c.ok; c = NextControl(d, c)) {
    void* address = nullptr;
    if (ControlTakesVariable(c.record.kind) && variables_left) {
      address = *variables;
      if (address) ++variables;
      else variables_left = false;
    }
    ControlConstructor ctor = ControlConstructorFor(c.record.kind);
    if (!ctor) continue;
    Control* ctl = ctor(w, c.record);
    if (!ctl) continue;
    ctl->Bind(address);
    w->controls.push_back(ctl);
    if (ctl->field() < w->first_field) w->first_field = ctl->field();
    if (ctl->field() > w->last_field) w->last_field = ctl->field();
    ctl->CreatePlatformWindow();
    if (c.record.values) {
      std::uint32_t buf[64];
      const std::size_t n = std::min<std::size_t>(d.Values(c.record.values, buf, 64), 64);
      ctl->TakeValues(std::vector<std::uint32_t>(buf, buf + n));
    }
  }
}

void FreeWindowObject(Window* w) {
  ReleaseWindowEvents(w);
  // Last made, first freed: a control made later may refer to an earlier one (a radio to its
  // option), never the other way round.
  for (auto it = w->controls.rbegin(); it != w->controls.rend(); ++it) delete *it;
  w->controls.clear();
  if (w->font.handle) DeleteObject(w->font.handle);
  w->font.handle = nullptr;
  g.live.erase(std::remove(g.live.begin(), g.live.end(), w), g.live.end());
  if (t_target == w) {
    t_target = nullptr;
    t_target_field = 0;
  }
  delete w;
}

// The first control that can take the focus, in field order.
void FocusFirstControl(Window* w) {
  for (Control* c : w->controls) {
    if (c->hwnd() && c->CanTakeFocus()) {
      SetFocus(c->hwnd());
      w->focus_control = c;
      return;
    }
  }
}

}  // namespace

// --- the window procedure

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // The cursor is answered without the lock: a busy cursor set by a thread that holds it shows.
  if (LRESULT answer = 0; HandleMouseCursorMessage(hwnd, msg, wp, lp, &answer)) return answer;
  if (LRESULT answer = 0; HandleFocusMessage(hwnd, msg, wp, lp, &answer)) return answer;
  if (msg == WM_GETOBJECT) {  // asked from another process: answered without the lock
    if (LRESULT r = AnswerGetObject(hwnd, wp, lp, true)) return r;
  }
  WndProcLock lock;
  Window* w = lock.ok ? WindowFromHandle(hwnd) : nullptr;
  switch (msg) {
    case WM_COMMAND:
      if (!lock.ok) {
        PostMessageA(hwnd, kMsgDeferredCommand, wp, lp);
        return 0;
      }
      [[fallthrough]];
    case kMsgDeferredCommand:
      if (w && lp) {
        if (Control* c = w->FieldByHandle(reinterpret_cast<HWND>(lp))) c->OnCommand(HIWORD(wp));
      } else if (w && LOWORD(wp) == IDOK) {
        // Enter with no default button: accept the control that has the focus.
        if (Control* c = w->FieldByHandle(GetFocus())) c->PostFieldEvent(kEvAccepted);
      } else if (w && LOWORD(wp) == IDCANCEL) {
        CancelByEscape(w);  // Escape closes a dialog as its close box does
      }
      return 0;
    case kMsgPostedEvent:
      if (w) ReceivePostedEvent(w, lp);
      else if (lock.ok) ReceivePostedEvent(nullptr, lp);  // releases it
      return 0;
    case kMsgHandOver:
      if (w) {
        Window* top = ThreadTopWindow(w->thread);
        if (top && top->hwnd) SetForegroundWindow(top->hwnd);
      }
      return 0;
    case WM_TIMER:
      if (wp == kWindowTimerId && w) TimerTick(w);
      return 0;
    case WM_CLOSE:
      if (!lock.ok) PostMessageA(hwnd, WM_CLOSE, 0, 0);  // sent from another thread: later
      else if (w) PostWindowEvent(w, kEventBase + kEvCloseWindow, nullptr);
      return 0;
    case WM_SIZE:
      if (w && w->status) SendMessageA(w->status, WM_SIZE, wp, lp);
      // Size changes the user makes while the loop runs (not those of opening the window).
      if (w && w->loop.running) {
        if (wp == SIZE_MINIMIZED) {
          PostWindowEvent(w, kEventBase + kEvIconized, nullptr);
        } else {
          if (wp == SIZE_MAXIMIZED) PostWindowEvent(w, kEventBase + kEvMaximized, nullptr);
          PostWindowEvent(w, kEventBase + kEvSized, nullptr);
        }
      }
      break;
    case WM_SETFOCUS:
      // Activated while another thread's message was answered (a message box of another thread
      // closed): the window knows its controls only under the lock, so it looks again later.
      if (!lock.ok) PostMessageA(hwnd, kMsgRestoreFocus, 0, 0);
      [[fallthrough]];
    case kMsgRestoreFocus:
      // Back to the control that had the focus, or the first tab stop when it can no longer take
      // it. (While the window opens no control had it yet: opening gives it to the first.)
      if (w && w->focus_control && GetFocus() == hwnd) {
        if (HWND target = FocusTargetOnActivation(hwnd, w->focus_control->hwnd())) SetFocus(target);
      }
      return 0;
    case WM_NOTIFY:
      if (HandleTooltipNotify(w, lp)) return 0;
      break;
    case WM_QUERYENDSESSION:
      return AnswerEndSessionQuery(hwnd) ? TRUE : FALSE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wp);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case DM_GETDEFID:
      if (w) {
        for (Control* c : w->controls)
          if (c->hwnd() && (GetWindowLongA(c->hwnd(), GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON && IsWindowEnabled(c->hwnd()))
            return MAKELRESULT(GetDlgCtrlID(c->hwnd()), DC_HASDEFID);
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// --- Window members

Control* Window::Field(int field_number, bool create) {
  for (Control* c : controls)
    if (c->field() == field_number) return c;
  if (!create || field_number == 0) return nullptr;
  Control* c = MakePlaceholderControl(this, field_number);
  controls.push_back(c);
  return c;
}

Control* Window::FieldByHandle(HWND control_window) {
  if (!control_window) return nullptr;
  for (Control* c : controls)
    if (c->hwnd() == control_window || (c->hwnd() && IsChild(c->hwnd(), control_window))) return c;
  return nullptr;
}

RECT Window::UnitsToPixels(const DescriptorPosition& p) const {
  RECT r;
  r.left = scale.X(p.x);
  r.top = scale.Y(p.y);
  r.right = r.left + scale.X(p.width);
  r.bottom = r.top + scale.Y(p.height);
  return r;
}

void Window::LayoutStatusBar() {
  if (!status) return;
  std::vector<int> edges;
  int edge = 0;
  for (std::size_t i = 0; i < zone_widths.size(); ++i) {
    edge += scale.X(static_cast<int>(zone_widths[i]));
    edges.push_back(i + 1 == zone_widths.size() ? -1 : edge);
  }
  SendMessageA(status, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

bool Window::SetStatusText(int zone, const std::string& text) {
  if (!status || zone < 1 || zone > ZoneCount()) return false;
  SendMessageA(status, SB_SETTEXTA, static_cast<WPARAM>(zone - 1), reinterpret_cast<LPARAM>(text.c_str()));
  return true;
}

std::string Window::StatusText(int zone) const {
  if (!status || zone < 1 || zone > ZoneCount()) return {};
  const LRESULT len = SendMessageA(status, SB_GETTEXTLENGTHA, static_cast<WPARAM>(zone - 1), 0);
  std::string text(static_cast<std::size_t>(LOWORD(len)) + 1, '\0');
  SendMessageA(status, SB_GETTEXTA, static_cast<WPARAM>(zone - 1), reinterpret_cast<LPARAM>(text.data()));
  text.resize(LOWORD(len));
  return text;
}

void Window::SetTimerPeriod(int hundredths) {
  timer_period = hundredths < 0 ? 0 : hundredths;
  if (!hwnd) return;
  if (timer_period > 0) SetTimer(hwnd, kWindowTimerId, static_cast<UINT>(timer_period) * 10, nullptr);
  else KillTimer(hwnd, kWindowTimerId);
}

// --- open and close

std::string WindowClassName(unsigned instance, unsigned long serial) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "VelWin%uClass%lu", instance, serial);
  return buf;
}

void WindowOpen(Window** slot, const char* module_id, const char* label, void* const* variables) {
  RuntimeLockGuard lock;
  if (!slot) return;
  if (*slot && IsLiveWindow(*slot) && (*slot)->IsOpen()) {
    RuntimeError(535, nullptr);
    return;
  }
  if (*slot && IsLiveWindow(*slot)) WindowClose(slot);
  *slot = nullptr;
  const std::uint32_t offset = LocateWindowDescriptor(module_id ? module_id : "", label ? label : "");
  if (!offset) return;
  WindowOpenFromDescriptor(slot, CurrentDescriptor(), offset, DescriptorModule(), variables);
}

const Descriptor& OpeningDescriptor() { return t_opening ? *t_opening : CurrentDescriptor(); }

void WindowOpenFromDescriptor(Window** slot, const Descriptor& d, std::uint32_t offset, void* module,
                              void* const* variables) {
  RuntimeLockGuard lock;
  WindowRecord rec{};
  if (!slot || !d.Window(offset, &rec)) return;
  // The controls read their strings from the descriptor being opened.
  struct Opening {
    explicit Opening(const Descriptor* d) : saved(t_opening) { t_opening = d; }
    ~Opening() { t_opening = saved; }
    const Descriptor* saved;
  } opening(&d);

  auto* w = new Window;
  w->descriptor_offset = offset;
  w->module = module;
  w->record_kind = rec.kind;
  w->attributes = rec.kind == kReportRecord ? (rec.attributes & kUnitBits) : rec.attributes;
  w->position = rec.position;
  if (rec.kind != kReportRecord) {
    w->frame = rec.frame;
    if (const char* s = d.String(rec.message)) w->message = s;
    if (const char* s = d.String(rec.help)) w->help = s;
    std::uint32_t buf[64];
    std::size_t n = std::min<std::size_t>(d.Values(rec.values, buf, 64), 64);
    w->values.assign(buf, buf + n);
    n = std::min<std::size_t>(d.Values(rec.status_values, buf, 64), 64);
    w->zone_widths.assign(buf, buf + n);
  }
  if (const char* s = d.String(rec.label)) w->label = s;
  if (const char* s = d.String(rec.title)) w->title = s;
  if (const char* s = d.String(rec.cursor)) w->cursor_name = s;
  w->timer_period = static_cast<int>(rec.timer);
  w->thread = ThreadNumber();
  BuildFont(w, d, rec.font);
  FitScaleToCaptions(w, d, rec);
  // The window's icon is a resource of the module that held its descriptor.
  ImageName icon{};
  if (rec.icon && d.Image(rec.icon, &icon)) {
    if (icon.is_reference) {
      w->icon = LoadIconByReference(icon.kind, icon.value, static_cast<HMODULE>(module));
      w->icon_name = IconReferenceText(icon.kind, icon.value);
    } else if (icon.name) {
      w->icon_name = icon.name;
      w->icon = LoadIconByName(icon.name, true, static_cast<HMODULE>(module));
    }
  }
  g.live.push_back(w);
  PushThreadTop(w);

  RegisterWindowClass(w);
  DWORD style = 0, ex_style = 0;
  FrameStyle(w, &style, &ex_style);
  HWND owner = w->below && w->below->hwnd ? w->below->hwnd : nullptr;
  w->hwnd = CreateWindowExA(ex_style, w->class_name.c_str(), w->title.c_str(), style, 0, 0, 100, 100, owner,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!w->hwnd) {
    PopThreadTop(w);
    if (w->class_atom) UnregisterClassA(w->class_name.c_str(), GetModuleHandleA(nullptr));
    if (w->icon) DestroyIcon(w->icon);
    FreeWindowObject(w);
    RuntimeError(529, nullptr);
    return;
  }
  *slot = w;
  CreateStatusBar(w);
  PlaceWindow(w, style, ex_style);
  if (w->timer_period > 0) w->SetTimerPeriod(w->timer_period);
  // The descriptor buffer stays current while the controls are made from it.
  CreateControls(w, d, rec, variables);
  if (owner) {
    EnableWindow(owner, FALSE);
    w->disabled_owner = owner;
  }
  int show = SW_SHOW;
  if (w->frame & kFrameOpenMinimized) show = SW_SHOWMINNOACTIVE;
  else if (w->frame & kFrameOpenMaximized) show = SW_SHOWMAXIMIZED;
  ShowWindow(w->hwnd, show);
  UpdateWindow(w->hwnd);
  PostWindowEvent(w, kEventBase + kEvOpenWindow, nullptr);
  FocusFirstControl(w);  // its EVENT:Selected follows EVENT:OpenWindow
}

void DestroyPlatformWindow(Window* w) {
  if (!w || !w->hwnd) return;
  HWND hwnd = w->hwnd;
  KillTimer(hwnd, kWindowTimerId);
  if (w->disabled_owner && IsWindow(w->disabled_owner)) {
    EnableWindow(w->disabled_owner, TRUE);
    SetForegroundWindow(w->disabled_owner);
  }
  w->disabled_owner = nullptr;
  PopThreadTop(w);
  MSG m;  // records still on their way to this window die with it
  while (PeekMessageA(&m, hwnd, kMsgPostedEvent, kMsgPostedEvent, PM_REMOVE))
    delete reinterpret_cast<EventRecord*>(m.lParam);
  w->hwnd = nullptr;   // from here the window is not open, whatever DestroyWindow sends
  w->status = nullptr;
  DestroyWindow(hwnd);
  for (Control* c : w->controls) c->set_hwnd(nullptr);
  if (w->class_atom) UnregisterClassA(w->class_name.c_str(), GetModuleHandleA(nullptr));
  w->class_atom = 0;
  if (w->icon) DestroyIcon(w->icon);
  w->icon = nullptr;
}

void WindowClose(Window** slot) {
  RuntimeLockGuard lock;
  if (!slot || !*slot) return;
  Window* w = *slot;
  *slot = nullptr;
  if (!IsLiveWindow(w)) return;
  DestroyPlatformWindow(w);
  FreeWindowObject(w);
}

// --- registry

bool IsLiveWindow(const Window* window) {
  return window && std::find(g.live.begin(), g.live.end(), window) != g.live.end();
}

Window* WindowFromHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  for (Window* w : g.live)
    if (w->hwnd == hwnd) return w;
  return nullptr;
}

Window* ThreadTopWindow(int thread_number) {
  ThreadRecord* r = RecordOf(thread_number);
  return r ? static_cast<Window*>(r->top_window) : nullptr;
}

Window* CurrentWindow() {
  if (t_target && IsLiveWindow(t_target)) return t_target;
  return ThreadTopWindow(ThreadNumber());
}

Window* CurrentOpenWindow() {
  Window* w = CurrentWindow();
  if (w && !w->IsOpen()) {
    RuntimeError(536, nullptr);
    return nullptr;
  }
  return w;
}

std::vector<Window*> LiveWindows() { return g.live; }

void SetTargetWindow(Window* window, std::intptr_t second) {
  RuntimeLockGuard lock;
  t_target = nullptr;
  t_target_field = 0;
  if (window && IsLiveWindow(window)) {
    t_target = window;
    Control* c = second ? window->Field(static_cast<int>(second)) : nullptr;
    t_target_field = c ? c->field() : 0;
  } else if (!window && second >= 1 && second <= kMaxThreads) {
    t_target = ThreadTopWindow(static_cast<int>(second));
  }
}

int TargetField() { return t_target ? t_target_field : 0; }

}  // namespace vel::wsl
