#include "ui/AlignLayout.h"

#include <QWidget>
#include <algorithm>

TAlignLayout::TAlignLayout(QWidget *parent) : TEntryLayout(parent)
{
}

void TAlignLayout::AddWidget(QWidget *widget, TAlign align)
{
    addChildWidget(widget);
    Entries.push_back({new QWidgetItem(widget), align});
    invalidate();
}

void TAlignLayout::Realign()
{
    if (QWidget *parent = parentWidget())
        setGeometry(parent->contentsRect());
}

void TAlignLayout::addItem(QLayoutItem *item)
{
    Entries.push_back({item, TAlign::Client});
}

QSize TAlignLayout::sizeHint() const
{
    return minimumSize();
}

void TAlignLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    // What is left for the widgets still to be placed; it may shrink below
    // nothing when the docked widgets are wider than the parent.
    int left = rect.left(), top = rect.top();
    int right = rect.left() + rect.width(), bottom = rect.top() + rect.height();
    // All top widgets first, then bottom, left, right and the rest, each kind
    // in the order added.
    for (TAlign kind : {TAlign::Top, TAlign::Bottom, TAlign::Left, TAlign::Right, TAlign::Client}) {
        for (const auto &entry : Entries) {
            QWidget *w = entry.Item->widget();
            if (entry.Align != kind || !w || w->isHidden())
                continue;
            int width = std::max(0, right - left), height = std::max(0, bottom - top);
            switch (kind) {
            case TAlign::Top:
                w->setGeometry(left, top, width, w->height());
                top += w->height();
                break;
            case TAlign::Bottom:
                w->setGeometry(left, bottom - w->height(), width, w->height());
                bottom -= w->height();
                break;
            case TAlign::Left:
                w->setGeometry(left, top, w->width(), height);
                left += w->width();
                break;
            case TAlign::Right:
                w->setGeometry(right - w->width(), top, w->width(), height);
                right -= w->width();
                break;
            case TAlign::Client:
                w->setGeometry(left, top, width, height);
                break;
            }
        }
    }
}

TAnchorLayout::TAnchorLayout(QSize designSize, QWidget *parent) : TEntryLayout(parent), DesignSize(designSize)
{
}

void TAnchorLayout::AddWidget(QWidget *widget, QRect designRect, int anchors)
{
    addChildWidget(widget);
    widget->setGeometry(designRect);
    Entries.push_back({new QWidgetItem(widget), designRect, anchors});
    invalidate();
}

void TAnchorLayout::addItem(QLayoutItem *item)
{
    Entries.push_back({item, item->geometry(), akLeft | akTop});
}

QSize TAnchorLayout::sizeHint() const
{
    return DesignSize;
}

void TAnchorLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    const int dx = rect.width() - DesignSize.width();
    const int dy = rect.height() - DesignSize.height();
    for (const auto &entry : Entries) {
        QWidget *w = entry.Item->widget();
        if (!w)
            continue;
        QRect r = entry.Design;
        if (entry.Anchors & akRight) {
            if (entry.Anchors & akLeft)
                r.setWidth(std::max(0, r.width() + dx));
            else
                r.moveLeft(r.left() + dx);
        }
        if (entry.Anchors & akBottom) {
            if (entry.Anchors & akTop)
                r.setHeight(std::max(0, r.height() + dy));
            else
                r.moveTop(r.top() + dy);
        }
        w->setGeometry(r.translated(rect.topLeft()));
    }
}
