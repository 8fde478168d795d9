// A UI driver in a process of its own: reads a list control through the list-box queries
// with the wide forms and writes what it saw to the file named in argv[3].
//   list_driver HWND INDEX OUT  ->  "count cursel len|text" (text in UTF-8)
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  HWND list = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(argv[1], nullptr, 10)));
  const int index = std::atoi(argv[2]);
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  const LRESULT cursel = SendMessageW(list, LB_GETCURSEL, 0, 0);
  const LRESULT len = SendMessageW(list, LB_GETTEXTLEN, index, 0);
  wchar_t text[512] = L"";
  if (len >= 0 && len < 511) SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
  char utf8[1024] = "";
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  FILE* f = std::fopen(argv[3], "wb");
  if (!f) return 3;
  std::fprintf(f, "%ld %ld %ld|%s", static_cast<long>(count), static_cast<long>(cursel), static_cast<long>(len), utf8);
  std::fclose(f);
  return 0;
}
