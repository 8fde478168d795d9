// Name look-ups on a thread of their own (see ftp_resolve.h).
#include "net/ftp_resolve.h"

#include <cstring>
#include <memory>

#include "net/ftp_socket.h"
#include "net/ftpnet.h"

namespace vel::net {

namespace {

std::atomic<NameLookup> g_lookup{nullptr};

// What the look-up thread and the waiting connect share. Whoever lets go last frees it: the
// connect when the answer came in time, the look-up thread when the connect gave up waiting.
struct PendingLookup {
  std::string host, service;
  NameLookup lookup = nullptr;
  HANDLE done = nullptr;  // manual-reset: set once rc and addrs are written
  int rc = -1;
  std::vector<sockaddr_storage> addrs;
  ~PendingLookup() {
    if (done) CloseHandle(done);
  }
};

void RunLookup(PendingLookup* p) {
  p->rc = p->lookup(p->host, p->service, &p->addrs);
  SetEvent(p->done);
}

DWORD WINAPI LookupThread(LPVOID arg) {
  std::unique_ptr<std::shared_ptr<PendingLookup>> own(static_cast<std::shared_ptr<PendingLookup>*>(arg));
  RunLookup(own->get());
  return 0;
}

// The look-up runs on its own thread; when no thread can be had, on the caller's (blocking,
// as before: a connect must not fail for want of a helper thread).
void StartLookup(const std::shared_ptr<PendingLookup>& p) {
  auto* arg = new std::shared_ptr<PendingLookup>(p);
  HANDLE thread = CreateThread(nullptr, 0, LookupThread, arg, 0, nullptr);
  if (thread) {
    CloseHandle(thread);
    return;
  }
  delete arg;
  RunLookup(p.get());
}

// Waits for the look-up in slices: 0 when it answered, else why the wait ended.
DWORD AwaitLookup(const PendingLookup& p, DWORD limitMs, const std::atomic<bool>* cancel) {
  DWORD waited = 0;
  for (;;) {
    if (cancel && cancel->load()) return ERROR_INTERNET_OPERATION_CANCELLED;
    const DWORD slice = limitMs - waited < Socket::kSliceMs ? limitMs - waited : Socket::kSliceMs;
    if (WaitForSingleObject(p.done, slice) == WAIT_OBJECT_0) return 0;
    waited += slice;
    if (waited >= limitMs) return ERROR_INTERNET_TIMEOUT;
  }
}

}  // namespace

int SystemNameLookup(const std::string& host, const std::string& service, std::vector<sockaddr_storage>* out) {
  EnsureWinsock();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* res = nullptr;
  const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &res);
  if (rc != 0 || !res) return rc ? rc : EAI_NONAME;
  for (addrinfo* a = res; a; a = a->ai_next) {
    if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
    sockaddr_storage s{};
    memcpy(&s, a->ai_addr, a->ai_addrlen);
    out->push_back(s);
  }
  freeaddrinfo(res);
  return 0;
}

void SetNameLookup(NameLookup lookup) { g_lookup = lookup; }

DWORD ResolveHost(const std::string& host, int port, DWORD limitMs, const std::atomic<bool>* cancel,
                  std::vector<sockaddr_storage>* out) {
  out->clear();
  auto p = std::make_shared<PendingLookup>();
  p->host = host;
  p->service = std::to_string(port);
  p->lookup = g_lookup.load() ? g_lookup.load() : SystemNameLookup;
  p->done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!p->done) return ERROR_NOT_ENOUGH_MEMORY;
  StartLookup(p);
  if (DWORD e = AwaitLookup(*p, limitMs, cancel)) return e;  // abandoned: its thread frees it
  if (p->rc != 0 || p->addrs.empty()) return ERROR_INTERNET_NAME_NOT_RESOLVED;
  *out = std::move(p->addrs);
  return 0;
}

}  // namespace vel::net
