// The decimal stack proper: the 10 registers with their depth, the integer pushes and pops, the
// operations that replace the top registers, and save/restore for thread switches.
//
// Stack discipline: a push onto a full stack is ignored (the older registers stay intact); an
// operation or pop that finds fewer registers than it needs reads the missing ones as zero.
// Either situation is a fault of the compiled code; neither may touch memory outside g_stack.
//
// Saved block layout (DecSave): byte 0 = depth (1..10), then depth registers of 67 bytes each,
// bottom first, exactly as they are held.
#include "runtime/core/decimal.h"

#include <cstring>

#include "runtime/core/decimal_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/thread_data.h"

namespace vel {
namespace dec {

Stack g_stack;

DecRegister* PushSlot() {
  if (g_stack.depth >= kDecRegisters) return nullptr;
  g_stack.held[g_stack.depth].held = false;
  return &g_stack.regs[g_stack.depth++];
}

void EnsureDepth(int n) {
  while (g_stack.depth < n) {
    g_stack.held[g_stack.depth].held = false;
    SetZero(g_stack.regs[g_stack.depth++]);
  }
}

DecRegister& PopRegister() {
  EnsureDepth(1);
  return Unpacked(--g_stack.depth);
}

DecRegister& Top() {
  EnsureDepth(1);
  return Unpacked(g_stack.depth - 1);
}

namespace {

// left := left + right (right negated first when negate_right), then the result negated when
// negate_result; the right operand is popped. Two held operands with the same places are added
// as they are held.
void AddTop(bool negate_right, bool negate_result) {
  EnsureDepth(2);
  const int right = --g_stack.depth, left = right - 1;
  HeldValue& l = g_stack.held[left];
  if (l.held && g_stack.held[right].held && AddHeld(l, g_stack.held[right], negate_right)) {
    if (negate_result && (l.lo | l.hi) != 0) l.negative = !l.negative;
    return;
  }
  DecRegister& r = Unpacked(right);
  DecRegister& result = Unpacked(left);
  Add(result, r, negate_right);
  if (negate_result) Negate(result);
}

void ClearHeld() {
  for (HeldValue& h : g_stack.held) h.held = false;
}

}  // namespace

}  // namespace dec

using dec::g_stack;

void DecPushInteger(std::int32_t value) {
  DecRegister* r = dec::PushSlot();
  if (!r) return;
  // The magnitude of INT32_MIN only fits unsigned.
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value)
                                      : static_cast<std::uint32_t>(value);
  dec::SetUnsigned(*r, magnitude, value < 0);
}

void DecPushUnsigned(std::uint32_t value) {
  DecRegister* r = dec::PushSlot();
  if (r) dec::SetUnsigned(*r, value, false);
}

void DecDuplicate() {
  dec::EnsureDepth(1);
  DecRegister* r = dec::PushSlot();
  if (r) {
    *r = r[-1];
    g_stack.held[g_stack.depth - 1] = g_stack.held[g_stack.depth - 2];
  }
}

std::int32_t DecPopInteger() {
  const DecRegister& r = dec::PopRegister();
  // Integer digits from high down to the units (or to low when that is above the units),
  // accumulated modulo 2^32; the fraction is dropped, which truncates toward zero.
  std::uint32_t v = 0;
  int stop = r.low > kDecUnits ? r.low : kDecUnits;
  for (int i = r.high; i >= stop; --i) v = v * 10u + r.digits[i];
  for (int i = stop; i > kDecUnits; --i) v *= 10u;
  if (r.sign) v = 0u - v;
  return static_cast<std::int32_t>(v);
}

std::int32_t DecPopTruth() { return dec::IsZero(dec::PopRegister()) ? 0 : 1; }

void DecAdd() { dec::AddTop(false, false); }
void DecSubtract() { dec::AddTop(true, false); }
void DecSubtractReversed() { dec::AddTop(true, true); }

