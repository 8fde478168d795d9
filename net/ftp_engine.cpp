// The FTP state machine. Step() performs the work of the current state (look-up, connect,
// data transfer, or one command and its reply); OnReply() is the transition table from a
// state and a reply to the next state; To() is the one place the state changes.
#include "net/ftp_engine.h"

#include <cstdio>
#include <cstring>

#include "net/ftp_ascii.h"
#include "net/ftpnet.h"

namespace vel::net {

namespace {

bool Routable(const uint8_t a[4]) {
  return !(a[0] == 0 || a[0] >= 224);
}

std::string Convert(const std::string& in, UINT from, UINT to, bool strict) {
  if (in.empty()) return in;
  int wn = MultiByteToWideChar(from, strict ? MB_ERR_INVALID_CHARS : 0, in.data(),
                               static_cast<int>(in.size()), nullptr, 0);
  if (wn <= 0) return strict ? std::string() : in;
  std::wstring w(static_cast<size_t>(wn), L'\0');
  MultiByteToWideChar(from, strict ? MB_ERR_INVALID_CHARS : 0, in.data(), static_cast<int>(in.size()),
                      w.data(), wn);
  int n = WideCharToMultiByte(to, 0, w.data(), wn, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return in;
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(to, 0, w.data(), wn, out.data(), n, nullptr, nullptr);
  return out;
}

std::vector<std::string> SplitLines(const std::string& s) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < s.size()) {
    size_t end = s.find('\n', pos);
    if (end == std::string::npos) end = s.size();
    lines.emplace_back(s, pos, end - pos);
    pos = end + 1;
  }
  return lines;
}

Today CurrentDate() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return Today{st.wYear, st.wMonth, st.wDay};
}

}  // namespace

#ifdef VEL_NET_TRACE
const char* StateName(int s) {
  static const char* const kNames[] = {"Idle", "Resolve", "Connect", "Greeting", "User", "Pass", "Acct", "Feat",
                                       "Utf8On", "Ready", "Type", "Pasv", "Epsv", "Port", "Eprt", "XferCmd",
                                       "Data", "XferEnd", "Mkd", "Rmd", "Dele", "Rnfr", "Rnto", "Quit", "Closed"};
  return s >= 0 && s < static_cast<int>(sizeof kNames / sizeof kNames[0]) ? kNames[s] : "?";
}
#endif

// The one place the state changes (traced "from -> to" when built with VEL_NET_TRACE).
void FtpEngine::To(St next) {
#ifdef VEL_NET_TRACE
  char line[96];
  snprintf(line, sizeof line, "ftp: %s -> %s\n", StateName(static_cast<int>(state_)), StateName(static_cast<int>(next)));
  OutputDebugStringA(line);
#endif
  state_ = next;
}

void FtpEngine::Fail(DWORD err, bool fatal) {
  if (!error_) error_ = err;
  data_.Close();
  listener_.Close();
  if (fatal || !ctrl_.Valid()) {
    if (ctrl_.Valid()) {
      obs_->Status(INTERNET_STATUS_CLOSING_CONNECTION, nullptr, 0);
      ctrl_.Close();
      obs_->Status(INTERNET_STATUS_CONNECTION_CLOSED, nullptr, 0);
    }
    To(St::Closed);
  } else {
    To(St::Ready);
  }
}

DWORD FtpEngine::Run(Op op, St first) {
  op_ = op;
  error_ = 0;
  dataError_ = 0;
  finalSeen_ = false;
  To(first);
  while (state_ != St::Ready && state_ != St::Closed) Step();
  op_ = Op::None;
  return error_;
}

void FtpEngine::Step() {
  if (cancel_ && cancel_->load()) return Fail(ERROR_INTERNET_OPERATION_CANCELLED, true);
  switch (state_) {
    case St::Resolve:
      return DoResolve();
    case St::Connect:
      return DoConnect();
    case St::Data:
      return DoData();
    case St::Port:
    case St::Eprt:
      if (!listener_.Valid() && !PrepareListener()) return Fail(ERROR_INTERNET_CANNOT_CONNECT, false);
      break;
    default:
      break;
  }
  std::string cmd = CommandFor(state_);
  if (!cmd.empty() && !SendCommand(cmd)) return;
  FtpReply r;
  do {
    if (!ReadReply(&r)) return;
    // Preliminary replies matter only to a transfer command; elsewhere wait for the real one.
  } while (r.code < 200 && state_ != St::XferCmd);
  OnReply(r);
}

