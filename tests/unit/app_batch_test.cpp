// The batch plan over a scripted remote tree (links, names a local folder cannot hold, letter
// case, a folder of 100,000 files) and over a real local folder for Put; the summary and status
// texts, the standing "to all" answers, and the PWD reply the remote identities come from.
#include <windows.h>

#include <map>

#include "app/batch_plan.h"
#include "app/batch_sources.h"
#include "app/partial_download.h"
#include "app/replace_answers.h"
#include "unit/app_files.h"
#include "support/check.h"

using namespace ftpcl;

namespace {

// A server's tree: folders by their real path, links from "folder/name" to a real folder.
class Tree : public FolderSource {
 public:
  bool identities = true;
  int listings = 0;
  void Folder(const std::string& path) { folders_[path]; }
  void File(const std::string& dir, const std::string& name, std::int64_t size = 1) {
    folders_[dir].push_back({name, false, size, false, {}});
  }
  void Sub(const std::string& dir, const std::string& name) {
    folders_[dir].push_back({name, true, 0, false, {}});
    folders_[dir.empty() ? name : dir + "/" + name];
  }
  void Link(const std::string& dir, const std::string& name, const std::string& to) {
    folders_[dir].push_back({name, true, 0, false, {}});
    links_[dir + "/" + name] = to;
  }
  DWORD List(const std::string& path, std::vector<FolderEntry>* out) override {
    ++listings;
    auto it = folders_.find(Real(path));
    if (it == folders_.end()) return 12003;
    *out = it->second;
    return 0;
  }
  std::string Identity(const std::string& path) override { return identities ? Real(path) : std::string(); }

