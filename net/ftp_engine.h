// The FTP protocol engine: one control connection, its data connections, and the one state
// machine that drives them (RFC 959, with RFC 2428 EPSV/EPRT, RFC 3659 MLSD, RFC 2640 UTF8).
//
// Names and paths are the server's bytes both ways: the engine never converts them (the API
// layer maps them to display names, net/ftp_name_codec.h). Passive data connections always go
// to the address the control connection reached, whatever a PASV reply names; EPSV is used
// first when the server's features list it. All bytes move through ByteStream objects.
//
// FTP over TLS (RFC 4217): explicit ("AUTH TLS" after the greeting; any answer but 234 ends the
// session with nothing more sent) or implicit (TLS from the first byte). The server's
// certificate is judged right after the control handshake, before USER: a certificate with a
// problem the user has not accepted for this server (net/tls_certificate.h, remembered trust)
// ends the session with the problem's code and is kept for RefusedCertificate(). After the
// login, "PBSZ 0" and "PROT P" (refused: the session ends, no data moves in clear); every data
// connection then runs TLS with the control connection's credentials and target name (so a
// platform that resumes sessions resumes the control connection's), must show the control
// connection's certificate or one that passes the same check, and must end with the server's
// close_notify: a download cut short without one is an error, never a short file.
//
// Each public operation sets the goal (op_), enters its first state and steps until the state
// is Ready (the connection can take the next command) or Closed (the control connection is
// gone), or Stream for a transfer the caller drives (OpenStream), which EndStream takes on to
// Ready. FtpEngine::To is the only writer of the state. Every command and reply is reported
// to the observer as 30/31 and 40/41, the connect steps as 10/11/20/21, data as 40/41 (download,
// listing) or 30/31 (upload) per 64 KiB and at least once a second while bytes move, and the
// end of the control connection as 50/51.
// Operations return 0 or a library error code; the reply that caused an error is the last
// reply given to the observer, or the library's own account of what it refused (a privileged
// data port, a data connection from a stranger: Refuse). A local file error (disk full, access
// denied) wins over what the server says about the transfer it ended, and so do the engine's
// own verdicts on the data connection (too slow, only strangers connected).
//
// Time limits (net/ftp_pace.h): each reply, and the control connection's TLS handshake, must be
// complete within the receive time-out of its first byte; each data connection must keep the
// least rate over every span of the receive time-out. Both end in ERROR_INTERNET_TIMEOUT.
//
// One thread uses an engine at a time; any thread may set the cancel flag, which ends waits
// within a socket slice.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "net/ftp_ascii.h"
#include "net/ftp_listing.h"
#include "net/ftp_names.h"
#include "net/ftp_presence.h"
#include "net/ftp_reply.h"
#include "net/ftp_socket.h"
#include "net/ftp_stream.h"
#include "net/tls_certificate.h"

namespace vel::net {

class EngineObserver {
 public:
  virtual void Status(DWORD code, const void* info, DWORD len) = 0;
  virtual void Reply(const FtpReply& r) = 0;
  // The file's bytes the current transfer has moved so far (after each data report, and 0 when
  // its data begins); ignored unless the observer asked for it.
  virtual void FileBytes(uint64_t total) { (void)total; }

 protected:
  ~EngineObserver() = default;
};

class DataSink {
 public:
  virtual DWORD Write(const char* p, size_t n) = 0;  // 0 or a Win32 error
  // Where the engine may receive the next bytes it then gives to Write (at most *room of them):
  // a sink that writes from buffers of its own lends room in one, and Write takes bytes that
  // are already there without copying them. nullptr: the engine receives into its own block.
  virtual char* Lend(size_t* room) { (void)room; return nullptr; }
  // Called once after the last Write: 0 when every byte reached its place, else the error
  // (a sink that writes behind reports a late failure here).
  virtual DWORD Flush() { return 0; }

