// The LIST control (CTLLIST): VelList, or VelDrop when the descriptor gives a drop height.
//
// The list shows the records of its source queue as rows and the columns of its format
// string (runtime/controls/list_format.h). Rows are read on demand through QueueLoadRow /
// QueueRowField and formatted with their column's compiled picture; painting touches only
// the rows inside the visible area, so its cost does not depend on the queue's length.
//
// Row numbers the program sees (FieldChoice, Selected, 0x7C20) are queue positions. A tree
// column hides the descendants of a contracted row (tree level <= 0): the rows on screen are
// the "visible rows", mapped to queue positions by `visible_` (rebuilt when the queue's change
// counter moves; an identity map needs no vector). The list-box queries (LB_GETCOUNT,
// LB_GETCURSEL, LB_SETCURSEL, LB_GETTEXT, LB_GETTEXTLEN) count visible rows, as a screen
// reader sees them.
//
// The source queue is the address WindowOpen passes for the list; a list whose descriptor has
// a use descriptor is bound to that variable instead and gets its queue through `From` (the
// queue's address as a number) or SetSourceQueue. Invariants: 0 <= top_ <= max(0, visible
// count - page rows); selected_ is 0 or a queue position; icon handles in icons_ belong to
// this object.
//
// Tags (list_tags.cpp): a list whose Mark property names a numeric field of its queue's record
// lets the user tag rows in it (Space, Ctrl+click, Shift+click); nonzero = tagged. A tagged row
// shows a check mark in a gutter at the right end of the rows (the columns, and where a click
// lands in them, stay where they are; the mark stays in view while they scroll), and tells tools
// STATE_SYSTEM_CHECKED. Drop lists never tag.
//
// Sources: list_control.cpp (rows, selection, tree, input, properties), list_paint.cpp,
// list_drop.cpp (the drop-down form), list_tags.cpp, list_internal.h (shared helpers).
#pragma once
#include <string>
#include <vector>

#include "runtime/controls/list_format.h"
#include "runtime/data/picture.h"
#include "runtime/data/queue.h"
#include "runtime/wsl/control.h"

namespace vel::wsl {

// Puts the query procedure in front of a list window's procedure (list_queries.cpp).
void InstallListQueries(HWND list);

class ListControl : public Control {
 public:
  ListControl(Window* window, const ControlRecord& record);
  ~ListControl() override;
  ControlClass* Class() override;
  // The scroll bars appear once the rows need them (UpdateScrollBars).
  DWORD Style() const override { return WS_TABSTOP; }
  DWORD ExStyle() const override { return WS_EX_CLIENTEDGE; }
  std::string CreationText() const override { return {}; }
  SIZE NaturalSize(HDC dc) const override;
  void AfterCreate() override;
  bool TakesVariable() const override { return true; }  // the source queue
  void Display() override;
  void Refresh() override;
  int Choice() const override { return selected_; }
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;
  bool GetProperty(int code, std::string* out) override;
  bool SetProperty(int code, const std::string& value) override;
  bool GetIndexed(int code, int index, std::string* out) override;
  bool SetIndexed(int code, int index, const std::string& value) override;
  bool HasPointTip() const override;
  std::string TipAt(POINT client) const override;
  void FocusGained() override;
  // Assistive tools (list_accessible.cpp): the rows are the children.
  void Describe(AccessibleFacts* facts) const override;
  int AccessibleChildCount() const override;
  bool DescribeChild(int child, AccessibleFacts* facts) const override;
  bool ChildLocation(int child, RECT* screen) const override;
  int ChildAt(POINT screen) const override;
  int FocusedChild() const override;
  int SelectedChild() const override;
  bool SelectChild(int child, long flags) override;
  bool DoDefaultAction(int child) override;

  // --- the list's rows (the hooks of the window layer)
  // A new format text (descriptor or Format property); an invalid one keeps the columns.
  virtual void SetFormat(const std::string& format);
  virtual std::string GetFormat() const;
  // Visible rows, and the text of one (1-based visible index): columns separated by tabs.
  virtual int RowCount() const;
  virtual std::string RowText(int row) const;
  virtual void PaintRows(HDC dc, const RECT& area);
  // The selection moved to queue position `row` by the user: EVENT:NewSelection is posted
  // and the bound variable takes the row's value.
  virtual void SelectRow(int row);

