// Logged-in connections reused across connects: vsftpd's protocol log counts the logins.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "integration/fake_ftpd.h"
#include "integration/net_support.h"
#include "support/check.h"

using namespace nettest;

namespace {

std::string ProtocolLog(const char* name) {
  const char* dir = getenv("AFC_FTPD_DIR");
  return dir ? ReadAll(std::string(dir) + "\\" + name + "-protocol.log") : std::string();
}

// Lines of vsftpd's protocol log whose command starts with `word` ("USER", "NOOP" ...).
size_t Logged(const std::string& word, const char* server = "vsftpd") {
  const std::string log = ProtocolLog(server);
  const std::string needle = "\"" + word;
  size_t n = 0;
  for (size_t at = 0; (at = log.find(needle, at)) != std::string::npos; at += needle.size())
    if (log.compare(at - 3, 3, "\", ") == 0) ++n;
  return n;
}

// The fixture's vsftpd, with nothing of it left in the pool by an earlier case.
const Server* Vsftpd() {
  const Server* sv = FindServer("vsftpd");
  if (sv) FtpEndPooledConnectionsA(sv->Host().c_str(), 0);
  return sv;
}

struct Open {
  HINTERNET session = InternetOpenA("pooltest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ~Open() { InternetCloseHandle(session); }
  HINTERNET Connect(const std::string& host, DWORD flags = INTERNET_FLAG_PASSIVE, const char* user = nullptr,
                    const char* password = nullptr) {
    return InternetConnectA(session, host.c_str(), 0, user, password, INTERNET_SERVICE_FTP, flags, 0);
  }
};

// Logs in and closes at once: one session waits in the pool.
bool PoolOne(Open& o, const Server& sv) {
  HINTERNET c = o.Connect(sv.Host());
  if (!c) return false;
  InternetCloseHandle(c);
  return true;
}

bool Lists(HINTERNET conn) {
  WIN32_FIND_DATAA fd;
  HINTERNET f = FtpFindFirstFileA(conn, nullptr, &fd, INTERNET_FLAG_RELOAD, 0);
  if (!f) return false;
  InternetCloseHandle(f);
  return true;
}

int Threads() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 t{};
  t.dwSize = sizeof t;
  int n = 0;
  for (BOOL ok = Thread32First(snap, &t); ok; ok = Thread32Next(snap, &t))
    if (t.th32OwnerProcessID == GetCurrentProcessId()) ++n;
  CloseHandle(snap);
  return n;
}

}  // namespace

