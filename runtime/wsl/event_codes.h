// Event codes and their names.
//
// Every event has an internal code; the program sees internal - 0x1400. Field events
// (0x1401..0x141E) concern a control, window events (0x1501, 0x1601..0x1642) the window.
// Codes the program posts itself (0x400 and up, internal 0x1800 and up) pass unchanged.
// The name table keeps, in this order, the event names, the notifications between windows and
// controls (QUERY_*), and the platform window messages the trace shows by name.
#pragma once
#include <string>

namespace vel::wsl {

constexpr int kEventBase = 0x1400;

enum EventCode : int {
  kEvAccepted = 0x01, kEvNewSelection = 0x02, kEvScrollUp = 0x03, kEvScrollDown = 0x04,
  kEvPageUp = 0x05, kEvPageDown = 0x06, kEvScrollTop = 0x07, kEvScrollBottom = 0x08,
  kEvLocate = 0x09, kEvMouseUp = 0x0A, kEvMouseIn = 0x0B, kEvMouseOut = 0x0C,
  kEvMouseMove = 0x0D, kEvVBXevent = 0x0E, kEvAlertKey = 0x0F, kEvPreAlert = 0x10,
  kEvDragging = 0x11, kEvDrag = 0x12, kEvDrop = 0x13, kEvScrollDrag = 0x14,
  kEvTabChanging = 0x15, kEvExpanding = 0x16, kEvContracting = 0x17, kEvExpanded = 0x18,
  kEvContracted = 0x19, kEvRejected = 0x1A, kEvDroppingDown = 0x1B, kEvDroppedDown = 0x1C,
  kEvScrollTrack = 0x1D, kEvColumnResize = 0x1E,
  kEvSelected = 0x101,
  kEvCloseWindow = 0x201, kEvCloseDown = 0x202, kEvOpenWindow = 0x203, kEvOpenFailed = 0x204,
  kEvLoseFocus = 0x205, kEvGainFocus = 0x206, kEvSuspend = 0x208, kEvResume = 0x209,
  kEvNotify = 0x20A, kEvTimer = 0x20B, kEvDDErequest = 0x20C, kEvDDEadvise = 0x20D,
  kEvDDEdata = 0x20E, kEvDDEexecute = 0x20F, kEvDDEpoke = 0x210, kEvDDEclosed = 0x211,
  kEvMove = 0x220, kEvSize = 0x221, kEvRestore = 0x222, kEvMaximize = 0x223,
  kEvIconize = 0x224, kEvCompleted = 0x225, kEvMoved = 0x230, kEvSized = 0x231,
  kEvRestored = 0x232, kEvMaximized = 0x233, kEvIconized = 0x234, kEvDocked = 0x235,
  kEvUnDocked = 0x236, kEvBuildFile = 0x240, kEvBuildKey = 0x241, kEvBuildDone = 0x242,
};

// Private platform messages of the loop.
constexpr unsigned kMsgPostedEvent = 0x241B;  // lParam: an event record for the window
constexpr unsigned kMsgHandOver = 0x2415;     // bring the thread's top window to the front

// True for internal codes 0x1401..0x141E (events that carry a control).
inline bool IsFieldEvent(int internal) { return internal >= 0x1401 && internal <= 0x141E; }

// Name of an internal code (event, QUERY_* notification or window message), or null.
const char* EventName(int internal);
// The trace form: "NAME (%d (0%XH))" with a name, "%d (0%XH)" without.
std::string EventTraceText(int internal);

}  // namespace vel::wsl
