// The stall display (see stall.h). State: the wait (written by whoever issues a call or sees
// its end, any thread; atomic) and the text on show (window thread only).
#include "app/stall.h"

#include <atomic>
#include <cstring>

#include "app/globals.h"
#include "app/ui.h"
#include "net/ftpnet.h"

namespace ftpcl {

namespace {

struct Wait {
  std::atomic<int> zone{0};  // 0: nothing waits for the server
  std::atomic<ULONGLONG> traffic_at{0};
};
Wait g_wait;

// The stall text on show: its zone (0: none), the text, and the zone's text it replaced.
struct Shown {
  int zone = 0;
  std::string text, replaced;
};
Shown g_shown;

// The stall text goes: back to what it replaced while the wait goes on (data moves again),
// emptied when the wait is over; a zone the request has written since keeps its new text.
void EndStallText(bool waiting) {
  if (!g_shown.zone) return;
  if (ZoneText(g_shown.zone) == g_shown.text) StatusText(g_shown.zone, waiting ? g_shown.replaced : "");
  g_shown = Shown{};
}

void ShowQuiet(int zone, ULONGLONG quiet_ms) {
  if (g_shown.zone != zone) {
    EndStallText(true);
    g_shown.zone = zone;
    g_shown.replaced = ZoneText(zone);
  }
  g_shown.text = StallText(quiet_ms / 1000);
  StatusText(zone, g_shown.text);
}

}  // namespace

void AwaitServer(int zone) {
  g_wait.traffic_at = GetTickCount64();
  g_wait.zone = zone;
}

int StallZoneOf(std::int16_t code) {
  return code == kGetRunning || code == kPutRunning ? kStallZoneBytes : kStallZoneSteps;
}

void NoteTrafficOf(DWORD status, const void* info, DWORD length) {
  if (status != INTERNET_STATUS_REQUEST_SENT && status != INTERNET_STATUS_RESPONSE_RECEIVED) return;
  DWORD count = 0;
  if (info && length >= sizeof count) std::memcpy(&count, info, sizeof count);
  if (count) g_wait.traffic_at = GetTickCount64();
}

void ServerAnswered() { g_wait.zone = 0; }

void ShowStall() {
  const int zone = g_wait.zone;
  const ULONGLONG quiet = GetTickCount64() - g_wait.traffic_at;
  if (zone && quiet >= kStallAfterMs) {
    ShowQuiet(zone, quiet);
    return;
  }
  EndStallText(zone != 0);
}

std::string StallText(ULONGLONG seconds) { return "No data for " + std::to_string(seconds) + " s"; }

}  // namespace ftpcl
