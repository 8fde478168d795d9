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
#include "runtime/wsl/property_names.h"
#include "runtime/wsl/runtime_lock.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

constexpr int kTarget = 0x7A45;
constexpr int kFont = 0x7C10;
constexpr int kFontCharSet = 0x7A3A;
constexpr int kListIndexNegative = 0x7E0A;

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
    case 0x7C00: *out = w->title; return true;
    case 0x7C01: *out = Num(w->record_kind); return true;
    case 0x7C02: *out = Num(w->position.x); return true;
    case 0x7C03: *out = Num(w->position.y); return true;
    case 0x7C04: *out = Num(w->position.width); return true;
    case 0x7C05: *out = Num(w->position.height); return true;
    case 0x7C10: *out = w->font.face; return true;
    case 0x7C11: *out = Num(w->font.points); return true;
    case 0x7C12: *out = Num(static_cast<std::int32_t>(w->font.color)); return true;
    case 0x7C13: *out = Num(static_cast<std::int32_t>(w->font.style)); return true;
    case kFontCharSet: *out = Num(w->font.charset); return true;
    case 0x7C5D: *out = w->cursor_name; return true;
    case 0x7C66: *out = w->help; return true;
    case 0x7C68: *out = w->icon_name; return true;
    case 0x7C73: *out = w->message; return true;
    case 0x7C86: *out = Num(w->timer_period); return true;
    case 0x7C95: *out = Num(w->thread); return true;
    case 0x7C96: *out = Num(reinterpret_cast<std::intptr_t>(w->hwnd)); return true;
    case 0x7C97: *out = Bool(GetActiveWindow() == w->hwnd); return true;
    case 0x7C9A: *out = Bool(w->accept_all); return true;
    case 0x7C5F: *out = Bool(!IsWindowEnabled(w->hwnd)); return true;
    case 0x7CA8: *out = Bool(IsWindowEnabled(w->hwnd)); return true;
    case 0x7C65: *out = Bool(!IsWindowVisible(w->hwnd)); return true;
    case 0x7CA7: *out = Bool(IsWindowVisible(w->hwnd)); return true;
    case 0x7C69: *out = Bool(IsIconic(w->hwnd)); return true;
    case 0x7C6F: *out = Bool(IsZoomed(w->hwnd)); return true;
    case 0x7A09: *out = Bool(!w->loop.pending.empty()); return true;
    case 0x7A4F: GetClientRect(w->hwnd, &r); *out = Num(w->scale.FromX(r.right)); return true;
    case 0x7A50:
      GetClientRect(w->hwnd, &r);
      *out = Num(w->scale.FromY(r.bottom - static_cast<int>(w->status_height)));
      return true;
    case 0x7D00:  // Status: zone widths
      *out = n.index >= 0 && n.index < w->ZoneCount() ? Num(w->zone_widths[n.index]) : "";
      return true;
    case 0x7D01: *out = w->StatusText(n.index + 1); return true;  // StatusText
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
    case 0x7C00: w->title = v; SetWindowTextA(w->hwnd, v.c_str()); return true;
    case 0x7C02: w->position.x = i; MoveWindowUnits(w); return true;
    case 0x7C03: w->position.y = i; MoveWindowUnits(w); return true;
    case 0x7C04: w->position.width = i; MoveWindowUnits(w); return true;
    case 0x7C05: w->position.height = i; MoveWindowUnits(w); return true;
    case 0x7C5D: w->cursor_name = v; return true;
    case 0x7C66: w->help = v; return true;
    case 0x7C68: {  // Icon: loaded with the resource flag clear ("~" resources: the window's module)
      HICON icon = LoadIconByName(v, false, static_cast<HMODULE>(w->module));
      w->icon_name = v;
      SendMessageA(w->hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
      SendMessageA(w->hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
      if (w->icon) DestroyIcon(w->icon);
      w->icon = icon;
      return true;
    }
    case 0x7C73: w->message = v; return true;
    case 0x7C86: w->SetTimerPeriod(i); return true;
    case 0x7C9A: w->accept_all = IsTrue(v); return true;
    case 0x7C5F: EnableWindow(w->hwnd, !IsTrue(v)); return true;
    case 0x7CA8: EnableWindow(w->hwnd, IsTrue(v)); return true;
    case 0x7C65: ShowWindow(w->hwnd, IsTrue(v) ? SW_HIDE : SW_SHOW); return true;
    case 0x7CA7: ShowWindow(w->hwnd, IsTrue(v) ? SW_SHOW : SW_HIDE); return true;
    case 0x7C69: if (IsTrue(v)) ShowWindow(w->hwnd, SW_MINIMIZE); return true;
    case 0x7C6F: ShowWindow(w->hwnd, IsTrue(v) ? SW_MAXIMIZE : SW_RESTORE); return true;
    case 0x7D00:
      if (n.index >= 0 && n.index < w->ZoneCount()) {
        w->zone_widths[n.index] = i;
        w->LayoutStatusBar();
      }
      return true;
    case 0x7D01: w->SetStatusText(n.index + 1, v); return true;  // a zone it lacks: nothing
    default: return false;
  }
}

// --- the system object (-4): runtime-wide settings and the hook slots

void SystemSet(const NormalisedProperty& n, const std::string& v) {
  BagSet(g.system, n, v);
  const auto address = static_cast<std::uintptr_t>(std::strtoull(v.c_str(), nullptr, 0));
  if (n.code == 0x7A35) SetMessageHook(reinterpret_cast<MessageHookFn>(address));
  if (n.code == 0x7A38) SetFatalErrorHook(reinterpret_cast<FatalErrorHookFn>(address));
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
  if (code < 0x7000) return {code, i, PropertyRoute::kRaw};
  if (i == 0 && code != kListIndexNegative)
    return {code, 0, code >= 0x7D00 ? PropertyRoute::kIndexed : PropertyRoute::kSingle};
  if (code >= 0x7D00) return {code, i - 1, PropertyRoute::kIndexed};
  if (code == kFont && i == 5) return {kFontCharSet, 0, PropertyRoute::kSingle};
  const int mapped = code + i - 1;
  if (mapped > 0x7CFF) return {mapped, 0, PropertyRoute::kInvalid};
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
  Control* c = w->Field(field, code == kTarget);
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
  Control* c = w->Field(field, code == kTarget);
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
