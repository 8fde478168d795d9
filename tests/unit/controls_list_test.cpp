// The list control on the display, over real queues: tree rows expand and contract by double
// click and by their box with the right events and the negated level stored in the queue,
// refusing EVENT:Expanding keeps a row closed, selection moves the bound variable and
// position 0x7C20, the list-box queries read rows from another thread as a UI driver does,
// the drop list opens with its five rows, and bad input changes nothing it should not.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/controls/list_control.h"
#include "runtime/data/queue.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/popup_menu.h"
#include "runtime/wsl/properties.h"
#include "runtime/wsl/tooltips.h"
#include "key_input.h"
#include "support/check.h"
#include "support/screenshot.h"
#include "wsl_window_support.h"

using namespace vel;
using namespace vel::wsl;

namespace {

constexpr const char* kListModule = "ListTest$lsttest";

// --- queues --------------------------------------------------------------------------------------

// The tree: name, icon, level, size (as the remote tree: data, icon, level, then the size).
struct TreeRecord {
  char name[64];
  std::int32_t icon;
  std::int32_t level;
  std::int32_t size;
};
const FieldDesc kTreeFields[] = {
    {"T:NAME", nullptr, kTypeCString, 0, 64, 0, 1, 0},
    {"T:ICON", nullptr, kTypeLong, 0, 4, 64, 1, 0},
    {"T:LEVEL", nullptr, kTypeLong, 0, 4, 68, 1, 0},
    {"T:SIZE", nullptr, kTypeLong, 0, 4, 72, 1, 0},
};
const RecordLayout kTreeLayout{4, kTreeFields};

struct FileRecord {
  char name[32];
  std::int32_t size;
};
const FieldDesc kFileFields[] = {
    {"F:NAME", nullptr, kTypeCString, 0, 32, 0, 1, 0},
    {"F:SIZE", nullptr, kTypeLong, 0, 4, 32, 1, 0},
};
const RecordLayout kFileLayout{2, kFileFields};

#pragma pack(push, 1)
struct PackedDrive {
  char drive;
  std::int32_t icon;
};
#pragma pack(pop)
const FieldDesc kDriveFields[] = {
    {"D:DRIVE", nullptr, kTypeString, 0, 1, 0, 1, 0},
    {"D:ICON", nullptr, kTypeLong, 0, 4, 1, 1, 0},
};
const RecordLayout kDriveLayout{2, kDriveFields};

template <typename R>
struct TestQueue {
  R buffer{};
  QueueBlock block{&buffer, nullptr, nullptr, sizeof(R)};
  explicit TestQueue(const RecordLayout* layout) { block.layout = layout; }
  ~TestQueue() { QueueDestroy(&block); }
  void Append(const R& r) {
    buffer = r;
    QueueAppend(&block);
  }
  R Row(int n) {
    QueueGetAt(&block, n);
    return buffer;
  }
};

// Rows "Row 1" .. "Row count" (blank-padded) with a number column of i * factor.
struct NumberedRecord {
  char name[20];
  std::int32_t n;
};
const FieldDesc kNumberedFields[] = {{"B:NAME", nullptr, kTypeString, 0, 20, 0, 1, 0},
                                     {"B:N", nullptr, kTypeLong, 0, 4, 20, 1, 0}};
const RecordLayout kNumberedLayout{2, kNumberedFields};

void FillNumbered(TestQueue<NumberedRecord>& q, int count, int factor) {
  for (int i = 1; i <= count; ++i) {
    NumberedRecord b;
    std::memset(b.name, ' ', sizeof b.name);
    const std::string t = "Row " + std::to_string(i);
    std::memcpy(b.name, t.data(), t.size());
    b.n = i * factor;
    q.Append(b);
  }
}

TreeRecord Tree(const char* name, int icon, int level, int size) {
  TreeRecord r{};
  std::strncpy(r.name, name, sizeof r.name - 1);
  r.icon = icon;
  r.level = level;
  r.size = size;
  return r;
}

FileRecord File(const char* name, int size) {
  FileRecord r{};
  std::strncpy(r.name, name, sizeof r.name - 1);
  r.size = size;
  return r;
}

void FillTree(TestQueue<TreeRecord>* q) {
  q->Append(Tree("ftp.example.org", 4, 1, 0));      // 1 root
  q->Append(Tree("pub", 1, 2, 0));                  // 2 open folder
  q->Append(Tree("README.txt", 3, 3, 1234));        // 3
  q->Append(Tree("linux", 2, -3, 0));               // 4 closed, with a hidden child
  q->Append(Tree("kernel.tar.gz", 3, 4, 9876543));  // 5 hidden
  q->Append(Tree("docs", 2, -2, 0));                // 6 closed, never listed
  q->Append(Tree("welcome.msg", 3, 2, 42));         // 7
}

// --- the window ----------------------------------------------------------------------------------

struct Fixture {
  char plain_var[32] = "";
  QueueBlock dummy[3]{};  // the queues the window is opened with are replaced per test
  Window* w = nullptr;
  Fixture() {
    wsltest::Setup();
    void* vars[] = {&dummy[0], plain_var, &dummy[1], &dummy[2], &dummy[2], nullptr};
    WindowOpen(&w, kListModule, "LISTS$WINDOW", vars);
  }
  ~Fixture() {
    if (w) WindowClose(&w);
  }
  ListControl* List(int field) { return dynamic_cast<ListControl*>(w->Field(field)); }
};

constexpr int kTree = 1, kPlain = 2, kDrop = 3, kDirs = 4, kBig = 5;

std::string IconFile(int index) {
  char dir[MAX_PATH];
  GetSystemDirectoryA(dir, sizeof dir);
  return std::string(dir) + "\\shell32.dll[" + std::to_string(index) + "]";
}

void SetIcons(ListControl* l, std::initializer_list<int> indices) {
  int i = 0;
  for (int index : indices) l->SetIndexed(0x7D07, i++, IconFile(index));
}

// Runs the loop until the events caused by what was just posted have been delivered: a
// sentinel event is posted three times in a row behind them. The body may refuse an event by
// ending its iteration early (refuse returns true).
std::vector<int> RunEvents(const std::function<bool(int code)>& refuse = nullptr) {
  std::vector<int> seen;
  int sentinels = 0;
  PostEvent(0x400);
  while (Accept()) {
    const int code = EventCode();
    if (code == 0x400) {
      if (++sentinels == 3) break;
      PostEvent(0x400);
      continue;
    }
    if (code == kEvSelected || code == kEvGainFocus || code == kEvLoseFocus || code == kEvSuspend ||
        code == kEvResume || code == kEvOpenWindow || code == kEvSized)
      continue;
    seen.push_back(code);
    if (refuse && refuse(code)) AcceptCycle();
  }
  return seen;
}

// Client coordinates of the middle of visible row v (0-based) in column 0 at x.
LPARAM RowPoint(ListControl* l, int v, int x) {
  const int y = l->header_height() + (v - l->top_row()) * l->row_height() + l->row_height() / 2;
  return MAKELPARAM(x, y);
}

int BoxX(ListControl* l, int depth) {
  const listfmt::Column& c = l->format().columns[0];
  const int step = (l->row_height()) * 5 / 4;
  return c.left + c.data_indent + (depth - 1) * step + step / 2;
}

struct QueryResult {
  LRESULT count = 0, cursel = 0, len = 0;
  std::wstring text;
};

// The list-box queries from another thread with the wide forms, as a driver in another
// process sends them; this thread keeps pumping so the sent messages are answered.
QueryResult Query(HWND list, int index) {
  QueryResult r;
  bool done = false;
  std::thread t([&] {
    r.count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    r.cursel = SendMessageW(list, LB_GETCURSEL, 0, 0);
    r.len = SendMessageW(list, LB_GETTEXTLEN, index, 0);
    wchar_t buf[512] = L"";
    if (SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(buf)) != LB_ERR) r.text = buf;
    done = true;
  });
  while (!done) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE)) {
    }
    Sleep(1);
  }
  t.join();
  return r;
}