std::string FtpEngine::CommandFor(St s) const {
  switch (s) {
    case St::User:
      if (login_.proxyHost.empty()) return "USER " + login_.user;
      return "USER " + login_.user + "@" + login_.host +
             (login_.port != 21 ? ":" + std::to_string(login_.port) : std::string());
    case St::Pass: return "PASS " + login_.password;
    case St::Acct: return "ACCT " + login_.password;
    case St::Feat: return "FEAT";
    case St::Utf8On: return "OPTS UTF8 ON";
    case St::Type: return ascii_ ? "TYPE A" : "TYPE I";
    case St::Pasv: return "PASV";
    case St::Epsv: return "EPSV";
    case St::Port:
    case St::Eprt: {
      sockaddr_storage a{};
      listener_.LocalAddress(&a);
      if (s == St::Eprt) {
        int port = ntohs(a.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port
                                                 : reinterpret_cast<sockaddr_in*>(&a)->sin_port);
        return "EPRT |" + std::string(a.ss_family == AF_INET6 ? "2" : "1") + "|" +
               AddressText(reinterpret_cast<sockaddr*>(&a)) + "|" + std::to_string(port) + "|";
      }
      auto* in = reinterpret_cast<sockaddr_in*>(&a);
      const uint8_t* b = reinterpret_cast<const uint8_t*>(&in->sin_addr);
      int port = ntohs(in->sin_port);
      return "PORT " + std::to_string(b[0]) + "," + std::to_string(b[1]) + "," + std::to_string(b[2]) +
             "," + std::to_string(b[3]) + "," + std::to_string(port >> 8) + "," + std::to_string(port & 255);
    }
    case St::XferCmd:
      switch (op_) {
        case Op::Retr: return "RETR " + Wire(arg1_);
        case Op::Stor: return "STOR " + Wire(arg1_);
        case Op::List:
          if (mlsd_) return arg1_.empty() ? "MLSD" : "MLSD " + Wire(arg1_);
          return arg1_.empty() ? "LIST" : "LIST " + Wire(arg1_);
        default: return std::string();
      }
    case St::Mkd: return "MKD " + Wire(arg1_);
    case St::Rmd: return "RMD " + Wire(arg1_);
    case St::Dele: return "DELE " + Wire(arg1_);
    case St::Rnfr: return "RNFR " + Wire(arg1_);
    case St::Rnto: return "RNTO " + Wire(arg2_);
    case St::Quit: return "QUIT";
    default: return std::string();  // Greeting, XferEnd: a reply without a command
  }
}

std::string FtpEngine::Wire(const std::string& ansiName) const {
  return utf8_ ? Convert(ansiName, CP_ACP, CP_UTF8, false) : ansiName;
}

bool FtpEngine::SendCommand(const std::string& cmd) {
  std::string line = cmd + "\r\n";
  obs_->Status(INTERNET_STATUS_SENDING_REQUEST, nullptr, 0);
  DWORD e = ctrl_.SendAll(line.data(), line.size(), timeouts_.send, cancel_);
  if (e) {
    Fail(e, true);
    return false;
  }
  DWORD n = static_cast<DWORD>(line.size());
  obs_->Status(INTERNET_STATUS_REQUEST_SENT, &n, sizeof n);
  return true;
}

