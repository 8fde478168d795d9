// The caller's own commands and the transfers it drives (FtpCommandA, FtpOpenFileA with
// InternetReadFile/InternetWriteFile, FtpGetFileSize) against vsftpd, ProFTPD and Pure-FTPd of
// the ftpd fixture, and a scripted server for final replies that fail after the data moved.
#include <cstring>

#include "integration/fake_ftpd.h"
#include "integration/net_support.h"
#include "support/check.h"

using namespace nettest;

namespace {

const char* const kServers[] = {"vsftpd", "proftpd", "pureftpd"};

struct Conn {
  HINTERNET session = nullptr, conn = nullptr;
  explicit Conn(int port, DWORD flags = 0) {
    session = InternetOpenA("openfile", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, flags);
    std::string host = "127.0.0.1:" + std::to_string(port);
    if (!(flags & INTERNET_FLAG_ASYNC))
      conn = InternetConnectA(session, host.c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
  }
  ~Conn() {
    if (conn) InternetCloseHandle(conn);
    InternetCloseHandle(session);
  }
};

// Reads a handle to its end in pieces of `chunk`; *error is 0 when the end was reached.
std::string ReadToEnd(HINTERNET f, DWORD chunk, DWORD* error) {
  std::string out, buf(chunk, '\0');
  for (;;) {
    DWORD n = 0;
    if (!InternetReadFile(f, buf.data(), chunk, &n)) {
      *error = GetLastError();
      return out;
    }
    if (n == 0) break;
    out.append(buf.data(), n);
  }
  *error = 0;
  return out;
}

bool WriteAllTo(HINTERNET f, const std::string& data, size_t chunk) {
  for (size_t at = 0; at < data.size(); at += chunk) {
    DWORD n = static_cast<DWORD>(std::min(chunk, data.size() - at)), done = 0;
    if (!InternetWriteFile(f, data.data() + at, n, &done) || done != n) return false;
  }
  return true;
}

std::string Code(DWORD* code = nullptr) { return LastResponseText(code).substr(0, 3); }

// Runs body(server, connection) on a new connection to each server, with `data` in its pub/`file`.
template <typename Body>
void OnEachServer(const char* file, const std::string& data, Body body) {
  for (const char* name : kServers) {
    const Server* sv = FindServer(name);
    REQUIRE(sv);
    printf("  %s\n", name);
    REQUIRE(WriteAll(sv->root + "\\pub\\" + file, data));
    Conn s(sv->port);
    REQUIRE(s.conn);
    body(*sv, s);
  }
}

}  // namespace

TEST_CASE("command: replies, refusals, no injection, a listing through its handle") {
  OnEachServer("keep.bin", "keep", [](const Server& server, const Conn& s) {
    const Server* sv = &server;
    CHECK(FtpCommandA(s.conn, FALSE, 0, "SYST", 0, nullptr));
    CHECK_EQ(Code(), std::string("215"));
    CHECK(FtpCommandA(s.conn, FALSE, FTP_TRANSFER_TYPE_BINARY, "noop", 0, nullptr));
    CHECK_EQ(Code(), std::string("200"));
    CHECK(!FtpCommandA(s.conn, FALSE, 0, "XNOSUCH verb", 0, nullptr));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    CHECK_EQ(Code().substr(0, 1), std::string("5"));
    // A second command inside the line is refused before anything is sent.
    for (const char* bad : {"NOOP\r\nDELE pub/keep.bin", "DELE pub/keep.bin\n", "\rDELE pub/keep.bin", "", "   "}) {
      CHECK(!FtpCommandA(s.conn, FALSE, 0, bad, 0, nullptr));
      CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    CHECK(!FtpCommandA(s.conn, FALSE, 0, std::string(5000, 'N').c_str(), 0, nullptr));
    CHECK(Exists(sv->root + "\\pub\\keep.bin"));
    CHECK(!FtpCommandA(s.conn, TRUE, 0, "LIST", 0, nullptr));  // no handle to give it to
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CHECK(!FtpCommandA(s.session, FALSE, 0, "NOOP", 0, nullptr));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));

    HINTERNET list = nullptr;
    REQUIRE(FtpCommandA(s.conn, TRUE, FTP_TRANSFER_TYPE_ASCII, "LIST pub", 7, &list));
    REQUIRE(list);
    CHECK(!FtpCommandA(s.conn, FALSE, 0, "NOOP", 0, nullptr));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FTP_TRANSFER_IN_PROGRESS));
    CHECK_EQ(FtpGetFileSize(list, nullptr), INVALID_FILE_SIZE);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE));
    DWORD error = 1;
    std::string text = ReadToEnd(list, 100, &error);
    CHECK_EQ(error, 0u);
    CHECK(text.find("mib.bin\r\n") != std::string::npos && text.find("with space.txt\r\n") != std::string::npos);
    CHECK(InternetCloseHandle(list));
    CHECK(FtpCommandA(s.conn, FALSE, 0, "NOOP", 0, nullptr));
  });
}

