// Klangdeck: the program entry.
#include "app/Application.h"
#include "app/FormInfo.h"
#include "app/FormSplash.h"
#include "app/QtHooks.h"
#include "platform/Hooks.h"
#include "ui/Unit1.h"

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    // Tasks handed to the main thread run on this object; it outlives
    // everything that may hand them over.
    auto *mainThread = new QObject;
    InstallQtHooks(mainThread, [] { return static_cast<QWidget *>(Form1); });
    platform::SetApplicationTitle("Klangdeck");

    Form1 = new TForm1;
    SplashForm = new TSplashForm;
    SplashForm->exec();

    if (!Form1->isVisible())
        Form1->show();
    const int result = RunMainLoop();

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
