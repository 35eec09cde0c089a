#include "ui/Picture.h"

#include <QPainter>

TPicture::TPicture(const QString &fileName, QWidget *parent) : QWidget(parent), Renderer(fileName)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TPicture::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    Renderer.render(&painter, rect());
}
