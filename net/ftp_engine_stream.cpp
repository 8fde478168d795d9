// The engine's operations for the caller's own commands and the transfers the caller drives
// (FtpCommandA, FtpOpenFileA). The states they pass through are the engine's: their transitions
// stay in FtpEngine::OnReply, and FtpEngine::To still writes every one.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "net/ftp_engine.h"
#include "net/ftpnet.h"

namespace vel::net {

namespace {

// The command word of a line, in upper case ("rest 100" -> "REST"), and what follows its blanks.
std::string Verb(const std::string& line, std::string* argument) {
  size_t end = line.find(' ');
  std::string verb = line.substr(0, end);
  for (char& ch : verb) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  size_t from = end == std::string::npos ? line.size() : line.find_first_not_of(' ', end);
  *argument = from == std::string::npos ? std::string() : line.substr(from);
  while (!argument->empty() && argument->back() == ' ') argument->pop_back();
  return verb;
}

}  // namespace

DWORD FtpEngine::Command(const std::string& line) {
  if (state_ != St::Ready) return ERROR_FTP_DROPPED;
  arg1_ = line;
  const DWORD e = Run(Op::Raw, St::Raw);
  type_ = 0;
  std::string argument;
  if (Verb(line, &argument) != "REST") {
    rest_.clear();  // the server drops a marker that is not followed by its transfer
  } else if (e) {
    rest_.clear();
  } else {
    rest_ = argument.empty() ? "0" : argument;
    serverRest_ = true;
  }
  return e;
}

DWORD FtpEngine::OpenStream(StreamKind kind, const std::string& arg, bool ascii) {
  if (state_ != St::Ready || stream_ != StreamState::None) return ERROR_FTP_DROPPED;
  // The caller's marker is for this transfer only, whether it succeeds or not.
  PlanTransfer(kind == StreamKind::Retr, !rest_.empty() ? rest_ : serverRest_ ? "0" : "");
  rest_.clear();
  arg1_ = arg;
  ascii_ = ascii;
  streamError_ = 0;
  streamUpload_ = kind == StreamKind::Stor;
  streamText_.clear();
  streamTextPos_ = 0;
  streamCrlf_ = CrlfConverter{};
  const Op op = kind == StreamKind::Retr ? Op::OpenRetr : kind == StreamKind::Stor ? Op::OpenStor : Op::OpenRaw;
  const DWORD e = Run(op, TransferStart());
  if (kind == StreamKind::Raw) type_ = 0;  // the caller's line may have been anything
  if (e) return e;
  // Answered at once with its final reply: nothing is left to move.
  stream_ = state_ == St::Stream ? StreamState::Open : StreamState::Over;
  return 0;
}

bool FtpEngine::StreamSize(uint64_t* size) const {
  if (!sizeKnown_) return false;
  *size = size_;
  return true;
}

// The stream's data connection ends (after its last byte, e == 0, or failing with e) and the
// final reply is read; the stream is Over with the result.
DWORD FtpEngine::EndStreamWith(DWORD e) {
  EndData(e);
  Drive();
  stream_ = StreamState::Over;
  streamError_ = error_;
  return streamError_;
}

DWORD FtpEngine::ReadStream(char* p, size_t cap, size_t* got) {
  *got = 0;
  if (stream_ == StreamState::None || streamUpload_) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  if (stream_ == StreamState::Over) return streamError_;
  if (state_ != St::Stream) {  // the connection was closed under the stream
    stream_ = StreamState::Over;
    return streamError_ = error_ ? error_ : ERROR_FTP_DROPPED;
  }
  if (streamTextPos_ == streamText_.size()) {
    // ASCII: the converted text can be longer than what came; the rest waits for the next read.
    if (ascii_) streamIn_.resize(kStreamChunk);
    char* into = ascii_ ? streamIn_.data() : p;
    const size_t room = ascii_ ? std::min(cap, kStreamChunk) : cap;
    size_t n = 0;
    if (const DWORD e = data_->Recv(into, room, &n, timeouts_.receive, cancel_)) return EndStreamWith(e);
    if (n == 0) return EndStreamWith(0);
    dataMoved_ += n;
    if (!ascii_) {
      *got = n;
      ReportStreamData(INTERNET_STATUS_RECEIVING_RESPONSE, n);
      return 0;
    }
    streamCrlf_.Convert(into, n, &streamText_);
    streamTextPos_ = 0;
    *got = std::min(cap, streamText_.size());
    memcpy(p, streamText_.data(), *got);
    streamTextPos_ = *got;
    ReportStreamData(INTERNET_STATUS_RECEIVING_RESPONSE, n);
    return 0;
  }
  *got = std::min(cap, streamText_.size() - streamTextPos_);
  memcpy(p, streamText_.data() + streamTextPos_, *got);
  streamTextPos_ += *got;
  return 0;
}

DWORD FtpEngine::WriteStream(const char* p, size_t n) {
  if (stream_ == StreamState::None || !streamUpload_) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  if (stream_ == StreamState::Over) return streamError_ ? streamError_ : ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  if (state_ != St::Stream) {
    stream_ = StreamState::Over;
    return streamError_ = error_ ? error_ : ERROR_FTP_DROPPED;
  }
  if (ascii_) {
    streamCrlf_.Convert(p, n, &streamText_);
    p = streamText_.data();
    n = streamText_.size();
  }
  if (const DWORD e = data_->Send(p, n, timeouts_.send, cancel_)) return EndStreamWith(e);
  dataMoved_ += n;
  ReportStreamData(INTERNET_STATUS_SENDING_REQUEST, n);
  return 0;
}

DWORD FtpEngine::EndStream() {
  DWORD e = 0;
  if (stream_ == StreamState::Open && state_ == St::Stream) {
    if (streamUpload_) {
      e = EndStreamWith(0);
    } else {
      // Left before its end: the data connection is cut, and the server's word on the cut
      // transfer is no error of the caller's.
      owedReply_ = !finalSeen_;  // whatever the replies after the cut, a pool will not bet on them
      if (!finalSeen_ && dataTls_) {
        To(St::Abor);
      } else {
        data_->Close();
        data_.reset();
        To(finalSeen_ ? St::Ready : St::XferCut);
      }
      Drive();
      e = state_ == St::Ready ? 0 : (error_ ? error_ : ERROR_FTP_DROPPED);
    }
  } else if (stream_ == StreamState::Open) {
    e = error_ ? error_ : ERROR_FTP_DROPPED;  // closed under the stream
  } else {
    e = streamError_;
  }
  stream_ = StreamState::None;
  streamText_.clear();
  streamIn_.clear();
  op_ = Op::None;
  return e;
}

// Progress of a caller's read or write: busy (30/40) and done (31/41) with its bytes, the last
// thing the call does, so a callback may close the handle from inside it (the caller counts
// the file's bytes it reads or writes itself: no file-bytes report follows).
void FtpEngine::ReportStreamData(DWORD busy_code, size_t n) {
  size_t pending = n;
  ReportData(busy_code, &pending, false);
}

}  // namespace vel::net