  // --- state, also for tests
  void* source() const { return queue_; }
  void SetSourceQueue(QueueBlock* q);
  int drop_rows() const { return drop_rows_; }
  const std::vector<std::string>& icon_list() const { return icon_list_; }
  const listfmt::Format& format() const { return fmt_; }
  int row_height() const;
  int header_height() const;
  int top_row() const { return top_; }          // 0-based visible index
  int page_rows() const;
  bool dropped() const { return drop_popup_ != nullptr; }
  HWND drop_window() const { return drop_popup_; }
  // Queue position of a visible index (0-based), 0 when out of range; and back (-1).
  int QueueRowOf(int visible) const;
  int VisibleIndexOf(int queue_row) const;
  // Tree level of a queue row in the first tree column (0 without one).
  int TreeLevel(int queue_row) const;
  // Asks the program to expand or contract a tree row (EVENT:Expanding/Contracting).
  void RequestToggle(int queue_row);
  // Carries out an accepted toggle (the event's after-delivery step).
  void FinishToggle(int queue_row, int level_when_asked);
  void OpenDrop();
  void CloseDrop(bool take_selection);
  LRESULT DropWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void TrackDropScrollBar(HWND popup, POINT screen);
  // The list-box queries (LB_*) of any list and the combo-box queries (CB_*) of a drop list;
  // list_queries.cpp. Indexes are visible rows, 0-based; LB_ERR for what the list cannot answer.
  LRESULT ListBoxQuery(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT ComboBoxQuery(UINT msg, WPARAM wp, LPARAM lp);
  // A visible row's rectangle in the list's client area (a drop list's: in its open list), or
  // on the screen; false for a row that does not exist or a drop list that is closed.
  bool VisibleRowRect(int visible, RECT* out, bool screen) const;

 protected:
  struct Cell {
    std::string text;
    int icon = 0;         // icon number, 0 = none
    int level = 0;        // tree level
    std::int32_t colors[4] = {-1, -1, -1, -1};
  };
  QueueEngine* Engine() const;
  int QueueCount() const;
  void SyncRows() const;                        // rebuilds visible_ when the queue changed
  bool LoadCell(int queue_row, int column, Cell* out) const;
  std::string FormatValue(int column, const TypedRef& v) const;
  HICON IconFor(int number);
  void PaintHeader(HDC dc, const RECT& r);
  void PaintRowsAt(HDC dc, const RECT& area, int first_visible, bool in_drop);
  void PaintTreeParts(HDC dc, const listfmt::Column& c, int x0, const RECT& row, int queue_row, int level, bool boxes);
  void PaintClosedDrop(HDC dc, const RECT& r);
  void Paint(HDC dc);
  void ScrollTo(int top);
  void UpdateScrollBars();
  void MoveSelection(int visible);
  void UpdateBoundVariable();
  int HitRow(int y, bool in_drop) const;        // queue row, 0 when none
  int HitColumn(int x) const;                   // column index, -1 when none
  bool OnExpandBox(int queue_row, int column, int x) const;
  bool ShowsBox(int queue_row) const;
  int TreeStep() const;
  // Where a cell's icon and text begin, from the cell's left edge (tree lines and depth, icon).
  int IconLeft(const listfmt::Column& c, const Cell& cell) const;
  int TextLeft(const listfmt::Column& c, const Cell& cell) const;
  // The whole text of the cell under the point when the column shows it cut short, else "".
  std::string CutTextAt(int row, int column) const;
  int FirstTreeColumn() const;
  int RowsTop() const;
  void OnMouseDown(int x, int y, bool right, WPARAM keys = 0);
  void OnDoubleClick(int x, int y);
  // The keyboard (list_keyboard.cpp).
  void OnKey(int vk);
  void OnChar(int ch);
  void OnDropKey(int vk);
  void ShowDropHot();
  void OnTreeKey(int vk);
  void OnContextKey();
  bool WantsEnter() const;
  void ActivateSelected();
  // Asks for a tree row to open or close: the program's double click when the list has that
  // alert key (the program owns expansion), else EVENT:Expanding/Contracting and the toggle.
  void AskToggle(int queue_row);
  bool HasVisibleChildren(int queue_row) const;
  int ParentRow(int queue_row) const;
  int TypeAheadColumn() const;
  int FindTyped(int column, const std::string& wanted) const;
  std::string RowCellText(int queue_row, int column) const;
  void NotifySelection() const;
  void OnVScroll(int code);
  int FindRow(int after, const char* wanted, bool exact) const;
  LRESULT SelectForQuery(int index);
  void ReleaseIcons();
  // Tags (list_tags.cpp). The gutter is the width the mark takes at the rows' right end.
  bool Tagging() const { return mark_field_ > 0 && !drop_rows_; }
  int MarkGutter() const;
  bool IsTagged(int queue_row) const;
  bool TypeAheadPending() const;
  void ToggleTag(int queue_row);
  void TagClick(int queue_row, WPARAM keys);
  bool StoreTag(int queue_row, bool on);
  void TagsChanged(int first_queue_row, int last_queue_row);
  void PaintMark(HDC dc, const RECT& row, COLORREF color) const;

  std::string format_;                 // the text last given
  listfmt::Format fmt_;
  std::vector<CompiledPicture> pictures_;
  QueueBlock* queue_ = nullptr;
  int drop_rows_;
  int selected_ = 0;
  int top_ = 0;
  int hscroll_ = 0;
  int line_height_units_ = 0;          // LineHeight, 0 = from the font
  int stored_[3] = {0, 0, 0};          // kPropListStoredFirst..Last, kept 0-based
  std::vector<std::string> icon_list_; // IconList entries, numbered from 1
  std::vector<HICON> icons_;
  std::vector<bool> icons_loaded_;
  mutable std::vector<std::int32_t> visible_;  // visible index -> queue position (tree lists)
  mutable bool identity_ = true;
  mutable std::uint32_t seen_changes_ = 0;
  mutable int seen_count_ = -1;
  mutable bool seen_engine_ = false;
  HWND drop_popup_ = nullptr;
  int drop_top_ = 0;
  int drop_hot_ = 0;                   // queue row under the pointer in the drop list
  bool drop_scrolling_ = false;        // the drop list's scroll bar is tracking the mouse
  int resize_column_ = -1;             // column whose right edge is being dragged
  int resize_start_x_ = 0, resize_start_width_ = 0;
  std::string source_label_;
  std::string typed_;                  // type-ahead text and the time of its last character
  DWORD typed_at_ = 0;
  int tip_row_ = 0;                    // row and column whose tip the tooltip shows
  int tip_column_ = -1;
  int mark_field_ = 0;                 // Mark: 1-based field of the tag, 0 = no tags
  int tag_anchor_ = 0;                 // queue row a Shift+click tags from (the last click or Space)
};

}  // namespace vel::wsl
