// The track list over a folder of 10,000 supported files (a third each
// tagged MP3, WAV and Ogg), in the real main window with the real player,
// audio library and engine controller, on the offscreen platform:
//   rows_ms      from the click on the folder's node until the list has
//                painted with all 10,000 rows (the benchmark's time);
//   scan_ms      from the click until the library's worker has read the
//                last file;
//   filled_ms    from then until every row shows its record;
//   freeze_ms    the longest time the event loop could not run a 1 ms timer
//                while the scan ran;
//   infos        announcements handled by the window;
//   apply_ms     the time spent in them, all together;
//   rebuild_ms   the rows alone rebuilt once more (part of rows_ms).
// Every repetition starts with a fresh library, so that every file is read.
#include "app/QtHooks.h"
#include "app/Stages.h"
#include "bass.h"
#include "bench/BenchMedia.h"
#include "library/AudioLibraryExt.h"
#include "platform/Drives.h"
#include "platform/Hooks.h"
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
#include <string>

namespace {

using namespace benchmedia;

constexpr int kFiles = 10000;

// drive/Musik/ with the files, written once; drive/ is shown as a drive.
class Folder {
public:
    Folder()
    {
        char pattern[] = "/tmp/klangdeck-bench-list-XXXXXX";
        root = std::string(mkdtemp(pattern)) + "/";
        folder = root + "Musik/";
        std::filesystem::create_directories(folder);
        const std::string mp3 = Fixture("tone-44100-cbr128.mp3");
        const std::string wav = Fixture("short-0.3s.wav");
        const std::string ogg = Fixture("tone-44100-stereo.ogg");
        using namespace id3writer;
        for (int i = 0; i < kFiles; ++i) {
            const std::string n = std::to_string(i);
            switch (i % 3) {
            case 0:
                Write(n + " - Über den Wolken.mp3",
                      Tag(3,
                          TextFrame(3, "TIT2", 1, "Über den Wolken " + n) +
                              TextFrame(3, "TPE1", 1, "Künstlerin " + std::to_string(i % 37)) +
                              TextFrame(3, "TALB", 0, "Album " + std::to_string(i % 83)),
                          1024) +
                          mp3);
                break;
            case 1:
                Write(n + " - Aufnahme.wav", wav);
                break;
            default:
                Write(n + " - Aufnahme.ogg", ogg);
            }
        }
    }
    ~Folder() { std::filesystem::remove_all(root); }

    std::string root, folder;

private:
    void Write(const std::string &name, const std::string &bytes)
    {
        std::ofstream(folder + name, std::ios::binary) << bytes;
    }
};

void BM_SelectFolderOf10000(benchmark::State &state)
{
    static Folder files;
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
        QTest::qWaitForWindowExposed(form);

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
        if (!node) {
            state.SkipWithError("no node for the folder");
            break;
        }
        tree->Expand(drive);
        tree->scrollTo(tree->IndexOf(node));
        const QPoint at = tree->visualRect(tree->IndexOf(node)).center();

        clock.start();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        form->ListView->viewport()->repaint();
        const double rows = clock.nsecsElapsed() / 1e6;
        if (form->ListView->TotalCount() != kFiles) {
            state.SkipWithError("the list does not show every file");
            break;
        }

        // Run the event loop while the scan goes on; a 1 ms timer measures
        // how long it is kept waiting.
        qint64 lastTick = clock.nsecsElapsed(), freeze = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            freeze = std::max(freeze, now - lastTick);
            lastTick = now;
        });
        ticker.start();
        auto filled = [&] {
            for (TVirtualNode *n = form->ListView->FirstChild(nullptr); n; n = form->ListView->NextSibling(n))
                if (!form->ListView->GetNodeData<TListRowData>(n)->Track)
                    return false;
            return true;
        };
        qint64 filledAt = 0;
        while (clock.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            // Checked only once the announcements have all arrived, so that
            // the check does not slow the loop it measures.
            if (infos >= kFiles && filled()) {
                filledAt = clock.nsecsElapsed();
                break;
            }
        }
        ticker.stop();
        if (!filledAt)
            state.SkipWithError("not every row got its record within 60 s");

        // The rebuild of the rows alone, once more over the same playlist.
        clock.restart();
        form->ViewPlaylistChange(form->ViewPlaylist.get());
        state.counters["rebuild_ms"] = clock.nsecsElapsed() / 1e6;

        state.SetIterationTime(rows / 1000);
        state.counters["rows_ms"] = rows;
        state.counters["scan_ms"] = lastRead / 1e6;
        state.counters["filled_ms"] = (filledAt - lastRead) / 1e6;
        state.counters["freeze_ms"] = freeze / 1e6;
        state.counters["infos"] = infos;
        state.counters["apply_ms"] = applying / 1e6;

        delete form;
        Form1 = nullptr;
        FreeStartupObjects();
        platform::UninstallHooks();
    }
    platform::SetDriveSourceForTesting(std::nullopt);
}
BENCHMARK(BM_SelectFolderOf10000)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BASS_Init(0, 44100, 0, nullptr, nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
