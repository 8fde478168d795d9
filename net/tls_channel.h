// TLS client channels over connected Winsock sockets, on the platform's Secure Channel (SSPI).
//
// One FTP session holds one TlsCredentials and gives it, with the same target name (the server
// name the user gave), to its control connection's channel and to every data connection's
// channel: Secure Channel keeps its client session cache per credentials handle and target
// name, so a data connection resumes the control connection's TLS session, which vsftpd
// (require_ssl_reuse) and ProFTPD (mod_tls) demand before they move data. Wine's Secure Channel
// (8.0) resumes nothing: its second ClientHello carries neither a session id nor a ticket
// (tls_faults_test shows it), and those servers refuse its data connections.
//
// Legal order on a channel: Handshake once; then Recv/Send; then Finish or Close once. The server's
// certificate is not judged here (the credentials ask for manual validation): the caller gets
// it from PeerCertificate() after the handshake and checks it (net/tls_certificate.h) before it
// sends anything that matters.
//
// Offered protocols: TLS 1.2 and TLS 1.3, as far as the platform has them (Wine 8.0: TLS 1.2
// only, whatever the credentials or the registry's protocol settings ask). A renegotiation
// request of the server (TLS 1.2 and older) is refused: the read fails with
// ERROR_INTERNET_SECURITY_CHANNEL_ERROR. TLS 1.3 post-handshake messages (session tickets,
// key updates) are processed as the platform asks for them.
#pragma once
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS  // SCH_CREDENTIALS and TLS_PARAMETERS
#include <winsock2.h>
#include <windows.h>
#include <subauth.h>  // UNICODE_STRING, used by TLS_PARAMETERS
#include <schannel.h>
#include <security.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "net/ftp_stream.h"
#include "net/tls_errors.h"

namespace vel::net {

class TlsCredentials {
 public:
  TlsCredentials(const TlsCredentials&) = delete;
  TlsCredentials& operator=(const TlsCredentials&) = delete;
  ~TlsCredentials();
  // Client credentials for TLS 1.2/1.3: 0, or ERROR_INTERNET_SECURITY_CHANNEL_ERROR with
  // *status the platform's code.
  static DWORD Acquire(std::shared_ptr<TlsCredentials>* out, SECURITY_STATUS* status = nullptr);
  CredHandle* Handle() { return &handle_; }
  // Which credential form the platform took: "SCH_CREDENTIALS", "SCHANNEL_CRED 1.2+1.3" or
  // "SCHANNEL_CRED 1.2".
  const char* Form() const { return form_; }

 private:
  TlsCredentials() = default;
  CredHandle handle_{};
  const char* form_ = "";
};

// What the handshake agreed on.
struct TlsSessionInfo {
  DWORD protocol = 0;      // SP_PROT_TLS1_2_CLIENT, SP_PROT_TLS1_3_CLIENT, ...
  ALG_ID cipher = 0;       // CALG_AES_256, ...
  DWORD cipherBits = 0;
  ALG_ID hash = 0;
  ALG_ID exchange = 0;
  std::string suite;       // "TLS_AES_256_GCM_SHA384" where the platform names it, else ""
  int resumed = -1;        // 1 resumed, 0 full handshake, -1 the platform does not say
  std::string ProtocolName() const;  // "TLS 1.3"
  std::string Describe() const;      // "TLS 1.3, TLS_AES_256_GCM_SHA384" / "TLS 1.2, ECDHE, AES 256, SHA-384"
  std::string Brief() const;         // protocol and cipher: "TLS 1.2, AES 256"
};

class TlsChannel final : public ByteStream {
 public:
  static constexpr size_t kMaxHandshakeBytes = 1u << 20;  // a server's whole handshake flight
  static constexpr size_t kBatchRecords = 64;              // records sent by one socket write

