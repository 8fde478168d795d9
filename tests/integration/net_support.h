// Helpers of the FTP library's integration tests: the servers started by the ftpd fixture,
// a status-callback recorder, and local/remote file helpers.
#pragma once
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "net/ftpnet.h"

namespace nettest {

struct Server {
  std::string name;  // vsftpd, proftpd, pureftpd
  int port = 0;
  std::string root;  // the anonymous root, as a Windows path (Z:\...)
  std::string Host() const { return "127.0.0.1:" + std::to_string(port); }
};

// The servers of the fixture (environment AFC_FTPD_DIR); empty if the fixture did not run.
const std::vector<Server>& Servers();
const Server* FindServer(const std::string& name);
// Twisted's FTP server of the fixture (AFC_FTPD_DIR/twisted.txt), kept apart from Servers();
// null when the fixture did not start it.
const Server* TwistedServer();
// The fixture's vsftpd that takes one connection per address and ends a session idle for 2 s
// (AFC_FTPD_DIR/vsftpd-strict.txt; its commands in vsftpd-strict-protocol.log).
const Server* StrictVsftpd();

struct Note {
  HINTERNET handle;
  DWORD code;
  DWORD count;                  // 31/41: the byte count
  INTERNET_ASYNC_RESULT result; // 60/100
  std::string text;             // 10/11/20/21: the text
};

// Records every notification; one recorder at a time is installed as the callback target.
class Recorder {
 public:
  Recorder();
  ~Recorder();
  static void CALLBACK Callback(HINTERNET h, DWORD_PTR ctx, DWORD code, LPVOID info, DWORD len);
  // Waits for the next 100 not yet consumed; false on time-out.
  bool WaitComplete(INTERNET_ASYNC_RESULT* r, DWORD ms = 30000);
  std::vector<Note> Take();  // and clears
  void Clear();
  // Called inside the callback after recording, on the library's thread; set by the test's
  // thread while the library may be calling back.
  std::atomic<void (*)(const Note&)> onNote{nullptr};

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<Note> notes_;
  size_t completesSeen_ = 0, completesTaken_ = 0;
};
Recorder* CurrentRecorder();

// The codes with every run of 40/41 pairs folded into 4041 and of 30/31 pairs into 3031.
std::vector<DWORD> Folded(const std::vector<Note>& notes);
std::string Show(const std::vector<DWORD>& codes);
uint64_t DataBytes(const std::vector<Note>& notes, DWORD code);  // sum of 31 or 41 counts

std::string ScratchDir();  // a fresh local folder for the calling test
std::string ReadAll(const std::string& path, bool* ok = nullptr);
bool WriteAll(const std::string& path, const std::string& data);
bool Exists(const std::string& path);
// Files in the folder other than the one named: a temporary download left behind shows here.
int OtherFiles(const std::string& dir, const std::string& keep);
std::string Bytes(size_t n, unsigned seed);
// Uploads Bytes(n, seed) as the remote file (binary, on a synchronous connection); those bytes.
std::string PutBytes(HINTERNET conn, const std::string& remote, size_t n, unsigned seed);
std::string LastResponseText(DWORD* code = nullptr);
std::string ErrorText(DWORD code);
int UnusedPort();  // a loopback port nobody listens on  // from the library's message table

}  // namespace nettest
