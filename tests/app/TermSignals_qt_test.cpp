// The termination signals arrive on the main thread, from the event loop,
// once each; the handlers leave again with the object, and a signal that
// the program's starter ignored stays ignored.
#include "app/TermSignals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace {

void Pump(int ms = 100)
{
    QElapsedTimer timer;
    timer.start();
    // At least one pass, however late this thread got the processor back.
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (timer.elapsed() < ms);
}

void (*Action(int sig))(int)
{
    struct sigaction sa {};
    sigaction(sig, nullptr, &sa);
    return sa.sa_handler;
}

TEST(TermSignals, EachSignalReachesTheMainThreadOnceAndOnlyFromTheEventLoop)
{
    int calls = 0;
    std::thread::id caller;
    {
        TTermSignals watcher([&] {
            ++calls;
            caller = std::this_thread::get_id();
        });
        ASSERT_TRUE(watcher.Installed());
        raise(SIGTERM);
        // Sent from another thread, as kill does: still handled here.
        std::thread([] { raise(SIGHUP); }).join();
        raise(SIGINT);
        EXPECT_EQ(calls, 0) << "not inside the signal handler";
        Pump();
        EXPECT_EQ(calls, 3);
        EXPECT_EQ(caller, std::this_thread::get_id());
        Pump();
        EXPECT_EQ(calls, 3);
    }
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        EXPECT_EQ(Action(sig), SIG_DFL) << sig;
}

TEST(TermSignals, ASignalIgnoredAtStartStaysIgnored)
{
    signal(SIGHUP, SIG_IGN);
    int calls = 0;
    {
        TTermSignals watcher([&] { ++calls; });
        EXPECT_EQ(Action(SIGHUP), SIG_IGN);
        raise(SIGHUP);
        Pump();
        EXPECT_EQ(calls, 0);
        // SIGTERM is the desktop's request to end; it is always taken.
        raise(SIGTERM);
        Pump();
        EXPECT_EQ(calls, 1);
    }
    EXPECT_EQ(Action(SIGHUP), SIG_IGN);
    signal(SIGHUP, SIG_DFL);
}

} // namespace
