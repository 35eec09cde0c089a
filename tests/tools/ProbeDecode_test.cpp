#include "Probe.h"
#include "tests/support/Fixtures.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace {

// The samples of a plain 16-bit WAV file: its "data" chunk.
std::string WavData(const std::string &wav)
{
    for (size_t at = 12; at + 8 <= wav.size();) {
        const uint32_t size = uint8_t(wav[at + 4]) | uint8_t(wav[at + 5]) << 8 | uint8_t(wav[at + 6]) << 16 |
                              uint32_t(uint8_t(wav[at + 7])) << 24;
        if (wav.compare(at, 4, "data") == 0)
            return wav.substr(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return {};
}

} // namespace

// A 16-bit WAV file decodes to exactly its own samples, and the line tells
// their format and count and the engine's end-of-data code.
TEST(ProbeDecode, SixteenBitWavDecodesToItsOwnSamples)
{
    fixtures::TempDir dir;
    const std::string out = dir.path() + "tone.raw";
    const std::string wav = fixtures::Path("tone-44100-stereo.wav");
    const std::string data = WavData(fixtures::ReadFile(wav));
    ASSERT_EQ(data.size(), 44100u * 4);
    EXPECT_EQ(ProbeDecode(wav, out), "{\"file\": " + JsonString(wav) +
                                         ", \"rate\": 44100, \"channels\": 2, \"frames\": 44100, \"end\": 45}\n");
    EXPECT_TRUE(fixtures::ReadFile(out) == data);
}

// A file the engine does not open gives its error code and writes nothing.
TEST(ProbeDecode, AFileThatDoesNotOpenGivesTheEnginesError)
{
    fixtures::TempDir dir;
    const std::string text = dir.Write("notes.wav", "no sound here");
    EXPECT_EQ(ProbeDecode(dir.path() + "missing.wav", dir.path() + "a.raw"),
              "{\"file\": " + JsonString(dir.path() + "missing.wav") + ", \"error\": 2}\n");
    EXPECT_EQ(ProbeDecode(text, dir.path() + "b.raw"), "{\"file\": " + JsonString(text) + ", \"error\": 41}\n");
    EXPECT_THROW(fixtures::ReadFile(dir.path() + "a.raw"), std::exception);
}
