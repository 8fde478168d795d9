// The FTP state machine. Step() performs the work of the current state (look-up, connect,
// data transfer, or one command and its reply); OnReply() is the transition table from a
// state and a reply to the next state; To() is the one place the state changes.
#include "net/ftp_engine.h"

#include <cstdio>
#include <cstring>

#include "net/ftp_ascii.h"
#include "net/ftp_resolve.h"
#include "net/ftpnet.h"
#include "net/tls_channel.h"

namespace vel::net {

namespace {

// Where a data connection goes: the control connection's peer, with the port the server named.
sockaddr_storage PeerWithPort(const Socket& ctrl, uint16_t port) {
  sockaddr_storage peer{};
  ctrl.PeerAddress(&peer);
  if (peer.ss_family == AF_INET6)
    reinterpret_cast<sockaddr_in6*>(&peer)->sin6_port = htons(port);
  else
    reinterpret_cast<sockaddr_in*>(&peer)->sin_port = htons(port);
  return peer;
}

// The path of a name in a listed directory ("" = the current one).
std::string Child(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// A listing's data, line by line into the parser.
// The form (MLSD or LIST) is read when data first comes: an MLSD the server refuses falls back
// to LIST before any data moves.
class ListingSink : public DataSink {
 public:
  ListingSink(ListingParser* parser, const bool* mlsd, NameWatch* watch)
      : parser_(parser), mlsd_(mlsd), watch_(watch) {}
  DWORD Write(const char* p, size_t n) override {
    if (!started_) parser_->SetMlsd(*mlsd_);
    started_ = true;
    splitter_.Feed(p, n, [this](std::string_view line) { Line(line); });
    return parser_->Overflow() ? ERROR_NOT_ENOUGH_MEMORY : 0;
  }
  void End() {
    if (!started_) parser_->SetMlsd(*mlsd_);
    splitter_.End([this](std::string_view line) { Line(line); });
    parser_->Finish();
  }

 private:
  void Line(std::string_view line) {
    if (watch_) watch_->Line(line);
    parser_->Line(line);
  }
  ListingParser* parser_;
  const bool* mlsd_;
  NameWatch* watch_;
  bool started_ = false;
  LineSplitter splitter_;
};

Today CurrentDate() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return Today{st.wYear, st.wMonth, st.wDay};
}

}  // namespace

#ifdef VEL_NET_TRACE
const char* StateName(int s) {
  static const char* const kNames[] = {"Idle", "Resolve", "Connect", "Greeting", "TlsAuth", "TlsHandshake",
                                       "User", "Pass", "Acct", "Pbsz", "Prot", "Feat",
                                       "Utf8On", "Ready", "Type", "Pasv", "Epsv", "Port", "Eprt", "XferCmd",
                                       "Data", "XferEnd", "Mkd", "Rmd", "Dele", "Rnfr", "Rnto", "Mlst", "Mdtm", "Size", "Rest",
                                       "Raw", "Stream", "XferCut", "Abor", "Noop", "NoopWait", "Pwd", "Cwd",
                                       "Quit", "Closed"};
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

FtpEngine::~FtpEngine() {
  if (controlCert_) CertFreeCertificateContext(controlCert_);
}

// A download the caller left while a TLS data connection still carries it. Cutting it under a
// server that is still writing makes some servers end the whole session (ProFTPD's TLS layer
// takes the broken pipe for a fatal error and disconnects), so the server is asked to stop
// first: ABOR, then the data is read and dropped until the server closes the data connection or
// kAborDrainMs pass. vsftpd reads no command during a transfer: it meets the cut, answers 426,
// then answers the ABOR. Either way two final replies come before the NOOP's.
void FtpEngine::DoAbor() {
  if (!SendCommand("ABOR")) return;
  DrainData(kAborDrainMs);
  data_->Close();
  data_.reset();
  extraStrays_ = 1;
  To(St::Noop);
}

void FtpEngine::DrainData(DWORD ms) {
  char dropped[16 * 1024];  // one TLS record's plaintext
  const DWORD start = GetTickCount();
  for (DWORD spent = 0; spent < ms; spent = GetTickCount() - start) {
    size_t got = 0;
    if (data_->Recv(dropped, sizeof dropped, &got, ms - spent, cancel_) || got == 0) return;
  }
}

void FtpEngine::Fail(DWORD err, bool fatal) {
  if (!error_) error_ = err;
  if (err && err == refused_) obs_->Reply(FtpReply{static_cast<int>(err), account_ + "\r\n"});
  refused_ = 0;
  data_.reset();
  listener_.Close();
  if (fatal || !ctrl_) {
    if (ctrl_) {
      obs_->Status(INTERNET_STATUS_CLOSING_CONNECTION, nullptr, 0);
      // After QUIT the session ends in order (a TLS control connection with its close_notify);
      // after a failure it is dropped.
      if (state_ == St::Quit) ctrl_->Finish(kQuitFinishMs, cancel_);
      ctrl_.reset();
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
  dataError_ = localError_ = 0;
  dataMoved_ = 0;
  fileMoved_ = 0;
  finalSeen_ = false;
  extraStrays_ = 0;
  dataTls_ = false;
  refused_ = 0;
  To(first);
  return Drive();
}

// Steps until the connection can take the next command, is gone, or hands a stream's data
// connection to the caller (the operation then goes on in EndStream).
DWORD FtpEngine::Drive() {
  while (state_ != St::Ready && state_ != St::Closed && state_ != St::Stream) Step();
  if (state_ != St::Stream) op_ = Op::None;
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
    case St::TlsHandshake:
      return DoTlsHandshake();
    case St::Abor:
      return DoAbor();
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
  } while (r.code < 200 && state_ != St::XferCmd && state_ != St::XferCut);
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
    case St::TlsAuth: return "AUTH TLS";
    case St::Pbsz: return "PBSZ 0";
    case St::Prot: return "PROT P";
    case St::Feat: return "FEAT";
    case St::Utf8On: return "OPTS UTF8 ON";
    case St::Type: return WantedType() == 'A' ? "TYPE A" : "TYPE I";
    case St::Size: return "SIZE " + arg1_;
    case St::Rest: return "REST " + restToSend_;
    case St::Raw: return arg1_;
    case St::Noop: return "NOOP";
    case St::Pwd: return "PWD";
    case St::Cwd: return "CWD " + arg1_;
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
        case Op::Retr: return "RETR " + arg1_;
        case Op::Stor: return "STOR " + arg1_;
        case Op::OpenRetr: return "RETR " + arg1_;
        case Op::OpenStor: return "STOR " + arg1_;
        case Op::OpenRaw: return arg1_;
        case Op::List:
          if (mlsd_) return arg1_.empty() ? "MLSD" : "MLSD " + arg1_;
          return arg1_.empty() ? "LIST" : "LIST " + arg1_;
        default: return std::string();
      }
    case St::Mkd: return "MKD " + arg1_;
    case St::Rmd: return "RMD " + arg1_;
    case St::Dele: return "DELE " + arg1_;
    case St::Rnfr: return "RNFR " + arg1_;
    case St::Rnto: return "RNTO " + arg2_;
    case St::Mlst: return "MLST " + arg1_;
    case St::Mdtm: return "MDTM " + arg1_;
    case St::Quit: return "QUIT";
    default: return std::string();  // Greeting, XferEnd: a reply without a command
  }
}

bool FtpEngine::SendCommand(const std::string& cmd) {
  std::string line = cmd + "\r\n";
  obs_->Status(INTERNET_STATUS_SENDING_REQUEST, nullptr, 0);
  DWORD e = ctrl_->Send(line.data(), line.size(), timeouts_.send, cancel_);
  if (e) {
    Fail(e, true);
    return false;
  }
  DWORD n = static_cast<DWORD>(line.size());
  obs_->Status(INTERNET_STATUS_REQUEST_SENT, &n, sizeof n);
  return true;
}

bool FtpEngine::ReadReply(FtpReply* r) {
  // The reply that ends a transfer is not announced: 40/41 during a transfer count data bytes
  // (a client adds them up as the transfer's progress).
  const bool announce = state_ != St::XferEnd;
  if (announce) obs_->Status(INTERNET_STATUS_RECEIVING_RESPONSE, nullptr, 0);
  // The reply's clock runs from its first byte, which may already be in hand.
  ctrlPace_.Reply(timeouts_.receive, inpos_ < inbuf_.size(), PaceNow());
  DWORD bytes = 0;
  for (;;) {
    if (inpos_ < inbuf_.size()) {
      size_t used = 0;
      auto st = reader_.Feed(inbuf_.data() + inpos_, inbuf_.size() - inpos_, &used);
      inpos_ += used;
      bytes += static_cast<DWORD>(used);
      if (st == ReplyReader::Status::Done) break;
      if (st == ReplyReader::Status::Bad) {
        ctrlPace_.Off();
        // A reply that never ends is the server's fault, not one of form: its start is kept
        // as the last response, and the connection (its end unknown) is given up.
        const bool endless = reader_.Overlong();
        if (endless) obs_->Reply(reader_.Reply());
        reader_.Reset();
        Fail(endless ? ERROR_FTP_DROPPED : ERROR_INTERNET_INTERNAL_ERROR, true);
        return false;
      }
    }
    inbuf_.resize(16384);
    inpos_ = 0;
    size_t got = 0;
    DWORD e = ctrl_->Recv(inbuf_.data(), inbuf_.size(), &got, timeouts_.receive, cancel_);
    inbuf_.resize(got);
    if (!e && got == 0) e = state_ == St::Quit ? 0 : ERROR_FTP_DROPPED;
    if (e || got == 0) {
      ctrlPace_.Off();
      if (state_ == St::Quit) {
        *r = FtpReply{221, std::string()};
        return true;
      }
      Fail(e, true);
      return false;
    }
  }
  ctrlPace_.Off();
  *r = reader_.Reply();
  obs_->Reply(*r);
  if (announce) obs_->Status(INTERNET_STATUS_RESPONSE_RECEIVED, &bytes, sizeof bytes);
  if (r->code == 421 && state_ != St::Quit) {  // the server is closing: whatever we were doing
    Fail(ERROR_INTERNET_EXTENDED_ERROR, true);
    return false;
  }
  return true;
}

DWORD FtpEngine::ReplyError(const FtpReply& r) const {
  if (op_ == Op::Raw || op_ == Op::OpenRaw) return ERROR_INTERNET_EXTENDED_ERROR;  // the caller's own line
  if (r.code == 530 || r.code == 532) {
    if (state_ == St::User) return ERROR_INTERNET_INCORRECT_USER_NAME;
    if (state_ == St::Acct || op_ == Op::Login) return ERROR_INTERNET_LOGIN_FAILURE;
  }
  // A refusal after the password may be the password, or the account barred, expired or
  // not allowed here ("530 Login incorrect", "550 Permission denied"): the login as a whole
  // failed, and the server's reply says how.
  if (state_ == St::Pass && r.code == 550) return ERROR_INTERNET_LOGIN_FAILURE;
  if (r.code == 425) return ERROR_INTERNET_CANNOT_CONNECT;
  if (r.code == 426) return ERROR_INTERNET_CONNECTION_ABORTED;
  return ERROR_INTERNET_EXTENDED_ERROR;
}

FtpEngine::St FtpEngine::DataChannelState() const {
  sockaddr_storage a{};
  ctrl_->Underlying().PeerAddress(&a);
  bool v6 = a.ss_family == AF_INET6;
  if (passive_) return v6 || epsv_ ? St::Epsv : St::Pasv;
  return v6 ? St::Eprt : St::Port;
}

// The next step before a transfer's data channel: its TYPE, and first its SIZE when asked.
FtpEngine::St FtpEngine::TransferStart() const {
  if (type_ != WantedType()) return St::Type;
  if (askSize_ && !sizeAsked_) return St::Size;
  return DataChannelState();
}

// SIZE gives the bytes the file holds only in binary type (vsftpd refuses it in ASCII type, and
// others would count converted line ends): a stream opened in ASCII asks it in binary first.
char FtpEngine::WantedType() const {
  if (askSize_ && !sizeAsked_) return 'I';
  return ascii_ ? 'A' : 'I';
}

// What the next transfer sends before its data channel: SIZE when asked, and the restart marker
// to send right before its command.
void FtpEngine::PlanTransfer(bool askSize, const std::string& restart) {
  askSize_ = askSize;
  sizeAsked_ = sizeKnown_ = false;
  size_ = 0;
  restToSend_ = restart;
}

void FtpEngine::OnReply(const FtpReply& r) {
  int c = r.code;
  bool ok = c >= 200 && c < 300;
  switch (state_) {
    case St::Greeting:
      if (!ok) return Fail(ERROR_INTERNET_EXTENDED_ERROR, true);
      return To(login_.security == FtpSecurity::Explicit ? St::TlsAuth : St::User);
    case St::TlsAuth:
      // Anything but 234 is a server that will not encrypt: the session ends here, and not a
      // byte more goes out in clear (no USER, no QUIT).
      if (c != 234) return Fail(ERROR_FTP_TLS_NOT_OFFERED, true);
      // A server that talks on in clear after agreeing (a man in the middle stripping TLS
      // would) gets no handshake.
      if (inpos_ < inbuf_.size()) return Fail(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, true);
      return To(St::TlsHandshake);
    case St::User:
      if (c == 230) return To(AfterLogin());
      if (c == 331) return To(St::Pass);
      if (c == 332) return To(St::Acct);
      return Fail(ReplyError(r), true);
    case St::Pass:
      if (c == 230 || c == 202) return To(AfterLogin());
      if (c == 332) return To(St::Acct);
      return Fail(ReplyError(r), true);
    case St::Acct:
      return ok ? To(AfterLogin()) : Fail(ReplyError(r), true);
    case St::Pbsz:
      return To(St::Prot);  // PROT decides; a server that needs no PBSZ may not know it
    case St::Prot:
      if (!ok) return Fail(ERROR_FTP_TLS_NOT_OFFERED, true);
      protectData_ = true;
      return To(St::Feat);
    case St::Feat:
      if (ok) {
        mlsd_ = HasFeature(r.text, "MLST") || HasFeature(r.text, "MLSD");
        mlst_ = HasFeature(r.text, "MLST");
        epsv_ = HasFeature(r.text, "EPSV");
        if (HasFeature(r.text, "UTF8")) return To(St::Utf8On);
      }
      return To(St::Ready);
    case St::Utf8On:
      utf8_ = ok;
      return To(St::Ready);
    case St::Type:
      if (!ok) return Fail(ReplyError(r), false);
      type_ = WantedType();
      return To(TransferStart());
    case St::Size:
      sizeAsked_ = true;
      sizeKnown_ = c == 213 && ParseSize(r.text, &size_);
      return To(TransferStart());
    case St::Rest:
      // A marker the server will not take must not be dropped silently: the transfer would
      // start at another offset than the caller's (or, for "REST 0", at the server's old one).
      return c == 350 ? To(St::XferCmd) : Fail(ReplyError(r), false);
    case St::Raw:
      return c < 400 ? To(St::Ready) : Fail(ERROR_INTERNET_EXTENDED_ERROR, false);
    case St::XferCut:
      // A preliminary reply after the cut is a server that ends the transfer without a final one
      // (ProFTPD instead answers a NOOP in the middle of a transfer, before its 426: it gets
      // none while its final reply may still come).
      return To(c < 200 ? St::Noop : St::Ready);
    case St::Noop:
      if (c == 200) return To(St::Ready);
      return To(St::NoopWait);
    case St::NoopWait:
      // More final replies before the NOOP's than the cut can explain: the replies are out of
      // step with the commands.
      if (c == 200) return To(St::Ready);
      if (extraStrays_-- > 0) return;
      return Fail(ERROR_FTP_DROPPED, true);
    case St::Pasv: {
      // The address in the reply is never used: a server must not point the data connection at
      // another host (RFC 2577), and one behind NAT names its private address. Only the port
      // counts; the data connection goes to the control connection's peer.
      uint8_t a[4];
      uint16_t port;
      if (c != 227 || !ParsePasv(r.text, a, &port)) {
        if (epsv_) return Fail(ERROR_FTP_NO_PASSIVE_MODE, false);  // EPSV was tried first
        return To(St::Epsv);
      }
      if (TooLowPort(port)) return;
      return ConnectPassive(PeerWithPort(ctrl_->Underlying(), port));
    }
    case St::Epsv: {
      uint16_t port;
      if (c != 229 || !ParseEpsv(r.text, &port)) {
        sockaddr_storage a{};
        ctrl_->Underlying().PeerAddress(&a);
        if (epsv_ && a.ss_family != AF_INET6) {  // listed but refused: PASV from now on
          epsv_ = false;
          return To(St::Pasv);
        }
        return Fail(ERROR_FTP_NO_PASSIVE_MODE, false);
      }
      if (TooLowPort(port)) return;
      return ConnectPassive(PeerWithPort(ctrl_->Underlying(), port));
    }
    case St::Port:
      if (ok) return To(AfterDataChannel());
      return To(St::Eprt);
    case St::Eprt:
      return ok ? To(AfterDataChannel()) : Fail(ReplyError(r), false);
    case St::XferCmd:
      if (op_ != Op::List) serverRest_ = false;  // RETR, STOR or the caller's command used any marker
      if (c < 200) return To(St::Data);
      if (ok) {
        finalSeen_ = true;  // nothing to move, or already moved: drain what the data side has
        return To(St::Data);
      }
      if (op_ == Op::List && mlsd_ && (c == 500 || c == 501 || c == 502 || c == 504)) {
        mlsd_ = false;  // advertised but refused: fall back to LIST
        data_.reset();
        listener_.Close();
        return To(DataChannelState());
      }
      return Fail(ReplyError(r), false);
    case St::XferEnd:
      if (localError_) return Fail(localError_, false);
      // The engine's own verdicts on the data connection say more than the server's complaint
      // about the connection they ended ("426 Connection closed").
      if (dataError_ == ERROR_INTERNET_TIMEOUT || dataError_ == ERROR_FTP_DATA_PEER_REFUSED)
        return Fail(dataError_, false);
      if (!ok) return Fail(DataRefused(c) ? ERROR_FTP_TLS_DATA_REFUSED : ReplyError(r), false);
      if (dataError_) return Fail(dataError_, false);
      return To(St::Ready);
    case St::Pwd:
      if (c == 257) pwd_ = QuotedPath(r.text);
      return To(St::Ready);
    case St::Cwd:
      if (!ok) error_ = ERROR_PATH_NOT_FOUND;  // a probe's "no"; not a failure of the session
      return To(St::Ready);
    case St::Mkd:
    case St::Rmd:
    case St::Dele:
    case St::Rnto:
      return ok ? To(St::Ready) : Fail(ReplyError(r), false);
    case St::Rnfr:
      return c == 350 ? To(St::Rnto) : Fail(ReplyError(r), false);
    case St::Mlst:
      lookReply_ = r;
      if (c == 500 || c == 502) mlst_ = false;  // listed but not known: the listing from now on
      return To(St::Ready);
    case St::Mdtm:
      lookReply_ = r;
      return To(St::Ready);
    case St::Quit:
      Fail(0, true);
      return;
    default:
      return Fail(ERROR_INTERNET_INTERNAL_ERROR, true);
  }
}

void FtpEngine::ConnectPassive(const sockaddr_storage& addr) {
  int len = addr.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  Socket s;
  DWORD e = s.Connect(reinterpret_cast<const sockaddr*>(&addr), len, timeouts_.connect, cancel_);
  if (e) return Fail(e == ERROR_INTERNET_OPERATION_CANCELLED ? e : ERROR_INTERNET_CANNOT_CONNECT, false);
  dataPace_.Off();  // its clock starts when the data begins to move
  s.SetPace(&dataPace_);
  data_ = std::make_unique<SocketStream>(std::move(s));
  To(AfterDataChannel());
}

// The library's own refusal of something the server asked for: the error, and the account of
// it that becomes the last response when the request fails with that error.
void FtpEngine::Refuse(DWORD err, const std::string& account) {
  refused_ = err;
  account_ = account;
}

// Whether a passive reply's port is privileged: a server must not turn the client against a
// system service on its own host (RFC 2577); the transfer fails and nothing is connected.
bool FtpEngine::TooLowPort(uint16_t port) {
  if (port >= 1024) return false;
  Refuse(ERROR_FTP_DATA_PORT_REFUSED, "Data port " + std::to_string(port) +
                                          " named by the server is privileged (below 1024); not connected.");
  Fail(ERROR_FTP_DATA_PORT_REFUSED, false);
  return true;
}

bool FtpEngine::PrepareListener() {
  sockaddr_storage local{};
  if (!ctrl_->Underlying().LocalAddress(&local)) return false;
  int len = local.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  return listener_.Listen(reinterpret_cast<sockaddr*>(&local), len) == 0;
}

// The look-up may hang in the resolver: it is waited for like a socket (ftp_resolve.h), so a
// close or the connect time-out ends this state at once, and a look-up given up says nothing.
void FtpEngine::DoResolve() {
  const std::string& host = login_.proxyHost.empty() ? login_.host : login_.proxyHost;
  int port = login_.proxyHost.empty() ? login_.port : login_.proxyPort;
  obs_->Status(INTERNET_STATUS_RESOLVING_NAME, const_cast<char*>(host.c_str()),
               static_cast<DWORD>(host.size() + 1));
  if (DWORD e = ResolveHost(host, port, timeouts_.connect, cancel_, &addrs_)) return Fail(e, true);
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
    Socket s;
    e = s.Connect(reinterpret_cast<const sockaddr*>(&a), len, timeouts_.connect, cancel_);
    if (!e) {
      ctrlPace_.Off();
      s.SetPace(&ctrlPace_);
      ctrl_ = std::make_unique<SocketStream>(std::move(s));
      obs_->Status(INTERNET_STATUS_CONNECTED_TO_SERVER, text.data(), static_cast<DWORD>(text.size() + 1));
      inbuf_.clear();
      inpos_ = 0;
      reader_.Reset();
      return To(login_.security == FtpSecurity::Implicit ? St::TlsHandshake : St::Greeting);
    }
    if (e == ERROR_INTERNET_OPERATION_CANCELLED) break;
  }
  Fail(e, true);
}

