// Get and Put. Each handler checks its operands, stores them in the globals, sets the
// requested-code and connects; the status callback issues the transfer on the new connection
// (OPHANDLE) and, on its completion, reports and refreshes.
//
// Operands, each with one meaning: Get - PUB_STRFILENAME remote source, XFERNAME file name,
// XFERLOCALDIR local folder, XFERLOCALFILE local target; Put - XFERLOCALDIR the local folder it
// reads from, XFERLOCALFILE local source, XFERNAME remote target. Every
// path is built whole or refused: a path cut to fit its variable would name another file.
#include "app/transfers.h"

#include <cstring>
#include <string>

#include "app/globals.h"
#include "app/local_names.h"
#include "app/names.h"
#include "app/overwrite_check.h"
#include "app/progress.h"
#include "app/remote_tree.h"
#include "app/requests.h"
#include "app/session.h"
#include "app/text.h"
#include "app/ui.h"
#include "runtime/core/errors.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/window.h"

namespace ftpcl {

namespace wsl = vel::wsl;

namespace {


// The put's look at its target: the library writes it on its own thread before the completion.
DWORD g_presence = FTP_PRESENCE_UNKNOWN;

bool Fetch(vel::QueueBlock* q, std::int32_t row) {
  vel::QueueGetAt(q, row);
  return row > 0 && vel::ErrorCode() == 0;
}

bool TooLong(const std::string& path) {
  if (path.size() <= kMaxPath) return false;
  Message("The name or path is too long: |" + ShortenedName(path, 120));
  return true;
}

// The local file `path`: its size, or false when it is not a file that is there.
bool LocalFile(const std::string& path, std::uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return false;
  if (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  *size = (static_cast<std::uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
  return true;
}

// The file name part of the put's remote target.
std::string PutName() {
  const std::string target = CText(g.xfername);
  const std::size_t slash = target.rfind('/');
  return slash == std::string::npos ? target : target.substr(slash + 1);
}

void StartTransfer(Kind kind, std::uint64_t size, bool upload) {
  BeginTransferProgress(size, upload);
  StartChain(kind);
}

}  // namespace

void GetPressed() {
  if (!g.isconnected) {
    Message("Not in session.");
    return;
  }
  if (!Idle()) {
    Message(kBusyText, "FTP Client");
    return;
  }
  StatusText(2, "");  // the last transfer's report is no answer to this press
  if (!Fetch(&DLS, wsl::FieldChoice(kList1))) {
    Message("Please select a remote file to get");
    return;
  }
  if (Dls().attribute == kDirectory) {
    Message("Cannot \"GET\" Directory.");
    return;
  }
  const std::string name = CText(Dls().name);
  if (const std::string why = LocalNameProblem(name); !why.empty()) {
    Message("Cannot \"GET\" " + ShortenedName(name, 80) + ": |" + why + ".");
    return;
  }
  const std::string retval = CText(g.retval);
  const std::string local_dir = retval.substr(0, retval.empty() ? 0 : retval.size() - 1);
  const std::string local = local_dir + "/" + name, remote = RowPath();
  if (TooLong(local) || TooLong(remote)) return;
  const DWORD existing = GetFileAttributesA(local.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY)) {
    Message("Cannot \"GET\" " + ShortenedName(name, 80) + ": |a local folder has that name.");
    return;
  }
  if (existing != INVALID_FILE_ATTRIBUTES && !AskOverwrite(local_dir + "\\" + name))
    return;
  const std::uint64_t size = RowTransferTotal();
  Set(g.xfername, name);
  Set(g.xferlocaldir, local_dir);
  Set(g.xferlocalfile, local);
  Set(g.pub_strfilename, remote);
  WindowStatus("Getting file: " + name);
  StartTransfer(Kind::kGet, size, false);
  wsl::DisplayFields();
}

void PutPressed() {
  if (!g.isconnected) return;
  if (!Idle()) {
    Message(kBusyText, "FTP Client");
    return;
  }
  StatusText(2, "");
  g.listrow = wsl::FieldChoice(kList1);
  // The target folder is that of the row shown selected, even when its selection came while
  // the window was busy (the remote list's new-selection step is skipped then).
  if (Fetch(&DLS, g.listrow)) RemoteNewSelection();
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
  // The file list shows g.filesdir; the put reads from there and nowhere else.
  const std::string local = Clipped(g.retval) + name;
  std::uint64_t size = 0;
  if (Upper(g.filesdir) != Upper(Clipped(g.retval))) {
    Message("The local file is not there any more: |" + local);
    return;
  }
  if (std::string problem = ShownLocalNameProblem(Clipped(g.retval), name); !problem.empty() || !LocalFile(local, &size)) {
    Message(problem.empty() ? "The local file is not there any more: |" + local : problem);
    return;
  }
  const std::string dir = Clipped(g.currentftpdir);
  const std::string remote = dir == "/" ? name : dir + "/" + name;
  if (TooLong(local) || TooLong(remote)) return;
  Set(g.xfername, remote);
  Set(g.xferlocaldir, Clipped(g.retval));
  Set(g.xferlocalfile, local);
  Allf().markfield = 0;
  vel::QueuePut(&ALLF);
  WindowStatus("Putting file: " + remote);
  StartTransfer(Kind::kPut, size, true);
  wsl::DisplayFields();
}

DWORD IssueGet() {
  HINTERNET h = g.ophandle;
  const std::string remote = ServerPathOf(CText(g.pub_strfilename)), local = CText(g.xferlocalfile);
  const DWORD type = static_cast<DWORD>(g.dwtype);
  return IssueRequest([&] {
    return FtpGetFileA(h, remote.c_str(), local.c_str(), FALSE, FILE_ATTRIBUTE_NORMAL, type, 1);
  });
}

DWORD IssuePutCheck() {
  HINTERNET h = g.ophandle;
  const std::string remote = ServerPathOf(CText(g.xfername));
  g_presence = FTP_PRESENCE_UNKNOWN;
  return IssueRequest([&] { return FtpGetEntryPresenceA(h, remote.c_str(), &g_presence, 1); });
}

Target PutTarget(DWORD error) { return TargetFound(error, g_presence); }

void RefusePutOntoFolder() {
  Message("Cannot \"PUT\" " + ShortenedName(PutName(), 80) + ": |a remote folder has that name.");
  EndUnansweredPut();
}

void EndUnansweredPut() {
  ResetProgress();
  WindowStatus("");
}

// The window's turn: the question, unless the request was cancelled or left behind meanwhile
// (the machine then ends it as cancelled).
void AskPutOverwrite() {
  const Request& r = Requests().Current();
  if (r.kind != Kind::kPut || r.phase != Phase::kAsking) return;
  const std::uint64_t serial = r.serial;
  const bool yes = !ChainCancelled() && AskOverwrite(RemotePathOf(PutName()));
  OverwriteAnswered(serial, yes);
}

DWORD IssuePut() {
  HINTERNET h = g.ophandle;
  const std::string local = CText(g.xferlocalfile), remote = ServerPathOf(CText(g.xfername));
  const DWORD type = static_cast<DWORD>(g.dwtype);
  return IssueRequest([&] { return FtpPutFileA(h, local.c_str(), remote.c_str(), type, 1); });
}

DWORD IssueCleanupDelete() {
  HINTERNET h = g.ophandle;
  const std::string remote = ServerPathOf(CText(g.xfername));
  return IssueRequest([&] { return FtpDeleteFileA(h, remote.c_str()); });
}

}  // namespace ftpcl
