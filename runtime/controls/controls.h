// The control library: the classes of the window layer's control kinds and their
// constructors, installed in the creation table at start-up (priority 100).
//
//   kind 1 STRING   VelString   own class (paints its variable through its picture)
//   kind 3, 6, 39   VelGraphic  own class (image, shape, panel)
//   kind 8 ENTRY    VelEdit     derived from "Edit" (editing is the platform's)
//   kind 9 BUTTON   VelButton   derived from "button"
//   kind 10 PROMPT  VelPrompt   derived from "Static"
//   kind 11 OPTION  VelOption   derived from "Button" (a group box owning its radios)
//   kind 12 CHECK   VelCheck    derived from "button"
//   kind 13 GROUP   VelGroup    derived from "Button"
//   kind 14 LIST    VelList / VelDrop (runtime/controls/list_control.h)
//   kind 16 SPIN    VelSpin     own class (an edit and up-down arrows, spin_control.h)
//   kind 21 RADIO   VelRadio    derived from "button"
//   kind 35 PROGRESS VelProgress derived from "msctls_progress32"
#pragma once

namespace vel::wsl {

void ControlsInitTerm(int flag);  // priority 100

// The control library's entry of a program's initialiser table.
#define VEL_CONTROLS_INIT_ENTRIES \
  ::vel::InitEntry{100, ::vel::wsl::ControlsInitTerm, ::vel::wsl::ControlsInitTerm}

}  // namespace vel::wsl
