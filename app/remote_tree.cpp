// The remote tree. DLS rows are kept in the order of DLS:FULLPATHNAME (tree path: the server
// name, then "/" and each name), so a directory's entries follow it; a negative tree level
// marks a contracted row. Listings run on a synchronous session opened for them while the
// asynchronous one is set aside; the temporary session and its connection are closed before
// the asynchronous session is opened again.
//
// Choices where the rules leave it open: a refresh that finds no directory row for
// CURRENTFTPDIR lists the root again; a merge whose parent row is missing (a stale root of
// another server) puts the rows at level 2 under a root row made for the parent path; names
// that are not plain (see PlainName) are left out of the tree, so no later operation can
// make a local or remote path out of them.
#include "app/remote_tree.h"

#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/globals.h"
#include "app/session.h"
#include "app/status_callback.h"
#include "app/text.h"
#include "app/ui.h"
#include "runtime/core/decimal.h"
#include "runtime/core/errors.h"
#include "runtime/core/string_stack.h"
#include "runtime/data/picture.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/properties.h"
#include "runtime/wsl/window.h"

namespace ftpcl {

using vel::wsl::RuntimeLockGuard;

namespace {

constexpr std::int32_t kByPath[] = {kDlsFullPath, 0};
constexpr int kPropMouseDownRow = 0x7C20;
constexpr std::int32_t kDirectory = 0x10;

bool FetchDls(std::int32_t row) {
  vel::QueueGetAt(&DLS, row);
  return vel::ErrorCode() == 0;
}

void AddRow(const std::string& path, const std::string& name, std::int32_t icon, std::int32_t level,
            std::int32_t attribute, std::int32_t size) {
  DlsRecord& d = Dls();
  std::memset(&d, 0, sizeof d);
  Set(d.name, name);
  Set(d.fullpathname, path);
  d.iconfield = icon;
  d.treelevel = level;
  d.attribute = attribute;
  d.size = size;
  SetFixed(d.sizestr, SizeText(size));
  d.wasenumerated = 0;
  vel::QueueAddKeyed(&DLS, kByPath);
}

void MergeUnder(const std::string& parent) {
  vel::QueueSortFields(&DLS, kByPath);
  Set(Dls().fullpathname, parent);
  vel::QueueGetKeyed(&DLS, kByPath);
  std::int32_t level = 1;
  if (vel::ErrorCode() == 0) {
    level = std::abs(Dls().treelevel);
  } else {
    AddRow(parent, parent, 4, 1, kDirectory, 0);  // the parent row the merge needs
  }
  const std::string base = Clip(parent);
  const std::uint32_t n = vel::QueueRecords(&FFLS);
  for (std::uint32_t i = 1; i <= n; ++i) {
    vel::QueueGetAt(&FFLS, static_cast<std::int32_t>(i));
    const FflsRecord& f = Ffls();
    const std::string name = Clipped(f.filename);
    AddRow(base + "/" + name, name, f.attribute == kDirectory ? 2 : 3, level + 1, f.attribute, f.size);
  }
}

// Step 11 of the listing: one found entry into FFLS.
void AddFoundEntry() {
  const std::string name = Clip(CText(g.finddata.cFileName, sizeof g.finddata.cFileName));
  if (!PlainName(name)) return;
  FflsRecord& f = Ffls();
  std::memset(&f, 0, sizeof f);
  Set(f.filename, name);
  f.attribute = static_cast<std::int32_t>(g.finddata.dwFileAttributes);
  f.size = static_cast<std::int32_t>(g.finddata.nFileSizeLow);
  vel::QueueAppend(&FFLS);
  // Each entry's text replaces the last one's; shown at most every 50 ms, a folder of thousands
  // of entries is not held up by the window repainting texts nobody can read.
  static ULONGLONG shown_at = 0;
  const ULONGLONG now = GetTickCount64();
  if (now - shown_at < 50) return;
  shown_at = now;
  StatusText(2, "Retrieving " + name + " info");
}

void EnumerateInto() {
  std::memset(g.finddata.cFileName, 0, sizeof g.finddata.cFileName);
  vel::QueueFree(&FFLS);
  if (CText(g.remotedir) == CText(g.servername)) {
    Set(g.remoteparent, CText(g.servername));
    Set(g.findpattern, "*.*");
  } else {
    Set(g.findpattern, CText(g.remotedir) + "/*.*");
  }
  WindowStatus("Enumerating remote directory");
  vel::wsl::DisplayFields();
  HINTERNET connection = g.connecthandle;
  const std::string pattern = CText(g.findpattern);
  HINTERNET find = Net([&] { return FtpFindFirstFileA(connection, pattern.c_str(), &g.finddata, INTERNET_FLAG_NEED_FILE, 0); });
  if (find) AddFoundEntry();
  REQUESTCODE = kIdle;
  DWORD error = 0;
  for (;;) {
    std::memset(g.finddata.cFileName, 0, sizeof g.finddata.cFileName);
    BOOL more = Net([&] {
      BOOL ok = InternetFindNextFileA(find, &g.finddata);
      error = ok ? 0 : GetLastError();
      return ok;
    });
    if (!more) break;
    AddFoundEntry();
  }
  if (error != ERROR_NO_MORE_FILES) ListingErrorReport("InternetFindNextFile", error);
  CloseInternetHandle(&find);
}

}  // namespace

std::string SizeText(std::int32_t size) {
  if (size == 0) return {};
  if (size < 1024) return std::to_string(size) + " bytes";
  vel::DecPushInteger(size);
  vel::DecPushInteger(1024);
  vel::DecDivide();
  vel::StackPushDecimal();
  vel::StackPushCString("n14");
  vel::FormatBuiltin();
  vel::StackLeft(-1);
  vel::StackClip();
  char text[32];
  vel::StackPopToCString(text, sizeof text);
  return std::string(text) + " KB";
}

std::string RowPath() {
  const std::string full = CText(Dls().fullpathname);
  const std::size_t skip = CText(g.servername).size();
  return full.size() > skip ? full.substr(skip) : std::string();
}

std::string RowDirectory() {
  const DlsRecord& d = Dls();
  const std::size_t full = CText(d.fullpathname).size();
  if (full <= CText(g.servername).size() + CText(d.name).size() + 1) return "/";
  const std::string path = RowPath();
  const std::size_t cut = path.size() - CText(d.name).size() - 1;
  return path.substr(0, cut);
}

void CreateRootOrMerge(const std::string& path) {
  if (vel::QueueRecords(&DLS) == 0 && path == CText(g.servername)) {
    AddRow(path, path, 4, 1, kDirectory, 0);
    return;
  }
  MergeUnder(path);
}

void RemoteListing() {
  g_listing = true;
  BusyCursor(true);
  vel::wsl::SetTargetWindow(nullptr, g.mainthread);
  StatusText(3, "Retrieving directory tree");
  HINTERNET async_session = g.sessionhandle;
  Net([async_session] {
    InternetSetStatusCallback(async_session, nullptr);
    return InternetCloseHandle(async_session);
  });
  g.sessionhandle = nullptr;
  WindowStatus("Connecting to " + CText(g.servername));
  g.sessionhandle = OpenSession(0);
  vel::wsl::DisplayFields();
  // A connect the server refuses (too many sessions, say) would only show as an empty folder:
  // it is reported, and the listing goes on to find nothing.
  DWORD refused = 0;
  g.connecthandle = ConnectCall(g.sessionhandle, 0, &refused);
  if (!g.connecthandle) ShowRequestError(refused);
  EnumerateInto();
  REQUESTCODE = kIdle;
  CreateRootOrMerge(CText(g.remoteparent));
  CloseInternetHandle(&g.connecthandle);
  CloseInternetHandle(&g.sessionhandle);
  g.sessionhandle = OpenSession(INTERNET_FLAG_ASYNC);
  HINTERNET reopened = g.sessionhandle;
  Net([reopened] { return InternetSetStatusCallback(reopened, StatusCallback); });
  StatusText(3, "");
  WindowStatus("");
  StatusText(2, "");
  REQUESTCODE = kIdle;
  BusyCursor(false);
  vel::wsl::DisplayFields();
  g_listing = false;
}

void RefreshRemoteDirectory() {
  const std::string current = Clipped(g.currentftpdir);
  const std::size_t server_length = CText(g.servername).size();
  const std::uint32_t n = vel::QueueRecords(&DLS);
  std::int32_t found = 0, root = 0;
  for (std::uint32_t i = 1; i <= n && !found; ++i) {
    if (!FetchDls(static_cast<std::int32_t>(i)) || Dls().attribute != kDirectory) continue;
    const bool is_root = CText(Dls().fullpathname).size() == server_length;
    if (is_root && !root) root = static_cast<std::int32_t>(i);
    if ((is_root ? std::string("/") : RowPath()) == current) found = static_cast<std::int32_t>(i);
  }
  if (!found) found = root;
  if (!found) return;  // no tree (disconnected meanwhile)
  g.listrow = found;
  FetchDls(g.listrow);
  DlsRecord& d = Dls();
  if (d.iconfield == 2) {
    d.wasenumerated = 1;
    d.treelevel = std::abs(d.treelevel);
    d.iconfield = 1;
    vel::QueuePut(&DLS);
  }
  const std::int32_t level = std::abs(d.treelevel);
  while (FetchDls(g.listrow + 1) && std::abs(Dls().treelevel) > level) vel::QueueDelete(&DLS);
  FetchDls(g.listrow);
  Set(g.remoteparent, CText(Dls().fullpathname));
  Set(g.remotedir, RowPath());
  Set(g.currentftpdir, CText(g.remotedir));
  RemoteListing();
}

void RemoteDoubleClick() {
  if (!Idle()) return;
  g.listrow = std::atoi(vel::wsl::PropertyGet(g.mainwindow, kList1, kPropMouseDownRow).c_str());
  if (!FetchDls(g.listrow)) return;
  DlsRecord& d = Dls();
  switch (d.iconfield) {
    case 2:
      d.iconfield = 1;
      if (d.wasenumerated) {
        d.treelevel = std::abs(d.treelevel);
        vel::QueuePut(&DLS);
        Set(g.currentftpdir, RowPath());
        break;
      }
      d.wasenumerated = 1;
      vel::QueuePut(&DLS);
      Set(g.remoteparent, CText(d.fullpathname));
      Set(g.remotedir, RowPath());
      Set(g.currentftpdir, RowPath());
      REQUESTCODE = kConnect;
      // The listing blocks on the network: it runs on a thread of its own, so the window keeps
      // answering; the window's handlers see it as a pending request until it ends.
      g_listing = true;
      std::thread([] {
        RuntimeLockGuard lock;
        RemoteListing();
      }).detach();
      break;
    case 1:
      d.iconfield = 2;
      d.treelevel = -d.treelevel;
      vel::QueuePut(&DLS);
      Set(g.currentftpdir, RowPath());
      break;
    case 4: Set(g.currentftpdir, "/"); break;
    case 3: Set(g.currentftpdir, RowDirectory()); break;
    default: break;
  }
  vel::wsl::DisplayFields();
}

void RemoteNewSelection() {
  // The selected row (the mouse-down row of a click, and also the row reached by the keyboard).
  g.listrow = vel::wsl::FieldChoice(kList1);
  if (!FetchDls(g.listrow)) return;
  if (Dls().attribute == kDirectory) {
    const std::string path = RowPath();
    Set(g.currentftpdir, path.empty() ? "/" : path);
  } else {
    Set(g.currentftpdir, RowDirectory());
  }
  vel::wsl::DisplayFields();
}

}  // namespace ftpcl
