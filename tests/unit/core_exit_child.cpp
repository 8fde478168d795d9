// A real Windows program on the runtime, started by core_exit_codes_test with one mode word.
// It prints what it does to stdout so that the parent can check order and texts.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/startup.h"
#include "tests/support/pure_virtual_probe.h"

namespace pure_virtual_probe {
struct Concrete : Abstract {
  void Run() override { std::puts("not reached"); }
};
}  // namespace pure_virtual_probe

namespace {

const char* g_mode = "";

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

template <int Priority>
void Logged(int flag) {
  std::printf("%s%d\n", flag ? "term" : "init", Priority);
  std::fflush(stdout);
}

int AnswerNo(const char* message) {
  std::printf("box: %s\n", message);
  std::fflush(stdout);
  return 7;
}
int AnswerYes(const char*) { return 6; }
void VersionBox(const char* text, const char* title) { std::printf("version box: %s | %s\n", title, text); }

void MainWrapper() {
  Say("main");
  if (!std::strcmp(g_mode, "fatal")) {
    vel::SetFatalErrorHook(AnswerNo);
    vel::RuntimeError(501, "CTLLIST");
    Say("not reached");
  } else if (!std::strcmp(g_mode, "double-free")) {
    vel::SetFatalErrorHook(AnswerNo);
    void* a = vel::MemAlloc(100);
    void* b = vel::MemAlloc(100);
    vel::MemFree(a);
    vel::MemFree(a);
    vel::MemFree(b);
    Say("not reached");
  } else if (!std::strcmp(g_mode, "pure-virtual")) {
    vel::SetFatalErrorHook(AnswerNo);
    pure_virtual_probe::Concrete object;
    Say("not reached");
  } else if (!std::strcmp(g_mode, "gpf")) {
    vel::SetFatalErrorHook(AnswerYes);
    vel::RuntimeError(0, "stop here");
    Say("not reached");
  }
}

const vel::InitEntry kInitialisers[] = {
    VEL_CORE_INIT_ENTRIES,
    vel::InitEntry{100, Logged<100>, Logged<100>},
    vel::InitEntry{5, Logged<5>, Logged<5>},
};

vel::ModuleDescriptor g_module = {
    nullptr, kInitialisers, kInitialisers + sizeof kInitialisers / sizeof kInitialisers[0],
    nullptr, {{nullptr, nullptr}, {nullptr, nullptr}}, nullptr, nullptr, nullptr, nullptr};

}  // namespace

int main(int argc, char** argv) {
  g_mode = argc > 1 ? argv[1] : "";
  vel::SetVersionBoxHook(VersionBox);
  vel::SetTraceFile("core_exit_child_trace.txt");
  std::uint32_t major = 5, minor = 508;
  if (!std::strcmp(g_mode, "version")) minor = 509;
  if (!std::strcmp(g_mode, "beta")) major = 0x105;
  vel::ProgramEntry(&g_module, MainWrapper, major, minor, 0);
}