DWORD FtpEngine::MoveIn(DataSink* sink) {
  constexpr size_t kBuf = 1024 * 1024;
  std::string block;
  std::string converted;
  CrlfConverter crlf;
  const bool convert = ascii_ && op_ != Op::List;  // listing lines are split on LF anyway
  size_t pending = 0;  // bytes not yet reported by 41
  reportedAt_ = PaceNow();
  if (FileTransfer()) obs_->FileBytes(0);
  for (;;) {
    // Binary bytes are received where the sink will write them from, when it lends room.
    size_t room = 0;
    char* into = convert ? nullptr : sink->Lend(&room);
    if (!into) {
      if (block.empty()) block.resize(kBuf);
      into = block.data();
      room = kBuf;
    }
    size_t got = 0;
    DWORD e = data_->Recv(into, room, &got, timeouts_.receive, cancel_);
    if (e) return e;
    if (got == 0) break;
    dataPace_.Delivered(got, PaceNow());
    const char* p = into;
    size_t n = got;
    if (convert) {
      crlf.Convert(p, n, &converted);
      p = converted.data();
      n = converted.size();
    }
    if (DWORD w = sink->Write(p, n)) {
      localError_ = w;
      return w;
    }
    pending += got;
    dataMoved_ += got;
    fileMoved_ += n;
    if (ReportDue(pending)) ReportData(INTERNET_STATUS_RECEIVING_RESPONSE, &pending);
  }
  ReportData(INTERNET_STATUS_RECEIVING_RESPONSE, &pending);
  if (DWORD w = sink->Flush()) {  // the last writes behind the receive failed
    localError_ = w;
    return w;
  }
  return 0;
}

