#include "library/Mp3FileUtils.h"
#include "platform/Text.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Id3Writer.h"

#include <gtest/gtest.h>

using namespace id3writer;

namespace {

// MPEG-1 Layer III, 128 kbit/s, 44100 Hz, stereo: 417-byte frames.
const MpegHeader kCbr128;

struct Scan {
    TMpegInfo info;
    TMp3Result result;
    explicit Scan(const std::string &bytes, int64_t from = 0)
    {
        TMemoryStream stream(bytes);
        stream.SetPosition(from);
        result = info.ScanStream(stream);
    }
};

TMpegFrameHeader Decode(const MpegHeader &header)
{
    std::string bytes = header.Bytes();
    return TMpegInfo::DecodeFrameHeader(reinterpret_cast<const uint8_t *>(bytes.data()));
}

// Records the size of every read.
class RecordingStream : public TMemoryStream {
public:
    using TMemoryStream::TMemoryStream;
    int64_t Read(void *buffer, int64_t count) override
    {
        reads.push_back(count);
        return TMemoryStream::Read(buffer, count);
    }
    std::vector<int64_t> reads;
};

} // namespace

TEST(MpegHeader, FrameLengthsByLayerAndVersion)
{
    EXPECT_EQ(TMpegInfo::FrameLength(1, 3, 0, 44100, 128), 417);
    EXPECT_EQ(TMpegInfo::FrameLength(1, 3, 1, 44100, 128), 418);
    EXPECT_EQ(TMpegInfo::FrameLength(1, 3, 0, 48000, 320), 960);
    EXPECT_EQ(TMpegInfo::FrameLength(1, 1, 1, 32000, 32), 52);
    EXPECT_EQ(TMpegInfo::FrameLength(2, 3, 0, 22050, 64), 208);
    EXPECT_EQ(TMpegInfo::FrameLength(3, 3, 0, 11025, 32), 208);
    // Layer II frames hold 1152 samples in every version.
    EXPECT_EQ(TMpegInfo::FrameLength(2, 2, 0, 22050, 64), 417);
    EXPECT_EQ(TMpegInfo::FrameLength(3, 2, 1, 8000, 160), 2881);
}

TEST(MpegHeader, DecodesTheFieldsFromTheTables)
{
    TMpegFrameHeader h = TMpegInfo::DecodeFrameHeader(reinterpret_cast<const uint8_t *>("\xFF\xFA\x93\x6D"));
    EXPECT_TRUE(h.Valid);
    EXPECT_EQ(h.Version, 1);
    EXPECT_EQ(h.Layer, 3);
    EXPECT_TRUE(h.Protection);
    EXPECT_EQ(h.Bitrate, 128);
    EXPECT_EQ(h.SampleRate, 44100);
    EXPECT_EQ(h.Padding, 1);
    EXPECT_EQ(h.ChannelMode, 1);
    EXPECT_EQ(h.ModeExtension, 2);
    EXPECT_TRUE(h.Copyright);
    EXPECT_TRUE(h.Original);
    EXPECT_EQ(h.Emphasis, 1);
    EXPECT_EQ(h.FrameLength, 418);

    TMpegFrameHeader lsf = Decode({.version = 3, .layer = 3, .bitrateIndex = 14, .sampleRateIndex = 2});
    EXPECT_EQ(lsf.Bitrate, 160);
    EXPECT_EQ(lsf.SampleRate, 8000);
    EXPECT_EQ(Decode({.version = 2, .layer = 1, .bitrateIndex = 14, .sampleRateIndex = 1}).Bitrate, 256);
    EXPECT_EQ(Decode({.version = 1, .layer = 1, .bitrateIndex = 14}).Bitrate, 448);
    EXPECT_EQ(Decode({.version = 1, .layer = 2, .bitrateIndex = 14}).Bitrate, 384);
}

