// What a list tells assistive tools: a list, an outline (a tree) or a combo box (a drop list),
// with one simple child per visible row: its name the row's first column, the other columns
// in its description ("File Size: 12 KB"), its states (selected, focused, expanded, collapsed,
// off screen, and checked for a tagged row of a list that tags), and for a tree row its level as its value, as outline items tell it. Selecting
// a row from a tool is the user's selection, with the same events; a row's default action is
// what Enter does on it.
#include <oleacc.h>

#include <algorithm>

#include "runtime/controls/list_control.h"
#include "runtime/controls/list_internal.h"
#include "runtime/wsl/accessible.h"

namespace vel::wsl {

using namespace listimpl;

std::string ListControl::RowCellText(int queue_row, int column) const {
  Cell cell;
  return LoadCell(queue_row, column, &cell) ? cell.text : std::string();
}

void ListControl::Describe(AccessibleFacts* f) const {
  ErrorPreserved keep;
  f->role = drop_rows_ ? ROLE_SYSTEM_COMBOBOX : FirstTreeColumn() >= 0 ? ROLE_SYSTEM_OUTLINE : ROLE_SYSTEM_LIST;
  const Control* label = LabelPrompt();
  if (label) f->name = AccessibleText(label->caption());
  else if (!tip_.empty()) f->name = tip_;
  else if (!fmt_.columns.empty() && fmt_.columns[0].has_header) f->name = AccessibleText(fmt_.columns[0].header);
  if (label && !tip_.empty()) f->description = tip_;
  f->state = CommonState();
  if (drop_rows_) {
    f->state |= dropped() ? STATE_SYSTEM_EXPANDED : STATE_SYSTEM_COLLAPSED;
    f->value = selected_ ? RowCellText(selected_, TypeAheadColumn()) : std::string();
    f->action = dropped() ? "Close" : "Open";
  }
}

int ListControl::AccessibleChildCount() const {
  ErrorPreserved keep;
  return RowCount();
}

bool ListControl::DescribeChild(int child, AccessibleFacts* f) const {
  ErrorPreserved keep;
  const int q = QueueRowOf(child - 1);
  if (!q) return false;
  const bool tree = FirstTreeColumn() >= 0;
  f->role = tree ? ROLE_SYSTEM_OUTLINEITEM : ROLE_SYSTEM_LISTITEM;
  const int first = TypeAheadColumn();
  f->name = RowCellText(q, first);
  for (std::size_t i = 0; i < fmt_.columns.size(); ++i) {
    if (static_cast<int>(i) == first || fmt_.columns[i].width <= 0) continue;
    const std::string text = RowCellText(q, static_cast<int>(i));
    if (text.empty()) continue;
    const std::string header = AccessibleText(fmt_.columns[i].header);
    if (!f->description.empty()) f->description += ", ";
    f->description += header.empty() ? text : header + ": " + text;
  }
  f->state = STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_FOCUSABLE;
  if (q == selected_) {
    f->state |= STATE_SYSTEM_SELECTED;
    if (GetFocus() == hwnd_) f->state |= STATE_SYSTEM_FOCUSED;
  }
  if (IsTagged(q)) f->state |= STATE_SYSTEM_CHECKED;
  RECT r;
  const bool shown = drop_rows_ ? dropped() : (child - 1 >= top_ && child - 1 < top_ + page_rows());
  if (!shown || !VisibleRowRect(child - 1, &r, false)) f->state |= STATE_SYSTEM_OFFSCREEN;
  if (tree) {
    const int level = TreeLevel(q);
    if (level <= 0) f->state |= STATE_SYSTEM_COLLAPSED;
    else if (HasVisibleChildren(q)) f->state |= STATE_SYSTEM_EXPANDED;
    f->value = std::to_string(Depth(level));
  }
  if (!IsWindowEnabled(hwnd_)) f->state |= STATE_SYSTEM_UNAVAILABLE;
  f->action = drop_rows_ ? "Select" : "Double Click";
  return true;
}

bool ListControl::ChildLocation(int child, RECT* screen) const {
  return child >= 1 && VisibleRowRect(child - 1, screen, true);
}

int ListControl::ChildAt(POINT screen) const {
  ErrorPreserved keep;
  HWND host = drop_rows_ ? drop_popup_ : hwnd_;
  if (!host) return 0;
  POINT p = screen;
  ScreenToClient(host, &p);
  RECT client;
  GetClientRect(host, &client);
  if (!PtInRect(&client, p)) return 0;
  const int row = HitRow(p.y, drop_rows_ != 0);
  return row ? VisibleIndexOf(row) + 1 : 0;
}

int ListControl::FocusedChild() const {
  ErrorPreserved keep;
  return GetFocus() == hwnd_ && selected_ ? VisibleIndexOf(selected_) + 1 : 0;
}

int ListControl::SelectedChild() const {
  ErrorPreserved keep;
  return selected_ ? VisibleIndexOf(selected_) + 1 : 0;
}

bool ListControl::SelectChild(int child, long flags) {
  ErrorPreserved keep;
  if (child < 1 || child > RowCount() || !hwnd_ || !IsWindowEnabled(hwnd_)) return false;
  if (flags & SELFLAG_TAKEFOCUS) Select();
  if (flags & (SELFLAG_TAKESELECTION | SELFLAG_ADDSELECTION)) SelectForQuery(child - 1);
  return true;
}

bool ListControl::DoDefaultAction(int child) {
  ErrorPreserved keep;
  if (!hwnd_ || !IsWindowEnabled(hwnd_)) return false;
  if (child == 0) {
    if (!drop_rows_) return false;
    dropped() ? CloseDrop(false) : OpenDrop();
    return true;
  }
  if (child > RowCount()) return false;
  SelectForQuery(child - 1);
  if (!drop_rows_) ActivateSelected();
  return true;
}

// The events tools follow: the selection (and the focus, when the list has it) on the row.
void ListControl::NotifySelection() const {
  const int child = selected_ ? VisibleIndexOf(selected_) + 1 : 0;
  if (drop_rows_) NotifyAccessible(EVENT_OBJECT_VALUECHANGE, hwnd_);
  if (child <= 0) return;
  NotifyAccessible(EVENT_OBJECT_SELECTION, hwnd_, child);
  if (GetFocus() == hwnd_) NotifyAccessible(EVENT_OBJECT_FOCUS, hwnd_, child);
}

void ListControl::FocusGained() {
  NoteFocus();
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
  if (const int child = FocusedChild()) NotifyAccessible(EVENT_OBJECT_FOCUS, hwnd_, child);
}

}  // namespace vel::wsl
