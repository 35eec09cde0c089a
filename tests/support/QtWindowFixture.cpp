#include "tests/support/QtWindowFixture.h"

#include "app/QtHooks.h"
#include "app/Stages.h"
#include "bass.h"
#include "library/AudioLibraryExt.h"
#include "platform/Hooks.h"
#include "playback/BassExt.h"
#include "playback/PlayerExt.h"
#include "ui/Unit1.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTest>

void QtWindowFixture::SetUp()
{
    // Once per process; the engine controller's own attempt at the default
    // device then finds the engine initialised and changes nothing. A suite's
    // earlier window may have initialised it already; the error code is read
    // at once, as later engine calls replace it.
    static const bool engine = BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr) ||
                               BASS_ErrorGetCode() == BASS_ERROR_ALREADY;
    ASSERT_TRUE(engine);

    Context = std::make_unique<QObject>();
    RecordedBoxes = std::make_shared<std::vector<testing_hooks::Box>>();
    platform::Hooks hooks;
    hooks.postToMainThread = [context = Context.get()](platform::Task task) {
        QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
    };
    hooks.errorBox = [boxes = RecordedBoxes](const std::string &caption, const std::string &text) {
        boxes->push_back({caption, text});
    };
    WaitCursor = std::make_shared<WaitCursorCount>();
    // The program's own wait cursor, counted.
    hooks.waitCursor = [count = WaitCursor](bool on) {
        count->Shows += on;
        count->Depth += on ? 1 : -1;
        ShowWaitCursor(on);
        if (on && count->WhileOn)
            count->WhileOn();
    };
    hooks.applicationTitle = [](const std::string &) {};
    hooks.terminate = [] {};
    hooks.topLevelWindow = []() -> void * { return nullptr; };
    platform::InstallHooks(std::move(hooks));

    Player = new TKlangdeck;
    AudioLibrary = new TAudioLibrary;
    BassController = new TBassController;
    Form = Form1 = new TForm1;
    Form->InitContent();
    Form->show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form));
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form));
}

void QtWindowFixture::TearDown()
{
    // In the order of the program's end: the window, then the program-wide
    // objects; the hooks go last, after every task has had its context.
    delete Form;
    Form = Form1 = nullptr;
    if (Player)
        Player->CloseTrack();
    FreeStartupObjects();
    platform::UninstallHooks();
    Context.reset();
}

bool QtWindowFixture::WaitFor(const std::function<bool()> &pred, int timeoutMs)
{
    return QTest::qWaitFor(pred, timeoutMs);
}

void QtWindowFixture::ProcessEvents()
{
    QCoreApplication::processEvents();
}

std::vector<testing_hooks::Box> QtWindowFixture::Boxes() const
{
    return *RecordedBoxes;
}
