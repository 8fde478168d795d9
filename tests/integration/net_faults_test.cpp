// The FTP library against a scripted fake server: refusals, broken and hostile servers, time-
// outs, proxies, and bad arguments. Each case checks the error code, the server's reply where
// it is the real error, the exact commands the library sent, and that no local file suffered.
#include <atomic>
#include <cstring>
#include <map>
#include <thread>

#include "integration/fake_ftpd.h"
#include "integration/net_support.h"
#include "support/check.h"

using namespace nettest;

namespace {

struct Client {
  HINTERNET session = nullptr, conn = nullptr;
  DWORD error = 0;
  explicit Client(int port, DWORD receiveMs = 0, const char* host = "127.0.0.1") {
    session = InternetOpenA("fault", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (receiveMs) InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);
    std::string name = std::string(host) + ":" + std::to_string(port);
    conn = InternetConnectA(session, name.c_str(), 0, "user", "pw", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    error = conn ? 0 : GetLastError();
  }
  ~Client() { Close(); }
  void Close() {
    if (conn) InternetCloseHandle(conn);
    if (session) InternetCloseHandle(session);
    conn = session = nullptr;
  }
};

// A loopback listener that never accepts, its backlog filled: a connect gets no answer at all.
struct UnansweredPort {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
  std::vector<SOCKET> fillers;
  int port = 0;
  UnansweredPort() {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&in), sizeof in);
    listen(listener, 0);
    int len = sizeof in;
    getsockname(listener, reinterpret_cast<sockaddr*>(&in), &len);
    port = ntohs(in.sin_port);
    for (int i = 0; i < 8; ++i) {
      SOCKET f = socket(AF_INET, SOCK_STREAM, 0);
      u_long nb = 1;
      ioctlsocket(f, FIONBIO, &nb);
      connect(f, reinterpret_cast<sockaddr*>(&in), sizeof in);
      fillers.push_back(f);
    }
    Sleep(200);
  }
  ~UnansweredPort() {
    for (SOCKET f : fillers) closesocket(f);
    closesocket(listener);
  }
};

}  // namespace

TEST_CASE("faults: refused connection and unknown host") {
  Client refused(UnusedPort());
  CHECK(refused.conn == nullptr);
  CHECK_EQ(refused.error, static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
  HINTERNET s = InternetOpenA("fault", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET c = InternetConnectA(s, "no-such-host.invalid", 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0);
  CHECK(c == nullptr);
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED));
  InternetCloseHandle(s);
}

