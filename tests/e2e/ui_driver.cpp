// The UI driver (see ui_driver.h). Cross-process rules that hold under Wine: WM_SETTEXT and
// WM_GETTEXT are marshalled; list-box queries are read with the W form; status bar texts need a
// buffer inside the client (VirtualAllocEx/ReadProcessMemory); buttons are pressed by a posted
// WM_COMMAND/BN_CLICKED to their parent; pop-up menus take posted arrow and Enter keys.
#include "e2e/ui_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace uidriver {

bool WaitUntil(const std::function<bool()>& cond, DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    if (cond()) return true;
    if (GetTickCount64() > end) return false;
    Sleep(20);
  }
}

std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string out = "Z:" + path;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

namespace {

std::string ClassOf(HWND h) {
  char buf[64] = "";
  GetClassNameA(h, buf, sizeof buf);
  return buf;
}

std::string TextOfWindow(HWND h) {
  char buf[2048] = "";
  SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, nullptr);
  return buf;
}

std::string Narrow(const wchar_t* w, int n) {
  if (n <= 0) return {};
  const int len = WideCharToMultiByte(CP_ACP, 0, w, n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(len), '\0');
  WideCharToMultiByte(CP_ACP, 0, w, n, out.data(), len, nullptr, nullptr);
  return out;
}

struct FindContext {
  DWORD pid;
  std::string cls, title;
  HWND found;
};

BOOL CALLBACK FindTop(HWND h, LPARAM lp) {
  auto* c = reinterpret_cast<FindContext*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid != c->pid || !IsWindowVisible(h)) return TRUE;
  if (!c->cls.empty() && ClassOf(h) != c->cls) return TRUE;
  if (!c->title.empty() && TextOfWindow(h) != c->title) return TRUE;
  c->found = h;
  return FALSE;
}

HWND FindTopWindow(DWORD pid, const std::string& cls, const std::string& title) {
  FindContext c{pid, cls, title, nullptr};
  EnumWindows(FindTop, reinterpret_cast<LPARAM>(&c));
  return c.found;
}

struct Children {
  std::vector<HWND> list;
};
BOOL CALLBACK CollectChild(HWND h, LPARAM lp) {
  reinterpret_cast<Children*>(lp)->list.push_back(h);
  return TRUE;
}
std::vector<HWND> ChildrenOf(HWND parent) {
  Children c;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&c));
  return c.list;
}

void PostClick(HWND h, UINT down, UINT up, WPARAM keys, POINT p) {
  const LPARAM at = MAKELPARAM(p.x, p.y);
  PostMessageA(h, down, keys, at);
  if (up) PostMessageA(h, up, 0, at);
}

}  // namespace

// This process's environment with LANG set to `lang` (a block for CreateProcessA).
std::string EnvironmentWithLang(const std::string& lang) {
  std::string block;
  char* env = GetEnvironmentStringsA();
  for (const char* e = env; *e; e += strlen(e) + 1)
    if (_strnicmp(e, "LANG=", 5) != 0 && _strnicmp(e, "LC_ALL=", 7) != 0) block.append(e).push_back('\0');
  FreeEnvironmentStringsA(env);
  block.append("LANG=" + lang).push_back('\0');
  block.append("LC_ALL=" + lang).push_back('\0');
  block.push_back('\0');
  return block;
}

bool Client::Start(const std::string& exe, const std::string& local_dir, const std::string& lang) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  std::string command = "\"" + WindowsPath(exe) + "\"";
  std::string env = lang.empty() ? std::string() : EnvironmentWithLang(lang);
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, env.empty() ? nullptr : env.data(),
                      local_dir.c_str(), &si, &pi_))
    return false;
  return WaitUntil([this] {
    main_ = FindTopWindow(pi_.dwProcessId, "", "Asynchronous FTP Client");
    return main_ != nullptr && Field(1) != nullptr;
  }, 30000);
}

bool Client::Attach(HWND main) {
  main_ = main;
  GetWindowThreadProcessId(main, &pi_.dwProcessId);
  return pi_.dwProcessId != 0;
}

