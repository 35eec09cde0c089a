// The engine controller against the engine double: version check, device,
// plug-in folder, extensions, dialog filter and the extension test.
#include "platform/Names.h"
#include "playback/BassExt.h"
#include "tests/support/EngineDouble.h"
#include "tests/support/Fixtures.h"
#include "tests/support/PosixOnly.h"
#include "tests/support/TestHooks.h"

#include "platform/Hooks.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace ed = engine_double;

namespace {

// A shared library's file name on this system.
std::string Lib(const char *stem)
{
    return std::string(stem) + platform::SharedLibrarySuffix;
}

const std::string A = "*.wav; *.mp3; *.mp2; *.mp1; *.ogg; *.ogv; *.oga; *.ogx; *.ogm; *.aif; *.aiff";
const std::string F =
    "|RIFF WAVE (*.wav)|*.wav|MPEG Audio Layer (*.mp3; *.mp2; *.mp1)|*.mp3; *.mp2; *.mp1|Ogg "
    "(*.ogg; *.ogv; *.oga; *.ogx; *.ogm)|*.ogg; *.ogv; *.oga; *.ogx; *.ogm|Audio Interchange "
    "File Format (*.aif; *.aiff)|*.aif; *.aiff";
const std::vector<std::string> BuiltIns = {".mp3", ".mp2", ".mp1", ".ogg", ".wav", ".aif"};

std::string FilterWith(const std::string &extraPatterns, const std::string &extraEntries)
{
    std::string all = A + extraPatterns;
    return "Alle unterstützten Dateien (" + all + ")|" + all + "|Alle Dateien (*.*)|*.*" + F + extraEntries;
}

std::vector<std::string> BuiltInsAnd(std::vector<std::string> more)
{
    std::vector<std::string> all = BuiltIns;
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

class BassControllerTest : public ::testing::Test {
protected:
    void SetUp() override { ed::Reset(); }

    // A plug-in file in the folder that the double accepts with these formats.
    void Plugin(const std::string &name, std::vector<ed::PluginFormat> formats)
    {
        ed::AddPlugin(folder.Write(name, "\x7f"
                                         "ELF"),
                      std::move(formats));
    }

    testing_hooks::TestMainThread mainThread;
    fixtures::TempDir folder;
};

TEST_F(BassControllerTest, WithoutPluginsOnlyTheBuiltInFormats)
{
    TBassController controller(folder.path());
    EXPECT_EQ(controller.Filter, FilterWith("", ""));
    EXPECT_EQ(controller.Extensions, BuiltIns);

    TBassController noFolder(folder.path() + "missing/");
    EXPECT_EQ(noFolder.Filter, FilterWith("", ""));
    EXPECT_EQ(noFolder.Extensions, BuiltIns);
}

TEST_F(BassControllerTest, InitialisesTheDefaultDeviceWithoutComplaint)
{
    ed::SetInitResult(FALSE);
    TBassController controller(folder.path());
    auto calls = ed::Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], ed::Call("BASS_GetVersion"));
    EXPECT_EQ(calls[1], ed::Call("BASS_Init", -1, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(mainThread.Boxes().empty());
    EXPECT_FALSE(platform::TerminateRequested());
}

TEST_F(BassControllerTest, OneFlacPluginAddsItsExtensionAndFilterEntry)
{
    Plugin(Lib("bassflac"), {{0x10900, "FLAC", "*.flac"}});
    TBassController controller(folder.path());
    EXPECT_EQ(controller.Extensions, BuiltInsAnd({".flac"}));
    EXPECT_EQ(controller.Filter, FilterWith("; *.flac", "|FLAC (*.flac)|*.flac"));
    EXPECT_EQ(ed::CallsTo("BASS_PluginLoad"),
              (std::vector<ed::Call>{{"BASS_PluginLoad", folder.path() + Lib("bassflac"), 0}}));
}

TEST_F(BassControllerTest, PatternListsWithAndWithoutBlanks)
{
    Plugin(Lib("bassmulti"),
           {{1, "Tracker", "*.mod;*.xm;*.it"}, {2, "Empty", ""}, {3, "Spaced", "  *.ape ; *.mac\t*.apl;; "}});
    TBassController controller(folder.path());
    EXPECT_EQ(controller.Extensions, BuiltInsAnd({".mod", ".xm", ".it", ".ape", ".mac", ".apl"}));
    EXPECT_EQ(controller.Filter, FilterWith("; *.mod; *.xm; *.it; *.ape; *.mac; *.apl",
                                            "|Tracker (*.mod; *.xm; *.it)|*.mod; *.xm; *.it|Empty ()|"
                                            "|Spaced (*.ape; *.mac; *.apl)|*.ape; *.mac; *.apl"));
}

TEST_F(BassControllerTest, OnlyBassSharedLibrariesAreTriedAndRefusedOnesSkipped)
{
    KLANG_POSIX_ONLY();
    folder.Write(Lib("bass"), "engine");     // the engine itself: no plug-in entry
    folder.Write(Lib("bassnot"), "garbage"); // refused by the engine
    folder.Write(std::string("notbass") + platform::SharedLibrarySuffix, "x");
    folder.Write(Lib("bassflac") + ".bak", "x");
    folder.Write("BASSX.SO", "x");
    folder.Mkdir(Lib("bassdir"));
    ASSERT_EQ(mkfifo((folder.path() + Lib("bassfifo")).c_str(), 0600), 0);
    Plugin(Lib("bassopus"), {{0, "Opus", "*.opus"}});

    TBassController controller(folder.path());
    EXPECT_EQ(controller.Extensions, BuiltInsAnd({".opus"}));
    EXPECT_EQ(controller.Filter, FilterWith("; *.opus", "|Opus (*.opus)|*.opus"));

    std::vector<std::string> tried;
    for (const ed::Call &call : ed::CallsTo("BASS_PluginLoad"))
        tried.push_back(call.args[0].ToString());
    std::sort(tried.begin(), tried.end());
    EXPECT_EQ(tried, (std::vector<std::string>{"\"" + folder.path() + Lib("bass") + "\"",
                                               "\"" + folder.path() + Lib("bassnot") + "\"",
                                               "\"" + folder.path() + Lib("bassopus") + "\""}));
    EXPECT_EQ(ed::CallsTo("BASS_PluginGetInfo").size(), 1u);
    EXPECT_TRUE(mainThread.Boxes().empty());
}

TEST_F(BassControllerTest, WrongVersionIsReportedButStartUpGoesOn)
{
    ed::SetVersion(0x02020000);
    Plugin(Lib("bassflac"), {{0, "FLAC", "*.flac"}});
    TBassController controller(folder.path());

    auto boxes = mainThread.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Fehler beim Initialisieren");
    EXPECT_EQ(boxes[0].text, "Die notwendige Bibilothek 'Bass Version 2.3' wurde nicht gefunden.");
    EXPECT_TRUE(platform::TerminateRequested());
    EXPECT_EQ(ed::CallsTo("BASS_Init").size(), 1u);
    EXPECT_EQ(controller.Extensions, BuiltInsAnd({".flac"}));
}

TEST_F(BassControllerTest, ExtensionTestIgnoresCaseAndLooksAtTheLastElementOnly)
{
    Plugin(Lib("bassflac"), {{0, "FLAC", "*.flac"}});
    TBassController controller(folder.path());
    EXPECT_TRUE(controller.IsSupportedFile("/music/Song.MP3"));
    EXPECT_TRUE(controller.IsSupportedFile("/music/live.set.Flac"));
    EXPECT_TRUE(controller.IsSupportedFile("/music/a.wav"));
    EXPECT_FALSE(controller.IsSupportedFile("/music/a.aiff"));
    EXPECT_FALSE(controller.IsSupportedFile("/music/a.ogm"));
    EXPECT_FALSE(controller.IsSupportedFile("/music/album.mp3/track"));
    EXPECT_FALSE(controller.IsSupportedFile("/music/a.mp3.txt"));
    EXPECT_FALSE(controller.IsSupportedFile(""));
}

} // namespace
