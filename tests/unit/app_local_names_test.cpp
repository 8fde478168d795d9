// Which local file a Put reads: the names the file list shows (the ANSI calls' best-fit form
// under code pages that lack a letter) against the folder's Unicode names. Run under UTF-8,
// 1252 and 1251 (Wine takes the code page from LANG).
#include <windows.h>

#include <string>

#include "app/local_names.h"
#include "support/check.h"

using namespace ftpcl;

namespace {

std::string Shown(const std::wstring& name) {
  char out[MAX_PATH] = {};
  WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, out, sizeof out, nullptr, nullptr);
  return out;
}

std::wstring Reached(const std::string& name) {
  wchar_t out[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, out, MAX_PATH);
  return out;
}

struct Folder {
  std::wstring wide;
  std::string ansi;
  Folder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wide = std::wstring(temp) + L"afc-local-names-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(wide.c_str(), nullptr);
    char a[MAX_PATH];
    GetTempPathA(MAX_PATH, a);
    ansi = std::string(a) + "afc-local-names-" + std::to_string(GetCurrentProcessId()) + "\\";
  }
  ~Folder() {
    WIN32_FIND_DATAW f;
    HANDLE h = FindFirstFileW((wide + L"*").c_str(), &f);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring p = wide + f.cFileName;
        if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveDirectoryW(p.c_str());
        else DeleteFileW(p.c_str());
      } while (FindNextFileW(h, &f));
      FindClose(h);
    }
    RemoveDirectoryW(wide.c_str());
  }
  void Write(const std::wstring& name, const char* text) {
    HANDLE h = CreateFileW((wide + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(h, text, static_cast<DWORD>(strlen(text)), &n, nullptr);
    CloseHandle(h);
  }
  void Remove(const std::wstring& name) { DeleteFileW((wide + name).c_str()); }
};

const std::wstring kPolish = L"\u0141\u00f3d\u017a.txt";  // Łódź.txt

}  // namespace

TEST_CASE("local names: a plain name reaches its file; a gone one and a folder are no file") {
  Folder f;
  f.Write(L"plain.txt", "plain");
  CreateDirectoryW((f.wide + L"sub").c_str(), nullptr);
  CHECK_EQ(ShownLocalNameProblem(f.ansi, "plain.txt"), std::string());
  CHECK(ShownLocalNameProblem(f.ansi, "gone.txt").find("not there any more") != std::string::npos);
  CHECK(ShownLocalNameProblem(f.ansi, "sub").find("not there any more") != std::string::npos);
  CHECK(ShownLocalNameProblem(f.ansi + "missing\\", "plain.txt").find("not there any more") != std::string::npos);
}

TEST_CASE("local names: a name the code page lacks letters for is never read through its look-alike") {
  Folder f;
  const std::string shown = Shown(kPolish);
  printf("  code page %u shows %ls as \"%s\"\n", GetACP(), kPolish.c_str(), shown.c_str());
  f.Write(kPolish, "polish");
  if (Reached(shown) == kPolish) {
    // The code page has every letter (UTF-8): the name is exact.
    CHECK_EQ(ShownLocalNameProblem(f.ansi, shown), std::string());
    return;
  }
  // Alone, the file cannot be reached by the name the list shows.
  CHECK(ShownLocalNameProblem(f.ansi, shown).find("letters this code page cannot show") != std::string::npos);
  // Code pages without a near letter show '?', which no file name holds (932 here).
  if (shown.find('?') != std::string::npos) return;
  // Beside a real file of the shown spelling, both rows look the same: neither is read.
  const std::wstring lookalike = Reached(shown);
  f.Write(lookalike, "look-alike");
  CHECK(ShownLocalNameProblem(f.ansi, shown).find("More than one local file") != std::string::npos);
  // The look-alike alone is an ordinary file.
  f.Remove(kPolish);
  CHECK_EQ(ShownLocalNameProblem(f.ansi, shown), std::string());
}
