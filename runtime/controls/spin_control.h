// SPIN (VelSpin): a number the user types or steps with up and down arrows.
//
// The control's own window (a class of its own) holds two children: an edit showing the bound
// variable and the platform's up-down arrows, attached to the edit so that the Up and Down keys
// step as well. A step adds or subtracts the step value (1 when the descriptor gives none) and
// keeps the value within the range when the descriptor gives one (low below high); it goes to
// the variable at once and posts EVENT:NewSelection. Typed text goes to the variable, within
// the range, when the edit loses the focus (then EVENT:Accepted) and in the idle refresh.
// Texts set or read on the control's window are the edit's, so a driver sees the number.
#pragma once
#include "runtime/wsl/control.h"

namespace vel::wsl {

class SpinControl : public Control {
 public:
  SpinControl(Window* window, const ControlRecord& record);
  ControlClass* Class() override;
  DWORD ExStyle() const override { return WS_EX_CONTROLPARENT; }
  std::string CreationText() const override { return {}; }
  SIZE NaturalSize(HDC dc) const override;
  void AfterCreate() override;
  void Display() override;
  void Update() override;
  void Refresh() override;
  bool CanTakeFocus() const override;
  void Select() override;
  bool GetProperty(int code, std::string* out) override;
  bool SetProperty(int code, const std::string& value) override;
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  bool Edited() const;
  double Clamped(double value) const;
  void StoreValue(double value);
  void Step(int direction);
  HWND edit_ = nullptr;
  HWND arrows_ = nullptr;
  double low_, high_, step_;
};

}  // namespace vel::wsl