bool FtpEngine::ReadReply(FtpReply* r) {
  obs_->Status(INTERNET_STATUS_RECEIVING_RESPONSE, nullptr, 0);
  DWORD bytes = 0;
  for (;;) {
    if (inpos_ < inbuf_.size()) {
      size_t used = 0;
      auto st = reader_.Feed(inbuf_.data() + inpos_, inbuf_.size() - inpos_, &used);
      inpos_ += used;
      bytes += static_cast<DWORD>(used);
      if (st == ReplyReader::Status::Done) break;
      if (st == ReplyReader::Status::Bad) {
        reader_.Reset();
        Fail(ERROR_INTERNET_INTERNAL_ERROR, true);
        return false;
      }
    }
    inbuf_.resize(16384);
    inpos_ = 0;
    size_t got = 0;
    DWORD e = ctrl_.Recv(inbuf_.data(), inbuf_.size(), &got, timeouts_.receive, cancel_);
    inbuf_.resize(got);
    if (!e && got == 0) e = state_ == St::Quit ? 0 : ERROR_FTP_DROPPED;
    if (e || got == 0) {
      if (state_ == St::Quit) {
        *r = FtpReply{221, std::string()};
        return true;
      }
      Fail(e, true);
      return false;
    }
  }
  *r = reader_.Reply();
  obs_->Reply(*r);
  obs_->Status(INTERNET_STATUS_RESPONSE_RECEIVED, &bytes, sizeof bytes);
  if (r->code == 421 && state_ != St::Quit) {  // the server is closing: whatever we were doing
    Fail(ERROR_INTERNET_EXTENDED_ERROR, true);
    return false;
  }
  return true;
}

DWORD FtpEngine::ReplyError(const FtpReply& r) const {
  if (r.code == 530 || r.code == 532) {
    if (state_ == St::User) return ERROR_INTERNET_INCORRECT_USER_NAME;
    if (state_ == St::Pass) return ERROR_INTERNET_INCORRECT_PASSWORD;
    if (state_ == St::Acct || op_ == Op::Login) return ERROR_INTERNET_LOGIN_FAILURE;
  }
  if (r.code == 425) return ERROR_INTERNET_CANNOT_CONNECT;
  if (r.code == 426) return ERROR_INTERNET_CONNECTION_ABORTED;
  return ERROR_INTERNET_EXTENDED_ERROR;
}

FtpEngine::St FtpEngine::DataChannelState() const {
  sockaddr_storage a{};
  ctrl_.PeerAddress(&a);
  bool v6 = a.ss_family == AF_INET6;
  if (passive_) return v6 ? St::Epsv : St::Pasv;
  return v6 ? St::Eprt : St::Port;
}

FtpEngine::St FtpEngine::TransferStart() const {
  char want = ascii_ ? 'A' : 'I';
  return type_ == want ? DataChannelState() : St::Type;
}

