// The string stack: pushes and pops with padding and truncation, comparisons, substrings,
// search, rolls, ownership, save/restore, direct assignment and bad input.
#include <cstring>
#include <deque>
#include <string>

#include "runtime/core/collation.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/startup.h"
#include "runtime/core/string_stack.h"
#include "support/check.h"

using namespace vel;

namespace {

// Borrowed pushes point into these texts, so they live until the next test case.
std::deque<std::string> g_texts;

void Fresh() {
  g_texts.clear();
  static bool memory = false;
  if (!memory) {
    MemoryInitTerm(0);
    StringStackInitTerm(0);
    memory = true;
  }
  StackReset();
  CollationReset();
}

void Push(const std::string& s) {
  g_texts.push_back(s);
  StackPushString(g_texts.back().data(), static_cast<std::uint32_t>(s.size()));
}

// Pops the top through the heap hand-over (which also converts wide, variant and pooled).
std::string Pop() {
  std::uint32_t n;
  char* block = StackPopToHeap(&n);
  std::string s(block ? block : "", n);
  MemFree(block);
  return s;
}

std::string Peek(int depth = 1) {
  const StackSlot* s = StackPeek(depth);
  return s && s->text ? std::string(s->text, s->length) : std::string();
}

bool InOwnInlineArea(const StackSlot* s) {
  return s->text >= s->inline_area && s->text + s->length <= s->inline_area + kInlineArea;
}

int Sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

// --- 1. pushes --------------------------------------------------------------------------------

TEST_CASE("push: integers are inline decimal text at the end of the inline area") {
  Fresh();
  const struct { std::int32_t value; const char* text; } rows[] = {
      {0, "0"}, {7, "7"}, {-1, "-1"}, {10, "10"}, {2147483647, "2147483647"},
      {-2147483647 - 1, "-2147483648"}, {-100, "-100"},
  };
  for (const auto& row : rows) {
    StackPushInteger(row.value);
    const StackSlot* s = StackPeek(1);
    CHECK_EQ(s->kind, kSlotInline);
    CHECK(InOwnInlineArea(s));
    CHECK(s->text + s->length == s->inline_area + kInlineArea);
    CHECK_EQ(Pop(), std::string(row.text));
  }
  StackPushBoolean(5);
  CHECK_EQ(Pop(), std::string("1"));
  StackPushBoolean(0);
  CHECK_EQ(StackPopLength(), 0u);
}

TEST_CASE("push: reals have at most 15 significant digits and no trailing point") {
  Fresh();
  const struct { double value; const char* text; } rows[] = {
      {2.0, "2"}, {0.1, "0.1"}, {-0.5, "-0.5"}, {0.0, "0"}, {-0.0, "0"}, {100.0, "100"},
      {1.0 / 3, "0.333333333333333"}, {-2.0 / 3, "-0.666666666666667"},
      {123456789012345.0, "123456789012345"}, {0.00001, "0.00001"},
      {1e15, "1.0E+15"}, {1234567890123456789.0, "1.23456789012346E+18"},
      {1e-6, "1.0E-6"}, {-1.5e-300, "-1.5E-300"}, {1.7976931348623157e308, "1.79769313486232E+308"},
  };
  for (const auto& row : rows) {
    StackPushReal(row.value);
    CHECK(InOwnInlineArea(StackPeek(1)));
    CHECK_EQ(Pop(), std::string(row.text));
  }
}

TEST_CASE("push: c strings are copied, short inline and long on the heap") {
  Fresh();
  char text[40] = "SHORT";
  StackPushCString(text);
  CHECK_EQ(StackPeek(1)->kind, kSlotInline);
  std::strcpy(text, "0123456789012345678901234567890");
  StackPushCString(text);
  CHECK_EQ(StackPeek(1)->kind, kSlotHeap);
  text[0] = 'X';  // the stack owns copies, not the variable
  CHECK_EQ(Pop(), std::string("0123456789012345678901234567890"));
  CHECK_EQ(Pop(), std::string("SHORT"));
  StackPushCString(nullptr);
  CHECK_EQ(StackLength(), 0u);
  StackDrop();
  StackPushString(nullptr, 12);  // a null text is always the empty string
  CHECK_EQ(StackLength(), 0u);
  StackDrop();
  CHECK_EQ(StackDepth(), 0);
}

TEST_CASE("push: a full stack ignores every kind of push and keeps its values") {
  Fresh();
  for (int i = 0; i < 32; ++i) StackPushInteger(i);
  StackPushInteger(99);
  StackPushString("X", 1);
  StackPushCString("Y");
  StackPushEmpty();
  StackPushReal(1.5);
  StackPushBoolean(1);
  StackPushPooled(nullptr);
  StackPushWide(nullptr);
  StackPushVariant(nullptr);
  // Owned values offered to a full stack are released (ASan reports a leak otherwise).
  char* block = static_cast<char*>(MemAlloc(10));
  std::memcpy(block, "0123456789", 10);
  StackPushOwned(block, 10);
  StackPushWideOwned(sys::WideAlloc(u"WIDE", 4));
  CHECK_EQ(StackDepth(), 32);
  for (int i = 31; i >= 0; --i) CHECK_EQ(Pop(), std::to_string(i));
  CHECK_EQ(StackDepth(), 0);
}

// --- 2. pop destinations ----------------------------------------------------------------------

TEST_CASE("pop: zero-terminated destinations truncate to size-1 and terminate") {
  Fresh();
  const struct { const char* text; std::uint32_t size; const char* want; } rows[] = {
      {"HELLO", 4, "HEL"}, {"HELLO", 5, "HELL"}, {"HELLO", 6, "HELLO"}, {"HELLO", 20, "HELLO"},
      {"HELLO", 1, ""}, {"", 4, ""}, {"AB  ", 10, "AB  "},
  };
  for (const auto& row : rows) {
    char out[24];
    std::memset(out, '#', sizeof out);
    StackPushString(row.text, static_cast<std::uint32_t>(std::strlen(row.text)));
    StackPopToCString(out, row.size);
    CHECK_EQ(std::string(out), std::string(row.want));
    CHECK_EQ(out[row.size], '#');  // nothing written past the size
  }
  char out[4] = {'#', '#', '#', '#'};
  Push("HELLO");
  StackPopToCString(out, 0);  // size 0 writes nothing, still pops
  CHECK_EQ(out[0], '#');
  CHECK_EQ(StackDepth(), 0);
  Push("HELLO");
  StackPopToCString(nullptr, 10);
  CHECK_EQ(StackDepth(), 0);
}

TEST_CASE("pop: fixed destinations are blank-padded to exactly size bytes") {
  Fresh();
  const struct { const char* text; std::uint32_t size; const char* want; } rows[] = {
      {"HI", 4, "HI  "}, {"HELLO", 3, "HEL"}, {"HELLO", 5, "HELLO"}, {"", 3, "   "}, {"X", 1, "X"},
  };
  for (const auto& row : rows) {
    char out[16];
    std::memset(out, '#', sizeof out);
    StackPushString(row.text, static_cast<std::uint32_t>(std::strlen(row.text)));
    StackPopToString(out, row.size);
    CHECK_EQ(std::string(out, row.size), std::string(row.want));
    CHECK_EQ(out[row.size], '#');
  }
  char out[3] = {'#', '#', '#'};
  Push("AB");
  StackPopToString(out, 0);
  CHECK_EQ(out[0], '#');
  // NUL and 0xFF are ordinary bytes.
  const char odd[] = {'A', 0, '\xFF'};
  StackPushString(odd, 3);
  char fixed[5];
  StackPopToString(fixed, 5);
  CHECK_EQ(std::string(fixed, 5), std::string("A\0\xFF  ", 5));
  StackPushString(odd, 3);
  char z[5];
  std::memset(z, '#', 5);
  StackPopToCString(z, 5);
  CHECK(std::memcmp(z, "A\0\xFF\0#", 5) == 0);
}

TEST_CASE("pop: heap hand-over, length, condition and reals") {
  Fresh();
  Push("AB");
  Push("CD");
  StackConcat();
  const char* heap_text = StackPeek(1)->text;
  std::uint32_t n;
  char* block = StackPopToHeap(&n);
  CHECK(block == heap_text);  // the heap block is handed over, not copied
  CHECK_EQ(n, 4u);
  MemFree(block);
  Push("ABCDEF");
  CHECK_EQ(StackLength(), 6u);
  CHECK_EQ(StackPopLength(), 6u);
  CHECK_EQ(StackDepth(), 0);
  const struct { const char* text; std::int32_t truth; } conditions[] = {
      {"   ", 0}, {"", 0}, {"0", 1}, {" x ", 1}, {"\t", 1},
      {"A                                                  ", 1},
      {"                                                   ", 0},
  };
  for (const auto& row : conditions) {
    StackPushCString(row.text);
    CHECK_EQ(StackPopCondition(), row.truth);
  }
  const struct { const char* text; double value; } reals[] = {
      {"  -12.5xyz", -12.5}, {"1,5", 1.5}, {"1.5e2", 150}, {"15e2", 15}, {"abc", 0}, {"+5", 0},
      {"7", 7}, {"-", 0}, {"1.5e", 1.5}, {"2.5E-1  ", 0.25},
      {"123456789012345678901234567890123456789999", 1.23456789012345678901234567890123456789e38},
  };
  for (const auto& row : reals) {
    StackPushCString(row.text);
    double got = StackPopReal();
    CHECK(got == row.value || (got - row.value) / row.value < 1e-15);
  }
}

// --- 3. comparisons ---------------------------------------------------------------------------

TEST_CASE("compare: trailing blanks are never significant") {
  Fresh();
  Push("ABC");
  Push("ABC   ");
  CHECK_EQ(StackNotEqual(), 0);
  Push("ABC");
  Push("ABC   ");
  CHECK_EQ(StackCompare(), 0);
  Push("ABC   ");
  Push("ABC");
  CHECK_EQ(StackCompare(), 0);
  Push("abc");
  Push("ABC");
  CHECK_EQ(StackNotEqual(), 1);
  Push("ABC  x");
  Push("ABC");
  CHECK_EQ(StackNotEqual(), 1);
  Push("");
  Push("   ");
  CHECK_EQ(StackNotEqual(), 0);
  CHECK_EQ(StackDepth(), 0);
}

TEST_CASE("compare: order through the collation table, left against right") {
  Fresh();
  const struct { const char* left; const char* right; int sign; } rows[] = {
      {"A", "B", -1}, {"B", "A", 1}, {"AB", "ABC", -1}, {"ABC", "AB", 1}, {"a", "B", 1},
      {"AB", "AB\x01", 1}, {"\xFF", "\x7F", 1}, {"", "", 0}, {"", " ", 0},
  };
  for (const auto& row : rows) {
    StackPushCString(row.left);
    StackPushCString(row.right);
    CHECK_EQ(Sign(StackCompare()), row.sign);
  }
  // "b" before "a": only the weights change the order.
  Collation().weight[std::uint8_t('a')] = 'b';
  Collation().weight[std::uint8_t('b')] = 'a';
  Push("b");
  Push("a");
  CHECK_EQ(Sign(StackCompare()), -1);
  Push("b");
  Push("a");
  CHECK_EQ(StackNotEqual(), 1);  // not-equal stays byte-exact
  // Equal weights make different bytes compare equal; not-equal still sees them.
  Collation().weight[std::uint8_t('A')] = 'b';
  Push("A");
  Push("a");
  CHECK_EQ(StackCompare(), 0);
  CollationReset();
  Push("ABCD");
  Push("ABXY");
  CHECK_EQ(StackComparePrefix(), -1);
  Push("ABC");
  Push("ABCDEF");
  CHECK_EQ(StackComparePrefix(), 0);
  Push("");
  Push("Z");
  CHECK_EQ(StackComparePrefix(), 0);
  CHECK_EQ(StackDepth(), 0);
}

TEST_CASE("compare: every pair of a sorted list keeps its order") {
  Fresh();
  const char* sorted[] = {"\x01", "", "A\x01", "A", "AA", "AB", "B", "a", "ab", "\x80", "\xFF"};
  const int n = sizeof sorted / sizeof *sorted;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      StackPushCString(sorted[i]);
      StackPushCString(sorted[j]);
      if (Sign(StackCompare()) != Sign(i - j)) CHECK_EQ(i * 100 + j, -1);
    }
}

