#include "tests/support/TestHooks.h"

#include "platform/Hooks.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace testing_hooks {

struct TestMainThread::Impl {
    mutable std::mutex mutex;
    std::condition_variable posted;
    std::deque<platform::Task> tasks;
    std::vector<Box> boxes;
    int cursorDepth = 0;
    int cursorShows = 0;
    std::string title;
};

TestMainThread::TestMainThread() : impl(new Impl)
{
    platform::ResetTerminateRequest();
    platform::Hooks hooks;
    hooks.postToMainThread = [impl = impl](platform::Task task) {
        std::lock_guard lock(impl->mutex);
        impl->tasks.push_back(std::move(task));
        impl->posted.notify_all();
    };
    hooks.errorBox = [impl = impl](const std::string &caption, const std::string &text) {
        std::lock_guard lock(impl->mutex);
        impl->boxes.push_back({caption, text});
    };
    hooks.waitCursor = [impl = impl](bool on) {
        std::lock_guard lock(impl->mutex);
        impl->cursorDepth += on ? 1 : -1;
        if (on)
            ++impl->cursorShows;
    };
    hooks.applicationTitle = [impl = impl](const std::string &title) {
        std::lock_guard lock(impl->mutex);
        impl->title = title;
    };
    platform::InstallHooks(std::move(hooks));
}

TestMainThread::~TestMainThread()
{
    platform::UninstallHooks();
    delete impl;
}

int TestMainThread::RunPending()
{
    int ran = 0;
    for (;;) {
        platform::Task task;
        {
            std::lock_guard lock(impl->mutex);
            if (impl->tasks.empty())
                return ran;
            task = std::move(impl->tasks.front());
            impl->tasks.pop_front();
        }
        task();
        ++ran;
    }
}

bool TestMainThread::RunUntil(const std::function<bool()> &pred, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        RunPending();
        if (pred())
            return true;
        std::unique_lock lock(impl->mutex);
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        impl->posted.wait_for(lock, std::chrono::milliseconds(5), [&] { return !impl->tasks.empty(); });
    }
    RunPending();
    return pred();
}

std::vector<Box> TestMainThread::Boxes() const
{
    std::lock_guard lock(impl->mutex);
    return impl->boxes;
}

int TestMainThread::WaitCursorDepth() const
{
    std::lock_guard lock(impl->mutex);
    return impl->cursorDepth;
}

int TestMainThread::WaitCursorShows() const
{
    std::lock_guard lock(impl->mutex);
    return impl->cursorShows;
}

std::string TestMainThread::Title() const
{
    std::lock_guard lock(impl->mutex);
    return impl->title;
}

} // namespace testing_hooks
