// The library's limits against servers that misbehave slowly or point it elsewhere, played by
// the scripted server: a trickle of one byte a second in the greeting, a reply and a download
// (each must end in 12002 with the receive time-out at 2 s, where the per-byte wait alone would
// let it run on), passive replies naming privileged ports (refused, nothing connected), a
// stranger reaching the active-mode data port first (refused, the transfer goes on with the
// server), a login refused after the password, and a reply that never ends.
#include <cstring>

#include "integration/fake_ftpd.h"
#include "integration/net_support.h"
#include "support/check.h"

using namespace nettest;

namespace {

constexpr DWORD kLimitMs = 2000;

// A synchronous connection with the receive and connect time-outs at kLimitMs.
struct Limited {
  HINTERNET session = nullptr, conn = nullptr;
  DWORD error = 0;
  explicit Limited(int port, DWORD flags = INTERNET_FLAG_PASSIVE) {
    session = InternetOpenA("limits", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    DWORD ms = kLimitMs;
    InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
    InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
    const std::string name = "127.0.0.1:" + std::to_string(port);
    conn = InternetConnectA(session, name.c_str(), 0, "user", "pw", INTERNET_SERVICE_FTP, flags, 0);
    error = conn ? 0 : GetLastError();
  }
  ~Limited() {
    if (conn) InternetCloseHandle(conn);
    if (session) InternetCloseHandle(session);
  }
  DWORD Get(const char* remote, const std::string& local) {
    return FtpGetFileA(conn, remote, local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0) ? 0 : GetLastError();
  }
};

bool Has(const std::vector<std::string>& commands, const char* word) {
  for (const auto& c : commands)
    if (c.compare(0, strlen(word), word) == 0) return true;
  return false;
}

// A listener on a loopback port, to learn whether anything connected to it.
struct Watch {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  bool ok = false;
  explicit Watch(int port) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    in.sin_port = htons(static_cast<u_short>(port));
    ok = bind(s, reinterpret_cast<sockaddr*>(&in), sizeof in) == 0 && listen(s, 4) == 0;
  }
  ~Watch() { closesocket(s); }
  bool Reached() {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval none{0, 0};
    return select(0, &set, nullptr, nullptr, &none) > 0;
  }
};

}  // namespace

TEST_CASE("limits: a greeting, a reply and a download trickled a byte a second end in 12002") {
  {  // the greeting: ten bytes over ten seconds; no USER may follow
    FakeFtpd f(With({{Step::Trickle, "", "220 slow\r\n"}}, {{Step::Send, "USER", "331 pw\r\n"},
                                                            {Step::Send, "PASS", "230 in\r\n"},
                                                            {Step::Send, "FEAT", "211 none\r\n"}}));
    Limited c(f.Port());
    CHECK(c.conn == nullptr);
    CHECK_EQ(c.error, static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
    CHECK(f.TrickleCut());
    CHECK(!Has(f.Commands(), "USER"));
  }
  {  // a reply: the connection is given up
    FakeFtpd f(With(LoginSteps(), {{Step::Trickle, "MKD slow", "257 made\r\n"}}));
    Limited c(f.Port());
    REQUIRE(c.conn);
    CHECK(!FtpCreateDirectoryA(c.conn, "slow"));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
    CHECK(f.TrickleCut());
    CHECK(!FtpCreateDirectoryA(c.conn, "again"));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FTP_DROPPED));
  }
  {  // a download: the local file stays as it was, even though the server says "226"
    FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                   {Step::Pasv, "PASV", ""},
                                   {Step::Send, "RETR slow.bin", "150 here it comes\r\n"},
                                   {Step::DataTrickle, "", "0123456789"},
                                   {Step::Send, "", "226 done\r\n"},
                                   {Step::Send, "MKD after", "257 \"after\" made\r\n"}}));
    Limited c(f.Port());
    REQUIRE(c.conn);
    const std::string dir = ScratchDir();
    const std::string target = dir + "\\slow.bin";
    REQUIRE(WriteAll(target, "old content"));
    CHECK_EQ(c.Get("slow.bin", target), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
    CHECK_EQ(ReadAll(target), std::string("old content"));
    CHECK_EQ(OtherFiles(dir, "slow.bin"), 0);
    CHECK(FtpCreateDirectoryA(c.conn, "after"));  // the control connection goes on
    InternetCloseHandle(c.conn);
    c.conn = nullptr;
    CHECK(f.TrickleCut());
    CHECK(!f.Mismatch());
  }
}

