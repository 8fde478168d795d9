// The host side of the seam's clock, program-file, text-file, code-page and character services.
// The host has one code page, so the OEM conversions leave text alone and the character tests
// are those of the "C" locale (nothing above 127 is a letter).
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "runtime/core/sys.h"

namespace vel::sys {

void LocalTime(LocalTimeFields* out) {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  time_t seconds = tv.tv_sec;
  tm local{};
  localtime_r(&seconds, &local);
  out->year = local.tm_year + 1900;
  out->month = local.tm_mon + 1;
  out->day = local.tm_mday;
  out->hour = local.tm_hour;
  out->minute = local.tm_min;
  out->second = local.tm_sec;
  out->milliseconds = static_cast<int>(tv.tv_usec / 1000);
}

int ExecutablePath(char* buf, int size) {
  if (size <= 0) return 0;
  ssize_t n = readlink("/proc/self/exe", buf, static_cast<std::size_t>(size - 1));
  if (n < 0) n = 0;
  buf[n] = 0;
  return static_cast<int>(n);
}

struct File {
  int fd;
};

File* FileOpenRead(const char* path) {
  int fd = open(path, O_RDONLY);
  if (fd < 0) return nullptr;
  File* f = new File{fd};
  return f;
}

int FileRead(File* file, void* buffer, int size) {
  if (!file || size <= 0) return 0;
  ssize_t n = read(file->fd, buffer, static_cast<std::size_t>(size));
  return n < 0 ? 0 : static_cast<int>(n);
}

void FileClose(File* file) {
  if (!file) return;
  close(file->fd);
  delete file;
}

void OemToAnsiText(char*, std::uint32_t) {}
void AnsiToOemText(char*, std::uint32_t) {}

int CompareCharStrings(unsigned char a, unsigned char b) {
  char x[2] = {static_cast<char>(a), 0};
  char y[2] = {static_cast<char>(b), 0};
  return std::strcoll(x, y);
}

bool CharIsAlpha(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool CharIsUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
unsigned char CharToLower(unsigned char c) { return CharIsUpper(c) ? static_cast<unsigned char>(c + 32) : c; }

}  // namespace vel::sys
