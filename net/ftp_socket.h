// Winsock 2 stream sockets with time-outs and cancellation, as the FTP engine uses them.
//
// Every socket is non-blocking. A call that must wait does so in select() slices of at most
// kSliceMs, checking the cancel flag between slices, so closing a handle from another thread
// ends any wait within a slice. Results are the library's error codes: 0, ERROR_INTERNET_TIMEOUT,
// ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CONNECTION_ABORTED/RESET,
// ERROR_INTERNET_OPERATION_CANCELLED. Sending goes on until the socket would block and only then
// waits for write readiness (never on readiness events alone).
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstddef>
#include <string>

namespace vel::net {

void EnsureWinsock();
std::string AddressText(const sockaddr* sa);

class Socket {
 public:
  static constexpr DWORD kSliceMs = 100;
  Socket() = default;
  ~Socket() { Close(); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  Socket(Socket&& o) noexcept : s_(o.s_) { o.s_ = INVALID_SOCKET; }
  Socket& operator=(Socket&& o) noexcept;

  bool Valid() const { return s_ != INVALID_SOCKET; }
  DWORD Connect(const sockaddr* addr, int len, DWORD timeoutMs, const std::atomic<bool>* cancel);
  DWORD Listen(const sockaddr* local, int len);
  DWORD Accept(Socket* out, DWORD timeoutMs, const std::atomic<bool>* cancel);
  DWORD SendAll(const char* p, size_t n, DWORD timeoutMs, const std::atomic<bool>* cancel);
  // *got == 0 after an orderly close by the peer.
  DWORD Recv(char* p, size_t n, size_t* got, DWORD timeoutMs, const std::atomic<bool>* cancel);
  bool LocalAddress(sockaddr_storage* out) const;
  bool PeerAddress(sockaddr_storage* out) const;
  void ShutdownSend();
  void Close();

 private:
  DWORD Wait(bool write, DWORD timeoutMs, const std::atomic<bool>* cancel);
  DWORD Open(int family);
  SOCKET s_ = INVALID_SOCKET;
};

}  // namespace vel::net
