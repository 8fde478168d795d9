// The string stack when the memory manager has no block to give: every operation that needs
// one leaves the stack consistent, as its rule says, and nothing leaks. The memory manager's
// test countdown makes the allocations fail.
#include <cstring>
#include <string>

#include "runtime/core/memory.h"
#include "runtime/core/string_stack.h"
#include "support/check.h"

using namespace vel;

namespace {

// -1: allocations succeed; n: n more succeed, then every one fails.
void FailAfter(int n) { mem::FailAllocation(n < 0 ? 0 : static_cast<std::uint32_t>(n) + 1, true); }

void Fresh() {
  static bool memory = false;
  if (!memory) {
    MemoryInitTerm(0);
    memory = true;
  }
  FailAfter(-1);
  StackReset();
}

std::string Pop() {
  std::uint32_t n;
  char* block = StackPopToHeap(&n);
  std::string s(block ? block : "", n);
  MemFree(block);
  return s;
}

const char kLong[] = "a text that is longer than the inline area of a slot";

}  // namespace

TEST_CASE("oom: set length and all") {
  Fresh();
  StackPushString("AB", 2);
  FailAfter(0);
  StackSetLength(10);  // no block: the slot is unchanged
  FailAfter(-1);
  CHECK_EQ(Pop(), std::string("AB"));
  StackPushString("AB", 2);
  FailAfter(0);
  StackAll(5);  // no block: the empty string
  FailAfter(-1);
  CHECK_EQ(StackDepth(), 1);
  CHECK_EQ(StackPopLength(), 0u);
}

TEST_CASE("oom: pop to heap, concat, materialize, save") {
  Fresh();
  StackPushString("ABC", 3);
  FailAfter(0);
  std::uint32_t n = 7;
  CHECK(StackPopToHeap(&n) == nullptr);
  CHECK_EQ(n, 0u);
  CHECK_EQ(StackDepth(), 0);
  StackPushString("AB", 2);
  StackPushString("CD", 2);
  StackConcat();  // no block: both operands gone, the empty string in their place
  CHECK_EQ(StackDepth(), 1);
  CHECK_EQ(StackLength(), 0u);
  StackDrop();
  StackPushString(kLong, sizeof kLong - 1);
  StackMaterialize();  // stays borrowed rather than losing the text
  CHECK_EQ(StackPeek(1)->kind, kSlotBorrowed);
  CHECK(StackSave() == nullptr);
  FailAfter(-1);
  CHECK_EQ(Pop(), std::string(kLong));
  StackPushCString(kLong);  // the long C string goes to the heap once memory is back
  CHECK_EQ(StackPeek(1)->kind, kSlotHeap);
  CHECK_EQ(Pop(), std::string(kLong));
}

TEST_CASE("oom: owned values survive a failure in a later step") {
  Fresh();
  StackPushString("AB", 2);
  StackPushString("CD", 2);
  StackConcat();  // heap slot
  FailAfter(0);
  StackSetLength(100);  // fails: the owned block is still there and still owned
  StackUpper();
  StackSub(2, 2);
  FailAfter(-1);
  CHECK_EQ(StackPeek(1)->kind, kSlotHeap);
  CHECK_EQ(Pop(), std::string("BC"));
  // Every allocation of a sequence failing in turn leaves a consistent stack.
  for (int k = 0; k < 6; ++k) {
    FailAfter(k);
    StackPushString("x", 1);
    StackPushString(kLong, sizeof kLong - 1);
    StackConcat();
    StackPushInteger(k);
    StackConcat();
    StackSetLength(80);
    StackAll(90);
    std::uint32_t len = StackLength();
    CHECK(len == 0 || len == 90 || len == 80 || len == sizeof kLong + 1);
    FailAfter(-1);
    StackDrop();
    CHECK_EQ(StackDepth(), 0);
  }
}
