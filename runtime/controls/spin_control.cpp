// SPIN (VelSpin): an edit and up-down arrows over a numeric variable.
#include "runtime/controls/spin_control.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/value_text.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

ControlClass g_spin_class{"VelSpin", nullptr, 0, nullptr, 0, 0, 0};
constexpr int kEditId = 1;
constexpr int kArrowsId = 2;

std::string NumberText(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

// The number at the start of a text; false when it holds none.
bool ReadNumber(const std::string& text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return end != text.c_str();
}

}  // namespace

SpinControl::SpinControl(Window* window, const ControlRecord& r)
    : Control(window, r), low_(r.low), high_(r.high), step_(r.step > 0 ? r.step : 1) {}

ControlClass* SpinControl::Class() { return &g_spin_class; }

SIZE SpinControl::NaturalSize(HDC) const {
  return SIZE{8 * window()->font.avg_width + GetSystemMetrics(SM_CXVSCROLL) + 6, window()->font.height + 6};
}

void SpinControl::AfterCreate() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_UPDOWN_CLASS};
    return InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)registered;
  RECT r;
  GetClientRect(hwnd_, &r);
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  static const DWORD kAlign[] = {ES_LEFT, ES_CENTER, ES_RIGHT};
  edit_ = CreateWindowExA(WS_EX_CLIENTEDGE, "Edit", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | kAlign[Justification()],
                          0, 0, r.right, r.bottom, hwnd_, reinterpret_cast<HMENU>(kEditId), instance, nullptr);
  // Aligned to the edit's right edge, the arrows take their width from it.
  arrows_ = CreateWindowExA(0, UPDOWN_CLASSA, "", WS_CHILD | WS_VISIBLE | UDS_ALIGNRIGHT | UDS_ARROWKEYS, 0, 0, 0, 0,
                            hwnd_, reinterpret_cast<HMENU>(kArrowsId), instance, nullptr);
  if (arrows_) {
    SendMessageA(arrows_, UDM_SETRANGE32, 0, 100);
    SendMessageA(arrows_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit_), 0);
  }
  if (edit_) SendMessageA(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
}

bool SpinControl::Edited() const { return edit_ && SendMessageA(edit_, EM_GETMODIFY, 0, 0); }

double SpinControl::Clamped(double value) const {
  return low_ < high_ ? std::clamp(value, low_, high_) : value;
}

void SpinControl::StoreValue(double value) {
  if (binding_.address) AssignVariable(binding_, NumberText(Clamped(value)));
  Control::Display();
  if (edit_) SendMessageA(edit_, EM_SETMODIFY, FALSE, 0);
}

void SpinControl::Display() {
  Control::Display();
  if (edit_) SendMessageA(edit_, EM_SETMODIFY, FALSE, 0);
}

void SpinControl::Update() {
  if (!edit_ || !binding_.address) return;
  char text[64] = "";
  GetWindowTextA(edit_, text, sizeof text);
  double value = 0;
  if (ReadNumber(text, &value)) StoreValue(value);
  else Display();  // no number typed: the variable keeps its value
}

void SpinControl::Refresh() {
  if (Edited()) Update();
  else Control::Refresh();
}

void SpinControl::Step(int direction) {
  if (Edited()) Update();
  double value = 0;
  ReadNumber(binding_.address ? VariableText(binding_) : std::string(), &value);
  StoreValue(value + direction * step_);
  PostFieldEvent(kEvNewSelection);
}

bool SpinControl::CanTakeFocus() const {
  return edit_ && IsWindowEnabled(hwnd_) && IsWindowVisible(hwnd_);
}

void SpinControl::Select() {
  if (!edit_) return;
  window_->focus_control = this;
  SetFocus(edit_);
}

bool SpinControl::GetProperty(int code, std::string* out) {
  switch (code) {
    case kPropRangeLow: *out = NumberText(low_); return true;
    case kPropRangeHigh: *out = NumberText(high_); return true;
    case kPropStep: *out = NumberText(step_); return true;
    default: return Control::GetProperty(code, out);
  }
}

bool SpinControl::SetProperty(int code, const std::string& value) {
  const double v = std::strtod(value.c_str(), nullptr);
  switch (code) {
    case kPropRangeLow: low_ = v; return true;
    case kPropRangeHigh: high_ = v; return true;
    case kPropStep: step_ = v > 0 ? v : 1; return true;
    default: return Control::SetProperty(code, value);
  }
}

LRESULT SpinControl::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    // The control's text is its edit's.
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
      return edit_ ? SendMessageA(edit_, msg, wp, lp) : CallBase(hwnd, msg, wp, lp);
    case WM_SETFONT:
      if (edit_) SendMessageA(edit_, msg, wp, lp);
      return 0;
    case WM_SETFOCUS:  // the edit takes it; its own EN_SETFOCUS selects the control
      if (edit_) SetFocus(edit_);
      return 0;
    case WM_ENABLE:
      if (edit_) EnableWindow(edit_, static_cast<BOOL>(wp));
      if (arrows_) EnableWindow(arrows_, static_cast<BOOL>(wp));
      return 0;
    case WM_SIZE:
      if (edit_) MoveWindow(edit_, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
      if (arrows_) SendMessageA(arrows_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit_), 0);
      return 0;
    case WM_ERASEBKGND: return 1;
    case WM_COMMAND:
      if (LOWORD(wp) == kEditId && HIWORD(wp) == EN_SETFOCUS) NoteFocus();
      if (LOWORD(wp) == kEditId && HIWORD(wp) == EN_KILLFOCUS && Edited()) {
        Update();
        PostFieldEvent(kEvAccepted);
      }
      return 0;
    case WM_NOTIFY: {
      const auto* n = reinterpret_cast<const NMUPDOWN*>(lp);
      if (n && n->hdr.hwndFrom == arrows_ && n->hdr.code == static_cast<UINT>(UDN_DELTAPOS)) {
        if (n->iDelta) Step(n->iDelta > 0 ? 1 : -1);
        return 1;  // the arrows keep no position of their own
      }
      return 0;
    }
    default: return CallBase(hwnd, msg, wp, lp);
  }
}

}  // namespace vel::wsl