TEST(MpegHeader, ReservedValuesAndLayerIICombinationsAreInvalid)
{
    EXPECT_FALSE(Decode({.sampleRateIndex = 3}).Valid);
    EXPECT_FALSE(Decode({.bitrateIndex = 15}).Valid);
    EXPECT_FALSE(Decode({.version = 0}).Valid);
    EXPECT_FALSE(Decode({.layer = 0}).Valid);
    EXPECT_FALSE(Decode({.bitrateIndex = 0}).Valid);
    EXPECT_FALSE(TMpegInfo::DecodeFrameHeader(reinterpret_cast<const uint8_t *>("\xFF\xDB\x90\x00")).Valid);

    // 32 kbit/s Layer II: single channel only; 224 kbit/s: not single channel.
    EXPECT_FALSE(Decode({.layer = 2, .bitrateIndex = 1, .channelMode = 0}).Valid);
    EXPECT_TRUE(Decode({.layer = 2, .bitrateIndex = 1, .channelMode = 3}).Valid);
    EXPECT_TRUE(Decode({.layer = 2, .bitrateIndex = 11, .channelMode = 1}).Valid);
    EXPECT_FALSE(Decode({.layer = 2, .bitrateIndex = 11, .channelMode = 3}).Valid);
    EXPECT_FALSE(Decode({.version = 2, .layer = 2, .bitrateIndex = 4, .channelMode = 2}).Valid); // 32 kbit/s
}

TEST(MpegScan, ConstantBitrateFromTheFileSize)
{
    std::string audio = MpegFrames(kCbr128, 417, 9592) + std::string(136, '\0');
    ASSERT_EQ(audio.size(), 4000000u);
    Scan plain(audio);
    EXPECT_EQ(plain.result, mrOk);
    EXPECT_TRUE(plain.info.Valid);
    EXPECT_EQ(plain.info.FirstFramePosition, 0);
    EXPECT_EQ(plain.info.Duration, 250);
    EXPECT_EQ(plain.info.FrameCount, 9592u);
    EXPECT_EQ(plain.info.Bitrate, 128);
    EXPECT_FALSE(plain.info.IsVbr);
    EXPECT_EQ(plain.info.SampleRate, 44100);
    EXPECT_EQ(plain.info.FileSize, 4000000);

    // The scan starts where the stream stands (after a tag) and counts from the frame it confirms.
    std::string tag = Tag(3, TextFrame(3, "TIT2", 0, "x"), 100);
    Scan after(tag + "\xFF\xFB\x90 junk" + audio, static_cast<int64_t>(tag.size()));
    EXPECT_EQ(after.info.FirstFramePosition, static_cast<int64_t>(tag.size() + 8));
    EXPECT_EQ(after.info.Duration, 250);
}

TEST(MpegScan, XingAverageBitrateAndDuration)
{
    std::string first = XingFrame(kCbr128, 417, 36, 10000);
    std::string rest = MpegFrames(kCbr128, 417, 11990) + std::string(170, '\0');
    ASSERT_EQ(rest.size(), 5000000u);
    Scan s(first + rest);
    EXPECT_EQ(s.result, mrOk);
    EXPECT_TRUE(s.info.IsVbr);
    EXPECT_EQ(s.info.Bitrate, 153);
    EXPECT_EQ(s.info.Duration, 261);
    EXPECT_EQ(s.info.FrameCount, 10000u);

    // Single channel puts the header at 21.
    MpegHeader mono = kCbr128;
    mono.channelMode = 3;
    EXPECT_TRUE(Scan(XingFrame(mono, 417, 21, 10000) + MpegFrames(mono, 417, 11990)).info.IsVbr);
    EXPECT_FALSE(Scan(XingFrame(mono, 417, 36, 10000) + MpegFrames(mono, 417, 11990)).info.IsVbr);
}

// The average bitrate uses the samples per frame of the layer and version.
TEST(MpegScan, XingFactorFollowsLayerAndVersion)
{
    MpegHeader mpeg2{.version = 2, .bitrateIndex = 8}; // 64 kbit/s, 22050 Hz: 208 bytes
    Scan l3(XingFrame(mpeg2, 208, 21, 1000) + MpegFrames(mpeg2, 208, 1000));
    EXPECT_EQ(l3.info.Bitrate, 63);
    EXPECT_EQ(l3.info.Duration, 26);

    MpegHeader mpeg2l2{.version = 2, .layer = 2, .bitrateIndex = 8}; // 417 bytes
    Scan l2(XingFrame(mpeg2l2, 417, 21, 1000) + MpegFrames(mpeg2l2, 417, 1000));
    EXPECT_EQ(l2.info.Bitrate, 63);
    EXPECT_EQ(l2.info.Duration, 52);

    MpegHeader l1{.layer = 1, .bitrateIndex = 4}; // 128 kbit/s, 44100 Hz: 136 bytes
    Scan layer1(XingFrame(l1, 136, 36, 1000) + MpegFrames(l1, 136, 1000));
    EXPECT_EQ(layer1.info.Bitrate, 124);
    EXPECT_EQ(layer1.info.Duration, 8);
}

