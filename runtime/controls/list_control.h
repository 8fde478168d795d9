// The LIST control (CTLLIST): VelList, or VelDrop when the descriptor gives a drop height.
//
// This class is the list's frame: creation from the descriptor (format string, drop height,
// source queue bound through WindowOpen's address list, tip, alert keys), the platform
// window with its border and column headers, the mouse actions that arrive as
// EVENT:AlertKey (right button: key 2, double click: key 5), and the list's properties. The
// format grammar, rows, tree and icons are added on top through the hooks marked below; they
// keep their state in this object.
#pragma once
#include <string>
#include <vector>

#include "runtime/wsl/control.h"

namespace vel::wsl {

class ListControl : public Control {
 public:
  ListControl(Window* window, const ControlRecord& record);
  ControlClass* Class() override;
  // The scroll bar appears once the rows need one (the rows' logic shows it).
  DWORD Style() const override { return WS_TABSTOP; }
  DWORD ExStyle() const override { return WS_EX_CLIENTEDGE; }
  std::string CreationText() const override { return {}; }
  SIZE NaturalSize(HDC dc) const override;
  bool TakesVariable() const override { return true; }  // the source queue
  void Display() override;
  void Refresh() override {}
  int Choice() const override { return selected_; }
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;
  bool GetProperty(int code, std::string* out) override;
  bool SetProperty(int code, const std::string& value) override;
  bool GetIndexed(int code, int index, std::string* out) override;
  bool SetIndexed(int code, int index, const std::string& value) override;

  // --- hooks for the list's own logic
  // A new format text (descriptor or Format property); the default keeps the text and reads
  // the column widths and headers it needs for painting.
  virtual void SetFormat(const std::string& format);
  virtual std::string GetFormat() const { return format_; }
  // The rows: how many the source queue has, and the text of one (1-based).
  virtual int RowCount() const { return 0; }
  virtual std::string RowText(int row) const { (void)row; return {}; }
  // Painting of the rows below the headers.
  virtual void PaintRows(HDC dc, const RECT& area) { (void)dc; (void)area; }
  // The selection moved to `row` (1-based): the list posts EVENT:NewSelection.
  virtual void SelectRow(int row);

  void* source() const { return binding_.address; }
  int drop_rows() const { return drop_rows_; }
  const std::vector<std::string>& icon_list() const { return icon_list_; }

 protected:
  struct HeaderColumn {
    int width_px;
    std::string header;
  };
  void Paint(HDC dc);
  std::string format_;
  std::vector<HeaderColumn> columns_;
  int drop_rows_;
  int selected_ = 0;
  int stored_[3] = {0, 0, 0};     // codes 0x7C20..0x7C22, kept 0-based
  std::vector<std::string> icon_list_;  // IconList entries, numbered from 1
};

}  // namespace vel::wsl
