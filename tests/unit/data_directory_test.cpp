// The directory listing builtin, SetCurrentPath and ShortPathName on real directories made by
// the test in a temporary folder: the attribute filter with hidden, system, read-only files and
// directories, names with blanks, long names and their short forms, sizes past 4 GB (sparse),
// local times at the end of a day and at midnight, dates before 1801, an empty directory, the
// OEM conversions (Windows side), and bad input.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <ctime>
#endif

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/startup.h"
#include "runtime/core/string_stack.h"
#include "runtime/data/directory.h"
#include "runtime/data/queue.h"
#include "support/check.h"
#include "support/file_queue_layout.h"

using namespace vel;

namespace {

const int g_init = (MemoryInitTerm(0), SetApplicationActive(false), 0);

// --- the platform side of the scratch tree ------------------------------------------------------
#ifdef _WIN32
constexpr char kSep = '\\';

// In memory (tmpfs, which keeps times before 1901) when the host's /dev/shm is reachable.
std::string MakeTempDir(bool in_memory = false) {
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  if (in_memory && GetFileAttributesA("Z:\\dev\\shm") != INVALID_FILE_ATTRIBUTES) std::strcpy(base, "Z:\\dev\\shm\\");
  for (unsigned i = GetCurrentProcessId();; ++i) {
    std::string dir = std::string(base) + "veldir" + std::to_string(i);
    if (CreateDirectoryA(dir.c_str(), nullptr)) return dir;
  }
}
bool WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return written == bytes.size();
}
bool MakeDir(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }
bool AddAttributes(const std::string& path, DWORD bits) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && SetFileAttributesA(path.c_str(), (a & ~FILE_ATTRIBUTE_NORMAL) | bits);
}
bool SetHidden(const std::string& p) { return AddAttributes(p, FILE_ATTRIBUTE_HIDDEN); }
bool SetSystem(const std::string& p) { return AddAttributes(p, FILE_ATTRIBUTE_SYSTEM); }
bool SetReadOnly(const std::string& p) { return AddAttributes(p, FILE_ATTRIBUTE_READONLY); }
bool SetSize(const std::string& path, long long size) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER at;
  at.QuadPart = size;
  bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
  CloseHandle(h);
  return ok;
}
// Sets the last-write time from local calendar time the way the listing converts it back.
bool SetLocalWriteTime(const std::string& path, int y, int mo, int d, int h, int mi, int s, int ms) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = static_cast<WORD>(ms);
  FILETIME local, utc;
  if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc)) return false;
  HANDLE h2 = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h2 == INVALID_HANDLE_VALUE) return false;
  bool ok = SetFileTime(h2, nullptr, nullptr, &utc) != 0;
  CloseHandle(h2);
  return ok;
}
// Wide functions with "\\?\" so that names past MAX_PATH go too.
void RemoveTreeWide(const std::wstring& dir) {
  WIN32_FIND_DATAW f;
  HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &f);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::wstring n = f.cFileName;
      if (n == L"." || n == L"..") continue;
      std::wstring p = dir + L"\\" + n;
      SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTreeWide(p);
      else
        DeleteFileW(p.c_str());
    } while (FindNextFileW(h, &f));
    FindClose(h);
  }
  RemoveDirectoryW(dir.c_str());
}
void RemoveTree(const std::string& dir) {
  wchar_t wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, wide, MAX_PATH);
  RemoveTreeWide(std::wstring(L"\\\\?\\") + wide);
}
std::string CurrentDir() {
  char buf[MAX_PATH];
  GetCurrentDirectoryA(sizeof buf, buf);
  return buf;
}
#else
constexpr char kSep = '/';

