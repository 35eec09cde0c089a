// The player with the real engine on the no-sound device.
#include "library/AudioLibraryExt.h"
#include "platform/Hooks.h"
#include "playback/PlayerExt.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TestHooks.h"

#include "bass.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

using namespace std::chrono_literals;

namespace {

class PlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BASS_Init(0, 44100, 0, nullptr, nullptr); }

    testing_hooks::TestMainThread main;
    fixtures::TempDir dir;
    TAudioLibrary library;
    TKlangdeck player;
    int ends = 0;
    int stateChanges = 0;

    void SetUp() override
    {
        AudioLibrary = &library;
        player.OnTrackEnd = [this](TKlangdeck *) {
            EXPECT_TRUE(platform::IsMainThread());
            ++ends;
        };
        player.OnStateChange = [this](TKlangdeck *) {
            EXPECT_TRUE(platform::IsMainThread());
            ++stateChanges;
        };
    }

    void TearDown() override
    {
        player.CloseTrack();
        AudioLibrary = nullptr;
    }

    void Load(const std::string &fixture)
    {
        player.Playlist->Clear();
        player.Playlist->Add(fixtures::Path(fixture));
        player.LoadTrack(0);
        ASSERT_EQ(player.State(), psStopped);
    }

    void Pump(std::chrono::milliseconds time)
    {
        main.RunUntil([] { return false; }, time);
    }
};

} // namespace

TEST_F(PlayerTest, AShortTrackPlaysToItsEndOnceAndPlayRepeatsIt)
{
    Load("short-0.3s.wav");
    EXPECT_NEAR(player.Duration, 0.3, 0.001);
    EXPECT_EQ(player.Title, "short-0.3s");
    ASSERT_NE(player.Track, nullptr);
    EXPECT_EQ(player.Track->FileName, fixtures::Path("short-0.3s.wav"));

    player.Play();
    EXPECT_EQ(player.State(), psPlaying);
    ASSERT_TRUE(main.RunUntil([&] { return ends > 0; }, 10s));
    Pump(300ms);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(player.State(), psStopped);
    EXPECT_EQ(player.FileName, fixtures::Path("short-0.3s.wav"));

    const fixtures::Stopwatch sinceReplay;
    player.Play(); // from the start again
    EXPECT_EQ(player.State(), psPlaying);
    EXPECT_LE(player.Position() * player.Duration, sinceReplay.Seconds() + fixtures::kNoSoundAhead);
    ASSERT_TRUE(main.RunUntil([&] { return ends > 1; }, 10s));
    EXPECT_EQ(ends, 2);
}

TEST_F(PlayerTest, PauseKeepsThePositionAndStopStartsAgainAtZero)
{
    Load("tone-44100-stereo.wav");
    player.Play();
    double before = 0;
    ASSERT_TRUE(main.RunUntil([&] { return (before = player.Position()) > 0.1; }, 10s));
    player.Pause();
    EXPECT_EQ(player.State(), psPaused);
    double paused = player.Position();
    EXPECT_GE(paused, before);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(player.Position(), paused);
    player.Play();
    EXPECT_TRUE(main.RunUntil([&] { return player.Position() > paused; }, 10s));

    player.Stop();
    EXPECT_EQ(player.State(), psStopped);
    const fixtures::Stopwatch sinceRestart;
    player.Play();
    EXPECT_LE(player.Position() * player.Duration, sinceRestart.Seconds() + fixtures::kNoSoundAhead);
    EXPECT_EQ(player.State(), psPlaying);
}

TEST_F(PlayerTest, SeekMovesThePlayingPosition)
{
    Load("tone-44100-stereo.wav");
    player.Play();
    const fixtures::Stopwatch sinceSeek;
    player.Seek(0.5);
    double at = player.Position();
    EXPECT_GE(at, 0.5);
    EXPECT_LE((at - 0.5) * player.Duration, sinceSeek.Seconds() + fixtures::kNoSoundAhead);
    player.Seek(1.0);
    EXPECT_EQ(player.State(), psStopped);
    EXPECT_EQ(ends, 1);
    Pump(200ms);
    EXPECT_EQ(ends, 1);
}

TEST_F(PlayerTest, ADeletedFileGivesTheMessageWithItsFullPath)
{
    std::string file = dir.Copy("short-0.3s.wav", "weg.wav");
    player.Playlist->Add(file);
    // The library may be reading the new file's tags; Windows deletes no
    // file while it is open.
    const fixtures::Stopwatch sinceAdd;
    while (std::remove(file.c_str()) != 0 && sinceAdd.Seconds() < 10)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(std::fopen(file.c_str(), "rb"), nullptr) << "deleted";
    player.LoadTrack(0);
    ASSERT_EQ(main.Boxes().size(), 1u);
    EXPECT_EQ(main.Boxes()[0].caption, "Datei nicht gefunden");
    EXPECT_EQ(main.Boxes()[0].text,
              "'" + file + "' kann nicht wiedergegeben werden. Die Datei wurde nicht gefunden.");
    EXPECT_EQ(player.State(), psNone);
    EXPECT_EQ(player.FileName, file);
    EXPECT_EQ(player.Title, "");
    EXPECT_EQ(player.Track, nullptr);
}

TEST_F(PlayerTest, AnEndAfterTheNextTrackWasLoadedIsDropped)
{
    player.Playlist->Add(fixtures::Path("short-0.3s.wav"));
    player.Playlist->Add(fixtures::Path("short-0.3s-b.wav"));
    player.LoadTrack(0);
    player.Play();
    // Ended, and its end not yet handled: nothing here runs the main
    // thread's tasks.
    for (int i = 0; i < 5000 && player.Position() < 1; ++i)
        std::this_thread::sleep_for(2ms);
    ASSERT_EQ(player.Position(), 1.0);
    player.Next(false);
    ASSERT_EQ(player.FileName, fixtures::Path("short-0.3s-b.wav"));
    main.RunPending();
    EXPECT_EQ(ends, 0);
    ASSERT_TRUE(main.RunUntil([&] { return ends > 0; }, 10s));
    Pump(200ms);
    EXPECT_EQ(ends, 1);
}
