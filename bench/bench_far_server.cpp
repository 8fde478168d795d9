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

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/client_bench.h"

namespace {

using namespace clientbench;

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
  ClientBench b(host, local);
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
