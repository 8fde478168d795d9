// The client over FTP over TLS, end to end under Wine against the ftpd_tls fixture's servers:
// "ftpes://" and "ftps://" in the server name, the root row and status zone 3 that show the
// connection is encrypted, get and put over it; the trust question for a self-signed, an
// expired and a wrong-name certificate (both answers, remembered, asked again when the
// certificate changes, answered by mouse and by keyboard) and for certificates with two
// problems (named in one question), and the clear refusals of a server
// without TLS and of one that demands resumed TLS sessions. Screenshots go to the artifacts.
#include <windows.h>

#include <algorithm>
#include <string>

#include "e2e/client_steps.h"
#include "e2e/keyboard_driver.h"
#include "integration/tls_support.h"
#include "net/tls_certificate.h"

namespace {

using namespace e2e;

constexpr const char* kTrustKey = "Software\\Asynchronous FTP Client\\Trusted Certificates";

bool Ready() {
  static bool trusted = tlstest::TrustTestAuthority();
  LoadArguments();
  return trusted && tlstest::Port("vsftpd-noreuse") != 0 && !g_exe.empty();
}

std::string Name(const char* scheme, const char* server, const char* host = "localhost") {
  return std::string(scheme) + host + ":" + std::to_string(tlstest::Port(server));
}

std::string TreeFile(const std::string& name) { return tlstest::FixtureDir() + "\\tree\\pub\\" + name; }

size_t LoggedUsers(const char* server) {
  const std::string log = tlstest::FixtureText(std::string(server) + ".log");
  size_t n = 0;
  for (size_t at = log.find("\", \"USER "); at != std::string::npos; at = log.find("\", \"USER ", at + 1)) ++n;
  return n;
}

void Forget(const char* server) {
  vel::net::TrustedCertificates().Forget(vel::net::TrustServerName("localhost", tlstest::Port(server)));
}

// The client started in a scratch folder, its session open.
struct TlsClient {
  Client c;
  std::string local;
  // `file`/`data`: a local file made before the program starts (it lists its folder then).
  bool Open(const std::string& tag, const std::string& file = "", const std::string& data = "") {
    local = LocalScratch(tag);
    if (!file.empty()) Write(local + "\\" + file, data);
    if (!c.Start(g_exe, local) || !WaitUntil([&] { return StartedUp(c); })) return false;
    c.Press(kStart);
    return WaitUntil([&] { return !c.Enabled(kStart); });
  }
  void Connect(const std::string& server, bool passive = true) {
    c.SetText(kServerName, server);
    c.SetText(kUserName, "veluser");
    c.SetText(kPassword, "velpass");
    c.SetCheck(kPassive, passive);
    c.Press(kConnect);
  }
  // Connected, the root listed, and the listing's end shown (zone 3 names the TLS).
  bool WaitConnected() {
    return WaitUntil([&] {
      return c.Enabled(kDisconnect) && c.FindRow(kList1, "hello.txt") >= 0 && c.Status(3).rfind("TLS 1.", 0) == 0;
    }, 30000);
  }
  void Disconnect() {
    c.Press(kDisconnect);
    CHECK(WaitUntil([&] { return c.Enabled(kConnect); }));
    CHECK_EQ(c.Status(3), std::string());  // no connection, no TLS shown
  }
  bool Get(const std::string& name) {
    const std::string target = local + "\\" + name;
    DeleteFileA(target.c_str());
    if (!c.Select(kList1, c.FindRow(kList1, name))) return false;
    c.Press(kGet);
    if (WaitUntil([&] { return Exists(target) && c.Status(2) == "Finished"; }, 30000)) return true;
    Explain();
    return false;
  }
  // What the window shows when a step did not end as expected.
  void Explain() {
    std::printf("  zones: %s | %s | %s\n", c.Status(1).c_str(), c.Status(2).c_str(), c.Status(3).c_str());
    const uidriver::MessageBoxInfo box = c.WaitMessageBox(1000);
    if (box.hwnd) std::printf("  box %s: %s\n", box.caption.c_str(), box.text.c_str());
  }
};

// The trust question: caption, the problem's text, the certificate's details.
uidriver::MessageBoxInfo ExpectQuestion(Client& c, const std::string& problem, const std::string& subject) {
  uidriver::MessageBoxInfo box = c.WaitMessageBox(30000);
  CHECK(box.hwnd != nullptr);
  CHECK_EQ(box.caption, std::string("FTP Client"));
  CHECK(box.has_icon);
  std::printf("  question: %s\n", box.text.c_str());
  CHECK(box.text.find(problem) != std::string::npos);
  CHECK(box.text.find("Subject:  " + subject) != std::string::npos);
  CHECK(box.text.find("Issuer:  ") != std::string::npos);
  CHECK(box.text.find("Valid:  ") != std::string::npos);
  CHECK(box.text.find("SHA-256:  ") != std::string::npos);
  CHECK(box.text.find("Trust this certificate for this server?") != std::string::npos);
  return box;
}

std::string RememberedFingerprint(const char* server) {
  const std::string key = std::string(kTrustKey) + "\\" + vel::net::TrustServerName("localhost", tlstest::Port(server));
  char value[128] = "";
  DWORD size = sizeof value - 1;
  if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), "Fingerprint", RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
    return std::string();
  return value;
}

}  // namespace