// --- 4. concatenation, substrings and transformations ---------------------------------------

TEST_CASE("concat: both orders, heap result, empty operands") {
  Fresh();
  Push("AB ");
  Push("C");
  StackConcat();
  CHECK_EQ(StackPeek(1)->kind, kSlotHeap);
  CHECK_EQ(Pop(), std::string("AB C"));
  Push("AB ");
  Push("C");
  StackConcatReversed();
  CHECK_EQ(Pop(), std::string("CAB "));
  Push("");
  Push("");
  StackConcat();
  CHECK_EQ(StackPopLength(), 0u);
  // Long chains: each result is owned and the operands are released.
  Push("");
  for (int i = 0; i < 100; ++i) {
    StackPushInteger(i % 10);
    StackConcat();
  }
  CHECK_EQ(StackLength(), 100u);
  StackSub(95, 6);
  CHECK_EQ(Pop(), std::string("456789"));
}

TEST_CASE("sub: start and length rules") {
  Fresh();
  const struct { std::int32_t start, length; const char* want; } rows[] = {
      {2, 3, "BCD"}, {-2, 10, "EF"}, {0, 2, "AB"}, {10, 3, ""}, {1, 6, "ABCDEF"}, {7, 1, ""},
      {6, 5, "F"}, {-6, 2, "AB"}, {-100, 3, "ABC"}, {3, -1, "CDEF"}, {1, 0, ""},
      {2147483647, 5, ""}, {-2147483647 - 1, 2, "AB"}, {4, -2147483647 - 1, "DEF"},
  };
  for (const auto& row : rows) {
    Push("ABCDEF");
    StackSub(row.start, row.length);
    CHECK_EQ(Pop(), std::string(row.want));
    // The same on a heap slot, whose text must stay at the start of its block.
    Push("ABC");
    Push("DEF");
    StackConcat();
    StackSub(row.start, row.length);
    const StackSlot* s = StackPeek(1);
    CHECK_EQ(s->kind, kSlotHeap);
    CHECK_EQ(Pop(), std::string(row.want));
  }
}

