// libFuzzer target: listing lines of every family (one line, and the input as a whole listing
// in LIST and MLSD form through the line splitter), the display-name codec, and the pattern
// match. Every entry produced must carry a name that can travel in a command (no CR, LF, NUL or
// "/"), its display name must be a single local file name (no "\\", "/" or TAB), and every
// display name must give back exactly the server's bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/ftp_listing.h"
#include "net/ftp_name_codec.h"

using namespace vel::net;

namespace {

// A name is the server's bytes: text of the input, or (z/VM joins name and type with ".") made
// of pieces that each are.
bool FromInput(std::string_view in, const std::string& name) {
  if (in.find(name) != std::string_view::npos) return true;
  size_t dot = name.find('.');
  return dot != std::string::npos && in.find(name.substr(0, dot)) != std::string_view::npos &&
         in.find(name.substr(dot + 1)) != std::string_view::npos;
}

void CheckEntry(std::string_view in, const ListEntry& e) {
  if (!ValidEntryName(e.name) || !FromInput(in, e.name)) abort();
  if (e.time.year && (e.time.month < 1 || e.time.month > 12 || e.time.day < 1 || e.time.day > 31)) abort();
  // "24:00" is settled as the next day's midnight: no entry keeps an hour past 23.
  if (e.time.hour < 0 || e.time.hour > 23 || e.time.minute < 0 || e.time.minute > 59) abort();
  static const Latin1CodePage latin1;
  static const Utf8CodePage utf8;
  for (const AnsiCodePage* cp : {static_cast<const AnsiCodePage*>(&latin1), static_cast<const AnsiCodePage*>(&utf8)}) {
    std::string shown = DisplayName(e.name, *cp);
    if (shown.empty()) continue;  // too long once escaped: left out, never cut
    // A display name is one local file name: no separator or TAB, however the server wrote it.
    if (shown.find_first_of("\\/\t") != std::string::npos) abort();
    std::string back;
    if (!ServerPath(shown, *cp, &back) || back != e.name) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  Today today{2024, 6, 15};
  ListEntry e;
  if (ParseListLine(in, today, &e)) CheckEntry(in, e);
  if (ParseMlsdLine(in, &e)) CheckEntry(in, e);
  for (bool mlsd : {false, true}) {
    ListingParser p(today, mlsd, 10000);
    LineSplitter s;
    auto feed = [&](std::string_view l) { p.Line(l); };
    size_t step = size ? data[0] % 13 + 1 : 1;
    for (size_t i = 0; i < size; i += step) s.Feed(in.data() + i, i + step < size ? step : size - i, feed);
    s.End(feed);
    p.Finish();
    std::vector<ListEntry> all = p.Take();
    ResolveLinks(&all);
    for (const ListEntry& x : all) CheckEntry(in, x);
  }
  // Arbitrary text as a display path: never a CR, LF or NUL in the bytes sent.
  std::string server;
  static const Latin1CodePage latin1;
  if (ServerPath(in, latin1, &server) && server.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) abort();
  size_t cut = size / 3;
  (void)WildMatch(in.substr(0, cut), in.substr(cut));
  return 0;
}
