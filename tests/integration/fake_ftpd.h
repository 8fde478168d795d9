// A scripted FTP server for the fault cases no real server produces. It listens on a loopback
// port (IPv4, or IPv6 when asked), takes one control connection, and plays its script step by
// step on its own thread, recording every command line it received.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>
#include <thread>
#include <vector>

namespace nettest {

struct Step {
  enum Kind {
    Send,      // send text (no read first unless expect is set)
    Pasv,      // read the command, open a data listener, reply 227 (or text with %d,%d for p1,p2)
    Epsv,      // read the command, open a data listener, reply 229 with its port
    DataOut,   // accept the data connection, send text, close it
    DataDrop,  // accept, send text, reset the data connection
    DataIn,    // accept, read to the end (kept in received data)
    Silent,    // say nothing more; hold the connection until the client goes
    Close,     // close the control connection
    Trickle,   // send text one byte every `ms`; the script ends if the client goes meanwhile
    DataTrickle,  // accept the data connection, send text one byte every `ms`, close it
    Port,      // read PORT, remember its address, reply 200
    ActiveOut,    // connect to the PORT address from 127.0.0.1, send text, close
    Stranger,  // connect to the PORT address from 127.0.0.2, send text, wait until it is closed
  };
  Kind kind;
  std::string expect;  // the command the client must send first ("" = read nothing)
  std::string text;
  int ms = 1000;
};

// The usual opening: greeting, USER, PASS, FEAT (no features).
std::vector<Step> LoginSteps();
// A listing in ASCII mode over a passive data connection: `verb` ("LIST", "MLSD") answered with
// `listing`.
std::vector<Step> ListingSteps(const char* verb, const std::string& listing);

// One script of two parts, in order.
inline std::vector<Step> With(std::vector<Step> a, const std::vector<Step>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class FakeFtpd {
 public:
  explicit FakeFtpd(std::vector<Step> script, bool ipv6 = false);
  ~FakeFtpd();
  int Port() const { return port_; }
  bool Ok() const { return listen_ != INVALID_SOCKET; }
  // Waits for the script's end; the commands received, in order.
  std::vector<std::string> Commands();
  std::string DataReceived() { Commands(); return dataIn_; }
  bool Mismatch() { Commands(); return mismatch_; }
  // A trickle that the client cut short by going away.
  bool TrickleCut() { Commands(); return trickleCut_; }
  // The stranger's connection was closed by the client (not by the stranger's own wait).
  bool StrangerClosed() { Commands(); return strangerClosed_; }

 private:
  void Run();
  bool ReadLine(std::string* line);
  SOCKET TakeData();
  SOCKET listen_ = INVALID_SOCKET, ctrl_ = INVALID_SOCKET, dataListen_ = INVALID_SOCKET;
  int port_ = 0;
  bool ipv6_;
  std::vector<Step> script_;
  std::vector<std::string> commands_;
  std::string pending_, dataIn_;
  bool mismatch_ = false;
  bool trickleCut_ = false, strangerClosed_ = false;
  sockaddr_in active_{};  // the address of the last PORT
  std::thread thread_;
};

}  // namespace nettest
