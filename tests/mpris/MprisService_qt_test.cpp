// The media player service on a private session bus, driven the way the
// desktop drives it: a second connection calls methods, reads properties and
// listens for the signals, while the window and the real player run.
#include "mpris/MprisService.h"

#include "library/AudioLibraryExt.h"
#include "playback/PlayerExt.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Id3Writer.h"
#include "tests/support/QtWindowFixture.h"
#include "ui/ImageButton.h"
#include "ui/Unit1.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QLabel>
#include <QProcess>
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace {

const QString PlayerIface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString RootIface = QStringLiteral("org.mpris.MediaPlayer2");

// A dbus-daemon of our own for the whole suite, so that no test touches the
// user's session bus.
class PrivateBus {
public:
    PrivateBus()
    {
        Daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                     QStringLiteral("--print-address=1")});
        if (Daemon.waitForStarted(10000) && Daemon.waitForReadyRead(10000))
            Address = QString::fromUtf8(Daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        Daemon.terminate();
        Daemon.waitForFinished(5000);
    }
    QString Address;

private:
    QProcess Daemon;
};

// The signals the client sees, in order of arrival.
class SignalLog : public QObject {
    Q_OBJECT
public:
    std::vector<QVariantMap> Changes; // the changed player properties of each PropertiesChanged
    std::vector<qlonglong> Seeks;

public slots:
    void Changed(const QString &iface, const QVariantMap &changed, const QStringList &)
    {
        if (iface == PlayerIface)
            Changes.push_back(changed);
    }
    void Seeked(qlonglong position) { Seeks.push_back(position); }
};

PrivateBus *Bus = nullptr;
fixtures::TempDir *Long = nullptr;

class Mpris : public QtWindowFixture {
protected:
    static void SetUpTestSuite()
    {
        Bus = new PrivateBus;
        // Tracks long enough that none ends while a test looks at it.
        Long = new fixtures::TempDir;
        Run("sox", {"-q", "-n", "-r", "44100", "-c", "2", "-b", "16", QString::fromStdString(LongWav()),
                    "synth", "20", "sine", "440", "vol", "0.3"});
        Run("lame",
            {"--quiet", "-b", "64", QString::fromStdString(LongWav()), QString::fromStdString(LongMp3())});
    }
    static void Run(const QString &program, const QStringList &args)
    {
        QProcess process;
        process.start(program, args);
        ASSERT_TRUE(process.waitForFinished(60000) && process.exitCode() == 0)
            << program.toStdString() << ": " << process.readAllStandardError().toStdString();
    }
    static std::string LongWav() { return Long->path() + "long.wav"; }
    static std::string LongMp3() { return Long->path() + "long.mp3"; }
    static void TearDownTestSuite()
    {
        delete Long;
        Long = nullptr;
        QDBusConnection::disconnectFromBus(QStringLiteral("mpris-service"));
        QDBusConnection::disconnectFromBus(QStringLiteral("mpris-client"));
        delete Bus;
        Bus = nullptr;
    }

