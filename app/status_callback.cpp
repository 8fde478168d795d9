// Status callback: one notification at a time, under the runtime lock, with the main window as
// the display target of the notification thread (it has no window of its own, so without a
// target its DisplayFields would reach nothing). A request-complete goes to the request
// machine, which decides what it means for the request in force (app/request_machine.h).
#include "app/status_callback.h"

#include <atomic>
#include <cstring>

#include "app/closed_handles.h"
#include "app/globals.h"
#include "app/progress.h"
#include "app/requests.h"
#include "app/stall.h"
#include "app/ui.h"
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

namespace {

std::atomic<bool> g_notifications_ignored{false};

// BYTESSENT and BYTESRECEIVED are written only under the runtime lock: the data path, which
// runs without it, adds what it sees here, and whoever next holds the lock in the callback
// moves it into the described variables (the request's completion always does, so they are
// true when it ends).
std::atomic<std::uint32_t> g_unfolded_sent{0}, g_unfolded_received{0};

void FoldByteCounters() {
  g.bytessent += g_unfolded_sent.exchange(0);
  g.bytesreceived += g_unfolded_received.exchange(0);
}

bool DataNotification(DWORD status) {
  return status == INTERNET_STATUS_SENDING_REQUEST || status == INTERNET_STATUS_REQUEST_SENT ||
         status == INTERNET_STATUS_RECEIVING_RESPONSE || status == INTERNET_STATUS_RESPONSE_RECEIVED ||
         status == INTERNET_STATUS_FTP_DATA_PROGRESS;
}

DWORD ByteCount(LPVOID info, DWORD length) {
  DWORD count = 0;
  if (info && length >= sizeof count) std::memcpy(&count, info, sizeof count);
  return count;
}

bool TransferRunning() {
  const std::int16_t running = REQUESTCODE.load();
  return running == kGetRunning || running == kPutRunning;
}

// A notification of a running transfer's commands and data, without the lock: 31 and 41 add
// to the byte counters; the library's count of the file's bytes is the transfer's progress,
// shown at most every 50 ms with the step of the data's direction in zone 1 (the timer shows
// a count this rule held back, the transfer's end the last one).
void TransferDataNotification(HINTERNET handle, DWORD status, LPVOID info, DWORD length) {
  NoteTrafficOf(status, info, length);
  if (status == INTERNET_STATUS_REQUEST_SENT) g_unfolded_sent += ByteCount(info, length);
  if (status == INTERNET_STATUS_RESPONSE_RECEIVED) g_unfolded_received += ByteCount(info, length);
  if (status != INTERNET_STATUS_FTP_DATA_PROGRESS) return;
  FTP_DATA_PROGRESS moved{};
  if (!info || length < sizeof moved) return;
  std::memcpy(&moved, info, sizeof moved);
  FileBytesMoved(moved.ullFileBytes);
  if (!ProgressShowDue()) return;
  RuntimeLockGuard lock;
  FoldByteCounters();
  if (!MainWindowOpen() || WasClosed(handle)) return;  // closed while this waited for the lock
  vel::wsl::SetTargetWindow(g.mainwindow, 0);
  ShowProgress();
  const bool upload = REQUESTCODE.load() == kPutRunning;
  StatusText(1, StatusTextOf(upload ? INTERNET_STATUS_REQUEST_SENT : INTERNET_STATUS_RESPONSE_RECEIVED));
}

INTERNET_ASYNC_RESULT CompletionOf(LPVOID info, DWORD length) {
  INTERNET_ASYNC_RESULT result{};
  if (info) std::memcpy(&result, info, length < sizeof result ? length : sizeof result);
  return result;
}

// A notification of a handle the window has closed: it changes no status text. The completion
// of the request that ran on it still goes to the machine when the request waits for that
// connection (a transfer cancelled by Escape, Disconnect or Close Internet Session reports
// "cancelled"); all else is dropped - the steps of a connection given up, and a connect
// abandoned in the resolver.
void LateNotification(HINTERNET handle, DWORD status, LPVOID info, DWORD length) {
  if (status == INTERNET_STATUS_HANDLE_CLOSING) {
    ForgetClosed(handle);
    return;
  }
  if (status != INTERNET_STATUS_REQUEST_COMPLETE) return;
  RuntimeLockGuard lock;
  if (!MainWindowOpen() || Requests().Idle() || Requests().Current().connection != handle) return;
  vel::wsl::SetTargetWindow(g.mainwindow, 0);
  ServerAnswered();
  RequestCompleted(handle, CompletionOf(info, length));
}

void NoteHandleCreated(LPVOID info, DWORD length) {
  DWORD_PTR created = 0;
  if (info && length >= sizeof created) std::memcpy(&created, info, sizeof created);
  g.ophandle = reinterpret_cast<HINTERNET>(created);
  Requests().NoteConnection(g.ophandle);  // an asynchronous connect names its handle only here
}

}  // namespace

void IgnoreNotifications() { g_notifications_ignored = true; }

void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR, DWORD status, LPVOID info, DWORD length) {
  if (g_notifications_ignored.load()) return;
  if (WasClosed(handle)) {
    LateNotification(handle, status, info, length);
    return;
  }
  if (TransferRunning() && DataNotification(status)) {
    TransferDataNotification(handle, status, info, length);
    return;
  }
  if (status == INTERNET_STATUS_FTP_DATA_PROGRESS) return;  // of no transfer that runs
  RuntimeLockGuard lock;
  FoldByteCounters();
  if (!MainWindowOpen()) return;  // the window is gone
  if (WasClosed(handle)) {  // closed while this waited for the lock
    LateNotification(handle, status, info, length);
    return;
  }
  vel::wsl::SetTargetWindow(g.mainwindow, 0);
  NoteTrafficOf(status, info, length);
  switch (status) {
    case INTERNET_STATUS_REQUEST_SENT: g.bytessent += ByteCount(info, length); break;
    case INTERNET_STATUS_RESPONSE_RECEIVED: g.bytesreceived += ByteCount(info, length); break;
    case INTERNET_STATUS_HANDLE_CREATED: NoteHandleCreated(info, length); break;
    case INTERNET_STATUS_REQUEST_COMPLETE:
      ServerAnswered();
      if (!RequestCompleted(handle, CompletionOf(info, length))) return;  // zone 1 as it was
      break;
    default: break;
  }
  StatusText(1, StatusTextOf(status));
}

}  // namespace ftpcl