// The same queries from a driver process of its own ("count cursel len|text"; with `mode`
// "lb X Y" or "cb", every list-box or combo-box query, one per line).
std::string QueryFromProcess(HWND list, int index, const std::string& mode = "") {
  char out[MAX_PATH];
  GetTempPathA(sizeof out, out);
  lstrcatA(out, "list_driver_out.txt");
  DeleteFileA(out);
  std::string cmd = "list_driver.exe " + std::to_string(reinterpret_cast<std::uintptr_t>(list)) + " " +
                    (mode.empty() ? std::to_string(index) : mode) + " \"" + out + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return "no driver";
  // Keep answering the messages the driver sends while it runs.
  while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 20000, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  char buf[4096] = "";
  if (FILE* f = std::fopen(out, "rb")) {
    buf[std::fread(buf, 1, sizeof buf - 1, f)] = 0;
    std::fclose(f);
  }
  return buf;
}

std::vector<int> Codes(std::initializer_list<int> codes) { return std::vector<int>(codes); }

std::string Join(const std::vector<int>& v) {
  std::string s;
  for (int c : v) s += (s.empty() ? "" : ",") + std::to_string(c);
  return s;
}

}  // namespace

TEST_CASE("list: columns and queue fields come from the descriptor's format") {
  Fixture f;
  REQUIRE(f.w != nullptr);
  ListControl* tree = f.List(kTree);
  REQUIRE(tree != nullptr);
  CHECK_EQ(wsltest::ClassOf(tree->hwnd()), std::string("VelList"));
  CHECK_EQ(wsltest::ClassOf(f.List(kDrop)->hwnd()), std::string("VelDrop"));
  REQUIRE(tree->format().columns.size() == 2u);
  CHECK_EQ(tree->format().columns[0].TreeField(), 3);
  CHECK_EQ(tree->format().columns[1].field, 4);
  CHECK_EQ(tree->format().columns[0].width, f.w->scale.X(110));
  CHECK_EQ(tree->format().columns[0].data_indent, f.w->scale.X(1));
  // Format reads back through the unit conversion; a pixel window round-trips exactly.
  std::string text;
  CHECK(tree->GetProperty(0x7C85, &text));
  CHECK(text.find("|MIT~Name~@s64@") != std::string::npos);
  CHECK_EQ(f.List(kDrop)->drop_rows(), 5);
}

TEST_CASE("tree: contracted rows hide their children; list-box queries read the rows") {
  Fixture f;
  TestQueue<TreeRecord> q(&kTreeLayout);
  FillTree(&q);
  ListControl* tree = f.List(kTree);
  tree->SetSourceQueue(&q.block);
  wsltest::Pump();
  CHECK_EQ(tree->RowCount(), 6);
  CHECK_EQ(tree->QueueRowOf(3), 4);  // linux
  CHECK_EQ(tree->QueueRowOf(4), 6);  // docs: kernel.tar.gz is hidden
  const QueryResult r = Query(tree->hwnd(), 2);
  CHECK_EQ(r.count, 6);
  CHECK_EQ(r.cursel, LB_ERR);
  CHECK(r.text == L"README.txt\t1,234");
  CHECK_EQ(r.len, static_cast<LRESULT>(std::wstring(L"README.txt\t1,234").size()));
  CHECK(Query(tree->hwnd(), 6).text.empty());  // past the end: LB_ERR
  tree->SetProperty(0x7C8F, "4");
  CHECK_EQ(QueryFromProcess(tree->hwnd(), 4), std::string("6 3 6|docs\t0"));
}

TEST_CASE("tree: double click and expand box toggle with events; refusing keeps the row") {
  Fixture f;
  TestQueue<TreeRecord> q(&kTreeLayout);
  FillTree(&q);
  ListControl* tree = f.List(kTree);
  tree->SetSourceQueue(&q.block);
  CHECK(Accept());  // EVENT:OpenWindow
  wsltest::Pump();

  // Double click on "linux" (visible 3, level -3): Expanding, then Expanded; level 3 stored.
  PostMessageA(tree->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(tree, 3, 100));
  PostMessageA(tree->hwnd(), WM_LBUTTONUP, 0, RowPoint(tree, 3, 100));
  PostMessageA(tree->hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, RowPoint(tree, 3, 100));
  std::vector<int> seen = RunEvents();
  CHECK_EQ(Join(seen), Join(Codes({kEvNewSelection, kEvExpanding, kEvExpanded})));
  CHECK_EQ(q.Row(4).level, 3);
  CHECK_EQ(tree->RowCount(), 7);
  CHECK_EQ(FieldChoice(kTree), 4);
  std::string pos;
  tree->GetProperty(0x7C20, &pos);
  CHECK_EQ(pos, std::string("4"));

  // Double click again, refused: Contracting only, level unchanged.
  PostMessageA(tree->hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, RowPoint(tree, 3, 100));
  seen = RunEvents([](int code) { return code == kEvContracting; });
  CHECK_EQ(Join(seen), Join(Codes({kEvContracting})));
  CHECK_EQ(q.Row(4).level, 3);

  // The expand box of "pub" (level 2, open): Contracting, Contracted; its rows hide.
  PostMessageA(tree->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(tree, 1, BoxX(tree, 2)));
  seen = RunEvents();
  CHECK_EQ(Join(seen), Join(Codes({kEvContracting, kEvContracted})));
  CHECK_EQ(q.Row(2).level, -2);
  CHECK_EQ(tree->RowCount(), 4);
  CHECK_EQ(FieldChoice(kTree), 4);  // a box click does not select

  // The box of "docs" (closed, never listed): refusing EVENT:Expanding keeps it closed.
  PostMessageA(tree->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(tree, 2, BoxX(tree, 2)));
  seen = RunEvents([](int code) { return code == kEvExpanding; });
  CHECK_EQ(Join(seen), Join(Codes({kEvExpanding})));
  CHECK_EQ(q.Row(6).level, -2);

  // Right button: selection, then the alert key 2 with the row in 0x7C20.
  PostMessageA(tree->hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, RowPoint(tree, 3, 60));
  seen = RunEvents();
  CHECK_EQ(Join(seen), Join(Codes({kEvNewSelection, kEvAlertKey})));
  tree->GetProperty(0x7C20, &pos);
  CHECK_EQ(pos, std::string("7"));  // welcome.msg
}

