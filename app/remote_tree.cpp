// The remote tree. DLS rows are kept in tree order: the root, then each folder followed
// directly by its entries in name order (and theirs below them). Ordering by the whole tree
// path as one string would put a sibling such as "pub.txt" between "pub" and "pub/a.txt" ("."
// sorts before "/"), and the children of "pub" would then stand under "pub.txt". A negative
// tree level marks a contracted row.
//
// Choices where the rules leave it open: a refresh that finds no directory row for
// CURRENTFTPDIR lists the root again; entries whose parent row is gone when their listing ends
// are dropped (the tree was emptied or rebuilt meanwhile).
#include "app/remote_tree.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/names.h"
#include "app/remote_listing.h"
#include "app/text.h"
#include "runtime/core/decimal.h"
#include "runtime/core/errors.h"
#include "runtime/core/string_stack.h"
#include "runtime/data/picture.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/properties.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/window.h"

namespace ftpcl {

namespace {

enum Icon : std::int32_t { kOpenFolder = 1, kClosedFolder = 2, kFile = 3, kServer = 4 };

bool FetchDls(std::int32_t row) {
  vel::QueueGetAt(&DLS, row);
  return row > 0 && vel::ErrorCode() == 0;
}

// A DLS row while the tree is rebuilt in memory. A record holds 1,326 bytes, mostly the unused
// room of its two texts; a folder of 100,000 entries copied as records took hundreds of
// megabytes. The texts here are as long as they are, and the record is made again exactly
// (texts zero-filled after their end, the size text as stored).
struct TreeRow {
  std::string name;
  std::string fullpathname;
  char sizestr[sizeof(DlsRecord::sizestr)];
  std::int32_t iconfield;
  std::int32_t treelevel;
  std::int32_t attribute;
  std::uint32_t size;
  std::uint32_t sizehigh;
  std::uint8_t wasenumerated;
  std::uint8_t markfield;
};

TreeRow RowOf(const DlsRecord& d) {
  TreeRow r{CText(d.name), CText(d.fullpathname), {}, d.iconfield, d.treelevel, d.attribute, d.size,
            d.sizehigh, d.wasenumerated, d.markfield};
  std::memcpy(r.sizestr, d.sizestr, sizeof r.sizestr);
  return r;
}

void RecordOf(const TreeRow& r, DlsRecord* d) {
  std::memset(d, 0, sizeof *d);
  Set(d->name, r.name);
  Set(d->fullpathname, r.fullpathname);
  std::memcpy(d->sizestr, r.sizestr, sizeof d->sizestr);
  d->iconfield = r.iconfield;
  d->treelevel = r.treelevel;
  d->attribute = r.attribute;
  d->size = r.size;
  d->sizehigh = r.sizehigh;
  d->wasenumerated = r.wasenumerated;
  d->markfield = r.markfield;
}

std::vector<TreeRow> ReadRows() {
  std::vector<TreeRow> rows;
  const std::uint32_t n = vel::QueueRecords(&DLS);
  rows.reserve(n);
  for (std::uint32_t i = 1; i <= n; ++i)
    if (FetchDls(static_cast<std::int32_t>(i))) rows.push_back(RowOf(Dls()));
  return rows;
}

// Index of the row with tree path `path`, or -1.
int FindPath(const std::vector<TreeRow>& rows, const std::string& path) {
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].fullpathname == path) return static_cast<int>(i);
  return -1;
}

// The tree path of the row selected in ?LIST1 ("" for none).
std::string SelectedPath(const std::vector<TreeRow>& rows) {
  if (!g.mainwindow) return {};
  const int row = std::atoi(vel::wsl::PropertyGet(g.mainwindow, kList1, vel::wsl::kPropSelected).c_str());
  return row >= 1 && row <= static_cast<int>(rows.size()) ? rows[static_cast<std::size_t>(row - 1)].fullpathname
                                                          : std::string();
}

// DLS becomes `rows`. The selection stays on the entry it was on (`selected`, its tree path),
// wherever rows above it came or went, or is cleared when that entry is gone: Get works on the
// row that is selected, which must be the entry the user chose.
void WriteRows(const std::vector<TreeRow>& rows, const std::string& selected) {
  vel::QueueFree(&DLS);
  for (const TreeRow& r : rows) {
    RecordOf(r, &Dls());
    vel::QueueAppend(&DLS);
  }
  if (!g.mainwindow) return;
  const int at = selected.empty() ? -1 : FindPath(rows, selected);
  vel::wsl::PropertySet(g.mainwindow, kList1, vel::wsl::kPropSelected, std::to_string(at + 1));
}

std::string PathOf(const std::string& full) {
  return full.size() > g.treeserver.size() ? full.substr(g.treeserver.size()) : std::string();
}
std::string PathOf(const DlsRecord& d) { return PathOf(CText(d.fullpathname)); }
std::string PathOf(const TreeRow& r) { return PathOf(r.fullpathname); }

std::int32_t Level(const TreeRow& r) { return std::abs(r.treelevel); }

