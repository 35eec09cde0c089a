// The main() of every Qt test suite: the program's application object on the
// offscreen platform (Windows has none; there the windows land on the
// display Wine draws on), then GoogleTest.
#include "app/Application.h"
#include "app/QtSession.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

QtMessageHandler defaultHandler = nullptr;

// Wine passes no QT_* variable of the Unix environment on to the program, so
// the Windows suites choose their platform here.
#ifdef _WIN32
constexpr char DefaultPlatform[] = "windows";
#else
constexpr char DefaultPlatform[] = "offscreen";
#endif

// The offscreen platform says so each time a window asks it for opacity or
// raising; that is expected here and would bury the test output.
void QuietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support")))
        return;
    defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", DefaultPlatform);
    defaultHandler = qInstallMessageHandler(QuietHandler);
    TApplication app(argc, argv);
    // As in the program: the windows' file dialogs leave nothing in the home.
    KeepNoQtSettings();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