TEST_CASE("faults: 530 on login, 421 at greeting") {
  FakeFtpd f({{Step::Send, "", "220 hi\r\n"},
              {Step::Send, "USER", "331 pw\r\n"},
              {Step::Send, "PASS", "530 Login incorrect.\r\n"}});
  Client c(f.Port());
  CHECK(c.conn == nullptr);
  CHECK_EQ(c.error, static_cast<DWORD>(ERROR_INTERNET_LOGIN_FAILURE));
  DWORD code;
  CHECK_EQ(LastResponseText(&code), std::string("530 Login incorrect.\r\n"));
  CHECK_EQ(code, 530u);
  c.Close();
  CHECK_EQ(f.Commands().size(), 2u);

  FakeFtpd g({{Step::Send, "", "421 Too many users, try later.\r\n"}, {Step::Close, "", ""}});
  Client d(g.Port());
  CHECK(d.conn == nullptr);
  CHECK_EQ(d.error, static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
  CHECK_EQ(LastResponseText(&code), std::string("421 Too many users, try later.\r\n"));
  CHECK(g.Commands().empty());
}

TEST_CASE("faults: 550 on RETR keeps the local file, no temporary file left") {
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                 {Step::Pasv, "PASV", ""},
                                 {Step::Send, "RETR secret.bin", "550 Permission denied.\r\n"}}));
  Client c(f.Port());
  REQUIRE(c.conn);
  std::string dir = ScratchDir();
  std::string target = dir + "\\secret.bin";
  WriteAll(target, "old content");
  CHECK(!FtpGetFileA(c.conn, "secret.bin", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
  CHECK_EQ(LastResponseText(), std::string("550 Permission denied.\r\n"));
  CHECK_EQ(ReadAll(target), std::string("old content"));
  CHECK_EQ(OtherFiles(dir, "secret.bin"), 0);
  c.Close();
  CHECK(!f.Mismatch());
}

TEST_CASE("faults: 550 on STOR, DELE, RMD, MKD, RNFR") {
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                 {Step::Pasv, "PASV", ""},
                                 {Step::Send, "STOR up.bin", "550 No room.\r\n"},
                                 {Step::Send, "DELE gone", "550 No such file.\r\n"},
                                 {Step::Send, "RMD d", "550 Not empty.\r\n"},
                                 {Step::Send, "MKD d", "550 Exists.\r\n"},
                                 {Step::Send, "RNFR a", "550 No such file.\r\n"}}));
  Client c(f.Port());
  REQUIRE(c.conn);
  std::string local = ScratchDir() + "\\up.bin";
  WriteAll(local, "data");
  CHECK(!FtpPutFileA(c.conn, local.c_str(), "up.bin", FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
  CHECK_EQ(LastResponseText(), std::string("550 No room.\r\n"));
  CHECK(!FtpDeleteFileA(c.conn, "gone"));
  CHECK_EQ(LastResponseText(), std::string("550 No such file.\r\n"));
  CHECK(!FtpRemoveDirectoryA(c.conn, "d"));
  CHECK_EQ(LastResponseText(), std::string("550 Not empty.\r\n"));
  CHECK(!FtpCreateDirectoryA(c.conn, "d"));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
  CHECK(!FtpRenameFileA(c.conn, "a", "b"));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
  c.Close();
  std::vector<std::string> cmds = f.Commands();
  CHECK(!f.Mismatch());
  // RNTO is never sent after a refused RNFR.
  for (const std::string& cmd : cmds) CHECK(cmd.rfind("RNTO", 0) != 0);
}

TEST_CASE("faults: a 100 KB reply line is clipped, the session goes on") {
  std::string huge = "220 " + std::string(100 * 1024, 'x') + "\r\n";
  FakeFtpd f({{Step::Send, "", huge},
              {Step::Send, "USER", "230 in\r\n"},
              {Step::Send, "FEAT", "500 no\r\n"},
              {Step::Send, "MKD ok", "257 made\r\n"}});
  Client c(f.Port());
  REQUIRE(c.conn);
  CHECK(FtpCreateDirectoryA(c.conn, "ok"));
  c.Close();
  CHECK(!f.Mismatch());
}

TEST_CASE("faults: a silent server times out with 12002") {
  FakeFtpd f({{Step::Silent, "", ""}});
  DWORD start = GetTickCount();
  Client c(f.Port(), 700);
  DWORD took = GetTickCount() - start;
  CHECK(c.conn == nullptr);
  CHECK_EQ(c.error, static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
  CHECK(took >= 600 && took < 5000);
}

TEST_CASE("faults: the data connection dropped mid-transfer") {
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                 {Step::Pasv, "PASV", ""},
                                 {Step::Send, "RETR big", "150 here it comes\r\n"},
                                 {Step::DataDrop, "", std::string(200000, 'd')},
                                 {Step::Send, "", "426 Connection closed; transfer aborted.\r\n"}}));
  Client c(f.Port());
  REQUIRE(c.conn);
  std::string dir = ScratchDir();
  std::string target = dir + "\\big";
  WriteAll(target, "keep me");
  CHECK(!FtpGetFileA(c.conn, "big", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  DWORD e = GetLastError();
  CHECK(e == ERROR_INTERNET_CONNECTION_ABORTED || e == ERROR_INTERNET_CONNECTION_RESET);
  CHECK_EQ(ReadAll(target), std::string("keep me"));
  CHECK_EQ(OtherFiles(dir, "big"), 0);
}

TEST_CASE("faults: malformed PASV falls back to EPSV, then 12112") {
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                 {Step::Send, "PASV", "227 Entering Passive Mode (what,ever)\r\n"},
                                 {Step::Send, "EPSV", "500 Unknown command.\r\n"}}));
  Client c(f.Port());
  REQUIRE(c.conn);
  std::string target = ScratchDir() + "\\x";
  CHECK(!FtpGetFileA(c.conn, "x", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FTP_NO_PASSIVE_MODE));
  CHECK(!Exists(target));
  c.Close();
  CHECK(!f.Mismatch());
}

