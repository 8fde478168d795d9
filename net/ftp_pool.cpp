// The pool of logged-in control connections (net/ftp_pool.h).
#include "net/ftp_pool.h"

#include <bcrypt.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace vel::net {

namespace {

// A pooled session reports to nobody: its status and replies belong to no request.
class Silent : public EngineObserver {
 public:
  void Status(DWORD, const void*, DWORD) override {}
  void Reply(const FtpReply&) override {}
};
Silent g_silent;
const std::atomic<bool> g_never{false};

std::string PasswordDigest(const std::string& password) {
  static const std::string salt = [] {
    std::string s(16, '\0');
    BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(s.data()), static_cast<ULONG>(s.size()),
                    BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    return s;
  }();
  std::string digest(32, '\0');
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
            BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
            BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(salt.data())),
                           static_cast<ULONG>(salt.size()), 0) == 0 &&
            BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())),
                           static_cast<ULONG>(password.size()), 0) == 0 &&
            BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(digest.data()), 32, 0) == 0;
  if (hash) BCryptDestroyHash(hash);
  if (alg) BCryptCloseAlgorithmProvider(alg, 0);
  // Without a digest no two keys may match: a random value stands in.
  if (!ok) BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(digest.data()), 32, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  return digest;
}

}  // namespace

PoolKey PoolKeyFor(const LoginParams& p) {
  PoolKey k;
  k.host = p.host;
  k.port = p.port;
  k.user = p.user;
  k.secret = PasswordDigest(p.password);
  k.passive = p.passive;
  k.security = p.security;
  k.proxyHost = p.proxyHost;
  k.proxyPort = p.proxyHost.empty() ? 0 : p.proxyPort;
  return k;
}

struct ConnectionPool::Entry {
  PoolKey key;
  std::unique_ptr<FtpEngine> engine;
  FtpReply loginReply;
  DWORD since = 0;  // GetTickCount when pooled
};

struct ConnectionPool::State {
  mutable std::mutex m;
  std::condition_variable wake;
  std::vector<Entry> entries;  // oldest first
  bool sweeping = false;
};

ConnectionPool& ConnectionPool::Instance() {
  static ConnectionPool* pool = new ConnectionPool();  // never destroyed: see the header
  return *pool;
}

ConnectionPool::ConnectionPool() : state_(new State) {}

void ConnectionPool::Put(const PoolKey& key, FtpEngine& from, const FtpReply& loginReply) {
  Entry e;
  e.key = key;
  e.engine = std::make_unique<FtpEngine>(&g_silent, &g_never);
  e.engine->TakeSession(from);
  e.loginReply = loginReply;
  e.since = GetTickCount();
  std::vector<Entry> dropped;
  {
    std::lock_guard<std::mutex> lock(state_->m);
    state_->entries.push_back(std::move(e));
    while (state_->entries.size() > kMaxPooled) {
      dropped.push_back(std::move(state_->entries.front()));
      state_->entries.erase(state_->entries.begin());
    }
    if (!state_->sweeping) {
      state_->sweeping = true;
      std::thread(SweeperLoop, this).detach();
    }
  }
  state_->wake.notify_one();
}

bool ConnectionPool::Take(const PoolKey& key, FtpEngine& into, FtpReply* loginReply) {
  Entry found;
  const DWORD now = GetTickCount();
  {
    std::lock_guard<std::mutex> lock(state_->m);
    auto& all = state_->entries;
    // The most recently pooled one: the least likely to have been closed by the server.
    auto it = std::find_if(all.rbegin(), all.rend(), [&](const Entry& e) {
      return e.key == key && now - e.since < kMaxIdleMs;
    });
    if (it == all.rend()) return false;
    found = std::move(*it);
    all.erase(std::next(it).base());
  }
  into.TakeSession(*found.engine);
  if (into.Revive(now - found.since > kProbeAfterMs) != 0) return false;
  *loginReply = found.loginReply;
  return true;
}

size_t ConnectionPool::Forget(const std::string& host, int port, DWORD awaitCloseMs) {
  std::vector<Entry> gone;
  {
    std::lock_guard<std::mutex> lock(state_->m);
    auto& all = state_->entries;
    for (auto it = all.begin(); it != all.end();) {
      if (_stricmp(it->key.host.c_str(), host.c_str()) == 0 && it->key.port == port) {
        gone.push_back(std::move(*it));
        it = all.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (Entry& e : gone) e.engine->Abandon(awaitCloseMs);
  return gone.size();
}

size_t ConnectionPool::Size() const {
  std::lock_guard<std::mutex> lock(state_->m);
  return state_->entries.size();
}

// Closes what has waited kMaxIdleMs, without QUIT (the server may well have ended it already).
void ConnectionPool::Sweep() {
  std::vector<Entry> expired;
  {
    std::lock_guard<std::mutex> lock(state_->m);
    const DWORD now = GetTickCount();
    auto& all = state_->entries;
    for (auto it = all.begin(); it != all.end();) {
      if (now - it->since >= kMaxIdleMs) {
        expired.push_back(std::move(*it));
        it = all.erase(it);
      } else {
        ++it;
      }
    }
  }
}

void ConnectionPool::SweeperLoop(ConnectionPool* pool) {
  State& s = *pool->state_;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(s.m);
      DWORD wait = kMaxIdleMs;
      const DWORD now = GetTickCount();
      for (const Entry& e : s.entries) wait = std::min<DWORD>(wait, kMaxIdleMs - std::min<DWORD>(now - e.since, kMaxIdleMs));
      s.wake.wait_for(lock, std::chrono::milliseconds(wait + 50));
    }
    pool->Sweep();
  }
}

}  // namespace vel::net
