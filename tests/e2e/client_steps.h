// Steps shared by the client's end-to-end tests: the main window's field numbers, a client
// started in a scratch local directory against one of the fixture's servers, the state table
// of the controls, message boxes and small file helpers.
#pragma once
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "e2e/ui_driver.h"
#include "integration/net_support.h"
#include "support/check.h"

namespace e2e {

using uidriver::Client;
using uidriver::WaitUntil;

// Field numbers of the main window.
enum : int {
  kUsePreconfig = 1, kStart = 2, kClose = 3, kProxy = 5, kServerName = 7, kUserName = 9, kPassword = 11, kConnect = 12,
  kPassive = 13, kDisconnect = 14, kBinary = 18, kAscii = 19, kGet = 20, kPut = 21, kClearRemote = 22, kClearLocal = 24,
  kPercent = 23, kList1 = 25, kListDirs = 28, kPrevDir = 30, kList4 = 31, kListDrives = 32,
};

inline std::string g_exe;
inline std::string g_artifacts;

inline void LoadArguments() {
  if (!g_exe.empty()) return;
  if (const char* e = std::getenv("AFC_CLIENT_EXE")) g_exe = e;
  if (const char* a = std::getenv("AFC_ARTIFACTS")) g_artifacts = uidriver::WindowsPath(a);
  if (!g_artifacts.empty()) CreateDirectoryA(g_artifacts.c_str(), nullptr);
}

inline std::string Slurp(const std::string& path, bool* ok = nullptr) {
  std::ifstream in(path, std::ios::binary);
  if (ok) *ok = in.good();
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string Trim(std::string t) {
  while (!t.empty() && (t.back() == '\n' || t.back() == '\r' || t.back() == ' ')) t.pop_back();
  return t;
}

inline std::string Upper(std::string t) {
  for (char& ch : t) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  return t;
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline void Write(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out << data;
}

inline std::string LocalScratch(const std::string& tag) {
  std::string dir = nettest::ScratchDir() + "\\" + tag;
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

inline void Shot(Client& c, HWND w, const std::string& name, HWND also = nullptr) {
  if (g_artifacts.empty()) return;
  c.Screenshot(w, g_artifacts + "\\" + name + ".bmp", also);
}

// --- steps ---------------------------------------------------------------------------------------

// The window has run its start-up: the control states are set (Put is the last one set).
inline bool StartedUp(Client& c) { return !c.Enabled(kClose) && !c.Enabled(kPut); }

struct Session {
  Client c;
  const nettest::Server* server = nullptr;
  std::string local;

  bool Open(const std::string& name, const std::string& tag) {
    LoadArguments();
    server = name.empty() ? nullptr : nettest::FindServer(name);
    if (!server && !name.empty()) return false;
    local = LocalScratch(tag);
    return c.Start(g_exe, local) && WaitUntil([&] { return StartedUp(c); });
  }
  void StartSession() {
    c.Press(kStart);
    REQUIRE(WaitUntil([&] { return !c.Enabled(kStart); }));
  }
  // Connects and waits for the connected state; the tree then has its root row expanded.
  bool Connect(const std::string& user = "anonymous", const std::string& password = "e2e@") {
    c.SetText(kServerName, server->Host());
    c.SetText(kUserName, user);
    c.SetText(kPassword, password);
    c.Press(kConnect);
    return WaitUntil([&] { return c.Enabled(kDisconnect) && c.RowCount(kList1) > 1; });
  }
  // Waits for the refresh that follows a request to show `row` and to end (the listing clears
  // status zone 3 last): until then the tree may still change under a click, and the remote
  // list ignores mouse actions.
  bool WaitIdleRow(const std::string& row) {
    return WaitUntil([&] { return c.FindRow(kList1, row) >= 0 && c.Status(3).empty(); });
  }
  bool Expand(const std::string& row) {
    const int before = c.RowCount(kList1);
    const int i = c.FindRow(kList1, row);
    if (i < 0 || !c.DoubleClick(kList1, i)) {
      std::printf("cannot double-click row %d (%s)\n", i, row.c_str());
      return false;
    }
    if (WaitUntil([&] { return c.RowCount(kList1) > before; })) return true;
    for (const std::string& r : c.Rows(kList1)) std::printf("  row: %s\n", r.c_str());
    std::printf("  zones: %s | %s | %s\n", c.Status(1).c_str(), c.Status(2).c_str(), c.Status(3).c_str());
    return false;
  }
  std::string ServerPath(const std::string& rel) const {
    std::string p = server->root + "\\" + rel;
    for (char& ch : p)
      if (ch == '/') ch = '\\';
    return p;
  }
};

// States of the controls as the window's state table gives them. The window enables and
// disables them one after the other: wait (a little) for the whole set before checking, so a
// loaded machine does not catch the window between two of them.
inline void CheckStates(Client& c, bool session, bool connected) {
  WaitUntil([&] {
    return c.Enabled(kStart) == !session && c.Enabled(kProxy) == !session && c.Enabled(kClose) == session &&
           c.Enabled(kConnect) == (session && !connected) && c.Enabled(kDisconnect) == (session && connected) &&
           c.Enabled(kGet) == (session && connected) && c.Enabled(kPut) == (session && connected);
  }, 3000);
  CHECK_EQ(c.Enabled(kStart), !session);
  CHECK_EQ(c.Enabled(kProxy), !session);
  CHECK_EQ(c.Enabled(kClose), session);
  CHECK_EQ(c.Enabled(kServerName), session);
  CHECK_EQ(c.Enabled(kUserName), session);
  CHECK_EQ(c.Enabled(kPassword), session);
  CHECK_EQ(c.Enabled(kPassive), session);
  CHECK_EQ(c.Enabled(kConnect), session && !connected);
  CHECK_EQ(c.Enabled(kDisconnect), session && connected);
  CHECK_EQ(c.Enabled(kGet), session && connected);
  CHECK_EQ(c.Enabled(kPut), session && connected);
}

inline void ExpectBox(Client& c, const std::string& caption, const std::string& text, const std::string& answer = "OK") {
  const uidriver::MessageBoxInfo box = c.WaitMessageBox();
  CHECK(box.hwnd != nullptr);
  CHECK_EQ(box.caption, caption);
  CHECK_EQ(box.text, text);
  CHECK(c.Answer(box, answer));
}

// Types into a dialog's entry once the dialog has opened (its EVENT:OpenWindow shows the
// variables and then puts the focus on the entry; text typed before that would be overwritten).
// The text is typed as characters, as a user does, and checked: a redisplay of the dialog
// that came between a text set and its "modified" mark would have put the old value back.
inline void TypeIntoDialog(Client& c, HWND dialog, int field, const std::string& text) {
  HWND entry = c.FieldOf(dialog, field);
  const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
  CHECK(WaitUntil([&] {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread, &info) && info.hwndFocus == entry;
  }, 5000));
  auto shown = [&] {
    char buf[512] = "";
    SendMessageTimeoutA(entry, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, nullptr);
    return std::string(buf);
  };
  CHECK(WaitUntil([&] {
    if (shown() == text) return true;
    PostMessageA(entry, EM_SETSEL, 0, -1);
    for (unsigned char ch : text) PostMessageA(entry, WM_CHAR, ch, 1);
    return WaitUntil([&] { return shown() == text; }, 1000);
  }, 10000));
}

inline int c_row(Client& c, const std::string& name) { return c.FindRow(kList1, name); }

}  // namespace e2e
