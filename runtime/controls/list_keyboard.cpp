// The list's keyboard: moving the selection, Enter as the double click, the context-menu key
// and Shift+F10 as the right button, a tree's Left/Right and numpad +/-, the open drop list,
// type-ahead, and Space as the tag key of a list that tags (list_tags.cpp).
//
// A tree whose double click is an alert key belongs to the program: only the program knows
// whether a row can open (a folder never listed has no children yet) and lists it when it
// opens. The keys never toggle such a row themselves; they raise the double click's alert for
// it, and only when the key asks for the change the double click would make. Other trees
// toggle through EVENT:Expanding/EVENT:Contracting, which the program may refuse.
//
// Tree keys, with R the selected row:
//   Right   R open with rows below it: to its first child; R closed: open it; R a leaf: open it
//           when the program owns expansion (it may list it), else nothing.
//   Left    R open with rows below it: close it; otherwise: to its parent row.
//   + / -   (numpad) open / close, as Right / Left without the moves.
#include <algorithm>

#include "runtime/controls/list_control.h"
#include "runtime/controls/list_internal.h"
#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/popup_menu.h"
#include "runtime/wsl/tooltips.h"

namespace vel::wsl {

using namespace listimpl;

namespace {

// Upper case in the ANSI code page (letters beyond ASCII too; a double-byte text stays whole).
std::string Folded(std::string text) {
  if (!text.empty()) CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  const std::size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos || text.size() - b < prefix.size()) return false;
  return Folded(text.substr(b, prefix.size())) == Folded(prefix);
}

}  // namespace

void ListControl::OnKey(int vk) {
  if (IsAlertKey(vk)) {
    PostAlertKey(vk);
    return;
  }
  if (dropped()) {
    OnDropKey(vk);
    return;
  }
  const int n = RowCount();
  const int cur = VisibleIndexOf(selected_);
  const int page = drop_rows_ ? std::max(1, drop_rows_) : page_rows();
  switch (vk) {
    case VK_UP: MoveSelection(cur < 0 ? 0 : cur - 1); break;
    case VK_DOWN: MoveSelection(cur < 0 ? 0 : cur + 1); break;
    case VK_PRIOR: MoveSelection(cur < 0 ? 0 : cur - page); break;
    case VK_NEXT: MoveSelection(cur < 0 ? 0 : cur + page); break;
    case VK_HOME: MoveSelection(0); break;
    case VK_END: MoveSelection(n - 1); break;
    case VK_F4: if (drop_rows_) OpenDrop(); break;
    case VK_RETURN: ActivateSelected(); break;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_ADD:
    case VK_SUBTRACT:
      if (FirstTreeColumn() >= 0) {
        OnTreeKey(vk);
      } else if (!drop_rows_ && (vk == VK_LEFT || vk == VK_RIGHT)) {
        hscroll_ += vk == VK_RIGHT ? 16 : -16;
        UpdateScrollBars();
        InvalidateRect(hwnd_, nullptr, FALSE);
      }
      break;
    default: break;
  }
}

// The open drop list: the keys move the highlighted row; Enter takes it, Escape does not.
void ListControl::OnDropKey(int vk) {
  const int n = RowCount();
  const int page = std::max(1, drop_rows_);
  int hot = VisibleIndexOf(drop_hot_);
  switch (vk) {
    case VK_ESCAPE: CloseDrop(false); return;
    case VK_RETURN: CloseDrop(true); return;
    case VK_UP: --hot; break;
    case VK_DOWN: ++hot; break;
    case VK_PRIOR: hot -= page; break;
    case VK_NEXT: hot += page; break;
    case VK_HOME: hot = 0; break;
    case VK_END: hot = n - 1; break;
    default: return;
  }
  if (n <= 0) return;
  drop_hot_ = QueueRowOf(std::clamp(hot, 0, n - 1));
  ShowDropHot();
}

// Scrolls the open drop list so that its highlighted row shows.
void ListControl::ShowDropHot() {
  const int n = RowCount();
  const int hot = VisibleIndexOf(drop_hot_);
  if (!drop_popup_ || hot < 0) return;
  const int rows = std::max(1, std::min(drop_rows_, n));
  if (hot < drop_top_) drop_top_ = hot;
  if (hot >= drop_top_ + rows) drop_top_ = hot - rows + 1;
  SetScrollPos(drop_popup_, SB_VERT, drop_top_, TRUE);
  InvalidateRect(drop_popup_, nullptr, FALSE);
}

void ListControl::OnTreeKey(int vk) {
  const int row = selected_;
  if (!row) return;
  const bool open_with_rows = HasVisibleChildren(row);
  const bool closed = TreeLevel(row) <= 0;
  const bool program_owned = IsAlertKey(kAlertDoubleClick);
  switch (vk) {
    case VK_RIGHT:
      if (open_with_rows) MoveSelection(VisibleIndexOf(row) + 1);
      else if (closed || program_owned) AskToggle(row);
      break;
    case VK_ADD:
      if (!open_with_rows && (closed || program_owned)) AskToggle(row);
      break;
    case VK_LEFT:
      if (open_with_rows) AskToggle(row);
      else if (const int parent = ParentRow(row)) MoveSelection(VisibleIndexOf(parent));
      break;
    case VK_SUBTRACT:
      if (open_with_rows) AskToggle(row);
      break;
    default: break;
  }
}

