// Playing through a PulseAudio server: the device queues a good part of a
// second, yet a pause, stop, seek or free is heard at once, positions stay
// what has been heard (a resume goes on exactly there, positions never go
// back while playing) and the other channels lose nothing.
// Run by tests/engine/pulse.sh with a private server (KLANG_TEST_PULSE=1);
// skipped otherwise.
#include "EngineTest.h"
#include "bass_test.h"

#include <atomic>
#include <cstdlib>

using namespace enginetest;
using namespace std::chrono;

namespace {

constexpr QWORD kRate = 44100;
constexpr QWORD kFrameBytes = 4; // 16-bit stereo
// What a change may take to reach the ear: what the server's sink still
// holds after a discard, which no flush reaches (a few tens of
// milliseconds; a little over 100 once on a machine under full load), far
// below the 0.4 s the stream queues.
constexpr QWORD kPrompt = kRate * 3 / 20;
// How far the heard position may run ahead of this process's clock: it
// comes from the server's latency estimate, which is off by tens of
// milliseconds at times (a jump would be the whole queue, 0.4 s).
constexpr double kClockSlack = 0.1;

class PulseOutput : public enginetest::SoundServerTest {
protected:
    static KLANG_OUTPUTSTATE State()
    {
        KLANG_OUTPUTSTATE state{};
        EXPECT_TRUE(KLANG_GetOutputState(&state));
        return state;
    }
    static HSTREAM Open(const char *fixture)
    {
        return BASS_StreamCreateFile(FALSE, fixtures::Path(fixture).c_str(), 0, 0, 0);
    }
    static QWORD Frame(HSTREAM h) { return BASS_ChannelGetPosition(h) / kFrameBytes; }
    // Plays h for a while; the device then holds its full queue. A null
    // sink just woken starts playing only after its idle block (~1.5 s),
    // without telling.
    static void PlayAWhile(HSTREAM h, milliseconds how_long = milliseconds(2200))
    {
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
        std::this_thread::sleep_for(how_long);
        EXPECT_GE(State().queued, kRate / 8) << "the device queues far ahead";
    }
};

TEST_F(PulseOutput, PauseIsHeardAtOnceAndResumeGoesOnWhereTheEarLeftOff)
{
    HSTREAM h = Open("tone-44100-4s.ogg");
    ASSERT_NE(h, 0u);
    PlayAWhile(h);
    const fixtures::Stopwatch sinceBefore;
    const QWORD before = Frame(h);
    ASSERT_TRUE(BASS_ChannelPause(h));
    const QWORD paused = Frame(h);
    EXPECT_LE(State().queued, kPrompt) << "the queue was dropped";
    EXPECT_GE(paused, before);
    EXPECT_LE(double(paused - before) / kRate, sinceBefore.Seconds() + kClockSlack)
        << "the position stays what was heard";
    std::this_thread::sleep_for(milliseconds(300));
    const QWORD still = Frame(h);
    EXPECT_LE(still - paused, kPrompt) << "only the sink's rest plays on";

    const fixtures::Stopwatch sinceResume;
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    const QWORD resumed = Frame(h);
    EXPECT_GE(resumed, still);
    EXPECT_LE(double(resumed - still) / kRate, sinceResume.Seconds() + kClockSlack)
        << "resumes where it was heard";
    ASSERT_TRUE(WaitFor([&] { return Frame(h) > still + kRate / 4; }, seconds(10)));
}

TEST_F(PulseOutput, StopSeekAndFreeAreHeardAtOnce)
{
    HSTREAM h = Open("tone-44100-4s.ogg");
    ASSERT_NE(h, 0u);
    PlayAWhile(h);
    ASSERT_TRUE(BASS_ChannelStop(h));
    EXPECT_LE(State().queued, kPrompt) << "stop";

    // From the start again: a sink that starts at once (PipeWire's) would
    // otherwise play the tone to its end meanwhile.
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 0));
    PlayAWhile(h);
    const fixtures::Stopwatch sinceSeek;
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 2 * kRate * kFrameBytes));
    const QWORD at = Frame(h);
    EXPECT_GE(at, 2 * kRate);
    EXPECT_LE(double(at - 2 * kRate) / kRate, double(kPrompt) / kRate + sinceSeek.Seconds())
        << "the seek is heard at once";
    EXPECT_TRUE(WaitFor([&] { return Frame(h) >= 2 * kRate + kRate / 10; }, seconds(10)))
        << "plays on from the new place";

    EXPECT_GE(State().queued, kRate / 8);
    ASSERT_TRUE(BASS_StreamFree(h));
    EXPECT_LE(State().queued, kPrompt) << "free of the last playing stream";
}