TEST_CASE("tree: a double-click alert key goes to the program instead of toggling") {
  Fixture f;
  TestQueue<TreeRecord> q(&kTreeLayout);
  q.Append(Tree("C:\\WORK", 1, 1, 0));
  q.Append(Tree("ALPHA", 2, 2, 0));
  q.Append(Tree("BETA", 2, 2, 0));
  ListControl* dirs = f.List(kDirs);
  dirs->SetSourceQueue(&q.block);
  CHECK(Accept());
  PostMessageA(dirs->hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, RowPoint(dirs, 2, 120));
  const std::vector<int> seen = RunEvents();
  CHECK_EQ(Join(seen), Join(Codes({kEvAlertKey})));
  CHECK_EQ(q.Row(3).level, 2);
  std::string pos;
  dirs->GetProperty(0x7C20, &pos);
  CHECK_EQ(pos, std::string("3"));
  // Home selects the first row (the client presses it after filling the tree).
  PostMessageA(dirs->hwnd(), WM_KEYDOWN, VK_HOME, 0);
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvNewSelection})));
  CHECK_EQ(FieldChoice(kDirs), 1);
}

TEST_CASE("selection: clicks and keys move the bound variable and post NewSelection") {
  Fixture f;
  TestQueue<FileRecord> q(&kFileLayout);
  const char* names[] = {"alpha.txt", "beta.bin", "gamma.doc", "delta.zip"};
  for (int i = 0; i < 4; ++i) q.Append(File(names[i], (i + 1) * 1000));
  ListControl* plain = f.List(kPlain);
  CHECK(plain->SetProperty(0x7C62, std::to_string(reinterpret_cast<std::uintptr_t>(&q.block))));
  CHECK(Accept());
  PostMessageA(plain->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(plain, 1, 20));
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvNewSelection})));
  CHECK_EQ(std::string(f.plain_var), std::string("beta.bin"));
  CHECK_EQ(std::string(q.buffer.name), std::string("beta.bin"));  // the record buffer too
  PostMessageA(plain->hwnd(), WM_KEYDOWN, VK_END, 0);
  RunEvents();
  CHECK_EQ(std::string(f.plain_var), std::string("delta.zip"));
  CHECK_EQ(FieldChoice(kPlain), 4);
  PostMessageA(plain->hwnd(), WM_KEYDOWN, VK_UP, 0);
  RunEvents();
  CHECK_EQ(std::string(f.plain_var), std::string("gamma.doc"));
  PostMessageA(plain->hwnd(), WM_KEYDOWN, VK_HOME, 0);
  RunEvents();
  CHECK_EQ(FieldChoice(kPlain), 1);
  CHECK_EQ(std::string(f.plain_var), std::string("alpha.txt"));
  // The same key again changes nothing: no event.
  PostMessageA(plain->hwnd(), WM_KEYDOWN, VK_HOME, 0);
  CHECK(RunEvents().empty());
  // LB_SETCURSEL from a driver selects like the user; no valid row clears the variable.
  CHECK_EQ(SendMessageW(plain->hwnd(), LB_SETCURSEL, 2, 0), 2);
  CHECK_EQ(std::string(f.plain_var), std::string("gamma.doc"));
  CHECK(plain->SetProperty(0x7C8F, "0"));
  CHECK_EQ(std::string(f.plain_var), std::string(""));
  // Pictures format the columns: "@n6" right-justified, blanks trimmed for the driver.
  CHECK(Query(plain->hwnd(), 3).text == L"delta.zip\t4,000");
}

TEST_CASE("drop list: opens with five rows and takes the row chosen with the keyboard") {
  Fixture f;
  TestQueue<PackedDrive> q(&kDriveLayout);
  const char letters[] = "ACDEFGHZ";
  for (int i = 0; i < 8; ++i) q.Append(PackedDrive{letters[i], 1 + i % 4});
  ListControl* drop = f.List(kDrop);
  drop->SetSourceQueue(&q.block);
  SetIcons(drop, {-6, -8, -9, -12});
  drop->SetProperty(0x7C8F, "2");
  CHECK(Accept());
  RunEvents();
  PostMessageA(drop->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  std::vector<int> seen = RunEvents();
  CHECK_EQ(Join(seen), Join(Codes({kEvDroppingDown, kEvDroppedDown})));
  REQUIRE(drop->dropped());
  RECT r;
  GetClientRect(drop->drop_window(), &r);
  CHECK_EQ(r.bottom / drop->row_height(), 5);
  CHECK_EQ(r.bottom % drop->row_height(), 0);
  CHECK(IsWindowVisible(drop->drop_window()));
  // Eight drives in five rows: a click on the scroll bar's down arrow scrolls, the list stays.
  {
    HWND popup = drop->drop_window();
    SCROLLBARINFO bar{};
    bar.cbSize = sizeof bar;
    REQUIRE(GetScrollBarInfo(popup, OBJID_VSCROLL, &bar));
    POINT arrow{(bar.rcScrollBar.left + bar.rcScrollBar.right) / 2, bar.rcScrollBar.bottom - bar.dxyLineButton / 2};
    ScreenToClient(popup, &arrow);
    PostMessageA(popup, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(arrow.x, arrow.y));
    PostMessageA(popup, WM_LBUTTONUP, 0, MAKELPARAM(arrow.x, arrow.y));
    RunEvents();
    CHECK(drop->dropped());
    CHECK(GetScrollPos(popup, SB_VERT) >= 1);  // one line, or more if the arrow repeated
  }
  PostMessageA(drop->hwnd(), WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(drop->hwnd(), WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(drop->hwnd(), WM_KEYDOWN, VK_RETURN, 0);
  seen = RunEvents();
  CHECK_EQ(Join(seen), Join(Codes({kEvNewSelection, kEvAccepted})));
  CHECK(!drop->dropped());
  CHECK_EQ(FieldChoice(kDrop), 4);
  // The locator column: a typed letter moves to the next drive starting with it.
  PostMessageA(drop->hwnd(), WM_CHAR, 'z', 0);
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvNewSelection, kEvAccepted, kEvLocate})));
  CHECK_EQ(FieldChoice(kDrop), 8);
  PostMessageA(drop->hwnd(), WM_CHAR, 'D', 0);
  RunEvents();
  CHECK_EQ(FieldChoice(kDrop), 3);
  PostMessageA(drop->hwnd(), WM_CHAR, 'q', 0);  // no drive: nothing moves
  CHECK(RunEvents().empty());
  drop->SetProperty(0x7C8F, "4");
  RunEvents();
  // Closed: Down moves the choice and accepts it at once.
  PostMessageA(drop->hwnd(), WM_KEYDOWN, VK_DOWN, 0);
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvNewSelection, kEvAccepted})));
  CHECK_EQ(FieldChoice(kDrop), 5);
}

