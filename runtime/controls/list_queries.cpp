// The list's answers to the platform's list-box and combo-box queries, which other programs
// (UI drivers, assistive tools, automation) send to read and drive it as they would a list box
// or a drop-down combo box.
//
// The queries arrive sent, often from another process, while the window's thread may be
// waiting for platform messages without the runtime lock: they have a procedure of their own in
// front of the control's, which takes the lock (waiting for it services sent messages, so it
// cannot deadlock against a holder that sends to this thread) before it reads the queue.
//
// Indexes are visible rows, 0-based, as a screen reader sees the list (a contracted tree row's
// descendants are not counted). LB_SETCURSEL and CB_SETCURSEL select as the user does, with the
// same events (EVENT:NewSelection; for a drop list also EVENT:Accepted); an index of -1 clears
// the selection and answers LB_ERR, as the platform's list box does.
#include <algorithm>
#include <cstring>

#include "runtime/controls/list_control.h"
#include "runtime/controls/list_internal.h"
#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/runtime_lock.h"

namespace vel::wsl {
namespace {

using namespace listimpl;

WNDPROC g_list_proc = nullptr;  // the control class's procedure, behind the query procedure

bool IsListBoxQuery(UINT msg) {
  switch (msg) {
    case LB_GETCOUNT: case LB_GETCURSEL: case LB_SETCURSEL: case LB_GETTEXT: case LB_GETTEXTLEN:
    case LB_GETSEL: case LB_GETCARETINDEX: case LB_SETCARETINDEX: case LB_GETITEMRECT: case LB_ITEMFROMPOINT:
    case LB_GETTOPINDEX: case LB_SETTOPINDEX: case LB_GETITEMHEIGHT: case LB_GETSELCOUNT:
    case LB_FINDSTRING: case LB_FINDSTRINGEXACT: case LB_SELECTSTRING:
      return true;
    default:
      return false;
  }
}

bool IsComboBoxQuery(UINT msg) {
  switch (msg) {
    case CB_GETCOUNT: case CB_GETCURSEL: case CB_SETCURSEL: case CB_GETLBTEXT: case CB_GETLBTEXTLEN:
    case CB_GETDROPPEDSTATE: case CB_SHOWDROPDOWN: case CB_GETITEMHEIGHT: case CB_GETTOPINDEX:
    case CB_FINDSTRING: case CB_FINDSTRINGEXACT: case CB_SELECTSTRING: case CB_GETDROPPEDCONTROLRECT:
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK ListQueryProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (!IsListBoxQuery(msg) && !IsComboBoxQuery(msg)) return CallWindowProcA(g_list_proc, hwnd, msg, wp, lp);
  const bool took = !RuntimeLockHeld();
  if (took) RuntimeLockEnter();
  LRESULT r = LB_ERR;
  if (auto* list = dynamic_cast<ListControl*>(ControlFromHandle(hwnd))) {
    if (IsListBoxQuery(msg)) r = list->ListBoxQuery(msg, wp, lp);
    else if (list->drop_rows()) r = list->ComboBoxQuery(msg, wp, lp);
  }
  if (took) RuntimeLockLeave();
  return r;
}

// Case-blind prefix or whole-text comparison of a row's first column, as the list box's
// LB_FINDSTRING (prefix) and LB_FINDSTRINGEXACT (whole) compare.
bool Matches(const std::string& row, const char* wanted, bool exact) {
  const std::size_t n = std::strlen(wanted);
  const std::string first = row.substr(0, row.find('\t'));
  if (exact ? first.size() != n : first.size() < n) return false;
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, first.data(), static_cast<int>(n), wanted,
                        static_cast<int>(n)) == CSTR_EQUAL;
}

}  // namespace

void InstallListQueries(HWND list) {
  WNDPROC old = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListQueryProc)));
  if (old != ListQueryProc) g_list_proc = old;
}

// The first visible row after `after` (wrapping; -1 = from the top) whose first column matches.
int ListControl::FindRow(int after, const char* wanted, bool exact) const {
  const int n = RowCount();
  if (!wanted || n <= 0) return LB_ERR;
  const int start = after < -1 || after >= n ? -1 : after;
  for (int k = 1; k <= n; ++k) {
    const int v = (start + k) % n;
    if (Matches(RowText(v + 1), wanted, exact)) return v;
  }
  return LB_ERR;
}

// Selects visible row `index` for another program (-1 clears): the events are the user's.
LRESULT ListControl::SelectForQuery(int index) {
  const int n = RowCount();
  if (index == -1) {
    SelectRow(0);
    return LB_ERR;
  }
  if (index < 0 || index >= n) return LB_ERR;
  const int row = QueueRowOf(index);
  stored_[0] = row - 1;
  if (row != selected_) {
    SelectRow(row);
    if (drop_rows_) PostFieldEvent(kEvAccepted);
  }
  return index;
}

