#include "platform/Hooks.h"

#include "tests/support/TestHooks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Hooks whose posted tasks are only counted and kept, never run unless asked.
struct HeldTasks {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<platform::Task> tasks;
    int boxes = 0;

    platform::Hooks Hooks()
    {
        platform::Hooks hooks;
        hooks.postToMainThread = [this](platform::Task task) {
            std::lock_guard lock(mutex);
            tasks.push_back(std::move(task));
            posted.notify_all();
        };
        hooks.errorBox = [this](const std::string &, const std::string &) {
            std::lock_guard lock(mutex);
            ++boxes;
        };
        return hooks;
    }
    bool WaitForTask()
    {
        std::unique_lock lock(mutex);
        return posted.wait_for(lock, 5s, [&] { return !tasks.empty(); });
    }
};

bool WaitFor(const std::atomic<bool> &flag, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!flag && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    return flag;
}

} // namespace

TEST(Hooks, BoxFromAnotherThreadIsShownOnTheMainThreadWhileTheCallerWaits)
{
    testing_hooks::TestMainThread mainThread;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        platform::ShowErrorBox("Fehler", "Datei fehlt");
        returned = true;
    });
    EXPECT_FALSE(WaitFor(returned, 50ms));
    EXPECT_TRUE(mainThread.Boxes().empty());
    EXPECT_TRUE(mainThread.RunUntil([&] { return returned.load(); }));
    worker.join();
    ASSERT_EQ(mainThread.Boxes().size(), 1u);
    EXPECT_EQ(mainThread.Boxes()[0].caption, "Fehler");
    EXPECT_EQ(mainThread.Boxes()[0].text, "Datei fehlt");
}

TEST(Hooks, BoxOnTheMainThreadIsShownAtOnce)
{
    testing_hooks::TestMainThread mainThread;
    EXPECT_TRUE(platform::IsMainThread());
    platform::ShowErrorBox("Fehler", "sofort");
    ASSERT_EQ(mainThread.Boxes().size(), 1u);
    EXPECT_EQ(mainThread.RunPending(), 0);
    bool otherIsMain = true;
    std::thread([&] { otherIsMain = platform::IsMainThread(); }).join();
    EXPECT_FALSE(otherIsMain);
}

TEST(Hooks, ShutdownReleasesAWaitingCallerAndDropsLaterWork)
{
    testing_hooks::TestMainThread mainThread;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        platform::ShowErrorBox("Fehler", "zu spät");
        returned = true;
    });
    EXPECT_FALSE(WaitFor(returned, 30ms));
    platform::Shutdown();
    EXPECT_TRUE(WaitFor(returned, 5000ms));
    worker.join();
    EXPECT_TRUE(platform::IsShutDown());

    bool ran = false;
    EXPECT_FALSE(platform::PostToMainThread([&] { ran = true; }));
    platform::ShowErrorBox("Fehler", "danach");
    std::thread([] { platform::ShowErrorBox("Fehler", "danach, anderswo"); }).join();
    mainThread.RunPending();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(mainThread.Boxes().empty());
}

// A program (or a test suite) that installs new hooks right after shutting
// the old ones down must not leave a caller of the old ones waiting forever.
TEST(Hooks, ReinstallingAfterShutdownKeepsWaitersReleased)
{
    for (int round = 0; round < 50; ++round) {
        HeldTasks held;
        platform::InstallHooks(held.Hooks());
        std::atomic<bool> returned{false};
        std::thread worker([&] {
            platform::ShowErrorBox("Fehler", "alt");
            returned = true;
        });
        ASSERT_TRUE(held.WaitForTask());
        platform::UninstallHooks();
        HeldTasks next;
        platform::InstallHooks(next.Hooks());
        const bool released = WaitFor(returned, 2000ms);
        if (!released)
            platform::Shutdown(); // lets the worker go so that the test can end
        worker.join();
        platform::UninstallHooks();
        ASSERT_TRUE(released) << "round " << round;
        EXPECT_EQ(held.boxes + next.boxes, 0);
    }
}

TEST(Hooks, UninstallWaitsForATaskBeingHandedOver)
{
    std::atomic<bool> inside{false}, handed{false};
    platform::Hooks hooks;
    hooks.postToMainThread = [&](platform::Task) {
        inside = true;
        std::this_thread::sleep_for(100ms);
        handed = true;
    };
    platform::InstallHooks(hooks);
    std::thread worker([] { platform::PostToMainThread([] {}); });
    ASSERT_TRUE(WaitFor(inside, 5000ms));
    platform::UninstallHooks();
    EXPECT_TRUE(handed);
    worker.join();
}

TEST(Hooks, PostingWithoutHooksFails)
{
    platform::UninstallHooks();
    bool ran = false;
    EXPECT_FALSE(platform::PostToMainThread([&] { ran = true; }));
    platform::InstallHooks(platform::Hooks{});
    EXPECT_FALSE(platform::PostToMainThread([&] { ran = true; }));
    platform::ShowErrorBox("Fehler", "niemand");
    std::thread([] { platform::ShowErrorBox("Fehler", "niemand"); }).join();
    platform::UninstallHooks();
    EXPECT_FALSE(ran);
}

TEST(Hooks, TasksRunLaterAndInOrder)
{
    testing_hooks::TestMainThread mainThread;
    std::vector<int> order;
    std::mutex orderMutex;
    auto add = [&](int n) {
        return [&, n] {
            std::lock_guard lock(orderMutex);
            order.push_back(n);
        };
    };
    EXPECT_TRUE(platform::PostToMainThread(add(1)));
    EXPECT_TRUE(order.empty());
    std::thread([&] {
        for (int n = 2; n <= 50; ++n)
            platform::PostToMainThread(add(n));
    }).join();
    EXPECT_TRUE(platform::PostToMainThread(add(51)));
    EXPECT_EQ(mainThread.RunPending(), 51);
    ASSERT_EQ(order.size(), 51u);
    for (int i = 0; i < 51; ++i)
        EXPECT_EQ(order[i], i + 1);
}

TEST(Hooks, WaitCursorNests)
{
    testing_hooks::TestMainThread mainThread;
    {
        platform::WaitCursor outer;
        EXPECT_EQ(mainThread.WaitCursorDepth(), 1);
        {
            platform::WaitCursor inner;
            EXPECT_EQ(mainThread.WaitCursorDepth(), 2);
        }
        EXPECT_EQ(mainThread.WaitCursorDepth(), 1);
    }
    EXPECT_EQ(mainThread.WaitCursorDepth(), 0);
    EXPECT_EQ(mainThread.WaitCursorShows(), 2);
}

TEST(Hooks, TerminateRequest)
{
    int asked = 0;
    platform::Hooks hooks;
    hooks.terminate = [&] { ++asked; };
    platform::InstallHooks(hooks);
    platform::ResetTerminateRequest();
    EXPECT_FALSE(platform::TerminateRequested());
    platform::RequestTerminate();
    EXPECT_TRUE(platform::TerminateRequested());
    EXPECT_EQ(asked, 1);
    platform::UninstallHooks();
    platform::ResetTerminateRequest();
    platform::RequestTerminate();
    EXPECT_TRUE(platform::TerminateRequested());
    EXPECT_EQ(asked, 1);
    platform::ResetTerminateRequest();
}
