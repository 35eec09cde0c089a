// Klangdeck: the program entry.
#include "app/Application.h"
#include "app/QtHooks.h"
#include "app/QtSession.h"
#include "app/Stages.h"
#ifndef _WIN32
#include "app/TermSignals.h"
#include "mpris/MprisService.h"
#endif
#include "platform/Hooks.h"
#include "platform/Threads.h"
#include "ui/FormInfo.h"
#include "ui/FormSplash.h"
#include "ui/Unit1.h"

#include <QIcon>

int main(int argc, char *argv[])
{
    platform::ShareHeapsBetweenThreads();
    TApplication app(argc, argv);
    PrepareQtSession();
    // Ends after the windows, and with them the file dialog, have gone.
    const platform::KeptRegistryKey qtRegistry = KeepQtRegistrySettings();
    // The menu entry that the desktop matches the window to, and its icon
    // from the icon theme once installed.
    QGuiApplication::setDesktopFileName(QStringLiteral("klangdeck"));
    QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("klangdeck")));
#ifndef _WIN32
    // The desktop's log-out, kill and Ctrl+C end the program as "&Beenden".
    // (Windows ends a window program's session by window messages, which Qt
    // takes care of.)
    TTermSignals termSignals(EndProgramOnSignal);
#endif
    // Tasks handed to the main thread run on this object; it outlives
    // everything that may hand them over.
    auto *mainThread = new QObject;
    InstallQtHooks(mainThread, [] { return static_cast<QWidget *>(Form1); });
    platform::SetApplicationTitle("Klangdeck");

    Form1 = new TForm1;
    SplashForm = new TSplashForm(MakeStartupStages());
    SplashForm->exec();

    if (!Form1->isVisible())
        Form1->show();
#ifdef _WIN32
    const int result = RunMainLoop();
#else
    // The desktop's media keys and controls, when there is a session bus.
    auto mediaControls = TMprisService::StartOnSessionBus(Form1);
    const int result = RunMainLoop();
    mediaControls.reset();
#endif

    // The windows go first, so that nothing the controllers still report can
    // reach one of them.
    delete SplashForm;
    SplashForm = nullptr;
    delete InfoForm;
    InfoForm = nullptr;
    delete Form1;
    Form1 = nullptr;

    platform::Shutdown();
    FreeStartupObjects();
    platform::UninstallHooks();
    delete mainThread;
    return result;
}
