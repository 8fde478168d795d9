// Handles the window has closed.
//
// The FTP library goes on reporting on a connection after the window closed its handle: the
// request that ran on it completes as cancelled, and "handle closing" (70) is its last word.
// Those reports belong to a connection the window has left (Disconnect, Close Internet Session,
// a new Connect, Escape, the end of a request chain), so none of them may change a status
// text; the status callback asks here before it shows anything. A handle is noted before the
// close call, so even the notifications the close itself sends are known as late.
//
// Lock-free: the callback's data path asks without the runtime lock. Handles are never reused
// by the library, and each is forgotten at its 70; the table keeps the last kRemembered, which
// is far more than can be closing at once.
#pragma once
#include <windows.h>

#include "net/ftpnet.h"

namespace ftpcl {

constexpr unsigned kRemembered = 64;

// `h` is about to be closed by the window.
void NoteClosed(HINTERNET h);
// The window has closed `h` and the library has not yet said its last word on it.
bool WasClosed(HINTERNET h);
// The library's last notification of `h` (70) has come.
void ForgetClosed(HINTERNET h);

}  // namespace ftpcl
