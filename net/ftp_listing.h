// Directory listings: LIST output of every family an FTP client meets and MLSD facts, turned into
// entries; plus the search-pattern match used to filter them. Portable (no Windows headers) so
// the fuzzers build natively.
//
// Families (each a strict parser; see ftp_listing_*.cpp): Unix "ls -l" and its relatives
// (localised and numeric dates, NetWare, Plan 9 modes, ACL marks, device files, links), MS-DOS/IIS
// and OS/2, EPLF, VMS (wrapped entries joined), MVS datasets and PDS members, AS/400, VxWorks,
// HP NonStop, z/VM, OS-9. A line is read by the family the listing has shown so far first, then
// by the others; a line no family reads with certainty is dropped, never guessed at.
//
// Names are the server's bytes, exactly; display forms are net/ftp_name_codec.h's business.
// An entry is produced only for a name that is one entry of the folder and can travel in a
// command: not empty, not "." or "..", no "/", no control character but TAB (CR, LF and NUL
// would end or cut a command), at most kMaxName bytes. Everything else is dropped, so a hostile
// listing ("../x", names with CR/LF) can never name a path outside the directory. "\" and TAB
// are ordinary bytes of a server's name ("x\y.txt", "..\evil.txt" are files of this folder on
// a Unix server): they are kept, and the display form escapes them. A TAB anywhere else in a
// line than in the name it gives (and before the name in EPLF and MLSD) drops the line.
//
// Blanks belong to the name wherever the form says where the name starts:
//  - MLSD (which the engine prefers where the server offers it): after the "; " that ends the
//    facts, every byte to the line's end.
//  - Unix "ls -l": after the one blank that follows the date (a fixed name column); EPLF: after
//    its TAB; MS-DOS/IIS: after the one blank that follows a size.
//  - Forms that pad the name with a run of blanks whose width is the server's layout rather than
//    the line's: a year printed left-aligned in the Unix time field ("Jan 05 2020  name" padded,
//    "Jan 05 2020 name" not), NetWare and OS/2 (four or two blanks after the time, or one), and
//    "<DIR>" (padded to the end of the size field). The listing decides (ftp_listing_runs.cpp,
//    where the rules stand with their columns): a run of one shows the separator alone, the
//    narrowest run of a listing shows its layout when it is one the form prints, and size lines
//    show the column of a "<DIR>" line's name. A name whose leading blanks no line tells is
//    dropped, never shown as a name it may not be. What no listing can tell: a run of two after
//    a left-aligned year where no line shows the server unpadded is read as padding, and a
//    listing whose every name begins with blanks reads its narrowest run as the form's layout
//    where it is one (MLSD, preferred wherever offered, has neither doubt).
//  Trailing blanks are never cut: only the CR LF that ends a line is.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "net/ftp_listing_runs.h"

namespace vel::net {

struct ListTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  // year 0: unknown
  bool utc = false;  // MLSD and EPLF times are UTC; LIST times are the server's local time
};

struct ListEntry {
  std::string name;
  bool dir = false;
  bool link = false;       // a symbolic link
  bool linkKnown = false;  // for a link: dir tells what it points to for certain
  std::string target;      // the link's target as listed, if any
  std::string unique;      // MLSD "unique" fact: equal for a link and what it points to
  uint64_t size = 0;
  // The size was listed with a unit ("33.5k"): size is near it, not exact. Nothing that needs
  // the exact length (a resume point, a transfer's total) may take it.
  bool sizeApprox = false;
  ListTime time;
};

// The current date, for listing lines that omit the year ("Jan  5 12:00").
struct Today {
  int year = 1970, month = 1, day = 1;
};

constexpr size_t kMaxName = 259;

bool ValidEntryName(std::string_view name);
// One LIST line of any family that fits on one line. False for lines that carry no usable
// entry ("total 12", headers, junk, dropped names).
bool ParseListLine(std::string_view line, const Today& today, ListEntry* out);
// One MLSD line "fact=value;...; name". False for cdir/pdir entries and dropped names.
bool ParseMlsdLine(std::string_view line, ListEntry* out);

// A whole listing, line by line. Knows the family the listing has shown, joins entries that
// span two lines (VMS), skips headers, and keeps one entry per name (VMS versions: the first
// listed, the newest). Refuses more than kMaxEntries entries (Overflow) instead of cutting.
class ListingParser {
 public:
  static constexpr size_t kMaxEntries = 2'000'000;
  explicit ListingParser(const Today& today, bool mlsd = false, size_t maxEntries = kMaxEntries)
      : today_(today), mlsd_(mlsd), maxEntries_(maxEntries) {}
  void SetMlsd(bool mlsd) { mlsd_ = mlsd; }
  // One line without its LF (a CR before it is dropped).
  void Line(std::string_view line);
  // The end of the listing: a pending first half of a wrapped entry is dropped, and names after
  // padding runs are settled (see above). Take() gives the settled entries only after it.
  void Finish();
  bool Overflow() const { return overflow_; }
  std::vector<ListEntry> Take() { return std::move(entries_); }

  enum class Family { Unknown, Unix, Dos, Eplf, Vms, MvsDataset, MvsMember, As400, VxWorks, Tandem, Zvm, Os9, Os2 };
  Family family() const { return family_; }

 private:
  void Add(ListEntry&& e);
  bool Header(std::string_view line);
  Today today_;
  bool mlsd_;
  size_t maxEntries_;
  Family family_ = Family::Unknown;
  std::string vmsPending_;  // a VMS name whose details are on the next line
  std::vector<ListEntry> entries_;
  std::unordered_set<std::string> vmsNames_;  // names already given by a VMS listing
  bool overflow_ = false;
  listing::NameRuns runs_;  // blanks before names that the whole listing settles
};

// Splits a byte stream into lines for the parser. A line longer than kMaxLine is dropped whole
// (its start and its end are never read as lines of their own).
class LineSplitter {
 public:
  static constexpr size_t kMaxLine = 64 * 1024;
  template <typename F>
  void Feed(const char* p, size_t n, F&& onLine) {
    for (size_t i = 0; i < n;) {
      const char* lf = static_cast<const char*>(memchr_(p + i, '\n', n - i));
      size_t end = lf ? static_cast<size_t>(lf - p) : n;
      if (lf && line_.empty() && !tooLong_ && end - i <= kMaxLine) {  // whole line in this chunk
        onLine(std::string_view(p + i, end - i));
        i = end + 1;
        continue;
      }
      if (!tooLong_) {
        if (line_.size() + (end - i) > kMaxLine) {
          tooLong_ = true;
          line_.clear();
        } else {
          line_.append(p + i, end - i);
        }
      }
      if (!lf) return;
      if (!tooLong_) onLine(std::string_view(line_));
      line_.clear();
      tooLong_ = false;
      i = end + 1;
    }
  }
  template <typename F>
  void End(F&& onLine) {
    if (!tooLong_ && !line_.empty()) onLine(std::string_view(line_));
    line_.clear();
    tooLong_ = false;
  }

 private:
  static const void* memchr_(const void* p, int c, size_t n);
  std::string line_;
  bool tooLong_ = false;
};

// Links whose target is a sibling in the same listing (by name, or by MLSD's unique fact) take
// its kind, for certain.
void ResolveLinks(std::vector<ListEntry>* entries);

// The platform's pattern rules: "*" any run, "?" one byte, case-insensitive for ASCII, and a
// trailing ".*" also matches names without a dot ("*.*" matches everything).
bool WildMatch(std::string_view pattern, std::string_view name);
bool HasWildcards(std::string_view pattern);

}  // namespace vel::net
