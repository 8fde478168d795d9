// The client's transfer progress and error texts without a server: which notifications count
// as data (the server's replies tell the data phase apart from commands and replies), the
// 50 ms showing rule, the percentage on the decimal stack (expected size 0, sizes past 2 and
// 4 GiB, never above 100), the end of a transfer and the reset after a failed one, and the
// texts of library, system and server errors.
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/progress.h"
#include "app/remote_operations.h"
#include "app/status_callback.h"
#include "app/text.h"
#include "app/transfers.h"
#include "net/ftp_handles.h"
#include "runtime/wsl/message_dialog.h"
#include "runtime/wsl/runtime_lock.h"
#include "support/check.h"
#include "wsl_window_support.h"

using namespace ftpcl;

namespace {

// The window layer's initialisers make the runtime lock; no window is opened (status texts
// and the display then reach nothing).
void Setup() { wsltest::Setup(); }

// The server's reply arriving on this thread, as the library reports it: 40, then 41 with
// the reply's length.
void Reply(int code, const std::string& text) {
  vel::net::StoreLastResponse(vel::net::FtpReply{code, text + "\r\n"});
  TransferNotification(INTERNET_STATUS_RESPONSE_RECEIVED, static_cast<DWORD>(text.size() + 2));
}
void Received(DWORD bytes) { TransferNotification(INTERNET_STATUS_RESPONSE_RECEIVED, bytes); }
void Sent(DWORD bytes) { TransferNotification(INTERNET_STATUS_REQUEST_SENT, bytes); }

}  // namespace

TEST_CASE("progress: a download counts its data, not the commands and replies around it") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  BeginTransferProgress(100000, false);
  Sent(8);
  Reply(200, "200 Switching to Binary mode.");
  Sent(6);
  Reply(227, "227 Entering Passive Mode (127,0,0,1,4,1).");
  Sent(16);
  Reply(150, "150 Opening BINARY mode data connection.");
  CHECK_EQ(TransferredBytes(), 0u);
  Received(65536);
  Received(34464);
  CHECK_EQ(TransferredBytes(), 100000u);
  CHECK(ProgressShowDue());
  ShowProgress();
  CHECK_EQ(g.percentcomplete, 100);
  CHECK(!ProgressShowDue());  // nothing new since
  Reply(226, "226 Transfer complete.");
  CHECK_EQ(TransferredBytes(), 100000u);
  CHECK(!ProgressShowDue());
}

TEST_CASE("progress: an upload counts what it sends once the server has taken the command") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  BeginTransferProgress(300, true);
  Sent(8);
  Reply(200, "200 Switching to Binary mode.");
  Sent(20);
  CHECK(!UploadReachedServer());
  Reply(150, "150 Ok to send data.");
  CHECK(UploadReachedServer());
  Sent(200);
  ShowProgress();
  CHECK_EQ(g.percentcomplete, 66);
  Sent(100);
  CHECK_EQ(TransferredBytes(), 300u);
  Reply(226, "226 Transfer complete.");
  CHECK_EQ(TransferredBytes(), 300u);
  // The next transfer starts from nothing.
  BeginTransferProgress(10, true);
  CHECK(!UploadReachedServer());
  CHECK_EQ(TransferredBytes(), 0u);
}

TEST_CASE("progress: the same reply twice in a row is data, a new reply is not") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  BeginTransferProgress(0, false);
  Reply(150, "150 Here it comes.");
  Received(20);  // a data block as long as the reply: still data
  CHECK_EQ(TransferredBytes(), 20u);
  ShowProgress();
  CHECK_EQ(g.percentcomplete, 0);  // expected size 0: the percentage stays 0
}

TEST_CASE("progress: percentages of sizes past 2 and 4 GiB, never above 100") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  CHECK_EQ(PercentOf(1ull << 30, 3ull << 30), 33);
  CHECK_EQ(PercentOf(5ull << 29, 3ull << 30), 83);
  CHECK_EQ(PercentOf(5ull << 30, 6ull << 30), 83);
  CHECK_EQ(PercentOf(7, 0), 0);
  CHECK_EQ(PercentOf(120, 100), 100);
}

