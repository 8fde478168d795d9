// Local files for the client's unit tests: a fresh scratch folder per call, and whole-file
// reads and writes by ANSI path.
#pragma once
#include <windows.h>

#include <string>

namespace apptest {

inline std::string Scratch(const std::string& prefix) {
  static int made = 0;
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  const std::string dir = std::string(tmp) + prefix + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++made);
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

inline void Write(const std::string& path, const std::string& data) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD n = 0;
  WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &n, nullptr);
  CloseHandle(f);
}

// The file's bytes (at most 1 MiB), or "<none>".
inline std::string Read(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<none>";
  std::string out(1 << 20, '\0');
  DWORD n = 0;
  ReadFile(f, &out[0], static_cast<DWORD>(out.size()), &n, nullptr);
  CloseHandle(f);
  out.resize(n);
  return out;
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The names in a folder joined by ";", "." and ".." left out.
inline std::string Names(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  std::string s;
  if (h == INVALID_HANDLE_VALUE) return s;
  do {
    const std::string n = fd.cFileName;
    if (n != "." && n != "..") s += n + ";";
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return s;
}

}  // namespace apptest