TEST_CASE("limits: a passive reply naming a privileged port is refused, nothing connects to it") {
  {  // PASV naming port 1021 (3 * 256 + 253)
    Watch w(1021);
    if (!w.ok) std::printf("  port 1021 not watched (no right to listen on it)\n");
    FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                   {Step::Send, "PASV", "227 Entering Passive Mode (127,0,0,1,3,253)\r\n"},
                                   {Step::Send, "MKD next", "257 \"next\" made\r\n"}}));
    Limited c(f.Port());
    REQUIRE(c.conn);
    const std::string dir = ScratchDir();
    CHECK_EQ(c.Get("file.bin", dir + "\\file.bin"), static_cast<DWORD>(ERROR_FTP_DATA_PORT_REFUSED));
    DWORD code = 0;
    const std::string account = LastResponseText(&code);
    std::printf("  %lu %s", code, account.c_str());
    CHECK_EQ(code, static_cast<DWORD>(ERROR_FTP_DATA_PORT_REFUSED));
    CHECK(account.find("port 1021 ") != std::string::npos);
    CHECK(!ErrorText(ERROR_FTP_DATA_PORT_REFUSED).empty());
    CHECK(FtpCreateDirectoryA(c.conn, "next"));  // the session goes on
    InternetCloseHandle(c.conn);
    c.conn = nullptr;
    CHECK(!Has(f.Commands(), "RETR"));
    CHECK(!f.Mismatch());
    if (w.ok) CHECK(!w.Reached());
  }
  {  // EPSV naming port 21
    std::vector<Step> login = LoginSteps();
    login.back().text = "211-Features:\r\n EPSV\r\n PASV\r\n211 End\r\n";
    FakeFtpd f(With(login, {{Step::Send, "TYPE I", "200 ok\r\n"},
                            {Step::Send, "EPSV", "229 Entering Extended Passive Mode (|||21|)\r\n"}}));
    Limited c(f.Port());
    REQUIRE(c.conn);
    const std::string dir = ScratchDir();
    CHECK_EQ(c.Get("file.bin", dir + "\\file.bin"), static_cast<DWORD>(ERROR_FTP_DATA_PORT_REFUSED));
    CHECK(LastResponseText().find("port 21 ") != std::string::npos);
    InternetCloseHandle(c.conn);
    c.conn = nullptr;
    CHECK(!Has(f.Commands(), "RETR"));
  }
}

TEST_CASE("limits: in active mode a stranger reaching the data port first is refused") {
  {  // the server connects after the stranger: the file is the server's
    FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                   {Step::Port, "PORT", ""},
                                   {Step::Send, "RETR file.bin", "150 here it comes\r\n"},
                                   {Step::Stranger, "", "not the file"},
                                   {Step::ActiveOut, "", "the server's file"},
                                   {Step::Send, "", "226 done\r\n"}}));
    Limited c(f.Port(), 0);
    REQUIRE(c.conn);
    const std::string dir = ScratchDir();
    CHECK_EQ(c.Get("file.bin", dir + "\\file.bin"), 0ul);
    CHECK_EQ(ReadAll(dir + "\\file.bin"), std::string("the server's file"));
    InternetCloseHandle(c.conn);
    c.conn = nullptr;
    CHECK(f.StrangerClosed());
    CHECK(!f.Mismatch());
  }
  {  // only the stranger comes: refused, and the error names it
    FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                   {Step::Port, "PORT", ""},
                                   {Step::Send, "RETR file.bin", "150 here it comes\r\n"},
                                   {Step::Stranger, "", "not the file"},
                                   {Step::Send, "", "425 Can't open data connection.\r\n"}}));
    Limited c(f.Port(), 0);
    REQUIRE(c.conn);
    const std::string dir = ScratchDir();
    REQUIRE(WriteAll(dir + "\\file.bin", "old content"));
    CHECK_EQ(c.Get("file.bin", dir + "\\file.bin"), static_cast<DWORD>(ERROR_FTP_DATA_PEER_REFUSED));
    DWORD code = 0;
    const std::string account = LastResponseText(&code);
    std::printf("  %lu %s", code, account.c_str());
    CHECK_EQ(code, static_cast<DWORD>(ERROR_FTP_DATA_PEER_REFUSED));
    CHECK(account.find("from 127.0.0.2 ") != std::string::npos);
    CHECK(account.find("127.0.0.1") != std::string::npos);
    CHECK_EQ(ReadAll(dir + "\\file.bin"), std::string("old content"));
    InternetCloseHandle(c.conn);
    c.conn = nullptr;
    CHECK(f.StrangerClosed());
  }
}

