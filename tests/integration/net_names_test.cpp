// Names exactly, against every real server of the fixture, under the ANSI code page the process
// runs with (ctest runs this program under 1252, 1251 and 932: Wine takes the code page from
// LANG). The folder world/names holds Polish, Russian, Greek, Japanese and emoji names beside their
// ASCII look-alikes, escape look-alikes and Windows-hostile names ("\\", ":", blanks at either
// end, a trailing dot); each file holds its own name.
// Every listed name must be distinct, fetch exactly its own file, show as plain text where the
// code page holds it, and a rename, upload or delete must touch only the file named.
#include <cstring>
#include <map>
#include <set>

#include "integration/fake_ftpd.h"
#include "integration/net_support.h"
#include "support/check.h"

using namespace nettest;

namespace {

const char* const kServerNames[] = {
    "\xc5\x81\xc3\xb3\x64\xc5\xba.txt", "Lodz.txt", "L\xc3\xb3" "dz.txt", "\xd0\x90\xd0\x91.txt", "\xd0\x92\xd0\x93.txt",
    "??.txt", "\xce\xb1\xce\xb2\xce\xb3.txt", "abg.txt", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt",
    "\xe3\x83\x8b\xe3\x83\x9b\xe3\x83\xb3\xe3\x82\xb4.txt", "\xf0\x9f\x98\x80.txt", "{U+1F600}.txt", "trailing.",
    "a:b.txt", "x\\y.txt", "x{U+005C}y.txt", " lead.txt", "end "};
const char* const kFolder = "\xc3\x96rdner";

std::wstring Wide(const std::string& utf8) {
  std::wstring w(utf8.size() + 1, L'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), static_cast<int>(w.size()));
  w.resize(static_cast<size_t>(n));
  return w;
}

// The ANSI text of a name when the code page holds it exactly and Windows allows it as a file
// name; "" otherwise (then the library must show an escaped form).
std::string PlainAnsi(const std::string& utf8) {
  if (utf8.find_first_of("<>:\"|?*\\\t") != std::string::npos || utf8.back() == '.' || utf8.back() == ' ' ||
      utf8.find('{') != std::string::npos)
    return {};
  std::wstring w = Wide(utf8);
  char buf[512];
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), buf, sizeof buf, nullptr,
                              &usedDefault);
  if (n <= 0 || usedDefault) return {};
  wchar_t back[512];
  int m = MultiByteToWideChar(CP_ACP, 0, buf, n, back, 512);
  if (std::wstring(back, static_cast<size_t>(m)) != w) return {};
  return std::string(buf, static_cast<size_t>(n));
}

