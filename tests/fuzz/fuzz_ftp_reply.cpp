// libFuzzer target: control-connection replies fed in random pieces, the passive-mode
// replies, feature lists, server names (with their TLS schemes), proxy lists and the presence
// verdicts of MLST replies and echoed listing lines. The reader must never keep more than
// its limits and every finished reply must start with its code.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/ftp_names.h"
#include "net/ftp_presence.h"
#include "net/ftp_reply.h"

using namespace vel::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* p = reinterpret_cast<const char*>(data);
  ReplyReader r;
  size_t pos = 0, step = size ? (data[0] % 7) + 1 : 1;
  while (pos < size) {
    size_t n = size - pos < step ? size - pos : step;
    size_t used = 0;
    auto st = r.Feed(p + pos, n, &used);
    if (used > n) abort();
    pos += used ? used : n;
    if (st == ReplyReader::Status::Bad) break;
    if (st == ReplyReader::Status::Done) {
      const FtpReply& rep = r.Reply();
      if (rep.code < 100 || rep.code > 599 || rep.text.size() > ReplyReader::kMaxTextKept) abort();
    }
  }
  std::string_view in(p, size);
  uint8_t addr[4];
  uint16_t port;
  if (ParsePasv(in, addr, &port) && port == 0) abort();
  if (ParseEpsv(in, &port) && port == 0) abort();
  (void)HasFeature(in, "UTF8");
  uint64_t fileSize = 0;
  if (ParseSize(in, &fileSize) && fileSize > (uint64_t{1} << 63)) abort();
  std::string host;
  int hp;
  if (SplitServerName(in, &host, &hp) && (host.empty() || hp < 0 || hp > 65535)) abort();
  FtpSecurity security;
  if (SplitServerUrl(in, &security, &host, &hp) &&
      (host.empty() || hp < 0 || hp > 65535 || host.find('/') != std::string::npos))
    abort();
  (void)FtpProxyFrom(in, &host);
  (void)ProxyBypassed(in, "ftp.example.org");
  // MLST replies of any text; and whatever the sought name, a listing whose only line echoes
  // it as a path ("x/<name>") never proves it absent.
  (void)PresenceOfMlst(250, in);
  const std::string name(in.substr(0, in.size() < 12 ? in.size() : 12));
  if (!name.empty()) {
    NameWatch watch(name);
    watch.Line("-rw-r--r-- 1 u g 5 Jan  1 12:00 x/" + name);
    if (PresenceInListing({}, ListingParser::Family::Unix, watch) == Presence::Absent) abort();
  }
  return 0;
}
