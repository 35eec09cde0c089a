// A folder of 10,000 files queued in the audio library at once: the time
// from the first QueueFile until the last announcement has run on the main
// thread, for cached MP3 files (tag and frame readers) and for WAV and Ogg
// files (measured through the engine); and the memory each record costs.
// BM_ReadMpegInfoDirect reads the same MP3 files on one thread without
// queue, worker or hand-off: the readers' own rate, for comparison.
#include "bass.h"
#include "bench/BenchMedia.h"
#include "library/AudioLibraryExt.h"
#include "platform/Hooks.h"
#include "tests/support/Id3Writer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace benchmedia;

constexpr int kFiles = 10000;

std::string LittleEndian(uint32_t value, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xff);
    return out;
}

// 0.1 s of 16-bit stereo silence at 44100 Hz.
std::string ShortWave()
{
    const uint32_t data = 4410 * 4;
    return "RIFF" + LittleEndian(36 + data, 4) + "WAVEfmt " + LittleEndian(16, 4) + LittleEndian(1, 2) +
           LittleEndian(2, 2) + LittleEndian(44100, 4) + LittleEndian(44100 * 4, 4) + LittleEndian(4, 2) +
           LittleEndian(16, 2) + "data" + LittleEndian(data, 4) + std::string(data, '\0');
}

// The three folders, written once and read once so that they sit in the page cache.
class Folders {
public:
    Folders()
    {
        char pattern[] = "/tmp/klangdeck-bench-library-XXXXXX";
        root = mkdtemp(pattern);
        const std::string audio = Fixture("tone-44100-cbr128.mp3");
        const std::string ogg = Fixture("tone-44100-stereo.ogg");
        const std::string wave = ShortWave();
        std::filesystem::create_directories(root + "/mp3");
        std::filesystem::create_directories(root + "/wav");
        std::filesystem::create_directories(root + "/ogg");
        for (int i = 0; i < kFiles; ++i) {
            std::string n = std::to_string(i);
            mp3.push_back(Write("/mp3/" + n + " - Über den Wolken.mp3", AlbumTrackTag(i) + audio));
            wav.push_back(Write("/wav/" + n + " - Aufnahme.wav", wave));
            this->ogg.push_back(Write("/ogg/" + n + " - Aufnahme.ogg", ogg));
        }
        // Written back now, so that no writeback runs beside the measurements.
        sync();
        for (const auto *set : {&mp3, &wav, &this->ogg})
            for (const std::string &path : *set)
                benchmark::DoNotOptimize(ReadWhole(path));
    }
    ~Folders() { std::filesystem::remove_all(root); }

    std::string root;
    std::vector<std::string> mp3, wav, ogg;

private:
    std::string Write(const std::string &relative, const std::string &bytes)
    {
        std::string path = root + relative;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
};

const Folders &Files()
{
    static Folders folders;
    return folders;
}

// The benchmark's own thread is the main thread; tasks handed to it wait
// here until it pumps them.
class MainThread {
public:
    MainThread()
    {
        platform::Hooks hooks;
        hooks.postToMainThread = [this](platform::Task task) {
            std::lock_guard lock(mutex);
            tasks.push_back(std::move(task));
            posted.notify_one();
        };
        hooks.errorBox = [](const std::string &caption, const std::string &text) {
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        };
        platform::InstallHooks(std::move(hooks));
    }
    ~MainThread() { platform::UninstallHooks(); }

    template <class Pred> void PumpUntil(Pred done)
    {
        while (!done()) {
            std::deque<platform::Task> batch;
            {
                std::unique_lock lock(mutex);
                posted.wait(lock, [&] { return !tasks.empty(); });
                batch.swap(tasks);
            }
            for (auto &task : batch)
                task();
        }
    }

private:
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<platform::Task> tasks;
};

void Scan(benchmark::State &state, const std::vector<std::string> &files)
{
    BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr);
    MainThread main;
    double seconds = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        auto library = std::make_unique<TAudioLibrary>();
        int announced = 0;
        library->SetOnInfoReady([&](TAudioLibrary *, const TAudioInfo *) { ++announced; });
        auto start = std::chrono::steady_clock::now();
        for (const std::string &file : files)
            library->QueueFile(file, -1);
        main.PumpUntil([&] { return announced == kFiles; });
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        bytes = mallinfo2().uordblks - before;
        library.reset();
    }
    state.counters["files_per_s"] = static_cast<double>(state.iterations()) * kFiles / seconds;
    // The library with every record held, its worker and queue empty.
    state.counters["bytes_per_record"] = static_cast<double>(bytes) / kFiles;
}

void BM_QueueMp3(benchmark::State &state)
{
    Scan(state, Files().mp3);
}
void BM_QueueWav(benchmark::State &state)
{
    Scan(state, Files().wav);
}
void BM_QueueOgg(benchmark::State &state)
{
    Scan(state, Files().ogg);
}
BENCHMARK(BM_QueueMp3)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueueWav)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueueOgg)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_ReadMpegInfoDirect(benchmark::State &state)
{
    const auto &files = Files().mp3;
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (const std::string &file : files) {
            TAudioInfo info;
            TAudioLibrary::ReadMpegInfo(file, info);
            benchmark::DoNotOptimize(info.Length);
        }
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed);
        seconds += elapsed;
    }
    state.counters["files_per_s"] = static_cast<double>(state.iterations()) * kFiles / seconds;
}
BENCHMARK(BM_ReadMpegInfoDirect)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
