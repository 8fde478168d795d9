// Program entry of the Asynchronous FTP Client.
//
// The executable's module descriptor lists the runtime's initialisers (core, data, window
// layer and controls) and the application's own (priority 5, its global
// variables); ProgramEntry runs start-up, the main wrapper and shutdown, and ends the process
// through Halt.
#include <windows.h>

#include "app/main_window.h"
#include "runtime/controls/controls.h"
#include "runtime/core/startup.h"
#include "runtime/data/data_init.h"
#include "runtime/wsl/lifecycle.h"

namespace {

void ApplicationGlobals(int) {}

const vel::InitEntry kInitialisers[] = {
    VEL_CORE_INIT_ENTRIES,
    VEL_DATA_INIT_ENTRIES,
    VEL_WSL_INIT_ENTRIES,
    VEL_CONTROLS_INIT_ENTRIES,
    vel::InitEntry{5, ApplicationGlobals, ApplicationGlobals},
};

vel::ModuleDescriptor g_module = {
    nullptr, kInitialisers, kInitialisers + sizeof kInitialisers / sizeof kInitialisers[0],
    nullptr, {{nullptr, nullptr}, {nullptr, nullptr}}, nullptr, nullptr, nullptr, nullptr};

// Full-window dragging is switched off while the client runs (its windows repaint slowly
// while they move) and switched on again afterwards, where the user had it on.
void MainWrapper() {
  constexpr UINT kGetDragFullWindows = 0x26, kSetDragFullWindows = 0x25, kWriteAndBroadcast = 3;
  BOOL full_drag = FALSE;
  SystemParametersInfoA(kGetDragFullWindows, 0, &full_drag, 0);
  if (full_drag == 1) {
    SystemParametersInfoA(kSetDragFullWindows, 0, nullptr, kWriteAndBroadcast);
    ftpcl::MainProcedure();
    SystemParametersInfoA(kSetDragFullWindows, 1, nullptr, kWriteAndBroadcast);
  } else {
    ftpcl::MainProcedure();
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  vel::ProgramEntry(&g_module, MainWrapper, vel::kRuntimeMajor, vel::kRuntimeMinor, vel::kRuntimeBuild);
}
