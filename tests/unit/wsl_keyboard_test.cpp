// The keyboard on real windows, with real keystrokes (SendInput) through the ACCEPT loop's
// translation: no keyboard trap when the focused control is disabled or hidden (also from a
// thread the runtime did not start), Tab order, arrows between the radios of an option, buttons
// entered with key codes, Escape in dialogs and in a main window, tooltips from the
// descriptors' tips.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/keyboard.h"
#include "runtime/wsl/properties.h"
#include "support/blank_filler.h"
#include "support/check.h"
#include "support/screenshot.h"
#include "wsl_keyboard_support.h"

using namespace vel::wsl;
using namespace keytest;

namespace {

constexpr int kPropDisable = 0x7C5F, kPropHide = 0x7C65, kPropTip = 0x7CA0;

}  // namespace

TEST_CASE("focus: a focused control that is disabled or hidden hands the focus to the next tab stop") {
  KeysWindow k;
  REQUIRE(k.w);
  RunQuiet();
  SetFocus(k.Hwnd(kRefresh));
  PropertySet(k.w, kRefresh, kPropDisable, "1");
  CHECK(GetFocus() == k.Hwnd(kSave));
  PropertySet(k.w, kSave, kPropHide, "1");
  CHECK(GetFocus() == k.Hwnd(kBack));
  // The new focus is the window's selected control: its EVENT:Selected arrives.
  std::vector<Seen> seen = RunQuiet();
  CHECK(Contains(seen, kEvSelected, kBack));
  // Tab goes on from there, Shift+Tab back; disabled and hidden controls are skipped.
  Tap(VK_TAB);
  RunQuiet();
  CHECK(GetFocus() == k.Hwnd(kOff));
  Tap(VK_TAB, VK_SHIFT);
  Tap(VK_TAB, VK_SHIFT);
  RunQuiet();
  CHECK(GetFocus() == k.Hwnd(kRadio1));
  // A control that does not have the focus is disabled without moving it.
  PropertySet(k.w, kOff, kPropDisable, "1");
  CHECK(GetFocus() == k.Hwnd(kRadio1));
  PropertySet(k.w, kRefresh, kPropDisable, "");
  PropertySet(k.w, kSave, kPropHide, "");
  PropertySet(k.w, kOff, kPropDisable, "");
}

