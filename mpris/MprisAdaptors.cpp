#include "mpris/MprisAdaptors.h"
#include "mpris/MprisService.h"

#include "platform/Names.h"
#include "playback/PlayerExt.h"
#include "ui/ImageButton.h"
#include "ui/Unit1.h"

#include <QDBusMessage>
#include <QEvent>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>

namespace {

QString Text(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace

TMprisRootAdaptor::TMprisRootAdaptor(QObject *object, TForm1 *form) : QDBusAbstractAdaptor(object), Form(form)
{
}

void TMprisRootAdaptor::Raise()
{
    if (!Form)
        return;
    if (Form->isMinimized())
        Form->showNormal();
    Form->show();
    Form->raise();
    Form->activateWindow();
}

void TMprisRootAdaptor::Quit()
{
    // As "&Beenden" does, once the reply to this call has gone out.
    if (Form)
        QMetaObject::invokeMethod(Form, &TForm1::QuitItemClick, Qt::QueuedConnection);
}

TMprisPlayerAdaptor::TMprisPlayerAdaptor(QObject *object, TForm1 *form, const QDBusConnection &bus)
    : QDBusAbstractAdaptor(object), Form(form), Bus(bus)
{
    connect(form, &TForm1::PlayerStateChanged, this, &TMprisPlayerAdaptor::StateChanged);
    connect(form, &TForm1::PlayerTrackChanged, this, &TMprisPlayerAdaptor::TrackChanged);
    connect(form, &TForm1::PlayerSought, this, &TMprisPlayerAdaptor::Sought);
    connect(form->PlayingTimer, &QTimer::timeout, this, &TMprisPlayerAdaptor::Tick);
    // The window also enables its buttons where no player notification is
    // involved (a focused row enables play); their state is what may be done.
    for (QWidget *button : {static_cast<QWidget *>(form->PlayBtn), static_cast<QWidget *>(form->PauseBtn),
                            static_cast<QWidget *>(form->StopBtn), static_cast<QWidget *>(form->BackBtn),
                            static_cast<QWidget *>(form->NextBtn)})
        button->installEventFilter(this);
    if (Player && !Player->FileName.empty())
        ++TrackNumber;
    Sent = ChangingProperties();
}

QString TMprisPlayerAdaptor::PlaybackStatus()
{
    const QString now = CurrentStatus();
    if (Sent.value(QStringLiteral("PlaybackStatus")) != now)
        SendUpdate();
    return now;
}

void TMprisPlayerAdaptor::Tick()
{
    if (Sent.value(QStringLiteral("PlaybackStatus")) != CurrentStatus())
        ScheduleUpdate();
}

double TMprisPlayerAdaptor::Volume() const
{
    return Player ? Player->Volume() / 100.0 : 1.0;
}

void TMprisPlayerAdaptor::SetVolume(double Volume)
{
    if (!Player || Volume != Volume)
        return;
    Player->SetVolume(int(std::lround(std::clamp(Volume, 0.0, 1.0) * 100)));
    ScheduleUpdate();
}

QString TMprisPlayerAdaptor::CurrentStatus() const
{
    switch (Player ? Player->State() : psNone) {
    case psPlaying:
        return QStringLiteral("Playing");
    case psPaused:
        return QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

QDBusObjectPath TMprisPlayerAdaptor::TrackId() const
{
    if (!Player || Player->FileName.empty())
        return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/klangdeck/track/") +
                           QString::number(TrackNumber));
}

double TMprisPlayerAdaptor::LengthMicroseconds() const
{
    // The stream's length, the one the time display and the seek bar go by;
    // the library's whole seconds when the engine has none.
    if (Player->Duration > 0)
        return Player->Duration * 1e6;
    if (Player->Track && Player->Track->Length >= 0)
        return Player->Track->Length * 1e6;
    return 0;
}

QVariantMap TMprisPlayerAdaptor::Metadata() const
{
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId()));
    if (!Player || Player->FileName.empty())
        return map;
    // The library's record of the track, as the list shows it.
    const TAudioInfo *record = Player->Track;
    const std::string title = record && !record->Title.empty()
                                  ? record->Title
                                  : platform::NameWithoutFolderAndExt(Player->FileName);
    map.insert(QStringLiteral("xesam:title"), Text(title));
    if (record && !record->Artist.empty())
        map.insert(QStringLiteral("xesam:artist"), QStringList{Text(record->Artist)});
    if (record && !record->Album.empty())
        map.insert(QStringLiteral("xesam:album"), Text(record->Album));
    if (const double length = LengthMicroseconds(); length > 0)
        map.insert(QStringLiteral("mpris:length"), qlonglong(length));
    // The file name's own bytes, percent-encoded: a name that is not UTF-8
    // still names the file.
    const QByteArray path = QByteArray::fromStdString(Player->FileName);
    map.insert(QStringLiteral("xesam:url"),
               QString::fromLatin1("file://" + QUrl::toPercentEncoding(path, "/")));
    return map;
}

qlonglong TMprisPlayerAdaptor::Position() const
{
    if (!Player || Player->State() == psNone)
        return 0;
    return qlonglong(Player->Position() * Player->Duration * 1e6);
}

bool TMprisPlayerAdaptor::Enabled(QWidget *button) const
{
    // Enabled as the window left it, whether or not a dialog blocks the window.
    return Form && button->isEnabledTo(Form);
}

bool TMprisPlayerAdaptor::CanGoNext() const
{
    return Enabled(Form->NextBtn);
}

bool TMprisPlayerAdaptor::CanGoPrevious() const
{
    return Enabled(Form->BackBtn);
}

bool TMprisPlayerAdaptor::CanPlay() const
{
    return Enabled(Form->PlayBtn);
}

bool TMprisPlayerAdaptor::CanPause() const
{
    return Enabled(Form->PauseBtn);
}

bool TMprisPlayerAdaptor::CanSeek() const
{
    // The seek bar seeks whatever track is open.
    return Form && Player && Player->State() != psNone && LengthMicroseconds() > 0;
}

void TMprisPlayerAdaptor::Next()
{
    if (CanGoNext())
        Form->NextBtnClick();
}

void TMprisPlayerAdaptor::Previous()
{
    if (CanGoPrevious())
        Form->BackBtnClick();
}

void TMprisPlayerAdaptor::Pause()
{
    if (CanPause())
        Form->PauseBtnClick();
}

void TMprisPlayerAdaptor::PlayPause()
{
    // As the one shortcut of the play and pause items: pauses while playing,
    // plays otherwise.
    if (Player && Player->State() == psPlaying)
        Pause();
    else
        Play();
}

void TMprisPlayerAdaptor::Stop()
{
    if (Form && Enabled(Form->StopBtn))
        Form->StopBtnClick();
}

void TMprisPlayerAdaptor::Play()
{
    if (CanPlay())
        Form->PlayBtnClick();
}

void TMprisPlayerAdaptor::SeekToMicroseconds(double position)
{
    Form->SeekTo(position <= 0 ? 0.0 : position / LengthMicroseconds());
}

void TMprisPlayerAdaptor::Seek(qlonglong Offset)
{
    // Past the end acts as the knob released at the right end: the track
    // ends and the play mode decides what follows.
    if (CanSeek())
        SeekToMicroseconds(double(Position()) + double(Offset));
}

void TMprisPlayerAdaptor::SetPosition(const QDBusObjectPath &Id, qlonglong Position)
{
    // A stale track id or a place outside the track is ignored.
    if (!CanSeek() || Id != TrackId() || Position < 0 || double(Position) > LengthMicroseconds())
        return;
    SeekToMicroseconds(double(Position));
}

bool TMprisPlayerAdaptor::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        ScheduleUpdate();
    return QDBusAbstractAdaptor::eventFilter(watched, event);
}

