// Program entry of the Asynchronous FTP Client.
//
// The executable's module descriptor lists the runtime's initialisers and the application's
// own (priority 5, its global variables); ProgramEntry runs start-up, the main wrapper and
// shutdown, and ends the process through Halt.
#include <windows.h>

#include "runtime/controls/controls.h"
#include "runtime/core/startup.h"
#include "runtime/wsl/lifecycle.h"

namespace {

void ApplicationGlobals(int) {}

const vel::InitEntry kInitialisers[] = {
    VEL_CORE_INIT_ENTRIES,
    VEL_WSL_INIT_ENTRIES,
    vel::InitEntry{5, ApplicationGlobals, ApplicationGlobals},
};

vel::ModuleDescriptor g_module = {
    nullptr, kInitialisers, kInitialisers + sizeof kInitialisers / sizeof kInitialisers[0],
    nullptr, {{nullptr, nullptr}, {nullptr, nullptr}}, nullptr, nullptr, nullptr, nullptr};

void MainWrapper() {
  // The main window arrives with the window layer; until then the program runs its start-up
  // and shutdown only.
  OutputDebugStringA("Asynchronous FTP Client: runtime start-up and shutdown only\n");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  vel::ProgramEntry(&g_module, MainWrapper, vel::kRuntimeMajor, vel::kRuntimeMinor, vel::kRuntimeBuild);
}