TEST_CASE("scrolling: a list over 100,000 rows pages, ends and answers queries") {
  Fixture f;
  TestQueue<NumberedRecord> q(&kNumberedLayout);
  FillNumbered(q, 100000, 1);
  ListControl* big = f.List(kBig);
  big->SetSourceQueue(&q.block);
  CHECK(Accept());
  PostMessageA(big->hwnd(), WM_KEYDOWN, VK_END, 0);
  RunEvents();
  CHECK_EQ(FieldChoice(kBig), 100000);
  CHECK_EQ(big->top_row(), 100000 - big->page_rows());
  CHECK(Query(big->hwnd(), 99999).text == L"Row 100000\t100,000");
  PostMessageA(big->hwnd(), WM_KEYDOWN, VK_PRIOR, 0);
  RunEvents();
  CHECK_EQ(FieldChoice(kBig), 100000 - big->page_rows());
  PostMessageA(big->hwnd(), WM_VSCROLL, SB_TOP, 0);
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvScrollTop})));
  CHECK_EQ(big->top_row(), 0);
}

TEST_CASE("bad input: invalid formats keep the columns; odd icons, levels and queues are safe") {
  Fixture f;
  TestQueue<TreeRecord> q(&kTreeLayout);
  FillTree(&q);
  q.Append(Tree("huge level", 999, INT_MAX, -1));
  q.Append(Tree("tiny level", -7, INT_MIN + 1, 5));
  q.Append(Tree("zero level", 0, 0, 5));
  ListControl* tree = f.List(kTree);
  tree->SetSourceQueue(&q.block);
  SetIcons(tree, {-5, -4, -2, -16});
  tree->SetIndexed(0x7D07, -1, "x");        // outside the icon list: ignored
  tree->SetIndexed(0x7D07, 1 << 20, "x");
  const std::string before = [&] {
    std::string s;
    tree->GetProperty(0x7C85, &s);
    return s;
  }();
  CHECK(tree->SetProperty(0x7C85, "10LZ(1)Z(2)"));
  CHECK(tree->SetProperty(0x7C85, std::string("\x01\xFF[]", 4)));
  std::string after;
  tree->GetProperty(0x7C85, &after);
  CHECK_EQ(after, before);
  UpdateWindow(tree->hwnd());
  wsltest::Pump();
  // The queue emptied under the list: no rows, queries fail cleanly, painting is safe.
  QueueFree(&q.block);
  UpdateWindow(tree->hwnd());
  CHECK_EQ(SendMessageW(tree->hwnd(), LB_GETCOUNT, 0, 0), 0);
  CHECK_EQ(SendMessageW(tree->hwnd(), LB_GETTEXTLEN, 0, 0), LB_ERR);
  wchar_t buf[8];
  CHECK_EQ(SendMessageW(tree->hwnd(), LB_GETTEXT, 0, reinterpret_cast<LPARAM>(buf)), LB_ERR);
  // A list whose queue block was never set up (no layout) shows nothing.
  QueueBlock blank{};
  tree->SetSourceQueue(&blank);
  UpdateWindow(tree->hwnd());
  CHECK_EQ(tree->RowCount(), 0);
  tree->SetSourceQueue(nullptr);
  UpdateWindow(tree->hwnd());
  CHECK_EQ(tree->RowCount(), 0);
}

TEST_CASE("screenshot: every list of the window filled, the tree focused") {
  Fixture f;
  TestQueue<TreeRecord> q(&kTreeLayout);
  FillTree(&q);
  ListControl* tree = f.List(kTree);
  tree->SetSourceQueue(&q.block);
  SetIcons(tree, {-5, -4, -2, -16});
  TestQueue<FileRecord> files(&kFileLayout);
  files.Append(File("index.html", 5120));
  files.Append(File("notes.txt", 733));
  files.Append(File("setup.exe", 48213));
  f.List(kPlain)->SetSourceQueue(&files.block);
  f.List(kPlain)->SetProperty(0x7C8F, "2");
  TestQueue<TreeRecord> dirs(&kTreeLayout);
  dirs.Append(Tree("C:\\PROJECTS", 1, 1, 0));
  dirs.Append(Tree("CLIENT", 2, 2, 0));
  dirs.Append(Tree("RUNTIME", 2, 2, 0));
  dirs.Append(Tree("TESTS", 2, 2, 0));
  f.List(kDirs)->SetSourceQueue(&dirs.block);
  SetIcons(f.List(kDirs), {-5, -4});
  TestQueue<PackedDrive> drives(&kDriveLayout);
  drives.Append(PackedDrive{'A', 1});
  drives.Append(PackedDrive{'C', 2});
  drives.Append(PackedDrive{'D', 4});
  f.List(kDrop)->SetSourceQueue(&drives.block);
  SetIcons(f.List(kDrop), {-6, -8, -9, -12});
  f.List(kDrop)->SetProperty(0x7C8F, "2");
  TestQueue<NumberedRecord> big(&kNumberedLayout);
  FillNumbered(big, 50, 1111);
  f.List(kBig)->SetSourceQueue(&big.block);
  SetFocus(tree->hwnd());
  tree->SetProperty(0x7C8F, "2");
  wsltest::Pump(10);
  CHECK(shot::SaveWindow(f.w->hwnd, "list_tree"));
}

// --- the keyboard: real keystrokes through the loop's translation ----------------------------

namespace {

using keytest::Tap;

// The codes the keystrokes caused (EVENT:Selected of the focus aside).
std::vector<int> KeyCodes() {
  std::vector<int> codes;
  for (const keytest::Seen& s : keytest::RunQuiet())
    if (s.code != kEvSelected && s.code != 0x400) codes.push_back(s.code);
  return codes;
}

std::vector<int> Press(WORD vk, WORD modifier = 0) {
  Tap(vk, modifier);
  return KeyCodes();
}

std::string Stored(ListControl* l) {
  std::string pos;
  l->GetProperty(0x7C20, &pos);
  return pos;
}

void FocusOn(Fixture& f, ListControl* l, int row) {
  SetForegroundWindow(f.w->hwnd);
  SetFocus(l->hwnd());
  if (row) l->SetProperty(0x7C8F, std::to_string(row));
  KeyCodes();
}

// Tree rows of a program-owned tree: the local directory tree's shape, with a closed folder.
void FillDirs(TestQueue<TreeRecord>* q) {
  q->Append(Tree("C:\\WORK", 1, 1, 0));  // 1
  q->Append(Tree("ALPHA", 2, 2, 0));     // 2 a leaf (never listed)
  q->Append(Tree("BETA", 2, -2, 0));     // 3 closed, one hidden child
  q->Append(Tree("INNER", 2, 3, 0));     // 4 hidden
  q->Append(Tree("GAMMA", 2, 2, 0));     // 5
}

}  // namespace

