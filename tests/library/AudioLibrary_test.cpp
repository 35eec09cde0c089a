// The audio library with real files on disk and the real engine on the
// no-sound device.
#include "library/AudioLibraryExt.h"
#include "platform/Hooks.h"
#include "tests/support/Fixtures.h"
#include "tests/support/HostileCorpus.h"
#include "tests/support/Id3Writer.h"
#include "tests/support/PosixOnly.h"
#include "tests/support/TestHooks.h"

#include "bass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#include <sched.h>
#endif
#include <set>
#include <thread>

using namespace std::chrono_literals;

namespace {

class AudioLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BASS_Init(0, 44100, 0, nullptr, nullptr); }

    testing_hooks::TestMainThread main;
    fixtures::TempDir dir;
    std::unique_ptr<TAudioLibrary> library = std::make_unique<TAudioLibrary>();
    std::vector<const TAudioInfo *> announced;

    void SetUp() override
    {
        library->SetOnInfoReady([this](TAudioLibrary *sender, const TAudioInfo *info) {
            EXPECT_EQ(sender, library.get());
            EXPECT_TRUE(platform::IsMainThread());
            announced.push_back(info);
        });
    }

    bool WaitForAnnouncements(size_t count)
    {
        return main.RunUntil([&] { return announced.size() >= count; });
    }

    // Waits for the worker without running the main thread's tasks.
    static bool Eventually(const std::function<bool()> &done)
    {
        for (int i = 0; i < 10000 && !done(); ++i)
            std::this_thread::sleep_for(2ms);
        return done();
    }

    // Pumps a while longer, to see that nothing else arrives.
    void Settle()
    {
        main.RunUntil([] { return false; }, 300ms);
    }

    std::vector<std::string> AnnouncedNames() const
    {
        std::vector<std::string> names;
        for (auto *info : announced)
            names.push_back(info->FileName);
        return names;
    }

    static std::string Mp3Audio() { return fixtures::ReadFile(fixtures::Path("tone-44100-cbr128.mp3")); }
};

// A gate a test reader waits at, so that the worker holds still while the
// test arranges the queue behind it.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool reached = false;
    bool open = false;
    void Wait()
    {
        std::unique_lock lock(mutex);
        reached = true;
        cv.notify_all();
        cv.wait(lock, [&] { return open; });
    }
    void AwaitReached()
    {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return reached; });
    }
    void Open()
    {
        std::lock_guard lock(mutex);
        open = true;
        cv.notify_all();
    }
};

} // namespace

TEST_F(AudioLibraryTest, QueuedFilesAreAnnouncedOncePerFileInQueueOrder)
{
    std::vector<std::string> files = {
        dir.Copy("tone-44100-stereo.wav", "b.wav"), dir.Copy("tone-44100-stereo.ogg", "a.ogg"),
        dir.Copy("tone-44100-cbr128.mp3", "c.mp3"), dir.Copy("tone-44100-stereo.aif", "d.aif"),
        dir.Copy("tone-44100.mp2", "e.mp2"),        dir.Copy("tone-22050-mono.wav", "Live.Set.wav")};
    for (const auto &f : files)
        library->QueueFile(f, -1);
    ASSERT_TRUE(WaitForAnnouncements(files.size()));
    Settle();
    EXPECT_EQ(AnnouncedNames(), files);
    for (auto *info : announced) {
        EXPECT_EQ(info->Length, 1) << info->FileName;
        EXPECT_EQ(info->Artist, "");
        EXPECT_EQ(info, library->GetInfo(info->FileName)); // stored, not read again
    }
    EXPECT_EQ(announced[0]->Title, "b");
    EXPECT_EQ(announced[5]->Title, "Live.Set");
    EXPECT_EQ(announced.size(), files.size());
}

