// Server certificates judged by the platform's chain engine and SSL policy, on real vsftpd
// instances of the ftpd_tls fixture serving an expired, a wrong-name and a self-signed
// certificate, certificates from authorities in no trust store (sent or not, with two
// problems at once), and a chain that loops; the name typed, read in the ANSI code page; and
// the remembered trust of a user in the registry.
#include <cstdio>

#include "integration/tls_support.h"
#include "net/ftpnet.h"
#include "support/check.h"

using namespace tlstest;
using namespace vel::net;

namespace {

bool Ready() {
  static bool trusted = TrustTestAuthority();
  return trusted && Port("vsftpd-expired") != 0;
}

// The verdict on the certificate a server shows, asked for the given name.
CertificateVerdict VerdictOf(const char* server, const char* name = "localhost") {
  FtpTlsClient c(name);
  if (c.Open(Port(server), false) != 0) return CertificateVerdict{ERROR_INTERNET_SECURITY_CHANNEL_ERROR, 0, 0, {}};
  CertificateVerdict v = c.Verdict();
  c.Quit();
  return v;
}

const char* const kTestKey = "Software\\AFC Tests\\Trusted Certificates";

// A certificate file of the fixture (PEM), as the platform's context; nullptr when missing.
PCCERT_CONTEXT FixtureCertificate(const char* file) {
  std::string pem = FixtureText(std::string("certs\\") + file);
  BYTE der[8192];
  DWORD size = sizeof der;
  if (pem.empty() || !CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der, &size, nullptr, nullptr))
    return nullptr;
  return CertCreateCertificateContext(X509_ASN_ENCODING, der, size);
}

}  // namespace

TEST_CASE("tls certificates: each bad certificate gives its code and its details") {
  REQUIRE(Ready());
  struct Row {
    const char* server;
    const char* name;
    DWORD error;
    DWORD problems;
    const char* subject;
    const char* issuer;
  } rows[] = {
      {"vsftpd-explicit", "localhost", 0, 0, "CN=localhost, O=AFC Tests", "CN=AFC Test Authority, O=AFC Tests"},
      {"vsftpd-expired", "localhost", ERROR_INTERNET_SEC_CERT_DATE_INVALID, kCertProblemDate,
       "CN=localhost, O=AFC Tests", "CN=AFC Test Authority, O=AFC Tests"},
      {"vsftpd-wronghost", "localhost", ERROR_INTERNET_SEC_CERT_CN_INVALID, kCertProblemName,
       "CN=wrong.example, O=AFC Tests", "CN=AFC Test Authority, O=AFC Tests"},
      {"vsftpd-selfsigned", "localhost", ERROR_INTERNET_INVALID_CA, kCertProblemAuthority,
       "CN=localhost, O=AFC Tests", "CN=localhost, O=AFC Tests"},
      // The good certificate asked for another name, and the self-signed one too: two problems.
      {"vsftpd-explicit", "other.example", ERROR_INTERNET_SEC_CERT_CN_INVALID, kCertProblemName,
       "CN=localhost, O=AFC Tests", "CN=AFC Test Authority, O=AFC Tests"},
      {"vsftpd-selfsigned", "other.example", ERROR_INTERNET_INVALID_CA, kCertProblemAuthority | kCertProblemName,
       "CN=localhost, O=AFC Tests", "CN=localhost, O=AFC Tests"},
      // Authorities in no trust store: one the server does not send, and a root behind the
      // intermediate it sends. Either way the chain ends at nobody this computer trusts.
      {"vsftpd-unknownca", "localhost", ERROR_INTERNET_INVALID_CA, kCertProblemAuthority, "CN=localhost, O=AFC Tests",
       "CN=AFC Unknown Authority, O=AFC Tests"},
      {"vsftpd-intermediate", "localhost", ERROR_INTERNET_INVALID_CA, kCertProblemAuthority,
       "CN=localhost, O=AFC Tests", "CN=AFC Unknown Intermediate, O=AFC Tests"},
      {"vsftpd-unknownca", "127.0.0.1", ERROR_INTERNET_INVALID_CA, kCertProblemAuthority,
       "CN=localhost, O=AFC Tests", "CN=AFC Unknown Authority, O=AFC Tests"},
      // Two problems at once: neither hides the other.
      {"vsftpd-expiredunknown", "localhost", ERROR_INTERNET_INVALID_CA, kCertProblemAuthority | kCertProblemDate,
       "CN=localhost, O=AFC Tests", "CN=AFC Unknown Authority, O=AFC Tests"},
      {"vsftpd-selfwrong", "localhost", ERROR_INTERNET_INVALID_CA, kCertProblemAuthority | kCertProblemName,
       "CN=wrong.example, O=AFC Tests", "CN=wrong.example, O=AFC Tests"},
      {"vsftpd-intermediate", "other.example", ERROR_INTERNET_INVALID_CA, kCertProblemAuthority | kCertProblemName,
       "CN=localhost, O=AFC Tests", "CN=AFC Unknown Intermediate, O=AFC Tests"},
  };
  for (const Row& row : rows) {
    CertificateVerdict v = VerdictOf(row.server, row.name);
    printf("  %s as %s: %lu problems %lu (platform %08lx), %s / %s, %s, %s\n", row.server, row.name, v.error,
           v.problems, v.platformError,
           v.details.subject.c_str(), v.details.issuer.c_str(), v.details.ValidityText().c_str(),
           v.details.FingerprintText().substr(0, 23).c_str());
    CHECK_EQ(v.error, row.error);
    CHECK_EQ(v.problems, row.problems);
    CHECK_EQ(v.details.subject, std::string(row.subject));
    CHECK_EQ(v.details.issuer, std::string(row.issuer));
    CHECK_EQ(v.details.FingerprintText().size(), 95u);
  }
  CertificateVerdict expired = VerdictOf("vsftpd-expired");
  CHECK_EQ(expired.details.ValidityText(), std::string("2020-01-01 00:00 UTC - 2021-01-01 00:00 UTC"));
}