 protected:
  ~DataSink() = default;
};

class DataSource {
 public:
  virtual DWORD Read(char* p, size_t cap, size_t* got) = 0;  // *got 0 at the end

 protected:
  ~DataSource() = default;
};

struct Timeouts {
  DWORD connect = 60000, receive = 60000, send = 60000;
};

struct LoginParams {
  std::string host;       // server, as given (name or literal)
  int port = 21;
  std::string proxyHost;  // empty: direct; else TIS-style proxy
  int proxyPort = 21;
  std::string user, password;
  bool passive = false;
  FtpSecurity security = FtpSecurity::None;
};

class TlsCredentials;
class TlsChannel;

class FtpEngine {
 public:
  static constexpr size_t kNotifyChunk = 64 * 1024;
  static constexpr uint64_t kNotifyEveryMs = 1000;
  // Links of unknown kind probed with CWD per listing; the rest are taken as folders.
  static constexpr size_t kMaxLinkProbes = 64;
  // How long the orderly end of the control connection after QUIT may take.
  static constexpr DWORD kQuitFinishMs = 1000;
  // How long a download left over TLS is read and dropped after its ABOR, waiting for the
  // server to stop and close the data connection itself (DoAbor).
  static constexpr DWORD kAborDrainMs = 1000;

  FtpEngine(EngineObserver* obs, const std::atomic<bool>* cancel) : obs_(obs), cancel_(cancel) {}
  ~FtpEngine();
  FtpEngine(const FtpEngine&) = delete;
  FtpEngine& operator=(const FtpEngine&) = delete;
  void SetTimeouts(const Timeouts& t) { timeouts_ = t; }
  void SetPassive(bool p) { passive_ = p; }

  DWORD Open(const LoginParams& p);
  // Lists a directory ("" = the current one); names are the server's bytes. A listing with more
  // entries than ListingParser::kMaxEntries fails with ERROR_NOT_ENOUGH_MEMORY (never cut).
  DWORD List(const std::string& dir, std::vector<ListEntry>* out, NameWatch* watch = nullptr);
  // Whether `name` is an entry of `dir` ("" = the current folder), as net/ftp_presence.h proves
  // it: MLST when the server lists it among its features, else (or when MLST neither finds nor
  // denies it) a complete listing of the folder; an absence the listing shows is confirmed by
  // MDTM (213 shows a file the listing left out: vsftpd lists a folder it may not read as
  // empty). The transfer type stays what it was.
  DWORD Locate(const std::string& dir, const std::string& name, Presence* out);
  // The family the last listing was read as (Dos: the server's names ignore letter case).
  ListingParser::Family LastListingFamily() const { return lastFamily_; }
  DWORD Retrieve(const std::string& remote, bool ascii, DataSink* sink);
  DWORD Store(const std::string& remote, bool ascii, DataSource* source);
  DWORD MakeDir(const std::string& path);
  DWORD RemoveDir(const std::string& path);
  DWORD Delete(const std::string& path);
  DWORD Rename(const std::string& from, const std::string& to);
  // One command line of the caller's (no CR or LF: the caller checks), its reply read; a 4xx or
  // 5xx reply is ERROR_INTERNET_EXTENDED_ERROR. The transfer type is taken as unknown afterwards
  // (the line may have changed it), so the next transfer sends its TYPE again.
  DWORD Command(const std::string& line);

