#include "ui/Assets.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QSvgRenderer>
#include <gtest/gtest.h>

namespace {

QSize SizeOf(const QString &path)
{
    QSvgRenderer renderer(path);
    EXPECT_TRUE(renderer.isValid()) << path.toStdString();
    return renderer.defaultSize();
}

// Share of pixels that the picture covers at all, at the given scale.
double Coverage(const QString &path, int scale)
{
    QSvgRenderer renderer(path);
    QImage image(renderer.defaultSize() * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), image.size()));
    painter.end();
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
