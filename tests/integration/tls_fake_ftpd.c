/* A scripted FTP-over-TLS server for the faults no real server produces (built and started by
 * ftpd_tls.sh on the host, with OpenSSL). One loopback listener per scenario; each connection
 * is served by a child process that plays the scenario once and ends (at the latest after
 * kChildSeconds). Prints "fake-<scenario> <port>" per scenario and then "ready" on stdout; the
 * outcome of the scenarios that judge the client ("closenotify") goes to stderr as
 * "<scenario>: <outcome>" lines.
 *
 *   garbage      explicit: 234 to AUTH TLS, then bytes that are no TLS record
 *   truncated    explicit: 234, then the first 100 bytes of a 16 KiB handshake record, then silence
 *   cut          explicit: 234, then part of a record and the connection closed
 *   plaintext    explicit: 234, then a plain-text reply instead of a handshake
 *   renegotiate  implicit TLS 1.2: "220", then a renegotiation request (HelloRequest)
 *   keyupdate    implicit TLS 1.3: "220", a KeyUpdate asking for the client's, then "230"
 *   longchain    implicit: a chain of 100 certificates
 *   closenotify  implicit: "220", then a close_notify; reports whether the client answered
 *                with its own close_notify or just dropped the connection
 *   upload       implicit: "220", then reads until the client ends the stream; reports the
 *                bytes and whether it ended with a close_notify
 *   drop         implicit: "220", 40000 bytes of data, then half a record and the end of the
 *                connection (a server dying in the middle of a transfer)
 *   eof          implicit: "220", 40000 bytes of data, then the end of the connection without a
 *                close_notify
 *   resume       implicit TLS 1.2 with session tickets (keys made once, so any connection can
 *                resume a session of an earlier one): reports what each ClientHello offered
 *                for resumption and whether the session was resumed
 *   ftpdrop      implicit: a small FTP session (login, PBSZ/PROT, EPSV/PASV, RETR over TLS)
 *                whose download sends 100000 bytes, then half a record, drops the data
 *                connection and still answers "226"
 *   ftpnonotify  the same, but the data connection just ends after the 100000 bytes, with no
 *                close_notify, and "226"
 *   ftpempty     the same session; a listing is answered "226" at once, with no preliminary
 *                reply and no TLS on the data connection (it had nothing to send)
 *   ftpswap      the same session, but its data connections show another certificate than
 *                the control connection (unknownca: for localhost, from an authority in no
 *                trust store); a download sends 100000 bytes, an upload is read to its end and
 *                reported as "ftpswap: upload N bytes"
 *   ftptrickle   the same session, whose greeting comes one byte (one record) a second
 *   ftpslowdata  the same session, whose download sends 20 bytes, one record a second, then
 *                "226"
 * The plaintext and garbage scenarios report "<scenario>: ClientHello, then N bytes" when the
 * client goes: what it sent after its first handshake record, once TLS had gone wrong (0 is
 * right: no command in clear).
 */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

enum { kChildSeconds = 30 };

static const char* certs;
static SSL_CTX* resume_ctx; /* made before the children are forked: they share its ticket keys */

static void write_all(int fd, const void* p, size_t n) {
  const char* c = p;
  while (n > 0) {
    ssize_t w = write(fd, c, n);
    if (w <= 0) return;
    c += w;
    n -= (size_t)w;
  }
}

static void say(int fd, const char* text) { write_all(fd, text, strlen(text)); }

/* Reads one plain-text command line; 0 at the end of the stream. */
static int read_line(int fd, char* buf, size_t cap) {
  size_t n = 0;
  while (n + 1 < cap) {
    char ch;
    if (read(fd, &ch, 1) != 1) return 0;
    if (ch == '\n') break;
    if (ch != '\r') buf[n++] = ch;
  }
  buf[n] = 0;
  return 1;
}

/* Waits until the client goes (or the child's alarm ends it). */
static void hold(int fd) {
  char buf[4096];
  while (read(fd, buf, sizeof buf) > 0) {
  }
}

static int explicit_start(int fd) {
  char line[512];
  say(fd, "220 fake TLS server\r\n");
  if (!read_line(fd, line, sizeof line)) return 0;
  if (strncasecmp(line, "AUTH TLS", 8) != 0) {
    say(fd, "500 expected AUTH TLS\r\n");
    return 0;
  }
  say(fd, "234 Proceed with negotiation.\r\n");
  return 1;
}

