// The real client under Wine, driven through its window by the UI driver, against vsftpd,
// ProFTPD and Pure-FTPd on loopback (started by the e2e_ftpd fixture). Each case starts a fresh
// client in a scratch local directory and checks the window (states, status texts, list rows,
// message boxes), the server's tree and the local files.
//
// Arguments: the client's path, the artifacts folder for screenshots.
#include <windows.h>

#include "e2e/client_steps.h"

namespace {

using namespace e2e;

// USER commands the fixture's server logged (AFC_FTPD_DIR): vsftpd's protocol log, ProFTPD's
// log of its AUTH commands; 0 for a server that keeps no such log.
std::size_t Logins(const std::string& server) {
  const char* dir = std::getenv("AFC_FTPD_DIR");
  const char* file = server == "vsftpd" ? "vsftpd-protocol.log" : server == "proftpd" ? "proftpd-logins.log" : nullptr;
  const std::string log = dir && file ? Slurp(uidriver::WindowsPath(dir) + "\\" + file) : std::string();
  const std::string user = server == "vsftpd" ? "\", \"USER " : "\"USER ";
  std::size_t n = 0;
  for (std::size_t at = log.find(user); at != std::string::npos; at = log.find(user, at + 1)) ++n;
  return n;
}

// The whole user's tour against one server.
// `folder` is the tree row that holds the sample files ("pub" for anonymous logins; empty when
// the account's root is that folder itself).
void Tour(const std::string& name, const std::string& user, const std::string& password, const std::string& folder,
          bool screenshots) {
  Session s;
  REQUIRE(s.Open(name, name));
  const std::string remote = folder.empty() ? "/" : "/" + folder + "/";
  const std::string expand = folder.empty() ? "nested" : folder;
  auto folder_row = [&] { return folder.empty() ? 0 : c_row(s.c, folder); };
  Client& c = s.c;
  CheckStates(c, false, false);
  s.StartSession();
  CheckStates(c, true, false);
  const std::size_t logins = Logins(name);

  // Empty server name.
  c.SetText(kServerName, "");
  c.Press(kConnect);
  ExpectBox(c, "", "Please enter a server name!");

  // Connect: root row and its entries.
  REQUIRE(s.Connect(user, password));
  CheckStates(c, true, true);
  CHECK(c.FindRow(kList1, folder.empty() ? "mib.bin" : "readme.txt") > 0);
  CHECK(c.FindRow(kList1, expand) > 0);
  CHECK_EQ(c.Row(kList1, 0).substr(0, c.Row(kList1, 0).find('\t')), s.server->Host());

  // Expand, collapse, expand again (no second listing).
  REQUIRE(s.Expand(expand));
  const int expanded = c.RowCount(kList1);
  CHECK(c.FindRow(kList1, folder.empty() ? "a" : "mib.bin") > 0);
  CHECK(c.Row(kList1, c.FindRow(kList1, "mib.bin")).find("1,024 KB") != std::string::npos);
  CHECK(c.Row(kList1, c.FindRow(kList1, "one.bin")).find("1 bytes") != std::string::npos);
  CHECK(c.FindRow(kList1, "with space.txt") > 0);
  REQUIRE(c.DoubleClick(kList1, c.FindRow(kList1, expand)));
  CHECK(WaitUntil([&] { return c.RowCount(kList1) < expanded; }));
  REQUIRE(c.DoubleClick(kList1, c.FindRow(kList1, expand)));
  CHECK(WaitUntil([&] { return c.RowCount(kList1) == expanded; }, 3000));
  if (screenshots) {
    Sleep(300);
    Shot(c, c.Main(), "main_connected");
  }

  // Get in binary mode.
  REQUIRE(c.Select(kList1, c.FindRow(kList1, "mib.bin")));
  c.Press(kGet);
  c.Press(kGet);  // while the first runs
  ExpectBox(c, "FTP Client", "Cannot process request now");
  const std::string mib = s.local + "\\mib.bin";
  CHECK(WaitUntil([&] { return c.Status(2) == "Finished" && Exists(mib); }));
  CHECK(Slurp(mib) == Slurp(s.ServerPath("pub/mib.bin")));
  CHECK(WaitUntil([&] { return c.FindRow(kList4, "mib.bin") >= 0; }));

  // Get in ASCII mode: line ends become CR LF. (The local file to put later is written first:
  // the file list is refreshed after the download.)
  const std::string payload = nettest::Bytes(300000, 7);
  Write(s.local + "\\upload.bin", payload);
  c.Press(kAscii);
  REQUIRE(c.Select(kList1, c.FindRow(kList1, "text.txt")));
  c.Press(kGet);
  const std::string text = s.local + "\\text.txt";
  CHECK(WaitUntil([&] { return Exists(text) && Slurp(text).size() == 33; }));
  CHECK_EQ(Slurp(text), std::string("line one\r\nline two\r\n\r\nlast line\r\n"));
  c.Press(kBinary);

  // Get of a directory row, and of the server's root row.
  REQUIRE(c.Select(kList1, c.FindRow(kList1, "empty")));
  c.Press(kGet);
  ExpectBox(c, "", "Cannot \"GET\" Directory.");
  REQUIRE(c.Select(kList1, 0));
  c.Press(kGet);
  ExpectBox(c, "", "Cannot \"GET\" Directory.");
  CheckStates(c, true, true);

  // Put into /pub: the file appears on the server and in the tree.
  c.Press(kClearLocal);
  REQUIRE(c.Select(kList1, folder_row()));
  const int local_row = c.FindRow(kList4, "upload.bin");
  REQUIRE(local_row >= 0);
  REQUIRE(c.Select(kList4, local_row));
  c.Press(kPut);
  CHECK(WaitUntil([&] { return Exists(s.ServerPath("pub/upload.bin")) && s.WaitIdleRow("upload.bin"); }));
  CHECK(WaitUntil([&] { return Slurp(s.ServerPath("pub/upload.bin")) == payload; }));

  // Create a directory under /pub.
  REQUIRE(c.RightClick(kList1, folder_row()));
  REQUIRE(c.ChooseMenuItem(3));
  HWND dialog = c.FindDialog("Create Directory");
  REQUIRE(dialog != nullptr);
  TypeIntoDialog(c, dialog, 4, "made by e2e");
  c.PressOf(dialog, 5);
  ExpectBox(c, "VT FTP Client", "New directory was created!");
  CHECK(WaitUntil([&] { return Exists(s.ServerPath("pub/made by e2e")); }));
  CHECK(s.WaitIdleRow("made by e2e"));

  // Rename the uploaded file.
  REQUIRE(c.RightClick(kList1, c.FindRow(kList1, "upload.bin")));
  REQUIRE(c.ChooseMenuItem(1));
  dialog = c.FindDialog("Rename File");
  REQUIRE(dialog != nullptr);
  TypeIntoDialog(c, dialog, 4, "renamed.bin");
  if (screenshots) {
    Sleep(300);
    Shot(c, dialog, "rename_dialog");
  }
  c.PressOf(dialog, 5);
  ExpectBox(c, "FTP Client", "File was renamed!");
  CHECK(WaitUntil([&] { return Exists(s.ServerPath("pub/renamed.bin")) && !Exists(s.ServerPath("pub/upload.bin")); }));
  CHECK(s.WaitIdleRow("renamed.bin"));

  // Delete it, after the confirmation.
  REQUIRE(c.RightClick(kList1, c.FindRow(kList1, "renamed.bin")));
  REQUIRE(c.ChooseMenuItem(2));
  {
    const uidriver::MessageBoxInfo box = c.WaitMessageBox();
    CHECK_EQ(box.caption, std::string("FTP Client"));
    CHECK_EQ(box.text, "Do you want to delete: \n" + remote + "renamed.bin file.");
    CHECK(box.has_icon);
    if (screenshots) Shot(c, box.hwnd, "confirm_delete");
    CHECK(c.Answer(box, "Yes"));
  }
  ExpectBox(c, "FTP Client", "File was deleted!");
  CHECK(WaitUntil([&] { return !Exists(s.ServerPath("pub/renamed.bin")); }));
  CHECK(WaitUntil([&] { return c.FindRow(kList1, "renamed.bin") < 0 && c.FindRow(kList1, "mib.bin") > 0; }));

  // Remove the new directory; answering No first changes nothing.
  REQUIRE(c.RightClick(kList1, c.FindRow(kList1, "made by e2e")));
  REQUIRE(c.ChooseMenuItem(2));
  ExpectBox(c, "FTP Client", "Do you want to remove: \n" + remote + "made by e2e directory.", "No");
  CHECK(Exists(s.ServerPath("pub/made by e2e")));
  REQUIRE(c.RightClick(kList1, c.FindRow(kList1, "made by e2e")));
  REQUIRE(c.ChooseMenuItem(2));
  ExpectBox(c, "FTP Client", "Do you want to remove: \n" + remote + "made by e2e directory.", "Yes");
  ExpectBox(c, "FTP Client", "Directory was removed!");
  CHECK(WaitUntil([&] { return !Exists(s.ServerPath("pub/made by e2e")); }));
  CHECK(WaitUntil([&] { return c.FindRow(kList1, "made by e2e") < 0 && c.FindRow(kList1, "mib.bin") > 0; }));

  CheckStates(c, true, true);  // the operations leave the connected state as it was
  // Every request of the tour ran on the login Connect made (the library keeps it between
  // requests): vsftpd and ProFTPD logged one USER.
  if (name != "pureftpd") CHECK_EQ(Logins(name) - logins, std::size_t{1});

  // Disconnect keeps the session; Close Internet Session ends it.
  c.Press(kDisconnect);
  CHECK(WaitUntil([&] { return c.Enabled(kConnect); }));
  CheckStates(c, true, false);
  CHECK_EQ(c.RowCount(kList1), 0);
  c.Press(kClose);
  CHECK(WaitUntil([&] { return c.Enabled(kStart); }));
  CheckStates(c, false, false);
  CHECK_EQ(c.Stop(), 0);
}

}  // namespace