bool ServerFileExists(const Server& sv, const std::string& relUtf8) {
  std::wstring path = Wide(sv.root) + L"\\world\\names\\" + Wide(relUtf8);
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::map<std::string, WIN32_FIND_DATAA> List(HINTERNET conn, const std::string& pattern, size_t* count) {
  std::map<std::string, WIN32_FIND_DATAA> out;
  *count = 0;
  WIN32_FIND_DATAA fd;
  HINTERNET f = FtpFindFirstFileA(conn, pattern.c_str(), &fd, 0, 0);
  if (!f) return out;
  do {
    out[fd.cFileName] = fd;
    ++*count;
  } while (InternetFindNextFileA(f, &fd));
  InternetCloseHandle(f);
  return out;
}

void NamesOn(const Server& sv, bool writable) {
  HINTERNET session = InternetOpenA("names", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET conn = InternetConnectA(session, sv.Host().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP,
                                    INTERNET_FLAG_PASSIVE, 0);
  REQUIRE(conn);
  size_t count = 0;
  auto entries = List(conn, "world/names/*.*", &count);
  const size_t files = sizeof kServerNames / sizeof kServerNames[0];
  CHECK_EQ(count, files + 1);
  CHECK_EQ(entries.size(), count);  // no two names shown as one
  // Each display name fetches exactly its own file.
  std::set<std::string> fetched;
  std::map<std::string, std::string> displayOf;  // server name -> display name
  std::string local = ScratchDir();
  int n = 0;
  for (const auto& [display, fd] : entries) {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      displayOf[kFolder] = display;
      continue;
    }
    std::string to = local + "\\f" + std::to_string(n++);
    bool got = FtpGetFileA(conn, ("world/names/" + display).c_str(), to.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0);
    // Pure-FTPd lists a name with "\\" but will not serve it ("553 Prohibited file name"): the
    // request went out, and the name is taken from the display form.
    if (!got && sv.name == "pureftpd" && display == "x{U+005C}y.txt") {
      displayOf["x\\y.txt"] = display;
      fetched.insert("x\\y.txt");
      continue;
    }
    CHECK(got);
    std::string content = ReadAll(to);
    CHECK(fetched.insert(content).second);
    displayOf[content] = display;
    // The display name is a usable local file name as it stands.
    std::string asLocal = local + "\\" + display;
    CHECK(WriteAll(asLocal, content) && ReadAll(asLocal) == content);
  }
  for (const char* name : kServerNames) {
    CHECK(fetched.count(name) == 1);
    std::string plain = PlainAnsi(name);
    if (!plain.empty()) CHECK_EQ(displayOf[name], plain);
    else CHECK(displayOf[name].find('{') != std::string::npos);
  }
  // A folder by its display name.
  REQUIRE(displayOf.count(kFolder));
  auto inner = List(conn, "world/names/" + displayOf[kFolder] + "/*.*", &count);
  CHECK(count == 1 && inner.count("inner.txt") == 1);
  if (writable) {
    // Upload beside look-alikes, rename, delete: only the named file changes.
    const std::string lodz = displayOf["\xc5\x81\xc3\xb3\x64\xc5\xba.txt"];
    std::string src = local + "\\upload.bin";
    WriteAll(src, "uploaded");
    CHECK(FtpPutFileA(conn, src.c_str(), ("world/names/" + lodz + ".copy").c_str(), FTP_TRANSFER_TYPE_BINARY, 0));
    CHECK(ServerFileExists(sv, "\xc5\x81\xc3\xb3\x64\xc5\xba.txt.copy"));
    CHECK(FtpRenameFileA(conn, ("world/names/" + lodz + ".copy").c_str(), ("world/names/" + lodz + ".moved").c_str()));
    CHECK(ServerFileExists(sv, "\xc5\x81\xc3\xb3\x64\xc5\xba.txt.moved"));
    CHECK(FtpDeleteFileA(conn, ("world/names/" + lodz + ".moved").c_str()));
    CHECK(!ServerFileExists(sv, "\xc5\x81\xc3\xb3\x64\xc5\xba.txt.moved"));
    for (const char* name : kServerNames)  // (Wine cannot name "??.txt", "a:b.txt", "trailing.", "end ", "x\\y.txt")
      if (!strpbrk(name, "?:\\") && name[strlen(name) - 1] != '.' && name[strlen(name) - 1] != ' ')
        CHECK(ServerFileExists(sv, name));
    // A name made of escapes the user typed reaches the server as its characters.
    CHECK(FtpCreateDirectoryA(conn, "world/names/{U+0416}-made"));
    CHECK(ServerFileExists(sv, "\xd0\x96-made"));
    CHECK(FtpRemoveDirectoryA(conn, "world/names/{U+0416}-made"));
  }
  InternetCloseHandle(conn);
  InternetCloseHandle(session);
}

// ---- scripted listings: names no real server of the fixture lists in these forms

struct FakeClient {
  HINTERNET session = nullptr, conn = nullptr;
  explicit FakeClient(int port) {
    session = InternetOpenA("names", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    std::string name = "127.0.0.1:" + std::to_string(port);
    conn = InternetConnectA(session, name.c_str(), 0, "user", "pw", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
  }
  ~FakeClient() {
    if (conn) InternetCloseHandle(conn);
    if (session) InternetCloseHandle(session);
  }
};

// The display names of a listing, in the order listed.
std::vector<std::string> Listed(HINTERNET conn) {
  std::vector<std::string> out;
  WIN32_FIND_DATAA fd;
  HINTERNET f = FtpFindFirstFileA(conn, "*.*", &fd, 0, 0);
  if (!f) return out;
  do out.push_back(fd.cFileName);
  while (InternetFindNextFileA(f, &fd));
  InternetCloseHandle(f);
  return out;
}

// The commands that start with `verb`, in order.
std::vector<std::string> Sent(const std::vector<std::string>& commands, const std::string& verb) {
  std::vector<std::string> out;
  for (const std::string& c : commands)
    if (c.compare(0, verb.size() + 1, verb + " ") == 0) out.push_back(c.substr(verb.size() + 1));
  return out;
}

// A LIST of "\", TAB and blank names beside plain look-alikes of their escapes. The
// left-aligned years are unpadded (the line of "old.txt" shows it), so "  " is two blanks.
const char* const kUnixListing =
    "-rw-r--r-- 1 u g 5 Jan  1 12:00 x\\y.txt\r\n"
    "-rw-r--r-- 1 u g 5 Jan  1 12:00 ..\\evil.txt\r\n"
    "-rw-r--r-- 1 u g 5 Jan  1 12:00 tab\there\r\n"
    "-rw-r--r-- 1 u g 5 Jan  1 12:00 x{U+005C}y.txt\r\n"
    "-rw-r--r-- 1 u g 5 Jan  1 12:00 tab{U+0009}here\r\n"
    "-rw-r--r-- 1 u g 5 Jan  1 12:00  lead\r\n"
    "-rw-r--r-- 1 u g 5 Jan  1 12:00 trail \r\n"
    "-rw-r--r-- 1 u g 5 Jan  1 12:00 trail{U+0020}\r\n"
    "-rw-r--r-- 1 u g 5 Jan 05 2020   \r\n"
    "-rw-r--r-- 1 u g 5 Jan 05 2020 old.txt\r\n"
    "-rw-r--r-- 1 u g 5 Jan  1 12:00 cr\rx\r\n"
    "-rw-r--r-- 1 u g 5 Jan  1 12:00 ../up\r\n";
const char* const kUnixNames[] = {"x\\y.txt", "..\\evil.txt", "tab\there", "x{U+005C}y.txt", "tab{U+0009}here",
                                  " lead", "trail ", "trail{U+0020}", "  ", "old.txt"};
const char* const kUnixShown[] = {"x{U+005C}y.txt", "..{U+005C}evil.txt", "tab{U+0009}here", "x{U+007B}U+005C}y.txt",
                                  "tab{U+007B}U+0009}here", " lead", "trail{U+0020}", "trail{U+007B}U+0020}",
                                  "{U+0020,0020}", "old.txt"};

}  // namespace

TEST_CASE("names: a scripted LIST of backslash, TAB and blank names; DELE and RNFR send their exact bytes") {
  const size_t n = sizeof kUnixNames / sizeof kUnixNames[0];
  std::vector<Step> script = With(LoginSteps(), ListingSteps("LIST", kUnixListing));
  for (size_t i = 0; i < n; ++i) script.push_back({Step::Send, "DELE", "250 deleted\r\n"});
  script.push_back({Step::Send, "RNFR", "350 go on\r\n"});
  script.push_back({Step::Send, "RNTO", "250 renamed\r\n"});
  FakeFtpd f(script);
  std::vector<std::string> shown;
  {
    FakeClient c(f.Port());
    REQUIRE(c.conn);
    shown = Listed(c.conn);
    CHECK_EQ(shown.size(), n);
    for (size_t i = 0; i < n && i < shown.size(); ++i) CHECK_EQ(shown[i], std::string(kUnixShown[i]));
    for (const std::string& d : shown) CHECK(FtpDeleteFileA(c.conn, d.c_str()));
    CHECK(FtpRenameFileA(c.conn, "..{U+005C}evil.txt", "{U+0020,0020}"));
  }
  std::vector<std::string> commands = f.Commands();
  CHECK(!f.Mismatch());
  std::vector<std::string> deleted = Sent(commands, "DELE");
  REQUIRE(deleted.size() == shown.size());
  for (size_t i = 0; i < deleted.size(); ++i) CHECK_EQ(deleted[i], std::string(kUnixNames[i]));
  CHECK(Sent(commands, "RNFR") == std::vector<std::string>{"..\\evil.txt"});
  CHECK(Sent(commands, "RNTO") == std::vector<std::string>{"  "});
}

TEST_CASE("names: a scripted MLSD keeps every blank; RETR asks for the file the row shows") {
  const std::string listing =
      "type=file;size=5;   \r\n"
      "type=file;size=5;  \r\n"
      "type=file;size=5;  lead\r\n"
      "type=file;size=5; lead\r\n"
      "type=file;size=5; a\\b \r\n"
      "type=dir;size=0;\t\ttab dir\r\n";
  std::vector<Step> login = LoginSteps();
  login.back() = {Step::Send, "FEAT", "211-Features:\r\n MLST type*;size*;modify*;\r\n PASV\r\n211 End\r\n"};
  std::vector<Step> script = With(login, ListingSteps("MLSD", listing));
  script.push_back({Step::Send, "TYPE I", "200 ok\r\n"});
  const char* const server[] = {"  ", " ", " lead", "lead", "a\\b "};
  for (size_t i = 0; i < 5; ++i) {
    script.push_back({Step::Pasv, "PASV", ""});
    script.push_back({Step::Send, "RETR", "150 go\r\n"});
    script.push_back({Step::DataOut, "", ""});
    script.push_back({Step::Send, "", "226 done\r\n"});
  }
  FakeFtpd f(script);
  std::vector<std::string> shown;
  {
    FakeClient c(f.Port());
    REQUIRE(c.conn);
    shown = Listed(c.conn);
    const std::vector<std::string> expected = {"{U+0020,0020}", "{U+0020}", " lead", "lead", "a{U+005C}b{U+0020}",
                                               "{U+0009}tab dir"};
    CHECK(shown == expected);
    // Each file by the name its row shows, saved under that name in a local folder.
    std::string local = ScratchDir();
    for (size_t i = 0; i + 1 < shown.size(); ++i) {
      std::string to = local + "\\" + shown[i];
      CHECK(FtpGetFileA(c.conn, shown[i].c_str(), to.c_str(), FALSE, 0, FTP_TRANSFER_TYPE_BINARY, 0));
      CHECK(GetFileAttributesA(to.c_str()) != INVALID_FILE_ATTRIBUTES);
    }
  }
  std::vector<std::string> commands = f.Commands();
  CHECK(!f.Mismatch());
  std::vector<std::string> fetched = Sent(commands, "RETR");
  REQUIRE(fetched.size() == 5);
  for (size_t i = 0; i < 5; ++i) CHECK_EQ(fetched[i], std::string(server[i]));
}

TEST_CASE("names: every server, exact both ways under this code page") {
  printf("ANSI code page %u\n", GetACP());
  REQUIRE(Servers().size() >= 5);
  for (const Server& sv : Servers()) {
    printf("  %s\n", sv.name.c_str());
    NamesOn(sv, sv.name != "pureftpd" && sv.name != "inetutils");
  }
}
