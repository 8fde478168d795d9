// The batch plan: tagged entries, the walk below tagged folders, targets and their checks.
#include "app/batch_plan.h"

#include <algorithm>
#include <unordered_set>

#include "app/ansi_wide.h"
#include "app/partial_download.h"
#include "app/text.h"

namespace ftpcl {
namespace {

std::string LastName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The key under which Windows finds a local path: letter case folded.
std::wstring CaseKey(const std::string& path) {
  std::wstring w = AnsiToWide(path);
  if (!w.empty()) CharUpperBuffW(&w[0], static_cast<DWORD>(w.size()));
  return w;
}

// One batch being planned. Get: sources are remote ("/"), targets local below the folder ("\\");
// Put: sources local ("\\"), targets remote ("/").
class Planner {
 public:
  Planner(FolderSource& source, bool get, std::string local_folder)
      : source_(source), get_(get), local_folder_(std::move(local_folder)) {}

  void File(const std::string& source, const std::string& target, const FolderEntry& e);
  void Folder(const std::string& source, const std::string& target, int depth);
  BatchPlan Take();

  std::string SourceChild(const std::string& dir, const std::string& name) const {
    return dir + (get_ ? "/" : "\\") + name;
  }
  std::string TargetChild(const std::string& dir, const std::string& name) const {
    return get_ ? dir + "\\" + name : dir + "/" + RemoteNameOfLocal(name);
  }
  // Why `name` cannot be made at `target` (a Get's local name), or "".
  std::string TargetProblem(const std::string& name, const std::string& target) const;
  void Skip(const std::string& name, const std::string& why) { plan_.skipped.push_back({name, why}); }

 private:
  bool AddFolderTarget(const std::string& source, const std::string& target);
  void Entries(const std::string& source, const std::string& target, int depth, std::vector<FolderEntry>& entries);