  // Transfers the caller drives (net/ftp_engine_stream.cpp): OpenStream runs the commands up to
  // the transfer command's preliminary reply and leaves its data connection open; ReadStream or
  // WriteStream move the caller's bytes; EndStream ends it. Legal order: OpenStream (0 returned),
  // any number of reads (Retr, Raw) or writes (Stor), EndStream once; no other operation between.
  //   Retr: SIZE in binary type first (StreamSize), then RETR. Stor: STOR. Raw: the caller's own
  //   line (LIST, NLST, MLSD ...) on a data connection.
  // A restart marker set with Command("REST n") is pending until the next OpenStream, which sends
  // it again right before its transfer command and so uses it up; Retrieve and Store refuse to
  // run while one is pending (ERROR_INTERNET_INCORRECT_HANDLE_STATE): they would store a tail
  // as the whole file. Any other Command cancels the pending marker; whenever the server may
  // still hold one, the next RETR or STOR is preceded by "REST 0".
  enum class StreamKind { Retr, Stor, Raw };
  DWORD OpenStream(StreamKind kind, const std::string& arg, bool ascii);
  // Up to cap bytes (at least one while data remains). *got is 0 only at the end, once the
  // server's final reply confirmed the transfer: a failing final reply is the read's error. After
  // the end or an error every further read returns the same.
  DWORD ReadStream(char* p, size_t cap, size_t* got);
  DWORD WriteStream(const char* p, size_t n);
  // An upload's data connection is ended in order and the final reply decides; a download left
  // before its end is cut off (over TLS after an ABOR, see DoAbor) and the server's complaint
  // about that is no error (the caller abandoned it), only a lost control connection is. A stream that already failed returns its
  // error again. The engine is Ready (or Closed) afterwards.
  DWORD EndStream();
  // The size SIZE gave when a Retr stream was opened; false when the server gave none.
  bool StreamSize(uint64_t* size) const;
  bool RestartPending() const { return !rest_.empty(); }

  void Quit();  // QUIT when connected, then closes (50, 51)
  // QUIT sent without waiting for its answer, then closed: a session nobody waits on (the
  // pool's) ends at once, and the server still hears it was meant. With awaitCloseMs, the
  // server's own close is awaited that long first: a server that counts our connections counts
  // this one until then.
  void Abandon(DWORD awaitCloseMs = 0);

  // A pool of logged-in connections (net/ftp_pool.h) hands a session from engine to engine.
  // Reusable: idle and logged in, still in the login folder, no restart marker pending and no
  // transfer that ended without its own final reply (the server may still owe one).
  bool Reusable() const;
  // Takes the logged-in control connection of `from` with what its login learned (features,
  // transfer type, TLS credentials, the certificate shown); `from` is left Closed. Sends nothing.
  void TakeSession(FtpEngine& from);
  // Before a taken session serves a new connect: its certificate is judged again (trust may
  // have been withdrawn since) and, when `probe`, a NOOP must be answered. 0, or the error
  // that ended the session (the engine is Closed then; nothing else was sent).
  DWORD Revive(bool probe);
  bool Connected() const { return state_ != St::Closed && state_ != St::Idle; }

  // The control connection's TLS protocol and cipher ("TLS 1.2, AES 256"); "" when it has none.
  const std::string& SecurityText() const { return securityText_; }
  // The server certificate the last Open was shown (refused or not), with its verdict, and the
  // name ("host:port") trust in it is filed under; an empty fingerprint when none was shown.
  const CertificateVerdict& ShownCertificate() const { return shown_; }
  const std::string& TrustName() const { return trustName_; }
  // The shown certificate has problems the user accepted for this server earlier.
  bool ShownTrustedByUser() const { return shownTrusted_; }

