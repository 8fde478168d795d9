#include "runtime/controls/graphic_controls.h"

#include <commctrl.h>
#include <oleacc.h>

#include <cstdlib>

#include "runtime/wsl/accessible.h"
#include "runtime/wsl/icons.h"
#include "runtime/wsl/locator.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/value_text.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

ControlClass g_graphic_class{"VelGraphic", nullptr, 0, nullptr, 0, 0, 0};
ControlClass g_progress_class{"VelProgress", PROGRESS_CLASSA, 0, nullptr, 0, 0, 0};

}  // namespace

GraphicControl::GraphicControl(Window* window, const ControlRecord& r) : Control(window, r), fill_(r.fill) {
  if (r.kind == kKindImage) image_ = picture_.empty() ? caption_ : picture_;
}

GraphicControl::~GraphicControl() {
  if (icon_) DestroyIcon(icon_);
}

ControlClass* GraphicControl::Class() { return &g_graphic_class; }

SIZE GraphicControl::NaturalSize(HDC) const {
  return kind_ == kKindImage ? SIZE{GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)} : SIZE{16, 16};
}

void GraphicControl::Paint(HDC dc, const RECT& r) {
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (kind_ == kKindPanel) {
    RECT edge = r;
    if (r.bottom - r.top <= window_->scale.Y(2) + 1) {
      edge.top = (r.top + r.bottom) / 2 - 1;
      edge.bottom = edge.top + 2;
      DrawEdge(dc, &edge, EDGE_ETCHED, BF_TOP);
    } else {
      DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
    }
  } else if (kind_ == kKindImage && icon_) {
    DrawIconEx(dc, r.left, r.top, icon_, r.right - r.left, r.bottom - r.top, 0, nullptr, DI_NORMAL);
  }
}

LRESULT GraphicControl::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      Paint(dc, r);
      EndPaint(hwnd, &ps);
      return 0;
    }
    default: return Control::WndProc(hwnd, msg, wp, lp);
  }
}

bool GraphicControl::GetProperty(int code, std::string* out) {
  if (code == kPropText) { *out = image_; return true; }
  if (code == kPropFill) { *out = std::to_string(fill_); return true; }
  return Control::GetProperty(code, out);
}

bool GraphicControl::SetProperty(int code, const std::string& value) {
  if (code == kPropText) {  // Text: the image to show
    image_ = value;
    if (icon_) DestroyIcon(icon_);
    icon_ = LoadIconByName(value, false);
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
    return true;
  }
  if (code == kPropFill) {
    fill_ = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
    return true;
  }
  return Control::SetProperty(code, value);
}

void GraphicControl::Describe(AccessibleFacts* f) const {
  f->role = kind_ == kKindPanel ? ROLE_SYSTEM_SEPARATOR : ROLE_SYSTEM_GRAPHIC;
  f->state = CommonState() | STATE_SYSTEM_READONLY;
}

ProgressControl::ProgressControl(Window* window, const ControlRecord& r)
    : Control(window, r), low_(static_cast<int>(r.low)), high_(static_cast<int>(r.high)) {
  if (high_ <= low_) high_ = low_ + 100;
}

ControlClass* ProgressControl::Class() { return &g_progress_class; }

void ProgressControl::AfterCreate() { SendMessageA(hwnd_, PBM_SETRANGE32, static_cast<WPARAM>(low_), high_); }

void ProgressControl::Display() {
  if (!hwnd_ || !binding_.address) return;
  shown_ = VariableText(binding_);
  const int before = Choice();
  SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(std::atoi(shown_.c_str())), 0);
  if (Choice() != before) NotifyAccessible(EVENT_OBJECT_VALUECHANGE, hwnd_);
}

// The value as the platform's progress bars tell it: the percentage of the range done.
void ProgressControl::Describe(AccessibleFacts* f) const {
  f->role = ROLE_SYSTEM_PROGRESSBAR;
  const Control* label = LabelPrompt();
  f->name = label ? AccessibleText(label->caption()) : std::string();
  f->state = CommonState() | STATE_SYSTEM_READONLY;
  const long long span = static_cast<long long>(high_) - low_;
  const long long done = span > 0 ? (static_cast<long long>(Choice()) - low_) * 100 / span : 0;
  f->value = std::to_string(done < 0 ? 0 : done > 100 ? 100 : done) + "%";
}

void ProgressControl::Refresh() {
  if (hwnd_ && binding_.address && VariableText(binding_) != shown_) Display();
}

int ProgressControl::Choice() const { return hwnd_ ? static_cast<int>(SendMessageA(hwnd_, PBM_GETPOS, 0, 0)) : 0; }

bool ProgressControl::GetProperty(int code, std::string* out) {
  switch (code) {
    case kPropRangeLow: *out = std::to_string(low_); return true;
    case kPropRangeHigh: *out = std::to_string(high_); return true;
    case kPropProgress: *out = std::to_string(Choice()); return true;
    default: return Control::GetProperty(code, out);
  }
}

bool ProgressControl::SetProperty(int code, const std::string& value) {
  const int n = std::atoi(value.c_str());
  switch (code) {
    case kPropRangeLow: low_ = n; AfterCreate(); return true;
    case kPropRangeHigh: high_ = n; AfterCreate(); return true;
    case kPropProgress:
      if (hwnd_) SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(n), 0);
      if (binding_.address) {
        AssignVariable(binding_, value);
        shown_ = VariableText(binding_);
      }
      return true;
    default: return Control::SetProperty(code, value);
  }
}

}  // namespace vel::wsl
