// Tagging rows: the list's Mark property names the field of the queue's record that holds a
// row's tag (0 untagged, anything else tagged); the list writes 1 or 0 there and stores the row
// back, so the program reads tags from its queue as it reads every other field.
//
//   Space          toggles the selected row, unless a type-ahead text is still pending (typed
//                  within the pause): then it is one more character of that text.
//   Ctrl+click     selects the row and toggles it.
//   Shift+click    selects the row and tags every row shown between the anchor and it (in a
//                  tree, the rows on screen between them; rows inside a closed folder are
//                  left as they are). The anchor stays, as a list box keeps it.
//   click, Space   make the row the anchor.
// Every change posts EVENT:NewSelection, so the program learns that what is chosen in the list
// changed, and tells assistive tools the rows' new states (STATE_SYSTEM_CHECKED).
#include <algorithm>

#include "runtime/controls/list_control.h"
#include "runtime/controls/list_internal.h"
#include "runtime/wsl/accessible.h"
#include "runtime/wsl/event_codes.h"

namespace vel::wsl {

using namespace listimpl;

namespace {

constexpr int kMinGutter = 12;

}  // namespace

int ListControl::MarkGutter() const { return Tagging() ? std::max(row_height(), kMinGutter) : 0; }

bool ListControl::IsTagged(int queue_row) const {
  QueueEngine* e = Engine();
  if (!Tagging() || !e || queue_row < 1) return false;
  ErrorPreserved keep;
  if (QueueLoadRow(e, queue_row) != 0) return false;
  return ValueAsInt(QueueRowField(e, mark_field_)) != 0;
}

bool ListControl::TypeAheadPending() const { return !typed_.empty() && GetTickCount() - typed_at_ <= kTypeAheadPause; }

// Writes the tag of one row; false when nothing changed: no such row or field, the row already
// so, or a field that holds no number (a Mark naming a text field tags nothing).
bool ListControl::StoreTag(int queue_row, bool on) {
  QueueEngine* e = Engine();
  if (!Tagging() || !e || queue_row < 1 || queue_row > QueueCount()) return false;
  ErrorPreserved keep;
  if (QueueLoadRow(e, queue_row) != 0) return false;
  const TypedRef ref = QueueRowField(e, mark_field_);
  if (!ref.address || (ValueAsInt(ref) != 0) == on) return false;
  StoreInt(ref, on ? 1 : 0);
  if ((ValueAsInt(ref) != 0) != on) return false;
  QueueStoreRow(e);
  return true;
}

void ListControl::ToggleTag(int queue_row) {
  if (!queue_row) return;
  tag_anchor_ = queue_row;
  if (StoreTag(queue_row, !IsTagged(queue_row))) TagsChanged(queue_row, queue_row);
}

void ListControl::TagClick(int queue_row, WPARAM keys) {
  if (!Tagging()) return;
  if (keys & MK_CONTROL) {
    ToggleTag(queue_row);
    return;
  }
  if (!(keys & MK_SHIFT)) {
    tag_anchor_ = queue_row;
    return;
  }
  const int to = VisibleIndexOf(queue_row);
  const int from = tag_anchor_ ? VisibleIndexOf(tag_anchor_) : -1;
  if (from < 0) {  // no anchor on screen (never clicked, or inside a closed folder now)
    ToggleTag(queue_row);
    return;
  }
  bool changed = false;
  for (int v = std::min(from, to); v <= std::max(from, to); ++v) changed |= StoreTag(QueueRowOf(v), true);
  if (changed) TagsChanged(QueueRowOf(std::min(from, to)), QueueRowOf(std::max(from, to)));
}

// After tags of the rows from `first` to `last` (queue positions, in visible order) changed.
void ListControl::TagsChanged(int first, int last) {
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
  const int a = VisibleIndexOf(first), b = VisibleIndexOf(last);
  for (int v = a; a >= 0 && v <= b; ++v) NotifyAccessible(EVENT_OBJECT_STATECHANGE, hwnd_, v + 1);
  PostFieldEvent(kEvNewSelection);
}

// The check mark of a tagged row, centred in the gutter `r`: a tick of two strokes, drawn in the
// row's text colour so it shows on the selection's highlight too.
void ListControl::PaintMark(HDC dc, const RECT& r, COLORREF color) const {
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int size = std::max(6, std::min(w, h) - 6);
  const int left = r.left + (w - size) / 2, top = r.top + (h - size) / 2;
  HPEN pen = CreatePen(PS_SOLID, 2, color);
  HGDIOBJ old = SelectObject(dc, pen);
  const POINT tick[] = {{left, top + size / 2}, {left + size / 3, top + size - 1}, {left + size, top}};
  Polyline(dc, tick, 3);
  SelectObject(dc, old);
  DeleteObject(pen);
}

}  // namespace vel::wsl
