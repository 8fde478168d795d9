#include "integration/fake_ftpd.h"

#include "net/ftpnet.h"

#include <cstdio>

namespace nettest {

std::vector<Step> LoginSteps() {
  return {{Step::Send, "", "220 fake ready\r\n"},
          {Step::Send, "USER", "331 password please\r\n"},
          {Step::Send, "PASS", "230 logged in\r\n"},
          {Step::Send, "FEAT", "211-Features:\r\n PASV\r\n211 End\r\n"}};
}

std::vector<Step> ListingSteps(const char* verb, const std::string& listing) {
  return {{Step::Send, "TYPE A", "200 ok\r\n"},
          {Step::Pasv, "PASV", ""},
          {Step::Send, verb, "150 list\r\n"},
          {Step::DataOut, "", listing},
          {Step::Send, "", "226 done\r\n"}};
}

namespace {

void SendAll(SOCKET s, const std::string& t) {
  size_t off = 0;
  while (off < t.size()) {
    int n = send(s, t.data() + off, static_cast<int>(t.size() - off), 0);
    if (n <= 0) return;
    off += static_cast<size_t>(n);
  }
}

SOCKET Listen(bool v6, int* port) {
  SOCKET s = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
  sockaddr_storage a{};
  int len;
  if (v6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&a);
    in6->sin6_family = AF_INET6;
    in6->sin6_addr = in6addr_loopback;
    len = sizeof *in6;
  } else {
    auto* in = reinterpret_cast<sockaddr_in*>(&a);
    in->sin_family = AF_INET;
    in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    len = sizeof *in;
  }
  if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(s, 4) != 0) {
    if (s != INVALID_SOCKET) closesocket(s);
    return INVALID_SOCKET;
  }
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  *port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port : reinterpret_cast<sockaddr_in*>(&a)->sin_port);
  return s;
}

// One byte every `ms`; false when the peer went away (closed its end) before the end.
bool Trickle(SOCKET s, const std::string& t, int ms) {
  for (char c : t) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval none{0, 0};
    char peek;
    if (select(0, &set, nullptr, nullptr, &none) > 0 && recv(s, &peek, 1, MSG_PEEK) <= 0) return false;
    if (send(s, &c, 1, 0) != 1) return false;
    Sleep(static_cast<DWORD>(ms));
  }
  return true;
}

// A connection to `to` from the given loopback address.
SOCKET ConnectFrom(const char* from, const sockaddr_in& to) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in me{};
  me.sin_family = AF_INET;
  inet_pton(AF_INET, from, &me.sin_addr);
  if (bind(s, reinterpret_cast<sockaddr*>(&me), sizeof me) != 0 ||
      connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

// Whether the peer closes the connection within 10 s (what it sends meanwhile is dropped).
bool ClosedByPeer(SOCKET s) {
  char buf[256];
  for (;;) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{10, 0};
    if (select(0, &set, nullptr, nullptr, &tv) <= 0) return false;
    if (recv(s, buf, sizeof buf, 0) <= 0) return true;
  }
}

// accept() with a limit, so a script that expects a connection never hangs the test.
SOCKET AcceptWithin(SOCKET l, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(l, &set);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  if (select(0, &set, nullptr, nullptr, &tv) <= 0) return INVALID_SOCKET;
  return accept(l, nullptr, nullptr);
}

}  // namespace

FakeFtpd::FakeFtpd(std::vector<Step> script, bool ipv6) : ipv6_(ipv6), script_(std::move(script)) {
  WSADATA d;
  WSAStartup(MAKEWORD(2, 2), &d);
  listen_ = Listen(ipv6, &port_);
  if (listen_ != INVALID_SOCKET) thread_ = std::thread([this] { Run(); });
}

FakeFtpd::~FakeFtpd() {
  Commands();
  if (listen_ != INVALID_SOCKET) closesocket(listen_);
}

std::vector<std::string> FakeFtpd::Commands() {
  if (thread_.joinable()) {
    // A script that holds the connection until the client goes would otherwise wait for the
    // library's pool to give up a connection the test closed.
    const std::string port = std::to_string(port_);
    FtpEndPooledConnectionsA(((ipv6_ ? "[::1]:" : "127.0.0.1:") + port).c_str(), 0);
    thread_.join();
  }
  return commands_;
}

