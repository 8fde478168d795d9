// POPUP: parsing the menu text, building the platform menu and tracking it.
#include "runtime/wsl/popup_menu.h"

#include <algorithm>
#include <cstdlib>
#include <type_traits>

#include "runtime/wsl/icons.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/runtime_lock.h"

namespace vel::wsl {
namespace {

HWND (*g_parent_resolver)() = nullptr;

// The keyboard anchor (one per thread: each thread runs its own menus).
struct KeyboardAnchor {
  HWND control = nullptr;
  POINT at{0, 0};
};
// Trivially destructible, as every thread_local must be (README, "Building by hand").
static_assert(std::is_trivially_destructible_v<KeyboardAnchor>);
thread_local KeyboardAnchor t_anchor;

class Parser {
 public:
  explicit Parser(const std::string& text) : s_(text) {}

  std::vector<PopupItem> Menu() {
    std::vector<PopupItem> items;
    if (Peek() == '|') ++pos_;  // a "|" at the very start of a (sub)menu is ignored
    while (pos_ < s_.size() && Peek() != '}') {
      if (Peek() == '|') {  // empty item
        ++pos_;
        continue;
      }
      Item(items);
      if (Peek() == '|') ++pos_;
    }
    return items;
  }

  int count() const { return next_number_ - 1; }

 private:
  char Peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }

  void Item(std::vector<PopupItem>& items) {
    PopupItem item;
    if (Peek() == '~') item.greyed = true, ++pos_;
    const std::size_t sign_at = pos_;
    if (Peek() == '+') item.checked = true, ++pos_;
    else if (Peek() == '-') ++pos_;
    if (Peek() == '[') item.style = Settings();
    item.text = Text();
    // The whole text is "-": compared as texts are, trailing blanks do not count.
    const bool blank = item.text.find_first_not_of(' ') == std::string::npos;
    if (blank && s_[sign_at] == '-' && !item.style && Peek() != '{') {
      item.kind = PopupItem::Kind::kSeparator;
      items.push_back(std::move(item));
      return;
    }
    if (Peek() == '{') {
      ++pos_;
      item.kind = PopupItem::Kind::kSubmenu;
      item.children = Menu();  // numbered completely before the heading is added
      if (Peek() == '}') ++pos_;
      SkipToSeparator();
    } else {
      item.number = next_number_++;
    }
    items.push_back(std::move(item));
  }

  std::string Text() {
    const std::size_t start = pos_;
    while (pos_ < s_.size() && s_[pos_] != '|' && s_[pos_] != '{' && s_[pos_] != '}') ++pos_;
    return s_.substr(start, pos_ - start);
  }

  void SkipToSeparator() {
    while (pos_ < s_.size() && s_[pos_] != '|' && s_[pos_] != '}') ++pos_;
  }

  // "[" setting ("," setting)* "]"; a malformed list leaves a plain item whose text follows
  // the list's closing bracket.
  std::unique_ptr<PopupItemStyle> Settings() {
    auto style = std::make_unique<PopupItemStyle>();
    bool good = true;
    ++pos_;  // "["
    for (;;) {
      const std::size_t start = pos_;
      while (Peek() >= '0' && Peek() <= '9') ++pos_;
      const int code = std::atoi(s_.substr(start, pos_ - start).c_str());
      std::string value;
      if (Peek() == '(') {
        const std::size_t close = s_.find(')', pos_);
        const std::size_t end = close == std::string::npos ? s_.size() : close;
        value = s_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = close == std::string::npos ? s_.size() : close + 1;
      }
      if (pos_ == start) good = false;
      else Apply(style.get(), code, value);
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() != ']') good = false;
      break;
    }
    const std::size_t close = s_.find(']', pos_);
    pos_ = close == std::string::npos ? s_.size() : close + 1;
    return good ? std::move(style) : nullptr;
  }