TEST_CASE("vsftpd: session, tree, get, put, file operations, disconnect") { Tour("vsftpd", "anonymous", "e2e@", "pub", true); }
TEST_CASE("proftpd: session, tree, get, put, file operations, disconnect") { Tour("proftpd", "anonymous", "e2e@", "pub", false); }
// Pure-FTPd lets anonymous users upload but not rename: the tour logs in as the local account,
// whose root is the sample folder.
TEST_CASE("pureftpd: session, tree, get, put, file operations, disconnect") {
  Tour("pureftpd", "veluser", "velpass", "", false);
}

// vsftpd's local account starts in its folder (the sample tree's pub) without being locked into
// it: "/" on that server is the machine's root. The tree's root row is the login folder, and
// every request must name what that folder holds, whatever request and depth.
TEST_CASE("an account not locked into its folder: the root row, its refresh and every request are that folder's") {
  Session s;
  REQUIRE(s.Open("vsftpd", "login-folder"));
  Client& c = s.c;
  s.StartSession();
  REQUIRE(s.Connect("veluser", "velpass"));
  CHECK(c.FindRow(kList1, "mib.bin") > 0);
  REQUIRE(c.Select(kList1, c.FindRow(kList1, "mib.bin")));
  c.Press(kGet);
  CHECK(WaitUntil([&] { return c.Status(2) == "Finished" && Exists(s.local + "\\mib.bin"); }));
  CHECK(Slurp(s.local + "\\mib.bin") == Slurp(s.ServerPath("pub/mib.bin")));
  // A file two folders down.
  REQUIRE(s.Expand("nested"));
  REQUIRE(s.Expand("a"));
  REQUIRE(s.Expand("b"));
  REQUIRE(c.Select(kList1, c.FindRow(kList1, "deep.txt")));
  c.Press(kGet);
  CHECK(WaitUntil([&] { return c.Status(2) == "Finished" && Exists(s.local + "\\deep.txt"); }));
  CHECK_EQ(Slurp(s.local + "\\deep.txt"), std::string("deep\n"));
  // F5 on the root row lists the login folder again, not the machine's root.
  Write(s.ServerPath("pub/listed-again.txt"), "marker\n");
  REQUIRE(c.Select(kList1, 0));
  c.Key(VK_F5);
  CHECK(WaitUntil([&] { return c.Status(3).empty() && c.FindRow(kList1, "listed-again.txt") > 0; }));
  DeleteFileA(s.ServerPath("pub/listed-again.txt").c_str());
  CHECK(c.FindRow(kList1, "mib.bin") > 0);
  CHECK(c.FindRow(kList1, "etc") < 0);
  CHECK(c.FindRow(kList1, "usr") < 0);
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("errors: wrong password and unknown host end in the session state") {
  Session s;
  REQUIRE(s.Open("vsftpd", "errors"));
  Client& c = s.c;
  s.StartSession();
  c.SetText(kServerName, s.server->Host());
  c.SetText(kUserName, "veluser");
  c.SetText(kPassword, "wrong");
  c.Press(kConnect);
  {
    const uidriver::MessageBoxInfo box = c.WaitMessageBox();
    CHECK_EQ(box.caption, std::string("VTFTP Client Error"));
    // The login as a whole was refused, and the server's reply says how.
    std::printf("  wrong password: %s\n", box.text.c_str());
    CHECK_EQ(box.text.find(Trim(nettest::ErrorText(ERROR_INTERNET_LOGIN_FAILURE))), 0u);
    CHECK(box.text.find("Server: 530 Login incorrect.") != std::string::npos);
    CHECK(box.has_icon);
    c.Answer(box, "OK");
  }
  CHECK(WaitUntil([&] { return c.Enabled(kConnect); }));
  CheckStates(c, true, false);

  c.SetText(kServerName, "127.0.0.1:" + std::to_string(nettest::UnusedPort()));
  c.Press(kConnect);
  {
    const uidriver::MessageBoxInfo box = c.WaitMessageBox(30000);
    CHECK_EQ(box.caption, std::string("VTFTP Client Error"));
    CHECK_EQ(box.text, Trim(nettest::ErrorText(ERROR_INTERNET_CANNOT_CONNECT)));
    c.Answer(box, "OK");
  }
  CheckStates(c, true, false);

  c.SetText(kServerName, "no-such-host.invalid");
  c.Press(kConnect);
  {
    const uidriver::MessageBoxInfo box = c.WaitMessageBox(30000);
    CHECK_EQ(box.caption, std::string("VTFTP Client Error"));
    CHECK_EQ(box.text, Trim(nettest::ErrorText(ERROR_INTERNET_NAME_NOT_RESOLVED)));
    c.Answer(box, "OK");
  }
  CheckStates(c, true, false);

  // After the failures a good connect works.
  REQUIRE(s.Connect());
  CHECK_EQ(c.Stop(), 0);
}

TEST_CASE("local side: down, up, Previous level") {
  Session s;
  REQUIRE(s.Open("", "local"));
  Client& c = s.c;
  CreateDirectoryA((s.local + "\\alpha").c_str(), nullptr);
  CreateDirectoryA((s.local + "\\beta dir").c_str(), nullptr);
  Write(s.local + "\\alpha\\inside.txt", "x");
  // Reopen so the start-up listing sees the new folders.
  c.Stop();
  REQUIRE(c.Start(g_exe, s.local));
  CHECK(WaitUntil([&] { return c.FindRow(kListDirs, "ALPHA") > 0 && c.FindRow(kListDirs, "BETA DIR") > 0; }));
  std::string top = s.local;
  for (char& ch : top) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  CHECK_EQ(c.Row(kListDirs, 0), top);
  REQUIRE(c.DoubleClick(kListDirs, c.FindRow(kListDirs, "ALPHA")));
  CHECK(WaitUntil([&] { return c.Row(kListDirs, 0) == top + "\\ALPHA"; }));
  CHECK(WaitUntil([&] { return c.FindRow(kList4, "inside.txt") >= 0; }));
  c.Press(kPrevDir);
  CHECK(WaitUntil([&] { return c.Row(kListDirs, 0) == top; }));
  CHECK(WaitUntil([&] { return c.FindRow(kList4, "inside.txt") < 0; }));
  // Across drives: the drop-down list's first drive (Home key), then back to the last one.
  const int drives = c.RowCount(kListDrives);
  REQUIRE(drives >= 1);
  const std::string first = c.Row(kListDrives, 0).substr(0, 1), last = c.Row(kListDrives, drives - 1).substr(0, 1);
  PostMessageA(c.Field(kListDrives), WM_KEYDOWN, VK_HOME, 0);
  CHECK(WaitUntil([&] { return c.Row(kListDirs, 0) == first + ":\\"; }));
  CHECK(c.FindRow(kList4, "inside.txt") < 0);  // the file list stays until a folder is chosen
  PostMessageA(c.Field(kListDrives), WM_KEYDOWN, VK_END, 0);
  CHECK(WaitUntil([&] { return c.Row(kListDirs, 0) == last + ":\\"; }));
  // At a drive root Previous level stays where it is.
  c.Press(kPrevDir);
  Sleep(300);
  CHECK(c.Ping() < 1000);
  CHECK_EQ(c.Row(kListDirs, 0), last + ":\\");
  CHECK_EQ(c.Stop(), 0);
}

// A client in the scratch folder `local`, in the session state, with the hostile server
// (tests/e2e/hostile_ftpd.py, started by its fixture) as its server name.
void StartHostileSession(Client& c, const std::string& local) {
  LoadArguments();
  const char* dir = std::getenv("AFC_HOSTILE_DIR");
  REQUIRE(dir != nullptr);
  const std::string port = Trim(Slurp(uidriver::WindowsPath(dir) + "\\port"));
  REQUIRE(!port.empty());
  REQUIRE(c.Start(g_exe, local));
  REQUIRE(WaitUntil([&] { return StartedUp(c); }));
  c.Press(kStart);
  REQUIRE(WaitUntil([&] { return c.Enabled(kConnect); }));
  c.SetText(kServerName, "127.0.0.1:" + port);
}

// A server that lists hostile names, drops a transfer half-way and disconnects mid-listing
// (tests/e2e/hostile_ftpd.py): names that cannot be entries of the folder ("../escape.txt",
// "..") are left out; names legal on a Unix server are shown, those that would name another
// local place only in the library's escaped form ("..\\escape2.txt" as "..{U+005C}escape2.txt");
// each failure ends in a message, an existing local file survives the broken download, and the
// window goes on working.
TEST_CASE("bad input: hostile names, a dropped transfer, a server gone mid-listing") {
  Client c;
  const std::string local = LocalScratch("hostile");
  Write(local + "\\dropme.bin", "keep me");
  StartHostileSession(c, local);
  c.Press(kConnect);
  REQUIRE(WaitUntil([&] { return c.Enabled(kDisconnect) && c.FindRow(kList1, "good file.txt") > 0; }));
  CHECK(c.FindRow(kList1, "dropme.bin") > 0);
  CHECK(c.FindRow(kList1, "/escape") < 0);
  CHECK(c.FindRow(kList1, "escape.txt") < 0);
  CHECK(c.FindRow(kList1, "..{U+005C}escape2.txt") > 0);
  // "C:evil.txt" comes only in the library's escaped form: a plain local name, no drive path.
  CHECK(c.FindRow(kList1, "C:evil") < 0);
  CHECK(c.FindRow(kList1, "C{U+003A}evil.txt") > 0);
  // The server, good file.txt, C{U+003A}evil.txt, ..{U+005C}escape2.txt, dropme.bin, dropdir.
  CHECK_EQ(c.RowCount(kList1), 6);

  // A download the server breaks off, over an existing file (the question answered Yes): a
  // message, and the local file of that name is intact.
  REQUIRE(c.Select(kList1, c.FindRow(kList1, "dropme.bin")));
  c.Press(kGet);
  ExpectBox(c, "FTP Client", "Do you want to overwrite: \n" + Upper(local) + "\\dropme.bin file.", "Yes");
  {
    const uidriver::MessageBoxInfo box = c.WaitMessageBox(30000);
    CHECK_EQ(box.caption, std::string("VTFTP Client Error"));
    CHECK(!box.text.empty());
    c.Answer(box, "OK");
  }
  CHECK_EQ(Slurp(local + "\\dropme.bin"), std::string("keep me"));
  CHECK(!Exists(local + "\\..\\escape.txt"));

  // A listing the server breaks off: a message, the window stays usable, and the folder is left
  // not listed (no rows of a half listing), so a double-click tries again.
  for (int attempt = 0; attempt < 2; ++attempt) {
    REQUIRE(c.DoubleClick(kList1, c.FindRow(kList1, "dropdir")));
    CHECK(c.Ping() < 1000);
    const uidriver::MessageBoxInfo box = c.WaitMessageBox(30000);
    CHECK_EQ(box.caption, std::string("VTFTP Client Error"));
    CHECK(!box.text.empty());
    c.Answer(box, "OK");
    CHECK(WaitUntil([&] { return c.Status(3).empty() && c.Enabled(kGet); }, 30000));
    CHECK(c.FindRow(kList1, "half.txt") < 0);
    CHECK_EQ(c.RowCount(kList1), 6);
  }

  // And a good download still works afterwards.
  REQUIRE(c.Select(kList1, c.FindRow(kList1, "good file.txt")));
  c.Press(kGet);
  CHECK(WaitUntil([&] { return Slurp(local + "\\good file.txt") == "plain content\r\n"; }, 30000));
  CHECK_EQ(c.Stop(), 0);
}

// Reads status zone 2 from the transfer's first count (the zone may still say the last
// transfer's "Finished" before) until it says "Finished"; returns the last count before that
// ("" when none came or "Finished" never did).
std::string LastCountBeforeFinished(Client& c, const std::string& prefix) {
  std::string last;
  if (!WaitUntil([&] { return c.Status(2).rfind(prefix, 0) == 0; }, 30000)) return last;
  const bool finished = WaitUntil([&] {
    const std::string text = c.Status(2);
    if (text.rfind(prefix, 0) == 0) last = text;
    return text == "Finished";
  }, 30000);
  return finished ? last : std::string();
}

// The last count shown before "Finished" is the file's size, of a download and of an upload,
// in binary and in ASCII (whose line ends on the wire differ from the local file's: the
// server's "held ascii.txt" has LF only, the local file CR LF). The server holds each final
// reply for two seconds after the data (user "holdend"), so that count stays on show.
TEST_CASE("progress: the last count of a transfer is the file's size, binary and ASCII") {
  Client c;
  const std::string local = LocalScratch("held end");
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + "\n";
  Write(local + "\\up ascii.txt", text);
  Write(local + "\\up binary.bin", nettest::Bytes(700001, 5));
  StartHostileSession(c, local);
  c.SetText(kUserName, "holdend");
  c.Press(kConnect);
  REQUIRE(WaitUntil([&] { return c.Enabled(kDisconnect) && c.FindRow(kList1, "held ascii.txt") > 0; }));
  for (const bool ascii : {false, true}) {
    c.Press(ascii ? kAscii : kBinary);
    const std::string name = ascii ? "held ascii.txt" : "held binary.bin";
    REQUIRE(c.Select(kList1, c.FindRow(kList1, name)));
    c.Press(kGet);
    const std::string shown = LastCountBeforeFinished(c, "Received: ");
    const std::string file = Slurp(local + "\\" + name);
    CHECK(!file.empty());
    CHECK_EQ(name + ": " + shown, name + ": Received: " + std::to_string(file.size()) + " bytes.");
    CHECK(WaitUntil([&] { return c.Enabled(kGet) && c.FindRow(kList4, name) >= 0; }));
  }
  for (const bool ascii : {false, true}) {
    c.Press(ascii ? kAscii : kBinary);
    const std::string name = ascii ? "up ascii.txt" : "up binary.bin";
    REQUIRE(c.Select(kList1, 0));
    REQUIRE(WaitUntil([&] { return c.FindRow(kList4, name) >= 0; }));
    REQUIRE(c.Select(kList4, c.FindRow(kList4, name)));
    c.Press(kPut);
    const std::string shown = LastCountBeforeFinished(c, "Sent: ");
    const std::string file = Slurp(local + "\\" + name);
    CHECK_EQ(name + ": " + shown, name + ": Sent: " + std::to_string(file.size()) + " bytes.");
    // The tree's refresh after the upload ends by emptying zone 2.
    CHECK(WaitUntil([&] { return c.Status(2).empty() && c.Status(3).empty(); }, 30000));
  }
  CHECK_EQ(c.Stop(), 0);
}

// A server that cannot open the data connection says so ("425 Can't create data socket.", the
// linux ftpd in active mode): its reply follows the library's text in the box.
TEST_CASE("errors: the server's own reply to a failed download is in the box") {
  Client c;
  const std::string local = LocalScratch("nodatasocket");
  StartHostileSession(c, local);
  c.SetText(kUserName, "nodatasocket");
  c.Press(kConnect);
  REQUIRE(WaitUntil([&] { return c.Enabled(kDisconnect) && c.FindRow(kList1, "good file.txt") > 0; }));
  REQUIRE(c.Select(kList1, c.FindRow(kList1, "good file.txt")));
  c.Press(kGet);
  const uidriver::MessageBoxInfo box = c.WaitMessageBox(30000);
  std::printf("  message: %s\n", box.text.c_str());
  CHECK_EQ(box.caption, std::string("VTFTP Client Error"));
  CHECK_EQ(box.text.find(Trim(nettest::ErrorText(ERROR_INTERNET_CANNOT_CONNECT))), 0u);
  CHECK(box.text.find("Server: 425 Can't create data socket.") != std::string::npos);
  CHECK(c.Answer(box, "OK"));
  CHECK(!Exists(local + "\\good file.txt"));
  CHECK(WaitUntil([&] { return c.Enabled(kGet); }));
  CHECK_EQ(c.Stop(), 0);
}

// The server allows the user one login: Connect and its listing share it (the library keeps
// the connect's login for the listing). Disconnect ends it, and the server refuses every later
// login ("421", also on the library's one retry): the refusal is shown and the window stays
// usable.
TEST_CASE("bad input: a server that allows one login per user") {
  Client c;
  StartHostileSession(c, LocalScratch("refused"));
  c.SetText(kUserName, "onlyonce");
  c.Press(kConnect);
  REQUIRE(WaitUntil([&] { return c.Enabled(kDisconnect) && c.FindRow(kList1, "good file.txt") > 0; }));
  c.Press(kDisconnect);
  REQUIRE(WaitUntil([&] { return c.Enabled(kConnect); }));
  c.Press(kConnect);
  const uidriver::MessageBoxInfo box = c.WaitMessageBox(30000);
  CHECK_EQ(box.caption, std::string("VTFTP Client Error"));
  std::printf("  message: %s\n", box.text.c_str());
  CHECK(box.text.find("421") != std::string::npos);
  CHECK(c.Answer(box, "OK"));
  CHECK(WaitUntil([&] { return c.Enabled(kConnect); }));
  CHECK(c.Ping() < 1000);
  CHECK_EQ(c.Stop(), 0);
}
