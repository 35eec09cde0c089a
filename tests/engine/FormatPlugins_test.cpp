// The shipped FLAC and Opus plug-ins, loaded by the real engine from bass/
// beside the test program: exact lengths, the tone, exact seeking, playing to
// the end, and damaged files.
#include "EngineTest.h"

#include "platform/Hooks.h"
#include "platform/Names.h"

#include <atomic>
#include <cstring>
#include <random>

using namespace enginetest;

namespace {

class FormatPluginTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        for (const char *name : {"bassflac", "bassopus"}) {
            const std::string file =
                platform::ProgramFolder() + "bass/" + name + platform::SharedLibrarySuffix;
            ASSERT_NE(BASS_PluginLoad(file.c_str(), 0), 0u) << name;
        }
    }

    static HSTREAM Decoder(const std::string &path)
    {
        return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    }
};

struct Expected {
    const char *fixture;
    DWORD rate;
    QWORD frames;
};

const Expected Flac[] = {{"tone-44100-stereo.flac", 44100, 44100}, {"tone-96000-24bit.flac", 96000, 96000}};
// Opus decodes at 48 kHz whatever the source rate; opusenc keeps the exact
// duration, so one second is 48000 frames either way.
const Expected Opus[] = {{"tone-48000-stereo.opus", 48000, 48000}, {"tone-44100-stereo.opus", 48000, 48000}};

void ExpectTone(const Expected &e, HSTREAM h)
{
    SCOPED_TRACE(e.fixture);
    DWORD channels = 0, rate = 0;
    Format(h, channels, rate);
    EXPECT_EQ(channels, 2u);
    EXPECT_EQ(rate, e.rate);
    EXPECT_EQ(BASS_ChannelGetLength(h), e.frames * 2 * 2);
    EXPECT_FLOAT_EQ(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h)), 1.0f);
    std::vector<int16_t> all = ReadAll(h);
    EXPECT_EQ(all.size(), e.frames * 2);
    for (DWORD c = 0; c < 2; ++c) {
        // The middle of the file, away from the encoder's fade in and out.
        std::vector<double> x = ChannelOf(all, 2, c, e.frames / 4, e.frames / 2);
        EXPECT_NEAR(ZeroCrossingFrequency(x, e.rate), 440, 2);
        EXPECT_NEAR(Amplitude(x), 0.5, 0.02);
    }
}

TEST_F(FormatPluginTest, FixturesOpenWithExactLengthsAndTheirTone)
{
    for (const Expected &e : Flac) {
        HSTREAM h = Decoder(fixtures::Path(e.fixture));
        ASSERT_NE(h, 0u) << e.fixture << ": " << BASS_ErrorGetCode();
        ExpectTone(e, h);
        BASS_StreamFree(h);
    }
    for (const Expected &e : Opus) {
        HSTREAM h = Decoder(fixtures::Path(e.fixture));
        ASSERT_NE(h, 0u) << e.fixture << ": " << BASS_ErrorGetCode();
        ExpectTone(e, h);
        BASS_StreamFree(h);
    }
}

TEST_F(FormatPluginTest, FlacIsLosslessAndFoundBehindAnId3Tag)
{
    HSTREAM wav = Decoder(fixtures::Path("tone-44100-stereo.wav"));
    ASSERT_NE(wav, 0u);
    std::vector<int16_t> source = ReadAll(wav);

    // Taggers put ID3v2 in front of FLAC data; the name says nothing.
    fixtures::TempDir dir;
    std::string tag = std::string("ID3\x03\x00\x00\x00\x00\x00\x14", 10) + std::string(20, '\0');
    std::string tagged =
        dir.Write("tagged.ogg", tag + fixtures::ReadFile(fixtures::Path("tone-44100-stereo.flac")));
    for (const std::string &path : {fixtures::Path("tone-44100-stereo.flac"), tagged}) {
        HSTREAM h = Decoder(path);
        ASSERT_NE(h, 0u) << path << ": " << BASS_ErrorGetCode();
        EXPECT_EQ(BASS_ChannelGetLength(h), 44100u * 4);
        EXPECT_TRUE(ReadAll(h) == source) << path;
    }
}

TEST_F(FormatPluginTest, FlacSeeksToTheExactFrame)
{
    for (const Expected &e : Flac) {
        SCOPED_TRACE(e.fixture);
        HSTREAM h = Decoder(fixtures::Path(e.fixture));
        ASSERT_NE(h, 0u);
        std::vector<int16_t> all = ReadAll(h);
        ASSERT_EQ(all.size(), e.frames * 2);
        for (QWORD frame :
             {QWORD(12345), QWORD(0), e.frames / 2 + 1, e.frames - 300, QWORD(4095), QWORD(4096)}) {
            ASSERT_TRUE(BASS_ChannelSetPosition(h, frame * 4)) << frame;
            EXPECT_EQ(BASS_ChannelGetPosition(h), frame * 4);
            std::vector<int16_t> part(600);
            ASSERT_EQ(BASS_ChannelGetData(h, part.data(), 1200), 1200u) << frame;
            EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin() + frame * 2)) << frame;
        }
        BASS_StreamFree(h);
    }
}

