// The client's remote tree without a server: size texts, plain names, the root row and merges
// in path order (levels, icons, the sibling that sorts between a folder and its entries, a
// stale root of another server), row paths and the directory of a file row.
#include <cstring>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/remote_tree.h"
#include "app/text.h"
#include "runtime/core/errors.h"
#include "runtime/core/startup.h"
#include "support/check.h"

using namespace ftpcl;

namespace {

void Setup() {
  static bool done = false;
  if (done) return;
  done = true;
  static const vel::InitEntry kInit[] = {VEL_CORE_INIT_ENTRIES};
  static vel::ModuleDescriptor module{nullptr, kInit, kInit + 3, nullptr, {{nullptr, nullptr}, {nullptr, nullptr}},
                                      nullptr, nullptr, nullptr, nullptr};
  vel::RegisterModule(&module, nullptr);
}

void Entry(const std::string& name, std::int32_t attribute, std::int32_t size) {
  FflsRecord& f = Ffls();
  std::memset(&f, 0, sizeof f);
  Set(f.filename, name);
  f.attribute = attribute;
  f.size = size;
  vel::QueueAppend(&FFLS);
}

struct Row {
  std::string path;
  int level, icon;
  std::string size;
};

std::vector<Row> Tree() {
  std::vector<Row> out;
  for (std::uint32_t i = 1; i <= vel::QueueRecords(&DLS); ++i) {
    vel::QueueGetAt(&DLS, static_cast<std::int32_t>(i));
    out.push_back({CText(Dls().fullpathname), Dls().treelevel, Dls().iconfield, Clip(FText(Dls().sizestr))});
  }
  return out;
}

void Reset(const char* server) {
  vel::QueueFree(&DLS);
  vel::QueueFree(&FFLS);
  Set(g.servername, server);
}

}  // namespace

TEST_CASE("size text: bytes below 1024, KB with grouping above, empty for 0") {
  Setup();
  CHECK_EQ(SizeText(0), std::string());
  CHECK_EQ(SizeText(1), std::string("1 bytes"));
  CHECK_EQ(SizeText(1023), std::string("1023 bytes"));
  CHECK_EQ(SizeText(1024), std::string("1 KB"));
  CHECK_EQ(SizeText(10 * 1024), std::string("10 KB"));
  CHECK_EQ(SizeText(1048576), std::string("1,024 KB"));
}

TEST_CASE("plain names: no separators, no drive, no parent") {
  CHECK(PlainName("readme.txt"));
  CHECK(PlainName("with space.txt"));
  CHECK(PlainName("caf\xe9.txt"));
  CHECK(PlainName("..hidden"));
  CHECK(!PlainName(""));
  CHECK(!PlainName("."));
  CHECK(!PlainName(".."));
  CHECK(!PlainName("../x"));
  CHECK(!PlainName("..\\x"));
  CHECK(!PlainName("C:x"));
  CHECK(!PlainName("a/b"));
}

TEST_CASE("tree: root row, merges in path order with levels and icons") {
  Setup();
  Reset("srv");
  CreateRootOrMerge("srv");
  REQUIRE(vel::QueueRecords(&DLS) == 1u);
  CreateRootOrMerge("srv");  // not empty any more: a merge of nothing, no second root
  CHECK_EQ(vel::QueueRecords(&DLS), 1u);
  Entry("readme.txt", 0x20, 2048);
  Entry("pub", 0x10, 0);
  Entry("odd", 0x11, 0);  // more bits than 10h: shown as a file
  CreateRootOrMerge("srv");
  vel::QueueFree(&FFLS);
  Entry("x.bin", 0x20, 5);
  CreateRootOrMerge("srv/pub");
  vel::QueueFree(&FFLS);
  Entry("pub-old", 0x10, 0);  // sorts between "pub" and "pub/x.bin" ("-" before "/")
  CreateRootOrMerge("srv");
  const std::vector<Row> t = Tree();
  REQUIRE(t.size() == 6u);
  CHECK_EQ(t[0].path, std::string("srv"));
  CHECK_EQ(t[0].level, 1);
  CHECK_EQ(t[0].icon, 4);
  CHECK_EQ(t[1].path, std::string("srv/odd"));
  CHECK_EQ(t[1].icon, 3);
  CHECK_EQ(t[2].path, std::string("srv/pub"));
  CHECK_EQ(t[2].icon, 2);
  CHECK_EQ(t[2].level, 2);
  CHECK_EQ(t[3].path, std::string("srv/pub-old"));
  CHECK_EQ(t[4].path, std::string("srv/pub/x.bin"));
  CHECK_EQ(t[4].level, 3);
  CHECK_EQ(t[4].size, std::string("5 bytes"));
  CHECK_EQ(t[5].path, std::string("srv/readme.txt"));
  CHECK_EQ(t[5].size, std::string("2 KB"));
}

TEST_CASE("tree: paths of rows and the directory of a file row") {
  Setup();
  Reset("srv");
  Set(Dls().fullpathname, "srv");
  Set(Dls().name, "srv");
  CHECK_EQ(RowPath(), std::string());
  Set(Dls().fullpathname, "srv/readme");
  Set(Dls().name, "readme");
  CHECK_EQ(RowPath(), std::string("/readme"));
  CHECK_EQ(RowDirectory(), std::string("/"));
  Set(Dls().fullpathname, "srv/pub/a/file.txt");
  Set(Dls().name, "file.txt");
  CHECK_EQ(RowPath(), std::string("/pub/a/file.txt"));
  CHECK_EQ(RowDirectory(), std::string("/pub/a"));
}

TEST_CASE("tree: a stale root of another server gets a root row for the new one") {
  Setup();
  Reset("old");
  CreateRootOrMerge("old");
  Set(g.servername, "new");
  Entry("f", 0x20, 1);
  CreateRootOrMerge("new");
  const std::vector<Row> t = Tree();
  REQUIRE(t.size() == 3u);
  CHECK_EQ(t[0].path, std::string("new"));
  CHECK_EQ(t[0].level, 1);
  CHECK_EQ(t[1].path, std::string("new/f"));
  CHECK_EQ(t[1].level, 2);
  CHECK_EQ(t[2].path, std::string("old"));
}
