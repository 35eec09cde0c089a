#include "ui/TrackBar.h"

#include <QMouseEvent>
#include <QPainter>

TTrackButton::TTrackButton(QWidget *parent) : QWidget(parent)
{
    setFixedSize(TTrackBar::kKnobSize, TTrackBar::kKnobSize);
    setEnabled(false);
    // Presses on the knob reach the bar below it.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TTrackButton::paintEvent(QPaintEvent *)
{
    // The knob is disabled only so that it takes no input; it keeps its colours.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient face(0, 0, 0, height());
    face.setColorAt(0, QColor(0x3d, 0x98, 0xf0));
    face.setColorAt(1, QColor(0x1f, 0x6d, 0xca));
    painter.setPen(QPen(QColor(0x18, 0x5a, 0xa6), 1));
    painter.setBrush(face);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawEllipse(QRectF(rect()).center(), 2, 2);
}

TTrackBar::TTrackBar(QWidget *parent) : QFrame(parent), Knob(new TTrackButton(this))
{
    setFrameStyle(QFrame::NoFrame);
    setContentsMargins(kBorder, kBorder, kBorder, kBorder);
    setAutoFillBackground(false);
    setMouseTracking(true);
    Knob->move(kBorder, kBorder);
}

int TTrackBar::KnobLeft() const
{
    return Knob->x() - kBorder;
}

void TTrackBar::SetKnobLeft(int left)
{
    if (left == KnobLeft())
        return;
    Knob->move(kBorder + left, kBorder);
    update();
}

int TTrackBar::Travel() const
{
    return width() - Knob->width() - 2 * kBorder;
}

QSize TTrackBar::sizeHint() const
{
    return QSize(615, kKnobSize + 2 * kBorder);
}

void TTrackBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &pal = palette();
    painter.fillRect(rect(), pal.color(QPalette::Base));
    // Single border: a dark outer line over a light inner one, as a sunken edge.
    painter.setPen(pal.color(QPalette::Mid));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(pal.color(QPalette::Light));
    painter.drawRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5));
    // The groove, filled in the accent colour up to the knob's centre.
    const int grooveY = kBorder + kKnobSize / 2 - 1;
    const int grooveLeft = kBorder + kKnobSize / 2;
    const int grooveRight = width() - kBorder - kKnobSize / 2;
    const int knobCentre = Knob->x() + kKnobSize / 2;
    painter.fillRect(QRect(grooveLeft, grooveY, grooveRight - grooveLeft, 3),
                     pal.color(QPalette::Midlight).darker(115));
    if (knobCentre > grooveLeft)
        painter.fillRect(QRect(grooveLeft, grooveY, knobCentre - grooveLeft, 3), QColor(0x2b, 0x7e, 0xd9));
}

int TTrackBar::ClientX(const QMouseEvent *event) const
{
    return int(event->position().x()) - kBorder;
}

void TTrackBar::mousePressEvent(QMouseEvent *event)
{
    if (OnMouseDown)
        OnMouseDown(event->button(), ClientX(event));
}

void TTrackBar::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A quick second press is a press like the first.
    mousePressEvent(event);
}

void TTrackBar::mouseMoveEvent(QMouseEvent *event)
{
    if (OnMouseMove)
        OnMouseMove(event->buttons(), ClientX(event));
}

void TTrackBar::mouseReleaseEvent(QMouseEvent *event)
{
    if (OnMouseUp)
        OnMouseUp(event->button(), ClientX(event));
}
