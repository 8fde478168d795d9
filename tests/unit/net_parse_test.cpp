// The FTP library's portable parsers: replies, passive-mode replies, features, listing lines
// in every style, patterns, server names, proxy lists and ASCII line ends. Runs in the host
// build (sanitizers) and under Wine.
#include <cstring>

#include "net/ftp_ascii.h"
#include "net/ftp_listing.h"
#include "net/ftp_names.h"
#include "net/ftp_pace.h"
#include "net/ftp_reply.h"
#include "support/check.h"

using namespace vel::net;

namespace {

ReplyReader::Status FeedAll(ReplyReader& r, const std::string& s, size_t* used) {
  return r.Feed(s.data(), s.size(), used);
}

}  // namespace

TEST_CASE("reply: single, multi-line, split, pipelined") {
  ReplyReader r;
  size_t used;
  CHECK(FeedAll(r, "220 ready\r\n", &used) == ReplyReader::Status::Done);
  CHECK_EQ(r.Reply().code, 220);
  CHECK_EQ(r.Reply().text, std::string("220 ready\r\n"));

  std::string multi = "211-Features:\r\n MLST size*;\r\n211-not the end\r\n UTF8\r\n211 End\r\n331 next\r\n";
  CHECK(FeedAll(r, multi, &used) == ReplyReader::Status::Done);
  CHECK_EQ(r.Reply().code, 211);
  CHECK(HasFeature(r.Reply().text, "UTF8"));
  CHECK(HasFeature(r.Reply().text, "mlst"));
  CHECK(!HasFeature(r.Reply().text, "End"));
  CHECK_EQ(multi.substr(used), std::string("331 next\r\n"));  // the next reply is left unread

  // One byte at a time, bare LF line ends.
  std::string slow = "150-a\n150 b\n";
  ReplyReader s;
  ReplyReader::Status st = ReplyReader::Status::NeedMore;
  for (size_t i = 0; i < slow.size(); ++i) st = s.Feed(&slow[i], 1, &used);
  CHECK(st == ReplyReader::Status::Done);
  CHECK_EQ(s.Reply().code, 150);
}

TEST_CASE("reply: hostile input is bounded or refused") {
  ReplyReader r;
  size_t used;
  CHECK(FeedAll(r, "hello\r\n", &used) == ReplyReader::Status::Bad);
  ReplyReader big;
  std::string line = "220 " + std::string(100000, 'x') + "\r\n";
  CHECK(FeedAll(big, line, &used) == ReplyReader::Status::Done);
  CHECK(big.Reply().text.size() <= ReplyReader::kMaxTextKept);
  ReplyReader endless;
  std::string block = "220-start\r\n";
  for (int i = 0; i < 300000; ++i) block += "more text here\r\n";
  CHECK(FeedAll(endless, block, &used) == ReplyReader::Status::Bad);
  ReplyReader zero;
  CHECK(FeedAll(zero, "099 no\r\n", &used) == ReplyReader::Status::Bad);
}

TEST_CASE("reply: PASV and EPSV") {
  uint8_t a[4];
  uint16_t port;
  CHECK(ParsePasv("227 Entering Passive Mode (192,168,1,2,19,137).", a, &port));
  CHECK(a[0] == 192 && a[3] == 2 && port == 19 * 256 + 137);
  CHECK(ParsePasv("227 =10,0,0,1,4,1", a, &port));
  CHECK_EQ(port, 1025);
  CHECK(!ParsePasv("227 Entering Passive Mode (1,2,3,4,5)", a, &port));
  CHECK(!ParsePasv("227 (300,1,1,1,1,1)", a, &port));
  CHECK(!ParsePasv("227 (1,1,1,1,0,0)", a, &port));
  CHECK(ParseEpsv("229 Entering Extended Passive Mode (|||6446|)", &port));
  CHECK_EQ(port, 6446);
  CHECK(!ParseEpsv("229 (|||70000|)", &port));
  CHECK(!ParseEpsv("229 (||6446|)", &port));
}

