// The Win32 side of the runtime core's seam (what ships).
#include <windows.h>

#include <cstring>

#include "runtime/core/startup.h"
#include "runtime/core/sys.h"

namespace vel::sys {

void* Reserve(void* preferred, std::size_t size) {
  void* p = preferred ? VirtualAlloc(preferred, size, MEM_RESERVE, PAGE_NOACCESS) : nullptr;
  if (!p) p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
  return p;
}

bool Commit(void* address, std::size_t size) {
  return VirtualAlloc(address, size, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void Release(void* base, std::size_t) { VirtualFree(base, 0, MEM_RELEASE); }

void* Allocate(std::size_t size) {
  return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void* GlobalBlockAlloc(std::size_t size) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  return h ? GlobalLock(h) : nullptr;
}

void GlobalBlockFree(void* block) {
  if (!block) return;
  HGLOBAL h = GlobalHandle(block);
  GlobalUnlock(h);
  GlobalFree(h);
}

void* ExecutableInstance() { return GetModuleHandleA(nullptr); }

struct Lock {
  CRITICAL_SECTION cs;
};

Lock* LockCreate() {
  // Not from MemAlloc: locks exist before the allocator and outlive it.
  auto* lock = static_cast<Lock*>(HeapAlloc(GetProcessHeap(), 0, sizeof(Lock)));
  if (lock) InitializeCriticalSection(&lock->cs);
  return lock;
}

void LockDelete(Lock* lock) {
  if (!lock) return;
  DeleteCriticalSection(&lock->cs);
  HeapFree(GetProcessHeap(), 0, lock);
}

void LockEnter(Lock* lock) { EnterCriticalSection(&lock->cs); }
void LockLeave(Lock* lock) { LeaveCriticalSection(&lock->cs); }

std::uint32_t LastError() { return GetLastError(); }
void SetLastError(std::uint32_t code) { ::SetLastError(code); }

int LoadStringResource(unsigned id, char* buf, int size) {
  auto instance = static_cast<HINSTANCE>(vel::ResourceInstance());
  if (!instance) instance = GetModuleHandleA(nullptr);
  return LoadStringA(instance, id, buf, size);
}

int ProfileString(const char* section, const char* key, const char* fallback, char* buf, int size) {
  return static_cast<int>(GetProfileStringA(section, key, fallback, buf, size));
}

bool AppendToFile(const char* path, const void* data, std::size_t length, bool truncate) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  SetFilePointer(h, 0, nullptr, FILE_END);
  DWORD written = 0;
  BOOL ok = WriteFile(h, data, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(h);
  return ok && written == length;
}

void WriteAuxDevice(const void* data, std::size_t length) {
  HANDLE h = CreateFileA("AUX", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, data, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(h);
}

int ShowMessageBox(const char* text, const char* title, unsigned style) {
  return MessageBoxA(nullptr, text, title, style);
}

void ExitProcess(unsigned code) {
  ::ExitProcess(code);
}

void AbortProcess() {
  // An unhandled breakpoint: a debugger stops here, otherwise the system's fault reporting
  // ends the process. Nothing of the application runs afterwards.
  DebugBreak();
  TerminateProcess(GetCurrentProcess(), 3);
  for (;;) {}
}

void ResetFpu() {
  asm volatile("fninit");
}

int CallerAddresses(void** out, int count) {
  return CaptureStackBackTrace(2, static_cast<DWORD>(count), out, nullptr);
}

std::uint32_t LocalHundredthsSinceMidnight() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return ((t.wHour * 60u + t.wMinute) * 60u + t.wSecond) * 100u + t.wMilliseconds / 10u;
}

}  // namespace vel::sys
