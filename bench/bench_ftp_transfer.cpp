// Benchmark: 1 GiB download and upload through the FTP library in asynchronous mode (a
// callback that counts bytes) and a 10,000-entry listing, against vsftpd on loopback.
// bench/ftp_transfer.sh starts the server, measures curl on the same server in the same run,
// runs this program and prints the ratios. Alone (no AFC_FTPD_DIR) it says how to run it.
// With AFC_FTPD_TLS_DIR instead (bench/ftp_tls_transfer.sh) it moves the same file over
// explicit TLS ("ftpes://") with the TLS fixture's vsftpd, and lists nothing.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "integration/tls_support.h"
#include "net/ftpnet.h"

namespace {

std::atomic<unsigned long long> g_bytes{0};
HANDLE g_done;
INTERNET_ASYNC_RESULT g_result;

void CALLBACK Count(HINTERNET, DWORD_PTR, DWORD code, LPVOID info, DWORD len) {
  if ((code == INTERNET_STATUS_RESPONSE_RECEIVED || code == INTERNET_STATUS_REQUEST_SENT) && len == sizeof(DWORD))
    g_bytes += *static_cast<DWORD*>(info);
  if (code == INTERNET_STATUS_REQUEST_COMPLETE) {
    g_result = *static_cast<INTERNET_ASYNC_RESULT*>(info);
    SetEvent(g_done);
  }
}

// "least-most" of the runs, printed beside each median.
void PrintSpread(const char* name, const std::vector<double>& v) {
  printf("ours %s_spread %.3f-%.3f\n", name, *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
}

bool Wait() {
  WaitForSingleObject(g_done, INFINITE);
  return g_result.dwError == 0;
}

std::string WindowsPath(const char* dir) {
  std::string win = std::string("Z:") + dir;
  std::replace(win.begin(), win.end(), '/', '\\');
  return win;
}

// Where the benchmark runs: the server name, the login and the remote names.
struct Target {
  std::string host, user, password, download, upload;
  std::string folder;  // the local folder of the downloaded copy
  bool listing = true;
};

bool FindTarget(Target* t) {
  if (const char* dir = getenv("AFC_FTPD_DIR")) {
    t->folder = WindowsPath(dir);
    std::ifstream in(t->folder + "\\servers.txt");
    std::string name, root;
    int port = 0;
    while (in >> name >> port >> root)
      if (name == "vsftpd") {
        t->host = "127.0.0.1:" + std::to_string(port);
        t->download = "pub/bench1g.bin";
        t->upload = "pub/bench-up.bin";
        return true;
      }
    printf("bench_ftp_transfer: no vsftpd in %s\n", dir);
    return false;
  }
  if (const char* dir = getenv("AFC_FTPD_TLS_DIR")) {
    t->folder = WindowsPath(dir);
    std::ifstream in(t->folder + "\\tls_servers.txt");
    std::string name;
    int port = 0;
    while (in >> name >> port)
      if (name == "vsftpd-noreuse") {
        t->host = "ftpes://127.0.0.1:" + std::to_string(port);  // the certificate names the address
        t->user = "veluser";
        t->password = "velpass";
        t->download = "bench1g.bin";
        t->upload = "bench-up.bin";
        t->listing = false;
        if (!tlstest::TrustTestAuthority()) {  // the fixture's own authority, made at its start
          printf("bench_ftp_transfer: cannot trust the fixture's authority\n");
          return false;
        }
        return true;
      }
    printf("bench_ftp_transfer: no vsftpd-noreuse in %s\n", dir);
    return false;
  }
  printf("bench_ftp_transfer: needs the servers; run: bash bench/ftp_transfer.sh (or ftp_tls_transfer.sh)\n");
  return false;
}

}  // namespace

int main() {
  Target target;
  if (!FindTarget(&target)) return getenv("AFC_FTPD_DIR") || getenv("AFC_FTPD_TLS_DIR") ? 1 : 0;
  const std::string& host = target.host;
  const char* user = target.user.empty() ? nullptr : target.user.c_str();
  const char* password = target.password.empty() ? nullptr : target.password.c_str();
  int runs = getenv("AFC_BENCH_RUNS") ? atoi(getenv("AFC_BENCH_RUNS")) : 3;
  std::string local = target.folder + "\\bench-local.bin";
  g_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);

