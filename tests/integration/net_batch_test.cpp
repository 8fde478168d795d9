// The pieces of batches and resumed transfers against the fixture's real servers: the remote
// walk of a tree with links back up (vsftpd, ProFTPD, Pure-FTPd), a folder of 10,000 files, a
// download broken off and resumed with REST through FtpOpenFileA into the partial store, a
// server that refuses REST (the download starts over), and a disk that fills under the store.
#include <algorithm>

#include "app/batch_plan.h"
#include "app/batch_sources.h"
#include "app/partial_download.h"
#include "integration/fake_ftpd.h"
#include "integration/net_support.h"
#include "support/check.h"

using namespace nettest;
using namespace ftpcl;

namespace {

const char* const kServers[] = {"vsftpd", "proftpd", "pureftpd"};

struct Conn {
  HINTERNET session = nullptr, conn = nullptr;
  explicit Conn(int port, const char* user = nullptr, const char* password = nullptr) {
    session = InternetOpenA("batch", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    const std::string host = "127.0.0.1:" + std::to_string(port);
    conn = InternetConnectA(session, host.c_str(), 0, user, password, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
  }
  ~Conn() {
    if (conn) InternetCloseHandle(conn);
    InternetCloseHandle(session);
  }
};

std::string Targets(const BatchPlan& plan) {
  std::vector<std::string> t;
  for (const BatchItem& i : plan.files) t.push_back(i.target);
  std::sort(t.begin(), t.end());
  std::string s;
  for (const std::string& x : t) s += x + ";";
  return s;
}

std::string Skips(const BatchPlan& plan) {
  std::string s;
  for (const BatchSkip& k : plan.skipped) s += k.name + " (" + k.why + "); ";
  return s;
}

// The server's answer to a command that must succeed ("" when it failed).
std::string Reply(HINTERNET conn, const std::string& command) {
  return FtpCommandA(conn, FALSE, 0, command.c_str(), 0, nullptr) ? LastResponseText() : std::string();
}

// What the server says of a file now: SIZE in binary type, MDTM, and REST STREAM in FEAT.
ServerFacts FactsOf(HINTERNET conn, const std::string& path) {
  ServerFacts f;
  f.can_restart = Reply(conn, "FEAT").find("REST STREAM") != std::string::npos;
  Reply(conn, "TYPE I");
  const std::string size = Reply(conn, "SIZE " + path), time = Reply(conn, "MDTM " + path);
  if (size.compare(0, 4, "213 ") == 0) f.remote_size = std::stoll(size.substr(4));
  if (time.compare(0, 4, "213 ") == 0) f.remote_time = time.substr(4, time.find_first_of("\r\n") - 4);
  return f;
}

// Reads the open file handle into the partial data: all of it, or `limit` bytes at most.
DWORD ReadInto(HINTERNET f, PartialDownload* part, std::size_t limit) {
  std::string buf(65536, '\0');
  std::size_t got = 0;
  while (got < limit) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buf.size(), limit - got));
    if (!InternetReadFile(f, buf.data(), want, &n)) return GetLastError();
    if (n == 0) break;
    if (const DWORD e = part->Append(buf.data(), n)) return e;
    got += n;
  }
  return 0;
}

}  // namespace