DWORD FtpEngine::MoveOut(DataSource* source) {
  constexpr size_t kBuf = 1024 * 1024;
  std::string block(kBuf, '\0');
  std::string converted;
  CrlfConverter crlf;
  size_t pending = 0;
  reportedAt_ = PaceNow();
  if (FileTransfer()) obs_->FileBytes(0);
  for (;;) {
    size_t got = 0;
    if (DWORD r = source->Read(block.data(), kBuf, &got)) {
      localError_ = r;
      return r;
    }
    if (got == 0) break;
    const char* p = block.data();
    size_t n = got;
    if (ascii_) {
      crlf.Convert(p, n, &converted);
      p = converted.data();
      n = converted.size();
    }
    if (DWORD e = data_->Send(p, n, timeouts_.send, cancel_)) return e;
    pending += n;
    dataMoved_ += n;
    fileMoved_ += got;
    if (ReportDue(pending)) ReportData(INTERNET_STATUS_SENDING_REQUEST, &pending);
  }
  ReportData(INTERNET_STATUS_SENDING_REQUEST, &pending);
  return 0;
}

// A report per kNotifyChunk, and at least one per kNotifyEveryMs while bytes move: a slow link
// (under 64 KiB in many seconds) still shows that it moves.
bool FtpEngine::ReportDue(size_t pending) const {
  return pending >= kNotifyChunk || (pending > 0 && PaceNow() - reportedAt_ >= kNotifyEveryMs);
}