TEST_CASE("focus: an entry given the focus by a disabled control or by SELECT has its text selected, as Tab leaves it") {
  KeysWindow k;
  REQUIRE(k.w);
  RunQuiet();
  HWND name = k.Hwnd(kName);
  SetWindowTextA(name, "localhost");
  SendMessageA(name, EM_SETSEL, 0, 0);
  // The last tab stop wraps around to the entry.
  HWND last = GetNextDlgTabItem(k.w->hwnd, name, TRUE);
  REQUIRE(last != name);
  SetFocus(last);
  PropertySet(k.w, GetDlgCtrlID(last) - 0x4000, kPropDisable, "1");
  REQUIRE(GetFocus() == name);
  DWORD from = 0, to = 0;
  SendMessageA(name, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  CHECK(from == 0);
  CHECK(to == 9);
  // What is typed next replaces the text.
  Tap('X');
  RunQuiet();
  char text[32] = {};
  GetWindowTextA(name, text, sizeof text);
  CHECK(std::string(text) == "x");
  PropertySet(k.w, GetDlgCtrlID(last) - 0x4000, kPropDisable, "");
  // The program's own SELECT of the entry (no range) enters it the same way.
  SetWindowTextA(name, "localhost");
  SetFocus(last);
  SelectField(kName);
  REQUIRE(GetFocus() == name);
  SendMessageA(name, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  CHECK(from == 0);
  CHECK(to == 9);
}

TEST_CASE("focus: disabled from a thread the runtime did not start, while the loop runs") {
  KeysWindow k;
  REQUIRE(k.w);
  SetFocus(k.Hwnd(kOff));
  RunQuiet();
  std::atomic<bool> done{false};
  std::thread other([&] {
    PropertySet(k.w, kOff, kPropDisable, "1");  // takes the runtime lock the loop gives up
    done = true;
  });
  const std::vector<Seen> seen = RunQuiet([&] { return done.load(); });
  other.join();
  // The focus arrived while the other thread's message was answered: the list takes note of it
  // once the lock is free, and becomes the window's selected control.
  CHECK(Contains(seen, kEvSelected, kItems));
  CHECK(k.w->focus_control == k.w->Field(kItems));
  CHECK(!IsWindowEnabled(k.Hwnd(kOff)));
  CHECK(GetFocus() == k.Hwnd(kItems));
  // The window, activated again, gives the focus back to a control that can take it.
  k.w->focus_control = k.w->Field(kOff);
  SetFocus(k.w->hwnd);
  CHECK(GetFocus() != k.Hwnd(kOff));
  CHECK(GetFocus() != nullptr);
  PropertySet(k.w, kOff, kPropDisable, "");
}

TEST_CASE("focus: with no other tab stop the window keeps the focus; keys still reach it") {
  KeysWindow k;
  REQUIRE(k.w);
  for (int f : {kName, kFlag, kRadio1, kRefresh, kSave, kBack, kItems, kDrives, kCloseButton, kTree})
    PropertySet(k.w, f, kPropDisable, "1");
  SetFocus(k.Hwnd(kOff));
  PropertySet(k.w, kOff, kPropDisable, "1");
  CHECK(GetFocus() == k.w->hwnd);
  PropertySet(k.w, kRefresh, kPropDisable, "");
  Tap(VK_TAB);
  RunQuiet();
  CHECK(GetFocus() == k.Hwnd(kRefresh));
}

TEST_CASE("radios: arrows move between the radios and choose; Tab enters at the checked one") {
  KeysWindow k;
  REQUIRE(k.w);
  SetFocus(k.Hwnd(kRadio1));
  RunQuiet();
  Tap(VK_DOWN);
  std::vector<Seen> seen = RunQuiet();
  CHECK(GetFocus() == k.Hwnd(kRadio2));
  CHECK_EQ(k.mode, 2);
  CHECK(Contains(seen, kEvAccepted, kMode));
  Tap(VK_DOWN);
  RunQuiet();
  CHECK_EQ(k.mode, 3);
  // The last radio of the group: the arrow wraps to the first, never to the buttons after it.
  Tap(VK_DOWN);
  RunQuiet();
  CHECK(GetFocus() == k.Hwnd(kRadio1));
  CHECK_EQ(k.mode, 1);
  Tap(VK_UP);
  RunQuiet();
  CHECK(GetFocus() == k.Hwnd(kRadio3));
  CHECK_EQ(k.mode, 3);
  // Tab leaves the group and Shift+Tab comes back to the checked radio.
  Tap(VK_TAB);
  RunQuiet();
  CHECK(GetFocus() == k.Hwnd(kRefresh));
  Tap(VK_TAB, VK_SHIFT);
  RunQuiet();
  CHECK(GetFocus() == k.Hwnd(kRadio3));
  // The program changing the variable moves the tab stop with the check.
  k.mode = 2;
  DisplayFields();
  CHECK((GetWindowLongA(k.Hwnd(kRadio2), GWL_STYLE) & WS_TABSTOP) != 0);
  CHECK((GetWindowLongA(k.Hwnd(kRadio3), GWL_STYLE) & WS_TABSTOP) == 0);
}

TEST_CASE("key codes: a keyed button is pressed by its key, with the key in LastKeyCode") {
  KeysWindow k;
  REQUIRE(k.w);
  SetFocus(k.Hwnd(kName));
  RunQuiet();
  CHECK_EQ(KeyCodeText(116), std::string("F5"));
  CHECK_EQ(KeyCodeText(0x253), std::string("Ctrl+S"));
  Tap(VK_F5);
  std::vector<Seen> seen = RunQuiet();
  REQUIRE(Contains(seen, kEvAccepted, kRefresh));
  CHECK_EQ(Find(seen, kEvAccepted, kRefresh).key, 116);
  Tap('S', VK_CONTROL);
  seen = RunQuiet();
  REQUIRE(Contains(seen, kEvAccepted, kSave));
  CHECK_EQ(Find(seen, kEvAccepted, kSave).key, 0x253);
  CHECK_EQ(GetWindowTextLengthA(k.Hwnd(kName)), 0);  // the key did not reach the entry
  // S without Ctrl is typing; a disabled keyed button does not answer its key.
  Tap('S');
  seen = RunQuiet();
  CHECK(!Contains(seen, kEvAccepted, kSave));
  CHECK_EQ(GetWindowTextLengthA(k.Hwnd(kName)), 1);
  PropertySet(k.w, kRefresh, kPropDisable, "1");
  Tap(VK_F5);
  CHECK(!Contains(RunQuiet(), kEvAccepted, kRefresh));
  // The Key property changes the key; 0 takes it away.
  PropertySet(k.w, kSave, 0x7C6B, "0");
  Tap('S', VK_CONTROL);
  CHECK(!Contains(RunQuiet(), kEvAccepted, kSave));
}

TEST_CASE("escape: a dialog closes, a Cancel keyed to Escape is pressed, a main window stays") {
  KeysWindow k;
  REQUIRE(k.w);
  SetFocus(k.Hwnd(kName));
  RunQuiet();
  Tap(VK_ESCAPE);
  CHECK(!Contains(RunQuiet(), kEvCloseWindow, 0));
  CHECK(k.w->IsOpen());
  // Plain dialog: Escape is EVENT:CloseWindow, and the loop run to its end closes it.
  {
    Dialog d("PLAIN$DIALOG");
    REQUIRE(d.w);
    Tap(VK_ESCAPE);
    const std::vector<Seen> seen = d.RunToEnd();
    CHECK(Contains(seen, kEvCloseWindow, 0));
    CHECK(!d.w->IsOpen());
  }
  // The main window has the focus back.
  RunQuiet();
  CHECK(GetFocus() == k.Hwnd(kName));
  // Keyed Cancel: the button is accepted (the body decides), no close of its own.
  {
    Dialog d("KEYED$DIALOG");
    REQUIRE(d.w);
    Tap(VK_ESCAPE);
    const std::vector<Seen> seen = d.RunToEnd();
    CHECK(Contains(seen, kEvAccepted, 3));
    CHECK_EQ(Find(seen, kEvAccepted, 3).key, 27);
  }
  // Enter presses the default button of a dialog.
  {
    Dialog d("PLAIN$DIALOG");
    REQUIRE(d.w);
    Tap(VK_RETURN);
    const std::vector<Seen> seen = d.RunToEnd();
    CHECK(Contains(seen, kEvAccepted, 2));
  }
}

TEST_CASE("tooltips: the descriptors' tips are tools of the window's tooltip") {
  KeysWindow k;
  REQUIRE(k.w);
  RunQuiet();
  HWND tip = TooltipOf(k.w->hwnd);
  REQUIRE(tip != nullptr);
  CHECK_EQ(ToolText(tip, k.w->hwnd, k.Hwnd(kBack)), std::string("Previous level"));
  CHECK_EQ(ToolText(tip, k.w->hwnd, k.Hwnd(kDrives)), std::string("Select drive"));
  CHECK(!IsCallbackTool(tip, k.w->hwnd, k.Hwnd(kBack)));
  CHECK(IsCallbackTool(tip, k.w->hwnd, k.Hwnd(kItems)));  // its rows have tips of their own
  // A control without a tip is no tool; the Tip property adds, changes and removes one.
  CHECK(!HasTool(tip, k.w->hwnd, k.Hwnd(kOff)));
  PropertySet(k.w, kOff, kPropTip, "Switch it off");
  CHECK_EQ(ToolText(tip, k.w->hwnd, k.Hwnd(kOff)), std::string("Switch it off"));
  PropertySet(k.w, kBack, kPropTip, "Up one level");
  CHECK_EQ(ToolText(tip, k.w->hwnd, k.Hwnd(kBack)), std::string("Up one level"));
  PropertySet(k.w, kOff, kPropTip, "");
  CHECK(!HasTool(tip, k.w->hwnd, k.Hwnd(kOff)));
}

TEST_CASE("tooltips: shown under the pointer, a list's row tips from its queue") {
  KeysWindow k;
  REQUIRE(k.w);
  RunQuiet();
  HWND tip = TooltipOf(k.w->hwnd);
  REQUIRE(tip != nullptr);
  POINT before;
  GetCursorPos(&before);
  auto hover = [&](HWND control, int x, int y) {
    SendMessageA(tip, TTM_POP, 0, 0);
    POINT p{x, y};
    ClientToScreen(control, &p);
    SetCursorPos(p.x, p.y);
    RunQuiet([&] { return IsWindowVisible(tip) != FALSE; }, 5000);
    return IsWindowVisible(tip) ? wsltest::TextOf(tip) : std::string("<not shown>");
  };
  CHECK_EQ(hover(k.Hwnd(kBack), 5, 5), std::string("Previous level"));
  shot::SaveWindow(k.w->hwnd, "tooltip_button", tip);
  auto* list = k.w->Field(kItems);
  REQUIRE(list != nullptr);
  const int row = 20;  // the header, then rows of about that height: row 2 starts below 2 * 20
  (void)row;
  RECT r;
  REQUIRE(SendMessageA(k.Hwnd(kItems), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r)) != LB_ERR);
  CHECK_EQ(hover(k.Hwnd(kItems), r.left + 10, (r.top + r.bottom) / 2), std::string("the second"));
  SendMessageA(k.Hwnd(kItems), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r));
  CHECK_EQ(hover(k.Hwnd(kItems), r.left + 10, (r.top + r.bottom) / 2), std::string("Pick an item"));
  SendMessageA(tip, TTM_POP, 0, 0);
  SetCursorPos(before.x, before.y);
}