TEST_CASE("client tls: ftpes:// and ftps:// connect, show the TLS, and move files both ways") {
  REQUIRE(Ready());
  const std::string payload = nettest::Bytes(200000, 5);
  TlsClient t;
  REQUIRE(t.Open("tls_plain_data", "tls-up.bin", payload));
  Client& c = t.c;
  // Explicit TLS, passive mode.
  const std::string name = Name("ftpes://", "vsftpd-noreuse");
  CHECK(name.size() <= 39);  // the server name entry takes 39 characters
  const size_t users = LoggedUsers("vsftpd-noreuse");
  t.Connect(name, true);
  REQUIRE(t.WaitConnected());
  CheckStates(c, true, true);
  std::printf("  root row: %s | zone 3: %s\n", c.Row(kList1, 0).c_str(), c.Status(3).c_str());
  CHECK(c.Row(kList1, 0).rfind(name, 0) == 0);  // the root row reads "ftpes://localhost:port"
  Shot(c, c.Main(), "tls_connected");

  CHECK(t.Get("hello.txt"));
  CHECK_EQ(Slurp(t.local + "\\hello.txt"), std::string("secret line one\r\nsecret line two\r\n"));
  CHECK_EQ(c.Status(3).rfind("TLS 1.", 0), 0u);  // still shown after the transfer's own connect

  // Put: a local file into the server's folder (the root row selected).
  c.Press(kClearLocal);
  REQUIRE(c.Select(kList1, 0));
  int row = c.FindRow(kList4, "tls-up.bin");
  if (row < 0) row = c.FindRow(kList4, "TLS-UP.BIN");
  REQUIRE(c.Select(kList4, row));
  c.Press(kPut);
  if (!WaitUntil([&] { return Slurp(TreeFile("tls-up.bin")) == payload && c.FindRow(kList1, "tls-up.bin") >= 0; }, 30000)) {
    t.Explain();
    CHECK(false);
  }
  // F5 lists the tree again. The connect, its listing, the get, the put with its check and its
  // refresh, and this listing all ran on the one TLS login the connect made.
  Write(TreeFile("tls-f5.txt"), "listed again\n");
  c.Key(VK_F5);
  CHECK(WaitUntil([&] { return c.FindRow(kList1, "tls-f5.txt") >= 0 && c.Status(3).rfind("TLS 1.", 0) == 0; }));
  DeleteFileA(TreeFile("tls-f5.txt").c_str());
  CHECK_EQ(LoggedUsers("vsftpd-noreuse") - users, size_t{1});
  t.Disconnect();

  // Implicit TLS, active mode, another server (ProFTPD).
  t.Connect(Name("ftps://", "proftpd-noreuse", "127.0.0.1"), false);
  REQUIRE(t.WaitConnected());
  CHECK(c.Row(kList1, 0).rfind("ftps://127.0.0.1:", 0) == 0);
  CHECK(t.Get("random.bin"));
  CHECK(Slurp(t.local + "\\random.bin") == Slurp(TreeFile("random.bin")));
  CHECK_EQ(c.Stop(), 0);
  DeleteFileA(TreeFile("tls-up.bin").c_str());
}