// Data progress: the "busy" notification (sending 30 / receiving 40) followed by its "done"
// partner (31 / 41) carrying the bytes moved on the wire since the last report, then the file's
// bytes so far for an observer that asked for them. Nothing when none moved.
void FtpEngine::ReportData(DWORD busy_code, size_t* pending, bool file_bytes) {
  reportedAt_ = PaceNow();
  if (*pending == 0) return;
  DWORD bytes = static_cast<DWORD>(*pending);
  obs_->Status(busy_code, nullptr, 0);
  obs_->Status(busy_code + 1, &bytes, sizeof bytes);
  *pending = 0;
  if (file_bytes && FileTransfer()) obs_->FileBytes(fileMoved_);
}

void FtpEngine::DoData() {
  if (finalSeen_ && listener_.Valid()) {  // answered at once: no data connection will come
    listener_.Close();
    return To(St::Ready);
  }
  if (listener_.Valid()) {
    AcceptData();
    if (!data_) {
      if (dataError_ == ERROR_INTERNET_OPERATION_CANCELLED) return Fail(dataError_, true);
      if (finalSeen_) return Fail(dataError_, false);
      return To(St::XferEnd);
    }
  }
  // The TLS handshake of a data connection comes after the server's preliminary reply: servers
  // start their side of it when they have answered the transfer command. A transfer answered
  // at once with its final reply moved nothing: no server starts TLS on that connection.
  if (protectData_ && finalSeen_) {
    data_->Close();
    data_.reset();
    return To(St::Ready);
  }
  DWORD e = 0;
  if (protectData_) {  // the server's part of the handshake is held to a reply's limit
    dataPace_.Reply(timeouts_.receive, false, PaceNow());
    e = SecureData();
  }
  if (!e && StreamOp()) {
    // The caller moves the data at its own pace: only each single wait is limited.
    dataPace_.Off();
    return To(St::Stream);
  }
  dataPace_.Data(timeouts_.receive, PaceNow());
  if (!e) e = op_ == Op::Stor ? MoveOut(source_) : MoveIn(sink_);
  EndData(e);
}

