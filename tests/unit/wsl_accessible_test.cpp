// The windows read and driven by an assistive tool in another process (acc_reader, through
// oleacc's AccessibleObjectFromWindow): every control by its role and name, a list's and a
// tree's rows with their text and states, rows selected and buttons pressed from the tool with
// the events the program sees for the user's own actions, the accessibility events the tool
// follows, and an object kept after its window closed.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "runtime/wsl/accessible.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/properties.h"
#include "support/acc_tree.h"
#include "support/check.h"
#include "wsl_keyboard_support.h"

using namespace vel::wsl;
using namespace keytest;

namespace {

std::string ReadFile(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

// Starts acc_reader on `window` with these commands.
struct Reader {
  PROCESS_INFORMATION pi{};
  std::string out;
  Reader(HWND window, const std::string& commands) {
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    out = std::string(dir) + "acc_reader_out.txt";
    DeleteFileA(out.c_str());
    std::string cmd = "acc_reader.exe " + std::to_string(reinterpret_cast<std::uintptr_t>(window)) + " \"" + out +
                      "\" " + commands;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  }
  bool Done() const { return !pi.hProcess || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }
  // The window's loop answers the tool's calls (they arrive as messages) until it ends.
  std::string Finish() {
    RunQuiet([this] { return Done(); }, 60000);
    return Close();
  }
  std::string Close() {
    if (pi.hProcess) {
      WaitForSingleObject(pi.hProcess, 20000);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
      pi = {};
    }
    return ReadFile(out);
  }
};

// One line of the tool's dump as acc_tree writes it, built with the same role and state texts.
std::string Line(long role, const std::string& name, const std::string& rest, long state) {
  return acctree::RoleName(role) + " \"" + name + "\"" + rest + " {" + acctree::StateNames(state) + "}";
}

bool Has(const std::string& text, const std::string& line) {
  if (text.find(line) != std::string::npos) return true;
  std::printf("  missing: %s\n", line.c_str());
  return false;
}

struct NamedEvent {
  std::string name;
  HANDLE handle;
  explicit NamedEvent(const char* base)
      : name(std::string(base) + std::to_string(GetCurrentProcessId())), handle(CreateEventA(nullptr, TRUE, FALSE, name.c_str())) {}
  ~NamedEvent() { CloseHandle(handle); }
  bool Set() const { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }
};

constexpr long kFocusable = STATE_SYSTEM_FOCUSABLE;

}  // namespace

TEST_CASE("accessible: every control by role and name; list and tree rows with text and states") {
  KeysWindow k;
  REQUIRE(k.w);
  k.w->Field(kItems)->SetProperty(0x7C8F, "2");
  k.w->Field(kDrives)->SetProperty(0x7C8F, "2");
  k.w->Field(kTree)->SetProperty(0x7C8F, "2");
  k.percent = 50;
  DisplayFields();
  SetFocus(k.Hwnd(kName));
  RunQuiet();
  const std::string tree = Reader(k.w->hwnd, "tree").Finish();
  std::printf("%s", tree.c_str());
  CHECK(Has(tree, Line(ROLE_SYSTEM_CLIENT, "Keys", "", 0)));
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_STATICTEXT, "Name", "", STATE_SYSTEM_READONLY)));
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_TEXT, "Name", " keys=Alt+N", STATE_SYSTEM_FOCUSED | kFocusable)));
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_CHECKBUTTON, "Flag", " action=Check", kFocusable)));
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_GROUPING, "Mode", "", 0)));
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_RADIOBUTTON, "One", " action=Check", STATE_SYSTEM_CHECKED | kFocusable)));
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_RADIOBUTTON, "Two", " action=Check", kFocusable)));
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_PUSHBUTTON, "Refresh", " action=Press keys=F5", kFocusable)));
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_PUSHBUTTON, "Save", " action=Press keys=Ctrl+S", kFocusable)));
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_PUSHBUTTON, "Previous level", " action=Press", kFocusable)));
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_PUSHBUTTON, "Close", " action=Press", STATE_SYSTEM_DEFAULT | kFocusable)));
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_PROGRESSBAR, "", " value=25%", STATE_SYSTEM_READONLY)));
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_STATICTEXT, "shown text", "", STATE_SYSTEM_READONLY)));
  // The list: named by its tip, one item per row, the chosen one selected.
  const long item = STATE_SYSTEM_SELECTABLE | kFocusable;
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_LIST, "Pick an item", "", kFocusable) + "\n" +
                      "    " + Line(ROLE_SYSTEM_LISTITEM, "item 1", " action=Double Click", item) + "\n" +
                      "    " + Line(ROLE_SYSTEM_LISTITEM, "item 2", " action=Double Click", item | STATE_SYSTEM_SELECTED) + "\n" +
                      "    " + Line(ROLE_SYSTEM_LISTITEM, "item 3", " action=Double Click", item) + "\n"));
  // The drop list: a combo box whose value is the chosen drive.
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_COMBOBOX, "Select drive", " value=C action=Open",
                              kFocusable | STATE_SYSTEM_COLLAPSED)));
  CHECK(Has(tree, "    " + Line(ROLE_SYSTEM_LISTITEM, "D", " action=Select", item | STATE_SYSTEM_OFFSCREEN)));
  // The tree: outline items with their level; open rows expanded, closed ones collapsed, a
  // folder never listed neither; the hidden child is no row.
  CHECK(Has(tree, "  " + Line(ROLE_SYSTEM_OUTLINE, "Folder", "", kFocusable) + "\n" +
                      "    " + Line(ROLE_SYSTEM_OUTLINEITEM, "server", " value=1 action=Double Click", item | STATE_SYSTEM_EXPANDED) + "\n" +
                      "    " + Line(ROLE_SYSTEM_OUTLINEITEM, "pub", " value=2 action=Double Click",
                                  item | STATE_SYSTEM_EXPANDED | STATE_SYSTEM_SELECTED) + "\n" +
                      "    " + Line(ROLE_SYSTEM_OUTLINEITEM, "readme.txt", " value=3 action=Double Click", item) + "\n" +
                      "    " + Line(ROLE_SYSTEM_OUTLINEITEM, "incoming", " value=2 action=Double Click", item | STATE_SYSTEM_COLLAPSED) + "\n" +
                      "    " + Line(ROLE_SYSTEM_OUTLINEITEM, "empty", " value=2 action=Double Click", item) + "\n"));
}

