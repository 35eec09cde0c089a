// The player against the scriptable engine: engine calls and notifications
// of every transport operation, in order.
#include "library/AudioLibraryExt.h"
#include "platform/Hooks.h"
#include "playback/PlayerExt.h"
#include "tests/support/EngineDouble.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Id3Writer.h"
#include "tests/support/TestHooks.h"

#include <gtest/gtest.h>

#include <thread>

namespace ed = engine_double;
using ed::Call;

namespace {

const std::string A = "/music/a.wav";
const std::string B = "/music/b.wav";
const std::string C = "/music/c.wav";

class PlayerDouble : public ::testing::Test {
protected:
    testing_hooks::TestMainThread main;
    std::unique_ptr<TKlangdeck> player;
    std::vector<std::string> events;

    void SetUp() override
    {
        ed::Reset();
        ed::ScriptStream(A, 176400); // one second
        ed::ScriptStream(B, 10000000);
        ed::ScriptStream(C, 352800);
        player = std::make_unique<TKlangdeck>();
        Listen(*player);
        for (const auto &f : {A, B, C})
            player->Playlist->Add(f);
        events.clear();
    }

    void Listen(TKlangdeck &p)
    {
        p.OnStateChange = [this](TKlangdeck *s) { Record(s, "state"); };
        p.OnTrackChange = [this](TKlangdeck *s) { Record(s, "track"); };
        p.OnPlaylistChange = [this](TKlangdeck *s) { Record(s, "playlist"); };
        p.OnTrackEnd = [this](TKlangdeck *s) { Record(s, "end"); };
    }

    void Record(TKlangdeck *sender, const char *what)
    {
        EXPECT_EQ(sender, player.get());
        EXPECT_TRUE(platform::IsMainThread());
        events.push_back(what);
    }

    // The engine calls that act; the state queries are left out.
    static std::vector<std::string> Acting()
    {
        std::vector<std::string> names;
        for (const auto &n : ed::CallNames())
            if (n != "BASS_ChannelIsActive")
                names.push_back(n);
        return names;
    }

    void Reset()
    {
        ed::ClearCalls();
        events.clear();
    }

    using Names = std::vector<std::string>;
};

const std::vector<std::string> OpenCalls = {"BASS_StreamCreateFile", "BASS_ChannelSetAttributes",
                                            "BASS_ChannelSetSync", "BASS_ChannelGetLength",
                                            "BASS_ChannelBytes2Seconds"};

} // namespace

TEST_F(PlayerDouble, LoadTrackOpensAStreamWithoutPlayingIt)
{
    player->LoadTrack(0);
    EXPECT_EQ(Acting(), OpenCalls);
    EXPECT_EQ(events, (Names{"state", "track"}));
    HSTREAM h = ed::LastStream();
    EXPECT_EQ(player->Stream, h);
    EXPECT_EQ(ed::CallsTo("BASS_StreamCreateFile")[0], Call("BASS_StreamCreateFile", 0, A, 0, 0, 0));
    EXPECT_EQ(ed::CallsTo("BASS_ChannelSetAttributes")[0],
              Call("BASS_ChannelSetAttributes", h, -1, 100, -101));
    auto sync = ed::CallsTo("BASS_ChannelSetSync")[0];
    EXPECT_EQ(sync.args[1], ed::Value(BASS_SYNC_END));
    EXPECT_EQ(sync.args[2], ed::Value(0));
    EXPECT_EQ(ed::SyncCount(h), 1);
    EXPECT_EQ(player->State(), psStopped);
    EXPECT_EQ(player->FileName, A);
    EXPECT_EQ(player->Title, "a");
    EXPECT_DOUBLE_EQ(player->Duration, 1.0);
    EXPECT_EQ(player->Track, nullptr); // no library
}

TEST_F(PlayerDouble, LoadTrackClosesThePlayingTrackFirst)
{
    player->LoadTrack(0);
    player->Play();
    HSTREAM first = player->Stream;
    Reset();
    player->LoadTrack(1);
    Names expected = {"BASS_ChannelStop", "BASS_StreamFree"};
    expected.insert(expected.end(), OpenCalls.begin(), OpenCalls.end());
    EXPECT_EQ(Acting(), expected);
    EXPECT_EQ(events, (Names{"state", "state", "track", "state", "track"}));
    EXPECT_TRUE(ed::WasFreed(first));
    EXPECT_EQ(player->FileName, B);
}