// The data connection's end after its data moved (e == 0) or failed (e), then the final reply.
void FtpEngine::EndData(DWORD e) {
  // A TLS download must end with the server's close_notify: a bare end may be an attacker
  // cutting the data short while the server reports success.
  if (!e && !Upload() && !data_->EndedInOrder()) e = ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
  if (!e)
    e = data_->Finish(timeouts_.send, cancel_);  // an upload's end (close_notify) is part of its data
  else
    data_->Close();
  data_.reset();
  dataPace_.Off();
  if (e == ERROR_INTERNET_OPERATION_CANCELLED) return Fail(e, true);
  if (e) dataError_ = e;
  if (finalSeen_) return dataError_ ? Fail(dataError_, false) : To(St::Ready);
  To(St::XferEnd);
}

// The active-mode data connection: only one from the control connection's peer is taken (a
// stranger that reaches the port first would otherwise feed or read the file); on failure
// data_ stays empty and dataError_ says why.
void FtpEngine::AcceptData() {
  sockaddr_storage server{};
  ctrl_->Underlying().PeerAddress(&server);
  Socket s;
  std::string stranger;
  DWORD e = listener_.AcceptFrom(server, &s, timeouts_.connect, cancel_, &stranger);
  listener_.Close();
  if (!e) {
    dataPace_.Off();
    s.SetPace(&dataPace_);
    data_ = std::make_unique<SocketStream>(std::move(s));
    return;
  }
  if (e == ERROR_FTP_DATA_PEER_REFUSED)
    Refuse(e, "Data connection from " + stranger + " refused: not the server's address " +
                  AddressText(reinterpret_cast<const sockaddr*>(&server)) + ".");
  else if (e != ERROR_INTERNET_OPERATION_CANCELLED)
    e = ERROR_INTERNET_CANNOT_CONNECT;
  dataError_ = e;
}