// In memory (tmpfs, which keeps times before 1901) when /dev/shm is there.
std::string MakeTempDir(bool in_memory = false) {
  char templ[] = "/tmp/veldirXXXXXX";
  char shm[] = "/dev/shm/veldirXXXXXX";
  if (in_memory && access("/dev/shm", W_OK) == 0) return mkdtemp(shm);
  return mkdtemp(templ);
}
bool WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}
bool MakeDir(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }
// Hidden and system bits live where Wine keeps them, in the "user.DOSATTRIB" attribute.
bool AddDosBits(const std::string& path, unsigned bits) {
  char value[16] = "0x0";
  ssize_t n = getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
  value[n > 0 ? n : 3] = 0;
  unsigned now = static_cast<unsigned>(std::strtoul(value, nullptr, 16)) | bits;
  std::snprintf(value, sizeof value, "0x%x", now);
  return setxattr(path.c_str(), "user.DOSATTRIB", value, std::strlen(value), 0) == 0;
}
bool SetHidden(const std::string& p) { return AddDosBits(p, 0x2); }
bool SetSystem(const std::string& p) { return AddDosBits(p, 0x4); }
bool SetReadOnly(const std::string& p) { return chmod(p.c_str(), 0444) == 0; }
bool SetSize(const std::string& path, long long size) { return truncate(path.c_str(), size) == 0; }
bool SetLocalWriteTime(const std::string& path, int y, int mo, int d, int h, int mi, int s, int ms) {
  tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  t.tm_isdst = -1;
  timespec times[2];
  times[0].tv_sec = times[1].tv_sec = mktime(&t);
  times[0].tv_nsec = times[1].tv_nsec = ms * 1000000L;
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}
int RemoveOne(const char* path, const struct stat*, int, FTW*) { return remove(path); }
void RemoveTree(const std::string& dir) { nftw(dir.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS); }
std::string CurrentDir() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? buf : "";
}
#endif

// --- the client's file queue: the file entry layout and a one-byte mark -------------------------
using vel::testing::kFileQueue;
using vel::testing::kFileQueueFields;

struct Entry {
  std::string name, short_name;
  std::int32_t date, time;
  std::uint32_t size;
  std::uint8_t attrib, mark;
};

std::string Clip(const char* p, std::size_t n) {
  while (n && p[n - 1] == ' ') --n;
  return std::string(p, n);
}
std::uint32_t Long(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct FileQueue {
  std::uint8_t buf[vel::testing::kFileQueueRecordSize];
  QueueBlock q{buf, &kFileQueue, nullptr, sizeof buf};
  FileQueue() { std::memset(buf, 0, sizeof buf); }
  ~FileQueue() { QueueDestroy(&q); }
  void List(const std::string& pattern, std::uint8_t mask) {
    ListDirectoryText(&q, mask, pattern.data(), static_cast<std::uint32_t>(pattern.size()));
  }
  std::vector<Entry> Rows() {
    std::vector<Entry> rows;
    for (std::uint32_t i = 1; i <= QueueRecords(&q); ++i) {
      QueueGetAt(&q, static_cast<std::int32_t>(i));
      rows.push_back(Entry{Clip(reinterpret_cast<char*>(buf), 256), Clip(reinterpret_cast<char*>(buf) + 256, 13),
                           static_cast<std::int32_t>(Long(buf + 269)), static_cast<std::int32_t>(Long(buf + 273)),
                           Long(buf + 277), buf[281], buf[282]});
    }
    return rows;
  }
  const Entry* Find(const std::string& name) {
    static Entry found;
    for (const Entry& e : Rows())
      if (e.name == name) return &(found = e);
    return nullptr;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const Entry& e : Rows()) names.push_back(e.name);
    return names;
  }
};

bool Has(const std::vector<std::string>& v, const std::string& s) {
  for (const auto& x : v)
    if (x == s) return true;
  return false;
}

// The scratch tree shared by the listing cases.
const std::string kLongName = "a name with spaces and a long tail.text";
struct Tree {
  std::string dir;
  bool attributes_set = true;
  explicit Tree(bool in_memory = false) : dir(MakeTempDir(in_memory)) {
    WriteBytes(Path("plain.txt"), "abc");
    WriteBytes(Path(kLongName), "hello");
    WriteBytes(Path("readonly.txt"), "r");
    WriteBytes(Path("hidden.txt"), "h");
    WriteBytes(Path("system.sys"), "s");
    MakeDir(Path("sub"));
    MakeDir(Path("hiddendir"));
    MakeDir(Path("empty"));
    attributes_set = SetReadOnly(Path("readonly.txt")) && SetHidden(Path("hidden.txt")) &&
                     SetSystem(Path("system.sys")) && SetHidden(Path("hiddendir"));
  }
  ~Tree() { RemoveTree(dir); }
  std::string Path(const std::string& name) const { return dir + kSep + name; }
  std::string All() const { return Path("*.*"); }
};

}  // namespace

