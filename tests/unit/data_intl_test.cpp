// The international settings: profile-built pictures, the environment file's syntax and keys,
// and its bad input.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "runtime/core/collation.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/sys.h"
#include "runtime/data/dates.h"
#include "runtime/data/intl.h"
#include "runtime/data/picture.h"
#include "support/check.h"

using namespace vel;

namespace {

std::map<std::string, std::string> g_profile;

int TableProfile(const char*, const char* key, const char* fallback, char* buf, int size) {
  auto it = g_profile.find(key);
  std::string v = it != g_profile.end() ? it->second : (fallback ? fallback : "");
  int n = static_cast<int>(v.size() < static_cast<std::size_t>(size - 1) ? v.size() : size - 1);
  std::memcpy(buf, v.data(), n);
  buf[n] = 0;
  return n;
}

void Fresh() {
  MemoryInitTerm(0);
  CollationReset();
  IntlReset();
  ClearReplacementTexts();
  SetCurrentYear(2003);
  g_profile.clear();
}

void Env(const std::string& text) { ApplyEnvironmentText(text.data(), text.size()); }

std::string Show(const char* picture, std::int32_t value) {
  CompiledPicture pic;
  CompilePicture(picture, &pic);
  DigitString v;
  DigitsFromInteger(value, &v);
  char out[kPictureMaxWidth];
  return std::string(out, FormatDigits(pic, v, out));
}

std::int32_t Read(const char* picture, const std::string& text) {
  CompiledPicture pic;
  CompilePicture(picture, &pic);
  char out[64];
  int n = Deformat(pic, text.data(), static_cast<std::uint32_t>(text.size()), out, sizeof out);
  return n ? std::atoi(out) : -999;
}

int Cmp(const char* a, const char* b) {
  int r = CollateCompare(a, static_cast<std::uint32_t>(std::strlen(a)), b, static_cast<std::uint32_t>(std::strlen(b)));
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

bool IdentityWeights(const std::uint8_t* w) {
  for (int c = 0; c < 256; ++c)
    if (w[c] != c) return false;
  return true;
}

}  // namespace

// --- 1. profile -----------------------------------------------------------------------------

TEST_CASE("profile: defaults build @D17 @D18 @T7 @T8") {
  Fresh();
  IntlReadProfile(TableProfile);
  std::int32_t jul = DateFromYmd(2003, 7, 1);
  CHECK_EQ(Show("@D17", jul), std::string("07/01/03"));
  CHECK_EQ(Show("@D18", jul), std::string("July 01, 2003     "));
  CHECK_EQ(Show("@T7", TimeBuild(9, 5, 0, 0)), std::string("09:05 AM"));
  CHECK_EQ(Show("@T8", TimeBuild(21, 5, 30, 0)), std::string("09:05:30 PM"));
}

TEST_CASE("profile: several sShortDate values") {
  Fresh();
  std::int32_t jul = DateFromYmd(2003, 7, 1);
  const struct {
    const char* format;
    const char* shown;
  } rows[] = {
      {"MM/dd/yy", "07/01/03"},   {"M/d/yy", " 7/ 1/03"},    {"dd.MM.yyyy", "01.07.2003"},
      {"d.M.yy", " 1. 7.03"},     {"yyyy-MM-dd", "2003-07-01"}, {"yy/M/d", "03/ 7/ 1"},
      {"dd/MM/yy", "01/07/03"},
  };
  for (const auto& r : rows) {
    g_profile["sShortDate"] = r.format;
    IntlReadProfile(TableProfile);
    CHECK_EQ(Show("@D17", jul), std::string(r.shown));
    CHECK_EQ(Read("@D17", r.shown), jul);
  }
  g_profile["sShortDate"] = "dd.MM.yyyy";
  IntlReadProfile(TableProfile);
  CHECK_EQ(Show("@D17-", jul), std::string("01-07-2003"));  // the separator option still applies
}

TEST_CASE("profile: several sLongDate values") {
  Fresh();
  std::int32_t jul = DateFromYmd(2003, 7, 1);
  const struct {
    const char* format;
    const char* shown;
  } rows[] = {
      {"dddd, MMMM dd, yyyy", "July 01, 2003     "},
      {"dddd, d. MMMM yyyy", " 1. July 2003     "},
      {"d MMM yyyy", " 1 Jul 2003"},
      {"yyyy'年'M'月'd'日'", "2003\xE5\xB9\xB4 7\xE6\x9C\x88 1\xE6\x97\xA5"},
      {"dd/MM/yy", "01/07/03"},
      {"MMMM yyyy", "July 2003     "},
      {"'Le' d MMMM yyyy", " 1 July 2003     "},
      {"hh:mm", "July 01, 2003     "},  // no field letter: the default long format
  };
  for (const auto& r : rows) {
    g_profile["sLongDate"] = r.format;
    IntlReadProfile(TableProfile);
    CHECK_EQ(Show("@D18", jul), std::string(r.shown));
  }
}

TEST_CASE("profile: Windows time settings") {
  Fresh();
  g_profile = {{"iTime", "1"}, {"iTLzero", "0"}, {"sTime", "."}};
  IntlReadProfile(TableProfile);
  CHECK_EQ(Show("@T7", TimeBuild(9, 5, 0, 0)), std::string(" 9.05"));
  CHECK_EQ(Show("@T8", TimeBuild(21, 5, 30, 0)), std::string("21.05.30"));
  g_profile = {{"s1159", "vorm"}, {"s2359", "n"}};
  IntlReadProfile(TableProfile);
  CHECK_EQ(Show("@T7", TimeBuild(9, 5, 0, 0)), std::string("09:05 vo"));
  CHECK_EQ(Show("@T7", TimeBuild(13, 5, 0, 0)), std::string("01:05 n "));
  CHECK_EQ(Read("@T7", "01:05 n "), TimeBuild(13, 5, 0, 0));
  // @T3 keeps the environment file's texts.
  CHECK_EQ(Show("@T3", TimeBuild(13, 5, 0, 0)), std::string(" 1:05PM"));
  // Values that exist but are empty are used as empty; defaults are only for missing keys.
  g_profile = {{"sTime", ""}, {"s1159", ""}, {"s2359", ""}};
  IntlReadProfile(TableProfile);
  CHECK_EQ(Show("@T7", TimeBuild(9, 5, 0, 0)), std::string("0905   "));
  CHECK_EQ(Show("@T8", TimeBuild(21, 5, 30, 0)), std::string("090530   "));
  CHECK_EQ(Read("@T8", "090530   "), TimeBuild(9, 5, 30, 0));
}

#ifndef _WIN32
TEST_CASE("profile: the host reads VEL_PROFILE_intl_<key>") {
  Fresh();
  setenv("VEL_PROFILE_intl_sShortDate", "dd.MM.yy", 1);
  IntlReadProfile(nullptr);
  unsetenv("VEL_PROFILE_intl_sShortDate");
  CHECK_EQ(Show("@D17", DateFromYmd(2003, 7, 1)), std::string("01.07.03"));
  IntlReadProfile(nullptr);
  CHECK_EQ(Show("@D17", DateFromYmd(2003, 7, 1)), std::string("07/01/03"));
}
#endif

// --- 2. environment file keys -----------------------------------------------------------------

TEST_CASE("env: VELCOLSEQ of \"ba\" swaps only those two") {
  Fresh();
  Env("VELCOLSEQ=ba\n");
  CHECK_EQ(Cmp("b", "a"), -1);
  CHECK_EQ(Cmp("a", "c"), -1);
  CHECK_EQ(Cmp("ba", "ab"), -1);
  const CollationTables& t = Collation();
  for (int c = 0; c < 256; ++c)
    if (c != 'a' && c != 'b') CHECK_EQ(int(t.weight[c]), c);
  CHECK_EQ(int(t.weight[int('b')]), int('a'));
  CHECK_EQ(int(t.weight_oem[int('a')]), int('b'));
  Env("VELCOLSEQ=\n");
  CHECK(IdentityWeights(t.weight));
  CHECK(IdentityWeights(t.weight_oem));
  Env("VELCOLSEQ=zyzx,\n");  // repeats dropped, commas are characters
  CHECK(Cmp("z", "y") < 0 && Cmp("y", "x") < 0 && Cmp("x", ",") < 0);
}

TEST_CASE("env: a 222-character VELCOLSEQ") {
  Fresh();
  std::string list;
  for (int c = 126; c >= 32; --c) list += static_cast<char>(c);   // 95, reversed
  for (int c = 128; c <= 254; ++c) list += static_cast<char>(c);  // 127
  REQUIRE(list.size() == 222);
  std::string escaped;
  for (char c : list) escaped += c == '<' ? std::string("<<") : std::string(1, c);
  Env("VELCOLSEQ=" + escaped + "\n");
  const CollationTables& t = Collation();
  CHECK_EQ(int(t.weight[int('~')]), 32);
  CHECK_EQ(int(t.weight[int(' ')]), 126);
  CHECK_EQ(int(t.weight[128]), 128);
  CHECK_EQ(int(t.weight[254]), 254);
  CHECK_EQ(int(t.weight[10]), 10);
  CHECK_EQ(int(t.weight[255]), 255);
  CHECK_EQ(Cmp("z", "a"), -1);
}

TEST_CASE("env: VELCOLSEQ=WINDOWS orders by the system comparison") {
  Fresh();
  Env("VELCHARSET=OEM\nVELCOLSEQ=WINDOWS\n");
  const CollationTables& t = Collation();
  // Every weight 0..254 is used once; 0 and 1 stay first, 255 keeps its place.
  bool used[256] = {};
  for (int c = 0; c < 256; ++c) used[t.weight[c]] = true;
  for (int w = 0; w < 256; ++w) CHECK(used[w]);
  CHECK_EQ(int(t.weight[0]), 0);
  CHECK_EQ(int(t.weight[1]), 1);
  CHECK_EQ(int(t.weight[255]), 255);
  for (int c = 2; c < 254; ++c)
    for (int d = c + 1; d <= 254; d += 37)
      if (sys::CompareCharStrings(static_cast<unsigned char>(c), static_cast<unsigned char>(d)) < 0)
        CHECK(t.weight[c] < t.weight[d]);
  CHECK(!Intl().oem_file);
}

TEST_CASE("env: VELCASE pairs, WINDOWS, unequal lengths, empty") {
  Fresh();
  Env("VELCASE=\"\xC4\xD6\xDCx\",\"\xE4\xF6\xFCy\"\n");
  CollationTables& t = Collation();
  CHECK_EQ(int(UpperChar(0xE4)), 0xC4);
  CHECK_EQ(int(LowerChar(0xD6)), 0xF6);
  CHECK_EQ(int(t.char_class[0xDC]), int(kCharUpper));
  CHECK_EQ(int(UpperChar('y')), int('Y'));  // pairs below 128 are not taken
  CHECK_EQ(int(t.partner[int('x')]), int('X'));
  Env("VELCASE=\"\xC9\",\"e\"\n");  // a partner below 128 is not taken: "e" keeps "E"
  CHECK_EQ(int(UpperChar('e')), int('E'));
  CHECK_EQ(int(t.char_class[0xC9]), 0);
  Env("VELCASE=\"\xC4\",\"\xE4\xF6\"\n");  // different lengths: like WINDOWS
  for (int c = 128; c < 256; ++c) {
    unsigned char uc = static_cast<unsigned char>(c);
    bool upper = sys::CharIsAlpha(uc) && sys::CharIsUpper(uc) && sys::CharToLower(uc) != uc;
    if (upper) CHECK_EQ(int(t.partner[c]), int(sys::CharToLower(uc)));
  }
  CHECK_EQ(int(UpperChar('a')), int('A'));
  Env("VELCASE=\n");
  for (int c = 128; c < 256; ++c) CHECK_EQ(int(t.char_class[c]), 0);
  CHECK_EQ(int(UpperChar('q')), int('Q'));
  CHECK_EQ(int(t.char_class[int('5')]), int(kCharDigit));
}

TEST_CASE("env: months, abbreviations, AM/PM, LFN, charset, digraphs, buttons") {
  Fresh();
  Env("VELMONTH=Januar,Februar,M\xE4rz,,Mai\n"
      "VELMON=\"Jan\",\"Feb\",\"M\xE4r\"\n"
      "VELAMPM=vm,nm\n"
      "VELLFN=On\n"
      "VELSYSTEMCHARSET=GREEK\n"
      "VELDIGRAPH=\"\xE4" "ae,\xF6oe\",\"\xDFss\"\n"
      "VELBUTTON=&Ja,&Nein\n");
  const IntlSettings& s = Intl();
  CHECK_EQ(std::string(s.month_name[0]), std::string("Januar"));
  CHECK_EQ(std::string(s.month_name[2]), std::string("M\xE4rz"));
  CHECK_EQ(std::string(s.month_name[3]), std::string("April"));  // the empty item ended the list
  CHECK_EQ(std::string(s.month_name[4]), std::string("May"));
  CHECK_EQ(std::string(s.month_abbr[2]), std::string("M\xE4r"));
  CHECK_EQ(std::string(s.ampm[0]), std::string("vm"));
  CHECK_EQ(std::string(s.ampm[1]), std::string("nm"));
  CHECK_EQ(s.long_file_names, 1);
  CHECK_EQ(std::string(s.system_charset), std::string("GREEK"));
  const CollationTables& t = Collation();
  CHECK_EQ(std::string(t.digraph[0]), std::string("\xE4" "ae"));
  CHECK_EQ(std::string(t.digraph[1]), std::string(",\xF6o"));  // groups run on across a comma in one item
  CHECK_EQ(std::string(t.digraph[2]), std::string("\xDFss"));
  CHECK_EQ(t.digraph[3][0], '\0');
  CHECK_EQ(ErrorMessage(32513), std::string("&Ja"));
  CHECK_EQ(ErrorMessage(32514), std::string("&Nein"));
  CHECK_EQ(Show("@D4", DateFromYmd(2003, 3, 1)), std::string("M\xE4rz  1, 2003        "));
  CHECK_EQ(Show("@D3", DateFromYmd(2003, 1, 1)), std::string("JAN  1,2003"));
  CHECK_EQ(Read("@D3", "m\xE4r  1,2003"), DateFromYmd(2003, 3, 1));
  CHECK_EQ(Show("@T3", TimeBuild(13, 5, 0, 0)), std::string(" 1:05nm"));
  Env("VELMONTH=\"A very long month name\"\nVELAMPM=WINDOWS\nVELLFN=off\n");
  CHECK_EQ(std::string(s.month_name[0]), std::string("A very long "));
  CHECK_EQ(std::string(s.ampm[0]), std::string("AM"));
  CHECK_EQ(s.long_file_names, 0);
}

TEST_CASE("env: VELMSG replacement texts reach ErrorMessage") {
  Fresh();
  Env("VELMSG2=Datei nicht gefunden, leider\r\nvelmsg35 = \"Satz fehlt\"\r\n");
  CHECK_EQ(ErrorMessage(2), std::string("Datei nicht gefunden, leider"));
  CHECK_EQ(ErrorMessage(35), std::string("Satz fehlt"));
  Env("VELMSGX=nope\nVELMSG=nope\n");
  CHECK(ErrorMessage(0).find("nope") == std::string::npos);
}

TEST_CASE("env: line, value and escape syntax") {
  Fresh();
  // "<nnn>" escapes (the closing mark is consumed), "<<", trailing blanks and tabs removed,
  // blanks inside the key dropped, keys in any case, CR, LF and Ctrl-Z as line ends.
  Env("V E L M S G 3 = <65>b<<c<66x \t\x1AVELMSG4=<300>\rVELMSG5=<7\nvelmsg6=\"q\"\"uote\",\"second\"");
  CHECK_EQ(ErrorMessage(3), std::string("Ab<cB"));
  CHECK_EQ(ErrorMessage(4), std::string("<300>"));
  CHECK_EQ(ErrorMessage(5), std::string("\x07"));
  CHECK_EQ(ErrorMessage(6), std::string("q\"uote"));
}

TEST_CASE("env: OEM files are converted, except VELCOLSEQ") {
  Fresh();
  // On the host the two code pages are the same; under Windows the OEM byte 0x84 is the ANSI
  // 0xE4 ("a" with diaeresis) in the usual code pages.
  char oem = '\x84';
  char ansi = oem;
  sys::OemToAnsiText(&ansi, 1);
  Env(std::string("VELCHARSET=OEM\nVELMONTH=M") + oem + "rz\nVELCOLSEQ=" + oem + "a\n");
  CHECK_EQ(std::string(Intl().month_name[0]), std::string("M") + ansi + "rz");
  const CollationTables& t = Collation();
  CHECK(t.weight_oem[static_cast<unsigned char>(oem)] < t.weight_oem[int('a')]);
  CHECK(t.weight[static_cast<unsigned char>(ansi)] < t.weight[int('a')]);
  CHECK(!Intl().oem_file);  // the flag belongs to the file being read
}

// --- 3. bad input -------------------------------------------------------------------------

TEST_CASE("env: unknown keys, overlong keys and values, control characters, missing =") {
  Fresh();
  std::string long_value(3000, 'x');
  Env("UNKNOWN=1,2,3\n"
      "VELMSG1234567890123456789012345678=too long a key\n"
      "VELMSG7=" + long_value + "\n"
      "VEL\x01MSG8=control\n"
      "VELMSG9 no equals sign\n"
      "=no key\n"
      "VELMSG10=after the bad lines\n");
  CHECK_EQ(ErrorMessage(10), std::string("after the bad lines"));
  CHECK(ErrorMessage(7).size() <= 255);
  CHECK_EQ(ErrorMessage(7).substr(0, 10), std::string("xxxxxxxxxx"));
  CHECK(ErrorMessage(8).find("control") == std::string::npos);
  CHECK(ErrorMessage(9).find("equals") == std::string::npos);
  CHECK(IdentityWeights(Collation().weight));
  // A line longer than the read buffer.
  Env(std::string(5000, 'k') + "=v\nVELMSG11=ok\n");
  CHECK_EQ(ErrorMessage(11), std::string("ok"));
}

TEST_CASE("env: files, the missing file and the program's own .ENV") {
  Fresh();
  ClearError();
  ApplyEnvironmentFile("no-such-directory/NOFILE.ENV");
  CHECK_EQ(ErrorCode(), 0);
  ApplyEnvironmentFile(nullptr);
  char exe[300];
  REQUIRE(sys::ExecutablePath(exe, sizeof exe) > 0);
  std::string path = exe;
  std::size_t dot = path.rfind('.');
  std::size_t slash = path.find_last_of("/\\");
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.resize(dot);
  path += ".ENV";
  {
    // A file bigger than the read buffer, a Ctrl-Z in the middle, lines split across reads.
    std::FILE* f = std::fopen(path.c_str(), "wb");
    REQUIRE(f != nullptr);
    for (int i = 0; i < 300; ++i) std::fprintf(f, "UNKNOWNKEY%d=filler text filler text\r\n", i);
    std::fputs("VELMSG20=from the program's file\x1AVELMSG21=after ctrl-z\r\n", f);
    std::fclose(f);
  }
  IntlInitialise();
  std::remove(path.c_str());
  CHECK_EQ(ErrorMessage(20), std::string("from the program's file"));
  CHECK_EQ(ErrorMessage(21), std::string("after ctrl-z"));
}

#ifdef _WIN32
#include <windows.h>

TEST_CASE("profile: the platform's intl section") {
  Fresh();
  char saved[80];
  DWORD had = GetProfileStringA("intl", "sShortDate", "", saved, sizeof saved);
  REQUIRE(WriteProfileStringA("intl", "sShortDate", "dd.MM.yyyy"));
  IntlReadProfile(nullptr);
  CHECK_EQ(std::string(Intl().short_date), std::string("dd.MM.yyyy"));
  CHECK_EQ(Show("@D17", DateFromYmd(2003, 7, 1)), std::string("01.07.2003"));
  WriteProfileStringA("intl", "sShortDate", had ? saved : nullptr);
}
#endif