void TMprisPlayerAdaptor::StateChanged()
{
    if (Player && Player->State() == psStopped)
        StoppedMeanwhile = true;
    ScheduleUpdate();
}

void TMprisPlayerAdaptor::TrackChanged()
{
    ++TrackNumber;
    ScheduleUpdate();
}

void TMprisPlayerAdaptor::Sought()
{
    // Whatever the seek changed (a track that ended and the one after it)
    // goes out first, so the new position belongs to the track it names.
    StoppedMeanwhile = false;
    SendUpdate();
    if (Player && Player->State() != psNone)
        emit Seeked(Position());
}

QVariantMap TMprisPlayerAdaptor::ChangingProperties() const
{
    return {
        {QStringLiteral("PlaybackStatus"), CurrentStatus()},
        {QStringLiteral("Volume"), Volume()},
        {QStringLiteral("Metadata"), Metadata()},
        {QStringLiteral("CanGoNext"), CanGoNext()},
        {QStringLiteral("CanGoPrevious"), CanGoPrevious()},
        {QStringLiteral("CanPlay"), CanPlay()},
        {QStringLiteral("CanPause"), CanPause()},
        {QStringLiteral("CanSeek"), CanSeek()},
    };
}

void TMprisPlayerAdaptor::ScheduleUpdate()
{
    if (UpdateQueued)
        return;
    UpdateQueued = true;
    QMetaObject::invokeMethod(this, &TMprisPlayerAdaptor::SendUpdate, Qt::QueuedConnection);
}

void TMprisPlayerAdaptor::SendUpdate()
{
    UpdateQueued = false;
    if (!Form || !Player)
        return;
    const QVariantMap now = ChangingProperties();
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it) {
        if (Sent.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    Sent = now;
    const bool restarted = StoppedMeanwhile && Player->State() == psPlaying && !changed.contains("Metadata");
    StoppedMeanwhile = false;
    if (!changed.isEmpty()) {
        QDBusMessage signal = QDBusMessage::createSignal(TMprisService::ObjectPath,
                                                         QStringLiteral("org.freedesktop.DBus.Properties"),
                                                         QStringLiteral("PropertiesChanged"));
        signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
        Bus.send(signal);
    }
    if (restarted)
        emit Seeked(Position());
}
