// Logged-in control connections kept for the next connect with the same login.
//
// Closing a connection handle whose session is clean (FtpEngine::Reusable, and no FtpCommandA
// was sent on it) gives its control connection to the pool instead of sending QUIT; the next
// InternetConnectA of any session handle of the process with the same key takes it instead of
// logging in again. A program sees no difference but speed: the connect still announces its
// handle and completes, and the last response is the original login's.
//
// Key: server name and port, user, a salted digest of the password (the pool keeps no password
// in clear: the engine's copy is wiped when the session is handed on), passive or active,
// security mode, and proxy. The TLS target name follows from these; the certificate is judged
// again on every reuse (FtpEngine::Revive), so trust withdrawn meanwhile is honoured.
//
// A connection waits at most kMaxIdleMs; one idle longer than kProbeAfterMs must answer a NOOP
// before it serves (a server may have closed it). Expired connections are closed by a sweeper
// thread without QUIT. At process exit the pooled connections are simply closed with the process.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "net/ftp_engine.h"
#include "net/ftp_reply.h"

namespace vel::net {

struct PoolKey {
  std::string host;
  int port = 0;
  std::string user;
  std::string secret;  // salted SHA-256 of the password
  bool passive = false;
  FtpSecurity security = FtpSecurity::None;
  std::string proxyHost;
  int proxyPort = 0;
  bool operator==(const PoolKey&) const = default;
};

PoolKey PoolKeyFor(const LoginParams& p);

class ConnectionPool {
 public:
  static constexpr DWORD kMaxIdleMs = 30000;
  static constexpr DWORD kProbeAfterMs = 5000;
  static constexpr size_t kMaxPooled = 16;

  static ConnectionPool& Instance();

  // Takes the session of `from` (which is left Closed) into the pool with the reply its login
  // ended with. `from` must be Reusable.
  void Put(const PoolKey& key, FtpEngine& from, const FtpReply& loginReply);
  // Moves a pooled session with this key into `into` and revives it (certificate judged again;
  // a NOOP when it has been idle more than kProbeAfterMs). False when none was pooled or the
  // revival failed (then `into` is Closed and a fresh login is the caller's).
  bool Take(const PoolKey& key, FtpEngine& into, FtpReply* loginReply);
  // Ends the pooled sessions to this server (any user): a server that limits connections, or a
  // user who disconnects, wants them gone. Each hears QUIT, unanswered (FtpEndPooledConnectionsA:
  // no window waits for a server's goodbye), or with awaitCloseMs awaited until the server
  // closes it (a login retried after "too many" must not meet them still counted). Returns how
  // many were ended.
  size_t Forget(const std::string& host, int port, DWORD awaitCloseMs = 0);
  size_t Size() const;

 private:
  struct Entry;
  ConnectionPool();
  void Sweep();
  static void SweeperLoop(ConnectionPool* pool);
  struct State;
  State* state_;  // never freed: the pool lives as long as the process
};

}  // namespace vel::net
