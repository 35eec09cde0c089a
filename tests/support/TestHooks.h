// Platform hooks for tests: the test's own thread is the main thread, and
// tasks handed to it run when the test pumps them.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testing_hooks {

struct Box {
    std::string caption;
    std::string text;
};

// Installs hooks whose main thread is the calling thread. Error boxes are
// recorded (and closed at once); the wait cursor is counted.
class TestMainThread {
public:
    TestMainThread();
    ~TestMainThread();

    // Runs every task posted so far (and those they post). Returns how many ran.
    int RunPending();
    // Pumps until pred() holds or the timeout passes; returns pred().
    bool RunUntil(const std::function<bool()> &pred,
                  std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));

    std::vector<Box> Boxes() const;
    int WaitCursorDepth() const; // cursors on minus cursors off
    int WaitCursorShows() const; // how often it was switched on
    std::string Title() const;

private:
    struct Impl;
    Impl *impl;
};

} // namespace testing_hooks
