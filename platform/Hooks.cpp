#include "platform/Hooks.h"

#include <atomic>
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#if defined(_WIN32)
#include "platform/WideText.h"

#include <windows.h>
#else
#include <unistd.h>
#endif

namespace platform {

namespace {

std::mutex hooksMutex;
Hooks installed;
// Held while a task is handed over, so that once UninstallHooks returns no
// thread is still inside the old hook (whose queue may be gone by then).
std::mutex postMutex;
std::thread::id mainThread;
std::atomic<bool> shutDown{false};
std::atomic<bool> terminateRequested{false};

// A box requested from another thread waits here until the main thread has
// shown it or the program shuts down. Shutdowns are counted because new hooks
// may clear shutDown again before a released caller has woken up.
std::mutex boxMutex;
std::condition_variable boxDone;
unsigned shutdowns = 0; // guarded by boxMutex

Hooks current()
{
    std::lock_guard lock(hooksMutex);
    return installed;
}

} // namespace

void InstallHooks(Hooks hooks)
{
    std::lock_guard lock(hooksMutex);
    installed = std::move(hooks);
    mainThread = std::this_thread::get_id();
    shutDown = false;
}

void UninstallHooks()
{
    Shutdown();
    std::lock_guard post(postMutex);
    std::lock_guard lock(hooksMutex);
    installed = Hooks{};
}

bool IsMainThread()
{
    std::lock_guard lock(hooksMutex);
    return std::this_thread::get_id() == mainThread;
}

bool PostToMainThread(Task task)
{
    std::lock_guard post(postMutex);
    if (shutDown)
        return false;
    std::function<void(Task)> hand;
    {
        std::lock_guard lock(hooksMutex);
        hand = installed.postToMainThread;
    }
    if (!hand)
        return false;
    hand(std::move(task));
    return true;
}

void ShowErrorBox(const std::string &caption, const std::string &text)
{
    if (shutDown)
        return;
    if (IsMainThread()) {
        auto hooks = current();
        if (hooks.errorBox)
            hooks.errorBox(caption, text);
        return;
    }
    unsigned epoch;
    {
        std::lock_guard lock(boxMutex);
        epoch = shutdowns;
    }
    auto done = std::make_shared<bool>(false);
    auto finish = [done] {
        std::lock_guard lock(boxMutex);
        *done = true;
        boxDone.notify_all();
    };
    bool posted = PostToMainThread([caption, text, finish] {
        auto hooks = current();
        if (hooks.errorBox && !shutDown)
            hooks.errorBox(caption, text);
        finish();
    });
    if (!posted)
        return;
    std::unique_lock lock(boxMutex);
    boxDone.wait(lock, [&] { return *done || shutDown.load() || shutdowns != epoch; });
}

void Shutdown()
{
    shutDown = true;
    std::lock_guard lock(boxMutex);
    ++shutdowns;
    boxDone.notify_all();
}

bool IsShutDown()
{
    return shutDown;
}

void SetApplicationTitle(const std::string &title)
{
    auto hooks = current();
    if (hooks.applicationTitle)
        hooks.applicationTitle(title);
}

void RequestTerminate()
{
    terminateRequested = true;
    auto hooks = current();
    if (hooks.terminate)
        hooks.terminate();
}

bool TerminateRequested()
{
    return terminateRequested;
}

void ResetTerminateRequest()
{
    terminateRequested = false;
}

void *TopLevelWindowHandle()
{
    auto hooks = current();
    return hooks.topLevelWindow ? hooks.topLevelWindow() : nullptr;
}

WaitCursor::WaitCursor()
{
    auto hooks = current();
    if (hooks.waitCursor)
        hooks.waitCursor(true);
}

WaitCursor::~WaitCursor()
{
    auto hooks = current();
    if (hooks.waitCursor)
        hooks.waitCursor(false);
}

#if defined(_WIN32)
std::string ProgramFolder()
{
    // Long paths are fine: grow the buffer until the whole name fits.
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return ".\\";
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(buf.size() * 2);
    }
    const std::string path = WideToUtf8(buf);
    return path.substr(0, path.find_last_of("\\/") + 1);
}
#else
std::string ProgramFolder()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "./";
    std::string path(buf, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}
#endif

} // namespace platform
