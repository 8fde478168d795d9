// Window operations of the procedures on the main window through MAINWINDOW.
#include "app/ui.h"

#include <windows.h>

#include "app/globals.h"
#include "runtime/wsl/icons.h"
#include "runtime/wsl/message_dialog.h"
#include "runtime/wsl/mouse_cursor.h"
#include "runtime/wsl/properties.h"
#include "runtime/wsl/property_codes.h"
#include "runtime/wsl/window.h"

namespace ftpcl {

namespace {

// The texts last set per zone (0 and 1 are the same zone): a notification that repeats the
// text already shown (a transfer's stream of "Response received") costs no message to the
// window's thread.
std::string g_zone_text[5];
const vel::wsl::Window* g_zone_window = nullptr;

}  // namespace

bool MainWindowOpen() {
  vel::wsl::RuntimeLockGuard lock;
  return g.mainwindow && vel::wsl::IsLiveWindow(g.mainwindow) && g.mainwindow->IsOpen();
}

void StatusText(int zone, const std::string& text) {
  vel::wsl::RuntimeLockGuard lock;
  if (!MainWindowOpen()) return;
  const int slot = zone == 0 ? 1 : zone;
  if (g_zone_window != g.mainwindow) {
    for (std::string& t : g_zone_text) t.assign(1, '\x01');  // never equal to a real text
    g_zone_window = g.mainwindow;
  }
  if (slot >= 1 && slot <= 4) {
    if (g_zone_text[slot] == text) return;
    g_zone_text[slot] = text;
  }
  vel::wsl::PropertySet(g.mainwindow, 0, vel::wsl::kPropStatusText, zone, text);
}

std::string ZoneText(int zone) {
  vel::wsl::RuntimeLockGuard lock;
  const int slot = zone == 0 ? 1 : zone;
  if (g_zone_window != g.mainwindow || slot < 1 || slot > 4 || g_zone_text[slot] == "\x01") return std::string();
  return g_zone_text[slot];
}

void Disable(int field, bool disabled) {
  vel::wsl::PropertySet(g.mainwindow, field, vel::wsl::kPropDisable, disabled ? "1" : "");
}

std::string QuestionIcon() { return vel::wsl::IconReferenceText(1, 0x7F03); }
std::string ExclamationIcon() { return vel::wsl::IconReferenceText(1, 0x7F04); }

int Message(const std::string& text, const std::string& caption, const std::string& icon,
            const std::string& buttons, unsigned default_button) {
  return vel::wsl::MessageDialog(text, caption, icon, buttons, default_button, false);
}

void BusyCursor(bool busy) {
  // Stock reference FF 01 03 7F: the platform's cursor 7F03h - 1, the hourglass; none gives
  // the windows their class cursors back. The listing may run on the FTP library's thread.
  vel::wsl::SetMouseCursor(busy ? std::string("\xFF\x01\x03\x7F", 4) : std::string());
}

}  // namespace ftpcl
