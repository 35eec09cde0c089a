// Playing on the no-sound device: positions follow real time, pause keeps
// the position, restart starts at 0, and the end sync fires once, after the
// last sample, on a thread where the engine may be called.
#include "EngineTest.h"

#include <atomic>
#include <mutex>

using namespace enginetest;
using namespace std::chrono;

namespace {

struct EndLog {
    std::atomic<int> count{0};
    std::atomic<QWORD> position{0};
    std::atomic<DWORD> state{99};
    std::atomic<bool> freeOwnStream{false};
    std::atomic<bool> freedInside{false};
    std::atomic<DWORD> channel{0};
};

void BASS_CALLBACK CALLBACK_End(HSYNC, DWORD channel, DWORD, void *user)
{
    auto *log = static_cast<EndLog *>(user);
    log->position = BASS_ChannelGetPosition(channel);
    log->state = BASS_ChannelIsActive(channel);
    log->channel = channel;
    if (log->freeOwnStream)
        log->freedInside = BASS_StreamFree(channel) != 0;
    ++log->count;
}

HSTREAM Open(const char *fixture, DWORD flags = 0)
{
    return BASS_StreamCreateFile(FALSE, fixtures::Path(fixture).c_str(), 0, 0, flags);
}

TEST_F(EngineTest, EndSyncFiresOnceAfterTheLastSample)
{
    HSTREAM h = Open("short-0.3s.wav");
    ASSERT_NE(h, 0u);
    EndLog log;
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CALLBACK_End, &log), 0u);
    EXPECT_TRUE(BASS_ChannelSetAttributes(h, -1, 100, -101));
    fixtures::Stopwatch sincePlay;
    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PLAYING));
    ASSERT_TRUE(WaitFor([&] { return log.count.load() > 0; }, seconds(10)));
    EXPECT_GE(sincePlay.Seconds(), 0.295) << "the end came before 0.3 s had been played";
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(log.count.load(), 1);
    EXPECT_EQ(log.channel.load(), h);
    EXPECT_EQ(log.position.load(), BASS_ChannelGetLength(h));
    EXPECT_EQ(log.state.load(), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(BASS_ChannelGetPosition(h), BASS_ChannelGetLength(h));

    // Playing on after the end starts again, and ends once more.
    fixtures::Stopwatch sinceReplay;
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_LE(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetPosition(h)),
              sinceReplay.Seconds() + fixtures::kNoSoundAhead);
    ASSERT_TRUE(WaitFor([&] { return log.count.load() == 2; }, seconds(10)));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(log.count.load(), 2);
}

TEST_F(EngineTest, PositionFollowsPlayPauseStopAndRestart)
{
    HSTREAM h = Open("tone-44100-stereo.wav");
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(BASS_ChannelGetPosition(h), 0u);
    EXPECT_FALSE(BASS_ChannelPause(h));
    const auto Seconds = [h](QWORD bytes) { return BASS_ChannelBytes2Seconds(h, bytes); };
    fixtures::Stopwatch sincePlay;
    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    QWORD before = 0;
    ASSERT_TRUE(WaitFor([&] { return Seconds(before = BASS_ChannelGetPosition(h)) > 0.15; }, seconds(10)));
    ASSERT_TRUE(BASS_ChannelPause(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PAUSED));
    QWORD paused = BASS_ChannelGetPosition(h);
    EXPECT_GE(paused, before);
    EXPECT_LE(Seconds(paused), sincePlay.Seconds() + fixtures::kNoSoundAhead) << "ahead of real time";
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(BASS_ChannelGetPosition(h), paused) << "the position moved while paused";

    fixtures::Stopwatch sinceResume;
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_GE(BASS_ChannelGetPosition(h), paused);
    QWORD resumed = 0;
    EXPECT_TRUE(WaitFor([&] { return (resumed = BASS_ChannelGetPosition(h)) > paused; }, seconds(10)));
    EXPECT_LE(Seconds(resumed - paused), sinceResume.Seconds() + fixtures::kNoSoundAhead)
        << "ahead of real time";

    ASSERT_TRUE(BASS_ChannelStop(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    QWORD stopped = BASS_ChannelGetPosition(h);
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(BASS_ChannelGetPosition(h), stopped);

    fixtures::Stopwatch sinceRestart;
    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    EXPECT_LE(Seconds(BASS_ChannelGetPosition(h)), sinceRestart.Seconds() + fixtures::kNoSoundAhead)
        << "restart did not start at 0";

    // Seeking while playing continues from there.
    QWORD target = BASS_ChannelGetLength(h) / 2;
    fixtures::Stopwatch sinceSeek;
    ASSERT_TRUE(BASS_ChannelSetPosition(h, target));
    QWORD after = BASS_ChannelGetPosition(h);
    EXPECT_GE(after, target);
    EXPECT_LE(Seconds(after - target), sinceSeek.Seconds() + fixtures::kNoSoundAhead);
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PLAYING));
}