TEST_CASE("listing: the attribute filter over hidden, system, read-only files and directories") {
  Tree t;
  REQUIRE(t.attributes_set);
  {
    FileQueue f;  // mask 0: ordinary files only, read-only ones included
    f.List(t.All(), 0);
    auto n = f.Names();
    CHECK_EQ(n.size(), 3u);
    CHECK(Has(n, "plain.txt") && Has(n, "readonly.txt") && Has(n, kLongName));
    CHECK_EQ(ErrorCode(), 0);
  }
  {
    FileQueue f;  // mask 2 adds hidden files and hidden directories
    f.List(t.All(), 2);
    auto n = f.Names();
    CHECK_EQ(n.size(), 5u);
    CHECK(Has(n, "hidden.txt") && Has(n, "hiddendir") && !Has(n, "system.sys") && !Has(n, "sub"));
  }
  {
    FileQueue f;  // mask 0x10 adds every directory, "." and ".." too
    f.List(t.All(), 0x10);
    auto n = f.Names();
    CHECK(Has(n, ".") && Has(n, "..") && Has(n, "sub") && Has(n, "empty") && Has(n, "hiddendir"));
    CHECK(!Has(n, "hidden.txt") && !Has(n, "system.sys"));
    CHECK_EQ(n.size(), 8u);
  }
  {
    FileQueue f;  // the client's mask 7: hidden and system, but plain directories stay out
    f.List(t.All(), 7);
    auto n = f.Names();
    CHECK(Has(n, "hidden.txt") && Has(n, "system.sys") && Has(n, "hiddendir") && !Has(n, "sub"));
    CHECK_EQ(n.size(), 6u);
  }
  {
    FileQueue f;  // 0x16 lists everything
    f.List(t.All(), 0x16);
    CHECK_EQ(f.Names().size(), 10u);
    CHECK_EQ(f.Find("readonly.txt")->attrib & 0x17, 0x01);
    CHECK_EQ(f.Find("hidden.txt")->attrib & 0x17, 0x02);
    CHECK_EQ(f.Find("system.sys")->attrib & 0x17, 0x04);
    CHECK_EQ(f.Find("sub")->attrib & 0x17, 0x10);
    CHECK_EQ(f.Find("hiddendir")->attrib & 0x17, 0x12);
    for (const Entry& e : f.Rows()) CHECK_EQ(e.attrib & ~0x37, 0);
  }
}

TEST_CASE("listing: the filter itself, bit by bit") {
  CHECK(EntryAccepted(0x00, 0) && EntryAccepted(0x01, 0) && EntryAccepted(0x20, 0) && EntryAccepted(0x21, 0));
  CHECK(EntryAccepted(0x80, 0));  // bits outside hidden/system/directory do not count
  CHECK(!EntryAccepted(0x02, 0) && !EntryAccepted(0x04, 0) && !EntryAccepted(0x10, 0));
  CHECK(EntryAccepted(0x12, 0x02) && EntryAccepted(0x12, 0x10) && !EntryAccepted(0x12, 0x04));
  CHECK(!EntryAccepted(0x04, 0x01) && !EntryAccepted(0x02, 0x20) && EntryAccepted(0x16, 0x04));
}

TEST_CASE("listing: names, short names and sizes") {
  Tree t;
  const std::string longest(255, 'n');
#ifdef _WIN32
  // The whole path is past MAX_PATH, which only the wide functions with "\\?\" accept.
  std::string prefixed = "\\\\?\\" + t.Path(longest);
  std::wstring wide(prefixed.begin(), prefixed.end());
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  REQUIRE(h != INVALID_HANDLE_VALUE);
  CloseHandle(h);
#else
  REQUIRE(WriteBytes(t.Path(longest), ""));
#endif
  FileQueue f;
  f.List(t.All(), 0);
  const Entry* plain = f.Find("plain.txt");
  REQUIRE(plain != nullptr);
  CHECK_EQ(plain->size, 3u);
  std::string sn = plain->short_name;
  for (char& c : sn) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  CHECK_EQ(sn, std::string("plain.txt"));  // an 8.3 name is its own short name
  const Entry* spaced = f.Find(kLongName);
  REQUIRE(spaced != nullptr);
  CHECK_EQ(spaced->size, 5u);
  CHECK_EQ(spaced->mark, 0);  // the part of the record after the layout is not touched
#ifdef _WIN32
  // The system's 8.3 alias, the same one GetShortPathNameA gives for the file.
  char full[MAX_PATH];
  REQUIRE(GetShortPathNameA(t.Path(kLongName).c_str(), full, sizeof full) > 0);
  std::string alias = std::strrchr(full, '\\') + 1;
  CHECK_EQ(spaced->short_name, alias);
  CHECK(alias.find('~') != std::string::npos && alias.size() <= 12);
#else
  CHECK_EQ(spaced->short_name, kLongName.substr(0, 13));  // no short names: NAME, cut to 13
#endif
  const Entry* big = f.Find(longest);
  REQUIRE(big != nullptr);  // a 255-byte name fills NAME but for one blank
  CHECK_EQ(big->name.size(), 255u);
}

