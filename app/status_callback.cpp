// Status callback: one notification at a time, under the runtime lock, with the main window as
// the display target of the notification thread (it has no window of its own, so without a
// target its DisplayFields would reach nothing).
//
// Request-complete: a request nobody waits for is ignored; a chain cancelled (Escape) or left
// behind by its connection (the epoch moved on: Disconnect, Close Internet Session, Connect)
// ends as cancelled; otherwise an error ends the chain with its message, and a success takes
// the chain to its next step.
#include "app/status_callback.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "app/certificate_question.h"
#include "app/closed_handles.h"
#include "app/globals.h"
#include "app/local_side.h"
#include "app/progress.h"
#include "app/remote_listing.h"
#include "app/remote_operations.h"
#include "app/remote_tree.h"
#include "app/session.h"
#include "app/stall.h"
#include "app/text.h"
#include "app/transfers.h"
#include "app/ui.h"
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
  return text + ResponseDetail(code);
}

// What the last response adds to the library's text of a failure: the server's refusal in its
// own words ("425 Can't create data socket", "530 Login incorrect."), or the library's account
// of what it refused itself (its code is the error's: it names the port or the address). A
// server that refused TLS is quoted whatever its reply's code. Replies that report progress
// ("150 Opening ...") explain nothing and are left out.
std::string ResponseDetail(DWORD code) {
  DWORD reply_code = 0;
  const std::string reply = ExtendedErrorText(&reply_code);
  if (reply.empty()) return std::string();
  if (reply_code == code) return "||" + reply;
  const bool refusal = reply_code >= 400 && reply_code < 600;
  const bool tls = code == ERROR_FTP_TLS_NOT_OFFERED || code == ERROR_FTP_TLS_DATA_REFUSED;
  return refusal || tls ? "||Server: " + reply : std::string();
}

void ListingErrorReport(const std::string& context, DWORD code) {
  if (code != ERROR_INTERNET_EXTENDED_ERROR) return;
  DWORD x = 0;
  const std::string t = ExtendedErrorText(&x);
  Message(context + " Extd Err: " + std::to_string(x) + " " + t, "INTERNET ERROR");
}

// --- request-complete --------------------------------------------------------------------------

