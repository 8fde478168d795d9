// Transfer progress. State: the phase tracker (last reply seen, data phase open) and the
// counters are written only by the notification thread while a transfer runs, and reset by
// the window thread before one starts (no notifications of a transfer arrive then).
#include "app/progress.h"

#include <atomic>
#include <string>

#include "app/globals.h"
#include "app/ui.h"
#include "runtime/core/decimal.h"
#include "runtime/wsl/fields.h"

namespace ftpcl {

namespace {

constexpr ULONGLONG kShowEveryMs = 50;

struct Progress {
  std::atomic<std::uint64_t> total{0};
  std::atomic<bool> unshown{false};
  std::atomic<ULONGLONG> shown_at{0};
  std::atomic<bool> data_phase{false};
  std::atomic<bool> reached_server{false};
  bool upload = false;
  DWORD reply_code = 0;
  std::string reply_text;
};
Progress g_progress;

// The server's reply that the last notification brought, if it is a new one.
bool NewReply(DWORD* code) {
  DWORD length = 0;
  InternetGetLastResponseInfoA(code, nullptr, &length);
  std::string text(length + 1, '\0');
  DWORD size = length + 1;
  InternetGetLastResponseInfoA(code, text.data(), &size);
  text.resize(length);
  if (*code == g_progress.reply_code && text == g_progress.reply_text) return false;
  g_progress.reply_code = *code;
  g_progress.reply_text = text;
  return true;
}

void Count(DWORD bytes) {
  g_progress.total += bytes;
  g_progress.unshown = true;
}

}  // namespace

void BeginTransferProgress(std::uint64_t expected, bool upload) {
  g.xfersize = expected;
  g_progress.total = 0;
  g_progress.unshown = false;
  g_progress.shown_at = 0;
  g_progress.data_phase = false;
  g_progress.reached_server = false;
  g_progress.upload = upload;
  g_progress.reply_code = 0;
  g_progress.reply_text.clear();
  g.percentcomplete = 0;
  StatusText(2, "");
  vel::wsl::DisplayFields(kPercentComplete);
}

void TransferNotification(DWORD status, DWORD bytes) {
  if (status == INTERNET_STATUS_RESPONSE_RECEIVED) {
    DWORD code = 0;
    if (NewReply(&code)) {
      const bool preliminary = code >= 100 && code < 200;
      g_progress.data_phase = preliminary;
      if (preliminary && g_progress.upload) g_progress.reached_server = true;
      return;
    }
    if (!g_progress.upload && g_progress.data_phase) Count(bytes);
  } else if (status == INTERNET_STATUS_REQUEST_SENT && g_progress.upload && g_progress.data_phase) {
    Count(bytes);
  }
}

bool UploadReachedServer() { return g_progress.reached_server; }

std::uint64_t TransferredBytes() { return g_progress.total; }

bool ProgressShowDue() { return g_progress.unshown && GetTickCount64() - g_progress.shown_at >= kShowEveryMs; }

std::int32_t PercentOf(std::uint64_t done, std::uint64_t expected) {
  vel::DecPushText(std::to_string(done).c_str());
  vel::DecPushText(std::to_string(expected).c_str());
  vel::DecDivide();
  vel::DecPushInteger(100);
  vel::DecMultiply();
  const std::int32_t percent = vel::DecPopInteger();
  return percent > 100 ? 100 : percent;
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
  REQUESTCODE = kIdle;
  g_progress.unshown = false;
  g.percentcomplete = 0;
  StatusText(2, "Finished");
  vel::wsl::DisplayFields(kPercentComplete);
}

void ResetProgress() {
  g_progress.total = 0;
  g_progress.unshown = false;
  g_progress.data_phase = false;
  g.percentcomplete = 0;
  StatusText(2, "");
  vel::wsl::DisplayFields(kPercentComplete);
}

}  // namespace ftpcl