TEST_CASE("tls certificates: a chain that loops is refused, never put to the user") {
  REQUIRE(Ready());
  // The leaf's authority and that authority's are each other's issuer; the server sends both.
  CertificateVerdict v = VerdictOf("vsftpd-loop");
  printf("  loop: %lu problems %lu (platform %08lx), issuer %s\n", v.error, v.problems, v.platformError,
         v.details.issuer.c_str());
  CHECK_EQ(v.error, static_cast<DWORD>(ERROR_INTERNET_SEC_INVALID_CERT));
  CHECK(v.problems & kCertProblemInvalid);
  CHECK_EQ(v.details.issuer, std::string("CN=Loop A, O=AFC Tests"));
  // Whatever the registry holds for it, such a certificate is not trusted.
  TrustedCertificates trust(kTestKey);
  const std::string server = TrustServerName("localhost", Port("vsftpd-loop"));
  CHECK(trust.Remember(server, v));
  CHECK(!trust.Trusted(server, v));
  trust.Forget(server);
}

// The name the user typed is text of the ANSI code page: it is compared with the certificate's
// names as the characters it stands for, and bytes that are no character there never match.
TEST_CASE("tls certificates: names from the ANSI code page") {
  REQUIRE(Ready());
  printf("  ANSI code page %u\n", GetACP());
  PCCERT_CONTEXT good = FixtureCertificate("good.crt");
  REQUIRE(good != nullptr);
  CHECK_EQ(CheckServerCertificate(good, "localhost").problems, 0ul);
  CHECK_EQ(CheckServerCertificate(good, "LOCALHOST").problems, 0ul);
  // Bytes that do not convert (a lead byte with no trail byte in a double-byte code page, a
  // byte the code page leaves undefined): the name problem, never a pass.
  for (const char* bad : {"localhost\x81", "\x81localhost", "local\x82host", "localhost\xff"}) {
    wchar_t w[64];
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bad, -1, w, 64) > 0) continue;
    printf("  \"%s\" does not convert\n", bad);
    CertificateVerdict v = CheckServerCertificate(good, bad);
    CHECK_EQ(v.problems, static_cast<DWORD>(kCertProblemName));
    CHECK_EQ(v.error, static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_CN_INVALID));
  }
  CertificateVerdict nul = CheckServerCertificate(good, std::string("localhost\0.evil", 15));
  CHECK(nul.problems & kCertProblemName);
  CertFreeCertificateContext(good);

  // A certificate for "\u20ac.example" (its common name, no other names): the Western code
  // page's byte 0x80 is that character, not U+0080.
  PCCERT_CONTEXT euro = FixtureCertificate("euro.crt");
  REQUIRE(euro != nullptr);
  char name[16];
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, L"\u20ac.example", -1, name, sizeof name, nullptr, &lossy);
  if (n > 0 && !lossy) {
    CertificateVerdict v = CheckServerCertificate(euro, name);
    printf("  \"%s\": problems %lu\n", name, v.problems);
    CHECK_EQ(v.problems, static_cast<DWORD>(kCertProblemAuthority));  // self-signed, and for that name
    CHECK(CheckServerCertificate(euro, "?.example").problems & kCertProblemName);
  }
  CertFreeCertificateContext(euro);
}