static SSL_CTX* make_ctx(const char* cert, const char* key, int minv, int maxv) {
  char cpath[512], kpath[512];
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  snprintf(cpath, sizeof cpath, "%s/%s", certs, cert);
  snprintf(kpath, sizeof kpath, "%s/%s", certs, key);
  if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, cpath) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, kpath, SSL_FILETYPE_PEM) != 1) {
    fprintf(stderr, "fake: cannot load %s\n", cpath);
    ERR_print_errors_fp(stderr);
    exit(1);
  }
  SSL_CTX_set_min_proto_version(ctx, minv);
  SSL_CTX_set_max_proto_version(ctx, maxv);
  return ctx;
}

static SSL* implicit_start(int fd, SSL_CTX* ctx) {
  SSL* ssl = SSL_new(ctx);
  SSL_set_fd(ssl, fd);
  if (SSL_accept(ssl) != 1) {
    ERR_print_errors_fp(stderr);
    SSL_free(ssl);
    return NULL;
  }
  return ssl;
}

static void tls_say(SSL* ssl, const char* text) { SSL_write(ssl, text, (int)strlen(text)); }

/* Reads to the end of the TLS stream: 1 after a close_notify, 0 after a bare end of the
 * connection or an error; *bytes counts the application data. */
static int tls_drain(SSL* ssl, long* bytes) {
  char buf[16384];
  for (;;) {
    int n = SSL_read(ssl, buf, sizeof buf);
    if (n > 0) {
      *bytes += n;
      continue;
    }
    return SSL_get_error(ssl, n) == SSL_ERROR_ZERO_RETURN;
  }
}

/* What the ClientHello waiting on fd offers for resumption: the session id's length and the
 * session ticket extension's length (-1 when absent). Peeks, so the handshake still sees it. */
static void peek_resumption(int fd, int* id_len, int* ticket_len) {
  unsigned char b[16384];
  ssize_t n = 0;
  *id_len = *ticket_len = -1;
  for (int tries = 0; tries < 50; ++tries) {
    n = recv(fd, b, sizeof b, MSG_PEEK);
    if (n >= 5 && n >= 5 + ((b[3] << 8) | b[4])) break;
    usleep(20000);
  }
  if (n < 44 || b[0] != 0x16 || b[5] != 1) return;
  size_t p = 9 + 2 + 32;
  *id_len = b[p];
  p += 1 + b[p];
  if (p + 2 > (size_t)n) return;
  p += 2 + ((b[p] << 8) | b[p + 1]);
  if (p + 1 > (size_t)n) return;
  p += 1 + b[p];
  if (p + 2 > (size_t)n) return;
  size_t end = p + 2 + ((b[p] << 8) | b[p + 1]);
  for (p += 2; p + 4 <= end && p + 4 <= (size_t)n; p += 4 + ((b[p + 2] << 8) | b[p + 3]))
    if (((b[p] << 8) | b[p + 1]) == 35) *ticket_len = (b[p + 2] << 8) | b[p + 3];
}

/* Reads one command line from the TLS stream; 0 at its end. */
static int tls_read_line(SSL* ssl, char* buf, size_t cap) {
  size_t n = 0;
  while (n + 1 < cap) {
    char ch;
    if (SSL_read(ssl, &ch, 1) != 1) return 0;
    if (ch == '\n') break;
    if (ch != '\r') buf[n++] = ch;
  }
  buf[n] = 0;
  return 1;
}

/* A loopback listener on a free port for a passive data connection. */
static int data_listener(int* port) {
  struct sockaddr_in a = {0};
  socklen_t len = sizeof a;
  int s = socket(AF_INET, SOCK_STREAM, 0);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s < 0 || bind(s, (struct sockaddr*)&a, sizeof a) != 0 || listen(s, 1) != 0) return -1;
  getsockname(s, (struct sockaddr*)&a, &len);
  *port = ntohs(a.sin_port);
  return s;
}

/* One byte per record, a second apart: a server that never stalls long enough for a single
 * wait to end. 0 once the client went away. */
static int tls_trickle(SSL* ssl, const char* text) {
  for (; *text; ++text) {
    if (SSL_write(ssl, text, 1) != 1) return 0;
    sleep(1);
  }
  return 1;
}