// ---- FTP over TLS

FtpEngine::St FtpEngine::AfterLogin() const {
  return login_.security == FtpSecurity::None ? St::Feat : St::Pbsz;
}

// The control connection's handshake (after 234, or first thing for implicit TLS) and the
// verdict on the server's certificate, before anything of the login is sent.
void FtpEngine::DoTlsHandshake() {
  if (!tlsCredentials_) {
    if (DWORD e = TlsCredentials::Acquire(&tlsCredentials_)) return Fail(e, true);
  }
  // Until now the control connection is the plain socket stream DoConnect made.
  Socket plain = static_cast<SocketStream&>(*ctrl_).Release();
  auto channel = std::make_unique<TlsChannel>(std::move(plain), tlsCredentials_, tlsTarget_);
  TlsChannel& tls = *channel;
  ctrl_ = std::move(channel);
  // The server's part of the handshake is waited for like its replies.
  ctrlPace_.Reply(timeouts_.receive, false, PaceNow());
  DWORD e = tls.Handshake(timeouts_.receive, cancel_);
  ctrlPace_.Off();
  if (e) return Fail(e, true);
  if (DWORD e = JudgeCertificate(tls, true)) return Fail(e, true);
  securityText_ = tls.Info().Brief();
  inbuf_.clear();
  inpos_ = 0;
  reader_.Reset();
  To(login_.security == FtpSecurity::Implicit ? St::Greeting : St::User);
}

// 0 when the channel's certificate may be talked to: trusted by the platform for the target
// name, or accepted by the user for this server with no further problem; else the code of its
// first problem. The control connection's certificate is kept (ShownCertificate, and for the
// data connections); a data connection that shows that very certificate needs no new verdict.
DWORD FtpEngine::JudgeCertificate(const TlsChannel& channel, bool control) {
  PCCERT_CONTEXT cert = channel.PeerCertificate();
  if (!control && SameCertificate(cert, controlCert_)) {
    CertFreeCertificateContext(cert);
    return 0;
  }
  CertificateVerdict verdict = CheckServerCertificate(cert, tlsTarget_);
  DWORD e = verdict.error;
  if (e && TrustedCertificates().Trusted(trustName_, verdict)) e = 0;
  if (control) {
    shown_ = std::move(verdict);
    shownTrusted_ = shown_.error != 0 && e == 0;
    if (controlCert_) CertFreeCertificateContext(controlCert_);
    controlCert_ = cert;
  } else if (cert) {
    CertFreeCertificateContext(cert);
  }
  return e;
}

