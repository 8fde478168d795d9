// Control objects, the control classes' registration and the creation table.
#include "runtime/wsl/control.h"

#include <algorithm>
#include <cstdlib>

#include "runtime/core/errors.h"
#include "runtime/wsl/accessible.h"
#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/focus.h"
#include "runtime/wsl/locator.h"
#include "runtime/wsl/mouse_cursor.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/runtime_lock.h"
#include "runtime/wsl/tooltips.h"
#include "runtime/wsl/value_text.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

constexpr UINT kMsgFocusGained = WM_APP + 0x43;  // a WM_SETFOCUS that arrived without the lock

constexpr std::uint8_t kCreationKinds[26] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                             14, 15, 16, 17, 18, 21, 32, 33, 34, 35, 37, 38, 39};

struct ClassesState {
  ControlConstructor constructors[26];
  ControlClass* registered[32];
  int registered_count;
};
ClassesState g = {{}, {}, 0};

int CreationSlot(std::uint8_t kind) {
  for (int i = 0; i < 26; ++i)
    if (kCreationKinds[i] == kind) return i;
  return -1;
}

ControlClass* ClassOfWindow(HWND hwnd) {
  const ATOM atom = static_cast<ATOM>(GetClassWord(hwnd, GCW_ATOM));
  for (int i = 0; i < g.registered_count; ++i)
    if (g.registered[i]->atom == atom) return g.registered[i];
  return nullptr;
}

LRESULT CALLBACK ControlWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  ControlClass* cls = ClassOfWindow(hwnd);
  if (!cls) return DefWindowProcA(hwnd, msg, wp, lp);
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    auto* c = static_cast<Control*>(cs->lpCreateParams);
    SetWindowLongPtrA(hwnd, cls->object_slot, reinterpret_cast<LONG_PTR>(c));
    if (c) c->set_hwnd(hwnd);
  }
  auto* c = reinterpret_cast<Control*>(GetWindowLongPtrA(hwnd, cls->object_slot));
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, cls->object_slot, 0);
    if (c && c->hwnd() == hwnd) c->set_hwnd(nullptr);
    return CallWindowProcA(cls->base_proc, hwnd, msg, wp, lp);
  }
  if (msg == WM_GETOBJECT && c) {  // asked from another process: answered without the lock
    if (LRESULT r = AnswerGetObject(hwnd, wp, lp, false)) return r;
  }
  // Over a control the override is answered without the lock too, like the window's.
  if (LRESULT answer = 0; msg == WM_SETCURSOR && HandleMouseCursorMessage(hwnd, msg, wp, lp, &answer))
    return answer;
  WndProcLock lock;
  if (c && lock.ok && msg == kMsgFocusGained) {
    if (GetFocus() == hwnd) c->FocusGained();
    return 0;
  }
  // The focus arrived while another thread's message was answered (the focus moved off a
  // control that thread disabled): the control takes note of it once the lock is free.
  if (c && !lock.ok && msg == WM_SETFOCUS) PostMessageA(hwnd, kMsgFocusGained, 0, 0);
  if (!c || !lock.ok) return CallWindowProcA(cls->base_proc, hwnd, msg, wp, lp);
  return c->WndProc(hwnd, msg, wp, lp);
}

// The placeholder made by the Target property: a field number without a platform window.
class PlaceholderControl : public Control {
 public:
  using Control::Control;
  ControlClass* Class() override { return nullptr; }
};

}  // namespace

bool RegisterControlClass(ControlClass* cls) {
  if (cls->state != 0) return true;
  HINSTANCE inst = GetModuleHandleA(nullptr);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  if (cls->base) {
    if (!GetClassInfoExA(nullptr, cls->base, &wc) && !GetClassInfoExA(inst, cls->base, &wc)) {
      RuntimeError(503, "WSLCLASS");
      return false;
    }
    cls->base_proc = wc.lpfnWndProc;
  } else {
    wc.style = CS_DBLCLKS | cls->class_style;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = nullptr;
    cls->base_proc = DefWindowProcA;
  }
  cls->object_slot = wc.cbWndExtra;
  wc.cbSize = sizeof wc;
  wc.cbWndExtra += sizeof(void*);
  wc.lpfnWndProc = ControlWndProc;
  wc.hInstance = inst;
  wc.lpszClassName = cls->name;
  wc.style &= ~CS_GLOBALCLASS;
  cls->atom = RegisterClassExA(&wc);
  if (!cls->atom) {
    // Registration under our own name failed: the base class is used as it is.
    if (!cls->base) {
      RuntimeError(503, "WSLCLASS");
      return false;
    }
    cls->state = 2;
    return true;
  }
  cls->state = 1;
  if (g.registered_count < 32) g.registered[g.registered_count++] = cls;
  return true;
}