TEST_CASE("tls certificates: the fingerprint is the SHA-256 of the certificate the server sent") {
  REQUIRE(Ready());
  // openssl's fingerprint of the same file, written by the fixture, is the reference.
  PCCERT_CONTEXT cert = FixtureCertificate("selfsigned.crt");
  REQUIRE(cert != nullptr);
  CertificateVerdict v = VerdictOf("vsftpd-selfsigned");
  CHECK_EQ(v.details.fingerprint, Sha256Fingerprint(cert));
  std::string reference = FixtureText("certs\\selfsigned.sha256");
  if (!reference.empty()) CHECK_EQ(v.details.FingerprintText(), reference.substr(0, 95));
  CertFreeCertificateContext(cert);
}

TEST_CASE("tls certificates: remembered trust holds for that certificate and server only") {
  REQUIRE(Ready());
  TrustedCertificates trust(kTestKey);
  std::string server = TrustServerName("LocalHost", Port("vsftpd-selfsigned"));
  CHECK_EQ(server, "localhost:" + std::to_string(Port("vsftpd-selfsigned")));
  trust.Forget(server);
  CertificateVerdict self = VerdictOf("vsftpd-selfsigned");
  REQUIRE(self.error == static_cast<DWORD>(ERROR_INTERNET_INVALID_CA));
  CHECK(!trust.Trusted(server, self));  // asks
  CHECK(trust.Remember(server, self));  // "yes, trust it"
  CHECK(trust.Trusted(server, VerdictOf("vsftpd-selfsigned")));  // the next connection does not ask

  // Another certificate on the same server (a changed one) asks again, and so does the same
  // certificate with a problem the user did not accept.
  CertificateVerdict wrong = VerdictOf("vsftpd-wronghost");
  CHECK(!trust.Trusted(server, wrong));
  CertificateVerdict otherName = VerdictOf("vsftpd-selfsigned", "other.example");
  CHECK(!trust.Trusted(server, otherName));
  // The same certificate on another server is not trusted there.
  CHECK(!trust.Trusted(TrustServerName("localhost", 1), self));
  // The same certificate under another name of the same server is not trusted either.
  CHECK(!trust.Trusted(TrustServerName("127.0.0.1", Port("vsftpd-selfsigned")), self));
  // A verdict without a certificate is never trusted.
  CHECK(!trust.Trusted(server, CertificateVerdict{ERROR_INTERNET_SEC_INVALID_CERT, kCertProblemInvalid, 0, {}}));

  // What is kept: the fingerprint and the accepted problems, per server, under the user's key.
  HKEY key;
  REQUIRE(RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kTestKey) + "\\" + server).c_str(), 0, KEY_READ, &key) ==
          ERROR_SUCCESS);
  char fp[80] = {};
  DWORD size = sizeof fp - 1;
  CHECK_EQ(RegQueryValueExA(key, "Fingerprint", nullptr, nullptr, reinterpret_cast<BYTE*>(fp), &size), 0l);
  CHECK_EQ(std::string(fp), self.details.fingerprint);
  RegCloseKey(key);

  // Trusting the changed certificate replaces the old one.
  CHECK(trust.Remember(server, wrong));
  CHECK(trust.Trusted(server, wrong));
  CHECK(!trust.Trusted(server, self));
  CHECK(trust.Forget(server));
  CHECK(!trust.Trusted(server, wrong));
}

TEST_CASE("tls certificates: a server name cannot reach another registry key") {
  CHECK_EQ(TrustServerName("a\\..\\b", 21), std::string("a_.._b:21"));
  CHECK_EQ(TrustServerName("Host\n", 990), std::string("host_:990"));
  CHECK_EQ(TrustServerName("[::1]", 21), std::string("[::1]:21"));
}

TEST_CASE("tls certificates: every TLS code has a text in the library's message table") {
  for (DWORD code : {12037ul, 12038ul, 12044ul, 12045ul, 12055ul, 12056ul, 12057ul, 12157ul, 12169ul, 12170ul}) {
    char text[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, FtpNetModule(), code, 0,
                             text, sizeof text, nullptr);
    CHECK(n > 10);
    if (n == 0) printf("  no text for %lu\n", code);
  }
}
