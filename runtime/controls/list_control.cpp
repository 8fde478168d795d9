// The list control (CTLLIST): creation, rows over the source queue, the tree's visible-row
// map, selection and the bound variable, expand/contract, input, the list-box queries and the
// properties. Painting is in list_paint.cpp, the drop-down form in list_drop.cpp.
#include "runtime/controls/list_control.h"

#include "runtime/controls/list_internal.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "runtime/core/errors.h"
#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/accessible.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/icons.h"
#include "runtime/wsl/locator.h"
#include "runtime/wsl/mouse_cursor.h"
#include "runtime/wsl/popup_menu.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/runtime_lock.h"
#include "runtime/wsl/tooltips.h"
#include "runtime/wsl/value_text.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {
namespace {

using namespace listimpl;

ControlClass g_list_class{"VelList", nullptr, 0, nullptr, 0, 0, 0};
ControlClass g_drop_class{"VelDrop", nullptr, 0, nullptr, 0, 0, 0};

constexpr int kMaxIconEntries = 4096;

}  // namespace

void listimpl::StoreInt(const TypedRef& v, std::int32_t value) {
  if (!v.address) return;
  auto* p = static_cast<std::uint8_t*>(v.address);
  switch (v.type) {
    case kTypeByte: *p = static_cast<std::uint8_t>(value); return;
    case kTypeShort:
    case kTypeUShort: {
      const auto x = static_cast<std::uint16_t>(value);
      std::memcpy(p, &x, std::min<std::uint32_t>(2, v.size));
      return;
    }
    case kTypeLong4:
    case kTypeLong5:
    case kTypeLong:
    case kTypeULong:
      std::memcpy(p, &value, std::min<std::uint32_t>(4, v.size));
      return;
    case kTypeSReal: {
      const float f = static_cast<float>(value);
      if (v.size >= 4) std::memcpy(p, &f, 4);
      return;
    }
    case kTypeReal:
    case kTypeReal13:
    case kTypeReal14:
      if (v.size == 8) {
        const double d = value;
        std::memcpy(p, &d, 8);
      } else if (v.size == 4) {
        const float f = static_cast<float>(value);
        std::memcpy(p, &f, 4);
      }
      return;
    default:
      return;  // a level in a text or decimal field is left as it is
  }
}

namespace {

// The event that asks the program whether a tree row may expand or contract. The program
// refuses by ending the iteration early; otherwise the after-delivery step toggles the row.
struct ToggleEvent : EventRecord {
  ListControl* list = nullptr;
  int row = 0;
  int level = 0;
  void AfterDelivery() override {
    if (list && window && IsLiveWindow(window) && window->loop.result == 0) list->FinishToggle(row, level);
  }
};

}  // namespace

// --- creation and state ----------------------------------------------------------------------

ListControl::ListControl(Window* window, const ControlRecord& r) : Control(window, r), drop_rows_(r.drop) {
  const Descriptor& d = OpeningDescriptor();
  if (const char* s = d.String(r.source)) source_label_ = s;
  if (const char* s = d.String(r.format)) SetFormat(s);
}

ListControl::~ListControl() {
  if (drop_popup_) DestroyWindow(drop_popup_);
  ReleaseIcons();
}

ControlClass* ListControl::Class() { return drop_rows_ ? &g_drop_class : &g_list_class; }

SIZE ListControl::NaturalSize(HDC) const {
  return SIZE{window_->scale.X(100), drop_rows_ ? row_height() + 4 : row_height() * 6 + 4};
}

void ListControl::AfterCreate() {
  if (!binding_.has_use) queue_ = static_cast<QueueBlock*>(binding_.address);
  if (hwnd_) InstallListQueries(hwnd_);
  UpdateScrollBars();
}

void ListControl::SetSourceQueue(QueueBlock* q) {
  queue_ = q;
  seen_count_ = -1;
  selected_ = 0;
  tag_anchor_ = 0;
  top_ = 0;
  Display();
}

