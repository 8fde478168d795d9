// Local drives, directories and files. RETVAL is always upper case and ends in "\"; the
// process's current directory is never changed for good (only probed at start-up).
//
// Every move to another folder (a drive chosen, a tree row double-clicked, Previous level,
// even where it stays at a drive root) refills both the directory tree and the file list from
// RETVAL, so the file list never shows one folder while RETVAL names another: a put reads the
// selected file from RETVAL (app/transfers.cpp), and it must be the file the user sees.
#include "app/local_side.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/globals.h"
#include "app/tags.h"
#include "app/text.h"
#include "app/ui.h"
#include "runtime/core/errors.h"
#include "runtime/data/directory.h"
#include "runtime/wsl/event_codes.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/properties.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/window.h"

namespace ftpcl {

namespace {

const char* const kDriveIcons[] = {"~SMDSKET.ICO", "~SMDISK.ICO", "~SMNETWRK.ICO", "~SMCD.ICO", "~SMRAM.ICO"};

void SetProp(int field, int code, const std::string& value, int index = 0) {
  vel::wsl::PropertySet(g.mainwindow, field, code, index, value);
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH + 1] = "";
  const DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

// ALLF from the folder `folder` (ending in "\\"); g.filesdir remembers which folder it shows.
// The listing fills only the entry record in front of MARKFIELD, so every row it appends
// carries the buffer's tag byte: that byte is cleared first, and a file list read again starts
// untagged (the buffer may hold a tagged row fetched before).
void ListInto(const std::string& folder, std::uint8_t mask) {
  const std::string pattern = folder + "*.*";
  vel::QueueFree(&ALLF);
  Allf().markfield = 0;
  vel::ListDirectoryText(&ALLF, mask, pattern.data(), static_cast<std::uint32_t>(pattern.size()));
  g.filesdir = folder;
}

void SortFiles() {
  static const std::int32_t kByName[] = {kAllfName, 0};
  vel::QueueSortFields(&ALLF, kByName);
}

void AppendDirRow(const std::string& name, std::int32_t icon, std::int32_t level) {
  DirRecord& d = Dir();
  SetFixed(d.name, name);
  d.icon = icon;
  d.level = level;
  vel::QueueAppend(&DIRS);
}

// The name of the file selected in ?LIST4 ("" for none).
std::string SelectedFileName() {
  const int row = std::atoi(vel::wsl::PropertyGet(g.mainwindow, kList4, vel::wsl::kPropSelected).c_str());
  if (row <= 0) return {};
  vel::QueueGetAt(&ALLF, row);
  return vel::ErrorCode() == 0 ? Clip(FText(Allf().name)) : std::string();
}

// Selects the file `name` in ?LIST4, or nothing when the list has no such file: the selection
// never moves to another file because rows above it came or went.
void SelectFileNamed(const std::string& name) {
  int row = 0;
  const std::uint32_t n = name.empty() ? 0 : vel::QueueRecords(&ALLF);
  for (std::uint32_t i = 1; i <= n && !row; ++i) {
    vel::QueueGetAt(&ALLF, static_cast<std::int32_t>(i));
    if (Clip(FText(Allf().name)) == name) row = static_cast<int>(i);
  }
  SetProp(kList4, vel::wsl::kPropSelected, std::to_string(row));
}

// After a move in the directory tree: the files of RETVAL, tags cleared, nothing selected.
void ListRetvalFiles() {
  vel::QueueFree(&ALLF);
  ListInto(Clipped(g.retval), 0);
  ClearLocalTags();
  SelectFileNamed("");
  vel::wsl::DisplayFields();
}

}  // namespace

void LoadDrivesAndStartDirectory() {
  vel::QueueFree(&DRIVES);
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const char root[] = {letter, ':', '\\', 0};
    const UINT type = GetDriveTypeA(root);
    if (type < 2) continue;
    DriveRecord& d = Drive();
    std::memset(&d, 0, sizeof d);
    d.drive[0] = letter;
    d.drivetype = static_cast<std::int16_t>(type);
    d.icon = static_cast<std::int32_t>(type) - 1;
    vel::QueueAppend(&DRIVES);
  }
  SetProp(kListDrives, vel::wsl::kPropLineHeight, "11");
  SetProp(kListDirs, vel::wsl::kPropLineHeight, "10");
  for (int i = 0; i < 5; ++i) SetProp(kListDrives, vel::wsl::kPropIconList, kDriveIcons[i], i + 1);
  SetProp(kListDirs, vel::wsl::kPropIconList, "~SMOPEN.ICO", 1);
  SetProp(kListDirs, vel::wsl::kPropIconList, "~SMCLOSE.ICO", 2);