TEST_F(AudioLibraryTest, GetInfoReadsOnceAndAnnouncesOnTheCallingThread)
{
    std::string file = dir.Copy("tone-44100-stereo.wav", "x.wav");
    const TAudioInfo *info = library->GetInfo(file);
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(announced.size(), 1u); // at once, without pumping
    EXPECT_EQ(announced[0], info);
    EXPECT_EQ(info->FileName, file);
    EXPECT_EQ(info->Title, "x");
    EXPECT_EQ(info->Length, 1);

    EXPECT_EQ(library->GetInfo(file), info);
    Settle();
    EXPECT_EQ(announced.size(), 1u);
}

TEST_F(AudioLibraryTest, AKnownFileIsAnnouncedAgainWithoutBeingRead)
{
    std::string file = dir.Copy("tone-44100-stereo.wav", "x.wav");
    const TAudioInfo *info = library->GetInfo(file);
    std::atomic<int> reads{0};
    library->SetReader([&](const std::string &name, TAudioInfo &out) {
        ++reads;
        TAudioLibrary::ReadInfo(name, out);
    });
    library->QueueFile(file, -1);
    ASSERT_TRUE(WaitForAnnouncements(2));
    library->QueueFile(file, -1); // again after it has been scanned
    ASSERT_TRUE(WaitForAnnouncements(3));
    Settle();
    EXPECT_EQ(reads, 0);
    EXPECT_EQ(announced, (std::vector<const TAudioInfo *>{info, info, info}));
}

TEST_F(AudioLibraryTest, ProcessFileStoresOnceAndLeavesTheAnnouncementToItsCaller)
{
    std::string file = dir.Copy("short-0.3s.wav", "x.wav");
    std::string bad = dir.Copy("short-0.3s.wav", "bad.wav");
    std::atomic<int> reads{0};
    library->SetReader([&](const std::string &name, TAudioInfo &out) {
        ++reads;
        if (name == bad)
            throw std::runtime_error("Lesefehler");
        TAudioLibrary::ReadInfo(name, out);
    });
    const TAudioInfo *info = library->ProcessFile(file);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->FileName, file);
    EXPECT_EQ(library->ProcessFile(file), info);
    EXPECT_EQ(library->GetInfo(file), info);
    EXPECT_EQ(reads, 1);

    EXPECT_THROW(library->ProcessFile(bad), std::runtime_error);
    EXPECT_THROW(library->GetInfo(bad), std::runtime_error); // nothing was stored
    EXPECT_EQ(reads, 3);
    Settle();
    EXPECT_TRUE(announced.empty());
    EXPECT_TRUE(main.Boxes().empty()); // the worker shows the box, not ProcessFile
}

TEST_F(AudioLibraryTest, AFileWaitingIsQueuedOnceAndAnotherPriorityMovesIt)
{
    Gate gate;
    std::string first = dir.Copy("short-0.3s.wav", "first.wav");
    library->SetReader([&](const std::string &name, TAudioInfo &out) {
        if (name == first)
            gate.Wait();
        TAudioLibrary::ReadInfo(name, out);
    });
    library->QueueFile(first, -1);
    gate.AwaitReached();
    std::string x = dir.Copy("short-0.3s.wav", "x.wav");
    std::string y = dir.Copy("short-0.3s.wav", "y.wav");
    std::string z = dir.Copy("short-0.3s.wav", "z.wav");
    library->QueueFile(x, -1);
    library->QueueFile(y, -1);
    library->QueueFile(z, -1);
    library->QueueFile(x, -1); // waiting with the same priority: unchanged
    library->QueueFile(z, 2);  // another priority: replaced, now ahead
    library->QueueFile(y, 1);
    gate.Open();
    ASSERT_TRUE(WaitForAnnouncements(4));
    Settle();
    EXPECT_EQ(AnnouncedNames(), (std::vector<std::string>{first, z, y, x}));
}