bool ListControl::HasVisibleChildren(int queue_row) const {
  if (TreeLevel(queue_row) <= 0) return false;
  const int next = QueueRowOf(VisibleIndexOf(queue_row) + 1);
  return next && Depth(TreeLevel(next)) > Depth(TreeLevel(queue_row));
}

int ListControl::ParentRow(int queue_row) const {
  const int depth = Depth(TreeLevel(queue_row));
  for (int v = VisibleIndexOf(queue_row) - 1; v >= 0; --v) {
    const int q = QueueRowOf(v);
    if (Depth(TreeLevel(q)) < depth) return q;
  }
  return 0;
}

void ListControl::AskToggle(int queue_row) {
  if (IsAlertKey(kAlertDoubleClick)) {
    stored_[0] = queue_row - 1;  // the row the program reads as the mouse-down row
    PostAlertKey(kAlertDoubleClick);
    return;
  }
  RequestToggle(queue_row);
}

bool ListControl::WantsEnter() const { return !drop_rows_ && (IsAlertKey(kAlertDoubleClick) || FirstTreeColumn() >= 0); }

// Enter: what the double click does, on the selected row.
void ListControl::ActivateSelected() {
  if (!selected_) return;
  stored_[0] = selected_ - 1;
  if (IsAlertKey(kAlertDoubleClick)) PostAlertKey(kAlertDoubleClick);
  else if (FirstTreeColumn() >= 0) RequestToggle(selected_);
  else PostFieldEvent(kEvAccepted);
}

// The context-menu key and Shift+F10: the right button at the selected row. A menu the program
// opens for it at the mouse position appears below the row.
void ListControl::OnContextKey() {
  if (drop_rows_ || !IsAlertKey(kAlertRightButton)) return;
  stored_[0] = selected_ ? selected_ - 1 : -1;
  RECT r;
  POINT at{0, 0};
  if (selected_ && VisibleRowRect(VisibleIndexOf(selected_), &r, false)) {
    RECT client;
    GetClientRect(hwnd_, &client);
    at = POINT{std::min<LONG>(r.left + 2 * TreeStep(), client.right / 2), std::clamp<LONG>(r.bottom, 0, client.bottom)};
  }
  ClientToScreen(hwnd_, &at);
  SetPopupKeyboardAnchor(hwnd_, at);
  PostAlertKey(kAlertRightButton);
}

int ListControl::TypeAheadColumn() const {
  for (std::size_t i = 0; i < fmt_.columns.size(); ++i)
    if (fmt_.columns[i].flags1 & listfmt::kLocator) return static_cast<int>(i);
  for (std::size_t i = 0; i < fmt_.columns.size(); ++i)
    if (fmt_.columns[i].width > 0) return static_cast<int>(i);
  return -1;
}

// Type-ahead: the next row whose text in the locator column (else the first column) starts
// with what was typed, letters compared without regard to case. Characters typed within a
// second extend the text; the same letter again goes on to the next row that starts with it.
// In an open drop list the highlight moves; elsewhere the selection, as the arrow keys move it
// (EVENT:Locate follows when the column is a locator).
void ListControl::OnChar(int ch) {
  if (ch == ' ' && Tagging() && !dropped() && !TypeAheadPending()) {
    ToggleTag(selected_);
    return;
  }
  const int column = TypeAheadColumn();
  const int n = RowCount();
  if (column < 0 || n <= 0 || ch < ' ') return;
  const DWORD now = GetTickCount();
  if (now - typed_at_ > kTypeAheadPause) typed_.clear();
  typed_at_ = now;
  typed_ += static_cast<char>(ch);
  const std::string folded = Folded(typed_);
  const bool repeated = std::all_of(folded.begin(), folded.end(), [&](char c) { return c == folded[0]; });
  int v = FindTyped(column, repeated ? typed_.substr(0, 1) : typed_);
  if (v < 0 && typed_.size() > 1) {  // nothing starts with it all: a search for the new letter
    typed_.assign(1, static_cast<char>(ch));
    v = FindTyped(column, typed_);
  }
  if (v < 0) return;
  if (dropped()) {
    drop_hot_ = QueueRowOf(v);
    ShowDropHot();
  } else {
    MoveSelection(v);
    if (fmt_.columns[static_cast<std::size_t>(column)].flags1 & listfmt::kLocator) PostFieldEvent(kEvLocate);
  }
}

// The visible row the type-ahead text leads to, -1 for none. A longer text may still match the
// current row; one letter moves on from it.
int ListControl::FindTyped(int column, const std::string& wanted) const {
  const int n = RowCount();
  const int current = VisibleIndexOf(dropped() ? drop_hot_ : selected_);
  const int first = wanted.size() > 1 && current >= 0 ? 0 : 1;
  for (int k = first; k < first + n; ++k) {
    const int v = (current + k + n) % n;
    Cell cell;
    if (LoadCell(QueueRowOf(v), column, &cell) && StartsWith(cell.text, wanted)) return v;
  }
  return -1;
}

}  // namespace vel::wsl
