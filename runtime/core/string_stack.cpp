// The string stack: slots, pushes, pops, transformations of the top, save/restore.
//
// State: g.slots[0..depth-1] are in use, the top is slots[depth-1]. Each used slot obeys the
// kind rules of string_stack.h: an inline slot's text lies in its own inline_area, a heap
// slot's text is the start of a MemAlloc block it owns, a wide owned slot owns a system
// string, a variant owned slot holds a variant in its inline area. Slots at and above depth
// own nothing (their contents are stale copies).
//
// Every operation on the top tolerates an empty stack (a fault of the compiled code): pops
// then yield the empty string or 0 and transformations do nothing.
#include "runtime/core/string_stack.h"

#include <cstring>

#include "runtime/core/collation.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/string_stack_internal.h"

namespace vel {
namespace sstack {

State g;

StackSlot* NewSlot() {
  if (g.depth >= kStringStackSlots) return nullptr;  // full: the push is ignored
  StackSlot* s = &g.slots[g.depth++];
  s->kind = kSlotBorrowed;
  s->text = nullptr;
  s->length = 0;
  return s;
}

void SetBorrowed(StackSlot* s, const char* text, std::uint32_t length) {
  s->kind = kSlotBorrowed;
  s->text = const_cast<char*>(text);
  s->length = text ? length : 0;
}

void SetHeap(StackSlot* s, char* block, std::uint32_t length) {
  s->kind = kSlotHeap;
  s->text = block;
  s->length = length;
}

void Release(StackSlot* s) {
  switch (s->kind) {
    case kSlotHeap: MemFree(s->text); break;
    case kSlotWideOwned: sys::WideFree(WideOf(s)); break;
    case kSlotVariantOwned: sys::VariantRelease(VariantOf(s)); break;
    default: break;
  }
  SetBorrowed(s, nullptr, 0);
}

void PopTop() {
  if (g.depth == 0) return;
  Release(At(1));
  --g.depth;
}

void MoveSlot(StackSlot* dst, const StackSlot* src) {
  if (dst == src) return;
  std::memcpy(dst, src, sizeof *dst);
  if (src->kind & kKindInline) dst->text = dst->inline_area + (src->text - src->inline_area);
}

void Materialize(StackSlot* s) {
  switch (s->kind) {
    case kSlotBorrowed:
      if (s->length <= kInlineArea) {
        if (s->length) std::memmove(s->inline_area, s->text, s->length);
        s->kind = kSlotInline;
        s->text = s->inline_area;
      } else if (char* block = static_cast<char*>(MemAlloc(s->length))) {
        std::memcpy(block, s->text, s->length);
        SetHeap(s, block, s->length);
      }  // else it stays borrowed: there is nothing better to offer
      break;
    case kSlotWideRef: {
      sys::WideString w = WideOf(s);
      sys::WideString copy = w ? sys::WideAlloc(w, sys::WideLength(w)) : nullptr;
      s->kind = kSlotWideOwned;
      s->text = reinterpret_cast<char*>(copy);
      break;
    }
    case kSlotVariantRef: {
      const sys::Variant* v = VariantOf(s);
      auto* copy = reinterpret_cast<sys::Variant*>(s->inline_area);
      if (sys::VariantCopyTo(copy, v)) {
        s->kind = kSlotVariantOwned;
        s->text = s->inline_area;
      } else {
        SetBorrowed(s, nullptr, 0);
      }
      break;
    }
    default: break;
  }
}

}  // namespace sstack

using namespace sstack;

namespace {

// The top converted to narrow text, or null on an empty stack.
StackSlot* NarrowTop() {
  if (g.depth == 0) return nullptr;
  StackSlot* s = At(1);
  if (s->kind & kKindNotNarrow) MakeNarrow(s);
  return s;
}

// Replaces the top's value by an owned heap block.
void ReplaceTopWithHeap(StackSlot* s, char* block, std::uint32_t length) {
  Release(s);
  SetHeap(s, block, length);
}

void ResetHook() { StackRestore(nullptr); }

}  // namespace

// --- pushes ------------------------------------------------------------------------------------

void StackPushString(const char* text, std::uint32_t length) {
  if (StackSlot* s = NewSlot()) SetBorrowed(s, text, length);
}

void StackPushOwned(char* block, std::uint32_t length) {
  StackSlot* s = NewSlot();
  if (!s) {
    MemFree(block);  // ownership was handed over: a refused push must not leak it
    return;
  }
  if (block) SetHeap(s, block, length);
}

void StackPushEmpty() { NewSlot(); }

void StackPushCString(const char* text) {
  StackSlot* s = NewSlot();
  if (!s) return;
  SetBorrowed(s, text, text ? static_cast<std::uint32_t>(std::strlen(text)) : 0);
  Materialize(s);
}

void StackPushInteger(std::int32_t value) {
  StackSlot* s = NewSlot();
  if (!s) return;
  // Digits are written backwards so that the text ends at the end of the inline area.
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value)
                                      : static_cast<std::uint32_t>(value);
  char* p = s->inline_area + kInlineArea;
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) *--p = '-';
  s->kind = kSlotInline;
  s->text = p;
  s->length = static_cast<std::uint32_t>(s->inline_area + kInlineArea - p);
}

