// An assistive tool in a process of its own: reads and drives a window through oleacc
// (AccessibleObjectFromWindow) and follows its accessibility events (an out-of-context
// SetWinEventHook), writing what it saw to a file. The test that starts it keeps its own loop
// running meanwhile, so the calls into the window are answered.
//
//   acc_reader HWND OUT command...
//     tree               the window's objects and their children, three levels down
//     press:NAME         the default action of the window's child named NAME
//     select:NAME:ROW    that child's row ROW (1-based) takes the focus and the selection
//     default:NAME:ROW   the default action of that row
//     focus              the name of what get_accFocus answers for the window
//     hit:NAME:ROW       accHitTest at the centre of that row: the child it finds
//     keep:NAME          keeps that child's object; "kept" asks it its name later
//     kept               "kept <HRESULT> <name>"
//     hook               starts following the window's process's events
//     signal:EVENT       sets the named event (the test goes on)
//     wait:EVENT         waits for the named event, handling messages meanwhile
//     events             writes the events seen since "hook": "EVENTNAME field F child C"
#include <windows.h>
#include <oleacc.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/acc_tree.h"

namespace {

struct Seen {
  DWORD event;
  HWND hwnd;
  LONG child;
};
std::vector<Seen> g_seen;

void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
  if (object == OBJID_CLIENT) g_seen.push_back({event, hwnd, child});
}

const char* EventName(DWORD e) {
  switch (e) {
    case EVENT_OBJECT_FOCUS: return "FOCUS";
    case EVENT_OBJECT_SELECTION: return "SELECTION";
    case EVENT_OBJECT_STATECHANGE: return "STATECHANGE";
    case EVENT_OBJECT_VALUECHANGE: return "VALUECHANGE";
    case EVENT_OBJECT_REORDER: return "REORDER";
    default: return "OTHER";
  }
}

void Pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  MSG m;
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (;;) {
    const std::size_t colon = s.find(':', at);
    parts.push_back(s.substr(at, colon - at));
    if (colon == std::string::npos) return parts;
    at = colon + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(argv[1], nullptr, 10)));
  FILE* out = std::fopen(argv[2], "wb");
  if (!out) return 3;
  IAccessible* top = acctree::FromWindow(window);
  if (!top) {
    std::fprintf(out, "no object\n");
    std::fclose(out);
    return 4;
  }
  IAccessible* kept = nullptr;
  HWINEVENTHOOK hook = nullptr;
  for (int i = 3; i < argc; ++i) {
    const std::vector<std::string> cmd = Split(argv[i]);
    const std::string& verb = cmd[0];
    if (verb == "tree") {
      std::string text;
      acctree::Dump(acctree::Read(top, 3), &text);
      std::fputs(text.c_str(), out);
    } else if ((verb == "press" || verb == "select" || verb == "default" || verb == "hit" || verb == "keep") &&
               cmd.size() >= 2) {
      IAccessible* child = acctree::FindChild(top, cmd[1]);
      if (!child) {
        std::fprintf(out, "%s: no %s\n", verb.c_str(), cmd[1].c_str());
        continue;
      }
      const long row = cmd.size() >= 3 ? std::atol(cmd[2].c_str()) : 0;
      HRESULT hr = S_OK;
      if (verb == "press" || verb == "default") {
        hr = child->accDoDefaultAction(acctree::Child(row));
      } else if (verb == "select") {
        hr = child->accSelect(SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION, acctree::Child(row));
      } else if (verb == "hit") {
        LONG x = 0, y = 0, w = 0, h = 0;
        hr = child->accLocation(&x, &y, &w, &h, acctree::Child(row));
        VARIANT at;
        VariantInit(&at);
        if (SUCCEEDED(hr)) hr = child->accHitTest(x + w / 2, y + h / 2, &at);
        std::fprintf(out, "hit %ld\n", V_VT(&at) == VT_I4 ? static_cast<long>(V_I4(&at)) : -1L);
      } else {
        kept = child;
        child = nullptr;
      }
      if (verb != "hit" && verb != "keep") std::fprintf(out, "%s %s %ld: %08lx\n", verb.c_str(), cmd[1].c_str(), row, hr);
      if (child) child->Release();
    } else if (verb == "focus") {
      VARIANT f;
      VariantInit(&f);
      top->get_accFocus(&f);
      std::string name = "<none>";
      if (V_VT(&f) == VT_DISPATCH && V_DISPATCH(&f)) {
        IAccessible* a = nullptr;
        if (SUCCEEDED(V_DISPATCH(&f)->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&a)))) {
          name = acctree::ReadOne(a, CHILDID_SELF).name;
          VARIANT row;
          VariantInit(&row);
          if (a->get_accFocus(&row) == S_OK && V_VT(&row) == VT_I4 && V_I4(&row) > 0)
            name += " row " + acctree::ReadOne(a, V_I4(&row)).name;
          a->Release();
        }
      } else if (V_VT(&f) == VT_I4) {
        name = "child " + std::to_string(V_I4(&f));
      }
      VariantClear(&f);
      std::fprintf(out, "focus %s\n", name.c_str());
    } else if (verb == "kept") {
      BSTR b = nullptr;
      const HRESULT hr = kept ? kept->get_accName(acctree::Child(0), &b) : E_POINTER;
      std::fprintf(out, "kept %08lx %s\n", hr, acctree::Narrow(b).c_str());
    } else if (verb == "hook") {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      hook = SetWinEventHook(EVENT_OBJECT_REORDER, EVENT_OBJECT_VALUECHANGE, nullptr, OnEvent, pid, 0,
                             WINEVENT_OUTOFCONTEXT);
    } else if (verb == "signal" && cmd.size() >= 2) {
      HANDLE e = OpenEventA(EVENT_MODIFY_STATE, FALSE, cmd[1].c_str());
      if (e) SetEvent(e), CloseHandle(e);
    } else if (verb == "wait" && cmd.size() >= 2) {
      HANDLE e = OpenEventA(SYNCHRONIZE, FALSE, cmd[1].c_str());
      for (int k = 0; e && k < 3000 && WaitForSingleObject(e, 0) != WAIT_OBJECT_0; ++k) Pump(10);
      if (e) CloseHandle(e);
    } else if (verb == "events") {
      Pump(300);  // the last ones still on their way
      for (const Seen& s : g_seen)
        std::fprintf(out, "%s field %d child %ld\n", EventName(s.event), GetDlgCtrlID(s.hwnd) - 0x4000, s.child);
      g_seen.clear();
    }
    std::fflush(out);
  }
  if (hook) UnhookWinEvent(hook);
  if (kept) kept->Release();
  top->Release();
  std::fclose(out);
  CoUninitialize();
  return 0;
}
