// The client's connection options and awkward input, end to end under Wine against the
// fixture's vsftpd: passive mode (read from vsftpd's protocol log), a real FTP proxy (ProFTPD's
// mod_proxy, user@host logins) and the system proxy setting, over-long and non-ASCII server
// names, user names and passwords, and non-ASCII file names both ways.
#include <windows.h>

#include <vector>

#include "e2e/client_steps.h"

namespace {

using namespace e2e;

// A file of the servers' fixture folder (AFC_FTPD_DIR).
std::string FixtureFile(const std::string& name) {
  const char* dir = std::getenv("AFC_FTPD_DIR");
  return dir ? uidriver::WindowsPath(dir) + "\\" + name : std::string();
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The commands vsftpd logged after the first `from` bytes of its protocol log.
std::string CommandsSince(std::size_t from) {
  const std::string log = Slurp(FixtureFile("vsftpd-protocol.log"));
  return log.size() > from ? log.substr(from) : std::string();
}

// The "[pid N]" of the vsftpd process that logged the line around `at`.
std::string SessionOf(const std::string& log, std::size_t at) {
  const std::size_t start = log.rfind("[pid ", at);
  return log.substr(start, log.find(']', start) + 1 - start);
}

bool UsedPassive(const std::string& log) { return Count(log, "\", \"PASV\"") + Count(log, "\", \"EPSV") > 0; }
bool UsedActive(const std::string& log) { return Count(log, "\", \"PORT ") + Count(log, "\", \"EPRT ") > 0; }

// Gets pub/one.bin into the local folder (the tree's pub folder expanded) and checks it.
void GetOneByte(Session& s) {
  Client& c = s.c;
  const std::string local = s.local + "\\one.bin";
  DeleteFileA(local.c_str());
  REQUIRE(c.Select(kList1, c.FindRow(kList1, "one.bin")));
  c.Press(kGet);
  CHECK(WaitUntil([&] { return Slurp(local) == "x" && c.Status(2) == "Finished"; }));
}

void ExpectFailure(Client& c, const std::string& text = std::string()) {
  const uidriver::MessageBoxInfo box = c.WaitMessageBox(30000);
  CHECK_EQ(box.caption, std::string("VTFTP Client Error"));
  std::printf("  message: %s\n", box.text.c_str());
  if (text.empty()) CHECK(!box.text.empty());
  else CHECK_EQ(box.text, text);
  CHECK(c.Answer(box, "OK"));
  CHECK(WaitUntil([&] { return c.Enabled(kConnect); }));
  CheckStates(c, true, false);
}

void TryConnect(Session& s, const std::string& server, const std::string& user, const std::string& password) {
  s.c.SetText(kServerName, server);
  s.c.SetText(kUserName, user);
  s.c.SetText(kPassword, password);
  s.c.Press(kConnect);
}

// A client connected to vsftpd with its "pub" folder expanded.
void OpenInPub(Session& s, const std::string& tag) {
  REQUIRE(s.Open("vsftpd", tag));
  s.StartSession();
  REQUIRE(s.Connect());
  REQUIRE(s.Expand("pub"));
}

}  // namespace

TEST_CASE("passive mode: the check box decides how every data connection is opened") {
  Session s;
  REQUIRE(s.Open("vsftpd", "passive"));
  Client& c = s.c;
  s.StartSession();
  std::size_t from = Slurp(FixtureFile("vsftpd-protocol.log")).size();
  c.SetCheck(kPassive, true);
  REQUIRE(s.Connect());
  REQUIRE(s.Expand("pub"));
  GetOneByte(s);
  std::string log = CommandsSince(from);
  CHECK(UsedPassive(log));
  CHECK(!UsedActive(log));

  // Disconnect ends the download's connection, which no listing has closed yet: vsftpd logs
  // the QUIT of the process that served the RETR.
  const std::size_t retr = log.find("\"RETR pub/one.bin\"");
  REQUIRE(retr != std::string::npos);
  const std::string session = SessionOf(log, retr);
  CHECK(CommandsSince(from).find(session + " [ftp] FTP command: Client \"127.0.0.1\", \"QUIT\"") == std::string::npos);
  c.Press(kDisconnect);
  REQUIRE(WaitUntil([&] { return c.Enabled(kConnect); }));
  CHECK(WaitUntil([&] {
    return CommandsSince(from).find(session + " [ftp] FTP command: Client \"127.0.0.1\", \"QUIT\"") != std::string::npos;
  }, 10000));

  // A series of downloads runs on one logged-in connection, which the library keeps between
  // the requests: one vsftpd session serves them all, until Disconnect ends it.
  REQUIRE(s.Connect());
  REQUIRE(s.Expand("pub"));
  from = Slurp(FixtureFile("vsftpd-protocol.log")).size();
  for (int i = 0; i < 3; ++i) GetOneByte(s);
  log = CommandsSince(from);
  std::vector<std::string> sessions;
  for (std::size_t at = log.find("\"RETR pub/one.bin\""); at != std::string::npos;
       at = log.find("\"RETR pub/one.bin\"", at + 1))
    sessions.push_back(SessionOf(log, at));
  REQUIRE(sessions.size() == 3u);
  auto quit = [&](const std::string& session) {
    return CommandsSince(from).find(session + " [ftp] FTP command: Client \"127.0.0.1\", \"QUIT\"") != std::string::npos;
  };
  CHECK(sessions[0] == sessions[1] && sessions[1] == sessions[2]);
  CHECK(!quit(sessions[2]));
  c.Press(kDisconnect);
  REQUIRE(WaitUntil([&] { return c.Enabled(kConnect); }));
  CHECK(WaitUntil([&] { return quit(sessions[2]); }, 10000));

  // Cleared, the next connection is made in active mode.
  from = Slurp(FixtureFile("vsftpd-protocol.log")).size();
  c.SetCheck(kPassive, false);
  REQUIRE(s.Connect());
  REQUIRE(s.Expand("pub"));
  GetOneByte(s);
  log = CommandsSince(from);
  CHECK(UsedActive(log));
  CHECK(!UsedPassive(log));
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("proxy: a named FTP proxy carries the session; the system setting takes precedence") {
  const std::string proxy_port = Trim(Slurp(FixtureFile("proxy.txt")));
  REQUIRE(!proxy_port.empty());
  Session s;
  REQUIRE(s.Open("vsftpd", "proxy"));
  Client& c = s.c;
  const std::string via = "received banner from backend " + s.server->Host();
  const std::size_t before = Count(Slurp(FixtureFile("proxy.log")), via);

  c.SetText(kProxy, "127.0.0.1:" + proxy_port);
  c.Leave(kProxy);
  s.StartSession();
  REQUIRE(s.Connect());
  REQUIRE(s.Expand("pub"));
  GetOneByte(s);
  // The connect, the two listings and the get went through the proxy (on the one login the
  // library keeps between requests).
  const std::size_t through = Count(Slurp(FixtureFile("proxy.log")), via);
  std::printf("  logins through the proxy: %zu\n", through - before);
  CHECK(through >= before + 1);
  c.Press(kClose);
  REQUIRE(WaitUntil([&] { return c.Enabled(kStart); }));

  // With the system setting chosen (no proxy in this prefix) a proxy name left in the entry is
  // not used, by the session or by its listings.
  c.SetCheck(kUsePreconfig, true);
  c.SetText(kProxy, "127.0.0.1:" + std::to_string(nettest::UnusedPort()));
  c.Leave(kProxy);
  s.StartSession();
  REQUIRE(s.Connect());
  REQUIRE(s.Expand("pub"));
  CHECK_EQ(Count(Slurp(FixtureFile("proxy.log")), via), through);
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("bad input: over-long and non-ASCII server names, user names and passwords") {
  Session s;
  REQUIRE(s.Open("vsftpd", "names"));
  Client& c = s.c;
  s.StartSession();
  const std::string host = s.server->Host();
  const std::string not_resolved = Trim(nettest::ErrorText(ERROR_INTERNET_NAME_NOT_RESOLVED));

  // Longer than the entry holds (39): what is kept names a host that does not exist.
  TryConnect(s, std::string(31, 'a') + ".invalid" + std::string(40, 'z'), "anonymous", "e2e@");
  ExpectFailure(c, not_resolved);
  TryConnect(s, "s\xe9rveur.invalid", "anonymous", "e2e@");
  ExpectFailure(c);
  // User names and passwords cut to 19 characters, or with bytes outside ASCII.
  TryConnect(s, host, "anonymous" + std::string(30, 'x'), "e2e@");
  ExpectFailure(c);
  TryConnect(s, host, "veluser", "velpass" + std::string(30, 'y'));
  ExpectFailure(c);
  TryConnect(s, host, "vel\xfcser", "velpass");
  ExpectFailure(c);
  // A line break cannot reach the server as a second command; the window is not left busy.
  TryConnect(s, host, "veluser", "velpass\r\nDELE readme.txt");
  ExpectFailure(c);
  CHECK(Exists(s.ServerPath("readme.txt")));
  // An anonymous password may be anything.
  REQUIRE(s.Connect("anonymous", "p\xe4ssw\xf6rd"));
  CHECK(c.FindRow(kList1, "pub") > 0);
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("non-ASCII file names: get and put keep the name and the content") {
  Session s;
  OpenInPub(s, "nonascii");
  Client& c = s.c;
  const std::string upload = "na\xefve file.txt";
  Write(s.local + "\\" + upload, "naive");  // listed by the refresh after the download
  const int cafe = c.FindRow(kList1, "caf\xe9.txt");
  REQUIRE(cafe > 0);
  REQUIRE(c.Select(kList1, cafe));
  c.Press(kGet);
  CHECK(WaitUntil([&] { return Slurp(s.local + "\\caf\xe9.txt") == "utf8\n"; }));
  CHECK(WaitUntil([&] { return c.FindRow(kList4, upload) >= 0 && c.Status(2) == "Finished"; }));

  REQUIRE(c.Select(kList1, c.FindRow(kList1, "pub")));
  REQUIRE(c.Select(kList4, c.FindRow(kList4, upload)));
  c.Press(kPut);
  CHECK(WaitUntil([&] { return Slurp(s.ServerPath("pub/" + upload)) == "naive"; }));
  CHECK(s.WaitIdleRow(upload));
  DeleteFileA(s.ServerPath("pub/" + upload).c_str());
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("remote tree: no second listing of a listed folder, Connect while connected, the server's own refusal") {
  Session s;
  OpenInPub(s, "refusal");
  Client& c = s.c;
  const int expanded = c.RowCount(kList1);

  // Collapsing and expanding again, and a Connect that arrives while connected (the button is
  // disabled, the event can still come), reach no server: vsftpd logs no new connection.
  const std::size_t from = Slurp(FixtureFile("vsftpd-protocol.log")).size();
  REQUIRE(c.DoubleClick(kList1, c.FindRow(kList1, "pub")));
  CHECK(WaitUntil([&] { return c.RowCount(kList1) < expanded; }));
  REQUIRE(c.DoubleClick(kList1, c.FindRow(kList1, "pub")));
  CHECK(WaitUntil([&] { return c.RowCount(kList1) == expanded; }));
  c.Press(kConnect);
  Sleep(500);
  CHECK(c.Ping() < 1000);
  CheckStates(c, true, true);
  CHECK_EQ(c.RowCount(kList1), expanded);
  CHECK_EQ(Count(CommandsSince(from), "CONNECT: Client"), 0u);

  // A directory that exists already: the message is the server's own reply, the tree stays.
  REQUIRE(c.RightClick(kList1, 0));
  REQUIRE(c.ChooseMenuItem(3));
  HWND dialog = c.FindDialog("Create Directory");
  REQUIRE(dialog != nullptr);
  TypeIntoDialog(c, dialog, 4, "pub");
  c.PressOf(dialog, 5);
  const uidriver::MessageBoxInfo box = c.WaitMessageBox(30000);
  CHECK_EQ(box.caption, std::string("VTFTP Client Error"));
  std::printf("  message: %s\n", box.text.c_str());
  CHECK_EQ(box.text, std::string("550 Create directory operation failed."));
  CHECK(c.Answer(box, "OK"));
  CHECK_EQ(c.RowCount(kList1), expanded);
  // And the client is idle again.
  GetOneByte(s);
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("remote tree: a folder of 10,000 files is listed and shown") {
  Session s;
  OpenInPub(s, "big");
  Client& c = s.c;
  const DWORD start = GetTickCount();
  REQUIRE(c.DoubleClick(kList1, c.FindRow(kList1, "big10k")));
  CHECK(WaitUntil([&] { return c.RowCount(kList1) > 10000 && c.Status(3).empty(); }, 120000));
  std::printf("  listed 10,000 entries in %lu ms\n", GetTickCount() - start);
  CHECK(c.FindRow(kList1, "f09999.dat") > 0);
  CHECK(c.Ping() < 1000);
  CHECK_EQ(c.Stop(), 0);
}