void StackPushBoolean(std::int32_t flag) {
  if (flag)
    StackPushInteger(1);
  else
    StackPushEmpty();
}

void StackPushReal(double value) {
  StackSlot* s = NewSlot();
  if (!s) return;
  s->kind = kSlotInline;
  s->text = s->inline_area;
  s->length = RealToText(value, s->inline_area);
}

void StackPushWide(sys::WideString w) {
  if (StackSlot* s = NewSlot()) {
    s->kind = kSlotWideRef;
    s->text = reinterpret_cast<char*>(w);
  }
}

void StackPushWideOwned(sys::WideString w) {
  StackSlot* s = NewSlot();
  if (!s) {
    sys::WideFree(w);
    return;
  }
  s->kind = kSlotWideOwned;
  s->text = reinterpret_cast<char*>(w);
}

void StackPushVariant(sys::Variant* v) {
  if (StackSlot* s = NewSlot()) {
    if (!v) return;  // a missing variant is the empty string
    s->kind = kSlotVariantRef;
    s->text = reinterpret_cast<char*>(v);
  }
}

void StackPushPooled(const char* pooled) {
  if (StackSlot* s = NewSlot()) {
    s->kind = kSlotPooled;
    s->text = const_cast<char*>(pooled);
  }
}

// --- pops --------------------------------------------------------------------------------------

void StackPopToCString(char* destination, std::uint32_t size) {
  StackSlot* s = NarrowTop();
  if (destination && size) {
    std::uint32_t n = s ? s->length : 0;
    if (n > size - 1) n = size - 1;
    if (n) std::memmove(destination, s->text, n);
    destination[n] = 0;
  }
  PopTop();
}

void StackPopToString(char* destination, std::uint32_t size) {
  StackSlot* s = NarrowTop();
  if (destination && size) {
    std::uint32_t n = s ? s->length : 0;
    if (n > size) n = size;
    if (n) std::memmove(destination, s->text, n);
    std::memset(destination + n, ' ', size - n);
  }
  PopTop();
}

char* StackPopToHeap(std::uint32_t* length) {
  *length = 0;
  StackSlot* s = NarrowTop();
  if (!s) return nullptr;
  char* block = nullptr;
  if (s->kind == kSlotHeap) {
    block = s->text;  // handed over without copying
    *length = s->length;
    SetBorrowed(s, nullptr, 0);
  } else if (s->length && (block = static_cast<char*>(MemAlloc(s->length)))) {
    std::memcpy(block, s->text, s->length);
    *length = s->length;
  }
  PopTop();
  return block;
}

std::uint32_t StackLength() {
  if (g.depth == 0) return 0;
  StackSlot* s = At(1);
  switch (s->kind) {
    case kSlotPooled: {
      if (!s->text) return 0;
      std::uint16_t n;
      std::memcpy(&n, s->text - 2, 2);
      return n;
    }
    case kSlotWideRef:
    case kSlotWideOwned:
      return sys::WideLength(WideOf(s));
    case kSlotVariantRef:
    case kSlotVariantOwned: {
      sys::WideString w;
      if (!sys::VariantToWide(VariantOf(s), &w)) return 0;
      std::uint32_t n = sys::WideLength(w);
      sys::WideFree(w);
      return n;
    }
    default:
      return s->length;
  }
}

std::uint32_t StackPopLength() {
  std::uint32_t n = StackLength();
  PopTop();
  return n;
}

void StackDrop() { PopTop(); }