Control* ControlFromHandle(HWND hwnd) {
  ControlClass* cls = hwnd ? ClassOfWindow(hwnd) : nullptr;
  return cls ? reinterpret_cast<Control*>(GetWindowLongPtrA(hwnd, cls->object_slot)) : nullptr;
}

void UnregisterControlClasses() {
  for (int i = 0; i < g.registered_count; ++i) {
    ControlClass* cls = g.registered[i];
    UnregisterClassA(cls->name, GetModuleHandleA(nullptr));
    cls->state = 0;
    cls->atom = 0;
  }
  g.registered_count = 0;
}

bool InstallControlConstructor(std::uint8_t kind, ControlConstructor ctor) {
  const int slot = CreationSlot(kind);
  if (slot < 0) return false;
  g.constructors[slot] = ctor;
  return true;
}

ControlConstructor ControlConstructorFor(std::uint8_t kind) {
  const int slot = CreationSlot(kind);
  return slot < 0 ? nullptr : g.constructors[slot];
}

void ClearControlConstructors() {
  for (ControlConstructor& c : g.constructors) c = nullptr;
}

Control* MakePlaceholderControl(Window* window, int field) {
  ControlRecord rec{};
  rec.field = static_cast<std::uint32_t>(field);
  auto* c = new PlaceholderControl(window, rec);
  c->set_placeholder();
  return c;
}

// --- Control

Control::Control(Window* window, const ControlRecord& r)
    : window_(window), field_(static_cast<int>(r.field)), kind_(r.kind), attributes_(r.attributes),
      position_(r.has_position ? r.position : DescriptorPosition{kNotGiven, kNotGiven, kNotGiven, kNotGiven}) {
  const Descriptor& d = OpeningDescriptor();
  if (const char* s = d.String(r.label)) label_ = s;
  if (const char* s = d.String(r.text)) caption_ = s;
  if (const char* s = d.String(r.picture)) picture_ = s;
  if (const char* s = d.String(r.tip)) tip_ = s;
  if (r.has_use && r.use) binding_.has_use = d.Use(r.use, &binding_.use);
  if (!r.has_position) not_given_ |= kWidthNotGiven | kHeightNotGiven;
}

Control::~Control() {
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

int Control::Justification() const {
  if (attributes_ & kJustifyRight) return 2;
  if (attributes_ & kJustifyCentre) return 1;
  return 0;
}

HFONT Control::Font() const { return window_->font.handle; }

SIZE Control::NaturalSize(HDC dc) const {
  SIZE s{0, 0};
  const std::string text = CreationText();
  if (!text.empty()) GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &s);
  s.cx += 4;
  if (s.cy < window_->font.height) s.cy = window_->font.height;
  return s;
}

void Control::TakeValues(const std::vector<std::uint32_t>& values) { alert_keys_ = values; }

bool Control::CreatePlatformWindow() {
  ControlClass* cls = Class();
  if (!cls || !window_->hwnd) return false;
  if (!RegisterControlClass(cls)) return false;
  // Sides that were not given take the natural size.
  if (position_.width == kNotGiven) not_given_ |= kWidthNotGiven;
  if (position_.height == kNotGiven) not_given_ |= kHeightNotGiven;
  RECT r = window_->UnitsToPixels(position_);
  if (not_given_ & (kWidthNotGiven | kHeightNotGiven)) {
    HDC dc = GetDC(window_->hwnd);
    HGDIOBJ old = SelectObject(dc, Font());
    const SIZE n = NaturalSize(dc);
    SelectObject(dc, old);
    ReleaseDC(window_->hwnd, dc);
    if (not_given_ & kWidthNotGiven) {
      r.right = r.left + n.cx;
      position_.width = window_->scale.FromX(n.cx);
    }
    if (not_given_ & kHeightNotGiven) {
      r.bottom = r.top + n.cy;
      position_.height = window_->scale.FromY(n.cy);
    }
  }
  if (position_.x == kNotGiven) position_.x = 0;
  if (position_.y == kNotGiven) position_.y = 0;
  pixel_rect_ = r;
  const char* class_name = cls->state == 2 ? cls->base : cls->name;
  DWORD style = WS_CHILD | WS_VISIBLE | Style();
  if (EndsRadioGroup()) style |= WS_GROUP;
  HWND h = CreateWindowExA(ExStyle(), class_name, CreationText().c_str(), style, r.left,
                           r.top, r.right - r.left, r.bottom - r.top, window_->hwnd,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(field_ + kChildIdBase)),
                           GetModuleHandleA(nullptr), this);
  if (!h) return false;
  hwnd_ = h;
  SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  AfterCreate();
  UpdateControlTip(this);
  return true;
}

