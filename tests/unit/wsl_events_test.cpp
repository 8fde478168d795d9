// Events and the ACCEPT loop on real windows: the order of posted and pending events, results
// of the body, stale EVENT:Selected, alert keys, the timer, program codes across runtime
// threads, a thread the runtime did not start working on the window while its loop runs
// (many rounds, no deadlock), and the shutdown wait.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/core/decimal.h"
#include "runtime/core/runtime_guard.h"
#include "runtime/core/string_stack.h"
#include "runtime/data/queue.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/message_dialog.h"
#include "runtime/wsl/properties.h"
#include "runtime/wsl/runtime_lock.h"
#include "support/check.h"
#include "wsl_window_support.h"

using namespace vel::wsl;
using wsltest::kModule;

namespace {

// A watchdog: a deadlock ends the program with a message instead of hanging the suite.
struct Watchdog {
  explicit Watchdog(int seconds, const char* what) {
    thread = std::thread([this, seconds, what] {
      for (int i = 0; i < seconds * 10 && !done; ++i) Sleep(100);
      if (!done) {
        std::printf("DEADLOCK or hang: %s\n", what);
        std::fflush(stdout);
        ExitProcess(3);
      }
    });
  }
  ~Watchdog() {
    done = true;
    thread.join();
  }
  std::atomic<bool> done{false};
  std::thread thread;
};

Window* OpenMain(wsltest::Variables* vars) {
  *vars = wsltest::MakeVariables(kModule, "P33$WINDOW");
  Window* w = nullptr;
  WindowOpen(&w, kModule, "P33$WINDOW", vars->addresses.data());
  return w;
}

// Runs the loop, recording every event code until `stop` is seen (the loop is left) or the
// loop ends by itself.
std::vector<int> Collect(int stop, int limit = 50) {
  std::vector<int> seen;
  while (Accept()) {
    const int code = EventCode();
    if (code == kEvSuspend || code == kEvResume || code == kEvLoseFocus || code == kEvGainFocus ||
        code == kEvSelected)
      continue;
    seen.push_back(code);
    if (code == stop || static_cast<int>(seen.size()) >= limit) break;
  }
  return seen;
}

}  // namespace

TEST_CASE("events: codes with no current event, names and trace texts") {
  wsltest::Setup();
  CHECK_EQ(EventCode(), 0);
  CHECK_EQ(EventField(), 0);
  CHECK_EQ(std::string(EventName(0x1401)), std::string("EVENT:Accepted"));
  CHECK_EQ(std::string(EventName(0x1603)), std::string("EVENT:OpenWindow"));
  CHECK_EQ(std::string(EventName(0x241C)), std::string("QUERY_CONTINUETHREAD"));
  CHECK(EventName(0x1607) == nullptr);  // 0x207 has no event
  CHECK_EQ(EventTraceText(0x1401), std::string("EVENT:Accepted (5121 (01401H))"));
  CHECK_EQ(EventTraceText(0x1800), std::string("6144 (01800H)"));
}

TEST_CASE("events: two posts before a turn keep their order; program codes pass unchanged") {
  wsltest::Setup();
  Watchdog dog(60, "post order");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  PostEvent(0x400);
  PostEvent(0x401, 2);
  std::vector<int> seen;
  int field_of_401 = -1;
  while (Accept()) {
    if (EventCode() == kEvSelected) continue;  // the focus moving to the first control
    seen.push_back(EventCode());
    if (EventCode() == 0x401) {
      field_of_401 = EventField();
      break;
    }
  }
  REQUIRE(seen.size() == 3u);
  CHECK_EQ(seen[0], kEvOpenWindow);
  CHECK_EQ(seen[1], 0x400);
  CHECK_EQ(seen[2], 0x401);
  CHECK_EQ(field_of_401, 2);
  WindowClose(&w);
}

