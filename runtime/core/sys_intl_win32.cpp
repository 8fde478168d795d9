// The Win32 side of the seam's clock, program-file, text-file, code-page and character services.
#include <windows.h>

#include "runtime/core/sys.h"

namespace vel::sys {

void LocalTime(LocalTimeFields* out) {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  out->year = st.wYear;
  out->month = st.wMonth;
  out->day = st.wDay;
  out->hour = st.wHour;
  out->minute = st.wMinute;
  out->second = st.wSecond;
  out->milliseconds = st.wMilliseconds;
}

int ExecutablePath(char* buf, int size) {
  if (size <= 0) return 0;
  DWORD n = GetModuleFileNameA(nullptr, buf, static_cast<DWORD>(size));
  if (n >= static_cast<DWORD>(size)) n = 0;  // truncated: no usable path
  buf[n] = 0;
  return static_cast<int>(n);
}

// The handle itself is the File pointer.
File* FileOpenRead(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<File*>(h);
}

int FileRead(File* file, void* buffer, int size) {
  if (!file || size <= 0) return 0;
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(file), buffer, static_cast<DWORD>(size), &got, nullptr)) return 0;
  return static_cast<int>(got);
}

void FileClose(File* file) {
  if (file) CloseHandle(reinterpret_cast<HANDLE>(file));
}

void OemToAnsiText(char* text, std::uint32_t length) {
  if (length) OemToCharBuffA(text, text, length);
}
void AnsiToOemText(char* text, std::uint32_t length) {
  if (length) CharToOemBuffA(text, text, length);
}

int CompareCharStrings(unsigned char a, unsigned char b) {
  char x[2] = {static_cast<char>(a), 0};
  char y[2] = {static_cast<char>(b), 0};
  return lstrcmpA(x, y);
}

bool CharIsAlpha(unsigned char c) { return IsCharAlphaA(static_cast<CHAR>(c)) != 0; }
bool CharIsUpper(unsigned char c) { return IsCharUpperA(static_cast<CHAR>(c)) != 0; }
unsigned char CharToLower(unsigned char c) {
  return static_cast<unsigned char>(reinterpret_cast<UINT_PTR>(CharLowerA(reinterpret_cast<LPSTR>(static_cast<UINT_PTR>(c)))));
}

}  // namespace vel::sys
