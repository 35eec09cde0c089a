#include "app/QtHooks.h"

#include "platform/Hooks.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

class QtHooks : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::ResetTerminateRequest();
        InstallQtHooks(Context.get(), [this] { return Window.get(); });
    }
    void TearDown() override
    {
        platform::UninstallHooks();
        platform::ResetTerminateRequest();
    }
    static void Pump(int ms = 50)
    {
        QElapsedTimer timer;
        timer.start();
        // At least one pass, however late this thread got the processor back.
        do
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        while (timer.elapsed() < ms);
    }

    std::unique_ptr<QObject> Context = std::make_unique<QObject>();
    std::unique_ptr<QWidget> Window;
};

TEST_F(QtHooks, TasksRunLaterOnTheMainThreadInTheirOrder)
{
    std::vector<int> ran;
    std::thread::id mainThread = std::this_thread::get_id(), ranOn;
    EXPECT_TRUE(platform::PostToMainThread([&] { ran.push_back(1); }));
    EXPECT_TRUE(ran.empty());
    std::thread worker([&] {
        for (int i = 2; i <= 50; ++i)
            platform::PostToMainThread([&, i] {
                ran.push_back(i);
                ranOn = std::this_thread::get_id();
            });
    });
    worker.join();
    Pump();
    ASSERT_EQ(ran.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(ran[i], i + 1);
    EXPECT_EQ(ranOn, mainThread);
}

TEST_F(QtHooks, NoTaskRunsOnceItsContextIsGone)
{
    bool ran = false;
    platform::PostToMainThread([&] { ran = true; });
    platform::UninstallHooks();
    Context.reset();
    Pump();
    EXPECT_FALSE(ran);
}

TEST_F(QtHooks, ErrorBoxIsACriticalMessageWithOk)
{
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    // The box appears when the system has shown it, which under Wine can take
    // a while.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(20);
    platform::ShowErrorBox("Fehler", "Zeile eins\r\rZeile drei");
    EXPECT_EQ(caption, QStringLiteral("Fehler"));
    EXPECT_EQ(text, QStringLiteral("Zeile eins\n\nZeile drei"));
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST_F(QtHooks, WaitCursorNestsAndTitleNamesTheApplication)
{
    {
        platform::WaitCursor outer;
        {
            platform::WaitCursor inner;
            ASSERT_NE(QApplication::overrideCursor(), nullptr);
            EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        EXPECT_NE(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    platform::SetApplicationTitle("Klangdeck");
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Klangdeck"));

    EXPECT_EQ(platform::TopLevelWindowHandle(), nullptr);
    Window = std::make_unique<QWidget>();
    EXPECT_EQ(platform::TopLevelWindowHandle(), reinterpret_cast<void *>(Window->winId()));
}

TEST_F(QtHooks, ATerminationRequestedBeforeTheMainLoopEndsItAtOnce)
{
    platform::RequestTerminate();
    bool ranInLoop = false;
    QTimer::singleShot(0, [&] { ranInLoop = true; });
    // Only a loop that missed the request gets as far as this exit code.
    QTimer::singleShot(30000, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(RunMainLoop(), 0);
    EXPECT_TRUE(ranInLoop);
}

TEST_F(QtHooks, ATerminationRequestedWhileTheLoopRunsEndsIt)
{
    QTimer::singleShot(20, [] { platform::RequestTerminate(); });
    QTimer::singleShot(3000, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(RunMainLoop(), 0);
}

} // namespace