TEST_CASE("transform: clip, left, set length, all, upper, materialize") {
  Fresh();
  Push("AB   ");
  StackClip();
  CHECK_EQ(Pop(), std::string("AB"));
  std::string long_text = "X" + std::string(70, ' ');
  Push(long_text);
  StackClip();
  CHECK_EQ(Pop(), std::string("X"));
  Push(std::string(67, ' '));
  StackClip();
  CHECK_EQ(StackPopLength(), 0u);
  Push("AB\t ");
  StackClip();
  CHECK_EQ(Pop(), std::string("AB\t"));

  Push("  AB");
  StackLeft(-1);
  CHECK_EQ(Pop(), std::string("AB  "));
  Push("  ");
  Push("AB");
  StackConcat();  // heap: shifted inside its own block
  StackLeft(-1);
  CHECK_EQ(Pop(), std::string("AB  "));
  Push("   XY");
  StackLeft(3);
  CHECK_EQ(Pop(), std::string("XY "));

  Push("HELLO");
  StackSetLength(3);
  CHECK_EQ(Pop(), std::string("HEL"));
  Push("HI");
  StackSetLength(5);
  CHECK_EQ(StackPeek(1)->kind, kSlotHeap);
  CHECK_EQ(Pop(), std::string("HI   "));

  const struct { const char* text; std::uint32_t n; const char* want; } all[] = {
      {"AB", 5, "ABABA"}, {"", 3, "   "}, {"-", 4, "----"}, {"ABC", 2, "AB"}, {"AB", 0, ""},
      {"XYZ", 10, "XYZXYZXYZX"},
  };
  for (const auto& row : all) {
    StackPushCString(row.text);
    StackAll(row.n);
    CHECK_EQ(Pop(), std::string(row.want));
  }

  char variable[] = "mixed Case 123 \xE4z";
  Push(variable);
  StackUpper();
  CHECK_EQ(Pop(), std::string("MIXED CASE 123 \xE4Z"));
  CHECK_EQ(std::string(variable), std::string("mixed Case 123 \xE4z"));  // the source is untouched
  Push("MiXeD");
  StackLower();
  CHECK_EQ(Pop(), std::string("mixed"));

  char source[40];
  std::strcpy(source, "borrowed");
  StackPushString(source, 8);
  StackMaterialize();
  CHECK_EQ(StackPeek(1)->kind, kSlotInline);
  std::strcpy(source, "0123456789012345678901234567");
  StackPushString(source, 28);
  StackMaterialize();
  CHECK_EQ(StackPeek(1)->kind, kSlotHeap);
  std::memset(source, '!', sizeof source);
  CHECK_EQ(Pop(), std::string("0123456789012345678901234567"));
  CHECK_EQ(Pop(), std::string("borrowed"));
}

