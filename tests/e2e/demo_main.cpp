// The demo's driver (scripts/run without a display): waits for the client's window, starts a
// session, connects to the demo server, opens the "pub" folder and saves a screenshot.
//   ui_demo.exe HOST SCREENSHOT.bmp
#include <windows.h>

#include <cstdio>
#include <string>

#include "e2e/ui_driver.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string host = argv[1], shot = argv[2];
  HWND main = nullptr;
  if (!uidriver::WaitUntil([&] { return (main = FindWindowA(nullptr, "Asynchronous FTP Client")) != nullptr; }, 30000)) {
    std::puts("the client's window did not appear");
    return 1;
  }
  uidriver::Client c;
  if (!c.Attach(main)) return 1;
  uidriver::WaitUntil([&] { return !c.Enabled(3); }, 5000);  // start-up done
  c.Press(2);                                                // Start Internet Session
  uidriver::WaitUntil([&] { return c.Enabled(12); }, 5000);
  c.SetText(7, host);
  c.Press(12);  // Connect
  if (!uidriver::WaitUntil([&] { return c.Enabled(14) && c.RowCount(25) > 1; }, 30000)) {
    std::puts("no connection to the demo server");
    c.Screenshot(main, shot);
    return 1;
  }
  const int pub = c.FindRow(25, "pub");
  if (pub > 0 && c.DoubleClick(25, pub)) {
    const int rows = c.RowCount(25);
    uidriver::WaitUntil([&] { return c.RowCount(25) > rows; }, 15000);
  }
  Sleep(500);
  return c.Screenshot(main, shot) ? 0 : 1;
}