TEST_F(EngineTest, StreamsOfOtherRatesPlayInRealTime)
{
    for (const char *fixture : {"tone-22050-mono.wav", "tone-48000-stereo.wav", "tone-11025-mpeg25.mp3"}) {
        HSTREAM h = Open(fixture);
        ASSERT_NE(h, 0u) << fixture;
        EndLog log;
        BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CALLBACK_End, &log);
        ASSERT_TRUE(BASS_ChannelSetPosition(h, BASS_ChannelGetLength(h) * 7 / 10 & ~QWORD(3)));
        fixtures::Stopwatch sincePlay;
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
        ASSERT_TRUE(WaitFor([&] { return log.count.load() == 1; }, seconds(10))) << fixture;
        // Not faster than real time (a busy machine only makes it slower).
        EXPECT_GE(sincePlay.Seconds(), 0.28) << fixture;
        EXPECT_EQ(log.position.load(), BASS_ChannelGetLength(h)) << fixture;
        EXPECT_TRUE(BASS_StreamFree(h));
    }
}

TEST_F(EngineTest, EndCallbackMayFreeItsOwnStream)
{
    HSTREAM h = Open("short-0.3s-b.wav");
    ASSERT_NE(h, 0u);
    EndLog log;
    log.freeOwnStream = true;
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CALLBACK_End, &log), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    ASSERT_TRUE(WaitFor([&] { return log.count.load() == 1; }, seconds(10)));
    EXPECT_TRUE(log.freedInside.load());
    EXPECT_EQ(BASS_ChannelGetLength(h), QWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

struct FreeRace {
    std::atomic<bool> freed{false};
    std::atomic<int> late{0};
};

// An end sync that takes a while and notes whether it ran after the free.
void BASS_CALLBACK SlowEnd(HSYNC, DWORD, DWORD, void *user)
{
    auto *r = static_cast<FreeRace *>(user);
    std::this_thread::sleep_for(milliseconds(5));
    if (r->freed.load())
        ++r->late;
}

TEST_F(EngineTest, NoSyncFiresAfterStreamFreeReturned)
{
    // Free streams right around their end, from another thread than the
    // sync thread, with callbacks that take a while.
    for (int round = 0; round < 12; ++round) {
        HSTREAM h = Open("short-0.3s-c.wav");
        ASSERT_NE(h, 0u);
        FreeRace race;
        BASS_ChannelSetSync(h, BASS_SYNC_END, 0, SlowEnd, &race);
        ASSERT_TRUE(BASS_ChannelSetPosition(h, BASS_ChannelGetLength(h) - 4 * 441));
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
        std::this_thread::sleep_for(microseconds(500 * round + 3000));
        ASSERT_TRUE(BASS_StreamFree(h));
        race.freed = true;
        std::this_thread::sleep_for(milliseconds(30));
        EXPECT_EQ(race.late.load(), 0) << "round " << round;
    }
}

TEST_F(EngineTest, DecodeOnlyChannelsAreNeverPlayed)
{
    HSTREAM d = Open("short-0.3s.wav", BASS_STREAM_DECODE);
    HSTREAM p = Open("short-0.3s.wav");
    ASSERT_NE(d, 0u);
    ASSERT_NE(p, 0u);
    EXPECT_FALSE(BASS_ChannelPlay(d, TRUE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTDECODE);
    int16_t buf[64];
    EXPECT_EQ(BASS_ChannelGetData(p, buf, sizeof buf), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTDECODE);

    // The end of a decode-only channel is reported once, too.
    EndLog log;
    BASS_ChannelSetSync(d, BASS_SYNC_END, 0, CALLBACK_End, &log);
    ReadAll(d);
    EXPECT_EQ(BASS_ChannelGetData(d, buf, sizeof buf), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
    ASSERT_TRUE(WaitFor([&] { return log.count.load() == 1; }, seconds(10)));
    std::this_thread::sleep_for(milliseconds(60));
    EXPECT_EQ(log.count.load(), 1);
}

TEST_F(EngineTest, WrongHandlesAndArgumentsGiveErrors)
{
    HSTREAM h = Open("short-0.3s.wav");
    ASSERT_NE(h, 0u);
    for (DWORD bad : {DWORD(0), h + 1, DWORD(0xFFFFFFFF)}) {
        EXPECT_FALSE(BASS_ChannelPlay(bad, TRUE));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        EXPECT_FALSE(BASS_ChannelPause(bad));
        EXPECT_FALSE(BASS_ChannelStop(bad));
        EXPECT_EQ(BASS_ChannelIsActive(bad), DWORD(BASS_ACTIVE_STOPPED));
        EXPECT_EQ(BASS_ChannelGetLength(bad), QWORD(-1));
        EXPECT_EQ(BASS_ChannelGetPosition(bad), QWORD(-1));
        EXPECT_FALSE(BASS_ChannelSetPosition(bad, 0));
        EXPECT_LT(BASS_ChannelBytes2Seconds(bad, 100), 0);
        EXPECT_EQ(BASS_ChannelSetSync(bad, BASS_SYNC_END, 0, CALLBACK_End, nullptr), 0u);
        EXPECT_FALSE(BASS_ChannelSetAttributes(bad, -1, 100, -101));
        EXPECT_FALSE(BASS_StreamFree(bad));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    }
    EXPECT_FALSE(BASS_ChannelSetAttributes(h, -1, 101, -101));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_TRUE(BASS_ChannelSetAttributes(h, -1, 0, 50));
    EXPECT_EQ(BASS_ChannelSetSync(h, 99, 0, CALLBACK_End, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, "/nonexistent/file.wav", 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    EXPECT_TRUE(BASS_StreamFree(h));
    EXPECT_FALSE(BASS_StreamFree(h)) << "a freed handle stays invalid";
}

TEST(EngineLifetime, InitFreeAndVersion)
{
    EXPECT_EQ(BASS_GetVersion() >> 16, 0x0203u);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, fixtures::Path("short-0.3s.wav").c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_FALSE(BASS_Free());
    ASSERT_TRUE(BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    HSTREAM h = BASS_StreamCreateFile(FALSE, fixtures::Path("tone-44100-stereo.wav").c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    // Freeing the engine frees its playing streams.
    EXPECT_TRUE(BASS_Free());
    EXPECT_EQ(BASS_ChannelGetLength(h), QWORD(-1));
    // The default device falls back to the no-sound device without a card.
    ASSERT_TRUE(BASS_Init(BASS_DEVICE_DEFAULT, 44100, 0, nullptr, nullptr));
    HSTREAM again = BASS_StreamCreateFile(FALSE, fixtures::Path("short-0.3s.wav").c_str(), 0, 0, 0);
    ASSERT_NE(again, 0u);
    EXPECT_NE(again, h);
    ASSERT_TRUE(BASS_ChannelPlay(again, TRUE));
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(again) == BASS_ACTIVE_STOPPED; }, seconds(10)));
    EXPECT_TRUE(BASS_Free());
}

} // namespace
