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

} // namespace platform
