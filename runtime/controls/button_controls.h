// BUTTON, CHECK, OPTION with its RADIOs, and GROUP.
#pragma once
#include "runtime/wsl/control.h"

namespace vel::wsl {

class ButtonControl : public Control {
 public:
  ButtonControl(Window* window, const ControlRecord& record);
  ~ButtonControl() override;
  ControlClass* Class() override;
  DWORD Style() const override;
  std::string CreationText() const override;
  SIZE NaturalSize(HDC dc) const override;
  void AfterCreate() override;
  void OnCommand(int notification) override;
  bool GetProperty(int code, std::string* out) override;
  bool SetProperty(int code, const std::string& value) override;
  int KeyCode() const override { return static_cast<int>(key_ & 0x7FF); }
  void PressByKey(int key_code) override;
  void Describe(AccessibleFacts* facts) const override;
  bool DoDefaultAction(int child) override;

 private:
  void LoadButtonIcon();
  bool is_default_;
  std::uint32_t key_;
  std::string icon_name_;
  HICON icon_ = nullptr;
};

// A check box: its variable holds TrueValue ("1") when checked, FalseValue ("0") otherwise.
class CheckControl : public Control {
 public:
  CheckControl(Window* window, const ControlRecord& record);
  ControlClass* Class() override;
  DWORD Style() const override;
  SIZE NaturalSize(HDC dc) const override;
  void Display() override;
  void Update() override;
  void Refresh() override;
  int Choice() const override;
  void OnCommand(int notification) override;
  bool GetProperty(int code, std::string* out) override;
  bool SetProperty(int code, const std::string& value) override;
  void Describe(AccessibleFacts* facts) const override;
  bool DoDefaultAction(int child) override;

 private:
  std::string true_value_ = "1", false_value_ = "0";
};

class RadioControl;

// An option: a framed group whose variable takes the value of the radio pressed.
class OptionControl : public Control {
 public:
  using Control::Control;
  ~OptionControl() override;
  ControlClass* Class() override;
  DWORD Style() const override { return BS_GROUPBOX; }
  void Display() override;
  void Refresh() override;
  int Choice() const override;
  bool CanTakeFocus() const override { return false; }
  // Disable/Enable and Hide/Unhide of the group reach its radios: a greyed frame around radios
  // that can still be pressed would change the variable behind the program's back.
  bool SetProperty(int code, const std::string& value) override;
  void AddRadio(RadioControl* radio) { radios_.push_back(radio); }
  void RemoveRadio(RadioControl* radio);
  // A radio was pressed: the variable takes its value and the option is accepted.
  void Choose(RadioControl* radio);
  void Describe(AccessibleFacts* facts) const override;

 private:
  void MoveTabStopToChoice();
  std::vector<RadioControl*> radios_;
};

class RadioControl : public Control {
 public:
  RadioControl(Window* window, const ControlRecord& record);
  ~RadioControl() override;
  ControlClass* Class() override;
  DWORD Style() const override;
  SIZE NaturalSize(HDC dc) const override;
  void OnCommand(int notification) override;
  bool GetProperty(int code, std::string* out) override;
  bool SetProperty(int code, const std::string& value) override;
  const std::string& value() const { return value_; }
  void set_option(OptionControl* o) { option_ = o; }
  void Describe(AccessibleFacts* facts) const override;
  bool DoDefaultAction(int child) override;

 private:
  std::string value_;
  OptionControl* option_ = nullptr;
};

class GroupControl : public Control {
 public:
  using Control::Control;
  ControlClass* Class() override;
  DWORD Style() const override { return BS_GROUPBOX; }
  bool CanTakeFocus() const override { return false; }
  void Describe(AccessibleFacts* facts) const override;
};

}  // namespace vel::wsl
