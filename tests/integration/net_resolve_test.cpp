// A connect whose name look-up hangs in the resolver. No loopback-only machine has a resolver
// that never answers, so the look-up is replaced (net/ftp_resolve.h) by one that blocks for one
// name until the case lets it go, and answers late with an address that would connect.
//
// Closing the connect's handle must end it at once (its 100, cancelled, then its 70, while the
// look-up still hangs), the session must take a new connect meanwhile, and the look-up's late
// answer must bring nothing: no "name resolved", no connect. The connect time-out bounds the
// wait as well.
#include <cstring>

#include "integration/fake_ftpd.h"
#include "integration/net_support.h"
#include "net/ftp_resolve.h"
#include "support/check.h"

using namespace nettest;

namespace {

constexpr const char* kHangingName = "hangs.resolver.test";
constexpr DWORD kWaitMs = 10000;  // far beyond a slice: only a connect that waits for the look-up misses it

HANDLE g_entered = CreateEventA(nullptr, FALSE, FALSE, nullptr);
HANDLE g_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // never closed: late look-ups wait on it

int HangingLookup(const std::string& host, const std::string& service, std::vector<sockaddr_storage>* out) {
  if (host != kHangingName) return vel::net::SystemNameLookup(host, service, out);
  SetEvent(g_entered);
  WaitForSingleObject(g_release, INFINITE);
  return vel::net::SystemNameLookup("127.0.0.1", service, out);
}

// The hanging look-up in force for one case; released (and the real one back) at its end.
struct HangingResolver {
  HangingResolver() {
    ResetEvent(g_release);
    vel::net::SetNameLookup(HangingLookup);
  }
  ~HangingResolver() {
    SetEvent(g_release);
    vel::net::SetNameLookup(nullptr);
  }
};

HINTERNET AsyncSession() {
  HINTERNET s = InternetOpenA("resolve", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  InternetSetStatusCallback(s, Recorder::Callback);
  return s;
}

// Issues an asynchronous connect to `server`; true when it went pending.
bool StartConnect(HINTERNET session, const std::string& server) {
  HINTERNET h = InternetConnectA(session, server.c_str(), 0, "user", "pw", INTERNET_SERVICE_FTP, 0, 1);
  return h == nullptr && GetLastError() == ERROR_IO_PENDING;
}

// The handle a connect announced (its 60), from the notes so far.
HINTERNET Announced(const std::vector<Note>& notes) {
  for (const Note& n : notes)
    if (n.code == INTERNET_STATUS_HANDLE_CREATED) return reinterpret_cast<HINTERNET>(n.result.dwResult);
  return nullptr;
}

bool Has(const std::vector<Note>& notes, HINTERNET h, DWORD code) {
  for (const Note& n : notes)
    if (n.handle == h && n.code == code) return true;
  return false;
}

// Waits until the notes gathered (from `*seen` on) hold `code` for `h`.
bool WaitFor(Recorder& rec, std::vector<Note>* seen, HINTERNET h, DWORD code) {
  for (DWORD waited = 0; waited < kWaitMs; waited += 20) {
    for (Note& n : rec.Take()) seen->push_back(n);
    if (Has(*seen, h, code)) return true;
    Sleep(20);
  }
  return false;
}

}  // namespace

TEST_CASE("resolver: a connect hanging in the look-up is abandoned by its close; the late answer brings nothing") {
  HangingResolver hanging;
  Recorder rec;
  HINTERNET session = AsyncSession();
  REQUIRE(StartConnect(session, kHangingName));
  REQUIRE(WaitForSingleObject(g_entered, kWaitMs) == WAIT_OBJECT_0);
  std::vector<Note> seen = rec.Take();
  HINTERNET abandoned = Announced(seen);
  REQUIRE(abandoned != nullptr);
  CHECK(Has(seen, abandoned, INTERNET_STATUS_RESOLVING_NAME));

  // The close returns, and the connect ends as cancelled while the look-up still hangs.
  CHECK(InternetCloseHandle(abandoned));
  INTERNET_ASYNC_RESULT r{};
  CHECK(rec.WaitComplete(&r, kWaitMs));
  CHECK_EQ(r.dwError, static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
  CHECK(WaitFor(rec, &seen, abandoned, INTERNET_STATUS_HANDLE_CLOSING));

  // The session connects elsewhere meanwhile.
  FakeFtpd server(LoginSteps());
  REQUIRE(server.Ok());
  REQUIRE(StartConnect(session, "127.0.0.1:" + std::to_string(server.Port())));
  CHECK(rec.WaitComplete(&r, kWaitMs));
  CHECK_EQ(r.dwError, 0u);
  HINTERNET other = reinterpret_cast<HINTERNET>(r.dwResult);
  CHECK(other != nullptr && other != abandoned);

  // The look-up answers now: nothing more of the abandoned connect.
  rec.Take();
  SetEvent(g_release);
  Sleep(500);
  const std::vector<Note> late = rec.Take();
  for (const Note& n : late) CHECK(n.handle != abandoned);
  if (other) InternetCloseHandle(other);
  InternetCloseHandle(session);
}

TEST_CASE("resolver: the connect time-out ends a look-up the resolver never answers") {
  HangingResolver hanging;
  Recorder rec;
  HINTERNET session = AsyncSession();
  DWORD ms = 1000;
  REQUIRE(InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms));
  REQUIRE(StartConnect(session, kHangingName));
  INTERNET_ASYNC_RESULT r{};
  CHECK(rec.WaitComplete(&r, kWaitMs));
  CHECK_EQ(r.dwError, static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
  CHECK(WaitForSingleObject(g_release, 0) == WAIT_TIMEOUT);  // answered by the time-out, not the look-up
  const std::vector<Note> notes = rec.Take();
  HINTERNET h = Announced(notes);
  CHECK(!Has(notes, h, INTERNET_STATUS_NAME_RESOLVED));
  if (h) InternetCloseHandle(h);
  InternetCloseHandle(session);
}
