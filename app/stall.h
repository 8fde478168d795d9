// The stall display: a request that waits for the server and has seen no byte arrive or leave
// for kStallAfterMs says so, "No data for N s", in the status zone its own text uses, updated
// by the window's timer (about once a second); when data moves again the zone gets back the
// text the stall replaced (or whatever the request wrote there since).
//
// Zones, by what waits: a connect, the login of a request chain and a file operation (their
// steps are in zone 1), a transfer's data (its byte count is in zone 2), a remote listing
// ("Retrieving directory tree" is in zone 3).
//
// A wait runs from the call that goes to the server to its completion: between the two, the
// only thing the request does is wait for the server. Questions and error boxes come after a
// completion, so time spent on them is never called a stall. Byte counts arrive on the FTP
// library's threads (the status callback, the listing's own session): stamps are atomic, and
// only the window's timer shows anything (runtime lock held).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace ftpcl {

constexpr ULONGLONG kStallAfterMs = 10000;
constexpr int kStallZoneSteps = 1, kStallZoneBytes = 2, kStallZoneListing = 3;

// A call to the server has been issued; its wait is shown in `zone` should it stall.
void AwaitServer(int zone);
// The zone a chain's call waits in, by the request code it runs under.
int StallZoneOf(std::int16_t code);
// A notification of the FTP library: bytes arrived or left when it is a 31 or 41 with a count.
void NoteTrafficOf(DWORD status, const void* info, DWORD length);
// The call's completion came, or the wait was given up (cancelled, abandoned).
void ServerAnswered();

// The window's timer: shows, updates or ends the stall text.
void ShowStall();
// The text of a stall of `seconds` ("No data for 12 s").
std::string StallText(ULONGLONG seconds);

}  // namespace ftpcl
