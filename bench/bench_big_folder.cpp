// Benchmark: the real client opening a folder of 100,000 entries on vsftpd on loopback
// (bench/big_folder.sh makes the folder and times lftp listing it in the same run):
//   open_s         the double-click on the folder until its rows are all in the tree
//   max_answer_ms  the longest the window took to answer a message meanwhile (asked every 20 ms)
//   peak_mib       the client process's peak resident memory over its whole run
//   bench_big_folder.exe CLIENT.exe HOST:PORT LOCAL-DIR FOLDER ROWS RUNS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/client_bench.h"

using namespace clientbench;

int main(int argc, char** argv) {
  if (argc < 7) {
    std::puts("run through bench/big_folder.sh (bash scripts/bench big_folder)");
    return 0;
  }
  const std::string exe = argv[1], host = argv[2], local = argv[3], folder = argv[4];
  const int rows = std::atoi(argv[5]), runs = std::atoi(argv[6]);
  std::vector<double> seconds, answers;
  double peak = 0;
  for (int r = 0; r < runs; ++r) {
    // A new client every run: the folder is listed once per session, and the peak is per process.
    ClientBench b(host, local);
    if (!b.Start(exe) || b.Connect() < 0 || b.Open("pub", false) < 0) {
      std::puts("the client did not connect and open pub");
      return 1;
    }
    DWORD worst = 0;
    seconds.push_back(b.OpenLarge(folder, rows, &worst));
    if (seconds.back() < 0) {
      std::printf("run %d: the folder's rows did not all arrive\n", r + 1);
      return 2;
    }
    answers.push_back(worst);
    peak = std::max(peak, b.PeakMiB());
    std::printf("run %d: %.3f s, window answered within %lu ms\n", r + 1, seconds.back(),
                static_cast<unsigned long>(worst));
    b.Disconnect();
    b.Stop();
  }
  std::printf("client open_s %.3f\n", Median(seconds));
  std::printf("client max_answer_ms %.0f\n", *std::max_element(answers.begin(), answers.end()));
  std::printf("client peak_mib %.1f\n", peak);
  return 0;
}
