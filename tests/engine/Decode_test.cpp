// Every built-in format decodes to the fixture tone: exact length, right
// frequency and level, and sample-accurate seeking.
#include "EngineTest.h"

using namespace enginetest;

namespace {

struct Case {
    const char *file;
    DWORD rate;
    DWORD channels;
    long frames;     // the tone's exact sample count
    long extraLimit; // frames the format may add (no gapless information)
};

const Case kCases[] = {
    {"tone-44100-stereo.wav", 44100, 2, 44100, 0},
    {"tone-44100-mono.wav", 44100, 1, 44100, 0},
    {"tone-22050-mono.wav", 22050, 1, 22050, 0},
    {"tone-22050-stereo.wav", 22050, 2, 22050, 0},
    {"tone-48000-stereo.wav", 48000, 2, 48000, 0},
    {"tone-44100-8bit.wav", 44100, 2, 44100, 0},
    {"tone-44100-24bit.wav", 44100, 2, 44100, 0},
    {"tone-44100-float.wav", 44100, 2, 44100, 0},
    {"tone-44100-32bit.wav", 44100, 2, 44100, 0},
    {"tone-48000-24bit-plain.wav", 48000, 2, 48000, 0},
    {"tone-44100-stereo.aif", 44100, 2, 44100, 0},
    {"tone-48000-mono.aiff", 48000, 1, 48000, 0},
    {"tone-44100-stereo.aifc", 44100, 2, 44100, 0},
    {"tone-44100-cbr128.mp3", 44100, 2, 44100, 0},
    {"tone-44100-vbr.mp3", 44100, 2, 44100, 0},
    {"tone-22050-mpeg2.mp3", 22050, 2, 22050, 0},
    {"tone-22050-mpeg2-vbr.mp3", 22050, 2, 22050, 0},
    {"tone-11025-mpeg25.mp3", 11025, 1, 11025, 0},
    // Without a LAME header the encoder's delay and padding stay in.
    {"tone-44100-noinfo.mp3", 44100, 2, 44100, 3 * 1152},
    {"tone-44100.mp2", 44100, 2, 44100, 3 * 1152},
    {"tone-22050-mpeg2.mp2", 22050, 2, 22050, 3 * 1152},
    {"tone-44100-stereo.ogg", 44100, 2, 44100, 0},
    {"tone-22050-mono.ogg", 22050, 1, 22050, 0},
};

class DecodeTest : public EngineTest, public testing::WithParamInterface<Case> {};

TEST_P(DecodeTest, LengthToneAndSeek)
{
    const Case &c = GetParam();
    HSTREAM h = BASS_StreamCreateFile(FALSE, fixtures::Path(c.file).c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u) << "error " << BASS_ErrorGetCode();
    DWORD channels, rate;
    Format(h, channels, rate);
    EXPECT_EQ(channels, c.channels);
    EXPECT_EQ(rate, c.rate);

    QWORD length = BASS_ChannelGetLength(h);
    long frames = long(length / (2 * c.channels));
    EXPECT_GE(frames, c.frames);
    EXPECT_LE(frames, c.frames + c.extraLimit);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(h, length), double(frames) / c.rate, 1e-4);

