// Get, Put and the remote file operations. Each handler stores its operands in the globals,
// sets the requested-code and connects; the status callback issues the operation on the new
// connection (OPHANDLE) and, on its completion, reports and refreshes.
//
// Operands (Get / Put / Rename / others): PUB_STRFILENAME remote source / - / new path / path;
// OLDNAME - / - / old path; XFERNAME file name / remote target; XFERLOCALDIR local directory /
// local source; XFERLOCALFILE local target.
#include "app/transfers.h"

#include <cstring>
#include <string>

#include "app/globals.h"
#include "app/local_side.h"
#include "app/main_window.h"
#include "app/remote_tree.h"
#include "app/session.h"
#include "app/text.h"
#include "app/ui.h"
#include "runtime/core/errors.h"
#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/popup_menu.h"
#include "runtime/wsl/properties.h"
#include "runtime/wsl/window.h"

namespace ftpcl {

namespace wsl = vel::wsl;

namespace {

constexpr std::int32_t kDirectory = 0x10;
constexpr int kPropSelected = 0x7C8F;
constexpr int kPropMouseDownRow = 0x7C20;
constexpr int kPropAcceptAll = 0x7C9A;
constexpr const char* kBusy = "Cannot process request now";

bool Fetch(vel::QueueBlock* q, std::int32_t row) {
  vel::QueueGetAt(q, row);
  return row > 0 && vel::ErrorCode() == 0;
}

// Remote path of a name in the current remote directory.
std::string RemotePathOf(const std::string& name) {
  const std::string dir = Clipped(g.currentftpdir);
  return dir == "/" ? "/" + name : dir + "/" + name;
}

// The dialogs' shared handling of window events (as the main window's).
void DialogWindowEvent(wsl::Window* w, int field_of_entry) {
  switch (wsl::EventCode()) {
    case wsl::kEvOpenWindow:
    case wsl::kEvGainFocus:
      if (wsl::PropertyGet(w, 0, kPropAcceptAll) != "1") wsl::DisplayFields();
      if (wsl::EventCode() == wsl::kEvOpenWindow) wsl::SelectField(field_of_entry);
      break;
    case wsl::kEvRejected:
      MessageBeep(0);
      wsl::DisplayFields();
      wsl::SelectField(wsl::EventField());
      break;
    default: break;
  }
}

// Runs a dialog (Rename File or Create Directory) over the main window; `accepted` is called
// when its OK button is pressed with the entry moved into PUB_STRFILENAME.
void RunDialog(const char* label, void* shown_variable, void (*accepted)()) {
  std::memset(g.pub_strfilename, 0, sizeof g.pub_strfilename);
  void* const variables[] = {shown_variable, g.pub_strfilename, nullptr};
  wsl::Window* w = nullptr;
  wsl::WindowOpen(&w, kModuleId, label, variables);
  if (!w) return;
  while (wsl::Accept()) {
    DialogWindowEvent(w, kDlgEntry);
    if (wsl::EventCode() != wsl::kEvAccepted) continue;
    if (wsl::EventField() == kDlgOk) {
      wsl::RefreshFields();  // the entry's text, even when it never lost the focus
      if (!Clipped(g.pub_strfilename).empty()) accepted();
      wsl::PostEvent(wsl::kEvCloseWindow);
    } else if (wsl::EventField() == kDlgCancel) {
      wsl::PostEvent(wsl::kEvCloseWindow);
    }
  }
  wsl::WindowClose(&w);
}

void RenameAccepted() {
  Set(g.pub_strfilename, RemotePathOf(Clipped(g.pub_strfilename)));
  Set(g.oldname, RemotePathOf(Clipped(Dls().name)));
  REQUESTCODE = kRenameRequested;
  ConnectServer();
}

void CreateAccepted() {
  Set(g.pub_strfilename, RemotePathOf(Clipped(g.pub_strfilename)));
  REQUESTCODE = kMkdirRequested;
  ConnectServer();
}

bool Confirm(const std::string& question, const std::string& what) {
  return Message(question + CText(g.pub_strfilename) + what, "FTP Client", QuestionIcon(),
                 std::to_string(kButtonsYesNo), kButtonNo) == kButtonYes;
}

void ConfirmDelete() {
  Set(g.pub_strfilename, RemotePathOf(Clipped(Dls().name)));
  if (!Confirm("Do you want to delete: |", " file.")) return;
  REQUESTCODE = kDeleteRequested;
  ConnectServer();
}

void ConfirmRemoveDirectory() {
  Set(g.pub_strfilename, RowPath());
  if (!Confirm("Do you want to remove: |", " directory.")) return;
  REQUESTCODE = kRmdirRequested;
  ConnectServer();
}

// CURRENTFTPDIR becomes the parent of PUB_STRFILENAME.
void GoToParentOfOperand() {
  std::string text = CText(g.pub_strfilename);
  const std::size_t slash = text.rfind('/');
  text = slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
  if (text == "/") {
    Set(g.currentftpdir, "/");
    return;
  }
  if (!text.empty()) text.pop_back();
  Set(g.currentftpdir, Clip(text));
}

}  // namespace

void GetPressed() {
  if (!g.isconnected) {
    Message("Not in session.");
    return;
  }
  if (!Idle()) {
    Message(kBusy, "FTP Client");
    return;
  }
  if (!Fetch(&DLS, wsl::FieldChoice(kList1)) || Dls().attribute == kDirectory) {
    Message("Cannot \"GET\" Directory.");
    return;
  }
  const std::string name = Clipped(Dls().name);
  if (!PlainName(name)) return;  // never a path outside the local directory
  Set(g.xfername, CText(Dls().name));
  const std::string retval = CText(g.retval);
  Set(g.xferlocaldir, retval.substr(0, retval.empty() ? 0 : retval.size() - 1));
  Set(g.xferlocalfile, Clipped(g.xferlocaldir) + "/" + Clipped(g.xfername));
  Set(g.pub_strfilename, RowPath());
  g.xfersize = Dls().size;
  WindowStatus("Getting file: " + CText(g.xfername));
  REQUESTCODE = kGetRequested;
  ConnectServer();
  wsl::DisplayFields();
}

void PutPressed() {
  if (!g.isconnected) return;
  if (!Idle()) {
    Message(kBusy, "FTP Client");
    return;
  }
  g.listrow = wsl::FieldChoice(kList1);
  Fetch(&DLS, g.listrow);
  const std::int32_t local_row = wsl::FieldChoice(kList4);
  if (!Fetch(&ALLF, local_row)) std::memset(Allf().name, ' ', sizeof Allf().name);  // no row chosen
  if (Clipped(g.currentftpdir).empty()) {
    Message("Please select a remote directory to PUT to!");
    return;
  }
  const std::string name = Clip(FText(Allf().name));
  if (name.empty()) {
    Message("Please select a local file to put");
    return;
  }
  Set(g.xfername, name);
  Set(g.xferlocaldir, Clipped(g.retval) + name);
  g.xfersize = Allf().size;
  if (Clipped(g.currentftpdir) != "/") Set(g.xfername, Clipped(g.currentftpdir) + "/" + name);
  REQUESTCODE = kPutRequested;
  ConnectServer();
  Allf().markfield = 0;
  vel::QueuePut(&ALLF);
  WindowStatus("Putting file: " + CText(g.xfername));
  wsl::DisplayFields();
}

void RemoteMenu() {
  if (!Idle()) return;
  g.listrow = std::atoi(wsl::PropertyGet(g.mainwindow, kList1, kPropMouseDownRow).c_str());
  if (!Fetch(&DLS, g.listrow)) return;
  wsl::PropertySet(g.mainwindow, kList1, kPropSelected, std::to_string(g.listrow));
  std::memset(g.pub_strfilename, 0, sizeof g.pub_strfilename);
  RemoteNewSelection();
  Fetch(&DLS, g.listrow);
  const bool directory = Dls().attribute == kDirectory;
  const std::string name = Clipped(Dls().name);
  std::string menu = directory ? "~Rename|Delete " + name + "|Create Dir"
                               : "Rename " + name + "|Delete " + name + "|Create Dir";
  if (menu.size() > 60) menu.resize(60);
  wsl::DisplayFields();
  switch (wsl::Popup(menu, wsl::kMousePosition, wsl::kMousePosition)) {
    case 1: RunDialog("P27$WINDOW", Dls().name, RenameAccepted); break;
    case 2: directory ? ConfirmRemoveDirectory() : ConfirmDelete(); break;
    case 3: RunDialog("P21$WINDOW", g.currentftpdir, CreateAccepted); break;
    default: break;
  }
}

void ClearRemoteTags() {
  const std::uint32_t n = vel::QueueRecords(&DLS);
  for (std::uint32_t i = 1; i <= n; ++i) {
    vel::QueueGetAt(&DLS, static_cast<std::int32_t>(i));
    vel::QueuePut(&DLS);
  }
}

void IssueGet() {
  HINTERNET h = g.ophandle;
  const std::string remote = CText(g.pub_strfilename), local = CText(g.xferlocalfile);
  const DWORD type = static_cast<DWORD>(g.dwtype);
  Net([&] { return FtpGetFileA(h, remote.c_str(), local.c_str(), FALSE, FILE_ATTRIBUTE_NORMAL, type, 1); });
  REQUESTCODE = kGetRunning;
}

void IssuePut() {
  HINTERNET h = g.ophandle;
  const std::string local = CText(g.xferlocaldir), remote = CText(g.xfername);
  const DWORD type = static_cast<DWORD>(g.dwtype);
  Net([&] { return FtpPutFileA(h, local.c_str(), remote.c_str(), type, 1); });
  REQUESTCODE = kPutRunning;
}

void IssueCreateDirectory() {
  HINTERNET h = g.ophandle;
  const std::string path = CText(g.pub_strfilename);
  Net([&] { return FtpCreateDirectoryA(h, path.c_str()); });
  REQUESTCODE = kMkdirRunning;
}

void IssueRemoveDirectory() {
  HINTERNET h = g.ophandle;
  const std::string path = CText(g.pub_strfilename);
  Net([&] { return FtpRemoveDirectoryA(h, path.c_str()); });
  REQUESTCODE = kRmdirRunning;
}

void IssueDelete() {
  HINTERNET h = g.ophandle;
  const std::string path = CText(g.pub_strfilename);
  Net([&] { return FtpDeleteFileA(h, path.c_str()); });
  REQUESTCODE = kDeleteRunning;
}

void IssueRename() {
  HINTERNET h = g.ophandle;
  const std::string from = CText(g.oldname), to = CText(g.pub_strfilename);
  Net([&] { return FtpRenameFileA(h, from.c_str(), to.c_str()); });
  REQUESTCODE = kRenameRunning;
}

void CompleteOperation(int code, bool succeeded) {
  if (succeeded) {
    switch (code) {
      case kMkdirRunning: Message("New directory was created!", "VT FTP Client"); break;
      case kRmdirRunning: Message("Directory was removed!", "FTP Client"); break;
      case kDeleteRunning: Message("File was deleted!", "FTP Client"); break;
      case kRenameRunning: Message("File was renamed!", "FTP Client"); break;
      default: break;
    }
  }
  REQUESTCODE = kIdle;
  if (code == kRmdirRunning) GoToParentOfOperand();
  RefreshRemoteDirectory();
  std::memset(g.pub_strfilename, 0, sizeof g.pub_strfilename);
}

}  // namespace ftpcl
