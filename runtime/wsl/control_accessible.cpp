// What every control tells assistive tools; the control classes add their role and value.
#include <oleacc.h>

#include "runtime/wsl/accessible.h"
#include "runtime/wsl/control.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {

long Control::CommonState() const {
  if (!hwnd_) return STATE_SYSTEM_UNAVAILABLE | STATE_SYSTEM_INVISIBLE;
  long state = 0;
  const bool enabled = IsWindowEnabled(hwnd_), visible = IsWindowVisible(hwnd_);
  if (!enabled) state |= STATE_SYSTEM_UNAVAILABLE;
  if (!visible) state |= STATE_SYSTEM_INVISIBLE;
  if (enabled && visible && (GetWindowLongA(hwnd_, GWL_STYLE) & WS_TABSTOP)) state |= STATE_SYSTEM_FOCUSABLE;
  HWND focus = GetFocus();
  if (focus && (focus == hwnd_ || IsChild(hwnd_, focus))) state |= STATE_SYSTEM_FOCUSED | STATE_SYSTEM_FOCUSABLE;
  return state;
}

// The prompt made just before the control (field order), as the platform's dialogs label an
// entry by the static text before it.
const Control* Control::LabelPrompt() const {
  const Control* before = nullptr;
  for (const Control* c : window_->controls)
    if (c->field() < field_ && (!before || c->field() > before->field())) before = c;
  return before && before->kind() == kKindPrompt ? before : nullptr;
}

void Control::Describe(AccessibleFacts* f) const {
  f->role = ROLE_SYSTEM_CLIENT;
  f->name = AccessibleText(caption_);
  f->state = CommonState();
}

}  // namespace vel::wsl
