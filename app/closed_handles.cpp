// Handles the window has closed: a ring of atomic slots (see closed_handles.h).
#include "app/closed_handles.h"

#include <atomic>

namespace ftpcl {

namespace {

std::atomic<HINTERNET> g_closed[kRemembered];
std::atomic<unsigned> g_next{0};

}  // namespace

void NoteClosed(HINTERNET h) {
  if (h) g_closed[g_next++ % kRemembered] = h;
}

bool WasClosed(HINTERNET h) {
  if (!h) return false;
  for (const std::atomic<HINTERNET>& slot : g_closed)
    if (slot.load() == h) return true;
  return false;
}

void ForgetClosed(HINTERNET h) {
  for (std::atomic<HINTERNET>& slot : g_closed) {
    HINTERNET expected = h;
    slot.compare_exchange_strong(expected, nullptr);
  }
}

}  // namespace ftpcl
