// The seek bar of the play panel. Main thread.
//
// A panel with a single (2-pixel) border in the window colour (the base
// colour of edit fields and lists, QPalette::Base) that holds the knob
// TrackButton, a 13x13 button that is disabled and so takes no pointer input
// of its own: a press on the knob is a press on the bar at that point.
// The bar only reports the pointer and places the knob where it is told;
// what a press or a drag means is the owner's business.
//
// Coordinates are those of the bar's client area, inside the border: the
// knob's left runs from 0 to Travel(), and the x handed to the handlers is
// measured from the same origin.
#pragma once

#include <QFrame>
#include <QWidget>
#include <functional>

class TTrackButton : public QWidget {
    Q_OBJECT
public:
    explicit TTrackButton(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

class TTrackBar : public QFrame {
    Q_OBJECT
public:
    static constexpr int kBorder = 2;
    static constexpr int kKnobSize = 13;

    explicit TTrackBar(QWidget *parent = nullptr);

    TTrackButton *TrackButton() const { return Knob; }

    int KnobLeft() const;
    // Places the knob; the owner keeps the value within 0 .. Travel().
    void SetKnobLeft(int left);
    // Outer width of the bar less the knob's width and the two borders.
    int Travel() const;

    // Pointer handlers; each is skipped while unassigned. Moves are reported
    // with or without a button held down.
    std::function<void(Qt::MouseButton button, int x)> OnMouseDown;
    std::function<void(Qt::MouseButtons buttons, int x)> OnMouseMove;
    std::function<void(Qt::MouseButton button, int x)> OnMouseUp;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    int ClientX(const QMouseEvent *event) const;

    TTrackButton *Knob;
};
