// Display names: the escape rules row by row, the round trip and injectivity over names that
// look alike or look like escapes, and the refusals (control characters, separators smuggled in
// escapes, text not of the code page, names too long to show). Runs with the two portable code
// pages; the platform's code pages are exercised under Wine by the integration tests.
#include <set>
#include <string>
#include <vector>

#include "net/ftp_name_codec.h"
#include "support/check.h"

using namespace vel::net;

namespace {

const Latin1CodePage kLatin1;
const Utf8CodePage kUtf8;

std::string Back(const std::string& display, const AnsiCodePage& cp) {
  std::string server;
  return ServerPath(display, cp, &server) ? server : std::string("<refused>");
}

// Names side by side with their look-alikes, escape look-alikes and Windows-hostile forms.
const char* const kNames[] = {
    "readme.txt", "L\xc3\xb3" "dz.txt", "\xc5\x81\xc3\xb3\x64\xc5\xba.txt", "Lodz.txt",
    "\xd0\x90\xd0\x91.txt", "\xd0\x92\xd0\x93.txt", "??.txt", "AB.txt",
    "\xce\xb1\xce\xb2\xce\xb3.txt", "abg.txt", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt",
    "\xf0\x9f\x98\x80.txt", "{U+1F600}.txt", "{U+0141}.txt", "{%E9}.txt", "caf\xe9.txt", "caf\xc3\xa9.txt",
    "{U+007B}", "{", "{}", "{U+}", "{U+41}", "{u+0041}", "{%41}", "{%e9}", "{U+0041", "a{U+0041}b{%E9}",
    "name.", "name", "name ", "name..", " lead", "a:b", "a?b", "a*b", "a<b>c", "a\"b", "a|b",
    "CON", "con.txt", "nul", "COM1.log", "LPT9", "COM0", "CONSOLE", "aux .txt",
    "\xc3\xa9t\xc3\xa9", "\xe9t\xe9", "\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xff\xfe",
    "\xc2\x85" "c1", "tab-free", "%E9.txt", "100%.txt",
    "x\\y.txt", "..\\evil.txt", "\\", "x{U+005C}y.txt", "tab\there", "\t", "x{U+0009}", " ", "  ", "   x",
    "LPT\xc2\xb3.txt", "COM\xc2\xb9",
};

}  // namespace

TEST_CASE("display names: rows") {
  struct Row {
    const char* server;
    const char* latin1;  // display name under ISO 8859-1 ("" = refused)
    const char* utf8;    // under UTF-8
  } rows[] = {
      {"readme.txt", "readme.txt", "readme.txt"},
      {"L\xc3\xb3" "dz.txt", "L\xf3" "dz.txt", "L\xc3\xb3" "dz.txt"},
      {"\xc5\x81\xc3\xb3\x64\xc5\xba.txt", "{U+0141}\xf3" "d{U+017A}.txt", "\xc5\x81\xc3\xb3\x64\xc5\xba.txt"},
      {"\xd0\x90\xd0\x91.txt", "{U+0410,0411}.txt", "\xd0\x90\xd0\x91.txt"},
      {"\xf0\x9f\x98\x80.txt", "{U+1F600}.txt", "\xf0\x9f\x98\x80.txt"},
      {"caf\xe9.txt", "caf{%E9}.txt", "caf{%E9}.txt"},
      {"\xff\xfe", "{%FF%FE}", "{%FF%FE}"},
      {"\xc0\x80", "{%C0%80}", "{%C0%80}"},            // overlong: raw bytes
      {"\xed\xa0\x80", "{%ED%A0%80}", "{%ED%A0%80}"},  // a surrogate: raw bytes
      {"{U+0141}.txt", "{U+007B}U+0141}.txt", "{U+007B}U+0141}.txt"},
      {"{%E9}", "{U+007B}%E9}", "{U+007B}%E9}"},
      {"{U+41}", "{U+41}", "{U+41}"},  // not an escape: stays
      {"{}", "{}", "{}"},
      {"100%.txt", "100%.txt", "100%.txt"},
      {"name.", "name{U+002E}", "name{U+002E}"},
      {"name ", "name{U+0020}", "name{U+0020}"},
      {"a. .", "a{U+002E,0020,002E}", "a{U+002E,0020,002E}"},
      {"a:b", "a{U+003A}b", "a{U+003A}b"},
      {"a<b>c", "a{U+003C}b{U+003E}c", "a{U+003C}b{U+003E}c"},
      {"con.txt", "{U+0063}on.txt", "{U+0063}on.txt"},
      {"COM1.log", "{U+0043}OM1.log", "{U+0043}OM1.log"},
      {"aux .txt", "{U+0061}ux .txt", "{U+0061}ux .txt"},
      {"CONSOLE", "CONSOLE", "CONSOLE"},
      {"COM0", "{U+0043}OM0", "{U+0043}OM0"},
      {"lpt\xc2\xb2.log", "{U+006C}pt\xb2.log", "{U+006C}pt\xc2\xb2.log"},
      {"COM\xc2\xbc", "COM\xbc", "COM\xc2\xbc"},  // a quarter is no digit
      {"x\\y.txt", "x{U+005C}y.txt", "x{U+005C}y.txt"},
      {"..\\evil.txt", "..{U+005C}evil.txt", "..{U+005C}evil.txt"},
      {"tab\there", "tab{U+0009}here", "tab{U+0009}here"},
      {"\t\\", "{U+0009,005C}", "{U+0009,005C}"},
      {"x{U+005C}y", "x{U+007B}U+005C}y", "x{U+007B}U+005C}y"},
      {"  ", "{U+0020,0020}", "{U+0020,0020}"},
      {" lead", " lead", " lead"},
      {"esc\x1b", "", ""},
      {"a/b", "", ""},
      {"cr\rx", "", ""},
      {"", "", ""},
  };
  for (const Row& r : rows) {
    CHECK_EQ(DisplayName(r.server, kLatin1), std::string(r.latin1));
    CHECK_EQ(DisplayName(r.server, kUtf8), std::string(r.utf8));
  }
}

