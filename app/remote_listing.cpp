// The remote listing. Steps: busy cursor and "Retrieving directory tree"; the last request's
// connection closed; a synchronous session and connection of the listing's own (the
// asynchronous session stays as it is, so the window's requests never see it replaced);
// FtpFindFirstFileA/InternetFindNextFileA into FFLS; the entries merged below their folder;
// the handles closed; the texts cleared. After a connect the window then enters the
// connected state.
//
// Cancellation: the listing's handles sit in one slot under the runtime lock. Whoever takes a
// handle out of the slot closes it - the canceller (Close, Disconnect, Connect, Escape) or the
// listing itself at its end - so each is closed once, and a network call the listing is
// waiting in returns at once. After every network call the listing checks whether it still
// belongs to the current connection (the epoch) and was not cancelled.
#include "app/remote_listing.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "app/certificate_question.h"
#include "app/globals.h"
#include "app/remote_tree.h"
#include "app/requests.h"
#include "app/session.h"
#include "app/stall.h"
#include "app/error_texts.h"
#include "app/status_callback.h"
#include "app/text.h"
#include "app/ui.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/window.h"

namespace ftpcl {

namespace {

struct Slot {
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
  bool cancelled_by_user = false;
};

struct Job {
  ListingKind kind;
  std::uint64_t serial;  // the request it runs as (a Connect's, or a Listing's own)
  std::uint32_t epoch;
  std::string dir;     // REMOTEDIR: a path, "" for the root, the server name for the login folder
  std::string parent;  // REMOTEPARENT: the tree path the entries go below
  std::string report;  // the window status text at the end
  std::shared_ptr<Slot> slot;  // its own: a listing left behind never reaches the next one's
};

// The slot of the listing in force, the one Escape, Disconnect and Close reach.
std::shared_ptr<Slot> g_current;

// Listing threads still running (a listing left behind runs on until its closed handles make
// its library call return), and an event set while none runs: the window's end waits on it.
struct Threads {
  int count = 0;
  HANDLE none = nullptr;
};
Threads g_threads;

bool Stale(const Job& job) { return job.epoch != Requests().Epoch(); }

// The window may end while the listing waits in a library call without the lock (its handle
// goes with the loop's end): showing anything in it then would be an operation on a window
// that is not open, a fatal runtime error.
bool WindowGone() { return !MainWindowOpen(); }

void ShowFields() {
  if (!WindowGone()) vel::wsl::DisplayFields();
}

// The listing's request ends (a request begun since is not touched).
void EndRequest(const Job& job) { Requests().HandleFor(job.serial, Event::kListingEnded); }
bool Cancelled(const Job& job) { return Stale(job) || job.slot->cancelled_by_user; }

void CloseSlot(Slot& slot) {
  HINTERNET connection = slot.connection, session = slot.session;
  slot.connection = slot.session = nullptr;
  CloseInternetHandle(&connection);
  CloseInternetHandle(&session);
}

// One found entry into FFLS (names exactly as listed; those that cannot stand in the tree are
// left out, see ShowableRemoteName).
void AddFoundEntry(const WIN32_FIND_DATAA& found) {
  const std::string name = CText(found.cFileName, sizeof found.cFileName);
  if (!ShowableRemoteName(name)) return;
  FflsRecord& f = Ffls();
  std::memset(&f, 0, sizeof f);
  Set(f.filename, name);
  f.attribute = RowAttribute(found.dwFileAttributes, found.dwReserved0);
  f.size = found.nFileSizeLow;
  f.sizehigh = found.nFileSizeHigh;
  vel::QueueAppend(&FFLS);
  // Each entry's text replaces the last one's; shown at most every 50 ms, a folder of thousands
  // of entries is not held up by the window repainting texts nobody can read.
  static ULONGLONG shown_at = 0;
  const ULONGLONG now = GetTickCount64();
  if (now - shown_at < 50) return;
  shown_at = now;
  StatusText(2, "Retrieving " + name + " info");
}

// Reads the folder's entries into FFLS. Returns the error of a find-first that failed (18, an
// empty folder, is none); an error that ends the find-next loop early goes to the
// listing-error report and what was read is kept.
DWORD Enumerate(const Job& job, HINTERNET connection) {
  vel::QueueFree(&FFLS);
  // The login folder (the first listing) and the root row's refresh are the same folder.
  const std::string folder = job.dir == g.treeserver ? std::string() : ServerPathOf(job.dir);
  const std::string pattern = folder.empty() ? "*.*" : folder + "/*.*";
  Set(g.findpattern, pattern);
  WindowStatus("Enumerating remote directory");
  ShowFields();
  WIN32_FIND_DATAA found{};
  DWORD error = 0;
  HINTERNET find = Net([&] {
    HINTERNET h = FtpFindFirstFileA(connection, pattern.c_str(), &found, INTERNET_FLAG_NEED_FILE, 0);
    error = h ? 0 : GetLastError();
    return h;
  });
  if (Stale(job)) {  // left behind: nothing of it reaches the tree or the window any more
    CloseInternetHandle(&find);
    return 0;
  }
  ServerAnswered();  // the entries are in hand: the rest is local work, never a stall
  if (!find) return error == ERROR_NO_MORE_FILES ? 0 : error;
  AddFoundEntry(found);
  for (;;) {
    std::memset(found.cFileName, 0, sizeof found.cFileName);
    const BOOL more = Net([&] {
      const BOOL ok = InternetFindNextFileA(find, &found);
      error = ok ? 0 : GetLastError();
      return ok;
    });
    if (!more || Cancelled(job)) break;
    AddFoundEntry(found);
  }
  CloseInternetHandle(&find);
  if (error && error != ERROR_NO_MORE_FILES && !Cancelled(job)) ListingErrorReport("InternetFindNextFile", error);
  return 0;
}

// The end of a listing: the entries merged (or, after a failure or Escape, the folder left
// not listed), the texts cleared, and after a connect the connected state. `error_text` is the
// text of `error`, taken while the server's reply that caused it was the last one.
// A listing left behind (Disconnect, Close Internet Session, the window's end) ended as a
// request when it was left; whoever left it has said all there is to say.
void Finish(const Job& job, DWORD error, const std::string& error_text) {
  if (Stale(job) || WindowGone()) {
    EndRequest(job);
    return;
  }
  ServerAnswered();
  if (!Cancelled(job) && error) {
    ShowRequestErrorText(error_text);  // a refused login or a folder the server will not list
    if (Stale(job) || WindowGone()) {  // the box let the window run: left meanwhile
      EndRequest(job);
      return;
    }
    MarkNotListed(job.parent);
  } else if (!Cancelled(job)) {
    MergeUnder(job.parent);
  } else {
    MarkNotListed(job.parent);
  }
  ShowConnectionSecurity();
  WindowStatus("");
  StatusText(2, job.slot->cancelled_by_user ? "Listing cancelled" : job.report);
  BusyCursor(false);
  if (job.kind == ListingKind::kConnect) {
    g.isconnected = 1;
    g.insession = 1;
    vel::wsl::PostEvent(kRefreshEvent, 0, g.mainthread);
    ShowConnectionSecurity();  // a connection over TLS names its protocol and cipher
  }
  ShowFields();
  EndRequest(job);
}

// The listing's own session reports to nobody but the stall display: its bytes are traffic.
void CALLBACK ListingTraffic(HINTERNET, DWORD_PTR, DWORD status, LPVOID info, DWORD length) {
  NoteTrafficOf(status, info, length);
}

void Run(const Job& job) {
  if (Stale(job)) {  // left before it began: the connection it would close is another's now
    EndRequest(job);
    return;
  }
  BusyCursor(true);
  vel::wsl::SetTargetWindow(nullptr, g.mainthread);
  StatusText(3, "Retrieving directory tree");
  CloseRequestConnection();  // the request that led here has ended
  WindowStatus("Connecting to " + g.connected.server);
  Slot& slot = *job.slot;
  slot.session = OpenSession(0);
  HINTERNET session = slot.session;
  if (session) Net([session] { return InternetSetStatusCallback(session, ListingTraffic); });
  ShowFields();
  DWORD error = 0;
  if (!Cancelled(job)) {
    const HINTERNET connection = ConnectCall(slot.session, 0, &error);
    if (connection && slot.session) slot.connection = connection;  // else the canceller closed its session
    if (connection && !Cancelled(job)) error = Enumerate(job, connection);
  }
  const std::string error_text = error ? Clip(ErrorText(error)) : std::string();
  CloseSlot(slot);  // says goodbye to the server: its reply is the last one from now on
  Finish(job, error, error_text);
}

void ThreadEnded() {
  if (--g_threads.count == 0) SetEvent(g_threads.none);
}

}  // namespace

bool StartRemoteListing(ListingKind kind, const std::string& report) {
  // A connect's listing runs as the phase of its request; the others are requests of their own.
  if (kind != ListingKind::kConnect && !StartListingRequest()) return false;
  AwaitServer(kStallZoneListing);
  g_current = std::make_shared<Slot>();
  Job job{kind,         Requests().Current().serial, Requests().Epoch(), CText(g.remotedir), CText(g.remoteparent),
          report,       g_current};
  if (job.dir == g.treeserver) job.parent = g.treeserver;
  Set(g.remoteparent, job.parent);
  if (!g_threads.none) g_threads.none = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ++g_threads.count;
  ResetEvent(g_threads.none);
  std::thread([job] {
    vel::wsl::RuntimeLockGuard lock;
    Run(job);
    ThreadEnded();
  }).detach();
  return true;
}

void CancelRemoteListing(bool by_user) {
  if (!g_current) return;
  if (by_user) g_current->cancelled_by_user = true;
  CloseSlot(*g_current);
}

// Messages the listing sends to the window's controls (its status texts) are answered while
// waiting: a plain wait held the listing in its first one until the wait ran out.
void WaitForListingEnd(unsigned ms) {
  if (g_threads.count == 0) return;
  HANDLE none = g_threads.none;
  vel::wsl::RuntimeLockReleased released;
  vel::wsl::WaitAnsweringSentMessages(1, &none, ms);
}

}  // namespace ftpcl