bool FakeFtpd::ReadLine(std::string* line) {
  for (;;) {
    size_t lf = pending_.find('\n');
    if (lf != std::string::npos) {
      *line = pending_.substr(0, lf);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      pending_.erase(0, lf + 1);
      return true;
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(ctrl_, &set);
    timeval tv{10, 0};
    if (select(0, &set, nullptr, nullptr, &tv) <= 0) return false;
    char buf[4096];
    int n = recv(ctrl_, buf, sizeof buf, 0);
    if (n <= 0) return false;
    pending_.append(buf, static_cast<size_t>(n));
  }
}

// The client's data connection to the passive listener, which closes.
SOCKET FakeFtpd::TakeData() {
  SOCKET data = AcceptWithin(dataListen_, 15000);
  closesocket(dataListen_);
  dataListen_ = INVALID_SOCKET;
  return data;
}

void FakeFtpd::Run() {
  ctrl_ = AcceptWithin(listen_, 15000);
  if (ctrl_ == INVALID_SOCKET) return;
  SOCKET data = INVALID_SOCKET;
  for (const Step& st : script_) {
    if (!st.expect.empty()) {
      std::string line;
      if (!ReadLine(&line)) break;
      commands_.push_back(line);
      if (line.compare(0, st.expect.size(), st.expect) != 0) mismatch_ = true;
    }
    bool stop = false;
    switch (st.kind) {
      case Step::Send:
        SendAll(ctrl_, st.text);
        break;
      case Step::Pasv: {
        int dport = 0;
        dataListen_ = Listen(false, &dport);
        char buf[256];
        std::string fmt = st.text.empty() ? "227 Entering Passive Mode (127,0,0,1,%d,%d)\r\n" : st.text;
        snprintf(buf, sizeof buf, fmt.c_str(), dport >> 8, dport & 255);
        SendAll(ctrl_, buf);
        break;
      }
      case Step::Epsv: {
        int dport = 0;
        dataListen_ = Listen(false, &dport);
        SendAll(ctrl_, "229 Entering Extended Passive Mode (|||" + std::to_string(dport) + "|)\r\n");
        break;
      }
      case Step::DataOut:
      case Step::DataDrop:
      case Step::DataIn: {
        data = TakeData();
        if (data == INVALID_SOCKET) {
          stop = true;
          break;
        }
        if (st.kind == Step::DataIn) {
          char buf[65536];
          int n;
          while ((n = recv(data, buf, sizeof buf, 0)) > 0) dataIn_.append(buf, static_cast<size_t>(n));
        } else {
          SendAll(data, st.text);
        }
        if (st.kind == Step::DataDrop) {
          linger l{1, 0};  // reset instead of an orderly close
          setsockopt(data, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
        }
        closesocket(data);
        data = INVALID_SOCKET;
        break;
      }
      case Step::Silent: {
        char buf[256];
        fd_set set;
        FD_ZERO(&set);
        FD_SET(ctrl_, &set);
        timeval tv{15, 0};
        while (select(0, &set, nullptr, nullptr, &tv) > 0 && recv(ctrl_, buf, sizeof buf, 0) > 0) {
        }
        stop = true;
        break;
      }
      case Step::Close:
        stop = true;
        break;
      case Step::Trickle:
        if (!Trickle(ctrl_, st.text, st.ms)) trickleCut_ = stop = true;
        break;
      case Step::DataTrickle:
        data = TakeData();
        if (data == INVALID_SOCKET) {
          stop = true;
          break;
        }
        if (!Trickle(data, st.text, st.ms)) trickleCut_ = true;
        closesocket(data);
        data = INVALID_SOCKET;
        break;
      case Step::Port: {
        unsigned h[6] = {};
        const std::string& line = commands_.back();
        if (sscanf(line.c_str() + line.find(' ') + 1, "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &h[4], &h[5]) != 6)
          mismatch_ = true;
        active_.sin_family = AF_INET;
        active_.sin_addr.s_addr = htonl(h[0] << 24 | h[1] << 16 | h[2] << 8 | h[3]);
        active_.sin_port = htons(static_cast<u_short>(h[4] << 8 | h[5]));
        SendAll(ctrl_, "200 PORT command successful.\r\n");
        break;
      }
      case Step::ActiveOut:
      case Step::Stranger: {
        SOCKET a = ConnectFrom(st.kind == Step::Stranger ? "127.0.0.2" : "127.0.0.1", active_);
        if (a == INVALID_SOCKET) {
          stop = true;
          break;
        }
        SendAll(a, st.text);
        if (st.kind == Step::Stranger) strangerClosed_ = ClosedByPeer(a);
        closesocket(a);
        break;
      }
    }
    if (stop) break;
  }
  // Take what else the client says until it goes; answer its QUIT.
  for (;;) {
    std::string line;
    if (!ReadLine(&line)) break;
    commands_.push_back(line);
    if (line.compare(0, 4, "QUIT") == 0) {
      SendAll(ctrl_, "221 bye\r\n");
      break;
    }
  }
  closesocket(ctrl_);
  if (dataListen_ != INVALID_SOCKET) closesocket(dataListen_);
}

}  // namespace nettest