  static void Apply(PopupItemStyle* st, int code, const std::string& v) {
    const long n = std::strtol(v.c_str(), nullptr, 10);
    switch (code) {
      case kPropFontName: st->font_name = v; break;
      case kPropFontSize: st->font_size = static_cast<int>(n); break;
      case kPropFontColor: st->font_color = static_cast<COLORREF>(n); break;
      case kPropFontStyle: st->font_style = static_cast<int>(n); break;
      case kPropFontCharSet: st->font_charset = static_cast<int>(n); break;
      case kPropIcon: st->icon = v; break;
      case kPropLeft: st->left = static_cast<int>(n); break;
      case kPropLeftOffSet: st->left_offset = static_cast<int>(n); break;
      case kPropNoWidth: st->no_width = v.empty() || n != 0; break;
      case kPropNoHeight: st->no_height = v.empty() || n != 0; break;
      case kPropColor: st->color = static_cast<COLORREF>(n); break;
      case kPropSelectedColor: st->selected_color = static_cast<COLORREF>(n); break;
      case kPropSelectedFillColor: st->selected_fill = static_cast<COLORREF>(n); break;
      default: break;  // other properties mean nothing on a menu item
    }
  }

  const std::string& s_;
  std::size_t pos_ = 0;
  int next_number_ = 1;
};

// Rows that fit one column: screen height over the menu row height.
int RowsPerColumn() {
  const int row = GetSystemMetrics(SM_CYMENU);
  const int rows = row > 0 ? GetSystemMetrics(SM_CYSCREEN) / row : 0;
  return rows > 0 ? rows : 1;
}

HMENU BuildLevel(const std::vector<PopupItem>& items, int rows_per_column) {
  HMENU menu = CreatePopupMenu();
  int rows = 0;
  for (const PopupItem& item : items) {
    UINT flags = 0;
    if (rows >= rows_per_column) {
      flags |= MF_MENUBARBREAK;
      rows = 0;
    } else {
      ++rows;
    }
    if (item.kind == PopupItem::Kind::kSeparator) {
      AppendMenuA(menu, flags | MF_SEPARATOR, 0, nullptr);
      continue;
    }
    if (item.greyed) flags |= MF_GRAYED;
    if (item.checked) flags |= MF_CHECKED;
    UINT_PTR id = static_cast<UINT_PTR>(item.number);
    if (item.kind == PopupItem::Kind::kSubmenu) {
      flags |= MF_POPUP;
      id = reinterpret_cast<UINT_PTR>(BuildLevel(item.children, rows_per_column));
    }
    if (item.style) {
      AppendMenuA(menu, flags | MF_OWNERDRAW, id, reinterpret_cast<LPCSTR>(&item));
    } else {
      AppendMenuA(menu, flags | MF_STRING, id, item.text.c_str());
    }
  }
  return menu;
}

// --- the invisible owner window and its owner-drawn items --------------------------------------

constexpr char kOwnerClass[] = "VelPopup";

HFONT ItemFont(const PopupItemStyle& st) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  LOGFONTA lf = metrics.lfMenuFont;
  if (!st.font_name.empty()) lstrcpynA(lf.lfFaceName, st.font_name.c_str(), LF_FACESIZE);
  if (st.font_size > 0) {
    HDC dc = GetDC(nullptr);
    lf.lfHeight = -MulDiv(st.font_size, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(nullptr, dc);
  }
  if (st.font_style) lf.lfWeight = st.font_style & 0xFFF;
  lf.lfCharSet = static_cast<BYTE>(st.font_charset);
  return CreateFontIndirectA(&lf);
}

void MeasureItem(MEASUREITEMSTRUCT* m) {
  const auto* item = reinterpret_cast<const PopupItem*>(m->itemData);
  if (!item || !item->style) return;
  HDC dc = GetDC(nullptr);
  HFONT font = ItemFont(*item->style);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32A(dc, item->text.c_str(), static_cast<int>(item->text.size()), &size);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  const int icon = item->style->icon.empty() ? 0 : GetSystemMetrics(SM_CXSMICON) + 4;
  m->itemWidth = item->style->no_width ? 0 : size.cx + icon + item->style->left + item->style->left_offset + 16;
  m->itemHeight = item->style->no_height ? 0 : std::max<int>(size.cy + 4, GetSystemMetrics(SM_CYMENU));
}

