// The TLS channel against real servers on loopback (the ftpd_tls fixture): vsftpd and ProFTPD
// mod_tls, explicit and implicit, with the test authority trusted in the prefix. Transfers
// check the bytes on both sides, the server's verdict on the data connection, and the orderly
// TLS end of each data connection before the transfer's final reply.
#include <cstdio>

#include "integration/net_support.h"
#include "integration/tls_support.h"
#include "net/ftpnet.h"
#include "support/check.h"

using namespace tlstest;
using namespace vel::net;

namespace {

struct Kind {
  const char* server;
  bool implicit;
};
// Servers that demand the control connection's session on every data connection (their default).
const Kind kReuseServers[] = {
    {"vsftpd-explicit", false}, {"vsftpd-implicit", true}, {"proftpd-explicit", false}, {"proftpd-implicit", true}};
// The same servers with that demand switched off.
const Kind kPlainDataServers[] = {{"vsftpd-noreuse", false}, {"proftpd-noreuse", true}};

bool Ready() {
  static bool trusted = TrustTestAuthority();
  return trusted && Port("vsftpd-explicit") != 0;
}

std::string TreeFile(const std::string& name) { return FixtureDir() + "\\tree\\pub\\" + name; }

// Logged in over TLS, binary type.
bool LogIn(FtpTlsClient* c, const Kind& k) {
  if (c->Open(Port(k.server), k.implicit) != 0 || c->Login() != 0) return false;
  FtpReply r;
  return c->Command("TYPE I", &r) == 0 && r.code == 200;
}

}  // namespace

TEST_CASE("tls servers: handshake, certificate and encrypted login") {
  REQUIRE(Ready());
  for (const auto* list : {kReuseServers, kPlainDataServers}) {
    size_t n = list == kReuseServers ? std::size(kReuseServers) : std::size(kPlainDataServers);
    for (size_t i = 0; i < n; ++i) {
      const Kind& k = list[i];
      FtpTlsClient c;
      DWORD e = c.Open(Port(k.server), k.implicit);
      CHECK_EQ(e, 0ul);
      if (e) {
        printf("  %s: open failed %lu, status %08lx\n", k.server, e, c.Control() ? c.Control()->Status() : 0);
        continue;
      }
      TlsSessionInfo info = c.Info();
      printf("  %s: %s [%s]\n", k.server, info.Describe().c_str(), c.Form());
      CHECK(info.protocol & (SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT));
      CHECK(info.cipherBits >= 128);
      CHECK_EQ(c.greeting.substr(0, 4), std::string("220 "));
      CertificateVerdict v = c.Verdict();
      CHECK_EQ(v.error, 0ul);
      CHECK_EQ(v.problems, 0ul);
      CHECK_EQ(v.details.subject, std::string("CN=localhost, O=AFC Tests"));
      CHECK_EQ(v.details.issuer, std::string("CN=AFC Test Authority, O=AFC Tests"));
      CHECK_EQ(v.details.fingerprint.size(), 64u);
      CHECK_EQ(c.Login(), 0ul);
      FtpReply r;
      CHECK_EQ(c.Command("PWD", &r), 0ul);
      CHECK_EQ(r.code, 257);
      CHECK(!c.plainAfterAuth);
      c.Quit();
    }
  }
}

TEST_CASE("tls servers: the certificate is checked against an address literal too") {
  REQUIRE(Ready());
  FtpTlsClient c("127.0.0.1");
  REQUIRE(c.Open(Port("vsftpd-implicit"), true) == 0);
  CertificateVerdict v = c.Verdict();
  CHECK_EQ(v.error, 0ul);  // the certificate names IP:127.0.0.1
  c.Quit();
  FtpTlsClient other("127.0.0.2");  // the same server asked for as an address it was not issued for
  REQUIRE(other.Open(Port("vsftpd-implicit"), true) == 0);
  CHECK_EQ(other.Verdict().error, static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_CN_INVALID));
  other.Quit();
}