TEST_CASE("faults: an unroutable PASV address uses the control connection's") {
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                 {Step::Pasv, "PASV", "227 Entering Passive Mode (0,0,0,0,%d,%d)\r\n"},
                                 {Step::Send, "RETR f", "150 go\r\n"},
                                 {Step::DataOut, "", "payload"},
                                 {Step::Send, "", "226 done\r\n"}}));
  Client c(f.Port());
  REQUIRE(c.conn);
  std::string target = ScratchDir() + "\\f";
  CHECK(FtpGetFileA(c.conn, "f", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK_EQ(ReadAll(target), std::string("payload"));
}

TEST_CASE("faults: hostile listing lines are dropped; a backslash name is kept, escaped") {
  std::string listing =
      "-rw-r--r-- 1 u g 5 Jan  1 12:00 good.txt\r\n"
      "-rw-r--r-- 1 u g 5 Jan  1 12:00 ../x\r\n"
      "-rw-r--r-- 1 u g 5 Jan  1 12:00 a/b\r\n"
      "-rw-r--r-- 1 u g 5 Jan  1 12:00 back\\slash\r\n"
      "-rw-r--r-- 1 u g 5 Jan  1 12:00 cr\rname\r\n"
      "drwxr-xr-x 1 u g 5 Jan  1 12:00 .\r\n"
      "drwxr-xr-x 1 u g 5 Jan  1 12:00 ..\r\n"
      "-rw-r--r-- 1 u g 5 Jan  1 12:00 " + std::string(10000, 'n') + "\r\n"
      "garbage line\r\n"
      "-rw-r--r-- 1 u g 99999999999999999999999 Jan  1 12:00 toolarge\r\n"
      "-rw-r--r-- 1 u g 6000000000 Jan  1  2020 huge.iso\r\n"
      "01-31-23  10:30PM       <DIR>          dos dir\r\n";
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE A", "200 ok\r\n"},
                                 {Step::Pasv, "PASV", ""},
                                 {Step::Send, "LIST", "150 list\r\n"},
                                 {Step::DataOut, "", listing},
                                 {Step::Send, "", "226 done\r\n"}}));
  Client c(f.Port());
  REQUIRE(c.conn);
  WIN32_FIND_DATAA fd;
  HINTERNET h = FtpFindFirstFileA(c.conn, "*.*", &fd, 0, 0);
  REQUIRE(h);
  std::vector<std::string> names;
  WIN32_FIND_DATAA huge{};
  do {
    names.push_back(fd.cFileName);
    if (names.back() == "huge.iso") huge = fd;
  } while (InternetFindNextFileA(h, &fd));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  InternetCloseHandle(h);
  CHECK_EQ(names.size(), 4u);
  CHECK(names.size() == 4 && names[0] == "good.txt" && names[1] == "back{U+005C}slash" && names[2] == "huge.iso" &&
        names[3] == "dos dir");
  // Sizes beyond 4 GiB keep both halves.
  CHECK_EQ(huge.nFileSizeHigh, 1u);
  CHECK_EQ(huge.nFileSizeLow, static_cast<DWORD>(6000000000ull & 0xFFFFFFFFu));
}

TEST_CASE("find data: a size listed with a unit is kept for showing and marked approximate") {
  const std::string listing =
      "-rw-r--r-- 1 pi pi 33.5k Jan  5 10:00 approx.txt\r\n"
      "-rw-r--r-- 1 pi pi 34304 Jan  5 10:00 exact.txt\r\n"
      "drwxr-xr-x 2 pi pi 4.0K Jan  5 10:00 kdir\r\n"
      "-rw-r--r-- 1 pi pi 4.5G Jan  5 10:00 big.iso\r\n";
  FakeFtpd f(With(LoginSteps(), ListingSteps("LIST", listing)));
  Client c(f.Port());
  REQUIRE(c.conn);
  std::map<std::string, WIN32_FIND_DATAA> found;
  WIN32_FIND_DATAA fd;
  fd.dwReserved0 = 0xFFFFFFFFu;  // the library writes the field whole
  HINTERNET h = FtpFindFirstFileA(c.conn, "*.*", &fd, 0, 0);
  REQUIRE(h);
  do found[fd.cFileName] = fd;
  while (InternetFindNextFileA(h, &fd));
  InternetCloseHandle(h);
  REQUIRE(found.size() == 4);
  const WIN32_FIND_DATAA& approx = found["approx.txt"];
  CHECK_EQ(approx.dwReserved0, static_cast<DWORD>(FTP_FIND_SIZE_APPROXIMATE));
  CHECK(approx.nFileSizeLow == 34304 && approx.nFileSizeHigh == 0);
  CHECK_EQ(found["exact.txt"].dwReserved0, 0u);
  CHECK_EQ(found["exact.txt"].nFileSizeLow, 34304u);
  CHECK_EQ(found["kdir"].dwReserved0, 0u);  // a folder has no size to trust or distrust
  const WIN32_FIND_DATAA& big = found["big.iso"];
  CHECK_EQ(big.dwReserved0, static_cast<DWORD>(FTP_FIND_SIZE_APPROXIMATE));
  CHECK(big.nFileSizeHigh == 1 && big.nFileSizeLow == 0x20000000u);  // 4.5 GiB, both halves
}

