// Non-blocking Winsock sockets with sliced waits.
#include "net/ftp_socket.h"

#include <mutex>

#include "net/ftpnet.h"

namespace vel::net {

namespace {

DWORD MapSocketError(int wsa) {
  switch (wsa) {
    case WSAECONNREFUSED:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAEADDRNOTAVAIL:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case WSAETIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case WSAECONNRESET:
      return ERROR_INTERNET_CONNECTION_RESET;
    default:
      return ERROR_INTERNET_CONNECTION_ABORTED;
  }
}

// Large kernel buffers: fewer would-block waits, each of which costs a select() under Wine.
void SetBuffers(SOCKET s) {
  int rcv = 512 * 1024, snd = 4 * 1024 * 1024;
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&rcv), sizeof rcv);
  setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&snd), sizeof snd);
}

}  // namespace

void EnsureWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

std::string AddressText(const sockaddr* sa) {
  char buf[64] = {};
  const void* where = sa->sa_family == AF_INET6
                          ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr)
                          : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(sa)->sin_addr);
  if (!inet_ntop(sa->sa_family, const_cast<void*>(where), buf, sizeof buf)) return std::string();
  return buf;
}

bool SameHost(const sockaddr_storage& a, const sockaddr_storage& b) {
  // Both as 16-byte IPv6 addresses: an IPv4 one as its mapped form (::ffff:a.b.c.d).
  auto asV6 = [](const sockaddr_storage& s, unsigned char out[16]) {
    if (s.ss_family == AF_INET6) {
      memcpy(out, &reinterpret_cast<const sockaddr_in6&>(s).sin6_addr, 16);
      return true;
    }
    if (s.ss_family != AF_INET) return false;
    memset(out, 0, 10);
    out[10] = out[11] = 0xff;
    memcpy(out + 12, &reinterpret_cast<const sockaddr_in&>(s).sin_addr, 4);
    return true;
  };
  unsigned char x[16], y[16];
  return asV6(a, x) && asV6(b, y) && memcmp(x, y, 16) == 0;
}

uint64_t PaceNow() { return GetTickCount64(); }

Socket& Socket::operator=(Socket&& o) noexcept {
  if (this != &o) {
    Close();
    s_ = o.s_;
    pace_ = o.pace_;
    o.s_ = INVALID_SOCKET;
    o.pace_ = nullptr;
  }
  return *this;
}

void Socket::Moved(size_t n, bool in) {
  if (pace_) pace_->Moved(n, in, PaceNow());
}

bool Socket::PaceExpired() const { return pace_ && pace_->Expired(PaceNow()); }

void Socket::Close() {
  if (s_ != INVALID_SOCKET) {
    closesocket(s_);
    s_ = INVALID_SOCKET;
  }
}

void Socket::ShutdownSend() {
  if (s_ != INVALID_SOCKET) shutdown(s_, SD_SEND);
}

DWORD Socket::Open(int family) {
  EnsureWinsock();
  Close();
  s_ = socket(family, SOCK_STREAM, IPPROTO_TCP);
  if (s_ == INVALID_SOCKET) return ERROR_INTERNET_CANNOT_CONNECT;
  u_long nb = 1;
  ioctlsocket(s_, FIONBIO, &nb);
  SetBuffers(s_);
  return 0;
}

DWORD Socket::Wait(bool write, DWORD timeoutMs, const std::atomic<bool>* cancel) {
  DWORD waited = 0;
  for (;;) {
    if (cancel && cancel->load()) return ERROR_INTERNET_OPERATION_CANCELLED;
    if (PaceExpired()) return ERROR_INTERNET_TIMEOUT;
    DWORD slice = timeoutMs - waited < kSliceMs ? timeoutMs - waited : kSliceMs;
    fd_set set, err;
    FD_ZERO(&set);
    FD_ZERO(&err);
    FD_SET(s_, &set);
    FD_SET(s_, &err);
    timeval tv{static_cast<long>(slice / 1000), static_cast<long>((slice % 1000) * 1000)};
    int n = select(0, write ? nullptr : &set, write ? &set : nullptr, &err, &tv);
    if (n == SOCKET_ERROR) return MapSocketError(WSAGetLastError());
    if (n > 0) {
      if (FD_ISSET(s_, &err)) {
        int e = 0;
        int len = sizeof e;
        getsockopt(s_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&e), &len);
        return MapSocketError(e ? e : WSAECONNRESET);
      }
      return 0;
    }
    waited += slice;
    if (waited >= timeoutMs) return ERROR_INTERNET_TIMEOUT;
  }
}

DWORD Socket::Connect(const sockaddr* addr, int len, DWORD timeoutMs, const std::atomic<bool>* cancel) {
  if (DWORD e = Open(addr->sa_family)) return e;
  if (connect(s_, addr, len) == 0) return 0;
  int wsa = WSAGetLastError();
  if (wsa != WSAEWOULDBLOCK && wsa != WSAEINPROGRESS) return MapSocketError(wsa);
  DWORD e = Wait(true, timeoutMs, cancel);
  if (e == ERROR_INTERNET_CONNECTION_ABORTED || e == ERROR_INTERNET_CONNECTION_RESET)
    e = ERROR_INTERNET_CANNOT_CONNECT;  // a refused connect shows up as an error on the socket
  if (e) return e;
  int so = 0;
  int sl = sizeof so;
  getsockopt(s_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&so), &sl);
  if (so) return so == WSAETIMEDOUT ? ERROR_INTERNET_TIMEOUT : ERROR_INTERNET_CANNOT_CONNECT;
  BOOL one = TRUE;
  setsockopt(s_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  return 0;
}