TEST_CASE("progress: the end of a transfer and the reset after a failed one") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  BeginTransferProgress(1000, false);
  Reply(150, "150 go");
  Received(400);
  ShowProgress();
  CHECK_EQ(g.percentcomplete, 40);
  ResetProgress();  // failed or cancelled
  CHECK_EQ(TransferredBytes(), 0u);
  CHECK_EQ(g.percentcomplete, 0);
  Received(10);  // a stray data notification after the reset is no data
  CHECK_EQ(TransferredBytes(), 0u);
  REQUESTCODE = kGetRunning;
  EndOfTransfer();
  CHECK_EQ(REQUESTCODE.load(), kIdle);
  CHECK_EQ(g.percentcomplete, 0);
}

namespace {
std::vector<std::string> g_boxes;
int RecordBox(const vel::wsl::MessageRequest& r) {
  g_boxes.push_back(r.caption + ": " + r.text);
  return 1;
}
}  // namespace

// A chain step the library refuses at once (here: no connection to issue it on) ends its
// request as a failed completion does: the message, the progress reset, the client idle again
// (before, the code stayed set and every later request answered "Cannot process request now").
TEST_CASE("requests: a call the library refuses at once ends its request like a failed completion") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  vel::wsl::SetMessageHook(RecordBox);
  g.ophandle = nullptr;
  Set(g.pub_strfilename, "/pub/a.txt");
  REQUESTCODE = kDeleteRequested;
  IssueDelete();
  CHECK_EQ(REQUESTCODE.load(), kIdle);
  REQUIRE(g_boxes.size() == 1u);
  CHECK(g_boxes[0].rfind("VTFTP Client Error: ", 0) == 0);
  CHECK(g_boxes[0].size() > std::string("VTFTP Client Error: ").size());

  BeginTransferProgress(100, false);
  Reply(150, "150 go");
  Received(40);
  Set(g.xferlocalfile, "C:/nowhere/a.txt");
  REQUESTCODE = kGetRequested;
  IssueGet();
  CHECK_EQ(REQUESTCODE.load(), kIdle);
  CHECK_EQ(TransferredBytes(), 0u);
  CHECK_EQ(g_boxes.size(), 2u);
  vel::wsl::SetMessageHook(nullptr);
  g_boxes.clear();
}

TEST_CASE("menu labels: every byte shown, '&' doubled, long names shortened whole") {
  CHECK_EQ(MenuText("x & y|{z}~"), std::string("x && y|{z}~"));
  CHECK_EQ(ShortenedName("short", 40), std::string("short"));
  const std::string cut = ShortenedName(std::string(250, 'n'), 40);
  CHECK_EQ(cut, std::string(37, 'n') + "...");
}

TEST_CASE("error texts: the library's table, the system's for other codes, none for unknown ones") {
  Setup();
  CHECK_EQ(ErrorText(ERROR_INTERNET_NAME_NOT_RESOLVED).empty(), false);
  CHECK(ErrorText(ERROR_INTERNET_NAME_NOT_RESOLVED) != ErrorText(ERROR_INTERNET_CANNOT_CONNECT));
  const std::string invalid = ErrorText(ERROR_INVALID_PARAMETER);
  CHECK(!invalid.empty());
  CHECK(invalid.back() != '\n' && invalid.back() != ' ');
  CHECK_EQ(ErrorText(0x2FFFFFFF), std::string());
  // 12003 stands for the server's last response on this thread.
  vel::net::StoreLastResponse(vel::net::FtpReply{550, "550 Failed to open file.\r\n"});
  CHECK_EQ(ErrorText(ERROR_INTERNET_EXTENDED_ERROR), std::string("550 Failed to open file."));
  vel::net::StoreLastResponse(vel::net::FtpReply{});
  CHECK_EQ(ErrorText(ERROR_INTERNET_EXTENDED_ERROR), std::string());
}
