// Property access: target resolution, normalisation, routing, and the window's own properties.
#include "runtime/wsl/properties.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <unordered_map>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/string_stack.h"
#include "runtime/wsl/control.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/icons.h"
#include "runtime/wsl/message_dialog.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/property_names.h"
#include "runtime/wsl/runtime_lock.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

struct PropertyState {
  std::unordered_map<std::string, int>* names = nullptr;  // upper-cased name -> index
  PropertyBag* printer = nullptr;                          // made on first use
  PropertyBag system;
};
PropertyState g;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

const std::unordered_map<std::string, int>& NameIndex() {
  if (!g.names) {
    g.names = new std::unordered_map<std::string, int>;
    for (int i = 0; i < kPropertyNameCount; ++i) g.names->emplace(Upper(kPropertyNames[i].name), i);
  }
  return *g.names;
}

std::string Num(long long v) { return std::to_string(v); }
std::string Bool(bool b) { return b ? "1" : ""; }
bool IsTrue(const std::string& v) { return !v.empty() && v != "0"; }

void BagSet(PropertyBag& bag, const NormalisedProperty& n, const std::string& v) { bag[{n.code, n.index}] = v; }
bool BagGet(const PropertyBag& bag, const NormalisedProperty& n, std::string* out) {
  auto it = bag.find({n.code, n.index});
  if (it == bag.end()) return false;
  *out = it->second;
  return true;
}

// --- the window's own properties (field 0)

bool WindowGet(Window* w, const NormalisedProperty& n, std::string* out) {
  RECT r{};
  switch (n.code) {
    case kPropText: *out = w->title; return true;
    case kPropType: *out = Num(w->record_kind); return true;
    case kPropXpos: *out = Num(w->position.x); return true;
    case kPropYpos: *out = Num(w->position.y); return true;
    case kPropWidth: *out = Num(w->position.width); return true;
    case kPropHeight: *out = Num(w->position.height); return true;
    case kPropFontName: *out = w->font.face; return true;
    case kPropFontSize: *out = Num(w->font.points); return true;
    case kPropFontColor: *out = Num(static_cast<std::int32_t>(w->font.color)); return true;
    case kPropFontStyle: *out = Num(static_cast<std::int32_t>(w->font.style)); return true;
    case kPropFontCharSet: *out = Num(w->font.charset); return true;
    case kPropCursor: *out = w->cursor_name; return true;
    case kPropHlp: *out = w->help; return true;
    case kPropIcon: *out = w->icon_name; return true;
    case kPropMsg: *out = w->message; return true;
    case kPropTimer: *out = Num(w->timer_period); return true;
    case kPropThread: *out = Num(w->thread); return true;
    case kPropHandle: *out = Num(reinterpret_cast<std::intptr_t>(w->hwnd)); return true;
    case kPropActive: *out = Bool(GetActiveWindow() == w->hwnd); return true;
    case kPropAcceptAll: *out = Bool(w->accept_all); return true;
    case kPropDisable: *out = Bool(!IsWindowEnabled(w->hwnd)); return true;
    case kPropEnabled: *out = Bool(IsWindowEnabled(w->hwnd)); return true;
    case kPropHide: *out = Bool(!IsWindowVisible(w->hwnd)); return true;
    case kPropVisible: *out = Bool(IsWindowVisible(w->hwnd)); return true;
    case kPropIconize: *out = Bool(IsIconic(w->hwnd)); return true;
    case kPropMaximize: *out = Bool(IsZoomed(w->hwnd)); return true;
    case kPropEventsWaiting: *out = Bool(!w->loop.pending.empty()); return true;
    case kPropclientwidth: GetClientRect(w->hwnd, &r); *out = Num(w->scale.FromX(r.right)); return true;
    case kPropclientheight:
      GetClientRect(w->hwnd, &r);
      *out = Num(w->scale.FromY(r.bottom - static_cast<int>(w->status_height)));
      return true;
    case kPropStatus:  // Status: zone widths
      *out = n.index >= 0 && n.index < w->ZoneCount() ? Num(w->zone_widths[n.index]) : "";
      return true;
    case kPropStatusText: *out = w->StatusText(n.index + 1); return true;
    default: return false;
  }
}

