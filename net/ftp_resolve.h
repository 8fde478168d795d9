// The name look-up of a connect, bounded and cancellable.
//
// getaddrinfo cannot be interrupted: a resolver that does not answer holds its caller until it
// gives up by itself (tens of seconds, with some configurations far longer). The look-up
// therefore runs on a thread of its own, and the connect waits for it in slices of
// Socket::kSliceMs, checking its cancel flag: closing the connection's handle ends the wait
// within a slice, and so does the connect time-out. A look-up left behind is abandoned: it
// finishes on its own thread, which owns the shared record, and its result is dropped (no
// notification of it, no connect made with it).
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <string>
#include <vector>

namespace vel::net {

// One look-up of `host` for TCP port `service`: 0 and its addresses (IPv4 and IPv6, in the
// resolver's order), or nonzero when the name has none.
using NameLookup = int (*)(const std::string& host, const std::string& service, std::vector<sockaddr_storage>* out);
// getaddrinfo.
int SystemNameLookup(const std::string& host, const std::string& service, std::vector<sockaddr_storage>* out);
// Replaces the look-up every later connect uses (nullptr: SystemNameLookup). A test uses it to
// get a resolver that hangs, which no loopback-only machine can provide otherwise.
void SetNameLookup(NameLookup lookup);

// Resolves `host` for `port` within `limitMs`: 0 with *out filled, ERROR_INTERNET_NAME_NOT_RESOLVED,
// ERROR_INTERNET_TIMEOUT (the resolver had not answered in time), or
// ERROR_INTERNET_OPERATION_CANCELLED (*cancel was set meanwhile).
DWORD ResolveHost(const std::string& host, int port, DWORD limitMs, const std::atomic<bool>* cancel,
                  std::vector<sockaddr_storage>* out);

}  // namespace vel::net
