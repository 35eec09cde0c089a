// The engine's speed: decode-only throughput on 5-minute files (made by
// engine_decode.sh in the build folder's bench-media/) as audio seconds per
// second of process CPU time (fair on a shared machine), the CPU share while
// playing an MP3 on the no-sound device, and the time from BASS_ChannelPlay
// to the first sample handed to the output device, with the device open
// and with the device to be opened first. KLANG_BENCH_DEVICE=-1 measures
// the start on the default sound device instead of the no-sound device.
#include "bass.h"
#include "bass_test.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

std::string Media(const char *name)
{
    const char *dir = std::getenv("KLANG_BENCH_MEDIA");
    return std::string(dir ? dir : KLANG_FIXTURE_DIR "/../bench-media") + "/" + name;
}

bool Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

struct Engine {
    explicit Engine(int device = BASS_DEVICE_NOSOUND) { ok = BASS_Init(device, 44100, 0, nullptr, nullptr); }
    ~Engine() { BASS_Free(); }
    bool ok;
};

KLANG_OUTPUTSTATE Output()
{
    KLANG_OUTPUTSTATE state{};
    KLANG_GetOutputState(&state);
    return state;
}

double ProcessCpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void BM_Decode(benchmark::State &state, const char *name)
{
    std::string path = Media(name);
    if (!Exists(path)) {
        state.SkipWithError("no bench media: run bench/engine_decode.sh");
        return;
    }
    Engine engine;
    std::vector<char> buffer(1 << 16);
    double audioSeconds = 0;
    for (auto _ : state) {
        HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        if (!h) {
            state.SkipWithError("the engine did not open the file");
            return;
        }
        QWORD bytes = 0;
        for (;;) {
            DWORD got = BASS_ChannelGetData(h, buffer.data(), DWORD(buffer.size()));
            if (got == 0 || got == DWORD(-1))
                break;
            bytes += got;
        }
        audioSeconds += BASS_ChannelBytes2Seconds(h, bytes);
        BASS_StreamFree(h);
    }
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_Decode, mp3_320k, "bench-300s-320k.mp3")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->MinTime(2);
BENCHMARK_CAPTURE(BM_Decode, ogg_q6, "bench-300s-q6.ogg")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->MinTime(2);
BENCHMARK_CAPTURE(BM_Decode, wav_44k, "bench-300s.wav")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->MinTime(2);

// Process CPU time over wall time while one MP3 plays for ten seconds.
void BM_PlayCpuShare(benchmark::State &state)
{
    std::string path = Media("bench-300s-320k.mp3");
    if (!Exists(path)) {
        state.SkipWithError("no bench media: run bench/engine_decode.sh");
        return;
    }
    Engine engine;
    double share = 0;
    for (auto _ : state) {
        HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
        BASS_ChannelPlay(h, TRUE);
        // The opening scan is a one-off cost; measure the steady state.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        double cpu0 = ProcessCpuSeconds();
        auto wall0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        double cpu = ProcessCpuSeconds() - cpu0;
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        share = 100.0 * cpu / wall;
        BASS_StreamFree(h);
    }
    state.counters["cpu_pct_of_core"] = share;
}
BENCHMARK(BM_PlayCpuShare)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// From BASS_ChannelPlay until the output device has taken the first frames
// of the channel: with the device open from the stop just before (arg 0),
// or closed after a pause long enough (arg 1), so that Play opens it.
void BM_PlayToFirstSample(benchmark::State &state)
{
    const bool closedFirst = state.range(0) != 0;
    std::string path = Media("bench-300s-320k.mp3");
    if (!Exists(path))
        path = KLANG_FIXTURE_DIR "/tone-44100-cbr128.mp3";
    const char *device = std::getenv("KLANG_BENCH_DEVICE");
    Engine engine(device && *device ? std::atoi(device) : BASS_DEVICE_NOSOUND);
    HSTREAM h = engine.ok ? BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0) : 0;
    if (!h) {
        state.SkipWithError("the engine did not start or open the file");
        return;
    }
    // Outside the measurement the device plays until it takes blocks at its
    // pace: a sound server just started may take a moment for its first
    // stream, and a null sink for a new one.
    auto warmUp = [h] {
        BASS_ChannelPlay(h, FALSE);
        for (int taken = 0, i = 0; taken < 3 && i < 500; ++i) {
            const QWORD frames = Output().frames;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            taken += Output().frames != frames;
        }
        BASS_ChannelStop(h);
    };
    warmUp();
    double worst = 0, total = 0;
    int runs = 0;
    for (auto _ : state) {
        if (!closedFirst && !Output().open)
            warmUp();
        // Seek somewhere new each time, so nothing is buffered yet.
        BASS_ChannelSetPosition(h, (QWORD(runs % 50) * 44100 * 4 * 3) % (BASS_ChannelGetLength(h) / 2));
        BASS_ChannelStop(h);
        if (closedFirst)
            for (int i = 0; i < 500 && Output().open; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(3 + runs % 7 * 5));
        const QWORD before = Output().frames;
        auto start = std::chrono::steady_clock::now();
        BASS_ChannelPlay(h, runs % 2 == 0);
        while (Output().frames == before)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(ms / 1000);
        // Played a while before the next stop, as a listener does: a null
        // sink is slow to serve a stream that comes and goes at once.
        if (closedFirst)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        worst = std::max(worst, ms);
        total += ms;
        ++runs;
    }
    BASS_StreamFree(h);
    state.counters["mean_ms"] = total / runs;
    state.counters["max_ms"] = worst;
}
BENCHMARK(BM_PlayToFirstSample)->Arg(0)->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayToFirstSample)->Arg(1)->Iterations(8)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
