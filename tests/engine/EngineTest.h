// Shared helpers of the engine tests: an initialised no-sound engine per
// test, whole-file decoding and tone analysis.
#pragma once

#include "bass.h"
#include "tests/support/Fixtures.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace enginetest {

class EngineTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr)); }
    void TearDown() override { BASS_Free(); }
};

// The engine on the default device of a private sound server, which
// tests/engine/pulse.sh starts and names in KLANG_TEST_PULSE; skipped without.
class SoundServerTest : public testing::Test {
protected:
    void SetUp() override
    {
        const char *on = std::getenv("KLANG_TEST_PULSE");
        if (!on || std::string(on) != "1")
            GTEST_SKIP() << "needs a sound server (tests/engine/pulse.sh starts one)";
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    }
    void TearDown() override
    {
        if (!IsSkipped())
            BASS_Free();
    }
};

struct Pcm {
    DWORD channels = 0;
    DWORD rate = 0;
    std::vector<int16_t> samples; // interleaved
    size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

inline void Format(HSTREAM h, DWORD &channels, DWORD &rate)
{
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(h, &info);
    channels = info.chans;
    rate = info.freq;
}

// Reads a decode-only stream from its current position to its end.
inline std::vector<int16_t> ReadAll(HSTREAM h, size_t block = 8192)
{
    std::vector<int16_t> out;
    std::vector<int16_t> buf(block);
    for (;;) {
        DWORD got = BASS_ChannelGetData(h, buf.data(), DWORD(buf.size() * 2));
        if (got == DWORD(-1) || got == 0)
            break;
        out.insert(out.end(), buf.begin(), buf.begin() + got / 2);
    }
    return out;
}

// Samples of channel c from frame first on, count frames, as -1..1.
inline std::vector<double> ChannelOf(const std::vector<int16_t> &pcm, DWORD channels, DWORD c, size_t first,
                                     size_t count)
{
    std::vector<double> out;
    for (size_t i = first; i < first + count && (i * channels + c) < pcm.size(); ++i)
        out.push_back(pcm[i * channels + c] / 32768.0);
    return out;
}

// The frequency of a tone from its upward zero crossings.
inline double ZeroCrossingFrequency(const std::vector<double> &x, DWORD rate)
{
    int crossings = 0;
    size_t first = 0, last = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            if (crossings == 0)
                first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0;
    return double(crossings - 1) * rate / double(last - first);
}

// The amplitude of a sine from its RMS level.
inline double Amplitude(const std::vector<double> &x)
{
    double sum = 0;
    for (double v : x)
        sum += v * v;
    return x.empty() ? 0 : std::sqrt(2 * sum / double(x.size()));
}

// An end sync that counts into the std::atomic<int> it is given.
inline void BASS_CALLBACK CountEnd(HSYNC, DWORD, DWORD, void *user)
{
    ++*static_cast<std::atomic<int> *>(user);
}

// Waits up to timeout for done(); true when it came true.
inline bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    auto until = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace enginetest