void DecMultiply() {
  dec::EnsureDepth(2);
  const int top = --g_stack.depth;
  if (g_stack.held[top].held && g_stack.held[top - 1].held) {
    dec::MultiplyHeld(g_stack.regs[top - 1], g_stack.held[top - 1], g_stack.held[top]);
    return;
  }
  DecRegister& right = dec::Unpacked(top);
  dec::Multiply(dec::Unpacked(g_stack.depth - 1), right);
}

void DecDivide() {
  dec::EnsureDepth(2);
  const int top = --g_stack.depth;
  if (g_stack.held[top].held && g_stack.held[top - 1].held) {
    dec::DivideHeld(g_stack.regs[top - 1], g_stack.held[top - 1], g_stack.held[top]);
    return;
  }
  DecRegister& right = dec::Unpacked(top);
  dec::Divide(dec::Unpacked(g_stack.depth - 1), right);
}

void DecPower(std::int32_t exponent) { dec::Power(dec::Top(), exponent); }

std::int32_t DecCompare() {
  dec::EnsureDepth(2);
  g_stack.depth -= 2;
  return dec::Compare(dec::Unpacked(g_stack.depth), dec::Unpacked(g_stack.depth + 1));
}

std::int32_t DecCompareReversed() { return -DecCompare(); }

void DecRound(std::int32_t places) { dec::Round(dec::Top(), places); }
void DecTruncate() { dec::Truncate(dec::Top()); }
void DecAbsolute() { dec::Top().sign = 0; }
void DecNegate() { dec::Negate(dec::Top()); }

void* DecSave() {
  if (g_stack.depth == 0) return nullptr;
  for (int i = 0; i < g_stack.depth; ++i) dec::Unpacked(i);
  std::uint32_t bytes = g_stack.depth * sizeof(DecRegister);
  auto* block = static_cast<std::uint8_t*>(MemAlloc(1 + bytes));
  if (!block) return nullptr;
  block[0] = g_stack.depth;
  std::memcpy(block + 1, g_stack.regs, bytes);
  return block;
}

void DecRestore(void* saved) {
  g_stack.depth = 0;
  dec::ClearHeld();
  if (!saved) return;
  auto* block = static_cast<std::uint8_t*>(saved);
  int depth = block[0] <= kDecRegisters ? block[0] : kDecRegisters;
  std::memcpy(g_stack.regs, block + 1, depth * sizeof(DecRegister));
  // A block is only ever one of ours, but a register with a bad range would let the arithmetic
  // index outside its digits: check rather than trust.
  for (int i = 0; i < depth; ++i) dec::Sanitize(g_stack.regs[i]);
  g_stack.depth = static_cast<std::uint8_t>(depth);
  MemFree(saved);
}

namespace {
// DecSave blocks of the application threads that are not running, by thread slot.
void* g_saved[kThreadSlots];
}  // namespace

void DecimalStackSwitch(int from, int to) {
  if (from >= 0 && from < kThreadSlots) {
    MemFree(g_saved[from]);  // a stale entry can no longer be restored
    g_saved[from] = DecSave();
  }
  void* incoming = nullptr;
  if (to >= 0 && to < kThreadSlots) {
    incoming = g_saved[to];
    g_saved[to] = nullptr;
  }
  DecRestore(incoming);
}

void DecimalStackReleaseThread(int slot) {
  if (slot < 0 || slot >= kThreadSlots) return;
  MemFree(g_saved[slot]);
  g_saved[slot] = nullptr;
}

void DecimalStackInitTerm(int flag) {
  g_stack.depth = 0;
  dec::ClearHeld();
  if (flag != 0) {
    for (int slot = 0; slot < kThreadSlots; ++slot) DecimalStackReleaseThread(slot);
  }
}

int DecDepth() { return g_stack.depth; }

const DecRegister* DecPeek(int depth) {
  if (depth < 1 || depth > g_stack.depth) return nullptr;
  return &dec::Unpacked(g_stack.depth - depth);
}

}  // namespace vel
