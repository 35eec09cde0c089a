// The program's connection to whatever runs its main thread.
//
// The core never talks to the window system itself. The program installs
// these hooks at start-up (Qt, app/QtHooks), tests install their own
// (tests/support/TestHooks). Every function here may be called from any
// thread unless it says otherwise.
#pragma once

#include <functional>
#include <string>

namespace platform {

using Task = std::function<void()>;

struct Hooks {
    // Runs task later on the main thread, in the order posted. Must not run
    // it inside the call, even when called on the main thread.
    std::function<void(Task)> postToMainThread;
    // Shows a modal error box (error icon, OK button) on the main thread and
    // returns when it has been closed. Only ever called on the main thread.
    std::function<void(const std::string &caption, const std::string &text)> errorBox;
    // Wait cursor on (true) and off (false); calls nest. Main thread only.
    std::function<void(bool on)> waitCursor;
    // The application's title.
    std::function<void(const std::string &title)> applicationTitle;
    // The program asks to end; it ends as soon as its main loop runs.
    std::function<void()> terminate;
    // The native handle of the top-level window, or null.
    std::function<void *()> topLevelWindow;
};

// Installs the hooks and makes the calling thread the main thread.
void InstallHooks(Hooks hooks);
// Removes every hook; posted tasks and boxes are dropped from then on.
void UninstallHooks();

bool IsMainThread();

// Hands task to the main thread. Returns false (and drops the task) when no
// main thread takes tasks any more (no hook, or shut down).
bool PostToMainThread(Task task);

// Shows an error box. From the main thread it is shown at once; from any
// other thread it is carried to the main thread and the caller waits until
// it is closed, or until Shutdown() is called.
void ShowErrorBox(const std::string &caption, const std::string &text);

// Ends all waiting in ShowErrorBox and makes later boxes and posted tasks
// no-ops. Called once at program end, before worker threads are joined.
void Shutdown();
bool IsShutDown();

// Sets the application's title (no-op without a hook).
void SetApplicationTitle(const std::string &title);

// Asks the program to end when its main loop starts.
void RequestTerminate();
bool TerminateRequested();
// Forgets an earlier request (tests).
void ResetTerminateRequest();

void *TopLevelWindowHandle();

// Shows the wait cursor for the lifetime of the object (main thread).
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// The folder of the running program file, ending in "/".
std::string ProgramFolder();

} // namespace platform