namespace {

void ActOnRequestCompleted(std::int16_t code, const INTERNET_ASYNC_RESULT& result, HINTERNET handle);

// The chain of the request in progress: the session epoch it belongs to, whether the user
// cancelled it, and the connection its requests run on (whose completion it waits for, even
// once the window has closed that connection). Read and written under the runtime lock.
struct Chain {
  std::uint32_t epoch = 0;
  bool cancelled = false;
  HINTERNET connection = nullptr;
};
Chain g_chain;

void ConnectCompleted(HINTERNET connection) {
  TakeConnectionSecurity(connection);  // before the listing closes the connection
  if (ChainCancelled()) return;  // given up (Escape, Disconnect) while the query let the window run
  // The listing runs on a thread of its own; it enters the connected state when it ends
  // (app/remote_listing.cpp), in the order the chain describes.
  StartRemoteListing(ListingKind::kConnect);
}

// The reports of a cancelled transfer go to status zone 2, where a finished one says
// "Finished": zone 1 follows every notification and would lose them at once.
void CleanupEnded(bool removed) {
  REQUESTCODE = kIdle;
  const std::string report = removed ? "Upload cancelled, partial file removed" : "Upload cancelled, partial file kept";
  StatusText(2, report);
  if (g.isconnected) RefreshRemoteDirectory(report);
  vel::wsl::DisplayFields();
}

// A transfer ended by Escape, Disconnect or Close Internet Session: reported as cancelled. An
// upload whose data had begun to reach the server leaves a partial file there; it is removed
// when the session is still open (its own small chain), so no half file stays behind.
void TransferCancelled(std::int16_t code) {
  const bool upload = code == kPutRequested || code == kPutChecking || code == kPutRunning;
  ResetProgress();
  // Escape left "Cancelling ..." in zone 1; after Disconnect or Close it says what they made it.
  if (g_chain.epoch == g_epoch.load()) WindowStatus("");
  StatusText(2, upload ? "Upload cancelled" : "Download cancelled");
  if (upload && UploadReachedServer() && g.sessionhandle) {
    BeginChain();
    REQUESTCODE = kCleanupRequested;
    ConnectServer();
  } else {
    REQUESTCODE = kIdle;
  }
  vel::wsl::DisplayFields();
}

void ChainEndedByCancel(std::int16_t code, const INTERNET_ASYNC_RESULT& result) {
  const bool finished = !result.dwError && (code == kGetRunning || code == kPutRunning);
  if (finished) {
    ActOnRequestCompleted(code, result, nullptr);  // done before the cancel took effect: as it is
    return;
  }
  if (TransferCode(code)) {
    TransferCancelled(code);
    return;
  }
  if (code == kCleanupRequested || code == kCleanupRunning) {
    CleanupEnded(false);
    return;
  }
  REQUESTCODE = kIdle;  // a connect or file operation whose connection went away
}

// A connect refused for a certificate the user can judge: asked (app/certificate_question.h).
// Returns false when the question was not for this failure.
bool SettledByTrustQuestion(HINTERNET handle, std::int16_t code, const INTERNET_ASYNC_RESULT& result) {
  switch (AskAboutCertificate(handle, result.dwError)) {
    case TrustAnswer::kNotAsked: return false;
    case TrustAnswer::kTrusted:
      // The box let the window run: a Disconnect or Close meanwhile ended this chain.
      if (ChainCancelled()) ChainEndedByCancel(code, result);
      else ConnectServer();  // the same request again, on a connect that now goes through
      return true;
    case TrustAnswer::kDeclined:
      EndFailedRequest();
      StatusText(2, "Server certificate not trusted");
      return true;
  }
  return false;
}

// Returns false when the request failed with its message shown (zone 1 then stays).
bool OnRequestComplete(HINTERNET handle, const INTERNET_ASYNC_RESULT& result) {
  const std::int16_t code = REQUESTCODE.load();
  if (code == kIdle || code == kReqNone) return true;  // no request waits for it
  if (ChainCancelled()) {
    ChainEndedByCancel(code, result);
    return true;
  }
  if (code == kPutChecking) {
    PutCheckEnded(result.dwError);
    return true;
  }
  if (code == kRenameChecking) {
    RenameCheckEnded(result.dwError);
    return true;
  }
  if (code == kCleanupRequested && result.dwError) {
    CleanupEnded(false);
    return true;
  }
  if (code == kCleanupRunning) {
    CleanupEnded(result.dwError == 0);
    return true;
  }
  if (result.dwError != 0) {
    if (SettledByTrustQuestion(handle, code, result)) return false;
    FailRequest(result.dwError);
    return false;
  }
  ActOnRequestCompleted(code, result, handle);
  return true;
}

void ActOnRequestCompleted(std::int16_t code, const INTERNET_ASYNC_RESULT& result, HINTERNET handle) {
  switch (code) {
    case kConnect: ConnectCompleted(handle); break;
    case kGetRequested: IssueGet(); break;
    case kPutRequested: IssuePutCheck(); break;
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
    case kRenameRequested: IssueRenameCheck(); break;
    case kCleanupRequested: IssueCleanupDelete(); break;
    case kMkdirRunning:
    case kRmdirRunning:
    case kDeleteRunning:
    case kRenameRunning: CompleteOperation(code, result.dwResult != 0); break;
    default: break;
  }
}

}  // namespace

void ShowRequestError(DWORD error) { ShowRequestErrorText(Clip(ErrorText(error))); }

void ShowRequestErrorText(const std::string& text) {
  SetFixed(g.errortext, text);
  Message(text, "VTFTP Client Error", ExclamationIcon());
}

void FailRequest(DWORD error) {
  ShowRequestError(error);
  EndFailedRequest();
}

void EndFailedRequest() {
  const std::int16_t code = REQUESTCODE.load();
  ServerAnswered();
  // Zone 1 would otherwise keep the last step the request reached ("Resolving name").
  WindowStatus(code == kConnect ? kNotConnected : "Request failed");
  if (TransferCode(code)) ResetProgress();
  REQUESTCODE = kIdle;
  if (code == kConnect) vel::wsl::PostEvent(kRefreshEvent, 0, g.mainthread);  // Disconnect greyed again
}

void BeginChain() { g_chain = Chain{g_epoch.load(), false, nullptr}; }

// Code 2 also marks a folder's first listing; that one runs while connected, and a Disconnect
// during it ends its epoch.
bool ConnectUnderWay() {
  return REQUESTCODE.load() == kConnect && !g.isconnected && g_chain.epoch == g_epoch.load();
}

void AbandonConnect() {
  if (!ConnectUnderWay() || g_listing) return;
  g_chain = Chain{};  // waits for nothing: whatever the closed connection still reports is dropped
  CloseRequestConnection();
  ServerAnswered();
  REQUESTCODE = kIdle;
}

bool ChainCancelled() { return g_chain.cancelled || g_chain.epoch != g_epoch.load(); }

void CancelRunningTransfer() {
  const std::int16_t code = REQUESTCODE.load();
  if (!TransferCode(code)) return;
  g_chain.cancelled = true;
  if (code == kPutChecking && WaitingForOverwriteAnswer()) {
    TransferCancelled(code);  // nothing runs on the connection: the chain ends here
    return;
  }
  WindowStatus("Cancelling ...");
  CloseRequestConnection();  // the request on it completes as cancelled
}

void EndCancelledTransfer() { TransferCancelled(REQUESTCODE.load()); }

