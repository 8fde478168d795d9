// The main window's procedure. Handlers run on the window's thread under the runtime lock
// (the ACCEPT loop gives it up only while it waits for messages); calls into the FTP library
// give it up for their duration (ui.h, Net).
//
// Window states: no session (INSESSION 0) -> Start -> session (1, ISCONNECTED 0) -> Connect ->
// connecting (REQUESTCODE 2) -> completed connect (callback, then event 400h) -> connected
// (1, 1); Disconnect returns to the session from connecting and connected, Escape from
// connecting, Close Internet Session to no session. Busy is a request of the request machine
// (app/request_machine.h; REQUESTCODE other than 1), a listing included.
// Connect, Disconnect and Close Internet Session each begin a new epoch: a request or listing
// of the connection before ends at once, and nothing it brings later is shown.
#include "app/main_window.h"

#include <windows.h>

#include <cstring>

#include "app/certificate_question.h"
#include "app/error_texts.h"
#include "app/globals.h"
#include "app/keys.h"
#include "app/local_side.h"
#include "app/names.h"
#include "app/progress.h"
#include "app/remote_listing.h"
#include "app/remote_operations.h"
#include "app/remote_tree.h"
#include "app/requests.h"
#include "app/session.h"
#include "app/stall.h"
#include "app/status_callback.h"
#include "app/tags.h"
#include "app/text.h"
#include "app/transfers.h"
#include "app/ui.h"
#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/properties.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/runtime_lock.h"
#include "runtime/wsl/window.h"