TEST_CASE("events: pending events come before those still in the platform queue") {
  wsltest::Setup();
  Watchdog dog(60, "pending first");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  CHECK(Accept());
  CHECK_EQ(EventCode(), kEvOpenWindow);
  PostWindowEvent(w, kEventBase + 0x410, nullptr);        // through the platform queue
  PostWindowEvent(w, kEventBase + 0x411, nullptr, true);  // straight onto the pending list
  const std::vector<int> seen = Collect(0x410);
  REQUIRE(seen.size() == 2u);
  CHECK_EQ(seen[0], 0x411);
  CHECK_EQ(seen[1], 0x410);
  WindowClose(&w);
}

TEST_CASE("events: an early-ended CloseWindow keeps the window open, one run to its end closes it") {
  wsltest::Setup();
  Watchdog dog(60, "close window");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  HWND hwnd = w->hwnd;
  PostEvent(kEvCloseWindow);
  int closes = 0;
  std::vector<int> seen;
  while (Accept()) {
    if (EventCode() == kEvSelected) continue;
    seen.push_back(EventCode());
    if (EventCode() == kEvCloseWindow) {
      if (++closes == 1) {
        PostEvent(0x400);
        AcceptCycle();  // refuses the close
        continue;
      }
    }
    if (EventCode() == 0x400) {
      CHECK(IsWindow(hwnd));
      CHECK(w->IsOpen());
      SendMessageA(hwnd, WM_CLOSE, 0, 0);  // the user's close: EVENT:CloseWindow again
    }
  }
  CHECK_EQ(closes, 2);
  CHECK(!IsWindow(hwnd));  // the loop ended and carried out the close
  CHECK(!w->IsOpen());
  REQUIRE(seen.size() == 4u);
  CHECK_EQ(seen[0], kEvOpenWindow);
  CHECK_EQ(seen[1], kEvCloseWindow);
  CHECK_EQ(seen[2], 0x400);
  CHECK_EQ(seen[3], kEvCloseWindow);
  WindowClose(&w);
}

TEST_CASE("events: a stale EVENT:Selected is never seen; the delivered one sets the selected field") {
  wsltest::Setup();
  Watchdog dog(60, "selected");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  CHECK(Accept());  // EVENT:OpenWindow
  SelectField(5);   // focus to ?PROXY: EVENT:Selected for field 5 is posted
  SelectField(7);   // focus moves on before the loop turns: field 5's event is stale
  PostEvent(0x400);
  std::vector<int> selected_fields;
  while (Accept()) {
    if (EventCode() == kEvSelected) selected_fields.push_back(EventField());
    if (EventCode() == 0x400) break;
  }
  REQUIRE(selected_fields.size() >= 1u);
  for (int f : selected_fields) CHECK(f != 5);
  CHECK_EQ(selected_fields.back(), 7);
  PostEvent(0x401);
  Collect(0x401);
  CHECK_EQ(SelectedField(), 7);
  WindowClose(&w);
}