void ListControl::SetFormat(const std::string& format) {
  format_ = format;
  listfmt::XScale x{window_->scale.sx, window_->scale.div};
  if (!listfmt::Parse(format, x, &fmt_)) return;  // an invalid format keeps the columns
  pictures_.assign(fmt_.columns.size(), CompiledPicture{});
  for (std::size_t i = 0; i < fmt_.columns.size(); ++i) {
    const std::string& p = fmt_.columns[i].picture;
    if (p.size() > 1) CompilePicture(p.c_str() + 1, static_cast<std::uint32_t>(p.size() - 1), &pictures_[i]);
  }
  seen_count_ = -1;
  if (hwnd_) {
    UpdateScrollBars();
    InvalidateRect(hwnd_, nullptr, FALSE);
    UpdateControlTip(this);  // row tips may have come or gone
  }
}

std::string ListControl::GetFormat() const {
  return listfmt::Write(fmt_, listfmt::XScale{window_->scale.sx, window_->scale.div});
}

QueueEngine* ListControl::Engine() const {
  return queue_ && queue_->layout && queue_->layout->fields ? queue_->engine : nullptr;
}

int ListControl::QueueCount() const {
  if (!Engine()) return 0;
  ErrorPreserved keep;
  return static_cast<int>(QueueRecords(queue_));
}

int ListControl::FirstTreeColumn() const {
  for (std::size_t i = 0; i < fmt_.columns.size(); ++i)
    if (fmt_.columns[i].HasTree()) return static_cast<int>(i);
  return -1;
}

int ListControl::TreeLevel(int queue_row) const {
  const int c = FirstTreeColumn();
  QueueEngine* e = Engine();
  if (c < 0 || !e || QueueLoadRow(e, queue_row) != 0) return 0;
  return ValueAsInt(QueueRowField(e, fmt_.columns[c].TreeField()));
}

// Tree lists hide the rows below a contracted row; other lists show every row.
void ListControl::SyncRows() const {
  QueueEngine* e = Engine();
  const int count = QueueCount();
  std::uint32_t changes = 0;
  if (e) {
    ErrorPreserved keep;
    changes = QueueChanges(queue_);
  }
  if (count == seen_count_ && changes == seen_changes_ && (e != nullptr) == seen_engine_) return;
  seen_count_ = count;
  seen_changes_ = changes;
  seen_engine_ = e != nullptr;
  visible_.clear();
  const int tc = FirstTreeColumn();
  identity_ = true;
  if (tc < 0 || !e) return;
  const int field = fmt_.columns[tc].TreeField();
  int hide_below = 0;  // while > 0: rows deeper than this are hidden
  for (int row = 1; row <= count; ++row) {
    if (QueueLoadRow(e, row) != 0) break;
    const int level = ValueAsInt(QueueRowField(e, field));
    const int depth = level < 0 ? -level : level;
    if (hide_below > 0 && depth > hide_below) {
      identity_ = false;
      continue;
    }
    hide_below = level <= 0 ? std::max(depth, 1) : 0;
    visible_.push_back(row);
  }
  if (identity_) visible_.clear();
}

int ListControl::RowCount() const {
  SyncRows();
  return identity_ ? seen_count_ : static_cast<int>(visible_.size());
}

int ListControl::QueueRowOf(int visible) const {
  const int n = RowCount();
  if (visible < 0 || visible >= n) return 0;
  return identity_ ? visible + 1 : visible_[visible];
}

int ListControl::VisibleIndexOf(int queue_row) const {
  const int n = RowCount();
  if (identity_) return queue_row >= 1 && queue_row <= n ? queue_row - 1 : -1;
  auto it = std::lower_bound(visible_.begin(), visible_.end(), queue_row);
  return it != visible_.end() && *it == queue_row ? static_cast<int>(it - visible_.begin()) : -1;
}

// --- cells ---------------------------------------------------------------------------------

std::string ListControl::FormatValue(int column, const TypedRef& v) const {
  char raw[1024];
  const std::size_t n = ValueAsText(v, raw, sizeof raw);
  const CompiledPicture& pic = pictures_[column];
  if (!pic.Valid()) return std::string(raw, n);
  char out[kPictureMaxWidth + 1];
  int len = 0;
  switch (pic.Kind()) {
    case kPicNumeric:
    case kPicScientific: {
      DigitString d;
      DigitsFromText(raw, static_cast<std::uint32_t>(n), &d);
      len = FormatDigits(pic, d, out);
      break;
    }
    case kPicDate:
    case kPicTime:
      len = FormatInteger(pic, static_cast<std::int64_t>(ValueAsDouble(v)), out);
      break;
    default:
      len = FormatText(pic, raw, static_cast<std::uint32_t>(n), out);
      break;
  }
  return std::string(out, static_cast<std::size_t>(std::max(len, 0)));
}

