#include "ui/ImageButton.h"
#include "ui/TrackBar.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Shown {
    QWidget window;
    explicit Shown(QSize size = {200, 100})
    {
        window.resize(size);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
};

TEST(ImageButton, ShowsThePictureOfItsState)
{
    Shown shown;
    TImageButton button("play", 41, &shown.window);
    button.move(10, 10);
    button.show();
    QSignalSpy clicks(&button, &QAbstractButton::clicked);

    EXPECT_EQ(button.size(), QSize(41, 41));
    EXPECT_EQ(button.focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(button.State(), ButtonState::Normal);
    EXPECT_EQ(button.Picture(ButtonState::Hover), ButtonImage("play", ButtonState::Hover));
    const QImage normal = button.grab().toImage();

    // A move without a button held places the system's pointer, whose move
    // reaches the window as the system delivers it (on Windows through its
    // message queue, under Wine through the X server).
    QTest::mouseMove(&button, QPoint(20, 20));
    ASSERT_TRUE(QTest::qWaitFor([&] { return button.State() == ButtonState::Hover; }, 10000))
        << "state " << int(button.State());
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(button.State(), ButtonState::Pressed);
    const QImage pressed = button.grab().toImage();
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_NE(normal, pressed);

    button.setEnabled(false);
    EXPECT_EQ(button.State(), ButtonState::Disabled);
    const QImage disabled = button.grab().toImage();
    EXPECT_NE(normal, disabled);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(clicks.count(), 1);
}

TEST(ImageButton, PicturesAreRenderedForTheDevicePixelRatio)
{
    const QPixmap sharp = SvgPixmap(ButtonImage("stop", ButtonState::Normal), QSize(25, 25), 2.0);
    EXPECT_EQ(sharp.size(), QSize(50, 50));
    EXPECT_DOUBLE_EQ(sharp.devicePixelRatio(), 2.0);
    const QPixmap plain = SvgPixmap(ButtonImage("stop", ButtonState::Normal), QSize(25, 25), 1.0);
    EXPECT_EQ(plain.size(), QSize(25, 25));
}

TEST(ModeButton, IsAFlatGlyphWithAHint)
{
    Shown shown;
    TModeButton button(ModeImage(2), "Track wiederholen", &shown.window);
    button.Tag = 3;
    button.show();
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    EXPECT_EQ(button.size(), QSize(16, 16));
    EXPECT_EQ(button.toolTip(), "Track wiederholen");
    EXPECT_EQ(button.Glyph(), ModeImage(2));
    EXPECT_EQ(button.focusPolicy(), Qt::NoFocus);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(clicks.count(), 1);
}

TEST(TrackBar, APressOnTheKnobIsAPressOnTheBar)
{
    Shown shown({700, 60});
    TTrackBar bar(&shown.window);
    bar.setGeometry(10, 10, 615, 17);
    bar.show();
    std::vector<std::pair<int, int>> downs, ups, moves;
    bar.OnMouseDown = [&](Qt::MouseButton button, int x) { downs.emplace_back(int(button), x); };
    bar.OnMouseUp = [&](Qt::MouseButton button, int x) { ups.emplace_back(int(button), x); };
    bar.OnMouseMove = [&](Qt::MouseButtons buttons, int x) { moves.emplace_back(int(buttons), x); };

    EXPECT_EQ(bar.Travel(), 615 - 13 - 4);
    bar.SetKnobLeft(100);
    EXPECT_EQ(bar.KnobLeft(), 100);
    TTrackButton *knob = bar.TrackButton();
    EXPECT_EQ(knob->size(), QSize(13, 13));
    EXPECT_FALSE(knob->isEnabled());
    EXPECT_EQ(knob->geometry().topLeft(), QPoint(TTrackBar::kBorder + 100, TTrackBar::kBorder));

    // The middle of the knob, in the bar's own pixels, is client x 106. The
    // press goes to the window, which finds the control under the pointer.
    const QPoint onKnob = knob->geometry().center();
    QTest::mousePress(shown.window.windowHandle(), Qt::LeftButton, {}, bar.mapTo(&shown.window, onKnob));
    QTest::mouseMove(&bar, onKnob + QPoint(30, 0));
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, onKnob + QPoint(30, 0));
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0], std::make_pair(int(Qt::LeftButton), 106));
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back().second, 136);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0], std::make_pair(int(Qt::LeftButton), 136));

    // Moves without a button held are reported too, and so is a right press.
    moves.clear();
    QTest::mouseMove(&bar, QPoint(300, 8));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !moves.empty() && moves.back().second == 300 - TTrackBar::kBorder; }, 10000));
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back(), std::make_pair(int(Qt::NoButton), 300 - TTrackBar::kBorder));
    QTest::mousePress(&bar, Qt::RightButton, {}, QPoint(2, 8));
    EXPECT_EQ(downs.back(), std::make_pair(int(Qt::RightButton), 0));
}

} // namespace
