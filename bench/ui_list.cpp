// The track list over a folder of N tagged one-second MP3 files (10,000 and
// 100,000), on a RAM disk (/dev/shm), in the real main window with the real
// player, audio library and engine controller, on the offscreen platform.
// The click on the folder's node goes through the event loop, which a 1 ms
// timer watches from before the click until every row is filled:
//   first_ms     from the click until the list has painted its first rows
//                (the benchmark's time);
//   filled_ms    from the click until every row shows its record;
//   stall_ms     the longest time the event loop could not run the timer;
//   scan_ms      from the click until the library's worker read the last file;
//   peak_mb      the process's peak resident memory during the run (VmHWM,
//                reset before the click), window, library and Qt included;
//   heap_mb      the C library's heap in use once every row is filled, less
//                before the click: what the folder's rows, names and records
//                hold, without what the heaps keep free;
//   infos        announcements handled by the window;
//   apply_ms     the time spent in them, all together;
//   rebuild_ms   the rows rebuilt once more: the old ones gone and the first
//                slice made (the others follow between events).
// Every repetition starts with a fresh library, so that every file is read.
#include "app/QtHooks.h"
#include "app/Stages.h"
#include "bass.h"
#include "bench/BenchMedia.h"
#include "library/AudioLibraryExt.h"
#include "platform/Drives.h"
#include "platform/Hooks.h"
#include "platform/Threads.h"
#include "playback/BassExt.h"
#include "playback/PlayerExt.h"
#include "tests/support/Id3Writer.h"
#include "ui/Unit1.h"
#include "ui/VirtualTree.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <map>
#include <memory>
#include <string>

namespace {

using namespace benchmedia;

// Calls back once a paint of the watched widget has finished.
class TPaintWatch : public QObject {
public:
    explicit TPaintWatch(std::function<void()> painted) : Painted(std::move(painted)) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, this, Painted);
        return false;
    }

private:
    std::function<void()> Painted;
};

// drive/Musik/ with the files, written once per size; drive/ is shown as a
// drive.
class Folder {
public:
    explicit Folder(int files)
    {
        // The window shows no drive below /dev: the RAM disk's folder is
        // reached through a link in /tmp.
        char pattern[] = "/dev/shm/klangdeck-bench-list-XXXXXX";
        ram = mkdtemp(pattern);
        link = "/tmp/" + std::filesystem::path(ram).filename().string();
        std::filesystem::create_directory_symlink(ram, link);
        root = link + "/";
        folder = root + "Musik/";
        std::filesystem::create_directories(folder);
        const std::string mp3 = Fixture("tone-44100-cbr128.mp3");
        using namespace id3writer;
        for (int i = 0; i < files; ++i) {
            const std::string n = std::to_string(i);
            std::ofstream(folder + n + " - Über den Wolken.mp3", std::ios::binary)
                << Tag(3,
                       TextFrame(3, "TIT2", 1, "Über den Wolken " + n) +
                           TextFrame(3, "TPE1", 1, "Künstlerin " + std::to_string(i % 37)) +
                           TextFrame(3, "TALB", 0, "Album " + std::to_string(i % 83)),
                       1024)
                << mp3;
        }
    }
    ~Folder()
    {
        std::filesystem::remove(link);
        std::filesystem::remove_all(ram);
    }

    std::string ram, link, root, folder;
};

// The process's peak resident memory in MiB since the last ResetPeakMemory.
double PeakMemoryMb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024;
    return 0;
}