  // The channel owns the connected socket from here on.
  TlsChannel(Socket socket, std::shared_ptr<TlsCredentials> credentials, std::string targetName);
  ~TlsChannel() override;
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  // Runs the client handshake: 0, a socket error, ERROR_INTERNET_SECURITY_CHANNEL_ERROR (Status()
  // then gives the platform's code), or ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED when the server
  // asked for a client certificate and then refused the connection without one.
  DWORD Handshake(DWORD timeoutMs, const std::atomic<bool>* cancel);
  DWORD Send(const char* p, size_t n, DWORD timeoutMs, const std::atomic<bool>* cancel) override;
  // The end of the stream (*got == 0) comes with the server's close_notify or with a bare end of
  // the connection between records (EndedInOrder() tells which); an end inside a record is an
  // error.
  DWORD Recv(char* p, size_t cap, size_t* got, DWORD timeoutMs, const std::atomic<bool>* cancel) override;
  bool EndedInOrder() const override { return state_ == St::PeerClosed; }
  // Sends close_notify, ends the sending side, reads what the server still sends until its end
  // (so that closing does not reset the connection under data the server has not read yet),
  // and closes the socket.
  DWORD Finish(DWORD timeoutMs, const std::atomic<bool>* cancel) override;
  // Closes the socket without a word.
  void Close() override;
  const Socket& Underlying() const override { return socket_; }
  void SetPace(Pace* pace) override { socket_.SetPace(pace); }

  // The server's certificate with the chain it sent (in its hCertStore); the caller frees it
  // with CertFreeCertificateContext. nullptr before the handshake or when the platform has none.
  PCCERT_CONTEXT PeerCertificate() const;
  TlsSessionInfo Info() const;
  bool RenegotiationRefused() const { return renegotiationRefused_; }
  SECURITY_STATUS Status() const { return status_; }  // the last failing platform code

 private:
  enum class St {
    Fresh,       // no handshake yet
    Open,        // application data flows
    PeerClosed,  // the server's close_notify arrived
    PeerEnded,   // the connection ended between records without a close_notify
    Failed,      // a TLS error: nothing more may be sent or read
    Closed,      // Finish() or Close() ran
  };

  DWORD Fail(SECURITY_STATUS status);
  DWORD FillInput(DWORD timeoutMs, const std::atomic<bool>* cancel, bool* eof);
  DWORD SendToken(SecBuffer* token, DWORD timeoutMs, const std::atomic<bool>* cancel);
  DWORD HandshakeCall(bool* done, bool* more, DWORD timeoutMs, const std::atomic<bool>* cancel);
  DWORD DecryptNext(char* to, size_t room, size_t* given, DWORD timeoutMs, const std::atomic<bool>* cancel);
  void Take(const char* d, size_t n, char* to, size_t room, size_t* given);
  DWORD PostHandshake(DWORD timeoutMs, const std::atomic<bool>* cancel);
  DWORD SendCloseNotify(DWORD timeoutMs, const std::atomic<bool>* cancel);
  void KeepExtra(const SecBuffer* extra);
  unsigned long RequestFlags() const;

  Socket socket_;
  std::shared_ptr<TlsCredentials> credentials_;
  std::string target_;
  CtxtHandle context_{};
  bool haveContext_ = false;
  St state_ = St::Fresh;
  SECURITY_STATUS status_ = 0;
  DWORD deferredError_ = 0;  // a failure behind plaintext not yet read, reported after it
  bool renegotiationRefused_ = false;
  bool clientCertificateAsked_ = false;
  SecPkgContext_StreamSizes sizes_{};
  char* In() { return in_.data() + inStart_; }
  std::vector<char> in_;    // received records not yet consumed: in_[inStart_ .. inStart_ + inLen_)
  size_t inStart_ = 0;
  size_t inLen_ = 0;
  std::vector<char> plain_; // decrypted bytes not yet read: plain_[plainPos_ .. plain_.size()),
                            // only the tail of a record larger than the reader's room
  size_t plainPos_ = 0;
  std::vector<char> out_;   // records being encrypted for one socket write
};

}  // namespace vel::net
