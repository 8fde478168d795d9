// The platform's ceiling for FTP over explicit TLS under this Wine: a minimal Secure Channel
// client that moves one file each way with as little work of its own as an SSPI program can
// do, so that bench/ftp_tls_transfer.sh can show the FTP library's speed as a share of what the
// platform allows.
//
// It speaks the fewest commands (AUTH TLS, USER, PASS, PBSZ 0, PROT P, TYPE I, PASV, RETR or
// STOR) over blocking Winsock sockets, takes any certificate (the library's checks are not
// what is measured) and on the data connection:
//   download: reads as much as the socket holds into one buffer, decrypts every whole record in
//             place (the header is checked first, so the platform never sees a partial record)
//             and drops the plaintext, as curl writing to /dev/null does; only the tail of a
//             record cut by the read is moved to the front;
//   upload:   copies the data once into records laid out header|data|trailer in one buffer,
//             encrypts each in place with the largest message the platform takes, and sends
//             64 records per socket call.
// Times run from PASV to the final reply, as the library's FtpGetFileA/FtpPutFileA run.
// Prints "ceiling download_s T", "ceiling upload_s T" and their CPU seconds, medians of
// AFC_BENCH_RUNS (default 1) transfers each.
// Usage (the script does this): AFC_FTPD_TLS_DIR=<fixture folder> tls_ceiling.exe
#define SECURITY_WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <schannel.h>
#include <security.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_clock.h"

namespace {

constexpr size_t kReadBuffer = 1 << 20;
constexpr size_t kBatchRecords = 64;
constexpr unsigned char kAlertRecord = 21;

[[noreturn]] void Die(const char* what, long code) {
  printf("tls_ceiling: %s failed (%ld)\n", what, code);
  exit(1);
}

size_t RecordLength(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return 5 + ((static_cast<size_t>(u[3]) << 8) | u[4]);
}

CredHandle g_cred;

SOCKET ConnectTo(int port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) Die("connect", WSAGetLastError());
  DWORD timeout = 30000;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  return s;
}

void SendAll(SOCKET s, const char* p, size_t n) {
  while (n > 0) {
    int sent = send(s, p, static_cast<int>(std::min<size_t>(n, 1 << 30)), 0);
    if (sent <= 0) Die("send", WSAGetLastError());
    p += sent;
    n -= static_cast<size_t>(sent);
  }
}

// One TLS connection: the socket, the context and the received bytes not yet decrypted
// (in[0 .. held)).
struct Channel {
  SOCKET s = INVALID_SOCKET;
  CtxtHandle ctx{};
  SecPkgContext_StreamSizes sizes{};
  std::vector<char> in = std::vector<char>(kReadBuffer + 32768);
  size_t held = 0;
  bool closed = false;  // the server's close_notify came

  // Reads what the socket has behind the held bytes; false at the end of the connection.
  bool Fill() {
    int r = recv(s, in.data() + held, static_cast<int>(in.size() - held), 0);
    if (r < 0) Die("recv", WSAGetLastError());
    held += static_cast<size_t>(r);
    return r > 0;
  }

  void Handshake(const char* target) {
    const unsigned long want = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                               ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;
    unsigned long got = 0;
    bool first = true;
    for (;;) {
      SecBuffer inb[2] = {{static_cast<unsigned long>(held), SECBUFFER_TOKEN, in.data()}, {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inb};
      SecBuffer outb{0, SECBUFFER_TOKEN, nullptr};
      SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outb};
      SECURITY_STATUS st = InitializeSecurityContextA(&g_cred, first ? nullptr : &ctx, const_cast<char*>(target), want,
                                                      0, 0, first ? nullptr : &inDesc, 0, &ctx, &outDesc, &got, nullptr);
      first = false;
      if (outb.pvBuffer) {
        SendAll(s, static_cast<char*>(outb.pvBuffer), outb.cbBuffer);
        FreeContextBuffer(outb.pvBuffer);
      }
      if (st == SEC_E_INCOMPLETE_MESSAGE) {
        if (!Fill()) Die("handshake read", 0);
        continue;
      }
      if (st != SEC_E_OK && st != SEC_I_CONTINUE_NEEDED) Die("handshake", st);
      size_t extra = inb[1].BufferType == SECBUFFER_EXTRA ? inb[1].cbBuffer : 0;
      memmove(in.data(), in.data() + held - extra, extra);
      held = extra;
      if (st == SEC_E_OK) break;
      if (held == 0 && !Fill()) Die("handshake read", 0);
    }
    if (QueryContextAttributesA(&ctx, SECPKG_ATTR_STREAM_SIZES, &sizes) != SEC_E_OK) Die("stream sizes", 0);
  }

