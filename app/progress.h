// Progress of the running transfer: the bytes of its data, shown in status zone 2 ("Received:
// N bytes." for a download, "Sent: N bytes." for an upload) and in the progress bar at most
// every 50 ms, the last count always shown; the end of a transfer, and the reset after a
// failed or cancelled one.
//
// The bytes are the file's, counted where they move: the FTP library reports them itself
// (INTERNET_STATUS_FTP_DATA_PROGRESS, asked for with INTERNET_OPTION_FTP_DATA_PROGRESS on the
// session), as the local file has them, in ASCII as in binary, so the last count of a completed
// transfer is the file's size. Nothing is inferred from replies. Counting runs on the FTP
// library's thread without the runtime lock (only that thread counts); showing takes the lock.
#pragma once
#include <windows.h>

#include <cstdint>

namespace ftpcl {

// A transfer of `expected` bytes is about to start: counts at 0, zone 2 and the bar emptied.
void BeginTransferProgress(std::uint64_t expected, bool upload);

// The library's count of the running transfer's file bytes so far (its first report, 0, comes
// when the data begins). Any thread that delivers notifications; no lock needed.
void FileBytesMoved(std::uint64_t total);
// The data of the running upload has begun: the server holds (part of) the new file.
bool UploadReachedServer();

// The data bytes counted so far.
std::uint64_t TransferredBytes();
// 50 ms or more since the count was last shown, and there is a new count.
bool ProgressShowDue();
// Shows the count and the percentage now (runtime lock held).
void ShowProgress();
// The window's timer: shows a count the 50 ms rule held back (runtime lock held).
void ShowPendingProgress();

// "Finished": the last count shown first (the file's size, 100 %), then the bar emptied.
void EndOfTransfer();
// A transfer that failed or was cancelled: counts and bar back to 0, zone 2 emptied.
void ResetProgress();

// The percentage of `done` of `expected` in 64-bit integers (x / 0 gives 0), at most 100.
std::int32_t PercentOf(std::uint64_t done, std::uint64_t expected);

}  // namespace ftpcl
