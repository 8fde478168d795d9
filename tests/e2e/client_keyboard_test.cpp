// The client with the keyboard alone, end to end under Wine against the fixture's vsftpd: start
// a session, connect, open a folder, download, upload, rename and delete through the context
// menu, create a folder, cancel a dialog with Escape, close. Only keystrokes reach the program
// (SendInput to its foreground window); after each step the test reads where the focus is
// (GetGUIThreadInfo) and checks that the keyboard still reaches a usable control. Then the
// main window read by an assistive tool through oleacc: every control by role and name, every
// row of the trees with its text and state.
#include <windows.h>
#include <oleacc.h>

#include "e2e/client_steps.h"
#include "e2e/keyboard_driver.h"
#include "support/acc_tree.h"

namespace {

using namespace e2e;
using kbd::Press;
using kbd::Type;

// The focus must stay where the keyboard can go on from.
#define CHECK_FOCUS(c) CHECK(kbd::FocusUsable((c).Main()))

// Selects the remote or local list row whose first column starts with `prefix`, by typing it
// into the focused list (type-ahead), and checks the selection.
bool TypeAhead(Client& c, int list, const std::string& prefix, const std::string& row) {
  Sleep(1100);  // a fresh search, not the end of the last one
  Type(prefix);
  return WaitUntil([&] {
    DWORD_PTR sel = 0;
    SendMessageTimeoutW(c.Field(list), LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &sel);
    const std::string text = c.Row(list, static_cast<int>(static_cast<LRESULT>(sel)));
    return text.substr(0, text.find('\t')) == row;
  }, 5000);
}

// A message box of the client: it comes to the front by itself (else a keyboard user could not
// answer it), shows the text, and is answered with a key.
void AnswerBox(Client& c, const std::string& caption, const std::string& text, WORD key = VK_RETURN) {
  const uidriver::MessageBoxInfo box = c.WaitMessageBox(30000);
  REQUIRE(box.hwnd != nullptr);
  CHECK_EQ(box.caption, caption);
  CHECK_EQ(box.text, text);
  REQUIRE(kbd::WaitForeground(box.hwnd));
  if (key >= 'A' && key <= 'Z') Type(std::string(1, static_cast<char>(key + 32)));
  else Press(key);
  CHECK(WaitUntil([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); }, 10000));
}

// The remote list's context menu, opened with the context-menu key on the selected row; item n
// (1-based) chosen with the arrows and Enter. The menu opens below the row, not at the pointer.
void MenuItem(Client& c, int n, const std::string& screenshot = "") {
  HWND list = c.Field(kList1);
  Press(VK_APPS);
  HWND menu = nullptr;
  REQUIRE(WaitUntil([&] {
    menu = FindWindowA("#32768", nullptr);
    return menu && IsWindowVisible(menu);
  }, 10000));
  DWORD_PTR sel = 0;
  SendMessageTimeoutW(list, LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &sel);
  RECT row{}, at{};
  SendMessageTimeoutW(list, LB_GETITEMRECT, sel, reinterpret_cast<LPARAM>(&row), SMTO_ABORTIFHUNG, 2000, nullptr);
  MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&row), 2);
  GetWindowRect(menu, &at);
  CHECK(at.top >= row.top && at.top <= row.bottom + 2);
  // The menu reads keys once its loop runs.
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  WaitUntil([&] {
    return GetGUIThreadInfo(GetWindowThreadProcessId(menu, nullptr), &info) &&
           (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) != 0;
  }, 5000);
  Sleep(250);
  if (!screenshot.empty()) Shot(c, c.Main(), screenshot, menu);
  for (int i = 0; i < n; ++i) Press(VK_DOWN);
  Press(VK_RETURN);
  CHECK(WaitUntil([&] { return !IsWindowVisible(menu); }, 10000));
}

