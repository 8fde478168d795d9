// Local files of transfers. A download goes to a temporary file in the target's directory and
// replaces the target only when the whole transfer succeeded (Commit); otherwise Discard
// removes the temporary file and the target is untouched. An upload reads the local file as is.
#pragma once
#include <windows.h>

#include <string>

#include "net/ftp_engine.h"

namespace vel::net {

class DownloadFile : public DataSink {
 public:
  ~DownloadFile() { Discard(); }
  DWORD Create(const std::string& target);
  DWORD Write(const char* p, size_t n) override;
  DWORD Commit();
  void Discard();

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
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
