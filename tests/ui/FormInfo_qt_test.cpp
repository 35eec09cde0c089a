#include "ui/FormInfo.h"

#include "ui/Unit1.h"

#include <QAction>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class InfoWindow : public ::testing::Test {
protected:
    void SetUp() override { InfoForm = &Info; }
    void TearDown() override { InfoForm = nullptr; }

    // Shows the window through the main window's menu item, as the user does.
    void ShowFromMenu()
    {
        Main.InfoItem->trigger();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Info));
    }

    TForm1 Main;
    TInfoForm Info;
};

TEST_F(InfoWindow, IsABorderlessPictureWithTheVersion)
{
    EXPECT_FALSE(Info.isVisible());
    EXPECT_EQ(Info.size(), QSize(432, 213));
    EXPECT_TRUE(Info.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(Info.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Info.Label2->text(), QStringLiteral(" Version 0.2.2"));
    EXPECT_EQ(Info.Label2->pos(), QPoint(6, 192));
    EXPECT_EQ(Info.Label2->font().pixelSize(), 12);
    EXPECT_TRUE(Info.Label2->font().bold());
    EXPECT_EQ(Info.Label2->palette().color(QPalette::WindowText), QColor(Qt::white));
}

TEST_F(InfoWindow, AnyMouseButtonOnThePictureHidesItAndInfoShowsItAgain)
{
    ShowFromMenu();
    QTest::mouseClick(&Info, Qt::RightButton, {}, QPoint(200, 100));
    EXPECT_FALSE(Info.isVisible());

    ShowFromMenu();
    // On the version label as well: the label lies on the picture.
    QTest::mousePress(&Info, Qt::MiddleButton, {}, Info.Label2->geometry().center());
    EXPECT_FALSE(Info.isVisible());
    // QTest keeps the buttons it pressed for the tests that follow.
    QTest::mouseRelease(&Info, Qt::MiddleButton, {}, Info.Label2->geometry().center());

    ShowFromMenu();
    QTest::mouseClick(&Info, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(Info.isVisible());
}

TEST_F(InfoWindow, AnyKeyHidesItAModifierAloneIncluded)
{
    ShowFromMenu();
    QTest::keyPress(&Info, Qt::Key_Shift);
    EXPECT_FALSE(Info.isVisible());
    QTest::keyRelease(&Info, Qt::Key_Shift);

    ShowFromMenu();
    QTest::keyClick(&Info, Qt::Key_A);
    EXPECT_FALSE(Info.isVisible());
}

TEST_F(InfoWindow, ActivatingAnotherWindowHidesIt)
{
    Main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main));
    ShowFromMenu();
    Main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Main));
    EXPECT_FALSE(Info.isVisible());

    ShowFromMenu();
    EXPECT_TRUE(Info.isVisible());
    EXPECT_TRUE(Info.isActiveWindow());
}

} // namespace