TEST(MpegScan, UnusableXingOrOtherMarkersFallBackToConstantBitrate)
{
    std::string frames = MpegFrames(kCbr128, 417, 100);
    Scan noCount(XingFrame(kCbr128, 417, 36, 10000, false) + frames);
    EXPECT_EQ(noCount.info.FirstFramePosition, 417);
    EXPECT_FALSE(noCount.info.IsVbr);
    EXPECT_EQ(noCount.info.FrameCount, 100u);

    Scan zero(XingFrame(kCbr128, 417, 36, 0) + frames);
    EXPECT_EQ(zero.info.FirstFramePosition, 417);

    for (const char *marker : {"Info", "VBRI"}) {
        Scan info(XingFrame(kCbr128, 417, 36, 10000, true, marker) + frames);
        EXPECT_EQ(info.info.FirstFramePosition, 0) << marker;
        EXPECT_FALSE(info.info.IsVbr);
        EXPECT_EQ(info.info.FrameCount, 101u);
    }
}

TEST(MpegScan, ACandidateNeedsTwoMoreFramesInLine)
{
    std::string frames = MpegFrames(kCbr128, 417, 3);
    std::string lone = std::string("abc\xFF\xFB\x90\x00", 7) + std::string(500, 'x');
    Scan s(lone + frames);
    EXPECT_EQ(s.info.FirstFramePosition, static_cast<int64_t>(lone.size()));

    // Only the third frame's sync is looked at, and it needs four bytes of file.
    std::string two = MpegFrames(kCbr128, 417, 2);
    EXPECT_EQ(Scan(two + std::string("\xFF\xE0\0\0", 4)).result, mrOk);
    EXPECT_EQ(Scan(two + "\xFF\xFB\x90").result, mrNoMpegFrame);
    EXPECT_EQ(Scan(two + std::string("\xFF\xDF\0\0", 4)).result, mrNoMpegFrame);
    EXPECT_EQ(Scan(two).result, mrNoMpegFrame);
}

TEST(MpegScan, InvalidFirstHeadersAreNeverConfirmed)
{
    for (MpegHeader bad : {MpegHeader{.sampleRateIndex = 3}, MpegHeader{.bitrateIndex = 15},
                           MpegHeader{.version = 0}, MpegHeader{.layer = 0}, MpegHeader{.bitrateIndex = 0}}) {
        Scan s(MpegFrames(bad, 417, 5));
        EXPECT_EQ(s.result, mrNoMpegFrame);
        EXPECT_FALSE(s.info.Valid);
        EXPECT_EQ(s.info.FirstFramePosition, -1);
        EXPECT_EQ(s.info.Duration, 0);
    }
    // Free-format Layer I with padding is four bytes long: it lines up, but has no bitrate.
    EXPECT_EQ(Scan(MpegFrames({.layer = 1, .bitrateIndex = 0, .padding = 1}, 4, 50)).result, mrNoMpegFrame);
}

TEST(MpegScan, LayerIIPairAtThirtyTwoKilobits)
{
    MpegHeader stereo{.layer = 2, .bitrateIndex = 1};
    MpegHeader mono{.layer = 2, .bitrateIndex = 1, .channelMode = 3};
    EXPECT_EQ(Scan(MpegFrames(stereo, 104, 10)).result, mrNoMpegFrame);
    Scan s(MpegFrames(mono, 104, 10));
    EXPECT_EQ(s.result, mrOk);
    EXPECT_EQ(s.info.Bitrate, 32);
    EXPECT_EQ(s.info.ChannelMode, 3);
}

