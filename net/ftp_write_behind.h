// Writing a download's bytes behind its receive: the file's writes run on a thread of their
// own, so that the disk's work overlaps the network's instead of adding to it.
//
// The receiving side fills one buffer at a time. It may receive straight into that buffer
// (Lend, then Put on the lent room: no copy between the socket and the disk) or hand over
// bytes from elsewhere (Put copies them). A buffer with less than kLeastRoom free is queued for
// the writer and the next free one is taken; kBuffers buffers of kBufferBytes bound the memory,
// and the receiver waits while all of them are queued. A file that fits in the first buffer
// never starts the thread: Finish writes it on the caller's thread.
//
// Buffer life: free -> filling (the receiver's, one at a time) -> queued -> being written ->
// free. The first write error is kept: the writer drops what is queued and stops, and every
// later Put, Lend and Finish returns it, so a disk that fills mid-download ends the transfer
// within a buffer or two instead of after the whole file.
//
// Legal order: any number of Lend/Put, then Finish (every byte written, or the first error) or
// Stop (the writes queued are dropped; the one under way ends first); the destructor stops.
// One receiving thread; the caller owns the handle and closes it only after Finish or Stop.
#pragma once
#include <windows.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vel::net {

class WriteBehind {
 public:
  static constexpr size_t kBuffers = 4;
  static constexpr size_t kBufferBytes = 1u << 20;
  static constexpr size_t kLeastRoom = 64u << 10;

  explicit WriteBehind(HANDLE file) : file_(file) {}
  ~WriteBehind() { Stop(); }
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Room to receive into at the end of the current buffer (*room bytes); nullptr once a write
  // failed.
  char* Lend(size_t* room);
  // Takes n bytes: at the room Lend gave (nothing copied) or from anywhere else (copied).
  // 0 or the first write error.
  DWORD Put(const char* p, size_t n);
  // Writes what is left and waits for every write: 0 or the first write error.
  DWORD Finish();
  void Stop();

 private:
  struct Buffer {
    std::unique_ptr<char[]> bytes;
    size_t used = 0;
  };

  Buffer* Current();
  void Queue();
  void Writer();
  DWORD Error();

  HANDLE file_;
  std::vector<std::unique_ptr<Buffer>> all_;  // made as they are first needed, up to kBuffers
  Buffer* current_ = nullptr;                  // the receiver's
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Buffer*> free_, queued_;  // under mutex_
  bool writing_ = false;               // the writer holds a buffer (under mutex_)
  bool stop_ = false;                  // under mutex_
  DWORD error_ = 0;                    // the first write error (under mutex_)
  std::thread thread_;
};

// Writes all n bytes to a file (WriteFile takes at most a DWORD at once): 0 or the error.
DWORD WriteWhole(HANDLE file, const char* p, size_t n);

}  // namespace vel::net
