// The blanks before a name in the listing forms that pad names to a column, where how many of
// them are padding is a matter of the server's layout rather than of the line: one line alone
// cannot always tell a padding blank from a name's own leading blank. The family parsers note
// each such run; NameRuns settles them once the whole listing is read, from what its other
// lines prove, and drops the names whose leading blanks no line tells.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace vel::net {

struct ListEntry;

namespace listing {

enum class RunForm : uint8_t {
  None,          // the name's start is known on the line itself: nothing to settle
  UnixLeftYear,  // after a year printed left-aligned in the Unix time field
  Netware,       // after the time; key 1 when that time is a left-aligned year, else 0
  Os2,           // after the time
  DosDir,        // after "<DIR>"; key: the column the time ends at (one layout's lines share it)
  DosSize,       // after a size: one blank, certain; it shows its layout's name column
};

// A family parser reads the name after the run's first blank (so a name of blanks survives
// its own checks) and describes the run; settling cuts the rest of the padding.
struct NameRun {
  RunForm form = RunForm::None;
  size_t from = 0;    // the column of the run's first blank (where the field before it ends)
  size_t blanks = 0;  // blanks from there to the name's first other byte (or the line's end)
  size_t key = 0;
};

class NameRuns {
 public:
  // The run of the entry at `index` of the listing's entries (read as described above).
  void Note(size_t index, const NameRun& run);
  // Cuts every noted name to the blanks that are its own and removes the entries whose leading
  // blanks the listing cannot tell (their indices are the ones noted). Forgets the runs.
  void Settle(std::vector<ListEntry>* entries);

 private:
  // The blanks of `run` that are padding; 0 when no line tells.
  size_t Padding(const NameRun& run) const;
  using Group = std::pair<RunForm, size_t>;  // form and key
  struct Pending {
    size_t index;
    NameRun run;
  };
  std::vector<Pending> pending_;
  std::map<Group, size_t> narrowest_;  // the narrowest run of each group
  std::map<size_t, size_t> dosColumns_;  // time column -> name column after sizes (0: disagreeing)
};

}  // namespace listing
}  // namespace vel::net
