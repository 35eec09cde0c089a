#include "app/QtSession.h"

#include "tests/support/Fixtures.h"
#include "ui/Unit1.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

QString Label(QWidget *dialog, const char *name)
{
    auto *label = dialog->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing>");
}

QString Hint(QWidget *dialog, const char *name)
{
    auto *button = dialog->findChild<QToolButton *>(QLatin1String(name));
    return button ? button->toolTip() : QStringLiteral("<missing>");
}

// Everything inside folder, one path a line.
std::string Entries(const QString &folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next();
    return entries.join(QLatin1Char('\n')).toStdString();
}

} // namespace

// CTest runs this suite under LANG=C: a system without German, where Qt
// would draw its own texts in English.
TEST(QtSession, QtsOwnTextsAreGermanWhateverTheSystemsLanguage)
{
    if (QLocale::system().language() != QLocale::C)
        GTEST_SKIP() << "meant for LANG=C, as CTest runs it";
    ASSERT_TRUE(InstallGermanTranslations());
    EXPECT_EQ(QLocale().language(), QLocale::German);

    // The shortcuts as the menus show them.
    TForm1 form;
    const std::pair<QAction *, const char *> items[] = {
        {form.OpenItem, "Strg+O"},    {form.PlayItem, "Strg+Eingabe"}, {form.StopItem, "Strg+S"},
        {form.BackItem, "Alt+Links"}, {form.NextItem, "Alt+Rechts"},   {form.QuitItem, "Alt+F4"}};
    for (auto [item, text] : items)
        EXPECT_EQ(item->shortcut().toString(QKeySequence::NativeText), QString::fromUtf8(text));

    // The open dialog: Qt's own, every label and button German.
    QFileDialog *dialog = form.OpenDialog;
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Audiodateien auswählen"));
    const std::pair<const char *, const char *> labels[] = {{"lookInLabel", "Suchen in:"},
                                                            {"fileNameLabel", "Datei&name:"},
                                                            {"fileTypeLabel", "Dateien des Typs:"}};
    for (auto [name, text] : labels)
        EXPECT_EQ(Label(dialog, name), QString::fromUtf8(text));
    const std::pair<const char *, const char *> hints[] = {{"backButton", "Zurück"},
                                                           {"forwardButton", "Vorwärts"},
                                                           {"toParentButton", "Übergeordnetes Verzeichnis"},
                                                           {"newFolderButton", "Neuen Ordner erstellen"},
                                                           {"listModeButton", "Liste"},
                                                           {"detailModeButton", "Details"}};
    for (auto [name, text] : hints)
        EXPECT_EQ(Hint(dialog, name), QString::fromUtf8(text));
    QStringList buttons;
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        buttons << button->text();
    buttons.sort();
    EXPECT_EQ(buttons.join(QLatin1Char('|')), QStringLiteral("&Öffnen|Abbrechen"));
}

// The file dialog writes its history and last folder into Qt's per-user
// settings when it is destroyed, shown or not.
TEST(QtSession, TheFileDialogKeepsNothingInTheHome)
{
#ifdef _WIN32
    GTEST_SKIP() << "the file dialog's settings go to the registry on Windows (the next case)";
#endif
    fixtures::TempDir home;
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QByteArray::fromStdString(home.path()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home.path() + ".config"));
    KeepNoQtSettings();

    QString settingsFile;
    {
        QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
        settingsFile = settings.fileName();
        settings.setValue(QStringLiteral("probe"), 1);
        settings.sync();
        EXPECT_EQ(settings.status(), QSettings::AccessError);
    }
    {
        QFileDialog dialog(nullptr, QStringLiteral("Audiodateien auswählen"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setDirectory(QString::fromStdString(home.path()));
        dialog.show();
        dialog.selectFile(QStringLiteral("a.ogg"));
        dialog.reject();
    }
    qputenv("HOME", oldHome);
    qputenv("XDG_CONFIG_HOME", oldConfig);

    EXPECT_FALSE(settingsFile.startsWith(QString::fromStdString(home.path()))) << settingsFile.toStdString();
    EXPECT_FALSE(QFileInfo::exists(settingsFile)) << settingsFile.toStdString();
    EXPECT_EQ(Entries(QString::fromStdString(home.path())), "");
}

#ifdef _WIN32
// On Windows Qt's file dialog writes its settings to the registry, shared by
// every Qt program, whatever the settings path: the program leaves them as it
// found them.
TEST(QtSession, TheFileDialogLeavesTheRegistryAsItFoundIt)
{
    const QString group = QStringLiteral("FileDialog");
    QSettings registry(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("QtProject"));
    const auto showDialog = [] {
        QFileDialog dialog(nullptr, QStringLiteral("Audiodateien auswählen"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.show();
        dialog.reject();
    };
    registry.remove(group);
    showDialog();
    registry.sync();
    ASSERT_TRUE(registry.contains(group + QStringLiteral("/qtVersion"))) << "the dialog writes there";

    const QStringList others{QStringLiteral("C:/Musik von anderen")};
    for (const bool existed : {true, false}) {
        SCOPED_TRACE(existed ? "another program's history there" : "nothing there");
        registry.remove(group);
        if (existed)
            registry.setValue(group + QStringLiteral("/history"), others);
        registry.sync();
        {
            const platform::KeptRegistryKey kept = KeepQtRegistrySettings();
            showDialog();
        }
        registry.sync();
        registry.beginGroup(group);
        EXPECT_EQ(registry.childKeys().join(QLatin1Char('|')),
                  existed ? QStringLiteral("history") : QString());
        EXPECT_EQ(registry.value(QStringLiteral("history")).toStringList(), existed ? others : QStringList());
        registry.endGroup();
        EXPECT_EQ(registry.childGroups().contains(group), existed);
    }
    registry.remove(group);
}
#endif
