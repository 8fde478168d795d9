// A UI driver in a process of its own: reads a list control through the list-box (or
// combo-box) queries with the wide forms, as other programs do, and writes what it saw to the
// file named last.
//   list_driver HWND INDEX OUT    ->  "count cursel len|text" (text in UTF-8)
//   list_driver HWND lb X Y OUT   ->  one line per list-box query, X Y a client point
//   list_driver HWND cb OUT       ->  one line per combo-box query (a drop list)
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Utf8(const wchar_t* w) {
  char out[1024] = "";
  WideCharToMultiByte(CP_UTF8, 0, w, -1, out, sizeof out, nullptr, nullptr);
  return out;
}

LRESULT Send(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return SendMessageW(h, msg, wp, lp); }

std::string Text(HWND list, UINT get, UINT len, int index) {
  wchar_t text[512] = L"";
  const LRESULT n = Send(list, len, index);
  if (n < 0 || n >= 511) return "<" + std::to_string(n) + ">";
  const LRESULT got = Send(list, get, index, reinterpret_cast<LPARAM>(text));
  return std::to_string(got) + ":" + Utf8(text);
}

void ListBoxQueries(HWND list, int x, int y, FILE* f) {
  std::fprintf(f, "count %ld cursel %ld caret %ld selcount %ld\n", static_cast<long>(Send(list, LB_GETCOUNT)),
               static_cast<long>(Send(list, LB_GETCURSEL)), static_cast<long>(Send(list, LB_GETCARETINDEX)),
               static_cast<long>(Send(list, LB_GETSELCOUNT)));
  std::fprintf(f, "sel %ld %ld %ld bad %ld\n", static_cast<long>(Send(list, LB_GETSEL, 0)),
               static_cast<long>(Send(list, LB_GETSEL, 1)), static_cast<long>(Send(list, LB_GETSEL, 2)),
               static_cast<long>(Send(list, LB_GETSEL, 99)));
  RECT r{-1, -1, -1, -1};
  const LRESULT ok = Send(list, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r));
  std::fprintf(f, "rect1 %ld %ld %ld %ld %ld\n", static_cast<long>(ok), r.left, r.top, r.right, r.bottom);
  std::fprintf(f, "rect99 %ld\n", static_cast<long>(Send(list, LB_GETITEMRECT, 99, reinterpret_cast<LPARAM>(&r))));
  const LRESULT hit = Send(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y));
  const LRESULT below = Send(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(x, 30000));
  std::fprintf(f, "hit %d %d below %d %d\n", LOWORD(hit), HIWORD(hit), LOWORD(below), HIWORD(below));
  std::fprintf(f, "top %ld height %ld\n", static_cast<long>(Send(list, LB_GETTOPINDEX)),
               static_cast<long>(Send(list, LB_GETITEMHEIGHT)));
  std::fprintf(f, "find %ld exact %ld none %ld\n", static_cast<long>(Send(list, LB_FINDSTRING, -1, reinterpret_cast<LPARAM>(L"ROW 3"))),
               static_cast<long>(Send(list, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(L"Row 2"))),
               static_cast<long>(Send(list, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(L"Row"))));
  std::fprintf(f, "text2 %s\n", Text(list, LB_GETTEXT, LB_GETTEXTLEN, 2).c_str());
  const LRESULT set = Send(list, LB_SETCURSEL, 3);
  std::fprintf(f, "setcursel %ld cursel %ld\n", static_cast<long>(set), static_cast<long>(Send(list, LB_GETCURSEL)));
  // Arguments are evaluated in no fixed order: each change is made before it is read back.
  const LRESULT settop = Send(list, LB_SETTOPINDEX, 1);
  const LRESULT top = Send(list, LB_GETTOPINDEX);
  std::fprintf(f, "settop %ld top %ld bad %ld\n", static_cast<long>(settop), static_cast<long>(top),
               static_cast<long>(Send(list, LB_SETTOPINDEX, 99)));
  const LRESULT clear = Send(list, LB_SETCURSEL, static_cast<WPARAM>(-1));
  std::fprintf(f, "clear %ld cursel %ld\n", static_cast<long>(clear), static_cast<long>(Send(list, LB_GETCURSEL)));
}

void ComboBoxQueries(HWND drop, FILE* f) {
  std::fprintf(f, "count %ld cursel %ld dropped %ld\n", static_cast<long>(Send(drop, CB_GETCOUNT)),
               static_cast<long>(Send(drop, CB_GETCURSEL)), static_cast<long>(Send(drop, CB_GETDROPPEDSTATE)));
  std::fprintf(f, "text0 %s text9 %ld\n", Text(drop, CB_GETLBTEXT, CB_GETLBTEXTLEN, 0).c_str(),
               static_cast<long>(Send(drop, CB_GETLBTEXTLEN, 9)));
  std::fprintf(f, "find %ld\n", static_cast<long>(Send(drop, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(L"d"))));
  const LRESULT set = Send(drop, CB_SETCURSEL, 2);
  const LRESULT cursel = Send(drop, CB_GETCURSEL);
  std::fprintf(f, "setcursel %ld cursel %ld bad %ld\n", static_cast<long>(set), static_cast<long>(cursel),
               static_cast<long>(Send(drop, CB_SETCURSEL, 42)));
  Send(drop, CB_SHOWDROPDOWN, TRUE);
  std::fprintf(f, "shown %ld\n", static_cast<long>(Send(drop, CB_GETDROPPEDSTATE)));
  Send(drop, CB_SHOWDROPDOWN, FALSE);
  std::fprintf(f, "hidden %ld\n", static_cast<long>(Send(drop, CB_GETDROPPEDSTATE)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  HWND list = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(argv[1], nullptr, 10)));
  FILE* f = std::fopen(argv[argc - 1], "wb");
  if (!f) return 3;
  if (std::strcmp(argv[2], "lb") == 0 && argc >= 6) {
    ListBoxQueries(list, std::atoi(argv[3]), std::atoi(argv[4]), f);
  } else if (std::strcmp(argv[2], "cb") == 0) {
    ComboBoxQueries(list, f);
  } else {
    const int index = std::atoi(argv[2]);
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    const LRESULT cursel = SendMessageW(list, LB_GETCURSEL, 0, 0);
    const LRESULT len = SendMessageW(list, LB_GETTEXTLEN, index, 0);
    wchar_t text[512] = L"";
    if (len >= 0 && len < 511) SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
    std::fprintf(f, "%ld %ld %ld|%s", static_cast<long>(count), static_cast<long>(cursel), static_cast<long>(len),
                 Utf8(text).c_str());
  }
  std::fclose(f);
  return 0;
}
