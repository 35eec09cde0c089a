// A picture that fills its widget, drawn from an SVG file so that it stays
// sharp at every device pixel ratio. It takes no mouse input of its own:
// presses go on to the window below it. Main thread.
#pragma once

#include <QSvgRenderer>
#include <QWidget>

class TPicture : public QWidget {
    Q_OBJECT
public:
    TPicture(const QString &fileName, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSvgRenderer Renderer;
};
