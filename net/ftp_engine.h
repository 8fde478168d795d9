// The FTP protocol engine: one control connection, its data connections, and the one state
// machine that drives them (RFC 959, with RFC 2428 EPSV/EPRT, RFC 3659 MLSD, RFC 2640 UTF8).
//
// Names and paths are the server's bytes both ways: the engine never converts them (the API
// layer maps them to display names, net/ftp_name_codec.h). Passive data connections always go
// to the address the control connection reached, whatever a PASV reply names; EPSV is used
// first when the server's features list it. All bytes move through ByteStream objects.
//
// Each public operation sets the goal (op_), enters its first state and steps until the state
// is Ready (the connection can take the next command) or Closed (the control connection is
// gone). FtpEngine::To is the only writer of the state. Every command and reply is reported
// to the observer as 30/31 and 40/41, the connect steps as 10/11/20/21, data as 40/41 (download,
// listing) or 30/31 (upload) per 64 KiB, and the end of the control connection as 50/51.
// Operations return 0 or a library error code; the reply that caused an error is the last
// reply given to the observer. A local file error (disk full, access denied) wins over what the
// server says about the transfer it ended.
//
// One thread uses an engine at a time; any thread may set the cancel flag, which ends waits
// within a socket slice.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "net/ftp_listing.h"
#include "net/ftp_reply.h"
#include "net/ftp_socket.h"
#include "net/ftp_stream.h"

namespace vel::net {

class EngineObserver {
 public:
  virtual void Status(DWORD code, const void* info, DWORD len) = 0;
  virtual void Reply(const FtpReply& r) = 0;

 protected:
  ~EngineObserver() = default;
};

class DataSink {
 public:
  virtual DWORD Write(const char* p, size_t n) = 0;  // 0 or a Win32 error

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
};

class FtpEngine {
 public:
  static constexpr size_t kNotifyChunk = 64 * 1024;
  // Links of unknown kind probed with CWD per listing; the rest are taken as folders.
  static constexpr size_t kMaxLinkProbes = 64;

  FtpEngine(EngineObserver* obs, const std::atomic<bool>* cancel) : obs_(obs), cancel_(cancel) {}
  void SetTimeouts(const Timeouts& t) { timeouts_ = t; }
  void SetPassive(bool p) { passive_ = p; }

  DWORD Open(const LoginParams& p);
  // Lists a directory ("" = the current one); names are the server's bytes. A listing with more
  // entries than ListingParser::kMaxEntries fails with ERROR_NOT_ENOUGH_MEMORY (never cut).
  DWORD List(const std::string& dir, std::vector<ListEntry>* out);
  DWORD Retrieve(const std::string& remote, bool ascii, DataSink* sink);
  DWORD Store(const std::string& remote, bool ascii, DataSource* source);
  DWORD MakeDir(const std::string& path);
  DWORD RemoveDir(const std::string& path);
  DWORD Delete(const std::string& path);
  DWORD Rename(const std::string& from, const std::string& to);
  void Quit();  // QUIT when connected, then closes (50, 51)
  bool Connected() const { return state_ != St::Closed && state_ != St::Idle; }

 private:
  enum class St {
    Idle,       // never opened
    Resolve,    // looking up the server (10, 11)
    Connect,    // opening the control connection (20, 21)
    Greeting,   // awaiting the 220
    User,       // USER sent
    Pass,       // PASS sent
    Acct,       // ACCT sent
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
    Pwd,        // PWD sent (before link probes)
    Cwd,        // CWD sent (a link probe, or back to the saved directory)
    Quit,       // QUIT sent
    Closed,     // no control connection
  };
  enum class Op { None, Login, List, Retr, Stor, Mkd, Rmd, Dele, Rename, Probe, Quit };

  DWORD Run(Op op, St first);
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
  bool PrepareListener();
  St DataChannelState() const;
  St TransferStart() const;
  void ConnectPassive(const sockaddr_storage& addr);
  DWORD ReplyError(const FtpReply& r) const;
  DWORD MoveIn(DataSink* sink);
  DWORD MoveOut(DataSource* source);
  void ReportData(DWORD busy_code, size_t* pending);
  void ProbeLinks(const std::string& dir, std::vector<ListEntry>* entries);
  DWORD Probe(const std::string& path, bool* isDir);

  EngineObserver* obs_;
  const std::atomic<bool>* cancel_;
  Timeouts timeouts_;
  St state_ = St::Idle;
  Op op_ = Op::None;
  DWORD error_ = 0;
  bool passive_ = false;
  bool utf8_ = false;
  bool mlsd_ = false;
  bool epsv_ = false;  // the server lists EPSV: try it before PASV
  char type_ = 0;     // 'A' or 'I' once sent
  bool ascii_ = false;  // the current transfer's type
  LoginParams login_;
  std::vector<sockaddr_storage> addrs_;
  std::unique_ptr<ByteStream> ctrl_, data_;
  Socket listener_;
  ReplyReader reader_;
  std::string inbuf_;
  size_t inpos_ = 0;
  std::string arg1_, arg2_;
  DataSink* sink_ = nullptr;
  DataSource* source_ = nullptr;
  std::string pwd_;      // the directory the probes return to
  DWORD dataError_ = 0;
  DWORD localError_ = 0;  // the sink or source failed: the transfer's error whatever the server says
  bool finalSeen_ = false;  // the transfer command answered 2xx with no preliminary reply
};

}  // namespace vel::net
