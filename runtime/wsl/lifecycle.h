// The window layer in start-up and shutdown, runtime threads, and the answer to the system's
// end-of-session query.
//
// Priority 150 (WslCoreInitTerm): thread records and the runtime lock; the main thread takes
// the lock and holds it while it runs runtime code. Priority 100 (WslGlobalsInitTerm): common
// controls, the owner resolvers of the message box and the pop-up menu, the lifecycle hooks.
// Shutdown (start-up step 8): every live window gets its shutdown notification in opening
// order, the main thread waits for the other runtime threads, event delivery is switched off,
// and the clean-up closes what is left and unregisters the classes.
#pragma once
#include <windows.h>

namespace vel::wsl {

void WslCoreInitTerm(int flag);     // priority 150
void WslGlobalsInitTerm(int flag);  // priority 100

// The window layer's entries of a program's initialiser table.
#define VEL_WSL_INIT_ENTRIES                                                          \
  ::vel::InitEntry{150, ::vel::wsl::WslCoreInitTerm, ::vel::wsl::WslCoreInitTerm},    \
  ::vel::InitEntry{100, ::vel::wsl::WslGlobalsInitTerm, ::vel::wsl::WslGlobalsInitTerm}

// The hooks ProgramEntry calls.
void ShutdownWindows();
void CleanupWindowSystem();

// Starts a runtime thread: it gets a thread record, runs `proc` under the runtime lock, and
// gives its record up when `proc` returns (its windows are closed). False when all 64 are
// taken or the thread could not be made.
bool StartThread(void (*proc)(void* arg), void* arg);

// WM_QUERYENDSESSION: brings the main window to the top, tells the user that the application
// is still active (system-modal, exclamation icon, the program's file name as title) and
// refuses the end of the session (returns false).
bool AnswerEndSessionQuery(HWND asked);
// The text and title of that box.
const char* EndSessionText();

}  // namespace vel::wsl
