// Judging a server's certificate: the platform's chain building and SSL policy (trust store,
// validity, server name), the details a person needs to decide about it, and the trust a user
// gave to one certificate for one server, remembered per user.
//
// Codes: a failed check gives the code of its gravest problem (a refusal before the problems
// a person may weigh: revoked, damaged, then authority, date, name), and the set of every
// problem found, read from the chain engine's trust status and from the SSL policy:
//   ERROR_INTERNET_SEC_CERT_DATE_INVALID 12037  expired or not yet valid (the server's or an
//                                               authority's certificate)
//   ERROR_INTERNET_SEC_CERT_CN_INVALID   12038  issued for another name
//                                               (or the name is no text of the ANSI code page)
//   ERROR_INTERNET_INVALID_CA            12045  no trusted authority vouches for it (self-signed,
//                                               unknown authority, a chain that ends at an
//                                               authority no store holds)
//   ERROR_INTERNET_SEC_CERT_REVOKED      12170  (revocation is not checked; unknown is no problem)
//   ERROR_INTERNET_SEC_INVALID_CERT      12169  malformed, not for servers, badly signed, a chain
//                                               that loops, bad extensions, distrusted
//
// Remembered trust lives under HKEY_CURRENT_USER\<key>\<server>, where server is "host:port"
// in lower case: "Fingerprint" (REG_SZ, the SHA-256 of the certificate in upper-case hex) and
// "Problems" (REG_DWORD, the problems the user accepted). It holds for that certificate only,
// and only while it shows no problem beyond those: a changed certificate, or a new problem of
// the same one, asks again. A revoked or damaged certificate is never trusted, whatever is kept.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "net/tls_errors.h"

namespace vel::net {

enum CertificateProblem : DWORD {
  kCertProblemDate = 1,
  kCertProblemName = 2,
  kCertProblemAuthority = 4,
  kCertProblemRevoked = 8,
  kCertProblemInvalid = 16,
};

struct CertificateDetails {
  std::string subject;      // "CN=localhost, O=AFC Tests"; control characters shown as '?'
  std::string issuer;
  SYSTEMTIME validFrom{};   // UTC
  SYSTEMTIME validTo{};
  std::string fingerprint;  // SHA-256 of the encoded certificate, 64 upper-case hex digits
  std::string ValidityText() const;     // "2026-12-06 14:55 UTC - 2028-12-07 14:55 UTC"
  std::string FingerprintText() const;  // "AB:CD:..." (32 pairs)
};

struct CertificateVerdict {
  DWORD error = 0;     // 0: trusted by the platform; else the first problem's code
  DWORD problems = 0;  // CertificateProblem bits
  DWORD platformError = 0;  // the platform's code behind error (CERT_E_EXPIRED ...), for diagnosis
  CertificateDetails details;
};

// Checks the server's certificate, with the chain the server sent (cert->hCertStore), against
// the platform's trust store and the name the user gave (a host name or an address literal).
CertificateVerdict CheckServerCertificate(PCCERT_CONTEXT cert, const std::string& serverName);
CertificateDetails DescribeCertificate(PCCERT_CONTEXT cert);
std::string Sha256Fingerprint(PCCERT_CONTEXT cert);
// The code of one problem bit (ERROR_INTERNET_SEC_CERT_DATE_INVALID for kCertProblemDate ...).
DWORD ProblemError(DWORD problem);
// Whether two certificates are the same one (a data connection's and its control connection's).
bool SameCertificate(PCCERT_CONTEXT a, PCCERT_CONTEXT b);

// "host:port" in lower case, as remembered trust is filed.
std::string TrustServerName(const std::string& host, int port);

class TrustedCertificates {
 public:
  static constexpr const char* kDefaultKey = "Software\\Asynchronous FTP Client\\Trusted Certificates";
  explicit TrustedCertificates(std::string key = kDefaultKey) : key_(std::move(key)) {}
  // Whether the user trusted this very certificate for this server, with these problems.
  bool Trusted(const std::string& server, const CertificateVerdict& verdict) const;
  // The user's "yes": replaces what was remembered for the server.
  bool Remember(const std::string& server, const CertificateVerdict& verdict) const;
  bool Forget(const std::string& server) const;

 private:
  std::string KeyFor(const std::string& server) const;
  std::string key_;
};

}  // namespace vel::net