/* The download of ftpdrop/ftpnonotify (`slow` 0): TLS on the data connection, 100000 bytes,
 * then the fault, and a "226" all the same (a server that believes it sent everything). Of
 * ftpslowdata (`slow` 1): 20 bytes a second apart, "426" when the client gave up. */
static void faulty_download(SSL* control, SSL_CTX* ctx, int listener, int cut, int slow) {
  static char block[100000];
  int d = accept(listener, NULL, NULL);
  int whole = 1;
  SSL* data;
  tls_say(control, "150 Opening BINARY mode data connection.\r\n");
  if (d < 0) return;
  data = SSL_new(ctx);
  SSL_set_fd(data, d);
  if (SSL_accept(data) == 1 && slow) {
    whole = tls_trickle(data, "twenty slow bytes..\n");
  } else if (SSL_is_init_finished(data)) {
    memset(block, 'x', sizeof block);
    SSL_write(data, block, sizeof block);
    if (cut) {
      static const unsigned char half[] = {0x17, 0x03, 0x03, 0x40, 0x00, 1, 2, 3, 4, 5, 6, 7, 8};
      write_all(d, half, sizeof half);
    }
  }
  close(d);
  SSL_free(data);
  tls_say(control, whole ? "226 Transfer complete.\r\n" : "426 Connection closed; transfer aborted.\r\n");
}

/* The upload of ftpswap: TLS on the data connection, then whatever the client sends. */
static void reported_upload(SSL* control, SSL_CTX* ctx, int listener) {
  int d = accept(listener, NULL, NULL);
  long bytes = 0;
  tls_say(control, "150 Ok to send data.\r\n");
  if (d < 0) return;
  SSL* data = SSL_new(ctx);
  SSL_set_fd(data, d);
  if (SSL_accept(data) == 1) tls_drain(data, &bytes);
  fprintf(stderr, "ftpswap: upload %ld bytes\n", bytes);
  close(d);
  SSL_free(data);
  tls_say(control, "226 Transfer complete.\r\n");
}

enum { kPlain, kTrickleGreeting, kSlowData };

static void ftp_session(int fd, int cut, int empty_listing, SSL_CTX* data_ctx, int pace) {
  SSL_CTX* ctx = make_ctx("good.crt", "good.key", TLS1_2_VERSION, TLS1_3_VERSION);
  SSL* ssl = implicit_start(fd, ctx);
  char line[512], reply[128];
  int listener = -1, port = 0;
  if (!ssl) return;
  if (pace == kTrickleGreeting) {
    if (!tls_trickle(ssl, "220 fake FTP over TLS\r\n")) return;
  } else {
    tls_say(ssl, "220 fake FTP over TLS\r\n");
  }
  while (tls_read_line(ssl, line, sizeof line)) {
    if (!strncasecmp(line, "USER", 4)) tls_say(ssl, "331 Password please.\r\n");
    else if (!strncasecmp(line, "PASS", 4)) tls_say(ssl, "230 Logged in.\r\n");
    else if (!strncasecmp(line, "PBSZ", 4)) tls_say(ssl, "200 PBSZ=0\r\n");
    else if (!strncasecmp(line, "PROT", 4)) tls_say(ssl, "200 Protection level set to P\r\n");
    else if (!strncasecmp(line, "TYPE", 4)) tls_say(ssl, "200 Type set.\r\n");
    else if (!strncasecmp(line, "EPSV", 4) || !strncasecmp(line, "PASV", 4)) {
      if (listener >= 0) close(listener);
      listener = data_listener(&port);
      if (!strncasecmp(line, "EPSV", 4))
        snprintf(reply, sizeof reply, "229 Entering Extended Passive Mode (|||%d|)\r\n", port);
      else
        snprintf(reply, sizeof reply, "227 Entering Passive Mode (127,0,0,1,%d,%d)\r\n", port >> 8, port & 255);
      tls_say(ssl, reply);
    } else if (!strncasecmp(line, "RETR", 4) && listener >= 0) {
      faulty_download(ssl, data_ctx ? data_ctx : ctx, listener, cut, pace == kSlowData);
      close(listener);
      listener = -1;
    } else if (data_ctx && !strncasecmp(line, "STOR", 4) && listener >= 0) {
      reported_upload(ssl, data_ctx, listener);
      close(listener);
      listener = -1;
    } else if (empty_listing && (!strncasecmp(line, "LIST", 4) || !strncasecmp(line, "MLSD", 4))) {
      tls_say(ssl, "226 Nothing to list.\r\n");
    } else if (!strncasecmp(line, "QUIT", 4)) {
      tls_say(ssl, "221 Goodbye.\r\n");
      break;
    } else {
      tls_say(ssl, "500 Not understood.\r\n");
    }
  }
  SSL_shutdown(ssl);
}

