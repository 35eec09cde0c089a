// The main window as the start-up builds it, for Qt tests: the real player,
// audio library and engine controller on the engine's no-sound device, the
// window created and filled by InitContent, and platform hooks whose
// main-thread tasks run in the Qt event loop (so the end of a track arrives
// while the test waits with WaitFor). Error boxes are recorded, not shown.
// Main thread only.
#pragma once

#include "tests/support/TestHooks.h"

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

class TForm1;

class QtWindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Pumps the Qt event loop until pred holds or timeoutMs pass; returns pred().
    static bool WaitFor(const std::function<bool()> &pred, int timeoutMs = 20000);
    // Handles the events that are due now, tasks handed to the main thread included.
    static void ProcessEvents();

    std::vector<testing_hooks::Box> Boxes() const;
    // How often the wait cursor was switched on, and how many are on now.
    int WaitCursorShows() const { return WaitCursor->Shows; }
    int WaitCursorDepth() const { return WaitCursor->Depth; }
    // Called each time the wait cursor has just been switched on.
    void WhileWaitCursor(std::function<void()> f) { WaitCursor->WhileOn = std::move(f); }

    TForm1 *Form = nullptr;

private:
    std::unique_ptr<QObject> Context; // runs the tasks handed to the main thread
    std::shared_ptr<std::vector<testing_hooks::Box>> RecordedBoxes;
    struct WaitCursorCount {
        int Shows = 0;
        int Depth = 0;
        std::function<void()> WhileOn;
    };
    std::shared_ptr<WaitCursorCount> WaitCursor;
};
