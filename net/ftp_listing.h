// Directory listing lines: Unix "ls -l" style and MS-DOS style LIST output, and MLSD facts,
// turned into entries; plus the search-pattern match used to filter them. Portable (no Windows
// headers) so the fuzzers build natively.
//
// An entry is produced only for a usable name: not empty, not "." or "..", no "/" or "\", no
// control character (CR, LF, NUL...), at most kMaxName bytes. Everything else is dropped, so a
// hostile listing ("../x", names with CR/LF) can never name a path outside the directory.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vel::net {

struct ListTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  // year 0: unknown
  bool utc = false;  // MLSD times are UTC; LIST times are the server's local time
};

struct ListEntry {
  std::string name;
  bool dir = false;
  bool link = false;      // a symbolic link; dir tells what it points to where known
  std::string target;     // the link's target as listed, if any
  std::string unique;     // MLSD "unique" fact: equal for a link and what it points to
  uint64_t size = 0;
  ListTime time;
};

// The current date, for listing lines that omit the year ("Jan  5 12:00").
struct Today {
  int year = 1970, month = 1, day = 1;
};

constexpr size_t kMaxName = 259;

bool ValidEntryName(std::string_view name);
// One LIST line (Unix or MS-DOS style, told apart by its first character). False for lines
// that carry no usable entry ("total 12", junk, dropped names).
bool ParseListLine(std::string_view line, const Today& today, ListEntry* out);
// One MLSD line "fact=value;...; name". False for cdir/pdir entries and dropped names.
bool ParseMlsdLine(std::string_view line, ListEntry* out);
// The platform's pattern rules: "*" any run, "?" one byte, case-insensitive for ASCII, and a
// trailing ".*" also matches names without a dot ("*.*" matches everything).
bool WildMatch(std::string_view pattern, std::string_view name);
bool HasWildcards(std::string_view pattern);

}  // namespace vel::net