void DrawItem(const DRAWITEMSTRUCT* d) {
  const auto* item = reinterpret_cast<const PopupItem*>(d->itemData);
  if (!item || !item->style) return;
  const PopupItemStyle& st = *item->style;
  const bool selected = d->itemState & ODS_SELECTED;
  COLORREF back = selected ? (st.selected_fill != CLR_INVALID ? st.selected_fill : GetSysColor(COLOR_HIGHLIGHT))
                           : (st.color != CLR_INVALID ? st.color : GetSysColor(COLOR_MENU));
  COLORREF fore = selected ? (st.selected_color != CLR_INVALID ? st.selected_color : GetSysColor(COLOR_HIGHLIGHTTEXT))
                           : (st.font_color != CLR_INVALID ? st.font_color : GetSysColor(COLOR_MENUTEXT));
  if (d->itemState & ODS_GRAYED) fore = GetSysColor(COLOR_GRAYTEXT);
  HBRUSH brush = CreateSolidBrush(back);
  FillRect(d->hDC, &d->rcItem, brush);
  DeleteObject(brush);
  RECT r = d->rcItem;
  r.left += 16 + st.left + st.left_offset;
  if (!st.icon.empty()) {
    if (HICON icon = LoadIconByName(st.icon, false)) {
      const int size = GetSystemMetrics(SM_CXSMICON);
      DrawIconEx(d->hDC, r.left, r.top + (r.bottom - r.top - size) / 2, icon, size, size, 0, nullptr, DI_NORMAL);
      DestroyIcon(icon);
      r.left += size + 4;
    }
  }
  HFONT font = ItemFont(st);
  HGDIOBJ old = SelectObject(d->hDC, font);
  SetBkMode(d->hDC, TRANSPARENT);
  SetTextColor(d->hDC, fore);
  DrawTextA(d->hDC, item->text.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
  SelectObject(d->hDC, old);
  DeleteObject(font);
}

LRESULT CALLBACK OwnerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_MEASUREITEM: MeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lp)); return TRUE;
    case WM_DRAWITEM: DrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lp)); return TRUE;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

void RegisterOwnerClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = OwnerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kOwnerClass;
  registered = RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateOwner() {
  RegisterOwnerClass();
  HWND parent = g_parent_resolver ? g_parent_resolver() : nullptr;
  const DWORD style = parent ? WS_CHILD : WS_POPUP;
  return CreateWindowExA(0, kOwnerClass, "", style, -1, -1, 0, 0, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
}

std::string TrimRight(const std::string& s) {
  std::size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return s.substr(0, n);
}

}  // namespace

std::vector<PopupItem> ParsePopupMenu(const std::string& text, int* item_count) {
  const std::string trimmed = TrimRight(text);
  Parser parser(trimmed);
  std::vector<PopupItem> items = parser.Menu();
  if (item_count) *item_count = parser.count();
  return items;
}

HMENU BuildPopupMenu(const std::vector<PopupItem>& items) { return BuildLevel(items, RowsPerColumn()); }

void SetPopupKeyboardAnchor(HWND control, POINT screen) { t_anchor = {control, screen}; }
void ClearPopupKeyboardAnchor() { t_anchor = {}; }

int Popup(const std::string& text, int x, int y) { return PopupItems(ParsePopupMenu(text, nullptr), x, y); }

int PopupItems(const std::vector<PopupItem>& items, int x, int y) {
  const KeyboardAnchor anchor = t_anchor;
  t_anchor = {};
  if (x == kMousePosition || y == kMousePosition) {
    POINT mouse{};
    if (anchor.control && anchor.control == GetFocus()) mouse = anchor.at;
    else GetCursorPos(&mouse);
    if (x == kMousePosition) x = mouse.x;
    if (y == kMousePosition) y = mouse.y;
  }
  HMENU menu = BuildPopupMenu(items);
  HWND focus = GetFocus();
  HWND owner = CreateOwner();
  SetFocus(owner);
  {
    RuntimeLockReleased released;  // other application threads run while the menu is open
    TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, x, y, 0, owner, nullptr);
  }
  int chosen = 0;
  MSG msg;
  if (PeekMessageA(&msg, owner, WM_COMMAND, WM_COMMAND, PM_REMOVE)) chosen = LOWORD(msg.wParam);
  DestroyWindow(owner);
  if (focus && IsWindow(focus)) SetFocus(focus);
  DestroyMenu(menu);  // destroys the submenus with it
  return chosen;
}

void SetPopupParentResolver(HWND (*resolver)()) { g_parent_resolver = resolver; }

}  // namespace vel::wsl
