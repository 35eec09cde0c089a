// An error that leaves an event handler is shown in the "Fehler" box and the
// program goes on: the event loop keeps running and later events arrive.
#include "app/Application.h"

#include "tests/support/TestHooks.h"

#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>

namespace {

// A window whose mouse handler fails as the player does when a track's
// record cannot be read.
class FailingWindow : public QWidget {
public:
    int presses = 0;
    int failure = 0; // 0 none, 1 a runtime error, 2 out of memory, 3 anything else

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        ++presses;
        switch (failure) {
        case 1:
            throw std::runtime_error("Datei kaputt");
        case 2:
            throw std::bad_alloc();
        case 3:
            throw 42;
        }
    }
};

TEST(Application, ErrorsLeavingAnEventHandlerAreShownAndTheLoopGoesOn)
{
    ASSERT_NE(dynamic_cast<TApplication *>(qApp), nullptr);
    testing_hooks::TestMainThread hooks;
    FailingWindow window;
    window.resize(100, 100);
    window.show();
    for (int failure : {1, 2, 3, 0}) {
        window.failure = failure;
        QTest::mouseClick(&window, Qt::LeftButton);
    }
    EXPECT_EQ(window.presses, 4);
    auto boxes = hooks.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    for (const auto &box : boxes)
        EXPECT_EQ(box.caption, "Fehler");
    EXPECT_EQ(boxes[0].text, "Datei kaputt");
    EXPECT_EQ(boxes[1].text, "Zu wenig Arbeitsspeicher.");
    EXPECT_EQ(boxes[2].text, "Unbekannter Fehler");

    // A failing timer does not stop the loop that runs it.
    bool later = false;
    QTimer::singleShot(0, [] { throw std::runtime_error("im Zeitgeber"); });
    QTimer::singleShot(10, [&later] { later = true; });
    QTest::qWaitFor([&later] { return later; }, 2000);
    EXPECT_TRUE(later);
    ASSERT_EQ(hooks.Boxes().size(), 4u);
    EXPECT_EQ(hooks.Boxes()[3].text, "im Zeitgeber");
}

} // namespace
