// Empty, truncated, corrupt and hostile files: they fail to open with an
// error code, or decode as far as they go and then end.
#include "EngineTest.h"

#include <cstdio>
#include <cstring>
#include <random>

using namespace enginetest;
using namespace std::chrono;

namespace {

std::string RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char &c : s)
        c = static_cast<char>(rng());
    return s;
}

std::string Le32(uint32_t v)
{
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// A 16-bit stereo WAV header whose data chunk claims bytes it does not have.
std::string WavClaiming(uint32_t dataBytes, const std::string &data)
{
    std::string fmt = Le32(16) + std::string("\x01\x00\x02\x00", 4) + Le32(44100) + Le32(44100 * 4) +
                      std::string("\x04\x00\x10\x00", 4);
    return "RIFF" + Le32(dataBytes + 36) + "WAVEfmt " + fmt + "data" + Le32(dataBytes) + data;
}

// Corrupts one byte in the middle of the Ogg page that starts after offset.
std::string BreakOggPage(std::string ogg, size_t after)
{
    size_t page = ogg.find("OggS", after);
    if (page != std::string::npos && page + 100 < ogg.size())
        ogg[page + 60] = static_cast<char>(ogg[page + 60] ^ 0x5A);
    return ogg;
}

struct Input {
    std::string name;
    std::string bytes;
    bool mayOpen; // decodes partly (truncated or damaged real audio)
};

std::vector<Input> Corpus()
{
    std::string mp3 = fixtures::ReadFile(fixtures::Path("tone-44100-cbr128.mp3"));
    std::string ogg = fixtures::ReadFile(fixtures::Path("tone-44100-4s.ogg"));
    std::string wav = fixtures::ReadFile(fixtures::Path("tone-44100-stereo.wav"));
    std::string aif = fixtures::ReadFile(fixtures::Path("tone-44100-stereo.aif"));
    std::vector<Input> c = {
        {"empty.mp3", "", false},
        {"empty.wav", "", false},
        {"zeros.mp3", std::string(70000, '\0'), false},
        {"ones.mp3", std::string(70000, '\xff'), false},
        {"random.mp3", RandomBytes(100000, 1), false},
        {"random.ogg", RandomBytes(50000, 2), false},
        {"random.wav", RandomBytes(50000, 3), false},
        {"random-riff.wav", "RIFF" + RandomBytes(40000, 4), false},
        {"oggs-junk.ogg", "OggS" + RandomBytes(40000, 5), false},
        {"id3-only.mp3", std::string("ID3\x04\x00\x00\x00\x00\x02\x00", 10) + std::string(256, '\0'), false},
        {"id3-huge.mp3", std::string("ID3\x04\x00\x00\x7f\x7f\x7f\x7f", 10) + RandomBytes(1000, 6), false},
        {"header-only.wav", wav.substr(0, 44), true},
        {"wav-4gib.wav", WavClaiming(0xFFFFFFF0u, wav.substr(44, 40000)), true},
        {"wav-odd.wav", WavClaiming(0xFFFFFFF0u, wav.substr(44, 40001)), true},
        {"mp3-cut-in-frame.mp3", mp3.substr(0, mp3.size() / 2 + 97), true},
        {"mp3-head.mp3", mp3.substr(0, 1000), true},
        {"mp3-damaged.mp3", mp3.substr(0, 3000) + RandomBytes(2000, 7) + mp3.substr(5000), true},
        {"ogg-bad-crc.ogg", BreakOggPage(ogg, ogg.size() / 2), true},
        {"ogg-cut.ogg", ogg.substr(0, ogg.size() * 3 / 4 + 33), true},
        {"ogg-headers-cut.ogg", ogg.substr(0, 300), false},
        {"aif-cut.aif", aif.substr(0, aif.size() / 3 + 1), true},
        {"wav-as-mp3.mp3", wav, true},
    };
    return c;
}

TEST_F(EngineTest, HostileFilesFailOrDecodeToAnEnd)
{
    fixtures::TempDir dir;
    for (const Input &in : Corpus()) {
        SCOPED_TRACE(in.name);
        std::string path = dir.Write(in.name, in.bytes);
        HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        if (!h) {
            int error = BASS_ErrorGetCode();
            EXPECT_TRUE(error == BASS_ERROR_FILEFORM || error == BASS_ERROR_FILEOPEN) << error;
            continue;
        }
        EXPECT_TRUE(in.mayOpen) << "opened as audio";
        if (in.name.find("ogg") == 0) {
            // The damaged page is lost, the pages around it are not.
            EXPECT_GT(BASS_ChannelGetLength(h), 44100u * 4);
        }
        QWORD length = BASS_ChannelGetLength(h);
        ASSERT_NE(length, QWORD(-1));
        auto start = steady_clock::now();
        std::vector<int16_t> all = ReadAll(h);
        EXPECT_LT(duration<double>(steady_clock::now() - start).count(), 2.0);
        EXPECT_LE(all.size() * 2, length) << "decoded past the length";
        int16_t tail[64];
        EXPECT_EQ(BASS_ChannelGetData(h, tail, sizeof tail), 0u);
        std::printf("  %-22s opened: %llu bytes long, %zu decoded\n", in.name.c_str(),
                    static_cast<unsigned long long>(length), all.size() * 2);
        EXPECT_TRUE(BASS_ChannelSetPosition(h, 0) || BASS_ErrorGetCode() == BASS_ERROR_POSITION);
        EXPECT_TRUE(BASS_StreamFree(h));
    }
}

TEST_F(EngineTest, DamagedFilesPlayToTheirEndAndSync)
{
    fixtures::TempDir dir;
    for (const Input &in : Corpus()) {
        if (!in.mayOpen)
            continue;
        SCOPED_TRACE(in.name);
        HSTREAM h = BASS_StreamCreateFile(FALSE, dir.Write(in.name, in.bytes).c_str(), 0, 0, 0);
        if (!h)
            continue;
        std::atomic<int> ends{0};
        BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CountEnd, &ends);
        QWORD length = BASS_ChannelGetLength(h);
        // The last half second, where truncated files break off.
        QWORD tail = QWORD(44100) * 4 / 2;
        if (length > tail)
            BASS_ChannelSetPosition(h, (length - tail) & ~QWORD(3));
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
        // A 4 GiB claim ends where the data does, not hours later.
        EXPECT_TRUE(WaitFor([&] { return ends.load() == 1; }, milliseconds(5000)));
        EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
        EXPECT_LE(BASS_ChannelGetPosition(h), length);
        BASS_StreamFree(h);
    }
}

TEST_F(EngineTest, RandomBytesNeverDecodeAsMpeg)
{
    fixtures::TempDir dir;
    for (unsigned seed = 10; seed < 60; ++seed) {
        std::string path =
            dir.Write("noise" + std::to_string(seed) + ".mp3", RandomBytes(20000 + seed * 97, seed));
        HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        EXPECT_EQ(h, 0u) << "seed " << seed;
        if (h)
            BASS_StreamFree(h);
    }
}

} // namespace
