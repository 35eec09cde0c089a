// What the program asks of Qt itself before its first window: Qt's own texts
// (dialogs, message-box buttons, key names in menus) in German whatever the
// system's language, and no settings of Qt's kept between runs. Main thread,
// after the QApplication exists and before any window is created.
#pragma once

#include "platform/KeptRegistry.h"

// Installs Qt's German translations (Debian's qt6-translations-l10n) and makes
// German the default locale. False when the translations cannot be loaded;
// Qt's own texts then stay English, the program's texts are German anyway.
bool InstallGermanTranslations();

// Points Qt's per-user settings at a place that can neither be read nor
// created, so that nothing Qt keeps for the user (the file dialog's history,
// its last folder and view) is read from or written to the user's home.
void KeepNoQtSettings();

// Qt's file dialog writes its history, last folder and view to the
// registry on Windows, where no settings path leads (and where every Qt
// program's dialog keeps them): the returned object puts them back as they
// were when it ends, after the last of Qt's dialogs has gone.
platform::KeptRegistryKey KeepQtRegistrySettings();

// InstallGermanTranslations and KeepNoQtSettings.
void PrepareQtSession();
