// The list control's painting: headers, rows of the visible area only, tree lines, expand
// boxes and icons, the closed drop-down list. Everything is drawn into a memory bitmap first.
#include "runtime/controls/list_control.h"

#include <algorithm>
#include <vector>

#include "runtime/controls/list_internal.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {

using namespace listimpl;

// --- painting ------------------------------------------------------------------------------

void ListControl::PaintHeader(HDC dc, const RECT& r) {
  const int h = header_height();
  if (!h) return;
  RECT band{r.left, r.top, r.right, r.top + h};
  FillRect(dc, &band, GetSysColorBrush(COLOR_BTNFACE));
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  static const UINT kAlign[] = {DT_LEFT, DT_RIGHT, DT_CENTER, DT_RIGHT};
  for (std::size_t i = 0; i < fmt_.columns.size(); ++i) {
    const listfmt::Column& c = fmt_.columns[i];
    if (c.width <= 0) continue;
    const bool last = i + 1 == fmt_.columns.size();
    RECT cell{r.left + c.left - hscroll_, r.top, last ? std::max<LONG>(r.right, r.left + c.right + 1 - hscroll_)
                                                       : r.left + c.right + 1 - hscroll_,
              r.top + h};
    DrawEdge(dc, &cell, EDGE_RAISED, BF_RECT | BF_SOFT);
    RECT text{cell.left + 4 + c.header_indent, cell.top + 2, cell.right - 4, cell.bottom - 2};
    DrawTextA(dc, c.header.c_str(), static_cast<int>(c.header.size()), &text,
              kAlign[c.HeaderJustification()] | DT_NOPREFIX | DT_END_ELLIPSIS | (c.header_lines > 1 ? 0 : DT_VCENTER | DT_SINGLELINE));
  }
}

void ListControl::PaintTreeParts(HDC dc, const listfmt::Column& c, int x0, const RECT& row, int queue_row,
                                 int level, bool boxes) {
  const int step = TreeStep();
  const int depth = Depth(level);
  const int mid_y = (row.top + row.bottom) / 2;
  const bool lines = !(c.flags2 & listfmt::kTreeL);
  const bool root_lines = !(c.flags2 & listfmt::kTreeR);
  // Does the row have children on screen, or a sibling further down at its depth?
  QueueEngine* e = Engine();
  const int count = QueueCount();
  bool has_children = false, more_siblings = false;
  std::vector<bool> open_levels(static_cast<std::size_t>(depth + 1), false);
  if (e) {
    if (queue_row < count && QueueLoadRow(e, queue_row + 1) == 0) {
      const int next = ValueAsInt(QueueRowField(e, c.TreeField()));
      has_children = Depth(next) > depth || (next < -kMaxDepth || next > kMaxDepth);
    }
    // Lines of the ancestors continue when a later row comes back to their depth. The
    // look-ahead is bounded so a page costs the same on any queue.
    int pending = depth;  // depths <= pending are still unresolved
    for (int r = queue_row + 1, seen = 0; r <= count && pending > 0 && seen < 512; ++r, ++seen) {
      if (QueueLoadRow(e, r) != 0) break;
      const int l = ValueAsInt(QueueRowField(e, c.TreeField()));
      const int d = Depth(l);
      if (d <= pending) {
        if (d == depth) more_siblings = true;
        else open_levels[static_cast<std::size_t>(d)] = true;
        pending = d - 1;
      }
    }
  }
  const bool expandable = has_children || level <= 0;
  if (lines) {
    HPEN pen = CreatePen(PS_DOT, 1, GetSysColor(COLOR_GRAYTEXT));
    HGDIOBJ old = SelectObject(dc, pen);
    for (int d = root_lines ? 1 : 2; d < depth; ++d)
      if (open_levels[static_cast<std::size_t>(d)]) {
        const int x = x0 + (d - 1) * step + step / 2;
        MoveToEx(dc, x, row.top, nullptr);
        LineTo(dc, x, row.bottom);
      }
    if (root_lines || depth > 1) {
      const int x = x0 + (depth - 1) * step + step / 2;
      const bool first_row = VisibleIndexOf(queue_row) == 0;
      MoveToEx(dc, x, first_row ? mid_y : row.top, nullptr);
      LineTo(dc, x, more_siblings ? row.bottom : mid_y + 1);
      MoveToEx(dc, x, mid_y, nullptr);
      LineTo(dc, x0 + depth * step, mid_y);
    }
    SelectObject(dc, old);
    DeleteObject(pen);
  }
  if (boxes && expandable && !(c.flags2 & listfmt::kTreeB)) {
    const int cx = x0 + (depth - 1) * step + step / 2;
    const int half = 4;
    RECT box{cx - half, mid_y - half, cx + half + 1, mid_y + half + 1};
    FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
    HPEN frame = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_GRAYTEXT));
    HPEN sign = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_WINDOWTEXT));
    HGDIOBJ old = SelectObject(dc, frame);
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, box.left, box.top, box.right, box.bottom);
    SelectObject(dc, sign);
    MoveToEx(dc, cx - 2, mid_y, nullptr);
    LineTo(dc, cx + 3, mid_y);
    if (level <= 0) {
      MoveToEx(dc, cx, mid_y - 2, nullptr);
      LineTo(dc, cx, mid_y + 3);
    }
    SelectObject(dc, old_brush);
    SelectObject(dc, old);
    DeleteObject(frame);
    DeleteObject(sign);
  }
}

