// The plug-in loader: accepts real plug-ins, rejects and unloads anything
// else, and offers files the built-in decoders do not take to plug-ins.
#include "EngineTest.h"

#include "platform/Names.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

using namespace enginetest;

namespace {

// A test plug-in by its name without the shared-library suffix.
std::string PluginPath(const char *name)
{
    return std::string(KLANG_TEST_PLUGIN_DIR) + "/" + name + platform::SharedLibrarySuffix;
}

#if defined(_WIN32)
bool Loaded(const std::string &path)
{
    return GetModuleHandleA(path.c_str()) != nullptr;
}

// The file the engine was loaded from.
std::string EngineFile()
{
    HMODULE engine = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&BASS_Init), &engine);
    char name[MAX_PATH] = {};
    GetModuleFileNameA(engine, name, MAX_PATH);
    return name;
}
#else
bool Loaded(const std::string &path)
{
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h)
        dlclose(h);
    return h != nullptr;
}

std::string EngineFile()
{
    Dl_info self{};
    return dladdr(reinterpret_cast<void *>(&BASS_Init), &self) ? self.dli_fname : "";
}
#endif

TEST_F(EngineTest, PluginLoaderAcceptsPluginsAndRejectsOtherFiles)
{
    HPLUGIN sine = BASS_PluginLoad(PluginPath("basssine").c_str(), 0);
    ASSERT_NE(sine, 0u) << BASS_ErrorGetCode();
    const BASS_PLUGININFO *info = BASS_PluginGetInfo(sine);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->version, 0x0100u);
    ASSERT_EQ(info->formatc, 1u);
    EXPECT_STREQ(info->formats[0].name, "Klang sine");
    EXPECT_STREQ(info->formats[0].exts, "*.sine;*.klangsine");
    EXPECT_EQ(BASS_PluginLoad(PluginPath("basssine").c_str(), 0), sine)
        << "loading twice gives the same handle";

    for (const char *name : {"bassbadapi", "bassnoentry"}) {
        EXPECT_EQ(BASS_PluginLoad(PluginPath(name).c_str(), 0), 0u) << name;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
        EXPECT_FALSE(Loaded(PluginPath(name))) << name << " stayed loaded";
    }
    fixtures::TempDir dir;
    EXPECT_EQ(
        BASS_PluginLoad(
            dir.Write(std::string("bassjunk") + platform::SharedLibrarySuffix, "not a library").c_str(), 0),
        0u);
    EXPECT_EQ(BASS_PluginLoad((dir.path() + "missing" + platform::SharedLibrarySuffix).c_str(), 0), 0u);
    EXPECT_EQ(BASS_PluginLoad(nullptr, 0), 0u);

    // The engine library itself is no plug-in.
    const std::string engine = EngineFile();
    ASSERT_FALSE(engine.empty());
    EXPECT_EQ(BASS_PluginLoad(engine.c_str(), 0), 0u);
    EXPECT_NE(BASS_GetVersion(), 0u) << "rejecting the engine must not unload it";

    EXPECT_EQ(BASS_PluginGetInfo(0), nullptr);
    EXPECT_EQ(BASS_PluginGetInfo(sine + 100), nullptr);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(EngineTest, FilesNoBuiltInDecoderTakesGoToPlugins)
{
    ASSERT_NE(BASS_PluginLoad(PluginPath("basssine").c_str(), 0), 0u);
    fixtures::TempDir dir;
    // The name does not matter; the content decides.
    std::string path = dir.Write("tone.mp3", "KLANGSINE 22050 2 11025 440 0");
    HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_ChannelGetLength(h), 11025u * 4);
    std::vector<int16_t> all = ReadAll(h);
    ASSERT_EQ(all.size(), 11025u * 2);
    EXPECT_NEAR(ZeroCrossingFrequency(ChannelOf(all, 2, 0, 0, 11025), 22050), 440, 4);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 5000 * 4));
    std::vector<int16_t> part(200);
    ASSERT_EQ(BASS_ChannelGetData(h, part.data(), 400), 400u);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin() + 10000));

    // A plug-in stream plays like any other, resampled to the output rate.
    HSTREAM play = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_NE(play, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(play, TRUE));
    EXPECT_TRUE(
        WaitFor([&] { return BASS_ChannelIsActive(play) == BASS_ACTIVE_STOPPED; }, std::chrono::seconds(10)));
    EXPECT_EQ(BASS_ChannelGetPosition(play), 11025u * 4);

    EXPECT_EQ(BASS_StreamCreateFile(FALSE, dir.Write("other.txt", "KLANGSINX 1 2 3 4 5").c_str(), 0, 0, 0),
              0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
}

TEST_F(EngineTest, ChannelStallsWhenTheDecoderFallsBehind)
{
    ASSERT_NE(BASS_PluginLoad(PluginPath("basssine").c_str(), 0), 0u);
    fixtures::TempDir dir;
    // Every read takes 150 ms for 93 ms of sound.
    std::string path = dir.Write("slow.sine", "KLANGSINE 44100 2 20000 440 150");
    HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    std::atomic<int> ends{0};
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CountEnd, &ends), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    EXPECT_TRUE(
        WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STALLED; }, std::chrono::seconds(10)));
    // It plays on as data comes, and ends with everything played.
    EXPECT_TRUE(WaitFor([&] { return ends.load() == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(BASS_ChannelGetPosition(h), 20000u * 4);
}

} // namespace