// A callback tool's text outlives the request, not the thread that answered it: a thread that
// answers and ends leaves nothing of the text in its thread storage (see support/blank_filler.h).
TEST_CASE("tooltips: a text answered on a thread that then ends stays readable and frees nothing twice") {
  KeysWindow k;
  REQUIRE(k.w);
  RunQuiet();
  HWND tip = TooltipOf(k.w->hwnd);
  REQUIRE(tip != nullptr);
  for (int round = 0; round < 10; ++round) {
    NMTTDISPINFOA info{};
    info.hdr.hwndFrom = tip;
    info.hdr.idFrom = reinterpret_cast<UINT_PTR>(k.Hwnd(kBack));
    info.hdr.code = TTN_GETDISPINFOA;
    bool handled = false;
    std::thread([&] {
      handled = HandleTooltipNotify(k.w, reinterpret_cast<LPARAM>(&info));
      testsupport::t_blank_filler.used = true;
    }).join();
    testsupport::ReleaseBlankFilled();
    CHECK(handled);
    CHECK_EQ(std::string(info.lpszText ? info.lpszText : "(none)"), std::string("Previous level"));
  }
}

TEST_CASE("type-ahead: a letter chooses the drive in a drop list without a locator column") {
  KeysWindow k;
  REQUIRE(k.w);
  k.w->Field(kDrives)->SetProperty(0x7C8F, "2");  // C:
  SetFocus(k.Hwnd(kDrives));
  RunQuiet();
  Type("d");
  std::vector<Seen> seen = RunQuiet();
  CHECK_EQ(k.w->Field(kDrives)->Choice(), 3);  // D:
  CHECK(Contains(seen, kEvNewSelection, kDrives));
  CHECK(Contains(seen, kEvAccepted, kDrives));   // chosen, as with the arrows
  CHECK(!Contains(seen, kEvLocate, kDrives));    // no locator column: no EVENT:Locate
  Sleep(1100);
  Type("q");                                     // no such drive: nothing changes
  seen = RunQuiet();
  CHECK(!Contains(seen, kEvAccepted, kDrives));
  CHECK_EQ(k.w->Field(kDrives)->Choice(), 3);
  CHECK(GetFocus() == k.Hwnd(kDrives));
}