TEST_CASE("events: buttons, entries, alert keys of lists, LastKeyCode") {
  wsltest::Setup();
  Watchdog dog(60, "controls");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  CHECK(Accept());
  // A pressed button is accepted.
  PostMessageA(w->hwnd, WM_COMMAND, MAKEWPARAM(0x4000 + 20, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(w->hwnd, 0x4000 + 20)));
  // ?LIST1's right button and double click are alert keys 2 and 5; ?LIST4 has none.
  PostMessageA(GetDlgItem(w->hwnd, 0x4000 + 25), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
  PostMessageA(GetDlgItem(w->hwnd, 0x4000 + 31), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
  PostMessageA(GetDlgItem(w->hwnd, 0x4000 + 25), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  // The controls' events are posted while those messages are dispatched: wait for three.
  struct Seen { int code, field, key, accepted; };
  std::vector<Seen> seen;
  while (seen.size() < 3 && Accept()) {
    if (EventCode() == kEvSelected) continue;
    seen.push_back({EventCode(), EventField(), LastKeyCode(), AcceptedField()});
  }
  REQUIRE(seen.size() == 3u);
  CHECK_EQ(seen[0].code, kEvAccepted);
  CHECK_EQ(seen[0].field, 20);
  CHECK_EQ(seen[0].accepted, 20);
  CHECK_EQ(seen[1].code, kEvAlertKey);
  CHECK_EQ(seen[1].field, 25);
  CHECK_EQ(seen[1].key, 2);
  CHECK_EQ(seen[1].accepted, 0);
  CHECK_EQ(seen[2].code, kEvAlertKey);
  CHECK_EQ(seen[2].key, 5);
  // LastKeyCode keeps 11 bits; no further event came from ?LIST4.
  PostEvent(0x401);
  CHECK(Accept());
  CHECK(EventCode() == 0x401 || EventCode() == kEvSelected);
  SetLastKeyCode(0x801);
  CHECK_EQ(LastKeyCode(), 1);
  // An entry edited and left is accepted with its new value in the variable.
  HWND entry = GetDlgItem(w->hwnd, 0x4000 + 7);
  SetFocus(entry);
  SetWindowTextA(entry, "ftp.typed");
  SendMessageA(entry, EM_SETMODIFY, TRUE, 0);
  SetFocus(GetDlgItem(w->hwnd, 0x4000 + 9));
  PostEvent(0x402);
  int accepted = 0;
  while (Accept()) {
    if (AcceptedField() == 7) {
      ++accepted;
      CHECK_EQ(std::string(static_cast<char*>(vars.addresses[2])), std::string("ftp.typed"));
    }
    if (EventCode() == 0x402) break;
  }
  CHECK_EQ(accepted, 1);
  WindowClose(&w);
}

TEST_CASE("events: a click made while a message box is up in the body is delivered afterwards") {
  wsltest::Setup();
  Watchdog dog(60, "click during a message box");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  CHECK(Accept());
  CHECK_EQ(EventCode(), kEvOpenWindow);
  // From inside the body: a box, during which a person presses "--- Get --->", then OK.
  const HWND main = w->hwnd;
  std::thread person([main] {
    HWND box = nullptr;
    for (int i = 0; i < 2000 && !box; ++i, Sleep(5)) box = FindWindowA("#32770", "Box in the body");
    if (!box) return;
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(0x4000 + 20, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(main, 0x4000 + 20)));
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  });
  CHECK_EQ(MessageDialog("Working", "Box in the body", "", "1", 1, false), 1);
  person.join();
  CHECK_EQ(EventCode(), kEvOpenWindow);  // still this iteration's event
  const std::vector<int> seen = Collect(kEvAccepted, 5);
  REQUIRE(!seen.empty());
  CHECK_EQ(seen.back(), kEvAccepted);
  CHECK_EQ(EventField(), 20);
  WindowClose(&w);
}

TEST_CASE("events: LastKeyCode is the key or mouse button that triggered the event") {
  wsltest::Setup();
  Watchdog dog(60, "key codes");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  CHECK(Accept());
  // "--- Get --->" clicked with the left button (1), then pressed with the space bar (32).
  HWND get = GetDlgItem(w->hwnd, 0x4000 + 20);
  PostMessageA(get, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageA(get, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  std::vector<int> keys;
  while (keys.size() < 2 && Accept()) {
    if (AcceptedField() != 20) continue;
    keys.push_back(LastKeyCode());
    if (keys.size() == 1) {
      PostMessageA(get, WM_KEYDOWN, VK_SPACE, 1);
      PostMessageA(get, WM_KEYUP, VK_SPACE, 0xC0000001);
    }
  }
  CHECK(keys == (std::vector<int>{1, VK_SPACE}));
  WindowClose(&w);
}

TEST_CASE("events: a spin box steps its variable within its range; a typed number is accepted") {
  wsltest::Setup();
  Watchdog dog(60, "spin box");
  std::int32_t count = 7;
  char other[20] = "x";
  void* vars[] = {&count, other, nullptr};
  Window* w = nullptr;
  WindowOpen(&w, "NODOLLAR_MODULE", "SPIN$WINDOW", vars);
  REQUIRE(w);
  CHECK(Accept());
  HWND spin = GetDlgItem(w->hwnd, 0x4001);
  HWND edit = GetDlgItem(spin, 1);
  REQUIRE(edit != nullptr);
  CHECK_EQ(wsltest::ClassOf(spin), std::string("VelSpin"));
  CHECK_EQ(wsltest::TextOf(spin), std::string("7"));
  // The Up and Down keys step by 2 within 0..10: 9, 10 (not 11), 8.
  for (WPARAM key : {VK_UP, VK_UP, VK_DOWN}) SendMessageA(edit, WM_KEYDOWN, key, 1);
  CHECK_EQ(count, 8);
  CHECK_EQ(wsltest::TextOf(spin), std::string("8"));
  // Typed and left: the number goes to the variable within the range, then EVENT:Accepted.
  SetFocus(edit);
  SetWindowTextA(edit, "25");
  SendMessageA(edit, EM_SETMODIFY, TRUE, 0);
  SetFocus(GetDlgItem(w->hwnd, 0x4002));
  int steps = 0, accepted = 0;
  while (!accepted && Accept()) {
    if (EventCode() == kEvNewSelection && EventField() == 1) ++steps;
    if (AcceptedField() == 1) ++accepted;
  }
  CHECK_EQ(steps, 3);
  CHECK_EQ(count, 10);
  CHECK_EQ(wsltest::TextOf(spin), std::string("10"));
  WindowClose(&w);
}

TEST_CASE("events: the window timer, at most one EVENT:Timer waiting") {
  wsltest::Setup();
  Watchdog dog(60, "timer");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  PropertySet(w, 0, PropertyCode("Timer"), "2");  // 20 ms
  int timers = 0;
  bool slept = false;
  while (Accept()) {
    if (EventCode() != kEvTimer) continue;
    if (!slept) {
      Sleep(200);  // ten ticks pass while the body runs: one event follows, not ten
      slept = true;
      CHECK(w->loop.pending.size() <= 1u);
    }
    if (++timers == 3) break;
  }
  CHECK_EQ(timers, 3);
  PropertySet(w, 0, PropertyCode("Timer"), "0");
  WindowClose(&w);
}

namespace {

struct OtherThread {
  std::atomic<int> number{0};
  std::atomic<bool> open{false};
  std::atomic<bool> done{false};
  std::atomic<int> got{0};
  std::atomic<int> got_field{-1};
};

void OtherThreadBody(void* p) {
  auto* t = static_cast<OtherThread*>(p);
  t->number = ThreadNumber();
  wsltest::Variables vars = wsltest::MakeVariables(kModule, "P27$WINDOW");
  Window* w = nullptr;
  WindowOpen(&w, kModule, "P27$WINDOW", vars.addresses.data());
  t->open = w != nullptr;
  while (Accept()) {
    if (EventCode() >= 0x400) {
      t->got = EventCode();
      t->got_field = EventField();
      break;
    }
  }
  WindowClose(&w);
  t->done = true;
}

// Waits with the runtime lock given up, so the other runtime thread can run.
template <typename Pred>
bool WaitReleased(Pred pred, int ms = 20000) {
  RuntimeLockReleased released;
  for (int i = 0; i < ms / 5 && !pred(); ++i) Sleep(5);
  return pred();
}

}  // namespace

TEST_CASE("threads: 0x400 posted to another runtime thread arrives there unchanged") {
  wsltest::Setup();
  Watchdog dog(60, "post to another thread");
  static OtherThread t;
  REQUIRE(StartThread(OtherThreadBody, &t));
  REQUIRE(WaitReleased([] { return t.open.load(); }));
  CHECK(t.number > 1);
  PostEvent(0x400, 3, t.number);
  REQUIRE(WaitReleased([] { return t.done.load(); }));
  CHECK_EQ(t.got.load(), 0x400);
  CHECK_EQ(t.got_field.load(), 3);
  // A thread without a window: the post is dropped.
  PostEvent(0x400, 0, 40);
  PostEvent(0x400, 0, 0);  // this thread has no window either
  WaitForOtherThreads();
}

namespace {

std::atomic<bool> g_driver_stop{false};

// Presses OK on every box with the given caption, as a person would.
void DriveBoxes(const char* caption) {
  while (!g_driver_stop) {
    HWND box = FindWindowA("#32770", caption);
    if (box && IsWindowVisible(box))
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    Sleep(5);
  }
}

}  // namespace

TEST_CASE("threads: a thread the runtime did not start works on the window while its loop runs") {
  wsltest::Setup();
  Watchdog dog(120, "foreign thread");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  const int main_thread = ThreadNumber();
  constexpr int kRounds = 300;
  constexpr int kBoxes = 5;
  std::atomic<int> boxes_answered{0};
  g_driver_stop = false;
  std::thread driver(DriveBoxes, "From the callback");
  // The FTP library's notification thread does this: status texts, a target window and
  // DisplayFields, posts to the window thread, message boxes.
  std::thread foreign([&] {
    CHECK_EQ(ThreadNumber(), 0);
    for (int i = 0; i < kRounds; ++i) {
      PropertySet(w, 0, PropertyCode("StatusText"), 1, "round " + std::to_string(i));
      SetTargetWindow(nullptr, main_thread);
      DisplayFields();
      PostEvent(0x400, 0, main_thread);
      if (i % (kRounds / kBoxes) == 0 && MessageDialog("Done", "From the callback", "", "1", 1, false) == 1)
        ++boxes_answered;
    }
    PostEvent(0x401, 0, main_thread);
  });
  int posted = 0;
  while (Accept()) {
    if (EventCode() == 0x400) {
      ++posted;
      // The window thread works on the same window meanwhile.
      PropertySet(w, 0, PropertyCode("StatusText"), 2, std::to_string(posted));
      DisplayFields(5, 11);
    }
    if (EventCode() == 0x401) break;
  }
  foreign.join();
  g_driver_stop = true;
  driver.join();
  CHECK_EQ(posted, kRounds);
  CHECK_EQ(boxes_answered.load(), kBoxes);
  CHECK_EQ(PropertyGet(w, 0, PropertyCode("StatusText"), 1), "round " + std::to_string(kRounds - 1));
  WindowClose(&w);
}

// The FTP library's close: the window thread gives the lock up and waits, without looking at
// its messages, for a worker whose callback meanwhile took the lock and sent to the window
// (a status text, the progress bar). When the wait ends the window thread takes the lock back:
// it must answer the message that has been waiting, or the two threads block each other.
TEST_CASE("threads: taking the lock back answers a message sent during a plain wait") {
  wsltest::Setup();
  Watchdog dog(60, "a message sent while the window thread sat in a plain wait");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  const int main_thread = ThreadNumber();
  for (int round = 0; round < 10; ++round) {
    std::mutex m;
    std::condition_variable cv;
    bool holding = false, finished = false;
    const int depth = RuntimeLockSuspend();
    std::thread foreign([&] {
      RuntimeLockGuard lock;
      {
        std::lock_guard<std::mutex> l(m);
        holding = true;
      }
      cv.notify_all();
      PropertySet(w, 0, PropertyCode("StatusText"), 1, "round " + std::to_string(round));
      SetTargetWindow(nullptr, main_thread);
      DisplayFields();
      std::lock_guard<std::mutex> l(m);
      finished = true;
    });
    {
      std::unique_lock<std::mutex> l(m);
      cv.wait(l, [&] { return holding; });
      // A bounded wait for the worker, as a close does; the worker cannot finish meanwhile.
      CHECK(!cv.wait_for(l, std::chrono::milliseconds(200), [&] { return finished; }));
    }
    RuntimeLockResume(depth);
    foreign.join();
    CHECK(finished);
  }
  CHECK_EQ(PropertyGet(w, 0, PropertyCode("StatusText"), 1), std::string("round 9"));
  WindowClose(&w);
}

namespace {

void LoopUntilClosed(void* p) {
  auto* t = static_cast<OtherThread*>(p);
  wsltest::Variables vars = wsltest::MakeVariables(kModule, "P21$WINDOW");
  Window* w = nullptr;
  WindowOpen(&w, kModule, "P21$WINDOW", vars.addresses.data());
  t->open = true;
  while (Accept()) {
  }
  WindowClose(&w);
  t->done = true;
}

}  // namespace

TEST_CASE("shutdown: other threads' windows are asked to close and the main thread waits for them") {
  wsltest::Setup();
  Watchdog dog(60, "shutdown wait");
  static OtherThread a, b;
  REQUIRE(StartThread(LoopUntilClosed, &a));
  REQUIRE(StartThread(LoopUntilClosed, &b));
  REQUIRE(WaitReleased([] { return a.open.load() && b.open.load(); }));
  ShutdownWindows();
  CHECK(a.done && b.done);
  CHECK(!EventDelivery());
  // While shutting down nothing is posted.
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  CHECK(w->loop.pending.empty());
  PostEvent(0x400);
  wsltest::Pump();
  CHECK(w->loop.pending.empty());
  WindowClose(&w);
  SetEventDelivery(true);
}

namespace {
std::atomic<int> g_other_depth{-1};
std::atomic<bool> g_other_done{false};
}  // namespace

TEST_CASE("threads: the string and decimal stacks go with their thread at a hand-over") {
  wsltest::Setup();
  Watchdog dog(60, "stack hand-over");
  vel::StackPushCString("main value");
  const int depth = vel::StackDepth();
  REQUIRE(StartThread(
      [](void*) {
        g_other_depth = vel::StackDepth();   // a new thread starts with an empty stack
        vel::StackPushCString("other value");  // left there: dropped when the thread ends
        g_other_done = true;
      },
      nullptr));
  REQUIRE(WaitReleased([] { return g_other_done.load(); }));
  WaitForOtherThreads();
  CHECK_EQ(g_other_depth.load(), 0);
  CHECK_EQ(vel::StackDepth(), depth);
  char text[32];
  vel::StackPopToCString(text, sizeof text);
  CHECK_EQ(std::string(text), std::string("main value"));
}

namespace {
// 24894617678287768676944.36 as a double: 2489461767828776 x 10^7 rounded once; at the x87's
// 64-bit precision it comes out one unit in the last place lower.
constexpr double kExactReal = 24894617678287760000000.0;
double ConvertReal() {
  vel::DecPushText("24894617678287768676944.36");
  return vel::DecPopReal();
}
void UseExtendedPrecision() {
  const unsigned short extended = 0x037F;
  asm volatile("fldcw %0" : : "m"(extended));
}
std::atomic<bool> g_real_done{false};
double g_real_started = 0, g_real_foreign = 0;
}  // namespace

TEST_CASE("threads: every thread that runs runtime code converts reals at double precision") {
  wsltest::Setup();
  Watchdog dog(60, "FPU control word");
  {
    RuntimeLockReleased released;  // whatever ran meanwhile left 64-bit precision behind
    UseExtendedPrecision();
  }
  CHECK_EQ(ConvertReal(), kExactReal);
  REQUIRE(StartThread(
      [](void*) {
        g_real_started = ConvertReal();
        g_real_done = true;
      },
      nullptr));
  REQUIRE(WaitReleased([] { return g_real_done.load(); }));
  WaitForOtherThreads();
  CHECK_EQ(g_real_started, kExactReal);
  // A thread of the C runtime's thread library, as the FTP library's callback thread is.
  std::thread foreign([] {
    UseExtendedPrecision();
    vel::RuntimeGuard lock;
    g_real_foreign = ConvertReal();
  });
  {
    RuntimeLockReleased released;
    foreign.join();
  }
  CHECK_EQ(g_real_foreign, kExactReal);
}

TEST_CASE("windows: a dialog opened from the body runs its own loop, modal to the main window") {
  wsltest::Setup();
  Watchdog dog(60, "nested dialog");
  wsltest::Variables vars, dialog_vars;
  Window* main_window = OpenMain(&vars);
  REQUIRE(main_window);
  PostEvent(0x400);
  std::vector<int> inner;
  bool main_disabled_meanwhile = false;
  int after = 0;
  while (Accept()) {
    if (EventCode() == 0x400) {
      dialog_vars = wsltest::MakeVariables(kModule, "P21$WINDOW");
      Window* dialog = nullptr;
      WindowOpen(&dialog, kModule, "P21$WINDOW", dialog_vars.addresses.data());
      REQUIRE(dialog);
      CHECK(ThreadTopWindow(ThreadNumber()) == dialog);
      main_disabled_meanwhile = !IsWindowEnabled(main_window->hwnd);
      PostEvent(0x401);  // to the thread's top window: the dialog
      while (Accept()) {
        if (EventCode() == kEvSelected) continue;
        inner.push_back(EventCode());
        if (EventCode() == 0x401) PostEvent(kEvCloseWindow);
      }
      CHECK(!dialog->IsOpen());  // the accepted close was carried out when its loop ended
      WindowClose(&dialog);
      CHECK(ThreadTopWindow(ThreadNumber()) == main_window);
      PostEvent(0x402);
    }
    if (EventCode() == 0x402) {
      after = 0x402;
      break;
    }
  }
  CHECK(main_disabled_meanwhile);
  CHECK(IsWindowEnabled(main_window->hwnd));
  REQUIRE(inner.size() == 3u);
  CHECK_EQ(inner[0], kEvOpenWindow);
  CHECK_EQ(inner[1], 0x401);
  CHECK_EQ(inner[2], kEvCloseWindow);
  CHECK_EQ(after, 0x402);
  WindowClose(&main_window);
}

namespace {

struct PingPong {
  std::atomic<int> number{0};
  std::atomic<bool> open{false};
  std::atomic<bool> done{false};
  std::vector<int> seen;  // written by the other thread until done
};

void PongThread(void* p) {
  auto* t = static_cast<PingPong*>(p);
  t->number = ThreadNumber();
  wsltest::Variables vars = wsltest::MakeVariables(kModule, "P27$WINDOW");
  Window* w = nullptr;
  WindowOpen(&w, kModule, "P27$WINDOW", vars.addresses.data());
  t->open = true;
  while (Accept()) {
    const int code = EventCode();
    if (code == kEvSelected || code == kEvLoseFocus || code == kEvGainFocus) continue;
    t->seen.push_back(code);
    if (code == 0x400) PostEvent(0x401, 0, 1);  // answer the main thread
    if (code == 0x402) break;
  }
  WindowClose(&w);
  t->done = true;
}

}  // namespace

TEST_CASE("threads: switching between two threads' loops suspends one and resumes the other") {
  wsltest::Setup();
  Watchdog dog(60, "suspend/resume");
  static PingPong t;
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  CHECK_EQ(ThreadNumber(), 1);
  REQUIRE(StartThread(PongThread, &t));
  std::vector<int> seen;
  while (Accept()) {
    const int code = EventCode();
    if (code == kEvSelected || code == kEvLoseFocus || code == kEvGainFocus) continue;
    seen.push_back(code);
    if (code == kEvOpenWindow) {
      while (!t.open) {
        RuntimeLockReleased released;
        Sleep(5);
      }
      PostEvent(0x400, 0, t.number);
    }
    if (code == 0x401) break;
  }
  PostEvent(0x402, 0, t.number);
  REQUIRE(WaitReleased([] { return t.done.load(); }));
  WaitForOtherThreads();
  // Main: its events, and a Resume whenever its loop ran again after the other thread's (the
  // interleaving of the two threads' first events depends on who gets the lock first).
  REQUIRE(seen.size() >= 2u);
  CHECK(std::find(seen.begin(), seen.end(), kEvOpenWindow) != seen.end());
  CHECK_EQ(seen.back(), 0x401);
  CHECK(std::find(seen.begin(), seen.end(), kEvResume) != seen.end());
  CHECK(std::find(seen.begin(), seen.end(), kEvSuspend) != seen.end());
  // The other thread saw its events and was suspended when the main thread ran again.
  CHECK(std::find(t.seen.begin(), t.seen.end(), 0x400) != t.seen.end());
  CHECK(std::find(t.seen.begin(), t.seen.end(), kEvSuspend) != t.seen.end());
  WindowClose(&w);
}

TEST_CASE("events: maximizing the window while its loop runs") {
  wsltest::Setup();
  Watchdog dog(60, "sized");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  CHECK(Accept());
  ShowWindow(w->hwnd, SW_MAXIMIZE);
  PostEvent(0x400);
  std::vector<int> seen = Collect(0x400);
  CHECK(std::find(seen.begin(), seen.end(), kEvMaximized) != seen.end());
  CHECK(std::find(seen.begin(), seen.end(), kEvSized) != seen.end());
  WindowClose(&w);
}

TEST_CASE("threads: a thread the runtime did not start fills a queue the window thread reads") {
  wsltest::Setup();
  Watchdog dog(60, "queue from a foreign thread");
  static const vel::FieldDesc kFields[] = {{"Q:N", nullptr, vel::kTypeLong, 0, 4, 0, 1, 0}};
  static const vel::RecordLayout kLayout{1, kFields};
  static std::int32_t record = 0;
  static vel::QueueBlock q{&record, &kLayout, nullptr, 4};
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  const int main_thread = ThreadNumber();
  constexpr int kRecords = 500;
  std::thread foreign([main_thread] {
    for (int i = 1; i <= kRecords; ++i) {
      {
        vel::RuntimeGuard guard;  // the record buffer and the append belong together
        record = i;
        vel::QueueAppend(&q);
      }
      if (i % 50 == 0) PostEvent(0x400, 0, main_thread);
    }
    PostEvent(0x401, 0, main_thread);
  });
  int checks = 0;
  bool consistent = true;
  while (Accept()) {
    if (EventCode() == 0x400 || EventCode() == 0x401) {
      const std::uint32_t n = vel::QueueRecords(&q);
      for (std::uint32_t i = 1; i <= n; i += 7) {
        vel::QueueGetAt(&q, static_cast<std::int32_t>(i));
        consistent &= record == static_cast<std::int32_t>(i);
      }
      ++checks;
    }
    if (EventCode() == 0x401) break;
  }
  foreign.join();
  CHECK(consistent);
  CHECK_EQ(checks, kRecords / 50 + 1);
  CHECK_EQ(vel::QueueRecords(&q), static_cast<std::uint32_t>(kRecords));
  vel::QueueDestroy(&q);
  WindowClose(&w);
}

namespace {

std::atomic<bool> g_focus_open{false}, g_focus_gained{false}, g_focus_quit{false};
std::atomic<int> g_focus_thread{0};

void FocusThread(void*) {
  g_focus_thread = ThreadNumber();
  wsltest::Variables vars = wsltest::MakeVariables(kModule, "P27$WINDOW");
  Window* w = nullptr;
  WindowOpen(&w, kModule, "P27$WINDOW", vars.addresses.data());
  SetForegroundWindow(w->hwnd);
  g_focus_open = true;
  while (Accept()) {
    if (EventCode() == kEvGainFocus) g_focus_gained = true;
    if (g_focus_gained && g_focus_quit) break;
    if (EventCode() == 0x402) break;
  }
  WindowClose(&w);
}

}  // namespace

TEST_CASE("threads: the foreground moving to another thread's window: LoseFocus here, GainFocus there") {
  wsltest::Setup();
  Watchdog dog(60, "focus");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  SetForegroundWindow(w->hwnd);
  CHECK(Accept());  // a turn with this thread in front
  REQUIRE(StartThread(FocusThread, nullptr));
  bool lost = false;
  PostEvent(0x400);
  while (Accept()) {
    if (EventCode() == kEvLoseFocus) lost = true;
    if (EventCode() == 0x400) {
      if (lost && g_focus_gained) break;
      {
        RuntimeLockReleased released;
        Sleep(10);
      }
      PostEvent(0x400);  // keep turning until both sides have seen it
    }
  }
  g_focus_quit = true;
  PostEvent(0x402, 0, g_focus_thread);
  WaitForOtherThreads();
  CHECK(lost);
  CHECK(g_focus_gained.load());
  WindowClose(&w);
}

TEST_CASE("events: a close sent from another thread arrives as EVENT:CloseWindow") {
  wsltest::Setup();
  Watchdog dog(60, "close from another thread");
  wsltest::Variables vars;
  Window* w = OpenMain(&vars);
  REQUIRE(w);
  HWND hwnd = w->hwnd;
  std::thread closer([hwnd] { SendMessageA(hwnd, WM_CLOSE, 0, 0); });
  std::vector<int> seen = Collect(kEvCloseWindow);
  closer.join();
  CHECK(!seen.empty() && seen.back() == kEvCloseWindow);
  WindowClose(&w);
}