    std::vector<int16_t> all = ReadAll(h);
    EXPECT_EQ(all.size() * 2, length) << "decoded bytes differ from the length";
    EXPECT_EQ(BASS_ChannelGetPosition(h), length);
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));

    // A tenth of a second from the middle: 440 Hz at half of full scale.
    for (DWORD ch = 0; ch < c.channels; ++ch) {
        auto block = ChannelOf(all, c.channels, ch, c.rate / 2, c.rate / 10);
        EXPECT_NEAR(ZeroCrossingFrequency(block, c.rate), 440.0, 440.0 * 0.01) << "channel " << ch;
        EXPECT_NEAR(Amplitude(block), 0.5, 0.03) << "channel " << ch;
    }

    // Seeking lands on the exact sample, also in the middle of a frame.
    for (QWORD frame : {QWORD(0), QWORD(1), QWORD(c.rate / 3 + 17), QWORD(frames - 100)}) {
        ASSERT_TRUE(BASS_ChannelSetPosition(h, frame * 2 * c.channels)) << frame;
        EXPECT_EQ(BASS_ChannelGetPosition(h), frame * 2 * c.channels);
        EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PLAYING));
        std::vector<int16_t> part(64 * c.channels);
        DWORD got = BASS_ChannelGetData(h, part.data(), DWORD(part.size() * 2));
        ASSERT_EQ(got, part.size() * 2);
        // A lossy decoder rebuilds its state at a seek, which may move a
        // sample by a step; a frame off would differ by far more.
        int slack = c.extraLimit > 0 || std::string(c.file).find(".mp3") != std::string::npos ||
                            std::string(c.file).find(".ogg") != std::string::npos
                        ? 2
                        : 0;
        int worst = 0;
        for (size_t i = 0; i < part.size(); ++i)
            worst = std::max(worst, std::abs(part[i] - all[frame * c.channels + i]));
        EXPECT_LE(worst, slack) << "after seeking to frame " << frame;
    }
    EXPECT_FALSE(BASS_ChannelSetPosition(h, length + 2 * c.channels));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    EXPECT_TRUE(BASS_StreamFree(h));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DecodeTest, testing::ValuesIn(kCases), [](const auto &info) {
    std::string name = info.param.file;
    for (char &ch : name)
        if (!isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
});

TEST_F(EngineTest, TagsAroundMpegAudioAreNotDecoded)
{
    // An ID3v2 tag in front and ID3v1 and APE tags behind change nothing.
    fixtures::TempDir dir;
    std::string mp3 = fixtures::ReadFile(fixtures::Path("tone-44100-cbr128.mp3"));
    std::string id3v2 =
        std::string("ID3\x03\x00\x00", 6) + std::string("\x00\x00\x08\x00", 4) + std::string(1024, '\xff');
    std::string ape = "APETAGEX" + std::string("\xd0\x07\x00\x00", 4) + std::string("\x30\x00\x00\x00", 4) +
                      std::string("\x00\x00\x00\x00", 4) + std::string(4, '\0') + std::string(8, '\0');
    std::string id3v1 = "TAG" + std::string(125, 'x');
    std::string tagged = dir.Write("tagged.mp3", id3v2 + mp3 + std::string(16, 'z') + ape + id3v1);

    HSTREAM plain = BASS_StreamCreateFile(FALSE, fixtures::Path("tone-44100-cbr128.mp3").c_str(), 0, 0,
                                          BASS_STREAM_DECODE);
    HSTREAM h = BASS_StreamCreateFile(FALSE, tagged.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(plain, 0u);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_ChannelGetLength(h), BASS_ChannelGetLength(plain));
    EXPECT_EQ(ReadAll(h), ReadAll(plain));
}

TEST_F(EngineTest, MemoryStreamsAndFileWindowsDecodeLikeFiles)
{
    std::string wav = fixtures::ReadFile(fixtures::Path("tone-44100-stereo.wav"));
    HSTREAM file = BASS_StreamCreateFile(FALSE, fixtures::Path("tone-44100-stereo.wav").c_str(), 0, 0,
                                         BASS_STREAM_DECODE);
    HSTREAM mem = BASS_StreamCreateFile(TRUE, wav.data(), 0, wav.size(), BASS_STREAM_DECODE);
    ASSERT_NE(file, 0u);
    ASSERT_NE(mem, 0u);
    EXPECT_EQ(ReadAll(mem), ReadAll(file));

    fixtures::TempDir dir;
    std::string wrapped = dir.Write("wrapped.bin", std::string(100, 'j') + wav + std::string(50, 'k'));
    HSTREAM window = BASS_StreamCreateFile(FALSE, wrapped.c_str(), 100, wav.size(), BASS_STREAM_DECODE);
    ASSERT_NE(window, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_ChannelGetLength(window), BASS_ChannelGetLength(file));
}

} // namespace
