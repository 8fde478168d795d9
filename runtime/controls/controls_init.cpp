// Installs the control library's constructors in the creation table.
#include "runtime/controls/button_controls.h"
#include "runtime/controls/controls.h"
#include "runtime/controls/graphic_controls.h"
#include "runtime/controls/list_control.h"
#include "runtime/controls/spin_control.h"
#include "runtime/controls/text_controls.h"

namespace vel::wsl {
namespace {

template <typename T>
Control* Make(Window* window, const ControlRecord& record) {
  return new T(window, record);
}

}  // namespace

void ControlsInitTerm(int flag) {
  if (flag != 0) {
    ClearControlConstructors();
    return;
  }
  InstallControlConstructor(kKindString, Make<StringControl>);
  InstallControlConstructor(kKindImage, Make<GraphicControl>);
  InstallControlConstructor(kKindShape, Make<GraphicControl>);
  InstallControlConstructor(kKindPanel, Make<GraphicControl>);
  InstallControlConstructor(kKindEntry, Make<EditControl>);
  InstallControlConstructor(kKindButton, Make<ButtonControl>);
  InstallControlConstructor(kKindPrompt, Make<PromptControl>);
  InstallControlConstructor(kKindOption, Make<OptionControl>);
  InstallControlConstructor(kKindCheck, Make<CheckControl>);
  InstallControlConstructor(kKindGroup, Make<GroupControl>);
  InstallControlConstructor(kKindList, Make<ListControl>);
  InstallControlConstructor(kKindSpin, Make<SpinControl>);
  InstallControlConstructor(kKindRadio, Make<RadioControl>);
  InstallControlConstructor(kKindProgress, Make<ProgressControl>);
}

}  // namespace vel::wsl
