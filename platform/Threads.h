// Priorities and names of the calling thread.
#pragma once

namespace platform {

// Whether this process may take a thread back from idle to normal priority.
// On Linux, without CAP_SYS_NICE or a large RLIMIT_NICE the way back is
// refused, and a worker left at idle priority would crawl through a busy
// machine's queue; such a worker keeps normal priority throughout. Windows
// always allows it.
bool CanLeaveIdlePriority();

// Idle (only when nothing else wants the processor) or normal priority.
void SetIdlePriority(bool idle);

// The name debuggers and process lists show for the calling thread.
void SetThreadName(const char *name);

// Lets threads started from now on share two heaps. With the C library's
// default (a heap of its own for nearly every thread), what one thread frees
// is not reused by another: a large folder's names, listed on one thread
// and freed by the library's worker while it makes the records on another,
// stayed resident beside them, 10 MB at 100,000 files. Call it first thing.
void ShareHeapsBetweenThreads();

} // namespace platform