void FtpEngine::OnReply(const FtpReply& r) {
  int c = r.code;
  bool ok = c >= 200 && c < 300;
  switch (state_) {
    case St::Greeting:
      return ok ? To(St::User) : Fail(ERROR_INTERNET_EXTENDED_ERROR, true);
    case St::User:
      if (c == 230) return To(St::Feat);
      if (c == 331) return To(St::Pass);
      if (c == 332) return To(St::Acct);
      return Fail(ReplyError(r), true);
    case St::Pass:
      if (c == 230 || c == 202) return To(St::Feat);
      if (c == 332) return To(St::Acct);
      return Fail(ReplyError(r), true);
    case St::Acct:
      return ok ? To(St::Feat) : Fail(ReplyError(r), true);
    case St::Feat:
      if (ok) {
        mlsd_ = HasFeature(r.text, "MLST") || HasFeature(r.text, "MLSD");
        if (HasFeature(r.text, "UTF8")) return To(St::Utf8On);
      }
      return To(St::Ready);
    case St::Utf8On:
      utf8_ = ok;
      return To(St::Ready);
    case St::Type:
      if (!ok) return Fail(ReplyError(r), false);
      type_ = ascii_ ? 'A' : 'I';
      return To(DataChannelState());
    case St::Pasv: {
      uint8_t a[4];
      uint16_t port;
      if (c != 227) return To(St::Epsv);
      if (!ParsePasv(r.text, a, &port)) return To(St::Epsv);
      sockaddr_storage peer{};
      ctrl_.PeerAddress(&peer);
      auto* in = reinterpret_cast<sockaddr_in*>(&peer);
      // An unroutable address (0.0.0.0, multicast) is a misconfigured server behind NAT: the
      // data connection goes to the address the control connection reached.
      if (Routable(a)) memcpy(&in->sin_addr, a, 4);
      in->sin_port = htons(port);
      return ConnectPassive(peer);
    }
    case St::Epsv: {
      uint16_t port;
      if (c != 229 || !ParseEpsv(r.text, &port)) return Fail(ERROR_FTP_NO_PASSIVE_MODE, false);
      sockaddr_storage peer{};
      ctrl_.PeerAddress(&peer);
      if (peer.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&peer)->sin6_port = htons(port);
      else
        reinterpret_cast<sockaddr_in*>(&peer)->sin_port = htons(port);
      return ConnectPassive(peer);
    }
    case St::Port:
      if (ok) return To(St::XferCmd);
      return To(St::Eprt);
    case St::Eprt:
      return ok ? To(St::XferCmd) : Fail(ReplyError(r), false);
    case St::XferCmd:
      if (c < 200) return To(St::Data);
      if (ok) {
        finalSeen_ = true;  // nothing to move, or already moved: drain what the data side has
        return To(St::Data);
      }
      if (op_ == Op::List && mlsd_ && (c == 500 || c == 501 || c == 502 || c == 504)) {
        mlsd_ = false;  // advertised but refused: fall back to LIST
        data_.Close();
        listener_.Close();
        return To(DataChannelState());
      }
      return Fail(ReplyError(r), false);
    case St::XferEnd:
      if (!ok) return Fail(ReplyError(r), false);
      if (dataError_) return Fail(dataError_, false);
      return To(St::Ready);
    case St::Mkd:
    case St::Rmd:
    case St::Dele:
    case St::Rnto:
      return ok ? To(St::Ready) : Fail(ReplyError(r), false);
    case St::Rnfr:
      return c == 350 ? To(St::Rnto) : Fail(ReplyError(r), false);
    case St::Quit:
      Fail(0, true);
      return;
    default:
      return Fail(ERROR_INTERNET_INTERNAL_ERROR, true);
  }
}

void FtpEngine::ConnectPassive(const sockaddr_storage& addr) {
  int len = addr.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  DWORD e = data_.Connect(reinterpret_cast<const sockaddr*>(&addr), len, timeouts_.connect, cancel_);
  if (e) return Fail(e == ERROR_INTERNET_OPERATION_CANCELLED ? e : ERROR_INTERNET_CANNOT_CONNECT, false);
  To(St::XferCmd);
}

bool FtpEngine::PrepareListener() {
  sockaddr_storage local{};
  if (!ctrl_.LocalAddress(&local)) return false;
  int len = local.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  return listener_.Listen(reinterpret_cast<sockaddr*>(&local), len) == 0;
}

void FtpEngine::DoResolve() {
  const std::string& host = login_.proxyHost.empty() ? login_.host : login_.proxyHost;
  int port = login_.proxyHost.empty() ? login_.port : login_.proxyPort;
  obs_->Status(INTERNET_STATUS_RESOLVING_NAME, const_cast<char*>(host.c_str()),
               static_cast<DWORD>(host.size() + 1));
  EnsureWinsock();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* res = nullptr;
  std::string service = std::to_string(port);
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &res) != 0 || !res)
    return Fail(ERROR_INTERNET_NAME_NOT_RESOLVED, true);
  addrs_.clear();
  for (addrinfo* a = res; a; a = a->ai_next) {
    if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
    sockaddr_storage s{};
    memcpy(&s, a->ai_addr, a->ai_addrlen);
    addrs_.push_back(s);
  }
  freeaddrinfo(res);
  if (addrs_.empty()) return Fail(ERROR_INTERNET_NAME_NOT_RESOLVED, true);
  std::string text = AddressText(reinterpret_cast<sockaddr*>(&addrs_[0]));
  obs_->Status(INTERNET_STATUS_NAME_RESOLVED, text.data(), static_cast<DWORD>(text.size() + 1));
  To(St::Connect);
}

