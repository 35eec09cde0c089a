#include "ui/Assets.h"

#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <cmath>
#ifndef KLANG_PNG_ARTWORK
#include <QSvgRenderer>
#endif

// Windows has no SVG renderer: there each picture comes rendered at build
// time, at 1x as NAME.png and at 2x as NAME@2x.png.
#ifdef KLANG_PNG_ARTWORK
static const QString kArtSuffix = QStringLiteral(".png");
#else
static const QString kArtSuffix = QStringLiteral(".svg");
#endif

static void InitAssetsResource()
{
    Q_INIT_RESOURCE(assets);
}

void InitAssets()
{
    static const bool done = (InitAssetsResource(), true);
    (void)done;
}

QString SplashImage()
{
    InitAssets();
    return QStringLiteral(":/splash") + kArtSuffix;
}

QString InfoImage()
{
    InitAssets();
    return QStringLiteral(":/info") + kArtSuffix;
}

QString ButtonImage(const char *name, ButtonState state)
{
    InitAssets();
    static const char *const states[] = {"normal", "pressed", "hover", "disabled"};
    return QStringLiteral(":/buttons/%1-%2%3")
        .arg(QLatin1StringView(name), QLatin1StringView(states[static_cast<int>(state)]), kArtSuffix);
}

QString ModeImage(int mode)
{
    InitAssets();
    static const char *const modes[kPlayModeCount] = {"default", "track", "repeat", "repeatall", "random"};
    if (mode < 0 || mode >= kPlayModeCount)
        mode = 0;
    return QStringLiteral(":/modes/%1%2").arg(QLatin1StringView(modes[mode]), kArtSuffix);
}

QString MenuImage(int index)
{
    InitAssets();
    if (index < 0 || index >= kMenuImageCount)
        return {};
    return QStringLiteral(":/menu/%1%2").arg(index).arg(kArtSuffix);
}

QString TreeImage(int index)
{
    InitAssets();
    if (index < 0 || index >= kTreeImageCount)
        return {};
    return QStringLiteral(":/tree/%1%2").arg(index).arg(kArtSuffix);
}

#ifdef KLANG_PNG_ARTWORK
// The 2x rendering of a picture at path.
static QString DoubleSize(const QString &path)
{
    return path.left(path.size() - kArtSuffix.size()) + QStringLiteral("@2x") + kArtSuffix;
}
#endif

static QIcon ArtIcon(const QString &path)
{
    QIcon icon(path);
#ifdef KLANG_PNG_ARTWORK
    icon.addFile(DoubleSize(path));
#endif
    return icon;
}

QIcon MenuIcon(int index)
{
    const QString path = MenuImage(index);
    return path.isEmpty() ? QIcon() : ArtIcon(path);
}

QList<QIcon> TreeIcons()
{
    QList<QIcon> icons;
    for (int i = 0; i < kTreeImageCount; ++i)
        icons << ArtIcon(TreeImage(i));
    return icons;
}

QPixmap SvgPixmap(const QString &path, QSize size, qreal devicePixelRatio)
{
    InitAssets();
    const QString key = QStringLiteral("klangdeck:%1:%2x%3@%4")
                            .arg(path)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(devicePixelRatio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    const QSize pixels(int(std::ceil(size.width() * devicePixelRatio)),
                       int(std::ceil(size.height() * devicePixelRatio)));
#ifdef KLANG_PNG_ARTWORK
    // The rendering nearest above the pixels asked for, scaled to them.
    const QImage source(devicePixelRatio > 1 ? DoubleSize(path) : path);
    const QImage image = source.size() == pixels
                             ? source
                             : source.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
#else
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    painter.end();
#endif
    pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}
