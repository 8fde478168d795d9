// Queues declared per thread. Such a declaration's per-thread block starts with its QueueBlock;
// every thread that uses the queue gets an engine of its own in its copy of the block. The
// engine keeps no pointer to the block (only to the record buffer, whose address the master
// copy keeps), so saving and loading a thread's copy is the plain byte copy; what the queue
// engine must be told of is the end of a thread, whose records are then released.
#pragma once

#include "runtime/core/thread_data.h"

namespace vel {

// The thread-data hook for a released copy: destroys the queue the copy holds. If that engine
// is also the one loaded in the master copy (the ended thread was the last one loaded), the
// master forgets it too.
void QueueCopyReleased(ThreadDataDescriptor* d, void* copy);

// Initialiser entry: installs the hook (0) and removes it (1).
void QueueThreadsInitTerm(int flag);

}  // namespace vel