TEST_CASE("keys: a tree's Right and Left move, open and close it through EVENT:Expanding") {
  Fixture f;
  TestQueue<TreeRecord> q(&kTreeLayout);
  FillTree(&q);
  ListControl* tree = f.List(kTree);
  tree->SetSourceQueue(&q.block);
  CHECK(Accept());
  FocusOn(f, tree, 1);
  CHECK_EQ(Join(Press(VK_RIGHT)), Join(Codes({kEvNewSelection})));  // root open: to its first child
  CHECK_EQ(FieldChoice(kTree), 2);
  Press(VK_RIGHT);
  CHECK_EQ(FieldChoice(kTree), 3);
  CHECK(Press(VK_RIGHT).empty());  // a leaf of a list that toggles itself: nothing
  CHECK_EQ(Join(Press(VK_LEFT)), Join(Codes({kEvNewSelection})));  // to the parent
  CHECK_EQ(FieldChoice(kTree), 2);
  CHECK_EQ(Join(Press(VK_LEFT)), Join(Codes({kEvContracting, kEvContracted})));
  CHECK_EQ(q.Row(2).level, -2);
  CHECK_EQ(Join(Press(VK_RIGHT)), Join(Codes({kEvExpanding, kEvExpanded})));
  CHECK_EQ(q.Row(2).level, 2);
  // Numpad + and - on "linux" (closed, with a hidden child): open, nothing more, close.
  tree->SetProperty(0x7C8F, "4");
  KeyCodes();
  CHECK_EQ(Join(Press(VK_ADD)), Join(Codes({kEvExpanding, kEvExpanded})));
  CHECK_EQ(q.Row(4).level, 3);
  CHECK(Press(VK_ADD).empty());
  CHECK_EQ(Join(Press(VK_SUBTRACT)), Join(Codes({kEvContracting, kEvContracted})));
  CHECK_EQ(q.Row(4).level, -3);
  CHECK(Press(VK_SUBTRACT).empty());
  // The root has no parent: Left closes it, then does nothing.
  tree->SetProperty(0x7C8F, "1");
  KeyCodes();
  CHECK_EQ(Join(Press(VK_LEFT)), Join(Codes({kEvContracting, kEvContracted})));
  CHECK(Press(VK_LEFT).empty());
  CHECK_EQ(tree->RowCount(), 1);
  CHECK(GetFocus() == tree->hwnd());
}

TEST_CASE("keys: in a tree whose double click is the program's, keys raise it and never toggle") {
  Fixture f;
  TestQueue<TreeRecord> q(&kTreeLayout);
  FillDirs(&q);
  ListControl* dirs = f.List(kDirs);
  dirs->SetSourceQueue(&q.block);
  CHECK(Accept());
  FocusOn(f, dirs, 2);
  // Right on a leaf (a folder the program has not listed): the program's double click.
  Tap(VK_RIGHT);
  std::vector<keytest::Seen> seen = keytest::RunQuiet();
  CHECK(keytest::Contains(seen, kEvAlertKey, kDirs));
  CHECK_EQ(keytest::Find(seen, kEvAlertKey, kDirs).key, 5);
  CHECK_EQ(Stored(dirs), std::string("2"));
  CHECK_EQ(q.Row(2).level, 2);
  // Enter: the same, on the selected row.
  CHECK_EQ(Join(Press(VK_RETURN)), Join(Codes({kEvAlertKey})));
  // Left on a leaf goes to the parent; on the open parent it asks the program to close it.
  CHECK_EQ(Join(Press(VK_LEFT)), Join(Codes({kEvNewSelection})));
  CHECK_EQ(FieldChoice(kDirs), 1);
  CHECK_EQ(Join(Press(VK_LEFT)), Join(Codes({kEvAlertKey})));
  CHECK_EQ(Stored(dirs), std::string("1"));
  CHECK(Press(VK_ADD).empty());  // open already
  // Right on a closed row: the program opens it; the level is the program's to change.
  dirs->SetProperty(0x7C8F, "3");
  KeyCodes();
  CHECK_EQ(Join(Press(VK_RIGHT)), Join(Codes({kEvAlertKey})));
  CHECK_EQ(Stored(dirs), std::string("3"));
  CHECK_EQ(q.Row(3).level, -2);
  // The expand box of the root, clicked: the program's double click too, not a toggle.
  PostMessageA(dirs->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(dirs, 0, BoxX(dirs, 1)));
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvAlertKey})));
  CHECK_EQ(q.Row(1).level, 1);
  CHECK_EQ(Stored(dirs), std::string("1"));
}

TEST_CASE("keys: the context-menu key and Shift+F10 are the right button at the selected row") {
  Fixture f;
  TestQueue<TreeRecord> q(&kTreeLayout);
  FillTree(&q);
  ListControl* tree = f.List(kTree);
  tree->SetSourceQueue(&q.block);
  CHECK(Accept());
  FocusOn(f, tree, 3);
  Tap(VK_APPS);
  std::vector<keytest::Seen> seen = keytest::RunQuiet();
  REQUIRE(keytest::Contains(seen, kEvAlertKey, kTree));
  CHECK_EQ(keytest::Find(seen, kEvAlertKey, kTree).key, 2);
  CHECK_EQ(Stored(tree), std::string("3"));
  // The program's menu at the mouse position opens below the selected row.
  RECT row;
  REQUIRE(SendMessageA(tree->hwnd(), LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row)) != LB_ERR);
  MapWindowPoints(tree->hwnd(), nullptr, reinterpret_cast<POINT*>(&row), 2);
  RECT menu{};
  const DWORD menu_thread = GetCurrentThreadId();
  std::thread driver([&] {
    HWND m = nullptr;
    for (int i = 0; i < 500 && !(m && IsWindowVisible(m)); ++i, Sleep(10)) m = FindWindowA("#32768", nullptr);
    if (!m) return;
    GetWindowRect(m, &menu);
    // Escape once the menu's loop reads keys (a key posted earlier is lost), until it closes.
    for (int i = 0; i < 100 && IsWindowVisible(m); ++i) {
      Sleep(100);
      GUITHREADINFO info{};
      info.cbSize = sizeof info;
      GetGUIThreadInfo(menu_thread, &info);
      if (!(info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE))) continue;
      HWND target = info.hwndMenuOwner ? info.hwndMenuOwner : info.hwndFocus;
      PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 1);
      PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    }
  });
  CHECK_EQ(Popup("Rename|Delete", kMousePosition, kMousePosition), 0);
  driver.join();
  CHECK_EQ(menu.top, row.bottom);
  CHECK(menu.left > row.left && menu.left < row.right);
  tree->SetProperty(0x7C8F, "6");
  KeyCodes();
  Tap(VK_F10, VK_SHIFT);
  seen = keytest::RunQuiet();
  CHECK(keytest::Contains(seen, kEvAlertKey, kTree));
  CHECK_EQ(Stored(tree), std::string("6"));
  // A list without the right-button alert key does nothing for it.
  ListControl* dirs = f.List(kDirs);
  FocusOn(f, dirs, 0);
  CHECK(Press(VK_APPS).empty());
}

