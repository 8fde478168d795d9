// The string stack: 32 slots on which compiled code evaluates every string expression and
// through which builtins take and return text.
//
// Slot layout: kind (32-bit), text pointer, length (32-bit, bytes of narrow text), and a
// 24-byte inline area for short texts and variant copies. The top is slot depth-1; "depth 1"
// in the comments below is the top, depth 2 the slot under it (the left operand of a binary
// operation, pushed first).
//
// Invariants:
//   - an inline slot's text points into its own inline area (rolls re-base the pointer);
//   - a heap slot's text is the start of its block (MemAlloc), owned by the slot until popped;
//   - null text with length 0 is the empty string;
//   - a push onto a full stack (32 slots) is ignored; an owned value offered to a full stack
//     is released at once so that it does not leak.
// Operations that need narrow text first convert a wide, variant or pooled slot in place.
//
// No lock of its own: only the thread holding the runtime lock evaluates expressions, and the
// thread switch keeps each application thread's stack apart with StackSave/StackRestore.
#pragma once
#include <cstdint>

#include "runtime/core/sys.h"

namespace vel {

constexpr int kStringStackSlots = 32;
constexpr std::uint32_t kInlineArea = 24;

enum StackKind : std::uint32_t {
  kSlotBorrowed = 0,      // text owned by someone else (variable, literal)
  kSlotHeap = 1,          // text in a MemAlloc block owned by the slot
  kSlotInline = 2,        // text in the slot's inline area
  kSlotWideRef = 4,       // borrowed wide system string (text = WideString)
  kSlotWideOwned = 5,     // owned wide system string
  kSlotVariantRef = 8,    // text = borrowed sys::Variant*
  kSlotVariantOwned = 10, // a sys::Variant copied into the inline area (text points at it)
  kSlotPooled = 16,       // text = pooled string: 16-bit length in the two bytes before it
};
// Kind bits.
constexpr std::uint32_t kKindOwnsOutside = 1;
constexpr std::uint32_t kKindInline = 2;
constexpr std::uint32_t kKindNotNarrow = 4 | 8 | 16;
constexpr std::uint32_t kKindWideOrVariant = 4 | 8;

struct StackSlot {
  std::uint32_t kind;
  char* text;
  std::uint32_t length;
  alignas(8) char inline_area[kInlineArea];
};

// --- pushes ----------------------------------------------------------------------------------
void StackPushString(const char* text, std::uint32_t length);   // borrowed; null -> empty
void StackPushOwned(char* block, std::uint32_t length);         // heap; takes the MemAlloc block
void StackPushEmpty();
void StackPushCString(const char* text);                        // may be null; then materialised
void StackPushInteger(std::int32_t value);                      // inline decimal text
void StackPushBoolean(std::int32_t flag);                       // "1" or empty
void StackPushReal(double value);                               // inline, <= 15 significant digits
void StackPushWide(sys::WideString s);                          // wide reference
void StackPushWideOwned(sys::WideString s);                     // wide owned (takes it)
void StackPushVariant(sys::Variant* v);                         // variant reference
void StackPushPooled(const char* pooled);                       // pooled (may be null)

// --- pops ------------------------------------------------------------------------------------
// Zero-terminated destination of size n: min(length, n-1) bytes and a zero byte.
// n = 0 or a null destination writes nothing (the value is still popped).
void StackPopToCString(char* destination, std::uint32_t size);
// Fixed destination of size n: min(length, n) bytes, blank-padded to n.
void StackPopToString(char* destination, std::uint32_t size);
// The text in a MemAlloc block now owned by the caller (null and 0 when it cannot be had).
char* StackPopToHeap(std::uint32_t* length);
std::uint32_t StackPopLength();
std::uint32_t StackLength();                                    // LEN of the top, not popped
void StackDrop();
std::int32_t StackPopCondition();                               // 1 when not blank
double StackPopReal();
// A variant on the top is popped and converted by the system's variant conversion (true,
// *value set; a value that cannot be converted gives 0). Any other top is left untouched
// (false). The integer pop of the decimal module starts with this.
bool StackPopVariantInteger(std::int32_t* value);

// Bridges with the decimal stack. They are defined by the decimal stack's module, built on the
// calls of this header:
//   StackPopToDecimal: StackPopToCString into 100 bytes (at most 99 taken), then DecPushText;
//   StackPushDecimal:  DecPopText into 80 bytes, then StackPushCString;
//   StackPopInteger:   StackPopVariantInteger, else StackPopToDecimal and DecPopInteger.
void StackPopToDecimal();
void StackPushDecimal();
std::int32_t StackPopInteger();

// --- transformations of the top ------------------------------------------------------------
void StackClip();                                  // remove trailing blanks (0x20 only)
void StackLeft(std::int32_t length);               // left-justify; -1 = the length before
void StackSetLength(std::uint32_t length);         // truncate or blank-pad to length
void StackUpper();
void StackLower();
void StackSub(std::int32_t start, std::int32_t length);
void StackAll(std::uint32_t length);               // repeat the text to fill length bytes
void StackRoll(std::int32_t n);                    // depth n+1 moves to the top
void StackMaterialize();                           // make a borrowed value private

// --- binary operations (depth 2 is the left operand) ---------------------------------------
void StackConcat();
void StackConcatReversed();
std::int32_t StackCompare();
std::int32_t StackNotEqual();
std::int32_t StackComparePrefix();
// 1-based position (in steps) of the pattern (top) in the text (depth 2), 0 when absent.
std::int32_t StackInstring(std::int32_t step, std::int32_t start);

// --- save and restore (thread switch) ------------------------------------------------------
// A MemAlloc block: the depth (32-bit) followed by copies of the used slots; null when empty.
// The stack itself is not changed.
void* StackSave();
// Copies a saved block back and frees it; null empties the stack (without releasing: the
// slots belong to a saved block or are abandoned by the assertion path).
void StackRestore(void* saved);

// Releases what the slots of a saved block own and frees the block (a thread that ended
// with a saved stack). Null does nothing.
void StackDiscardSaved(void* saved);

// The per-thread keeping of saved stacks, in the form of the thread layer's switch and release
// handlers: StringStackSwitch saves the running stack into slot `from` (when from >= 0) and
// restores slot `to`'s (an empty stack when it has none), clearing that entry;
// StringStackReleaseThread discards a slot's saved stack. Slots are 0..63.
void StringStackSwitch(int from, int to);
void StringStackReleaseThread(int slot);

// --- direct assignment -----------------------------------------------------------------------
// n = 0: nothing. Null text: length > 0 fills n-1 bytes with 0xFF, else empty. Otherwise
// min(length, n-1) bytes (a negative length copies nothing). A zero byte always follows.
void AssignCString(char* destination, std::uint32_t size, const char* text, std::int32_t length);
// n = 0: nothing. Null text fills n bytes: blank (length 0), 0x00 (negative), 0xFF (positive).
// Otherwise min(length, n) bytes (a negative length copies nothing), blank-filled to n.
// Overlapping source and destination are handled.
void AssignString(char* destination, std::uint32_t size, const char* text, std::int32_t length);
void ClearString(char* destination, std::uint32_t size);

// --- typed values ----------------------------------------------------------------------------
// The typed value layer calls this when it meets a data type code it cannot bind to the stack:
// runtime error 501 "String Stack Error".
void StringStackTypeError();

// --- lifecycle and introspection -----------------------------------------------------------
// Initialise (0) / terminate (1): installs the assertion path's reset hook; terminate releases
// whatever slots are left.
void StringStackInitTerm(int flag);
int StackDepth();
const StackSlot* StackPeek(int depth);   // depth 1 = top; null when there is no such slot
// Releases every slot and empties the stack (tests, termination).
void StackReset();

}  // namespace vel