TEST_CASE("client tls: the trust question for a self-signed certificate: No, Yes, remembered, asked again") {
  REQUIRE(Ready());
  Forget("vsftpd-selfsigned");
  TlsClient t;
  REQUIRE(t.Open("tls_trust"));
  Client& c = t.c;
  const std::string name = Name("ftpes://", "vsftpd-selfsigned");
  const size_t users = LoggedUsers("vsftpd-selfsigned");

  // No: nothing remembered, nothing sent, the window stays ready to connect.
  t.Connect(name);
  uidriver::MessageBoxInfo box =
      ExpectQuestion(c, "not vouched for by an authority this computer trusts", "CN=localhost, O=AFC Tests");
  const std::string fingerprint = Trim(tlstest::FixtureText("certs\\selfsigned.sha256"));
  CHECK(box.text.find(fingerprint.substr(0, 47)) != std::string::npos);  // openssl's fingerprint, first half
  CHECK(box.text.find(fingerprint.substr(48)) != std::string::npos);
  Shot(c, box.hwnd, "tls_trust_question");
  CHECK(c.Answer(box, "No"));
  CHECK(WaitUntil([&] { return c.Enabled(kConnect) && c.Status(2) == "Server certificate not trusted"; }));
  CheckStates(c, true, false);
  CHECK_EQ(RememberedFingerprint("vsftpd-selfsigned"), std::string());
  Sleep(200);
  CHECK_EQ(LoggedUsers("vsftpd-selfsigned"), users);  // no user name, no password

  // Asked again; Yes: remembered, and the same request goes on to the connected state.
  t.Connect(name);
  box = ExpectQuestion(c, "not vouched for", "CN=localhost, O=AFC Tests");
  CHECK(c.Answer(box, "Yes"));
  REQUIRE(t.WaitConnected());
  std::string remembered = RememberedFingerprint("vsftpd-selfsigned");
  std::string plain = fingerprint;
  plain.erase(std::remove(plain.begin(), plain.end(), ':'), plain.end());
  CHECK_EQ(remembered, plain);
  CHECK(t.Get("hello.txt"));  // every later connect of the session goes through without a word
  t.Disconnect();

  // The next connection does not ask.
  t.Connect(name);
  REQUIRE(t.WaitConnected());
  CHECK(c.FindDialog("", 500) == nullptr);
  t.Disconnect();

  // The server shows another certificate than the one trusted (the remembered fingerprint is
  // another one's): asked again.
  const std::string key = std::string(kTrustKey) + "\\" + vel::net::TrustServerName("localhost", tlstest::Port("vsftpd-selfsigned"));
  const std::string other(64, 'A');
  CHECK_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "Fingerprint", REG_SZ, other.c_str(), 65), ERROR_SUCCESS);
  t.Connect(name);
  box = ExpectQuestion(c, "not vouched for", "CN=localhost, O=AFC Tests");
  CHECK(c.Answer(box, "Yes"));
  REQUIRE(t.WaitConnected());
  CHECK_EQ(RememberedFingerprint("vsftpd-selfsigned"), plain);
  CHECK_EQ(c.Stop(), 0);
  Forget("vsftpd-selfsigned");
}

// With the keyboard alone: the question comes to the front by itself; "y" is Yes, "n" No (a
// Yes/No box has no Cancel, so Escape does nothing, as in the platform's own boxes).
TEST_CASE("client tls: the trust question for an expired and a wrong-name certificate, by keyboard") {
  REQUIRE(Ready());
  Forget("vsftpd-expired");
  Forget("vsftpd-wronghost");
  TlsClient t;
  REQUIRE(t.Open("tls_trust_keys"));
  Client& c = t.c;

  t.Connect(Name("ftpes://", "vsftpd-wronghost"));
  uidriver::MessageBoxInfo box = ExpectQuestion(c, "issued for another server name", "CN=wrong.example, O=AFC Tests");
  REQUIRE(kbd::WaitForeground(box.hwnd));
  kbd::Type("n");
  CHECK(WaitUntil([&] { return c.Enabled(kConnect) && c.Status(2) == "Server certificate not trusted"; }));

  t.Connect(Name("ftpes://", "vsftpd-expired"));
  box = ExpectQuestion(c, "has expired or is not valid yet", "CN=localhost, O=AFC Tests");
  CHECK(box.text.find("Valid:  2020-01-01 00:00 UTC - 2021-01-01 00:00 UTC") != std::string::npos);
  REQUIRE(kbd::WaitForeground(box.hwnd));
  kbd::Type("y");
  REQUIRE(t.WaitConnected());
  CHECK_EQ(c.Stop(), 0);
  Forget("vsftpd-expired");
}