TEST_CASE("faults: TIS proxy logs in as user@host") {
  FakeFtpd f({{Step::Send, "", "220 proxy\r\n"},
              {Step::Send, "USER anonymous@ftp.example.org", "331 pw\r\n"},
              {Step::Send, "PASS", "230 in\r\n"},
              {Step::Send, "FEAT", "500 no\r\n"}});
  std::string proxy = "ftp=127.0.0.1:" + std::to_string(f.Port());
  HINTERNET s = InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, proxy.c_str(), nullptr, 0);
  REQUIRE(s);
  HINTERNET c = InternetConnectA(s, "ftp.example.org", 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0);
  CHECK(c != nullptr);
  if (c) InternetCloseHandle(c);
  InternetCloseHandle(s);
  CHECK(!f.Mismatch());
}

TEST_CASE("faults: the system proxy setting from the registry") {
  FakeFtpd f({{Step::Send, "", "220 proxy\r\n"},
              {Step::Send, "USER anonymous@files.example.org:2121", "230 in\r\n"},
              {Step::Send, "FEAT", "500 no\r\n"}});
  HKEY key;
  REQUIRE(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                          nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS);
  DWORD one = 1;
  std::string servers = "http=127.0.0.1:1;ftp=127.0.0.1:" + std::to_string(f.Port());
  RegSetValueExA(key, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof one);
  RegSetValueExA(key, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(servers.c_str()),
                 static_cast<DWORD>(servers.size() + 1));
  HINTERNET s = InternetOpenA("t", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  DWORD zero = 0;
  RegSetValueExA(key, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), sizeof zero);
  RegDeleteValueA(key, "ProxyServer");
  RegCloseKey(key);
  REQUIRE(s);
  HINTERNET c = InternetConnectA(s, "files.example.org:2121", 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0);
  CHECK(c != nullptr);
  if (c) InternetCloseHandle(c);
  InternetCloseHandle(s);
  CHECK(!f.Mismatch());
}

TEST_CASE("faults: IPv6 literals with and without a port") {
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "MKD v6", "257 made\r\n"}}), true);
  if (!f.Ok()) {
    printf("skipped: no IPv6 loopback here\n");
    return;
  }
  std::string name = "[::1]:" + std::to_string(f.Port());
  HINTERNET s = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET c = InternetConnectA(s, name.c_str(), 0, "u", "p", INTERNET_SERVICE_FTP, 0, 0);
  CHECK(c != nullptr);
  if (c) CHECK(FtpCreateDirectoryA(c, "v6"));
  if (c) InternetCloseHandle(c);
  InternetCloseHandle(s);
  CHECK(!f.Mismatch());

  FakeFtpd g(LoginSteps(), true);
  s = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  c = InternetConnectA(s, "::1", static_cast<INTERNET_PORT>(g.Port()), "u", "p", INTERNET_SERVICE_FTP, 0, 0);
  CHECK(c != nullptr);
  if (c) InternetCloseHandle(c);
  InternetCloseHandle(s);
}