// A dialog of the client (Rename File, Create Directory): it comes to the front with the focus
// in its entry, takes the typed text, and Enter presses its default button.
HWND DialogWithFocusInEntry(Client& c, const std::string& title) {
  HWND dialog = c.FindDialog(title);
  if (!dialog) return nullptr;
  CHECK(kbd::WaitForeground(dialog));
  CHECK(kbd::WaitFocus(dialog, 4));
  return dialog;
}

void BackInTheTree(Client& c) {
  CHECK(kbd::WaitForeground(c.Main()));
  if (!kbd::WaitFocus(c.Main(), kList1)) {
    HWND f = kbd::FocusOf(c.Main());
    std::printf("  focus on %s field %d; foreground %s\n", kbd::ClassOf(f).c_str(), kbd::FieldOf(f),
                kbd::ClassOf(GetForegroundWindow()).c_str());
    CHECK(!"the focus is back in the tree");
  }
}

// The line of the dump that starts with `what` (after its role) has at least these states.
bool HasStates(const std::string& tree, const std::string& what, long states) {
  const std::size_t at = tree.find(what);
  if (at == std::string::npos) {
    std::printf("  missing: %s\n", what.c_str());
    return false;
  }
  const std::size_t open = tree.find('{', at), close = tree.find('}', at);
  const std::string have = "," + tree.substr(open + 1, close - open - 1) + ",";
  for (long bit = 1; bit && bit <= 0x40000000; bit <<= 1)
    if ((states & bit) && have.find("," + acctree::StateNames(bit) + ",") == std::string::npos) {
      std::printf("  %s: not %s in {%s}\n", what.c_str(), acctree::StateNames(bit).c_str(), have.c_str());
      return false;
    }
  return true;
}

}  // namespace

