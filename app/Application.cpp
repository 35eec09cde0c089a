#include "app/Application.h"

#include "platform/Hooks.h"

#include <exception>
#include <new>

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    // Qt itself lets nothing pass through its event loop: an exception that
    // got this far would end the program.
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc &) {
        platform::ShowErrorBox("Fehler", "Zu wenig Arbeitsspeicher.");
    } catch (const std::exception &e) {
        platform::ShowErrorBox("Fehler", e.what());
    } catch (...) {
        platform::ShowErrorBox("Fehler", "Unbekannter Fehler");
    }
    return false;
}