namespace {
// Length of a text without its trailing blanks; whole words at a time over long texts.
std::uint32_t ClippedLength(const char* text, std::uint32_t n) {
  if (n >= 32) {
    constexpr std::uint32_t kBlanks = 0x20202020u;
    while (n >= 4) {
      std::uint32_t word;
      std::memcpy(&word, text + n - 4, 4);
      if (word != kBlanks) break;
      n -= 4;
    }
  }
  while (n && text[n - 1] == ' ') --n;
  return n;
}
}  // namespace

std::int32_t StackPopCondition() {
  if (g.depth == 0) return 0;
  StackSlot* s = At(1);
  std::int32_t result;
  if (s->kind == kSlotPooled) {
    result = s->text != nullptr;
  } else if (s->kind == kSlotWideRef && !s->text) {
    result = 0;
  } else {
    MakeNarrow(s);
    result = ClippedLength(s->text, s->length) != 0;
  }
  PopTop();
  return result;
}

double StackPopReal() {
  if (g.depth == 0) return 0;
  StackSlot* s = At(1);
  double value = 0;
  if (s->kind & 8) {
    if (!sys::VariantToReal(VariantOf(s), &value)) value = 0;
  } else {
    MakeNarrow(s);
    std::uint32_t n = ClippedLength(s->text, s->length);
    value = TextToReal(s->text, n < 39 ? n : 39);
  }
  PopTop();
  return value;
}

bool StackPopVariantInteger(std::int32_t* value) {
  *value = 0;
  if (g.depth == 0 || !(At(1)->kind & 8)) return false;
  if (!sys::VariantToInt32(VariantOf(At(1)), value)) *value = 0;
  PopTop();
  return true;
}

// --- transformations -----------------------------------------------------------------------

void StackClip() {
  if (StackSlot* s = NarrowTop()) s->length = ClippedLength(s->text, s->length);
}

void StackLeft(std::int32_t length) {
  StackSlot* s = NarrowTop();
  if (!s) return;
  std::uint32_t target = length < 0 ? s->length : static_cast<std::uint32_t>(length);
  std::uint32_t blanks = 0;
  while (blanks < s->length && s->text[blanks] == ' ') ++blanks;
  if (blanks) {
    if (s->kind == kSlotHeap) {
      // Own block: shift left and blank the freed tail, keeping the length.
      std::memmove(s->text, s->text + blanks, s->length - blanks);
      std::memset(s->text + s->length - blanks, ' ', blanks);
    } else {
      s->text += blanks;
      s->length -= blanks;
    }
  }
  StackSetLength(target);
}

void StackSetLength(std::uint32_t length) {
  StackSlot* s = NarrowTop();
  if (!s) return;
  if (s->length >= length) {
    s->length = length;
    return;
  }
  char* block = static_cast<char*>(MemAlloc(length));
  if (!block) return;  // the slot stays as it was
  if (s->length) std::memcpy(block, s->text, s->length);
  std::memset(block + s->length, ' ', length - s->length);
  ReplaceTopWithHeap(s, block, length);
}

void StackUpper() {
  StackSlot* s = NarrowTop();
  if (!s) return;
  Materialize(s);
  if (s->kind != kSlotBorrowed) UpperBytes(s->text, s->length);
}

void StackLower() {
  StackSlot* s = NarrowTop();
  if (!s) return;
  Materialize(s);
  if (s->kind != kSlotBorrowed) LowerBytes(s->text, s->length);
}

void StackSub(std::int32_t start, std::int32_t length) {
  StackSlot* s = NarrowTop();
  if (!s) return;
  std::uint32_t total = s->length;
  std::uint32_t index;
  if (start < 0) {
    std::int64_t i = static_cast<std::int64_t>(total) + start;
    index = i < 0 ? 0 : static_cast<std::uint32_t>(i);
  } else if (start > 0) {
    index = static_cast<std::uint32_t>(start - 1);
    if (index > total) index = total;
  } else {
    index = 0;
  }
  std::uint32_t n = total - index;
  if (n > static_cast<std::uint32_t>(length)) n = static_cast<std::uint32_t>(length);
  if (s->kind == kSlotHeap) {
    // A heap slot keeps its text at the start of its block.
    if (index && n) std::memmove(s->text, s->text + index, n);
  } else {
    s->text += index;
  }
  s->length = n;
}