// Removes the rows below rows[at] (those deeper than it, up to the next row that is not) and
// returns the tree paths of those of them that were tagged.
std::set<std::string> EraseDescendants(std::vector<TreeRow>& rows, std::size_t at) {
  std::size_t end = at + 1;
  std::set<std::string> tagged;
  for (; end < rows.size() && Level(rows[end]) > Level(rows[at]); ++end)
    if (rows[end].markfield) tagged.insert(rows[end].fullpathname);
  rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(at + 1), rows.begin() + static_cast<std::ptrdiff_t>(end));
  return tagged;
}

TreeRow MakeRow(const std::string& path, const std::string& name, std::int32_t icon, std::int32_t level,
                std::int32_t attribute, std::uint64_t size) {
  TreeRow r{name, path, {}, icon, level, attribute, static_cast<std::uint32_t>(size),
            static_cast<std::uint32_t>(size >> 32), 0, 0};
  SetFixed(r.sizestr, SizeText(size));
  return r;
}

// The FFLS entries in name order as rows below `parent` at `level`.
std::vector<TreeRow> EntryRows(const std::string& parent, std::int32_t level) {
  static const std::int32_t kByName[] = {kFflsFileName, 0};
  vel::QueueSortFields(&FFLS, kByName);
  std::vector<TreeRow> out;
  const std::uint32_t n = vel::QueueRecords(&FFLS);
  out.reserve(n);
  for (std::uint32_t i = 1; i <= n; ++i) {
    vel::QueueGetAt(&FFLS, static_cast<std::int32_t>(i));
    const FflsRecord& f = Ffls();
    const std::string name = CText(f.filename);
    const std::string path = parent + "/" + name;
    if (path.size() >= sizeof(DlsRecord::fullpathname)) continue;  // deeper than a tree path holds
    const std::uint64_t size = (static_cast<std::uint64_t>(f.sizehigh) << 32) | f.size;
    out.push_back(MakeRow(path, name, f.attribute == kDirectory ? kClosedFolder : kFile, level + 1, f.attribute, size));
  }
  return out;
}

std::size_t RootLength() { return g.treeserver.size(); }

// The tagged entries of a folder whose rows a refresh took away while it lists the folder
// again: its merge gives them back their tags. Only the latest refresh's folder is kept.
struct HeldTags {
  std::string parent;
  std::set<std::string> paths;
};
HeldTags g_held_tags;

std::set<std::string> TakeHeldTags(const std::string& parent) {
  std::set<std::string> paths;
  if (g_held_tags.parent == parent) paths.swap(g_held_tags.paths);
  g_held_tags = HeldTags{};
  return paths;
}

}  // namespace

std::string SizeText(std::uint64_t size) {
  if (size == 0) return {};
  if (size < 1024) return std::to_string(size) + " bytes";
  vel::DecPushText(std::to_string(size).c_str());
  vel::DecPushInteger(1024);
  vel::DecDivide();
  vel::StackPushDecimal();
  vel::StackPushCString("n14");
  vel::FormatBuiltin();
  vel::StackLeft(-1);
  vel::StackClip();
  char text[32];
  vel::StackPopToCString(text, sizeof text);
  return std::string(text) + " KB";
}

std::string RowPath() { return PathOf(Dls()); }

std::string RowDirectory() {
  const DlsRecord& d = Dls();
  const std::size_t full = CText(d.fullpathname).size();
  if (full <= RootLength() + CText(d.name).size() + 1) return "/";
  const std::string path = RowPath();
  return path.substr(0, path.size() - CText(d.name).size() - 1);
}

std::string ServerPathOf(const std::string& tree_path) {
  std::size_t start = 0;
  while (start < tree_path.size() && tree_path[start] == '/') ++start;
  return tree_path.substr(start);
}

std::uint64_t RowSize() { return (static_cast<std::uint64_t>(Dls().sizehigh) << 32) | Dls().size; }

std::int32_t RowAttribute(std::uint32_t attributes, std::uint32_t findMarks) {
  const auto attribute = static_cast<std::int32_t>(attributes);
  if (attribute == kDirectory || !(findMarks & FTP_FIND_SIZE_APPROXIMATE)) return attribute;
  return attribute | kSizeApproximate;
}

std::uint64_t RowTransferTotal() { return (Dls().attribute & kSizeApproximate) ? 0 : RowSize(); }

void CreateRoot(const std::string& server) {
  g.treeserver = server;
  g_held_tags = HeldTags{};
  vel::QueueFree(&DLS);
  RecordOf(MakeRow(server, server, kServer, 1, kDirectory, 0), &Dls());
  vel::QueueAppend(&DLS);
  // A new connection starts with nothing selected (a row number left from the last tree would
  // select some other entry of this one).
  if (g.mainwindow) vel::wsl::PropertySet(g.mainwindow, kList1, vel::wsl::kPropSelected, "0");
}

void CreateRootOrMerge(const std::string& path) {
  if (vel::QueueRecords(&DLS) == 0 && path == CText(g.servername)) {
    CreateRoot(path);
    return;
  }
  MergeUnder(path);
}

