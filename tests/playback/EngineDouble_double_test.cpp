// The engine double itself: the behaviour other suites rely on when they
// script it.
#include "tests/support/EngineDouble.h"

#include <gtest/gtest.h>

namespace ed = engine_double;

namespace {

struct EndSeen {
    HSYNC sync = 0;
    DWORD channel = 0;
    DWORD data = 99;
    DWORD stateInside = 99;
    std::thread::id thread;
};

void BASS_CALLBACK OnEnd(HSYNC sync, DWORD channel, DWORD data, void *user)
{
    auto *seen = static_cast<EndSeen *>(user);
    seen->sync = sync;
    seen->channel = channel;
    seen->data = data;
    // Calling back into the engine from the sync must not deadlock.
    seen->stateInside = BASS_ChannelIsActive(channel);
    seen->thread = std::this_thread::get_id();
}

class EngineDoubleTest : public ::testing::Test {
protected:
    void SetUp() override { ed::Reset(); }
};

TEST_F(EngineDoubleTest, TransportMovesStateAndPositionLikeTheEngine)
{
    ed::ScriptStream("/music/a.ogg", 10000000);
    HSTREAM s = BASS_StreamCreateFile(FALSE, "/music/a.ogg", 0, 0, 0);
    ASSERT_NE(s, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(s), DWORD(BASS_ACTIVE_STOPPED));
    ed::SetPosition(s, 1234);
    BASS_ChannelPlay(s, FALSE);
    EXPECT_EQ(ed::Position(s), 1234u);
    EXPECT_FALSE(BASS_ChannelSetPosition(s, 10000001));
    EXPECT_TRUE(BASS_ChannelSetPosition(s, 5000000));
    BASS_ChannelPause(s);
    EXPECT_EQ(BASS_ChannelIsActive(s), DWORD(BASS_ACTIVE_PAUSED));
    BASS_ChannelPlay(s, TRUE);
    EXPECT_EQ(BASS_ChannelGetPosition(s), 0u);
    EXPECT_EQ(BASS_ChannelIsActive(s), DWORD(BASS_ACTIVE_PLAYING));
    BASS_ChannelStop(s);
    EXPECT_EQ(BASS_ChannelIsActive(s), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_FALSE(BASS_ChannelPause(s));
    BASS_StreamFree(s);
    EXPECT_FALSE(BASS_ChannelPlay(s, TRUE));

    EXPECT_EQ(ed::CallsTo("BASS_ChannelSetPosition"),
              (std::vector<ed::Call>{{"BASS_ChannelSetPosition", s, 10000001},
                                     ed::Call("BASS_ChannelSetPosition", s, 5000000).Returning(TRUE)}));
    EXPECT_NE(ed::Call("BASS_ChannelPlay", s, TRUE).Returning(TRUE),
              ed::Call("BASS_ChannelPlay", s, TRUE).Returning(FALSE));
    EXPECT_EQ(ed::CallNames().front(), "BASS_StreamCreateFile");
    EXPECT_EQ(ed::CallsTo("BASS_StreamCreateFile").front().ToString(),
              "BASS_StreamCreateFile(0, \"/music/a.ogg\", 0, 0, 0) -> " + std::to_string(s));
}

TEST_F(EngineDoubleTest, EndSyncFromAnotherThreadMayCallTheEngine)
{
    ed::ScriptStream("a.mp3", 4000);
    HSTREAM s = BASS_StreamCreateFile(FALSE, "/x/a.mp3", 0, 0, 0);
    EndSeen seen;
    HSYNC sync = BASS_ChannelSetSync(s, BASS_SYNC_END, 0, OnEnd, &seen);
    BASS_ChannelPlay(s, TRUE);
    ed::FireEndOnNewThread(s).join();
    EXPECT_EQ(seen.sync, sync);
    EXPECT_EQ(seen.channel, s);
    EXPECT_EQ(seen.data, 0u);
    EXPECT_EQ(seen.stateInside, DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_NE(seen.thread, std::this_thread::get_id());
    EXPECT_EQ(ed::Position(s), 4000u);

    BASS_StreamFree(s);
    EXPECT_EQ(ed::FireEnd(s), 0);
    EXPECT_EQ(ed::FireEnd(s, true), 1);
}

} // namespace
