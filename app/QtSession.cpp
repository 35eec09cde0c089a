#include "app/QtSession.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

namespace {

// Qt's German catalogue leaves the names of the two Enter keys English, so
// that the menus would show "Strg+Return"; German keyboards and programs name
// the key "Eingabe". Asked before the catalogue, it answers for these alone.
class EnterKeyNames : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "QShortcut") == 0 &&
            (qstrcmp(sourceText, "Return") == 0 || qstrcmp(sourceText, "Enter") == 0))
            return QStringLiteral("Eingabe");
        return {};
    }
    bool isEmpty() const override { return false; }
};

} // namespace

bool InstallGermanTranslations()
{
    // By file name, not by the system's locale: under LANG=C (or any other
    // language) the program is German all the same. qtbase holds every text
    // of Core, Gui and Widgets; the program uses no other Qt module with texts.
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_de"), folder)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    // The translator installed last is asked first.
    QCoreApplication::installTranslator(new EnterKeyNames(QCoreApplication::instance()));
    // Texts that Qt takes from the locale rather than from the catalogue
    // (the dialog's names of file types) are German too. Dates and sizes in
    // the dialog keep the system's regional format: Qt writes them by the
    // system's locale, as every program on the desktop does.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    return true;
}

void KeepNoQtSettings()
{
    // The file dialog keeps its history, last folder and view in the user
    // scope of the organisation "QtProject" and writes them when it is
    // destroyed, whether it was shown or not. "/dev/null" is never a folder:
    // the settings file beneath it can neither be read nor created, by any
    // user, so every run starts from Qt's defaults and leaves nothing behind,
    // without a temporary folder to clean up after a crash. Settings the
    // system's administrator provides (the system scope) are still read.
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
}

platform::KeptRegistryKey KeepQtRegistrySettings()
{
    return platform::KeptRegistryKey("Software\\QtProject\\OrganizationDefaults\\FileDialog");
}

void PrepareQtSession()
{
    KeepNoQtSettings();
    InstallGermanTranslations();
}
