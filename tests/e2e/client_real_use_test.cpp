// The client as people use it, end to end: the real program under Wine against the servers of
// tests/e2e/real_use_ftpd.sh (vsftpd rate-limited to 1 MiB/s, so transfers and long listings
// last seconds; ProFTPD on the same tree for a folder it refuses to list; Twisted, which echoes
// the path in "LIST path", and pyftpdlib, which answers MLST, on small trees). Each case is a
// user's task: browse a tree where "pub" stands beside "pub.txt", watch a download move and
// cancel it, replace files only after a question, leave a connection while a listing runs,
// work with names full of menu and path characters. Screenshots of the moments that matter go
// to the artifacts folder.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "e2e/client_steps.h"

namespace {

using namespace e2e;

// A server of the real-use fixture (AFC_REAL_USE_DIR/servers.txt: "name port root").
nettest::Server g_vsftpd, g_proftpd, g_twisted, g_pyftpdlib, g_stall;

void LoadServers() {
  if (g_vsftpd.port) return;
  const char* dir = std::getenv("AFC_REAL_USE_DIR");
  REQUIRE(dir != nullptr);
  std::istringstream in(Slurp(uidriver::WindowsPath(dir) + "\\servers.txt"));
  std::string name, root;
  int port = 0;
  while (in >> name >> port >> root) {
    nettest::Server s{name, port, uidriver::WindowsPath(root)};
    if (name == "vsftpd") g_vsftpd = s;
    if (name == "proftpd") g_proftpd = s;
    if (name == "twisted") g_twisted = s;
    if (name == "pyftpdlib") g_pyftpdlib = s;
    if (name == "stall") g_stall = s;
  }
  REQUIRE(g_vsftpd.port != 0 && g_proftpd.port != 0 && g_twisted.port != 0 && g_pyftpdlib.port != 0 &&
          g_stall.port != 0);
}

// A client in a scratch folder of its own, in the session state, aimed at `server`.
struct Use : Session {
  // The scratch folder, made before the client starts when a case puts files there first.
  const std::string& Folder(const std::string& tag) {
    LoadArguments();
    if (local.empty()) local = LocalScratch(tag);
    return local;
  }
  bool Begin(const std::string& tag, const nettest::Server& on = g_vsftpd, const std::string& lang = "") {
    LoadServers();
    Folder(tag);
    server = &on;
    if (!c.Start(g_exe, local, lang) || !WaitUntil([&] { return StartedUp(c); })) return false;
    StartSession();
    return true;
  }
  int Row(const std::string& name) const { return c.FindRow(kList1, name); }
  // The first column of every row of the remote tree.
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (const std::string& r : c.Rows(kList1)) out.push_back(r.substr(0, r.find('\t')));
    return out;
  }
  int Count(const std::string& name) {
    const std::vector<std::string> n = Names();
    return static_cast<int>(std::count(n.begin(), n.end(), name));
  }
  // Selects the row and presses Get.
  void Get(const std::string& name) {
    REQUIRE(c.Select(kList1, Row(name)));
    c.Press(kGet);
  }
  void SelectLocal(const std::string& name) {
    REQUIRE(WaitUntil([&] { return c.FindRow(kList4, name) >= 0; }));
    REQUIRE(c.Select(kList4, c.FindRow(kList4, name)));
  }
  // Presses Connect as veluser, whose home is the folder of 20,000 entries: the listing after
  // the connect lasts seconds.
  void ConnectToBigHome() {
    c.SetText(kServerName, server->Host());
    c.SetText(kUserName, "veluser");
    c.SetText(kPassword, "velpass");
    c.Press(kConnect);
  }
  // Status zone `zone` says `text`.
  bool Says(int zone, const std::string& text, DWORD ms = 20000) {
    if (WaitUntil([&] { return c.Status(zone) == text; }, ms)) return true;
    std::printf("  zones: %s | %s | %s\n", c.Status(1).c_str(), c.Status(2).c_str(), c.Status(3).c_str());
    return false;
  }
};

// Watches zone 2 while a transfer runs: true once `distinct` different byte counts with the
// wording `prefix` were shown, each larger than the one before, and the bar left 0.
bool WatchBytesMove(Client& c, const std::string& prefix, int distinct) {
  std::vector<unsigned long long> seen;
  bool bar = false;
  const bool ok = WaitUntil([&] {
    const std::string z2 = c.Status(2);
    bar = bar || c.ProgressPos(kPercent) > 0;
    if (z2.rfind(prefix, 0) == 0 && z2.size() > prefix.size() + 7 && z2.substr(z2.size() - 7) == " bytes.") {
      const unsigned long long n = std::strtoull(z2.c_str() + prefix.size(), nullptr, 10);
      if (seen.empty() || n != seen.back()) seen.push_back(n);
    }
    return static_cast<int>(seen.size()) >= distinct && bar;
  }, 30000);
  for (std::size_t i = 1; i < seen.size(); ++i) CHECK(seen[i] > seen[i - 1]);
  std::printf("  byte counts seen:");
  for (unsigned long long n : seen) std::printf(" %llu", n);
  std::printf("\n");
  return ok;
}

// No message box is open (one that is gets its text printed).
bool NoBox(Client& c) {
  const uidriver::MessageBoxInfo box = c.WaitMessageBox(500);
  if (!box.hwnd) return true;
  std::printf("  unexpected box: %s: %s\n", box.caption.c_str(), box.text.c_str());
  return false;
}

bool NoTemporaryFiles(const std::string& dir) {
  WIN32_FIND_DATAA f;
  HANDLE h = FindFirstFileA((dir + "\\vft*").c_str(), &f);
  if (h == INVALID_HANDLE_VALUE) return true;
  FindClose(h);
  return false;
}

}  // namespace

