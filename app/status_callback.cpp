// Status callback: one notification at a time, under the runtime lock, with the main window as
// the display target of the notification thread (it has no window of its own, so without a
// target its DisplayFields would reach nothing).
#include "app/status_callback.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "app/globals.h"
#include "app/local_side.h"
#include "app/remote_tree.h"
#include "app/text.h"
#include "app/transfers.h"
#include "app/ui.h"
#include "runtime/core/decimal.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/window.h"

namespace ftpcl {

using vel::wsl::RuntimeLockGuard;

const char* StatusTextOf(DWORD status) {
  switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME: return "Resolving name";
    case INTERNET_STATUS_NAME_RESOLVED: return "Name resolved";
    case INTERNET_STATUS_CONNECTING_TO_SERVER: return "Connecting ...";
    case INTERNET_STATUS_CONNECTED_TO_SERVER: return "Connected";
    case INTERNET_STATUS_SENDING_REQUEST: return "Sending request";
    case INTERNET_STATUS_REQUEST_SENT: return "Request sent";
    case INTERNET_STATUS_RECEIVING_RESPONSE: return "Receiving response";
    case INTERNET_STATUS_RESPONSE_RECEIVED: return "Response received";
    case INTERNET_STATUS_CLOSING_CONNECTION: return "Closing connection";
    case INTERNET_STATUS_CONNECTION_CLOSED: return "Connection closed";
    case INTERNET_STATUS_HANDLE_CREATED: return "Handle created";
    case INTERNET_STATUS_HANDLE_CLOSING: return "Handle closed";
    case INTERNET_STATUS_REQUEST_COMPLETE: return "Request completed";
    default: return "";
  }
}

// --- error texts -------------------------------------------------------------------------------

namespace {

// Message-table texts and server responses end in line breaks a message box would show as an
// empty last line.
std::string WithoutLineEnds(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string FormattedMessage(DWORD source, HMODULE module, DWORD code) {
  char buffer[257] = "";
  const DWORD n = FormatMessageA(source | FORMAT_MESSAGE_IGNORE_INSERTS, module, code, 0, buffer, 256, nullptr);
  return n > 0 ? WithoutLineEnds(std::string(buffer, n)) : std::string();
}

}  // namespace

std::string ExtendedErrorText(DWORD* error) {
  DWORD code = 0, length = 0;
  InternetGetLastResponseInfoA(&code, g.emptytext, &length);
  std::vector<char> buffer(length + 1, ' ');
  buffer[length] = 0;
  DWORD size = length;
  InternetGetLastResponseInfoA(&code, buffer.data(), &size);
  if (error) *error = code;
  return WithoutLineEnds(std::string(buffer.data(), strnlen(buffer.data(), length)));
}

std::string ErrorText(DWORD code) {
  if (code == ERROR_INTERNET_EXTENDED_ERROR) return ExtendedErrorText();
  // The library is linked into the program; its message table is in the module it names. A
  // code that is not the library's own (a system error passed through) gets the system's text
  // rather than an empty box.
  std::string text = FormattedMessage(FORMAT_MESSAGE_FROM_HMODULE, FtpNetModule(), code);
  if (text.empty()) text = FormattedMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code);
  return text;
}

void ListingErrorReport(const std::string& context, DWORD code) {
  if (code != ERROR_INTERNET_EXTENDED_ERROR) return;
  DWORD x = 0;
  const std::string t = ExtendedErrorText(&x);
  Message(context + " Extd Err: " + std::to_string(x) + " " + t, "INTERNET ERROR");
}

// --- progress ----------------------------------------------------------------------------------

namespace {

// Data notifications of a running transfer arrive thousands of times a second. Their counting
// needs nothing of the runtime (only this thread writes the counters); what they show (zone 1,
// the byte count, the progress bar) is passed to the window at most every 50 ms, under the
// runtime lock. The last values are always shown by the transfer's completion.
constexpr ULONGLONG kShowEveryMs = 50;
std::atomic<ULONGLONG> g_shown_at{0};

bool ShowDue() { return GetTickCount64() - g_shown_at >= kShowEveryMs; }

}  // namespace

void ProgressStep(DWORD bytes) {
  if (!g.xferstarted) {
    g.xferstarted = 1;
    g.xfertotal = 0;
    g.skipcount = 0;
    return;
  }
  if (g.skipcount < 2) {
    ++g.skipcount;
    return;
  }
  g.xfertotal = static_cast<std::int32_t>(static_cast<std::uint32_t>(g.xfertotal) + bytes);
  if (!vel::wsl::RuntimeLockHeld()) return;  // counted; shown with a later notification
  // PERCENTCOMPLETE = XFERTOTAL / XFERSIZE * 100 on the decimal stack (x / 0 gives 0). Both
  // counts are read as unsigned, so files of 2 GiB up to 4 GiB show a right percentage too.
  const std::uint32_t total = static_cast<std::uint32_t>(g.xfertotal);
  vel::DecPushUnsigned(total);
  vel::DecPushUnsigned(static_cast<std::uint32_t>(g.xfersize));
  vel::DecDivide();
  vel::DecPushInteger(100);
  vel::DecMultiply();
  g.percentcomplete = vel::DecPopInteger();
  StatusText(2, "Received: " + std::to_string(total) + " bytes.");
  vel::wsl::DisplayFields(kPercentComplete);
}

