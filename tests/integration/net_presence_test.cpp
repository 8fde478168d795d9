// FtpGetEntryPresenceA: what the servers prove about an entry before a request would replace
// it. Real servers of the ftpd fixture (vsftpd, ProFTPD, Pure-FTPd, pyftpdlib with MLST, the
// inetutils ftpd, and Twisted, which echoes the path in "LIST path"), then scripted servers for
// the answers no real server here gives: MLST listed but refused, a folder listing that echoes
// paths, an MS-DOS listing (names that ignore case), a refused folder listing.
#include <string>
#include <vector>

#include "integration/fake_ftpd.h"
#include "integration/net_support.h"
#include "support/check.h"

using namespace nettest;

namespace {

struct Connection {
  HINTERNET session = nullptr, conn = nullptr;
  Connection(const std::string& host, const char* user = nullptr, const char* password = nullptr) {
    session = InternetOpenA("presence", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    conn = InternetConnectA(session, host.c_str(), 0, user, password, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
  }
  ~Connection() {
    if (conn) InternetCloseHandle(conn);
    InternetCloseHandle(session);
  }
  // The presence, or 100 + the error.
  DWORD Of(const char* path) {
    DWORD p = 99;
    if (!FtpGetEntryPresenceA(conn, path, &p, 0)) return 100 + GetLastError();
    return p;
  }
};

std::vector<Step> MlstLogin() {
  return {{Step::Send, "", "220 fake ready\r\n"},
          {Step::Send, "USER", "331 password please\r\n"},
          {Step::Send, "PASS", "230 logged in\r\n"},
          {Step::Send, "FEAT", "211-Features:\r\n MLST type*;size*;modify*;\r\n PASV\r\n211 End\r\n"}};
}

// A LIST of `folder` answered with `lines`.
std::vector<Step> Listed(const std::string& folder, const std::string& lines) {
  return {{Step::Send, "TYPE A", "200 ok\r\n"},
          {Step::Pasv, "PASV", ""},
          {Step::Send, "LIST " + folder, "150 here\r\n"},
          {Step::DataOut, "", lines},
          {Step::Send, "", "226 done\r\n"}};
}

// Ends the connection (its QUIT) and checks the script ran as written.
void Finish(Connection& c, FakeFtpd& f) {
  InternetCloseHandle(c.conn);
  c.conn = nullptr;
  CHECK(!f.Mismatch());
}

bool NoSize(FakeFtpd& f) {
  for (const std::string& c : f.Commands())
    if (c.rfind("SIZE", 0) == 0) return false;
  return true;
}

void RealServerChecks(const Server& sv) {
  std::printf("  %s\n", sv.name.c_str());
  Connection c(sv.Host());
  REQUIRE(c.conn != nullptr);
  CHECK_EQ(c.Of("pub/text.txt"), static_cast<DWORD>(FTP_PRESENCE_FILE));
  CHECK_EQ(c.Of("readme.txt"), static_cast<DWORD>(FTP_PRESENCE_FILE));  // the login folder
  CHECK_EQ(c.Of("pub/nested"), static_cast<DWORD>(FTP_PRESENCE_FOLDER));
  CHECK_EQ(c.Of("pub/not-there.txt"), static_cast<DWORD>(FTP_PRESENCE_ABSENT));
  CHECK_EQ(c.Of("pub/empty/inside.txt"), static_cast<DWORD>(FTP_PRESENCE_ABSENT));
  // These servers keep letter case: another case is another name.
  CHECK_EQ(c.Of("pub/TEXT.txt"), static_cast<DWORD>(FTP_PRESENCE_ABSENT));
  // Names that hold the sought one ("zero.txt" holds "o.txt") do not count.
  CHECK_EQ(c.Of("pub/o.txt"), static_cast<DWORD>(FTP_PRESENCE_ABSENT));
  // After a check (listings leave the type ASCII), a binary download is still binary.
  const std::string local = ScratchDir() + "\\mib.bin";
  CHECK(FtpGetFileA(c.conn, "pub/mib.bin", local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK(ReadAll(local) == ReadAll(sv.root + "\\pub\\mib.bin"));
}

}  // namespace

TEST_CASE("presence: every real server, Twisted's echoed paths included") {
  REQUIRE(Servers().size() >= 5);
  for (const Server& sv : Servers()) RealServerChecks(sv);
  const Server* twisted = TwistedServer();
  REQUIRE(twisted != nullptr);
  RealServerChecks(*twisted);
  // The look the client made before: a LIST of the file's path gives nothing on Twisted (its
  // line names "pub/text.txt", which no listing may hand out), although the file is there.
  Connection c(twisted->Host());
  WIN32_FIND_DATAA fd;
  CHECK(FtpFindFirstFileA(c.conn, "pub/text.txt", &fd, INTERNET_FLAG_RELOAD, 0) == nullptr);
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  CHECK_EQ(c.Of("pub/text.txt"), static_cast<DWORD>(FTP_PRESENCE_FILE));
}

TEST_CASE("presence: asynchronous, the answer is written before the completion and no handle is made") {
  const Server* twisted = TwistedServer();
  REQUIRE(twisted != nullptr);
  Recorder rec;
  HINTERNET session = InternetOpenA("presence", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  InternetSetStatusCallback(session, Recorder::Callback);
  CHECK(InternetConnectA(session, twisted->Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP,
                         INTERNET_FLAG_PASSIVE, 7) == nullptr);
  INTERNET_ASYNC_RESULT r{};
  REQUIRE(rec.WaitComplete(&r));
  REQUIRE(r.dwError == 0);
  HINTERNET conn = reinterpret_cast<HINTERNET>(r.dwResult);
  rec.Clear();
  DWORD presence = 99;
  CHECK(!FtpGetEntryPresenceA(conn, "pub/one.txt", &presence, 8));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  REQUIRE(rec.WaitComplete(&r));
  CHECK_EQ(r.dwError, 0u);
  CHECK_EQ(r.dwResult, static_cast<DWORD_PTR>(1));
  CHECK_EQ(presence, static_cast<DWORD>(FTP_PRESENCE_FILE));
  for (const Note& n : rec.Take()) CHECK(n.code != INTERNET_STATUS_HANDLE_CREATED);
  InternetCloseHandle(conn);
  InternetCloseHandle(session);
}

TEST_CASE("presence: MLST 550 proves absence, 250 names the kind; refused MLST falls back to the listing") {
  {
    FakeFtpd f(With(MlstLogin(), {{Step::Send, "MLST pub/a.txt", "550 No such file.\r\n"},
                                  {Step::Send, "MLST pub/dir", "250-Listing\r\n type=dir;modify=20261207000000; /pub/dir\r\n250 End\r\n"},
                                  {Step::Send, "MLST b.txt", "250-Listing\r\n type=file;size=3; /b.txt\r\n250 End\r\n"}}));
    Connection c("127.0.0.1:" + std::to_string(f.Port()), "u", "p");
    REQUIRE(c.conn);
    CHECK_EQ(c.Of("pub/a.txt"), static_cast<DWORD>(FTP_PRESENCE_ABSENT));
    CHECK_EQ(c.Of("pub/dir"), static_cast<DWORD>(FTP_PRESENCE_FOLDER));
    CHECK_EQ(c.Of("b.txt"), static_cast<DWORD>(FTP_PRESENCE_FILE));
    Finish(c, f);
    CHECK(NoSize(f));
  }
  // MLST listed among the features but refused, MLSD too: the LIST of the folder decides, and
  // the next check goes to the listing at once.
  {
    const std::string lines = "-rw-r--r-- 1 u g 5 Dec  7 12:00 other.txt\r\n";
    FakeFtpd f(With(MlstLogin(), With({{Step::Send, "MLST pub/a.txt", "500 Unknown command.\r\n"},
                                       {Step::Send, "TYPE A", "200 ok\r\n"},
                                       {Step::Pasv, "PASV", ""},
                                       {Step::Send, "MLSD pub", "500 Unknown command.\r\n"},
                                       {Step::Pasv, "PASV", ""},
                                       {Step::Send, "LIST pub", "150 here\r\n"},
                                       {Step::DataOut, "", lines},
                                       {Step::Send, "", "226 done\r\n"},
                                       {Step::Send, "MDTM pub/a.txt", "550 No such file.\r\n"},
                                       {Step::Pasv, "PASV", ""},
                                       {Step::Send, "LIST pub", "150 here\r\n"},
                                       {Step::DataOut, "", lines},
                                       {Step::Send, "", "226 done\r\n"}},
                                      {})));
    Connection c("127.0.0.1:" + std::to_string(f.Port()), "u", "p");
    REQUIRE(c.conn);
    CHECK_EQ(c.Of("pub/a.txt"), static_cast<DWORD>(FTP_PRESENCE_ABSENT));
    CHECK_EQ(c.Of("pub/other.txt"), static_cast<DWORD>(FTP_PRESENCE_FILE));
    Finish(c, f);
    CHECK(NoSize(f));
  }
}

TEST_CASE("presence: bad input - echoed paths, names that ignore case, a refused listing, bad arguments") {
  // A folder listing that echoes the folder in its names: nothing proves "a.txt" absent. (No
  // usable entry came, so the folder is asked once more as "in/", as for a linked folder.)
  {
    const std::string echoed = "-rw-r--r-- 1 u g 5 Dec  7 12:00 in/a.txt\r\n"
                               "-rw-r--r-- 1 u g 5 Dec  7 12:00 in/b.txt\r\n";
    FakeFtpd f(With(LoginSteps(), With(Listed("in", echoed), {{Step::Pasv, "PASV", ""},
                                                              {Step::Send, "LIST in/", "150 here\r\n"},
                                                              {Step::DataOut, "", echoed},
                                                              {Step::Send, "", "226 done\r\n"}})));
    Connection c("127.0.0.1:" + std::to_string(f.Port()), "u", "p");
    CHECK_EQ(c.Of("in/a.txt"), static_cast<DWORD>(FTP_PRESENCE_UNKNOWN));
    Finish(c, f);
    CHECK(NoSize(f));
  }
  // An MS-DOS listing: its server's names ignore letter case.
  {
    const std::string dos = "12-07-26  10:22PM                    3 Report.txt\r\n"
                            "12-07-26  10:22PM       <DIR>          Docs\r\n";
    FakeFtpd f(With(LoginSteps(), With(Listed("cases", dos),
                                       {{Step::Pasv, "PASV", ""},
                                        {Step::Send, "LIST cases", "150 here\r\n"},
                                        {Step::DataOut, "", dos},
                                        {Step::Send, "", "226 done\r\n"},
                                        {Step::Pasv, "PASV", ""},
                                        {Step::Send, "LIST cases", "150 here\r\n"},
                                        {Step::DataOut, "", dos},
                                        {Step::Send, "", "226 done\r\n"},
                                        {Step::Send, "MDTM cases/other.txt", "550 No such file.\r\n"}})));
    Connection c("127.0.0.1:" + std::to_string(f.Port()), "u", "p");
    CHECK_EQ(c.Of("cases/report.txt"), static_cast<DWORD>(FTP_PRESENCE_CASE_ALIKE));
    CHECK_EQ(c.Of("cases/Report.txt"), static_cast<DWORD>(FTP_PRESENCE_FILE));
    CHECK_EQ(c.Of("cases/other.txt"), static_cast<DWORD>(FTP_PRESENCE_ABSENT));
    Finish(c, f);
  }
  // A listing that leaves the file out (vsftpd lists a folder it may not read as empty): the
  // file's time shows it is there.
  {
    FakeFtpd f(With(LoginSteps(), With(Listed("hidden", "-rw-r--r-- 1 u g 5 Dec  7 12:00 other.txt\r\n"),
                                       {{Step::Send, "MDTM hidden/a.txt", "213 20261207120000\r\n"}})));
    Connection c("127.0.0.1:" + std::to_string(f.Port()), "u", "p");
    CHECK_EQ(c.Of("hidden/a.txt"), static_cast<DWORD>(FTP_PRESENCE_FILE));
    Finish(c, f);
  }
  // The folder cannot be listed: its entry's presence is not known; the error says why.
  {
    FakeFtpd f(With(LoginSteps(), {{Step::Send, "TYPE A", "200 ok\r\n"},
                                   {Step::Pasv, "PASV", ""},
                                   {Step::Send, "LIST locked", "550 Permission denied.\r\n"}}));
    Connection c("127.0.0.1:" + std::to_string(f.Port()), "u", "p");
    CHECK_EQ(c.Of("locked/a.txt"), 100u + ERROR_INTERNET_EXTENDED_ERROR);
    CHECK_EQ(LastResponseText(), std::string("550 Permission denied.\r\n"));
    Finish(c, f);
  }
  // Arguments: no name after the last "/", no path, no answer to write, a command in the path.
  FakeFtpd f(LoginSteps());
  Connection c("127.0.0.1:" + std::to_string(f.Port()), "u", "p");
  REQUIRE(c.conn);
  DWORD p = 0;
  CHECK_EQ(c.Of("pub/"), 100u + ERROR_INVALID_PARAMETER);
  CHECK_EQ(c.Of(""), 100u + ERROR_INVALID_PARAMETER);
  CHECK(!FtpGetEntryPresenceA(c.conn, nullptr, &p, 0));
  CHECK(!FtpGetEntryPresenceA(c.conn, "a.txt", nullptr, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CHECK_EQ(c.Of("a.txt\r\nDELE b.txt"), 100u + ERROR_INVALID_PARAMETER);
  CHECK(!FtpGetEntryPresenceA(nullptr, "a.txt", &p, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  InternetCloseHandle(c.conn);
  c.conn = nullptr;
  // Nothing but the login and the goodbye reached the server.
  for (const std::string& cmd : f.Commands())
    CHECK(cmd == "USER u" || cmd == "PASS p" || cmd == "FEAT" || cmd == "QUIT");
}
