// The drop-down form of the list (VelDrop): a pop-up window of its own class below the
// control, showing the drop height's rows; the control keeps the keyboard while it is open.
#include "runtime/controls/list_control.h"

#include <algorithm>

#include "runtime/controls/list_internal.h"
#include "runtime/wsl/accessible.h"
#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/runtime_lock.h"

namespace vel::wsl {
namespace {

using namespace listimpl;

constexpr char kDropListClass[] = "VelDropList";
ATOM g_drop_list_atom = 0;

LRESULT CALLBACK DropListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* list = reinterpret_cast<ListControl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  WndProcLock lock;
  if (!list || !lock.ok) return DefWindowProcA(hwnd, msg, wp, lp);
  return list->DropWndProc(hwnd, msg, wp, lp);
}

}  // namespace

// --- the drop-down form ------------------------------------------------------------------------

void ListControl::OpenDrop() {
  if (!drop_rows_ || dropped() || !hwnd_) return;
  PostFieldEvent(kEvDroppingDown);
  if (!g_drop_list_atom) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = 0;
    wc.lpfnWndProc = DropListProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kDropListClass;
    g_drop_list_atom = RegisterClassExA(&wc);
  }
  const int n = RowCount();
  const int rows = std::max(1, std::min(drop_rows_, std::max(n, 1)));
  RECT r;
  GetWindowRect(hwnd_, &r);
  const bool scroll = n > drop_rows_;
  RECT want{0, 0, r.right - r.left, rows * row_height()};
  AdjustWindowRectEx(&want, WS_POPUP | WS_BORDER | (scroll ? WS_VSCROLL : 0), FALSE, WS_EX_TOOLWINDOW);
  drop_top_ = std::clamp(VisibleIndexOf(selected_), 0, std::max(0, n - rows));
  drop_hot_ = selected_;
  drop_popup_ = CreateWindowExA(WS_EX_TOOLWINDOW, kDropListClass, "", WS_POPUP | WS_BORDER | (scroll ? WS_VSCROLL : 0),
                                r.left, r.bottom, r.right - r.left, want.bottom - want.top, GetAncestor(hwnd_, GA_ROOT), nullptr,
                                GetModuleHandleA(nullptr), this);
  if (!drop_popup_) return;
  if (scroll) {
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, n - 1, static_cast<UINT>(rows), drop_top_, 0};
    SetScrollInfo(drop_popup_, SB_VERT, &si, TRUE);
  }
  ShowWindow(drop_popup_, SW_SHOWNOACTIVATE);
  UpdateWindow(drop_popup_);
  SetCapture(drop_popup_);
  InvalidateRect(hwnd_, nullptr, FALSE);
  NotifyAccessible(EVENT_OBJECT_STATECHANGE, hwnd_);
  PostFieldEvent(kEvDroppedDown);
}

void ListControl::CloseDrop(bool take_selection) {
  if (!drop_popup_) return;
  HWND popup = drop_popup_;
  drop_popup_ = nullptr;
  if (GetCapture() == popup) ReleaseCapture();
  DestroyWindow(popup);
  if (take_selection && drop_hot_ > 0 && drop_hot_ != selected_) {
    stored_[0] = drop_hot_ - 1;
    SelectRow(drop_hot_);
    PostFieldEvent(kEvAccepted);
  }
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
  NotifyAccessible(EVENT_OBJECT_STATECHANGE, hwnd_);
}

// The scroll bar's own tracking (arrows, page areas, thumb) runs until the button is released;
// it takes the capture meanwhile, which must not close the list, and gives it back after.
void ListControl::TrackDropScrollBar(HWND popup, POINT screen) {
  drop_scrolling_ = true;
  ReleaseCapture();
  DefWindowProcA(popup, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(screen.x, screen.y));
  drop_scrolling_ = false;
  if (drop_popup_ == popup) SetCapture(popup);
}

LRESULT ListControl::DropWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const int x = static_cast<short>(LOWORD(lp)), y = static_cast<short>(HIWORD(lp));
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
      HGDIOBJ old = SelectObject(dc, Font());
      SetBkMode(dc, TRANSPARENT);
      {
        ErrorPreserved keep;
        PaintRowsAt(dc, r, drop_top_, true);
      }
      SelectObject(dc, old);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_MOUSEMOVE: {
      RECT r;
      GetClientRect(hwnd, &r);
      POINT p{x, y};
      if (PtInRect(&r, p)) {
        const int row = HitRow(y, true);
        if (row && row != drop_hot_) {
          drop_hot_ = row;
          InvalidateRect(hwnd, nullptr, FALSE);
        }
      }
      return 0;
    }
    case WM_LBUTTONDOWN: {
      RECT r;
      GetClientRect(hwnd, &r);
      POINT p{x, y};
      if (PtInRect(&r, p)) return 0;
      // With the capture the scroll bar's clicks come here too: they scroll, others close.
      ClientToScreen(hwnd, &p);
      if (DefWindowProcA(hwnd, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)) == HTVSCROLL) TrackDropScrollBar(hwnd, p);
      else CloseDrop(false);
      return 0;
    }
    case WM_LBUTTONUP: {
      RECT r;
      GetClientRect(hwnd, &r);
      POINT p{x, y};
      if (PtInRect(&r, p)) {
        if (const int row = HitRow(y, true)) drop_hot_ = row;
        CloseDrop(true);
      }
      return 0;
    }
    case WM_VSCROLL: {
      const int n = RowCount();
      const int rows = std::max(1, std::min(drop_rows_, n));
      int top = drop_top_;
      switch (LOWORD(wp)) {
        case SB_LINEUP: --top; break;
        case SB_LINEDOWN: ++top; break;
        case SB_PAGEUP: top -= rows; break;
        case SB_PAGEDOWN: top += rows; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: top = HIWORD(wp); break;
        default: break;
      }
      drop_top_ = std::clamp(top, 0, std::max(0, n - rows));
      SetScrollPos(hwnd, SB_VERT, drop_top_, TRUE);
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (!drop_scrolling_ && reinterpret_cast<HWND>(lp) != hwnd && drop_popup_ == hwnd)
        PostMessageA(hwnd_, WM_CANCELMODE, 0, 0);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wp, lp);
  }
}


}  // namespace vel::wsl