TEST_CASE("bad input: null and over-long arguments, closed and foreign handles") {
  CHECK(!InternetOpenA("t", 2, nullptr, nullptr, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CHECK(!InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, nullptr, nullptr, 0));
  HINTERNET s = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  REQUIRE(s);
  CHECK(!InternetConnectA(s, nullptr, 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  std::string longName(300, 'h');
  CHECK(!InternetConnectA(s, longName.c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CHECK(!InternetConnectA(s, "host", 0, nullptr, nullptr, 3, 0, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_PROTOCOL_NOT_FOUND));
  CHECK(!InternetConnectA(s, "[::1", 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INVALID_URL));

  HINTERNET foreign = reinterpret_cast<HINTERNET>(static_cast<uintptr_t>(0x1234));
  CHECK(!FtpDeleteFileA(foreign, "x"));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CHECK(!FtpDeleteFileA(nullptr, "x"));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CHECK(!FtpDeleteFileA(s, "x"));  // a session is not a connection
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
  CHECK(InternetSetStatusCallback(foreign, nullptr) == INTERNET_INVALID_STATUS_CALLBACK);
  CHECK(!InternetFindNextFileA(foreign, nullptr));

  FakeFtpd f(LoginSteps());
  Client c(f.Port());
  REQUIRE(c.conn);
  std::string longPath(400, 'p');
  CHECK(!FtpDeleteFileA(c.conn, longPath.c_str()));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CHECK(!FtpDeleteFileA(c.conn, nullptr));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CHECK(!FtpDeleteFileA(c.conn, "a\r\nDELE b"));  // no command injection
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CHECK(!FtpGetFileA(c.conn, "x", nullptr, FALSE, 0, 2, 0));
  CHECK(!FtpPutFileA(c.conn, "Z:\\no\\such\\local\\file", "x", 2, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  HINTERNET conn = c.conn;
  CHECK(InternetCloseHandle(conn));
  c.conn = nullptr;
  CHECK(!InternetCloseHandle(conn));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CHECK(!FtpCreateDirectoryA(conn, "x"));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  // The mistakes above sent nothing to the server.
  c.Close();
  for (const std::string& cmd : f.Commands()) CHECK(cmd.rfind("DELE", 0) != 0);
}

TEST_CASE("errors: texts from the library's message table, the last response by length") {
  for (DWORD code : {12002u, 12003u, 12007u, 12013u, 12014u, 12015u, 12029u, 12030u, 12110u, 12111u}) {
    std::string text = ErrorText(code);
    CHECK(!text.empty());
  }
  CHECK_EQ(ErrorText(12029), std::string("No connection could be made to the server.\r\n"));
  CHECK(ErrorText(5).empty());  // not one of the library's codes

  FakeFtpd f({{Step::Send, "", "220 hi\r\n"}, {Step::Send, "USER", "530-Go away.\r\n530 Really.\r\n"}});
  Client c(f.Port());
  CHECK_EQ(c.error, static_cast<DWORD>(ERROR_INTERNET_INCORRECT_USER_NAME));
  DWORD err = 0, len = 0;
  InternetGetLastResponseInfoA(&err, nullptr, &len);
  CHECK_EQ(err, 530u);
  CHECK_EQ(len, static_cast<DWORD>(strlen("530-Go away.\r\n530 Really.\r\n")));
  char small[8];
  DWORD smallLen = sizeof small;
  CHECK(!InternetGetLastResponseInfoA(&err, small, &smallLen));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  CHECK_EQ(std::string(small, 8), std::string("530-Go a"));
}

TEST_CASE("faults: a connect that is never answered times out with 12002") {
  UnansweredPort silent;
  HINTERNET s = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  DWORD ms = 800;
  InternetSetOptionA(s, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
  InternetSetOptionA(s, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
  std::string name = "127.0.0.1:" + std::to_string(silent.port);
  DWORD start = GetTickCount();
  HINTERNET c = InternetConnectA(s, name.c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0);
  DWORD took = GetTickCount() - start;
  DWORD e = GetLastError();
  CHECK(c == nullptr);
  // Where the system still completes the handshake, the silent greeting times out instead.
  CHECK_EQ(e, static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
  CHECK(took < 5000);
  if (c) InternetCloseHandle(c);
  InternetCloseHandle(s);
}

TEST_CASE("faults: closing a connection from another thread ends its blocked request") {
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                 {Step::Pasv, "PASV", ""},
                                 {Step::Send, "RETR slow", "150 go\r\n"},
                                 {Step::Silent, "", ""}}));
  Client c(f.Port(), 30000);
  REQUIRE(c.conn);
  std::string dir = ScratchDir();
  static std::string target;
  target = dir + "\\slow";
  WriteAll(target, "untouched");
  static HINTERNET conn;
  static DWORD error;
  conn = c.conn;
  std::thread t([] {
    BOOL ok = FtpGetFileA(conn, "slow", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0);
    error = ok ? 0 : GetLastError();
  });
  Sleep(500);
  DWORD start = GetTickCount();
  CHECK(InternetCloseHandle(c.conn));
  c.conn = nullptr;
  t.join();
  CHECK(GetTickCount() - start < 5000);
  CHECK_EQ(error, static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
  CHECK_EQ(ReadAll(target), std::string("untouched"));
  CHECK_EQ(OtherFiles(dir, "slow"), 0);
}

TEST_CASE("faults: an asynchronous login refused: the connection closes, then 100 with the error") {
  FakeFtpd f({{Step::Send, "", "220 hi\r\n"},
              {Step::Send, "USER", "331 pw\r\n"},
              {Step::Send, "PASS", "530 Login incorrect.\r\n"}});
  Recorder rec;
  HINTERNET s = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  InternetSetStatusCallback(s, Recorder::Callback);
  static std::string replyInCallback;
  replyInCallback.clear();
  rec.onNote = [](const Note& n) {
    if (n.code == 100) replyInCallback = LastResponseText();
  };
  std::string name = "127.0.0.1:" + std::to_string(f.Port());
  CHECK(!InternetConnectA(s, name.c_str(), 0, "u", "p", INTERNET_SERVICE_FTP, 0, 1));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  INTERNET_ASYNC_RESULT r{};
  REQUIRE(rec.WaitComplete(&r));
  rec.onNote = nullptr;
  CHECK_EQ(r.dwResult, 0u);
  CHECK_EQ(r.dwError, static_cast<DWORD>(ERROR_INTERNET_LOGIN_FAILURE));
  CHECK_EQ(replyInCallback, std::string("530 Login incorrect.\r\n"));
  CHECK_EQ(Show(Folded(rec.Take())), Show({60, 10, 11, 20, 21, 4041, 3031, 4041, 3031, 4041, 50, 51, 100}));
  InternetCloseHandle(s);
}

TEST_CASE("faults: a PASV reply naming another host: the data connection goes to the control peer") {
  // Nothing listens at 127.77.77.77: a client that believed the reply would fail.
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                 {Step::Pasv, "PASV", "227 Entering Passive Mode (127,77,77,77,%d,%d)\r\n"},
                                 {Step::Send, "RETR f", "150 go\r\n"},
                                 {Step::DataOut, "", "from the peer"},
                                 {Step::Send, "", "226 done\r\n"}}));
  Client c(f.Port());
  REQUIRE(c.conn);
  std::string target = ScratchDir() + "\\f";
  CHECK(FtpGetFileA(c.conn, "f", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK_EQ(ReadAll(target), std::string("from the peer"));
}

TEST_CASE("faults: EPSV first when the server lists it, PASV when EPSV is refused") {
  std::vector<Step> login = {{Step::Send, "", "220 fake ready\r\n"},
                             {Step::Send, "USER", "331 password please\r\n"},
                             {Step::Send, "PASS", "230 logged in\r\n"},
                             {Step::Send, "FEAT", "211-Features:\r\n EPSV\r\n PASV\r\n211 End\r\n"}};
  FakeFtpd f(With(login, {{Step::Send, "TYPE I", "200 ok\r\n"},
                          {Step::Epsv, "EPSV", ""},
                          {Step::Send, "RETR a", "150 go\r\n"},
                          {Step::DataOut, "", "epsv"},
                          {Step::Send, "", "226 done\r\n"},
                          {Step::Send, "EPSV", "502 not today\r\n"},
                          {Step::Pasv, "PASV", ""},
                          {Step::Send, "RETR b", "150 go\r\n"},
                          {Step::DataOut, "", "pasv"},
                          {Step::Send, "", "226 done\r\n"}}));
  Client c(f.Port());
  REQUIRE(c.conn);
  std::string dir = ScratchDir();
  CHECK(FtpGetFileA(c.conn, "a", (dir + "\\a").c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK(FtpGetFileA(c.conn, "b", (dir + "\\b").c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK_EQ(ReadAll(dir + "\\a"), std::string("epsv"));
  CHECK_EQ(ReadAll(dir + "\\b"), std::string("pasv"));
  c.Close();
  CHECK(!f.Mismatch());
}

TEST_CASE("contract: progress notifications of a download count its data bytes only") {
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                 {Step::Pasv, "PASV", ""},
                                 {Step::Send, "RETR k", "150 go\r\n"},
                                 {Step::DataOut, "", std::string(1000, 'k')},
                                 {Step::Send, "", "226 Transfer complete, 1000 bytes sent.\r\n"}}));
  Recorder rec;
  HINTERNET s = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  InternetSetStatusCallback(s, Recorder::Callback);
  std::string name = "127.0.0.1:" + std::to_string(f.Port());
  InternetConnectA(s, name.c_str(), 0, "u", "p", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
  INTERNET_ASYNC_RESULT r{};
  REQUIRE(rec.WaitComplete(&r));
  HINTERNET conn = reinterpret_cast<HINTERNET>(r.dwResult);
  REQUIRE(conn);
  rec.Take();
  std::string target = ScratchDir() + "\\k";
  FtpGetFileA(conn, "k", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 1);
  REQUIRE(rec.WaitComplete(&r));
  CHECK_EQ(r.dwError, 0u);
  // The replies to TYPE, PASV and RETR come first (a client skips three counts); what follows
  // is the file's bytes, not the final reply's: 1,000 bytes are 100 %, not 102 %.
  std::vector<Note> notes = rec.Take();
  uint64_t afterThree = 0;
  int seen = 0;
  for (const Note& n : notes)
    if (n.code == 41 && ++seen > 3) afterThree += n.count;
  CHECK_EQ(afterThree, 1000u);
  InternetCloseHandle(conn);
  InternetCloseHandle(s);
}

TEST_CASE("contract: the last response belongs to the thread's last request") {
  FakeFtpd first(With(LoginSteps(), {{Step::Send, "DELE gone", "550 No such file.\r\n"}}));
  FakeFtpd second(With(LoginSteps(), {{Step::Silent, "", ""}}));
  Client a(first.Port());
  Client b(second.Port(), 700);
  REQUIRE(a.conn && b.conn);
  CHECK(!FtpDeleteFileA(a.conn, "gone"));
  CHECK_EQ(LastResponseText(), std::string("550 No such file.\r\n"));
  CHECK(!FtpCreateDirectoryA(b.conn, "slow"));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
  DWORD code = 1;
  CHECK_EQ(LastResponseText(&code), std::string());  // not the other server's old 550
  CHECK_EQ(code, 0u);
}

TEST_CASE("contract: a proxy list without an FTP entry connects directly") {
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "MKD direct", "257 made\r\n"}}));
  HINTERNET s = InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, "http=127.0.0.1:1;https=127.0.0.1:1", nullptr, 0);
  REQUIRE(s);
  std::string name = "127.0.0.1:" + std::to_string(f.Port());
  HINTERNET c = InternetConnectA(s, name.c_str(), 0, "u", "p", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
  CHECK(c != nullptr);
  if (c) CHECK(FtpCreateDirectoryA(c, "direct"));
  if (c) InternetCloseHandle(c);
  InternetCloseHandle(s);
  CHECK(!f.Mismatch());
}

TEST_CASE("contract: one request at a time per connection, not per session") {
  FakeFtpd slow(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                    {Step::Pasv, "PASV", ""},
                                    {Step::Send, "RETR slow", "150 go\r\n"},
                                    {Step::Silent, "", ""}}));
  FakeFtpd quick(With(LoginSteps(), {{Step::Send, "MKD quick", "257 made\r\n"}}));
  static HINTERNET slowConn, quickConn;
  static std::atomic<int> completes;
  Recorder rec;
  HINTERNET s = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  InternetSetStatusCallback(s, Recorder::Callback);
  INTERNET_ASYNC_RESULT r{};
  for (auto [port, out] : {std::pair<int, HINTERNET*>{slow.Port(), &slowConn}, {quick.Port(), &quickConn}}) {
    std::string name = "127.0.0.1:" + std::to_string(port);
    InternetConnectA(s, name.c_str(), 0, "u", "p", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
    REQUIRE(rec.WaitComplete(&r));
    *out = reinterpret_cast<HINTERNET>(r.dwResult);
    REQUIRE(*out);
  }
  completes = 0;
  std::string target = ScratchDir() + "\\slow";
  CHECK(!FtpGetFileA(slowConn, "slow", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 1));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  CHECK(!FtpDeleteFileA(slowConn, "x"));  // the same connection: refused
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FTP_TRANSFER_IN_PROGRESS));
  CHECK(!FtpCreateDirectoryA(quickConn, "quick"));  // another connection: runs beside it
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  REQUIRE(rec.WaitComplete(&r, 5000));
  CHECK(r.dwResult != 0 && r.dwError == 0);  // the MKD, while the download still waits
  InternetCloseHandle(slowConn);
  REQUIRE(rec.WaitComplete(&r, 5000));
  CHECK_EQ(r.dwError, static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
  InternetCloseHandle(quickConn);
  InternetCloseHandle(s);
}

TEST_CASE("contract: the handle comes before name resolution; closing it cancels a slow connect") {
  UnansweredPort silent;
  Recorder rec;
  HINTERNET s = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  DWORD ms = 30000;
  InternetSetOptionA(s, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
  InternetSetOptionA(s, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
  InternetSetStatusCallback(s, Recorder::Callback);
  static std::atomic<HINTERNET> announced;
  announced = nullptr;
  rec.onNote = [](const Note& n) {
    if (n.code == 60) announced = reinterpret_cast<HINTERNET>(n.result.dwResult);
    if (n.code == 20 && announced.load()) InternetCloseHandle(announced.load());  // the user gives up
  };
  std::string name = "127.0.0.1:" + std::to_string(silent.port);
  DWORD start = GetTickCount();
  InternetConnectA(s, name.c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 1);
  INTERNET_ASYNC_RESULT r{};
  bool done = rec.WaitComplete(&r, 10000);
  rec.onNote = nullptr;
  CHECK(done);
  CHECK(GetTickCount() - start < 5000);
  std::vector<Note> notes = rec.Take();
  REQUIRE(!notes.empty());
  CHECK_EQ(notes[0].code, 60u);
  CHECK(announced.load() != nullptr);
  CHECK_EQ(r.dwError, static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
  InternetCloseHandle(s);
}

TEST_CASE("contract: a listing over 64 MiB comes whole, neither cut nor spliced") {
  std::string listing;
  const std::string pad(170, 'p');
  size_t n = 0;
  while (listing.size() < (70u << 20)) {
    char line[64];
    snprintf(line, sizeof line, "-rw-r--r-- 1 u g %zu Jan  1 12:00 f%07zu", n, n);
    listing += line + pad + "\r\n";
    ++n;
  }
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE A", "200 ok\r\n"},
                                 {Step::Pasv, "PASV", ""},
                                 {Step::Send, "LIST", "150 here\r\n"},
                                 {Step::DataOut, "", listing},
                                 {Step::Send, "", "226 done\r\n"}}));
  Client c(f.Port(), 60000);
  REQUIRE(c.conn);
  WIN32_FIND_DATAA fd;
  HINTERNET h = FtpFindFirstFileA(c.conn, "*.*", &fd, 0, 0);
  REQUIRE(h);
  size_t count = 1, ordered = fd.nFileSizeLow == 0 ? 1 : 0;
  while (InternetFindNextFileA(h, &fd)) {
    if (fd.nFileSizeLow == count) ++ordered;  // entry k has size k: nothing spliced
    ++count;
  }
  InternetCloseHandle(h);
  CHECK_EQ(count, n);
  CHECK_EQ(ordered, n);
  char last[32];
  snprintf(last, sizeof last, "f%07zu", n - 1);
  CHECK(std::string(fd.cFileName).rfind(last, 0) == 0);
}

TEST_CASE("links: a link of unknown kind is tried as a folder with CWD, then the directory is restored") {
  std::string listing =
      "lrwxrwxrwx 1 u g 7 Jan  1 12:00 pub -> vol/pub\r\n"
      "lrwxrwxrwx 1 u g 9 Jan  1 12:00 notes -> docs/a.txt\r\n";
  FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE A", "200 ok\r\n"},
                                 {Step::Pasv, "PASV", ""},
                                 {Step::Send, "LIST top", "150 here\r\n"},
                                 {Step::DataOut, "", listing},
                                 {Step::Send, "", "226 done\r\n"},
                                 {Step::Send, "PWD", "257 \"/home/\"\"q\"\"\" is current\r\n"},
                                 {Step::Send, "CWD top/pub", "250 ok\r\n"},
                                 {Step::Send, "CWD /home/\"q\"", "250 ok\r\n"},
                                 {Step::Send, "CWD top/notes", "550 Not a directory\r\n"}}));
  Client c(f.Port());
  REQUIRE(c.conn);
  WIN32_FIND_DATAA fd;
  HINTERNET h = FtpFindFirstFileA(c.conn, "top/*.*", &fd, 0, 0);
  REQUIRE(h);
  std::map<std::string, DWORD> kinds;
  do kinds[fd.cFileName] = fd.dwFileAttributes;
  while (InternetFindNextFileA(h, &fd));
  InternetCloseHandle(h);
  CHECK_EQ(kinds["pub"], static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  CHECK_EQ(kinds["notes"], static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  c.Close();
  CHECK(!f.Mismatch());
}