  HINTERNET s = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  InternetSetStatusCallback(s, Count);
  InternetConnectA(s, host.c_str(), 0, user, password, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
  if (!Wait()) {
    printf("bench_ftp_transfer: connect failed %lu\n", g_result.dwError);
    return 1;
  }
  HINTERNET c = reinterpret_cast<HINTERNET>(g_result.dwResult);
  std::vector<double> down, up, list, downCpu, upCpu;
  // Downloads in a row, then uploads in a row, as curl and lftp are measured: a download right
  // after an upload would also time the server still settling the file it just received.
  for (int i = 0; i < runs; ++i) {
    g_bytes = 0;
    // A new file every run, as curl and lftp get: replacing the last run's copy would also time
    // the file system dropping 1 GiB it had not yet written back.
    DeleteFileA(local.c_str());
    double t = BenchNow(), cpu = BenchCpuSeconds();
    FtpGetFileA(c, target.download.c_str(), local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 1);
    if (!Wait()) return printf("download failed %lu\n", g_result.dwError), 1;
    down.push_back(BenchNow() - t);
    downCpu.push_back(BenchCpuSeconds() - cpu);
  }
  for (int i = 0; i < runs; ++i) {
    double t = BenchNow(), cpu = BenchCpuSeconds();
    FtpPutFileA(c, local.c_str(), target.upload.c_str(), FTP_TRANSFER_TYPE_BINARY, 1);
    if (!Wait()) return printf("upload failed %lu\n", g_result.dwError), 1;
    up.push_back(BenchNow() - t);
    upCpu.push_back(BenchCpuSeconds() - cpu);
  }
  InternetCloseHandle(c);
  InternetCloseHandle(s);
  DeleteFileA(local.c_str());
  PrintSpread("download", down);
  PrintSpread("upload", up);
  if (!target.listing) {
    printf("ours download_s %.3f\nours upload_s %.3f\n", BenchMedian(down), BenchMedian(up));
    // How busy the library kept this process: CPU seconds per transfer (one worker thread moves
    // the data, so a figure near the wall time says the process, not the server, is the limit).
    printf("ours download_cpu_s %.3f\nours upload_cpu_s %.3f\n", BenchMedian(downCpu), BenchMedian(upCpu));
    return 0;
  }

  // Listing: synchronous, as the client lists, 10,000 entries.
  HINTERNET ss = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET sc = InternetConnectA(ss, host.c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
  size_t entries = 0;
  for (int i = 0; i < runs + 2; ++i) {
    double t = BenchNow();
    WIN32_FIND_DATAA fd;
    HINTERNET f = FtpFindFirstFileA(sc, "pub/big10k/*.*", &fd, 0, 0);
    if (!f) return printf("listing failed %lu\n", GetLastError()), 1;
    entries = 1;
    while (f && InternetFindNextFileA(f, &fd)) ++entries;
    if (f) InternetCloseHandle(f);
    list.push_back(BenchNow() - t);
  }
  std::vector<double> small;  // the fixed cost of one listing (commands, data connection)
  for (int i = 0; i < runs + 2; ++i) {
    double t = BenchNow();
    WIN32_FIND_DATAA fd;
    HINTERNET f = FtpFindFirstFileA(sc, "pub/nested/*.*", &fd, 0, 0);
    if (!f) return printf("small listing failed %lu\n", GetLastError()), 1;
    InternetCloseHandle(f);
    small.push_back(BenchNow() - t);
  }
  InternetCloseHandle(sc);
  InternetCloseHandle(ss);
  printf("ours list1_s %.4f\n", BenchMedian(small));
  printf("ours download_s %.3f\nours upload_s %.3f\nours list_s %.4f\nours list_entries %zu\n", BenchMedian(down),
         BenchMedian(up), BenchMedian(list), entries);
  return 0;
}