namespace {

bool DataNotification(DWORD status) {
  return status == INTERNET_STATUS_SENDING_REQUEST || status == INTERNET_STATUS_REQUEST_SENT ||
         status == INTERNET_STATUS_RECEIVING_RESPONSE || status == INTERNET_STATUS_RESPONSE_RECEIVED;
}

DWORD ByteCount(LPVOID info, DWORD length) {
  DWORD count = 0;
  if (info && length >= sizeof count) std::memcpy(&count, info, sizeof count);
  return count;
}

// A notification of a running transfer's commands and data. Counted here without the lock;
// shown only by a notification that brings bytes, at most every 50 ms (the byte-less
// notification before each one never takes that turn).
void TransferDataNotification(HINTERNET handle, DWORD status, LPVOID info, DWORD length) {
  const DWORD count = ByteCount(info, length);
  NoteTrafficOf(status, info, length);
  if (status == INTERNET_STATUS_REQUEST_SENT) g.bytessent += count;
  if (status == INTERNET_STATUS_RESPONSE_RECEIVED) g.bytesreceived += count;
  if (status == INTERNET_STATUS_REQUEST_SENT || status == INTERNET_STATUS_RESPONSE_RECEIVED)
    TransferNotification(status, count);
  if (status == INTERNET_STATUS_SENDING_REQUEST || status == INTERNET_STATUS_RECEIVING_RESPONSE) return;
  if (!ProgressShowDue()) return;
  RuntimeLockGuard lock;
  if (!MainWindowOpen() || WasClosed(handle)) return;  // closed while this waited for the lock
  vel::wsl::SetTargetWindow(g.mainwindow, 0);
  ShowProgress();
  StatusText(1, StatusTextOf(status));
}

INTERNET_ASYNC_RESULT CompletionOf(LPVOID info, DWORD length) {
  INTERNET_ASYNC_RESULT result{};
  if (info) std::memcpy(&result, info, length < sizeof result ? length : sizeof result);
  return result;
}

// A notification of a handle the window has closed: it changes no status text. The completion
// of the request that ran on it still ends a chain that waits for it (a transfer cancelled by
// Escape, Disconnect or Close Internet Session reports "cancelled"); all else is dropped - the
// steps of a connection given up, and a connect abandoned in the resolver.
void LateNotification(HINTERNET handle, DWORD status, LPVOID info, DWORD length) {
  if (status == INTERNET_STATUS_HANDLE_CLOSING) {
    ForgetClosed(handle);
    return;
  }
  if (status != INTERNET_STATUS_REQUEST_COMPLETE) return;
  RuntimeLockGuard lock;
  const std::int16_t code = REQUESTCODE.load();
  if (!MainWindowOpen() || g_chain.connection != handle || code == kIdle || code == kReqNone) return;
  vel::wsl::SetTargetWindow(g.mainwindow, 0);
  ServerAnswered();
  OnRequestComplete(handle, CompletionOf(info, length));
}

}  // namespace

namespace {
std::atomic<bool> g_notifications_ignored{false};
}  // namespace

void IgnoreNotifications() { g_notifications_ignored = true; }

void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR, DWORD status, LPVOID info, DWORD length) {
  if (g_notifications_ignored.load()) return;
  if (WasClosed(handle)) {
    LateNotification(handle, status, info, length);
    return;
  }
  const std::int16_t running = REQUESTCODE.load();
  if ((running == kGetRunning || running == kPutRunning) && DataNotification(status)) {
    TransferDataNotification(handle, status, info, length);
    return;
  }
  RuntimeLockGuard lock;
  if (!MainWindowOpen()) return;  // the window is gone
  if (WasClosed(handle)) {  // closed while this waited for the lock
    LateNotification(handle, status, info, length);
    return;
  }
  vel::wsl::SetTargetWindow(g.mainwindow, 0);
  const std::string text = StatusTextOf(status);
  NoteTrafficOf(status, info, length);
  INTERNET_ASYNC_RESULT result{};
  switch (status) {
    case INTERNET_STATUS_REQUEST_SENT: g.bytessent += ByteCount(info, length); break;
    case INTERNET_STATUS_RESPONSE_RECEIVED: g.bytesreceived += ByteCount(info, length); break;
    case INTERNET_STATUS_HANDLE_CREATED:
      if (info && length >= sizeof(DWORD_PTR)) std::memcpy(&result, info, sizeof(DWORD_PTR));
      g.ophandle = reinterpret_cast<HINTERNET>(result.dwResult);
      g_chain.connection = g.ophandle;  // an asynchronous connect names its handle only here
      break;
    case INTERNET_STATUS_REQUEST_COMPLETE:
      ServerAnswered();
      if (!OnRequestComplete(handle, CompletionOf(info, length))) return;  // zone 1 as it was
      break;
    default: break;
  }
  StatusText(1, text);
}

}  // namespace ftpcl