// --- 5. rolls and saved stacks ----------------------------------------------------------------

TEST_CASE("roll: moved inline slots point into their new inline area") {
  Fresh();
  StackPushInteger(111);
  Push("borrowed");
  StackPushInteger(-22);
  StackPushCString("inline");
  StackRoll(3);  // 111 (depth 4) comes to the top
  CHECK_EQ(StackDepth(), 4);
  for (int d = 1; d <= 4; ++d) {
    const StackSlot* s = StackPeek(d);
    if (s->kind == kSlotInline) CHECK(InOwnInlineArea(s));
  }
  CHECK_EQ(Peek(1), std::string("111"));
  CHECK_EQ(Peek(2), std::string("inline"));
  CHECK_EQ(Peek(3), std::string("-22"));
  CHECK_EQ(Peek(4), std::string("borrowed"));
  StackRoll(1);  // swap
  CHECK_EQ(Peek(1), std::string("inline"));
  CHECK_EQ(Peek(2), std::string("111"));
  StackRoll(0);
  StackRoll(4);  // no slot at depth 5: nothing moves
  StackRoll(-3);
  CHECK_EQ(Peek(1), std::string("inline"));
  // The moved values keep working: a substring of an inline slot after the roll.
  StackSub(2, 3);
  CHECK_EQ(Pop(), std::string("nli"));
  CHECK_EQ(Pop(), std::string("111"));
  CHECK_EQ(Pop(), std::string("-22"));
  CHECK_EQ(Pop(), std::string("borrowed"));
}