TEST_CASE("listing: a 5 GB sparse file keeps the low 32 bits of its size") {
  Tree t;
  REQUIRE(WriteBytes(t.Path("huge.bin"), ""));
  REQUIRE(SetSize(t.Path("huge.bin"), 5LL << 30));
  REQUIRE(WriteBytes(t.Path("just4g.bin"), ""));
  REQUIRE(SetSize(t.Path("just4g.bin"), (4LL << 30) + 7));
  FileQueue f;
  f.List(t.Path("*.bin"), 0);
  CHECK_EQ(f.Names().size(), 2u);
  CHECK_EQ(f.Find("huge.bin")->size, 1u << 30);
  CHECK_EQ(f.Find("just4g.bin")->size, 7u);
}

TEST_CASE("listing: local dates and times in whole seconds, midnight 0, before 1801 -1") {
  Tree t(true);
  const char* names[] = {"late.txt", "midnight.txt", "old.txt", "noon.txt"};
  for (const char* n : names) REQUIRE(WriteBytes(t.Path(n), "x"));
  REQUIRE(SetLocalWriteTime(t.Path("late.txt"), 2000, 2, 29, 23, 59, 59, 900));
  REQUIRE(SetLocalWriteTime(t.Path("midnight.txt"), 2000, 3, 1, 0, 0, 0, 0));
  REQUIRE(SetLocalWriteTime(t.Path("noon.txt"), 1801, 1, 1, 12, 0, 0, 0));
  REQUIRE(SetLocalWriteTime(t.Path("old.txt"), 1790, 6, 1, 10, 0, 0, 0));
  FileQueue f;
  f.List(t.Path("*.txt"), 0);
  CHECK_EQ(f.Find("late.txt")->time, 8639901);
  CHECK_EQ(f.Find("late.txt")->date, 72746);
  CHECK_EQ(f.Find("midnight.txt")->time, 0);
  CHECK_EQ(f.Find("midnight.txt")->date, 72747);
  CHECK_EQ(f.Find("noon.txt")->date, 4);
  CHECK_EQ(f.Find("noon.txt")->time, 12 * 360000 + 1);
  CHECK_EQ(f.Find("old.txt")->date, -1);
  CHECK_EQ(f.Find("old.txt")->time, 10 * 360000 + 1);
}

