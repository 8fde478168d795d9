// Winsock 2 stream sockets with time-outs and cancellation, as the FTP engine uses them.
//
// Every socket is non-blocking. A call that must wait does so in select() slices of at most
// kSliceMs, checking the cancel flag between slices, so closing a handle from another thread
// ends any wait within a slice. Results are the library's error codes: 0, ERROR_INTERNET_TIMEOUT,
// ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CONNECTION_ABORTED/RESET,
// ERROR_INTERNET_OPERATION_CANCELLED. Sending goes on until the socket would block and only then
// waits for write readiness (never on readiness events alone).
//
// A socket may be given a Pace (net/ftp_pace.h): every byte it moves is counted there, and a
// wait ends with ERROR_INTERNET_TIMEOUT as soon as the pace's overall limit is passed, however
// recently a byte came. The pace follows the socket when it is moved (into a TLS channel).
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "net/ftp_pace.h"

namespace vel::net {

void EnsureWinsock();
std::string AddressText(const sockaddr* sa);
// Whether two socket addresses name the same host (ports aside; an IPv4-mapped IPv6 address is
// its IPv4 one).
bool SameHost(const sockaddr_storage& a, const sockaddr_storage& b);
// Milliseconds of the monotonic clock the paces run on.
uint64_t PaceNow();

class Socket {
 public:
  static constexpr DWORD kSliceMs = 100;
  Socket() = default;
  ~Socket() { Close(); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  Socket(Socket&& o) noexcept : s_(o.s_), pace_(o.pace_) {
    o.s_ = INVALID_SOCKET;
    o.pace_ = nullptr;
  }
  Socket& operator=(Socket&& o) noexcept;

  bool Valid() const { return s_ != INVALID_SOCKET; }
  DWORD Connect(const sockaddr* addr, int len, DWORD timeoutMs, const std::atomic<bool>* cancel);
  DWORD Listen(const sockaddr* local, int len);
  // Accepts the first connection, from anywhere.
  DWORD Accept(Socket* out, DWORD timeoutMs, const std::atomic<bool>* cancel);
  // Accepts the first connection from `peer`'s host within timeoutMs (one limit for the whole
  // wait); connections from any other address are closed at once and the wait goes on. When
  // none came in time and one was refused, the error is ERROR_FTP_DATA_PEER_REFUSED and
  // *refused names the last refused address.
  DWORD AcceptFrom(const sockaddr_storage& peer, Socket* out, DWORD timeoutMs, const std::atomic<bool>* cancel,
                   std::string* refused);
  DWORD SendAll(const char* p, size_t n, DWORD timeoutMs, const std::atomic<bool>* cancel);
  // *got == 0 after an orderly close by the peer.
  DWORD Recv(char* p, size_t n, size_t* got, DWORD timeoutMs, const std::atomic<bool>* cancel);
  // Nothing to read and no end announced: an idle connection the peer has not given up.
  bool Quiet() const;
  bool LocalAddress(sockaddr_storage* out) const;
  bool PeerAddress(sockaddr_storage* out) const;
  void ShutdownSend();
  // Counts this socket's traffic in *pace and obeys its limit (nullptr: none). The pace must
  // outlive the socket's use of it.
  void SetPace(Pace* pace) { pace_ = pace; }
  void Close();

 private:
  DWORD Wait(bool write, DWORD timeoutMs, const std::atomic<bool>* cancel);
  DWORD Open(int family);
  void Adopt(SOCKET c);  // an accepted connection, made non-blocking
  void Moved(size_t n, bool in);
  bool PaceExpired() const;
  SOCKET s_ = INVALID_SOCKET;
  Pace* pace_ = nullptr;
};

}  // namespace vel::net
