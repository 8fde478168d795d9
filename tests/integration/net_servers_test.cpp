// The FTP library against real servers (vsftpd, ProFTPD, Pure-FTPd, pyftpdlib, inetutils) started by the ftpd
// fixture on loopback: login, listings, transfers both ways in both types and modes, remote
// file operations, and the exact notification sequences of asynchronous requests.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>

#include "net/ftp_engine.h"

#include "integration/net_support.h"
#include "support/check.h"

using namespace nettest;

namespace {

struct Listing {
  DWORD error = 0;
  std::map<std::string, WIN32_FIND_DATAA> entries;
  size_t count = 0;
};

Listing List(HINTERNET conn, const char* pattern) {
  Listing out;
  WIN32_FIND_DATAA fd;
  HINTERNET f = FtpFindFirstFileA(conn, pattern, &fd, INTERNET_FLAG_RELOAD, 0);
  if (!f) {
    out.error = GetLastError();
    return out;
  }
  do {
    out.entries[fd.cFileName] = fd;
    ++out.count;
  } while (InternetFindNextFileA(f, &fd));
  out.error = GetLastError() == ERROR_NO_MORE_FILES ? 0 : GetLastError();
  InternetCloseHandle(f);
  return out;
}

struct SyncSession {
  HINTERNET session = nullptr, conn = nullptr;
  SyncSession(const Server& s, bool passive = true, const char* user = nullptr, const char* pass = nullptr) {
    session = InternetOpenA("nettest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    conn = InternetConnectA(session, s.Host().c_str(), 0, user, pass, INTERNET_SERVICE_FTP,
                            passive ? INTERNET_FLAG_PASSIVE : 0, 0);
  }
  ~SyncSession() {
    if (conn) InternetCloseHandle(conn);
    InternetCloseHandle(session);
  }
};

std::string Utf8ToAnsi(const char* utf8) {
  wchar_t w[64];
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w, 64);
  char a[64];
  WideCharToMultiByte(CP_ACP, 0, w, n, a, 64, nullptr, nullptr);
  return a;
}

std::string Crlf(const std::string& lf) {
  std::string s;
  for (char c : lf) {
    if (c == '\n') s.push_back('\r');
    s.push_back(c);
  }
  return s;
}

