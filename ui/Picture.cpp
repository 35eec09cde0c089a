#include "ui/Picture.h"

#include "ui/Assets.h"

#include <QPainter>

TPicture::TPicture(const QString &fileName, QWidget *parent) : QWidget(parent), FileName(fileName)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TPicture::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), SvgPixmap(FileName, size(), devicePixelRatioF()));
}