int Client::Stop() {
  if (!pi_.hProcess) return -1;
  DismissAnyBox();
  if (main_ && IsWindow(main_)) Press(26);  // "Close"
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi_.hProcess, 15000) != WAIT_OBJECT_0) {
    TerminateProcess(pi_.hProcess, 99);
    WaitForSingleObject(pi_.hProcess, 5000);
  } else {
    GetExitCodeProcess(pi_.hProcess, &code);
  }
  CloseHandle(pi_.hProcess);
  CloseHandle(pi_.hThread);
  pi_ = {};
  return static_cast<int>(code);
}

Client::~Client() {
  if (pi_.hProcess) Stop();
}

void Client::SetTextOf(HWND window, int field, const std::string& text) {
  // WM_SETTEXT clears the edit's modified flag; typing sets it, and the client takes only
  // modified text into its variables.
  HWND edit = FieldOf(window, field);
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageA(edit, EM_SETMODIFY, TRUE, 0);
}

std::string Client::Text(int field) const { return TextOfWindow(Field(field)); }

void Client::Leave(int field) {
  PostMessageA(main_, WM_COMMAND, MAKEWPARAM(0x4000 + field, EN_KILLFOCUS), reinterpret_cast<LPARAM>(Field(field)));
}

void Client::SetCheck(int field, bool checked) {
  HWND box = Field(field);
  SendMessageA(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  PostMessageA(main_, WM_COMMAND, MAKEWPARAM(0x4000 + field, BN_CLICKED), reinterpret_cast<LPARAM>(box));
}

void Client::PressOf(HWND window, int field) {
  HWND button = FieldOf(window, field);
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(0x4000 + field, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

std::string Client::Status(int zone) const {
  HWND bar = nullptr;
  for (HWND h : ChildrenOf(main_))
    if (ClassOf(h) == STATUSCLASSNAMEA) bar = h;
  if (!bar) return "<no status bar>";
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pi_.dwProcessId);
  if (!process) return "<no access>";
  void* remote = VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
  std::string out;
  DWORD_PTR length = 0;
  if (remote && SendMessageTimeoutA(bar, SB_GETTEXTLENGTHA, zone - 1, 0, SMTO_ABORTIFHUNG, 5000, &length) &&
      LOWORD(length) < 4000) {
    SendMessageTimeoutA(bar, SB_GETTEXTA, zone - 1, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 5000, nullptr);
    char buf[4096] = "";
    SIZE_T got = 0;
    ReadProcessMemory(process, remote, buf, LOWORD(length) + 1, &got);
    out.assign(buf, strnlen(buf, LOWORD(length)));
  }
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return out;
}

void Client::Key(UINT vk) {
  // A message box just answered is hidden before it is destroyed, and the focus comes back to the
  // main window only then: a key posted to the box's button in between would be lost.
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(main_, nullptr);
  auto focus_in_main = [&] {
    return GetGUIThreadInfo(thread, &info) && info.hwndFocus &&
           (info.hwndFocus == main_ || IsChild(main_, info.hwndFocus) || IsWindowVisible(info.hwndFocus));
  };
  HWND target = WaitUntil(focus_in_main, 3000) ? info.hwndFocus : main_;
  PostMessageA(target, WM_KEYDOWN, vk, 1);
  PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
}

int Client::ProgressPos(int field) const {
  DWORD_PTR pos = 0;
  SendMessageTimeoutA(Field(field), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &pos);
  return static_cast<int>(pos);
}

int Client::RowCount(int field) const {
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutW(Field(field), LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &n)) return -1;
  return static_cast<int>(static_cast<LRESULT>(n));
}

std::string Client::Row(int field, int index) const {
  wchar_t buf[2048] = L"";
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutW(Field(field), LB_GETTEXT, index, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &n))
    return {};
  const LRESULT len = static_cast<LRESULT>(n);
  if (len == LB_ERR || len < 0) return {};
  return Narrow(buf, static_cast<int>(wcsnlen(buf, 2047)));
}

