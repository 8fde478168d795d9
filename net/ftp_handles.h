// The library's handle table and the objects behind handles.
//
// A handle is a number from a counter (never a pointer), mapped to a shared object in one
// table under one mutex. Closing removes the entry at once, so a closed or foreign handle is
// never found again (ERROR_INVALID_HANDLE); work already running keeps its object alive through
// its own reference. Kinds: Session (owns the worker thread of an asynchronous session),
// Connection (owns an FTP engine), Find (a finished listing being read entry by entry), File (a
// transfer the caller drives on its connection's data connection).
#pragma once
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "net/ftp_engine.h"
#include "net/ftp_pool.h"
#include "net/ftpnet.h"

namespace vel::net {

// One thread running posted jobs in order. Stop() lets it end once its queue is drained. From
// the worker itself, or with wait false, it returns at once (the thread keeps its own
// reference); otherwise it waits at most kStopWaitMs for the queue to drain and joins.
class Worker {
 public:
  static constexpr int kStopWaitMs = 3000;
  void Post(std::function<void()> job);
  void Stop(bool wait = true);
  bool OnWorker() const { return std::this_thread::get_id() == id_; }

 private:
  static void Loop(std::shared_ptr<Worker> self);
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_;
  bool stop_ = false;
  bool started_ = false;
  bool finished_ = false;
  std::thread thread_;
  std::thread::id id_;
  std::weak_ptr<Worker> self_;
  friend std::shared_ptr<Worker> MakeWorker();
};
std::shared_ptr<Worker> MakeWorker();

struct Object {
  enum class Kind { Session, Connection, Find, File };
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  Kind kind;
  HINTERNET handle = nullptr;
  DWORD_PTR context = 0;
  std::atomic<INTERNET_STATUS_CALLBACK> callback{nullptr};
  // Time-outs in milliseconds; set by InternetSetOptionA on any thread, read when a request starts.
  std::atomic<DWORD> connectMs{60000}, receiveMs{60000}, sendMs{60000};
  // INTERNET_OPTION_FTP_DATA_PROGRESS; a connection takes its session's at the connect.
  std::atomic<bool> dataProgress{false};
  Timeouts GetTimeouts() const { return Timeouts{connectMs.load(), receiveMs.load(), sendMs.load()}; }
  void SetTimeouts(const Timeouts& t) {
    connectMs = t.connect;
    receiveMs = t.receive;
    sendMs = t.send;
  }
  // Calls the status callback, if any, with this handle and the given context.
  void Notify(DWORD_PTR ctx, DWORD code, const void* info, DWORD len) const;
};

// What a connect learnt of the server's TLS: the certificate it was shown with its verdict,
// the name trust in it is filed under, and the control connection's TLS text. Written by the
// request that connects, read by option queries on any thread.
class TlsRecord {
 public:
  void Store(const FtpEngine& engine);
  // False when no certificate was shown.
  bool Certificate(CertificateVerdict* verdict, std::string* server, bool* trustedByUser) const;
  std::string SecurityText() const;

