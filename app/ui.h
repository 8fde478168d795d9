// The window operations the procedures use, in the forms they are written with: status texts of
// the main window, the Disable property, message boxes, the busy cursor, and the calls into the
// FTP library, which are always made with the runtime lock given up (a blocking call must not
// hold it, and closing a session waits for its notification thread, which may be waiting for
// the lock in the status callback).
#pragma once
#include <string>
#include <utility>

#include "runtime/wsl/runtime_lock.h"

namespace ftpcl {

// Status zone n (1..4) of the main window; zone 0 is the window status text (zone 1). Zone 4
// holds the counts of tagged rows (app/tags.h).
void StatusText(int zone, const std::string& text);
inline void WindowStatus(const std::string& text) { StatusText(0, text); }
// The text status zone n (1..4) was last given ("" before any).
std::string ZoneText(int zone);

// The Disable property of a main-window control.
void Disable(int field, bool disabled);

// MessageDialog with the platform's stock icons by reference (kind 1, identifier 7F03h/7F04h).
std::string QuestionIcon();
std::string ExclamationIcon();
int Message(const std::string& text, const std::string& caption = "", const std::string& icon = "",
            const std::string& buttons = "1", unsigned default_button = 1);
constexpr int kButtonYes = 2, kButtonNo = 4, kButtonsYesNo = 6;

// The main window still open: a listing or the status callback may run on after the window
// ended (its handle goes when the loop ends, before the procedure closes it).
bool MainWindowOpen();

// The mouse cursor of stock reference 7F03h (the hourglass) and back to the arrow.
void BusyCursor(bool busy);

// Runs a call into the FTP library with the runtime lock given up.
template <typename F>
auto Net(F&& call) {
  vel::wsl::RuntimeLockReleased released;
  return std::forward<F>(call)();
}

}  // namespace ftpcl