TEST_F(PlayerDouble, CloseTrackOfAStoppedTrackAndWithoutTrack)
{
    player->CloseTrack();
    EXPECT_TRUE(Acting().empty());
    EXPECT_TRUE(events.empty());

    player->LoadTrack(2);
    Reset();
    player->CloseTrack();
    EXPECT_EQ(Acting(), Names{"BASS_StreamFree"});
    EXPECT_EQ(events, (Names{"state", "track"}));
    EXPECT_EQ(player->Stream, 0u);
    EXPECT_EQ(player->FileName, "");
    EXPECT_EQ(player->Title, "");
    EXPECT_EQ(player->Duration, 0);
    EXPECT_EQ(player->State(), psNone);
}

TEST_F(PlayerDouble, LoadTrackOutsideTheListOnlyCloses)
{
    for (int index : {-1, 3}) {
        player->LoadTrack(0);
        Reset();
        player->LoadTrack(index);
        EXPECT_EQ(Acting(), Names{"BASS_StreamFree"});
        EXPECT_EQ(events, (Names{"state", "track"}));
        EXPECT_EQ(player->State(), psNone);
    }
}

TEST_F(PlayerDouble, LoadTrackThatFailsShowsTheMessageAndKeepsTheName)
{
    const std::string gone = "/music/gone.wav";
    ed::ScriptStreamFailure(gone);
    player->Playlist->Add(gone);
    player->LoadTrack(0);
    Reset();
    player->LoadTrack(3);
    EXPECT_EQ(Acting(), (Names{"BASS_StreamFree", "BASS_StreamCreateFile", "BASS_ChannelSetAttributes",
                               "BASS_ChannelSetSync"}));
    EXPECT_EQ(events, (Names{"state", "track"}));
    ASSERT_EQ(main.Boxes().size(), 1u);
    EXPECT_EQ(main.Boxes()[0].caption, "Datei nicht gefunden");
    EXPECT_EQ(main.Boxes()[0].text,
              "'/music/gone.wav' kann nicht wiedergegeben werden. Die Datei wurde nicht gefunden.");
    EXPECT_EQ(player->State(), psNone);
    EXPECT_EQ(player->FileName, gone);
    EXPECT_EQ(player->Title, "");

    // Play right after does nothing; Previous goes on from the failed place.
    Reset();
    player->Play();
    EXPECT_TRUE(events.empty());
    player->Previous(false);
    EXPECT_EQ(player->FileName, C);
    EXPECT_EQ(player->State(), psPlaying);
}

TEST_F(PlayerDouble, PlayPauseStopActOnlyInTheirStates)
{
    player->Play();
    player->Pause();
    player->Stop();
    EXPECT_TRUE(events.empty());

    player->LoadTrack(0);
    HSTREAM h = player->Stream;
    Reset();
    player->Pause(); // stopped: nothing
    player->Stop();
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(Acting().empty());

    player->Play();
    EXPECT_EQ(ed::Calls().back(), Call("BASS_ChannelPlay", h, 1));
    player->Play(); // playing: nothing
    ed::SetPosition(h, 4000);
    player->Pause();
    EXPECT_EQ(player->State(), psPaused);
    player->Play();
    EXPECT_EQ(ed::Calls().back(), Call("BASS_ChannelPlay", h, 0));
    EXPECT_EQ(ed::Position(h), 4000u);
    player->Stop();
    EXPECT_EQ(player->State(), psStopped);
    player->Play();
    EXPECT_EQ(ed::Calls().back(), Call("BASS_ChannelPlay", h, 1));
    EXPECT_EQ(Acting(), (Names{"BASS_ChannelPlay", "BASS_ChannelPause", "BASS_ChannelPlay",
                               "BASS_ChannelStop", "BASS_ChannelPlay"}));
    EXPECT_EQ(events, Names(5, "state"));
}

TEST_F(PlayerDouble, SeekRoundsToTheByteAndEndsAtOne)
{
    player->Seek(0.5); // no stream: nothing
    EXPECT_TRUE(Acting().empty());

    player->LoadTrack(1); // 10,000,000 bytes
    HSTREAM h = player->Stream;
    player->Play();
    Reset();
    player->Seek(0.5);
    EXPECT_EQ(ed::Calls().back(), Call("BASS_ChannelSetPosition", h, 5000000));
    player->Seek(-0.2);
    EXPECT_EQ(ed::Calls().back(), Call("BASS_ChannelSetPosition", h, 0));
    player->Seek(0.3);
    EXPECT_EQ(ed::Calls().back(), Call("BASS_ChannelSetPosition", h, 3000000));
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(player->State(), psPlaying);

    Reset();
    player->Seek(1.0);
    EXPECT_EQ(Acting(), (Names{"BASS_ChannelGetLength", "BASS_ChannelStop"}));
    EXPECT_EQ(events, (Names{"state", "end"}));
    EXPECT_EQ(player->State(), psStopped);

    Reset(); // stopped: no Stop, the end all the same
    player->Seek(1.5);
    EXPECT_EQ(Acting(), Names{"BASS_ChannelGetLength"});
    EXPECT_EQ(events, Names{"end"});
}

