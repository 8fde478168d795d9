// Reply assembly: a byte-at-a-time scan for LF; a line is judged when it ends.
#include "net/ftp_reply.h"

#include <cctype>

namespace vel::net {

namespace {

int LineCode(std::string_view line) {
  if (line.size() < 3) return 0;
  for (int i = 0; i < 3; ++i)
    if (line[i] < '0' || line[i] > '9') return 0;
  int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
  return code >= 100 && code <= 599 ? code : 0;
}

}  // namespace

void ReplyReader::Reset() {
  reply_ = FtpReply{};
  line_.clear();
  lineBytes_ = totalBytes_ = 0;
  multiCode_ = 0;
  bad_ = done_ = overlong_ = false;
}

ReplyReader::Status ReplyReader::Feed(const char* data, size_t n, size_t* used) {
  *used = 0;
  if (bad_) return Status::Bad;
  if (done_) Reset();
  for (size_t i = 0; i < n; ++i) {
    char c = data[i];
    ++totalBytes_;
    if (totalBytes_ > kMaxReplyBytes) {
      bad_ = overlong_ = true;
      if (reply_.text.empty() && !line_.empty()) {  // one endless first line: keep its start
        reply_.code = LineCode(line_);
        reply_.text = line_ + "\r\n";
      }
      *used = i + 1;
      return Status::Bad;
    }
    if (c != '\n') {
      ++lineBytes_;
      if (line_.size() < kMaxLineKept) line_.push_back(c);
      continue;
    }
    Status s = EndLine();
    if (s != Status::NeedMore) {
      *used = i + 1;
      return s;
    }
  }
  *used = n;
  return Status::NeedMore;
}

ReplyReader::Status ReplyReader::EndLine() {
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  int code = LineCode(line_);
  bool first = reply_.code == 0;
  if (first && code == 0) {  // a reply must open with a code
    bad_ = true;
    return Status::Bad;
  }
  if (reply_.text.size() + line_.size() + 2 <= kMaxTextKept) {
    reply_.text += line_;
    reply_.text += "\r\n";
  }
  bool ends;
  if (first) {
    reply_.code = code;
    bool dash = line_.size() > 3 && line_[3] == '-';
    multiCode_ = dash ? code : 0;
    ends = !dash;
  } else {
    // Inside a block only "ddd " (or a bare "ddd") with the opening code closes it.
    ends = code == multiCode_ && (line_.size() == 3 || line_[3] == ' ');
  }
  line_.clear();
  lineBytes_ = 0;
  if (!ends) return Status::NeedMore;
  done_ = true;
  return Status::Done;
}

bool ParsePasv(std::string_view text, uint8_t addr[4], uint16_t* port) {
  // Skip the code, then look for the first run of six numbers separated by commas.
  size_t start = text.size() > 3 ? 4 : text.size();
  for (size_t i = start; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) continue;
    unsigned v[6];
    size_t j = i;
    int k = 0;
    for (; k < 6; ++k) {
      unsigned n = 0;
      size_t digits = 0;
      while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])) && digits < 4) {
        n = n * 10 + (text[j] - '0');
        ++j;
        ++digits;
      }
      if (digits == 0 || n > 255) break;
      v[k] = n;
      if (k < 5) {
        if (j >= text.size() || text[j] != ',') break;
        ++j;
      }
    }
    if (k == 6) {
      for (int a = 0; a < 4; ++a) addr[a] = static_cast<uint8_t>(v[a]);
      *port = static_cast<uint16_t>(v[4] * 256 + v[5]);
      return *port != 0;
    }
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  }
  return false;
}

bool ParseEpsv(std::string_view text, uint16_t* port) {
  size_t open = text.find('(');
  if (open == std::string_view::npos || open + 4 >= text.size()) return false;
  char d = text[open + 1];
  if (d < 33 || d > 126 || std::isdigit(static_cast<unsigned char>(d))) return false;
  if (text[open + 2] != d || text[open + 3] != d) return false;
  size_t j = open + 4;
  unsigned n = 0;
  size_t digits = 0;
  while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])) && digits < 6) {
    n = n * 10 + (text[j] - '0');
    ++j;
    ++digits;
  }
  if (digits == 0 || n == 0 || n > 65535 || j >= text.size() || text[j] != d) return false;
  *port = static_cast<uint16_t>(n);
  return true;
}

bool ParseSize(std::string_view text, uint64_t* size) {
  if (text.size() < 5 || text.substr(0, 4) != "213 ") return false;
  size_t i = 4;
  while (i < text.size() && text[i] == ' ') ++i;
  uint64_t n = 0;
  size_t digits = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, ++digits) {
    if (n > (uint64_t{1} << 63) / 10) return false;
    n = n * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  while (i < text.size() && text[i] == ' ') ++i;
  if (digits == 0 || n > (uint64_t{1} << 63) || text.substr(i) != "\r\n") return false;
  *size = n;
  return true;
}

std::string QuotedPath(std::string_view text) {
  size_t open = text.find('"');
  if (open == std::string_view::npos) return {};
  std::string path;
  for (size_t i = open + 1; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') return {};
    if (text[i] != '"') {
      path.push_back(text[i]);
    } else if (i + 1 < text.size() && text[i + 1] == '"') {
      path.push_back('"');
      ++i;
    } else {
      return path;
    }
  }
  return {};
}

bool HasFeature(std::string_view featText, std::string_view feature) {
  size_t pos = 0;
  while (pos < featText.size()) {
    size_t end = featText.find('\n', pos);
    if (end == std::string_view::npos) end = featText.size();
    std::string_view line = featText.substr(pos, end - pos);
    pos = end + 1;
    size_t b = 0;
    while (b < line.size() && (line[b] == ' ' || line[b] == '\t')) ++b;
    if (b == 0) continue;  // feature lines start with a space; the code lines do not
    line.remove_prefix(b);
    if (line.size() < feature.size()) continue;
    bool same = true;
    for (size_t i = 0; i < feature.size() && same; ++i)
      same = std::toupper(static_cast<unsigned char>(line[i])) ==
             std::toupper(static_cast<unsigned char>(feature[i]));
    if (same && (line.size() == feature.size() || line[feature.size()] == ' ' ||
                 line[feature.size()] == '\r'))
      return true;
  }
  return false;
}

}  // namespace vel::net
