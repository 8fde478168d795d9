// Remote listings: a folder of the server read over a synchronous session of its own and put
// into the tree (app/remote_tree.h). Each runs on a thread of its own, so neither the window
// nor the FTP library's notification thread waits for it; it runs as a request of the request
// machine (app/request_machine.h) until it ends.
//
// A listing belongs to the connection it was started for (the session epoch). Close Internet
// Session and Disconnect leave it: its request ends at once (the window takes a new Connect
// immediately), its handles are closed so its network calls return soon, and whatever it
// still brings is discarded: no rows, no connected state, no status text.
// Escape cancels it too ("Listing cancelled" in zone 2); the folder is then left closed and not
// listed, like one whose listing failed, so a double-click lists it again.
#pragma once
#include <string>

namespace ftpcl {

enum class ListingKind {
  kConnect,  // the root, on a completed connect: the window then enters the connected state
  kFolder,   // a folder's first double-click
  kRefresh,  // the current remote directory after a change the program made, or F5
};

// Lists REMOTEDIR into the tree under REMOTEPARENT (both read now). `report`, when given, is
// the text the listing leaves in status zone 2 when it ends (instead of none): the outcome of
// the request whose refresh it is, which would otherwise vanish with the listing's own texts.
// False, with nothing started, while another request runs (a connect's listing is its own
// request's phase and always starts).
bool StartRemoteListing(ListingKind kind, const std::string& report = "");
// Cancels the running listing, if any (`by_user`: Escape; otherwise the connection is going).
void CancelRemoteListing(bool by_user);
// Waits (with the runtime lock given up) until no listing thread runs, also none left behind,
// at most `ms` milliseconds.
void WaitForListingEnd(unsigned ms);

}  // namespace ftpcl
