// The client's transfer progress and error texts without a server: the count is the file's
// bytes the library reports (replies and wire bytes never count), the 50 ms showing rule, the
// percentage in integers (expected size 0, sizes past 2 and 4 GiB and near 2^64, never above
// 100), the end of a transfer and the reset after a failed one, and the texts of library,
// system and server errors.
#include <string>
#include <vector>

#include "app/error_texts.h"
#include "app/globals.h"
#include "app/progress.h"
#include "app/remote_operations.h"
#include "app/requests.h"
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

}  // namespace

TEST_CASE("progress: the file's bytes the library reports are the count") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  BeginTransferProgress(100000, false);
  CHECK(!ProgressShowDue());
  FileBytesMoved(0);  // the data begins
  CHECK_EQ(TransferredBytes(), 0u);
  FileBytesMoved(65536);
  CHECK(ProgressShowDue());
  ShowProgress();
  CHECK_EQ(g.percentcomplete, 65);
  CHECK(!ProgressShowDue());  // nothing new since
  FileBytesMoved(100000);
  CHECK_EQ(TransferredBytes(), 100000u);
  ShowProgress();
  CHECK_EQ(g.percentcomplete, 100);
}

TEST_CASE("progress: an upload has reached the server once its data began") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  BeginTransferProgress(300, true);
  CHECK(!UploadReachedServer());
  FileBytesMoved(0);
  CHECK(UploadReachedServer());
  FileBytesMoved(200);
  ShowProgress();
  CHECK_EQ(g.percentcomplete, 66);
  // The next transfer starts from nothing.
  BeginTransferProgress(10, true);
  CHECK(!UploadReachedServer());
  CHECK_EQ(TransferredBytes(), 0u);
  BeginTransferProgress(0, false);
  FileBytesMoved(20);
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
  CHECK_EQ(PercentOf(~0ull - (~0ull / 100), ~0ull), 99);  // done * 100 would overflow
  CHECK_EQ(PercentOf(~0ull / 2, ~0ull), 49);
  CHECK_EQ(PercentOf(~0ull, ~0ull), 100);
}

TEST_CASE("progress: the end of a transfer and the reset after a failed one") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  BeginTransferProgress(1000, false);
  FileBytesMoved(400);
  ShowProgress();
  CHECK_EQ(g.percentcomplete, 40);
  ResetProgress();  // failed or cancelled
  CHECK_EQ(TransferredBytes(), 0u);
  CHECK_EQ(g.percentcomplete, 0);
  FileBytesMoved(10);  // a stray report after the reset is no data
  CHECK_EQ(TransferredBytes(), 0u);
  CHECK(!ProgressShowDue());
  BeginTransferProgress(1000, false);
  FileBytesMoved(1000);
  EndOfTransfer();
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
  REQUIRE(Requests().Begin(Kind::kDelete));
  Requests().Handle(Event::kDone);  // the connect completed: the delete is refused at once
  CHECK_EQ(REQUESTCODE.load(), kIdle);
  REQUIRE(g_boxes.size() == 1u);
  CHECK(g_boxes[0].rfind("VTFTP Client Error: ", 0) == 0);
  CHECK(g_boxes[0].size() > std::string("VTFTP Client Error: ").size());

  BeginTransferProgress(100, false);
  FileBytesMoved(40);
  Set(g.xferlocalfile, "C:/nowhere/a.txt");
  REQUIRE(Requests().Begin(Kind::kGet));
  Requests().Handle(Event::kDone);
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