void FtpEngine::DoConnect() {
  DWORD e = ERROR_INTERNET_CANNOT_CONNECT;
  for (const auto& a : addrs_) {
    std::string text = AddressText(reinterpret_cast<const sockaddr*>(&a));
    obs_->Status(INTERNET_STATUS_CONNECTING_TO_SERVER, text.data(), static_cast<DWORD>(text.size() + 1));
    int len = a.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    e = ctrl_.Connect(reinterpret_cast<const sockaddr*>(&a), len, timeouts_.connect, cancel_);
    if (!e) {
      obs_->Status(INTERNET_STATUS_CONNECTED_TO_SERVER, text.data(), static_cast<DWORD>(text.size() + 1));
      inbuf_.clear();
      inpos_ = 0;
      reader_.Reset();
      return To(St::Greeting);
    }
    if (e == ERROR_INTERNET_OPERATION_CANCELLED) break;
  }
  ctrl_.Close();
  Fail(e, true);
}

DWORD FtpEngine::MoveIn(DataSink* sink, std::string* buffer) {
  constexpr size_t kBuf = 256 * 1024;
  std::string block(kBuf, '\0');
  std::string converted;
  CrlfConverter crlf;
  size_t pending = 0;  // bytes not yet reported by 41
  for (;;) {
    size_t got = 0;
    DWORD e = data_.Recv(block.data(), kBuf, &got, timeouts_.receive, cancel_);
    if (e) return e;
    if (got == 0) break;
    if (sink) {
      const char* p = block.data();
      size_t n = got;
      if (ascii_) {
        crlf.Convert(p, n, &converted);
        p = converted.data();
        n = converted.size();
      }
      if (DWORD w = sink->Write(p, n)) return w;
    } else if (buffer->size() + got <= kMaxListingBytes) {
      buffer->append(block.data(), got);
    }
    pending += got;
    if (pending >= kNotifyChunk) ReportData(INTERNET_STATUS_RECEIVING_RESPONSE, &pending);
  }
  ReportData(INTERNET_STATUS_RECEIVING_RESPONSE, &pending);
  return 0;
}

DWORD FtpEngine::MoveOut(DataSource* source) {
  constexpr size_t kBuf = 1024 * 1024;
  std::string block(kBuf, '\0');
  std::string converted;
  CrlfConverter crlf;
  size_t pending = 0;
  for (;;) {
    size_t got = 0;
    if (DWORD r = source->Read(block.data(), kBuf, &got)) return r;
    if (got == 0) break;
    const char* p = block.data();
    size_t n = got;
    if (ascii_) {
      crlf.Convert(p, n, &converted);
      p = converted.data();
      n = converted.size();
    }
    if (DWORD e = data_.SendAll(p, n, timeouts_.send, cancel_)) return e;
    pending += n;
    if (pending >= kNotifyChunk) ReportData(INTERNET_STATUS_SENDING_REQUEST, &pending);
  }
  ReportData(INTERNET_STATUS_SENDING_REQUEST, &pending);
  return 0;
}

// Data progress: the "busy" notification (sending 30 / receiving 40) followed by its "done"
// partner (31 / 41) carrying the bytes moved since the last report. Nothing when none moved.
void FtpEngine::ReportData(DWORD busy_code, size_t* pending) {
  if (*pending == 0) return;
  DWORD bytes = static_cast<DWORD>(*pending);
  obs_->Status(busy_code, nullptr, 0);
  obs_->Status(busy_code + 1, &bytes, sizeof bytes);
  *pending = 0;
}

