// A file over 4 GiB both ways through vsftpd: the listing's size keeps both halves, the
// download and the upload are whole (size and markers around the 4 GiB boundary). The source
// on the server is a sparse file; the test skips with a message when the disk lacks room.
#include "integration/net_support.h"
#include "support/check.h"

using namespace nettest;

namespace {

const uint64_t kSize = (4ull << 30) + 65536 + 7;
const uint64_t kMarks[] = {0, (4ull << 30) - 3, kSize - 8};

bool WriteAt(HANDLE h, uint64_t at, const std::string& s) {
  LARGE_INTEGER li;
  li.QuadPart = static_cast<LONGLONG>(at);
  DWORD done = 0;
  return SetFilePointerEx(h, li, nullptr, FILE_BEGIN) &&
         WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &done, nullptr) && done == s.size();
}

std::string ReadAt(const std::string& path, uint64_t at, size_t n) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  LARGE_INTEGER li;
  li.QuadPart = static_cast<LONGLONG>(at);
  std::string s(n, '\0');
  DWORD done = 0;
  SetFilePointerEx(h, li, nullptr, FILE_BEGIN);
  ReadFile(h, s.data(), static_cast<DWORD>(n), &done, nullptr);
  CloseHandle(h);
  s.resize(done);
  return s;
}

uint64_t SizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return 0;
  return (static_cast<uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

std::string Mark(int i) { return "MARK" + std::to_string(i) + "!!"; }

}  // namespace

TEST_CASE("large: a file over 4 GiB down and up (vsftpd)") {
  const Server* sv = FindServer("vsftpd");
  REQUIRE(sv);
  std::string local = ScratchDir();
  ULARGE_INTEGER freeBytes{};
  GetDiskFreeSpaceExA(local.c_str(), &freeBytes, nullptr, nullptr);
  if (freeBytes.QuadPart < 3 * kSize) {
    printf("skipped: %llu bytes free, the test needs %llu\n", static_cast<unsigned long long>(freeBytes.QuadPart),
           static_cast<unsigned long long>(3 * kSize));
    return;
  }
  std::string source = sv->root + "\\pub\\big.iso";
  HANDLE h = CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  REQUIRE(h != INVALID_HANDLE_VALUE);
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(kSize);
  bool made = SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);  // sparse: no blocks
  for (int i = 0; i < 3; ++i) made = made && WriteAt(h, kMarks[i], Mark(i));
  CloseHandle(h);
  REQUIRE(made);

  HINTERNET s = InternetOpenA("large", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET c = InternetConnectA(s, sv->Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP,
                                 INTERNET_FLAG_PASSIVE, 0);
  REQUIRE(c);
  WIN32_FIND_DATAA fd;
  HINTERNET f = FtpFindFirstFileA(c, "pub/big.iso", &fd, 0, 0);
  CHECK(f != nullptr);
  if (f) {
    CHECK_EQ(fd.nFileSizeHigh, static_cast<DWORD>(kSize >> 32));
    CHECK_EQ(fd.nFileSizeLow, static_cast<DWORD>(kSize & 0xFFFFFFFFu));
    InternetCloseHandle(f);
  }
  std::string down = local + "\\big.iso";
  DWORD t0 = GetTickCount();
  CHECK(FtpGetFileA(c, "pub/big.iso", down.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
  DWORD t1 = GetTickCount();
  CHECK_EQ(SizeOf(down), kSize);
  for (int i = 0; i < 3; ++i) CHECK_EQ(ReadAt(down, kMarks[i], Mark(i).size()), Mark(i));
  CHECK(FtpPutFileA(c, down.c_str(), "pub/big-up.iso", FTP_TRANSFER_TYPE_BINARY, 0));
  DWORD t2 = GetTickCount();
  std::string up = sv->root + "\\pub\\big-up.iso";
  CHECK_EQ(SizeOf(up), kSize);
  for (int i = 0; i < 3; ++i) CHECK_EQ(ReadAt(up, kMarks[i], Mark(i).size()), Mark(i));
  printf("4 GiB+: download %lu ms, upload %lu ms\n", static_cast<unsigned long>(t1 - t0),
         static_cast<unsigned long>(t2 - t1));
  InternetCloseHandle(c);
  InternetCloseHandle(s);
  DeleteFileA(down.c_str());
  DeleteFileA(up.c_str());
  DeleteFileA(source.c_str());
}
