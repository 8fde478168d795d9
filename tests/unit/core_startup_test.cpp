// Start-up and shutdown in one process: initialiser/terminator order, the version handshake,
// exit procedures, Halt's once-only path, module enumeration, fix-ups and per-thread data.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/errors.h"
#include "runtime/core/startup.h"
#include "runtime/core/thread_data.h"
#include "support/check.h"

namespace {

std::vector<std::string> g_log;

struct HaltCalled {
  unsigned code;
};
void ThrowOnExit(unsigned code) { throw HaltCalled{code}; }

template <int Priority, char Tag>
void Logged(int flag) {
  g_log.push_back((flag ? "T" : "I") + std::to_string(Priority) + Tag);
}

void ResetAll() {
  vel::ResetLifecycleForTesting();
  vel::SetProcessExit(ThrowOnExit);
  vel::RegisterExitProcedure(vel::kEmptyExitList);
  g_log.clear();
}

std::string Joined() {
  std::string s;
  for (auto& e : g_log) s += (s.empty() ? "" : " ") + e;
  return s;
}

std::string g_version_text, g_version_title;
void CaptureVersionBox(const char* text, const char* title) {
  g_version_text = text;
  g_version_title = title;
}

}  // namespace

TEST_CASE("startup: initialisers run 255 down to 1, terminators in the mirror order") {
  ResetAll();
  static const vel::InitEntry table[] = {
      {5, Logged<5, 'a'>, Logged<5, 'a'>},
      {255, Logged<255, 'a'>, Logged<255, 'a'>},
      {28, Logged<28, 'a'>, Logged<28, 'a'>},
      {0, Logged<0, 'a'>, Logged<0, 'a'>},        // terminated, never initialised
      {300, Logged<300, 'a'>, Logged<300, 'a'>},  // neither
      {200, Logged<200, 'a'>, Logged<200, 'a'>},
      {16, Logged<16, 'a'>, Logged<16, 'a'>},
      {100, Logged<100, 'a'>, Logged<100, 'a'>},
      {5, Logged<5, 'b'>, Logged<5, 'b'>},
      {150, Logged<150, 'a'>, Logged<150, 'a'>},
      {-4, Logged<-4, 'a'>, Logged<-4, 'a'>},     // neither
  };
  static vel::ModuleDescriptor module{nullptr, table, table + 11, nullptr, {}, nullptr, nullptr,
                                      nullptr, nullptr};
  vel::RegisterModule(&module, nullptr);
  CHECK_EQ(Joined(), std::string("I255a I200a I150a I100a I28a I16a I5a I5b"));
  g_log.clear();
  try {
    vel::Halt(0);
  } catch (const HaltCalled& h) {
    CHECK_EQ(h.code, 0u);
  }
  CHECK_EQ(Joined(), std::string("T0a T5b T5a T16a T28a T100a T150a T200a T255a"));
  // Halt again: the shutdown steps do not run twice.
  g_log.clear();
  try {
    vel::Halt(2);
  } catch (const HaltCalled& h) {
    CHECK_EQ(h.code, 2u);
  }
  CHECK(g_log.empty());
}

TEST_CASE("startup: the version check accepts 5.508 and below, refuses with the exact texts") {
  ResetAll();
  vel::SetVersionBoxHook(CaptureVersionBox);
  g_version_text.clear();
  CHECK_EQ(vel::CheckRuntimeVersion(5, 508, 0), 1);
  CHECK_EQ(vel::CheckRuntimeVersion(5, 1, 99), 1);
  CHECK(g_version_text.empty());

  CHECK_EQ(vel::CheckRuntimeVersion(5, 509, 0), 0);
  CHECK_EQ(g_version_text,
           std::string("This program or a component DLL requires V55RUNX version 5.509.00 or later\r\n"
                       "This version is 5.508.00 "));
  CHECK_EQ(g_version_title, std::string("Veltrin 5.5 Runtime Library"));

  CHECK_EQ(vel::CheckRuntimeVersion(6, 0, 3), 0);
  CHECK_EQ(g_version_text,
           std::string("This program or a component DLL requires V55RUNX version 6.000.03 or later\r\n"
                       "This version is 5.508.00 "));

  CHECK_EQ(vel::CheckRuntimeVersion(0x100 | 5, 508, 0), 0);
  CHECK_EQ(g_version_text,
           std::string("This program or a component DLL was built using the beta release of Veltrin 5\r\n"
                       "It will not operate correctly with this copy of V55RUNX\r\n"
                       "Please obtain a new version of this program"));
  vel::SetVersionBoxHook(nullptr);
}

namespace {
void Exit1() { g_log.push_back("e1"); }
void Exit2() { g_log.push_back("e2"); }
void Exit3() { g_log.push_back("e3"); }
void CExit() { g_log.push_back("c"); }
void HaltAgain() {
  g_log.push_back("again");
  vel::Halt(7);
}
}  // namespace

TEST_CASE("startup: exit procedures: ten at most, last registered first, -1 empties") {
  ResetAll();
  for (int i = 0; i < 10; ++i) CHECK_EQ(vel::RegisterExitProcedure(Exit1), 0);
  CHECK_EQ(vel::RegisterExitProcedure(Exit2), 1);
  CHECK_EQ(vel::RegisterExitProcedure(vel::kEmptyExitList), 0);
  CHECK_EQ(vel::RegisterExitProcedure(Exit1), 0);
  CHECK_EQ(vel::RegisterExitProcedure(Exit2), 0);
  CHECK_EQ(vel::RegisterExitProcedure(Exit3), 0);
  vel::RegisterCExit(CExit);
  try {
    vel::Halt(0);
  } catch (const HaltCalled&) {
  }
  CHECK_EQ(Joined(), std::string("e3 e2 e1 c"));
}