TEST_CASE("keyboard only: session, connect, open, get, put, rename, delete, create, Escape, close") {
  // The local folder holds the file to upload before the client starts (it lists it then).
  Session s;
  LoadArguments();
  s.server = nettest::FindServer("vsftpd");
  REQUIRE(s.server != nullptr);
  s.local = LocalScratch("keyboard");
  const std::string payload = nettest::Bytes(70000, 3);
  Write(s.local + "\\upload key.bin", payload);
  Client& c = s.c;
  REQUIRE(c.Start(g_exe, s.local));
  REQUIRE(kbd::WaitForeground(c.Main()));
  // At start the first control has the focus.
  CHECK(kbd::WaitFocus(c.Main(), kUsePreconfig));

  // Start Internet Session: Tab, Space. The pressed button is disabled; the focus moves on to
  // the server name (the program selects it), never to nowhere.
  REQUIRE(kbd::TabTo(c.Main(), kStart));
  Press(VK_SPACE);
  REQUIRE(WaitUntil([&] { return !c.Enabled(kStart); }));
  CHECK(kbd::WaitFocus(c.Main(), kServerName));
  CheckStates(c, true, false);

  // The server, user and password typed; Tab moves on (and selects the entry's text).
  Press(VK_HOME);
  Press(VK_END, VK_SHIFT);
  Type(s.server->Host());
  Press(VK_TAB);
  REQUIRE(kbd::WaitFocus(c.Main(), kUserName));
  Type("anonymous");
  Press(VK_TAB);
  REQUIRE(kbd::WaitFocus(c.Main(), kPassword));
  Type("keys@");
  Press(VK_TAB);
  REQUIRE(kbd::WaitFocus(c.Main(), kConnect));
  Press(VK_SPACE);
  REQUIRE(WaitUntil([&] { return c.Enabled(kDisconnect) && c.FindRow(kList1, "pub") > 0; }, 30000));
  CHECK_EQ(c.Text(kServerName), s.server->Host());
  // Connect is disabled now: the focus went on to the next tab stop.
  CHECK(WaitUntil([&] { return kbd::FocusUsable(c.Main()) && kbd::FocusOf(c.Main()) != c.Field(kConnect); }));
  CheckStates(c, true, true);

  // Open "pub": Tab into the tree, type-ahead to the row, Enter (the double click).
  REQUIRE(kbd::TabTo(c.Main(), kList1));
  REQUIRE(TypeAhead(c, kList1, "pu", "pub"));
  const int before = c.RowCount(kList1);
  Press(VK_RETURN);
  REQUIRE(WaitUntil([&] { return c.RowCount(kList1) > before && c.FindRow(kList1, "text.txt") > 0; }, 30000));
  REQUIRE(s.WaitIdleRow("text.txt"));
  CHECK(kbd::WaitFocus(c.Main(), kList1));
  // Right goes into the open folder, Left back to it.
  Press(VK_RIGHT);
  CHECK(WaitUntil([&] {
    DWORD_PTR sel = 0;
    SendMessageTimeoutW(c.Field(kList1), LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &sel);
    return static_cast<int>(sel) == c.FindRow(kList1, "pub") + 1;
  }));
  Press(VK_LEFT);
  CHECK(TypeAhead(c, kList1, "pu", "pub"));
  Sleep(300);
  Shot(c, c.Main(), "keyboard_tree");

  // Download mib.bin: selected in the tree, then Shift+Tab back to "--- Get --->" and Space.
  // Pressed again at once, while the transfer runs, it is refused; the file arrives once.
  REQUIRE(TypeAhead(c, kList1, "mib.b", "mib.bin"));
  REQUIRE(kbd::TabTo(c.Main(), kGet, true));
  kbd::PressBurst(VK_SPACE, 2);
  AnswerBox(c, "FTP Client", "Cannot process request now");
  const std::string mib = s.local + "\\mib.bin";
  CHECK(WaitUntil([&] { return Exists(mib) && c.Status(2) == "Finished"; }, 30000));
  CHECK(Slurp(mib) == Slurp(s.ServerPath("pub/mib.bin")));
  CHECK(kbd::WaitForeground(c.Main()));
  CHECK(kbd::WaitFocus(c.Main(), kGet));

  // Upload "upload key.bin": Tab on to the local file list, type-ahead, Shift+Tab back to
  // "<--- Put ---" (the remote folder is that of the row chosen before: pub).
  REQUIRE(kbd::TabTo(c.Main(), kList4));
  REQUIRE(TypeAhead(c, kList4, "upl", "upload key.bin"));
  REQUIRE(kbd::TabTo(c.Main(), kPut, true));
  Press(VK_SPACE);
  CHECK(WaitUntil([&] { return Slurp(s.ServerPath("pub/upload key.bin")) == payload && s.WaitIdleRow("upload key.bin"); },
                  30000));
  CHECK_FOCUS(c);

  // Rename it through the context menu: the dialog takes the new name, Enter renames.
  REQUIRE(kbd::TabTo(c.Main(), kList1));
  REQUIRE(TypeAhead(c, kList1, "upl", "upload key.bin"));
  MenuItem(c, 1, "keyboard_menu");
  HWND dialog = DialogWithFocusInEntry(c, "Rename File");
  REQUIRE(dialog != nullptr);
  Type("renamed key.bin");
  Shot(c, dialog, "keyboard_rename");
  Press(VK_RETURN);
  AnswerBox(c, "FTP Client", "File was renamed!");
  CHECK(WaitUntil([&] { return Exists(s.ServerPath("pub/renamed key.bin")) && !Exists(s.ServerPath("pub/upload key.bin")); }));
  CHECK(s.WaitIdleRow("renamed key.bin"));
  BackInTheTree(c);

  // Escape cancels the dialog: nothing is renamed, the focus is back in the tree.
  REQUIRE(TypeAhead(c, kList1, "ren", "renamed key.bin"));
  MenuItem(c, 1);
  dialog = DialogWithFocusInEntry(c, "Rename File");
  REQUIRE(dialog != nullptr);
  Type("never.bin");
  Press(VK_ESCAPE);
  CHECK(WaitUntil([&] { return !IsWindow(dialog); }));
  BackInTheTree(c);
  Sleep(500);
  CHECK(Exists(s.ServerPath("pub/renamed key.bin")));
  CHECK(!Exists(s.ServerPath("pub/never.bin")));

  // Delete it: the confirmation's default is No; "y" (its mnemonic) answers Yes.
  REQUIRE(TypeAhead(c, kList1, "ren", "renamed key.bin"));
  MenuItem(c, 2);
  AnswerBox(c, "FTP Client", "Do you want to delete: \n/pub/renamed key.bin file.", 'Y');
  AnswerBox(c, "FTP Client", "File was deleted!");
  CHECK(WaitUntil([&] { return !Exists(s.ServerPath("pub/renamed key.bin")); }));
  CHECK(WaitUntil([&] { return c.FindRow(kList1, "renamed key.bin") < 0 && c.FindRow(kList1, "text.txt") > 0; }));
  BackInTheTree(c);

  // Create a folder under pub.
  REQUIRE(TypeAhead(c, kList1, "pu", "pub"));
  MenuItem(c, 3);
  dialog = DialogWithFocusInEntry(c, "Create Directory");
  REQUIRE(dialog != nullptr);
  Type("made by keys");
  Press(VK_RETURN);
  AnswerBox(c, "VT FTP Client", "New directory was created!");
  CHECK(WaitUntil([&] { return Exists(s.ServerPath("pub/made by keys")); }));
  CHECK(s.WaitIdleRow("made by keys"));
  BackInTheTree(c);
  CheckStates(c, true, true);

  // Close with Alt+F4.
  Press(VK_F4, VK_MENU);
  CHECK(WaitUntil([&] { return !IsWindow(c.Main()); }));
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("assistive tool: the main window's controls by role and name, the trees' rows with states") {
  Session s;
  REQUIRE(s.Open("vsftpd", "accessible"));
  Client& c = s.c;
  s.StartSession();
  REQUIRE(s.Connect());
  REQUIRE(s.Expand("pub"));
  REQUIRE(s.WaitIdleRow("text.txt"));
  REQUIRE(c.Select(kList1, c.FindRow(kList1, "text.txt")));
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IAccessible* top = acctree::FromWindow(c.Main());
  REQUIRE(top != nullptr);
  std::string tree;
  acctree::Dump(acctree::Read(top, 2), &tree);
  top->Release();
  CoUninitialize();
  std::printf("%s", tree.substr(0, 4000).c_str());
  auto has = [&](long role, const std::string& name) {
    const std::string line = acctree::RoleName(role) + " \"" + name + "\"";
    if (tree.find(line) != std::string::npos) return true;
    std::printf("  missing: %s\n", line.c_str());
    return false;
  };
  CHECK(has(ROLE_SYSTEM_CLIENT, "Asynchronous FTP Client"));
  CHECK(has(ROLE_SYSTEM_CHECKBUTTON, "Retrive Proxy Configuration from the Registry"));
  CHECK(has(ROLE_SYSTEM_PUSHBUTTON, "Start Internet Session"));
  CHECK(has(ROLE_SYSTEM_PUSHBUTTON, "Close Internet Session"));
  CHECK(has(ROLE_SYSTEM_TEXT, "TIS Compatible Proxy (No CERN)"));
  CHECK(has(ROLE_SYSTEM_TEXT, "Server Name"));
  CHECK(has(ROLE_SYSTEM_TEXT, "User Name"));
  CHECK(has(ROLE_SYSTEM_TEXT, "Password"));
  CHECK(has(ROLE_SYSTEM_PUSHBUTTON, "Connect"));
  CHECK(has(ROLE_SYSTEM_CHECKBUTTON, "Passive FTP Syntax"));
  CHECK(has(ROLE_SYSTEM_PUSHBUTTON, "Disonnect"));
  CHECK(has(ROLE_SYSTEM_GROUPING, "Transfer"));
  CHECK(has(ROLE_SYSTEM_RADIOBUTTON, "Binary"));
  CHECK(has(ROLE_SYSTEM_RADIOBUTTON, "Ascii"));
  CHECK(has(ROLE_SYSTEM_PUSHBUTTON, "--- Get --->"));
  CHECK(has(ROLE_SYSTEM_PUSHBUTTON, "<--- Put ---"));
  CHECK(has(ROLE_SYSTEM_PUSHBUTTON, "Clear Tagged"));
  CHECK(has(ROLE_SYSTEM_PROGRESSBAR, ""));
  CHECK(has(ROLE_SYSTEM_OUTLINE, "Name"));
  CHECK(has(ROLE_SYSTEM_PUSHBUTTON, "Close"));
  CHECK(has(ROLE_SYSTEM_OUTLINE, ""));  // the local folders (no label of their own)
  CHECK(has(ROLE_SYSTEM_PUSHBUTTON, "Previous level"));
  CHECK(has(ROLE_SYSTEM_LIST, "File Name"));
  CHECK(has(ROLE_SYSTEM_COMBOBOX, "Select drive"));
  CHECK(has(ROLE_SYSTEM_STATUSBAR, ""));
  // Rows of the remote tree: the server, pub open (listed), text.txt selected, its size told.
  CHECK(has(ROLE_SYSTEM_OUTLINEITEM, s.server->Host()));
  CHECK(HasStates(tree, "\"pub\" value=2 action=Double Click", STATE_SYSTEM_EXPANDED | STATE_SYSTEM_SELECTABLE));
  CHECK(HasStates(tree, "\"text.txt\" value=3 desc=File Size: 29 bytes action=Double Click", STATE_SYSTEM_SELECTED));
  CHECK(HasStates(tree, "\"empty\" value=3 action=Double Click", STATE_SYSTEM_SELECTABLE));  // never listed
  CHECK(HasStates(tree, "\"readme.txt\" value=2 desc=File Size: 10 bytes", STATE_SYSTEM_SELECTABLE));
  CHECK_EQ(c.Stop(), 0);
}

namespace {

// Status zone 4 as the window shows the counts of tagged rows ("" while none is tagged).
std::string Counts(int local, int remote) {
  if (!local && !remote) return "";
  return "Tagged: " + std::to_string(local) + " local, " + std::to_string(remote) + " remote";
}

bool ShowsCounts(Client& c, int local, int remote) {
  if (WaitUntil([&] { return c.Status(4) == Counts(local, remote); }, 10000)) return true;
  std::printf("  zone 4: \"%s\", expected \"%s\"\n", c.Status(4).c_str(), Counts(local, remote).c_str());
  return false;
}

}  // namespace

TEST_CASE("tags: keyboard and mouse on both sides, the counts, Clear Tagged, a refresh keeps remote tags") {
  Session s;
  LoadArguments();
  s.server = nettest::FindServer("vsftpd");
  REQUIRE(s.server != nullptr);
  s.local = LocalScratch("tags");
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) Write(s.local + "\\" + name, name);
  Client& c = s.c;
  REQUIRE(c.Start(g_exe, s.local));
  REQUIRE(WaitUntil([&] { return StartedUp(c); }));
  REQUIRE(kbd::WaitForeground(c.Main()));
  CHECK_EQ(c.Status(4), std::string(""));

  // Local: a click on a.txt, Shift+click on c.txt tags a..c; Space tags d.txt; Ctrl+click
  // takes b.txt out again.
  const int a = c.FindRow(kList4, "a.txt");
  REQUIRE(a >= 0);
  REQUIRE(c.ClickWith(kList4, a, 0));
  REQUIRE(c.ClickWith(kList4, a + 2, MK_SHIFT));
  CHECK(ShowsCounts(c, 3, 0));
  Press(VK_END);
  Press(VK_SPACE);
  CHECK(ShowsCounts(c, 4, 0));
  REQUIRE(c.ClickWith(kList4, a + 1, MK_CONTROL));
  CHECK(ShowsCounts(c, 3, 0));

  // Remote: mib.bin clicked, Shift+click on one.bin tags the rows between them in pub; Space
  // on text.txt (chosen with the arrows) tags it too.
  s.StartSession();
  REQUIRE(s.Connect());
  REQUIRE(s.Expand("pub"));
  REQUIRE(s.WaitIdleRow("text.txt"));
  const int mib = c.FindRow(kList1, "mib.bin"), one = c.FindRow(kList1, "one.bin");
  REQUIRE(mib > 0);
  REQUIRE(one > mib);
  const int range = one - mib + 1;
  REQUIRE(c.ClickWith(kList1, mib, 0));
  REQUIRE(c.ClickWith(kList1, one, MK_SHIFT));
  CHECK(ShowsCounts(c, 3, range));
  const int text = c.FindRow(kList1, "text.txt");
  for (int i = one; i < text; ++i) Press(VK_DOWN);
  REQUIRE(WaitUntil([&] {
    DWORD_PTR sel = 0;
    SendMessageTimeoutW(c.Field(kList1), LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &sel);
    return static_cast<int>(sel) == text;
  }));
  Press(VK_SPACE);
  CHECK(ShowsCounts(c, 3, range + 1));
  Sleep(300);
  Shot(c, c.Main(), "tags_both_sides");
  // Closed (Left to pub, Left closes it), pub hides its tagged rows; they still count.
  const int shown = c.RowCount(kList1);
  Press(VK_LEFT);
  Press(VK_LEFT);
  REQUIRE(WaitUntil([&] { return c.RowCount(kList1) < shown; }));
  CHECK(ShowsCounts(c, 3, range + 1));
  Sleep(300);
  Shot(c, c.Main(), "tags_folder_closed");
  Press(VK_RIGHT);
  REQUIRE(WaitUntil([&] { return c.RowCount(kList1) == shown; }));

  // Clear Tagged on the local side clears the local tags alone.
  c.Press(kClearLocal);
  CHECK(ShowsCounts(c, 0, range + 1));

  // F5 lists pub again (it now holds one file more) and the local folder: the remote tags
  // stay on their entries, a local tag made before is gone with the list read again.
  REQUIRE(kbd::TabTo(c.Main(), kList4));
  Press(VK_HOME);
  Press(VK_SPACE);
  CHECK(ShowsCounts(c, 1, range + 1));
  Write(s.ServerPath("pub/tags fresh.txt"), "fresh");
  REQUIRE(c.Select(kList1, text));
  Press(VK_F5);
  CHECK(s.WaitIdleRow("tags fresh.txt"));
  CHECK(ShowsCounts(c, 0, range + 1));

  // Clear Tagged on the remote side: no tag left, the zone is empty.
  c.Press(kClearRemote);
  CHECK(ShowsCounts(c, 0, 0));

  // A download refreshes the local list: a tagged, selected local file must not hand its tag
  // to every file listed again. (Space typed right after "c." is part of the search; after
  // the pause it tags.)
  REQUIRE(kbd::TabTo(c.Main(), kList4));
  REQUIRE(TypeAhead(c, kList4, "c.", "c.txt"));
  Sleep(1100);
  Press(VK_SPACE);
  CHECK(ShowsCounts(c, 1, 0));
  REQUIRE(c.Select(kList1, c.FindRow(kList1, "text.txt")));
  c.Press(kGet);
  CHECK(WaitUntil([&] { return Exists(s.local + "\\text.txt") && c.Status(2) == "Finished" && c.FindRow(kList4, "text.txt") >= 0; },
                  30000));
  CHECK(ShowsCounts(c, 0, 0));
  DeleteFileA(s.ServerPath("pub/tags fresh.txt").c_str());
  CHECK_EQ(c.Stop(), 0);
}