// The arrow keys move between the radios of one group, which runs from a control with
// WS_GROUP to the next one: the first control made after a run of radios starts a new group,
// or the arrows would leave the radios for the controls that follow them.
bool Control::EndsRadioGroup() const {
  if (kind_ == kKindRadio) return false;
  const auto self = std::find(window_->controls.begin(), window_->controls.end(), this);
  return self != window_->controls.begin() && self != window_->controls.end() && (*(self - 1))->kind() == kKindRadio;
}

void Control::MoveToUnits(const DescriptorPosition& p) {
  position_ = p;
  pixel_rect_ = window_->UnitsToPixels(p);
  if (hwnd_)
    MoveWindow(hwnd_, pixel_rect_.left, pixel_rect_.top, pixel_rect_.right - pixel_rect_.left,
               pixel_rect_.bottom - pixel_rect_.top, TRUE);
}

void Control::Display() {
  if (!hwnd_ || !binding_.address) return;
  shown_ = FormatThroughPicture(VariableText(binding_), picture_);
  SetWindowTextA(hwnd_, shown_.c_str());
}

void Control::Refresh() {
  if (!hwnd_ || !binding_.address) return;
  if (FormatThroughPicture(VariableText(binding_), picture_) != shown_) Display();
}

bool Control::CanTakeFocus() const {
  return hwnd_ && IsWindowEnabled(hwnd_) && IsWindowVisible(hwnd_) && (GetWindowLongA(hwnd_, GWL_STYLE) & WS_TABSTOP);
}

void Control::Select() {
  if (!hwnd_) return;
  window_->focus_control = this;
  SetFocus(hwnd_);
}

LRESULT Control::CallBase(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  ControlClass* cls = Class();
  return CallWindowProcA(cls && cls->base_proc ? cls->base_proc : DefWindowProcA, hwnd, msg, wp, lp);
}

LRESULT Control::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_SETFOCUS) FocusGained();
  return CallBase(hwnd, msg, wp, lp);
}

void Control::NoteFocus() {
  window_->focus_control = this;
  PostFieldEvent(kEvSelected);
}

void Control::PostFieldEvent(int event_code) {
  if (window_->IsReport()) {
    RuntimeError(522, nullptr);
    return;
  }
  PostWindowEvent(window_, kEventBase + event_code, this);
}

bool Control::IsAlertKey(int key) const {
  return std::find(alert_keys_.begin(), alert_keys_.end(), static_cast<std::uint32_t>(key)) != alert_keys_.end();
}

void Control::PostAlertKey(int key) {
  if (!IsAlertKey(key)) return;
  if (ThreadRecord* r = ThreadRecordAt(window_->thread - 1))
    r->key_state = (r->key_state & ~0x7FFu) | (static_cast<std::uint32_t>(key) & 0x7FF);
  if (window_->IsReport()) return;
  PostWindowEvent(window_, kEventBase + kEvAlertKey, this, false, key);
}

namespace {

std::string Bool(bool b) { return b ? "1" : ""; }
bool IsTrue(const std::string& v) { return !v.empty() && v != "0"; }
std::string Num(long long v) { return std::to_string(v); }

}  // namespace

