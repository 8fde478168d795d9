// Benchmark: a 256 MiB download through the client's window (ftpclient.exe under Wine, driven
// by the UI driver) against vsftpd on loopback, while the window's answer time is measured
// every 20 ms from this process. bench/client_transfer.sh starts the server, times curl on
// the same file in the same run and prints the ratio.
//   bench_client_transfer.exe CLIENT.exe HOST FILE-NAME SIZE LOCAL-DIR RUNS
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e/ui_driver.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

ULONGLONG FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return 0;
  return (static_cast<ULONGLONG>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7) {
    std::puts("run through bench/client_transfer.sh (bash scripts/bench client)");
    return 0;
  }
  const std::string exe = argv[1], host = argv[2], name = argv[3], local = argv[5];
  const ULONGLONG size = std::strtoull(argv[4], nullptr, 10);
  const int runs = std::atoi(argv[6]);
  uidriver::Client c;
  if (!c.Start(exe, local)) return 1;
  uidriver::WaitUntil([&] { return !c.Enabled(3); }, 5000);
  c.Press(2);
  uidriver::WaitUntil([&] { return c.Enabled(12); }, 5000);
  c.SetText(7, host);
  c.SetText(9, "anonymous");
  c.Press(12);
  if (!uidriver::WaitUntil([&] { return c.Enabled(14) && c.RowCount(25) > 1; }, 30000)) return 1;
  const int pub = c.FindRow(25, "pub");
  const int before = c.RowCount(25);
  if (pub < 0 || !c.DoubleClick(25, pub) || !uidriver::WaitUntil([&] { return c.RowCount(25) > before; }, 60000))
    return 1;
  std::vector<double> seconds;
  DWORD worst_ping = 0;
  const std::string target = local + "\\" + name;
  for (int r = 0; r < runs; ++r) {
    DeleteFileA(target.c_str());
    if (!c.Select(25, c.FindRow(25, name))) return 1;
    const ULONGLONG t0 = GetTickCount64();
    c.Press(20);
    // Done when zone 2 says "Finished" and the file has its size; the window is pinged meanwhile.
    for (;;) {
      worst_ping = std::max(worst_ping, c.Ping(10000));
      if (FileSize(target) == size && c.Status(2) == "Finished") break;
      if (GetTickCount64() - t0 > 600000) return 1;
      Sleep(20);
    }
    seconds.push_back((GetTickCount64() - t0) / 1000.0);
    std::printf("run %d: %.2f s\n", r + 1, seconds.back());
  }
  std::printf("client download_s %.3f\n", Median(seconds));
  std::printf("client max_answer_ms %lu\n", static_cast<unsigned long>(worst_ping));
  DeleteFileA(target.c_str());
  c.Stop();
  return 0;
}
