// The program-wide variables of module ftpcl001 and the records of its queues.
//
// Every variable here is read and written only under the runtime lock: window handlers run
// under it, and the status callback, which arrives on the FTP library's thread, takes it
// before it touches anything (app/status_callback.cpp). The exception is REQUESTCODE, which is
// atomic because the callback's data path tests it without the lock.
//
// Text variables are zero-terminated of the given capacity unless noted "fixed" (blank-padded,
// no terminator). The queues' records are in app/records.h.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "net/ftpnet.h"
#include "app/records.h"
#include "runtime/data/queue.h"

namespace vel::wsl {
class Window;
}

namespace ftpcl {

// Field numbers of the queues (1-based, declaration order).
constexpr std::int32_t kFflsFileName = 1;
constexpr std::int32_t kAllfName = 1;
constexpr std::int32_t kSubdirName = 1;

// Pending request codes.
enum RequestCode : std::int16_t {
  kReqNone = 0, kIdle = 1, kConnect = 2, kGetRequested = 3, kGetRunning = 4, kPutRequested = 5,
  kPutRunning = 6, kMkdirRequested = 7, kMkdirRunning = 8, kRmdirRequested = 9, kRmdirRunning = 10,
  kDeleteRequested = 11, kDeleteRunning = 12, kRenameRequested = 13, kRenameRunning = 14,
  // Beyond the described chain: the put's look for an existing target before it writes
  // (5 -> 15 -> 6), the removal of a cancelled upload's partial file (16 -> 17), and the
  // rename's look for an entry of its new name (13 -> 18 -> 14).
  kPutChecking = 15, kCleanupRequested = 16, kCleanupRunning = 17, kRenameChecking = 18,
};

// Field numbers of the main window (P33$WINDOW).
enum MainField : int {
  kUsePreconfig = 1, kStart, kClose, kProxyPrompt, kProxy, kServerPrompt, kServerName,
  kUserPrompt, kUserName, kPasswordPrompt, kPassword, kConnectButton, kChkPassive, kDisconnect,
  kPanel2, kCurrentFtpDir, kDwType, kDwTypeRadio1, kDwTypeRadio2, kGetButton, kPutButton,
  kClearRemote, kPercentComplete, kClearLocal, kList1, kCloseButton, kRetval, kListDirs, kImage1,
  kPrevDirButton, kList4, kListDrives,
};
// Fields of the two dialogs (P21$WINDOW, P27$WINDOW).
enum DialogField : int { kDlgPrompt2 = 1, kDlgShown, kDlgPrompt, kDlgEntry, kDlgOk, kDlgCancel };

constexpr const char* kModuleId = "FtpClient_async$ftpcl001";
constexpr int kRefreshEvent = 0x400;        // posted by the callback after a completed connect
constexpr int kCancelEvent = 0x401;         // Escape in the main window (app/keys.cpp)
constexpr int kRefreshViewEvent = 0x402;    // F5 in the main window
constexpr int kAskOverwriteEvent = 0x403;   // a put's or rename's target may be on the server
constexpr int kConnectEvent = 0x404;        // Enter in a login entry of the main window

// The server a connection was made to, fixed when Connect is pressed: the entries stay
// editable while connected, but every later request and listing of that connection goes to
// the server whose tree is shown, with the same login.
struct ServerProfile {
  std::string server, user, password;
  DWORD flags = 0;
};
// The proxy choice a session was opened with, for the listings' own sessions.
struct SessionProfile {
  bool preconfig = false;
  std::string proxy;
};

struct Globals {
  std::uint8_t useproxyconfig = 0;  // USEPRECONFIG
  char proxy[40] = "";
  char servername[40] = "localhost";
  char username[20] = "Anonymous";
  char password[20] = "plume";
  std::uint8_t chkpassive = 0;
  // Wider than the described 260 (its string controls show the first 255 characters): a path
  // of the tree is never cut into another.
  char currentftpdir[1024] = "";
  std::int32_t dwtype = 0;
  std::int32_t percentcomplete = 0;
  char retval[126] = "";
  char pub_strfilename[260] = "";
  char oldname[260] = "";
  char xfername[260] = "";
  char xferlocaldir[260] = "";
  char xferlocalfile[260] = "";
  std::uint64_t xfersize = 0;
  std::uint32_t bytessent = 0;
  std::uint32_t bytesreceived = 0;
  HINTERNET sessionhandle = nullptr;
  HINTERNET connecthandle = nullptr;
  HINTERNET ophandle = nullptr;
  std::uint8_t insession = 0;
  std::uint8_t isconnected = 0;
  std::uint32_t connectflags = 0;
  char agentname[40] = "vt wininet";
  char emptytext[20] = "";
  std::int32_t mainthread = 0;
  vel::wsl::Window* mainwindow = nullptr;
  char errortext[256];  // fixed, blank-padded
  // Working variables of the remote tree.
  char remoteparent[1024] = "";
  char remotedir[1024] = "";
  char findpattern[1024] = "";
  std::int32_t listrow = 0;
  WIN32_FIND_DATAA finddata{};
  // The connection and session in force (see ServerProfile) and the name of the tree's root.
  ServerProfile connected;
  SessionProfile session;
  std::string treeserver;
  // The local folder the file list (ALLF) shows: a put reads only from there.
  std::string filesdir;
};

extern Globals g;
// The described code of the request in force, written only by the request machine
// (app/request_machine.h), which owns the request; atomic for the callback's data path.
extern std::atomic<std::int16_t> REQUESTCODE;

// The queues (global DLS, FFLS, ALLF; the main procedure's drives, directory and subdirectory
// queues live here too, since several modules of the procedure use them).
extern vel::QueueBlock DLS, FFLS, ALLF, DRIVES, DIRS, SUBDIRS;
DlsRecord& Dls();
FflsRecord& Ffls();
AllfRecord& Allf();
DriveRecord& Drive();
DirRecord& Dir();
SubdirRecord& Subdir();
void DestroyQueues();

// True while no request runs: the guard every window action tests.
bool Idle();
// A request (a listing too) is under way (REQUESTCODE is neither 1 nor 0, "no request yet").
bool RequestRunning();

}  // namespace ftpcl