 private:
  std::string Real(const std::string& path) const {
    std::string real, rest = path;
    while (!rest.empty()) {
      const std::size_t slash = rest.find('/');
      const std::string part = rest.substr(0, slash);
      rest = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
      real = real.empty() ? part : real + "/" + part;
      auto link = links_.find(real);
      if (link != links_.end()) real = link->second;
    }
    return real;
  }
  std::map<std::string, std::vector<FolderEntry>> folders_;
  std::map<std::string, std::string> links_;
};

std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += x + ";";
  return s;
}
std::string Targets(const BatchPlan& p) {
  std::vector<std::string> t;
  for (const BatchItem& i : p.files) t.push_back(i.target + (i.ask_replace ? "?" : ""));
  return Join(t);
}
std::string Skips(const BatchPlan& p) {
  std::string s;
  for (const BatchSkip& k : p.skipped) s += k.name + " (" + k.why + ");";
  return s;
}
bool Skipped(const BatchPlan& p, const std::string& name, const std::string& why_part) {
  for (const BatchSkip& k : p.skipped)
    if (k.name == name && k.why.find(why_part) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST_CASE("plan: every file once, a folder's files before its folders, each folder before its files") {
  Tree t;
  t.Sub("pub", "a");
  t.File("pub", "top.txt", 7);
  t.File("pub/a", "y.txt");
  t.File("pub/a", "x.txt");
  t.Sub("pub/a", "sub");
  t.File("pub/a/sub", "z.txt");
  const BatchPlan p = PlanGet({{"pub/a/x.txt", false, 1},
                               {"pub/a", true},
                               {"pub/top.txt", false, 7},
                               {"pub/a/sub", true},
                               {"pub/top.txt", false, 7}},
                              "C:\\down", t);
  CHECK_EQ(Targets(p), std::string("a\\x.txt;a\\y.txt;a\\sub\\z.txt;top.txt;"));
  CHECK_EQ(Join(p.folders), std::string("a;a\\sub;"));
  CHECK_EQ(p.files[0].source, std::string("pub/a/x.txt"));
  CHECK_EQ(p.files[3].size, 7);
  CHECK(p.skipped.empty());
}

TEST_CASE("plan: a link back to a folder above ends there and is named; without identities the depth does") {
  Tree t;
  t.Sub("", "w");
  t.File("w", "f.txt");
  t.Sub("w", "a");
  t.File("w/a", "g.txt");
  t.Link("w/a", "up", "w");
  t.Link("w/a", "here", "w/a");
  BatchPlan p = PlanGet({{"w", true}}, "C:\\down", t);
  CHECK_EQ(Targets(p), std::string("w\\f.txt;w\\a\\g.txt;"));
  CHECK(Skipped(p, "w/a/here/", "already in the batch"));
  CHECK(Skipped(p, "w/a/up/", "already in the batch"));
  CHECK_EQ(p.skipped.size(), 2u);

  // A server that cannot tell: one link down to the limit, and there the walk stops.
  Tree one;
  one.Sub("", "w");
  one.File("w", "f.txt");
  one.Link("w", "l", "w");
  one.identities = false;
  p = PlanGet({{"w", true}}, "C:\\d", one);
  CHECK_EQ(p.folders.size(), static_cast<std::size_t>(kMaxBatchDepth));
  CHECK_EQ(p.skipped.size(), 1u);
  CHECK(p.skipped[0].why == "deeper than 64 levels");
  CHECK_EQ(p.skipped[0].name.size(), 1u + 2 * 64 + 1);  // "w", 64 times "/l", "/"

  // Two such links multiply the paths at every level: the folder limit ends it.
  Tree two;
  two.Sub("", "w");
  two.Link("w", "l1", "w");
  two.Link("w", "l2", "w");
  two.identities = false;
  p = PlanGet({{"w", true}}, "C:\\d", two);
  CHECK_EQ(p.folders.size(), kMaxBatchFolders);
  CHECK(two.listings <= static_cast<int>(kMaxBatchFolders));
  CHECK(p.skipped.back().why.find("at most 100000 folders") != std::string::npos);
}

TEST_CASE("plan: names no local file can have, the store's name and too long paths are skipped, named") {
  Tree t;
  t.Sub("", "f");
  for (const char* bad : {"..", "CON", "lpt1.txt", "a:b", "x\\y", "end.", "q?.txt", ".ftpclient-partial"})
    t.File("f", bad);
  t.Sub("f", "AUX");
  t.File("f/AUX", "inside.txt");
  t.Sub("f", ".FTPCLIENT-PARTIAL");
  t.File("f", std::string(250, 'n'));
  t.File("f", "fine.txt");
  const BatchPlan p = PlanGet({{"f", true}, {"..", true}, {"pub/NUL", false}}, "C:\\down", t);
  CHECK_EQ(Targets(p), std::string("f\\fine.txt;"));
  for (const char* name : {"f/..", "f/CON", "f/lpt1.txt", "f/a:b", "f/x\\y", "f/end.", "f/q?.txt", "../", "pub/NUL"})
    CHECK(Skipped(p, name, "local name cannot be used"));
  CHECK(Skipped(p, "f/.ftpclient-partial", "partial downloads"));
  CHECK(Skipped(p, "f/.FTPCLIENT-PARTIAL/", "partial downloads"));
  CHECK(Skipped(p, "f/AUX/", "a device"));
  CHECK(Skipped(p, "f/" + std::string(250, 'n'), "too long"));
  CHECK_EQ(Join(p.folders), std::string("f;"));
}

TEST_CASE("plan: names that differ only in letter case ask instead of replacing each other") {
  Tree t;
  t.Sub("", "r");
  t.File("r", "Readme.txt");
  t.File("r", "README.txt");
  t.Sub("r", "Docs");
  t.Sub("r", "docs");
  t.File("r/Docs", "a.txt");
  t.File("r/docs", "A.TXT");
  t.File("r", "x");
  t.Sub("r", "X");
  t.File("r/X", "lost.txt");
  const BatchPlan p = PlanGet({{"r", true}}, "C:\\down", t);
  CHECK_EQ(Targets(p), std::string("r\\README.txt;r\\Readme.txt?;r\\x;r\\Docs\\a.txt;r\\docs\\A.TXT?;"));
  CHECK_EQ(Join(p.folders), std::string("r;r\\Docs;"));  // one local folder for both
  CHECK(Skipped(p, "r/X/", "a file of the batch has that local name"));
}

TEST_CASE("plan: a tagged folder of 100,000 files") {
  Tree t;
  t.Sub("", "big");
  char name[32];
  for (int i = 0; i < 100000; ++i) {
    snprintf(name, sizeof name, "f%06d.dat", i);
    t.File("big", name, i);
  }
  const BatchPlan p = PlanGet({{"big", true}}, "C:\\down", t);
  REQUIRE(p.files.size() == 100000u);
  CHECK_EQ(p.files[99999].target, std::string("big\\f099999.dat"));
  CHECK_EQ(p.files[99999].size, 99999);
  CHECK(p.skipped.empty());
}

TEST_CASE("plan: Put walks the local folder; the store stays home, names go as they are") {
  using apptest::Write;
  const std::string dir = apptest::Scratch("afc_batch_");
  CreateDirectoryA((dir + "\\sub").c_str(), nullptr);
  CreateDirectoryA((dir + "\\sub\\deeper").c_str(), nullptr);
  CreateDirectoryA((dir + "\\sub\\" + kPartialStoreName).c_str(), nullptr);
  Write(dir + "\\a.txt", "aaa");
  Write(dir + "\\{U+0041}.txt", "b");
  Write(dir + "\\sub\\b.txt", "bb");
  Write(dir + "\\sub\\deeper\\c.txt", "c");
  Write(dir + "\\sub\\" + kPartialStoreName + "\\x.part", "x");
  LocalFolders local;
  BatchPlan p = PlanPut({{"A.TXT", false}, {"sub", true}, {"sub", true}, {"{U+0041}.txt", false}, {"gone.txt", false}},
                        dir + "\\", "incoming", local);
  CHECK_EQ(Targets(p), std::string("incoming/a.txt;incoming/sub/b.txt;incoming/sub/deeper/c.txt;"
                                   "incoming/{U+007B}U+0041}.txt;"));
  CHECK_EQ(Join(p.folders), std::string("incoming/sub;incoming/sub/deeper;"));
  CHECK_EQ(p.files[0].source, dir + "\\a.txt");
  CHECK_EQ(p.files[0].size, 3);
  CHECK_EQ(Skips(p), std::string(dir + "\\gone.txt (it is not in the local folder any more);"));
  p = PlanPut({{"a.txt", false}, {"sub", true}}, dir, "/", local);
  CHECK_EQ(Targets(p), std::string("a.txt;sub/b.txt;sub/deeper/c.txt;"));
  // The same folder twice through the identity of the disk: a second walk of it is refused.
  CHECK(!local.Identity(dir + "\\sub").empty());
  CHECK_EQ(local.Identity(dir + "\\sub"), local.Identity(dir + "\\sub\\deeper\\.."));
}

TEST_CASE("local folders: made, or taken when a plain folder; a file of the name refuses") {
  const std::string dir = apptest::Scratch("afc_batch_");
  CHECK_EQ(MakeLocalFolder(dir + "\\new"), 0u);
  CHECK(GetFileAttributesA((dir + "\\new").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  CHECK_EQ(MakeLocalFolder(dir + "\\new"), 0u);
  apptest::Write(dir + "\\file", "x");
  CHECK_EQ(MakeLocalFolder(dir + "\\file"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CHECK_EQ(apptest::Read(dir + "\\file"), std::string("x"));
  CHECK(MakeLocalFolder(dir + "\\no\\such") != 0u);
}

TEST_CASE("summary: counts, names with their reasons, cut for a message box; the status text") {
  CHECK_EQ(BatchSummary(120, 120, {}), std::string("120 of 120 files transferred."));
  CHECK_EQ(BatchSummary(0, 1, {{"pub/a.txt", "the server refused it"}}),
           std::string("0 of 1 file transferred. Not transferred: pub/a.txt (the server refused it)."));
  CHECK_EQ(BatchSummary(118, 120, {{"a.txt", ""}, {"w/up/", "a folder already in the batch"}}),
           std::string("118 of 120 files transferred. Not transferred: a.txt, w/up/ (a folder already in the batch)."));
  std::vector<BatchSkip> many;
  for (int i = 0; i < 15; ++i) many.push_back({"f" + std::to_string(i), ""});
  many[0].name = std::string(300, 'x');
  const std::string s = BatchSummary(5, 20, many);
  CHECK(s.find(std::string(57, 'x') + "..., f1, ") != std::string::npos);
  CHECK(s.find(", f9 and 5 more.") != std::string::npos);
  CHECK(s.find("f10") == std::string::npos);
  CHECK(s.size() < 400);
  CHECK_EQ(BatchStatus(3, 120, "pub/a.txt"), std::string("File 3 of 120: pub/a.txt"));
}

TEST_CASE("replace answers: asked per file until a to-all answer stands; Cancel stops") {
  using vel::wsl::QuestionAnswer;
  ReplaceAnswers answers;
  int asked = 0;
  auto say = [&](QuestionAnswer a) { return [&asked, a] { ++asked; return a; }; };
  CHECK(answers.Next(say(QuestionAnswer::kYes)) == ReplaceAnswers::Act::kReplace);
  CHECK(answers.Next(say(QuestionAnswer::kNo)) == ReplaceAnswers::Act::kKeep);
  CHECK(answers.Next(say(QuestionAnswer::kCancel)) == ReplaceAnswers::Act::kStop);
  CHECK(answers.Next(say(QuestionAnswer::kNoToAll)) == ReplaceAnswers::Act::kKeep);
  CHECK(answers.Next(say(QuestionAnswer::kYes)) == ReplaceAnswers::Act::kKeep);
  CHECK_EQ(asked, 4);
  ReplaceAnswers all;
  CHECK(all.Next(say(QuestionAnswer::kYesToAll)) == ReplaceAnswers::Act::kReplace);
  CHECK(all.Next(say(QuestionAnswer::kCancel)) == ReplaceAnswers::Act::kReplace);
  CHECK_EQ(asked, 5);
}

TEST_CASE("pwd reply: the path between quotes, doubled quotes as one") {
  std::string path;
  CHECK(PathOfPwdReply("257 \"/pub/a\" is the current directory", &path));
  CHECK_EQ(path, std::string("/pub/a"));
  CHECK(PathOfPwdReply("257 \"/say \"\"hi\"\"\" here", &path));
  CHECK_EQ(path, std::string("/say \"hi\""));
  for (const char* bad : {"257 /pub", "550 \"/pub\" no", "257 \"\"", "257 \"/open", ""}) CHECK(!PathOfPwdReply(bad, &path));
}