TEST_CASE("walk: a three-level tree with links to its own folders, each file once, then the login folder") {
  for (const char* name : kServers) {
    const Server* sv = FindServer(name);
    REQUIRE(sv);
    Conn s(sv->port);
    REQUIRE(s.conn);
    RemoteFolders remote(s.conn);
    printf("  %s: identity of world/tree/a/up = \"%s\"\n", name, remote.Identity("world/tree/a/up").c_str());
    RemoteFolders fresh(s.conn);
    const BatchPlan plan = PlanGet({{"world/tree", true}}, "C:\\target", fresh);
    printf("    skipped: %s\n", Skips(plan).c_str());
    CHECK_EQ(Targets(plan), std::string("tree\\a\\a1.txt;tree\\a\\b\\b1.txt;tree\\a\\b\\c\\c1.txt;tree\\top.txt;"));
    CHECK_EQ(plan.folders.size(), 4u);
    CHECK_EQ(plan.skipped.size(), 2u);
    CHECK(Skips(plan).find("world/tree/a/up/ (a folder already in the batch") != std::string::npos);
    CHECK(Skips(plan).find("world/tree/a/b/here/ (a folder already in the batch") != std::string::npos);
    // Relative paths still start at the login folder.
    const std::string local = ScratchDir() + "\\readme.txt";
    CHECK(FtpGetFileA(s.conn, "readme.txt", local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  }
}

// No real server refuses to take a client back to the folder it logged in to.
TEST_CASE("walk: a probe that cannot return to the login folder stops the listings (scripted)") {
  FakeFtpd fake(With(LoginSteps(), {{Step::Send, "PWD", "257 \"/home/u\" is current\r\n"},
                                    {Step::Send, "CWD sub", "250 ok\r\n"},
                                    {Step::Send, "PWD", "257 \"/home/u/sub\"\r\n"},
                                    {Step::Send, "CWD /home/u", "550 gone\r\n"},
                                    {Step::Send, "QUIT", "221 bye\r\n"}}));
  REQUIRE(fake.Ok());
  {
    Conn s(fake.Port());
    REQUIRE(s.conn);
    RemoteFolders remote(s.conn);
    CHECK_EQ(remote.Identity("sub"), std::string());
    std::vector<FolderEntry> entries;
    CHECK_EQ(remote.List("other", &entries), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE));
    CHECK_EQ(remote.Identity("other"), std::string());
  }
  const std::vector<std::string> sent = fake.Commands();
  CHECK(!fake.Mismatch());
  for (const std::string& c : sent) CHECK(c.find("LIST") == std::string::npos && c.find("other") == std::string::npos);
}

TEST_CASE("walk: a tagged folder of 10,000 files and a file tagged inside it, each once") {
  const Server* sv = FindServer("vsftpd");
  REQUIRE(sv);
  Conn s(sv->port);
  REQUIRE(s.conn);
  RemoteFolders remote(s.conn);
  const BatchPlan plan =
      PlanGet({{"pub/big10k/f00042.dat", false}, {"pub/big10k", true}, {"pub/one.bin", false, 1}}, "C:\\t", remote);
  CHECK_EQ(plan.files.size(), 10001u);
  CHECK(plan.skipped.empty());
  CHECK_EQ(plan.files.back().target, std::string("one.bin"));
  CHECK_EQ(plan.files[42].target, std::string("big10k\\f00042.dat"));
}

TEST_CASE("resume: half a download kept, then REST and FtpOpenFileA bring the rest byte for byte") {
  for (const char* name : kServers) {
    const Server* sv = FindServer(name);
    REQUIRE(sv);
    printf("  %s\n", name);
    Conn s(sv->port);
    REQUIRE(s.conn);
    const std::string data = PutBytes(s.conn, "pub/resume.bin", (3u << 20) + 12345, 21);
    REQUIRE(!data.empty());
    const PartialKey key{ScratchDir(), sv->Host() + " anonymous", "pub/resume.bin"};

    const ServerFacts before = FactsOf(s.conn, "pub/resume.bin");
    CHECK(before.can_restart);
    CHECK_EQ(before.remote_size, static_cast<std::int64_t>(data.size()));
    DWORD error = 0;
    auto part = PartialDownload::Begin(key, before.remote_size, before.remote_time, &error);
    REQUIRE(part);
    HINTERNET f = FtpOpenFileA(s.conn, "pub/resume.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    REQUIRE(f);
    CHECK_EQ(ReadInto(f, part.get(), data.size() / 2), 0u);
    CHECK(InternetCloseHandle(f));  // broken off midway
    CHECK_EQ(part->MarkInterrupted(), 0u);
    part.reset();
    CHECK_EQ(OtherFiles(key.folder, kPartialStoreName), 0);  // nothing beside the store

    PartialRecord record;
    REQUIRE(FindPartial(key, &record));
    const ResumeChoice choice = DecideGet(record, FactsOf(s.conn, "pub/resume.bin"));
    REQUIRE(choice.resume == Resume::kOffer);
    CHECK_EQ(choice.offset, static_cast<std::int64_t>(data.size() / 2));
    part = PartialDownload::Resume(key, &error);
    REQUIRE(part);
    REQUIRE(!Reply(s.conn, "TYPE I").empty());
    CHECK_EQ(Reply(s.conn, "REST " + std::to_string(choice.offset)).substr(0, 3), std::string("350"));
    f = FtpOpenFileA(s.conn, "pub/resume.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    REQUIRE(f);
    CHECK_EQ(ReadInto(f, part.get(), data.size()), 0u);
    CHECK(InternetCloseHandle(f));
    CHECK_EQ(part->Finish("resume.bin", false), 0u);
    CHECK(ReadAll(key.folder + "\\resume.bin") == data);
    CHECK_EQ(OtherFiles(key.folder, "resume.bin"), 0);  // the store went with its last record
    DeleteFileA((sv->root + "\\pub\\resume.bin").c_str());  // anonymous users of Pure-FTPd may not delete
  }
}

TEST_CASE("resume: an upload broken off goes on with REST and STOR for the file it recorded, or starts over") {
  for (const char* name : kServers) {
    const Server* sv = FindServer(name);
    REQUIRE(sv);
    printf("  %s\n", name);
    // Anonymous users of Pure-FTPd may not overwrite; its "veluser" starts in pub.
    const bool named = std::string(name) == "pureftpd";
    Conn s(sv->port, named ? "veluser" : nullptr, named ? "velpass" : nullptr);
    const std::string remote = named ? "up-resume.bin" : "pub/up-resume.bin";
    REQUIRE(s.conn);
    const std::string data = Bytes((2u << 20) + 77, 31), half = data.substr(0, data.size() / 2);
    const std::string dir = ScratchDir(), local = dir + "\\up.bin";
    REQUIRE(WriteAll(local, data));
    DeleteFileA((sv->root + "\\pub\\up-resume.bin").c_str());
    HINTERNET f = FtpOpenFileA(s.conn, remote.c_str(), GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    REQUIRE(f);
    DWORD n = 0;
    CHECK(InternetWriteFile(f, half.data(), static_cast<DWORD>(half.size()), &n));
    CHECK(InternetCloseHandle(f));  // broken off: the server keeps what came
    const PartialKey key{dir, sv->Host() + (named ? " veluser" : " anonymous"), remote};
    std::int64_t local_size = 0;
    const std::int64_t local_time = LocalFileTime(local, &local_size);
    CHECK_EQ(RecordUploadBreak(key, FactsOf(s.conn, remote).remote_size, local_size, local_time), 0u);

    PartialRecord record;
    REQUIRE(FindUploadBreak(key, &record));
    ServerFacts now = FactsOf(s.conn, remote);
    now.local_time = LocalFileTime(local, &now.local_size);
    const ResumeChoice choice = DecidePut(record, now);
    REQUIRE(choice.resume == Resume::kOffer);
    CHECK_EQ(choice.offset, static_cast<std::int64_t>(half.size()));
    REQUIRE(!Reply(s.conn, "TYPE I").empty());
    CHECK_EQ(Reply(s.conn, "REST " + std::to_string(choice.offset)).substr(0, 3), std::string("350"));
    f = FtpOpenFileA(s.conn, remote.c_str(), GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    if (f) {
      const std::string rest = data.substr(half.size());
      CHECK(InternetWriteFile(f, rest.data(), static_cast<DWORD>(rest.size()), &n));
      CHECK(InternetCloseHandle(f));
    } else {
      // ProFTPD refuses a restarted STOR unless configured to allow it: the upload starts over.
      printf("    refused: %s", LastResponseText().c_str());
      CHECK_EQ(std::string(name), std::string("proftpd"));
      CHECK(FtpPutFileA(s.conn, local.c_str(), remote.c_str(), FTP_TRANSFER_TYPE_BINARY, 0));
    }
    CHECK(ReadAll(sv->root + "\\pub\\up-resume.bin") == data);
    ForgetUploadBreak(key);
    CHECK_EQ(OtherFiles(dir, "up.bin"), 0);
    DeleteFileA((sv->root + "\\pub\\up-resume.bin").c_str());
  }
}

TEST_CASE("resume: a server that refuses REST gets the whole file again (Twisted)") {
  const Server* sv = TwistedServer();
  REQUIRE(sv);
  Conn s(sv->port);
  REQUIRE(s.conn);
  const std::string data = ReadAll(sv->root + "\\pub\\mib.bin");
  REQUIRE(data.size() == 1u << 20);
  const PartialKey key{ScratchDir(), sv->Host() + " anonymous", "pub/mib.bin"};
  DWORD error = 0;
  auto part = PartialDownload::Begin(key, static_cast<std::int64_t>(data.size()), "20260101000000", &error);
  REQUIRE(part);
  HINTERNET f = FtpOpenFileA(s.conn, "pub/mib.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
  REQUIRE(f);
  CHECK_EQ(ReadInto(f, part.get(), 300000), 0u);
  CHECK(InternetCloseHandle(f));
  part.reset();  // unannounced: kept as interrupted

  PartialRecord record;
  REQUIRE(FindPartial(key, &record));
  CHECK_EQ(record.kept, 300000);
  // The server's word on restarting: FEAT without REST STREAM, and REST itself refused.
  const ServerFacts now = FactsOf(s.conn, "pub/mib.bin");
  const ResumeChoice choice = DecideGet(record, now);
  CHECK(choice.resume == Resume::kStartOver);
  printf("  %s\n", choice.reason.c_str());
  CHECK(!FtpCommandA(s.conn, FALSE, 0, "REST 300000", 0, nullptr));
  // Starting over: the old partial data goes, the new download is the whole file.
  part = PartialDownload::Begin(key, static_cast<std::int64_t>(data.size()), now.remote_time, &error);
  REQUIRE(part);
  CHECK_EQ(part->Kept(), 0);
  f = FtpOpenFileA(s.conn, "pub/mib.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
  REQUIRE(f);
  CHECK_EQ(ReadInto(f, part.get(), data.size() + 1), 0u);
  CHECK(InternetCloseHandle(f));
  CHECK_EQ(part->Finish("mib.bin", false), 0u);
  CHECK(ReadAll(key.folder + "\\mib.bin") == data);
}

namespace {
std::string SmallDisk() {
  const char* dir = getenv("AFC_FTPD_DIR");
  std::string win = std::string("Z:") + (dir ? dir : "") + "/small-disk";
  std::replace(win.begin(), win.end(), '/', '\\');
  return win;
}
}  // namespace

TEST_CASE("partial store: a disk that fills up fails the write, and nothing looks complete") {
  const std::string disk = SmallDisk();
  REQUIRE(GetFileAttributesA(disk.c_str()) != INVALID_FILE_ATTRIBUTES);  // ftpd.sh mounts it (as root)
  const PartialKey key{disk, "127.0.0.1:21 anonymous", "pub/huge.bin"};
  const std::int64_t size = 12 << 20;
  DWORD error = 0;
  auto part = PartialDownload::Begin(key, size, "20260101000000", &error);
  REQUIRE(part);
  const std::string chunk = Bytes(1 << 20, 4);
  DWORD failed = 0;
  for (int i = 0; i < 12 && !failed; ++i) failed = part->Append(chunk.data(), chunk.size());
  CHECK_EQ(failed, static_cast<DWORD>(ERROR_DISK_FULL));
  CHECK(part->Kept() < size);
  CHECK_EQ(part->Finish("huge.bin", true), static_cast<DWORD>(ERROR_INVALID_DATA));
  CHECK(!Exists(disk + "\\huge.bin"));
  part->MarkInterrupted();  // may itself fail for want of room: the older record stands then
  part.reset();
  PartialRecord record;
  if (FindPartial(key, &record)) CHECK(record.kept <= size);
  DiscardPartial(key);
  CHECK_EQ(OtherFiles(disk, "none"), 0);  // the store and its data are gone: the disk is free again
}
