// Records of interrupted transfers: writing, the strict reader, and the resume choice.
#include "app/partial_record.h"

#include <cstdio>

namespace ftpcl {
namespace {

constexpr char kMagic[] = "ftpclient partial 1";
constexpr std::size_t kMaxRecord = 64 * 1024;

bool PlainText(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

std::string Number(std::int64_t n) { return n == kUnknownSize ? "-" : std::to_string(n); }

// A count: "-" (unknown, when allowed) or decimal digits without a leading zero, below 2^63.
bool ReadNumber(std::string_view s, bool unknown_allowed, std::int64_t* out) {
  if (s == "-" && unknown_allowed) {
    *out = kUnknownSize;
    return true;
  }
  if (s.empty() || s.size() > 19 || (s.size() > 1 && s[0] == '0')) return false;
  std::uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > static_cast<std::uint64_t>(INT64_MAX)) return false;
  *out = static_cast<std::int64_t>(v);
  return true;
}

// Reads the lines of a record in their fixed order.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  // The value of the next line, which must be `key` and a blank; false otherwise.
  bool Value(std::string_view key, std::string_view* value) {
    std::string_view line;
    if (!Line(&line) || line.size() < key.size() + 1 || line.substr(0, key.size()) != key ||
        line[key.size()] != ' ')
      return false;
    *value = line.substr(key.size() + 1);
    return PlainText(*value);
  }
  bool Line(std::string_view* line) {
    const std::size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) return false;
    *line = text_.substr(at_, end - at_);
    at_ = end + 1;
    return true;
  }
  std::size_t At() const { return at_; }
  bool AtEnd() const { return at_ == text_.size(); }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

bool ReadCounts(LineReader& in, PartialRecord* r) {
  std::string_view v;
  if (!in.Value("remote-size", &v) || !ReadNumber(v, true, &r->remote_size)) return false;
  if (!in.Value("remote-time", &v) || v.empty()) return false;  // no time is "-": one spelling
  r->remote_time = v == "-" ? std::string() : std::string(v);
  if (!in.Value("kept", &v) || !ReadNumber(v, false, &r->kept)) return false;
  if (!in.Value("local-size", &v) || !ReadNumber(v, true, &r->local_size)) return false;
  return in.Value("local-time", &v) && ReadNumber(v, true, &r->local_time);
}

bool Consistent(const PartialRecord& r) {
  if (r.remote.empty()) return false;
  if (r.remote_size != kUnknownSize && r.kept > r.remote_size) return false;
  return r.kind == PartialRecord::Kind::kGet || r.kept == 0;
}

bool SameTime(const PartialRecord& r, const ServerFacts& now) {
  return !r.remote_time.empty() && r.remote_time == now.remote_time;
}

ResumeChoice StartOver(std::string reason) { return {Resume::kStartOver, 0, std::move(reason)}; }

}  // namespace

std::uint32_t Crc32(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (char ch : bytes) {
    crc ^= static_cast<unsigned char>(ch);
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

std::string WritePartialRecord(const PartialRecord& r) {
  if (!PlainText(r.server) || !PlainText(r.remote) || !PlainText(r.remote_time) || r.remote_time == "-") return {};
  for (std::int64_t n : {r.remote_size, r.local_size, r.local_time})
    if (n < kUnknownSize) return {};
  if (r.kept < 0 || !Consistent(r)) return {};
  std::string s = std::string(kMagic) + "\n";
  s += std::string("kind ") + (r.kind == PartialRecord::Kind::kGet ? "get" : "put") + "\n";
  s += "server " + r.server + "\n";
  s += "remote " + r.remote + "\n";
  s += "remote-size " + Number(r.remote_size) + "\n";
  s += "remote-time " + (r.remote_time.empty() ? std::string("-") : r.remote_time) + "\n";
  s += "kept " + std::to_string(r.kept) + "\n";
  s += "local-size " + Number(r.local_size) + "\n";
  s += "local-time " + Number(r.local_time) + "\n";
  char end[16];
  std::snprintf(end, sizeof end, "%08x", static_cast<unsigned>(Crc32(s)));
  return s + "end " + end + "\n";
}

bool ReadPartialRecord(std::string_view text, PartialRecord* out) {
  if (text.size() > kMaxRecord) return false;
  LineReader in(text);
  std::string_view line, v;
  if (!in.Line(&line) || line != kMagic) return false;
  PartialRecord r;
  if (!in.Value("kind", &v) || (v != "get" && v != "put")) return false;
  r.kind = v == "get" ? PartialRecord::Kind::kGet : PartialRecord::Kind::kPut;
  if (!in.Value("server", &v)) return false;
  r.server = std::string(v);
  if (!in.Value("remote", &v)) return false;
  r.remote = std::string(v);
  if (!ReadCounts(in, &r)) return false;
  const std::size_t body = in.At();
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(Crc32(text.substr(0, body))));
  if (!in.Value("end", &v) || v != crc || !in.AtEnd() || !Consistent(r)) return false;
  *out = std::move(r);
  return true;
}

ResumeChoice DecideGet(const PartialRecord& r, const ServerFacts& now) {
  if (!now.binary) return StartOver("An ASCII transfer always starts over.");
  if (!now.can_restart) return StartOver("The server cannot resume downloads (it does not announce REST STREAM).");
  if (now.remote_size == kUnknownSize || r.remote_size == kUnknownSize || now.remote_time.empty() ||
      r.remote_time.empty())
    return StartOver("The server cannot tell whether the file changed since the download was interrupted.");
  if (now.remote_size != r.remote_size || !SameTime(r, now))
    return StartOver("The file changed on the server since the download was interrupted.");
  if (r.kept == 0) return StartOver({});
  return {Resume::kOffer, r.kept, {}};
}

ResumeChoice DecidePut(const PartialRecord& r, const ServerFacts& now) {
  if (!now.binary) return StartOver("An ASCII transfer always starts over.");
  if (!now.can_restart) return StartOver("The server cannot resume uploads.");
  if (r.local_size == kUnknownSize || now.local_size != r.local_size || now.local_time != r.local_time)
    return StartOver("The local file changed since the upload was interrupted.");
  if (now.remote_size == kUnknownSize || r.remote_size == kUnknownSize)
    return StartOver("The server cannot tell how much of the file it has.");
  if (now.remote_size != r.remote_size || now.remote_size >= now.local_size)
    return StartOver("The file on the server changed since the upload was interrupted.");
  return {Resume::kOffer, r.remote_size, {}};
}

}  // namespace ftpcl
