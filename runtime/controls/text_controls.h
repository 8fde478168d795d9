// STRING, ENTRY and PROMPT controls.
#pragma once
#include "runtime/wsl/control.h"

namespace vel::wsl {

// Shows its variable through its picture; the natural width is the picture's.
class StringControl : public Control {
 public:
  using Control::Control;
  ControlClass* Class() override;
  SIZE NaturalSize(HDC dc) const override;
  std::string CreationText() const override { return {}; }
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;
  void Describe(AccessibleFacts* facts) const override;
};

// An entry: the user's edits go to the variable when the entry loses the focus (then
// EVENT:Accepted) and in every refresh; the picture limits the length.
// An entry whose attribute word has kEntryPassword (runtime/wsl/descriptor.h) set shows "*"
// for every character typed (the PASSWORD property switches it at run time).

class EditControl : public Control {
 public:
  using Control::Control;
  ControlClass* Class() override;
  DWORD Style() const override;
  DWORD ExStyle() const override { return WS_EX_CLIENTEDGE; }
  std::string CreationText() const override { return {}; }
  SIZE NaturalSize(HDC dc) const override;
  void AfterCreate() override;
  void Display() override;
  void Update() override;
  void Refresh() override;
  void OnCommand(int notification) override;
  bool GetProperty(int code, std::string* out) override;
  bool SetProperty(int code, const std::string& value) override;
  void Describe(AccessibleFacts* facts) const override;
};

class PromptControl : public Control {
 public:
  using Control::Control;
  ControlClass* Class() override;
  DWORD Style() const override;
  bool SetProperty(int code, const std::string& value) override;
  void Describe(AccessibleFacts* facts) const override;
};

}  // namespace vel::wsl
