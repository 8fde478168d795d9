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

Socket& Socket::operator=(Socket&& o) noexcept {
  if (this != &o) {
    Close();
    s_ = o.s_;
    o.s_ = INVALID_SOCKET;
  }
  return *this;
}

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
  out->Close();
  out->s_ = c;
  u_long nb = 1;
  ioctlsocket(c, FIONBIO, &nb);
  SetBuffers(c);
  return 0;
}

DWORD Socket::SendAll(const char* p, size_t n, DWORD timeoutMs, const std::atomic<bool>* cancel) {
  while (n > 0) {
    if (cancel && cancel->load()) return ERROR_INTERNET_OPERATION_CANCELLED;
    int chunk = n > (1u << 20) ? (1 << 20) : static_cast<int>(n);
    int sent = send(s_, p, chunk, 0);
    if (sent > 0) {
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
    int r = recv(s_, p, n > (1u << 30) ? (1 << 30) : static_cast<int>(n), 0);
    if (r >= 0) {
      *got = static_cast<size_t>(r);
      return 0;
    }
    int wsa = WSAGetLastError();
    if (wsa != WSAEWOULDBLOCK) return MapSocketError(wsa);
    if (DWORD e = Wait(false, timeoutMs, cancel)) return e;
  }
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
