// Binary operations of the string stack: concatenation, comparisons and the search.
//
// The left operand is at depth 2 (pushed first), the right one on top. Every operation pops
// both and, where it has one, pushes its result. With fewer than two slots (a fault of the
// compiled code) the missing operands count as empty strings.
#include <cstring>

#include "runtime/core/collation.h"
#include "runtime/core/memory.h"
#include "runtime/core/string_stack_internal.h"

namespace vel {

using namespace sstack;

namespace {

// Makes sure two operands exist, pushing empty strings for the missing ones.
void EnsureOperands() {
  while (g.depth < 2) NewSlot();
}

void PopBoth() {
  PopTop();
  PopTop();
}

bool IsWideOrVariant(const StackSlot* s) { return (s->kind & kKindWideOrVariant) != 0; }

// Pooled operands become borrowed text (identity comparisons happen before this).
void PooledToNarrow(StackSlot* s) {
  if (s->kind == kSlotPooled) MakeNarrow(s);
}

void ConcatWide(StackSlot* first, StackSlot* second) {
  MakeWide(first);
  MakeWide(second);
  sys::WideString a = WideOf(first), b = WideOf(second);
  std::uint32_t na = sys::WideLength(a), nb = sys::WideLength(b);
  sys::WideString joined = nullptr;
  if (static_cast<std::uint64_t>(na) + nb <= 0x3FFFFFF0u && na + nb) {
    joined = sys::WideAlloc(nullptr, na + nb);
    if (joined) {
      if (na) std::memcpy(joined, a, na * sizeof(sys::WideChar));
      if (nb) std::memcpy(joined + na, b, nb * sizeof(sys::WideChar));
    }
  }
  PopBoth();
  StackPushWideOwned(joined);
}

// Joins the texts of first and second (either order of the stack) into one heap slot.
void Concat(StackSlot* first, StackSlot* second) {
  if (IsWideOrVariant(first) || IsWideOrVariant(second)) {
    ConcatWide(first, second);
    return;
  }
  PooledToNarrow(first);
  PooledToNarrow(second);
  std::uint64_t total = static_cast<std::uint64_t>(first->length) + second->length;
  // A sum beyond 32 bits cannot be a text: it gives the empty string, like a failed block.
  char* block = total && total <= 0xFFFFFFFFu
                    ? static_cast<char*>(MemAlloc(static_cast<std::uint32_t>(total)))
                    : nullptr;
  if (block) {
    if (first->length) std::memcpy(block, first->text, first->length);
    if (second->length) std::memcpy(block + first->length, second->text, second->length);
  }
  PopBoth();
  if (block)
    StackPushOwned(block, static_cast<std::uint32_t>(total));
  else
    StackPushEmpty();
}

int Sign(int v) { return (v > 0) - (v < 0); }

// Wide comparison: code units unsigned; a prefix sorts first.
int CompareWide(StackSlot* left, StackSlot* right) {
  MakeWide(left);
  MakeWide(right);
  sys::WideString a = WideOf(left), b = WideOf(right);
  std::uint32_t na = sys::WideLength(a), nb = sys::WideLength(b);
  for (std::uint32_t i = 0; i < na && i < nb; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return na == nb ? 0 : (na < nb ? -1 : 1);
}

// A variant against anything: the variant layer's comparison, sign as left against right.
int CompareVariant(StackSlot* left, StackSlot* right) {
  bool lv = (left->kind & 8) != 0, rv = (right->kind & 8) != 0;
  if (lv && rv) return sys::VariantCompare(VariantOf(left), VariantOf(right));
  StackSlot* other = lv ? right : left;
  MakeWide(other);
  sys::Variant text;
  sys::VariantInitialise(&text);
  text.type = sys::kVtBstr;
  text.text = WideOf(other);  // borrowed from the slot, released with it
  int r = sys::VariantCompare(lv ? VariantOf(left) : &text, lv ? &text : VariantOf(right));
  return r;
}

std::int32_t Compare(StackSlot* left, StackSlot* right) {
  if (left->kind == kSlotPooled && right->kind == kSlotPooled && left->text == right->text)
    return 0;
  PooledToNarrow(left);
  PooledToNarrow(right);
  if ((left->kind | right->kind) & 8) return CompareVariant(left, right);
  if (IsWideOrVariant(left) || IsWideOrVariant(right)) return CompareWide(left, right);
  return CollateCompare(left->text, left->length, right->text, right->length);
}

}  // namespace

void StackConcat() {
  EnsureOperands();
  Concat(At(2), At(1));
}

void StackConcatReversed() {
  EnsureOperands();
  Concat(At(1), At(2));
}

std::int32_t StackCompare() {
  EnsureOperands();
  std::int32_t r = Compare(At(2), At(1));
  PopBoth();
  return r;
}

std::int32_t StackNotEqual() {
  EnsureOperands();
  StackSlot* left = At(2);
  StackSlot* right = At(1);
  std::int32_t r;
  if (left->kind == kSlotPooled && right->kind == kSlotPooled) {
    r = left->text != right->text;
  } else {
    PooledToNarrow(left);
    PooledToNarrow(right);
    if (IsWideOrVariant(left) || IsWideOrVariant(right))
      r = Compare(left, right) != 0;
    else
      r = BytesDiffer(left->text, left->length, right->text, right->length);
  }
  PopBoth();
  return r;
}

std::int32_t StackComparePrefix() {
  EnsureOperands();
  StackSlot* left = At(2);
  StackSlot* right = At(1);
  MakeNarrow(left);
  MakeNarrow(right);
  std::int32_t r = CollateComparePrefix(left->text, left->length, right->text, right->length);
  PopBoth();
  return Sign(r);
}

std::int32_t StackInstring(std::int32_t step, std::int32_t start) {
  EnsureOperands();
  StackSlot* text = At(2);
  StackSlot* pattern = At(1);
  MakeNarrow(text);
  MakeNarrow(pattern);
  std::int32_t r = Instring(text->text, text->length, pattern->text, pattern->length, step, start);
  PopBoth();
  return r;
}

}  // namespace vel
