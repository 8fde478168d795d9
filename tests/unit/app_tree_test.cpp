// The client's remote tree without a server: size texts (past 4 GiB too), the names the tree
// shows and the names a download refuses, the root row and merges in tree order (levels,
// icons, a sibling whose name sorts between a folder and its entries, a folder listed again),
// a folder whose listing failed, row paths and the directory of a file row.
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

void Entry(const std::string& name, std::int32_t attribute, std::uint64_t size) {
  FflsRecord& f = Ffls();
  std::memset(&f, 0, sizeof f);
  Set(f.filename, name);
  f.attribute = attribute;
  f.size = static_cast<std::uint32_t>(size);
  f.sizehigh = static_cast<std::uint32_t>(size >> 32);
  vel::QueueAppend(&FFLS);
}

// A listing of `parent` with these entries merged into the tree.
void Listed(const std::string& parent, const std::vector<std::pair<std::string, std::int32_t>>& entries) {
  vel::QueueFree(&FFLS);
  for (const auto& [name, attribute] : entries) Entry(name, attribute, attribute == 0x10 ? 0 : 1);
  CreateRootOrMerge(parent);
  vel::QueueFree(&FFLS);
}

std::string Paths() {
  std::string out;
  for (std::uint32_t i = 1; i <= vel::QueueRecords(&DLS); ++i) {
    vel::QueueGetAt(&DLS, static_cast<std::int32_t>(i));
    out += (out.empty() ? "" : " ") + CText(Dls().fullpathname);
  }
  return out;
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
  g.treeserver = server;
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
  CHECK_EQ(SizeText(3ull << 30), std::string("3,145,728 KB"));  // past the signed 32-bit range
  CHECK_EQ(SizeText(5ull << 30), std::string("5,242,880 KB"));  // past 4 GiB
}

TEST_CASE("names: the tree shows every name a Unix server may list but separators and dot names") {
  CHECK(ShowableRemoteName("readme.txt"));
  CHECK(ShowableRemoteName("C:evil.txt"));
  CHECK(ShowableRemoteName("..\\x"));
  CHECK(ShowableRemoteName("a|b & {c} ~d"));
  CHECK(ShowableRemoteName(" lead and trail "));
  CHECK(ShowableRemoteName("..hidden"));
  CHECK(!ShowableRemoteName(""));
  CHECK(!ShowableRemoteName("."));
  CHECK(!ShowableRemoteName(".."));
  CHECK(!ShowableRemoteName("../x"));
  CHECK(!ShowableRemoteName("a/b"));
}

TEST_CASE("names: a download refuses a local name that would be another file or place") {
  CHECK_EQ(LocalNameProblem("readme.txt"), std::string());
  CHECK_EQ(LocalNameProblem("with space.txt"), std::string());
  CHECK_EQ(LocalNameProblem("caf\xe9 & {x} ~y.txt"), std::string());
  CHECK_EQ(LocalNameProblem(std::string(250, 'n')), std::string());
  for (const char* bad : {"", ".", "..", "..\\x", "../x", "a\\b", "C:evil.txt", "a:stream", "a|b", "what?", "a*",
                          "q\"uote", "lt<", "gt>", "tab\there", "dot.", "blank ", "CON", "nul.txt", "Com1", "lpt9.log"})
    CHECK(!LocalNameProblem(bad).empty());
  CHECK_EQ(LocalNameProblem("COM10"), std::string());
  CHECK_EQ(LocalNameProblem("console"), std::string());
  // COM and LPT with a superscript 1, 2 or 3 are devices too; another superscript is a name.
  CHECK(!LocalNameProblem("COM\xb9", 1252).empty());
  CHECK(!LocalNameProblem("lpt\xb3.txt", 1252).empty());
  CHECK(!LocalNameProblem("Com\xb2 .log", 1252).empty());
  CHECK_EQ(LocalNameProblem("COM\xbc", 1252), std::string());
  CHECK_EQ(LocalNameProblem("COM\xb9\xb9", 1252), std::string());
  // The escaped forms of the library's display names are names of this folder.
  for (const char* shown : {"x{U+005C}y.txt", "..{U+005C}evil.txt", "tab{U+0009}here", "{U+0020,0020}", " lead",
                            "{U+0043}OM{U+00B9}"})
    CHECK_EQ(LocalNameProblem(shown), std::string());
  // Code page 932: the trail byte of a double-byte character may be the byte of "\\" (0x95 0x5C
  // is one Japanese letter); a "\\" of its own still is a separator.
  CHECK_EQ(LocalNameProblem("\x95\x5C.txt", 932), std::string());
  CHECK_EQ(LocalNameProblem("\x95\x5C\x95\x5C", 932), std::string());
  CHECK(!LocalNameProblem("a\x5C\x95\x5C.txt", 932).empty());
  CHECK(!LocalNameProblem("\x95\x5C:x", 932).empty());
  CHECK(!LocalNameProblem("\x95\x5C.txt", 1252).empty());
}