// Many names moved between priorities, some of them several times, and a
// second folder after the queue ran empty: each is read once, in the order
// of a plain model of the queue (highest priority first, then the order in
// which each came to its priority).
TEST_F(AudioLibraryTest, AQueueOfManyNamesMovedAboutKeepsItsOrder)
{
    Gate gates[2];
    library->SetReader([&](const std::string &name, TAudioInfo &out) {
        if (name.rfind("gate", 0) == 0)
            gates[name[4] - '0'].Wait();
        out.FileName = name;
    });
    struct Waiting {
        int32_t priority;
        uint64_t since;
    };
    std::map<std::string, Waiting> model;
    uint64_t clock = 0;
    auto queue = [&](const std::vector<std::string> &names, int32_t priority) {
        library->QueueListedFiles(names, priority);
        for (const auto &name : names)
            if (auto it = model.find(name); it == model.end() || it->second.priority != priority)
                model[name] = {priority, clock++};
    };
    auto expected = [&] {
        std::vector<std::pair<std::string, Waiting>> order(model.begin(), model.end());
        std::sort(order.begin(), order.end(), [](const auto &a, const auto &b) {
            return a.second.priority != b.second.priority ? a.second.priority > b.second.priority
                                                          : a.second.since < b.second.since;
        });
        std::vector<std::string> names;
        for (const auto &entry : order)
            names.push_back(entry.first);
        model.clear();
        return names;
    };
    auto folder = [](const std::string &prefix, int count) {
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i)
            names.push_back(prefix + std::to_string(i) + ".mp3");
        return names;
    };

    library->QueueListedFiles({"gate0"}, -1);
    gates[0].AwaitReached();
    const std::vector<std::string> names = folder("/musik/a/", 700);
    queue(names, -1);
    uint32_t random = 12345;
    for (int round = 0; round < 6; ++round) {
        std::vector<std::string> some;
        for (const auto &name : names) {
            random = random * 1103515245 + 12345;
            if ((random >> 16) % 3 == 0)
                some.push_back(name);
        }
        queue(some, int32_t(random >> 20) % 4 - 1);
    }
    std::vector<std::string> want = expected();
    want.insert(want.begin(), "gate0");
    gates[0].Open();
    ASSERT_TRUE(WaitForAnnouncements(want.size()));
    ASSERT_EQ(AnnouncedNames(), want);

    // The queue has run empty; another folder, in part moved ahead.
    announced.clear();
    const std::vector<std::string> more = folder("/musik/b/", 300);
    library->QueueListedFiles({"gate1"}, -1);
    gates[1].AwaitReached();
    queue(more, -1);
    queue({more.begin() + 100, more.begin() + 150}, 3);
    want = expected();
    want.insert(want.begin(), "gate1");
    gates[1].Open();
    ASSERT_TRUE(WaitForAnnouncements(want.size()));
    Settle();
    EXPECT_EQ(AnnouncedNames(), want);
}

TEST_F(AudioLibraryTest, TagsAreReadForMp3InAnyCaseAndNotForOtherFormats)
{
    using namespace id3writer;
    std::string tag = Tag(3, TextFrame(3, "TIT2", 0, "Der Titel") + TextFrame(3, "TPE1", 3, "Künstlerin") +
                                 TextFrame(3, "TALB", 1, "Das Album"));
    std::string song = dir.Write("SONG.MP3", tag + Mp3Audio());
    std::string layer2 = dir.Write("song.mp2", tag + fixtures::ReadFile(fixtures::Path("tone-44100.mp2")));

    const TAudioInfo *mp3 = library->GetInfo(song);
    EXPECT_EQ(mp3->Title, "Der Titel");
    EXPECT_EQ(mp3->Artist, "Künstlerin");
    EXPECT_EQ(mp3->Album, "Das Album");
    EXPECT_EQ(mp3->Length, 1);

    const TAudioInfo *mp2 = library->GetInfo(layer2);
    EXPECT_EQ(mp2->Title, "song");
    EXPECT_EQ(mp2->Artist, "");
    EXPECT_EQ(mp2->Album, "");
    EXPECT_EQ(mp2->Length, 1);
}

