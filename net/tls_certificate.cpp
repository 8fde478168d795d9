// Certificate checks with the platform's chain engine and SSL policy, certificate details, and
// the per-user remembered trust.
//
// A verdict joins two readings of the chain: the chain engine's own trust status (every
// problem of every element at once) and the SSL policy (the server name, and whatever else the
// platform's policy adds), asked again with the problems found so far ignored since it reports
// one at a time. The trust status is read for itself because a policy may pass a chain it does
// not understand: Wine 8's SSL policy passes a chain that ends at an authority no store holds
// (CERT_TRUST_IS_PARTIAL_CHAIN) and calls a cyclic chain merely untrusted.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "net/tls_certificate.h"
#include "runtime/core/text_codec.h"

#include <bcrypt.h>

#include <cstdio>
#include <vector>

namespace vel::net {

namespace {

// The SSL policy's "ignore" flags (SSL_EXTRA_CERT_CHAIN_POLICY_PARA.fdwChecks).
constexpr DWORD kIgnoreRevocation = 0x00000080;
constexpr DWORD kIgnoreUnknownCa = 0x00000100;
constexpr DWORD kIgnoreWrongUsage = 0x00000200;
constexpr DWORD kIgnoreNameInvalid = 0x00001000;
constexpr DWORD kIgnoreDateInvalid = 0x00002000;
constexpr size_t kMaxNameText = 1024;
// Problems no answer of the user can lift: their certificates are refused, never put to a person.
constexpr DWORD kRefusedProblems = kCertProblemRevoked | kCertProblemInvalid;

// The chain engine's error bits and what each means here, with the platform's code that says
// the same (for diagnosis). Revocation that could not be learnt is no problem: no revocation
// check is asked for (many machines are offline), and an issuance policy is never asked for.
// Any other bit, known or not, is a damaged certificate.
struct TrustBit {
  DWORD bit;
  DWORD problem;
  HRESULT code;
};
constexpr TrustBit kTrustBits[] = {
    {CERT_TRUST_IS_REVOKED, kCertProblemRevoked, CERT_E_REVOKED},
    {CERT_TRUST_IS_NOT_SIGNATURE_VALID, kCertProblemInvalid, TRUST_E_CERT_SIGNATURE},
    {CERT_TRUST_IS_CYCLIC, kCertProblemInvalid, CERT_E_CHAINING},
    {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, kCertProblemInvalid, CERT_E_WRONG_USAGE},
    {CERT_TRUST_IS_EXPLICIT_DISTRUST, kCertProblemInvalid, CERT_E_UNTRUSTEDROOT},
    {CERT_TRUST_IS_UNTRUSTED_ROOT, kCertProblemAuthority, CERT_E_UNTRUSTEDROOT},
    {CERT_TRUST_IS_PARTIAL_CHAIN, kCertProblemAuthority, CERT_E_CHAINING},
    {CERT_TRUST_IS_NOT_TIME_VALID, kCertProblemDate, CERT_E_EXPIRED},
    {CERT_TRUST_IS_NOT_TIME_NESTED, kCertProblemDate, CERT_E_VALIDITYPERIODNESTING},
};
constexpr DWORD kHarmlessTrustBits =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION | CERT_TRUST_NO_ISSUANCE_CHAIN_POLICY;

DWORD ProblemOf(DWORD policyError) {
  switch (policyError) {
    case static_cast<DWORD>(CERT_E_EXPIRED):
    case static_cast<DWORD>(CERT_E_VALIDITYPERIODNESTING):
      return kCertProblemDate;
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      return kCertProblemName;
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_UNTRUSTEDCA):
    case static_cast<DWORD>(CERT_E_UNTRUSTEDTESTROOT):
    case static_cast<DWORD>(CERT_E_CHAINING):
      return kCertProblemAuthority;
    case static_cast<DWORD>(CERT_E_REVOKED):
    case static_cast<DWORD>(CRYPT_E_REVOKED):
      return kCertProblemRevoked;
    default:
      return kCertProblemInvalid;
  }
}

DWORD IgnoreFlagOf(DWORD problem, DWORD policyError) {
  switch (problem) {
    case kCertProblemDate: return kIgnoreDateInvalid;
    case kCertProblemName: return kIgnoreNameInvalid;
    case kCertProblemAuthority: return kIgnoreUnknownCa;
    case kCertProblemRevoked: return kIgnoreRevocation;
    default: return policyError == static_cast<DWORD>(CERT_E_WRONG_USAGE) ? kIgnoreWrongUsage : 0;
  }
}

// The name the user typed, from the ANSI code page, strictly: false for bytes that are no
// character there or a NUL inside (such a name cannot be matched against the certificate's
// names; widening bytes one by one would make byte 0x80 of code page 1252 U+0080, not the euro).
bool WideName(const std::string& s, std::wstring* out) {
  if (s.size() > 0x10000) return false;
  return vel::text::ToWide(s, out, vel::text::Policy::kStrict).ok;
}

std::string OneRdnText(CERT_RDN* rdn) {
  CERT_NAME_INFO one{1, rdn};
  BYTE* encoded = nullptr;
  DWORD size = 0;
  if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_NAME, &one, CRYPT_ENCODE_ALLOC_FLAG, nullptr, &encoded, &size))
    return std::string();
  CERT_NAME_BLOB blob{size, encoded};
  DWORD n = CertNameToStrA(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, nullptr, 0);
  std::string text(n, '\0');
  if (n > 1) CertNameToStrA(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, text.data(), n);
  LocalFree(encoded);
  text.resize(n > 0 ? n - 1 : 0);
  return text;
}

