// The splash window and the staged start-up it runs. Main thread.
//
// Shown modally by the program entry (exec). Its timer's first tick fades it in,
// runs the start-up stages one by one under their status texts, keeps it on
// screen until 800 ms after the fade-in, shows the main window, fades it out
// and closes it.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QEventLoop;
class QLabel;
class QTimer;
class TPicture;

struct TStartupStage {
    std::string Text;           // the status text shown while the stage runs
    std::function<void()> Work; // may be empty; may throw
};
using TStartupStages = std::vector<TStartupStage>;

class TSplashForm : public QDialog {
    Q_OBJECT
public:
    using TClock = std::function<uint32_t()>;

    explicit TSplashForm(TStartupStages stages, TClock clock = {});

    // Shows the window modally and runs the start-up; returns once the
    // window has closed itself.
    int exec() override;

    static constexpr uint32_t FadeTime = 170;
    static constexpr uint32_t MinimumDisplayTime = 800;
    static const char *const ErrorCaption;
    static const char *const ErrorText;

    void TimerTimer();
    void FormShow();

    // The window's alpha value, 0 (transparent) to 255 (opaque).
    int Alpha() const { return AlphaValue; }

    TPicture *SplashImage;
    QLabel *StatusLbl;
    QTimer *Timer;

protected:
    // The steps the start-up takes around its stages; tests observe them.
    virtual void SetAlpha(int alpha);
    // Lets the window system handle what is pending, without waiting.
    virtual void ProcessMessages();
    // One round of a waiting loop: pending messages, then a short pause, so
    // that waiting does not keep a processor busy.
    virtual void WaitABit();
    virtual void ShowMainWindow();

    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    uint32_t Elapsed(uint32_t since) const { return Clock() - since; }
    void RunStages();

    TStartupStages Stages;
    TClock Clock;
    int AlphaValue = 0;
    QEventLoop *ModalLoop = nullptr;
};

extern TSplashForm *SplashForm;
