// The output device is open only while something plays: opened by Play,
// closed about a second after the last channel stopped or paused, kept open
// from one track to the next; end syncs and positions do not notice.
#include "EngineTest.h"
#include "bass_test.h"

#include <atomic>

using namespace enginetest;
using namespace std::chrono;

namespace {

KLANG_OUTPUTSTATE Output()
{
    KLANG_OUTPUTSTATE state{};
    EXPECT_TRUE(KLANG_GetOutputState(&state));
    return state;
}

HSTREAM Open(const char *fixture)
{
    return BASS_StreamCreateFile(FALSE, fixtures::Path(fixture).c_str(), 0, 0, 0);
}

// Waits until the output has closed; the seconds since `since` by then, or
// -1 when it is still open 10 s on.
double SecondsUntilClosed(const fixtures::Stopwatch &since = {})
{
    if (!WaitFor([] { return !Output().open; }, seconds(10)))
        return -1;
    return since.Seconds();
}

// The engine closes the output a second after the last play stopped; a
// busy machine only makes that later.
constexpr double kCloseDelay = 1.0;

struct Ends {
    std::atomic<int> count{0};
    std::atomic<HSTREAM> next{0}; // played by the end callback when set
};

void BASS_CALLBACK CALLBACK_Ended(HSYNC, DWORD, DWORD, void *user)
{
    auto *ends = static_cast<Ends *>(user);
    if (HSTREAM next = ends->next.exchange(0))
        BASS_ChannelPlay(next, TRUE);
    ++ends->count;
}

TEST_F(EngineTest, OutputOpensOnlyWhilePlayingAndClosesASecondAfterPauseOrStop)
{
    HSTREAM h = Open("tone-44100-stereo.wav");
    ASSERT_NE(h, 0u);
    // Opening, seeking and stopping a stream play nothing.
    EXPECT_TRUE(BASS_ChannelSetPosition(h, 4 * 4410));
    EXPECT_TRUE(BASS_ChannelStop(h));
    EXPECT_FALSE(Output().open);
    EXPECT_EQ(Output().opens, 0u);

    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    EXPECT_TRUE(Output().open) << "open as Play returns";
    EXPECT_EQ(Output().opens, 1u);
    ASSERT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(h) > 4 * 4410; }, seconds(10)));
    const fixtures::Stopwatch sincePause;
    ASSERT_TRUE(BASS_ChannelPause(h));
    const QWORD paused = BASS_ChannelGetPosition(h);
    EXPECT_GE(SecondsUntilClosed(sincePause), kCloseDelay) << "a quick resume finds the output still open";
    EXPECT_EQ(BASS_ChannelGetPosition(h), paused);
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PAUSED));

    // Resuming opens it again and goes on where the pause left off.
    const fixtures::Stopwatch sinceResume;
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_TRUE(Output().open);
    EXPECT_EQ(Output().opens, 2u);
    const QWORD resumed = BASS_ChannelGetPosition(h);
    EXPECT_GE(resumed, paused);
    EXPECT_LE(BASS_ChannelBytes2Seconds(h, resumed - paused), sinceResume.Seconds() + 0.1);
    ASSERT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(h) > paused + 4 * 4410; }, seconds(10)));
    const fixtures::Stopwatch sinceStop;
    EXPECT_TRUE(BASS_ChannelStop(h));
    EXPECT_GE(SecondsUntilClosed(sinceStop), kCloseDelay) << "closes a second after the stop";
    EXPECT_EQ(Output().opens, 2u);

    // Freeing a playing stream counts as its stop.
    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    EXPECT_EQ(Output().opens, 3u);
    ASSERT_TRUE(BASS_StreamFree(h));
    EXPECT_GE(SecondsUntilClosed(), 0);
}

TEST_F(EngineTest, EndSyncsFireOnceAcrossClosingAndOpeningTheOutput)
{
    HSTREAM h = Open("short-0.3s.wav");
    ASSERT_NE(h, 0u);
    Ends ends;
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CALLBACK_Ended, &ends), 0u);
    for (int round = 1; round <= 2; ++round) {
        QWORD before = Output().frames;
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE)); // after the end: from the start
        ASSERT_TRUE(WaitFor([&] { return ends.count.load() == round; }, seconds(10))) << "round " << round;
        // The whole stream went to the device, once.
        EXPECT_EQ(Output().frames - before, BASS_ChannelGetLength(h) / 4) << "round " << round;
        EXPECT_GE(SecondsUntilClosed(), 0) << "round " << round;
        EXPECT_EQ(ends.count.load(), round) << "round " << round;
    }
    EXPECT_EQ(Output().opens, 2u);

    // An end reached just before the output closes is reported once, too.
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitFor([&] { return ends.count.load() == 3; }, seconds(10)));
    std::this_thread::sleep_for(milliseconds(950));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitFor([&] { return ends.count.load() == 4; }, seconds(10)));
    EXPECT_GE(SecondsUntilClosed(), 0);
    EXPECT_EQ(ends.count.load(), 4);
}

TEST_F(EngineTest, ATrackFollowingAnotherKeepsTheOutputOpen)
{
    HSTREAM first = Open("short-0.3s.wav"), second = Open("short-0.3s-b.wav"),
            third = Open("short-0.3s-c.wav");
    ASSERT_TRUE(first && second && third);
    Ends firstEnds, secondEnds, thirdEnds;
    firstEnds.next = second;
    secondEnds.next = third;
    BASS_ChannelSetSync(first, BASS_SYNC_END, 0, CALLBACK_Ended, &firstEnds);
    BASS_ChannelSetSync(second, BASS_SYNC_END, 0, CALLBACK_Ended, &secondEnds);
    BASS_ChannelSetSync(third, BASS_SYNC_END, 0, CALLBACK_Ended, &thirdEnds);

    ASSERT_TRUE(BASS_ChannelPlay(first, TRUE));
    ASSERT_TRUE(WaitFor([&] { return thirdEnds.count.load() == 1; }, seconds(10)));
    EXPECT_EQ(firstEnds.count.load(), 1);
    EXPECT_EQ(secondEnds.count.load(), 1);
    EXPECT_EQ(Output().opens, 1u) << "closed between two tracks";
    EXPECT_EQ(Output().frames, 3 * BASS_ChannelGetLength(first) / 4);
}

TEST(EngineOutput, StateNeedsAnInitialisedEngine)
{
    KLANG_OUTPUTSTATE state{};
    EXPECT_FALSE(KLANG_GetOutputState(&state));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    ASSERT_TRUE(BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(KLANG_GetOutputState(nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_TRUE(KLANG_GetOutputState(&state));
    EXPECT_FALSE(state.open);
    EXPECT_TRUE(BASS_Free());
}

} // namespace