TEST_CASE("keys: type-ahead in a list, a tree and the closed and open drop list") {
  Fixture f;
  TestQueue<FileRecord> files(&kFileLayout);
  for (const char* n : {"alpha.txt", "beta.bin", "gamma.doc", "delta.zip", "Gemini.txt"}) files.Append(File(n, 1));
  ListControl* plain = f.List(kPlain);
  plain->SetSourceQueue(&files.block);
  TestQueue<PackedDrive> drives(&kDriveLayout);
  for (char d : std::string("ACDEZ")) drives.Append(PackedDrive{d, 2});
  ListControl* drop = f.List(kDrop);
  drop->SetSourceQueue(&drives.block);
  drop->SetProperty(0x7C8F, "2");
  CHECK(Accept());
  FocusOn(f, plain, 1);
  keytest::Type("g");
  CHECK_EQ(Join(KeyCodes()), Join(Codes({kEvNewSelection})));
  CHECK_EQ(FieldChoice(kPlain), 3);
  keytest::Type("g");  // the same letter again: the next row starting with it, case aside
  KeyCodes();
  CHECK_EQ(FieldChoice(kPlain), 5);
  Sleep(1100);
  keytest::Type("de");  // typed together: a longer prefix
  KeyCodes();
  CHECK_EQ(FieldChoice(kPlain), 4);
  Sleep(1100);
  keytest::Type("q");  // no row: nothing moves
  CHECK(KeyCodes().empty());
  CHECK_EQ(FieldChoice(kPlain), 4);
  // Letters beyond ASCII, in the ANSI code page, without regard to case (where it has them).
  char e_acute[4] = "";
  BOOL lossy = FALSE;
  if (WideCharToMultiByte(CP_ACP, 0, L"\u00e9", 1, e_acute, sizeof e_acute, nullptr, &lossy) == 1 && !lossy) {
    files.Append(File((std::string(e_acute) + "clair.txt").c_str(), 1));
    KeyCodes();
    Sleep(1100);
    INPUT in[2]{};
    for (int i = 0; i < 2; ++i) {
      in[i].type = INPUT_KEYBOARD;
      in[i].ki.wScan = 0x00C9;  // capital E with acute
      in[i].ki.dwFlags = KEYEVENTF_UNICODE | (i ? KEYEVENTF_KEYUP : 0);
    }
    SendInput(2, in, sizeof(INPUT));
    KeyCodes();
    CHECK_EQ(FieldChoice(kPlain), 6);
  }
  // The closed drop list (its column is a locator): the choice moves and is accepted.
  Sleep(1100);
  FocusOn(f, drop, 0);
  keytest::Type("e");
  CHECK_EQ(Join(KeyCodes()), Join(Codes({kEvNewSelection, kEvAccepted, kEvLocate})));
  CHECK_EQ(FieldChoice(kDrop), 4);
  // Open: the highlight moves; Enter takes it.
  Tap(VK_DOWN, VK_MENU);
  KeyCodes();
  REQUIRE(drop->dropped());
  Sleep(1100);
  keytest::Type("z");
  CHECK(KeyCodes().empty());
  CHECK_EQ(FieldChoice(kDrop), 4);
  CHECK_EQ(Join(Press(VK_RETURN)), Join(Codes({kEvNewSelection, kEvAccepted})));
  CHECK_EQ(FieldChoice(kDrop), 5);
  CHECK(!drop->dropped());
}

TEST_CASE("keys: on an empty list and at the first and last rows nothing happens and the focus stays") {
  Fixture f;
  TestQueue<TreeRecord> empty(&kTreeLayout);
  ListControl* tree = f.List(kTree);
  tree->SetSourceQueue(&empty.block);
  CHECK(Accept());
  FocusOn(f, tree, 0);
  for (WORD vk : {VK_RIGHT, VK_LEFT, VK_ADD, VK_SUBTRACT, VK_RETURN, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_PRIOR,
                  VK_NEXT})
    CHECK(Press(vk).empty());
  // The menu key still asks (as a right click on the empty list does), with no row.
  CHECK_EQ(Join(Press(VK_APPS)), Join(Codes({kEvAlertKey})));
  CHECK_EQ(Stored(tree), std::string("0"));
  keytest::Type("x");
  CHECK(KeyCodes().empty());
  CHECK(GetFocus() == tree->hwnd());
  CHECK_EQ(FieldChoice(kTree), 0);
  TestQueue<FileRecord> files(&kFileLayout);
  files.Append(File("one", 1));
  files.Append(File("two", 2));
  ListControl* plain = f.List(kPlain);
  plain->SetSourceQueue(&files.block);
  FocusOn(f, plain, 2);
  CHECK(Press(VK_DOWN).empty());
  CHECK(Press(VK_END).empty());
  CHECK(Press(VK_NEXT).empty());
  plain->SetProperty(0x7C8F, "1");
  KeyCodes();
  CHECK(Press(VK_UP).empty());
  CHECK(Press(VK_HOME).empty());
  CHECK(GetFocus() == plain->hwnd());
}

