// Progress of the running transfer: the bytes of its data, shown in status zone 2 ("Received:
// N bytes." for a download, "Sent: N bytes." for an upload) and in the progress bar at most
// every 50 ms, the last count always shown; the end of a transfer, and the reset after a
// failed or cancelled one.
//
// The data of a transfer is told apart from its commands and replies by the server's
// replies: the transfer command's preliminary reply (1xx) opens the data phase, its final
// reply ends it. A download's data arrives as "response received" notifications that bring no
// new reply; an upload's as "request sent" notifications in the data phase. Counting runs on
// the FTP library's thread without the runtime lock (only that thread counts); showing takes
// the lock.
#pragma once
#include <windows.h>

#include <cstdint>

namespace ftpcl {

// A transfer of `expected` bytes is about to start: counts at 0, zone 2 and the bar emptied.
void BeginTransferProgress(std::uint64_t expected, bool upload);

// A notification of the running transfer (31 or 41 with its byte count): counts data bytes,
// notes the replies. Any thread that delivers notifications; no lock needed.
void TransferNotification(DWORD status, DWORD bytes);
// The data phase of the running upload has begun: the server holds (part of) the new file.
bool UploadReachedServer();

// The data bytes counted so far.
std::uint64_t TransferredBytes();
// 50 ms or more since the count was last shown, and there is a new count.
bool ProgressShowDue();
// Shows the count and the percentage now (runtime lock held).
void ShowProgress();
// The window's timer: shows a count the 50 ms rule held back (runtime lock held).
void ShowPendingProgress();

// "Finished": REQUESTCODE back to 1, bar emptied.
void EndOfTransfer();
// A transfer that failed or was cancelled: counts and bar back to 0, zone 2 emptied.
void ResetProgress();

// The percentage of `done` of `expected` on the decimal stack (x / 0 gives 0), at most 100.
std::int32_t PercentOf(std::uint64_t done, std::uint64_t expected);

}  // namespace ftpcl