TEST_CASE("accessible: a tool selects rows and presses buttons as the user does; events follow") {
  KeysWindow k;
  REQUIRE(k.w);
  SetFocus(k.Hwnd(kName));
  RunQuiet();
  NamedEvent ready("acc_ready"), done("acc_done");
  Reader r(k.w->hwnd, "hook signal:" + ready.name + " \"select:Pick an item:2\" wait:" + done.name +
                          " focus \"hit:Pick an item:3\" press:Refresh press:Flag press:Three events");
  std::vector<Seen> seen = RunQuiet([&] { return ready.Set() && k.w->Field(kItems)->Choice() == 2; }, 20000);
  CHECK_EQ(k.w->Field(kItems)->Choice(), 2);
  CHECK(GetFocus() == k.Hwnd(kItems));
  CHECK(Contains(seen, kEvNewSelection, kItems));
  // The user goes on with the keyboard: the next row, with its events.
  Tap(VK_DOWN);
  seen = RunQuiet();
  CHECK_EQ(k.w->Field(kItems)->Choice(), 3);
  SetEvent(done.handle);
  const std::string out = r.Finish();
  std::printf("%s", out.c_str());
  CHECK(Has(out, "select Pick an item 2: 00000000"));
  CHECK(Has(out, "focus Pick an item row item 3"));
  CHECK(Has(out, "hit 3"));
  CHECK(Has(out, "press Refresh 0: 00000000"));
  CHECK(Has(out, "SELECTION field 12 child 2\nFOCUS field 12 child 2\n"));
  CHECK(Has(out, "SELECTION field 12 child 3\nFOCUS field 12 child 3\n"));
  CHECK(Has(out, "STATECHANGE field 3 child 0"));  // the check box, checked by the tool
  CHECK_EQ(k.flag, 1);
  CHECK_EQ(k.mode, 3);
}

