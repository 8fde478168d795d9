// MessageDialog: button table, layout and the in-memory template.
//
// Template layout (DLGTEMPLATE, then per item DLGITEMTEMPLATE, all WORD-aligned, items DWORD-
// aligned): style, 0 extended style, item count, x, y, cx, cy; menu 0; class 0; the caption as
// UTF-16; the font's point size and face (DS_SETFONT). Items: the icon (static, SS_ICON,
// identifier 0xA90) when there is one, the text (static, SS_NOPREFIX, identifier -1), then one
// 50 x 14 button per entry.
#include "runtime/wsl/message_dialog.h"

#include <cstring>

#include "runtime/core/errors.h"
#include "runtime/core/startup.h"
#include "runtime/core/text_codec.h"
#include "runtime/wsl/icons.h"
#include "runtime/wsl/runtime_lock.h"

namespace vel::wsl {
namespace {

struct StandardButton {
  const char* caption;
  int id;
  unsigned bit;
};
const StandardButton kStandard[8] = {
    {"OK", 1, 0x01},     {"&Yes", 6, 0x02},    {"&No", 7, 0x04},    {"&Abort", 3, 0x08},
    {"&Retry", 4, 0x10}, {"&Ignore", 5, 0x20}, {"Cancel", 2, 0x40}, {"&Help", 9, 0x80},
};
constexpr int kReplaceableCaptionBase = 0x7F00;
constexpr int kIconId = 0xA90;
constexpr int kTextId = -1;
constexpr int kFirstCustomId = 100;
constexpr int kMargin = 5;          // dialog units
constexpr int kButtonWidth = 50;    // dialog units
constexpr int kButtonHeight = 14;
constexpr int kMinTextHeight = 45;  // the vertical layout's minimum (dialog units)

MessageHookFn g_hook = nullptr;
HWND (*g_owner_resolver)() = nullptr;
unsigned g_display_options = 0;

std::string StandardCaption(int index) {
  if (const char* replaced = ReplacementText(kReplaceableCaptionBase + index)) return replaced;
  return kStandard[index].caption;
}

std::vector<std::string> SplitCaptions(const std::string& list) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (out.size() < 8) {
    const std::size_t bar = list.find('|', start);
    out.push_back(list.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return out;
}

// --- the in-memory template -------------------------------------------------------------------

class TemplateWriter {
 public:
  void Word(WORD w) { bytes_.push_back(w & 0xFF), bytes_.push_back(w >> 8); }
  void Dword(DWORD d) { Word(LOWORD(d)), Word(HIWORD(d)); }
  void Text(const std::string& s) {
    for (wchar_t c : text::WideShown(s)) Word(static_cast<WORD>(c));
    Word(0);
  }
  void AlignDword() {
    while (bytes_.size() % 4) bytes_.push_back(0);
  }
  void Item(DWORD style, int x, int y, int cx, int cy, int id, WORD atom_class, const std::string& text) {
    AlignDword();
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    Word(static_cast<WORD>(x)), Word(static_cast<WORD>(y)), Word(static_cast<WORD>(cx)), Word(static_cast<WORD>(cy));
    Word(static_cast<WORD>(id));
    Word(0xFFFF), Word(atom_class);
    Text(text);
    Word(0);  // no creation data
  }
  std::vector<BYTE>& Bytes() { return bytes_; }

 private:
  std::vector<BYTE> bytes_;
};

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kStaticAtom = 0x0082;

struct FontChoice {
  std::string face;
  int points;
  HFONT font;
};

FontChoice ChooseFont() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  if (g_display_options & 0x2) {
    HFONT f = CreateFontA(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Helv");
    return {"Helv", 8, f};
  }
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  int points = MulDiv(metrics.lfMessageFont.lfHeight < 0 ? -metrics.lfMessageFont.lfHeight
                                                         : metrics.lfMessageFont.lfHeight, 72, dpi);
  if (points <= 0) points = 8;
  // The text is measured with the font the dialog manager makes from the template's face and
  // size (DS_SETFONT: that height, DEFAULT_CHARSET), not with the message font itself: under a
  // double-byte code page the two map to different faces, and a text measured with the narrower
  // one wrapped more when shown and lost its last lines below the box's edge.
  const std::string face = metrics.lfMessageFont.lfFaceName;
  HFONT f = CreateFontA(-MulDiv(points, dpi, 72), 0, 0, 0, FW_DONTCARE, 0, 0, 0, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY,
                        FF_DONTCARE, face.c_str());
  return {face, points, f};
}

struct Units {
  int cx, cy;  // average character width and height of the dialog font (pixels)
  int ToPxX(int dlu) const { return MulDiv(dlu, cx, 4); }
  int ToPxY(int dlu) const { return MulDiv(dlu, cy, 8); }
  int ToDluX(int px) const { return MulDiv(px, 4, cx); }
  int ToDluY(int px) const { return MulDiv(px, 8, cy); }
};

Units MeasureUnits(HDC dc) {
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SIZE size{};
  GetTextExtentPoint32A(dc, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &size);
  return Units{(size.cx / 26 + 1) / 2 > 0 ? (size.cx / 26 + 1) / 2 : 1, tm.tmHeight > 0 ? tm.tmHeight : 1};
}

HICON IconFor(const MessageRequest& request) {
  if (request.icon.empty()) return nullptr;
  return LoadIconByName(request.icon, false);
}

struct DialogState {
  HICON icon;
  int default_id;
  HWND owner;
};

void RemoveSizingMenuItems(HWND dialog) {
  HMENU menu = GetSystemMenu(dialog, FALSE);
  if (!menu) return;
  for (UINT item : {SC_MAXIMIZE, SC_MINIMIZE, SC_RESTORE, SC_CLOSE, SC_SIZE, SC_TASKLIST})
    DeleteMenu(menu, item, MF_BYCOMMAND);
}

// Centres the dialog over its owner (or the screen) and keeps it on the screen.
void CentreOverOwner(HWND dialog, HWND owner) {
  RECT d, o;
  GetWindowRect(dialog, &d);
  if (!owner || !GetWindowRect(owner, &o)) SystemParametersInfoA(SPI_GETWORKAREA, 0, &o, 0);
  const int w = d.right - d.left, h = d.bottom - d.top;
  int x = o.left + ((o.right - o.left) - w) / 2;
  int y = o.top + ((o.bottom - o.top) - h) / 2;
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  if (x + w > sw) x = sw - w;
  if (y + h > sh) y = sh - h;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<DialogState*>(lp);
      SetWindowLongPtrA(dialog, DWLP_USER, lp);
      RemoveSizingMenuItems(dialog);
      if (state->icon) SendDlgItemMessageA(dialog, kIconId, STM_SETICON, reinterpret_cast<WPARAM>(state->icon), 0);
      CentreOverOwner(dialog, state->owner);
      SendMessageA(dialog, DM_SETDEFID, state->default_id, 0);
      SetFocus(GetDlgItem(dialog, state->default_id));
      return FALSE;  // focus set here
    }
    case WM_COMMAND: {
      // A command naming an existing control ends the box: Escape (IDCANCEL) only closes it
      // when there is a Cancel button.
      const int id = LOWORD(wp);
      if (id != static_cast<WORD>(kTextId) && GetDlgItem(dialog, id)) EndDialog(dialog, id);
      return TRUE;
    }
    case WM_CLOSE:
      if (GetDlgItem(dialog, IDCANCEL)) EndDialog(dialog, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

HWND ResolveOwner() {
  HWND owner = g_owner_resolver ? g_owner_resolver() : nullptr;
  return owner ? owner : GetActiveWindow();
}

int RunDialog(const MessageRequest& request, const std::vector<MessageButton>& buttons, int default_id) {
  FontChoice font = ChooseFont();
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old_font = SelectObject(dc, font.font);
  const Units u = MeasureUnits(dc);
  const int screen_w = GetSystemMetrics(SM_CXSCREEN);

  // Text width limit: half the screen, at least 200 dialog units, at most two thirds.
  int limit = screen_w / 2;
  if (limit < u.ToPxX(200)) limit = u.ToPxX(200);
  if (limit > screen_w * 2 / 3) limit = screen_w * 2 / 3;
  RECT text_rect{0, 0, limit, 0};
  DrawTextA(dc, request.text.c_str(), -1, &text_rect,
            DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  SelectObject(dc, old_font);
  DeleteDC(dc);

  HICON icon = IconFor(request);
  const int icon_w = icon ? u.ToDluX(GetSystemMetrics(SM_CXICON)) : 0;
  const int icon_h = icon ? u.ToDluY(GetSystemMetrics(SM_CYICON)) : 0;
  const int text_x = kMargin + (icon ? icon_w + kMargin : 0);
  const int text_w = u.ToDluX(text_rect.right) + 1;
  int text_h = u.ToDluY(text_rect.bottom) + 1;
  if (text_h < icon_h) text_h = icon_h;

  const int count = static_cast<int>(buttons.size());
  const int total = count * kButtonWidth + (count - 1) * kMargin;
  int width = text_x + text_w + kMargin;
  if (total > width - kMargin) width = kMargin + total + 2 * kMargin;
  int body_h = kMargin + text_h + kMargin;
  if (body_h < kMinTextHeight - kButtonHeight - kMargin) body_h = kMinTextHeight - kButtonHeight - kMargin;
  const int height = body_h + kButtonHeight + kMargin;

  TemplateWriter t;
  DWORD style = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_3DLOOK;
  if (request.system_modal) style |= DS_SYSMODAL;
  const int items = count + 1 + (icon ? 1 : 0);
  t.Dword(style);
  t.Dword(0);
  t.Word(static_cast<WORD>(items));
  t.Word(0), t.Word(0), t.Word(static_cast<WORD>(width)), t.Word(static_cast<WORD>(height));
  t.Word(0), t.Word(0);
  t.Text(request.caption);
  t.Word(static_cast<WORD>(font.points));
  t.Text(font.face);
  if (icon) t.Item(SS_ICON, kMargin, kMargin, icon_w, icon_h, kIconId, kStaticAtom, "");
  t.Item(SS_LEFT | SS_NOPREFIX, text_x, kMargin, text_w, text_h, kTextId, kStaticAtom, request.text);
  int x = (width - total) / 2;
  for (const MessageButton& b : buttons) {
    const DWORD bstyle = WS_TABSTOP | (b.id == default_id ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    t.Item(bstyle, x, body_h, kButtonWidth, kButtonHeight, b.id, kButtonAtom, b.caption);
    x += kButtonWidth + kMargin;
  }
  t.AlignDword();

  DialogState state{icon, default_id, ResolveOwner()};
  HWND focus = GetFocus();
  INT_PTR end;
  {
    RuntimeLockReleased released;  // other application threads run while the box is up
    end = DialogBoxIndirectParamA(GetModuleHandleA(nullptr),
                                  reinterpret_cast<LPCDLGTEMPLATEA>(t.Bytes().data()), state.owner,
                                  DialogProc, reinterpret_cast<LPARAM>(&state));
  }
  if (focus && IsWindow(focus)) SetFocus(focus);
  if (icon) DestroyIcon(icon);
  DeleteObject(font.font);
  return static_cast<int>(end);
}

}  // namespace

std::vector<MessageButton> MessageButtons(const std::string& buttons, bool* numbered) {
  std::vector<MessageButton> out;
  const bool is_number = buttons.empty() || (buttons[0] >= '0' && buttons[0] <= '9');
  if (numbered) *numbered = is_number;
  if (is_number) {
    const unsigned set = buttons.empty() ? 0u : static_cast<unsigned>(std::strtoul(buttons.c_str(), nullptr, 10));
    for (int i = 0; i < 8; ++i)
      if (set & kStandard[i].bit) out.push_back({StandardCaption(i), kStandard[i].id, kStandard[i].bit});
    if (out.empty()) out.push_back({StandardCaption(0), kStandard[0].id, kStandard[0].bit});
    return out;
  }
  int next_custom = kFirstCustomId;
  unsigned bit = 1;
  for (const std::string& caption : SplitCaptions(buttons)) {
    int id = 0;
    for (const StandardButton& s : kStandard)
      if (caption == s.caption) id = s.id;
    if (!id) id = next_custom++;
    out.push_back({caption, id, bit});
    bit <<= 1;
  }
  return out;
}

int DefaultButtonId(const std::vector<MessageButton>& buttons, unsigned value) {
  int id = 0;
  for (const MessageButton& b : buttons)
    if (b.bit & value) id = b.id;
  return id ? id : buttons.front().id;
}

int MessageResult(const std::vector<MessageButton>& buttons, bool numbered, int end_id) {
  for (std::size_t i = 0; i < buttons.size(); ++i)
    if (buttons[i].id == end_id) return numbered ? static_cast<int>(buttons[i].bit) : static_cast<int>(i + 1);
  return 0;
}

int MessageDialog(const std::string& text, const std::string& caption, const std::string& icon,
                  const std::string& buttons, unsigned default_button, bool system_modal) {
  MessageRequest request{text, caption, icon, buttons, default_button, system_modal};
  for (std::size_t at = 0; (at = request.text.find('|', at)) != std::string::npos; at += 2)
    request.text.replace(at, 1, "\r\n");
  if (g_hook) return g_hook(request);
  bool numbered = true;
  const std::vector<MessageButton> list = MessageButtons(buttons, &numbered);
  const int default_id = DefaultButtonId(list, numbered ? default_button
                                                        : (default_button ? 1u << (default_button - 1) : 0u));
  return MessageResult(list, numbered, RunDialog(request, list, default_id));
}

void SetMessageHook(MessageHookFn hook) { g_hook = hook; }
MessageHookFn GetMessageHook() { return g_hook; }
void SetDialogOwnerResolver(HWND (*resolver)()) { g_owner_resolver = resolver; }
void SetDisplayOptions(unsigned options) { g_display_options = options; }

}  // namespace vel::wsl
