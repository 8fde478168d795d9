// The client's transfer progress and error texts without a server: which byte counts the
// progress step adds, the percentage it computes on the decimal stack (expected size 0, sizes
// past 2 GiB), the end of a transfer, and the texts of library, system and server errors.
#include <string>
#include <thread>

#include "app/globals.h"
#include "app/status_callback.h"
#include "runtime/wsl/runtime_lock.h"
#include "support/check.h"
#include "wsl_window_support.h"

using namespace ftpcl;

namespace {

// The window layer's initialisers make the runtime lock; no window is opened (status texts
// and the display then reach nothing).
void Setup() { wsltest::Setup(); }

// A transfer of `size` bytes about to start, as the Get and Put handlers leave it.
void NewTransfer(std::int32_t size) {
  g.xferstarted = 0;
  g.xfertotal = 0;
  g.skipcount = 0;
  g.percentcomplete = 0;
  g.xfersize = size;
}

}  // namespace

TEST_CASE("progress: the first three counts of a transfer are not added") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  NewTransfer(1000);
  for (int i = 0; i < 3; ++i) ProgressStep(100);
  CHECK_EQ(g.xfertotal, 0);
  CHECK_EQ(g.percentcomplete, 0);
  ProgressStep(250);
  CHECK_EQ(g.xfertotal, 250);
  CHECK_EQ(g.percentcomplete, 25);
  ProgressStep(750);
  CHECK_EQ(g.xfertotal, 1000);
  CHECK_EQ(g.percentcomplete, 100);
}

TEST_CASE("progress: a small transfer shows nothing until its end resets the bar") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  NewTransfer(10);
  REQUESTCODE = kGetRunning;
  ProgressStep(0);
  ProgressStep(10);
  ProgressStep(0);
  CHECK_EQ(g.percentcomplete, 0);
  EndOfTransfer();
  CHECK_EQ(REQUESTCODE.load(), kIdle);
  CHECK_EQ(g.xferstarted, 0);
  CHECK_EQ(g.percentcomplete, 0);
  // The next transfer starts counting afresh.
  g.xfersize = 100;
  for (int i = 0; i < 3; ++i) ProgressStep(40);
  ProgressStep(40);
  CHECK_EQ(g.xfertotal, 40);
  CHECK_EQ(g.percentcomplete, 40);
}

TEST_CASE("progress: expected size 0 keeps the percentage at 0") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  NewTransfer(0);
  for (int i = 0; i < 6; ++i) ProgressStep(4096);
  CHECK_EQ(g.xfertotal, 3 * 4096);
  CHECK_EQ(g.percentcomplete, 0);
}

TEST_CASE("progress: sizes between 2 and 4 GiB give the right percentage") {
  Setup();
  vel::wsl::RuntimeLockGuard lock;
  const std::uint32_t three_gib = 3u << 30;
  NewTransfer(static_cast<std::int32_t>(three_gib));
  for (int i = 0; i < 3; ++i) ProgressStep(1);
  ProgressStep(1u << 30);
  CHECK_EQ(g.percentcomplete, 33);
  ProgressStep(1u << 30);
  ProgressStep(1u << 29);  // 2.5 GiB of 3: past the signed range
  CHECK_EQ(static_cast<std::uint32_t>(g.xfertotal), 5u << 29);
  CHECK_EQ(g.percentcomplete, 83);
}

// Data notifications between two showings are counted on the notification thread without
// the lock; the percentage follows with the next one that holds it.
TEST_CASE("progress: without the runtime lock counts are kept, the percentage waits") {
  Setup();
  NewTransfer(100);
  std::thread notifications([] {
    for (int i = 0; i < 3; ++i) ProgressStep(1);
    ProgressStep(50);
  });
  {
    vel::wsl::RuntimeLockReleased released;  // as the window thread does while it waits
    notifications.join();
  }
  CHECK_EQ(g.xfertotal, 50);
  CHECK_EQ(g.percentcomplete, 0);
  vel::wsl::RuntimeLockGuard lock;
  ProgressStep(10);
  CHECK_EQ(g.percentcomplete, 60);
}

TEST_CASE("error texts: the library's table, the system's for other codes, none for unknown ones") {
  Setup();
  CHECK_EQ(ErrorText(ERROR_INTERNET_NAME_NOT_RESOLVED).empty(), false);
  CHECK(ErrorText(ERROR_INTERNET_NAME_NOT_RESOLVED) != ErrorText(ERROR_INTERNET_CANNOT_CONNECT));
  const std::string invalid = ErrorText(ERROR_INVALID_PARAMETER);
  CHECK(!invalid.empty());
  CHECK(invalid.back() != '\n' && invalid.back() != ' ');
  CHECK_EQ(ErrorText(0x2FFFFFFF), std::string());
  // 12003 stands for the server's last response, none on this thread yet.
  CHECK_EQ(ErrorText(ERROR_INTERNET_EXTENDED_ERROR), std::string());
}