bool ListControl::LoadCell(int queue_row, int column, Cell* out) const {
  QueueEngine* e = Engine();
  if (!e || column < 0 || column >= static_cast<int>(fmt_.columns.size()) || QueueLoadRow(e, queue_row) != 0)
    return false;
  const listfmt::Column& c = fmt_.columns[column];
  const TypedRef data = QueueRowField(e, c.field);
  const bool left = c.Justification() == 0;
  out->text = data.address ? Trim(FormatValue(column, data), !left) : std::string();
  out->icon = c.HasIcon() ? ValueAsInt(QueueRowField(e, c.IconField())) : 0;
  out->level = c.HasTree() ? ValueAsInt(QueueRowField(e, c.TreeField())) : 0;
  if (const int cf = c.ColorField())
    for (int k = 0; k < 4; ++k) {
      const TypedRef r = QueueRowField(e, cf + k);
      out->colors[k] = r.address ? ValueAsInt(r) : kNoColor;
    }
  return true;
}

// --- tips --------------------------------------------------------------------------------------

// Every list with columns may cut a cell's text short, and then shows it whole in a tip.
bool ListControl::HasPointTip() const { return !fmt_.columns.empty(); }

// The tip of the cell under the point: the row's tip field (P), else the column's default tip
// (Q), else the cell's whole text when the column cuts it short (a list view's item tip: a long
// or escaped server name is otherwise never seen whole), else the list's own tip.
std::string ListControl::TipAt(POINT client) const {
  ErrorPreserved keep;
  const int column = HitColumn(client.x);
  const int row = drop_rows_ ? selected_ : HitRow(client.y, false);
  if (column >= 0 && row > 0) {
    const listfmt::Column& c = fmt_.columns[static_cast<std::size_t>(column)];
    QueueEngine* e = Engine();
    if (const int tf = c.TipField(); tf && e && QueueLoadRow(e, row) == 0) {
      char text[1024];
      const std::string t = Trim(std::string(text, ValueAsText(QueueRowField(e, tf), text, sizeof text)), true);
      if (!t.empty()) return t;
    }
    if (c.has_tip && !c.tip.empty()) return c.tip;
    if (!drop_rows_) {
      std::string cut = CutTextAt(row, column);
      if (!cut.empty()) return cut;
    }
  }
  return tip_;
}