TEST_F(AudioLibraryTest, Mp3WithoutTitleOrWithoutFramesOrWithoutTag)
{
    using namespace id3writer;
    std::string untitled = dir.Write(
        "Ohne Titel.mp3",
        Tag(4, TextFrame(4, "TPE1", 0, "Band") + TextFrame(4, "TALB", 0, "Platte"), 64) + Mp3Audio());
    const TAudioInfo *info = library->GetInfo(untitled);
    EXPECT_EQ(info->Title, "Ohne Titel");
    EXPECT_EQ(info->Artist, "Band");
    EXPECT_EQ(info->Album, "Platte");
    EXPECT_EQ(info->Length, 1);

    std::string silent =
        dir.Write("leer.mp3", Tag(3, TextFrame(3, "TIT2", 0, "Still")) + std::string(4000, '\0'));
    info = library->GetInfo(silent);
    EXPECT_EQ(info->Title, "Still");
    EXPECT_EQ(info->Length, 0);

    info = library->GetInfo(dir.Write("bare.mp3", Mp3Audio()));
    EXPECT_EQ(info->Title, "bare");
    EXPECT_EQ(info->Length, 1);
}

TEST_F(AudioLibraryTest, TwoSpellingsGiveTwoRecords)
{
    std::string lower = dir.Copy("tone-44100-stereo.wav", "track.wav");
    std::string upper = dir.Copy("tone-44100-stereo.wav", "TRACK.WAV");
    const TAudioInfo *a = library->GetInfo(lower);
    const TAudioInfo *b = library->GetInfo(upper);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->FileName, lower);
    EXPECT_EQ(b->FileName, upper);
    EXPECT_EQ(b->Title, "TRACK");
}

TEST_F(AudioLibraryTest, OnlyExistingRegularFilesAreQueued)
{
    KLANG_POSIX_ONLY();
    std::string folder = dir.Mkdir("folder.mp3");
    folder.pop_back();
    std::string fifo = dir.path() + "x.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    std::string dangling = dir.path() + "dangling.mp3";
    ASSERT_EQ(symlink((dir.path() + "nowhere.mp3").c_str(), dangling.c_str()), 0);
    std::string linked = dir.path() + "linked.wav";
    std::string target = dir.Copy("short-0.3s.wav", "target.wav");
    ASSERT_EQ(symlink(target.c_str(), linked.c_str()), 0);

    for (const auto &name : {dir.path() + "missing.wav", folder, fifo, dangling, std::string()})
        library->QueueFile(name, -1);
    library->QueueFile(linked, -1);
    ASSERT_TRUE(WaitForAnnouncements(1));
    Settle();
    EXPECT_EQ(AnnouncedNames(), std::vector<std::string>{linked});
}

TEST_F(AudioLibraryTest, AnMp3TheFileStreamCannotOpenIsMeasuredByTheEngine)
{
    KLANG_POSIX_ONLY();
    using namespace id3writer;
    std::string tagged = Tag(3, TextFrame(3, "TIT2", 0, "Nie gelesen")) + Mp3Audio();
    std::string locked = dir.Write("locked.mp3", tagged);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads files without read permission";
    const TAudioInfo *info = library->GetInfo(locked);
    EXPECT_EQ(info->Title, "locked");
    EXPECT_EQ(info->Artist, "");
    EXPECT_LT(info->Length, 0); // the engine cannot open it either
}