void FtpEngine::DoData() {
  if (finalSeen_ && listener_.Valid()) {  // answered at once: no data connection will come
    listener_.Close();
    return To(St::Ready);
  }
  if (listener_.Valid()) {
    DWORD e = listener_.Accept(&data_, timeouts_.connect, cancel_);
    listener_.Close();
    if (e) {
      dataError_ = e == ERROR_INTERNET_OPERATION_CANCELLED ? e : ERROR_INTERNET_CANNOT_CONNECT;
      if (e == ERROR_INTERNET_OPERATION_CANCELLED) return Fail(e, true);
      if (finalSeen_) return Fail(dataError_, false);
      return To(St::XferEnd);
    }
  }
  DWORD e = op_ == Op::Stor ? MoveOut(source_) : MoveIn(sink_, listing_);
  if (op_ == Op::Stor && !e) data_.ShutdownSend();
  data_.Close();
  if (e == ERROR_INTERNET_OPERATION_CANCELLED) return Fail(e, true);
  if (e) dataError_ = e;
  if (finalSeen_) return dataError_ ? Fail(dataError_, false) : To(St::Ready);
  To(St::XferEnd);
}

DWORD FtpEngine::Open(const LoginParams& p) {
  login_ = p;
  passive_ = p.passive;
  utf8_ = mlsd_ = false;
  type_ = 0;
  return Run(Op::Login, St::Resolve);
}

DWORD FtpEngine::List(const std::string& dir, std::vector<ListEntry>* out) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  std::string raw;
  arg1_ = dir;
  ascii_ = true;
  listing_ = &raw;
  sink_ = nullptr;
  DWORD e = Run(Op::List, TransferStart());
  listing_ = nullptr;
  if (e) return e;
  bool mlsd = mlsd_;
  Today today = CurrentDate();
  out->clear();
  for (std::string& line : SplitLines(raw)) {
    ListEntry entry;
    if (!(mlsd ? ParseMlsdLine(line, &entry) : ParseListLine(line, today, &entry))) continue;
    if (utf8_) {
      std::string ansi = Convert(entry.name, CP_UTF8, CP_ACP, true);
      if (!ansi.empty()) entry.name = ansi;  // not valid UTF-8: the bytes as they came
      if (!ValidEntryName(entry.name)) continue;
    }
    out->push_back(std::move(entry));
  }
  // A link whose target is a sibling (by name, or by MLSD's unique fact) takes its kind.
  for (ListEntry& e2 : *out) {
    if (!e2.link || e2.dir) continue;
    bool byName = !e2.target.empty() && e2.target.find('/') == std::string::npos;
    for (const ListEntry& other : *out) {
      if (other.link) continue;
      if ((byName && other.name == e2.target) || (!e2.unique.empty() && other.unique == e2.unique))
        e2.dir = other.dir;
    }
  }
  return 0;
}

DWORD FtpEngine::Retrieve(const std::string& remote, bool ascii, DataSink* sink) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  arg1_ = remote;
  ascii_ = ascii;
  sink_ = sink;
  DWORD e = Run(Op::Retr, TransferStart());
  sink_ = nullptr;
  return e;
}

DWORD FtpEngine::Store(const std::string& remote, bool ascii, DataSource* source) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  arg1_ = remote;
  ascii_ = ascii;
  source_ = source;
  DWORD e = Run(Op::Stor, TransferStart());
  source_ = nullptr;
  return e;
}

DWORD FtpEngine::MakeDir(const std::string& path) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  arg1_ = path;
  return Run(Op::Mkd, St::Mkd);
}

DWORD FtpEngine::RemoveDir(const std::string& path) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  arg1_ = path;
  return Run(Op::Rmd, St::Rmd);
}

DWORD FtpEngine::Delete(const std::string& path) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  arg1_ = path;
  return Run(Op::Dele, St::Dele);
}

DWORD FtpEngine::Rename(const std::string& from, const std::string& to) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  arg1_ = from;
  arg2_ = to;
  return Run(Op::Rename, St::Rnfr);
}

void FtpEngine::Quit() {
  if (state_ == St::Ready) {
    Timeouts saved = timeouts_;
    if (timeouts_.receive > 5000) timeouts_.receive = 5000;  // a server slow to say goodbye
    Run(Op::Quit, St::Quit);
    timeouts_ = saved;
  }
  if (ctrl_.Valid()) Fail(0, true);
  To(St::Closed);
}

}  // namespace vel::net
