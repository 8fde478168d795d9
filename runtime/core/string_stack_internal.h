// Shared by the string stack's source files only: the one state struct and the slot helpers.
#pragma once
#include <cstdint>

#include "runtime/core/string_stack.h"
#include "runtime/core/thread_data.h"

namespace vel::sstack {

struct State {
  StackSlot slots[kStringStackSlots];
  int depth;  // 0..32; the top is slots[depth-1]
  void* saved[kThreadSlots];  // StackSave blocks of the threads not running, by thread slot
};
extern State g;

// The slot at depth d (1 = top). The caller guarantees 1 <= d <= g.depth.
inline StackSlot* At(int d) { return &g.slots[g.depth - d]; }

// A fresh slot on top, or null when the stack is full (the push is then ignored).
StackSlot* NewSlot();
// Frees what the slot owns; the slot is left as the borrowed empty string.
void Release(StackSlot* s);
// Releases the top slot and removes it (nothing on an empty stack).
void PopTop();
void SetBorrowed(StackSlot* s, const char* text, std::uint32_t length);
void SetHeap(StackSlot* s, char* block, std::uint32_t length);
// Converts a wide, variant or pooled slot in place to narrow text.
void MakeNarrow(StackSlot* s);
// Converts a slot in place to a wide string (kind wide owned, or a wide reference left as is).
void MakeWide(StackSlot* s);
// The wide value of a wide slot (null = empty) and its length in code units.
inline sys::WideString WideOf(const StackSlot* s) { return reinterpret_cast<sys::WideString>(s->text); }
inline sys::Variant* VariantOf(const StackSlot* s) { return reinterpret_cast<sys::Variant*>(s->text); }
void Materialize(StackSlot* s);
// Copies a slot and points inline text at the destination's own inline area.
void MoveSlot(StackSlot* dst, const StackSlot* src);

// The search rule of StackInstring over plain bytes (see string_search.cpp).
std::int32_t Instring(const char* text, std::uint32_t text_length, const char* pattern,
                      std::uint32_t pattern_length, std::int32_t step, std::int32_t start);
// Text-to-real conversion of the runtime: reads a number prefix as the decimal stack does.
double TextToReal(const char* text, std::uint32_t length);
// Writes the text of a real (at most 15 significant digits) into out[24]; returns its length.
std::uint32_t RealToText(double value, char* out);

}  // namespace vel::sstack
