// The playlist with real folders, the real engine controller and the real
// audio library.
#include "library/AudioLibraryExt.h"
#include "platform/Folders.h"
#include "playback/BassExt.h"
#include "playback/PlaylistExt.h"
#include "tests/support/Fixtures.h"
#include "tests/support/PosixOnly.h"
#include "tests/support/TestHooks.h"

#include "bass.h"

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class PlaylistTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BASS_Init(0, 44100, 0, nullptr, nullptr); }

    testing_hooks::TestMainThread main;
    fixtures::TempDir dir;
    TBassController controller{dir.path() + "no-plugins/"};
    TAudioLibrary library;
    TPlaylist playlist;
    int changes = 0;
    std::vector<std::string> announced;

    void SetUp() override
    {
        BassController = &controller;
        AudioLibrary = &library;
        playlist.OnChange = [this](TPlaylist *sender) {
            EXPECT_EQ(sender, &playlist);
            ++changes;
        };
        library.SetOnInfoReady(
            [this](TAudioLibrary *, const TAudioInfo *info) { announced.push_back(info->FileName); });
    }

    void TearDown() override
    {
        AudioLibrary = nullptr;
        BassController = nullptr;
    }

    std::vector<std::string> Files() const
    {
        std::vector<std::string> files;
        for (int i = 0; i < playlist.Count(); ++i)
            files.push_back(playlist.Items(i));
        return files;
    }

    // Pumps until count files have been announced, and a while longer.
    void Announced(size_t count)
    {
        EXPECT_TRUE(main.RunUntil([&] { return announced.size() >= count; }));
        main.RunUntil([] { return false; }, 300ms);
    }
};

} // namespace

TEST_F(PlaylistTest, AddRefusesAPathPresentInAnyLetterCase)
{
    std::string song = dir.Copy("short-0.3s.wav", "Lied.wav");
    playlist.Add(song);
    EXPECT_EQ(changes, 1);
    playlist.Add(dir.path() + "LIED.WAV");
    playlist.Add(song);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(Files(), std::vector<std::string>{song});
    EXPECT_EQ(playlist.IndexOf(dir.path() + "lied.wav"), 0);
    EXPECT_EQ(playlist.IndexOf(dir.path() + "other.wav"), -1);
    Announced(1);
    EXPECT_EQ(announced, std::vector<std::string>{song});
}

TEST_F(PlaylistTest, AssignKeepsDuplicatesAndQueuesEveryFile)
{
    // Two spellings of one name are two files here; the folder lists both.
    // (Windows' file names ignore case: there they are one file.)
    KLANG_POSIX_ONLY();
    std::string lower = dir.Copy("short-0.3s.wav", "lied.wav");
    std::string upper = dir.Copy("short-0.3s-b.wav", "LIED.wav");
    TPlaylist source;
    source.LoadFolder(dir.path());
    ASSERT_EQ(source.Count(), 2);
    Announced(2);
    announced.clear();

    playlist.Assign(source);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(Files(), (std::vector<std::string>{source.Items(0), source.Items(1)}));
    EXPECT_EQ(playlist.IndexOf(upper), 0);
    Announced(2); // both queued again and announced from their records
    EXPECT_EQ(announced, Files());

    playlist.Assign(playlist);
    EXPECT_EQ(playlist.Count(), 2);
    EXPECT_EQ(changes, 2);
}

TEST_F(PlaylistTest, LoadFolderTakesTheVisibleSupportedFilesInListingOrder)
{
    KLANG_POSIX_ONLY();
    dir.Copy("short-0.3s.wav", "eins.wav");
    dir.Copy("tone-44100-stereo.ogg", "zwei.OGG");
    dir.Copy("tone-44100-cbr128.mp3", "drei.mp3");
    dir.Write("notes.txt", "text");
    dir.Copy("short-0.3s.wav", ".hidden.wav");
    dir.Copy("short-0.3s.wav", "sub.wav/inner.wav");
    ASSERT_EQ(mkfifo((dir.path() + "pipe.mp3").c_str(), 0644), 0);
    ASSERT_EQ(chmod((dir.path() + "drei.mp3").c_str(), 0444), 0); // read-only is allowed

    std::vector<std::string> expected;
    for (const auto &e : platform::ListFolder(dir.path()))
        if (e.name == "eins.wav" || e.name == "zwei.OGG" || e.name == "drei.mp3")
            expected.push_back(dir.path() + e.name);

    playlist.Add("/somewhere/else.wav");
    changes = 0;
    playlist.LoadFolder(dir.path());
    EXPECT_EQ(Files(), expected);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(main.WaitCursorShows(), 1);
    EXPECT_EQ(main.WaitCursorDepth(), 0);
    Announced(3);
    EXPECT_EQ(announced, expected);

    // The path of a file in the folder lists the same folder.
    playlist.LoadFolder(dir.path() + "drei.mp3");
    EXPECT_EQ(Files(), expected);
}

