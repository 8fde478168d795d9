// Overall limits on a connection's reads and writes, beyond the wait of each single call (which
// restarts with every byte, so a server that sends one byte a second would never be cut off by
// it alone). A socket consults its pace before and during every wait; the engine sets the mode.
//
//   Reply: the reply must be complete within limitMs of its first byte.
//   Data:  in every window of limitMs the connection must move more bytes than the window has
//          whole seconds: a link that moves one byte a second (a server trickling its data) is
//          cut off within two windows, wherever its bytes fall against the windows' edges.
//
// Portable (no Windows headers): times are milliseconds of a monotonic clock given by the caller.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vel::net {

class Pace {
 public:
  enum class Mode { Off, Reply, Data };

  void Off() { *this = Pace{}; }
  // A reply begins; `started` when its first byte is already in hand (read with an earlier one).
  void Reply(uint32_t limitMs, bool started, uint64_t now);
  // A data connection begins moving data now.
  void Data(uint32_t limitMs, uint64_t now);
  // The socket moved n bytes at `now`, received (`in`) or sent. A reply's clock starts with the
  // first byte received; a data connection counts the bytes it sends here.
  void Moved(size_t n, bool in, uint64_t now);
  // A data connection handed n received bytes to its reader: over TLS the plain bytes, so a
  // server cannot meet the rate with one record per byte.
  void Delivered(size_t n, uint64_t now);
  // Whether the limit is passed at `now` (it stays passed until the mode is set again).
  bool Expired(uint64_t now);

 private:
  Mode mode_ = Mode::Off;
  uint32_t limitMs_ = 0;
  bool started_ = false;
  uint64_t since_ = 0;  // Reply: the first byte; Data: the start of the current window
  uint64_t moved_ = 0;  // Data: bytes of the current window
  bool expired_ = false;
};

}  // namespace vel::net