TEST_F(PulseOutput, PositionNeverGoesBackWhilePlaying)
{
    HSTREAM h = Open("tone-44100-4s.ogg");
    ASSERT_NE(h, 0u);
    const fixtures::Stopwatch sincePlay;
    PlayAWhile(h);
    const fixtures::Stopwatch watch;
    QWORD last = Frame(h), backwards = 0;
    const QWORD first = last;
    while (watch.Seconds() < 1.5) {
        const QWORD now = Frame(h);
        if (now < last)
            backwards = std::max(backwards, last - now);
        last = now;
        std::this_thread::sleep_for(milliseconds(3));
    }
    EXPECT_EQ(backwards, 0u);
    // The heard position goes on, and never ahead of the clock since the
    // start. (A starved server falls behind and then catches up at once, so
    // between two reads it may well move faster than the clock.)
    EXPECT_GT(last, first);
    EXPECT_LE(double(last) / kRate, sincePlay.Seconds() + kClockSlack);
}

TEST_F(PulseOutput, AChannelStoppingLeavesTheOthersUntouched)
{
    HSTREAM keeps = Open("tone-44100-4s.ogg"), stops = Open("tone-44100-4s.ogg");
    ASSERT_TRUE(keeps && stops);
    const fixtures::Stopwatch sincePlay;
    ASSERT_TRUE(BASS_ChannelPlay(keeps, FALSE));
    PlayAWhile(stops);
    for (int round = 0; round < 3; ++round) {
        // Across the stop (or pause) of the other one, this channel's heard
        // position goes on at the pace of the clock, without a jump.
        const QWORD p0 = Frame(keeps);
        if (round == 1)
            ASSERT_TRUE(BASS_ChannelPause(stops));
        else
            ASSERT_TRUE(BASS_ChannelStop(stops));
        const QWORD p1 = Frame(keeps);
        EXPECT_GE(p1, p0) << "round " << round;
        // A jump would be the whole queue given back (0.4 s): more than has
        // played since the start, however busy the machine is.
        EXPECT_LE(double(p1) / kRate, sincePlay.Seconds() + kClockSlack) << "round " << round;
        EXPECT_TRUE(WaitFor([&] { return Frame(keeps) > p1 + kRate / 10; }, seconds(10)))
            << "round " << round << ": plays on";
        const QWORD p2 = Frame(keeps);
        EXPECT_LE(double(p2) / kRate, sincePlay.Seconds() + kClockSlack) << "round " << round;
        ASSERT_TRUE(BASS_ChannelPlay(stops, FALSE));
        std::this_thread::sleep_for(milliseconds(300));
    }
    EXPECT_EQ(BASS_ChannelIsActive(keeps), DWORD(BASS_ACTIVE_PLAYING));
}

void BASS_CALLBACK CALLBACK_Count(HSYNC, DWORD, DWORD, void *user)
{
    ++*static_cast<std::atomic<int> *>(user);
}

TEST_F(PulseOutput, ThePositionFollowsTheEarToTheEnd)
{
    // The whole short track is queued at once, so its end is reported long
    // before its last frame is heard; the position goes on with the ear.
    HSTREAM h = Open("short-0.3s.wav");
    ASSERT_NE(h, 0u);
    std::atomic<int> ends{0};
    BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CALLBACK_Count, &ends);
    const fixtures::Stopwatch sincePlay;
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitFor([&] { return ends.load() == 1; }, seconds(10)));
    EXPECT_LE(double(Frame(h)) / kRate, sincePlay.Seconds() + kClockSlack);
    EXPECT_TRUE(WaitFor([&] { return Frame(h) == BASS_ChannelGetLength(h) / kFrameBytes; }, seconds(10)))
        << "and is at the end once that is heard";
}

TEST_F(PulseOutput, TracksFollowEachOtherOnOneOpenDeviceWithOneEndEach)
{
    HSTREAM first = Open("short-0.3s.wav"), second = Open("short-0.3s-b.wav");
    ASSERT_TRUE(first && second);
    std::atomic<int> firstEnds{0}, secondEnds{0};
    BASS_ChannelSetSync(first, BASS_SYNC_END, 0, CALLBACK_Count, &firstEnds);
    BASS_ChannelSetSync(second, BASS_SYNC_END, 0, CALLBACK_Count, &secondEnds);
    ASSERT_TRUE(BASS_ChannelPlay(first, FALSE));
    ASSERT_TRUE(WaitFor([&] { return firstEnds.load() == 1; }, seconds(10)));
    ASSERT_TRUE(BASS_ChannelPlay(second, FALSE));
    ASSERT_TRUE(WaitFor([&] { return secondEnds.load() == 1; }, seconds(10)));
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_EQ(firstEnds.load(), 1);
    EXPECT_EQ(secondEnds.load(), 1);
    EXPECT_EQ(State().opens, 1u);
    EXPECT_EQ(State().frames, 2 * BASS_ChannelGetLength(first) / kFrameBytes) << "both whole, once";
    EXPECT_TRUE(WaitFor([&] { return Frame(second) == BASS_ChannelGetLength(second) / kFrameBytes; }, seconds(10)));
    ASSERT_TRUE(WaitFor([&] { return !State().open; }, seconds(10))) << "closes after the last track";
}

} // namespace