TEST_CASE("listing: the file entry record from a found entry") {
  sys::FoundFile found{};
  std::memset(found.name, 'N', 259);
  found.name[259] = 0;
  found.attributes = 0xFF;
  found.size = 0x123456789ull;
  found.written = sys::LocalTimeFields{9999, 12, 31, 23, 59, 59, 999};
  found.written_known = true;
  std::uint8_t r[kEntryRecordSize];
  FillEntryRecord(found, r);
  CHECK_EQ(std::string(reinterpret_cast<char*>(r), 256), std::string(256, 'N'));
  CHECK_EQ(std::string(reinterpret_cast<char*>(r) + 256, 13), std::string(13, 'N'));
  CHECK_EQ(Long(r + kEntryDate), 2994626u);
  CHECK_EQ(Long(r + kEntryTime), 8639901u);
  CHECK_EQ(Long(r + kEntrySize), 0x23456789u);
  CHECK_EQ(r[kEntryAttrib], 0x37);
  std::strcpy(found.name, "a.b");
  std::strcpy(found.short_name, "SHORT~1.TXT");
  const struct {
    sys::LocalTimeFields t;
    std::int32_t date, time;
  } rows[] = {
      {{1800, 12, 31, 0, 0, 0, 500}, -1, 0},         {{1801, 1, 1, 0, 0, 1, 0}, 4, 101},
      {{2000, 2, 29, 0, 0, 0, 0}, 72746, 0},         {{1900, 2, 29, 1, 0, 0, 0}, -1, 360001},
      {{1601, 1, 1, 0, 0, 0, 0}, -1, 0},             {{2000, 3, 1, 12, 30, 15, 999}, 72747, 4501501},
  };
  for (const auto& row : rows) {
    found.written = row.t;
    FillEntryRecord(found, r);
    CHECK_EQ(static_cast<std::int32_t>(Long(r + kEntryDate)), row.date);
    CHECK_EQ(static_cast<std::int32_t>(Long(r + kEntryTime)), row.time);
    CHECK_EQ(std::string(reinterpret_cast<char*>(r), 4), std::string("a.b "));
    CHECK_EQ(std::string(reinterpret_cast<char*>(r) + 256, 13), std::string("SHORT~1.TXT  "));
  }
  found.written_known = false;  // a time the system could not convert
  FillEntryRecord(found, r);
  CHECK_EQ(static_cast<std::int32_t>(Long(r + kEntryDate)), -1);
  CHECK_EQ(Long(r + kEntryTime), 0u);
}

TEST_CASE("listing: appends after what the queue holds, twice gives twice the records") {
  Tree t;
  FileQueue f;
  f.List(t.All(), 0);
  CHECK_EQ(QueueRecords(&f.q), 3u);
  f.List(t.All(), 0);
  CHECK_EQ(QueueRecords(&f.q), 6u);
}

TEST_CASE("listing: an empty directory and patterns that match nothing leave the queue and error alone") {
  Tree t;
  FileQueue f;
  f.List(t.All(), 0);
  const std::uint32_t before = QueueRecords(&f.q);
  const std::string missing = t.Path("no such dir") + kSep + "*.*";
  const std::string odd_bytes[] = {
      t.Path("empty") + kSep + "*.*", t.Path("*.none"), missing, t.Path("\xff\xfe*"), t.Path("\x01?"),
      std::string(1, kSep), "", "   ", t.Path(""), t.Path("*\x7f*")};
  for (const std::string& p : odd_bytes) {
    PostError(8);
    f.List(p, 0);
    CHECK_EQ(ErrorCode(), 0);
    CHECK_EQ(QueueRecords(&f.q), before);
  }
  FileQueue g;  // the empty directory has its "." and ".." only
  g.List(t.Path("empty") + kSep + "*.*", 0x10);
  CHECK_EQ(g.Names().size(), 2u);
}

TEST_CASE("listing: over-long patterns and zero bytes are not cut into another pattern") {
  Tree t;
  FileQueue f;
  // Its first 260 bytes alone would be the directory followed by stars: everything.
  std::string p = t.Path("");
  p += std::string(260 - p.size(), '*');
  p += "zzzz";
  f.List(p, 0x16);
  CHECK_EQ(QueueRecords(&f.q), 0u);
  std::string with_zero = t.All();
  with_zero.insert(with_zero.size() - 3, 1, '\0');  // dir/*<NUL>.* would read as dir/*
  f.List(with_zero, 0x16);
  CHECK_EQ(QueueRecords(&f.q), 0u);
  // Exactly 260 bytes is still a pattern.
  std::string exact = t.Path("");
  exact += std::string(260 - exact.size(), '*');
  f.List(exact, 0);
  CHECK_EQ(QueueRecords(&f.q), 3u);
  CHECK_EQ(ErrorCode(), 0);
}

TEST_CASE("listing: a missing queue posts 7 and a record too small for the layout posts 75") {
  Tree t;
  ListDirectoryText(nullptr, 0, t.All().c_str(), static_cast<std::uint32_t>(t.All().size()));
  CHECK_EQ(ErrorCode(), 7);
  std::uint8_t small[100];
  const RecordLayout one{1, kFileQueueFields};
  QueueBlock q{small, &one, nullptr, sizeof small};
  ListDirectoryText(&q, 0, t.All().c_str(), static_cast<std::uint32_t>(t.All().size()));
  CHECK_EQ(ErrorCode(), 75);
  CHECK_EQ(QueueRecords(&q), 0u);
  QueueDestroy(&q);
}

