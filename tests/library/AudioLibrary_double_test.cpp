// How the audio library measures files through the engine, against the
// scriptable engine.
#include "library/AudioLibraryExt.h"
#include "tests/support/EngineDouble.h"

#include <gtest/gtest.h>

namespace ed = engine_double;
using ed::Call;

TEST(AudioLibraryEngine, MeasuresWithADecodeOnlyStreamThatIsNeverStarted)
{
    ed::Reset();
    ed::ScriptStream("/music/tone.ogg", 176400 * 3);
    TAudioInfo info;
    TAudioLibrary::ReadStreamInfo("/music/tone.ogg", info);
    HSTREAM h = ed::LastStream();
    EXPECT_EQ(ed::Calls(), (std::vector<Call>{
                               Call("BASS_StreamCreateFile", 0, "/music/tone.ogg", 0, 0, BASS_STREAM_DECODE),
                               Call("BASS_ChannelGetLength", h),
                               Call("BASS_ChannelBytes2Seconds", h, 176400 * 3),
                               Call("BASS_StreamFree", h),
                           }));
    EXPECT_EQ(info.Length, 3);
    EXPECT_EQ(info.Title, "tone");
    EXPECT_EQ(info.FileName, "/music/tone.ogg");
    EXPECT_TRUE(ed::OpenStreams().empty());
}

TEST(AudioLibraryEngine, SecondsAreRoundedHalfToEven)
{
    ed::Reset();
    // 44100 Hz stereo: 176400 bytes a second.
    const std::pair<QWORD, int> cases[] = {{441000, 2}, {617400, 4}, {176400 * 7 / 10, 1}, {0, 0}};
    for (auto [bytes, seconds] : cases) {
        ed::ScriptStream("/m/x.wav", bytes);
        TAudioInfo info;
        TAudioLibrary::ReadStreamInfo("/m/x.wav", info);
        EXPECT_EQ(info.Length, seconds) << bytes;
    }
}

TEST(AudioLibraryEngine, AFileTheEngineRefusesGetsANegativeLength)
{
    ed::Reset();
    ed::ScriptStreamFailure("/m/broken.wav");
    TAudioInfo info;
    info.Artist = "stale";
    TAudioLibrary::ReadInfo("/m/broken.wav", info);
    EXPECT_LT(info.Length, 0);
    EXPECT_EQ(info.Title, "broken");
    EXPECT_EQ(info.Artist, "");
    // Missing .mp3: the file stream's open error sends it to the engine.
    ed::ScriptStream("/m/missing.mp3", 176400);
    TAudioInfo mp3;
    TAudioLibrary::ReadInfo("/m/missing.mp3", mp3);
    EXPECT_EQ(mp3.Length, 1);
    EXPECT_EQ(mp3.Title, "missing");
}