// "CN=localhost, O=AFC Tests": the most specific part first, as people read names (the encoded
// order is the other way round; each part is rendered by the platform, quoting included).
std::string NameText(const CERT_NAME_BLOB* name) {
  CERT_NAME_INFO* info = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_NAME, name->pbData, name->cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                           &info, &size))
    return std::string();
  std::string text;
  for (DWORD i = info->cRDN; i-- > 0 && text.size() < kMaxNameText;) {
    if (!text.empty()) text += ", ";
    text += OneRdnText(&info->rgRDN[i]);
  }
  LocalFree(info);
  if (text.size() > kMaxNameText) text.resize(kMaxNameText);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';  // shown in a message box
  return text;
}

SYSTEMTIME ToSystemTime(const FILETIME& ft) {
  SYSTEMTIME st{};
  FileTimeToSystemTime(&ft, &st);
  return st;
}

std::string TimeText(const SYSTEMTIME& t) {
  char buf[40];
  snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u UTC", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
  return buf;
}

PCCERT_CHAIN_CONTEXT BuildChain(PCCERT_CONTEXT cert) {
  static char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &para, 0, nullptr, &chain)) return nullptr;
  return chain;
}

// The SSL policy's verdict with the given problems ignored: 0, a CERT_E_* code, or
// CERT_E_MALFORMED when the policy could not run.
DWORD PolicyError(PCCERT_CHAIN_CONTEXT chain, const std::wstring& server, DWORD ignore) {
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.fdwChecks = ignore;
  ssl.pwszServerName = const_cast<wchar_t*>(server.c_str());
  CERT_CHAIN_POLICY_PARA para{};
  para.cbSize = sizeof para;
  para.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &para, &status))
    return static_cast<DWORD>(CERT_E_MALFORMED);
  return status.dwError;
}

// Whether the name is an address literal ("127.0.0.1", "::1", "[::1]") that the certificate
// names in its subject alternative names. Wine's SSL policy (8.0) compares only DNS names and
// so calls every address a mismatch; the platform's documented check accepts an iPAddress entry.
bool CertificateNamesAddress(PCCERT_CONTEXT cert, std::string name) {
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  BYTE address[16];
  DWORD length = 0;
  if (inet_pton(AF_INET, name.c_str(), address) == 1)
    length = 4;
  else if (inet_pton(AF_INET6, name.c_str(), address) == 1)
    length = 16;
  else
    return false;
  PCERT_EXTENSION ext =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension, cert->pCertInfo->rgExtension);
  CERT_ALT_NAME_INFO* info = nullptr;
  DWORD size = 0;
  if (!ext || !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData, ext->Value.cbData,
                                   CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &size))
    return false;
  bool found = false;
  for (DWORD i = 0; i < info->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = info->rgAltEntry[i];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == length &&
            memcmp(entry.IPAddress.pbData, address, length) == 0;
  }
  LocalFree(info);
  return found;
}