// A tree column's icon sits at the row's depth; a plain column's after a 2-pixel margin. The
// text follows the icon's place whether or not the row has an icon, so that rows line up.
int ListControl::IconLeft(const listfmt::Column& c, const Cell& cell) const {
  return c.data_indent + (c.HasTree() ? Depth(cell.level) * TreeStep() : 2);
}

int ListControl::TextLeft(const listfmt::Column& c, const Cell& cell) const {
  const int icon = c.HasIcon() ? (c.HasTree() ? TreeStep() : kIconSize + 4) : 0;
  return IconLeft(c, cell) + icon;
}

void ListControl::PaintRowsAt(HDC dc, const RECT& area, int first_visible, bool in_drop) {
  const int rh = row_height();
  const int n = RowCount();
  const bool focused = GetFocus() == hwnd_ || in_drop;
  static const UINT kAlign[] = {DT_LEFT, DT_RIGHT, DT_CENTER, DT_RIGHT};
  const int gutter = in_drop ? 0 : MarkGutter();
  const LONG columns_right = area.right - gutter;  // the mark's gutter is the rows' right end
  int y = area.top;
  for (int v = first_visible; v < n && y < area.bottom; ++v, y += rh) {
    const int q = QueueRowOf(v);
    RECT row{area.left, y, area.right, y + rh};
    const bool selected = in_drop ? q == drop_hot_ : q == selected_;
    Cell first_cell;
    if (!fmt_.columns.empty()) LoadCell(q, 0, &first_cell);
    if (selected)
      FillRect(dc, &row, GetSysColorBrush(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
    else if (first_cell.colors[1] != kNoColor) {
      HBRUSH b = CreateSolidBrush(Pick(first_cell.colors[1], COLOR_WINDOW));
      FillRect(dc, &row, b);
      DeleteObject(b);
    }
    for (std::size_t i = 0; i < fmt_.columns.size(); ++i) {
      const listfmt::Column& c = fmt_.columns[i];
      if (c.width <= 0) continue;
      const bool last = i + 1 == fmt_.columns.size();
      RECT cell{area.left + c.left - hscroll_, y,
                last ? std::max<LONG>(columns_right, area.left + c.right + 1 - hscroll_) : area.left + c.right + 1 - hscroll_,
                y + rh};
      if (cell.right <= area.left || cell.left >= area.right) continue;
      Cell cl;
      if (!LoadCell(q, static_cast<int>(i), &cl)) continue;
      if (c.HasTree()) PaintTreeParts(dc, c, cell.left + c.data_indent, cell, q, cl.level, !in_drop);
      if (c.HasIcon()) {
        if (HICON icon = IconFor(cl.icon)) {
          const int size = std::min(kIconSize, rh - 2);
          DrawIconEx(dc, cell.left + IconLeft(c, cl), y + (rh - size) / 2, icon, size, size, 0, nullptr, DI_NORMAL);
        }
      }
      const int x = cell.left + TextLeft(c, cl);
      const COLORREF fg = selected ? Pick(cl.colors[2], focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT)
                                   : Pick(cl.colors[0], IsWindowEnabled(hwnd_) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
      SetTextColor(dc, fg);
      RECT text{x, y, cell.right - 2, y + rh};
      DrawTextA(dc, cl.text.c_str(), static_cast<int>(cl.text.size()), &text,
                kAlign[c.Justification()] | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      if (c.flags1 & (listfmt::kRightBorder | listfmt::kUnderline)) {
        HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNFACE));
        HGDIOBJ old = SelectObject(dc, pen);
        if (c.flags1 & listfmt::kRightBorder) {
          MoveToEx(dc, cell.right - 1, y, nullptr);
          LineTo(dc, cell.right - 1, y + rh);
        }
        if (c.flags1 & listfmt::kUnderline) {
          MoveToEx(dc, cell.left, y + rh - 1, nullptr);
          LineTo(dc, cell.right, y + rh - 1);
        }
        SelectObject(dc, old);
        DeleteObject(pen);
      }
    }
    if (gutter) {  // over whatever a wide last column drew there; it stays while scrolling
      const RECT mark{columns_right, y, area.right, y + rh};
      FillRect(dc, &mark, GetSysColorBrush(selected ? (focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE) : COLOR_WINDOW));
      if (IsTagged(q))
        PaintMark(dc, mark, GetSysColor(selected && focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    }
    if (selected && focused && !in_drop) DrawFocusRect(dc, &row);
  }
  // With the focus and no row chosen, the caret row (the first one, where Down goes and what
  // LB_GETCARETINDEX answers) still shows the dotted frame, as a list box draws it: a keyboard
  // user otherwise cannot see that the list has the focus. An empty list frames one row's place.
  if (focused && !in_drop && selected_ == 0 && first_visible == 0) {
    RECT caret{area.left, area.top, area.right, area.top + rh};
    DrawFocusRect(dc, &caret);
  }
}

void ListControl::PaintRows(HDC dc, const RECT& area) { PaintRowsAt(dc, area, top_, false); }

void ListControl::PaintClosedDrop(HDC dc, const RECT& r) {
  RECT button = r;
  button.left = r.right - GetSystemMetrics(SM_CXVSCROLL);
  DrawFrameControl(dc, &button, DFC_SCROLL, DFCS_SCROLLCOMBOBOX | (dropped() ? DFCS_PUSHED : 0));
  RECT text = r;
  text.right = button.left;
  const int v = VisibleIndexOf(selected_);
  if (v < 0) return;
  const bool focused = GetFocus() == hwnd_;
  RECT inner{text.left + 1, text.top + 1, text.right - 1, text.bottom - 1};
  if (focused) FillRect(dc, &inner, GetSysColorBrush(COLOR_HIGHLIGHT));
  const int saved_top = top_;
  top_ = v;
  const int saved_sel = selected_;
  if (!focused) selected_ = 0;  // no highlight in a closed list without the focus
  RECT rows{text.left, text.top + (text.bottom - text.top - row_height()) / 2, text.right, text.bottom};
  PaintRowsAt(dc, rows, v, false);
  selected_ = saved_sel;
  top_ = saved_top;
}

void ListControl::Paint(HDC dc) {
  RECT r;
  GetClientRect(hwnd_, &r);
  // Paint into a memory bitmap: no flicker while scrolling.
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bmp = CreateCompatibleBitmap(dc, std::max<LONG>(r.right, 1), std::max<LONG>(r.bottom, 1));
  HGDIOBJ old_bmp = SelectObject(mem, bmp);
  FillRect(mem, &r, GetSysColorBrush(IsWindowEnabled(hwnd_) ? COLOR_WINDOW : COLOR_BTNFACE));
  HGDIOBJ old_font = SelectObject(mem, Font());
  SetBkMode(mem, TRANSPARENT);
  ErrorPreserved keep;
  if (drop_rows_) {
    PaintClosedDrop(mem, r);
  } else {
    PaintHeader(mem, r);
    RECT rows = r;
    rows.top += RowsTop();
    PaintRows(mem, rows);
  }
  BitBlt(dc, 0, 0, r.right, r.bottom, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old_font);
  SelectObject(mem, old_bmp);
  DeleteObject(bmp);
  DeleteDC(mem);
}


}  // namespace vel::wsl
