// The accessible objects of runtime windows and controls.
#include "runtime/wsl/accessible.h"

#include <oleacc.h>

#include <algorithm>
#include <vector>

#include "runtime/core/text_codec.h"
#include "runtime/wsl/control.h"
#include "runtime/wsl/runtime_lock.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

BSTR ToBstr(const std::string& text) {
  if (text.empty()) return nullptr;
  const std::wstring w = text::WideShown(text);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

// An out-parameter text: S_FALSE (and null) when there is none.
HRESULT Text(const std::string& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = ToBstr(text);
  return *out ? S_OK : S_FALSE;
}

bool ChildId(const VARIANT& v, long* id) {
  if (V_VT(&v) != VT_I4) return false;
  *id = V_I4(&v);
  return true;
}

void SetEmpty(VARIANT* v) { V_VT(v) = VT_EMPTY; }
void SetChild(VARIANT* v, long id) {
  V_VT(v) = VT_I4;
  V_I4(v) = id;
}

// The thread enters the single-threaded apartment once, on its first request.
bool EnterApartment() {
  thread_local bool entered = false;
  if (!entered) {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    entered = SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;  // already in another apartment: usable
  }
  return entered;
}

// --- the object ----------------------------------------------------------------------------

// One class serves a window's client area and a control's: `window_level` tells which.
class AccessibleObject final : public IAccessible {
 public:
  AccessibleObject(HWND hwnd, bool window_level) : hwnd_(hwnd), window_level_(window_level) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG r = InterlockedDecrement(&refs_);
    if (r == 0) delete this;
    return static_cast<ULONG>(r);
  }

  // IDispatch: the interface is reached through its own methods only.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override;
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* out) override;
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override;
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override { return Fact(child, out, &AccessibleFacts::name); }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override { return Fact(child, out, &AccessibleFacts::value); }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
    return Fact(child, out, &AccessibleFacts::description);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
    return Number(child, out, &AccessibleFacts::role);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
    return Number(child, out, &AccessibleFacts::state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override { return Text({}, out); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
    return Fact(child, out, &AccessibleFacts::shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
    return Fact(child, out, &AccessibleFacts::action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accLocation(LONG* x, LONG* y, LONG* cx, LONG* cy, VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  // The live window or control behind the object, or null when it is gone.
  Window* LiveWindow() const { return window_level_ ? WindowFromHandle(hwnd_) : nullptr; }
  Control* LiveControl() const { return window_level_ || !IsWindow(hwnd_) ? nullptr : ControlFromHandle(hwnd_); }
  bool Alive() const { return LiveWindow() || LiveControl(); }
  // The window's children: its controls with a platform window, in field order.
  std::vector<Control*> Children() const;
  long ChildCount() const;
  bool Describe(long child, AccessibleFacts* f) const;
  HRESULT Fact(const VARIANT& child, BSTR* out, std::string AccessibleFacts::*member) const;
  HRESULT Number(const VARIANT& child, VARIANT* out, long AccessibleFacts::*member) const;
  // A window child as a variant: the control's object, or the status bar's number.
  void ChildVariant(long child, VARIANT* out) const;

  LONG refs_ = 1;
  HWND hwnd_;
  bool window_level_;
};

std::vector<Control*> AccessibleObject::Children() const {
  std::vector<Control*> out;
  Window* w = LiveWindow();
  if (!w) return out;
  for (Control* c : w->controls)
    if (c->hwnd()) out.push_back(c);
  std::sort(out.begin(), out.end(), [](Control* a, Control* b) { return a->field() < b->field(); });
  return out;
}

long AccessibleObject::ChildCount() const {
  if (Window* w = LiveWindow()) return static_cast<long>(Children().size()) + (w->status ? 1 : 0);
  Control* c = LiveControl();
  return c ? c->AccessibleChildCount() : 0;
}

bool AccessibleObject::Describe(long child, AccessibleFacts* f) const {
  if (Control* c = LiveControl()) return child == CHILDID_SELF ? (c->Describe(f), true) : c->DescribeChild(child, f);
  Window* w = LiveWindow();
  if (!w) return false;
  if (child == CHILDID_SELF) {
    f->role = w->disabled_owner ? ROLE_SYSTEM_DIALOG : ROLE_SYSTEM_CLIENT;
    f->name = w->title;
    f->state = (GetFocus() == hwnd_ ? STATE_SYSTEM_FOCUSED : 0) | (IsWindowEnabled(hwnd_) ? 0 : STATE_SYSTEM_UNAVAILABLE);
    return true;
  }
  const std::vector<Control*> kids = Children();
  if (child >= 1 && child <= static_cast<long>(kids.size())) {
    kids[static_cast<std::size_t>(child - 1)]->Describe(f);
    return true;
  }
  if (child == static_cast<long>(kids.size()) + 1 && w->status) {  // the status bar: its zones
    f->role = ROLE_SYSTEM_STATUSBAR;
    f->state = STATE_SYSTEM_READONLY;
    for (int z = 1; z <= w->ZoneCount(); ++z) {
      const std::string t = w->StatusText(z);
      if (t.empty()) continue;
      if (!f->name.empty()) f->name += " | ";
      f->name += t;
    }
    return true;
  }
  return false;
}

HRESULT AccessibleObject::Fact(const VARIANT& child, BSTR* out, std::string AccessibleFacts::*member) const {
  if (!out) return E_POINTER;
  *out = nullptr;
  RuntimeLockGuard lock;
  long id = 0;
  if (!ChildId(child, &id)) return E_INVALIDARG;
  if (!Alive()) return RPC_E_DISCONNECTED;
  AccessibleFacts f;
  if (!Describe(id, &f)) return E_INVALIDARG;
  return Text(f.*member, out);
}

void AccessibleObject::ChildVariant(long child, VARIANT* out) const {
  const std::vector<Control*> kids = Children();
  if (child >= 1 && child <= static_cast<long>(kids.size())) {
    V_VT(out) = VT_DISPATCH;
    V_DISPATCH(out) = new AccessibleObject(kids[static_cast<std::size_t>(child - 1)]->hwnd(), false);
    return;
  }
  SetChild(out, child);
}

HRESULT AccessibleObject::get_accParent(IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  RuntimeLockGuard lock;
  if (!Alive()) return RPC_E_DISCONNECTED;
  if (window_level_) return CreateStdAccessibleObject(hwnd_, OBJID_WINDOW, IID_IDispatch, reinterpret_cast<void**>(out));
  *out = new AccessibleObject(GetParent(hwnd_), true);
  return S_OK;
}

HRESULT AccessibleObject::get_accChildCount(LONG* out) {
  if (!out) return E_POINTER;
  RuntimeLockGuard lock;
  if (!Alive()) return RPC_E_DISCONNECTED;
  *out = ChildCount();
  return S_OK;
}

HRESULT AccessibleObject::get_accChild(VARIANT child, IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  RuntimeLockGuard lock;
  long id = 0;
  if (!ChildId(child, &id)) return E_INVALIDARG;
  if (!Alive()) return RPC_E_DISCONNECTED;
  if (id < 1 || id > ChildCount()) return E_INVALIDARG;
  VARIANT v;
  ChildVariant(id, &v);
  if (V_VT(&v) != VT_DISPATCH) return S_FALSE;  // a simple element: no object of its own
  *out = V_DISPATCH(&v);
  return S_OK;
}

HRESULT AccessibleObject::Number(const VARIANT& child, VARIANT* out, long AccessibleFacts::*member) const {
  if (!out) return E_POINTER;
  SetEmpty(out);
  RuntimeLockGuard lock;
  long id = 0;
  if (!ChildId(child, &id)) return E_INVALIDARG;
  if (!Alive()) return RPC_E_DISCONNECTED;
  AccessibleFacts f;
  if (!Describe(id, &f)) return E_INVALIDARG;
  SetChild(out, f.*member);
  return S_OK;
}

HRESULT AccessibleObject::get_accFocus(VARIANT* out) {
  if (!out) return E_POINTER;
  SetEmpty(out);
  RuntimeLockGuard lock;
  if (!Alive()) return RPC_E_DISCONNECTED;
  HWND focus = GetFocus();
  if (Control* c = LiveControl()) {
    if (focus != hwnd_) return S_FALSE;
    SetChild(out, c->FocusedChild());
    return S_OK;
  }
  if (focus == hwnd_) {
    SetChild(out, CHILDID_SELF);
    return S_OK;
  }
  const std::vector<Control*> kids = Children();
  for (std::size_t i = 0; i < kids.size(); ++i)
    if (focus && (kids[i]->hwnd() == focus || IsChild(kids[i]->hwnd(), focus))) {
      ChildVariant(static_cast<long>(i + 1), out);
      return S_OK;
    }
  return S_FALSE;
}

HRESULT AccessibleObject::get_accSelection(VARIANT* out) {
  if (!out) return E_POINTER;
  SetEmpty(out);
  RuntimeLockGuard lock;
  if (!Alive()) return RPC_E_DISCONNECTED;
  Control* c = LiveControl();
  const int selected = c ? c->SelectedChild() : 0;
  if (!selected) return S_FALSE;
  SetChild(out, selected);
  return S_OK;
}

HRESULT AccessibleObject::accSelect(LONG flags, VARIANT child) {
  RuntimeLockGuard lock;
  long id = 0;
  if (!ChildId(child, &id)) return E_INVALIDARG;
  if (!Alive()) return RPC_E_DISCONNECTED;
  Control* c = LiveControl();
  if (!c) return S_FALSE;
  if (id == CHILDID_SELF) {
    if (!(flags & SELFLAG_TAKEFOCUS) || !c->CanTakeFocus()) return S_FALSE;
    c->Select();
    return S_OK;
  }
  return c->SelectChild(static_cast<int>(id), flags) ? S_OK : E_INVALIDARG;
}

HRESULT AccessibleObject::accLocation(LONG* x, LONG* y, LONG* cx, LONG* cy, VARIANT child) {
  if (!x || !y || !cx || !cy) return E_POINTER;
  *x = *y = *cx = *cy = 0;
  RuntimeLockGuard lock;
  long id = 0;
  if (!ChildId(child, &id)) return E_INVALIDARG;
  if (!Alive()) return RPC_E_DISCONNECTED;
  RECT r{};
  if (id == CHILDID_SELF) {
    GetClientRect(hwnd_, &r);
    MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&r), 2);
  } else if (Control* c = LiveControl()) {
    if (!c->ChildLocation(static_cast<int>(id), &r)) return S_FALSE;
  } else {
    const std::vector<Control*> kids = Children();
    if (id < 1 || id > ChildCount()) return E_INVALIDARG;
    HWND h = id <= static_cast<long>(kids.size()) ? kids[static_cast<std::size_t>(id - 1)]->hwnd() : LiveWindow()->status;
    GetWindowRect(h, &r);
  }
  *x = r.left;
  *y = r.top;
  *cx = r.right - r.left;
  *cy = r.bottom - r.top;
  return S_OK;
}

HRESULT AccessibleObject::accNavigate(LONG direction, VARIANT start, VARIANT* out) {
  if (!out) return E_POINTER;
  SetEmpty(out);
  RuntimeLockGuard lock;
  long from = 0;
  if (!ChildId(start, &from)) return E_INVALIDARG;
  if (!Alive()) return RPC_E_DISCONNECTED;
  const long n = ChildCount();
  long to = 0;
  switch (direction) {
    case NAVDIR_FIRSTCHILD: to = from == CHILDID_SELF && n > 0 ? 1 : 0; break;
    case NAVDIR_LASTCHILD: to = from == CHILDID_SELF && n > 0 ? n : 0; break;
    case NAVDIR_NEXT:
    case NAVDIR_DOWN: to = from != CHILDID_SELF && from < n ? from + 1 : 0; break;
    case NAVDIR_PREVIOUS:
    case NAVDIR_UP: to = from > 1 ? from - 1 : 0; break;
    default: return E_NOTIMPL;  // left/right and the siblings of the object itself: its parent's
  }
  if (!to) return S_FALSE;
  if (window_level_) ChildVariant(to, out);
  else SetChild(out, to);
  return S_OK;
}

HRESULT AccessibleObject::accHitTest(LONG x, LONG y, VARIANT* out) {
  if (!out) return E_POINTER;
  SetEmpty(out);
  RuntimeLockGuard lock;
  if (!Alive()) return RPC_E_DISCONNECTED;
  const POINT p{x, y};
  RECT r;
  GetClientRect(hwnd_, &r);
  MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&r), 2);
  if (Control* c = LiveControl()) {
    const int child = c->ChildAt(p);
    if (child > 0) SetChild(out, child);
    else if (PtInRect(&r, p)) SetChild(out, CHILDID_SELF);
    else return S_FALSE;
    return S_OK;
  }
  const std::vector<Control*> kids = Children();
  // Later controls lie over earlier ones (a radio over its option's frame): the last one wins.
  for (std::size_t i = kids.size(); i-- > 0;) {
    RECT k;
    if (IsWindowVisible(kids[i]->hwnd()) && GetWindowRect(kids[i]->hwnd(), &k) && PtInRect(&k, p)) {
      ChildVariant(static_cast<long>(i + 1), out);
      return S_OK;
    }
  }
  if (!PtInRect(&r, p)) return S_FALSE;
  SetChild(out, CHILDID_SELF);
  return S_OK;
}

