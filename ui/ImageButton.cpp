#include "ui/ImageButton.h"

#include <QEvent>
#include <QPainter>

namespace {

// Hover is tracked through the widget's hover events; both buttons repaint
// when the pointer enters or leaves and when they are enabled or disabled.
bool NeedsRepaint(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverLeave:
    case QEvent::EnabledChange:
        return true;
    default:
        return false;
    }
}

void SetUpButton(QAbstractButton *button, QSize size)
{
    button->setFixedSize(size);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAttribute(Qt::WA_Hover);
    button->setCursor(Qt::ArrowCursor);
}

} // namespace

TImageButton::TImageButton(const char *name, int size, QWidget *parent)
    : TImageButton(ButtonImage(name, ButtonState::Normal), ButtonImage(name, ButtonState::Pressed),
                   ButtonImage(name, ButtonState::Hover), ButtonImage(name, ButtonState::Disabled),
                   QSize(size, size), parent)
{
}

TImageButton::TImageButton(const QString &normal, const QString &pressed, const QString &hover,
                           const QString &disabled, QSize size, QWidget *parent)
    : QAbstractButton(parent), Pictures{normal, pressed, hover, disabled}
{
    SetUpButton(this, size);
}

ButtonState TImageButton::State() const
{
    if (!isEnabled())
        return ButtonState::Disabled;
    if (isDown())
        return ButtonState::Pressed;
    if (underMouse())
        return ButtonState::Hover;
    return ButtonState::Normal;
}

QString TImageButton::Picture(ButtonState state) const
{
    return Pictures[static_cast<int>(state)];
}

QSize TImageButton::sizeHint() const
{
    return size();
}

void TImageButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, SvgPixmap(Picture(State()), size(), devicePixelRatioF()));
}

bool TImageButton::event(QEvent *event)
{
    if (NeedsRepaint(event))
        update();
    return QAbstractButton::event(event);
}

TModeButton::TModeButton(const QString &glyph, const QString &hint, QWidget *parent)
    : QAbstractButton(parent), GlyphPath(glyph)
{
    SetUpButton(this, QSize(16, 16));
    setToolTip(hint);
}

QSize TModeButton::sizeHint() const
{
    return size();
}

void TModeButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // Flat until the pointer is over it: then a light face, sunk while held.
    if (isEnabled() && (underMouse() || isDown())) {
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor face = palette().color(QPalette::Highlight);
        QColor fill = face;
        fill.setAlpha(isDown() ? 90 : 45);
        QColor edge = face;
        edge.setAlpha(isDown() ? 200 : 140);
        painter.setPen(edge);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    }
    QPixmap glyph = SvgPixmap(GlyphPath, size(), devicePixelRatioF());
    if (!isEnabled())
        painter.setOpacity(0.4);
    painter.drawPixmap(isDown() ? QPoint(0, 1) : QPoint(0, 0), glyph);
}

bool TModeButton::event(QEvent *event)
{
    if (NeedsRepaint(event))
        update();
    return QAbstractButton::event(event);
}
