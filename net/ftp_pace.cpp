// Reply deadlines and the data connections' least rate.
#include "net/ftp_pace.h"

namespace vel::net {

void Pace::Reply(uint32_t limitMs, bool started, uint64_t now) {
  *this = Pace{};
  mode_ = Mode::Reply;
  limitMs_ = limitMs;
  started_ = started;
  since_ = now;
}

void Pace::Data(uint32_t limitMs, uint64_t now) {
  *this = Pace{};
  mode_ = Mode::Data;
  limitMs_ = limitMs;
  since_ = now;
}

void Pace::Moved(size_t n, bool in, uint64_t now) {
  if (n == 0) return;
  if (mode_ == Mode::Reply && !started_ && in) {
    started_ = true;
    since_ = now;
  }
  if (mode_ == Mode::Data && !in) moved_ += n;
  Expired(now);
}

void Pace::Delivered(size_t n, uint64_t now) {
  if (mode_ != Mode::Data) return;
  moved_ += n;
  Expired(now);
}

bool Pace::Expired(uint64_t now) {
  if (expired_ || mode_ == Mode::Off || limitMs_ == 0) return expired_;
  if (now - since_ < limitMs_) return false;
  if (mode_ == Mode::Reply) {
    expired_ = started_;
    return expired_;
  }
  // A window is over: judge it, then start the next one from here.
  expired_ = moved_ <= limitMs_ / 1000;
  since_ = now;
  moved_ = 0;
  return expired_;
}

}  // namespace vel::net