// File names are bytes: one that is not UTF-8 is measured and its tag read
// as with any other name, through the stream's UTF-16 path and the engine.
TEST_F(AudioLibraryTest, NamesThatAreNotUtf8GetTheSameRecordAsTheirUtf8Copies)
{
    KLANG_POSIX_ONLY();
    std::string latin1 = hostile::MakeLatin1Named(dir.path());
    ASSERT_FALSE(latin1.empty());
    std::string utf8 = dir.Write("M\u00fcller.mp3", fixtures::ReadFile(latin1));
    std::string other = dir.Write("kaputt\xff.ogg", fixtures::ReadFile(fixtures::Path("tone-44100-4s.ogg")));
    const TAudioInfo *a = library->GetInfo(latin1);
    const TAudioInfo *b = library->GetInfo(utf8);
    EXPECT_EQ(a->FileName, latin1);
    EXPECT_EQ(a->Title, "M\xfcller");
    EXPECT_EQ(b->Title, "M\u00fcller");
    EXPECT_EQ(a->Artist, "Gruppe");
    EXPECT_EQ(a->Artist, b->Artist);
    EXPECT_EQ(a->Album, "Namen");
    EXPECT_EQ(a->Album, b->Album);
    EXPECT_EQ(a->Length, 1);
    EXPECT_EQ(a->Length, b->Length);
    EXPECT_EQ(library->GetInfo(other)->Length, 4);

    // The worker reads them alike.
    std::string queued = dir.Write("Gr\xf6\xdf"
                                   "e.mp3",
                                   fixtures::ReadFile(latin1));
    library->QueueFile(queued, -1);
    ASSERT_TRUE(WaitForAnnouncements(4));
    EXPECT_EQ(announced.back()->FileName, queued);
    EXPECT_EQ(announced.back()->Artist, "Gruppe");
    EXPECT_EQ(announced.back()->Length, 1);
}

// A FIFO named like audio gets a record without a length at once; reading it
// must not wait for a writer.
TEST_F(AudioLibraryTest, AFifoGetsANegativeLengthWithoutWaiting)
{
    KLANG_POSIX_ONLY();
    for (const char *name : {"fifo.mp3", "fifo.ogg", "fifo.flac"}) {
        SCOPED_TRACE(name);
        std::string fifo = hostile::MakeFifo(dir.path(), name);
        ASSERT_FALSE(fifo.empty());
        // A read that waited for a writer would never return; a busy
        // machine takes a moment.
        auto start = std::chrono::steady_clock::now();
        const TAudioInfo *info = library->GetInfo(fifo);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_LT(info->Length, 0);
        EXPECT_EQ(info->Title, "fifo");
    }
}

// A title frame that declares 2 GiB in a sparse 4 GB file is passed over
// unread: the record comes at once, without the title, with what else the
// tag holds and the length of the audio behind it.
TEST_F(AudioLibraryTest, AGiantFrameIsPassedOverUnread)
{
    if (!hostile::SparseFilesWork(dir.path()))
        GTEST_SKIP() << "no sparse files in " << dir.path();
    std::string giant = dir.path() + "riese.mp3";
    ASSERT_TRUE(hostile::WriteSparse(giant, hostile::GiantFrameHead(), hostile::SparseFileSize));
    auto start = std::chrono::steady_clock::now();
    const TAudioInfo *info = library->GetInfo(giant);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(info->Title, "riese");
    EXPECT_EQ(info->Artist, "Riese");
    // The file size at 128 kbit/s from the end of the tag.
    EXPECT_EQ(info->Length, int32_t((hostile::SparseFileSize - 4106) * 8 / 128000));
    ::unlink(giant.c_str());
}

// Ending the library while its worker scans 4 GB without any MPEG frame
// (which it would search to the end) takes no longer than a moment.
TEST_F(AudioLibraryTest, DestroyingStopsAScanOfAGiantFileWithoutFrames)
{
    if (!hostile::SparseFilesWork(dir.path()))
        GTEST_SKIP() << "no sparse files in " << dir.path();
    std::string zeros = dir.path() + "nullen.mp3";
    ASSERT_TRUE(hostile::WriteSparse(zeros, "", hostile::SparseFileSize));
    std::atomic<bool> reading{false};
    library->SetReader([&](const std::string &name, TAudioInfo &out) {
        reading = true;
        TAudioLibrary::ReadInfo(name, out);
    });
    library->QueueFile(zeros, -1);
    ASSERT_TRUE(main.RunUntil([&] { return reading.load(); }));
    std::this_thread::sleep_for(300ms); // well into the scan
    auto start = std::chrono::steady_clock::now();
    library.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    ::unlink(zeros.c_str());
}

