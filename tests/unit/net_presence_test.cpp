// What a listing or an MLST reply proves about an entry's presence: real listings of the servers
// met (Twisted and busybox echo the listed path, IIS lists in MS-DOS style), read through the
// same parser the library uses.
#include <string>
#include <vector>

#include "net/ftp_presence.h"
#include "support/check.h"

using namespace vel::net;

namespace {

const Today kToday{2026, 12, 7};

// The listing's lines through the parser and a watch for `name`, as the engine reads them.
Presence Verdict(const std::vector<std::string>& lines, const std::string& name) {
  ListingParser parser(kToday);
  NameWatch watch(name);
  for (const std::string& l : lines) {
    watch.Line(l);
    parser.Line(l);
  }
  parser.Finish();
  const ListingParser::Family family = parser.family();
  return PresenceInListing(parser.Take(), family, watch);
}

const char* kUnixFile = "-rw-r--r--   1 root      root                    3 Dec 07 22:22 upload.txt";
const char* kUnixOther = "-rw-r--r--   1 root      root                    3 Dec 07 22:22 other.txt";

}  // namespace

TEST_CASE("listing: absent only when the folder's listing has no line with the name") {
  CHECK(Verdict({kUnixOther}, "upload.txt") == Presence::Absent);
  CHECK(Verdict({}, "upload.txt") == Presence::Absent);  // an empty folder
  CHECK(Verdict({"total 8", kUnixFile, kUnixOther}, "upload.txt") == Presence::File);
  CHECK(Verdict({"drwxr-xr-x   2 root root 4096 Dec 07 22:22 upload.txt"}, "upload.txt") == Presence::Folder);
  // A server echoing the listed path: the parser drops "incoming/upload.txt", the line stays.
  CHECK(Verdict({"-rw-r--r--   1 root      root                    3 Dec 07 22:22 incoming/upload.txt"},
                "upload.txt") == Presence::Unknown);
  // A line no family reads, with the name in it.
  CHECK(Verdict({kUnixOther, "?? upload.txt ??"}, "upload.txt") == Presence::Unknown);
  // Longer names that hold the sought one do not mention it.
  CHECK(Verdict({"-rw-r--r--   1 root root 3 Dec 07 22:22 upload.txt.bak"}, "upload.txt") == Presence::Absent);
  CHECK(Verdict({"-rw-r--r--   1 root root 3 Dec 07 22:22 data.txt"}, "a.txt") == Presence::Absent);
  // A link's name stands before its target; an echoed link still proves nothing.
  CHECK(Verdict({"lrwxrwxrwx   1 root root 3 Dec 07 22:22 a.txt -> b.txt"}, "a.txt") == Presence::File);
  CHECK(Verdict({"lrwxrwxrwx   1 root root 3 Dec 07 22:22 in/a.txt -> b.txt"}, "a.txt") == Presence::Unknown);
}

TEST_CASE("listing: letter case counts only on a server that lists in MS-DOS style") {
  const std::vector<std::string> unix = {"-rw-r--r--   1 root root 3 Dec 07 22:22 Report.txt"};
  CHECK(Verdict(unix, "report.txt") == Presence::Absent);
  CHECK(Verdict(unix, "Report.txt") == Presence::File);
  const std::vector<std::string> dos = {"12-07-26  10:22PM                    3 Report.txt",
                                        "12-07-26  10:22PM       <DIR>          Docs"};
  CHECK(Verdict(dos, "report.txt") == Presence::CaseAlike);
  CHECK(Verdict(dos, "REPORT.TXT") == Presence::CaseAlike);
  CHECK(Verdict(dos, "Report.txt") == Presence::File);
  CHECK(Verdict(dos, "docs") == Presence::CaseAlike);
  CHECK(Verdict(dos, "Docs") == Presence::Folder);
  CHECK(Verdict(dos, "other.txt") == Presence::Absent);
  // An MS-DOS style line that echoes a path in other letter case proves nothing.
  CHECK(Verdict({"12-07-26  10:22PM                    3 sub\\REPORT.TXT"}, "report.txt") == Presence::Unknown);
}

TEST_CASE("MLST: 550 proves absence, 250 tells file from folder, anything else decides nothing") {
  CHECK(PresenceOfMlst(550, "550 No such file or directory.\r\n") == Presence::Absent);
  CHECK(PresenceOfMlst(250, "250-Listing upload.txt\r\n type=file;size=3;modify=20261207222200; /incoming/upload.txt\r\n250 End.\r\n") ==
        Presence::File);
  CHECK(PresenceOfMlst(250, "250-Listing x\r\n Type=DIR;Modify=20261207222200; /incoming\r\n250 End.\r\n") ==
        Presence::Folder);
  CHECK(PresenceOfMlst(250, "250-x\r\n modify=20261207222200;type=cdir; /\r\n250 End\r\n") == Presence::Folder);
  // A name that holds "type=dir" is no fact.
  CHECK(PresenceOfMlst(250, "250-x\r\n type=file; /a;type=dir;\r\n250 End\r\n") == Presence::File);
  // No fact line at all: the entry is there, of unknown kind; taken as a file (asked about).
  CHECK(PresenceOfMlst(250, "250 ok\r\n") == Presence::File);
  for (int code : {500, 501, 502, 504, 450, 421, 530})
    CHECK(PresenceOfMlst(code, "refused\r\n") == Presence::Unknown);
}
