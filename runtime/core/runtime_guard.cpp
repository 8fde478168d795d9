#include "runtime/core/runtime_guard.h"

namespace vel {
namespace {
RuntimeGuardHooks g_hooks = {nullptr, nullptr};
}  // namespace

void SetRuntimeGuardHooks(const RuntimeGuardHooks& hooks) { g_hooks = hooks; }

// The leave routine is the one that matched the enter, even if the hooks change meanwhile.
RuntimeGuard::RuntimeGuard() : leave_(g_hooks.enter ? g_hooks.leave : nullptr) {
  if (g_hooks.enter) g_hooks.enter();
}

RuntimeGuard::~RuntimeGuard() {
  if (leave_) leave_();
}

}  // namespace vel