TEST(MpegScan, EmptyShortAndExhaustedStreamsFindNothing)
{
    for (const std::string &bytes :
         {std::string(), std::string("\xFF"), std::string("\xFF\xFB"), std::string("\xFF\xFB\x90")}) {
        Scan s(bytes);
        EXPECT_EQ(s.result, mrNoMpegFrame);
        EXPECT_EQ(s.info.Duration, 0);
        EXPECT_EQ(s.info.FirstFramePosition, -1);
    }
    std::string frames = MpegFrames(kCbr128, 417, 3);
    EXPECT_EQ(Scan(frames, static_cast<int64_t>(frames.size())).result, mrNoMpegFrame);
    EXPECT_EQ(Scan(frames, 1000000).result, mrNoMpegFrame);
    EXPECT_EQ(Scan(std::string(100000, '\xFF')).result, mrNoMpegFrame);
}

// The scan reads through a 512-byte window, with side reads of the first
// frame plus four bytes or of four bytes at the third frame, and finds the
// same frame wherever the window boundaries fall.
TEST(MpegScan, WindowBoundariesDoNotChangeTheResult)
{
    std::string frames = MpegFrames(kCbr128, 417, 3);
    for (size_t junk = 0; junk < 1200; junk += 7) {
        std::string prefix;
        for (size_t i = 0; i < junk; ++i)
            prefix += i % 5 == 0 ? '\xFF' : static_cast<char>(i % 200);
        RecordingStream stream(prefix + frames);
        TMpegInfo info;
        ASSERT_EQ(info.ScanStream(stream), mrOk) << junk;
        EXPECT_EQ(info.FirstFramePosition, static_cast<int64_t>(junk));
        EXPECT_EQ(info.FrameCount, 3u);
        for (int64_t n : stream.reads)
            EXPECT_TRUE(n == 512 || n == 417 + 4 || n == 4) << n;
    }
    RecordingStream ordinary(frames + frames);
    TMpegInfo info;
    info.ScanStream(ordinary);
    EXPECT_EQ(ordinary.reads, (std::vector<int64_t>{512, 4}));
}

TEST(MpegScan, LameFilesOfEveryVersionAndLayer)
{
    struct Expect {
        const char *file;
        int version, layer, sampleRate, bitrate;
        bool vbr;
    };
    for (Expect e : {Expect{"tone-44100-cbr128.mp3", 1, 3, 44100, 128, false},
                     Expect{"tone-44100-noinfo.mp3", 1, 3, 44100, 128, false},
                     Expect{"tone-44100-vbr.mp3", 1, 3, 44100, 0, true},
                     Expect{"tone-22050-mpeg2.mp3", 2, 3, 22050, 64, false},
                     Expect{"tone-22050-mpeg2-vbr.mp3", 2, 3, 22050, 0, true},
                     Expect{"tone-11025-mpeg25.mp3", 3, 3, 11025, 32, false},
                     Expect{"tone-44100.mp2", 1, 2, 44100, 192, false},
                     Expect{"tone-22050-mpeg2.mp2", 2, 2, 22050, 64, false}}) {
        SCOPED_TRACE(e.file);
        TTntFileStream stream(platform::Utf8ToUtf16(fixtures::Path(e.file)));
        TMpegInfo info;
        ASSERT_EQ(info.ScanStream(stream), mrOk);
        EXPECT_EQ(info.Version, e.version);
        EXPECT_EQ(info.Layer, e.layer);
        EXPECT_EQ(info.SampleRate, e.sampleRate);
        EXPECT_EQ(info.IsVbr, e.vbr);
        if (e.bitrate) {
            EXPECT_EQ(info.Bitrate, e.bitrate);
        }
        EXPECT_EQ(info.Duration, 1); // every tone lasts one second
        EXPECT_GT(info.FrameCount, 15u);
    }
}

// The scan of a stream without frames looks at the stop request between its
// windows: set from another thread, it ends a search that would run to the
// end of a large file.
TEST(MpegScan, TheSearchEndsAtAStopRequest)
{
    TMemoryStream zeros(std::string(size_t(64) << 20, '\0'));
    std::atomic<bool> stop{true};
    TMpegInfo stopped;
    stopped.StopRequest = &stop;
    EXPECT_EQ(stopped.ScanStream(zeros), mrNoMpegFrame);
    EXPECT_LT(zeros.GetPosition(), 4096) << "searched on after the request";

    // Not stopped, the same scan finds the frames behind the zeros.
    TMemoryStream late(std::string(100000, '\0') + MpegFrames(kCbr128, 417, 3));
    stop = false;
    EXPECT_EQ(stopped.ScanStream(late), mrOk);
    EXPECT_EQ(stopped.FirstFramePosition, 100000);
}