std::string ListControl::CutTextAt(int row, int column) const {
  const listfmt::Column& c = fmt_.columns[static_cast<std::size_t>(column)];
  Cell cell;
  if (c.width <= 0 || !LoadCell(row, column, &cell) || cell.text.empty() || !hwnd_) return {};
  // The painted text box: from TextLeft to 2 pixels before the cell's right edge; the last
  // column reaches the list's right edge.
  RECT client{};
  GetClientRect(hwnd_, &client);
  int right = c.right + 1;
  if (static_cast<std::size_t>(column) + 1 == fmt_.columns.size())
    right = std::max<int>(right, client.right + hscroll_ - MarkGutter());
  const int room = right - 2 - (c.left + TextLeft(c, cell));
  HDC dc = GetDC(hwnd_);
  HGDIOBJ old = SelectObject(dc, Font());
  SIZE size{};
  GetTextExtentPoint32A(dc, cell.text.c_str(), static_cast<int>(cell.text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
  return size.cx > room ? cell.text : std::string();
}

std::string ListControl::RowText(int row) const {
  const int q = QueueRowOf(row - 1);
  if (!q) return {};
  std::string text;
  bool first = true;
  for (std::size_t i = 0; i < fmt_.columns.size(); ++i) {
    if (fmt_.columns[i].width <= 0) continue;
    Cell cell;
    LoadCell(q, static_cast<int>(i), &cell);
    if (!first) text += '\t';
    text += cell.text;
    first = false;
  }
  return text;
}

HICON ListControl::IconFor(int number) {
  if (number < 1 || number > static_cast<int>(icon_list_.size())) return nullptr;
  const std::size_t i = static_cast<std::size_t>(number - 1);
  if (icons_.size() < icon_list_.size()) {
    icons_.resize(icon_list_.size(), nullptr);
    icons_loaded_.resize(icon_list_.size(), false);
  }
  if (!icons_loaded_[i]) {
    icons_loaded_[i] = true;
    icons_[i] = icon_list_[i].empty() ? nullptr : LoadIconByName(icon_list_[i], false);
  }
  return icons_[i];
}

void ListControl::ReleaseIcons() {
  for (HICON h : icons_)
    if (h) DestroyIcon(h);
  icons_.clear();
  icons_loaded_.clear();
}

// --- geometry ------------------------------------------------------------------------------

int ListControl::row_height() const {
  int h = window_->font.height + 2;
  if (line_height_units_ > 0) h = window_->scale.Y(line_height_units_);
  for (const listfmt::Column& c : fmt_.columns)
    if (c.HasIcon() && h < kIconSize + 2 && line_height_units_ <= 0) h = kIconSize + 2;
  return std::max(h, 4);
}

int ListControl::header_height() const {
  if (drop_rows_) return 0;
  int lines = 0;
  for (const listfmt::Column& c : fmt_.columns) lines = std::max(lines, c.has_header ? c.header_lines : 0);
  return lines ? lines * window_->font.height + 6 : 0;
}

int ListControl::RowsTop() const { return header_height(); }

int ListControl::page_rows() const {
  if (!hwnd_) return 1;
  RECT r;
  GetClientRect(hwnd_, &r);
  return std::max(1, static_cast<int>(r.bottom - r.top - RowsTop()) / row_height());
}

int ListControl::TreeStep() const {
  const int tc = FirstTreeColumn();
  const bool underline = tc >= 0 && (fmt_.columns[tc].flags1 & listfmt::kUnderline);
  return (row_height() + (underline ? 1 : 0)) * 5 / 4;
}

int ListControl::HitColumn(int x) const {
  const int px = x + hscroll_;
  for (std::size_t i = 0; i < fmt_.columns.size(); ++i) {
    const listfmt::Column& c = fmt_.columns[i];
    const bool last = i + 1 == fmt_.columns.size();
    if (px >= c.left && (px <= c.right || last)) return static_cast<int>(i);
  }
  return -1;
}

int ListControl::HitRow(int y, bool in_drop) const {
  const int top = in_drop ? 0 : RowsTop();
  if (y < top) return 0;
  return QueueRowOf((y - top) / row_height() + (in_drop ? drop_top_ : top_));
}

// A row shows an expand box when it is closed or rows lie below it (as it is painted).
bool ListControl::ShowsBox(int queue_row) const {
  if (TreeLevel(queue_row) <= 0) return true;
  return queue_row < QueueCount() && Depth(TreeLevel(queue_row + 1)) > Depth(TreeLevel(queue_row));
}

// In an icon or tree column a point left of (level + 1) steps is on the icon or expand
// area; the box itself is the step just before the icon. Where a row shows no box, a click
// there is a click on the row.
bool ListControl::OnExpandBox(int queue_row, int column, int x) const {
  if (column < 0 || !fmt_.columns[column].HasTree() || (fmt_.columns[column].flags2 & listfmt::kTreeB)) return false;
  if (!ShowsBox(queue_row)) return false;
  const listfmt::Column& c = fmt_.columns[column];
  const int depth = Depth(TreeLevel(queue_row));
  const int step = TreeStep();
  const int px = x + hscroll_ - c.left - c.data_indent;
  return px >= (depth - 1) * step && px < depth * step;
}

// --- scrolling and selection -----------------------------------------------------------------

void ListControl::UpdateScrollBars() {
  if (!hwnd_ || drop_rows_) return;
  const int n = RowCount();
  const int page = page_rows();
  top_ = std::clamp(top_, 0, std::max(0, n - page));
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;  // the bar shows once the rows need one
  si.nMin = 0;
  si.nMax = std::max(0, n - 1);
  si.nPage = static_cast<UINT>(page);
  si.nPos = top_;
  SetScrollInfo(hwnd_, SB_VERT, &si, TRUE);
  RECT r;
  GetClientRect(hwnd_, &r);
  const int total = (fmt_.columns.empty() ? 0 : fmt_.columns.back().right + 1) + MarkGutter();
  SCROLLINFO sh{};
  sh.cbSize = sizeof sh;
  sh.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  sh.nMax = std::max(0, total - 1);
  sh.nPage = static_cast<UINT>(std::max<LONG>(r.right, 1));
  hscroll_ = std::clamp(hscroll_, 0, std::max(0, total - static_cast<int>(r.right)));
  sh.nPos = hscroll_;
  SetScrollInfo(hwnd_, SB_HORZ, &sh, TRUE);
}

void ListControl::ScrollTo(int top) {
  const int n = RowCount();
  top = std::clamp(top, 0, std::max(0, n - page_rows()));
  if (top == top_) return;
  top_ = top;
  stored_[2] = top_;
  if (hwnd_) {
    SetScrollPos(hwnd_, SB_VERT, top_, TRUE);  // the range is unchanged: only the thumb moves
    InvalidateRect(hwnd_, nullptr, FALSE);
  }
}

void ListControl::UpdateBoundVariable() {
  if (!binding_.has_use || !binding_.address) return;
  QueueEngine* e = Engine();
  std::string value;
  if (e && selected_ >= 1 && selected_ <= QueueCount()) {
    QueueGetAt(queue_, selected_);  // the record buffer holds the selected record
    if (QueueLoadRow(e, selected_) == 0 && !fmt_.columns.empty()) {
      char text[1024];
      const std::size_t n = ValueAsText(QueueRowField(e, fmt_.columns[0].field), text, sizeof text);
      value = Trim(std::string(text, n), false);
    }
  }
  AssignVariable(binding_, value);  // no valid row: the variable is cleared
  shown_ = value;
}

void ListControl::SelectRow(int row) {
  if (row == selected_) return;
  selected_ = row;
  if (row > 0) stored_[0] = row - 1;
  const int v = VisibleIndexOf(row);
  if (v >= 0 && hwnd_) {
    if (v < top_) ScrollTo(v);
    else if (v >= top_ + page_rows()) ScrollTo(v - page_rows() + 1);
  }
  {
    ErrorPreserved keep;
    UpdateBoundVariable();
  }
  PostFieldEvent(kEvNewSelection);
  if (binding_.has_use) DisplayFields();
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
  NotifySelection();
}

void ListControl::MoveSelection(int visible) {
  const int n = RowCount();
  if (n <= 0) return;
  visible = std::clamp(visible, 0, n - 1);
  const int row = QueueRowOf(visible);
  stored_[0] = row - 1;
  SelectRow(row);
  if (drop_rows_ && !dropped()) PostFieldEvent(kEvAccepted);
}

// --- tree toggling -----------------------------------------------------------------------------

void ListControl::RequestToggle(int queue_row) {
  const int tc = FirstTreeColumn();
  if (tc < 0 || !Engine() || queue_row < 1 || queue_row > QueueCount() || !window_->hwnd) return;
  auto* e = new ToggleEvent;
  const int level = TreeLevel(queue_row);
  e->list = this;
  e->row = queue_row;
  e->level = level;
  // The record goes through the window's pending list like any posted event.
  e->code = kEventBase + (level > 0 ? kEvContracting : kEvExpanding);
  e->control = this;
  e->window = window_;
  e->thread = window_->thread;
  e->selected = window_->focus_control;
  if (ThreadRecord* r = ThreadRecordAt(window_->thread - 1)) e->key_state = r->key_state;
  POINT p{0, 0};
  GetCursorPos(&p);
  e->x = p.x;
  e->y = p.y;
  if (!EventDelivery()) {
    delete e;
    return;
  }
  if (!PostMessageA(window_->hwnd, kMsgPostedEvent, 0, reinterpret_cast<LPARAM>(e))) delete e;
}

void ListControl::FinishToggle(int queue_row, int level_when_asked) {
  const int tc = FirstTreeColumn();
  QueueEngine* e = Engine();
  if (tc < 0 || !e || queue_row < 1 || queue_row > QueueCount()) return;
  if (QueueLoadRow(e, queue_row) != 0) return;
  const TypedRef ref = QueueRowField(e, fmt_.columns[tc].TreeField());
  const int level = ValueAsInt(ref);
  if ((level > 0) != (level_when_asked > 0)) return;  // changed meanwhile by the program
  // Negating 0 would leave the row contracted: an expanded level-0 row becomes level 1.
  StoreInt(ref, level == 0 ? 1 : -level);
  QueueStoreRow(e);
  seen_count_ = -1;
  PostFieldEvent(level > 0 ? kEvContracted : kEvExpanded);
  UpdateScrollBars();
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
  NotifyAccessible(EVENT_OBJECT_STATECHANGE, hwnd_, VisibleIndexOf(queue_row) + 1);
  NotifyAccessible(EVENT_OBJECT_REORDER, hwnd_);  // rows came or went below it
}

// --- input ---------------------------------------------------------------------------------------

void ListControl::OnMouseDown(int x, int y, bool right, WPARAM keys) {
  SetFocus(hwnd_);
  if (drop_rows_) {
    if (!right) dropped() ? CloseDrop(false) : OpenDrop();
    return;
  }
  // The resize zone: three line widths either side of a resizable column's right edge.
  for (std::size_t i = 0; i < fmt_.columns.size() && !right; ++i) {
    const listfmt::Column& c = fmt_.columns[i];
    const int edge = c.right + 1 - hscroll_;
    if ((c.flags1 & listfmt::kResizable) && x >= edge - 3 && x <= edge + 3) {
      resize_column_ = static_cast<int>(i);
      resize_start_x_ = x;
      resize_start_width_ = c.width;
      SetCapture(hwnd_);
      return;
    }
  }
  const int row = HitRow(y, false);
  const int column = HitColumn(x);
  if (!row) return;
  stored_[0] = row - 1;
  stored_[1] = std::max(column, 0);
  if (!right && OnExpandBox(row, column, x)) {
    AskToggle(row);
    return;
  }
  SelectRow(row);
  if (!right) TagClick(row, keys);
}

void ListControl::OnDoubleClick(int x, int y) {
  if (drop_rows_) return;
  const int row = HitRow(y, false);
  if (row) stored_[0] = row - 1;
  const bool on_box = row && FirstTreeColumn() >= 0 && OnExpandBox(row, HitColumn(x), x);
  if (on_box) return;  // its first click already asked to open or close the row
  if (IsAlertKey(kAlertDoubleClick)) {  // the program handles it instead
    PostAlertKey(kAlertDoubleClick);
    return;
  }
  if (!row) return;
  if (FirstTreeColumn() >= 0) {
    RequestToggle(row);
    return;
  }
  PostFieldEvent(kEvAccepted);
}

void ListControl::OnVScroll(int code) {
  const int page = page_rows();
  const int n = RowCount();
  int event = 0;
  switch (code) {
    case SB_LINEUP: ScrollTo(top_ - 1); event = kEvScrollUp; break;
    case SB_LINEDOWN: ScrollTo(top_ + 1); event = kEvScrollDown; break;
    case SB_PAGEUP: ScrollTo(top_ - page); event = kEvPageUp; break;
    case SB_PAGEDOWN: ScrollTo(top_ + page); event = kEvPageDown; break;
    case SB_TOP: ScrollTo(0); event = kEvScrollTop; break;
    case SB_BOTTOM: ScrollTo(n); event = kEvScrollBottom; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      SCROLLINFO si{};
      si.cbSize = sizeof si;
      si.fMask = SIF_TRACKPOS;
      GetScrollInfo(hwnd_, SB_VERT, &si);
      ScrollTo(si.nTrackPos);
      event = code == SB_THUMBTRACK ? kEvScrollTrack : kEvScrollDrag;
      break;
    }
    default: break;
  }
  if (event) PostFieldEvent(event);
}

// --- the window procedure ------------------------------------------------------------------------

LRESULT ListControl::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const int x = static_cast<short>(LOWORD(lp)), y = static_cast<short>(HIWORD(lp));
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      Paint(dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_SIZE:
      UpdateScrollBars();
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_LBUTTONDOWN: OnMouseDown(x, y, false, wp); return 0;
    case WM_RBUTTONDOWN:
      ClearPopupKeyboardAnchor();  // the menu of a click opens at the pointer
      OnMouseDown(x, y, true);
      PostAlertKey(kAlertRightButton);
      return 0;
    case WM_CONTEXTMENU:
      // The context-menu key and Shift+F10 (position -1) act as the right button on the
      // selected row; the menu of a click was raised by the button already.
      if (lp == -1) OnContextKey();
      return 0;
    case WM_LBUTTONDBLCLK: OnDoubleClick(x, y); return 0;
    case WM_MOUSEMOVE:
      if (resize_column_ >= 0) {
        listfmt::Column& c = fmt_.columns[static_cast<std::size_t>(resize_column_)];
        c.width = std::max(0, resize_start_width_ + x - resize_start_x_);
        int left = 0;
        for (listfmt::Column& k : fmt_.columns) {
          k.left = left;
          k.right = k.width > 0 ? left + k.width - 1 : left - 1;
          left = k.right + 1;
        }
        InvalidateRect(hwnd, nullptr, FALSE);
      } else if (!drop_rows_) {
        if (HasPointTip() && (HitRow(y, false) != tip_row_ || HitColumn(x) != tip_column_)) {
          tip_row_ = HitRow(y, false);  // another cell, maybe another tip: the tooltip asks again
          tip_column_ = HitColumn(x);
          if (HWND tip = TooltipOf(window_->hwnd)) SendMessageA(tip, TTM_UPDATE, 0, 0);
        }
        bool on_edge = false;
        for (const listfmt::Column& c : fmt_.columns)
          on_edge |= (c.flags1 & listfmt::kResizable) && std::abs(x - (c.right + 1 - hscroll_)) <= 3;
        if (on_edge && !MouseCursorOverride()) SetCursor(LoadCursorA(nullptr, IDC_SIZEWE));
      }
      return 0;
    case WM_LBUTTONUP:
      if (resize_column_ >= 0) {
        resize_column_ = -1;
        ReleaseCapture();
        UpdateScrollBars();
        PostFieldEvent(kEvColumnResize);
      }
      return 0;
    case WM_MOUSEWHEEL:
      if (!drop_rows_) ScrollTo(top_ - 3 * static_cast<short>(HIWORD(wp)) / WHEEL_DELTA);
      return 0;
    case WM_VSCROLL: OnVScroll(LOWORD(wp)); return 0;
    case WM_HSCROLL: {
      RECT r;
      GetClientRect(hwnd, &r);
      switch (LOWORD(wp)) {
        case SB_LINELEFT: hscroll_ -= 16; break;
        case SB_LINERIGHT: hscroll_ += 16; break;
        case SB_PAGELEFT: hscroll_ -= r.right; break;
        case SB_PAGERIGHT: hscroll_ += r.right; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: hscroll_ = HIWORD(wp); break;
        default: break;
      }
      UpdateScrollBars();
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case WM_KEYDOWN:
      if (drop_rows_ && !dropped() && wp == VK_DOWN && (GetKeyState(VK_MENU) & 0x8000)) {
        OpenDrop();
        return 0;
      }
      OnKey(static_cast<int>(wp));
      return 0;
    case WM_SYSKEYDOWN:
      if (drop_rows_ && (wp == VK_DOWN || wp == VK_UP)) {
        dropped() ? CloseDrop(true) : OpenDrop();
        return 0;
      }
      if (wp == VK_F10 && (GetKeyState(VK_SHIFT) & 0x8000)) {
        OnContextKey();
        return 0;
      }
      break;
    case WM_SYSKEYUP:
      // F10 released would open the window's menu (the platform's menu key) over the list's.
      if (wp == VK_F10 && (GetKeyState(VK_SHIFT) & 0x8000)) return 0;
      break;
    case WM_CHAR:
      OnChar(static_cast<int>(wp));
      return 0;
    case WM_GETDLGCODE: {
      // Enter opens a row of a tree or of a list whose double click is the program's; elsewhere
      // it is the window's (its default button).
      const auto* m = reinterpret_cast<const MSG*>(lp);
      const bool enter = m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN && WantsEnter();
      return DLGC_WANTARROWS | DLGC_WANTCHARS | (dropped() ? DLGC_WANTALLKEYS : 0) | (enter ? DLGC_WANTMESSAGE : 0);
    }
    case WM_KILLFOCUS:
      CloseDrop(false);
      InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case WM_CANCELMODE:
      CloseDrop(false);
      break;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, FALSE);
      break;
    default:
      break;
  }
  return Control::WndProc(hwnd, msg, wp, lp);
}

