// The info window: the product picture with the version, hidden again by the
// first click, key press or switch to another window. Main thread.
#pragma once

#include <QWidget>

class QLabel;
class TPicture;

class TInfoForm : public QWidget {
    Q_OBJECT
public:
    explicit TInfoForm(QWidget *parent = nullptr);

    void FormDeactivate();
    void FormKeyDown();
    void SplashImageMouseDown();

    TPicture *SplashImage;
    QLabel *Label2;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
};

extern TInfoForm *InfoForm;
