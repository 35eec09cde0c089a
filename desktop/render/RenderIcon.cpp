// Renders SVG pictures to PNG files with the SVG renderer the Linux program
// draws its artwork with, and packs PNG files into a Windows icon. Build
// step only (also of the Windows build, which has no SVG renderer).
//   klangdeck-render-icon SVG SIZE PNG [SVG SIZE PNG]...
//     SIZE: N for N x N pixels, or xF for the picture's own size times F
//   klangdeck-render-icon --ico ICO PNG...
//     one icon image per PNG, each stored as PNG (read since Windows Vista)
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>
#include <cstdio>

static bool Fail(const char *what, const char *name)
{
    std::fprintf(stderr, "klangdeck-render-icon: %s %s\n", what, name);
    return false;
}

static bool Render(const char *svg, const QString &size, const char *png)
{
    QSvgRenderer renderer(QString::fromLocal8Bit(svg));
    if (!renderer.isValid())
        return Fail("cannot read", svg);
    QSize pixels;
    bool ok = false;
    if (size.startsWith(QLatin1Char('x'))) {
        const double factor = size.mid(1).toDouble(&ok);
        pixels = renderer.defaultSize() * factor;
    } else {
        const int side = size.toInt(&ok);
        pixels = QSize(side, side);
    }
    if (!ok || pixels.isEmpty())
        return Fail("bad size for", svg);
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    if (!image.save(QString::fromLocal8Bit(png), "PNG"))
        return Fail("cannot write", png);
    return true;
}

template <typename T> static void Put(QByteArray &out, T value)
{
    value = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

// The ICO container: a directory of entries, then each image's PNG bytes.
static bool WriteIco(const char *ico, char **pngs, int count)
{
    QList<QByteArray> images;
    QByteArray out;
    Put<quint16>(out, 0);
    Put<quint16>(out, 1);
    Put<quint16>(out, quint16(count));
    quint32 offset = 6 + 16 * count;
    for (int i = 0; i < count; ++i) {
        QFile file(QString::fromLocal8Bit(pngs[i]));
        const QImage image(file.fileName());
        if (image.isNull() || image.width() > 256 || image.height() > 256 || !file.open(QIODevice::ReadOnly))
            return Fail("cannot use", pngs[i]);
        images << file.readAll();
        // 256 pixels are written as 0.
        out.append(char(image.width() & 0xff));
        out.append(char(image.height() & 0xff));
        Put<quint8>(out, 0);
        Put<quint8>(out, 0);
        Put<quint16>(out, 1);
        Put<quint16>(out, 32);
        Put<quint32>(out, quint32(images.last().size()));
        Put<quint32>(out, offset);
        offset += quint32(images.last().size());
    }
    for (const QByteArray &image : images)
        out += image;
    QFile file(QString::fromLocal8Bit(ico));
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size())
        return Fail("cannot write", ico);
    return true;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc >= 4 && qstrcmp(argv[1], "--ico") == 0)
        return WriteIco(argv[2], argv + 3, argc - 3) ? 0 : 1;
    if (argc < 4 || (argc - 1) % 3 != 0) {
        std::fprintf(stderr, "usage: klangdeck-render-icon SVG SIZE PNG [SVG SIZE PNG]...\n"
                             "       klangdeck-render-icon --ico ICO PNG...\n");
        return 2;
    }
    for (int i = 1; i < argc; i += 3) {
        if (!Render(argv[i], QString::fromLocal8Bit(argv[i + 1]), argv[i + 2]))
            return 1;
    }
    return 0;
}