TEST_F(AudioLibraryTest, AFileTheEngineCannotOpenHasANegativeLength)
{
    const TAudioInfo *info = library->GetInfo(dir.Write("noise.wav", std::string(5000, 'x')));
    EXPECT_LT(info->Length, 0);
    EXPECT_EQ(info->Title, "noise");
    info = library->GetInfo(dir.Write("empty.ogg", ""));
    EXPECT_LT(info->Length, 0);
}

TEST_F(AudioLibraryTest, AFailedEntryShowsOneBoxWhileTheWorkerWaitsAndIsNotRetried)
{
    std::string bad = dir.Copy("short-0.3s.wav", "bad.wav");
    std::string good = dir.Copy("short-0.3s.wav", "good.wav");
    std::atomic<int> badReads{0}, goodReads{0};
    library->SetReader([&](const std::string &name, TAudioInfo &out) {
        if (name == bad) {
            ++badReads;
            throw std::runtime_error("Lesefehler in bad.wav");
        }
        ++goodReads;
        TAudioLibrary::ReadInfo(name, out);
    });
    library->QueueFile(bad, -1);
    library->QueueFile(good, -1);
    ASSERT_TRUE(Eventually([&] { return badReads > 0; }));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(badReads, 1);
    EXPECT_EQ(goodReads, 0); // waits for the box to be closed
    EXPECT_TRUE(main.Boxes().empty());

    ASSERT_TRUE(WaitForAnnouncements(1));
    Settle();
    ASSERT_EQ(main.Boxes().size(), 1u);
    EXPECT_EQ(main.Boxes()[0].caption, "Fehler");
    EXPECT_EQ(main.Boxes()[0].text, "Lesefehler in bad.wav");
    EXPECT_EQ(badReads, 1);
    EXPECT_EQ(AnnouncedNames(), std::vector<std::string>{good});

    EXPECT_THROW(library->GetInfo(bad), std::runtime_error);
    EXPECT_EQ(main.Boxes().size(), 1u); // GetInfo's errors go to its caller
    EXPECT_EQ(announced.size(), 1u);
}

TEST_F(AudioLibraryTest, DestroyingStopsTheWorkerInTheMiddleOfAFile)
{
    Gate gate;
    std::string slow = dir.Copy("short-0.3s.wav", "slow.wav");
    library->SetReader([&](const std::string &name, TAudioInfo &out) {
        gate.Wait();
        TAudioLibrary::ReadInfo(name, out);
    });
    library->QueueFile(slow, -1);
    gate.AwaitReached();
    std::thread opener([&] {
        std::this_thread::sleep_for(100ms);
        gate.Open();
    });
    library.reset(); // waits for the read, then frees the records
    opener.join();
    main.RunPending(); // the announcement of a library that is gone does nothing
    EXPECT_TRUE(announced.empty());
}

TEST_F(AudioLibraryTest, DestroyingWhileTheWorkerWaitsForItsBox)
{
    library->SetReader([](const std::string &, TAudioInfo &) { throw std::runtime_error("kaputt"); });
    library->QueueFile(dir.Copy("short-0.3s.wav", "bad.wav"), -1);
    std::this_thread::sleep_for(100ms);
    library.reset(); // must not hang on the box nobody has shown
    main.RunPending();
    EXPECT_TRUE(main.Boxes().empty());
}

