// STRING (VelString), ENTRY (VelEdit) and PROMPT (VelPrompt).
#include "runtime/controls/text_controls.h"

#include <oleacc.h>

#include <algorithm>

#include "runtime/wsl/accessible.h"
#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/value_text.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

ControlClass g_string_class{"VelString", nullptr, 0, nullptr, 0, 0, 0};
ControlClass g_edit_class{"VelEdit", "Edit", 0, nullptr, 0, 0, 0};
ControlClass g_prompt_class{"VelPrompt", "Static", 0, nullptr, 0, 0, 0};

// Width a picture of n characters needs, capped at the window's right edge.
int PictureExtent(const Control* c, int chars) {
  Window* w = c->window();
  int px = chars * w->font.avg_width + 6;
  RECT client{};
  if (w->hwnd && GetClientRect(w->hwnd, &client)) {
    const int room = client.right - w->scale.X(c->position().x) - 4;
    if (room > 0 && px > room) px = room;
  }
  return px;
}

}  // namespace

// --- VelString

ControlClass* StringControl::Class() { return &g_string_class; }

SIZE StringControl::NaturalSize(HDC) const {
  const int chars = std::max(PictureWidth(picture()), 1);
  return SIZE{PictureExtent(this, chars), window()->font.height};
}

LRESULT StringControl::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_SETTEXT: {
      const LRESULT r = CallBase(hwnd, msg, wp, lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
      char text[1024] = "";
      GetWindowTextA(hwnd, text, sizeof text);
      HGDIOBJ old = SelectObject(dc, Font());
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      static const UINT kAlign[] = {DT_LEFT, DT_CENTER, DT_RIGHT};
      DrawTextA(dc, text, -1, &r, kAlign[Justification()] | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
      SelectObject(dc, old);
      EndPaint(hwnd, &ps);
      return 0;
    }
    default: return Control::WndProc(hwnd, msg, wp, lp);
  }
}

std::string WindowText(HWND h) {
  if (!h) return {};
  const int n = GetWindowTextLengthA(h);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  GetWindowTextA(h, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(n));
  return text;
}

void StringControl::Describe(AccessibleFacts* f) const {
  f->role = ROLE_SYSTEM_STATICTEXT;
  f->name = WindowText(hwnd_);
  f->state = CommonState() | STATE_SYSTEM_READONLY;
}

// --- VelEdit

ControlClass* EditControl::Class() { return &g_edit_class; }

DWORD EditControl::Style() const {
  static const DWORD kAlign[] = {ES_LEFT, ES_CENTER, ES_RIGHT};
  return WS_TABSTOP | ES_AUTOHSCROLL | kAlign[Justification()] | (attributes_ & kEntryPassword ? ES_PASSWORD : 0);
}

SIZE EditControl::NaturalSize(HDC) const {
  const int chars = std::max(PictureWidth(picture()), 8);
  return SIZE{PictureExtent(this, chars), window()->font.height + 6};
}

void EditControl::AfterCreate() {
  const int width = PictureWidth(picture());
  if (width > 0) SendMessageA(hwnd_, EM_LIMITTEXT, static_cast<WPARAM>(width), 0);
}

void EditControl::Display() {
  // Text the user has typed and not yet moved into the variable survives a display of a
  // variable that has not changed since it was last shown: rewriting the same value would only
  // throw the typing away (a status update's DisplayFields, a window regaining the focus).
  // A variable the program changed is shown, as always.
  if (hwnd_ && binding_.address && SendMessageA(hwnd_, EM_GETMODIFY, 0, 0) &&
      FormatThroughPicture(VariableText(binding_), picture_) == shown_)
    return;
  const std::string before = WindowText(hwnd_);
  Control::Display();
  if (hwnd_) SendMessageA(hwnd_, EM_SETMODIFY, FALSE, 0);
  if (hwnd_ && WindowText(hwnd_) != before) NotifyAccessible(EVENT_OBJECT_VALUECHANGE, hwnd_);
}

