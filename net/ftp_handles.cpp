// Handle table, workers and the per-thread last response.
#include "net/ftp_handles.h"

#include <new>
#include <unordered_map>

namespace vel::net {

namespace {

struct Table {
  std::mutex m;
  std::unordered_map<uintptr_t, std::shared_ptr<Object>> map;
  uintptr_t next = 0x00CC0004;  // steps of 4, never 0, never reused within a run
};

Table& TheTable() {
  static Table* t = new Table;  // never destroyed: workers may outlive static destruction
  return *t;
}

// The calling thread's last reply: a block of its own, reached through a fiber-local slot whose
// callback deletes it when the thread ends. Not a thread_local object: this toolchain's emulated
// thread storage (POSIX threads model) frees a thread's thread_local block when the thread's
// routine returns and runs the C++ destructors afterwards, so ~FtpReply ran on memory the heap
// had already handed on - another thread's blank-padded text made it free 0x20202020. The
// callback is given the pointer itself and reads no thread storage.
void WINAPI DeleteThreadReply(void* reply) { delete static_cast<FtpReply*>(reply); }

DWORD ReplySlot() {
  static const DWORD slot = FlsAlloc(DeleteThreadReply);
  return slot;
}

// Null when no slot or no memory could be had: the thread then keeps no reply. The caller's
// last error is left as it was (FlsGetValue clears it), since a failing call reads the reply
// after it has set its error.
FtpReply* ThreadReply(bool create) {
  const DWORD error = GetLastError();
  const DWORD slot = ReplySlot();
  FtpReply* reply = slot == FLS_OUT_OF_INDEXES ? nullptr : static_cast<FtpReply*>(FlsGetValue(slot));
  if (!reply && create && slot != FLS_OUT_OF_INDEXES) {
    reply = new (std::nothrow) FtpReply;
    if (reply && !FlsSetValue(slot, reply)) {
      delete reply;
      reply = nullptr;
    }
  }
  SetLastError(error);
  return reply;
}

}  // namespace

void Worker::Loop(std::shared_ptr<Worker> self) {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(self->m_);
      self->cv_.wait(lock, [&] { return self->stop_ || !self->jobs_.empty(); });
      if (self->jobs_.empty()) {  // stopped and drained
        self->finished_ = true;
        self->cv_.notify_all();
        return;
      }
      job = std::move(self->jobs_.front());
      self->jobs_.pop_front();
    }
    job();
  }
}

std::shared_ptr<Worker> MakeWorker() {
  auto w = std::make_shared<Worker>();
  w->self_ = w;
  return w;
}

void Worker::Post(std::function<void()> job) {
  std::lock_guard<std::mutex> lock(m_);
  jobs_.push_back(std::move(job));
  if (!started_) {
    started_ = true;
    thread_ = std::thread(Loop, self_.lock());
    id_ = thread_.get_id();
  }
  cv_.notify_one();
}

void Worker::Stop(bool wait) {
  {
    std::lock_guard<std::mutex> lock(m_);
    stop_ = true;
    if (!started_) return;
  }
  cv_.notify_all();
  if (OnWorker() || !wait) {
    std::lock_guard<std::mutex> lock(m_);
    if (thread_.joinable()) thread_.detach();  // it ends by itself once drained
    return;
  }
  // Normally the queue drains at once (requests in progress were cancelled). A callback that
  // blocks on a lock the closing thread holds would make a plain join wait forever: after
  // kStopWaitMs the thread is left to finish on its own; it owns a reference to this worker.
  std::unique_lock<std::mutex> lock(m_);
  bool finished = cv_.wait_for(lock, std::chrono::milliseconds(kStopWaitMs), [&] { return finished_; });
  if (!thread_.joinable()) return;
  if (finished) {
    std::thread t = std::move(thread_);
    lock.unlock();
    t.join();
  } else {
    thread_.detach();
  }
}

void Object::Notify(DWORD_PTR ctx, DWORD code, const void* info, DWORD len) const {
  INTERNET_STATUS_CALLBACK cb = callback.load();
  if (!cb || cb == INTERNET_INVALID_STATUS_CALLBACK) return;
  cb(handle, ctx, code, const_cast<void*>(info), len);
}

void Connection::Reply(const FtpReply& r) { StoreLastResponse(r); }

HINTERNET Register(const std::shared_ptr<Object>& obj) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.m);
  if (t.next > 0x7FFFFFF0 || t.map.size() > 1000000) return nullptr;
  uintptr_t h = t.next;
  t.next += 4;
  obj->handle = reinterpret_cast<HINTERNET>(h);
  t.map.emplace(h, obj);
  return obj->handle;
}

std::shared_ptr<Object> Lookup(HINTERNET h, bool session, bool connection, bool find, bool file) {
  Table& t = TheTable();
  std::shared_ptr<Object> obj;
  {
    std::lock_guard<std::mutex> lock(t.m);
    auto it = t.map.find(reinterpret_cast<uintptr_t>(h));
    if (it != t.map.end()) obj = it->second;
  }
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  bool fits = (session && obj->kind == Object::Kind::Session) ||
              (connection && obj->kind == Object::Kind::Connection) ||
              (find && obj->kind == Object::Kind::Find) || (file && obj->kind == Object::Kind::File);
  if (!fits) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  return obj;
}

std::shared_ptr<Object> Unregister(HINTERNET h) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.m);
  auto it = t.map.find(reinterpret_cast<uintptr_t>(h));
  if (it == t.map.end()) return nullptr;
  auto obj = it->second;
  t.map.erase(it);
  return obj;
}

std::vector<std::shared_ptr<Object>> ChildrenOf(const Session* s) {
  Table& t = TheTable();
  std::vector<std::shared_ptr<Object>> out;
  std::lock_guard<std::mutex> lock(t.m);
  for (auto& [h, obj] : t.map) {
    if (obj->kind == Object::Kind::Connection &&
        static_cast<Connection*>(obj.get())->session.get() == s)
      out.push_back(obj);
    else if (obj->kind == Object::Kind::Find &&
             static_cast<Find*>(obj.get())->connection->session.get() == s)
      out.push_back(obj);
    else if (obj->kind == Object::Kind::File &&
             static_cast<File*>(obj.get())->connection->session.get() == s)
      out.push_back(obj);
  }
  return out;
}

void TlsRecord::Store(const FtpEngine& engine) {
  std::lock_guard<std::mutex> lock(m_);
  verdict_ = engine.ShownCertificate();
  server_ = engine.TrustName();
  trustedByUser_ = engine.ShownTrustedByUser();
  securityText_ = engine.SecurityText();
}

bool TlsRecord::Certificate(CertificateVerdict* verdict, std::string* server, bool* trustedByUser) const {
  std::lock_guard<std::mutex> lock(m_);
  if (verdict_.details.fingerprint.empty()) return false;
  *verdict = verdict_;
  *server = server_;
  *trustedByUser = trustedByUser_;
  return true;
}

std::string TlsRecord::SecurityText() const {
  std::lock_guard<std::mutex> lock(m_);
  return securityText_;
}

void StoreLastResponse(const FtpReply& r) {
  if (FtpReply* last = ThreadReply(true)) *last = r;
}

void ClearLastResponse() {
  if (FtpReply* last = ThreadReply(false)) *last = FtpReply{};
}

const FtpReply& LastResponse() {
  static const FtpReply none;
  const FtpReply* last = ThreadReply(false);
  return last ? *last : none;
}

}  // namespace vel::net
