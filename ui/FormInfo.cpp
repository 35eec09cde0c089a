#include "ui/FormInfo.h"

#include "ui/Assets.h"
#include "ui/Fonts.h"
#include "ui/Picture.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>

TInfoForm *InfoForm = nullptr;

TInfoForm::TInfoForm(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Info"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(432, 213);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    SplashImage = new TPicture(InfoImage(), this);
    SplashImage->setGeometry(0, 0, 432, 213);

    Label2 = new QLabel(QStringLiteral(" Version 0.2.2"), this);
    QFont font = SansFont(12, true);
    font.setFamilies({QStringLiteral("Arial"), font.defaultFamily()});
    Label2->setFont(font);
    QPalette palette = Label2->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    Label2->setPalette(palette);
    Label2->setAttribute(Qt::WA_TransparentForMouseEvents);
    Label2->move(6, 192);
    Label2->adjustSize();
}

void TInfoForm::FormDeactivate()
{
    close();
}

void TInfoForm::FormKeyDown()
{
    close();
}

void TInfoForm::SplashImageMouseDown()
{
    close();
}

void TInfoForm::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    SplashImageMouseDown();
}

void TInfoForm::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    FormKeyDown();
}

void TInfoForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow())
        FormDeactivate();
}
