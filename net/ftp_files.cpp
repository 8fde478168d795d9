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
  // The file GetTempFileNameA made is empty: open it without truncating. Under Wine on ext4 a
  // file truncated on open is flushed to disk when it is closed (the file system's guard for
  // programs that rewrite files in place), which made closing a 1 GiB download take 0.4 s.
  h_ = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h_ == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    DeleteFileA(temp);
    return e;
  }
  target_ = full;
  temp_ = temp;
  behind_ = std::make_unique<WriteBehind>(h_);
  return 0;
}

DWORD DownloadFile::Write(const char* p, size_t n) { return behind_->Put(p, n); }

DWORD DownloadFile::Flush() { return behind_ ? behind_->Finish() : 0; }

namespace {

// Puts the finished download in the target's place. An existing target is first renamed aside,
// then the download takes its name, then the old file is deleted: a rename onto an existing
// file makes ext4 (under Wine) flush the new file's data first, 0.2-0.6 s for 1 GiB, which a
// rename onto a free name does not. The old file is never lost: if the download cannot take
// its name, the old file gets it back.
DWORD ReplaceTarget(const std::string& temp, const std::string& target) {
  if (GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES)
    return MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED) ? 0 : GetLastError();
  const std::string dir = target.substr(0, target.find_last_of('\\') + 1);
  char aside[MAX_PATH];
  if (!GetTempFileNameA(dir.c_str(), "vfo", 0, aside) || !DeleteFileA(aside) ||
      !MoveFileExA(target.c_str(), aside, 0)) {
    // No name to set it aside under (or the target is open elsewhere): replace in one step.
    return MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)
               ? 0 : GetLastError();
  }
  if (!MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED)) {
    const DWORD e = GetLastError();
    MoveFileExA(aside, target.c_str(), 0);
    return e;
  }
  DeleteFileA(aside);
  return 0;
}

}  // namespace

DWORD DownloadFile::Commit() {
  if (DWORD e = Flush()) {  // a write that failed late: the file is not whole
    Discard();
    return e;
  }
  behind_.reset();
  if (h_ != INVALID_HANDLE_VALUE) {
    CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }
  if (DWORD e = ReplaceTarget(temp_, target_)) {
    Discard();
    return e;
  }
  temp_.clear();
  return 0;
}

void DownloadFile::Discard() {
  behind_.reset();  // stops the writer before its handle closes
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