TEST_CASE("tree: root row, merges in tree order with levels and icons") {
  Setup();
  Reset("srv");
  CreateRootOrMerge("srv");
  REQUIRE(vel::QueueRecords(&DLS) == 1u);
  CreateRootOrMerge("srv");  // not empty any more: a merge of nothing, no second root
  CHECK_EQ(vel::QueueRecords(&DLS), 1u);
  Entry("readme.txt", 0x20, 2048);
  Entry("pub", 0x10, 0);
  Entry("odd", 0x11, 0);  // more bits than 10h: shown as a file
  Entry("huge.iso", 0x20, 5ull << 30);
  CreateRootOrMerge("srv");
  vel::QueueFree(&FFLS);
  Entry("x.bin", 0x20, 5);
  CreateRootOrMerge("srv/pub");
  const std::vector<Row> t = Tree();
  REQUIRE(t.size() == 6u);
  CHECK_EQ(t[0].path, std::string("srv"));
  CHECK_EQ(t[0].level, 1);
  CHECK_EQ(t[0].icon, 4);
  CHECK_EQ(t[1].path, std::string("srv/huge.iso"));
  CHECK_EQ(t[1].size, std::string("5,242,880 KB"));
  CHECK_EQ(t[2].path, std::string("srv/odd"));
  CHECK_EQ(t[2].icon, 3);
  CHECK_EQ(t[3].path, std::string("srv/pub"));
  CHECK_EQ(t[3].icon, 2);
  CHECK_EQ(t[3].level, 2);
  CHECK_EQ(t[4].path, std::string("srv/pub/x.bin"));
  CHECK_EQ(t[4].level, 3);
  CHECK_EQ(t[4].size, std::string("5 bytes"));
  CHECK_EQ(t[5].path, std::string("srv/readme.txt"));
  CHECK_EQ(t[5].size, std::string("2 KB"));
  vel::QueueGetAt(&DLS, 2);
  CHECK_EQ(RowSize(), 5ull << 30);
}

TEST_CASE("tree: a size the listing gave with a unit is shown, and no download counts against it") {
  Setup();
  Reset("srv");
  CreateRootOrMerge("srv");
  Entry("approx.txt", RowAttribute(FILE_ATTRIBUTE_NORMAL, FTP_FIND_SIZE_APPROXIMATE), 34304);
  Entry("exact.txt", RowAttribute(FILE_ATTRIBUTE_NORMAL, 0), 34304);
  Entry("dir", RowAttribute(FILE_ATTRIBUTE_DIRECTORY, FTP_FIND_SIZE_APPROXIMATE), 0);
  CreateRootOrMerge("srv");
  const std::vector<Row> t = Tree();
  REQUIRE(t.size() == 4u);
  CHECK_EQ(t[1].path, std::string("srv/approx.txt"));
  CHECK_EQ(t[1].size, SizeText(34304));  // shown as listed
  CHECK_EQ(t[2].path, std::string("srv/dir"));
  CHECK_EQ(t[2].icon, 2);  // still a folder: the mark never touches one
  vel::QueueGetAt(&DLS, 2);
  CHECK_EQ(RowSize(), 34304u);
  CHECK_EQ(RowTransferTotal(), 0u);  // the progress shows bytes, no percentage
  vel::QueueGetAt(&DLS, 4);
  CHECK_EQ(CText(Dls().name), std::string("exact.txt"));
  CHECK_EQ(RowTransferTotal(), 34304u);
}

