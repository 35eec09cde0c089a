// What the no-sound device would have played, captured to a file: volume,
// pan, resampling and the amount of sound.
#include "EngineTest.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace enginetest;
using namespace std::chrono;

namespace {

struct Captured {
    std::vector<double> left, right;
};

// Plays fixture from frame `from` to its end with the given attributes and
// returns the sound part of the device's output.
Captured PlayAndCapture(const char *fixture, QWORD from, int volume, int pan)
{
    fixtures::TempDir dir;
    std::string path = dir.path() + "mix.f32";
    KLANG_SetNoSoundCapture(path.c_str());
    bool ok = BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr);
    KLANG_SetNoSoundCapture(nullptr);
    EXPECT_TRUE(ok);
    HSTREAM h = BASS_StreamCreateFile(FALSE, fixtures::Path(fixture).c_str(), 0, 0, 0);
    EXPECT_NE(h, 0u);
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(h, &info);
    EXPECT_TRUE(BASS_ChannelSetAttributes(h, -1, volume, pan));
    EXPECT_TRUE(BASS_ChannelSetPosition(h, from * 2 * info.chans));
    EXPECT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, seconds(10)));
    std::this_thread::sleep_for(milliseconds(30));
    BASS_Free();

    std::string raw = fixtures::ReadFile(path);
    std::vector<float> mix(raw.size() / sizeof(float));
    std::memcpy(mix.data(), raw.data(), mix.size() * sizeof(float));
    size_t first = mix.size(), last = 0;
    for (size_t i = 0; i < mix.size(); ++i) {
        if (std::abs(mix[i]) > 0.002f) {
            first = std::min(first, i / 2);
            last = i / 2;
        }
    }
    Captured c;
    for (size_t f = first; f <= last && f * 2 + 1 < mix.size(); ++f) {
        c.left.push_back(mix[f * 2]);
        c.right.push_back(mix[f * 2 + 1]);
    }
    return c;
}

std::vector<double> Middle(const std::vector<double> &x)
{
    size_t quarter = x.size() / 4;
    return std::vector<double>(x.begin() + long(quarter), x.end() - long(quarter));
}

TEST(EngineMix, VolumeAndPanScaleTheTone)
{
    // 0.3 s of a 440 Hz tone at half scale, at half volume.
    Captured half = PlayAndCapture("short-0.3s.wav", 0, 50, -101);
    EXPECT_NEAR(double(half.left.size()), 13230, 120) << "the whole stream, once, without gaps";
    EXPECT_NEAR(Amplitude(Middle(half.left)), 0.25, 0.01);
    EXPECT_NEAR(Amplitude(Middle(half.right)), 0.25, 0.01);
    EXPECT_NEAR(ZeroCrossingFrequency(Middle(half.left), 44100), 440, 3);

    Captured right = PlayAndCapture("short-0.3s.wav", 0, 100, 100);
    EXPECT_LT(Amplitude(Middle(right.left)), 0.002);
    EXPECT_NEAR(Amplitude(Middle(right.right)), 0.5, 0.01);

    Captured silent = PlayAndCapture("short-0.3s.wav", 0, 0, -101);
    EXPECT_TRUE(silent.left.empty());
}

TEST(EngineMix, OtherRatesAreResampledToTheOutputRate)
{
    // The last 0.3 s of a 22050 Hz mono tone: 440 Hz on both sides at 44100.
    Captured c = PlayAndCapture("tone-22050-mono.wav", 22050 * 7 / 10, 100, -101);
    EXPECT_NEAR(double(c.left.size()), 13230, 200);
    EXPECT_NEAR(ZeroCrossingFrequency(Middle(c.left), 44100), 440, 3);
    EXPECT_NEAR(Amplitude(Middle(c.left)), 0.5, 0.01);
    EXPECT_NEAR(Amplitude(Middle(c.right)), 0.5, 0.01);
}

} // namespace
