#include "app/TermSignals.h"

#include "platform/Hooks.h"
#include "ui/Unit1.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe's ends; -1 while no object is installed.
int readEnd = -1;
volatile sig_atomic_t writeEnd = -1;

extern "C" void Handler(int)
{
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds enough wake-ups.
    if (writeEnd >= 0)
        (void)!write(writeEnd, &byte, 1);
    errno = saved;
}

// The actions found before installing, given back by the destructor.
struct sigaction previous[std::size(kSignals)];
bool taken[std::size(kSignals)];

void Install()
{
    struct sigaction sa {};
    sa.sa_handler = Handler;
    sigemptyset(&sa.sa_mask);
    // Interrupted system calls restart: the rest of the program need not
    // know about the handler.
    sa.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        taken[i] = false;
        if (sigaction(kSignals[i], nullptr, &previous[i]) != 0)
            continue;
        // Started with nohup, or in the background of a shell: the caller
        // asked for SIGHUP or SIGINT to be ignored, and so it stays.
        if (kSignals[i] != SIGTERM && previous[i].sa_handler == SIG_IGN)
            continue;
        taken[i] = sigaction(kSignals[i], &sa, nullptr) == 0;
    }
}

void Uninstall()
{
    for (size_t i = 0; i < std::size(kSignals); ++i)
        if (taken[i])
            sigaction(kSignals[i], &previous[i], nullptr);
}

} // namespace

TTermSignals::TTermSignals(std::function<void()> onSignal, QObject *parent)
    : QObject(parent), OnSignal(std::move(onSignal))
{
    int fds[2];
    if (readEnd >= 0 || pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    readEnd = fds[0];
    writeEnd = fds[1];
    Notifier = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, &TTermSignals::Drain);
    Install();
}

TTermSignals::~TTermSignals()
{
    if (!Notifier)
        return;
    Uninstall();
    delete Notifier;
    const int w = writeEnd;
    writeEnd = -1;
    close(w);
    close(readEnd);
    readEnd = -1;
}

void TTermSignals::Drain()
{
    char bytes[16];
    ssize_t n;
    int arrived = 0;
    while ((n = read(readEnd, bytes, sizeof bytes)) > 0)
        arrived += static_cast<int>(n);
    for (int i = 0; i < arrived; ++i)
        if (OnSignal)
            OnSignal();
}

void EndProgramOnSignal()
{
    // Closing the main window ends the main loop as the menu item does; the
    // request also covers the start-up (no main window shown yet) and a
    // window that does not take the close.
    if (Form1 && Form1->isVisible())
        Form1->close();
    platform::RequestTerminate();
}
