#include "platform/Threads.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <thread>
#endif

namespace platform {

#if defined(_WIN32)

bool CanLeaveIdlePriority()
{
    return true;
}

void SetIdlePriority(bool idle)
{
    SetThreadPriority(GetCurrentThread(), idle ? THREAD_PRIORITY_IDLE : THREAD_PRIORITY_NORMAL);
}

void SetThreadName(const char *)
{
    // Thread descriptions need Windows 10; the program targets older systems too.
}

void ShareHeapsBetweenThreads()
{
    // The process heap is shared by every thread already.
}

#else

bool CanLeaveIdlePriority()
{
    static const bool allowed = [] {
        bool ok = false;
        std::thread probe([&ok] {
            sched_param param{};
            if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) != 0)
                return;
            ok = pthread_setschedparam(pthread_self(), SCHED_OTHER, &param) == 0;
        });
        probe.join();
        return ok;
    }();
    return allowed;
}

void SetIdlePriority(bool idle)
{
    sched_param param{};
    pthread_setschedparam(pthread_self(), idle ? SCHED_IDLE : SCHED_OTHER, &param);
}

void SetThreadName(const char *name)
{
    pthread_setname_np(pthread_self(), name);
}

void ShareHeapsBetweenThreads()
{
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 2);
#endif
}

#endif

} // namespace platform