std::vector<std::string> Client::Rows(int field) const {
  std::vector<std::string> out;
  const int n = RowCount(field);
  for (int i = 0; i < n; ++i) out.push_back(Row(field, i));
  return out;
}

int Client::FindRow(int field, const std::string& contains) const {
  const std::vector<std::string> rows = Rows(field);
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string first = rows[i].substr(0, rows[i].find('\t'));
    if (first == contains) return static_cast<int>(i);
  }
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].find(contains) != std::string::npos) return static_cast<int>(i);
  return -1;
}

bool Client::Select(int field, int index) {
  DWORD_PTR r = 0;
  SendMessageTimeoutW(Field(field), LB_SETCURSEL, index, 0, SMTO_ABORTIFHUNG, 5000, &r);
  return static_cast<LRESULT>(r) == index;
}

// A point inside visible row `index`: the header's height is found by clicking and reading
// the selection back.
bool Client::RowPoint(int field, int index, POINT* p) {
  HWND list = Field(field);
  DWORD_PTR height = 0, top = 0;
  SendMessageTimeoutW(list, LB_GETITEMHEIGHT, 0, 0, SMTO_ABORTIFHUNG, 5000, &height);
  SendMessageTimeoutW(list, LB_GETTOPINDEX, 0, 0, SMTO_ABORTIFHUNG, 5000, &top);
  const int h = static_cast<int>(static_cast<LRESULT>(height));
  if (h <= 0 || h > 100) return false;
  const int rel = index - static_cast<int>(static_cast<LRESULT>(top));
  if (rel < 0) return false;
  auto cursel = [&] {
    DWORD_PTR sel = 0;
    SendMessageTimeoutW(list, LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &sel);
    return static_cast<int>(static_cast<LRESULT>(sel));
  };
  auto known = header_.find(field);
  const int first = known != header_.end() ? known->second : 0;
  const int last = known != header_.end() ? known->second : 2 * h + 8;
  for (int header = first; header <= last; header += 2) {
    const POINT at{60, header + rel * h + h / 2};
    PostClick(list, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, at);
    // Posted input is handled after sent messages: poll until the click has been seen.
    if (WaitUntil([&] { return cursel() == index; }, known != header_.end() ? 3000 : 300)) {
      header_[field] = header;
      // Selecting a row only partly in view scrolls it in: the point follows the row.
      SendMessageTimeoutW(list, LB_GETTOPINDEX, 0, 0, SMTO_ABORTIFHUNG, 5000, &top);
      *p = POINT{60, header + (index - static_cast<int>(static_cast<LRESULT>(top))) * h + h / 2};
      return true;
    }
  }
  return false;
}

bool Client::ClickWith(int field, int index, WPARAM keys) {
  POINT p;
  if (!keys) return RowPoint(field, index, &p);
  const auto known = header_.find(field);
  if (known == header_.end()) return false;
  DWORD_PTR height = 0, top = 0;
  SendMessageTimeoutW(Field(field), LB_GETITEMHEIGHT, 0, 0, SMTO_ABORTIFHUNG, 5000, &height);
  SendMessageTimeoutW(Field(field), LB_GETTOPINDEX, 0, 0, SMTO_ABORTIFHUNG, 5000, &top);
  const int h = static_cast<int>(static_cast<LRESULT>(height));
  const int rel = index - static_cast<int>(static_cast<LRESULT>(top));
  if (h <= 0 || rel < 0) return false;
  PostClick(Field(field), WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON | keys, POINT{60, known->second + rel * h + h / 2});
  return true;
}

bool Client::DoubleClick(int field, int index) {
  POINT p;
  if (!RowPoint(field, index, &p)) return false;
  PostClick(Field(field), WM_LBUTTONDBLCLK, WM_LBUTTONUP, MK_LBUTTON, p);
  return true;
}

bool Client::RightClick(int field, int index) {
  POINT p;
  if (!RowPoint(field, index, &p)) return false;
  PostClick(Field(field), WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON, p);
  return true;
}

