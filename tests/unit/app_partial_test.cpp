// The partial-data store on the disk: a download broken off, found again, resumed and given its
// name; what Finish refuses; damaged records; a folder of the store's name that is not the
// store; several keys side by side; records of broken-off uploads.
#include <windows.h>

#include <string>

#include "app/partial_download.h"
#include "unit/app_files.h"
#include "support/check.h"

using namespace ftpcl;

namespace {

using namespace apptest;

std::string Scratch() { return apptest::Scratch("afc_partial_"); }

std::string Data(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return s;
}

// The single record file of a folder's store.
std::string RecordPath(const std::string& dir) {
  const std::string store = dir + "\\" + kPartialStoreName;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((store + "\\*.rec").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return {};
  FindClose(h);
  return store + "\\" + fd.cFileName;
}

}  // namespace

TEST_CASE("store: broken off, found, resumed from its kept bytes, given its name, then gone") {
  const std::string dir = Scratch(), data = Data(300000);
  const PartialKey key{dir + "\\", "127.0.0.1:21 anonymous", "pub/big.bin"};
  DWORD error = 0;
  auto part = PartialDownload::Begin(key, static_cast<std::int64_t>(data.size()), "20261208065700", &error);
  REQUIRE(part);
  CHECK_EQ(part->Append(data.data(), 120000), 0u);
  CHECK_EQ(part->MarkInterrupted(), 0u);
  part.reset();
  // Only the hidden store is in the folder; the list leaves it out by its name.
  CHECK_EQ(Names(dir), std::string(kPartialStoreName) + ";");
  CHECK(GetFileAttributesA((dir + "\\" + kPartialStoreName).c_str()) & FILE_ATTRIBUTE_HIDDEN);
  CHECK(IsPartialStoreName(".FTPClient-Partial"));
  CHECK(!IsPartialStoreName("big.bin") && !IsPartialStoreName(".ftpclient-partial.txt"));

  PartialRecord r;
  REQUIRE(FindPartial(key, &r));
  CHECK_EQ(r.kept, 120000);
  CHECK_EQ(r.remote_size, 300000);
  CHECK_EQ(r.remote_time, std::string("20261208065700"));
  part = PartialDownload::Resume(key, &error);
  REQUIRE(part);
  CHECK_EQ(part->Kept(), 120000);
  CHECK_EQ(part->Append(data.data() + 120000, data.size() - 120000), 0u);
  CHECK_EQ(part->Finish("big.bin", false), 0u);
  CHECK(Read(dir + "\\big.bin") == data);
  CHECK_EQ(Names(dir), std::string("big.bin;"));  // record, data and store gone
  CHECK(!FindPartial(key, &r));
}

TEST_CASE("store: Finish gives a name only to the whole file, a plain name, and asks before replacing") {
  const std::string dir = Scratch(), data = Data(5000);
  const PartialKey key{dir, "s", "a/report.txt"};
  DWORD error = 0;
  auto part = PartialDownload::Begin(key, 5000, "", &error);
  REQUIRE(part);
  CHECK_EQ(part->Append(data.data(), 4999), 0u);
  CHECK_EQ(part->Finish("report.txt", true), static_cast<DWORD>(ERROR_INVALID_DATA));  // a byte short
  CHECK(!Exists(dir + "\\report.txt"));
  CHECK_EQ(part->Append(data.data() + 4999, 1), 0u);
  for (const char* bad : {"..", "a\\b.txt", "CON", "x:y", "end.", "", ".ftpclient-partial"})
    CHECK_EQ(part->Finish(bad, true), static_cast<DWORD>(ERROR_INVALID_NAME));
  Write(dir + "\\Report.txt", "mine");
  CHECK_EQ(part->Finish("REPORT.TXT", false), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CHECK_EQ(Read(dir + "\\Report.txt"), std::string("mine"));
  CHECK_EQ(part->Finish("REPORT.TXT", true), 0u);  // the user said yes
  CHECK(Read(dir + "\\report.txt") == data);
  CHECK_EQ(Names(dir).find(kPartialStoreName), std::string::npos);

  // More bytes than the server announced: never a complete file, nothing kept to resume.
  part = PartialDownload::Begin(key, 10, "", &error);
  REQUIRE(part);
  CHECK_EQ(part->Append(data.data(), 11), static_cast<DWORD>(ERROR_INVALID_DATA));
  CHECK_EQ(part->Finish("other.txt", false), static_cast<DWORD>(ERROR_INVALID_DATA));
  CHECK_EQ(part->MarkInterrupted(), static_cast<DWORD>(ERROR_INVALID_DATA));
  PartialRecord r;
  CHECK(!FindPartial(key, &r));
  CHECK(!Exists(dir + "\\other.txt"));
}

TEST_CASE("store: a torn or damaged record is no record; bytes past the record are cut on resume") {
  const std::string dir = Scratch(), data = Data(4000);
  const PartialKey key{dir, "s", "f.bin"};
  DWORD error = 0;
  auto part = PartialDownload::Begin(key, 4000, "20260101000000", &error);
  REQUIRE(part);
  part->Append(data.data(), 1000);
  part.reset();  // unannounced end: kept as interrupted
  const std::string rec = RecordPath(dir), text = Read(rec);
  REQUIRE(!text.empty());
  PartialRecord r;
  for (std::size_t n = 0; n < text.size(); ++n) {
    Write(rec, text.substr(0, n));
    CHECK(!FindPartial(key, &r));
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string bad = text;
    bad[i] = static_cast<char>(bad[i] ^ 0x01);
    Write(rec, bad);
    CHECK(!FindPartial(key, &r));
  }
  Write(rec, text + "x");
  CHECK(!FindPartial(key, &r));
  Write(rec, text);
  REQUIRE(FindPartial(key, &r));
  // Data written after the record (never flushed into it) is not trusted.
  const std::string data_path = rec.substr(0, rec.size() - 4) + ".part";
  Write(data_path, data.substr(0, 1000) + std::string(5000, '\0'));
  part = PartialDownload::Resume(key, &error);
  REQUIRE(part);
  CHECK_EQ(part->Append(data.data() + 1000, 3000), 0u);
  CHECK_EQ(part->Finish("f.bin", false), 0u);
  CHECK(Read(dir + "\\f.bin") == data);
  // Data shorter than its record: nothing to resume.
  part = PartialDownload::Begin(key, 4000, "", &error);
  part->Append(data.data(), 2000);
  part.reset();
  Write(data_path, data.substr(0, 10));
  CHECK(!FindPartial(key, &r));
  CHECK(!PartialDownload::Resume(key, &error));
  DiscardPartial(key);
}

TEST_CASE("store: a folder of the store's name that the client did not make is left alone") {
  const std::string dir = Scratch();
  const std::string theirs = dir + "\\" + kPartialStoreName;
  CreateDirectoryA(theirs.c_str(), nullptr);
  Write(theirs + "\\notes.txt", "user's");
  const PartialKey key{dir, "s", "f.bin"};
  DWORD error = 0;
  CHECK(!PartialDownload::Begin(key, 10, "", &error));
  CHECK_EQ(error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CHECK_EQ(RecordUploadBreak(key, 1, 2, 3), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CHECK_EQ(Names(theirs), std::string("notes.txt;"));
  DiscardPartial(key);
  CHECK_EQ(Read(theirs + "\\notes.txt"), std::string("user's"));

  const std::string other = Scratch();
  Write(other + "\\" + kPartialStoreName, "a file");
  CHECK(!PartialDownload::Begin({other, "s", "f.bin"}, 10, "", &error));
  CHECK_EQ(Read(other + "\\" + kPartialStoreName), std::string("a file"));
}

TEST_CASE("store: keys side by side; each found only by its own server and path") {
  const std::string dir = Scratch();
  DWORD error = 0;
  const PartialKey a{dir, "one:21 u", "x.bin"}, b{dir, "two:21 u", "x.bin"}, c{dir, "one:21 u", "X.bin"};
  for (const PartialKey* k : {&a, &b, &c}) {
    auto part = PartialDownload::Begin(*k, 100, "", &error);
    REQUIRE(part);
    part->Append(k->server.data(), k->server.size());
  }
  PartialRecord r;
  REQUIRE(FindPartial(a, &r));
  CHECK_EQ(r.kept, 8);
  CHECK(FindPartial(c, &r));
  CHECK(!FindPartial({dir, "three:21 u", "x.bin"}, &r));
  DiscardPartial(a);
  CHECK(!FindPartial(a, &r));
  CHECK(FindPartial(b, &r));
  DiscardPartial(b);
  DiscardPartial(c);
  CHECK_EQ(Names(dir), std::string());
}

TEST_CASE("store: a broken-off upload's record, and the resume choice it leads to") {
  const std::string dir = Scratch();
  Write(dir + "\\up.bin", Data(9000));
  std::int64_t size = 0;
  const std::int64_t time = LocalFileTime(dir + "\\up.bin", &size);
  CHECK_EQ(size, 9000);
  CHECK(time > 0);
  const PartialKey key{dir, "s", "in/up.bin"};
  CHECK_EQ(RecordUploadBreak(key, 4096, size, time), 0u);
  PartialRecord r;
  CHECK(!FindPartial(key, &r));  // no download of that key
  REQUIRE(FindUploadBreak(key, &r));
  ServerFacts now;
  now.can_restart = true;
  now.remote_size = 4096;
  now.local_size = size;
  now.local_time = time;
  ResumeChoice choice = DecidePut(r, now);
  CHECK(choice.resume == Resume::kOffer);
  CHECK_EQ(choice.offset, 4096);
  Write(dir + "\\up.bin", Data(9001));  // changed meanwhile
  now.local_time = LocalFileTime(dir + "\\up.bin", &now.local_size);
  CHECK(DecidePut(r, now).resume == Resume::kStartOver);
  ForgetUploadBreak(key);
  CHECK(!FindUploadBreak(key, &r));
  CHECK_EQ(Names(dir), std::string("up.bin;"));
}
