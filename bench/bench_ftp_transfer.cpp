// Benchmark: 1 GiB download and upload through the FTP library in asynchronous mode (a
// callback that counts bytes) and a 10,000-entry listing, against vsftpd on loopback.
// bench/ftp_transfer.sh starts the server, measures curl on the same server in the same run,
// runs this program and prints the ratios. Alone (no AFC_FTPD_DIR) it says how to run it.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

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

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

bool Wait() {
  WaitForSingleObject(g_done, INFINITE);
  return g_result.dwError == 0;
}

}  // namespace

int main() {
  const char* dir = getenv("AFC_FTPD_DIR");
  if (!dir) {
    printf("bench_ftp_transfer: needs the servers; run: bash bench/ftp_transfer.sh\n");
    return 0;
  }
  std::string win = std::string("Z:") + dir;
  std::replace(win.begin(), win.end(), '/', '\\');
  std::ifstream in(win + "\\servers.txt");
  std::string name, root;
  int port = 0;
  while (in >> name >> port >> root)
    if (name == "vsftpd") break;
  if (name != "vsftpd") {
    printf("bench_ftp_transfer: no vsftpd in %s\n", dir);
    return 1;
  }
  std::string host = "127.0.0.1:" + std::to_string(port);
  int runs = getenv("AFC_BENCH_RUNS") ? atoi(getenv("AFC_BENCH_RUNS")) : 3;
  std::string local = win + "\\bench-local.bin";
  g_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);

  HINTERNET s = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  InternetSetStatusCallback(s, Count);
  InternetConnectA(s, host.c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
  if (!Wait()) {
    printf("bench_ftp_transfer: connect failed %lu\n", g_result.dwError);
    return 1;
  }
  HINTERNET c = reinterpret_cast<HINTERNET>(g_result.dwResult);
  std::vector<double> down, up, list;
  // Downloads in a row, then uploads in a row, as curl and lftp are measured: a download right
  // after an upload would also time the server still settling the file it just received.
  for (int i = 0; i < runs; ++i) {
    g_bytes = 0;
    double t = Now();
    FtpGetFileA(c, "pub/bench1g.bin", local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 1);
    if (!Wait()) return printf("download failed %lu\n", g_result.dwError), 1;
    down.push_back(Now() - t);
  }
  for (int i = 0; i < runs; ++i) {
    double t = Now();
    FtpPutFileA(c, local.c_str(), "pub/bench-up.bin", FTP_TRANSFER_TYPE_BINARY, 1);
    if (!Wait()) return printf("upload failed %lu\n", g_result.dwError), 1;
    up.push_back(Now() - t);
  }
  InternetCloseHandle(c);
  InternetCloseHandle(s);
  DeleteFileA(local.c_str());

  // Listing: synchronous, as the client lists, 10,000 entries.
  HINTERNET ss = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET sc = InternetConnectA(ss, host.c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
  size_t entries = 0;
  for (int i = 0; i < runs + 2; ++i) {
    double t = Now();
    WIN32_FIND_DATAA fd;
    HINTERNET f = FtpFindFirstFileA(sc, "pub/big10k/*.*", &fd, 0, 0);
    if (!f) return printf("listing failed %lu\n", GetLastError()), 1;
    entries = 1;
    while (f && InternetFindNextFileA(f, &fd)) ++entries;
    if (f) InternetCloseHandle(f);
    list.push_back(Now() - t);
  }
  std::vector<double> small;  // the fixed cost of one listing (commands, data connection)
  for (int i = 0; i < runs + 2; ++i) {
    double t = Now();
    WIN32_FIND_DATAA fd;
    HINTERNET f = FtpFindFirstFileA(sc, "pub/nested/*.*", &fd, 0, 0);
    if (!f) return printf("small listing failed %lu\n", GetLastError()), 1;
    InternetCloseHandle(f);
    small.push_back(Now() - t);
  }
  InternetCloseHandle(sc);
  InternetCloseHandle(ss);
  printf("ours list1_s %.4f\n", Median(small));
  printf("ours download_s %.3f\nours upload_s %.3f\nours list_s %.4f\nours list_entries %zu\n", Median(down),
         Median(up), Median(list), entries);
  return 0;
}