  // Decrypts every whole record held, in place; each record's plaintext goes to take(p, n).
  // The tail of a record not yet complete is moved to the front.
  template <class Take>
  void DecryptHeld(Take take) {
    size_t pos = 0;
    while (!closed && held - pos >= 5 && held - pos >= RecordLength(in.data() + pos)) {
      const size_t len = RecordLength(in.data() + pos);
      const bool alert = static_cast<unsigned char>(in[pos]) == kAlertRecord;
      SecBuffer b[4] = {{static_cast<unsigned long>(len), SECBUFFER_DATA, in.data() + pos},
                        {0, SECBUFFER_EMPTY, nullptr}, {0, SECBUFFER_EMPTY, nullptr}, {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
      SECURITY_STATUS st = DecryptMessage(&ctx, &desc, 0, nullptr);
      if (st != SEC_E_OK && st != SEC_I_CONTEXT_EXPIRED) Die("decrypt", st);
      size_t plain = 0;
      for (auto& x : b)
        if (x.BufferType == SECBUFFER_DATA && x.cbBuffer) {
          take(static_cast<const char*>(x.pvBuffer), x.cbBuffer);
          plain = x.cbBuffer;
        }
      // Wine's Secure Channel reports close_notify as an empty record, not as CONTEXT_EXPIRED.
      if (st == SEC_I_CONTEXT_EXPIRED || (alert && plain == 0)) closed = true;
      pos += len;
    }
    memmove(in.data(), in.data() + pos, held - pos);
    held -= pos;
  }

  // Encrypts n bytes (at most kBatchRecords records) into out and sends them in one call.
  void Send(const char* p, size_t n, std::vector<char>* out) {
    const size_t h = sizes.cbHeader, t = sizes.cbTrailer, most = sizes.cbMaximumMessage;
    out->resize(kBatchRecords * (h + most + t));
    size_t used = 0;
    while (n > 0) {
      const size_t len = std::min(n, most);
      char* base = out->data() + used;
      memcpy(base + h, p, len);
      SecBuffer b[4] = {{static_cast<unsigned long>(h), SECBUFFER_STREAM_HEADER, base},
                        {static_cast<unsigned long>(len), SECBUFFER_DATA, base + h},
                        {static_cast<unsigned long>(t), SECBUFFER_STREAM_TRAILER, base + h + len},
                        {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
      SECURITY_STATUS st = EncryptMessage(&ctx, 0, &desc, 0);
      if (st != SEC_E_OK) Die("encrypt", st);
      used += b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer;  // GCM: the trailer is as announced
      p += len;
      n -= len;
    }
    SendAll(s, out->data(), used);
  }

  void SendCloseNotify() {
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
    ApplyControlToken(&ctx, &controlDesc);
    SecBuffer outb{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outb};
    unsigned long got = 0;
    InitializeSecurityContextA(&g_cred, &ctx, nullptr, ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM, 0, 0, nullptr, 0,
                               nullptr, &outDesc, &got, nullptr);
    if (outb.pvBuffer) {
      SendAll(s, static_cast<char*>(outb.pvBuffer), outb.cbBuffer);
      FreeContextBuffer(outb.pvBuffer);
    }
  }

  void Close() {
    DeleteSecurityContext(&ctx);
    closesocket(s);
  }
};

// The control connection: plain until AUTH TLS, then through its channel.
struct Control {
  Channel ch;
  bool tls = false;
  std::string text;  // received plaintext not yet taken as replies
  std::vector<char> out;

  void Command(const std::string& line) {
    std::string l = line + "\r\n";
    if (tls)
      ch.Send(l.data(), l.size(), &out);
    else
      SendAll(ch.s, l.data(), l.size());
  }

  // The next complete reply; its code.
  int Reply(std::string* whole = nullptr) {
    for (;;) {
      size_t start = 0;
      for (size_t eol; (eol = text.find('\n', start)) != std::string::npos; start = eol + 1) {
        if (eol - start >= 4 && text[start + 3] == ' ' && isdigit(static_cast<unsigned char>(text[start]))) {
          if (whole) *whole = text.substr(0, eol + 1);
          int code = atoi(text.substr(start, 3).c_str());
          text.erase(0, eol + 1);
          return code;
        }
      }
      if (!ch.Fill()) Die("control connection ended", 0);
      if (!tls) {
        text.append(ch.in.data(), ch.held);
        ch.held = 0;
      } else {
        ch.DecryptHeld([this](const char* p, size_t n) { text.append(p, n); });
      }
    }
  }

  void Expect(const std::string& line, int code) {
    Command(line);
    int got = Reply();
    if (got != code) Die(line.c_str(), got);
  }
};

int PassivePort(Control* c) {
  c->Command("PASV");
  std::string r;
  if (c->Reply(&r) != 227) Die("PASV", 0);
  unsigned h1, h2, h3, h4, p1, p2;
  size_t open = r.find('(');
  if (open == std::string::npos || sscanf(r.c_str() + open, "(%u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1, &p2) != 6)
    Die("PASV reply", 0);
  return static_cast<int>(p1 * 256 + p2);
}

Channel OpenData(Control* c, const std::string& command, const char* target) {
  Channel d;
  d.s = ConnectTo(PassivePort(c));
  c->Command(command);
  int code = c->Reply();
  if (code != 150 && code != 125) Die(command.c_str(), code);
  d.Handshake(target);
  return d;
}

unsigned long long Download(Control* c, const std::string& name, const char* target) {
  Channel d = OpenData(c, "RETR " + name, target);
  unsigned long long bytes = 0;
  auto drop = [&bytes](const char*, size_t n) { bytes += n; };
  d.DecryptHeld(drop);
  while (!d.closed && d.Fill()) d.DecryptHeld(drop);
  if (!d.closed) Die("download without close_notify", 0);
  d.SendCloseNotify();
  d.Close();
  if (c->Reply() != 226) Die("RETR final reply", 0);
  return bytes;
}

void Upload(Control* c, const std::string& name, unsigned long long total, const char* target) {
  Channel d = OpenData(c, "STOR " + name, target);
  std::vector<char> source(d.sizes.cbMaximumMessage * kBatchRecords, 'x');
  std::vector<char> out;
  for (unsigned long long left = total; left > 0;) {
    size_t n = static_cast<size_t>(std::min<unsigned long long>(left, source.size()));
    d.Send(source.data(), n, &out);
    left -= n;
  }
  d.SendCloseNotify();
  shutdown(d.s, SD_SEND);
  while (d.Fill()) d.held = 0;  // the server's own close_notify, then its end
  d.Close();
  if (c->Reply() != 226) Die("STOR final reply", 0);
}

}  // namespace

int main() {
  const char* dir = getenv("AFC_FTPD_TLS_DIR");
  if (!dir) {
    printf("tls_ceiling: needs the TLS servers; run: bash bench/ftp_tls_transfer.sh\n");
    return 0;
  }
  std::string folder = std::string("Z:") + dir;
  std::replace(folder.begin(), folder.end(), '/', '\\');
  std::ifstream list(folder + "\\tls_servers.txt");
  std::string name;
  int port = 0, found = 0;
  while (list >> name >> port)
    if (name == "vsftpd-noreuse") found = port;
  if (!found) Die("finding vsftpd-noreuse", 0);
  const int runs = getenv("AFC_BENCH_RUNS") ? atoi(getenv("AFC_BENCH_RUNS")) : 1;
  const char* target = "127.0.0.1";

  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SCHANNEL_CRED cred{};
  cred.dwVersion = SCHANNEL_CRED_VERSION;
  cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  TimeStamp expiry;
  SECURITY_STATUS st = AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND,
                                                 nullptr, &cred, nullptr, nullptr, &g_cred, &expiry);
  if (st != SEC_E_OK) Die("credentials", st);

  Control c;
  c.ch.s = ConnectTo(found);
  if (c.Reply() != 220) Die("greeting", 0);
  c.Expect("AUTH TLS", 234);
  c.ch.Handshake(target);
  c.tls = true;
  c.Expect("USER veluser", 331);
  c.Expect("PASS velpass", 230);
  c.Expect("PBSZ 0", 200);
  c.Expect("PROT P", 200);
  c.Expect("TYPE I", 200);

  std::vector<double> down, up, downCpu, upCpu;
  unsigned long long size = 0;
  for (int i = 0; i < runs; ++i) {
    double t = BenchNow(), cpu = BenchCpuSeconds();
    size = Download(&c, "bench1g.bin", target);
    down.push_back(BenchNow() - t);
    downCpu.push_back(BenchCpuSeconds() - cpu);
  }
  for (int i = 0; i < runs; ++i) {
    double t = BenchNow(), cpu = BenchCpuSeconds();
    Upload(&c, "ceiling-up.bin", size, target);
    up.push_back(BenchNow() - t);
    upCpu.push_back(BenchCpuSeconds() - cpu);
  }
  c.Expect("DELE ceiling-up.bin", 250);
  c.Command("QUIT");
  printf("ceiling bytes %llu\n", size);
  printf("ceiling download_s %.3f\nceiling upload_s %.3f\n", BenchMedian(down), BenchMedian(up));
  printf("ceiling download_cpu_s %.3f\nceiling upload_cpu_s %.3f\n", BenchMedian(downCpu), BenchMedian(upCpu));
  return 0;
}
