// The Internet status callback, engine of the request chains, and the error-text routines.
//
// The callback runs on the FTP library's notification thread. It takes the runtime lock for
// everything it does (globals, queues, the main window's properties and display) and gives
// it up around every call into the library (ui.h, Net), so the window thread stays
// responsive while a transfer runs; the order of each chain is kept because one notification
// is handled completely before the library delivers the next. The data notifications of a
// running transfer are counted without the lock and shown at most every 50 ms (progress.h).
#pragma once
#include <windows.h>

#include <string>

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

// Text of an error code from the library's message table (12003: the server's last response),
// followed by what the last response adds (ResponseDetail).
std::string ErrorText(DWORD code);
// "||Server: <reply>" when the server's last reply refused the request (4xx, 5xx; any reply to
// a refused TLS), "||<account>" when the library refused something itself and said what in the
// last response, else "".
std::string ResponseDetail(DWORD code);
// The text of the server's last response on this thread.
std::string ExtendedErrorText(DWORD* error = nullptr);
// "INTERNET ERROR" box for a listing error; only 12003 is reported.
void ListingErrorReport(const std::string& context, DWORD code);

// "VTFTP Client Error" with the error's text (kept in ERRORTEXT).
void ShowRequestError(DWORD error);
// The same with the text already made (taken before the server's last response changes).
void ShowRequestErrorText(const std::string& text);
// A request that failed, at once or in its completion: the error shown, a transfer's progress
// reset, the chain back to idle.
void FailRequest(DWORD error);
// The same without a message (its reason was shown otherwise).
void EndFailedRequest();

// The chain of the request being started: remembers the session epoch it belongs to and
// clears its cancel mark (called by every handler that sets a requested-code).
void BeginChain();
// The chain was cancelled by the user or left behind by its connection (the epoch moved on).
bool ChainCancelled();
// A Connect is under way: its chain has not made the window connected yet (the connect and
// login, or the listing of the root that follows).
bool ConnectUnderWay();
// Escape, Disconnect or Close Internet Session during the connect and login: the connection
// is closed and abandoned - not waited for, even inside the resolver; whatever the library
// still reports of it is dropped - and the chain ends at once, so the window is free for the
// next Connect. (The listing that follows a connect is cancelled as a listing.)
void AbandonConnect();
// Escape: the running transfer is cancelled (its connection closed); its completion reports
// "cancelled". Other requests run to their end.
void CancelRunningTransfer();
// Ends the transfer chain as cancelled now (a put waiting for the overwrite answer).
void EndCancelledTransfer();

}  // namespace ftpcl