namespace ftpcl {

namespace wsl = vel::wsl;

namespace {

constexpr int kAlertRightButton = 2;
constexpr int kAlertDoubleClick = 5;

bool g_opened_or_focused = false;

// After Disconnect and Close Internet Session nothing on the window speaks of the connection
// that ended: no folder above the emptied tree, no step or report of its requests - but a
// transfer they cancelled, whose "... cancelled" in zone 2 stays true (`cancelled`).
void ShowNoConnection(const std::string& step, bool cancelled = false) {
  Set(g.currentftpdir, "");
  WindowStatus(step);
  if (!cancelled) StatusText(2, "");
}

void Redisplay() {
  if (wsl::PropertyGet(g.mainwindow, 0, wsl::kPropAcceptAll) != "1") wsl::DisplayFields();
}

// The remote tree's icons: 1 open folder, 2 closed folder, 3 file, 4 server.
void SetRemoteIcons() {
  static const char* const kIcons[] = {"~openfold.ico", "~clsdfold.ico", "~files10.ico", "~entirnet.ico"};
  for (int i = 0; i < 4; ++i) wsl::PropertySet(g.mainwindow, kList1, wsl::kPropIconList, i + 1, kIcons[i]);
}

void WindowOpened() {
  SetRemoteIcons();
  SetUpTagging();
  if (!g_opened_or_focused) Redisplay();
  g_opened_or_focused = true;
  wsl::SelectField(kUsePreconfig);
  g.mainthread = wsl::ThreadNumber();
  wsl::PostEvent(wsl::kEvAccepted, kDwType);
  ShowDrivePicture();
  ListStartupFiles();
  wsl::DisplayFields();
  g.insession = 0;
  RefreshControlStates();
}

void StartSession() {
  TakeSessionProfile();
  g.sessionhandle = OpenSession(INTERNET_FLAG_ASYNC);
  if (!g.sessionhandle) {
    const DWORD error = GetLastError();
    const std::string text = ErrorText(error);
    SetFixed(g.errortext, text);
    Message(Clip(text));
  }
  g.connecthandle = nullptr;
  HINTERNET session = g.sessionhandle;
  if (session) {
    Net([session] {
      DWORD on = 1;  // the file's bytes as they move (app/progress.h)
      InternetSetOptionA(session, INTERNET_OPTION_FTP_DATA_PROGRESS, &on, sizeof on);
      return InternetSetStatusCallback(session, StatusCallback);
    });
  }
  g.insession = 1;
  RefreshControlStates();
  g.dwtype = 2;
  wsl::PostEvent(wsl::kEvSelected, kDwTypeRadio1);
  wsl::SelectField(kServerName);
  wsl::DisplayFields(kDwType);
}

// The connection in use is given up (`how`: Disconnect or Close): the request machine ends its
// epoch and the request in force at once - a connect is abandoned, a listing left to end by
// itself, a transfer reported cancelled - and drops whatever the connection still reports.
// Returns true when it ended a transfer as cancelled.
bool LeaveConnection(Event how) {
  const bool cancelled = Requests().Handle(how) == Action::kReportTransferCancelled;
  ForgetConnectionSecurity();
  return cancelled;
}

void CloseSession() {
  const bool busy = RequestRunning();
  const bool cancelled = LeaveConnection(Event::kClose);
  CloseRequestConnection();
  CloseInternetHandle(&g.sessionhandle);
  EndServerSession();
  if (g.isconnected || busy) vel::QueueFree(&DLS);  // no tree of a connection that is gone
  g.isconnected = 0;
  g.insession = 0;
  ShowNoConnection("", cancelled);
  ShowConnectionSecurity();
  RefreshControlStates();
  wsl::DisplayFields();
}

void Connect() {
  wsl::RefreshFields();
  if (g.isconnected || !g.sessionhandle) return;
  if (RequestRunning()) {  // a second click while the first connect runs
    Message(kBusyText, "FTP Client");
    return;
  }
  if (CText(g.servername).empty()) {
    Message("Please enter a server name!");
    return;
  }
  g.connectflags = g.chkpassive ? INTERNET_FLAG_PASSIVE : 0;
  TakeServerProfile();
  ForgetConnectionSecurity();
  ShowConnectionSecurity();
  StatusText(2, "");  // a report of the connection before is no longer true
  WindowStatus("Connecting to " + CText(g.servername));
  wsl::DisplayFields();
  // Not connected: what DLS still holds is the root of a connect that failed (perhaps to
  // another server); the tree starts again from one root row.
  vel::QueueFree(&FFLS);
  CreateRoot(CText(g.servername));
  Set(g.currentftpdir, "/");
  Set(g.remotedir, CText(g.servername));
  StartChain(Kind::kConnect);  // a new epoch: nothing of the connection before is shown
  WindowStatus("Done");
  RefreshControlStates();  // Disconnect can end the connect from now on
  wsl::DisplayFields();
}

// Escape abandoned the connect and login: the window as after a failed connect, free at once.
void ConnectCancelled() {
  Requests().LeaveConnection();
  ForgetConnectionSecurity();
  ShowNoConnection(kNotConnected);
  RefreshControlStates();
  wsl::DisplayFields();
}

void Disconnect() {
  // The connection of the last request (CONNECTHANDLE, and OPHANDLE from its handle-created
  // notification) is closed first: the request on it ends at once as cancelled, and the
  // removal of a cancelled upload's partial file that may follow runs on a connection and a
  // login of its own.
  CloseRequestConnection();
  EndServerSession();
  vel::QueueFree(&FFLS);
  vel::QueueFree(&DLS);
  g.isconnected = 0;
  g.insession = 1;
  const bool cancelled = LeaveConnection(Event::kDisconnect);
  ShowNoConnection(kNotConnected, cancelled);
  ShowConnectionSecurity();
  RefreshControlStates();
  wsl::DisplayFields();
}

void FieldEvent(int event, int field) {
  const bool accepted = event == wsl::kEvAccepted;
  switch (field) {
    case kStart: if (accepted) StartSession(); break;
    case kClose: if (accepted) CloseSession(); break;
    case kConnectButton: if (accepted) Connect(); break;
    case kDisconnect: if (accepted) Disconnect(); break;
    case kGetButton: if (accepted) GetPressed(); break;
    case kPutButton: if (accepted) PutPressed(); break;
    case kClearRemote: if (accepted) ClearRemoteTags(); break;
    case kClearLocal: if (accepted) ClearLocalTags(); break;
    case kList1:
      // A row tagged or untagged posts NewSelection as well, for the same selected row.
      if (event == wsl::kEvNewSelection && Idle()) RemoteNewSelection();
      if (event == wsl::kEvAlertKey && wsl::LastKeyCode() == kAlertDoubleClick) RemoteDoubleClick();
      if (event == wsl::kEvAlertKey && wsl::LastKeyCode() == kAlertRightButton) RemoteMenu();
      break;
    case kListDirs: if (event == wsl::kEvAlertKey) DirectoryDoubleClick(); break;
    case kPrevDirButton: if (accepted) PreviousLevel(); break;
    case kListDrives: if (accepted) DriveAccepted(); break;
    case kCloseButton: if (accepted) wsl::PostEvent(wsl::kEvCloseWindow); break;
    default: break;
  }
}

// Escape: the running transfer, folder listing or connect stops.
void CancelPressed() {
  if (Requests().Handle(Event::kEscape) == Action::kAbandonConnect) ConnectCancelled();
}

void TimerTick() {
  ShowPendingProgress();
  ShowStall();
}

// F5: the selected remote folder (when connected and idle) and the local folder again.
void RefreshView() {
  RefreshLocalView();
  if (!g.isconnected) return;
  if (!Idle()) {
    MessageBeep(0);
    return;
  }
  RefreshRemoteDirectory();
}

void Dispatch() {
  const int event = wsl::EventCode();
  switch (event) {
    case kRefreshEvent: RefreshControlStates(); return;
    case kCancelEvent: CancelPressed(); return;
    case kRefreshViewEvent: RefreshView(); return;
    case kAskOverwriteEvent:
      if (Requests().Current().kind == Kind::kRename) AskRenameOverwrite();
      else AskPutOverwrite();
      return;
    case kConnectEvent: Connect(); return;
    case wsl::kEvTimer: TimerTick(); return;
    case wsl::kEvOpenWindow: WindowOpened(); return;
    case wsl::kEvGainFocus:
    case wsl::kEvSized: g_opened_or_focused = true; Redisplay(); return;
    case wsl::kEvRejected:
      MessageBeep(0);
      wsl::DisplayFields();
      wsl::SelectField(wsl::EventField());
      return;
    default: break;
  }
  if (const int field = wsl::EventField()) FieldEvent(event, field);
}

// Every event may have tagged rows (the lists) or changed the queues (clearing, listings,
// a put): the counts follow; they are counted again only when a queue changed.
void DispatchAndCount() {
  Dispatch();
  ShowTagCounts();
}

}  // namespace

void RefreshControlStates() {
  const bool s = g.insession != 0, c = g.isconnected != 0;
  Disable(kServerName, !s);
  Disable(kUserName, !s);
  Disable(kPassword, !s);
  Disable(kConnectButton, !(s && !c));
  // Beyond the described table: Disconnect also ends a connect under way.
  Disable(kDisconnect, !(s && (c || ConnectUnderWay())));
  Disable(kChkPassive, !s);
  Disable(kClose, !s);
  Disable(kStart, s);
  Disable(kProxy, s);
  Disable(kDwType, !s);
  Disable(kGetButton, !(s && c));
  Disable(kPutButton, !(s && c));
}

void MainProcedure() {
  // Address list of the variable-bound controls in field order; lists get their queues.
  void* const variables[] = {&g.useproxyconfig, g.proxy,       g.servername, g.username, g.password,
                             &g.chkpassive,     g.currentftpdir, &g.dwtype,   &g.percentcomplete,
                             &DLS,              g.retval,      &DIRS,        &ALLF,      &DRIVES,
                             nullptr};
  SetFixed(g.errortext, "");
  wsl::Window* window = nullptr;
  wsl::WindowOpen(&window, kModuleId, "P33$WINDOW", variables);
  if (!window) return;
  g.mainwindow = window;
  LoadDrivesAndStartDirectory();
  InstallMainWindowKeys(window->hwnd);
  while (wsl::Accept()) DispatchAndCount();
  RemoveMainWindowKeys();
  LeaveConnection(Event::kClose);
  IgnoreNotifications();
  WaitForListingEnd(5000);
  g.mainwindow = nullptr;
  HINTERNET session = g.sessionhandle;
  g.sessionhandle = nullptr;
  // Closed with the runtime lock kept: a library thread still inside a callback (an error box
  // answered just before Close, unwinding) must not take the lock now and work on a window
  // that is being torn down; the close waits a bounded time for such a thread and the
  // process ends without it.
  if (session) {
    InternetSetStatusCallback(session, nullptr);
    InternetCloseHandle(session);
  }
  wsl::WindowClose(&window);
  DestroyQueues();
}

}  // namespace ftpcl
