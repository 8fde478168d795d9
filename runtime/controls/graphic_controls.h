// IMAGE, shape and PANEL controls (VelGraphic) and PROGRESS (VelProgress).
#pragma once
#include "runtime/wsl/control.h"

namespace vel::wsl {

// An image (its Text is the image name, an icon by the icon lookup rule), a panel (an
// etched frame, or an etched line when it is two units or less high) or a shape.
class GraphicControl : public Control {
 public:
  GraphicControl(Window* window, const ControlRecord& record);
  ~GraphicControl() override;
  ControlClass* Class() override;
  std::string CreationText() const override { return {}; }
  SIZE NaturalSize(HDC dc) const override;
  bool CanTakeFocus() const override { return false; }
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;
  bool GetProperty(int code, std::string* out) override;
  bool SetProperty(int code, const std::string& value) override;
  void Describe(AccessibleFacts* facts) const override;

 private:
  void Paint(HDC dc, const RECT& r);
  std::string image_;
  HICON icon_ = nullptr;
  std::uint32_t fill_;
};

// A progress bar over the range of its descriptor; its variable is the position.
class ProgressControl : public Control {
 public:
  ProgressControl(Window* window, const ControlRecord& record);
  ControlClass* Class() override;
  std::string CreationText() const override { return {}; }
  bool CanTakeFocus() const override { return false; }
  void AfterCreate() override;
  void Display() override;
  void Refresh() override;
  int Choice() const override;
  bool GetProperty(int code, std::string* out) override;
  bool SetProperty(int code, const std::string& value) override;
  void Describe(AccessibleFacts* facts) const override;

 private:
  int low_, high_;
};

}  // namespace vel::wsl
