// Shared by the keyboard and accessibility tests: the test window "Keys" (tests/unit/windows/
// keys.win) opened with its variables, its dialogs, and tooltip queries.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "runtime/data/queue.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/tooltips.h"
#include "runtime/wsl/window.h"
#include "key_input.h"
#include "wsl_window_support.h"

namespace keytest {

using namespace vel::wsl;

constexpr const char* kKeysModule = "KeyTest$keytest";

// Field numbers of KEYS$WINDOW.
enum : int {
  kNamePrompt = 1, kName = 2, kFlag = 3, kMode = 4, kRadio1 = 5, kRadio2 = 6, kRadio3 = 7, kRefresh = 8,
  kSave = 9, kBack = 10, kOff = 11, kItems = 12, kPercent = 13, kShown = 14, kDrives = 15, kCloseButton = 16,
  kTree = 17,
};

// The list's queue: an item and its row tip (format "80L(1)P~Item~@s20@").
struct ItemRecord {
  char name[20];
  char tip[30];
};
inline const vel::FieldDesc kItemFields[] = {
    {"I:NAME", nullptr, vel::kTypeCString, 0, 20, 0, 1, 0},
    {"I:TIP", nullptr, vel::kTypeCString, 0, 30, 20, 1, 0},
};
inline const vel::RecordLayout kItemLayout{2, kItemFields};

#pragma pack(push, 1)
struct DriveRecord {
  char drive;
  std::int32_t icon;
};
#pragma pack(pop)
inline const vel::FieldDesc kDriveFields[] = {
    {"D:DRIVE", nullptr, vel::kTypeString, 0, 1, 0, 1, 0},
    {"D:ICON", nullptr, vel::kTypeLong, 0, 4, 1, 1, 0},
};
inline const vel::RecordLayout kDriveLayout{2, kDriveFields};

// The tree: a folder, its icon and level (format "100L(1)IT~Folder~@s20@"), and a tag for a
// tree whose Mark names field 4.
struct FolderRecord {
  char name[20];
  std::int32_t icon;
  std::int32_t level;
  std::uint8_t tag;
};
inline const vel::FieldDesc kFolderFields[] = {
    {"F:NAME", nullptr, vel::kTypeCString, 0, 20, 0, 1, 0},
    {"F:ICON", nullptr, vel::kTypeLong, 0, 4, 20, 1, 0},
    {"F:LEVEL", nullptr, vel::kTypeLong, 0, 4, 24, 1, 0},
    {"F:TAG", nullptr, vel::kTypeByte, 0, 1, 28, 1, 0},
};
inline const vel::RecordLayout kFolderLayout{4, kFolderFields};

struct KeysWindow {
  char name[20] = "";
  std::uint8_t flag = 0;
  std::int32_t mode = 1;
  std::int32_t percent = 0;
  char shown[20] = "shown text";
  ItemRecord item{};
  vel::QueueBlock items{&item, &kItemLayout, nullptr, sizeof(ItemRecord)};
  DriveRecord drive{};
  vel::QueueBlock drives{&drive, &kDriveLayout, nullptr, sizeof(DriveRecord)};
  FolderRecord folder{};
  vel::QueueBlock folders{&folder, &kFolderLayout, nullptr, sizeof(FolderRecord)};
  Window* w = nullptr;

  explicit KeysWindow(int item_count = 3) {
    wsltest::Setup();
    for (int i = 1; i <= item_count; ++i) AddItem(("item " + std::to_string(i)).c_str(), i == 2 ? "the second" : "");
    for (char d : std::string("ACDE")) {
      drive = DriveRecord{d, 2};
      vel::QueueAppend(&drives);
    }
    // A server's tree: the root open, "pub" open with a file, "incoming" closed with a hidden
    // child, "empty" never listed.
    const struct { const char* name; int level; } rows[] = {
        {"server", 1}, {"pub", 2}, {"readme.txt", 3}, {"incoming", -2}, {"upload.bin", 3}, {"empty", 2}};
    for (const auto& r : rows) {
      std::memset(&folder, 0, sizeof folder);
      std::strncpy(folder.name, r.name, sizeof folder.name - 1);
      folder.level = r.level;
      vel::QueueAppend(&folders);
    }
    void* vars[] = {name, &flag, &mode, &items, &percent, shown, &drives, &folders, nullptr};
    WindowOpen(&w, kKeysModule, "KEYS$WINDOW", vars);
    if (w) SetForegroundWindow(w->hwnd);
  }
  ~KeysWindow() {
    if (w) WindowClose(&w);
    vel::QueueDestroy(&items);
    vel::QueueDestroy(&drives);
    vel::QueueDestroy(&folders);
  }
  void AddItem(const char* text, const char* tip) {
    std::memset(&item, 0, sizeof item);
    std::strncpy(item.name, text, sizeof item.name - 1);
    std::strncpy(item.tip, tip, sizeof item.tip - 1);
    vel::QueueAppend(&items);
  }
  HWND Hwnd(int field) const { return GetDlgItem(w->hwnd, 0x4000 + field); }
};

// A dialog of keys.win opened over the current top window; RunToEnd runs its loop like a
// program's body (accepted buttons close it) and returns what it saw.
struct Dialog {
  char text[20] = "";
  Window* w = nullptr;
  explicit Dialog(const char* label) {
    void* vars[] = {text, nullptr};
    WindowOpen(&w, kKeysModule, label, vars);
    if (w) SetForegroundWindow(w->hwnd);
  }
  std::vector<Seen> RunToEnd() {
    std::vector<Seen> seen;
    while (Accept()) {
      const int code = EventCode();
      if (code == 0x4F0 || code == kEvLoseFocus || code == kEvGainFocus) continue;
      seen.push_back({code, EventField(), LastKeyCode()});
      if (code == kEvAccepted && (EventField() == 2 || EventField() == 3)) PostEvent(kEvCloseWindow);
    }
    return seen;
  }
  ~Dialog() {
    if (w) WindowClose(&w);
  }
};

// --- tooltips ------------------------------------------------------------------------------

inline bool HasTool(HWND tip, HWND window, HWND control) {
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.hwnd = window;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  return SendMessageA(tip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
}

inline bool IsCallbackTool(HWND tip, HWND window, HWND control) {
  char text[256] = "";
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.hwnd = window;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  ti.lpszText = text;
  return SendMessageA(tip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&ti)) && ti.lpszText == LPSTR_TEXTCALLBACKA;
}

inline std::string ToolText(HWND tip, HWND window, HWND control) {
  char text[256] = "";
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.hwnd = window;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  ti.lpszText = text;
  if (!HasTool(tip, window, control)) return "<no tool>";
  SendMessageA(tip, TTM_GETTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
  return text;
}

}  // namespace keytest
