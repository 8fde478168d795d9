// Server certificates judged by the platform's chain engine and SSL policy, on real vsftpd
// instances of the ftpd_tls fixture serving an expired, a wrong-name and a self-signed
// certificate; and the remembered trust of a user in the registry.
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
  };
  for (const Row& row : rows) {
    CertificateVerdict v = VerdictOf(row.server, row.name);
    printf("  %s as %s: %lu problems %lu, %s / %s, %s, %s\n", row.server, row.name, v.error, v.problems,
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

TEST_CASE("tls certificates: the fingerprint is the SHA-256 of the certificate the server sent") {
  REQUIRE(Ready());
  // openssl's fingerprint of the same file, written by the fixture, is the reference.
  std::string pem = FixtureText("certs\\selfsigned.crt");
  REQUIRE(!pem.empty());
  BYTE der[8192];
  DWORD size = sizeof der;
  REQUIRE(CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der, &size, nullptr, nullptr));
  PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, der, size);
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
