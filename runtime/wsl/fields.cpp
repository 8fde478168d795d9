#include "runtime/wsl/fields.h"

#include <climits>

#include "runtime/wsl/control.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/focus.h"
#include "runtime/wsl/runtime_lock.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

template <typename Fn>
void ForRange(int first, int last, Fn fn) {
  RuntimeLockGuard lock;
  Window* w = CurrentOpenWindow();
  if (!w || w->IsReport()) return;
  const FieldRange r = NormaliseFieldRange(w, first, last);
  if (r.empty) return;
  for (Control* c : w->controls)
    if (c->field() >= r.first && c->field() <= r.last && c->hwnd()) fn(c);
}

}  // namespace

FieldRange NormaliseFieldRange(const Window* w, int first, int last) {
  if (first == 0) {
    first = w ? w->first_field : INT_MAX;
    last = w ? w->last_field : INT_MIN;
  } else if (last == 0) {
    last = first;
  }
  if (first > last && first != INT_MAX) {
    const int t = first;
    first = last;
    last = t;
  }
  return {first, last, first == INT_MAX};
}

void DisplayFields(int first, int last) {
  ForRange(first, last, [](Control* c) { c->Display(); });
}

void RefreshFields(int first, int last) {
  ForRange(first, last, [](Control* c) {
    if (c->binding().address) c->Refresh();
  });
}

void SelectField(int field, int a, int b) {
  RuntimeLockGuard lock;
  Window* w = CurrentOpenWindow();
  if (!w) return;
  if (field == 0) {
    w->loop.select_pending = true;
    w->loop.select_cursor = 0;
    PostMessageA(w->hwnd, WM_NULL, 0, 0);
    return;
  }
  Control* c = w->Field(field);
  if (!c) return;
  c->Select();
  // Without a range an entry is entered as Tab enters it: the text selected.
  if (a == 0 && b == 0) SelectTextAsTabDoes(c->hwnd());
}

int FirstField() {
  RuntimeLockGuard lock;
  Window* w = CurrentOpenWindow();
  return w && w->first_field != INT_MAX ? w->first_field : 0;
}

int LastField() {
  RuntimeLockGuard lock;
  Window* w = CurrentOpenWindow();
  return w && w->last_field != INT_MIN ? w->last_field : 0;
}

int SelectedField() {
  RuntimeLockGuard lock;
  Window* w = CurrentOpenWindow();
  return w ? w->selected_field : 0;
}

int FieldChoice(int field) {
  RuntimeLockGuard lock;
  Window* w = CurrentOpenWindow();
  if (!w) return 0;
  Control* c = nullptr;
  if (field) c = w->Field(field);
  else if (w->loop.current) c = w->loop.current->control;
  return c ? c->Choice() : 0;
}

}  // namespace vel::wsl
