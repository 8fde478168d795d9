// Local names as the ANSI calls show them, checked against the folder's Unicode names.
#include "app/local_names.h"

#include <windows.h>

#include <vector>

namespace ftpcl {
namespace {

std::wstring Wide(const std::string& s) {
  const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

// The name as FindFirstFileA shows it: the platform's default conversion, best fit included.
std::string AsShown(const wchar_t* name) {
  const int n = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string s(static_cast<std::size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, name, -1, &s[0], n, nullptr, nullptr);
  return s;
}

}  // namespace

std::string ShownLocalNameProblem(const std::string& dir, const std::string& name) {
  const std::wstring opened = Wide(name);
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileExW((Wide(dir) + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                              nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return "The local file is not there any more: |" + dir + name;
  int shownAlike = 0;
  bool reached = false;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (AsShown(found.cFileName) != name) continue;
    ++shownAlike;
    reached |= opened == found.cFileName;
  } while (FindNextFileW(h, &found));
  FindClose(h);
  if (shownAlike == 0) return "The local file is not there any more: |" + dir + name;
  if (shownAlike > 1)
    return "More than one local file is shown as: |" + name +
           "|Their names differ in letters this code page cannot show. Rename the file to send.";
  if (!reached)
    return "The local file's name has letters this code page cannot show: |" + dir + name +
           "|Rename the file to send it.";
  return {};
}

}  // namespace ftpcl