// The problems the chain engine's trust status shows; *code: the platform's code of the
// gravest one.
DWORD ChainProblems(DWORD status, DWORD* code) {
  DWORD problems = 0;
  *code = 0;
  for (const TrustBit& t : kTrustBits) {
    if (!(status & t.bit)) continue;
    problems |= t.problem;
    if (!*code) *code = static_cast<DWORD>(t.code);
  }
  DWORD known = kHarmlessTrustBits;
  for (const TrustBit& t : kTrustBits) known |= t.bit;
  if (status & ~known) {
    problems |= kCertProblemInvalid;
    if (!*code) *code = static_cast<DWORD>(CERT_E_MALFORMED);
  }
  return problems;
}

// The problems the SSL policy finds for the name; *code: its first verdict. Revocation is never
// asked about (no check was requested); a name that is no text of the code page is the name
// problem without asking.
DWORD PolicyProblems(PCCERT_CHAIN_CONTEXT chain, PCCERT_CONTEXT cert, const std::string& serverName, DWORD* code) {
  DWORD problems = 0;
  DWORD ignore = kIgnoreRevocation;
  *code = 0;
  std::wstring server;
  if (!WideName(serverName, &server)) {
    problems |= kCertProblemName;
    ignore |= kIgnoreNameInvalid;
    *code = static_cast<DWORD>(CERT_E_CN_NO_MATCH);
  }
  for (;;) {
    DWORD policyError = PolicyError(chain, server, ignore);
    if (policyError == 0) break;
    DWORD problem = ProblemOf(policyError);
    DWORD flag = IgnoreFlagOf(problem, policyError);
    if (problem == kCertProblemName && !(ignore & flag) && CertificateNamesAddress(cert, serverName)) {
      ignore |= flag;
      continue;
    }
    if (!*code) *code = policyError;
    problems |= problem;
    if (!flag || (ignore & flag)) break;  // nothing more can be learnt
    ignore |= flag;
  }
  return problems;
}

// The code a verdict is reported with: a refusal first (no question may be asked), then the
// problems a person can weigh, in the platform's own order.
DWORD FirstProblemError(DWORD problems) {
  for (DWORD p : {kCertProblemRevoked, kCertProblemInvalid, kCertProblemAuthority, kCertProblemDate, kCertProblemName})
    if (problems & p) return ProblemError(p);
  return 0;
}

}  // namespace

DWORD ProblemError(DWORD problem) {
  switch (problem) {
    case kCertProblemDate: return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case kCertProblemName: return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case kCertProblemAuthority: return ERROR_INTERNET_INVALID_CA;
    case kCertProblemRevoked: return ERROR_INTERNET_SEC_CERT_REVOKED;
    default: return ERROR_INTERNET_SEC_INVALID_CERT;
  }
}

std::string Sha256Fingerprint(PCCERT_CONTEXT cert) {
  BCRYPT_ALG_HANDLE alg = nullptr;
  UCHAR digest[32];
  std::string hex;
  if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return hex;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
            BCryptHashData(hash, cert->pbCertEncoded, cert->cbCertEncoded, 0) == 0 &&
            BCryptFinishHash(hash, digest, sizeof digest, 0) == 0;
  if (hash) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(alg, 0);
  if (!ok) return hex;
  static const char kDigits[] = "0123456789ABCDEF";
  for (UCHAR b : digest) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 15]);
  }
  return hex;
}

CertificateDetails DescribeCertificate(PCCERT_CONTEXT cert) {
  CertificateDetails d;
  d.subject = NameText(&cert->pCertInfo->Subject);
  d.issuer = NameText(&cert->pCertInfo->Issuer);
  d.validFrom = ToSystemTime(cert->pCertInfo->NotBefore);
  d.validTo = ToSystemTime(cert->pCertInfo->NotAfter);
  d.fingerprint = Sha256Fingerprint(cert);
  return d;
}

