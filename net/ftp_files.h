// Local files of transfers. A download goes to a temporary file in the target's directory and
// replaces the target only when the whole transfer succeeded (Commit); otherwise Discard
// removes the temporary file and the target is untouched. The file's writes run behind the
// receive (net/ftp_write_behind.h); Commit waits for them, and a failed one fails the Commit.
// An upload reads the local file as is.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "net/ftp_engine.h"
#include "net/ftp_write_behind.h"

namespace vel::net {

class DownloadFile : public DataSink {
 public:
  ~DownloadFile() { Discard(); }
  DWORD Create(const std::string& target);
  DWORD Write(const char* p, size_t n) override;
  char* Lend(size_t* room) override { return behind_ ? behind_->Lend(room) : nullptr; }
  DWORD Flush() override;
  DWORD Commit();
  void Discard();

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
  std::unique_ptr<WriteBehind> behind_;  // while h_ is open
  std::string target_, temp_;
};

class UploadFile : public DataSource {
 public:
  ~UploadFile() { if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_); }
  DWORD Open(const std::string& path);
  DWORD Read(char* p, size_t cap, size_t* got) override;

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace vel::net