// --- the window layer's side: display, refresh, properties ---------------------------------------

void ListControl::Display() {
  if (!hwnd_) return;
  UpdateScrollBars();
  InvalidateRect(hwnd_, nullptr, FALSE);
}

// The idle refresh: a queue changed by the program shows without an explicit display.
void ListControl::Refresh() {
  if (!hwnd_) return;
  const int count = seen_count_;
  const std::uint32_t changes = seen_changes_;
  SyncRows();
  if (count != seen_count_ || changes != seen_changes_) {
    UpdateScrollBars();
    InvalidateRect(hwnd_, nullptr, FALSE);
    NotifyAccessible(EVENT_OBJECT_REORDER, hwnd_);
  }
}

bool ListControl::GetProperty(int code, std::string* out) {
  switch (code) {
    case kPropFormat: *out = GetFormat(); return true;
    case kPropSelected: case kPropSelEnd: *out = std::to_string(selected_); return true;
    case kPropItems: *out = std::to_string(drop_rows_ ? drop_rows_ : page_rows()); return true;
    case kPropDrop: *out = std::to_string(drop_rows_); return true;
    case kPropColumn: *out = std::to_string(stored_[1] + 1); return true;
    case kPropFrom: *out = source_label_; return true;
    case kPropMark: *out = std::to_string(mark_field_); return true;
    case kPropVScrollPos: *out = std::to_string(top_ + 1); return true;
    case kPropLineHeight: *out = std::to_string(line_height_units_ ? line_height_units_ : window_->scale.FromY(row_height())); return true;
    case kPropHeaderHeight: *out = std::to_string(window_->scale.FromY(header_height())); return true;
    case kPropListStoredFirst: case kPropListStoredFirst + 1: case kPropListStoredLast:
      *out = std::to_string(stored_[code - kPropListStoredFirst] + 1);
      return true;
    default: return Control::GetProperty(code, out);
  }
}