TEST_CASE("reply: SIZE") {
  uint64_t n = 7;
  CHECK(ParseSize("213 1048576\r\n", &n));
  CHECK_EQ(n, 1048576u);
  CHECK(ParseSize("213  4294967303 \r\n", &n));  // past 4 GiB: both halves kept
  CHECK_EQ(n, 4294967303ull);
  CHECK(ParseSize("213 0\r\n", &n) && n == 0);
  n = 7;
  // A multi-line reply, another code, a date (MDTM's form), a sign or garbage: no size, n kept.
  for (const char* bad : {"213-1\r\n213 2\r\n", "550 1\r\n", "213 \r\n", "213 -1\r\n", "213 12ab\r\n",
                          "213 99999999999999999999\r\n", "213 1 2\r\n", "213 5"})
    CHECK(!ParseSize(bad, &n));
  CHECK_EQ(n, 7u);
}

TEST_CASE("listing: Unix lines") {
  Today today{2024, 6, 15};
  ListEntry e;
  REQUIRE(ParseListLine("-rw-r--r--    1 ftp      ftp        1234 Mar 03 12:34 name with  spaces.txt\r", today, &e));
  CHECK_EQ(e.name, std::string("name with  spaces.txt"));
  CHECK(!e.dir);
  CHECK_EQ(e.size, 1234u);
  CHECK(e.time.year == 2024 && e.time.month == 3 && e.time.day == 3 && e.time.hour == 12 && e.time.minute == 34);
  REQUIRE(ParseListLine("drwxr-xr-x 2 0 0 4096 Dec 31  2019 old dir", today, &e));
  CHECK(e.dir && e.name == "old dir" && e.time.year == 2019);
  REQUIRE(ParseListLine("-rw-r--r-- 1 owner 5000000000 Jul 20 10:00 nogroup.iso", today, &e));
  CHECK_EQ(e.size, 5000000000ull);
  CHECK_EQ(e.time.year, 2023);  // July after June 15th: last year
  REQUIRE(ParseListLine("lrwxrwxrwx 1 u g 6 Jan  1 00:00 link -> target/", today, &e));
  CHECK(e.link && e.dir && e.name == "link" && e.target == "target/");
  REQUIRE(ParseListLine("lrwxrwxrwx 1 u g 6 Jan  1 00:00 flink -> file.txt", today, &e));
  CHECK(e.link && !e.dir && e.name == "flink");
  REQUIRE(ParseListLine("-rw-r--r--+ 1 u g 1 Jan  1 00:00 \xe9t\xe9", today, &e));
  CHECK_EQ(e.name, std::string("\xe9t\xe9"));
  CHECK(!ParseListLine("total 12", today, &e));
  CHECK(!ParseListLine("", today, &e));
  CHECK(!ParseListLine("-rw-r--r-- 1 u g 1 Jan  1 00:00 ", today, &e));
}

TEST_CASE("listing: names that must never come through") {
  Today today{2024, 6, 15};
  ListEntry e;
  for (const char* name : {".", "..", "../x", "a/b", "..\\../x", "cr\rx", "nul\x01x", "esc\x1bx", "del\x7fx"}) {
    std::string line = std::string("-rw-r--r-- 1 u g 1 Jan  1 00:00 ") + name;
    CHECK(!ParseListLine(line, today, &e));
    CHECK(!ParseMlsdLine(std::string("type=file;size=1; ") + name, &e));
  }
  // "\\" and TAB are bytes of a name on the server: kept exactly, in LIST and MLSD alike.
  for (const char* name : {"a\\b", "..\\evil.txt", "\\", "tab\there", "\tlead", "trail\t", "\\..\\.."}) {
    std::string line = std::string("-rw-r--r-- 1 u g 1 Jan  1 00:00 ") + name;
    CHECK(ParseListLine(line, today, &e) && e.name == name);
    CHECK(ParseMlsdLine(std::string("type=file;size=1; ") + name, &e) && e.name == name);
  }
  std::string longName(kMaxName + 1, 'n');
  CHECK(!ParseListLine("-rw-r--r-- 1 u g 1 Jan  1 00:00 " + longName, today, &e));
  CHECK(ParseListLine("-rw-r--r-- 1 u g 1 Jan  1 00:00 " + longName.substr(1), today, &e));
}