TEST_CASE("pool: connects after a clean close log in once, from any session handle") {
  const Server* sv = Vsftpd();
  REQUIRE(sv);
  const size_t users = Logged("USER");
  std::string firstReply;
  {
    Open a;
    HINTERNET c = a.Connect(sv->Host());
    REQUIRE(c);
    firstReply = LastResponseText();
    CHECK(Lists(c));
    CHECK(InternetCloseHandle(c));
  }
  Open b;  // another session handle
  HINTERNET c = b.Connect(sv->Host());
  REQUIRE(c);
  CHECK_EQ(LastResponseText(), firstReply);  // the original login's last reply
  CHECK(Lists(c));
  const std::string local = ScratchDir() + "\\got.txt";
  CHECK(FtpGetFileA(c, "pub/text.txt", local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK(InternetCloseHandle(c));
  c = b.Connect(sv->Host());
  REQUIRE(c);
  CHECK(Lists(c));
  CHECK(InternetCloseHandle(c));
  CHECK_EQ(Logged("USER") - users, size_t{1});
  CHECK_EQ(FtpEndPooledConnectionsA(sv->Host().c_str(), 0), 1ul);
  CHECK_EQ(FtpEndPooledConnectionsA(sv->Host().c_str(), 0), 0ul);
}

TEST_CASE("pool: another login, mode or password, a caller's command and a cut download each log in anew") {
  const Server* sv = Vsftpd();
  REQUIRE(sv);
  Open o;
  const size_t users = Logged("USER");
  HINTERNET c = o.Connect(sv->Host());
  REQUIRE(c);
  InternetCloseHandle(c);
  c = o.Connect(sv->Host(), 0);  // active mode: another key
  REQUIRE(c);
  InternetCloseHandle(c);
  c = o.Connect(sv->Host(), INTERNET_FLAG_PASSIVE, "veluser", "wrong");  // refused, never pooled
  CHECK(!c);
  CHECK_EQ(Logged("USER") - users, size_t{3});

  // A command of the caller's may have changed anything: that session ends with QUIT.
  c = o.Connect(sv->Host());  // the passive anonymous one from the pool
  REQUIRE(c);
  CHECK_EQ(Logged("USER") - users, size_t{3});
  CHECK(FtpCommandA(c, FALSE, 0, "CWD pub", 0, nullptr));
  InternetCloseHandle(c);
  c = o.Connect(sv->Host());
  REQUIRE(c);
  CHECK_EQ(Logged("USER") - users, size_t{4});
  CHECK(Lists(c));

  // A download left after one byte: whatever the server still owes, the session is not reused.
  HINTERNET f = FtpOpenFileA(c, "pub/mib.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
  REQUIRE(f);
  char byte;
  DWORD n = 0;
  CHECK(InternetReadFile(f, &byte, 1, &n));
  InternetCloseHandle(f);
  InternetCloseHandle(c);
  c = o.Connect(sv->Host());
  REQUIRE(c);
  InternetCloseHandle(c);
  CHECK_EQ(Logged("USER") - users, size_t{5});
  FtpEndPooledConnectionsA(sv->Host().c_str(), 0);
}

TEST_CASE("pool: an asynchronous connect right after a close reuses it with the usual notifications") {
  const Server* sv = Vsftpd();
  REQUIRE(sv);
  Recorder rec;
  HINTERNET s = InternetOpenA("pooltest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  REQUIRE(s);
  InternetSetStatusCallback(s, Recorder::Callback);
  const size_t users = Logged("USER");
  INTERNET_ASYNC_RESULT r{};
  auto connect = [&](DWORD_PTR context) {
    HINTERNET pending = InternetConnectA(s, sv->Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP,
                                         INTERNET_FLAG_PASSIVE, context);
    CHECK(!pending);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    return rec.WaitComplete(&r) && r.dwError == 0 ? reinterpret_cast<HINTERNET>(r.dwResult) : nullptr;
  };
  HINTERNET c = connect(1);
  REQUIRE(c);
  InternetCloseHandle(c);  // idle: pooled before the call returns
  rec.Clear();
  c = connect(2);
  REQUIRE(c);
  // A new handle, then the completion; no resolving, connecting or login in between. (The
  // first handle's close reports 50, 51 and 70 from its own worker, at any time meanwhile.)
  std::vector<Note> notes = rec.Take();
  std::erase_if(notes, [&](const Note& n) { return n.handle != c; });
  CHECK_EQ(Show(Folded(notes)), Show({INTERNET_STATUS_HANDLE_CREATED, INTERNET_STATUS_REQUEST_COMPLETE}));
  CHECK_EQ(Logged("USER") - users, size_t{1});
  InternetCloseHandle(c);
  InternetCloseHandle(s);
  FtpEndPooledConnectionsA(sv->Host().c_str(), 0);
}

TEST_CASE("pool: a session idle for more than 5 s answers a NOOP before it serves") {
  const Server* sv = Vsftpd();
  REQUIRE(sv);
  Open o;
  REQUIRE(PoolOne(o, *sv));
  const size_t users = Logged("USER"), noops = Logged("NOOP");
  Sleep(5500);
  HINTERNET c = o.Connect(sv->Host());
  REQUIRE(c);
  CHECK(Lists(c));
  InternetCloseHandle(c);
  CHECK_EQ(Logged("USER") - users, size_t{0});
  CHECK_EQ(Logged("NOOP") - noops, size_t{1});
  FtpEndPooledConnectionsA(sv->Host().c_str(), 0);
}

TEST_CASE("pool: a pooled connection the server closed meanwhile is never handed out") {
  // The server hangs up right after the login, while the session waits in the pool. The next
  // connect must find it dead and log in afresh - which this one-connection server never
  // answers (its greeting does not come within the time-out), rather than return a handle on a
  // closed connection.
  FakeFtpd server(With(LoginSteps(), {{Step::Close, "", ""}}));
  REQUIRE(server.Ok());
  const std::string host = "127.0.0.1:" + std::to_string(server.Port());
  Open o;
  DWORD ms = 1500;
  InternetSetOptionA(o.session, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
  HINTERNET c = o.Connect(host);
  REQUIRE(c);
  InternetCloseHandle(c);
  server.Commands();  // the script ended: the pooled connection is closed by the server
  c = o.Connect(host);
  CHECK(!c);
  if (c) InternetCloseHandle(c);
  CHECK_EQ(FtpEndPooledConnectionsA(host.c_str(), 0), 0ul);
}

TEST_CASE("pool: hundreds of connect and close cycles leak no handle, thread or connection") {
  const Server* sv = Vsftpd();
  REQUIRE(sv);
  Open o;
  REQUIRE(PoolOne(o, *sv));
  DWORD handlesBefore = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
  const int threadsBefore = Threads();
  const size_t users = Logged("USER");
  for (int i = 0; i < 300; ++i) REQUIRE(PoolOne(o, *sv));
  DWORD handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  CHECK(handlesAfter <= handlesBefore + 4);
  CHECK(Threads() <= threadsBefore + 1);
  CHECK_EQ(Logged("USER") - users, size_t{0});
  CHECK_EQ(FtpEndPooledConnectionsA(sv->Host().c_str(), 0), 1ul);
}

TEST_CASE("pool: a server that takes one connection per address, and ends idle sessions early") {
  const Server* sv = StrictVsftpd();
  REQUIRE(sv);
  const std::string host = sv->Host();
  FtpEndPooledConnectionsA(host.c_str(), 0);
  Open o;
  HINTERNET c = o.Connect(host);
  REQUIRE(c);
  InternetCloseHandle(c);  // the server's one connection from this address waits in the pool
  // Another user: the server answers the new connection "421 too many"; the pooled session is
  // ended and the login tried once more, as a user who disconnected would expect.
  c = o.Connect(host, INTERNET_FLAG_PASSIVE, "veluser", "velpass");
  REQUIRE(c);
  CHECK(Lists(c));
  InternetCloseHandle(c);
  // The server ends the pooled session after 2 s without a command: the next connect finds it
  // gone and logs in afresh instead of handing out a closed connection.
  Sleep(3000);
  const size_t users = Logged("USER", "vsftpd-strict");
  c = o.Connect(host, INTERNET_FLAG_PASSIVE, "veluser", "velpass");
  REQUIRE(c);
  CHECK(Lists(c));
  InternetCloseHandle(c);
  CHECK_EQ(Logged("USER", "vsftpd-strict") - users, size_t{1});
  FtpEndPooledConnectionsA(host.c_str(), 0);
}
