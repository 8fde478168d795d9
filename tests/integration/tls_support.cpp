#include "integration/tls_support.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "net/ftpnet.h"

using namespace vel::net;

namespace tlstest {

namespace {

std::string WindowsPath(const std::string& unix) {
  std::string win = "Z:" + unix;
  for (char& c : win)
    if (c == '/') c = '\\';
  return win;
}

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<u_short>(port));
  return a;
}

}  // namespace

std::string FixtureDir() {
  const char* dir = getenv("AFC_FTPD_TLS_DIR");
  return dir ? WindowsPath(dir) : std::string();
}

std::string FixtureText(const std::string& relative) {
  std::ifstream in(FixtureDir() + "\\" + relative, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string FakeReport(const std::string& prefix, size_t skip) {
  for (int i = 0; i < 60; ++i) {
    std::string log = FixtureText("fake.log");
    size_t seen = 0;
    for (size_t pos = 0; (pos = log.find(prefix, pos)) != std::string::npos; pos += prefix.size())
      if ((pos == 0 || log[pos - 1] == '\n') && seen++ == skip) return log.substr(pos, log.find('\n', pos) - pos);
    Sleep(50);
  }
  return std::string();
}

size_t FakeReportCount(const std::string& prefix) {
  std::string log = "\n" + FixtureText("fake.log");
  size_t n = 0;
  for (size_t pos = 0; (pos = log.find("\n" + prefix, pos)) != std::string::npos; ++pos) ++n;
  return n;
}

DWORD ConnectLoopback(Socket* socket, int port, DWORD timeoutMs) {
  EnsureWinsock();
  sockaddr_in a = Loopback(port);
  return socket->Connect(reinterpret_cast<sockaddr*>(&a), sizeof a, timeoutMs, nullptr);
}

bool WineUpTo(int major) {
  using Version = const char*(CDECL*)();
  auto version = reinterpret_cast<Version>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
  return version && atoi(version()) <= major;
}

int Port(const std::string& name) {
  std::istringstream in(FixtureText("tls_servers.txt"));
  std::string n;
  int port;
  while (in >> n >> port)
    if (n == name) return port;
  return 0;
}

bool TrustTestAuthority() {
  std::string der = FixtureText("certs\\ca.der");
  if (der.empty()) return false;
  HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
  if (!root) return false;
  std::vector<PCCERT_CONTEXT> old;
  for (PCCERT_CONTEXT c = nullptr;
       (c = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A, "AFC Test Authority", c));)
    old.push_back(CertDuplicateCertificateContext(c));
  for (PCCERT_CONTEXT c : old) CertDeleteCertificateFromStore(c);  // frees c
  BOOL ok = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                             static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  // Written to the registry now: Wine (8.0) keeps a deletion's store open behind CertCloseStore,
  // so that without the commit neither the deletion nor the new authority reaches the registry,
  // and the chain engine, which reads the Root store from there, would not trust the authority
  // of any fixture run but a prefix's first.
  ok = ok && CertControlStore(root, 0, CERT_STORE_CTRL_COMMIT, nullptr);
  CertCloseStore(root, 0);
  return ok;
}

FtpTlsClient::FtpTlsClient(std::string target, DWORD timeoutMs) : target_(std::move(target)), timeoutMs_(timeoutMs) {
  EnsureWinsock();
}

FtpTlsClient::~FtpTlsClient() {
  if (control_) control_->Finish(1000, nullptr);
}

DWORD FtpTlsClient::Send(const std::string& line) {
  sent.push_back(line);
  if (authAsked_ && !control_) plainAfterAuth = true;
  std::string wire = line + "\r\n";
  if (control_) return control_->Send(wire.data(), wire.size(), timeoutMs_, nullptr);
  return socket_.SendAll(wire.data(), wire.size(), timeoutMs_, nullptr);
}

DWORD FtpTlsClient::ReadReply(FtpReply* reply) {
  for (;;) {
    if (inPos_ < in_.size()) {
      size_t used = 0;
      auto st = reader_.Feed(in_.data() + inPos_, in_.size() - inPos_, &used);
      inPos_ += used;
      if (st == ReplyReader::Status::Done) {
        *reply = reader_.Reply();
        return 0;
      }
      if (st == ReplyReader::Status::Bad) return ERROR_INTERNET_INTERNAL_ERROR;
    }
    in_.assign(16384, '\0');
    inPos_ = 0;
    size_t got = 0;
    DWORD e = control_ ? control_->Recv(in_.data(), in_.size(), &got, timeoutMs_, nullptr)
                       : socket_.Recv(in_.data(), in_.size(), &got, timeoutMs_, nullptr);
    in_.resize(got);
    if (e) return e;
    if (got == 0) return ERROR_FTP_DROPPED;
  }
}

std::string FtpTlsClient::TakeBuffered() {
  std::string rest = in_.substr(inPos_);
  in_.clear();
  inPos_ = 0;
  return rest;
}

DWORD FtpTlsClient::Command(const std::string& line, FtpReply* reply) {
  if (DWORD e = Send(line)) return e;
  return ReadReply(reply);
}

DWORD FtpTlsClient::Open(int port, bool implicit) {
  if (DWORD e = ConnectLoopback(&socket_, port, timeoutMs_)) return e;
  FtpReply r;
  if (!implicit) {
    if (DWORD e = ReadReply(&r)) return e;
    greeting = r.text;
    if (DWORD e = Command("AUTH TLS", &r)) return e;
    authAsked_ = true;
    if (r.code != 234) return ERROR_INTERNET_EXTENDED_ERROR;
    if (inPos_ < in_.size()) return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;  // plain text behind the 234
  }
  if (DWORD e = TlsCredentials::Acquire(&credentials_)) return e;
  control_ = std::make_unique<TlsChannel>(std::move(socket_), credentials_, target_);
  if (DWORD e = control_->Handshake(timeoutMs_, nullptr)) return e;
  if (implicit) {
    if (DWORD e = ReadReply(&r)) return e;
    greeting = r.text;
  }
  return 0;
}

CertificateVerdict FtpTlsClient::Verdict() const {
  PCCERT_CONTEXT cert = control_ ? control_->PeerCertificate() : nullptr;
  CertificateVerdict v = CheckServerCertificate(cert, target_);
  if (cert) CertFreeCertificateContext(cert);
  return v;
}

DWORD FtpTlsClient::Login() {
  FtpReply r;
  const char* steps[][2] = {{"PBSZ 0", "2"}, {"PROT P", "2"}, {"USER veluser", "3"}, {"PASS velpass", "2"}};
  for (auto& step : steps) {
    if (DWORD e = Command(step[0], &r)) return e;
    if (r.code / 100 != step[1][0] - '0') return ERROR_INTERNET_LOGIN_FAILURE;
  }
  return 0;
}

DWORD FtpTlsClient::OpenData(bool passive, Socket* listener, Socket* data) {
  FtpReply r;
  if (passive) {
    if (DWORD e = Command("PASV", &r)) return e;
    uint8_t addr[4];
    uint16_t port;
    if (r.code != 227 || !ParsePasv(r.text, addr, &port)) return ERROR_FTP_NO_PASSIVE_MODE;
    sockaddr_in a = Loopback(port);
    return data->Connect(reinterpret_cast<sockaddr*>(&a), sizeof a, timeoutMs_, nullptr);
  }
  sockaddr_in a = Loopback(0);
  if (DWORD e = listener->Listen(reinterpret_cast<sockaddr*>(&a), sizeof a)) return e;
  sockaddr_storage local{};
  listener->LocalAddress(&local);
  int port = ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
  if (DWORD e = Command("PORT 127,0,0,1," + std::to_string(port >> 8) + "," + std::to_string(port & 255), &r))
    return e;
  return r.code == 200 ? 0 : ERROR_INTERNET_EXTENDED_ERROR;
}

DWORD FtpTlsClient::Run(bool passive, const std::string& command, const std::string* upload, Transfer* out) {
  Socket listener, data;
  if (DWORD e = OpenData(passive, &listener, &data)) return e;
  if (DWORD e = Command(command, &out->preliminary)) return e;
  if (out->preliminary.code >= 200) {  // refused (or nothing to move)
    out->final = out->preliminary;
    return 0;
  }
  if (!passive) {
    if (DWORD e = listener.Accept(&data, timeoutMs_, nullptr)) return e;
  }
  TlsChannel channel(std::move(data), credentials_, target_);
  out->dataError = channel.Handshake(timeoutMs_, nullptr);
  if (!out->dataError) {
    out->data = channel.Info();
    PCCERT_CONTEXT mine = channel.PeerCertificate(), control = control_->PeerCertificate();
    out->sameCertificate = SameCertificate(mine, control);
    if (mine) CertFreeCertificateContext(mine);
    if (control) CertFreeCertificateContext(control);
    if (upload) {
      out->dataError = channel.Send(upload->data(), upload->size(), timeoutMs_, nullptr);
    } else {
      std::string block(65536, '\0');
      for (;;) {
        size_t got = 0;
        out->dataError = channel.Recv(block.data(), block.size(), &got, timeoutMs_, nullptr);
        if (out->dataError || got == 0) break;
        out->received.append(block.data(), got);
      }
      out->endedCleanly = channel.EndedInOrder();
    }
  }
  DWORD closed = channel.Finish(timeoutMs_, nullptr);
  if (!out->dataError) out->dataError = closed;
  return ReadReply(&out->final);
}

void FtpTlsClient::Quit() {
  FtpReply r;
  Command("QUIT", &r);
  if (control_) control_->Finish(timeoutMs_, nullptr);
  control_.reset();
}

}  // namespace tlstest
