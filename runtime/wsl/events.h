// Events and the ACCEPT loop.
//
// An event record is created when the event is posted, owned by the window's pending list
// until delivered, then by the window as its current event until the next one replaces it.
// Posting goes through the platform queue (message 0x241B to the window, whose procedure
// appends the record to the pending list) or, with priority or before the window has a
// handle, straight onto the pending list with an empty wake-up message.
//
// The loop is pull-style:
//
//   while (Accept()) {
//     if (EventCode() == kEvCloseWindow && busy) { AcceptCycle(); continue; }  // result 1
//     ...
//     if (done) break;                                                        // leaves it
//   }
//
// Each Accept() call finishes the previous iteration (result 0, or 1 after AcceptCycle),
// applies what the result decides, and runs the loop's turns until the next event is
// delivered (true) or the loop stops (false, with a requested close carried out).
// All of it runs under the runtime lock, which the loop gives up only while it waits for
// platform messages.
//
// Events that arrive while the body runs (a message box or a pop-up menu in the body runs a
// message loop of its own, which dispatches the user's clicks to the window) are queued like
// any other and delivered, in order, once the body has ended: there is no nested delivery,
// and nothing is dropped. This is deliberate: giving such an event only its default
// processing and releasing it would lose what the user did while the box was up.
#pragma once
#include <windows.h>

#include <cstdint>

#include "runtime/wsl/event_codes.h"

namespace vel::wsl {

class Window;
class Control;

struct EventRecord {
  Window* window = nullptr;
  int code = 0;                    // internal code
  int thread = 0;                  // thread number of the window
  Control* control = nullptr;
  Control* selected = nullptr;     // the window's selected control at posting time
  std::uint32_t key_state = 0;     // low 11 bits: key code of the triggering action
  std::uint8_t flags[2] = {0, 0};
  std::int32_t x = 0, y = 0;       // pointer position at posting time

  virtual ~EventRecord() = default;
  virtual EventRecord* Clone(int new_code, Control* new_control) const;
  virtual void BeforeDelivery();   // EVENT:Accepted: the control's value goes to its variable
  virtual void AfterDelivery() {}
};

// Posts internal code `internal` for `control` (null: a window event) to `window`.
// Silently dropped while the runtime shuts down or when the window is not open. A key code
// of 0 or more replaces the low 11 bits of the record's key state (the triggering action).
void PostWindowEvent(Window* window, int internal, Control* control, bool priority = false, int key = -1);

// --- the operations compiled procedures call
bool Accept();
void AcceptCycle();               // ends the current iteration early (result 1)
int EventCode();                  // current event's code - 0x1400, 0 when none
int EventField();                 // field number of the current event's control, else 0
int AcceptedField();              // EventField for EVENT:Accepted, else 0
// Queues code + 0x1400 to the thread's top window (0 = calling thread); field 0 = none.
void PostEvent(int code, int field = 0, int thread = 0);
// The key code (low 11 bits) of the keystroke or mouse action that triggered the current
// event, or the thread's last one when there is no current event. Every key pressed and every
// mouse button pressed or double-clicked in a loop's window sets it (events.cpp, KeyCodeOf).
int LastKeyCode();
void SetLastKeyCode(int key);

// Switches event delivery off (shutdown): every later post is dropped.
void SetEventDelivery(bool on);
bool EventDelivery();
// Releases every record of a window (its pending list, its current event).
void ReleaseWindowEvents(Window* window);
// The window procedure's handler of message 0x241B.
void ReceivePostedEvent(Window* window, LPARAM record);
// The window timer's tick (platform timer 1).
void TimerTick(Window* window);

// Thread-switch bookkeeping shared with the loop (the thread that last ran a body).
void ResetLoopBookkeeping();

}  // namespace vel::wsl
