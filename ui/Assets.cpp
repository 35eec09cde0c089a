#include "ui/Assets.h"

#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>
#include <cmath>

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
    return QStringLiteral(":/splash.svg");
}

QString InfoImage()
{
    InitAssets();
    return QStringLiteral(":/info.svg");
}

QString ButtonImage(const char *name, ButtonState state)
{
    InitAssets();
    static const char *const states[] = {"normal", "pressed", "hover", "disabled"};
    return QStringLiteral(":/buttons/%1-%2.svg")
        .arg(QLatin1StringView(name), QLatin1StringView(states[static_cast<int>(state)]));
}

QString ModeImage(int mode)
{
    InitAssets();
    static const char *const modes[kPlayModeCount] = {"default", "track", "repeat", "repeatall", "random"};
    if (mode < 0 || mode >= kPlayModeCount)
        mode = 0;
    return QStringLiteral(":/modes/%1.svg").arg(QLatin1StringView(modes[mode]));
}

QString MenuImage(int index)
{
    InitAssets();
    if (index < 0 || index >= kMenuImageCount)
        return {};
    return QStringLiteral(":/menu/%1.svg").arg(index);
}

QString TreeImage(int index)
{
    InitAssets();
    if (index < 0 || index >= kTreeImageCount)
        return {};
    return QStringLiteral(":/tree/%1.svg").arg(index);
}

QIcon MenuIcon(int index)
{
    const QString path = MenuImage(index);
    return path.isEmpty() ? QIcon() : QIcon(path);
}

QList<QIcon> TreeIcons()
{
    QList<QIcon> icons;
    for (int i = 0; i < kTreeImageCount; ++i)
        icons << QIcon(TreeImage(i));
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
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    painter.end();
    pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}
