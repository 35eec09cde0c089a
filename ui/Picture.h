// A picture of the artwork (ui/Assets.h) that fills its widget, sharp at
// every device pixel ratio. It takes no mouse input of its own:
// presses go on to the window below it. Main thread.
#pragma once

#include <QWidget>

class TPicture : public QWidget {
    Q_OBJECT
public:
    TPicture(const QString &fileName, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString FileName;
};
