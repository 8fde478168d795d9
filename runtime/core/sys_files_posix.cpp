// The host side of the seam's file search, current directory and short names.
//
// The search walks opendir/readdir in the directory's own order and keeps the entries whose
// names match the last component of the pattern the way the platform's search does: '*' any
// run, '?' one character, letters without regard to case, a trailing ".*" also matching names
// without a dot and a trailing "." matching only names without one. Attributes follow what
// Wine shows for a Unix file: directory 0x10, otherwise archive 0x20; read-only when the owner
// may not write; hidden for a name starting with "." (but not "." and ".."); and the hidden and
// system bits stored in the extended attribute "user.DOSATTRIB" ("0x6"), where Wine keeps them.
// The host has no short names: short_name is always empty.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "runtime/core/sys.h"

namespace vel::sys {

struct FileSearch {
  DIR* dir;
  std::string directory;  // with its trailing '/'
  std::string pattern;    // the last component
};

namespace {

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Wildcard match with one backtracking point per '*' (linear in practice, never exponential).
bool Glob(const char* name, const char* pattern) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern && Fold(*pattern) == Fold(*name))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

bool Matches(const std::string& name, const std::string& pattern) {
  if (Glob(name.c_str(), pattern.c_str())) return true;
  if (name.find('.') != std::string::npos) return false;
  // No dot in the name: "x.*" matches "x", and "x." matches "x".
  std::size_t n = pattern.size();
  if (n >= 2 && pattern.compare(n - 2, 2, ".*") == 0)
    return Glob(name.c_str(), pattern.substr(0, n - 2).c_str());
  if (n >= 1 && pattern[n - 1] == '.') return Glob((name + ".").c_str(), pattern.c_str());
  return false;
}

std::uint32_t DosAttributes(const std::string& path) {
  char value[32];
  ssize_t n = getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
  if (n <= 0) return 0;
  value[n] = 0;
  return static_cast<std::uint32_t>(std::strtoul(value, nullptr, 16)) & 0x06;
}

void Fill(const FileSearch& s, const char* name, FoundFile* out) {
  std::string path = s.directory + name;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) lstat(path.c_str(), &st);
  std::size_t n = strnlen(name, sizeof out->name - 1);
  std::memcpy(out->name, name, n);
  out->name[n] = 0;
  out->short_name[0] = 0;
  std::uint32_t a = S_ISDIR(st.st_mode) ? 0x10u : 0x20u;
  if (!(st.st_mode & S_IWUSR)) a |= 0x01;
  if (name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) a |= 0x02;
  out->attributes = a | DosAttributes(path);
  out->size = static_cast<std::uint64_t>(st.st_size);
  time_t seconds = st.st_mtim.tv_sec;
  tm local{};
  out->written_known = localtime_r(&seconds, &local) != nullptr;
  out->written = LocalTimeFields{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                 local.tm_min, local.tm_sec, static_cast<int>(st.st_mtim.tv_nsec / 1000000)};
}

}  // namespace

bool FileSearchNext(FileSearch* search, FoundFile* out) {
  if (!search) return false;
  while (dirent* e = readdir(search->dir)) {
    if (!Matches(e->d_name, search->pattern)) continue;
    Fill(*search, e->d_name, out);
    return true;
  }
  return false;
}

FileSearch* FileSearchFirst(const char* pattern, FoundFile* out) {
  std::string text = pattern;
  std::size_t slash = text.rfind('/');
  auto* s = new FileSearch{nullptr, slash == std::string::npos ? "./" : text.substr(0, slash + 1),
                           slash == std::string::npos ? text : text.substr(slash + 1)};
  s->dir = s->pattern.empty() ? nullptr : opendir(s->directory.c_str());
  if (s->dir && FileSearchNext(s, out)) return s;
  SetLastError(s->dir ? kSysErrorFileNotFound : kSysErrorPathNotFound);
  if (s->dir) closedir(s->dir);
  delete s;
  return nullptr;
}

void FileSearchClose(FileSearch* search) {
  if (!search) return;
  closedir(search->dir);
  delete search;
}

bool FileApisUseOem() { return false; }

bool ChangeDirectory(const char* path) {
  if (chdir(path) == 0) return true;
  SetLastError(errno == ENOENT || errno == ENOTDIR ? kSysErrorPathNotFound : kSysErrorFileNotFound);
  return false;
}

std::uint32_t QueryCurrentDirectory(char* buf, std::uint32_t size) {
  if (size == 0) return 0;
  if (!getcwd(buf, size)) {
    buf[0] = 0;
    return 0;
  }
  return static_cast<std::uint32_t>(std::strlen(buf));
}

std::uint32_t QueryShortPath(const char* path, char* out, std::uint32_t size) {
  if (size) out[0] = 0;
  struct stat st {};
  SetLastError(stat(path, &st) == 0 ? kSysErrorInvalidParameter : kSysErrorFileNotFound);
  return 0;
}

}  // namespace vel::sys