TEST_CASE("save/restore: another thread's stack comes and goes intact") {
  Fresh();
  CHECK(StackSave() == nullptr);  // empty stack
  StackPushInteger(42);
  Push("A");
  Push("B");
  StackConcat();  // heap slot
  StackPushCString("short");
  StackPushWideOwned(sys::WideAlloc(u"W", 1));
  void* first = StackSave();
  REQUIRE(first != nullptr);
  CHECK_EQ(StackDepth(), 4);  // saving does not change the stack
  CHECK_EQ(Peek(2), std::string("short"));

  StackRestore(nullptr);  // switch to a thread without a stack
  CHECK_EQ(StackDepth(), 0);
  StackPushInteger(7);
  StackPushInteger(8);
  StackRoll(1);
  StackPushCString("second thread");
  void* second = StackSave();
  StackRestore(first);  // back to the first thread
  CHECK_EQ(StackDepth(), 4);
  for (int d = 1; d <= 4; ++d)
    if (StackPeek(d)->kind == kSlotInline) CHECK(InOwnInlineArea(StackPeek(d)));
  CHECK_EQ(Pop(), std::string("W"));
  CHECK_EQ(Pop(), std::string("short"));
  CHECK_EQ(Pop(), std::string("AB"));
  CHECK_EQ(Pop(), std::string("42"));
  StackRestore(second);
  CHECK_EQ(Pop(), std::string("second thread"));
  CHECK_EQ(Pop(), std::string("7"));
  CHECK_EQ(Pop(), std::string("8"));
  CHECK_EQ(StackDepth(), 0);
}

TEST_CASE("save/restore: per-thread switch and release handlers") {
  Fresh();
  StackPushCString("main thread");
  Push("A");
  Push("B");
  StackConcat();
  StringStackSwitch(0, 1);  // thread 1 has nothing saved: it starts empty
  CHECK_EQ(StackDepth(), 0);
  StackPushInteger(1);
  StringStackSwitch(1, 2);
  CHECK_EQ(StackDepth(), 0);
  Push("two");
  StackPushWideOwned(sys::WideAlloc(u"owned", 5));
  StringStackSwitch(2, 0);
  CHECK_EQ(StackDepth(), 2);
  CHECK_EQ(Peek(1), std::string("AB"));
  CHECK_EQ(Peek(2), std::string("main thread"));
  StringStackReleaseThread(2);  // thread 2 ended: its heap and wide values are freed
  StringStackSwitch(0, 2);
  CHECK_EQ(StackDepth(), 0);
  StringStackSwitch(2, 1);
  CHECK_EQ(Pop(), std::string("1"));
  StringStackSwitch(1, 0);
  CHECK_EQ(Pop(), std::string("AB"));
  CHECK_EQ(Pop(), std::string("main thread"));
  StringStackSwitch(-1, 0);  // the first switch saves nothing; slot 0's entry was cleared
  CHECK_EQ(StackDepth(), 0);
  StringStackSwitch(0, 64);  // out-of-range slots are ignored
  StringStackReleaseThread(-1);
}