DWORD Socket::Listen(const sockaddr* local, int len) {
  if (DWORD e = Open(local->sa_family)) return e;
  sockaddr_storage a{};
  memcpy(&a, local, len);
  if (a.ss_family == AF_INET6)
    reinterpret_cast<sockaddr_in6*>(&a)->sin6_port = 0;
  else
    reinterpret_cast<sockaddr_in*>(&a)->sin_port = 0;
  if (bind(s_, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(s_, 1) != 0)
    return ERROR_INTERNET_CANNOT_CONNECT;
  return 0;
}

DWORD Socket::Accept(Socket* out, DWORD timeoutMs, const std::atomic<bool>* cancel) {
  if (DWORD e = Wait(false, timeoutMs, cancel)) return e;
  SOCKET c = accept(s_, nullptr, nullptr);
  if (c == INVALID_SOCKET) return ERROR_INTERNET_CANNOT_CONNECT;
  out->Adopt(c);
  return 0;
}

DWORD Socket::AcceptFrom(const sockaddr_storage& peer, Socket* out, DWORD timeoutMs,
                         const std::atomic<bool>* cancel, std::string* refused) {
  const uint64_t end = PaceNow() + timeoutMs;
  SOCKET c = INVALID_SOCKET;
  for (;;) {
    const uint64_t now = PaceNow();
    DWORD e = now < end ? Wait(false, static_cast<DWORD>(end - now), cancel) : ERROR_INTERNET_TIMEOUT;
    if (e == ERROR_INTERNET_TIMEOUT && !refused->empty()) return ERROR_FTP_DATA_PEER_REFUSED;
    if (e) return e;
    sockaddr_storage from{};
    int len = sizeof from;
    c = accept(s_, reinterpret_cast<sockaddr*>(&from), &len);
    if (c == INVALID_SOCKET) {
      if (WSAGetLastError() == WSAEWOULDBLOCK) continue;  // the caller went away before we took it
      return ERROR_INTERNET_CANNOT_CONNECT;
    }
    if (SameHost(from, peer)) break;
    // Someone else reached the port first (a port scanner, a local process guessing it): its
    // connection must not become the file's data.
    *refused = AddressText(reinterpret_cast<const sockaddr*>(&from));
    closesocket(c);
  }
  out->Adopt(c);
  return 0;
}

void Socket::Adopt(SOCKET c) {
  Close();
  s_ = c;
  u_long nb = 1;
  ioctlsocket(c, FIONBIO, &nb);
  SetBuffers(c);
}

DWORD Socket::SendAll(const char* p, size_t n, DWORD timeoutMs, const std::atomic<bool>* cancel) {
  while (n > 0) {
    if (cancel && cancel->load()) return ERROR_INTERNET_OPERATION_CANCELLED;
    int chunk = n > (1u << 20) ? (1 << 20) : static_cast<int>(n);
    int sent = send(s_, p, chunk, 0);
    if (sent > 0) {
      Moved(static_cast<size_t>(sent), false);
      p += sent;
      n -= static_cast<size_t>(sent);
      continue;
    }
    int wsa = WSAGetLastError();
    if (wsa != WSAEWOULDBLOCK) return MapSocketError(wsa);
    if (DWORD e = Wait(true, timeoutMs, cancel)) return e;
  }
  return 0;
}

DWORD Socket::Recv(char* p, size_t n, size_t* got, DWORD timeoutMs, const std::atomic<bool>* cancel) {
  *got = 0;
  for (;;) {
    if (cancel && cancel->load()) return ERROR_INTERNET_OPERATION_CANCELLED;
    if (PaceExpired()) return ERROR_INTERNET_TIMEOUT;
    int r = recv(s_, p, n > (1u << 30) ? (1 << 30) : static_cast<int>(n), 0);
    if (r >= 0) {
      *got = static_cast<size_t>(r);
      Moved(*got, true);
      return 0;
    }
    int wsa = WSAGetLastError();
    if (wsa != WSAEWOULDBLOCK) return MapSocketError(wsa);
    if (DWORD e = Wait(false, timeoutMs, cancel)) return e;
  }
}

bool Socket::Quiet() const {
  if (s_ == INVALID_SOCKET) return false;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s_, &readable);
  timeval now{0, 0};
  return select(0, &readable, nullptr, nullptr, &now) == 0;
}

bool Socket::LocalAddress(sockaddr_storage* out) const {
  int len = sizeof *out;
  return getsockname(s_, reinterpret_cast<sockaddr*>(out), &len) == 0;
}

bool Socket::PeerAddress(sockaddr_storage* out) const {
  int len = sizeof *out;
  return getpeername(s_, reinterpret_cast<sockaddr*>(out), &len) == 0;
}

}  // namespace vel::net
