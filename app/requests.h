// The window's request machine: the one RequestMachine of the program, the side effects of its
// rows on the library and the window, and the calls the window's handlers and the status
// callback make into it. Everything here runs under the runtime lock.
#pragma once
#include <windows.h>

#include "app/request_machine.h"
#include "net/ftpnet.h"

namespace ftpcl {

RequestMachine& Requests();

// Starts a chain of `kind` (a Connect, a transfer, a file operation) with its connect call;
// false when another request runs. A connect refused at once ends the chain as a failure.
bool StartChain(Kind kind);
// Starts a listing request; false when another request runs.
bool StartListingRequest();

// A completion of the chain's connection (`handle` is the one it came on). Returns false when
// it ended the request with a failure shown (zone 1 then keeps the step it reached).
bool RequestCompleted(HINTERNET handle, const INTERNET_ASYNC_RESULT& result);

// The chain was cancelled by the user or left behind by its connection.
bool ChainCancelled();
// A Connect is under way in the epoch in force (its connect and login, or its root listing).
bool ConnectUnderWay();
// The overwrite question of the request numbered `serial` was answered.
void OverwriteAnswered(std::uint64_t serial, bool yes);

}  // namespace ftpcl
