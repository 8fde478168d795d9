// POPUP: a context menu described by one text, tracked once and destroyed before returning.
//
// Menu text grammar: items separated by "|" (a leading "|" and empty items are ignored); an
// item is an optional "~" (greyed), an optional "+" (checked) or "-" (unchecked), an optional
// settings list "[code(value),...]" (an owner-drawn item), and its text; a text followed by
// "{" opens a submenu that ends at the matching "}". A lone "-" (trailing blanks do not
// count) is a separator. Selectable items are numbered 1, 2, ... in the order their texts
// stand, across all levels.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace vel::wsl {

// One parsed item's settings (owner-drawn items only).
struct PopupItemStyle {
  std::string font_name;
  int font_size = 0;
  COLORREF font_color = CLR_INVALID;
  int font_style = 0;
  int font_charset = DEFAULT_CHARSET;
  std::string icon;
  int left = 0, left_offset = 0;
  bool no_width = false, no_height = false;
  COLORREF color = CLR_INVALID, selected_color = CLR_INVALID, selected_fill = CLR_INVALID;
};

struct PopupItem {
  enum class Kind { kItem, kSeparator, kSubmenu } kind = Kind::kItem;
  std::string text;
  bool greyed = false;
  bool checked = false;
  int number = 0;                              // 0 for separators and submenu headings
  std::unique_ptr<PopupItemStyle> style;       // set: owner-drawn
  std::vector<PopupItem> children;             // submenu items
};

// Parses a menu text (trailing blanks removed by the caller or here) into items with numbers.
std::vector<PopupItem> ParsePopupMenu(const std::string& text, int* item_count);

// Builds the platform menu (with column breaks when a menu is taller than the screen).
HMENU BuildPopupMenu(const std::vector<PopupItem>& items);

// The program-facing operation: x and y are screen pixels, 0x80000000 meaning the mouse
// position. Returns the chosen item number, 0 when dismissed.
constexpr int kMousePosition = static_cast<int>(0x80000000u);
int Popup(const std::string& text, int x, int y);
// The same with the items already made: their texts are shown as they are (a "|", "{" or "}"
// in a file name stays in its item; "&" still marks the platform's access key, "&&" shows one).
int PopupItems(const std::vector<PopupItem>& items, int x, int y);

// A menu asked for by a keyboard action (the context-menu key, Shift+F10) opens at the place
// that action concerns, not at a pointer the user may have left anywhere: the control that
// raised the action sets an anchor (screen point) before it posts the action's event, and the
// next Popup at the mouse position uses it while that control still has the focus. A mouse
// action clears it; every Popup uses it up.
void SetPopupKeyboardAnchor(HWND control, POINT screen);
void ClearPopupKeyboardAnchor();

// The window whose child the invisible menu owner becomes (the running thread's current
// window, else the application frame); installed by the window layer, default none.
void SetPopupParentResolver(HWND (*resolver)());

}  // namespace vel::wsl
