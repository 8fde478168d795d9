#include "runtime/controls/list_control.h"

#include <cstdlib>

#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/locator.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

ControlClass g_list_class{"VelList", nullptr, 0, nullptr, 0, 0, 0};
ControlClass g_drop_class{"VelDrop", nullptr, 0, nullptr, 0, 0, 0};

constexpr int kAlertRightButton = 2;
constexpr int kAlertDoubleClick = 5;

}  // namespace

ListControl::ListControl(Window* window, const ControlRecord& r) : Control(window, r), drop_rows_(r.drop) {
  if (const char* s = OpeningDescriptor().String(r.format)) SetFormat(s);
}

ControlClass* ListControl::Class() { return drop_rows_ ? &g_drop_class : &g_list_class; }

SIZE ListControl::NaturalSize(HDC) const {
  const int row = window_->font.height + 2;
  return SIZE{window_->scale.X(100), drop_rows_ ? row + 4 : row * 6};
}

// Columns for painting: each column starts with its width in the window's unit, and a header
// is the text between the first pair of "~" in it.
void ListControl::SetFormat(const std::string& format) {
  format_ = format;
  columns_.clear();
  std::size_t i = 0;
  while (i < format.size()) {
    if (format[i] < '0' || format[i] > '9') {
      ++i;
      continue;
    }
    const int width = std::atoi(format.c_str() + i);
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') ++i;
    std::size_t end = i;
    // The column runs to the next digit that follows a closing "@" (its picture) or the end.
    std::size_t at = format.find('@', i);
    if (at != std::string::npos) at = format.find('@', at + 1);
    end = at == std::string::npos ? format.size() : at + 1;
    std::string header;
    const std::size_t t1 = format.find('~', i);
    if (t1 != std::string::npos && t1 < end) {
      const std::size_t t2 = format.find('~', t1 + 1);
      if (t2 != std::string::npos && t2 < end) header = format.substr(t1 + 1, t2 - t1 - 1);
    }
    columns_.push_back({window_->scale.X(width), header});
    i = end;
  }
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void ListControl::Display() {
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void ListControl::SelectRow(int row) {
  if (row == selected_) return;
  selected_ = row;
  PostFieldEvent(kEvNewSelection);
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void ListControl::Paint(HDC dc) {
  RECT r;
  GetClientRect(hwnd_, &r);
  FillRect(dc, &r, GetSysColorBrush(IsWindowEnabled(hwnd_) ? COLOR_WINDOW : COLOR_BTNFACE));
  HGDIOBJ old = SelectObject(dc, Font());
  SetBkMode(dc, TRANSPARENT);
  if (drop_rows_) {
    // The closed drop list: its text area and the button that drops it.
    RECT button = r;
    button.left = r.right - GetSystemMetrics(SM_CXVSCROLL);
    DrawFrameControl(dc, &button, DFC_SCROLL, DFCS_SCROLLCOMBOBOX);
  }
  bool any_header = false;
  for (const HeaderColumn& c : columns_) any_header |= !c.header.empty();
  RECT rows = r;
  if (any_header && !drop_rows_) {
    const int h = window_->font.height + 4;
    int x = r.left;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      const bool last = i + 1 == columns_.size();
      RECT cell{x, r.top, last ? r.right : x + columns_[i].width_px, r.top + h};
      DrawFrameControl(dc, &cell, DFC_BUTTON, DFCS_BUTTONPUSH);
      RECT text = cell;
      text.left += 4;
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      DrawTextA(dc, columns_[i].header.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      x = cell.right;
      if (x >= r.right) break;
    }
    rows.top += h;
  }
  PaintRows(dc, rows);
  SelectObject(dc, old);
}

LRESULT ListControl::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      Paint(dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      SetFocus(hwnd);
      return 0;
    case WM_RBUTTONDOWN:
      SetFocus(hwnd);
      PostAlertKey(kAlertRightButton);
      return 0;
    case WM_LBUTTONDBLCLK:
      PostAlertKey(kAlertDoubleClick);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case LB_GETCOUNT:
      return RowCount();
    case LB_GETTEXTLEN: {
      const int row = static_cast<int>(wp) + 1;
      return row >= 1 && row <= RowCount() ? static_cast<LRESULT>(RowText(row).size()) : LB_ERR;
    }
    case LB_GETTEXT: {
      const int row = static_cast<int>(wp) + 1;
      if (row < 1 || row > RowCount() || !lp) return LB_ERR;
      const std::string text = RowText(row);
      memcpy(reinterpret_cast<char*>(lp), text.c_str(), text.size() + 1);
      return static_cast<LRESULT>(text.size());
    }
    case LB_GETCURSEL:
      return selected_ ? selected_ - 1 : LB_ERR;
    default:
      break;
  }
  return Control::WndProc(hwnd, msg, wp, lp);
}

bool ListControl::GetProperty(int code, std::string* out) {
  switch (code) {
    case 0x7C85: *out = GetFormat(); return true;                       // Format
    case 0x7C8F: *out = std::to_string(selected_); return true;         // Selected
    case 0x7C8E: *out = std::to_string(RowCount()); return true;        // Items
    case 0x7C60: *out = std::to_string(drop_rows_); return true;        // Drop
    case 0x7C20: case 0x7C21: case 0x7C22:
      *out = std::to_string(stored_[code - 0x7C20] + 1);
      return true;
    default: return Control::GetProperty(code, out);
  }
}

bool ListControl::SetProperty(int code, const std::string& value) {
  const int n = std::atoi(value.c_str());
  switch (code) {
    case 0x7C85: SetFormat(value); return true;
    case 0x7C8F: SelectRow(n); return true;
    case 0x7C60: drop_rows_ = n; return true;
    case 0x7C20: case 0x7C21: case 0x7C22: stored_[code - 0x7C20] = n - 1; return true;
    default: return Control::SetProperty(code, value);
  }
}

bool ListControl::GetIndexed(int code, int index, std::string* out) {
  if (code == 0x7D07) {  // IconList, numbered from 1
    *out = index >= 0 && index < static_cast<int>(icon_list_.size()) ? icon_list_[index] : "";
    return true;
  }
  return Control::GetIndexed(code, index, out);
}

bool ListControl::SetIndexed(int code, int index, const std::string& value) {
  if (code == 0x7D07 && index >= 0 && index < 1024) {
    if (static_cast<int>(icon_list_.size()) <= index) icon_list_.resize(index + 1);
    icon_list_[index] = value;
    return true;
  }
  return Control::SetIndexed(code, index, value);
}

}  // namespace vel::wsl