TEST_CASE("listing: MS-DOS lines") {
  Today today{2024, 6, 15};
  ListEntry e;
  REQUIRE(ParseListLine("01-31-23  10:30PM       <DIR>          Program Files", today, &e));
  CHECK(e.dir && e.name == "Program Files" && e.time.year == 2023 && e.time.hour == 22);
  REQUIRE(ParseListLine("12-01-1999  12:05AM             4096 readme.txt", today, &e));
  CHECK(!e.dir && e.size == 4096 && e.time.year == 1999 && e.time.hour == 0);
  CHECK(!ParseListLine("13-01-99  12:05AM  1 bad-month", today, &e));
}

TEST_CASE("listing: MLSD lines") {
  ListEntry e;
  REQUIRE(ParseMlsdLine("type=file;size=6000000000;modify=20240102030405; big file.iso", &e));
  CHECK(!e.dir && e.size == 6000000000ull && e.name == "big file.iso");
  CHECK(e.time.utc && e.time.year == 2024 && e.time.second == 5);
  REQUIRE(ParseMlsdLine("Type=dir;Modify=20240102030405;unique=801U2; sub", &e));
  CHECK(e.dir && e.unique == "801U2");
  CHECK(!ParseMlsdLine("type=cdir; .", &e));
  CHECK(!ParseMlsdLine("type=pdir; ..", &e));
  CHECK(!ParseMlsdLine("size=1; untyped", &e));
  REQUIRE(ParseMlsdLine("type=OS.unix=slink:/srv/x/;size=3; l", &e));
  CHECK(e.link && e.dir);
}

TEST_CASE("patterns: the platform's wildcard rules") {
  struct Row {
    const char *pattern, *name;
    bool match;
  } rows[] = {{"*.*", "noext", true},  {"*.*", "a.b", true},     {"*.txt", "A.TXT", true},
              {"*.txt", "a.txt.bak", false}, {"?.c", "x.c", true}, {"?.c", "xy.c", false},
              {"a*b*c", "aXbYc", true}, {"a*b*c", "aXbY", false}, {"*", "", true}};
  for (const Row& r : rows) CHECK_EQ(WildMatch(r.pattern, r.name), r.match);
  CHECK(HasWildcards("dir/*.*"));
  CHECK(!HasWildcards("dir/file"));
}

TEST_CASE("names: servers and proxies") {
  std::string host;
  int port;
  CHECK(SplitServerName("ftp.example.org", &host, &port) && host == "ftp.example.org" && port == 0);
  CHECK(SplitServerName("127.0.0.1:2121", &host, &port) && host == "127.0.0.1" && port == 2121);
  CHECK(SplitServerName("[::1]:21", &host, &port) && host == "::1" && port == 21);
  CHECK(SplitServerName("[fe80::1]", &host, &port) && host == "fe80::1" && port == 0);
  CHECK(SplitServerName("2001:db8::7", &host, &port) && host == "2001:db8::7" && port == 0);
  CHECK(!SplitServerName("host:0", &host, &port));
  CHECK(!SplitServerName("host:70000", &host, &port));
  CHECK(!SplitServerName("[::1", &host, &port));
  CHECK(!SplitServerName("", &host, &port));
  CHECK(FtpProxyFrom("http=a:1;ftp=proxy:2121;https=b:2", &host) && host == "proxy:2121");
  CHECK(FtpProxyFrom("ftp=ftp://proxy:21/", &host) && host == "proxy:21");
  CHECK(FtpProxyFrom("generic:8080", &host) && host == "generic:8080");
  CHECK(!FtpProxyFrom("http=a:1;https=b:2", &host));
  CHECK(ProxyBypassed("<local>;*.corp.example", "intranet"));
  CHECK(ProxyBypassed("<local>;*.corp.example", "ftp.corp.example"));
  CHECK(!ProxyBypassed("<local>;*.corp.example", "ftp.example.org"));
}