void EditControl::Update() {
  if (!hwnd_ || !binding_.address) return;
  const int n = GetWindowTextLengthA(hwnd_);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  GetWindowTextA(hwnd_, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(n));
  AssignVariable(binding_, DeformatThroughPicture(text, picture_));
  shown_ = FormatThroughPicture(VariableText(binding_), picture_);
  SendMessageA(hwnd_, EM_SETMODIFY, FALSE, 0);
}

void EditControl::Refresh() {
  if (hwnd_ && SendMessageA(hwnd_, EM_GETMODIFY, 0, 0)) Update();
  else Control::Refresh();
}

void EditControl::OnCommand(int notification) {
  if (notification == EN_KILLFOCUS && hwnd_ && SendMessageA(hwnd_, EM_GETMODIFY, 0, 0)) {
    Update();
    PostFieldEvent(kEvAccepted);
  }
}

bool EditControl::GetProperty(int code, std::string* out) {
  switch (code) {
    case kPropText: *out = "@" + picture_; return true;  // Text: the entry's picture
    case kPropPassword: *out = hwnd_ && SendMessageA(hwnd_, EM_GETPASSWORDCHAR, 0, 0) ? "1" : ""; return true;
    case kPropReadOnly: *out = hwnd_ && (GetWindowLongA(hwnd_, GWL_STYLE) & ES_READONLY) ? "1" : ""; return true;
    default: return Control::GetProperty(code, out);
  }
}

bool EditControl::SetProperty(int code, const std::string& value) {
  const bool on = !value.empty() && value != "0";
  switch (code) {
    case kPropText:
      picture_ = !value.empty() && value[0] == '@' ? value.substr(1) : value;
      Display();
      return true;
    case kPropPassword:
      if (hwnd_) {
        SendMessageA(hwnd_, EM_SETPASSWORDCHAR, on ? '*' : 0, 0);
        InvalidateRect(hwnd_, nullptr, TRUE);
      }
      return true;
    case kPropReadOnly: if (hwnd_) SendMessageA(hwnd_, EM_SETREADONLY, on, 0); return true;
    default: return Control::SetProperty(code, value);
  }
}

// An entry is named by the prompt before it; a password's value is not told.
void EditControl::Describe(AccessibleFacts* f) const {
  f->role = ROLE_SYSTEM_TEXT;
  const Control* label = LabelPrompt();
  f->name = label ? AccessibleText(label->caption()) : std::string();
  f->shortcut = label ? MnemonicShortcut(label->caption()) : std::string();
  f->state = CommonState();
  if (hwnd_ && (GetWindowLongA(hwnd_, GWL_STYLE) & ES_READONLY)) f->state |= STATE_SYSTEM_READONLY;
  if (hwnd_ && SendMessageA(hwnd_, EM_GETPASSWORDCHAR, 0, 0)) f->state |= STATE_SYSTEM_PROTECTED;
  else f->value = WindowText(hwnd_);
}

// --- VelPrompt

ControlClass* PromptControl::Class() { return &g_prompt_class; }

DWORD PromptControl::Style() const {
  // A left prompt never wraps: a text longer than its box is cut at the end, not hidden.
  static const DWORD kAlign[] = {SS_LEFTNOWORDWRAP, SS_CENTER, SS_RIGHT};
  return kAlign[Justification()];
}

void PromptControl::Describe(AccessibleFacts* f) const {
  f->role = ROLE_SYSTEM_STATICTEXT;
  f->name = AccessibleText(caption_);
  f->state = CommonState() | STATE_SYSTEM_READONLY;
}

bool PromptControl::SetProperty(int code, const std::string& value) {
  if (code == kPropText) {
    caption_ = value;
    if (hwnd_) SetWindowTextA(hwnd_, value.c_str());
    return true;
  }
  return Control::SetProperty(code, value);
}

}  // namespace vel::wsl
