// FTP over TLS in the window: the trust question and the connection's security in the status
// bar.
//
// A connect the library refused for the server's certificate (no trusted authority, out of its
// dates, issued for another name: 12045, 12037, 12038) is put to the user in a message box in
// the program's style: which problems, the subject, the issuer, the validity and the SHA-256
// fingerprint, and "trust this certificate for this server?". Nothing of the login has been
// sent at that point (the library stops before USER). "Yes" is remembered by the library under
// the user's registry key, and the request's chain starts again with a new connect; "No" ends
// the request. A revoked or damaged certificate is never put to the user: its error is shown.
//
// While connected over TLS, status zone 3 names the protocol and cipher ("TLS 1.2, AES 256");
// the remote tree's root row shows the server name as typed ("ftpes://host").
#pragma once
#include <string>

#include "net/ftpnet.h"

namespace ftpcl {

enum class TrustAnswer {
  kNotAsked,  // not a certificate the user can judge: report the error as it is
  kTrusted,   // "Yes": remembered; connect again
  kDeclined,  // "No"
};

// Puts the certificate `connection` was refused for (with `error`) to the user. Called by the
// status callback under the runtime lock (the message box gives it up while it is open).
TrustAnswer AskAboutCertificate(HINTERNET connection, DWORD error);

// The question's text for a certificate ("|" breaks lines in the program's message box).
std::string CertificateQuestionText(const FTP_SERVER_CERTIFICATE_INFOA& info);

// Takes the security of the connection a connect completed on, for the status bar.
void TakeConnectionSecurity(HINTERNET connection);
// Status zone 3 while connected: the connection's security, or empty.
void ShowConnectionSecurity();
// The connection is given up: nothing to show any more (the window is not touched: this also
// runs when the window has closed).
void ForgetConnectionSecurity();

}  // namespace ftpcl