TEST_CASE("accessible: a row tagged with Space is checked for a tool, with a state change") {
  KeysWindow k;
  REQUIRE(k.w);
  PropertySet(k.w, kTree, 0x7C6D, "4");  // Mark: the folders' tag field
  k.w->Field(kTree)->SetProperty(0x7C8F, "3");
  SetFocus(k.Hwnd(kTree));
  RunQuiet();
  NamedEvent ready("acc_tag_ready"), done("acc_tag_done");
  Reader r(k.w->hwnd, "hook signal:" + ready.name + " wait:" + done.name + " events tree");
  RunQuiet([&] { return ready.Set(); }, 20000);
  Tap(VK_SPACE);
  const std::vector<Seen> seen = RunQuiet();
  CHECK(Contains(seen, kEvNewSelection, kTree));
  vel::QueueGetAt(&k.folders, 3);
  CHECK_EQ(static_cast<int>(k.folder.tag), 1);
  SetEvent(done.handle);
  const std::string out = r.Finish();
  std::printf("%s", out.c_str());
  CHECK(Has(out, "STATECHANGE field 17 child 3"));
  const long item = STATE_SYSTEM_SELECTABLE | kFocusable;
  CHECK(Has(out, "    " + Line(ROLE_SYSTEM_OUTLINEITEM, "readme.txt", " value=3 action=Double Click",
                                 item | STATE_SYSTEM_SELECTED | STATE_SYSTEM_FOCUSED | STATE_SYSTEM_CHECKED) + "\n" +
                     "    " + Line(ROLE_SYSTEM_OUTLINEITEM, "incoming", " value=2 action=Double Click",
                                 item | STATE_SYSTEM_COLLAPSED) + "\n"));
}

TEST_CASE("accessible: the program sees the tool's presses as clicks") {
  KeysWindow k;
  REQUIRE(k.w);
  RunQuiet();
  Reader r(k.w->hwnd, "press:Save press:Off \"default:Pick an item:1\" \"press:Select drive\"");
  const std::vector<Seen> seen = RunQuiet([&] { return r.Done(); }, 30000);
  r.Close();
  CHECK(Contains(seen, kEvAccepted, kSave));
  CHECK(Contains(seen, kEvAccepted, kOff));
  CHECK(Contains(seen, kEvAccepted, kItems));  // Enter's action on a plain list's row
  CHECK(Contains(seen, kEvDroppingDown, kDrives));
  // A disabled button cannot be pressed.
  PropertySet(k.w, kOff, 0x7C5F, "1");
  Reader again(k.w->hwnd, "press:Off");
  const std::vector<Seen> after = RunQuiet([&] { return again.Done(); }, 30000);
  CHECK(Has(again.Close(), "press Off 0: 80020003"));
  CHECK(!Contains(after, kEvAccepted, kOff));
}

TEST_CASE("accessible: an object kept after its window closed answers, disconnected") {
  NamedEvent kept("acc_kept"), closed("acc_closed");
  Reader* r = nullptr;
  {
    KeysWindow k;
    REQUIRE(k.w);
    r = new Reader(k.w->hwnd, "keep:Refresh signal:" + kept.name + " wait:" + closed.name + " kept");
    RunQuiet([&] { return kept.Set(); }, 20000);
  }
  SetEvent(closed.handle);
  // No window now: the calls still come as messages to this thread.
  for (int i = 0; i < 2000 && !r->Done(); ++i) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    Sleep(5);
  }
  const std::string out = r->Close();
  delete r;
  CHECK(Has(out, "kept 80010108"));  // RPC_E_DISCONNECTED
}

TEST_CASE("accessible: texts as tools read them") {
  CHECK_EQ(AccessibleText("&Name:"), std::string("Name"));
  CHECK_EQ(AccessibleText(" Passive FTP Syntax"), std::string("Passive FTP Syntax"));
  CHECK_EQ(AccessibleText("Save && Exit"), std::string("Save & Exit"));
  CHECK_EQ(AccessibleText("&"), std::string(""));
  CHECK_EQ(MnemonicShortcut("&Name:"), std::string("Alt+N"));
  CHECK_EQ(MnemonicShortcut("Save && e&xit"), std::string("Alt+X"));
  CHECK_EQ(MnemonicShortcut("No mnemonic"), std::string(""));
  CHECK_EQ(MnemonicShortcut("trailing &"), std::string(""));
}
