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

// A re-entrant lock held only for short stretches (an allocation, a trace line): an owner
// thread id taken with one interlocked exchange, so the uncontended path is a compare-exchange
// and no call into the system. A waiter spins briefly, then yields its time slice.
struct Lock {
  volatile LONG owner;  // thread id of the holder, 0 when free
  LONG depth;           // recursion count of the holder
};

namespace {
inline LONG CurrentThreadId() {
  LONG id;
  asm("movl %%fs:0x24, %0" : "=r"(id));  // TEB.ClientId.UniqueThread on i686
  return id;
}
}  // namespace

Lock* LockCreate() {
  // Not from MemAlloc: locks exist before the allocator and outlive it.
  auto* lock = static_cast<Lock*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Lock)));
  return lock;
}

void LockDelete(Lock* lock) {
  if (lock) HeapFree(GetProcessHeap(), 0, lock);
}

void LockEnter(Lock* lock) {
  const LONG self = CurrentThreadId();
  if (lock->owner == self) {
    ++lock->depth;
    return;
  }
  for (unsigned spins = 0; InterlockedCompareExchange(&lock->owner, self, 0) != 0; ++spins) {
    if (spins < 64) YieldProcessor();
    else if (spins < 128) SwitchToThread();
    else Sleep(1);
  }
  lock->depth = 1;
}

void LockLeave(Lock* lock) {
  if (--lock->depth == 0) InterlockedExchange(&lock->owner, 0);
}

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
  // With a debugger attached, stop in it; otherwise end at once with the C runtime's abort
  // code. Nothing of the application runs afterwards either way.
  if (IsDebuggerPresent()) DebugBreak();
  TerminateProcess(GetCurrentProcess(), 3);
  for (;;) {}
}

namespace {
const std::uint16_t kDefaultFpuControl = 0x027F;  // 53-bit precision, nearest, all masked
}  // namespace

void ResetFpu() {
  asm volatile("fninit");
  asm volatile("fldcw %0" : : "m"(kDefaultFpuControl));
}

void UseDefaultFpuControl() {
  std::uint16_t control;
  asm volatile("fnstcw %0" : "=m"(control));
  if (control != kDefaultFpuControl) asm volatile("fldcw %0" : : "m"(kDefaultFpuControl));
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
