// The runtime core's one seam to the operating system.
//
// runtime/core and runtime/data reach the platform only through these calls. sys_win32.cpp is
// what ships; sys_posix.cpp exists so that the same modules build natively on Linux for the
// sanitizers, fuzzers and instruction-counting benchmarks. Nothing here keeps runtime state.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vel::sys {

// --- address space ------------------------------------------------------------------------
// Reserves size bytes of address space, at `preferred` when non-null and possible; null on failure.
void* Reserve(void* preferred, std::size_t size);
// Commits (read-write) a range inside a reservation; false on failure.
bool Commit(void* address, std::size_t size);
// Releases a whole reservation made by Reserve or Allocate.
void Release(void* base, std::size_t size);
// Reserve and commit together, read-write, anywhere; null on failure.
void* Allocate(std::size_t size);

// Small fixed blocks from the system's global-memory allocator (module-list nodes), usable
// before the runtime's allocator exists.
void* GlobalBlockAlloc(std::size_t size);
void GlobalBlockFree(void* block);
// The running executable's instance handle.
void* ExecutableInstance();

// --- re-entrant lock ----------------------------------------------------------------------
struct Lock;  // opaque, created by LockCreate
Lock* LockCreate();
void LockDelete(Lock* lock);
void LockEnter(Lock* lock);
void LockLeave(Lock* lock);

// --- errors, resources, profile -----------------------------------------------------------
std::uint32_t LastError();
void SetLastError(std::uint32_t code);
// Loads string resource `id` of the runtime's resource instance into buf (at most size-1
// bytes and a NUL). Returns the length, 0 when there is no such string.
int LoadStringResource(unsigned id, char* buf, int size);
// Reads a value from the user profile (win.ini); returns its length (0 when absent or empty).
int ProfileString(const char* section, const char* key, const char* fallback, char* buf, int size);

// --- files and devices for the debug trace ------------------------------------------------
// Appends bytes to the named file, creating it first when `truncate` is true.
bool AppendToFile(const char* path, const void* data, std::size_t length, bool truncate);
// Writes bytes to the auxiliary output device ("AUX" on Windows, stderr elsewhere).
void WriteAuxDevice(const void* data, std::size_t length);

// --- user interaction and process control -------------------------------------------------
enum MessageBoxStyle : unsigned {
  kOk = 0x0, kYesNo = 0x4,
  kIconStop = 0x10, kIconExclamation = 0x30,
  kDefaultButton2 = 0x100, kSystemModal = 0x1000,
};
enum MessageBoxAnswer : int { kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7 };
// Shows a plain platform message box without owner; returns the button pressed.
int ShowMessageBox(const char* text, const char* title, unsigned style);
// Ends the process with the given exit code; never returns.
[[noreturn]] void ExitProcess(unsigned code);
// Stops the process abnormally so that a debugger or the system's fault reporting takes over.
[[noreturn]] void AbortProcess();
// Resets the floating-point unit to its default control state.
void ResetFpu();
// Fills up to `count` return addresses of the caller's callers; returns how many were found.
int CallerAddresses(void** out, int count);

// --- clock ----------------------------------------------------------------------------------
// Hundredths of a second since local midnight (0 .. 8,639,999).
std::uint32_t LocalHundredthsSinceMidnight();

}  // namespace vel::sys
