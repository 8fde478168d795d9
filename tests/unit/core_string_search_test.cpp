// INSTRING: the rule's table of cases, and every fast path against a plain reference walk on
// random inputs (small alphabets so that matches and near-matches are frequent).
#include <cstring>
#include <random>
#include <string>

#include "runtime/core/memory.h"
#include "runtime/core/string_stack.h"
#include "support/check.h"

using namespace vel;

namespace {

void Fresh() {
  static bool memory = false;
  if (!memory) {
    MemoryInitTerm(0);
    memory = true;
  }
  StackReset();
}

std::int32_t Instring(const std::string& text, const std::string& pattern, std::int32_t step,
                      std::int32_t start) {
  StackPushString(text.data(), static_cast<std::uint32_t>(text.size()));
  StackPushString(pattern.data(), static_cast<std::uint32_t>(pattern.size()));
  return StackInstring(step, start);
}

// The rule written out plainly: walk every offset from start-1 by step.
std::int32_t Reference(const std::string& text, const std::string& pattern, std::int64_t step,
                       std::int64_t start) {
  const std::int64_t L = static_cast<std::int64_t>(text.size());
  const std::int64_t P = static_cast<std::int64_t>(pattern.size());
  if (P == 0 || start == 0 || L < P) return 0;
  if (step == 0) step = P;
  for (std::int64_t o = start - 1; o >= 0 && o <= L - P; o += step)
    if (text.compare(static_cast<std::size_t>(o), static_cast<std::size_t>(P), pattern) == 0)
      return static_cast<std::int32_t>(o / (step < 0 ? -step : step) + 1);
  return 0;
}

std::string Random(std::mt19937& rng, std::size_t n, int alphabet) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>('a' + rng() % alphabet);
  return s;
}

}  // namespace

TEST_CASE("instring: the rule's cases") {
  Fresh();
  const struct { const char* text; const char* pattern; std::int32_t step, start, want; } rows[] = {
      {"ABCDEF", "CD", 1, 1, 3},   {"ABCDEF", "CD", 2, 1, 2},   {"ABCDEF", "CD", 1, 4, 0},
      {"ABCDEF", "", 1, 1, 0},     {"ABCDEF", "CD", 1, 0, 0},   {"AB", "ABC", 1, 1, 0},
      {"ABCDEF", "CD", 0, 1, 2},   {"ABCDEF", "CD", 3, 1, 0},   {"ABCDEF", "EF", 0, 1, 3},
      {"ABCDEF", "F", 1, 6, 6},    {"ABCDEF", "F", 1, 7, 0},    {"ABCDEF", "A", -1, 6, 1},
      {"ABCABC", "C", -1, 5, 3},   {"ABCABC", "C", -1, 6, 6},   {"ABCABC", "BC", -1, 5, 5},
      {"ABCABC", "BC", -2, 5, 3},  {"ABCDEF", "A", -1, -1, 0},  {"ABCDEF", "CD", 1, -3, 0},
      {"AAAA", "AA", 2, 2, 1},     {"AAAA", "AA", 2, 1, 1},     {"AAAA", "AA", 1, 2, 2},
      {"ABC", "ABC", 1, 1, 1},     {"ABC", "ABC", 1, 2, 0},
  };
  for (const auto& row : rows) {
    std::int32_t got = Instring(row.text, row.pattern, row.step, row.start);
    if (got != row.want)
      check::Fail(__FILE__, __LINE__, std::string(row.text) + " / " + row.pattern + " step " +
                  std::to_string(row.step) + " start " + std::to_string(row.start) + ": got " +
                  std::to_string(got));
  }
  CHECK_EQ(StackDepth(), 0);
}

TEST_CASE("instring: the skip table finds what the plain walk finds (texts over 256 bytes)") {
  Fresh();
  std::mt19937 rng(1234);
  int checked = 0;
  for (int round = 0; round < 3000; ++round) {
    int alphabet = 1 + static_cast<int>(rng() % 4);
    std::size_t n = 257 + rng() % 2000;
    std::string text = Random(rng, n, alphabet);
    std::size_t p = 5 + rng() % (round % 10 == 0 ? 400 : 12);
    std::string pattern;
    if (rng() % 2 && p < n) {  // plant the pattern, sometimes with one byte changed
      std::size_t at = rng() % (n - p + 1);
      pattern = text.substr(at, p);
      if (rng() % 3 == 0) pattern[rng() % p] = 'z';
    } else {
      pattern = Random(rng, p, alphabet);
    }
    std::int32_t start = static_cast<std::int32_t>(rng() % 4 == 0 ? 1 + rng() % n : 1);
    std::int32_t want = Reference(text, pattern, 1, start);
    std::int32_t got = Instring(text, pattern, 1, start);
    if (got != want) {
      check::Fail(__FILE__, __LINE__, "round " + std::to_string(round) + ": got " +
                  std::to_string(got) + " want " + std::to_string(want));
      return;
    }
    checked += want != 0;
  }
  CHECK(checked > 500);  // the inputs did exercise matches
}

TEST_CASE("instring: one-byte paths, steps and starts against the plain walk") {
  Fresh();
  std::mt19937 rng(99);
  for (int round = 0; round < 20000; ++round) {
    std::size_t n = rng() % 600;
    std::string text = Random(rng, n, 1 + static_cast<int>(rng() % 5));
    std::string pattern = Random(rng, 1 + rng() % 6, 1 + static_cast<int>(rng() % 5));
    const std::int32_t steps[] = {1, -1, 0, 2, -2, 3, -7, 1000};
    std::int32_t step = steps[rng() % 8];
    std::int32_t start = static_cast<std::int32_t>(rng() % (n + 3)) - 1;
    std::int32_t want = Reference(text, pattern, step, start);
    std::int32_t got = Instring(text, pattern, step, start);
    if (got != want) {
      check::Fail(__FILE__, __LINE__, "'" + text + "' / '" + pattern + "' step " +
                  std::to_string(step) + " start " + std::to_string(start) + ": got " +
                  std::to_string(got) + " want " + std::to_string(want));
      return;
    }
  }
}

TEST_CASE("instring: patterns longer than 255 bytes use the first 255 for skipping") {
  Fresh();
  std::string text(5000, 'x');
  std::string pattern = std::string(300, 'x') + "y";
  text.replace(4000, 301, pattern);
  CHECK_EQ(Instring(text, pattern, 1, 1), 4001);
  pattern.back() = 'z';
  CHECK_EQ(Instring(text, pattern, 1, 1), 0);
  std::string bytes(1000, '\0');
  bytes[700] = '\xFF';
  CHECK_EQ(Instring(bytes, std::string("\0\0\0\0\xFF", 5), 1, 1), 697);
}
