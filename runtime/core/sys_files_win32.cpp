// The Win32 side of the seam's file search, current directory and short names.
//
// A FileSearch is the platform's find handle itself. The last-write time is turned into local
// calendar time the way the listing shows it: FileTimeToLocalFileTime (the current bias, not the
// bias in force at that date) and then FileTimeToSystemTime.
#include <windows.h>

#include <cstring>

#include "runtime/core/sys.h"

namespace vel::sys {
namespace {

void CopyName(char* out, std::size_t size, const char* name) {
  std::size_t n = strnlen(name, size - 1);
  std::memcpy(out, name, n);
  out[n] = 0;
}

void Fill(const WIN32_FIND_DATAA& data, FoundFile* out) {
  CopyName(out->name, sizeof out->name, data.cFileName);
  CopyName(out->short_name, sizeof out->short_name, data.cAlternateFileName);
  out->attributes = data.dwFileAttributes;
  out->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  FILETIME local{};
  SYSTEMTIME st{};
  out->written_known = FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
                       FileTimeToSystemTime(&local, &st);
  out->written = LocalTimeFields{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                                 st.wMilliseconds};
}

}  // namespace

FileSearch* FileSearchFirst(const char* pattern, FoundFile* out) {
  WIN32_FIND_DATAA data{};
  HANDLE h = FindFirstFileA(pattern, &data);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  Fill(data, out);
  return reinterpret_cast<FileSearch*>(h);
}

bool FileSearchNext(FileSearch* search, FoundFile* out) {
  WIN32_FIND_DATAA data{};
  if (!search || !FindNextFileA(reinterpret_cast<HANDLE>(search), &data)) return false;
  Fill(data, out);
  return true;
}

void FileSearchClose(FileSearch* search) {
  if (search) FindClose(reinterpret_cast<HANDLE>(search));
}

bool FileApisUseOem() { return !AreFileApisANSI(); }

bool ChangeDirectory(const char* path) { return SetCurrentDirectoryA(path) != 0; }

std::uint32_t QueryCurrentDirectory(char* buf, std::uint32_t size) {
  if (size == 0) return 0;
  DWORD n = GetCurrentDirectoryA(size, buf);
  if (n == 0 || n >= size) {  // failed, or the size needed was returned
    buf[0] = 0;
    return 0;
  }
  return n;
}

std::uint32_t QueryShortPath(const char* path, char* out, std::uint32_t size) {
  if (size == 0) return 0;
  DWORD n = GetShortPathNameA(path, out, size);
  if (n >= size) {  // too small: the size needed was returned and nothing written
    out[0] = 0;
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return n;
}

}  // namespace vel::sys
