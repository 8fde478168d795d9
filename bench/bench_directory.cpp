// Directory listing: ListDirectory of a directory of 20,000 files into the client's file queue,
// against the platform's own search loop over the same directory (FindFirstFileA/FindNextFileA
// on Windows, opendir/readdir/stat on the host) and against the listing without the queue.
// Also 5,000 files, so that the cost per entry shows whether anything grows with the queue.
// Prints the median of 7 runs of each.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "bench/bench_mode.h"
#include "runtime/core/memory.h"
#include "runtime/data/directory.h"
#include "runtime/data/queue.h"
#include "tests/support/file_queue_layout.h"

using namespace vel;

namespace {

#ifdef _WIN32
constexpr char kSep = '\\';
std::string MakeDir() {
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  for (unsigned i = GetCurrentProcessId();; ++i) {
    std::string d = std::string(base) + "velbench" + std::to_string(i);
    if (CreateDirectoryA(d.c_str(), nullptr)) return d;
  }
}
void Touch(const std::string& p) {
  CloseHandle(CreateFileA(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}
void Remove(const std::string& p) { DeleteFileA(p.c_str()); }
void RemoveDir(const std::string& p) { RemoveDirectoryA(p.c_str()); }
std::uint32_t PlatformLoop(const std::string& pattern) {
  WIN32_FIND_DATAA f;
  HANDLE h = FindFirstFileA(pattern.c_str(), &f);
  std::uint32_t n = 0;
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    FILETIME local;
    SYSTEMTIME st;
    FileTimeToLocalFileTime(&f.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &st);
    n += st.wYear != 0;
  } while (FindNextFileA(h, &f));
  FindClose(h);
  return n;
}
#else
constexpr char kSep = '/';
std::string MakeDir() {
  char templ[] = "/tmp/velbenchXXXXXX";
  return mkdtemp(templ);
}
void Touch(const std::string& p) {
  if (std::FILE* f = std::fopen(p.c_str(), "w")) std::fclose(f);
}
void Remove(const std::string& p) { unlink(p.c_str()); }
void RemoveDir(const std::string& p) { rmdir(p.c_str()); }
std::uint32_t PlatformLoop(const std::string& pattern) {
  std::string dir = pattern.substr(0, pattern.rfind('/'));
  DIR* d = opendir(dir.c_str());
  std::uint32_t n = 0;
  while (dirent* e = readdir(d)) {
    struct stat st;
    stat((dir + "/" + e->d_name).c_str(), &st);
    time_t t = st.st_mtime;
    tm local;
    localtime_r(&t, &local);
    n += local.tm_year != 0;
  }
  closedir(d);
  return n;
}
#endif

using vel::testing::kFileQueue;

void Ignore(void*, const std::uint8_t*) {}

template <typename Fn>
double MedianMs(Fn fn) {
  std::vector<double> ms;
  for (int i = 0, n = BenchPick(7, 1); i < n; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    fn();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

struct Result {
  double queue_ms, bare_ms, platform_ms;
  std::uint32_t records;
};

Result Measure(int files) {
  const std::string dir = MakeDir();
  for (int i = 0; i < files; ++i) Touch(dir + kSep + "file name " + std::to_string(i) + ".dat");
  const std::string pattern = dir + kSep + "*.*";
  const auto length = static_cast<std::uint32_t>(pattern.size());
  Result r{};
  r.queue_ms = MedianMs([&] {
    std::uint8_t buf[vel::testing::kFileQueueRecordSize] = {};
    QueueBlock q{buf, &kFileQueue, nullptr, sizeof buf};
    ListDirectoryText(&q, 0, pattern.data(), length);
    r.records = QueueRecords(&q);
    QueueDestroy(&q);
  });
  r.bare_ms = MedianMs([&] { EnumerateDirectory(pattern.data(), length, 0, Ignore, nullptr); });
  r.platform_ms = MedianMs([&] { PlatformLoop(pattern); });
  for (int i = 0; i < files; ++i) Remove(dir + kSep + "file name " + std::to_string(i) + ".dat");
  RemoveDir(dir);
  return r;
}

}  // namespace

int main() {
  MemoryInitTerm(0);
  const int sizes[] = {BenchPick(5000, 50), BenchPick(20000, 200)};
  double per_entry[2];
  for (int k = 0; k < 2; ++k) {
    Result r = Measure(sizes[k]);
    per_entry[k] = r.queue_ms * 1000.0 / sizes[k];
    std::printf("%6d files: ListDirectory into a queue %8.2f ms (%u records), listing alone %8.2f ms, "
                "platform search loop %8.2f ms; queue/platform %.2fx\n",
                sizes[k], r.queue_ms, r.records, r.bare_ms, r.platform_ms, r.queue_ms / r.platform_ms);
  }
  std::printf("cost per entry: %.3f us at %d, %.3f us at %d (ratio %.2f; 1.0 = linear)\n", per_entry[0], sizes[0],
              per_entry[1], sizes[1], per_entry[1] / per_entry[0]);
  return 0;
}
