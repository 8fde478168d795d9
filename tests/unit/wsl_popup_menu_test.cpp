// POPUP: the menu text grammar and numbering, the platform menu built from it, and a real
// tracked menu chosen with the keyboard by a driver thread.
#include <windows.h>

#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "runtime/wsl/popup_menu.h"
#include "support/check.h"
#include "support/screenshot.h"

using vel::wsl::ParsePopupMenu;
using vel::wsl::PopupItem;

namespace {

// A compact picture of a parsed menu: numbers, flags and nesting.
std::string Describe(const std::vector<PopupItem>& items) {
  std::string out;
  for (const PopupItem& i : items) {
    if (!out.empty()) out += " ";
    if (i.kind == PopupItem::Kind::kSeparator) {
      out += "---";
      continue;
    }
    if (i.greyed) out += "~";
    if (i.checked) out += "+";
    if (i.style) out += "*";
    out += i.text;
    if (i.number) out += "=" + std::to_string(i.number);
    if (i.kind == PopupItem::Kind::kSubmenu) out += "{" + Describe(i.children) + "}";
  }
  return out;
}

std::string Parsed(const std::string& text, int* count = nullptr) { return Describe(ParsePopupMenu(text, count)); }

}  // namespace

TEST_CASE("popup: the client's remote-list menus number Rename 1, Delete 2, Create Dir 3") {
  int count = 0;
  CHECK_EQ(Parsed("Rename a.txt|Delete a.txt|Create Dir", &count),
           std::string("Rename a.txt=1 Delete a.txt=2 Create Dir=3"));
  CHECK_EQ(count, 3);
  CHECK_EQ(Parsed("~Rename|Delete pub|Create Dir                 "),
           std::string("~Rename=1 Delete pub=2 Create Dir=3"));
}

TEST_CASE("popup: separators, checks, empty items and a leading bar") {
  CHECK_EQ(Parsed("One|-|Two"), std::string("One=1 --- Two=2"));
  CHECK_EQ(Parsed("One|-   |Two"), std::string("One=1 --- Two=2"));  // trailing blanks do not count
  CHECK_EQ(Parsed("+On|-Off|~-"), std::string("+On=1 Off=2 ---"));
  CHECK_EQ(Parsed("|A||B|"), Parsed("A|B"));
  CHECK_EQ(Parsed("|A||B|"), std::string("A=1 B=2"));
  CHECK_EQ(Parsed(""), std::string(""));
}

TEST_CASE("popup: submenus are numbered before the items after them; headings get no number") {
  CHECK_EQ(Parsed("Head{Sub1|Sub2}|Last"), std::string("Head{Sub1=1 Sub2=2} Last=3"));
  CHECK_EQ(Parsed("First|Outer{In{Deep}|Mid}|Tail"),
           std::string("First=1 Outer{In{Deep=2} Mid=3} Tail=4"));
  // Unbalanced braces end the parse at the end of the text.
  CHECK_EQ(Parsed("A{B|C"), std::string("A{B=1 C=2}"));
  CHECK_EQ(Parsed("A}|B"), std::string("A=1"));
}

TEST_CASE("popup: settings lists make owner-drawn items; malformed lists plain ones") {
  CHECK_EQ(Parsed("[31762(Arial),31761(12)]Big|Plain"), std::string("*Big=1 Plain=2"));
  auto items = ParsePopupMenu("[31760(Courier New),31761(14),31994(255)]Styled", nullptr);
  REQUIRE(items.size() == 1 && items[0].style);
  CHECK_EQ(items[0].style->font_name, std::string("Courier New"));
  CHECK_EQ(items[0].style->font_size, 14);
  CHECK_EQ(items[0].style->color, static_cast<COLORREF>(255));
  CHECK_EQ(Parsed("[31761(12)x]Bad|Next"), std::string("Bad=1 Next=2"));
  CHECK_EQ(Parsed("[abc]Worse"), std::string("Worse=1"));
  CHECK_EQ(Parsed("[31761(12"), std::string("=1"));
}

TEST_CASE("popup: the platform menu carries flags, submenus and column breaks") {
  auto items = ParsePopupMenu("~Grey|+Checked|-|Sub{X|Y}", nullptr);
  HMENU menu = vel::wsl::BuildPopupMenu(items);
  REQUIRE(menu != nullptr);
  CHECK_EQ(GetMenuItemCount(menu), 4);
  CHECK(GetMenuState(menu, 1, MF_BYCOMMAND) & MF_GRAYED);
  CHECK(GetMenuState(menu, 2, MF_BYCOMMAND) & MF_CHECKED);
  CHECK(GetMenuState(menu, 2, MF_BYPOSITION) & MF_SEPARATOR);
  HMENU sub = GetSubMenu(menu, 3);
  REQUIRE(sub != nullptr);
  CHECK_EQ(GetMenuItemID(sub, 1), 4u);
  DestroyMenu(menu);

  // More items than fit the screen height continue in a second column.
  const int rows = GetSystemMetrics(SM_CYSCREEN) / GetSystemMetrics(SM_CYMENU);
  std::string text;
  for (int i = 0; i < rows + 5; ++i) text += (i ? "|Item " : "Item ") + std::to_string(i + 1);
  menu = vel::wsl::BuildPopupMenu(ParsePopupMenu(text, nullptr));
  int breaks = 0;
  for (int i = 0; i < GetMenuItemCount(menu); ++i)
    if (GetMenuState(menu, i, MF_BYPOSITION) & MF_MENUBARBREAK) ++breaks;
  CHECK_EQ(breaks, 1);
  DestroyMenu(menu);
}