namespace {

// True once the thread owning a menu window runs the menu's tracking loop (keys sent earlier
// could reach the window before the loop reads them in order).
bool InMenuLoop(HWND menu) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(menu, nullptr), &info) &&
         (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) != 0;
}

}  // namespace

bool Client::ChooseMenuItem(int n, DWORD ms) {
  HWND menu = nullptr;
  if (!WaitUntil([&] { return (menu = FindTopWindow(pi_.dwProcessId, "#32768", "")) != nullptr; }, 10000)) return false;
  WaitUntil([&] { return InMenuLoop(menu); }, 10000);
  Sleep(250);  // and its first item layout done (keys sent at once were seen lost under load)
  for (int i = 0; i < n; ++i) {
    PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    Sleep(30);
  }
  PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
  return WaitUntil([&] { return !IsWindowVisible(menu); }, ms);
}

bool Client::CloseMenu() {
  HWND menu = FindTopWindow(pi_.dwProcessId, "#32768", "");
  if (!menu) return false;
  PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  return WaitUntil([&] { return !IsWindowVisible(menu); }, 10000);
}

HWND Client::FindDialog(const std::string& title, DWORD ms) const {
  HWND found = nullptr;
  WaitUntil([&] {
    found = FindTopWindow(pi_.dwProcessId, title.empty() ? "#32770" : "", title);
    return found != nullptr && found != main_;
  }, ms);
  return found == main_ ? nullptr : found;
}

MessageBoxInfo Client::WaitMessageBox(DWORD ms) const {
  MessageBoxInfo info;
  info.hwnd = FindDialog("", ms);
  if (!info.hwnd) return info;
  Sleep(50);  // let it finish painting
  info.caption = TextOfWindow(info.hwnd);
  for (HWND h : ChildrenOf(info.hwnd)) {
    if (ClassOf(h) != "Static") continue;
    if (GetWindowLongA(h, GWL_STYLE) & SS_ICON) {
      info.has_icon = info.has_icon || SendMessageA(h, STM_GETICON, 0, 0) != 0;
      continue;
    }
    std::string t = TextOfWindow(h);
    t.erase(std::remove(t.begin(), t.end(), '\r'), t.end());
    if (t.empty()) continue;
    if (!info.text.empty()) info.text += "\n";
    info.text += t;
  }
  return info;
}

bool Client::Answer(const MessageBoxInfo& box, const std::string& button) {
  if (!box.hwnd) return false;
  for (HWND h : ChildrenOf(box.hwnd)) {
    if (ClassOf(h) != "Button") continue;
    std::string t = TextOfWindow(h);
    t.erase(std::remove(t.begin(), t.end(), '&'), t.end());
    if (t != button) continue;
    PostMessageA(box.hwnd, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), BN_CLICKED), reinterpret_cast<LPARAM>(h));
    return WaitUntil([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); }, 10000);
  }
  return false;
}

bool Client::DismissAnyBox() {
  HWND box = FindTopWindow(pi_.dwProcessId, "#32770", "");
  if (!box) return false;
  for (HWND h : ChildrenOf(box))
    if (ClassOf(h) == "Button") {
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), BN_CLICKED), reinterpret_cast<LPARAM>(h));
      break;
    }
  WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
  return true;
}

DWORD Client::Ping(DWORD timeout_ms) const {
  const ULONGLONG start = GetTickCount64();
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeout_ms, &r)) return timeout_ms;
  return static_cast<DWORD>(GetTickCount64() - start);
}

bool Client::Screenshot(HWND window, const std::string& path, HWND also) const {
  RECT r;
  GetWindowRect(window, &r);
  if (also) {
    RECT o;
    GetWindowRect(also, &o);
    UnionRect(&r, &r, &o);
  }
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const int stride = (w * 3 + 3) & ~3;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
  fh.bfSize = fh.bfOffBits + stride * h;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
  out.write(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
  out.write(static_cast<const char*>(bits), stride * h);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return out.good();
}

}  // namespace uidriver
