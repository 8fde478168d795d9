#include "runtime/controls/button_controls.h"

#include <oleacc.h>

#include <algorithm>
#include <cstdlib>

#include "runtime/wsl/accessible.h"
#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/icons.h"
#include "runtime/wsl/keyboard.h"
#include "runtime/wsl/locator.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/value_text.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

ControlClass g_button_class{"VelButton", "button", 0, nullptr, 0, 0, 0};
ControlClass g_check_class{"VelCheck", "button", 0, nullptr, 0, 0, 0};
ControlClass g_option_class{"VelOption", "Button", 0, nullptr, 0, 0, 0};
ControlClass g_radio_class{"VelRadio", "button", 0, nullptr, 0, 0, 0};
ControlClass g_group_class{"VelGroup", "Button", 0, nullptr, 0, 0, 0};

SIZE TextExtent(HDC dc, const std::string& text) {
  SIZE s{0, 0};
  if (!text.empty()) GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &s);
  return s;
}

// A box and its caption: the box is as wide as the font is high.
SIZE BoxedCaptionSize(const Control* c, HDC dc) {
  SIZE s = TextExtent(dc, c->caption());
  s.cx += c->window()->font.height + 8;
  s.cy = std::max<LONG>(c->window()->scale.Y(10), c->window()->font.height);
  return s;
}

bool On(const std::string& v) { return !v.empty() && v != "0"; }