bool Control::GetProperty(int code, std::string* out) {
  switch (code) {
    case kPropText: *out = caption_; return true;
    case kPropType: *out = Num(kind_); return true;
    case kPropXpos: *out = Num(position_.x); return true;
    case kPropYpos: *out = Num(position_.y); return true;
    case kPropWidth: *out = Num(position_.width); return true;
    case kPropHeight: *out = Num(position_.height); return true;
    case kPropFontName: *out = window_->font.face; return true;
    case kPropFontSize: *out = Num(window_->font.points); return true;
    case kPropFontColor: *out = Num(static_cast<std::int32_t>(window_->font.color)); return true;
    case kPropFontStyle: *out = Num(static_cast<std::int32_t>(window_->font.style)); return true;
    case kPropFontCharSet: *out = Num(window_->font.charset); return true;
    case kPropDisable: *out = Bool(hwnd_ && !IsWindowEnabled(hwnd_)); return true;
    case kPropEnabled: *out = Bool(hwnd_ && IsWindowEnabled(hwnd_)); return true;
    case kPropHide: *out = Bool(hwnd_ && !(GetWindowLongA(hwnd_, GWL_STYLE) & WS_VISIBLE)); return true;
    case kPropVisible: *out = Bool(hwnd_ && IsWindowVisible(hwnd_)); return true;
    case kPropHandle: *out = Num(reinterpret_cast<std::intptr_t>(hwnd_)); return true;
    case kPropFEQ: *out = Num(field_); return true;
    case kPropUse: *out = label_; return true;
    case kPropUseAddress: *out = Num(reinterpret_cast<std::intptr_t>(binding_.address)); return true;
    case kPropTip: *out = tip_; return true;
    case kPropScreenText: {
      char buf[1024] = "";
      if (hwnd_) GetWindowTextA(hwnd_, buf, sizeof buf);
      *out = buf;
      return true;
    }
    case kPropThread: *out = Num(window_->thread); return true;
    default: return false;
  }
}

bool Control::SetProperty(int code, const std::string& value) {
  const int n = std::atoi(value.c_str());
  DescriptorPosition p = position_;
  switch (code) {
    case kPropText:
      caption_ = value;
      if (hwnd_ && !binding_.address) SetWindowTextA(hwnd_, value.c_str());
      return true;
    case kPropXpos: p.x = n; MoveToUnits(p); return true;
    case kPropYpos: p.y = n; MoveToUnits(p); return true;
    case kPropWidth: p.width = n; not_given_ &= ~kWidthNotGiven; MoveToUnits(p); return true;
    case kPropHeight: p.height = n; not_given_ &= ~kHeightNotGiven; MoveToUnits(p); return true;
    case kPropDisable: SetUsable(!IsTrue(value), true); return true;
    case kPropEnabled: SetUsable(IsTrue(value), true); return true;
    case kPropHide: SetUsable(!IsTrue(value), false); return true;
    case kPropVisible: SetUsable(IsTrue(value), false); return true;
    case kPropTip: tip_ = value; UpdateControlTip(this); return true;
    default: return false;
  }
}

void Control::SetUsable(bool usable, bool by_enabling) {
  if (!hwnd_) return;
  const bool had_focus = !usable && MoveFocusOff(hwnd_);  // no keyboard trap: the focus moves on first
  if (by_enabling) EnableWindow(hwnd_, usable);
  else ShowWindow(hwnd_, usable ? SW_SHOWNA : SW_HIDE);
  if (had_focus) FocusWindowIfLost(hwnd_);
  NotifyAccessible(EVENT_OBJECT_STATECHANGE, hwnd_);
}

bool Control::GetIndexed(int code, int index, std::string* out) {
  if (code == kPropAlrt) {
    *out = index >= 0 && index < static_cast<int>(alert_keys_.size()) ? Num(alert_keys_[index]) : "";
    return true;
  }
  return false;
}

bool Control::SetIndexed(int code, int index, const std::string& value) {
  if (code == kPropAlrt && index >= 0 && index < 255) {
    if (static_cast<int>(alert_keys_.size()) <= index) alert_keys_.resize(index + 1, 0);
    alert_keys_[index] = static_cast<std::uint32_t>(std::atoi(value.c_str()));
    return true;
  }
  return false;
}

bool Control::GetRaw(int, int, std::string*) { return false; }
bool Control::SetRaw(int, int, const std::string&) { return false; }

}  // namespace vel::wsl
