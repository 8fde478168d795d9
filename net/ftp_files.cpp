// Temporary-file downloads and plain uploads.
#include "net/ftp_files.h"

namespace vel::net {

DWORD DownloadFile::Create(const std::string& target) {
  char full[MAX_PATH];
  char* namePart = nullptr;
  DWORD n = GetFullPathNameA(target.c_str(), MAX_PATH, full, &namePart);
  if (n == 0 || n >= MAX_PATH || !namePart) return n >= MAX_PATH ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
  std::string dir(full, namePart);
  char temp[MAX_PATH];
  if (!GetTempFileNameA(dir.c_str(), "vft", 0, temp)) return GetLastError();
  h_ = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h_ == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    DeleteFileA(temp);
    return e;
  }
  target_ = full;
  temp_ = temp;
  return 0;
}

DWORD DownloadFile::Write(const char* p, size_t n) {
  while (n > 0) {
    DWORD chunk = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
    DWORD done = 0;
    if (!WriteFile(h_, p, chunk, &done, nullptr)) return GetLastError();
    p += done;
    n -= done;
  }
  return 0;
}

DWORD DownloadFile::Commit() {
  if (h_ != INVALID_HANDLE_VALUE) {
    CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }
  if (!MoveFileExA(temp_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
    DWORD e = GetLastError();
    Discard();
    return e;
  }
  temp_.clear();
  return 0;
}

void DownloadFile::Discard() {
  if (h_ != INVALID_HANDLE_VALUE) {
    CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }
  if (!temp_.empty()) {
    DeleteFileA(temp_.c_str());
    temp_.clear();
  }
}

DWORD UploadFile::Open(const std::string& path) {
  h_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  return h_ == INVALID_HANDLE_VALUE ? GetLastError() : 0;
}

DWORD UploadFile::Read(char* p, size_t cap, size_t* got) {
  DWORD done = 0;
  if (!ReadFile(h_, p, static_cast<DWORD>(cap), &done, nullptr)) return GetLastError();
  *got = done;
  return 0;
}

}  // namespace vel::net