// A certificate with two problems names both in one question, and one "Yes" covers both: the
// connect goes on without a second question (no problem was hidden behind the first).
TEST_CASE("client tls: one question names every problem of a certificate") {
  REQUIRE(Ready());
  Forget("vsftpd-expiredunknown");
  Forget("vsftpd-selfwrong");
  TlsClient t;
  REQUIRE(t.Open("tls_trust_both"));
  Client& c = t.c;
  const size_t users = LoggedUsers("vsftpd-selfwrong");

  t.Connect(Name("ftpes://", "vsftpd-selfwrong"));
  uidriver::MessageBoxInfo box = ExpectQuestion(c, "not vouched for", "CN=wrong.example, O=AFC Tests");
  CHECK(box.text.find("issued for another server name") != std::string::npos);
  CHECK(c.Answer(box, "No"));
  CHECK(WaitUntil([&] { return c.Enabled(kConnect) && c.Status(2) == "Server certificate not trusted"; }));
  Sleep(200);
  CHECK_EQ(LoggedUsers("vsftpd-selfwrong"), users);

  t.Connect(Name("ftpes://", "vsftpd-expiredunknown"));
  box = ExpectQuestion(c, "not vouched for", "CN=localhost, O=AFC Tests");
  CHECK(box.text.find("has expired or is not valid yet") != std::string::npos);
  CHECK(box.text.find("Issuer:  CN=AFC Unknown Authority, O=AFC Tests") != std::string::npos);
  CHECK(c.Answer(box, "Yes"));
  REQUIRE(t.WaitConnected());
  CHECK(c.FindDialog("", 500) == nullptr);  // asked once
  CHECK(t.Get("hello.txt"));
  CHECK_EQ(c.Stop(), 0);
  Forget("vsftpd-expiredunknown");
}

TEST_CASE("client tls: a server without TLS, and one that demands resumed TLS sessions, refuse clearly") {
  REQUIRE(Ready());
  TlsClient t;
  REQUIRE(t.Open("tls_refusals"));
  Client& c = t.c;
  const size_t users = LoggedUsers("vsftpd-plain");
  t.Connect(Name("ftpes://", "vsftpd-plain"));
  uidriver::MessageBoxInfo box = c.WaitMessageBox(30000);
  std::printf("  no TLS: %s\n", box.text.c_str());
  CHECK_EQ(box.caption, std::string("VTFTP Client Error"));
  CHECK(box.text.find("refused to encrypt the connection") != std::string::npos);
  CHECK(box.text.find("Server: 530") != std::string::npos);  // the server's own reply follows
  CHECK(c.Answer(box, "OK"));
  CHECK(WaitUntil([&] { return c.Enabled(kConnect); }));
  CheckStates(c, true, false);
  Sleep(200);
  CHECK_EQ(LoggedUsers("vsftpd-plain"), users);

  // vsftpd with require_ssl_reuse (its default): the login works, the listing's data
  // connection is refused under a platform that resumes no TLS session (Wine 8).
  t.Connect(Name("ftpes://", "vsftpd-explicit"));
  if (!tlstest::WineUpTo(8)) {
    REQUIRE(t.WaitConnected());
    CHECK_EQ(c.Stop(), 0);
    return;
  }
  box = c.WaitMessageBox(30000);
  std::printf("  reuse demanded: %s\n", box.text.c_str());
  CHECK_EQ(box.caption, std::string("VTFTP Client Error"));
  CHECK(box.text.find("refused the encrypted data connection") != std::string::npos);
  CHECK(box.text.find("Server: 522") != std::string::npos);
  Shot(c, box.hwnd, "tls_reuse_refused");
  CHECK(c.Answer(box, "OK"));
  CHECK_EQ(c.Stop(), 0);
}
