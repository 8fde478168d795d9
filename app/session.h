// The calls that open, connect and close the client's Internet handles, shared by the window's
// handlers, the request chains and the remote listing, so all reach the server the same way:
// the proxy choice taken when the session started, the server and login taken when Connect
// was pressed (see ServerProfile).
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>

#include "net/ftpnet.h"

namespace ftpcl {

// Takes USEPRECONFIG and PROXY for the session being started.
void TakeSessionProfile();
// Takes SERVERNAME, USERNAME, PASSWORD and CONNECTFLAGS for the connection being made.
void TakeServerProfile();

// InternetOpenA by the session's proxy choice: the system configuration, the named proxy,
// else direct. `flags` is INTERNET_FLAG_ASYNC or 0.
HINTERNET OpenSession(DWORD flags);

// InternetConnectA on `session` to the connection's server. On return *error is 0 for a
// handle, ERROR_IO_PENDING for an asynchronous connect under way, else the reason the call
// failed at once.
HINTERNET ConnectCall(HINTERNET session, DWORD_PTR context, DWORD* error);

// The connect call of every request chain, on SESSIONHANDLE with context 1, after closing the
// connection of the previous chain; the chain goes on in the status callback. Returns 0, or
// the error of a connect refused at once (no session, a name the library rejects), which the
// request machine ends as a failure.
DWORD ConnectServer();

// Issues the next request of a chain (the machine has already moved the request to the phase
// it runs in: a request issued from the window thread may report at once). Returns 0, or the
// error of a call the library refused at once (anything but ERROR_IO_PENDING).
DWORD IssueRequest(const std::function<BOOL()>& call);

// InternetCloseHandle on *handle if it is set; *handle becomes 0. Nothing the library reports
// of the handle afterwards changes a status text (app/closed_handles.h).
void CloseInternetHandle(HINTERNET* handle);
// Closes the connection of the last request (CONNECTHANDLE, and OPHANDLE when it differs): a
// request running on it ends as cancelled.
void CloseRequestConnection();
// Ends the logins the library keeps for reuse with the server of the connection (Disconnect
// and Close Internet Session end the server session the user sees; the library does not wait
// for the server's goodbye).
void EndServerSession();

}  // namespace ftpcl
