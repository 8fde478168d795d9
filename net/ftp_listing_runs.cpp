// Settling the blanks before names in padded listing forms. Columns are byte offsets in the
// line; a run starts at `from`, the end of the field before the name.
//
// Unix, a year printed left-aligned in the five-column time field:
//   "... Jan 05 2020  name"  padded server: the year's field is "2020 ", then the separator
//   "... Jan 05 2020 name"   unpadded server: the separator alone
// A run of one shows an unpadded server (a name cannot start before the separator): then every
// such name starts one blank after the year. Without such a line a run of two is read as the
// padded layout (the server it most likely is), and a longer run is dropped: its name begins
// with one or two blanks fewer than the run, and nothing tells which. A run of two there is
// truly ambiguous (" name" from an unpadded server whose every such name begins with a blank
// reads "name"): MLSD, which the engine prefers wherever the server offers it, is exact; a
// server offering LIST alone gives that reading.
//
// NetWare: "d [R----F--] owner   512       Jan 16 18:53    login". The name stands four blanks
// after the time (the fixed layout: date at column 45, name at 61 whatever the owner), or one
// blank after it on later servers ("Apr 13 23:12 VOL2"). The narrowest run of the listing is
// its padding when it is one of these two; each name keeps the blanks of its run beyond it. A
// narrowest run of any other width shows no layout the form prints: nothing tells where the
// names start, and the lines are dropped. (A one-blank server whose every name in the folder
// begins with three blanks cannot be told from the four-blank layout; no listing shows that.) Lines whose time is a left-aligned year form a group
// of their own (such a field may carry a padding blank of its own), settled alike.
//
// OS/2: "    73098      A          04-06-97   15:15  ds0.txt". The name stands two blanks after
// the time; otherwise as NetWare, with the layouts two and one.
//
// MS-DOS/IIS: "01-31-23  10:30PM       <DIR>          name" and
//             "04-14-00  03:47PM                  589 name": "<DIR>" is printed at the start of
// the size field and padded to its end; the name follows one blank after the field (column 39
// in IIS). A size line's name starts exactly one blank after the size, so size lines show the
// name column of their layout, known by the column their time ends at (17 here). A "<DIR>"
// line of the same layout whose run reaches that column has its name there, with the blanks
// beyond it. Without that proof (no size line of the layout, or size lines that disagree), the
// name stands ten blanks after "<DIR>" when the run is longer (the IIS and Windows "dir"
// layout), else at the run's end (it cannot show leading blanks then).
#include "net/ftp_listing_runs.h"

#include "net/ftp_listing.h"

namespace vel::net::listing {

namespace {

constexpr size_t kNetwarePadding = 4;
constexpr size_t kOs2Padding = 2;
constexpr size_t kUnixPadding = 2;
constexpr size_t kDosDirPadding = 10;

}  // namespace

void NameRuns::Note(size_t index, const NameRun& run) {
  if (run.form == RunForm::None) return;
  if (run.form == RunForm::DosSize) {
    auto [it, added] = dosColumns_.emplace(run.key, run.from + 1);
    if (!added && it->second != run.from + 1) it->second = 0;
    return;
  }
  pending_.push_back({index, run});
  auto [it, added] = narrowest_.emplace(Group{run.form, run.key}, run.blanks);
  if (!added && run.blanks < it->second) it->second = run.blanks;
}

size_t NameRuns::Padding(const NameRun& run) const {
  if (run.form == RunForm::DosDir) {
    auto it = dosColumns_.find(run.key);
    size_t column = it == dosColumns_.end() ? 0 : it->second;
    if (column > run.from && column <= run.from + run.blanks) return column - run.from;
    return run.blanks > kDosDirPadding ? kDosDirPadding : run.blanks;
  }
  const size_t narrowest = narrowest_.at(Group{run.form, run.key});
  if (narrowest == 1) return 1;
  if (run.form == RunForm::UnixLeftYear) return run.blanks == kUnixPadding ? kUnixPadding : 0;
  const size_t layout = run.form == RunForm::Netware ? kNetwarePadding : kOs2Padding;
  return narrowest == layout ? layout : 0;
}

void NameRuns::Settle(std::vector<ListEntry>* entries) {
  if (pending_.empty()) {
    dosColumns_.clear();
    return;
  }
  std::vector<bool> drop(entries->size(), false);
  bool any = false;
  for (const Pending& p : pending_) {
    ListEntry& e = (*entries)[p.index];
    // The name was read after the run's first blank: the rest of the padding leads it.
    const size_t padding = Padding(p.run);
    if (padding == 0 || padding - 1 > e.name.size()) {
      drop[p.index] = any = true;
      continue;
    }
    e.name.erase(0, padding - 1);
    if (!ValidEntryName(e.name)) drop[p.index] = any = true;
  }
  pending_.clear();
  narrowest_.clear();
  dosColumns_.clear();
  if (!any) return;
  size_t kept = 0;
  for (size_t i = 0; i < entries->size(); ++i)
    if (!drop[i]) {
      if (kept != i) (*entries)[kept] = std::move((*entries)[i]);
      ++kept;
    }
  entries->resize(kept);
}

}  // namespace vel::net::listing
