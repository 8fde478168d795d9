// The byte stream the FTP engine moves its control and data bytes through. The engine never
// touches a socket for I/O: it reads, writes and closes a ByteStream, so a layer that encrypts
// (FTP over TLS) can wrap the plain stream of a connection without the engine changing.
//
// Results are the library's error codes (0, ERROR_INTERNET_TIMEOUT, ..._CONNECTION_ABORTED/RESET,
// ..._OPERATION_CANCELLED). Waits last at most timeoutMs and end early when *cancel turns true.
#pragma once
#include <winsock2.h>

#include <atomic>
#include <cstddef>
#include <memory>

#include "net/ftp_socket.h"

namespace vel::net {

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Sends all n bytes.
  virtual DWORD Send(const char* p, size_t n, DWORD timeoutMs, const std::atomic<bool>* cancel) = 0;
  // Receives up to cap bytes; *got == 0 after an orderly end from the peer.
  virtual DWORD Recv(char* p, size_t cap, size_t* got, DWORD timeoutMs, const std::atomic<bool>* cancel) = 0;
  // Ends sending in order (the peer reads the end of the data), then releases the connection.
  virtual void Finish() = 0;
  // Releases the connection at once.
  virtual void Close() = 0;
  // The socket underneath (addresses, validity).
  virtual const Socket& Underlying() const = 0;
};

// The plain stream: the socket itself.
class SocketStream : public ByteStream {
 public:
  explicit SocketStream(Socket s) : s_(std::move(s)) {}
  DWORD Send(const char* p, size_t n, DWORD timeoutMs, const std::atomic<bool>* cancel) override {
    return s_.SendAll(p, n, timeoutMs, cancel);
  }
  DWORD Recv(char* p, size_t cap, size_t* got, DWORD timeoutMs, const std::atomic<bool>* cancel) override {
    return s_.Recv(p, cap, got, timeoutMs, cancel);
  }
  void Finish() override {
    s_.ShutdownSend();
    s_.Close();
  }
  void Close() override { s_.Close(); }
  const Socket& Underlying() const override { return s_; }

 private:
  Socket s_;
};

}  // namespace vel::net