void StackAll(std::uint32_t length) {
  StackSlot* s = NarrowTop();
  if (!s) return;
  const char* unit = s->length ? s->text : " ";
  std::uint32_t unit_length = s->length ? s->length : 1;
  char* block = length ? static_cast<char*>(MemAlloc(length)) : nullptr;
  if (!block) {
    Release(s);  // no block: the empty string
    return;
  }
  if (unit_length == 1) {
    std::memset(block, unit[0], length);
  } else {
    std::uint32_t filled = unit_length < length ? unit_length : length;
    std::memcpy(block, unit, filled);
    while (filled < length) {  // doubling copies from the part already filled
      std::uint32_t n = filled < length - filled ? filled : length - filled;
      std::memcpy(block + filled, block, n);
      filled += n;
    }
  }
  ReplaceTopWithHeap(s, block, length);
}

void StackRoll(std::int32_t n) {
  if (n <= 0 || n >= g.depth) return;  // nothing to move, or no such slot
  StackSlot saved;
  MoveSlot(&saved, At(n + 1));
  for (int d = n + 1; d > 1; --d) MoveSlot(At(d), At(d - 1));
  MoveSlot(At(1), &saved);
}

void StackMaterialize() {
  if (g.depth) Materialize(At(1));
}

// --- save and restore ----------------------------------------------------------------------

void* StackSave() {
  if (g.depth == 0) return nullptr;
  std::uint32_t depth = static_cast<std::uint32_t>(g.depth);
  auto* block = static_cast<unsigned char*>(MemAlloc(4 + depth * sizeof(StackSlot)));
  if (!block) return nullptr;
  std::memcpy(block, &depth, 4);
  std::memcpy(block + 4, g.slots, depth * sizeof(StackSlot));
  return block;
}

void StackRestore(void* saved) {
  if (!saved) {
    g.depth = 0;
    return;
  }
  auto* block = static_cast<unsigned char*>(saved);
  std::uint32_t depth;
  std::memcpy(&depth, block, 4);
  if (depth > kStringStackSlots) depth = kStringStackSlots;
  for (std::uint32_t i = 0; i < depth; ++i) {
    StackSlot copy;
    std::memcpy(&copy, block + 4 + i * sizeof(StackSlot), sizeof copy);
    // An inline pointer of the copy names slot i's own area; keep its offset into it.
    if (copy.kind & kKindInline) {
      const std::ptrdiff_t offset = copy.text - g.slots[i].inline_area;
      std::memcpy(&g.slots[i], &copy, sizeof copy);
      g.slots[i].text = g.slots[i].inline_area + offset;
    } else {
      std::memcpy(&g.slots[i], &copy, sizeof copy);
    }
  }
  g.depth = static_cast<int>(depth);
  MemFree(saved);
}

void StackDiscardSaved(void* saved) {
  if (!saved) return;
  auto* block = static_cast<unsigned char*>(saved);
  std::uint32_t depth;
  std::memcpy(&depth, block, 4);
  if (depth > kStringStackSlots) depth = kStringStackSlots;
  for (std::uint32_t i = 0; i < depth; ++i) {
    StackSlot copy;
    std::memcpy(&copy, block + 4 + i * sizeof(StackSlot), sizeof copy);
    if (copy.kind & kKindInline) copy.text = copy.inline_area + (copy.text - g.slots[i].inline_area);
    Release(&copy);
  }
  MemFree(saved);
}

void StringStackSwitch(int from, int to) {
  if (from >= 0 && from < kThreadSlots) {
    StackDiscardSaved(g.saved[from]);  // a stale entry cannot be restored any more
    g.saved[from] = StackSave();
  }
  void* incoming = nullptr;
  if (to >= 0 && to < kThreadSlots) {
    incoming = g.saved[to];
    g.saved[to] = nullptr;
  }
  StackRestore(incoming);
}

void StringStackReleaseThread(int slot) {
  if (slot < 0 || slot >= kThreadSlots) return;
  StackDiscardSaved(g.saved[slot]);
  g.saved[slot] = nullptr;
}

// --- lifecycle -----------------------------------------------------------------------------

void StringStackTypeError() { RuntimeError(501, "String Stack Error"); }

void StackReset() {
  while (g.depth) PopTop();
}

void StringStackInitTerm(int flag) {
  if (flag == 0) {
    g.depth = 0;
    SetStringStackResetHook(ResetHook);
  } else {
    StackReset();
    for (int slot = 0; slot < kThreadSlots; ++slot) StringStackReleaseThread(slot);
    SetStringStackResetHook(nullptr);
  }
}

int StackDepth() { return g.depth; }

const StackSlot* StackPeek(int depth) {
  return depth >= 1 && depth <= g.depth ? At(depth) : nullptr;
}

}  // namespace vel
