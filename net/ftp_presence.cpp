#include "net/ftp_presence.h"

#include <algorithm>

namespace vel::net {
namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool Before(char c) { return c == ' ' || c == '\t' || c == '/' || c == '\\'; }
bool After(char c) { return c == ' ' || c == '\t' || c == '/' || c == '\r'; }

// Whether `line` holds `name` as a name of its own: after the line's start, a blank or a path
// separator, and before its end, a blank (" -> target"), a separator or CR. So "data.txt" and
// "a.txt.bak" do not mention "a.txt"; "incoming/a.txt" and "?? a.txt ??" do.
bool Mentions(std::string_view line, std::string_view name, bool anyCase) {
  const auto same = [anyCase](char a, char b) { return anyCase ? Folded(a) == Folded(b) : a == b; };
  for (auto at = line.begin();; ++at) {
    at = std::search(at, line.end(), name.begin(), name.end(), same);
    if (at == line.end()) return false;
    const size_t i = static_cast<size_t>(at - line.begin()), end = i + name.size();
    if ((i == 0 || Before(line[i - 1])) && (end == line.size() || After(line[end]))) return true;
  }
}

// The value of the MLST fact `fact` in the reply's fact line, lower-cased; "" when absent.
// Facts are "name=value;" pairs before the space that leads the path (RFC 3659 7.2).
std::string FactValue(std::string_view text, std::string_view fact) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 2;
    if (line.empty() || line[0] != ' ') continue;  // fact lines start with one space
    line.remove_prefix(1);
    const size_t space = line.find(' ');
    std::string_view facts = line.substr(0, space);
    while (!facts.empty()) {
      const size_t semi = facts.find(';');
      std::string_view pair = facts.substr(0, semi);
      facts = semi == std::string_view::npos ? std::string_view() : facts.substr(semi + 1);
      const size_t eq = pair.find('=');
      if (eq == std::string_view::npos || !SameIgnoringCase(pair.substr(0, eq), fact)) continue;
      std::string value(pair.substr(eq + 1));
      std::transform(value.begin(), value.end(), value.begin(), Folded);
      return value;
    }
  }
  return {};
}

}  // namespace

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return Folded(x) == Folded(y);
         });
}

void NameWatch::Line(std::string_view line) {
  if (name_.empty() || seen_) return;
  if (Mentions(line, name_, false)) seen_ = seenAnyCase_ = true;
  else if (!seenAnyCase_ && Mentions(line, name_, true)) seenAnyCase_ = true;
}

Presence PresenceInListing(const std::vector<ListEntry>& entries, ListingParser::Family family,
                           const NameWatch& watch) {
  const bool ignoresCase = family == ListingParser::Family::Dos;
  bool alike = false;
  for (const ListEntry& e : entries) {
    if (e.name == watch.Name()) return e.dir ? Presence::Folder : Presence::File;
    alike |= ignoresCase && SameIgnoringCase(e.name, watch.Name());
  }
  if (alike) return Presence::CaseAlike;
  // A listing of which no line was read has shown no family: its lines in any case count.
  const bool caseUnknown = ignoresCase || family == ListingParser::Family::Unknown;
  if (watch.Seen() || (caseUnknown && watch.SeenAnyCase())) return Presence::Unknown;
  return Presence::Absent;
}

Presence PresenceOfMlst(int code, std::string_view text) {
  if (code == 550) return Presence::Absent;
  if (code != 250) return Presence::Unknown;
  const std::string type = FactValue(text, "type");
  return type == "dir" || type == "cdir" || type == "pdir" ? Presence::Folder : Presence::File;
}

}  // namespace vel::net