TEST_CASE("tls servers: encrypted passive and active transfers, closed in order before the 226") {
  REQUIRE(Ready());
  std::string expected = nettest::ReadAll(TreeFile("random.bin"));
  REQUIRE(expected.size() == 3000000);
  for (const Kind& k : kPlainDataServers) {
    for (bool passive : {true, false}) {
      const char* mode = passive ? "passive" : "active";
      FtpTlsClient c;
      REQUIRE(LogIn(&c, k));

      FtpTlsClient::Transfer get;
      CHECK_EQ(c.Run(passive, "RETR random.bin", nullptr, &get), 0ul);
      printf("  %s %s: data %s, RETR %d, ", k.server, mode, get.data.Describe().c_str(), get.final.code);
      CHECK_EQ(get.dataError, 0ul);
      CHECK_EQ(get.final.code, 226);
      CHECK(get.received == expected);
      CHECK(get.endedCleanly);  // the server's close_notify came before the end of the connection
      CHECK(get.sameCertificate);

      // vsftpd runs with strict_ssl_read_eof: an upload not ended by a close_notify fails.
      std::string upload = nettest::Bytes(1500000 + (passive ? 1 : 2), 7);
      std::string name = std::string("up-") + k.server + "-" + mode + ".bin";
      FtpTlsClient::Transfer put;
      CHECK_EQ(c.Run(passive, "STOR " + name, &upload, &put), 0ul);
      printf("STOR %d, ", put.final.code);
      CHECK_EQ(put.dataError, 0ul);
      CHECK_EQ(put.final.code, 226);
      CHECK(nettest::ReadAll(TreeFile(name)) == upload);

      FtpTlsClient::Transfer list;
      CHECK_EQ(c.Run(passive, "LIST", nullptr, &list), 0ul);
      printf("LIST %d\n", list.final.code);
      CHECK_EQ(list.final.code, 226);
      CHECK(list.received.find("hello.txt") != std::string::npos);
      CHECK(list.received.find(name) != std::string::npos);

      FtpTlsClient::Transfer zero;
      CHECK_EQ(c.Run(passive, "RETR zero.bin", nullptr, &zero), 0ul);
      CHECK_EQ(zero.final.code, 226);
      CHECK_EQ(zero.received.size(), 0u);
      c.Quit();
    }
  }
}

// vsftpd (require_ssl_reuse) and ProFTPD (mod_tls) take a data connection only when it resumes
// the control connection's TLS session. The channel offers that by handing both connections
// the same credentials and target name. Wine's Secure Channel 8.0 resumes nothing (see the
// platform case below), so there both servers refuse the data connection: the refusal must be
// a clear reply, with no hang, and the session must stay usable.
TEST_CASE("tls servers: data connections of servers that demand the control session") {
  REQUIRE(Ready());
  bool resumes = !WineUpTo(8);
  for (const Kind& k : kReuseServers) {
    for (bool passive : {true, false}) {
      FtpTlsClient c;
      REQUIRE(LogIn(&c, k));
      FtpTlsClient::Transfer get;
      DWORD start = GetTickCount();
      CHECK_EQ(c.Run(passive, "RETR hello.txt", nullptr, &get), 0ul);
      DWORD took = GetTickCount() - start;
      printf("  %s %s: final %d %s", k.server, passive ? "passive" : "active", get.final.code, get.final.text.c_str());
      if (resumes) {
        CHECK_EQ(get.final.code, 226);
        CHECK_EQ(get.received, std::string("secret line one\r\nsecret line two\r\n"));
      } else {
        CHECK(get.final.code == 522 || get.final.code == 425);
        CHECK(get.received.empty());
        CHECK(took < 8000);  // the refusal comes at once, not after a time-out
      }
      // vsftpd ends the whole session after a refused TLS data connection; ProFTPD goes on.
      FtpReply r;
      DWORD e = c.Command("PWD", &r);
      if (resumes || std::string(k.server).rfind("proftpd", 0) == 0) {
        CHECK_EQ(e, 0ul);
        CHECK_EQ(r.code, 257);
      } else {
        CHECK_EQ(e, static_cast<DWORD>(ERROR_FTP_DROPPED));
      }
      c.Quit();
    }
  }
}
