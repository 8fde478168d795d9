// The plan of a batch: every tagged file, and every file below a tagged folder, once, with
// where it goes, plus the folders to make first; what cannot go is named with the reason.
//
// Folders are read through a FolderSource (the server's through the FTP library, the local
// disk's through the platform: app/batch_sources.h). A walk descends at most kMaxBatchDepth
// levels below the local or remote folder the batch starts in, and never into a folder it has
// already been in: the source gives each folder an identity (the server's own path after CWD,
// the local volume and file number), so a link to a folder above it ends there and is named
// in the summary. A source that cannot tell identities is held by the depth limit alone.
//
// Targets never leave the chosen folder: every name on the way is a plain name of its folder
// (the client's local-name rules, app/text.h, refuse "..", drives, separators, devices); the
// store of partial downloads (app/partial_download.h) is neither read nor written by a batch.
// Windows ignores letter case in names: two remote names that differ only in it reach the
// same local file, so the later one is marked to ask before it replaces the earlier.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ftpcl {

constexpr int kMaxBatchDepth = 64;
constexpr std::size_t kMaxBatchFiles = 1000000;
constexpr std::size_t kMaxBatchFolders = 100000;

struct TaggedEntry {
  std::string path;  // remote: as the client names it ("pub/a.txt"); local: a name of the local folder
  bool folder = false;
  std::int64_t size = 0;     // a remote file's size as the tree shows it (Put reads the disk's)
  bool size_approx = false;  // shown with a unit ("33.5k"): no total may be taken from it
};

struct FolderEntry {
  std::string name;
  bool folder = false;
  std::int64_t size = 0;
  bool size_approx = false;  // the listing gave the size with a unit ("33.5k")
  std::string problem;       // why the entry cannot be taken (a name the code page cannot show)
};

class FolderSource {
 public:
  virtual ~FolderSource() = default;
  // The entries of the folder `path` ("." and ".." left out); 0 or the error of the listing.
  virtual DWORD List(const std::string& path, std::vector<FolderEntry>* out) = 0;
  // The same text for every path that reaches one folder; "" when it cannot be told.
  virtual std::string Identity(const std::string& path) = 0;
};

struct BatchItem {
  std::string source;  // Get: the remote path; Put: the local path
  std::string target;  // Get: a path below the local folder ("sub\\x.txt"); Put: the remote path
  std::int64_t size = 0;
  bool size_approx = false;
  bool ask_replace = false;  // an earlier item of the batch has a name Windows takes as the same
};

struct BatchSkip {
  std::string name;  // as the user knows it (the remote or local path); folders end with "/"
  std::string why;
};

struct BatchPlan {
  std::vector<std::string> folders;  // to make, each after its parent (Get: below the local folder)
  std::vector<BatchItem> files;
  std::vector<BatchSkip> skipped;
};

// `local_folder` is the folder the files go to (for the length of the paths made in it).
BatchPlan PlanGet(const std::vector<TaggedEntry>& tagged, const std::string& local_folder, FolderSource& remote);
// `local_folder` holds the tagged names; `remote_folder` is the folder they go to ("" or "/"
// for the login folder: names go bare, as a single Put sends them).
BatchPlan PlanPut(const std::vector<TaggedEntry>& tagged, const std::string& local_folder,
                  const std::string& remote_folder, FolderSource& local);

// "118 of 120 files transferred. Not transferred: a.txt (why), ..." - at most kSummaryNames
// names, each cut to a line's length, then "and N more".
constexpr std::size_t kSummaryNames = 10;
std::string BatchSummary(std::size_t transferred, std::size_t total, const std::vector<BatchSkip>& not_transferred);
// "File 3 of 120: pub/a.txt"
std::string BatchStatus(std::size_t index, std::size_t total, const std::string& name);

// A remote name for a local name: "{" written as its escape, so that no local name is read by
// the library as an escape ("{U+0041}.txt" stays that text on the server).
std::string RemoteNameOfLocal(const std::string& name);

}  // namespace ftpcl
