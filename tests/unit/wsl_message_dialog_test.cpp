// The message box: button table and results, and real dialogs on the display driven by a
// second thread the way a person would press them.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/wsl/message_dialog.h"
#include "runtime/wsl/runtime_lock.h"
#include "runtime/wsl/icons.h"
#include "support/check.h"
#include "support/screenshot.h"
#include "unit/dialog_support.h"

using vel::wsl::MessageDialog;
using namespace dialogtest;

namespace {

struct Seen {
  std::string text;
  std::string buttons;  // "id:caption" joined by ";"
  int default_id = 0;
  bool still_open_after_escape = false;
};

BOOL CALLBACK CollectButton(HWND child, LPARAM lp) {
  auto* seen = reinterpret_cast<Seen*>(lp);
  char cls[32];
  GetClassNameA(child, cls, sizeof cls);
  const int id = GetDlgCtrlID(child);
  if (!lstrcmpiA(cls, "Button")) {
    seen->buttons += (seen->buttons.empty() ? "" : ";") + std::to_string(id) + ":" + WindowText(child);
    if ((GetWindowLongA(child, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON) seen->default_id = id;
  } else if (id == 0xFFFF) {
    seen->text = WindowText(child);
  }
  return TRUE;
}

// Shows a box on this thread while a driver thread observes it and then acts on it.
int Drive(const char* caption, const std::function<int()>& show, const std::function<void(HWND)>& act, Seen* seen) {
  std::thread driver([&] {
    HWND dialog = WaitForDialog(caption);
    if (!dialog) return;
    EnumChildWindows(dialog, CollectButton, reinterpret_cast<LPARAM>(seen));
    act(dialog);
  });
  const int result = show();
  driver.join();
  return result;
}

void PressEscape(HWND dialog) {
  HWND focus = GetDlgItem(dialog, 1) ? GetDlgItem(dialog, 1) : dialog;
  PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

void Setup() {
  vel::MemoryInitTerm(0);
  vel::wsl::SetMessageHook(nullptr);
  vel::ClearReplacementTexts();
}

}  // namespace

TEST_CASE("message box: button sets, caption lists, defaults and results") {
  Setup();
  bool numbered = false;
  auto b = vel::wsl::MessageButtons("", &numbered);
  CHECK(numbered);
  REQUIRE(b.size() == 1);
  CHECK_EQ(b[0].caption, std::string("OK"));
  CHECK_EQ(vel::wsl::MessageButtons("0", &numbered).size(), 1u);

  b = vel::wsl::MessageButtons("&Yes|&No|Later", &numbered);
  CHECK(!numbered);
  REQUIRE(b.size() == 3);
  CHECK_EQ(b[0].id, 6);
  CHECK_EQ(b[1].id, 7);
  CHECK_EQ(b[2].id, 100);
  CHECK_EQ(vel::wsl::MessageResult(b, false, 100), 3);
  CHECK_EQ(vel::wsl::MessageResult(b, false, 2), 0);  // no Cancel in this box

  b = vel::wsl::MessageButtons("6", &numbered);
  REQUIRE(b.size() == 2);
  CHECK_EQ(vel::wsl::DefaultButtonId(b, 4), 7);
  CHECK_EQ(vel::wsl::DefaultButtonId(b, 0), 6);
  CHECK_EQ(vel::wsl::DefaultButtonId(b, 6), 7);  // the last present button whose bit is set
  CHECK_EQ(vel::wsl::MessageResult(b, true, 7), 4);

  // All eight in table order; a ninth caption in a list is ignored.
  b = vel::wsl::MessageButtons("255", &numbered);
  REQUIRE(b.size() == 8);
  CHECK_EQ(b[6].caption, std::string("Cancel"));
  CHECK_EQ(b[7].id, 9);
  CHECK_EQ(vel::wsl::MessageButtons("a|b|c|d|e|f|g|h|i", &numbered).size(), 8u);

  // Replacement captions come from the international settings (0x7F00 + index).
  vel::SetReplacementText(0x7F00 + 1, "&Ja");
  b = vel::wsl::MessageButtons("2", &numbered);
  CHECK_EQ(b[0].caption, std::string("&Ja"));
  vel::ClearReplacementTexts();
}

TEST_CASE("message box: an empty button set shows one OK button and returns 1") {
  Setup();
  Seen seen;
  int r = Drive("Box one", [] { return MessageDialog("Hello|world", "Box one", "", "", 0, false); },
                [](HWND d) { Press(d, 1); }, &seen);
  CHECK_EQ(r, 1);
  CHECK_EQ(seen.buttons, std::string("1:OK"));
  CHECK_EQ(seen.text, std::string("Hello\r\nworld"));  // "|" is a line break
}

TEST_CASE("message box: a caption list returns the pressed caption's position") {
  Setup();
  Seen seen;
  int r = Drive("Box two", [] { return MessageDialog("Keep?", "Box two", "", "&Yes|&No|Later", 3, false); },
                [](HWND d) { Press(d, 100); }, &seen);
  CHECK_EQ(r, 3);
  CHECK_EQ(seen.buttons, std::string("6:&Yes;7:&No;100:Later"));
  CHECK_EQ(seen.default_id, 100);
}

TEST_CASE("message box: Yes/No with default No; Escape is ignored without a Cancel button") {
  Setup();
  Seen seen;
  int r = Drive("Box three", [] { return MessageDialog("Delete it?", "Box three", "", "6", 4, false); },
                [&](HWND d) {
                  PressEscape(d);
                  Sleep(300);
                  seen.still_open_after_escape = IsWindow(d) && IsWindowVisible(d);
                  Press(d, 7);
                },
                &seen);
  CHECK_EQ(r, 4);
  CHECK_EQ(seen.default_id, 7);
  CHECK(seen.still_open_after_escape);
}

TEST_CASE("message box: Escape presses Cancel when the box has one") {
  Setup();
  Seen seen;
  int r = Drive("Box four", [] { return MessageDialog("Go on?", "Box four", "", "65", 1, false); },
                [](HWND d) { PressEscape(d); }, &seen);
  CHECK_EQ(r, 64);
  CHECK_EQ(seen.buttons, std::string("1:OK;2:Cancel"));
}

namespace {
vel::wsl::MessageRequest g_hooked;
int Hook(const vel::wsl::MessageRequest& request) {
  g_hooked = request;
  return 42;
}
}  // namespace

TEST_CASE("message box: an installed message hook answers instead of the box") {
  Setup();
  vel::wsl::SetMessageHook(Hook);
  CHECK_EQ(MessageDialog("a|b", "Cap", "", "3", 2, true), 42);
  CHECK_EQ(g_hooked.text, std::string("a\r\nb"));
  CHECK_EQ(g_hooked.caption, std::string("Cap"));
  CHECK(g_hooked.system_modal);
  vel::wsl::SetMessageHook(nullptr);
}

TEST_CASE("message box: the runtime lock is released while the box is up") {
  Setup();
  vel::wsl::ThreadsInitTerm(0);
  vel::wsl::RuntimeLockEnter();
  std::atomic<bool> other_ran{false};
  Seen seen;
  int r = Drive("Box five", [] { return MessageDialog("Wait", "Box five", "", "", 0, false); },
                [&](HWND d) {
                  vel::wsl::RuntimeLockEnter();  // would block forever if the box kept the lock
                  other_ran = true;
                  vel::wsl::RuntimeLockLeave();
                  Press(d, 1);
                },
                &seen);
  CHECK_EQ(r, 1);
  CHECK(other_ran);
  CHECK(vel::wsl::RuntimeLockHeld());
  vel::wsl::RuntimeLockLeave();
  CHECK(!vel::wsl::RuntimeLockHeld());
  vel::wsl::ThreadsInitTerm(1);
}

TEST_CASE("message box: screenshot with the stock exclamation icon and Yes/No") {
  Setup();
  Seen seen;
  bool saved = false;
  const std::string icon = vel::wsl::IconReferenceText(1, 0x7F04);  // the platform's 7F03h
  const int r = Drive(
      "Remove Directory",
      [&] { return MessageDialog("Remove the directory /pub/old?|It must be empty.", "Remove Directory", icon, "6", 2, false); },
      [&](HWND dialog) {
        Sleep(200);
        saved = shot::SaveWindow(dialog, "message_box");
        Press(dialog, 7);
      },
      &seen);
  CHECK_EQ(r, 4);  // No
  CHECK_EQ(seen.default_id, 6);
  CHECK(saved);
}

// The text is laid out with the font the box shows it in: measured again with the static's own
// font at its own width, it needs no more height than it was given (under a double-byte code
// page the message font and the template's font differ, and the last lines were cut off).
TEST_CASE("message box: a long text fits the box in the font it is shown in") {
  Setup();
  Seen seen;
  int needed = 0, given = 0;
  const std::string text =
      "The server's certificate is not vouched for by an authority this computer trusts, and this line is long.|"
      "|Server:  localhost:21|Subject:  CN=localhost, O=AFC Tests|Issuer:  CN=localhost, O=AFC Tests"
      "|SHA-256:  AA:BB:DC:9B:E1:A7:D0:FA:85:6C:78:B8:F2:95:97:AB:"
      "|                  CA:92:BF:91:35:CB:58:9C:A5:F2:1C:86:AA:15:F9:66"
      "||Nothing has been sent to the server yet. Trust this certificate for this server?"
      "|You will be asked again only if the server shows another certificate.";
  const int r = Drive(
      "Long Text",
      [&] { return MessageDialog(text, "Long Text", "", "6", 2, false); },
      [&](HWND dialog) {
        HWND label = GetDlgItem(dialog, 0xFFFF);
        RECT area{};
        GetClientRect(label, &area);
        given = area.bottom;
        HDC dc = GetDC(label);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
        char shown[2048] = "";
        GetWindowTextA(label, shown, sizeof shown);
        RECT need{0, 0, area.right, 0};
        DrawTextA(dc, shown, -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        needed = need.bottom;
        SelectObject(dc, old);
        ReleaseDC(label, dc);
        Press(dialog, 7);
      },
      &seen);
  CHECK_EQ(r, 4);
  printf("  text area %d px, the text needs %d px (code page %u)\n", given, needed, GetACP());
  CHECK(needed > 0);
  CHECK(needed <= given);
}