TEST_CASE("limits: a login refused after the password, a reply that never ends") {
  for (const char* refusal : {"530 Login incorrect.\r\n", "550 Permission denied.\r\n"}) {
    FakeFtpd f({{Step::Send, "", "220 hi\r\n"}, {Step::Send, "USER", "331 pw\r\n"}, {Step::Send, "PASS", refusal}});
    Limited c(f.Port());
    CHECK(c.conn == nullptr);
    CHECK_EQ(c.error, static_cast<DWORD>(ERROR_INTERNET_LOGIN_FAILURE));
    CHECK_EQ(LastResponseText(), std::string(refusal));
  }
  // A feature list of 5 MiB: the connection is closed, the reply's start kept.
  std::string endless = "211-Features:\r\n";
  while (endless.size() < (5u << 20)) endless += " FEATURE-THAT-GOES-ON-AND-ON\r\n";
  std::vector<Step> login = LoginSteps();
  login.back().text = endless;
  FakeFtpd f(login);
  Limited c(f.Port());
  CHECK(c.conn == nullptr);
  CHECK_EQ(c.error, static_cast<DWORD>(ERROR_FTP_DROPPED));
  DWORD code = 0;
  const std::string start = LastResponseText(&code);
  CHECK_EQ(code, 211ul);
  CHECK_EQ(start.compare(0, 15, "211-Features:\r\n"), 0);
}

TEST_CASE("limits: a download of a few bytes a second reports them as they come, not only at its end") {
  // Twelve bytes over three seconds: far below a 64 KiB report, still a link that moves.
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                 {Step::Pasv, "PASV", ""},
                                 {Step::Send, "RETR slow.bin", "150 here it comes\r\n"},
                                 {Step::DataTrickle, "", "0123456789ab", 250},
                                 {Step::Send, "", "226 done\r\n"}}));
  Recorder rec;
  HINTERNET session = InternetOpenA("limits", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  InternetSetStatusCallback(session, Recorder::Callback);
  const std::string name = "127.0.0.1:" + std::to_string(f.Port());
  HINTERNET conn = InternetConnectA(session, name.c_str(), 0, "user", "pw", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
  REQUIRE(conn);
  rec.Take();
  const std::string target = ScratchDir() + "\\slow.bin";
  CHECK(FtpGetFileA(conn, "slow.bin", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 1));
  CHECK_EQ(ReadAll(target), std::string("0123456789ab"));
  // The data's reports follow the 150's (19 bytes); together they are the file's 12 bytes.
  const std::vector<Note> notes = rec.Take();
  size_t at = 0;
  while (at < notes.size() && !(notes[at].code == 41 && notes[at].count == 19)) ++at;
  int reports = 0;
  DWORD bytes = 0;
  for (size_t i = at + 1; i < notes.size(); ++i)
    if (notes[i].code == 41) {
      ++reports;
      bytes += notes[i].count;
    }
  std::printf("  %d data reports\n", reports);
  CHECK(reports >= 2);
  CHECK_EQ(bytes, 12u);
  InternetCloseHandle(conn);
  InternetCloseHandle(session);
}