void EndOfTransfer() {
  REQUESTCODE = kIdle;
  g.xferstarted = 0;
  g.percentcomplete = 0;
  StatusText(2, "Finished");
}

// --- request-complete --------------------------------------------------------------------------

void ShowRequestError(DWORD error) {
  const std::string text = Clip(ErrorText(error));
  SetFixed(g.errortext, text);
  Message(text, "VTFTP Client Error", ExclamationIcon());
}

void ReportRequestFailure(DWORD error) {
  ShowRequestError(error);
  REQUESTCODE = kIdle;
}

namespace {

void ConnectCompleted() {
  RemoteListing();
  g.isconnected = 1;
  g.insession = 1;
  vel::wsl::PostEvent(kRefreshEvent, 0, g.mainthread);
  StatusText(3, "");
}

void ActOnRequest(const INTERNET_ASYNC_RESULT& result) {
  switch (REQUESTCODE.load()) {
    case kConnect: ConnectCompleted(); break;
    case kGetRequested: IssueGet(); break;
    case kPutRequested: IssuePut(); break;
    case kPutRunning:
      WindowStatus("Upload complete");
      EndOfTransfer();
      RefreshRemoteDirectory();
      vel::wsl::DisplayFields();
      break;
    case kGetRunning:
      WindowStatus("Download complete");
      EndOfTransfer();
      RefreshLocalFiles();
      vel::wsl::DisplayFields();
      break;
    case kMkdirRequested: IssueCreateDirectory(); break;
    case kRmdirRequested: IssueRemoveDirectory(); break;
    case kDeleteRequested: IssueDelete(); break;
    case kRenameRequested: IssueRename(); break;
    case kMkdirRunning:
    case kRmdirRunning:
    case kDeleteRunning:
    case kRenameRunning: CompleteOperation(REQUESTCODE.load(), result.dwResult != 0); break;
    default: break;
  }
}

}  // namespace

namespace {

bool DataNotification(DWORD status) {
  return status == INTERNET_STATUS_SENDING_REQUEST || status == INTERNET_STATUS_REQUEST_SENT ||
         status == INTERNET_STATUS_RECEIVING_RESPONSE || status == INTERNET_STATUS_RESPONSE_RECEIVED;
}

// A data notification of a running transfer between two showings: counted, nothing shown.
bool CountedQuietly(DWORD status, LPVOID info, DWORD length) {
  const std::int16_t code = REQUESTCODE.load();
  if ((code != kGetRunning && code != kPutRunning) || !DataNotification(status) || ShowDue()) return false;
  DWORD count = 0;
  if (info && length >= sizeof count) std::memcpy(&count, info, sizeof count);
  if (status == INTERNET_STATUS_REQUEST_SENT) {
    g.bytessent += count;
    if (code == kPutRunning) ProgressStep(count);
  } else if (status == INTERNET_STATUS_RESPONSE_RECEIVED) {
    g.bytesreceived += count;
    if (code == kGetRunning) ProgressStep(count);
  }
  return true;
}

}  // namespace

void CALLBACK StatusCallback(HINTERNET, DWORD_PTR, DWORD status, LPVOID info, DWORD length) {
  if (CountedQuietly(status, info, length)) return;
  RuntimeLockGuard lock;
  g_shown_at = GetTickCount64();
  if (!g.mainwindow || !vel::wsl::IsLiveWindow(g.mainwindow)) return;  // the window is gone
  vel::wsl::SetTargetWindow(g.mainwindow, 0);
  const std::string text = StatusTextOf(status);
  INTERNET_ASYNC_RESULT result{};
  DWORD count = 0;
  switch (status) {
    case INTERNET_STATUS_REQUEST_SENT:
      if (info && length >= sizeof count) std::memcpy(&count, info, sizeof count);
      g.bytessent += count;
      if (REQUESTCODE.load() == kPutRunning) ProgressStep(count);
      break;
    case INTERNET_STATUS_RESPONSE_RECEIVED:
      if (info && length >= sizeof count) std::memcpy(&count, info, sizeof count);
      g.bytesreceived += count;
      if (REQUESTCODE.load() == kGetRunning) ProgressStep(count);
      break;
    case INTERNET_STATUS_HANDLE_CREATED:
      if (info && length >= sizeof(DWORD_PTR)) std::memcpy(&result, info, sizeof(DWORD_PTR));
      g.ophandle = reinterpret_cast<HINTERNET>(result.dwResult);
      break;
    case INTERNET_STATUS_REQUEST_COMPLETE:
      if (info) std::memcpy(&result, info, length < sizeof result ? length : sizeof result);
      if (result.dwError != 0) {
        ReportRequestFailure(result.dwError);
        return;
      }
      ActOnRequest(result);
      break;
    default: break;
  }
  StatusText(1, text);
}

}  // namespace ftpcl
