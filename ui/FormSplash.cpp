#include "ui/FormSplash.h"

#include "platform/Clock.h"
#include "platform/Hooks.h"
#include "ui/Assets.h"
#include "ui/Fonts.h"
#include "ui/Picture.h"
#include "ui/Unit1.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <exception>

TSplashForm *SplashForm = nullptr;

const char *const TSplashForm::ErrorCaption = "Fehler beim Initialisieren";
const char *const TSplashForm::ErrorText =
    "Beim Initialisieren der Anwendung trat ein Fehler auf. Das Programm wird beendet.";

namespace {

int RoundedAlpha(uint32_t elapsed)
{
    return static_cast<int>(std::lround(elapsed * 255.0 / TSplashForm::FadeTime));
}

} // namespace

TSplashForm::TSplashForm(TStartupStages stages, TClock clock)
    : QDialog(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      Stages(std::move(stages)), Clock(clock ? std::move(clock) : TClock(platform::GetTickCount))
{
    setWindowTitle(QStringLiteral("SplashForm"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(432, 213);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    setWindowOpacity(0);

    SplashImage = new TPicture(::SplashImage(), this);
    SplashImage->setGeometry(0, 0, 432, 213);

    StatusLbl = new QLabel(QStringLiteral("[STATUS]"), this);
    StatusLbl->setFont(SansFont(11));
    QPalette palette = StatusLbl->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    StatusLbl->setPalette(palette);
    StatusLbl->setGeometry(96, 192, 432 - 96 - 8, 14);
    StatusLbl->hide();

    Timer = new QTimer(this);
    Timer->setInterval(1);
    connect(Timer, &QTimer::timeout, this, &TSplashForm::TimerTimer);
}

int TSplashForm::exec()
{
    setWindowModality(Qt::ApplicationModal);
    // Showing a splash-screen window lets Qt handle pending events at once;
    // the timer starts after that, so that its tick comes from the modal loop
    // below and the closing at the end of the start-up ends that loop.
    show();
    Timer->start();
    QEventLoop loop;
    ModalLoop = &loop;
    loop.exec(QEventLoop::DialogExec);
    ModalLoop = nullptr;
    return result();
}

void TSplashForm::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (ModalLoop)
        ModalLoop->exit();
}

void TSplashForm::FormShow()
{
    // The splash is a splash-screen window: the window system gives it no
    // taskbar entry, so there is nothing to hide here.
}

void TSplashForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TSplashForm::TimerTimer()
{
    Timer->stop();

    uint32_t start = Clock();
    for (uint32_t elapsed; (elapsed = Elapsed(start)) < FadeTime;) {
        SetAlpha(std::min(255, RoundedAlpha(elapsed)));
        WaitABit();
    }
    SetAlpha(255);

    start = Clock();
    StatusLbl->show();
    RunStages();

    while (Elapsed(start) < MinimumDisplayTime)
        WaitABit();

    ShowMainWindow();
    ProcessMessages();

    start = Clock();
    for (uint32_t elapsed; (elapsed = Elapsed(start)) < FadeTime;) {
        SetAlpha(std::max(0, 255 - RoundedAlpha(elapsed)));
        WaitABit();
    }

    close();
}

void TSplashForm::RunStages()
{
    std::string message;
    try {
        for (const TStartupStage &stage : Stages) {
            StatusLbl->setText(QString::fromStdString(stage.Text));
            ProcessMessages();
            if (stage.Work)
                stage.Work();
        }
        return;
    } catch (const std::exception &error) {
        message = error.what();
    } catch (...) {
        message = "Unbekannter Fehler.";
    }
    platform::ShowErrorBox(ErrorCaption, std::string(ErrorText) + "\r\r" + message);
    platform::RequestTerminate();
}

void TSplashForm::SetAlpha(int alpha)
{
    AlphaValue = alpha;
    setWindowOpacity(alpha / 255.0);
}

void TSplashForm::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TSplashForm::WaitABit()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
}

void TSplashForm::ShowMainWindow()
{
    if (Form1)
        Form1->show();
}
