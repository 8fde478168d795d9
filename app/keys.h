// Keys of the main window beyond its controls: Escape cancels the running transfer, folder
// listing or connect, F5 lists the selected remote folder and the local folder again, Enter in
// the server name, user name or password entry connects.
//
// A message hook on the window's thread sees each key as the window's controls take it from
// the queue (typed or posted) and posts the program's event for it (kCancelEvent,
// kRefreshViewEvent, kConnectEvent) to the main window; the key then goes on to its control as before. A
// control that wants the key for itself (a drop-down list that is open takes Escape) keeps it.
#pragma once
#include <windows.h>

namespace ftpcl {

void InstallMainWindowKeys(HWND main);
void RemoveMainWindowKeys();

}  // namespace ftpcl