TEST_CASE("startup: an exit procedure that halts again does not rerun shutdown") {
  ResetAll();
  vel::RegisterExitProcedure(Exit1);
  vel::RegisterExitProcedure(HaltAgain);
  unsigned code = 0;
  try {
    vel::Halt(0);
  } catch (const HaltCalled& h) {
    code = h.code;
  }
  CHECK_EQ(code, 7u);  // the nested Halt ends the process with its own code at once
  CHECK_EQ(Joined(), std::string("again"));
  CHECK(vel::ExitInProgress());
}

TEST_CASE("startup: modules enumerate newest first and unregister cleanly") {
  ResetAll();
  static const vel::InitEntry a_table[] = {{28, Logged<28, 'A'>, Logged<28, 'A'>}};
  static const vel::InitEntry b_table[] = {{28, Logged<28, 'B'>, Logged<28, 'B'>}};
  static vel::ModuleDescriptor a{nullptr, a_table, a_table + 1, nullptr, {}, nullptr, nullptr, nullptr, nullptr};
  static vel::ModuleDescriptor b{nullptr, b_table, b_table + 1, nullptr, {}, nullptr, nullptr, nullptr, nullptr};
  static int a_instance, b_instance;
  vel::RegisterModule(&a, &a_instance);
  vel::RegisterModule(&b, &b_instance);
  CHECK(b.previous == &a);
  CHECK(vel::ResourceInstance() == &a_instance);
  CHECK(vel::FindModule(nullptr) == &b_instance);
  CHECK(vel::FindModule(&b_instance) == &a_instance);
  CHECK(vel::FindModule(&a_instance) == nullptr);
  g_log.clear();
  vel::UnregisterModule(&b_instance);
  CHECK_EQ(Joined(), std::string("T28B"));
  CHECK(vel::FindModule(nullptr) == &a_instance);
  vel::UnregisterModule(&b_instance);  // not registered any more: nothing happens
  CHECK_EQ(Joined(), std::string("T28B"));
}

namespace {
int Imported1() { return 1; }
int Imported2() { return 2; }
}  // namespace

TEST_CASE("startup: fix-ups resolve words pointing into the import table") {
  ResetAll();
  static void* imports[2] = {reinterpret_cast<void*>(Imported1), reinterpret_cast<void*>(Imported2)};
  static std::uintptr_t data[4];
  data[0] = reinterpret_cast<std::uintptr_t>(&imports[1]);
  data[1] = 12345;
  data[2] = reinterpret_cast<std::uintptr_t>(&imports[0]);
  data[3] = reinterpret_cast<std::uintptr_t>(&imports[0]);  // outside the listed range
  static std::uintptr_t fixups[2];
  fixups[0] = reinterpret_cast<std::uintptr_t>(data);
  fixups[1] = 3 * sizeof(std::uintptr_t);
  static vel::ModuleDescriptor m{nullptr, nullptr, nullptr, nullptr, {}, fixups, fixups + 2,
                                 imports, imports + 2};
  static int instance;
  vel::RegisterModule(&m, &instance);
  CHECK(data[0] == reinterpret_cast<std::uintptr_t>(Imported2));
  CHECK(data[1] == 12345u);
  CHECK(data[2] == reinterpret_cast<std::uintptr_t>(Imported1));
  CHECK(data[3] == reinterpret_cast<std::uintptr_t>(&imports[0]));
}

namespace {
std::vector<std::string> g_fatal;
int AnswerNo(const char* message) {
  g_fatal.push_back(message);
  return 7;
}
}  // namespace

TEST_CASE("startup: per-thread data is saved and loaded per slot; misuse is 502/503 WSLINST") {
  ResetAll();
  vel::MemoryInitTerm(0);
  vel::SetApplicationActive(false);
  vel::SetFatalErrorHook(AnswerNo);
  static int counter = 5;
  static char name[8] = "main";
  static const char initial_name[8] = "new";
  static vel::ThreadDataDescriptor descs[2] = {
      {&counter, sizeof counter, nullptr, vel::kThreadDataZeroFill, {}},
      {name, sizeof name, initial_name, 0, {}},
  };
  vel::ThreadDataRegister(descs, descs + 2);
  vel::ThreadDataCreate(3);
  vel::ThreadDataSwitch(0, 3);  // a new thread starts from its initial values
  CHECK_EQ(counter, 0);
  CHECK_EQ(std::string(name), std::string("new"));
  counter = 42;
  std::strcpy(name, "three");
  vel::ThreadDataSwitch(3, 0);
  CHECK_EQ(counter, 5);
  CHECK_EQ(std::string(name), std::string("main"));
  vel::ThreadDataSwitch(0, 3);
  CHECK_EQ(counter, 42);
  CHECK_EQ(std::string(name), std::string("three"));

  g_fatal.clear();
  vel::ThreadDataLoad(9);  // never created
  REQUIRE(g_fatal.size() >= 1);
  CHECK_EQ(g_fatal[0], std::string("Internal error 02 : WSLINST\nDo you want to GPF?"));
  g_fatal.clear();
  vel::ThreadDataCreate(3);  // exists already
  REQUIRE(g_fatal.size() >= 1);
  CHECK_EQ(g_fatal[0], std::string("Internal error 03 : WSLINST\nDo you want to GPF?"));
  vel::SetFatalErrorHook(nullptr);
  vel::ThreadDataReset();
}
