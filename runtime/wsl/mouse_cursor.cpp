// The process-wide mouse cursor override: one atomic handle and the re-apply message that
// makes a change visible on the thread owning the window under the pointer.
#include "runtime/wsl/mouse_cursor.h"

#include <atomic>
#include <cstring>

#include "runtime/wsl/icons.h"

namespace vel::wsl {

namespace {

// Posted to a runtime window: apply the current cursor if the pointer is over it.
constexpr UINT kMsgMouseCursor = WM_APP + 0x42;

std::atomic<HCURSOR> g_override{nullptr};

// The reference's cursor (shared, never destroyed); null for value 0 or one that does not load.
HCURSOR LoadCursorByReference(unsigned kind, unsigned value) {
  if (kind == 1 && value == 0x7F81) value = 0x7F87;  // taken as the four-way arrow
  if (kind == 1 && value == 0x7F82) value = 0x7F01;  // taken as the arrow
  if (value == 0 || value > 0x10000) return nullptr;
  const auto id = MAKEINTRESOURCEA(value - 1);
  if (kind == 1) return LoadCursorA(nullptr, id);
  if (kind == 2)
    return static_cast<HCURSOR>(
        LoadImageA(GetModuleHandleA(nullptr), id, IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  return nullptr;
}

// A top-level window of this process made by the window layer ("VelWin%uClass%lu").
bool IsRuntimeWindow(HWND hwnd) {
  DWORD pid = 0;
  if (!hwnd || !GetWindowThreadProcessId(hwnd, &pid) || pid != GetCurrentProcessId()) return false;
  char cls[16] = "";
  GetClassNameA(hwnd, cls, sizeof cls);
  return std::strncmp(cls, "VelWin", 6) == 0;
}

// On the thread of `root`: asks the window under the pointer, if it is `root` or one of its
// children, for its cursor again, as a mouse move would (the hit test decides client or frame).
void ReapplyCursor(HWND root) {
  POINT p;
  if (!GetCursorPos(&p)) return;
  HWND under = WindowFromPoint(p);
  if (!under || (under != root && !IsChild(root, under))) return;
  if (GetWindowThreadProcessId(under, nullptr) != GetCurrentThreadId()) return;
  const LRESULT hit = SendMessageA(under, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
  SendMessageA(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(hit, WM_MOUSEMOVE));
}

}  // namespace

bool SetMouseCursor(const std::string& name) {
  HCURSOR cursor = nullptr;
  if (!name.empty()) {
    unsigned kind = 0, value = 0;
    if (!ParseResourceReference(name, &kind, &value)) return false;
    cursor = LoadCursorByReference(kind, value);
    if (!cursor && value != 0) return false;
  }
  g_override.store(cursor);
  // Only the window under the pointer shows a cursor; the others ask when the pointer enters.
  POINT p;
  if (!GetCursorPos(&p)) return true;
  HWND under = WindowFromPoint(p);
  HWND root = under ? GetAncestor(under, GA_ROOT) : nullptr;
  if (!IsRuntimeWindow(root)) return true;
  if (GetWindowThreadProcessId(root, nullptr) == GetCurrentThreadId()) ReapplyCursor(root);
  else PostMessageA(root, kMsgMouseCursor, 0, 0);  // never SendMessage: its thread may wait for our lock
  return true;
}

HCURSOR MouseCursorOverride() { return g_override.load(); }

bool HandleMouseCursorMessage(HWND hwnd, UINT msg, WPARAM, LPARAM lp, LRESULT* result) {
  if (msg == kMsgMouseCursor) {
    ReapplyCursor(hwnd);
    *result = 0;
    return true;
  }
  if (msg != WM_SETCURSOR || LOWORD(lp) != HTCLIENT) return false;
  HCURSOR cursor = g_override.load();
  if (!cursor) return false;
  SetCursor(cursor);
  *result = TRUE;
  return true;
}

}  // namespace vel::wsl
