// Whether a remote entry is there, as far as the server's answers prove it. Portable (no Windows
// headers) so the host tests build it.
//
// Absence is never guessed: it is proven only by an MLST answered 550, or by a complete listing
// of the entry's folder that neither names the entry nor holds a line that mentions its name
// (as a name of its own, not inside a longer one) without giving it as an entry. Such a line is a server that echoes the listed path
// ("incoming/upload.txt": busybox ftpd, Twisted, the linux ftpd) or a line no listing family
// reads; the parser drops it, so the listing cannot vouch for the name's absence. A SIZE 550
// proves nothing (vsftpd refuses SIZE in ASCII mode) and is not used.
//
// Letter case: a server that lists in MS-DOS style runs on a file system that ignores case, so
// a name differing from the sought one only in letter case is the same file there (CaseAlike).
// The comparison folds ASCII letters only.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "net/ftp_listing.h"

namespace vel::net {

enum class Presence { Absent, File, Folder, CaseAlike, Unknown };

// Watches a listing's raw lines for the sought name, standing as a name of its own (after the
// line's start, a blank or "/" or "\", and before its end, a blank, "/" or CR).
class NameWatch {
 public:
  explicit NameWatch(std::string name) : name_(std::move(name)) {}
  void Line(std::string_view line);
  const std::string& Name() const { return name_; }
  bool Seen() const { return seen_; }                  // a line holds the name, letter for letter
  bool SeenAnyCase() const { return seenAnyCase_; }    // ... or with other letter case

 private:
  std::string name_;
  bool seen_ = false, seenAnyCase_ = false;
};

bool SameIgnoringCase(std::string_view a, std::string_view b);

// The verdict of a complete listing of the folder (its entries, the family it was read as, and
// the watch that saw its lines).
Presence PresenceInListing(const std::vector<ListEntry>& entries, ListingParser::Family family,
                           const NameWatch& watch);

// The verdict of an MLST reply: File or Folder for 250 (by its "type" fact), Absent for 550,
// Unknown for anything else (the listing decides then).
Presence PresenceOfMlst(int code, std::string_view text);

}  // namespace vel::net