/* What the client sends until it goes, told as its first TLS handshake record and the bytes
 * behind it. */
static void report_after_hello(const char* scenario, int fd) {
  unsigned char buf[65536];
  size_t n = 0;
  ssize_t r;
  while (n < sizeof buf && (r = read(fd, buf + n, sizeof buf - n)) > 0) n += (size_t)r;
  if (n >= 5 && buf[0] == 0x16 && n >= 5 + (size_t)((buf[3] << 8) | buf[4]))
    fprintf(stderr, "%s: ClientHello, then %zu bytes\n", scenario, n - 5 - ((buf[3] << 8) | buf[4]));
  else
    fprintf(stderr, "%s: no ClientHello, %zu bytes\n", scenario, n);
}

static void serve(const char* scenario, int fd) {
  static const unsigned char kGarbage[] = "\x17\x01\x00\x00\x08garbage!garbage garbage garbage";
  SSL_CTX* ctx;
  SSL* ssl;
  if (!strcmp(scenario, "garbage")) {
    if (explicit_start(fd)) write_all(fd, kGarbage, sizeof kGarbage - 1);
    report_after_hello("garbage", fd);
  } else if (!strcmp(scenario, "truncated") || !strcmp(scenario, "cut")) {
    unsigned char rec[105] = {0x16, 0x03, 0x03, 0x40, 0x00};
    memset(rec + 5, 0x02, sizeof rec - 5);
    if (explicit_start(fd)) write_all(fd, rec, sizeof rec);
    if (!strcmp(scenario, "truncated")) hold(fd);
  } else if (!strcmp(scenario, "plaintext")) {
    if (explicit_start(fd)) say(fd, "220 Welcome, this is plain text after all.\r\n");
    report_after_hello("plaintext", fd);
  } else if (!strcmp(scenario, "renegotiate")) {
    ctx = make_ctx("good.crt", "good.key", TLS1_2_VERSION, TLS1_2_VERSION);
    if ((ssl = implicit_start(fd, ctx))) {
      tls_say(ssl, "220 ready\r\n");
      if (SSL_renegotiate(ssl) != 1) fprintf(stderr, "renegotiate: refused by OpenSSL\n");
      SSL_do_handshake(ssl);
      long bytes = 0;
      tls_drain(ssl, &bytes);
    }
    hold(fd);
  } else if (!strcmp(scenario, "keyupdate")) {
    ctx = make_ctx("good.crt", "good.key", TLS1_3_VERSION, TLS1_3_VERSION);
    if ((ssl = implicit_start(fd, ctx))) {
      tls_say(ssl, "220 ready\r\n");
      SSL_key_update(ssl, SSL_KEY_UPDATE_REQUESTED);
      tls_say(ssl, "230 after the key update\r\n");
      long bytes = 0;
      tls_drain(ssl, &bytes);
      fprintf(stderr, "keyupdate: %ld bytes after the update\n", bytes);
    }
    hold(fd);
  } else if (!strcmp(scenario, "longchain")) {
    ctx = make_ctx("chain100.pem", "chain.key", TLS1_2_VERSION, TLS1_3_VERSION);
    if ((ssl = implicit_start(fd, ctx))) tls_say(ssl, "220 should not get here\r\n");
    hold(fd);
  } else if (!strcmp(scenario, "closenotify")) {
    ctx = make_ctx("good.crt", "good.key", TLS1_2_VERSION, TLS1_3_VERSION);
    if ((ssl = implicit_start(fd, ctx))) {
      tls_say(ssl, "220 ready\r\n");
      SSL_shutdown(ssl);
      int r = SSL_shutdown(ssl); /* 1 once the client's close_notify arrived */
      fprintf(stderr, "closenotify: %s\n", r == 1 ? "answered" : "dropped");
    }
  } else if (!strcmp(scenario, "drop") || !strcmp(scenario, "eof")) {
    ctx = make_ctx("good.crt", "good.key", TLS1_2_VERSION, TLS1_3_VERSION);
    if ((ssl = implicit_start(fd, ctx))) {
      static char block[40000];
      memset(block, 'd', sizeof block);
      tls_say(ssl, "220 ready\r\n");
      SSL_write(ssl, block, sizeof block);
      if (!strcmp(scenario, "drop")) {
        static const unsigned char half[] = {0x17, 0x03, 0x03, 0x01, 0x00, 1, 2, 3, 4, 5, 6, 7, 8};
        write_all(fd, half, sizeof half);
      }
    }
  } else if (!strcmp(scenario, "resume")) {
    int id_len, ticket_len;
    peek_resumption(fd, &id_len, &ticket_len);
    if ((ssl = implicit_start(fd, resume_ctx))) {
      fprintf(stderr, "resume: session id %d bytes, ticket extension %d bytes, %s\n", id_len, ticket_len,
              SSL_session_reused(ssl) ? "resumed" : "full handshake");
      tls_say(ssl, "220 ready\r\n");
      long bytes = 0;
      if (tls_drain(ssl, &bytes)) SSL_shutdown(ssl);
    }
  } else if (!strcmp(scenario, "ftpdrop") || !strcmp(scenario, "ftpnonotify") || !strcmp(scenario, "ftpempty")) {
    ftp_session(fd, !strcmp(scenario, "ftpdrop"), !strcmp(scenario, "ftpempty"), NULL, kPlain);
  } else if (!strcmp(scenario, "ftpswap")) {
    ftp_session(fd, 0, 0, make_ctx("unknownca.crt", "unknownca.key", TLS1_2_VERSION, TLS1_3_VERSION), kPlain);
  } else if (!strcmp(scenario, "ftptrickle")) {
    ftp_session(fd, 0, 0, NULL, kTrickleGreeting);
  } else if (!strcmp(scenario, "ftpslowdata")) {
    ftp_session(fd, 0, 0, NULL, kSlowData);
  } else if (!strcmp(scenario, "upload")) {
    ctx = make_ctx("good.crt", "good.key", TLS1_2_VERSION, TLS1_3_VERSION);
    if ((ssl = implicit_start(fd, ctx))) {
      tls_say(ssl, "220 ready\r\n");
      long bytes = 0;
      int clean = tls_drain(ssl, &bytes);
      fprintf(stderr, "upload: %ld bytes, %s\n", bytes, clean ? "close_notify" : "no close_notify");
      if (clean) SSL_shutdown(ssl);
    }
  }
  close(fd);
}