// "pub.txt" and "pub-old" sort between "pub" and "pub/a.txt" as whole strings ("." and "-"
// before "/"); in the tree a folder's entries stay directly below it.
TEST_CASE("tree: a folder's entries stay below it whatever its siblings are called") {
  Setup();
  Reset("srv");
  CreateRootOrMerge("srv");
  Listed("srv", {{"pub.txt", 0x20}, {"pub", 0x10}, {"pub-old", 0x10}, {"docs.zip", 0x20}, {"docs", 0x10}});
  Listed("srv/pub", {{"b.txt", 0x20}, {"a.txt", 0x20}, {"inner", 0x10}});
  Listed("srv/docs", {{"manual.pdf", 0x20}});
  Listed("srv/pub/inner", {{"deep.txt", 0x20}});
  CHECK_EQ(Paths(), std::string("srv srv/docs srv/docs/manual.pdf srv/docs.zip srv/pub srv/pub/a.txt srv/pub/b.txt "
                                "srv/pub/inner srv/pub/inner/deep.txt srv/pub-old srv/pub.txt"));
  // Listing "pub" again (a refresh after a put into it) replaces exactly its old entries.
  Listed("srv/pub", {{"a.txt", 0x20}, {"b.txt", 0x20}, {"c.bin", 0x20}, {"inner", 0x10}});
  CHECK_EQ(Paths(), std::string("srv srv/docs srv/docs/manual.pdf srv/docs.zip srv/pub srv/pub/a.txt srv/pub/b.txt "
                                "srv/pub/c.bin srv/pub/inner srv/pub-old srv/pub.txt"));
  CHECK(TreeShowsEntry("/pub", "c.bin"));
  CHECK(TreeShowsEntry("/", "pub.txt"));
  CHECK(!TreeShowsEntry("/", "c.bin"));
  // A folder whose listing failed is closed, not listed, and empty below.
  MarkNotListed("srv/pub");
  CHECK_EQ(Paths(), std::string("srv srv/docs srv/docs/manual.pdf srv/docs.zip srv/pub srv/pub-old srv/pub.txt"));
  vel::QueueGetAt(&DLS, 5);
  CHECK_EQ(Dls().iconfield, 2);
  CHECK_EQ(Dls().wasenumerated, 0);
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
  // What the library is given: the same entries, from the login folder.
  CHECK_EQ(ServerPathOf(RowPath()), std::string("pub/a/file.txt"));
  CHECK_EQ(ServerPathOf("/readme"), std::string("readme"));
  CHECK_EQ(ServerPathOf("/"), std::string());
  CHECK_EQ(ServerPathOf("name"), std::string("name"));
}

// Entries whose folder row is gone when their listing ends (Disconnect emptied the tree, or a
// new connection's root replaced it) are dropped, not put under a root made up for them.
TEST_CASE("tree: the entries of a folder no longer in the tree are dropped") {
  Setup();
  Reset("old");
  CreateRootOrMerge("old");
  Set(g.servername, "new");
  Entry("f", 0x20, 1);
  CreateRootOrMerge("new");
  CHECK_EQ(Paths(), std::string("old"));
  CHECK(!MergeUnder("old/gone"));
  vel::QueueFree(&DLS);
  CHECK(!MergeUnder("old"));
  CHECK_EQ(vel::QueueRecords(&DLS), 0u);
}
