// Rename, delete, remove and create on the server. The menu works on the row that was
// right-clicked: its name and path are taken when the menu opens and used as they are (no
// blanks removed, nothing cut), so the operation reaches that entry and no other.
#include "app/remote_operations.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/names.h"
#include "app/overwrite_check.h"
#include "app/remote_tree.h"
#include "app/requests.h"
#include "app/session.h"
#include "app/text.h"
#include "app/ui.h"
#include "runtime/core/errors.h"
#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/popup_menu.h"
#include "runtime/wsl/properties.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/window.h"

namespace ftpcl {

namespace wsl = vel::wsl;

namespace {

using vel::wsl::kPropAcceptAll;
using vel::wsl::kPropMouseDownRow;
using vel::wsl::kPropSelected;
constexpr std::size_t kMenuNameLength = 40;  // longer names are shortened in the menu's labels

// The row the menu was opened on.
struct MenuRow {
  std::string name;  // DLS:NAME as listed
  std::string path;  // its remote path ("" for the server's root row)
  bool directory = false;
  bool root = false;
};
MenuRow g_row;

// The rename's look at its new name: the library writes it on its own thread before the
// completion; the question it may bring is pending while g_asking.
DWORD g_presence = FTP_PRESENCE_UNKNOWN;

// PUB_STRFILENAME = `path`, or false (with a message) when the library could not take it.
bool SetOperand(const std::string& path) {
  if (path.empty()) return false;
  if (path.size() > kMaxPath) {
    Message("The name or path is too long: |" + ShortenedName(path, 120));
    return false;
  }
  Set(g.pub_strfilename, path);
  return true;
}

// The dialogs do not test the request code while they are open; the request starts only if
// nothing else runs now (a listing may have begun meanwhile).
void Start(Kind kind) {
  if (RequestRunning() || !StartChain(kind)) Message(kBusyText, "FTP Client");
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
  const std::string to = RemotePathOf(Clipped(g.pub_strfilename)), from = RemotePathOf(g_row.name);
  if (from.size() > kMaxPath || !SetOperand(to)) return;
  Set(g.oldname, from);
  Start(Kind::kRename);
}

void CreateAccepted() {
  if (!SetOperand(RemotePathOf(Clipped(g.pub_strfilename)))) return;
  Start(Kind::kMkdir);
}

bool Confirm(const std::string& question, const std::string& what) {
  return Message(question + CText(g.pub_strfilename) + what, "FTP Client", QuestionIcon(),
                 std::to_string(kButtonsYesNo), kButtonNo) == kButtonYes;
}

void ConfirmDelete() {
  if (!SetOperand(RemotePathOf(g_row.name))) return;
  if (!Confirm("Do you want to delete: |", " file.")) return;
  Start(Kind::kDelete);
}

void ConfirmRemoveDirectory() {
  if (g_row.root || !SetOperand(g_row.path)) return;  // the server itself is no folder to remove
  if (!Confirm("Do you want to remove: |", " directory.")) return;
  Start(Kind::kRmdir);
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

wsl::PopupItem MenuItem(const std::string& text, int number, bool greyed) {
  wsl::PopupItem item;
  item.text = text;
  item.number = number;
  item.greyed = greyed;
  return item;
}

// Rename (greyed for a directory), Delete (greyed for the server's root row), Create Dir.
// Items are made directly, so a name with "|", "{", "}" or "&" shows as it is, and a long one
// is shortened in its label instead of pushing the last items off the menu.
int ShowMenu() {
  const std::string label = MenuText(ShortenedName(g_row.name, kMenuNameLength));
  std::vector<wsl::PopupItem> items;
  items.push_back(MenuItem(g_row.directory ? "Rename" : "Rename " + label, 1, g_row.directory));
  items.push_back(MenuItem("Delete " + label, 2, g_row.root));
  items.push_back(MenuItem("Create Dir", 3, false));
  return wsl::PopupItems(items, wsl::kMousePosition, wsl::kMousePosition);
}

DWORD Issue(BOOL(WINAPI* call)(HINTERNET, LPCSTR)) {
  HINTERNET h = g.ophandle;
  const std::string path = ServerPathOf(CText(g.pub_strfilename));
  return IssueRequest([&] { return call(h, path.c_str()); });
}

}  // namespace

void RemoteMenu() {
  if (!Idle()) return;
  g.listrow = std::atoi(wsl::PropertyGet(g.mainwindow, kList1, kPropMouseDownRow).c_str());
  vel::QueueGetAt(&DLS, g.listrow);
  if (g.listrow <= 0 || vel::ErrorCode() != 0) return;
  wsl::PropertySet(g.mainwindow, kList1, kPropSelected, std::to_string(g.listrow));
  std::memset(g.pub_strfilename, 0, sizeof g.pub_strfilename);
  RemoteNewSelection();
  vel::QueueGetAt(&DLS, g.listrow);
  g_row.name = CText(Dls().name);
  g_row.path = RowPath();
  g_row.directory = Dls().attribute == kDirectory;
  g_row.root = g_row.path.empty();
  wsl::DisplayFields();
  switch (ShowMenu()) {
    case 1: RunDialog("P27$WINDOW", Dls().name, RenameAccepted); break;
    case 2: g_row.directory ? ConfirmRemoveDirectory() : ConfirmDelete(); break;
    case 3: RunDialog("P21$WINDOW", g.currentftpdir, CreateAccepted); break;
    default: break;
  }
}

DWORD IssueCreateDirectory() { return Issue(FtpCreateDirectoryA); }
DWORD IssueRemoveDirectory() { return Issue(FtpRemoveDirectoryA); }
DWORD IssueDelete() { return Issue(FtpDeleteFileA); }

DWORD IssueRenameCheck() {
  HINTERNET h = g.ophandle;
  const std::string to = ServerPathOf(CText(g.pub_strfilename));
  g_presence = FTP_PRESENCE_UNKNOWN;
  return IssueRequest([&] { return FtpGetEntryPresenceA(h, to.c_str(), &g_presence, 1); });
}

Target RenameTarget(DWORD error) { return TargetFound(error, g_presence); }

void RefuseRenameOntoFolder() {
  Message("Cannot rename to " + ShortenedName(CText(g.pub_strfilename), 80) + ": |a folder has that name.");
}

// The window's turn: "Yes" renames as asked (the server replaces the file, the client deletes
// nothing itself); "No", or a Disconnect while the box was up, ends the chain.
void AskRenameOverwrite() {
  const Request& r = Requests().Current();
  if (r.kind != Kind::kRename || r.phase != Phase::kAsking) return;
  const std::uint64_t serial = r.serial;
  const bool yes = !ChainCancelled() && AskOverwrite(CText(g.pub_strfilename));
  OverwriteAnswered(serial, yes);
}

DWORD IssueRename() {
  HINTERNET h = g.ophandle;
  const std::string from = ServerPathOf(CText(g.oldname)), to = ServerPathOf(CText(g.pub_strfilename));
  return IssueRequest([&] { return FtpRenameFileA(h, from.c_str(), to.c_str()); });
}

void CompleteOperation(Kind kind, bool succeeded) {
  if (succeeded) {
    switch (kind) {
      case Kind::kMkdir: Message("New directory was created!", "VT FTP Client"); break;
      case Kind::kRmdir: Message("Directory was removed!", "FTP Client"); break;
      case Kind::kDelete: Message("File was deleted!", "FTP Client"); break;
      case Kind::kRename: Message("File was renamed!", "FTP Client"); break;
      default: break;
    }
  }
  if (kind == Kind::kRmdir) GoToParentOfOperand();
  RefreshRemoteDirectory();
  std::memset(g.pub_strfilename, 0, sizeof g.pub_strfilename);
}

}  // namespace ftpcl
