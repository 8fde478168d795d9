// Opens the client's main window from the program's descriptor resource with its start-up
// values and empty lists, lets it paint, and saves what the screen shows of it as a bitmap
// (main_window.bmp in the working directory); the test command turns it into a PNG artifact.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/data/queue.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"
#include "runtime/wsl/properties.h"
#include "support/check.h"
#include "../unit/wsl_window_support.h"

using namespace vel::wsl;

namespace {

// The main window's variables in the order of its bound controls.
struct MainVariables {
  std::uint8_t use_preconfig = 0;
  char proxy[40] = "";
  char server_name[40] = "ftp.example.org";
  char user_name[20] = "Anonymous";
  char password[20] = "plume";
  std::uint8_t passive = 0;
  char current_ftp_dir[260] = "";
  std::int32_t transfer_type = 2;
  std::int32_t percent = 0;
  vel::QueueBlock remote_queue{};  // the lists' queues: empty, never used
  char local_dir[126] = "C:\\USERS\\";
  vel::QueueBlock dir_queue{}, file_queue{}, drive_queue{};
};

bool SaveWindowBitmap(HWND hwnd, const std::string& path) {
  RECT r;
  GetWindowRect(hwnd, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(mem, old);
  BITMAPINFOHEADER bi{};
  bi.biSize = sizeof bi;
  bi.biWidth = w;
  bi.biHeight = h;
  bi.biPlanes = 1;
  bi.biBitCount = 24;
  bi.biCompression = BI_RGB;
  const int stride = (w * 3 + 3) & ~3;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * h);
  GetDIBits(mem, bmp, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER bf{};
  bf.bfType = 0x4D42;
  bf.bfOffBits = sizeof bf + sizeof bi;
  bf.bfSize = bf.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fwrite(&bf, sizeof bf, 1, f);
  std::fwrite(&bi, sizeof bi, 1, f);
  std::fwrite(pixels.data(), 1, pixels.size(), f);
  return std::fclose(f) == 0;
}

}  // namespace

TEST_CASE("screenshot: the main window with empty lists") {
  wsltest::Setup();
  static MainVariables v;
  void* addresses[] = {&v.use_preconfig, v.proxy, v.server_name, v.user_name, v.password, &v.passive,
                       v.current_ftp_dir, &v.transfer_type, &v.percent, &v.remote_queue, v.local_dir,
                       &v.dir_queue, &v.file_queue, &v.drive_queue, nullptr};
  Window* w = nullptr;
  WindowOpen(&w, wsltest::kModule, "P33$WINDOW", addresses);
  REQUIRE(w);
  DisplayFields();
  // The state right after start-up: no session, so only Start and Proxy are enabled.
  for (int field : {3, 7, 9, 11, 12, 13, 14, 17, 20, 21}) PropertySet(w, field, PropertyCode("Disable"), "1");
  PropertySet(w, 0, PropertyCode("StatusText"), 1, "Ready");
  SelectField(1);
  SetForegroundWindow(w->hwnd);
  wsltest::Pump(30);
  CHECK(SaveWindowBitmap(w->hwnd, "main_window.bmp"));
  WindowClose(&w);
}