TEST_CASE("listing: a record the queue cannot store is reported after the listing goes on") {
  Tree t;
  int failed_runs = 0, reported = 0;
  SetFatalErrorHook([](const char*) { return static_cast<int>(sys::kAnswerNo); });
  for (std::uint32_t n = 1; n <= 12; ++n) {
    FileQueue f;
    mem::FailAllocation(n);
    f.List(t.All(), 0);
    mem::FailAllocation(0);
    const std::int32_t error = ErrorCode();  // read first: every queue operation clears it
    const bool complete = QueueRecords(&f.q) == 3;
    CHECK(error == (complete ? 0 : 8) || error == 501);  // 501: the record array itself failed
    failed_runs += !complete;
    reported += error == 8;
  }
  SetFatalErrorHook(nullptr);
  CHECK(failed_runs > 0 && reported > 0);
}

TEST_CASE("listing: the builtin pops its pattern, trailing blanks removed") {
  Tree t;
  FileQueue f;
  std::string p = t.All() + "    ";
  StackPushString(p.data(), static_cast<std::uint32_t>(p.size()));
  ListDirectory(&f.q, 0);
  CHECK_EQ(StackDepth(), 0);
  CHECK_EQ(QueueRecords(&f.q), 3u);
}

TEST_CASE("SetCurrentPath: changes directory, and posts 3 for missing, over-long or broken paths") {
  Tree t;
  const std::string home = CurrentDir();
  std::string target = t.Path("sub") + "   ";
  StackPushString(target.data(), static_cast<std::uint32_t>(target.size()));
  PostError(8);
  SetCurrentPath();
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(StackDepth(), 0);
  CHECK_EQ(CurrentDir(), t.Path("sub"));
  const std::string bad[] = {t.Path("missing"), t.Path("plain.txt"), std::string(300, 'a'),
                             t.Path("sub") + std::string(1, '\0') + "x", ""};
  for (const std::string& b : bad) {
    SetCurrentPathText(b.data(), static_cast<std::uint32_t>(b.size()));
    CHECK_EQ(ErrorCode(), 3);
    CHECK_EQ(CurrentDir(), t.Path("sub"));
  }
  // A path of 300 bytes whose first 261 name the scratch directory is not cut to it.
  std::string padded = t.dir + std::string(1, kSep) + std::string(300, kSep);
  SetCurrentPathText(padded.data(), static_cast<std::uint32_t>(padded.size()));
  CHECK_EQ(ErrorCode(), 3);
  CHECK_EQ(CurrentDir(), t.Path("sub"));
  SetCurrentPathText(home.data(), static_cast<std::uint32_t>(home.size()));
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(CurrentDir(), home);
}

TEST_CASE("ShortPathName: hand shortening rules") {
  const struct {
    const char* in;
    const char* out;
  } rows[] = {
      {"C:/Program Files/readme.text", "C:\\Program \\readme.tex"},
      {"verylongname", "verylong"},
      {"a.b.cdef", "a.b.cde"},
      {"abcdefghij.k", "abcdefgh.k"},
      {"..\\x\\.", "..\\x\\."},
      {"x.", "x."},
      {"\\\\server\\share\\", "\\\\server\\share\\"},
      {"", ""},
      {"dir//file", "dir\\\\file"},
  };
  for (const auto& r : rows) {
    std::string s = r.in;
    s.resize(HandShortenPath(s.data(), static_cast<std::uint32_t>(s.size())));
    CHECK_EQ(s, std::string(r.out));
  }
}

