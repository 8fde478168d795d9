// Reading a window as an assistive tool does (Windows tests): AccessibleObjectFromWindow, then
// the objects' roles, names, values, states and children through oleacc, written as text
// lines a test can search:
//
//   <indent>role "name" [value=...] [desc=...] [action=...] [keys=...] {state names}
//
// Link with oleacc, ole32, oleaut32, uuid; the thread must have entered an apartment.
#pragma once
#include <windows.h>
#include <oleacc.h>

#include <string>
#include <vector>

namespace acctree {

inline std::string Narrow(BSTR b) {
  if (!b) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, b, static_cast<int>(SysStringLen(b)), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, b, static_cast<int>(SysStringLen(b)), out.data(), n, nullptr, nullptr);
  SysFreeString(b);
  return out;
}

inline VARIANT Child(long id) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = id;
  return v;
}

inline std::string RoleName(long role) {
  char text[128] = "";
  GetRoleTextA(static_cast<DWORD>(role), text, sizeof text);
  return text[0] ? text : "role" + std::to_string(role);
}

inline std::string StateNames(long state) {
  std::string out;
  for (long bit = 1; bit && bit <= 0x40000000; bit <<= 1) {
    if (!(state & bit)) continue;
    char text[128] = "";
    GetStateTextA(static_cast<DWORD>(bit), text, sizeof text);
    if (!out.empty()) out += ",";
    out += text[0] ? text : std::to_string(bit);
  }
  return out;
}

struct Node {
  long role = 0, state = 0;
  std::string name, value, description, action, shortcut;
  RECT where{};
  std::vector<Node> children;
};

// The object `acc` itself (child 0) or its simple child `id`.
inline Node ReadOne(IAccessible* acc, long id) {
  Node n;
  const VARIANT c = Child(id);
  VARIANT v;
  VariantInit(&v);
  if (SUCCEEDED(acc->get_accRole(c, &v)) && V_VT(&v) == VT_I4) n.role = V_I4(&v);
  VariantInit(&v);
  if (SUCCEEDED(acc->get_accState(c, &v)) && V_VT(&v) == VT_I4) n.state = V_I4(&v);
  BSTR b = nullptr;
  if (acc->get_accName(c, &b) == S_OK) n.name = Narrow(b);
  b = nullptr;
  if (acc->get_accValue(c, &b) == S_OK) n.value = Narrow(b);
  b = nullptr;
  if (acc->get_accDescription(c, &b) == S_OK) n.description = Narrow(b);
  b = nullptr;
  if (acc->get_accDefaultAction(c, &b) == S_OK) n.action = Narrow(b);
  b = nullptr;
  if (acc->get_accKeyboardShortcut(c, &b) == S_OK) n.shortcut = Narrow(b);
  LONG x = 0, y = 0, w = 0, h = 0;
  if (acc->accLocation(&x, &y, &w, &h, c) == S_OK) n.where = RECT{x, y, x + w, y + h};
  return n;
}

// The object and, `depth` levels down, its children (objects of their own, or simple ones).
inline Node Read(IAccessible* acc, int depth) {
  Node n = ReadOne(acc, CHILDID_SELF);
  LONG count = 0;
  if (depth <= 0 || FAILED(acc->get_accChildCount(&count)) || count <= 0) return n;
  std::vector<VARIANT> kids(static_cast<std::size_t>(count));
  LONG got = 0;
  if (FAILED(AccessibleChildren(acc, 0, count, kids.data(), &got))) return n;
  for (LONG i = 0; i < got; ++i) {
    VARIANT& k = kids[static_cast<std::size_t>(i)];
    if (V_VT(&k) == VT_DISPATCH && V_DISPATCH(&k)) {
      IAccessible* child = nullptr;
      if (SUCCEEDED(V_DISPATCH(&k)->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&child)))) {
        n.children.push_back(Read(child, depth - 1));
        child->Release();
      }
    } else if (V_VT(&k) == VT_I4) {
      n.children.push_back(ReadOne(acc, V_I4(&k)));
    }
    VariantClear(&k);
  }
  return n;
}

inline std::string Line(const Node& n) {
  std::string s = RoleName(n.role) + " \"" + n.name + "\"";
  if (!n.value.empty()) s += " value=" + n.value;
  if (!n.description.empty()) s += " desc=" + n.description;
  if (!n.action.empty()) s += " action=" + n.action;
  if (!n.shortcut.empty()) s += " keys=" + n.shortcut;
  return s + " {" + StateNames(n.state) + "}";
}

inline void Dump(const Node& n, std::string* out, int indent = 0) {
  *out += std::string(static_cast<std::size_t>(indent) * 2, ' ') + Line(n) + "\n";
  for (const Node& c : n.children) Dump(c, out, indent + 1);
}

// The client object of a window, or null.
inline IAccessible* FromWindow(HWND hwnd) {
  IAccessible* acc = nullptr;
  if (FAILED(AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&acc)))) return nullptr;
  return acc;
}

// The first child object of `parent` (one level) with this name, or null; AddRef'd.
inline IAccessible* FindChild(IAccessible* parent, const std::string& name) {
  LONG count = 0;
  if (FAILED(parent->get_accChildCount(&count)) || count <= 0) return nullptr;
  std::vector<VARIANT> kids(static_cast<std::size_t>(count));
  LONG got = 0;
  IAccessible* found = nullptr;
  if (FAILED(AccessibleChildren(parent, 0, count, kids.data(), &got))) return nullptr;
  for (LONG i = 0; i < got; ++i) {
    VARIANT& k = kids[static_cast<std::size_t>(i)];
    if (!found && V_VT(&k) == VT_DISPATCH && V_DISPATCH(&k)) {
      IAccessible* child = nullptr;
      if (SUCCEEDED(V_DISPATCH(&k)->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&child)))) {
        if (ReadOne(child, CHILDID_SELF).name == name) found = child;
        else child->Release();
      }
    }
    VariantClear(&k);
  }
  return found;
}

}  // namespace acctree
