// The Internet status callback: a thin dispatcher from the library's notifications to the
// status texts, the byte counts and the request machine (app/requests.h).
//
// The callback runs on the FTP library's notification thread. It takes the runtime lock for
// everything it does (globals, queues, the main window's properties and display) and gives
// it up around every call into the library (ui.h, Net), so the window thread stays
// responsive while a transfer runs; the order of each chain is kept because one notification
// is handled completely before the library delivers the next. The data notifications of a
// running transfer are counted without the lock and shown at most every 50 ms (progress.h).
#pragma once
#include <windows.h>

#include "net/ftpnet.h"

namespace ftpcl {

void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD length);
// From the end of the window's loop on, notifications are dropped before they wait for the
// runtime lock: the window thread then closes the session holding it (main_window.cpp).
void IgnoreNotifications();

// The status text shown in zone 1 for a notification code (empty for codes not listed).
const char* StatusTextOf(DWORD status);
// Zone 1 when no connection is open (after a failed connect or Disconnect).
constexpr const char* kNotConnected = "Not connected";

}  // namespace ftpcl