TEST_CASE("errors: the assertion path empties the stack; type error is 501") {
  Fresh();
  static std::string message;
  SetFatalErrorHook([](const char* text) {
    message = text;
    return static_cast<int>(sys::kAnswerNo);
  });
  SetApplicationActive(false);  // the fatal path returns instead of ending the program
  StackPushInteger(1);
  StackPushInteger(2);
  void* saved = StackSave();  // the assertion path abandons the slots; keep them to free
  AssertionFailed("x", "file.cpp", 12);
  CHECK_EQ(StackDepth(), 0);
  StackRestore(saved);
  StackReset();
  StringStackTypeError();
  CHECK_EQ(ErrorCode(), 501);
  CHECK(message.find("String Stack Error") != std::string::npos);
  SetFatalErrorHook(nullptr);
  SetApplicationActive(true);
  ClearError();
}

// --- 6. wide, variant and pooled values -------------------------------------------------------

TEST_CASE("wide: references, owned strings, conversions and the wide concat") {
  Fresh();
  sys::WideString ab = sys::WideAlloc(u"AB", 2);
  StackPushWide(ab);
  CHECK_EQ(StackLength(), 2u);
  Push("C");
  StackConcat();
  CHECK_EQ(StackPeek(1)->kind, kSlotWideOwned);
  CHECK_EQ(StackLength(), 3u);
  char out[8];
  StackPopToCString(out, sizeof out);
  CHECK_EQ(std::string(out), std::string("ABC"));
  Push("x");
  StackPushWide(ab);
  StackConcatReversed();
  CHECK_EQ(Pop(), std::string("ABx"));
  StackPushWide(ab);
  StackMaterialize();  // a reference becomes an owned copy
  CHECK_EQ(StackPeek(1)->kind, kSlotWideOwned);
  CHECK(StackPeek(1)->text != reinterpret_cast<char*>(ab));
  CHECK_EQ(Pop(), std::string("AB"));
  // Wide comparisons: code units, a prefix sorts first, blanks count.
  StackPushWide(ab);
  Push("AB");
  CHECK_EQ(StackCompare(), 0);
  StackPushWide(ab);
  Push("AB ");
  CHECK_EQ(StackCompare(), -1);
  StackPushWide(ab);
  Push("AA");
  CHECK_EQ(StackCompare(), 1);
  StackPushWide(ab);
  Push("AC");
  CHECK_EQ(StackNotEqual(), 1);
  StackPushWide(nullptr);
  CHECK_EQ(StackPopCondition(), 0);
  StackPushWide(ab);
  CHECK_EQ(StackPopCondition(), 1);
  StackPushWide(nullptr);
  CHECK_EQ(Pop(), std::string(""));
  StackPushWideOwned(sys::WideAlloc(u"OWNED", 5));
  StackDrop();  // released by the drop (ASan would report a leak)
  StackPushWideOwned(sys::WideAlloc(u"OWNED", 5));
  StackSub(2, 2);  // converted to narrow first
  CHECK_EQ(StackPeek(1)->kind, kSlotHeap);
  CHECK_EQ(Pop(), std::string("WN"));
  sys::WideFree(ab);
  // Bytes above 127 go through the ANSI code page both ways (a-umlaut is 0xE4 and U+00E4).
  sys::WideString umlaut = sys::WideAlloc(u"\u00E4", 1);
  Push("\xE4");
  StackPushWide(umlaut);
  StackConcat();
  CHECK_EQ(sys::WideLength(reinterpret_cast<sys::WideString>(StackPeek(1)->text)), 2u);
  CHECK_EQ(Pop(), std::string("\xE4\xE4"));
  sys::WideFree(umlaut);
}

