// Local names as the ANSI calls show them, checked against the folder's Unicode names.
#include "app/local_names.h"

#include <windows.h>

#include <vector>

#include "runtime/core/text_codec.h"

namespace ftpcl {
namespace {

// The name as FindFirstFileA shows it: the platform's default conversion, best fit included.
std::string AsShown(const wchar_t* name) { return vel::text::AnsiShown(name); }

}  // namespace

std::string ShownLocalNameProblem(const std::string& dir, const std::string& name) {
  // The file the name opens, read strictly: bytes that are no character of the code page
  // open nothing for certain.
  std::wstring opened, folder;
  if (!vel::text::ToWide(name, &opened, vel::text::Policy::kStrict).ok ||
      !vel::text::ToWide(dir, &folder, vel::text::Policy::kStrict).ok)
    return "The local file is not there any more: |" + dir + name;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
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
