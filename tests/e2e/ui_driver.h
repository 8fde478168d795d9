// A UI driver for the client: starts ftpclient.exe, finds its main window by title and its
// controls by child identifier (field number + 0x4000), types into entries, presses buttons,
// reads status zones and list rows (list-box queries), clicks list rows, picks pop-up menu
// items and answers message boxes. Everything goes through the platform's messages from this
// separate process, as a user's assistive tool would.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace uidriver {

// Polls cond every 20 ms until it holds or ms pass.
bool WaitUntil(const std::function<bool()>& cond, DWORD ms = 20000);

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::string caption;
  std::string text;  // static texts joined by "\n"
  bool has_icon = false;
};

class Client {
 public:
  // Starts the program in `local_dir` (its current directory) and waits for the main window;
  // `lang`, when given, is the program's LANG (Wine takes the ANSI code page from it).
  bool Start(const std::string& exe, const std::string& local_dir, const std::string& lang = "");
  // Works with a client started by someone else (its main window).
  bool Attach(HWND main);
  // Presses "Close" and waits for the process to end; returns its exit code (-1 if killed).
  int Stop();
  ~Client();

  HWND Main() const { return main_; }
  HWND Field(int field) const { return GetDlgItem(main_, 0x4000 + field); }
  HWND FieldOf(HWND window, int field) const { return GetDlgItem(window, 0x4000 + field); }
  void SetText(int field, const std::string& text) { SetTextOf(main_, field, text); }
  void SetTextOf(HWND window, int field, const std::string& text);
  std::string Text(int field) const;
  // Leaves an entry as a user would by moving on: the window takes its text (EN_KILLFOCUS).
  void Leave(int field);
  // Sets a check box and notifies the window as a click does.
  void SetCheck(int field, bool checked);
  void Press(int field) { PressOf(main_, field); }
  void PressOf(HWND window, int field);
  bool Enabled(int field) const { return IsWindowEnabled(Field(field)) != 0; }
  std::string Status(int zone) const;  // 1-based
  // Presses a key where the keyboard focus of the client's window is, as typing does.
  void Key(UINT vk);
  // The position of a progress bar.
  int ProgressPos(int field) const;

  // Lists (visible rows).
  int RowCount(int field) const;
  std::string Row(int field, int index) const;  // 0-based
  std::vector<std::string> Rows(int field) const;
  int FindRow(int field, const std::string& contains) const;  // -1 when none
  bool Select(int field, int index);
  bool DoubleClick(int field, int index);
  // A click on a row with the modifier keys `keys` held (MK_CONTROL, MK_SHIFT), as the list
  // reads them from the button message; 0 is a plain click. A modified click needs a plain one
  // on the list before (it finds where the rows start); false when there was none.
  bool ClickWith(int field, int index, WPARAM keys);
  bool RightClick(int field, int index);
  // Chooses item n (1-based) of the pop-up menu that is open; false when the menu is still
  // open after `ms` (the item is greyed).
  bool ChooseMenuItem(int n, DWORD ms = 10000);
  // Closes the open pop-up menu with Escape.
  bool CloseMenu();

  // Top-level dialog of the client with this caption ("" = any message box), or null.
  HWND FindDialog(const std::string& title, DWORD ms = 20000) const;
  MessageBoxInfo WaitMessageBox(DWORD ms = 20000) const;
  // Presses a button of a message box by caption ("OK", "Yes", "No").
  bool Answer(const MessageBoxInfo& box, const std::string& button);
  // Answers whatever box is open with its first button; true if there was one.
  bool DismissAnyBox();

  // Milliseconds the window takes to answer a message (SendMessageTimeout WM_NULL).
  DWORD Ping(DWORD timeout_ms = 5000) const;
  // Saves a window (and what lies over it) as a 24-bit BMP.
  bool Screenshot(HWND window, const std::string& path, HWND also = nullptr) const;

  DWORD pid() const { return pi_.dwProcessId; }

 private:
  bool RowPoint(int field, int index, POINT* p);
  std::map<int, int> header_;  // a list's header height in pixels, once found
  PROCESS_INFORMATION pi_{};
  HWND main_ = nullptr;
};

// "Z:\..." form of a Unix path (Wine's root drive), unchanged for a Windows path.
std::string WindowsPath(const std::string& path);

}  // namespace uidriver
