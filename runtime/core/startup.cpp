// Module registration, the initialiser/terminator passes, the version handshake, exit lists
// and Halt.
#include "runtime/core/startup.h"

#include <cstdio>
#include <cstring>

#include "runtime/core/decimal.h"
#include "runtime/core/errors.h"
#include "runtime/core/sys.h"
#include "runtime/core/string_stack.h"
#include "runtime/core/thread_data.h"

namespace vel {
namespace {

constexpr int kMaxExitProcedures = 10;
constexpr int kMaxCExits = 32;
constexpr int kHighestPriority = 255;

// A module-list node: 16 bytes on the 32-bit target (next, instance, descriptor, spare).
struct ModuleNode {
  ModuleNode* next;
  void* instance;
  ModuleDescriptor* module;
  void* spare;
};

struct LifecycleState {
  ModuleNode* modules;            // newest first
  void* resource_instance;
  void* executable_instance;
  ExitProcedure exit_procs[kMaxExitProcedures];
  int exit_count;
  ExitProcedure c_exits[kMaxCExits];
  int c_exit_count;
  bool application_active;        // true from program load until the end of the main program
  bool runtime_error_happened;
  bool exit_in_progress;
  bool cleanup_done;
  std::uint32_t required[3];      // the version the compiled code asked for
  LifecycleHooks hooks;
  void (*cleanup_hook)();
  VersionBoxHookFn version_box_hook;
  ProcessExitFn process_exit;
};

LifecycleState MakeInitialState() {
  LifecycleState s{};
  s.application_active = true;
  return s;
}

LifecycleState g = MakeInitialState();

// Every pointer-sized word in the listed ranges that points into the import table is replaced
// by the value stored in that import slot.
void ApplyFixups(ModuleDescriptor* module) {
  if (!module->fixups_start || !module->imports_start) return;
  for (const std::uintptr_t* f = module->fixups_start; f + 2 <= module->fixups_end; f += 2) {
    auto* words = reinterpret_cast<std::uintptr_t*>(f[0]);
    const std::size_t count = f[1] / sizeof(std::uintptr_t);
    for (std::size_t i = 0; i < count; ++i) {
      auto* target = reinterpret_cast<void* const*>(words[i]);
      if (target >= module->imports_start && target < module->imports_end)
        words[i] = reinterpret_cast<std::uintptr_t>(*target);
    }
  }
}

// Initialise passes: level 255 downward; each pass calls, first to last, the entries of that
// level and finds the next lower level in use. Priorities <= 0 or > 255 never initialise.
void RunInitialisers(const ModuleDescriptor* module) {
  int level = kHighestPriority;
  while (level > 0) {
    int next = 0;
    for (const InitEntry* e = module->init_start; e < module->init_end; ++e) {
      if (e->priority == level) {
        if (e->initialise) e->initialise(0);
      } else if (e->priority < level && e->priority > next) {
        next = e->priority;
      }
    }
    level = next;
  }
}

// Terminate passes: the mirror of start-up. Level 0 upward; each pass walks last to first.
void RunTerminators(const ModuleDescriptor* module) {
  int level = 0;
  while (level < 256) {
    int next = 256;
    for (const InitEntry* e = module->init_end; e-- > module->init_start;) {
      if (e->priority == level) {
        if (e->terminate) e->terminate(1);
      } else if (e->priority > level && e->priority < next) {
        next = e->priority;
      }
    }
    level = next;
  }
}

void RegisterThreadData(ModuleDescriptor* module) {
  for (auto& range : module->thread_data)
    if (range[0] && range[1] > range[0]) ThreadDataRegister(range[0], range[1]);
}

void ShowVersionRefusal(const char* text) {
  const char* title = "Veltrin 5.5 Runtime Library";
  if (g.version_box_hook) g.version_box_hook(text, title);
  else sys::ShowMessageBox(text, title, sys::kOk | sys::kIconStop);
}

}  // namespace

void CoreInitTerm(int flag) {
  if (flag == 0) ClearError();
  else ClearReplacementTexts();
  StringStackInitTerm(flag);
  DecimalStackInitTerm(flag);
}

void RegisterModule(ModuleDescriptor* module, void* instance) {
  if (!instance) instance = sys::ExecutableInstance();
  if (!g.executable_instance) g.executable_instance = sys::ExecutableInstance();
  if (!g.resource_instance) g.resource_instance = instance;
  module->previous = g.modules ? g.modules->module : nullptr;
  module->instance = instance;
  // The loader has already zeroed the image's uninitialised data; clearing it again here would
  // wipe what the C++ runtime's static constructors built before we were called.
  auto* node = static_cast<ModuleNode*>(sys::GlobalBlockAlloc(sizeof(ModuleNode)));
  if (node) {
    *node = ModuleNode{g.modules, instance, module, nullptr};
    g.modules = node;
  }
  ApplyFixups(module);
  RunInitialisers(module);
  RegisterThreadData(module);
}

void UnregisterModule(void* instance) {
  ModuleNode** link = &g.modules;
  while (*link && (*link)->instance != instance) link = &(*link)->next;
  ModuleNode* node = *link;
  if (!node) return;
  *link = node->next;
  if (node->module && node->module->init_start && node->module->init_end >= node->module->init_start)
    RunTerminators(node->module);
  sys::GlobalBlockFree(node);
}

void* FindModule(void* instance) {
  if (!instance) return g.modules ? g.modules->instance : nullptr;
  for (ModuleNode* n = g.modules; n; n = n->next)
    if (n->instance == instance) return n->next ? n->next->instance : nullptr;
  return nullptr;
}

void* ResourceInstance() { return g.resource_instance; }

int CheckRuntimeVersion(std::uint32_t flags_and_major, std::uint32_t minor, std::uint32_t build) {
  if (flags_and_major == kRuntimeMajor && minor <= kRuntimeMinor) {
    g.required[0] = flags_and_major;
    g.required[1] = minor;
    g.required[2] = build;
    return 1;
  }
  char text[512];
  if (flags_and_major & kPreReleaseFlag) {
    std::snprintf(text, sizeof text,
                  "This program or a component DLL was built using the beta release of Veltrin 5\r\n"
                  "It will not operate correctly with this copy of V55RUN%s\r\n"
                  "Please obtain a new version of this program",
                  "X");
  } else {
    std::snprintf(text, sizeof text,
                  "This program or a component DLL requires V55RUN%s version %d.%03d.%02d or later\r\n"
                  "This version is %d.%03d.%02d %s",
                  "X", static_cast<int>(flags_and_major & 0xF), static_cast<int>(minor),
                  static_cast<int>(build), static_cast<int>(kRuntimeMajor),
                  static_cast<int>(kRuntimeMinor), static_cast<int>(kRuntimeBuild), "");
  }
  ShowVersionRefusal(text);
  return 0;
}

void SetVersionBoxHook(VersionBoxHookFn hook) { g.version_box_hook = hook; }

int RegisterExitProcedure(ExitProcedure routine) {
  if (routine == kEmptyExitList) {
    g.exit_count = 0;
    return 0;
  }
  if (g.exit_count >= kMaxExitProcedures) return 1;
  g.exit_procs[g.exit_count++] = routine;
  return 0;
}

void RegisterCExit(ExitProcedure routine) {
  if (g.c_exit_count < kMaxCExits) g.c_exits[g.c_exit_count++] = routine;
}

void Halt(unsigned exit_code) {
  if (!g.exit_in_progress) {
    g.exit_in_progress = true;
    // Each list entry is taken off before it runs, so a routine that halts again cannot make
    // it run twice.
    while (g.exit_count > 0) g.exit_procs[--g.exit_count]();
    while (g.c_exit_count > 0) g.c_exits[--g.c_exit_count]();
    if (g.hooks.destroy_hidden_windows) g.hooks.destroy_hidden_windows();
    UnregisterModule(g.executable_instance ? g.executable_instance : sys::ExecutableInstance());
  }
  if (g.process_exit) g.process_exit(exit_code);
  sys::ExitProcess(exit_code);
}

void SetProcessExit(ProcessExitFn fn) { g.process_exit = fn; }

void SetLifecycleHooks(const LifecycleHooks& hooks) { g.hooks = hooks; }
void SetCleanupHook(void (*hook)()) { g.cleanup_hook = hook; }

void RunCleanupHookOnce() {
  if (g.cleanup_done) return;
  g.cleanup_done = true;
  if (g.cleanup_hook) g.cleanup_hook();
}

bool ApplicationActive() { return g.application_active; }
void SetApplicationActive(bool active) { g.application_active = active; }
bool RuntimeErrorHappened() { return g.runtime_error_happened; }
void SetRuntimeErrorHappened() { g.runtime_error_happened = true; }
bool ExitInProgress() { return g.exit_in_progress; }

void ProgramEntry(ModuleDescriptor* module, void (*main_wrapper)(), std::uint32_t flags_and_major,
                  std::uint32_t minor, std::uint32_t build) {
  sys::ResetFpu();
  RegisterModule(module, nullptr);
  if (!CheckRuntimeVersion(flags_and_major, minor, build)) Halt(0);
  if (main_wrapper) main_wrapper();
  if (g.hooks.shutdown_windows) g.hooks.shutdown_windows();
  g.application_active = false;
  if (g.hooks.cleanup_window_system) g.hooks.cleanup_window_system();
  RunCleanupHookOnce();
  Halt(0);
}

void ResetLifecycleForTesting() {
  while (g.modules) {
    ModuleNode* next = g.modules->next;
    sys::GlobalBlockFree(g.modules);
    g.modules = next;
  }
  ThreadDataReset();
  g = MakeInitialState();
}

}  // namespace vel
