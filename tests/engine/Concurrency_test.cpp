// Many threads at once: two open, measure and free streams while a third
// plays, pauses, seeks and frees; run under ThreadSanitizer in CI.
#include "EngineTest.h"

#include <atomic>

using namespace enginetest;
using namespace std::chrono;

namespace {

const char *const kFiles[] = {"short-0.3s.wav",        "tone-44100-cbr128.mp3", "tone-22050-mono.ogg",
                              "tone-44100-stereo.aif", "tone-22050-mpeg2.mp3",  "tone-44100-24bit.wav"};

void BASS_CALLBACK CountEndAndAskPosition(HSYNC, DWORD channel, DWORD, void *user)
{
    ++*static_cast<std::atomic<int> *>(user);
    BASS_ChannelGetPosition(channel);
}

TEST_F(EngineTest, OpeningMeasuringAndFreeingWhilePlaying)
{
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::atomic<int> measured{0};
    std::atomic<int> ends{0};

    auto measure = [&](int seed) {
        for (int i = seed; !stop.load(); ++i) {
            const char *file = kFiles[i % std::size(kFiles)];
            HSTREAM h = BASS_StreamCreateFile(FALSE, fixtures::Path(file).c_str(), 0, 0,
                                              (i & 1) ? BASS_STREAM_DECODE : 0);
            if (!h) {
                ++failures;
                continue;
            }
            QWORD length = BASS_ChannelGetLength(h);
            if (length == QWORD(-1) || BASS_ChannelBytes2Seconds(h, length) <= 0)
                ++failures;
            if (i % 3 == 0) {
                int16_t buf[512];
                BASS_ChannelGetData(h, buf, sizeof buf);
            }
            if (!BASS_StreamFree(h))
                ++failures;
            ++measured;
        }
    };

    auto play = [&] {
        for (int i = 0; !stop.load(); ++i) {
            HSTREAM h =
                BASS_StreamCreateFile(FALSE, fixtures::Path(kFiles[i % std::size(kFiles)]).c_str(), 0, 0, 0);
            if (!h) {
                ++failures;
                continue;
            }
            BASS_ChannelSetAttributes(h, -1, 100, -101);
            BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CountEndAndAskPosition, &ends);
            BASS_ChannelPlay(h, TRUE);
            std::this_thread::sleep_for(milliseconds(20));
            BASS_ChannelPause(h);
            BASS_ChannelGetPosition(h);
            BASS_ChannelPlay(h, FALSE);
            BASS_ChannelSetPosition(h, BASS_ChannelGetLength(h) * 9 / 10 & ~QWORD(7));
            BASS_ChannelIsActive(h);
            std::this_thread::sleep_for(milliseconds(i % 2 ? 150 : 10));
            if (!BASS_StreamFree(h))
                ++failures;
        }
    };

    std::thread a(measure, 0), b(measure, 3), c(play);
    // At least this long side by side, and on until enough has happened
    // however slowly a busy machine lets the threads go.
    std::this_thread::sleep_for(milliseconds(2500));
    WaitFor([&] { return measured.load() > 20 && ends.load() > 0; }, seconds(60));
    stop = true;
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(measured.load(), 20);
    EXPECT_GT(ends.load(), 0) << "no stream played to its end";
}

} // namespace
