// The program-wide variables of module ftpcl001 and the records of its queues.
//
// Every variable here is read and written only under the runtime lock: window handlers run
// under it, and the status callback, which arrives on the FTP library's thread, takes it
// before it touches anything (app/status_callback.cpp). The exceptions are REQUESTCODE and the
// session epoch, which are atomic because both threads test them as guards.
//
// Text variables are zero-terminated of the given capacity unless the record says "fixed"
// (blank-padded, no terminator). Record layouts are packed byte for byte:
//   DLS  1326: NAME c260 @0, ICONFIELD l @260, TREELEVEL l @264, SIZESTR f20 @268, SIZE ul @288,
//              ATTRIBUTE l @292, FULLPATHNAME c1024 @296, WASENUMERATED b @1320, SIZEHIGH ul @1321,
//              MARKFIELD b @1325 (the tag of a remote entry; nonzero = tagged)
//   FFLS  272: FILENAME c260 @0, ATTRIBUTE l @260, SIZE ul @264, SIZEHIGH ul @268
//   ALLF  283: the directory listing's entry record (282) and MARKFIELD b @282
//   drives 23: DRIVE f1 @0, ICON l @1, ICON2..ICON5 l @5.., DRIVETYPE s16 @21
//   dirs  263: NAME f255 @0, ICON l @255, LEVEL l @259;  subdirs 255: NAME f255
// Sizes are unsigned 64-bit (SIZE the low, SIZEHIGH the high half), names keep every byte the
// server sent (up to 259), and a tree path holds several levels of such names: nothing is cut,
// so no operation can reach a file whose name was shortened into another's.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "net/ftpnet.h"
#include "runtime/data/queue.h"

namespace vel::wsl {
class Window;
}

namespace ftpcl {

#pragma pack(push, 1)
struct DlsRecord {
  char name[260];
  std::int32_t iconfield;
  std::int32_t treelevel;
  char sizestr[20];
  std::uint32_t size;
  std::int32_t attribute;
  char fullpathname[1024];
  std::uint8_t wasenumerated;
  std::uint32_t sizehigh;
  std::uint8_t markfield;
};
struct FflsRecord {
  char filename[260];
  std::int32_t attribute;
  std::uint32_t size;
  std::uint32_t sizehigh;
};
struct AllfRecord {
  char name[256];
  char shortname[13];
  std::int32_t date;
  std::int32_t time;
  std::int32_t size;
  std::uint8_t attrib;
  std::uint8_t markfield;
};
struct DriveRecord {
  char drive[1];
  std::int32_t icon;
  std::int32_t icon2, icon3, icon4, icon5;
  std::int16_t drivetype;
};
struct DirRecord {
  char name[255];
  std::int32_t icon;
  std::int32_t level;
};
struct SubdirRecord {
  char name[255];
};
#pragma pack(pop)
static_assert(sizeof(DlsRecord) == 1326 && sizeof(FflsRecord) == 272 && sizeof(AllfRecord) == 283);
static_assert(sizeof(DriveRecord) == 23 && sizeof(DirRecord) == 263 && sizeof(SubdirRecord) == 255);

// Field numbers of the queues (1-based, declaration order).
constexpr std::int32_t kFflsFileName = 1;
constexpr std::int32_t kAllfName = 1;
constexpr std::int32_t kSubdirName = 1;

// Pending request codes.
enum Request : std::int16_t {
  kReqNone = 0, kIdle = 1, kConnect = 2, kGetRequested = 3, kGetRunning = 4, kPutRequested = 5,
  kPutRunning = 6, kMkdirRequested = 7, kMkdirRunning = 8, kRmdirRequested = 9, kRmdirRunning = 10,
  kDeleteRequested = 11, kDeleteRunning = 12, kRenameRequested = 13, kRenameRunning = 14,
  // Beyond the described chain: the put's look for an existing target before it writes
  // (5 -> 15 -> 6), the removal of a cancelled upload's partial file (16 -> 17), and the
  // rename's look for an entry of its new name (13 -> 18 -> 14).
  kPutChecking = 15, kCleanupRequested = 16, kCleanupRunning = 17, kRenameChecking = 18,
};
inline bool TransferCode(std::int16_t code) {
  return code == kGetRequested || code == kGetRunning || code == kPutRequested || code == kPutRunning ||
         code == kPutChecking;
}

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
extern std::atomic<std::int16_t> REQUESTCODE;
// A remote listing is running (on a thread of its own or in the callback); window handlers
// treat it like a pending request even where the listing has set the code back to 1.
extern std::atomic<bool> g_listing;
// Counts Connect, Disconnect and Close Internet Session: work that began under another count
// belongs to a connection that is gone, and its late results are discarded.
extern std::atomic<std::uint32_t> g_epoch;

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
// A request or listing is under way (REQUESTCODE is neither 1 nor 0, "no request yet").
bool RequestRunning();

}  // namespace ftpcl
