// The last reply a thread keeps (InternetGetLastResponseInfoA) when the thread ends.
//
// The library's workers end whenever their connection closes, while the client's other threads
// go on allocating. This toolchain frees a thread's thread_local storage before it runs the
// destructors of its thread_local objects, so whatever the library keeps per thread must be
// released without reading that storage. The cases make the reuse certain with the blank
// filler (support/blank_filler.h), first used after the reply was stored.
#include <windows.h>

#include <string>
#include <thread>

#include "net/ftp_handles.h"
#include "support/blank_filler.h"
#include "support/check.h"

namespace {

std::string LastReplyText() {
  DWORD code = 0, length = 0;
  InternetGetLastResponseInfoA(&code, nullptr, &length);
  std::string text(length + 1, '\0');
  DWORD size = length + 1;
  if (!InternetGetLastResponseInfoA(&code, text.data(), &size)) return "(failed)";
  text.resize(length);
  return std::to_string(code) + " " + text;
}

// One worker-like thread: stores a reply (short or, past the string's inline room, on the
// heap), reads it back, lets the filler loose and ends.
std::string RunThread(const std::string& text) {
  std::string seen;
  std::thread([&] {
    vel::net::StoreLastResponse(vel::net::FtpReply{250, text});
    seen = LastReplyText();
    testsupport::t_blank_filler.used = true;  // registered after the reply: destroyed before it would be
  }).join();
  testsupport::ReleaseBlankFilled();
  return seen;
}

}  // namespace

TEST_CASE("a thread's last reply is read back and released safely when the thread ends") {
  const std::string long_text = "250 Renamed onto a name that existed before, " + std::string(120, 'x') + "\r\n";
  for (int round = 0; round < 20; ++round) {
    CHECK_EQ(RunThread("250 OK\r\n"), std::string("250 250 OK\r\n"));
    CHECK_EQ(RunThread(long_text), "250 " + long_text);
  }
}

TEST_CASE("a thread that never stored a reply reads none, and a cleared reply is gone") {
  std::string before, after;
  std::thread([&] {
    before = LastReplyText();
    vel::net::StoreLastResponse(vel::net::FtpReply{550, "550 No such file\r\n"});
    vel::net::ClearLastResponse();
    after = LastReplyText();
    testsupport::t_blank_filler.used = true;
  }).join();
  testsupport::ReleaseBlankFilled();
  CHECK_EQ(before, std::string("0 "));
  CHECK_EQ(after, std::string("0 "));
}

TEST_CASE("reading the last reply leaves the caller's last error as it was") {
  std::thread([] {
    vel::net::StoreLastResponse(vel::net::FtpReply{530, "530 Login incorrect.\r\n"});
    SetLastError(ERROR_INTERNET_EXTENDED_ERROR);
    DWORD code = 0, length = 0;
    InternetGetLastResponseInfoA(&code, nullptr, &length);  // the size asked first, as callers do
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    SetLastError(ERROR_INTERNET_EXTENDED_ERROR);
    vel::net::ClearLastResponse();
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    CHECK_EQ(vel::net::LastResponse().code, 0);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
  }).join();
}