TEST_CASE("names: the schemes that choose FTP over TLS") {
  using S = FtpSecurity;
  struct Row {
    const char* in;
    bool ok;
    S security;
    const char* host;
    int port;
  } rows[] = {
      {"ftp.example.org", true, S::None, "ftp.example.org", 0},
      {"ftpes://ftp.example.org", true, S::Explicit, "ftp.example.org", 0},
      {"FTPES://Host:2121/", true, S::Explicit, "Host", 2121},
      {"ftps://host", true, S::Implicit, "host", 0},
      {"Ftps://[::1]:990", true, S::Implicit, "::1", 990},
      {"ftps://2001:db8::7", true, S::Implicit, "2001:db8::7", 0},
      {"ftp://host:21", true, S::None, "host", 21},
      {" ftpes://host ", true, S::Explicit, "host", 0},
      {"[::1]:21", true, S::None, "::1", 21},
      {"sftp://host", false, S::None, "", 0},    // another protocol: refused, not taken as plain
      {"http://host", false, S::None, "", 0},
      {"ftpes://", false, S::None, "", 0},
      {"ftpes://host/pub", false, S::None, "", 0},  // a path is not a server
      {"ftpes://host//", false, S::None, "", 0},
      {"host/pub", false, S::None, "", 0},
      {"ftpes://host:0", false, S::None, "", 0},
      {"ftps:host", false, S::None, "", 0},       // no "//": a host "ftps" with a bad port
  };
  for (const Row& r : rows) {
    std::string host;
    int port = -1;
    S security = S::Explicit;
    bool ok = SplitServerUrl(r.in, &security, &host, &port);
    CHECK_EQ(ok, r.ok);
    if (!ok || !r.ok) continue;
    CHECK(security == r.security);
    CHECK_EQ(host, std::string(r.host));
    CHECK_EQ(port, r.port);
  }
}

TEST_CASE("ascii: LF becomes CR LF once, across chunk borders") {
  CrlfConverter c;
  std::string out, all;
  for (const char* part : {"a\nb\r", "\nc\n", "\r\n"}) {
    c.Convert(part, strlen(part), &out);
    all += out;
  }
  CHECK_EQ(all, std::string("a\r\nb\r\nc\r\n\r\n"));
}

// The overall limits on a clock the test moves: a reply's from its first byte, a data
// connection's least rate over each window. A byte a second must be cut off within two windows
// whatever its phase against them; a steady stream never.
TEST_CASE("pace: a reply's limit runs from its first byte, a data connection's per window") {
  Pace reply;
  reply.Reply(2000, false, 0);
  CHECK(!reply.Expired(5000));  // waiting for the first byte is the single wait's business
  reply.Moved(10, false, 5000);  // what the client sends starts nothing
  CHECK(!reply.Expired(9000));
  reply.Moved(1, true, 9000);
  CHECK(!reply.Expired(10999));
  CHECK(reply.Expired(11000));
  reply.Reply(2000, true, 20000);  // the first byte already in hand
  CHECK(reply.Expired(22000));

  for (uint64_t phase = 0; phase < 1000; phase += 250) {
    Pace trickle;
    trickle.Data(2000, 0);
    uint64_t cut = 0;
    for (uint64_t t = phase; t < 10000 && !cut; t += 1000) {
      trickle.Delivered(1, t);
      for (uint64_t w = t; w < t + 1000 && !cut; w += 100)
        if (trickle.Expired(w)) cut = w;
    }
    CHECK(cut != 0);
    CHECK(cut <= 4100);
  }
  Pace steady;
  steady.Data(2000, 0);
  for (uint64_t t = 0; t < 20000; t += 100) {
    steady.Moved(1, false, t);  // sent bytes count
    CHECK(!steady.Expired(t));
  }
  steady.Moved(5000, true, 20000);  // received bytes count only once delivered
  CHECK(steady.Expired(22000));
}

TEST_CASE("reply: one that never ends is told from one without a code, and its start is kept") {
  ReplyReader r;
  size_t used;
  std::string endless = "211-Features:\r\n";
  while (endless.size() <= ReplyReader::kMaxReplyBytes) endless += " MORE\r\n";
  CHECK(FeedAll(r, endless, &used) == ReplyReader::Status::Bad);
  CHECK(r.Overlong());
  CHECK_EQ(r.Reply().code, 211);
  CHECK_EQ(r.Reply().text.compare(0, 15, "211-Features:\r\n"), 0);
  r.Reset();
  std::string oneLine = "550 " + std::string(ReplyReader::kMaxReplyBytes, 'x');
  CHECK(FeedAll(r, oneLine, &used) == ReplyReader::Status::Bad);
  CHECK(r.Overlong());
  CHECK_EQ(r.Reply().code, 550);
  CHECK_EQ(r.Reply().text.size(), ReplyReader::kMaxLineKept + 2);
  r.Reset();
  CHECK(FeedAll(r, "hello\r\n", &used) == ReplyReader::Status::Bad);
  CHECK(!r.Overlong());
}