// The dotted top edge of a row as the screen shows it: one pixel in two along the row's top.
std::vector<COLORREF> TopEdge(HWND list, int row) {
  RECT r{};
  SendMessageA(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
  RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  wsltest::Pump(5);
  std::vector<COLORREF> px;
  HDC dc = GetDC(list);
  for (int x = r.left; x < std::min<LONG>(r.right, r.left + 40); ++x) px.push_back(GetPixel(dc, x, r.top));
  ReleaseDC(list, dc);
  return px;
}

TEST_CASE("focus cue: a focused list with no row chosen frames its first row; without the focus nothing") {
  Fixture f;
  TestQueue<FileRecord> files(&kFileLayout);
  files.Append(File("one", 1));
  files.Append(File("two", 2));
  ListControl* plain = f.List(kPlain);
  plain->SetSourceQueue(&files.block);
  SetForegroundWindow(f.w->hwnd);
  SetFocus(f.List(kTree)->hwnd());
  REQUIRE(SendMessageA(plain->hwnd(), LB_GETCURSEL, 0, 0) == LB_ERR);
  const std::vector<COLORREF> without = TopEdge(plain->hwnd(), 0);
  SetFocus(plain->hwnd());
  const std::vector<COLORREF> with = TopEdge(plain->hwnd(), 0);
  CHECK(without != with);
  // The second row is not framed; the frame leaves with the focus.
  SetFocus(f.List(kTree)->hwnd());
  const std::vector<COLORREF> second = TopEdge(plain->hwnd(), 1);
  SetFocus(plain->hwnd());
  CHECK(TopEdge(plain->hwnd(), 1) == second);
  SetFocus(f.List(kTree)->hwnd());
  CHECK(TopEdge(plain->hwnd(), 0) == without);
}

TEST_CASE("tips: a name its column cuts short is shown whole under the pointer; a whole one has none") {
  Fixture f;
  const char* kLong = "{U+0141}{U+00F3}d{U+017A} with a name too long to fit.txt";
  TestQueue<TreeRecord> q(&kTreeLayout);
  q.Append(Tree("ftp.example.org", 4, 1, 0));
  q.Append(Tree(kLong, 3, 2, 10));
  q.Append(Tree("a.txt", 3, 2, 1));
  ListControl* tree = f.List(kTree);
  tree->SetSourceQueue(&q.block);
  SetIcons(tree, {-5, -4, -2, -16});
  SetForegroundWindow(f.w->hwnd);
  wsltest::Pump(5);
  auto mid_of = [&](int row) {
    RECT r{};
    SendMessageA(tree->hwnd(), LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
    return POINT{r.left + 60, (r.top + r.bottom) / 2};
  };
  CHECK_EQ(tree->TipAt(mid_of(1)), std::string(kLong));
  CHECK_EQ(tree->TipAt(mid_of(2)), std::string());
  CHECK_EQ(tree->TipAt(POINT{5, 5}), std::string());  // the header
  // The user's way: the pointer rests on the row and the window's tooltip shows the name.
  HWND tip = TooltipOf(f.w->hwnd);
  REQUIRE(tip != nullptr);
  POINT before;
  GetCursorPos(&before);
  POINT p = mid_of(1);
  ClientToScreen(tree->hwnd(), &p);
  SetCursorPos(p.x - 1, p.y);
  keytest::RunQuiet(nullptr, 100);
  SetCursorPos(p.x, p.y);
  keytest::RunQuiet([&] { return IsWindowVisible(tip) != FALSE; }, 5000);
  CHECK(IsWindowVisible(tip));
  CHECK_EQ(wsltest::TextOf(tip), std::string(kLong));
  SendMessageA(tip, TTM_POP, 0, 0);
  SetCursorPos(before.x, before.y);
}

TEST_CASE("queries: every list-box query from a driver process, the choice with the user's events") {
  Fixture f;
  TestQueue<NumberedRecord> q(&kNumberedLayout);
  FillNumbered(q, 50, 1);
  ListControl* big = f.List(kBig);
  big->SetSourceQueue(&q.block);
  big->SetProperty(0x7C8F, "2");
  CHECK(Accept());
  RunEvents();
  const int rh = big->row_height(), top = big->header_height();
  RECT client;
  GetClientRect(big->hwnd(), &client);
  const LPARAM at = RowPoint(big, 2, 20);
  const std::string got = QueryFromProcess(big->hwnd(), 0, "lb 20 " + std::to_string(HIWORD(at)));
  const std::string want = "count 50 cursel 1 caret 1 selcount -1\n"
                           "sel 0 1 0 bad -1\n"
                           "rect1 1 0 " + std::to_string(top + rh) + " " + std::to_string(client.right) + " " +
                           std::to_string(top + 2 * rh) + "\n"
                           "rect99 -1\n"
                           "hit 2 0 below 49 1\n"
                           "top 0 height " + std::to_string(rh) + "\n"
                           "find 2 exact 1 none -1\n"
                           "text2 7:Row 3\t3\n"
                           "setcursel 3 cursel 3\n"
                           "settop 0 top 1 bad -1\n"
                           "clear -1 cursel -1\n";
  CHECK_EQ(got, want);
  // LB_SETCURSEL and the clearing selected as a user does: two new selections, nothing left.
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvNewSelection, kEvNewSelection})));
  CHECK_EQ(FieldChoice(kBig), 0);
}

TEST_CASE("queries: the drop list answers the combo-box queries; CB_SETCURSEL chooses") {
  Fixture f;
  TestQueue<PackedDrive> q(&kDriveLayout);
  for (char d : std::string("ACDE")) q.Append(PackedDrive{d, 2});
  ListControl* drop = f.List(kDrop);
  drop->SetSourceQueue(&q.block);
  drop->SetProperty(0x7C8F, "2");
  CHECK(Accept());
  RunEvents();
  CHECK_EQ(QueryFromProcess(drop->hwnd(), 0, "cb"), std::string("count 4 cursel 1 dropped 0\n"
                                                                 "text0 1:A text9 -1\n"
                                                                 "find 2\n"
                                                                 "setcursel 2 cursel 2 bad -1\n"
                                                                 "shown 1\n"
                                                                 "hidden 0\n"));
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvNewSelection, kEvAccepted, kEvDroppingDown, kEvDroppedDown})));
  CHECK_EQ(FieldChoice(kDrop), 3);
  // A plain list is no combo box.
  CHECK_EQ(SendMessageW(f.List(kPlain)->hwnd(), CB_GETCOUNT, 0, 0), CB_ERR);
}

TEST_CASE("tree: a click where a row shows no expand box selects the row; nothing toggles") {
  Fixture f;
  TestQueue<TreeRecord> q(&kTreeLayout);
  FillTree(&q);
  ListControl* tree = f.List(kTree);
  tree->SetSourceQueue(&q.block);
  CHECK(Accept());
  // README.txt (visible 2, level 3) has nothing below it: no box where a box would be.
  PostMessageA(tree->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(tree, 2, BoxX(tree, 3)));
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvNewSelection})));
  CHECK_EQ(FieldChoice(kTree), 3);
  CHECK_EQ(q.Row(3).level, 3);
  // "docs" (closed, never listed) shows one: the click asks to open it.
  PostMessageA(tree->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(tree, 4, BoxX(tree, 2)));
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvExpanding, kEvExpanded})));
}

// --- tags ------------------------------------------------------------------------------------------