TEST_F(PlaylistTest, AFolderListedInTheBackgroundArrivesLaterUnlessTheListChangesFirst)
{
    dir.Copy("short-0.3s.wav", "eins.wav");
    dir.Copy("tone-44100-cbr128.mp3", "drei.mp3");
    dir.Write("notes.txt", "text");
    std::vector<std::vector<std::string>> shown;
    playlist.OnChange = [&](TPlaylist *) { shown.push_back(Files()); };

    // The same files as listed on the spot, queued as well, under the wait
    // cursor until they arrive.
    playlist.LoadFolderInBackground(dir.path() + "drei.mp3");
    EXPECT_TRUE(playlist.Loading());
    EXPECT_EQ(main.WaitCursorDepth(), 1);
    ASSERT_TRUE(main.RunUntil([&] { return !playlist.Loading(); }));
    EXPECT_EQ(main.WaitCursorDepth(), 0);
    Announced(2);
    playlist.LoadFolder(dir.path());
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], shown[1]);
    EXPECT_EQ(shown[0].size(), 2u);
    std::vector<std::string> sorted = announced, listed = shown[0];
    std::sort(sorted.begin(), sorted.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(sorted, listed);

    // Any change before the result drops it.
    TPlaylist other;
    other.Add(dir.path() + "eins.wav");
    const std::vector<std::function<void()>> changes{
        [&] { playlist.Clear(); }, [&] { playlist.Add("/a.wav"); }, [&] { playlist.Assign(other); },
        [&] { playlist.LoadFolder(dir.path() + "missing/"); }};
    for (const auto &change : changes) {
        playlist.Clear();
        shown.clear();
        playlist.LoadFolderInBackground(dir.path());
        change();
        EXPECT_FALSE(playlist.Loading());
        EXPECT_EQ(main.WaitCursorDepth(), 0);
        EXPECT_FALSE(main.RunUntil([&] { return shown.size() > 1; }, 500ms));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_LE(shown[0].size(), 1u);
    }
}

TEST_F(PlaylistTest, LoadFolderTakesTheFilesInTheOrderWindowsListsThem)
{
    KLANG_POSIX_ONLY();
    const fixtures::NtfsNames names = fixtures::NamesInNtfsOrder();
    for (const std::string &name : names.Created) {
        dir.Write(name + ".wav", "x");
        dir.Write(name + ".txt", "x");
    }
    std::vector<std::string> expected;
    for (const std::string &name : names.Listed)
        expected.push_back(dir.path() + name + ".wav");
    playlist.LoadFolder(dir.path());
    EXPECT_EQ(Files(), expected);
    // The library reads them in the same order.
    Announced(expected.size());
    EXPECT_EQ(announced, expected);
}

TEST_F(PlaylistTest, LoadFolderWithNothingToListStillNotifies)
{
    playlist.Add(dir.Copy("short-0.3s.wav", "a.wav"));
    changes = 0;
    playlist.LoadFolder(dir.path() + "missing/");
    EXPECT_EQ(playlist.Count(), 0);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(main.WaitCursorShows(), 0);

    std::string empty = dir.Mkdir("empty");
    dir.Write("empty/.hidden.wav", "x");
    playlist.LoadFolder(empty);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(main.WaitCursorShows(), 0);

    // Something listed but nothing supported: the cursor all the same.
    std::string texts = dir.Mkdir("texts");
    dir.Write("texts/readme.txt", "x");
    playlist.LoadFolder(texts);
    EXPECT_EQ(playlist.Count(), 0);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(main.WaitCursorShows(), 1);
    EXPECT_EQ(main.WaitCursorDepth(), 0);
}

TEST_F(PlaylistTest, ClearAndItemsOutOfRange)
{
    playlist.Clear();
    EXPECT_EQ(changes, 1);
    try {
        playlist.Items(0);
        FAIL() << "no error";
    } catch (const std::out_of_range &e) {
        EXPECT_STREQ(e.what(), "Listenindex überschreitet das Maximum (0)");
    }
    playlist.Add("/a.wav");
    EXPECT_THROW(playlist.Items(-1), std::out_of_range);
    try {
        playlist.Items(7);
    } catch (const std::out_of_range &e) {
        EXPECT_STREQ(e.what(), "Listenindex überschreitet das Maximum (7)");
    }
    EXPECT_EQ(playlist.Items(0), "/a.wav");
}

TEST_F(PlaylistTest, WithoutALibraryNothingIsQueued)
{
    AudioLibrary = nullptr;
    playlist.Add(dir.Copy("short-0.3s.wav", "a.wav"));
    dir.Copy("short-0.3s.wav", "b.wav");
    playlist.LoadFolder(dir.path());
    EXPECT_EQ(playlist.Count(), 2);
    main.RunUntil([] { return false; }, 200ms);
    EXPECT_TRUE(announced.empty());
}
