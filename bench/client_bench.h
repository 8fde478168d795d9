// The real client driven through its window for the benchmarks (ui_driver under Wine): each
// action timed from its click to the moment the window shows its end.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "e2e/ui_driver.h"

namespace clientbench {

using uidriver::WaitUntil;


// Field numbers of the main window.
enum : int {
  kStart = 2, kClose = 3, kServerName = 7, kUserName = 9, kConnect = 12, kPassive = 13, kDisconnect = 14, kGet = 20, kPut = 21,
  kTree = 25, kLocalFiles = 31,
};
constexpr DWORD kActionLimitMs = 120000;

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

inline ULONGLONG FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return ~0ull;
  return (static_cast<ULONGLONG>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

// Seconds from `click` to `done`; negative when the action did not end in time.
inline double Time(const std::function<void()>& click, const std::function<bool()>& done) {
  const ULONGLONG t0 = GetTickCount64();
  click();
  if (!WaitUntil(done, kActionLimitMs)) return -1;
  return (GetTickCount64() - t0) / 1000.0;
}

class ClientBench {
 public:
  ClientBench(std::string host, std::string local) : host_(std::move(host)), local_(std::move(local)) {}

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

  // Opens a folder of at least `rows` entries, asking the window every 20 ms meanwhile;
  // *worst_ms gets the longest it took to answer.
  double OpenLarge(const std::string& folder, int rows, DWORD* worst_ms) {
    const int row = c_.FindRow(kTree, folder);
    const int before = c_.RowCount(kTree);
    if (row < 0 || !c_.Select(kTree, row)) return -1;
    *worst_ms = 0;
    return Time([&] { c_.DoubleClick(kTree, row); }, [&] {
      *worst_ms = std::max(*worst_ms, c_.Ping(10000));
      return c_.RowCount(kTree) >= before + rows && Idle();
    });
  }

  // The client process's peak working set (the kernel's high-water mark of its resident
  // memory under Wine), in MiB; negative when it cannot be read.
  double PeakMiB() {
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, c_.pid());
    if (!p) return -1;
    PROCESS_MEMORY_COUNTERS m{};
    const BOOL ok = GetProcessMemoryInfo(p, &m, sizeof m);
    CloseHandle(p);
    return ok ? m.PeakWorkingSetSize / 1048576.0 : -1;
  }

  void Stop() { c_.Stop(); }

 private:
  // Zone 3 is empty once no listing runs.
  bool Idle() { return c_.Status(3).empty(); }

  uidriver::Client c_;
  std::string host_;
  std::string local_;
};

}  // namespace clientbench
