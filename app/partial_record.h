// The record kept beside an interrupted binary transfer, and the choice whether to resume it.
// Portable (no platform calls): the sanitizer build and the fuzzer read records natively.
//
// A record is a short text file, every line "key value" and "\n"-terminated, in this order:
//
//   ftpclient partial 1
//   kind get|put
//   server <the server as the caller names it: host:port and user>
//   remote <the remote path as the client names it>
//   remote-size <bytes, or ->        get: when the download began; put: at the break
//   remote-time <MDTM's YYYYMMDDHHMMSS[.fff], or ->   get: when the download began
//   kept <bytes>                     get: bytes of the file in the partial data; put: 0
//   local-size <bytes, or ->         put: the local file's size when it was interrupted
//   local-time <FILETIME as a number, or ->   put: its last write time then
//   end <CRC-32 of every byte before this line, 8 lower-case hex digits>
//
// The reader is strict: any other order, key, spelling of a number (sign, leading zero, more
// than 19 digits), a value with a byte below 0x20, a missing or wrong end line, a byte after it,
// or facts that contradict each other (more kept than the remote size) make it no record.
// A torn or corrupted record is therefore never resumed from.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace ftpcl {

constexpr std::int64_t kUnknownSize = -1;

struct PartialRecord {
  enum class Kind { kGet, kPut };
  Kind kind = Kind::kGet;
  std::string server;
  std::string remote;
  std::int64_t remote_size = kUnknownSize;
  std::string remote_time;  // "" when the server gave none
  std::int64_t kept = 0;
  std::int64_t local_size = kUnknownSize;
  std::int64_t local_time = kUnknownSize;
};

// The record's text; "" when a value cannot be written (a control byte in a text, a negative
// count other than kUnknownSize): such a record is not kept.
std::string WritePartialRecord(const PartialRecord& r);
// The record in `text`; false (and *out untouched) for anything but a whole, consistent record.
bool ReadPartialRecord(std::string_view text, PartialRecord* out);

// What the server says now, before a new transfer of the recorded file.
struct ServerFacts {
  bool binary = true;        // the transfer asked for is binary (ASCII always starts over)
  bool can_restart = false;  // get: FEAT announced "REST STREAM"; put: REST+STOR or APPE work
  std::int64_t remote_size = kUnknownSize;  // SIZE in binary type; kUnknownSize without an answer
  std::string remote_time;                  // MDTM; "" without an answer
  std::int64_t local_size = kUnknownSize;   // put: the local file now
  std::int64_t local_time = kUnknownSize;
};

enum class Resume {
  kOffer,      // ask the user whether to go on from `offset`
  kStartOver,  // transfer the whole file; `reason` says why (shown to the user)
};
struct ResumeChoice {
  Resume resume;
  std::int64_t offset;  // where the transfer goes on (kOffer)
  std::string reason;   // kStartOver: why the interrupted transfer cannot go on ("": nothing was kept)
};

// A download goes on only where the server can restart (REST STREAM), and SIZE and MDTM (each
// where the record has it) show the same file as when it began. A record that had no time, or
// an answer missing now, cannot show that: the download starts over.
ResumeChoice DecideGet(const PartialRecord& r, const ServerFacts& now);
// An upload goes on only for the file it was: the local size and time as at the break, the
// remote file still as long as it was then, shorter than the local file, and a server that
// restarts uploads.
ResumeChoice DecidePut(const PartialRecord& r, const ServerFacts& now);

std::uint32_t Crc32(std::string_view bytes);

}  // namespace ftpcl