TEST_CASE("ShortPathName: drives, the current directory, long names, missing paths") {
  Tree t;
  char out[300];
  auto Short = [&](const std::string& p) {
    return std::string(out, ShortPathNameText(p.data(), static_cast<std::uint32_t>(p.size()), out, sizeof out));
  };
  PostError(8);
  CHECK_EQ(Short("C:"), std::string("C:\\"));
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(Short("C:   "), std::string("C:\\"));
  const std::string missing = t.Path("not there") + kSep + "some long file name.text";
  CHECK_EQ(Short(missing), missing);  // any other failure leaves the path as given
  CHECK_EQ(ErrorCode(), 0);
#ifdef _WIN32
  char expect[MAX_PATH];
  REQUIRE(GetShortPathNameA(t.Path(kLongName).c_str(), expect, sizeof expect) > 0);
  CHECK_EQ(Short(t.Path(kLongName)), std::string(expect));
  REQUIRE(GetShortPathNameA(CurrentDir().c_str(), expect, sizeof expect) > 0);
  CHECK_EQ(Short(""), std::string(expect));
#else
  std::string hand = t.Path(kLongName);
  hand.resize(HandShortenPath(hand.data(), static_cast<std::uint32_t>(hand.size())));
  CHECK_EQ(Short(t.Path(kLongName)), hand);
  CHECK(hand.find("a name w.tex") != std::string::npos);
  std::string cwd = CurrentDir();
  cwd.resize(HandShortenPath(cwd.data(), static_cast<std::uint32_t>(cwd.size())));
  CHECK_EQ(Short(""), cwd);
#endif
  // Through the string stack: popped, pushed back; an over-long path comes back whole.
  std::string p = "C:  ";
  StackPushString(p.data(), static_cast<std::uint32_t>(p.size()));
  ShortPathName();
  REQUIRE(StackDepth() == 1);
  char top[400];
  StackPopToCString(top, sizeof top);
  CHECK_EQ(std::string(top), std::string("C:\\"));
  std::string longer(300, 'q');
  StackPushString(longer.data(), static_cast<std::uint32_t>(longer.size()));
  ShortPathName();
  StackPopToCString(top, sizeof top);
  CHECK_EQ(std::string(top), longer);
  CHECK_EQ(ErrorCode(), 0);
}

#ifdef _WIN32
// With the file functions in OEM, the pattern goes out in OEM and names come back in ANSI.
TEST_CASE("listing: OEM file functions (Windows)") {
  Tree t;
  const wchar_t wide_name[] = L"caf\u00e9 cr\u00e8me.txt";
  std::wstring wdir(t.dir.begin(), t.dir.end());
  HANDLE h = CreateFileW((wdir + L"\\" + wide_name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  REQUIRE(h != INVALID_HANDLE_VALUE);
  CloseHandle(h);
  char ansi_name[64];
  REQUIRE(WideCharToMultiByte(CP_ACP, 0, wide_name, -1, ansi_name, sizeof ansi_name, nullptr, nullptr) > 0);
  char oem_name[64];
  CharToOemA(ansi_name, oem_name);
  std::printf("note: ANSI code page %u, OEM code page %u, OEM form %s the ANSI form\n", GetACP(), GetOEMCP(),
              std::strcmp(oem_name, ansi_name) ? "differs from" : "equals");
  SetFileApisToOEM();
  FileQueue f;
  f.List(t.Path("caf\xe9*"), 0);  // the ANSI pattern
  std::vector<std::string> names = f.Names();
  std::string made_dir = t.Path(ansi_name);
  SetFileApisToANSI();
  CHECK_EQ(names.size(), 1u);
  if (!names.empty()) CHECK_EQ(names[0], std::string(ansi_name));
  // SetCurrentPath and ShortPathName convert too.
  const std::string dir = t.Path("r\xe9pertoire with a long name");
  REQUIRE(MakeDir(dir));
  const std::string home = CurrentDir();
  char short_ansi[300];
  std::uint32_t n_ansi = ShortPathNameText(dir.data(), static_cast<std::uint32_t>(dir.size()), short_ansi, sizeof short_ansi);
  SetFileApisToOEM();
  SetCurrentPathText(dir.data(), static_cast<std::uint32_t>(dir.size()));
  const int error = ErrorCode();
  char short_oem[300];
  std::uint32_t n_oem = ShortPathNameText(dir.data(), static_cast<std::uint32_t>(dir.size()), short_oem, sizeof short_oem);
  SetFileApisToANSI();
  CHECK_EQ(error, 0);
  CHECK_EQ(CurrentDir(), dir);
  CHECK_EQ(std::string(short_oem, n_oem), std::string(short_ansi, n_ansi));
  SetCurrentDirectoryA(home.c_str());
}
#endif
