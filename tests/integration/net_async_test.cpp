// Asynchronous requests against vsftpd: every call returns at once with ERROR_IO_PENDING and
// its notifications, folded (runs of 40/41 -> 4041, of 30/31 -> 3031), equal a table.
#include <atomic>
#include <cstring>
#include <mutex>

#include "integration/net_support.h"
#include "support/check.h"

using namespace nettest;

namespace {

// 60 comes first: the caller has the handle before the name is resolved and can close it.
const std::vector<DWORD> kConnect = {60, 10, 11, 20, 21, 4041, 3031, 4041, 3031, 4041, 3031, 4041, 100};
// TYPE, EPSV, RETR + 150, data (the 226 after it is not announced: 41 counts data), complete.
const std::vector<DWORD> kGet = {3031, 4041, 3031, 4041, 3031, 4041, 100};
// After a binary get the type is already set: EPSV, STOR + 150, data, (226), complete.
const std::vector<DWORD> kPut = {3031, 4041, 3031, 4041, 3031, 100};
const std::vector<DWORD> kOneCommand = {3031, 4041, 100};
const std::vector<DWORD> kRename = {3031, 4041, 3031, 4041, 100};
// A clean connection goes to the library's pool: no QUIT, but its end is announced all the same.
const std::vector<DWORD> kClose = {50, 51, 70};

struct AsyncSession {
  Recorder rec;
  HINTERNET session = nullptr, conn = nullptr;
  AsyncSession() {
    session = InternetOpenA("nettest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    InternetSetStatusCallback(session, Recorder::Callback);
  }
  ~AsyncSession() {
    if (conn) InternetCloseHandle(conn);
    if (session) InternetCloseHandle(session);
  }
  // Runs one request to its 100; returns the folded codes.
  std::vector<DWORD> Finish(BOOL returned, INTERNET_ASYNC_RESULT* r, std::vector<Note>* raw = nullptr) {
    CHECK(!returned);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    bool done = rec.WaitComplete(r);
    CHECK(done);
    Sleep(20);  // nothing may follow the 100
    std::vector<Note> notes = rec.Take();
    if (raw) *raw = notes;
    return Folded(notes);
  }
};

}  // namespace

TEST_CASE("async: connect, get, put, mkdir, rename, delete, rmdir, close (vsftpd)") {
  const Server* sv = FindServer("vsftpd");
  REQUIRE(sv);
  AsyncSession a;
  INTERNET_ASYNC_RESULT r{};
  std::vector<Note> raw;
  HINTERNET h = InternetConnectA(a.session, sv->Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP,
                                 INTERNET_FLAG_PASSIVE, 1);
  CHECK(h == nullptr);
  std::vector<DWORD> seq = a.Finish(h != nullptr, &r, &raw);
  CHECK_EQ(Show(seq), Show(kConnect));
  CHECK_EQ(r.dwError, 0u);
  a.conn = reinterpret_cast<HINTERNET>(r.dwResult);
  REQUIRE(a.conn != nullptr);
  CHECK_EQ(raw[1].text, std::string("127.0.0.1"));
  CHECK_EQ(raw[2].text, std::string("127.0.0.1"));
  for (const Note& n : raw)
    if (n.code == 60) CHECK(reinterpret_cast<HINTERNET>(n.result.dwResult) == a.conn);

  std::string local = ScratchDir();
  std::string got = local + "\\mib.bin";
  seq = a.Finish(FtpGetFileA(a.conn, "pub/mib.bin", got.c_str(), FALSE, FILE_ATTRIBUTE_NORMAL,
                             FTP_TRANSFER_TYPE_BINARY, 1),
                 &r, &raw);
  CHECK_EQ(Show(seq), Show(kGet));
  CHECK(r.dwResult != 0 && r.dwError == 0);
  CHECK(ReadAll(got) == ReadAll(sv->root + "\\pub\\mib.bin"));
  // Data progress arrives in chunks of at least 64 KiB, at most a few per MiB of replies.
  uint64_t received = DataBytes(raw, 41);
  CHECK(received >= 1048576 && received < 1048576 + 1024);
  size_t dataNotes = 0;
  for (const Note& n : raw)
    if (n.code == 41 && n.count >= 65536) ++dataNotes;
  CHECK(dataNotes >= 1 && dataNotes <= 16);

  seq = a.Finish(FtpPutFileA(a.conn, got.c_str(), "pub/async-up.bin", FTP_TRANSFER_TYPE_BINARY, 1), &r, &raw);
  CHECK_EQ(Show(seq), Show(kPut));
  CHECK(r.dwResult != 0 && r.dwError == 0);
  CHECK(ReadAll(sv->root + "\\pub\\async-up.bin") == ReadAll(got));
  CHECK(DataBytes(raw, 31) >= 1048576);

  seq = a.Finish(FtpCreateDirectoryA(a.conn, "pub/adir"), &r);
  CHECK_EQ(Show(seq), Show(kOneCommand));
  CHECK(r.dwResult != 0 && Exists(sv->root + "\\pub\\adir"));
  seq = a.Finish(FtpRenameFileA(a.conn, "pub/async-up.bin", "pub/adir/moved.bin"), &r);
  CHECK_EQ(Show(seq), Show(kRename));
  CHECK(r.dwResult != 0 && Exists(sv->root + "\\pub\\adir\\moved.bin"));
  seq = a.Finish(FtpDeleteFileA(a.conn, "pub/adir/moved.bin"), &r);
  CHECK_EQ(Show(seq), Show(kOneCommand));
  CHECK(r.dwResult != 0);
  seq = a.Finish(FtpRemoveDirectoryA(a.conn, "pub/adir"), &r);
  CHECK_EQ(Show(seq), Show(kOneCommand));
  CHECK(r.dwResult != 0 && !Exists(sv->root + "\\pub\\adir"));

  // A search: 60 with the new search handle, then 100; the first entry is in the record.
  WIN32_FIND_DATAA fd{};
  seq = a.Finish(FtpFindFirstFileA(a.conn, "pub/*.bin", &fd, 0, 1) != nullptr, &r, &raw);
  CHECK_EQ(Show(seq), Show({3031, 4041, 3031, 4041, 3031, 4041, 60, 100}));  // TYPE A, EPSV, LIST + data
  CHECK(r.dwResult != 0 && r.dwError == 0);
  HINTERNET find = reinterpret_cast<HINTERNET>(r.dwResult);
  CHECK(strstr(fd.cFileName, ".bin") != nullptr);
  int more = 0;
  while (InternetFindNextFileA(find, &fd)) ++more;
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  CHECK(more >= 2);
  CHECK(InternetCloseHandle(find));
  a.rec.Take();

  // A refusal: 100 with 12003, the reply readable on the library's thread inside the callback.
  static std::string replyInCallback;
  replyInCallback.clear();
  a.rec.onNote = [](const Note& n) {
    if (n.code == 100) replyInCallback = LastResponseText();
  };
  seq = a.Finish(FtpDeleteFileA(a.conn, "pub/not-there"), &r);
  a.rec.onNote = nullptr;
  CHECK_EQ(r.dwResult, 0u);
  CHECK_EQ(r.dwError, static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
  CHECK(replyInCallback.rfind("550", 0) == 0);

  // Close: 50, 51 and 70 for the handle (pooled, so no QUIT).
  CHECK(InternetCloseHandle(a.conn));
  HINTERNET closed = a.conn;
  a.conn = nullptr;
  Sleep(300);
  std::vector<Note> notes = a.rec.Take();
  CHECK_EQ(Show(Folded(notes)), Show(kClose));
  CHECK(!notes.empty() && notes.back().handle == closed);
  // The closed handle is refused from now on.
  CHECK(!FtpDeleteFileA(closed, "pub/x"));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

namespace {

std::mutex g_fileBytesMutex;
std::vector<ULONGLONG> g_fileBytes;

// Keeps the library's file-byte reports, then records as the recorder does.
void CALLBACK FileBytesCallback(HINTERNET h, DWORD_PTR ctx, DWORD code, LPVOID info, DWORD len) {
  if (code == INTERNET_STATUS_FTP_DATA_PROGRESS && info && len == sizeof(FTP_DATA_PROGRESS)) {
    std::lock_guard<std::mutex> lock(g_fileBytesMutex);
    g_fileBytes.push_back(static_cast<FTP_DATA_PROGRESS*>(info)->ullFileBytes);
  }
  Recorder::Callback(h, ctx, code, info, len);
}

std::vector<ULONGLONG> TakeFileBytes() {
  std::lock_guard<std::mutex> lock(g_fileBytesMutex);
  std::vector<ULONGLONG> out;
  out.swap(g_fileBytes);
  return out;
}

// The reports of one transfer: 0 when its data begins, then never falling, the last `size`.
void CheckFileBytes(const std::vector<ULONGLONG>& reports, size_t size) {
  REQUIRE(reports.size() >= 2);
  CHECK_EQ(reports.front(), 0ull);
  for (size_t i = 1; i < reports.size(); ++i) CHECK(reports[i] >= reports[i - 1]);
  CHECK_EQ(reports.back(), static_cast<ULONGLONG>(size));
}

}  // namespace

// INTERNET_OPTION_FTP_DATA_PROGRESS: the library's own report of the file's bytes (64-bit)
// beside the platform's 30/31 and 40/41, which stay as they are. An ASCII upload of a file
// with LF line ends sends more bytes than the file has: the report counts the file's.
TEST_CASE("async: the data-progress option reports the file's bytes of downloads and uploads") {
  const Server* sv = FindServer("vsftpd");
  REQUIRE(sv);
  AsyncSession a;
  InternetSetStatusCallback(a.session, FileBytesCallback);
  DWORD value = 2;
  CHECK(!InternetSetOptionA(a.session, INTERNET_OPTION_FTP_DATA_PROGRESS, &value, sizeof value));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CHECK(!InternetSetOptionA(a.session, INTERNET_OPTION_FTP_DATA_PROGRESS, &value, 2));
  value = 1;
  REQUIRE(InternetSetOptionA(a.session, INTERNET_OPTION_FTP_DATA_PROGRESS, &value, sizeof value));
  INTERNET_ASYNC_RESULT r{};
  std::vector<Note> raw;
  HINTERNET h = InternetConnectA(a.session, sv->Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP,
                                 INTERNET_FLAG_PASSIVE, 1);
  a.Finish(h != nullptr, &r);
  a.conn = reinterpret_cast<HINTERNET>(r.dwResult);
  REQUIRE(a.conn != nullptr);
  CHECK(TakeFileBytes().empty());  // a login moves no file

  const std::string local = ScratchDir();
  for (const DWORD type : {FTP_TRANSFER_TYPE_BINARY, FTP_TRANSFER_TYPE_ASCII}) {
    const std::string got = local + (type == FTP_TRANSFER_TYPE_ASCII ? "\\text.txt" : "\\mib.bin");
    const char* remote = type == FTP_TRANSFER_TYPE_ASCII ? "pub/text.txt" : "pub/mib.bin";
    a.Finish(FtpGetFileA(a.conn, remote, got.c_str(), FALSE, FILE_ATTRIBUTE_NORMAL, type, 1), &r, &raw);
    CHECK(r.dwResult != 0 && r.dwError == 0);
    CheckFileBytes(TakeFileBytes(), ReadAll(got).size());
  }

  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + "\n";
  const std::string up = local + "\\lf.txt";
  REQUIRE(WriteAll(up, text));
  a.Finish(FtpPutFileA(a.conn, up.c_str(), "pub/async-lf.txt", FTP_TRANSFER_TYPE_ASCII, 1), &r, &raw);
  CHECK(r.dwResult != 0 && r.dwError == 0);
  CheckFileBytes(TakeFileBytes(), text.size());
  CHECK(DataBytes(raw, 31) > text.size() + 3000);  // the wire carried a CR before every LF
  a.Finish(FtpDeleteFileA(a.conn, "pub/async-lf.txt"), &r);
  CHECK(TakeFileBytes().empty());  // nor does a command
}

TEST_CASE("async: one request at a time per connection; the callback may chain the next one") {
  const Server* sv = FindServer("vsftpd");
  REQUIRE(sv);
  AsyncSession a;
  INTERNET_ASYNC_RESULT r{};
  CHECK(!InternetConnectA(a.session, sv->Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP,
                          INTERNET_FLAG_PASSIVE, 1));
  REQUIRE(a.rec.WaitComplete(&r));
  a.conn = reinterpret_cast<HINTERNET>(r.dwResult);
  REQUIRE(a.conn);
  // A second request on the same connection while one runs is refused at once.
  std::string big = ScratchDir() + "\\one-at-a-time.bin";
  CHECK(!FtpGetFileA(a.conn, "pub/mib.bin", big.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 1));
  CHECK(!FtpCreateDirectoryA(a.conn, "pub/refused"));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FTP_TRANSFER_IN_PROGRESS));
  REQUIRE(a.rec.WaitComplete(&r));
  CHECK(!Exists(sv->root + "\\pub\\refused"));
  a.rec.Take();

  // Like the client: the 100 of one request issues the next from inside the callback.
  static HINTERNET chainConn;
  static BOOL chainReturned;
  static DWORD chainError;
  static int completes;
  chainConn = a.conn;
  completes = 0;
  a.rec.onNote = [](const Note& n) {
    if (n.code == 100 && ++completes == 1) {
      chainReturned = FtpCreateDirectoryA(chainConn, "pub/chained");
      chainError = GetLastError();
    }
  };
  CHECK(!FtpCreateDirectoryA(a.conn, "pub/chain-first"));
  REQUIRE(a.rec.WaitComplete(&r));
  REQUIRE(a.rec.WaitComplete(&r));
  a.rec.onNote = nullptr;
  CHECK(!chainReturned);
  CHECK_EQ(chainError, static_cast<DWORD>(ERROR_IO_PENDING));
  CHECK(Exists(sv->root + "\\pub\\chain-first") && Exists(sv->root + "\\pub\\chained"));
}

TEST_CASE("async: a failed connect completes with 100 and the error, no handle") {
  AsyncSession a;
  std::string host = "127.0.0.1:" + std::to_string(UnusedPort());
  INTERNET_ASYNC_RESULT r{};
  std::vector<DWORD> seq = a.Finish(InternetConnectA(a.session, host.c_str(), 0, nullptr, nullptr,
                                                     INTERNET_SERVICE_FTP, 0, 1) != nullptr,
                                    &r);
  CHECK_EQ(Show(seq), Show({60, 10, 11, 20, 100}));
  CHECK_EQ(r.dwResult, 0u);
  CHECK_EQ(r.dwError, static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
}

TEST_CASE("async: closing the session while a transfer runs ends it, no hang") {
  const Server* sv = FindServer("vsftpd");
  REQUIRE(sv);
  AsyncSession a;
  INTERNET_ASYNC_RESULT r{};
  InternetConnectA(a.session, sv->Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
  REQUIRE(a.rec.WaitComplete(&r));
  HINTERNET conn = reinterpret_cast<HINTERNET>(r.dwResult);
  REQUIRE(conn);
  std::string target = ScratchDir() + "\\keep.bin";
  WriteAll(target, "precious");
  static HINTERNET session;
  static int dataNotes;
  session = a.session;
  dataNotes = 0;
  a.rec.onNote = [](const Note& n) {  // close from inside the callback, mid-transfer
    if (n.code == 41 && n.count >= 65536 && ++dataNotes == 1) InternetCloseHandle(session);
  };
  FtpGetFileA(conn, "pub/mib.bin", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 1);
  DWORD start = GetTickCount();
  bool done = a.rec.WaitComplete(&r, 20000);
  a.rec.onNote = nullptr;
  CHECK(done);
  CHECK(GetTickCount() - start < 10000);
  a.session = nullptr;  // closed by the callback
  // The transfer may have finished before the close took effect; either way the target is
  // whole: the old content or the complete new file, never a part.
  std::string now = ReadAll(target);
  CHECK(now == "precious" || now == ReadAll(sv->root + "\\pub\\mib.bin"));
  if (r.dwError) CHECK_EQ(now, std::string("precious"));
}

TEST_CASE("async: closing the session while its callback waits on the closer's lock returns") {
  const Server* sv = FindServer("vsftpd");
  REQUIRE(sv);
  static std::mutex held;  // stands for the runtime lock the closing window thread holds
  static std::atomic<bool> inCallback;
  inCallback = false;
  AsyncSession a;
  a.rec.onNote = [](const Note& n) {
    if (n.code == 10) {
      inCallback = true;
      std::lock_guard<std::mutex> wait(held);
    }
  };
  held.lock();
  InternetConnectA(a.session, sv->Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 1);
  for (int i = 0; i < 200 && !inCallback; ++i) Sleep(10);
  CHECK(inCallback.load());
  DWORD start = GetTickCount();
  CHECK(InternetCloseHandle(a.session));
  DWORD took = GetTickCount() - start;
  a.session = nullptr;
  held.unlock();
  CHECK(took < 6000);
  INTERNET_ASYNC_RESULT r{};
  CHECK(a.rec.WaitComplete(&r, 10000));  // the connect ends, cancelled or not
  a.rec.onNote = nullptr;
  Sleep(200);
}

TEST_CASE("async: closing the connection mid-download while the file's writes run behind keeps the old file") {
  const Server* sv = FindServer("vsftpd");
  REQUIRE(sv);
  {  // 20 MiB: more than the write-behind buffers hold, so the writer thread is running
    HINTERNET s = InternetOpenA("nettest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET c = InternetConnectA(s, sv->Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP,
                                   INTERNET_FLAG_PASSIVE, 0);
    CHECK(!PutBytes(c, "pub/cancel-behind.bin", 20u << 20, 9).empty());
    InternetCloseHandle(c);
    InternetCloseHandle(s);
  }
  AsyncSession a;
  INTERNET_ASYNC_RESULT r{};
  InternetConnectA(a.session, sv->Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
  REQUIRE(a.rec.WaitComplete(&r));
  a.conn = reinterpret_cast<HINTERNET>(r.dwResult);
  REQUIRE(a.conn);
  const std::string dir = ScratchDir();
  const std::string target = dir + "\\keep.bin";
  WriteAll(target, "precious");
  static HINTERNET conn;
  static uint64_t received;
  conn = a.conn;
  received = 0;
  a.rec.onNote = [](const Note& n) {  // close once 12 MiB arrived: buffers are queued and written
    if (n.code == 41 && (received += n.count) >= (12u << 20) && conn) {
      InternetCloseHandle(conn);
      conn = nullptr;
    }
  };
  FtpGetFileA(a.conn, "pub/cancel-behind.bin", target.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 1);
  bool done = a.rec.WaitComplete(&r, 20000);
  a.rec.onNote = nullptr;
  CHECK(done);
  a.conn = nullptr;  // closed by the callback
  CHECK_EQ(r.dwResult, 0u);
  CHECK_EQ(r.dwError, static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
  CHECK_EQ(ReadAll(target), std::string("precious"));
  CHECK_EQ(OtherFiles(dir, "keep.bin"), 0);  // the temporary file is gone with its writer
  DeleteFileA((sv->root + "\\pub\\cancel-behind.bin").c_str());
}
