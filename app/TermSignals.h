// The termination signals of the desktop (SIGTERM at log-out or from kill,
// SIGHUP when the terminal goes, SIGINT from Ctrl+C) as a request on the
// main thread: a signal handler may do next to nothing, so it only writes a
// byte into a pipe that the event loop watches.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

class TTermSignals : public QObject {
public:
    // Installs the handlers; onSignal runs on the main thread, from the event
    // loop, once for every signal that arrived. A SIGHUP or SIGINT ignored
    // when the program started (nohup, a shell's background) stays ignored.
    // One object at a time.
    explicit TTermSignals(std::function<void()> onSignal, QObject *parent = nullptr);
    // Gives the signals the actions they had before.
    ~TTermSignals() override;
    TTermSignals(const TTermSignals &) = delete;
    TTermSignals &operator=(const TTermSignals &) = delete;

    // False when the pipe or a handler could not be set up; the signals then
    // keep their default action (ending the program at once).
    bool Installed() const { return Notifier != nullptr; }

private:
    void Drain();

    std::function<void()> OnSignal;
    QSocketNotifier *Notifier = nullptr;
};

// Ends the program as its "&Beenden" does: closes the main window, so that
// the main loop ends and everything is freed in its order; during the
// start-up, the program ends as soon as its main loop starts.
void EndProgramOnSignal();