  std::string cur = CurrentDirectory();
  bool found = false;
  if (!cur.empty()) {
    const std::string remembered = CurrentDirectory();
    vel::SetCurrentPathText(cur.data(), static_cast<std::uint32_t>(cur.size()));
    if (vel::ErrorCode() == 0) {
      cur = CurrentDirectory();
      found = true;
    } else {
      cur.clear();
    }
    vel::SetCurrentPathText(remembered.data(), static_cast<std::uint32_t>(remembered.size()));
  }
  const std::uint32_t drives = vel::QueueRecords(&DRIVES);
  std::uint32_t row = 1;
  if (found) {
    for (; row <= drives; ++row) {
      vel::QueueGetAt(&DRIVES, static_cast<std::int32_t>(row));
      if (Drive().drive[0] == Upper(cur.substr(0, 1))[0]) break;
    }
    if (cur.back() != '\\') cur += '\\';
    Set(g.retval, Upper(cur));
  } else {
    for (; row <= drives; ++row) {
      vel::QueueGetAt(&DRIVES, static_cast<std::int32_t>(row));
      if (Drive().drivetype == 3) break;
    }
    Set(g.retval, std::string(1, Drive().drive[0]) + ":\\");
  }
  SetProp(kListDrives, vel::wsl::kPropSelected, std::to_string(row));
  FillDirectoryTree();
}

void ShowDrivePicture() {
  const std::int32_t icon = Drive().icon;
  if (icon >= 1 && icon <= 5) SetProp(kImage1, vel::wsl::kPropText, kDriveIcons[icon - 1]);
}

void FillDirectoryTree() {
  std::memset(&g.finddata, 0, sizeof g.finddata);
  vel::QueueFree(&SUBDIRS);
  vel::QueueFree(&DIRS);
  const std::string retval = Clipped(g.retval);
  const std::string pattern = retval + "*.*";
  AppendDirRow(retval.size() == 3 ? retval : retval.substr(0, retval.size() - 1), 1, 1);
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..") {
        SetFixed(Subdir().name, name);
        vel::QueueAppend(&SUBDIRS);
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);  // the search handle is closed once the enumeration ends
  }
  static const std::int32_t kByName[] = {kSubdirName, 0};
  vel::QueueSortFields(&SUBDIRS, kByName);
  const std::uint32_t n = vel::QueueRecords(&SUBDIRS);
  for (std::uint32_t i = 1; i <= n; ++i) {
    vel::QueueGetAt(&SUBDIRS, static_cast<std::int32_t>(i));
    AppendDirRow(Upper(Clip(FText(Subdir().name))), 2, 2);
  }
  // The Home key for the directory list: it selects its first row.
  vel::wsl::Control* list = g.mainwindow ? g.mainwindow->Field(kListDirs) : nullptr;
  if (list && list->hwnd()) PostMessageA(list->hwnd(), WM_KEYDOWN, VK_HOME, 0);
}

void RefreshLocalFiles() {
  const std::string selected = SelectedFileName();
  ListInto(Clipped(g.retval), 0);
  SortFiles();
  SelectFileNamed(selected);
  WindowStatus("Done");
}

void ListStartupFiles() {
  std::string folder = Clip(CurrentDirectory());
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  ListInto(folder, 7);
  SortFiles();
}

void RefreshLocalView() {
  const std::string selected = SelectedFileName();
  FillDirectoryTree();
  ListRetvalFiles();
  SelectFileNamed(selected);
}

void DirectoryDoubleClick() {
  const int n = vel::wsl::FieldChoice(kListDirs);
  vel::QueueGetAt(&DIRS, n);
  if (vel::ErrorCode() != 0) return;
  const std::string retval = Clipped(g.retval);
  if (n == 1) {
    if (Clip(FText(Dir().name)).size() > 3) {  // a drive root stays as it is
      std::size_t i = retval.size() - 1;       // 1-based position of the last but one
      while (i >= 1 && retval[i - 1] != '\\') --i;
      Set(g.retval, retval.substr(0, i));
    }
  } else {
    Set(g.retval, retval + Clip(FText(Dir().name)) + "\\");
  }
  FillDirectoryTree();
  ListRetvalFiles();
}

void PreviousLevel() {
  SetProp(kListDirs, vel::wsl::kPropSelected, "1");
  vel::wsl::PostEvent(vel::wsl::kEvAlertKey, kListDirs);
}

void DriveAccepted() {
  vel::QueueGetAt(&DRIVES, vel::wsl::FieldChoice(kListDrives));
  if (vel::ErrorCode() != 0) return;
  Set(g.retval, std::string(1, Drive().drive[0]) + ":\\");
  ShowDrivePicture();
  FillDirectoryTree();
  ListRetvalFiles();
}

}  // namespace ftpcl
