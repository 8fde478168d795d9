// The listing dispatcher: which family reads a line, headers, wrapped VMS entries, MLSD facts,
// links resolved by their siblings, and the search-pattern match.
#include "net/ftp_listing.h"

#include <cctype>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "net/ftp_listing_text.h"

namespace vel::net {

using namespace listing;
using Family = ListingParser::Family;

namespace {

std::string_view StripLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// A control byte inside a line (CR, NUL, ESC...) ends or hides a record: such a line is dropped.
// A TAB is the one control character a name may hold: fields are split on blanks only, so a TAB
// never moves a field (a TAB inside a date or a size makes the line unreadable, and it is
// dropped); EPLF and MLSD put one before the name.
bool CleanLine(std::string_view line) {
  for (unsigned char c : line)
    if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
  return true;
}

// A TAB is read as a byte of a name only: a line whose TABs are not all in the name it gave
// (one more for the TAB of EPLF and MLSD before the name) had a TAB in a field, which may have
// moved what the family took for the name; it is dropped.
bool TabsOnlyInName(std::string_view line, const ListEntry& e, size_t separators) {
  size_t inLine = 0, inName = 0;
  for (char c : line) inLine += c == '\t';
  if (inLine == 0) return true;
  for (char c : e.name) inName += c == '\t';
  return inLine == inName + separators;
}

// What a reading found besides the entry.
struct Notes {
  bool vmsWrapped = false;  // a VMS first half: the details follow on the next line
  NameRun run;              // the blanks before the name, for NameRuns to settle
};

bool ReadAs(Family f, std::string_view line, const Today& today, ListEntry* e, Notes* notes);

// An entry as read, with "24:00" settled as midnight starting the next day.
bool Settled(bool read, ListEntry* e) {
  if (read) NextDayAt24(&e->time);
  return read;
}

// One family's reading of a line (wrapped VMS first halves count as unread here).
bool ParseAs(Family f, std::string_view line, const Today& today, ListEntry* e, Notes* notes) {
  return Settled(ReadAs(f, line, today, e, notes), e);
}

bool ReadAs(Family f, std::string_view line, const Today& today, ListEntry* e, Notes* notes) {
  *notes = Notes{};
  bool* vmsWrapped = &notes->vmsWrapped;
  switch (f) {
    case Family::Unix:
      if (ParseUnix(line, today, e, &notes->run) || ParseNetware(line, today, e, &notes->run)) return true;
      notes->run = NameRun{};
      return ParseNumericUnix(line, e);
    case Family::Dos: return ParseDos(line, e, &notes->run);
    case Family::Os2: return ParseOs2(line, e, &notes->run);
    case Family::Eplf: return ParseEplf(line, e);
    case Family::Vms: return ParseVms(line, e, vmsWrapped);
    case Family::MvsDataset: return ParseMvsDataset(line, e);
    case Family::MvsMember: return ParseMvsMember(line, e);
    case Family::As400: return ParseAs400(line, e);
    case Family::VxWorks: return ParseVxWorks(line, e);
    case Family::Tandem: return ParseTandem(line, e);
    case Family::Zvm: return ParseZvm(line, e);
    case Family::Os9: return ParseOs9(line, e);
    case Family::Unknown: return false;
  }
  return false;
}

// The order in which an unknown line is tried: the most common and the strictest first. MVS
// members (a bare name is a whole line) only after their header.
constexpr Family kOrder[] = {Family::Eplf, Family::Unix, Family::Dos, Family::Vms, Family::As400, Family::Tandem,
                             Family::Zvm, Family::Os9, Family::VxWorks, Family::Os2, Family::MvsDataset};

// A PDS member line with its statistics ("NAME VV.MM created changed time ..."): readable
// without the header; a bare name is not.
bool MemberWithStats(std::string_view line, const ListEntry& e) {
  return e.time.year != 0 && Tokens(line, 3).size() >= 3;
}

Family FirstReading(std::string_view line, const Today& today, Family preferred, ListEntry* e, Notes* notes) {
  if (preferred != Family::Unknown && ParseAs(preferred, line, today, e, notes)) return preferred;
  for (Family f : kOrder)
    if (f != preferred && ParseAs(f, line, today, e, notes)) return f;
  *notes = Notes{};
  if (Settled(ParseMvsMember(line, e), e) && MemberWithStats(line, *e)) return Family::MvsMember;
  return Family::Unknown;
}

// Header and decoration lines; *family is set when the header names its family.
bool HeaderLine(std::string_view line, Family* family) {
  // Entry lines of the common families start with a mode letter or a digit: no header.
  char first = line.empty() ? ' ' : line[0];
  if ((first >= '0' && first <= '9') || first == 'd' || first == 'l' || first == '+' ||
      (first == '-' && line.size() > 1 && line[1] != '-' && line[1] != ' '))
    return false;
  auto tok = Tokens(line, 4);
  if (tok.empty()) return true;
  std::string_view t0 = At(line, tok[0]);
  std::string_view t1 = tok.size() > 1 ? At(line, tok[1]) : std::string_view();
  if (t0 == "total" && tok.size() == 2) return true;
  if (line.find_first_not_of("- \t") == std::string_view::npos) return true;  // "-------- ----"
  if (t0 == "Volume" && t1 == "Unit") return *family = Family::MvsDataset, true;
  if (t0 == "Name" && (t1 == "VV.MM" || t1 == "Size")) return *family = Family::MvsMember, true;
  if (t0 == "File" && t1 == "Code") return *family = Family::Tandem, true;
  if (StartsWith(line, "Directory ") && line.find(':') != std::string_view::npos && line.back() == ']')
    return *family = Family::Vms, true;
  if (StartsWith(line, "Total of ") || StartsWith(line, "Grand total of ")) return true;
  if (t0 == "Owner" && t1 == "Last") return *family = Family::Os9, true;
  if (t0 == "size" && t1 == "date") return *family = Family::VxWorks, true;
  return false;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool ValidEntryName(std::string_view name) {
  if (name.empty() || name.size() > kMaxName || name == "." || name == "..") return false;
  for (unsigned char c : name)
    if (c == '/' || (c < 0x20 && c != '\t') || c == 0x7f) return false;
  return true;
}

bool ParseListLine(std::string_view line, const Today& today, ListEntry* out) {
  line = StripLineEnd(line);
  Family none = Family::Unknown;
  if (line.empty() || !CleanLine(line) || HeaderLine(line, &none)) return false;
  Notes notes;
  Family f = FirstReading(line, today, Family::Unknown, out, &notes);
  if (f == Family::Unknown || notes.vmsWrapped || !TabsOnlyInName(line, *out, f == Family::Eplf)) return false;
  if (notes.run.form == RunForm::None) return true;
  // Alone, the line is its own listing: its run is settled by what it shows by itself.
  std::vector<ListEntry> one(1, std::move(*out));
  NameRuns runs;
  runs.Note(0, notes.run);
  runs.Settle(&one);
  if (one.empty()) return false;
  *out = std::move(one[0]);
  return true;
}

bool ParseMlsdLine(std::string_view line, ListEntry* out) {
  line = StripLineEnd(line);
  if (!CleanLine(line)) return false;
  // The facts end at the blank (or TAB) after their last ";"; without one, at the first blank.
  size_t sep = std::string_view::npos;
  for (size_t k = 1; k < line.size() && sep == std::string_view::npos; ++k)
    if ((line[k] == ' ' || line[k] == '\t') && line[k - 1] == ';') sep = k;
  if (sep == std::string_view::npos) sep = line.find_first_of(" \t");
  if (sep == std::string_view::npos) return false;
  *out = ListEntry{};
  std::string_view facts = line.substr(0, sep);
  bool typed = false;
  while (!facts.empty()) {
    size_t semi = facts.find(';');
    std::string_view fact = facts.substr(0, semi);
    facts = semi == std::string_view::npos ? std::string_view() : facts.substr(semi + 1);
    size_t eq = fact.find('=');
    if (eq == std::string_view::npos) continue;
    std::string key = Lower(fact.substr(0, eq));
    std::string_view value = fact.substr(eq + 1);
    if (key == "type") {
      std::string v = Lower(value);
      if (v == "cdir" || v == "pdir") return false;
      typed = true;
      out->dir = v == "dir";
      if (StartsWith(v, "os.unix=slink") || StartsWith(v, "os.unix=symlink")) {
        out->link = true;
        size_t colon = value.find(':');
        if (colon != std::string_view::npos) out->target.assign(value.substr(colon + 1));
        out->dir = out->linkKnown = !out->target.empty() && out->target.back() == '/';
      }
    } else if (key == "unix.mode" && !typed && value.size() >= 6) {
      // A full mode with the file-type bits (040755, 0100644, 0120777) when no type is given.
      uint64_t mode = 0;
      bool octal = true;
      for (char c : value) {
        if (c < '0' || c > '7') octal = false;
        else mode = mode * 8 + static_cast<uint64_t>(c - '0');
      }
      unsigned kind = static_cast<unsigned>((mode >> 12) & 017);
      if (octal && (kind == 004 || kind == 010 || kind == 012)) {
        typed = true;
        out->dir = kind == 004;
        out->link = kind == 012;
      }
    } else if (key == "size" || key == "sizd") {
      uint64_t n;
      if (ToU64(value, &n)) out->size = n;
    } else if (key == "unique") {
      out->unique.assign(value);
    } else if (key == "modify" && value.size() >= 14) {
      ListTime t;
      t.utc = true;
      if (ToInt(value.substr(0, 4), &t.year) && ToInt(value.substr(4, 2), &t.month) &&
          ToInt(value.substr(6, 2), &t.day) && ToInt(value.substr(8, 2), &t.hour) &&
          ToInt(value.substr(10, 2), &t.minute) && ToInt(value.substr(12, 2), &t.second) && ValidDate(t) &&
          t.hour < 24 && t.minute < 60 && t.second < 61)
        out->time = t;
    }
  }
  if (!typed) return false;
  if (out->dir) out->size = 0;
  out->name.assign(line.substr(sep + 1));
  return ValidEntryName(out->name) && TabsOnlyInName(line, *out, line[sep] == '\t');
}

void ListingParser::Line(std::string_view line) {
  line = StripLineEnd(line);
  if (overflow_) return;
  ListEntry e;
  if (mlsd_) {
    if (ParseMlsdLine(line, &e)) Add(std::move(e));
    return;
  }
  bool wrapped = false;
  if (!vmsPending_.empty()) {
    // The details of a wrapped VMS entry come indented on the next line.
    std::string first = std::move(vmsPending_);
    vmsPending_.clear();
    if (!line.empty() && line[0] == ' ' && CleanLine(line)) {
      size_t b = line.find_first_not_of(' ');
      std::string joined = first + "  " + std::string(b == std::string_view::npos ? "" : line.substr(b));
      if (Settled(ParseVms(joined, &e, &wrapped), &e) && !wrapped && TabsOnlyInName(joined, e, 0)) Add(std::move(e));
      return;
    }
  }
  if (line.empty() || !CleanLine(line) || HeaderLine(line, &family_)) return;
  Family f;
  Notes notes;
  if (family_ == Family::MvsMember && Settled(ParseMvsMember(line, &e), &e)) {
    f = Family::MvsMember;  // after its header a bare name is a member
  } else {
    f = FirstReading(line, today_, family_, &e, &notes);
  }
  if (f == Family::Unknown || (!notes.vmsWrapped && !TabsOnlyInName(line, e, f == Family::Eplf))) return;
  family_ = f;
  if (notes.vmsWrapped) {
    vmsPending_.assign(line);
    return;
  }
  if (entries_.size() < maxEntries_) runs_.Note(entries_.size(), notes.run);
  Add(std::move(e));
}

void ListingParser::Finish() {
  vmsPending_.clear();
  runs_.Settle(&entries_);
}

void ListingParser::Add(ListEntry&& e) {
  if (entries_.size() >= maxEntries_) {
    overflow_ = true;
    return;
  }
  if (family_ == Family::Vms) {  // "A.TXT;2" then "A.TXT;1": the first listed is the newest
    if (!vmsNames_.insert(e.name).second) return;
  }
  entries_.push_back(std::move(e));
}

const void* LineSplitter::memchr_(const void* p, int c, size_t n) { return std::memchr(p, c, n); }

void ResolveLinks(std::vector<ListEntry>* entries) {
  std::unordered_map<std::string_view, const ListEntry*> byName, byUnique;
  bool anyLink = false;
  for (const ListEntry& e : *entries) anyLink = anyLink || (e.link && !e.linkKnown);
  if (!anyLink) return;
  for (const ListEntry& e : *entries) {
    if (e.link) continue;
    byName.emplace(e.name, &e);
    if (!e.unique.empty()) byUnique.emplace(e.unique, &e);
  }
  for (ListEntry& e : *entries) {
    if (!e.link || e.linkKnown) continue;
    const ListEntry* other = nullptr;
    if (!e.target.empty() && e.target.find('/') == std::string::npos) {
      auto it = byName.find(e.target);
      if (it != byName.end()) other = it->second;
    }
    if (!other && !e.unique.empty()) {
      auto it = byUnique.find(e.unique);
      if (it != byUnique.end()) other = it->second;
    }
    if (other) {
      e.dir = other->dir;
      e.linkKnown = true;
    }
  }
}

bool HasWildcards(std::string_view pattern) {
  return pattern.find_first_of("*?") != std::string_view::npos;
}

namespace {

bool Match(std::string_view p, std::string_view n) {
  // Iterative glob with one backtrack point: linear in practice, never recursive.
  size_t pi = 0, ni = 0, star = std::string_view::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (pi < p.size() &&
               (p[pi] == '?' || std::tolower(static_cast<unsigned char>(p[pi])) ==
                                    std::tolower(static_cast<unsigned char>(n[ni])))) {
      ++pi;
      ++ni;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace

bool WildMatch(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return true;
  if (Match(pattern, name)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos)
    return Match(pattern.substr(0, pattern.size() - 2), name);
  return false;
}

}  // namespace vel::net
