// The runtime lock as the portable modules see it. The lock itself belongs to the window
// layer's thread handling (runtime/wsl/runtime_lock.h); modules that a thread the runtime did
// not start may call (queues: the FTP library's notification thread fills them) take it
// through this guard. Without installed hooks (host tests, programs without the window layer)
// the guard does nothing.
#pragma once

namespace vel {

struct RuntimeGuardHooks {
  void (*enter)();  // re-entrant
  void (*leave)();
};
// Installed by the window layer at start-up; {nullptr, nullptr} removes them.
void SetRuntimeGuardHooks(const RuntimeGuardHooks& hooks);

class RuntimeGuard {
 public:
  RuntimeGuard();
  ~RuntimeGuard();
  RuntimeGuard(const RuntimeGuard&) = delete;
  RuntimeGuard& operator=(const RuntimeGuard&) = delete;

 private:
  void (*leave_)();
};

}  // namespace vel
