// The platform hooks on Qt: tasks for the main thread become queued
// invocations on a context object, boxes are QMessageBoxes, the wait cursor
// is the application's override cursor. Install and remove on the main thread.
#pragma once

#include <QObject>
#include <functional>

class QWidget;

// Installs the hooks. Tasks run on context's thread and never after context
// is destroyed; context must outlive the hooks (platform::UninstallHooks
// first). topLevel gives the window whose handle the program hands out.
void InstallQtHooks(QObject *context, std::function<QWidget *()> topLevel);

// Runs the application's main loop. A termination requested before (or while)
// it runs ends it as soon as it has started.
int RunMainLoop();

// The wait cursor on (true) or off (false): the application's override
// cursor, which Windows shows as its hourglass. Calls nest.
void ShowWaitCursor(bool on);