bool MergeUnder(const std::string& parent) {
  std::vector<TreeRow> rows = ReadRows();
  const std::string selected = SelectedPath(rows);
  const int at = FindPath(rows, parent);
  if (at < 0) return false;
  // A folder listed again keeps the tags of the entries it still lists.
  std::set<std::string> tagged = EraseDescendants(rows, static_cast<std::size_t>(at));
  tagged.merge(TakeHeldTags(parent));
  std::vector<TreeRow> entries = EntryRows(parent, Level(rows[static_cast<std::size_t>(at)]));
  for (TreeRow& e : entries) e.markfield = tagged.count(e.fullpathname) ? 1 : 0;
  rows.insert(rows.begin() + at + 1, std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
  WriteRows(rows, selected);
  return true;
}

void MarkNotListed(const std::string& tree_path) {
  std::vector<TreeRow> rows = ReadRows();
  const std::string selected = SelectedPath(rows);
  const int at = FindPath(rows, tree_path);
  if (at < 0) return;
  TakeHeldTags(tree_path);  // listed no more: its entries and their tags are gone
  TreeRow& d = rows[static_cast<std::size_t>(at)];
  if (d.iconfield == kOpenFolder || d.iconfield == kClosedFolder) {
    d.iconfield = kClosedFolder;
    d.wasenumerated = 0;
    d.treelevel = Level(d);
  }
  EraseDescendants(rows, static_cast<std::size_t>(at));
  WriteRows(rows, selected);
}

bool TreeShowsEntry(const std::string& dir, const std::string& name) {
  const std::string path = g.treeserver + RemotePath(dir, name);
  const std::uint32_t n = vel::QueueRecords(&DLS);
  for (std::uint32_t i = 1; i <= n; ++i)
    if (FetchDls(static_cast<std::int32_t>(i)) && CText(Dls().fullpathname) == path) return true;
  return false;
}

void RefreshRemoteDirectory(const std::string& report) {
  std::vector<TreeRow> rows = ReadRows();
  const std::string selected = SelectedPath(rows), current = Clipped(g.currentftpdir);
  int found = -1, root = -1;
  for (std::size_t i = 0; i < rows.size() && found < 0; ++i) {
    if (rows[i].attribute != kDirectory) continue;
    const bool is_root = rows[i].fullpathname.size() == RootLength();
    if (is_root && root < 0) root = static_cast<int>(i);
    if ((is_root ? std::string("/") : PathOf(rows[i])) == current) found = static_cast<int>(i);
  }
  if (found < 0) found = root;
  if (found < 0) return;  // no tree (disconnected meanwhile)
  TreeRow& d = rows[static_cast<std::size_t>(found)];
  if (d.iconfield == kClosedFolder) {
    d.wasenumerated = 1;
    d.treelevel = std::abs(d.treelevel);
    d.iconfield = kOpenFolder;
  }
  g_held_tags = HeldTags{d.fullpathname, EraseDescendants(rows, static_cast<std::size_t>(found))};
  g.listrow = found + 1;
  Set(g.remoteparent, d.fullpathname);
  Set(g.remotedir, PathOf(d));
  Set(g.currentftpdir, CText(g.remotedir));
  WriteRows(rows, selected);
  StartRemoteListing(ListingKind::kRefresh, report);
}

void RemoteDoubleClick() {
  if (!Idle()) return;
  g.listrow = std::atoi(vel::wsl::PropertyGet(g.mainwindow, kList1, vel::wsl::kPropMouseDownRow).c_str());
  if (!FetchDls(g.listrow)) return;
  DlsRecord& d = Dls();
  switch (d.iconfield) {
    case kClosedFolder:
      d.iconfield = kOpenFolder;
      if (d.wasenumerated) {
        d.treelevel = std::abs(d.treelevel);
        vel::QueuePut(&DLS);
        Set(g.currentftpdir, RowPath());
        break;
      }
      d.wasenumerated = 1;
      vel::QueuePut(&DLS);
      Set(g.remoteparent, CText(d.fullpathname));
      Set(g.remotedir, RowPath());
      Set(g.currentftpdir, RowPath());
      StartRemoteListing(ListingKind::kFolder);
      break;
    case kOpenFolder:
      d.iconfield = kClosedFolder;
      d.treelevel = -d.treelevel;
      vel::QueuePut(&DLS);
      Set(g.currentftpdir, RowPath());
      break;
    case kServer: Set(g.currentftpdir, "/"); break;
    case kFile: Set(g.currentftpdir, RowDirectory()); break;
    default: break;
  }
  vel::wsl::DisplayFields();
}

void RemoteNewSelection() {
  // The selected row (the mouse-down row of a click, and also the row reached by the keyboard).
  g.listrow = vel::wsl::FieldChoice(kList1);
  if (!FetchDls(g.listrow)) return;
  if (Dls().attribute == kDirectory) {
    const std::string path = RowPath();
    Set(g.currentftpdir, path.empty() ? "/" : path);
  } else {
    Set(g.currentftpdir, RowDirectory());
  }
  vel::wsl::DisplayFields();
}

}  // namespace ftpcl
