// The calls that open, connect and close the client's Internet handles, shared by the window's
// handlers and the remote listing so both reach the server the same way (same access type,
// proxy and connection fields).
#pragma once
#include <windows.h>

#include "net/ftpnet.h"

namespace ftpcl {

// InternetOpenA by the proxy settings: the system configuration when USEPRECONFIG is set, the
// named proxy when PROXY is not blank, else direct. `flags` is INTERNET_FLAG_ASYNC or 0.
HINTERNET OpenSession(DWORD flags);

// InternetConnectA on `session` with SERVERNAME, USERNAME, PASSWORD and CONNECTFLAGS. On return
// *error is 0 for a handle, ERROR_IO_PENDING for an asynchronous connect under way, else the
// reason the call failed at once.
HINTERNET ConnectCall(HINTERNET session, DWORD_PTR context, DWORD* error);

// The connect call of every request chain, on SESSIONHANDLE with context 1, after closing the
// connection of the previous chain (OPHANDLE); the chain goes on in the status callback. A connect refused at once (no session, a name the library rejects)
// is reported like a failed request, so the chain ends instead of waiting forever.
void ConnectServer();

// InternetCloseHandle on *handle if it is set; *handle becomes 0.
void CloseInternetHandle(HINTERNET* handle);

}  // namespace ftpcl