int main(int argc, char** argv) {
  static const char* const kScenarios[] = {"garbage", "truncated", "cut", "plaintext", "renegotiate",
                                           "keyupdate", "longchain", "closenotify", "upload", "drop", "eof", "resume",
                                           "ftpdrop", "ftpnonotify", "ftpempty", "ftpswap", "ftptrickle",
                                           "ftpslowdata"};
  enum { kCount = sizeof kScenarios / sizeof kScenarios[0] };
  struct pollfd fds[kCount];
  if (argc != 2) return 2;
  certs = argv[1];
  resume_ctx = make_ctx("good.crt", "good.key", TLS1_2_VERSION, TLS1_2_VERSION);
  signal(SIGCHLD, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
  setvbuf(stderr, NULL, _IONBF, 0);
  for (int i = 0; i < kCount; ++i) {
    struct sockaddr_in a = {0};
    socklen_t len = sizeof a;
    int s = socket(AF_INET, SOCK_STREAM, 0);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s < 0 || bind(s, (struct sockaddr*)&a, sizeof a) != 0 || listen(s, 8) != 0) return 1;
    getsockname(s, (struct sockaddr*)&a, &len);
    printf("fake-%s %d\n", kScenarios[i], ntohs(a.sin_port));
    fds[i].fd = s;
    fds[i].events = POLLIN;
  }
  printf("ready\n");
  fflush(stdout);
  for (;;) {
    if (poll(fds, kCount, -1) <= 0) continue;
    for (int i = 0; i < kCount; ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      int c = accept(fds[i].fd, NULL, NULL);
      if (c < 0) continue;
      if (fork() == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        alarm(kChildSeconds);
        for (int j = 0; j < kCount; ++j) close(fds[j].fd);
        serve(kScenarios[i], c);
        _exit(0);
      }
      close(c);
    }
  }
}