TEST_CASE("variant: string forms, numbers, copies and comparisons") {
  Fresh();
  sys::Variant number;
  sys::VariantInitialise(&number);
  number.type = sys::kVtI4;
  number.i4 = 42;
  StackPushVariant(&number);
  CHECK_EQ(StackLength(), 2u);
  CHECK_EQ(Pop(), std::string("42"));
  StackPushVariant(&number);
  std::int32_t v = 0;
  CHECK(StackPopVariantInteger(&v));
  CHECK_EQ(v, 42);
  Push("17");
  CHECK(!StackPopVariantInteger(&v));  // not a variant: left for the decimal path
  CHECK_EQ(StackDepth(), 1);
  StackDrop();
  StackPushVariant(&number);
  CHECK(StackPopReal() == 42.0);

  sys::Variant real;
  sys::VariantInitialise(&real);
  real.type = sys::kVtR8;
  real.r8 = -2.5;
  StackPushVariant(&real);
  CHECK_EQ(Pop(), std::string("-2.5"));
  StackPushVariant(&real);
  CHECK(StackPopVariantInteger(&v));
  CHECK_EQ(v, -2);  // the system's conversion rounds half to even
  StackPushVariant(&real);
  Push("x");
  StackConcat();
  CHECK_EQ(Pop(), std::string("-2.5x"));

  sys::Variant text;
  sys::VariantInitialise(&text);
  text.type = sys::kVtBstr;
  text.text = sys::WideAlloc(u"hello", 5);
  StackPushVariant(&text);
  StackMaterialize();  // a reference becomes a copy in the inline area
  CHECK_EQ(StackPeek(1)->kind, kSlotVariantOwned);
  CHECK(InOwnInlineArea(StackPeek(1)));
  StackPushInteger(1);
  StackRoll(1);  // the variant copy moves with its slot
  CHECK_EQ(StackPeek(1)->kind, kSlotVariantOwned);
  CHECK(InOwnInlineArea(StackPeek(1)));
  Push(" world");
  StackConcat();
  CHECK_EQ(StackPeek(1)->kind, kSlotWideOwned);
  CHECK_EQ(Pop(), std::string("hello world"));
  StackDrop();
  StackPushVariant(&text);
  Push("hello");
  CHECK_EQ(StackCompare(), 0);
  Push("hellp");
  StackPushVariant(&text);
  CHECK_EQ(StackCompare(), 1);  // left "hellp" sorts after the variant "hello"
  StackPushVariant(&text);
  Push("hellp");
  CHECK_EQ(StackCompare(), -1);
  StackPushVariant(&text);
  StackMaterialize();
  StackDrop();  // the owned copy is cleared, the original stays
  CHECK_EQ(sys::WideLength(text.text), 5u);
  sys::VariantRelease(&text);
}

TEST_CASE("pooled: length prefix, identity comparisons, conversions") {
  Fresh();
  char pool[16] = {};
  std::uint16_t n = 5;
  std::memcpy(pool, &n, 2);
  std::memcpy(pool + 2, "POOLX", 5);
  const char* pooled = pool + 2;
  StackPushPooled(pooled);
  CHECK_EQ(StackLength(), 5u);
  CHECK_EQ(Pop(), std::string("POOLX"));
  StackPushPooled(pooled);
  StackPushPooled(pooled);
  CHECK_EQ(StackNotEqual(), 0);
  StackPushPooled(pooled);
  StackPushPooled(pooled);
  CHECK_EQ(StackCompare(), 0);
  StackPushPooled(pooled);
  Push("POOLX   ");
  CHECK_EQ(StackNotEqual(), 0);
  StackPushPooled(nullptr);
  CHECK_EQ(StackPopCondition(), 0);
  StackPushPooled(pooled);
  CHECK_EQ(StackPopCondition(), 1);
  StackPushPooled(pooled);
  StackUpper();
  CHECK_EQ(Pop(), std::string("POOLX"));
  CHECK_EQ(std::string(pooled, 5), std::string("POOLX"));
  StackPushPooled(nullptr);
  CHECK_EQ(StackPopLength(), 0u);
}

// --- 7. direct assignment ---------------------------------------------------------------------

