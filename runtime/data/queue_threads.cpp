// Per-thread queue declarations and the thread-data layer.
#include "runtime/data/queue_threads.h"

#include "runtime/data/queue.h"

namespace vel {

void QueueCopyReleased(ThreadDataDescriptor* d, void* copy) {
  auto* released = static_cast<QueueBlock*>(copy);
  auto* master = static_cast<QueueBlock*>(d->master);
  if (!released->engine) return;
  if (master && master->engine == released->engine) master->engine = nullptr;
  QueueDestroy(released);
}

void QueueThreadsInitTerm(int flag) {
  ThreadDataHooks hooks = GetThreadDataHooks();
  hooks.queue_released = flag == 0 ? QueueCopyReleased : nullptr;
  SetThreadDataHooks(hooks);
}

}  // namespace vel
