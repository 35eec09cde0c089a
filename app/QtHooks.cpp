#include "app/QtHooks.h"

#include "platform/Hooks.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>
#include <atomic>

namespace {

std::atomic<bool> mainLoopRunning{false};

void QuitSoon()
{
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

// The program's texts separate lines with carriage returns alone; the box
// shows each as a line break.
QString DisplayText(const std::string &text)
{
    QString result = QString::fromStdString(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

} // namespace

void InstallQtHooks(QObject *context, std::function<QWidget *()> topLevel)
{
    platform::Hooks hooks;
    hooks.postToMainThread = [context](platform::Task task) {
        QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
    };
    hooks.errorBox = [](const std::string &caption, const std::string &text) {
        // Parented to the modal window (the splash during start-up) so that
        // the box stands above it.
        QWidget *parent = QApplication::activeModalWidget();
        if (!parent)
            parent = QApplication::activeWindow();
        QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption), DisplayText(text),
                        QMessageBox::Ok, parent);
        box.exec();
    };
    hooks.waitCursor = ShowWaitCursor;
    hooks.applicationTitle = [](const std::string &title) {
        QCoreApplication::setApplicationName(QString::fromStdString(title));
    };
    hooks.terminate = [] {
        if (mainLoopRunning)
            QuitSoon();
    };
    hooks.topLevelWindow = [topLevel = std::move(topLevel)]() -> void * {
        QWidget *window = topLevel ? topLevel() : nullptr;
        return window ? reinterpret_cast<void *>(window->winId()) : nullptr;
    };
    platform::InstallHooks(std::move(hooks));
}

void ShowWaitCursor(bool on)
{
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

int RunMainLoop()
{
    mainLoopRunning = true;
    if (platform::TerminateRequested())
        QuitSoon();
    int result = QApplication::exec();
    mainLoopRunning = false;
    return result;
}
