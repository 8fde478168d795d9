// A connected byte stream as the FTP engine talks to a control or data connection: a plain
// socket (SocketStream) or a TLS channel over one (TlsChannel). Calls block; each wait lasts at
// most timeoutMs and ends early when *cancel becomes true. Results are the library's error
// codes (0 on success), as Socket gives them, plus ERROR_INTERNET_SECURITY_CHANNEL_ERROR from a
// TLS channel.
//
// Legal order: Write/Read any number of times, then Close once; nothing after Close.
#pragma once
#include <atomic>
#include <cstddef>

#include "net/ftp_socket.h"

namespace vel::net {

class Stream {
 public:
  virtual ~Stream() = default;
  // Sends all n bytes.
  virtual DWORD Write(const char* p, size_t n, DWORD timeoutMs, const std::atomic<bool>* cancel) = 0;
  // Waits for and returns at least one byte; *got == 0 at the end of the stream.
  virtual DWORD Read(char* p, size_t cap, size_t* got, DWORD timeoutMs, const std::atomic<bool>* cancel) = 0;
  // Ends the stream in order (a TLS channel sends its close_notify first) and closes the
  // connection. The connection is closed even when the orderly end fails.
  virtual DWORD Close(DWORD timeoutMs, const std::atomic<bool>* cancel) = 0;
};

// A plain connection: the socket stays owned by the caller.
class SocketStream final : public Stream {
 public:
  explicit SocketStream(Socket* socket) : socket_(socket) {}
  DWORD Write(const char* p, size_t n, DWORD timeoutMs, const std::atomic<bool>* cancel) override {
    return socket_->SendAll(p, n, timeoutMs, cancel);
  }
  DWORD Read(char* p, size_t cap, size_t* got, DWORD timeoutMs, const std::atomic<bool>* cancel) override {
    return socket_->Recv(p, cap, got, timeoutMs, cancel);
  }
  DWORD Close(DWORD, const std::atomic<bool>*) override {
    socket_->ShutdownSend();
    socket_->Close();
    return 0;
  }

 private:
  Socket* socket_;
};

}  // namespace vel::net