bool ListControl::SetProperty(int code, const std::string& value) {
  const int n = std::atoi(value.c_str());
  switch (code) {
    case kPropFormat: SetFormat(value); return true;
    case kPropSelected: case kPropSelEnd: SelectRow(n > 0 && n <= QueueCount() ? n : 0); return true;
    case kPropDrop: drop_rows_ = std::max(0, n); return true;
    case kPropColumn: stored_[1] = n - 1; return true;
    case kPropFrom:  // From: the queue's address as a number
      SetSourceQueue(reinterpret_cast<QueueBlock*>(static_cast<std::uintptr_t>(std::strtoull(value.c_str(), nullptr, 10))));
      return true;
    case kPropVScrollPos: ScrollTo(n - 1); return true;
    case kPropMark:  // Mark: the field number of the tag in the queue's record
      mark_field_ = std::max(0, n);
      tag_anchor_ = 0;
      UpdateScrollBars();
      if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
      return true;
    case kPropLineHeight:
      line_height_units_ = std::max(0, n);
      UpdateScrollBars();
      if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
      return true;
    case kPropListStoredFirst: case kPropListStoredFirst + 1: case kPropListStoredLast: stored_[code - kPropListStoredFirst] = n - 1; return true;
    default: return Control::SetProperty(code, value);
  }
}

bool ListControl::GetIndexed(int code, int index, std::string* out) {
  if (code == kPropIconList) {  // IconList, numbered from 1 (index is 0-based here)
    *out = index >= 0 && index < static_cast<int>(icon_list_.size()) ? icon_list_[index] : "";
    return true;
  }
  return Control::GetIndexed(code, index, out);
}

bool ListControl::SetIndexed(int code, int index, const std::string& value) {
  if (code == kPropIconList) {
    if (index < 0 || index >= kMaxIconEntries) return true;  // outside the list: ignored
    if (static_cast<int>(icon_list_.size()) <= index) icon_list_.resize(index + 1);
    icon_list_[index] = value;
    ReleaseIcons();
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
    return true;
  }
  return Control::SetIndexed(code, index, value);
}

}  // namespace vel::wsl