TEST_CASE("open file: a few MiB read and written byte for byte, its size, the connection held") {
  const std::string data = Bytes((3u << 20) + 17, 11);
  OnEachServer("open-read.bin", data, [&](const Server& server, const Conn& s) {
    const Server* sv = &server;
    HINTERNET f = FtpOpenFileA(s.conn, "pub/open-read.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    REQUIRE(f);
    DWORD high = 7;
    CHECK_EQ(FtpGetFileSize(f, &high), static_cast<DWORD>(data.size()));
    CHECK_EQ(GetLastError(), 0u);
    CHECK_EQ(high, 0u);
    // The data connection holds the connection: other requests wait for the close.
    std::string local = ScratchDir() + "\\one.bin";
    CHECK(!FtpGetFileA(s.conn, "pub/one.bin", local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FTP_TRANSFER_IN_PROGRESS));
    CHECK(FtpOpenFileA(s.conn, "pub/one.bin", GENERIC_READ, 0, 0) == nullptr);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FTP_TRANSFER_IN_PROGRESS));
    char b[4];
    DWORD n = 9;
    CHECK(!InternetReadFile(s.conn, b, sizeof b, &n));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    CHECK(!InternetWriteFile(f, b, sizeof b, &n));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    DWORD error = 1;
    CHECK(ReadToEnd(f, 65521, &error) == data);
    CHECK_EQ(error, 0u);
    CHECK(InternetCloseHandle(f));

    HINTERNET w = FtpOpenFileA(s.conn, "pub/open-written.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    REQUIRE(w);
    CHECK_EQ(FtpGetFileSize(w, &high), INVALID_FILE_SIZE);
    CHECK(WriteAllTo(w, data, 100003));
    CHECK(InternetCloseHandle(w));
    CHECK(ReadAll(sv->root + "\\pub\\open-written.bin") == data);

    // ASCII: line ends as FtpGetFileA gives them; the size is the file's, asked in binary type.
    HINTERNET t = FtpOpenFileA(s.conn, "pub/text.txt", GENERIC_READ, FTP_TRANSFER_TYPE_ASCII, 0);
    REQUIRE(t);
    CHECK_EQ(FtpGetFileSize(t, nullptr), 29u);
    CHECK_EQ(ReadToEnd(t, 3, &error), std::string("line one\r\nline two\r\n\r\nlast line\r\n"));
    CHECK(InternetCloseHandle(t));
    CHECK(FtpOpenFileA(s.conn, "pub/x", GENERIC_READ | GENERIC_WRITE, 0, 0) == nullptr);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  });
}