void ResetPeakMemory()
{
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_SelectFolder(benchmark::State &state)
{
    const int count = int(state.range(0));
    static std::map<int, std::unique_ptr<Folder>> folders;
    auto &slot = folders[count];
    if (!slot)
        slot = std::make_unique<Folder>(count);
    const Folder &files = *slot;
    platform::DriveSource source;
    source.mounts = "/dev/sdb1 " + files.root.substr(0, files.root.size() - 1) + " ext4 rw 0 0\n";
    platform::SetDriveSourceForTesting(source);

    for (auto _ : state) {
        QObject context;
        InstallQtHooks(&context, [] { return nullptr; });
        Player = new TKlangdeck;
        AudioLibrary = new TAudioLibrary;
        BassController = new TBassController(KLANG_BASS_DIR);
        std::atomic<qint64> lastRead{0};
        QElapsedTimer clock;
        AudioLibrary->SetReader([&](const std::string &fileName, TAudioInfo &info) {
            TAudioLibrary::ReadInfo(fileName, info);
            lastRead = clock.nsecsElapsed();
        });
        auto *form = Form1 = new TForm1;
        form->InitContent();
        form->resize(1000, 700);
        form->show();
        if (!QTest::qWaitForWindowExposed(form)) {
            state.SkipWithError("the window was not shown");
            break;
        }

        int infos = 0;
        qint64 applying = 0;
        const auto receiver = [&, form](TAudioLibrary *sender, const TAudioInfo *info) {
            ++infos;
            const qint64 start = clock.nsecsElapsed();
            form->LibraryTrackInfo(sender, info);
            applying += clock.nsecsElapsed() - start;
        };
        AudioLibrary->SetOnInfoReady(receiver);

        // The folder's node, below its drive.
        TVirtualTree *tree = form->TreeView;
        TVirtualNode *drive = tree->FirstChild(tree->NextSibling(tree->FirstChild(nullptr)));
        while (drive && tree->GetNodeData<TTreeNodeData>(drive)->Path != files.root)
            drive = tree->NextSibling(drive);
        TVirtualNode *node = tree->FirstChild(drive);
        if (!drive || !node) {
            state.SkipWithError("no node for the folder");
            break;
        }
        tree->Expand(drive);
        tree->scrollTo(tree->IndexOf(node));
        const QPoint at = tree->visualRect(tree->IndexOf(node)).center();

        // From before the click on, a 1 ms timer measures how long the event
        // loop is kept waiting; the click itself comes through the loop.
        TVirtualTree *list = form->ListView;
        qint64 lastTick = 0, stall = 0, firstRows = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            stall = std::max(stall, now - lastTick);
            lastTick = now;
        });
        TPaintWatch paints([&] {
            if (!firstRows && list->TotalCount() > 0)
                firstRows = clock.nsecsElapsed();
        });
        list->viewport()->installEventFilter(&paints);
        auto filled = [&] {
            for (TVirtualNode *n = list->FirstChild(nullptr); n; n = list->NextSibling(n))
                if (!list->GetNodeData<TListRowData>(n)->Track)
                    return false;
            return true;
        };
        ResetPeakMemory();
        const size_t heapBefore = mallinfo2().uordblks;
        clock.start();
        ticker.start();
        QTimer::singleShot(0, tree,
                           [tree, at] { QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at); });
        qint64 filledAt = 0;
        while (clock.elapsed() < 120000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            // Checked only once the announcements have all arrived, so that
            // the check does not slow the loop it measures.
            if (infos >= count && filled()) {
                filledAt = clock.nsecsElapsed();
                break;
            }
        }
        ticker.stop();
        const double peak = PeakMemoryMb();
        const double heap = (double(mallinfo2().uordblks) - double(heapBefore)) / (1024 * 1024);
        list->viewport()->removeEventFilter(&paints);
        if (list->TotalCount() != count) {
            state.SkipWithError("the list does not show every file");
            break;
        }
        if (!filledAt || !firstRows) {
            state.SkipWithError("not every row got its record within 120 s");
            break;
        }

        // The rebuild of the rows alone, once more over the same playlist.
        clock.restart();
        form->ViewPlaylistChange(form->ViewPlaylist.get());
        state.counters["rebuild_ms"] = clock.nsecsElapsed() / 1e6;

        state.SetIterationTime(firstRows / 1e9);
        state.counters["first_ms"] = firstRows / 1e6;
        state.counters["filled_ms"] = filledAt / 1e6;
        state.counters["stall_ms"] = stall / 1e6;
        state.counters["scan_ms"] = lastRead / 1e6;
        state.counters["peak_mb"] = peak;
        state.counters["heap_mb"] = heap;
        state.counters["infos"] = infos;
        state.counters["apply_ms"] = applying / 1e6;

        delete form;
        Form1 = nullptr;
        FreeStartupObjects();
        platform::UninstallHooks();
    }
    platform::SetDriveSourceForTesting(std::nullopt);
}
BENCHMARK(BM_SelectFolder)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::ShareHeapsBetweenThreads(); // as the program does
    QApplication app(argc, argv);
    BASS_Init(0, 44100, 0, nullptr, nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