// Puts TLS on the data connection just opened; 0 or the error that ends it.
DWORD FtpEngine::SecureData() {
  Socket plain = static_cast<SocketStream&>(*data_).Release();
  auto channel = std::make_unique<TlsChannel>(std::move(plain), tlsCredentials_, tlsTarget_);
  TlsChannel& tls = *channel;
  data_ = std::move(channel);
  dataTls_ = true;
  if (DWORD e = tls.Handshake(timeouts_.receive, cancel_)) return e;
  return JudgeCertificate(tls, false);
}

// Whether a failed transfer's reply is the server turning down its encrypted data connection:
// 522 (RFC 4217), 425 or 426 after the data connection was made and its TLS begun, with no data
// moved. vsftpd (522) and ProFTPD (425, after a handshake that ends in order) answer so when the
// data connection does not resume the control connection's TLS session.
bool FtpEngine::DataRefused(int code) const {
  if (!protectData_ || !dataTls_ || dataMoved_ != 0) return false;
  return code == 522 || code == 425 || code == 426;
}

DWORD FtpEngine::Open(const LoginParams& p) {
  login_ = p;
  passive_ = p.passive;
  utf8_ = mlsd_ = mlst_ = epsv_ = false;
  folderLost_ = owedReply_ = false;
  type_ = 0;
  rest_.clear();
  serverRest_ = false;
  stream_ = StreamState::None;
  // TLS is spoken with whoever the control connection reaches: the server, or the proxy.
  const bool proxied = !p.proxyHost.empty();
  tlsTarget_ = proxied ? p.proxyHost : p.host;
  trustName_ = TrustServerName(tlsTarget_, proxied ? p.proxyPort : p.port);
  protectData_ = false;
  shown_ = CertificateVerdict{};
  shownTrusted_ = false;
  securityText_.clear();
  return Run(Op::Login, St::Resolve);
}

DWORD FtpEngine::List(const std::string& dir, std::vector<ListEntry>* out, NameWatch* watch) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  PlanTransfer(false, std::string());
  ListingParser parser(CurrentDate());
  ListingSink sink(&parser, &mlsd_, watch);
  arg1_ = dir;
  ascii_ = true;
  sink_ = &sink;
  DWORD e = Run(Op::List, TransferStart());
  sink_ = nullptr;
  if (e) return e;
  sink.End();
  if (parser.Overflow()) return ERROR_NOT_ENOUGH_MEMORY;
  lastFamily_ = parser.family();
  *out = parser.Take();
  // Servers that run "ls -l PATH" list a linked folder as the link itself: nothing usable came
  // for a named folder, so it is asked once more as "PATH/", which ls follows.
  if (out->empty() && !dir.empty() && dir.back() != '/') return List(dir + "/", out, watch);
  ResolveLinks(out);
  ProbeLinks(dir, out);
  return 0;
}

DWORD FtpEngine::Locate(const std::string& dir, const std::string& name, Presence* out) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  *out = Presence::Unknown;
  const std::string path = Child(dir, name);
  if (mlst_) {
    if (const DWORD e = Look(Op::Mlst, path)) return e;
    *out = PresenceOfMlst(lookReply_.code, lookReply_.text);
    if (*out != Presence::Unknown) return 0;
  }
  // The listing sets the type to ASCII; the next transfer sends its own TYPE when it differs.
  NameWatch watch(name);
  std::vector<ListEntry> entries;
  if (const DWORD e = List(dir, &entries, &watch)) return e;
  *out = PresenceInListing(entries, lastFamily_, watch);
  if (*out != Presence::Absent) return 0;
  if (const DWORD e = Look(Op::Mdtm, path)) return e;
  if (lookReply_.code == 213) *out = Presence::File;
  return 0;
}

// One MLST or MDTM whose reply is kept in lookReply_; an error only when the session ended.
DWORD FtpEngine::Look(Op op, const std::string& path) {
  arg1_ = path;
  lookReply_ = FtpReply{};
  const DWORD e = Run(op, op == Op::Mlst ? St::Mlst : St::Mdtm);
  return state_ == St::Ready ? 0 : (e ? e : ERROR_FTP_DROPPED);
}

// Links whose kind the listing left open: CWD into each (at most kMaxLinkProbes), and back to
// the directory PWD named. A link beyond the limit, or when PWD gives nothing to return to, is
// taken as a folder: a folder that is a file only lists as itself.
void FtpEngine::ProbeLinks(const std::string& dir, std::vector<ListEntry>* entries) {
  size_t probes = 0;
  bool havePwd = false;
  for (ListEntry& e : *entries) {
    if (!e.link || e.linkKnown) continue;
    e.dir = true;
    if (probes >= kMaxLinkProbes || state_ != St::Ready) continue;
    if (!havePwd) {
      pwd_.clear();
      Run(Op::Probe, St::Pwd);
      havePwd = true;
      if (pwd_.empty() || state_ != St::Ready) probes = kMaxLinkProbes;
      if (probes >= kMaxLinkProbes) continue;
    }
    ++probes;
    bool isDir = true;
    if (Probe(Child(dir, e.name), &isDir) == 0) e.dir = isDir;
  }
}

