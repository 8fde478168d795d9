// Benchmark: the real client's actions against a far server (bench/far_server.sh puts vsftpd
// behind a relay that holds every chunk back 50 ms each way). Each action is timed from the
// click to the moment the window shows its end, RUNS times:
//   connect   Connect until the root's rows are listed (a Disconnect between runs ends the
//             server session, so every run logs in)
//   get       "--- Get --->" of far10k.bin until "Finished" and the local file complete
//   put       "<--- Put ---" of a new 10 KiB file into pub, with the existence check, until its
//             row is listed by the refresh
//   open      a double-click on a folder not listed before (farN) until its rows are shown
//   bench_far_server.exe CLIENT.exe HOST:PORT LOCAL-DIR RUNS
// Prints "client ACTION_s MEDIAN" per action and every run's time.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "e2e/ui_driver.h"

namespace {

using uidriver::WaitUntil;

// Field numbers of the main window.
enum : int {
  kStart = 2, kClose = 3, kServerName = 7, kUserName = 9, kConnect = 12, kPassive = 13, kDisconnect = 14, kGet = 20, kPut = 21,
  kTree = 25, kLocalFiles = 31,
};
constexpr DWORD kActionLimitMs = 60000;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

ULONGLONG FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return ~0ull;
  return (static_cast<ULONGLONG>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

// Seconds from `click` to `done`; negative when the action did not end in time.
double Time(const std::function<void()>& click, const std::function<bool()>& done) {
  const ULONGLONG t0 = GetTickCount64();
  click();
  if (!WaitUntil(done, kActionLimitMs)) return -1;
  return (GetTickCount64() - t0) / 1000.0;
}

class Bench {
 public:
  Bench(std::string host, std::string local) : host_(std::move(host)), local_(std::move(local)) {}

  bool Start(const std::string& exe) {
    if (!c_.Start(exe, local_)) return false;
    WaitUntil([&] { return !c_.Enabled(kClose); }, 5000);
    c_.Press(kStart);
    return WaitUntil([&] { return c_.Enabled(kConnect); }, 5000);
  }

  double Connect() {
    c_.SetText(kServerName, host_);
    c_.SetText(kUserName, "anonymous");
    c_.SetCheck(kPassive, true);  // the relay carries passive data connections only
    return Time([&] { c_.Press(kConnect); },
                [&] { return c_.Enabled(kDisconnect) && c_.FindRow(kTree, "pub") > 0 && Idle(); });
  }

  bool Disconnect() {
    c_.Press(kDisconnect);
    return WaitUntil([&] { return c_.Enabled(kConnect); }, 10000);
  }

  // `preselect`: the row is selected first, so that the driver's click on it (which it waits
  // to see) is not timed. The first double-click must not be preselected: the driver learns
  // where the rows start from the selection its click makes.
  double Open(const std::string& folder, bool preselect = true) {
    const int row = c_.FindRow(kTree, folder);
    const int before = c_.RowCount(kTree);
    if (row < 0 || (preselect && !c_.Select(kTree, row))) return -1;
    return Time([&] { c_.DoubleClick(kTree, row); }, [&] { return c_.RowCount(kTree) > before && Idle(); });
  }

  double Get(const std::string& name, ULONGLONG size) {
    const std::string target = local_ + "\\" + name;
    DeleteFileA(target.c_str());
    if (!c_.Select(kTree, c_.FindRow(kTree, name))) return -1;
    return Time([&] { c_.Press(kGet); },
                [&] { return FileSize(target) == size && c_.Status(2) == "Finished"; });
  }

  double Put(const std::string& name) {
    if (!WaitUntil([&] { return c_.FindRow(kLocalFiles, name) >= 0; }, 10000)) return -1;
    if (!c_.Select(kTree, c_.FindRow(kTree, "pub")) || !c_.Select(kLocalFiles, c_.FindRow(kLocalFiles, name)))
      return -1;
    return Time([&] { c_.Press(kPut); },
                [&] { return c_.FindRow(kTree, name) > 0 && Idle(); });
  }

  void Stop() { c_.Stop(); }

 private:
  // Zone 3 is empty once no listing runs.
  bool Idle() { return c_.Status(3).empty(); }

  uidriver::Client c_;
  std::string host_;
  std::string local_;
};

void Report(const char* action, const std::vector<double>& seconds) {
  std::printf("client %s_runs", action);
  for (double s : seconds) std::printf(" %.3f", s);
  std::printf("\nclient %s_s %.3f\n", action, Median(seconds));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::puts("run through bench/far_server.sh (bash scripts/bench far_server)");
    return 0;
  }
  const std::string exe = argv[1], host = argv[2], local = argv[3];
  const int runs = std::atoi(argv[4]);
  Bench b(host, local);
  if (!b.Start(exe)) {
    std::puts("the client did not start");
    return 1;
  }

  std::vector<double> connect, get, put, open;
  for (int r = 0; r < runs; ++r) {
    connect.push_back(b.Connect());
    if (connect.back() < 0 || (r + 1 < runs && !b.Disconnect())) {
      std::puts("connect did not end in its listing");
      return 2;
    }
  }
  if (b.Open("pub", false) < 0) {
    std::puts("pub did not open");
    return 3;
  }
  for (int r = 0; r < runs; ++r) {
    get.push_back(b.Get("far10k.bin", 10240));
    put.push_back(b.Put("farput" + std::to_string(r + 1) + ".bin"));
    open.push_back(b.Open("far" + std::to_string(r + 1)));
    if (get.back() < 0 || put.back() < 0 || open.back() < 0) {
      std::printf("run %d: an action did not end (get %.3f, put %.3f, open %.3f)\n", r + 1, get.back(), put.back(),
                  open.back());
      return 4;
    }
  }
  Report("connect", connect);
  Report("get", get);
  Report("put", put);
  Report("open", open);
  b.Disconnect();
  b.Stop();
  return 0;
}