// Every server: the behaviours the client relies on.
void CommonChecks(const Server& sv) {
  SyncSession s(sv);
  REQUIRE(s.conn != nullptr);

  Listing root = List(s.conn, "*.*");
  CHECK_EQ(root.error, 0u);
  CHECK(root.entries.count("pub") == 1 && root.entries["pub"].dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY);
  CHECK(root.entries.count("readme.txt") == 1 &&
        root.entries["readme.txt"].dwFileAttributes == FILE_ATTRIBUTE_NORMAL &&
        root.entries["readme.txt"].nFileSizeLow == 10);

  Listing pub = List(s.conn, "pub/*.*");
  CHECK_EQ(pub.error, 0u);
  CHECK(pub.entries.count("with space.txt") == 1);
  CHECK(pub.entries.count("with space dir") == 1 &&
        pub.entries["with space dir"].dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY);
  CHECK(pub.entries.count(".") == 0 && pub.entries.count("..") == 0);
  CHECK(pub.entries.count("link-to-dir") == 1 &&
        pub.entries["link-to-dir"].dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY);
  CHECK(pub.entries.count("link-to-file") == 1 &&
        pub.entries["link-to-file"].dwFileAttributes == FILE_ATTRIBUTE_NORMAL);
  // "name -> ../pub/nested/a": the listing does not say what the target is; a CWD does.
  Listing world = List(s.conn, "world/*.*");
  CHECK(world.entries.count("link-deep-dir") == 1 &&
        world.entries["link-deep-dir"].dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY);
  CHECK(world.entries.count("link-deep-file") == 1 &&
        world.entries["link-deep-file"].dwFileAttributes == FILE_ATTRIBUTE_NORMAL);
  CHECK(List(s.conn, "world/link-deep-dir/*.*").entries.count("b") == 1);
  CHECK(pub.entries.count("mib.bin") == 1 && pub.entries["mib.bin"].nFileSizeLow == 1048576);
  // A UTF-8 name arrives in the ANSI code page, announced or not, and goes back exactly.
  std::string cafe = Utf8ToAnsi("caf\xc3\xa9.txt");
  CHECK(pub.entries.count(cafe) == 1);
  std::string cafeTo = ScratchDir() + "\\cafe.txt";
  CHECK(FtpGetFileA(s.conn, ("pub/" + cafe).c_str(), cafeTo.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK_EQ(ReadAll(cafeTo), std::string("utf8\n"));
  SYSTEMTIME st{};
  FileTimeToSystemTime(&pub.entries["mib.bin"].ftLastWriteTime, &st);
  SYSTEMTIME now;
  GetLocalTime(&now);
  CHECK(st.wYear == now.wYear || st.wYear + 1 == now.wYear);

  Listing filtered = List(s.conn, "pub/*.bin");
  CHECK_EQ(filtered.count, 3u);

  Listing empty = List(s.conn, "pub/empty/*.*");
  CHECK_EQ(empty.error, static_cast<DWORD>(ERROR_NO_MORE_FILES));
  Listing deep = List(s.conn, "pub/nested/a/b/*.*");
  CHECK(deep.entries.count("deep.txt") == 1);
  Listing big = List(s.conn, "pub/big10k/*.*");
  CHECK_EQ(big.count, 10000u);
  CHECK(big.entries.count("f09999.dat") == 1);

  // Downloads: binary of 0, 1 and 1 MiB bytes, compared with the server's files.
  std::string local = ScratchDir();
  for (const char* name : {"zero.bin", "one.bin", "mib.bin"}) {
    std::string to = local + "\\" + name;
    CHECK(FtpGetFileA(s.conn, (std::string("pub/") + name).c_str(), to.c_str(), FALSE, FILE_ATTRIBUTE_NORMAL,
                      FTP_TRANSFER_TYPE_BINARY, 0));
    CHECK(ReadAll(to) == ReadAll(sv.root + "\\pub\\" + name));
  }
  // ASCII download: Unix text arrives with CR LF line ends.
  std::string text = local + "\\text.txt";
  CHECK(FtpGetFileA(s.conn, "pub/text.txt", text.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_ASCII, 0));
  CHECK_EQ(ReadAll(text), std::string("line one\r\nline two\r\n\r\nlast line\r\n"));

  // ASCII of 0, 1 and 1 MiB: what arrives is the server's text with CR LF line ends, and an
  // upload of that stores the server's own line ends again.
  for (const char* name : {"zero.txt", "one.txt", "mib.txt"}) {
    std::string to = local + "\\a-" + name;
    std::string unixText = ReadAll(sv.root + "\\pub\\" + name);
    CHECK(FtpGetFileA(s.conn, (std::string("pub/") + name).c_str(), to.c_str(), FALSE, 0,
                      FTP_TRANSFER_TYPE_ASCII, 0));
    CHECK(ReadAll(to) == Crlf(unixText));
    std::string back = std::string("pub/back-") + name;
    CHECK(FtpPutFileA(s.conn, to.c_str(), back.c_str(), FTP_TRANSFER_TYPE_ASCII, 0));
    std::string stored = ReadAll(sv.root + "\\pub\\back-" + name);
    if (sv.name == "pureftpd")  // stores the wire form as it comes
      CHECK(stored == unixText || stored == Crlf(unixText));
    else
      CHECK(stored == unixText);
  }
  // fail-if-exists: an existing target stops the download before anything is asked.
  std::string existing = local + "\\a-one.txt";
  CHECK(!FtpGetFileA(s.conn, "pub/mib.bin", existing.c_str(), TRUE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  CHECK_EQ(ReadAll(existing), std::string("x"));
  // Replacing: the download takes the existing file's place whole and leaves nothing beside it;
  // a target another program holds open keeps its content and the download fails.
  CHECK(FtpGetFileA(s.conn, "pub/mib.bin", existing.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK(ReadAll(existing) == ReadAll(sv.root + "\\pub\\mib.bin"));
  {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((local + "\\*.tmp").c_str(), &fd);
    CHECK(h == INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    HANDLE held = CreateFileA(existing.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(held != INVALID_HANDLE_VALUE);
    CHECK(!FtpGetFileA(s.conn, "pub/one.bin", existing.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
    const DWORD held_error = GetLastError();  // Wine answers access denied where Windows says sharing
    CHECK((held_error == ERROR_SHARING_VIOLATION || held_error == ERROR_ACCESS_DENIED));
    CloseHandle(held);
    CHECK(ReadAll(existing) == ReadAll(sv.root + "\\pub\\mib.bin"));
    h = FindFirstFileA((local + "\\*.tmp").c_str(), &fd);
    CHECK(h == INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
  }

  // Uploads: binary of 0, 1 and 1 MiB bytes; the server's copies are byte-identical.
  for (size_t n : {size_t(0), size_t(1), size_t(1048576)}) {
    std::string from = local + "\\up" + std::to_string(n);
    std::string data = Bytes(n, static_cast<unsigned>(n) + 7);
    WriteAll(from, data);
    std::string remote = "pub/up" + std::to_string(n) + ".bin";
    CHECK(FtpPutFileA(s.conn, from.c_str(), remote.c_str(), FTP_TRANSFER_TYPE_BINARY, 0));
    CHECK(ReadAll(sv.root + "\\pub\\up" + std::to_string(n) + ".bin") == data);
  }
  // ASCII upload: CR LF on the wire; servers that convert store LF.
  std::string unixText = local + "\\unix.txt";
  WriteAll(unixText, "a\nb\r\nc\n");
  CHECK(FtpPutFileA(s.conn, unixText.c_str(), "pub/ascii-up.txt", FTP_TRANSFER_TYPE_ASCII, 0));
  std::string stored = ReadAll(sv.root + "\\pub\\ascii-up.txt");
  if (sv.name == "pureftpd")
    CHECK(stored == "a\r\nb\r\nc\r\n" || stored == "a\nb\nc\n");
  else
    CHECK_EQ(stored, std::string("a\nb\nc\n"));

}

// Remote file operations, as a user allowed to change the tree; prefix is the remote path of
// "pub", dir the same folder on disk.
void FileOps(const Server& sv, const char* user, const char* pass, const std::string& prefix,
             const std::string& dir) {
  SyncSession s(sv, true, user, pass);
  REQUIRE(s.conn != nullptr);
  CHECK(FtpCreateDirectoryA(s.conn, (prefix + "made").c_str()));
  CHECK(Exists(dir + "\\made"));
  WriteAll(dir + "\\victim.bin", "v");
  CHECK(FtpRenameFileA(s.conn, (prefix + "victim.bin").c_str(), (prefix + "made/renamed.bin").c_str()));
  CHECK(Exists(dir + "\\made\\renamed.bin") && !Exists(dir + "\\victim.bin"));
  CHECK(FtpDeleteFileA(s.conn, (prefix + "made/renamed.bin").c_str()));
  CHECK(!Exists(dir + "\\made\\renamed.bin"));
  CHECK(FtpRemoveDirectoryA(s.conn, (prefix + "made").c_str()));
  CHECK(!Exists(dir + "\\made"));
  // Server refusals come back as 12003 with the server's reply.
  CHECK(!FtpDeleteFileA(s.conn, (prefix + "no-such-file").c_str()));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
  DWORD code = 0;
  std::string reply = LastResponseText(&code);
  CHECK_EQ(code, 550u);
  CHECK(reply.rfind("550", 0) == 0);
  CHECK(!FtpRemoveDirectoryA(s.conn, (prefix + "no-such-dir").c_str()));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
}

void ActiveMode(const Server& sv) {
  SyncSession s(sv, false);
  REQUIRE(s.conn != nullptr);
  std::string local = ScratchDir() + "\\active.bin";
  CHECK(FtpGetFileA(s.conn, "pub/mib.bin", local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK(ReadAll(local) == ReadAll(sv.root + "\\pub\\mib.bin"));
  CHECK(FtpPutFileA(s.conn, local.c_str(), "pub/active-up.bin", FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK(ReadAll(sv.root + "\\pub\\active-up.bin") == ReadAll(local));
  CHECK_EQ(List(s.conn, "pub/big10k/*.*").count, 10000u);
}

void UserLogin(const Server& sv) {
  SyncSession s(sv, true, "veluser", "velpass");
  REQUIRE(s.conn != nullptr);
  Listing home = List(s.conn, "*.*");
  // The inetutils ftpd logs system users in at their account's home ("/" for this one).
  if (sv.name != "inetutils") CHECK(home.entries.count("text.txt") == 1);
  SyncSession bad(sv, true, "veluser", "wrong");
  CHECK(bad.conn == nullptr);
  DWORD e = GetLastError();
  CHECK(e == ERROR_INTERNET_INCORRECT_PASSWORD || e == ERROR_INTERNET_LOGIN_FAILURE);
  DWORD code = 0;
  LastResponseText(&code);
  CHECK_EQ(code, 530u);
}

// The fixture's FTP proxy (ProFTPD's mod_proxy, "USER user@host:port"), "" when not started.
std::string ProxyAddress() {
  const char* dir = getenv("AFC_FTPD_DIR");
  if (!dir) return {};
  std::string path = std::string("Z:") + dir + "/proxy.txt";
  for (char& c : path)
    if (c == '/') c = '\\';
  std::string port = ReadAll(path);
  while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
  return port.empty() ? std::string() : "127.0.0.1:" + port;
}

// A session through the proxy to `sv`: listing, a download and an upload in either mode.
void ThroughProxy(const Server& sv, const std::string& proxy, bool passive) {
  HINTERNET session = InternetOpenA("nettest", INTERNET_OPEN_TYPE_PROXY, proxy.c_str(), nullptr, 0);
  REQUIRE(session != nullptr);
  HINTERNET conn = InternetConnectA(session, sv.Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP,
                                    passive ? INTERNET_FLAG_PASSIVE : 0, 0);
  CHECK(conn != nullptr);
  if (conn) {
    CHECK(List(conn, "pub/*.*").entries.count("mib.bin") == 1);
    const std::string local = ScratchDir() + "\\proxied.bin";
    CHECK(FtpGetFileA(conn, "pub/mib.bin", local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
    CHECK(ReadAll(local) == ReadAll(sv.root + "\\pub\\mib.bin"));
    CHECK(FtpPutFileA(conn, local.c_str(), "pub/proxied-up.dat", FTP_TRANSFER_TYPE_BINARY, 0));
    CHECK(ReadAll(sv.root + "\\pub\\proxied-up.dat") == ReadAll(local));
    InternetCloseHandle(conn);
  }
  InternetCloseHandle(session);
}

}  // namespace

TEST_CASE("servers: the fixture started all five") { CHECK_EQ(Servers().size(), 5u); }

TEST_CASE("vsftpd: login, listings, transfers, file operations") {
  if (auto* sv = FindServer("vsftpd")) CommonChecks(*sv);
}
TEST_CASE("proftpd: login, listings, transfers, file operations") {
  if (auto* sv = FindServer("proftpd")) CommonChecks(*sv);
}
TEST_CASE("pureftpd: login, listings, transfers, file operations") {
  if (auto* sv = FindServer("pureftpd")) CommonChecks(*sv);
}
TEST_CASE("pyftpdlib: login, listings, transfers, file operations") {
  if (auto* sv = FindServer("pyftpdlib")) CommonChecks(*sv);
}
TEST_CASE("inetutils: login, listings, transfers, file operations") {
  if (auto* sv = FindServer("inetutils")) CommonChecks(*sv);
}
TEST_CASE("file operations: every server") {
  for (const Server& sv : Servers()) {
    // Pure-FTPd lets no anonymous user rename or delete: its test user's home is "pub".
    if (sv.name == "pureftpd")
      FileOps(sv, "veluser", "velpass", "", sv.root + "\\pub");
    else
      FileOps(sv, nullptr, nullptr, "pub/", sv.root + "\\pub");
  }
}
TEST_CASE("active mode: every server") {
  for (const Server& sv : Servers()) ActiveMode(sv);
}
TEST_CASE("user login: every server") {
  for (const Server& sv : Servers()) UserLogin(sv);
}

// Last: its uploads would change the counts the listings above check.
TEST_CASE("proxy: every server through a real FTP proxy, passive and active") {
  const std::string proxy = ProxyAddress();
  REQUIRE(!proxy.empty());
  for (const Server& sv : Servers()) ThroughProxy(sv, proxy, true);
  if (auto* sv = FindServer("vsftpd")) ThroughProxy(*sv, proxy, false);
}

// A real server behind a pretend NAT: pyftpdlib naming 127.77.77.77 (where nothing listens) in
// every PASV reply. Data connections go to the control connection's peer and work.
TEST_CASE("nat: a server that advertises another address still transfers") {
  const char* dir = getenv("AFC_FTPD_DIR");
  REQUIRE(dir);
  std::string path = std::string("Z:") + dir + "/nat.txt";
  for (char& c : path)
    if (c == '/') c = '\\';
  Server nat;
  nat.name = "nat";
  std::string text = ReadAll(path);
  size_t blank = text.find(' ');
  REQUIRE(blank != std::string::npos);
  nat.port = atoi(text.substr(0, blank).c_str());
  nat.root = "Z:" + text.substr(blank + 1, text.find_first_of("\r\n") - blank - 1);
  for (char& c : nat.root)
    if (c == '/') c = '\\';
  SyncSession s(nat, true, "Anonymous", "guest@");  // also: "Anonymous" works where case counts
  REQUIRE(s.conn != nullptr);
  CHECK(List(s.conn, "pub/*.*").entries.count("mib.bin") == 1);
  std::string local = ScratchDir() + "\\nat.bin";
  CHECK(FtpGetFileA(s.conn, "pub/mib.bin", local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK(ReadAll(local) == ReadAll(nat.root + "\\pub\\mib.bin"));
  CHECK(FtpPutFileA(s.conn, local.c_str(), "pub/nat-up.bin", FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK(ReadAll(nat.root + "\\pub\\nat-up.bin") == ReadAll(local));
}

namespace {

struct QuietObserver : vel::net::EngineObserver {
  void Status(DWORD, const void*, DWORD) override {}
  void Reply(const vel::net::FtpReply&) override {}
};

// A disk that fills after 100,000 bytes, and a file that cannot be read.
struct FullDisk : vel::net::DataSink {
  size_t took = 0;
  DWORD Write(const char*, size_t n) override {
    took += n;
    return took > 100000 ? ERROR_DISK_FULL : 0;
  }
};
struct Unreadable : vel::net::DataSource {
  DWORD Read(char*, size_t, size_t*) override { return ERROR_ACCESS_DENIED; }
};

}  // namespace

TEST_CASE("engine: a local write or read failure is reported as itself, the session goes on") {
  const Server* sv = FindServer("vsftpd");
  REQUIRE(sv);
  std::atomic<bool> cancel{false};
  QuietObserver obs;
  vel::net::FtpEngine e(&obs, &cancel);
  vel::net::LoginParams p;
  p.host = "127.0.0.1";
  p.port = sv->port;
  p.user = "anonymous";
  p.password = "x";
  p.passive = true;
  REQUIRE(e.Open(p) == 0);
  FullDisk disk;
  CHECK_EQ(e.Retrieve("pub/mib.bin", false, &disk), static_cast<DWORD>(ERROR_DISK_FULL));
  Unreadable file;
  CHECK_EQ(e.Store("pub/never.bin", false, &file), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CHECK(e.Connected());
  CHECK_EQ(e.MakeDir("pub/after-local-errors"), 0u);
  CHECK(Exists(sv->root + "\\pub\\after-local-errors"));
  e.Quit();
}

// Downloads larger than the write-behind buffers (net/ftp_write_behind.h: four of 1 MiB), so
// that the writer thread runs and its buffers are reused.
namespace {

constexpr size_t kBehindBytes = 20u << 20;

// The fixture's 8 MiB file system (tmpfs), as a Windows path.
std::string SmallDisk() {
  const char* dir = getenv("AFC_FTPD_DIR");
  std::string win = std::string("Z:") + (dir ? dir : "") + "/small-disk";
  for (char& c : win)
    if (c == '/') c = '\\';
  return win;
}

}  // namespace

TEST_CASE("write-behind: a download larger than every buffer arrives whole, over an old file too") {
  const Server* sv = FindServer("vsftpd");
  REQUIRE(sv);
  SyncSession s(*sv);
  REQUIRE(s.conn != nullptr);
  const std::string bytes = PutBytes(s.conn, "pub/behind.bin", kBehindBytes, 7);
  REQUIRE(!bytes.empty());
  const std::string dir = ScratchDir();
  const std::string target = dir + "\\behind.bin";
  CHECK(FtpGetFileA(s.conn, "pub/behind.bin", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK(ReadAll(target) == bytes);
  WriteAll(target, "old");
  CHECK(FtpGetFileA(s.conn, "pub/behind.bin", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK(ReadAll(target) == bytes);
  CHECK_EQ(OtherFiles(dir, "behind.bin"), 0);
  CHECK(FtpDeleteFileA(s.conn, "pub/behind.bin"));
}

TEST_CASE("write-behind: a disk that fills mid-download fails it as disk full and keeps the old file") {
  const Server* sv = FindServer("vsftpd");
  REQUIRE(sv);
  const std::string disk = SmallDisk();
  REQUIRE(GetFileAttributesA(disk.c_str()) != INVALID_FILE_ATTRIBUTES);  // ftpd.sh mounts it (as root)
  SyncSession s(*sv);
  REQUIRE(s.conn != nullptr);
  REQUIRE(!PutBytes(s.conn, "pub/toobig.bin", kBehindBytes, 8).empty());
  const std::string fresh = disk + "\\fresh.bin", old = disk + "\\old.bin";
  DeleteFileA(fresh.c_str());
  WriteAll(old, "precious");
  // Neither download fits: the writer thread's write fails after several MiB went to the disk.
  CHECK(!FtpGetFileA(s.conn, "pub/toobig.bin", fresh.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  CHECK(!Exists(fresh));
  CHECK(!FtpGetFileA(s.conn, "pub/toobig.bin", old.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  CHECK_EQ(ReadAll(old), std::string("precious"));
  CHECK_EQ(OtherFiles(disk, "old.bin"), 0);  // no temporary file left filling the disk
  // The connection goes on, and a file that fits arrives whole.
  CHECK(FtpGetFileA(s.conn, "pub/mib.bin", fresh.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  CHECK(ReadAll(fresh) == ReadAll(sv->root + "\\pub\\mib.bin"));
  DeleteFileA(fresh.c_str());
  DeleteFileA(old.c_str());
  CHECK(FtpDeleteFileA(s.conn, "pub/toobig.bin"));
}