bool Checked(HWND h) { return h && SendMessageA(h, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// Assistive tools press a button, check box or radio as a click does (posted: the click runs
// in the loop, not inside the tool's call).
bool Click(HWND h) {
  if (!h || !IsWindowEnabled(h) || !IsWindowVisible(h)) return false;
  PostMessageA(h, BM_CLICK, 0, 0);
  return true;
}

}  // namespace

// --- VelButton

ButtonControl::ButtonControl(Window* window, const ControlRecord& r)
    : Control(window, r), is_default_(r.is_default != 0), key_(r.key) {
  if (const char* s = OpeningDescriptor().String(r.icon)) icon_name_ = s;
}

ButtonControl::~ButtonControl() {
  if (icon_) DestroyIcon(icon_);
}

ControlClass* ButtonControl::Class() { return &g_button_class; }

DWORD ButtonControl::Style() const {
  return WS_TABSTOP | (is_default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | (icon_name_.empty() ? 0 : BS_ICON);
}

std::string ButtonControl::CreationText() const { return caption_; }

SIZE ButtonControl::NaturalSize(HDC dc) const {
  SIZE s = TextExtent(dc, CreationText());
  s.cx = std::max<LONG>(s.cx + 2 * window_->font.avg_width + 8, window_->scale.X(40));
  s.cy = window_->scale.Y(14);
  return s;
}

void ButtonControl::LoadButtonIcon() {
  if (icon_name_.empty() || !hwnd_) return;
  HICON icon = LoadIconByName(icon_name_, true);
  if (!icon) icon = LoadIconByName(icon_name_, false);
  if (!icon) {
    // No such icon: the button shows its caption, or ".." when it has none.
    SetWindowLongA(hwnd_, GWL_STYLE, GetWindowLongA(hwnd_, GWL_STYLE) & ~BS_ICON);
    if (caption_.empty()) SetWindowTextA(hwnd_, "..");
    return;
  }
  if (icon_) DestroyIcon(icon_);
  icon_ = icon;
  SendMessageA(hwnd_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon_));
}

void ButtonControl::AfterCreate() { LoadButtonIcon(); }

void ButtonControl::OnCommand(int notification) {
  if (notification == BN_CLICKED) PostFieldEvent(kEvAccepted);
}

// As a click, with the key in the event's key state (LastKeyCode).
void ButtonControl::PressByKey(int key_code) {
  if (window_->IsReport()) return;
  PostWindowEvent(window_, kEventBase + kEvAccepted, this, false, key_code);
}

bool ButtonControl::GetProperty(int code, std::string* out) {
  switch (code) {
    case kPropIcon: *out = icon_name_; return true;
    case kPropKey: *out = std::to_string(key_); return true;
    case kPropDefault: *out = is_default_ ? "1" : ""; return true;
    default: return Control::GetProperty(code, out);
  }
}

bool ButtonControl::SetProperty(int code, const std::string& value) {
  switch (code) {
    case kPropText:
      caption_ = value;
      if (hwnd_) SetWindowTextA(hwnd_, value.c_str());
      return true;
    case kPropIcon:
      icon_name_ = value;
      if (hwnd_) SetWindowLongA(hwnd_, GWL_STYLE, GetWindowLongA(hwnd_, GWL_STYLE) | BS_ICON);
      LoadButtonIcon();
      return true;
    case kPropKey: key_ = static_cast<std::uint32_t>(std::atoi(value.c_str())); return true;
    default: return Control::SetProperty(code, value);
  }
}

void ButtonControl::Describe(AccessibleFacts* f) const {
  f->role = ROLE_SYSTEM_PUSHBUTTON;
  f->name = AccessibleText(caption_);
  if (f->name.empty()) f->name = tip_;  // an icon-only button is named by its tip
  else if (!tip_.empty()) f->description = tip_;
  f->state = CommonState() | (is_default_ ? STATE_SYSTEM_DEFAULT : 0);
  f->action = "Press";
  f->shortcut = KeyCode() ? KeyCodeText(KeyCode()) : MnemonicShortcut(caption_);
}

bool ButtonControl::DoDefaultAction(int child) { return child == 0 && Click(hwnd_); }

// --- VelCheck

CheckControl::CheckControl(Window* window, const ControlRecord& r) : Control(window, r) {
  const Descriptor& d = OpeningDescriptor();
  if (const char* s = d.String(r.true_value)) true_value_ = s;
  if (const char* s = d.String(r.false_value)) false_value_ = s;
}

ControlClass* CheckControl::Class() { return &g_check_class; }
DWORD CheckControl::Style() const { return WS_TABSTOP | BS_AUTOCHECKBOX; }
SIZE CheckControl::NaturalSize(HDC dc) const { return BoxedCaptionSize(this, dc); }

void CheckControl::Display() {
  if (!hwnd_ || !binding_.address) return;
  shown_ = VariableText(binding_);
  const bool was = Checked(hwnd_);
  SendMessageA(hwnd_, BM_SETCHECK, shown_ == true_value_ ? BST_CHECKED : BST_UNCHECKED, 0);
  if (was != Checked(hwnd_)) NotifyAccessible(EVENT_OBJECT_STATECHANGE, hwnd_);
}

void CheckControl::Update() {
  if (!hwnd_ || !binding_.address) return;
  const bool checked = SendMessageA(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
  AssignVariable(binding_, checked ? true_value_ : false_value_);
  shown_ = VariableText(binding_);
}

void CheckControl::Refresh() {
  if (hwnd_ && binding_.address && VariableText(binding_) != shown_) Display();
}

int CheckControl::Choice() const { return hwnd_ && SendMessageA(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void CheckControl::OnCommand(int notification) {
  if (notification != BN_CLICKED) return;
  Update();  // at once: an idle refresh before the event's delivery must not undo the click
  NotifyAccessible(EVENT_OBJECT_STATECHANGE, hwnd_);
  PostFieldEvent(kEvAccepted);
}

void CheckControl::Describe(AccessibleFacts* f) const {
  f->role = ROLE_SYSTEM_CHECKBUTTON;
  f->name = AccessibleText(caption_);
  f->state = CommonState() | (Checked(hwnd_) ? STATE_SYSTEM_CHECKED : 0);
  f->action = Checked(hwnd_) ? "Uncheck" : "Check";
  f->shortcut = MnemonicShortcut(caption_);
}

bool CheckControl::DoDefaultAction(int child) { return child == 0 && Click(hwnd_); }

bool CheckControl::GetProperty(int code, std::string* out) {
  switch (code) {
    case kPropTrueValue: *out = true_value_; return true;
    case kPropFalseValue: *out = false_value_; return true;
    case kPropChecked:
    case kPropCheck: *out = Choice() ? "1" : ""; return true;
    default: return Control::GetProperty(code, out);
  }
}

bool CheckControl::SetProperty(int code, const std::string& value) {
  switch (code) {
    case kPropTrueValue: true_value_ = value; return true;
    case kPropFalseValue: false_value_ = value; return true;
    case kPropChecked:
    case kPropCheck:
      if (hwnd_) SendMessageA(hwnd_, BM_SETCHECK, On(value) ? BST_CHECKED : BST_UNCHECKED, 0);
      Update();
      return true;
    default: return Control::SetProperty(code, value);
  }
}

// --- VelOption and VelRadio

OptionControl::~OptionControl() {
  for (RadioControl* r : radios_) r->set_option(nullptr);
}

ControlClass* OptionControl::Class() { return &g_option_class; }

void OptionControl::Display() {
  if (!binding_.address) return;
  shown_ = VariableText(binding_);
  for (RadioControl* r : radios_)
    if (r->hwnd()) SendMessageA(r->hwnd(), BM_SETCHECK, r->value() == shown_ ? BST_CHECKED : BST_UNCHECKED, 0);
  MoveTabStopToChoice();
}

// Tab enters the radios at the checked one (the first when none is checked), as in the
// platform's dialogs: only that radio is a tab stop.
void OptionControl::MoveTabStopToChoice() {
  const int choice = Choice();
  for (std::size_t i = 0; i < radios_.size(); ++i) {
    HWND h = radios_[i]->hwnd();
    if (!h) continue;
    const bool stop = choice ? static_cast<int>(i + 1) == choice : i == 0;
    const LONG style = GetWindowLongA(h, GWL_STYLE);
    SetWindowLongA(h, GWL_STYLE, stop ? style | WS_TABSTOP : style & ~WS_TABSTOP);
    NotifyAccessible(EVENT_OBJECT_STATECHANGE, h);  // checked or not, as the choice now is
  }
}

void OptionControl::Describe(AccessibleFacts* f) const {
  f->role = ROLE_SYSTEM_GROUPING;
  f->name = AccessibleText(caption_);
  f->state = CommonState();
}

void OptionControl::Refresh() {
  if (binding_.address && VariableText(binding_) != shown_) Display();
}

int OptionControl::Choice() const {
  for (std::size_t i = 0; i < radios_.size(); ++i)
    if (radios_[i]->hwnd() && SendMessageA(radios_[i]->hwnd(), BM_GETCHECK, 0, 0) == BST_CHECKED)
      return static_cast<int>(i + 1);
  return 0;
}

bool OptionControl::SetProperty(int code, const std::string& value) {
  const bool answered = Control::SetProperty(code, value);
  if (code == kPropDisable || code == kPropEnabled || code == kPropHide || code == kPropVisible)
    for (RadioControl* r : radios_) r->SetProperty(code, value);
  return answered;
}

void OptionControl::RemoveRadio(RadioControl* radio) {
  radios_.erase(std::remove(radios_.begin(), radios_.end(), radio), radios_.end());
}

void OptionControl::Choose(RadioControl* radio) {
  if (binding_.address) {
    AssignVariable(binding_, radio->value());
    shown_ = VariableText(binding_);
  }
  MoveTabStopToChoice();
  PostFieldEvent(kEvAccepted);
}

RadioControl::RadioControl(Window* window, const ControlRecord& r) : Control(window, r) {
  if (const char* s = OpeningDescriptor().String(r.value)) value_ = s;
  // A radio belongs to the option created last before it.
  for (auto it = window->controls.rbegin(); it != window->controls.rend(); ++it) {
    if ((*it)->kind() == kKindOption) {
      option_ = static_cast<OptionControl*>(*it);
      option_->AddRadio(this);
      break;
    }
  }
}

RadioControl::~RadioControl() {
  if (option_) option_->RemoveRadio(this);
}

ControlClass* RadioControl::Class() { return &g_radio_class; }

DWORD RadioControl::Style() const {
  // The first radio of its option starts the keyboard group.
  bool first = true;
  for (Control* c : window_->controls) {
    if (c == this) break;
    if (c->kind() == kKindRadio && static_cast<RadioControl*>(c)->option_ == option_) first = false;
  }
  return BS_AUTORADIOBUTTON | (first ? WS_GROUP | WS_TABSTOP : 0);
}

SIZE RadioControl::NaturalSize(HDC dc) const { return BoxedCaptionSize(this, dc); }

void RadioControl::OnCommand(int notification) {
  if (notification == BN_CLICKED && option_) option_->Choose(this);
}

void RadioControl::Describe(AccessibleFacts* f) const {
  f->role = ROLE_SYSTEM_RADIOBUTTON;
  f->name = AccessibleText(caption_);
  f->state = CommonState() | (Checked(hwnd_) ? STATE_SYSTEM_CHECKED : 0);
  // Tab reaches only the checked radio; the others are reached with the arrows.
  if (!(f->state & STATE_SYSTEM_UNAVAILABLE)) f->state |= STATE_SYSTEM_FOCUSABLE;
  f->action = "Check";
  f->shortcut = MnemonicShortcut(caption_);
}

bool RadioControl::DoDefaultAction(int child) { return child == 0 && Click(hwnd_); }

bool RadioControl::GetProperty(int code, std::string* out) {
  if (code == kPropValue) { *out = value_; return true; }
  if (code == kPropIsRadio) { *out = "1"; return true; }
  return Control::GetProperty(code, out);
}

bool RadioControl::SetProperty(int code, const std::string& value) {
  if (code == kPropValue) { value_ = value; return true; }
  if (code == kPropText) {
    caption_ = value;
    if (hwnd_) SetWindowTextA(hwnd_, value.c_str());
    return true;
  }
  return Control::SetProperty(code, value);
}

ControlClass* GroupControl::Class() { return &g_group_class; }

void GroupControl::Describe(AccessibleFacts* f) const {
  f->role = ROLE_SYSTEM_GROUPING;
  f->name = AccessibleText(caption_);
  f->state = CommonState();
}

}  // namespace vel::wsl