 private:
  enum class St {
    Idle,       // never opened
    Resolve,    // looking up the server (10, 11)
    Connect,    // opening the control connection (20, 21)
    Greeting,   // awaiting the 220
    TlsAuth,    // AUTH TLS sent
    TlsHandshake,  // negotiating TLS on the control connection, then judging the certificate
    User,       // USER sent
    Pass,       // PASS sent
    Acct,       // ACCT sent
    Pbsz,       // PBSZ 0 sent
    Prot,       // PROT P sent
    Feat,       // FEAT sent
    Utf8On,     // OPTS UTF8 ON sent
    Ready,      // idle, logged in
    Type,       // TYPE A / TYPE I sent
    Pasv,       // PASV sent
    Epsv,       // EPSV sent
    Port,       // PORT sent, listening
    Eprt,       // EPRT sent, listening
    XferCmd,    // RETR / STOR / LIST / MLSD sent
    Data,       // moving data on the data connection
    XferEnd,    // awaiting the transfer's final reply
    Mkd, Rmd, Dele, Rnfr, Rnto,
    Mlst,       // MLST sent (a presence check; its reply is kept, never a failure)
    Mdtm,       // MDTM sent (the same)
    Size,       // SIZE sent before a stream's RETR (a refusal only leaves the size unknown)
    Rest,       // REST sent right before the transfer command (the caller's marker, or 0)
    Raw,        // a command line of the caller's sent; its final reply ends the operation
    Stream,     // the data connection of a caller-driven transfer is open: the caller moves data
    XferCut,    // a download the caller left: its data connection cut, awaiting the server's word
                // (vsftpd 426; ProFTPD 426, or 226 when all was sent; Pure-FTPd only a 150)
    Abor,       // a download the caller left while TLS carries its data: ABOR, drain, then cut
    Noop,       // NOOP sent after a cut transfer ended with a preliminary reply: the next final
                // reply should be the NOOP's 200
    NoopWait,   // another final reply came first: the next must be the NOOP's (or, after an
                // ABOR, one more stray: the transfer's word and the ABOR's)
    Pwd,        // PWD sent (before link probes)
    Cwd,        // CWD sent (a link probe, or back to the saved directory)
    Quit,       // QUIT sent
    Closed,     // no control connection
  };
  enum class Op {
    None, Login, List, Retr, Stor, Mkd, Rmd, Dele, Rename, Probe, Mlst, Mdtm, Quit,
    Raw,                             // Command
    OpenRetr, OpenStor, OpenRaw,     // OpenStream: rest in state Stream until EndStream
  };
  // Where a stream stands: None before OpenStream and after EndStream; Open while its data
  // connection is; Over once its end (or failure, streamError_) is known.
  enum class StreamState { None, Open, Over };

  DWORD Run(Op op, St first);
  DWORD Drive();
  bool StreamOp() const { return op_ == Op::OpenRetr || op_ == Op::OpenStor || op_ == Op::OpenRaw; }
  bool Upload() const { return op_ == Op::Stor || op_ == Op::OpenStor; }
  void PlanTransfer(bool askSize, const std::string& restart);
  char WantedType() const;
  St AfterDataChannel() const { return restToSend_.empty() ? St::XferCmd : St::Rest; }
  void EndData(DWORD e);
  DWORD EndStreamWith(DWORD e);
  void ReportStreamData(DWORD busy_code, size_t n);
  void To(St next);
  void Step();
  void OnReply(const FtpReply& r);
  void Fail(DWORD err, bool fatal);
  std::string CommandFor(St s) const;
  bool SendCommand(const std::string& cmd);
  bool ReadReply(FtpReply* r);
  void DoResolve();
  void DoConnect();
  void DoData();
  void DoTlsHandshake();
  void DoAbor();
  void DrainData(DWORD ms);
  St AfterLogin() const;
  DWORD SecureData();
  DWORD JudgeCertificate(const TlsChannel& channel, bool control);
  bool DataRefused(int code) const;
  bool PrepareListener();
  St DataChannelState() const;
  St TransferStart() const;
  void ConnectPassive(const sockaddr_storage& addr);
  DWORD ReplyError(const FtpReply& r) const;
  void Refuse(DWORD err, const std::string& account);
  bool TooLowPort(uint16_t port);
  void AcceptData();
  DWORD MoveIn(DataSink* sink);
  DWORD MoveOut(DataSource* source);
  bool ReportDue(size_t pending) const;
  void ReportData(DWORD busy_code, size_t* pending, bool file_bytes = true);
  // A file's download or upload (not a listing's data, not a caller's stream).
  bool FileTransfer() const { return op_ == Op::Retr || op_ == Op::Stor; }
  void ProbeLinks(const std::string& dir, std::vector<ListEntry>* entries);
  DWORD Probe(const std::string& path, bool* isDir);
  DWORD Look(Op op, const std::string& path);