 private:
  mutable std::mutex m_;
  CertificateVerdict verdict_;
  std::string server_;
  bool trustedByUser_ = false;
  std::string securityText_;
};

struct Session : Object {
  Session() : Object(Kind::Session) {}
  bool async = false;
  DWORD access = INTERNET_OPEN_TYPE_DIRECT;
  std::string proxy, bypass;  // the FTP proxy "host[:port]" and bypass list in force
  // The workers of its connections, closed or not: closing the session waits for them all.
  std::mutex workersMutex;
  std::vector<std::weak_ptr<Worker>> workers;
  TlsRecord tls;  // the last certificate any of its connections was shown
};

// A connection runs one request at a time (another gives ERROR_FTP_TRANSFER_IN_PROGRESS);
// connections of one session run side by side, each asynchronous one on a worker of its own.
struct Connection : Object, EngineObserver {
  Connection() : Object(Kind::Connection), engine(this, &cancel) {}
  std::shared_ptr<Session> session;
  std::shared_ptr<Worker> worker;  // asynchronous sessions only
  std::atomic<bool> busy{false};
  // A file handle holds the data connection: requests other than its own are refused.
  std::atomic<bool> fileOpen{false};
  // Set by any FtpCommandA: the caller's command may have changed the directory, the login or
  // the server's state behind the library's back, so a pool must never hand this connection on.
  std::atomic<bool> unpoolable{false};
  // Set by the connect: the pool's key of its login, and the reply the login ended with (a
  // reused connect shows it again as the last response).
  bool loggedIn = false;
  bool pooled = false;  // its session went to the pool at the close
  PoolKey poolKey;
  FtpReply loginReply;
  bool TryBegin() { bool f = false; return busy.compare_exchange_strong(f, true); }
  void End() { busy.store(false); }
  FtpEngine engine;
  std::atomic<bool> cancel{false};
  std::atomic<bool> running{false};
  std::atomic<bool> closed{false};  // its handle was closed: requests still queued are cancelled
  std::atomic<DWORD> opThread{0};
  bool closePending = false;    // closed by its own request's callback: finish the close after it
  std::recursive_mutex opMutex; // serialises synchronous requests and the close
  DWORD_PTR opContext = 0;      // context of the request in progress
  const Object* reportAs = nullptr;  // the file handle whose request is in progress, if any
  TlsRecord tls;
  void Status(DWORD code, const void* info, DWORD len) override {
    (reportAs ? reportAs : this)->Notify(opContext, code, info, len);
  }
  void FileBytes(uint64_t total) override {
    if (!dataProgress.load()) return;
    FTP_DATA_PROGRESS p{total};
    Status(INTERNET_STATUS_FTP_DATA_PROGRESS, &p, sizeof p);
  }
  void Reply(const FtpReply& r) override;
};

// One listed entry as the caller gets it (display name), kept small: a listing may have
// millions of entries; WIN32_FIND_DATAA is filled when the entry is read.
struct FoundEntry {
  std::string name;
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  uint64_t size = 0;
  bool sizeApprox = false;  // FTP_FIND_SIZE_APPROXIMATE
  FILETIME time{};
};

struct Find : Object {
  Find() : Object(Kind::Find) {}
  std::shared_ptr<Connection> connection;
  std::vector<FoundEntry> entries;
  size_t next = 0;
};

// FtpOpenFileA's handle, or FtpCommandA's with a data connection; its requests report to it.
struct File : Object {
  File() : Object(Kind::File) {}
  std::shared_ptr<Connection> connection;
  bool upload = false;
  bool sized = false;      // opened by FtpOpenFileA for reading: SIZE was asked
  bool sizeKnown = false;  // ... and answered
  uint64_t size = 0;
  std::atomic<bool> ended{false};  // a read found the end, the server confirmed the transfer
};

// Registers an object and gives it its handle; nullptr when the table is full.
HINTERNET Register(const std::shared_ptr<Object>& obj);
// The object of a handle if it is of one of the kinds wanted; else sets the last error
// (ERROR_INVALID_HANDLE, ERROR_INTERNET_INCORRECT_HANDLE_TYPE) and returns nullptr.
std::shared_ptr<Object> Lookup(HINTERNET h, bool session, bool connection, bool find, bool file = false);
// Removes the handle; returns the object (nullptr if it was not registered).
std::shared_ptr<Object> Unregister(HINTERNET h);
// Every registered object made from the session.
std::vector<std::shared_ptr<Object>> ChildrenOf(const Session* s);

// The last server reply seen by the calling thread; cleared when a request starts, so it
// always belongs to the thread's latest request.
void StoreLastResponse(const FtpReply& r);
void ClearLastResponse();
const FtpReply& LastResponse();

}  // namespace vel::net