TEST_F(PlayerDouble, SeekInALongStreamUsesAllSixtyFourBits)
{
    const std::string big = "/music/big.wav";
    const QWORD length = (QWORD{1} << 40) + 3; // odd, beyond 32 bits
    ed::ScriptStream(big, length);
    player->Playlist->Add(big);
    player->LoadTrack(3);
    player->Pause();
    player->Seek(0.5); // 2^39 + 1.5 rounds to the even 2^39 + 2
    EXPECT_EQ(ed::Calls().back(), Call("BASS_ChannelSetPosition", player->Stream, (QWORD{1} << 39) + 2));

    const std::string ten = "/music/ten.wav";
    ed::ScriptStream(ten, 10);
    player->Playlist->Add(ten);
    player->LoadTrack(4);
    player->Seek(0.25); // 2.5 bytes
    EXPECT_EQ(ed::Calls().back(), Call("BASS_ChannelSetPosition", player->Stream, 2));
    player->Seek(0.75); // 7.5 bytes
    EXPECT_EQ(ed::Calls().back(), Call("BASS_ChannelSetPosition", player->Stream, 8));
}

TEST_F(PlayerDouble, PositionIsAFractionAndZeroWhenUndefined)
{
    EXPECT_EQ(player->Position(), 0);
    player->LoadTrack(1);
    ed::SetPosition(player->Stream, 2500000);
    EXPECT_DOUBLE_EQ(player->Position(), 0.25);

    const std::string empty = "/music/empty.wav";
    ed::ScriptStream(empty, 0);
    player->Playlist->Add(empty);
    player->LoadTrack(3);
    EXPECT_EQ(player->Position(), 0);

    // A stream the engine no longer knows reports errors for length and position.
    BASS_StreamFree(player->Stream);
    EXPECT_EQ(player->Position(), 0);
}

TEST_F(PlayerDouble, StateFollowsTheEngine)
{
    player->LoadTrack(0);
    HSTREAM h = player->Stream;
    ed::SetState(h, BASS_ACTIVE_STALLED);
    EXPECT_EQ(player->State(), psStopped);
    ed::SetState(h, 7);
    EXPECT_EQ(player->State(), psNone);
    ed::SetState(h, BASS_ACTIVE_PAUSED);
    EXPECT_EQ(player->State(), psPaused);
}

TEST_F(PlayerDouble, NextAndPreviousWithAndWithoutWrap)
{
    player->Next(true); // no current file
    EXPECT_TRUE(events.empty());

    player->LoadTrack(2);
    player->Next(false);
    EXPECT_EQ(player->FileName, C);
    EXPECT_EQ(player->State(), psStopped);
    player->Next(true);
    EXPECT_EQ(player->FileName, A);
    EXPECT_EQ(player->State(), psPlaying);

    Reset();
    player->Previous(false);
    EXPECT_EQ(player->FileName, A);
    EXPECT_TRUE(events.empty());
    player->Previous(true);
    EXPECT_EQ(player->FileName, C);
    EXPECT_EQ(player->State(), psPlaying);
    player->Previous(false);
    EXPECT_EQ(player->FileName, B);
    player->Next(false);
    EXPECT_EQ(player->FileName, C);
    EXPECT_EQ(player->State(), psPlaying);

    // The current file taken out of the list: neither moves.
    TPlaylist other;
    other.Add(A);
    other.Add(B);
    player->Playlist->Assign(other);
    Reset();
    player->Next(true);
    player->Previous(true);
    EXPECT_EQ(player->FileName, C);
    EXPECT_EQ(events, Names{});
}