HRESULT AccessibleObject::accDoDefaultAction(VARIANT child) {
  RuntimeLockGuard lock;
  long id = 0;
  if (!ChildId(child, &id)) return E_INVALIDARG;
  if (!Alive()) return RPC_E_DISCONNECTED;
  Control* c = LiveControl();
  return c && c->DoDefaultAction(static_cast<int>(id)) ? S_OK : DISP_E_MEMBERNOTFOUND;
}

}  // namespace

LRESULT AnswerGetObject(HWND hwnd, WPARAM wp, LPARAM lp, bool window_level) {
  if (static_cast<LONG>(lp) != OBJID_CLIENT || !EnterApartment()) return 0;
  auto* object = new AccessibleObject(hwnd, window_level);
  const LRESULT r = LresultFromObject(IID_IAccessible, wp, object);
  object->Release();
  return r > 0 ? r : 0;
}

void NotifyAccessible(DWORD event, HWND hwnd, long child) {
  if (hwnd) NotifyWinEvent(event, hwnd, OBJID_CLIENT, child);
}

std::string AccessibleText(const std::string& caption) {
  std::string out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') out += '&', ++i;
      continue;
    }
    out += caption[i];
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == ':')) out.pop_back();
  const std::size_t b = out.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : out.substr(b);
}

std::string MnemonicShortcut(const std::string& caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    const char c = caption[i + 1];
    return std::string("Alt+") + static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  return {};
}

}  // namespace vel::wsl