TEST_CASE("display names: round trip and no two names shown as one") {
  for (const AnsiCodePage* cp : {static_cast<const AnsiCodePage*>(&kLatin1), static_cast<const AnsiCodePage*>(&kUtf8)}) {
    std::set<std::string> shown;
    for (const char* n : kNames) {
      std::string d = DisplayName(n, *cp);
      REQUIRE(!d.empty());
      CHECK_EQ(Back(d, *cp), std::string(n));
      CHECK(shown.insert(d).second);  // injective
      // Usable as a Windows file name: no reserved character, no trailing dot or blank.
      CHECK(d.find_first_of("<>:\"|?*/\\\t") == std::string::npos);
      CHECK(d.back() != '.' && d.back() != ' ');
      // And in a path: every component comes back.
      CHECK_EQ(Back("dir/" + d + "/" + d, *cp), "dir/" + std::string(n) + "/" + n);
    }
  }
}

TEST_CASE("server paths: typed text, escapes that smuggle nothing, bad text") {
  // Text the user typed goes as UTF-8; an escape stands for its character.
  CHECK_EQ(Back("caf\xe9.txt", kLatin1), std::string("caf\xc3\xa9.txt"));
  CHECK_EQ(Back("{U+0141}\xf3" "d{U+017A}.txt", kLatin1), std::string("\xc5\x81\xc3\xb3\x64\xc5\xba.txt"));
  CHECK_EQ(Back("pub/{%E9}", kUtf8), std::string("pub/\xe9"));
  // Escapes never make a separator, a control character or a byte below 80: plain text then.
  CHECK_EQ(Back("a{U+002F}b", kLatin1), std::string("a{U+002F}b"));
  CHECK_EQ(Back("a{U+000D}{U+000A}DELE x", kLatin1), std::string("a{U+000D}{U+000A}DELE x"));
  CHECK_EQ(Back("{%0A}", kLatin1), std::string("{%0A}"));
  CHECK_EQ(Back("{%41}", kLatin1), std::string("{%41}"));
  CHECK_EQ(Back("{U+D800}", kLatin1), std::string("{U+D800}"));
  CHECK_EQ(Back("{U+110000}", kLatin1), std::string("{U+110000}"));
  CHECK_EQ(Back("{U+0041,}", kLatin1), std::string("{U+0041,}"));
  CHECK_EQ(Back("{U+00041}", kLatin1), std::string("{U+00041}"));  // not canonical
  CHECK_EQ(Back("{U+001B}{U+007F}", kLatin1), std::string("{U+001B}{U+007F}"));
  // TAB and "\\" are what a listed name may hold: their escapes give them back.
  CHECK_EQ(Back("dir/x{U+005C}y.txt", kLatin1), std::string("dir/x\\y.txt"));
  CHECK_EQ(Back("a{U+0009}b", kUtf8), std::string("a\tb"));
  CHECK_EQ(Back("{U+0020,0020}", kLatin1), std::string("  "));
  // Text that is not UTF-8 under the UTF-8 code page is refused.
  CHECK_EQ(Back("caf\xe9", kUtf8), std::string("<refused>"));
}

TEST_CASE("display names: too long to show is refused, never cut") {
  std::string ascii(kMaxDisplayName, 'a');
  CHECK_EQ(DisplayName(ascii, kLatin1), ascii);
  CHECK(DisplayName(ascii + "a", kLatin1).empty());
  std::string cyrillic;
  for (int i = 0; i < 40; ++i) cyrillic += "\xd0\x96";  // 40 characters, 80 bytes
  std::string d = DisplayName(cyrillic, kLatin1);
  CHECK(!d.empty() && d.size() <= kMaxDisplayName);
  CHECK_EQ(Back(d, kLatin1), cyrillic);
  std::string longer;
  for (int i = 0; i < 60; ++i) longer += "\xd0\x96";
  CHECK(DisplayName(longer, kLatin1).empty());  // 3 + 60 * 5 bytes escaped
}