TEST_F(PlayerDouble, PlayRandom)
{
    TPlaylist two;
    two.Add(A);
    two.Add(B);
    player->Playlist->Assign(two);
    player->LoadTrack(0);
    for (int i = 0; i < 40; ++i) {
        std::string before = player->FileName;
        player->PlayRandom();
        EXPECT_NE(player->FileName, before);
        EXPECT_EQ(player->State(), psPlaying);
    }

    TPlaylist one;
    one.Add(A);
    player->Playlist->Assign(one);
    player->LoadTrack(0);
    HSTREAM old = player->Stream;
    player->PlayRandom();
    EXPECT_EQ(player->FileName, A);
    EXPECT_NE(player->Stream, old);
    EXPECT_EQ(player->State(), psPlaying);

    player->Playlist->Clear();
    Reset();
    player->PlayRandom();
    EXPECT_TRUE(Acting().empty());
    EXPECT_TRUE(events.empty());
}

TEST_F(PlayerDouble, PlaylistChangesAreForwarded)
{
    player->Playlist->Add("/music/d.wav");
    player->Playlist->Add(A); // present: no change
    player->Playlist->Clear();
    EXPECT_EQ(events, (Names{"playlist", "playlist"}));
}

TEST_F(PlayerDouble, EndOfStreamIsRaisedOnTheMainThreadAfterwards)
{
    player->LoadTrack(0);
    player->Play();
    Reset();
    ed::FireEndOnNewThread(player->Stream).join();
    EXPECT_TRUE(events.empty());
    main.RunPending();
    EXPECT_TRUE(Acting().empty());
    EXPECT_EQ(events, (Names{"state", "end"}));
    EXPECT_EQ(player->State(), psStopped);
    EXPECT_EQ(player->FileName, A);
}

TEST_F(PlayerDouble, LateEndOfStreamIsDropped)
{
    player->LoadTrack(0);
    player->Play();
    HSTREAM first = player->Stream;
    ed::FireEndOnNewThread(first).join();
    player->LoadTrack(1); // the user moved on before the end arrived
    Reset();
    main.RunPending();
    EXPECT_TRUE(events.empty());

    // Also an end that raced with freeing the stream.
    ed::FireEndOnNewThread(first, true).join();
    main.RunPending();
    EXPECT_TRUE(events.empty());

    // And an end of a play that the user has started again.
    player->Play();
    ed::FireEndOnNewThread(player->Stream).join();
    player->Play();
    Reset();
    main.RunPending();
    EXPECT_TRUE(events.empty());
}

TEST_F(PlayerDouble, NoEndReachesAClearedReceiverOrAGonePlayer)
{
    player->LoadTrack(0);
    player->Play();
    Reset();
    ed::FireEndOnNewThread(player->Stream).join();
    // The window goes away before the end is handled.
    player->OnStateChange = nullptr;
    player->OnTrackEnd = nullptr;
    main.RunPending();
    EXPECT_TRUE(events.empty());

    Listen(*player);
    player->Play();
    Reset();
    HSTREAM h = player->Stream;
    ed::FireEndOnNewThread(h).join();
    player.reset(); // the stream stays open, its sync too
    main.RunPending();
    EXPECT_EQ(ed::FireEnd(h), 1);
    main.RunPending();
    EXPECT_TRUE(events.empty());
}

TEST_F(PlayerDouble, DisplayTitleComesFromTheLibraryRecord)
{
    fixtures::TempDir dir;
    using namespace id3writer;
    MpegHeader frame;
    std::string audio = MpegFrames(frame, 417, 40);
    std::string both = dir.Write(
        "both.mp3", Tag(3, TextFrame(3, "TIT2", 0, "Lied") + TextFrame(3, "TPE1", 0, "Band")) + audio);
    std::string titleOnly = dir.Write("only.mp3", Tag(3, TextFrame(3, "TIT2", 0, "Nur Titel")) + audio);
    std::string wave = dir.Write("Live.Set.wav", "not audio");
    for (const auto &f : {both, titleOnly, wave})
        ed::ScriptStream(f, 176400);

    TAudioLibrary library;
    AudioLibrary = &library;
    player->Playlist->Clear();
    for (const auto &f : {both, titleOnly, wave})
        player->Playlist->Add(f);

    player->LoadTrack(0);
    EXPECT_EQ(player->Title, "Band - Lied");
    ASSERT_NE(player->Track, nullptr);
    EXPECT_EQ(player->Track, library.GetInfo(both));
    player->LoadTrack(1);
    EXPECT_EQ(player->Title, "Nur Titel");
    player->LoadTrack(2);
    EXPECT_EQ(player->Title, "Live.Set");
    EXPECT_EQ(player->Track->Title, "Live.Set");
    AudioLibrary = nullptr;
}
