// libFuzzer target: listing lines (LIST in Unix and MS-DOS style, MLSD) and the pattern match.
// Every entry produced must carry a name that is safe to use as a local file name.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/ftp_listing.h"

using namespace vel::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  Today today{2024, 6, 15};
  ListEntry e;
  for (int mode = 0; mode < 2; ++mode) {
    bool ok = mode == 0 ? ParseListLine(in, today, &e) : ParseMlsdLine(in, &e);
    if (!ok) continue;
    if (!ValidEntryName(e.name)) abort();
    if (e.time.year && (e.time.month < 1 || e.time.month > 12 || e.time.day < 1 || e.time.day > 31)) abort();
  }
  size_t cut = size / 3;
  (void)WildMatch(in.substr(0, cut), in.substr(cut));
  return 0;
}