namespace {
HWND WaitForMenu() {
  for (int i = 0; i < 500; ++i) {
    HWND w = FindWindowA("#32768", nullptr);
    if (w && IsWindowVisible(w)) return w;
    Sleep(10);
  }
  return nullptr;
}

void Key(HWND target, UINT vk) {
  PostMessageA(target, WM_KEYDOWN, vk, 1);
  PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
}

// Tracks a real menu while a driver thread presses keys; returns POPUP's result.
template <typename Menu>
int TrackWithKeys(const Menu& menu, const std::vector<UINT>& keys) {
  DWORD menu_thread = GetCurrentThreadId();
  std::thread driver([&] {
    if (!WaitForMenu()) return;
    Sleep(100);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(menu_thread, &info);
    HWND target = info.hwndMenuOwner ? info.hwndMenuOwner : info.hwndFocus;
    for (UINT vk : keys) {
      Key(target, vk);
      Sleep(50);
    }
  });
  int r;
  if constexpr (std::is_convertible_v<Menu, std::string>) r = vel::wsl::Popup(menu, 100, 100);
  else r = vel::wsl::PopupItems(menu, 100, 100);
  driver.join();
  return r;
}

PopupItem Item(const std::string& text, int number, bool greyed = false) {
  PopupItem i;
  i.text = text;
  i.number = number;
  i.greyed = greyed;
  return i;
}
}  // namespace

TEST_CASE("popup: a real menu returns the chosen item, skips greyed ones, 0 on Escape") {
  CHECK_EQ(TrackWithKeys("Rename a|Delete a|Create Dir", {VK_DOWN, VK_DOWN, VK_RETURN}), 2);
  CHECK_EQ(TrackWithKeys("~Rename|Delete pub|Create Dir", {VK_DOWN, VK_DOWN, VK_RETURN}), 2);
  CHECK_EQ(TrackWithKeys("~Rename|Delete pub|Create Dir", {VK_DOWN, VK_RETURN, VK_ESCAPE}), 0);
  CHECK_EQ(TrackWithKeys("One|-|Two", {VK_DOWN, VK_DOWN, VK_RETURN}), 2);
  CHECK_EQ(TrackWithKeys("One|Two", {VK_ESCAPE}), 0);
}

// Items made by the program keep texts the grammar would split: a file named "a|b{c}" is one
// item, and the items keep their numbers.
TEST_CASE("popup: ready-made items show grammar characters as text and keep their numbers") {
  std::vector<PopupItem> items;
  items.push_back(Item("~Rename a|b{c}", 1, true));
  items.push_back(Item("Delete a|b{c} && more", 2));
  items.push_back(Item("Create Dir", 3));
  HMENU menu = vel::wsl::BuildPopupMenu(items);
  CHECK_EQ(GetMenuItemCount(menu), 3);
  char text[64] = "";
  GetMenuStringA(menu, 1, text, sizeof text, MF_BYPOSITION);
  CHECK_EQ(std::string(text), std::string("Delete a|b{c} && more"));
  DestroyMenu(menu);
  CHECK_EQ(TrackWithKeys(items, {VK_DOWN, VK_DOWN, VK_RETURN}), 2);
  CHECK_EQ(TrackWithKeys(items, {VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}), 3);
}

TEST_CASE("popup: screenshot of the remote list's menu on a file row, Rename greyed") {
  DWORD menu_thread = GetCurrentThreadId();
  bool saved = false;
  std::thread driver([&] {
    HWND menu = WaitForMenu();
    if (!menu) return;
    Sleep(200);
    RECT r;
    GetWindowRect(menu, &r);
    InflateRect(&r, 8, 8);
    saved = shot::SaveScreenRect(r, "popup_menu");
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(menu_thread, &info);
    Key(info.hwndMenuOwner ? info.hwndMenuOwner : info.hwndFocus, VK_ESCAPE);
  });
  CHECK_EQ(vel::wsl::Popup("~Rename readme.txt|Delete readme.txt|-|Create Dir", 100, 100), 0);
  driver.join();
  CHECK(saved);
}