TEST_F(AudioLibraryTest, AHundredFilesQueuedWhileTheWorkerRunsGiveOneRecordEach)
{
    std::vector<std::string> files;
    for (int i = 0; i < 100; ++i)
        files.push_back(dir.Write("f" + std::to_string(i) + ".wav", std::string(100, 'x')));
    std::map<std::string, const TAudioInfo *> asked;
    for (int i = 0; i < 100; ++i) {
        library->QueueFile(files[i], -1);
        if (i % 7 == 3) // the player asks meanwhile, racing with the worker
            asked[files[i / 2]] = library->GetInfo(files[i / 2]);
        if (i % 10 == 0)
            main.RunPending();
    }
    std::set<std::string> seen;
    ASSERT_TRUE(main.RunUntil([&] {
        seen.clear();
        for (auto *info : announced)
            seen.insert(info->FileName);
        return seen.size() == files.size();
    }));
    Settle();
    std::map<std::string, const TAudioInfo *> record;
    for (auto *info : announced) {
        auto [it, fresh] = record.emplace(info->FileName, info);
        EXPECT_EQ(it->second, info) << info->FileName << " has two records";
    }
    for (auto &[name, info] : asked)
        EXPECT_EQ(record[name], info);
    for (const auto &f : files)
        EXPECT_EQ(library->GetInfo(f), record[f]);
}

#if defined(_WIN32)
TEST_F(AudioLibraryTest, TheWorkerIdlesAtIdlePriorityAndWorksAtNormal)
{
    Gate gate;
    std::atomic<HANDLE> worker{nullptr};
    library->SetReader([&](const std::string &name, TAudioInfo &out) {
        HANDLE self = nullptr;
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self,
                        THREAD_QUERY_INFORMATION, FALSE, 0);
        if (HANDLE old = worker.exchange(self))
            CloseHandle(old);
        gate.Wait();
        TAudioLibrary::ReadInfo(name, out);
    });
    library->QueueFile(dir.Copy("short-0.3s.wav", "a.wav"), -1);
    gate.AwaitReached();
    EXPECT_EQ(GetThreadPriority(worker.load()), THREAD_PRIORITY_NORMAL);
    gate.Open();
    ASSERT_TRUE(WaitForAnnouncements(1));
    EXPECT_TRUE(Eventually([&] { return GetThreadPriority(worker.load()) == THREAD_PRIORITY_IDLE; }));
    library.reset();
    CloseHandle(worker.load());
}

#else
TEST_F(AudioLibraryTest, TheWorkerIdlesAtIdlePriorityAndWorksAtNormal)
{
    // Whether this process may bring a thread back from idle priority; a
    // worker that could not stays at normal priority throughout.
    bool canSwitch = false;
    std::thread([&] {
        sched_param param{};
        canSwitch = pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) == 0 &&
                    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param) == 0;
    }).join();

    Gate gate;
    std::atomic<pthread_t> worker{};
    library->SetReader([&](const std::string &name, TAudioInfo &out) {
        worker = pthread_self();
        gate.Wait();
        TAudioLibrary::ReadInfo(name, out);
    });
    auto policy = [&] {
        int p = -1;
        sched_param param{};
        pthread_getschedparam(worker.load(), &p, &param);
        return p;
    };
    library->QueueFile(dir.Copy("short-0.3s.wav", "a.wav"), -1);
    gate.AwaitReached();
    EXPECT_EQ(policy(), SCHED_OTHER);
    gate.Open();
    ASSERT_TRUE(WaitForAnnouncements(1));
    EXPECT_TRUE(Eventually([&] { return policy() == (canSwitch ? SCHED_IDLE : SCHED_OTHER); }));
}
#endif

TEST_F(AudioLibraryTest, AnAnnouncementGoesToTheReceiverBoundWhenItArrives)
{
    std::string file = dir.Copy("short-0.3s.wav", "a.wav");
    library->QueueFile(file, -1);
    std::this_thread::sleep_for(300ms); // scanned, its announcement on the way
    library->SetOnInfoReady(nullptr);   // the window goes away
    main.RunPending();
    EXPECT_TRUE(announced.empty());

    int later = 0;
    library->SetOnInfoReady([&](TAudioLibrary *, const TAudioInfo *) { ++later; });
    library->QueueFile(file, -1);
    EXPECT_TRUE(main.RunUntil([&] { return later == 1; }));
}