LRESULT ListControl::ListBoxQuery(UINT msg, WPARAM wp, LPARAM lp) {
  ErrorPreserved keep;
  const int n = RowCount();
  const int index = static_cast<int>(wp);
  const bool valid = index >= 0 && index < n;
  const int cursel = VisibleIndexOf(selected_);
  switch (msg) {
    case LB_GETCOUNT: return n;
    case LB_GETCURSEL: return cursel >= 0 ? cursel : LB_ERR;
    case LB_SETCURSEL: return SelectForQuery(index);
    case LB_GETSEL: return valid ? (index == cursel ? 1 : 0) : LB_ERR;
    case LB_GETSELCOUNT: return LB_ERR;  // a single-selection list
    // The caret is on the selected row; with none selected, on the first row.
    case LB_GETCARETINDEX: return cursel >= 0 ? cursel : (n > 0 ? 0 : LB_ERR);
    case LB_SETCARETINDEX: return valid && SelectForQuery(index) == index ? 0 : LB_ERR;
    case LB_GETTEXTLEN: return valid ? static_cast<LRESULT>(RowText(index + 1).size()) : LB_ERR;
    case LB_GETTEXT: {
      if (!valid || !lp) return LB_ERR;
      const std::string text = RowText(index + 1);
      std::memcpy(reinterpret_cast<char*>(lp), text.c_str(), text.size() + 1);
      return static_cast<LRESULT>(text.size());
    }
    case LB_GETITEMRECT: {
      RECT r;
      if (!lp || !valid || !VisibleRowRect(index, &r, false)) return LB_ERR;
      *reinterpret_cast<RECT*>(lp) = r;
      return 1;
    }
    case LB_ITEMFROMPOINT: {
      // As the platform's list box answers: the row at that height (rows beyond the visible
      // ones count), the high word 1 when no row is there and the last row is answered.
      if (n <= 0) return MAKELRESULT(0xFFFF, 1);
      if (drop_rows_) return MAKELRESULT(std::max(cursel, 0), 1);
      const int y = static_cast<short>(HIWORD(lp));
      const int row = std::max(0, top_ + (y - RowsTop()) / row_height());
      return row < n ? MAKELRESULT(row, 0) : MAKELRESULT(n - 1, 1);
    }
    case LB_GETTOPINDEX: return drop_rows_ ? drop_top_ : top_;
    case LB_SETTOPINDEX:
      if (!valid || drop_rows_) return LB_ERR;
      ScrollTo(index);
      return 0;
    case LB_GETITEMHEIGHT: return row_height();
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT: return FindRow(index, reinterpret_cast<const char*>(lp), msg == LB_FINDSTRINGEXACT);
    case LB_SELECTSTRING: {
      const int found = FindRow(index, reinterpret_cast<const char*>(lp), false);
      return found == LB_ERR ? LB_ERR : SelectForQuery(found);
    }
    default: return LB_ERR;
  }
}

LRESULT ListControl::ComboBoxQuery(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case CB_GETCOUNT: return ListBoxQuery(LB_GETCOUNT, wp, lp);
    case CB_GETCURSEL: return ListBoxQuery(LB_GETCURSEL, wp, lp);
    case CB_SETCURSEL: return ListBoxQuery(LB_SETCURSEL, wp, lp);
    case CB_GETLBTEXT: return ListBoxQuery(LB_GETTEXT, wp, lp);
    case CB_GETLBTEXTLEN: return ListBoxQuery(LB_GETTEXTLEN, wp, lp);
    case CB_GETITEMHEIGHT: return row_height();
    case CB_GETTOPINDEX: return ListBoxQuery(LB_GETTOPINDEX, wp, lp);
    case CB_FINDSTRING: return ListBoxQuery(LB_FINDSTRING, wp, lp);
    case CB_FINDSTRINGEXACT: return ListBoxQuery(LB_FINDSTRINGEXACT, wp, lp);
    case CB_SELECTSTRING: return ListBoxQuery(LB_SELECTSTRING, wp, lp);
    case CB_GETDROPPEDSTATE: return dropped() ? TRUE : FALSE;
    case CB_SHOWDROPDOWN:
      if (wp) OpenDrop();
      else CloseDrop(false);
      return TRUE;
    case CB_GETDROPPEDCONTROLRECT: {
      if (!lp || !hwnd_) return CB_ERR;
      RECT r;
      GetWindowRect(hwnd_, &r);
      if (dropped()) {
        RECT d;
        GetWindowRect(drop_popup_, &d);
        UnionRect(&r, &r, &d);
      } else {
        r.bottom += std::max(1, std::min(drop_rows_, RowCount())) * row_height() + 2;
      }
      *reinterpret_cast<RECT*>(lp) = r;
      return TRUE;
    }
    default: return CB_ERR;
  }
}

// A visible row's rectangle: in the list's client area (a drop list's rows: in its open
// list's client area, and only while it is open), or on the screen.
bool ListControl::VisibleRowRect(int visible, RECT* out, bool screen) const {
  if (!hwnd_ || visible < 0 || visible >= RowCount()) return false;
  HWND host = drop_rows_ ? drop_popup_ : hwnd_;
  if (!host) return false;
  RECT client;
  GetClientRect(host, &client);
  const int rh = row_height();
  const int top = drop_rows_ ? 0 : RowsTop();
  const int first = drop_rows_ ? drop_top_ : top_;
  RECT r{0, top + (visible - first) * rh, client.right, top + (visible - first + 1) * rh};
  if (screen) MapWindowPoints(host, nullptr, reinterpret_cast<POINT*>(&r), 2);
  *out = r;
  return true;
}

}  // namespace vel::wsl
