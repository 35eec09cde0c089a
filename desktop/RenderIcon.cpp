// Renders the program's SVG icon to a square PNG of the given size, with
// the SVG renderer the program itself draws its artwork with. Build step only.
//   klangdeck-render-icon SVG SIZE PNG
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int size = argc == 4 ? std::atoi(argv[2]) : 0;
    if (size <= 0) {
        std::fprintf(stderr, "usage: klangdeck-render-icon SVG SIZE PNG\n");
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "klangdeck-render-icon: cannot read %s\n", argv[1]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "klangdeck-render-icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
