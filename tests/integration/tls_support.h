// Helpers of the TLS integration tests: the servers of the ftpd_tls fixture, the test authority
// in the prefix's trust store, and a small FTP-over-TLS client that drives the TLS channel the
// way an FTP session does (AUTH TLS or implicit TLS, PBSZ/PROT, login, passive and active data
// connections that resume the control connection's session).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "net/ftp_reply.h"
#include "net/tls_certificate.h"
#include "net/tls_channel.h"

namespace tlstest {

// The fixture's folder as a Windows path (environment AFC_FTPD_TLS_DIR), "" when it did not run.
std::string FixtureDir();
// The port of a fixture server ("vsftpd-explicit", "fake-garbage" ...), 0 when unknown.
int Port(const std::string& name);
// Puts the fixture's authority into the machine's Root store (replacing those of earlier runs).
bool TrustTestAuthority();
// Whether the platform is Wine of at most this major version (its Secure Channel 8.0 neither
// resumes sessions nor offers TLS 1.3; the tests expect that there and the full behaviour elsewhere).
bool WineUpTo(int major);
// Connects the socket to 127.0.0.1:port.
DWORD ConnectLoopback(vel::net::Socket* socket, int port, DWORD timeoutMs);
// The text of a fixture file ("fake.log" ...), "" when missing.
std::string FixtureText(const std::string& relative);
// The fault server's report line of a scenario ("closenotify: ..."), the skip-th one since it
// started; waits a little, since its child writes the line as it ends. "" when none came.
std::string FakeReport(const std::string& prefix, size_t skip = 0);
// How many report lines of a scenario there are so far.
size_t FakeReportCount(const std::string& prefix);

class FtpTlsClient {
 public:
  explicit FtpTlsClient(std::string target = "localhost", DWORD timeoutMs = 10000);
  ~FtpTlsClient();

  // Connects to 127.0.0.1:port. Explicit: the greeting, AUTH TLS, then the handshake;
  // implicit: the handshake, then the greeting. 0 or the error of the step that failed.
  DWORD Open(int port, bool implicit);
  vel::net::CertificateVerdict Verdict() const;
  vel::net::TlsSessionInfo Info() const { return control_ ? control_->Info() : vel::net::TlsSessionInfo{}; }
  vel::net::TlsChannel* Control() { return control_.get(); }
  const char* Form() const { return credentials_ ? credentials_->Form() : ""; }
  // PBSZ 0, PROT P, USER veluser, PASS velpass.
  DWORD Login();
  // One command and its reply (a preliminary reply is returned as it is).
  DWORD Command(const std::string& line, vel::net::FtpReply* reply);
  DWORD ReadReply(vel::net::FtpReply* reply);
  // What the control connection received behind the last reply, taken out of the reply buffer.
  std::string TakeBuffered();
  // A data transfer: "RETR x", "LIST", "STOR x" (upload holds what is sent). *final is the
  // reply after the data; *data the data channel's description.
  struct Transfer {
    std::string received;
    vel::net::FtpReply preliminary, final;
    vel::net::TlsSessionInfo data;
    bool endedCleanly = false;
    bool sameCertificate = false;  // the data connection showed the control connection's certificate
    DWORD dataError = 0;
  };
  DWORD Run(bool passive, const std::string& command, const std::string* upload, Transfer* out);
  void Quit();

  std::string greeting;           // the server's first reply
  std::vector<std::string> sent;  // every command line, in order
  bool plainAfterAuth = false;    // a command went out unencrypted after AUTH TLS was asked

 private:
  DWORD OpenData(bool passive, vel::net::Socket* listener, vel::net::Socket* data);
  DWORD Send(const std::string& line);

  std::string target_;
  DWORD timeoutMs_;
  vel::net::Socket socket_;
  std::shared_ptr<vel::net::TlsCredentials> credentials_;
  std::unique_ptr<vel::net::TlsChannel> control_;
  vel::net::ReplyReader reader_;
  std::string in_;
  size_t inPos_ = 0;
  bool authAsked_ = false;
};

}  // namespace tlstest