TEST_CASE("assign: zero-terminated and fixed destinations, null texts, overlap") {
  char out[8];
  std::memset(out, '#', sizeof out);
  AssignCString(out, 4, "HELLO", 5);
  CHECK_EQ(std::string(out), std::string("HEL"));
  AssignCString(out, 4, nullptr, 3);
  CHECK(std::memcmp(out, "\xFF\xFF\xFF\0", 4) == 0);
  AssignCString(out, 4, nullptr, 0);
  CHECK_EQ(out[0], '\0');
  AssignCString(out, 4, "AB", -5);  // a negative length copies nothing
  CHECK_EQ(out[0], '\0');
  std::memset(out, '#', sizeof out);
  AssignCString(out, 0, "AB", 2);
  CHECK_EQ(out[0], '#');

  AssignString(out, 4, "HI", 2);
  CHECK_EQ(std::string(out, 4), std::string("HI  "));
  AssignString(out, 4, "HELLO", 5);
  CHECK_EQ(std::string(out, 4), std::string("HELL"));
  AssignString(out, 4, nullptr, 0);
  CHECK_EQ(std::string(out, 4), std::string("    "));
  AssignString(out, 4, nullptr, -1);
  CHECK(std::memcmp(out, "\0\0\0\0", 4) == 0);
  AssignString(out, 4, nullptr, 1);
  CHECK(std::memcmp(out, "\xFF\xFF\xFF\xFF", 4) == 0);
  ClearString(out, 8);
  CHECK_EQ(std::string(out, 8), std::string(8, ' '));

  char overlap[12] = "ABCDEFGHIJ";
  AssignString(overlap + 2, 6, overlap, 6);  // destination above the source
  CHECK_EQ(std::string(overlap, 10), std::string("ABABCDEFIJ"));
  char overlap2[12] = "ABCDEFGHIJ";
  AssignString(overlap2, 6, overlap2 + 2, 6);
  CHECK_EQ(std::string(overlap2, 10), std::string("CDEFGHGHIJ"));
  char overlap3[12] = "ABCDEFGHIJ";
  AssignCString(overlap3 + 1, 6, overlap3, 10);
  CHECK_EQ(std::string(overlap3), std::string("AABCDE"));
}

// --- 8. bad input -----------------------------------------------------------------------------

TEST_CASE("bad input: NUL and 0xFF bytes are plain text everywhere") {
  Fresh();
  const std::string odd("A\0\xFF\0B", 5);
  Push(odd);
  Push(std::string("\0\xFF", 2));
  CHECK_EQ(StackInstring(1, 1), 2);
  Push(odd);
  Push(odd);
  StackConcat();
  CHECK_EQ(Pop(), odd + odd);
  Push(odd);
  Push(std::string("A\0\xFF\0C", 5));
  CHECK_EQ(StackNotEqual(), 1);
  Push(odd);
  Push(std::string("A\0\xFF\0B  ", 7));
  CHECK_EQ(StackCompare(), 0);
  Push(std::string("\xFF\xFF", 2));
  StackUpper();
  CHECK_EQ(Pop(), std::string("\xFF\xFF"));
}

TEST_CASE("bad input: lengths near 4 GiB and an empty stack") {
  Fresh();
  static const char text[8] = "ABCDEFG";
  // Two borrowed texts whose lengths add up beyond 32 bits: never read, the result is empty.
  StackPushString(text, 0xFFFFFFF0u);
  StackPushString(text, 0x20u);
  StackConcat();
  CHECK_EQ(StackPopLength(), 0u);
  Push("ABC");
  StackSub(2, -1);  // a negative length reaches the end
  CHECK_EQ(Pop(), std::string("BC"));
  Push("ABCDEF");
  Push("CD");
  CHECK_EQ(StackInstring(1, 2147483647), 0);
  Push("ABCDEF");
  Push("CD");
  CHECK_EQ(StackInstring(-2147483647 - 1, 3), 1);
  Push("ABCDEF");
  Push("CD");
  CHECK_EQ(StackInstring(1, -2147483647 - 1), 0);
#ifdef _WIN32
  // Blocks that cannot exist: the slot stays as it was / the result is empty.
  Push("AB");
  StackSetLength(0xFFFFFFFFu);
  CHECK_EQ(Pop(), std::string("AB"));
  Push("AB");
  StackAll(0xFFFFFFFFu);
  CHECK_EQ(StackPopLength(), 0u);
#endif
  // Operations on an empty stack do nothing and pops give the empty string.
  StackClip();
  StackSub(1, 2);
  StackUpper();
  StackRoll(1);
  StackDrop();
  CHECK_EQ(StackPopLength(), 0u);
  CHECK_EQ(StackPopCondition(), 0);
  CHECK(StackPopReal() == 0.0);
  char out[4] = "xyz";
  StackPopToCString(out, 4);
  CHECK_EQ(out[0], '\0');
  std::uint32_t n = 1;
  CHECK(StackPopToHeap(&n) == nullptr);
  CHECK_EQ(n, 0u);
  Push("A");
  CHECK_EQ(Sign(StackCompare()), 1);  // a missing operand is the empty string
  CHECK_EQ(StackDepth(), 0);
}
