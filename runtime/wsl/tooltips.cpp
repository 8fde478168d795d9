// The windows' tooltips.
#include "runtime/wsl/tooltips.h"

#include <commctrl.h>

#include "runtime/wsl/control.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

constexpr char kTooltipProp[] = "VelTooltip";
constexpr int kMaxTipWidth = 400;  // pixels; longer tips wrap

HWND MakeTooltip(HWND window) {
  HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  if (!tip) return nullptr;
  SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
  SetPropA(window, kTooltipProp, tip);
  return tip;
}

TOOLINFOA Tool(HWND window, HWND control) {
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.hwnd = window;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  return ti;
}

}  // namespace

HWND TooltipOf(HWND window) {
  HWND tip = window ? static_cast<HWND>(GetPropA(window, kTooltipProp)) : nullptr;
  return tip && IsWindow(tip) ? tip : nullptr;
}

void UpdateControlTip(Control* c) {
  HWND control = c->hwnd();
  HWND window = c->window()->hwnd;
  if (!control || !window) return;
  const bool dynamic = c->HasPointTip();
  const std::string& text = c->tip();
  HWND tip = TooltipOf(window);
  if (!tip && text.empty() && !dynamic) return;
  if (!tip && !(tip = MakeTooltip(window))) return;
  TOOLINFOA ti = Tool(window, control);
  const bool exists = SendMessageA(tip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
  ti = Tool(window, control);
  if (text.empty() && !dynamic) {
    if (exists) SendMessageA(tip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    return;
  }
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.lpszText = dynamic ? LPSTR_TEXTCALLBACKA : const_cast<char*>(text.c_str());
  if (exists) SendMessageA(tip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
}

bool HandleTooltipNotify(Window* w, LPARAM lp) {
  auto* nm = reinterpret_cast<NMHDR*>(lp);
  if (!w || !nm || nm->code != TTN_GETDISPINFOA || nm->hwndFrom != TooltipOf(w->hwnd)) return false;
  auto* info = reinterpret_cast<NMTTDISPINFOA*>(lp);
  HWND control = reinterpret_cast<HWND>(nm->idFrom);
  Control* c = w->FieldByHandle(control);
  POINT p{0, 0};
  GetCursorPos(&p);
  ScreenToClient(control, &p);
  // Kept by the window, not per thread: a thread_local text would be destroyed after its
  // thread's storage is freed (README, "Building by hand").
  w->tip_text = c ? c->TipAt(p) : std::string();
  info->lpszText = const_cast<char*>(w->tip_text.c_str());
  info->hinst = nullptr;
  return true;
}

}  // namespace vel::wsl
