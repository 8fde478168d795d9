// Write-behind buffers of downloads (see the header for the buffers' life and the legal order).
#include "net/ftp_write_behind.h"

#include <cstring>
#include <new>

namespace vel::net {

DWORD WriteWhole(HANDLE file, const char* p, size_t n) {
  while (n > 0) {
    DWORD chunk = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
    DWORD done = 0;
    if (!WriteFile(file, p, chunk, &done, nullptr)) return GetLastError();
    if (done == 0) return ERROR_WRITE_FAULT;  // a handle that takes nothing would loop forever
    p += done;
    n -= done;
  }
  return 0;
}

DWORD WriteBehind::Error() {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

// The receiver's buffer: the one it fills, else a free one, else a new one while fewer than
// kBuffers exist, else the first the writer gives back. nullptr once a write failed.
WriteBehind::Buffer* WriteBehind::Current() {
  if (current_) return current_;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (error_) return nullptr;
    if (!free_.empty()) {
      current_ = free_.front();
      free_.pop_front();
      break;
    }
    if (all_.size() < kBuffers) {
      auto b = std::make_unique<Buffer>();
      b->bytes.reset(new (std::nothrow) char[kBufferBytes]);
      if (b->bytes) {
        all_.push_back(std::move(b));
        current_ = all_.back().get();
        break;
      }
      if (all_.empty()) {  // not even one buffer: nothing can be written
        error_ = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
      }
    }
    changed_.wait(lock);  // every buffer is queued or being written
  }
  current_->used = 0;
  return current_;
}

char* WriteBehind::Lend(size_t* room) {
  Buffer* b = Current();
  if (!b) return nullptr;
  *room = kBufferBytes - b->used;
  return b->bytes.get() + b->used;
}

DWORD WriteBehind::Put(const char* p, size_t n) {
  while (n > 0) {
    Buffer* b = Current();
    if (!b) break;
    char* at = b->bytes.get() + b->used;
    size_t take = n < kBufferBytes - b->used ? n : kBufferBytes - b->used;
    if (p != at) memcpy(at, p, take);  // bytes received into the lent room are already there
    b->used += take;
    p += take;
    n -= take;
    if (kBufferBytes - b->used < kLeastRoom) Queue();
  }
  return Error();
}

// Hands the receiver's buffer to the writer, which starts with the first one.
void WriteBehind::Queue() {
  Buffer* b = current_;
  current_ = nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  if (error_) {
    free_.push_back(b);
    return;
  }
  queued_.push_back(b);
  if (!thread_.joinable()) thread_ = std::thread(&WriteBehind::Writer, this);
  changed_.notify_all();
}

void WriteBehind::Writer() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || !queued_.empty(); });
    if (queued_.empty()) return;  // stopped: Finish waited for the queue, Stop emptied it
    Buffer* b = queued_.front();
    queued_.pop_front();
    writing_ = true;
    lock.unlock();
    DWORD e = WriteWhole(file_, b->bytes.get(), b->used);
    lock.lock();
    writing_ = false;
    b->used = 0;
    free_.push_back(b);
    if (e && !error_) {  // nothing behind a failed write may reach the file
      error_ = e;
      free_.insert(free_.end(), queued_.begin(), queued_.end());
      queued_.clear();
    }
    changed_.notify_all();
  }
}

DWORD WriteBehind::Finish() {
  if (current_ && current_->used > 0) {
    if (thread_.joinable()) {
      Queue();
    } else {  // the whole file fitted in one buffer: no thread was needed
      DWORD e = WriteWhole(file_, current_->bytes.get(), current_->used);
      current_->used = 0;
      std::lock_guard<std::mutex> lock(mutex_);
      if (!error_) error_ = e;
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return error_ || (queued_.empty() && !writing_); });
  stop_ = true;
  changed_.notify_all();
  lock.unlock();
  if (thread_.joinable()) thread_.join();
  return Error();
}

void WriteBehind::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    free_.insert(free_.end(), queued_.begin(), queued_.end());
    queued_.clear();
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

}  // namespace vel::net