    void SetUp() override
    {
        ASSERT_FALSE(Bus->Address.isEmpty()) << "dbus-daemon did not start";
        QtWindowFixture::SetUp();
        Service = std::make_unique<TMprisService>(
            Form, QDBusConnection::connectToBus(Bus->Address, QStringLiteral("mpris-service")));
        ASSERT_TRUE(Service->Register());
        ASSERT_TRUE(Client().connect(TMprisService::ServiceName, TMprisService::ObjectPath,
                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                     QStringLiteral("PropertiesChanged"), &Log,
                                     SLOT(Changed(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(Client().connect(TMprisService::ServiceName, TMprisService::ObjectPath, PlayerIface,
                                     QStringLiteral("Seeked"), &Log, SLOT(Seeked(qlonglong))));
        // The album's first track carries a tag; the others are named only.
        using namespace id3writer;
        Tagged = Dir.Write("morgen.mp3",
                           Tag(3, TextFrame(3, "TIT2", 0, "Morgenlied") + TextFrame(3, "TPE1", 0, "Anna") +
                                      TextFrame(3, "TALB", 0, "Lieder")) +
                               fixtures::ReadFile(LongMp3()));
        Second = Dir.Write("welle.wav", fixtures::ReadFile(LongWav()));
        Third = Dir.Copy("tone-44100-4s.ogg", "drei.ogg");
    }
    void TearDown() override
    {
        Client().disconnect(TMprisService::ServiceName, TMprisService::ObjectPath,
                            QStringLiteral("org.freedesktop.DBus.Properties"),
                            QStringLiteral("PropertiesChanged"), &Log,
                            SLOT(Changed(QString, QVariantMap, QStringList)));
        Client().disconnect(TMprisService::ServiceName, TMprisService::ObjectPath, PlayerIface,
                            QStringLiteral("Seeked"), &Log, SLOT(Seeked(qlonglong)));
        Service.reset();
        QtWindowFixture::TearDown();
    }

    static QDBusConnection Client()
    {
        return QDBusConnection::connectToBus(Bus->Address, QStringLiteral("mpris-client"));
    }

    // A call as a desktop makes it; the service answers from this thread's
    // event loop, so the test waits for the reply without blocking it.
    static QDBusMessage Call(const QString &iface, const QString &method, const QVariantList &args = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(TMprisService::ServiceName,
                                                              TMprisService::ObjectPath, iface, method);
        message.setArguments(args);
        QDBusPendingCall pending = Client().asyncCall(message);
        EXPECT_TRUE(WaitFor([&] { return pending.isFinished(); }));
        return pending.reply();
    }
    // Asks the bus itself whether a name is taken.
    static bool HasOwner(const QString &name)
    {
        QDBusPendingCall pending = Client().interface()->asyncCall(QStringLiteral("NameHasOwner"), name);
        EXPECT_TRUE(WaitFor([&] { return pending.isFinished(); }));
        return pending.reply().arguments().value(0).toBool();
    }
    static QVariant Get(const QString &property, const QString &iface = PlayerIface)
    {
        const QDBusMessage reply =
            Call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {iface, property});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        if (reply.arguments().isEmpty())
            return {};
        return reply.arguments().at(0).value<QDBusVariant>().variant();
    }
    static QVariantMap Metadata() { return qdbus_cast<QVariantMap>(Get(QStringLiteral("Metadata"))); }
    static QString Status() { return Get(QStringLiteral("PlaybackStatus")).toString(); }
    static QString TrackId(const QVariantMap &metadata)
    {
        return metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    }
    void Player(const char *method, const QVariantList &args = {})
    {
        const QDBusMessage reply = Call(PlayerIface, QString::fromLatin1(method), args);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method << ": " << reply.errorMessage().toStdString();
    }
    // Waits until a PropertiesChanged has told the player property this value.
    bool Told(const QString &property, const QVariant &value)
    {
        return WaitFor([&] {
            for (const QVariantMap &change : Log.Changes) {
                if (change.contains(property) && change.value(property) == value)
                    return true;
            }
            return false;
        });
    }
    // The last value a PropertiesChanged gave a property.
    QVariant LastTold(const QString &property) const
    {
        for (auto it = Log.Changes.rbegin(); it != Log.Changes.rend(); ++it) {
            if (it->contains(property))
                return it->value(property);
        }
        return {};
    }

    void Start(int index)
    {
        ::Player->Playlist->Clear();
        for (const std::string &file : {Tagged, Second, Third})
            ::Player->Playlist->Add(file);
        ::Player->LoadTrack(index);
        ::Player->Play();
        ASSERT_EQ(::Player->State(), psPlaying);
        ASSERT_TRUE(Told(QStringLiteral("PlaybackStatus"), QStringLiteral("Playing")));
        Log.Changes.clear();
    }
    static double Seconds() { return ::Player->Position() * ::Player->Duration; }
    // A place read while playing on from a seek to `to` (in seconds): there,
    // or on from there by no more than the time since the seek was asked
    // for, however little a busy machine let play meanwhile.
    static void ExpectOnFrom(double read, double to, const fixtures::Stopwatch &sinceSeek)
    {
        EXPECT_GE(read, to - 0.001);
        EXPECT_LE(read, to + sinceSeek.Seconds() + fixtures::kNoSoundAhead);
    }

    std::unique_ptr<TMprisService> Service;
    SignalLog Log;
    fixtures::TempDir Dir;
    std::string Tagged, Second, Third;
};

TEST_F(Mpris, TheServiceAppearsWithWhatItIs)
{
    EXPECT_TRUE(HasOwner(TMprisService::ServiceName));

    EXPECT_EQ(Get(QStringLiteral("Identity"), RootIface).toString(), "Klangdeck");
    EXPECT_EQ(Get(QStringLiteral("DesktopEntry"), RootIface).toString(), "klangdeck");
    EXPECT_TRUE(Get(QStringLiteral("CanQuit"), RootIface).toBool());
    EXPECT_TRUE(Get(QStringLiteral("CanRaise"), RootIface).toBool());
    EXPECT_FALSE(Get(QStringLiteral("HasTrackList"), RootIface).toBool());
    EXPECT_TRUE(Get(QStringLiteral("SupportedUriSchemes"), RootIface).toStringList().isEmpty());
    EXPECT_TRUE(Get(QStringLiteral("SupportedMimeTypes"), RootIface).toStringList().isEmpty());

    // Nothing open: stopped, no track, nothing to do but control.
    EXPECT_EQ(Status(), "Stopped");
    EXPECT_EQ(TrackId(Metadata()), "/org/mpris/MediaPlayer2/TrackList/NoTrack");
    EXPECT_EQ(Metadata().size(), 1);
    for (const char *can : {"CanPlay", "CanPause", "CanGoNext", "CanGoPrevious", "CanSeek"})
        EXPECT_FALSE(Get(QString::fromLatin1(can)).toBool()) << can;
    EXPECT_TRUE(Get(QStringLiteral("CanControl")).toBool());
    EXPECT_EQ(Get(QStringLiteral("Position")).toLongLong(), 0);
    // With no row focused, play has nothing to play, as the disabled button.
    Player("Play");
    Player("PlayPause");
    EXPECT_EQ(::Player->State(), psNone);
}

TEST_F(Mpris, MetadataAndStatusFollowPlayPauseStopAndTheNextTrack)
{
    Start(0);
    QVariantMap meta = Metadata();
    EXPECT_EQ(meta.value("xesam:title").toString(), "Morgenlied");
    EXPECT_EQ(meta.value("xesam:artist").toStringList(), QStringList{"Anna"});
    EXPECT_EQ(meta.value("xesam:album").toString(), "Lieder");
    EXPECT_NEAR(meta.value("mpris:length").toLongLong() / 1e6, ::Player->Duration, 1e-3);
    EXPECT_EQ(meta.value("xesam:url").toString(), "file://" + QString::fromStdString(Tagged));
    const QString first = TrackId(meta);
    EXPECT_TRUE(first.startsWith("/org/mpris/MediaPlayer2/klangdeck/track/"));
    EXPECT_TRUE(Get(QStringLiteral("CanPause")).toBool());
    EXPECT_TRUE(Get(QStringLiteral("CanSeek")).toBool());
    EXPECT_TRUE(Get(QStringLiteral("CanGoNext")).toBool());
    EXPECT_FALSE(Get(QStringLiteral("CanGoPrevious")).toBool());

    Player("Pause");
    EXPECT_EQ(::Player->State(), psPaused);
    EXPECT_TRUE(Told(QStringLiteral("PlaybackStatus"), QStringLiteral("Paused")));
    EXPECT_EQ(LastTold(QStringLiteral("CanPause")), QVariant(false));
    EXPECT_FALSE(Form->PauseBtn->isVisible());

    Player("PlayPause");
    EXPECT_EQ(::Player->State(), psPlaying);
    EXPECT_TRUE(Told(QStringLiteral("PlaybackStatus"), QStringLiteral("Playing")));
    Player("PlayPause");
    EXPECT_EQ(::Player->State(), psPaused);

    Player("Stop");
    EXPECT_EQ(::Player->State(), psStopped);
    EXPECT_TRUE(Told(QStringLiteral("PlaybackStatus"), QStringLiteral("Stopped")));
    EXPECT_EQ(Status(), "Stopped");
    // A stopped track starts again with play, as with the button.
    Player("Play");
    EXPECT_EQ(::Player->State(), psPlaying);

    Log.Changes.clear();
    Player("Next");
    EXPECT_EQ(::Player->FileName, Second);
    ASSERT_TRUE(WaitFor([&] { return LastTold(QStringLiteral("Metadata")).isValid(); }));
    meta = qdbus_cast<QVariantMap>(LastTold(QStringLiteral("Metadata")));
    // A file without a tag is titled by its name, as the library records it.
    EXPECT_EQ(meta.value("xesam:title").toString(), "welle");
    EXPECT_FALSE(meta.contains("xesam:artist"));
    EXPECT_NE(TrackId(meta), first);
    EXPECT_EQ(LastTold(QStringLiteral("CanGoPrevious")), QVariant(true));
    EXPECT_EQ(Form->TitleLbl->text(), "welle");
    EXPECT_EQ(Status(), "Playing");
}

TEST_F(Mpris, NextAndPreviousGoByThePlayModeAsTheButtonsDo)
{
    Start(1);
    Player("Previous");
    EXPECT_EQ(::Player->FileName, Tagged);
    EXPECT_EQ(Form->TitleLbl->text(), "Anna - Morgenlied");
    // At the first entry the back button is disabled, and so is Previous.
    EXPECT_FALSE(Get(QStringLiteral("CanGoPrevious")).toBool());
    Player("Previous");
    EXPECT_EQ(::Player->FileName, Tagged);
    Player("Next");
    Player("Next");
    EXPECT_EQ(::Player->FileName, Third);
    EXPECT_FALSE(Get(QStringLiteral("CanGoNext")).toBool());
    Player("Next");
    EXPECT_EQ(::Player->FileName, Third);
    // Also where the handler would wrap: the disabled button does nothing.
    Form->PlayModeClick(pmRepeatAll);
    Player("Next");
    EXPECT_EQ(::Player->FileName, Third);

    // In random mode both go to a random other entry.
    Form->PlayModeClick(pmRandom);
    Player("Previous");
    EXPECT_NE(::Player->FileName, Third);
    EXPECT_EQ(::Player->State(), psPlaying);
    for (int i = 0; i < 6 && ::Player->Playlist->IndexOf(::Player->FileName) < 2; ++i) {
        const std::string before = ::Player->FileName;
        Player("Next");
        EXPECT_NE(::Player->FileName, before);
    }
}

TEST_F(Mpris, SeekAndSetPositionSeekAsTheBarDoes)
{
    Start(1);
    const QString id = TrackId(Metadata());
    const fixtures::Stopwatch sinceSeek;
    Player("SetPosition", {QVariant::fromValue(QDBusObjectPath(id)), qlonglong(2'000'000)});
    ExpectOnFrom(Seconds(), 2.0, sinceSeek);
    // Where the knob goes; the timer moves it on with playback from there.
    ExpectOnFrom(Form->TrackPosition * ::Player->Duration, 2.0, sinceSeek);
    EXPECT_TRUE(Form->PlayingTimer->isActive());
    ASSERT_TRUE(WaitFor([&] { return !Log.Seeks.empty(); }));
    ExpectOnFrom(Log.Seeks.back() / 1e6, 2.0, sinceSeek);
    const fixtures::Stopwatch sinceAsked;
    const double told = Get(QStringLiteral("Position")).toLongLong() / 1e6;
    ExpectOnFrom(Seconds(), told, sinceAsked);

    // Paused from here, so that the places below stay put.
    Player("Pause");
    const double pausedAt = Seconds();
    EXPECT_GE(pausedAt, 2.0);
    // A track id that is not the current one, or a place outside the track,
    // changes nothing.
    Player(
        "SetPosition",
        {QVariant::fromValue(QDBusObjectPath("/org/mpris/MediaPlayer2/klangdeck/track/999")), qlonglong(0)});
    Player("SetPosition", {QVariant::fromValue(QDBusObjectPath(id)), qlonglong(-1)});
    Player("SetPosition", {QVariant::fromValue(QDBusObjectPath(id)), qlonglong(60'000'000)});
    EXPECT_EQ(Seconds(), pausedAt);

    const size_t seeks = Log.Seeks.size();
    Player("Seek", {qlonglong(-1'000'000)});
    EXPECT_NEAR(Seconds(), pausedAt - 1.0, 0.001);
    ASSERT_TRUE(WaitFor([&] { return Log.Seeks.size() > seeks; }));
    EXPECT_NEAR(Log.Seeks.back() / 1e6, Seconds(), 0.01);
    Player("Seek", {qlonglong(-30'000'000)});
    EXPECT_NEAR(Seconds(), 0.0, 0.1);
    EXPECT_EQ(::Player->FileName, Second);
}

TEST_F(Mpris, SeekingPastTheEndEndsTheTrackByThePlayMode)
{
    Start(1);
    // This track only: playback ends with the track.
    Form->PlayModeClick(pmTrack);
    Player("Seek", {qlonglong(60'000'000)});
    EXPECT_EQ(::Player->FileName, Second);
    EXPECT_EQ(::Player->State(), psStopped);
    EXPECT_TRUE(Told(QStringLiteral("PlaybackStatus"), QStringLiteral("Stopped")));

    // Play on: the next entry follows.
    Form->PlayModeClick(pmDefault);
    Player("Play");
    Player("Seek", {qlonglong(60'000'000)});
    EXPECT_EQ(::Player->FileName, Third);
    EXPECT_EQ(::Player->State(), psPlaying);
    EXPECT_EQ(Form->TitleLbl->text(), "drei");
}

TEST_F(Mpris, TheSeekBarAndTheEndOfATrackAreReportedToo)
{
    Start(1);
    // A release of the knob seeks through the same path.
    const fixtures::Stopwatch sinceSeek;
    Form->SeekTo(0.5);
    ASSERT_TRUE(WaitFor([&] { return !Log.Seeks.empty(); }));
    ExpectOnFrom(Log.Seeks.back() / 1e6, ::Player->Duration / 2, sinceSeek);
    // The last entry plays to its end: the status turns to stopped unasked.
    // (A starved engine may stall on the way, which counts as stopped too
    // until it plays on; so the end itself is waited for.)
    ::Player->LoadTrack(2);
    ::Player->Play();
    Form->SeekTo(0.95);
    ASSERT_TRUE(WaitFor([&] { return ::Player->Position() == 1.0; }, 20000));
    EXPECT_TRUE(WaitFor([&] { return LastTold(QStringLiteral("PlaybackStatus")) == QVariant("Stopped"); }));
    EXPECT_EQ(::Player->State(), psStopped);
}

TEST_F(Mpris, VolumeActsForThisRunAndAPauseRightAfterASeekPauses)
{
    Start(0);
    EXPECT_EQ(Get(QStringLiteral("Volume")).toDouble(), 1.0);
    // Set as the desktop sets it; out of range is taken as the nearest end.
    for (const auto &[set, read] : {std::pair{0.5, 0.5}, {1.7, 1.0}, {-0.3, 0.0}, {0.25, 0.25}}) {
        const QDBusMessage reply =
            Call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                 {PlayerIface, QStringLiteral("Volume"), QVariant::fromValue(QDBusVariant(set))});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        EXPECT_EQ(Get(QStringLiteral("Volume")).toDouble(), read) << set;
        EXPECT_TRUE(Told(QStringLiteral("Volume"), read)) << set;
        EXPECT_EQ(::Player->Volume(), int(read * 100)) << set;
    }
    // The next track plays at that volume too.
    Player("Next");
    EXPECT_EQ(::Player->FileName, Second);
    EXPECT_EQ(::Player->Volume(), 25);

    const QString id = TrackId(Metadata());
    for (int round = 0; round < 10; ++round) {
        Player("SetPosition",
               {QVariant::fromValue(QDBusObjectPath(id)), qlonglong(1'000'000 + round * 500'000)});
        Player("Pause");
        EXPECT_EQ(::Player->State(), psPaused) << "round " << round;
        EXPECT_EQ(Status(), "Paused") << "round " << round;
        EXPECT_TRUE(WaitFor([&] { return LastTold(QStringLiteral("PlaybackStatus")) == QVariant("Paused"); }))
            << "round " << round;
        Player("Play");
        EXPECT_EQ(Status(), "Playing") << "round " << round;
    }
}

TEST_F(Mpris, ATrackThatStartsOverIsReportedAsSought)
{
    // Repeat track: at its end the same track plays again from the start.
    Form->PlayModeClick(pmRepeat);
    ::Player->Playlist->Clear();
    ::Player->Playlist->Add(Dir.Copy("short-0.3s.wav", "kurz.wav"));
    ::Player->LoadTrack(0);
    ::Player->Play();
    const QString id = TrackId(Metadata());
    ASSERT_TRUE(WaitFor([&] { return !Log.Seeks.empty(); }));
    EXPECT_LT(Log.Seeks.front(), 200'000);
    EXPECT_EQ(TrackId(Metadata()), id);
    EXPECT_EQ(Status(), "Playing");
}

TEST_F(Mpris, QuitClosesTheWindowAsBeendenDoes)
{
    Form->show();
    const QDBusMessage reply = Call(RootIface, QStringLiteral("Quit"));
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(WaitFor([&] { return !Form->isVisible(); }));
}

TEST_F(Mpris, ASecondProgramTakesANameOfItsOwn)
{
    TMprisService second(Form, QDBusConnection::connectToBus(Bus->Address, QStringLiteral("mpris-second")));
    EXPECT_TRUE(second.Register());
    EXPECT_TRUE(HasOwner(TMprisService::ServiceName));
    EXPECT_TRUE(HasOwner(TMprisService::ServiceName + ".instance" + QString::number(getpid())));
    QDBusConnection::disconnectFromBus(QStringLiteral("mpris-second"));
}

} // namespace

#include "MprisService_qt_test.moc"