// The shift (in frames) at which what follows a seek matches the straight
// decode best. Opus decodes a seek target from an earlier pre-roll, so the
// samples are close to, not equal to, the straight ones; their timing is exact.
long BestShift(const std::vector<int16_t> &all, const std::vector<int16_t> &part, QWORD frame)
{
    long best = 0;
    double bestError = 1e300;
    const size_t frames = part.size() / 2;
    for (long k = -8; k <= 8; ++k) {
        double error = 0;
        for (size_t i = frames / 2; i < frames; ++i) {
            double d = double(part[2 * i]) - all[2 * (frame + k + i)];
            error += d * d;
        }
        if (error < bestError) {
            bestError = error;
            best = k;
        }
    }
    return best;
}

TEST_F(FormatPluginTest, OpusSeeksToTheExactFrame)
{
    for (const Expected &e : Opus) {
        SCOPED_TRACE(e.fixture);
        HSTREAM h = Decoder(fixtures::Path(e.fixture));
        ASSERT_NE(h, 0u);
        std::vector<int16_t> all = ReadAll(h);
        ASSERT_EQ(all.size(), e.frames * 2);
        for (QWORD frame : {QWORD(12345), QWORD(24000), QWORD(30001), QWORD(0)}) {
            ASSERT_TRUE(BASS_ChannelSetPosition(h, frame * 4)) << frame;
            EXPECT_EQ(BASS_ChannelGetPosition(h), frame * 4);
            std::vector<int16_t> part(2 * 2000);
            ASSERT_EQ(BASS_ChannelGetData(h, part.data(), 8000), 8000u) << frame;
            EXPECT_EQ(BestShift(all, part, frame), 0) << frame;
        }
        // The end is a valid position; nothing follows it.
        ASSERT_TRUE(BASS_ChannelSetPosition(h, e.frames * 4));
        int16_t after[8];
        EXPECT_EQ(BASS_ChannelGetData(h, after, sizeof after), DWORD(-1));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
        BASS_StreamFree(h);
    }
}

TEST_F(FormatPluginTest, FlacAndOpusPlayToTheEndWithOneEndSync)
{
    const char *files[] = {"tone-44100-stereo.flac", "tone-96000-24bit.flac", "tone-48000-stereo.opus"};
    HSTREAM streams[3];
    std::atomic<int> ends[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        streams[i] = BASS_StreamCreateFile(FALSE, fixtures::Path(files[i]).c_str(), 0, 0, 0);
        ASSERT_NE(streams[i], 0u) << files[i];
        ASSERT_NE(BASS_ChannelSetSync(streams[i], BASS_SYNC_END, 0, CountEnd, &ends[i]), 0u);
    }
    for (HSTREAM h : streams)
        ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    EXPECT_EQ(BASS_ChannelIsActive(streams[0]), DWORD(BASS_ACTIVE_PLAYING));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(files[i]);
        EXPECT_TRUE(WaitFor([&] { return ends[i].load() > 0; }, std::chrono::seconds(10)));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(files[i]);
        EXPECT_EQ(ends[i].load(), 1);
        EXPECT_EQ(BASS_ChannelIsActive(streams[i]), DWORD(BASS_ACTIVE_STOPPED));
        EXPECT_EQ(BASS_ChannelGetPosition(streams[i]), BASS_ChannelGetLength(streams[i]));
        BASS_StreamFree(streams[i]);
    }
}

std::string Damaged(std::string bytes, unsigned seed, int flips)
{
    std::mt19937 rng(seed);
    // Leave the first bytes whole so the file still looks like its format.
    for (int i = 0; i < flips; ++i)
        bytes[64 + rng() % (bytes.size() - 64)] = static_cast<char>(rng());
    return bytes;
}

TEST_F(FormatPluginTest, DamagedFilesFailToOpenOrEndCleanly)
{
    fixtures::TempDir dir;
    std::vector<std::string> paths;
    for (const char *fixture :
         {"tone-44100-stereo.flac", "tone-96000-24bit.flac", "tone-48000-stereo.opus"}) {
        std::string good = fixtures::ReadFile(fixtures::Path(fixture));
        const std::string variants[] = {good.substr(0, 4),
                                        good.substr(0, 60),
                                        good.substr(0, good.size() / 2),
                                        good.substr(0, good.size() - 7),
                                        Damaged(good, 1, 3),
                                        Damaged(good, 2, 40),
                                        Damaged(good, 3, 400),
                                        good.substr(0, 200) + std::string(good.size(), '\0')};
        for (size_t i = 0; i < std::size(variants); ++i)
            paths.push_back(dir.Write(
                std::string(fixture) + "." + std::to_string(i) + std::strrchr(fixture, '.'), variants[i]));
    }
    int opened = 0;
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        HSTREAM h = Decoder(path);
        if (!h) {
            EXPECT_NE(BASS_ErrorGetCode(), BASS_OK);
            continue;
        }
        ++opened;
        QWORD length = BASS_ChannelGetLength(h);
        std::vector<int16_t> all = ReadAll(h);
        EXPECT_LE(all.size() * 2, length);
        EXPECT_TRUE(BASS_ChannelSetPosition(h, length / 2) || BASS_ErrorGetCode() != BASS_OK);
        ReadAll(h);
        BASS_StreamFree(h);
    }
    EXPECT_GT(opened, 0) << "some damaged files still hold decodable audio";

    // A cut file plays as far as it goes and then ends like any other.
    HSTREAM h = BASS_StreamCreateFile(FALSE, paths[2].c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    std::atomic<int> ends{0};
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CountEnd, &ends), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    EXPECT_TRUE(WaitFor([&] { return ends.load() == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    BASS_StreamFree(h);
}

} // namespace