TEST_CASE("tree: a folder's entries stay below it beside pub.txt and docs.zip; a refresh lists them once") {
  Use s;
  Write(s.Folder("tree") + "\\put-into-pub.txt", "put\n");
  REQUIRE(s.Begin("tree"));
  Client& c = s.c;
  REQUIRE(s.Connect());
  REQUIRE(s.Expand("pub"));
  REQUIRE(s.Expand("docs"));
  std::vector<std::string> n = s.Names();
  auto at = [&](const std::string& name) { return std::find(n.begin(), n.end(), name) - n.begin(); };
  CHECK_EQ(at("a.txt"), at("pub") + 1);
  CHECK_EQ(at("b.txt"), at("pub") + 2);
  CHECK_EQ(at("inner"), at("pub") + 3);
  CHECK_EQ(at("pub-old"), at("pub") + 4);
  CHECK_EQ(at("pub.txt"), at("pub") + 5);
  CHECK_EQ(at("manual.txt"), at("docs") + 1);
  CHECK_EQ(at("docs.zip"), at("docs") + 2);
  // Sizes past 2 and 4 GiB.
  CHECK(c.Row(kList1, s.Row("huge3g.iso")).find("\t3,145,728 KB") != std::string::npos);
  CHECK(c.Row(kList1, s.Row("huge5g.iso")).find("\t5,242,880 KB") != std::string::npos);
  REQUIRE(c.Select(kList1, s.Row("pub.txt")));  // scrolls "pub" and its entries into view
  Sleep(300);
  Shot(c, c.Main(), "tree_pub_beside_pub_txt");

  // A put into "pub" refreshes it: its entries once each, the new one among them.
  REQUIRE(c.Select(kList1, s.Row("pub")));
  s.SelectLocal("put-into-pub.txt");
  c.Press(kPut);
  REQUIRE(WaitUntil([&] { return Exists(s.ServerPath("pub/put-into-pub.txt")) && s.WaitIdleRow("put-into-pub.txt"); }));
  n = s.Names();
  CHECK_EQ(s.Count("a.txt"), 1);
  CHECK_EQ(s.Count("b.txt"), 1);
  CHECK_EQ(s.Count("put-into-pub.txt"), 1);
  CHECK(at("put-into-pub.txt") > at("pub") && at("put-into-pub.txt") < at("pub-old"));
  CHECK_EQ(at("pub.txt"), at("pub") + 6);

  // F5 lists the selected remote folder again, and the local folder.
  Write(s.ServerPath("pub/made-on-server.txt"), "server\n");
  Write(s.local + "\\made-locally.txt", "local\n");
  REQUIRE(c.Select(kList1, s.Row("pub")));
  c.Key(VK_F5);
  CHECK(WaitUntil([&] { return s.Row("made-on-server.txt") > s.Row("pub") && c.Status(3).empty(); }));
  CHECK(WaitUntil([&] { return c.FindRow(kList4, "made-locally.txt") >= 0; }));
  CHECK_EQ(s.Count("made-on-server.txt"), 1);
  DeleteFileA(s.ServerPath("pub/made-on-server.txt").c_str());
  DeleteFileA(s.ServerPath("pub/put-into-pub.txt").c_str());
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("local side: a drive change and Previous level refill the file list; Put reads only the file shown") {
  Use s;
  Write(s.Folder("local2") + "\\only-here.txt", "mine\n");
  Write(s.Folder("local2") + "\\gone.txt", "soon gone\n");
  REQUIRE(s.Begin("local2"));
  Client& c = s.c;
  REQUIRE(s.Connect());
  REQUIRE(c.Select(kList1, s.Row("upload")));

  // A file that is no longer there when Put is pressed is refused; nothing reaches the server.
  s.SelectLocal("gone.txt");
  DeleteFileA((s.local + "\\gone.txt").c_str());
  c.Press(kPut);
  ExpectBox(c, "", "The local file is not there any more: \n" + Upper(s.local) + "\\gone.txt");
  CHECK(!Exists(s.ServerPath("upload/gone.txt")));

  // "Łódź.txt" beside a real file of the spelling the code page shows it in ("Lódz.txt" under
  // 1252): the two rows look alike, and neither is read.
  wchar_t wide_dir[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, s.local.c_str(), -1, wide_dir, MAX_PATH);
  const std::wstring polish = std::wstring(wide_dir) + L"\\\u0141\u00f3d\u017a.txt";
  char shown[MAX_PATH] = {};
  WideCharToMultiByte(CP_ACP, 0, polish.c_str() + wcslen(wide_dir) + 1, -1, shown, MAX_PATH, nullptr, nullptr);
  wchar_t lookalike[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, (s.local + "\\" + shown).c_str(), -1, lookalike, MAX_PATH);
  if (polish != lookalike && !std::strchr(shown, '?')) {
    for (const std::wstring& path : {polish, std::wstring(lookalike)}) {
      HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      CloseHandle(h);
    }
    // F5 lists "upload" and the local folder again; Put waits for that listing to end.
    Write(s.ServerPath("upload/listed-again.txt"), "marker\n");
    c.Key(VK_F5);
    REQUIRE(WaitUntil([&] { return s.Row("listed-again.txt") > 0 && c.Status(3).empty(); }));
    s.SelectLocal(shown);
    c.Press(kPut);
    ExpectBox(c, "", std::string("More than one local file is shown as: \n") + shown +
                         "\nTheir names differ in letters this code page cannot show. Rename the file to send.");
    CHECK(!Exists(s.ServerPath(std::string("upload/") + shown)));
    DeleteFileW(polish.c_str());
    DeleteFileW(lookalike);
    DeleteFileA(s.ServerPath("upload/listed-again.txt").c_str());
  }

  // The drive list's first drive: tree and file list both show its root, nothing selected.
  s.SelectLocal("only-here.txt");
  const std::string first = c.Row(kListDrives, 0).substr(0, 1);
  PostMessageA(c.Field(kListDrives), WM_KEYDOWN, VK_HOME, 0);
  REQUIRE(WaitUntil([&] { return c.Row(kListDirs, 0) == first + ":\\"; }));
  CHECK(WaitUntil([&] { return c.FindRow(kList4, "only-here.txt") < 0; }));
  int root_files = 0;
  WIN32_FIND_DATAA f;
  HANDLE h = FindFirstFileA((first + ":\\*.*").c_str(), &f);
  for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &f))
    if (!(f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++root_files;
  if (h != INVALID_HANDLE_VALUE) FindClose(h);
  CHECK_EQ(c.RowCount(kList4), root_files);
  c.Press(kPut);
  ExpectBox(c, "", "Please select a local file to put");
  // Previous level at the drive root, and a double-click on its first row: still the root's files.
  c.Press(kPrevDir);
  Sleep(300);
  CHECK_EQ(c.Row(kListDirs, 0), first + ":\\");
  CHECK_EQ(c.RowCount(kList4), root_files);
  REQUIRE(c.DoubleClick(kListDirs, 0));
  Sleep(300);
  CHECK_EQ(c.RowCount(kList4), root_files);
  c.Press(kPut);
  ExpectBox(c, "", "Please select a local file to put");
  CHECK(!Exists(s.ServerPath("upload/only-here.txt")));
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("busy: Connect twice, Get with nothing selected, Delete greyed on the server's row, no stuck state") {
  Use s;
  REQUIRE(s.Begin("busy"));
  Client& c = s.c;
  // A second Connect comes while the first one's listing runs.
  s.ConnectToBigHome();
  c.Press(kConnect);
  ExpectBox(c, "FTP Client", "Cannot process request now");
  REQUIRE(WaitUntil([&] { return c.Enabled(kDisconnect) && c.RowCount(kList1) > 20000 && c.Status(3).empty(); }, 60000));
  CHECK(NoBox(c));  // no second message (the library's "another request")
  c.Press(kDisconnect);
  REQUIRE(WaitUntil([&] { return c.Enabled(kConnect); }));

  // A new connection starts with no row selected.
  REQUIRE(s.Connect());
  c.Press(kGet);
  ExpectBox(c, "", "Please select a remote file to get");

  // Delete on the server's own row is greyed: Enter on it closes the menu and chooses nothing,
  // and the client is not left busy (Get works at once).
  REQUIRE(c.RightClick(kList1, 0));
  CHECK(c.ChooseMenuItem(2));
  CHECK(NoBox(c));
  s.Get("pub.txt");
  CHECK(WaitUntil([&] { return Slurp(s.local + "\\pub.txt") == "not the folder\n" && c.Status(2) == "Finished"; }));
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("listings: Close Internet Session or Disconnect while one runs is final; Escape leaves the folder to list again") {
  Use s;
  REQUIRE(s.Begin("leave"));
  Client& c = s.c;
  // Close while the first listing after the connect runs: no session, no tree, and it stays so.
  s.ConnectToBigHome();
  REQUIRE(WaitUntil([&] { return c.Status(3) == "Retrieving directory tree"; }));
  c.Press(kClose);
  REQUIRE(WaitUntil([&] { return c.Enabled(kStart); }));
  Sleep(4000);
  CheckStates(c, false, false);
  CHECK_EQ(c.RowCount(kList1), 0);
  CHECK(NoBox(c));

  // Disconnect while a folder listing runs: disconnected, no rows, and it stays so.
  s.StartSession();
  REQUIRE(s.Connect());
  const int top = c.RowCount(kList1);
  REQUIRE(c.DoubleClick(kList1, s.Row("big")));
  REQUIRE(WaitUntil([&] { return c.Status(3) == "Retrieving directory tree"; }));
  c.Press(kDisconnect);
  REQUIRE(WaitUntil([&] { return c.Enabled(kConnect); }));
  Sleep(4000);
  CheckStates(c, true, false);
  CHECK_EQ(c.RowCount(kList1), 0);

  // A new connection shows its tree from scratch.
  REQUIRE(s.Connect());
  CHECK_EQ(c.RowCount(kList1), top);
  CHECK_EQ(s.Count(g_vsftpd.Host()), 1);

  // Disconnect while F5 lists "big", and Connect at once: the listing left behind holds nothing
  // up (no "Cannot process request now"), and the new connection's tree is whole and stays so.
  REQUIRE(c.Select(kList1, s.Row("big")));
  c.Key(VK_F5);
  REQUIRE(WaitUntil([&] { return c.Status(3) == "Retrieving directory tree"; }));
  c.Press(kDisconnect);
  c.Press(kConnect);
  CHECK(NoBox(c));
  REQUIRE(WaitUntil([&] { return c.Enabled(kDisconnect) && c.RowCount(kList1) == top && c.Status(3).empty(); }, 30000));
  Sleep(2000);
  CHECK_EQ(c.RowCount(kList1), top);
  CHECK(NoBox(c));
  CheckStates(c, true, true);

  // Escape during a folder listing: "Listing cancelled", the folder empty and not listed, and a
  // double-click lists it in full.
  REQUIRE(c.DoubleClick(kList1, s.Row("big")));
  REQUIRE(WaitUntil([&] { return c.Status(3) == "Retrieving directory tree"; }));
  c.Key(VK_ESCAPE);
  CHECK(s.Says(2, "Listing cancelled"));
  CHECK(WaitUntil([&] { return c.Status(3).empty(); }));
  CHECK_EQ(c.RowCount(kList1), top);
  REQUIRE(c.DoubleClick(kList1, s.Row("big")));
  CHECK(WaitUntil([&] { return c.RowCount(kList1) == top + 20000 && c.Status(3).empty(); }, 60000));
  CheckStates(c, true, true);

  // The window closed while a listing runs (F5 on "big"): the program ends at once and cleanly
  // (the listing's status texts after the loop's end were a fatal "Window is not open").
  REQUIRE(c.Select(kList1, s.Row("big")));
  c.Key(VK_F5);
  REQUIRE(WaitUntil([&] { return c.Status(3) == "Retrieving directory tree"; }));
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("listing failure: a folder the server refuses is reported and can be listed again") {
  Use s;
  REQUIRE(s.Begin("refused", g_proftpd));
  Client& c = s.c;
  REQUIRE(s.Connect());
  const int rows = c.RowCount(kList1);
  for (int attempt = 0; attempt < 2; ++attempt) {
    REQUIRE(c.DoubleClick(kList1, s.Row("locked")));
    const uidriver::MessageBoxInfo box = c.WaitMessageBox(30000);
    CHECK_EQ(box.caption, std::string("VTFTP Client Error"));
    std::printf("  message: %s\n", box.text.c_str());
    CHECK(box.text.find("550") != std::string::npos);
    CHECK(box.has_icon);
    if (attempt == 0) Shot(c, c.Main(), "listing_error", box.hwnd);
    c.Answer(box, "OK");
    CHECK(WaitUntil([&] { return c.Status(3).empty() && c.Enabled(kGet); }));
    CHECK_EQ(c.RowCount(kList1), rows);  // nothing below "locked", no rows of a failed listing
  }
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("download: the bytes move and the bar fills; the question before replacing; Escape cancels") {
  Use s;
  REQUIRE(s.Begin("download"));
  Client& c = s.c;
  REQUIRE(s.Connect());

  // A 3 MiB file at 1 MiB/s: the count rises while it runs, then "Finished" and the file.
  s.Get("three.bin");
  CHECK(WatchBytesMove(c, "Received: ", 3));
  CHECK(WaitUntil([&] { return c.Status(2) == "Finished"; }, 30000));
  CHECK(Slurp(s.local + "\\three.bin") == Slurp(s.ServerPath("three.bin")));
  CHECK_EQ(c.ProgressPos(kPercent), 0);

  // Over an existing local file: asked first; No changes nothing.
  Write(s.local + "\\big60.bin", "precious");
  s.Get("big60.bin");
  {
    const uidriver::MessageBoxInfo box = c.WaitMessageBox();
    CHECK_EQ(box.caption, std::string("FTP Client"));
    CHECK_EQ(box.text, "Do you want to overwrite: \n" + Upper(s.local) + "\\big60.bin file.");
    CHECK(box.has_icon);
    Shot(c, c.Main(), "overwrite_question", box.hwnd);
    CHECK(c.Answer(box, "No"));
  }
  Sleep(500);
  CHECK_EQ(Slurp(s.local + "\\big60.bin"), std::string("precious"));
  CHECK_EQ(c.Status(2), std::string());  // the press ended the last download's "Finished"

  // Yes: the new transfer starts from nothing (no "Finished" of the last one), the count and
  // the bar move; Escape cancels it, and the local file is as it was.
  s.Get("big60.bin");
  ExpectBox(c, "FTP Client", "Do you want to overwrite: \n" + Upper(s.local) + "\\big60.bin file.", "Yes");
  CHECK(WaitUntil([&] { return c.Status(2) != "Finished"; }, 2000));
  CHECK(WatchBytesMove(c, "Received: ", 3));
  CHECK(WaitUntil([&] { return c.ProgressPos(kPercent) >= 5; }, 20000));  // a bar one can see
  Shot(c, c.Main(), "download_running");
  c.Key(VK_ESCAPE);
  CHECK(s.Says(2, "Download cancelled"));
  CHECK(NoBox(c));  // a cancel is no error
  CHECK_EQ(c.ProgressPos(kPercent), 0);
  CHECK_EQ(Slurp(s.local + "\\big60.bin"), std::string("precious"));
  CHECK(NoTemporaryFiles(s.local));

  // The next download counts from 0 again and completes.
  DeleteFileA((s.local + "\\three.bin").c_str());
  s.Get("three.bin");
  CHECK(WaitUntil([&] { return c.Status(2) == "Finished"; }, 30000));
  CHECK(Slurp(s.local + "\\three.bin") == Slurp(s.ServerPath("three.bin")));
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("upload: the question before replacing; Escape and Disconnect cancel and remove the partial file") {
  Use s;
  Write(s.Folder("upload") + "\\twelve.bin", nettest::Bytes(12 << 20, 3));
  Write(s.Folder("upload") + "\\a.txt", "replacement\n");
  REQUIRE(s.Begin("upload"));
  Client& c = s.c;
  REQUIRE(s.Connect());
  REQUIRE(s.Expand("pub"));

  // Over an existing remote file: No keeps it, Yes replaces it.
  REQUIRE(c.Select(kList1, s.Row("pub")));
  s.SelectLocal("a.txt");
  c.Press(kPut);
  ExpectBox(c, "FTP Client", "Do you want to overwrite: \n/pub/a.txt file.", "No");
  Sleep(500);
  CHECK_EQ(Slurp(s.ServerPath("pub/a.txt")), std::string("alpha\n"));
  c.Press(kPut);
  ExpectBox(c, "FTP Client", "Do you want to overwrite: \n/pub/a.txt file.", "Yes");
  CHECK(WaitUntil([&] { return Slurp(s.ServerPath("pub/a.txt")) == "replacement\n"; }));
  CHECK(WaitUntil([&] { return s.Count("a.txt") == 1 && s.Count("b.txt") == 1 && c.Status(3).empty(); }));

  // A 12 MiB upload at 1 MiB/s: "Sent:" rises; Escape cancels, the partial file is removed.
  REQUIRE(c.Select(kList1, s.Row("upload")));
  s.SelectLocal("twelve.bin");
  c.Press(kPut);
  CHECK(WatchBytesMove(c, "Sent: ", 2));
  CHECK(Exists(s.ServerPath("upload/twelve.bin")));
  c.Key(VK_ESCAPE);
  CHECK(s.Says(2, "Upload cancelled, partial file removed"));
  CHECK(NoBox(c));
  CHECK(!Exists(s.ServerPath("upload/twelve.bin")));

  // Disconnect cancels an upload as well; the session stays, and so removes the partial file.
  CHECK(WaitUntil([&] { return c.Status(3).empty(); }));
  REQUIRE(c.Select(kList1, s.Row("upload")));
  s.SelectLocal("twelve.bin");
  c.Press(kPut);
  CHECK(WatchBytesMove(c, "Sent: ", 2));
  c.Press(kDisconnect);
  CHECK(s.Says(2, "Upload cancelled, partial file removed"));
  CHECK(!Exists(s.ServerPath("upload/twelve.bin")));
  CheckStates(c, true, false);
  CHECK_EQ(c.Stop(), 0);
  Write(s.ServerPath("pub/a.txt"), "alpha\n");
}

TEST_CASE("names: '|', '&', braces, '~', ':' and 250 characters in the tree, the menu and a download") {
  Use s;
  LoadServers();
  LoadArguments();
  Client& c = s.c;
  // Before a session the transfer-type radios are disabled with their group; the password
  // entry shows asterisks.
  s.local = LocalScratch("names");
  s.server = &g_vsftpd;
  REQUIRE(c.Start(g_exe, s.local));
  REQUIRE(WaitUntil([&] { return StartedUp(c); }));
  CHECK(!c.Enabled(kBinary));
  CHECK(!c.Enabled(kAscii));
  CHECK((GetWindowLongA(c.Field(kPassword), GWL_STYLE) & ES_PASSWORD) != 0);
  CHECK_EQ(static_cast<int>(SendMessageA(c.Field(kPassword), EM_GETPASSWORDCHAR, 0, 0)), static_cast<int>('*'));
  s.StartSession();
  // The window enables its controls one after the other: Start is disabled before the radios.
  CHECK(WaitUntil([&] { return c.Enabled(kBinary) && c.Enabled(kAscii); }, 3000));
  REQUIRE(s.Connect());
  REQUIRE(s.Expand("names"));
  const std::string long_name = std::string(246, 'n') + ".txt";
  // Characters Windows file names cannot hold arrive in the library's escaped form, so every
  // row is also a usable local name; the rest show as the server wrote them.
  for (const std::string& n : {std::string("a{U+007C}b.txt"), std::string("x & y.txt"), std::string("{curly}.txt"),
                               std::string("~tilde.txt"), std::string("time 10{U+003A}30.txt"),
                               std::string("x{U+005C}..{U+005C}evil.txt"), std::string(" lead.txt"), long_name})
    CHECK_EQ(s.Count(n), 1);

  // The menu keeps its three items whatever the name: item 3 is still "Create Dir".
  for (const std::string& n : {std::string("a{U+007C}b.txt"), std::string("{curly}.txt"), long_name}) {
    REQUIRE(c.RightClick(kList1, s.Row(n)));
    REQUIRE(c.ChooseMenuItem(3));
    HWND dialog = c.FindDialog("Create Directory");
    REQUIRE(dialog != nullptr);
    c.PressOf(dialog, 6);
    CHECK(WaitUntil([&] { return !IsWindow(dialog); }));
  }
  // Delete reaches exactly the file named (after the question).
  REQUIRE(c.RightClick(kList1, s.Row("x & y.txt")));
  REQUIRE(c.ChooseMenuItem(2));
  ExpectBox(c, "FTP Client", "Do you want to delete: \n/names/x & y.txt file.", "No");
  REQUIRE(c.RightClick(kList1, s.Row("a{U+007C}b.txt")));
  REQUIRE(c.ChooseMenuItem(2));
  {
    const uidriver::MessageBoxInfo box = c.WaitMessageBox();
    CHECK(box.text.find("b.txt file.") != std::string::npos);
    CHECK(c.Answer(box, "Yes"));
  }
  ExpectBox(c, "FTP Client", "File was deleted!");
  CHECK(WaitUntil([&] { return !Exists(s.ServerPath("names/a|b.txt")); }));
  CHECK(Exists(s.ServerPath("names/x & y.txt")));
  CHECK(WaitUntil([&] { return s.Count("a{U+007C}b.txt") == 0 && c.Status(3).empty(); }));

  // Downloads arrive under the name the row shows: the escaped form of ":" is a plain local
  // name (no stream of a file "time 10"), and the content is the named file's.
  for (const char* n : {"x & y.txt", "{curly}.txt", "~tilde.txt"}) {
    s.Get(n);
    CHECK(WaitUntil([&] { return Slurp(s.local + "\\" + n) == std::string(n) + "\n" && c.Status(2) == "Finished"; }));
  }
  // A "\\" in a server's name is no path on this side: the row and the download show it
  // escaped, and nothing is written in the folder above. A leading blank stays.
  s.Get("x{U+005C}..{U+005C}evil.txt");
  CHECK(WaitUntil([&] {
    return Slurp(s.local + "\\x{U+005C}..{U+005C}evil.txt") == "x\\..\\evil.txt\n" && c.Status(2) == "Finished";
  }));
  CHECK(!Exists(s.local + "\\evil.txt"));
  s.Get(" lead.txt");
  CHECK(WaitUntil([&] { return Slurp(s.local + "\\ lead.txt") == " lead.txt\n" && c.Status(2) == "Finished"; }));
  CHECK(!Exists(s.local + "\\lead.txt"));
  s.Get("time 10{U+003A}30.txt");
  CHECK(WaitUntil([&] { return Slurp(s.local + "\\time 10{U+003A}30.txt") == "time 10:30.txt\n" && c.Status(2) == "Finished"; }));
  CHECK(!Exists(s.local + "\\time 10"));
  s.Get(long_name);
  {
    const uidriver::MessageBoxInfo box = c.WaitMessageBox();
    CHECK(box.text.rfind("The name or path is too long: \n", 0) == 0);
    c.Answer(box, "OK");
  }
  CHECK_EQ(c.Stop(), 0);
  Write(s.ServerPath("names/a|b.txt"), "a|b.txt\n");
}

TEST_CASE("Enter in a login entry connects; nothing else reacts to it") {
  Use s;
  REQUIRE(s.Begin("enter"));
  Client& c = s.c;
  auto enter_in = [&](int field) {
    PostMessageA(c.Field(field), WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(c.Field(field), WM_KEYUP, VK_RETURN, 0xC0000001);
  };
  c.SetText(kServerName, s.server->Host());
  c.SetText(kUserName, "anonymous");
  c.SetText(kPassword, "e2e@");
  // Enter in the passive check box and the remote tree: no connect.
  enter_in(kPassive);
  enter_in(kList1);
  Sleep(1000);
  CHECK(c.Enabled(kConnect));
  CHECK_EQ(c.RowCount(kList1), 0);
  CHECK(NoBox(c));
  for (int field : {kServerName, kUserName, kPassword}) {
    enter_in(field);
    REQUIRE(WaitUntil([&] { return c.Enabled(kDisconnect) && s.Row("pub.txt") > 0; }));
    // Connected: Connect is greyed, so Enter does nothing more (no "Cannot process" box).
    enter_in(field);
    CHECK(NoBox(c));
    c.Press(kDisconnect);
    REQUIRE(WaitUntil([&] { return c.Enabled(kConnect); }));
  }
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("status texts stay true: failed connect, Disconnect, a cancel before the next connect, Close") {
  Use s;
  REQUIRE(s.Begin("stale"));
  Client& c = s.c;
  const int kFolderLabel = 16;
  // A connect that fails leaves no step of it in zone 1.
  c.SetText(kServerName, "127.0.0.1:" + std::to_string(nettest::UnusedPort()));
  c.Press(kConnect);
  c.Answer(c.WaitMessageBox(30000), "OK");
  CHECK(s.Says(1, "Not connected"));

  // Disconnect: no folder label above the emptied tree, no report of the connection before.
  REQUIRE(s.Connect());
  REQUIRE(s.Expand("pub"));
  REQUIRE(c.Select(kList1, s.Row("a.txt")));
  CHECK(WaitUntil([&] { return c.Text(kFolderLabel) == "/pub"; }));
  s.Get("a.txt");
  REQUIRE(s.Says(2, "Finished"));
  c.Press(kDisconnect);
  REQUIRE(WaitUntil([&] { return c.Enabled(kConnect); }));
  CHECK(WaitUntil([&] { return c.Text(kFolderLabel).empty(); }));
  CHECK_EQ(c.Status(2), std::string());
  CHECK_EQ(c.RowCount(kList1), 0);
  // The download's connection, closed by Disconnect, reports its end afterwards ("Handle
  // closed"): that is no news of the window's state.
  Sleep(1500);
  CHECK_EQ(c.Status(1), std::string("Not connected"));

  // A cancelled download's report goes with the next connect.
  REQUIRE(s.Connect());
  s.Get("big60.bin");
  CHECK(WatchBytesMove(c, "Received: ", 2));
  c.Key(VK_ESCAPE);
  REQUIRE(s.Says(2, "Download cancelled"));
  c.Press(kDisconnect);
  REQUIRE(WaitUntil([&] { return c.Enabled(kConnect); }));
  REQUIRE(s.Connect());
  CHECK_EQ(c.Status(2), std::string());

  // A Get that is refused (a local folder has the name) does not leave the last download's
  // "Finished" beside its message.
  s.Get("pub.txt");
  REQUIRE(s.Says(2, "Finished"));
  CreateDirectoryA((s.local + "\\docs.zip").c_str(), nullptr);
  s.Get("docs.zip");
  c.Answer(c.WaitMessageBox(), "OK");
  CHECK_EQ(c.Status(2), std::string());

  // Close Internet Session: no step and no report of the session that ended.
  c.Press(kClose);
  REQUIRE(WaitUntil([&] { return c.Enabled(kStart); }));
  Sleep(500);
  CHECK_EQ(c.Status(2), std::string());
  CHECK(c.Text(kFolderLabel).empty());
  Shot(c, c.Main(), "after_close_session");
  CHECK_EQ(c.Stop(), 0);
}

namespace {

// The folder of the replacement cases: it sorts after every other row of the vsftpd tree, so
// the rows the other cases click stay where they were.
constexpr const char* kFolder = "write-over";

// Scrolls remote row `row` into view by selecting it, then selects the row above: a click on
// `row` must change the selection, which is how the driver finds where rows are.
bool ScrollTo(Use& s, int row) {
  return row >= 0 && s.c.Select(kList1, row) && (row == 0 || s.c.Select(kList1, row - 1));
}

bool OpenFolder(Use& s) { return ScrollTo(s, s.Row(kFolder)) && s.Expand(kFolder); }

// A box with this text comes; answered with `answer`.
void Expect(Client& c, const std::string& text, const std::string& answer) {
  const uidriver::MessageBoxInfo box = c.WaitMessageBox();
  CHECK_EQ(box.text, text);
  CHECK(c.Answer(box, answer));
}

// Puts the local file `name` into the remote folder kFolder.
void PutIntoOverwrite(Use& s, const std::string& name) {
  if (!s.WaitIdleRow("upload.txt")) {
    for (const std::string& r : s.c.Rows(kList1)) std::printf("  row: %s\n", r.c_str());
    std::printf("  zones: %s | %s | %s\n", s.c.Status(1).c_str(), s.c.Status(2).c_str(), s.c.Status(3).c_str());
    REQUIRE(false);
  }
  REQUIRE(s.c.Select(kList1, s.Row(kFolder)));
  s.SelectLocal(name);
  s.c.Press(kPut);
}

// Renames "write-over/<from>" through the menu's Rename dialog.
void RenameInOverwrite(Use& s, const std::string& from, const std::string& to) {
  Client& c = s.c;
  REQUIRE(WaitUntil([&] { return s.Row(from) >= 0 && c.Status(3).empty(); }));
  REQUIRE(ScrollTo(s, s.Row(from)));
  REQUIRE(c.RightClick(kList1, s.Row(from)));
  REQUIRE(c.ChooseMenuItem(1));
  HWND dialog = c.FindDialog("Rename File");
  REQUIRE(dialog != nullptr);
  TypeIntoDialog(c, dialog, 4, to);
  c.PressOf(dialog, 5);
}

// A text file's content without CRs (an ASCII upload to vsftpd keeps the CR LF line ends).
std::string TextOf(const std::string& path) {
  std::string t = Slurp(path);
  t.erase(std::remove(t.begin(), t.end(), '\r'), t.end());
  return t;
}

void PutOverExisting(const nettest::Server& server, bool ascii) {
  std::printf("  %s\n", server.name.c_str());
  Use s;
  const std::string tag = "put-over-" + server.name;
  Write(s.Folder(tag) + "\\upload.txt", "local copy\n");
  Write(s.Folder(tag) + "\\fresh.txt", "fresh\n");
  Write(s.Folder(tag) + "\\sub", "not a folder\n");
  REQUIRE(s.Begin(tag, server));
  Client& c = s.c;
  REQUIRE(s.Connect());
  REQUIRE(OpenFolder(s));
  if (ascii) SendMessageA(c.Field(kAscii), BM_CLICK, 0, 0);
  const std::string question = "Do you want to overwrite: \n/write-over/upload.txt file.";
  PutIntoOverwrite(s, "upload.txt");
  {
    const uidriver::MessageBoxInfo box = c.WaitMessageBox();
    CHECK_EQ(box.text, question);
    if (server.name == "twisted") Shot(c, c.Main(), "put_overwrite_question", box.hwnd);
    CHECK(c.Answer(box, "No"));
  }
  CHECK(WaitUntil([&] { return c.Status(1).empty(); }, 5000));
  CHECK_EQ(Slurp(s.ServerPath("write-over/upload.txt")), std::string("server copy\n"));
  PutIntoOverwrite(s, "upload.txt");
  Expect(c, question, "Yes");
  CHECK(WaitUntil([&] { return TextOf(s.ServerPath("write-over/upload.txt")) == "local copy\n"; }));
  // A name the folder proves it lacks goes up without a question.
  PutIntoOverwrite(s, "fresh.txt");
  CHECK(WaitUntil([&] { return TextOf(s.ServerPath("write-over/fresh.txt")) == "fresh\n"; }));
  CHECK(NoBox(c));
  // A folder has the name: refused, nothing sent.
  PutIntoOverwrite(s, "sub");
  Expect(c, "Cannot \"PUT\" sub: \na remote folder has that name.", "OK");
  CHECK(GetFileAttributesA(s.ServerPath("write-over/sub").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  CHECK_EQ(c.Stop(), 0);
}

void RenameOntoExisting(const nettest::Server& server) {
  std::printf("  %s\n", server.name.c_str());
  Use s;
  REQUIRE(s.Begin("rename-onto-" + server.name, server));
  Client& c = s.c;
  REQUIRE(s.Connect());
  REQUIRE(OpenFolder(s));
  const std::string question = "Do you want to overwrite: \n/write-over/b.txt file.";
  RenameInOverwrite(s, "a.txt", "b.txt");
  {
    const uidriver::MessageBoxInfo box = c.WaitMessageBox();
    CHECK_EQ(box.text, question);
    if (server.name == "twisted") Shot(c, c.Main(), "rename_overwrite_question", box.hwnd);
    CHECK(c.Answer(box, "No"));
  }
  CHECK(NoBox(c));  // no "File was renamed!"
  CHECK_EQ(Slurp(s.ServerPath("write-over/a.txt")), std::string("alpha\n"));
  CHECK_EQ(Slurp(s.ServerPath("write-over/b.txt")), std::string("beta\n"));
  // Onto a folder's name: refused, both stay.
  RenameInOverwrite(s, "a.txt", "sub");
  Expect(c, "Cannot rename to /write-over/sub: \na folder has that name.", "OK");
  CHECK(Exists(s.ServerPath("write-over/a.txt")));
  CHECK(GetFileAttributesA(s.ServerPath("write-over/sub").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  // Yes: the server renames as asked.
  RenameInOverwrite(s, "a.txt", "b.txt");
  Expect(c, question, "Yes");
  Expect(c, "File was renamed!", "OK");
  CHECK(WaitUntil([&] { return Slurp(s.ServerPath("write-over/b.txt")) == "alpha\n"; }));
  CHECK(!Exists(s.ServerPath("write-over/a.txt")));
  // A new name: no question.
  CHECK(WaitUntil([&] { return s.Row("a.txt") < 0 && c.Status(3).empty(); }));
  RenameInOverwrite(s, "b.txt", "c.txt");
  Expect(c, "File was renamed!", "OK");
  CHECK(WaitUntil([&] { return Slurp(s.ServerPath("write-over/c.txt")) == "alpha\n"; }));
  CHECK_EQ(c.Stop(), 0);
}

void RestoreOverwrite(const nettest::Server& server) {
  const std::string dir = server.root + "\\write-over\\";
  DeleteFileA((dir + "fresh.txt").c_str());
  DeleteFileA((dir + "c.txt").c_str());
  Write(dir + "upload.txt", "server copy\n");
  Write(dir + "a.txt", "alpha\n");
  Write(dir + "b.txt", "beta\n");
}

}  // namespace

TEST_CASE("put: a file the server has is asked about - Twisted (LIST echoes the path), pyftpdlib (MLST), vsftpd in ASCII") {
  LoadServers();
  PutOverExisting(g_twisted, false);
  PutOverExisting(g_pyftpdlib, false);
  PutOverExisting(g_vsftpd, true);
  for (const nettest::Server* sv : {&g_twisted, &g_pyftpdlib, &g_vsftpd}) RestoreOverwrite(*sv);
}

TEST_CASE("rename: onto an existing name asks first, onto a folder's name is refused") {
  LoadServers();
  RenameOntoExisting(g_twisted);
  RenameOntoExisting(g_pyftpdlib);
  RenameOntoExisting(g_vsftpd);
  for (const nettest::Server* sv : {&g_twisted, &g_pyftpdlib, &g_vsftpd}) RestoreOverwrite(*sv);
}

TEST_CASE("get: 'Report.txt' and 'report.txt' are one local file; the second Get asks before replacing the first") {
  Use s;
  REQUIRE(s.Begin("case-only", g_twisted));
  Client& c = s.c;
  REQUIRE(s.Connect());
  REQUIRE(OpenFolder(s));
  s.Get("Report.txt");
  CHECK(WaitUntil([&] { return Slurp(s.local + "\\Report.txt") == "upper\n" && c.Status(2) == "Finished"; }));
  s.Get("report.txt");
  Expect(c, "Do you want to overwrite: \n" + Upper(s.local) + "\\report.txt file.", "No");
  Sleep(500);
  CHECK_EQ(Slurp(s.local + "\\Report.txt"), std::string("upper\n"));
  s.Get("report.txt");
  Expect(c, "Do you want to overwrite: \n" + Upper(s.local) + "\\report.txt file.", "Yes");
  CHECK(WaitUntil([&] { return Slurp(s.local + "\\report.txt") == "lower\n" && c.Status(2) == "Finished"; }));
  // One local file of that name in any letter case, as on Windows.
  int alike = 0;
  WIN32_FIND_DATAA f;
  HANDLE h = FindFirstFileA((s.local + "\\*").c_str(), &f);
  REQUIRE(h != INVALID_HANDLE_VALUE);
  do alike += _stricmp(f.cFileName, "report.txt") == 0;
  while (FindNextFileA(h, &f));
  FindClose(h);
  CHECK_EQ(alike, 1);
  CHECK_EQ(c.Stop(), 0);
}

// --- a server that stops answering -----------------------------------------------------------

namespace {

// The state letter of a process in /proc ('T' stopped), read through Wine's Z: drive.
char ProcessState(int pid) {
  const std::string stat = Slurp("Z:\\proc\\" + std::to_string(pid) + "\\stat");
  const std::size_t paren = stat.rfind(") ");
  return paren == std::string::npos || paren + 2 >= stat.size() ? '?' : stat[paren + 2];
}

// Stops (SIGSTOP) or lets go on (SIGCONT) the fixture's stall server by the pid it recorded.
// Wine starts a Unix program named by its Z: path (no handle comes back); the process's state
// tells when the signal has taken effect.
bool SignalStallServer(bool stop) {
  const int pid = std::atoi(Slurp(uidriver::WindowsPath(std::getenv("AFC_REAL_USE_DIR")) + "\\stall.pid").c_str());
  if (pid <= 0) return false;
  std::string cmd = std::string("Z:\\bin\\kill -") + (stop ? "STOP " : "CONT ") + std::to_string(pid);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  if (pi.hProcess) CloseHandle(pi.hProcess);
  if (pi.hThread) CloseHandle(pi.hThread);
  return WaitUntil([&] { return (ProcessState(pid) == 'T') == stop; }, 10000);
}

// The stall server stopped for one scope; it answers again at the scope's end, whatever happened.
struct StallServerStopped {
  bool ok = SignalStallServer(true);
  ~StallServerStopped() { SignalStallServer(false); }
};

// Zone `zone` says "No data for N s" and counts up: at least two values of N, the first at
// least 10, each larger than the one before.
bool StallCounts(Client& c, int zone) {
  std::vector<int> seen;
  const std::string prefix = "No data for ";
  WaitUntil([&] {
    const std::string z = c.Status(zone);
    if (z.rfind(prefix, 0) == 0 && z.size() > prefix.size() + 2 && z.substr(z.size() - 2) == " s") {
      const int n = std::atoi(z.c_str() + prefix.size());
      if (seen.empty() || n != seen.back()) seen.push_back(n);
    }
    return seen.size() >= 2;
  }, 40000);
  std::printf("  zone %d stall seconds seen:", zone);
  for (int n : seen) std::printf(" %d", n);
  std::printf("\n");
  if (seen.size() < 2 || seen[0] < 10) return false;
  for (std::size_t i = 1; i < seen.size(); ++i)
    if (seen[i] <= seen[i - 1]) return false;
  return true;
}

}  // namespace

TEST_CASE("stall: a download whose server stops shows 'No data for N s' in zone 2; Escape ends it at once") {
  Use s;
  REQUIRE(s.Begin("stall-get", g_stall));
  Client& c = s.c;
  REQUIRE(s.Connect());
  s.Get("slow.bin");
  REQUIRE(WatchBytesMove(c, "Received: ", 2));
  {
    StallServerStopped stopped;
    REQUIRE(stopped.ok);
    CHECK(StallCounts(c, 2));
    Shot(c, c.Main(), "stall_no_data");
    c.Key(VK_ESCAPE);
    CHECK(s.Says(2, "Download cancelled", 5000));
    CHECK(NoBox(c));
    CheckStates(c, true, true);
    CHECK(!Exists(s.local + "\\slow.bin"));
    CHECK(NoTemporaryFiles(s.local));
  }
  // The server answers again: a new connection to it works.
  c.Press(kDisconnect);
  REQUIRE(WaitUntil([&] { return c.Enabled(kConnect); }));
  REQUIRE(s.Connect());
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("stall: a connect to a server that does not greet counts its silence; Escape and Disconnect end it at once") {
  Use s;
  REQUIRE(s.Begin("stall-connect", g_stall));
  Client& c = s.c;
  {
    StallServerStopped stopped;
    REQUIRE(stopped.ok);
    c.SetText(kServerName, g_stall.Host());
    c.SetText(kUserName, "anonymous");
    c.SetText(kPassword, "e2e@");
    c.Press(kConnect);
    REQUIRE(s.Says(1, "Receiving response"));
    CHECK(WaitUntil([&] { return c.Enabled(kDisconnect); }, 3000));  // it can end the connect
    CHECK(StallCounts(c, 1));

    // Escape: as after a failed connect, no box, the window free at once.
    c.Key(VK_ESCAPE);
    CHECK(s.Says(1, "Not connected", 5000));
    CheckStates(c, true, false);
    CHECK(NoBox(c));
    CHECK(c.Status(2).empty());
    Shot(c, c.Main(), "connect_cancelled");

    // Disconnect during a connect: the same, and nothing of the connect given up comes later.
    c.Press(kConnect);
    REQUIRE(s.Says(1, "Receiving response"));
    c.Press(kDisconnect);
    CHECK(s.Says(1, "Not connected", 5000));
    CheckStates(c, true, false);
    CHECK_EQ(c.RowCount(kList1), 0);
    Sleep(1500);
    CHECK_EQ(c.Status(1), std::string("Not connected"));
    CHECK(NoBox(c));

    // A new Connect works at once, while the stopped server still holds the two given up.
    s.server = &g_vsftpd;
    REQUIRE(s.Connect());
    CHECK_EQ(s.Count(g_stall.Host()), 0);
  }
  CHECK_EQ(c.Stop(), 0);
}
