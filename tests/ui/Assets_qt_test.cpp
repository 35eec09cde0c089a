#include "ui/Assets.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSet>
#ifndef KLANG_PNG_ARTWORK
#include <QSvgRenderer>
#endif
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// The picture's own size: the SVG's, or that of its 1x rendering.
QSize SizeOf(const QString &path)
{
#ifdef KLANG_PNG_ARTWORK
    const QImage image(path);
    EXPECT_FALSE(image.isNull()) << path.toStdString();
    return image.size();
#else
    QSvgRenderer renderer(path);
    EXPECT_TRUE(renderer.isValid()) << path.toStdString();
    return renderer.defaultSize();
#endif
}

// Share of pixels that the picture covers at all, at the given scale, as
// the program draws it.
double Coverage(const QString &path, int scale)
{
    const QImage image = SvgPixmap(path, SizeOf(path), scale).toImage();
    int covered = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            covered += qAlpha(image.pixel(x, y)) > 0;
    return double(covered) / (image.width() * image.height());
}

} // namespace

TEST(Assets, ProductArtworkFillsTheWholeWindowSize)
{
    for (const QString &path : {SplashImage(), InfoImage()}) {
        EXPECT_EQ(SizeOf(path), QSize(432, 213)) << path.toStdString();
        EXPECT_DOUBLE_EQ(Coverage(path, 1), 1.0) << path.toStdString();
    }
}

TEST(Assets, EveryButtonHasFourDistinctPicturesOfItsSize)
{
    const std::pair<const char *, int> buttons[] = {
        {"play", 41}, {"pause", 41}, {"stop", 25}, {"back", 33}, {"next", 33}};
    for (auto [name, size] : buttons) {
        QSet<QByteArray> contents;
        for (auto state :
             {ButtonState::Normal, ButtonState::Pressed, ButtonState::Hover, ButtonState::Disabled}) {
            const QString path = ButtonImage(name, state);
            EXPECT_EQ(SizeOf(path), QSize(size, size)) << path.toStdString();
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
            contents.insert(file.readAll());
        }
        EXPECT_EQ(contents.size(), 4) << name;
    }
}

TEST(Assets, SmallImagesAre16PixelsAndVisible)
{
    QStringList paths;
    for (int i = 0; i < kMenuImageCount; ++i)
        paths << MenuImage(i);
    for (int i = 0; i < kTreeImageCount; ++i)
        paths << TreeImage(i);
    for (int i = 0; i < kPlayModeCount; ++i)
        paths << ModeImage(i);
    for (const QString &path : paths) {
        EXPECT_EQ(SizeOf(path), QSize(16, 16)) << path.toStdString();
        EXPECT_GT(Coverage(path, 2), 0.1) << path.toStdString();
    }
}

TEST(Assets, MenuImagesOfThePlayModesAreTheModeGlyphs)
{
    for (int mode = 0; mode < kPlayModeCount; ++mode) {
        QFile menu(MenuImage(5 + mode));
        QFile glyph(ModeImage(mode));
        ASSERT_TRUE(menu.open(QIODevice::ReadOnly));
        ASSERT_TRUE(glyph.open(QIODevice::ReadOnly));
        EXPECT_EQ(menu.readAll(), glyph.readAll()) << mode;
    }
}

// Only the glyph tells the mode: drawn at 16 pixels on a white ground, every
// two of them differ clearly (by more than half the colour range) in at least
// an eighth of their pixels.
TEST(Assets, EveryTwoModeGlyphsAreTellableApartAt16Pixels)
{
    auto draw = [](int mode) {
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.drawPixmap(0, 0, SvgPixmap(ModeImage(mode), QSize(16, 16), 1.0));
        return image;
    };
    for (int a = 0; a < kPlayModeCount; ++a)
        for (int b = a + 1; b < kPlayModeCount; ++b) {
            const QImage first = draw(a), second = draw(b);
            int differing = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const QRgb p = first.pixel(x, y), q = second.pixel(x, y);
                    differing += std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                           std::abs(qBlue(p) - qBlue(q))}) > 128;
                }
            EXPECT_GE(differing, 16 * 16 / 8)
                << ModeImage(a).toStdString() << " " << ModeImage(b).toStdString();
        }
}
