// The desktop's media controls and media keys (MPRIS 2 on the session bus):
// the D-Bus object /org/mpris/MediaPlayer2 with its two interfaces
// (MprisAdaptors), under the name org.mpris.MediaPlayer2.klangdeck.
// Main thread only.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <memory>

class TForm1;

class TMprisService : public QObject {
    Q_OBJECT
public:
    static const QString ServiceName; // "org.mpris.MediaPlayer2.klangdeck"
    static const QString ObjectPath;  // "/org/mpris/MediaPlayer2"

    TMprisService(TForm1 *form, const QDBusConnection &bus);
    ~TMprisService() override;

    // Exports the object and takes the service name (a second running
    // program takes ServiceName + ".instance<pid>"). False when the bus
    // refuses both.
    bool Register();
    // The service on the user's session bus; null, without a word, when
    // there is no session bus or it refuses the service.
    static std::unique_ptr<TMprisService> StartOnSessionBus(TForm1 *form);

private:
    QDBusConnection Bus;
    QString Name;
};
