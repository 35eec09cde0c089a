// The two D-Bus interfaces of the desktop's media player protocol (MPRIS 2)
// on the service object. The transport methods run the main window's own
// handlers, so play modes, the track list's green row and the title line
// behave as if the user had clicked; what the window's buttons allow is
// what the bus may do. Main thread only.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

class TForm1;

// org.mpris.MediaPlayer2: the application itself.
class TMprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    TMprisRootAdaptor(QObject *object, TForm1 *form);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    // The playback list is the window's; it is not offered for editing.
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Klangdeck"); }
    // The menu entry, klangdeck.desktop.
    QString DesktopEntry() const { return QStringLiteral("klangdeck"); }
    // The program opens nothing it is handed from outside.
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public slots:
    void Raise();
    void Quit();

private:
    QPointer<TForm1> Form;
};

// org.mpris.MediaPlayer2.Player: the transport. It learns of changes from the
// window's signals and from the transport buttons' enabled state, and tells
// the bus in one PropertiesChanged per turn of the event loop.
class TMprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    TMprisPlayerAdaptor(QObject *object, TForm1 *form, const QDBusConnection &bus);

    // What the player is in now; a value that differs from the last one
    // announced is announced first, so a client never reads a state that
    // no signal told it of.
    QString PlaybackStatus();
    // The program plays at normal speed.
    double Rate() const { return 1.0; }
    // The engine volume of the playing stream, for this run only (the
    // window has no volume control).
    double Volume() const;
    void SetVolume(double Volume);
    QVariantMap Metadata() const;
    qlonglong Position() const; // microseconds
    bool CanGoNext() const;
    bool CanGoPrevious() const;
    bool CanPlay() const;
    bool CanPause() const;
    bool CanSeek() const;
    bool CanControl() const { return true; }
    // The object path that names the current track in Metadata.
    QDBusObjectPath TrackId() const;

public slots:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong Offset);
    void SetPosition(const QDBusObjectPath &TrackId, qlonglong Position);

signals:
    void Seeked(qlonglong Position);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool Enabled(QWidget *button) const;
    QString CurrentStatus() const;
    // While playing, the engine may fall into or out of a state without a
    // notification (a stream that ran dry); the window's ticks catch that.
    void Tick();
    void StateChanged();
    void TrackChanged();
    void Sought();
    // Sends what changed since the last call, at the next turn of the event loop.
    void ScheduleUpdate();
    void SendUpdate();
    // The properties that PropertiesChanged reports.
    QVariantMap ChangingProperties() const;
    double LengthMicroseconds() const;
    // Seeks to a position in microseconds as the seek bar does.
    void SeekToMicroseconds(double Position);

    QPointer<TForm1> Form;
    QDBusConnection Bus;
    QVariantMap Sent;
    bool UpdateQueued = false;
    // The player stopped since the last update; if it plays the same track
    // again, it started that over (repeat track) and the position jumped.
    bool StoppedMeanwhile = false;
    quint64 TrackNumber = 0; // counts the tracks opened, for their ids
};
