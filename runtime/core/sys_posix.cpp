// The POSIX side of the runtime core's seam: only for the host build (sanitizers, fuzzers,
// benchmarks). Resources come from the generated table of the message texts; the "profile"
// is the environment (VEL_PROFILE_<section>_<key>, blanks as underscores) so that tests can
// set values; there is no message box: the default answer is "No".
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <ctime>
#include <sys/time.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/core/sys.h"

namespace vel::sys {
namespace {
struct MessageRow {
  unsigned id;
  const char* text;
};
const MessageRow kMessages[] = {
#include "message_texts.inc"
};
thread_local std::uint32_t t_last_error = 0;
}  // namespace

void* Reserve(void* preferred, std::size_t size) {
  void* p = mmap(preferred, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

bool Commit(void* address, std::size_t size) {
  return mprotect(address, size, PROT_READ | PROT_WRITE) == 0;
}

void Release(void* base, std::size_t size) { munmap(base, size); }

void* Allocate(std::size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

void* GlobalBlockAlloc(std::size_t size) { return std::calloc(1, size); }
void GlobalBlockFree(void* block) { std::free(block); }

void* ExecutableInstance() {
  static char marker;  // any stable non-null value identifies "the executable"
  return &marker;
}

struct Lock {
  pthread_mutex_t mutex;
};

Lock* LockCreate() {
  auto* lock = static_cast<Lock*>(std::malloc(sizeof(Lock)));
  if (!lock) return nullptr;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&lock->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  return lock;
}

void LockDelete(Lock* lock) {
  if (!lock) return;
  pthread_mutex_destroy(&lock->mutex);
  std::free(lock);
}

void LockEnter(Lock* lock) { pthread_mutex_lock(&lock->mutex); }
void LockLeave(Lock* lock) { pthread_mutex_unlock(&lock->mutex); }

std::uint32_t LastError() { return t_last_error; }
void SetLastError(std::uint32_t code) { t_last_error = code; }

int LoadStringResource(unsigned id, char* buf, int size) {
  if (size <= 0) return 0;
  for (const MessageRow& row : kMessages) {
    if (row.id != id) continue;
    int n = static_cast<int>(std::strlen(row.text));
    if (n > size - 1) n = size - 1;
    std::memcpy(buf, row.text, n);
    buf[n] = 0;
    return n;
  }
  buf[0] = 0;
  return 0;
}

int ProfileString(const char* section, const char* key, const char* fallback, char* buf, int size) {
  if (size <= 0) return 0;
  std::string name = std::string("VEL_PROFILE_") + section + "_" + key;
  for (char& c : name)
    if (c == ' ' || c == '.') c = '_';
  const char* value = std::getenv(name.c_str());
  if (!value) value = fallback ? fallback : "";
  int n = static_cast<int>(std::strlen(value));
  if (n > size - 1) n = size - 1;
  std::memcpy(buf, value, n);
  buf[n] = 0;
  return n;
}

bool AppendToFile(const char* path, const void* data, std::size_t length, bool truncate) {
  int fd = open(path, O_WRONLY | O_CREAT | (truncate ? O_TRUNC : O_APPEND), 0644);
  if (fd < 0) return false;
  ssize_t n = write(fd, data, length);
  close(fd);
  return n == static_cast<ssize_t>(length);
}

void WriteAuxDevice(const void* data, std::size_t length) {
  ssize_t n = write(2, data, length);
  (void)n;
}

int ShowMessageBox(const char* text, const char* title, unsigned style) {
  std::fprintf(stderr, "[message box] %s: %s\n", title, text);
  return (style & 0xF) == kYesNo ? kAnswerNo : kAnswerOk;
}

void ExitProcess(unsigned code) { _exit(static_cast<int>(code)); }

void AbortProcess() { std::abort(); }

// The host computes doubles with SSE2: no precision to set.
void ResetFpu() {}
void UseDefaultFpuControl() {}

int CallerAddresses(void** out, int count) {
  void* frames[64];
  int n = backtrace(frames, count + 2 > 64 ? 64 : count + 2);
  int k = n > 2 ? n - 2 : 0;
  if (k > count) k = count;
  std::memcpy(out, frames + 2, sizeof(void*) * k);
  return k;
}

std::uint32_t LocalHundredthsSinceMidnight() {
  timeval now{};
  gettimeofday(&now, nullptr);
  const std::time_t seconds = now.tv_sec;
  std::tm local{};
  localtime_r(&seconds, &local);
  return static_cast<std::uint32_t>(((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 100 +
                                    now.tv_usec / 10000);
}

}  // namespace vel::sys
