// The trust question and the connection's security text. Library calls are made with the
// runtime lock given up (ui.h, Net); the text shown in zone 3 lives under the lock.
#include "app/certificate_question.h"

#include "app/globals.h"
#include "app/error_texts.h"
#include "app/status_callback.h"
#include "app/text.h"
#include "app/ui.h"

namespace ftpcl {

namespace {

// The problems a person can weigh; a revoked or damaged certificate is refused outright.
constexpr DWORD kJudgeable = FTP_CERT_PROBLEM_DATE | FTP_CERT_PROBLEM_NAME | FTP_CERT_PROBLEM_AUTHORITY;
// A certificate's names can be long; the box shows each on one line of at most this many bytes.
constexpr std::size_t kDetailLimit = 100;
// The fingerprint's 32 pairs go on two lines of 16.
constexpr std::size_t kFingerprintLine = 16 * 3;

bool CertificateError(DWORD error) {
  return error == ERROR_INTERNET_INVALID_CA || error == ERROR_INTERNET_SEC_CERT_DATE_INVALID ||
         error == ERROR_INTERNET_SEC_CERT_CN_INVALID;
}

// A text taken from the certificate as one line of the box: no "|" (a line break there).
template <std::size_t N>
std::string Detail(const char (&text)[N]) {
  std::string line = CText(text);
  for (char& c : line)
    if (c == '|') c = '/';
  return ShortenedName(line, kDetailLimit);
}

std::string g_security;  // the connected server's TLS, for status zone 3

}  // namespace

std::string CertificateQuestionText(const FTP_SERVER_CERTIFICATE_INFOA& info) {
  static const struct {
    DWORD problem;
    DWORD error;
  } kProblems[] = {{FTP_CERT_PROBLEM_AUTHORITY, ERROR_INTERNET_INVALID_CA},
                   {FTP_CERT_PROBLEM_DATE, ERROR_INTERNET_SEC_CERT_DATE_INVALID},
                   {FTP_CERT_PROBLEM_NAME, ERROR_INTERNET_SEC_CERT_CN_INVALID}};
  std::string text;
  for (const auto& p : kProblems)
    if (info.dwProblems & p.problem) text += ErrorText(p.error) + "|";
  const std::string fingerprint = Detail(info.szFingerprint);
  text += "|Server:  " + Detail(info.szServer);
  text += "|Subject:  " + Detail(info.szSubject);
  text += "|Issuer:  " + Detail(info.szIssuer);
  text += "|Valid:  " + Detail(info.szValidity);
  text += "|SHA-256:  " + fingerprint.substr(0, kFingerprintLine);
  if (fingerprint.size() > kFingerprintLine) text += "|                  " + fingerprint.substr(kFingerprintLine);
  text += "||Nothing has been sent to the server yet. Trust this certificate for this server?"
          "|You will be asked again only if the server shows another certificate.";
  return text;
}

TrustAnswer AskAboutCertificate(HINTERNET connection, DWORD error) {
  if (!connection || !CertificateError(error)) return TrustAnswer::kNotAsked;
  FTP_SERVER_CERTIFICATE_INFOA info{};
  DWORD size = sizeof info;
  const BOOL shown =
      Net([&] { return InternetQueryOptionA(connection, INTERNET_OPTION_FTP_SERVER_CERTIFICATE, &info, &size); });
  // Only the certificate this connect was refused for: a certificate the user trusted earlier
  // is not asked about again when something else failed.
  if (!shown || info.dwError == 0 || info.fTrustedByUser || !(info.dwProblems & kJudgeable) ||
      (info.dwProblems & ~kJudgeable))
    return TrustAnswer::kNotAsked;
  const int answer =
      Message(CertificateQuestionText(info), "FTP Client", ExclamationIcon(), std::to_string(kButtonsYesNo), kButtonNo);
  if (answer != kButtonYes) return TrustAnswer::kDeclined;
  DWORD failure = 0;
  const BOOL kept = Net([&] {
    const BOOL ok = InternetSetOptionA(connection, INTERNET_OPTION_FTP_TRUST_CERTIFICATE, &info, sizeof info);
    failure = ok ? 0 : GetLastError();
    return ok;
  });
  if (kept) return TrustAnswer::kTrusted;
  ShowRequestError(failure);  // the trust could not be kept (the registry refused it)
  return TrustAnswer::kDeclined;
}

void TakeConnectionSecurity(HINTERNET connection) {
  char text[128] = "";
  DWORD size = sizeof text;
  const BOOL ok =
      connection && Net([&] { return InternetQueryOptionA(connection, INTERNET_OPTION_FTP_SECURITY_TEXT, text, &size); });
  g_security = ok ? CText(text) : std::string();
}

void ShowConnectionSecurity() { StatusText(3, g.isconnected ? g_security : std::string()); }

void ForgetConnectionSecurity() { g_security.clear(); }

}  // namespace ftpcl
