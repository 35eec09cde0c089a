// The program's application object: an error that leaves an event handler
// (a window's, a timer's, a queued task's) is shown in the "Fehler" box and
// the program goes on, as no error may end it. Main thread only.
#pragma once

#include <QApplication>

class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