void MoveWindowUnits(Window* w) {
  RECT wr;
  GetWindowRect(w->hwnd, &wr);
  RECT r{0, 0, w->scale.X(w->position.width), w->scale.Y(w->position.height) + static_cast<int>(w->status_height)};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongA(w->hwnd, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(w->hwnd, GWL_EXSTYLE)));
  const int x = w->position.x == kNotGiven ? wr.left : w->scale.X(w->position.x);
  const int y = w->position.y == kNotGiven ? wr.top : w->scale.Y(w->position.y);
  SetWindowPos(w->hwnd, nullptr, x, y, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool WindowSet(Window* w, const NormalisedProperty& n, const std::string& v) {
  const int i = std::atoi(v.c_str());
  switch (n.code) {
    case kPropText: w->title = v; SetWindowTextA(w->hwnd, v.c_str()); return true;
    case kPropXpos: w->position.x = i; MoveWindowUnits(w); return true;
    case kPropYpos: w->position.y = i; MoveWindowUnits(w); return true;
    case kPropWidth: w->position.width = i; MoveWindowUnits(w); return true;
    case kPropHeight: w->position.height = i; MoveWindowUnits(w); return true;
    case kPropCursor: w->cursor_name = v; return true;
    case kPropHlp: w->help = v; return true;
    case kPropIcon: {  // Icon: loaded with the resource flag clear ("~" resources: the window's module)
      HICON icon = LoadIconByName(v, false, static_cast<HMODULE>(w->module));
      w->icon_name = v;
      SendMessageA(w->hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
      SendMessageA(w->hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
      if (w->icon) DestroyIcon(w->icon);
      w->icon = icon;
      return true;
    }
    case kPropMsg: w->message = v; return true;
    case kPropTimer: w->SetTimerPeriod(i); return true;
    case kPropAcceptAll: w->accept_all = IsTrue(v); return true;
    case kPropDisable: EnableWindow(w->hwnd, !IsTrue(v)); return true;
    case kPropEnabled: EnableWindow(w->hwnd, IsTrue(v)); return true;
    case kPropHide: ShowWindow(w->hwnd, IsTrue(v) ? SW_HIDE : SW_SHOW); return true;
    case kPropVisible: ShowWindow(w->hwnd, IsTrue(v) ? SW_SHOW : SW_HIDE); return true;
    case kPropIconize: if (IsTrue(v)) ShowWindow(w->hwnd, SW_MINIMIZE); return true;
    case kPropMaximize: ShowWindow(w->hwnd, IsTrue(v) ? SW_MAXIMIZE : SW_RESTORE); return true;
    case kPropStatus:
      if (n.index >= 0 && n.index < w->ZoneCount()) {
        w->zone_widths[n.index] = i;
        w->LayoutStatusBar();
      }
      return true;
    case kPropStatusText: w->SetStatusText(n.index + 1, v); return true;  // a zone it lacks: nothing
    default: return false;
  }
}

// --- the system object (-4): runtime-wide settings and the hook slots

void SystemSet(const NormalisedProperty& n, const std::string& v) {
  BagSet(g.system, n, v);
  const auto address = static_cast<std::uintptr_t>(std::strtoull(v.c_str(), nullptr, 0));
  if (n.code == kPropMessageHook) SetMessageHook(reinterpret_cast<MessageHookFn>(address));
  if (n.code == kPropFatalErrorHook) SetFatalErrorHook(reinterpret_cast<FatalErrorHookFn>(address));
}

// Resolves a window target; null (after error 536 for a window that is not open) when none.
Window* ResolveWindow(Window* target) {
  if (target == kCurrentTarget) return CurrentOpenWindow();
  if (!IsLiveWindow(target) || !target->IsOpen()) {
    RuntimeError(536, nullptr);
    return nullptr;
  }
  return target;
}

}  // namespace

NormalisedProperty NormaliseProperty(int code, int i) {
  if (code < 0 || code > 0xFFFF || i < 0) return {code, i, PropertyRoute::kInvalid};
  if (code < kFirstSingleProperty) return {code, i, PropertyRoute::kRaw};
  if (i == 0 && code != kPropListIndexNegative)
    return {code, 0, code >= kFirstListProperty ? PropertyRoute::kIndexed : PropertyRoute::kSingle};
  if (code >= kFirstListProperty) return {code, i - 1, PropertyRoute::kIndexed};
  if (code == kPropFont && i == 5) return {kPropFontCharSet, 0, PropertyRoute::kSingle};
  const int mapped = code + i - 1;
  if (mapped > kLastSingleProperty) return {mapped, 0, PropertyRoute::kInvalid};
  return {mapped, 0, PropertyRoute::kSingle};
}

int PropertyCode(const std::string& text) {
  std::string name = text;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  std::size_t start = 0;
  while (start < name.size() && name[start] == ' ') ++start;
  name = Upper(name.substr(start));
  if (name.compare(0, 5, "PROP:") == 0) name.erase(0, 5);
  const auto& index = NameIndex();
  auto it = index.find(name);
  return it == index.end() ? 0 : kPropertyNames[it->second].code;
}

int PropertyKind(const std::string& text) {
  const auto& index = NameIndex();
  auto it = index.find(Upper(text));
  return it == index.end() ? 0 : kPropertyNames[it->second].kind;
}

std::string PropertyGet(Window* target, int field, int code, int index) {
  RuntimeLockGuard lock;
  const NormalisedProperty n = NormaliseProperty(code, index);
  if (n.route == PropertyRoute::kInvalid) return {};
  std::string out;
  if (target == kSystemTarget) return BagGet(g.system, n, &out) ? out : std::string();
  if (target == kPrinterTarget) {
    if (!g.printer) g.printer = new PropertyBag;
    return BagGet(*g.printer, n, &out) ? out : std::string();
  }
  Window* w = ResolveWindow(target);
  if (!w) return {};
  if (field == 0) {
    if (BagGet(w->bag, n, &out)) return out;
    return WindowGet(w, n, &out) ? out : std::string();
  }
  Control* c = w->Field(field, code == kPropTarget);
  if (!c) return {};
  if (BagGet(c->bag(), n, &out)) return out;
  bool answered = false;
  switch (n.route) {
    case PropertyRoute::kIndexed: answered = c->GetIndexed(n.code, n.index, &out); break;
    case PropertyRoute::kSingle: answered = c->GetProperty(n.code, &out); break;
    default: answered = c->GetRaw(n.code, n.index, &out); break;
  }
  return answered ? out : std::string();
}

void PropertySet(Window* target, int field, int code, int index, const std::string& value) {
  RuntimeLockGuard lock;
  const NormalisedProperty n = NormaliseProperty(code, index);
  if (n.route == PropertyRoute::kInvalid) return;
  if (target == kSystemTarget) return SystemSet(n, value);
  if (target == kPrinterTarget) {
    if (!g.printer) g.printer = new PropertyBag;
    return BagSet(*g.printer, n, value);
  }
  Window* w = ResolveWindow(target);
  if (!w) return;
  if (field == 0) {
    if (!WindowSet(w, n, value)) BagSet(w->bag, n, value);
    return;
  }
  Control* c = w->Field(field, code == kPropTarget);
  if (!c) return;
  bool answered = false;
  switch (n.route) {
    case PropertyRoute::kIndexed: answered = c->SetIndexed(n.code, n.index, value); break;
    case PropertyRoute::kSingle: answered = c->SetProperty(n.code, value); break;
    default: answered = c->SetRaw(n.code, n.index, value); break;
  }
  if (answered) c->bag().erase({n.code, n.index});
  else BagSet(c->bag(), n, value);
}

namespace {

std::string PopText() {
  std::uint32_t length = 0;
  char* block = StackPopToHeap(&length);
  std::string text(block ? block : "", block ? length : 0);
  if (block) MemFree(block);
  return text;
}

}  // namespace

void PropertyGetOnStack(Window* target, int field) {
  RuntimeLockGuard lock;
  const int index = StackPopInteger();
  const int code = StackPopInteger();
  const std::string value = PropertyGet(target, field, code, index);
  StackPushString(value.data(), static_cast<std::uint32_t>(value.size()));
  StackMaterialize();
}

void PropertySetOnStack(Window* target, int field) {
  RuntimeLockGuard lock;
  const std::string value = PopText();
  const int index = StackPopInteger();
  const int code = StackPopInteger();
  PropertySet(target, field, code, index, value);
}

int PropertyCodeOnStack() {
  RuntimeLockGuard lock;
  return PropertyCode(PopText());
}

void ResetPropertyObjects() {
  delete g.printer;
  g.printer = nullptr;
  g.system.clear();
}

}  // namespace vel::wsl