std::string CertificateDetails::ValidityText() const { return TimeText(validFrom) + " - " + TimeText(validTo); }

std::string CertificateDetails::FingerprintText() const {
  std::string text;
  for (size_t i = 0; i + 1 < fingerprint.size(); i += 2) {
    if (!text.empty()) text.push_back(':');
    text.append(fingerprint, i, 2);
  }
  return text;
}

CertificateVerdict CheckServerCertificate(PCCERT_CONTEXT cert, const std::string& serverName) {
  CertificateVerdict v;
  if (!cert) {
    v.error = ERROR_INTERNET_SEC_INVALID_CERT;
    v.problems = kCertProblemInvalid;
    return v;
  }
  v.details = DescribeCertificate(cert);
  PCCERT_CHAIN_CONTEXT chain = BuildChain(cert);
  if (!chain) {
    v.platformError = GetLastError();
    v.error = ERROR_INTERNET_SEC_INVALID_CERT;
    v.problems = kCertProblemInvalid;
    return v;
  }
  DWORD chainCode = 0;
  v.problems = ChainProblems(chain->TrustStatus.dwErrorStatus, &chainCode);
  DWORD policyCode = 0;
  v.problems |= PolicyProblems(chain, cert, serverName, &policyCode);
  CertFreeCertificateChain(chain);
  v.error = FirstProblemError(v.problems);
  v.platformError = policyCode ? policyCode : chainCode;
  return v;
}

bool SameCertificate(PCCERT_CONTEXT a, PCCERT_CONTEXT b) {
  return a && b && a->cbCertEncoded == b->cbCertEncoded &&
         memcmp(a->pbCertEncoded, b->pbCertEncoded, a->cbCertEncoded) == 0;
}

std::string TrustServerName(const std::string& host, int port) {
  std::string name = host + ":" + std::to_string(port);
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';  // no nested keys from a name
  }
  return name;
}

std::string TrustedCertificates::KeyFor(const std::string& server) const { return key_ + "\\" + server; }

bool TrustedCertificates::Trusted(const std::string& server, const CertificateVerdict& verdict) const {
  // A revoked or damaged certificate stays refused whatever the registry says.
  if (verdict.details.fingerprint.empty() || (verdict.problems & kRefusedProblems)) return false;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyFor(server).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  char fingerprint[80] = {};
  DWORD size = sizeof fingerprint - 1, type = 0;
  DWORD problems = 0, psize = sizeof problems, ptype = 0;
  bool ok = RegQueryValueExA(key, "Fingerprint", nullptr, &type, reinterpret_cast<BYTE*>(fingerprint), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ &&
            RegQueryValueExA(key, "Problems", nullptr, &ptype, reinterpret_cast<BYTE*>(&problems), &psize) ==
                ERROR_SUCCESS &&
            ptype == REG_DWORD;
  RegCloseKey(key);
  return ok && lstrcmpiA(fingerprint, verdict.details.fingerprint.c_str()) == 0 &&
         (verdict.problems & ~problems) == 0;
}

bool TrustedCertificates::Remember(const std::string& server, const CertificateVerdict& verdict) const {
  if (verdict.details.fingerprint.empty()) return false;
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyFor(server).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const std::string& fp = verdict.details.fingerprint;
  DWORD problems = verdict.problems;
  bool ok = RegSetValueExA(key, "Fingerprint", 0, REG_SZ, reinterpret_cast<const BYTE*>(fp.c_str()),
                           static_cast<DWORD>(fp.size() + 1)) == ERROR_SUCCESS &&
            RegSetValueExA(key, "Problems", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&problems),
                           sizeof problems) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool TrustedCertificates::Forget(const std::string& server) const {
  return RegDeleteKeyA(HKEY_CURRENT_USER, KeyFor(server).c_str()) == ERROR_SUCCESS;
}

}  // namespace vel::net
