// Transfer progress. State: the counters are written only by the notification thread while a
// transfer runs (`counting`), and reset by the window thread before one starts (no
// notifications of a transfer arrive then).
#include "app/progress.h"

#include <atomic>
#include <string>

#include "app/globals.h"
#include "app/ui.h"
#include "runtime/wsl/fields.h"

namespace ftpcl {

namespace {

constexpr ULONGLONG kShowEveryMs = 50;

struct Progress {
  std::atomic<std::uint64_t> total{0};
  std::atomic<bool> unshown{false};
  std::atomic<ULONGLONG> shown_at{0};
  std::atomic<bool> counting{false};
  std::atomic<bool> reached_server{false};
  bool upload = false;
};
Progress g_progress;

}  // namespace

void BeginTransferProgress(std::uint64_t expected, bool upload) {
  g.xfersize = expected;
  g_progress.total = 0;
  g_progress.unshown = false;
  g_progress.shown_at = 0;
  g_progress.reached_server = false;
  g_progress.upload = upload;
  g_progress.counting = true;
  g.percentcomplete = 0;
  StatusText(2, "");
  vel::wsl::DisplayFields(kPercentComplete);
}

void FileBytesMoved(std::uint64_t total) {
  if (!g_progress.counting) return;
  if (g_progress.upload) g_progress.reached_server = true;
  g_progress.total = total;
  g_progress.unshown = true;
}

bool UploadReachedServer() { return g_progress.reached_server; }

std::uint64_t TransferredBytes() { return g_progress.total; }

bool ProgressShowDue() { return g_progress.unshown && GetTickCount64() - g_progress.shown_at >= kShowEveryMs; }

// Sizes past 2^56 are scaled down together first, so that done * 100 never overflows.
std::int32_t PercentOf(std::uint64_t done, std::uint64_t expected) {
  if (expected == 0) return 0;
  if (done >= expected) return 100;
  while (expected > (std::uint64_t{1} << 56)) {
    expected >>= 1;
    done >>= 1;
  }
  return static_cast<std::int32_t>(done * 100 / expected);
}

void ShowProgress() {
  g_progress.shown_at = GetTickCount64();
  g_progress.unshown = false;
  const std::uint64_t total = g_progress.total;
  g.percentcomplete = PercentOf(total, g.xfersize);
  StatusText(2, (g_progress.upload ? "Sent: " : "Received: ") + std::to_string(total) + " bytes.");
  vel::wsl::DisplayFields(kPercentComplete);
}

void ShowPendingProgress() {
  const std::int16_t code = REQUESTCODE.load();
  if ((code == kGetRunning || code == kPutRunning) && g_progress.unshown) ShowProgress();
}

void EndOfTransfer() {
  if (g_progress.unshown) ShowProgress();
  g_progress.counting = false;
  g_progress.unshown = false;
  g.percentcomplete = 0;
  StatusText(2, "Finished");
  vel::wsl::DisplayFields(kPercentComplete);
}

void ResetProgress() {
  g_progress.counting = false;
  g_progress.total = 0;
  g_progress.unshown = false;
  g.percentcomplete = 0;
  StatusText(2, "");
  if (MainWindowOpen()) vel::wsl::DisplayFields(kPercentComplete);  // also after the window's end
}

}  // namespace ftpcl