namespace {

// The files and the tree with a tag byte after their fields (Mark names field 3 and field 5).
struct TaggedFile {
  char name[32];
  std::int32_t size;
  std::uint8_t tag;
};
const FieldDesc kTaggedFileFields[] = {
    {"F:NAME", nullptr, kTypeCString, 0, 32, 0, 1, 0},
    {"F:SIZE", nullptr, kTypeLong, 0, 4, 32, 1, 0},
    {"F:TAG", nullptr, kTypeByte, 0, 1, 36, 1, 0},
};
const RecordLayout kTaggedFileLayout{3, kTaggedFileFields};

struct TaggedTree {
  TreeRecord row;
  std::uint8_t tag;
};
const FieldDesc kTaggedTreeFields[] = {
    kTreeFields[0], kTreeFields[1], kTreeFields[2], kTreeFields[3],
    {"T:TAG", nullptr, kTypeByte, 0, 1, offsetof(TaggedTree, tag), 1, 0},
};
const RecordLayout kTaggedTreeLayout{5, kTaggedTreeFields};

// The tags of every row, one digit per row in queue order ("0100").
template <typename R>
std::string Tags(TestQueue<R>& q) {
  std::string s;
  for (std::uint32_t i = 1; i <= QueueRecords(&q.block); ++i) s += q.Row(static_cast<int>(i)).tag ? '1' : '0';
  return s;
}

void FillTaggedFiles(TestQueue<TaggedFile>* q) {
  for (const char* n : {"alpha.txt", "beta.bin", "gamma.doc", "delta.zip"}) {
    TaggedFile t{};
    std::strncpy(t.name, n, sizeof t.name - 1);
    t.size = 1;
    q->Append(t);
  }
}

// Pixels of the row's mark gutter (the rows' right end) in the window's text colour.
int MarkPixels(ListControl* l, int visible) {
  RedrawWindow(l->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  wsltest::Pump(5);
  const int top = l->header_height() + (visible - l->top_row()) * l->row_height();
  const int gutter = std::max(l->row_height(), 12);
  RECT client;
  GetClientRect(l->hwnd(), &client);
  HDC dc = GetDC(l->hwnd());
  int n = 0;
  for (int y = top; y < top + l->row_height(); ++y)
    for (int x = client.right - gutter; x < client.right; ++x) n += GetPixel(dc, x, y) == GetSysColor(COLOR_WINDOWTEXT);
  ReleaseDC(l->hwnd(), dc);
  return n;
}

}  // namespace

TEST_CASE("tags: Space toggles the selected row unless type-ahead is pending; the mark shows it") {
  Fixture f;
  TestQueue<TaggedFile> q(&kTaggedFileLayout);
  FillTaggedFiles(&q);
  ListControl* plain = f.List(kPlain);
  plain->SetSourceQueue(&q.block);
  CHECK(Accept());
  // Without Mark a list tags nothing: Space is a type-ahead character as before.
  FocusOn(f, plain, 2);
  keytest::Type(" ");
  CHECK(KeyCodes().empty());
  CHECK_EQ(Tags(q), std::string("0000"));
  CHECK(plain->SetProperty(0x7C6D, "3"));
  std::string mark;
  CHECK(plain->GetProperty(0x7C6D, &mark));
  CHECK_EQ(mark, std::string("3"));
  Sleep(1100);
  keytest::Type(" ");
  CHECK_EQ(Join(KeyCodes()), Join(Codes({kEvNewSelection})));
  CHECK_EQ(Tags(q), std::string("0100"));
  CHECK_EQ(FieldChoice(kPlain), 2);
  // The mark is drawn for the tagged row only (row 3 unselected, so no highlight either).
  plain->SetProperty(0x7C8F, "1");
  KeyCodes();
  CHECK(MarkPixels(plain, 1) > 0);
  CHECK_EQ(MarkPixels(plain, 2), 0);
  plain->SetProperty(0x7C8F, "2");
  KeyCodes();
  keytest::Type(" ");  // again: untagged
  KeyCodes();
  CHECK_EQ(Tags(q), std::string("0000"));
  plain->SetProperty(0x7C8F, "1");
  KeyCodes();
  CHECK_EQ(MarkPixels(plain, 1), 0);
  // "g" then Space within the pause: the Space extends the search text, no tag changes.
  Sleep(1100);
  keytest::Type("g ");
  KeyCodes();
  CHECK_EQ(FieldChoice(kPlain), 3);
  CHECK_EQ(Tags(q), std::string("0000"));
  // After the pause Space tags the row the search reached.
  Sleep(1100);
  keytest::Type(" ");
  KeyCodes();
  CHECK_EQ(Tags(q), std::string("0010"));
  // The rows' texts are the queue's own: no mark in them (what a driver reads).
  CHECK(Query(plain->hwnd(), 2).text == L"gamma.doc\t1");
  // A Mark naming no field, or a text field, tags nothing and changes no row; a negative one
  // turns tagging off.
  for (const char* bad : {"99", "1", "-4"}) {
    CHECK(plain->SetProperty(0x7C6D, bad));
    Sleep(1100);
    keytest::Type(" ");
    CHECK(KeyCodes().empty());
    CHECK_EQ(Tags(q), std::string("0010"));
    CHECK_EQ(std::string(q.Row(3).name), std::string("gamma.doc"));
  }
  plain->GetProperty(0x7C6D, &mark);
  CHECK_EQ(mark, std::string("0"));
}

TEST_CASE("tags: Ctrl+click toggles, Shift+click tags the range from the last click; a tree tags the rows shown") {
  Fixture f;
  TestQueue<TaggedFile> files(&kTaggedFileLayout);
  FillTaggedFiles(&files);
  ListControl* plain = f.List(kPlain);
  plain->SetSourceQueue(&files.block);
  plain->SetProperty(0x7C6D, "3");
  CHECK(Accept());
  const int x = 20;  // on the name
  PostMessageA(plain->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(plain, 0, x));
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvNewSelection})));  // a plain click tags nothing
  CHECK_EQ(Tags(files), std::string("0000"));
  PostMessageA(plain->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, RowPoint(plain, 2, x));
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvNewSelection, kEvNewSelection})));
  CHECK_EQ(Tags(files), std::string("1110"));
  CHECK_EQ(FieldChoice(kPlain), 3);
  PostMessageA(plain->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, RowPoint(plain, 1, x));
  RunEvents();
  CHECK_EQ(Tags(files), std::string("1010"));
  // The Ctrl+click made row 2 the anchor: Shift+click on row 4 tags 2..4, untagging nothing.
  PostMessageA(plain->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, RowPoint(plain, 3, x));
  RunEvents();
  CHECK_EQ(Tags(files), std::string("1111"));
  CHECK_EQ(FieldChoice(kPlain), 4);

  TestQueue<TaggedTree> q(&kTaggedTreeLayout);
  TestQueue<TreeRecord> shape(&kTreeLayout);
  FillTree(&shape);
  for (std::uint32_t i = 1; i <= QueueRecords(&shape.block); ++i) q.Append(TaggedTree{shape.Row(static_cast<int>(i)), 0});
  ListControl* tree = f.List(kTree);
  tree->SetSourceQueue(&q.block);
  tree->SetProperty(0x7C6D, "5");
  wsltest::Pump();
  // README.txt (visible 2) clicked, then Shift+click on welcome.msg (visible 5): the rows
  // shown between them; kernel.tar.gz, inside the closed "linux", stays untagged.
  PostMessageA(tree->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(tree, 2, 100));
  RunEvents();
  PostMessageA(tree->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, RowPoint(tree, 5, 100));
  RunEvents();
  CHECK_EQ(Tags(q), std::string("0011011"));
  // A Ctrl+click on "linux"'s expand box opens it and leaves its tag alone.
  PostMessageA(tree->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, RowPoint(tree, 3, BoxX(tree, 3)));
  CHECK_EQ(Join(RunEvents()), Join(Codes({kEvExpanding, kEvExpanded})));
  CHECK_EQ(Tags(q), std::string("0011011"));
  PostMessageA(tree->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, RowPoint(tree, 4, 100));
  RunEvents();
  CHECK_EQ(Tags(q), std::string("0011111"));
  CHECK_EQ(FieldChoice(kTree), 5);
  // A Shift+click whose anchor is hidden now (inside a closed folder) tags the row alone.
  PostMessageA(tree->hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, RowPoint(tree, 3, 100));
  RunEvents();  // "linux" closes again: the anchor kernel.tar.gz is no row on screen
  REQUIRE(tree->RowCount() == 6);
  PostMessageA(tree->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, RowPoint(tree, 0, 100));
  RunEvents();
  CHECK_EQ(Tags(q), std::string("1011111"));
}
