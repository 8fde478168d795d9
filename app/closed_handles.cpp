// Handles the window has closed: a ring of atomic slots (see closed_handles.h).
#include "app/closed_handles.h"

#include <atomic>

namespace ftpcl {

namespace {

struct Ring {
  std::atomic<HINTERNET> slots[kRemembered];
  std::atomic<unsigned> next{0};  // the slot the next noted handle takes (modulo kRemembered)
};
Ring g_ring;

}  // namespace

void NoteClosed(HINTERNET h) {
  if (h) g_ring.slots[g_ring.next++ % kRemembered] = h;
}

bool WasClosed(HINTERNET h) {
  if (!h) return false;
  for (const std::atomic<HINTERNET>& slot : g_ring.slots)
    if (slot.load() == h) return true;
  return false;
}

void ForgetClosed(HINTERNET h) {
  for (std::atomic<HINTERNET>& slot : g_ring.slots) {
    HINTERNET expected = h;
    slot.compare_exchange_strong(expected, nullptr);
  }
}

}  // namespace ftpcl