TEST_CASE("open file: a download closed midway leaves the connection ready") {
  const std::string data = Bytes(4u << 20, 5);
  OnEachServer("open-cut.bin", data, [&](const Server& server, const Conn& s) {
    const Server* sv = &server;
    HINTERNET f = FtpOpenFileA(s.conn, "pub/open-cut.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    REQUIRE(f);
    std::string buf(65536, '\0');
    DWORD n = 0;
    CHECK(InternetReadFile(f, buf.data(), 65536, &n) && n > 0);
    CHECK(InternetCloseHandle(f));
    std::string local = ScratchDir() + "\\mib.bin";
    CHECK(FtpGetFileA(s.conn, "pub/mib.bin", local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
    CHECK(ReadAll(local) == ReadAll(sv->root + "\\pub\\mib.bin"));
    CHECK(FtpCommandA(s.conn, FALSE, 0, "NOOP", 0, nullptr));
  });
}

TEST_CASE("restart: REST is for the next FtpOpenFileA only; whole-file transfers refuse it") {
  const std::string data = Bytes((1u << 20) + 5, 3);
  OnEachServer("rest.bin", data, [&](const Server& server, const Conn& s) {
    const Server* sv = &server;
    std::string dir = ScratchDir(), local = dir + "\\rest.bin";
    REQUIRE(WriteAll(dir + "\\up.bin", data));
    CHECK(FtpCommandA(s.conn, FALSE, 0, "TYPE I", 0, nullptr));  // ProFTPD takes REST in binary type only
    CHECK(FtpCommandA(s.conn, FALSE, 0, "REST 1000003", 0, nullptr));
    CHECK_EQ(Code(), std::string("350"));
    CHECK(!FtpGetFileA(s.conn, "pub/rest.bin", local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE));
    CHECK(!Exists(local));
    CHECK(!FtpPutFileA(s.conn, (dir + "\\up.bin").c_str(), "pub/rest-up.bin", FTP_TRANSFER_TYPE_BINARY, 0));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE));
    CHECK(!Exists(sv->root + "\\pub\\rest-up.bin"));
    DWORD error = 1;
    for (size_t from : {size_t{1000003}, size_t{0}}) {  // the marker is used up by the first open
      HINTERNET f = FtpOpenFileA(s.conn, "pub/rest.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
      REQUIRE(f);
      CHECK(ReadToEnd(f, 65536, &error) == data.substr(from));
      CHECK(InternetCloseHandle(f));
    }
    // Another command cancels a marker; the server's own is reset before a whole-file transfer.
    CHECK(FtpCommandA(s.conn, FALSE, 0, "TYPE I", 0, nullptr));
    CHECK(FtpCommandA(s.conn, FALSE, 0, "REST 500", 0, nullptr));
    CHECK(FtpCommandA(s.conn, FALSE, 0, "NOOP", 0, nullptr));
    CHECK(FtpGetFileA(s.conn, "pub/rest.bin", local.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
    CHECK(ReadAll(local) == data);
    CHECK(FtpCommandA(s.conn, FALSE, 0, "TYPE I", 0, nullptr));
    CHECK(FtpCommandA(s.conn, FALSE, 0, "REST 700", 0, nullptr));
    CHECK(FtpCommandA(s.conn, FALSE, 0, "PWD", 0, nullptr));
    CHECK(FtpPutFileA(s.conn, (dir + "\\up.bin").c_str(), "pub/rest-up.bin", FTP_TRANSFER_TYPE_BINARY, 0));
    CHECK(ReadAll(sv->root + "\\pub\\rest-up.bin") == data);
  });
}

TEST_CASE("open file: asynchronous reads and writes complete on the file handle (vsftpd)") {
  const Server* sv = FindServer("vsftpd");
  REQUIRE(sv);
  const std::string data = Bytes((2u << 20) + 9, 17);
  REQUIRE(WriteAll(sv->root + "\\pub\\open-async.bin", data));
  Recorder rec;
  Conn s(sv->port, INTERNET_FLAG_ASYNC);
  InternetSetStatusCallback(s.session, Recorder::Callback);
  INTERNET_ASYNC_RESULT r{};
  CHECK(!InternetConnectA(s.session, sv->Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP,
                          INTERNET_FLAG_PASSIVE, 1));
  REQUIRE(rec.WaitComplete(&r));
  s.conn = reinterpret_cast<HINTERNET>(r.dwResult);
  REQUIRE(s.conn);
  // One request: pending, then its completion; the completion's handle is returned.
  auto finish = [&](BOOL returned) -> HINTERNET {
    CHECK(!returned && GetLastError() == ERROR_IO_PENDING);
    r = {};
    CHECK(rec.WaitComplete(&r));
    CHECK_EQ(r.dwError, 0u);
    std::vector<Note> notes = rec.Take();
    return notes.empty() ? nullptr : notes.back().handle;
  };
  CHECK(finish(FtpOpenFileA(s.conn, "pub/open-async.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 2) != nullptr) ==
        s.conn);
  HINTERNET f = reinterpret_cast<HINTERNET>(r.dwResult);
  REQUIRE(f);
  CHECK_EQ(FtpGetFileSize(f, nullptr), static_cast<DWORD>(data.size()));
  std::string got, buf(65536, '\0');
  for (DWORD n = 1; n;) {
    n = 77;
    CHECK(finish(InternetReadFile(f, buf.data(), 65536, &n)) == f);
    if (r.dwError) break;
    got.append(buf.data(), n);
  }
  CHECK(got == data);
  CHECK(InternetCloseHandle(f));

  CHECK(finish(FtpOpenFileA(s.conn, "pub/open-async-up.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 3) != nullptr) ==
        s.conn);
  HINTERNET w = reinterpret_cast<HINTERNET>(r.dwResult);
  REQUIRE(w);
  for (size_t at = 0; at < data.size(); at += 65536) {
    std::string piece = data.substr(at, 65536);
    DWORD done = 0;
    BOOL returned = InternetWriteFile(w, piece.data(), static_cast<DWORD>(piece.size()), &done);
    piece.assign(piece.size(), 'X');  // the library keeps its own copy
    CHECK(finish(returned) == w);
    CHECK_EQ(done, static_cast<DWORD>(std::min<size_t>(65536, data.size() - at)));
  }
  CHECK(InternetCloseHandle(w));
  CHECK(ReadAll(sv->root + "\\pub\\open-async-up.bin") == data);
}

TEST_CASE("open file: a final reply that fails after the data is never a quiet end (scripted)") {
  FakeFtpd down(With(LoginSteps(), {{Step::Send, "TYPE I", "200 ok\r\n"},
                                    {Step::Send, "SIZE big.bin", "213 10\r\n"},
                                    {Step::Pasv, "PASV", ""},
                                    {Step::Send, "RETR big.bin", "150 here\r\n"},
                                    {Step::DataOut, "", "0123456789"},
                                    {Step::Send, "", "451 Read error on the disk.\r\n"},
                                    {Step::Send, "NOOP", "200 ok\r\n"}}));
  Conn c(down.Port());
  REQUIRE(c.conn);
  HINTERNET f = FtpOpenFileA(c.conn, "big.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
  REQUIRE(f);
  DWORD error = 0;
  CHECK_EQ(ReadToEnd(f, 4096, &error), std::string("0123456789"));
  CHECK_EQ(error, static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
  CHECK_EQ(LastResponseText(), std::string("451 Read error on the disk.\r\n"));
  CHECK(!InternetCloseHandle(f));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
  CHECK(FtpCommandA(c.conn, FALSE, 0, "NOOP", 0, nullptr));
  CHECK(!down.Mismatch());

  // The caller's marker goes again right before STOR (after PASV, which some servers take as
  // the command that drops it).
  FakeFtpd up(With(LoginSteps(), {{Step::Send, "REST 4", "350 restarting at 4\r\n"},
                                  {Step::Send, "TYPE I", "200 ok\r\n"},
                                  {Step::Pasv, "PASV", ""},
                                  {Step::Send, "REST 4", "350 restarting at 4\r\n"},
                                  {Step::Send, "STOR up.bin", "150 send it\r\n"},
                                  {Step::DataIn, "", ""},
                                  {Step::Send, "", "452 Disk full.\r\n"}}));
  Conn d(up.Port());
  REQUIRE(d.conn);
  CHECK(FtpCommandA(d.conn, FALSE, 0, "REST 4", 0, nullptr));
  HINTERNET w = FtpOpenFileA(d.conn, "up.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
  REQUIRE(w);
  DWORD done = 0;
  CHECK(InternetWriteFile(w, "tail", 4, &done) && done == 4);
  CHECK(!InternetCloseHandle(w));
  CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
  CHECK_EQ(LastResponseText(), std::string("452 Disk full.\r\n"));
  CHECK_EQ(up.DataReceived(), std::string("tail"));
  CHECK(!up.Mismatch());
}