  EngineObserver* obs_;
  const std::atomic<bool>* cancel_;
  Timeouts timeouts_;
  St state_ = St::Idle;
  Op op_ = Op::None;
  DWORD error_ = 0;
  bool passive_ = false;
  bool utf8_ = false;
  bool mlsd_ = false;
  bool mlst_ = false;  // the server lists MLST among its features
  FtpReply lookReply_;  // the last MLST's or MDTM's reply
  ListingParser::Family lastFamily_ = ListingParser::Family::Unknown;
  bool epsv_ = false;  // the server lists EPSV: try it before PASV
  char type_ = 0;     // 'A' or 'I' once sent
  bool ascii_ = false;  // the current transfer's type
  LoginParams login_;
  std::vector<sockaddr_storage> addrs_;
  std::unique_ptr<ByteStream> ctrl_, data_;
  Socket listener_;
  ReplyReader reader_;
  Pace ctrlPace_, dataPace_;  // the control connection's and the data connection's limits
  DWORD refused_ = 0;         // the error Refuse() gave an account of, until Fail reports it
  std::string account_;       // that account: the last response to give when failing with it
  std::string inbuf_;
  size_t inpos_ = 0;
  std::string arg1_, arg2_;
  DataSink* sink_ = nullptr;
  DataSource* source_ = nullptr;
  std::string pwd_;      // the directory the probes return to
  bool folderLost_ = false;  // a probe's CWD back to pwd_ failed: the working folder is unknown
  bool owedReply_ = false;   // a cut transfer's final reply never came (a pool must not reuse it)
  DWORD dataError_ = 0;
  uint64_t dataMoved_ = 0;  // bytes the current transfer moved on its data connection
  uint64_t fileMoved_ = 0;  // the same counted as the local file has them (ASCII line ends)
  uint64_t reportedAt_ = 0;  // when data progress was last reported (PaceNow)
  DWORD localError_ = 0;  // the sink or source failed: the transfer's error whatever the server says
  bool finalSeen_ = false;  // the transfer command answered 2xx with no preliminary reply
  int extraStrays_ = 0;      // final replies NoopWait may still pass over before the NOOP's
  // Restart markers. rest_: the caller's REST argument, pending for the next OpenStream.
  // serverRest_: the server accepted a REST that no RETR or STOR has used since (a server keeps
  // it across other commands). restToSend_: the argument to send right before this transfer's
  // command ("" none).
  std::string rest_, restToSend_;
  bool serverRest_ = false;
  bool askSize_ = false, sizeAsked_ = false;  // this transfer sends SIZE first; it has been sent
  bool sizeKnown_ = false;
  uint64_t size_ = 0;
  static constexpr size_t kStreamChunk = 64 * 1024;  // an ASCII stream's reads from the network
  StreamState stream_ = StreamState::None;
  bool streamUpload_ = false;
  DWORD streamError_ = 0;
  std::string streamIn_;     // ASCII downloads: the bytes as they came
  std::string streamText_;   // ASCII: converted bytes (downloads: those not yet handed out)
  size_t streamTextPos_ = 0;
  CrlfConverter streamCrlf_;
  // FTP over TLS.
  std::shared_ptr<TlsCredentials> tlsCredentials_;  // one per session: control and data share it
  std::string tlsTarget_;     // the name the server's certificate must carry
  std::string trustName_;     // "host:port" of the TLS peer, as remembered trust is filed
  PCCERT_CONTEXT controlCert_ = nullptr;  // the certificate the control connection showed
  CertificateVerdict shown_;
  bool shownTrusted_ = false;
  std::string securityText_;
  bool protectData_ = false;  // PROT P accepted: data connections run TLS
  bool dataTls_ = false;      // the current transfer's data connection began a TLS handshake
};

}  // namespace vel::net
