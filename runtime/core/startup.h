// Program start-up, module registration, the initialiser passes and the one exit path (Halt).
//
// Start-up: RegisterModule runs the module's initialisers in descending priority (255 .. 1),
// the per-thread data of the main thread is set up, the compiled code's runtime version is
// checked, the application's main wrapper runs, the window layer shuts down and Halt(0) ends
// the process. Halt runs the exit procedures, the C-level exit table and the terminate
// routines (ascending priority, within a priority last entry first) exactly once.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/core/memory.h"
#include "runtime/core/trace.h"

namespace vel {

// A module's initialise/terminate routine: called with 0 to initialise, 1 to terminate.
using InitRoutine = void (*)(int flag);

struct InitEntry {
  std::int32_t priority;   // 1..255 take part in initialisation; 0 or >255 never initialised
  InitRoutine initialise;
  InitRoutine terminate;
};

struct ThreadDataDescriptor;

// One static record per module. Fields in order of use.
struct ModuleDescriptor {
  ModuleDescriptor* previous;              // filled at registration
  const InitEntry* init_start;             // contiguous initialiser table
  const InitEntry* init_end;
  void* instance;                          // filled at registration
  ThreadDataDescriptor* thread_data[2][2]; // two ranges (start, end) of per-thread data
  const std::uintptr_t* fixups_start;      // (address, byte length) pairs
  const std::uintptr_t* fixups_end;
  void* const* imports_start;              // address range of the import table
  void* const* imports_end;
};

// Entries every program built on the runtime core lists first in its initialiser table.
// (Further layers add their own lists; the application adds its priority-5 globals.)
void CoreInitTerm(int flag);  // priority 28: runtime core state (error fields, exit lists)
#define VEL_CORE_INIT_ENTRIES                              \
  ::vel::InitEntry{255, ::vel::TraceInitTerm, ::vel::TraceInitTerm},   \
  ::vel::InitEntry{200, ::vel::MemoryInitTerm, ::vel::MemoryInitTerm}, \
  ::vel::InitEntry{28, ::vel::CoreInitTerm, ::vel::CoreInitTerm}

// Links a module in and runs its initialisers. instance 0 = the running executable's instance.
void RegisterModule(ModuleDescriptor* module, void* instance);
// Runs the module's terminate routines, unlinks it and frees its node.
void UnregisterModule(void* instance);
// Enumerates registered modules newest first: 0 starts (returns the newest), the instance
// returned last gives the next older one; 0 at the end.
void* FindModule(void* instance);
// The instance whose resources hold the message table and window descriptors.
void* ResourceInstance();

// 1 compatible, 0 refused (after telling the user).
constexpr std::uint32_t kRuntimeMajor = 5, kRuntimeMinor = 508, kRuntimeBuild = 0;
constexpr std::uint32_t kPreReleaseFlag = 0x100;
int CheckRuntimeVersion(std::uint32_t flags_and_major, std::uint32_t minor, std::uint32_t build);
// The text CheckRuntimeVersion shows for a refused version (empty when it would be accepted).
// Answers the version box instead of a person (tests); null restores the real box.
using VersionBoxHookFn = void (*)(const char* text, const char* title);
void SetVersionBoxHook(VersionBoxHookFn hook);

// Exit procedures: at most 10, run last registered first. Returns 0, or 1 when the list is
// full; the value -1 (kEmptyExitList) empties the list.
using ExitProcedure = void (*)();
inline const ExitProcedure kEmptyExitList = reinterpret_cast<ExitProcedure>(-1);
int RegisterExitProcedure(ExitProcedure routine);
// The C-level exit table, run after the exit procedures.
void RegisterCExit(ExitProcedure routine);

// The one exit path; never returns.
[[noreturn]] void Halt(unsigned exit_code);
// Replaces the final process exit (tests in one process); the default ends the process.
using ProcessExitFn = void (*)(unsigned code);
void SetProcessExit(ProcessExitFn fn);

// What the window layer plugs into shutdown (the core never includes window code).
struct LifecycleHooks {
  void (*shutdown_windows)();        // step 8: shutdown notifications, wait for threads
  void (*cleanup_window_system)();   // step 8: window-system clean-up routines
  void (*destroy_hidden_windows)();  // Halt step 3
};
void SetLifecycleHooks(const LifecycleHooks& hooks);
// The one-shot clean-up hook: runs at most once per process (end of start-up step 8 or the
// fatal path, whichever comes first).
void SetCleanupHook(void (*hook)());
void RunCleanupHookOnce();

// Process-wide flags.
bool ApplicationActive();
void SetApplicationActive(bool active);  // the window layer and tests
bool RuntimeErrorHappened();
void SetRuntimeErrorHappened();
bool ExitInProgress();

// Program entry: steps 1..9 of start-up with the compiled code's required version.
// main_wrapper is the application's main wrapper. Never returns.
[[noreturn]] void ProgramEntry(ModuleDescriptor* module, void (*main_wrapper)(),
                               std::uint32_t flags_and_major, std::uint32_t minor,
                               std::uint32_t build);

// For tests: forgets every registration, flag and list so that start-up can run again in the
// same process (the host build's unit tests). Never used by the program.
void ResetLifecycleForTesting();

}  // namespace vel
