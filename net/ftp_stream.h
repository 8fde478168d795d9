// The byte stream the FTP engine moves its control and data bytes through: the plain socket
// (SocketStream) or a TLS channel over one (TlsChannel, net/tls_channel.h). The engine never
// touches a socket for I/O, so encryption wraps a connection without the engine's transfer
// code changing.
//
// Results are the library's error codes (0, ERROR_INTERNET_TIMEOUT, ..._CONNECTION_ABORTED/RESET,
// ..._OPERATION_CANCELLED, and ERROR_INTERNET_SECURITY_CHANNEL_ERROR from a TLS channel). Waits
// last at most timeoutMs and end early when *cancel turns true.
//
// Legal order: Send/Recv any number of times, then Finish or Close once; nothing after that.
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
  // Waits for and returns at least one byte; *got == 0 at the end of the stream.
  virtual DWORD Recv(char* p, size_t cap, size_t* got, DWORD timeoutMs, const std::atomic<bool>* cancel) = 0;
  // Whether the end Recv reported was announced by the peer (a TLS close_notify). A plain
  // stream has no such announcement: its end is always taken as meant.
  virtual bool EndedInOrder() const { return true; }
  // Ends the stream in order (a TLS channel sends its close_notify first; the peer reads the
  // end of the data), then releases the connection, even when the orderly end failed.
  virtual DWORD Finish(DWORD timeoutMs, const std::atomic<bool>* cancel) = 0;
  // Releases the connection at once.
  virtual void Close() = 0;
  // The socket underneath (addresses, validity).
  virtual const Socket& Underlying() const = 0;
  // Counts the stream's traffic in *pace (the socket's limit); see Socket::SetPace.
  virtual void SetPace(Pace* pace) = 0;
};

// The plain stream: the socket itself.
class SocketStream final : public ByteStream {
 public:
  explicit SocketStream(Socket s) : s_(std::move(s)) {}
  DWORD Send(const char* p, size_t n, DWORD timeoutMs, const std::atomic<bool>* cancel) override {
    return s_.SendAll(p, n, timeoutMs, cancel);
  }
  DWORD Recv(char* p, size_t cap, size_t* got, DWORD timeoutMs, const std::atomic<bool>* cancel) override {
    return s_.Recv(p, cap, got, timeoutMs, cancel);
  }
  DWORD Finish(DWORD, const std::atomic<bool>*) override {
    s_.ShutdownSend();
    s_.Close();
    return 0;
  }
  void Close() override { s_.Close(); }
  const Socket& Underlying() const override { return s_; }
  void SetPace(Pace* pace) override { s_.SetPace(pace); }
  // Hands the socket over (to a TLS channel that takes the connection over); the stream is
  // empty afterwards.
  Socket Release() { return std::move(s_); }

 private:
  Socket s_;
};

}  // namespace vel::net
