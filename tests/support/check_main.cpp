#include <cstdio>
#include <cstring>
#include <exception>

#include "support/check.h"

namespace check {
namespace {
Case* g_first = nullptr;
Case* g_last = nullptr;
int g_failures_in_case = 0;
}  // namespace

void Register(Case* c) {
  // Keep source order: cases run in the order they are written.
  if (g_last) g_last->next = c; else g_first = c;
  g_last = c;
}

void Fail(const char* file, int line, const std::string& what) {
  ++g_failures_in_case;
  std::fprintf(stdout, "  %s:%d: %s\n", file, line, what.c_str());
  std::fflush(stdout);
}

}  // namespace check

int main(int argc, char** argv) {
  const char* filter = argc > 1 ? argv[1] : nullptr;
  int passed = 0, failed = 0;
  for (check::Case* c = check::g_first; c; c = c->next) {
    if (filter && !std::strstr(c->name, filter)) continue;
    check::g_failures_in_case = 0;
    try {
      c->fn();
    } catch (const check::RequireFailed&) {
    } catch (const std::exception& e) {
      check::Fail(__FILE__, __LINE__, std::string("exception: ") + e.what());
    }
    if (check::g_failures_in_case) {
      ++failed;
      std::printf("FAIL %s\n", c->name);
    } else {
      ++passed;
      std::printf("ok   %s\n", c->name);
    }
    std::fflush(stdout);
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed ? 1 : 0;
}