  FolderSource& source_;
  bool get_;
  std::string local_folder_;
  BatchPlan plan_;
  std::unordered_set<std::string> sources_, identities_;
  std::unordered_set<std::wstring> file_keys_, folder_keys_;
  std::size_t over_limit_ = 0, folders_over_ = 0;
};

std::string Planner::TargetProblem(const std::string& name, const std::string& target) const {
  if (!get_) return {};
  const std::string problem = LocalNameProblem(name);
  if (!problem.empty()) return "the local name cannot be used: " + problem;
  if (IsPartialStoreName(name)) return "the client keeps its partial downloads under that name";
  if (local_folder_.size() + 1 + target.size() >= MAX_PATH) return "the local path would be too long";
  return {};
}

void Planner::File(const std::string& source, const std::string& target, const FolderEntry& e) {
  if (!sources_.insert(source).second) return;  // tagged and inside a tagged folder: once
  if (plan_.files.size() >= kMaxBatchFiles) {
    ++over_limit_;
    return;
  }
  if (!e.problem.empty()) return Skip(source, e.problem);
  if (const std::string problem = TargetProblem(e.name, target); !problem.empty()) return Skip(source, problem);
  BatchItem item{source, target, e.size, e.size_approx, false};
  if (get_) {
    const std::wstring key = CaseKey(target);
    if (folder_keys_.count(key)) return Skip(source, "a folder of the batch has that local name");
    item.ask_replace = !file_keys_.insert(key).second;
  }
  plan_.files.push_back(std::move(item));
}

bool Planner::AddFolderTarget(const std::string& source, const std::string& target) {
  if (!get_) {
    plan_.folders.push_back(target);
    return true;
  }
  const std::wstring key = CaseKey(target);
  if (file_keys_.count(key)) {
    Skip(source + "/", "a file of the batch has that local name");
    return false;
  }
  // "Docs" and "docs" are one local folder: made once, their files side by side.
  if (folder_keys_.insert(key).second) plan_.folders.push_back(target);
  return true;
}

void Planner::Folder(const std::string& source, const std::string& target, int depth) {
  const std::string shown = source + (get_ ? "/" : "\\");
  if (depth > kMaxBatchDepth) return Skip(shown, "deeper than " + std::to_string(kMaxBatchDepth) + " levels");
  if (plan_.folders.size() >= kMaxBatchFolders) {
    ++folders_over_;
    return;
  }
  const std::string id = source_.Identity(source);
  if (!id.empty() && !identities_.insert(id).second)
    return Skip(shown, "a folder already in the batch (a link leads back to it)");
  std::vector<FolderEntry> entries;
  if (const DWORD e = source_.List(source, &entries))
    return Skip(shown, "the folder could not be listed (error " + std::to_string(e) + ")");
  if (!AddFolderTarget(source, target)) return;
  Entries(source, target, depth, entries);
}

// A folder's files first, then its folders, each in name order.
void Planner::Entries(const std::string& source, const std::string& target, int depth,
                      std::vector<FolderEntry>& entries) {
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  for (const FolderEntry& e : entries)
    if (!e.folder) File(SourceChild(source, e.name), TargetChild(target, e.name), e);
  for (const FolderEntry& e : entries) {
    if (!e.folder) continue;
    const std::string child = SourceChild(source, e.name);
    if (!get_ && IsPartialStoreName(e.name)) continue;  // the client's own store never travels
    if (!e.problem.empty()) {
      Skip(child + (get_ ? "/" : "\\"), e.problem);
      continue;
    }
    const std::string to = TargetChild(target, e.name);
    if (const std::string problem = TargetProblem(e.name, to); !problem.empty()) {
      Skip(child + "/", problem);
      continue;
    }
    Folder(child, to, depth + 1);
  }
}

BatchPlan Planner::Take() {
  if (over_limit_)
    Skip(std::to_string(over_limit_) + " more files", "a batch holds at most " + std::to_string(kMaxBatchFiles) + " files");
  if (folders_over_)
    Skip(std::to_string(folders_over_) + " more folders",
         "a batch holds at most " + std::to_string(kMaxBatchFolders) + " folders");
  return std::move(plan_);
}

// Tagged entries without repeats and without those inside another tagged folder (the folder
// brings them). `sep` is the source's separator; local names compare without letter case.
// Each entry looks up its own ancestors, so thousands of tagged rows cost no more than their
// paths' lengths.
std::vector<TaggedEntry> Outermost(const std::vector<TaggedEntry>& tagged, char sep, bool ignore_case) {
  auto key = [&](const std::string& path) {  // remote names: their bytes, one to a unit
    return ignore_case ? CaseKey(path) : std::wstring(path.begin(), path.end());
  };
  std::unordered_set<std::wstring> folders, taken;
  for (const TaggedEntry& t : tagged)
    if (t.folder) folders.insert(key(t.path));
  std::vector<TaggedEntry> out;
  for (const TaggedEntry& t : tagged) {
    bool covered = false;
    for (std::size_t at = t.path.find(sep); at != std::string::npos && !covered; at = t.path.find(sep, at + 1))
      covered = folders.count(key(t.path.substr(0, at))) != 0;
    if (!covered && taken.insert(key(t.path)).second) out.push_back(t);
  }
  return out;
}

}  // namespace

BatchPlan PlanGet(const std::vector<TaggedEntry>& tagged, const std::string& local_folder, FolderSource& remote) {
  Planner p(remote, true, local_folder);
  for (const TaggedEntry& t : Outermost(tagged, '/', false)) {
    const std::string name = LastName(t.path);
    if (const std::string problem = p.TargetProblem(name, name); !problem.empty()) {
      p.Skip(t.path + (t.folder ? "/" : ""), problem);
      continue;
    }
    if (t.folder) {
      p.Folder(t.path, name, 1);
      continue;
    }
    const FolderEntry e{name, false, t.size, t.size_approx, {}};
    p.File(t.path, name, e);
  }
  return p.Take();
}

BatchPlan PlanPut(const std::vector<TaggedEntry>& tagged, const std::string& local_folder,
                  const std::string& remote_folder, FolderSource& local) {
  Planner p(local, false, local_folder);
  std::string folder = local_folder;
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  std::vector<FolderEntry> entries;
  if (const DWORD e = local.List(folder, &entries)) {
    p.Skip(folder + "\\", "the folder could not be listed (error " + std::to_string(e) + ")");
    return p.Take();
  }
  const std::string base = remote_folder == "/" ? std::string() : remote_folder;
  for (const TaggedEntry& t : Outermost(tagged, '\\', true)) {
    const FolderEntry* found = nullptr;
    for (const FolderEntry& e : entries)
      if (CaseKey(e.name) == CaseKey(t.path)) found = &e;
    const std::string source = folder + "\\" + t.path;
    if (!found || IsPartialStoreName(t.path)) {
      p.Skip(source, "it is not in the local folder any more");
      continue;
    }
    const std::string target = base.empty() ? RemoteNameOfLocal(found->name) : p.TargetChild(base, found->name);
    if (found->folder && found->problem.empty())
      p.Folder(folder + "\\" + found->name, target, 1);
    else if (found->folder)
      p.Skip(source + "\\", found->problem);
    else
      p.File(folder + "\\" + found->name, target, *found);
  }
  return p.Take();
}

std::string BatchSummary(std::size_t transferred, std::size_t total, const std::vector<BatchSkip>& not_transferred) {
  std::string s = std::to_string(transferred) + " of " + std::to_string(total) + (total == 1 ? " file" : " files") +
                  " transferred.";
  if (not_transferred.empty()) return s;
  s += " Not transferred: ";
  const std::size_t shown = std::min(not_transferred.size(), kSummaryNames);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i) s += ", ";
    s += ShortenedName(not_transferred[i].name, 60);
    if (!not_transferred[i].why.empty()) s += " (" + not_transferred[i].why + ")";
  }
  if (not_transferred.size() > shown) s += " and " + std::to_string(not_transferred.size() - shown) + " more";
  return s + ".";
}

std::string BatchStatus(std::size_t index, std::size_t total, const std::string& name) {
  return "File " + std::to_string(index) + " of " + std::to_string(total) + ": " + name;
}

// A double-byte character is stepped over whole: its trail byte may be 0x7B (code page 932).
std::string RemoteNameOfLocal(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (i + 1 < name.size() && IsDBCSLeadByte(static_cast<BYTE>(name[i]))) {
      out += name.substr(i++, 2);
      continue;
    }
    out += name[i] == '{' ? std::string("{U+007B}") : std::string(1, name[i]);
  }
  return out;
}

}  // namespace ftpcl