// One CWD probe; returns 0 when the answer is known (*isDir), else the session's error.
DWORD FtpEngine::Probe(const std::string& path, bool* isDir) {
  arg1_ = path;
  DWORD e = Run(Op::Probe, St::Cwd);
  if (state_ != St::Ready) return e ? e : ERROR_FTP_DROPPED;
  *isDir = e == 0;
  if (*isDir) {  // back where the listing's relative paths start
    arg1_ = pwd_;
    if (Run(Op::Probe, St::Cwd) != 0) folderLost_ = true;
  }
  return 0;
}

DWORD FtpEngine::Retrieve(const std::string& remote, bool ascii, DataSink* sink) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  if (RestartPending()) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  PlanTransfer(false, serverRest_ ? "0" : "");
  arg1_ = remote;
  ascii_ = ascii;
  sink_ = sink;
  DWORD e = Run(Op::Retr, TransferStart());
  sink_ = nullptr;
  return e;
}

DWORD FtpEngine::Store(const std::string& remote, bool ascii, DataSource* source) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  if (RestartPending()) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  PlanTransfer(false, serverRest_ ? "0" : "");
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

void FtpEngine::Abandon(DWORD awaitCloseMs) {
  if (state_ == St::Ready && ctrl_) {
    const std::string line = "QUIT\r\n";
    if (ctrl_->Send(line.data(), line.size(), 1000, cancel_) == 0 && awaitCloseMs) {
      // The 221 and whatever else comes are dropped; the end of the stream is the server's close.
      const DWORD start = GetTickCount();
      char drop[512];
      size_t got = 1;
      for (DWORD spent = 0; spent < awaitCloseMs && got; spent = GetTickCount() - start)
        if (ctrl_->Recv(drop, sizeof drop, &got, awaitCloseMs - spent, cancel_) != 0) break;
    }
  }
  data_.reset();
  ctrl_.reset();
  To(St::Closed);
}

void FtpEngine::Quit() {
  if (state_ == St::Ready) {
    Timeouts saved = timeouts_;
    if (timeouts_.receive > 5000) timeouts_.receive = 5000;  // a server slow to say goodbye
    Run(Op::Quit, St::Quit);
    timeouts_ = saved;
  }
  if (ctrl_) Fail(0, true);
  To(St::Closed);
}

// ---- Handing a session on (net/ftp_pool.h)

bool FtpEngine::Reusable() const {
  return state_ == St::Ready && ctrl_ && stream_ == StreamState::None && rest_.empty() && !folderLost_ &&
         !owedReply_ && inpos_ >= inbuf_.size();
}

void FtpEngine::TakeSession(FtpEngine& from) {
  if (ctrl_) Fail(0, true);
  login_ = std::move(from.login_);
  // A taken session never logs in again (a fresh login brings its own): no password is kept.
  SecureZeroMemory(login_.password.data(), login_.password.size());
  login_.password.clear();
  addrs_ = std::move(from.addrs_);
  ctrl_ = std::move(from.ctrl_);
  if (ctrl_) ctrl_->SetPace(&ctrlPace_);  // it counted in the other engine's pace
  ctrlPace_.Off();
  passive_ = from.passive_;
  utf8_ = from.utf8_;
  mlsd_ = from.mlsd_;
  mlst_ = from.mlst_;
  epsv_ = from.epsv_;
  type_ = from.type_;
  lastFamily_ = from.lastFamily_;
  serverRest_ = from.serverRest_;
  pwd_ = std::move(from.pwd_);
  rest_.clear();
  folderLost_ = owedReply_ = false;
  inbuf_.clear();
  inpos_ = 0;
  reader_.Reset();
  tlsCredentials_ = std::move(from.tlsCredentials_);
  tlsTarget_ = std::move(from.tlsTarget_);
  trustName_ = std::move(from.trustName_);
  if (controlCert_) CertFreeCertificateContext(controlCert_);
  controlCert_ = from.controlCert_;
  from.controlCert_ = nullptr;
  shown_ = std::move(from.shown_);
  shownTrusted_ = from.shownTrusted_;
  securityText_ = std::move(from.securityText_);
  protectData_ = from.protectData_;
  stream_ = StreamState::None;
  op_ = Op::None;
  error_ = 0;
  To(ctrl_ ? St::Ready : St::Closed);
  from.To(St::Closed);
}

DWORD FtpEngine::Revive(bool probe) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  // Anything the server said while the session was idle (a 421 before it hangs up, the end of
  // the connection) means it is gone.
  // Dropped without a word: the connect goes on with a fresh login, which reports for itself.
  auto drop = [this](DWORD e) {
    ctrl_.reset();
    To(St::Closed);
    return e;
  };
  if (!ctrl_->Underlying().Quiet()) return drop(ERROR_FTP_DROPPED);
  if (controlCert_) {
    CertificateVerdict verdict = CheckServerCertificate(controlCert_, tlsTarget_);
    DWORD e = verdict.error;
    if (e && TrustedCertificates().Trusted(trustName_, verdict)) e = 0;
    if (e) return drop(e);
  }
  if (!probe) return 0;
  // NOOP through the raw command path: a 2xx or 3xx answer keeps the session.
  const char keep = type_;
  DWORD e = Command("NOOP");
  type_ = keep;  // a NOOP changes no transfer type
  if (e || state_ != St::Ready) return drop(e ? e : ERROR_FTP_DROPPED);
  return 0;
}

}  // namespace vel::net
