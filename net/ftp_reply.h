// FTP control-connection replies: assembling reply lines into replies, and reading the
// passive-mode and feature replies. Portable (no Windows headers) so the fuzzers build natively.
//
// A reply is one line "ddd text" or a block "ddd-text" ... "ddd text" (RFC 959 4.2). The reader
// keeps at most kMaxLineKept bytes of each line and kMaxTextKept bytes of the whole reply, so a
// hostile server cannot make it grow without bound; a reply longer than kMaxReplyBytes on the
// wire, or a first line without a valid code, is a protocol error. A reply cut off for its
// length is Overlong(), and Reply() then holds what was kept of its start.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vel::net {

struct FtpReply {
  int code = 0;       // 100..599
  std::string text;   // every kept line, each ended by "\r\n"
};

class ReplyReader {
 public:
  static constexpr size_t kMaxLineKept = 4096;
  static constexpr size_t kMaxTextKept = 16384;
  static constexpr size_t kMaxReplyBytes = 4u << 20;
  enum class Status { NeedMore, Done, Bad };

  // Consumes bytes up to the end of one reply. *used tells how many bytes were taken; after
  // Done, Reply() holds the reply and the next Feed starts a new one. After Bad the reader
  // stays bad until Reset.
  Status Feed(const char* data, size_t n, size_t* used);
  const FtpReply& Reply() const { return reply_; }
  // After Bad: whether the reply was refused for its length (a server that never ends it),
  // not for its form.
  bool Overlong() const { return overlong_; }
  void Reset();

 private:
  Status EndLine();
  FtpReply reply_;
  std::string line_;       // the current line, clipped to kMaxLineKept
  size_t lineBytes_ = 0;   // bytes of the current line on the wire
  size_t totalBytes_ = 0;  // bytes of the whole reply on the wire
  int multiCode_ = 0;      // code of an open multi-line reply, 0 if none
  bool bad_ = false;
  bool done_ = false;
  bool overlong_ = false;
};

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)": the first six comma-separated numbers.
bool ParsePasv(std::string_view text, uint8_t addr[4], uint16_t* port);
// "229 Entering Extended Passive Mode (|||port|)".
bool ParseEpsv(std::string_view text, uint16_t* port);
// "213 1234" (RFC 3659 SIZE): the decimal number after the code on a one-line reply, blanks
// around it allowed; false for anything else or a number over 2^63.
bool ParseSize(std::string_view text, uint64_t* size);
// The directory of a "257" reply: the text between its first pair of quotes, "" standing for one
// quote (RFC 959 appendix II); "" when there is none.
std::string QuotedPath(std::string_view text);
// Whether a FEAT reply lists the feature (case-insensitive, first word of a line).
bool HasFeature(std::string_view featText, std::string_view feature);

}  // namespace vel::net
