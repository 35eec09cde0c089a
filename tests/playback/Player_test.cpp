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
    ASSERT_TRUE(main.RunUntil([&] { return ends > 0; }, 3000ms));
    Pump(300ms);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(player.State(), psStopped);
    EXPECT_EQ(player.FileName, fixtures::Path("short-0.3s.wav"));

    player.Play(); // from the start again
    EXPECT_EQ(player.State(), psPlaying);
    EXPECT_LT(player.Position(), 0.5);
    ASSERT_TRUE(main.RunUntil([&] { return ends > 1; }, 3000ms));
    EXPECT_EQ(ends, 2);
}

TEST_F(PlayerTest, PauseKeepsThePositionAndStopStartsAgainAtZero)
{
    Load("tone-44100-stereo.wav");
    player.Play();
    std::this_thread::sleep_for(300ms);
    player.Pause();
    EXPECT_EQ(player.State(), psPaused);
    double paused = player.Position();
    EXPECT_GT(paused, 0.1);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(player.Position(), paused);
    player.Play();
    std::this_thread::sleep_for(100ms);
    EXPECT_GT(player.Position(), paused);

    player.Stop();
    EXPECT_EQ(player.State(), psStopped);
    player.Play();
    EXPECT_LT(player.Position(), 0.1);
    EXPECT_EQ(player.State(), psPlaying);
}

TEST_F(PlayerTest, SeekMovesThePlayingPosition)
{
    Load("tone-44100-stereo.wav");
    player.Play();
    player.Seek(0.5);
    double at = player.Position();
    EXPECT_GE(at, 0.5);
    EXPECT_LT(at, 0.7);
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
    ASSERT_EQ(std::remove(file.c_str()), 0);
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
    std::this_thread::sleep_for(600ms); // ended, not yet handled
    player.Next(false);
    ASSERT_EQ(player.FileName, fixtures::Path("short-0.3s-b.wav"));
    main.RunPending();
    EXPECT_EQ(ends, 0);
    ASSERT_TRUE(main.RunUntil([&] { return ends > 0; }, 3000ms));
    Pump(200ms);
    EXPECT_EQ(ends, 1);
}
